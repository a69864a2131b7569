#include "platform/ui/WindowAttributes.h"

#include <QLayout>
#include <QPointer>
#include <QVBoxLayout>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "platform/ui/ValueAnimation.h"
#include "platform/ui/WindowGeometry.h"

namespace qs::WindowAttributes {

namespace {

constexpr const char* kLevel = "qs_windowLevel";
constexpr const char* kAlpha = "qs_alphaValue";
constexpr const char* kFlushDisabled = "qs_flushDisabled";

// A window's delegate, held by a child object so that it goes with the window.
class DelegateHolder : public QObject {
public:
    explicit DelegateHolder(QWidget* window) : QObject(window) {}
    QPointer<QObject> delegate;
    QPointer<QWidget> contentView;
};

DelegateHolder* holder(const QWidget* window, bool create) {
    if (!window) return nullptr;
    for (QObject* child : window->children())
        if (auto* h = dynamic_cast<DelegateHolder*>(child)) return h;
    return create ? new DelegateHolder(const_cast<QWidget*>(window)) : nullptr;
}

// A window's running resize animation, a child object so that it goes with the window.
class FrameAnimation : public QObject {
public:
    explicit FrameAnimation(QWidget* window) : QObject(window) {}
    ValueAnimation animation;
};

FrameAnimation* frameAnimation(QWidget* window, bool create) {
    for (QObject* child : window->children())
        if (auto* a = dynamic_cast<FrameAnimation*>(child)) return a;
    return create ? new FrameAnimation(window) : nullptr;
}

Rect interpolated(const Rect& from, const Rect& to, double t) {
    auto mix = [t](double a, double b) { return a + (b - a) * t; };
    return MakeRect(mix(from.origin.x, to.origin.x), mix(from.origin.y, to.origin.y),
                    mix(from.size.width, to.size.width), mix(from.size.height, to.size.height));
}

// Changing window flags hides a shown window; show it again as it was.
void setFlag(QWidget* window, Qt::WindowType flag, bool on) {
    if (window->windowFlags().testFlag(flag) == on) return;
    const bool wasVisible = window->isVisible();
    window->setWindowFlag(flag, on);
    if (wasVisible) window->show();
}

}  // namespace

int level(const QWidget* window) {
    if (!window) return NormalWindowLevel;
    QVariant v = window->property(kLevel);
    if (v.isValid()) return v.toInt();
    return window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) ? FloatingWindowLevel : NormalWindowLevel;
}

void setLevel(QWidget* window, int level) {
    if (!window) return;
    window->setProperty(kLevel, level);
    setFlag(window, Qt::WindowStaysOnTopHint, level > NormalWindowLevel);
}

unsigned styleMask(const QWidget* window) {
    if (!window) return Borderless;
    const Qt::WindowFlags flags = window->windowFlags();
    const Qt::WindowType type = window->windowType();
    if (flags.testFlag(Qt::FramelessWindowHint) || type == Qt::Popup || type == Qt::ToolTip ||
        type == Qt::SplashScreen || type == Qt::Desktop)
        return Borderless;
    const bool fixed = window->minimumSize() == window->maximumSize();
    unsigned mask = 0;
    if (!flags.testFlag(Qt::CustomizeWindowHint)) {
        mask = Titled | Closable | Miniaturizable;
    } else {
        if (flags.testFlag(Qt::WindowTitleHint)) mask |= Titled;
        if (flags.testFlag(Qt::WindowCloseButtonHint)) mask |= Closable;
        if (flags.testFlag(Qt::WindowMinimizeButtonHint)) mask |= Miniaturizable;
    }
    if (!fixed) mask |= Resizable;
    return mask;
}

bool canBecomeKeyWindow(const QWidget* window) {
    if (!window || !window->isWindow()) return false;
    const Qt::WindowType type = window->windowType();
    if (type == Qt::Popup || type == Qt::ToolTip || type == Qt::SplashScreen || type == Qt::Desktop) return false;
    return !window->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus);
}

bool canBecomeMainWindow(const QWidget* window) {
    if (!canBecomeKeyWindow(window)) return false;
    const Qt::WindowType type = window->windowType();
    return type == Qt::Window || type == Qt::Dialog || type == Qt::Sheet;
}

bool isMiniaturized(const QWidget* window) { return window && window->isMinimized(); }

QObject* delegate(const QWidget* window) {
    DelegateHolder* h = holder(window, false);
    return h ? h->delegate.data() : nullptr;
}

void setDelegate(QWidget* window, QObject* delegate) {
    if (DelegateHolder* h = holder(window, true)) h->delegate = delegate;
}

