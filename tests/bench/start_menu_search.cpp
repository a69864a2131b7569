// The start menu's search over 2,000 applications: one keystroke (the search text
// changes, the applications are filtered and the list is reset), with the names already
// read, and the first search after the menu was made (every desktop entry's name read and
// folded once).

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/MenuModel.h"
#include "dock_ui/MenuViewController.h"
#include "platform/foundation/RunLoop.h"
#include "platform/sim/SimBackend.h"

namespace fs = std::filesystem;

namespace {

constexpr int kApplications = 2000;

struct Scene {
    std::string root;
    qs::sim::SimBackend sim;
    std::unique_ptr<QWidget> panel;
    QWidget* cell = nullptr;
    std::shared_ptr<qs::MenuModel> menu;

    Scene() {
        char pattern[] = "/tmp/quayside-bench-XXXXXX";
        root = ::mkdtemp(pattern);
        fs::create_directories(root + "/data/applications");
        fs::create_directories(root + "/system/applications");
        setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
        setenv("XDG_DATA_DIRS", (root + "/system").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
        // Names of varied shape: "Calc Tool 17", "Ëditor Studio 1234", ...
        const char* first[] = {"Calc", "Ëditor", "Photo", "Mail", "Term", "Café", "Notes", "Music", "Video", "Chat"};
        const char* second[] = {"Tool", "Studio", "Viewer", "Manager", "Player", "Center", "Pro", "Lite"};
        for (int i = 0; i < kApplications; ++i) {
            std::string name = std::string(first[i % 10]) + " " + second[(i / 10) % 8] + " " + std::to_string(i);
            std::ofstream(root + "/data/applications/app" + std::to_string(i) + ".desktop")
                << "[Desktop Entry]\nType=Application\nName=" << name << "\nExec=true\nIcon=none\n";
        }
        sim = qs::sim::installSimBackend();
        panel = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        panel->setGeometry(600, 848, 240, 52);
        cell = new QWidget(panel.get());
        cell->setGeometry(0, 0, 52, 52);
        panel->show();
        menu = qs::MenuModel::init();
        auto& loop = static_cast<qs::ManualRunLoop&>(qs::RunLoop::main());
        loop.waitForBackground();
        loop.runPending();
        if (menu->appsArray().size() != size_t(kApplications)) std::abort();
    }
    ~Scene() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    std::shared_ptr<qs::MenuViewController> shownController() {
        auto controller = qs::MenuViewController::init();
        controller->showStartMenuWith(menu, qs::MakeRect(0, 0, 52, 52), cell, qs::NSRectEdgeMinY);
        QApplication::processEvents();
        return controller;
    }
};

Scene& scene() {
    static Scene s;
    return s;
}

void BM_StartMenuSearchKeystroke(benchmark::State& state) {
    auto controller = scene().shownController();
    QLineEdit* field = controller->searchField();
    // Typing "calc", then deleting it again, one character at a time.
    const QString steps[] = {"c", "ca", "cal", "calc", "cal", "ca", "c", ""};
    field->setText("calc");  // every name read once
    size_t i = 0;
    for (auto _ : state) {
        field->setText(steps[i++ % 8]);
        benchmark::DoNotOptimize(controller->appTableView()->model()->rowCount());
    }
    controller->closeStartMenu();
}
BENCHMARK(BM_StartMenuSearchKeystroke)->Unit(benchmark::kMicrosecond);

void BM_StartMenuFirstSearch(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto controller = scene().shownController();
        state.ResumeTiming();
        controller->searchField()->setText("c");
        benchmark::DoNotOptimize(controller->appTableView()->model()->rowCount());
        state.PauseTiming();
        controller->closeStartMenu();
        controller.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartMenuFirstSearch)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
