// The time from a click on a dock cell to the window manager's answer: a real panel with
// the cells of two xterms, a click (XTest press and release) on the cell of the xterm
// that is not active, timed until the root window's _NET_ACTIVE_WINDOW names that xterm's
// window (a PropertyNotify on another connection). The clicks alternate between the two.
// Needs a real X server with a window manager, e.g.
//   source scripts/xsession.sh; xsession_start; build/tests/bench/bench_cell_click
// Prints nothing to time without DISPLAY.

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <QApplication>
#include <QWidget>

#include "core/DockConfiguration.h"
#include "core/DockModel.h"
#include "core/MenuModel.h"
#include "core/ThemeManager.h"
#include "core/TrashModel.h"
#include "dock_ui/DockCollectionView.h"
#include "dock_ui/DockWindow.h"
#include "platform/desktop/Screen.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/XConnection.h"
#include "tracking/AppMonitoringService.h"
#include "support/Processes.h"

namespace {

using namespace qs;

std::shared_ptr<ManualRunLoop> loop;

struct Session {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t active = 0, pidAtom = 0, clients = 0;
    std::shared_ptr<DockModel> model;
    std::shared_ptr<DockWindow> window;
    std::vector<pid_t> children;

    xcb_atom_t atom(const char* name) {
        auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
        xcb_atom_t a = r ? r->atom : 0;
        free(r);
        return a;
    }
    std::vector<uint32_t> property(xcb_window_t w, xcb_atom_t prop, xcb_atom_t type) {
        auto* r = xcb_get_property_reply(c, xcb_get_property(c, 0, w, prop, type, 0, 1024), nullptr);
        std::vector<uint32_t> out;
        if (r) {
            auto* v = static_cast<uint32_t*>(xcb_get_property_value(r));
            out.assign(v, v + xcb_get_property_value_length(r) / 4);
            free(r);
        }
        return out;
    }
    xcb_window_t activeWindow() {
        auto v = property(root, active, XCB_ATOM_WINDOW);
        return v.empty() ? 0 : v[0];
    }
    xcb_window_t windowOf(pid_t pid) {
        for (auto w : property(root, clients, XCB_ATOM_WINDOW)) {
            auto p = property(w, pidAtom, XCB_ATOM_CARDINAL);
            if (!p.empty() && pid_t(p[0]) == pid) return w;
        }
        return 0;
    }
    void pump() {
        x11::XConnection::shared()->processPendingEvents();
        QCoreApplication::processEvents();
        loop->runPending();
    }
    template <class F>
    bool pumpUntil(F done, int ms) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            pump();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    long indexOf(pid_t pid) {
        const auto& items = model->panelContent();
        for (size_t i = 0; i < items.size(); ++i)
            if (auto app = items[i].objectAs<RunningApplication>(); app && app->processIdentifier() == pid) return long(i);
        return -1;
    }
    QPoint centre(long index) {
        QWidget* v = window->collectionView()->itemAtIndex(size_t(index))->view();
        return v->mapToGlobal(QPoint(v->width() / 2, v->height() / 2));
    }

    bool start() {
        if (!x11::installX11Backend()) return false;
        c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c)) return false;
        root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        active = atom("_NET_ACTIVE_WINDOW");
        pidAtom = atom("_NET_WM_PID");
        clients = atom("_NET_CLIENT_LIST");
        uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c);
        UserDefaults::standardUserDefaults().setBool(false, "DoNotDisplayRunning");
        ThemeManager::setResourceThemesDirectoryForTesting(std::string());
        auto config = DockConfiguration::create();
        config->setPosition(1);
        config->setIconSize(48);
        config->setWindowActivation(1);
        model = DockModel::create();
        model->setPanelContent({});
        auto screen = Screen::screens().front();
        window = DockWindow::initWithPanelModel(model, config, screen);
        window->fadeInOnScreen(screen);
        loop->advance(0.2);
        for (int x : {200, 600}) {
            pid_t pid = ::fork();
            if (pid == 0) {
                std::string geometry = "40x5+" + std::to_string(x) + "+100";
                ::execlp("xterm", "xterm", "-geometry", geometry.c_str(), nullptr);
                ::_exit(127);
            }
            children.push_back(pid);
            if (!pumpUntil([&] { return windowOf(pid) != 0 && indexOf(pid) >= 0; }, 10000)) return false;
        }
        loop->advance(1.0);
        pumpUntil([] { return false; }, 300);
        return true;
    }
    ~Session() {
        for (pid_t pid : children) {
            qs::test::signalProcess(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (window) {
            window->orderOut();
            window->close();
            window.reset();
        }
        model.reset();
        AppMonitoringService::resetSharedInstanceForTesting();
        TrashModel::resetSharedInstanceForTesting();
        MenuModel::resetSharedInstanceForTesting();
        if (c) xcb_disconnect(c);
        x11::uninstallX11Backend();
    }
};

void BM_ClickToActiveWindow(benchmark::State& state) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        state.SkipWithError("DISPLAY is not set");
        return;
    }
    Session s;
    if (!s.start()) {
        state.SkipWithError("the panel or the xterms did not come up");
        return;
    }
    size_t turn = 0;
    double worst = 0.0;
    for (auto _ : state) {
        // The xterm that is not active now.
        pid_t target = s.children[turn++ % 2];
        xcb_window_t targetWindow = s.windowOf(target);
        if (s.activeWindow() == targetWindow) target = s.children[turn++ % 2], targetWindow = s.windowOf(target);
        const QPoint p = s.centre(s.indexOf(target));
        xcb_test_fake_input(s.c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, XCB_WINDOW_NONE, int16_t(p.x()), int16_t(p.y()), 0);
        xcb_flush(s.c);
        s.pumpUntil([] { return false; }, 30);  // the pointer arrives; not timed
        while (xcb_generic_event_t* e = xcb_poll_for_event(s.c)) free(e);

        const auto t0 = std::chrono::steady_clock::now();
        xcb_test_fake_input(s.c, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
        xcb_test_fake_input(s.c, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
        xcb_flush(s.c);
        bool done = false;
        while (!done && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(3)) {
            s.pump();
            while (xcb_generic_event_t* e = xcb_poll_for_event(s.c)) {
                if ((e->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
                    reinterpret_cast<xcb_property_notify_event_t*>(e)->atom == s.active &&
                    s.activeWindow() == targetWindow)
                    done = true;
                free(e);
            }
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (!done) {
            state.SkipWithError("the click did not change _NET_ACTIVE_WINDOW");
            break;
        }
        worst = std::max(worst, seconds);
        state.SetIterationTime(seconds);
        // Let the activation's follow-up work (window re-reads) settle; not timed.
        loop->advance(1.0);
        s.pumpUntil([] { return false; }, 20);
    }
    state.counters["worst_ms"] = worst * 1000.0;
}
BENCHMARK(BM_ClickToActiveWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    if (!std::getenv("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    loop = std::make_shared<ManualRunLoop>();
    RunLoop::setMain(loop);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    loop.reset();
    return 0;
}
