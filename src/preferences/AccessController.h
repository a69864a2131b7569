#pragma once
// The permission window: the state of the three permissions the dock needs (screen
// recording, accessibility, full disk access), a request button for each, a command to
// paste into a terminal, and the "AccessDoNotShow" switch that the start reads (YES: show
// this window at start while a permission is missing). While anything is missing it
// polls every 2.0 s, also while it runs modally, and stops once all are granted or the
// window closes, however it is closed.
//
// Created anew for each opening: by the start and the status menu (level 8, not modal)
// and by the Widgets pane (runModal).

#include <memory>
#include <string>

#include "core/ApplicationInterface.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/RunLoop.h"

class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Ui {
class AccessController;
}

namespace qs {

class AccessController : public AccessWindow, public std::enable_shared_from_this<AccessController> {
public:
    // The status images of a row.
    static constexpr const char* NSImageNameStatusAvailable = "NSImageNameStatusAvailable";
    static constexpr const char* NSImageNameStatusPartiallyAvailable = "NSImageNameStatusPartiallyAvailable";
    // The support address of the contact mail ("" leaves the recipient to the user: this
    // build names none).
    static constexpr const char* kSupportMailAddress = "";
    static constexpr const char* kSupportMailSubject = "Quayside 2:Feedback/Problem";

    // init: the window comes from the interface file named after the class, when first
    // needed.
    AccessController();
    ~AccessController() override;

    // The window, loaded (and windowDidLoad sent) on first use.
    QDialog* window();
    bool isWindowLoaded() const { return window_ != nullptr; }
    void windowDidLoad();

    void sheduleTimer();
    void onTimer();
    void updateControlsState();

    // Actions of the window's buttons.
    void screen();
    void accessibility();
    void openFullDiskAccess();
    void contact();
    void closeWindow() override;
    void cipyToClipboard();
    void dontShow();
    // Moves the window to the lower right corner of its screen, out of the way of what a
    // request opens.
    void moveWindow();
    void moveToCenter();

    bool accessibilityEnabled() const;
    void openAccessibility();

    // The mail address the contact button opens.
    static std::string contactURLString();

    // AccessWindow.
    int level() const override { return level_; }
    void setLevel(int level) override;
    void orderFront() override;
    bool isVisible() const override;

    // Runs the window modally; returns when it closes (any close ends the session).
    int runModal();

    // The poll (nullptr while none runs) and the outlets, for tests.
    const Timer* timer() const { return timer_ && timer_->isValid() ? timer_.get() : nullptr; }
    QPushButton* screenBtn() const { return screenBtn_; }
    QPushButton* accesibilityBtn() const { return accesibilityBtn_; }
    QPushButton* fullDiskBtn() const { return fullDiskBtn_; }
    QLabel* screenStatus() const { return screenStatus_; }
    QLabel* accesibilityStatus() const { return accesibilityStatus_; }
    QLabel* fullDiskStatus() const { return fullDiskStatus_; }
    QLineEdit* terminalField() const { return terminalField_; }
    // The status image a light shows (one of the two names above).
    static std::string statusImageName(const QLabel* light);

private:
    void setRow(QPushButton* button, QLabel* light, bool granted);
    void stopTimer();
    void applyLevel();

    std::unique_ptr<Timer> timer_;
    QPushButton* screenBtn_ = nullptr;
    QPushButton* accesibilityBtn_ = nullptr;
    QLabel* screenStatus_ = nullptr;
    QLabel* accesibilityStatus_ = nullptr;
    QLineEdit* terminalField_ = nullptr;
    QPushButton* fullDiskBtn_ = nullptr;
    QLabel* fullDiskStatus_ = nullptr;

    std::unique_ptr<Ui::AccessController> ui_;
    std::unique_ptr<QDialog> window_;
    int level_ = 0;
    bool centreWhenShown_ = false;
    KeyValueObservation showAtStartObservation_;
};

}  // namespace qs
