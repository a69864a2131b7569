// The real program on a private Xvfb of its own (screen changes would disturb the other
// tests on the shared display): the resolution is changed, the framebuffer resized under
// a switched-off output, monitors added and removed, a 1 x 1 mode set. The dock panel
// must stay on the root window along its bottom edge, and the program must live on.

#include <fcntl.h>

#include "integration/DockProcess.h"

namespace fs = std::filesystem;
using namespace qs;
using test::Box;
using test::waitFor;

namespace {

bool onPath(const char* program) {
    std::string command = std::string("command -v ") + program + " > /dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

class ScreenChangeIntegration : public test::IsolatedTest {
protected:
    void SetUp() override {
        binary_ = getenv("QUAYSIDE_BINARY") ? getenv("QUAYSIDE_BINARY") : "";
        if (binary_.empty()) GTEST_SKIP() << "QUAYSIDE_BINARY is not set";
        ASSERT_TRUE(fs::exists(binary_)) << binary_ << " has not been built";
        if (!onPath("Xvfb") || !onPath("xrandr")) GTEST_SKIP() << "Xvfb or xrandr is missing";
        startServer();
        ASSERT_TRUE(conn_) << "the private Xvfb did not start";
    }
    void TearDown() override {
        stop(dock_);
        if (conn_) xcb_disconnect(conn_);
        stop(server_);
    }

    // Ends a child: SIGTERM first, so that an X server takes its lock file and socket
    // away (after SIGKILL they stay, and the display numbers run out), SIGKILL when it
    // does not end within five seconds.
    static void stop(pid_t& pid) {
        if (pid <= 0) return;
        test::signalProcess(pid, SIGTERM);
        if (!waitFor([&] { return waitpid(pid, nullptr, WNOHANG) == pid; }, 5.0)) {
            test::signalProcess(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        pid = -1;
    }

    // A server on a display it picks itself (-displayfd): servers started at the same time
    // never share one, and stale locks of servers long gone take nothing away.
    void startServer() {
        int fds[2];
        if (pipe(fds) != 0) return;
        server_ = fork();
        if (server_ == 0) {
            close(fds[0]);
            int null = ::open("/dev/null", O_WRONLY);
            if (null >= 0) {
                dup2(null, 1);
                dup2(null, 2);
            }
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1600x900x24", "-nolisten", "tcp", nullptr);
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c = 0;
        // The server writes its display number once it accepts connections.
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) return;
        display_ = ":" + number;
        xcb_connection_t* connection = xcb_connect(display_.c_str(), nullptr);
        if (xcb_connection_has_error(connection)) {
            xcb_disconnect(connection);
            return;
        }
        conn_ = connection;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;
    }

    void startDock() {
        dock_ = fork();
        ASSERT_GE(dock_, 0);
        if (dock_ == 0) {
            unsetenv("QT_QPA_PLATFORM");
            setenv("DISPLAY", display_.c_str(), 1);
            execl(binary_.c_str(), binary_.c_str(), nullptr);
            _exit(127);
        }
    }

    bool dockAlive() {
        int status = 0;
        return dock_ > 0 && waitpid(dock_, &status, WNOHANG) == 0;
    }

    int xrandr(const std::string& arguments) {
        std::string command = "DISPLAY=" + display_ + " xrandr " + arguments + " > /dev/null 2>&1";
        return std::system(command.c_str());
    }

    Box rootBox() {
        Box b;
        if (auto* g = xcb_get_geometry_reply(conn_, xcb_get_geometry(conn_, root_), nullptr)) {
            b = {0, 0, g->width, g->height};
            free(g);
        }
        return b;
    }

    // The viewable dock-type window of the program, in root coordinates.
    std::optional<Box> panel() { return test::shownPanel(conn_, uint32_t(dock_)); }

    // Whether the panel stands wholly on the root window with its bottom on the root's
    // bottom edge (the default dock: bottom edge, start alignment).
    bool panelAlongTheBottom() {
        auto p = panel();
        Box r = rootBox();
        return p && p->width > 0 && p->height > 0 && p->x >= 0 && p->y >= 0 && p->x + p->width <= r.width &&
               p->y + p->height == r.height;
    }

    std::string describePanel() {
        auto p = panel();
        Box r = rootBox();
        std::string s = "root " + std::to_string(r.width) + "x" + std::to_string(r.height) + ", panel ";
        if (!p) return s + "not shown";
        return s + std::to_string(p->width) + "x" + std::to_string(p->height) + "+" + std::to_string(p->x) + "+" +
               std::to_string(p->y);
    }

    std::string binary_;
    std::string display_;
    pid_t server_ = -1;
    pid_t dock_ = -1;
    xcb_connection_t* conn_ = nullptr;
    xcb_window_t root_ = XCB_WINDOW_NONE;
};

TEST_F(ScreenChangeIntegration, ThePanelFollowsResolutionChangesAndResizedFramebuffers) {
    startDock();
    ASSERT_TRUE(waitFor([&] { return panelAlongTheBottom(); }, 20.0)) << describePanel();

    // A new mode on the output: the screen itself changes size.
    ASSERT_EQ(xrandr("--newmode qs_1024 63.5 1024 1072 1176 1328 768 771 775 798"), 0);
    ASSERT_EQ(xrandr("--addmode screen qs_1024"), 0);
    ASSERT_EQ(xrandr("--output screen --mode qs_1024"), 0);
    EXPECT_TRUE(waitFor([&] { return rootBox().width == 1024 && panelAlongTheBottom(); })) << describePanel();

    ASSERT_EQ(xrandr("--output screen --mode 1600x900"), 0);
    EXPECT_TRUE(waitFor([&] { return rootBox().width == 1600 && panelAlongTheBottom(); })) << describePanel();

    // The framebuffer made smaller than the output's mode: the server switches the output
    // off and the toolkit keeps reporting the old screen; the panel must not stay below
    // the new bottom edge.
    xrandr("--fb 1024x768");
    EXPECT_TRUE(waitFor([&] { return rootBox().height == 768 && panelAlongTheBottom(); })) << describePanel();
    xrandr("--fb 800x600");
    EXPECT_TRUE(waitFor([&] { return rootBox().height == 600 && panelAlongTheBottom(); })) << describePanel();

    // The output back on at its full size.
    xrandr("--fb 1600x900");
    xrandr("--output screen --auto");
    EXPECT_TRUE(waitFor([&] { return rootBox().height == 900 && panelAlongTheBottom(); })) << describePanel();
    EXPECT_TRUE(dockAlive());
}

TEST_F(ScreenChangeIntegration, MonitorsComeAndGoAndATinyModeIsSurvived) {
    startDock();
    ASSERT_TRUE(waitFor([&] { return panelAlongTheBottom(); }, 20.0)) << describePanel();

    // Two monitors side by side, then both taken away again.
    ASSERT_EQ(xrandr("--setmonitor qs_left 800/200x900/200+0+0 screen"), 0);
    ASSERT_EQ(xrandr("--setmonitor qs_right 800/200x900/200+800+0 none"), 0);
    EXPECT_TRUE(waitFor([&] {
        auto p = panel();
        return p && panelAlongTheBottom() && p->x + p->width <= 800;  // on the first monitor
    })) << describePanel();
    xrandr("--delmonitor qs_right");
    xrandr("--delmonitor qs_left");
    EXPECT_TRUE(waitFor([&] { return panelAlongTheBottom(); })) << describePanel();

    // Every screen gone, then back.
    xrandr("--output screen --off");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(dockAlive());
    xrandr("--output screen --auto");
    EXPECT_TRUE(waitFor([&] { return panelAlongTheBottom(); })) << describePanel();

    // A one-pixel mode: no crash; the panel comes back with a usable mode.
    xrandr("--newmode qs_tiny 1 1 2 3 4 1 2 3 4");
    xrandr("--addmode screen qs_tiny");
    xrandr("--output screen --mode qs_tiny");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(dockAlive());
    xrandr("--output screen --mode 1600x900 --fb 1600x900");
    EXPECT_TRUE(waitFor([&] { return panelAlongTheBottom(); })) << describePanel();
    EXPECT_TRUE(dockAlive());
}

}  // namespace
