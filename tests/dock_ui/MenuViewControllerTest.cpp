// The start-menu popover offscreen: its layout, the two lists over the start-menu model,
// the search that ignores case and diacritics and survives absurd input, the keyboard
// (the field's focus and caret, arrows, Return, Escape, typing over a list), hover
// selection, opening a chosen row in the background (a running application brought
// forward instead, a vanished entry left alone), the buttons' commands, and the click on
// the start-menu item that closes the menu not opening it again.
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/MenuModel.h"
#include "dock_ui/MenuViewController.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/sim/SimBackend.h"
#include "support/CpuStopwatch.h"
#include "support/TestEnvironment.h"

namespace fs = std::filesystem;

// Readable failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace qs {
namespace {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = getenv(name)) old_ = old, had_ = true;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

class RecordingEditor : public StartMenuEditor {
public:
    void setModel(const std::shared_ptr<MenuModel>& model) override { models.push_back(model); }
    void showWindow() override { ++shown; }
    std::vector<std::shared_ptr<MenuModel>> models;
    int shown = 0;
};

class MenuViewControllerTest : public test::IsolatedTest {
protected:
    void SetUp() override {
        MenuModel::resetSharedInstanceForTesting();
        sim = sim::installSimBackend();  // 1440 x 900
        userApps = env.dataHome() + "/applications";
        fs::create_directories(userApps);
        fs::create_directories(env.root() + "/system/applications");
        for (const char* name : {"Calculator", "iCal", "Cálculo", "Notes"}) addApp(name);

        panel = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        panel->setGeometry(600, 900 - 52, 240, 52);  // a bottom dock
        cell = new QWidget(panel.get());
        cell->setGeometry(0, 0, 52, 52);
        panel->show();

        StartMenuCommands commands;
        commands.showPreferences = [this] { ++preferencesShown; };
        commands.terminate = [this] { ++terminated; };
        commands.openDocs = [this] { ++docsOpened; };
        commands.makeEditor = [this] {
            ++editorsMade;
            editor = std::make_shared<RecordingEditor>();
            return editor;
        };
        MenuViewController::setCommands(commands);

        menu = MenuModel::init();
        settle();
        controller = MenuViewController::init();
    }
    void TearDown() override {
        settle();
        controller.reset();
        panel.reset();
        MenuViewController::setCommands({});
        MenuModel::resetSharedInstanceForTesting();
        desktop::install({});
    }

    std::string addApp(const std::string& name) {
        std::string file = userApps + "/" + name + ".desktop";
        std::ofstream(file) << "[Desktop Entry]\nType=Application\nName=" << name << "\nExec=true\n";
        desktop::DesktopEntry entry;
        entry.id = name;
        entry.path = file;
        entry.name = name;
        entry.exec = "true";
        sim.desktop->addDesktopEntry(entry);
        return file;
    }
    void settle() {
        env.loop().waitForBackground();
        env.loop().runPending();
    }
    void show() {
        controller->showStartMenuWith(menu, MakeRect(0, 0, 52, 52), cell, NSRectEdgeMinY);
        QApplication::processEvents();
    }
    static QStringList rows(QListView* list) {
        QStringList out;
        for (int r = 0; r < list->model()->rowCount(); ++r) out << list->model()->index(r, 0).data().toString();
        return out;
    }
    static QList<int> selectedRows(QListView* list) {
        QList<int> out;
        for (const auto& index : list->selectionModel()->selectedRows()) out << index.row();
        return out;
    }
    QPoint rowCentre(QListView* list, int row) {
        return list->viewport()->mapToGlobal(list->visualRect(list->model()->index(row, 0)).center());
    }
    int launches(const std::string& path) { return int(sim.desktop->callCount("launchApplication " + path)); }
    int rowOf(QListView* list, const QString& name) { return int(rows(list).indexOf(name)); }

