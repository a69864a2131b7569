#pragma once
// Folder watching on inotify. One watch owns one inotify descriptor and one reader
// thread that sleeps in poll(2) until the kernel has something to say, so an idle watch
// costs no CPU. Batches are handed to the main run loop; a destroyed watch delivers
// nothing more.

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/desktop/FileServices.h"
#include "platform/foundation/RunLoop.h"

namespace qs::x11 {

class InotifyWatch : public desktop::FileWatch {
public:
    // nullptr (with a log line) when none of the paths can be watched.
    static std::unique_ptr<InotifyWatch> start(const std::vector<std::string>& paths, bool subdirectories,
                                               double latency, desktop::FileWatchHandler handler);
    ~InotifyWatch() override;

    // The folders watched right now (roots and, with subdirectories, the tree below).
    size_t watchedFolderCount() const { return watchCount_.load(); }

    // A tree holds at most this many watched folders; deeper folders go unwatched
    // (with one log line), so watching "/" cannot exhaust the kernel's watches.
    static constexpr size_t kMaxWatchedFolders = 8192;

private:
    InotifyWatch(int fd, int wakeFd, bool subdirectories, double latency, desktop::FileWatchHandler handler);
    bool addRoot(const std::string& path);
    void addTree(const std::string& folder);
    bool addFolder(const std::string& folder);
    void run();
    void deliver(std::vector<desktop::FileEvent> batch);

    int fd_;
    int wakeFd_;
    bool subdirectories_;
    double latency_;
    desktop::FileWatchHandler handler_;
    std::shared_ptr<std::atomic<bool>> alive_;
    RunLoop* loop_;
    std::map<int, std::string> folders_;  // watch descriptor -> folder; reader thread only after start
    std::vector<std::string> roots_;
    std::atomic<size_t> watchCount_{0};
    bool capLogged_ = false;
    std::thread thread_;
};

}  // namespace qs::x11
