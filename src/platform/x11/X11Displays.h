#pragma once
// Displays of an X11 desktop through RandR: a display is an output that is connected and
// driven by a CRTC, its identifier the output's id. Product names come from the output's
// EDID property, brightness from its "Backlight" property (outputs without one have no
// brightness control), reconfiguration callbacks from RandR's screen, output and CRTC
// change events (selected only while a callback is registered), with the flags 1 (screen
// change), 2 (an output changed: the display is that output) or 4 (a CRTC changed).

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include "platform/desktop/DisplayServices.h"

namespace qs::x11 {

class XConnection;

class X11Displays : public desktop::DisplayService {
public:
    explicit X11Displays(std::shared_ptr<XConnection> connection);
    ~X11Displays() override;
    X11Displays(const X11Displays&) = delete;
    X11Displays& operator=(const X11Displays&) = delete;

    // NO when the server has no usable RandR (every list is then empty).
    bool hasRandR() const { return randr_; }

    std::optional<std::vector<desktop::DisplayID>> activeDisplays(size_t maxCount) override;
    bool hasDisplayMode(desktop::DisplayID display) override;
    std::optional<std::string> productName(desktop::DisplayID display) override;
    std::optional<float> brightness(desktop::DisplayID display) override;
    bool setBrightness(desktop::DisplayID display, float brightness) override;
    CallbackToken addReconfigurationCallback(ReconfigurationCallback callback) override;
    void removeReconfigurationCallback(CallbackToken token) override;

private:
    struct Backlight {
        xcb_atom_t atom = XCB_ATOM_NONE;
        int32_t value = 0;
        int32_t min = 0;
        int32_t max = 0;
    };
    bool usable() const;
    xcb_timestamp_t configTimestamp();
    std::optional<Backlight> backlight(desktop::DisplayID display);
    void selectEvents(bool on);
    void onEvent(const xcb_generic_event_t* event);

    std::shared_ptr<XConnection> conn_;
    bool randr_ = false;
    uint8_t firstEvent_ = 0;
    int listener_ = 0;
    std::map<CallbackToken, ReconfigurationCallback> callbacks_;
    CallbackToken next_ = 1;
};

}  // namespace qs::x11
