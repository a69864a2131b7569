// Draws the pictures of the picture themes that ship with Quayside, into the folder
// given as the only argument:
//   Harbour/harbour.png          sea water with a few wave crests (named by theme.plist)
//   Night/pictures/night.png     a night sky with stars (named by theme.plist)
//   Sandstone/background.png     layered sandstone (a theme without a theme.plist)
// The pictures are wide strips: a dock along the bottom or top edge draws them as they
// are, one along a side edge turns them a quarter. The output is the same on every run.

#include <cmath>
#include <cstdint>
#include <cstdio>

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 128;

// A small fixed-seed generator, so that the pictures never change between builds.
struct Lcg {
    uint32_t state;
    uint32_t next() { return state = state * 1664525u + 1013904223u; }
    double unit() { return double(next() >> 8) / double(1u << 24); }
};

QImage canvas() {
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage harbour() {
    QImage image = canvas();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient water(0, 0, 0, kHeight);
    water.setColorAt(0.0, QColor(46, 110, 150, 235));
    water.setColorAt(1.0, QColor(14, 46, 78, 245));
    p.fillRect(image.rect(), water);
    for (int row = 0; row < 5; ++row) {
        QPainterPath crest;
        const double y0 = 18 + row * 24;
        const double phase = row * 1.3;
        crest.moveTo(0, y0);
        for (int x = 0; x <= kWidth; x += 8)
            crest.lineTo(x, y0 + 4.0 * std::sin(x / 37.0 + phase) + 2.0 * std::sin(x / 11.0 + phase * 2));
        p.setPen(QPen(QColor(255, 255, 255, 40 + row * 8), 1.6));
        p.drawPath(crest);
    }
    return image;
}

QImage night() {
    QImage image = canvas();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, kHeight);
    sky.setColorAt(0.0, QColor(10, 14, 38, 240));
    sky.setColorAt(1.0, QColor(34, 26, 70, 240));
    p.fillRect(image.rect(), sky);
    Lcg random{20240611u};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 260; ++i) {
        const double x = random.unit() * kWidth;
        const double y = random.unit() * kHeight;
        const double r = 0.4 + random.unit() * random.unit() * 1.6;
        p.setBrush(QColor(255, 250, 230, int(90 + random.unit() * 165)));
        p.drawEllipse(QPointF(x, y), r, r);
    }
    return image;
}

QImage sandstone() {
    QImage image = canvas();
    QPainter p(&image);
    const QColor bands[] = {QColor(222, 184, 135), QColor(210, 165, 112), QColor(232, 199, 154),
                            QColor(196, 149, 100), QColor(226, 190, 140)};
    Lcg random{7u};
    double y = 0;
    int band = 0;
    while (y < kHeight) {
        const double h = 10 + random.unit() * 22;
        QColor c = bands[band++ % 5];
        c.setAlpha(240);
        p.fillRect(QRectF(0, y, kWidth, h), c);
        y += h;
    }
    // Fine grain, so the strata read as stone.
    for (int i = 0; i < 6000; ++i) {
        const int x = int(random.unit() * kWidth);
        const int gy = int(random.unit() * kHeight);
        p.setPen(QColor(120, 80, 40, int(random.unit() * 40)));
        p.drawPoint(x, gy);
    }
    return image;
}

bool save(const QImage& image, const QString& root, const QString& relative) {
    const QString path = root + "/" + relative;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !image.save(path, "PNG")) {
        std::fprintf(stderr, "theme_pictures: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: theme_pictures <themes folder>\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    bool ok = save(harbour(), root, "Harbour/harbour.png");
    ok = save(night(), root, "Night/pictures/night.png") && ok;
    ok = save(sandstone(), root, "Sandstone/background.png") && ok;
    return ok ? 0 : 1;
}
