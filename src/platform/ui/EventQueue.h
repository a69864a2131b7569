#pragma once
// The application's queue of input events, as the tracking code reads it: the next event
// of some types, waiting until a deadline, either taken from the queue or left first in
// line for the normal handling. The application's queue runs a nested event loop on
// Qt's events; tests install a scripted queue whose waits move the manual clock.

#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/Event.h"

namespace qs {

// Deadlines on the main run loop's clock (RunLoop::main().now()).
inline constexpr double kDistantPast = -std::numeric_limits<double>::infinity();
inline constexpr double kDistantFuture = std::numeric_limits<double>::infinity();

class EventQueue {
public:
    virtual ~EventQueue() = default;

    // The next event whose type is in `mask`, waiting until `deadline` (kDistantPast: no
    // waiting, only what is queued already). With `dequeue` the event is taken from the
    // queue; without, it stays first in line. nullopt when none came by the deadline.
    virtual std::optional<Event> nextEvent(uint64_t mask, double deadline, bool dequeue) = 0;

    // The installed queue; the application's own (QtEventQueue) when none is installed.
    static EventQueue& current();
    // Installs a queue (nullptr: back to the application's own).
    static void setCurrent(std::shared_ptr<EventQueue> queue);
};

// Qt's events: a nested event loop that catches the mouse and key events addressed to
// the program's widgets until one matches or the deadline passes. An event that is only
// looked at is posted again, ahead of the others, to the widget it was meant for. Events
// of other types go on to their widgets as usual while the loop runs.
class QtEventQueue : public EventQueue {
public:
    std::optional<Event> nextEvent(uint64_t mask, double deadline, bool dequeue) override;
};

// A queue played from a script, for tests. Each event arrives at its time on the main run
// loop's clock; waiting for one moves a ManualRunLoop's clock forward (in steps of at
// most 0.05 s, so timers that fall due on the way run, and events they post are seen).
class ScriptedEventQueue : public EventQueue {
public:
    // `time` at or before now: the event is queued already.
    void post(const Event& event, double time = kDistantPast);
    std::optional<Event> nextEvent(uint64_t mask, double deadline, bool dequeue) override;

    // What is still queued, in order, and how many times the queue was asked.
    std::vector<Event> pending() const;
    size_t requestCount() const { return requests_; }

private:
    struct Entry {
        double time;
        Event event;
    };
    std::optional<size_t> find(uint64_t mask, double until) const;
    std::deque<Entry> entries_;
    size_t requests_ = 0;
};

}  // namespace qs
