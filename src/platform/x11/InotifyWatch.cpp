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
#include <map>
#include <mutex>
#include <thread>

#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"

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

// One watch as the hub keeps it. The fields after `loop` are the hub's, under its mutex.
struct InotifyWatch::State : std::enable_shared_from_this<InotifyWatch::State> {
    bool subdirectories = false;
    double latency = 0;
    desktop::FileWatchHandler handler;
    std::shared_ptr<std::atomic<bool>> alive = std::make_shared<std::atomic<bool>>(true);
    RunLoop* loop = nullptr;

    bool attached = false;
    std::map<int, std::string> folders;  // watch descriptor -> folder
    std::vector<std::string> roots;
    std::atomic<size_t> watchCount{0};
    bool capLogged = false;
    std::vector<desktop::FileEvent> pending;
    double lastDelivery = -1e9;
};

// The process's one inotify descriptor and its reader thread, shared by every watch. A
// kernel watch descriptor is shared too when two watches reach one folder; it is removed
// when the last of them lets it go.
class InotifyHub {
public:
    using State = InotifyWatch::State;

    // The hub in use, else a new one; nullptr (with a log line) without inotify.
    static std::shared_ptr<InotifyHub> acquire() {
        std::lock_guard lock(currentMutex());
        if (auto hub = current().lock()) return hub;
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
        auto hub = std::shared_ptr<InotifyHub>(new InotifyHub(fd, wake));
        hub->thread_ = std::thread([h = hub.get()] { h->run(); });
        current() = hub;
        return hub;
    }

    static std::shared_ptr<InotifyHub> inUse() {
        std::lock_guard lock(currentMutex());
        return current().lock();
    }

    ~InotifyHub() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake();
        if (thread_.joinable()) thread_.join();
        ::close(fd_);
        ::close(wakeFd_);
    }

    // Watches a root of the watch (main thread); false with a log line when it cannot.
    bool addRoot(State& state, const std::string& path) {
        std::string folder = path.empty() ? "/" : path;
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        // A root that is a symbolic link to a folder is watched where it points.
        std::error_code ec;
        if (!fs::is_directory(folder, ec)) {
            log("cannot watch ", folder, ": not a folder");
            return false;
        }
        std::lock_guard lock(mutex_);
        if (!addLocked(state, folder, kMask & ~uint32_t(IN_DONT_FOLLOW))) return false;
        state.roots.push_back(folder);
        return true;
    }

    // Takes the watch in: its events flow from now on; a tree is scanned on the thread.
    void attach(const std::shared_ptr<State>& state) {
        {
            std::lock_guard lock(mutex_);
            watches_.push_back(state);
            state->attached = true;
            if (state->subdirectories) scans_.push_back(state);
        }
        if (state->subdirectories) wake();
    }

    // Lets the watch go: nothing of it is touched after this returns.
    void detach(State* state) {
        std::lock_guard lock(mutex_);
        std::erase_if(watches_, [&](const std::shared_ptr<State>& s) { return s.get() == state; });
        state->attached = false;
        std::erase_if(scans_, [&](const std::weak_ptr<State>& s) {
            auto locked = s.lock();
            return !locked || locked.get() == state;
        });
        for (const auto& [wd, folder] : state->folders) release(wd, state);
        state->folders.clear();
        state->watchCount = 0;
    }

    size_t kernelWatches() {
        std::lock_guard lock(mutex_);
        return users_.size();
    }

