#include "platform/x11/X11Accessibility.h"

#include <algorithm>
#include <chrono>

#include <unistd.h>
#include <xcb/xcb_ewmh.h>

#include "platform/x11/X11WindowServer.h"
#include "platform/x11/XConnection.h"

namespace qs::x11 {

using desktop::AXElement;
using desktop::AXValue;
using Kind = desktop::AXElement::Kind;

namespace {

double seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string subroleOf(const X11Client& c) {
    if (c.type == "normal" || (c.type.empty() && c.transientFor == XCB_WINDOW_NONE))
        return desktop::kAXStandardWindowSubrole;
    if (c.type == "dialog" || c.type.empty()) return desktop::kAXDialogSubrole;
    if (c.type == "utility" || c.type == "toolbar") return desktop::kAXFloatingWindowSubrole;
    return desktop::kAXUnknownSubrole;
}
}  // namespace

struct X11Accessibility::ObserverState {
    struct Registration {
        AXElement element;
        std::string notification;
        void* context;
    };
    desktop::Pid pid;
    desktop::AXObserver::Callback callback;
    std::vector<Registration> registrations;
    bool dead = false;  // the observer is gone: its callback must not run
};

namespace {
class Observer : public desktop::AXObserver {
public:
    Observer(std::shared_ptr<X11Accessibility::ObserverState> state, X11Accessibility* owner)
        : state_(std::move(state)), owner_(owner) {}
    ~Observer() override { state_->dead = true; }
    bool addNotification(const AXElement& element, const std::string& notification, void* context) override {
        // A window that is gone takes no registrations.
        if (element.kind == Kind::Window && owner_->windowNumber(element) != 0 &&
            !owner_->copyAttributeValue(element, desktop::kAXRoleAttribute))
            return false;
        state_->registrations.push_back({element, notification, context});
        return true;
    }
    bool removeNotification(const AXElement& element, const std::string& notification) override {
        auto& r = state_->registrations;
        auto before = r.size();
        r.erase(std::remove_if(r.begin(), r.end(),
                               [&](auto& g) { return g.element == element && g.notification == notification; }),
                r.end());
        return r.size() != before;
    }

private:
    std::shared_ptr<X11Accessibility::ObserverState> state_;
    X11Accessibility* owner_;
};
}  // namespace

X11Accessibility::X11Accessibility(std::shared_ptr<XConnection> connection, std::shared_ptr<X11WindowServer> windows)
    : conn_(std::move(connection)), windows_(std::move(windows)) {
    if (windows_) listener_ = windows_->addChangeListener([this](const X11Change& c) { onChange(c); });
}

X11Accessibility::~X11Accessibility() {
    if (windows_ && listener_) windows_->removeChangeListener(listener_);
}

void X11Accessibility::setApplicationInfo(std::function<std::string(desktop::Pid)> name,
                                          std::function<bool(desktop::Pid)> hidden) {
    appName_ = std::move(name);
    appHidden_ = std::move(hidden);
}

std::optional<AXValue> X11Accessibility::copyAttributeValue(const AXElement& e, const std::string& attribute) {
    if (!windows_) return std::nullopt;
    switch (e.kind) {
        case Kind::SystemWide: {
            if (attribute != desktop::kAXFocusedApplicationAttribute) return std::nullopt;
            auto active = windows_->client(windows_->activeWindow());
            if (!active || active->pid < 1) return std::nullopt;
            return AXValue(AXElement::application(active->pid));
        }
        case Kind::Application: {
            if (attribute == desktop::kAXRoleAttribute) return AXValue(std::string(desktop::kAXApplicationRole));
            if (attribute == desktop::kAXHiddenAttribute) return AXValue(appHidden_ && appHidden_(e.pid));
            auto clients = windows_->clientsOf(e.pid);
            std::vector<const X11Client*> own;
            for (auto& c : clients) own.push_back(&c);
            if (own.empty() && !knows(e.pid)) return std::nullopt;
            if (attribute == desktop::kAXWindowsAttribute) {
                std::vector<AXElement> list;
                for (auto* c : own) list.push_back(AXElement::windowOf(e.pid, c->window));
                return AXValue(list);
            }
            if (attribute == desktop::kAXTitleAttribute) {
                std::string name = appName_ ? appName_(e.pid) : std::string();
                if (name.empty() && !own.empty()) name = own.front()->wmClass;
                return AXValue(name);
            }
            if (attribute == desktop::kAXFocusedWindowAttribute) {
                xcb_window_t active = windows_->activeWindow();
                for (auto* c : own)
                    if (c->window == active) return AXValue(AXElement::windowOf(e.pid, c->window));
                for (auto* c : own)
                    if (!c->hidden) return AXValue(AXElement::windowOf(e.pid, c->window));
                return std::nullopt;
            }
            return std::nullopt;
        }
        case Kind::Window:
        case Kind::CloseButton:
        case Kind::ZoomButton: break;
    }
    auto c = windows_->client(e.window);
    if (!c) return std::nullopt;
    if (e.kind == Kind::CloseButton) {
        if (!c->canClose) return std::nullopt;
        if (attribute == desktop::kAXRoleAttribute) return AXValue(std::string(desktop::kAXButtonRole));
        return std::nullopt;
    }
    if (e.kind == Kind::ZoomButton) return std::nullopt;
    if (attribute == desktop::kAXTitleAttribute) return AXValue(c->title);
    if (attribute == desktop::kAXRoleAttribute)
        return AXValue(std::string(c->transientFor != XCB_WINDOW_NONE && c->modal ? desktop::kAXSheetRole
                                                                                   : desktop::kAXWindowRole));
    if (attribute == desktop::kAXSubroleAttribute) return AXValue(subroleOf(*c));
    if (attribute == desktop::kAXPositionAttribute) return AXValue(c->frame.origin);
    if (attribute == desktop::kAXSizeAttribute) return AXValue(c->frame.size);
    if (attribute == desktop::kAXMinimizedAttribute) return AXValue(c->hidden);
    if (attribute == desktop::kAXHiddenAttribute) return AXValue(appHidden_ && appHidden_(c->pid));
    if (attribute == desktop::kAXMainAttribute) return AXValue(windows_->activeWindow() == c->window);
    if (attribute == desktop::kAXParentAttribute) {
        if (c->transientFor == XCB_WINDOW_NONE) return std::nullopt;
        auto parent = windows_->client(c->transientFor);
        if (!parent) return std::nullopt;
        return AXValue(AXElement::windowOf(parent->pid, parent->window));
    }
    if (attribute == desktop::kAXCloseButtonAttribute) {
        if (!c->canClose) return std::nullopt;
        return AXValue(AXElement{Kind::CloseButton, c->pid, c->window});
    }
    return std::nullopt;
}

std::optional<std::vector<AXElement>> X11Accessibility::copyAttributeValues(const AXElement& e,
                                                                            const std::string& attribute,
                                                                            size_t index, size_t maxCount) {
    auto value = copyAttributeValue(e, attribute);
    if (!value) return std::nullopt;
    auto* list = std::get_if<std::vector<AXElement>>(&*value);
    if (!list) return std::nullopt;
    std::vector<AXElement> slice;
    for (size_t i = index; i < list->size() && slice.size() < maxCount; ++i) slice.push_back((*list)[i]);
    return slice;
}

std::optional<bool> X11Accessibility::isAttributeSettable(const AXElement& e, const std::string& attribute) {
    if (e.kind != Kind::Window || !windows_) return std::nullopt;
    auto c = windows_->client(e.window);
    if (!c) return std::nullopt;
    if (attribute == desktop::kAXSizeAttribute) return c->canResize;
    if (attribute == desktop::kAXPositionAttribute) return c->canMove;
    if (attribute == desktop::kAXMinimizedAttribute) return c->canMinimize;
    if (attribute == desktop::kAXMainAttribute) return true;
    return false;
}

bool X11Accessibility::setAttributeValue(const AXElement& e, const std::string& attribute, const AXValue& value) {
    if (e.kind != Kind::Window || !windows_) return false;
    if (!windows_->client(e.window)) return false;
    if (attribute == desktop::kAXPositionAttribute) {
        auto* p = std::get_if<Point>(&value);
        return p && windows_->moveResize(e.window, *p, std::nullopt);
    }
    if (attribute == desktop::kAXSizeAttribute) {
        auto* s = std::get_if<Size>(&value);
        return s && windows_->moveResize(e.window, std::nullopt, *s);
    }
    auto* b = std::get_if<bool>(&value);
    auto* d = std::get_if<double>(&value);
    if (!b && !d) return false;
    bool flag = b ? *b : *d != 0.0;
    if (attribute == desktop::kAXMinimizedAttribute) return flag ? windows_->iconify(e.window) : windows_->activate(e.window);
    if (attribute == desktop::kAXMainAttribute) return flag ? windows_->activate(e.window) : true;
    return false;
}

bool X11Accessibility::performAction(const AXElement& e, const std::string& action) {
    if (!windows_) return false;
    auto c = windows_->client(e.window);
    if (!c) return false;
    if (e.kind == Kind::CloseButton && action == desktop::kAXPressAction && c->canClose) return windows_->close(e.window);
    if (e.kind == Kind::Window && action == "AXRaise") return windows_->raise(e.window);
    return false;
}

desktop::Pid X11Accessibility::pid(const AXElement& e) {
    switch (e.kind) {
        case Kind::SystemWide: return -1;
        case Kind::Application: return knows(e.pid) ? e.pid : -1;
        default: break;
    }
    if (!windows_) return -1;
    if (auto c = windows_->client(e.window); c && c->pid > 0) return c->pid;
    // The window is gone; its application may still have others.
    return knows(e.pid) ? e.pid : -1;
}

bool X11Accessibility::knows(desktop::Pid application) {
    // This program is an application of its own even before it shows a window.
    return application > 0 && windows_ && (application == thisProcess() || windows_->application(application));
}

desktop::WindowNumber X11Accessibility::windowNumber(const AXElement& e) {
    return e.kind == Kind::Window ? e.window : 0;
}

bool X11Accessibility::isProcessTrusted() {
    std::lock_guard lock(trustMutex_);
    double now = seconds();
    if (now - trustCheckedAt_ < 5.0) return trusted_;
    trustCheckedAt_ = now;
    trusted_ = false;
    if (!conn_ || !conn_->isValid()) return false;
    auto* ewmh = conn_->ewmh();
    xcb_window_t check = XCB_WINDOW_NONE;
    if (!xcb_ewmh_get_supporting_wm_check_reply(ewmh, xcb_ewmh_get_supporting_wm_check(ewmh, conn_->root()), &check,
                                                nullptr))
        return false;
    xcb_ewmh_get_atoms_reply_t supported;
    if (!xcb_ewmh_get_supported_reply(ewmh, xcb_ewmh_get_supported(ewmh, conn_->screenNumber()), &supported, nullptr))
        return false;
    for (uint32_t i = 0; i < supported.atoms_len; ++i)
        if (supported.atoms[i] == ewmh->_NET_CLIENT_LIST) trusted_ = true;
    xcb_ewmh_get_atoms_reply_wipe(&supported);
    return trusted_;
}

bool X11Accessibility::apiEnabled() { return isProcessTrusted(); }

std::unique_ptr<desktop::AXObserver> X11Accessibility::createObserver(desktop::Pid pid,
                                                                      desktop::AXObserver::Callback callback) {
    if (!knows(pid)) return nullptr;
    auto state = std::make_shared<ObserverState>();
    state->pid = pid;
    state->callback = std::move(callback);
    observers_.erase(std::remove_if(observers_.begin(), observers_.end(), [](auto& w) { return w.expired(); }),
                     observers_.end());
    observers_.push_back(state);
    return std::make_unique<Observer>(state, this);
}

void X11Accessibility::onChange(const X11Change& change) {
    using K = X11Change::Kind;
    AXElement window = AXElement::windowOf(change.pid, change.window);
    AXElement app = AXElement::application(change.pid);
    switch (change.kind) {
        case K::Created: deliver(app, desktop::kAXWindowCreatedNotification, window); break;
        case K::Destroyed: deliver(window, desktop::kAXUIElementDestroyedNotification, window); break;
        case K::Minimized: deliver(window, desktop::kAXWindowMiniaturizedNotification, window); break;
        case K::Deminimized: deliver(window, desktop::kAXWindowDeminiaturizedNotification, window); break;
        case K::Moved: deliver(window, desktop::kAXWindowMovedNotification, window); break;
        case K::Resized: deliver(window, desktop::kAXWindowResizedNotification, window); break;
        case K::TitleChanged: deliver(window, desktop::kAXTitleChangedNotification, window); break;
        case K::FocusChanged: deliver(app, desktop::kAXFocusedWindowChangedNotification, window); break;
        case K::Activated:
            if (change.pid > 0) deliver(app, desktop::kAXApplicationActivatedNotification, app);
            break;
        case K::ApplicationStarted:
        case K::ApplicationChanged:
        case K::ApplicationEnded:
        case K::ReservedSpaceChanged: break;
    }
}

void X11Accessibility::deliver(const AXElement& target, const std::string& notification, const AXElement& subject) {
    // Handlers may add or remove observers and registrations: work on copies, and check
    // each registration is still there before calling it.
    auto observers = observers_;
    for (auto& weak : observers) {
        auto state = weak.lock();
        if (!state || state->pid != target.pid) continue;
        auto registrations = state->registrations;
        for (auto& r : registrations) {
            if (!(r.element == target) || r.notification != notification) continue;
            bool still = std::any_of(state->registrations.begin(), state->registrations.end(),
                                     [&](auto& g) { return g.context == r.context; });
            if (still && !state->dead) state->callback(subject, notification, r.context);
        }
    }
}

}  // namespace qs::x11
