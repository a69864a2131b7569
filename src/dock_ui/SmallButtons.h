#pragma once
// Small widgets that interface files name as the class of a button, a slider or a view:
//
// - WDButton: a button that rests at alpha 0.6 and comes to full opacity while the
//   pointer is over it; its image is drawn as a template (its shape, in the button's
//   text colour).
// - ButtonWithShadow: a button with a blue drop shadow when made with init(); made by an
//   interface file (the plain constructor) it is drawn like a plain button.
// - CustomSlider: a horizontal slider drawn as a thin rounded grey bar whose part from
//   the minimum to the value is green, with no knob.
// - StartView: a plain view.

#include <QIcon>
#include <QPushButton>
#include <QSlider>
#include <QWidget>

#include "platform/ui/ValueAnimation.h"

class QGraphicsDropShadowEffect;
class QGraphicsOpacityEffect;
class QPainter;

namespace qs {

// An icon drawn as a template: its shape only, every pixel in one colour (disabled at
// half its alpha). The tinted icon is kept for the last icon, size and colour asked.
class TemplateIcon {
public:
    QIcon tinted(const QIcon& icon, const QSize& size, const QColor& color, qreal devicePixelRatio);

private:
    qint64 key_ = -1;
    QRgb color_ = 0;
    QSize size_;
    QIcon tinted_;
};

// Draws a push button as the style does, its icon as a template in its text colour.
void paintTemplateButton(QPushButton& button, TemplateIcon& icon);

class WDButton : public QPushButton {
public:
    static constexpr double kRestingAlpha = 0.6;
    static constexpr double kHoverAlpha = 1.0;

    // init, and how interface files make it: at rest (0.6), its image a template.
    explicit WDButton(QWidget* parent = nullptr);
    // initWithFrame: (the frame in the parent's coordinates).
    WDButton(const QRect& frame, QWidget* parent);

    // The button watches the pointer over its whole current area (Qt's enter and leave
    // events need no area of their own); each update puts it back to rest at once.
    void updateTrackingAreas();
    // Fade to full opacity / back to rest, over the platform's default duration.
    void mouseEntered();
    void mouseExited();

    double alphaValue() const { return alpha_; }
    // At once, stopping a fade.
    void setAlphaValue(double alpha);
    // Through the animator: a fade from the current value.
    void animateAlphaValue(double alpha);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void applyAlpha(double alpha);

    QGraphicsOpacityEffect* opacity_ = nullptr;
    ValueAnimation fade_;
    double alpha_ = kRestingAlpha;
    TemplateIcon template_;
};

class ButtonWithShadow : public QPushButton {
public:
    // As an interface file makes it: no shadow.
    explicit ButtonWithShadow(QWidget* parent = nullptr);
    // init: a blue shadow, offset (5, 5) in the platform's y-up sense (right and up),
    // radius 5, opacity 1.0.
    static ButtonWithShadow* init(QWidget* parent = nullptr);

    // The shadow, nullptr when there is none.
    QGraphicsDropShadowEffect* shadow() const;
};

class CustomSlider : public QSlider {
public:
    static constexpr double kBarHeight = 5.0;
    static constexpr double kBarRadius = 2.5;
    // The filled part of a full slider is this much shorter than the control.
    static constexpr double kFillInset = 8.0;

    explicit CustomSlider(QWidget* parent = nullptr);

    // Draws nothing: the slider has no visible knob.
    void drawKnob(QPainter& painter);
    // The grey track (x, y, w, 5) and over it the green part (x, y, f, 5), radii 2.5,
    // whatever the rectangle's height; `flipped` is not used.
    void drawBarInside(QPainter& painter, const QRectF& rect, bool flipped);
    // The bar's rectangle: the control's width, the track centred on its height.
    QRectF barRect() const;
    // f = (value - minimum) / (maximum - minimum) x (width - 8), within 0 and the bar's
    // width; 0 when the minimum equals the maximum.
    double filledWidth(double barWidth) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    // A press or a drag puts the value where the pointer is, as the fill reads it.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void setValueFromPosition(double x);
};

class StartView : public QWidget {
public:
    using QWidget::QWidget;
};

}  // namespace qs
