#pragma once
// Badges for tests: the launcher-entry store itself, fed by the test with update() as
// the bus listener would feed it, counting the labels asked for.

#include <atomic>

#include "platform/desktop/Badges.h"

namespace qs::sim {

class SimBadges : public desktop::LauncherEntryBadges {
public:
    // Shorthand for a visible count (`visible` NO hides it).
    void setCount(const std::string& desktopId, int64_t count, bool visible = true) {
        update("application://" + desktopId + ".desktop", {count, visible});
    }
    std::string statusLabel(const std::string& desktopId) override {
        ++queries_;
        return LauncherEntryBadges::statusLabel(desktopId);
    }
    int queries() const { return queries_; }

private:
    std::atomic<int> queries_{0};
};

}  // namespace qs::sim
