#include <gtest/gtest.h>

#include "core/DockConfiguration.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/PropertyList.h"
#include "core/DockTestSupport.h"

namespace qs::test {
namespace {

using Config = IsolatedTest;

TEST_F(Config, NewConfigurationEncodesTheEightKeysInOrderWithTheDefaults) {
    auto c = DockConfiguration::create();
    DictionaryCoder coder;
    c->encodeWithCoder(coder);
    EXPECT_EQ(coder.order, (std::vector<std::string>{"iconSize", "position", "aligment", "themeIndex",
                                                     "windowCastsShadow", "cornerStyle", "panelLevel",
                                                     "windowActivation"}));
    EXPECT_EQ(coder.values["iconSize"].doubleValue(), 52.0);
    EXPECT_TRUE(coder.values["iconSize"].isReal());
    EXPECT_EQ(coder.values["position"], Value(1));
    EXPECT_EQ(coder.values["aligment"], Value(0));
    EXPECT_EQ(coder.values["themeIndex"], Value(0));
    EXPECT_EQ(coder.values["windowCastsShadow"], Value(false));
    EXPECT_EQ(coder.values["cornerStyle"], Value(0));
    EXPECT_EQ(coder.values["panelLevel"], Value(0));
    EXPECT_EQ(coder.values["windowActivation"], Value(1));
}

TEST_F(Config, ArchiveIsAKeyedArchiveAnyPlistReaderCanRead) {
    auto c = DockConfiguration::create();
    c->setAligment(2);
    Data bytes = KeyedArchiver::archivedDataWithRootObject(Value(c));
    auto plist = PropertyList::parse(bytes);
    ASSERT_TRUE(plist);
    EXPECT_EQ((*plist)["$archiver"], Value("NSKeyedArchiver"));
    // The root object's dictionary holds the misspelt key, not "alignment".
    Value objectTable = (*plist)["$objects"];
    const Array* objects = objectTable.array();
    ASSERT_TRUE(objects);
    bool sawAligment = false;
    for (const auto& o : *objects) {
        if (!o.isDictionary()) continue;
        EXPECT_TRUE(o["alignment"].isNil());
        if (!o["aligment"].isNil()) sawAligment = true;
    }
    EXPECT_TRUE(sawAligment);
}

TEST_F(Config, RoundTripKeepsEveryNonDefaultValue) {
    auto c = DockConfiguration::create();
    c->setPosition(3);
    c->setIconSize(64.5f);
    c->setAligment(2);
    c->setThemeIndex(5);
    c->setWindowCastsShadow(true);
    c->setCornerStyle(1);
    c->setPanelLevel(1);
    c->setWindowActivation(0);
    auto back = KeyedUnarchiver::unarchiveObjectWithData(KeyedArchiver::archivedDataWithRootObject(Value(c)))
                    .objectAs<DockConfiguration>();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->position(), 3);
    EXPECT_FLOAT_EQ(back->iconSize(), 64.5f);
    EXPECT_EQ(back->aligment(), 2);
    EXPECT_EQ(back->themeIndex(), 5);
    EXPECT_TRUE(back->windowCastsShadow());
    EXPECT_EQ(back->cornerStyle(), 1);
    EXPECT_EQ(back->panelLevel(), 1);
    EXPECT_EQ(back->windowActivation(), 0);
}

TEST_F(Config, MissingKeysDecodeAsZeroNotAsTheDefaults) {
    DictionaryCoder coder;
    coder.values["position"] = Value(2);
    auto c = DockConfiguration::initWithCoder(coder);
    EXPECT_EQ(c->position(), 2);
    EXPECT_EQ(c->windowActivation(), 0);  // the default would be 1
    EXPECT_EQ(c->iconSize(), 0.0f);       // the default would be 52
    EXPECT_FALSE(c->windowCastsShadow());
}

TEST_F(Config, SixteenBitFieldsAreCutWhenReadAndOutOfRangeCodesKept) {
    DictionaryCoder coder;
    coder.values["position"] = Value(65537);
    coder.values["aligment"] = Value(70000);
    coder.values["themeIndex"] = Value(-1);
    coder.values["panelLevel"] = Value(32768);
    auto c = DockConfiguration::initWithCoder(coder);
    EXPECT_EQ(c->position(), 1);
    EXPECT_EQ(c->aligment(), 4464);
    EXPECT_EQ(c->themeIndex(), -1);
    EXPECT_EQ(c->panelLevel(), -32768);

    auto odd = DockConfiguration::create();
    odd->setPosition(7);
    odd->setAligment(-1);
    auto back = KeyedUnarchiver::unarchiveObjectWithData(KeyedArchiver::archivedDataWithRootObject(Value(odd)))
                    .objectAs<DockConfiguration>();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->position(), 7);
    EXPECT_EQ(back->aligment(), -1);
}

TEST_F(Config, CreatingPostsFourSavesAndDecodingFive) {
    PostCounter saves("saveDocksData");
    auto c = DockConfiguration::create();
    EXPECT_EQ(saves.count, 4);
    DictionaryCoder coder;
    c->encodeWithCoder(coder);
    saves.count = 0;
    DockConfiguration::initWithCoder(coder);
    EXPECT_EQ(saves.count, 5);
}

TEST_F(Config, WhichSettersSaveAndWhichOnlyNotify) {
    auto c = DockConfiguration::create();
    PostCounter saves("saveDocksData");
    struct Case {
        const char* key;
        std::function<void()> set;
        int posts;
    } cases[] = {
        {"position", [&] { c->setPosition(2); }, 1},
        {"iconSize", [&] { c->setIconSize(40.0f); }, 1},
        {"aligment", [&] { c->setAligment(1); }, 1},
        {"themeIndex", [&] { c->setThemeIndex(2); }, 1},
        {"panelLevel", [&] { c->setPanelLevel(1); }, 1},
        {"cornerStyle", [&] { c->setCornerStyle(1); }, 0},
        {"windowCastsShadow", [&] { c->setWindowCastsShadow(true); }, 0},
        {"windowActivation", [&] { c->setWindowActivation(0); }, 0},
    };
    for (auto& k : cases) {
        std::vector<KeyValueChange> seen;
        auto obs = c->observe(k.key, KeyValueObservingOptionNew | KeyValueObservingOptionOld,
                              [&](const KeyValueChange& ch) { seen.push_back(ch); });
        saves.count = 0;
        k.set();
        EXPECT_EQ(saves.count, k.posts) << k.key;
        ASSERT_EQ(seen.size(), 1u) << k.key;
        EXPECT_NE(seen[0].oldValue, seen[0].newValue) << k.key;
    }
}

TEST_F(Config, SettingThroughKeyValueCodingUsesTheSetters) {
    auto c = DockConfiguration::create();
    PostCounter saves("saveDocksData");
    c->setValueForKey(Value(3), "position");
    c->setValueForKey(Value(1), "cornerStyle");
    EXPECT_EQ(c->valueForKey("position"), Value(3));
    EXPECT_EQ(c->cornerStyle(), 1);
    EXPECT_EQ(saves.count, 1);
}

}  // namespace
}  // namespace qs::test
