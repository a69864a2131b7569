#include "toolkit/ViewExtensions.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPalette>
#include <QPointer>
#include <QRectF>
#include <QScrollArea>
#include <QScrollBar>
#include <QWidget>

#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/BezierPath.h"
#include "platform/ui/EventQueue.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/InputState.h"
#include "platform/ui/ViewGeometry.h"
#include "platform/ui/WindowAttributes.h"
#include "toolkit/ButtonExtensions.h"
#include "toolkit/EventUtilities.h"
#include "toolkit/NTImageMaker.h"
#include "toolkit/PathHelpers.h"
#include "toolkit/WindowUtilities.h"

namespace qs::NSView_CoreExtensions {

namespace {

using ViewGeometry::bounds;
using ViewGeometry::frame;
using ViewGeometry::isFlipped;
using ViewGeometry::setFrame;
using ViewGeometry::superview;

// How long one wait for the mouse lasts before the button is looked at.
constexpr double kTrackSlice = 2.0;
// How far the keyboard-focus ring reaches beyond the outline it rings.
constexpr double kFocusRingWidth = 3.0;

bool isKind(const QWidget* view, const char* className) { return view && className && view->inherits(className); }

double clamp01(double f) { return std::isnan(f) ? 0.0 : std::clamp(f, 0.0, 1.0); }

int wholeValue(double v) {
    if (!std::isfinite(v)) return 0;
    return int(std::clamp(std::round(v), double(INT_MIN), double(INT_MAX)));
}

// The scroll area whose document (widget()) the view is.
QScrollArea* scrollAreaOfDocument(const QWidget* view) {
    if (!view) return nullptr;
    for (QWidget* p = view->parentWidget(); p; p = p->parentWidget()) {
        if (auto* area = qobject_cast<QScrollArea*>(p)) return area->widget() == view ? area : nullptr;
        if (p->isWindow()) break;
    }
    return nullptr;
}

// The document view that holds the view (the view itself, or its nearest ancestor that
// is a scroll area's document).
QWidget* enclosingDocument(const QWidget* view) {
    for (const QWidget* v = view; v; v = superview(v))
        if (scrollAreaOfDocument(v)) return const_cast<QWidget*>(v);
    return nullptr;
}

QScrollArea* enclosingScrollArea(const QWidget* view) { return scrollAreaOfDocument(enclosingDocument(view)); }

// The part of a document view that its scroll area's viewport shows, in its coordinates.
Rect documentVisibleRect(const QWidget* document, const QScrollArea* area) {
    const QWidget* viewport = area->viewport();
    QRect shown(document->mapFrom(viewport, QPoint(0, 0)), viewport->size());
    shown &= document->rect();
    if (shown.isEmpty()) return RectZero;
    return ViewGeometry::rectFromQt(document, QRectF(shown));
}

bool respondsToSelector(const QObject* object, const char* selector) {
    if (!object || !selector || !*selector) return false;
    const QMetaObject* meta = object->metaObject();
    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        if (m.methodType() != QMetaMethod::Method && m.methodType() != QMetaMethod::Slot) continue;
        if (m.access() == QMetaMethod::Private) continue;
        if (m.name() == selector) return true;
    }
    return false;
}

const char* classNameOf(const QObject* object) { return object ? object->metaObject()->className() : "(null)"; }

bool isOpaque(const QWidget* view) {
    if (view->testAttribute(Qt::WA_OpaquePaintEvent)) return true;
    return view->autoFillBackground() && view->palette().brush(view->backgroundRole()).isOpaque();
}

bool isTextField(const QWidget* view) {
    return qobject_cast<const QLineEdit*>(view) != nullptr || qobject_cast<const QLabel*>(view) != nullptr;
}

// A framed line edit paints its base panel; other fields paint a background only when
// they fill it.
bool drawsBackground(const QWidget* field) {
    if (field->autoFillBackground()) return true;
    auto* edit = qobject_cast<const QLineEdit*>(field);
    return edit && edit->hasFrame();
}

void paintBackground(QWidget* view, const QColor& colour, bool base) {
    QPalette palette = view->palette();
    palette.setColor(view->backgroundRole(), colour);
    if (base) palette.setColor(QPalette::Base, colour);
    view->setPalette(palette);
    view->setAutoFillBackground(true);
}

}  // namespace

// Frame accessors -------------------------------------------------------------------------

double left(const QWidget* view) { return frame(view).origin.x; }

void setLeft(QWidget* view, double left) {
    Rect f = frame(view);
    f.origin.x = left;
    setFrame(view, f);
}

