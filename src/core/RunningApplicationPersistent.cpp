#include "core/RunningApplicationPersistent.h"

#include <map>

#include "core/CustomIconsHelper.h"
#include "core/FileSystemNode.h"
#include "platform/foundation/NotificationCenter.h"

namespace qs::Persistent {

namespace {
// The flag attached to each marked application. The weak pointer tells a live entry from
// one whose application has gone (and whose address may be reused).
struct Attached {
    std::weak_ptr<const Object> owner;
    bool persistent = false;
};
std::map<const RunningApplication*, Attached>& attached() {
    static std::map<const RunningApplication*, Attached> table;
    return table;
}

void dropDeadEntries() {
    auto& table = attached();
    for (auto it = table.begin(); it != table.end();)
        it = it->second.owner.expired() ? table.erase(it) : std::next(it);
}
}  // namespace

void setIsPersistent(RunningApplication& app, bool persistent) {
    app.willChangeValueForKey("isPersistent");
    dropDeadEntries();
    attached()[&app] = Attached{app.weak_from_this(), persistent};
    app.didChangeValueForKey("isPersistent");
    auto self = app.shared_from_this();
    NotificationCenter::defaultCenter().postNotificationName("isPersistent", Value(self));
}

bool isPersistent(const RunningApplication& app) {
    auto& table = attached();
    auto it = table.find(&app);
    if (it == table.end()) return false;
    auto owner = it->second.owner.lock();
    return owner.get() == &app && it->second.persistent;
}

ImagePtr customIcon(const RunningApplication& app) {
    return CustomIconsHelper::sharedInstance().getCustomIconForItem(&app);
}

ImagePtr icon(const RunningApplication& app) {
    // A custom icon, else what the workspace gives: the entry's icon when the theme has
    // it, else the icon of the application's windows, else the generic one.
    if (auto custom = customIcon(app)) return custom;
    if (auto image = app.icon()) return image;
    auto bundle = app.bundleURL();
    if (auto node = bundle ? FileSystemNode::initWithURL(bundle) : nullptr) return node->icon();
    return nullptr;
}

void setCustomIcon(RunningApplication& app, ImagePtr image) {
    app.willChangeValueForKey("icon");
    CustomIconsHelper::sharedInstance().setCustomIconForItem(&app, std::move(image));
    app.didChangeValueForKey("icon");
}

void clearCustomIcon(RunningApplication& app) {
    app.willChangeValueForKey("icon");
    CustomIconsHelper::sharedInstance().clearCustomIconForItem(&app);
    app.didChangeValueForKey("icon");
}

}  // namespace qs::Persistent
