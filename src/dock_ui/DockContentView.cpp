#include "dock_ui/DockContentView.h"

#include <QPainter>
#include <QPainterPath>

#include "core/ThemeManager.h"
#include "dock_ui/DockWindow.h"
#include "platform/ui/GraphicsContext.h"
#include "toolkit/ImageHelpers.h"

namespace qs {

DockContentView::DockContentView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_NoSystemBackground);
}

DockWindow* DockContentView::dockWindow() const { return qobject_cast<DockWindow*>(window()); }

void DockContentView::setCornerRadius(double radius) {
    if (radius_ == radius) return;
    radius_ = radius;
    update();
}

ImagePtr DockContentView::turned(const ImagePtr& image, float degrees) {
    if (image != turnedSource_ || degrees != turnedDegrees_ || !turnedImage_) {
        turnedSource_ = image;
        turnedDegrees_ = degrees;
        turnedImage_ = NSImage_Grayscale::imageRotated(image, degrees);
    }
    return turnedImage_;
}

void DockContentView::drawDockWithImageInRect(const Rect& rect, const ImagePtr& image, bool backward) {
    auto* ctx = GraphicsContext::currentContext();
    if (!ctx || !image) return;
    DockWindow* w = dockWindow();
    const int position = w ? w->position() : 1;
    const double width = rect.size.width, height = rect.size.height;
    ctx->saveGState();
    if (position == 0 || position == 2) {
        float degrees = position == 0 ? (backward ? 90.0f : -90.0f) : (backward ? -90.0f : 90.0f);
        ImagePtr t = turned(image, degrees);
        ctx->clipToRect(rect);
        ctx->translateCTM(0, 0);
        ctx->scaleCTM(1, -1);
        ctx->translateCTM(0, -height);
        QImage pixels = t ? t->qimage() : QImage();
        if (!pixels.isNull())
            ctx->drawPixels(pixels, MakeRect(0, 0, width, height), QRectF(pixels.rect()),
                            CompositingOperation::SourceOver, 1.0);
    } else if (position == 1 || position == 3) {
        ctx->clipToRect(rect);
        QImage pixels = image->qimage();
        if (!pixels.isNull())
            ctx->drawPixels(pixels, MakeRect(0, 0, width, height), QRectF(pixels.rect()),
                            CompositingOperation::SourceOver, 1.0);
    }
    ctx->restoreGState();
}

void DockContentView::paintEvent(QPaintEvent*) {
    ++paints_;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), radius_, radius_);
    // Everything is drawn inside the rounded shape; outside it stays clear.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setClipPath(shape);

    auto theme = ThemeManager::sharedInstance()->currenThemeInfo();
    const int type = theme ? theme->themeType() : 0;
    if (type == ThemeInfo::ColorTheme) {
        QColor c = theme->backgroundColor() ? theme->backgroundColor()->toQColor() : QColor(Qt::black);
        if (!composited_) c.setAlpha(255);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillPath(shape, c);
    } else if (type == ThemeInfo::PictureTheme) {
        // The whole view is redrawn: the picture is fitted to the view, not to the part
        // that needs repainting.
        GraphicsContextScope scope(&painter, height());
        drawDockWithImageInRect(MakeRect(0, 0, width(), height()), theme->backgroundImage(),
                                theme->backwardImageRotation());
    } else if (type > ThemeInfo::SystemDark && !composited_) {
        // Nothing is transparent without a compositing manager.
        painter.fillPath(shape, QColor(48, 48, 52));
    }
}

}  // namespace qs