    ScopedEnv dataDirs{"XDG_DATA_DIRS", env.root() + "/system"};
    ScopedEnv desktopName{"XDG_CURRENT_DESKTOP", "GNOME"};
    sim::SimBackend sim;
    std::string userApps;
    std::unique_ptr<QWidget> panel;
    QWidget* cell = nullptr;
    std::shared_ptr<MenuModel> menu;
    MenuViewControllerPtr controller;
    std::shared_ptr<RecordingEditor> editor;
    int preferencesShown = 0, terminated = 0, editorsMade = 0, docsOpened = 0;
};

TEST_F(MenuViewControllerTest, ShowsBothListsBesideTheItemAndTakesTheKeyboard) {
    // Made before any model: empty lists, nothing shown.
    EXPECT_EQ(controller->model(), nullptr);
    EXPECT_FALSE(controller->isShow());
    EXPECT_EQ(controller->tableView()->model()->rowCount(), 0);
    Popover* popover = controller->popover();
    EXPECT_EQ(popover->behavior(), NSPopoverBehaviorTransient);
    EXPECT_FALSE(popover->animates());
    EXPECT_TRUE(popover->takesKeyboardFocus());

    show();
    ASSERT_TRUE(controller->isShow());
    EXPECT_EQ(controller->model(), menu);
    EXPECT_EQ(popover->contentView(), controller->view());
    // No room below a bottom dock: the menu stands above its item.
    EXPECT_EQ(popover->shownEdge(), NSRectEdgeMaxY);
    EXPECT_GE(popover->frame().origin.y, 52.0);

    // The user's entries (the eight sample ones), in order, and every application.
    EXPECT_EQ(rows(controller->tableView()).size(), int(menu->modelContent().size()));
    EXPECT_EQ(controller->tableView()->model()->index(0, 0).data().toString(),
              QString::fromStdString(menu->modelContent()[0]->localizedName()));
    QStringList apps = rows(controller->appTableView());
    apps.sort();
    EXPECT_EQ(apps, QStringList({"Calculator", "Cálculo", "Notes", "iCal"}));

    // Layout: the entries on the left, the search field above the applications, the
    // buttons in a row below both, all inside the content.
    QWidget* view = controller->view();
    auto in = [&](QWidget* w) { return QRect(w->mapTo(view, QPoint(0, 0)), w->size()); };
    const QRect entries = in(controller->tableView()), field = in(controller->searchField()),
                list = in(controller->appTableView()), quit = in(controller->quitButton());
    for (const QRect& r : {entries, field, list, quit}) EXPECT_TRUE(view->rect().contains(r)) << r.x() << "," << r.y();
    EXPECT_LE(entries.right(), field.left());
    EXPECT_LE(field.bottom(), list.top());
    EXPECT_GE(quit.top(), std::max(entries.bottom(), list.bottom()));
    EXPECT_LT(in(controller->customizeButton()).left(), in(controller->preferencesButton()).left());
    EXPECT_GT(list.height(), 200);
    // Every row is as tall as its icon, drawn or still on its way, so icons never overlap.
    for (QListView* l : {controller->tableView(), controller->appTableView()})
        for (int r = 0; r < l->model()->rowCount(); ++r)
            EXPECT_GE(l->visualRect(l->model()->index(r, 0)).height(), MenuViewController::kIconSize) << r;
    // The lists draw no background of their own: the popover's shows through.
    EXPECT_EQ(controller->tableView()->palette().color(QPalette::Base).alpha(), 0);
    EXPECT_FALSE(controller->appTableView()->viewport()->autoFillBackground());

    EXPECT_TRUE(controller->searchField()->hasFocus());
    controller->closeStartMenu();
    EXPECT_FALSE(controller->isShow());
}

