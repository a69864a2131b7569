#pragma once
// Displays for tests: a table of displays (identifier, mode, brightness, name) the test
// sets, a failure switch for the display list, and reconfiguration events it fires.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/DisplayServices.h"

namespace qs::sim {

class SimDisplays : public desktop::DisplayService {
public:
    struct Display {
        desktop::DisplayID id = 0;
        bool hasMode = true;
        std::optional<float> brightness;  // none: no brightness control
        std::optional<std::string> name;
        bool brightnessWritable = true;
    };

    // Replaces the table (in the order given: the list order).
    void setDisplays(std::vector<Display> displays) { displays_ = std::move(displays); }
    const std::vector<Display>& displays() const { return displays_; }
    // The list cannot be read while set.
    void setListFails(bool fails) { listFails_ = fails; }
    // Calls every registered callback, as a reconfiguration of `display` would.
    void fireReconfigure(desktop::DisplayID display = 0, uint32_t flags = 0);
    size_t callbackCount() const { return callbacks_.size(); }

    std::optional<std::vector<desktop::DisplayID>> activeDisplays(size_t maxCount) override;
    bool hasDisplayMode(desktop::DisplayID display) override;
    std::optional<std::string> productName(desktop::DisplayID display) override;
    std::optional<float> brightness(desktop::DisplayID display) override;
    bool setBrightness(desktop::DisplayID display, float brightness) override;
    CallbackToken addReconfigurationCallback(ReconfigurationCallback callback) override;
    void removeReconfigurationCallback(CallbackToken token) override;

private:
    Display* find(desktop::DisplayID id);

    std::vector<Display> displays_;
    bool listFails_ = false;
    std::map<CallbackToken, ReconfigurationCallback> callbacks_;
    CallbackToken next_ = 1;
};

}  // namespace qs::sim
