#include "platform/ui/Popover.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <set>

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

#include "platform/desktop/Compositing.h"
#include "platform/desktop/Screen.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/MenuPresenter.h"
#include "platform/ui/WindowGeometry.h"

namespace qs {

bool PopoverDelegate::popoverShouldClose(Popover&) { return true; }
void PopoverDelegate::popoverWillShow(Popover&) {}
void PopoverDelegate::popoverDidShow(Popover&) {}
void PopoverDelegate::popoverWillClose(Popover&) {}
void PopoverDelegate::popoverDidClose(Popover&) {}

namespace {

bool isXEdge(RectEdge e) { return e == NSRectEdgeMinX || e == NSRectEdgeMaxX; }

RectEdge opposite(RectEdge e) {
    switch (e) {
    case NSRectEdgeMinX: return NSRectEdgeMaxX;
    case NSRectEdgeMaxX: return NSRectEdgeMinX;
    case NSRectEdgeMinY: return NSRectEdgeMaxY;
    case NSRectEdgeMaxY: return NSRectEdgeMinY;
    }
    return NSRectEdgeMaxY;
}

double finiteOrZero(double v) { return std::isfinite(v) ? v : 0.0; }

// Places `origin` (extent `length`) inside [lo, hi]; when it cannot fit, at `lo` or,
// with keepHigh, so that its high end stays visible.
double clampInto(double origin, double length, double lo, double hi, bool keepHigh) {
    if (length >= hi - lo) return keepHigh ? hi - length : lo;
    return std::clamp(origin, lo, hi - length);
}

}  // namespace

// The popover's top-level window: paints the bubble, lays the content out, and turns
// Escape and the window system's closes into the popover's closes.
class PopoverWindow : public QWidget {
public:
    explicit PopoverWindow(Popover& owner) : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint), owner_(owner) {
        setWindowTitle(QStringLiteral("Quayside"));
    }

    // The window side that holds the arrow (platform naming) and the tip's position along
    // that side in the window's own coordinates (x for the bottom and top sides, y for
    // the left and right ones, Qt's y down).
    RectEdge arrowSide = NSRectEdgeMinY;
    double arrowAt = 0.0;
    bool translucent = false;

    QRect contentRect(const QSize& content) const {
        const int a = int(Popover::kArrowLength);
        switch (arrowSide) {
        case NSRectEdgeMaxY: return QRect(QPoint(0, a), content);
        case NSRectEdgeMinX: return QRect(QPoint(a, 0), content);
        default: return QRect(QPoint(0, 0), content);
        }
    }

    QPainterPath bubble(double inset) const {
        const double a = Popover::kArrowLength, half = Popover::kArrowWidth / 2, r = Popover::kCornerRadius;
        const double w = width(), h = height();
        QRectF body;
        std::array<QPointF, 3> arrow;
        switch (arrowSide) {
        case NSRectEdgeMinY:  // bottom side in Qt's y-down terms
            body = QRectF(0, 0, w, h - a);
            arrow = {QPointF(arrowAt - half, h - a - 1), QPointF(arrowAt, h - inset), QPointF(arrowAt + half, h - a - 1)};
            break;
        case NSRectEdgeMaxY:
            body = QRectF(0, a, w, h - a);
            arrow = {QPointF(arrowAt - half, a + 1), QPointF(arrowAt, inset), QPointF(arrowAt + half, a + 1)};
            break;
        case NSRectEdgeMinX:
            body = QRectF(a, 0, w - a, h);
            arrow = {QPointF(a + 1, arrowAt - half), QPointF(inset, arrowAt), QPointF(a + 1, arrowAt + half)};
            break;
        case NSRectEdgeMaxX:
            body = QRectF(0, 0, w - a, h);
            arrow = {QPointF(w - a - 1, arrowAt - half), QPointF(w - inset, arrowAt), QPointF(w - a - 1, arrowAt + half)};
            break;
        }
        body.adjust(inset, inset, -inset, -inset);
        double radius = std::min({r, body.width() / 2, body.height() / 2});
        QPainterPath path;
        path.addRoundedRect(body, radius, radius);
        QPainterPath tip;
        tip.addPolygon(QPolygonF({arrow[0], arrow[1], arrow[2], arrow[0]}));
        return path.united(tip).simplified();
    }

