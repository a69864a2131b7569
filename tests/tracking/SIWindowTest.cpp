#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <gmock/gmock.h>

#include "tracking/SIApplication.h"
#include "tracking/SIWindow.h"
#include "tracking/TrackingFixture.h"

namespace qs {
namespace {

using desktop::AXElement;
using test::TrackingTest;

ImagePtr picture(int w, int h) { return std::make_shared<Image>(QImage(w, h, QImage::Format_ARGB32)); }

class WindowTest : public TrackingTest {
protected:
    void SetUp() override {
        TrackingTest::SetUp();
        screenA = addScreen(MakeRect(0, 0, 1440, 900));
        screenB = addScreen(MakeRect(1440, -180, 1920, 1080));  // AX (1440, 0), same top
        editor = desk->addApplication(0, "Editor");
        viewer = desk->addApplication(0, "Viewer");
        run();
    }
    std::shared_ptr<SIWindow> add(const RunningApplicationPtr& app, const Rect& frame, const std::string& title = "w") {
        auto n = desk->addWindow(app->processIdentifier(), title, frame);
        return SIWindow::initWithAXElement(AXElement::windowOf(app->processIdentifier(), n));
    }
    std::vector<uint32_t> ids(const std::vector<std::shared_ptr<SIWindow>>& list) {
        std::vector<uint32_t> out;
        for (auto& w : list) out.push_back(w->win_id());
        return out;
    }

