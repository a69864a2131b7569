// Starts the real program on the test X display (Xvfb + openbox, provided by
// scripts/test.sh), finds its dock window, ends it with SIGTERM and reads back what it
// stored.

#include <sys/stat.h>

#include <fstream>
#include <functional>

#include "integration/DockProcess.h"

namespace fs = std::filesystem;
using namespace qs;

namespace {

using StartupIntegration = test::DockProcessTest;

TEST_F(StartupIntegration, FirstStartShowsDockAndStoresDefaultsAndArchivesOnTerm) {
    start();
    auto windows = waitForWindows(15.0);
    ASSERT_FALSE(windows.empty()) << "no window with the dock's _NET_WM_PID appeared";
    // Give the queued dock start and the default settings a moment, then quit.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ASSERT_EQ(terminate(10.0), 0);

    std::string error;
    auto stored = PropertyList::readFile(defaultsPath(), &error);
    ASSERT_TRUE(stored && stored->dictionary()) << error;
    const Dictionary& d = *stored->dictionary();
    const std::pair<const char*, Value> table[] = {
        {"WindowPreview", true},   {"Tooltips", true},      {"WindowControls", true}, {"ReserveSpace", true},
        {"HideMenuBarIcon", false}, {"ShowAppBadges", true}, {"HideAppleDock", false}, {"HideQuayside", false},
        {"ShowThumbnails", false}, {"autoHideDelay1", 1},   {"cellHeight", 100},
    };
    for (const auto& [key, expected] : table) {
        ASSERT_TRUE(d.count(key)) << key;
        EXPECT_EQ(d.at(key), expected) << key;
        EXPECT_EQ(d.at(key).type(), expected.type()) << key << " keeps its type";
    }
    EXPECT_EQ(d.at("SUUpdaterChecksForBetaUpdates"), Value(false));
    EXPECT_FALSE(d.count("NSApplicationCrashOnExceptions")) << "registered, never written";

    for (const char* key : {"MainDockModelKey", "MainDockConfigKey", "autoHideHotkey"}) {
        Dictionary archive = archiveUnder(d, key);
        EXPECT_EQ(archive["$archiver"], Value("NSKeyedArchiver")) << key;
        EXPECT_EQ(archive["$version"], Value(100000)) << key;
        ASSERT_TRUE(archive["$objects"].array()) << key;
        EXPECT_EQ((*archive["$objects"].array())[0], Value("$null")) << key;
    }
    // The configuration's root object holds the default icon size and position.
    Dictionary config = archiveUnder(d, "MainDockConfigKey");
    const Array& objects = *config["$objects"].array();
    Value rootReference = config["$top"]["root"];
    const UID* root = rootReference.uid();
    ASSERT_TRUE(root && root->value < objects.size());
    const Value& rootObject = objects[root->value];
    EXPECT_EQ(rootObject["iconSize"].doubleValue(), 52.0);
    EXPECT_EQ(rootObject["position"], Value(1));
    Value classReference = rootObject["$class"];
    const UID* cls = classReference.uid();
    ASSERT_TRUE(cls && cls->value < objects.size());
    EXPECT_EQ(objects[cls->value]["$classname"], Value("DockConfiguration"));

    // Any property-list tool reads the stored archive back.
    if (system("command -v plistutil > /dev/null 2>&1") == 0) {
        std::string bin = env.root() + "/config.bplist";
        std::ofstream(bin, std::ios::binary)
            .write(reinterpret_cast<const char*>(d.at("MainDockConfigKey").data()->data()),
                   std::streamsize(d.at("MainDockConfigKey").data()->size()));
        std::string cmd = "plistutil -i " + bin + " -o " + env.root() + "/config.xml > /dev/null 2>&1";
        ASSERT_EQ(system(cmd.c_str()), 0);
        const std::string text = test::readFileOrEmpty(env.root() + "/config.xml");
        EXPECT_NE(text.find("NSKeyedArchiver"), std::string::npos);
        EXPECT_NE(text.find("DockConfiguration"), std::string::npos);
    }
}

TEST_F(StartupIntegration, CorruptStoredDockIsKeptAsideAndReplaced) {
    fs::create_directories(env.configHome() + "/quayside");
    Data garbage = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'a', 'r', 'c', 'h', 'i', 'v', 'e', 0x00, 0xff};
    Dictionary seeded{{"MainDockModelKey", garbage}, {"MainDockConfigKey", garbage}, {"cellHeight", 7}};
    auto bytes = PropertyList::serialize(Value(seeded), PropertyList::Format::XML);
    ASSERT_TRUE(bytes);
    ASSERT_TRUE(PropertyList::writeFileAtomically(defaultsPath(), *bytes));

