#include <cmath>

#include <gmock/gmock.h>

#include "tracking/SIAccessibilityElement.h"
#include "tracking/SIWindow.h"
#include "tracking/TrackingFixture.h"

namespace qs {
namespace {

using desktop::AXElement;
using test::TrackingTest;

class ElementTest : public TrackingTest {
protected:
    void SetUp() override {
        TrackingTest::SetUp();
        app = desk->addApplication(0, "Editor");
        number = desk->addWindow(app->processIdentifier(), "notes.txt", MakeRect(100, 100, 400, 300));
        window = SIWindow::initWithAXElement(AXElement::windowOf(app->processIdentifier(), number));
        desk->clearRecords();
    }

    // Position and size writes, in order, as "P x,y" and "S w,h".
    std::vector<std::string> frameWrites() {
        std::vector<std::string> out;
        for (auto& w : desk->writes()) {
            if (auto* p = std::get_if<Point>(&w.value))
                out.push_back("P " + std::to_string(int(p->x)) + "," + std::to_string(int(p->y)));
            else if (auto* s = std::get_if<Size>(&w.value))
                out.push_back("S " + std::to_string(int(s->width)) + "," + std::to_string(int(s->height)));
        }
        return out;
    }

    RunningApplicationPtr app;
    desktop::WindowNumber number = 0;
    std::shared_ptr<SIWindow> window;
};

TEST_F(ElementTest, SetFrameSkipsSizeChangesBelowTheThreshold) {
    EXPECT_TRUE(window->setFrame(MakeRect(100, 100, 400, 300)));
    EXPECT_TRUE(window->setFrame(MakeRect(100, 100, 410, 300)));
    EXPECT_TRUE(window->setFrame(MakeRect(100, 100, 424.9, 324.9)));
    EXPECT_TRUE(frameWrites().empty());
    EXPECT_EQ(window->frame(), MakeRect(100, 100, 400, 300));
}

TEST_F(ElementTest, SetFrameWritesSizeAtTheThresholdAndMovesOnlyWhenTheOriginDiffers) {
    window->setFrame(MakeRect(100, 100, 425, 300));  // exactly 25 wider
    EXPECT_THAT(frameWrites(), ::testing::ElementsAre("S 425,300"));
    desk->clearRecords();
    window->setFrame(MakeRect(150, 120, 435, 300));  // moved, 10 wider: only the move
    EXPECT_THAT(frameWrites(), ::testing::ElementsAre("P 150,120"));
    EXPECT_EQ(window->frame(), MakeRect(150, 120, 425, 300));
}

TEST_F(ElementTest, SetFrameWritesTheSizeAgainWhenTheWindowRefusedIt) {
    // A window that will not grow past 420 wide: the second size write retries it.
    desk->setSizeClamp([](const sim::SimDesktop::Window&, const Size& s) {
        return MakeSize(std::min(s.width, 420.0), s.height);
    });
    window->setFrame(MakeRect(150, 120, 430, 300));
    EXPECT_THAT(frameWrites(), ::testing::ElementsAre("S 430,300", "P 150,120", "S 430,300"));

    desk->setSizeClamp(nullptr);
    desk->moveWindow(number, MakeRect(100, 100, 400, 300));
    desk->clearRecords();
    window->setFrame(MakeRect(150, 120, 430, 300));
    EXPECT_THAT(frameWrites(), ::testing::ElementsAre("S 430,300", "P 150,120"));
}

TEST_F(ElementTest, AWindowThatCannotBeResizedIsOnlyMoved) {
    desk->window(number)->resizable = false;
    window->setFrame(MakeRect(150, 120, 800, 600));
    EXPECT_THAT(frameWrites(), ::testing::ElementsAre("P 150,120"));
}

TEST_F(ElementTest, ANonFiniteFrameIsNeverWritten) {
    double nan = std::nan("");
    EXPECT_FALSE(window->setFrame(MakeRect(nan, nan, nan, nan)));
    EXPECT_FALSE(window->setFrame(MakeRect(10, 10, INFINITY, 300)));
    EXPECT_TRUE(desk->writes().empty());
}

TEST_F(ElementTest, ReadsOfAWindowThatIsGoneAnswerEmpty) {
    desk->removeWindow(number);
    EXPECT_TRUE(RectIsNull(window->frame()));
    EXPECT_FALSE(window->stringForKey("AXTitle"));
    EXPECT_TRUE(window->numberForKey("AXMinimized").isNil());
    EXPECT_FALSE(window->isResizable());
    EXPECT_FALSE(window->isMovable());
    EXPECT_EQ(window->elementForKey("AXCloseButton"), nullptr);
    // The process still runs, so the owner is still known.
    EXPECT_EQ(window->processIdentifier(), app->processIdentifier());
    desk->terminateApplication(app->processIdentifier());
    EXPECT_EQ(window->processIdentifier(), -1);
}

TEST_F(ElementTest, FrameIsNullWhenTheSizeCannotBeDecoded) {
    desk->window(number)->extraAttributes["AXSize"] = desktop::AXValue(std::string("wide"));
    EXPECT_TRUE(RectIsNull(window->frame()));
}

TEST_F(ElementTest, EqualityIsOneSidedBetweenPlainElementsAndWindows) {
    auto element = AXElement::windowOf(app->processIdentifier(), number);
    auto plain = SIAccessibilityElement::initWithAXElement(element);
    auto again = SIAccessibilityElement::initWithAXElement(element);
    EXPECT_TRUE(plain->isEqual(again.get()));
    EXPECT_EQ(plain->hash(), again->hash());
    EXPECT_TRUE(plain->isEqual(window.get()));
    EXPECT_FALSE(window->isEqual(plain.get()));
    EXPECT_FALSE(plain->isEqual(nullptr));
    auto copy = window->copy();
    EXPECT_EQ(copy->className(), "SIWindow");
    EXPECT_TRUE(window->isEqual(copy.get()));
    // The buttons of one window are other elements.
    EXPECT_FALSE(plain->isEqual(window->elementForKey("AXCloseButton").get()));
    EXPECT_EQ(SIAccessibilityElement::init(), nullptr);
}

TEST_F(ElementTest, ArrayReadsStopAtOneHundredValues) {
    std::vector<AXElement> many;
    for (uint32_t i = 1; i <= 150; ++i) many.push_back(AXElement::windowOf(1, i));
    desk->window(number)->extraAttributes["AXChildren"] = desktop::AXValue(many);
    auto values = window->arrayForKey("AXChildren");
    ASSERT_TRUE(values);
    ASSERT_EQ(values->size(), 100u);
    EXPECT_EQ(values->back().window, 100u);
    EXPECT_FALSE(window->arrayForKey("AXTitle"));  // not an array
}

TEST_F(ElementTest, TypedReadsAnswerNilForOtherTypes) {
    EXPECT_FALSE(window->stringForKey("AXMinimized"));
    EXPECT_TRUE(window->numberForKey("AXTitle").isNil());
    EXPECT_TRUE(window->numberForKey("AXMinimized").isBool());
    EXPECT_EQ(window->elementForKey("AXTitle"), nullptr);
    auto button = window->elementForKey("AXCloseButton");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->className(), "SIAccessibilityElement");
}

TEST_F(ElementTest, DescriptionNamesTitleAndProcess) {
    EXPECT_THAT(window->description(),
                ::testing::EndsWith("<Title: notes.txt> <pid: " + std::to_string(app->processIdentifier()) + ">"));
}

TEST_F(ElementTest, TrustFollowsTheDesktop) {
    EXPECT_TRUE(SIUniversalAccessHelper::isAccessibilityTrusted());
    std::string shown;
    SIUniversalAccessHelper::setAlertPresenter([&](auto& title, auto&, auto&, auto&) {
        shown = title;
        return false;
    });
    SIUniversalAccessHelper::complainIfNeeded();
    EXPECT_EQ(shown, "");
    desk->setTrusted(false);
    EXPECT_FALSE(SIUniversalAccessHelper::isAccessibilityTrusted());
    SIUniversalAccessHelper::complainIfNeeded();
    EXPECT_EQ(shown, "Quayside Requires Universal Access");
    SIUniversalAccessHelper::setAlertPresenter(nullptr);
    EXPECT_EQ(SISystemWideElement::systemWideElement(), SISystemWideElement::systemWideElement());
}

}  // namespace
}  // namespace qs
