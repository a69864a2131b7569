// The context menus of the dock items on the sim desktop: entries, order and titles per
// kind of item, and what choosing them does to the model, the applications, the file
// manager, the inspectors and the open panel.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "core/DockConfiguration.h"
#include "core/DockModel.h"
#include "core/FileSystemNode.h"
#include "core/GroupModel.h"
#include "core/MenuModel.h"
#include "core/RunningApplicationPersistent.h"
#include "core/Separator.h"
#include "core/TrashModel.h"
#include "dock_ui/CellActionsDelegate.h"
#include "dock_ui/Inspectors.h"
#include "platform/desktop/FileServices.h"
#include "platform/sim/SimBackend.h"
#include "platform/ui/Menu.h"
#include "platform/ui/OpenPanel.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

namespace fs = std::filesystem;
using Titles = std::vector<std::string>;

// The titles of a menu: "-" for a separator, "Title>" for an entry with a submenu.
Titles titles(const MenuPtr& menu) {
    Titles out;
    if (!menu) return out;
    for (const auto& item : menu->items())
        out.push_back(item->isSeparatorItem() ? "-" : item->title() + (item->hasSubmenu() ? ">" : ""));
    return out;
}

MenuPtr submenu(const MenuPtr& menu, const std::string& title) {
    auto item = menu ? menu->itemWithTitle(title) : nullptr;
    return item ? item->submenu() : nullptr;
}

bool choose(const MenuPtr& menu, const std::string& title) {
    auto item = menu ? menu->itemWithTitle(title) : nullptr;
    return item && item->performAction();
}

struct FakeInspector : InspectorWindow {
    std::vector<Value> models;
    int fronts = 0;
    void setModel(const Value& item) override { models.push_back(item); }
    void orderFront() override { ++fronts; }
};

class CellActionsMenusTest : public test::IsolatedTest {
protected:
    void SetUp() override {
        sim = sim::installSimBackend();
        model = DockModel::create();
        config = DockConfiguration::create();
        delegate = CellActionsDelegate::initWhitCollectionView(nullptr, model, config);
    }
    void TearDown() override {
        Inspectors::setItemInspectorMaker(nullptr);
        Inspectors::setGroupInspectorMaker(nullptr);
        OpenPanel::setRunnerForTesting(nullptr);
        TrashModel::resetSharedInstanceForTesting();
        MenuModel::resetSharedInstanceForTesting();
        desktop::install({});
    }
    std::string file(const std::string& name, const std::string& text = "x") {
        fs::path p = fs::path(env.root()) / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p) << text;
        return p.string();
    }
    FileSystemNodePtr node(const std::string& path) { return FileSystemNode::initWithURL(URL::fileURLWithPath(path)); }
    MenuPtr menuFor(const ObjectPtr& object) { return delegate->menuForItemViewWhithObject(Value(object)); }
    long indexOf(const ObjectPtr& o) const { return model->indexOfItem(o.get()); }

    sim::SimBackend sim;
    std::shared_ptr<DockModel> model;
    std::shared_ptr<DockConfiguration> config;
    CellActionsDelegatePtr delegate;
};

const Titles kAddItems{"Add Group ", "Add Files/Folders...", "Add Separator"};
const Titles kProgram{"About", "-", "Quayside Preferences", "Send Feedback / Get Support ...", "-",
                      "Check for Updates", "-", "-", "Quit"};

