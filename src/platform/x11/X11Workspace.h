#pragma once
// The workspace of an X11 desktop: the running applications are the managed windows
// grouped by their desktop entries (ApplicationGroups, through the window server), with
// the processes that own them; their launch, termination, activation, hiding and
// unhiding are told on the workspace centre as the window list shows them. An
// application ends with its last window. Launching runs a desktop entry's Exec line;
// opening a file uses the default application for its type.

#include <map>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

#include "platform/desktop/ApplicationGroups.h"
#include "platform/desktop/Workspace.h"
#include "platform/x11/DesktopEntry.h"

namespace qs::x11 {

class XConnection;
class X11WindowServer;
class WindowIconReader;
struct X11Change;

class X11Workspace : public desktop::Workspace {
public:
    X11Workspace(std::shared_ptr<XConnection> connection, std::shared_ptr<X11WindowServer> windows);
    ~X11Workspace() override;

    std::vector<RunningApplicationPtr> runningApplications() override;
    RunningApplicationPtr frontmostApplication() override;
    RunningApplicationPtr currentApplication() override;
    bool activate(RunningApplication& app, unsigned options) override;
    bool hide(RunningApplication& app) override;
    bool unhide(RunningApplication& app) override;
    bool terminate(RunningApplication& app) override;
    bool forceTerminate(RunningApplication& app) override;
    std::optional<desktop::DesktopEntry> entryForBundleIdentifier(const std::string& bundleIdentifier) override;
    std::optional<desktop::DesktopEntry> entryAtPath(const std::string& path) override;
    std::vector<desktop::DesktopEntry> applicationsForMimeType(const std::string& mimeType) override;
    std::optional<std::string> defaultApplicationForFile(const std::string& path) override;
    std::optional<std::vector<std::string>> applicationsForFile(const std::string& path) override;
    ImagePtr iconForFile(const std::string& path) override;
    bool openFile(const std::string& path, const std::string& application = "") override;
    bool openURL(const URL& url) override;
    bool launchApplication(const std::string& pathOrIdentifier) override;
    bool launchAppWithBundleIdentifier(const std::string& bundleIdentifier, unsigned options) override;
    bool launchDesktopAction(const std::string& pathOrIdentifier, const std::string& action) override;
    bool launchExecutable(const std::string& path) override;
    ImagePtr iconForApplication(const RunningApplication& app) override;
    std::vector<desktop::DesktopEntry> applicationsInCategory(const std::string& category) override;

    // For the accessibility elements.
    std::string nameOf(desktop::Pid pid);
    bool isHidden(desktop::Pid pid);
    // Runs an entry with files (for tests and the launch calls).
    bool run(const desktop::DesktopEntry& entry, const std::vector<std::string>& files);
    // A file's MIME type (from its name and its first bytes; "inode/directory" for a
    // folder) followed by the type's ancestors, most specific first.
    static std::vector<std::string> mimeTypesForFile(const std::string& path);
    // Why a file of this MIME type cannot be opened when no application is set for it.
    static std::string noApplicationReason(const std::string& mimeType);
    // Starts a program detached from this one, in a session of its own (no shell; every
    // argument passed byte for byte), in `directory`, or in the home folder when that is
    // "", with the environment of LaunchEnvironment. NO when it could not be started. With
    // `onExit`, the program's exit status (128 + signal when a signal ended it, -1 when
    // it is unknown) is handed to it on the main thread when the program ends.
    static bool spawnDetached(const std::vector<std::string>& arguments, const std::string& directory,
                              std::function<void(int exitStatus)> onExit = nullptr);

private:
    DesktopEntryIndex& index();
    // The application of a window's owner: its desktop entry by the identity rules, else
    // its class (matches are remembered by what they were made from).
    desktop::ApplicationIdentity identify(const desktop::WindowOwner& owner);
    RunningApplication::Info describe(const desktop::ApplicationGroups::Application& group);
    void track(const desktop::ApplicationGroups::Application& group, bool announce);
    void update(const desktop::ApplicationGroups::Application& group);
    void untrack(desktop::Pid id);
    void onChange(const X11Change& change);
    void post(const char* name, const RunningApplicationPtr& app);
    std::optional<desktop::DesktopEntry> resolve(const std::string& application);
    std::vector<uint32_t> windowsOf(desktop::Pid pid);

    std::shared_ptr<XConnection> conn_;
    std::shared_ptr<X11WindowServer> windows_;
    // Reads the icons of windows when they are drawn (made on first use).
    std::shared_ptr<WindowIconReader> iconReader_;
    int listener_ = 0;
    DesktopEntryIndex index_;
    // When the application folders were last looked at for changes (steady clock, s).
    double indexCheckedAt_ = -1e9;
    std::map<std::tuple<std::string, std::string, std::string, std::string>, std::optional<desktop::DesktopEntry>>
        matches_;
    std::map<desktop::Pid, RunningApplicationPtr> tracked_;
    std::vector<desktop::Pid> order_;
    desktop::Pid activePid_ = -1;
    RunningApplicationPtr current_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qs::x11
