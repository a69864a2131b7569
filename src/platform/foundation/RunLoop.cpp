#include "platform/foundation/RunLoop.h"

#include <atomic>
#include <cmath>
#include <exception>
#include <system_error>
#include <thread>
#include <unordered_set>

#include "platform/foundation/Log.h"

namespace qs {

namespace {

// Every loop that exists, so that a timer outliving its loop does not touch it. Never
// destroyed: loops may be torn down during static destruction.
struct LiveLoops {
    std::mutex mutex;
    std::unordered_set<const RunLoop*> loops;
    static LiveLoops& shared() {
        static LiveLoops* live = new LiveLoops;
        return *live;
    }
};

struct MainLoopHolder {
    std::mutex mutex;
    std::shared_ptr<RunLoop> loop;
    static MainLoopHolder& shared() {
        static MainLoopHolder* holder = new MainLoopHolder;
        return *holder;
    }
};

std::atomic<RunLoop::TimerId> nextTimerId{1};

// Repeating timers never fire more often than this (as the platform's timers).
constexpr double kMinimumInterval = 0.0001;
// Clock sums such as 0.1 + 0.2 must still reach a timer due at 0.3.
constexpr double kClockTolerance = 1e-9;


}  // namespace

RunLoop::RunLoop() {
    auto& live = LiveLoops::shared();
    std::lock_guard lock(live.mutex);
    live.loops.insert(this);
}

RunLoop::~RunLoop() {
    auto& live = LiveLoops::shared();
    std::lock_guard lock(live.mutex);
    live.loops.erase(this);
}

bool RunLoop::isLive(const RunLoop* loop) {
    auto& live = LiveLoops::shared();
    std::lock_guard lock(live.mutex);
    return live.loops.count(loop) != 0;
}

void RunLoop::runBackgroundTask(std::function<void()>& fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        log("a background task failed: ", e.what());
    } catch (...) {
        log("a background task failed with an unknown exception");
    }
}

RunLoop::TimerId RunLoop::makeTimerId() { return nextTimerId.fetch_add(1); }

RunLoop& RunLoop::main() {
    auto& holder = MainLoopHolder::shared();
    std::lock_guard lock(holder.mutex);
    if (!holder.loop) holder.loop = std::make_shared<ManualRunLoop>();
    return *holder.loop;
}

void RunLoop::setMain(std::shared_ptr<RunLoop> loop) {
    std::shared_ptr<RunLoop> previous;
    {
        auto& holder = MainLoopHolder::shared();
        std::lock_guard lock(holder.mutex);
        previous = std::move(holder.loop);
        holder.loop = std::move(loop);
    }
    // The previous loop (and whatever its queued calls hold) goes away outside the lock.
    previous.reset();
}

// ---------------------------------------------------------------------------------

std::unique_ptr<Timer> Timer::scheduledTimer(double interval, bool repeats, std::function<void()> fn,
                                             RunLoop& loop) {
    std::unique_ptr<Timer> timer(new Timer(loop, interval));
    timer->repeats_ = repeats;
    timer->fired_ = std::make_shared<bool>(false);
    if (repeats) {
        double every = interval > kMinimumInterval ? interval : kMinimumInterval;
        timer->id_ = loop.schedule(interval, every, std::move(fn));
    } else {
        timer->id_ = loop.schedule(interval, 0.0, [fired = timer->fired_, fn = std::move(fn)] {
            *fired = true;
            if (fn) fn();
        });
    }
    return timer;
}

Timer::~Timer() { invalidate(); }

void Timer::invalidate() {
    if (id_ != 0 && RunLoop::isLive(&loop_)) loop_.cancel(id_);
    id_ = 0;
}

bool Timer::isValid() const {
    if (id_ == 0 || (fired_ && *fired_)) return false;
    return RunLoop::isLive(&loop_) && loop_.isScheduled(id_);
}

// ---------------------------------------------------------------------------------

ManualRunLoop::ManualRunLoop() = default;

ManualRunLoop::~ManualRunLoop() {
    // Background tasks post back here: they must be done before the loop goes.
    std::unique_lock lock(mutex_);
    backgroundDone_.wait(lock, [this] { return backgroundRunning_ == 0; });
}

