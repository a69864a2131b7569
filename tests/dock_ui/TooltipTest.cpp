// Tooltips: the nil and empty rules, the fitted size with its 6 and 4 point insets, the
// 220-point wrap, absurd names (very long, many lines, right to left) kept within the
// screen, the 1.5 s automatic close on the manual clock, showing only from a view in a
// shown window, and never taking the focus.
#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>

#include "dock_ui/Tooltip.h"
#include "platform/sim/SimBackend.h"
#include "support/CpuStopwatch.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

class TooltipTest : public test::IsolatedTest {
protected:
    void SetUp() override {
        sim = sim::installSimBackend();  // 1440 x 900
        panel = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        panel->setGeometry(600, 900 - 52, 240, 52);  // a bottom dock
        cell = new QWidget(panel.get());
        cell->setGeometry(100, 0, 52, 52);
        panel->show();
    }
    void TearDown() override {
        panel.reset();
        desktop::install({});
    }
    static double lineHeight() {
        QTextLayout l(QStringLiteral("X"), QApplication::font("QLineEdit"));
        l.beginLayout();
        QTextLine line = l.createLine();
        line.setLineWidth(1000);
        l.endLayout();
        return line.height();
    }
    // Dark pixels (the text) of a grab, by column range.
    static int darkPixels(const QImage& image, int x0, int x1, int y0, int y1) {
        int n = 0;
        for (int y = std::max(0, y0); y < std::min(image.height(), y1); ++y)
            for (int x = std::max(0, x0); x < std::min(image.width(), x1); ++x)
                if (qGray(image.pixel(x, y)) < 128 && qAlpha(image.pixel(x, y)) > 128) ++n;
        return n;
    }
    std::shared_ptr<Tooltip> show(const std::string& name, bool autoClose = true) {
        return Tooltip::initWithString(name, MakeRect(0, 0, 52, 52), cell, NSRectEdgeMinY, autoClose);
    }

    sim::SimBackend sim;
    std::unique_ptr<QWidget> panel;
    QWidget* cell = nullptr;
};

TEST_F(TooltipTest, NilAndEmptyStrings) {
    EXPECT_EQ(Tooltip::initWithString(std::nullopt), nullptr);
    EXPECT_EQ(Tooltip::initWithString(std::string()), nullptr);
    auto t = Tooltip::initWithString(std::string("Safari"));
    ASSERT_TRUE(t);
    EXPECT_FALSE(t->isShown());
    EXPECT_EQ(t->tooltip(), std::optional<std::string>("Safari"));
    EXPECT_FALSE(t->animates());
    EXPECT_EQ(t->behavior(), NSPopoverBehaviorApplicationDefined);

    // The full initialiser still makes one: an empty field, one line high, plus 12 x 8.
    auto empty = Tooltip::initWithString(std::nullopt, MakeRect(0, 0, 52, 52), cell, NSRectEdgeMinY, false);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->isShown());
    EXPECT_EQ(empty->tooltip(), std::nullopt);
    EXPECT_EQ(empty->textField()->stringValue(), QString());
    EXPECT_EQ(empty->textField()->geometry(), QRect(6, 4, 0, int(std::ceil(lineHeight()))));
    EXPECT_EQ(empty->contentSize(), MakeSize(12, std::ceil(lineHeight()) + 8));
}

TEST_F(TooltipTest, ContentIsTheFittedTextPlusInsetsAndWrapsAt220) {
    auto t = show("Safari");
    Size fit = t->textField()->sizeThatFits(MakeSize(220, 1e9));
    QFontMetricsF metrics(QApplication::font("QLineEdit"));
    EXPECT_EQ(fit.width, std::ceil(metrics.horizontalAdvance(QStringLiteral("Safari"))));
    EXPECT_EQ(fit.height, std::ceil(lineHeight()));
    EXPECT_EQ(t->textField()->geometry(), QRect(6, 4, int(fit.width), int(fit.height)));
    EXPECT_EQ(t->contentSize(), MakeSize(fit.width + 12, fit.height + 8));
    EXPECT_LT(t->contentSize().width, 232);
    EXPECT_EQ(t->textField()->visibleLineCount(), 1);

    auto wrapped = show("Applications that have far too long a name for one line of a tooltip");
    Size size = wrapped->contentSize();
    EXPECT_LE(size.width, 232);
    EXPECT_GT(size.width, 150);
    EXPECT_GE(wrapped->textField()->visibleLineCount(), 2);
    EXPECT_EQ(size.height, std::ceil(wrapped->textField()->visibleLineCount() * lineHeight()) + 8);
    EXPECT_FALSE(wrapped->textField()->isTruncated());
}

