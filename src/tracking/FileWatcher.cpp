#include "tracking/FileWatcher.h"

#include <sys/stat.h>

#include <set>

#include "platform/desktop/Desktop.h"
#include "platform/foundation/Log.h"

namespace qs {

namespace {

std::weak_ptr<FileWatcher>& currentWatcher() {
    static std::weak_ptr<FileWatcher> watcher;
    return watcher;
}

std::string lastComponent(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool pathExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

std::shared_ptr<FileWatcher> FileWatcher::initWithBlock(Block block) {
    auto watcher = std::make_shared<FileWatcher>();
    watcher->callbackBlock_ = std::move(block);
    currentWatcher() = watcher;
    return watcher;
}

std::shared_ptr<FileWatcher> FileWatcher::init() {
    return initWithBlock([](Dictionary&, long) {});
}

std::shared_ptr<FileWatcher> FileWatcher::current() { return currentWatcher().lock(); }

FileWatcher::~FileWatcher() {
    close();
    callbackBlock_ = nullptr;
}

void FileWatcher::openEventStream(const std::vector<std::string>& paths, double latency) {
    close();
    auto* files = desktop::services().files.get();
    if (!files) {
        log("no file services: the file watcher cannot open its stream");
        return;
    }
    std::vector<std::string> watched = paths.empty() ? std::vector<std::string>{"/"} : paths;
    eventStream_ = files->watchPaths(watched, true, latency, &FileWatcher::handleEvents);
}

void FileWatcher::close() { eventStream_.reset(); }

long FileWatcher::codeForStatus(const std::string& status) {
    if (status == "created") return kCreated;
    if (status == "removed") return kRemoved;
    if (status == "renamed") return kRenamed;
    return kOther;
}

bool FileWatcher::_moreDictHandle(const Dictionary& changes) {
    std::set<std::string> values;
    for (const auto& [path, status] : changes) values.insert(status.stringValue());
    return values.size() == 1;
}

std::string FileWatcher::_getMoreOperationStatus(const Dictionary& changes) {
    return changes.empty() ? std::string() : changes.begin()->second.stringValue();
}

void FileWatcher::judgeFileStatus(Dictionary& changes) {
    if (changes.empty()) return;
    long code = codeForStatus(_getMoreOperationStatus(changes));
    if (callbackBlock_) callbackBlock_(changes, code);
    changes.clear();
}

void FileWatcher::handleEvents(const std::vector<desktop::FileEvent>& events) {
    auto watcher = current();
    if (!watcher) return;
    for (const auto& event : events) {
        const std::string& path = event.path;
        if (lastComponent(path) == ".DS_Store" || path.find(".sb") != std::string::npos ||
            path.find("~.") != std::string::npos)
            continue;
        std::string status;
        // A path that no longer exists counts as removed, whatever the event said.
        if ((event.flags & desktop::FileEventItemRemoved) || !pathExists(path))
            status = "removed";
        else if (event.flags & desktop::FileEventItemCreated)
            status = "created";
        else if (event.flags & desktop::FileEventItemRenamed)
            status = "renamed";
        else
            continue;
        watcher->mDict_[path] = Value(status);
    }
    RunLoop::main().after(0.5, [] {
        if (auto w = current()) w->judgeFileStatus(w->mDict_);
    });
}

}  // namespace qs