TEST_F(CellActionsMenusTest, ARunningApplicationsMenuByName) {
    auto app = sim.desktop->addApplication(4101, "Terminal", "org.test.Terminal");
    auto menu = menuFor(app);
    EXPECT_EQ(titles(menu), (Titles{"New Window", "-", "Options>", "-", "-", "Add Items to Panel>", "-", "Quayside>",
                                    "-", "-", "Quit App"}));
    EXPECT_EQ(titles(submenu(menu, "Options")),
              (Titles{"Keep in Dock", "Don\u2019t display in Dock", "Show in Finder", "Custom Icon"}));
    EXPECT_EQ(titles(submenu(menu, "Add Items to Panel")), kAddItems);
    EXPECT_EQ(titles(submenu(menu, "Quayside")), kProgram);
    EXPECT_EQ(submenu(menu, "Options")->title(), "");
    // Every entry with an action is enabled, carries the item, and has no key equivalent.
    for (const auto& item : submenu(menu, "Options")->items()) {
        EXPECT_TRUE(submenu(menu, "Options")->isItemEnabled(*item)) << item->title();
        EXPECT_EQ(item->representedObject().object(), app) << item->title();
        EXPECT_EQ(item->keyEquivalent(), "");
    }
    for (const auto& item : submenu(menu, "Quayside")->items())
        EXPECT_TRUE(item->representedObject().isNil()) << item->title();

    // "New Private Window" where the desktop entry offers one, whatever the name.
    desktop::DesktopEntry browser;
    browser.id = "org.test.Web";
    browser.path = "/usr/share/applications/org.test.Web.desktop";
    browser.name = "Web";
    browser.actions = {"new-window", "new-private-window"};
    sim.desktop->addDesktopEntry(browser);
    auto web = sim.desktop->addApplication(4102, "Web", "org.test.Web");
    EXPECT_EQ(titles(menuFor(web))[1], "New Private Window");
    auto chrome = sim.desktop->addApplication(4103, "Google Chrome", "google-chrome");
    EXPECT_EQ(titles(menuFor(chrome))[1], "-");
    auto finder = sim.desktop->addApplication(4104, "Finder", "");
    auto finderTitles = titles(menuFor(finder));
    EXPECT_EQ(finderTitles.back(), "-");
    EXPECT_EQ(std::count(finderTitles.begin(), finderTitles.end(), "Quit App"), 0);
    EXPECT_EQ(std::count(finderTitles.begin(), finderTitles.end(), "New Private Window"), 0);
}

TEST_F(CellActionsMenusTest, MenusOfTheOtherKinds) {
    std::string entry = file("apps/editor.desktop", "[Desktop Entry]\nType=Application\nName=Editor\nExec=true\n");
    auto application = node(entry);
    auto appMenu = menuFor(application);
    EXPECT_EQ(titles(appMenu), (Titles{"Options>", "-", "Add Items to Panel>", "-", "Quayside>", "-", "-"}));
    EXPECT_EQ(titles(submenu(appMenu, "Options")), (Titles{"Remove from Dock", "Show in Finder", "Custom Icon"}));

    const Titles fileMenu{"Show in Finder", "-", "Options>", "Add Items to Panel>", "-", "Quayside>", "-"};
    auto document = node(file("notes.txt"));
    EXPECT_EQ(titles(menuFor(document)), fileMenu);
    EXPECT_EQ(titles(submenu(menuFor(document), "Options")), (Titles{"Remove from Dock", "Custom Icon"}));
    fs::create_directories(env.root() + "/folder");
    EXPECT_EQ(titles(menuFor(node(env.root() + "/folder"))), fileMenu);

    EXPECT_EQ(titles(menuFor(Separator::create())),
              (Titles{"Remove from Dock", "-", "Add Items to Panel>", "-", "Quayside>", "-"}));
    EXPECT_EQ(titles(menuFor(GroupModel::create())),
              (Titles{"Group Options...", "-", "Remove from Dock", "Add Items to Panel>", "-", "Quayside>", "-"}));

    auto trash = TrashModel::init();
    ASSERT_FALSE(trash->isTrashFull());
    EXPECT_EQ(titles(menuFor(trash)), (Titles{"Open", "-", "Add Items to Panel>", "-", "Quayside>", "-"}));
    file("data/Trash/files/old.txt");
    ASSERT_TRUE(trash->isTrashFull());
    auto full = menuFor(trash);
    EXPECT_EQ(titles(full), (Titles{"Open", "Empty Trash", "-", "Add Items to Panel>", "-", "Quayside>", "-"}));
    EXPECT_TRUE(choose(full, "Empty Trash"));
    EXPECT_FALSE(trash->isTrashFull());

    auto start = menuFor(MenuModel::init());
    ASSERT_TRUE(start);
    EXPECT_EQ(start->numberOfItems(), 0u);
}

TEST_F(CellActionsMenusTest, KeepInDockFlipsTheKeptFlagAndTwiceGivesItBack) {
    auto app = sim.desktop->addApplication(4201, "Terminal", "org.test.Terminal");
    ASSERT_FALSE(Persistent::isPersistent(*app));
    auto options = submenu(menuFor(app), "Options");
    auto keep = options->itemWithTitle("Keep in Dock");
    EXPECT_EQ(keep->state(), NSControlStateValueOff);
    EXPECT_TRUE(keep->performAction());
    EXPECT_TRUE(Persistent::isPersistent(*app));
    EXPECT_EQ(keep->state(), NSControlStateValueOn);
    // A menu built now shows the check mark.
    EXPECT_EQ(submenu(menuFor(app), "Options")->itemWithTitle("Keep in Dock")->state(), NSControlStateValueOn);
    EXPECT_TRUE(keep->performAction());
    EXPECT_FALSE(Persistent::isPersistent(*app));
}