private:
    InotifyHub(int fd, int wakeFd) : fd_(fd), wakeFd_(wakeFd) {}

    static std::mutex& currentMutex() {
        static std::mutex m;
        return m;
    }
    static std::weak_ptr<InotifyHub>& current() {
        static std::weak_ptr<InotifyHub> hub;
        return hub;
    }

    void wake() {
        uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
    }

    // Under the mutex: one folder for the watch (a descriptor the kernel already gave
    // for that folder is shared).
    bool addLocked(State& state, const std::string& folder, uint32_t mask) {
        int wd = ::inotify_add_watch(fd_, folder.c_str(), mask);
        if (wd < 0) {
            log("cannot watch ", folder, ": ", std::strerror(errno));
            return false;
        }
        // The same folder reached twice by one watch (a bind mount, a second root) keeps
        // one descriptor.
        if (state.folders.emplace(wd, folder).second) {
            state.watchCount.fetch_add(1);
            users_[wd].push_back(&state);
        }
        return true;
    }

    void release(int wd, State* state) {
        auto users = users_.find(wd);
        if (users == users_.end()) return;
        std::erase(users->second, state);
        if (users->second.empty()) {
            users_.erase(users);
            ::inotify_rm_watch(fd_, wd);
        }
    }

    bool addFolder(State& state, const std::string& folder) {
        std::lock_guard lock(mutex_);
        if (!state.attached) return false;  // let go meanwhile
        if (state.watchCount.load() >= InotifyWatch::kMaxWatchedFolders) {
            if (!state.capLogged)
                log("watching stops at ", InotifyWatch::kMaxWatchedFolders, " folders; ", folder, " and others go unwatched");
            state.capLogged = true;
            return false;
        }
        return addLocked(state, folder, kMask);
    }

    // On the thread, the mutex not held while the folders are read (a large tree does
    // not hold up the watches being started or let go meanwhile).
    void addTree(const std::shared_ptr<State>& state, const std::string& folder) {
        // Symbolic links are not followed (no loops); unreadable folders are skipped.
        std::error_code ec;
        fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
        if (ec) return;
        for (; it != end && !stopping(); it.increment(ec)) {
            if (ec) {
                ec.clear();
                continue;
            }
            std::error_code sec;
            if (!it->is_symlink(sec) && it->is_directory(sec))
                if (!addFolder(*state, it->path().string())) {
                    if (state->watchCount.load() >= InotifyWatch::kMaxWatchedFolders || !state->alive->load()) return;
                    it.disable_recursion_pending();
                }
        }
    }

    bool stopping() {
        std::lock_guard lock(mutex_);
        return stopping_;
    }

    // Under the mutex: the batch goes to the loop the watch was started for (a loop that
    // has gone, a test's, gets nothing).
    static void deliver(State& state) {
        auto batch = std::move(state.pending);
        state.pending.clear();
        if (batch.empty() || !state.alive->load() || !RunLoop::isLive(state.loop)) return;
        state.loop->post([alive = state.alive, handler = state.handler, batch = std::move(batch)] {
            if (alive->load()) handler(batch);
        });
    }

    // Under the mutex: one event of the kernel, for every watch of its folder.
    void dispatch(const inotify_event& ev, std::vector<std::pair<std::shared_ptr<State>, std::string>>& newFolders) {
        if (ev.mask & IN_Q_OVERFLOW) {
            for (const auto& state : watches_)
                for (const auto& root : state->roots)
                    state->pending.push_back({root, desktop::FileEventMustScanSubDirs});
            return;
        }
        auto users = users_.find(ev.wd);
        if (users == users_.end()) return;
        if (ev.mask & IN_IGNORED) {
            for (State* state : users->second)
                if (state->folders.erase(ev.wd)) state->watchCount.fetch_sub(1);
            users_.erase(users);
            return;
        }
        // The name is the kernel's bytes as they are: newlines and invalid UTF-8 pass
        // through untouched.
        const std::string name = ev.len ? std::string(ev.name, ::strnlen(ev.name, ev.len)) : std::string();
        for (State* state : users->second) {
            auto folder = state->folders.find(ev.wd);
            if (folder == state->folders.end()) continue;
            if (ev.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
                if (std::find(state->roots.begin(), state->roots.end(), folder->second) != state->roots.end())
                    state->pending.push_back({folder->second, desktop::FileEventRootChanged |
                                                                  desktop::FileEventItemRemoved |
                                                                  desktop::FileEventItemIsDir});
                continue;
            }
            const std::string path =
                name.empty() ? folder->second : (folder->second == "/" ? "/" : folder->second + "/") + name;
            const unsigned flags = flagsFor(ev.mask);
            if (!flags) continue;
            if (state->subdirectories && state->attached && (ev.mask & IN_ISDIR) && (ev.mask & (IN_CREATE | IN_MOVED_TO)))
                newFolders.emplace_back(state->shared_from_this(), path);
            state->pending.push_back({path, flags});
        }
    }

    void run() {
        alignas(inotify_event) char buffer[64 * 1024];
        for (;;) {
            // The trees of watches started since, scanned outside the mutex.
            std::vector<std::shared_ptr<State>> scans;
            int timeout = -1;
            {
                std::lock_guard lock(mutex_);
                if (stopping_) return;
                for (auto& weak : scans_)
                    if (auto s = weak.lock()) scans.push_back(s);
                scans_.clear();
                const double now = monotonicSeconds();
                for (const auto& state : watches_) {
                    if (state->pending.empty()) continue;
                    const double left = state->lastDelivery + state->latency - now;
                    const int ms = left <= 0 ? 0 : int(left * 1000) + 1;
                    timeout = timeout < 0 ? ms : std::min(timeout, ms);
                }
            }
            for (const auto& state : scans)
                for (const auto& root : std::vector<std::string>(state->roots)) addTree(state, root);
            if (!scans.empty()) continue;

            pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
            int n = ::poll(fds, 2, timeout);
            if (n < 0) {
                if (errno == EINTR) continue;
                log("folder watching stopped: poll: ", std::strerror(errno));
                return;
            }
            if (fds[1].revents & POLLIN) {
                uint64_t count = 0;
                [[maybe_unused]] auto r = ::read(wakeFd_, &count, sizeof count);
            }
            std::vector<std::pair<std::shared_ptr<State>, std::string>> newFolders;
            if (fds[0].revents & POLLIN) {
                for (;;) {
                    ssize_t len = ::read(fd_, buffer, sizeof buffer);
                    if (len <= 0) break;
                    std::lock_guard lock(mutex_);
                    for (char* p = buffer; p < buffer + len;) {
                        auto* ev = reinterpret_cast<inotify_event*>(p);
                        p += sizeof(inotify_event) + ev->len;
                        dispatch(*ev, newFolders);
                    }
                }
            }
            for (const auto& [state, folder] : newFolders)
                if (addFolder(*state, folder)) addTree(state, folder);
            // The first change after a quiet period goes out at once; later ones are
            // collected until the watch's latency has passed since its last delivery.
            std::lock_guard lock(mutex_);
            const double now = monotonicSeconds();
            for (const auto& state : watches_) {
                if (state->pending.empty() || now - state->lastDelivery < state->latency) continue;
                deliver(*state);
                state->lastDelivery = now;
            }
        }
    }

    int fd_;
    int wakeFd_;
    std::mutex mutex_;
    bool stopping_ = false;
    std::map<int, std::vector<State*>> users_;    // kernel watch descriptor -> the watches using it
    std::vector<std::shared_ptr<State>> watches_;
    std::vector<std::weak_ptr<State>> scans_;     // trees still to be scanned
    std::thread thread_;
};

