#include "toolkit/MenuItemBlockAction.h"

#include <memory>

namespace qs::NSMenuItem_Q {

namespace {
using Stored = std::shared_ptr<const BlockAction>;

Stored stored(const MenuItem& item) {
    const std::any* value = item.associatedObject(BlockActionKey);
    if (!value) return nullptr;
    const Stored* block = std::any_cast<Stored>(value);
    return block ? *block : nullptr;
}
}  // namespace

void setBlockAction(MenuItem& item, BlockAction block) {
    item.setAssociatedObject(BlockActionKey, std::any());
    if (block) {
        item.setAssociatedObject(BlockActionKey, std::make_shared<const BlockAction>(std::move(block)));
        item.setTarget(&item);
        item.setAction({BlockActionWrapperSelector, [](MenuItem& sender) {
                            // The target is the item itself, which is also the sender.
                            blockActionWrapper(sender, sender);
                        }});
    } else {
        item.setTarget(nullptr);
        item.setAction({});
    }
}

BlockAction blockAction(const MenuItem& item) {
    Stored block = stored(item);
    return block ? *block : BlockAction();
}

void blockActionWrapper(MenuItem& item, MenuItem& sender) {
    // Held for the call: the block may replace itself while it runs.
    Stored block = stored(item);
    if (block && *block) (*block)(sender);
}

}  // namespace qs::NSMenuItem_Q