    void updateShape() {
        if (translucent)
            clearMask();
        else
            setMask(QRegion(bubble(0).toFillPolygon().toPolygon()));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        if (translucent) {
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.fillRect(rect(), Qt::transparent);
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        QColor background = palette().color(QPalette::Window);
        QColor border = palette().color(QPalette::Mid);
        if (translucent) {
            background.setAlphaF(0.94f);
            border.setAlphaF(0.7f);
        }
        p.fillPath(bubble(0), background);
        p.setPen(QPen(border, 1.0));
        p.setBrush(Qt::NoBrush);
        p.drawPath(bubble(0.5));
    }

    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape && owner_.behavior() != NSPopoverBehaviorApplicationDefined) {
            event->accept();
            owner_.performClose();
            return;
        }
        if (windowType() == Qt::Popup && event->key() == Qt::Key_Escape) {
            event->accept();  // never let Qt close the pop-up behind the popover's back
            return;
        }
        QWidget::keyPressEvent(event);
    }

    // A close from outside (a press outside a pop-up, the window manager, the program's
    // end): the popover decides, and hides the window itself when it closes. The close
    // is answered as it went, so that whoever asked knows the window is gone.
    void closeEvent(QCloseEvent* event) override {
        owner_.closeFromWindow();
        event->setAccepted(!owner_.isShown());
    }

    void hideEvent(QHideEvent* event) override {
        QWidget::hideEvent(event);
        owner_.windowHidden();
    }

    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        updateShape();
    }

private:
    Popover& owner_;
};

namespace {
PopoverWindow* asPopoverWindow(QWidget* w) { return static_cast<PopoverWindow*>(w); }

// Every popover that exists, for the giving-way rule.
std::set<Popover*>& livePopovers() {
    static std::set<Popover*> all;
    return all;
}
}  // namespace

Popover::Popover() {
    translucent_ = desktop::compositingManagerRunning();
    window_ = makeWindow(translucent_);
    livePopovers().insert(this);
    // Once for the program: a menu that opens sends the popovers that give way away.
    static const bool watchingMenus = [] {
        NotificationCenter::defaultCenter().addObserver(
            nullptr, MenuPresenter::kMenuDidBeginTracking, nullptr,
            [](const Notification&) { Popover::closeThoseGivingWay(nullptr); });
        return true;
    }();
    (void)watchingMenus;
}

void Popover::setGivesWay(bool givesWay) {
    givesWay_ = givesWay;
    if (givesWay_ && shown_ && somethingToGiveWayTo(this)) close();
}

bool Popover::somethingToGiveWayTo(const Popover* asking) {
    if (MenuPresenter::isTracking()) return true;
    for (const Popover* p : livePopovers())
        if (p != asking && !p->givesWay_ && p->shown_ && p->window_ && p->window_->isVisible()) return true;
    return false;
}

void Popover::closeThoseGivingWay(const Popover* except) {
    // A copy: a close may make or destroy popovers.
    const std::set<Popover*> all = livePopovers();
    for (Popover* p : all)
        if (p != except && livePopovers().count(p) && p->givesWay_ && p->shown_) p->close();
}

Popover::~Popover() {
    livePopovers().erase(this);
    fade_.stop();
    shown_ = false;
    unwatchAnchor();
    if (content_) {
        content_->hide();
        content_->setParent(nullptr);
    }
    if (window_) {
        hidingWindow_ = true;
        delete window_.data();
    }
}

QWidget* Popover::makeWindow(bool translucent) {
    auto* w = new PopoverWindow(*this);
    w->translucent = translucent;
    w->setAttribute(Qt::WA_TranslucentBackground, translucent);
    return w;
}

QWidget* Popover::window() const { return window_; }

RectEdge Popover::arrowEdge() const { return opposite(placement_.edge); }

void Popover::setContentView(QWidget* view) {
    if (view == content_) return;
    if (content_) {
        content_->hide();
        content_->setParent(nullptr);
    }
    content_ = view;
    if (!view) return;
    if (!contentSizeSet_) {
        QSize s = view->sizeHint().isValid() ? view->sizeHint() : view->size();
        contentSize_ = MakeSize(s.width(), s.height());
    }
    view->setParent(window_);
    view->show();
    if (shown_) layoutWindow();
}

void Popover::setContentSize(const Size& size) {
    contentSize_ = MakeSize(std::max(0.0, finiteOrZero(size.width)), std::max(0.0, finiteOrZero(size.height)));
    contentSizeSet_ = true;
    if (shown_) layoutWindow();
}

