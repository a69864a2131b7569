#pragma once
// The shadow a dock panel casts while a compositing manager runs. Compositing managers
// leave translucent dock windows without one, so the panel casts its own: a window of
// its own under the panel, larger than it by the shadow's reach on every side, that
// takes no input and paints a soft dark edge around the panel's rounded shape (nothing
// under the panel itself, which may be translucent). It follows the panel's place,
// shape and opacity; without a compositing manager there is nothing to cast it on.
//
// Its window stands where it was asked to: when the window system reports it elsewhere
// (a late report of an earlier place, or the window manager moving it) it asks again,
// a few times per place at most, so that it never fights a window manager that insists.
//
// Main thread only.

#include <QPointer>
#include <QWidget>

namespace qs {

class PanelShadow : public QWidget {
public:
    // The shadow's reach around the panel (the blur radius) and its darkest alpha.
    static constexpr double kBlur = 12.0;
    static constexpr double kAlpha = 0.7;
    // The shadow window stands this far beyond the panel on every side.
    static int margin();

    PanelShadow();

    // Shows the shadow of a panel at `panelGeometry` (Qt's global coordinates) with that
    // corner radius and opacity, stacked under `panel`; hides it when `shown` is NO.
    void follow(QWidget* panel, const QRect& panelGeometry, double cornerRadius, double opacity, bool shown);

    // The window's geometry around the panel it follows (empty before it first followed).
    QRect wantedGeometry() const { return wanted_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    static constexpr int kMaxReplacements = 3;

    void map(QWidget* panel);
    // Asks again for the wanted geometry when the window stands elsewhere.
    void keepInPlace();

    double cornerRadius_ = 0.0;
    QRect panelGeometry_;
    QRect wanted_;
    int replacements_ = 0;
    bool replacePending_ = false;
    uint64_t nativeId_ = 0;
};

}  // namespace qs
