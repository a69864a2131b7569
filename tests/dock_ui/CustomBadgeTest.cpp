// The badge view: its sizes from the text, the scale and "BadgesSize", its outline, its
// text size, and its shape, shine and text read back as pixels.
#include <QFontMetricsF>
#include <QImage>
#include <gtest/gtest.h>

#include "dock_ui/CustomBadge.h"
#include "platform/foundation/UserDefaults.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

using CustomBadgeTest = test::IsolatedTest;

bool isRed(QColor c) { return c.alpha() > 200 && c.red() > 200 && c.green() < 60 && c.blue() < 60; }
bool isWhiteish(QColor c) { return c.alpha() > 200 && c.red() > 180 && c.green() > 180 && c.blue() > 180; }

int count(const QImage& image, const std::function<bool(QColor)>& wanted) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (wanted(image.pixelColor(x, y))) ++n;
    return n;
}

TEST_F(CustomBadgeTest, TextSizeFollowsBadgesSize) {
    auto& defaults = UserDefaults::standardUserDefaults();
    EXPECT_EQ(CustomBadge::fontSize(), 12.0);  // absent
    const std::pair<int, double> cases[] = {{2, 16.0}, {1, 14.0}, {0, 12.0}, {7, 12.0}, {-1, 12.0}};
    for (auto [setting, size] : cases) {
        defaults.setInteger(setting, "BadgesSize");
        EXPECT_EQ(CustomBadge::fontSize(), size) << setting;
    }

    // One character is drawn a fifth larger than two, at the same settings.
    defaults.setInteger(0, "BadgesSize");
    std::unique_ptr<CustomBadge> one(CustomBadge::initWithString("7", 1.0, false));
    std::unique_ptr<CustomBadge> two(CustomBadge::initWithString("77", 1.0, false));
    EXPECT_DOUBLE_EQ(one->drawnFontSize(), 14.4);
    EXPECT_DOUBLE_EQ(two->drawnFontSize(), 12.0);
}

TEST_F(CustomBadgeTest, SizesFromTextAndScale) {
    std::unique_ptr<CustomBadge> badge(CustomBadge::initWithString("5", 0.6, false));
    EXPECT_EQ(badge->size(), QSize(15, 15));
    EXPECT_EQ(badge->badgeText(), "5");

    // Two characters and more: (text width + characters + 25) x scale, height 25 x scale.
    badge->move(3, 4);
    badge->setBadgeScaleFactor(1.0);
    badge->autoBadgeSizeWithString("12");
    const double tw = QFontMetricsF(CustomBadge::badgeFont(12.0)).horizontalAdvance(QStringLiteral("12"));
    EXPECT_EQ(badge->width(), int(std::lround(tw + 2 + 25)));
    EXPECT_EQ(badge->height(), 25);
    EXPECT_EQ(badge->pos(), QPoint(3, 4));  // the origin stays

    // Larger text, wider badge; an empty text is a square.
    UserDefaults::standardUserDefaults().setInteger(2, "BadgesSize");
    badge->autoBadgeSizeWithString("12");
    EXPECT_GT(badge->width(), int(std::lround(tw + 2 + 25)));
    badge->setBadgeScaleFactor(2.0);
    badge->autoBadgeSizeWithString("");
    EXPECT_EQ(badge->size(), QSize(50, 50));

    // A width limit holds whatever the text.
    badge->setMaximumBadgeWidth(60);
    badge->autoBadgeSizeWithString(std::string(5000, 'W'));
    EXPECT_EQ(badge->width(), 60);
    EXPECT_EQ(badge->displayText().size(), 256);
}

TEST_F(CustomBadgeTest, OutlineWidthGrowsAboveScaleOne) {
    std::unique_ptr<CustomBadge> badge(CustomBadge::initWithString("1", 0.6, false));
    EXPECT_DOUBLE_EQ(badge->frameLineWidth(), 2.0);
    badge->setBadgeScaleFactor(1.0);
    EXPECT_DOUBLE_EQ(badge->frameLineWidth(), 2.0);
    badge->setBadgeScaleFactor(2.0);
    EXPECT_DOUBLE_EQ(badge->frameLineWidth(), 2.5);
}

