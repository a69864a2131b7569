#include "preferences/GeneralPreferencesView.h"

#include <QAbstractButton>
#include <QLabel>
#include <algorithm>

#include "core/AppDelegate.h"
#include "core/DockConfiguration.h"
#include "dock_ui/DockWindow.h"
#include "platform/foundation/UserDefaults.h"
#include "preferences/PreferenceControls.h"
#include "preferences/PreferencesWindowController.h"
#include "ui_GeneralPreferencesView.h"

namespace qs {

std::shared_ptr<GeneralPreferencesView> GeneralPreferencesView::create() {
    return std::make_shared<GeneralPreferencesView>();
}

GeneralPreferencesView::GeneralPreferencesView() = default;
GeneralPreferencesView::~GeneralPreferencesView() = default;

QIcon GeneralPreferencesView::toolbarItemImage() const { return toolbarImage("preferences-system", "general"); }

Value GeneralPreferencesView::valueForKey(const std::string& key) const {
    if (key == "config") {
        auto c = config();
        return c ? Value(c) : Value();
    }
    if (key == "launchAtLoginController") return launchAtLogin_ ? Value(launchAtLogin_) : Value();
    return PreferencesPane::valueForKey(key);
}

void GeneralPreferencesView::setConfig(const std::shared_ptr<DockConfiguration>& config) {
    willChangeValueForKey("config");
    config_ = config;
    didChangeValueForKey("config");
}

void GeneralPreferencesView::setLaunchAtLoginAdapter(std::shared_ptr<KeyValueAdapter> adapter) {
    willChangeValueForKey("launchAtLoginController");
    launchAtLogin_ = std::move(adapter);
    didChangeValueForKey("launchAtLoginController");
}

ObjectPtr GeneralPreferencesView::launchAtLoginController() const {
    return launchAtLogin_ ? launchAtLogin_->adaptedObject() : nullptr;
}

ShortcutRecorder* GeneralPreferencesView::toggleHotkeyViewShortcutView() const {
    return ui_ ? ui_->toggleHotkeyViewShortcutView : nullptr;
}

QWidget* GeneralPreferencesView::loadView() {
    auto* view = new QWidget;
    ui_ = std::make_unique<Ui::GeneralPreferencesView>();
    ui_->setupUi(view);
    return view;
}

QString GeneralPreferencesView::iconSizeText(int points) { return QStringLiteral("%1 px").arg(points); }

QString GeneralPreferencesView::autoHideDelayText(int tenths) {
    const double seconds = DockWindow::autohideDelayForSetting(tenths);
    if (seconds <= 0.0) return QString::fromStdString(localizedString("No delay"));
    return QStringLiteral("%1 s").arg(seconds, 0, 'f', 1);
}

void GeneralPreferencesView::viewDidLoad() {
    // The sliders show their values; the labels keep the width of the widest value, so
    // the sliders stay put while they move.
    auto showValues = [](ValueSlider* slider, QLabel* label, ValueSlider::Format format) {
        int widest = 0;
        for (int v : {slider->minimum(), slider->maximum()})
            widest = std::max(widest, label->fontMetrics().horizontalAdvance(format(v)));
        label->setMinimumWidth(widest);
        slider->setValueLabel(label, std::move(format));
    };
    showValues(ui_->iconSizeSlider, ui_->iconSizeValue, &iconSizeText);
    showValues(ui_->autoHideDelaySlider, ui_->autoHideDelayValue, &autoHideDelayText);
    // The recorder edits the stored shortcut in the one form the shortcut binder reads.
    ui_->toggleHotkeyViewShortcutView->setAssociatedUserDefaultsKey("autoHideHotkey");
    QObject::connect(ui_->menuBarIconCheckBox, &QAbstractButton::clicked, ui_->menuBarIconCheckBox,
                     [this] { showStatusBarIcon(); });
    for (QAbstractButton* box : {static_cast<QAbstractButton*>(ui_->hideCheckBox), static_cast<QAbstractButton*>(ui_->indentCheckBox),
                                 static_cast<QAbstractButton*>(ui_->hideAppleDockCheckBox)})
        QObject::connect(box, &QAbstractButton::clicked, box, [this] { syncDefaults(); });
    QObject::connect(ui_->toggleHotkeyViewShortcutView, &ShortcutRecorder::shortcutValueChanged,
                     ui_->toggleHotkeyViewShortcutView, [this] { syncDefaults(); });
}

void GeneralPreferencesView::showStatusBarIcon() {
    UserDefaults::standardUserDefaults().synchronize();
    if (auto delegate = PreferencesWindowController::applicationDelegate()) delegate->setupStatusMenu();
}

void GeneralPreferencesView::syncDefaults() { UserDefaults::standardUserDefaults().synchronize(); }

}  // namespace qs
