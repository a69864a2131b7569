#pragma once
// Displays: the monitors driven by the graphics hardware, by identifier, with their
// product names and backlight brightness, and callbacks when the display configuration
// changes. On X11 a display is a RandR output and its identifier the output's id.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qs::desktop {

using DisplayID = uint32_t;

class DisplayService {
public:
    using ReconfigurationCallback = std::function<void(DisplayID display, uint32_t flags)>;
    using CallbackToken = uint64_t;

    virtual ~DisplayService() = default;

    // The active displays (those showing a picture), at most maxCount of them; nullopt
    // when the list cannot be read.
    virtual std::optional<std::vector<DisplayID>> activeDisplays(size_t maxCount) = 0;
    // Whether the display currently has a mode (a resolution it shows).
    virtual bool hasDisplayMode(DisplayID display) = 0;
    // The monitor's product name, nullopt when it tells none.
    virtual std::optional<std::string> productName(DisplayID display) = 0;
    // The backlight brightness, 0..1; nullopt when the display has no brightness control
    // or it cannot be read.
    virtual std::optional<float> brightness(DisplayID display) = 0;
    // NO when the display has no brightness control or the write failed.
    virtual bool setBrightness(DisplayID display, float brightness) = 0;

    // Called on the main thread for every reconfiguration event (a display added,
    // removed, moved or changed mode), with the display concerned (0 when the event
    // names none) and backend flags. Answers a token for removal.
    virtual CallbackToken addReconfigurationCallback(ReconfigurationCallback callback) = 0;
    virtual void removeReconfigurationCallback(CallbackToken token) = 0;
};

// The monitor name of an EDID block (the display product name descriptor, tag 0xFC),
// nullopt when the block is malformed or has no such descriptor.
std::optional<std::string> edidProductName(const uint8_t* edid, size_t length);

}  // namespace qs::desktop
