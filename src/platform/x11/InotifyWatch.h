#pragma once
// Folder watching on inotify. Every watch of the process shares one inotify descriptor
// and one reader thread that sleeps in poll(2) until the kernel has something to say, so
// an idle watch costs no CPU, and a dock of thousands of folders costs one kernel watch
// per folder rather than a descriptor and a thread each (the kernel allows a user only
// 128 inotify descriptors by default). The descriptor and the thread exist while some
// watch does. Each watch has its own latency; its batches are handed to the run loop it
// was started on; a destroyed watch delivers nothing more.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/FileServices.h"

namespace qs::x11 {

class InotifyHub;

class InotifyWatch : public desktop::FileWatch {
public:
    // nullptr (with a log line) when none of the paths can be watched.
    static std::unique_ptr<InotifyWatch> start(const std::vector<std::string>& paths, bool subdirectories,
                                               double latency, desktop::FileWatchHandler handler);
    ~InotifyWatch() override;

    // The folders watched right now (roots and, with subdirectories, the tree below).
    size_t watchedFolderCount() const;

    // A tree holds at most this many watched folders; deeper folders go unwatched
    // (with one log line), so watching "/" cannot exhaust the kernel's watches.
    static constexpr size_t kMaxWatchedFolders = 8192;

    // What the process's watches use now: inotify descriptors (0 or 1) and kernel watches.
    static size_t sharedDescriptorCount();
    static size_t kernelWatchCount();

    struct State;

private:
    InotifyWatch(std::shared_ptr<InotifyHub> hub, std::shared_ptr<State> state);

    std::shared_ptr<InotifyHub> hub_;
    std::shared_ptr<State> state_;
};

}  // namespace qs::x11
