#include "platform/foundation/QtRunLoop.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QThreadPool>
#include <QTimerEvent>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>

#include "platform/foundation/Log.h"

namespace qs {

namespace {
int toMilliseconds(double seconds) {
    if (!(seconds > 0.0)) return 0;
    double ms = std::round(seconds * 1000.0);
    return ms > 2.0e9 ? 2000000000 : int(ms);
}
}  // namespace

// Timers are the main-thread object's own Qt timers (startTimer): a one-shot timer costs
// no timer object and no deferred deletion, which a program that schedules many short
// steps would otherwise pay for at every one of them.
class TimerHost : public QObject {
public:
    std::function<void(int)> fire;

protected:
    void timerEvent(QTimerEvent* event) override {
        if (fire) fire(event->timerId());
    }
};

struct QtRunLoop::Impl {
    struct Slot {
        int qtTimer = 0;  // 0 until started on the main thread
        double interval = 0.0;
        bool first = true;  // the first firing comes after the delay, the others after the interval
        int startedMs = 0;
        std::shared_ptr<std::function<void()>> fn;
    };

    TimerHost* context = nullptr;  // lives in the main thread; queued calls run on it
    QElapsedTimer clock;
    mutable std::mutex mutex;
    std::unordered_map<TimerId, Slot> entries;
    std::unordered_map<int, TimerId> byQtTimer;  // main thread only
    std::condition_variable backgroundDone;
    int backgroundRunning = 0;

    bool onMainThread() const { return QThread::currentThread() == context->thread(); }

    static Qt::TimerType typeFor(double delay, double interval) {
        // Second-scale timers may be coalesced by the system; short ones stay precise.
        const bool repeats = interval > 0.0;
        return (delay >= 1.0 && (!repeats || interval >= 1.0)) ? Qt::CoarseTimer : Qt::PreciseTimer;
    }

    // Starts the Qt timer of a slot; main thread only.
    void start(TimerId id, double delay) {
        std::lock_guard lock(mutex);
        auto it = entries.find(id);
        if (it == entries.end()) return;  // cancelled before it got here
        const int ms = toMilliseconds(delay);
        const int t = context->startTimer(ms, typeFor(delay, it->second.interval));
        if (t == 0) {
            log("run loop: no timer could be started");
            return;
        }
        it->second.qtTimer = t;
        it->second.startedMs = ms;
        byQtTimer[t] = id;
    }

    void stopQtTimer(int t) {
        byQtTimer.erase(t);
        context->killTimer(t);
    }

    void fired(int t) {
        std::shared_ptr<std::function<void()>> fn;
        {
            std::lock_guard lock(mutex);
            auto owner = byQtTimer.find(t);
            if (owner == byQtTimer.end()) return;
            auto it = entries.find(owner->second);
            if (it == entries.end()) {  // cancelled from another thread: its kill may still be on the way
                stopQtTimer(t);
                return;
            }
            Slot& slot = it->second;
            fn = slot.fn;
            if (!(slot.interval > 0.0)) {
                stopQtTimer(t);
                entries.erase(it);
            } else if (slot.first) {
                slot.first = false;
                const int intervalMs = std::max(1, toMilliseconds(slot.interval));
                if (intervalMs != slot.startedMs) {
                    stopQtTimer(t);
                    const int next = context->startTimer(intervalMs, typeFor(slot.interval, slot.interval));
                    slot.qtTimer = next;
                    if (next != 0) byQtTimer[next] = it->first;
                }
            }
        }
        if (fn && *fn) (*fn)();
    }
};

QtRunLoop::QtRunLoop() : d_(std::make_unique<Impl>()) {
    d_->context = new TimerHost;
    Impl* d = d_.get();
    d_->context->fire = [d](int t) { d->fired(t); };
    d_->clock.start();
}

QtRunLoop::~QtRunLoop() {
    // Background tasks post back here: they must be done before the loop goes.
    {
        std::unique_lock lock(d_->mutex);
        d_->backgroundDone.wait(lock, [this] { return d_->backgroundRunning == 0; });
        d_->entries.clear();
    }
    delete d_->context;  // its timers and any queued calls go with it
}

double QtRunLoop::now() const { return double(d_->clock.nsecsElapsed()) / 1e9; }

void QtRunLoop::post(std::function<void()> fn) {
    if (!fn) return;
    QMetaObject::invokeMethod(d_->context, [fn = std::move(fn)] { fn(); }, Qt::QueuedConnection);
}

RunLoop::TimerId QtRunLoop::schedule(double delay, double interval, std::function<void()> fn) {
    if (!(delay >= 0.0)) delay = 0.0;
    if (!(interval > 0.0))
        interval = 0.0;
    else if (interval < 0.001)
        interval = 0.001;  // QTimer resolution; a repeating 0 ms timer would spin
    TimerId id = makeTimerId();
    {
        std::lock_guard lock(d_->mutex);
        Impl::Slot& slot = d_->entries[id];
        slot.interval = interval;
        slot.fn = std::make_shared<std::function<void()>>(std::move(fn));
    }
    if (d_->onMainThread()) {
        d_->start(id, delay);
    } else {
        Impl* d = d_.get();
        QMetaObject::invokeMethod(d->context, [d, id, delay] { d->start(id, delay); }, Qt::QueuedConnection);
    }
    return id;
}

void QtRunLoop::cancel(TimerId id) {
    int timer = 0;
    std::shared_ptr<std::function<void()>> doomed;
    {
        std::lock_guard lock(d_->mutex);
        auto it = d_->entries.find(id);
        if (it == d_->entries.end()) return;
        timer = it->second.qtTimer;
        doomed = std::move(it->second.fn);
        d_->entries.erase(it);
        if (timer && d_->onMainThread()) {
            d_->stopQtTimer(timer);
            return;
        }
    }
    if (!timer) return;  // not started yet: the start finds no slot
    Impl* d = d_.get();
    QMetaObject::invokeMethod(d->context, [d, timer] {
        std::lock_guard lock(d->mutex);
        // Unless it fired meanwhile (and was killed then) and its number went to another.
        auto owner = d->byQtTimer.find(timer);
        if (owner != d->byQtTimer.end() && !d->entries.count(owner->second)) {
            d->stopQtTimer(timer);
        }
    }, Qt::QueuedConnection);
}

bool QtRunLoop::isScheduled(TimerId id) const {
    std::lock_guard lock(d_->mutex);
    return d_->entries.count(id) != 0;
}

void QtRunLoop::dispatchBackground(std::function<void()> fn) {
    if (!fn) return;
    {
        std::lock_guard lock(d_->mutex);
        ++d_->backgroundRunning;
    }
    Impl* d = d_.get();
    QThreadPool::globalInstance()->start([d, fn = std::move(fn)]() mutable {
        runBackgroundTask(fn);
        fn = nullptr;
        std::lock_guard lock(d->mutex);
        --d->backgroundRunning;
        d->backgroundDone.notify_all();
    });
}

}  // namespace qs
