#pragma once
// A step taken a little after the first of a flurry of X events, on the toolkit's event
// loop (where the events are read), so that the whole flurry is handled at once. Asking
// again while the step is due changes nothing. Without a toolkit loop the step runs on
// the run loop's next turn.

#include <functional>
#include <memory>

class QTimer;

namespace qs::x11 {

class SettleTimer {
public:
    SettleTimer(double seconds, std::function<void()> step);
    ~SettleTimer();
    SettleTimer(const SettleTimer&) = delete;
    SettleTimer& operator=(const SettleTimer&) = delete;

    // Main thread only.
    void request();

private:
    int ms_;
    std::function<void()> step_;
    std::unique_ptr<QTimer> timer_;
    bool posted_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qs::x11
