#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>

#include "core/DockConfiguration.h"
#include "platform/desktop/Keys.h"
#include "platform/desktop/Shortcut.h"
#include "platform/ui/Beep.h"
#include "preferences/GeneralPreferencesView.h"
#include "preferences/LaunchAtLogin.h"
#include "preferences/PreferenceControls.h"
#include "preferences/PreferencesTestSupport.h"

namespace qs::test {
namespace {

// Stands for the launch-at-login controller: the two accessors and the announced key.
class FakeLaunchAtLogin : public Object {
public:
    bool launchAtLogin() const { return on_; }
    void setLaunchAtLogin(bool on) {
        ++sets;
        willChangeValueForKey("launchAtLogin");
        on_ = on;
        didChangeValueForKey("launchAtLogin");
    }
    int sets = 0;

private:
    bool on_ = false;
};

class GeneralPaneTest : public PreferencesTest {
protected:
    GeneralPaneTest() {
        pane = GeneralPreferencesView::create();
        pane->setConfig(manager->mainConfig());
        view = pane->view();
        pane->viewWillAppear();
    }
    std::shared_ptr<GeneralPreferencesView> pane;
    QWidget* view = nullptr;
};

void press(QWidget* w, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(w, &event);
}

TEST_F(GeneralPaneTest, CheckBoxesEditTheirSettingsBothWays) {
    struct Case {
        const char* name;
        const char* key;
        bool negated;
        const char* text;
    };
    const Case cases[] = {
        {"hideCheckBox", "HideQuayside", false, "Automatically hide and show the dock"},
        {"indentCheckBox", "Indent", false, "Leave a small gap between the dock and the screen edge"},
        {"menuBarIconCheckBox", "HideMenuBarIcon", true, "Show the Quayside icon in the menu bar"},
        {"hideAppleDockCheckBox", "HideAppleDock", false, "Hide the system dock while Quayside runs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* box = child<QCheckBox>(view, c.name);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(text(box), c.text);
        defaults().setBool(false, c.key);
        EXPECT_EQ(box->isChecked(), c.negated);
        int writes = defaults().writeCount();
        box->click();
        EXPECT_EQ(defaults().objectForKey(c.key), Value(true));
        EXPECT_GT(defaults().writeCount(), writes);  // written at once, not later
        defaults().setBool(!defaults().boolForKey(c.key), c.key);
        EXPECT_EQ(box->isChecked(), c.negated);
    }
}

TEST_F(GeneralPaneTest, PositionMovesTheRunningDockAndSurvivesARestart) {
    auto* position = child<QComboBox>(view, "positionPopup");
    ASSERT_EQ(position->count(), 4);
    EXPECT_EQ(position->itemText(0), "Left");
    EXPECT_EQ(position->currentIndex(), 1);  // the default edge: bottom
    PostCounter saves("saveDocksData");
    position->setCurrentIndex(0);
    auto panel = factory.live().front();
    EXPECT_EQ(panel->config->position(), 0);
    EXPECT_EQ(saves.count, 1);

    manager->mainConfig()->setPosition(2);
    EXPECT_EQ(position->currentIndex(), 2);

    auto* alignment = child<QComboBox>(view, "aligmentPopup");
    alignment->setCurrentIndex(3);
    EXPECT_EQ(manager->mainConfig()->aligment(), 3);
    auto* size = child<QSlider>(view, "iconSizeSlider");
    EXPECT_EQ(size->value(), 52);
    size->setValue(64);
    EXPECT_FLOAT_EQ(manager->mainConfig()->iconSize(), 64.0f);

    // A new start reads what the window stored.
    DockManager::resetSharedInstanceForTesting();
    auto restarted = DockManager::sharedInstance();
    EXPECT_EQ(restarted->mainConfig()->position(), 2);
    EXPECT_EQ(restarted->mainConfig()->aligment(), 3);
    EXPECT_FLOAT_EQ(restarted->mainConfig()->iconSize(), 64.0f);
}

TEST_F(GeneralPaneTest, ScreenChoiceAndAutoHideDelay) {
    auto* screen = child<QComboBox>(view, "screenPopup");
    EXPECT_EQ(screen->currentIndex(), 0);  // absent reads 0
    screen->setCurrentIndex(2);
    EXPECT_EQ(defaults().objectForKey("displayIndex"), Value(2));
    defaults().setInteger(3, "displayIndex");
    EXPECT_EQ(screen->currentIndex(), 3);

    auto* delay = child<QSlider>(view, "autoHideDelaySlider");
    defaults().setBool(false, "HideQuayside");
    EXPECT_FALSE(delay->isEnabled());
    defaults().setBool(true, "HideQuayside");
    EXPECT_TRUE(delay->isEnabled());
    defaults().setInteger(1, "autoHideDelay1");
    EXPECT_EQ(delay->value(), 1);
    delay->setValue(20);
    EXPECT_EQ(defaults().objectForKey("autoHideDelay1"), Value(20));
}

// Pixels of a label that are not its background: its text was drawn.
int inkOf(QWidget* label) {
    return pixelsUnlike(label->grab().toImage(), label->rect(), label->palette().color(QPalette::Window), 60);
}

TEST_F(GeneralPaneTest, TheSlidersShowTheirValuesAndTheIconSizeFollowsADrag) {
    view->resize(view->sizeHint());
    view->show();
    QApplication::processEvents();
    auto* size = child<ValueSlider>(view, "iconSizeSlider");
    auto* sizeValue = child<QLabel>(view, "iconSizeValue");
    ASSERT_TRUE(size && sizeValue);
    EXPECT_EQ(size->valueLabel(), sizeValue);
    EXPECT_EQ(text(sizeValue), "52 px");
    EXPECT_TRUE(sizeValue->isVisible());
    EXPECT_GT(inkOf(sizeValue), 20) << "the value is drawn";
    // Changed elsewhere (the binding sets the slider with its signals blocked): shown too.
    manager->mainConfig()->setIconSize(80);
    EXPECT_EQ(size->value(), 80);
    EXPECT_EQ(text(sizeValue), "80 px");

    // A drag with the mouse: the dock's icon size follows before the button is let go.
    QStyleOptionSlider option;
    option.initFrom(size);
    option.orientation = size->orientation();
    option.minimum = size->minimum();
    option.maximum = size->maximum();
    option.sliderPosition = option.sliderValue = size->value();
    const QRect handle = size->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, size);
    ASSERT_TRUE(handle.isValid());
    PostCounter saves("saveDocksData");
    QPoint at = handle.center();
    auto mouse = [&](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, size->mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(size, &event);
    };
    mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    ASSERT_TRUE(size->isSliderDown());
    std::vector<float> seen;
    for (int step = 0; step < 4; ++step) {
        at.rx() += 15;
        mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton);
        seen.push_back(manager->mainConfig()->iconSize());
        EXPECT_EQ(text(sizeValue), GeneralPreferencesView::iconSizeText(size->value()).toStdString());
    }
    EXPECT_TRUE(size->isSliderDown());
    EXPECT_GT(seen.front(), 80.0f) << "the first move already reaches the dock";
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GT(seen.back(), seen.front());
    EXPECT_FLOAT_EQ(float(size->value()), seen.back());
    mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    EXPECT_FLOAT_EQ(manager->mainConfig()->iconSize(), float(size->value()));
    EXPECT_GE(saves.count, 4);

