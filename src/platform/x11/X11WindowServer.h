#pragma once
// The managed windows of an X11 desktop, as the window manager lists them
// (_NET_CLIENT_LIST_STACKING), with their properties read in batches: one refresh costs
// three round trips however many windows there are. The table is refreshed when X
// events say something changed (on the next main-loop turn, or at once when it is read
// while stale, except by the listeners while they are told of changes: they see the
// table that found them), and each refresh is compared with the previous one to tell the
// listeners what changed: windows made, gone, minimised, moved, resized, retitled, the
// active window. A window counts as made once the window manager has mapped it (or
// keeps it iconic): a client listed but not yet shown is told of when it is. The table is
// read again on the main thread only; other threads see the last one.
//
// A refresh reads the root's lists, and only the clients that are new or whose events
// (property, configure, map, unmap, destroy) said they changed; a desktop switch, and
// refresh(), read them all.
//
// Each window's process is the one the X server names (the X-Resource extension's client
// id, for local clients): a _NET_WM_PID that names another process is not believed. The
// windows are grouped into applications (ApplicationGroups) on each refresh, and every
// window, change and window list names its application's identifier where a process
// identifier would stand.
//
// Window pictures are read on a connection of their own, so captures can run on any
// thread. A window whose contents are kept (keepContents) is redirected with the
// Composite extension and read from its own picture, whatever covers it; any other is
// read from the screen, and only when nothing covers it (no picture otherwise). A shaped
// window's picture is transparent outside its shape.

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include <xcb/xcb.h>

#include "platform/desktop/ApplicationGroups.h"
#include "platform/desktop/WindowServer.h"
#include "platform/x11/SettleTimer.h"

class QImage;
class QRect;

namespace qs::x11 {

class XConnection;

// One managed client, as last read.
struct X11Client {
    xcb_window_t window = XCB_WINDOW_NONE;
    desktop::Pid pid = -1;      // its application's identifier; -1 until the window is shown
    desktop::Pid process = -1;  // the process the X server names as its owner; -1 when unknown
    desktop::Pid claimedPid = -1;  // what its _NET_WM_PID says (believed only when it is `process`)
    std::string title;
    std::string wmInstance, wmClass;  // WM_CLASS
    std::string applicationId;        // _GTK_APPLICATION_ID or _KDE_NET_WM_DESKTOP_FILE
    Rect frame;                       // outer frame, root coordinates
    Rect clientGeometry;              // the client window alone, root coordinates
    uint32_t extents[4] = {0, 0, 0, 0};  // frame extents: left, right, top, bottom
    bool viewable = false;
    bool mapped = false;              // mapped by the window manager (maybe inside an unmapped frame)
    bool hidden = false;              // minimised: _NET_WM_STATE_HIDDEN, or WM_STATE Iconic on this desktop
    bool iconic = false;              // WM_STATE Iconic (minimised, or kept so on another desktop)
    bool maximizedVert = false, maximizedHorz = false;
    bool modal = false;
    bool above = false, below = false;
    bool skipTaskbar = false;
    std::string type;                 // "normal", "dialog", "utility", "dock", "desktop", ...
    xcb_window_t transientFor = XCB_WINDOW_NONE;
    int desktop = 0;                  // -1: every desktop
    double alpha = 1.0;
    bool canMove = true, canResize = true, canClose = true, canMinimize = true;
    // The space reserved along the root window's edges (_NET_WM_STRUT_PARTIAL's twelve
    // values; from _NET_WM_STRUT over whole edges), when the client reserves any.
    std::optional<std::array<uint32_t, 12>> strut;
};

// A window's change names the window and its application; an application's change (its
// first window shown, its processes or regular flag changed, its last window gone) names
// the application alone. An application starts before its first window is told of and
// ends after its last one is; a window whose class changed leaves one application
// (Destroyed) and joins another (Created).
struct X11Change {
    // ReservedSpaceChanged: the space other programs' panels reserve changed (no window).
    enum class Kind {
        Created, Destroyed, Minimized, Deminimized, Moved, Resized, TitleChanged, FocusChanged, Activated,
        ApplicationStarted, ApplicationChanged, ApplicationEnded, ReservedSpaceChanged
    };
    Kind kind;
    xcb_window_t window = XCB_WINDOW_NONE;
    desktop::Pid pid = -1;          // the application
    desktop::Pid previousPid = -1;  // Activated: the application that was active before
};

// This process's id, asked of the system once (again in a forked child).
desktop::Pid thisProcess();

class X11WindowServer : public desktop::WindowServer {
public:
    // How long the events that follow a first one are gathered before the clients are
    // read again.
    static constexpr double kEventSettle = 0.025;

    explicit X11WindowServer(std::shared_ptr<XConnection> connection);
    ~X11WindowServer() override;
    X11WindowServer(const X11WindowServer&) = delete;
    X11WindowServer& operator=(const X11WindowServer&) = delete;

    // desktop::WindowServer
    std::vector<desktop::WindowInfo> windowList(uint32_t options, desktop::WindowNumber relativeTo = 0) override;
    ImagePtr captureWindow(desktop::WindowNumber window) override;
    bool keepContents(desktop::WindowNumber window) override;
    void releaseContents(desktop::WindowNumber window) override;
    bool setFrontProcess(desktop::Pid pid, bool frontWindowOnly) override;
    int numberOfSpaces() override;
    int currentSpace() override;
    bool moveWindowToSpace(desktop::WindowNumber window, int space) override;

