// The cell actions on the in-memory desktop with the manual clock: what a press and a
// release do per item kind and setting (activation rules, relaunch, folders, groups, the
// start menu), the hover's delays and what stops them, the pop-up menus of folders and
// groups (missing files, the lazy submenus), the launch bounce of an application
// started from the dock, and Exec lines written for a shell.

#include <filesystem>
#include <fstream>

#include <QApplication>
#include <QMenu>
#include <QWidget>
#include <gtest/gtest.h>

#include "core/DockConfiguration.h"
#include "core/FileSystemNode.h"
#include "core/GroupModel.h"
#include "core/MenuModel.h"
#include "core/Separator.h"
#include "core/TrashModel.h"
#include "dock_ui/CellActionsDelegate.h"
#include "dock_ui/CollectionItemView.h"
#include "dock_ui/DockCollectionItemCell.h"
#include "dock_ui/FolderViewController.h"
#include "dock_ui/GroupViewController.h"
#include "dock_ui/MenuViewController.h"
#include "dock_ui/Tooltip.h"
#include "dock_ui/WindowPreviewController.h"
#include "platform/desktop/Desktop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/sim/SimBackend.h"
#include "platform/sim/SimDesktop.h"
#include "platform/ui/Menu.h"
#include "platform/ui/MenuPresenter.h"
#include "platform/ui/ViewObject.h"
#include "platform/x11/DesktopEntry.h"
#include "support/TestEnvironment.h"
#include "tracking/AppMonitoringService.h"
#include "tracking/LaunchTracker.h"
#include "tracking/RunningApplicationEx.h"

namespace qs {
namespace {

namespace fs = std::filesystem;

// The delegate with its pop-up menus taken instead of shown, and the panel's answer to
// "is the pointer over the dock" under the test's control.
class TestActions : public CellActionsDelegate {
public:
    std::vector<MenuPtr> popped;
    bool overDock = true;
    void popUpMenu(const MenuPtr& menu, const Point&, QWidget*) override { popped.push_back(menu); }
    bool dockInMouseRect() const override { return overDock; }
};

class CellActionsTest : public test::IsolatedTest {
protected:
    void SetUp() override {
        sim = sim::installSimBackend();  // 1440 x 900
        desk = sim.desktop;
        panel = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        panel->setGeometry(600, 900 - 52, 240, 52);  // a bottom dock
        item = new CollectionItemView(panel.get());
        item->setGeometry(100, 0, 52, 52);
        panel->show();
        desk->setPointer(MakePoint(10, 10));
        config = DockConfiguration::create();
        config->setPosition(1);
        config->setWindowActivation(1);
        auto& d = UserDefaults::standardUserDefaults();
        d.setBool(true, "WindowPreview");
        d.setBool(true, "Tooltips");
        d.setInteger(0, "FolderViewIndex");
        actions = makeActions();
        files = env.root() + "/files";
        fs::create_directories(files);
    }
    void TearDown() override {
        actions.reset();
        panel.reset();
        QCoreApplication::processEvents();
        LaunchTracker::resetSharedForTesting();
        AppMonitoringService::resetSharedInstanceForTesting();
        MenuModel::resetSharedInstanceForTesting();
        TrashModel::resetSharedInstanceForTesting();
        env.loop().waitForBackground();
        desktop::install({});
    }

    std::shared_ptr<TestActions> makeActions() {
        auto a = std::make_shared<TestActions>();
        a->setConfig(config);
        a->initControllers();
        return a;
    }

