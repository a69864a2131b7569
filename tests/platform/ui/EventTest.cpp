#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleHints>
#include <QWidget>
#include <gtest/gtest.h>

#include "platform/ui/Event.h"

namespace qs {
namespace {

std::unique_ptr<QMouseEvent> makeMouse(QEvent::Type type, QPointF pos, Qt::MouseButton button,
                                       Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, quint64 ms) {
    auto e = std::make_unique<QMouseEvent>(type, pos, pos, pos, button, buttons, mods);
    e->setTimestamp(ms);
    return e;
}

TEST(EventFromQt, MouseEventsTakeTypeFlagsAndAWindowLocationWithYUp) {
    QWidget window;
    window.resize(200, 100);
    QWidget child(&window);
    child.setGeometry(20, 30, 50, 50);

    auto press = makeMouse(QEvent::MouseButtonPress, {5, 10}, Qt::LeftButton, Qt::LeftButton,
                       Qt::ShiftModifier | Qt::MetaModifier, 1000);
    Event e = Event::fromQt(*press, &child);
    EXPECT_EQ(e.type, NSEventTypeLeftMouseDown);
    EXPECT_EQ(e.modifierFlags, NSEventModifierFlagShift | NSEventModifierFlagCommand);
    EXPECT_DOUBLE_EQ(e.locationInWindow.x, 25);
    EXPECT_DOUBLE_EQ(e.locationInWindow.y, 100 - 40);
    EXPECT_DOUBLE_EQ(e.timestamp, 1.0);
    EXPECT_EQ(e.window, &window);

    auto drag = makeMouse(QEvent::MouseMove, {9, 10}, Qt::NoButton, Qt::LeftButton, Qt::AltModifier, 1010);
    EXPECT_EQ(Event::fromQt(*drag, &child).type, NSEventTypeLeftMouseDragged);
    EXPECT_EQ(Event::fromQt(*drag, &child).modifierFlags, NSEventModifierFlagOption);
    auto move = makeMouse(QEvent::MouseMove, {9, 10}, Qt::NoButton, Qt::NoButton, Qt::ControlModifier, 1010);
    EXPECT_EQ(Event::fromQt(*move, &child).type, NSEventTypeMouseMoved);
    EXPECT_EQ(Event::fromQt(*move, &child).modifierFlags, NSEventModifierFlagControl);
    auto right = makeMouse(QEvent::MouseButtonPress, {9, 10}, Qt::RightButton, Qt::RightButton, {}, 5000);
    EXPECT_EQ(Event::fromQt(*right, &child).type, NSEventTypeRightMouseDown);
    auto release = makeMouse(QEvent::MouseButtonRelease, {9, 10}, Qt::RightButton, Qt::NoButton, {}, 5010);
    EXPECT_EQ(Event::fromQt(*release, &child).type, NSEventTypeRightMouseUp);
}

TEST(EventFromQt, PressesInQuickSuccessionCountAsOneSeries) {
    QWidget view;
    const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    quint64 t = 100000;
    auto pressAt = [&](quint64 ms, QPointF pos = {10, 10}) {
        return makeMouse(QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton, {}, ms);
    };
    auto first = pressAt(t);
    EXPECT_EQ(Event::fromQt(*first, &view).clickCount, 1);
    // Asking again about the same press does not count it twice.
    EXPECT_EQ(Event::fromQt(*first, &view).clickCount, 1);
    auto second = pressAt(t + 50);
    EXPECT_EQ(Event::fromQt(*second, &view).clickCount, 2);
    auto releaseAfter = makeMouse(QEvent::MouseButtonRelease, {10, 10}, Qt::LeftButton, Qt::NoButton, {}, t + 60);
    EXPECT_EQ(Event::fromQt(*releaseAfter, &view).clickCount, 2);
    auto third = pressAt(t + 100);
    EXPECT_EQ(Event::fromQt(*third, &view).clickCount, 3);
    auto late = pressAt(t + 100 + quint64(interval) + 1);
    EXPECT_EQ(Event::fromQt(*late, &view).clickCount, 1);
    auto far = pressAt(t + 100 + quint64(interval) + 20, {60, 60});
    EXPECT_EQ(Event::fromQt(*far, &view).clickCount, 1);
}

TEST(EventFromQt, KeysGiveThePlatformCharacters) {
    auto key = [](int k, const QString& text = {}, Qt::KeyboardModifiers m = {}) {
        QKeyEvent e(QEvent::KeyPress, k, m, text);
        return Event::fromQt(e, nullptr);
    };
    EXPECT_EQ(key(Qt::Key_Left).characters, std::u16string(1, NSLeftArrowFunctionKey));
    EXPECT_EQ(key(Qt::Key_PageUp).characters, std::u16string(1, NSPageUpFunctionKey));
    EXPECT_EQ(key(Qt::Key_Backspace, "\b").characters, std::u16string(1, 127));
    EXPECT_EQ(key(Qt::Key_Enter, "\r").characters, std::u16string(1, 13));
    EXPECT_EQ(key(Qt::Key_Backtab).characters, std::u16string(1, 25));
    EXPECT_EQ(key(Qt::Key_A, "a", Qt::ControlModifier).characters, u"a");
    EXPECT_EQ(key(Qt::Key_A, "a", Qt::ControlModifier).modifierFlags, NSEventModifierFlagControl);
    EXPECT_EQ(key(Qt::Key_Shift).characters, u"");
    EXPECT_EQ(key(Qt::Key_A, "a").type, NSEventTypeKeyDown);
}

TEST(MouseInRect, EdgesCountAsThePointerIsTested) {
    Rect r = MakeRect(7, 7, 6, 6);
    EXPECT_TRUE(MouseInRect({7, 10}, r, false));
    EXPECT_FALSE(MouseInRect({13, 10}, r, false));
    EXPECT_FALSE(MouseInRect({10, 7}, r, false));
    EXPECT_TRUE(MouseInRect({10, 13}, r, false));
    EXPECT_TRUE(MouseInRect({10, 7}, r, true));
    EXPECT_FALSE(MouseInRect({10, 13}, r, true));
    EXPECT_FALSE(MouseInRect({10, 10}, MakeRect(10, 10, 0, 0), false));
}

}  // namespace
}  // namespace qs
