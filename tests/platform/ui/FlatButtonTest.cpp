// The flat button: its plate and title in their colours, the highlight while held when
// momentary, the toggle otherwise, and the corner radius held to the plate.
#include <QImage>
#include <QMouseEvent>
#include <QApplication>
#include <gtest/gtest.h>

#include "platform/ui/FlatButton.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

void click(QWidget* w, QEvent::Type type) {
    QMouseEvent e(type, QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                  type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

TEST(FlatButton, PlateInItsColoursWithRoundedCorners) {
    FlatButton button;
    button.resize(40, 20);
    button.setCornerRadius(8.0);
    button.setBackgroundNormalColor(Color::colorWithCalibratedRed(1, 0, 0, 1));
    QImage image = button.grab().toImage();
    EXPECT_EQ(image.pixelColor(20, 10), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);  // the rounded corner
    EXPECT_EQ(image.pixelColor(20, 0), QColor(Qt::red));

    // A radius above half the height makes a pill, never a bulge.
    button.setCornerRadius(100.0);
    image = button.grab().toImage();
    EXPECT_EQ(image.pixelColor(20, 10), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(1, 1).alpha(), 0);

    // The title in its colour.
    button.setText("Go");
    button.setTitleNormalColor(Color::whiteColor());
    image = button.grab().toImage();
    int white = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            if (image.pixelColor(x, y).lightness() > 230) ++white;
    EXPECT_GT(white, 5);
}

TEST(FlatButton, MomentaryHighlightsWhileHeldElseToggles) {
    test::TestEnvironment env;
    FlatButton button;
    button.resize(30, 12);
    button.setBackgroundNormalColor(Color::whiteColor());
    button.setBackgroundHighlightColor(Color::blackColor());
    EXPECT_TRUE(button.isMomentary());
    EXPECT_FALSE(button.isCheckable());
    int clicks = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&] { ++clicks; });

    click(&button, QEvent::MouseButtonPress);
    EXPECT_TRUE(button.isHighlighted());
    EXPECT_EQ(button.grab().toImage().pixelColor(15, 6), QColor(Qt::black));
    click(&button, QEvent::MouseButtonRelease);
    EXPECT_FALSE(button.isHighlighted());
    EXPECT_EQ(button.grab().toImage().pixelColor(15, 6), QColor(Qt::white));
    EXPECT_EQ(clicks, 1);

    button.setMomentary(false);
    click(&button, QEvent::MouseButtonPress);
    click(&button, QEvent::MouseButtonRelease);
    EXPECT_TRUE(button.isHighlighted());
    EXPECT_EQ(button.grab().toImage().pixelColor(15, 6), QColor(Qt::black));
    click(&button, QEvent::MouseButtonPress);
    click(&button, QEvent::MouseButtonRelease);
    EXPECT_FALSE(button.isHighlighted());

    // Setting a colour it already has repaints nothing.
    button.show();
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    const int paints = button.paintCount();
    button.setBackgroundNormalColor(Color::colorWithCalibratedWhite(1.0, 1.0));
    button.setCornerRadius(button.cornerRadius());
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    EXPECT_EQ(button.paintCount(), paints);
}

}  // namespace
}  // namespace qs
