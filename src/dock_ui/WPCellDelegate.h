#pragma once
// What a window preview cell needs of the popover that shows it, so that the cell does
// not depend on the popover's controller.

namespace qs {

class WPCellDelegate {
public:
    virtual ~WPCellDelegate() = default;
    // Closes the popover at once: the preview stops counting as shown and its close is
    // announced.
    virtual void forseClosePreview() = 0;
};

}  // namespace qs
