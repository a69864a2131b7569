#include "tracking/BadgeHelper.h"

#include "platform/desktop/Badges.h"
#include "platform/desktop/Desktop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "tracking/AppMonitoringService.h"

namespace qs {

namespace {

char myContext[] = "myContext";
constexpr const char* kShowAppBadgesKeyPath = "values.ShowAppBadges";
constexpr double kPollInterval = 2.5;
constexpr const char* kSystemDockIdentifier = "com.apple.dock";

std::shared_ptr<BadgeHelper>& sharedSlot() {
    static std::shared_ptr<BadgeHelper> instance;
    return instance;
}

std::optional<std::string> stringOf(const std::optional<desktop::AXValue>& value) {
    if (!value) return std::nullopt;
    if (auto* s = std::get_if<std::string>(&*value)) return *s;
    return std::nullopt;
}

}  // namespace

std::shared_ptr<BadgeHelper> BadgeHelper::sharedInstance() {
    // Made on the main thread by the dock start; the slot is filled before init so that
    // a call made from inside init answers this same instance.
    auto& slot = sharedSlot();
    if (!slot) {
        slot = std::make_shared<BadgeHelper>();
        slot->init();
    }
    return slot;
}

void BadgeHelper::resetSharedInstanceForTesting() {
    auto helper = std::move(sharedSlot());
    sharedSlot().reset();
}

BadgeHelper::~BadgeHelper() {
    if (observing_)
        UserDefaultsController::sharedUserDefaultsController().removeObserver(this, kShowAppBadgesKeyPath, myContext);
    if (timer_) timer_->invalidate();
}

void BadgeHelper::init() {
    UserDefaultsController::sharedUserDefaultsController().addObserver(
        this, kShowAppBadgesKeyPath, KeyValueObservingOptionNew | KeyValueObservingOptionOld, myContext);
    observing_ = true;
    startMonitoringBadges();
}

void BadgeHelper::observeValueForKeyPath(const std::string& keyPath, Object*, const KeyValueChange&, void* context) {
    if (keyPath == kShowAppBadgesKeyPath && context == myContext) startMonitoringBadges();
}

void BadgeHelper::startMonitoringBadges() {
    if (UserDefaults::standardUserDefaults().boolForKey("ShowAppBadges")) {
        // At most one poll timer.
        if (timer_) timer_->invalidate();
        std::weak_ptr<BadgeHelper> weak = std::static_pointer_cast<BadgeHelper>(shared_from_this());
        timer_ = Timer::scheduledTimer(kPollInterval, true, [weak] {
            if (auto self = weak.lock()) self->timerFireMethod();
        });
        timerFireMethod();  // the first scan follows at once
    } else {
        NotificationCenter::defaultCenter().postNotificationName("changeBadge");
        if (timer_ && timer_->isValid()) timer_->invalidate();
    }
}

bool BadgeHelper::isPolling() const { return timer_ && timer_->isValid(); }

void BadgeHelper::timerFireMethod() {
    std::weak_ptr<BadgeHelper> weak = std::static_pointer_cast<BadgeHelper>(shared_from_this());
    RunLoop::main().post([weak] {
        if (auto self = weak.lock()) self->scan();
    });
}

void BadgeHelper::scan() {
    std::lock_guard guard(lock_);
    auto* workspace = desktop::services().workspace.get();
    if (!workspace) return;
    auto self = workspace->currentApplication();
    for (const auto& app : workspace->runningApplications()) {
        if (!app || app->activationPolicy() != NSApplicationActivationPolicyRegular) continue;
        if (self && app->isEqual(self.get())) continue;
        if (!Persistent::isManageable(*app)) continue;

        std::string label = getBadgeCountForRunningApplication(*app);
        if (label.empty()) {
            // Two applications of the system that show their count only on the system
            // dock's item.
            if (app->localizedName() == "Messages") label = getBadgeCountForItemWithName("Messages").value_or("");
            if (app->localizedName() == "Reminders") label = getBadgeCountForItemWithName("Reminders").value_or("");
        }
        Dictionary badge{{"app_pid", Value(int32_t(app->processIdentifier()))}, {"badgeText", Value(label)}};
        NotificationCenter::defaultCenter().postNotificationName("changeBadge", Value(std::move(badge)));
    }
}

std::string BadgeHelper::getBadgeCountForRunningApplication(const RunningApplication& app) {
    auto* source = desktop::services().badges.get();
    // No source, or no bus to read from: nothing is asked, every label is empty.
    if (!source || !source->available() || app.bundleIdentifier().empty()) return {};
    return source->statusLabel(app.bundleIdentifier());
}

std::optional<desktop::AXValue> BadgeHelper::getValueForKey(const std::string& key, const desktop::AXElement& element) {
    auto* ax = desktop::services().accessibility.get();
    if (!ax) return std::nullopt;
    return ax->copyAttributeValue(element, key);
}

std::optional<desktop::AXElement> BadgeHelper::copyAXUIElementFrom(const desktop::AXElement& element,
                                                                   const std::string& role, int index) {
    auto children = getValueForKey("AXChildren", element);
    auto* list = children ? std::get_if<std::vector<desktop::AXElement>>(&*children) : nullptr;
    if (!list) return std::nullopt;
    int counter = -1;
    for (const auto& child : *list) {
        if (stringOf(getValueForKey("AXRole", child)) == role) ++counter;
        if (counter == index) return child;
    }
    return std::nullopt;
}

std::optional<desktop::AXElement> BadgeHelper::getDockItemWithName(const std::string& name) {
    auto docks = RunningApplication::runningApplicationsWithBundleIdentifier(kSystemDockIdentifier);
    if (docks.empty()) return std::nullopt;
    auto dock = desktop::AXElement::application(docks.front()->processIdentifier());
    auto list = copyAXUIElementFrom(dock, "AXList", 0);
    if (!list) return std::nullopt;
    auto children = getValueForKey("AXChildren", *list);
    auto* items = children ? std::get_if<std::vector<desktop::AXElement>>(&*children) : nullptr;
    if (!items) return std::nullopt;
    // The item itself: a list may hold other children (separators, groups) before its
    // dock items, so the position among all children is not its position among items.
    for (const auto& child : *items) {
        if (stringOf(getValueForKey("AXTitle", child)) != name) continue;
        if (stringOf(getValueForKey("AXRole", child)) == "AXDockItem") return child;
    }
    return std::nullopt;
}

std::optional<std::string> BadgeHelper::getBadgeCountForItemWithName(const std::string& name) {
    auto item = getDockItemWithName(name);
    if (!item) return std::nullopt;
    return stringOf(getValueForKey("AXStatusLabel", *item));
}

}  // namespace qs
