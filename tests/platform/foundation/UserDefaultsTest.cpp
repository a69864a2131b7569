#include <gtest/gtest.h>
#include <poll.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
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
    d.setObject(Value(Array{Value(Date{1e13})}), "far");  // beyond the dates a file holds
    EXPECT_TRUE(d.objectForKey("nul").isNil());
    EXPECT_TRUE(d.objectForKey("far").isNil());
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
    // A file where the settings folder should be: nothing can be written there.
    const std::string folder = fs::path(ownFile()).parent_path().string();
    fs::remove_all(folder);
    writeRaw(folder, "in the way");
    EXPECT_FALSE(d.synchronize());
    EXPECT_TRUE(env.logged("could not be written"));
    fs::remove(folder);
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

// ---- A settings file that is damaged, hostile, private or edited meanwhile ------------

// A path that a reader without care stops at: a folder aborted the start, a FIFO (or a
// link to one) blocked it, /dev/zero filled the memory, a deep XML text overflowed the
// stack. Each is kept aside, and the settings start empty and are written afresh.
TEST_F(UserDefaultsTest, PathsThatAreNoFileOrCannotBeParsedAreKeptAsideAndTheStartGoesOn) {
    const std::string dir = fs::path(ownFile()).parent_path().string();
    fs::create_directories(dir);
    ASSERT_EQ(mkfifo((env.root() + "/fifo").c_str(), 0600), 0);
    std::string deep = "<?xml version=\"1.0\"?><plist>";
    for (int i = 0; i < 180000; ++i) deep += "<array>";
    const std::vector<std::pair<std::string, std::function<void(const std::string&)>>> cases = {
        {"folder", [](const std::string& p) { fs::create_directories(p + "/inside"); }},
        {"fifo", [&](const std::string& p) { fs::create_symlink(env.root() + "/fifo", p); }},
        {"zero", [](const std::string& p) { fs::create_symlink("/dev/zero", p); }},
        {"deep", [&](const std::string& p) { std::ofstream(p) << deep; }},
        {"large",
         [](const std::string& p) {
             std::ofstream{p};
             fs::resize_file(p, (size_t(128) << 20) + 1);  // sparse: no disk is used
         }},
    };
    for (const auto& [what, make] : cases) {
        SCOPED_TRACE(what);
        make(ownFile());
        EXPECT_EXIT(
            {
                alarm(20);
                test::limitChildMemory(size_t(4) << 30);
                UserDefaults::resetForTesting();
                auto& d = UserDefaults::standardUserDefaults();
                bool ok = d.persistentDomain().empty() && keptAside(ownFile()).size() == 1;
                d.setInteger(1, "written");
                ok = ok && d.synchronize() && fileContents(ownFile()) == Value(Dictionary{{"written", Value(1)}});
                std::exit(ok ? 0 : 3);
            },
            ::testing::ExitedWithCode(0), "");
        for (const auto& kept : keptAside(ownFile())) fs::remove_all(kept);
        fs::remove_all(ownFile());
    }
}