double top(const QWidget* view) { return frame(view).origin.y; }

void setTop(QWidget* view, double top) {
    Rect f = frame(view);
    f.origin.y = top;
    setFrame(view, f);
}

double right(const QWidget* view) { return left(view) + width(view); }

void setRight(QWidget* view, double value) {
    if (value == right(view)) return;
    Rect f = frame(view);
    f.origin.x = value - f.size.width;
    setFrame(view, f);
}

double bottom(const QWidget* view) { return top(view) + height(view); }

void setBottom(QWidget* view, double value) {
    if (value == bottom(view)) return;
    Rect f = frame(view);
    f.origin.y = value - f.size.height;
    setFrame(view, f);
}

double width(const QWidget* view) { return frame(view).size.width; }

void setWidth(QWidget* view, double width) {
    Rect f = frame(view);
    f.size.width = width;
    setFrame(view, f);
}

double height(const QWidget* view) { return frame(view).size.height; }

void setHeight(QWidget* view, double height) {
    Rect f = frame(view);
    if (f.size.height == height) return;
    f.size.height = height;
    setFrame(view, f);
}

Point origin(const QWidget* view) { return frame(view).origin; }

void setOrigin(QWidget* view, const Point& origin) {
    Rect f = frame(view);
    f.origin = origin;
    setFrame(view, f);
}

Size size(const QWidget* view) { return frame(view).size; }

void setSize(QWidget* view, const Size& size) {
    Rect f = frame(view);
    f.size = size;
    setFrame(view, f);
}

double centerX(const QWidget* view) {
    const Rect b = bounds(view);
    return b.origin.x + b.size.width * 0.5;
}

double centerY(const QWidget* view) {
    const Rect b = bounds(view);
    return b.origin.y + b.size.height * 0.5;
}

// The widget tree -------------------------------------------------------------------------

std::vector<QWidget*> subviews(const QWidget* view) {
    std::vector<QWidget*> out;
    if (!view) return out;
    for (QObject* child : view->children())
        if (child->isWidgetType()) {
            auto* w = static_cast<QWidget*>(child);
            if (!w->isWindow()) out.push_back(w);
        }
    return out;
}

QWidget* findKindOfEnclosingView(const QWidget* view, const char* className) {
    for (QWidget* v = superview(view); v; v = superview(v))
        if (isKind(v, className)) return v;
    return nullptr;
}

QWidget* findKindOfSubview(const QWidget* view, const char* className) {
    const auto children = subviews(view);
    for (QWidget* child : children)
        if (isKind(child, className)) return child;
    for (QWidget* child : children)
        if (QWidget* found = findKindOfSubview(child, className)) return found;
    return nullptr;
}

QWidget* descendantOrSelfWithClass(QWidget* view, const char* className) {
    if (!view) return nullptr;
    if (isKind(view, className)) return view;
    for (QWidget* child : subviews(view))
        if (QWidget* found = descendantOrSelfWithClass(child, className)) return found;
    return nullptr;
}

std::vector<QWidget*> subviewsWithClass(const QWidget* view, const char* className) {
    std::vector<QWidget*> out;
    for (QWidget* child : subviews(view)) {
        if (isKind(child, className)) out.push_back(child);
        auto below = subviewsWithClass(child, className);
        out.insert(out.end(), below.begin(), below.end());
    }
    return out;
}

QScrollArea* findScrollView(const QWidget* view) {
    for (QWidget* child : subviews(view)) {
        if (auto* area = qobject_cast<QScrollArea*>(child)) return area;
        if (QScrollArea* found = findScrollView(child)) return found;
    }
    return nullptr;
}

QObject* parentWhichRespondsToSelector(const QWidget* view, const char* selector) {
    if (!view) return nullptr;
    for (QWidget* v = superview(view); v; v = superview(v))
        if (respondsToSelector(v, selector)) return v;
    QObject* delegate = WindowAttributes::delegate(view->window());
    return respondsToSelector(delegate, selector) ? delegate : nullptr;
}

bool isParentView(const QWidget* view, const QWidget* parent) {
    if (!parent) return false;
    for (QWidget* v = superview(view); v; v = superview(v))
        if (v == parent) return true;
    return false;
}

QWidget* contentWindow(const QWidget* view) {
    if (!view) return nullptr;
    QWidget* window = view->window();
    if (NSWindow_Utilities::isDrawerWindow(window)) return NSWindow_Utilities::drawersParentWindow(window);
    return window;
}

