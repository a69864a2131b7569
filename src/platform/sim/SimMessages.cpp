#include "platform/sim/SimMessages.h"

namespace qs::sim {

void SimMessages::show(const desktop::UserMessage& message) {
    std::lock_guard lock(mutex_);
    shown_.push_back(message);
}

std::vector<desktop::UserMessage> SimMessages::shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

void SimMessages::clear() {
    std::lock_guard lock(mutex_);
    shown_.clear();
}

}  // namespace qs::sim
