#include <map>

#include <gtest/gtest.h>

#include "platform/desktop/Keys.h"
#include "platform/desktop/Shortcut.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/sim/SimBackend.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

constexpr uint64_t kCmdCtrl = NSEventModifierFlagCommand | NSEventModifierFlagControl;
const char* const kKey = "autoHideHotkey";

// The archived object of `data` whose "$class" is `className`, from the raw plist.
Dictionary archivedObjectOfClass(const Data& data, const std::string& className) {
    auto plist = PropertyList::parse(data);
    if (!plist) return {};
    Value objectsValue = (*plist)["$objects"];
    const Array* objects = objectsValue.array();
    if (!objects) return {};
    for (const Value& o : *objects) {
        const Dictionary* d = o.dictionary();
        if (!d || !d->count("$class")) continue;
        const UID* cls = d->at("$class").uid();
        if (cls && cls->value < objects->size() && (*objects)[cls->value]["$classname"].stringValue() == className)
            return *d;
    }
    return {};
}

TEST(ShortcutArchive, StoresKeyCodeAndFlagsUnderTheirKeysAndReadsThemBack) {
    auto original = Shortcut::shortcutWithKeyCode(kVK_ANSI_H, 0x140000);
    Data data = original->archivedData();

    Dictionary stored = archivedObjectOfClass(data, "MASShortcut");
    ASSERT_FALSE(stored.empty()) << "no MASShortcut object in the archive";
    EXPECT_EQ(stored["KeyCode"].integerValue(), 4);
    EXPECT_EQ(stored["ModifierFlags"].integerValue(), 0x140000);

    auto back = Shortcut::fromArchive(data);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->keyCode(), 4);
    EXPECT_EQ(back->modifierFlags(), 0x140000u);
    EXPECT_TRUE(back->isEqual(original.get()));
    EXPECT_EQ(back->className(), "MASShortcut");
}

TEST(ShortcutArchive, DeviceDependentFlagBitsDoNotMakeAnotherShortcut) {
    // The low 16 bits say which of the two Command keys was down, not a different combination.
    auto a = Shortcut::shortcutWithKeyCode(kVK_ANSI_H, kCmdCtrl | 0x8);
    auto b = Shortcut::shortcutWithKeyCode(kVK_ANSI_H, kCmdCtrl);
    EXPECT_TRUE(a->isEqual(b.get()));
    EXPECT_FALSE(a->isEqual(Shortcut::shortcutWithKeyCode(kVK_ANSI_J, kCmdCtrl).get()));
}

// A coder over a plain map, to feed initWithCoder what a foreign archive might hold.
class MapCoder : public Coder {
public:
    std::map<std::string, int64_t> values;
    void encodeObject(const Value&, const std::string&) override {}
    void encodeBool(bool v, const std::string& k) override { values[k] = v; }
    void encodeInt(int32_t v, const std::string& k) override { values[k] = v; }
    void encodeInteger(int64_t v, const std::string& k) override { values[k] = v; }
    void encodeFloat(float v, const std::string& k) override { values[k] = int64_t(v); }
    void encodeDouble(double v, const std::string& k) override { values[k] = int64_t(v); }
    Value decodeObjectForKey(const std::string&) override { return {}; }
    bool decodeBoolForKey(const std::string& k) override { return get(k) != 0; }
    int32_t decodeIntForKey(const std::string& k) override { return int32_t(get(k)); }
    int64_t decodeIntegerForKey(const std::string& k) override { return get(k); }
    float decodeFloatForKey(const std::string& k) override { return float(get(k)); }
    double decodeDoubleForKey(const std::string& k) override { return double(get(k)); }
    bool containsValueForKey(const std::string& k) override { return values.count(k) != 0; }

private:
    int64_t get(const std::string& k) { return values.count(k) ? values[k] : 0; }
};

class ShortcutDecoding : public qs::test::IsolatedTest {};

