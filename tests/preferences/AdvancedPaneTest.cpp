#include <QCheckBox>
#include <QPushButton>

#include "core/DockConfiguration.h"
#include "preferences/AdvancedViewController.h"
#include "preferences/PreferencesTestSupport.h"

namespace qs::test {
namespace {

class AdvancedPaneTest : public PreferencesTest {
protected:
    void open() {
        pane = AdvancedViewController::create();
        pane->setConfig(manager->mainConfig());
        view = pane->view();
        pane->viewWillAppear();
    }
    std::shared_ptr<UserDefaults> suite() { return UserDefaults::suiteNamed("com.apple.dock"); }
    std::shared_ptr<AdvancedViewController> pane;
    QWidget* view = nullptr;
};

TEST_F(AdvancedPaneTest, SystemDockButtonHidesThenShowsAfterASecond) {
    suite()->setBool(true, "autohide");  // the user's own choice, given back later
    open();
    QPushButton* button = pane->toggleMacOSDockButton();
    EXPECT_EQ(button->text(), "Hide the System Dock");
    button->click();
    EXPECT_EQ(suite()->objectForKey("autohide-delay"), Value(1000000));
    EXPECT_EQ(suite()->objectForKey("autohide"), Value(true));
    EXPECT_EQ(suite()->objectForKey("no-bouncing"), Value(true));
    EXPECT_FALSE(button->isEnabled());
    env.loop().advance(0.9);
    EXPECT_FALSE(button->isEnabled());
    env.loop().advance(0.1);
    EXPECT_TRUE(button->isEnabled());
    EXPECT_EQ(button->text(), "Show the System Dock");

    button->click();
    EXPECT_TRUE(suite()->objectForKey("autohide-delay").isNil());
    EXPECT_EQ(suite()->objectForKey("autohide"), Value(true));
    EXPECT_EQ(suite()->objectForKey("no-bouncing"), Value(false));
    env.loop().advance(1.0);
    EXPECT_EQ(button->text(), "Hide the System Dock");

    suite()->setInteger(60, "autohide-delay");  // 60 counts as hidden here
    pane->updateToggleMacOSDockButton();
    EXPECT_EQ(button->text(), "Show the System Dock");
}

TEST_F(AdvancedPaneTest, SettingsAndConfigurationBothWays) {
    open();
    auto config = manager->mainConfig();
    auto* running = child<QCheckBox>(view, "runningCheckBox");
    running->click();
    EXPECT_EQ(defaults().objectForKey("DoNotDisplayRunning"), Value(true));
    defaults().setBool(false, "DoNotDisplayRunning");
    EXPECT_FALSE(running->isChecked());

    auto* sort = child<QComboBox>(view, "sortPopup");
    sort->setCurrentIndex(1);
    EXPECT_EQ(defaults().objectForKey("sortOrder"), Value(1));  // still an integer
    defaults().setInteger(0, "sortOrder");
    EXPECT_EQ(sort->currentIndex(), 0);

    auto* reserve = child<QCheckBox>(view, "reserveSpaceCheckBox");
    defaults().setBool(true, "ReserveSpace");
    EXPECT_TRUE(reserve->isChecked());
    reserve->click();
    EXPECT_FALSE(defaults().boolForKey("ReserveSpace"));

    auto* level = child<QComboBox>(view, "levelPopup");
    EXPECT_EQ(level->currentIndex(), 0);
    level->setCurrentIndex(1);
    EXPECT_EQ(config->panelLevel(), 1);

    auto* activation = child<QComboBox>(view, "activationPopup");
    EXPECT_EQ(activation->currentIndex(), 1);  // the default: every window comes forward
    PostCounter saves("saveDocksData");
    activation->setCurrentIndex(0);
    emit activation->activated(0);
    EXPECT_EQ(config->windowActivation(), 0);
    EXPECT_EQ(saves.count, 1);
    config->setWindowActivation(1);
    EXPECT_EQ(activation->currentIndex(), 1);
}

}  // namespace
}  // namespace qs::test
