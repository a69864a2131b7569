#include "platform/desktop/Shortcut.h"

#include <sstream>

#include "platform/desktop/Desktop.h"
#include "platform/desktop/HotkeyService.h"
#include "platform/desktop/Keys.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"

namespace qs {

namespace {
[[maybe_unused]] const bool shortcutRegistered = registerCodingClass<Shortcut>("MASShortcut");
}

// ---- Shortcut

Shortcut::Shortcut(uint16_t keyCode, uint64_t modifierFlags)
    : keyCode_(keyCode), modifierFlags_(modifierFlags & NSEventModifierFlagDeviceIndependentFlagsMask) {}

std::shared_ptr<Shortcut> Shortcut::shortcutWithKeyCode(uint16_t keyCode, uint64_t modifierFlags) {
    return std::make_shared<Shortcut>(keyCode, modifierFlags);
}

std::shared_ptr<Shortcut> Shortcut::initWithCoder(Coder& coder) {
    if (!coder.containsValueForKey("KeyCode")) {
        log("MASShortcut: archive without \"KeyCode\"; ignored");
        return nullptr;
    }
    int32_t keyCode = coder.decodeIntForKey("KeyCode");
    if (keyCode < 0 || keyCode > 0xFFFF) {
        log("MASShortcut: key code ", keyCode, " out of range; ignored");
        return nullptr;
    }
    int64_t flags = coder.decodeIntegerForKey("ModifierFlags");
    return std::make_shared<Shortcut>(uint16_t(keyCode), uint64_t(flags));
}

std::shared_ptr<Shortcut> Shortcut::fromArchive(const Data& data, const std::string& what) {
    if (data.empty()) return nullptr;
    Value root = KeyedUnarchiver::unarchiveObjectWithData(data);
    auto shortcut = root.objectAs<Shortcut>();
    if (!shortcut) log(what, ": the stored value is not an archived MASShortcut; ignored");
    return shortcut;
}

Data Shortcut::archivedData() const {
    // A copy, so that a shortcut not held by a shared_ptr can be archived too.
    return KeyedArchiver::archivedDataWithRootObject(Value(std::make_shared<Shortcut>(keyCode_, modifierFlags_)));
}

std::string Shortcut::className() const { return "MASShortcut"; }

std::vector<std::string> Shortcut::classHierarchy() const { return {"MASShortcut", "NSObject"}; }

void Shortcut::encodeWithCoder(Coder& coder) const {
    coder.encodeInt(int32_t(keyCode_), "KeyCode");
    coder.encodeInteger(int64_t(modifierFlags_), "ModifierFlags");
}

bool Shortcut::isEqual(const Object* other) const {
    auto* s = dynamic_cast<const Shortcut*>(other);
    return s && s->keyCode_ == keyCode_ && s->modifierFlags_ == modifierFlags_;
}

uint64_t Shortcut::hash() const { return (modifierFlags_ << 16) ^ keyCode_; }

std::string Shortcut::description() const {
    std::ostringstream os;
    os << "<MASShortcut keyCode=" << keyCode_ << " modifierFlags=0x" << std::hex << modifierFlags_ << ">";
    return os.str();
}

// ---- ShortcutBinder

struct ShortcutBinder::Binding {
    // Shared with the hotkey callback (weakly), so a press that arrives after the binding
    // is gone does nothing, and one that breaks the binding keeps the action alive.
    std::shared_ptr<std::function<void()>> action;
    std::weak_ptr<UserDefaults> defaults;
    KeyValueObservation observation;
    std::shared_ptr<desktop::HotkeyService> service;
    int hotkeyId = -1;
    ShortcutPtr shortcut;

    void release() {
        if (service && hotkeyId >= 0) service->unregisterHotkey(hotkeyId);
        hotkeyId = -1;
        shortcut.reset();
        service.reset();
    }
};

ShortcutBinder& ShortcutBinder::sharedBinder() {
    static ShortcutBinder binder;
    return binder;
}

ShortcutBinder::ShortcutBinder() = default;

ShortcutBinder::~ShortcutBinder() {
    for (auto& [key, b] : bindings_) b->release();
}

void ShortcutBinder::bindShortcutWithDefaultsKey(const std::string& defaultsKey, std::function<void()> action) {
    breakBindingWithDefaultsKey(defaultsKey);
    auto binding = std::make_unique<Binding>();
    binding->action = std::make_shared<std::function<void()>>(std::move(action));
    auto defaults = UserDefaults::standardUserDefaultsPtr();
    binding->defaults = defaults;
    Binding* raw = binding.get();
    bindings_[defaultsKey] = std::move(binding);
    if (defaults) {
        raw->observation = defaults->observe(defaultsKey, KeyValueObservingOptionNew,
                                             [this, defaultsKey](const KeyValueChange&) { refresh(defaultsKey); });
    }
    refresh(defaultsKey);
}

void ShortcutBinder::breakBindingWithDefaultsKey(const std::string& defaultsKey) {
    auto it = bindings_.find(defaultsKey);
    if (it == bindings_.end()) return;
    it->second->observation.invalidate();
    it->second->release();
    bindings_.erase(it);
}

bool ShortcutBinder::isBound(const std::string& defaultsKey) const {
    auto it = bindings_.find(defaultsKey);
    return it != bindings_.end() && it->second->hotkeyId >= 0;
}

ShortcutPtr ShortcutBinder::boundShortcut(const std::string& defaultsKey) const {
    auto it = bindings_.find(defaultsKey);
    return it == bindings_.end() ? nullptr : it->second->shortcut;
}

void ShortcutBinder::refresh(const std::string& defaultsKey) {
    auto it = bindings_.find(defaultsKey);
    if (it == bindings_.end()) return;
    Binding& b = *it->second;
    auto defaults = b.defaults.lock();
    Value stored = defaults ? defaults->objectForKey(defaultsKey) : Value();

    ShortcutPtr shortcut;
    if (stored.isNil()) {
        log("shortcut \"", defaultsKey, "\": nothing stored; no hotkey");
    } else if (!stored.isData()) {
        log("shortcut \"", defaultsKey, "\": the stored value is not data; no hotkey");
    } else {
        shortcut = Shortcut::fromArchive(*stored.data(), "shortcut \"" + defaultsKey + "\"");
    }

    // The same shortcut written again keeps its grab.
    if (shortcut && b.shortcut && b.hotkeyId >= 0 && shortcut->isEqual(b.shortcut.get())) return;
    b.release();
    if (!shortcut) return;

    auto service = desktop::services().hotkeys;
    if (!service) {
        log("shortcut \"", defaultsKey, "\": no hotkey service; not bound");
        return;
    }
    std::weak_ptr<std::function<void()>> weak = b.action;
    int id = service->registerHotkey(shortcut->keyCode(), shortcut->modifierFlags(), [weak] {
        if (auto fn = weak.lock(); fn && *fn) (*fn)();
    });
    if (id < 0) {
        log("shortcut \"", defaultsKey, "\": ", shortcut->description(),
            " cannot be grabbed (it may be in use by another program); not bound");
        return;
    }
    b.service = std::move(service);
    b.hotkeyId = id;
    b.shortcut = std::move(shortcut);
}

}  // namespace qs
