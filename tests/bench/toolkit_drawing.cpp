// The drawing toolkit on icons: StackBlur and the drawn (blurred) shadow of a 128 × 128
// and a 512 × 512 icon, scaling an icon to 16, 32, 64 and 128 points, and the work of one
// 64-point dock cell: the icon scaled into the cell with its shadow, painted onto a
// widget-sized canvas through a y-up graphics context.
#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <cstdlib>

#include <benchmark/benchmark.h>

#include "platform/ui/GraphicsContext.h"
#include "platform/ui/ImageDrawing.h"
#include "platform/ui/Shadow.h"
#include "toolkit/ImageHelpers.h"
#include "toolkit/NTImageMaker.h"
#include "toolkit/NTStandardColors.h"

namespace {

using namespace qs;

// An icon-like image: a rounded square with a gradient and a soft translucent edge.
ImagePtr makeIcon(int size) {
    QImage pixels(size, size, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(0);
    QPainter p(&pixels);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, size, size);
    gradient.setColorAt(0, QColor(40, 120, 220));
    gradient.setColorAt(1, QColor(230, 80, 40, 200));
    p.setBrush(gradient);
    p.setPen(QPen(QColor(255, 255, 255, 160), size / 32.0));
    p.drawRoundedRect(QRectF(size * 0.08, size * 0.08, size * 0.84, size * 0.84), size * 0.2, size * 0.2);
    p.end();
    return std::make_shared<Image>(pixels);
}

const ImagePtr& icon(int size) {
    static ImagePtr icon128 = makeIcon(128), icon512 = makeIcon(512);
    return size == 128 ? icon128 : icon512;
}

// A typical icon shadow: black at 0.5, 3 points down, blur 6.
ShadowPtr iconShadow() {
    static ShadowPtr shadow =
        NSShadow_NTExtensions::shadowWithColor(Color::blackColor()->colorWithAlphaComponent(0.5), {0, -3}, 6);
    return shadow;
}

void BM_StackBlur(benchmark::State& state) {
    const ImagePtr& image = icon(int(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(NSImage_Grayscale::stackBlur(image, 8));
    state.SetLabel("radius 8");
}
BENCHMARK(BM_StackBlur)->Arg(128)->Arg(512)->Unit(benchmark::kMicrosecond);

// The icon drawn at its own size with the shadow, into a canvas with room for it.
void BM_DrawnShadow(benchmark::State& state) {
    const int size = int(state.range(0));
    const ImagePtr& image = icon(size);
    for (auto _ : state) {
        auto maker = NTImageMaker::maker({size + 24.0, size + 24.0});
        maker->lockFocus();
        iconShadow()->set();
        drawImageInRect(*image, MakeRect(12, 12, size, size));
        benchmark::DoNotOptimize(maker->unlockFocus());
    }
    state.SetLabel("blur 6, offset (0, -3)");
}
BENCHMARK(BM_DrawnShadow)->Arg(128)->Arg(512)->Unit(benchmark::kMicrosecond);

// Scaling the 512 icon to a new image of the size (high interpolation).
void BM_ScaleIcon(benchmark::State& state) {
    const double points = double(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(NSImage_Grayscale::imageWithSize(icon(512), {points, points}));
    state.SetLabel("from 512 x 512");
}
BENCHMARK(BM_ScaleIcon)->Arg(16)->Arg(32)->Arg(64)->Arg(128)->Unit(benchmark::kMicrosecond);

// One 64-point cell: the icon (from a 128 or a 512 source) scaled into the cell with its
// shadow, painted on a cell-sized canvas the way a cell's paint event does.
void BM_Cell64(benchmark::State& state) {
    const ImagePtr& image = icon(int(state.range(0)));
    QImage canvas(88, 88, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        canvas.fill(0);
        QPainter painter(&canvas);
        GraphicsContextScope scope(&painter, canvas.height());
        GraphicsContext::currentContext()->setImageInterpolation(ImageInterpolation::High);
        iconShadow()->set();
        drawImageInRect(*image, MakeRect(12, 12, 64, 64));
    }
    benchmark::DoNotOptimize(canvas.constBits());
    state.SetLabel(state.range(0) == 128 ? "icon from 128" : "icon from 512");
}
BENCHMARK(BM_Cell64)->Arg(128)->Arg(512)->Unit(benchmark::kMicrosecond);

// The same cell with the icon already scaled to 64 (what a per-size icon cache holds).
void BM_Cell64Cached(benchmark::State& state) {
    static ImagePtr cached = NSImage_Grayscale::imageWithSize(icon(512), {64, 64});
    QImage canvas(88, 88, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        canvas.fill(0);
        QPainter painter(&canvas);
        GraphicsContextScope scope(&painter, canvas.height());
        iconShadow()->set();
        drawImageInRect(*cached, MakeRect(12, 12, 64, 64));
    }
    benchmark::DoNotOptimize(canvas.constBits());
}
BENCHMARK(BM_Cell64Cached)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::benchmark::Initialize(&argc, argv);
    if (::benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    return 0;
}
