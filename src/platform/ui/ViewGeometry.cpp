#include "platform/ui/ViewGeometry.h"

#include <algorithm>
#include <cmath>

#include <QVariant>
#include <QWidget>

namespace qs::ViewGeometry {

bool isFlipped(const QWidget* view) {
    if (!view) return true;
    QVariant v = view->property("isFlipped");
    return !v.isValid() || v.toBool();
}

void setFlipped(QWidget* view, bool flipped) {
    if (view) view->setProperty("isFlipped", flipped);
}

Rect bounds(const QWidget* view) {
    if (!view) return RectZero;
    return MakeRect(0, 0, view->width(), view->height());
}

Rect visibleRect(const QWidget* view) {
    if (!view) return RectZero;
    // A widget that is not on screen yet still answers its bounds clipped by its
    // ancestors, as a view not in a window answers its whole bounds.
    QRect r = view->isVisible() ? view->visibleRegion().boundingRect() : view->rect();
    if (r.isEmpty()) return RectZero;
    return rectFromQt(view, QRectF(r));
}

QWidget* superview(const QWidget* view) {
    if (!view || view->isWindow()) return nullptr;
    return view->parentWidget();
}

Rect frame(const QWidget* view) {
    if (!view) return RectZero;
    return rectFromQt(superview(view), QRectF(view->geometry()));
}

void setFrame(QWidget* view, const Rect& frame) {
    if (!view) return;
    const QRectF r = qtRect(superview(view), RectStandardize(frame));
    auto whole = [](double v) { return std::isfinite(v) ? int(std::lround(v)) : 0; };
    view->setGeometry(whole(r.x()), whole(r.y()), std::max(0, whole(r.width())), std::max(0, whole(r.height())));
}

Point pointFromQt(const QWidget* view, const QPointF& local) {
    if (isFlipped(view)) return {local.x(), local.y()};
    return {local.x(), double(view->height()) - local.y()};
}

QPointF qtPoint(const QWidget* view, const Point& point) {
    if (isFlipped(view)) return {point.x, point.y};
    return {point.x, double(view->height()) - point.y};
}

Rect rectFromQt(const QWidget* view, const QRectF& local) {
    if (isFlipped(view)) return MakeRect(local.x(), local.y(), local.width(), local.height());
    return MakeRect(local.x(), double(view->height()) - local.y() - local.height(), local.width(), local.height());
}

QRectF qtRect(const QWidget* view, const Rect& rect) {
    if (isFlipped(view)) return {rect.origin.x, rect.origin.y, rect.size.width, rect.size.height};
    return {rect.origin.x, double(view->height()) - rect.origin.y - rect.size.height, rect.size.width,
            rect.size.height};
}

Point convertPoint(const Point& point, const QWidget* from, const QWidget* to) {
    if (!from || !to || from == to) return point;
    const QPointF global = from->mapToGlobal(qtPoint(from, point));
    return pointFromQt(to, to->mapFromGlobal(global));
}

Rect convertRect(const Rect& rect, const QWidget* from, const QWidget* to) {
    if (!from || !to || from == to) return rect;
    const QRectF r = qtRect(from, RectStandardize(rect));
    const QPointF topLeft = to->mapFromGlobal(from->mapToGlobal(r.topLeft()));
    return rectFromQt(to, QRectF(topLeft, r.size()));
}

}  // namespace qs::ViewGeometry
