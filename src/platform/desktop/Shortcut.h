#pragma once
// A keyboard shortcut (key code plus modifier flags) and the binder that ties a shortcut
// stored in the user defaults to an action through a global hotkey.
//
// Stored form: the defaults key holds the keyed archive (NSData) of a Shortcut, class
// "MASShortcut", keys "KeyCode" (int) and "ModifierFlags" (integer). Every reader and
// writer of a stored shortcut uses this one form.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/Object.h"

namespace qs {

class UserDefaults;

namespace desktop {
class HotkeyService;
}

class Shortcut : public Object, public Coding {
public:
    static std::shared_ptr<Shortcut> shortcutWithKeyCode(uint16_t keyCode, uint64_t modifierFlags);
    // Answers nullptr for an archive without a key code or with one out of range.
    static std::shared_ptr<Shortcut> initWithCoder(Coder& coder);

    // The shortcut stored as a keyed archive in `data`; nullptr (with a log line naming
    // `what`) when the data is not such an archive.
    static std::shared_ptr<Shortcut> fromArchive(const Data& data, const std::string& what = "shortcut");
    Data archivedData() const;

    Shortcut(uint16_t keyCode, uint64_t modifierFlags);

    std::string className() const override;
    std::vector<std::string> classHierarchy() const override;
    void encodeWithCoder(Coder& coder) const override;
    bool isEqual(const Object* other) const override;
    uint64_t hash() const override;
    std::string description() const override;

    uint16_t keyCode() const { return keyCode_; }
    // Only the device-independent modifier flags are kept.
    uint64_t modifierFlags() const { return modifierFlags_; }

private:
    uint16_t keyCode_;
    uint64_t modifierFlags_;
};

using ShortcutPtr = std::shared_ptr<Shortcut>;

// Binds defaults keys holding a stored shortcut to actions. A binding watches its key:
// whenever the stored shortcut changes the hotkey is grabbed anew. While the key is
// absent, cannot be decoded or its grab fails, the binding has no hotkey (isBound is NO,
// a log line says why) and takes one as soon as a usable shortcut is stored.
class ShortcutBinder {
public:
    static ShortcutBinder& sharedBinder();

    ShortcutBinder();
    ~ShortcutBinder();
    ShortcutBinder(const ShortcutBinder&) = delete;
    ShortcutBinder& operator=(const ShortcutBinder&) = delete;

    // Reads `defaultsKey` from the standard user defaults and grabs its shortcut through
    // the installed hotkey service; a press calls `action` on the main thread. Binding a
    // key again replaces its earlier binding.
    void bindShortcutWithDefaultsKey(const std::string& defaultsKey, std::function<void()> action);
    void breakBindingWithDefaultsKey(const std::string& defaultsKey);
    // YES while the key's shortcut holds a hotkey grab.
    bool isBound(const std::string& defaultsKey) const;
    // The shortcut currently grabbed for the key (nullptr when none).
    ShortcutPtr boundShortcut(const std::string& defaultsKey) const;

private:
    struct Binding;
    void refresh(const std::string& defaultsKey);

    std::map<std::string, std::unique_ptr<Binding>> bindings_;
};

}  // namespace qs
