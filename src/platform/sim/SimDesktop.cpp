#include "platform/sim/SimDesktop.h"

#include <QMimeDatabase>
#include <QStringList>

#include <algorithm>
#include <sstream>
#include <unordered_set>

#include <unistd.h>

#include <QImage>

#include "platform/desktop/Desktop.h"
#include "platform/desktop/UserMessages.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"

namespace qs::sim {

using desktop::AXElement;
using Kind = desktop::AXElement::Kind;

namespace {
std::string describe(const AXElement& e) {
    switch (e.kind) {
        case Kind::SystemWide: return "system";
        case Kind::Application: return "app " + std::to_string(e.pid);
        case Kind::Window: return "window " + std::to_string(e.window);
        case Kind::CloseButton: return "close " + std::to_string(e.window);
        case Kind::ZoomButton: return "zoom " + std::to_string(e.window);
    }
    return "?";
}

std::string describe(const desktop::AXValue& v) {
    std::ostringstream os;
    if (auto* s = std::get_if<std::string>(&v)) os << '"' << *s << '"';
    else if (auto* d = std::get_if<double>(&v)) os << *d;
    else if (auto* b = std::get_if<bool>(&v)) os << (*b ? "YES" : "NO");
    else if (auto* p = std::get_if<Point>(&v)) os << *p;
    else if (auto* z = std::get_if<Size>(&v)) os << *z;
    else if (auto* e = std::get_if<AXElement>(&v)) os << describe(*e);
    else os << "nil";
    return os.str();
}
}  // namespace

struct SimDesktop::Registration {
    AXElement element;
    std::string notification;
    void* context;
};

struct SimDesktop::ObserverState {
    Pid pid;
    desktop::AXObserver::Callback callback;
    std::vector<Registration> registrations;
};

class SimDesktop::Observer : public desktop::AXObserver {
public:
    Observer(std::shared_ptr<SimDesktop> desktop, std::shared_ptr<ObserverState> state)
        : desktop_(std::move(desktop)), state_(std::move(state)) {}

    bool addNotification(const AXElement& element, const std::string& notification, void* context) override {
        auto d = desktop_.lock();
        if (!d) return false;
        std::lock_guard lock(d->mutex_);
        d->record("addNotification " + describe(element) + " " + notification);
        if (!d->alive(element)) return false;
        state_->registrations.push_back({element, notification, context});
        return true;
    }

