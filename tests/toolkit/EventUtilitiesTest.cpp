#include <QCheckBox>
#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>

#include "platform/desktop/Desktop.h"
#include "platform/sim/SimBackend.h"
#include "platform/ui/EventQueue.h"
#include "platform/ui/ViewGeometry.h"
#include "support/TestEnvironment.h"
#include "toolkit/ButtonExtensions.h"
#include "toolkit/EventUtilities.h"
#include "toolkit/KeyMapFunctions.h"

namespace qs {
namespace {

using namespace NSEvent_Utilities;

Event keyDown(std::u16string characters, uint64_t flags = 0) {
    return Event::keyEvent(NSEventTypeKeyDown, std::move(characters), flags);
}

TEST(EventQuestions, ClickCountsAlternateBetweenSingleAndDouble) {
    auto click = [](int count) { return Event::mouseEvent(NSEventTypeLeftMouseDown, {0, 0}, 0, count); };
    EXPECT_TRUE(isSingleClick(click(1)));
    EXPECT_TRUE(isSingleClick(click(3)));
    EXPECT_FALSE(isDoubleClick(click(3)));
    EXPECT_TRUE(isDoubleClick(click(2)));
    EXPECT_TRUE(isDoubleClick(click(4)));
    EXPECT_FALSE(isSingleClick(click(0)));
    EXPECT_FALSE(isDoubleClick(click(0)));
}

TEST(EventQuestions, ModifiersOfAnEvent) {
    auto with = [](uint64_t flags, int type = NSEventTypeLeftMouseDown) {
        return Event::mouseEvent(type, {0, 0}, flags);
    };
    EXPECT_TRUE(optionXOrCommandKeyDown(with(NSEventModifierFlagOption)));
    EXPECT_TRUE(optionXOrCommandKeyDown(with(NSEventModifierFlagCommand)));
    EXPECT_FALSE(optionXOrCommandKeyDown(with(NSEventModifierFlagOption | NSEventModifierFlagCommand)));
    EXPECT_FALSE(optionXOrCommandKeyDown(with(0)));
    EXPECT_TRUE(openInNewWindowEvent(with(NSEventModifierFlagCommand)));
    EXPECT_FALSE(openInNewWindowEvent(keyDown(u"n", NSEventModifierFlagCommand)));
    EXPECT_TRUE(modifierIsDown(with(NSEventModifierFlagControl)));
    EXPECT_FALSE(modifierIsDown(with(NSEventModifierFlagCapsLock | NSEventModifierFlagFunction)));
    EXPECT_TRUE(shiftKeyDown(with(NSEventModifierFlagShift)));
    EXPECT_FALSE(controlKeyDown(with(NSEventModifierFlagShift)));
}

TEST(EventQuestions, KeysAreReadFromTheFirstCharacterOnly) {
    Event none = keyDown(u"");
    for (auto test : {isUpArrowEvent, isDownArrowEvent, isLeftArrowEvent, isRightArrowEvent, isArrowEvent,
                      isHomeKeyEvent, isEndKeyEvent, isPageUpKeyEvent, isPageDownKeyEvent, isDeleteKeyEvent,
                      isReturnKeyEvent, isEscKeyEvent, isTabKeyEvent, isShiftTabKeyEvent})
        EXPECT_FALSE(test(none));
    EXPECT_TRUE(isLeftArrowEvent(keyDown(u"\xF702")));
    EXPECT_TRUE(isArrowEvent(keyDown(u"\xF702")));
    EXPECT_TRUE(isArrowEvent(keyDown(u"\xF701")));
    EXPECT_FALSE(isArrowEvent(keyDown(u"a\xF702")));
    EXPECT_TRUE(isShiftTabKeyEvent(keyDown(u"\x19")));
    EXPECT_FALSE(isTabKeyEvent(keyDown(u"\x19")));
    EXPECT_TRUE(isReturnKeyEvent(keyDown(u"\r")));
    EXPECT_TRUE(isDeleteKeyEvent(keyDown(u"\x7F")));
    EXPECT_TRUE(isPageDownKeyEvent(keyDown(u"\xF72D")));
    EXPECT_TRUE(characterIsDown(keyDown(u"q"), u'q'));
}

TEST(EventQuestions, OlderModifierBitsBecomeEventFlags) {
    EXPECT_EQ(carbonModifierFlagsToCocoaModifierFlags(0x400), 0u);
    EXPECT_EQ(carbonModifierFlagsToCocoaModifierFlags(0x200 | 0x100), 0x120000u);
    EXPECT_EQ(carbonModifierFlagsToCocoaModifierFlags(0x1000), 0x40000u);
    EXPECT_EQ(carbonModifierFlagsToCocoaModifierFlags(0x800), 0x80000u);
    EXPECT_EQ(carbonModifierFlagsToCocoaModifierFlags(0x20000), 0x800000u);
    EXPECT_EQ(carbonModifierFlagsToCocoaModifierFlags(0xFFFFFFFF), 0x9E0000u);
}

TEST(KeyMaps, BitsLogAndIntersections) {
    test::TestEnvironment env;
    KeyMap a{}, b{};
    KeyMapAddKey(a, 49);
    EXPECT_EQ(a[6], 2);
    KeyMapAddKey(b, 48);
    EXPECT_FALSE(KeyMapIntersects(a, b));
    KeyMapAddKey(b, 49);
    EXPECT_TRUE(KeyMapIntersects(a, b));
    KeyMapInvert(b);
    EXPECT_FALSE(KeyMapIntersects(a, b));
    EXPECT_EQ(b[0], 0xFF);
    KeyMapClear(b);
    EXPECT_EQ(b, KeyMap{});
    KeyMapLog(a);
    ASSERT_EQ(env.logLines().size(), 1u);
    EXPECT_EQ(env.logLines()[0], "KeyMap  00 00 00 00 00 00 02 00 00 00 00 00 00 00 00 00");
}

TEST(SwitchButtons, OnlyACheckBoxIsASwitchButton) {
    QCheckBox box;
    QPushButton push;
    QWidget plain;
    EXPECT_TRUE(NSButton_NTExtensions::isSwitchButton(&box));
    EXPECT_FALSE(NSButton_NTExtensions::isSwitchButton(&push));
    EXPECT_FALSE(NSButtonCell_NTExtensions::isSwitchButtonCell(&plain));
    EXPECT_FALSE(NSButtonCell_NTExtensions::isSwitchButtonCell(nullptr));
}

class LiveInputTest : public test::IsolatedTest {
protected:
    void SetUp() override {
        sim = sim::installSimBackend();
        queue = std::make_shared<ScriptedEventQueue>();
        EventQueue::setCurrent(queue);
    }
    void TearDown() override {
        EventQueue::setCurrent(nullptr);
        desktop::install({});
    }
    Event down(double x = 10, double y = 10) { return Event::mouseEvent(NSEventTypeLeftMouseDown, {x, y}); }
    Event dragged(double x, double y) { return Event::mouseEvent(NSEventTypeLeftMouseDragged, {x, y}); }
    Event up(double x, double y) { return Event::mouseEvent(NSEventTypeLeftMouseUp, {x, y}); }
    // An empty queue (a mouse-up that ended a test stays queued).
    void fresh() {
        queue = std::make_shared<ScriptedEventQueue>();
        EventQueue::setCurrent(queue);
    }

