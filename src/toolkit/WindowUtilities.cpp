#include "toolkit/WindowUtilities.h"

#include <QApplication>
#include <QMenu>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <cmath>
#include <map>

#include "platform/desktop/Screen.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/AppWindows.h"
#include "platform/ui/ViewGeometry.h"
#include "platform/ui/WindowAttributes.h"
#include "platform/ui/WindowGeometry.h"

namespace qs {

std::shared_ptr<WindowObject> windowObject(QWidget* window) {
    if (!window) return nullptr;
    static std::map<const QWidget*, std::weak_ptr<WindowObject>> objects;
    for (auto it = objects.begin(); it != objects.end();) {
        auto object = it->second.lock();
        if (!object || !object->window())
            it = objects.erase(it);
        else
            ++it;
    }
    auto it = objects.find(window);
    if (it != objects.end())
        if (auto object = it->second.lock()) return object;
    auto object = std::make_shared<WindowObject>(window);
    objects[window] = object;
    return object;
}

namespace NSWindow_Utilities {

namespace {

bool delegateIsKindOf(const QWidget* window, const char* className) {
    QObject* delegate = WindowAttributes::delegate(window);
    return delegate && className && delegate->inherits(className);
}

const char* exactClassName(const QObject* object) { return object ? object->metaObject()->className() : nullptr; }

bool sameClassName(const char* a, const char* b) {
    if (!a || !b) return a == b;
    return std::strcmp(a, b) == 0;
}

bool titledOrClosable(const QWidget* window) {
    return (WindowAttributes::styleMask(window) & (WindowAttributes::Titled | WindowAttributes::Closable)) != 0;
}

}  // namespace

std::vector<QWidget*> visibleWindows(bool ordered, const char* delegateClass) {
    const bool hidden = AppWindows::isHidden();
    std::vector<QWidget*> out;
    for (QWidget* w : ordered ? AppWindows::orderedWindows() : AppWindows::windows()) {
        if (!WindowAttributes::canBecomeKeyWindow(w)) continue;
        if (!hidden && !w->isVisible()) continue;
        if (delegateClass && !delegateIsKindOf(w, delegateClass)) continue;
        out.push_back(w);
    }
    return out;
}

std::vector<QWidget*> visibleWindows(bool ordered) { return visibleWindows(ordered, nullptr); }

bool isAnyWindowVisible() {
    for (QWidget* w : visibleWindows(false))
        if (titledOrClosable(w)) return true;
    return false;
}

bool isAnyWindowVisibleWithDelegateClass(const char* delegateClass) {
    for (QWidget* w : visibleWindows(false))
        if (delegateIsKindOf(w, delegateClass)) return true;
    return false;
}

std::vector<QWidget*> miniaturizedWindows() {
    std::vector<QWidget*> out;
    for (QWidget* w : AppWindows::windows())
        if (WindowAttributes::canBecomeKeyWindow(w) && WindowAttributes::isMiniaturized(w) && titledOrClosable(w))
            out.push_back(w);
    return out;
}

void cascadeWindow(QWidget* window) {
    if (!window) return;
    const char* delegateClass = exactClassName(WindowAttributes::delegate(window));
    for (QWidget* other : visibleWindows(true)) {
        if (other == window) continue;
        if (!sameClassName(exactClassName(other), exactClassName(window))) continue;
        if (!sameClassName(exactClassName(WindowAttributes::delegate(other)), delegateClass)) continue;
        const Rect o = WindowGeometry::frame(other);
        const Point topLeft =
            WindowAttributes::cascadeTopLeftFromPoint(window, {o.origin.x, o.origin.y + o.size.height});
        WindowAttributes::setFrame(window, MakeRect(topLeft.x, topLeft.y - o.size.height, o.size.width, o.size.height),
                                   false, false);
        return;
    }
}

bool windowRectIsOnScreen(const Rect& rect) {
    for (auto& screen : Screen::screens())
        if (!RectIsEmpty(screen->visibleFrame()) && RectIntersectsRect(rect, screen->frame())) return true;
    return false;
}

const char* drawerWindowClass() { return nullptr; }

QWidget* topWindowWithDelegateClass(QWidget*, const char* delegateClass) {
    for (QWidget* w : visibleWindows(true))
        if (delegateIsKindOf(w, delegateClass)) return w;
    return nullptr;
}

void setFloating(QWidget* window, bool floating) {
    WindowAttributes::setLevel(window, floating ? WindowAttributes::FloatingWindowLevel
                                                : WindowAttributes::NormalWindowLevel);
}

bool isFloating(const QWidget* window) {
    return WindowAttributes::level(window) == WindowAttributes::FloatingWindowLevel;
}

bool isBorderless(const QWidget* window) { return WindowAttributes::styleMask(window) == WindowAttributes::Borderless; }

bool isMetallic(QWidget* window) {
    return (WindowAttributes::styleMask(parentWindowIfDrawerWindow(window)) & WindowAttributes::TexturedBackground) != 0;
}

QWidget* parentWindowIfDrawerWindow(QWidget* window) {
    // A drawer's window would answer its parent; every window here is its own.
    return isDrawerWindow(window) ? drawersParentWindow(window) : window;
}

bool isDrawerWindow(const QWidget* window) {
    const char* drawerClass = drawerWindowClass();
    return window && drawerClass && window->inherits(drawerClass);
}

QWidget* drawersParentWindow(QWidget* window) {
    if (!isDrawerWindow(window)) return nullptr;
    QWidget* parent = window->parentWidget();
    return parent ? parent->window() : nullptr;
}

bool keyWindowIsMenu(const QWidget*) {
    QWidget* popup = QApplication::activePopupWidget();
    return popup && popup->inherits("QMenu");
}

bool dimControls(QWidget* window) {
    if (isFloating(window)) return false;
    return parentWindowIfDrawerWindow(window) != AppWindows::mainWindow();
}

bool dimControlsKey(QWidget* window) {
    if (keyWindowIsMenu(window)) return dimControls(window);
    if (isFloating(window)) return false;
    return parentWindowIfDrawerWindow(window) != AppWindows::keyWindow();
}

void setDefaultFirstResponder(QWidget* window) {
    NotificationCenter::defaultCenter().postNotificationName("NTSetDefaultFirstResponderNotification",
                                                             Value(windowObject(window)));
}

void flushActiveTextFields(QWidget* window) {
    QWidget* responder = WindowAttributes::firstResponder(window);
    if (!responder) return;
    WindowAttributes::makeFirstResponder(window, nullptr);
    WindowAttributes::makeFirstResponder(window, responder);
}

Rect windowFrameForContentSize(QWidget* window, const Size& size) {
    const Rect current = WindowGeometry::frame(window);
    const Size frameSize = WindowAttributes::frameRectForContentRect(window, MakeRect(0, 0, size.width, size.height)).size;
    return MakeRect(current.origin.x, current.origin.y + (current.size.height - frameSize.height), frameSize.width,
                    frameSize.height);
}

Rect resizeWindowToContentSize(QWidget* window, const Size& size, bool display) {
    if (!window) return RectZero;
    const Rect frame = windowFrameForContentSize(window, size);
    WindowAttributes::setFrame(window, frame, display, true);
    return frame;
}

Rect setContentViewAndResizeWindow(QWidget* window, QWidget* view, bool display) {
    if (!window) return RectZero;
    const Rect bounds = view ? ViewGeometry::bounds(view) : RectZero;
    const Rect frame = windowFrameForContentSize(window, bounds.size);
    WindowAttributes::setContentView(window, view);
    WindowAttributes::setFrame(window, frame, display, true);
    return frame;
}

QWidget* copyWithZone(QWidget* window) { return window; }

void wendle_forceEndEditingForView(QWidget* window, QWidget* view) {
    if (!WindowAttributes::makeFirstResponder(window, view)) WindowAttributes::endEditingFor(window);
}

void wendle_fadeTo(QWidget* window, double percent) {
    if (!window) return;
    // A percent that is not a number counts as none.
    const double p = std::isnan(percent) ? 0.0 : std::clamp(percent, 0.0, 100.0);
    WindowAttributes::setAlphaValue(window, p / 100.0);
    WindowAttributes::display(window);
}

void wendle_fadeIn(QWidget* window, bool fadeIn, double interval) { wendle_fadeIn(window, fadeIn, interval, {}); }

void wendle_fadeIn(QWidget* window, bool fadeIn, double interval, const std::function<void()>& callback) {
    if (!window) return;
    // No interval (or none that is a number): straight to the end.
    if (interval > 0) {
        const auto start = std::chrono::steady_clock::now();
        double elapsed;
        do {
            elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const double p = elapsed * 100.0 / interval;
            wendle_fadeTo(window, fadeIn ? p : 100.0 - p);
            if (callback) callback();
        } while (elapsed < interval);
    }
    wendle_fadeTo(window, fadeIn ? 100.0 : 0.0);
}

void wendle_setFrameSoView(QWidget* window, QWidget* view, const Size& size, bool centre) {
    if (!window || !view) return;
    const double dw = size.width - view->width(), dh = size.height - view->height();
    Rect content = WindowAttributes::contentRectForFrameRect(window, WindowGeometry::frame(window));
    content.size.width += dw;
    content.size.height += dh;
    if (centre) content.origin.x -= dw * 0.5;
    content.origin.y -= dh;
    WindowAttributes::setFrame(window, WindowAttributes::frameRectForContentRect(window, content), true,
                               window->isVisible());
}

}  // namespace NSWindow_Utilities

}  // namespace qs