TEST_F(MenuViewControllerTest, SearchFiltersTheApplicationsIgnoringCaseAndDiacritics) {
    show();
    const int entryCount = controller->tableView()->model()->rowCount();
    QTest::keyClicks(QApplication::focusWidget(), "cal");
    EXPECT_EQ(controller->searchField()->text(), "cal");
    QStringList found = rows(controller->appTableView());
    found.sort();
    EXPECT_EQ(found, QStringList({"Calculator", "Cálculo", "iCal"}));
    EXPECT_EQ(controller->tableView()->model()->rowCount(), entryCount);  // never filtered

    for (const char* text : {"CAL", "cÁl", "CÀL"}) {
        controller->searchField()->setText(QString::fromUtf8(text));
        EXPECT_EQ(controller->appTableView()->model()->rowCount(), 3) << text;
    }
    controller->searchField()->setText("otes");
    EXPECT_EQ(rows(controller->appTableView()), QStringList({"Notes"}));
    controller->searchField()->clear();
    EXPECT_EQ(controller->appTableView()->model()->rowCount(), 4);

    EXPECT_EQ(MenuViewController::foldForSearch(QString::fromUtf8("Ångström ÉCOLE")), "angstrom ecole");
    EXPECT_EQ(MenuViewController::foldForSearch("MiXeD"), "mixed");
}

TEST_F(MenuViewControllerTest, AbsurdSearchTextsMatchNothingAndKeepTheMenuResponsive) {
    show();
    controller->searchField()->setText(QString::fromUtf8("\x01\x02\t\x1b\x7f"));
    EXPECT_EQ(controller->appTableView()->model()->rowCount(), 0);
    EXPECT_TRUE(controller->isShow());

    test::CpuStopwatch timer;  // CPU time: a loaded machine's waits do not count
    controller->searchField()->setText(QString(10000, QChar('c')));
    QApplication::processEvents();
    EXPECT_EQ(controller->appTableView()->model()->rowCount(), 0);
    controller->searchField()->setText(QString(9997, QChar(0x301)) + "cal");  // stray accents, then a match
    EXPECT_EQ(controller->appTableView()->model()->rowCount(), 3);
    EXPECT_LT(timer.elapsedMs(), 500);

    // Return with nothing found opens nothing; the menu stays.
    controller->searchField()->setText("zzz");
    QTest::keyClick(controller->searchField(), Qt::Key_Return);
    settle();
    EXPECT_TRUE(controller->isShow());
    EXPECT_EQ(sim.desktop->callCount("launchApplication"), 0u);
    controller->searchField()->clear();
    EXPECT_EQ(controller->appTableView()->model()->rowCount(), 4);
}

TEST_F(MenuViewControllerTest, ShowingKeepsTheTextWithTheCaretAtItsEnd) {
    controller->searchField()->setText("cal");
    controller->searchField()->selectAll();
    show();
    QLineEdit* field = controller->searchField();
    EXPECT_TRUE(field->hasFocus());
    EXPECT_EQ(field->cursorPosition(), 3);
    EXPECT_FALSE(field->hasSelectedText());
    EXPECT_EQ(controller->appTableView()->model()->rowCount(), 3);  // the filter still applies
    QTest::keyClicks(QApplication::focusWidget(), "c");
    EXPECT_EQ(field->text(), "calc");
    QStringList found = rows(controller->appTableView());
    found.sort();
    EXPECT_EQ(found, QStringList({"Calculator", "Cálculo"}));
}

TEST_F(MenuViewControllerTest, ReturnOpensTheChosenApplicationInTheBackgroundAndCloses) {
    show();
    QTest::keyClicks(QApplication::focusWidget(), "note");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(controller->isShow());  // closed at once
    settle();
    EXPECT_EQ(launches(userApps + "/Notes.desktop"), 1);

    // The arrows move through the found applications; Return opens the selected one.
    show();
    controller->searchField()->setText("cal");
    const QStringList found = rows(controller->appTableView());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_EQ(selectedRows(controller->appTableView()), QList<int>({1}));
    EXPECT_TRUE(controller->searchField()->hasFocus());  // typing goes on in the field
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    settle();
    EXPECT_EQ(launches(userApps + "/" + found[1].toStdString() + ".desktop"), 1);
    EXPECT_EQ(sim.desktop->callCount("launchApplication"), 2u);
}