    std::shared_ptr<sim::SimScreen> screenA, screenB;
    RunningApplicationPtr editor, viewer;
};

TEST_F(WindowTest, ScreenIsTheOneHoldingTheLargerPart) {
    EXPECT_EQ(add(editor, MakeRect(1340, 100, 200, 100))->screen(), screenA);  // exactly half: the first
    EXPECT_EQ(add(editor, MakeRect(1400, 100, 200, 100))->screen(), screenB);
    EXPECT_EQ(add(editor, MakeRect(-500, -500, 100, 100))->screen(), nullptr);
    backend.screens->setScreens({});
    EXPECT_EQ(add(editor, MakeRect(0, 0, 100, 100))->screen(), nullptr);
}

TEST_F(WindowTest, StateTests) {
    auto w = add(editor, MakeRect(0, 0, 100, 100));
    EXPECT_TRUE(w->isNormalWindow());
    EXPECT_FALSE(w->isSheet());
    EXPECT_TRUE(w->isActive());
    EXPECT_TRUE(w->isOnScreen());
    EXPECT_TRUE(w->isNotDead());
    desk->setMinimized(w->win_id(), true);
    EXPECT_TRUE(w->isWindowMinimized());
    EXPECT_FALSE(w->isActive());
    EXPECT_FALSE(w->isOnScreen());
    EXPECT_TRUE(w->isNotDead());
    desk->removeWindow(w->win_id());
    EXPECT_FALSE(w->isNotDead());
    // A handle that is not a window has no number, and so is never listed.
    auto plain = SIWindow::initWithAXElement(AXElement::application(editor->processIdentifier()));
    EXPECT_EQ(plain->windowID(), 0u);
    EXPECT_FALSE(plain->isNotDead());
    EXPECT_FALSE(plain->isOnScreen());
}

TEST_F(WindowTest, AppIsKnownOnlyForARunningProcess) {
    auto w = add(editor, MakeRect(0, 0, 100, 100));
    ASSERT_NE(w->app(), nullptr);
    EXPECT_EQ(w->appName(), "Editor");
    desk->terminateApplication(editor->processIdentifier());
    EXPECT_EQ(w->app(), nullptr);
    EXPECT_EQ(w->appName(), "");
}

TEST_F(WindowTest, ListsAcrossApplications) {
    auto e1 = add(editor, MakeRect(0, 0, 100, 100));
    auto v1 = add(viewer, MakeRect(200, 0, 100, 100));
    auto e2 = add(editor, MakeRect(0, 200, 100, 100));
    desk->setMinimized(e2->win_id(), true);
    EXPECT_EQ(ids(SIWindow::allWindows()), (std::vector<uint32_t>{e2->win_id(), e1->win_id(), v1->win_id()}));
    EXPECT_EQ(ids(SIWindow::visibleWindows()), (std::vector<uint32_t>{e1->win_id(), v1->win_id()}));
    EXPECT_EQ(ids(e1->otherWindowsOnAllScreens()), (std::vector<uint32_t>{v1->win_id()}));
    auto far = add(viewer, MakeRect(2000, 0, 100, 100));
    EXPECT_EQ(ids(e1->otherWindowsOnSameScreen()), (std::vector<uint32_t>{v1->win_id()}));
    EXPECT_EQ(ids(far->otherWindowsOnSameScreen()), std::vector<uint32_t>{});
    viewer->hide();
    EXPECT_EQ(ids(SIWindow::visibleWindows()), (std::vector<uint32_t>{e1->win_id()}));
    desk->setTrusted(false);
    EXPECT_TRUE(SIWindow::allWindows().empty());
    EXPECT_TRUE(SIWindow::visibleWindows().empty());
    EXPECT_EQ(SIWindow::focusedWindow(), nullptr);
}

TEST_F(WindowTest, MostRecentFirstFollowsTheStackingAndKeepsTranslucentWindows) {
    auto a = add(editor, MakeRect(0, 0, 100, 100));
    auto b = add(viewer, MakeRect(0, 0, 100, 100));
    auto c = add(editor, MakeRect(0, 0, 100, 100));
    desk->window(b->win_id())->alpha = 0.5;
    auto dock = add(viewer, MakeRect(0, 0, 100, 100));
    desk->window(dock->win_id())->layer = 20;
    desk->focus(a->win_id());
    std::vector<uint32_t> expected{a->win_id(), c->win_id(), b->win_id()};
    EXPECT_EQ(ids(SIWindow::visibleWindowsMostRecentFirst()), expected);
    EXPECT_EQ(ids(SIWindow::allWindowsMostRecentFirst()), expected);
    desk->window(b->win_id())->alpha = 0.0;
    EXPECT_EQ(ids(SIWindow::visibleWindowsMostRecentFirst()), (std::vector<uint32_t>{a->win_id(), c->win_id()}));
}

TEST_F(WindowTest, FocusedWindowIsTheSheetsParent) {
    EXPECT_EQ(SIWindow::focusedWindow(), nullptr);
    auto main = add(editor, MakeRect(0, 0, 400, 300));
    sim::SimDesktop::Window sheet;
    sheet.pid = editor->processIdentifier();
    sheet.role = desktop::kAXSheetRole;
    sheet.parent = main->win_id();
    auto s = desk->addWindow(sheet);
    desk->focus(s);
    auto focused = SIWindow::focusedWindow();
    ASSERT_NE(focused, nullptr);
    EXPECT_EQ(focused->win_id(), main->win_id());
    desk->focus(main->win_id());
    EXPECT_EQ(SIWindow::focusedWindow()->win_id(), main->win_id());
}

TEST_F(WindowTest, PreviewOfAMinimisedWindowIsLeftAlone) {
    auto w = add(editor, MakeRect(0, 0, 100, 100));
    desk->setMinimized(w->win_id(), true);
    int changes = 0;
    auto o = w->observe("previewImage", 0, [&](auto&) { ++changes; });
    w->updatePreview();
    env.loop().waitForBackground();
    run();
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(desk->callCount("capture"), 0u);
}

TEST_F(WindowTest, PreviewIsPublishedOnTheMainThreadThenTheTitle) {
    auto w = add(editor, MakeRect(0, 0, 120, 80));
    std::vector<std::string> told;
    auto p = w->observe("previewImage", KeyValueObservingOptionPrior, [&](const KeyValueChange& c) {
        told.push_back(c.isPrior ? "will previewImage" : "did previewImage");
    });
    auto t = w->observe("title", KeyValueObservingOptionPrior, [&](const KeyValueChange& c) {
        told.push_back(c.isPrior ? "will title" : "did title");
    });
    w->updatePreview();
    env.loop().waitForBackground();
    EXPECT_TRUE(told.empty());  // nothing before the main loop runs
    run();
    EXPECT_THAT(told, ::testing::ElementsAre("will previewImage", "did previewImage", "will title", "did title"));
    ASSERT_NE(w->previewImage(), nullptr);
    EXPECT_EQ(w->previewImage()->size(), MakeSize(120, 80));
}

TEST_F(WindowTest, AFailedCaptureKeepsTheOldPreview) {
    auto w = add(editor, MakeRect(0, 0, 120, 80));
    w->updatePreview();
    env.loop().waitForBackground();
    run();
    auto first = w->previewImage();
    ASSERT_NE(first, nullptr);
    int changes = 0;
    auto o = w->observe("previewImage", 0, [&](auto&) { ++changes; });
    desk->removeWindow(w->win_id());  // closed between the request and the capture
    w->updatePreview();
    env.loop().waitForBackground();
    run();
    // Nothing new is announced; the picture kept for the window is the old one.
    EXPECT_EQ(w->previewImage(), first);
}

TEST_F(WindowTest, RequestsDuringASlowCaptureAreServedByOneMoreCaptureAfterIt) {
    auto w = add(editor, MakeRect(0, 0, 120, 80));
    auto older = picture(10, 10), newer = picture(20, 20);
    // What the captures share outlives this body, and the first capture is let go whatever
    // happens below: a capture still running when the body returns finds it all alive.
    struct Gate {
        std::mutex m;
        std::condition_variable cv;
        bool open = false;
        std::atomic<int> calls{0};
        void release() {
            {
                std::lock_guard lock(m);
                open = true;
            }
            cv.notify_all();
        }
    };
    auto gate = std::make_shared<Gate>();
    struct Release {
        std::shared_ptr<Gate> gate;
        ~Release() { gate->release(); }
    } releaseOnExit{gate};
    std::atomic<int>& calls = gate->calls;
    desk->setCaptureHook([gate, older, newer](desktop::WindowNumber) -> ImagePtr {
        if (gate->calls++ == 0) {
            std::unique_lock lock(gate->m);
            gate->cv.wait(lock, [&] { return gate->open; });
            return older;
        }
        return newer;
    });
    w->updatePreview();
    while (calls.load() == 0) std::this_thread::yield();
    // The pointer keeps moving over the preview while the first capture hangs.
    for (int i = 0; i < 50; ++i) w->updatePreview();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    run();
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(w->previewImage(), nullptr);
    gate->release();
    // The first picture lands, then exactly one more capture serves the fifty requests.
    for (int i = 0; i < 2000 && w->previewImage() != newer; ++i) {
        env.loop().waitForBackground();
        run();
    }
    EXPECT_EQ(w->previewImage(), newer);
    EXPECT_EQ(calls.load(), 2);
    // Nothing is left under way: the next request captures at once.
    w->updatePreview();
    env.loop().waitForBackground();
    run();
    EXPECT_EQ(calls.load(), 3);
    desk->setCaptureHook(nullptr);
}

TEST_F(WindowTest, ACaptureThatThrowsIsLoggedAndLeavesTheWindowCapturable) {
    auto w = add(editor, MakeRect(0, 0, 120, 80));
    auto failing = std::make_shared<std::atomic<bool>>(true);  // outlives the body, as the hook may
    std::atomic<bool>& fail = *failing;
    desk->setCaptureHook([failing](desktop::WindowNumber) -> ImagePtr {
        if (*failing) throw std::runtime_error("no memory for the picture");
        return picture(7, 7);
    });
    w->updatePreview();
    env.loop().waitForBackground();
    run();
    EXPECT_EQ(w->previewImage(), nullptr);
    EXPECT_TRUE(env.logged("no memory for the picture"));
    fail = false;
    w->updatePreview();
    env.loop().waitForBackground();
    run();
    ASSERT_NE(w->previewImage(), nullptr);
    EXPECT_EQ(w->previewImage()->size(), MakeSize(7, 7));
    desk->setCaptureHook(nullptr);
}

TEST_F(WindowTest, GeneratedPictureFallsBackToTheKeptOne) {
    auto w = add(editor, MakeRect(0, 0, 120, 80));
    auto plain = SIWindow::initWithAXElement(AXElement::application(editor->processIdentifier()));
    EXPECT_EQ(plain->generatePreviewImage(), nullptr);  // no number, no capture
    EXPECT_EQ(desk->callCount("capture"), 0u);

    auto captured = w->generatePreviewImage();
    ASSERT_NE(captured, nullptr);
    // Minimised windows have no picture of their own: the last one kept serves.
    desk->setMinimized(w->win_id(), true);
    EXPECT_EQ(w->generatePreviewImage(), captured);
    auto kept = picture(3, 3);
    w->app()->saveImage(kept, w->win_id());
    EXPECT_EQ(w->generatePreviewImage(), kept);

    auto fresh = add(viewer, MakeRect(0, 0, 50, 50));
    desk->setMinimized(fresh->win_id(), true);
    EXPECT_EQ(fresh->generatePreviewImage(), nullptr);
}

TEST_F(WindowTest, ScreenshotsOfOnePixelAreDropped) {
    auto w = add(editor, MakeRect(0, 0, 1, 1));
    EXPECT_EQ(w->getScreenshotOfWindowId(w->win_id()), nullptr);
    EXPECT_NE(w->nnImage(), nullptr);
    EXPECT_EQ(w->getScreenshotOfWindowId(0), nullptr);
}

}  // namespace
}  // namespace qs
