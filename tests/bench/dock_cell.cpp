// The dock item cells of a 50-item panel on the Qt run loop: one pointer motion event
// over the cells (the stop timer moved on; every eighth event crosses into the next cell
// with its leave and enter), one "changeBadge" with an unchanged text delivered to every
// cell, and the 50 cells made from the prototype.
#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <cstdlib>
#include <filesystem>

#include <benchmark/benchmark.h>

#include "dock_ui/CellActionsDelegate.h"
#include "dock_ui/DockCollectionItemCell.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/QtRunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/sim/SimBackend.h"
#include "platform/ui/CollectionView.h"

namespace {

using namespace qs;

constexpr int kCells = 50;

struct Panel {
    std::shared_ptr<CellActionsDelegate> actions = std::make_shared<CellActionsDelegate>();
    CollectionView view;
    Array items;

    Panel() {
        auto prototype = std::make_shared<DockCollectionItemCell>();
        prototype->setCellDelegate(actions);
        view.setItemPrototype(prototype);
        view.setMinItemSize(MakeSize(64, 64));
        view.setMaxItemSize(MakeSize(64, 64));
        view.resize(64 * kCells, 64);
        for (int i = 0; i < kCells; ++i) {
            RunningApplication::Info info;
            info.pid = 1000 + i;
            info.localizedName = "App " + std::to_string(i);
            items.push_back(Value(std::make_shared<RunningApplication>(info)));
        }
    }
};

Panel& panel() {
    static Panel* p = [] {
        auto* made = new Panel;
        made->view.setContent(made->items);
        made->view.show();
        QApplication::processEvents();
        return made;
    }();
    return *p;
}

void PointerMotionOver50Cells(benchmark::State& state) {
    Panel& p = panel();
    int cell = 0, step = 0;
    QWidget* view = p.view.itemAtIndex(0)->view();
    for (auto _ : state) {
        if (++step == 8) {
            step = 0;
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(view, &leave);
            cell = (cell + 1) % kCells;
            view = p.view.itemAtIndex(size_t(cell))->view();
            QEnterEvent enter(QPointF(2, 32), QPointF(2, 32), view->mapToGlobal(QPointF(2, 32)));
            QApplication::sendEvent(view, &enter);
        }
        const QPointF at(2 + step * 7, 32);
        QMouseEvent move(QEvent::MouseMove, at, view->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view, &move);
    }
    QApplication::processEvents();
}
BENCHMARK(PointerMotionOver50Cells);

void UnchangedBadgeTo50Cells(benchmark::State& state) {
    panel();
    const Value badge(Dictionary{{"app_pid", Value(1007)}, {"badgeText", Value(std::string("3"))}});
    NotificationCenter::defaultCenter().postNotificationName("changeBadge", badge);
    for (auto _ : state) NotificationCenter::defaultCenter().postNotificationName("changeBadge", badge);
}
BENCHMARK(UnchangedBadgeTo50Cells);

void Make50Cells(benchmark::State& state) {
    Panel& p = panel();
    CollectionView other;
    other.setItemPrototype(p.view.itemPrototype());
    other.resize(64 * kCells, 64);
    for (auto _ : state) {
        other.setContent(p.items);
        state.PauseTiming();
        other.setContent({});
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(Make50Cells)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Settings of a throw-away home, never the user's.
    const std::string home = (std::filesystem::temp_directory_path() / "quayside-bench-cell").string();
    std::filesystem::create_directories(home);
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    QApplication app(argc, argv);
    RunLoop::setMain(std::make_shared<QtRunLoop>());
    auto sim = sim::installSimBackend();
    UserDefaults::standardUserDefaults().setBool(true, "ShowAppBadges");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(home);
    return 0;
}
