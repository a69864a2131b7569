#include "platform/x11/X11Screens.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

#include "platform/desktop/Notifications.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/x11/X11WindowServer.h"
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

}  // namespace

class X11Screens::QtScreen : public Screen {
public:
    QtScreen(QScreen* s, std::weak_ptr<StrutSource> struts) : screen_(s), struts_(std::move(struts)) { remember(); }

    Rect frame() const override {
        if (screen_) lastFrame_ = fromQRect(geometryOf(screen_));
        return lastFrame_;
    }
    Rect visibleFrame() const override {
        if (!screen_) return lastVisible_;
        QRect g = geometryOf(screen_);
        Rect visible = MakeRect(g.x(), g.y(), g.width(), g.height());
        auto source = struts_.lock();
        if (source && *source) visible = visibleArea(visible, (*source)(), rootWindowSize());
        lastVisible_ = platformRectFromX11(visible.origin.x, visible.origin.y, visible.size.width, visible.size.height);
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
    std::weak_ptr<StrutSource> struts_;
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

Size X11Screens::rootWindowSize() { return MakeSize(rootSize().first, rootSize().second); }

Rect X11Screens::visibleArea(const Rect& monitor, const std::vector<std::array<uint32_t, 12>>& struts,
                             const Size& root) {
    double left = MinX(monitor), right = MaxX(monitor), top = MinY(monitor), bottom = MaxY(monitor);
    // Whether the span [start, end] (inclusive ends) and the range [low, high) overlap.
    auto across = [](uint32_t start, uint32_t end, double low, double high) {
        return double(start) < high && double(end) + 1.0 > low && end >= start;
    };
    for (const auto& s : struts) {
        const double l = s[0], r = s[1], t = s[2], b = s[3];
        if (l > 0 && across(s[4], s[5], MinY(monitor), MaxY(monitor)) && l > MinX(monitor)) left = std::max(left, l);
        if (r > 0 && across(s[6], s[7], MinY(monitor), MaxY(monitor)) && root.width - r < MaxX(monitor))
            right = std::min(right, root.width - r);
        if (t > 0 && across(s[8], s[9], MinX(monitor), MaxX(monitor)) && t > MinY(monitor)) top = std::max(top, t);
        if (b > 0 && across(s[10], s[11], MinX(monitor), MaxX(monitor)) && root.height - b < MaxY(monitor))
            bottom = std::min(bottom, root.height - b);
    }
    if (right <= left || bottom <= top) return monitor;
    return MakeRect(left, top, right - left, bottom - top);
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
    if (auto windows = windows_.lock(); windows && windowsListener_) windows->removeChangeListener(windowsListener_);
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
    auto screen = std::make_shared<QtScreen>(s, struts_);
    known_.emplace_back(s, screen);
    return screen;
}

std::vector<Rect> X11Screens::visibleFrames() {
    std::vector<Rect> frames;
    for (auto& s : screens()) frames.push_back(s->visibleFrame());
    return frames;
}

void X11Screens::changed(bool reservedSpaceOnly) {
    if (!reservedSpaceOnly) layoutChanged_ = true;
    if (postQueued_) return;
    postQueued_ = true;
    std::weak_ptr<bool> alive = alive_;
    RunLoop::main().post([this, alive] {
        auto a = alive.lock();
        if (!a || !*a) return;
        postQueued_ = false;
        const bool layout = std::exchange(layoutChanged_, false);
        // Space kept by other panels matters only where it moves a visible frame: a panel
        // made again (by another dock rebuilding its windows, say) keeps what it kept.
        std::vector<Rect> frames = visibleFrames();
        if (!layout && frames == toldVisible_) return;
        toldVisible_ = std::move(frames);
        ++posts_;
        NotificationCenter::defaultCenter().postNotificationName(NSApplicationDidChangeScreenParametersNotification);
    });
}

void X11Screens::setWindowServer(const std::shared_ptr<X11WindowServer>& windows) {
    if (auto old = windows_.lock(); old && windowsListener_) old->removeChangeListener(windowsListener_);
    windows_ = windows;
    windowsListener_ = 0;
    *struts_ = nullptr;
    if (!windows) return;
    std::weak_ptr<X11WindowServer> weak = windows;
    *struts_ = [weak] {
        auto w = weak.lock();
        return w ? w->reservedByOthers() : std::vector<std::array<uint32_t, 12>>{};
    };
    windowsListener_ = windows->addChangeListener([this](const X11Change& change) {
        if (change.kind == X11Change::Kind::ReservedSpaceChanged) changed(true);
    });
    toldVisible_ = visibleFrames();
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
    if (list.size() == 1) return list.front();  // every rule below finds it
    // 1. The screen holding the centre of the active window (from the window list when
    // it lists the window: it knows where it is without asking the server).
    auto windows = windows_.lock();
    const xcb_window_t active = windows ? windows->activeWindow() : activeWindow();
    if (auto listed = windows ? windows->client(active) : std::nullopt) {
        const Rect& g = listed->clientGeometry;
        if (auto s = screenContaining(
                MakePoint(g.origin.x + g.size.width / 2.0, mirrorHeight() - (g.origin.y + g.size.height / 2.0))))
            return s;
    } else if (auto s = screenOfWindow(active)) {
        return s;
    }
    // 2. The screen under the pointer.
    if (QScreen* s = QGuiApplication::screenAt(QCursor::pos())) return wrap(s);
    // 3. The primary screen.
    return list.front();
}

}  // namespace qs::x11
