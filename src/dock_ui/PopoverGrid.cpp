#include "dock_ui/PopoverGrid.h"

#include <algorithm>

#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"

namespace qs {

Size popoverCellSize(const char* popover, double maxWidth, int64_t& loggedStored) {
    const int64_t stored = UserDefaults::standardUserDefaults().integerForKey("cellHeight");
    double c = stored == 0 ? 100.0 : double(stored);
    if (c < 0) {
        if (loggedStored != stored) log("\"cellHeight\" ", stored, " is negative; the ", popover, " popover uses 100");
        loggedStored = stored;
        c = 100.0;
    }
    c = std::min(c, maxWidth);
    return MakeSize(c, c);
}

}  // namespace qs
