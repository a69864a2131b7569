#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Menu.h"
#include "platform/ui/MenuPresenter.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

MenuItem::Action counting(int& runs, const char* selector = "run:") {
    return {selector, [&runs](MenuItem&) { ++runs; }};
}

class Filler : public MenuDelegate {
public:
    void menuNeedsUpdate(Menu& menu) override {
        ++updates;
        menu.removeAllItems();
        menu.addItemWithTitle("late " + std::to_string(updates), {"open:", [](MenuItem&) {}});
    }
    int updates = 0;
};

// An entry of `menu` whose submenu is a folder's: titled with its path, filled by
// `filler` each time it shows.
void addFolderEntry(Menu& menu, const std::string& title, const std::string& path,
                    const std::shared_ptr<Filler>& filler) {
    auto sub = std::make_shared<Menu>(path);
    sub->setDelegate(filler);
    menu.addItemWithTitle(title)->setSubmenu(sub);
}

TEST(MenuModel, ItemsBelongToOneMenuAndKnowIt) {
    test::TestEnvironment env;
    auto menu = std::make_shared<Menu>("menu");
    auto other = std::make_shared<Menu>("other");
    int runs = 0;
    auto open = menu->addItemWithTitle("Open", counting(runs), "");
    menu->addItem(MenuItem::separatorItem());
    EXPECT_EQ(open->menu(), menu);
    EXPECT_FALSE(other->addItem(open));
    EXPECT_TRUE(env.logged("already in a menu"));
    EXPECT_FALSE(menu->addItem(nullptr));
    EXPECT_EQ(menu->numberOfItems(), 2u);
    EXPECT_EQ(menu->indexOfItemWithTitle("Open"), 0);

    auto sub = std::make_shared<Menu>("/home/user/folder");
    open->setSubmenu(sub);
    EXPECT_EQ(sub->supermenu(), menu);
    menu->removeItem(open);
    EXPECT_EQ(open->menu(), nullptr);
    EXPECT_EQ(sub->supermenu(), nullptr);
    EXPECT_TRUE(other->addItem(open));
}

TEST(MenuModel, AutomaticEnablingFollowsTheActionOtherwiseTheFlag) {
    auto menu = std::make_shared<Menu>("");
    int runs = 0;
    auto none = menu->addItemWithTitle("None");
    auto run = menu->addItemWithTitle("Run", counting(runs));
    run->setEnabled(false);
    EXPECT_FALSE(menu->isItemEnabled(*none));
    EXPECT_TRUE(menu->isItemEnabled(*run));
    EXPECT_FALSE(menu->performActionForItemAtIndex(0));
    EXPECT_TRUE(menu->performActionForItemAtIndex(1));
    menu->setAutoenablesItems(false);
    EXPECT_FALSE(menu->performActionForItemAtIndex(1));
    EXPECT_EQ(runs, 1);
}

TEST(MenuPresentation, AQMenuShowsTheModelAndAChoiceRunsTheActionOnce) {
    test::TestEnvironment env;
    auto menu = std::make_shared<Menu>("menu");
    int opened = 0, removed = 0;
    auto open = menu->addItemWithTitle("Open & Edit", counting(opened));
    open->setToolTip("/usr/share/applications/editor.desktop");
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    open->setImage(std::make_shared<Image>(icon));
    menu->addItem(MenuItem::separatorItem());
    auto remove = menu->addItemWithTitle("Remove", counting(removed));
    remove->setState(NSControlStateValueOn);
    auto hidden = menu->addItemWithTitle("Hidden", counting(removed));
    hidden->setHidden(true);
    menu->addItemWithTitle("None");

    std::unique_ptr<QMenu> shown(MenuPresenter::makeQMenu(menu));
    auto actions = shown->actions();
    ASSERT_EQ(actions.size(), 4);
    EXPECT_EQ(actions[0]->text(), "Open && Edit");
    EXPECT_EQ(actions[0]->toolTip(), "/usr/share/applications/editor.desktop");
    EXPECT_FALSE(actions[0]->icon().isNull());
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_TRUE(actions[2]->isChecked());
    EXPECT_FALSE(actions[3]->isEnabled());

    actions[0]->trigger();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(removed, 0);
}

