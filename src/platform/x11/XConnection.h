#pragma once
// One connection to the X server for the desktop backend, with cached atoms, the EWMH
// helper and a list of event listeners. Events are read on the main thread: a socket
// notifier on the connection's descriptor, plus a drain whenever the Qt event loop is
// about to sleep (xcb may hold events it read while waiting for a reply). Code that
// waits for replies and wants the events they queued handled at once calls
// processPendingEvents().

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

class QSocketNotifier;
class QObject;

namespace qs::x11 {

class XConnection {
public:
    using Listener = std::function<void(const xcb_generic_event_t*)>;

    // Connects to `display` (nullptr: $DISPLAY). Answers nullptr, with a log line, when
    // the server cannot be reached.
    static std::shared_ptr<XConnection> open(const char* display = nullptr);
    // The main-thread connection of the program (nullptr until set).
    static std::shared_ptr<XConnection> shared();
    static void setShared(std::shared_ptr<XConnection> connection);

    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    xcb_connection_t* connection() const { return conn_; }
    xcb_ewmh_connection_t* ewmh() { return &ewmh_; }
    xcb_screen_t* screen() const { return screen_; }
    xcb_window_t root() const { return root_; }
    int screenNumber() const { return screenNumber_; }
    // The display connected to (":0"), for opening another connection to the same server.
    const std::string& displayName() const { return displayName_; }
    // False once the server has gone away.
    bool isValid() const;

    // The atom of `name`, interned on first use and cached; XCB_ATOM_NONE on failure.
    xcb_atom_t atom(const std::string& name);

    // Every event read from the server (errors included, response_type 0) goes to each
    // listener, in registration order. A listener may add or remove listeners.
    int addEventListener(Listener listener);
    void removeEventListener(int id);

    // Reads and dispatches everything the server has sent so far.
    void processPendingEvents();
    // The same for a question that wants an answer as of now: the socket is read at most
    // once in a short while (a burst of questions would each pay a system call for it);
    // between reads only what was read already is dispatched.
    void catchUp();
    // Leaves the socket unread for `ms` milliseconds (main thread): a listener that handles
    // a flurry of events together, a little after the first, asks for it so that the
    // others do not wake the program one by one. Reading then resumes with everything
    // that came meanwhile. Asking again while held changes nothing.
    void holdReading(int ms);
    void flush();

private:
    XConnection() = default;
    void dispatch(const xcb_generic_event_t* event);
    void drainQueued();

    xcb_connection_t* conn_ = nullptr;
    xcb_ewmh_connection_t ewmh_{};
    bool ewmhReady_ = false;
    xcb_screen_t* screen_ = nullptr;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    int screenNumber_ = 0;
    std::string displayName_;
    std::unordered_map<std::string, xcb_atom_t> atoms_;
    std::map<int, std::shared_ptr<Listener>> listeners_;
    int nextListener_ = 1;
    bool errorLogged_ = false;
    int64_t lastRead_ = 0;
    bool held_ = false;  // steady-clock nanoseconds of the last read of the socket
    QSocketNotifier* notifier_ = nullptr;
    QObject* context_ = nullptr;  // owns the Qt connections; deleted with us
};

// The toolkit's own connection to the display listens to every property change of the
// root window, and each one wakes its reader thread and then the main thread, although
// the window list reads them on a connection of its own: a desktop that opens and closes
// windows changes the root's lists several times a window. Called once the application
// object exists, it keeps the toolkit from hearing of them; its other events stay.
void quietToolkitRootProperties();

}  // namespace qs::x11
