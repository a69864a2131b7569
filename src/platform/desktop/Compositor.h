#pragma once
// Whether a compositing manager runs (on X11: the selection _NET_WM_CM_S<screen> has an
// owner). With one, windows can be translucent, blurred behind and faded; without one,
// translucent pixels show as black and a window's opacity has no effect.
//
// The backend installs its answer; without one nothing composites.

#include <memory>

namespace qs::desktop {

class Compositor {
public:
    virtual ~Compositor() = default;
    // Asks the desktop now (a round trip on X11).
    virtual bool isCompositing() = 0;

    // The installed compositor query (nullptr when none is installed).
    static std::shared_ptr<Compositor> installed();
    static void install(std::shared_ptr<Compositor> compositor);
    // installed() answered, NO without one.
    static bool compositing();
};

}  // namespace qs::desktop