TEST(MenuPresentation, ASubmenuIsFilledByItsDelegateWhenItShows) {
    test::TestEnvironment env;
    auto menu = std::make_shared<Menu>("");
    auto filler = std::make_shared<Filler>();
    addFolderEntry(*menu, "Folder", "/home/user/folder", filler);

    std::unique_ptr<QMenu> shown(MenuPresenter::makeQMenu(menu));
    QMenu* subShown = shown->actions().at(0)->menu();
    ASSERT_NE(subShown, nullptr);
    EXPECT_EQ(filler->updates, 0);
    EXPECT_TRUE(subShown->actions().isEmpty());
    subShown->popup(QPoint(0, 0));
    EXPECT_EQ(filler->updates, 1);
    ASSERT_EQ(subShown->actions().size(), 1);
    EXPECT_EQ(subShown->actions().at(0)->text(), "late 1");
    subShown->hide();
}

TEST(MenuPresentation, PoppingUpAnswersWhetherAnEntryWasChosen) {
    test::TestEnvironment env;
    auto menu = std::make_shared<Menu>("");
    int runs = 0;
    auto item = menu->addItemWithTitle("Go", counting(runs));
    // Whatever happens, no menu stays open past a few seconds.
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (auto* popup = QApplication::activePopupWidget()) popup->close();
    });
    guard.start(3000);
    QTimer::singleShot(0, [] {
        if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            popup->actions().at(0)->trigger();
            popup->close();
        }
    });
    EXPECT_TRUE(MenuPresenter::popUpMenuPositioningItem(menu, item, {10, 10}, nullptr));
    EXPECT_EQ(runs, 1);
    QTimer::singleShot(0, [] {
        if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) popup->close();
    });
    EXPECT_FALSE(MenuPresenter::popUpMenuPositioningItem(menu, nullptr, {10, 10}, nullptr));
    EXPECT_EQ(runs, 1);

    // A menu its delegate fills is filled once per showing, before it is placed.
    auto filled = std::make_shared<Menu>("/home/user/folder");
    auto filler = std::make_shared<Filler>();
    filled->setDelegate(filler);
    filled->addItemWithTitle("stale");
    std::string shownTitle;
    QTimer::singleShot(0, [&] {
        if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            shownTitle = popup->actions().at(0)->text().toStdString();
            popup->close();
        }
    });
    EXPECT_FALSE(MenuPresenter::popUpMenuPositioningItem(filled, filled->itemAtIndex(0), {5, 5}, nullptr));
    EXPECT_EQ(filler->updates, 1);
    EXPECT_EQ(shownTitle, "late 1");
}

TEST(MenuPresentation, ASubmenusEntryKeepsItsTitleAtEveryDepthAndItsParentItsSize) {
    test::TestEnvironment env;
    // As the context menus build them (submenus titled "") and the folder pop-up menus
    // (a lazily filled folder's submenu titled with its path).
    auto menu = std::make_shared<Menu>("");
    menu->addItemWithTitle("Open", {"open:", [](MenuItem&) {}});
    auto options = menu->addItemWithTitle("Options");
    auto optionsMenu = std::make_shared<Menu>("");
    options->setSubmenu(optionsMenu);
    auto filler = std::make_shared<Filler>();
    addFolderEntry(*optionsMenu, "Pictures", "/home/user/Pictures", filler);

    std::unique_ptr<QMenu> shown(MenuPresenter::makeQMenu(menu));
    shown->popup(QPoint(100, 100));
    const QSize size = shown->size();
    QAction* optionsAction = shown->actions().at(1);
    optionsAction->menu()->popup(QPoint(300, 100));
    QAction* folderAction = optionsAction->menu()->actions().at(0);
    folderAction->menu()->popup(QPoint(500, 100));
    EXPECT_EQ(filler->updates, 1);
    // Shown again, each submenu is rebuilt from its model: the titles stay.
    optionsAction->menu()->hide();
    optionsAction->menu()->popup(QPoint(300, 100));
    folderAction = optionsAction->menu()->actions().at(0);
    folderAction->menu()->popup(QPoint(500, 100));
    EXPECT_EQ(optionsAction->text(), "Options");
    EXPECT_EQ(folderAction->text(), "Pictures");
    EXPECT_EQ(shown->size(), size);
    EXPECT_EQ(shown->sizeHint(), size);
    shown->hide();
}

