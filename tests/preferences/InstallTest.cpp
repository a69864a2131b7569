// Installation: `cmake --install` into a temporary prefix puts the program, its resources,
// a desktop entry and an icon where a Linux desktop looks for them; the installed program
// finds its resources from its own place, and its autostart entry points at it.
#include <filesystem>
#include <gtest/gtest.h>

#include "platform/desktop/DesktopEntryFile.h"
#include "platform/desktop/LoginItems.h"
#include "preferences/AppShellFixture.h"
#include "preferences/LaunchAtLogin.h"
#include "preferences/NewsWindowController.h"

namespace fs = std::filesystem;

namespace qs::test {
namespace {

class Install : public AppShellTest {
protected:
    void SetUp() override {
        prefix = env.root() + "/prefix with space";
        std::string cmd = std::string("\"") + QUAYSIDE_CMAKE_COMMAND + "\" --install \"" + buildDirectory() +
                          "\" --prefix \"" + prefix + "\" > \"" + env.root() + "/install.log\" 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << readFileOrEmpty(env.root() + "/install.log");
    }
    std::string prefix;
};

TEST_F(Install, PutsEverythingWhereADesktopLooksAndTheProgramFindsItsResources) {
    const std::string program = prefix + "/bin/quayside";
    ASSERT_TRUE(fs::is_regular_file(program));
    EXPECT_NE(fs::status(program).permissions() & fs::perms::owner_exec, fs::perms::none);

    // Resources, found from the installed program's folder.
    const std::string bin = prefix + "/bin";
    for (const char* kind : {MainBundle::kThemes, MainBundle::kReleaseNotes, MainBundle::kImages, MainBundle::kDocuments}) {
        std::string dir = MainBundle::resourceDirectory(kind, bin);
        EXPECT_FALSE(dir.empty()) << kind;
        EXPECT_EQ(dir.rfind(prefix + "/share/", 0), 0u) << kind << ": " << dir;
    }
    EXPECT_TRUE(fs::exists(MainBundle::resourceDirectory(MainBundle::kReleaseNotes, bin) + "/" +
                           MainBundle::shortVersionString() + ".md"));
    EXPECT_TRUE(fs::exists(MainBundle::resourceDirectory(MainBundle::kImages, bin) + "/status_icon.svg"));
    EXPECT_TRUE(fs::exists(MainBundle::resourceDirectory(MainBundle::kDocuments, bin) + "/README.md"));
    EXPECT_TRUE(fs::exists(MainBundle::resourceDirectory(MainBundle::kDocuments, bin) + "/FEEDBACK.md"));
    EXPECT_TRUE(fs::exists(MainBundle::resourceDirectory(MainBundle::kThemes, bin) + "/Sandstone/background.png"));

    // The same through the program's own lookup, as the installed program makes it.
    MainBundle::setExecutablePathForTesting(program);
    EXPECT_NE(NewsWindowController::releaseNotes(MainBundle::shortVersionString()).find("# Quayside"),
              std::string::npos);
    EXPECT_TRUE(MainBundle::imageForResource("status_icon", 22));
    EXPECT_TRUE(MainBundle::imageForResource("quayside", 64));

    // The desktop entry and its icon.
    const std::string entry = prefix + "/share/applications/org.quayside.Quayside.desktop";
    ASSERT_TRUE(fs::exists(entry));
    EXPECT_TRUE(fs::exists(prefix + "/share/icons/hicolor/scalable/apps/org.quayside.Quayside.svg"));
    auto group = desktop::readKeyFileGroup(entry, "Desktop Entry");
    ASSERT_TRUE(group);
    EXPECT_EQ(group->at("Icon"), "org.quayside.Quayside");
    auto args = desktop::splitExecLine(desktop::unescapeKeyFileValue(group->at("Exec")));
    ASSERT_EQ(args.size(), 1u);
    EXPECT_EQ(args[0], program) << "the installed program, by its absolute path";
    EXPECT_EQ(desktop::unescapeKeyFileValue(group->at("TryExec")), program);
    if (std::system("command -v desktop-file-validate > /dev/null 2>&1") == 0) {
        std::string cmd = "desktop-file-validate '" + entry + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << readFileOrEmpty(entry);
    }

    // Launch at login for the installed program points at it.
    LaunchAtLoginController login;
    login.setLaunchAtLogin(true);
    ASSERT_TRUE(login.launchAtLogin());
    auto autostart = desktop::readKeyFileGroup(autostartEntry(), "Desktop Entry");
    ASSERT_TRUE(autostart);
    auto autostartArgs = desktop::splitExecLine(desktop::unescapeKeyFileValue(autostart->at("Exec")));
    ASSERT_EQ(autostartArgs.size(), 1u);
    EXPECT_EQ(autostartArgs[0], program);
}

}  // namespace
}  // namespace qs::test
