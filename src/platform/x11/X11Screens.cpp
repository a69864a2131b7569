#include "platform/x11/X11Screens.h"

#include <algorithm>
#include <cstdlib>

#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

#include "platform/desktop/Notifications.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/x11/XConnection.h"

namespace qs::x11 {

namespace {
// The root window's size, shared with the screens (0 x 0 when unknown).
std::pair<int, int>& rootSize() {
    static std::pair<int, int> size{0, 0};
    return size;
}

// A screen's geometry as it stands on the root window: clipped to it, or the whole root
// when the screen lies outside it (or is empty).
QRect onRoot(const QRect& geometry) {
    auto [w, h] = rootSize();
    if (w <= 0 || h <= 0) return geometry;
    QRect root(0, 0, w, h);
    QRect clipped = geometry.intersected(root);
    return clipped.isEmpty() ? root : clipped;
}

QList<QScreen*> orderedScreens() {
    if (!qGuiApp) return {};
    QList<QScreen*> list = QGuiApplication::screens();
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary && list.removeOne(primary)) list.prepend(primary);
    return list;
}

Rect fromQRect(const QRect& r) { return X11Screens::platformRectFromX11(r.x(), r.y(), r.width(), r.height()); }

QRect geometryOf(QScreen* s) { return onRoot(s->geometry()); }

QRect availableGeometryOf(QScreen* s) {
    QRect frame = geometryOf(s);
    QRect available = s->availableGeometry().intersected(frame);
    return available.isEmpty() ? frame : available;
}
}  // namespace

class X11Screens::QtScreen : public Screen {
public:
    explicit QtScreen(QScreen* s) : screen_(s) { remember(); }

    Rect frame() const override {
        if (screen_) lastFrame_ = fromQRect(geometryOf(screen_));
        return lastFrame_;
    }
    Rect visibleFrame() const override {
        if (screen_) lastVisible_ = fromQRect(availableGeometryOf(screen_));
        return lastVisible_;
    }
    std::string localizedName() const override {
        if (screen_) lastName_ = screen_->name().toStdString();
        return lastName_;
    }
    double backingScaleFactor() const override { return screen_ ? screen_->devicePixelRatio() : lastScale_; }

    // Keeps the last values, for holders of a screen whose output has gone.
    void remember() {
        if (!screen_) return;
        frame();
        visibleFrame();
        localizedName();
        lastScale_ = screen_->devicePixelRatio();
    }
    QScreen* qscreen() const { return screen_; }

private:
    QPointer<QScreen> screen_;
    mutable Rect lastFrame_;
    mutable Rect lastVisible_;
    mutable std::string lastName_;
    double lastScale_ = 1.0;
};

double X11Screens::mirrorHeight() {
    QList<QScreen*> list = orderedScreens();
    return list.isEmpty() ? 0.0 : double(geometryOf(list.first()).height());
}

Rect X11Screens::platformRectFromX11(double x, double y, double width, double height) {
    return MakeRect(x, mirrorHeight() - (y + height), width, height);
}

Rect X11Screens::x11RectFromPlatform(const Rect& r) {
    Rect s = RectStandardize(r);
    return MakeRect(s.origin.x, mirrorHeight() - (s.origin.y + s.size.height), s.size.width, s.size.height);
}

X11Screens::X11Screens(std::shared_ptr<XConnection> connection) : conn_(std::move(connection)) {
    if (!qGuiApp) {
        log("X11: screens need a QGuiApplication; none exists, so no screens are reported");
        return;
    }
    context_ = new QObject();
    if (conn_ && conn_->isValid()) {
        readRootSize();
        listener_ = conn_->addEventListener([this](const xcb_generic_event_t* e) { onEvent(e); });
    }
    for (QScreen* s : QGuiApplication::screens()) watch(s);
    QObject::connect(qGuiApp, &QGuiApplication::screenAdded, context_, [this](QScreen* s) {
        watch(s);
        changed();
    });
    QObject::connect(qGuiApp, &QGuiApplication::screenRemoved, context_, [this](QScreen* s) {
        for (auto it = known_.begin(); it != known_.end(); ++it) {
            if (it->first == s) {
                it->second->remember();
                known_.erase(it);
                break;
            }
        }
        changed();
    });
    QObject::connect(qGuiApp, &QGuiApplication::primaryScreenChanged, context_, [this](QScreen*) { changed(); });
}

