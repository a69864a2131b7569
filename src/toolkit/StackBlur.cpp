// StackBlur (the published algorithm): a horizontal pass over every row, then a vertical
// pass over every column, with a stack of 2r + 1 entries weighted 1 ... r + 1 ... 1 and
// edge pixels repeated beyond the border, and a division table of 256 × (r + 1)²
// entries (for large radii, where the table would grow past a few megabytes, the same
// integer division is computed instead).
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "toolkit/ImageHelpers.h"

namespace qs::NSImage_Grayscale {

namespace {

// The published division table, entry i = i / (r + 1)², for radii where it stays small;
// plain division beyond.
struct Divider {
    long long divsum;
    std::vector<uint8_t> table;
    explicit Divider(int radius) : divsum((long long)(radius + 1) * (radius + 1)) {
        const long long entries = 256 * divsum;
        if (entries <= (1LL << 22)) {
            table.resize(size_t(entries));
            for (long long i = 0; i < entries; ++i) table[size_t(i)] = uint8_t(i / divsum);
        }
    }
    uint8_t operator()(long long sum) const { return table.empty() ? uint8_t(sum / divsum) : table[size_t(sum)]; }
};

// One line of the filter: n samples of three channels, read through `in(i)` (a pointer
// to the three bytes of sample i, 0 <= i < n) and written through `out(i, r, g, b)`.
// Beyond the ends the end samples repeat.
template <class In, class Out>
void blurLine(int n, int radius, const Divider& divide, std::vector<int>& stack, const In& in, const Out& out) {
    const int div = 2 * radius + 1, r1 = radius + 1, last = n - 1;
    long long rin = 0, gin = 0, bin = 0, rout = 0, gout = 0, bout = 0, rsum = 0, gsum = 0, bsum = 0;
    for (int i = -radius; i <= radius; ++i) {
        const uint8_t* p = in(std::min(last, std::max(i, 0)));
        int* sir = &stack[size_t(i + radius) * 3];
        sir[0] = p[0];
        sir[1] = p[1];
        sir[2] = p[2];
        const int rbs = r1 - std::abs(i);
        rsum += sir[0] * rbs;
        gsum += sir[1] * rbs;
        bsum += sir[2] * rbs;
        if (i > 0) {
            rin += sir[0], gin += sir[1], bin += sir[2];
        } else {
            rout += sir[0], gout += sir[1], bout += sir[2];
        }
    }
    int stackpointer = radius;
    for (int k = 0; k < n; ++k) {
        out(k, divide(rsum), divide(gsum), divide(bsum));
        rsum -= rout, gsum -= gout, bsum -= bout;
        int start = stackpointer + r1;  // stackpointer - radius + div
        if (start >= div) start -= div;
        int* sir = &stack[size_t(start) * 3];
        rout -= sir[0], gout -= sir[1], bout -= sir[2];
        const uint8_t* p = in(std::min(k + r1, last));
        sir[0] = p[0];
        sir[1] = p[1];
        sir[2] = p[2];
        rin += sir[0], gin += sir[1], bin += sir[2];
        rsum += rin, gsum += gin, bsum += bin;
        if (++stackpointer == div) stackpointer = 0;
        sir = &stack[size_t(stackpointer) * 3];
        rout += sir[0], gout += sir[1], bout += sir[2];
        rin -= sir[0], gin -= sir[1], bin -= sir[2];
    }
}

}  // namespace

void applyStackBlurToBuffer(uint8_t* pix, int w, int h, int radius, int bytesPerRow) {
    if (!pix || radius < 1 || w < 1 || h < 1) return;
    const size_t stride = size_t(bytesPerRow > 0 ? bytesPerRow : 4 * w);
    const Divider divide(radius);
    std::vector<int> stack(size_t(2 * radius + 1) * 3);
    // The horizontal pass writes its rows transposed (column after column), so that the
    // vertical pass reads each column in one run.
    std::vector<uint8_t> columns(size_t(w) * size_t(h) * 3);
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = pix + size_t(y) * stride;
        blurLine(
            w, radius, divide, stack, [&](int x) { return row + 4 * size_t(x); },
            [&](int x, uint8_t r, uint8_t g, uint8_t b) {
                uint8_t* c = &columns[(size_t(x) * size_t(h) + size_t(y)) * 3];
                c[0] = r, c[1] = g, c[2] = b;
            });
    }
    // The vertical pass writes the first three bytes back; the fourth stays.
    for (int x = 0; x < w; ++x) {
        const uint8_t* column = &columns[size_t(x) * size_t(h) * 3];
        blurLine(
            h, radius, divide, stack, [&](int y) { return column + 3 * size_t(y); },
            [&](int y, uint8_t r, uint8_t g, uint8_t b) {
                uint8_t* p = pix + size_t(y) * stride + 4 * size_t(x);
                p[0] = r, p[1] = g, p[2] = b;
            });
    }
}

ImagePtr stackBlur(const ImagePtr& image, int radius) {
    if (!image || radius < 1 || image->size() == SizeZero) return image;
    // 32 bits a pixel, premultiplied, alpha in the last byte: the canvas format (or its
    // byte-swapped twin) is used as it is, anything else is normalised first.
    QImage source = CGImage(*image);
    const bool alphaLast = source.format() == QImage::Format_RGBA8888_Premultiplied ||
                           source.format() == ImageRep::canvasFormat();
    if (!alphaLast) {
        auto normalized = normalize(image);
        source = normalized ? CGImage(*normalized) : QImage();
    }
    if (source.isNull()) return image;
    // A copy of the pixels, blurred with the bitmap's own dimensions and row length (the
    // size in points may differ from them).
    QImage buffer = source.copy();
    applyStackBlurToBuffer(buffer.bits(), buffer.width(), buffer.height(), radius, int(buffer.bytesPerLine()));
    return imageWithCGImage(buffer);
}

}  // namespace qs::NSImage_Grayscale