void Popover::setBehavior(PopoverBehavior behavior) {
    if (behavior < NSPopoverBehaviorApplicationDefined || behavior > NSPopoverBehaviorSemitransient) {
        log("popover: unknown behaviour ", int(behavior), "; application-defined used");
        behavior = NSPopoverBehaviorApplicationDefined;
    }
    if (behavior == behavior_) return;
    behavior_ = behavior;
    if (!shown_) return;
    // A shown popover changes its window in place (a pop-up lets the pointer go).
    if (anchor_) watchAnchor(anchor_);
    bool visible = window_ && window_->isVisible();
    configureWindow();
    layoutWindow();
    if (visible) {
        window_->show();
        window_->raise();
    }
}

void Popover::setTakesKeyboardFocus(bool takes) {
    if (takes == takesKeyboardFocus_) return;
    takesKeyboardFocus_ = takes;
    if (!shown_) return;
    bool visible = window_ && window_->isVisible();
    configureWindow();
    if (visible) {
        window_->show();
        window_->raise();
        if (takes) focusContent();
    }
}

void Popover::configureWindow() {
    bool wantTranslucent = desktop::compositingManagerRunning();
    if (!window_ || (wantTranslucent != translucent_ && !window_->isVisible())) {
        // The alpha channel is chosen when the native window is made: make a new window.
        QPointer<QWidget> old = window_;
        translucent_ = wantTranslucent;
        window_ = makeWindow(translucent_);
        if (content_) {
            content_->setParent(window_);
            content_->show();
        }
        if (old) {
            hidingWindow_ = true;
            delete old.data();
            hidingWindow_ = false;
        }
    }
    Qt::WindowFlags flags;
    if (behavior_ == NSPopoverBehaviorTransient)
        flags = Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint;
    else if (takesKeyboardFocus_)
        flags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint;
    else
        flags = Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint;
    if (window_->windowFlags() != flags) {
        hidingWindow_ = true;
        window_->setWindowFlags(flags);  // hides the window
        hidingWindow_ = false;
    }
    window_->setAttribute(Qt::WA_ShowWithoutActivating,
                          !(takesKeyboardFocus_ && behavior_ != NSPopoverBehaviorTransient));
}

Rect Popover::screenBoundsForRect(const Rect& anchor) {
    auto screens = Screen::screens();
    ScreenPtr chosen;
    Point middle = MakePoint(MidX(anchor), MidY(anchor));
    for (auto& s : screens) {
        if (RectContainsPoint(s->frame(), middle)) {
            chosen = s;
            break;
        }
    }
    if (!chosen) {
        double best = 0.0;
        for (auto& s : screens) {
            Rect i = RectIntersection(s->frame(), anchor);
            double area = RectIsNull(i) ? 0.0 : i.size.width * i.size.height;
            if (area > best) {
                best = area;
                chosen = s;
            }
        }
    }
    if (!chosen) chosen = Screen::mainScreen();
    if (!chosen) return RectNull;
    Rect visible = chosen->visibleFrame();
    return RectIsEmpty(visible) ? chosen->frame() : visible;
}