    // The table, front to back (refreshed first when stale).
    std::vector<X11Client> clients();
    std::optional<X11Client> client(xcb_window_t window);
    // The clients of one application, front to back (copies only those).
    std::vector<X11Client> clientsOf(desktop::Pid pid);
    // The applications as the last refresh grouped them, the first started first.
    std::vector<desktop::ApplicationGroups::Application> applications();
    std::optional<desktop::ApplicationGroups::Application> application(desktop::Pid id);
    // How windows are told apart into applications (by default by class alone). Set
    // once, before anything reads the grouping: the table is grouped again at once and
    // nothing is told of it.
    void setApplicationIdentity(desktop::ApplicationGroups::Identify identify);
    xcb_window_t activeWindow();
    // The struts of the shown clients of other processes than this one, on the current
    // desktop or on all of them. Reads no events (they may be read and handled later,
    // which tells of any change as ReservedSpaceChanged).
    std::vector<std::array<uint32_t, 12>> reservedByOthers();
    // Reads everything again now (the benchmark and tests use it).
    void refresh();
    // The next read reads every client again.
    void invalidate();
    // The number of refreshes made (for tests).
    int refreshCount() const { return refreshes_; }

    // Requests to the window manager (answer NO when the request could not be sent). A
    // window asked to be active counts as the active one for the raise that follows,
    // until the window manager has answered (or a second has passed); one on another
    // desktop has its desktop made the current one first. A maximised window
    // is restored before it is moved or resized: window managers keep maximised windows
    // where they are.
    bool activate(xcb_window_t window);
    bool moveResize(xcb_window_t window, std::optional<Point> frameOrigin, std::optional<Size> frameSize);
    bool iconify(xcb_window_t window);
    bool close(xcb_window_t window);
    bool raise(xcb_window_t window);

    // Told of each change, on the main thread, after the refresh that found it.
    int addChangeListener(std::function<void(const X11Change&)> listener);
    void removeChangeListener(int id);

    std::shared_ptr<XConnection> connection() const { return conn_; }

private:
    struct Table {
        std::vector<X11Client> clients;  // front to back
        std::unordered_map<xcb_window_t, size_t> position;  // window -> index in clients
        std::vector<bool> read;          // per client: read now, not carried over
        xcb_window_t active = XCB_WINDOW_NONE;
        int currentDesktop = 0;
        int desktops = 1;
    };
    // Reads the table; with `previous`, only the clients not in it or in `changed`: the
    // others are moved over from it (it keeps their window and application only).
    // The root's lists (client list, active window, desktops) are read again only with
    // `rootLists` or without `previous`; else they are as `previous` has them.
    Table read(Table* previous, const std::set<xcb_window_t>& changed, bool rootLists = true);
    void refresh(bool everything);
    // Reads the table again when events said it changed; not while the listeners are
    // told of changes, unless `evenWhileTelling`.
    void ensureFresh(bool evenWhileTelling = false);
    void onEvent(const xcb_generic_event_t* event);
    void scheduleRefresh();
    desktop::ApplicationGroups::Changes group(Table& table);
    // Tells the listeners what changed between two tables: `gone` first (windows whose
    // ids new windows took), then the applications and windows.
    void compare(const Table& before, const Table& after, const std::set<xcb_window_t>& shownNow,
                 const desktop::ApplicationGroups::Changes& applications, std::vector<X11Change> gone);
    // Logs, once, when `window` is still active but not the front one of its application.
    void checkRaised(xcb_window_t window, desktop::Pid pid);
    bool clientMessage(xcb_window_t window, xcb_atom_t type, uint32_t d0, uint32_t d1 = 0, uint32_t d2 = 0,
                       uint32_t d3 = 0, uint32_t d4 = 0);
    bool isMainThread() const;
    // The capture connection (made on first use; nullptr when it cannot be), with the
    // extensions checked. Called with captureMutex_ held.
    xcb_connection_t* captureConnection();
    // Whether a compositing manager owns its selection (asked on the capture connection).
    bool compositingManagerRuns(xcb_connection_t* c) const;
    // Whether a viewable window stacked above the window's top-level meets `area` (root
    // coordinates).
    static bool isCovered(xcb_connection_t* c, xcb_window_t window, const QRect& area);
    void applyShape(xcb_connection_t* c, xcb_window_t window, QImage& picture);

    std::shared_ptr<XConnection> conn_;
    int listener_ = 0;
    mutable std::recursive_mutex mutex_;
    Table table_;
    bool fresh_ = false;
    bool refreshQueued_ = false;
    std::unique_ptr<SettleTimer> settle_;  // the refresh that follows events
    int delivering_ = 0;  // the listeners are being told of changes (main thread only)
    int refreshes_ = 0;
    std::map<xcb_window_t, bool> selected_;  // clients whose events we asked for
    std::set<xcb_window_t> changed_;         // clients to read again
    bool readAll_ = false;                   // read every client at the next refresh
    bool rootChanged_ = true;                // the root's lists changed since the last read
    std::set<xcb_window_t> told_;            // clients the listeners were told of
    // Clients destroyed since the last refresh: a window listed under the same id
    // afterwards is another window (the server hands out ids again).
    std::set<xcb_window_t> destroyed_;
    xcb_window_t requestedActive_ = XCB_WINDOW_NONE;
    double requestedAt_ = 0.0;
    bool loggedNoRaise_ = false;
    desktop::ApplicationGroups groups_;
    bool resMissingLogged_ = false;
    std::map<int, std::shared_ptr<std::function<void(const X11Change&)>>> listeners_;
    int nextListener_ = 1;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::map<std::string, xcb_atom_t> atoms_;  // interned up front: usable from any thread

    std::mutex captureMutex_;
    xcb_connection_t* capture_ = nullptr;
    bool compositeChecked_ = false, hasComposite_ = false, hasShape_ = false;
    xcb_atom_t compositingSelection_ = XCB_ATOM_NONE;  // _NET_WM_CM_S<screen>
    std::set<xcb_window_t> kept_;  // windows the capture connection redirected
};

}  // namespace qs::x11
