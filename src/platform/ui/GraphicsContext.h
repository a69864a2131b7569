#pragma once
// Graphics contexts (the platform's NSGraphicsContext together with the Core Graphics
// state it carries), painting through QPainter.
//
// Every thread has a current context, used by the drawing calls of colours, shadows,
// paths, transforms and images. Coordinates are the platform's points with y up: a
// context over a bitmap puts (0, 0) at the bitmap's bottom-left pixel corner, one point
// to a pixel. A context over a widget's painter is y-up too unless made flipped (then
// it keeps Qt's y-down coordinates, as a flipped view does).
//
// Graphics state: the transform, the clip, the fill and stroke colours, the shadow, the
// compositing operation, the image interpolation and antialiasing are saved and
// restored together, per context (saveGState / restoreGState). The class-level
// saveGraphicsState / restoreGraphicsState also save and restore which context is
// current, so that drawing can be redirected into an offscreen bitmap and back.

#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Image.h"
#include "platform/ui/Color.h"

namespace qs {

// The platform's compositing operations, with their numbers.
enum class CompositingOperation : int {
    Clear = 0,
    Copy = 1,
    SourceOver = 2,
    SourceIn = 3,
    SourceOut = 4,
    SourceAtop = 5,
    DestinationOver = 6,
    DestinationIn = 7,
    DestinationOut = 8,
    DestinationAtop = 9,
    XOR = 10,
    PlusDarker = 11,
    Highlight = 12,
    PlusLighter = 13,
    Multiply = 14,
    Screen = 15,
    Overlay = 16,
    Darken = 17,
    Lighten = 18,
    ColorDodge = 19,
    ColorBurn = 20,
    SoftLight = 21,
    HardLight = 22,
    Difference = 23,
    Exclusion = 24,
};

QPainter::CompositionMode compositionModeFor(CompositingOperation op);

enum class ImageInterpolation : int { Default = 0, None = 1, Low = 2, High = 3, Medium = 4 };

class GraphicsContext {
public:
    struct ShadowState {
        QColor color;
        Size offset;
        double blurRadius = 0.0;
    };

    // A context over a bitmap representation (RGBA, BGRA or RGB layouts); nullptr for a
    // representation without pixels to paint into.
    static std::shared_ptr<GraphicsContext> graphicsContextWithBitmapImageRep(const ImageRepPtr& rep);
    // A context over an active painter (a widget's paint event, for instance). `height`
    // is the height of the painted area in the painter's coordinates; unless flipped,
    // the context turns the painter's coordinates into y-up ones over that height. The
    // painter's own state is saved now and restored by end() or the destructor.
    static std::shared_ptr<GraphicsContext> graphicsContextWithPainter(QPainter* painter, double height,
                                                                       bool flipped = false);
    ~GraphicsContext();
    GraphicsContext(const GraphicsContext&) = delete;
    GraphicsContext& operator=(const GraphicsContext&) = delete;

    // The calling thread's current context (nullptr when none).
    static GraphicsContext* currentContext();
    static std::shared_ptr<GraphicsContext> currentContextShared();
    static void setCurrentContext(std::shared_ptr<GraphicsContext> context);
    // Saves the current context's graphics state and which context is current /
    // restores both. An unmatched restore does nothing.
    static void saveGraphicsState();
    static void restoreGraphicsState();

    // The context's own graphics-state stack. An unmatched restore does nothing.
    void saveGState();
    void restoreGState();
    int gStateDepth() const { return int(stack_.size()); }

    // Ends the painting: the painter is released (a bitmap's pixels are final), the
    // caller's painter is left as it was found. Drawing afterwards does nothing.
    void end();
    bool isDrawing() const;
    void flushGraphics() {}

    bool isFlipped() const { return flipped_; }
    // The bitmap being painted (contexts over a bitmap representation only).
    const ImageRepPtr& bitmapImageRep() const { return rep_; }
    QPainter* painter() { return painter_; }

