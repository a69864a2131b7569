#pragma once
// The content view of a dock panel: it draws the panel's background from the current
// theme of the shared theme manager, read at each draw: nothing (vibrant and
// transparent themes; their material is the effect view below the cells), the user's
// background colour, or the theme's picture turned to fit the dock's edge. Its corners
// follow the panel's corner radius. Without a compositing manager nothing can be
// transparent: the transparent theme then paints an opaque neutral colour and a colour
// theme paints its colour opaque.

#include <QWidget>

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Image.h"

namespace qs {

class DockWindow;

class DockContentView : public QWidget {
    Q_OBJECT

public:
    explicit DockContentView(QWidget* parent = nullptr);

    // Draws the theme's picture into the rectangle (y-up points of the view), turned for
    // a left or right dock: by 90 degrees with the flag and -90 without on the left, the
    // other way round on the right, mirrored top to bottom; a bottom or top dock draws it
    // unturned. Draws into the current graphics context.
    void drawDockWithImageInRect(const Rect& rect, const ImagePtr& image, bool backwardImageRotation);

    void setCornerRadius(double radius);
    double cornerRadius() const { return radius_; }
    void setComposited(bool composited) { composited_ = composited; }
    int paintCount() const { return paints_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    DockWindow* dockWindow() const;
    ImagePtr turned(const ImagePtr& image, float degrees);

    double radius_ = 0.0;
    bool composited_ = true;
    int paints_ = 0;
    // The last turned picture, kept so that a repaint does not turn it again.
    ImagePtr turnedSource_;
    float turnedDegrees_ = 0.0f;
    ImagePtr turnedImage_;
};

}  // namespace qs
