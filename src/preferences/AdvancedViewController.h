#pragma once
// The Advanced pane: hiding or showing the system dock (the button's title says which
// it will do), showing only the kept applications, the order of the items, keeping
// maximised windows clear of the dock, the dock's window level and what a click on a
// running application brings forward.
//
// The system dock button: its title is its alternate title (from the interface file)
// with every "Toggle" replaced by "Hide" while the system dock shows (its
// "autohide-delay" below 60), else by "Show". A click writes the hidden or the restored
// state into the "com.apple.dock" domain (the restored state gives back what the
// user had before it was hidden, as the program does at quit), disables the button for
// 1.0 s, then restarts the system dock; the title follows once the button is enabled
// again.

#include <memory>
#include <string>

#include "platform/foundation/RunLoop.h"
#include "preferences/PreferencesPane.h"

namespace Ui {
class AdvancedViewController;
}

class QPushButton;

namespace qs {

class DockConfiguration;

class AdvancedViewController : public PreferencesPane {
public:
    static std::shared_ptr<AdvancedViewController> create();
    AdvancedViewController();
    ~AdvancedViewController() override;

    std::string className() const override { return "AdvancedViewController"; }
    std::string viewIdentifier() const override { return "Advanced"; }
    QIcon toolbarItemImage() const override;
    std::string toolbarItemLabel() const override { return localizedString("Advanced"); }
    Value valueForKey(const std::string& key) const override;

    std::shared_ptr<DockConfiguration> config() const { return config_.lock(); }
    void setConfig(const std::shared_ptr<DockConfiguration>& config);

    QPushButton* toggleMacOSDockButton() const;
    void updateToggleMacOSDockButton();
    void toggleMacOSDockAction();
    void enableToggleMacOSDockButton();

protected:
    QWidget* loadView() override;
    void viewDidLoad() override;

private:
    std::weak_ptr<DockConfiguration> config_;
    std::unique_ptr<Ui::AdvancedViewController> ui_;
    RunLoop::TimerId enableTimer_ = 0;
};

}  // namespace qs
