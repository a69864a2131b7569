#include "platform/ui/VisualEffectView.h"

#include <QPainter>
#include <QPainterPath>

namespace qs {

VisualEffectView::VisualEffectView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void VisualEffectView::setMaterial(int material) {
    if (material_ == material) return;
    material_ = material;
    update();
}

void VisualEffectView::setState(int state) {
    if (state_ == state) return;
    state_ = state;
    update();
}

void VisualEffectView::setTranslucent(bool translucent) {
    if (translucent_ == translucent) return;
    translucent_ = translucent;
    update();
}

void VisualEffectView::setCornerRadius(double radius) {
    if (radius_ == radius) return;
    radius_ = radius;
    update();
}

QColor VisualEffectView::tint() const {
    QColor c = material_ == Light ? QColor(236, 236, 236) : QColor(38, 38, 40);
    if (translucent_) c.setAlpha(material_ == Light ? 190 : 200);
    return c;
}

void VisualEffectView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), radius_, radius_);
    p.fillPath(path, tint());
}

}  // namespace qs