    Event press() {
        Event e = Event::mouseEvent(NSEventTypeLeftMouseDown, MakePoint(120, 20));
        e.window = panel.get();
        return e;
    }
    void click(const Value& object) {
        actions->mouseUp(press(), item, object, false);
        actions->mouseUp(press(), item, object, true);
    }
    void settle() {
        env.loop().runPending();
        env.loop().advance(1.0);
        env.loop().waitForBackground();
        env.loop().runPending();
    }
    std::string makeFile(const std::string& name, const std::string& in = "") {
        std::string dir = in.empty() ? files : in;
        fs::create_directories(dir);
        std::string path = dir + "/" + name;
        std::ofstream(path) << "x";
        return path;
    }
    std::string entry(const std::string& id) {
        std::string path = env.root() + "/" + id + ".desktop";
        std::ofstream(path) << "[Desktop Entry]\nType=Application\nName=" << id << "\nExec=true\n";
        desktop::DesktopEntry e;
        e.id = id;
        e.path = path;
        e.name = id;
        e.exec = "true";
        desk->addDesktopEntry(e);
        return path;
    }
    // A tracked application with windows (the first made is the oldest).
    RunningApplicationPtr appWithWindows(const std::string& name, int windows, const std::string& bundle = "") {
        auto app = desk->addApplication(0, name, bundle);
        for (int i = 0; i < windows; ++i)
            desk->addWindow(app->processIdentifier(), name + std::to_string(i), MakeRect(100 + i, 100, 300, 200));
        settle();
        auto ex = AppMonitoringService::sharedInstance()->getCachedApplicationExForApplication(app);
        if (ex) {
            ex->initWindowsMonitoring();
            settle();
        }
        return app;
    }
    size_t calls(const std::string& prefix) { return desk->callCount(prefix); }
    Dictionary hover(const Value& object) { return Dictionary{{"app", object}, {"view", Value(viewObject(item))}}; }

