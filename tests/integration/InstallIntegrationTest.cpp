// Installs the build into a temporary prefix with `cmake --install`, starts the installed
// program on the test X display (Xvfb + openbox, from scripts/test.sh) and reads what it
// shows and says: its what's-new window comes up on a first start, and it finds every
// resource it looks for from its installed place.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/Processes.h"
#include "support/TestEnvironment.h"
#include "support/Files.h"

namespace fs = std::filesystem;

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return a;
}

std::string textProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop) {
    auto* r = xcb_get_property_reply(c, xcb_get_property(c, 0, w, prop, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr);
    std::string s;
    if (r && r->format == 8) s.assign(static_cast<const char*>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
    free(r);
    return s;
}

uint32_t pidOf(xcb_connection_t* c, xcb_window_t w, xcb_atom_t pidAtom) {
    auto* r = xcb_get_property_reply(c, xcb_get_property(c, 0, w, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    uint32_t pid = 0;
    if (r && r->format == 32 && xcb_get_property_value_length(r) >= 4) pid = *static_cast<uint32_t*>(xcb_get_property_value(r));
    free(r);
    return pid;
}

// The titles of every window of the process below w.
void titlesOf(xcb_connection_t* c, xcb_window_t w, uint32_t pid, std::vector<std::string>& out) {
    if (pidOf(c, w, atom(c, "_NET_WM_PID")) == pid) out.push_back(textProperty(c, w, atom(c, "_NET_WM_NAME")));
    auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr);
    if (!tree) return;
    xcb_window_t* kids = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) titlesOf(c, kids[i], pid, out);
    free(tree);
}

class InstalledProgram : public qs::test::IsolatedTest {
protected:
    void SetUp() override {
        if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
        if (!getenv("QUAYSIDE_BUILD_DIR") || !getenv("CMAKE_COMMAND")) GTEST_SKIP() << "the build is not known";
        conn_ = xcb_connect(nullptr, nullptr);
        ASSERT_FALSE(xcb_connection_has_error(conn_));
    }
    void TearDown() override {
        if (child_ > 0) {
            qs::test::signalProcess(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        if (conn_) xcb_disconnect(conn_);
    }

    xcb_connection_t* conn_ = nullptr;
    pid_t child_ = -1;
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

    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;
    bool shown = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!shown && std::chrono::steady_clock::now() < deadline) {
        std::vector<std::string> titles;
        titlesOf(conn_, root, uint32_t(child_), titles);
        for (const auto& t : titles) shown |= t == "What's New in Quayside";
        if (!shown) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
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