PopoverPlacement Popover::placement(const Rect& anchorIn, const Size& contentSize, RectEdge preferred,
                                    const Rect& bounds) {
    Rect anchor = RectStandardize(anchorIn);
    if (preferred < NSRectEdgeMinX || preferred > NSRectEdgeMaxY) preferred = NSRectEdgeMinY;
    const double cw = std::ceil(std::max(0.0, finiteOrZero(contentSize.width)));
    const double ch = std::ceil(std::max(0.0, finiteOrZero(contentSize.height)));
    auto frameSize = [&](RectEdge e) { return isXEdge(e) ? MakeSize(cw + kArrowLength, ch) : MakeSize(cw, ch + kArrowLength); };
    auto need = [&](RectEdge e) { return isXEdge(e) ? frameSize(e).width : frameSize(e).height; };
    auto room = [&](RectEdge e) {
        switch (e) {
        case NSRectEdgeMinX: return MinX(anchor) - MinX(bounds);
        case NSRectEdgeMaxX: return MaxX(bounds) - MaxX(anchor);
        case NSRectEdgeMinY: return MinY(anchor) - MinY(bounds);
        case NSRectEdgeMaxY: return MaxY(bounds) - MaxY(anchor);
        }
        return 0.0;
    };

    const bool bounded = !RectIsNull(bounds);
    RectEdge edge = preferred;
    bool fits = true;
    if (bounded && room(preferred) < need(preferred)) {
        // The opposite edge first, then the other axis (the roomier side first).
        RectEdge across1 = isXEdge(preferred) ? NSRectEdgeMinY : NSRectEdgeMinX;
        RectEdge across2 = opposite(across1);
        if (room(across2) > room(across1)) std::swap(across1, across2);
        std::array<RectEdge, 4> candidates{preferred, opposite(preferred), across1, across2};
        fits = false;
        for (RectEdge e : candidates) {
            if (room(e) >= need(e)) {
                edge = e;
                fits = true;
                break;
            }
        }
        if (!fits) {
            // Nowhere fits: the side that lacks least, kept on the screen.
            double best = -std::numeric_limits<double>::infinity();
            for (RectEdge e : candidates) {
                double slack = room(e) - need(e);
                if (slack > best) {
                    best = slack;
                    edge = e;
                }
            }
        }
    }

    Size size = frameSize(edge);
    Rect frame;
    frame.size = size;
    switch (edge) {
    case NSRectEdgeMinX: frame.origin = MakePoint(MinX(anchor) - size.width, MidY(anchor) - size.height / 2); break;
    case NSRectEdgeMaxX: frame.origin = MakePoint(MaxX(anchor), MidY(anchor) - size.height / 2); break;
    case NSRectEdgeMinY: frame.origin = MakePoint(MidX(anchor) - size.width / 2, MinY(anchor) - size.height); break;
    case NSRectEdgeMaxY: frame.origin = MakePoint(MidX(anchor) - size.width / 2, MaxY(anchor)); break;
    }
    if (bounded) {
        // Along the edge always; across it only when no side had room.
        if (!isXEdge(edge) || !fits)
            frame.origin.x = clampInto(frame.origin.x, size.width, MinX(bounds), MaxX(bounds), false);
        if (isXEdge(edge) || !fits)
            frame.origin.y = clampInto(frame.origin.y, size.height, MinY(bounds), MaxY(bounds), true);
    }
    frame.origin = MakePoint(std::round(finiteOrZero(frame.origin.x)), std::round(finiteOrZero(frame.origin.y)));

    PopoverPlacement p;
    p.frame = frame;
    p.edge = edge;
    // The arrow points at the anchor's middle, clear of the rounded corners.
    double extent = isXEdge(edge) ? size.height : size.width;
    double target = isXEdge(edge) ? MidY(anchor) - frame.origin.y : MidX(anchor) - frame.origin.x;
    double lo = kCornerRadius + kArrowWidth / 2, hi = extent - kCornerRadius - kArrowWidth / 2;
    p.arrowPosition = lo <= hi ? std::clamp(finiteOrZero(target), lo, hi) : extent / 2;
    return p;
}

void Popover::layoutWindow() {
    if (!window_) return;
    Rect anchor = placement_.frame;  // without a view the popover stays where it is
    if (anchor_) {
        QPoint topLeft = anchor_->mapToGlobal(QPoint(0, 0));
        Rect r = RectStandardize(positioningRect_);
        QRect global(int(std::lround(topLeft.x() + finiteOrZero(r.origin.x))),
                     int(std::lround(topLeft.y() + finiteOrZero(r.origin.y))), int(std::lround(finiteOrZero(r.size.width))),
                     int(std::lround(finiteOrZero(r.size.height))));
        anchor = WindowGeometry::platformRectFromQt(global);
    }
    placement_ = placement(anchor, contentSize_, preferredEdge_, screenBoundsForRect(anchor));

    auto* w = asPopoverWindow(window_);
    w->arrowSide = opposite(placement_.edge);
    w->arrowAt = isXEdge(placement_.edge) ? placement_.frame.size.height - placement_.arrowPosition
                                          : placement_.arrowPosition;
    w->setGeometry(WindowGeometry::qtRectFromPlatform(placement_.frame));
    QSize content(int(std::ceil(contentSize_.width)), int(std::ceil(contentSize_.height)));
    if (content_) content_->setGeometry(w->contentRect(content));
    w->updateShape();
    w->update();
}

