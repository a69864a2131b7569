#include "platform/desktop/Workspace.h"


#include "platform/desktop/Desktop.h"

namespace qs {

namespace {
desktop::Workspace* workspace() { return desktop::services().workspace.get(); }
}  // namespace

bool RunningApplication::isEqual(const Object* other) const {
    auto* app = dynamic_cast<const RunningApplication*>(other);
    if (!app || app->info_.pid != info_.pid) return false;
    return app->info_.startTime == 0 || info_.startTime == 0 || app->info_.startTime == info_.startTime;
}

std::string RunningApplication::description() const {
    return "<NSRunningApplication: pid " + std::to_string(info_.pid) + " \"" + info_.localizedName + "\" (" +
           (info_.bundleIdentifier.empty() ? std::string("no entry") : info_.bundleIdentifier) + ")>";
}

Value RunningApplication::valueForKey(const std::string& key) const {
    if (key == "processIdentifier") return Value(info_.pid);
    if (key == "bundleIdentifier") return info_.bundleIdentifier.empty() ? Value() : Value(info_.bundleIdentifier);
    if (key == "localizedName") return Value(info_.localizedName);
    if (key == "bundleURL") return Value(bundleURL());
    if (key == "executableURL") return Value(executableURL());
    if (key == "activationPolicy") return Value(info_.activationPolicy);
    if (key == "hidden" || key == "isHidden") return Value(hidden_);
    if (key == "active" || key == "isActive") return Value(active_);
    if (key == "terminated" || key == "isTerminated") return Value(terminated_);
    if (key == "finishedLaunching" || key == "isFinishedLaunching") return Value(finishedLaunching_);
    return Object::valueForKey(key);
}

URLPtr RunningApplication::bundleURL() const {
    return info_.bundlePath.empty() ? nullptr : URL::fileURLWithPath(info_.bundlePath);
}

URLPtr RunningApplication::executableURL() const {
    return info_.executablePath.empty() ? nullptr : URL::fileURLWithPath(info_.executablePath);
}

ImagePtr RunningApplication::icon() const {
    auto* ws = workspace();
    return ws ? ws->iconForApplication(*this) : nullptr;
}

bool RunningApplication::activateWithOptions(unsigned options) {
    auto* ws = workspace();
    return ws && !terminated_ && ws->activate(*this, options);
}

bool RunningApplication::hide() {
    auto* ws = workspace();
    return ws && !terminated_ && ws->hide(*this);
}

bool RunningApplication::unhide() {
    auto* ws = workspace();
    return ws && !terminated_ && ws->unhide(*this);
}

bool RunningApplication::terminate() {
    auto* ws = workspace();
    return ws && !terminated_ && ws->terminate(*this);
}

bool RunningApplication::forceTerminate() {
    auto* ws = workspace();
    return ws && !terminated_ && ws->forceTerminate(*this);
}

std::shared_ptr<RunningApplication> RunningApplication::runningApplicationWithProcessIdentifier(desktop::Pid pid) {
    auto* ws = workspace();
    if (!ws || pid < 1) return nullptr;
    for (auto& app : ws->runningApplications())
        if (app->processIdentifier() == pid) return app;
    return nullptr;
}

std::vector<std::shared_ptr<RunningApplication>> RunningApplication::runningApplicationsWithBundleIdentifier(
    const std::string& bundleIdentifier) {
    std::vector<std::shared_ptr<RunningApplication>> found;
    auto* ws = workspace();
    if (!ws || bundleIdentifier.empty()) return found;
    for (auto& app : ws->runningApplications())
        if (app->bundleIdentifier() == bundleIdentifier) found.push_back(app);
    return found;
}

std::shared_ptr<RunningApplication> RunningApplication::currentApplication() {
    auto* ws = workspace();
    return ws ? ws->currentApplication() : nullptr;
}

void RunningApplication::setHidden(bool hidden) {
    if (hidden == hidden_) return;
    willChangeValueForKey("hidden");
    hidden_ = hidden;
    didChangeValueForKey("hidden");
}

void RunningApplication::setActive(bool active) {
    if (active == active_) return;
    willChangeValueForKey("active");
    active_ = active;
    didChangeValueForKey("active");
}

void RunningApplication::setTerminated() {
    if (terminated_) return;
    willChangeValueForKey("terminated");
    terminated_ = true;
    didChangeValueForKey("terminated");
    setActive(false);
}

void RunningApplication::setFinishedLaunching(bool finished) {
    if (finishedLaunching_ == finished) return;
    willChangeValueForKey("finishedLaunching");
    finishedLaunching_ = finished;
    didChangeValueForKey("finishedLaunching");
}

}  // namespace qs
