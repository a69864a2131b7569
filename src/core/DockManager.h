#pragma once
// The single owner of the dock: the main model, the main configuration and the dock
// windows that show them. It loads and saves both in the user defaults, decides on
// which screen or screens a dock window stands, rebuilds the windows when screens,
// spaces or the relevant settings change, keeps maximised windows of other applications
// clear of the dock, and owns the global auto-hide shortcut.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/DockWindowController.h"
#include "platform/desktop/Screen.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Object.h"

namespace qs {

class DockConfiguration;
class DockModel;
class Displays;
class SIWindow;
class Shortcut;
class ThemeManager;
class UserDefaults;

class DockManager : public Object, public KeyValueObserver {
public:
    using WindowFactory = std::function<DockPanelWindowPtr(std::shared_ptr<DockModel>,
                                                           std::shared_ptr<DockConfiguration>, ScreenPtr)>;

    // Created once, on the first call (loads the dock, builds the windows, binds the
    // shortcut).
    static std::shared_ptr<DockManager> sharedInstance();
    static bool hasSharedInstance();
    // Drops the shared manager: its windows are closed and its observations ended, and
    // the next sharedInstance builds a fresh one. The program calls it at quit, while
    // the windowing system is still there.
    static void releaseSharedInstance();
    static void resetSharedInstanceForTesting() { releaseSharedInstance(); }

    // How dock windows are made (initWithPanelModel:withConfiguration:screen:). The
    // dock interface installs the real panel; without a factory no window is built.
    static void setWindowFactory(WindowFactory factory);

    ~DockManager() override;

    std::string className() const override { return "DockManager"; }
    // "mainConfig", "mainModel", "displaysController" (for key paths on the manager).
    Value valueForKey(const std::string& key) const override;

    void startManager();
    void loadDocksData();
    void saveDocksData();
    ScreenPtr getWindowScreen();
    void createMainController();
    void recreateWindows();

    void receiveWakeNote(const Notification& notification);
    void activeSpaceDidChange();
    void didChangeScreenParameters();
    void observeValueForKeyPath(const std::string& keyPath, Object* object, const KeyValueChange& change,
                                void* context) override;

    // A window of another application was created or resized.
    void onAXWindowResizedNotification(std::shared_ptr<SIWindow> window);

    void registerHotkeys(bool reset);
    void registerShotcutsDefaultsForKey(const std::string& key, std::shared_ptr<Shortcut> shortCut, bool reset);

    const std::shared_ptr<DockConfiguration>& mainConfig() const { return mainConfig_; }
    const std::shared_ptr<DockModel>& mainModel() const { return mainModel_; }
    const std::shared_ptr<Displays>& displaysController() const { return displaysController_; }
    const std::vector<DockWindowControllerPtr>& panelControllers() const { return panelControllers_; }

private:
    DockManager();
    void init();
    void stopObserving();
    void addPanel(const ScreenPtr& windowScreen, const ScreenPtr& fadeScreen);
    void closeAllPanels();
    // The object archived under the defaults key; nullptr when there is none or it cannot
    // be read (it is then kept aside as a file, and the key removed). An archive read in
    // part is copied aside too, and the log says what was left out.
    template <class T>
    std::shared_ptr<T> loadArchive(const std::string& key, const char* what);

    std::vector<DockWindowControllerPtr> panelControllers_;
    std::shared_ptr<ThemeManager> themeManager_;
    UserDefaults* defaults_ = nullptr;
    std::shared_ptr<DockConfiguration> mainConfig_;
    std::shared_ptr<DockModel> mainModel_;
    std::shared_ptr<Displays> displaysController_;

    std::recursive_mutex rebuildLock_;
    bool rebuilding_ = false;
    bool rebuildPending_ = false;
    bool observing_ = false;
};

}  // namespace qs
