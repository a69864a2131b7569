#include "platform/ui/EventQueue.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"

namespace qs {

namespace {

std::mutex& queueMutex() {
    static std::mutex m;
    return m;
}

std::shared_ptr<EventQueue>& installed() {
    static std::shared_ptr<EventQueue> queue;
    return queue;
}

bool matches(uint64_t mask, int type) { return type > 0 && type < 64 && (mask & NSEventMaskFromType(type)); }

bool isInputEvent(QEvent::Type t) {
    switch (t) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel: return true;
        default: return false;
    }
}

// Catches the first matching event for the nested loop; later matching events that reach
// it before the loop has ended are posted again behind it, in order.
class Catcher : public QObject {
public:
    explicit Catcher(uint64_t mask) : mask_(mask) {}

    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (!receiver->isWidgetType() || !isInputEvent(event->type())) return false;
        Event e = Event::fromQt(*event, static_cast<QWidget*>(receiver));
        if (!matches(mask_, e.type)) return false;
        if (caught) {
            QCoreApplication::postEvent(receiver, event->clone(), Qt::HighEventPriority);
            return true;
        }
        caught = e;
        this->receiver = receiver;
        original.reset(event->clone());
        if (loop) loop->quit();
        return true;
    }

    std::optional<Event> caught;
    QPointer<QObject> receiver;
    std::unique_ptr<QEvent> original;
    QEventLoop* loop = nullptr;

private:
    uint64_t mask_;
};

}  // namespace

EventQueue& EventQueue::current() {
    std::lock_guard lock(queueMutex());
    auto& q = installed();
    if (!q) q = std::make_shared<QtEventQueue>();
    return *q;
}

void EventQueue::setCurrent(std::shared_ptr<EventQueue> queue) {
    std::lock_guard lock(queueMutex());
    installed() = std::move(queue);
}

std::optional<Event> QtEventQueue::nextEvent(uint64_t mask, double deadline, bool dequeue) {
    auto* app = QCoreApplication::instance();
    if (!app) return std::nullopt;
    Catcher catcher(mask);
    app->installEventFilter(&catcher);
    const double wait = std::isnan(deadline) ? 0.0 : deadline - RunLoop::main().now();
    if (wait <= 0.0) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    } else {
        QEventLoop loop;
        catcher.loop = &loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        if (std::isfinite(wait)) timer.start(int(std::min(wait * 1000.0, 2.0e9)));
        // An event already queued ends the wait at once.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (!catcher.caught) loop.exec();
        catcher.loop = nullptr;
    }
    app->removeEventFilter(&catcher);
    if (catcher.caught && !dequeue && catcher.receiver && catcher.original)
        QCoreApplication::postEvent(catcher.receiver, catcher.original.release(), Qt::HighEventPriority);
    return catcher.caught;
}

void ScriptedEventQueue::post(const Event& event, double time) {
    // Arrival order: by time, in posting order for equal times.
    auto at = std::upper_bound(entries_.begin(), entries_.end(), time,
                               [](double t, const Entry& e) { return t < e.time; });
    entries_.insert(at, Entry{time, event});
}

std::optional<size_t> ScriptedEventQueue::find(uint64_t mask, double until) const {
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].time > until) break;
        if (matches(mask, entries_[i].event.type)) return i;
    }
    return std::nullopt;
}

std::optional<Event> ScriptedEventQueue::nextEvent(uint64_t mask, double deadline, bool dequeue) {
    ++requests_;
    RunLoop& loop = RunLoop::main();
    auto* manual = dynamic_cast<ManualRunLoop*>(&loop);
    if (std::isinf(deadline) && deadline > 0 && !find(mask, kDistantFuture)) {
        log("a scripted event queue was asked to wait forever with nothing to come: it answers no event");
        return std::nullopt;
    }
    for (;;) {
        const double now = loop.now();
        if (auto i = find(mask, now)) {
            Event e = entries_[*i].event;
            if (dequeue) entries_.erase(entries_.begin() + long(*i));
            return e;
        }
        if (!(deadline > now) || !manual) return std::nullopt;
        // The clock moves to the next arrival or the deadline, whichever is first.
        double target = deadline;
        if (auto i = find(mask, kDistantFuture)) target = std::min(target, entries_[*i].time);
        manual->advance(std::min(target - now, 0.05));
    }
}

std::vector<Event> ScriptedEventQueue::pending() const {
    std::vector<Event> out;
    for (const auto& e : entries_) out.push_back(e.event);
    return out;
}

}  // namespace qs
