#include "dock_ui/SmallButtons.h"

#include <algorithm>
#include <cmath>

#include <QGraphicsDropShadowEffect>
#include <QGraphicsOpacityEffect>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "platform/ui/Color.h"

namespace qs {

// ---------------------------------------------------------------------------------
// Template icons

QIcon TemplateIcon::tinted(const QIcon& icon, const QSize& size, const QColor& color, qreal devicePixelRatio) {
    if (key_ == icon.cacheKey() && color_ == color.rgba() && size_ == size) return tinted_;
    QIcon result;
    for (QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active, QIcon::Selected}) {
        QPixmap pixmap = icon.pixmap(size, devicePixelRatio, mode);
        if (pixmap.isNull()) continue;
        // A template is drawn from its shape only: every pixel takes the colour, keeping
        // its own coverage.
        QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter p(&image);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        QColor c = color;
        if (mode == QIcon::Disabled) c.setAlphaF(c.alphaF() * 0.5f);
        p.fillRect(image.rect(), c);
        p.end();
        result.addPixmap(QPixmap::fromImage(image), mode);
    }
    key_ = icon.cacheKey();
    color_ = color.rgba();
    size_ = size;
    tinted_ = result;
    return result;
}

void paintTemplateButton(QPushButton& button, TemplateIcon& icon) {
    QStylePainter p(&button);
    QStyleOptionButton option;
    option.initFrom(&button);
    option.features = button.isFlat() ? QStyleOptionButton::Flat : QStyleOptionButton::None;
    if (button.isDown()) option.state |= QStyle::State_Sunken;
    if (button.isChecked()) option.state |= QStyle::State_On;
    if (!button.isFlat() && !button.isDown()) option.state |= QStyle::State_Raised;
    option.text = button.text();
    option.icon = button.icon();
    option.iconSize = button.iconSize();
    if (!option.icon.isNull())
        option.icon = icon.tinted(option.icon, option.iconSize, button.palette().color(QPalette::ButtonText),
                                  button.devicePixelRatioF());
    p.drawControl(QStyle::CE_PushButton, option);
}

// ---------------------------------------------------------------------------------
// WDButton

WDButton::WDButton(QWidget* parent) : QPushButton(parent) {
    // The platform's init goes through initWithFrame:, so both ways of making the button
    // end the same: at rest, watching the pointer, its image a template.
    opacity_ = new QGraphicsOpacityEffect(this);
    setGraphicsEffect(opacity_);
    setAlphaValue(kRestingAlpha);
    animateAlphaValue(kRestingAlpha);
    update();
    updateTrackingAreas();
}

WDButton::WDButton(const QRect& frame, QWidget* parent) : WDButton(parent) { setGeometry(frame); }

void WDButton::updateTrackingAreas() { setAlphaValue(kRestingAlpha); }

void WDButton::mouseEntered() { animateAlphaValue(kHoverAlpha); }

void WDButton::mouseExited() { animateAlphaValue(kRestingAlpha); }

void WDButton::applyAlpha(double alpha) {
    alpha_ = alpha;
    opacity_->setOpacity(alpha);
}

void WDButton::setAlphaValue(double alpha) {
    fade_.stop();
    applyAlpha(alpha);
}

void WDButton::animateAlphaValue(double alpha) {
    if (alpha == alpha_ && !fade_.isRunning()) return;
    fade_.start(alpha_, alpha, ValueAnimation::kDefaultDuration, [this](double v) { applyAlpha(v); });
}

void WDButton::enterEvent(QEnterEvent* event) {
    QPushButton::enterEvent(event);
    mouseEntered();
}

void WDButton::leaveEvent(QEvent* event) {
    QPushButton::leaveEvent(event);
    mouseExited();
}

void WDButton::resizeEvent(QResizeEvent* event) {
    QPushButton::resizeEvent(event);
    updateTrackingAreas();
}

void WDButton::paintEvent(QPaintEvent*) { paintTemplateButton(*this, template_); }

// ---------------------------------------------------------------------------------
// ButtonWithShadow

ButtonWithShadow::ButtonWithShadow(QWidget* parent) : QPushButton(parent) {}

ButtonWithShadow* ButtonWithShadow::init(QWidget* parent) {
    auto* button = new ButtonWithShadow(parent);
    auto* shadow = new QGraphicsDropShadowEffect(button);
    QColor blue = Color::colorWithCalibratedRed(0.0, 0.0, 1.0, 1.0)->toQColor();
    blue.setAlphaF(1.0f);  // shadow opacity 1.0
    shadow->setColor(blue);
    // A layer's y axis points up; Qt's points down.
    shadow->setOffset(5.0, -5.0);
    // A layer's shadow radius is the blur's spread on each side; Qt's blur radius spans both.
    shadow->setBlurRadius(2 * 5.0);
    button->setGraphicsEffect(shadow);
    return button;
}

QGraphicsDropShadowEffect* ButtonWithShadow::shadow() const {
    return qobject_cast<QGraphicsDropShadowEffect*>(graphicsEffect());
}

// ---------------------------------------------------------------------------------
// CustomSlider

CustomSlider::CustomSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

void CustomSlider::drawKnob(QPainter&) {}

double CustomSlider::filledWidth(double barWidth) const {
    const double m = minimum(), M = maximum();
    if (M == m) return 0.0;  // no defined fill: nothing green
    double f = (double(value()) - m) / (M - m) * (double(width()) - kFillInset);
    if (!std::isfinite(f)) return 0.0;
    return std::clamp(f, 0.0, std::max(0.0, barWidth));
}

QRectF CustomSlider::barRect() const {
    double y = std::floor((height() - kBarHeight) / 2.0);
    return QRectF(0.0, std::max(0.0, y), width(), kBarHeight);
}

void CustomSlider::drawBarInside(QPainter& painter, const QRectF& rect, bool /*flipped*/) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QPainterPath track;
    track.addRoundedRect(QRectF(rect.x(), rect.y(), rect.width(), kBarHeight), kBarRadius, kBarRadius);
    painter.fillPath(track, Color::colorWithCalibratedWhite(2.0 / 3.0, 1.0)->toQColor());
    double f = filledWidth(rect.width());
    if (f > 0.0) {
        QPainterPath fill;
        fill.addRoundedRect(QRectF(rect.x(), rect.y(), f, kBarHeight), kBarRadius, kBarRadius);
        painter.fillPath(fill, Color::colorWithCalibratedRed(0.0, 1.0, 0.0, 1.0)->toQColor());
    }
    painter.restore();
}

void CustomSlider::paintEvent(QPaintEvent*) {
    QPainter p(this);
    drawBarInside(p, barRect(), true);
    drawKnob(p);
}

void CustomSlider::setValueFromPosition(double x) {
    double span = double(width()) - kFillInset;
    if (span <= 0.0 || maximum() == minimum()) return;
    double t = std::clamp(x / span, 0.0, 1.0);
    setValue(minimum() + int(std::lround(t * (maximum() - minimum()))));
}

void CustomSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QSlider::mousePressEvent(event);
    setSliderDown(true);
    setValueFromPosition(event->position().x());
    event->accept();
}

void CustomSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!isSliderDown()) return QSlider::mouseMoveEvent(event);
    setValueFromPosition(event->position().x());
    event->accept();
}

void CustomSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (!isSliderDown()) return QSlider::mouseReleaseEvent(event);
    setValueFromPosition(event->position().x());
    setSliderDown(false);
    event->accept();
}

}  // namespace qs
