#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QEvent>
#include <QWindow>
#include <QWidget>
#include <gtest/gtest.h>

#include "platform/desktop/MenuBar.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/sim/SimBackend.h"
#include "platform/ui/WindowGeometry.h"
#include "support/TestEnvironment.h"
#include "toolkit/WindowPlacement.h"

namespace qs {
namespace {

namespace NU = NSWindow_Utilities;
using NU::Alignment;
using NU::Edge;

using Placement = void (*)(QWidget*);

struct Operation {
    const char* name;
    Edge edge;
    Alignment alignment;
    Placement place;
};

const Operation kOperations[16] = {
    {"alignLeftStart", Edge::Left, Alignment::Start, NU::alignLeftStart},
    {"alignLeftCenter", Edge::Left, Alignment::Center, NU::alignLeftCenter},
    {"alignLeftEnd", Edge::Left, Alignment::End, NU::alignLeftEnd},
    {"alignLeftAndFill", Edge::Left, Alignment::Fill, NU::alignLeftAndFill},
    {"alignBottomStart", Edge::Bottom, Alignment::Start, NU::alignBottomStart},
    {"alignBottomCenter", Edge::Bottom, Alignment::Center, NU::alignBottomCenter},
    {"alignBottomEnd", Edge::Bottom, Alignment::End, NU::alignBottomEnd},
    {"alignBottomAndFill", Edge::Bottom, Alignment::Fill, NU::alignBottomAndFill},
    {"alignRightStart", Edge::Right, Alignment::Start, NU::alignRightStart},
    {"alignRightCenter", Edge::Right, Alignment::Center, NU::alignRightCenter},
    {"alignRightEnd", Edge::Right, Alignment::End, NU::alignRightEnd},
    {"alignRightAndFill", Edge::Right, Alignment::Fill, NU::alignRightAndFill},
    {"alignTopStart", Edge::Top, Alignment::Start, NU::alignTopStart},
    {"alignTopCenter", Edge::Top, Alignment::Center, NU::alignTopCenter},
    {"alignTopEnd", Edge::Top, Alignment::End, NU::alignTopEnd},
    {"alignTopAndFill", Edge::Top, Alignment::Fill, NU::alignTopAndFill},
};

bool vertical(Edge e) { return e == Edge::Left || e == Edge::Right; }

// A frameless top-level window that counts its paints.
class CountingWindow : public QWidget {
public:
    CountingWindow() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {}
    int paints = 0;

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return QWidget::event(e);
    }
};

// A window with its own indent rule that counts how often it is asked.
class IndentingWindow : public CountingWindow, public NU::IndentRule {
public:
    bool indent = true;
    mutable int asked = 0;
    bool hasIndent() const override {
        ++asked;
        return indent;
    }
};

class WindowPlacementTest : public test::IsolatedTest {
protected:
    void SetUp() override { sim = sim::installSimBackend(false); }
    void TearDown() override {
        MenuBar::setMenuBarVisibleForTesting(std::nullopt);
        desktop::install({});
    }

    // The dock panel's sequence: onto the screen's origin, sized, placed, then moved by
    // the screen's origin.
    static Rect placeOnScreen(QWidget* w, const Screen& screen, const Operation& op, double length,
                              double thickness) {
        Point o = screen.frame().origin;
        WindowGeometry::setFrame(w, MakeRect(o.x, o.y, NU::width(w), NU::height(w)), false);
        NU::setHeight(w, vertical(op.edge) ? length : thickness);
        NU::setWidth(w, vertical(op.edge) ? thickness : length);
        op.place(w);
        Rect f = WindowGeometry::frame(w);
        f.origin.x += o.x;
        f.origin.y += o.y;
        WindowGeometry::setFrame(w, f, true);
        return WindowGeometry::frame(w);
    }

