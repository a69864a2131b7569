#include "platform/sim/SimFiles.h"

#include <atomic>

#include "platform/desktop/UserMessages.h"
#include "platform/foundation/RunLoop.h"

namespace qs::sim {

struct SimFiles::WatchState {
    std::vector<std::string> paths;
    bool subdirectories = false;
    desktop::FileWatchHandler handler;
    std::shared_ptr<std::atomic<bool>> alive = std::make_shared<std::atomic<bool>>(true);
};

namespace {

class SimWatch : public desktop::FileWatch {
public:
    explicit SimWatch(std::shared_ptr<SimFiles::WatchState> state) : state_(std::move(state)) {}
    ~SimWatch() override { state_->alive->store(false); }

private:
    std::shared_ptr<SimFiles::WatchState> state_;
};

bool covers(const SimFiles::WatchState& w, const std::string& path) {
    for (const auto& root : w.paths) {
        if (path == root) return true;
        if (path.size() <= root.size() + 1 || path.compare(0, root.size(), root) != 0 || path[root.size()] != '/')
            continue;
        if (w.subdirectories || path.find('/', root.size() + 1) == std::string::npos) return true;
    }
    return false;
}

}  // namespace

std::unique_ptr<desktop::FileWatch> SimFiles::watchPaths(const std::vector<std::string>& paths, bool subdirectories,
                                                         double, desktop::FileWatchHandler handler) {
    if (paths.empty() || !handler) return nullptr;
    auto state = std::make_shared<WatchState>();
    state->paths = paths;
    state->subdirectories = subdirectories;
    state->handler = std::move(handler);
    std::lock_guard lock(mutex_);
    watches_.push_back(state);
    watched_.push_back(paths);
    return std::make_unique<SimWatch>(state);
}

size_t SimFiles::deliverEvents(const std::vector<desktop::FileEvent>& events) {
    std::vector<std::shared_ptr<WatchState>> live;
    {
        std::lock_guard lock(mutex_);
        for (auto& w : watches_)
            if (auto s = w.lock(); s && s->alive->load()) live.push_back(s);
    }
    size_t given = 0;
    for (auto& w : live) {
        std::vector<desktop::FileEvent> batch;
        for (const auto& e : events)
            if (covers(*w, e.path)) batch.push_back(e);
        if (batch.empty()) continue;
        ++given;
        RunLoop::main().post([alive = w->alive, handler = w->handler, batch] {
            if (alive->load()) handler(batch);
        });
    }
    return given;
}

size_t SimFiles::liveWatchCount() const {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (auto& w : watches_)
        if (auto s = w.lock(); s && s->alive->load()) ++n;
    return n;
}

std::vector<std::vector<std::string>> SimFiles::watchedPaths() const {
    std::lock_guard lock(mutex_);
    return watched_;
}

void SimFiles::setFileManagerAvailable(bool available) {
    std::lock_guard lock(mutex_);
    fileManager_ = available;
}

std::vector<std::string> SimFiles::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

bool SimFiles::record(const std::string& call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(call);
    if (!fileManager_) desktop::noteFailureReason("No file manager runs on this desktop.");
    return fileManager_;
}

bool SimFiles::showItems(const std::vector<std::string>& paths) {
    std::string call = "showItems";
    for (const auto& p : paths) call += " " + p;
    return !paths.empty() && record(call);
}

bool SimFiles::showItemProperties(const std::vector<std::string>& paths) {
    std::string call = "showItemProperties";
    for (const auto& p : paths) call += " " + p;
    return !paths.empty() && record(call);
}

bool SimFiles::showFolder(const std::string& pathOrURI) { return !pathOrURI.empty() && record("showFolder " + pathOrURI); }

}  // namespace qs::sim
