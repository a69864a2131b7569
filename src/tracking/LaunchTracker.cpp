#include "tracking/LaunchTracker.h"

#include <filesystem>
#include <memory>

#include "platform/desktop/Workspace.h"

namespace qs {

namespace {
// Never destroyed at exit: the notification centres it observes may be gone by then.
LaunchTracker*& instance() {
    static LaunchTracker* tracker = nullptr;
    return tracker;
}
}  // namespace

LaunchTracker& LaunchTracker::shared() {
    auto& t = instance();
    if (!t) t = new LaunchTracker();
    return *t;
}

void LaunchTracker::resetSharedForTesting() {
    delete instance();
    instance() = nullptr;
}

LaunchTracker::LaunchTracker() {
    launchObserver_ = NotificationCenter::workspaceCenter().addObserver(
        this, NSWorkspaceDidLaunchApplicationNotification, nullptr,
        [this](const Notification& note) { applicationDidLaunch(note); });
}

LaunchTracker::~LaunchTracker() {
    NotificationCenter::workspaceCenter().removeObserver(launchObserver_);
    for (auto& [path, mark] : launching_)
        if (mark.timeout && RunLoop::isLive(mark.loop)) mark.loop->cancel(mark.timeout);
}

bool LaunchTracker::sameEntry(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    if (a == b) return true;
    return std::filesystem::path(a).filename() == std::filesystem::path(b).filename();
}

void LaunchTracker::markLaunching(const std::string& bundlePath) {
    if (bundlePath.empty()) return;
    auto& mark = launching_[bundlePath];
    if (mark.timeout && RunLoop::isLive(mark.loop)) mark.loop->cancel(mark.timeout);
    mark.loop = &RunLoop::main();
    mark.timeout = mark.loop->after(kLaunchTimeout, [this, bundlePath] {
        auto it = launching_.find(bundlePath);
        if (it == launching_.end()) return;
        it->second.timeout = 0;
        endLaunching(bundlePath);
    });
    post(bundlePath);
}

bool LaunchTracker::isLaunching(const std::string& bundlePath) const {
    for (const auto& [path, mark] : launching_)
        if (sameEntry(path, bundlePath)) return true;
    return false;
}

void LaunchTracker::endLaunching(const std::string& bundlePath) {
    bool ended = false;
    for (auto it = launching_.begin(); it != launching_.end();) {
        if (!sameEntry(it->first, bundlePath)) {
            ++it;
            continue;
        }
        if (it->second.timeout && RunLoop::isLive(it->second.loop)) it->second.loop->cancel(it->second.timeout);
        std::string path = it->first;
        it = launching_.erase(it);
        post(path);
        ended = true;
    }
    (void)ended;
}

void LaunchTracker::applicationDidLaunch(const Notification& note) {
    if (launching_.empty()) return;
    auto it = note.userInfo.find(NSWorkspaceApplicationKey);
    if (it == note.userInfo.end()) return;
    auto app = it->second.objectAs<RunningApplication>();
    if (!app) return;
    auto url = app->bundleURL();
    if (url) endLaunching(url->path());
}

void LaunchTracker::post(const std::string& bundlePath) {
    NotificationCenter::defaultCenter().postNotificationName(kLaunchingChangedNotification, {},
                                                             Dictionary{{"path", Value(bundlePath)}});
}

}  // namespace qs
