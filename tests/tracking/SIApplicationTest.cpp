#include <gmock/gmock.h>

#include "platform/foundation/NotificationCenter.h"
#include "tracking/SIApplication.h"
#include "tracking/SIWindow.h"
#include "tracking/TrackingFixture.h"

namespace qs {
namespace {

using desktop::AXElement;
using test::TrackingTest;

class ApplicationTest : public TrackingTest {
protected:
    void SetUp() override {
        TrackingTest::SetUp();
        running = desk->addApplication(0, "Editor", "org.example.Editor");
        pid = running->processIdentifier();
        app = SIApplication::applicationWithRunningApplication(running);
        run();
    }
    std::shared_ptr<SIWindow> windowFor(desktop::WindowNumber n) {
        return SIWindow::initWithAXElement(AXElement::windowOf(pid, n));
    }

    RunningApplicationPtr running;
    desktop::Pid pid = 0;
    std::shared_ptr<SIApplication> app;
};

TEST_F(ApplicationTest, WindowListIsCachedUntilDropped) {
    EXPECT_TRUE(app->windows().empty());
    auto n = desk->addWindow(pid, "one", MakeRect(0, 0, 100, 100));
    EXPECT_TRUE(app->windows().empty());
    app->dropWindowsCache();
    ASSERT_EQ(app->windows().size(), 1u);
    EXPECT_EQ(app->windows()[0]->win_id(), n);
    // Front to back.
    auto m = desk->addWindow(pid, "two", MakeRect(0, 0, 100, 100));
    app->dropWindowsCache();
    ASSERT_EQ(app->windows().size(), 2u);
    EXPECT_EQ(app->windows()[0]->win_id(), m);
    app->addWindowsToWindowsCache();  // a list is cached: nothing happens
    EXPECT_EQ(app->windows().size(), 2u);
}

TEST_F(ApplicationTest, VisibleWindowsLeaveOutMinimisedDialogsAndHiddenApplications) {
    auto normal = desk->addWindow(pid, "normal", MakeRect(0, 0, 100, 100));
    auto minimised = desk->addWindow(pid, "minimised", MakeRect(0, 0, 100, 100));
    desk->setMinimized(minimised, true);
    sim::SimDesktop::Window dialog;
    dialog.pid = pid;
    dialog.subrole = desktop::kAXDialogSubrole;
    desk->addWindow(dialog);
    auto visible = app->visibleWindows();
    ASSERT_EQ(visible.size(), 1u);
    EXPECT_EQ(visible[0]->win_id(), normal);

    app->hide();
    EXPECT_TRUE(app->isHidden());
    EXPECT_TRUE(app->visibleWindows().empty());
    app->unhide();
    EXPECT_FALSE(app->isHidden());
}

TEST_F(ApplicationTest, OneObserverServesEveryObservation) {
    auto a = desk->addWindow(pid, "a", MakeRect(0, 0, 100, 100));
    auto b = desk->addWindow(pid, "b", MakeRect(0, 0, 100, 100));
    EXPECT_FALSE(app->hasObserver());
    EXPECT_TRUE(app->observeNotification("AXWindowResized", windowFor(a), [](auto&) {}));
    EXPECT_TRUE(app->observeNotification("AXWindowResized", windowFor(b), [](auto&) {}));
    EXPECT_EQ(desk->observersCreated(), 1);
}

TEST_F(ApplicationTest, AFailedObserverRecordsNothing) {
    auto a = desk->addWindow(pid, "a", MakeRect(0, 0, 100, 100));
    desk->setObserversFail(true);
    EXPECT_FALSE(app->observeNotification("AXWindowResized", windowFor(a), [](auto&) {}));
    EXPECT_TRUE(app->observationsForElement(windowFor(a)->axElementRef()).empty());
    // A registration for an element that is gone fails, but stays recorded.
    desk->setObserversFail(false);
    desk->removeWindow(a);
    EXPECT_FALSE(app->observeNotification("AXWindowResized", windowFor(a), [](auto&) {}));
    EXPECT_EQ(app->observationsForElement(windowFor(a)->axElementRef()).size(), 1u);
}

TEST_F(ApplicationTest, DuplicateObservationsAreBothCalledAndAllGoTogether) {
    auto a = desk->addWindow(pid, "a", MakeRect(0, 0, 100, 100));
    int first = 0, second = 0, minimised = 0;
    std::shared_ptr<SIWindow> told;
    app->observeNotification("AXWindowResized", windowFor(a), [&](auto& w) {
        ++first;
        told = w;
    });
    app->observeNotification("AXWindowResized", windowFor(a), [&](auto&) { ++second; });
    app->observeNotification("AXWindowMiniaturized", windowFor(a), [&](auto&) { ++minimised; });
    desk->moveWindow(a, MakeRect(0, 0, 300, 300));
    run();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    ASSERT_NE(told, nullptr);
    EXPECT_EQ(told->win_id(), a);

    // One name removes every observation of the element, and the registrations with
    // them: later notifications reach nothing.
    app->unobserveNotification("AXWindowMiniaturized", windowFor(a));
    EXPECT_TRUE(app->observationsForElement(windowFor(a)->axElementRef()).empty());
    EXPECT_EQ(desk->registrationCount(), 0u);
    desk->moveWindow(a, MakeRect(0, 0, 100, 100));
    desk->setMinimized(a, true);
    run();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(minimised, 0);
}

TEST_F(ApplicationTest, NotificationsQueuedBeforeAnUnobserveAreNotDelivered) {
    auto a = desk->addWindow(pid, "a", MakeRect(0, 0, 100, 100));
    int calls = 0;
    app->observeNotification("AXWindowResized", windowFor(a), [&](auto&) { ++calls; });
    desk->moveWindow(a, MakeRect(0, 0, 300, 300));  // queued
    app->unobserveNotification("AXWindowResized", windowFor(a));
    run();
    EXPECT_EQ(calls, 0);
}

TEST_F(ApplicationTest, DestroyedWindowsAreReportedWhileTheApplicationRuns) {
    auto a = desk->addWindow(pid, "a", MakeRect(0, 0, 100, 100));
    std::shared_ptr<SIWindow> gone;
    std::shared_ptr<SIWindow> created;
    app->observeNotification("AXUIElementDestroyed", windowFor(a), [&](auto& w) { gone = w; });
    app->observeNotification("AXWindowCreated", app, [&](auto& w) { created = w; });
    auto b = desk->addWindow(pid, "b", MakeRect(0, 0, 100, 100));
    desk->removeWindow(a);
    run();
    ASSERT_NE(gone, nullptr);
    EXPECT_EQ(gone->win_id(), a);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->win_id(), b);
}

TEST_F(ApplicationTest, NoHandlerRunsForAnApplicationThatHasQuit) {
    auto a = desk->addWindow(pid, "a", MakeRect(0, 0, 100, 100));
    int calls = 0;
    app->observeNotification("AXUIElementDestroyed", windowFor(a), [&](auto&) { ++calls; });
    desk->terminateApplication(pid);  // its windows go with it
    run();
    EXPECT_EQ(calls, 0);
}

TEST_F(ApplicationTest, DestroyingTheWrapperEndsItsRegistrations) {
    auto a = desk->addWindow(pid, "a", MakeRect(0, 0, 100, 100));
    int calls = 0;
    app->observeNotification("AXWindowResized", windowFor(a), [&](auto&) { ++calls; });
    app->observeNotification("AXWindowMoved", windowFor(a), [&](auto&) { ++calls; });
    EXPECT_EQ(desk->registrationCount(), 2u);
    desk->moveWindow(a, MakeRect(5, 5, 300, 300));  // queued before the wrapper goes
    app.reset();
    EXPECT_EQ(desk->registrationCount(), 0u);
    run();
    EXPECT_EQ(calls, 0);
}

TEST_F(ApplicationTest, ImageCacheIsSharedByTheWrappersOfOneProcess) {
    EXPECT_EQ(app->cachedImageForWindowID(7), nullptr);
    auto image = std::make_shared<Image>(QImage(4, 4, QImage::Format_ARGB32));
    app->saveImage(image, 7);
    EXPECT_EQ(app->cachedImageForWindowID(7), image);
    EXPECT_EQ(SIApplication::applicationWithRunningApplication(running)->cachedImageForWindowID(7), image);
    // The pictures go when the application quits.
    desk->terminateApplication(pid);
    run();
    EXPECT_EQ(SIApplication::applicationWithProcessIdentifier(pid)->cachedImageForWindowID(7), nullptr);
}

TEST_F(ApplicationTest, NameIconAndActionsComeFromTheRunningApplication) {
    EXPECT_EQ(app->appName(), "Editor");
    EXPECT_NE(app->icon(), nullptr);
    EXPECT_EQ(desk->callCount("iconForFile /usr/share/applications/org.example.Editor.desktop"), 1u);
    EXPECT_EQ(app->title(), "Editor");
    app->kill();
    EXPECT_EQ(desk->callCount("terminate " + std::to_string(pid)), 1u);
    run();
    EXPECT_EQ(app->appName(), "");
    EXPECT_EQ(app->icon(), nullptr);
    app->hide();  // does nothing for an application that has quit
    EXPECT_EQ(desk->callCount("hide"), 0u);
}

TEST_F(ApplicationTest, RunningApplicationsFollowTheWorkspaceAndTrust) {
    desk->addApplication(0, "Viewer");
    auto apps = SIApplication::runningApplications();
    ASSERT_EQ(apps.size(), 2u);
    EXPECT_EQ(apps[0]->appName(), "Editor");
    EXPECT_EQ(apps[1]->appName(), "Viewer");
    desk->setTrusted(false);
    EXPECT_TRUE(SIApplication::runningApplications().empty());
}

TEST_F(ApplicationTest, WorkspaceTellsOfLaunchesAndQuits) {
    std::vector<std::string> seen;
    auto token = NotificationCenter::workspaceCenter().addObserver(this, "", nullptr, [&](const Notification& n) {
        auto a = n.userInfo.at(NSWorkspaceApplicationKey).objectAs<RunningApplication>();
        seen.push_back(n.name + " " + (a ? a->localizedName() : "?"));
    });
    desktop::DesktopEntry entry;
    entry.id = "org.example.Viewer";
    entry.path = "/usr/share/applications/org.example.Viewer.desktop";
    entry.name = "Viewer";
    desk->addDesktopEntry(entry);
    EXPECT_TRUE(desk->launchAppWithBundleIdentifier("org.example.Viewer", 0));
    EXPECT_FALSE(desk->launchAppWithBundleIdentifier("org.example.Missing", 0));
    run();
    auto viewers = RunningApplication::runningApplicationsWithBundleIdentifier("org.example.Viewer");
    ASSERT_EQ(viewers.size(), 1u);
    EXPECT_TRUE(RunningApplication::runningApplicationsWithBundleIdentifier("com.apple.dock").empty());
    EXPECT_TRUE(viewers[0]->terminate());
    run();
    EXPECT_TRUE(viewers[0]->isTerminated());
    EXPECT_FALSE(viewers[0]->terminate());
    EXPECT_THAT(seen, ::testing::Contains("NSWorkspaceDidLaunchApplicationNotification Viewer"));
    EXPECT_THAT(seen, ::testing::Contains("NSWorkspaceDidTerminateApplicationNotification Viewer"));
    NotificationCenter::workspaceCenter().removeObserver(token);
}

}  // namespace
}  // namespace qs
