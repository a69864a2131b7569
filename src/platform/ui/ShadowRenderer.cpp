#include "platform/ui/ShadowRenderer.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace qs::ShadowRenderer {

namespace {

// Widths of three boxes whose repeated application approximates a Gaussian.
void boxesForGauss(double sigma, int radii[3]) {
    const int n = 3;
    const double wIdeal = std::sqrt(12.0 * sigma * sigma / n + 1.0);
    int wl = int(std::floor(wIdeal));
    if (wl % 2 == 0) wl--;
    const int wu = wl + 2;
    const double mIdeal = (12.0 * sigma * sigma - n * wl * wl - 4.0 * n * wl - 3.0 * n) / (-4.0 * wl - 4.0);
    const int m = int(std::lround(mIdeal));
    for (int i = 0; i < n; ++i) radii[i] = std::max(0, ((i < m ? wl : wu) - 1) / 2);
}

// The box average of a sum over `span` samples, rounded: a table instead of a division
// per sample.
struct Averages {
    std::vector<uint8_t> of;
    explicit Averages(int span) : of(size_t(255 * span + 1)) {
        for (size_t sum = 0; sum < of.size(); ++sum) of[sum] = uint8_t((int(sum) + span / 2) / span);
    }
};

// One horizontal box pass of the radius from src into dst (zero beyond the edges).
void boxRows(const uint8_t* src, uint8_t* dst, int w, int h, int stride, int r, const Averages& avg) {
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = src + size_t(y) * stride;
        uint8_t* d = dst + size_t(y) * stride;
        int sum = 0;
        for (int x = 0; x <= std::min(r, w - 1); ++x) sum += s[x];
        for (int x = 0; x < w; ++x) {
            d[x] = avg.of[size_t(sum)];
            const int add = x + r + 1, sub = x - r;
            if (add < w) sum += s[add];
            if (sub >= 0) sum -= s[sub];
        }
    }
}

// One vertical box pass, row by row with running column sums.
void boxColumns(const uint8_t* src, uint8_t* dst, int w, int h, int stride, int r, const Averages& avg) {
    std::vector<int> sums(size_t(w), 0);
    for (int y = 0; y <= std::min(r, h - 1); ++y) {
        const uint8_t* s = src + size_t(y) * stride;
        for (int x = 0; x < w; ++x) sums[x] += s[x];
    }
    for (int y = 0; y < h; ++y) {
        uint8_t* d = dst + size_t(y) * stride;
        for (int x = 0; x < w; ++x) d[x] = avg.of[size_t(sums[x])];
        const int add = y + r + 1, sub = y - r;
        if (add < h) {
            const uint8_t* s = src + size_t(add) * stride;
            for (int x = 0; x < w; ++x) sums[x] += s[x];
        }
        if (sub >= 0) {
            const uint8_t* s = src + size_t(sub) * stride;
            for (int x = 0; x < w; ++x) sums[x] -= s[x];
        }
    }
}

}  // namespace

int blurMargin(double blur) { return blur > 0 ? int(std::ceil(blur * 1.5)) + 1 : 0; }

void blurCoverage(uint8_t* data, int width, int height, int stride, double sigma) {
    if (!data || width < 1 || height < 1 || !(sigma > 0)) return;
    int radii[3];
    boxesForGauss(sigma, radii);
    thread_local std::vector<uint8_t> scratch;
    if (scratch.size() < size_t(stride) * size_t(height)) scratch.resize(size_t(stride) * size_t(height));
    // Tables per span, kept by the thread: building one costs more than blurring an
    // icon's shadow with it.
    thread_local std::map<int, Averages> tables;
    if (tables.size() > 64) tables.clear();
    for (int r : radii) {
        if (r < 1) continue;
        const int span = 2 * r + 1;
        auto found = tables.find(span);
        if (found == tables.end()) found = tables.emplace(span, Averages(span)).first;
        const Averages& avg = found->second;
        boxRows(data, scratch.data(), width, height, stride, r, avg);
        boxColumns(scratch.data(), data, width, height, stride, r, avg);
    }
}

void cast(QPainter& target, const QRectF& bounds, const QRectF& visible, double dpr, const Spec& spec,
          const std::function<void(QPainter&)>& paint) {
    if (spec.color.alpha() == 0 || bounds.isEmpty()) return;
    const int margin = blurMargin(spec.blur);
    // Only the part of the shape whose shadow can land on the visible area matters.
    const QRectF shape =
        bounds & visible.translated(-spec.dx, -spec.dy).adjusted(-margin, -margin, margin, margin);
    if (shape.isEmpty()) return;
    const QRect layerRect = shape.adjusted(-margin, -margin, margin, margin).toAlignedRect();
    if (layerRect.isEmpty() || (long long)layerRect.width() * layerRect.height() > 64LL * 1024 * 1024) return;

    // The layer and the coverage live in buffers kept by the thread: a dock redraws many
    // shadows of the same sizes, and fresh large allocations cost more than the work.
    struct Buffers {
        std::vector<QRgb> layer;
        std::vector<uint8_t> coverage;
    };
    thread_local Buffers buffers;
    const int w = layerRect.width(), h = layerRect.height();
    const size_t pixels = size_t(w) * size_t(h);
    if (buffers.layer.size() < pixels) buffers.layer.resize(pixels);
    if (buffers.coverage.size() < pixels) buffers.coverage.resize(pixels);
    std::fill(buffers.layer.begin(), buffers.layer.begin() + long(pixels), 0u);
    QImage layer(reinterpret_cast<uchar*>(buffers.layer.data()), w, h, qsizetype(w) * 4,
                 QImage::Format_ARGB32_Premultiplied);
    {
        QPainter lp(&layer);
        lp.setWorldTransform(target.deviceTransform() * QTransform::fromTranslate(-layerRect.x(), -layerRect.y()));
        paint(lp);
    }
    uint8_t* coverage = buffers.coverage.data();
    const QRgb* in = buffers.layer.data();
    for (size_t i = 0; i < pixels; ++i) coverage[i] = uint8_t(qAlpha(in[i]));
    blurCoverage(coverage, w, h, w, spec.blur / 2.0);

    QRgb tint[256];
    const QRgb base = spec.color.rgba();
    for (int i = 0; i < 256; ++i)
        tint[i] = qPremultiply(qRgba(qRed(base), qGreen(base), qBlue(base), (qAlpha(base) * i + 127) / 255));
    QRgb* out = buffers.layer.data();
    for (size_t i = 0; i < pixels; ++i) out[i] = tint[coverage[i]];

    target.save();
    target.setWorldTransform(QTransform::fromScale(1.0 / dpr, 1.0 / dpr));
    target.setOpacity(1.0);
    target.setCompositionMode(QPainter::CompositionMode_SourceOver);
    target.drawImage(QPointF(layerRect.x() + spec.dx, layerRect.y() + spec.dy), layer);
    target.restore();
}

}  // namespace qs::ShadowRenderer
