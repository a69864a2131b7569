#include "platform/sim/SimDisplays.h"

namespace qs::sim {

SimDisplays::Display* SimDisplays::find(desktop::DisplayID id) {
    for (auto& d : displays_)
        if (d.id == id) return &d;
    return nullptr;
}

void SimDisplays::fireReconfigure(desktop::DisplayID display, uint32_t flags) {
    auto snapshot = callbacks_;  // a callback may add or remove callbacks
    for (auto& [token, callback] : snapshot)
        if (callbacks_.count(token)) callback(display, flags);
}

std::optional<std::vector<desktop::DisplayID>> SimDisplays::activeDisplays(size_t maxCount) {
    if (listFails_) return std::nullopt;
    std::vector<desktop::DisplayID> ids;
    for (auto& d : displays_) {
        if (ids.size() >= maxCount) break;
        ids.push_back(d.id);
    }
    return ids;
}

bool SimDisplays::hasDisplayMode(desktop::DisplayID display) {
    auto* d = find(display);
    return d && d->hasMode;
}

std::optional<std::string> SimDisplays::productName(desktop::DisplayID display) {
    auto* d = find(display);
    return d ? d->name : std::nullopt;
}

std::optional<float> SimDisplays::brightness(desktop::DisplayID display) {
    auto* d = find(display);
    return d ? d->brightness : std::nullopt;
}

bool SimDisplays::setBrightness(desktop::DisplayID display, float brightness) {
    auto* d = find(display);
    if (!d || !d->brightness || !d->brightnessWritable) return false;
    d->brightness = brightness;
    return true;
}

desktop::DisplayService::CallbackToken SimDisplays::addReconfigurationCallback(ReconfigurationCallback callback) {
    CallbackToken token = next_++;
    callbacks_.emplace(token, std::move(callback));
    return token;
}

void SimDisplays::removeReconfigurationCallback(CallbackToken token) { callbacks_.erase(token); }

}  // namespace qs::sim
