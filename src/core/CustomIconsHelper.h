#pragma once
// The one store of the icons the user picked for dock items, kept in the defaults under
// "customIconsData" (a keyed archive of the whole table, images as PNG data). An item's
// key is a stable hash of its bundle URL (running applications; their name when they
// have none) or of its URL (file items), so a custom icon survives restarts and
// rebuilds, and a running application shares its icon with the file item of its bundle.

#include <cstdint>
#include <map>
#include <memory>

#include "platform/foundation/Image.h"
#include "platform/foundation/Object.h"

namespace qs {

class CustomIconsHelper {
public:
    static CustomIconsHelper& sharedInstance();
    // A fresh store read from the standard defaults (init).
    CustomIconsHelper();

    ImagePtr getCustomIconForItem(const Object* item) const;
    // With an icon: store it under the item's key and save; with nullptr: clear.
    void setCustomIconForItem(const Object* item, ImagePtr icon);
    void clearCustomIconForItem(const Object* item);
    // Archives the whole table into "customIconsData".
    void seveCustomIcons();

    // The item's key: 0 for an item of a kind that has no custom icon here (groups keep
    // their own icon, and the other kinds are single items). Key 0 is never stored, so
    // one such item's icon cannot show on all of them.
    static uint64_t hashForItem(const Object* item);

    size_t count() const { return icons_.size(); }

    // Drops the shared instance so the next use reads the (test's) defaults again.
    static void resetSharedInstanceForTesting();

private:
    std::map<uint64_t, ImagePtr> icons_;
};

}  // namespace qs