void add(QWidget* view, bool add, QWidget* subview) {
    if (!subview) return;
    if (add) {
        if (!view || superview(subview) || subview == view || subview->isAncestorOf(view)) return;
        // Qt hides a widget that changes parents; one not hidden on purpose shows again.
        const bool hiddenOnPurpose = subview->isHidden() && subview->testAttribute(Qt::WA_WState_ExplicitShowHide);
        subview->setParent(view);
        if (!hiddenOnPurpose) subview->show();
    } else if (superview(subview)) {
        subview->setParent(nullptr);
    }
}

void removeOneView(QWidget*, QWidget*& oneView) {
    QWidget* gone = oneView;
    oneView = nullptr;
    if (!gone || !superview(gone)) return;
    gone->setParent(nullptr);
    gone->deleteLater();
}

void removeAllSubviews(QWidget* view) {
    auto children = subviews(view);
    for (auto it = children.rbegin(); it != children.rend(); ++it) (*it)->setParent(nullptr);
}

void resizeSubviewsToParentBounds(QWidget* view) {
    if (!view) return;
    const Rect b = bounds(view);
    for (QWidget* child : subviews(view)) {
        setFrame(child, b);
        resizeSubviewsToParentBounds(child);
    }
}

void resizeSubviewsToParentSize(QWidget* view) {
    if (!view) return;
    const Size s = bounds(view).size;
    for (QWidget* child : subviews(view)) {
        setSize(child, s);
        resizeSubviewsToParentBounds(child);
    }
}

void setNeedsDisplayForSubviews(QWidget* view) {
    if (!view) return;
    view->update();
    for (QWidget* child : subviews(view)) setNeedsDisplayForSubviews(child);
}

void displayIfNeededForSubviews(QWidget* view) {
    if (view && view->isVisible()) view->repaint();
}

// State -----------------------------------------------------------------------------------

bool isVisible(const QWidget* view) {
    if (!view || !view->isVisible()) return false;
    return !RectIsEmpty(visibleRect(view));
}

bool isFirstResponder(const QWidget* view) {
    return view && WindowAttributes::firstResponder(view->window()) == view;
}

bool isInitialFirstResponder(const QWidget* view) {
    return view && WindowAttributes::initialFirstResponder(view->window()) == view;
}

bool containsFirstResponder(const QWidget* view) {
    if (!view) return false;
    QWidget* responder = WindowAttributes::firstResponder(view->window());
    return responder && (responder == view || isParentView(responder, view));
}

bool mouseInRectNow(const QWidget* view) {
    if (!view) return false;
    const Point pointer = GetCurrentPointerLocation();
    const Point local = ViewGeometry::pointFromQt(view, view->mapFromGlobal(QPointF(pointer.x, pointer.y)));
    return MouseInRect(local, bounds(view), isFlipped(view));
}

bool drawingInMetallicWindow() {
    GraphicsContext* context = GraphicsContext::currentContext();
    if (!context || !context->isDrawing() || !context->painter()) return false;
    auto* view = dynamic_cast<QWidget*>(context->painter()->device());
    return view && NSWindow_Utilities::isMetallic(view->window());
}

// Mouse tracking --------------------------------------------------------------------------

bool isDragEvent(const QWidget* view, const Event& event, double dragSlop) {
    return NSEvent_Utilities::isDragEvent(event, view, dragSlop, std::nullopt);
}

std::optional<Event> trackMouseDown(const QWidget*, const Event& event, double dragSlop) {
    if (event.type != NSEventTypeLeftMouseDown) return std::nullopt;
    const Point click = event.locationInWindow;
    const Rect slop = RectInset(MakeRect(click.x, click.y, 0, 0), -dragSlop, -dragSlop);
    const uint64_t mask = NSEventMaskLeftMouseUp | NSEventMaskLeftMouseDragged;
    EventQueue& queue = EventQueue::current();
    for (;;) {
        auto next = queue.nextEvent(mask, RunLoop::main().now() + kTrackSlice, true);
        if (!next) {
            if (NSEvent_Utilities::isMouseButtonDown()) continue;
            // The button is up: its release may have been queued just now.
            next = queue.nextEvent(NSEventMaskLeftMouseUp, kDistantPast, true);
            if (!next) {
                log("the mouse button came up without a mouse-up event: the click is dropped");
                return std::nullopt;
            }
        }
        if (next->type == NSEventTypeLeftMouseUp) return next;
        if (!MouseInRect(next->locationInWindow, slop, false)) return std::nullopt;
    }
}

// Scrolling -------------------------------------------------------------------------------

