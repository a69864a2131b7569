#include "tracking/AppMonitoringService.h"

#include "platform/desktop/Desktop.h"

namespace qs {

namespace {
std::shared_ptr<AppMonitoringService>& instanceSlot() {
    static std::shared_ptr<AppMonitoringService> instance;
    return instance;
}

RunningApplicationPtr applicationOf(const Notification& note) {
    auto it = note.userInfo.find(NSWorkspaceApplicationKey);
    return it == note.userInfo.end() ? nullptr : it->second.objectAs<RunningApplication>();
}
}  // namespace

std::shared_ptr<AppMonitoringService> AppMonitoringService::sharedInstance() {
    auto& slot = instanceSlot();
    if (!slot) {
        slot = std::make_shared<AppMonitoringService>();
        slot->init();
    }
    return slot;
}

bool AppMonitoringService::hasSharedInstance() { return static_cast<bool>(instanceSlot()); }
void AppMonitoringService::releaseSharedInstance() { instanceSlot().reset(); }

AppMonitoringService::~AppMonitoringService() {
    auto& center = NotificationCenter::workspaceCenter();
    if (launchObserver_) center.removeObserver(launchObserver_);
    if (terminateObserver_) center.removeObserver(terminateObserver_);
    for (auto& [pid, app] : appsCache_) app->stopMonitoring();
}

void AppMonitoringService::init() {
    fill();
    std::weak_ptr<AppMonitoringService> weak = std::static_pointer_cast<AppMonitoringService>(shared_from_this());
    auto& center = NotificationCenter::workspaceCenter();
    launchObserver_ = center.addObserver(this, NSWorkspaceDidLaunchApplicationNotification, nullptr,
                                         [weak](const Notification& note) {
                                             auto self = weak.lock();
                                             auto app = applicationOf(note);
                                             if (!self || !app || !Persistent::isManageable(*app)) return;
                                             // Told again of a process already tracked (it became a
                                             // regular application): its tracking goes on.
                                             auto cached = self->cachedApplicationForProcessIdentifier(
                                                 app->processIdentifier());
                                             if (cached && cached->isEqual(app.get()) && cached->isMonitoring()) return;
                                             self->addApplication(app);
                                         });
    terminateObserver_ = center.addObserver(this, NSWorkspaceDidTerminateApplicationNotification, nullptr,
                                            [weak](const Notification& note) {
                                                auto self = weak.lock();
                                                if (self) self->removeApplication(applicationOf(note));
                                            });
}

void AppMonitoringService::fill() {
    auto* workspace = desktop::services().workspace.get();
    if (!workspace) return;
    auto current = workspace->currentApplication();
    for (const auto& app : workspace->runningApplications()) {
        if (!app || app->activationPolicy() != NSApplicationActivationPolicyRegular) continue;
        if (current && app->isEqual(current.get())) continue;
        if (!Persistent::isManageable(*app)) continue;
        if (appsCache_.count(app->processIdentifier())) continue;
        addApplication(app);
    }
}

RunningApplicationExPtr AppMonitoringService::getCachedApplicationExForApplication(const RunningApplicationPtr& app) {
    // An application the dock does not manage is never tracked (a launch lets it into
    // the dock until the next refresh, and the dock asks for its windows meanwhile).
    if (!app || !Persistent::isManageable(*app)) return nullptr;
    auto found = cachedApplicationForProcessIdentifier(app->processIdentifier());
    if (!found || !found->isEqual(app.get())) {
        // Not cached yet, or cached for an earlier process that had the identifier.
        if (app->isTerminated()) return nullptr;
        addApplication(app);
        found = cachedApplicationForProcessIdentifier(app->processIdentifier());
        if (!found || !found->isEqual(app.get())) return nullptr;
    }
    if (!found->hasWindowList()) found->initWindowsMonitoring();
    return found;
}

void AppMonitoringService::addApplication(const RunningApplicationPtr& app) {
    if (!app) return;
    auto made = RunningApplicationEx::runningApplicationWithProcessIdentifier(app->processIdentifier());
    if (!made) return;  // the process has ended
    made->initWindowsMonitoring();
    auto& slot = appsCache_[made->processIdentifier()];
    if (slot) slot->stopMonitoring();
    slot = made;
}

void AppMonitoringService::removeApplication(const RunningApplicationPtr& app) {
    if (!app) return;
    auto it = appsCache_.find(app->processIdentifier());
    if (it == appsCache_.end() || !it->second->isEqual(app.get())) return;
    auto gone = it->second;
    appsCache_.erase(it);
    gone->stopMonitoring();
}

RunningApplicationExPtr AppMonitoringService::cachedApplicationForProcessIdentifier(desktop::Pid pid) const {
    auto it = appsCache_.find(pid);
    return it == appsCache_.end() ? nullptr : it->second;
}

// ---- AppModel ------------------------------------------------------------------------------

std::shared_ptr<AppModel> AppModel::initWithApp(const RunningApplicationExPtr& app) {
    auto model = std::make_shared<AppModel>();
    model->setApp(app);
    return model;
}

void AppModel::setWindows(std::vector<SIWindowPtr> windows) {
    willChangeValueForKey("windows");
    windows_ = std::move(windows);
    didChangeValueForKey("windows");
}

void AppModel::setApp(const RunningApplicationExPtr& app) {
    app_ = app;
    setWindows(app ? app->windows() : std::vector<SIWindowPtr>());
}

void AppModel::removeWindowsAtIndex(int64_t index) {
    willChangeValueForKey("windows");
    if (index >= 0 && uint64_t(index) < windows_.size()) windows_.erase(windows_.begin() + index);
    didChangeValueForKey("windows");
}

}  // namespace qs

namespace qs::Persistent {

bool isManageable(const RunningApplication& app) {
    const std::string& id = app.bundleIdentifier();
    for (const char* prefix : {"com.apple.dashboard", "com.apple.loginwindow", "com.apple.dock"})
        if (id.rfind(prefix, 0) == 0) return false;
    const std::string& name = app.localizedName();
    return name != "coreautha" && name != "Dock";
}

bool isAgent(const RunningApplication& app) {
    auto bundle = app.bundleURL();
    auto* workspace = desktop::services().workspace.get();
    if (!bundle || !workspace) return false;
    auto entry = workspace->entryAtPath(bundle->path());
    return entry && entry->noDisplay;
}

}  // namespace qs::Persistent
