#include "preferences/WidgetsViewController.h"

#include <QApplication>

#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "tracking/AccessHelper.h"
#include "ui_WidgetsViewController.h"

namespace qs {

namespace {
WidgetsViewController::AccessDialogRunner& accessRunner() {
    static WidgetsViewController::AccessDialogRunner runner;
    return runner;
}
}  // namespace

void WidgetsViewController::setAccessDialogRunner(AccessDialogRunner runner) { accessRunner() = std::move(runner); }

std::shared_ptr<WidgetsViewController> WidgetsViewController::create() {
    return std::make_shared<WidgetsViewController>();
}

WidgetsViewController::WidgetsViewController() = default;
WidgetsViewController::~WidgetsViewController() = default;

QIcon WidgetsViewController::toolbarItemImage() const { return toolbarImage(nullptr, "widget"); }

QPushButton* WidgetsViewController::accessBtn() const { return ui_ ? ui_->accessBtn : nullptr; }
QLabel* WidgetsViewController::accessLabel() const { return ui_ ? ui_->accessLabel : nullptr; }

QWidget* WidgetsViewController::loadView() {
    auto* view = new QWidget;
    ui_ = std::make_unique<Ui::WidgetsViewController>();
    ui_->setupUi(view);
    return view;
}

void WidgetsViewController::viewDidLoad() {
    QObject::connect(ui_->accessBtn, &QPushButton::clicked, ui_->accessBtn, [this] { requesAcces(); });
    setStatus();
}

void WidgetsViewController::setStatus() {
    if (!ui_) return;
    ui_->accessBtn->setHidden(true);
    ui_->accessBtn->setEnabled(false);
    ui_->accessLabel->setHidden(true);
    if (!AccessHelper::fullDiskAccessGranted()) {
        ui_->accessLabel->setHidden(false);
        ui_->accessBtn->setHidden(false);
        ui_->accessBtn->setEnabled(true);
    }
}

void WidgetsViewController::requesAcces() { showAccessDialog(); }

void WidgetsViewController::showAccessDialog() {
    if (auto& runner = accessRunner()) {
        runner();
    } else {
        log("the permission window is not available; full disk access is read again");
    }
    NotificationCenter::defaultCenter().postNotificationName(kTrashAccessNotification);
    setStatus();
}

}  // namespace qs
