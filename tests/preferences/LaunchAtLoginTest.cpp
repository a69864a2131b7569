// Launch at login: the XDG autostart entry of the running program, found, written and
// removed as the check box asks; changes made from outside reach the check box; broken
// or foreign entries are handled safely and said in the log.
#include <sys/stat.h>

#include <filesystem>
#include <gtest/gtest.h>

#include "platform/desktop/DesktopEntryFile.h"
#include "platform/desktop/LoginItems.h"
#include "preferences/AppShellFixture.h"
#include "preferences/LaunchAtLogin.h"

namespace fs = std::filesystem;

namespace qs::test {
namespace {

class LaunchAtLogin : public AppShellTest {
protected:
    LaunchAtLogin() {
        program = makeProgram(env.root() + "/bin/quayside");
        MainBundle::setExecutablePathForTesting(program);
        observation = controller->observe("launchAtLogin", KeyValueObservingOptionNew,
                                          [this](const KeyValueChange&) { ++changes; });
    }
    static std::string makeProgram(const std::string& path) {
        writeFile(path, "#!/bin/sh\n");
        fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
        return path;
    }
    std::string autostartDir() const { return env.configHome() + "/autostart"; }
    std::vector<std::string> entries(const std::string& dir) const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir, ec)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string execOf(const std::string& path) {
        auto group = desktop::readKeyFileGroup(path, "Desktop Entry");
        return group && group->count("Exec") ? desktop::unescapeKeyFileValue(group->at("Exec")) : std::string();
    }
    // What a file watch tells the controller about a change in the folder.
    void deliverFolderChange(const std::string& path) {
        sim.files->deliverEvents({{path, desktop::FileEventItemRemoved}});
        env.loop().runPending();
    }

