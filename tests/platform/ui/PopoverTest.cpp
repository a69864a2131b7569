// Popovers: where they stand (edge, flip, clamping, the screen they use), how each
// behaviour closes, the delegate hearing each close once, the window kinds that keep
// the focus where it is, the bubble drawn with and without a compositing manager, and
// the borrowed content.
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QWidget>
#include <gtest/gtest.h>

#include "platform/desktop/Compositing.h"
#include "platform/sim/SimBackend.h"
#include "platform/ui/MenuPresenter.h"
#include "platform/ui/Popover.h"
#include "platform/ui/ValueAnimation.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

// ---------------------------------------------------------------------------------
// The placement rule alone.

const Rect kScreen = MakeRect(0, 0, 1440, 900);

TEST(PopoverPlacement, DockEdgesFlipAwayFromTheScreenEdge) {
    const Size content = MakeSize(100, 40);
    // A bottom dock asks for MinY: no room below its items, so above, the arrow down.
    PopoverPlacement p = Popover::placement(MakeRect(700, 0, 52, 52), content, NSRectEdgeMinY, kScreen);
    EXPECT_EQ(p.edge, NSRectEdgeMaxY);
    EXPECT_EQ(p.frame, MakeRect(676, 52, 100, 48));
    EXPECT_DOUBLE_EQ(p.arrowPosition, 50.0);

    // A top dock also asks for MinY and gets it: below its items.
    p = Popover::placement(MakeRect(700, 848, 52, 52), content, NSRectEdgeMinY, kScreen);
    EXPECT_EQ(p.edge, NSRectEdgeMinY);
    EXPECT_EQ(p.frame, MakeRect(676, 800, 100, 48));

    // Left and right docks ask for MinX: the left one flips to the right of its items.
    p = Popover::placement(MakeRect(0, 400, 52, 52), content, NSRectEdgeMinX, kScreen);
    EXPECT_EQ(p.edge, NSRectEdgeMaxX);
    EXPECT_EQ(p.frame, MakeRect(52, 406, 108, 40));
    EXPECT_DOUBLE_EQ(p.arrowPosition, 20.0);
    p = Popover::placement(MakeRect(1388, 400, 52, 52), content, NSRectEdgeMinX, kScreen);
    EXPECT_EQ(p.edge, NSRectEdgeMinX);
    EXPECT_EQ(p.frame, MakeRect(1280, 406, 108, 40));

    // Without a screen the preferred edge stands, room or not.
    p = Popover::placement(MakeRect(700, 0, 52, 52), content, NSRectEdgeMinY, RectNull);
    EXPECT_EQ(p.edge, NSRectEdgeMinY);
    EXPECT_EQ(p.frame, MakeRect(676, -48, 100, 48));
}

TEST(PopoverPlacement, StaysOnTheScreenAndKeepsTheArrowOnTheAnchor) {
    // An item in the bottom-right corner: the popover slides left, the arrow follows
    // the item as far as the rounded corner allows.
    PopoverPlacement p = Popover::placement(MakeRect(1420, 0, 20, 20), MakeSize(100, 40), NSRectEdgeMinY, kScreen);
    EXPECT_EQ(p.edge, NSRectEdgeMaxY);
    EXPECT_EQ(p.frame, MakeRect(1340, 20, 100, 48));
    EXPECT_DOUBLE_EQ(p.arrowPosition, 100 - Popover::kCornerRadius - Popover::kArrowWidth / 2);

    // Too tall for above and below: beside the anchor, on the roomier side.
    p = Popover::placement(MakeRect(300, 400, 50, 50), MakeSize(200, 700), NSRectEdgeMaxY, kScreen);
    EXPECT_EQ(p.edge, NSRectEdgeMaxX);
    EXPECT_EQ(p.frame.origin.x, 350);
    EXPECT_TRUE(RectContainsRect(kScreen, p.frame));

    // Fits nowhere: the side that lacks least, kept inside the screen, top first.
    p = Popover::placement(MakeRect(700, 0, 52, 52), MakeSize(2000, 2000), NSRectEdgeMinY, kScreen);
    EXPECT_EQ(p.frame.origin.x, 0);
    EXPECT_EQ(MaxY(p.frame), 900);

    // Odd input: an unknown edge counts as MinY, a negative or infinite size as empty.
    p = Popover::placement(MakeRect(700, 848, 52, 52), MakeSize(-5, INFINITY), RectEdge(9), kScreen);
    EXPECT_EQ(p.edge, NSRectEdgeMinY);
    EXPECT_EQ(p.frame.size, MakeSize(0, Popover::kArrowLength));
}

