// A reorder drag hovering a dock of 100 items, offscreen on a simulated 1440 x 900
// screen: one drag-motion event delivered to the panel's collection view (the gap under
// the pointer found, the delegate asked, the indicator moved). The counters say how many
// cells were made or laid out again while the drag moved (the goal: none).
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <QApplication>
#include <QDragMoveEvent>
#include <QMimeData>
#include <benchmark/benchmark.h>

#include "bench/BenchMain.h"
#include "core/DockConfiguration.h"
#include "core/DockModel.h"
#include "dock_ui/CollectionViewDelegate.h"
#include "dock_ui/DockCollectionView.h"
#include "dock_ui/DockWindow.h"
#include "platform/foundation/IndexSetCoding.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/URL.h"
#include "platform/sim/SimBackend.h"

namespace {

using namespace qs;

void BM_ReorderDragMotionOverOneHundredItems(benchmark::State& state) {
    auto sim = sim::installSimBackend(true);
    auto model = DockModel::create();
    auto config = DockConfiguration::create();
    config->setPosition(1);
    config->setIconSize(12);
    config->setAligment(1);
    std::vector<URLPtr> urls;
    for (int i = 0; i < 100; ++i) urls.push_back(URL::fileURLWithPath("/tmp/quayside-bench-item-" + std::to_string(i)));
    model->setPanelContent({});
    model->insertFiles(urls, 0);
    auto window = DockWindow::initWithPanelModel(model, config, Screen::screens().front());
    window->fadeInOnScreen(Screen::screens().front());
    static_cast<ManualRunLoop&>(RunLoop::main()).advance(1.0);
    window->show();
    QCoreApplication::processEvents();
    DockCollectionView* view = window->collectionView();

    QMimeData data;
    Data archive = archivedIndexSet({10});
    data.setData("application/x-quayside-AppListCollectionViewDataType",
                 QByteArray(reinterpret_cast<const char*>(archive.data()), qsizetype(archive.size())));
    {
        QDragEnterEvent enter(QPoint(5, view->height() / 2), Qt::MoveAction | Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::ShiftModifier);
        QApplication::sendEvent(view, &enter);
    }
    const int made = view->itemsMade();
    int gone = 0;
    for (size_t i = 0; i < view->numberOfItems(); ++i)
        QObject::connect(view->itemAtIndex(i), &QObject::destroyed, [&] { ++gone; });
    const int width = std::max(1, view->width());
    int x = 0;
    long answered = 0;
    for (auto _ : state) {
        x = (x + 3) % width;
        QDragMoveEvent move(QPoint(x, view->height() / 2), Qt::MoveAction | Qt::CopyAction, &data, Qt::LeftButton,
                            Qt::ShiftModifier);
        QApplication::sendEvent(view, &move);
        answered += move.isAccepted();
    }
    QDragLeaveEvent leave;
    QApplication::sendEvent(view, &leave);
    state.counters["items"] = double(view->numberOfItems());
    state.counters["cells_made"] = double(view->itemsMade() - made);
    state.counters["cells_gone"] = double(gone);
    state.counters["accepted_share"] = double(answered) / double(state.iterations());
}
BENCHMARK(BM_ReorderDragMotionOverOneHundredItems)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) { return qs::bench::runOffscreen(argc, argv, true); }
