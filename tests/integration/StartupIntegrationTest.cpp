// Starts the real program on the test X display (Xvfb + openbox, provided by
// scripts/test.sh), finds its dock window, ends it with SIGTERM and reads back what it
// stored.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/foundation/PropertyList.h"
#include "support/Processes.h"
#include "support/TestEnvironment.h"
#include "support/Files.h"

namespace fs = std::filesystem;
using namespace qs;

namespace {

xcb_atom_t intern(xcb_connection_t* c, const char* name) {
    auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return a;
}

uint32_t cardinalProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop, bool* ok) {
    auto* r = xcb_get_property_reply(c, xcb_get_property(c, 0, w, prop, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    *ok = r && r->format == 32 && xcb_get_property_value_length(r) >= 4;
    uint32_t v = *ok ? *static_cast<uint32_t*>(xcb_get_property_value(r)) : 0;
    free(r);
    return v;
}

// Every window below root (depth first) whose _NET_WM_PID is pid.
std::vector<xcb_window_t> windowsOfPid(xcb_connection_t* c, xcb_window_t w, xcb_atom_t pidAtom, uint32_t pid) {
    std::vector<xcb_window_t> found;
    bool ok = false;
    if (cardinalProperty(c, w, pidAtom, &ok) == pid && ok) found.push_back(w);
    auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr);
    if (!tree) return found;
    xcb_window_t* kids = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
        auto sub = windowsOfPid(c, kids[i], pidAtom, pid);
        found.insert(found.end(), sub.begin(), sub.end());
    }
    free(tree);
    return found;
}

class StartupIntegration : public test::IsolatedTest {
protected:
    void SetUp() override {
        if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
        binary_ = getenv("QUAYSIDE_BINARY") ? getenv("QUAYSIDE_BINARY") : "";
        if (binary_.empty()) GTEST_SKIP() << "QUAYSIDE_BINARY is not set";
        ASSERT_TRUE(fs::exists(binary_)) << binary_ << " has not been built";
        conn_ = xcb_connect(nullptr, nullptr);
        ASSERT_FALSE(xcb_connection_has_error(conn_));
    }
    void TearDown() override {
        if (child_ > 0) {
            test::signalProcess(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        if (conn_) xcb_disconnect(conn_);
    }

    void start() {
        child_ = fork();
        ASSERT_GE(child_, 0);
        if (child_ == 0) {
            unsetenv("QT_QPA_PLATFORM");
            execl(binary_.c_str(), binary_.c_str(), nullptr);
            _exit(127);
        }
    }

    std::vector<xcb_window_t> waitForWindows(double seconds) {
        xcb_atom_t pidAtom = intern(conn_, "_NET_WM_PID");
        xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            auto found = windowsOfPid(conn_, root, pidAtom, uint32_t(child_));
            if (!found.empty()) return found;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return {};
    }

    // SIGTERM, then the exit status (-1 when it did not end within the time).
    int terminate(double seconds) {
        if (!test::signalProcess(child_, SIGTERM)) return -1;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(child_, &status, WNOHANG) == child_) {
                child_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

    std::string defaultsPath() const { return env.configHome() + "/quayside/org.quayside.Quayside.plist"; }

    // The keyed archive stored under key, parsed as a property list.
    Dictionary archiveUnder(const Dictionary& defaults, const std::string& key) {
        auto it = defaults.find(key);
        if (it == defaults.end() || !it->second.data()) return {};
        auto parsed = PropertyList::parse(*it->second.data());
        return parsed && parsed->dictionary() ? *parsed->dictionary() : Dictionary{};
    }

    std::string binary_;
    xcb_connection_t* conn_ = nullptr;
    pid_t child_ = -1;
};

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