TEST_F(MenuViewControllerTest, EscapeCloses) {
    show();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(controller->isShow());
    // Escape is no click on the item: showing again at once works.
    show();
    EXPECT_TRUE(controller->isShow());
    // From a list that has the keyboard, too.
    controller->mouseMoved(rowCentre(controller->appTableView(), 0));
    ASSERT_TRUE(controller->appTableView()->hasFocus());
    QTest::keyClick(controller->appTableView(), Qt::Key_Escape);
    EXPECT_FALSE(controller->isShow());
}

TEST_F(MenuViewControllerTest, HoverSelectsTheRowAndGivesItsListTheKeyboard) {
    show();
    controller->tableView()->selectionModel()->setCurrentIndex(controller->tableView()->model()->index(1, 0),
                                                               QItemSelectionModel::ClearAndSelect);
    // A real pointer move over the applications' third row.
    QListView* apps = controller->appTableView();
    QPoint local = apps->visualRect(apps->model()->index(2, 0)).center();
    QMouseEvent move(QEvent::MouseMove, local, apps->viewport()->mapToGlobal(local), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(apps->viewport(), &move);
    EXPECT_EQ(selectedRows(apps), QList<int>({2}));
    EXPECT_EQ(controller->appsArrayController()->selectionIndexes(), IndexSet({2}));
    EXPECT_TRUE(apps->hasFocus());
    EXPECT_EQ(selectedRows(controller->tableView()), QList<int>({1}));  // the entries' selection stays

    // Over the entries: their row, their keyboard.
    controller->mouseMoved(rowCentre(controller->tableView(), 3));
    EXPECT_EQ(selectedRows(controller->tableView()), QList<int>({3}));
    EXPECT_TRUE(controller->tableView()->hasFocus());
    // Below the last row: nothing changes.
    controller->mouseMoved(apps->viewport()->mapToGlobal(QPoint(5, apps->viewport()->height() - 2)));
    EXPECT_EQ(selectedRows(apps), QList<int>({2}));

    // Typing while a list has the keyboard goes on in the search field.
    QTest::keyClicks(QApplication::focusWidget(), "no");
    EXPECT_EQ(controller->searchField()->text(), "no");
    EXPECT_TRUE(controller->searchField()->hasFocus());
    EXPECT_EQ(rows(apps), QStringList({"Notes"}));
}

TEST_F(MenuViewControllerTest, ClickingARowOpensItAndAClickBesideTheRowsDoesNothing) {
    // A document among the user's entries opens with its default application.
    const std::string document = env.root() + "/report.txt";
    std::ofstream(document) << "text";
    menu->addItemToModelContent(FileSystemNode::initWithPath(document));
    show();
    QListView* entries = controller->tableView();
    const int row = rowOf(entries, "report.txt");
    ASSERT_GE(row, 0);

    // Hover first (as the pointer does), then a press beside the rows: nothing opens.
    controller->mouseMoved(rowCentre(entries, row));
    QTest::mouseClick(entries->viewport(), Qt::LeftButton, {}, QPoint(5, entries->viewport()->height() - 2));
    settle();
    EXPECT_TRUE(controller->isShow());
    EXPECT_TRUE(sim.desktop->calls().empty() || sim.desktop->callCount("open") == 0);

    QTest::mouseClick(entries->viewport(), Qt::LeftButton, {}, entries->visualRect(entries->model()->index(row, 0)).center());
    EXPECT_FALSE(controller->isShow());
    settle();
    EXPECT_EQ(sim.desktop->callCount("openURL file://" + document), 1u);

    // An application of the applications list starts from its desktop entry.
    show();
    QListView* apps = controller->appTableView();
    const int calculator = rowOf(apps, "Calculator");
    QTest::mouseClick(apps->viewport(), Qt::LeftButton, {}, apps->visualRect(apps->model()->index(calculator, 0)).center());
    settle();
    EXPECT_EQ(launches(userApps + "/Calculator.desktop"), 1);
}

TEST_F(MenuViewControllerTest, ARunningApplicationIsBroughtForwardNotStartedAgain) {
    RunningApplication::Info info;
    info.localizedName = "Notes";
    info.bundleIdentifier = "Notes";
    info.bundlePath = userApps + "/Notes.desktop";
    auto running = sim.desktop->addApplication(info);
    show();
    controller->searchField()->setText("notes");
    QTest::keyClick(controller->searchField(), Qt::Key_Return);
    settle();
    EXPECT_FALSE(controller->isShow());
    EXPECT_EQ(launches(userApps + "/Notes.desktop"), 0);
    EXPECT_EQ(sim.desktop->callCount("activate " + std::to_string(running->processIdentifier())), 1u);
}

TEST_F(MenuViewControllerTest, AnEntryWhoseDesktopEntryWasRemovedIsLoggedAndKept) {
    const std::string notes = userApps + "/Notes.desktop";
    menu->addItemToModelContent(FileSystemNode::initWithPath(notes));
    const size_t entryCount = menu->modelContent().size();
    show();
    ASSERT_GE(rowOf(controller->appTableView(), "Notes"), 0);
    fs::remove(notes);  // removed while listed: the folder's change has not arrived yet

    controller->searchField()->setText("notes");
    QTest::keyClick(controller->searchField(), Qt::Key_Return);
    settle();
    EXPECT_FALSE(controller->isShow());
    EXPECT_EQ(launches(notes), 0);
    // The user is told the application is not installed, by its name.
    EXPECT_TRUE(env.logged("Notes is not installed"));
    ASSERT_TRUE(controller->notInstalledMessage());
    EXPECT_TRUE(controller->notInstalledMessage()->isVisible());
    EXPECT_TRUE(controller->notInstalledMessage()->text().contains("Notes"));
    EXPECT_TRUE(controller->notInstalledMessage()->text().contains("not installed"));
    controller->notInstalledMessage()->close();

    // From the user's own entries: the same, and the entry stays the user's.
    show();
    QListView* entries = controller->tableView();
    const int row = int(entryCount) - 1;
    QTest::mouseClick(entries->viewport(), Qt::LeftButton, {}, entries->visualRect(entries->model()->index(row, 0)).center());
    settle();
    EXPECT_EQ(launches(notes), 0);
    EXPECT_EQ(menu->modelContent().size(), entryCount);
    EXPECT_EQ(menu->modelContent().back()->path(), notes);

    // A file whose desktop entry the workspace cannot read is not started either.
    const std::string broken = userApps + "/Broken.desktop";
    std::ofstream(broken) << "[Desktop Entry]\nType=Application\nName=Broken\nExec=true\n";
    controller->doAction(FileSystemNode::initWithPath(broken));
    settle();
    EXPECT_EQ(launches(broken), 0);
    EXPECT_TRUE(env.logged("cannot be read"));
}

TEST_F(MenuViewControllerTest, ListsFollowTheModelWhileShownAndKeepTheFilter) {
    show();
    controller->searchField()->setText("cal");
    const std::string document = env.root() + "/notes.txt";
    std::ofstream(document) << "";
    const int before = controller->tableView()->model()->rowCount();
    menu->addItemToModelContent(FileSystemNode::initWithPath(document));
    EXPECT_EQ(controller->tableView()->model()->rowCount(), before + 1);

    // A new application in the folder, announced as the folder watch announces it.
    addApp("Calendar");
    addApp("Terminal");
    menu->appDir()->invalidateChildren();
    NotificationCenter::defaultCenter().postNotificationName("PopulateChildrenArray", Value(menu->appDir()));
    settle();
    QStringList found = rows(controller->appTableView());
    found.sort();
    EXPECT_EQ(found, QStringList({"Calculator", "Calendar", "Cálculo", "iCal"}));
    controller->searchField()->clear();
    EXPECT_EQ(controller->appTableView()->model()->rowCount(), 6);

    // An entry renamed in place (the same file) shows and is found by its new name.
    std::ofstream(userApps + "/Terminal.desktop") << "[Desktop Entry]\nType=Application\nName=Console Window\nExec=true\n";
    menu->appDir()->invalidateChildren();
    NotificationCenter::defaultCenter().postNotificationName("PopulateChildrenArray", Value(menu->appDir()));
    settle();
    EXPECT_GE(rowOf(controller->appTableView(), "Console Window"), 0);
    controller->searchField()->setText("console");
    EXPECT_EQ(rows(controller->appTableView()), QStringList({"Console Window"}));
}

TEST_F(MenuViewControllerTest, ButtonsRunTheProgramsCommands) {
    show();
    controller->customizeButton()->click();
    EXPECT_EQ(editorsMade, 1);
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->models, std::vector<std::shared_ptr<MenuModel>>({menu}));
    EXPECT_EQ(editor->shown, 1);
    EXPECT_FALSE(controller->isShow());  // the editor window takes the keyboard
    EXPECT_EQ(sim.desktop->callCount("activate " + std::to_string(::getpid())), 1u);
    // A second use: the same editor, with the model of the latest show.
    show();
    controller->customizeMenu();
    EXPECT_EQ(editorsMade, 1);
    EXPECT_EQ(editor->shown, 2);
    EXPECT_EQ(controller->prefs(), editor);

    show();
    controller->preferencesButton()->click();
    EXPECT_EQ(preferencesShown, 1);
    show();
    // The installed documentation, as the status menu's item opens it; no web address.
    controller->documentationButton()->click();
    EXPECT_EQ(docsOpened, 1);
    EXPECT_EQ(sim.desktop->callCount("openURL"), 0u);
    show();
    controller->quitButton()->click();
    EXPECT_EQ(terminated, 1);
    EXPECT_FALSE(controller->isShow());

    // Without the commands installed: a log line each, nothing else.
    MenuViewController::setCommands({.showPreferences = {}, .makeEditor = {}, .terminate = [] {}});
    auto bare = MenuViewController::init();
    bare->customizeMenu();
    bare->QuaysidePrefs();
    bare->openDocs();
    EXPECT_TRUE(env.logged("documentation is not available"));
    EXPECT_TRUE(env.logged("start-menu editor is not available"));
    EXPECT_TRUE(env.logged("preferences window is not available"));
}

TEST_F(MenuViewControllerTest, TheClickOnTheItemThatClosedTheMenuDoesNotOpenItAgain) {
    // What the cell actions do with a press on the start-menu item.
    auto toggle = [&] {
        if (controller->isShow())
            controller->closeStartMenu();
        else
            controller->showStartMenuWith(menu, MakeRect(0, 0, 52, 52), cell, NSRectEdgeMinY);
    };
    toggle();
    ASSERT_TRUE(controller->isShow());
    // A press outside the pop-up (on the item) closes it; Qt then hands the same press
    // to the item, which toggles.
    QWidget* window = controller->popover()->window();
    QTest::mousePress(window, Qt::LeftButton, {}, QPoint(-20, window->height() + 20));
    EXPECT_FALSE(controller->isShow());
    toggle();
    EXPECT_FALSE(controller->isShow());
    QTest::mouseRelease(panel.get(), Qt::LeftButton, {}, QPoint(20, 20));

    // A later click opens it, and a click while open closes it.
    env.loop().advance(1.0);
    toggle();
    EXPECT_TRUE(controller->isShow());
    toggle();
    EXPECT_FALSE(controller->isShow());
    toggle();
    EXPECT_TRUE(controller->isShow());
}

}  // namespace
}  // namespace qs
