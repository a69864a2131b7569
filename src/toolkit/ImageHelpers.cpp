#include "toolkit/ImageHelpers.h"

#include <QWidget>
#include <cmath>

#include "platform/foundation/Log.h"
#include "platform/ui/AffineTransform.h"
#include "platform/ui/ImageDrawing.h"
#include "platform/ui/ImageFocus.h"
#include "platform/ui/ViewGeometry.h"
#include "platform/ui/WindowAttributes.h"
#include "toolkit/NTGeometry.h"
#include "toolkit/NTImageMaker.h"
#include "toolkit/NTStandardColors.h"
#include "toolkit/PathHelpers.h"
#include "toolkit/WindowUtilities.h"

namespace qs::NSImage_Grayscale {

namespace {

GraphicsContext* context() { return GraphicsContext::currentContext(); }

Rect wholeCanvas(const Size& size) { return MakeRect(0, 0, size.width, size.height); }

// The rectangle inset on each side; an empty rectangle at its centre when too small.
Rect inset(const Rect& r, double dx, double dy) {
    const Rect in = RectInset(r, dx, dy);
    return RectIsNull(in) ? MakeRect(MidX(r), MidY(r), 0, 0) : in;
}

// The image alone, its size in points, drawn from one representation.
ImagePtr imageOfRep(const ImageRepPtr& rep) {
    auto image = std::make_shared<Image>(rep->size());
    image->addRepresentation(rep);
    return image;
}

// Runs the drawing with high interpolation, the context's own level restored after.
template <class Draw>
void withHighInterpolation(const Draw& draw) {
    auto* c = context();
    if (!c) return;
    const ImageInterpolation saved = c->imageInterpolation();
    c->setImageInterpolation(ImageInterpolation::High);
    draw();
    c->setImageInterpolation(saved);
}

}  // namespace

// ---------------------------------------------------------------------------------
// Rotation and flipping

ImagePtr imageRotated(const ImagePtr& image, float degrees) {
    if (!image) return nullptr;
    const float a = std::fmod(degrees, 360.0f);
    if (a == 0) return image;
    const double w = image->size().width, h = image->size().height;
    Size canvas;
    if (a == -270 || a == -90 || a == 90 || a == 270)
        canvas = {h, w};
    else if (a == 180 || a == -180)
        canvas = {w, h};
    else
        canvas = {std::fmax(w, h) + 20, std::fmax(w, h) + 20};
    // Rotate about the origin, then move the origin to the canvas centre.
    AffineTransform transform;
    transform.rotateByDegrees(a);
    transform.appendTransform([&] {
        AffineTransform t;
        t.translateXBy(canvas.width / 2, canvas.height / 2);
        return t;
    }());
    auto rotated = std::make_shared<Image>(canvas);
    {
        ImageFocus focus(rotated);
        if (focus.isLocked()) {
            transform.concat();
            drawImageAtPoint(*image, {-w / 2, -h / 2}, MakeRect(0, 0, w, h), CompositingOperation::Copy, 1.0);
        }
    }
    return rotated;
}

ImagePtr flip(const ImagePtr& image) {
    if (!image) return nullptr;
    const Size size = image->size();
    if (!(size.width > 0) || !(size.height > 0)) return image;
    auto maker = NTImageMaker::maker(size);
    maker->lockFocus();
    if (auto* c = context()) {
        c->translateCTM(0, size.height);
        c->scaleCTM(1, -1);
    }
    drawInRectHQ(*image, wholeCanvas(size), RectZero, CompositingOperation::Copy, 1.0);
    return maker->unlockFocus(image->isTemplate());
}

// ---------------------------------------------------------------------------------
// Drawing helpers

void drawInRectHQ(const Image& image, const Rect& rect, const Rect& fromRect, CompositingOperation op,
                  double fraction) {
    withHighInterpolation([&] { drawImageInRect(image, rect, fromRect, op, fraction); });
}

void compositeToPointHQ(const Image& image, const Point& point, CompositingOperation op, double fraction) {
    withHighInterpolation([&] { drawImageAtPoint(image, point, RectZero, op, fraction); });
}

void drawCenteredInRectHQ(const Image& image, const Rect& rect, CompositingOperation op, double fraction) {
    const Rect fitted = NTGeometry::integerRect(NTGeometry::rect(wholeCanvas(image.size()), rect, true));
    drawInRectHQ(image, fitted, RectZero, op, fraction);
}

void compositeInRect(const Image& image, const Rect& rect, CompositingOperation op, bool flipped, double fraction) {
    const Size s = image.size();
    const double x = rect.origin.x + (rect.size.width - s.width) / 2;
    const double o = (rect.size.height - s.height) / 2;
    const double y = flipped ? rect.origin.y + rect.size.height - o : rect.origin.y + o;
    drawImageAtPoint(image, {x, y}, RectZero, op, fraction);
}

void drawFlippedInRect(const Image& image, const Rect& rect, const Rect& fromRect, CompositingOperation op,
                       double fraction) {
    auto* c = context();
    if (!c) return;
    Size s = fromRect.size;
    if (s.width == 0 && s.height == 0) s = image.size();
    if (s.width == 0 || s.height == 0) return;
    c->saveGState();
    c->translateCTM(rect.origin.x, rect.origin.y + rect.size.height);
    c->scaleCTM(rect.size.width / s.width, -rect.size.height / s.height);
    drawImageInRect(image, MakeRect(0, 0, s.width, s.height), fromRect, op, fraction);
    c->restoreGState();
}

void drawFlippedInRect(const Image& image, const Rect& rect, const Rect& fromRect, CompositingOperation op) {
    drawFlippedInRect(image, rect, fromRect, op, 1.0);
}

void drawFlippedInRect(const Image& image, const Rect& rect, CompositingOperation op, double fraction) {
    drawFlippedInRect(image, rect, RectZero, op, fraction);
}

void drawFlippedInRect(const Image& image, const Rect& rect, CompositingOperation op) {
    drawFlippedInRect(image, rect, RectZero, op, 1.0);
}

void drawInRect(const ImagePtr& image, const Rect& rect, QWidget* view, bool highlighted, BackgroundStyle style) {
    static ImageCell* cell = [] {
        auto* c = new ImageCell();
        c->setImageScaling(ImageScaling::None);
        return c;
    }();
    QWidget* window = view ? view->window() : nullptr;
    cell->setBackgroundStyle(window && NSWindow_Utilities::dimControls(window) ? BackgroundStyle::Normal : style);
    if (cell->image() != image) cell->setImage(image);
    if (cell->isHighlighted() != highlighted) cell->setHighlighted(highlighted);
    cell->drawWithFrame(rect, view);
}

void tileInRect(const Image& image, const Rect& rect, bool isFlipped, CompositingOperation op, double fraction) {
    auto* c = context();
    if (!c) return;
    const double iw = image.size().width, ih = image.size().height;
    c->saveGState();
    c->clipToRect(rect);
    // A rectangle of millions of tiles is not a tiling anyone can see; it is stopped
    // rather than left to hold the thread.
    constexpr long kMaxTiles = 1000000;
    long tiles = 0;
    for (double y = std::trunc(rect.origin.y); rect.origin.y + rect.size.height > y;) {
        for (double x = std::trunc(rect.origin.x); rect.origin.x + rect.size.width > x;) {
            if (++tiles > kMaxTiles) {
                log("tiling stopped after ", kMaxTiles, " tiles of ", iw, " x ", ih, " points");
                c->restoreGState();
                return;
            }
            drawImageAtPoint(image, {x, isFlipped ? y + ih : y}, RectZero, op, fraction);
            const double next = std::trunc(x + iw);
            if (!(next > x)) break;  // an image less than a point wide would never advance
            x = next;
        }
        const double next = std::trunc(y + ih);
        if (!(next > y)) break;
        y = next;
    }
    c->restoreGState();
}

Rect tileRectForBounds(const Image& image, const Rect& bounds) {
    const Size s = image.size();
    if (!(s.width > 0) || !(s.height > 0)) return bounds;
    Rect tile = NTGeometry::rect(wholeCanvas(s), bounds, false);
    while (tile.origin.x > bounds.origin.x || tile.origin.y > bounds.origin.y) {
        tile.origin.x -= s.width;
        tile.origin.y -= s.height;
    }
    return RectUnion(tile, bounds);
}

void tileInView(const Image& image, QWidget* view, double fraction, const Rect& clipRect) {
    if (!view || !context() || !(fraction > 0)) return;
    const Size s = image.size();
    const double stepX = std::ceil(s.width), stepY = std::ceil(s.height);
    if (!(stepX > 0) || !(stepY > 0)) return;
    const Rect grid = tileRectForBounds(image, ViewGeometry::bounds(view));
    Rect area = ViewGeometry::visibleRect(view);
    if (!RectIsEmpty(clipRect)) area = RectIntersection(area, clipRect);
    if (RectIsNull(area) || RectIsEmpty(area)) return;
    QWidget* window = view->window();
    const bool flushing = !WindowAttributes::isFlushWindowDisabled(window);
    if (flushing) WindowAttributes::disableFlushWindow(window);
    const bool flipped = ViewGeometry::isFlipped(view);
    constexpr long kMaxTiles = 1000000;
    long tiles = 0;
    for (double y = std::trunc(grid.origin.y); grid.origin.y + grid.size.height > y; y = std::trunc(y + stepY)) {
        for (double x = std::trunc(grid.origin.x); grid.origin.x + grid.size.width > x; x = std::trunc(x + stepX)) {
            if (++tiles > kMaxTiles) {
                log("tiling stopped after ", kMaxTiles, " tiles of ", s.width, " x ", s.height, " points");
                if (flushing) WindowAttributes::enableFlushWindow(window);
                return;
            }
            const Rect tile = MakeRect(x, y, s.width, s.height);
            const Rect inter = RectIntersection(tile, area);
            if (RectIsNull(inter) || RectIsEmpty(inter)) continue;
            Rect source = MakeRect(inter.origin.x - tile.origin.x, inter.origin.y - tile.origin.y, inter.size.width,
                                   inter.size.height);
            Point at = inter.origin;
            if (flipped) {
                source.origin.y = tile.size.height - (inter.origin.y - tile.origin.y) - inter.size.height;
                at.y = inter.origin.y + inter.size.height;
            }
            drawImageAtPoint(image, at, source, CompositingOperation::SourceOver, fraction);
        }
    }
    if (flushing) WindowAttributes::enableFlushWindow(window);
}

void tileInView(const Image& image, QWidget* view) { tileInView(image, view, 1.0, RectZero); }

void tileInView(const Image& image, QWidget* view, double fraction) { tileInView(image, view, fraction, RectZero); }

// ---------------------------------------------------------------------------------
// Copies through the maker

ImagePtr copyImageWithShadow(const ImagePtr& image, const ShadowPtr& shadow) {
    if (!image) return nullptr;
    auto maker = NTImageMaker::maker(image->size());
    maker->lockFocus();
    if (shadow) shadow->set();
    drawImageAtPoint(*image, {0, 0}, RectZero, CompositingOperation::SourceOver, 1.0);
    return maker->unlockFocus(image->isTemplate());
}

ImagePtr imageWithBackground(const ImagePtr& image, const ColorPtr& color) {
    if (!image) return nullptr;
    auto maker = NTImageMaker::maker(image->size());
    maker->lockFocus();
    if (color) color->set();
    RectFill(wholeCanvas(image->size()));
    drawImageAtPoint(*image, {0, 0}, RectZero, CompositingOperation::SourceOver, 1.0);
    return maker->unlockFocus(image->isTemplate());
}

ImagePtr coloredImage(const ImagePtr& image, const ColorPtr& color) {
    if (!image) return nullptr;
    auto maker = NTImageMaker::maker(image->size());
    maker->lockFocus();
    if (color) color->set();
    RectFill(wholeCanvas(image->size()));
    drawImageAtPoint(*image, {0, 0}, RectZero, CompositingOperation::DestinationIn, 1.0);
    return maker->unlockFocus(image->isTemplate());
}

ImagePtr imageWithAlpha(const ImagePtr& image, float alpha) {
    if (!image) return nullptr;
    auto maker = NTImageMaker::maker(image->size());
    maker->lockFocus();
    drawImageAtPoint(*image, {0, 0}, RectZero, CompositingOperation::SourceOver, alpha);
    return maker->unlockFocus(image->isTemplate());
}

ImagePtr imageWithMaxSize(const ImagePtr& image, int maxSize) {
    if (!image) return nullptr;
    const Rect square = MakeRect(0, 0, maxSize, maxSize);
    auto maker = NTImageMaker::maker(square.size);
    maker->lockFocus();
    drawInRectHQ(*image, NTGeometry::rect(wholeCanvas(image->size()), square, true), RectZero,
                 CompositingOperation::SourceOver, 1.0);
    return maker->unlockFocus(image->isTemplate());
}

ImagePtr imageWithSize(const ImagePtr& image, const Size& size) { return imageWithSize(image, size, true); }

ImagePtr imageWithSize(const ImagePtr& image, const Size& size, bool scaleLarger) {
    if (!image) return nullptr;
    if (image->size() == size) return image;
    auto maker = NTImageMaker::maker(size);
    maker->lockFocus();
    const Rect r = NTGeometry::integerRect(
        NTGeometry::rect(wholeCanvas(image->size()), wholeCanvas(size), true, scaleLarger));
    drawInRectHQ(*image, r, RectZero, CompositingOperation::SourceOver, 1.0);
    return maker->unlockFocus(image->isTemplate());
}

ImagePtr imageWithTopMargin(const ImagePtr& image, int /*margin: has no effect*/) {
    if (!image) return nullptr;
    const Size size{image->size().width, image->size().height + 1};
    auto maker = NTImageMaker::maker(size);
    maker->lockFocus();
    drawImageAtPoint(*image, {0, 0}, RectZero, CompositingOperation::SourceOver, 1.0);
    return maker->unlockFocus(image->isTemplate());
}

ImagePtr imageWithControlImage(const ImagePtr& image, const ImagePtr& control) {
    if (!image) return nullptr;
    if (!control) return image;
    const Size is = image->size(), cs = control->size();
    const Size size{is.width + cs.width + 4, std::fmax(is.height, cs.height)};
    auto maker = NTImageMaker::maker(size);
    maker->lockFocus();
    Rect slice, remainder;
    DivideRect(wholeCanvas(size), &slice, &remainder, cs.width, NSRectEdgeMaxX);
    drawCenteredInRectHQ(*image, remainder, CompositingOperation::SourceOver, 1.0);
    const double y = std::nearbyint((is.height - cs.height) / 2) + slice.origin.y - 1;
    drawImageAtPoint(*control, {slice.origin.x, y}, RectZero, CompositingOperation::SourceOver, 1.0);
    return maker->unlockFocus(image->isTemplate());
}

ImagePtr sizeIcon(const ImagePtr& image, int n) {
    if (!image) return nullptr;
    const auto& reps = image->representations();
    for (auto& rep : reps) {
        if (rep && rep->pixelsWide() == n && rep->pixelsHigh() == n) {
            auto icon = std::make_shared<Image>(Size{double(n), double(n)});
            auto copy = rep->copy();
            copy->setSize({double(n), double(n)});
            icon->addRepresentation(copy);
            return icon;
        }
    }
    auto maker = NTImageMaker::maker({double(n), double(n)});
    maker->lockFocus();
    // No representation at all: the icon stays transparent.
    if (!reps.empty()) {
        ImageRepPtr choice = reps.front();
        for (size_t i = 1; i < reps.size(); ++i) {
            const auto& rep = reps[i];
            if (std::abs(rep->pixelsWide() - n) < std::abs(choice->pixelsWide() - n) && rep->pixelsWide() > n)
                choice = rep;
        }
        const ImagePtr chosen = imageOfRep(choice);
        const Rect square = MakeRect(0, 0, n, n);
        const Size cs = choice->size();
        const Rect dest = cs.width == cs.height ? square : NTGeometry::rect(wholeCanvas(cs), square, true);
        drawImageInRect(*chosen, dest, RectZero, CompositingOperation::SourceOver, 1.0);
    }
    return maker->unlockFocus(image->isTemplate());
}

ImageRepPtr bitmapImageRepForSize(const ImagePtr& image, int n) {
    if (!image) return nullptr;
    const auto& reps = image->representations();
    for (auto& rep : reps)
        if (rep && rep->kind() == ImageRep::Kind::Bitmap && rep->pixelsWide() == n) return rep->copy();
    auto maker = NTImageMaker::maker({double(n), double(n)});
    maker->lockFocus();
    if (!reps.empty()) {
        ImageRepPtr choice = reps.front();
        bool exact = false;
        for (auto& rep : reps)
            if (rep->pixelsWide() == n) {
                choice = rep;
                exact = true;
                break;
            }
        if (!exact)
            for (auto& rep : reps)
                if (std::abs(rep->pixelsWide() - n) < std::abs(choice->pixelsWide() - n) && rep->pixelsWide() > n)
                    choice = rep;
        drawImageInRect(*imageOfRep(choice), MakeRect(0, 0, n, n), RectZero, CompositingOperation::SourceOver, 1.0);
    }
    maker->unlockFocus();
    return maker->bitmapImageRep();
}

ImagePtr imageWithOnlyCachedImageRep(const ImagePtr& image) {
    if (!image) return nullptr;
    ImageRepPtr best;
    for (auto& rep : image->representations()) {
        if (rep->kind() != ImageRep::Kind::Cached) continue;
        if (!best || rep->pixelsWide() > best->pixelsWide() ||
            (rep->pixelsWide() == best->pixelsWide() && rep->pixelsHigh() > best->pixelsHigh()))
            best = rep;
    }
    if (best) {
        image->removeRepresentation(best);
        auto out = std::make_shared<Image>(image->size());
        out->addRepresentation(best);
        return out;
    }
    auto maker = NTImageMaker::maker(image->size());
    maker->lockFocus();
    drawImageAtPoint(*image, {0, 0}, RectZero, CompositingOperation::Copy, 1.0);
    return maker->unlockFocus();
}

bool hasCachedImageRep(const Image& image) { return static_cast<bool>(imageRepOfClass(image, ImageRep::Kind::Cached)); }

ImageRepPtr imageRepOfClass(const Image& image, ImageRep::Kind kind) {
    for (auto& rep : image.representations())
        if (rep && rep->kind() == kind) return rep;
    return nullptr;
}

ImagePtr normalizeSize(const ImagePtr& image) {
    if (!image) return nullptr;
    if (auto rep = imageRepOfClass(*image, ImageRep::Kind::Bitmap)) {
        const Size pixels{double(rep->pixelsWide()), double(rep->pixelsHigh())};
        image->setSize(pixels);
        rep->setSize(pixels);
    }
    return image;
}

// ---------------------------------------------------------------------------------
// Glyph buttons

ImagePtr image(const Rect& rect, const ImagePtr& interior, const ColorPtr& backColor) {
    using namespace NSBezierPath_NTExtensions;
    auto maker = NTImageMaker::maker(rect.size);
    maker->lockFocus();
    auto oval = ovalPath(inset(rect, 2, 2));
    if (backColor) backColor->set();
    oval->fill();
    if (auto* c = context()) {
        c->saveGState();
        oval->addClip();
        Color::blackColor()->colorWithAlphaComponent(0.15)->set();
        oval->stroke();
        c->restoreGState();
    }
    NSShadow_NTExtensions::shadowWithColor(Color::blackColor()->colorWithAlphaComponent(0.2), {0, -1}, 0)->set();
    if (interior) {
        const Rect at = NTGeometry::rect(wholeCanvas(interior->size()), rect, false);
        drawImageAtPoint(*interior, at.origin, RectZero, CompositingOperation::SourceOver, 1.0);
    }
    return maker->unlockFocus();
}

ImagePtr stopImage(const Rect& rect, const ColorPtr& backColor, const ColorPtr& lineColor) {
    return image(rect, stopInteriorImage(inset(rect, 1, 1), lineColor), backColor);
}

ImagePtr plusImage(const Rect& rect, const ColorPtr& backColor, const ColorPtr& lineColor) {
    return image(rect, plusInteriorImage(rect, lineColor), backColor);
}

ImagePtr minusImage(const Rect& rect, const ColorPtr& backColor, const ColorPtr& lineColor) {
    return image(rect, minusInteriorImage(rect, lineColor), backColor);
}

namespace {

// The glyphs' shared construction: the horizontal centre line, 1.5 wide, stroked in a
// canvas of the rectangle's size, clipped to it inset by a 3.5th of each side, once per
// angle (turned about the centre).
ImagePtr glyph(const Rect& rect, const ColorPtr& lineColor, std::initializer_list<double> angles) {
    const double w = rect.size.width, h = rect.size.height;
    auto line = NSBezierPath_NTExtensions::newPath();
    line->setLineWidth(1.5);
    line->moveToPoint({0, h / 2});
    line->lineToPoint({w, h / 2});
    auto maker = NTImageMaker::maker(rect.size);
    maker->lockFocus();
    auto* c = context();
    if (c) {
        if (lineColor) lineColor->set();
        // Clipped within the canvas itself: the glyph is drawn at the canvas origin, so
        // a rectangle given with an origin must not move the clip away from it.
        c->clipToRect(inset(MakeRect(0, 0, w, h), w / 3.5, h / 3.5));
        for (double angle : angles) {
            c->saveGState();
            if (angle != 0) {
                c->translateCTM(w / 2, h / 2);
                c->rotateCTM(angle * M_PI / 180.0);
                c->translateCTM(-w / 2, -h / 2);
            }
            line->stroke();
            c->restoreGState();
        }
    }
    return maker->unlockFocus();
}

}  // namespace

ImagePtr stopInteriorImage(const Rect& rect, const ColorPtr& lineColor) { return glyph(rect, lineColor, {45, -45}); }

ImagePtr plusInteriorImage(const Rect& rect, const ColorPtr& lineColor) { return glyph(rect, lineColor, {0, 90}); }

ImagePtr minusInteriorImage(const Rect& rect, const ColorPtr& lineColor) { return glyph(rect, lineColor, {0}); }

}  // namespace qs::NSImage_Grayscale
