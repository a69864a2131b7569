#include "platform/foundation/QtRunLoop.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

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

struct QtRunLoop::Impl {
    struct Slot {
        QTimer* timer = nullptr;  // null until created on the main thread
        double interval = 0.0;
        std::shared_ptr<std::function<void()>> fn;
    };

    QObject* context = nullptr;  // lives in the main thread; queued calls run on it
    QElapsedTimer clock;
    mutable std::mutex mutex;
    std::unordered_map<TimerId, Slot> entries;
    std::condition_variable backgroundDone;
    int backgroundRunning = 0;

    bool onMainThread() const { return QThread::currentThread() == context->thread(); }

    // Creates and starts the QTimer of a slot; main thread only.
    void start(TimerId id, double delay) {
        QTimer* timer;
        double interval;
        {
            std::lock_guard lock(mutex);
            auto it = entries.find(id);
            if (it == entries.end()) return;  // cancelled before it got here
            interval = it->second.interval;
            timer = it->second.timer = new QTimer(context);
        }
        const bool repeats = interval > 0.0;
        const int intervalMs = std::max(1, toMilliseconds(interval));
        timer->setSingleShot(!repeats);
        // Second-scale timers may be coalesced by the system; short ones stay precise.
        timer->setTimerType((delay >= 1.0 && (!repeats || interval >= 1.0)) ? Qt::CoarseTimer : Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, timer, [this, id, timer, repeats, intervalMs] {
            std::shared_ptr<std::function<void()>> fn;
            {
                std::lock_guard lock(mutex);
                auto it = entries.find(id);
                if (it == entries.end()) return;
                fn = it->second.fn;
                if (!repeats) entries.erase(it);
            }
            if (!repeats)
                timer->deleteLater();
            else if (timer->interval() != intervalMs)
                timer->setInterval(intervalMs);  // the first call came after the delay
            if (fn && *fn) (*fn)();
        });
        timer->start(toMilliseconds(delay));
    }
};

QtRunLoop::QtRunLoop() : d_(std::make_unique<Impl>()) {
    d_->context = new QObject;
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
        d_->entries[id] = Impl::Slot{nullptr, interval, std::make_shared<std::function<void()>>(std::move(fn))};
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
    QTimer* timer = nullptr;
    std::shared_ptr<std::function<void()>> doomed;
    {
        std::lock_guard lock(d_->mutex);
        auto it = d_->entries.find(id);
        if (it == d_->entries.end()) return;
        timer = it->second.timer;
        doomed = std::move(it->second.fn);
        d_->entries.erase(it);
    }
    if (!timer) return;  // not started yet: the start finds no slot
    if (d_->onMainThread()) {
        timer->stop();
        timer->deleteLater();
    } else {
        QMetaObject::invokeMethod(timer, [timer] {
            timer->stop();
            timer->deleteLater();
        }, Qt::QueuedConnection);
    }
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
