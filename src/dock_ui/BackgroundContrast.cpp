#include "dock_ui/BackgroundContrast.h"

#include <memory>

#include "core/ThemeManager.h"

namespace qs::BackgroundContrast {

namespace {

// Pictures are judged on a small copy: the mean needs no more.
constexpr int kSampleSide = 32;

}  // namespace

double meanLuminance(const QImage& image) {
    if (image.isNull()) return -1.0;
    QImage sample = image.width() > kSampleSide || image.height() > kSampleSide
                        ? image.scaled(kSampleSide, kSampleSide, Qt::KeepAspectRatio, Qt::FastTransformation)
                        : image;
    sample = sample.convertToFormat(QImage::Format_ARGB32);
    double weighted = 0.0, weights = 0.0;
    for (int y = 0; y < sample.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(sample.constScanLine(y));
        for (int x = 0; x < sample.width(); ++x) {
            const double a = qAlpha(row[x]) / 255.0;
            weighted += a * (0.299 * qRed(row[x]) + 0.587 * qGreen(row[x]) + 0.114 * qBlue(row[x])) / 255.0;
            weights += a;
        }
    }
    return weights > 0.0 ? weighted / weights : -1.0;
}

bool isDark(const QImage& image) {
    const double l = meanLuminance(image);
    return l >= 0.0 && l < kDark;
}

bool isDarkBackground(const ThemeInfo* theme) {
    if (!theme) return false;
    switch (theme->themeType()) {
    case ThemeInfo::SystemLight: return false;
    case ThemeInfo::ColorTheme: {
        const ColorPtr colour = theme->backgroundColor();
        const QColor c = colour ? colour->toQColor() : QColor(Qt::black);
        return (0.299 * c.redF() + 0.587 * c.greenF() + 0.114 * c.blueF()) < kDark;
    }
    case ThemeInfo::PictureTheme: {
        // The picture is judged once (the panel has it decoded for its own drawing).
        static std::weak_ptr<Image> judged;
        static bool dark = false;
        const ImagePtr& picture = theme->backgroundImage();
        if (!picture) return false;
        if (judged.lock() != picture) {
            judged = picture;
            dark = isDark(picture->pixelsForSize(kSampleSide));
        }
        return dark;
    }
    default: return true;  // the dark system theme, the transparent ones
    }
}

bool isDockBackgroundDark() {
    auto theme = ThemeManager::sharedInstance()->currenThemeInfo();
    return isDarkBackground(theme.get());
}

QImage lightened(const QImage& image) {
    if (image.isNull()) return image;
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            row[x] = qRgba(255 - qRed(row[x]), 255 - qGreen(row[x]), 255 - qBlue(row[x]), qAlpha(row[x]));
    }
    return out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace qs::BackgroundContrast
