// Programs started from the dock: where they start, in which session and with which
// environment. Needs no display.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/x11/LaunchEnvironment.h"
#include "platform/x11/X11Workspace.h"
#include "support/TestEnvironment.h"

namespace qs::x11 {
namespace {

// Sets an environment variable for the test and puts back what was there.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* v = std::getenv(name)) before_ = v;
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~ScopedVariable() {
        if (before_) ::setenv(name_.c_str(), before_->c_str(), 1);
        else ::unsetenv(name_.c_str());
    }

private:
    std::string name_;
    std::optional<std::string> before_;
};

class LaunchTest : public qs::test::IsolatedTest {
protected:
    // Starts a shell that writes, one per line: its folder, whether its session is this
    // process's, and the values of the variables named (or "unset").
    std::vector<std::string> launch(const std::string& folder, const std::vector<std::string>& names) {
        const std::string out = env.root() + "/launched-" + std::to_string(++runs_);
        std::string script = "{ pwd -P; [ \"$(cut -d' ' -f6 /proc/$$/stat)\" = \"" + std::to_string(::getsid(0)) +
                             "\" ] && echo same-session || echo own-session;";
        for (const auto& n : names) script += " echo \"${" + n + "-unset}\";";
        script += " } > " + out + ".part && mv " + out + ".part " + out;
        EXPECT_TRUE(X11Workspace::spawnDetached({"sh", "-c", script}, folder));
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!std::filesystem::exists(out) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::vector<std::string> lines;
        std::ifstream in(out);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    int runs_ = 0;
};

TEST_F(LaunchTest, AProgramStartsAtHomeInASessionOfItsOwnWithoutTheDocksEnvironment) {
    const std::string home = std::filesystem::canonical(env.root()).string() + "/home";
    std::filesystem::create_directories(home);
    ScopedVariable homeVariable("HOME", home.c_str());
    ScopedVariable own("QUAYSIDE_TEST_MARK", "dock");
    ScopedVariable startup("DESKTOP_STARTUP_ID", "quayside-start_TIME1");
    ScopedVariable token("XDG_ACTIVATION_TOKEN", "quayside-token");
    ScopedVariable kept("QS_LAUNCH_KEPT", "user");
    ScopedVariable overridden("QS_LAUNCH_OVERRIDDEN", "user's");
    ScopedVariable added("QS_LAUNCH_ADDED", nullptr);
    // Set for this program only: the programs it starts see what was there before.
    LaunchEnvironment::setPrivate("QS_LAUNCH_OVERRIDDEN", "dock's");
    LaunchEnvironment::setPrivate("QS_LAUNCH_ADDED", "dock's");
    EXPECT_STREQ(std::getenv("QS_LAUNCH_OVERRIDDEN"), "dock's");

    auto lines = launch("", {"PWD", "QUAYSIDE_TEST_MARK", "DESKTOP_STARTUP_ID", "XDG_ACTIVATION_TOKEN", "QS_LAUNCH_KEPT",
                             "QS_LAUNCH_OVERRIDDEN", "QS_LAUNCH_ADDED"});
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], home);
    EXPECT_EQ(lines[1], "own-session");
    EXPECT_EQ(lines[2], home);
    EXPECT_EQ(lines[3], "unset");
    EXPECT_EQ(lines[4], "unset");
    EXPECT_EQ(lines[5], "unset");
    EXPECT_EQ(lines[6], "user");
    EXPECT_EQ(lines[7], "user's");
    EXPECT_EQ(lines[8], "unset");

    // A folder of its own (a desktop entry's Path) wins; a home that is no folder falls
    // back to the account's.
    EXPECT_EQ(launch("/tmp", {}).at(0), std::filesystem::canonical("/tmp").string());
    ScopedVariable noHome("HOME", (home + "/missing").c_str());
    EXPECT_EQ(LaunchEnvironment::homeFolder().find("/missing"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(LaunchEnvironment::homeFolder()));
}

}  // namespace
}  // namespace qs::x11
