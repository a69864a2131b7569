#include <QCheckBox>
#include <QKeyEvent>
#include <QSlider>

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
    EXPECT_FALSE(size->hasTracking());  // stored once the knob is let go
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