    start();
    ASSERT_FALSE(waitForWindows(15.0).empty()) << "the dock must start despite a corrupt stored dock";
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ASSERT_EQ(terminate(10.0), 0);

    auto stored = PropertyList::readFile(defaultsPath());
    ASSERT_TRUE(stored && stored->dictionary());
    const Dictionary& d = *stored->dictionary();
    EXPECT_EQ(d.at("cellHeight"), Value(7)) << "a stored value is never overwritten by its default";
    EXPECT_EQ(archiveUnder(d, "MainDockModelKey")["$archiver"], Value("NSKeyedArchiver"));
    EXPECT_EQ(archiveUnder(d, "MainDockConfigKey")["$archiver"], Value("NSKeyedArchiver"));

    // The unreadable bytes survive somewhere beside the defaults: under a kept-aside key
    // or in a kept-aside file.
    int keptModel = 0, keptConfig = 0;
    for (const auto& [key, value] : d) {
        if (value.data() && *value.data() == garbage) {
            if (key.rfind("MainDockModelKey", 0) == 0) ++keptModel;
            if (key.rfind("MainDockConfigKey", 0) == 0) ++keptConfig;
        }
    }
    for (const auto& entry : fs::directory_iterator(env.configHome() + "/quayside")) {
        std::string name = entry.path().filename().string();
        if (name.find("unreadable") == std::string::npos) continue;
        const std::string bytes = test::readFileOrEmpty(entry.path());
        Data content(bytes.begin(), bytes.end());
        if (content != garbage) continue;
        if (name.find("MainDockModelKey") != std::string::npos) ++keptModel;
        if (name.find("MainDockConfigKey") != std::string::npos) ++keptConfig;
    }
    EXPECT_GE(keptModel, 1);
    EXPECT_GE(keptConfig, 1);
}

// A FIFO where the settings file is (through a link) and FIFO or /dev/zero desktop
// entries blocked the start or filled the memory, and SIGTERM then went unheard; a folder
// there aborted every start. Each is now passed over: the dock shows, ends on SIGTERM and
// writes fresh settings, and the odd path is kept aside.
TEST_F(StartupIntegration, HostilePathsWhereFilesBelongNeitherStopNorHangTheStart) {
    const std::string folder = env.configHome() + "/quayside";
    const std::string apps = env.dataHome() + "/applications";
    fs::create_directories(folder);
    fs::create_directories(apps);
    ASSERT_EQ(mkfifo((env.root() + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((apps + "/trap.desktop").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", apps + "/zero.desktop");
    const std::vector<std::pair<std::string, std::function<void()>>> cases = {
        {"a link to a FIFO", [&] { fs::create_symlink(env.root() + "/fifo", defaultsPath()); }},
        {"a folder", [&] { fs::create_directories(defaultsPath() + "/inside"); }},
    };
    for (const auto& [what, make] : cases) {
        SCOPED_TRACE(what);
        make();
        start();
        ASSERT_FALSE(waitForWindows(15.0).empty()) << "the dock must start with " << what << " as its settings";
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        ASSERT_EQ(terminate(10.0), 0);
        auto stored = PropertyList::readFile(defaultsPath());
        EXPECT_TRUE(stored && stored->dictionary() && stored->dictionary()->count("MainDockModelKey"));
        size_t kept = 0;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().filename().string().rfind("org.quayside.Quayside.plist.unreadable-", 0) == 0) {
                ++kept;
                fs::remove_all(entry.path());
            }
        EXPECT_EQ(kept, 1u);
        fs::remove_all(defaultsPath());
    }
}

}  // namespace
