// The running applications in the dock model: launches merged with kept file items,
// quits, the 2.0 s refresh, sorting after launches and quits, the block list, the
// "DoNotDisplayRunning" switch and the two applications watched while they have windows.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/BlacklistItem.h"
#include "core/DockModel.h"
#include "core/DockTestSupport.h"
#include "core/FileSystemNode.h"
#include "core/GroupModel.h"
#include "core/MenuModel.h"
#include "core/RunningApplicationPersistent.h"
#include "core/Separator.h"
#include "core/TrashModel.h"
#include "platform/sim/SimBackend.h"
#include "tracking/AppMonitoringService.h"
#include "tracking/SIScreenPointConversion.h"

namespace qs {
namespace {

using Labels = std::vector<std::string>;

std::string label(const Value& item) {
    auto object = item.object();
    if (!object) return "nil";
    const std::string kind = object->className();
    if (kind == "MenuModel") return "Menu";
    if (kind == "TrashModel") return "Trash";
    if (kind == "Separator") return "|";
    if (auto group = item.objectAs<GroupModel>()) return "G:" + group->name();
    if (auto app = item.objectAs<RunningApplication>()) return "app:" + app->localizedName();
    if (auto node = item.objectAs<FileSystemNode>()) return node->displayName();
    return kind;
}

class RunningAppsTest : public test::IsolatedTest {
protected:
    RunningAppsTest() {
        sim = sim::installSimBackend();
        apps = env.dataHome() + "/applications";
        docs = env.root() + "/docs";
        std::filesystem::create_directories(apps);
        std::filesystem::create_directories(docs);
    }
    ~RunningAppsTest() override {
        model.reset();
        AppMonitoringService::resetSharedInstanceForTesting();
        TrashModel::resetSharedInstanceForTesting();
        MenuModel::resetSharedInstanceForTesting();
    }

    UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }
    Labels content() {
        Labels out;
        for (const auto& item : model->panelContent()) out.push_back(label(item));
        return out;
    }
    std::string entry(const std::string& name) {
        std::string path = apps + "/" + name + ".desktop";
        std::ofstream(path) << "[Desktop Entry]\nType=Application\nName=" << name << "\nExec=" << name << "\n";
        return path;
    }
    // A launch, told on the next turn of the run loop.
    RunningApplicationPtr launch(const std::string& name, int policy = NSApplicationActivationPolicyRegular,
                                 desktop::Pid pid = 0, const std::string& id = "") {
        RunningApplication::Info info;
        info.pid = pid;
        info.localizedName = name;
        info.bundleIdentifier = id;
        info.bundlePath = entry(name);
        info.activationPolicy = policy;
        return sim.desktop->addApplication(info);
    }
    void quit(const RunningApplicationPtr& app, bool announce = true) {
        sim.desktop->terminateApplication(app->processIdentifier(), announce);
    }
    void settle() { env.loop().runPending(); }
    FileSystemNodePtr node(const std::string& path) { return FileSystemNode::initWithPath(path); }
    std::string file(const std::string& name) {
        std::string path = docs + "/" + name;
        std::ofstream(path) << "x";
        return path;
    }
    // A model with no running application yet: [Menu, Trash].
    void makeModel() {
        settle();
        model = DockModel::create();
        settle();
    }
    int changesDuring(const std::function<void()>& work) {
        int changes = 0;
        auto watch = model->observe("panelContent", KeyValueObservingOptionNew,
                                    [&](const KeyValueChange&) { ++changes; });
        work();
        return changes;
    }
    void post(const char* name, const RunningApplicationPtr& app) {
        NotificationCenter::workspaceCenter().postNotificationName(name, Value(),
                                                                  {{NSWorkspaceApplicationKey, Value(app)}});
    }

