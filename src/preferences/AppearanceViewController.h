#pragma once
// The Appearance pane: the theme (chosen from the theme manager's list), the background
// colour of the colour theme and its light or dark look, the corners, the shadow and the
// running marks, and the theme-folder commands (reload, reset, open the folder).
//
// The colour well is usable only while the colour theme is the current one: setState
// runs when the view loads and appears, after a reload or reset, and whenever the theme
// manager's current theme changes while the pane shows, so the well follows a choice at
// once.

#include <memory>
#include <string>

#include "preferences/PreferencesPane.h"

namespace Ui {
class AppearanceViewController;
}

class QLabel;

namespace qs {

class ColorWell;
class DockConfiguration;
class SegmentedControl;

class AppearanceViewController : public PreferencesPane {
public:
    static std::shared_ptr<AppearanceViewController> create();
    AppearanceViewController();
    ~AppearanceViewController() override;

    std::string className() const override { return "AppearanceViewController"; }
    std::string viewIdentifier() const override { return "Appearance"; }
    QIcon toolbarItemImage() const override;
    std::string toolbarItemLabel() const override { return localizedString("Appearance"); }
    Value valueForKey(const std::string& key) const override;

    std::shared_ptr<DockConfiguration> config() const { return config_.lock(); }
    void setConfig(const std::shared_ptr<DockConfiguration>& config);

    // Outlets.
    QLabel* colorLabel() const;
    ColorWell* picker() const;
    QLabel* label() const;
    QLabel* label2() const;
    SegmentedControl* appearanceBox() const;

    // Enables the colour well exactly when the current theme is the colour theme.
    void setState();
    // Actions.
    void refresh();
    void reset();
    void openThemeFolder();

    void viewWillAppear() override;
    void viewDidDisappear() override;

protected:
    QWidget* loadView() override;
    void viewDidLoad() override;
    std::map<std::string, ObjectPtr> interfaceObjects() override;

private:
    std::weak_ptr<DockConfiguration> config_;
    std::unique_ptr<Ui::AppearanceViewController> ui_;
    KeyValueObservation themeObservation_;
};

}  // namespace qs
