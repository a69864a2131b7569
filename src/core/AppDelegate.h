#pragma once
// The application delegate: the launch steps, the dock start that follows them, the
// default settings, hiding and restoring the system Dock, the menu-bar menu with the
// program's own commands, and termination.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/desktop/CrashReporting.h"
#include "platform/desktop/Updater.h"
#include "platform/foundation/Object.h"

namespace qs {

class AccessWindow;
class BadgeHelper;
class DockManager;
class Menu;
class NewsWindow;
class StatusItem;
class UserDefaults;

class AppDelegate : public Object, public SUUpdaterDelegate, public MSCrashesDelegate {
public:
    // The regular and the beta update feed this build was configured with ("" for none:
    // updates come with the system's packages). The updater layer never fetches them.
    static std::string SUFeedURL();
    static std::string betaFeedURL();
    // Tests: other feeds (nullopt: the build's again).
    static void setFeedURLsForTesting(std::optional<std::pair<std::string, std::string>> feeds);
    // The analytics service's application secret (nothing is sent anywhere).
    static constexpr const char* kAppCenterSecret = "6f1d3c2a-8b4e-4f7a-9c0d-5e2b7a1f3d48";

    static std::shared_ptr<AppDelegate> create() { return std::make_shared<AppDelegate>(); }
    AppDelegate();
    ~AppDelegate() override;
    // The application's delegate: the one that ran the launch last (nullptr before).
    static std::shared_ptr<AppDelegate> current();

    std::string className() const override { return "AppDelegate"; }

    void applicationDidFinishLaunching();
    // The dock start: the second half of the start, once per process.
    void StartViewControllerDisappear();
    void createDefaultsValues();
    void runStartupActions();
    void showAccessDialog();
    // Runs once, however many times the end of the program is reported.
    void applicationWillTerminate();

    // Builds the status item and its menu, or drops the item while "HideMenuBarIcon" is
    // YES. Runs at launch and whenever "HideMenuBarIcon" changes.
    void setupStatusMenu();
    std::string getFeedURL() const;

    // The program's commands (the status menu, the dock's context menu and the start
    // menu send them here).
    void showAboutPanel();
    void showPrefsPanel(const Object* sender);
    void showPreferences();
    void checkUpates(const Object* sender);
    void sendFeedback();
    void openDocs();
    void _showAccessDialog();
    // "Quit" (terminate:): the program ends as every quit does.
    void terminate(const Object* sender);

    // What "Preferences..." runs: the preferences window's showPreferences, set by the
    // program once the preferences window exists. Unset, the command logs a line.
    void setPreferencesWindowHook(std::function<void()> showPreferences);

    // Hides the system Dock (hide YES while its delay is at most 60), or else gives it
    // back, then restarts it.
    void toggleMacOSDockAction(bool hide);
    // The system Dock's settings in its suite: kept aside and replaced by hidden ones, or
    // given back from what was kept (the preferences' toggle uses them too).
    static void hideMacOSDockSettings(UserDefaults& suite);
    static void restoreMacOSDockSettings(UserDefaults& suite);

    // Updater and crash-reporting delegates.
    std::string feedURLStringForUpdater(SUUpdater& updater) override;
    bool updaterShouldCheckForBetaUpdates(SUUpdater& updater) override;
    bool crashes(MSCrashes* crashes, const MSErrorReport& shouldProcessErrorReport) override;

    UserDefaults* defaults() const { return defaults_; }
    const std::shared_ptr<DockManager>& manager() const { return manager_; }
    const std::shared_ptr<BadgeHelper>& badgeHelper() const { return badgeHelper_; }
    const std::shared_ptr<NewsWindow>& newsWC() const { return newsWC_; }
    const std::shared_ptr<AccessWindow>& ac() const { return ac_; }
    const std::shared_ptr<Menu>& statusMenu() const { return statusMenu_; }
    const std::shared_ptr<StatusItem>& statusItem() const { return statusItem_; }

    // Tests: let the dock start run again in this process.
    static void resetDockStartForTesting();

private:
    void restartMacOSDock();
    // Opens one of the documents installed with the program.
    void openDocument(const std::string& name);

    std::shared_ptr<Menu> statusMenu_;
    std::shared_ptr<AccessWindow> ac_;
    std::shared_ptr<BadgeHelper> badgeHelper_;
    std::shared_ptr<NewsWindow> newsWC_;
    UserDefaults* defaults_ = nullptr;
    std::shared_ptr<StatusItem> statusItem_;
    std::shared_ptr<DockManager> manager_;
    std::function<void()> preferencesWindowHook_;
    KeyValueObservation menuBarIconObservation_;
    bool terminated_ = false;
};

}  // namespace qs
