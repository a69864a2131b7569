#include "tracking/FinderOperations.h"

#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "platform/foundation/Log.h"

namespace qs::FileOperations {

namespace {

std::vector<std::string> pathsOf(const std::vector<URLPtr>& urls, bool& ok) {
    std::vector<std::string> paths;
    ok = true;
    for (const auto& url : urls) {
        if (!url || !url->isFileURL() || url->path().empty()) {
            log("a file operation was given something that is not a file: ", url ? url->absoluteString() : "nil");
            ok = false;
            continue;
        }
        paths.push_back(url->path());
    }
    return paths;
}

bool run(const std::vector<URLPtr>& urls, const URLPtr& toURL,
         desktop::FileOperationResult (*op)(const std::vector<std::string>&, const std::string&)) {
    bool ok = false;
    auto paths = pathsOf(urls, ok);
    if (!toURL || !toURL->isFileURL()) {
        log("a file operation has no target folder");
        return false;
    }
    if (paths.empty()) return ok && urls.empty();
    return op(paths, toURL->path()).ok && ok;
}

struct TrashWatcher {
    std::string folder;
    std::unique_ptr<desktop::FileWatch> watch;
};

TrashWatcher& trashWatcher() {
    static TrashWatcher watcher;
    return watcher;
}

void startTrashWatcher() {
    auto& w = trashWatcher();
    const std::string folder = desktop::files::trashFilesDirectory();
    if (w.watch && w.folder == folder) return;
    auto* services = desktop::fileServices();
    if (!services) return;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::filesystem::create_directories(desktop::files::trashDirectory() + "/info", ec);
    ::chmod(desktop::files::trashDirectory().c_str(), 0700);
    w.folder = folder;
    w.watch = services->watchPaths({folder}, false, 1.0, [](const std::vector<desktop::FileEvent>& events) {
        for (size_t i = 0; i < events.size(); ++i)
            NotificationCenter::defaultCenter().postNotificationName(kTrashNotification);
    });
    if (!w.watch) log("the trash folder ", folder, " cannot be watched; the trash icon follows it only on changes made here");
}

}  // namespace

bool copyItemsAtURLs(const std::vector<URLPtr>& urls, const URLPtr& toURL) {
    return run(urls, toURL, &desktop::files::copyItems);
}
bool moveItemsAtURLs(const std::vector<URLPtr>& urls, const URLPtr& toURL) {
    return run(urls, toURL, &desktop::files::moveItems);
}
bool aliasItemsAtURLs(const std::vector<URLPtr>& urls, const URLPtr& toURL) {
    return run(urls, toURL, &desktop::files::aliasItems);
}

bool moveItemsToTrash(const std::vector<URLPtr>& urls) {
    bool ok = false;
    auto paths = pathsOf(urls, ok);
    if (paths.empty()) return false;
    bool moved = desktop::files::moveToTrash(paths).ok && ok;
    // The watcher reports the change too; this makes it visible at once.
    NotificationCenter::defaultCenter().postNotificationName(kTrashNotification);
    return moved;
}

bool openTrash() {
    auto* services = desktop::fileServices();
    if (services && services->showFolder("trash:///")) return true;
    if (services && services->showFolder(desktop::files::trashFilesDirectory())) return true;
    log("the trash cannot be shown: no file manager answered");
    return false;
}

bool emptyTrash() {
    bool ok = desktop::files::emptyTrash().ok;
    NotificationCenter::defaultCenter().postNotificationName(kTrashNotification);
    return ok;
}

std::string trashPath() { return desktop::files::trashDirectory(); }

bool isTrashFull() { return desktop::files::trashHasItems(); }

NotificationCenter::ObserverToken addTrashObserver(const void* observer, NotificationCenter::Handler handler) {
    startTrashWatcher();
    return NotificationCenter::defaultCenter().addObserver(observer, kTrashNotification, nullptr, std::move(handler));
}

void removeTrashObserver(const void* observer) {
    NotificationCenter::defaultCenter().removeObserver(observer, kTrashNotification);
}

}  // namespace qs::FileOperations
