#pragma once
// Whether a compositing manager runs on the display. Windows of the interface (panels,
// popovers) are drawn translucent, with an alpha channel, only while one runs; without
// one they paint an opaque colour. On X11 a compositing manager owns the selection
// _NET_WM_CM_S<screen number>.

namespace qs::desktop {

class Compositing {
public:
    virtual ~Compositing() = default;
    // Asked afresh each time: a compositing manager may start or stop at any moment.
    virtual bool isCompositingManagerRunning() = 0;
};

// The installed service's answer; NO when none is installed.
bool compositingManagerRunning();

}  // namespace qs::desktop
