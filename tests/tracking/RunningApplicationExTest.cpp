// The window list of one tracked application: most recent first, kept current by the
// accessibility notifications, the window server's order and activations, and torn
// down completely when tracking stops.

#include <gmock/gmock.h>

#include "platform/foundation/NotificationCenter.h"
#include "tracking/RunningApplicationEx.h"
#include "tracking/TrackingFixture.h"

namespace qs {
namespace {

using desktop::AXElement;
using test::TrackingTest;
using Numbers = std::vector<desktop::WindowNumber>;

class RunningApplicationExTest : public TrackingTest {
protected:
    void SetUp() override {
        TrackingTest::SetUp();
        addScreen(MakeRect(0, 0, 1440, 900));
        running = desk->addApplication(0, "Editor", "org.example.Editor");
        pid = running->processIdentifier();
        other = desk->addApplication(0, "Other", "org.example.Other");
        run();
    }
    void TearDown() override {
        ex.reset();
        RunningApplicationEx::setWindowChangedHandler(nullptr);
    }

    void track() {
        ex = RunningApplicationEx::runningApplicationWithProcessIdentifier(pid);
        ASSERT_TRUE(ex);
        ex->initWindowsMonitoring();
        windowsChanges = 0;
        observation = ex->observe("windows", KeyValueObservingOptionNew, [this](const KeyValueChange&) { ++windowsChanges; });
    }
    Numbers listed() const {
        Numbers out;
        for (auto& w : ex->windows()) out.push_back(w->windowID());
        return out;
    }
    desktop::WindowNumber window(const std::string& title, bool announce = true) {
        sim::SimDesktop::Window w;
        w.pid = pid;
        w.title = title;
        w.frame = MakeRect(100, 100, 400, 300);
        return desk->addWindow(w, announce);
    }
    void advance(double seconds) {
        env.loop().advance(seconds);
        env.loop().waitForBackground();
        env.loop().runPending();
    }