Rect visibleRect(const QWidget* view) {
    if (QScrollArea* area = scrollAreaOfDocument(view)) return documentVisibleRect(view, area);
    return ViewGeometry::visibleRect(view);
}

void scrollPoint(QWidget* view, const Point& point) {
    QWidget* document = enclosingDocument(view);
    QScrollArea* area = scrollAreaOfDocument(document);
    if (!area) return;
    const Point p = ViewGeometry::convertPoint(point, view, document);
    // The point becomes the origin of what the viewport shows: its top-left corner in a
    // flipped document, its bottom-left corner otherwise.
    double top = ViewGeometry::qtPoint(document, p).y();
    if (!isFlipped(document)) top -= area->viewport()->height();
    area->horizontalScrollBar()->setValue(wholeValue(p.x));
    area->verticalScrollBar()->setValue(wholeValue(top));
}

float fraction(const QWidget* view) {
    const Rect b = bounds(view), visible = visibleRect(view);
    if (!(b.size.height > visible.size.height)) return 0.0f;
    double f = (visible.origin.y - b.origin.y) / (b.size.height - visible.size.height);
    if (!isFlipped(view)) f = 1.0 - f;
    return float(clamp01(f));
}

void setFraction(QWidget* view, float fraction) {
    const Rect b = bounds(view), visible = visibleRect(view);
    if (!(b.size.height > visible.size.height)) return;
    double f = clamp01(fraction);
    if (!isFlipped(view)) f = 1.0 - f;
    const double range = b.size.height - visible.size.height;
    const double y = std::clamp(range * f + b.origin.y, b.origin.y, b.origin.y + range);
    scrollPoint(view, {visible.origin.x, y});
}

void scrollToTop(QWidget* view) { setFraction(view, 0.0f); }

void scrollToEnd(QWidget* view) { setFraction(view, 1.0f); }

void scrollDownByLines(QWidget* view, float lines) {
    QScrollArea* area = enclosingScrollArea(view);
    if (!area) return;
    scrollDownByAdjustedPixels(view, lines * float(area->verticalScrollBar()->singleStep()));
}

void scrollDownByPages(QWidget* view, float pages) {
    QScrollArea* area = enclosingScrollArea(view);
    if (!area) return;
    const double pageScroll = std::max(0, area->viewport()->height() - area->verticalScrollBar()->pageStep());
    const double page = std::max(1.0, visibleRect(view).size.height - pageScroll);
    scrollDownByAdjustedPixels(view, float(pages * page));
}

void scrollDownByAdjustedPixels(QWidget* view, float amount) {
    if (!view) return;
    Rect visible = visibleRect(view);
    visible.origin.y += isFlipped(view) ? amount : -amount;
    if (auto* adjusting = dynamic_cast<ScrollAdjusting*>(view)) visible = adjusting->adjustScroll(visible);
    scrollPoint(view, visible.origin);
}

namespace {

// What the scroll view around the view shows, in the view's coordinates.
std::optional<Rect> shownPart(const QWidget* view) {
    QWidget* document = enclosingDocument(view);
    QScrollArea* area = scrollAreaOfDocument(document);
    if (!area) return std::nullopt;
    return ViewGeometry::convertRect(documentVisibleRect(document, area), document, view);
}

}  // namespace

Point scrollPositionAsPercentage(const QWidget* view) {
    Point out;
    const auto shown = shownPart(view);
    if (!shown) return out;
    const Rect b = bounds(view);
    if (b.size.width > shown->size.width)
        out.x = clamp01((shown->origin.x - b.origin.x) / (b.size.width - shown->size.width));
    if (b.size.height > shown->size.height) {
        double f = (shown->origin.y - b.origin.y) / (b.size.height - shown->size.height);
        out.y = clamp01(isFlipped(view) ? f : 1.0 - f);
    }
    return out;
}

void setScrollPositionAsPercentage(QWidget* view, const Point& percentage) {
    const auto shown = shownPart(view);
    if (!shown) return;
    const Rect b = bounds(view);
    Point target = shown->origin;
    auto place = [](double origin, double extent, double visible, double f) {
        const double range = extent - visible;
        const double v = double(std::round(float(origin + range * f)));
        return std::clamp(v, origin, origin + range);
    };
    if (b.size.width > shown->size.width)
        target.x = place(b.origin.x, b.size.width, shown->size.width, clamp01(percentage.x));
    if (b.size.height > shown->size.height) {
        const double f = clamp01(percentage.y);
        target.y = place(b.origin.y, b.size.height, shown->size.height, isFlipped(view) ? f : 1.0 - f);
    }
    scrollPoint(view, target);
}