double ManualRunLoop::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

void ManualRunLoop::post(std::function<void()> fn) {
    if (!fn) return;
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(fn));
}

RunLoop::TimerId ManualRunLoop::schedule(double delay, double interval, std::function<void()> fn) {
    if (!(delay >= 0.0)) delay = 0.0;  // negative or NaN: as soon as possible
    if (!(interval > 0.0))
        interval = 0.0;
    else if (interval < kMinimumInterval)
        interval = kMinimumInterval;
    TimerId id = makeTimerId();
    std::lock_guard lock(mutex_);
    timers_[id] = TimerEntry{now_ + delay, interval, seq_++, std::make_shared<std::function<void()>>(std::move(fn))};
    return id;
}

void ManualRunLoop::cancel(TimerId id) {
    std::shared_ptr<std::function<void()>> doomed;  // released outside the lock
    std::lock_guard lock(mutex_);
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    doomed = std::move(it->second.fn);
    timers_.erase(it);
}

bool ManualRunLoop::isScheduled(TimerId id) const {
    std::lock_guard lock(mutex_);
    return timers_.count(id) != 0;
}

void ManualRunLoop::dispatchBackground(std::function<void()> fn) {
    if (!fn) return;
    {
        std::lock_guard lock(mutex_);
        ++backgroundRunning_;
    }
    auto finished = [this] {
        std::lock_guard lock(mutex_);
        --backgroundRunning_;
        backgroundDone_.notify_all();
    };
    try {
        std::thread([fn = std::move(fn), finished]() mutable {
            runBackgroundTask(fn);
            fn = nullptr;  // captures are released before the loop may go away
            finished();
        }).detach();
    } catch (const std::system_error& e) {
        log("no thread for a background task (", e.what(), "); running it in place");
        runBackgroundTask(fn);
        finished();
    }
}

void ManualRunLoop::runPending() {
    for (int round = 0;; ++round) {
        std::vector<std::function<void()>> batch;
        {
            std::lock_guard lock(mutex_);
            batch.swap(posted_);
        }
        if (batch.empty()) return;
        if (round == 100000) {
            log("queued calls keep queueing more; the rest waits for the next turn");
            std::lock_guard lock(mutex_);
            posted_.insert(posted_.begin(), std::make_move_iterator(batch.begin()),
                           std::make_move_iterator(batch.end()));
            return;
        }
        for (auto& fn : batch) fn();
    }
}

void ManualRunLoop::advance(double seconds) {
    if (!(seconds >= 0.0)) {
        log("the manual clock cannot go back (", seconds, " s asked)");
        seconds = 0.0;
    }
    double target;
    {
        std::lock_guard lock(mutex_);
        target = now_ + seconds;
    }
    while (true) {
        runPending();  // queued calls come first at every instant
        std::shared_ptr<std::function<void()>> fn;
        {
            std::lock_guard lock(mutex_);
            auto best = timers_.end();
            for (auto it = timers_.begin(); it != timers_.end(); ++it) {
                const TimerEntry& t = it->second;
                if (t.due > target + kClockTolerance) continue;
                if (best == timers_.end() || t.due < best->second.due ||
                    (t.due == best->second.due && t.seq < best->second.seq))
                    best = it;
            }
            if (best == timers_.end()) {
                now_ = target;
                return;
            }
            now_ = std::max(now_, std::min(best->second.due, target));
            fn = best->second.fn;
            if (best->second.interval > 0.0) {
                best->second.due += best->second.interval;
                best->second.seq = seq_++;
            } else {
                timers_.erase(best);
            }
        }
        if (fn && *fn) (*fn)();
    }
}

void ManualRunLoop::waitForBackground() {
    std::unique_lock lock(mutex_);
    backgroundDone_.wait(lock, [this] { return backgroundRunning_ == 0; });
}

size_t ManualRunLoop::pendingCount() const {
    std::lock_guard lock(mutex_);
    return posted_.size();
}

size_t ManualRunLoop::timerCount() const {
    std::lock_guard lock(mutex_);
    return timers_.size();
}

}  // namespace qs
