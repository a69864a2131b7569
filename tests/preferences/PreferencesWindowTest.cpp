#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QToolBar>
#include <algorithm>
#include <functional>

#include "core/AppDelegate.h"
#include "preferences/AppearanceViewController.h"
#include "preferences/BlacklistViewController.h"
#include "preferences/GeneralPreferencesView.h"
#include "preferences/PreferencesTestSupport.h"

namespace qs::test {
namespace {

using Prefs = PreferencesWindowController;

class PreferencesWindowTest : public PreferencesTest {};

TEST_F(PreferencesWindowTest, FivePanesInOrderUnderOneTitle) {
    auto prefs = Prefs::prefsController();
    EXPECT_EQ(prefs, Prefs::prefsController());
    std::vector<std::string> ids, labels, actions;
    for (const auto& pane : prefs->viewControllers()) {
        ids.push_back(pane->viewIdentifier());
        EXPECT_EQ(pane->identifier(), pane->viewIdentifier());
        EXPECT_FALSE(pane->toolbarItemImage().isNull());
        labels.push_back(pane->toolbarItemLabel());
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"GeneralPreferences", "Appearance", "Widgets", "Advanced", "Blacklist"}));
    EXPECT_EQ(labels,
              (std::vector<std::string>{"General", "Appearance", "Widgets", "Advanced", "Blacklist/Excluded"}));
    QWidget* window = prefs->window();
    EXPECT_EQ(window->windowTitle(), "Preferences");
    for (QAction* a : prefs->toolbar()->actions()) actions.push_back(a->text().toStdString());
    EXPECT_EQ(actions, labels);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);

    // The panes edit the dock manager's own configuration and model.
    auto general = std::dynamic_pointer_cast<GeneralPreferencesView>(prefs->viewControllers()[0]);
    auto appearance = std::dynamic_pointer_cast<AppearanceViewController>(prefs->viewControllers()[1]);
    auto blacklist = std::dynamic_pointer_cast<BlacklistViewController>(prefs->viewControllers()[4]);
    EXPECT_EQ(general->config(), manager->mainConfig());
    EXPECT_EQ(appearance->config(), manager->mainConfig());
    EXPECT_EQ(blacklist->model(), manager->mainModel());
    // Every pane is loaded to size the window; only the pane on show is in it.
    EXPECT_TRUE(general->isViewLoaded());
    EXPECT_TRUE(appearance->isViewLoaded());
    EXPECT_TRUE(window->isAncestorOf(general->view()));
    EXPECT_FALSE(window->isAncestorOf(appearance->view()));
}

TEST_F(PreferencesWindowTest, TheWindowKeepsOneSizeWhicheverPaneItShows) {
    Prefs::showPreferences();
    auto prefs = Prefs::prefsController();
    QWidget* window = prefs->window();
    QApplication::processEvents();
    const QSize size = window->size();
    std::vector<QSize> paneSizes;
    for (QAction* pane : prefs->toolbar()->actions()) {
        pane->trigger();
        QApplication::processEvents();
        EXPECT_EQ(window->size(), size) << pane->text().toStdString();
        // The pane shown fits: nothing of it is cut off.
        QWidget* view = prefs->selectedViewController()->view();
        EXPECT_GE(view->width(), view->minimumSizeHint().width()) << pane->text().toStdString();
        EXPECT_GE(view->height(), view->minimumSizeHint().height()) << pane->text().toStdString();
        paneSizes.push_back(view->sizeHint());
    }
    // The panes themselves differ: a window sized to each would change.
    EXPECT_NE(std::adjacent_find(paneSizes.begin(), paneSizes.end(), std::not_equal_to<>()), paneSizes.end());
    // Shown again: the same size.
    window->close();
    Prefs::showPreferences();
    QApplication::processEvents();
    EXPECT_EQ(window->size(), size);
}

