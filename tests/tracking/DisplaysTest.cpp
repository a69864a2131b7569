// The current display: the choice among displays with brightness control, the stored
// "currentDisplay", and reconfigurations.
#include <gtest/gtest.h>

#include "platform/foundation/UserDefaults.h"
#include "tracking/Displays.h"
#include "tracking/TrackingFixture.h"

namespace qs::test {
namespace {

using Display = sim::SimDisplays::Display;

class DisplaysTest : public TrackingTest {
protected:
    void SetUp() override {
        TrackingTest::SetUp();
        Displays::resetSharedInstanceForTesting();
    }
    void TearDown() override { Displays::resetSharedInstanceForTesting(); }
    static Display withBrightness(uint32_t id, float b = 0.5f) { return {id, true, b, std::nullopt}; }
    static Display external(uint32_t id) { return {id, true, std::nullopt, std::string("External")}; }
    UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }
    Value stored() { return defaults().objectForKey("currentDisplay"); }
};

TEST_F(DisplaysTest, TheOnlyConfigurableDisplayIsChosenAndStoredWhenAbsent) {
    backend.displays->setDisplays({external(3), withBrightness(5)});
    auto d = Displays::sharedInstance();
    EXPECT_EQ(d->currentDisplay(), 5u);
    EXPECT_EQ(d->valueForKey("currentDisplay"), Value(5));
    EXPECT_EQ(stored(), Value(5));
    // Read back from the file.
    UserDefaults::resetForTesting();
    EXPECT_EQ(stored(), Value(5));
}

TEST_F(DisplaysTest, TheStoredDisplayWinsWhileItIsConfigurableAndIsNeverOverwritten) {
    defaults().setInteger(7, "currentDisplay");
    backend.displays->setDisplays({withBrightness(5), withBrightness(7)});
    auto d = Displays::sharedInstance();
    EXPECT_EQ(d->currentDisplay(), 7u);

    // The stored display is unplugged: the first remaining one, the stored value stays.
    backend.displays->setDisplays({withBrightness(5)});
    backend.displays->fireReconfigure(7, 2);
    EXPECT_EQ(d->currentDisplay(), 5u);
    EXPECT_EQ(stored(), Value(7));

    backend.displays->setDisplays({withBrightness(9), withBrightness(5)});
    backend.displays->fireReconfigure();
    EXPECT_EQ(d->currentDisplay(), 9u);  // stored 7 absent: the first
    backend.displays->setDisplays({withBrightness(5), withBrightness(7)});
    backend.displays->fireReconfigure();
    EXPECT_EQ(d->currentDisplay(), 7u);
    EXPECT_EQ(stored(), Value(7));
}

TEST_F(DisplaysTest, WithoutBrightnessControlNothingIsChosenOrWritten) {
    backend.displays->setDisplays({external(3), external(4)});
    auto d = Displays::sharedInstance();
    EXPECT_EQ(d->currentDisplay(), std::nullopt);
    EXPECT_TRUE(d->valueForKey("currentDisplay").isNil());
    EXPECT_TRUE(stored().isNil());

    // A choice once made stays when the configurable displays go away.
    backend.displays->setDisplays({withBrightness(5)});
    backend.displays->fireReconfigure();
    EXPECT_EQ(d->currentDisplay(), 5u);
    backend.displays->setDisplays({external(3)});
    backend.displays->fireReconfigure();
    EXPECT_EQ(d->currentDisplay(), 5u);
    backend.displays->setListFails(true);
    backend.displays->fireReconfigure();
    EXPECT_EQ(d->currentDisplay(), 5u);
    EXPECT_TRUE(Displays::displays().empty());
}

TEST_F(DisplaysTest, ClassQueriesOfValidAndInvalidDisplays) {
    Display off{6, false, 0.3f, std::string("Off")};  // no mode: not valid
    Display panel{5, true, 0.25f, std::string("Built-in Panel")};
    backend.displays->setDisplays({off, panel, external(3)});
    EXPECT_EQ(Displays::displays(), (std::vector<desktop::DisplayID>{5, 3}));
    EXPECT_EQ(Displays::configurableDisplays(), (std::vector<desktop::DisplayID>{5}));
    EXPECT_FALSE(Displays::validDisplay(6));
    EXPECT_FALSE(Displays::validDisplay(99));
    EXPECT_EQ(Displays::displayName(5), "Built-in Panel");
    EXPECT_EQ(Displays::displayName(99), std::nullopt);
    EXPECT_FLOAT_EQ(Displays::getBrightness(5), 0.25f);
    EXPECT_FLOAT_EQ(Displays::getBrightness(6), -1.0f);   // invalid
    EXPECT_FLOAT_EQ(Displays::getBrightness(3), -1.0f);   // no control
    EXPECT_FLOAT_EQ(Displays::getBrightness(99), -1.0f);
    EXPECT_TRUE(Displays::setBrightness(0.75f, 5));
    EXPECT_FLOAT_EQ(Displays::getBrightness(5), 0.75f);
    EXPECT_FALSE(Displays::setBrightness(0.5f, 6));
    EXPECT_FALSE(Displays::setBrightness(0.5f, 3));
}

TEST_F(DisplaysTest, TheCallbackGoesWithTheInstanceAndTheDockManagerKeepsIt) {
    backend.displays->setDisplays({withBrightness(5)});
    EXPECT_EQ(backend.displays->callbackCount(), 0u);
    auto d = Displays::sharedInstance();
    EXPECT_EQ(Displays::sharedInstance(), d);
    EXPECT_EQ(backend.displays->callbackCount(), 1u);
    d.reset();
    Displays::resetSharedInstanceForTesting();
    EXPECT_EQ(backend.displays->callbackCount(), 0u);
    backend.displays->fireReconfigure();  // nobody left to call

    desktop::services().displays.reset();  // no display service at all
    auto none = Displays::sharedInstance();
    EXPECT_EQ(none->currentDisplay(), std::nullopt);
    EXPECT_TRUE(Displays::displays().empty());
    EXPECT_FLOAT_EQ(Displays::getBrightness(5), -1.0f);
}

}  // namespace
}  // namespace qs::test