TEST_F(UserDefaultsTest, AFileThatMayNotBeReadIsNoDamageAndIsNeverWrittenOver) {
    writeRaw(ownFile(), "<plist><dict><key>mine</key><integer>7</integer></dict></plist>");
    ::chmod(ownFile().c_str(), 0);
    if (geteuid() == 0) ASSERT_EQ(::chown(ownFile().c_str(), 65534, 65534), 0);  // the child's own file
    EXPECT_EXIT(
        {
            test::dropRootForChild(env.root());
            struct stat before {};
            ::stat(ownFile().c_str(), &before);
            auto& d = UserDefaults::standardUserDefaults();
            bool ok = d.persistentDomain().empty() && keptAside(ownFile()).empty() && env.logged("not damage");
            d.setInteger(1, "other");
            struct stat after {};
            ok = ok && !d.synchronize() && ::stat(ownFile().c_str(), &after) == 0 && after.st_ino == before.st_ino &&
                 after.st_size == before.st_size && keptAside(ownFile()).empty();
            // Permissions mended while the program runs: the file is read and merged.
            ::chmod(ownFile().c_str(), 0600);
            d.takeInChangesOnDisk();
            ok = ok && d.integerForKey("mine") == 7 && d.synchronize();
            std::exit(ok ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(fileContents(ownFile()), Value(Dictionary{{"mine", Value(7)}, {"other", Value(1)}}));
}

TEST_F(UserDefaultsTest, AStringWithANulInABinaryFileStillLetsTheDomainBeWritten) {
    auto bytes = PropertyList::serialize(Value(Dictionary{{"name", Value("aXb")}}), PropertyList::Format::Binary);
    ASSERT_TRUE(bytes);
    std::string raw(bytes->begin(), bytes->end());
    raw[raw.find("aXb") + 1] = '\0';
    writeRaw(ownFile(), raw);
    auto& d = UserDefaults::standardUserDefaults();
    EXPECT_EQ(d.stringForKey("name"), "a\xEF\xBF\xBD" "b");
    d.setInteger(1, "more");
    ASSERT_TRUE(d.synchronize());
    EXPECT_EQ(fileContents(ownFile()),
              Value(Dictionary{{"name", Value("a\xEF\xBF\xBD" "b")}, {"more", Value(1)}}));
}

TEST_F(UserDefaultsTest, AnArchiveThatCouldNotBeMadeKeepsTheStoredValue) {
    auto& d = UserDefaults::standardUserDefaults();
    EXPECT_TRUE(d.setArchivedData(Data{1, 2, 3}, "MainDockModelKey"));
    EXPECT_FALSE(d.setArchivedData(Data{}, "MainDockModelKey"));
    EXPECT_EQ(d.dataForKey("MainDockModelKey"), (Data{1, 2, 3}));
    EXPECT_TRUE(env.logged("could not be archived"));
}

TEST_F(UserDefaultsTest, AnUnreadableValueIsKeptOnceAsAFileBesideTheSettings) {
    auto& d = UserDefaults::standardUserDefaults();
    d.setObject(Value(Data{'x', 'y'}), "MainDockModelKey");
    d.setInteger(3, "other");
    std::string file = d.keepValueAside("MainDockModelKey", "not an archive");
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(fs::path(file).parent_path(), fs::path(ownFile()).parent_path());
    EXPECT_NE(file.find("org.quayside.Quayside.MainDockModelKey.unreadable-"), std::string::npos);
    EXPECT_EQ(test::readFileOrEmpty(file), "xy");
    // Not also under a key: later writes of the settings do not carry it.
    EXPECT_EQ(fileContents(ownFile()), Value(Dictionary{{"other", Value(3)}}));
    // A second one the same second gets its own file.
    d.setObject(Value(Data{'z'}), "MainDockModelKey");
    std::string second = d.keepValueAside("MainDockModelKey", "not an archive");
    EXPECT_NE(second, file);
    EXPECT_EQ(test::readFileOrEmpty(file), "xy");
}

// Killed in the middle of writes, a program leaves its temporary files; the next start
// removes them, and the settings file is always one whole version.
TEST_F(UserDefaultsTest, KillsDuringWritesLeaveAWholeFileAndTheirLeftoversGoAtTheNextStart) {
    const std::string big(256 * 1024, 'q');
    for (int round = 0; round < 8; ++round) {
        // The child says when its first write is whole: the kills fall during later
        // writes however slowly the machine starts it.
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(ready[0]);
            auto& d = UserDefaults::standardUserDefaults();
            for (int i = 0;; ++i) {
                d.setObject(Value(big + std::to_string(i)), "big");
                d.synchronize();
                if (i == 0) {
                    const char one = 1;
                    (void)!write(ready[1], &one, 1);
                }
            }
        }
        close(ready[1]);
        pollfd wait{ready[0], POLLIN, 0};
        EXPECT_EQ(poll(&wait, 1, 30000), 1) << "the child never wrote";
        close(ready[0]);
        usleep(7000 * round);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
    }
    size_t leftovers = 0;
    for (const auto& e : fs::directory_iterator(fs::path(ownFile()).parent_path()))
        leftovers += e.path().filename().string().find(".tmp-") != std::string::npos;
    UserDefaults::resetForTesting();
    auto& d = UserDefaults::standardUserDefaults();
    EXPECT_EQ(d.stringForKey("big").substr(0, big.size()), big);
    EXPECT_TRUE(keptAside(ownFile()).empty());
    for (const auto& e : fs::directory_iterator(fs::path(ownFile()).parent_path()))
        EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos) << e.path();
    if (leftovers) EXPECT_TRUE(env.logged("temporary file"));
}

class EditedSettingsTest : public UserDefaultsTest {
protected:
    // Another program (an editor, a command-line tool) writes the file.
    void editOnDisk(const Dictionary& values) {
        auto bytes = PropertyList::serialize(Value(values), PropertyList::Format::XML);
        ASSERT_TRUE(bytes);
        std::string tmp = ownFile() + ".editor";
        writeRaw(tmp, std::string(bytes->begin(), bytes->end()));
        fs::rename(tmp, ownFile());
    }
    // A folder watch the test fires by hand.
    void installWatch() {
        UserDefaults::setFolderWatcher([this](const std::string& folder, UserDefaults::ChangedPaths changed) {
            watchedFolder = folder;
            fire = changed;
            return std::make_shared<int>(0);
        });
    }
    void TearDown() override { UserDefaults::setFolderWatcher(nullptr); }
    std::string watchedFolder;
    UserDefaults::ChangedPaths fire;
};

TEST_F(EditedSettingsTest, AWriteTakesInWhatWasEditedOnDiskAndKeepsWhatChangedHere) {
    auto& d = UserDefaults::standardUserDefaults();
    d.setInteger(1, "position");
    d.setInteger(1, "Tooltips");
    ASSERT_TRUE(d.synchronize());
    editOnDisk({{"position", Value(1)}, {"Tooltips", Value(0)}, {"added", Value("by hand")}});
    d.setInteger(3, "position");
    ASSERT_TRUE(d.synchronize());
    EXPECT_EQ(fileContents(ownFile()),
              Value(Dictionary{{"position", Value(3)}, {"Tooltips", Value(0)}, {"added", Value("by hand")}}));
    EXPECT_EQ(d.integerForKey("Tooltips"), 0);
    // A key removed on disk goes unless it was changed here.
    editOnDisk({{"position", Value(3)}});
    d.setInteger(5, "kept");
    ASSERT_TRUE(d.synchronize());
    EXPECT_EQ(fileContents(ownFile()), Value(Dictionary{{"position", Value(3)}, {"kept", Value(5)}}));
}

TEST_F(EditedSettingsTest, TheWatchBringsAnEditInAtOnceAndAnnouncesIt) {
    installWatch();
    auto& d = UserDefaults::standardUserDefaults();
    d.setInteger(1, "displayIndex");
    ASSERT_TRUE(d.synchronize());
    ASSERT_EQ(watchedFolder, fs::path(ownFile()).parent_path().string());
    ASSERT_TRUE(fire);
    std::vector<Value> seen;
    auto observation = UserDefaultsController::sharedUserDefaultsController().observe(
        "values.displayIndex", KeyValueObservingOptionNew, [&](const KeyValueChange& c) { seen.push_back(c.newValue); });
    // Our own write, told by the watch, changes nothing.
    fire({ownFile()});
    EXPECT_TRUE(seen.empty());

    d.setInteger(7, "unsaved");
    editOnDisk({{"displayIndex", Value(2)}, {"unsaved", Value(0)}});
    fire({ownFile()});
    EXPECT_EQ(seen, std::vector<Value>{Value(2)});
    EXPECT_EQ(d.integerForKey("displayIndex"), 2);
    EXPECT_EQ(d.integerForKey("unsaved"), 7);
    // Nothing new on disk: nothing announced.
    fire({fs::path(ownFile()).parent_path().string()});
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(EditedSettingsTest, AnEditThatCannotBeParsedIsNotTakenInButKeptAsideBeforeTheNextWrite) {
    installWatch();
    auto& d = UserDefaults::standardUserDefaults();
    d.setInteger(1, "a");
    ASSERT_TRUE(d.synchronize());
    writeRaw(ownFile(), "<plist><dict><key>a</key>");  // an editor half way through
    fire({ownFile()});
    EXPECT_EQ(d.integerForKey("a"), 1);
    EXPECT_TRUE(keptAside(ownFile()).empty());
    d.setInteger(2, "b");
    ASSERT_TRUE(d.synchronize());
    auto kept = keptAside(ownFile());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(test::readFileOrEmpty(kept[0]), "<plist><dict><key>a</key>");
    EXPECT_EQ(fileContents(ownFile()), Value(Dictionary{{"a", Value(1)}, {"b", Value(2)}}));
}

}  // namespace
}  // namespace qs