class PopoverScreens : public test::IsolatedTest {
protected:
    void SetUp() override { sim = sim::installSimBackend(false); }
    void TearDown() override { desktop::install({}); }
    sim::SimBackend sim;
};

TEST_F(PopoverScreens, BoundsAreTheVisibleFrameOfTheAnchorsScreen) {
    EXPECT_TRUE(RectIsNull(Popover::screenBoundsForRect(MakeRect(10, 10, 10, 10))));
    sim.screens->addScreen(kScreen, "A");
    auto b = sim.screens->addScreen(MakeRect(1440, 0, 1920, 1080), "B");
    b->setVisibleFrame(MakeRect(1440, 60, 1920, 1020));  // a panel along its bottom
    EXPECT_EQ(Popover::screenBoundsForRect(MakeRect(1500, 0, 52, 52)), MakeRect(1440, 60, 1920, 1020));
    EXPECT_EQ(Popover::screenBoundsForRect(MakeRect(100, 0, 52, 52)), kScreen);
    // Straddling: the screen holding its middle; off every screen: the overlap, then main.
    EXPECT_EQ(Popover::screenBoundsForRect(MakeRect(1430, 500, 40, 10)), MakeRect(1440, 60, 1920, 1020));
    EXPECT_EQ(Popover::screenBoundsForRect(MakeRect(-5000, -5000, 10, 10)), kScreen);
    // An empty visible frame falls back to the frame.
    b->setVisibleFrame(RectZero);
    EXPECT_EQ(Popover::screenBoundsForRect(MakeRect(1500, 0, 52, 52)), MakeRect(1440, 0, 1920, 1080));

    // A bottom dock with its strut: the item lies below the visible frame, so MinY has
    // no room and the popover stands on the visible frame's floor.
    b->setVisibleFrame(MakeRect(1440, 60, 1920, 1020));
    Rect anchor = MakeRect(2000, 4, 52, 52);
    PopoverPlacement p =
        Popover::placement(anchor, MakeSize(100, 40), NSRectEdgeMinY, Popover::screenBoundsForRect(anchor));
    EXPECT_EQ(p.edge, NSRectEdgeMaxY);
    EXPECT_EQ(p.frame.origin.y, 56);
}

TEST(Compositing, AnsweredByTheInstalledServiceAndNoWithoutOne) {
    test::TestEnvironment env;
    desktop::install({});
    EXPECT_FALSE(desktop::compositingManagerRunning());
    auto sim = sim::installSimBackend();
    EXPECT_FALSE(desktop::compositingManagerRunning());
    sim.compositing->setRunning(true);
    EXPECT_TRUE(desktop::compositingManagerRunning());
    EXPECT_EQ(sim.compositing->queries(), 2);
    desktop::install({});
}

TEST(ValueAnimationTest, EasesToTheEndValueExactlyAtTheDuration) {
    test::TestEnvironment env;
    std::vector<double> seen;
    ValueAnimation a;
    a.start(0.6, 1.0, 0.25, [&](double v) { seen.push_back(v); });
    EXPECT_TRUE(a.isRunning());
    env.loop().advance(0.125);
    ASSERT_FALSE(seen.empty());
    EXPECT_NEAR(seen.back(), 0.8, 0.05);  // half-way in time is half-way on an ease-in-out
    env.loop().advance(0.125);
    EXPECT_EQ(seen.back(), 1.0);
    EXPECT_FALSE(a.isRunning());
    EXPECT_EQ(env.loop().timerCount(), 0u);  // no ticks once still

    seen.clear();
    a.start(1.0, 0.0, 0.25, [&](double v) { seen.push_back(v); });
    env.loop().advance(0.1);
    a.stop();
    size_t n = seen.size();
    env.loop().advance(1.0);
    EXPECT_EQ(seen.size(), n);
    a.start(0.0, 0.3, 0.0, [&](double v) { seen.push_back(v); });
    EXPECT_EQ(seen.back(), 0.3);  // no duration: at once
}

