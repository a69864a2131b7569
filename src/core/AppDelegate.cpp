#include "core/AppDelegate.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include "core/ApplicationInterface.h"
#include "core/DockManager.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/MainBundle.h"
#include "platform/desktop/Workspace.h"
#include "platform/desktop/UserMessages.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Menu.h"
#include "platform/ui/StatusItem.h"
#include "tracking/AccessHelper.h"
#include "tracking/AppMonitoringService.h"
#include "tracking/BadgeHelper.h"

namespace qs {

namespace {

constexpr const char* kAppleDockSuite = "com.apple.dock";
// The system Dock's own settings as they were before we hid it.
constexpr const char* kSavedAppleDockState = "SavedAppleDockState";
const char* const kAppleDockKeys[] = {"autohide-delay", "autohide", "no-bouncing"};

#ifndef QUAYSIDE_UPDATE_FEED_URL
#define QUAYSIDE_UPDATE_FEED_URL ""
#endif
#ifndef QUAYSIDE_BETA_FEED_URL
#define QUAYSIDE_BETA_FEED_URL ""
#endif

bool& dockStarted() {
    static bool started = false;
    return started;
}

std::weak_ptr<AppDelegate>& currentDelegate() {
    static std::weak_ptr<AppDelegate> delegate;
    return delegate;
}

std::optional<std::pair<std::string, std::string>>& feedOverride() {
    static std::optional<std::pair<std::string, std::string>> feeds;
    return feeds;
}

ApplicationInterface* application(const char* what) {
    auto* app = ApplicationInterface::installed();
    if (!app) log(what, ": the program's interface is not running");
    return app;
}

// Drawn when the program's own image is missing: a tray shows no item without an icon.
ImagePtr fallbackStatusIcon() {
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 40));
    p.drawRoundedRect(QRectF(6, 40, 52, 14), 5, 5);
    for (int i = 0; i < 3; ++i) p.drawRoundedRect(QRectF(10 + i * 16, 16, 12, 20), 3, 3);
    return std::make_shared<Image>(std::move(image));
}

}  // namespace

AppDelegate::AppDelegate() = default;
AppDelegate::~AppDelegate() = default;

void AppDelegate::resetDockStartForTesting() { dockStarted() = false; }

std::shared_ptr<AppDelegate> AppDelegate::current() { return currentDelegate().lock(); }

std::string AppDelegate::SUFeedURL() { return feedOverride() ? feedOverride()->first : QUAYSIDE_UPDATE_FEED_URL; }
std::string AppDelegate::betaFeedURL() {
    return feedOverride() ? feedOverride()->second : QUAYSIDE_BETA_FEED_URL;
}
void AppDelegate::setFeedURLsForTesting(std::optional<std::pair<std::string, std::string>> feeds) {
    feedOverride() = std::move(feeds);
}

// ---------------------------------------------------------------------------------
// Launch

void AppDelegate::applicationDidFinishLaunching() {
    auto& defaults = UserDefaults::standardUserDefaults();
    auto self = std::static_pointer_cast<AppDelegate>(shared_from_this());
    currentDelegate() = self;

    // 1. The menu-bar menu; it follows "HideMenuBarIcon" from then on.
    setupStatusMenu();
    std::weak_ptr<AppDelegate> weakDelegate = self;
    menuBarIconObservation_ = UserDefaultsController::sharedUserDefaultsController().observe(
        "values.HideMenuBarIcon", KeyValueObservingOptionNew, [weakDelegate](const KeyValueChange&) {
            if (auto s = weakDelegate.lock()) s->setupStatusMenu();
        });

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
    if (auto* app = application("the what's-new window cannot be shown")) newsWC_ = app->makeNewsWindowController();
    if (auto news = newsWC_) RunLoop::main().after(2.0, [news] { news->showWhatsNew(); });
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
    // Written once for the whole table: a first start stores eleven values, and one
    // atomic write of the file keeps them as well as eleven would.
    bool added = false;
    for (const auto& [key, value] : table) {
        if (!defaults_->valueForKey(key).isNil()) continue;
        defaults_->setObject(value, key);
        added = true;
    }
    if (added) defaults_->synchronize();
}

void AppDelegate::showAccessDialog() {
    auto* app = application("the permission window cannot be shown");
    if (!app) return;
    ac_ = app->makeAccessController();
    if (!ac_) return;
    ac_->setLevel(8);
    app->activateIgnoringOtherApps();
    ac_->orderFront();
}

// ---------------------------------------------------------------------------------
// The menu-bar menu and the program's commands

