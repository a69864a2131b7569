#pragma once
// A small icon theme in a private XDG_DATA_DIRS tree, and broken icon files, for the icon
// tests.

#include <unistd.h>

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "dock_ui/ItemIconCache.h"
#include "platform/desktop/IconTheme.h"
#include "platform/foundation/RunLoop.h"

namespace qs::test {

// Lets the icon cache's background jobs finish and delivers their results.
inline void settleIcons(ManualRunLoop& loop) {
    loop.runPending();
    for (int i = 0; i < 20 && ItemIconCache::shared().pendingCount() > 0; ++i) {
        loop.waitForBackground();
        loop.runPending();
    }
}

inline void writePNG(const std::string& path, QColor colour, int w, int h) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(colour);
    image.save(QString::fromStdString(path), "PNG");
}

inline void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A square SVG of one colour.
inline void writeSVG(const std::string& path, const char* colour) {
    writeFile(path, std::string("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\" "
                                "viewBox=\"0 0 16 16\"><rect width=\"16\" height=\"16\" fill=\"") +
                        colour + "\"/></svg>");
}

inline uint32_t crc32(const QByteArray& bytes) {
    uint32_t crc = 0xffffffffu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A PNG whose header announces width x height pixels, with no pixel data.
inline void writeHugePNGHeader(const std::string& path, uint32_t width, uint32_t height) {
    auto be = [](uint32_t v) {
        QByteArray b(4, 0);
        for (int i = 0; i < 4; ++i) b[i] = char((v >> (24 - 8 * i)) & 0xff);
        return b;
    };
    auto chunk = [&](const char* type, const QByteArray& body) {
        QByteArray typed = QByteArray(type) + body;
        return be(uint32_t(body.size())) + typed + be(crc32(typed));
    };
    QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) +
                     chunk("IHDR", be(width) + be(height) + QByteArray("\x08\x06\x00\x00\x00", 5)) +
                     chunk("IDAT", {}) + chunk("IEND", {});
    writeFile(path, png.toStdString());
}

// The theme "Harbourlight" (inheriting "hicolor") under <root>/share/icons, with the
// icon "harbour-app" in red at 16, green at 48 and blue at 128 pixels, "harbour-drawing"
// only as a scalable (yellow) SVG, and "hicolor-only" in hicolor; XDG_DATA_DIRS, HOME
// and the GTK setting point at it, and the shared theme is read again.
inline std::string installTestIconTheme(const std::string& root, const std::string& configHome) {
    const std::string share = root + "/share";
    const std::string theme = share + "/icons/Harbourlight";
    writeFile(theme + "/index.theme",
              "[Icon Theme]\nName=Harbourlight\nInherits=hicolor\n"
              "Directories=16x16/apps,48x48/apps,128x128/apps,scalable/apps\n\n"
              "[16x16/apps]\nSize=16\nType=Fixed\n\n[48x48/apps]\nSize=48\nType=Fixed\n\n"
              "[128x128/apps]\nSize=128\nType=Fixed\n\n"
              "[scalable/apps]\nSize=64\nMinSize=8\nMaxSize=512\nType=Scalable\n");
    writePNG(theme + "/16x16/apps/harbour-app.png", Qt::red, 16, 16);
    writePNG(theme + "/48x48/apps/harbour-app.png", Qt::green, 48, 48);
    writePNG(theme + "/128x128/apps/harbour-app.png", Qt::blue, 128, 128);
    writeSVG(theme + "/scalable/apps/harbour-drawing.svg", "#ffff00");
    const std::string hicolor = share + "/icons/hicolor";
    writeFile(hicolor + "/index.theme",
              "[Icon Theme]\nName=Hicolor\nDirectories=32x32/apps\n\n[32x32/apps]\nSize=32\nType=Threshold\n");
    writePNG(hicolor + "/32x32/apps/hicolor-only.png", Qt::magenta, 32, 32);
    writeFile(configHome + "/gtk-3.0/settings.ini", "[Settings]\ngtk-icon-theme-name=Harbourlight\n");
    setenv("XDG_DATA_DIRS", share.c_str(), 1);
    setenv("HOME", root.c_str(), 1);
    desktop::IconTheme::resetShared();
    return share;
}

// Restores the environment the theme changed.
class IconThemeEnvironment {
public:
    IconThemeEnvironment() {
        if (const char* d = std::getenv("XDG_DATA_DIRS")) dataDirs_ = d, hadDataDirs_ = true;
        if (const char* h = std::getenv("HOME")) home_ = h, hadHome_ = true;
    }
    ~IconThemeEnvironment() {
        if (hadDataDirs_) setenv("XDG_DATA_DIRS", dataDirs_.c_str(), 1); else unsetenv("XDG_DATA_DIRS");
        if (hadHome_) setenv("HOME", home_.c_str(), 1); else unsetenv("HOME");
        desktop::IconTheme::resetShared();
    }

private:
    std::string dataDirs_, home_;
    bool hadDataDirs_ = false, hadHome_ = false;
};

}  // namespace qs::test
