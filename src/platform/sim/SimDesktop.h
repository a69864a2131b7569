#pragma once
// An in-memory desktop for tests: applications, their windows (frames in accessibility
// coordinates), stacking, spaces, focus, desktop entries, window pictures and a pointer.
// It backs the accessibility, window-server, synthetic-event and workspace services and
// records every call made to it.
//
// Changes (a window made, moved, minimised, closed; an application launched, activated,
// hidden, terminated) are announced the way a real desktop does: accessibility
// notifications to the observers and workspace notifications on the workspace centre,
// queued on the main run loop (run it to deliver them).
//
// Applications are grouped as the X11 desktop groups them (ApplicationGroups): the
// windows of processes that map to one desktop entry, or to one class, are one
// application, whose identifier is that of its first process. A process added with
// addApplication is an application from the start, with or without windows (as a launch
// is); one added with addProcess is part of an application only while it has windows.
// Windows name their owning process; a window that names no class, instance or
// application id takes those of its process.

#include <atomic>
#include <functional>
#include <map>
#include <set>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/Accessibility.h"
#include "platform/desktop/ApplicationGroups.h"
#include "platform/desktop/SyntheticEvents.h"
#include "platform/desktop/WindowServer.h"
#include "platform/desktop/Workspace.h"

namespace qs::sim {

class SimDesktop : public desktop::Accessibility,
                   public desktop::WindowServer,
                   public desktop::EventPoster,
                   public desktop::Workspace,
                   public std::enable_shared_from_this<SimDesktop> {
public:
    using Pid = desktop::Pid;
    using WindowNumber = desktop::WindowNumber;
    using AXElement = desktop::AXElement;
    using AXValue = desktop::AXValue;

    struct Window {
        WindowNumber number = 0;
        Pid pid = -1;  // the process that owns it
        // What it tells of its application ("" : what its process tells).
        std::string wmClass, wmInstance, applicationId;
        Pid app = -1;  // its application's identifier (set by the desktop)
        std::string title;
        Rect frame;  // accessibility coordinates
        std::string role = desktop::kAXWindowRole;
        std::string subrole = desktop::kAXStandardWindowSubrole;
        bool minimized = false;
        bool resizable = true;
        bool movable = true;
        bool closeButton = true;
        std::optional<Rect> zoomButton;  // its frame, when the window has one
        WindowNumber parent = 0;         // the window a sheet belongs to
        int space = 0;                   // -1: on every space
        double alpha = 1.0;
        int layer = 0;
        bool desktopElement = false;
        bool capturable = true;
        std::map<std::string, AXValue> extraAttributes;  // answered as they stand
    };

    struct Write {
        AXElement element;
        std::string attribute;
        AXValue value;
    };
    struct Event {
        double time = 0.0;
        bool isKey = false;
        uint16_t keyCode = 0;  // keys
        bool down = false;
        desktop::MouseEventType mouse = desktop::MouseEventType::Moved;  // mouse
        Point location;
        uint64_t flags = 0;
    };

    SimDesktop();
    ~SimDesktop() override;

    // Makes a desktop and installs it as the accessibility, window-server, event and
    // workspace services (the screens are left as they are).
    static std::shared_ptr<SimDesktop> install();

    // Building the scene --------------------------------------------------------------
    RunningApplicationPtr addApplication(RunningApplication::Info info);
    RunningApplicationPtr addApplication(Pid pid, const std::string& name, const std::string& bundleIdentifier = "");
    // A process that is part of an application only while it owns windows, identified by
    // its windows' classes and its executable (`pid` < 1: a new identifier). Answers its
    // identifier.
    Pid addProcess(Pid pid, const std::string& executable, const std::string& wmClass = "",
                   const std::string& wmInstance = "");
    // The process ends and its windows go (`pid` may also name an application: then
    // every process of it). With `announce` NO the workspace says nothing (a process that
    // died unnoticed): only its absence from the lists tells.
    void terminateApplication(Pid pid, bool announce = true);
    // The running application a process belongs to now; nullptr when none.
    RunningApplicationPtr applicationOfProcess(Pid pid);
    // The window's class changes after it was mapped: it may move to another application.
    void setWindowClass(WindowNumber number, const std::string& wmClass, const std::string& wmInstance);
    // Changes what the workspace says of a running application (its activation policy,
    // name, ...), with no notification.
    void changeApplication(Pid pid, const std::function<void(RunningApplication::Info&)>& change);
    // A new window, frontmost; answers its number.
    WindowNumber addWindow(Pid pid, const std::string& title, const Rect& frame);
    // With `announce` NO no accessibility notification tells of it (a window the
    // notifications missed).
    WindowNumber addWindow(const Window& window, bool announce = true);
    // The window's record for direct changes (no notification); nullptr when gone.
    Window* window(WindowNumber number);
    void removeWindow(WindowNumber number, bool announce = true);
    void moveWindow(WindowNumber number, const Rect& frame);
    void setMinimized(WindowNumber number, bool minimized);
    void focus(WindowNumber number);
    void raise(WindowNumber number);
    // Windows front to back.
    std::vector<WindowNumber> stacking() const;
    WindowNumber activeWindow() const;
    void addDesktopEntry(const desktop::DesktopEntry& entry);
    // An attribute the application element answers as it stands (before its own ones).
    void setApplicationAttribute(Pid pid, const std::string& attribute, AXValue value);
    // The answers of the application lookups for one file (entry paths; nullopt: none).
    // Files without answers get the entries that list their type (by name), first first.
    void setApplicationsForFile(const std::string& path, std::optional<std::string> defaultApplication,
                                std::optional<std::vector<std::string>> applications);
    void setPointer(const Point& p);
    // The live input state (posted mouse and key events change it too, as on a desktop).
    void setButtonState(uint32_t buttons);
    void setKeyModifiers(uint32_t modifiers);
    void setKeyDown(uint16_t keyCode, bool down);
    // Delivers `notification` to the registrations of `target`, with `subject` as the
    // notifying element (queued on the main run loop).
    void postNotification(const AXElement& target, const std::string& notification, const AXElement& subject);

    // Knobs ---------------------------------------------------------------------------
    void setTrusted(bool trusted);
    void setObserversFail(bool fail);
    void setActivationFails(bool fail);
    void setSpacesFail(bool fail);
    void setSpaces(int count, int current);
    // Applied to every size written (for a window that refuses some sizes).
    void setSizeClamp(std::function<Size(const Window&, const Size&)> clamp);
    // Replaces the capture (runs on the calling thread, often a background one).
    void setCaptureHook(std::function<ImagePtr(WindowNumber)> hook);

    // Records -------------------------------------------------------------------------
    std::vector<std::string> calls() const;
    size_t callCount(const std::string& prefix) const;
    std::vector<Write> writes() const;
    std::vector<Event> events() const;
    void clearRecords();
    int observersCreated() const;
    size_t registrationCount() const;

    // desktop::Accessibility -----------------------------------------------------------
    std::optional<AXValue> copyAttributeValue(const AXElement& element, const std::string& attribute) override;
    std::optional<std::vector<AXElement>> copyAttributeValues(const AXElement& element, const std::string& attribute,
                                                              size_t index, size_t maxCount) override;
    std::optional<bool> isAttributeSettable(const AXElement& element, const std::string& attribute) override;
    bool setAttributeValue(const AXElement& element, const std::string& attribute, const AXValue& value) override;
    bool performAction(const AXElement& element, const std::string& action) override;
    Pid pid(const AXElement& element) override;
    WindowNumber windowNumber(const AXElement& element) override;
    bool isProcessTrusted() override;
    bool apiEnabled() override;
    std::unique_ptr<desktop::AXObserver> createObserver(Pid pid, desktop::AXObserver::Callback callback) override;

    // desktop::WindowServer ------------------------------------------------------------
    std::vector<desktop::WindowInfo> windowList(uint32_t options, WindowNumber relativeTo = 0) override;
    ImagePtr captureWindow(WindowNumber window) override;
    // Recorded as "keepContents N" and "releaseContents N"; YES when N was not kept.
    bool keepContents(WindowNumber window) override;
    void releaseContents(WindowNumber window) override;
    std::set<WindowNumber> keptContents() const;
    bool setFrontProcess(Pid pid, bool frontWindowOnly) override;
    int numberOfSpaces() override;
    int currentSpace() override;
    bool moveWindowToSpace(WindowNumber window, int space) override;

    // desktop::EventPoster -------------------------------------------------------------
    void postKey(uint16_t keyCode, bool down, uint64_t flags) override;
    void postMouse(desktop::MouseEventType type, const Point& location, uint64_t flags) override;
    Point pointerLocation() override;
    uint32_t currentButtonState() override;
    uint32_t currentKeyModifiers() override;
    KeyMap currentKeyMap() override;

    // desktop::Workspace ---------------------------------------------------------------
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
    // No icon for these paths (an application whose entry names no icon).
    void setIconless(const std::string& path);
    // Recorded; they answer NO (noting why) once no default application is available.
    bool openFile(const std::string& path, const std::string& application = "") override;
    bool openURL(const URL& url) override;
    void setDefaultApplicationsAvailable(bool available) { openers_ = available; }
    bool launchApplication(const std::string& pathOrIdentifier) override;
    bool launchAppWithBundleIdentifier(const std::string& bundleIdentifier, unsigned options) override;
    // Records "launchDesktopAction <entry id> <action>" for an entry that lists the action.
    bool launchDesktopAction(const std::string& pathOrIdentifier, const std::string& action) override;
    // Records "launchExecutable <path>"; NO for a path that is not absolute.
    bool launchExecutable(const std::string& path) override;
    std::vector<desktop::DesktopEntry> applicationsInCategory(const std::string& category) override;

private:
    bool openers_ = true;
    struct Registration;
    struct ObserverState;
    class Observer;
    struct App {
        RunningApplicationPtr app;
        std::map<std::string, AXValue> extraAttributes;
        bool launched = false;  // started by a launched process, which says what it is
    };
    struct Process {
        Pid pid = -1;
        std::string executable;
        // What its windows tell of their application unless they say otherwise.
        std::string wmClass, applicationId;
        // An application from the start (addApplication): what it is, as launched.
        std::optional<RunningApplication::Info> launched;
        // Its application, as first identified: windows that tell nothing of their own
        // keep belonging to it.
        std::optional<desktop::ApplicationIdentity> identity;
    };

    App* findApp(Pid pid);
    Process* findProcess(Pid pid);
    desktop::ApplicationIdentity identify(const desktop::WindowOwner& owner);
    // Groups the windows and launched processes again and tells what changed.
    void regroup(bool announce);
    // Closes every window of the application and ends its launched processes.
    bool endApplication(Pid id);
    Window* findWindow(WindowNumber number);
    bool alive(const AXElement& element);
    bool onScreen(const Window& w);
    void record(std::string call);
    void postWorkspace(const std::string& name, const RunningApplicationPtr& app);
    void notify(const AXElement& target, const std::string& notification, const AXElement& subject);
    void setActiveWindow(WindowNumber number);
    void raiseLocked(WindowNumber number);
    void removeWindowLocked(WindowNumber number, bool announce = true, bool regroupAfter = true);
    bool launchEntry(const desktop::DesktopEntry& entry);

    mutable std::recursive_mutex mutex_;
    std::vector<App> apps_;            // the first started first
    std::vector<Process> processes_;
    desktop::ApplicationGroups groups_{[this](const desktop::WindowOwner& o) { return identify(o); }};
    std::vector<Window> windows_;      // by creation
    std::vector<WindowNumber> stack_;  // front first
    WindowNumber active_ = 0;
    WindowNumber nextWindow_ = 0x400001;
    static inline std::atomic<Pid> nextPid_{50000};  // unique across desktops
    static inline std::atomic<uint64_t> nextStart_{1};
    std::vector<desktop::DesktopEntry> entries_;
    struct FileApplications {
        std::optional<std::string> defaultApplication;
        std::optional<std::vector<std::string>> applications;
    };
    std::map<std::string, FileApplications> fileApplications_;
    std::vector<std::string> iconless_;
    Point pointer_;
    uint32_t buttons_ = 0;
    uint32_t modifiers_ = 0;
    KeyMap keys_{};
    bool trusted_ = true;
    bool observersFail_ = false;
    bool activationFails_ = false;
    bool spacesFail_ = false;
    int spaces_ = 4;
    int currentSpace_ = 0;
    std::function<Size(const Window&, const Size&)> clamp_;
    std::function<ImagePtr(WindowNumber)> captureHook_;
    std::set<WindowNumber> kept_;
    std::vector<std::string> calls_;
    std::vector<Write> writes_;
    std::vector<Event> events_;
    std::vector<std::weak_ptr<ObserverState>> observers_;
    int observersCreated_ = 0;
    RunningApplicationPtr current_;
};

}  // namespace qs::sim