TEST_F(ShortcutDecoding, RejectsMissingOrImpossibleKeyCodes) {
    MapCoder noKeyCode;
    noKeyCode.values["ModifierFlags"] = 0x140000;
    EXPECT_EQ(Shortcut::initWithCoder(noKeyCode), nullptr);

    MapCoder tooLarge;
    tooLarge.values["KeyCode"] = 70000;
    EXPECT_EQ(Shortcut::initWithCoder(tooLarge), nullptr);
    MapCoder negative;
    negative.values["KeyCode"] = -1;
    EXPECT_EQ(Shortcut::initWithCoder(negative), nullptr);

    // Key code 0 is the A key, a real shortcut; absent flags read as none.
    MapCoder keyA;
    keyA.values["KeyCode"] = 0;
    auto a = Shortcut::initWithCoder(keyA);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->keyCode(), kVK_ANSI_A);
    EXPECT_EQ(a->modifierFlags(), 0u);
}

class ShortcutBinderTest : public qs::test::IsolatedTest {
protected:
    void SetUp() override { sim = sim::installSimBackend(); }
    void TearDown() override { desktop::install({}); }

    void store(uint16_t keyCode, uint64_t flags) {
        defaults().setObject(Value(Shortcut::shortcutWithKeyCode(keyCode, flags)->archivedData()), kKey);
    }
    UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }
    // The auto-hide action: flips "HideQuayside".
    std::function<void()> toggleHide() {
        return [this] { defaults().setBool(!defaults().boolForKey("HideQuayside"), "HideQuayside"); };
    }

    sim::SimBackend sim;
    ShortcutBinder binder;
};

TEST_F(ShortcutBinderTest, StoredShortcutPressFlipsTheSettingEachTime) {
    store(kVK_ANSI_H, 0x140000);
    binder.bindShortcutWithDefaultsKey(kKey, toggleHide());
    ASSERT_TRUE(binder.isBound(kKey));
    EXPECT_TRUE(sim.hotkeys->isRegistered(kVK_ANSI_H, 0x140000));

    EXPECT_TRUE(sim.hotkeys->press(kVK_ANSI_H, 0x140000));
    EXPECT_TRUE(defaults().boolForKey("HideQuayside"));
    sim.hotkeys->press(kVK_ANSI_H, 0x140000);
    EXPECT_FALSE(defaults().boolForKey("HideQuayside"));
    // Another combination does nothing.
    EXPECT_FALSE(sim.hotkeys->press(kVK_ANSI_H, NSEventModifierFlagCommand));
    EXPECT_FALSE(defaults().boolForKey("HideQuayside"));
}

TEST_F(ShortcutBinderTest, ChangingTheStoredShortcutMovesTheGrab) {
    store(kVK_ANSI_H, kCmdCtrl);
    int presses = 0;
    binder.bindShortcutWithDefaultsKey(kKey, [&] { ++presses; });

    store(kVK_ANSI_J, NSEventModifierFlagOption);
    EXPECT_FALSE(sim.hotkeys->isRegistered(kVK_ANSI_H, kCmdCtrl));
    EXPECT_EQ(sim.hotkeys->registrations().size(), 1u);
    EXPECT_FALSE(sim.hotkeys->press(kVK_ANSI_H, kCmdCtrl));
    EXPECT_TRUE(sim.hotkeys->press(kVK_ANSI_J, NSEventModifierFlagOption));
    EXPECT_EQ(presses, 1);

    // Writing the same shortcut again keeps the grab as it is.
    int registrations = sim.hotkeys->registerCount();
    store(kVK_ANSI_J, NSEventModifierFlagOption);
    EXPECT_EQ(sim.hotkeys->registerCount(), registrations);

    // Removing the key releases the hotkey.
    defaults().removeObjectForKey(kKey);
    EXPECT_FALSE(binder.isBound(kKey));
    EXPECT_TRUE(sim.hotkeys->registrations().empty());
}

