#pragma once
// The managed windows of an X11 desktop, as the window manager lists them
// (_NET_CLIENT_LIST_STACKING), with their properties read in batches: one refresh costs
// three round trips however many windows there are. The table is refreshed when X
// events say something changed (on the next main-loop turn, or at once when it is read
// while stale), and each refresh is compared with the previous one to tell the
// listeners what changed: windows made, gone, minimised, moved, resized, retitled, the
// active window. A window counts as made once the window manager has mapped it (or
// keeps it iconic): a client listed but not yet shown is told of when it is.
//
// Window pictures are read on a connection of their own, so captures can run on any
// thread. A window whose contents are kept (keepContents) is redirected with the
// Composite extension and read from its own picture, whatever covers it; any other is
// read from the screen, and only when nothing covers it (no picture otherwise). A shaped
// window's picture is transparent outside its shape.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <xcb/xcb.h>

class QImage;
class QRect;

#include "platform/desktop/WindowServer.h"

namespace qs::x11 {

class XConnection;

// One managed client, as last read.
struct X11Client {
    xcb_window_t window = XCB_WINDOW_NONE;
    desktop::Pid pid = -1;
    std::string title;
    std::string wmInstance, wmClass;  // WM_CLASS
    std::string applicationId;        // _GTK_APPLICATION_ID or _KDE_NET_WM_DESKTOP_FILE
    Rect frame;                       // outer frame, root coordinates
    Rect clientGeometry;              // the client window alone, root coordinates
    uint32_t extents[4] = {0, 0, 0, 0};  // frame extents: left, right, top, bottom
    bool viewable = false;
    bool mapped = false;              // mapped by the window manager (maybe inside an unmapped frame)
    bool hidden = false;              // _NET_WM_STATE_HIDDEN or WM_STATE Iconic
    bool modal = false;
    bool above = false, below = false;
    bool skipTaskbar = false;
    std::string type;                 // "normal", "dialog", "utility", "dock", "desktop", ...
    xcb_window_t transientFor = XCB_WINDOW_NONE;
    int desktop = 0;                  // -1: every desktop
    double alpha = 1.0;
    bool canMove = true, canResize = true, canClose = true, canMinimize = true;
};

struct X11Change {
    enum class Kind { Created, Destroyed, Minimized, Deminimized, Moved, Resized, TitleChanged, FocusChanged, Activated };
    Kind kind;
    xcb_window_t window = XCB_WINDOW_NONE;
    desktop::Pid pid = -1;
    desktop::Pid previousPid = -1;  // Activated: the process that was active before
};

class X11WindowServer : public desktop::WindowServer {
public:
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
    // The clients of one process, front to back (copies only those).
    std::vector<X11Client> clientsOf(desktop::Pid pid);
    xcb_window_t activeWindow();
    // Reads everything again now (the benchmark and tests use it).
    void refresh();
    void invalidate();
    // The number of refreshes made (for tests).
    int refreshCount() const { return refreshes_; }

    // Requests to the window manager (answer NO when the request could not be sent).
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
        std::map<xcb_window_t, size_t> position;  // window -> index in clients
        xcb_window_t active = XCB_WINDOW_NONE;
        int currentDesktop = 0;
        int desktops = 1;
    };
    Table read();
    void ensureFresh();
    void onEvent(const xcb_generic_event_t* event);
    void scheduleRefresh();
    void compare(const Table& before, const Table& after);
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
    int refreshes_ = 0;
    std::map<xcb_window_t, bool> selected_;  // clients whose events we asked for
    std::set<xcb_window_t> told_;            // clients the listeners were told of
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