    sim::SimBackend sim;
    std::string apps, docs;
    std::shared_ptr<DockModel> model;
};

// ---- launches and quits ----------------------------------------------------------------

TEST_F(RunningAppsTest, AKeptApplicationQuitsIntoItsFileItemAndComesBackInTheSameSlot) {
    auto mail = launch("Mail");
    makeModel();
    model->addItem(node(file("a.txt")));
    ASSERT_EQ(content(), (Labels{"Menu", "app:Mail", "a.txt", "Trash"}));
    Persistent::setIsPersistent(*mail, true);

    quit(mail);
    settle();
    EXPECT_EQ(content(), (Labels{"Menu", "Mail.desktop", "a.txt", "Trash"}));

    auto again = launch("Mail");
    settle();
    EXPECT_EQ(content(), (Labels{"Menu", "app:Mail", "a.txt", "Trash"}));
    EXPECT_EQ(model->panelContent()[1].object(), again);
    EXPECT_TRUE(Persistent::isPersistent(*again));
}

TEST_F(RunningAppsTest, ALaunchGoesBeforeTheTrashAndIsOneChange) {
    makeModel();
    int changes = changesDuring([&] {
        launch("Alpha");
        settle();
    });
    EXPECT_EQ(content(), (Labels{"Menu", "app:Alpha", "Trash"}));
    EXPECT_EQ(changes, 1);  // sorting is off: nothing more
}

TEST_F(RunningAppsTest, AnApplicationThatIsNotKeptLeavesOnQuitOrAtTheNextRefresh) {
    auto a = launch("A");
    auto b = launch("B");
    makeModel();
    ASSERT_EQ(content(), (Labels{"Menu", "app:A", "app:B", "Trash"}));
    quit(a);
    settle();
    EXPECT_EQ(content(), (Labels{"Menu", "app:B", "Trash"}));

    quit(b, false);  // died without a word
    env.loop().advance(1.9);
    EXPECT_EQ(content(), (Labels{"Menu", "app:B", "Trash"}));
    env.loop().advance(0.1);
    EXPECT_EQ(content(), (Labels{"Menu", "Trash"}));
}

TEST_F(RunningAppsTest, TheRefreshChangesNothingWhenNothingChanged) {
    launch("A");
    launch("B");
    makeModel();
    int changes = changesDuring([&] { env.loop().advance(20.0); });
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(content(), (Labels{"Menu", "app:A", "app:B", "Trash"}));
}

TEST_F(RunningAppsTest, AnUnmanageableApplicationComesWithItsLaunchAndLeavesAtTheRefresh) {
    makeModel();
    launch("Helper", NSApplicationActivationPolicyAccessory);
    settle();
    EXPECT_EQ(content(), (Labels{"Menu", "app:Helper", "Trash"}));
    env.loop().advance(2.0);
    EXPECT_EQ(content(), (Labels{"Menu", "Trash"}));

    // One that stops being regular while it runs leaves too.
    auto editor = launch("Editor");
    settle();
    sim.desktop->changeApplication(editor->processIdentifier(),
                                   [](RunningApplication::Info& i) { i.activationPolicy = 1; });
    env.loop().advance(2.0);
    EXPECT_EQ(content(), (Labels{"Menu", "Trash"}));
}

TEST_F(RunningAppsTest, AFileItemRunsOnlyWhileAManageableRegularApplicationOfItsBundleRuns) {
    const std::string path = entry("Dock");
    auto kept = node(path);
    EXPECT_FALSE(kept->isRunning());
    // The system dock's own process by its name, and one by its identifier: not ours to
    // show as running.
    launch("Dock");
    settle();
    EXPECT_FALSE(kept->isRunning());
    auto extra = node(entry("Extra"));
    launch("Extra", NSApplicationActivationPolicyRegular, 0, "com.apple.dock.extra");
    settle();
    EXPECT_FALSE(extra->isRunning());
    // An accessory of the same bundle is no running application of the item either.
    auto helperPath = entry("Helper");
    launch("Helper", NSApplicationActivationPolicyAccessory);
    settle();
    EXPECT_FALSE(node(helperPath)->isRunning());
    // A manageable regular one is, until it ends.
    auto mail = launch("Mail");
    settle();
    auto mailItem = node(entry("Mail"));
    EXPECT_TRUE(mailItem->isRunning());
    quit(mail);
    settle();
    EXPECT_FALSE(mailItem->isRunning());
    EXPECT_FALSE(node(file("notes.txt"))->isRunning()) << "a document never runs";
}

TEST_F(RunningAppsTest, AMovedBundleIsFoundByNameButNeverInPlaceOfADocumentOrFolder) {
    makeModel();
    std::filesystem::create_directories(docs + "/Mail");
    model->addItem(node(docs + "/Mail"));
    model->addItem(node(entry("Mail")));
    ASSERT_EQ(content(), (Labels{"Menu", "Mail", "Mail.desktop", "Trash"}));
    RunningApplication::Info info;
    info.localizedName = "Mail";
    info.bundlePath = apps + "/moved/Mail.desktop";
    sim.desktop->addApplication(info);
    settle();
    EXPECT_EQ(content(), (Labels{"Menu", "Mail", "app:Mail", "Trash"}));

    // With only the folder of that name, the application goes before the trash.
    auto mail = model->panelContent()[2].objectAs<RunningApplication>();
    ASSERT_TRUE(mail);
    model->removeItem(mail);
    quit(mail);
    settle();
    sim.desktop->addApplication(info);
    settle();
    EXPECT_EQ(content(), (Labels{"Menu", "Mail", "app:Mail", "Trash"}));

    // A program without a desktop entry never takes an application item's place: it could
    // not turn back into it.
    model->addItem(node(entry("Notes")));
    RunningApplication::Info bare;
    bare.localizedName = "Notes";
    auto notes = sim.desktop->addApplication(bare);
    settle();
    EXPECT_EQ(content(), (Labels{"Menu", "Mail", "app:Mail", "Notes.desktop", "app:Notes", "Trash"}));
    quit(notes);
    settle();
    EXPECT_EQ(content(), (Labels{"Menu", "Mail", "app:Mail", "Notes.desktop", "Trash"}));
}

TEST_F(RunningAppsTest, AReusedProcessIdentifierLeavesNoStaleItem) {
    auto old = launch("Old");
    makeModel();
    quit(old, false);
    auto fresh = launch("Fresh", NSApplicationActivationPolicyRegular, old->processIdentifier());
    settle();
    EXPECT_EQ(content(), (Labels{"Menu", "app:Old", "app:Fresh", "Trash"}));
    env.loop().advance(2.0);
    EXPECT_EQ(content(), (Labels{"Menu", "app:Fresh", "Trash"}));
    (void)fresh;
}

TEST_F(RunningAppsTest, ALaunchToldAfterTheProcessEndedAddsNothing) {
    makeModel();
    auto gone = launch("Gone");
    quit(gone);
    settle();
    EXPECT_EQ(content(), (Labels{"Menu", "Trash"}));
    post(NSWorkspaceDidLaunchApplicationNotification, gone);  // late news
    EXPECT_EQ(content(), (Labels{"Menu", "Trash"}));
}

TEST_F(RunningAppsTest, TwoProcessesOfOneKeptApplicationAreOneItemUntilBothQuit) {
    auto term = launch("Term", NSApplicationActivationPolicyRegular, 7001);
    auto same = launch("Term", NSApplicationActivationPolicyRegular, 7002);
    makeModel();
    EXPECT_EQ(same, term);
    EXPECT_EQ(term->processes(), (std::vector<desktop::Pid>{7001, 7002}));
    ASSERT_EQ(content(), (Labels{"Menu", "app:Term", "Trash"}));
    Persistent::setIsPersistent(*term, true);
    test::DictionaryCoder both;
    model->encodeWithCoder(both);
    EXPECT_EQ(both.values["persistent"].array()->size(), 3u);  // Menu, one Term, Trash

    // The first process quits: the other keeps the application, under its identifier.
    sim.desktop->terminateApplication(7001);
    settle();
    env.loop().advance(2.0);
    EXPECT_EQ(content(), (Labels{"Menu", "app:Term", "Trash"}));
    EXPECT_EQ(term->processIdentifier(), 7001);
    EXPECT_EQ(term->processes(), (std::vector<desktop::Pid>{7002}));
    EXPECT_FALSE(term->isTerminated());
    sim.desktop->terminateApplication(7002);
    settle();
    EXPECT_EQ(content(), (Labels{"Menu", "Term.desktop", "Trash"}));
}

TEST_F(RunningAppsTest, AKeptApplicationThatLeftTheListStillTurnsBackIntoItsFileItem) {
    auto mail = launch("Mail");
    makeModel();
    Persistent::setIsPersistent(*mail, true);
    model->removeItem(mail);
    model->addItem(node(entry("Mail")));
    ASSERT_EQ(content(), (Labels{"Menu", "Mail.desktop", "Trash"}));
    int changes = changesDuring([&] { model->processTerminatedApp(mail); });
    EXPECT_EQ(content(), (Labels{"Menu", "Mail.desktop", "Trash"}));
    EXPECT_EQ(changes, 2);  // the kept flag, then the replaced item
}

// ---- sorting ---------------------------------------------------------------------------

TEST_F(RunningAppsTest, LaunchesAndQuitsSortHalfASecondLater) {
    defaults().setInteger(1, "sortOrder");
    auto zed = launch("Zed");
    launch("Beta");
    makeModel();
    env.loop().advance(0.5);
    ASSERT_EQ(content(), (Labels{"Menu", "app:Beta", "app:Zed", "Trash"}));
    Persistent::setIsPersistent(*zed, true);
    quit(zed);
    settle();
    EXPECT_EQ(content(), (Labels{"Menu", "app:Beta", "Zed.desktop", "Trash"}));
    env.loop().advance(0.49);
    EXPECT_EQ(content(), (Labels{"Menu", "app:Beta", "Zed.desktop", "Trash"}));
    env.loop().advance(0.02);
    EXPECT_EQ(content(), (Labels{"Menu", "Zed.desktop", "app:Beta", "Trash"}));
    // A dock already in order is not announced again.
    EXPECT_EQ(changesDuring([&] { model->sortItems(); }), 0);
}

TEST_F(RunningAppsTest, OnlyTheLowSixteenBitsOfTheSortOrderCount) {
    launch("zed");
    launch("Alpha");
    defaults().setInteger(65536, "sortOrder");
    makeModel();
    env.loop().advance(1.0);
    EXPECT_EQ(content(), (Labels{"Menu", "app:zed", "app:Alpha", "Trash"}));
    defaults().setInteger(65537, "sortOrder");
    EXPECT_EQ(content(), (Labels{"Menu", "app:Alpha", "app:zed", "Trash"}));
}

TEST_F(RunningAppsTest, SortingWithoutStartMenuAndTrashLeavesTheThreeGroups) {
    defaults().setBool(false, "enableStartMenu");
    defaults().setBool(false, "enableTrash");
    launch("beta");
    makeModel();
    model->addItem(node(file("doc.txt")));
    model->addItem(node(entry("Editor")));
    defaults().setInteger(1, "sortOrder");
    EXPECT_EQ(content(), (Labels{"Editor.desktop", "app:beta", "doc.txt"}));
}

// ---- the block list ----------------------------------------------------------------------

TEST_F(RunningAppsTest, BlockingRemovesAndUnblockingPutsBackByIdentifierElseByName) {
    auto viewer = launch("Viewer", NSApplicationActivationPolicyRegular, 0, "org.example.Viewer");
    auto notes = launch("Notes");
    makeModel();
    ASSERT_EQ(content(), (Labels{"Menu", "app:Viewer", "app:Notes", "Trash"}));
    model->addToBlackListApp(viewer);
    model->addToBlackListApp(notes);
    model->addToBlackListApp(notes);  // already there: nothing
    EXPECT_EQ(content(), (Labels{"Menu", "Trash"}));
    ASSERT_EQ(model->blackList().size(), 2u);
    auto viewerEntry = model->blackList()[0].objectAs<BlacklistItem>();
    EXPECT_EQ(viewerEntry->bundleIdentifier(), "org.example.Viewer");
    EXPECT_EQ(viewerEntry->bundleURL()->path(), viewer->bundleURL()->path());

    // Blocked by name: a launch of anything called so is ignored.
    launch("Notes");
    settle();
    EXPECT_EQ(content(), (Labels{"Menu", "Trash"}));

    model->removeFromBlackListItem(viewerEntry);
    EXPECT_EQ(content(), (Labels{"Menu", "app:Viewer", "Trash"}));
    model->removeFromBlackListItem(model->blackList()[0].objectAs<BlacklistItem>());
    EXPECT_EQ(content(), (Labels{"Menu", "app:Viewer", "app:Notes", "Trash"}));
    EXPECT_TRUE(model->blackList().empty());
}

TEST_F(RunningAppsTest, BlockingAnApplicationChosenAsAFile) {
    auto notes = launch("Notes", NSApplicationActivationPolicyRegular, 0, "org.example.Notes");
    makeModel();
    auto editor = node(entry("Editor"));
    model->addItem(editor);
    // Not running: stored as chosen, each time.
    model->addToBlackListNode(editor);
    model->addToBlackListNode(editor);
    EXPECT_EQ(model->blackList().size(), 2u);
    EXPECT_EQ(content(), (Labels{"Menu", "app:Notes", "Editor.desktop", "Trash"}));
    // Running: the running application's entry (with its identifier), and it leaves.
    model->addToBlackListNode(node(notes->bundleURL()->path()));
    ASSERT_EQ(model->blackList().size(), 3u);
    EXPECT_EQ(model->blackList()[2].objectAs<BlacklistItem>()->bundleIdentifier(), "org.example.Notes");
    EXPECT_EQ(content(), (Labels{"Menu", "Editor.desktop", "Trash"}));
}

// ---- settings ----------------------------------------------------------------------------

TEST_F(RunningAppsTest, HidingRunningApplicationsKeepsKeptOnesAsTheirFileItems) {
    auto mail = launch("Mail");
    launch("Other");
    makeModel();
    Persistent::setIsPersistent(*mail, true);
    model->addItem(node(file("a.txt")));
    defaults().setBool(true, "DoNotDisplayRunning");
    EXPECT_EQ(content(), (Labels{"Menu", "Mail.desktop", "a.txt", "Trash"}));
    launch("Late");
    settle();
    EXPECT_EQ(content(), (Labels{"Menu", "Mail.desktop", "a.txt", "Trash"}));

    defaults().setBool(false, "DoNotDisplayRunning");
    EXPECT_EQ(content(), (Labels{"Menu", "app:Mail", "a.txt", "app:Other", "app:Late", "Trash"}));
    test::DictionaryCoder coder;
    model->encodeWithCoder(coder);
    Labels stored;
    for (auto& item : *coder.values["persistent"].array()) stored.push_back(label(item));
    EXPECT_EQ(stored, (Labels{"Menu", "Mail.desktop", "a.txt", "Trash"}));
}

TEST_F(RunningAppsTest, WritingTheValueASlotAlreadyHasKeepsIt) {
    makeModel();
    defaults().setBool(true, "enableTrash");
    defaults().setBool(true, "enableStartMenu");
    EXPECT_EQ(content(), (Labels{"Menu", "Trash"}));
}

// ---- the two applications that come and go with their windows ------------------------------

TEST_F(RunningAppsTest, AWatchedApplicationLeavesOnceItHasNoWindowAfterLosingTheFocus) {
    auto rdc = launch("Remote Desktop", NSApplicationActivationPolicyRegular, 0, "com.microsoft.rdc.macos");
    makeModel();
    auto window = sim.desktop->addWindow(rdc->processIdentifier(), "session", MakeRect(0, 0, 400, 300));
    settle();
    post(NSWorkspaceDidDeactivateApplicationNotification, rdc);
    env.loop().advance(0.9);
    env.loop().advance(1.0);
    EXPECT_EQ(content(), (Labels{"Menu", "app:Remote Desktop", "Trash"}));
    sim.desktop->removeWindow(window);
    settle();
    env.loop().advance(0.5);
    EXPECT_EQ(content(), (Labels{"Menu", "Trash"}));

    // Activation brings it back.
    post(NSWorkspaceDidActivateApplicationNotification, rdc);
    EXPECT_EQ(content(), (Labels{"Menu", "app:Remote Desktop", "Trash"}));
    // Without windows it goes 0.9 s after losing the focus; a second deactivation starts
    // the one check again rather than adding another.
    post(NSWorkspaceDidDeactivateApplicationNotification, rdc);
    env.loop().advance(0.5);
    post(NSWorkspaceDidDeactivateApplicationNotification, rdc);
    env.loop().advance(0.89);
    EXPECT_EQ(content(), (Labels{"Menu", "app:Remote Desktop", "Trash"}));
    env.loop().advance(0.02);
    EXPECT_EQ(content(), (Labels{"Menu", "Trash"}));

    // Other applications are not affected by focus changes.
    auto other = launch("Other");
    settle();
    post(NSWorkspaceDidDeactivateApplicationNotification, other);
    env.loop().advance(1.0);
    EXPECT_EQ(content(), (Labels{"Menu", "app:Other", "Trash"}));
}

// ---- windows of tracked applications reach the dock manager ----------------------------------

class RunningAppsWithDock : public test::DockTest {
protected:
    ~RunningAppsWithDock() override { AppMonitoringService::resetSharedInstanceForTesting(); }
};

TEST_F(RunningAppsWithDock, AWindowThatOpensMaximisedIsFittedBesideTheDock) {
    defaults().setBool(true, "ReserveSpace");
    auto app = sim.desktop->addApplication(0, "Editor", "org.example.Editor");
    env.loop().runPending();
    start();
    ASSERT_EQ(factory.panels->size(), 1u);
    auto panel = factory.panels->at(0);
    panel->maxFrame = MakeRect(0, 0, 1440, 820);
    auto tracked = AppMonitoringService::sharedInstance()->getCachedApplicationExForApplication(app);
    ASSERT_TRUE(tracked);
    Rect maximised = NSScreen_PointConversion::frameWithoutDockOrMenu(*a);
    auto n = sim.desktop->addWindow(app->processIdentifier(), "big", maximised);
    env.loop().runPending();
    ASSERT_EQ(tracked->windows().size(), 1u);
    EXPECT_EQ(sim.desktop->window(n)->frame, MakeRect(0, 0, 1440, 820));
}

// ---- applications of several processes ----------------------------------------------

class GroupedAppsTest : public RunningAppsTest {
protected:
    // A window of a process, with the class it gives.
    desktop::WindowNumber window(desktop::Pid process, const std::string& wmClass, const std::string& title) {
        sim::SimDesktop::Window w;
        w.pid = process;
        w.wmClass = wmClass;
        w.wmInstance = "qs";
        w.title = title;
        w.frame = MakeRect(40, 40, 300, 200);
        return sim.desktop->addWindow(w);
    }
    RunningApplicationExPtr tracked(const RunningApplicationPtr& app) {
        return AppMonitoringService::sharedInstance()->getCachedApplicationExForApplication(app);
    }
    std::vector<desktop::WindowNumber> trackedWindows(const RunningApplicationPtr& app) {
        std::vector<desktop::WindowNumber> out;
        if (auto ex = tracked(app))
            for (const auto& w : ex->windows()) out.push_back(w->windowID());
        return out;
    }
    RunningApplicationPtr only() {
        RunningApplicationPtr found;
        for (const auto& item : model->panelContent())
            if (auto app = item.objectAs<RunningApplication>()) found = app;
        return found;
    }
};

TEST_F(GroupedAppsTest, ProcessesOfOneDesktopEntryAreOneItemWithAllTheirWindows) {
    desktop::DesktopEntry term;
    term.id = "org.test.Term";
    term.path = entry("Term");
    term.name = "Term";
    term.startupWMClass = "QsTerm";
    sim.desktop->addDesktopEntry(term);
    makeModel();
    const auto first = sim.desktop->addProcess(0, "/usr/bin/qsterm");
    const auto second = sim.desktop->addProcess(0, "/usr/bin/qsterm");
    const auto one = window(first, "QsTerm", "one");
    settle();
    const auto two = window(second, "QsTerm", "two");
    settle();
    ASSERT_EQ(content(), (Labels{"Menu", "app:Term", "Trash"}));
    auto app = only();
    EXPECT_EQ(app->processIdentifier(), first);
    EXPECT_EQ(app->processes(), (std::vector<desktop::Pid>{first, second}));
    ASSERT_TRUE(app->bundleURL());
    EXPECT_EQ(app->bundleURL()->path(), term.path);
    // The windows of both, most recent first, as the preview lists them.
    tracked(app);
    env.loop().advance(1.0);
    EXPECT_EQ(trackedWindows(app), (std::vector<desktop::WindowNumber>{two, one}));

    // "Quit App" closes every window: both processes leave the application, which ends.
    EXPECT_TRUE(app->terminate());
    settle();
    EXPECT_TRUE(app->isTerminated());
    EXPECT_EQ(content(), (Labels{"Menu", "Trash"}));
    EXPECT_TRUE(sim.desktop->stacking().empty());
}

TEST_F(GroupedAppsTest, WindowsWithoutAnEntryAreOneItemPerClass) {
    makeModel();
    const auto clockA = sim.desktop->addProcess(0, "/usr/bin/xclock");
    const auto clockB = sim.desktop->addProcess(0, "/usr/bin/xclock");
    const auto eyes = sim.desktop->addProcess(0, "/usr/bin/xeyes");
    window(clockA, "XClock", "a");
    window(clockB, "XClock", "b");
    window(eyes, "XEyes", "eyes");
    settle();
    EXPECT_EQ(content(), (Labels{"Menu", "app:XClock", "app:XEyes", "Trash"}));
    auto clock = sim.desktop->applicationOfProcess(clockB);
    ASSERT_TRUE(clock);
    EXPECT_EQ(clock, sim.desktop->applicationOfProcess(clockA));
    EXPECT_FALSE(clock->bundleURL());
    EXPECT_EQ(clock->info().executablePath, "/usr/bin/xclock");
    // A process that owns no window is no application.
    sim.desktop->addProcess(0, "/usr/bin/xlogo", "XLogo");
    settle();
    env.loop().advance(2.0);
    EXPECT_EQ(content(), (Labels{"Menu", "app:XClock", "app:XEyes", "Trash"}));
    EXPECT_EQ(sim.desktop->runningApplications().size(), 2u);
}

TEST_F(GroupedAppsTest, AWindowWhoseClassChangesMovesToTheApplicationOfItsNewClass) {
    makeModel();
    const auto process = sim.desktop->addProcess(0, "/usr/bin/app");
    const auto main = window(process, "Main", "main");
    const auto splash = window(process, "Splash", "splash");
    settle();
    ASSERT_EQ(content(), (Labels{"Menu", "app:Main", "app:Splash", "Trash"}));
    RunningApplicationPtr mainApp, splashApp;
    for (const auto& a : sim.desktop->runningApplications())
        (a->localizedName() == "Main" ? mainApp : splashApp) = a;
    ASSERT_TRUE(mainApp && splashApp);
    tracked(mainApp);
    env.loop().advance(1.0);
    ASSERT_EQ(trackedWindows(mainApp), (std::vector<desktop::WindowNumber>{main}));

    // The splash turns into a second main window: one application with both.
    sim.desktop->setWindowClass(splash, "Main", "qs");
    settle();
    EXPECT_EQ(content(), (Labels{"Menu", "app:Main", "Trash"}));
    EXPECT_TRUE(splashApp->isTerminated());
    env.loop().advance(1.0);
    auto windows = trackedWindows(mainApp);
    std::sort(windows.begin(), windows.end());
    EXPECT_EQ(windows, (std::vector<desktop::WindowNumber>{main, splash}));
}

TEST_F(GroupedAppsTest, TheFirstProcessQuittingLeavesTheApplicationToTheOthers) {
    makeModel();
    const auto first = sim.desktop->addProcess(0, "/usr/bin/qsterm");
    const auto second = sim.desktop->addProcess(0, "/usr/bin/qsterm");
    window(first, "QsTerm", "one");
    const auto two = window(second, "QsTerm", "two");
    settle();
    auto app = only();
    ASSERT_TRUE(app);
    Persistent::setIsPersistent(*app, false);

    sim.desktop->terminateApplication(first);
    settle();
    env.loop().advance(2.0);
    // The same item, under the same identifier, with the windows that are left.
    EXPECT_EQ(only(), app);
    EXPECT_FALSE(app->isTerminated());
    EXPECT_EQ(app->processIdentifier(), first);
    EXPECT_EQ(app->processes(), (std::vector<desktop::Pid>{second}));
    EXPECT_EQ(trackedWindows(app), (std::vector<desktop::WindowNumber>{two}));
    // Activating it brings the window that is left forward.
    EXPECT_TRUE(app->activateWithOptions(NSApplicationActivateIgnoringOtherApps));
    EXPECT_EQ(sim.desktop->activeWindow(), two);

    sim.desktop->terminateApplication(second);
    settle();
    EXPECT_TRUE(app->isTerminated());
    EXPECT_EQ(content(), (Labels{"Menu", "Trash"}));
}

}  // namespace
}  // namespace qs
