#include "platform/x11/XConnection.h"

#include <chrono>
#include <cstdlib>
#include <vector>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QObject>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include "platform/foundation/Log.h"

namespace qs::x11 {

namespace {
// A question asked within this long of the last read of the socket is answered without
// reading it again (the socket notifier reads whatever came meanwhile).
constexpr int64_t kCatchUpInterval = 2'000'000;  // ns

int64_t steadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
std::shared_ptr<XConnection>& sharedSlot() {
    static std::shared_ptr<XConnection> slot;
    return slot;
}
}  // namespace

std::shared_ptr<XConnection> XConnection::shared() { return sharedSlot(); }
void XConnection::setShared(std::shared_ptr<XConnection> connection) { sharedSlot() = std::move(connection); }

std::shared_ptr<XConnection> XConnection::open(const char* display) {
    const char* name = display ? display : std::getenv("DISPLAY");
    if (!name || !*name) {
        log("X11: no display to connect to (DISPLAY is not set)");
        return nullptr;
    }
    int screenNumber = 0;
    xcb_connection_t* conn = xcb_connect(name, &screenNumber);
    if (!conn || xcb_connection_has_error(conn)) {
        log("X11: cannot connect to display \"", name, "\"");
        if (conn) xcb_disconnect(conn);
        return nullptr;
    }
    std::shared_ptr<XConnection> c(new XConnection());
    c->conn_ = conn;
    c->screenNumber_ = screenNumber;
    c->displayName_ = name;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(conn));
    for (int i = 0; it.rem && i < screenNumber; ++i) xcb_screen_next(&it);
    if (!it.rem) {
        log("X11: display \"", name, "\" has no screen ", screenNumber);
        return nullptr;  // the destructor disconnects
    }
    c->screen_ = it.data;
    c->root_ = it.data->root;

    xcb_intern_atom_cookie_t* cookies = xcb_ewmh_init_atoms(conn, &c->ewmh_);
    if (cookies && xcb_ewmh_init_atoms_replies(&c->ewmh_, cookies, nullptr)) {
        c->ewmhReady_ = true;
    } else {
        log("X11: cannot set up the EWMH atoms on display \"", name, "\"");
        return nullptr;
    }

    // Root changes (active window, desktops, client lists, the root's own size); the
    // listeners pick what they need. Not the root's children: those are the window
    // manager's frames, whose every move would wake the dock, and the clients in them are
    // followed one by one through their own events.
    uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(conn, c->root_, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(conn);

    if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread()) {
        c->context_ = new QObject();
        XConnection* self = c.get();
        c->notifier_ = new QSocketNotifier(xcb_get_file_descriptor(conn), QSocketNotifier::Read, c->context_);
        QObject::connect(c->notifier_, &QSocketNotifier::activated, c->context_,
                         [self] { self->processPendingEvents(); });
        if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
            QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, c->context_,
                             [self] { self->drainQueued(); });
        }
    }
    return c;
}

XConnection::~XConnection() {
    delete context_;  // the notifier and the Qt connections go first
    context_ = nullptr;
    notifier_ = nullptr;
    if (ewmhReady_) xcb_ewmh_connection_wipe(&ewmh_);
    if (conn_) xcb_disconnect(conn_);
}

bool XConnection::isValid() const { return conn_ && !xcb_connection_has_error(conn_); }

xcb_atom_t XConnection::atom(const std::string& name) {
    auto it = atoms_.find(name);
    if (it != atoms_.end()) return it->second;
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(conn_, xcb_intern_atom(conn_, 0, uint16_t(name.size()), name.data()), nullptr);
    xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    if (a != XCB_ATOM_NONE) atoms_.emplace(name, a);
    return a;
}

int XConnection::addEventListener(Listener listener) {
    int id = nextListener_++;
    listeners_.emplace(id, std::make_shared<Listener>(std::move(listener)));
    return id;
}

void XConnection::removeEventListener(int id) { listeners_.erase(id); }

void XConnection::dispatch(const xcb_generic_event_t* event) {
    // Snapshot: a listener may remove itself or others; removed ones are not called.
    std::vector<std::pair<int, std::weak_ptr<Listener>>> snapshot;
    snapshot.reserve(listeners_.size());
    for (auto& [id, l] : listeners_) snapshot.emplace_back(id, l);
    for (auto& [id, weak] : snapshot) {
        if (!listeners_.count(id)) continue;
        if (auto l = weak.lock()) (*l)(event);
    }
}

void XConnection::processPendingEvents() {
    if (!conn_) return;
    lastRead_ = steadyNanoseconds();
    while (xcb_generic_event_t* event = xcb_poll_for_event(conn_)) {
        dispatch(event);
        free(event);
    }
    if (xcb_connection_has_error(conn_) && !errorLogged_) {
        errorLogged_ = true;
        log("X11: the connection to the display was lost");
        if (notifier_) notifier_->setEnabled(false);
    }
}

void XConnection::catchUp() {
    if (!conn_) return;
    if (steadyNanoseconds() - lastRead_ >= kCatchUpInterval)
        processPendingEvents();
    else
        drainQueued();
}

void XConnection::holdReading(int ms) {
    if (!notifier_ || held_ || !context_ || QThread::currentThread() != context_->thread()) return;
    held_ = true;
    notifier_->setEnabled(false);
    QTimer::singleShot(ms, Qt::PreciseTimer, context_, [this] {
        held_ = false;
        if (notifier_ && !errorLogged_) notifier_->setEnabled(true);
        processPendingEvents();
    });
}

void XConnection::drainQueued() {
    if (!conn_ || xcb_connection_has_error(conn_)) return;
    xcb_flush(conn_);
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(conn_)) {
        dispatch(event);
        free(event);
    }
}

void XConnection::flush() {
    if (conn_) xcb_flush(conn_);
}

void quietToolkitRootProperties() {
    auto* app = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = app ? app->connection() : nullptr;
    if (!c) return;
    const xcb_setup_t* setup = xcb_get_setup(c);
    for (auto it = xcb_setup_roots_iterator(setup); it.rem; xcb_screen_next(&it)) {
        const xcb_window_t root = it.data->root;
        auto* attributes = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, root), nullptr);
        if (!attributes) continue;
        const uint32_t mask = attributes->your_event_mask & ~uint32_t(XCB_EVENT_MASK_PROPERTY_CHANGE);
        if (mask != attributes->your_event_mask) xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
        free(attributes);
    }
    xcb_flush(c);
}

}  // namespace qs::x11