    sim::SimBackend sim;
    std::shared_ptr<ScriptedEventQueue> queue;
};

TEST_F(LiveInputTest, TheLiveQueriesReadTheDevicesNotAnEvent) {
    EXPECT_FALSE(shiftKeyDownNow());
    EXPECT_FALSE(isMouseButtonDown());
    sim.desktop->setKeyModifiers(shiftKey);
    EXPECT_TRUE(shiftKeyDownNow());
    EXPECT_FALSE(optionKeyDownNow());
    sim.desktop->setKeyModifiers(optionKey | cmdKey | controlKey | alphaLock);
    EXPECT_TRUE(optionKeyDownNow());
    EXPECT_TRUE(commandKeyDownNow());
    EXPECT_TRUE(controlKeyDownNow());
    EXPECT_TRUE(capsLockDownNow());
    EXPECT_FALSE(shiftKeyDownNow());
    sim.desktop->setKeyDown(kVK_Space, true);
    EXPECT_TRUE(spaceKeyDownNow());
    sim.desktop->setKeyDown(kVK_Space, false);
    EXPECT_FALSE(spaceKeyDownNow());
    // A press posted on the desktop holds the button until its release.
    sim.desktop->postMouse(desktop::MouseEventType::LeftDown, {5, 5}, 0);
    EXPECT_TRUE(isMouseButtonDown());
    sim.desktop->postMouse(desktop::MouseEventType::LeftUp, {5, 5}, 0);
    EXPECT_FALSE(isMouseButtonDown());

    // Without a desktop everything reads as up.
    desktop::install({});
    EXPECT_FALSE(optionKeyDownNow());
    EXPECT_FALSE(isMouseButtonDown());
}

TEST_F(LiveInputTest, OnlyALeftMouseDownCanStartADrag) {
    queue->post(dragged(40, 40));
    EXPECT_FALSE(isDragEvent(Event::mouseEvent(NSEventTypeRightMouseDown, {10, 10}), nullptr, 3.0));
    EXPECT_FALSE(isDragEvent(keyDown(u"a"), nullptr, 3.0));
    EXPECT_EQ(queue->requestCount(), 0u);
}

TEST_F(LiveInputTest, AMouseUpInsideTheSlopEndsTheTestAndStaysQueued) {
    queue->post(dragged(12, 10));
    queue->post(up(12, 10));
    EXPECT_FALSE(isDragEvent(down(), nullptr, 3.0));
    auto left = queue->pending();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].type, NSEventTypeLeftMouseUp);
}

