#include "core/AppDelegate.h"

#include "core/AccessController.h"
#include "core/DockManager.h"
#include "core/NewsWindowController.h"
#include "platform/desktop/Workspace.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "tracking/AccessHelper.h"
#include "tracking/AppMonitoringService.h"
#include "tracking/BadgeHelper.h"

namespace qs {

namespace {

constexpr const char* kAppleDockSuite = "com.apple.dock";
// The system Dock's own settings as they were before we hid it.
constexpr const char* kSavedAppleDockState = "SavedAppleDockState";
const char* const kAppleDockKeys[] = {"autohide-delay", "autohide", "no-bouncing"};

bool& dockStarted() {
    static bool started = false;
    return started;
}

}  // namespace

void AppDelegate::resetDockStartForTesting() { dockStarted() = false; }

// ---------------------------------------------------------------------------------
// Launch

void AppDelegate::applicationDidFinishLaunching() {
    auto& defaults = UserDefaults::standardUserDefaults();
    auto self = std::static_pointer_cast<AppDelegate>(shared_from_this());

    // 1. The menu-bar menu.
    setupStatusMenu();

    // 2. The dock start, in a later turn of the main loop.
    std::weak_ptr<AppDelegate> weakSelf = self;
    RunLoop::main().post([weakSelf] {
        if (auto s = weakSelf.lock()) s->StartViewControllerDisappear();
    });

    // 3. The updater.
    auto& updater = SUUpdater::sharedUpdater();
    updater.setDelegate(std::static_pointer_cast<SUUpdaterDelegate>(self));
    updater.setFeedURL(getFeedURL());
    updater.setUpdateCheckInterval(86400.0);
    if (defaults.valueForKey("SUUpdaterChecksForBetaUpdates").isNil()) {
        defaults.setBool(false, "SUUpdaterChecksForBetaUpdates");
        defaults.synchronize();
    }
    if (defaults.boolForKey("SUUpdaterChecksForBetaUpdates")) updater.setUpdateCheckInterval(43200.0);
    updater.setAutomaticallyChecksForUpdates(true);
    updater.checkForUpdatesInBackground();
    updater.installUpdatesIfAvailable();

    // 4. Analytics and crash reporting.
    MSAppCenter::start(kAppCenterSecret, {MSAnalytics, MSCrashesService});
    MSCrashes::setDelegate(std::static_pointer_cast<MSCrashesDelegate>(self));
    MSAppCenter::setLogLevel(2);

    // 5. Registered only, never written.
    defaults.registerDefaults({{"NSApplicationCrashOnExceptions", Value(false)}});

    // 6. What's new, two seconds on.
    newsWC_ = std::make_shared<NewsWindowController>();
    auto news = newsWC_;
    RunLoop::main().after(2.0, [news] { news->showWhatsNew(); });
}

void AppDelegate::StartViewControllerDisappear() {
    if (dockStarted()) return;
    dockStarted() = true;

    manager_ = DockManager::sharedInstance();
    createDefaultsValues();
    runStartupActions();
    badgeHelper_ = BadgeHelper::sharedInstance();

    // Permissions: YES in "AccessDoNotShow" asks for the missing ones; NO or absent
    // never shows anything at start.
    bool askForPermissions = defaults_->boolForKey("AccessDoNotShow");
    bool granted = AccessHelper::allAccessGranted();
    if (askForPermissions && !granted) {
        showAccessDialog();
        return;
    }
    AppMonitoringService::sharedInstance()->dumbInit();
}

void AppDelegate::createDefaultsValues() {
    defaults_ = &UserDefaults::standardUserDefaults();
    const std::pair<const char*, Value> table[] = {
        {"WindowPreview", Value(true)},  {"Tooltips", Value(true)},          {"WindowControls", Value(true)},
        {"ReserveSpace", Value(true)},   {"HideMenuBarIcon", Value(false)},  {"ShowAppBadges", Value(true)},
        {"HideAppleDock", Value(false)}, {"HideQuayside", Value(false)},     {"ShowThumbnails", Value(false)},
        {"autoHideDelay1", Value(1)},    {"cellHeight", Value(100)},
    };
    for (const auto& [key, value] : table) {
        if (!defaults_->valueForKey(key).isNil()) continue;
        defaults_->setObject(value, key);
        defaults_->synchronize();
    }
}

void AppDelegate::showAccessDialog() {
    ac_ = std::make_shared<AccessController>();
    ac_->setLevel(8);
    ac_->orderFront();
}

void AppDelegate::setupStatusMenu() {
    // The status item itself comes with the menu-bar menu.
}

std::string AppDelegate::getFeedURL() const {
    return UserDefaults::standardUserDefaults().boolForKey("SUUpdaterChecksForBetaUpdates") ? kBetaFeedURL
                                                                                           : kSUFeedURL;
}

std::string AppDelegate::feedURLStringForUpdater(SUUpdater&) { return getFeedURL(); }
bool AppDelegate::updaterShouldCheckForBetaUpdates(SUUpdater&) { return false; }
bool AppDelegate::crashes(MSCrashes*, const MSErrorReport&) { return true; }

// ---------------------------------------------------------------------------------
// The system Dock

void AppDelegate::runStartupActions() {
    auto& defaults = UserDefaults::standardUserDefaults();
    if (!defaults.boolForKey("HideAppleDock")) return;
    if (UserDefaults::suiteNamed(kAppleDockSuite)->integerForKey("autohide-delay") <= 59) toggleMacOSDockAction(true);
}

void AppDelegate::toggleMacOSDockAction(bool hide) {
    auto suite = UserDefaults::suiteNamed(kAppleDockSuite);
    auto& own = UserDefaults::standardUserDefaults();
    if (hide && suite->integerForKey("autohide-delay") <= 60) {
        // Remember what the user had, so that giving the Dock back restores it.
        Dictionary saved;
        for (const char* key : kAppleDockKeys) {
            Value v = suite->objectForKey(key);
            if (!v.isNil()) saved[key] = v;
        }
        own.setObject(Value(saved), kSavedAppleDockState);
        own.synchronize();

        suite->setInteger(1000000, "autohide-delay");
        suite->setBool(true, "autohide");
        suite->setBool(true, "no-bouncing");
    } else {
        Value savedValue = own.objectForKey(kSavedAppleDockState);
        const Dictionary* saved = savedValue.dictionary();
        auto restore = [&](const char* key, const Value& fallback) {
            auto it = saved ? saved->find(key) : Dictionary::const_iterator();
            suite->setObject(saved && it != saved->end() ? it->second : fallback, key);
        };
        restore("no-bouncing", Value(false));
        restore("autohide", Value(false));
        restore("autohide-delay", Value());
        if (!savedValue.isNil()) {
            own.removeObjectForKey(kSavedAppleDockState);
            own.synchronize();
        }
    }
    restartMacOSDock();
}

void AppDelegate::restartMacOSDock() {
    auto suite = UserDefaults::suiteNamed(kAppleDockSuite);
    suite->synchronize();
    auto running = RunningApplication::runningApplicationsWithBundleIdentifier(kAppleDockSuite);
    if (!running.empty()) running.front()->terminate();
}

// ---------------------------------------------------------------------------------
// Termination

void AppDelegate::applicationWillTerminate() {
    if (terminated_) return;
    terminated_ = true;
    NotificationCenter::defaultCenter().postNotificationName("saveDocksData");
    if (UserDefaults::standardUserDefaults().boolForKey("HideAppleDock")) toggleMacOSDockAction(false);
    UserDefaults::synchronizeAll();
}

}  // namespace qs
