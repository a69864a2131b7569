// The window-preview popover on the in-memory desktop: its sizes from "cellHeight", the
// screen and the number of windows (with the narrow-screen and huge-setting guards), the
// thumbnails in the application's order with placeholders until the captures arrive,
// the open and close rules on the manual clock (the one-second check, the half-second
// close after the pointer leaves, the forced close, the dock keeping it open), every
// close announced once, and bad input: windows closing while shown, an application with
// 200 windows, captures that hang or fail.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include <QApplication>
#include <QEnterEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <gtest/gtest.h>

#include "dock_ui/WPCollectionItemCell.h"
#include "dock_ui/WindowPreviewController.h"
#include "platform/desktop/Desktop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/sim/SimBackend.h"
#include "support/TestEnvironment.h"
#include "tracking/RunningApplicationEx.h"

namespace qs {
namespace {

using desktop::AXElement;

// The controller with the dock's answer under the test's control.
class TestController : public WindowPreviewController {
public:
    bool overDock = false;

protected:
    bool dockInMouseRect() const override { return overDock; }
};

void enter(QWidget* w) {
    QEnterEvent e(QPointF(2, 2), QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(w, &e);
}
void leave(QWidget* w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
}

class WindowPreviewTest : public test::IsolatedTest {
protected:
    void SetUp() override {
        sim = sim::installSimBackend();  // 1440 x 900
        desk = sim.desktop;
        panel = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        panel->setGeometry(600, 900 - 52, 240, 52);  // a bottom dock
        item = new QWidget(panel.get());
        item->setGeometry(100, 0, 52, 52);
        panel->show();
        editor = desk->addApplication(0, "Editor", "org.example.Editor");
        other = desk->addApplication(0, "Viewer", "org.example.Viewer");
        closedToken = NotificationCenter::defaultCenter().addObserver(
            this, "WindowPreviewClosed", nullptr, [this](const Notification& n) {
                ++closed;
                EXPECT_TRUE(n.object.isNil());
            });
        controller = std::make_shared<TestController>();
        controller->view();
        desk->setPointer(MakePoint(10, 10));  // far from the popover and the dock
    }
    void TearDown() override {
        NotificationCenter::defaultCenter().removeObserver(closedToken);
        controller.reset();
        editorEx.reset();
        otherEx.reset();
        panel.reset();
        env.loop().waitForBackground();
        desktop::install({});
    }

    // Windows of an application, the first made last (so most recent first).
    std::vector<desktop::WindowNumber> addWindows(const RunningApplicationPtr& app, int count,
                                                  const std::string& prefix = "w") {
        std::vector<desktop::WindowNumber> made;
        for (int i = 0; i < count; ++i)
            made.push_back(desk->addWindow(app->processIdentifier(), prefix + std::to_string(i),
                                           MakeRect(100 + i, 100 + i, 400, 300)));
        return made;
    }
    RunningApplicationExPtr track(const RunningApplicationPtr& app) {
        auto ex = RunningApplicationEx::runningApplicationWithProcessIdentifier(app->processIdentifier());
        ex->initWindowsMonitoring();
        settle();
        return ex;
    }
    // A list set directly, for the size rules (no tracking).
    RunningApplicationExPtr withWindows(const RunningApplicationPtr& app, int count) {
        auto ex = RunningApplicationEx::runningApplicationWithProcessIdentifier(app->processIdentifier());
        std::vector<SIWindowPtr> windows;
        for (auto n : addWindows(app, count))
            windows.push_back(SIWindow::initWithAXElement(AXElement::windowOf(app->processIdentifier(), n)));
        ex->setWindows(windows);
        return ex;
    }
    void settle() {
        env.loop().runPending();
        env.loop().advance(1.0);
        env.loop().waitForBackground();
        env.loop().runPending();
    }
    void show(const RunningApplicationExPtr& app) {
        controller->showWindowPreviewForApp(app, MakeRect(0, 0, 52, 52), item, NSRectEdgeMinY, nullptr);
    }
    bool popoverVisible() const {
        return controller->popover().isShown() && controller->popover().window() &&
               controller->popover().window()->isVisible();
    }
    // The preview of the editor with two windows, shown; answers its view.
    QWidget* showEditorPreview() {
        addWindows(editor, 2);
        editorEx = track(editor);
        show(editorEx);
        return controller->view();
    }
    void pointerInsidePopover() {
        QWidget* v = controller->view();
        QPoint c = v->mapToGlobal(QPoint(v->width() / 2, v->height() / 2));
        desk->setPointer(MakePoint(c.x(), c.y()));
    }
    std::vector<std::string> cellTitles() {
        std::vector<std::string> titles;
        for (size_t i = 0; auto* cell = controller->cellAtIndex(i); ++i) titles.push_back(cell->titleText().toStdString());
        return titles;
    }

    sim::SimBackend sim;
    std::shared_ptr<sim::SimDesktop> desk;
    std::unique_ptr<QWidget> panel;
    QWidget* item = nullptr;
    RunningApplicationPtr editor, other;
    RunningApplicationExPtr editorEx, otherEx;
    std::shared_ptr<TestController> controller;
    NotificationCenter::ObserverToken closedToken = 0;
    int closed = 0;
};

TEST_F(WindowPreviewTest, CellSizeFollowsTheSettingAboveItsFloor) {
    auto& defaults = UserDefaults::standardUserDefaults();
    struct Case {
        std::optional<int64_t> setting;
        int height, width;
    };
    for (const Case& c : {Case{std::nullopt, 200, 320}, Case{0, 200, 320}, Case{150, 200, 320}, Case{200, 200, 320},
                          Case{201, 201, 321}, Case{250, 250, 400}, Case{-7, 200, 320}}) {
        if (c.setting) defaults.setInteger(*c.setting, "cellHeight");
        else defaults.removeObjectForKey("cellHeight");
        EXPECT_EQ(controller->cellHeight(), c.height);
        EXPECT_EQ(controller->cellWidth(), c.width);
    }
    // No setting overflows the width.
    defaults.setInteger(1000000, "cellHeight");
    EXPECT_GT(controller->cellWidth(), 0);
    EXPECT_EQ(controller->getDockPosition(), 1);
    EXPECT_EQ(controller->dockHeight(), 100.0);
}

TEST_F(WindowPreviewTest, ContentSizeFromTheWindowsAndTheScreen) {
    UserDefaults::standardUserDefaults().setInteger(100, "cellHeight");
    EXPECT_EQ(controller->maxScreenSize(), MakeSize(1390, 750));
    // No model, no windows: half a cell.
    EXPECT_EQ(controller->calculateContentSizeAndSetItemSize(), MakeSize(200, 140));
    EXPECT_EQ(controller->collectionView()->minItemSize(), MakeSize(320, 200));
    EXPECT_EQ(controller->collectionView()->maxItemSize(), MakeSize(320, 200));

    struct Case {
        int windows;
        Size size;
    };
    for (const Case& c : {Case{3, MakeSize(1000, 240)}, Case{4, MakeSize(1320, 240)}, Case{5, MakeSize(1320, 440)},
                          Case{9, MakeSize(1320, 640)}, Case{13, MakeSize(1320, 790)}}) {
        controller->setModel(withWindows(editor, c.windows));
        EXPECT_EQ(controller->calculateContentSizeAndSetItemSize(), c.size) << c.windows << " windows";
        // The grid holds every row, the view shows what fits.
        size_t rows = (size_t(c.windows) + 3) / 4;
        EXPECT_EQ(controller->collectionView()->height(), int(200 * rows));
    }

    // A low screen caps the height: 400 - 150 = 250.
    sim.screens->setScreens({sim::SimScreen::make(MakeRect(0, 0, 1440, 400))});
    controller->setModel(withWindows(editor, 5));
    EXPECT_EQ(controller->calculateContentSizeAndSetItemSize(), MakeSize(1320, 290));
}

TEST_F(WindowPreviewTest, ANarrowScreenOrAHugeSettingStillGivesOneColumnOnTheScreen) {
    sim.screens->setScreens({sim::SimScreen::make(MakeRect(0, 0, 300, 900))});
    controller->setModel(withWindows(editor, 3));
    Size size = controller->calculateContentSizeAndSetItemSize();
    // Cells shrink to the 250 points the screen leaves, one column, three rows cut at 750.
    EXPECT_EQ(controller->collectionView()->minItemSize(), MakeSize(249, 156));
    EXPECT_EQ(size, MakeSize(249 + 40, 468 + 40));

    sim.screens->setScreens({sim::SimScreen::make(MakeRect(0, 0, 1440, 900))});
    UserDefaults::standardUserDefaults().setInteger(40000, "cellHeight");
    size = controller->calculateContentSizeAndSetItemSize();
    EXPECT_GT(size.width, 40);
    EXPECT_LE(size.width, 1390 + 40);
    EXPECT_LE(size.height, 750 + 40);
}

TEST_F(WindowPreviewTest, ShowsEveryWindowMostRecentFirstWithPlaceholdersUntilTheCapturesArrive) {
    // The gate outlives this body: captures still queued when it returns find it open.
    struct Gate {
        std::mutex m;
        std::condition_variable cv;
        bool open = false;
        void release() {
            {
                std::lock_guard lock(m);
                open = true;
            }
            cv.notify_all();
        }
    };
    auto gate = std::make_shared<Gate>();
    desk->setCaptureHook([gate](desktop::WindowNumber) -> ImagePtr {
        std::unique_lock lock(gate->m);
        gate->cv.wait(lock, [&] { return gate->open; });
        return std::make_shared<Image>(QImage(400, 300, QImage::Format_ARGB32));
    });
    // Whatever fails below, the hanging captures are let go before the tear-down waits.
    struct Release {
        std::shared_ptr<Gate> gate;
        ~Release() { gate->release(); }
    } releaseOnExit{gate};
    addWindows(editor, 3, "doc ");  // doc 2 is the most recent
    editorEx = RunningApplicationEx::runningApplicationWithProcessIdentifier(editor->processIdentifier());
    editorEx->initWindowsMonitoring();
    env.loop().advance(1.0);
    ASSERT_EQ(editorEx->windows().size(), 3u);
    show(editorEx);
    editorEx->upratePreviews();
    ASSERT_TRUE(popoverVisible());
    EXPECT_TRUE(controller->previewIsShow());
    EXPECT_TRUE(controller->isCloseTimerRunning());
    EXPECT_EQ(controller->popover().contentSize(), MakeSize(3 * 320 + 40, 240));
    EXPECT_EQ(controller->popover().behavior(), NSPopoverBehaviorApplicationDefined);
    EXPECT_FALSE(controller->popover().animates());
    // A bottom dock has no room below its items: the popover stands above them.
    EXPECT_EQ(controller->popover().shownEdge(), NSRectEdgeMaxY);
    EXPECT_EQ(cellTitles(), (std::vector<std::string>{"doc 2", "doc 1", "doc 0"}));
    for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(controller->cellAtIndex(i)->showsPlaceholder());

    // The captures hang: the popover is up and the main loop turns meanwhile.
    env.loop().runPending();
    EXPECT_TRUE(controller->cellAtIndex(0)->showsPlaceholder());
    gate->release();
    env.loop().waitForBackground();
    env.loop().runPending();
    for (size_t i = 0; i < 3; ++i) EXPECT_FALSE(controller->cellAtIndex(i)->showsPlaceholder()) << i;
    desk->setCaptureHook(nullptr);
}

TEST_F(WindowPreviewTest, TheCloseCheckClosesWhenThePointerIsOverNeitherPopoverNorDock) {
    addWindows(editor, 2);
    editorEx = track(editor);
    show(editorEx);
    ASSERT_TRUE(popoverVisible());

    // Over the popover: nothing closes.
    pointerInsidePopover();
    env.loop().advance(3.0);
    EXPECT_TRUE(popoverVisible());
    // Over the dock: nothing closes either.
    desk->setPointer(MakePoint(10, 10));
    controller->overDock = true;
    env.loop().advance(3.0);
    EXPECT_TRUE(popoverVisible());
    EXPECT_EQ(closed, 0);

    // Elsewhere: the next check closes, once.
    controller->overDock = false;
    env.loop().advance(1.0);
    EXPECT_FALSE(popoverVisible());
    EXPECT_FALSE(controller->previewIsShow());
    EXPECT_FALSE(controller->isCloseTimerRunning());
    EXPECT_EQ(closed, 1);
    env.loop().advance(5.0);
    EXPECT_EQ(closed, 1);

    // The model stays; showing it again reuses the popover and its cells.
    EXPECT_EQ(controller->model(), editorEx);
    int made = controller->collectionView()->itemsMade();
    show(editorEx);
    EXPECT_TRUE(popoverVisible());
    EXPECT_EQ(controller->collectionView()->itemsMade(), made);
}

TEST_F(WindowPreviewTest, LeavingThePopoverClosesItHalfASecondLaterUnlessThePointerComesBack) {
    QWidget* v = showEditorPreview();

    pointerInsidePopover();
    enter(v);
    EXPECT_TRUE(controller->inFocus());
    controller->hidePreview();  // the gentle close does nothing while the pointer is inside
    EXPECT_TRUE(popoverVisible());
    EXPECT_EQ(closed, 0);

    // Out and back within half a second: stays.
    leave(v);
    env.loop().advance(0.3);
    enter(v);
    env.loop().advance(0.5);
    EXPECT_TRUE(popoverVisible());
    EXPECT_EQ(closed, 0);

    // Out for good: closed half a second later (the one-second check finds it closed).
    desk->setPointer(MakePoint(10, 10));
    controller->overDock = true;  // even with the pointer back on the dock
    leave(v);
    env.loop().advance(0.49);
    EXPECT_TRUE(popoverVisible());
    env.loop().advance(0.02);
    EXPECT_FALSE(popoverVisible());
    EXPECT_FALSE(controller->previewIsShow());
    EXPECT_EQ(closed, 1);
    env.loop().advance(2.0);
    EXPECT_EQ(closed, 1);
}

TEST_F(WindowPreviewTest, TheForcedCloseAlwaysClosesAndAnnouncesOnlyWhatWasShown) {
    addWindows(editor, 2);
    editorEx = track(editor);
    show(editorEx);
    pointerInsidePopover();
    enter(controller->view());
    controller->forseClosePreview();
    EXPECT_FALSE(controller->popover().isShown());
    EXPECT_FALSE(controller->previewIsShow());
    EXPECT_FALSE(controller->inFocus());
    EXPECT_EQ(closed, 1);
    env.loop().advance(3.0);
    EXPECT_EQ(closed, 1);
    // Nothing shown: nothing to close or announce.
    controller->forseClosePreview();
    controller->hidePreview();
    EXPECT_EQ(closed, 1);
}

TEST_F(WindowPreviewTest, ALeaveFromAClosedPreviewDoesNotCloseTheNextOne) {
    addWindows(editor, 2);
    editorEx = track(editor);
    show(editorEx);
    controller->forseClosePreview();
    controller->mouseExited();  // the window went from under the pointer
    show(editorEx);             // the pointer rests on the item again at once
    controller->overDock = true;
    env.loop().advance(2.0);
    EXPECT_TRUE(popoverVisible());
    EXPECT_EQ(closed, 1);
}

TEST_F(WindowPreviewTest, BackFromThePopoverOntoItsItemTheHoverKeepsThePreview) {
    // As when the preview showed at once on its item (a menu closed there) and the
    // pointer went up into it and back down onto the item.
    QWidget* v = showEditorPreview();
    pointerInsidePopover();
    enter(v);
    desk->setPointer(MakePoint(10, 10));
    leave(v);
    show(editorEx);  // the item's hover shows it again
    controller->overDock = true;
    env.loop().advance(2.0);
    EXPECT_TRUE(popoverVisible());
    EXPECT_TRUE(controller->previewIsShow());
    EXPECT_EQ(closed, 0);
}

TEST_F(WindowPreviewTest, ALostLeaveEventDoesNotKeepThePreviewForever) {
    addWindows(editor, 2);
    editorEx = track(editor);
    show(editorEx);
    pointerInsidePopover();
    enter(controller->view());
    // The pointer goes away but no leave event comes (the window moved under it).
    desk->setPointer(MakePoint(10, 10));
    env.loop().advance(1.0);
    EXPECT_FALSE(popoverVisible());
    EXPECT_FALSE(controller->previewIsShow());
    EXPECT_EQ(closed, 1);
}

TEST_F(WindowPreviewTest, AnotherApplicationClosesThePopoverFirstWithoutAnnouncingItAndOwesItNothing) {
    addWindows(editor, 2);
    addWindows(other, 1);
    editorEx = track(editor);
    otherEx = track(other);
    show(editorEx);
    int closes = 0;
    struct Counter : PopoverDelegate {
        int* closes;
        std::weak_ptr<PopoverDelegate> next;
        void popoverDidClose(Popover& p) override {
            ++*closes;
            if (auto n = next.lock()) n->popoverDidClose(p);
        }
    };
    auto counter = std::make_shared<Counter>();
    counter->closes = &closes;
    counter->next = controller;
    controller->popover().setDelegate(counter);

    show(editorEx);  // the same one: moved, not closed
    EXPECT_EQ(closes, 0);
    show(otherEx);
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(popoverVisible());
    EXPECT_EQ(controller->model(), otherEx);
    EXPECT_EQ(controller->collectionView()->numberOfItems(), 1u);
    EXPECT_EQ(controller->popover().contentSize(), MakeSize(360, 240));
    EXPECT_EQ(closed, 0);
    EXPECT_TRUE(controller->previewIsShow());

    // Out of one preview and onto the other application's item: the close the leave
    // asked for does not close the new preview.
    show(editorEx);
    pointerInsidePopover();
    enter(controller->view());
    leave(controller->view());
    controller->overDock = true;
    show(otherEx);
    env.loop().advance(2.0);
    EXPECT_TRUE(popoverVisible());
    EXPECT_EQ(controller->model(), otherEx);
}

TEST_F(WindowPreviewTest, WindowsClosingWhileShownLeaveTheGridAndTheLastOneEndsThePreview) {
    auto numbers = addWindows(editor, 3);
    editorEx = track(editor);
    show(editorEx);
    controller->overDock = true;  // the pointer rests on the dock meanwhile
    ASSERT_EQ(controller->collectionView()->numberOfItems(), 3u);

    desk->removeWindow(numbers[1]);
    settle();
    EXPECT_EQ(controller->collectionView()->numberOfItems(), 2u);
    EXPECT_EQ(controller->popover().contentSize(), MakeSize(680, 240));
    EXPECT_TRUE(popoverVisible());
    EXPECT_EQ(cellTitles(), (std::vector<std::string>{"w2", "w0"}));

    // A window resized while shown: its next picture has the new size.
    desk->moveWindow(numbers[2], MakeRect(0, 0, 900, 200));
    editorEx->windows()[0]->updatePreview();
    env.loop().waitForBackground();
    env.loop().runPending();
    ASSERT_TRUE(editorEx->windows()[0]->previewImage());
    EXPECT_EQ(editorEx->windows()[0]->previewImage()->size(), MakeSize(900, 200));

    desk->removeWindow(numbers[2]);
    desk->removeWindow(numbers[0]);
    settle();
    EXPECT_EQ(controller->collectionView()->numberOfItems(), 0u);
    EXPECT_FALSE(controller->popover().isShown());
    EXPECT_FALSE(controller->previewIsShow());
    EXPECT_EQ(closed, 1);
    env.loop().advance(3.0);
    EXPECT_EQ(closed, 1);
}

TEST_F(WindowPreviewTest, WhileShownItsWindowsKeepTheirContentsAndTheirPicturesAreRefreshed) {
    auto numbers = addWindows(editor, 2);
    editorEx = track(editor);
    auto captures = [&] {
        int n = 0;
        for (const auto& c : desk->calls()) n += c.rfind("capture ", 0) == 0;
        return n;
    };
    const std::set<desktop::WindowNumber> editors(numbers.begin(), numbers.end());
    desk->clearRecords();
    show(editorEx);
    controller->overDock = true;  // the pointer rests on the dock meanwhile
    EXPECT_EQ(desk->keptContents(), editors);
    // Kept just now: the pictures are taken once the windows had a moment to repaint.
    env.loop().runPending();
    env.loop().waitForBackground();
    EXPECT_EQ(captures(), 0);
    env.loop().advance(SIWindow::kRepaintDelay);
    env.loop().waitForBackground();
    env.loop().runPending();
    EXPECT_EQ(captures(), 2);

    // A window that appears while shown is kept too; one that goes is released.
    auto third = addWindows(editor, 1, "new")[0];
    settle();
    EXPECT_TRUE(desk->keptContents().count(third));
    desk->removeWindow(numbers[0]);
    settle();
    EXPECT_FALSE(desk->keptContents().count(numbers[0]));

    // Another application's preview releases the first one's windows; the end of the
    // preview releases everything.
    addWindows(other, 1);
    otherEx = track(other);
    show(otherEx);
    for (auto n : {numbers[1], third}) EXPECT_FALSE(desk->keptContents().count(n)) << n;
    EXPECT_EQ(desk->keptContents().size(), 1u);
    controller->forseClosePreview();
    EXPECT_TRUE(desk->keptContents().empty());
    show(otherEx);
    controller->hidePreview();
    EXPECT_TRUE(desk->keptContents().empty());
}

TEST_F(WindowPreviewTest, ThePopoverGoingAwayWithItsPanelEndsThePreviewOnce) {
    addWindows(editor, 1);
    editorEx = track(editor);
    show(editorEx);
    panel->hide();  // the panel hides (a rebuild, an auto-hide): the popover closes with it
    EXPECT_FALSE(controller->popover().isShown());
    EXPECT_FALSE(controller->previewIsShow());
    EXPECT_FALSE(controller->isCloseTimerRunning());
    EXPECT_EQ(closed, 1);

    // A panel that is not shown shows nothing, and nothing counts as shown.
    show(editorEx);
    EXPECT_FALSE(controller->previewIsShow());
    EXPECT_FALSE(controller->isCloseTimerRunning());
    EXPECT_TRUE(env.logged("no shown window"));
    controller->showWindowPreviewForApp(nullptr, MakeRect(0, 0, 52, 52), item, NSRectEdgeMinY, nullptr);
    EXPECT_FALSE(controller->previewIsShow());
    EXPECT_EQ(closed, 1);
}

TEST_F(WindowPreviewTest, TwoHundredWindowsScrollInsideTheScreen) {
    auto many = withWindows(other, 200);
    auto started = std::chrono::steady_clock::now();
    controller->showWindowPreviewForApp(many, MakeRect(0, 0, 52, 52), item, NSRectEdgeMinY, nullptr);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    std::printf("preview of 200 windows shown in %.1f ms\n", ms);
    ASSERT_TRUE(popoverVisible());
    EXPECT_EQ(controller->collectionView()->numberOfItems(), 200u);
    // Four columns of 320 on 1390 points; 50 rows capped at 750 points.
    EXPECT_EQ(controller->popover().contentSize(), MakeSize(1320, 790));
    EXPECT_EQ(controller->collectionView()->size(), QSize(1280, 200 * 50));
    EXPECT_GT(controller->scrollView()->verticalScrollBar()->maximum(), 0);
    // The popover stays on the screen.
    Rect f = controller->popover().frame();
    EXPECT_GE(f.origin.x, 0);
    EXPECT_LE(f.origin.x + f.size.width, 1440);
    EXPECT_LE(f.origin.y + f.size.height, 900);
}

TEST_F(WindowPreviewTest, FailedCapturesKeepThePlaceholder) {
    desk->setCaptureHook([](desktop::WindowNumber) -> ImagePtr { return nullptr; });
    addWindows(editor, 2);
    editorEx = track(editor);
    show(editorEx);
    editorEx->upratePreviews();
    env.loop().waitForBackground();
    env.loop().runPending();
    EXPECT_TRUE(controller->cellAtIndex(0)->showsPlaceholder());
    EXPECT_TRUE(controller->cellAtIndex(1)->showsPlaceholder());
    EXPECT_TRUE(popoverVisible());
    desk->setCaptureHook(nullptr);
}

}  // namespace
}  // namespace qs
