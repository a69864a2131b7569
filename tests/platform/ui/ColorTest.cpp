#include <gtest/gtest.h>

#include "platform/ui/Color.h"

using namespace qs;

TEST(Color, WhiteAndRgbComponents) {
    auto grey = Color::colorWithCalibratedWhite(0.3, 0.8);
    EXPECT_DOUBLE_EQ(grey->redComponent(), 0.3);
    EXPECT_DOUBLE_EQ(grey->blueComponent(), 0.3);
    EXPECT_DOUBLE_EQ(grey->alphaComponent(), 0.8);
    auto rgb = Color::colorWithCalibratedRed(0.3, 0.6, 0.8, 1.0);
    EXPECT_DOUBLE_EQ(rgb->greenComponent(), 0.6);
    EXPECT_FALSE(rgb->isEqual(grey.get()));
    EXPECT_TRUE(rgb->colorWithAlphaComponent(0.5)->isEqual(Color::colorWithCalibratedRed(0.3, 0.6, 0.8, 0.5).get()));
}

TEST(Color, ArchivedDataRoundTripsExactly) {
    for (auto c : {Color::colorWithCalibratedRed(0.1234567890123, 1.0 / 3.0, 0.999999, 0.25),
                   Color::colorWithCalibratedWhite(2.0 / 7.0, 1.0), Color::clearColor()}) {
        auto back = Color::colorWithArchivedData(c->archivedData());
        ASSERT_TRUE(back);
        EXPECT_TRUE(back->isEqual(c.get())) << c->description() << " vs " << back->description();
    }
}

TEST(Color, DataThatIsNoColourAnswersNil) {
    EXPECT_FALSE(Color::colorWithArchivedData({}));
    EXPECT_FALSE(Color::colorWithArchivedData({'Q', 'S', 'C', 'L', 1, 0}));
    Data data = Color::blackColor()->archivedData();
    data[5] = 7;  // unknown colour space
    EXPECT_FALSE(Color::colorWithArchivedData(data));
    data = Color::blackColor()->archivedData();
    for (int i = 6; i < 14; ++i) data[i] = 0xFF;  // a NaN component
    EXPECT_FALSE(Color::colorWithArchivedData(data));
}
