#pragma once
// What the folder and group popovers' grids share.

#include <cstdint>

#include "platform/foundation/Geometry.h"

namespace qs {

// The square cell of a popover's grid from the "cellHeight" setting: 100 when it is 0 or
// negative (a negative one is logged once while it stays the same, through loggedStored),
// and never wider than the popover's widest grid.
Size popoverCellSize(const char* popover, double maxWidth, int64_t& loggedStored);

}  // namespace qs
