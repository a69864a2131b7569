// The live buttons, modifiers and keys, read back from a real X server after XTest
// presses them (Command is Super, Option is Alt).
#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/desktop/Keys.h"
#include "platform/desktop/SyntheticEvents.h"
#include "platform/x11/X11Events.h"
#include "platform/x11/XConnection.h"
#include "support/TestEnvironment.h"

namespace qs::x11 {
namespace {

class X11InputStateTest : public qs::test::IsolatedTest {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "DISPLAY is not set";
        conn = XConnection::open();
        ASSERT_TRUE(conn);
        events = std::make_unique<X11Events>(conn);
    }
    bool keyDown(const KeyMap& map, uint16_t code) { return (map[code / 8] >> (code % 8)) & 1; }

    std::shared_ptr<XConnection> conn;
    std::unique_ptr<X11Events> events;
};

TEST_F(X11InputStateTest, ModifiersAndKeysHeldAreReadFromTheServer) {
    EXPECT_EQ(events->currentKeyModifiers() & (shiftKey | optionKey | cmdKey | controlKey), 0u);
    events->postKey(kVK_ANSI_A, true, desktop::kCGEventFlagMaskShift | desktop::kCGEventFlagMaskAlternate);
    uint32_t mods = events->currentKeyModifiers();
    EXPECT_TRUE(mods & shiftKey);
    EXPECT_TRUE(mods & optionKey);
    EXPECT_FALSE(mods & cmdKey);
    EXPECT_TRUE(keyDown(events->currentKeyMap(), kVK_ANSI_A));
    EXPECT_FALSE(keyDown(events->currentKeyMap(), kVK_Space));
    events->postKey(kVK_ANSI_A, false, 0);
    EXPECT_EQ(events->currentKeyModifiers() & (shiftKey | optionKey), 0u);
    EXPECT_FALSE(keyDown(events->currentKeyMap(), kVK_ANSI_A));

    events->postKey(kVK_Space, true, desktop::kCGEventFlagMaskCommand | desktop::kCGEventFlagMaskControl);
    mods = events->currentKeyModifiers();
    EXPECT_TRUE(mods & cmdKey);
    EXPECT_TRUE(mods & controlKey);
    EXPECT_TRUE(keyDown(events->currentKeyMap(), kVK_Space));
    events->postKey(kVK_Space, false, 0);
    EXPECT_EQ(events->currentKeyModifiers() & (cmdKey | controlKey), 0u);
}

TEST_F(X11InputStateTest, ThePrimaryButtonIsReadFromTheServer) {
    EXPECT_EQ(events->currentButtonState() & 1u, 0u);
    events->postMouse(desktop::MouseEventType::LeftDown, {3, 3}, 0);
    EXPECT_EQ(events->currentButtonState() & 1u, 1u);
    events->postMouse(desktop::MouseEventType::LeftUp, {3, 3}, 0);
    EXPECT_EQ(events->currentButtonState() & 1u, 0u);
}

}  // namespace
}  // namespace qs::x11
