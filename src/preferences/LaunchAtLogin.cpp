#include "preferences/LaunchAtLogin.h"

#include "platform/desktop/MainBundle.h"
#include "platform/foundation/Log.h"

namespace qs {

namespace {
constexpr const char* kLaunchAtLogin = "launchAtLogin";

std::string programPathOf(const URL& url) {
    std::string path = url.path();
    std::string resolved = desktop::resolveProgramPath(path);
    return resolved.empty() ? path : resolved;
}
}  // namespace

std::string LaunchAtLoginController::entryFileName() { return MainBundle::bundleIdentifier() + ".desktop"; }

LaunchAtLoginController::LaunchAtLoginController() : loginItems_(std::make_unique<desktop::LoginItems>()) {
    // Changes from outside reach bound controls.
    loginItems_->setChangeObserver([this] {
        willChangeValueForKey(kLaunchAtLogin);
        didChangeValueForKey(kLaunchAtLogin);
    });
}

LaunchAtLoginController::~LaunchAtLoginController() { loginItems_->setChangeObserver(nullptr); }

std::optional<desktop::LoginItem> LaunchAtLoginController::findItemWithURL(const URL* url,
                                                                           const desktop::LoginItems* fileList) const {
    if (!url || !fileList || !url->isFileURL()) return std::nullopt;
    const std::string program = programPathOf(*url);
    for (const auto& item : fileList->snapshot())
        if (item.resolvedPath == program) return item;
    return std::nullopt;
}

bool LaunchAtLoginController::willLaunchAtLogin(const URL& url) const {
    return findItemWithURL(&url, loginItems_.get()).has_value();
}

void LaunchAtLoginController::setLaunchAtLogin(bool enabled, const URL& url) {
    auto item = findItemWithURL(&url, loginItems_.get());
    if (enabled && !item) {
        loginItems_->insertItem(programPathOf(url), entryFileName(), MainBundle::bundleName(),
                                MainBundle::bundleIdentifier());
    } else if (!enabled && item) {
        // Every entry that starts the program goes, so that the switch reads off after it.
        for (int guard = 0; item && guard < 64; ++guard) {
            if (!loginItems_->removeItem(*item)) break;
            item = findItemWithURL(&url, loginItems_.get());
        }
    }
}

URLPtr LaunchAtLoginController::appURL() const {
    std::string path = MainBundle::executablePath();
    if (path.empty()) {
        log("the program's own path is not known: launch at login cannot be read or changed");
        return nullptr;
    }
    return URL::fileURLWithPath(path);
}

bool LaunchAtLoginController::launchAtLogin() const {
    URLPtr url = appURL();
    return url && willLaunchAtLogin(*url);
}

void LaunchAtLoginController::setLaunchAtLogin(bool enabled) {
    willChangeValueForKey(kLaunchAtLogin);
    if (URLPtr url = appURL()) setLaunchAtLogin(enabled, *url);
    didChangeValueForKey(kLaunchAtLogin);
}

Value LaunchAtLoginController::valueForKey(const std::string& key) const {
    if (key == kLaunchAtLogin) return Value(launchAtLogin());
    return Object::valueForKey(key);
}

void LaunchAtLoginController::setValueForKey(const Value& value, const std::string& key) {
    if (key == kLaunchAtLogin) {
        setLaunchAtLogin(value.boolValue());
        return;
    }
    Object::setValueForKey(value, key);
}

}  // namespace qs
