// Opening the preferences window: from nothing to the first pane painted (the window
// and its toolbar built, the General pane loaded from its interface file and bound,
// shown, centred and drawn into a picture). Offscreen, on the sim desktop, with the
// dock manager's real configuration. The first opening in the process is timed once
// on its own ("first_open_ms": fonts, style and icon theme are loaded then); the
// benchmark loop then measures the later openings of a freshly built window.
//
// Also: what a change of a setting costs while the window is closed, against the same
// change with no window ever opened (the closed window's bindings observe nothing), the
// timers running before the window, while it is open and once it is closed, and one
// step of the icon-size slider while it is dragged.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QPixmap>
#include <QSlider>
#include <cstdio>
#include <benchmark/benchmark.h>

#include "core/DockManager.h"
#include "core/ThemeManager.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/sim/SimBackend.h"
#include "preferences/PreferencesWindowController.h"
#include "preferences/StartMenuPreferences.h"
#include "core/MenuModel.h"

namespace {

using namespace qs;
using Clock = std::chrono::steady_clock;
double firstOpenMs = 0.0;

void openAndPaint() {
    PreferencesWindowController::showPreferences();
    QWidget* window = PreferencesWindowController::prefsController()->window();
    QPixmap painted = window->grab();
    benchmark::DoNotOptimize(painted);
}

void BM_OpenPreferences(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        PreferencesWindowController::releasePrefsController();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
        openAndPaint();
    }
    state.counters["first_open_ms"] = firstOpenMs;
}
BENCHMARK(BM_OpenPreferences)->Unit(benchmark::kMillisecond);

void BM_OpenStartMenuEditor(benchmark::State& state) {
    auto menu = MenuModel::init();
    for (auto _ : state) {
        state.PauseTiming();
        StartMenuPreferences::releaseSharedEditor();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
        StartMenuPreferences::showEditor(menu);
        QPixmap painted = StartMenuPreferences::sharedEditor()->window()->grab();
        benchmark::DoNotOptimize(painted);
    }
}
BENCHMARK(BM_OpenStartMenuEditor)->Unit(benchmark::kMillisecond);

// A setting toggled with the window never built (arg 0), built and closed (arg 1), or
// open (arg 2, for comparison: its check box follows).
void BM_SettingChange(benchmark::State& state) {
    PreferencesWindowController::releasePrefsController();
    if (state.range(0) >= 1) PreferencesWindowController::showPreferences();
    if (state.range(0) == 1) PreferencesWindowController::prefsController()->close();
    auto& defaults = UserDefaults::standardUserDefaults();
    bool on = false;
    for (auto _ : state) {
        on = !on;
        defaults.setBool(on, "HideQuayside");
    }
    PreferencesWindowController::releasePrefsController();
}
BENCHMARK(BM_SettingChange)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// One step of the icon-size slider while it is dragged: the configuration takes the
// value and the dock is stored (archived and written to the defaults file), as on every
// change of the icon size.
void BM_IconSizeSliderStep(benchmark::State& state) {
    PreferencesWindowController::showPreferences();
    auto* slider = PreferencesWindowController::prefsController()->window()->findChild<QSlider*>("iconSizeSlider");
    if (!slider) {
        state.SkipWithError("no icon-size slider");
        return;
    }
    slider->setSliderDown(true);
    int value = 48;
    for (auto _ : state) {
        value = value == 48 ? 50 : 48;
        slider->setValue(value);
    }
    slider->setSliderDown(false);
    PreferencesWindowController::releasePrefsController();
}
BENCHMARK(BM_IconSizeSliderStep)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    auto home = std::filesystem::temp_directory_path() / ("quayside-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(name, QByteArray::fromStdString((home / name).string()));
    QApplication app(argc, argv);
    RunLoop::setMain(std::make_shared<ManualRunLoop>());
    auto sim = sim::installSimBackend(true);
    DockManager::sharedInstance();
    ThemeManager::sharedInstance();

    auto* loop = dynamic_cast<ManualRunLoop*>(&RunLoop::main());
    std::printf("before the window: %zu run-loop timers\n", loop->timerCount());
    auto start = Clock::now();
    openAndPaint();
    firstOpenMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();

    // What a closed window leaves behind: run-loop timers, and Qt timers of its widgets.
    {
        auto qtTimers = [](QWidget* window) {
            size_t n = 0;
            auto* dispatcher = QAbstractEventDispatcher::instance();
            n += dispatcher->registeredTimers(window).size();
            for (QObject* o : window->findChildren<QObject*>()) n += dispatcher->registeredTimers(o).size();
            return n;
        };
        QWidget* window = PreferencesWindowController::prefsController()->window();
        std::printf("open window: %zu run-loop timers, %zu Qt timers\n", loop->timerCount(), qtTimers(window));
        PreferencesWindowController::prefsController()->close();
        QApplication::processEvents();
        std::printf("closed window: %zu run-loop timers, %zu Qt timers\n", loop->timerCount(), qtTimers(window));
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PreferencesWindowController::releasePrefsController();
    StartMenuPreferences::releaseSharedEditor();
    DockManager::releaseSharedInstance();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
