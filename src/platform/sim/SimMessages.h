#pragma once
// Simulated user messages: every message the program tells the user, recorded.

#include <mutex>
#include <vector>

#include "platform/desktop/UserMessages.h"

namespace qs::sim {

class SimMessages : public desktop::UserMessages {
public:
    void show(const desktop::UserMessage& message) override;
    std::vector<desktop::UserMessage> shown() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<desktop::UserMessage> shown_;
};

}  // namespace qs::sim
