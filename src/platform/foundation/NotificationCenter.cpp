#include "platform/foundation/NotificationCenter.h"

#include <algorithm>
#include <atomic>

#include "platform/foundation/Log.h"
#include "platform/foundation/Object.h"

namespace qs {

struct NotificationCenter::Entry {
    ObserverToken token = 0;
    const void* owner = nullptr;
    std::string name;
    const Object* object = nullptr;
    Handler handler;
    std::atomic<bool> active{true};  // cleared on removal, also during a delivery
};

NotificationCenter::NotificationCenter() = default;

NotificationCenter::~NotificationCenter() {
    std::lock_guard lock(mutex_);
    for (auto& e : entries_) e->active = false;
}

// Both centres live for the whole program (never destroyed, so that objects torn down
// during static destruction can still unregister).
NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter* center = new NotificationCenter;
    return *center;
}

NotificationCenter& NotificationCenter::workspaceCenter() {
    static NotificationCenter* center = new NotificationCenter;
    return *center;
}

NotificationCenter::ObserverToken NotificationCenter::addObserver(const void* owner, const std::string& name,
                                                                   const Object* object, Handler handler) {
    if (!handler) {
        log("addObserver: no handler for the notification \"", name, "\"; nothing is registered");
        return 0;
    }
    auto entry = std::make_shared<Entry>();
    entry->owner = owner;
    entry->name = name;
    entry->object = object;
    entry->handler = std::move(handler);
    std::lock_guard lock(mutex_);
    entry->token = next_++;
    entries_.push_back(entry);
    byToken_.emplace(entry->token, entry);
    if (owner) byOwner_[owner].push_back(entry);
    return entry->token;
}

void NotificationCenter::retire(const std::shared_ptr<Entry>& entry) {
    entry->active = false;
    byToken_.erase(entry->token);
    ++retired_;
    // The list keeps its order; retired entries are dropped once they are the half.
    if (retired_ > 32 && retired_ * 2 > entries_.size()) {
        std::erase_if(entries_, [](const std::shared_ptr<Entry>& e) { return !e->active; });
        retired_ = 0;
    }
}

void NotificationCenter::removeObserver(ObserverToken token) {
    if (token == 0) return;
    std::lock_guard lock(mutex_);
    auto it = byToken_.find(token);
    if (it == byToken_.end()) return;
    auto entry = it->second;
    if (auto owned = byOwner_.find(entry->owner); owned != byOwner_.end()) {
        std::erase(owned->second, entry);
        if (owned->second.empty()) byOwner_.erase(owned);
    }
    retire(entry);
}

void NotificationCenter::removeObserver(const void* owner) {
    if (!owner) return;
    std::lock_guard lock(mutex_);
    auto owned = byOwner_.find(owner);
    if (owned == byOwner_.end()) return;
    const auto entries = std::move(owned->second);
    byOwner_.erase(owned);
    for (const auto& e : entries) retire(e);
}

void NotificationCenter::removeObserver(const void* owner, const std::string& name, const Object* object) {
    if (!owner) return;
    std::lock_guard lock(mutex_);
    auto owned = byOwner_.find(owner);
    if (owned == byOwner_.end()) return;
    std::vector<std::shared_ptr<Entry>> removed;
    std::erase_if(owned->second, [&](const std::shared_ptr<Entry>& e) {
        if (!name.empty() && e->name != name) return false;
        if (object && e->object != object) return false;
        removed.push_back(e);
        return true;
    });
    if (owned->second.empty()) byOwner_.erase(owned);
    for (const auto& e : removed) retire(e);
}

void NotificationCenter::postNotificationName(const std::string& name, const Value& object,
                                              const Dictionary& userInfo) {
    postNotification(Notification{name, object, userInfo});
}

void NotificationCenter::postNotification(const Notification& notification) {
    // The object filter compares identities; a post whose object is a plain value
    // matches only observers without a filter.
    std::shared_ptr<Object> posted = notification.object.object();
    const Object* postedObject = posted.get();
    std::vector<std::shared_ptr<Entry>> targets;
    {
        std::lock_guard lock(mutex_);
        for (const auto& e : entries_) {
            if (!e->active) continue;
            if (!e->name.empty() && e->name != notification.name) continue;
            if (e->object && e->object != postedObject) continue;
            targets.push_back(e);
        }
    }
    // Delivered without the lock: a handler may add or remove observers, or post.
    for (const auto& e : targets)
        if (e->active) e->handler(notification);
}

size_t NotificationCenter::observerCount() const {
    std::lock_guard lock(mutex_);
    return entries_.size() - retired_;
}

}  // namespace qs
