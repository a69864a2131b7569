#pragma once
// The workspace: the running applications (managed windows grouped by the desktop entry
// they map to, with the processes that own them; see ApplicationGroups), launching
// applications and opening files. Its
// notifications go to NotificationCenter::workspaceCenter() with the application under
// NSWorkspaceApplicationKey in the user info.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/Accessibility.h"
#include "platform/foundation/Image.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/URL.h"

namespace qs {

inline constexpr const char* NSWorkspaceWillLaunchApplicationNotification =
    "NSWorkspaceWillLaunchApplicationNotification";
inline constexpr const char* NSWorkspaceDidLaunchApplicationNotification = "NSWorkspaceDidLaunchApplicationNotification";
inline constexpr const char* NSWorkspaceDidTerminateApplicationNotification =
    "NSWorkspaceDidTerminateApplicationNotification";
inline constexpr const char* NSWorkspaceDidActivateApplicationNotification =
    "NSWorkspaceDidActivateApplicationNotification";
inline constexpr const char* NSWorkspaceDidDeactivateApplicationNotification =
    "NSWorkspaceDidDeactivateApplicationNotification";
inline constexpr const char* NSWorkspaceDidHideApplicationNotification = "NSWorkspaceDidHideApplicationNotification";
inline constexpr const char* NSWorkspaceDidUnhideApplicationNotification =
    "NSWorkspaceDidUnhideApplicationNotification";
inline constexpr const char* NSWorkspaceApplicationKey = "NSWorkspaceApplicationKey";

enum ApplicationActivationPolicy : int {
    NSApplicationActivationPolicyRegular = 0,
    NSApplicationActivationPolicyAccessory = 1,
    NSApplicationActivationPolicyProhibited = 2,
};
enum ApplicationActivationOptions : unsigned {
    NSApplicationActivateAllWindows = 1,
    NSApplicationActivateIgnoringOtherApps = 2,
};

// One running application. Its state is kept current by the workspace backend, which
// announces "hidden", "active" and "terminated" through key-value observing on the main
// thread. Its process identifier is the application's identifier (ApplicationGroups):
// the process that owned its first window, kept for the application's life; the
// processes that own its windows now are processes(). Equal when they are the same
// application: the same identifier and, when both know it, the same start time (a reused
// identifier is another application).
class RunningApplication : public Object {
public:
    struct Info {
        desktop::Pid pid = -1;         // the application's identifier
        std::string bundleIdentifier;  // the desktop-file id, "" when no entry matched
        std::string bundlePath;        // the desktop entry's file, "" when none
        std::string executablePath;    // of its first process, from /proc; "" when unknown
        std::string localizedName;
        std::string iconName;          // the entry's Icon= value (a theme name or a path)
        int activationPolicy = NSApplicationActivationPolicyRegular;
        double launchDate = 0.0;       // seconds since 1970
        // Tells two applications that had the same identifier apart (a serial number);
        // 0 when unknown.
        uint64_t startTime = 0;
        // The processes that own its windows now, as the display server names them, first
        // seen first; empty when none is known (a remote client).
        std::vector<desktop::Pid> processes;
    };

    explicit RunningApplication(Info info) : info_(std::move(info)) {}

    std::string className() const override { return "NSRunningApplication"; }
    std::vector<std::string> classHierarchy() const override { return {"NSRunningApplication", "NSObject"}; }
    bool isEqual(const Object* other) const override;
    uint64_t hash() const override { return uint64_t(uint32_t(info_.pid)); }
    std::string description() const override;
    Value valueForKey(const std::string& key) const override;

    desktop::Pid processIdentifier() const { return info_.pid; }
    const std::vector<desktop::Pid>& processes() const { return info_.processes; }
    const std::string& bundleIdentifier() const { return info_.bundleIdentifier; }
    // The desktop entry's file URL; nullptr for an application without an entry.
    URLPtr bundleURL() const;
    URLPtr executableURL() const;
    const std::string& localizedName() const { return info_.localizedName; }
    const std::string& iconName() const { return info_.iconName; }
    ImagePtr icon() const;
    int activationPolicy() const { return info_.activationPolicy; }
    double launchDate() const { return info_.launchDate; }
    uint64_t startTime() const { return info_.startTime; }
    bool isHidden() const { return hidden_; }
    bool isActive() const { return active_; }
    bool isTerminated() const { return terminated_; }
    // NO while the application is still starting (launched, no window mapped yet); the
    // backends that know of launching applications set it, YES otherwise.
    bool isFinishedLaunching() const { return finishedLaunching_; }

    // Actions; NO when the application has terminated or the request could not be made.
    bool activateWithOptions(unsigned options);
    bool hide();
    bool unhide();
    bool terminate();
    bool forceTerminate();

    static std::shared_ptr<RunningApplication> runningApplicationWithProcessIdentifier(desktop::Pid pid);
    static std::vector<std::shared_ptr<RunningApplication>> runningApplicationsWithBundleIdentifier(
        const std::string& bundleIdentifier);
    // This program.
    static std::shared_ptr<RunningApplication> currentApplication();