// Drawing aids ----------------------------------------------------------------------------

void drawFocusRing(const QWidget* view) {
    GraphicsContext* context = GraphicsContext::currentContext();
    if (!view || !context) return;
    GraphicsContext::saveGraphicsState();
    context->clipToRect(visibleRect(view));
    // The ring alone: the outline of the path is ringed in the keyboard-focus colour;
    // the path itself is not drawn.
    auto path = BezierPath::bezierPathWithRect(bounds(view));
    path->setLineWidth(0.5);
    QPen ring = path->pen();
    ring.setWidthF(path->lineWidth() + 2 * kFocusRingWidth);
    ring.setJoinStyle(Qt::RoundJoin);
    context->setStrokeColor(Color::fromQColor(view->palette().color(QPalette::Active, QPalette::Highlight)));
    context->strokePath(path->toQPainterPath(), ring);
    GraphicsContext::restoreGraphicsState();
}

void drawHighlightRing(const Rect& rect, bool selected) {
    Color::colorWithCalibratedRed(0.1, 0.2, 1.0, 0.1)->setFill();
    const ColorPtr frame =
        selected ? Color::whiteColor() : Color::colorWithCalibratedRed(0.122, 0.361, 0.812, 1.0);
    NSBezierPath_NTExtensions::fillRoundRect(rect, 6.0, frame, 4.0);
}

void eraseRect(const QWidget*, const Rect& rect) { NSBezierPath_NTExtensions::eraseRect(rect); }

void askParentToDrawBackground(const QWidget* view) {
    QObject* drawer = parentWhichRespondsToSelector(view, "drawBackgroundInSubview");
    if (!drawer) return;
    // A view draws over its own bounds; a window's delegate over the window.
    const QWidget* area = drawer->isWidgetType() ? static_cast<QWidget*>(drawer) : view->window();
    const Rect rect = ViewGeometry::convertRect(bounds(area), area, view);
    GraphicsContext::saveGraphicsState();
    const bool called = QMetaObject::invokeMethod(
        drawer, "drawBackgroundInSubview", Qt::DirectConnection, Q_ARG(QWidget*, const_cast<QWidget*>(view)),
        Q_ARG(QRectF, QRectF(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height)));
    GraphicsContext::restoreGraphicsState();
    if (!called)
        log(classNameOf(drawer), " has drawBackgroundInSubview, but not as (QWidget*, const QRectF&): nothing drawn");
}

ImagePtr viewImage(const QWidget* view, const Rect& rect) {
    if (!view) return nullptr;
    const Rect area = RectEqualToRect(rect, RectZero) ? bounds(view) : RectStandardize(rect);
    auto maker = NTImageMaker::maker(area.size);
    maker->lockFocus();
    GraphicsContext* context = GraphicsContext::currentContext();
    const QRect source = ViewGeometry::qtRect(view, area).toAlignedRect();
    if (context && !source.isEmpty()) {
        QImage pixels(source.size(), QImage::Format_ARGB32_Premultiplied);
        pixels.fill(Qt::transparent);
        const_cast<QWidget*>(view)->render(&pixels, QPoint(), QRegion(source), QWidget::DrawChildren);
        context->drawPixels(pixels, MakeRect(0, 0, source.width(), source.height()), QRectF(pixels.rect()),
                            CompositingOperation::SourceOver, 1.0, true);
    }
    return maker->unlockFocus();
}

void setBackgroundColorOnSubviews(QWidget* view, const ColorPtr& color) {
    if (!view || !color) return;
    const QColor colour = color->toQColor();
    const auto all = subviewsWithClass(view, "QWidget");
    for (QWidget* field : all)
        if (isTextField(field) && !drawsBackground(field)) paintBackground(field, colour, true);
    for (QWidget* box : all)
        if (NSButton_NTExtensions::isSwitchButton(box)) paintBackground(box, colour, false);
}

// Debugging -------------------------------------------------------------------------------

void debugViews(const QWidget* view, bool down) {
    if (!view) return;
    log("class: ", classNameOf(view));
    log("frame: ", frame(view));
    log("isOpaque: ", isOpaque(view) ? "YES" : "NO");
    log("hasLayer: ", view->internalWinId() != 0 ? "YES" : "NO");
    if (down) {
        log("super: ", classNameOf(superview(view)));
        log("subviews:");
        for (QWidget* child : subviews(view)) debugViews(child, true);
    } else {
        debugViews(superview(view), false);
    }
}

}  // namespace qs::NSView_CoreExtensions
