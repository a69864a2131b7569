#pragma once
// The one-time hint shown when the user drags a dock item without Shift or Option: it
// says how to reorder the dock. It shows only while the user default
// "DoNotShowReorderAlert" has no value at all (any stored value, even NO, keeps it
// hidden); its check box stores YES there, and unticking it removes the value again.
//
// Main thread only.

#include <memory>

class QDialog;

namespace Ui {
class ReorderAlertWindowController;
}

namespace qs {

class ReorderAlertWindowController {
public:
    static constexpr const char* kDoNotShowKey = "DoNotShowReorderAlert";

    // init: loads the window from its interface file.
    ReorderAlertWindowController();
    ~ReorderAlertWindowController();

    QDialog* window() const { return window_.get(); }
    // Floating level.
    void windowDidLoad();
    // Orders the window front, centred on the screen, unless the default has a value.
    void showAlert();
    // The OK button: orders the window out.
    void okclick();

    // The interface, for tests.
    Ui::ReorderAlertWindowController* ui() const { return ui_.get(); }

private:
    std::unique_ptr<Ui::ReorderAlertWindowController> ui_;
    std::unique_ptr<QDialog> window_;
};

}  // namespace qs
