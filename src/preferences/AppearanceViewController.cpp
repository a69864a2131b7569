#include "preferences/AppearanceViewController.h"

#include <QAbstractButton>
#include <QColorDialog>
#include <QComboBox>

#include "core/DockConfiguration.h"
#include "core/ThemeManager.h"
#include "platform/foundation/NotificationCenter.h"
#include "preferences/PreferenceControls.h"
#include "ui_AppearanceViewController.h"

namespace qs {

std::shared_ptr<AppearanceViewController> AppearanceViewController::create() {
    return std::make_shared<AppearanceViewController>();
}

AppearanceViewController::AppearanceViewController() = default;
AppearanceViewController::~AppearanceViewController() = default;

QIcon AppearanceViewController::toolbarItemImage() const { return toolbarImage("preferences-desktop-color", "color"); }

Value AppearanceViewController::valueForKey(const std::string& key) const {
    if (key == "config") {
        auto c = config();
        return c ? Value(c) : Value();
    }
    return PreferencesPane::valueForKey(key);
}

void AppearanceViewController::setConfig(const std::shared_ptr<DockConfiguration>& config) {
    willChangeValueForKey("config");
    config_ = config;
    didChangeValueForKey("config");
}

QLabel* AppearanceViewController::colorLabel() const { return ui_ ? ui_->colorLabel : nullptr; }
ColorWell* AppearanceViewController::picker() const { return ui_ ? ui_->picker : nullptr; }
QLabel* AppearanceViewController::label() const { return ui_ ? ui_->label : nullptr; }
QLabel* AppearanceViewController::label2() const { return ui_ ? ui_->label2 : nullptr; }
SegmentedControl* AppearanceViewController::appearanceBox() const { return ui_ ? ui_->appearanceBox : nullptr; }

QWidget* AppearanceViewController::loadView() {
    auto* view = new QWidget;
    ui_ = std::make_unique<Ui::AppearanceViewController>();
    ui_->setupUi(view);
    return view;
}

std::map<std::string, ObjectPtr> AppearanceViewController::interfaceObjects() {
    return {{"themeManager", ThemeManager::sharedInstance()}};
}

void AppearanceViewController::viewDidLoad() {
    QObject::connect(ui_->refreshButton, &QAbstractButton::clicked, ui_->refreshButton, [this] { refresh(); });
    QObject::connect(ui_->resetButton, &QAbstractButton::clicked, ui_->resetButton, [this] { reset(); });
    QObject::connect(ui_->openThemeFolderButton, &QAbstractButton::clicked, ui_->openThemeFolderButton,
                     [this] { openThemeFolder(); });
    // The corner style and the shadow are stored with the next save of the dock; a change
    // made here is saved at once, so that it is not lost if the program does not quit
    // cleanly.
    auto save = [] { NotificationCenter::defaultCenter().postNotificationName("saveDocksData"); };
    QObject::connect(ui_->cornerPopup, &QComboBox::activated, ui_->cornerPopup, save);
    QObject::connect(ui_->shadowCheckBox, &QAbstractButton::clicked, ui_->shadowCheckBox, save);
    setState();
}

void AppearanceViewController::viewWillAppear() {
    PreferencesPane::viewWillAppear();
    if (!themeObservation_.isValid()) {
        themeObservation_ = ThemeManager::sharedInstance()->observe("themeIndex", KeyValueObservingOptionNew,
                                                                    [this](const KeyValueChange&) { setState(); });
    }
    setState();
}

void AppearanceViewController::viewDidDisappear() {
    PreferencesPane::viewDidDisappear();
    themeObservation_.invalidate();
    // The colour chooser goes with the window.
    if (ui_ && ui_->picker->colorPanel()) ui_->picker->colorPanel()->close();
}

void AppearanceViewController::setState() {
    if (!ui_) return;
    auto theme = ThemeManager::sharedInstance()->currenThemeInfo();
    ui_->picker->setEnabled(theme && theme->themeType() == ThemeInfo::ColorTheme);
}

void AppearanceViewController::refresh() {
    ThemeManager::sharedInstance()->refreshThemes();
    setState();
}

void AppearanceViewController::reset() {
    ThemeManager::sharedInstance()->resetThemes();
    setState();
}

void AppearanceViewController::openThemeFolder() { ThemeManager::sharedInstance()->openThemeFolder(); }

}  // namespace qs
