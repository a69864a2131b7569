#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPalette>
#include <QWidget>

#include "platform/ui/AppWindows.h"
#include "platform/ui/GraphicsContext.h"
#include "support/TestEnvironment.h"
#include "toolkit/NTStandardColors.h"

namespace qs {
namespace {

bool isWhite(const ColorPtr& c, double white, double alpha) {
    return c && c->colorSpace() == Color::Space::CalibratedWhite && c->whiteComponent() == white &&
           c->alphaComponent() == alpha;
}

class ColorSets : public test::IsolatedTest {};

TEST_F(ColorSets, StandardSetKeysLetterForLetter) {
    auto set = NTColorSet::standardSet();
    EXPECT_FALSE(set->colorForKey("NTCS_disabledText"));
    EXPECT_EQ(env.logLines(), std::vector<std::string>{"-[NTColorSet colorForKey:] nil:NTCS_disabledText"});
    EXPECT_TRUE(isWhite(set->colorForKey("kNTCS_disabledText"), 0.3, 1.0));
    EXPECT_TRUE(isWhite(set->colorForKey("NTCS_blackImage"), 0.0, 0.9));
    auto control = set->colorForKey("NTCS_mouseOverControl");
    ASSERT_TRUE(control);
    EXPECT_DOUBLE_EQ(control->greenComponent(), 0.6);
    EXPECT_TRUE(isWhite(set->frameColor(true), 0.55, 1.0));
    EXPECT_TRUE(isWhite(set->blackAccentColor(false), 0.35, 1.0));
    EXPECT_EQ(set->colors().size(), 15u);

    auto other = NTColorSet::standardSet();
    EXPECT_NE(set, other);
    EXPECT_EQ(set->colorForKey("NTCS_frame"), other->colorForKey("NTCS_frame"));
    EXPECT_EQ(set->colorForKey("NTCS_frame"), NTStandardColors::frameColor(false));
    EXPECT_EQ(set->colorForKey("NTCS_whiteAccent"), NTStandardColors::frameAccentLineColor(false));

    NTColorSet empty;
    EXPECT_TRUE(empty.colors().empty());
    empty.setColor(Color::blackColor(), "x");
    EXPECT_EQ(empty.colorForKey("x"), Color::blackColor());
    empty.setColors({});
    EXPECT_FALSE(empty.colorForKey("x"));
}

TEST(StandardColors, CachedPerFlag) {
    auto a = NTStandardColors::frameAccentLineColor(true), b = NTStandardColors::verticalFrameAccentLineColor(true);
    EXPECT_TRUE(isWhite(a, 1.0, 0.05));
    EXPECT_TRUE(a->isEqual(b.get()));
    EXPECT_NE(a, b);
    EXPECT_EQ(NTStandardColors::frameAccentLineColor(true), a);
    EXPECT_NE(NTStandardColors::frameAccentLineColor(false), a);
    EXPECT_TRUE(isWhite(NTStandardColors::lightFrameColor(true), 0.7, 1.0));
    EXPECT_TRUE(isWhite(NTStandardColors::tabBarBackgroundColor(false), 0.47, 1.0));
    EXPECT_DOUBLE_EQ(NTStandardColors::sourceListBackgroundColor(false)->blueComponent(), 0.886);
    EXPECT_DOUBLE_EQ(NTStandardColors::sourceListBackgroundColor(true)->redComponent(), 0.91);
    EXPECT_EQ(NTStandardColors::shadowColor(), NTStandardColors::shadowColor());
    EXPECT_DOUBLE_EQ(NTStandardColors::blueBackgroundRowColor()->greenComponent(), 0.867);
    EXPECT_TRUE(isWhite(NTStandardColors::whiteAccentLineColor(), 1.0, 0.5));
    EXPECT_TRUE(isWhite(NTStandardColors::windowBackground(), 0.9, 1.0));
}

TEST(ShadowPresets, ColourOffsetAndBlur) {
    using namespace NSShadow_NTExtensions;
    auto plain = shadowWithColor(nullptr, {2, 3}, 4);
    EXPECT_EQ(plain->shadowColor(), Shadow::defaultShadowColor());
    EXPECT_EQ(plain->shadowOffset(), (Size{2, 3}));
    EXPECT_DOUBLE_EQ(plain->shadowBlurRadius(), 4);
    auto red = defaultShadowWithColor(Color::colorWithCalibratedRed(1, 0, 0, 1));
    EXPECT_EQ(red->shadowOffset(), (Size{0, -1}));
    EXPECT_DOUBLE_EQ(red->shadowBlurRadius(), 0);
    EXPECT_DOUBLE_EQ(red->shadowColor()->redComponent(), 1);
    EXPECT_DOUBLE_EQ(defaultLightWhiteShadow()->shadowColor()->alphaComponent(), 0.55);
    EXPECT_DOUBLE_EQ(defaultDisabledWhiteShadow()->shadowColor()->alphaComponent(), 0.6);
    EXPECT_DOUBLE_EQ(defaultBlackShadow()->shadowColor()->alphaComponent(), 0.8);
    EXPECT_DOUBLE_EQ(defaultDarkGrayShadow()->shadowColor()->alphaComponent(), 0.6);
    EXPECT_DOUBLE_EQ(defaultGrayShadow()->shadowColor()->alphaComponent(), 0.3);
    EXPECT_DOUBLE_EQ(defaultLightGrayShadow()->shadowColor()->alphaComponent(), 0.2);
    EXPECT_DOUBLE_EQ(defaultWhiteShadow()->shadowColor()->whiteComponent(), 1.0);
    EXPECT_NE(defaultGrayShadow(), defaultGrayShadow()) << "a new shadow each time";
}

// Two windows; the key one is activated. The palette gives the four system colours
// distinct values.
class ControlColors : public test::IsolatedTest {
protected:
    void SetUp() override {
        saved = QApplication::palette();
        QPalette palette = saved;
        palette.setColor(QPalette::Active, QPalette::Highlight, QColor(1, 2, 200));
        palette.setColor(QPalette::Inactive, QPalette::Highlight, QColor(150, 150, 150));
        palette.setColor(QPalette::Active, QPalette::HighlightedText, QColor(255, 255, 254));
        palette.setColor(QPalette::Disabled, QPalette::Text, QColor(99, 99, 99));
        QApplication::setPalette(palette);
        AppWindows::startTracking();
        key = std::make_unique<QWidget>();
        field = new QLineEdit(key.get());
        other = new QLineEdit(key.get());
        key->show();
        key->activateWindow();
        QApplication::processEvents();
    }
    void TearDown() override {
        key.reset();
        QApplication::setPalette(saved);
    }
    static QColor q(const ColorPtr& c) { return c->toQColor().toRgb(); }
    QPalette saved;
    std::unique_ptr<QWidget> key;
    QLineEdit* field = nullptr;
    QLineEdit* other = nullptr;
};

TEST_F(ControlColors, FollowTheKeyStateAndTheFocus) {
    ASSERT_EQ(AppWindows::keyWindow(), key.get());
    field->setFocus();
    EXPECT_EQ(q(NTStandardColors::highlightColorForControl(field, true)), QColor(1, 2, 200));
    EXPECT_EQ(q(NTStandardColors::highlightColorForControl(other, true)), QColor(150, 150, 150));
    EXPECT_EQ(q(NTStandardColors::highlightColorForControl(other, false)), QColor(1, 2, 200));
    EXPECT_EQ(q(NTStandardColors::textColorForControl(field, true, false)), QColor(255, 255, 254));
    EXPECT_EQ(q(NTStandardColors::textColorForControl(other, true, false)), QColor(99, 99, 99));
    EXPECT_EQ(q(NTStandardColors::textColorForControl(other, false, false)), QColor(255, 255, 254));

    // A window that is not key draws dimmed.
    QWidget background;
    QLineEdit* dimmed = new QLineEdit(&background);
    background.show();
    key->activateWindow();
    QApplication::processEvents();
    dimmed->setFocus();
    EXPECT_EQ(q(NTStandardColors::highlightColorForControl(dimmed, true)), QColor(150, 150, 150));
    EXPECT_EQ(q(NTStandardColors::highlightColorForControl(dimmed, false)), QColor(150, 150, 150));
    EXPECT_EQ(q(NTStandardColors::textColorForControl(dimmed, false, false)), QColor(99, 99, 99));
    EXPECT_EQ(q(NTStandardColors::textColorForControl(dimmed, false, true)), QColor(255, 255, 254));
    EXPECT_EQ(q(NTStandardColors::textColorForControl(background.findChild<QLineEdit*>(), true, true)),
              background.focusWidget() == dimmed ? QColor(255, 255, 254) : QColor(99, 99, 99));
}

}  // namespace
}  // namespace qs
