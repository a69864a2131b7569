#pragma once
// The main run loop: queued calls (the main queue), delayed calls, repeating timers
// and background work whose result is handed back to the main thread.
//
// The program installs a QtRunLoop (backed by the Qt event loop); tests install a
// ManualRunLoop whose clock only moves with advance(seconds).

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace qs {

class RunLoop {
public:
    using TimerId = uint64_t;  // 0 is never a valid id

    RunLoop();
    virtual ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    // The installed main run loop. Before anything is installed a ManualRunLoop is used.
    static RunLoop& main();
    static void setMain(std::shared_ptr<RunLoop> loop);

    // Seconds on this loop's monotonic clock.
    virtual double now() const = 0;
    // Queue fn for a later turn of the main loop (callable from any thread).
    virtual void post(std::function<void()> fn) = 0;
    // One-shot (interval 0) or repeating timer; the first call after `delay` seconds.
    virtual TimerId schedule(double delay, double interval, std::function<void()> fn) = 0;
    virtual void cancel(TimerId id) = 0;
    virtual bool isScheduled(TimerId id) const = 0;
    // Run fn on a background thread.
    virtual void dispatchBackground(std::function<void()> fn) = 0;

    TimerId after(double seconds, std::function<void()> fn) { return schedule(seconds, 0.0, std::move(fn)); }
    TimerId every(double seconds, std::function<void()> fn) { return schedule(seconds, seconds, std::move(fn)); }

    // Run work on a background thread, then done(result) on the main loop.
    template <class R>
    void runInBackground(std::function<R()> work, std::function<void(R)> done) {
        dispatchBackground([this, work = std::move(work), done = std::move(done)]() mutable {
            auto result = std::make_shared<R>(work());
            post([done = std::move(done), result]() mutable { done(std::move(*result)); });
        });
    }

    // Whether `loop` is a run loop that still exists (a timer may outlive its loop).
    static bool isLive(const RunLoop* loop);

protected:
    // Timer ids are unique across every loop of the process.
    static TimerId makeTimerId();
    // Runs one background task; an exception it throws is logged, never let out.
    static void runBackgroundTask(std::function<void()>& fn);
};

// A repeating or one-shot timer object (the platform's scheduled timer), cancelled
// by invalidate() or on destruction.
class Timer {
public:
    static std::unique_ptr<Timer> scheduledTimer(double interval, bool repeats, std::function<void()> fn,
                                                 RunLoop& loop = RunLoop::main());
    ~Timer();
    void invalidate();
    bool isValid() const;
    double timeInterval() const { return interval_; }

private:
    Timer(RunLoop& loop, double interval) : loop_(loop), interval_(interval) {}
    RunLoop& loop_;
    double interval_;
    RunLoop::TimerId id_ = 0;
    bool repeats_ = false;
    std::shared_ptr<bool> fired_;  // set by a one-shot timer when it has run
};

// A run loop driven by hand. Posted calls and timers run only inside runPending() and
// advance(); background work runs on real threads, and its results are posted here.
class ManualRunLoop : public RunLoop {
public:
    ManualRunLoop();
    ~ManualRunLoop() override;

    double now() const override;
    void post(std::function<void()> fn) override;
    TimerId schedule(double delay, double interval, std::function<void()> fn) override;
    void cancel(TimerId id) override;
    bool isScheduled(TimerId id) const override;
    void dispatchBackground(std::function<void()> fn) override;

    // Run the posted calls (and those they post) without moving the clock.
    void runPending();
    // Move the clock forward, running every posted call and every timer that falls due,
    // in time order (a repeating timer fires once per interval that passes).
    void advance(double seconds);
    // Block until every background task has finished (their results are then posted).
    void waitForBackground();
    size_t pendingCount() const;
    size_t timerCount() const;

private:
    struct TimerEntry {
        double due;
        double interval;
        uint64_t seq;
        std::shared_ptr<std::function<void()>> fn;
    };
    mutable std::mutex mutex_;
    std::condition_variable backgroundDone_;
    std::vector<std::function<void()>> posted_;
    std::map<TimerId, TimerEntry> timers_;
    double now_ = 0.0;
    TimerId nextId_ = 1;
    uint64_t seq_ = 0;
    int backgroundRunning_ = 0;
};

}  // namespace qs
