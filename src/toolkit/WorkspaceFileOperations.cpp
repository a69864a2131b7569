#include "toolkit/WorkspaceFileOperations.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include <QByteArray>
#include <QCollator>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QString>

#include "platform/desktop/Desktop.h"
#include "platform/desktop/DesktopEntryFile.h"
#include "platform/desktop/FileServices.h"
#include "platform/desktop/Workspace.h"
#include "platform/desktop/UserMessages.h"
#include "platform/foundation/Log.h"
#include "platform/ui/Beep.h"

namespace qs::NSWorkspace_FileOperations {

namespace fs = std::filesystem;

namespace {

constexpr int kIconSize = 16;

desktop::Workspace* workspace() { return desktop::services().workspace.get(); }

bool isUTF8(const std::string& text) {
    const QByteArray bytes = QByteArray::fromStdString(text);
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

// One line for a name that is not UTF-8: its bytes are passed on as they are.
void noteName(const std::string& path) {
    if (!isUTF8(path)) log("the path ", QString::fromUtf8(QByteArray::fromStdString(path)).toStdString(),
                           " is not valid UTF-8; its bytes are used as they are");
}

// The workspace's icon of the application, scaled to fit 16 x 16 on a clear square.
ImagePtr icon16(const std::string& path) {
    auto* ws = workspace();
    ImagePtr icon = ws ? ws->iconForFile(path) : nullptr;
    if (!icon || !icon->isValid()) return nullptr;
    QImage scaled = icon->qimage().scaled(kIconSize, kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (scaled.width() == kIconSize && scaled.height() == kIconSize) return std::make_shared<Image>(std::move(scaled));
    QImage square(kIconSize, kIconSize, QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::transparent);
    QPainter painter(&square);
    painter.drawImage((kIconSize - scaled.width()) / 2, (kIconSize - scaled.height()) / 2, scaled);
    painter.end();
    return std::make_shared<Image>(std::move(square));
}

MenuItemPtr applicationItem(const std::string& path, const void* target, const MenuItem::Action& action) {
    auto item = std::make_shared<MenuItem>(displayNameAtPath(path), action, "");
    item->setTarget(target);
    item->setToolTip(path);
    return item;
}

// The path's destination when it is a symbolic link; the path itself otherwise, and
// when the link cannot be read (with a log line).
std::string resolveLink(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::error_code ec;
    fs::path target = fs::read_symlink(path, ec);
    if (ec) {
        log("Error resolving symlink ", path, ": ", ec.message());
        return path;
    }
    if (target.is_relative()) target = fs::path(path).parent_path() / target;
    return target.string();
}

}  // namespace

std::string displayNameAtPath(const std::string& path) {
    if (desktop::isDesktopEntryPath(path))
        if (auto entry = desktop::readDesktopEntryFile(path); entry && !entry->name.empty()) return entry->name;
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    auto slash = trimmed.find_last_of('/');
    std::string name = slash == std::string::npos || trimmed.size() == 1 ? trimmed : trimmed.substr(slash + 1);
    // An application's entry that cannot be read still shows without its extension.
    if (desktop::isDesktopEntryPath(name)) name.resize(name.size() - 8);
    return name;
}

std::optional<std::string> defaultApplicationForFile(const std::string& path) {
    auto* ws = workspace();
    if (!ws || path.empty()) return std::nullopt;
    auto found = ws->defaultApplicationForFile(path);
    if (found && found->empty()) return std::nullopt;
    return found;
}

std::optional<std::vector<std::string>> applicationsForFile(const std::string& path) {
    auto* ws = workspace();
    if (!ws || path.empty()) return std::nullopt;
    return ws->applicationsForFile(path);
}

MenuPtr openWithMenuForFile(const std::string& path, const void* target, const MenuItem::Action& action) {
    noteName(path);
    auto menu = std::make_shared<Menu>("Open With");
    const auto defaultPath = defaultApplicationForFile(path);
    if (defaultPath) {
        auto item = applicationItem(*defaultPath, target, action);
        item->setImage(icon16(*defaultPath));
        menu->addItem(item);
        menu->addItem(MenuItem::separatorItem());
    }
    auto applications = applicationsForFile(path);
    if (!applications) {
        menu->addItem(std::make_shared<MenuItem>("None", MenuItem::Action{}, ""));
        return menu;
    }
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<std::string> sorted = *applications;
    std::stable_sort(sorted.begin(), sorted.end(), [&](const std::string& a, const std::string& b) {
        return collator.compare(QString::fromStdString(a), QString::fromStdString(b)) < 0;
    });
    for (const auto& app : sorted) {
        if (defaultPath && app == *defaultPath) continue;
        auto item = applicationItem(app, target, action);
        if (auto image = icon16(app)) item->setImage(image);
        menu->addItem(item);
    }
    return menu;
}

bool getInfoInFinderForFile(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        NSBeep();
        return false;
    }
    noteName(path);
    auto* files = desktop::fileServices();
    if (!files || !files->showItemProperties({path})) {
        log("Error running AppleScript");
        desktop::tellUserItFailed("The information of " + desktop::quotedName(path) + " could not be shown.");
        return false;
    }
    return true;
}

std::string fileSizeAsHumanReadableString(uint64_t size) {
    char text[64];
    if (size < 1024)
        std::snprintf(text, sizeof text, "%u bytes", unsigned(size));
    else if (size <= 1048575ull)
        std::snprintf(text, sizeof text, "%llu KB", (unsigned long long)(size / 1024));
    else if (size <= 1073741824ull)
        std::snprintf(text, sizeof text, "%s MB", QString::number(double(size) / 1048576.0, 'f', 1).toLatin1().constData());
    else
        std::snprintf(text, sizeof text, "%s GB",
                      QString::number(double(size) / 1073741824.0, 'f', 1).toLatin1().constData());
    return text;
}

uint64_t fileOrFolderSize(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return 0;
    const std::string item = resolveLink(path);
    if (::stat(item.c_str(), &st) != 0) return 0;
    if (S_ISDIR(st.st_mode)) return nrCalculateFolderSize(item);
    return uint64_t(st.st_size);
}

std::string fileOrFolderSizeAsHumanReadable(const std::string& path) {
    return fileSizeAsHumanReadableString(fileOrFolderSize(path));
}

uint64_t nrCalculateFolderSize(const std::string& folderPath) {
    auto url = URL::fileURLWithPath(folderPath, true);
    uint64_t size = 0;
    if (!url || !getAllocatedSize(&size, *url, nullptr)) return 0;
    return size;
}

bool getAllocatedSize(uint64_t* size, const URL& directoryURL, std::string* error) {
    const std::string root = directoryURL.path();
    auto fail = [&](const std::string& what) {
        if (error) *error = what;
        return false;
    };
    std::error_code ec;
    fs::recursive_directory_iterator it(root, fs::directory_options::none, ec);
    if (ec) return fail(root + ": " + ec.message());
    uint64_t total = 0;
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) return fail(ec.message());
        struct stat st {};
        const std::string p = it->path().string();
        if (::lstat(p.c_str(), &st) != 0) return fail(p + ": cannot be read");
        if (S_ISREG(st.st_mode)) total += uint64_t(st.st_blocks) * 512u;
    }
    if (ec) return fail(ec.message());
    if (size) *size = total;
    return true;
}

}  // namespace qs::NSWorkspace_FileOperations
