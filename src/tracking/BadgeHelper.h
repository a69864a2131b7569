#pragma once
// Other applications' badges (unread counts and the like), read every 2.5 seconds while
// "ShowAppBadges" is on and announced to the dock cells with the notification
// "changeBadge". Its object is a dictionary {"app_pid": process identifier (integer),
// "badgeText": the label, "" for none}, one per regular, manageable application per scan,
// changed or not; a nil object means badges were switched off and every badge clears.

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/desktop/Accessibility.h"
#include "platform/desktop/Workspace.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/RunLoop.h"

namespace qs {

class BadgeHelper : public Object, public KeyValueObserver {
public:
    // Made once; starts the polling when "ShowAppBadges" is on.
    static std::shared_ptr<BadgeHelper> sharedInstance();
    // Tests: stops the polling and the observation and drops the shared instance.
    static void resetSharedInstanceForTesting();

    BadgeHelper() = default;
    ~BadgeHelper() override;
    std::string className() const override { return "BadgeHelper"; }

    // Observes "values.ShowAppBadges", then startMonitoringBadges.
    void init();
    void observeValueForKeyPath(const std::string& keyPath, Object* object, const KeyValueChange& change,
                                void* context) override;
    void startMonitoringBadges();
    // Queues one scan on the main queue.
    void timerFireMethod();
    // Whether the poll timer runs.
    bool isPolling() const;

    // The label an application shows: its launcher-entry count, "" when none.
    std::string getBadgeCountForRunningApplication(const RunningApplication& app);
    // The status label of the system dock's item with that title; nullopt when there is
    // no such dock, item or label.
    std::optional<std::string> getBadgeCountForItemWithName(const std::string& name);
    std::optional<desktop::AXElement> getDockItemWithName(const std::string& name);
    // Among the element's children, the `index`-th (from 0) with that role.
    std::optional<desktop::AXElement> copyAXUIElementFrom(const desktop::AXElement& element, const std::string& role,
                                                          int index);
    std::optional<desktop::AXValue> getValueForKey(const std::string& key, const desktop::AXElement& element);

private:
    void scan();

    std::unique_ptr<Timer> timer_;
    bool observing_ = false;
    std::recursive_mutex lock_;
};

}  // namespace qs
