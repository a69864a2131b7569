#pragma once
// The application delegate: the launch steps, the dock start that follows them, the
// default settings, hiding and restoring the system Dock, and termination.

#include <memory>
#include <string>

#include "platform/desktop/CrashReporting.h"
#include "platform/desktop/Updater.h"
#include "platform/foundation/Object.h"

namespace qs {

class AccessController;
class BadgeHelper;
class DockManager;
class NewsWindowController;
class UserDefaults;

class AppDelegate : public Object, public SUUpdaterDelegate, public MSCrashesDelegate {
public:
    // The regular and the beta update feed (the updater layer never fetches them).
    static constexpr const char* kSUFeedURL = "https://quayside.example.org/appcast.xml";
    static constexpr const char* kBetaFeedURL = "https://quayside.example.org/appcast-beta.xml";
    // The analytics service's application secret (nothing is sent anywhere).
    static constexpr const char* kAppCenterSecret = "6f1d3c2a-8b4e-4f7a-9c0d-5e2b7a1f3d48";

    static std::shared_ptr<AppDelegate> create() { return std::make_shared<AppDelegate>(); }

    std::string className() const override { return "AppDelegate"; }

    void applicationDidFinishLaunching();
    // The dock start: the second half of the start, once per process.
    void StartViewControllerDisappear();
    void createDefaultsValues();
    void runStartupActions();
    void showAccessDialog();
    // Runs once, however many times the end of the program is reported.
    void applicationWillTerminate();

    // The status item and its menu come with the menu-bar menu; the step keeps its place
    // in the launch and honours "HideMenuBarIcon".
    void setupStatusMenu();
    std::string getFeedURL() const;

    // Hides the system Dock (hide YES while its delay is at most 60), or else gives it
    // back, then restarts it.
    void toggleMacOSDockAction(bool hide);

    // Updater and crash-reporting delegates.
    std::string feedURLStringForUpdater(SUUpdater& updater) override;
    bool updaterShouldCheckForBetaUpdates(SUUpdater& updater) override;
    bool crashes(MSCrashes* crashes, const MSErrorReport& shouldProcessErrorReport) override;

    UserDefaults* defaults() const { return defaults_; }
    const std::shared_ptr<DockManager>& manager() const { return manager_; }
    const std::shared_ptr<BadgeHelper>& badgeHelper() const { return badgeHelper_; }
    const std::shared_ptr<NewsWindowController>& newsWC() const { return newsWC_; }
    const std::shared_ptr<AccessController>& ac() const { return ac_; }

    // Tests: let the dock start run again in this process.
    static void resetDockStartForTesting();

private:
    void restartMacOSDock();

    std::shared_ptr<AccessController> ac_;
    std::shared_ptr<BadgeHelper> badgeHelper_;
    std::shared_ptr<NewsWindowController> newsWC_;
    UserDefaults* defaults_ = nullptr;
    std::shared_ptr<DockManager> manager_;
    bool terminated_ = false;
};

}  // namespace qs
