#include "platform/desktop/IconSources.h"

#include <sys/stat.h>

#include <QLinearGradient>
#include <algorithm>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>

#include "platform/desktop/DesktopEntryFile.h"
#include "platform/desktop/IconTheme.h"

namespace qs::desktop {

namespace {

// ---------------------------------------------------------------------------------
// Drawn pictures, on a 128-unit square scaled to the size asked for.

void drawPage(QPainter& p, QColor paper) {
    QPainterPath page;
    page.moveTo(28, 8);
    page.lineTo(80, 8);
    page.lineTo(104, 32);
    page.lineTo(104, 120);
    page.lineTo(28, 120);
    page.closeSubpath();
    p.setBrush(paper);
    p.drawPath(page);
    QPainterPath fold;
    fold.moveTo(80, 8);
    fold.lineTo(80, 32);
    fold.lineTo(104, 32);
    p.setBrush(paper.darker(115));
    p.drawPath(fold);
}

void drawPicture(QPainter& p, DrawnIcon icon) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    switch (icon) {
    case DrawnIcon::Trash:
    case DrawnIcon::TrashFull: {
        p.setBrush(QColor(200, 200, 205));
        QPainterPath can;
        can.moveTo(28, 30);
        can.lineTo(100, 30);
        can.lineTo(92, 118);
        can.lineTo(36, 118);
        can.closeSubpath();
        p.drawPath(can);
        for (int x : {48, 64, 80}) p.drawLine(QPointF(x, 44), QPointF(x - (x - 64) * 0.1, 106));
        p.drawLine(20, 30, 108, 30);
        if (icon == DrawnIcon::TrashFull) {
            p.setBrush(QColor(240, 240, 230));
            p.drawEllipse(QRectF(36, 8, 56, 30));
        }
        break;
    }
    case DrawnIcon::Group:
        p.setBrush(QColor(120, 160, 220));
        p.drawRoundedRect(QRectF(12, 12, 104, 104), 22, 22);
        p.setBrush(Qt::white);
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 2; ++c) p.drawRoundedRect(QRectF(28 + c * 40, 28 + r * 40, 32, 32), 6, 6);
        break;
    case DrawnIcon::StartMenu: {
        p.setBrush(QColor(230, 90, 60));
        QPainterPath ship;
        ship.moveTo(64, 8);
        ship.cubicTo(96, 40, 92, 84, 80, 104);
        ship.lineTo(48, 104);
        ship.cubicTo(36, 84, 32, 40, 64, 8);
        p.drawPath(ship);
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(52, 40, 24, 24));
        break;
    }
    case DrawnIcon::Application: {
        QLinearGradient fill(0, 12, 0, 116);
        fill.setColorAt(0, QColor(110, 140, 210));
        fill.setColorAt(1, QColor(60, 90, 170));
        p.setBrush(fill);
        p.drawRoundedRect(QRectF(12, 12, 104, 104), 24, 24);
        p.setBrush(Qt::white);
        QPainterPath diamond;
        diamond.moveTo(64, 32);
        diamond.lineTo(96, 64);
        diamond.lineTo(64, 96);
        diamond.lineTo(32, 64);
        diamond.closeSubpath();
        p.drawPath(diamond);
        break;
    }
    case DrawnIcon::Folder: {
        p.setBrush(QColor(90, 140, 215));
        QPainterPath tab;
        tab.moveTo(10, 28);
        tab.lineTo(50, 28);
        tab.lineTo(60, 40);
        tab.lineTo(10, 40);
        tab.closeSubpath();
        p.drawPath(tab);
        p.setBrush(QColor(110, 160, 230));
        p.drawRoundedRect(QRectF(10, 38, 108, 76), 8, 8);
        break;
    }
    case DrawnIcon::Missing:
        drawPage(p, QColor(235, 235, 235));
        p.setPen(QPen(QColor(200, 40, 40), 10, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(44, 52, 88, 96);
        p.drawLine(88, 52, 44, 96);
        break;
    case DrawnIcon::Document:
    default:
        drawPage(p, QColor(245, 245, 245));
        p.setPen(QPen(QColor(150, 150, 150), 4, Qt::SolidLine, Qt::RoundCap));
        for (int y = 52; y <= 100; y += 16) p.drawLine(42, y, 90, y);
        break;
    }
}

const char* drawnName(DrawnIcon icon) {
    switch (icon) {
    case DrawnIcon::Application: return "application";
    case DrawnIcon::Document: return "document";
    case DrawnIcon::Folder: return "folder";
    case DrawnIcon::Missing: return "missing file";
    case DrawnIcon::Trash: return "trash";
    case DrawnIcon::TrashFull: return "full trash";
    case DrawnIcon::Group: return "group";
    case DrawnIcon::StartMenu: return "start menu";
    }
    return "picture";
}

class DrawnSource : public ImageSource {
public:
    explicit DrawnSource(DrawnIcon icon) : icon_(icon) {}
    QImage load(int pixelSize, std::vector<std::string>&) const override {
        const int side = std::clamp(pixelSize > 0 ? pixelSize : kIconPoints, 1, 4096);
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        if (image.isNull()) return {};
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.scale(side / 128.0, side / 128.0);
        drawPicture(p, icon_);
        return image;
    }
    std::string description() const override { return std::string("the drawn ") + drawnName(icon_) + " picture"; }
    std::string shareKey() const override { return std::string("drawn:") + drawnName(icon_); }

private:
    DrawnIcon icon_;
};

// ---------------------------------------------------------------------------------
// Icons of the theme.

class ThemeSource : public ImageSource {
public:
    ThemeSource(std::vector<std::string> candidates, ImageSourcePtr fallback)
        : candidates_(std::move(candidates)), fallback_(std::move(fallback)) {}