double alphaValue(const QWidget* window) {
    if (!window) return 1.0;
    QVariant v = window->property(kAlpha);
    return v.isValid() ? v.toDouble() : window->windowOpacity();
}

void setAlphaValue(QWidget* window, double alpha) {
    if (!window) return;
    alpha = std::isnan(alpha) ? 0.0 : std::clamp(alpha, 0.0, 1.0);
    window->setProperty(kAlpha, alpha);
    window->setWindowOpacity(alpha);
}

void display(QWidget* window) {
    if (window && window->isVisible()) window->repaint();
}

QWidget* firstResponder(const QWidget* window) {
    if (!window) return nullptr;
    return window->focusWidget();
}

QWidget* initialFirstResponder(const QWidget* window) {
    if (!window) return nullptr;
    if (QWidget* proxy = window->focusProxy()) return proxy;
    for (QWidget* w = window->nextInFocusChain(); w && w != window; w = w->nextInFocusChain()) {
        if (w->window() != window || w->focusProxy()) continue;
        if ((w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && w->isEnabled() && w->isVisibleTo(window)) return w;
    }
    return nullptr;
}

bool makeFirstResponder(QWidget* window, QWidget* view) {
    if (!window) return false;
    if (!view) {
        if (QWidget* current = window->focusWidget()) current->clearFocus();
        return true;
    }
    if (view->window() != window || !view->isEnabled() || view->focusPolicy() == Qt::NoFocus) return false;
    view->setFocus(Qt::OtherFocusReason);
    return true;
}

void endEditingFor(QWidget* window) {
    if (QWidget* current = firstResponder(window)) current->clearFocus();
}

Rect frameRectForContentRect(const QWidget*, const Rect& content) { return content; }

Rect contentRectForFrameRect(const QWidget*, const Rect& frame) { return frame; }

double animationResizeTime(const QWidget* window, const Rect& frame) {
    if (!window) return 0.0;
    const Rect from = WindowGeometry::frame(window);
    const double moved = std::max({std::abs(MinX(frame) - MinX(from)), std::abs(MaxX(frame) - MaxX(from)),
                                   std::abs(MinY(frame) - MinY(from)), std::abs(MaxY(frame) - MaxY(from))});
    return kResizeTimePer150Points * moved / 150.0;
}

void setFrame(QWidget* window, const Rect& frame, bool display, bool animate) {
    if (!window) return;
    // A new frame ends the animation toward an earlier one where it stands.
    if (FrameAnimation* running = frameAnimation(window, false)) running->animation.stop();
    const double duration = animate && window->isVisible() ? animationResizeTime(window, frame) : 0.0;
    if (duration <= 0.0) {
        WindowGeometry::setFrame(window, frame, display);
        return;
    }
    const Rect from = WindowGeometry::frame(window);
    QPointer<QWidget> target = window;
    frameAnimation(window, true)->animation.start(0.0, 1.0, duration, [target, from, frame, display](double t) {
        if (target) WindowGeometry::setFrame(target, t >= 1.0 ? frame : interpolated(from, frame, t), display);
    });
}

bool isAnimatingFrame(const QWidget* window) {
    if (!window) return false;
    FrameAnimation* running = frameAnimation(const_cast<QWidget*>(window), false);
    return running && running->animation.isRunning();
}

void setContentView(QWidget* window, QWidget* view) {
    if (!window) return;
    DelegateHolder* h = holder(window, true);
    auto* layout = qobject_cast<QVBoxLayout*>(window->layout());
    if (!layout && !window->layout()) {
        layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }
    if (h->contentView && h->contentView != view) {
        if (layout) layout->removeWidget(h->contentView);
        // It stays the window's child (Qt ownership) until its owner reparents it.
        h->contentView->hide();
    }
    h->contentView = view;
    if (!view) return;
    if (layout) {
        layout->addWidget(view);
    } else {
        view->setParent(window);
        view->setGeometry(window->rect());
    }
    view->show();
}

QWidget* contentView(const QWidget* window) {
    DelegateHolder* h = holder(window, false);
    return h ? h->contentView.data() : nullptr;
}

Point cascadeTopLeftFromPoint(const QWidget*, const Point& topLeft) { return {topLeft.x + 20.0, topLeft.y - 20.0}; }

void disableFlushWindow(QWidget* window) {
    if (window) window->setProperty(kFlushDisabled, window->property(kFlushDisabled).toInt() + 1);
}

void enableFlushWindow(QWidget* window) {
    if (window) window->setProperty(kFlushDisabled, std::max(0, window->property(kFlushDisabled).toInt() - 1));
}

bool isFlushWindowDisabled(const QWidget* window) {
    return window && window->property(kFlushDisabled).toInt() > 0;
}

}  // namespace qs::WindowAttributes
