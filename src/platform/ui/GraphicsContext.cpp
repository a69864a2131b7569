#include "platform/ui/GraphicsContext.h"

#include <QPaintDevice>
#include <algorithm>
#include <cmath>

#include "platform/foundation/Log.h"
#include "platform/ui/ShadowRenderer.h"

namespace qs {

QPainter::CompositionMode compositionModeFor(CompositingOperation op) {
    switch (op) {
    case CompositingOperation::Clear: return QPainter::CompositionMode_Clear;
    case CompositingOperation::Copy: return QPainter::CompositionMode_Source;
    case CompositingOperation::SourceOver: return QPainter::CompositionMode_SourceOver;
    case CompositingOperation::SourceIn: return QPainter::CompositionMode_SourceIn;
    case CompositingOperation::SourceOut: return QPainter::CompositionMode_SourceOut;
    case CompositingOperation::SourceAtop: return QPainter::CompositionMode_SourceAtop;
    case CompositingOperation::DestinationOver: return QPainter::CompositionMode_DestinationOver;
    case CompositingOperation::DestinationIn: return QPainter::CompositionMode_DestinationIn;
    case CompositingOperation::DestinationOut: return QPainter::CompositionMode_DestinationOut;
    case CompositingOperation::DestinationAtop: return QPainter::CompositionMode_DestinationAtop;
    case CompositingOperation::XOR: return QPainter::CompositionMode_Xor;
    // Qt has no "plus darker"; darken is the nearest.
    case CompositingOperation::PlusDarker: return QPainter::CompositionMode_Darken;
    case CompositingOperation::Highlight: return QPainter::CompositionMode_SourceOver;
    case CompositingOperation::PlusLighter: return QPainter::CompositionMode_Plus;
    case CompositingOperation::Multiply: return QPainter::CompositionMode_Multiply;
    case CompositingOperation::Screen: return QPainter::CompositionMode_Screen;
    case CompositingOperation::Overlay: return QPainter::CompositionMode_Overlay;
    case CompositingOperation::Darken: return QPainter::CompositionMode_Darken;
    case CompositingOperation::Lighten: return QPainter::CompositionMode_Lighten;
    case CompositingOperation::ColorDodge: return QPainter::CompositionMode_ColorDodge;
    case CompositingOperation::ColorBurn: return QPainter::CompositionMode_ColorBurn;
    case CompositingOperation::SoftLight: return QPainter::CompositionMode_SoftLight;
    case CompositingOperation::HardLight: return QPainter::CompositionMode_HardLight;
    case CompositingOperation::Difference: return QPainter::CompositionMode_Difference;
    case CompositingOperation::Exclusion: return QPainter::CompositionMode_Exclusion;
    }
    return QPainter::CompositionMode_SourceOver;
}

namespace {

// Shapes with coordinates that are not numbers (or infinite) are not drawn.
bool finite(const QRectF& r) {
    return std::isfinite(r.x()) && std::isfinite(r.y()) && std::isfinite(r.width()) && std::isfinite(r.height());
}

struct SavedContext {
    std::shared_ptr<GraphicsContext> context;
    bool stateSaved = false;
};

struct ThreadContexts {
    std::shared_ptr<GraphicsContext> current;
    std::vector<SavedContext> saved;
};

ThreadContexts& threadContexts() {
    thread_local ThreadContexts contexts;
    return contexts;
}

}  // namespace

// ---------------------------------------------------------------------------------
// Creation and the current context

std::shared_ptr<GraphicsContext> GraphicsContext::graphicsContextWithBitmapImageRep(const ImageRepPtr& rep) {
    if (!rep) return nullptr;
    QImage* pixels = rep->paintableImage();
    if (!pixels || pixels->isNull()) return nullptr;
    std::shared_ptr<GraphicsContext> context(new GraphicsContext());
    context->rep_ = rep;
    context->ownPainter_ = std::make_unique<QPainter>();
    if (!context->ownPainter_->begin(pixels)) return nullptr;
    context->painter_ = context->ownPainter_.get();
    context->base_ = QTransform(1, 0, 0, -1, 0, pixels->height());
    context->painter_->setWorldTransform(context->base_);
    context->painter_->setRenderHint(QPainter::Antialiasing, true);
    context->painter_->setRenderHint(QPainter::SmoothPixmapTransform, true);
    context->state_.fill = Color::blackColor();
    context->state_.stroke = Color::blackColor();
    return context;
}

std::shared_ptr<GraphicsContext> GraphicsContext::graphicsContextWithPainter(QPainter* painter, double height,
                                                                             bool flipped) {
    if (!painter || !painter->isActive()) return nullptr;
    std::shared_ptr<GraphicsContext> context(new GraphicsContext());
    context->painter_ = painter;
    painter->save();
    context->savedCallersPainter_ = true;
    context->flipped_ = flipped;
    context->base_ = painter->worldTransform();
    if (!flipped) context->base_ = QTransform(1, 0, 0, -1, 0, height) * context->base_;
    painter->setWorldTransform(context->base_);
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
    context->state_.fill = Color::blackColor();
    context->state_.stroke = Color::blackColor();
    return context;
}

GraphicsContext::~GraphicsContext() { end(); }

void GraphicsContext::end() {
    if (!painter_) return;
    if (ownPainter_) {
        ownPainter_->end();
    } else if (savedCallersPainter_) {
        // Unwind what was left saved, then the state found at creation.
        for (size_t i = 0; i < stack_.size(); ++i) painter_->restore();
        painter_->restore();
    }
    stack_.clear();
    painter_ = nullptr;
}

bool GraphicsContext::isDrawing() const { return painter_ && painter_->isActive(); }

GraphicsContext* GraphicsContext::currentContext() { return threadContexts().current.get(); }

std::shared_ptr<GraphicsContext> GraphicsContext::currentContextShared() { return threadContexts().current; }

void GraphicsContext::setCurrentContext(std::shared_ptr<GraphicsContext> context) {
    threadContexts().current = std::move(context);
}

void GraphicsContext::saveGraphicsState() {
    auto& contexts = threadContexts();
    SavedContext saved{contexts.current, false};
    if (contexts.current && contexts.current->isDrawing()) {
        contexts.current->saveGState();
        saved.stateSaved = true;
    }
    contexts.saved.push_back(std::move(saved));
}

void GraphicsContext::restoreGraphicsState() {
    auto& contexts = threadContexts();
    if (contexts.saved.empty()) return;
    SavedContext saved = std::move(contexts.saved.back());
    contexts.saved.pop_back();
    if (saved.stateSaved && saved.context) saved.context->restoreGState();
    contexts.current = std::move(saved.context);
}

void GraphicsContext::saveGState() {
    if (!isDrawing()) return;
    painter_->save();
    stack_.push_back(state_);
}

void GraphicsContext::restoreGState() {
    if (!isDrawing() || stack_.empty()) return;
    painter_->restore();
    state_ = std::move(stack_.back());
    stack_.pop_back();
}

void GraphicsContext::setFillColor(ColorPtr color) {
    if (color) state_.fill = std::move(color);
}

void GraphicsContext::setStrokeColor(ColorPtr color) {
    if (color) state_.stroke = std::move(color);
}

// ---------------------------------------------------------------------------------
// Transform and clip

QTransform GraphicsContext::ctm() const {
    if (!painter_) return {};
    return painter_->worldTransform() * base_.inverted();
}

void GraphicsContext::setCTM(const QTransform& userTransform) {
    if (isDrawing()) painter_->setWorldTransform(userTransform * base_);
}

void GraphicsContext::concatCTM(const QTransform& t) {
    if (isDrawing()) painter_->setWorldTransform(t, true);
}

void GraphicsContext::translateCTM(double x, double y) { concatCTM(QTransform::fromTranslate(x, y)); }

void GraphicsContext::scaleCTM(double sx, double sy) { concatCTM(QTransform::fromScale(sx, sy)); }

void GraphicsContext::rotateCTM(double radians) {
    const double c = std::cos(radians), s = std::sin(radians);
    concatCTM(QTransform(c, s, -s, c, 0, 0));
}

void GraphicsContext::clipToPath(const QPainterPath& path) {
    if (!isDrawing()) return;
    if (painter_->hasClipping())
        painter_->setClipPath(path, Qt::IntersectClip);
    else
        painter_->setClipPath(path, Qt::ReplaceClip);
}

void GraphicsContext::clipToRect(const Rect& rect) {
    QPainterPath path;
    path.addRect(QRectF(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height));
    clipToPath(path);
}

void GraphicsContext::setClipPath(const QPainterPath& path) {
    if (isDrawing()) painter_->setClipPath(path, Qt::ReplaceClip);
}

void GraphicsContext::resetClip() {
    if (isDrawing()) painter_->setClipping(false);
}

// ---------------------------------------------------------------------------------
// Primitives

void GraphicsContext::prepare(CompositingOperation op) {
    painter_->setCompositionMode(compositionModeFor(op));
    painter_->setRenderHint(QPainter::Antialiasing, state_.antialias);
    painter_->setRenderHint(QPainter::SmoothPixmapTransform, state_.interpolation != ImageInterpolation::None);
}

template <class Paint>
void GraphicsContext::draw(const QRectF& deviceBounds, CompositingOperation op, const Paint& paint) {
    if (!isDrawing()) return;
    painter_->save();
    prepare(op);
    if (state_.shadow && state_.shadow->color.alpha() > 0) {
        const double dpr = painter_->device() ? painter_->device()->devicePixelRatioF() : 1.0;
        QRectF target(0, 0, painter_->device()->width() * dpr, painter_->device()->height() * dpr);
        if (painter_->hasClipping())
            target &= painter_->deviceTransform().mapRect(painter_->clipBoundingRect());
        ShadowRenderer::Spec spec{state_.shadow->color, state_.shadow->offset.width * dpr,
                                  -state_.shadow->offset.height * dpr, state_.shadow->blurRadius * dpr};
        ShadowRenderer::cast(*painter_, deviceBounds, target, dpr, spec, [&](QPainter& layer) {
            layer.setRenderHint(QPainter::Antialiasing, state_.antialias);
            layer.setRenderHint(QPainter::SmoothPixmapTransform, state_.interpolation != ImageInterpolation::None);
            paint(layer);
        });
    }
    paint(*painter_);
    painter_->restore();
}

void GraphicsContext::fillPath(const QPainterPath& path) { fillPath(path, state_.op); }

void GraphicsContext::fillPath(const QPainterPath& path, CompositingOperation op) {
    if (!isDrawing() || !state_.fill || path.isEmpty()) return;
    const QColor colour = state_.fill->toQColor();
    const QRectF bounds = painter_->deviceTransform().mapRect(path.boundingRect()).adjusted(-1, -1, 1, 1);
    if (!finite(bounds)) return;
    draw(bounds, op, [&](QPainter& p) { p.fillPath(path, colour); });
}

void GraphicsContext::strokePath(const QPainterPath& path, const QPen& penWithoutColour) {
    if (!isDrawing() || !state_.stroke || path.isEmpty()) return;
    QPen pen = penWithoutColour;
    pen.setColor(state_.stroke->toQColor());
    const double reach = std::max(1.0, pen.widthF() * std::max(1.0, pen.miterLimit()));
    const QRectF bounds = painter_->deviceTransform()
                              .mapRect(path.boundingRect().adjusted(-reach, -reach, reach, reach))
                              .adjusted(-1, -1, 1, 1);
    if (!finite(bounds)) return;
    draw(bounds, state_.op, [&](QPainter& p) { p.strokePath(path, pen); });
}

void GraphicsContext::drawPixels(const QImage& pixels, const Rect& dest, const QRectF& sourcePixels,
                                 CompositingOperation op, double fraction, bool upright) {
    if (!isDrawing() || pixels.isNull() || dest.size.width == 0 || dest.size.height == 0) return;
    if (!std::isfinite(dest.origin.x) || !std::isfinite(dest.origin.y) || !std::isfinite(dest.size.width) ||
        !std::isfinite(dest.size.height))
        return;
    if (sourcePixels.width() <= 0 || sourcePixels.height() <= 0) return;
    const double w = dest.size.width, h = dest.size.height;
    // The image's rows run top-down; its top row goes to the larger user y (or to the
    // visual top, when upright in a flipped context).
    QTransform local = (upright && flipped_) ? QTransform(1, 0, 0, 1, dest.origin.x, dest.origin.y)
                                             : QTransform(1, 0, 0, -1, dest.origin.x, dest.origin.y + h);
    QTransform toDevice = local * painter_->deviceTransform();
    QImage source = pixels;
    QRectF from = sourcePixels;
    // A mirrored placement samples between pixels; mirroring the pixels instead keeps
    // the drawing exact (a pure flip becomes a plain copy).
    if (toDevice.type() <= QTransform::TxScale && (toDevice.m11() < 0 || toDevice.m22() < 0)) {
        const bool mx = toDevice.m11() < 0, my = toDevice.m22() < 0;
        source = source.mirrored(mx, my);
        from = QRectF(mx ? source.width() - from.right() : from.x(), my ? source.height() - from.bottom() : from.y(),
                      from.width(), from.height());
        local = QTransform(mx ? -1 : 1, 0, 0, my ? -1 : 1, mx ? w : 0, my ? h : 0) * local;
        toDevice = local * painter_->deviceTransform();
    }
    // A large reduction at high quality: Qt's transformed drawing samples bilinearly,
    // which aliases below half size, so the reduction is done by area first.
    if (state_.interpolation == ImageInterpolation::High && toDevice.type() <= QTransform::TxScale) {
        const int dw = int(std::lround(std::fabs(toDevice.m11()) * w));
        const int dh = int(std::lround(std::fabs(toDevice.m22()) * h));
        const QRect aligned = from.toAlignedRect();
        if (dw > 0 && dh > 0 && QRectF(aligned) == from && (from.width() > 2 * dw || from.height() > 2 * dh)) {
            QImage part = (aligned == source.rect()) ? source : source.copy(aligned);
            source = part.scaled(dw, dh, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            from = QRectF(0, 0, dw, dh);
        }
    }
    const QRectF bounds = toDevice.mapRect(QRectF(0, 0, w, h)).adjusted(-1, -1, 1, 1);
    const double opacity = std::clamp(std::isnan(fraction) ? 0.0 : fraction, 0.0, 1.0);
    // Pixels that land exactly on device pixels (quarter turns, whole-pixel moves, no
    // scaling) are copied as they are: no sampling, no softened edges.
    auto unit = [](double v) { return v == 0 || v == 1 || v == -1; };
    auto whole = [](double v) { return v == std::floor(v); };
    const QPointF corner = toDevice.map(QPointF(0, 0));
    const bool exact = unit(toDevice.m11()) && unit(toDevice.m12()) && unit(toDevice.m21()) &&
                       unit(toDevice.m22()) && whole(corner.x()) && whole(corner.y()) && from.width() == w &&
                       from.height() == h && whole(from.x()) && whole(from.y()) && whole(w) && whole(h);
    draw(bounds, op, [&](QPainter& p) {
        if (exact) {
            p.setRenderHint(QPainter::Antialiasing, false);
            p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        }
        p.setWorldTransform(local, true);
        p.setOpacity(p.opacity() * opacity);
        p.drawImage(QRectF(0, 0, w, h), source, from);
    });
}

ColorPtr GraphicsContext::readPixel(const Point& point) {
    if (!isDrawing() || !rep_) return nullptr;
    const QTransform t = painter_->deviceTransform();
    const QPointF device = t.map(QPointF(point.x, point.y));
    // The pixel whose area holds the point, its low edges included on the user's axes:
    // along an axis the transform reverses, that is the pixel before the boundary.
    auto cell = [](double v, bool reversed) { return int(reversed ? std::ceil(v) - 1 : std::floor(v)); };
    const int x = cell(device.x(), t.m11() < 0), y = cell(device.y(), t.m22() < 0);
    const QImage pixels = rep_->image();
    if (x < 0 || y < 0 || x >= pixels.width() || y >= pixels.height()) return nullptr;
    const QColor c = pixels.pixelColor(x, y);
    return Color::colorWithCalibratedRed(c.redF(), c.greenF(), c.blueF(), c.alphaF());
}

// ---------------------------------------------------------------------------------
// Scope and the rectangle functions

GraphicsContextScope::GraphicsContextScope(QPainter* painter, double height, bool flipped)
    : GraphicsContextScope(GraphicsContext::graphicsContextWithPainter(painter, height, flipped)) {}

GraphicsContextScope::GraphicsContextScope(GraphicsContextPtr context) : context_(std::move(context)) {
    GraphicsContext::saveGraphicsState();
    GraphicsContext::setCurrentContext(context_);
}

GraphicsContextScope::~GraphicsContextScope() {
    GraphicsContext::restoreGraphicsState();
    if (context_) context_->end();
}

void RectFill(const Rect& rect) {
    if (auto* c = GraphicsContext::currentContext()) {
        QPainterPath path;
        path.addRect(QRectF(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height));
        c->fillPath(path);
    }
}

void RectFillUsingOperation(const Rect& rect, CompositingOperation op) {
    if (auto* c = GraphicsContext::currentContext()) {
        QPainterPath path;
        path.addRect(QRectF(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height));
        c->fillPath(path, op);
    }
}

void FrameRectWithWidth(const Rect& rect, double width) {
    auto* c = GraphicsContext::currentContext();
    if (!c) return;
    Rect r = RectStandardize(rect);
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    path.addRect(QRectF(r.origin.x, r.origin.y, r.size.width, r.size.height));
    if (r.size.width > 2 * width && r.size.height > 2 * width)
        path.addRect(QRectF(r.origin.x + width, r.origin.y + width, r.size.width - 2 * width, r.size.height - 2 * width));
    c->fillPath(path);
}

void RectClip(const Rect& rect) {
    if (auto* c = GraphicsContext::currentContext()) c->clipToRect(rect);
}

}  // namespace qs

namespace qs {

namespace {
// The shared object of a colour (a copy for one that is not shared).
ColorPtr sharedColor(const Color& colour) {
    if (auto self = colour.weak_from_this().lock()) return std::static_pointer_cast<const Color>(self);
    if (colour.colorSpace() == Color::Space::CalibratedWhite)
        return Color::colorWithCalibratedWhite(colour.redComponent(), colour.alphaComponent());
    return Color::colorWithCalibratedRed(colour.redComponent(), colour.greenComponent(), colour.blueComponent(),
                                         colour.alphaComponent());
}
}  // namespace

// The colour's drawing calls live here, with the state they change.
void Color::set() const {
    if (auto* c = GraphicsContext::currentContext()) {
        ColorPtr self = sharedColor(*this);
        c->setFillColor(self);
        c->setStrokeColor(self);
    }
}

void Color::setFill() const {
    if (auto* c = GraphicsContext::currentContext()) c->setFillColor(sharedColor(*this));
}

void Color::setStroke() const {
    if (auto* c = GraphicsContext::currentContext()) c->setStrokeColor(sharedColor(*this));
}

}  // namespace qs
