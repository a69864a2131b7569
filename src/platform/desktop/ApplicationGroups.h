#pragma once
// Which running application each managed window belongs to.
//
// A running application is the set of windows (and the processes that own them) that
// map to one desktop entry: by the application id a window names
// (_GTK_APPLICATION_ID, _KDE_NET_WM_DESKTOP_FILE), then by its WM_CLASS against an
// entry's StartupWMClass or desktop-file id, then by its process's executable against an
// entry's Exec or TryExec. Windows that map to no entry form one application per WM_CLASS
// (class and instance), named after the class; windows that name no class form one per
// process. This program's own windows are its own application.
//
// An application's identifier takes the place of a process identifier everywhere above
// the backends (caches, accessibility elements, window owners, badges): it is the
// identifier of the process that owned the application's first window, kept for the
// application's whole life even when that process ends while others keep windows open;
// when another live application already has that number (a reused process identifier),
// a number above every possible process identifier is taken instead. It is never a
// process to signal: the processes of an application are those that own its windows now.
//
// Both backends group with ApplicationGroups, so the tests of the in-memory desktop
// cover the rules the X11 desktop runs on. Nothing here talks to a display server.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/desktop/Accessibility.h"
#include "platform/desktop/Workspace.h"

namespace qs::desktop {

// What a managed window says of its owner (the texts are borrowed for the call they are
// given to). `window` 0 stands for a process that is an application without a window of
// its own (the in-memory desktop's launched applications); the X11 desktop never gives
// one.
struct WindowOwner {
    WindowNumber window = 0;
    Pid process = -1;  // the process the display server says owns it; -1 when unknown
    std::string_view wmInstance, wmClass;
    std::string_view applicationId;
    // A window the user works in (normal or dialog, in the task list): an application
    // with none is not a regular application.
    bool regular = true;
};

struct ApplicationIdentity {
    std::string key;  // one application per key
    std::optional<DesktopEntry> entry;
    std::string name;  // the entry's name, else the class, else the executable's name
};

// The desktop entry of a window: the entry of the application id it names, else the
// first whose StartupWMClass is its class (then its instance), else the first whose
// desktop-file id is its class or instance (ignoring case, also the last part of a dotted
// id), else the first whose Exec program or TryExec is its executable (entries run in a
// terminal left out: their programs never own windows of their own). nullopt when none.
std::optional<DesktopEntry> matchDesktopEntry(const std::vector<DesktopEntry>& entries,
                                              const std::string& applicationId, const std::string& wmInstance,
                                              const std::string& wmClass, const std::string& executable);

// The identity of a window given its entry (from matchDesktopEntry) and its process's
// executable ("" when unknown); `self` is this program's process.
ApplicationIdentity identityOf(const WindowOwner& owner, const std::optional<DesktopEntry>& entry,
                               const std::string& executable, Pid self);

// The grouping of the managed windows, kept across refreshes of the window list.
class ApplicationGroups {
public:
    // Identifiers handed out when the founding process's identifier is taken: above
    // every process identifier the kernel gives (at most 2^22).
    static constexpr Pid kFirstSpareIdentifier = 0x40000000;

    struct Application {
        Pid id = -1;
        uint64_t serial = 0;  // never the same for two applications of one grouping
        ApplicationIdentity identity;
        Pid founder = -1;  // the process of its first window; -1 when unknown
        std::vector<WindowNumber> windows;  // front to back, as last given
        std::vector<Pid> processes;         // the owners of its windows now, first seen first
        bool regular = false;
    };
    struct Changes {
        std::vector<Pid> started;  // in the order their first windows were given
        std::vector<Pid> changed;  // other processes or another regular flag
        std::vector<Pid> ended;
        bool empty() const { return started.empty() && changed.empty() && ended.empty(); }
    };
    // Identifies one window (called for windows not seen before and for windows whose
    // owner, class or application id changed; always for windowless members).
    using Identify = std::function<ApplicationIdentity(const WindowOwner&)>;

    explicit ApplicationGroups(Identify identify);

    // The windows now, front to back; answers which applications started, changed and
    // ended. Windows that moved to another application (their class changed) are told by
    // windowsMoved() until the next update.
    Changes update(const std::vector<WindowOwner>& windows);
    // Every window is identified again on the next update (the installed entries changed).
    void forgetIdentities();

    // The application of a window; -1 when it has none.
    Pid applicationOf(WindowNumber window) const;
    const Application* application(Pid id) const;
    // Every application, the first started first.
    std::vector<const Application*> applications() const;
    // The windows the last update moved from one application to another, with the one
    // they left.
    const std::vector<std::pair<WindowNumber, Pid>>& windowsMoved() const { return moved_; }

private:
    // What a window said of its owner when it was identified.
    struct Facts {
        Pid process = -1;
        std::string wmInstance, wmClass, applicationId;
        bool regular = true;
        bool operator==(const WindowOwner& o) const {
            return process == o.process && wmInstance == o.wmInstance && wmClass == o.wmClass &&
                   applicationId == o.applicationId && regular == o.regular;
        }
    };
    struct Known {
        Facts owner;
        ApplicationIdentity identity;
        Pid application = -1;
        uint64_t seen = 0;        // the update that last listed the window
        uint64_t identified = 0;  // the identities' generation it was identified in
    };
    Pid allocate(Pid founder) const;

    Identify identify_;
    std::unordered_map<WindowNumber, Known> known_;
    std::map<Pid, Application> applications_;
    std::map<std::string, Pid> byKey_;
    std::vector<std::pair<WindowNumber, Pid>> moved_;
    uint64_t serial_ = 0;
    uint64_t generation_ = 0;
    uint64_t identities_ = 1;
    mutable Pid nextSpare_ = kFirstSpareIdentifier;
};

}  // namespace qs::desktop
