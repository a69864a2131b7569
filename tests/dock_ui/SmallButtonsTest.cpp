// The hover button's alpha on the manual clock and its template image, the shadowed
// button, and the slider's bar read back as pixels.
#include <QApplication>
#include <QEnterEvent>
#include <QGraphicsDropShadowEffect>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <gtest/gtest.h>

#include "dock_ui/SmallButtons.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

using SmallButtonsTest = test::IsolatedTest;

void enter(QWidget* w) {
    QEnterEvent e(QPointF(2, 2), QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(w, &e);
}
void leave(QWidget* w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
}

TEST_F(SmallButtonsTest, WDButtonComesToFullOpacityWhileThePointerIsOver) {
    WDButton made;  // init, as interface files make it
    WDButton framed(QRect(10, 10, 40, 30), nullptr);
    for (WDButton* b : {&made, &framed}) {
        EXPECT_DOUBLE_EQ(b->alphaValue(), 0.6);
        enter(b);
        env.loop().advance(0.1);
        EXPECT_GT(b->alphaValue(), 0.6);
        EXPECT_LT(b->alphaValue(), 1.0);
        env.loop().advance(0.15);
        EXPECT_DOUBLE_EQ(b->alphaValue(), 1.0);
        leave(b);
        env.loop().advance(0.25);
        EXPECT_DOUBLE_EQ(b->alphaValue(), 0.6);
    }
    EXPECT_EQ(framed.geometry(), QRect(10, 10, 40, 30));

    // A resize while the pointer is inside puts it back to rest at once, and a fade under
    // way does not bring it back.
    made.show();
    enter(&made);
    env.loop().advance(0.1);
    made.resize(80, 40);
    EXPECT_DOUBLE_EQ(made.alphaValue(), 0.6);
    env.loop().advance(1.0);
    EXPECT_DOUBLE_EQ(made.alphaValue(), 0.6);
    EXPECT_EQ(env.loop().timerCount(), 0u);
}

TEST_F(SmallButtonsTest, WDButtonDrawsItsImageAsATemplate) {
    QPixmap red(16, 16);
    red.fill(Qt::red);
    WDButton b;
    b.setIcon(QIcon(red));
    b.setIconSize(QSize(16, 16));
    b.resize(40, 30);
    QPalette palette = b.palette();
    palette.setColor(QPalette::ButtonText, Qt::black);
    b.setPalette(palette);
    QImage image = b.grab().toImage();
    int reddish = 0, dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            QRgb p = image.pixel(x, y);
            if (qRed(p) > qGreen(p) + 60) ++reddish;
            if (qGray(p) < 60) ++dark;
        }
    EXPECT_EQ(reddish, 0);
    EXPECT_GE(dark, 16 * 16 - 32);  // the icon's square, in the text colour
}

TEST_F(SmallButtonsTest, ButtonWithShadowHasABlueShadowOnlyWhenMadeByInit) {
    ButtonWithShadow plain;
    EXPECT_EQ(plain.shadow(), nullptr);
    std::unique_ptr<ButtonWithShadow> shadowed(ButtonWithShadow::init());
    QGraphicsDropShadowEffect* shadow = shadowed->shadow();
    ASSERT_TRUE(shadow);
    EXPECT_EQ(shadow->color(), QColor(0, 0, 255, 255));
    EXPECT_EQ(shadow->offset(), QPointF(5, -5));  // right and up
    EXPECT_EQ(shadow->blurRadius(), 10);
}

class SliderPixels : public SmallButtonsTest {
protected:
    void SetUp() override {
        slider.setRange(0, 100);
        slider.resize(208, 20);
    }
    static bool green(QRgb p) { return qGreen(p) > 200 && qRed(p) < 80 && qBlue(p) < 80; }
    static bool grey(QRgb p) {
        return std::abs(qRed(p) - 170) < 12 && std::abs(qGreen(p) - 170) < 12 && std::abs(qBlue(p) - 170) < 12;
    }
    // The green run along the bar's middle row, and the rows the track covers.
    int greenLength() {
        QImage image = slider.grab().toImage();
        int y = int(slider.barRect().center().y());
        int n = 0;
        for (int x = 0; x < image.width(); ++x) n += green(image.pixel(x, y));
        return n;
    }
    int trackRows() {
        QImage image = slider.grab().toImage();
        int rows = 0;
        for (int y = 0; y < image.height(); ++y) rows += grey(image.pixel(image.width() - 4, y));
        return rows;
    }
    CustomSlider slider;
};

TEST_F(SliderPixels, TheGreenPartRunsFromTheMinimumToTheValue) {
    slider.setValue(0);
    EXPECT_EQ(greenLength(), 0);
    EXPECT_EQ(trackRows(), 5);  // the track is 5 high whatever the control's height
    slider.setValue(50);
    EXPECT_NEAR(greenLength(), 100, 2);
    slider.setValue(100);
    EXPECT_NEAR(greenLength(), 208 - 8, 2);  // 8 points shorter than the control
    EXPECT_DOUBLE_EQ(slider.filledWidth(208), 200);

    slider.resize(208, 60);
    EXPECT_EQ(trackRows(), 5);
    EXPECT_EQ(slider.barRect(), QRectF(0, 27, 208, 5));
}

TEST_F(SliderPixels, NoGreenWhenTheRangeIsEmptyAndNoKnobEver) {
    slider.setRange(40, 40);
    slider.setValue(40);
    EXPECT_EQ(greenLength(), 0);
    EXPECT_EQ(slider.filledWidth(208), 0);
    // Outside the bar nothing is drawn: no knob.
    slider.setRange(0, 100);
    slider.setValue(50);
    QImage image = slider.grab().toImage();
    QRgb background = image.pixel(0, 0);
    for (int x = 0; x < image.width(); ++x) {
        EXPECT_EQ(image.pixel(x, 1), background);
        EXPECT_EQ(image.pixel(x, image.height() - 2), background);
    }
    // A narrow control never fills backwards.
    slider.resize(4, 20);
    EXPECT_EQ(slider.filledWidth(4), 0);
}

TEST_F(SliderPixels, APressPutsTheValueUnderThePointer) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(100, 10), slider.mapToGlobal(QPointF(100, 10)), Qt::LeftButton,
                      Qt::LeftButton, {});
    QApplication::sendEvent(&slider, &press);
    EXPECT_EQ(slider.value(), 50);
    QMouseEvent drag(QEvent::MouseMove, QPointF(500, 10), slider.mapToGlobal(QPointF(500, 10)), Qt::NoButton,
                     Qt::LeftButton, {});
    QApplication::sendEvent(&slider, &drag);
    EXPECT_EQ(slider.value(), 100);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(-5, 10), slider.mapToGlobal(QPointF(-5, 10)),
                        Qt::LeftButton, Qt::NoButton, {});
    QApplication::sendEvent(&slider, &release);
    EXPECT_EQ(slider.value(), 0);
    EXPECT_FALSE(slider.isSliderDown());
}

}  // namespace
}  // namespace qs
