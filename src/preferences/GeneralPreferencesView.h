#pragma once
// The General pane: the screen the dock uses, its edge, alignment and icon size, hiding
// the dock (with its delay and the shortcut that toggles it), the gap to the screen edge,
// the menu-bar icon, hiding the system dock, and starting at login. Every control is
// bound in the interface file; the pane adds the shortcut recorder's tie to
// "autoHideHotkey", the menu-bar icon's update of the status item, the values shown
// beside the sliders, and writing the defaults after a change. The icon size follows
// its slider while it is dragged.

#include <QString>
#include <memory>
#include <string>

#include "platform/ui/Binding.h"
#include "preferences/PreferencesPane.h"

namespace Ui {
class GeneralPreferencesView;
}

namespace qs {

class DockConfiguration;
class ShortcutRecorder;

class GeneralPreferencesView : public PreferencesPane {
public:
    static std::shared_ptr<GeneralPreferencesView> create();
    GeneralPreferencesView();
    ~GeneralPreferencesView() override;

    std::string className() const override { return "GeneralPreferencesView"; }
    std::string viewIdentifier() const override { return "GeneralPreferences"; }
    QIcon toolbarItemImage() const override;
    std::string toolbarItemLabel() const override { return localizedString("General"); }

    // "config" (the dock configuration) and "launchAtLoginController" (for the bindings).
    Value valueForKey(const std::string& key) const override;

    std::shared_ptr<DockConfiguration> config() const { return config_.lock(); }
    // Announces "config": the controls bound to it follow the new configuration.
    void setConfig(const std::shared_ptr<DockConfiguration>& config);

    // The object behind the launch-at-login check box: anything offering
    // `bool launchAtLogin() const`, `void setLaunchAtLogin(bool)` and announcing
    // "launchAtLogin". Without one the check box is hidden.
    template <class T>
    void setLaunchAtLoginController(std::shared_ptr<T> controller) {
        if (!controller) return setLaunchAtLoginAdapter(nullptr);
        std::weak_ptr<T> weak = controller;
        setLaunchAtLoginAdapter(std::make_shared<KeyValueAdapter>(
            controller, "launchAtLogin",
            [weak]() -> Value {
                auto c = weak.lock();
                return c ? Value(bool(c->launchAtLogin())) : Value();
            },
            [weak](const Value& v) {
                if (auto c = weak.lock()) c->setLaunchAtLogin(v.boolValue());
            }));
    }
    ObjectPtr launchAtLoginController() const;

    ShortcutRecorder* toggleHotkeyViewShortcutView() const;

    // Actions: the menu-bar icon option changed (write the defaults, then let the
    // application delegate add or drop the status item); write the defaults.
    void showStatusBarIcon();
    void syncDefaults();

    // The texts beside the sliders: "52 px"; the show delay that a stored
    // "autoHideDelay1" gives ("No delay", "0.5 s").
    static QString iconSizeText(int points);
    static QString autoHideDelayText(int tenths);

protected:
    QWidget* loadView() override;
    void viewDidLoad() override;

private:
    void setLaunchAtLoginAdapter(std::shared_ptr<KeyValueAdapter> adapter);

    std::weak_ptr<DockConfiguration> config_;
    std::shared_ptr<KeyValueAdapter> launchAtLogin_;
    std::unique_ptr<Ui::GeneralPreferencesView> ui_;
};

}  // namespace qs
