// Listing the windows of all applications on a real X server (run under Xvfb with a
// window manager: DISPLAY=:58 build/bench_window_list), with 10, 100 and 500 client
// windows, and one window capture. The list is read in batches: a refresh costs the
// same three round trips however many windows there are.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include "platform/desktop/Desktop.h"
#include "platform/x11/X11Accessibility.h"
#include "platform/x11/X11WindowServer.h"
#include "platform/x11/X11Workspace.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/XConnection.h"
#include "tracking/SIApplication.h"
#include "tracking/SIWindow.h"

namespace {

using namespace qs;
using namespace qs::x11;

// Client windows made on a connection of their own, owned by a few processes (ten
// windows each, as applications with several windows).
struct Clients {
    xcb_connection_t* c = nullptr;
    std::vector<xcb_window_t> windows;

    explicit Clients(int count) {
        c = xcb_connect(nullptr, nullptr);
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 11, "_NET_WM_PID"), nullptr);
        xcb_atom_t pidAtom = r->atom;
        free(r);
        for (int i = 0; i < count; ++i) {
            xcb_window_t w = xcb_generate_id(c);
            xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 20 + (i % 40) * 10, 20 + (i % 30) * 10, 300,
                              200, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
            uint32_t pid = i < 10 ? uint32_t(::getpid()) : uint32_t(3000000 + i / 10);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, pidAtom, XCB_ATOM_CARDINAL, 32, 1, &pid);
            std::string title = "window " + std::to_string(i);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                                uint32_t(title.size()), title.data());
            xcb_map_window(c, w);
            windows.push_back(w);
        }
        xcb_flush(c);
    }
    ~Clients() { xcb_disconnect(c); }
};

struct Desktop {
    std::shared_ptr<XConnection> conn;
    std::shared_ptr<X11WindowServer> windows;
    std::shared_ptr<X11Workspace> workspace;
    std::shared_ptr<X11Accessibility> accessibility;

    Desktop() {
        conn = XConnection::open();
        if (!conn) return;
        desktop::Services s;
        addWindowServices(s, conn);
        windows = std::static_pointer_cast<X11WindowServer>(s.windowServer);
        workspace = std::static_pointer_cast<X11Workspace>(s.workspace);
        accessibility = std::static_pointer_cast<X11Accessibility>(s.accessibility);
        desktop::install(s);
    }
    ~Desktop() { desktop::install({}); }
};

// Waits until the window manager manages every one of the windows, mapped.
bool managed(X11WindowServer& windows, const Clients& clients) {
    for (int i = 0; i < 1000; ++i) {
        windows.refresh();
        size_t ready = 0;
        for (auto w : clients.windows)
            if (auto c = windows.client(w); c && c->viewable) ++ready;
        if (ready == clients.windows.size()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void BM_ListWindowsOfAllApplications(benchmark::State& state) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        state.SkipWithError("DISPLAY is not set");
        return;
    }
    Clients clients(int(state.range(0)));
    Desktop d;
    if (!d.windows || !managed(*d.windows, clients)) {
        state.SkipWithError("the window manager did not manage the windows");
        return;
    }
    d.workspace = std::make_shared<X11Workspace>(d.conn, d.windows);  // sees every process
    desktop::services().workspace = d.workspace;
    size_t listed = 0;
    int refreshesBefore = d.windows->refreshCount();
    for (auto _ : state) {
        d.windows->invalidate();  // as after an X event: the next read refreshes
        auto all = SIWindow::allWindows();
        for (auto& w : all) benchmark::DoNotOptimize(w->title());
        listed = all.size();
    }
    state.counters["windows"] = double(listed);
    state.counters["refreshes_per_list"] =
        double(d.windows->refreshCount() - refreshesBefore) / double(state.iterations());
}
BENCHMARK(BM_ListWindowsOfAllApplications)->Arg(10)->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond);

void BM_RefreshWindowTable(benchmark::State& state) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        state.SkipWithError("DISPLAY is not set");
        return;
    }
    Clients clients(int(state.range(0)));
    Desktop d;
    if (!d.windows || !managed(*d.windows, clients)) {
        state.SkipWithError("the window manager did not manage the windows");
        return;
    }
    for (auto _ : state) d.windows->refresh();
}
BENCHMARK(BM_RefreshWindowTable)->Arg(10)->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond);

void BM_CaptureOneWindow(benchmark::State& state) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        state.SkipWithError("DISPLAY is not set");
        return;
    }
    Clients clients(1);
    Desktop d;
    if (!d.windows || !managed(*d.windows, clients)) {
        state.SkipWithError("the window manager did not manage the window");
        return;
    }
    xcb_window_t w = clients.windows[0];
    size_t pictures = 0;
    for (auto _ : state) {
        auto image = d.windows->captureWindow(w);
        pictures += image ? 1 : 0;
        benchmark::DoNotOptimize(image);
    }
    state.counters["captured"] = double(pictures) / double(state.iterations());
}
BENCHMARK(BM_CaptureOneWindow)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
