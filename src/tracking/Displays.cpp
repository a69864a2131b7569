#include "tracking/Displays.h"

#include <algorithm>

#include "platform/desktop/Desktop.h"
#include "platform/foundation/UserDefaults.h"

namespace qs {

namespace {

constexpr const char* kCurrentDisplayKey = "currentDisplay";
constexpr size_t kMaxDisplays = 16;

std::shared_ptr<Displays>& sharedSlot() {
    static std::shared_ptr<Displays> instance;
    return instance;
}

desktop::DisplayService* service() { return desktop::services().displays.get(); }

}  // namespace

std::shared_ptr<Displays> Displays::sharedInstance() {
    auto& slot = sharedSlot();
    if (!slot) {
        slot = std::make_shared<Displays>();
        slot->init();
    }
    return slot;
}

void Displays::resetSharedInstanceForTesting() { sharedSlot().reset(); }

Displays::Displays() = default;

Displays::~Displays() {
    if (auto s = registeredWith_.lock()) s->removeReconfigurationCallback(callback_);
}

void Displays::init() {
    auto s = desktop::services().displays;
    if (s) {
        // Every reconfiguration, whatever it was, makes the shared instance choose again.
        callback_ = s->addReconfigurationCallback([](desktop::DisplayID, uint32_t) {
            if (auto shared = sharedSlot()) shared->determineCurrentDisplay();
        });
        registeredWith_ = s;
    }
    determineCurrentDisplay();
}

Value Displays::valueForKey(const std::string& key) const {
    if (key == "currentDisplay") {
        auto current = currentDisplay();
        return current ? Value(int64_t(*current)) : Value();
    }
    return Object::valueForKey(key);
}

std::optional<desktop::DisplayID> Displays::currentDisplay() const {
    int64_t v = currentDisplay_.load();
    if (v == kNone) return std::nullopt;
    return desktop::DisplayID(v);
}

void Displays::determineCurrentDisplay() {
    auto candidates = configurableDisplays();
    auto& defaults = UserDefaults::standardUserDefaults();
    Value stored = defaults.objectForKey(kCurrentDisplayKey);
    if (candidates.size() == 1) {
        currentDisplay_ = candidates.front();
    } else if (candidates.size() > 1) {
        desktop::DisplayID chosen = candidates.front();
        if (stored.isNumber()) {
            int64_t wanted = stored.integerValue();
            auto it = std::find_if(candidates.begin(), candidates.end(),
                                   [&](desktop::DisplayID id) { return int64_t(id) == wanted; });
            if (it != candidates.end()) chosen = *it;
        }
        currentDisplay_ = chosen;
    }
    // None: the choice stays as it was.
    auto current = currentDisplay();
    if (current && stored.isNil()) {
        defaults.setObject(Value(int64_t(*current)), kCurrentDisplayKey);
        defaults.synchronize();
    }
}

std::vector<desktop::DisplayID> Displays::displays() {
    auto* s = service();
    if (!s) return {};
    auto active = s->activeDisplays(kMaxDisplays);
    if (!active) return {};
    std::vector<desktop::DisplayID> valid;
    for (auto id : *active)
        if (validDisplay(id)) valid.push_back(id);
    return valid;
}

std::vector<desktop::DisplayID> Displays::configurableDisplays() {
    auto* s = service();
    std::vector<desktop::DisplayID> out;
    for (auto id : displays())
        if (s->brightness(id)) out.push_back(id);
    return out;
}

bool Displays::validDisplay(desktop::DisplayID display) {
    auto* s = service();
    return s && s->hasDisplayMode(display);
}

std::optional<std::string> Displays::displayName(desktop::DisplayID display) {
    auto* s = service();
    if (!s) return std::nullopt;
    return s->productName(display);
}

float Displays::getBrightness(desktop::DisplayID display) {
    if (!validDisplay(display)) return -1.0f;
    auto b = service()->brightness(display);
    return b ? *b : -1.0f;
}

bool Displays::setBrightness(float brightness, desktop::DisplayID display) {
    return validDisplay(display) && service()->setBrightness(display, brightness);
}

}  // namespace qs
