#include "dock_ui/ReorderAlertWindowController.h"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>

#include "platform/foundation/UserDefaults.h"
#include "platform/ui/WindowAttributes.h"
#include "ui_ReorderAlertWindowController.h"

namespace qs {

ReorderAlertWindowController::ReorderAlertWindowController()
    : ui_(std::make_unique<Ui::ReorderAlertWindowController>()), window_(std::make_unique<QDialog>()) {
    ui_->setupUi(window_.get());
    QObject::connect(ui_->okButton, &QPushButton::clicked, window_.get(), [this] { okclick(); });
    QObject::connect(ui_->doNotShowCheckBox, &QCheckBox::toggled, window_.get(), [](bool checked) {
        auto& defaults = UserDefaults::standardUserDefaults();
        if (checked)
            defaults.setBool(true, kDoNotShowKey);
        else
            defaults.removeObjectForKey(kDoNotShowKey);
    });
    windowDidLoad();
}

ReorderAlertWindowController::~ReorderAlertWindowController() = default;

void ReorderAlertWindowController::windowDidLoad() {
    WindowAttributes::setLevel(window_.get(), WindowAttributes::FloatingWindowLevel);
}

void ReorderAlertWindowController::showAlert() {
    if (!UserDefaults::standardUserDefaults().objectForKey(kDoNotShowKey).isNil()) return;
    QDialog* w = window_.get();
    {
        const QSignalBlocker block(ui_->doNotShowCheckBox);
        ui_->doNotShowCheckBox->setChecked(false);
    }
    w->adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = w->frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        w->move(r.topLeft());
    }
    w->show();
    w->raise();
}

void ReorderAlertWindowController::okclick() { window_->hide(); }

}  // namespace qs