    sim::SimBackend sim;
};

// Screen 1440 x 900 with a visible frame 877 high, window 60 x 400 on the vertical edges
// and 800 x 60 on the horizontal ones, indent on.
struct Row {
    const char* name;
    Rect withMenuBar;
    Rect withoutMenuBar;
};

const Row kRows[16] = {
    {"alignLeftStart", MakeRect(6, 478, 60, 400), MakeRect(6, 500, 60, 400)},
    {"alignLeftCenter", MakeRect(6, 238.5, 60, 400), MakeRect(6, 238.5, 60, 400)},
    {"alignLeftEnd", MakeRect(6, 0, 60, 400), MakeRect(6, 0, 60, 400)},
    {"alignLeftAndFill", MakeRect(6, 0, 60, 878), MakeRect(6, 0, 60, 900)},
    {"alignBottomStart", MakeRect(0, 6, 800, 60), MakeRect(0, 6, 800, 60)},
    {"alignBottomCenter", MakeRect(320, 6, 800, 60), MakeRect(320, 6, 800, 60)},
    {"alignBottomEnd", MakeRect(640, 6, 800, 60), MakeRect(640, 6, 800, 60)},
    {"alignBottomAndFill", MakeRect(0, 6, 1440, 60), MakeRect(0, 6, 1440, 60)},
    {"alignRightStart", MakeRect(1374, 478, 60, 400), MakeRect(1374, 500, 60, 400)},
    {"alignRightCenter", MakeRect(1374, 238.5, 60, 400), MakeRect(1374, 238.5, 60, 400)},
    {"alignRightEnd", MakeRect(1374, 0, 60, 400), MakeRect(1374, 0, 60, 400)},
    {"alignRightAndFill", MakeRect(1374, 0, 60, 878), MakeRect(1374, 0, 60, 900)},
    {"alignTopStart", MakeRect(0, 820, 800, 60), MakeRect(0, 840, 800, 60)},
    {"alignTopCenter", MakeRect(320, 820, 800, 60), MakeRect(320, 840, 800, 60)},
    {"alignTopEnd", MakeRect(640, 820, 800, 60), MakeRect(640, 840, 800, 60)},
    {"alignTopAndFill", MakeRect(0, 820, 1440, 60), MakeRect(0, 840, 1440, 60)},
};

TEST(PlacedFrame, SixteenPlacementsWithAndWithoutTheMenuBar) {
    for (int i = 0; i < 16; ++i) {
        const Operation& op = kOperations[i];
        ASSERT_STREQ(op.name, kRows[i].name);
        NU::PlacementInput in;
        in.screen = MakeSize(1440, 900);
        in.visible = MakeSize(1440, 877);
        in.window = vertical(op.edge) ? MakeSize(60, 400) : MakeSize(800, 60);
        in.indent = op.edge != Edge::Top;
        in.menuBarVisible = true;
        EXPECT_EQ(NU::placedFrame(op.edge, op.alignment, in), kRows[i].withMenuBar) << op.name;
        in.menuBarVisible = false;
        EXPECT_EQ(NU::placedFrame(op.edge, op.alignment, in), kRows[i].withoutMenuBar) << op.name;
    }
}

TEST(PlacedFrame, WithoutAScreenTheEdgesAreAtZeroAndFillsKeepTheirLength) {
    NU::PlacementInput in;
    in.hasScreen = false;
    in.window = MakeSize(60, 400);
    in.indent = true;
    EXPECT_EQ(NU::placedFrame(Edge::Right, Alignment::End, in), MakeRect(-66, 0, 60, 400));
    in.menuBarVisible = true;
    EXPECT_EQ(NU::placedFrame(Edge::Left, Alignment::Fill, in), MakeRect(6, 0, 60, 400));
    in.window = MakeSize(800, 60);
    EXPECT_EQ(NU::placedFrame(Edge::Top, Alignment::Fill, in), MakeRect(0, -80, 800, 60));
}

// Other panels keep space along the screen's edges (the visible frame leaves it out): a
// window stands beside the panel on its own edge and its start, end and fill stay clear
// of the panels it runs towards; with no panels the Part's table holds (above).
TEST(PlacedFrame, OtherPanelsSpaceIsLeftClear) {
    NU::PlacementInput in;
    in.screen = MakeSize(1600, 900);
    in.visible = MakeSize(1560, 846);  // 24 along the top, 30 along the bottom, 40 on the left
    in.reservedTop = 24;
    in.reservedBottom = 30;
    in.reservedLeft = 40;
    in.indent = true;
    in.window = MakeSize(800, 60);
    EXPECT_EQ(NU::placedFrame(Edge::Top, Alignment::Center, in), MakeRect(400, 816, 800, 60));
    EXPECT_EQ(NU::placedFrame(Edge::Top, Alignment::Start, in), MakeRect(40, 816, 800, 60));
    EXPECT_EQ(NU::placedFrame(Edge::Bottom, Alignment::End, in), MakeRect(800, 36, 800, 60));
    EXPECT_EQ(NU::placedFrame(Edge::Bottom, Alignment::Fill, in),
              MakeRect(40, 36, 1560, 60));
    in.window = MakeSize(60, 400);
    EXPECT_EQ(NU::placedFrame(Edge::Left, Alignment::Start, in), MakeRect(46, 476, 60, 400));
    EXPECT_EQ(NU::placedFrame(Edge::Right, Alignment::End, in), MakeRect(1534, 30, 60, 400));
    EXPECT_EQ(NU::placedFrame(Edge::Right, Alignment::Fill, in), MakeRect(1534, 30, 60, 846));
    // A menu bar's allowance counts where a top panel leaves less room than it.
    in.reservedTop = 10;
    in.menuBarVisible = true;
    EXPECT_EQ(NU::placedFrame(Edge::Left, Alignment::Start, in), MakeRect(46, 478, 60, 400));
    in.window = MakeSize(800, 60);
    EXPECT_EQ(NU::placedFrame(Edge::Top, Alignment::End, in), MakeRect(800, 820, 800, 60));
}

TEST(PlacedFrame, TheReservedSpaceIsReadFromTheScreensVisibleFrame) {
    Rect visible = MakeRect(1480, 30, 1560, 846);
    auto screen = sim::SimScreen::make(MakeRect(1440, 0, 1600, 900), "B", &visible);
    NU::PlacementInput in = NU::placementInputOn(screen);
    EXPECT_EQ(in.reservedLeft, 40);
    EXPECT_EQ(in.reservedRight, 0);
    EXPECT_EQ(in.reservedBottom, 30);
    EXPECT_EQ(in.reservedTop, 24);
    EXPECT_FALSE(NU::placementInputOn(nullptr).hasScreen);
}

// Every edge and alignment on every screen of four arrangements: the window ends on the
// screen it was placed on, at that screen's origin plus the screen-local frame.
TEST_F(WindowPlacementTest, EveryPlacementOnEveryScreenOfFourArrangements) {
    Rect visibleA = MakeRect(0, 0, 1440, 877);
    auto a = [&] { return sim::SimScreen::make(MakeRect(0, 0, 1440, 900), "A", &visibleA); };
    auto b = [&](Rect frame) {
        Rect visible = MakeRect(frame.origin.x, frame.origin.y + 40, frame.size.width, frame.size.height - 40);
        return sim::SimScreen::make(frame, "B", &visible);
    };
    struct Arrangement {
        const char* name;
        std::vector<std::shared_ptr<sim::SimScreen>> screens;
    };
    std::vector<Arrangement> arrangements = {
        {"one screen", {a()}},
        {"side by side", {a(), b(MakeRect(1440, 0, 1280, 1024))}},
        {"above", {a(), b(MakeRect(200, 900, 1280, 1024))}},
        {"left of the origin", {a(), b(MakeRect(-1280, -124, 1280, 1024))}},
    };
    UserDefaults::standardUserDefaults().setBool(true, "Indent");
    CountingWindow w;
    for (auto& arrangement : arrangements) {
        sim.screens->setScreens(arrangement.screens);
        for (auto& screen : arrangement.screens) {
            for (bool menuBar : {false, true}) {
                MenuBar::setMenuBarVisibleForTesting(menuBar);
                for (const Operation& op : kOperations) {
                    SCOPED_TRACE(std::string(arrangement.name) + ", screen " + screen->localizedName() + ", " +
                                 op.name + (menuBar ? ", menu bar" : ""));
                    Rect placed = placeOnScreen(&w, *screen, op, 400, 64);

                    NU::PlacementInput in = NU::placementInputOn(screen);
                    in.window = vertical(op.edge) ? MakeSize(64, 400) : MakeSize(400, 64);
                    in.indent = op.edge != Edge::Top;
                    in.menuBarVisible = menuBar;
                    Rect local = NU::placedFrame(op.edge, op.alignment, in);
                    // Windows sit on whole pixels: a centre at .5 lands half a point off.
                    EXPECT_NEAR(placed.origin.x, local.origin.x + screen->frame().origin.x, 0.5);
                    EXPECT_NEAR(placed.origin.y, local.origin.y + screen->frame().origin.y, 0.5);
                    EXPECT_EQ(placed.size, local.size);
                    EXPECT_EQ(WindowGeometry::screen(&w), screen);
                    EXPECT_TRUE(RectContainsRect(screen->frame(), placed));
                }
            }
        }
    }
}

TEST_F(WindowPlacementTest, IndentFollowsTheDefaultAtEachPlacement) {
    sim.screens->addScreen(MakeRect(0, 0, 1440, 900));
    CountingWindow w;
    WindowGeometry::setFrame(&w, MakeRect(500, 500, 60, 400), false);
    NU::alignLeftEnd(&w);
    EXPECT_EQ(WindowGeometry::frame(&w), MakeRect(0, 0, 60, 400));  // "Indent" absent
    UserDefaults::standardUserDefaults().setBool(true, "Indent");
    EXPECT_EQ(WindowGeometry::frame(&w), MakeRect(0, 0, 60, 400));  // nothing moves by itself
    NU::alignLeftEnd(&w);
    EXPECT_EQ(WindowGeometry::frame(&w), MakeRect(6, 0, 60, 400));
    NU::alignRightEnd(&w);
    EXPECT_EQ(WindowGeometry::frame(&w).origin.x, 1440 - 60 - 6);

    WindowGeometry::setFrame(&w, MakeRect(0, 0, 800, 60), false);
    NU::alignBottomStart(&w);
    EXPECT_EQ(WindowGeometry::frame(&w).origin.y, 6);
    NU::alignTopStart(&w);
    EXPECT_EQ(WindowGeometry::frame(&w).origin.y, 900 - 60);  // never lowered by the indent
}

TEST_F(WindowPlacementTest, AWindowsOwnIndentRuleWinsAndTopEdgesNeverAskIt) {
    sim.screens->addScreen(MakeRect(0, 0, 1440, 900));
    UserDefaults::standardUserDefaults().setBool(false, "Indent");
    IndentingWindow w;
    WindowGeometry::setFrame(&w, MakeRect(0, 0, 800, 60), false);
    EXPECT_TRUE(NU::hasIndent(&w));
    w.asked = 0;
    NU::alignBottomCenter(&w);
    EXPECT_EQ(w.asked, 1);
    EXPECT_EQ(WindowGeometry::frame(&w), MakeRect(320, 6, 800, 60));
    for (Placement p : {NU::alignTopStart, NU::alignTopCenter, NU::alignTopEnd, NU::alignTopAndFill}) p(&w);
    EXPECT_EQ(w.asked, 1);
    w.indent = false;
    NU::alignBottomCenter(&w);
    EXPECT_EQ(WindowGeometry::frame(&w).origin.y, 0);
}

TEST_F(WindowPlacementTest, SideEdgesLeaveRoomForAVisibleMenuBarOnlyAtStartAndFill) {
    sim.screens->addScreen(MakeRect(0, 0, 1440, 900));
    CountingWindow w;
    WindowGeometry::setFrame(&w, MakeRect(0, 0, 60, 400), false);
    MenuBar::setMenuBarVisibleForTesting(true);
    NU::alignRightStart(&w);
    EXPECT_EQ(MaxY(WindowGeometry::frame(&w)), 900 - 22);
    NU::alignLeftAndFill(&w);
    EXPECT_EQ(WindowGeometry::frame(&w), MakeRect(0, 0, 60, 878));
    MenuBar::setMenuBarVisibleForTesting(false);
    NU::alignLeftAndFill(&w);
    EXPECT_EQ(WindowGeometry::frame(&w), MakeRect(0, 0, 60, 900));
    NU::setHeight(&w, 400);
    NU::alignLeftStart(&w);
    EXPECT_EQ(MaxY(WindowGeometry::frame(&w)), 900);
}

TEST_F(WindowPlacementTest, OnX11NoMenuBarIsVisible) { EXPECT_FALSE(MenuBar::menuBarVisible()); }

TEST_F(WindowPlacementTest, SetHeightSkipsAnUnchangedHeightAndSetWidthNever) {
    sim.screens->addScreen(MakeRect(0, 0, 1440, 900));
    CountingWindow w;
    WindowGeometry::setFrame(&w, MakeRect(100, 100, 300, 60), false);
    w.show();
    for (int i = 0; i < 100 && !(w.windowHandle() && w.windowHandle()->isExposed()); ++i)
        QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    ASSERT_TRUE(w.windowHandle() && w.windowHandle()->isExposed());
    w.paints = 0;
    NU::setHeight(&w, 60);
    EXPECT_EQ(w.paints, 0);
    NU::setWidth(&w, 300);
    EXPECT_EQ(w.paints, 1);
    EXPECT_EQ(WindowGeometry::frame(&w), MakeRect(100, 100, 300, 60));

    // A new height keeps the lower-left corner: the top edge moves.
    NU::setHeight(&w, 90);
    EXPECT_EQ(w.paints, 2);
    EXPECT_EQ(WindowGeometry::frame(&w), MakeRect(100, 100, 300, 90));
    NU::setWidth(&w, 500);
    EXPECT_EQ(WindowGeometry::frame(&w), MakeRect(100, 100, 500, 90));
    EXPECT_EQ(NU::width(&w), 500);
    EXPECT_EQ(NU::height(&w), 90);
}

TEST_F(WindowPlacementTest, AWindowOnNoScreenIsStillPlacedButNotStretched) {
    sim.screens->addScreen(MakeRect(0, 0, 1440, 900));
    CountingWindow w;
    WindowGeometry::setFrame(&w, MakeRect(5000, 5000, 60, 400), false);
    ASSERT_EQ(WindowGeometry::screen(&w), nullptr);
    NU::alignLeftAndFill(&w);
    EXPECT_EQ(WindowGeometry::frame(&w), MakeRect(0, 0, 60, 400));

    WindowGeometry::setFrame(&w, MakeRect(5000, 5000, 60, 400), false);
    UserDefaults::standardUserDefaults().setBool(true, "Indent");
    NU::alignRightEnd(&w);
    EXPECT_EQ(WindowGeometry::frame(&w), MakeRect(-66, 0, 60, 400));
}

TEST_F(WindowPlacementTest, PlacementsAreLocalToTheScreenOfTheWindow) {
    sim.screens->addScreen(MakeRect(0, 0, 1440, 900));
    auto second = sim.screens->addScreen(MakeRect(1440, 0, 1024, 768));
    UserDefaults::standardUserDefaults().setBool(true, "Indent");
    CountingWindow w;
    WindowGeometry::setFrame(&w, MakeRect(1440, 0, 60, 400), false);
    NU::alignLeftCenter(&w);
    // x = 6 on the second screen's own scale, and y from its height (768), not 900.
    EXPECT_EQ(WindowGeometry::frame(&w), MakeRect(6, 184, 60, 400));
    (void)second;
}

}  // namespace
}  // namespace qs