    // The delay reads as the dock applies it.
    auto* delay = child<ValueSlider>(view, "autoHideDelaySlider");
    auto* delayValue = child<QLabel>(view, "autoHideDelayValue");
    ASSERT_TRUE(delay && delayValue);
    defaults().setBool(true, "HideQuayside");
    for (auto [stored, shown] : {std::pair{0, "No delay"}, {9, "No delay"}, {10, "0.5 s"}, {20, "1.5 s"},
                                 {35, "2.5 s"}, {50, "4.5 s"}}) {
        defaults().setInteger(stored, "autoHideDelay1");
        EXPECT_EQ(text(delayValue), shown) << stored;
    }
    delay->setValue(30);
    EXPECT_EQ(text(delayValue), "2.5 s");
    EXPECT_GT(inkOf(delayValue), 20);
    // Greyed with its slider while the dock does not hide.
    defaults().setBool(false, "HideQuayside");
    EXPECT_FALSE(delayValue->isEnabled());
}

TEST_F(GeneralPaneTest, TheShortcutRecorderStoresWhatTheHotkeyUses) {
    auto* recorder = pane->toggleHotkeyViewShortcutView();
    ASSERT_NE(recorder, nullptr);
    EXPECT_EQ(recorder->associatedUserDefaultsKey(), "autoHideHotkey");
    EXPECT_EQ(recorder->text(), "Ctrl+Super+H");  // the default the dock manager wrote
    ASSERT_TRUE(sim.hotkeys->isRegistered(kVK_ANSI_H, 0x140000));

    recorder->click();
    EXPECT_TRUE(recorder->isRecording());
    EXPECT_EQ(recorder->text(), "Type Shortcut");
    int beeps = 0;
    setBeepHandler([&] { ++beeps; });
    press(recorder, Qt::Key_K);  // no modifier: refused
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(recorder->isRecording());
    press(recorder, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    setBeepHandler(nullptr);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(recorder->text(), "Ctrl+Alt+K");
    auto stored = Shortcut::fromArchive(defaults().dataForKey("autoHideHotkey"));
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->keyCode(), kVK_ANSI_K);
    EXPECT_EQ(stored->modifierFlags(), NSEventModifierFlagControl | NSEventModifierFlagOption);
    EXPECT_TRUE(sim.hotkeys->isRegistered(kVK_ANSI_K, NSEventModifierFlagControl | NSEventModifierFlagOption));
    EXPECT_FALSE(sim.hotkeys->isRegistered(kVK_ANSI_H, 0x140000));

    // Escape cancels; Backspace clears.
    recorder->click();
    press(recorder, Qt::Key_Escape);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(recorder->text(), "Ctrl+Alt+K");
    recorder->click();
    press(recorder, Qt::Key_Backspace);
    EXPECT_TRUE(defaults().objectForKey("autoHideHotkey").isNil());
    EXPECT_EQ(recorder->text(), "Record Shortcut");

    // Set elsewhere: shown.
    defaults().setObject(Value(Shortcut::shortcutWithKeyCode(kVK_F5, 0)->archivedData()), "autoHideHotkey");
    EXPECT_EQ(recorder->text(), "F5");
}

TEST_F(GeneralPaneTest, LaunchAtLoginBoxFollowsItsController) {
    auto* box = child<QCheckBox>(view, "launchAtLoginCheckBox");
    EXPECT_TRUE(box->isHidden());  // no controller: not offered
    auto login = std::make_shared<FakeLaunchAtLogin>();
    pane->setLaunchAtLoginController(login);
    EXPECT_EQ(pane->launchAtLoginController(), login);
    EXPECT_FALSE(box->isHidden());
    EXPECT_EQ(text(box), "Start Quayside at login");
    EXPECT_FALSE(box->isChecked());
    box->click();
    EXPECT_TRUE(login->launchAtLogin());
    EXPECT_EQ(login->sets, 1);
    login->setLaunchAtLogin(false);
    EXPECT_FALSE(box->isChecked());
}

TEST_F(GeneralPaneTest, TheProgramsWindowOffersLaunchAtLogin) {
    auto controller = PreferencesWindowController::prefsController();
    ASSERT_FALSE(controller->viewControllers().empty());
    auto general = std::dynamic_pointer_cast<GeneralPreferencesView>(controller->viewControllers().front());
    ASSERT_TRUE(general);
    EXPECT_TRUE(std::dynamic_pointer_cast<LaunchAtLoginController>(general->launchAtLoginController()));
    auto* box = child<QCheckBox>(general->view(), "launchAtLoginCheckBox");
    EXPECT_FALSE(box->isHidden());
}

TEST_F(GeneralPaneTest, LabelsOfThePopups) {
    auto* screen = child<QComboBox>(view, "screenPopup");
    std::vector<std::string> items;
    for (int i = 0; i < screen->count(); ++i) items.push_back(screen->itemText(i).toStdString());
    EXPECT_EQ(items, (std::vector<std::string>{"The primary screen", "The secondary screen", "The screen in use",
                                               "Every screen"}));
    EXPECT_EQ(text(child<QLabel>(view, "positionLabel")), "Position on screen:");
}

}  // namespace
}  // namespace qs::test
