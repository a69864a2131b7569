#pragma once
// A simulated window system for the dock's panels: a record of what the panels asked for.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/desktop/PanelWindows.h"

namespace qs::sim {

class SimPanelWindows : public desktop::PanelWindows {
public:
    void prepareDockPanel(uint64_t window, bool above) override {
        calls.push_back("prepare " + std::to_string(window) + (above ? " above" : ""));
    }
    void dockPanelMapped(uint64_t window, bool above) override {
        calls.push_back("mapped " + std::to_string(window) + (above ? " above" : ""));
    }
    void setBlurBehind(uint64_t window, bool blur) override { blurred[window] = blur; }
    void reserveSpace(uint64_t window, const std::optional<desktop::ReservedSpace>& space) override {
        reserved[window] = space;
    }
    std::vector<std::string> calls;
    std::map<uint64_t, bool> blurred;
    // The last space each window asked to keep (nullopt: given back).
    std::map<uint64_t, std::optional<desktop::ReservedSpace>> reserved;
};

}  // namespace qs::sim
