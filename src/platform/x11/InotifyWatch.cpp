#include "platform/x11/InotifyWatch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "platform/foundation/Log.h"

namespace fs = std::filesystem;

namespace qs::x11 {

namespace {

constexpr uint32_t kMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB |
                           IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;

double monotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

unsigned flagsFor(uint32_t mask) {
    unsigned flags = 0;
    if (mask & IN_CREATE) flags |= desktop::FileEventItemCreated;
    if (mask & IN_DELETE) flags |= desktop::FileEventItemRemoved;
    if (mask & (IN_MOVED_FROM | IN_MOVED_TO)) flags |= desktop::FileEventItemRenamed;
    if (mask & (IN_CLOSE_WRITE | IN_ATTRIB)) flags |= desktop::FileEventItemModified;
    if (mask & IN_ISDIR) flags |= desktop::FileEventItemIsDir;
    return flags;
}

}  // namespace

std::unique_ptr<InotifyWatch> InotifyWatch::start(const std::vector<std::string>& paths, bool subdirectories,
                                                  double latency, desktop::FileWatchHandler handler) {
    if (paths.empty() || !handler) {
        log("a folder watch needs at least one path and a handler");
        return nullptr;
    }
    int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        log("folder watching is not available: inotify_init1: ", std::strerror(errno));
        return nullptr;
    }
    int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) {
        log("folder watching is not available: eventfd: ", std::strerror(errno));
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<InotifyWatch> watch(new InotifyWatch(fd, wake, subdirectories, latency, std::move(handler)));
    size_t added = 0;
    for (const auto& path : paths)
        if (watch->addRoot(path)) ++added;
    if (added == 0) {
        log("none of the folders can be watched (first: ", paths.front(), ")");
        return nullptr;  // the destructor closes the descriptors; no thread runs yet
    }
    watch->thread_ = std::thread([w = watch.get()] { w->run(); });
    return watch;
}

InotifyWatch::InotifyWatch(int fd, int wakeFd, bool subdirectories, double latency,
                           desktop::FileWatchHandler handler)
    : fd_(fd),
      wakeFd_(wakeFd),
      subdirectories_(subdirectories),
      latency_(latency < 0 ? 0 : latency),
      handler_(std::move(handler)),
      alive_(std::make_shared<std::atomic<bool>>(true)),
      loop_(&RunLoop::main()) {}

InotifyWatch::~InotifyWatch() {
    alive_->store(false);
    if (thread_.joinable()) {
        uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
    ::close(fd_);
    ::close(wakeFd_);
}

bool InotifyWatch::addFolder(const std::string& folder) {
    if (watchCount_.load() >= kMaxWatchedFolders) {
        if (!capLogged_) log("watching stops at ", kMaxWatchedFolders, " folders; ", folder, " and others go unwatched");
        capLogged_ = true;
        return false;
    }
    int wd = ::inotify_add_watch(fd_, folder.c_str(), kMask);
    if (wd < 0) {
        log("cannot watch ", folder, ": ", std::strerror(errno));
        return false;
    }
    // The same folder reached twice (a bind mount, a second root) keeps one descriptor.
    if (folders_.emplace(wd, folder).second) watchCount_.fetch_add(1);
    return true;
}

bool InotifyWatch::addRoot(const std::string& path) {
    std::string folder = path.empty() ? "/" : path;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    // A root that is a symbolic link to a folder is watched where it points.
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        log("cannot watch ", folder, ": not a folder");
        return false;
    }
    int wd = ::inotify_add_watch(fd_, folder.c_str(), kMask & ~uint32_t(IN_DONT_FOLLOW));
    if (wd < 0) {
        log("cannot watch ", folder, ": ", std::strerror(errno));
        return false;
    }
    if (folders_.emplace(wd, folder).second) watchCount_.fetch_add(1);
    roots_.push_back(folder);
    return true;
}