void AppDelegate::setupStatusMenu() {
    if (UserDefaults::standardUserDefaults().boolForKey("HideMenuBarIcon")) {
        statusItem_ = nullptr;
        return;
    }
    if (statusItem_) return;

    std::weak_ptr<AppDelegate> weak = std::static_pointer_cast<AppDelegate>(shared_from_this());
    // Items without a target go up the responder chain, which ends at this delegate.
    auto send = [weak](const char* selector, void (*call)(AppDelegate&, MenuItem&)) {
        return MenuItem::Action{selector, [weak, call](MenuItem& sender) {
                                    if (auto s = weak.lock()) call(*s, sender);
                                }};
    };
    statusMenu_ = std::make_shared<Menu>("");
    auto& menu = *statusMenu_;
    menu.addItemWithTitle("About", send("showAboutPanel", [](AppDelegate& d, MenuItem&) { d.showAboutPanel(); }), "");
    menu.addItem(MenuItem::separatorItem());
    menu.addItemWithTitle("Preferences...",
                          send("showPrefsPanel:", [](AppDelegate& d, MenuItem& s) { d.showPrefsPanel(&s); }), "");
    menu.addItem(MenuItem::separatorItem());
    menu.addItemWithTitle("Check for Updates...",
                          send("checkUpates:", [](AppDelegate& d, MenuItem& s) { d.checkUpates(&s); }), "");
    menu.addItem(MenuItem::separatorItem());
    menu.addItemWithTitle("Send Feedback/Support ...",
                          send("sendFeedback", [](AppDelegate& d, MenuItem&) { d.sendFeedback(); }), "")
        ->setTarget(this);
    menu.addItem(MenuItem::separatorItem());
    menu.addItemWithTitle("Check / Request Permissions",
                          send("_showAccessDialog", [](AppDelegate& d, MenuItem&) { d._showAccessDialog(); }), "")
        ->setTarget(this);
    menu.addItemWithTitle("Help/Quayside Documentation",
                          send("openDocs", [](AppDelegate& d, MenuItem&) { d.openDocs(); }), "")
        ->setTarget(this);
    menu.addItem(MenuItem::separatorItem());
    menu.addItem(MenuItem::separatorItem());
    menu.addItemWithTitle("Quit", send("terminate:", [](AppDelegate& d, MenuItem& s) { d.terminate(&s); }), "");

    statusItem_ = StatusBar::systemStatusBar().statusItemWithLength(NSVariableStatusItemLength);
    ImagePtr icon = MainBundle::imageForResource("status_icon");
    statusItem_->setImage(icon ? icon : fallbackStatusIcon());
    statusItem_->setHighlightMode(true);
    statusItem_->setMenu(statusMenu_);
}

void AppDelegate::showAboutPanel() {
    auto* app = application("the about panel cannot be shown");
    if (!app) return;
    app->orderFrontStandardAboutPanel();
    app->activateIgnoringOtherApps();
}

void AppDelegate::showPrefsPanel(const Object*) {
    if (!preferencesWindowHook_) {
        log("the preferences window is not available in this build");
        return;
    }
    preferencesWindowHook_();
}

void AppDelegate::showPreferences() { showPrefsPanel(this); }

void AppDelegate::setPreferencesWindowHook(std::function<void()> showPreferences) {
    preferencesWindowHook_ = std::move(showPreferences);
}

void AppDelegate::checkUpates(const Object*) {
    if (auto* app = ApplicationInterface::installed()) app->activateIgnoringOtherApps();
    auto& updater = SUUpdater::sharedUpdater();
    updater.setDelegate(std::static_pointer_cast<SUUpdaterDelegate>(
        std::static_pointer_cast<AppDelegate>(shared_from_this())));
    updater.checkForUpdates();
}

void AppDelegate::openDocument(const std::string& name) {
    std::string path = MainBundle::pathForResource(name, MainBundle::kDocuments);
    if (path.empty()) {
        log("the document ", name, " is not installed with the program");
        return;
    }
    auto* workspace = desktop::services().workspace.get();
    if (!workspace || !workspace->openURL(*URL::fileURLWithPath(path))) {
        log("the document ", path, " cannot be opened");
        desktop::tellUserItFailed(desktop::quotedName(path) + " could not be opened.");
    }
}

void AppDelegate::sendFeedback() {
    if (auto* app = ApplicationInterface::installed()) app->activateIgnoringOtherApps();
    openDocument("FEEDBACK.md");
}

void AppDelegate::openDocs() { openDocument("README.md"); }

void AppDelegate::_showAccessDialog() {
    // A window still open from before goes, rather than stacking a second copy.
    if (ac_) ac_->closeWindow();
    showAccessDialog();
}

void AppDelegate::terminate(const Object*) {
    if (auto* app = application("the program cannot be ended from its menu")) app->terminate();
}

std::string AppDelegate::getFeedURL() const {
    return UserDefaults::standardUserDefaults().boolForKey("SUUpdaterChecksForBetaUpdates") ? betaFeedURL()
                                                                                           : SUFeedURL();
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

void AppDelegate::hideMacOSDockSettings(UserDefaults& suite) {
    // Remember what the user had, so that giving the Dock back restores it.
    auto& own = UserDefaults::standardUserDefaults();
    Dictionary saved;
    for (const char* key : kAppleDockKeys) {
        Value v = suite.objectForKey(key);
        if (!v.isNil()) saved[key] = v;
    }
    own.setObject(Value(saved), kSavedAppleDockState);
    own.synchronize();
    suite.setInteger(1000000, "autohide-delay");
    suite.setBool(true, "autohide");
    suite.setBool(true, "no-bouncing");
}

void AppDelegate::restoreMacOSDockSettings(UserDefaults& suite) {
    auto& own = UserDefaults::standardUserDefaults();
    Value savedValue = own.objectForKey(kSavedAppleDockState);
    const Dictionary* saved = savedValue.dictionary();
    auto restore = [&](const char* key, const Value& fallback) {
        auto it = saved ? saved->find(key) : Dictionary::const_iterator();
        suite.setObject(saved && it != saved->end() ? it->second : fallback, key);
    };
    restore("no-bouncing", Value(false));
    restore("autohide", Value(false));
    restore("autohide-delay", Value());
    if (!savedValue.isNil()) {
        own.removeObjectForKey(kSavedAppleDockState);
        own.synchronize();
    }
}

void AppDelegate::toggleMacOSDockAction(bool hide) {
    auto suite = UserDefaults::suiteNamed(kAppleDockSuite);
    if (hide && suite->integerForKey("autohide-delay") <= 60)
        hideMacOSDockSettings(*suite);
    else
        restoreMacOSDockSettings(*suite);
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
    // The program's own windows and its tray icon end with it, while the interface that
    // made them still runs.
    menuBarIconObservation_.invalidate();
    statusItem_.reset();
    ac_.reset();
    newsWC_.reset();
}

}  // namespace qs