    ImageInterpolation imageInterpolation() const { return state_.interpolation; }
    void setImageInterpolation(ImageInterpolation interpolation) { state_.interpolation = interpolation; }
    CompositingOperation compositingOperation() const { return state_.op; }
    void setCompositingOperation(CompositingOperation op) { state_.op = op; }
    bool shouldAntialias() const { return state_.antialias; }
    void setShouldAntialias(bool antialias) { state_.antialias = antialias; }

    const ColorPtr& fillColor() const { return state_.fill; }
    const ColorPtr& strokeColor() const { return state_.stroke; }
    void setFillColor(ColorPtr color);
    void setStrokeColor(ColorPtr color);
    const std::optional<ShadowState>& shadow() const { return state_.shadow; }
    void setShadow(std::optional<ShadowState> shadow) { state_.shadow = std::move(shadow); }

    // The user transform (from the context's y-up or flipped points to its base).
    QTransform ctm() const;
    void setCTM(const QTransform& userTransform);
    void concatCTM(const QTransform& t);
    void translateCTM(double x, double y);
    void scaleCTM(double sx, double sy);
    void rotateCTM(double radians);  // counter-clockwise in y-up points

    // Clipping, in user coordinates: intersect the clip with the path / replace it.
    void clipToPath(const QPainterPath& path);
    void clipToRect(const Rect& rect);
    void setClipPath(const QPainterPath& path);
    void resetClip();

    // Primitives. Fills and strokes use the state's colours (nothing is drawn without
    // one); every primitive honours the compositing operation, the clip and the shadow.
    void fillPath(const QPainterPath& path);
    void fillPath(const QPainterPath& path, CompositingOperation op);
    void strokePath(const QPainterPath& path, const QPen& penWithoutColour);
    // Draws the part `sourcePixels` of the pixels into the user rectangle `dest`, the
    // image's top row at the rectangle's top (the larger y), as transforms dictate. With
    // `upright`, the image's top row is at the visual top even in a flipped context.
    void drawPixels(const QImage& pixels, const Rect& dest, const QRectF& sourcePixels, CompositingOperation op,
                    double fraction, bool upright = false);

    // The colour of the pixel under the user-space point (NSReadPixel); nullptr when the
    // point lies outside the bitmap or the context is not over a bitmap.
    ColorPtr readPixel(const Point& point);

private:
    struct State {
        ColorPtr fill;
        ColorPtr stroke;
        std::optional<ShadowState> shadow;
        CompositingOperation op = CompositingOperation::SourceOver;
        ImageInterpolation interpolation = ImageInterpolation::Default;
        bool antialias = true;
    };

    GraphicsContext() = default;
    // Runs a primitive: the shadow pass when a shadow is set, then the primitive.
    // `deviceBounds` is where the primitive can reach, in device pixels.
    template <class Paint>
    void draw(const QRectF& deviceBounds, CompositingOperation op, const Paint& paint);
    void prepare(CompositingOperation op);
    QTransform base_;
    bool flipped_ = false;
    QPainter* painter_ = nullptr;
    std::unique_ptr<QPainter> ownPainter_;
    bool savedCallersPainter_ = false;
    ImageRepPtr rep_;
    State state_;
    std::vector<State> stack_;
};

using GraphicsContextPtr = std::shared_ptr<GraphicsContext>;

// RAII: makes a context over a widget's painter current for the scope, and puts the
// previous context back at the end.
class GraphicsContextScope {
public:
    GraphicsContextScope(QPainter* painter, double height, bool flipped = false);
    explicit GraphicsContextScope(GraphicsContextPtr context);
    ~GraphicsContextScope();
    GraphicsContextScope(const GraphicsContextScope&) = delete;
    GraphicsContextScope& operator=(const GraphicsContextScope&) = delete;
    GraphicsContext& context() { return *context_; }

private:
    GraphicsContextPtr context_;
};

// Fills the rectangle with the current fill colour, source-over / with the operation
// (NSRectFill, NSRectFillUsingOperation); frames it with a line of the width inside
// its edges (NSFrameRectWithWidth).
void RectFill(const Rect& rect);
void RectFillUsingOperation(const Rect& rect, CompositingOperation op);
void FrameRectWithWidth(const Rect& rect, double width);
void RectClip(const Rect& rect);

}  // namespace qs
