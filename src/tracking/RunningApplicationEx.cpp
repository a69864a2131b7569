#include "tracking/RunningApplicationEx.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "platform/desktop/Desktop.h"
#include "platform/desktop/WindowServer.h"
#include "platform/desktop/UserMessages.h"
#include "platform/foundation/Log.h"

namespace qs {

namespace {
// How long after it is added a window's first picture is taken.
constexpr double kFirstPictureDelay = 1.0;
desktop::WindowServer* windowServer() { return desktop::services().windowServer.get(); }

std::vector<desktop::WindowNumber> windowNumbers(uint32_t options) {
    std::vector<desktop::WindowNumber> numbers;
    auto* ws = windowServer();
    if (!ws) return numbers;
    for (const auto& info : ws->windowList(options)) numbers.push_back(info.number);
    return numbers;
}

bool sameWindow(const SIWindowPtr& a, const SIAccessibilityElement* b) {
    return a && b && (a.get() == b || a->isEqual(b));
}

RunningApplicationEx::WindowChangedHandler& windowChangedHandler() {
    static RunningApplicationEx::WindowChangedHandler handler;
    return handler;
}
}  // namespace

void RunningApplicationEx::setWindowChangedHandler(WindowChangedHandler handler) {
    windowChangedHandler() = std::move(handler);
}

std::shared_ptr<RunningApplicationEx> RunningApplicationEx::runningApplicationWithProcessIdentifier(desktop::Pid pid) {
    auto app = RunningApplication::runningApplicationWithProcessIdentifier(pid);
    if (!app || app->isTerminated()) return nullptr;
    return std::make_shared<RunningApplicationEx>(app->info(), app);
}

RunningApplicationEx::RunningApplicationEx(Info info, std::weak_ptr<RunningApplication> application)
    : RunningApplication(std::move(info)), application_(std::move(application)) {}

RunningApplicationEx::~RunningApplicationEx() { stopMonitoring(); }

std::shared_ptr<RunningApplicationEx> RunningApplicationEx::self() {
    return std::static_pointer_cast<RunningApplicationEx>(shared_from_this());
}

Value RunningApplicationEx::valueForKey(const std::string& key) const {
    if (key == "windows") {
        Array list;
        list.reserve(windows_.size());
        for (const auto& w : windows_) list.push_back(Value(w));
        return Value(std::move(list));
    }
    if (key == "minimized") return Value(minimized());
    return RunningApplication::valueForKey(key);
}

// ---- start and end of the tracking ---------------------------------------------------------

void RunningApplicationEx::initWindowsMonitoring() {
    hasWindowList_ = true;
    if (!siApp_) siApp_ = SIApplication::applicationWithProcessIdentifier(processIdentifier());
    if (monitoring_) return;
    monitoring_ = true;

    // Started again after a stop: the windows still listed are observed anew.
    for (const auto& window : std::vector<SIWindowPtr>(windows_)) observeWindow(window);
    for (const auto& window : std::vector<SIWindowPtr>(siApp_->windows())) addWindow(window);
    later(0.6, &RunningApplicationEx::manualSortWindows);

    std::weak_ptr<RunningApplicationEx> weak = self();
    activationObserver_ = NotificationCenter::workspaceCenter().addObserver(
        this, NSWorkspaceDidActivateApplicationNotification, nullptr, [weak](const Notification&) {
            if (auto s = weak.lock(); s && s->monitoring_) s->onApplicationActivated();
        });

    siApp_->observeNotification(desktop::kAXWindowCreatedNotification, siApp_, [weak](const SIWindowPtr& window) {
        auto s = weak.lock();
        if (!s || !s->monitoring_) return;
        s->addWindow(window);
        s->manualSortWindows();
        // The listed object (the same element) is the one whose frame is fitted.
        long i = s->indexOfWindow(window.get());
        windowChanged(i >= 0 ? s->windows_[size_t(i)] : window);
    });
    siApp_->observeNotification(desktop::kAXFocusedWindowChangedNotification, siApp_, [weak](const SIWindowPtr&) {
        auto s = weak.lock();
        if (!s || !s->monitoring_) return;
        s->moveWindowToFirstIndex(SIWindow::focusedWindow());
    });
    siApp_->observeNotification(desktop::kAXApplicationActivatedNotification, siApp_, [weak](const SIWindowPtr&) {
        auto s = weak.lock();
        if (s && s->monitoring_) s->later(0.2, &RunningApplicationEx::removeBadWindows);
    });
}

void RunningApplicationEx::stopMonitoring() {
    if (!monitoring_ && !activationObserver_ && pending_.empty()) return;
    monitoring_ = false;
    if (activationObserver_) NotificationCenter::workspaceCenter().removeObserver(activationObserver_);
    activationObserver_ = 0;
    if (loop_ && RunLoop::isLive(loop_))
        for (auto id : pending_) loop_->cancel(id);
    pending_.clear();
    picturesDue_.clear();
    if (siApp_) {
        // The wrapper may be shared: take back every registration made here.
        for (const auto& window : windows_) siApp_->unobserveNotification(desktop::kAXUIElementDestroyedNotification, window);
        siApp_->unobserveNotification(desktop::kAXWindowCreatedNotification, siApp_);
    }
}

void RunningApplicationEx::later(double delay, void (RunningApplicationEx::*call)()) {
    RunLoop& loop = RunLoop::main();
    if (loop_ && loop_ != &loop) pending_.clear();  // ids of a loop that was replaced
    loop_ = &loop;
    std::weak_ptr<RunningApplicationEx> weak = self();
    auto id = std::make_shared<RunLoop::TimerId>(0);
    *id = loop.after(delay, [weak, id, call] {
        auto s = weak.lock();
        if (!s) return;
        s->pending_.erase(*id);
        if (s->monitoring_) (s.get()->*call)();
    });
    pending_.insert(*id);
}

// ---- the list ------------------------------------------------------------------------------

long RunningApplicationEx::indexOfWindow(const SIAccessibilityElement* window) const {
    for (size_t i = 0; i < windows_.size(); ++i)
        if (sameWindow(windows_[i], window)) return long(i);
    return -1;
}

void RunningApplicationEx::setWindows(std::vector<SIWindowPtr> windows) {
    willChangeValueForKey("windows");
    windows_ = std::move(windows);
    hasWindowList_ = true;
    didChangeValueForKey("windows");
}

void RunningApplicationEx::addWindow(const SIWindowPtr& window) {
    hasWindowList_ = true;
    if (!window || indexOfWindow(window.get()) >= 0 || !window->isNormalWindow()) return;
    willChangeValueForKey("windows");
    if (picturesDue_.empty()) later(kFirstPictureDelay, &RunningApplicationEx::takeFirstPictures);
    picturesDue_.push_back(window);
    windows_.insert(windows_.begin(), window);
    didChangeValueForKey("windows");
    observeWindow(window);
}

void RunningApplicationEx::takeFirstPictures() {
    auto due = std::move(picturesDue_);
    picturesDue_.clear();
    for (auto& weak : due)
        if (auto window = weak.lock(); window && indexOfWindow(window.get()) >= 0 && !window->previewImage())
            window->updatePreview();
}

void RunningApplicationEx::observeWindow(const SIWindowPtr& window) {
    if (!siApp_) return;
    std::weak_ptr<RunningApplicationEx> weak = self();
    std::weak_ptr<SIWindow> tracked = window;
    // The handlers act on the tracked object (it holds the preview the dock shows),
    // not on the wrapper the notification brings.
    siApp_->observeNotification(desktop::kAXUIElementDestroyedNotification, window, [weak, tracked](const SIWindowPtr&) {
        auto s = weak.lock();
        if (s) s->removeWindow(tracked.lock());
    });
    siApp_->observeNotification(desktop::kAXWindowDeminiaturizedNotification, window,
                                [weak, tracked](const SIWindowPtr&) {
                                    auto s = weak.lock();
                                    auto w = tracked.lock();
                                    if (!s || !s->monitoring_ || !w) return;
                                    w->updatePreview();
                                    w->minimizedStateChanged();
                                });
    // The minimised mark of its preview follows the window.
    siApp_->observeNotification(desktop::kAXWindowMiniaturizedNotification, window,
                                [weak, tracked](const SIWindowPtr&) {
                                    auto s = weak.lock();
                                    auto w = tracked.lock();
                                    if (s && s->monitoring_ && w) w->minimizedStateChanged();
                                });
    siApp_->observeNotification(desktop::kAXWindowResizedNotification, window, [weak, tracked](const SIWindowPtr&) {
        auto s = weak.lock();
        auto w = tracked.lock();
        if (!s || !s->monitoring_ || !w) return;
        w->updatePreview();
        windowChanged(w);
    });
}

void RunningApplicationEx::windowChanged(const SIWindowPtr& window) {
    // A copy: the handler may replace itself.
    if (auto handler = windowChangedHandler()) handler(window);
}

void RunningApplicationEx::removeWindow(const SIWindowPtr& window) {
    if (!window) return;
    if (siApp_) {
        // The first call ends every observation of the window, resize included.
        siApp_->unobserveNotification(desktop::kAXUIElementDestroyedNotification, window);
        siApp_->unobserveNotification(desktop::kAXWindowMiniaturizedNotification, window);
        siApp_->unobserveNotification(desktop::kAXWindowDeminiaturizedNotification, window);
    }
    regenerateActiveIDCache();
    if (indexOfWindow(window.get()) < 0) return;
    willChangeValueForKey("windows");
    std::erase_if(windows_, [&](const SIWindowPtr& w) { return sameWindow(w, window.get()); });
    didChangeValueForKey("windows");
}

void RunningApplicationEx::moveWindowToFirstIndex(const SIWindowPtr& window) {
    manualSortWindows();
    if (!window) return;
    long i = indexOfWindow(window.get());
    if (i < 0) return;
    willChangeValueForKey("windows");
    SIWindowPtr listed = windows_[size_t(i)];
    windows_.erase(windows_.begin() + i);
    windows_.insert(windows_.begin(), listed);
    didChangeValueForKey("windows");
}

void RunningApplicationEx::manualSortWindows() {
    // The same object listed twice is kept once, where it first appears.
    auto sorted = allWindows();
    std::unordered_set<const SIWindow*> seen;
    std::erase_if(sorted, [&](const SIWindowPtr& w) { return !seen.insert(w.get()).second; });
    if (sorted.size() == windows_.size() && std::equal(sorted.begin(), sorted.end(), windows_.begin())) return;
    setWindows(std::move(sorted));
}

std::vector<SIWindowPtr> RunningApplicationEx::allWindows() const {
    std::vector<SIWindowPtr> result;
    if (windows_.empty()) return result;
    result.reserve(windows_.size());
    // The first tracked window of each number.
    std::unordered_map<desktop::WindowNumber, size_t> byNumber;
    for (size_t i = 0; i < windows_.size(); ++i) byNumber.try_emplace(windows_[i]->windowID(), i);
    std::vector<bool> taken(windows_.size(), false);
    for (auto number : orderedWindowIDs()) {
        auto it = byNumber.find(number);
        if (it == byNumber.end() || taken[it->second]) continue;
        taken[it->second] = true;
        result.push_back(windows_[it->second]);
    }
    for (size_t i = 0; i < windows_.size(); ++i)
        if (!taken[i]) result.push_back(windows_[i]);
    return result;
}

std::vector<desktop::WindowNumber> RunningApplicationEx::orderedWindowIDs() const {
    return windowNumbers(desktop::kCGWindowListOptionOnScreenOnly | desktop::kCGWindowListExcludeDesktopElements);
}

std::vector<desktop::WindowNumber> RunningApplicationEx::allOrderedWindowIDs() const {
    return windowNumbers(desktop::kCGWindowListExcludeDesktopElements);
}

void RunningApplicationEx::rescanWindows() {
    if (!siApp_) return;
    siApp_->dropWindowsCache();
    for (const auto& window : std::vector<SIWindowPtr>(siApp_->windows())) addWindow(window);
}

void RunningApplicationEx::removeBadWindows() {
    if (windows_.empty()) return;
    // One list for all of them: a window the window server no longer lists is dead.
    auto listed = windowNumbers(desktop::kCGWindowListOptionAll);
    std::unordered_set<desktop::WindowNumber> alive(listed.begin(), listed.end());
    std::vector<SIWindowPtr> dead;
    for (const auto& window : windows_)
        if (!alive.count(window->windowID())) dead.push_back(window);
    for (const auto& window : dead) removeWindow(window);
}

void RunningApplicationEx::onApplicationActivated() {
    later(0.2, &RunningApplicationEx::rescanWindows);
    later(0.5, &RunningApplicationEx::rescanWindows);
}

void RunningApplicationEx::upratePreviews() {
    for (const auto& window : std::vector<SIWindowPtr>(windows_))
        if (!window->previewImage()) window->updatePreview();
}

bool RunningApplicationEx::minimized() const {
    return std::any_of(windows_.begin(), windows_.end(), [](const SIWindowPtr& w) { return w->isWindowMinimized(); });
}

void RunningApplicationEx::tryRestore() {
    if (windows_.empty()) return;
    SIWindowPtr first = windows_.front();
    first->activateWindow();
}

void RunningApplicationEx::openFiles(const std::vector<URLPtr>& urls) {
    auto* workspace = desktop::services().workspace.get();
    if (!workspace) return;
    // The application's desktop entry; a program without one is named by its executable.
    auto bundle = bundleURL();
    auto executable = executableURL();
    std::string application = bundle ? bundle->path() : executable ? executable->path() : std::string();
    if (application.empty()) {
        log("cannot open files with ", localizedName(), ": it has neither a desktop entry nor a known executable");
        return;
    }
    for (const auto& url : urls) {
        if (url && !workspace->openFile(url->path(), application)) {
            desktop::tellUserItFailed(desktop::quotedName(url->path()) + " could not be opened with " +
                                      desktop::quote(localizedName()) + ".");
            return;
        }
    }
}

}  // namespace qs
