// Opening the window-preview popover of an application with 20 windows, on the
// in-memory desktop with an offscreen window system (QT_QPA_PLATFORM=offscreen is set
// here): the main thread's share of a first show (20 thumbnails made, sized, the popover
// placed and shown) and of showing the same application again (thumbnails kept). The
// captures are not part of it: they run on background threads after the show; the
// last benchmark times the show while every capture hangs, to check that it does not
// wait for them.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <QApplication>
#include <QWidget>
#include <benchmark/benchmark.h>

#include "bench/BenchMain.h"
#include "dock_ui/WindowPreviewController.h"
#include "platform/desktop/Desktop.h"
#include "platform/foundation/RunLoop.h"
#include "platform/sim/SimBackend.h"
#include "tracking/RunningApplicationEx.h"

namespace {

using namespace qs;

struct Scene {
    sim::SimBackend sim = sim::installSimBackend();
    std::unique_ptr<QWidget> panel;
    QWidget* item = nullptr;
    RunningApplicationPtr app;
    WindowPreviewControllerPtr controller;

    Scene() {
        panel = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        panel->setGeometry(600, 900 - 52, 240, 52);
        item = new QWidget(panel.get());
        item->setGeometry(100, 0, 52, 52);
        panel->show();
        app = sim.desktop->addApplication(0, "Editor", "org.example.Editor");
        for (int i = 0; i < 20; ++i)
            sim.desktop->addWindow(app->processIdentifier(), "document " + std::to_string(i),
                                   MakeRect(40 + 10 * i, 40 + 10 * i, 800, 600));
        controller = WindowPreviewController::init();
        loop().runPending();  // the idle turn after the controller is made
    }
    ~Scene() {
        controller.reset();
        panel.reset();
        loop().waitForBackground();
        desktop::install({});
    }
    static ManualRunLoop& loop() { return static_cast<ManualRunLoop&>(RunLoop::main()); }
    // A freshly tracked application with the 20 windows, as the cache hands it out.
    RunningApplicationExPtr tracked() {
        auto ex = RunningApplicationEx::runningApplicationWithProcessIdentifier(app->processIdentifier());
        std::vector<SIWindowPtr> windows;
        for (auto n : sim.desktop->stacking())
            windows.push_back(SIWindow::initWithAXElement(desktop::AXElement::windowOf(app->processIdentifier(), n)));
        ex->setWindows(windows);
        return ex;
    }
    void show(const RunningApplicationExPtr& ex) {
        controller->showWindowPreviewForApp(ex, MakeRect(0, 0, 52, 52), item, NSRectEdgeMinY, nullptr);
    }
};

// Each show is of a new application object: 20 thumbnails are made each time.
void BM_ShowTwentyWindowPreviews(benchmark::State& state) {
    Scene scene;
    for (auto _ : state) {
        state.PauseTiming();
        auto ex = scene.tracked();
        state.ResumeTiming();
        scene.show(ex);
        state.PauseTiming();
        if (!scene.controller->previewIsShow()) state.SkipWithError("not shown");
        scene.controller->forseClosePreview();
        QCoreApplication::processEvents();  // the old thumbnails' views go
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ShowTwentyWindowPreviews)->Unit(benchmark::kMillisecond);

// The same application again after a close: the thumbnails are kept.
void BM_ShowTheSamePreviewsAgain(benchmark::State& state) {
    Scene scene;
    auto ex = scene.tracked();
    for (auto _ : state) {
        scene.show(ex);
        state.PauseTiming();
        scene.controller->forseClosePreview();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ShowTheSamePreviewsAgain)->Unit(benchmark::kMillisecond);

// The show followed by the request for every picture, while each capture takes 200 ms:
// the main thread's time must not include any of it.
void BM_ShowWhileCapturesHang(benchmark::State& state) {
    Scene scene;
    scene.sim.desktop->setCaptureHook([](desktop::WindowNumber) -> ImagePtr {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return nullptr;
    });
    for (auto _ : state) {
        state.PauseTiming();
        auto ex = scene.tracked();
        state.ResumeTiming();
        scene.show(ex);
        ex->upratePreviews();
        state.PauseTiming();
        scene.controller->forseClosePreview();
        Scene::loop().waitForBackground();
        Scene::loop().runPending();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    scene.sim.desktop->setCaptureHook(nullptr);
}
BENCHMARK(BM_ShowWhileCapturesHang)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) { return qs::bench::runOffscreen(argc, argv, false); }
