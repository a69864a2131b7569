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
    return entry->token;
}

void NotificationCenter::removeObserver(ObserverToken token) {
    if (token == 0) return;
    std::lock_guard lock(mutex_);
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) { return e->token == token; });
    if (it == entries_.end()) return;
    (*it)->active = false;
    entries_.erase(it);
}

void NotificationCenter::removeObserver(const void* owner) {
    if (!owner) return;
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const std::shared_ptr<Entry>& e) {
        if (e->owner != owner) return false;
        e->active = false;
        return true;
    });
}

void NotificationCenter::removeObserver(const void* owner, const std::string& name, const Object* object) {
    if (!owner) return;
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const std::shared_ptr<Entry>& e) {
        if (e->owner != owner) return false;
        if (!name.empty() && e->name != name) return false;
        if (object && e->object != object) return false;
        e->active = false;
        return true;
    });
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
    return entries_.size();
}

}  // namespace qs