X11Screens::~X11Screens() {
    *alive_ = false;
    if (conn_ && listener_) conn_->removeEventListener(listener_);
    delete context_;
}

void X11Screens::readRootSize() {
    xcb_connection_t* c = conn_->connection();
    auto* geo = xcb_get_geometry_reply(c, xcb_get_geometry(c, conn_->root()), nullptr);
    if (geo) rootSize() = {geo->width, geo->height};
    free(geo);
}

void X11Screens::onEvent(const xcb_generic_event_t* event) {
    if ((event->response_type & 0x7f) != XCB_CONFIGURE_NOTIFY) return;
    auto* e = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
    if (e->window != conn_->root() || e->event != conn_->root()) return;
    if (rootSize() == std::pair<int, int>(e->width, e->height)) return;
    rootSize() = {e->width, e->height};
    changed();
}

void X11Screens::watch(QScreen* s) {
    wrap(s);
    // Geometry only: availableGeometryChanged follows struts (our own panels included).
    QObject::connect(s, &QScreen::geometryChanged, context_, [this](const QRect&) { changed(); });
}

std::shared_ptr<Screen> X11Screens::wrap(QScreen* s) {
    if (!s) return nullptr;
    for (auto& [q, screen] : known_)
        if (q == s) return screen;
    auto screen = std::make_shared<QtScreen>(s);
    known_.emplace_back(s, screen);
    return screen;
}

void X11Screens::changed() {
    if (postQueued_) return;
    postQueued_ = true;
    std::weak_ptr<bool> alive = alive_;
    RunLoop::main().post([this, alive] {
        auto a = alive.lock();
        if (!a || !*a) return;
        postQueued_ = false;
        ++posts_;
        NotificationCenter::defaultCenter().postNotificationName(NSApplicationDidChangeScreenParametersNotification);
    });
}

std::vector<std::shared_ptr<Screen>> X11Screens::screens() {
    std::vector<std::shared_ptr<Screen>> out;
    for (QScreen* s : orderedScreens()) out.push_back(wrap(s));
    return out;
}

std::shared_ptr<Screen> X11Screens::screenContaining(const Point& point) {
    for (auto& s : screens())
        if (RectContainsPoint(s->frame(), point)) return s;
    return nullptr;
}

xcb_window_t X11Screens::activeWindow() {
    if (!conn_ || !conn_->isValid()) return XCB_WINDOW_NONE;
    xcb_window_t active = XCB_WINDOW_NONE;
    if (!xcb_ewmh_get_active_window_reply(conn_->ewmh(), xcb_ewmh_get_active_window(conn_->ewmh(), conn_->screenNumber()),
                                          &active, nullptr))
        return XCB_WINDOW_NONE;
    return active;
}

std::shared_ptr<Screen> X11Screens::screenOfWindow(xcb_window_t window) {
    if (!conn_ || !conn_->isValid() || window == XCB_WINDOW_NONE) return nullptr;
    xcb_connection_t* c = conn_->connection();
    auto* geo = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    auto* tr = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, conn_->root(), 0, 0), nullptr);
    std::shared_ptr<Screen> found;
    if (geo && tr) {
        double cx = tr->dst_x + geo->width / 2.0;
        double cy = tr->dst_y + geo->height / 2.0;
        found = screenContaining(MakePoint(cx, mirrorHeight() - cy));
    }
    free(geo);
    free(tr);
    return found;
}

std::shared_ptr<Screen> X11Screens::mainScreen() {
    auto list = screens();
    if (list.empty()) return nullptr;
    // 1. The screen holding the centre of the active window.
    if (auto s = screenOfWindow(activeWindow())) return s;
    // 2. The screen under the pointer.
    if (QScreen* s = QGuiApplication::screenAt(QCursor::pos())) return wrap(s);
    // 3. The primary screen.
    return list.front();
}

}  // namespace qs::x11
