#pragma once
// The application's own windows and commands on Qt Widgets: the permission and what's-new
// windows, the about box, the updater's answer to a user-started check, activation and
// quitting. installAppShell() puts them behind the core's ApplicationInterface and the
// updater's user driver; the program calls it once at start.

#include <memory>
#include <string>

#include "core/ApplicationInterface.h"
#include "platform/desktop/Updater.h"

class QMessageBox;
class QWidget;

namespace qs {

class AppShell : public ApplicationInterface, public SUUpdaterUserDriver {
public:
    AppShell();
    ~AppShell() override;

    std::shared_ptr<AccessWindow> makeAccessController() override;
    std::shared_ptr<NewsWindow> makeNewsWindowController() override;
    // A standard about box: the program's icon and name, its version from the build and
    // its licence ("All rights reserved": the project carries no licence file).
    void orderFrontStandardAboutPanel() override;
    // The program's front window (the last one shown) comes forward with the focus.
    void activateIgnoringOtherApps() override;
    // Quits the Qt application; the termination steps run on its way out.
    void terminate() override;

    // The updater's own window for a user-started check.
    void showUpdateCheckResult(const SUUpdateCheckResult& result) override;

    // The boxes, once shown (for tests).
    QMessageBox* aboutPanel() const;
    QMessageBox* updateCheckPanel() const;

    // The about box's text.
    static std::string aboutText();

private:
    struct Panels;
    std::unique_ptr<Panels> panels_;
};

// Installs an AppShell as the application interface and the updater's user driver.
std::shared_ptr<AppShell> installAppShell();

}  // namespace qs