void InotifyWatch::addTree(const std::string& folder) {
    // Symbolic links are not followed (no loops); unreadable folders are skipped.
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
    if (ec) return;
    for (; it != end && alive_->load(); it.increment(ec)) {
        if (ec) {
            ec.clear();
            continue;
        }
        std::error_code sec;
        if (!it->is_symlink(sec) && it->is_directory(sec))
            if (!addFolder(it->path().string())) {
                if (watchCount_.load() >= kMaxWatchedFolders) return;
                it.disable_recursion_pending();
            }
    }
}

void InotifyWatch::deliver(std::vector<desktop::FileEvent> batch) {
    if (batch.empty() || !alive_->load()) return;
    // The loop the watch was started for; a loop that has gone (a test's) gets nothing.
    if (!RunLoop::isLive(loop_)) return;
    loop_->post([alive = alive_, handler = handler_, batch = std::move(batch)] {
        if (alive->load()) handler(batch);
    });
}

void InotifyWatch::run() {
    if (subdirectories_)
        for (const auto& root : std::vector<std::string>(roots_)) addTree(root);

    alignas(inotify_event) char buffer[64 * 1024];
    std::vector<desktop::FileEvent> pending;
    double lastDelivery = -1e9;
    while (alive_->load()) {
        int timeout = -1;
        if (!pending.empty()) {
            double left = lastDelivery + latency_ - monotonicSeconds();
            timeout = left <= 0 ? 0 : int(left * 1000) + 1;
        }
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        int n = ::poll(fds, 2, timeout);
        if (n < 0) {
            if (errno == EINTR) continue;
            log("folder watch stopped: poll: ", std::strerror(errno));
            return;
        }
        if (!alive_->load() || (fds[1].revents & POLLIN)) return;
        if (fds[0].revents & POLLIN) {
            for (;;) {
                ssize_t len = ::read(fd_, buffer, sizeof buffer);
                if (len <= 0) break;
                for (char* p = buffer; p < buffer + len;) {
                    auto* ev = reinterpret_cast<inotify_event*>(p);
                    p += sizeof(inotify_event) + ev->len;
                    if (ev->mask & IN_Q_OVERFLOW) {
                        for (const auto& root : roots_) pending.push_back({root, desktop::FileEventMustScanSubDirs});
                        continue;
                    }
                    auto folder = folders_.find(ev->wd);
                    if (folder == folders_.end()) continue;
                    if (ev->mask & IN_IGNORED) {
                        folders_.erase(folder);
                        watchCount_.fetch_sub(1);
                        continue;
                    }
                    if (ev->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
                        bool isRoot = std::find(roots_.begin(), roots_.end(), folder->second) != roots_.end();
                        if (isRoot) {
                            pending.push_back({folder->second, desktop::FileEventRootChanged |
                                                                   desktop::FileEventItemRemoved |
                                                                   desktop::FileEventItemIsDir});
                            }
                        continue;
                    }
                    // The name is the kernel's bytes as they are: newlines and invalid
                    // UTF-8 pass through untouched.
                    std::string name = ev->len ? std::string(ev->name, ::strnlen(ev->name, ev->len)) : std::string();
                    std::string path = name.empty() ? folder->second
                                                    : (folder->second == "/" ? "/" : folder->second + "/") + name;
                    unsigned flags = flagsFor(ev->mask);
                    if (!flags) continue;
                    if (subdirectories_ && (ev->mask & IN_ISDIR) && (ev->mask & (IN_CREATE | IN_MOVED_TO)))
                        if (addFolder(path)) addTree(path);
                    pending.push_back({path, flags});
                }
            }
        }
        // The first change after a quiet period goes out at once; later ones are
        // collected until `latency` has passed since the last delivery.
        double now = monotonicSeconds();
        if (!pending.empty() && now - lastDelivery >= latency_) {
            deliver(std::move(pending));
            pending.clear();
            lastDelivery = now;
        }
    }
}

}  // namespace qs::x11