TEST_F(LiveInputTest, LeavingTheSlopSquareByAFractionIsADrag) {
    queue->post(dragged(12, 10));
    queue->post(dragged(13.5, 10));
    queue->post(up(13.5, 10));
    EXPECT_TRUE(isDragEvent(down(), nullptr, 3.0));
    // The drag events were taken; the mouse-up is left for the normal handling.
    ASSERT_EQ(queue->pending().size(), 1u);

    fresh();
    queue->post(dragged(10, 6.9));
    EXPECT_TRUE(isDragEvent(down(), nullptr, 3.0));
}

TEST_F(LiveInputTest, TheSquareEdgesCountAsThePointerIsTested) {
    // x = 13 is on the right edge (out); y = 7 the bottom edge: out unflipped, in flipped.
    queue->post(dragged(13, 10));
    EXPECT_TRUE(isDragEvent(down(), nullptr, 3.0));
    QWidget view;
    queue->post(dragged(10, 7));
    queue->post(up(10, 7));
    EXPECT_FALSE(isDragEvent(down(), &view, 3.0));
    fresh();
    queue->post(dragged(10, 7));
    EXPECT_TRUE(isDragEvent(down(), nullptr, 3.0));
    // The view is asked: an unflipped view counts the bottom edge out.
    QWidget unflipped;
    ViewGeometry::setFlipped(&unflipped, false);
    fresh();
    queue->post(dragged(10, 7));
    queue->post(up(10, 7));
    EXPECT_TRUE(isDragEvent(down(), &unflipped, 3.0));
    // ... and its top edge in.
    fresh();
    queue->post(dragged(10, 13));
    queue->post(up(10, 13));
    EXPECT_FALSE(isDragEvent(down(), &unflipped, 3.0));
}

TEST_F(LiveInputTest, WithADeadlineTheTestEndsThere) {
    // A deadline already past and nothing queued: NO at once.
    EXPECT_FALSE(isDragEvent(down(), nullptr, 3.0, env.loop().now() - 1.0));
    EXPECT_DOUBLE_EQ(env.loop().now(), 0.0);
    // A drag that comes after the deadline is not waited for.
    queue->post(dragged(30, 30), 5.0);
    EXPECT_FALSE(isDragEvent(down(), nullptr, 3.0, 1.5));
    EXPECT_NEAR(env.loop().now(), 1.5, 1e-9);
}

TEST_F(LiveInputTest, WithoutADeadlineTheTestLastsWhileTheButtonIsHeld) {
    // The button is up: one 2-second slice, then NO.
    EXPECT_FALSE(isDragEvent(down(), nullptr, 3.0));
    EXPECT_NEAR(env.loop().now(), 2.0, 1e-9);

    // Held until 5 s, then released: the test ends at the end of the slice that sees it.
    sim.desktop->setButtonState(1);
    env.loop().after(3.0, [&] { sim.desktop->setButtonState(0); });
    EXPECT_FALSE(isDragEvent(down(), nullptr, 3.0));
    EXPECT_NEAR(env.loop().now(), 6.0, 1e-9);

    // Held, and the pointer moves out after 3.2 s of stillness: a drag.
    sim.desktop->setButtonState(1);
    queue->post(dragged(11, 11), 7.0);
    queue->post(dragged(20, 10), 9.2);
    EXPECT_TRUE(isDragEvent(down(), nullptr, 3.0));
    EXPECT_NEAR(env.loop().now(), 9.2, 1e-9);
}

}  // namespace
}  // namespace qs
