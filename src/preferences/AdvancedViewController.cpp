#include "preferences/AdvancedViewController.h"

#include <QComboBox>
#include <QPushButton>

#include "core/AppDelegate.h"
#include "core/DockConfiguration.h"
#include "platform/desktop/Workspace.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "ui_AdvancedViewController.h"

namespace qs {

namespace {

constexpr const char* kAppleDockSuite = "com.apple.dock";

}  // namespace

std::shared_ptr<AdvancedViewController> AdvancedViewController::create() {
    return std::make_shared<AdvancedViewController>();
}

AdvancedViewController::AdvancedViewController() = default;

AdvancedViewController::~AdvancedViewController() {
    if (enableTimer_) RunLoop::main().cancel(enableTimer_);
}

QIcon AdvancedViewController::toolbarItemImage() const { return toolbarImage("preferences-other", "advanced"); }

Value AdvancedViewController::valueForKey(const std::string& key) const {
    if (key == "config") {
        auto c = config();
        return c ? Value(c) : Value();
    }
    return PreferencesPane::valueForKey(key);
}

void AdvancedViewController::setConfig(const std::shared_ptr<DockConfiguration>& config) {
    willChangeValueForKey("config");
    config_ = config;
    didChangeValueForKey("config");
}

QPushButton* AdvancedViewController::toggleMacOSDockButton() const { return ui_ ? ui_->toggleMacOSDockButton : nullptr; }

QWidget* AdvancedViewController::loadView() {
    auto* view = new QWidget;
    ui_ = std::make_unique<Ui::AdvancedViewController>();
    ui_->setupUi(view);
    return view;
}

void AdvancedViewController::viewDidLoad() {
    QObject::connect(ui_->toggleMacOSDockButton, &QPushButton::clicked, ui_->toggleMacOSDockButton,
                     [this] { toggleMacOSDockAction(); });
    // The click behaviour is stored with the next save of the dock; a change made here is
    // saved at once.
    QObject::connect(ui_->activationPopup, &QComboBox::activated, ui_->activationPopup,
                     [] { NotificationCenter::defaultCenter().postNotificationName("saveDocksData"); });
    updateToggleMacOSDockButton();
}

void AdvancedViewController::updateToggleMacOSDockButton() {
    if (!ui_) return;
    auto suite = UserDefaults::suiteNamed(kAppleDockSuite);
    const QString word = suite->integerForKey("autohide-delay") < 60 ? QStringLiteral("Hide") : QStringLiteral("Show");
    QString title = ui_->toggleMacOSDockButton->property("alternateTitle").toString();
    ui_->toggleMacOSDockButton->setText(title.replace(QStringLiteral("Toggle"), word));
}

void AdvancedViewController::toggleMacOSDockAction() {
    auto suite = UserDefaults::suiteNamed(kAppleDockSuite);
    if (suite->integerForKey("autohide-delay") < 60)
        AppDelegate::hideMacOSDockSettings(*suite);
    else
        AppDelegate::restoreMacOSDockSettings(*suite);
    suite->synchronize();
    if (ui_) ui_->toggleMacOSDockButton->setEnabled(false);
    if (enableTimer_) RunLoop::main().cancel(enableTimer_);
    std::weak_ptr<Object> weak = weak_from_this();
    enableTimer_ = RunLoop::main().after(1.0, [weak] {
        if (auto self = std::static_pointer_cast<AdvancedViewController>(weak.lock())) {
            self->enableTimer_ = 0;
            self->enableToggleMacOSDockButton();
        }
    });
    // Restart the system dock so that it reads its settings again.
    auto running = RunningApplication::runningApplicationsWithBundleIdentifier(kAppleDockSuite);
    if (!running.empty()) running.front()->terminate();
}

void AdvancedViewController::enableToggleMacOSDockButton() {
    if (!ui_) return;
    ui_->toggleMacOSDockButton->setEnabled(true);
    updateToggleMacOSDockButton();
}

}  // namespace qs
