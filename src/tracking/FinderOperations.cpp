#include "tracking/FinderOperations.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/desktop/UserMessages.h"
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

// The system's own words in an operation's error (the part after the path), as a
// sentence for the user: "cannot move /a/b: it does not exist" gives "It does not exist".
std::string systemWords(const std::string& error) {
    std::string why = error;
    if (auto colon = why.rfind(": "); colon != std::string::npos) why = why.substr(colon + 2);
    if (!why.empty()) why[0] = char(std::toupper(static_cast<unsigned char>(why[0])));
    return why;
}

bool trashLocked(const std::vector<std::string>& paths) {
    std::lock_guard lock(operationsMutex());
    auto result = desktop::files::moveToTrash(paths);
    // For the message the caller may show.
    if (!result.ok && !result.error.empty()) desktop::noteFailureReason(systemWords(result.error) + ".");
    return result.ok;
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

// ---------------------------------------------------------------------------------
// Files dropped on a folder

std::optional<DropAction> DropPlan::operation() const {
    if (items.empty()) return std::nullopt;
    for (const auto& item : items)
        if (item.second == DropAction::Copy) return DropAction::Copy;
    return DropAction::Move;
}

DropPlan planDrop(const std::vector<URLPtr>& urls, const URLPtr& folderURL) {
    DropPlan plan;
    bool ok = false;
    const std::vector<std::string> paths = pathsOf(urls, ok);
    plan.folder = folderURL && folderURL->isFileURL() ? folderURL->path() : std::string();
    const std::string folderName = desktop::quotedName(plan.folder);
    auto refuseAll = [&](const std::string& why) {
        for (const auto& path : paths) plan.refused.emplace_back(path, why);
    };
    struct stat folder {};
    if (plan.folder.empty() || ::stat(plan.folder.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
        refuseAll(folderName + " is no longer there.");
        return plan;
    }
    if (::access(plan.folder.c_str(), W_OK | X_OK) != 0) {
        refuseAll(folderName + " cannot be changed: you may not put files into it.");
        return plan;
    }
    plan.items.reserve(paths.size());
    for (const auto& path : paths) {
        struct stat item {};
        std::error_code ec;
        if (::lstat(path.c_str(), &item) != 0) {
            plan.refused.emplace_back(path, "It is no longer there.");
        } else if (S_ISDIR(item.st_mode) && desktop::files::isSameOrInside(plan.folder, path)) {
            plan.refused.emplace_back(path, "A folder cannot be put into itself.");
        } else if (std::filesystem::equivalent(std::filesystem::path(path).parent_path(), plan.folder, ec)) {
            plan.refused.emplace_back(path, "It is already in " + folderName + ".");
        } else {
            // A symbolic link moves as itself: its own file system decides.
            plan.items.emplace_back(path, item.st_dev == folder.st_dev ? DropAction::Move : DropAction::Copy);
        }
    }
    return plan;
}

namespace {

// Why a planned move or copy failed, for the user: the file went away meanwhile, or the
// system's own words (the part after the path in the operation's error).
std::string failureReason(DropAction action, const std::string& path, const std::string& error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return action == DropAction::Copy ? "It went away while it was being copied." : "It went away before it could be moved.";
    const std::string why = systemWords(error);
    return std::string(action == DropAction::Copy ? "It could not be copied" : "It could not be moved") +
           (why.empty() ? "." : ": " + why + ".");
}

}  // namespace

void dropItemsIntoFolder(const std::vector<URLPtr>& urls, const URLPtr& folder,
                         std::function<void(const DropOutcome&)> done) {
    auto outcome = std::make_shared<DropOutcome>();
    enqueue(
        [urls, folder, outcome] {
            // Planned again here: the files or the folder may have changed since the drop.
            DropPlan plan = planDrop(urls, folder);
            outcome->folder = plan.folder;
            outcome->failed = std::move(plan.refused);
            for (const auto& [path, action] : plan.items) {
                // One file at a time, so that other operations are not held up by a large drop.
                desktop::FileOperationResult result;
                {
                    std::lock_guard lock(operationsMutex());
                    result = action == DropAction::Move ? desktop::files::moveItems({path}, plan.folder)
                                                        : desktop::files::copyItems({path}, plan.folder);
                }
                if (result.ok)
                    ++(action == DropAction::Move ? outcome->moved : outcome->copied);
                else
                    outcome->failed.emplace_back(path, failureReason(action, path, result.error));
            }
            return outcome->failed.empty();
        },
        false, [outcome, done = std::move(done)](bool) {
            if (done) done(*outcome);
        });
}

namespace {

// Moves each file to the trash, noting what went and what failed. Unless the caller
// holds the operations' lock, it is taken per file, so that other operations are not held
// up by a large drop.
void trashEach(const std::vector<std::string>& paths, DropOutcome& outcome, bool locked) {
    for (const auto& path : paths) {
        desktop::FileOperationResult result;
        if (locked) {
            result = desktop::files::moveToTrash({path});
        } else {
            std::lock_guard lock(operationsMutex());
            result = desktop::files::moveToTrash({path});
        }
        if (result.ok) ++outcome.moved;
        else outcome.failed.emplace_back(path, failureReason(DropAction::Move, path, result.error));
    }
}

}  // namespace

TrashDrop dropItemsIntoTrash(const std::vector<URLPtr>& urls, std::function<void(const DropOutcome&)> done) {
    TrashDrop drop;
    const std::string trash = desktop::files::trashDirectory();
    drop.now.folder = trash;
    bool ok = false;
    const std::vector<std::string> paths = pathsOf(urls, ok);
    std::error_code ec;
    std::filesystem::create_directories(desktop::files::trashFilesDirectory(), ec);
    struct stat trashStat {};
    const bool trashThere = ::stat(trash.c_str(), &trashStat) == 0;
    std::vector<std::string> now, later;
    for (const auto& path : paths) {
        struct stat item {};
        const std::string parent = std::filesystem::path(path).parent_path().string();
        if (::lstat(path.c_str(), &item) != 0)
            drop.now.failed.emplace_back(path, "It is no longer there.");
        else if (desktop::files::isSameOrInside(trash, path))
            drop.now.failed.emplace_back(path, "It is already in the Trash.");
        else if (desktop::files::isSameOrInside(path, trash))
            drop.now.failed.emplace_back(path, "The Trash is inside it.");
        else if (::access(parent.c_str(), W_OK | X_OK) != 0)
            drop.now.failed.emplace_back(path, "It cannot be removed from " + desktop::quotedName(parent) + ".");
        else
            (trashThere && item.st_dev == trashStat.st_dev ? now : later).push_back(path);
    }
    // Renamed now only while no other operation runs and the drop is small; a drop never
    // waits for a long copy.
    std::unique_lock lock(operationsMutex(), std::try_to_lock);
    if (!lock.owns_lock() || now.size() > kTrashNowLimit) {
        later.insert(later.begin(), now.begin(), now.end());
        now.clear();
    }
    if (!now.empty()) {
        trashEach(now, drop.now, true);
        lock.unlock();
        NotificationCenter::defaultCenter().postNotificationName(kTrashNotification);
    }
    if (lock.owns_lock()) lock.unlock();
    drop.queued = later.size();
    if (!later.empty()) {
        auto outcome = std::make_shared<DropOutcome>();
        outcome->folder = trash;
        enqueue(
            [later = std::move(later), outcome] {
                trashEach(later, *outcome, false);
                return outcome->failed.empty();
            },
            true, [outcome, done = std::move(done)](bool) {
                if (done) done(*outcome);
            });
    }
    return drop;
}

std::optional<desktop::UserMessage> messageForDrop(const DropOutcome& outcome) {
    const auto& failed = outcome.failed;
    if (failed.empty()) return std::nullopt;
    const std::string folder = desktop::quotedName(outcome.folder);
    const size_t total = outcome.moved + outcome.copied + failed.size();
    desktop::UserMessage message;
    if (failed.size() == 1)
        message.text = desktop::quotedName(failed.front().first) + " could not be put into " + folder + ".";
    else if (failed.size() == total)
        message.text = "None of the " + std::to_string(total) + " items could be put into " + folder + ".";
    else
        message.text = std::to_string(failed.size()) + " of the " + std::to_string(total) +
                       " items could not be put into " + folder + ".";
    const bool oneReason = std::all_of(failed.begin(), failed.end(),
                                       [&](const auto& f) { return f.second == failed.front().second; });
    if (failed.size() == 1 || oneReason) {
        message.informativeText = failed.front().second;
        return message;
    }
    constexpr size_t kListed = 3;
    for (size_t i = 0; i < failed.size() && i < kListed; ++i) {
        if (i) message.informativeText += "\n";
        message.informativeText += desktop::quotedName(failed[i].first) + ": " + failed[i].second;
    }
    if (failed.size() > kListed)
        message.informativeText += "\n... and " + std::to_string(failed.size() - kListed) + " more.";
    return message;
}

bool openTrash() {
    auto* services = desktop::fileServices();
    if (services && services->showFolder("trash:///")) return true;
    if (services && services->showFolder(desktop::files::trashFilesDirectory())) return true;
    log("the trash cannot be shown: no file manager answered");
    desktop::tellUserItFailed("The Trash could not be opened.");
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
