#include "platform/desktop/Accessibility.h"

namespace qs::desktop {

uint64_t AXElement::hash() const {
    // FNV-1a over the fields: stable, and distinct for the kinds of one window.
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](uint64_t v) {
        for (int i = 0; i < 8; ++i) {
            h ^= (v >> (i * 8)) & 0xff;
            h *= 1099511628211ull;
        }
    };
    mix(uint64_t(kind));
    mix(uint64_t(uint32_t(pid)));
    mix(window);
    return h;
}

}  // namespace qs::desktop
