#include "core/DockManager.h"

#include "core/DockConfiguration.h"
#include "core/DockModel.h"
#include "core/ThemeManager.h"
#include "platform/desktop/Notifications.h"
#include "platform/desktop/Shortcut.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "tracking/Displays.h"
#include "tracking/RunningApplicationEx.h"
#include "tracking/SIWindow.h"

namespace qs {

namespace {

char myContext[] = "myContext";

constexpr const char* kMainDockModelKey = "MainDockModelKey";
constexpr const char* kMainDockConfigKey = "MainDockConfigKey";
constexpr const char* kAutoHideHotkey = "autoHideHotkey";

std::shared_ptr<DockManager>& sharedSlot() {
    static std::shared_ptr<DockManager> instance;
    return instance;
}

DockManager::WindowFactory& factorySlot() {
    static DockManager::WindowFactory factory;
    return factory;
}

UserDefaults& standardDefaults() { return UserDefaults::standardUserDefaults(); }

}  // namespace

// ---------------------------------------------------------------------------------
// Creation

std::shared_ptr<DockManager> DockManager::sharedInstance() {
    auto& slot = sharedSlot();
    if (!slot) {
        // Stored before init runs, so a call made while the dock is being built answers
        // this same manager.
        slot = std::shared_ptr<DockManager>(new DockManager());
        // The windows the running applications track are kept clear of the panels.
        RunningApplicationEx::setWindowChangedHandler([](const std::shared_ptr<SIWindow>& window) {
            if (hasSharedInstance()) sharedInstance()->onAXWindowResizedNotification(window);
        });
        slot->init();
    }
    return slot;
}

bool DockManager::hasSharedInstance() { return static_cast<bool>(sharedSlot()); }

void DockManager::releaseSharedInstance() {
    auto manager = std::move(sharedSlot());
    sharedSlot().reset();
    if (!manager) return;
    RunningApplicationEx::setWindowChangedHandler(nullptr);
    manager->stopObserving();
    manager->closeAllPanels();
    // The auto-hide shortcut's key grab goes with the dock (it holds the desktop's hotkey
    // service, and with it the X connection, open).
    ShortcutBinder::sharedBinder().breakBindingWithDefaultsKey(kAutoHideHotkey);
}

void DockManager::setWindowFactory(WindowFactory factory) { factorySlot() = std::move(factory); }

DockManager::DockManager() = default;

DockManager::~DockManager() { stopObserving(); }

void DockManager::init() {
    panelControllers_.clear();
    displaysController_ = Displays::sharedInstance();
    startManager();
    defaults_ = &standardDefaults();
    registerHotkeys(false);
}

Value DockManager::valueForKey(const std::string& key) const {
    if (key == "mainConfig") return mainConfig_ ? Value(mainConfig_) : Value();
    if (key == "mainModel") return mainModel_ ? Value(mainModel_) : Value();
    if (key == "displaysController") return displaysController_ ? Value(displaysController_) : Value();
    return Object::valueForKey(key);
}

void DockManager::startManager() {
    loadDocksData();
    themeManager_ = ThemeManager::sharedInstance();
    createMainController();

    auto& center = NotificationCenter::defaultCenter();
    auto& workspace = NotificationCenter::workspaceCenter();
    center.addObserver(this, "saveDocksData", nullptr, [this](const Notification&) { saveDocksData(); });
    addObserver(this, "mainConfig.cornerStyle", KeyValueObservingOptionNew | KeyValueObservingOptionOld, myContext);
    workspace.addObserver(this, NSWorkspaceActiveSpaceDidChangeNotification, nullptr,
                          [this](const Notification&) { activeSpaceDidChange(); });
    center.addObserver(this, NSApplicationDidChangeScreenParametersNotification, nullptr,
                       [this](const Notification&) { didChangeScreenParameters(); });
    workspace.addObserver(this, "NSWorkspaceActiveDisplayDidChangeNotification", nullptr,
                          [this](const Notification&) { activeSpaceDidChange(); });
    auto& controller = UserDefaultsController::sharedUserDefaultsController();
    controller.addObserver(this, "values.displayIndex", KeyValueObservingOptionNew, myContext);
    controller.addObserver(this, "values.Indent", KeyValueObservingOptionNew, myContext);
    workspace.addObserver(this, NSWorkspaceDidWakeNotification, nullptr,
                          [this](const Notification& n) { receiveWakeNote(n); });
    observing_ = true;
}

void DockManager::stopObserving() {
    if (!observing_) return;
    observing_ = false;
    NotificationCenter::defaultCenter().removeObserver(static_cast<const void*>(this));
    NotificationCenter::workspaceCenter().removeObserver(static_cast<const void*>(this));
    removeObserver(this, "mainConfig.cornerStyle", myContext);
    auto& controller = UserDefaultsController::sharedUserDefaultsController();
    controller.removeObserver(this, "values.displayIndex", myContext);
    controller.removeObserver(this, "values.Indent", myContext);
}

// ---------------------------------------------------------------------------------
// Load and save

template <class T>
std::shared_ptr<T> DockManager::loadArchive(const std::string& key, const char* what) {
    auto& defaults = standardDefaults();
    Value stored = defaults.objectForKey(key);
    if (stored.isNil()) return nullptr;
    KeyedUnarchiver::Report report;
    std::shared_ptr<T> object;
    if (const Data* bytes = stored.data()) object = KeyedUnarchiver::unarchiveObjectWithData(*bytes, report).template objectAs<T>();
    if (!object) {
        // Kept once, as a file beside the settings; a fresh one is used.
        std::string why = !stored.isData()               ? std::string("it is not data")
                          : !report.failure.empty()      ? report.failure
                                                         : std::string("it holds no ") + what;
        defaults.keepValueAside(key, why);
        return nullptr;
    }
    if (!report.complete()) {
        // Read in part: the whole archive is kept before the next save replaces it.
        std::string file = defaults.keepValueAside(key, "not every part could be read", false);
        log("the stored ", what, " was read without what could not be read (", report.summary(), ")",
            file.empty() ? std::string("; no copy of it could be kept") : "; the whole archive is kept as " + file);
    }
    return object;
}

void DockManager::loadDocksData() {
    mainModel_ = loadArchive<DockModel>(kMainDockModelKey, "dock model");
    if (!mainModel_) mainModel_ = DockModel::create();
    mainConfig_ = loadArchive<DockConfiguration>(kMainDockConfigKey, "dock configuration");
    if (!mainConfig_) mainConfig_ = DockConfiguration::create();
}

void DockManager::saveDocksData() {
    auto& defaults = standardDefaults();
    defaults.setArchivedData(KeyedArchiver::archivedDataWithRootObject(Value(mainModel_)), kMainDockModelKey);
    defaults.setArchivedData(KeyedArchiver::archivedDataWithRootObject(Value(mainConfig_)), kMainDockConfigKey);
    defaults.synchronize();
}

// ---------------------------------------------------------------------------------
// Windows

ScreenPtr DockManager::getWindowScreen() {
    int64_t displayIndex = standardDefaults().integerForKey("displayIndex");
    auto screens = Screen::screens();
    if (displayIndex == 0) return screens.empty() ? nullptr : screens.front();
    if (displayIndex == 1) {
        ScreenPtr result = Screen::mainScreen();
        for (const auto& s : screens)
            if (s != screens.front()) result = s;
        return result;
    }
    return Screen::mainScreen();
}

void DockManager::addPanel(const ScreenPtr& windowScreen, const ScreenPtr& fadeScreen) {
    auto& factory = factorySlot();
    if (!factory) {
        log("no dock window can be made (no window factory installed)");
        return;
    }
    DockPanelWindowPtr window = factory(mainModel_, mainConfig_, windowScreen);
    if (!window) return;
    panelControllers_.push_back(DockWindowController::initWithWindow(window));
    window->fadeInOnScreen(fadeScreen ? fadeScreen : windowScreen);
}

void DockManager::createMainController() {
    int64_t displayIndex = standardDefaults().integerForKey("displayIndex");
    if (displayIndex <= 2) {
        ScreenPtr screen = getWindowScreen();
        // A panel needs a screen: with none, the next rebuild trigger makes it.
        if (!screen) {
            log("no screen for the dock; it appears with the next screen change");
            return;
        }
        addPanel(screen, getWindowScreen());
        return;
    }
    for (const auto& screen : Screen::screens()) addPanel(screen, screen);
}

void DockManager::closeAllPanels() {
    auto controllers = panelControllers_;
    for (const auto& c : controllers) {
        if (!c->window()) continue;
        c->window()->orderOut();
        c->window()->close();
    }
    while (!panelControllers_.empty()) panelControllers_.pop_back();
    panelControllers_.clear();
}

void DockManager::recreateWindows() {
    std::lock_guard<std::recursive_mutex> lock(rebuildLock_);
    // A trigger that arrives while the windows are being rebuilt (a screen change
    // delivered from inside a panel's construction, say) asks for one more rebuild after
    // this one instead of nesting a second generation of windows into it.
    if (rebuilding_) {
        rebuildPending_ = true;
        return;
    }
    rebuilding_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{rebuilding_};
    do {
        rebuildPending_ = false;
        closeAllPanels();
        createMainController();
    } while (rebuildPending_);
}

void DockManager::receiveWakeNote(const Notification&) { recreateWindows(); }

void DockManager::activeSpaceDidChange() {
    if (standardDefaults().integerForKey("displayIndex") == 2) recreateWindows();
}

void DockManager::didChangeScreenParameters() { recreateWindows(); }

void DockManager::observeValueForKeyPath(const std::string& keyPath, Object*, const KeyValueChange&, void*) {
    if (keyPath == "mainConfig.cornerStyle") recreateWindows();
    if (keyPath == "values.displayIndex") recreateWindows();
    if (keyPath == "values.Indent") recreateWindows();
}

// ---------------------------------------------------------------------------------
// Maximised windows beside the dock

void DockManager::onAXWindowResizedNotification(std::shared_ptr<SIWindow> window) {
    if (!window) return;
    if (!standardDefaults().boolForKey("ReserveSpace")) return;
    // A copy: moving the window may cause a rebuild that replaces the controllers.
    auto controllers = panelControllers_;
    ScreenPtr windowScreen = window->screen();
    if (!windowScreen) return;

    if (window->isMaximized()) {
        for (const auto& c : controllers) {
            const auto& dock = c->window();
            if (!dock || dock->screen() != windowScreen) continue;
            if (dock->alphaValue() == 0.0) return;
            window->setFrame(dock->maxFrameForMaximize());
        }
    }
    if (window->isVerticalMaximized()) {
        for (const auto& c : controllers) {
            const auto& dock = c->window();
            if (!dock || dock->screen() != windowScreen) continue;
            if (dock->alphaValue() == 0.0) return;
            Rect r = dock->maxFrameForVerticalMaximizeFrame(window->frame());
            if (!RectEqualToRect(r, RectZero)) window->setFrame(r);
        }
    }
}

// ---------------------------------------------------------------------------------
// The auto-hide shortcut

void DockManager::registerHotkeys(bool reset) {
    auto shortcut = Shortcut::shortcutWithKeyCode(4, 0x140000);
    registerShotcutsDefaultsForKey(kAutoHideHotkey, shortcut, reset);
    ShortcutBinder::sharedBinder().bindShortcutWithDefaultsKey(kAutoHideHotkey, [] {
        auto& defaults = standardDefaults();
        defaults.setBool(!defaults.boolForKey("HideQuayside"), "HideQuayside");
    });
}

void DockManager::registerShotcutsDefaultsForKey(const std::string& key, std::shared_ptr<Shortcut> shortCut,
                                                 bool reset) {
    auto& defaults = standardDefaults();
    if (!shortCut) return;
    if (reset || defaults.objectForKey(key).isNil()) {
        defaults.setObject(Value(shortCut->archivedData()), key);
        defaults.synchronize();
    }
}

}  // namespace qs