    RunningApplicationPtr running, other;
    desktop::Pid pid = 0;
    RunningApplicationExPtr ex;
    KeyValueObservation observation;
    int windowsChanges = 0;
};

TEST_F(RunningApplicationExTest, IsMadeOnlyForARunningProcessAndIsEqualToIt) {
    EXPECT_EQ(RunningApplicationEx::runningApplicationWithProcessIdentifier(999999), nullptr);
    track();
    EXPECT_EQ(ex->className(), "RunningApplicationEx");
    EXPECT_TRUE(ex->isKindOfClass("NSRunningApplication"));
    EXPECT_TRUE(ex->isEqual(running.get()));
    EXPECT_TRUE(running->isEqual(ex.get()));
    EXPECT_EQ(ex->application(), running);
    EXPECT_EQ(ex->localizedName(), "Editor");
    EXPECT_TRUE(ex->activeIDCache().empty());
}

TEST_F(RunningApplicationExTest, StartingListsTheNormalWindowsAndSortsThemAfterSixTenths) {
    auto a = window("a");
    auto b = window("b");  // b is in front
    sim::SimDesktop::Window dialog;
    dialog.pid = pid;
    dialog.subrole = desktop::kAXDialogSubrole;
    desk->addWindow(dialog);
    run();
    EXPECT_FALSE(RunningApplicationEx::runningApplicationWithProcessIdentifier(pid)->hasWindowList());
    track();
    // Added one by one at the front: the accessibility order reversed until the sort.
    EXPECT_EQ(listed(), (Numbers{a, b}));
    advance(0.59);
    EXPECT_EQ(listed(), (Numbers{a, b}));
    advance(0.02);
    EXPECT_EQ(listed(), (Numbers{b, a}));
    EXPECT_EQ(windowsChanges, 1);
}

TEST_F(RunningApplicationExTest, ACreatedThenFocusedWindowIsListedOnceInFront) {
    auto a = window("a");
    run();
    track();
    advance(1.0);
    auto b = window("b");
    run();
    EXPECT_EQ(listed(), (Numbers{b, a}));
    desk->focus(a);
    run();
    EXPECT_EQ(listed(), (Numbers{a, b}));
    desk->focus(b);
    run();
    EXPECT_EQ(listed(), (Numbers{b, a}));
    // Focusing a window that is not tracked (a dialog) re-sorts but moves nothing else.
    sim::SimDesktop::Window dialog;
    dialog.pid = pid;
    dialog.subrole = desktop::kAXDialogSubrole;
    auto d = desk->addWindow(dialog);
    run();
    desk->raise(a);
    desk->focus(d);
    run();
    EXPECT_EQ(listed(), (Numbers{a, b}));
}

TEST_F(RunningApplicationExTest, MinimisedWindowsFollowTheOnScreenOnesInTheirOrder) {
    auto a = window("a");
    auto b = window("b");
    auto c = window("c");
    run();
    track();
    desk->addWindow(other->processIdentifier(), "between", MakeRect(0, 0, 50, 50));
    desk->raise(b);
    desk->setMinimized(a, true);
    run();
    EXPECT_TRUE(ex->minimized());
    auto byId = [&](desktop::WindowNumber n) {
        for (auto& w : ex->windows())
            if (w->windowID() == n) return w;
        return SIWindowPtr();
    };
    ex->setWindows({byId(a), byId(b), byId(c)});
    EXPECT_EQ(listed(), (Numbers{a, b, c}));
    auto sorted = ex->allWindows();
    ASSERT_EQ(sorted.size(), 3u);
    EXPECT_EQ(sorted[0]->windowID(), b);
    EXPECT_EQ(sorted[1]->windowID(), c);
    EXPECT_EQ(sorted[2]->windowID(), a);
    int before = windowsChanges;
    ex->manualSortWindows();
    EXPECT_EQ(listed(), (Numbers{b, c, a}));
    EXPECT_EQ(windowsChanges, before + 1);
    ex->manualSortWindows();  // nothing moved: nothing announced
    EXPECT_EQ(windowsChanges, before + 1);
    desk->setMinimized(a, false);
    run();
    EXPECT_FALSE(ex->minimized());
}

TEST_F(RunningApplicationExTest, AnyActivationRescansTwiceWithoutDuplicates) {
    auto a = window("a");
    run();
    track();
    advance(1.0);
    auto missed = window("missed", false);  // no notification told of it
    sim::SimDesktop::Window dialog;
    dialog.pid = pid;
    dialog.subrole = desktop::kAXDialogSubrole;
    desk->addWindow(dialog, false);
    auto foreign = desk->addWindow(other->processIdentifier(), "x", MakeRect(0, 0, 50, 50));
    desk->focus(foreign);  // another application is activated
    run();
    EXPECT_EQ(listed(), (Numbers{a}));
    desk->clearRecords();
    advance(0.2);
    EXPECT_EQ(listed(), (Numbers{missed, a}));
    advance(0.3);
    EXPECT_EQ(listed(), (Numbers{missed, a}));
    EXPECT_EQ(desk->callCount("copy app " + std::to_string(pid) + " AXWindows"), 2u);
    advance(1.0);  // the first picture of the window the rescan found
    EXPECT_EQ(desk->callCount("copy app " + std::to_string(pid) + " AXWindows"), 2u);
    EXPECT_EQ(ex->pendingCallCount(), 0u);
}

TEST_F(RunningApplicationExTest, DeadWindowsAreRemovedAfterTheApplicationIsActivated) {
    auto a = window("a");
    auto b = window("b");
    auto c = window("c");
    run();
    track();
    advance(1.0);
    ASSERT_EQ(listed(), (Numbers{c, b, a}));
    desk->removeWindow(b, false);  // gone without a word
    auto foreign = desk->addWindow(other->processIdentifier(), "x", MakeRect(0, 0, 50, 50));
    desk->focus(foreign);
    run();
    desk->focus(c);  // our application is activated again
    run();
    int before = windowsChanges;
    advance(0.2);
    EXPECT_EQ(listed(), (Numbers{c, a}));
    EXPECT_EQ(windowsChanges, before + 1);
}

TEST_F(RunningApplicationExTest, ADestroyedWindowLeavesAndIsNoLongerObserved) {
    auto a = window("a");
    auto b = window("b");
    run();
    track();
    advance(1.0);
    size_t registrations = desk->registrationCount();
    desk->removeWindow(b);
    run();
    EXPECT_EQ(listed(), (Numbers{a}));
    // Its four observations go: destroyed, minimised, restored, resized.
    EXPECT_EQ(desk->registrationCount(), registrations - 4);
    // A late resize of the dead window reaches nobody: no picture is asked for.
    desk->clearRecords();
    desk->postNotification(AXElement::windowOf(pid, b), desktop::kAXWindowResizedNotification,
                           AXElement::windowOf(pid, b));
    run();
    env.loop().waitForBackground();
    EXPECT_EQ(desk->callCount("capture"), 0u);
    // A resize of a live one refreshes its picture.
    desk->moveWindow(a, MakeRect(0, 0, 600, 500));
    run();
    env.loop().waitForBackground();
    EXPECT_EQ(desk->callCount("capture " + std::to_string(a)), 1u);
}

TEST_F(RunningApplicationExTest, CreatedAndResizedWindowsReachTheWindowChangedHandlerAsTheTrackedObjects) {
    std::vector<SIWindowPtr> told;
    RunningApplicationEx::setWindowChangedHandler([&](const SIWindowPtr& w) { told.push_back(w); });
    auto a = window("a");
    run();
    track();
    advance(1.0);
    EXPECT_TRUE(told.empty());  // the windows there at the start are not told of
    auto b = window("b");
    run();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0]->windowID(), b);
    EXPECT_EQ(told[0], ex->windows().front());  // the listed object, not the notification's wrapper
    desk->moveWindow(a, MakeRect(0, 0, 600, 500));
    run();
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[1], ex->windows()[1]);
    // Without a handler a resize tells nobody.
    RunningApplicationEx::setWindowChangedHandler(nullptr);
    desk->moveWindow(a, MakeRect(0, 0, 700, 500));
    run();
    EXPECT_EQ(told.size(), 2u);
}

