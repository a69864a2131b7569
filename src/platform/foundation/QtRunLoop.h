#pragma once
// The program's main run loop, on the Qt event loop (QTimer, queued invocations and
// QThreadPool for background work). Construct it on the main thread after the
// QCoreApplication exists.

#include <memory>
#include <unordered_map>

#include "platform/foundation/RunLoop.h"

class QObject;
class QTimer;

namespace qs {

class QtRunLoop : public RunLoop {
public:
    QtRunLoop();
    ~QtRunLoop() override;

    double now() const override;
    void post(std::function<void()> fn) override;
    TimerId schedule(double delay, double interval, std::function<void()> fn) override;
    void cancel(TimerId id) override;
    bool isScheduled(TimerId id) const override;
    void dispatchBackground(std::function<void()> fn) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace qs