TEST_F(PreferencesWindowTest, OpeningTwiceShowsTheSameWindowCentredOnTheCurrentDesktop) {
    Prefs::showPreferences();
    auto prefs = Prefs::prefsController();
    QWidget* window = prefs->window();
    ASSERT_TRUE(window->isVisible());
    QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QPoint centred = window->pos();
    EXPECT_EQ(centred.x(), area.x() + (area.width() - window->frameGeometry().width()) / 2);
    EXPECT_LE(centred.y() + window->height() / 2, area.center().y());

    window->move(0, 0);
    sim.desktop->setSpaces(4, 2);
    Prefs::showPreferences();
    EXPECT_EQ(Prefs::prefsController(), prefs);
    EXPECT_EQ(prefs->window(), window);
    EXPECT_EQ(window->pos(), centred);
    bool moved = false;
    for (const auto& call : sim.desktop->calls())
        if (call == "moveToSpace " + std::to_string(window->winId()) + " 2") moved = true;
    EXPECT_TRUE(moved);
}

TEST_F(PreferencesWindowTest, OpensOnAGivenPaneAndKeepsThePaneForUnknownNames) {
    Prefs::showPreferences("Blacklist");
    auto prefs = Prefs::prefsController();
    EXPECT_EQ(prefs->selectedViewController()->identifier(), "Blacklist");
    EXPECT_TRUE(prefs->toolbar()->actions()[4]->isChecked());
    Prefs::showPreferences("NoSuchPane");
    EXPECT_TRUE(env.logged("no pane \"NoSuchPane\""));
    EXPECT_EQ(prefs->selectedViewController()->identifier(), "Blacklist");
    prefs->toolbar()->actions()[1]->trigger();
    EXPECT_EQ(prefs->selectedViewController()->identifier(), "Appearance");
    EXPECT_TRUE(prefs->viewControllers()[1]->view()->isVisible());
    EXPECT_FALSE(prefs->viewControllers()[4]->view()->isVisible());
}

TEST_F(PreferencesWindowTest, AClosedWindowObservesNothingAndCatchesUpWhenOpened) {
    auto& controller = *Binding::sharedDefaultsController();
    auto config = manager->mainConfig();
    size_t defaultsBefore = controller.observationCount();
    size_t configBefore = config->observationCount();

    Prefs::showPreferences();
    auto prefs = Prefs::prefsController();
    EXPECT_GT(controller.observationCount(), defaultsBefore);
    EXPECT_GT(config->observationCount(), configBefore);
    prefs->window()->close();
    EXPECT_FALSE(prefs->window()->isVisible());
    EXPECT_EQ(controller.observationCount(), defaultsBefore);
    EXPECT_EQ(config->observationCount(), configBefore);

    // Changed while closed: shown when opened again.
    config->setPosition(3);
    defaults().setBool(true, "HideQuayside");
    Prefs::showPreferences();
    QWidget* view = prefs->viewControllers()[0]->view();
    EXPECT_EQ(child<QComboBox>(view, "positionPopup")->currentIndex(), 3);
    EXPECT_TRUE(child<QAbstractButton>(view, "hideCheckBox")->isChecked());
}

TEST_F(PreferencesWindowTest, TheDockRebuiltWhileTheWindowIsOpenStillTakesEveryChange) {
    Prefs::showPreferences();
    QWidget* view = Prefs::prefsController()->viewControllers()[0]->view();
    manager->recreateWindows();  // as a screen change does
    ASSERT_EQ(factory.live().size(), 1u);
    auto* position = child<QComboBox>(view, "positionPopup");
    position->setCurrentIndex(0);
    EXPECT_EQ(factory.live().front()->config->position(), 0);

    // Choosing another screen arrangement rebuilds the dock at once.
    size_t made = factory.panels->size();
    auto* screen = child<QComboBox>(view, "screenPopup");
    screen->setCurrentIndex(3);
    EXPECT_EQ(defaults().integerForKey("displayIndex"), 3);
    EXPECT_GT(factory.panels->size(), made);
}

TEST_F(PreferencesWindowTest, ReleasedAtQuitWithTheApplicationStillThere) {
    Prefs::showPreferences();
    QPointer<QWidget> window = Prefs::prefsController()->window();
    Prefs::releasePrefsController();
    EXPECT_FALSE(Prefs::hasPrefsController());
    EXPECT_TRUE(window.isNull());
}

}  // namespace
}  // namespace qs::test
