#include "platform/ui/ValueAnimation.h"

#include <algorithm>

namespace qs {

ValueAnimation::~ValueAnimation() { stop(); }

void ValueAnimation::start(double from, double to, double duration, std::function<void(double)> apply) {
    stop();
    to_ = to;
    if (duration <= 0.0) {
        if (apply) apply(to);
        return;
    }
    loop_ = &RunLoop::main();
    from_ = from;
    duration_ = duration;
    begin_ = loop_->now();
    apply_ = std::move(apply);
    tick_ = loop_->every(kFrameInterval, [this] { step(false); });
    end_ = loop_->after(duration, [this] { step(true); });
}

void ValueAnimation::stop() {
    if (loop_ && RunLoop::isLive(loop_)) {
        if (tick_) loop_->cancel(tick_);
        if (end_) loop_->cancel(end_);
    }
    tick_ = end_ = 0;
    loop_ = nullptr;
    apply_ = nullptr;
}

void ValueAnimation::step(bool last) {
    double t = last ? 1.0 : std::clamp((loop_->now() - begin_) / duration_, 0.0, 1.0);
    double eased = t * t * (3.0 - 2.0 * t);
    double value = last ? to_ : from_ + (to_ - from_) * eased;
    // apply may start another animation or destroy this one: take it out first.
    auto apply = apply_;
    if (last) stop();
    if (apply) apply(value);
}

}  // namespace qs
