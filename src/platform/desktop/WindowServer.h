#pragma once
// The window server: lists of the managed windows, front to back, and pictures of single
// windows. Window numbers are the client windows' ids.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/Accessibility.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/Image.h"

namespace qs::desktop {

enum WindowListOption : uint32_t {
    kCGWindowListOptionAll = 0,
    kCGWindowListOptionOnScreenOnly = 1,
    kCGWindowListOptionOnScreenAboveWindow = 2,
    kCGWindowListOptionOnScreenBelowWindow = 4,
    kCGWindowListOptionIncludingWindow = 8,
    kCGWindowListExcludeDesktopElements = 16,
};

struct WindowInfo {
    WindowNumber number = 0;
    Pid ownerPid = -1;
    std::string ownerName;
    std::string name;
    int layer = 0;       // 0 for normal windows, nonzero for docks, desktops, above/below
    double alpha = 1.0;  // opacity, 0..1
    Rect bounds;         // accessibility coordinates (outer frame)
    bool onScreen = false;
    int space = 0;       // the desktop number, -1 on every desktop
};

class WindowServer {
public:
    virtual ~WindowServer() = default;

    // The windows, front to back, filtered by the options (OnScreenOnly,
    // ExcludeDesktopElements; IncludingWindow with `relativeTo` answers that window only).
    virtual std::vector<WindowInfo> windowList(uint32_t options, WindowNumber relativeTo = 0) = 0;
    // A picture of exactly that window, or nullptr (unmapped, gone, not capturable).
    // Callable from any thread; slow.
    virtual ImagePtr captureWindow(WindowNumber window) = 0;
    // Keeps the window's own contents for its captures even where other windows cover
    // it, until releaseContents (it costs the server a picture of the window: ask only
    // while pictures are wanted). YES when it began keeping them now: a capture made at
    // once may lack what the window has not repainted yet. NO when they were kept
    // already or cannot be.
    virtual bool keepContents(WindowNumber window) {
        (void)window;
        return false;
    }
    virtual void releaseContents(WindowNumber window) { (void)window; }
    // Brings the process's front window forward (and with frontWindowOnly NO, all of its
    // windows).
    virtual bool setFrontProcess(Pid pid, bool frontWindowOnly) = 0;

    // Spaces: the desktops of the window manager.
    virtual int numberOfSpaces() = 0;
    virtual int currentSpace() = 0;  // -1 when unknown
    virtual bool moveWindowToSpace(WindowNumber window, int space) = 0;
};

}  // namespace qs::desktop
