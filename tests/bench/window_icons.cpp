// The icon of a running program without a desktop entry (xclock), whose window gives a
// large _NET_WM_ICON (seven pictures up to 400 x 400, about 1 MiB of property data), on
// a real X server (run under Xvfb with a window manager, e.g.
// `source scripts/xsession.sh; xsession_start`):
//   - IconForFile: the main-thread call that answers the icon; "requests" counts the
//     requests it sends on the main connection to the server per call;
//   - Pixels: the pixels at 64 pixels a side, as the icon cache's workers ask for them.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QCoreApplication>

#include "bench/BenchMain.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/Workspace.h"
#include "platform/foundation/RunLoop.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/X11WindowServer.h"
#include "platform/x11/XConnection.h"

namespace {

using namespace qs;

// The sequence number of the next request on the connection (one request is spent).
unsigned nextSequence(xcb_connection_t* c) {
    auto cookie = xcb_get_input_focus(c);
    xcb_discard_reply(c, cookie.sequence);
    return cookie.sequence + 1;
}

// An _NET_WM_ICON of pictures of the sides given, each filled with one colour.
std::vector<uint32_t> largeIcon() {
    std::vector<uint32_t> data;
    for (uint32_t side : {16u, 32u, 48u, 64u, 128u, 256u, 400u}) {
        data.push_back(side);
        data.push_back(side);
        data.insert(data.end(), size_t(side) * side, 0xFF000000u | side);
    }
    return data;
}

struct Clock {
    std::shared_ptr<x11::XConnection> conn;
    pid_t pid = -1;
    std::string path;
    std::string why;

    Clock() {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) {
            why = "DISPLAY is not set";
            return;
        }
        conn = x11::XConnection::open();
        if (!conn) {
            why = "cannot connect to the display";
            return;
        }
        pid = ::fork();
        if (pid == 0) {
            ::execlp("xclock", "xclock", "-geometry", "100x100+300+300", nullptr);
            ::_exit(127);
        }
        desktop::Services s;
        x11::addWindowServices(s, conn);
        desktop::install(s);
        auto windows = std::static_pointer_cast<x11::X11WindowServer>(s.windowServer);
        std::vector<xcb_window_t> own;
        for (int i = 0; i < 500 && (own.empty() || path.empty()); ++i) {
            conn->processPendingEvents();
            QCoreApplication::processEvents();
            static_cast<ManualRunLoop&>(RunLoop::main()).runPending();
            own.clear();
            for (auto& c : windows->clientsOf(pid)) own.push_back(c.window);
            for (auto& app : desktop::services().workspace->runningApplications())
                if (app->processIdentifier() == pid) path = app->info().executablePath;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (own.empty() || path.empty()) {
            why = "xclock did not appear";
            return;
        }
        const auto icon = largeIcon();
        for (auto w : own)
            xcb_change_property(conn->connection(), XCB_PROP_MODE_REPLACE, w, conn->atom("_NET_WM_ICON"),
                                XCB_ATOM_CARDINAL, 32, uint32_t(icon.size()), icon.data());
        free(xcb_get_input_focus_reply(conn->connection(), xcb_get_input_focus(conn->connection()), nullptr));
    }
    ~Clock() {
        desktop::install({});
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

void BM_IconForFile(benchmark::State& state) {
    Clock clock;
    if (!clock.why.empty()) {
        state.SkipWithError(clock.why.c_str());
        return;
    }
    auto* ws = desktop::services().workspace.get();
    xcb_connection_t* c = clock.conn->connection();
    unsigned requests = 0;
    int64_t calls = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const unsigned before = nextSequence(c);
        state.ResumeTiming();
        auto icon = ws->iconForFile(clock.path);
        benchmark::DoNotOptimize(icon);
        state.PauseTiming();
        requests += nextSequence(c) - before - 1;
        ++calls;
        state.ResumeTiming();
    }
    state.counters["requests"] = calls ? double(requests) / double(calls) : 0;
    auto icon = ws->iconForFile(clock.path);
    state.counters["side"] = icon ? double(icon->pixelsForSize(128).width()) : 0;
}
BENCHMARK(BM_IconForFile)->Unit(benchmark::kMicrosecond);

void BM_Pixels(benchmark::State& state) {
    Clock clock;
    if (!clock.why.empty()) {
        state.SkipWithError(clock.why.c_str());
        return;
    }
    auto icon = desktop::services().workspace->iconForFile(clock.path);
    for (auto _ : state) {
        QImage pixels = icon ? icon->pixelsForSize(64) : QImage();
        if (pixels.isNull()) {
            state.SkipWithError("no pixels");
            return;
        }
        benchmark::DoNotOptimize(pixels);
    }
}
BENCHMARK(BM_Pixels)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) { return qs::bench::runOffscreen(argc, argv, true); }
