#pragma once
// What the integration tests share: the real program started as a child process on an X
// display, its windows found through the X server (by _NET_WM_PID), its end by a signal,
// and what it stored read back.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/PropertyList.h"
#include "support/Files.h"
#include "support/Processes.h"
#include "support/TestEnvironment.h"

namespace qs::test {

inline xcb_atom_t intern(xcb_connection_t* c, const char* name) {
    auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return a;
}

inline std::string textProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop) {
    auto* r = xcb_get_property_reply(c, xcb_get_property(c, 0, w, prop, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr);
    std::string s;
    if (r && r->format == 8) s.assign(static_cast<const char*>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
    free(r);
    return s;
}

inline uint32_t cardinalProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop, bool* ok) {
    auto* r = xcb_get_property_reply(c, xcb_get_property(c, 0, w, prop, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    *ok = r && r->format == 32 && xcb_get_property_value_length(r) >= 4;
    uint32_t v = *ok ? *static_cast<uint32_t*>(xcb_get_property_value(r)) : 0;
    free(r);
    return v;
}

// Every window below `w` (depth first, `w` included) whose _NET_WM_PID is pid.
inline std::vector<xcb_window_t> windowsOfPid(xcb_connection_t* c, xcb_window_t w, uint32_t pid) {
    const xcb_atom_t pidAtom = intern(c, "_NET_WM_PID");
    std::vector<xcb_window_t> found, pending{w};
    while (!pending.empty()) {
        xcb_window_t next = pending.back();
        pending.pop_back();
        bool ok = false;
        if (cardinalProperty(c, next, pidAtom, &ok) == pid && ok) found.push_back(next);
        if (auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, next), nullptr)) {
            xcb_window_t* kids = xcb_query_tree_children(tree);
            pending.insert(pending.end(), kids, kids + xcb_query_tree_children_length(tree));
            free(tree);
        }
    }
    return found;
}

struct Box {
    int x = 0, y = 0, width = 0, height = 0;
    int centreX() const { return x + width / 2; }
    int centreY() const { return y + height / 2; }
};

// A viewable window of a process, in root coordinates, with its window types; `dock`
// when it is a dock-type window (the panel).
struct ShownWindow {
    xcb_window_t id = XCB_WINDOW_NONE;
    Box box;
    std::vector<xcb_atom_t> types;
    bool dock = false;
};

inline std::vector<ShownWindow> shownWindowsOf(xcb_connection_t* c, uint32_t pid) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t typeAtom = intern(c, "_NET_WM_WINDOW_TYPE");
    const xcb_atom_t dockAtom = intern(c, "_NET_WM_WINDOW_TYPE_DOCK");
    std::vector<ShownWindow> shown;
    for (xcb_window_t w : windowsOfPid(c, root, pid)) {
        auto* attributes = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
        const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        free(attributes);
        if (!viewable) continue;
        ShownWindow s{w, {}, {}, false};
        if (auto* type = xcb_get_property_reply(c, xcb_get_property(c, 0, w, typeAtom, XCB_ATOM_ATOM, 0, 8), nullptr)) {
            auto* atoms = static_cast<xcb_atom_t*>(xcb_get_property_value(type));
            s.types.assign(atoms, atoms + xcb_get_property_value_length(type) / 4);
            free(type);
        }
        s.dock = std::find(s.types.begin(), s.types.end(), dockAtom) != s.types.end();
        auto* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr);
        auto* t = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, w, root, 0, 0), nullptr);
        if (g && t) s.box = Box{t->dst_x, t->dst_y, g->width, g->height};
        free(g);
        free(t);
        shown.push_back(s);
    }
    return shown;
}

// The program's viewable dock panel, in root coordinates.
inline std::optional<Box> shownPanel(xcb_connection_t* c, uint32_t pid) {
    for (const auto& w : shownWindowsOf(c, pid))
        if (w.dock) return w.box;
    return std::nullopt;
}

// Waits up to `seconds` for `condition`, looking every 50 ms.
template <class F>
bool waitFor(F condition, double seconds = 10.0) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

// A child process of the test on the X display, killed after the test when it still
// runs, and a connection of the test's own to the display.
class ChildProcessTest : public IsolatedTest {
protected:
    void SetUp() override {
        if (!getenv("DISPLAY")) GTEST_SKIP() << "no X display";
        conn_ = xcb_connect(nullptr, nullptr);
        ASSERT_FALSE(xcb_connection_has_error(conn_));
    }
    void TearDown() override {
        if (child_ > 0) {
            signalProcess(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
            child_ = -1;
        }
        if (conn_) xcb_disconnect(conn_);
        conn_ = nullptr;
    }

    xcb_connection_t* conn_ = nullptr;
    pid_t child_ = -1;
};

// The program (QUAYSIDE_BINARY) as a child process on the test display, with the test's
// own configuration and data folders.
class DockProcessTest : public ChildProcessTest {
protected:
    void SetUp() override {
        ChildProcessTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        binary_ = getenv("QUAYSIDE_BINARY") ? getenv("QUAYSIDE_BINARY") : "";
        if (binary_.empty()) GTEST_SKIP() << "QUAYSIDE_BINARY is not set";
        ASSERT_TRUE(std::filesystem::exists(binary_)) << binary_ << " has not been built";
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
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;
        std::vector<xcb_window_t> found;
        waitFor([&] { return !(found = windowsOfPid(conn_, root, uint32_t(child_))).empty(); }, seconds);
        return found;
    }

    // Sends `signal`, then answers the exit status (-1 when it did not end within the time;
    // 128 + n when a signal n ended it).
    int terminate(double seconds, int signal = SIGTERM) {
        if (!signalProcess(child_, signal)) return -1;
        int result = -1;
        waitFor(
            [&] {
                int status = 0;
                if (waitpid(child_, &status, WNOHANG) != child_) return false;
                child_ = -1;
                result = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return true;
            },
            seconds);
        return result;
    }

    std::string defaultsPath() const { return env.configHome() + "/quayside/org.quayside.Quayside.plist"; }

    // The keyed archive stored under key, parsed as a property list.
    static Dictionary archiveUnder(const Dictionary& defaults, const std::string& key) {
        auto it = defaults.find(key);
        if (it == defaults.end() || !it->second.data()) return {};
        auto parsed = PropertyList::parse(*it->second.data());
        return parsed && parsed->dictionary() ? *parsed->dictionary() : Dictionary{};
    }

    std::string binary_;
};

}  // namespace qs::test
