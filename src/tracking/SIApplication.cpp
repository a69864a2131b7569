#include "tracking/SIApplication.h"

#include <algorithm>
#include <set>

#include "platform/desktop/Desktop.h"
#include "platform/foundation/NotificationCenter.h"
#include "tracking/SIWindow.h"

namespace qs {

namespace {
constexpr size_t kWindowLimit = 100;

struct CacheRegistry {
    std::mutex mutex;
    std::map<desktop::Pid, std::shared_ptr<SIImageCache>> caches;
};

CacheRegistry& registry() {
    static CacheRegistry* shared = [] {
        auto* r = new CacheRegistry;
        // The pictures of an application go with it.
        NotificationCenter::workspaceCenter().addObserver(
            r, NSWorkspaceDidTerminateApplicationNotification, nullptr, [r](const Notification& note) {
                auto app = note.userInfo.count(NSWorkspaceApplicationKey)
                               ? note.userInfo.at(NSWorkspaceApplicationKey).objectAs<RunningApplication>()
                               : nullptr;
                if (!app) return;
                std::lock_guard lock(r->mutex);
                r->caches.erase(app->processIdentifier());
            });
        return r;
    }();
    return *shared;
}
}  // namespace

void SIImageCache::set(uint32_t windowID, ImagePtr image) {
    std::lock_guard lock(mutex_);
    if (image)
        images_[std::to_string(windowID)] = std::move(image);
    else
        images_.erase(std::to_string(windowID));
}

ImagePtr SIImageCache::get(uint32_t windowID) const {
    std::lock_guard lock(mutex_);
    auto it = images_.find(std::to_string(windowID));
    return it == images_.end() ? nullptr : it->second;
}

std::shared_ptr<SIImageCache> SIImageCache::forProcess(desktop::Pid pid) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    auto& cache = r.caches[pid];
    if (!cache) cache = std::make_shared<SIImageCache>();
    return cache;
}

SIApplication::~SIApplication() {
    if (!observerRef_) return;
    for (auto& entry : elementToObservations_)
        for (auto& observation : entry.observations)
            observerRef_->removeNotification(entry.element, observation->notification);
    observerRef_.reset();
}

std::shared_ptr<SIAccessibilityElement> SIApplication::copy() const {
    return std::make_shared<SIApplication>(axElementRef_);
}

std::shared_ptr<SIApplication> SIApplication::applicationWithRunningApplication(const RunningApplicationPtr& app) {
    if (!app) return nullptr;
    return applicationWithProcessIdentifier(app->processIdentifier());
}

std::shared_ptr<SIApplication> SIApplication::applicationWithProcessIdentifier(desktop::Pid pid) {
    return std::make_shared<SIApplication>(desktop::AXElement::application(pid));
}

std::vector<std::shared_ptr<SIApplication>> SIApplication::runningApplications() {
    std::vector<std::shared_ptr<SIApplication>> apps;
    if (!SIUniversalAccessHelper::isAccessibilityTrusted()) return apps;
    auto& ws = desktop::services().workspace;
    if (!ws) return apps;
    for (auto& app : ws->runningApplications()) apps.push_back(applicationWithRunningApplication(app));
    return apps;
}

void SIApplication::buildWindows(bool skipDuplicates) {
    cachedWindows_.clear();
    hasCachedWindows_ = true;
    auto values = arrayForKey(desktop::kAXWindowsAttribute);
    if (!values) return;
    for (auto& element : *values) {
        if (cachedWindows_.size() >= kWindowLimit) break;
        if (skipDuplicates && std::any_of(cachedWindows_.begin(), cachedWindows_.end(),
                                          [&](auto& w) { return w->axElementRef() == element; }))
            continue;
        cachedWindows_.push_back(SIWindow::initWithAXElement(element));
    }
}

const std::vector<std::shared_ptr<SIWindow>>& SIApplication::windows() {
    if (!hasCachedWindows_) buildWindows(false);
    return cachedWindows_;
}

std::vector<std::shared_ptr<SIWindow>> SIApplication::visibleWindows() {
    std::vector<std::shared_ptr<SIWindow>> visible;
    for (auto& window : windows()) {
        auto app = window->app();
        if (app && app->isHidden()) continue;
        if (window->isWindowMinimized() || !window->isNormalWindow()) continue;
        visible.push_back(window);
    }
    return visible;
}

