#pragma once
// The Widgets pane: the start menu and the trash, badges, window previews and their
// controls, names under the pointer, thumbnails and the preview size, all bound in the
// interface file; and, while full disk access is missing, a line saying so with a button
// that opens the permission window.
//
// The permission window belongs to the program's shell: it installs the runner that
// shows that window modally (setAccessDialogRunner). When its session ends the pane
// posts "TrashAccess" and reads the permission again.

#include <functional>
#include <memory>
#include <string>

#include "preferences/PreferencesPane.h"

namespace Ui {
class WidgetsViewController;
}

class QLabel;
class QPushButton;

namespace qs {

inline constexpr const char* kTrashAccessNotification = "TrashAccess";

class WidgetsViewController : public PreferencesPane {
public:
    // Shows the permission window modally and returns when its session has ended (the
    // window closed).
    using AccessDialogRunner = std::function<void()>;
    static void setAccessDialogRunner(AccessDialogRunner runner);

    static std::shared_ptr<WidgetsViewController> create();
    WidgetsViewController();
    ~WidgetsViewController() override;

    std::string className() const override { return "WidgetsViewController"; }
    std::string viewIdentifier() const override { return "Widgets"; }
    QIcon toolbarItemImage() const override;
    std::string toolbarItemLabel() const override { return localizedString("Widgets"); }

    QPushButton* accessBtn() const;
    QLabel* accessLabel() const;

    // Shows the line and the button exactly while full disk access is missing.
    void setStatus();
    // Action of the button.
    void requesAcces();
    void showAccessDialog();

protected:
    QWidget* loadView() override;
    void viewDidLoad() override;

private:
    std::unique_ptr<Ui::WidgetsViewController> ui_;
};

}  // namespace qs
