// One window-preview thumbnail on the in-memory desktop: the highlight and the controls
// with "WindowControls" on and off, the window controls acting on the window (close,
// minimise and restore with the minimised mark, maximise, the placement buttons), a
// click closing the popover at once and bringing the window forward right after, the
// picture refresh on pointer moves, objects that are not windows, and the hover button.
#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <gmock/gmock.h>

#include "dock_ui/WPCollectionItemCell.h"
#include "dock_ui/WindowButton.h"
#include "dock_ui/WindowPreviewController.h"
#include "platform/desktop/Desktop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/sim/SimBackend.h"
#include "support/TestEnvironment.h"
#include "tracking/AppMonitoringService.h"
#include "tracking/RunningApplicationEx.h"

namespace qs {
namespace {

using desktop::AXElement;

void enter(QWidget* w) {
    QEnterEvent e(QPointF(2, 2), QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(w, &e);
}
void leave(QWidget* w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
}
void move(QWidget* w) {
    QMouseEvent e(QEvent::MouseMove, QPointF(20, 40), w->mapToGlobal(QPointF(20, 40)), Qt::NoButton, Qt::NoButton,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

class WPCellTest : public test::IsolatedTest {
protected:
    void SetUp() override {
        sim = sim::installSimBackend(false);
        sim.screens->setScreens({sim::SimScreen::make(MakeRect(0, 0, 1000, 800))});
        desk = sim.desktop;
        app = desk->addApplication(0, "Editor", "org.example.Editor");
        pid = app->processIdentifier();
        number = desk->addWindow(pid, "Report", MakeRect(100, 100, 400, 300));
        env.loop().runPending();
        window = SIWindow::initWithAXElement(AXElement::windowOf(pid, number));
        cell = std::make_shared<WPCellUnderTest>();
        cell->setRepresentedObject(Value(window));
        cell->view()->resize(320, 200);
        desk->clearRecords();
    }
    void TearDown() override {
        cell.reset();
        window.reset();
        AppMonitoringService::resetSharedInstanceForTesting();
        env.loop().waitForBackground();
        desktop::install({});
    }
    void controls(bool on) { UserDefaults::standardUserDefaults().setBool(on, "WindowControls"); }
    bool shown(QWidget* w) { return w && !w->isHidden(); }
    std::vector<std::string> activations() {
        std::vector<std::string> out;
        for (auto& c : desk->calls())
            if (c.rfind("activate ", 0) == 0 || c.rfind("setFrontProcess", 0) == 0) out.push_back(c);
        return out;
    }

    struct WPCellUnderTest : WPCollectionItemCell {};

    sim::SimBackend sim;
    std::shared_ptr<sim::SimDesktop> desk;
    RunningApplicationPtr app;
    desktop::Pid pid = 0;
    desktop::WindowNumber number = 0;
    SIWindowPtr window;
    std::shared_ptr<WPCollectionItemCell> cell;
};

TEST_F(WPCellTest, AFreshCellShowsTitleAndPlaceholderAndNoControls) {
    EXPECT_EQ(cell->titleText(), QStringLiteral("Report"));
    EXPECT_TRUE(cell->showsPlaceholder());
    EXPECT_FALSE(shown(cell->closeButton()));
    EXPECT_FALSE(shown(cell->minimazeButton()));
    EXPECT_FALSE(shown(cell->maximizeButton()));
    EXPECT_FALSE(shown(cell->windowManPanel()));
    EXPECT_FALSE(shown(cell->hiddenIndicator()));
    EXPECT_EQ(cell->itemView()->cornerRadius(), 6.0);

    // The picture follows the window.
    window->updatePreview();
    env.loop().waitForBackground();
    env.loop().runPending();
    EXPECT_FALSE(cell->showsPlaceholder());
    QImage grab = cell->view()->grab().toImage();
    EXPECT_FALSE(grab.isNull());
}

TEST_F(WPCellTest, HoverHighlightsAndShowsControlsOnlyWithTheSetting) {
    controls(false);
    enter(cell->view());
    EXPECT_TRUE(cell->isSelected());
    EXPECT_TRUE(cell->itemView()->higlighted());
    EXPECT_EQ(cell->itemView()->layerBackgroundColor(), QColor(0, 0, 0, 51));
    EXPECT_FALSE(shown(cell->closeButton()));
    EXPECT_FALSE(shown(cell->minimazeButton()));
    EXPECT_FALSE(shown(cell->maximizeButton()));
    EXPECT_FALSE(shown(cell->windowManPanel()));
    leave(cell->view());
    EXPECT_FALSE(cell->itemView()->higlighted());
    EXPECT_EQ(cell->itemView()->layerBackgroundColor().alpha(), 0);

    controls(true);
    enter(cell->view());
    for (QWidget* b : {static_cast<QWidget*>(cell->closeButton()), static_cast<QWidget*>(cell->minimazeButton()),
                       static_cast<QWidget*>(cell->maximizeButton())}) {
        EXPECT_TRUE(shown(b));
        EXPECT_TRUE(b->isEnabled());
    }
    EXPECT_TRUE(shown(cell->windowManPanel()));
    for (int tag : {2001, 2100, 2200, 2300, 4100, 4200, 4300, 3000}) {
        ASSERT_NE(cell->placementButton(tag), nullptr) << tag;
        EXPECT_TRUE(cell->placementButton(tag)->isVisibleTo(cell->view())) << tag;
    }
    // The window buttons stand in the title row, inside the cell and clear of the picture
    // and of the title; the placement panel lies across the picture.
    for (QWidget* b : {static_cast<QWidget*>(cell->closeButton()), static_cast<QWidget*>(cell->minimazeButton()),
                       static_cast<QWidget*>(cell->maximizeButton())}) {
        EXPECT_TRUE(cell->view()->rect().contains(b->geometry())) << b->geometry().x();
        EXPECT_FALSE(cell->image()->geometry().intersects(b->geometry())) << b->geometry().x();
        EXPECT_FALSE(cell->textField()->geometry().intersects(b->geometry())) << b->geometry().x();
    }
    EXPECT_TRUE(cell->image()->geometry().contains(cell->windowManPanel()->geometry()));
    leave(cell->view());
    EXPECT_FALSE(shown(cell->closeButton()));
    EXPECT_FALSE(cell->closeButton()->isEnabled());
    EXPECT_FALSE(shown(cell->windowManPanel()));
    EXPECT_FALSE(cell->isSelected());
}

TEST_F(WPCellTest, MinimiseTogglesTheWindowAndItsMark) {
    controls(true);
    enter(cell->view());
    cell->minimazeButton()->click();
    EXPECT_TRUE(desk->window(number)->minimized);
    EXPECT_TRUE(shown(cell->hiddenIndicator()));
    env.loop().advance(0.3);
    EXPECT_TRUE(shown(cell->hiddenIndicator()));

    // Restoring: unminimised, then brought forward; the mark goes.
    desk->clearRecords();
    cell->minimazeButton()->click();
    EXPECT_FALSE(desk->window(number)->minimized);
    auto calls = desk->calls();
    auto unmin = std::find_if(calls.begin(), calls.end(), [](auto& c) { return c.find("AXMinimized NO") != std::string::npos; });
    auto front = std::find_if(calls.begin(), calls.end(), [](auto& c) { return c.rfind("setFrontProcess", 0) == 0; });
    ASSERT_NE(unmin, calls.end());
    ASSERT_NE(front, calls.end());
    EXPECT_LT(unmin, front);
    env.loop().advance(0.3);
    EXPECT_FALSE(shown(cell->hiddenIndicator()));
    EXPECT_EQ(desk->activeWindow(), number);

    // A window minimised elsewhere shows the mark when the pointer comes (and 0.3 s on).
    leave(cell->view());
    desk->setMinimized(number, true);
    enter(cell->view());
    EXPECT_TRUE(shown(cell->hiddenIndicator()));
}

TEST_F(WPCellTest, TheMarkFollowsATrackedWindowLiveAndStandsInThePicturesCorner) {
    // The window as the window list tracks it: minimised and restored elsewhere, with no
    // pointer over the cell.
    auto ex = AppMonitoringService::sharedInstance()->getCachedApplicationExForApplication(app);
    ASSERT_TRUE(ex);
    ex->initWindowsMonitoring();
    env.loop().advance(1.0);  // a window's first picture is taken a second after it is added
    env.loop().waitForBackground();
    env.loop().runPending();
    ASSERT_EQ(ex->windows().size(), 1u);
    cell->setRepresentedObject(Value(ex->windows().front()));
    env.loop().waitForBackground();
    env.loop().runPending();
    ASSERT_FALSE(cell->showsPlaceholder());
    EXPECT_FALSE(shown(cell->hiddenIndicator()));
    desk->setMinimized(number, true);
    env.loop().runPending();
    EXPECT_TRUE(shown(cell->hiddenIndicator()));
    desk->setMinimized(number, false);
    env.loop().runPending();
    EXPECT_FALSE(shown(cell->hiddenIndicator()));

    // The 400 x 300 window's picture is fitted into the picture area and centred; the mark
    // stands inside its top right corner, not the area's.
    const QRect area = cell->image()->rect().adjusted(1, 1, -1, -1);
    const QSizeF fitted = QSizeF(400, 300).scaled(QSizeF(area.size()), Qt::KeepAspectRatio);
    const double pictureRight = area.left() + (area.width() + fitted.width()) / 2;
    const double pictureTop = area.top() + (area.height() - fitted.height()) / 2;
    const QRect mark = cell->hiddenIndicator()->geometry();
    EXPECT_EQ(cell->hiddenIndicator()->parentWidget(), cell->image());
    EXPECT_LE(mark.right(), pictureRight);
    EXPECT_GE(mark.right(), pictureRight - 10);
    EXPECT_GE(mark.top(), pictureTop);
    EXPECT_LE(mark.top(), pictureTop + 10);
}

TEST_F(WPCellTest, MaximiseAndPlacementButtonsPlaceTheWindowThenBringItForward) {
    controls(true);
    enter(cell->view());
    cell->maximizeButton()->click();
    EXPECT_EQ(desk->window(number)->frame, MakeRect(0, 0, 1000, 800));
    EXPECT_FALSE(activations().empty());

    desk->clearRecords();
    cell->placementButton(4100)->click();
    EXPECT_EQ(desk->window(number)->frame, MakeRect(500, 0, 500, 800));
    EXPECT_FALSE(activations().empty());
    cell->placementButton(3000)->click();
    Rect f = desk->window(number)->frame;
    EXPECT_NEAR(f.origin.x, 166.67, 0.01);
    EXPECT_NEAR(f.origin.y, 114.29, 0.01);
    EXPECT_NEAR(f.size.width, 666.67, 0.01);
    EXPECT_NEAR(f.size.height, 533.33, 0.01);
    cell->placementButton(2200)->click();
    EXPECT_EQ(desk->window(number)->frame, MakeRect(0, 0, 300, 800));

    // The panel's plain buttons can be switched off together.
    cell->windowManPanel()->setButtonsEnabled(false);
    for (int tag : WPCollectionItemCell::placementTags()) EXPECT_FALSE(cell->placementButton(tag)->isEnabled());
    cell->windowManPanel()->setButtonsEnabled(true);
    EXPECT_TRUE(cell->placementButton(2001)->isEnabled());
}

TEST_F(WPCellTest, CloseActsOnTheNextTurnOfTheRunLoop) {
    controls(true);
    enter(cell->view());
    cell->closeButton()->click();
    EXPECT_NE(desk->window(number), nullptr);
    env.loop().runPending();
    EXPECT_EQ(desk->window(number), nullptr);
}

TEST_F(WPCellTest, AClickClosesThePopoverAtOnceAndBringsTheWindowForwardRightAfter) {
    QWidget panel(nullptr, Qt::FramelessWindowHint);
    panel.setGeometry(300, 750, 200, 50);
    panel.show();
    auto ex = RunningApplicationEx::runningApplicationWithProcessIdentifier(pid);
    ex->initWindowsMonitoring();
    env.loop().advance(1.0);
    auto controller = WindowPreviewController::init();
    int closed = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(this, "WindowPreviewClosed", nullptr,
                                                                 [&](const Notification&) { ++closed; });
    controller->showWindowPreviewForApp(ex, MakeRect(0, 0, 50, 50), &panel, NSRectEdgeMinY, nullptr);
    ASSERT_TRUE(controller->previewIsShow());
    auto* thumbnail = controller->cellAtIndex(0);
    ASSERT_NE(thumbnail, nullptr);
    desk->focus(desk->addWindow(desk->addApplication(0, "Other")->processIdentifier(), "x", MakeRect(0, 0, 10, 10)));
    desk->clearRecords();

    thumbnail->image()->click();
    EXPECT_FALSE(controller->popover().window()->isVisible());
    EXPECT_FALSE(controller->previewIsShow());
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(activations().empty());
    env.loop().runPending();
    EXPECT_EQ(activations().size(), 2u);
    EXPECT_EQ(desk->activeWindow(), number);
    NotificationCenter::defaultCenter().removeObserver(token);
    controller.reset();
}

TEST_F(WPCellTest, ObjectsThatAreNotWindowsMakeEveryActionSilent) {
    for (Value object : {Value(), Value(std::make_shared<Object>()), Value(app)}) {
        cell->setRepresentedObject(object);
        EXPECT_EQ(cell->titleText(), QString());
        EXPECT_TRUE(cell->showsPlaceholder());
        desk->clearRecords();
        cell->click();
        cell->closeClick();
        cell->minimaizeClick();
        cell->maximazeClick();
        QPushButton placement;
        placement.setProperty("tag", 4100);
        cell->wdAction(&placement);
        cell->setHiddenState();
        move(cell->view());
        env.loop().advance(1.0);
        env.loop().waitForBackground();
        env.loop().runPending();
        EXPECT_TRUE(desk->calls().empty()) << ::testing::PrintToString(desk->calls());
        EXPECT_EQ(desk->window(number)->frame, MakeRect(100, 100, 400, 300));
    }
}

TEST_F(WPCellTest, PointerMovesAskForAFreshPictureAtMostEveryTenthOfASecond) {
    for (int i = 0; i < 10; ++i) move(cell->view());
    env.loop().waitForBackground();
    env.loop().runPending();
    EXPECT_EQ(desk->callCount("capture"), 1u);
    EXPECT_FALSE(cell->showsPlaceholder());
    env.loop().advance(0.1);
    move(cell->view());
    env.loop().waitForBackground();
    env.loop().runPending();
    EXPECT_EQ(desk->callCount("capture"), 2u);
}

TEST_F(WPCellTest, CellsMadeFromThePrototypeKeepTheController) {
    auto controller = WindowPreviewController::init();
    auto prototype = std::dynamic_pointer_cast<WPCollectionItemCell>(controller->collectionView()->itemPrototype());
    ASSERT_TRUE(prototype);
    EXPECT_EQ(prototype->previewController(), controller);
    auto copy = std::dynamic_pointer_cast<WPCollectionItemCell>(prototype->copy());
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->previewController(), controller);
    EXPECT_FALSE(copy->isViewLoaded());
}

TEST(WindowButtonTest, APlainButtonDrawsItsImageAsATemplateAtFullOpacity) {
    test::TestEnvironment env;
    QPixmap red(16, 16);
    red.fill(Qt::red);
    WindowButton b;
    b.setFlat(true);
    b.setIcon(QIcon(red));
    b.setIconSize(QSize(16, 16));
    b.resize(24, 24);
    QPalette palette = b.palette();
    palette.setColor(QPalette::ButtonText, QColor(20, 40, 200));
    b.setPalette(palette);
    // Resting, and after the pointer came and went: the image's shape in the text colour,
    // never faded.
    for (int round = 0; round < 2; ++round) {
        const QImage shown = b.grab().toImage();
        EXPECT_EQ(shown.pixelColor(12, 12), QColor(20, 40, 200)) << round;
        enter(&b);
        leave(&b);
        env.loop().advance(0.3);
    }
    EXPECT_EQ(b.graphicsEffect(), nullptr);
}

TEST(WindowButtonTest, TheAlternateImageShowsWhileThePointerIsOverAndAlwaysGoesBack) {
    test::TestEnvironment env;
    QPixmap normalPixels(8, 8), alternatePixels(8, 8);
    normalPixels.fill(Qt::red);
    alternatePixels.fill(Qt::blue);
    QIcon normal(normalPixels), alternate(alternatePixels);
    WindowButton b;
    b.setIcon(normal);
    b.setAlternateImage(alternate);

    enter(&b);
    EXPECT_EQ(b.icon().cacheKey(), alternate.cacheKey());
    leave(&b);
    EXPECT_EQ(b.icon().cacheKey(), normal.cacheKey());

    // Two entries without a leave between them still end on the normal image.
    enter(&b);
    enter(&b);
    leave(&b);
    EXPECT_EQ(b.icon().cacheKey(), normal.cacheKey());

    // Without an alternate image the image never changes.
    WindowButton plain;
    plain.setIcon(normal);
    enter(&plain);
    leave(&plain);
    EXPECT_EQ(plain.icon().cacheKey(), normal.cacheKey());
}

}  // namespace
}  // namespace qs
