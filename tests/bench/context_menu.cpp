// The context menu of a running application's dock item: building the menu model alone,
// and, on an X display (run under Xvfb: DISPLAY must be set), the time from the right
// press reaching the cell's handler to the menu's window mapped and exposed on the X
// server (what a cell's rightMouseDown does: build the menu, pop it up as a QMenu).
#include <filesystem>
#include <string>
#include <chrono>
#include <cstdlib>

#include <unistd.h>

#include <QApplication>
#include <QMenu>
#include <QWindow>
#include <benchmark/benchmark.h>

#include "core/DockConfiguration.h"
#include "core/DockModel.h"
#include "dock_ui/CellActionsDelegate.h"
#include "platform/desktop/Desktop.h"
#include "platform/foundation/RunLoop.h"
#include "platform/sim/SimBackend.h"
#include "platform/ui/Menu.h"
#include "platform/ui/MenuPresenter.h"

namespace {

using namespace qs;
using Clock = std::chrono::steady_clock;

struct Scene {
    sim::SimBackend sim = sim::installSimBackend();
    std::shared_ptr<DockModel> model = DockModel::create();
    std::shared_ptr<DockConfiguration> config = DockConfiguration::create();
    CellActionsDelegatePtr delegate = CellActionsDelegate::initWhitCollectionView(nullptr, model, config);
    RunningApplicationPtr app = sim.desktop->addApplication(7001, "Terminal", "org.bench.Terminal");
};

Scene& scene() {
    static Scene s;
    return s;
}

void BM_BuildRunningApplicationMenu(benchmark::State& state) {
    auto& s = scene();
    for (auto _ : state) {
        auto menu = s.delegate->menuForItemViewWhithObject(Value(s.app));
        benchmark::DoNotOptimize(menu);
    }
}
BENCHMARK(BM_BuildRunningApplicationMenu)->Unit(benchmark::kMicrosecond);

// Ends the menu's loop once its window has been exposed, noting when.
class ExposeWatch : public QObject {
public:
    Clock::time_point exposedAt;
    bool exposed = false;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Expose && !exposed) {
            auto* window = qobject_cast<QWindow*>(o);
            if (window && window->isExposed() && qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                exposedAt = Clock::now();
                exposed = true;
                QApplication::activePopupWidget()->close();
            }
        }
        return false;
    }
};

void BM_RightClickToMenuMapped(benchmark::State& state) {
    if (QGuiApplication::platformName() != "xcb") {
        state.SkipWithError("needs an X display (run under Xvfb with DISPLAY set)");
        return;
    }
    auto& s = scene();
    QWidget anchor;
    anchor.setGeometry(100, 100, 64, 64);
    anchor.show();
    QCoreApplication::processEvents();
    ExposeWatch watch;
    qApp->installEventFilter(&watch);
    for (auto _ : state) {
        watch.exposed = false;
        const auto start = Clock::now();
        auto menu = s.delegate->menuForItemViewWhithObject(Value(s.app));
        MenuPresenter::popUpMenuPositioningItem(menu, nullptr, MakePoint(32, 32), &anchor);
        if (!watch.exposed) {
            state.SkipWithError("the menu was never exposed");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(watch.exposedAt - start).count());
    }
    qApp->removeEventFilter(&watch);
}
BENCHMARK(BM_RightClickToMenuMapped)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

}  // namespace

int main(int argc, char** argv) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) qputenv("QT_QPA_PLATFORM", "offscreen");
    char dir[] = "/tmp/quayside-bench-XXXXXX";
    if (::mkdtemp(dir)) setenv("XDG_CONFIG_HOME", dir, 1);
    QApplication app(argc, argv);
    qs::RunLoop::setMain(std::make_shared<qs::ManualRunLoop>());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    if (std::getenv("XDG_CONFIG_HOME") == std::string(dir)) std::filesystem::remove_all(dir, ec);
    return 0;
}
