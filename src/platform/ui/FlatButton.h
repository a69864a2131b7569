#pragma once
// A flat button: a rounded plate of one colour with its title centred on it, and
// nothing else (no bevel, no focus ring). A momentary button shows its highlight
// colours while it is held down; otherwise a click toggles it between its normal and
// highlight colours (the button is then checkable and its state is the check state).
//
// Colours are the platform's colours; a missing colour draws nothing for that part
// (a missing highlight colour falls back to the normal one).

#include <QAbstractButton>

#include "platform/ui/Color.h"

namespace qs {

class FlatButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit FlatButton(QWidget* parent = nullptr);

    bool isMomentary() const { return momentary_; }
    void setMomentary(bool momentary);

    // The plate's corner radius in points, limited to half the shorter side when drawn.
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double radius);

    const ColorPtr& backgroundNormalColor() const { return backgroundNormal_; }
    void setBackgroundNormalColor(ColorPtr color);
    const ColorPtr& backgroundHighlightColor() const { return backgroundHighlight_; }
    void setBackgroundHighlightColor(ColorPtr color);
    const ColorPtr& titleNormalColor() const { return titleNormal_; }
    void setTitleNormalColor(ColorPtr color);
    const ColorPtr& titleHighlightColor() const { return titleHighlight_; }
    void setTitleHighlightColor(ColorPtr color);

    // Whether the highlight colours are used now (held down when momentary, on
    // otherwise).
    bool isHighlighted() const;

    QSize sizeHint() const override;

    // Paint events received (for measurements and tests).
    int paintCount() const { return paints_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Sets a colour, repainting only when it really changed.
    void changeColor(ColorPtr& slot, ColorPtr color);

    bool momentary_ = true;
    double cornerRadius_ = 0.0;
    ColorPtr backgroundNormal_;
    ColorPtr backgroundHighlight_;
    ColorPtr titleNormal_;
    ColorPtr titleHighlight_;
    int paints_ = 0;
};

}  // namespace qs