void SIApplication::dropWindowsCache() {
    cachedWindows_.clear();
    hasCachedWindows_ = false;
}

void SIApplication::addWindowsToWindowsCache() {
    if (!hasCachedWindows_) buildWindows(true);
}

std::optional<std::string> SIApplication::title() const { return stringForKey(desktop::kAXTitleAttribute); }

bool SIApplication::isHidden() const { return numberForKey(desktop::kAXHiddenAttribute).boolValue(); }

RunningApplicationPtr SIApplication::runningApplication() const {
    return RunningApplication::runningApplicationWithProcessIdentifier(axElementRef_.pid);
}

ImagePtr SIApplication::icon() const {
    auto app = runningApplication();
    if (!app) return nullptr;
    auto& ws = desktop::services().workspace;
    if (ws && app->bundleURL()) return ws->iconForFile(app->bundleURL()->path());
    return app->icon();
}

std::string SIApplication::appName() const {
    auto app = runningApplication();
    return app ? app->localizedName() : std::string();
}

void SIApplication::hide() {
    if (auto app = runningApplication()) app->hide();
}

void SIApplication::unhide() {
    if (auto app = runningApplication()) app->unhide();
}

void SIApplication::kill() {
    if (auto app = runningApplication()) app->terminate();
}

void SIApplication::kill9() {
    if (auto app = runningApplication()) app->forceTerminate();
}

bool SIApplication::observeNotification(const std::string& notification,
                                        const std::shared_ptr<SIAccessibilityElement>& element, Handler handler) {
    if (!element) return false;
    if (!observerRef_) {
        auto* ax = accessibility();
        if (!ax) return false;
        // The observer is ours and is destroyed with us, so it never calls back later.
        observerRef_ = ax->createObserver(axElementRef_.pid,
                                          [this](const desktop::AXElement& e, const std::string&, void* context) {
                                              deliver(e, context);
                                          });
        if (!observerRef_) return false;
        elementToObservations_.clear();
    }
    auto observation = std::make_shared<SIApplicationObservation>();
    observation->notification = notification;
    observation->handler = std::move(handler);
    const auto& key = element->axElementRef();
    auto it = std::find_if(elementToObservations_.begin(), elementToObservations_.end(),
                           [&](const ElementEntry& e) { return e.element == key; });
    if (it == elementToObservations_.end()) {
        elementToObservations_.push_back({key, {}});
        it = std::prev(elementToObservations_.end());
    }
    it->observations.push_back(observation);
    return observerRef_->addNotification(key, notification, observation.get());
}

void SIApplication::unobserveNotification(const std::string&, const std::shared_ptr<SIAccessibilityElement>& element) {
    if (!element) return;
    const auto& key = element->axElementRef();
    auto it = std::find_if(elementToObservations_.begin(), elementToObservations_.end(),
                           [&](const ElementEntry& e) { return e.element == key; });
    if (it == elementToObservations_.end()) return;
    // The registrations go with the records: a later notification of the element must
    // find no handler to call.
    std::set<std::string> names;
    for (auto& observation : it->observations) names.insert(observation->notification);
    if (observerRef_)
        for (auto& name : names) observerRef_->removeNotification(key, name);
    elementToObservations_.erase(it);
}

std::vector<SIApplicationObservation> SIApplication::observationsForElement(const desktop::AXElement& element) const {
    std::vector<SIApplicationObservation> found;
    for (auto& entry : elementToObservations_)
        if (entry.element == element)
            for (auto& observation : entry.observations) found.push_back(*observation);
    return found;
}

void SIApplication::deliver(const desktop::AXElement& element, void* context) {
    // Only contexts still recorded are called: one removed since the notification was
    // sent is skipped.
    Handler handler;
    for (auto& entry : elementToObservations_)
        for (auto& observation : entry.observations)
            if (observation.get() == context) handler = observation->handler;
    if (!handler) return;
    auto window = SIWindow::initWithAXElement(element);
    if (!window->app()) return;
    handler(window);
}

void SIApplication::saveImage(const ImagePtr& image, uint32_t windowID) {
    if (!cache_) cache_ = SIImageCache::forProcess(axElementRef_.pid);
    cache_->set(windowID, image);
}

ImagePtr SIApplication::cachedImageForWindowID(uint32_t windowID) const {
    if (!cache_) cache_ = SIImageCache::forProcess(axElementRef_.pid);
    return cache_->get(windowID);
}

}  // namespace qs
