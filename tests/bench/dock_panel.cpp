// The dock panel's main-thread work, offscreen on a simulated 1440 x 900 screen: one
// item added to a dock of 100 (model change to laid-out panel), pointer motion over a
// panel of 50 cells (one mouse-move event delivered to the widget under the pointer),
// and one step of the icon-size slider while it is dragged over a panel of 30 cells
// (the configuration's new size to the laid-out panel, icons at both sizes cached).
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <QApplication>
#include <QMouseEvent>
#include <benchmark/benchmark.h>

#include "bench/BenchMain.h"
#include "core/DockConfiguration.h"
#include "core/DockModel.h"
#include "core/FileSystemNode.h"
#include "dock_ui/DockCollectionView.h"
#include "dock_ui/DockWindow.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/URL.h"
#include "platform/sim/SimBackend.h"

namespace {

using namespace qs;

std::vector<URLPtr> someFiles(size_t n) {
    std::vector<URLPtr> urls;
    for (size_t i = 0; i < n; ++i) urls.push_back(URL::fileURLWithPath("/tmp/quayside-bench-item-" + std::to_string(i)));
    return urls;
}

struct Panel {
    explicit Panel(size_t items) {
        sim = sim::installSimBackend(true);
        model = DockModel::create();
        config = DockConfiguration::create();
        config->setPosition(1);
        config->setIconSize(12);  // 100 items fit a 1440-point edge without shrinking
        config->setAligment(1);
        model->setPanelContent({});
        model->insertFiles(someFiles(items), 0);
        window = DockWindow::initWithPanelModel(model, config, Screen::screens().front());
        window->fadeInOnScreen(Screen::screens().front());
        static_cast<ManualRunLoop&>(RunLoop::main()).advance(1.0);
        QCoreApplication::processEvents();
    }
    sim::SimBackend sim;
    std::shared_ptr<DockModel> model;
    std::shared_ptr<DockConfiguration> config;
    std::shared_ptr<DockWindow> window;
};

DockCollectionView* panelCollectionView(Panel& p) { return p.window->collectionView(); }

void BM_AddOneItemToOneHundred(benchmark::State& state) {
    Panel p(100);
    // The item is made once: the figure is the panel's work (the model's announcement,
    // the array controller, the collection view, the new cell, the resize and placement).
    const Array base = p.model->panelContent();
    Array more = base;
    more.insert(more.begin() + 50, Value(FileSystemNode::initWithPath("/tmp/quayside-bench-extra")));
    for (auto _ : state) {
        p.model->setPanelContent(more);
        state.PauseTiming();
        p.model->setPanelContent(base);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
    state.counters["items"] = double(base.size());
    if (auto* view = panelCollectionView(p)) {
        state.counters["cells_made_per_add"] = double(view->itemsMade() - 100) / double(state.iterations());
    }
}
BENCHMARK(BM_AddOneItemToOneHundred)->Unit(benchmark::kMicrosecond);

void BM_PointerMotionOverFiftyCells(benchmark::State& state) {
    Panel p(50);
    p.window->show();
    QWidget* w = p.window.get();
    int x = 0;
    const int width = std::max(1, w->width());
    for (auto _ : state) {
        x = (x + 7) % width;
        QPoint local(x, w->height() / 2);
        QWidget* target = w->childAt(local);
        if (!target) target = w;
        QPointF inTarget = target->mapFrom(w, QPointF(local));
        QMouseEvent move(QEvent::MouseMove, inTarget, w->mapToGlobal(QPointF(local)), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(target, &move);
    }
}
BENCHMARK(BM_PointerMotionOverFiftyCells)->Unit(benchmark::kMicrosecond);

void BM_IconSizeDragStepOnThirtyCells(benchmark::State& state) {
    Panel p(30);
    float size = 48.0f;
    p.config->setIconSize(50.0f);
    p.config->setIconSize(48.0f);
    for (auto _ : state) {
        size = size == 48.0f ? 50.0f : 48.0f;
        p.config->setIconSize(size);
        QCoreApplication::sendPostedEvents();
    }
}
BENCHMARK(BM_IconSizeDragStepOnThirtyCells)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) { return qs::bench::runOffscreen(argc, argv, true); }