TEST(MenuPresentation, AMenuWithNothingToChooseIsNeverPoppedUp) {
    test::TestEnvironment env;
    // Empty, only separators and hidden items, or filled with nothing by its delegate.
    auto empty = std::make_shared<Menu>("");
    auto bare = std::make_shared<Menu>("");
    bare->addItem(MenuItem::separatorItem());
    bare->addItemWithTitle("Hidden", {"go:", [](MenuItem&) {}})->setHidden(true);
    class Emptier : public MenuDelegate {
        void menuNeedsUpdate(Menu& m) override { m.removeAllItems(); }
    };
    auto emptied = std::make_shared<Menu>("/gone");
    emptied->addItemWithTitle("stale", {"go:", [](MenuItem&) {}});
    auto emptier = std::make_shared<Emptier>();
    emptied->setDelegate(emptier);

    int popups = 0;
    for (const MenuPtr& m : {empty, bare, emptied}) {
        // A pop-up would run its own loop: this would see it (and end it).
        QTimer::singleShot(0, [&] {
            if (auto* popup = QApplication::activePopupWidget()) {
                ++popups;
                popup->close();
            }
        });
        EXPECT_FALSE(MenuPresenter::popUpMenuPositioningItem(m, nullptr, {10, 10}, nullptr));
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        EXPECT_FALSE(MenuPresenter::isTracking());
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(popups, 0);
}

TEST(MenuPresentation, TrackingRunsFromTheFirstMenuOpenedToTheLastClosed) {
    test::TestEnvironment env;
    int began = 0, ended = 0;
    auto& centre = NotificationCenter::defaultCenter();
    centre.addObserver(&began, MenuPresenter::kMenuDidBeginTracking, nullptr, [&](const Notification&) { ++began; });
    centre.addObserver(&ended, MenuPresenter::kMenuDidEndTracking, nullptr, [&](const Notification&) { ++ended; });
    auto menu = std::make_shared<Menu>("");
    auto more = menu->addItemWithTitle("More");
    more->setSubmenu(std::make_shared<Menu>(""));
    more->submenu()->addItemWithTitle("Deeper", {"go:", [](MenuItem&) {}});

    auto shown = std::unique_ptr<QMenu>(MenuPresenter::makeQMenu(menu));
    EXPECT_FALSE(MenuPresenter::isTracking());
    shown->popup(QPoint(10, 10));
    QMenu* sub = shown->actions().at(0)->menu();
    sub->popup(QPoint(200, 10));
    sub->hide();
    EXPECT_TRUE(MenuPresenter::isTracking());
    shown->hide();
    EXPECT_FALSE(MenuPresenter::isTracking());
    EXPECT_EQ(began, 1);
    EXPECT_EQ(ended, 1);

    // A menu that goes while it shows ends the tracking too.
    shown->popup(QPoint(10, 10));
    shown.reset();
    EXPECT_FALSE(MenuPresenter::isTracking());
    EXPECT_EQ(began, 2);
    EXPECT_EQ(ended, 2);
    centre.removeObserver(&began);
    centre.removeObserver(&ended);
}

}  // namespace
}  // namespace qs