// ---------------------------------------------------------------------------------
// Shown popovers, offscreen.

class Recorder : public PopoverDelegate {
public:
    int willShow = 0, didShow = 0, willClose = 0, didClose = 0, asked = 0;
    bool allowClose = true;
    bool shownDuringWillClose = false;
    bool popoverShouldClose(Popover&) override {
        ++asked;
        return allowClose;
    }
    void popoverWillShow(Popover&) override { ++willShow; }
    void popoverDidShow(Popover&) override { ++didShow; }
    void popoverWillClose(Popover& p) override {
        ++willClose;
        shownDuringWillClose = p.isShown();
    }
    void popoverDidClose(Popover&) override { ++didClose; }
};

class PopoverShown : public test::IsolatedTest {
protected:
    void SetUp() override {
        sim = sim::installSimBackend();  // 1440 x 900
        panel = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        panel->setGeometry(600, 900 - 52, 240, 52);  // along the bottom edge
        cell = new QWidget(panel.get());
        cell->setGeometry(100, 0, 52, 52);  // platform (700, 0, 52, 52)
        panel->show();
        content = std::make_unique<QWidget>();
        popover = std::make_unique<Popover>();
        popover->setContentView(content.get());
        popover->setContentSize(MakeSize(120, 60));
        recorder = std::make_shared<Recorder>();
        popover->setDelegate(recorder);
    }
    void TearDown() override {
        popover.reset();
        content.reset();
        panel.reset();
        QCoreApplication::processEvents();
        desktop::install({});
    }
    void show(RectEdge edge = NSRectEdgeMinY) { popover->showRelativeToRect(MakeRect(0, 0, 52, 52), cell, edge); }
    void press(QWidget* w, QPoint at) {
        QMouseEvent e(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
        QApplication::sendEvent(w, &e);
        QMouseEvent r(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, {});
        QApplication::sendEvent(w, &r);
    }
    void key(QWidget* w, int k) {
        QKeyEvent e(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
    void expectClosedOnce() {
        EXPECT_FALSE(popover->isShown());
        EXPECT_FALSE(popover->window()->isVisible());
        EXPECT_EQ(recorder->willClose, 1);
        EXPECT_EQ(recorder->didClose, 1);
    }

    sim::SimBackend sim;
    std::unique_ptr<QWidget> panel;
    QWidget* cell = nullptr;
    std::unique_ptr<QWidget> content;
    std::unique_ptr<Popover> popover;
    std::shared_ptr<Recorder> recorder;
};

TEST_F(PopoverShown, StandsAboveABottomItemWithItsContentAndArrow) {
    EXPECT_EQ(popover->behavior(), NSPopoverBehaviorApplicationDefined);
    EXPECT_TRUE(popover->animates());
    show();
    ASSERT_TRUE(popover->isShown());
    QWidget* w = popover->window();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(recorder->willShow, 1);
    EXPECT_EQ(recorder->didShow, 1);
    EXPECT_EQ(popover->shownEdge(), NSRectEdgeMaxY);
    EXPECT_EQ(popover->arrowEdge(), NSRectEdgeMinY);
    EXPECT_EQ(popover->frame(), MakeRect(666, 52, 120, 68));
    EXPECT_EQ(w->geometry(), QRect(666, 900 - 52 - 68, 120, 68));  // its bottom touches the item
    EXPECT_EQ(content->parentWidget(), w);
    EXPECT_EQ(content->geometry(), QRect(0, 0, 120, 60));
    // Never activated: a tool-tip window that refuses the focus.
    EXPECT_EQ(w->windowType(), Qt::ToolTip);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    EXPECT_TRUE(w->testAttribute(Qt::WA_ShowWithoutActivating));

    // Shown again elsewhere: it moves, the delegate is not told twice.
    cell->move(0, 0);
    popover->setContentSize(MakeSize(60, 30));
    show(NSRectEdgeMaxY);
    EXPECT_EQ(recorder->willShow, 1);
    EXPECT_EQ(w->geometry(), QRect(600 + 26 - 30, 900 - 52 - 38, 60, 38));
    EXPECT_EQ(content->geometry(), QRect(0, 0, 60, 30));

    // Ordered out it stays shown; showing brings the window back.
    popover->orderOut();
    EXPECT_TRUE(popover->isShown());
    EXPECT_FALSE(w->isVisible());
    show();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(recorder->willShow, 1);

    popover->close();
    popover->close();
    expectClosedOnce();
    EXPECT_TRUE(recorder->shownDuringWillClose);
}

TEST_F(PopoverShown, ArrowSidesFollowTheEdgeAndTheContentMovesOffTheArrow) {
    panel->setGeometry(600, 400, 240, 52);  // mid-screen: every edge has room
    struct Case {
        RectEdge edge;
        RectEdge arrow;
        QPoint contentAt;
    } cases[] = {{NSRectEdgeMinY, NSRectEdgeMaxY, {0, 8}},
                 {NSRectEdgeMaxY, NSRectEdgeMinY, {0, 0}},
                 {NSRectEdgeMinX, NSRectEdgeMaxX, {0, 0}},
                 {NSRectEdgeMaxX, NSRectEdgeMinX, {8, 0}}};
    for (const Case& c : cases) {
        show(c.edge);
        EXPECT_EQ(popover->shownEdge(), c.edge);
        EXPECT_EQ(popover->arrowEdge(), c.arrow);
        EXPECT_EQ(content->pos(), c.contentAt);
    }
    QRect cellGlobal(cell->mapToGlobal(QPoint(0, 0)), cell->size());
    EXPECT_EQ(popover->window()->geometry().left(), cellGlobal.right() + 1);  // MaxX: just right of the item
}

TEST_F(PopoverShown, TransientClosesOnAPressOutsideAndOnEscapeOnce) {
    popover->setBehavior(NSPopoverBehaviorTransient);
    show();
    QWidget* w = popover->window();
    EXPECT_EQ(w->windowType(), Qt::Popup);
    // A press inside (on the content) keeps it.
    press(w, QPoint(10, 10));
    EXPECT_TRUE(popover->isShown());
    // A press outside closes it, the delegate asked first and told once.
    press(w, QPoint(-20, -20));
    EXPECT_EQ(recorder->asked, 1);
    expectClosedOnce();
    popover->close();
    popover->performClose();
    EXPECT_EQ(recorder->didClose, 1);

    show();
    key(w, Qt::Key_Escape);
    EXPECT_FALSE(popover->isShown());
    EXPECT_EQ(recorder->didClose, 2);

    // A close of its window (the window manager, the program's end) closes it and is
    // answered as it went: whoever asked learns that the window is gone.
    show();
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(popover->isShown());
    EXPECT_EQ(recorder->didClose, 3);

    // A delegate that says no keeps it open on Escape, outside presses and window closes
    // (which are then turned down); close() wins.
    recorder->allowClose = false;
    show();
    key(w, Qt::Key_Escape);
    press(w, QPoint(-20, -20));
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(popover->isShown());
    EXPECT_TRUE(w->isVisible());
    popover->close();
    EXPECT_EQ(recorder->didClose, 4);
}

TEST_F(PopoverShown, ApplicationDefinedStaysUntilTheProgramClosesIt) {
    show();
    QWidget* w = popover->window();
    press(w, QPoint(-20, -20));
    key(w, Qt::Key_Escape);
    press(cell, QPoint(5, 5));
    popover->performClose();  // asked, allowed
    EXPECT_EQ(recorder->asked, 1);
    expectClosedOnce();

    // Switching a shown transient popover to application-defined lets the pointer go and
    // keeps it open (as while an open panel runs), and back.
    popover->setBehavior(NSPopoverBehaviorTransient);
    show();
    popover->setBehavior(NSPopoverBehaviorApplicationDefined);
    EXPECT_TRUE(popover->isShown());
    EXPECT_TRUE(popover->window()->isVisible());
    EXPECT_EQ(popover->window()->windowType(), Qt::ToolTip);
    EXPECT_NE(QApplication::activePopupWidget(), popover->window());
    popover->setBehavior(NSPopoverBehaviorTransient);
    EXPECT_EQ(QApplication::activePopupWidget(), popover->window());
    EXPECT_EQ(recorder->didClose, 1);
    popover->close();
}

TEST_F(PopoverShown, SemitransientClosesOnPressesInTheAnchorsWindowOnly) {
    popover->setBehavior(NSPopoverBehaviorSemitransient);
    QWidget other;
    other.setGeometry(10, 10, 50, 50);
    other.show();
    show();
    press(&other, QPoint(5, 5));
    press(content.get(), QPoint(5, 5));
    EXPECT_TRUE(popover->isShown());
    press(cell, QPoint(5, 5));
    expectClosedOnce();
    // Once closed it no longer watches the application.
    press(cell, QPoint(5, 5));
    EXPECT_EQ(recorder->didClose, 1);

    show();
    key(popover->window(), Qt::Key_Escape);
    EXPECT_FALSE(popover->isShown());
    EXPECT_EQ(recorder->didClose, 2);
}

TEST_F(PopoverShown, ClosesWhenItsAnchorGoesAway) {
    show();
    panel->hide();
    expectClosedOnce();

    panel->show();
    show();
    delete cell;
    cell = nullptr;
    EXPECT_FALSE(popover->isShown());
    EXPECT_EQ(recorder->didClose, 2);
    EXPECT_EQ(popover->positioningView(), nullptr);
}

TEST_F(PopoverShown, NoViewOrAViewInNoShownWindowShowsNothing) {
    popover->showRelativeToRect(MakeRect(0, 0, 10, 10), nullptr, NSRectEdgeMinY);
    EXPECT_TRUE(env.logged("no positioning view"));
    QWidget loose;
    QWidget* inLoose = new QWidget(&loose);
    popover->showRelativeToRect(MakeRect(0, 0, 10, 10), inLoose, NSRectEdgeMinY);
    EXPECT_TRUE(env.logged("in no shown window"));
    EXPECT_FALSE(popover->isShown());
    EXPECT_FALSE(popover->window()->isVisible());
    EXPECT_EQ(recorder->willShow, 0);
}

TEST_F(PopoverShown, ContentIsBorrowedAndGivenBack) {
    show();
    QWidget second;
    popover->setContentView(&second);
    EXPECT_EQ(content->parentWidget(), nullptr);
    EXPECT_FALSE(content->isVisible());
    EXPECT_EQ(second.parentWidget(), popover->window());
    EXPECT_EQ(popover->contentSize(), MakeSize(120, 60));  // an explicit size stays
    EXPECT_EQ(second.size(), QSize(120, 60));
    popover.reset();
    EXPECT_EQ(second.parentWidget(), nullptr);  // alive, unparented
}

TEST_F(PopoverShown, TranslucentWithACompositorOpaqueAndShapedWithout) {
    show();
    QWidget* w = popover->window();
    EXPECT_FALSE(popover->isTranslucent());
    EXPECT_FALSE(w->testAttribute(Qt::WA_TranslucentBackground));
    // Without a compositor the window is cut to the bubble: the arrow's tip is in, the
    // corners beside it are out.
    QRegion mask = w->mask();
    ASSERT_FALSE(mask.isEmpty());
    EXPECT_TRUE(mask.contains(QPoint(60, 66)));
    EXPECT_FALSE(mask.contains(QPoint(2, 66)));
    EXPECT_FALSE(mask.contains(QPoint(0, 0)));
    QImage opaque = w->grab().toImage();
    EXPECT_EQ(qAlpha(opaque.pixel(60, 30)), 255);

    // A compositing manager starts: the next show makes an ARGB window, unshaped, with the
    // area around the bubble clear and the bubble itself nearly opaque.
    popover->close();
    sim.compositing->setRunning(true);
    popover->setAnimates(false);
    show();
    w = popover->window();
    EXPECT_TRUE(popover->isTranslucent());
    EXPECT_TRUE(w->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(w->mask().isEmpty());
    EXPECT_EQ(content->parentWidget(), w);
    QImage image = w->grab().toImage();
    EXPECT_EQ(qAlpha(image.pixel(60, 30)), 240);  // 0.94 of the palette's window colour
    EXPECT_GT(qAlpha(image.pixel(60, 64)), 0);     // the arrow, pointing down at the item
    EXPECT_EQ(qAlpha(image.pixel(2, 66)), 0);
    EXPECT_GT(qAlpha(image.pixel(60, 1)), 0);  // no arrow on top: the body reaches the top
    popover->close();
}

TEST_F(PopoverShown, FadesInOnTheRunLoopOnlyWithACompositor) {
    show();
    EXPECT_EQ(popover->window()->windowOpacity(), 1.0);  // no compositor: at once
    popover->close();

    sim.compositing->setRunning(true);
    show();
    QWidget* w = popover->window();
    EXPECT_LT(w->windowOpacity(), 0.01);
    env.loop().advance(Popover::kFadeDuration / 2);
    EXPECT_GT(w->windowOpacity(), 0.2);
    EXPECT_LT(w->windowOpacity(), 0.8);
    env.loop().advance(Popover::kFadeDuration / 2);
    EXPECT_EQ(w->windowOpacity(), 1.0);
    popover->close();
}

TEST_F(PopoverShown, ASearchFieldGetsTheKeyboardWhenAsked) {
    auto* field = new QLineEdit(content.get());
    field->setGeometry(10, 10, 100, 24);
    popover->setBehavior(NSPopoverBehaviorTransient);
    popover->setTakesKeyboardFocus(true);
    show();
    EXPECT_EQ(QApplication::activePopupWidget(), popover->window());
    EXPECT_EQ(popover->window()->focusWidget(), field);
    // Typing reaches the field; Escape that the field leaves alone closes the popover.
    QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(field, &a);
    EXPECT_EQ(field->text(), QStringLiteral("a"));
    key(field, Qt::Key_Escape);
    EXPECT_FALSE(popover->isShown());

    // Not transient: a focusable tool window, activated, not a tool tip.
    popover->setBehavior(NSPopoverBehaviorApplicationDefined);
    show();
    QWidget* w = popover->window();
    EXPECT_EQ(w->windowType(), Qt::Tool);
    EXPECT_FALSE(w->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    EXPECT_FALSE(w->testAttribute(Qt::WA_ShowWithoutActivating));
    popover->close();
}

TEST_F(PopoverShown, APopoverThatGivesWayNeverStandsOverAMenuOrAnotherPopover) {
    // `popover` is an ordinary one (a start menu, a group); `name` gives way (a tooltip).
    QWidget nameContent;
    Popover name;
    name.setGivesWay(true);
    name.setContentView(&nameContent);
    name.setContentSize(MakeSize(60, 20));
    auto showName = [&] { name.showRelativeToRect(MakeRect(0, 0, 52, 52), cell, NSRectEdgeMinY); };

    // Another popover that shows sends it away, and it does not come back over it.
    showName();
    ASSERT_TRUE(name.isShown());
    show();
    EXPECT_FALSE(name.isShown());
    EXPECT_FALSE(name.window()->isVisible());
    showName();
    EXPECT_FALSE(name.isShown());
    // Ordered out, the other one no longer counts.
    popover->orderOut();
    showName();
    EXPECT_TRUE(name.isShown());
    popover->close();

    // A menu that opens sends it away; while the menu is open it does not show.
    auto model = std::make_shared<Menu>("");
    model->addItemWithTitle("Open", {"open:", [](MenuItem&) {}});
    std::unique_ptr<QMenu> menu(MenuPresenter::makeQMenu(model));
    menu->popup(QPoint(10, 10));
    EXPECT_FALSE(name.isShown());
    showName();
    EXPECT_FALSE(name.isShown());
    menu->hide();
    showName();
    EXPECT_TRUE(name.isShown());

    // Two that give way do not send each other away.
    QWidget otherContent;
    Popover other;
    other.setGivesWay(true);
    other.setContentView(&otherContent);
    other.showRelativeToRect(MakeRect(0, 0, 52, 52), cell, NSRectEdgeMaxY);
    EXPECT_TRUE(name.isShown());
    EXPECT_TRUE(other.isShown());
}

}  // namespace
}  // namespace qs
