#include "core/ItemImages.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <map>
#include <mutex>

namespace qs {

namespace {

// Drawn stand-ins, used when the icon theme has nothing.
QImage drawn(const std::string& name) {
    QImage image(128, 128, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 4));
    if (name == "Recycle_Bin" || name == "Recycle_Bin_Full") {
        p.setBrush(QColor(200, 200, 205));
        QPainterPath can;
        can.moveTo(28, 30);
        can.lineTo(100, 30);
        can.lineTo(92, 118);
        can.lineTo(36, 118);
        can.closeSubpath();
        p.drawPath(can);
        p.drawLine(20, 30, 108, 30);
        if (name == "Recycle_Bin_Full") {
            p.setBrush(QColor(240, 240, 230));
            p.drawEllipse(QRectF(36, 8, 56, 30));
        }
    } else if (name == "Group") {
        p.setBrush(QColor(120, 160, 220));
        p.drawRoundedRect(QRectF(12, 12, 104, 104), 22, 22);
        p.setBrush(Qt::white);
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 2; ++c) p.drawRoundedRect(QRectF(28 + c * 40, 28 + r * 40, 32, 32), 6, 6);
    } else if (name == "Spaceship") {
        p.setBrush(QColor(230, 90, 60));
        QPainterPath ship;
        ship.moveTo(64, 8);
        ship.cubicTo(96, 40, 92, 84, 80, 104);
        ship.lineTo(48, 104);
        ship.cubicTo(36, 84, 32, 40, 64, 8);
        p.drawPath(ship);
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(52, 40, 24, 24));
    } else {
        p.setBrush(name == "folder" ? QColor(110, 160, 230) : QColor(235, 235, 235));
        p.drawRoundedRect(QRectF(24, 12, 80, 104), 8, 8);
    }
    return image;
}

const char* themeNameFor(const std::string& name) {
    if (name == "Recycle_Bin") return "user-trash";
    if (name == "Recycle_Bin_Full") return "user-trash-full";
    if (name == "Group") return "folder-applications";
    if (name == "Spaceship") return "start-here";
    return nullptr;
}

std::mutex& cacheMutex() {
    static std::mutex m;
    return m;
}

}  // namespace

ImagePtr themeIcon(const std::string& nameOrPath, int size) {
    if (nameOrPath.empty() || !qGuiApp) return nullptr;
    QString n = QString::fromStdString(nameOrPath);
    QIcon icon;
    if (n.startsWith('/')) {
        if (!QFileInfo::exists(n)) return nullptr;
        icon = QIcon(n);
    } else {
        icon = QIcon::fromTheme(n);
    }
    if (icon.isNull()) return nullptr;
    QImage image = icon.pixmap(size, size).toImage();
    if (image.isNull()) return nullptr;
    return std::make_shared<Image>(std::move(image));
}

ImagePtr imageNamed(const std::string& name) {
    static std::map<std::string, ImagePtr> cache;
    std::lock_guard lock(cacheMutex());
    auto& slot = cache[name];
    if (!slot) {
        if (const char* theme = themeNameFor(name)) slot = themeIcon(theme);
        if (!slot) slot = std::make_shared<Image>(drawn(name));
    }
    return slot;
}

ImagePtr genericIcon(GenericIcon kind) {
    switch (kind) {
        case GenericIcon::Folder: {
            static ImagePtr folder = themeIcon("folder");
            return folder ? folder : imageNamed("folder");
        }
        case GenericIcon::Application: {
            static ImagePtr app = themeIcon("application-x-executable");
            return app ? app : imageNamed("application");
        }
        case GenericIcon::Missing: {
            static ImagePtr missing = themeIcon("image-missing");
            return missing ? missing : imageNamed("missing");
        }
        case GenericIcon::File:
        default: {
            static ImagePtr file = themeIcon("text-x-generic");
            return file ? file : imageNamed("file");
        }
    }
}

}  // namespace qs
