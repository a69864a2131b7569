// Placing a dock panel along a screen edge, as the panel does on each layout: onto its
// screen's origin, sized (height, then width), placed, then moved by the screen's
// origin. On simulated screens with an offscreen window (QT_QPA_PLATFORM=offscreen is
// set here), so the figure is the toolkit's own work plus Qt's geometry bookkeeping.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <QApplication>
#include <QWidget>
#include <benchmark/benchmark.h>

#include "bench/BenchMain.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/sim/SimBackend.h"
#include "platform/ui/WindowGeometry.h"
#include "toolkit/WindowPlacement.h"

namespace {

using namespace qs;
namespace NU = qs::NSWindow_Utilities;

void placeBottomCentre(QWidget* w, const Screen& screen, double length, double thickness) {
    Point o = screen.frame().origin;
    Rect f = WindowGeometry::frame(w);
    WindowGeometry::setFrame(w, MakeRect(o.x, o.y, f.size.width, f.size.height), false);
    NU::setHeight(w, thickness);
    NU::setWidth(w, length);
    NU::alignBottomCenter(w);
    f = WindowGeometry::frame(w);
    f.origin.x += o.x;
    f.origin.y += o.y;
    WindowGeometry::setFrame(w, f, true);
}

// A hidden panel: the geometry work alone.
void BM_PlacePanel(benchmark::State& state) {
    auto sim = sim::installSimBackend(false);
    sim.screens->addScreen(MakeRect(0, 0, 1920, 1080), "A");
    auto second = sim.screens->addScreen(MakeRect(1920, 0, 2560, 1440), "B");
    QWidget w(nullptr, Qt::Window | Qt::FramelessWindowHint);
    WindowGeometry::setFrame(&w, MakeRect(0, 0, 600, 100), false);
    double length = 800;
    for (auto _ : state) {
        length = length == 800 ? 864 : 800;  // one cell more or less: a real resize each time
        placeBottomCentre(&w, *second, length, 64);
    }
    if (WindowGeometry::screen(&w) != second) state.SkipWithError("placed on the wrong screen");
}
BENCHMARK(BM_PlacePanel);

// A shown panel: each placement also repaints it, as the panel asks.
void BM_PlaceShownPanel(benchmark::State& state) {
    auto sim = sim::installSimBackend(false);
    auto screen = sim.screens->addScreen(MakeRect(0, 0, 1920, 1080), "A");
    QWidget w(nullptr, Qt::Window | Qt::FramelessWindowHint);
    WindowGeometry::setFrame(&w, MakeRect(0, 0, 600, 100), false);
    w.show();
    double length = 800;
    for (auto _ : state) {
        length = length == 800 ? 864 : 800;
        placeBottomCentre(&w, *screen, length, 64);
    }
}
BENCHMARK(BM_PlaceShownPanel);

}  // namespace

int main(int argc, char** argv) { return qs::bench::runOffscreen(argc, argv, false); }