TEST_F(RunningApplicationExTest, PicturesAreAskedForNewWindowsAndThoseWithout) {
    auto a = window("a");
    run();
    track();
    advance(1.0);
    ASSERT_EQ(ex->windows().size(), 1u);
    EXPECT_TRUE(ex->windows()[0]->previewImage());
    desk->clearRecords();
    ex->upratePreviews();  // every window has one
    env.loop().waitForBackground();
    EXPECT_EQ(desk->callCount("capture"), 0u);
    ex->windows()[0]->setPreviewImage(nullptr);
    ex->upratePreviews();
    env.loop().waitForBackground();
    EXPECT_EQ(desk->callCount("capture " + std::to_string(a)), 1u);
}

TEST_F(RunningApplicationExTest, RestoringActivatesTheMostRecentWindowAndFilesOpenWithTheApplication) {
    track();
    ex->tryRestore();  // no window: nothing
    EXPECT_EQ(desk->callCount("activate"), 0u);
    auto a = window("a");
    auto b = window("b");
    auto foreign = desk->addWindow(other->processIdentifier(), "x", MakeRect(0, 0, 50, 50));
    desk->focus(foreign);
    run();
    ASSERT_EQ(listed(), (Numbers{b, a}));
    ex->tryRestore();
    EXPECT_EQ(desk->activeWindow(), b);

    ex->openFiles({URL::fileURLWithPath("/tmp/one.txt"), URL::fileURLWithPath("/tmp/two.txt")});
    auto calls = desk->calls();
    std::vector<std::string> opens;
    for (auto& c : calls)
        if (c.rfind("openFile", 0) == 0) opens.push_back(c);
    EXPECT_EQ(opens, (std::vector<std::string>{
                         "openFile /tmp/one.txt with /usr/share/applications/org.example.Editor.desktop",
                         "openFile /tmp/two.txt with /usr/share/applications/org.example.Editor.desktop"}));
}

TEST_F(RunningApplicationExTest, StoppingEndsEveryObservationAndDelayedCall) {
    window("a");
    run();
    size_t registrationsBefore = desk->registrationCount();
    size_t workspaceObservers = NotificationCenter::workspaceCenter().observerCount();
    size_t timers = env.loop().timerCount();
    track();
    EXPECT_GT(desk->registrationCount(), registrationsBefore);
    EXPECT_EQ(NotificationCenter::workspaceCenter().observerCount(), workspaceObservers + 1);
    auto foreign = desk->addWindow(other->processIdentifier(), "x", MakeRect(0, 0, 50, 50));
    desk->focus(foreign);
    run();
    EXPECT_GT(env.loop().timerCount(), timers);

    ex->stopMonitoring();
    EXPECT_EQ(desk->registrationCount(), registrationsBefore);
    EXPECT_EQ(NotificationCenter::workspaceCenter().observerCount(), workspaceObservers);
    EXPECT_EQ(env.loop().timerCount(), timers);
    // Nothing moves any more.
    window("late");
    run();
    advance(1.0);
    EXPECT_EQ(ex->windows().size(), 1u);

    // Dropping a tracking object ends it the same way.
    ex->initWindowsMonitoring();
    EXPECT_GT(desk->registrationCount(), registrationsBefore);
    observation.invalidate();
    ex.reset();
    EXPECT_EQ(desk->registrationCount(), registrationsBefore);
    EXPECT_EQ(NotificationCenter::workspaceCenter().observerCount(), workspaceObservers);
}


TEST_F(RunningApplicationExTest, AddedWindowsArePicturedTogetherASecondLaterAndOnlyWhileTheyLast) {
    track();
    advance(1.0);
    desk->clearRecords();
    auto a = window("a");
    auto brief = window("brief");
    run();
    ASSERT_EQ(listed(), (Numbers{brief, a}));
    env.loop().waitForBackground();
    EXPECT_EQ(desk->callCount("capture"), 0u) << "a window that has just come has not drawn itself yet";
    desk->removeWindow(brief);  // gone before anyone saw it
    run();
    advance(0.5);
    EXPECT_EQ(desk->callCount("capture"), 0u);
    advance(0.6);
    EXPECT_EQ(desk->callCount("capture " + std::to_string(a)), 1u);
    EXPECT_EQ(desk->callCount("capture " + std::to_string(brief)), 0u);
    EXPECT_NE(ex->windows().front()->previewImage(), nullptr);
    // A later window gets its own second; the first is not taken again.
    auto c = window("c");
    run();
    advance(1.1);
    EXPECT_EQ(desk->callCount("capture " + std::to_string(c)), 1u);
    EXPECT_EQ(desk->callCount("capture " + std::to_string(a)), 1u);
    EXPECT_EQ(ex->pendingCallCount(), 0u);
}

}  // namespace
}  // namespace qs
