#pragma once
// The current display: one of the active displays whose brightness can be read,
// remembered in the user defaults under "currentDisplay" (written only while absent)
// and chosen again whenever the display configuration changes. The dock manager keeps
// the shared instance.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/DisplayServices.h"
#include "platform/foundation/Object.h"

namespace qs {

class Displays : public Object {
public:
    // Made on the first call (from the main thread), with its reconfiguration callback.
    static std::shared_ptr<Displays> sharedInstance();
    // Tests: drops the shared instance and its callback.
    static void resetSharedInstanceForTesting();

    Displays();
    ~Displays() override;
    std::string className() const override { return "Displays"; }
    Value valueForKey(const std::string& key) const override;

    // Registers the reconfiguration callback with the display service, then chooses.
    void init();
    void determineCurrentDisplay();
    // nullopt until a display has been chosen.
    std::optional<desktop::DisplayID> currentDisplay() const;

    // The active displays that have a mode (at most 16); empty when the list cannot be
    // read.
    static std::vector<desktop::DisplayID> displays();
    // The same, keeping those whose brightness can be read.
    static std::vector<desktop::DisplayID> configurableDisplays();
    static bool validDisplay(desktop::DisplayID display);
    static std::optional<std::string> displayName(desktop::DisplayID display);
    // 0..1, or -1 for an invalid display or a failed read.
    static float getBrightness(desktop::DisplayID display);
    // YES when the display is valid and the write worked.
    static bool setBrightness(float brightness, desktop::DisplayID display);

private:
    static constexpr int64_t kNone = -1;
    std::atomic<int64_t> currentDisplay_{kNone};
    std::weak_ptr<desktop::DisplayService> registeredWith_;
    desktop::DisplayService::CallbackToken callback_ = 0;
};

}  // namespace qs
