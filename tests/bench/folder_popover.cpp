// The folder popover on a folder of 10,000 files: opening it up to its first frame
// (shown, laid out and painted), scrolling it a page, filling in the icons of the cells in
// sight, and one keystroke of search. Runs offscreen on the simulated desktop unless
// QT_QPA_PLATFORM=xcb: then on the X server of DISPLAY with the real desktop backend
// (icons from the icon theme).

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QScrollBar>
#include <QWidget>

#include "core/FileSystemNode.h"
#include "dock_ui/FlowCollectionView.h"
#include "dock_ui/FolderViewController.h"
#include "platform/foundation/RunLoop.h"
#include "platform/sim/SimBackend.h"
#include "platform/x11/X11Backend.h"

namespace fs = std::filesystem;

namespace {

const std::string& folderOf10000() {
    static std::string folder = [] {
        char pattern[] = "/tmp/quayside-bench-popover-XXXXXX";
        std::string root = ::mkdtemp(pattern);
        for (int i = 0; i < 10000; ++i) std::ofstream(root + "/file " + std::to_string(i) + ".txt");
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(folderOf10000(), ec);
        });
        return root;
    }();
    return folder;
}

bool onX11() { return QGuiApplication::platformName() == QStringLiteral("xcb"); }

struct Scene {
    qs::sim::SimBackend sim = onX11() ? qs::sim::SimBackend{} : qs::sim::installSimBackend();
    bool x11 = onX11() && qs::x11::installX11Backend();
    std::shared_ptr<qs::ManualRunLoop> loop = std::make_shared<qs::ManualRunLoop>();
    std::unique_ptr<QWidget> panel;
    QWidget* cell = nullptr;
    qs::FileSystemNodePtr folder;

    Scene() {
        qs::RunLoop::setMain(loop);
        panel = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        panel->setGeometry(600, 900 - 52, 240, 52);
        cell = new QWidget(panel.get());
        cell->setGeometry(100, 0, 52, 52);
        panel->show();
        folder = qs::FileSystemNode::initWithPath(folderOf10000());
        folder->populateChildrenArray();
        QCoreApplication::processEvents();
    }
    void show(qs::FolderViewController& c) {
        c.showFolderViewForFolder(folder, qs::MakeRect(0, 0, 52, 52), cell, qs::NSRectEdgeMinY);
    }
    // The first frame: pending layout done and the window painted.
    static void paint(QWidget* window) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        window->repaint();
        QCoreApplication::processEvents();
    }
};

Scene& scene() {
    static Scene s;
    return s;
}

void BM_OpenFolderPopover10000(benchmark::State& state) {
    Scene& s = scene();
    for (auto _ : state) {
        auto controller = qs::FolderViewController::init();
        s.show(*controller);
        Scene::paint(controller->popover()->window());
        if (controller->collectionView()->numberOfItems() != 10000) state.SkipWithError("wrong count");
        state.PauseTiming();
        controller->closePreview();
        controller.reset();
        s.loop->runPending();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenFolderPopover10000)->Unit(benchmark::kMillisecond);

void BM_ReopenFolderPopover10000(benchmark::State& state) {
    Scene& s = scene();
    auto controller = qs::FolderViewController::init();
    for (auto _ : state) {
        s.show(*controller);
        Scene::paint(controller->popover()->window());
        state.PauseTiming();
        controller->closePreview();
        s.loop->runPending();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ReopenFolderPopover10000)->Unit(benchmark::kMillisecond);

void BM_FillIconsInSight(benchmark::State& state) {
    Scene& s = scene();
    auto controller = qs::FolderViewController::init();
    for (auto _ : state) {
        state.PauseTiming();
        controller->closePreview();
        s.show(*controller);
        Scene::paint(controller->popover()->window());
        state.ResumeTiming();
        s.loop->runPending();  // every icon request of the cells in sight
    }
}
BENCHMARK(BM_FillIconsInSight)->Unit(benchmark::kMillisecond);

void BM_ScrollOnePage(benchmark::State& state) {
    Scene& s = scene();
    auto controller = qs::FolderViewController::init();
    s.show(*controller);
    Scene::paint(controller->popover()->window());
    QScrollBar* bar = controller->collectionView()->verticalScrollBar();
    int direction = 1;
    for (auto _ : state) {
        int next = bar->value() + direction * bar->pageStep();
        if (next > bar->maximum() || next < 0) {
            direction = -direction;
            next = bar->value() + direction * bar->pageStep();
        }
        bar->setValue(next);
        Scene::paint(controller->popover()->window());
        state.PauseTiming();
        s.loop->runPending();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ScrollOnePage)->Unit(benchmark::kMillisecond);

void BM_SearchKeystroke(benchmark::State& state) {
    Scene& s = scene();
    auto controller = qs::FolderViewController::init();
    s.show(*controller);
    controller->searchField()->setText("file 99");  // the names are folded once, here
    int i = 0;
    for (auto _ : state) {
        controller->searchField()->setText(i++ % 2 ? "file 99" : "file 999");
        Scene::paint(controller->popover()->window());
    }
}
BENCHMARK(BM_SearchKeystroke)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
