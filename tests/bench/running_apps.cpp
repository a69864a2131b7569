// The dock model's 2.0 s refresh of running applications, with every application also
// tracked with its windows by the running-application cache:
//   - on the sim desktop with 5, 50 and 200 applications of two windows each;
//   - on a real X server with 20 real clients (xclock), when DISPLAY is set (run under
//     Xvfb with a window manager, e.g. `source scripts/xsession.sh; xsession_start`).
// Nothing changes between refreshes, so each one must announce nothing ("changes" = 0).
// Also timed: one activation of another application, which makes every tracked
// application read its windows again twice (0.2 s and 0.5 s later).
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QGuiApplication>

#include "core/DockModel.h"
#include "core/MenuModel.h"
#include "core/TrashModel.h"
#include "platform/desktop/Desktop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/sim/SimBackend.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/X11Screens.h"
#include "platform/x11/XConnection.h"
#include "tracking/AppMonitoringService.h"
#include "support/Processes.h"

namespace {

using namespace qs;

std::shared_ptr<ManualRunLoop> loop;

// A model with the running applications, the cache tracking them, and a counter of the
// model's announced changes.
struct Dock {
    std::shared_ptr<DockModel> model;
    int changes = 0;
    KeyValueObservation watch;

    Dock() {
        UserDefaults::standardUserDefaults().setBool(false, "DoNotDisplayRunning");
        AppMonitoringService::sharedInstance();
        model = DockModel::create();
        loop->advance(1.0);  // the first sort and the first window sorts are done
        watch = model->observe("panelContent", KeyValueObservingOptionNew, [this](const KeyValueChange&) { ++changes; });
    }
    ~Dock() {
        watch.invalidate();
        model.reset();
        AppMonitoringService::resetSharedInstanceForTesting();
        TrashModel::resetSharedInstanceForTesting();
        MenuModel::resetSharedInstanceForTesting();
    }
    size_t runningItems() const {
        size_t n = 0;
        for (auto& item : model->panelContent()) n += item.objectAs<RunningApplication>() != nullptr;
        return n;
    }
};

sim::SimBackend simDesktop(int applications) {
    auto sim = sim::installSimBackend();
    for (int i = 0; i < applications; ++i) {
        auto app = sim.desktop->addApplication(0, "App " + std::to_string(i), "org.example.app" + std::to_string(i));
        for (int w = 0; w < 2; ++w)
            sim.desktop->addWindow(app->processIdentifier(), "window", MakeRect(20 * w, 20 * i % 800, 400, 300));
    }
    loop->runPending();
    return sim;
}

void BM_PeriodicUpdate_Sim(benchmark::State& state) {
    auto sim = simDesktop(int(state.range(0)));
    Dock dock;
    for (auto _ : state) {
        dock.model->periodicalUpdateAppsList();
        loop->runPending();
    }
    state.counters["apps"] = double(dock.runningItems());
    state.counters["changes"] = double(dock.changes);
}
BENCHMARK(BM_PeriodicUpdate_Sim)->Arg(5)->Arg(50)->Arg(200)->Unit(benchmark::kMicrosecond);

void BM_ActivationRescan_Sim(benchmark::State& state) {
    auto sim = simDesktop(int(state.range(0)));
    Dock dock;
    auto someone = sim.desktop->runningApplications().front();
    for (auto _ : state) {
        NotificationCenter::workspaceCenter().postNotificationName(
            NSWorkspaceDidActivateApplicationNotification, Value(), {{NSWorkspaceApplicationKey, Value(someone)}});
        loop->advance(0.5);
    }
    state.counters["changes"] = double(dock.changes);
}
BENCHMARK(BM_ActivationRescan_Sim)->Arg(5)->Arg(50)->Arg(200)->Unit(benchmark::kMicrosecond);

// Real clients on the X display, ended with the benchmark.
struct RealClients {
    std::vector<pid_t> pids;
    explicit RealClients(int count) {
        for (int i = 0; i < count; ++i) {
            pid_t pid = ::fork();
            if (pid == 0) {
                std::string geometry = "80x80+" + std::to_string(40 * (i % 30)) + "+" + std::to_string(100 * (i / 30));
                ::execlp("xclock", "xclock", "-geometry", geometry.c_str(), nullptr);
                ::_exit(127);
            }
            pids.push_back(pid);
        }
    }
    ~RealClients() {
        for (pid_t pid : pids) qs::test::signalProcess(pid, SIGTERM);
        for (pid_t pid : pids)
            if (pid > 0) ::waitpid(pid, nullptr, 0);
    }
};

// The X11 services over `count` real clients, once they are all seen; nullptr (with the
// reason in `why`) when that cannot be.
struct RealDesktop {
    std::shared_ptr<x11::XConnection> conn;
    std::unique_ptr<RealClients> clients;
    std::string why;

    explicit RealDesktop(int count) {
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
        clients = std::make_unique<RealClients>(count);
        desktop::Services s;
        s.screens = std::make_shared<x11::X11Screens>(conn);
        x11::addWindowServices(s, conn);
        desktop::install(s);
        for (int i = 0; i < 1000 && seen() < clients->pids.size(); ++i) {
            conn->processPendingEvents();
            QCoreApplication::processEvents();
            loop->runPending();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (seen() < clients->pids.size()) why = "the clients did not all appear";
    }
    ~RealDesktop() { desktop::install({}); }
    size_t seen() const {
        size_t n = 0;
        for (auto& app : desktop::services().workspace->runningApplications())
            for (pid_t pid : clients->pids) n += app->processIdentifier() == pid;
        return n;
    }
};

void BM_PeriodicUpdate_X11(benchmark::State& state) {
    RealDesktop real(int(state.range(0)));
    if (!real.why.empty()) {
        state.SkipWithError(real.why.c_str());
        return;
    }
    Dock dock;
    for (auto _ : state) {
        dock.model->periodicalUpdateAppsList();
        loop->runPending();
    }
    state.counters["apps"] = double(dock.runningItems());
    state.counters["changes"] = double(dock.changes);
}
BENCHMARK(BM_PeriodicUpdate_X11)->Arg(20)->Unit(benchmark::kMicrosecond);

void BM_ActivationRescan_X11(benchmark::State& state) {
    RealDesktop real(int(state.range(0)));
    if (!real.why.empty()) {
        state.SkipWithError(real.why.c_str());
        return;
    }
    Dock dock;
    auto someone = desktop::services().workspace->runningApplications().front();
    for (auto _ : state) {
        NotificationCenter::workspaceCenter().postNotificationName(
            NSWorkspaceDidActivateApplicationNotification, Value(), {{NSWorkspaceApplicationKey, Value(someone)}});
        loop->advance(0.5);
    }
    state.counters["changes"] = double(dock.changes);
}
BENCHMARK(BM_ActivationRescan_X11)->Arg(20)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // A private defaults folder: the benchmark never touches the user's dock.
    auto home = std::filesystem::temp_directory_path() / ("quayside-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(name, QByteArray::fromStdString((home / name).string()));
    QGuiApplication app(argc, argv);
    loop = std::make_shared<ManualRunLoop>();
    RunLoop::setMain(loop);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RunLoop::setMain(nullptr);
    loop.reset();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
