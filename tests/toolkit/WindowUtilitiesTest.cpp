#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>
#include <QWidget>
#include <cmath>

#include "platform/desktop/Desktop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/sim/SimScreens.h"
#include "platform/ui/AppWindows.h"
#include "platform/ui/WindowAttributes.h"
#include "platform/ui/WindowGeometry.h"
#include "support/TestEnvironment.h"
#include "toolkit/WindowUtilities.h"

namespace qs {
namespace {

using namespace NSWindow_Utilities;

// A window that counts its paints.
struct Counted : QWidget {
    int paints = 0;
    void paintEvent(QPaintEvent*) override { ++paints; }
};

class WindowHelpers : public test::IsolatedTest {
protected:
    void SetUp() override {
        screens = std::make_shared<sim::SimScreens>();
        screens->addScreen(MakeRect(0, 0, 1000, 800));
        desktop::Services services;
        services.screens = screens;
        desktop::install(services);
        AppWindows::startTracking();
    }
    void TearDown() override {
        for (QWidget* w : QApplication::topLevelWidgets()) w->hide();
        if (AppWindows::isHidden()) AppWindows::unhide();
        desktop::install({});
    }
    static void activate(QWidget* w) {
        w->show();
        w->activateWindow();
        QApplication::processEvents();
    }
    std::shared_ptr<sim::SimScreens> screens;
};

TEST_F(WindowHelpers, FadingClampsAndEndsExactly) {
    Counted window;
    window.resize(50, 50);
    window.show();
    QApplication::processEvents();
    const int before = window.paints;
    wendle_fadeTo(&window, 150);
    EXPECT_EQ(WindowAttributes::alphaValue(&window), 1.0);
    EXPECT_EQ(window.paints, before + 1) << "redrawn at once";
    wendle_fadeTo(&window, -20);
    EXPECT_EQ(WindowAttributes::alphaValue(&window), 0.0);
    wendle_fadeTo(&window, 50);
    EXPECT_EQ(WindowAttributes::alphaValue(&window), 0.5);
    wendle_fadeTo(&window, std::nan(""));
    EXPECT_EQ(WindowAttributes::alphaValue(&window), 0.0);

    std::vector<double> seen;
    int calls = 0;
    wendle_fadeIn(&window, true, 0.03, [&] {
        ++calls;
        seen.push_back(WindowAttributes::alphaValue(&window));
    });
    EXPECT_EQ(WindowAttributes::alphaValue(&window), 1.0);
    EXPECT_GE(calls, 1);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    wendle_fadeIn(&window, false, 0.01);
    EXPECT_EQ(WindowAttributes::alphaValue(&window), 0.0);
    for (double interval : {0.0, -1.0, std::nan("")}) {
        wendle_fadeIn(&window, true, interval);
        EXPECT_EQ(WindowAttributes::alphaValue(&window), 1.0) << interval;
        wendle_fadeIn(&window, false, interval);
        EXPECT_EQ(WindowAttributes::alphaValue(&window), 0.0) << interval;
    }
}

TEST_F(WindowHelpers, DimmedControlsFollowMainAndKeyWindows) {
    QWidget main, other;
    QWidget panel(nullptr, Qt::Tool);  // a panel: key, never main
    other.show();
    activate(&main);
    EXPECT_EQ(AppWindows::mainWindow(), &main);
    EXPECT_FALSE(dimControls(&main));
    EXPECT_FALSE(dimControlsKey(&main));
    EXPECT_TRUE(dimControls(&other));
    EXPECT_TRUE(dimControlsKey(&other));

    activate(&panel);
    ASSERT_EQ(AppWindows::keyWindow(), &panel);
    EXPECT_EQ(AppWindows::mainWindow(), &main) << "a panel leaves the main window where it was";
    EXPECT_FALSE(dimControls(&main));
    EXPECT_TRUE(dimControlsKey(&main));

    setFloating(&other, true);
    EXPECT_TRUE(isFloating(&other));
    EXPECT_EQ(WindowAttributes::level(&other), 3);
    EXPECT_FALSE(dimControls(&other));
    EXPECT_FALSE(dimControlsKey(&other));
    setFloating(&other, false);
    EXPECT_EQ(WindowAttributes::level(&other), 0);

    // While a menu is open, the key question is the main one.
    activate(&main);
    QMenu menu;
    menu.addAction("Item");
    menu.popup(QPoint(10, 10));
    QApplication::processEvents();
    EXPECT_TRUE(keyWindowIsMenu(&main));
    EXPECT_EQ(dimControlsKey(&other), dimControls(&other));
    EXPECT_EQ(dimControlsKey(&main), dimControls(&main));
    menu.close();
    QApplication::processEvents();
    EXPECT_FALSE(keyWindowIsMenu(&main));
}

TEST_F(WindowHelpers, VisibleWindowsOrderDelegatesAndHiding) {
    QWidget a, b, hidden;
    QWidget noFocus(nullptr, Qt::Window | Qt::WindowDoesNotAcceptFocus);
    QTimer timerDelegate;
    QObject plainDelegate;
    WindowAttributes::setDelegate(&a, &timerDelegate);
    WindowAttributes::setDelegate(&b, &plainDelegate);
    noFocus.show();
    activate(&a);
    activate(&b);
    EXPECT_EQ(visibleWindows(true), (std::vector<QWidget*>{&b, &a})) << "front to back, panels that refuse focus out";
    EXPECT_EQ(visibleWindows(true, "QTimer"), std::vector<QWidget*>{&a});
    EXPECT_EQ(visibleWindows(false, "QObject").size(), 2u);
    EXPECT_TRUE(isAnyWindowVisible());
    EXPECT_TRUE(isAnyWindowVisibleWithDelegateClass("QTimer"));
    EXPECT_FALSE(isAnyWindowVisibleWithDelegateClass("QMenu"));
    EXPECT_EQ(topWindowWithDelegateClass(&a, "QObject"), &b);
    EXPECT_EQ(topWindowWithDelegateClass(&a, "QTimer"), &a);
    EXPECT_EQ(topWindowWithDelegateClass(&a, "QMenu"), nullptr);

    AppWindows::hide();
    EXPECT_FALSE(a.isVisible());
    auto whileHidden = visibleWindows(false);
    EXPECT_NE(std::find(whileHidden.begin(), whileHidden.end(), &hidden), whileHidden.end())
        << "while hidden, every window that can become key";
    AppWindows::unhide();
    EXPECT_TRUE(a.isVisible());
    EXPECT_FALSE(hidden.isVisible());

    QWidget frameless(nullptr, Qt::FramelessWindowHint);
    EXPECT_TRUE(isBorderless(&frameless));
    EXPECT_FALSE(isBorderless(&a));
    EXPECT_FALSE(isMetallic(&a));
    EXPECT_EQ(drawerWindowClass(), nullptr);
    EXPECT_FALSE(isDrawerWindow(&a));
    EXPECT_EQ(parentWindowIfDrawerWindow(&a), &a);
    EXPECT_EQ(drawersParentWindow(&a), nullptr);
    EXPECT_EQ(copyWithZone(&a), &a);
}

TEST_F(WindowHelpers, MiniaturizedWindowsHaveATitleOrCloseButton) {
    QWidget titled, frameless(nullptr, Qt::FramelessWindowHint);
    titled.showMinimized();
    frameless.showMinimized();
    QApplication::processEvents();
    EXPECT_EQ(miniaturizedWindows(), std::vector<QWidget*>{&titled});
}

TEST_F(WindowHelpers, CascadingOnTheFrontWindowOfTheSameKind) {
    QWidget first, second;
    QTimer d1, d2;
    WindowAttributes::setDelegate(&first, &d1);
    WindowAttributes::setDelegate(&second, &d2);
    WindowGeometry::setFrame(&first, MakeRect(100, 300, 200, 150), false);
    WindowGeometry::setFrame(&second, MakeRect(500, 100, 80, 60), false);
    activate(&second);
    const Rect alone = WindowGeometry::frame(&second);
    cascadeWindow(&second);
    EXPECT_EQ(WindowGeometry::frame(&second), alone) << "the only visible window of its kind stays";
    activate(&first);
    cascadeWindow(&second);
    // The first window's top-left is (100, 450); the cascade is 20 right and 20 down.
    EXPECT_EQ(WindowGeometry::frame(&second), MakeRect(120, 280, 200, 150));
    QObject otherKind;
    WindowAttributes::setDelegate(&first, &otherKind);
    WindowGeometry::setFrame(&second, MakeRect(500, 100, 80, 60), false);
    cascadeWindow(&second);
    EXPECT_EQ(WindowGeometry::frame(&second), MakeRect(500, 100, 80, 60)) << "delegates of another class";
}

TEST_F(WindowHelpers, RectanglesOnScreen) {
    EXPECT_TRUE(windowRectIsOnScreen(MakeRect(990, 10, 50, 50)));
    EXPECT_FALSE(windowRectIsOnScreen(MakeRect(1000, 10, 50, 50)));
    Rect emptyVisible = MakeRect(1000, 0, 0, 0);
    screens->setScreens({sim::SimScreen::make(MakeRect(0, 0, 1000, 800)),
                         sim::SimScreen::make(MakeRect(1000, 0, 500, 500), "bare", &emptyVisible)});
    EXPECT_FALSE(windowRectIsOnScreen(MakeRect(1100, 10, 50, 50)));
}

TEST_F(WindowHelpers, ResizingForContentKeepsTheTopEdge) {
    QWidget window;
    WindowGeometry::setFrame(&window, MakeRect(100, 100, 300, 200), false);
    const Rect frame = windowFrameForContentSize(&window, {400, 250});
    EXPECT_EQ(frame, MakeRect(100, 50, 400, 250));
    EXPECT_EQ(resizeWindowToContentSize(&window, {400, 250}, true), frame);
    EXPECT_EQ(WindowGeometry::frame(&window), frame);

    auto* view = new QWidget();
    view->resize(120, 80);
    const Rect installed = setContentViewAndResizeWindow(&window, view, false);
    EXPECT_EQ(installed, MakeRect(100, 220, 120, 80));
    EXPECT_EQ(WindowAttributes::contentView(&window), view);
    EXPECT_EQ(view->parentWidget(), &window);
    EXPECT_EQ(setContentViewAndResizeWindow(&window, nullptr, false).size, SizeZero);

    QWidget other;
    WindowGeometry::setFrame(&other, MakeRect(100, 100, 300, 200), false);
    auto* inner = new QWidget(&other);
    inner->resize(100, 100);
    wendle_setFrameSoView(&other, inner, {140, 130}, true);
    EXPECT_EQ(WindowGeometry::frame(&other), MakeRect(80, 70, 340, 230));
    wendle_setFrameSoView(&other, nullptr, {1, 1}, false);
    EXPECT_EQ(WindowGeometry::frame(&other), MakeRect(80, 70, 340, 230));
}

TEST_F(WindowHelpers, AShownWindowResizesOverTheResizeTime) {
    QWidget window;
    WindowGeometry::setFrame(&window, MakeRect(100, 100, 300, 200), false);
    window.show();
    QApplication::processEvents();
    // The right edge travels 150 points: the platform's 0.2 s.
    const Rect target = MakeRect(100, 100, 450, 200);
    EXPECT_DOUBLE_EQ(WindowAttributes::animationResizeTime(&window, target), 0.2);
    EXPECT_EQ(resizeWindowToContentSize(&window, {450, 200}, true), target);
    EXPECT_TRUE(WindowAttributes::isAnimatingFrame(&window));
    EXPECT_EQ(WindowGeometry::frame(&window), MakeRect(100, 100, 300, 200)) << "nothing moves before the first step";
    env.loop().advance(0.1);
    const double halfway = WindowGeometry::frame(&window).size.width;
    EXPECT_GT(halfway, 300);
    EXPECT_LT(halfway, 450);
    env.loop().advance(0.1);
    EXPECT_EQ(WindowGeometry::frame(&window), target);
    EXPECT_FALSE(WindowAttributes::isAnimatingFrame(&window));
    EXPECT_EQ(env.loop().timerCount(), 0u) << "no tick once it is over";

    // A frame set meanwhile ends the animation where it stands.
    wendle_setFrameSoView(&window, &window, {450, 350}, false);
    EXPECT_TRUE(WindowAttributes::isAnimatingFrame(&window));
    env.loop().advance(0.05);
    WindowAttributes::setFrame(&window, MakeRect(0, 0, 200, 200), true, false);
    EXPECT_FALSE(WindowAttributes::isAnimatingFrame(&window));
    env.loop().advance(1.0);
    EXPECT_EQ(WindowGeometry::frame(&window), MakeRect(0, 0, 200, 200));
}

TEST_F(WindowHelpers, FirstResponderHousekeeping) {
    QWidget window;
    auto* field = new QLineEdit(&window);
    auto* label = new QWidget(&window);  // takes no focus
    activate(&window);
    field->setFocus();
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QApplication::sendEvent(field, &typed);
    int finished = 0;
    QObject::connect(field, &QLineEdit::editingFinished, [&] { ++finished; });
    flushActiveTextFields(&window);
    EXPECT_EQ(finished, 1) << "the edit was committed";
    EXPECT_EQ(WindowAttributes::firstResponder(&window), field);

    wendle_forceEndEditingForView(&window, label);  // refused: editing ends
    EXPECT_FALSE(field->hasFocus());

    Value received;
    NotificationCenter::defaultCenter().addObserver(this, "NTSetDefaultFirstResponderNotification", nullptr,
                                                    [&](const Notification& n) { received = n.object; });
    setDefaultFirstResponder(&window);
    NotificationCenter::defaultCenter().removeObserver(this);
    auto object = received.objectAs<WindowObject>();
    ASSERT_TRUE(object);
    EXPECT_EQ(object->window(), &window);
    EXPECT_EQ(windowObject(&window), object) << "one object per window";
}

}  // namespace
}  // namespace qs