TEST_F(TooltipTest, StandsOffThePanelEdgeAndShowsItsText) {
    auto t = show("Terminal");
    ASSERT_TRUE(t->isShown());
    QWidget* w = t->window();
    // Above the bottom dock's item, touching it, centred on it.
    QRect cellGlobal(cell->mapToGlobal(QPoint(0, 0)), cell->size());
    EXPECT_EQ(w->geometry().bottom() + 1, cellGlobal.top());
    EXPECT_NEAR(w->geometry().center().x(), cellGlobal.center().x(), 1);
    EXPECT_EQ(t->arrowEdge(), NSRectEdgeMinY);
    // Never takes the focus.
    EXPECT_EQ(w->windowType(), Qt::ToolTip);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    EXPECT_TRUE(w->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    // The text is drawn inside the insets and nowhere else.
    QImage image = w->grab().toImage();
    QRect field = t->textField()->geometry();
    EXPECT_GT(darkPixels(image, field.left(), field.right() + 1, field.top(), field.bottom() + 1), 10);
    EXPECT_EQ(darkPixels(image, 0, image.width(), field.bottom() + 3, image.height() - 2), 0);
}

TEST_F(TooltipTest, AbsurdNamesStayWithinTheScreen) {
    test::CpuStopwatch timer;  // CPU time: a loaded machine's waits do not count
    // 10,000 characters with no space: broken anywhere, cut at the screen's height.
    auto t = show(std::string(10000, 'W'));
    EXPECT_LT(timer.elapsedMs(), 2000);
    Size size = t->contentSize();
    EXPECT_LE(size.width, 232);
    EXPECT_LE(size.height + Popover::kArrowLength, 900);
    EXPECT_GT(size.height, 800);
    EXPECT_TRUE(t->textField()->isTruncated());
    EXPECT_TRUE(RectContainsRect(MakeRect(0, 0, 1440, 900), t->frame()));
    EXPECT_EQ(t->tooltip()->size(), 10000u);

    // Line breaks are kept: three lines; a screen-high pile of them is cut.
    auto lines = show("one\ntwo\r\nthree");
    EXPECT_EQ(lines->textField()->visibleLineCount(), 3);
    std::string many;
    for (int i = 0; i < 5000; ++i) many += "line\n";
    timer.restart();
    auto pile = show(many);
    EXPECT_LT(timer.elapsedMs(), 2000);
    EXPECT_LE(pile->contentSize().height + Popover::kArrowLength, 900);
    EXPECT_TRUE(pile->textField()->isTruncated());

    // A huge name is laid out only as far as it can show.
    timer.restart();
    auto huge = show(std::string(2'000'000, 'a') + " end");
    EXPECT_LT(timer.elapsedMs(), 2000);
    EXPECT_TRUE(huge->textField()->isTruncated());
    EXPECT_LE(huge->contentSize().width, 232);
}

TEST_F(TooltipTest, RightToLeftNamesRunFromTheRight) {
    // Hebrew: a long first line and a short last one, with explicit marks around.
    const std::string word = "\u05e9\u05dc\u05d5\u05dd";  // shalom
    std::string name = "\u200f";
    for (int i = 0; i < 12; ++i) name += word + " ";
    name += "\n" + word + "\u200f";
    auto t = show(name);
    TooltipTextField* field = t->textField();
    EXPECT_LE(field->width(), 220);
    EXPECT_GE(field->visibleLineCount(), 2);
    QImage image = field->grab().toImage();
    // The last line starts at the right edge: ink on its right, none on its far left.
    int lastTop = int((field->visibleLineCount() - 1) * lineHeight());
    EXPECT_GT(darkPixels(image, field->width() - 40, field->width(), lastTop, field->height()), 0);
    EXPECT_EQ(darkPixels(image, 0, 40, lastTop, field->height()), 0);
}

TEST_F(TooltipTest, ClosesItselfAfterOneAndAHalfSeconds) {
    auto t = show("Mail");
    EXPECT_TRUE(t->isShown());
    env.loop().advance(1.4);
    EXPECT_TRUE(t->isShown());
    env.loop().advance(0.1);
    EXPECT_FALSE(t->isShown());
    EXPECT_FALSE(t->window()->isVisible());

    auto kept = show("Notes", false);
    env.loop().advance(5.0);
    EXPECT_TRUE(kept->isShown());
    kept->hideTooltip();
    EXPECT_FALSE(kept->isShown());

    // Closed early by its owner, the timed hide later does nothing; replaced (destroyed)
    // before it, the timed hide never runs.
    auto early = show("Maps");
    early->close();
    env.loop().advance(1.5);
    EXPECT_FALSE(early->isShown());
    auto dropped = show("Music");
    dropped.reset();
    env.loop().advance(1.5);
    EXPECT_EQ(env.loop().timerCount(), 0u);
}

TEST_F(TooltipTest, ShowsOnlyFromAViewInAShownWindow) {
    size_t timers = env.loop().timerCount();
    auto none = Tooltip::initWithString(std::string("Safari"), MakeRect(0, 0, 10, 10), nullptr, NSRectEdgeMinY, true);
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->isShown());
    QWidget loose;
    QWidget* view = new QWidget(&loose);
    auto hidden = Tooltip::initWithString(std::string("Safari"), MakeRect(0, 0, 10, 10), view, NSRectEdgeMinY, true);
    EXPECT_FALSE(hidden->isShown());
    EXPECT_EQ(env.loop().timerCount(), timers);  // nothing scheduled
    EXPECT_TRUE(env.logLines().empty());
}

}  // namespace
}  // namespace qs
