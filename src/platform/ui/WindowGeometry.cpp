#include "platform/ui/WindowGeometry.h"

#include <cmath>

#include <QWidget>

namespace qs::WindowGeometry {

namespace {
double firstScreenHeight() {
    auto screens = Screen::screens();
    return screens.empty() ? 0.0 : screens.front()->frame().size.height;
}

Rect mirrored(const Rect& r) {
    return MakeRect(r.origin.x, firstScreenHeight() - r.size.height - r.origin.y, r.size.width, r.size.height);
}
}  // namespace

QRect qtRectFromPlatform(const Rect& r) {
    Rect m = mirrored(r);
    return QRect(int(std::lround(m.origin.x)), int(std::lround(m.origin.y)), int(std::lround(m.size.width)),
                 int(std::lround(m.size.height)));
}

Rect platformRectFromQt(const QRect& q) { return mirrored(MakeRect(q.x(), q.y(), q.width(), q.height())); }

Rect frame(const QWidget* window) { return platformRectFromQt(window->geometry()); }

void setFrame(QWidget* window, const Rect& frame, bool display) {
    window->setGeometry(qtRectFromPlatform(frame));
    if (display) window->repaint();
}

ScreenPtr screen(const QWidget* window) { return Screen::screenWithLargestPartOf(frame(window)); }

}  // namespace qs::WindowGeometry
