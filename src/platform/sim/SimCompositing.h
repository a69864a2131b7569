#pragma once
// A compositing manager for tests: off unless a test switches it on. Each question is
// counted.

#include "platform/desktop/Compositing.h"

namespace qs::sim {

class SimCompositing : public desktop::Compositing {
public:
    void setRunning(bool running) { running_ = running; }
    int queries() const { return queries_; }

    bool isCompositingManagerRunning() override {
        ++queries_;
        return running_;
    }

private:
    bool running_ = false;
    int queries_ = 0;
};

}  // namespace qs::sim
