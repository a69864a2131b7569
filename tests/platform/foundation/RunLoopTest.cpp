#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/QtRunLoop.h"
#include "platform/foundation/RunLoop.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

class RunLoopTest : public test::IsolatedTest {
protected:
    ManualRunLoop& loop = env.loop();
    std::vector<std::string> log;
};

TEST_F(RunLoopTest, DelayedCallRunsExactlyWhenDue) {
    EXPECT_EQ(&RunLoop::main(), &loop);
    int runs = 0;
    auto id = RunLoop::main().after(0.5, [&] { ++runs; });
    EXPECT_TRUE(loop.isScheduled(id));
    loop.advance(0.49);
    EXPECT_EQ(runs, 0);
    loop.advance(0.01);
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(loop.isScheduled(id));
    loop.advance(10);
    EXPECT_EQ(runs, 1);
}

TEST_F(RunLoopTest, RepeatingTimerFiresOncePerInterval) {
    std::vector<double> at;
    auto id = loop.every(2.0, [&] { at.push_back(loop.now()); });
    loop.advance(6.0);
    EXPECT_EQ(at, (std::vector<double>{2.0, 4.0, 6.0}));
    // Many small steps land on the same instants as one big one.
    at.clear();
    for (int i = 0; i < 30; ++i) loop.advance(0.1);
    EXPECT_EQ(at.size(), 1u);
    loop.cancel(id);
    loop.advance(10);
    EXPECT_EQ(at.size(), 1u);

    int polls = 0;
    loop.every(0.3, [&] { ++polls; });
    for (int i = 0; i < 9; ++i) loop.advance(0.1);
    EXPECT_EQ(polls, 3) << "0.1 steps must not miss a 0.3 poll by rounding";
}

TEST_F(RunLoopTest, OrderOfPostedCallsAndTimers) {
    loop.after(1.0, [&] {
        log.push_back("timer1");
        loop.post([&] { log.push_back("posted-by-timer1"); });
        loop.after(0.5, [&] { log.push_back("scheduled-by-timer1"); });
        loop.after(5.0, [&] { log.push_back("too-late"); });
    });
    loop.after(1.0, [&] { log.push_back("timer2"); });
    loop.post([&] {
        log.push_back("posted1");
        loop.post([&] { log.push_back("posted-by-posted1"); });
    });
    loop.post([&] { log.push_back("posted2"); });
    EXPECT_EQ(loop.pendingCount(), 2u);
    loop.advance(2.0);
    EXPECT_EQ(log, (std::vector<std::string>{"posted1", "posted2", "posted-by-posted1", "timer1", "posted-by-timer1",
                                             "timer2", "scheduled-by-timer1"}));
    EXPECT_EQ(loop.now(), 2.0);
    EXPECT_EQ(loop.timerCount(), 1u);
}

TEST_F(RunLoopTest, CancellingFromInsideCallbacks) {
    int fires = 0;
    RunLoop::TimerId self = 0, other = 0;
    self = loop.every(1.0, [&] {
        if (++fires == 2) loop.cancel(self);
        loop.cancel(other);
    });
    other = loop.after(1.5, [&] { log.push_back("other"); });
    loop.advance(10);
    EXPECT_EQ(fires, 2);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(loop.timerCount(), 0u);

    loop.advance(-1);
    EXPECT_EQ(loop.now(), 10.0);
    EXPECT_TRUE(env.logged("cannot go back"));
}

TEST_F(RunLoopTest, TimerObjects) {
    int oneShot = 0, repeating = 0;
    auto once = Timer::scheduledTimer(1.0, false, [&] { ++oneShot; });
    auto again = Timer::scheduledTimer(0.5, true, [&] { ++repeating; });
    EXPECT_TRUE(once->isValid());
    EXPECT_DOUBLE_EQ(once->timeInterval(), 1.0);
    loop.advance(1.0);
    EXPECT_EQ(oneShot, 1);
    EXPECT_FALSE(once->isValid()) << "a one-shot timer is spent once it fired";
    EXPECT_EQ(repeating, 2);
    EXPECT_TRUE(again->isValid());
    again->invalidate();
    EXPECT_FALSE(again->isValid());
    loop.advance(5.0);
    EXPECT_EQ(repeating, 2);

    // A zero-interval repeating timer still moves forward instead of spinning.
    int spins = 0;
    auto fast = Timer::scheduledTimer(0.0, true, [&] { ++spins; });
    loop.advance(0.01);
    EXPECT_GE(spins, 90);
    EXPECT_LE(spins, 101);

    // A timer may outlive its loop (a new main loop is installed between tests).
    auto orphan = std::make_shared<ManualRunLoop>();
    auto survivor = Timer::scheduledTimer(1.0, true, [] {}, *orphan);
    orphan.reset();
    EXPECT_FALSE(survivor->isValid());
    survivor.reset();
}

