// StackBlur (the published algorithm): a horizontal pass over every row, then a vertical
// pass over every column, with a stack of 2r + 1 entries weighted 1 ... r + 1 ... 1 and
// edge pixels repeated beyond the border. The division by (r + 1)² is the integer
// division the published table of 256 × (r + 1)² entries holds; it is computed directly
// here, which gives the same results without a table that grows with the radius.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "toolkit/ImageHelpers.h"

namespace qs::NSImage_Grayscale {

void applyStackBlurToBuffer(uint8_t* pix, int w, int h, int radius, int bytesPerRow) {
    if (!pix || radius < 1 || w < 1 || h < 1) return;
    const int stride = bytesPerRow > 0 ? bytesPerRow : 4 * w;
    const int wm = w - 1, hm = h - 1;
    const size_t wh = size_t(w) * size_t(h);
    const int div = radius + radius + 1;
    const long long divsum = (long long)(radius + 1) * (radius + 1);
    const int r1 = radius + 1;
    std::vector<int> rv(wh), gv(wh), bv(wh);
    std::vector<int> vmin(size_t(std::max(w, h)));
    std::vector<int> stack(size_t(div) * 3);
    auto px = [&](int x, int y) { return pix + size_t(y) * size_t(stride) + 4 * size_t(x); };

    // Horizontal pass: into the r, g, b planes.
    size_t yi = 0;
    for (int y = 0; y < h; ++y) {
        long long rin = 0, gin = 0, bin = 0, rout = 0, gout = 0, bout = 0, rsum = 0, gsum = 0, bsum = 0;
        for (int i = -radius; i <= radius; ++i) {
            const uint8_t* p = px(std::min(wm, std::max(i, 0)), y);
            int* sir = &stack[size_t(i + radius) * 3];
            sir[0] = p[0];
            sir[1] = p[1];
            sir[2] = p[2];
            const int rbs = r1 - std::abs(i);
            rsum += sir[0] * rbs;
            gsum += sir[1] * rbs;
            bsum += sir[2] * rbs;
            if (i > 0) {
                rin += sir[0];
                gin += sir[1];
                bin += sir[2];
            } else {
                rout += sir[0];
                gout += sir[1];
                bout += sir[2];
            }
        }
        int stackpointer = radius;
        for (int x = 0; x < w; ++x) {
            rv[yi] = int(rsum / divsum);
            gv[yi] = int(gsum / divsum);
            bv[yi] = int(bsum / divsum);
            rsum -= rout;
            gsum -= gout;
            bsum -= bout;
            int* sir = &stack[size_t((stackpointer - radius + div) % div) * 3];
            rout -= sir[0];
            gout -= sir[1];
            bout -= sir[2];
            if (y == 0) vmin[size_t(x)] = std::min(x + radius + 1, wm);
            const uint8_t* p = px(vmin[size_t(x)], y);
            sir[0] = p[0];
            sir[1] = p[1];
            sir[2] = p[2];
            rin += sir[0];
            gin += sir[1];
            bin += sir[2];
            rsum += rin;
            gsum += gin;
            bsum += bin;
            stackpointer = (stackpointer + 1) % div;
            sir = &stack[size_t(stackpointer % div) * 3];
            rout += sir[0];
            gout += sir[1];
            bout += sir[2];
            rin -= sir[0];
            gin -= sir[1];
            bin -= sir[2];
            ++yi;
        }
    }

    // Vertical pass: back into the buffer, the fourth byte kept.
    for (int x = 0; x < w; ++x) {
        long long rin = 0, gin = 0, bin = 0, rout = 0, gout = 0, bout = 0, rsum = 0, gsum = 0, bsum = 0;
        long long yp = -(long long)radius * w;
        for (int i = -radius; i <= radius; ++i) {
            const size_t at = size_t(std::max(0LL, yp)) + size_t(x);
            int* sir = &stack[size_t(i + radius) * 3];
            sir[0] = rv[at];
            sir[1] = gv[at];
            sir[2] = bv[at];
            const int rbs = r1 - std::abs(i);
            rsum += rv[at] * rbs;
            gsum += gv[at] * rbs;
            bsum += bv[at] * rbs;
            if (i > 0) {
                rin += sir[0];
                gin += sir[1];
                bin += sir[2];
            } else {
                rout += sir[0];
                gout += sir[1];
                bout += sir[2];
            }
            if (i < hm) yp += w;
        }
        int stackpointer = radius;
        for (int y = 0; y < h; ++y) {
            uint8_t* out = px(x, y);
            out[0] = uint8_t(rsum / divsum);
            out[1] = uint8_t(gsum / divsum);
            out[2] = uint8_t(bsum / divsum);
            rsum -= rout;
            gsum -= gout;
            bsum -= bout;
            int* sir = &stack[size_t((stackpointer - radius + div) % div) * 3];
            rout -= sir[0];
            gout -= sir[1];
            bout -= sir[2];
            if (x == 0) vmin[size_t(y)] = std::min(y + r1, hm) * w;
            const size_t p = size_t(x) + size_t(vmin[size_t(y)]);
            sir[0] = rv[p];
            sir[1] = gv[p];
            sir[2] = bv[p];
            rin += sir[0];
            gin += sir[1];
            bin += sir[2];
            rsum += rin;
            gsum += gin;
            bsum += bin;
            stackpointer = (stackpointer + 1) % div;
            sir = &stack[size_t(stackpointer) * 3];
            rout += sir[0];
            gout += sir[1];
            bout += sir[2];
            rin -= sir[0];
            gin -= sir[1];
            bin -= sir[2];
        }
    }
}

ImagePtr stackBlur(const ImagePtr& image, int radius) {
    if (!image || radius < 1 || image->size() == SizeZero) return image;
    QImage source = CGImage(*image);
    if (source.format() != QImage::Format_RGBA8888_Premultiplied) {
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
