#include "platform/ui/FlatButton.h"

#include <algorithm>

#include <QPainter>
#include <QPainterPath>

namespace qs {

namespace {
bool sameColor(const ColorPtr& a, const ColorPtr& b) {
    if (a == b) return true;
    return a && b && a->isEqual(b.get());
}
}  // namespace

FlatButton::FlatButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_NoSystemBackground);
}

void FlatButton::setMomentary(bool momentary) {
    if (momentary_ == momentary) return;
    momentary_ = momentary;
    setCheckable(!momentary);
    update();
}

void FlatButton::setCornerRadius(double radius) {
    radius = std::max(0.0, radius);
    if (cornerRadius_ == radius) return;
    cornerRadius_ = radius;
    update();
}

void FlatButton::changeColor(ColorPtr& slot, ColorPtr color) {
    if (sameColor(slot, color)) return;
    slot = std::move(color);
    update();
}

void FlatButton::setBackgroundNormalColor(ColorPtr color) { changeColor(backgroundNormal_, std::move(color)); }
void FlatButton::setBackgroundHighlightColor(ColorPtr color) { changeColor(backgroundHighlight_, std::move(color)); }
void FlatButton::setTitleNormalColor(ColorPtr color) { changeColor(titleNormal_, std::move(color)); }
void FlatButton::setTitleHighlightColor(ColorPtr color) { changeColor(titleHighlight_, std::move(color)); }

bool FlatButton::isHighlighted() const { return momentary_ ? isDown() : isChecked(); }

QSize FlatButton::sizeHint() const {
    const QSize title = fontMetrics().size(Qt::TextSingleLine, text());
    return QSize(title.width() + 16, std::max(title.height() + 6, 12));
}

void FlatButton::paintEvent(QPaintEvent*) {
    ++paints_;
    const bool highlighted = isHighlighted();
    const ColorPtr& background = highlighted && backgroundHighlight_ ? backgroundHighlight_ : backgroundNormal_;
    const ColorPtr& title = highlighted && titleHighlight_ ? titleHighlight_ : titleNormal_;

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF plate(rect());
    if (background && background->alphaComponent() > 0.0 && !plate.isEmpty()) {
        const double r = std::min({cornerRadius_, plate.width() / 2.0, plate.height() / 2.0});
        QPainterPath path;
        path.addRoundedRect(plate, r, r);
        painter.fillPath(path, background->toQColor());
    }
    if (title && !text().isEmpty()) {
        painter.setPen(title->toQColor());
        painter.setFont(font());
        painter.drawText(plate, Qt::AlignCenter | Qt::TextSingleLine,
                         fontMetrics().elidedText(text(), Qt::ElideRight, width()));
    }
}

}  // namespace qs