    QImage load(int pixelSize, std::vector<std::string>& problems) const override {
        const int side = pixelSize > 0 ? pixelSize : kIconPoints;
        std::vector<std::string> missing;
        bool broken = false;
        for (const auto& candidate : candidates_) {
            if (candidate.empty()) continue;
            std::string file = candidate;
            if (candidate[0] != '/') {
                auto theme = IconTheme::shared();
                file = theme->lookup(candidate, side);
                if (file.empty()) {
                    missing.push_back(candidate);
                    continue;
                }
            }
            std::string whyNot;
            QImage image = Image::readFileForSize(file, side, kMaxIconPixels, whyNot);
            if (!image.isNull()) {
                // Drawn without a size: kept within the icon size.
                if (pixelSize <= 0 && (image.width() > side || image.height() > side))
                    image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
                return image;
            }
            problems.push_back("the icon \"" + candidate + "\" cannot be used: " + whyNot);
            broken = true;
        }
        if (!missing.empty() && !broken) {
            std::string names;
            for (const auto& name : missing) names += (names.empty() ? "\"" : ", \"") + name + "\"";
            problems.push_back("the icon theme \"" + IconTheme::shared()->name() + "\" has no icon " + names +
                               (fallback_ ? "; " + fallback_->description() + " is shown instead" : std::string()));
        }
        return fallback_ ? fallback_->load(pixelSize, problems) : QImage();
    }

    std::string description() const override {
        std::string names;
        for (const auto& name : candidates_)
            if (!name.empty()) names += (names.empty() ? "\"" : ", \"") + name + "\"";
        return "the icon " + (names.empty() ? std::string("(none named)") : names);
    }

    // The candidates in order (as bytes: a path may hold any of them), the icon theme in
    // use, then what the fallback shares.
    std::string shareKey() const override {
        const std::string fallback = fallback_ ? fallback_->shareKey() : std::string("none");
        if (fallback.empty()) return {};
        std::string key = "theme#" + std::to_string(IconTheme::sharedGeneration());
        for (const auto& candidate : candidates_) key += '\0' + candidate;
        return key + '\0' + fallback;
    }

private:
    std::vector<std::string> candidates_;
    ImageSourcePtr fallback_;
};

// A generic icon: the theme's, else the drawn one, described as the generic icon it is.
class GenericSource : public ThemeSource {
public:
    GenericSource(const char* name, DrawnIcon drawn, const char* what)
        : ThemeSource({name}, drawnIconSource(drawn)), what_(what) {}
    std::string description() const override { return std::string("the generic ") + what_ + " icon"; }

private:
    const char* what_;
};

}  // namespace

ImageSourcePtr drawnIconSource(DrawnIcon icon) { return std::make_shared<DrawnSource>(icon); }

ImageSourcePtr themeIconSource(std::vector<std::string> namesOrPaths, ImageSourcePtr fallback) {
    return std::make_shared<ThemeSource>(std::move(namesOrPaths), std::move(fallback));
}

ImageSourcePtr genericIconSource(GenericKind kind) {
    static const ImageSourcePtr application =
        std::make_shared<GenericSource>("application-x-executable", DrawnIcon::Application, "application");
    static const ImageSourcePtr document = std::make_shared<GenericSource>("text-x-generic", DrawnIcon::Document, "document");
    static const ImageSourcePtr folder = std::make_shared<GenericSource>("folder", DrawnIcon::Folder, "folder");
    static const ImageSourcePtr missing = std::make_shared<GenericSource>("image-missing", DrawnIcon::Missing, "missing-file");
    switch (kind) {
    case GenericKind::Application: return application;
    case GenericKind::Folder: return folder;
    case GenericKind::Missing: return missing;
    case GenericKind::Document:
    default: return document;
    }
}

ImageSourcePtr genericIconSourceForFile(const std::string& path) {
    struct stat st {};
    // An application entry that is not installed still stands for an application.
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return genericIconSource(isDesktopEntryPath(path) ? GenericKind::Application : GenericKind::Missing);
    if (S_ISDIR(st.st_mode)) return genericIconSource(GenericKind::Folder);
    if (auto entry = readDesktopEntryFile(path); entry && entry->isApplication())
        return genericIconSource(GenericKind::Application);
    static QMimeDatabase database;  // thread-safe
    const QMimeType type = database.mimeTypeForFile(QString::fromStdString(path));
    std::vector<std::string> names;
    if (!type.iconName().isEmpty()) names.push_back(type.iconName().toStdString());
    if (!type.genericIconName().isEmpty()) names.push_back(type.genericIconName().toStdString());
    return themeIconSource(std::move(names), genericIconSource(GenericKind::Document));
}

ImagePtr deferredIcon(ImageSourcePtr source) {
    return Image::imageWithSource(std::move(source), Size{double(kIconPoints), double(kIconPoints)});
}

}  // namespace qs::desktop