std::unique_ptr<InotifyWatch> InotifyWatch::start(const std::vector<std::string>& paths, bool subdirectories,
                                                  double latency, desktop::FileWatchHandler handler) {
    if (paths.empty() || !handler) {
        log("a folder watch needs at least one path and a handler");
        return nullptr;
    }
    auto hub = InotifyHub::acquire();
    if (!hub) return nullptr;
    auto state = std::make_shared<State>();
    state->subdirectories = subdirectories;
    state->latency = latency < 0 ? 0 : latency;
    state->handler = std::move(handler);
    state->loop = &RunLoop::main();
    size_t added = 0;
    for (const auto& path : paths)
        if (hub->addRoot(*state, path)) ++added;
    if (added == 0) {
        log("none of the folders can be watched (first: ", paths.front(), ")");
        hub->detach(state.get());
        return nullptr;
    }
    hub->attach(state);
    return std::unique_ptr<InotifyWatch>(new InotifyWatch(std::move(hub), std::move(state)));
}

InotifyWatch::InotifyWatch(std::shared_ptr<InotifyHub> hub, std::shared_ptr<State> state)
    : hub_(std::move(hub)), state_(std::move(state)) {}

InotifyWatch::~InotifyWatch() {
    state_->alive->store(false);
    hub_->detach(state_.get());
}

size_t InotifyWatch::watchedFolderCount() const { return state_->watchCount.load(); }

size_t InotifyWatch::sharedDescriptorCount() { return InotifyHub::inUse() ? 1 : 0; }

size_t InotifyWatch::kernelWatchCount() {
    auto hub = InotifyHub::inUse();
    return hub ? hub->kernelWatches() : 0;
}

}  // namespace qs::x11