TEST_F(CellActionsMenusTest, ModelEditsRemoveBlockAndInsertAfterTheItem) {
    auto first = Separator::create();
    auto doc = node(file("a.txt"));
    auto app = sim.desktop->addApplication(4301, "Terminal", "org.test.Terminal");
    model->setPanelContent(Array{Value(first), Value(doc), Value(app)});

    EXPECT_TRUE(choose(submenu(menuFor(first), "Add Items to Panel"), "Add Separator"));
    ASSERT_EQ(model->panelContent().size(), 4u);
    EXPECT_EQ(model->panelContent()[1].object()->className(), "Separator");
    EXPECT_TRUE(choose(submenu(menuFor(first), "Add Items to Panel"), "Add Group "));
    ASSERT_EQ(model->panelContent().size(), 5u);
    EXPECT_EQ(model->panelContent()[1].object()->className(), "GroupModel");

    EXPECT_TRUE(choose(menuFor(first), "Remove from Dock"));
    EXPECT_EQ(indexOf(first), -1);
    EXPECT_TRUE(choose(submenu(menuFor(doc), "Options"), "Remove from Dock"));
    EXPECT_EQ(indexOf(doc), -1);

    EXPECT_TRUE(choose(submenu(menuFor(app), "Options"), "Don\u2019t display in Dock"));
    EXPECT_TRUE(model->isAppInBlackList(*app));
}

TEST_F(CellActionsMenusTest, ShowInFinderAndTheInspectors) {
    auto doc = node(file("b.txt"));
    EXPECT_TRUE(choose(menuFor(doc), "Show in Finder"));
    auto app = sim.desktop->addApplication(4401, "Terminal", "org.test.Terminal");
    EXPECT_TRUE(choose(submenu(menuFor(app), "Options"), "Show in Finder"));
    EXPECT_EQ(sim.files->calls(), (std::vector<std::string>{"showItems " + doc->path(),
                                                            "showItems " + app->bundleURL()->path()}));

    int itemInspectors = 0, groupInspectors = 0;
    auto itemWindow = std::make_shared<FakeInspector>();
    auto groupWindow = std::make_shared<FakeInspector>();
    Inspectors::setItemInspectorMaker([&] { ++itemInspectors; return itemWindow; });
    Inspectors::setGroupInspectorMaker([&] { ++groupInspectors; return groupWindow; });
    EXPECT_TRUE(choose(submenu(menuFor(doc), "Options"), "Custom Icon"));
    EXPECT_TRUE(choose(submenu(menuFor(app), "Options"), "Custom Icon"));
    EXPECT_EQ(itemInspectors, 1);  // made once, then kept
    ASSERT_EQ(itemWindow->models.size(), 2u);
    EXPECT_EQ(itemWindow->models[0].object(), doc);
    EXPECT_EQ(itemWindow->models[1].object(), app);
    EXPECT_EQ(itemWindow->fronts, 2);

    auto group = GroupModel::create();
    EXPECT_TRUE(choose(menuFor(group), "Group Options..."));
    EXPECT_TRUE(choose(menuFor(group), "Group Options..."));
    EXPECT_EQ(groupInspectors, 1);
    EXPECT_EQ(groupWindow->models.back().object(), group);
    EXPECT_EQ(groupWindow->fronts, 2);
}

TEST_F(CellActionsMenusTest, AddFilesPutsTheChosenOnesAfterTheItemInOrder) {
    auto anchor = Separator::create();
    auto last = Separator::create();
    model->setPanelContent(Array{Value(anchor), Value(last)});
    std::string a = file("c.txt"), b = file("d.txt");
    std::string startedIn;
    bool multiple = false, folders = false;
    OpenPanel::setRunnerForTesting([&](OpenPanel& panel, QWidget* sheet) {
        EXPECT_EQ(sheet, nullptr);  // not modal
        startedIn = panel.directoryURL;
        multiple = panel.allowsMultipleSelection;
        folders = panel.canChooseDirectories && panel.canChooseFiles;
        panel.finish(OpenPanel::NSModalResponseOK, {b, a});
    });
    EXPECT_TRUE(choose(submenu(menuFor(anchor), "Add Items to Panel"), "Add Files/Folders..."));
    EXPECT_TRUE(multiple);
    EXPECT_TRUE(folders);
    EXPECT_FALSE(startedIn.empty());
    ASSERT_EQ(model->panelContent().size(), 4u);
    auto second = model->panelContent()[1].objectAs<FileSystemNode>();
    auto third = model->panelContent()[2].objectAs<FileSystemNode>();
    ASSERT_TRUE(second && third);
    // After the clicked item, in the panel's order (not reversed).
    EXPECT_EQ(second->path(), b);
    EXPECT_EQ(third->path(), a);
    EXPECT_EQ(model->panelContent()[3].object(), last);

    // Cancel adds nothing.
    OpenPanel::setRunnerForTesting([](OpenPanel& panel, QWidget*) { panel.finish(OpenPanel::NSModalResponseCancel, {}); });
    EXPECT_TRUE(choose(submenu(menuFor(anchor), "Add Items to Panel"), "Add Files/Folders..."));
    EXPECT_EQ(model->panelContent().size(), 4u);
}

