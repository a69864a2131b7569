// The real program on a private Xvfb of its own (screen changes would disturb the other
// tests on the shared display): the resolution is changed, the framebuffer resized under
// a switched-off output, monitors added and removed, a 1 x 1 mode set. The dock panel
// must stay on the root window along its bottom edge, and the program must live on.

#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/Processes.h"
#include "support/TestEnvironment.h"

namespace fs = std::filesystem;
using namespace qs;

namespace {

bool onPath(const char* program) {
    std::string command = std::string("command -v ") + program + " > /dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

xcb_atom_t intern(xcb_connection_t* c, const char* name) {
    auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return a;
}

struct Box {
    int x = 0, y = 0, width = 0, height = 0;
};

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
        stop(dock_, SIGKILL);
        if (conn_) xcb_disconnect(conn_);
        stop(server_, SIGTERM);
    }

    static void stop(pid_t& pid, int signal) {
        if (pid <= 0) return;
        test::signalProcess(pid, signal);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }

    // The server picks a free display itself (-displayfd) and ends on SIGTERM, removing
    // its lock: numbers left locked by servers that were killed never run out.
    void startServer() {
        int number[2];
        if (::pipe(number) != 0) return;
        server_ = fork();
        if (server_ == 0) {
            ::close(number[0]);
            int null = ::open("/dev/null", O_WRONLY);
            if (null >= 0) {
                dup2(null, 1);
                dup2(null, 2);
            }
            const std::string fd = std::to_string(number[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1600x900x24", "-nolisten", "tcp", nullptr);
            _exit(127);
        }
        ::close(number[1]);
        std::string digits;
        char ch = 0;
        while (::read(number[0], &ch, 1) == 1 && ch != '\n') digits += ch;
        ::close(number[0]);
        if (server_ < 0 || digits.empty()) return;
        display_ = ":" + digits;
        xcb_connection_t* c = xcb_connect(display_.c_str(), nullptr);
        if (xcb_connection_has_error(c)) {
            xcb_disconnect(c);
            return;
        }
        conn_ = c;
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
    std::optional<Box> panel() {
        xcb_atom_t pidAtom = intern(conn_, "_NET_WM_PID");
        xcb_atom_t typeAtom = intern(conn_, "_NET_WM_WINDOW_TYPE");
        xcb_atom_t dockAtom = intern(conn_, "_NET_WM_WINDOW_TYPE_DOCK");
        std::optional<Box> found;
        std::vector<xcb_window_t> pending{root_};
        while (!pending.empty() && !found) {
            xcb_window_t w = pending.back();
            pending.pop_back();
            auto* pid = xcb_get_property_reply(conn_, xcb_get_property(conn_, 0, w, pidAtom, XCB_ATOM_CARDINAL, 0, 1),
                                               nullptr);
            bool ours = pid && xcb_get_property_value_length(pid) == 4 &&
                        *static_cast<uint32_t*>(xcb_get_property_value(pid)) == uint32_t(dock_);
            free(pid);
            if (ours) {
                auto* type = xcb_get_property_reply(
                    conn_, xcb_get_property(conn_, 0, w, typeAtom, XCB_ATOM_ATOM, 0, 8), nullptr);
                bool isDock = false;
                if (type) {
                    auto* atoms = static_cast<xcb_atom_t*>(xcb_get_property_value(type));
                    for (int i = 0; i < xcb_get_property_value_length(type) / 4; ++i) isDock |= atoms[i] == dockAtom;
                    free(type);
                }
                auto* attributes =
                    xcb_get_window_attributes_reply(conn_, xcb_get_window_attributes(conn_, w), nullptr);
                bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
                free(attributes);
                if (isDock && viewable) {
                    auto* g = xcb_get_geometry_reply(conn_, xcb_get_geometry(conn_, w), nullptr);
                    auto* t = xcb_translate_coordinates_reply(conn_, xcb_translate_coordinates(conn_, w, root_, 0, 0),
                                                              nullptr);
                    if (g && t) found = Box{t->dst_x, t->dst_y, g->width, g->height};
                    free(g);
                    free(t);
                }
            }
            if (auto* tree = xcb_query_tree_reply(conn_, xcb_query_tree(conn_, w), nullptr)) {
                xcb_window_t* kids = xcb_query_tree_children(tree);
                pending.insert(pending.end(), kids, kids + xcb_query_tree_children_length(tree));
                free(tree);
            }
        }
        return found;
    }

    // Whether the panel stands wholly on the root window with its bottom on the root's
    // bottom edge (the default dock: bottom edge, start alignment).
    bool panelAlongTheBottom() {
        auto p = panel();
        Box r = rootBox();
        return p && p->width > 0 && p->height > 0 && p->x >= 0 && p->y >= 0 && p->x + p->width <= r.width &&
               p->y + p->height == r.height;
    }

    template <class F>
    bool waitFor(F condition, double seconds = 10.0) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return condition();
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
