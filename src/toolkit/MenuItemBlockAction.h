#pragma once
// NSMenuItem(Q): a menu item whose action is a block. The block is kept on the item under
// "BlockActionKey"; the item becomes its own target with the action
// "blockActionWrapper:", which calls the block with the sender.

#include <functional>

#include "platform/ui/Menu.h"

namespace qs::NSMenuItem_Q {

inline constexpr const char* BlockActionKey = "BlockActionKey";
inline constexpr const char* BlockActionWrapperSelector = "blockActionWrapper:";

using BlockAction = std::function<void(MenuItem& sender)>;

// Clears any stored block, then for a block: stores a copy, makes the item its own target
// and sets the action to "blockActionWrapper:"; for an empty block: no target, no action.
void setBlockAction(MenuItem& item, BlockAction block);
// The stored block; empty when none.
BlockAction blockAction(const MenuItem& item);
// Calls the item's stored block with the sender (nothing when none is stored).
void blockActionWrapper(MenuItem& item, MenuItem& sender);

}  // namespace qs::NSMenuItem_Q
