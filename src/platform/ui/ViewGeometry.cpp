#include "platform/ui/ViewGeometry.h"

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
    if (isFlipped(view)) return MakeRect(r.x(), r.y(), r.width(), r.height());
    return MakeRect(r.x(), view->height() - r.y() - r.height(), r.width(), r.height());
}

}  // namespace qs::ViewGeometry
