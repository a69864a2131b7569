#pragma once
// One number moved from a start value to an end value over a duration, on the main run
// loop: a tick per screen refresh (60 per second) while it moves, none otherwise, and
// the end value set exactly when the duration is over. The curve eases in and out, as
// the platform's implicit animations do. Tests move it with the manual clock.

#include <functional>

#include "platform/foundation/RunLoop.h"

namespace qs {

class ValueAnimation {
public:
    // The platform's default duration of an implicit animation.
    static constexpr double kDefaultDuration = 0.25;
    static constexpr double kFrameInterval = 1.0 / 60.0;

    ValueAnimation() = default;
    ~ValueAnimation();
    ValueAnimation(const ValueAnimation&) = delete;
    ValueAnimation& operator=(const ValueAnimation&) = delete;

    // Stops a running animation where it stands, then moves from `from` to `to`, calling
    // apply with each new value. A duration of 0 or less applies `to` at once.
    void start(double from, double to, double duration, std::function<void(double)> apply);
    // Stops without applying anything further.
    void stop();
    bool isRunning() const { return tick_ != 0; }
    double target() const { return to_; }

private:
    void step(bool last);

    RunLoop* loop_ = nullptr;
    RunLoop::TimerId tick_ = 0;
    RunLoop::TimerId end_ = 0;
    double from_ = 0.0, to_ = 0.0, begin_ = 0.0, duration_ = 0.0;
    std::function<void(double)> apply_;
};

}  // namespace qs
