#pragma once
// The preferences window: one window with a toolbar of panes, showing one pane at a time,
// titled "Preferences". It keeps one size whichever pane it shows: the size of the
// largest pane. The window has no maximise button; closing
// it only hides it (the panes' bindings then rest).
//
// The program has one such window, built on first use (prefsController: the panes
// General, Appearance, Widgets, Advanced and Blacklist/Excluded, in that order, with the
// dock manager's configuration and model) and kept for the whole run.
// showPreferences shows it, on the user's current desktop, active and centred on the
// screen each time; showPreferences(identifier) shows it on a given pane.

#include <QActionGroup>
#include <QPointer>
#include <QToolBar>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Object.h"
#include "preferences/PreferencesPane.h"

class QVBoxLayout;

namespace qs {

class AppDelegate;

class PreferencesWindowController : public Object {
public:
    // initWithViewControllers:title:
    static std::shared_ptr<PreferencesWindowController> initWithViewControllers(
        std::vector<PreferencesPanePtr> viewControllers, std::string title);
    ~PreferencesWindowController() override;

    std::string className() const override { return "MASPreferencesWindowController"; }

    // The window, built on the first call (the first pane selected).
    QWidget* window();
    bool isWindowLoaded() const { return !window_.isNull(); }
    bool isWindowVisible() const;
    QToolBar* toolbar() const { return toolbar_; }
    const std::string& title() const { return title_; }

    const std::vector<PreferencesPanePtr>& viewControllers() const { return viewControllers_; }
    PreferencesPanePtr selectedViewController() const;
    void selectControllerAtIndex(size_t index);
    // NO when no pane has that identifier.
    bool selectControllerWithIdentifier(const std::string& identifier);

    // Orders the window front (building it first), on the current desktop.
    void showWindow();
    // Centres the window on the screen the pointer is on.
    void center();
    void close();

    // The program's window (the application delegate's prefsController): built once.
    static std::shared_ptr<PreferencesWindowController> prefsController();
    static bool hasPrefsController();
    // showPrefsPanel: activates the program, shows the window and centres it.
    static void showPreferences();
    // The same, on the pane with that identifier ("GeneralPreferences", "Appearance",
    // "Widgets", "Advanced", "Blacklist"); an unknown identifier leaves the pane as it was.
    static void showPreferences(const std::string& paneIdentifier);
    // Closes and drops the program's window (at quit, while the application object still
    // exists; also done on the application's aboutToQuit).
    static void releasePrefsController();

    // The application delegate that the panes send status-menu updates to.
    static void setApplicationDelegate(const std::shared_ptr<AppDelegate>& delegate);
    static std::shared_ptr<AppDelegate> applicationDelegate();

    // The window's widget tells the controller that the user closed it.
    void windowDidClose();

private:
    PreferencesWindowController() = default;
    void moveToActiveSpace();
    void keepOneSize();

    std::vector<PreferencesPanePtr> viewControllers_;
    std::string title_;
    size_t selected_ = 0;
    bool hasSelection_ = false;
    QPointer<QWidget> window_;
    QPointer<QToolBar> toolbar_;
    QPointer<QActionGroup> actions_;
    QPointer<QWidget> paneHolder_;
    QVBoxLayout* paneLayout_ = nullptr;
};

using PreferencesWindowControllerPtr = std::shared_ptr<PreferencesWindowController>;

}  // namespace qs