TEST_F(ShortcutBinderTest, AbsentOrUnreadableValueLogsAndBindsNothingUntilAShortcutIsStored) {
    int presses = 0;
    binder.bindShortcutWithDefaultsKey(kKey, [&] { ++presses; });
    EXPECT_FALSE(binder.isBound(kKey));
    EXPECT_TRUE(env.logged("autoHideHotkey"));

    defaults().setObject(Value(Data{0x62, 0x70, 0x6c, 0x69, 0x73, 0x74, 0xff, 0x00}), kKey);  // not an archive
    EXPECT_FALSE(binder.isBound(kKey));
    defaults().setObject(Value("Command+Control+H"), kKey);  // wrong type
    EXPECT_FALSE(binder.isBound(kKey));
    // An archive of something else.
    defaults().setObject(Value(KeyedArchiver::archivedDataWithRootObject(Value("H"))), kKey);
    EXPECT_FALSE(binder.isBound(kKey));
    EXPECT_TRUE(sim.hotkeys->registrations().empty());

    store(kVK_ANSI_H, kCmdCtrl);
    EXPECT_TRUE(binder.isBound(kKey));
    sim.hotkeys->press(kVK_ANSI_H, kCmdCtrl);
    EXPECT_EQ(presses, 1);
}

TEST_F(ShortcutBinderTest, TakenCombinationLogsAndTheProgramGoesOn) {
    store(kVK_ANSI_H, kCmdCtrl);
    sim.hotkeys->setTaken(kVK_ANSI_H, kCmdCtrl);
    binder.bindShortcutWithDefaultsKey(kKey, [] {});
    EXPECT_FALSE(binder.isBound(kKey));
    EXPECT_TRUE(env.logged("cannot be grabbed"));
    EXPECT_FALSE(sim.hotkeys->press(kVK_ANSI_H, kCmdCtrl));

    // The user picks another combination: it binds.
    store(kVK_ANSI_K, kCmdCtrl);
    EXPECT_TRUE(binder.isBound(kKey));
    ASSERT_TRUE(binder.boundShortcut(kKey));
    EXPECT_EQ(binder.boundShortcut(kKey)->keyCode(), kVK_ANSI_K);
}

TEST_F(ShortcutBinderTest, BrokenBindingReleasesTheHotkeyAndIgnoresLaterChanges) {
    store(kVK_ANSI_H, kCmdCtrl);
    int presses = 0;
    binder.bindShortcutWithDefaultsKey(kKey, [&] { ++presses; });
    binder.breakBindingWithDefaultsKey(kKey);
    EXPECT_FALSE(binder.isBound(kKey));
    EXPECT_TRUE(sim.hotkeys->registrations().empty());

    store(kVK_ANSI_J, kCmdCtrl);
    EXPECT_TRUE(sim.hotkeys->registrations().empty());
    EXPECT_EQ(presses, 0);
    binder.breakBindingWithDefaultsKey("neverBound");  // harmless
}

TEST_F(ShortcutBinderTest, ActionMayBreakItsOwnBinding) {
    store(kVK_ANSI_H, kCmdCtrl);
    int presses = 0;
    binder.bindShortcutWithDefaultsKey(kKey, [&] {
        ++presses;
        binder.breakBindingWithDefaultsKey(kKey);
    });
    EXPECT_TRUE(sim.hotkeys->press(kVK_ANSI_H, kCmdCtrl));
    EXPECT_EQ(presses, 1);
    EXPECT_FALSE(sim.hotkeys->press(kVK_ANSI_H, kCmdCtrl));
}

TEST_F(ShortcutBinderTest, BindingAgainReplacesTheAction) {
    store(kVK_ANSI_H, kCmdCtrl);
    int first = 0, second = 0;
    binder.bindShortcutWithDefaultsKey(kKey, [&] { ++first; });
    binder.bindShortcutWithDefaultsKey(kKey, [&] { ++second; });
    EXPECT_EQ(sim.hotkeys->registrations().size(), 1u);
    sim.hotkeys->press(kVK_ANSI_H, kCmdCtrl);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
}

}  // namespace
}  // namespace qs
