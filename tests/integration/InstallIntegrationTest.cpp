// Installs the build into a temporary prefix with `cmake --install`, starts the installed
// program on the test X display (Xvfb + openbox, from scripts/test.sh) and reads what it
// shows and says: its what's-new window comes up on a first start, and it finds every
// resource it looks for from its installed place.

#include <fstream>

#include "integration/DockProcess.h"
#include "support/Files.h"

namespace fs = std::filesystem;
using namespace qs::test;

namespace {

// The titles of every window of the process.
std::vector<std::string> titlesOf(xcb_connection_t* c, uint32_t pid) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    std::vector<std::string> titles;
    for (xcb_window_t w : windowsOfPid(c, root, pid)) titles.push_back(textProperty(c, w, intern(c, "_NET_WM_NAME")));
    return titles;
}

class InstalledProgram : public ChildProcessTest {
protected:
    void SetUp() override {
        ChildProcessTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (!getenv("QUAYSIDE_BUILD_DIR") || !getenv("CMAKE_COMMAND")) GTEST_SKIP() << "the build is not known";
    }
};

TEST_F(InstalledProgram, ShowsItsWhatsNewWindowAndFindsItsResources) {
    const std::string prefix = env.root() + "/prefix";
    const std::string cmd = std::string("\"") + getenv("CMAKE_COMMAND") + "\" --install \"" + getenv("QUAYSIDE_BUILD_DIR") +
                            "\" --prefix \"" + prefix + "\" > \"" + env.root() + "/install.log\" 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << qs::test::readFileOrEmpty(env.root() + "/install.log");
    const std::string program = prefix + "/bin/quayside";
    ASSERT_TRUE(fs::exists(program));

    const std::string errors = env.root() + "/stderr.log";
    child_ = fork();
    ASSERT_GE(child_, 0);
    if (child_ == 0) {
        FILE* f = freopen(errors.c_str(), "w", stderr);
        (void)f;
        unsetenv("QT_QPA_PLATFORM");
        // Started from elsewhere: only its own place leads to its resources.
        if (chdir("/") != 0) _exit(126);
        execl(program.c_str(), program.c_str(), nullptr);
        _exit(127);
    }

    const bool shown = waitFor(
        [&] {
            for (const auto& t : titlesOf(conn_, uint32_t(child_)))
                if (t == "What's New in Quayside") return true;
            return false;
        },
        20.0);
    EXPECT_TRUE(shown) << "no what's-new window on the first start\n" << qs::test::readFileOrEmpty(errors);

    qs::test::signalProcess(child_, SIGTERM);
    int status = 0;
    waitpid(child_, &status, 0);
    child_ = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << qs::test::readFileOrEmpty(errors);

    const std::string log = qs::test::readFileOrEmpty(errors);
    for (const char* missing : {"were not found beside it", "are not installed", "is not among the program's images",
                                "no resource themes were found"})
        EXPECT_EQ(log.find(missing), std::string::npos) << missing << "\n" << log;
}

}  // namespace
