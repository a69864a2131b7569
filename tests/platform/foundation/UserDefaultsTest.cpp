#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/foundation/PropertyList.h"
#include "platform/foundation/UserDefaults.h"
#include "support/TestEnvironment.h"
#include "support/Files.h"

namespace qs {
namespace {

namespace fs = std::filesystem;

class UserDefaultsTest : public test::IsolatedTest {
protected:
    std::string ownFile() const { return env.configHome() + "/quayside/org.quayside.Quayside.plist"; }
    Value fileContents(const std::string& path) {
        auto v = PropertyList::readFile(path);
        return v ? *v : Value();
    }
    std::vector<std::string> keptAside(const std::string& path) {
        std::vector<std::string> found;
        std::string prefix = fs::path(path).filename().string() + ".unreadable-";
        for (const auto& e : fs::directory_iterator(fs::path(path).parent_path()))
            if (e.path().filename().string().rfind(prefix, 0) == 0) found.push_back(e.path().string());
        return found;
    }
    void writeRaw(const std::string& path, const std::string& bytes) {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
};

TEST_F(UserDefaultsTest, FileLivesUnderXdgConfigHome) {
    EXPECT_EQ(UserDefaults::configDirectory(), env.configHome() + "/quayside");
    EXPECT_EQ(UserDefaults::standardUserDefaults().filePath(), ownFile());
    EXPECT_EQ(UserDefaults::suiteNamed("com.apple.dock")->filePath(),
              env.configHome() + "/quayside/com.apple.dock.plist");
}

TEST_F(UserDefaultsTest, AbsentKeysReadAsNilNoZero) {
    auto& d = UserDefaults::standardUserDefaults();
    EXPECT_TRUE(d.objectForKey("missing").isNil());
    EXPECT_FALSE(d.boolForKey("missing"));
    EXPECT_EQ(d.integerForKey("missing"), 0);
    EXPECT_EQ(d.doubleForKey("missing"), 0.0);
    EXPECT_EQ(d.floatForKey("missing"), 0.0f);
    EXPECT_EQ(d.stringForKey("missing"), "");
    EXPECT_TRUE(d.dataForKey("missing").empty());
    EXPECT_FALSE(d.hasDataForKey("missing"));
}

TEST_F(UserDefaultsTest, TypedReadsCoerce) {
    auto& d = UserDefaults::standardUserDefaults();
    d.setObject(Value("YES"), "s");
    d.setObject(Value("42"), "n");
    d.setDouble(3.75, "r");
    d.setBool(true, "b");
    d.setObject(Value(Array{Value(1)}), "a");
    EXPECT_TRUE(d.boolForKey("s"));
    EXPECT_EQ(d.integerForKey("n"), 42);
    EXPECT_EQ(d.integerForKey("r"), 3);
    EXPECT_EQ(d.doubleForKey("b"), 1.0);
    EXPECT_EQ(d.stringForKey("r"), "");  // a number is not a string
    EXPECT_FALSE(d.boolForKey("a"));
    EXPECT_TRUE(d.dataForKey("s").empty());
    d.setObject(Value(Data{1, 2}), "d");
    EXPECT_TRUE(d.hasDataForKey("d"));
    EXPECT_EQ(d.dataForKey("d"), (Data{1, 2}));
}

TEST_F(UserDefaultsTest, RegisteredDefaultsAreReadButNeverWritten) {
    auto& d = UserDefaults::standardUserDefaults();
    d.registerDefaults({{"tileSize", Value(48)}, {"shown", Value(true)}});
    EXPECT_EQ(d.integerForKey("tileSize"), 48);
    EXPECT_TRUE(d.boolForKey("shown"));
    d.setInteger(64, "tileSize");
    EXPECT_EQ(d.integerForKey("tileSize"), 64);
    ASSERT_TRUE(d.synchronize());
    Value file = fileContents(ownFile());
    EXPECT_EQ(file, Value(Dictionary{{"tileSize", Value(64)}}));
    EXPECT_EQ(d.persistentDomain().count("shown"), 0u);
    // Removing the stored value uncovers the registered one again.
    d.removeObjectForKey("tileSize");
    EXPECT_EQ(d.integerForKey("tileSize"), 48);
    ASSERT_TRUE(d.synchronize());
    EXPECT_EQ(fileContents(ownFile()), Value(Dictionary{}));
}

TEST_F(UserDefaultsTest, ChangesReachTheFileOneSecondLaterInOneWrite) {
    auto& d = UserDefaults::standardUserDefaults();
    d.setInteger(1, "a");
    d.setInteger(2, "b");
    env.loop().advance(0.9);
    EXPECT_FALSE(fs::exists(ownFile()));
    EXPECT_EQ(d.writeCount(), 0);
    env.loop().advance(0.1);
    EXPECT_EQ(d.writeCount(), 1);
    EXPECT_EQ(fileContents(ownFile()), Value(Dictionary{{"a", Value(1)}, {"b", Value(2)}}));
    // Nothing changed: no further writes however long we wait.
    env.loop().advance(10);
    EXPECT_EQ(d.writeCount(), 1);
    // A synchronize before the timer makes the timer's write unnecessary.
    d.setInteger(3, "a");
    EXPECT_TRUE(d.synchronize());
    EXPECT_EQ(d.writeCount(), 2);
    env.loop().advance(2);
    EXPECT_EQ(d.writeCount(), 2);
}

TEST_F(UserDefaultsTest, TypesSurviveAReload) {
    auto& d = UserDefaults::standardUserDefaults();
    d.setBool(true, "flag");
    d.setBool(false, "off");
    d.setInteger(1, "one");
    d.setInteger(-7, "negative");
    d.setDouble(1.0, "real");
    d.setObject(Value("1"), "text");
    d.setObject(Value(Dictionary{{"nested", Value(Array{Value(true), Value(2)})}}), "tree");
    UserDefaults::resetForTesting();  // flushes, then forgets

    auto& again = UserDefaults::standardUserDefaults();
    EXPECT_TRUE(again.objectForKey("flag").isBool());
    EXPECT_TRUE(again.objectForKey("off").isBool());
    EXPECT_TRUE(again.objectForKey("one").isInteger());
    EXPECT_EQ(again.integerForKey("negative"), -7);
    EXPECT_TRUE(again.objectForKey("real").isReal());
    EXPECT_TRUE(again.objectForKey("text").isString());
    EXPECT_EQ(again.objectForKey("tree"),
              Value(Dictionary{{"nested", Value(Array{Value(true), Value(2)})}}));
}

TEST_F(UserDefaultsTest, ObjectsAreRefusedAndDoNotBlockOtherSettings) {
    auto& d = UserDefaults::standardUserDefaults();
    d.setInteger(5, "kept");
    d.setObject(Value(std::make_shared<Object>()), "object");
    d.setObject(Value(Array{Value(1), Value(std::make_shared<Object>())}), "hidden");
    d.setObject(Value(std::string("nul\0inside", 10)), "nul");
    EXPECT_TRUE(d.objectForKey("nul").isNil());
    EXPECT_TRUE(d.objectForKey("object").isNil());
    EXPECT_TRUE(d.objectForKey("hidden").isNil());
    EXPECT_TRUE(env.logged("hidden"));
    ASSERT_TRUE(d.synchronize());
    EXPECT_EQ(fileContents(ownFile()), Value(Dictionary{{"kept", Value(5)}}));
}

TEST_F(UserDefaultsTest, UnparsableFileIsKeptAsideWithItsBytes) {
    const std::string garbage = "<?xml version=\"1.0\"?><plist><dict><key>broken";
    writeRaw(ownFile(), garbage);
    auto& d = UserDefaults::standardUserDefaults();
    EXPECT_TRUE(d.persistentDomain().empty());
    EXPECT_TRUE(env.logged("cannot be read"));
    auto kept = keptAside(ownFile());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(test::readFileOrEmpty(kept[0]), garbage);
    EXPECT_FALSE(fs::exists(ownFile()));
    // A later write creates a fresh file and leaves the kept one alone.
    d.setInteger(1, "x");
    ASSERT_TRUE(d.synchronize());
    EXPECT_EQ(test::readFileOrEmpty(kept[0]), garbage);
}

TEST_F(UserDefaultsTest, ArrayRootIsKeptAsideToo) {
    std::string path = env.configHome() + "/quayside/com.apple.dock.plist";
    auto bytes = PropertyList::serialize(Value(Array{Value(1), Value(2)}), PropertyList::Format::XML);
    ASSERT_TRUE(bytes);
    writeRaw(path, std::string(bytes->begin(), bytes->end()));
    auto dock = UserDefaults::suiteNamed("com.apple.dock");
    EXPECT_TRUE(dock->persistentDomain().empty());
    EXPECT_TRUE(env.logged("not a dictionary"));
    auto kept = keptAside(path);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(test::readFileOrEmpty(kept[0]), std::string(bytes->begin(), bytes->end()));
}

TEST_F(UserDefaultsTest, BinaryFileIsReadToo) {
    auto bytes = PropertyList::serialize(Value(Dictionary{{"k", Value(9)}}), PropertyList::Format::Binary);
    ASSERT_TRUE(bytes);
    writeRaw(ownFile(), std::string(bytes->begin(), bytes->end()));
    EXPECT_EQ(UserDefaults::standardUserDefaults().integerForKey("k"), 9);
    EXPECT_TRUE(keptAside(ownFile()).empty());
}

TEST_F(UserDefaultsTest, SuitesAreSingletonsWithTheirOwnFiles) {
    auto a = UserDefaults::suiteNamed("com.apple.dock");
    auto b = UserDefaults::suiteNamed("com.apple.dock");
    EXPECT_EQ(a, b);
    EXPECT_NE(a.get(), &UserDefaults::standardUserDefaults());
    a->setObject(Value("suite"), "where");
    UserDefaults::standardUserDefaults().setObject(Value("own"), "where");
    UserDefaults::synchronizeAll();
    EXPECT_EQ(fileContents(a->filePath()), Value(Dictionary{{"where", Value("suite")}}));
    EXPECT_EQ(fileContents(ownFile()), Value(Dictionary{{"where", Value("own")}}));
}

TEST_F(UserDefaultsTest, FailedWriteAnswersNoAndIsRetried) {
    auto& d = UserDefaults::standardUserDefaults();
    d.setInteger(1, "a");
    // A folder where the file should be makes the rename fail.
    fs::create_directories(ownFile() + "/blocker");
    EXPECT_FALSE(d.synchronize());
    EXPECT_TRUE(env.logged("could not be written"));
    fs::remove_all(ownFile());
    EXPECT_TRUE(d.synchronize());
    EXPECT_EQ(fileContents(ownFile()), Value(Dictionary{{"a", Value(1)}}));
}

TEST_F(UserDefaultsTest, ControllerValuesKeyPathsAreObservable) {
    auto& controller = UserDefaultsController::sharedUserDefaultsController();
    UserDefaults::standardUserDefaults().setInteger(1, "displayIndex");
    std::vector<KeyValueChange> changes;
    auto observation = controller.observe("values.displayIndex", KeyValueObservingOptionNew | KeyValueObservingOptionOld,
                                          [&](const KeyValueChange& c) { changes.push_back(c); });

    UserDefaults::standardUserDefaults().setInteger(2, "displayIndex");
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].oldValue, Value(1));
    EXPECT_EQ(changes[0].newValue, Value(2));

    // Setting through the controller's key path reaches the defaults.
    controller.setValueForKeyPath(Value(3), "values.displayIndex");
    EXPECT_EQ(UserDefaults::standardUserDefaults().integerForKey("displayIndex"), 3);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].newValue, Value(3));

    // After the domains are forgotten the path follows the new defaults object.
    UserDefaults::resetForTesting();
    changes.clear();
    UserDefaults::standardUserDefaults().setInteger(4, "displayIndex");
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(changes.back().oldValue, Value(3));  // reloaded from the file
    EXPECT_EQ(changes.back().newValue, Value(4));
    EXPECT_EQ(controller.valueForKeyPath("values.displayIndex"), Value(4));
}

}  // namespace
}  // namespace qs
