#include "platform/x11/SettleTimer.h"

#include <algorithm>
#include <cmath>

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include "platform/foundation/RunLoop.h"

namespace qs::x11 {

SettleTimer::SettleTimer(double seconds, std::function<void()> step)
    : ms_(int(std::lround(std::max(0.0, seconds) * 1000.0))), step_(std::move(step)) {}

SettleTimer::~SettleTimer() = default;

void SettleTimer::request() {
    auto* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread()) {
        if (!timer_) {
            timer_ = std::make_unique<QTimer>();
            timer_->setSingleShot(true);
            timer_->setTimerType(Qt::PreciseTimer);
            QObject::connect(timer_.get(), &QTimer::timeout, [this] { step_(); });
        }
        if (!timer_->isActive()) timer_->start(ms_);
        return;
    }
    if (posted_) return;
    posted_ = true;
    std::weak_ptr<bool> alive = alive_;
    RunLoop::main().post([this, alive] {
        if (alive.expired()) return;
        posted_ = false;
        step_();
    });
}

}  // namespace qs::x11