    bool removeNotification(const AXElement& element, const std::string& notification) override {
        auto d = desktop_.lock();
        if (!d) return false;
        std::lock_guard lock(d->mutex_);
        d->record("removeNotification " + describe(element) + " " + notification);
        auto& r = state_->registrations;
        auto before = r.size();
        r.erase(std::remove_if(r.begin(), r.end(),
                               [&](const Registration& g) {
                                   return g.element == element && g.notification == notification;
                               }),
                r.end());
        return r.size() != before;
    }

private:
    std::weak_ptr<SimDesktop> desktop_;
    std::shared_ptr<ObserverState> state_;
};

SimDesktop::SimDesktop() = default;
SimDesktop::~SimDesktop() = default;

std::shared_ptr<SimDesktop> SimDesktop::install() {
    auto d = std::make_shared<SimDesktop>();
    auto& s = desktop::services();
    s.accessibility = d;
    s.windowServer = d;
    s.events = d;
    s.workspace = d;
    return d;
}

// Records -------------------------------------------------------------------------------

void SimDesktop::record(std::string call) { calls_.push_back(std::move(call)); }

std::vector<std::string> SimDesktop::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

size_t SimDesktop::callCount(const std::string& prefix) const {
    std::lock_guard lock(mutex_);
    return size_t(std::count_if(calls_.begin(), calls_.end(), [&](auto& c) { return c.rfind(prefix, 0) == 0; }));
}

std::vector<SimDesktop::Write> SimDesktop::writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

std::vector<SimDesktop::Event> SimDesktop::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

void SimDesktop::clearRecords() {
    std::lock_guard lock(mutex_);
    calls_.clear();
    writes_.clear();
    events_.clear();
}

int SimDesktop::observersCreated() const {
    std::lock_guard lock(mutex_);
    return observersCreated_;
}

size_t SimDesktop::registrationCount() const {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (auto& w : observers_)
        if (auto s = w.lock()) n += s->registrations.size();
    return n;
}

// Scene ---------------------------------------------------------------------------------

SimDesktop::App* SimDesktop::findApp(Pid pid) {
    for (auto& a : apps_)
        if (a.app->processIdentifier() == pid && !a.app->isTerminated()) return &a;
    return nullptr;
}

SimDesktop::Process* SimDesktop::findProcess(Pid pid) {
    for (auto& p : processes_)
        if (p.pid == pid) return &p;
    return nullptr;
}

SimDesktop::Window* SimDesktop::findWindow(WindowNumber number) {
    for (auto& w : windows_)
        if (w.number == number) return &w;
    return nullptr;
}

bool SimDesktop::alive(const AXElement& e) {
    switch (e.kind) {
        case Kind::SystemWide: return true;
        case Kind::Application: return findApp(e.pid) != nullptr;
        case Kind::Window: return findWindow(e.window) != nullptr;
        case Kind::CloseButton: {
            auto* w = findWindow(e.window);
            return w && w->closeButton;
        }
        case Kind::ZoomButton: {
            auto* w = findWindow(e.window);
            return w && w->zoomButton;
        }
    }
    return false;
}

bool SimDesktop::onScreen(const Window& w) {
    auto* a = findApp(w.app);
    return !w.minimized && (!a || !a->app->isHidden()) && (w.space == -1 || w.space == currentSpace_);
}

desktop::ApplicationIdentity SimDesktop::identify(const desktop::WindowOwner& o) {
    desktop::WindowOwner owner = o;
    Process* process = findProcess(o.process);
    const bool ownHints = !owner.wmClass.empty() || !owner.wmInstance.empty() || !owner.applicationId.empty();
    if (process && !ownHints) {
        if (process->identity) return *process->identity;
        owner.wmClass = process->wmClass;
        owner.applicationId = process->applicationId;
    }
    const std::string executable = process ? process->executable : std::string();
    auto entry = desktop::matchDesktopEntry(entries_, std::string(owner.applicationId), std::string(owner.wmInstance),
                                            std::string(owner.wmClass), executable);
    // A launched process vouches for the entry it was launched from, installed or not.
    if (!entry && process && process->launched && !process->launched->bundleIdentifier.empty() &&
        owner.applicationId == process->launched->bundleIdentifier) {
        desktop::DesktopEntry e;
        e.id = process->launched->bundleIdentifier;
        e.path = process->launched->bundlePath;
        e.name = process->launched->localizedName;
        e.icon = process->launched->iconName;
        entry = std::move(e);
    }
    auto identity = desktop::identityOf(owner, entry, executable, Pid(::getpid()));
    if (process && !ownHints) process->identity = identity;
    return identity;
}

void SimDesktop::regroup(bool announce) {
    std::vector<desktop::WindowOwner> owners;
    for (auto& p : processes_) {
        if (!p.launched) continue;
        desktop::WindowOwner o;
        o.process = p.pid;
        o.regular = p.launched->activationPolicy == NSApplicationActivationPolicyRegular;
        owners.push_back(o);
    }
    for (auto n : stack_) {
        auto* w = findWindow(n);
        // A window of a process the scene never made, that tells nothing of itself,
        // belongs to no application.
        if (!w || (!findProcess(w->pid) && w->wmClass.empty() && w->wmInstance.empty() && w->applicationId.empty()))
            continue;
        desktop::WindowOwner o;
        o.window = n;
        o.process = w->pid;
        o.wmClass = w->wmClass;
        o.wmInstance = w->wmInstance;
        o.applicationId = w->applicationId;
        o.regular = w->role == desktop::kAXWindowRole &&
                    (w->subrole == desktop::kAXStandardWindowSubrole || w->subrole == desktop::kAXDialogSubrole);
        owners.push_back(o);
    }
    auto changes = groups_.update(owners);
    for (auto& w : windows_) {
        Pid app = groups_.applicationOf(w.number);
        w.app = app > 0 ? app : w.pid;
    }
    for (Pid id : changes.started) {
        const auto* group = groups_.application(id);
        RunningApplication::Info info;
        const Process* founder = findProcess(group->founder);
        const bool launched = founder && founder->launched;
        if (launched) {
            info = *founder->launched;
        } else {
            info.localizedName = group->identity.name;
            if (const auto& entry = group->identity.entry) {
                info.bundleIdentifier = entry->id;
                info.bundlePath = entry->path;
                info.iconName = entry->icon;
            }
            info.executablePath = founder ? founder->executable : std::string();
            info.activationPolicy =
                group->regular ? NSApplicationActivationPolicyRegular : NSApplicationActivationPolicyAccessory;
            info.launchDate = Date::now().timeIntervalSince1970;
            info.startTime = nextStart_++;
        }
        info.pid = id;
        info.processes = group->processes;
        auto app = std::make_shared<RunningApplication>(std::move(info));
        apps_.push_back(App{app, {}, launched});
        record("launched " + std::to_string(id));
        if (announce) {
            postWorkspace(NSWorkspaceWillLaunchApplicationNotification, app);
            postWorkspace(NSWorkspaceDidLaunchApplicationNotification, app);
        }
    }
    for (Pid id : changes.changed) {
        auto* a = findApp(id);
        const auto* group = groups_.application(id);
        if (!a || !group) continue;
        auto info = a->app->info();
        info.processes = group->processes;
        const bool becameRegular = !a->launched && group->regular &&
                                   info.activationPolicy != NSApplicationActivationPolicyRegular;
        if (!a->launched)
            info.activationPolicy =
                group->regular ? NSApplicationActivationPolicyRegular : NSApplicationActivationPolicyAccessory;
        a->app->setInfo(std::move(info));
        if (becameRegular && announce) postWorkspace(NSWorkspaceDidLaunchApplicationNotification, a->app);
    }
    if (announce)
        for (auto& [window, from] : groups_.windowsMoved()) {
            Pid to = groups_.applicationOf(window);
            notify(AXElement::windowOf(from, window), desktop::kAXUIElementDestroyedNotification,
                   AXElement::windowOf(from, window));
            notify(AXElement::application(to), desktop::kAXWindowCreatedNotification, AXElement::windowOf(to, window));
        }
    for (Pid id : changes.ended) {
        auto* a = findApp(id);
        if (!a) continue;
        auto app = a->app;
        apps_.erase(std::remove_if(apps_.begin(), apps_.end(), [&](const App& x) { return x.app == app; }),
                    apps_.end());
        record("terminated " + std::to_string(id));
        RunLoop::main().post([app] { app->setTerminated(); });
        if (announce) postWorkspace(NSWorkspaceDidTerminateApplicationNotification, app);
    }
}

RunningApplicationPtr SimDesktop::addApplication(RunningApplication::Info info) {
    std::lock_guard lock(mutex_);
    if (info.pid < 1) info.pid = nextPid_++;
    if (info.launchDate == 0.0) info.launchDate = Date::now().timeIntervalSince1970;
    // Each launch is a process of its own, also when it reuses an identifier.
    if (info.startTime == 0) info.startTime = nextStart_++;
    Process process;
    process.pid = info.pid;
    process.executable = info.executablePath;
    process.wmClass = info.localizedName;
    process.applicationId = info.bundleIdentifier;
    process.launched = info;
    processes_.push_back(std::move(process));
    regroup(true);
    for (auto& a : apps_) {
        const auto& members = a.app->processes();
        if (std::find(members.begin(), members.end(), info.pid) != members.end()) return a.app;
    }
    return nullptr;
}

RunningApplicationPtr SimDesktop::addApplication(Pid pid, const std::string& name, const std::string& bundleIdentifier) {
    RunningApplication::Info info;
    info.pid = pid;
    info.localizedName = name;
    info.bundleIdentifier = bundleIdentifier;
    if (!bundleIdentifier.empty()) info.bundlePath = "/usr/share/applications/" + bundleIdentifier + ".desktop";
    return addApplication(std::move(info));
}

SimDesktop::Pid SimDesktop::addProcess(Pid pid, const std::string& executable, const std::string& wmClass,
                                       const std::string& wmInstance) {
    std::lock_guard lock(mutex_);
    Process process;
    process.pid = pid < 1 ? Pid(nextPid_++) : pid;
    process.executable = executable;
    process.wmClass = wmClass.empty() ? wmInstance : wmClass;
    processes_.push_back(std::move(process));
    return processes_.back().pid;
}

RunningApplicationPtr SimDesktop::applicationOfProcess(Pid pid) {
    std::lock_guard lock(mutex_);
    for (auto& a : apps_) {
        const auto& members = a.app->processes();
        if (std::find(members.begin(), members.end(), pid) != members.end()) return a.app;
    }
    return nullptr;
}

void SimDesktop::changeApplication(Pid pid, const std::function<void(RunningApplication::Info&)>& change) {
    std::lock_guard lock(mutex_);
    auto* a = findApp(pid);
    if (!a) return;
    RunningApplication::Info info = a->app->info();
    change(info);
    info.pid = pid;
    a->app->setInfo(std::move(info));
    record("changed " + std::to_string(pid));
}

void SimDesktop::terminateApplication(Pid pid, bool announce) {
    std::lock_guard lock(mutex_);
    std::vector<Pid> ending;
    if (findProcess(pid)) {
        ending.push_back(pid);
    } else if (auto* group = groups_.application(pid)) {
        ending = group->processes;
    }
    bool any = false;
    for (Pid p : ending) {
        std::vector<WindowNumber> own;
        for (auto& w : windows_)
            if (w.pid == p) own.push_back(w.number);
        for (auto n : own) removeWindowLocked(n, announce, false);
        auto before = processes_.size();
        processes_.erase(std::remove_if(processes_.begin(), processes_.end(), [&](const Process& x) { return x.pid == p; }),
                         processes_.end());
        any = any || !own.empty() || before != processes_.size();
    }
    if (!any) return;
    regroup(announce);
}

SimDesktop::WindowNumber SimDesktop::addWindow(Pid pid, const std::string& title, const Rect& frame) {
    Window w;
    w.pid = pid;
    w.title = title;
    w.frame = frame;
    return addWindow(w);
}

SimDesktop::WindowNumber SimDesktop::addWindow(const Window& window, bool announce) {
    std::lock_guard lock(mutex_);
    Window w = window;
    if (w.number == 0) w.number = nextWindow_++;
    windows_.push_back(w);
    stack_.insert(stack_.begin(), w.number);
    regroup(announce);
    const Pid app = findWindow(w.number)->app;
    if (announce)
        notify(AXElement::application(app), desktop::kAXWindowCreatedNotification, AXElement::windowOf(app, w.number));
    return w.number;
}

SimDesktop::Window* SimDesktop::window(WindowNumber number) {
    std::lock_guard lock(mutex_);
    return findWindow(number);
}

void SimDesktop::removeWindowLocked(WindowNumber number, bool announce, bool regroupAfter) {
    auto* w = findWindow(number);
    if (!w) return;
    Pid app = w->app;
    windows_.erase(windows_.begin() + (w - windows_.data()));
    stack_.erase(std::remove(stack_.begin(), stack_.end(), number), stack_.end());
    if (active_ == number) active_ = 0;
    if (announce)
        notify(AXElement::windowOf(app, number), desktop::kAXUIElementDestroyedNotification,
               AXElement::windowOf(app, number));
    if (regroupAfter) regroup(announce);
}

void SimDesktop::removeWindow(WindowNumber number, bool announce) {
    std::lock_guard lock(mutex_);
    removeWindowLocked(number, announce);
}

void SimDesktop::setWindowClass(WindowNumber number, const std::string& wmClass, const std::string& wmInstance) {
    std::lock_guard lock(mutex_);
    auto* w = findWindow(number);
    if (!w) return;
    w->wmClass = wmClass;
    w->wmInstance = wmInstance;
    regroup(true);
}

void SimDesktop::moveWindow(WindowNumber number, const Rect& frame) {
    std::lock_guard lock(mutex_);
    auto* w = findWindow(number);
    if (!w) return;
    bool resized = w->frame.size != frame.size;
    bool moved = w->frame.origin != frame.origin;
    w->frame = frame;
    AXElement e = AXElement::windowOf(w->app, number);
    if (moved) notify(e, desktop::kAXWindowMovedNotification, e);
    if (resized) notify(e, desktop::kAXWindowResizedNotification, e);
}

void SimDesktop::setMinimized(WindowNumber number, bool minimized) {
    std::lock_guard lock(mutex_);
    auto* w = findWindow(number);
    if (!w || w->minimized == minimized) return;
    w->minimized = minimized;
    if (minimized && active_ == number) active_ = 0;
    AXElement e = AXElement::windowOf(w->app, number);
    notify(e, minimized ? desktop::kAXWindowMiniaturizedNotification : desktop::kAXWindowDeminiaturizedNotification,
           e);
}

void SimDesktop::raiseLocked(WindowNumber number) {
    if (!findWindow(number)) return;
    stack_.erase(std::remove(stack_.begin(), stack_.end(), number), stack_.end());
    stack_.insert(stack_.begin(), number);
}

void SimDesktop::raise(WindowNumber number) {
    std::lock_guard lock(mutex_);
    raiseLocked(number);
}

void SimDesktop::setActiveWindow(WindowNumber number) {
    auto* w = findWindow(number);
    if (!w) return;
    Pid before = 0;
    if (auto* old = findWindow(active_)) before = old->app;
    if (w->minimized) setMinimized(number, false);
    active_ = number;
    raiseLocked(number);
    AXElement app = AXElement::application(w->app);
    notify(app, desktop::kAXFocusedWindowChangedNotification, AXElement::windowOf(w->app, number));
    if (before != w->app) {
        notify(app, desktop::kAXApplicationActivatedNotification, app);
        RunningApplicationPtr previous, now;
        if (auto* a = findApp(before)) previous = a->app;
        if (auto* a = findApp(w->app)) now = a->app;
        if (previous) {
            RunLoop::main().post([previous] { previous->setActive(false); });
            postWorkspace(NSWorkspaceDidDeactivateApplicationNotification, previous);
        }
        if (now) {
            RunLoop::main().post([now] { now->setActive(true); });
            postWorkspace(NSWorkspaceDidActivateApplicationNotification, now);
        }
    }
}

void SimDesktop::focus(WindowNumber number) {
    std::lock_guard lock(mutex_);
    setActiveWindow(number);
}

std::vector<SimDesktop::WindowNumber> SimDesktop::stacking() const {
    std::lock_guard lock(mutex_);
    return stack_;
}

SimDesktop::WindowNumber SimDesktop::activeWindow() const {
    std::lock_guard lock(mutex_);
    return active_;
}

void SimDesktop::addDesktopEntry(const desktop::DesktopEntry& entry) {
    std::lock_guard lock(mutex_);
    entries_.push_back(entry);
}

void SimDesktop::setPointer(const Point& p) {
    std::lock_guard lock(mutex_);
    pointer_ = p;
}

void SimDesktop::postNotification(const AXElement& target, const std::string& notification, const AXElement& subject) {
    std::lock_guard lock(mutex_);
    notify(target, notification, subject);
}

void SimDesktop::notify(const AXElement& target, const std::string& notification, const AXElement& subject) {
    for (auto& weak : observers_) {
        auto state = weak.lock();
        if (!state) continue;
        for (auto& r : state->registrations) {
            if (!(r.element == target) || r.notification != notification) continue;
            std::weak_ptr<ObserverState> w = state;
            void* context = r.context;
            RunLoop::main().post([w, subject, notification, context] {
                // The registration may have been removed, or its observer destroyed,
                // since the notification was queued.
                auto s = w.lock();
                if (!s) return;
                bool still = std::any_of(s->registrations.begin(), s->registrations.end(),
                                         [&](const Registration& g) { return g.context == context; });
                if (still) s->callback(subject, notification, context);
            });
        }
    }
}

void SimDesktop::postWorkspace(const std::string& name, const RunningApplicationPtr& app) {
    RunLoop::main().post([name, app] {
        Dictionary info;
        info[NSWorkspaceApplicationKey] = Value(app);
        NotificationCenter::workspaceCenter().postNotificationName(name, Value(), info);
    });
}

// Knobs ---------------------------------------------------------------------------------

void SimDesktop::setTrusted(bool trusted) {
    std::lock_guard lock(mutex_);
    trusted_ = trusted;
}
void SimDesktop::setObserversFail(bool fail) {
    std::lock_guard lock(mutex_);
    observersFail_ = fail;
}
void SimDesktop::setActivationFails(bool fail) {
    std::lock_guard lock(mutex_);
    activationFails_ = fail;
}
void SimDesktop::setSpacesFail(bool fail) {
    std::lock_guard lock(mutex_);
    spacesFail_ = fail;
}
void SimDesktop::setSpaces(int count, int current) {
    std::lock_guard lock(mutex_);
    spaces_ = count;
    currentSpace_ = current;
}
void SimDesktop::setApplicationAttribute(Pid pid, const std::string& attribute, AXValue value) {
    std::lock_guard lock(mutex_);
    if (auto* a = findApp(pid)) a->extraAttributes[attribute] = std::move(value);
}
void SimDesktop::setSizeClamp(std::function<Size(const Window&, const Size&)> clamp) {
    std::lock_guard lock(mutex_);
    clamp_ = std::move(clamp);
}
void SimDesktop::setCaptureHook(std::function<ImagePtr(WindowNumber)> hook) {
    std::lock_guard lock(mutex_);
    captureHook_ = std::move(hook);
}

// Accessibility ---------------------------------------------------------------------------

std::optional<desktop::AXValue> SimDesktop::copyAttributeValue(const AXElement& e, const std::string& attribute) {
    std::lock_guard lock(mutex_);
    record("copy " + describe(e) + " " + attribute);
    if (!trusted_ || !alive(e)) return std::nullopt;
    switch (e.kind) {
        case Kind::SystemWide:
            if (attribute == desktop::kAXFocusedApplicationAttribute) {
                auto* w = findWindow(active_);
                if (!w || !findApp(w->app)) return std::nullopt;
                return AXValue(AXElement::application(w->app));
            }
            return std::nullopt;
        case Kind::Application: {
            auto* a = findApp(e.pid);
            if (auto extra = a->extraAttributes.find(attribute); extra != a->extraAttributes.end())
                return extra->second;
            if (attribute == desktop::kAXTitleAttribute) return AXValue(a->app->localizedName());
            if (attribute == desktop::kAXRoleAttribute) return AXValue(std::string(desktop::kAXApplicationRole));
            if (attribute == desktop::kAXHiddenAttribute) return AXValue(a->app->isHidden());
            if (attribute == desktop::kAXWindowsAttribute) {
                // Front to back; one pass over the windows, not one look-up per window.
                std::unordered_set<WindowNumber> own;
                for (auto& w : windows_)
                    if (w.app == e.pid) own.insert(w.number);
                std::vector<AXElement> list;
                for (auto n : stack_)
                    if (own.count(n)) list.push_back(AXElement::windowOf(e.pid, n));
                return AXValue(list);
            }
            if (attribute == desktop::kAXFocusedWindowAttribute) {
                if (auto* w = findWindow(active_); w && w->app == e.pid) return AXValue(AXElement::windowOf(e.pid, active_));
                for (auto n : stack_)
                    if (auto* w = findWindow(n); w && w->app == e.pid && !w->minimized)
                        return AXValue(AXElement::windowOf(e.pid, n));
                return std::nullopt;
            }
            return std::nullopt;
        }
        case Kind::Window: {
            auto* w = findWindow(e.window);
            auto extra = w->extraAttributes.find(attribute);
            if (extra != w->extraAttributes.end()) return extra->second;
            if (attribute == desktop::kAXTitleAttribute) return AXValue(w->title);
            if (attribute == desktop::kAXRoleAttribute) return AXValue(w->role);
            if (attribute == desktop::kAXSubroleAttribute) return AXValue(w->subrole);
            if (attribute == desktop::kAXPositionAttribute) return AXValue(w->frame.origin);
            if (attribute == desktop::kAXSizeAttribute) return AXValue(w->frame.size);
            if (attribute == desktop::kAXMinimizedAttribute) return AXValue(w->minimized);
            if (attribute == desktop::kAXMainAttribute) return AXValue(active_ == w->number);
            if (attribute == desktop::kAXHiddenAttribute) {
                auto* a = findApp(w->app);
                return AXValue(a && a->app->isHidden());
            }
            if (attribute == desktop::kAXParentAttribute) {
                if (auto* p = findWindow(w->parent)) return AXValue(AXElement::windowOf(p->app, p->number));
                return std::nullopt;
            }
            if (attribute == desktop::kAXCloseButtonAttribute && w->closeButton)
                return AXValue(AXElement{Kind::CloseButton, w->app, w->number});
            if (attribute == desktop::kAXZoomButtonAttribute && w->zoomButton)
                return AXValue(AXElement{Kind::ZoomButton, w->app, w->number});
            return std::nullopt;
        }
        case Kind::CloseButton:
        case Kind::ZoomButton: {
            auto* w = findWindow(e.window);
            if (attribute == desktop::kAXRoleAttribute) return AXValue(std::string(desktop::kAXButtonRole));
            if (e.kind == Kind::ZoomButton && w->zoomButton) {
                if (attribute == desktop::kAXPositionAttribute) return AXValue(w->zoomButton->origin);
                if (attribute == desktop::kAXSizeAttribute) return AXValue(w->zoomButton->size);
            }
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<AXElement>> SimDesktop::copyAttributeValues(const AXElement& e, const std::string& attribute,
                                                                      size_t index, size_t maxCount) {
    auto value = copyAttributeValue(e, attribute);
    if (!value) return std::nullopt;
    auto* list = std::get_if<std::vector<AXElement>>(&*value);
    if (!list) return std::nullopt;
    std::vector<AXElement> slice;
    for (size_t i = index; i < list->size() && slice.size() < maxCount; ++i) slice.push_back((*list)[i]);
    return slice;
}

std::optional<bool> SimDesktop::isAttributeSettable(const AXElement& e, const std::string& attribute) {
    std::lock_guard lock(mutex_);
    record("settable " + describe(e) + " " + attribute);
    if (!trusted_ || e.kind != Kind::Window || !alive(e)) return std::nullopt;
    auto* w = findWindow(e.window);
    if (attribute == desktop::kAXSizeAttribute) return w->resizable;
    if (attribute == desktop::kAXPositionAttribute) return w->movable;
    if (attribute == desktop::kAXMinimizedAttribute || attribute == desktop::kAXMainAttribute) return true;
    return false;
}

bool SimDesktop::setAttributeValue(const AXElement& e, const std::string& attribute, const AXValue& value) {
    std::lock_guard lock(mutex_);
    record("set " + describe(e) + " " + attribute + " " + describe(value));
    writes_.push_back({e, attribute, value});
    if (!trusted_ || e.kind != Kind::Window || !alive(e)) return false;
    auto* w = findWindow(e.window);
    if (attribute == desktop::kAXPositionAttribute) {
        auto* p = std::get_if<Point>(&value);
        if (!p || !w->movable) return false;
        moveWindow(w->number, {*p, w->frame.size});
        return true;
    }
    if (attribute == desktop::kAXSizeAttribute) {
        auto* s = std::get_if<Size>(&value);
        if (!s || !w->resizable) return false;
        Size size = clamp_ ? clamp_(*w, *s) : *s;
        moveWindow(w->number, {w->frame.origin, size});
        return true;
    }
    if (attribute == desktop::kAXMinimizedAttribute) {
        auto* b = std::get_if<bool>(&value);
        if (!b) return false;
        setMinimized(w->number, *b);
        return true;
    }
    if (attribute == desktop::kAXMainAttribute) {
        auto* b = std::get_if<bool>(&value);
        if (!b) return false;
        if (*b) setActiveWindow(w->number);
        return true;
    }
    return false;
}

bool SimDesktop::performAction(const AXElement& e, const std::string& action) {
    std::lock_guard lock(mutex_);
    record("action " + describe(e) + " " + action);
    if (!trusted_ || !alive(e)) return false;
    if (e.kind == Kind::CloseButton && action == desktop::kAXPressAction) {
        removeWindowLocked(e.window);
        return true;
    }
    return false;
}

desktop::Pid SimDesktop::pid(const AXElement& e) {
    std::lock_guard lock(mutex_);
    // A window that is gone still tells its process while the process runs.
    if (e.kind == Kind::SystemWide || !findApp(e.pid)) return -1;
    return e.pid;
}

desktop::WindowNumber SimDesktop::windowNumber(const AXElement& e) {
    return e.kind == Kind::Window ? e.window : 0;
}

bool SimDesktop::isProcessTrusted() {
    std::lock_guard lock(mutex_);
    return trusted_;
}

bool SimDesktop::apiEnabled() { return isProcessTrusted(); }

std::unique_ptr<desktop::AXObserver> SimDesktop::createObserver(Pid pid, desktop::AXObserver::Callback callback) {
    std::lock_guard lock(mutex_);
    record("createObserver " + std::to_string(pid));
    if (observersFail_ || !trusted_ || !findApp(pid)) return nullptr;
    auto state = std::make_shared<ObserverState>();
    state->pid = pid;
    state->callback = std::move(callback);
    observers_.erase(std::remove_if(observers_.begin(), observers_.end(), [](auto& w) { return w.expired(); }),
                     observers_.end());
    observers_.push_back(state);
    ++observersCreated_;
    return std::make_unique<Observer>(shared_from_this(), state);
}

// Window server ---------------------------------------------------------------------------

std::vector<desktop::WindowInfo> SimDesktop::windowList(uint32_t options, WindowNumber relativeTo) {
    std::lock_guard lock(mutex_);
    record("windowList " + std::to_string(options));
    std::vector<desktop::WindowInfo> list;
    for (auto n : stack_) {
        auto* w = findWindow(n);
        if (!w) continue;
        if ((options & desktop::kCGWindowListOptionIncludingWindow) && n != relativeTo) continue;
        bool visible = onScreen(*w);
        if ((options & desktop::kCGWindowListOptionOnScreenOnly) && !visible) continue;
        if ((options & desktop::kCGWindowListExcludeDesktopElements) && w->desktopElement) continue;
        desktop::WindowInfo info;
        info.number = n;
        info.ownerPid = w->app;
        if (auto* a = findApp(w->app)) info.ownerName = a->app->localizedName();
        info.name = w->title;
        info.layer = w->layer;
        info.alpha = w->alpha;
        info.bounds = w->frame;
        info.onScreen = visible;
        info.space = w->space;
        list.push_back(info);
    }
    return list;
}

ImagePtr SimDesktop::captureWindow(WindowNumber number) {
    std::function<ImagePtr(WindowNumber)> hook;
    Size size;
    {
        std::lock_guard lock(mutex_);
        record("capture " + std::to_string(number));
        hook = captureHook_;
        if (!hook) {
            auto* w = findWindow(number);
            if (!w || w->minimized || !w->capturable || !onScreen(*w)) return nullptr;
            size = w->frame.size;
        }
    }
    if (hook) return hook(number);
    QImage image(std::max(1, int(size.width)), std::max(1, int(size.height)), QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor::fromRgb(0xff000000u | (number * 2654435761u & 0xffffffu)));
    return std::make_shared<Image>(std::move(image));
}

bool SimDesktop::keepContents(WindowNumber window) {
    std::lock_guard lock(mutex_);
    record("keepContents " + std::to_string(window));
    return kept_.insert(window).second;
}

void SimDesktop::releaseContents(WindowNumber window) {
    std::lock_guard lock(mutex_);
    record("releaseContents " + std::to_string(window));
    kept_.erase(window);
}

std::set<desktop::WindowNumber> SimDesktop::keptContents() const {
    std::lock_guard lock(mutex_);
    return kept_;
}

bool SimDesktop::setFrontProcess(Pid pid, bool frontWindowOnly) {
    std::lock_guard lock(mutex_);
    record("setFrontProcess " + std::to_string(pid) + (frontWindowOnly ? " front" : " all"));
    if (!findApp(pid)) return false;
    if (auto* w = findWindow(active_); w && w->app == pid) {
        raiseLocked(active_);
    } else {
        for (auto n : std::vector<WindowNumber>(stack_))
            if (auto* x = findWindow(n); x && x->app == pid) {
                raiseLocked(n);
                break;
            }
    }
    if (!frontWindowOnly) {
        std::vector<WindowNumber> own;
        for (auto n : stack_)
            if (auto* x = findWindow(n); x && x->app == pid) own.push_back(n);
        for (auto it = own.rbegin(); it != own.rend(); ++it) raiseLocked(*it);
    }
    return true;
}

int SimDesktop::numberOfSpaces() {
    std::lock_guard lock(mutex_);
    return spaces_;
}

int SimDesktop::currentSpace() {
    std::lock_guard lock(mutex_);
    return currentSpace_;
}

bool SimDesktop::moveWindowToSpace(WindowNumber number, int space) {
    std::lock_guard lock(mutex_);
    record("moveToSpace " + std::to_string(number) + " " + std::to_string(space));
    auto* w = findWindow(number);
    if (spacesFail_ || !w || space < -1 || space >= spaces_) return false;
    w->space = space;
    return true;
}

// Events --------------------------------------------------------------------------------

void SimDesktop::postKey(uint16_t keyCode, bool down, uint64_t flags) {
    std::lock_guard lock(mutex_);
    Event e;
    e.time = RunLoop::main().now();
    e.isKey = true;
    e.keyCode = keyCode;
    e.down = down;
    e.flags = flags;
    events_.push_back(e);
    record(std::string("key ") + std::to_string(keyCode) + (down ? " down" : " up"));
    if (keyCode < 128) {
        if (down)
            keys_[keyCode / 8] |= uint8_t(1u << (keyCode % 8));
        else
            keys_[keyCode / 8] &= uint8_t(~(1u << (keyCode % 8)));
    }
    // The modifiers of the flags are held while the key is down.
    uint32_t mods = 0;
    if (flags & desktop::kCGEventFlagMaskShift) mods |= shiftKey;
    if (flags & desktop::kCGEventFlagMaskControl) mods |= controlKey;
    if (flags & desktop::kCGEventFlagMaskAlternate) mods |= optionKey;
    if (flags & desktop::kCGEventFlagMaskCommand) mods |= cmdKey;
    modifiers_ = (modifiers_ & alphaLock) | (down ? mods : 0u);
}

void SimDesktop::postMouse(desktop::MouseEventType type, const Point& location, uint64_t flags) {
    std::lock_guard lock(mutex_);
    Event e;
    e.time = RunLoop::main().now();
    e.mouse = type;
    e.location = location;
    e.flags = flags;
    events_.push_back(e);
    pointer_ = location;
    record("mouse");
    if (type == desktop::MouseEventType::LeftDown) buttons_ |= 1u;
    if (type == desktop::MouseEventType::LeftUp) buttons_ &= ~1u;
}

uint32_t SimDesktop::currentButtonState() {
    std::lock_guard lock(mutex_);
    return buttons_;
}

uint32_t SimDesktop::currentKeyModifiers() {
    std::lock_guard lock(mutex_);
    return modifiers_;
}

KeyMap SimDesktop::currentKeyMap() {
    std::lock_guard lock(mutex_);
    return keys_;
}

void SimDesktop::setButtonState(uint32_t buttons) {
    std::lock_guard lock(mutex_);
    buttons_ = buttons;
}

void SimDesktop::setKeyModifiers(uint32_t modifiers) {
    std::lock_guard lock(mutex_);
    modifiers_ = modifiers;
}

void SimDesktop::setKeyDown(uint16_t keyCode, bool down) {
    std::lock_guard lock(mutex_);
    if (keyCode >= 128) return;
    if (down)
        keys_[keyCode / 8] |= uint8_t(1u << (keyCode % 8));
    else
        keys_[keyCode / 8] &= uint8_t(~(1u << (keyCode % 8)));
}

Point SimDesktop::pointerLocation() {
    std::lock_guard lock(mutex_);
    return pointer_;
}

// Workspace -----------------------------------------------------------------------------

std::vector<RunningApplicationPtr> SimDesktop::runningApplications() {
    std::lock_guard lock(mutex_);
    std::vector<RunningApplicationPtr> list;
    for (auto& a : apps_)
        if (!a.app->isTerminated()) list.push_back(a.app);
    return list;
}

RunningApplicationPtr SimDesktop::frontmostApplication() {
    std::lock_guard lock(mutex_);
    auto* w = findWindow(active_);
    auto* a = w ? findApp(w->app) : nullptr;
    return a ? a->app : nullptr;
}

RunningApplicationPtr SimDesktop::currentApplication() {
    std::lock_guard lock(mutex_);
    if (!current_) {
        RunningApplication::Info info;
        info.pid = Pid(::getpid());
        info.bundleIdentifier = "org.quayside.Quayside";
        info.localizedName = "Quayside";
        current_ = std::make_shared<RunningApplication>(info);
    }
    return current_;
}

bool SimDesktop::activate(RunningApplication& app, unsigned options) {
    std::lock_guard lock(mutex_);
    record("activate " + std::to_string(app.processIdentifier()) + " " + std::to_string(options));
    if (activationFails_ || !findApp(app.processIdentifier())) return false;
    Pid pid = app.processIdentifier();
    if (app.isHidden()) unhide(app);
    WindowNumber top = 0;
    for (auto n : stack_)
        if (auto* w = findWindow(n); w && w->app == pid && !w->minimized) {
            top = n;
            break;
        }
    if (auto* w = findWindow(active_); w && w->app == pid) top = active_;
    if (options & NSApplicationActivateAllWindows) setFrontProcess(pid, false);
    if (top) setActiveWindow(top);
    return true;
}

bool SimDesktop::hide(RunningApplication& app) {
    std::lock_guard lock(mutex_);
    record("hide " + std::to_string(app.processIdentifier()));
    auto* a = findApp(app.processIdentifier());
    if (!a) return false;
    a->app->setHidden(true);
    if (auto* w = findWindow(active_); w && w->app == app.processIdentifier()) active_ = 0;
    postWorkspace(NSWorkspaceDidHideApplicationNotification, a->app);
    return true;
}

bool SimDesktop::unhide(RunningApplication& app) {
    std::lock_guard lock(mutex_);
    record("unhide " + std::to_string(app.processIdentifier()));
    auto* a = findApp(app.processIdentifier());
    if (!a) return false;
    a->app->setHidden(false);
    postWorkspace(NSWorkspaceDidUnhideApplicationNotification, a->app);
    return true;
}

bool SimDesktop::terminate(RunningApplication& app) {
    std::lock_guard lock(mutex_);
    record("terminate " + std::to_string(app.processIdentifier()));
    return endApplication(app.processIdentifier());
}

bool SimDesktop::forceTerminate(RunningApplication& app) {
    std::lock_guard lock(mutex_);
    record("forceTerminate " + std::to_string(app.processIdentifier()));
    return endApplication(app.processIdentifier());
}

bool SimDesktop::endApplication(Pid id) {
    const auto* group = findApp(id) ? groups_.application(id) : nullptr;
    if (!group) return false;
    // Every window closes; the launched processes among its own end with them.
    const std::vector<WindowNumber> own = group->windows;
    const std::vector<Pid> processes = group->processes;
    for (auto n : own) removeWindowLocked(n, true, false);
    processes_.erase(std::remove_if(processes_.begin(), processes_.end(),
                                    [&](const Process& p) {
                                        return p.launched &&
                                               std::find(processes.begin(), processes.end(), p.pid) != processes.end();
                                    }),
                     processes_.end());
    regroup(true);
    return true;
}

std::optional<desktop::DesktopEntry> SimDesktop::entryForBundleIdentifier(const std::string& id) {
    std::lock_guard lock(mutex_);
    for (auto& e : entries_)
        if (e.id == id) return e;
    return std::nullopt;
}

std::optional<desktop::DesktopEntry> SimDesktop::entryAtPath(const std::string& path) {
    std::lock_guard lock(mutex_);
    for (auto& e : entries_)
        if (e.path == path) return e;
    return std::nullopt;
}

std::vector<desktop::DesktopEntry> SimDesktop::applicationsForMimeType(const std::string& mimeType) {
    std::lock_guard lock(mutex_);
    std::vector<desktop::DesktopEntry> found;
    for (auto& e : entries_)
        if (std::find(e.mimeTypes.begin(), e.mimeTypes.end(), mimeType) != e.mimeTypes.end()) found.push_back(e);
    return found;
}

void SimDesktop::setApplicationsForFile(const std::string& path, std::optional<std::string> defaultApplication,
                                        std::optional<std::vector<std::string>> applications) {
    std::lock_guard lock(mutex_);
    fileApplications_[path] = FileApplications{std::move(defaultApplication), std::move(applications)};
}

std::optional<std::vector<std::string>> SimDesktop::applicationsForFile(const std::string& path) {
    std::lock_guard lock(mutex_);
    record("applicationsForFile " + path);
    if (auto it = fileApplications_.find(path); it != fileApplications_.end()) return it->second.applications;
    QMimeDatabase db;
    QMimeType type = db.mimeTypeForFile(QString::fromStdString(path), QMimeDatabase::MatchExtension);
    QStringList names{type.name()};
    names << type.allAncestors();
    std::vector<std::string> found;
    for (const auto& n : names)
        for (auto& e : entries_)
            if (std::find(e.mimeTypes.begin(), e.mimeTypes.end(), n.toStdString()) != e.mimeTypes.end() &&
                std::find(found.begin(), found.end(), e.path) == found.end())
                found.push_back(e.path);
    if (found.empty()) return std::nullopt;
    return found;
}

std::optional<std::string> SimDesktop::defaultApplicationForFile(const std::string& path) {
    {
        std::lock_guard lock(mutex_);
        if (auto it = fileApplications_.find(path); it != fileApplications_.end()) {
            record("defaultApplicationForFile " + path);
            return it->second.defaultApplication;
        }
    }
    auto all = applicationsForFile(path);
    if (!all || all->empty()) return std::nullopt;
    return all->front();
}

void SimDesktop::setIconless(const std::string& path) {
    std::lock_guard lock(mutex_);
    iconless_.push_back(path);
}

ImagePtr SimDesktop::iconForFile(const std::string& path) {
    {
        std::lock_guard lock(mutex_);
        record("iconForFile " + path);
        if (std::find(iconless_.begin(), iconless_.end(), path) != iconless_.end()) return nullptr;
    }
    if (path.empty()) return nullptr;
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor::fromRgb(0xff000000u | (uint32_t(stableHash(path)) & 0xffffffu)));
    return std::make_shared<Image>(std::move(image));
}

bool SimDesktop::openFile(const std::string& path, const std::string& application) {
    std::lock_guard lock(mutex_);
    record("openFile " + path + (application.empty() ? "" : " with " + application));
    if (!openers_) desktop::noteFailureReason("No application on this desktop opens it.");
    return !path.empty() && openers_;
}

bool SimDesktop::openURL(const URL& url) {
    std::lock_guard lock(mutex_);
    record("openURL " + url.absoluteString());
    if (!openers_) desktop::noteFailureReason("No application on this desktop opens it.");
    return openers_;
}

bool SimDesktop::launchEntry(const desktop::DesktopEntry& entry) {
    RunningApplication::Info info;
    info.bundleIdentifier = entry.id;
    info.bundlePath = entry.path;
    info.localizedName = entry.name;
    info.iconName = entry.icon;
    addApplication(std::move(info));
    return true;
}

bool SimDesktop::launchApplication(const std::string& pathOrIdentifier) {
    std::optional<desktop::DesktopEntry> entry;
    {
        std::lock_guard lock(mutex_);
        record("launchApplication " + pathOrIdentifier);
        for (auto& e : entries_)
            if (e.path == pathOrIdentifier || e.id == pathOrIdentifier || e.name == pathOrIdentifier) entry = e;
    }
    if (!entry) desktop::noteFailureReason("The application is no longer installed.");
    return entry && launchEntry(*entry);
}

bool SimDesktop::launchAppWithBundleIdentifier(const std::string& bundleIdentifier, unsigned options) {
    std::optional<desktop::DesktopEntry> entry;
    {
        std::lock_guard lock(mutex_);
        record("launchAppWithBundleIdentifier " + bundleIdentifier + " " + std::to_string(options));
        for (auto& e : entries_)
            if (e.id == bundleIdentifier) entry = e;
    }
    return entry && launchEntry(*entry);
}

bool SimDesktop::launchDesktopAction(const std::string& pathOrIdentifier, const std::string& action) {
    std::lock_guard lock(mutex_);
    for (auto& e : entries_) {
        if (e.path != pathOrIdentifier && e.id != pathOrIdentifier) continue;
        if (std::find(e.actions.begin(), e.actions.end(), action) == e.actions.end()) return false;
        record("launchDesktopAction " + e.id + " " + action);
        return true;
    }
    return false;
}

bool SimDesktop::launchExecutable(const std::string& path) {
    std::lock_guard lock(mutex_);
    record("launchExecutable " + path);
    return !path.empty() && path.front() == '/';
}

std::vector<desktop::DesktopEntry> SimDesktop::applicationsInCategory(const std::string& category) {
    std::lock_guard lock(mutex_);
    std::vector<desktop::DesktopEntry> found;
    for (auto& e : entries_)
        if (!e.noDisplay && !e.hidden && std::find(e.categories.begin(), e.categories.end(), category) != e.categories.end())
            found.push_back(e);
    return found;
}

}  // namespace qs::sim