void Popover::showRelativeToRect(const Rect& positioningRect, QWidget* positioningView, RectEdge preferredEdge) {
    if (!positioningView) {
        log("popover: no positioning view; not shown");
        return;
    }
    if (!positioningView->window()->isVisible()) {
        log("popover: the positioning view is in no shown window; not shown");
        return;
    }
    if (closing_) return;
    if (givesWay_ && somethingToGiveWayTo(this)) {
        close();
        return;
    }
    if (!givesWay_) closeThoseGivingWay(this);
    if (preferredEdge < NSRectEdgeMinX || preferredEdge > NSRectEdgeMaxY) {
        log("popover: unknown edge ", int(preferredEdge), "; the bottom edge used");
        preferredEdge = NSRectEdgeMinY;
    }
    const bool wasShown = shown_;
    auto delegate = delegate_.lock();
    if (!wasShown && delegate) delegate->popoverWillShow(*this);

    positioningRect_ = positioningRect;
    preferredEdge_ = preferredEdge;
    watchAnchor(positioningView);
    configureWindow();
    layoutWindow();
    shown_ = true;

    const bool fade = !wasShown && animates_ && translucent_;
    fade_.stop();
    window_->setWindowOpacity(fade ? 0.0 : 1.0);
    window_->show();
    window_->raise();
    if (fade) {
        QPointer<QWidget> w = window_;
        fade_.start(0.0, 1.0, kFadeDuration, [w](double v) {
            if (w) w->setWindowOpacity(v);
        });
    }
    if (takesKeyboardFocus_) focusContent();
    if (!wasShown && delegate) delegate->popoverDidShow(*this);
}

void Popover::focusContent() {
    if (!content_ || !window_) return;
    if (behavior_ != NSPopoverBehaviorTransient) window_->activateWindow();
    QWidget* target = content_->focusWidget();
    if (!target) target = content_->focusProxy();
    if (!target) {
        int guard = 0;
        for (QWidget* w = content_->nextInFocusChain(); w && w != content_ && guard < 10000;
             w = w->nextInFocusChain(), ++guard) {
            if (content_->isAncestorOf(w) && w->isEnabled() && w->isVisibleTo(content_) &&
                (w->focusPolicy() & Qt::TabFocus)) {
                target = w;
                break;
            }
        }
    }
    if (!target && content_->focusPolicy() != Qt::NoFocus) target = content_;
    if (target) target->setFocus(Qt::PopupFocusReason);
}

void Popover::close() {
    if (!shown_ || closing_) return;
    closing_ = true;
    auto delegate = delegate_.lock();
    if (delegate) delegate->popoverWillClose(*this);
    fade_.stop();
    unwatchAnchor();
    if (window_) {
        hidingWindow_ = true;
        window_->hide();
        hidingWindow_ = false;
    }
    shown_ = false;
    closing_ = false;
    if (delegate) delegate->popoverDidClose(*this);
}

void Popover::performClose() {
    if (!shown_ || closing_) return;
    auto delegate = delegate_.lock();
    if (delegate && !delegate->popoverShouldClose(*this)) return;
    close();
}

void Popover::orderOut() {
    if (!window_ || !window_->isVisible()) return;
    hidingWindow_ = true;
    window_->hide();
    hidingWindow_ = false;
}

void Popover::closeFromWindow() {
    if (shown_ && !closing_) performClose();
}

void Popover::windowHidden() {
    // Hidden by someone else (Qt closing its pop-ups, the window system): that is a close.
    if (shown_ && !closing_ && !hidingWindow_) close();
}

void Popover::watchAnchor(QWidget* view) {
    if (anchor_ != view || !anchorGone_) {
        QObject::disconnect(anchorGone_);
        anchor_ = view;
        anchorGone_ = connect(view, &QObject::destroyed, this, [this] {
            anchor_ = nullptr;
            close();
        });
    }
    QWidget* w = view->window();
    if (anchorWindow_ != w) {
        if (anchorWindow_) anchorWindow_->removeEventFilter(this);
        anchorWindow_ = w;
        w->installEventFilter(this);
    }
    const bool wantApplication = behavior_ == NSPopoverBehaviorSemitransient;
    if (wantApplication != watchingApplication_) {
        if (wantApplication)
            qApp->installEventFilter(this);
        else
            qApp->removeEventFilter(this);
        watchingApplication_ = wantApplication;
    }
}

void Popover::unwatchAnchor() {
    QObject::disconnect(anchorGone_);
    anchorGone_ = {};
    if (anchorWindow_) anchorWindow_->removeEventFilter(this);
    anchorWindow_ = nullptr;
    if (watchingApplication_ && qApp) qApp->removeEventFilter(this);
    watchingApplication_ = false;
}

bool Popover::eventFilter(QObject* watched, QEvent* event) {
    if (!shown_) return false;
    if (watched == anchorWindow_ && watched && event->type() == QEvent::Hide) {
        close();
        return false;
    }
    if (watchingApplication_ && event->type() == QEvent::MouseButtonPress) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && anchorWindow_ && w->window() == anchorWindow_) performClose();
    }
    return false;
}

}  // namespace qs