    sim::SimBackend sim;
    std::shared_ptr<sim::SimDesktop> desk;
    std::unique_ptr<QWidget> panel;
    CollectionItemView* item = nullptr;
    std::shared_ptr<DockConfiguration> config;
    std::shared_ptr<TestActions> actions;
    std::string files;
};

// ---------------------------------------------------------------------------------
// Clicks

TEST_F(CellActionsTest, ThePanelsDelegateOwnsItsPopovers) {
    auto made = CellActionsDelegate::initWhitCollectionView(nullptr, nullptr, config);
    EXPECT_TRUE(made->viewController() && made->windowPreviewController() && made->startMenuController() &&
                made->groupController());
    EXPECT_FALSE(made->isPreviewActive() || made->isStartMenuActive() || made->folderViewIsShow() ||
                 made->groupViewIsShow() || made->dockInMouseRect());
    EXPECT_EQ(made->getPreferredEdgeForConfig(), 1);
    config->setPosition(2);
    EXPECT_EQ(made->getPreferredEdgeForConfig(), 0);
    config->setPosition(3);
    EXPECT_EQ(made->getPreferredEdgeForConfig(), 1);
}

TEST_F(CellActionsTest, ARunningApplicationIsActivatedOnceOnTheReleaseOfAClick) {
    auto app = appWithWindows("Editor", 2, "org.example.Editor");
    desk->clearRecords();
    actions->mouseUp(press(), item, Value(app), false);  // the press: a drag may follow
    EXPECT_EQ(calls("activate "), 0u);
    actions->mouseUp(press(), item, Value(app), true);  // the release of the click
    EXPECT_EQ(calls("activate " + std::to_string(app->processIdentifier()) + " 3"), 1u);
    EXPECT_EQ(calls("activate "), 1u);
    EXPECT_EQ(calls("launch"), 0u);

    // Hidden: shown again first.
    app->setHidden(true);
    desk->clearRecords();
    click(Value(app));
    EXPECT_EQ(calls("unhide " + std::to_string(app->processIdentifier())), 1u);
}

TEST_F(CellActionsTest, TheActiveApplicationGetsItsFirstMinimisedWindowBack) {
    auto app = appWithWindows("Editor", 3, "org.example.Editor");
    auto windows = desk->stacking();
    ASSERT_EQ(windows.size(), 3u);
    click(Value(app));  // now active
    settle();
    ASSERT_TRUE(app->isActive());
    desk->setMinimized(windows[1], true);
    settle();
    click(Value(app));
    settle();
    EXPECT_FALSE(desk->window(windows[1])->minimized);

    // All windows visible: no window is touched beyond the activation.
    desk->clearRecords();
    click(Value(app));
    EXPECT_EQ(calls("set "), 0u);
}

TEST_F(CellActionsTest, WindowActivationZeroBringsTheMostRecentWindow) {
    config->setWindowActivation(0);
    auto app = appWithWindows("Editor", 2);
    auto other = appWithWindows("Viewer", 1);
    auto ex = AppMonitoringService::sharedInstance()->getCachedApplicationExForApplication(app);
    ASSERT_TRUE(ex && ex->windows().size() == 2u);
    const auto first = ex->windows().front()->win_id();
    EXPECT_NE(desk->activeWindow(), first);
    click(Value(app));
    settle();
    EXPECT_EQ(desk->activeWindow(), first);
    (void)other;
}

TEST_F(CellActionsTest, AnApplicationWithoutWindowsStartsAgainByItsBundleIdentifier) {
    entry("org.example.Editor");
    auto app = appWithWindows("Editor", 0, "org.example.Editor");
    desk->clearRecords();
    click(Value(app));
    EXPECT_EQ(calls("launchAppWithBundleIdentifier org.example.Editor"), 1u);
    EXPECT_EQ(calls("launchAppWithBundleIdentifier"), 1u);
    EXPECT_TRUE(sim.messages->shown().empty());

    // No entry for the identifier: the bundle path is tried next, and the user hears
    // that it could not be started.
    auto lost = appWithWindows("Lost", 0, "org.example.Lost");
    desk->clearRecords();
    click(Value(lost));
    EXPECT_EQ(calls("launchAppWithBundleIdentifier org.example.Lost"), 1u);
    ASSERT_EQ(sim.messages->shown().size(), 1u);
    EXPECT_EQ(sim.messages->shown().front().text, "\u201cLost\u201d could not be started again.");
    EXPECT_FALSE(sim.messages->shown().front().informativeText.empty());

    // An empty identifier: only activated.
    auto bare = appWithWindows("Bare", 0, "");
    desk->clearRecords();
    click(Value(bare));
    EXPECT_EQ(calls("launch"), 0u);
}

TEST_F(CellActionsTest, ADocumentOpensOnceAndAStoppedApplicationLaunchesAndBounces) {
    auto doc = FileSystemNode::initWithPath(makeFile("notes.txt"));
    desk->clearRecords();
    click(Value(doc));
    EXPECT_EQ(calls("openFile " + doc->path()) + calls("openURL file://" + doc->path()), 1u);

    auto app = FileSystemNode::initWithPath(entry("org.example.Paint"));
    ASSERT_TRUE(app->isApplication());
    auto cell = std::make_shared<DockCollectionItemCell>();
    cell->setRepresentedObject(Value(app));
    desk->clearRecords();
    actions->mouseUp(press(), item, Value(app), false);
    EXPECT_EQ(calls("launchApplication"), 0u);
    actions->mouseUp(press(), item, Value(app), true);
    EXPECT_TRUE(LaunchTracker::shared().isLaunching(app->path()));
    EXPECT_TRUE(cell->isBouncing());
    EXPECT_EQ(calls("launchApplication " + app->path()), 1u);
    // The first window of the launched program ends the launch (the sim announces it).
    env.loop().runPending();
    EXPECT_FALSE(LaunchTracker::shared().isLaunching(app->path()));
}

TEST_F(CellActionsTest, FoldersGroupsAndTheStartMenuFollowTheirPressRules) {
    panel->show();
    auto folder = FileSystemNode::initWithPath(files);
    makeFile("a.txt");
    // "FolderViewIndex" 0: the popover on the press, kept (moved back) by the release.
    actions->mouseUp(press(), item, Value(folder), false);
    EXPECT_TRUE(actions->folderViewIsShow());
    actions->mouseUp(press(), item, Value(folder), true);
    EXPECT_TRUE(actions->folderViewIsShow());
    click(Value(folder));  // again: still open
    actions->mouseUp(press(), item, Value(folder), false);
    EXPECT_TRUE(actions->folderViewIsShow());
    actions->viewController()->closePreview();

    auto group = GroupModel::create();
    group->setItems({Value(FileSystemNode::initWithPath(makeFile("b.txt")))});
    actions->mouseUp(press(), item, Value(group), false);
    EXPECT_TRUE(actions->groupViewIsShow());
    actions->mouseUp(press(), item, Value(group), true);  // the release does not toggle back
    EXPECT_TRUE(actions->groupViewIsShow());
    actions->mouseUp(press(), item, Value(group), false);
    EXPECT_FALSE(actions->groupViewIsShow());

    auto menu = MenuModel::init();
    settle();
    actions->mouseUp(press(), item, Value(menu), false);
    EXPECT_TRUE(actions->isStartMenuActive());
    actions->mouseUp(press(), item, Value(menu), true);
    EXPECT_TRUE(actions->isStartMenuActive());
    actions->mouseUp(press(), item, Value(menu), false);
    EXPECT_FALSE(actions->isStartMenuActive());

    // The trash opens once, on the release.
    auto trash = TrashModel::init();
    const size_t before = sim.files->calls().size();
    actions->mouseUp(press(), item, Value(trash), false);
    EXPECT_EQ(sim.files->calls().size(), before);
    actions->mouseUp(press(), item, Value(trash), true);
    ASSERT_EQ(sim.files->calls().size(), before + 1);
    EXPECT_NE(sim.files->calls().back().find("trash"), std::string::npos);

    // A separator does nothing.
    desk->clearRecords();
    click(Value(Separator::create()));
    EXPECT_TRUE(desk->calls().empty());
}

TEST_F(CellActionsTest, WhatNoProgramCouldOpenIsToldToTheUser) {
    panel->show();
    desk->setDefaultApplicationsAvailable(false);
    sim.files->setFileManagerAvailable(false);
    auto doc = FileSystemNode::initWithPath(makeFile("notes.txt"));
    click(Value(doc));
    auto told = sim.messages->shown();
    ASSERT_EQ(told.size(), 1u) << "one click, one message";
    EXPECT_EQ(told[0].text, "\u201cnotes.txt\u201d could not be opened.");
    EXPECT_EQ(told[0].informativeText, "No application on this desktop opens it.");

    sim.messages->clear();
    click(Value(TrashModel::init()));
    told = sim.messages->shown();
    ASSERT_EQ(told.size(), 1u) << "the trash is tried two ways, and told once";
    EXPECT_EQ(told[0].text, "The Trash could not be opened.");
    EXPECT_EQ(told[0].informativeText, "No file manager runs on this desktop.");

    sim.messages->clear();
    actions->showInFinder(Value(doc));
    ASSERT_EQ(sim.messages->shown().size(), 1u);
    EXPECT_EQ(sim.messages->shown()[0].text, "\u201cnotes.txt\u201d could not be shown in a file manager.");

    // With a program to hand the work to, nothing is told.
    sim.messages->clear();
    desk->setDefaultApplicationsAvailable(true);
    sim.files->setFileManagerAvailable(true);
    click(Value(doc));
    click(Value(TrashModel::init()));
    EXPECT_TRUE(sim.messages->shown().empty());
    EXPECT_TRUE(env.logged("cannot open")) << "the log line stays";
}

TEST_F(CellActionsTest, FilesDroppedOnAFolderArriveEvenWhenAHoverFollowsAtOnce) {
    const std::string inbox = files + "/Inbox";
    fs::create_directories(inbox);
    auto folder = FileSystemNode::initWithPath(inbox);
    const std::string dropped = makeFile("dropped.txt", env.root() + "/elsewhere");
    actions->prcessFiles({URL::fileURLWithPath(dropped)}, Value(folder));
    // The pointer rests on the item right after the drop: pending hover steps are dropped.
    actions->mouseStopedWhithDict(hover(Value(folder)));
    actions->cancelPreviousPerformRequests();
    settle();
    EXPECT_TRUE(fs::exists(inbox + "/dropped.txt"));
    EXPECT_FALSE(fs::exists(dropped));
    EXPECT_TRUE(sim.messages->shown().empty());
}

TEST_F(CellActionsTest, WithFolderViewIndexOneFoldersAndGroupsPopUpTheirMenuOnThePress) {
    UserDefaults::standardUserDefaults().setInteger(1, "FolderViewIndex");
    auto folder = FileSystemNode::initWithPath(files);
    makeFile("a.txt");
    makeFile("b.txt");
    click(Value(folder));
    ASSERT_EQ(actions->popped.size(), 1u);
    EXPECT_EQ(actions->popped[0]->numberOfItems(), 2u);

    auto group = GroupModel::create();
    group->setItems({Value(FileSystemNode::initWithPath(makeFile("c.txt")))});
    click(Value(group));
    ASSERT_EQ(actions->popped.size(), 2u);
    EXPECT_EQ(actions->popped[1]->itemAtIndex(0)->title(), "c.txt");
}

// ---------------------------------------------------------------------------------
// Hover

TEST_F(CellActionsTest, HoverShowsThePreviewOrTheNameAndLeavingHidesItLater) {
    auto app = appWithWindows("Editor", 2);
    actions->showPreviewWhithObject(hover(Value(app)));
    EXPECT_TRUE(actions->isPreviewActive());
    EXPECT_EQ(actions->windowPreviewController()->model()->processIdentifier(), app->processIdentifier());

    // Leaving: 0.5 s, then 1.0 s more.
    actions->mouseExited(press(), item, Value(app));
    env.loop().advance(1.4);
    EXPECT_TRUE(actions->isPreviewActive());
    env.loop().advance(0.2);
    EXPECT_FALSE(actions->isPreviewActive());

    // A newer hover cancels the pending hide.
    actions->showPreviewWhithObject(hover(Value(app)));
    ASSERT_TRUE(actions->isPreviewActive());
    actions->mouseExited(press(), item, Value(app));
    env.loop().advance(1.0);
    actions->showPreviewWhithObject(hover(Value(app)));
    env.loop().advance(2.0);
    EXPECT_TRUE(actions->isPreviewActive());
    EXPECT_EQ(actions->pendingRequestCount(), 0u);

    // Without windows the name shows, even with previews on.
    auto bare = appWithWindows("Bare", 0);
    actions->internalMouseEnteredInView(hover(Value(bare)));
    EXPECT_FALSE(actions->isPreviewActive());
    ASSERT_TRUE(actions->tooltip());

    // A separator shows nothing.
    actions->closeTooltip();
    actions->internalMouseEnteredInView(hover(Value(Separator::create())));
    EXPECT_FALSE(actions->tooltip());
}

TEST_F(CellActionsTest, NothingShowsWhileDraggingOrWithAButtonDownOrBothSettingsOff) {
    auto app = appWithWindows("Editor", 1);
    actions->setIsMouseDragged(true);
    actions->showPreviewWhithObject(hover(Value(app)));
    EXPECT_FALSE(actions->isPreviewActive());
    env.loop().advance(0.29);
    EXPECT_TRUE(actions->isMouseDragged());
    env.loop().advance(0.02);
    EXPECT_FALSE(actions->isMouseDragged());

    desk->setButtonState(1);
    actions->showPreviewWhithObject(hover(Value(app)));
    EXPECT_FALSE(actions->isPreviewActive());
    desk->setButtonState(0);

    UserDefaults::standardUserDefaults().setBool(false, "WindowPreview");
    UserDefaults::standardUserDefaults().setBool(false, "Tooltips");
    actions->showPreviewWhithObject(hover(Value(app)));
    EXPECT_FALSE(actions->isPreviewActive());
    EXPECT_FALSE(actions->tooltip());
}

TEST_F(CellActionsTest, AnOpenMenuEndsTheHoverAndHoverResumesWhenItCloses) {
    auto app = appWithWindows("Editor", 1);
    auto group = GroupModel::create();
    group->setName("Stuff");
    actions->showPreviewWhithObject(hover(Value(app)));
    ASSERT_TRUE(actions->isPreviewActive());
    // A name due in 0.3 s and a hide due later: pending when the menu opens.
    actions->mouseEnteredWhithDict(hover(Value(group)));
    actions->showPreviewWhithObject(hover(Value(app)));
    actions->mouseExited(press(), item, Value(app));
    ASSERT_GT(actions->pendingRequestCount(), 0u);

    auto model = std::make_shared<Menu>("");
    model->addItemWithTitle("Open", {"open:", [](MenuItem&) {}});
    std::unique_ptr<QMenu> menu(MenuPresenter::makeQMenu(model));
    menu->popup(QPoint(10, 10));
    EXPECT_FALSE(actions->isPreviewActive());
    EXPECT_FALSE(actions->tooltip());
    EXPECT_EQ(actions->pendingRequestCount(), 0u);

    // While it is open: the cells' hovers, rests and the trash's entry show nothing.
    actions->showPreviewWhithObject(hover(Value(app)));
    actions->mouseStopedWhithDict(hover(Value(app)));
    actions->mouseEnteredWhithDict(hover(Value(group)));
    actions->internalMouseEnteredInView(hover(Value(group)));
    env.loop().advance(2.0);
    EXPECT_FALSE(actions->isPreviewActive());
    EXPECT_FALSE(actions->tooltip());

    // Closed: the next hover shows the preview again.
    menu->hide();
    actions->showPreviewWhithObject(hover(Value(app)));
    EXPECT_TRUE(actions->isPreviewActive());

    // The press of another button (a right press whose menu is on its way) holds the
    // hover as the primary one does.
    actions->windowPreviewController()->forseClosePreview();
    desk->setButtonState(2);
    actions->showPreviewWhithObject(hover(Value(app)));
    actions->mouseStopedWhithDict(hover(Value(app)));
    EXPECT_FALSE(actions->isPreviewActive());
    desk->setButtonState(0);
}

TEST_F(CellActionsTest, TheTrashCellsHoverWaitsThreeTenths) {
    auto group = GroupModel::create();
    group->setName("Stuff");
    actions->mouseEnteredWhithDict(hover(Value(group)));
    env.loop().advance(0.29);
    EXPECT_FALSE(actions->tooltip());
    env.loop().advance(0.02);
    EXPECT_TRUE(actions->tooltip());

    // A press closes nothing it should not, and clears the drag flag.
    actions->setIsMouseDragged(true);
    actions->mouseUp(press(), item, Value(), false);
    EXPECT_FALSE(actions->isMouseDragged());
}

// ---------------------------------------------------------------------------------
// Pop-up menus

TEST_F(CellActionsTest, AGroupMenuLeavesOutFilesThatAreGone) {
    auto a = FileSystemNode::initWithPath(makeFile("a.txt"));
    auto b = FileSystemNode::initWithPath(makeFile("b.txt"));
    auto c = FileSystemNode::initWithPath(makeFile("c.txt"));
    auto group = GroupModel::create();
    group->setItems({Value(a), Value(b), Value(c)});
    fs::remove(b->path());
    auto menu = actions->buildMenuForGroup(group);
    ASSERT_EQ(menu->numberOfItems(), 2u);
    EXPECT_EQ(menu->title(), "");
    EXPECT_EQ(*menu->itemAtIndex(0)->representedObject().string(), a->path());
    EXPECT_EQ(*menu->itemAtIndex(1)->representedObject().string(), c->path());
    EXPECT_TRUE(menu->itemAtIndex(0)->image());

    // Choosing an entry opens exactly its path.
    desk->clearRecords();
    EXPECT_TRUE(menu->performActionForItemAtIndex(1));
    EXPECT_EQ(calls("openFile " + c->path()), 1u);
}

TEST_F(CellActionsTest, AFolderSubmenuIsFilledOnceWhenFirstShown) {
    const std::string inner = files + "/Inner";
    makeFile("x.txt", inner);
    makeFile("y.txt", inner + "/Deep");
    auto menu = actions->buildMenuForFolder(FileSystemNode::initWithPath(files));
    ASSERT_EQ(menu->numberOfItems(), 1u);
    auto sub = menu->itemAtIndex(0)->submenu();
    ASSERT_TRUE(sub);
    EXPECT_EQ(sub->title(), inner);
    EXPECT_TRUE(sub->delegate());
    EXPECT_EQ(sub->numberOfItems(), 0u);

    sub->update();
    EXPECT_FALSE(sub->delegate());
    ASSERT_EQ(sub->numberOfItems(), 2u);
    // A folder one level down shows a single entry for itself, lazily filled.
    auto deep = sub->itemWithTitle("Deep");
    ASSERT_TRUE(deep && deep->submenu());
    EXPECT_EQ(deep->submenu()->numberOfItems(), 1u);
    auto self = deep->submenu()->itemAtIndex(0);
    ASSERT_TRUE(self->submenu());
    EXPECT_EQ(self->submenu()->title(), inner + "/Deep");
    EXPECT_TRUE(self->submenu()->delegate());

    // Filled once: a file made afterwards shows only in a later menu.
    makeFile("z.txt", inner);
    sub->update();
    EXPECT_EQ(sub->numberOfItems(), 2u);
}

TEST_F(CellActionsTest, AFolderThatVanishedGivesAnEmptySubmenu) {
    const std::string inner = files + "/Gone";
    makeFile("x.txt", inner);
    auto menu = actions->buildMenuForFolder(FileSystemNode::initWithPath(files));
    auto sub = menu->itemAtIndex(0)->submenu();
    ASSERT_TRUE(sub);
    fs::remove_all(inner);
    sub->update();
    EXPECT_EQ(sub->numberOfItems(), 0u);

    // An empty or missing name keeps the file's own.
    auto flat = std::make_shared<Menu>();
    actions->createMenuItemForPath(makeFile("n.txt"), std::string(), flat);
    actions->createMenuItemForPath(makeFile("m.txt"), std::nullopt, flat);
    actions->createMenuItemForPath(files + "/missing.txt", std::string("Missing"), flat);
    ASSERT_EQ(flat->numberOfItems(), 2u);
    EXPECT_EQ(flat->itemAtIndex(0)->title(), "n.txt");
    EXPECT_EQ(flat->itemAtIndex(1)->title(), "m.txt");
}

// ---------------------------------------------------------------------------------
// Launch bounce

TEST_F(CellActionsTest, ALaunchFromTheDockBouncesUntilItEndsOrTimesOut) {
    const std::string path = entry("org.example.Slow");
    auto node = FileSystemNode::initWithPath(path);
    auto cell = std::make_shared<DockCollectionItemCell>();
    cell->setRepresentedObject(Value(node));
    EXPECT_FALSE(cell->isBouncing());
    LaunchTracker::shared().markLaunching(path);
    EXPECT_TRUE(cell->isBouncing());
    // More than the four cycles of a running application's bounce.
    env.loop().advance(5.0);
    EXPECT_TRUE(cell->isBouncing());
    LaunchTracker::shared().endLaunching(path);
    env.loop().advance(0.8);
    EXPECT_FALSE(cell->isBouncing());

    // A launch that never shows a window ends at the timeout.
    LaunchTracker::shared().markLaunching(path);
    env.loop().advance(LaunchTracker::kLaunchTimeout + 1.0);
    EXPECT_FALSE(LaunchTracker::shared().isLaunching(path));
    EXPECT_FALSE(cell->isBouncing());
    EXPECT_TRUE(LaunchTracker::sameEntry("/a/x.desktop", "/b/x.desktop"));
}

TEST(ExecLines, ShellSyntaxIsRefusedAndQuotedTextKept) {
    desktop::DesktopEntry e;
    e.path = "/x.desktop";
    e.exec = "prog --a | tee log";
    EXPECT_TRUE(x11::expandExec(e, {}).empty());
    e.exec = "prog; rm -rf x";
    EXPECT_TRUE(x11::expandExec(e, {}).empty());
    e.exec = "prog $(id)";
    EXPECT_TRUE(x11::expandExec(e, {}).empty());
    e.exec = "sh -c \"echo a | cat\" %f";
    auto args = x11::expandExec(e, {"/tmp/f"});
    ASSERT_EQ(args.size(), 4u);
    EXPECT_EQ(args[2], "echo a | cat");
}

}  // namespace
}  // namespace qs
