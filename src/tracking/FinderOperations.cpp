#include "tracking/FinderOperations.h"

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"

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

// File operations run one at a time, whichever thread asks: a free name chosen for one
// is never taken by another meanwhile.
std::mutex& operationsMutex() {
    static std::mutex m;
    return m;
}

using FolderOperation = desktop::FileOperationResult (*)(const std::vector<std::string>&, const std::string&);

bool runLocked(FolderOperation op, const std::vector<std::string>& paths, const std::string& folder) {
    std::lock_guard lock(operationsMutex());
    return op(paths, folder).ok;
}

bool trashLocked(const std::vector<std::string>& paths) {
    std::lock_guard lock(operationsMutex());
    return desktop::files::moveToTrash(paths).ok;
}

// A folder operation's file paths and target, checked. Answers the operation's result
// when there is nothing to run (no target folder, or no file among the URLs).
std::optional<bool> checkFolderOperation(const std::vector<URLPtr>& urls, const URLPtr& toURL,
                                         std::vector<std::string>& paths, bool& ok) {
    paths = pathsOf(urls, ok);
    if (!toURL || !toURL->isFileURL()) {
        log("a file operation has no target folder");
        return false;
    }
    if (paths.empty()) return ok && urls.empty();
    return std::nullopt;
}

bool run(const std::vector<URLPtr>& urls, const URLPtr& toURL, FolderOperation op) {
    std::vector<std::string> paths;
    bool ok = false;
    if (auto answer = checkFolderOperation(urls, toURL, paths, ok)) return *answer;
    return runLocked(op, paths, toURL->path()) && ok;
}

// One background thread at a time works through the queued operations, in order.
struct OperationQueue {
    std::mutex m;
    std::vector<std::function<void()>> pending;
    bool draining = false;
};

OperationQueue& operationQueue() {
    static OperationQueue queue;
    return queue;
}

void enqueue(std::function<bool()> work, bool touchesTrash, std::function<void(bool)> done) {
    auto& q = operationQueue();
    RunLoop* loop = &RunLoop::main();
    auto task = [loop, work = std::move(work), touchesTrash, done = std::move(done)]() mutable {
        bool ok = false;
        try {
            ok = work();
        } catch (const std::exception& e) {
            log("a file operation failed: ", e.what());
        }
        if (!RunLoop::isLive(loop)) return;
        loop->post([done = std::move(done), ok, touchesTrash] {
            if (touchesTrash) NotificationCenter::defaultCenter().postNotificationName(kTrashNotification);
            if (done) done(ok);
        });
    };
    {
        std::lock_guard lock(q.m);
        q.pending.push_back(std::move(task));
        if (q.draining) return;
        q.draining = true;
    }
    loop->dispatchBackground([&q] {
        for (;;) {
            std::function<void()> next;
            {
                std::lock_guard lock(q.m);
                if (q.pending.empty()) {
                    q.draining = false;
                    return;
                }
                next = std::move(q.pending.front());
                q.pending.erase(q.pending.begin());
            }
            next();
        }
    });
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
    bool moved = trashLocked(paths) && ok;
    // The watcher reports the change too; this makes it visible at once.
    NotificationCenter::defaultCenter().postNotificationName(kTrashNotification);
    return moved;
}

void moveItemsAtURLs(const std::vector<URLPtr>& urls, const URLPtr& toURL, std::function<void(bool)> done) {
    std::vector<std::string> paths;
    bool ok = false;
    if (auto answer = checkFolderOperation(urls, toURL, paths, ok)) {
        if (done) RunLoop::main().post([done, answer = *answer] { done(answer); });
        return;
    }
    enqueue([paths = std::move(paths), folder = toURL->path(), ok] {
        return runLocked(&desktop::files::moveItems, paths, folder) && ok;
    }, false, std::move(done));
}

void moveItemsToTrash(const std::vector<URLPtr>& urls, std::function<void(bool)> done) {
    bool ok = false;
    auto paths = pathsOf(urls, ok);
    if (paths.empty()) {
        if (done) RunLoop::main().post([done] { done(false); });
        return;
    }
    enqueue([paths = std::move(paths), ok] { return trashLocked(paths) && ok; }, true, std::move(done));
}

bool openTrash() {
    auto* services = desktop::fileServices();
    if (services && services->showFolder("trash:///")) return true;
    if (services && services->showFolder(desktop::files::trashFilesDirectory())) return true;
    log("the trash cannot be shown: no file manager answered");
    return false;
}

bool emptyTrash() {
    bool ok = false;
    {
        std::lock_guard lock(operationsMutex());
        ok = desktop::files::emptyTrash().ok;
    }
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