TEST_F(RunLoopTest, BackgroundResultComesBackOnTheMainLoop) {
    const auto mainThread = std::this_thread::get_id();
    std::thread::id workThread, doneThread;
    int result = 0;
    loop.runInBackground<int>(
        [&] {
            workThread = std::this_thread::get_id();
            return 42;
        },
        [&](int r) {
            doneThread = std::this_thread::get_id();
            result = r;
        });
    loop.waitForBackground();
    EXPECT_EQ(result, 0) << "delivered only when the main loop turns";
    loop.runPending();
    EXPECT_EQ(result, 42);
    EXPECT_NE(workThread, mainThread);
    EXPECT_EQ(doneThread, mainThread);

    loop.dispatchBackground([] { throw std::runtime_error("disk gone"); });
    loop.waitForBackground();
    EXPECT_TRUE(env.logged("disk gone"));
}

// Runs the loop until something quits it, or fails the test after five seconds.
void runGuarded(QEventLoop& events) {
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &events, [&] {
        ADD_FAILURE() << "the Qt run loop did not deliver in time";
        events.quit();
    });
    guard.start(5000);
    events.exec();
}

TEST(QtRunLoopTest, RunsOnTheQtEventLoop) {
    QtRunLoop qt;
    QEventLoop events;
    std::vector<std::string> seen;
    std::atomic<bool> fromWorker{false};
    int ticks = 0;
    RunLoop::TimerId ticker = qt.every(0.01, [&] {
        if (++ticks == 3) qt.cancel(ticker);
    });
    RunLoop::TimerId cancelled = qt.after(0.02, [&] { seen.push_back("cancelled"); });
    qt.cancel(cancelled);
    qt.post([&] { seen.push_back("posted"); });
    qt.runInBackground<int>([] { return 7; }, [&](int v) { seen.push_back("background " + std::to_string(v)); });
    std::thread([&] { qt.post([&] { fromWorker = true; }); }).join();
    double start = qt.now();
    qt.after(0.1, [&] {
        seen.push_back("after");
        events.quit();
    });
    runGuarded(events);

    EXPECT_GE(qt.now() - start, 0.09);
    EXPECT_TRUE(fromWorker.load());
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(qt.isScheduled(ticker));
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), "posted");
    EXPECT_EQ(seen.back(), "after");
    EXPECT_NE(std::find(seen.begin(), seen.end(), "background 7"), seen.end());
    EXPECT_EQ(std::find(seen.begin(), seen.end(), "cancelled"), seen.end());
}

TEST(QtRunLoopTest, TimersFromOtherThreadsAndFirstDelaysOtherThanTheInterval) {
    QtRunLoop qt;
    QEventLoop events;
    // A repeating timer whose first call comes later than its interval.
    std::vector<double> ticks;
    const double start = qt.now();
    RunLoop::TimerId ticker = qt.schedule(0.05, 0.01, [&] {
        ticks.push_back(qt.now() - start);
        if (ticks.size() == 3) qt.cancel(ticker);
    });
    // Many one-shot timers: each runs once.
    int shots = 0;
    for (int i = 0; i < 200; ++i) qt.after(0.0, [&] { ++shots; });
    // Timers made on a worker, one of them cancelled there before or after it started
    // (whichever the race gives), one cancelled there long after it started.
    std::atomic<int> fromWorker{0}, cancelledRan{0}, lateCancelledRan{0};
    RunLoop::TimerId late = 0;
    std::thread([&] {
        qt.after(0.02, [&] { ++fromWorker; });
        RunLoop::TimerId soon = qt.after(0.03, [&] { ++cancelledRan; });
        qt.cancel(soon);
        late = qt.after(0.5, [&] { ++lateCancelledRan; });
    }).join();
    qt.after(0.1, [&] {
        std::thread([&] { qt.cancel(late); }).join();
        EXPECT_FALSE(qt.isScheduled(late));
    });
    qt.after(0.7, [&] { events.quit(); });
    runGuarded(events);

    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_GE(ticks[0], 0.045) << "the first call waits for the delay, not the interval";
    EXPECT_FALSE(qt.isScheduled(ticker));
    EXPECT_EQ(shots, 200);
    EXPECT_EQ(fromWorker.load(), 1);
    EXPECT_EQ(cancelledRan.load(), 0);
    EXPECT_EQ(lateCancelledRan.load(), 0);
}

}  // namespace
}  // namespace qs