TEST_F(CellActionsMenusTest, NewWindowRunsTheEntrysActionElseTheEntryElseTheProgramAndNeverTypesKeys) {
    desktop::DesktopEntry withAction;
    withAction.id = "org.test.Browser";
    withAction.path = "/usr/share/applications/org.test.Browser.desktop";
    withAction.name = "Browser";
    withAction.exec = "browser";
    withAction.actions = {"new-window", "new-private-window"};
    sim.desktop->addDesktopEntry(withAction);
    desktop::DesktopEntry terminal;
    terminal.id = "org.test.Terminal";
    terminal.path = "/usr/share/applications/org.test.Terminal.desktop";
    terminal.name = "Terminal";
    terminal.exec = "term";
    sim.desktop->addDesktopEntry(terminal);

    auto browser = sim.desktop->addApplication(4501, "Browser", "org.test.Browser");
    EXPECT_TRUE(choose(menuFor(browser), "New Window"));
    EXPECT_TRUE(choose(menuFor(browser), "New Private Window"));
    auto term = sim.desktop->addApplication(4502, "Terminal", "org.test.Terminal");
    sim.desktop->addWindow(4502, "term", MakeRect(0, 0, 200, 100));
    EXPECT_TRUE(choose(menuFor(term), "New Window"));
    RunningApplication::Info bare;
    bare.pid = 4503;
    bare.localizedName = "xclock";
    bare.executablePath = "/usr/bin/xclock";
    auto clock = sim.desktop->addApplication(bare);
    EXPECT_TRUE(choose(menuFor(clock), "New Window"));
    // Nothing known to run: a log line, nothing else.
    auto unknown = sim.desktop->addApplication(4504, "Mystery");
    EXPECT_TRUE(choose(menuFor(unknown), "New Window"));
    EXPECT_TRUE(env.logged("cannot open a new window of Mystery"));

    const auto calls = sim.desktop->calls();
    auto has = [&](const std::string& c) { return std::find(calls.begin(), calls.end(), c) != calls.end(); };
    EXPECT_TRUE(has("launchDesktopAction org.test.Browser new-window"));
    EXPECT_TRUE(has("launchDesktopAction org.test.Browser new-private-window"));
    EXPECT_TRUE(has("launchApplication org.test.Terminal"));
    EXPECT_TRUE(has("launchExecutable /usr/bin/xclock"));
    EXPECT_FALSE(has("launchApplication org.test.Browser"));
    EXPECT_TRUE(sim.desktop->events().empty()) << "no key is typed into any window";
    // Launched again, the terminal is still one application.
    env.loop().runPending();
    EXPECT_EQ(RunningApplication::runningApplicationsWithBundleIdentifier("org.test.Terminal").size(), 1u);

    // "Quit App" closes every window of the application, whichever process owns it.
    sim::SimDesktop::Window second;
    second.pid = sim.desktop->addProcess(4505, "/usr/bin/term");
    second.applicationId = "org.test.Terminal";
    second.title = "term 2";
    second.frame = MakeRect(20, 20, 200, 100);
    sim.desktop->addWindow(second);
    EXPECT_EQ(sim.desktop->applicationOfProcess(4505), term);
    EXPECT_TRUE(choose(menuFor(term), "Quit App"));
    env.loop().runPending();
    const auto after = sim.desktop->calls();
    EXPECT_NE(std::find(after.begin(), after.end(), "terminate 4502"), after.end());
    EXPECT_TRUE(term->isTerminated());
    for (auto n : sim.desktop->stacking()) EXPECT_NE(sim.desktop->window(n)->app, 4502) << n;
}

TEST_F(CellActionsMenusTest, ABlockOutlivingItsDelegateDoesNothing) {
    auto first = Separator::create();
    model->setPanelContent(Array{Value(first)});
    auto menu = menuFor(first);
    delegate.reset();
    EXPECT_TRUE(choose(menu, "Remove from Dock"));
    EXPECT_EQ(model->panelContent().size(), 1u);
}

}  // namespace
}  // namespace qs