    std::string program;
    std::shared_ptr<LaunchAtLoginController> controller = std::make_shared<LaunchAtLoginController>();
    KeyValueObservation observation;
    int changes = 0;
};

TEST_F(LaunchAtLogin, OnWritesOneValidEntryThatRunsTheProgram) {
    EXPECT_FALSE(controller->launchAtLogin());
    controller->setLaunchAtLogin(true);
    EXPECT_TRUE(controller->launchAtLogin());
    EXPECT_EQ(changes, 1);
    ASSERT_TRUE(fs::exists(autostartEntry()));
    EXPECT_EQ(execOf(autostartEntry()), program);
    auto entry = desktop::readDesktopEntryFile(autostartEntry());
    ASSERT_TRUE(entry);
    EXPECT_TRUE(entry->isApplication());
    EXPECT_EQ(entry->name, "Quayside");
    if (std::system("command -v desktop-file-validate > /dev/null 2>&1") == 0) {
        std::string cmd = "desktop-file-validate '" + autostartEntry() + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << readFileOrEmpty(autostartEntry());
    }

    // On again: still one entry.
    controller->setLaunchAtLogin(true);
    EXPECT_EQ(entries(autostartDir()), std::vector<std::string>{"org.quayside.Quayside.desktop"});
    EXPECT_EQ(controller->valueForKey("launchAtLogin"), Value(true));

    // Off through the binding's setter: the entry goes.
    controller->setValueForKey(Value(false), "launchAtLogin");
    EXPECT_FALSE(controller->launchAtLogin());
    EXPECT_FALSE(fs::exists(autostartEntry()));
    EXPECT_EQ(changes, 3);
}

TEST_F(LaunchAtLogin, OffWithoutAnEntryChangesNothing) {
    controller->setLaunchAtLogin(false);
    EXPECT_FALSE(fs::exists(autostartDir()));
    fs::create_directories(autostartDir());
    writeFile(autostartDir() + "/other.desktop", "[Desktop Entry]\nType=Application\nName=Other\nExec=/bin/true\n");
    controller->setLaunchAtLogin(false);
    EXPECT_EQ(entries(autostartDir()), std::vector<std::string>{"other.desktop"});
}

TEST_F(LaunchAtLogin, AnEntryRemovedByHandReadsOffAndTellsTheCheckBox) {
    controller->setLaunchAtLogin(true);
    int before = changes;
    fs::remove(autostartEntry());
    EXPECT_FALSE(controller->launchAtLogin()) << "read from the folder every time";
    deliverFolderChange(autostartEntry());
    EXPECT_GT(changes, before) << "the watch of the folder tells bound controls";
}

TEST_F(LaunchAtLogin, AnEntryOfAnotherNameForTheProgramCountsAndOffRemovesIt) {
    writeFile(autostartDir() + "/my-dock.desktop", "[Desktop Entry]\nType=Application\nName=My dock\nExec=" +
                                                       program + " --verbose\n");
    EXPECT_TRUE(controller->launchAtLogin());
    // Found through a link to the program as well.
    fs::create_symlink(program, env.root() + "/bin/dock-link");
    writeFile(autostartDir() + "/linked.desktop",
              "[Desktop Entry]\nType=Application\nName=Linked\nExec=" + env.root() + "/bin/dock-link\n");
    controller->setLaunchAtLogin(false);
    EXPECT_FALSE(controller->launchAtLogin());
    EXPECT_TRUE(entries(autostartDir()).empty()) << "every entry that started the program went";
}

TEST_F(LaunchAtLogin, AnEntryOfAMovedProgramReadsOffAndIsReplaced) {
    std::string old = makeProgram(env.root() + "/old/quayside");
    writeFile(autostartEntry(), "[Desktop Entry]\nType=Application\nName=Quayside\nExec=" + old + "\n");
    EXPECT_FALSE(controller->launchAtLogin());
    controller->setLaunchAtLogin(true);
    EXPECT_TRUE(controller->launchAtLogin());
    EXPECT_EQ(execOf(autostartEntry()), program);
    EXPECT_TRUE(env.logged("started " + old + "; it now starts " + program));
}

TEST_F(LaunchAtLogin, AMalformedEntryIsKeptAsideNotLost) {
    const std::string garbage = "this is not a desktop entry\n\x01\x02";
    writeFile(autostartEntry(), garbage);
    EXPECT_FALSE(controller->launchAtLogin());
    EXPECT_TRUE(env.logged("has no [Desktop Entry] group"));
    controller->setLaunchAtLogin(true);
    EXPECT_TRUE(controller->launchAtLogin());
    int kept = 0;
    for (const auto& name : entries(autostartDir()))
        if (name.rfind("org.quayside.Quayside.desktop.unreadable-", 0) == 0) {
            ++kept;
            EXPECT_EQ(readFileOrEmpty(autostartDir() + "/" + name), garbage);
        }
    EXPECT_EQ(kept, 1);
    EXPECT_TRUE(env.logged("was kept as"));

    // An unclosed quote is malformed too: skipped, no crash.
    writeFile(autostartDir() + "/broken.desktop", "[Desktop Entry]\nType=Application\nName=B\nExec=\"" + program + "\n");
    EXPECT_TRUE(controller->launchAtLogin());
}

// An entry the user may not read is no damage: it was moved aside and replaced. It is
// left as it is, and the switch says why it cannot be set.
TEST_F(LaunchAtLogin, AnEntryThatMayNotBeReadIsLeftAsItIs) {
    writeFile(autostartEntry(), "[Desktop Entry]\nType=Application\nName=Mine\nExec=true\n");
    ::chmod(autostartEntry().c_str(), 0);
    EXPECT_EXIT(
        {
            dropRootForChild(env.root());
            controller->setLaunchAtLogin(true);
            bool ok = entries(autostartDir()) == std::vector<std::string>{"org.quayside.Quayside.desktop"} &&
                      env.logged("not damage");
            std::exit(ok ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
    ::chmod(autostartEntry().c_str(), 0644);
    EXPECT_EQ(readFile(autostartEntry()), "[Desktop Entry]\nType=Application\nName=Mine\nExec=true\n");
}

TEST_F(LaunchAtLogin, AFolderThatCannotBeWrittenIsSaidAndTheSwitchReadsOff) {
    // Something that is not a folder where the autostart folder belongs (as root, file
    // modes would not stop the write).
    writeFile(autostartDir(), "not a folder");
    controller->setLaunchAtLogin(true);
    EXPECT_FALSE(controller->launchAtLogin());
    EXPECT_TRUE(env.logged("cannot be made"));
    EXPECT_EQ(changes, 1) << "the check box is told, and shows the switch off again";
    EXPECT_EQ(readFileOrEmpty(autostartDir()), "not a folder");
}

TEST_F(LaunchAtLogin, ASystemEntryCountsAndIsSwitchedOffForTheUser) {
    const std::string system = env.root() + "/xdg/autostart/org.quayside.Quayside.desktop";
    writeFile(system, "[Desktop Entry]\nType=Application\nName=Quayside\nExec=" + program + "\n");
    EXPECT_TRUE(controller->launchAtLogin());
    controller->setLaunchAtLogin(false);
    EXPECT_FALSE(controller->launchAtLogin());
    EXPECT_TRUE(fs::exists(system)) << "the system's file is not the user's to remove";
    auto hiding = desktop::readDesktopEntryFile(autostartEntry());
    ASSERT_TRUE(hiding);
    EXPECT_TRUE(hiding->hidden);
    // On again replaces the hiding entry.
    controller->setLaunchAtLogin(true);
    EXPECT_TRUE(controller->launchAtLogin());
    EXPECT_FALSE(desktop::readDesktopEntryFile(autostartEntry())->hidden);
}

TEST_F(LaunchAtLogin, PathsThatNeedQuotingRoundTrip) {
    for (const std::string name : {"with space/quay side", "per%cent/quayside", "dollar$and\"quote/q`s", "back\\slash/q"}) {
        std::string path = makeProgram(env.root() + "/" + name);
        MainBundle::setExecutablePathForTesting(path);
        std::string line = desktop::execLineForProgram(path);
        auto args = desktop::splitExecLine(line);
        ASSERT_EQ(args.size(), 1u) << line;
        EXPECT_EQ(args[0], path) << line;
        controller->setLaunchAtLogin(true);
        EXPECT_TRUE(controller->launchAtLogin()) << name << ": " << readFileOrEmpty(autostartEntry());
        EXPECT_EQ(execOf(autostartEntry()), line);
        if (std::system("command -v desktop-file-validate > /dev/null 2>&1") == 0) {
            std::string cmd = "desktop-file-validate '" + autostartEntry() + "' > /dev/null";
            EXPECT_EQ(std::system(cmd.c_str()), 0) << readFileOrEmpty(autostartEntry());
        }
        controller->setLaunchAtLogin(false);
        EXPECT_FALSE(fs::exists(autostartEntry()));
    }
}

TEST(ExecLine, SplitsQuotesEscapesAndFieldCodes) {
    using desktop::splitExecLine;
    EXPECT_EQ(splitExecLine("quayside %U"), std::vector<std::string>{"quayside"});
    EXPECT_EQ(splitExecLine("\"/a b/c\" --x %f"), (std::vector<std::string>{"/a b/c", "--x"}));
    EXPECT_EQ(splitExecLine("\"/a\\\"b\" 100%%"), (std::vector<std::string>{"/a\"b", "100%"}));
    EXPECT_TRUE(splitExecLine("\"/unclosed").empty());
    EXPECT_TRUE(splitExecLine("").empty());
    EXPECT_EQ(desktop::resolveProgramPath("sh"), fs::canonical("/bin/sh").string());
    EXPECT_EQ(desktop::resolveProgramPath("relative/prog"), "");
    EXPECT_EQ(desktop::resolveProgramPath("/no/such/program"), "");
}

}  // namespace
}  // namespace qs::test