    // For the backends: state changes, each announced through key-value observing.
    void setHidden(bool hidden);
    void setActive(bool active);
    void setTerminated();
    // Announced as "finishedLaunching".
    void setFinishedLaunching(bool finished);
    void setInfo(Info info) { info_ = std::move(info); }
    const Info& info() const { return info_; }

private:
    Info info_;
    bool hidden_ = false;
    bool active_ = false;
    bool terminated_ = false;
    bool finishedLaunching_ = true;
};

using RunningApplicationPtr = std::shared_ptr<RunningApplication>;

}  // namespace qs

namespace qs::desktop {

// A desktop entry (an application bundle): the parts the dock reads.
struct DesktopEntry {
    std::string id;    // the desktop-file id ("org.gnome.Terminal.desktop" gives "org.gnome.Terminal")
    std::string path;  // the .desktop file
    std::string name;
    std::string genericName;
    std::string comment;
    std::string icon;
    std::string exec;
    std::string tryExec;
    std::string workingDirectory;  // Path=
    std::string startupWMClass;
    std::vector<std::string> mimeTypes;
    std::vector<std::string> categories;
    bool terminal = false;
    bool noDisplay = false;
    bool hidden = false;
    // The ids of its desktop actions (Actions=: "new-window", "new-private-window", ...).
    std::vector<std::string> actions;
};

class Workspace {
public:
    virtual ~Workspace() = default;

    // Every running application, in a stable order (first seen first).
    virtual std::vector<RunningApplicationPtr> runningApplications() = 0;
    // The application owning the active window; nullptr when none.
    virtual RunningApplicationPtr frontmostApplication() = 0;
    // This program.
    virtual RunningApplicationPtr currentApplication() = 0;

    // The actions of RunningApplication.
    virtual bool activate(RunningApplication& app, unsigned options) = 0;
    virtual bool hide(RunningApplication& app) = 0;
    virtual bool unhide(RunningApplication& app) = 0;
    virtual bool terminate(RunningApplication& app) = 0;
    virtual bool forceTerminate(RunningApplication& app) = 0;

    // Desktop entries.
    virtual std::optional<DesktopEntry> entryForBundleIdentifier(const std::string& bundleIdentifier) = 0;
    virtual std::optional<DesktopEntry> entryAtPath(const std::string& path) = 0;
    virtual std::vector<DesktopEntry> applicationsForMimeType(const std::string& mimeType) = 0;

    // The applications for a file, as desktop entry paths: by its MIME type and that
    // type's ancestors, through the user's and the system's mimeapps.list files,
    // mimeinfo.cache and the entries' MimeType lists. The default application; nullopt
    // when no application opens the file (or it does not exist).
    virtual std::optional<std::string> defaultApplicationForFile(const std::string&) { return std::nullopt; }
    // Every application that opens the file, the default first; nullopt when there is
    // none (or the file does not exist).
    virtual std::optional<std::vector<std::string>> applicationsForFile(const std::string&) { return std::nullopt; }

    // The icon of a running application: its entry's icon when the icon theme has it,
    // else the icon its windows give, else the generic application icon (the x11 backend
    // answers a deferred image, decoded when drawn). By default the icon of its entry's
    // file, or of its executable.
    virtual ImagePtr iconForApplication(const RunningApplication& app) {
        if (!app.info().bundlePath.empty()) return iconForFile(app.info().bundlePath);
        if (!app.info().executablePath.empty()) return iconForFile(app.info().executablePath);
        return nullptr;
    }
    // The installed applications whose entries list the category ("Calculator",
    // "Calendar", "ContactManagement"), left out those not shown in menus; in the order
    // the application folders give them.
    virtual std::vector<DesktopEntry> applicationsInCategory(const std::string& category) {
        (void)category;
        return {};
    }

    // The icon of a file: an application's entry icon, else the icon of its type. The x11
    // backend answers a deferred image (found in the icon theme and decoded when drawn,
    // the generic icon of the kind when that fails), so asking costs no decoding.
    virtual ImagePtr iconForFile(const std::string& path) = 0;
    // Opens a file with the named application (a desktop entry path, a desktop-file id
    // or an application name), or with the user's default application for its type
    // when `application` is "".
    virtual bool openFile(const std::string& path, const std::string& application = "") = 0;
    virtual bool openURL(const URL& url) = 0;
    // Runs the application of a desktop entry (its path or id).
    virtual bool launchApplication(const std::string& pathOrIdentifier) = 0;
    virtual bool launchAppWithBundleIdentifier(const std::string& bundleIdentifier, unsigned options) = 0;
    // Runs one desktop action of an entry (its path or id): the Exec line of its
    // [Desktop Action <action>] group, with no shell. NO when the entry does not list the
    // action under Actions=, the group has no Exec, or the program did not start.
    virtual bool launchDesktopAction(const std::string& pathOrIdentifier, const std::string& action) {
        (void)pathOrIdentifier;
        (void)action;
        return false;
    }
    // Runs a program (an absolute path) with no arguments and no shell, detached from
    // this one. NO when it did not start.
    virtual bool launchExecutable(const std::string& path) {
        (void)path;
        return false;
    }
};

}  // namespace qs::desktop