TEST_F(CustomBadgeTest, InitialisersSetTheirDefaults) {
    std::unique_ptr<CustomBadge> plain(CustomBadge::initWithString("3", 0.8, false));
    EXPECT_TRUE(plain->badgeTextColor()->isEqual(Color::whiteColor().get()));
    EXPECT_TRUE(plain->badgeFrame());
    EXPECT_TRUE(plain->badgeFrameColor()->isEqual(Color::whiteColor().get()));
    EXPECT_EQ(plain->badgeInsetColor()->toQColor(), QColor(Qt::red));
    EXPECT_DOUBLE_EQ(plain->badgeCornerRoundness(), 0.4);
    EXPECT_DOUBLE_EQ(plain->badgeScaleFactor(), 0.8);
    EXPECT_FALSE(plain->badgeShining());

    std::unique_ptr<CustomBadge> shining(CustomBadge::customBadgeWithString("3"));
    EXPECT_DOUBLE_EQ(shining->badgeScaleFactor(), 1.0);
    EXPECT_TRUE(shining->badgeShining());
    EXPECT_EQ(shining->size(), QSize(25, 25));

    auto blue = Color::colorWithCalibratedRed(0, 0, 1, 1);
    std::unique_ptr<CustomBadge> custom(CustomBadge::customBadgeWithString(
        "44", Color::blackColor(), blue, false, Color::whiteColor(), 1.0, false));
    EXPECT_TRUE(custom->badgeInsetColor()->isEqual(blue.get()));
    EXPECT_FALSE(custom->badgeFrame());
    EXPECT_DOUBLE_EQ(custom->badgeCornerRoundness(), 0.4);
    EXPECT_GT(custom->width(), 25);
}

TEST_F(CustomBadgeTest, DrawsShapeOutlineShineAndText) {
    // The shape only: red inside the margin, clear in the corners and the margin.
    std::unique_ptr<CustomBadge> empty(CustomBadge::initWithString("", 2.0, false));
    empty->setBadgeFrame(false);
    QImage image = empty->grab().toImage();
    ASSERT_EQ(image.size(), QSize(50, 50));
    EXPECT_TRUE(isRed(image.pixelColor(25, 25)));
    EXPECT_EQ(image.pixelColor(1, 1).alpha(), 0);    // margin
    EXPECT_EQ(image.pixelColor(7, 7).alpha(), 0);    // outside the rounded corner
    EXPECT_EQ(count(image, isWhiteish), 0);          // no text, no outline

    // The outline in white around the red.
    empty->setBadgeFrame(true);
    image = empty->grab().toImage();
    EXPECT_TRUE(isWhiteish(image.pixelColor(5, 25)));  // on the left edge (x = 5)
    EXPECT_TRUE(isRed(image.pixelColor(25, 25)));

    // The text in white in the middle.
    std::unique_ptr<CustomBadge> text(CustomBadge::initWithString("8", 2.0, false));
    text->setBadgeFrame(false);
    image = text->grab().toImage();
    EXPECT_GT(count(image, isWhiteish), 30);

    // The shine lightens the lower part of the shape (its gradient starts at the bottom).
    std::unique_ptr<CustomBadge> shine(CustomBadge::initWithString("", 2.0, true));
    shine->setBadgeFrame(false);
    image = shine->grab().toImage();
    const QColor low = image.pixelColor(25, 40), high = image.pixelColor(25, 12);
    EXPECT_GT(low.green(), 150);  // near grey 0.92
    EXPECT_LT(high.green(), low.green());
}

TEST_F(CustomBadgeTest, HostileTextIsOneBoundedLine) {
    std::unique_ptr<CustomBadge> badge(CustomBadge::initWithString("", 0.6, false));
    badge->setMaximumBadgeWidth(64);
    std::string text = "a\nb\r\nc\td\x01" "e\xE2\x80\xA8" "f\xE2\x80\xAE" "g";  // controls, LS, RLO
    badge->autoBadgeSizeWithString(text);
    EXPECT_EQ(badge->displayText(), QStringLiteral("a b  c de f\u202Eg"));
    EXPECT_LE(badge->width(), 64);
    EXPECT_FALSE(badge->grab().toImage().isNull());

    // Cut before the bound without leaving half a surrogate pair.
    std::string emoji = "x";
    for (int i = 0; i < 300; ++i) emoji += "\xF0\x9F\x98\x80";  // two UTF-16 units each
    badge->autoBadgeSizeWithString(emoji);
    EXPECT_EQ(badge->displayText().size(), 255);
    EXPECT_TRUE(badge->displayText().back().isLowSurrogate());
    EXPECT_FALSE(badge->grab().toImage().isNull());
}

}  // namespace
}  // namespace qs
