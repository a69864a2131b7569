#pragma once
// Notification centres: the default one and the workspace one. Names are strings;
// delivery is synchronous, on the posting thread, in registration order. An observer
// removed while a post is being delivered is not called afterwards.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/foundation/Value.h"

namespace qs {

class Object;

struct Notification {
    std::string name;
    Value object;          // often nil; may hold an Object or a plain value
    Dictionary userInfo;
};

class NotificationCenter {
public:
    using ObserverToken = uint64_t;
    using Handler = std::function<void(const Notification&)>;

    NotificationCenter();
    ~NotificationCenter();

    static NotificationCenter& defaultCenter();
    // The centre on which workspace events (launches, spaces, wake, ...) are posted.
    static NotificationCenter& workspaceCenter();

    // `owner` identifies the observer for the owner-wide removals below (may be null).
    // An empty `name` observes every name; a non-null `object` delivers only posts whose
    // object is that very object.
    ObserverToken addObserver(const void* owner, const std::string& name, const Object* object, Handler handler);
    void removeObserver(ObserverToken token);
    void removeObserver(const void* owner);
    void removeObserver(const void* owner, const std::string& name, const Object* object = nullptr);

    void postNotificationName(const std::string& name, const Value& object = {}, const Dictionary& userInfo = {});
    void postNotification(const Notification& notification);

    size_t observerCount() const;

private:
    struct Entry;
    // Takes an entry out (it is called no more); the list drops it later.
    void retire(const std::shared_ptr<Entry>& entry);

    mutable std::recursive_mutex mutex_;
    // In registration order, with retired entries until they are the half of it: every
    // removal costs the observer's own entries, not the whole list (thousands of dock
    // cells each register and remove theirs).
    std::vector<std::shared_ptr<Entry>> entries_;
    size_t retired_ = 0;
    std::unordered_map<ObserverToken, std::shared_ptr<Entry>> byToken_;
    std::unordered_map<const void*, std::vector<std::shared_ptr<Entry>>> byOwner_;
    ObserverToken next_ = 1;
};

}  // namespace qs
