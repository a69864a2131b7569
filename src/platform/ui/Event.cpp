#include "platform/ui/Event.h"

#include <cmath>
#include <mutex>

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleHints>
#include <QWheelEvent>
#include <QWidget>

namespace qs {

namespace {

uint64_t flagsOf(Qt::KeyboardModifiers m) {
    uint64_t flags = 0;
    if (m & Qt::ShiftModifier) flags |= NSEventModifierFlagShift;
    if (m & Qt::ControlModifier) flags |= NSEventModifierFlagControl;
    if (m & Qt::AltModifier) flags |= NSEventModifierFlagOption;
    if (m & Qt::MetaModifier) flags |= NSEventModifierFlagCommand;  // Super
    return flags;
}

// The series of presses that make up multiple clicks.
struct ClickSeries {
    std::mutex mutex;
    Qt::MouseButton button = Qt::NoButton;
    quint64 timestamp = 0;
    QPointF position;
    int count = 0;
};

ClickSeries& series() {
    static ClickSeries s;
    return s;
}

int countPress(const QMouseEvent& e) {
    auto& s = series();
    std::lock_guard lock(s.mutex);
    const QPointF pos = e.globalPosition();
    if (s.count > 0 && e.button() == s.button && e.timestamp() == s.timestamp && pos == s.position) return s.count;
    int interval = 400, distance = 4;
    if (QGuiApplication::instance()) {
        interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
        distance = QGuiApplication::styleHints()->mouseDoubleClickDistance();
    }
    const bool continues = s.count > 0 && e.button() == s.button && e.timestamp() >= s.timestamp &&
                           e.timestamp() - s.timestamp <= quint64(interval) &&
                           (pos - s.position).manhattanLength() <= distance;
    s.count = continues ? s.count + 1 : 1;
    s.button = e.button();
    s.timestamp = e.timestamp();
    s.position = pos;
    return s.count;
}

int currentCount(Qt::MouseButton button) {
    auto& s = series();
    std::lock_guard lock(s.mutex);
    return s.button == button ? s.count : 0;
}

Point windowLocation(const QPointF& local, const QWidget* view, QWidget** window) {
    if (!view) return {local.x(), local.y()};
    QWidget* top = view->window();
    *window = top;
    QPointF p = view->mapTo(top, local);
    return {p.x(), double(top->height()) - p.y()};
}

}  // namespace

Event Event::fromQt(const QEvent& event, const QWidget* view) {
    Event out;
    switch (event.type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove: {
            const auto& e = static_cast<const QMouseEvent&>(event);
            out.modifierFlags = flagsOf(e.modifiers());
            out.timestamp = double(e.timestamp()) / 1000.0;
            out.locationInWindow = windowLocation(e.position(), view, &out.window);
            const bool press = event.type() != QEvent::MouseButtonRelease && event.type() != QEvent::MouseMove;
            if (event.type() == QEvent::MouseMove) {
                if (e.buttons() & Qt::LeftButton) {
                    out.type = NSEventTypeLeftMouseDragged;
                    out.clickCount = currentCount(Qt::LeftButton);
                } else if (e.buttons() & Qt::RightButton) {
                    out.type = NSEventTypeRightMouseDragged;
                    out.clickCount = currentCount(Qt::RightButton);
                } else if (e.buttons() != Qt::NoButton) {
                    out.type = NSEventTypeOtherMouseDragged;
                } else {
                    out.type = NSEventTypeMouseMoved;
                }
                break;
            }
            switch (e.button()) {
                case Qt::LeftButton: out.type = press ? NSEventTypeLeftMouseDown : NSEventTypeLeftMouseUp; break;
                case Qt::RightButton: out.type = press ? NSEventTypeRightMouseDown : NSEventTypeRightMouseUp; break;
                default: out.type = press ? NSEventTypeOtherMouseDown : NSEventTypeOtherMouseUp; break;
            }
            out.clickCount = press ? countPress(e) : currentCount(e.button());
            break;
        }
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            const auto& e = static_cast<const QKeyEvent&>(event);
            out.type = event.type() == QEvent::KeyPress ? NSEventTypeKeyDown : NSEventTypeKeyUp;
            out.modifierFlags = flagsOf(e.modifiers());
            out.timestamp = double(e.timestamp()) / 1000.0;
            out.characters = charactersForQtKey(e.key(), e.text().toStdU16String());
            if (view) out.window = view->window();
            break;
        }
        case QEvent::Wheel: {
            const auto& e = static_cast<const QWheelEvent&>(event);
            out.type = NSEventTypeScrollWheel;
            out.modifierFlags = flagsOf(e.modifiers());
            out.timestamp = double(e.timestamp()) / 1000.0;
            out.locationInWindow = windowLocation(e.position(), view, &out.window);
            break;
        }
        default: break;
    }
    return out;
}

Event Event::mouseEvent(int type, const Point& locationInWindow, uint64_t modifierFlags, int clickCount,
                        double timestamp) {
    Event e;
    e.type = type;
    e.locationInWindow = locationInWindow;
    e.modifierFlags = modifierFlags;
    e.clickCount = clickCount;
    e.timestamp = timestamp;
    return e;
}

Event Event::keyEvent(int type, std::u16string characters, uint64_t modifierFlags, double timestamp) {
    Event e;
    e.type = type;
    e.characters = std::move(characters);
    e.modifierFlags = modifierFlags;
    e.timestamp = timestamp;
    return e;
}

bool MouseInRect(const Point& point, const Rect& rect, bool flipped) {
    if (RectIsEmpty(rect)) return false;
    if (point.x < MinX(rect) || point.x >= MaxX(rect)) return false;
    if (flipped) return point.y >= MinY(rect) && point.y < MaxY(rect);
    return point.y > MinY(rect) && point.y <= MaxY(rect);
}

std::u16string charactersForQtKey(int key, const std::u16string& text) {
    switch (key) {
        case Qt::Key_Up: return {NSUpArrowFunctionKey};
        case Qt::Key_Down: return {NSDownArrowFunctionKey};
        case Qt::Key_Left: return {NSLeftArrowFunctionKey};
        case Qt::Key_Right: return {NSRightArrowFunctionKey};
        case Qt::Key_Home: return {NSHomeFunctionKey};
        case Qt::Key_End: return {NSEndFunctionKey};
        case Qt::Key_PageUp: return {NSPageUpFunctionKey};
        case Qt::Key_PageDown: return {NSPageDownFunctionKey};
        case Qt::Key_Delete: return {NSDeleteFunctionKey};
        case Qt::Key_Backspace: return {char16_t(127)};
        case Qt::Key_Return:
        case Qt::Key_Enter: return {char16_t(13)};
        case Qt::Key_Escape: return {char16_t(27)};
        case Qt::Key_Tab: return {char16_t(9)};
        case Qt::Key_Backtab: return {char16_t(25)};
        default: return text;
    }
}

}  // namespace qs
