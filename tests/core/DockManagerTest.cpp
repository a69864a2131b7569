#include <filesystem>

#include <gtest/gtest.h>

#include "core/DockTestSupport.h"
#include "core/FileSystemNode.h"
#include "core/GroupModel.h"
#include "core/MenuModel.h"
#include "platform/desktop/Keys.h"
#include "platform/desktop/Notifications.h"
#include "platform/desktop/Shortcut.h"
#include "platform/sim/SimWorkspaceEvents.h"
#include "support/Files.h"
#include "tracking/SIWindow.h"

namespace qs::test {
namespace {

using Manager = DockTest;

// ---- Load and save -----------------------------------------------------------------

TEST_F(Manager, FirstStartMakesOneDockOnTheFirstScreenAndStoresNoDock) {
    addB();
    auto m = start();
    ASSERT_TRUE(m->mainModel());
    ASSERT_TRUE(m->mainConfig());
    EXPECT_EQ(m->mainConfig()->position(), 1);
    EXPECT_EQ(m->mainConfig()->iconSize(), 52.0f);
    EXPECT_EQ(factory.log->calls, (std::vector<std::string>{"make#1@A", "fade#1@A"}));
    ASSERT_EQ(m->panelControllers().size(), 1u);
    EXPECT_EQ(factory.panels->at(0)->model, m->mainModel());
    EXPECT_EQ(factory.panels->at(0)->config, m->mainConfig());
    // Creating the configuration posted "saveDocksData" before anyone listened.
    EXPECT_TRUE(defaults().objectForKey("MainDockModelKey").isNil());
    EXPECT_TRUE(defaults().objectForKey("MainDockConfigKey").isNil());
}

TEST_F(Manager, SaveStoresBothArchivesAndANewManagerReadsThemBack) {
    auto m = start();
    m->mainConfig()->setPosition(3);  // posts "saveDocksData"
    ASSERT_TRUE(defaults().hasDataForKey("MainDockModelKey"));
    ASSERT_TRUE(defaults().hasDataForKey("MainDockConfigKey"));
    auto firstModel = m->mainModel();

    DockManager::resetSharedInstanceForTesting();
    auto again = start();
    EXPECT_NE(again->mainConfig(), m->mainConfig());
    EXPECT_EQ(again->mainConfig()->position(), 3);
    EXPECT_EQ(again->mainModel()->className(), "DockModel");
}

// Files beside the settings that keep an archive aside: "<domain>.<key>.unreadable-<time>".
std::vector<std::string> keptFiles(UserDefaults& defaults, const std::string& key) {
    std::vector<std::string> found;
    auto dir = std::filesystem::path(defaults.filePath()).parent_path();
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().filename().string().rfind(defaults.domainName() + "." + key + ".unreadable-", 0) == 0)
            found.push_back(e.path().string());
    return found;
}

// The stored bytes with one run of them replaced by another of the same length.
Data patched(Data bytes, const std::string& from, const std::string& to) {
    std::string text(bytes.begin(), bytes.end());
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return Data(text.begin(), text.end());
}

// An unreadable value is kept once, as a file (a 75 MB one was also copied under a new
// key, and every later write of the settings carried it).
TEST_F(Manager, UnreadableStoredDockGivesFreshObjectsAndIsKeptOnceAsAFile) {
    const Data garbage{'n', 'o', 't', ' ', 'a', 'n', ' ', 'a', 'r', 'c', 'h', 'i', 'v', 'e'};
    defaults().setObject(Value(garbage), "MainDockModelKey");
    defaults().setObject(Value("a string, not data"), "MainDockConfigKey");
    auto m = start();
    ASSERT_TRUE(m->mainModel());
    ASSERT_TRUE(m->mainConfig());
    EXPECT_EQ(m->mainConfig()->iconSize(), 52.0f);
    EXPECT_TRUE(env.logged("MainDockModelKey"));
    EXPECT_TRUE(env.logged("MainDockConfigKey"));

    auto model = keptFiles(defaults(), "MainDockModelKey");
    ASSERT_EQ(model.size(), 1u);
    EXPECT_EQ(test::readFileOrEmpty(model[0]), std::string(garbage.begin(), garbage.end()));
    EXPECT_EQ(keptFiles(defaults(), "MainDockConfigKey").size(), 1u);
    for (const auto& [key, value] : defaults().persistentDomain())
        EXPECT_EQ(key.find("unreadable"), std::string::npos) << key;
    EXPECT_TRUE(defaults().objectForKey("MainDockModelKey").isNil());

    // The next save stores fresh archives; the kept files stay.
    NotificationCenter::defaultCenter().postNotificationName("saveDocksData");
    EXPECT_EQ(test::readFileOrEmpty(model[0]), std::string(garbage.begin(), garbage.end()));
    EXPECT_TRUE(KeyedUnarchiver::unarchiveObjectWithData(defaults().dataForKey("MainDockConfigKey"))
                    .objectAs<DockConfiguration>());
}

// One damaged class name dropped every item of that class for good: the next save
// stored the dock without them. The whole archive is now kept before it is replaced.
TEST_F(Manager, ADockReadInPartIsKeptWholeBeforeTheNextSaveAndTheLogSaysWhatWasLeftOut) {
    auto stored = DockModel::create();
    auto group = GroupModel::create();
    group->setName("Work");
    stored->addItem(group);
    const Data whole = patched(KeyedArchiver::archivedDataWithRootObject(Value(stored)), "GroupModel", "GroupModek");
    defaults().setObject(Value(whole), "MainDockModelKey");
    stored.reset();

    auto m = start();
    for (const Value& item : m->mainModel()->panelContent()) EXPECT_NE(item.object()->className(), "GroupModel");
    EXPECT_TRUE(env.logged("GroupModek"));
    auto kept = keptFiles(defaults(), "MainDockModelKey");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(test::readFileOrEmpty(kept[0]), std::string(whole.begin(), whole.end()));
    NotificationCenter::defaultCenter().postNotificationName("saveDocksData");
    EXPECT_NE(defaults().dataForKey("MainDockModelKey"), whole);
    EXPECT_EQ(test::readFileOrEmpty(kept[0]), std::string(whole.begin(), whole.end()));
}

// A NUL in a stored name was read, could not be written, and the save stored an empty
// archive: the next start showed a fresh dock.
TEST_F(Manager, AStoredNameWithANulSurvivesTheNextSaveAndStart) {
    auto stored = DockModel::create();
    auto group = GroupModel::create();
    group->setName("aXb");
    stored->addItem(group);
    Data bytes = patched(KeyedArchiver::archivedDataWithRootObject(Value(stored)), "aXb", std::string("a\0b", 3));
    defaults().setObject(Value(bytes), "MainDockModelKey");
    stored.reset();
    auto groupNames = [](const DockModel& model) {
        std::vector<std::string> names;
        for (const Value& item : model.panelContent())
            if (auto g = item.objectAs<GroupModel>()) names.push_back(g->name());
        return names;
    };
    auto m = start();
    EXPECT_EQ(groupNames(*m->mainModel()), std::vector<std::string>{"a\xEF\xBF\xBD" "b"});
    NotificationCenter::defaultCenter().postNotificationName("saveDocksData");
    ASSERT_FALSE(defaults().dataForKey("MainDockModelKey").empty());

    m.reset();
    DockManager::resetSharedInstanceForTesting();
    UserDefaults::resetForTesting();
    auto again = start();
    EXPECT_EQ(groupNames(*again->mainModel()), std::vector<std::string>{"a\xEF\xBF\xBD" "b"});
}

// 180,000 nested arrays as the stored dock crashed every start.
TEST_F(Manager, ADeeplyNestedStoredDockIsKeptAsideAndTheDockStarts) {
    std::string deep = "<?xml version=\"1.0\"?><plist>";
    for (int i = 0; i < 180000; ++i) deep += "<array>";
    defaults().setObject(Value(Data(deep.begin(), deep.end())), "MainDockModelKey");
    EXPECT_EXIT(
        {
            auto m = start();
            bool ok = m->mainModel() && keptFiles(defaults(), "MainDockModelKey").size() == 1 &&
                      env.logged("deep");
            std::exit(ok ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}

// The start menu's entries were stored only as an item of the dock: switched off while
// the dock saved, then quit, start and on again brought back the sample entries.
TEST_F(Manager, StartMenuEntriesSurviveItBeingSwitchedOffAcrossARestart) {
    MenuModel::resetSharedInstanceForTesting();
    auto m = start();
    ASSERT_TRUE(m->mainModel()->hasStartMenu());
    auto menu = MenuModel::init();
    while (!menu->modelContent().empty()) menu->removeItemFromModelContentAtIndex(0);
    menu->addItemToModelContent(FileSystemNode::initWithPath(env.root()));
    defaults().setBool(false, "enableStartMenu");
    EXPECT_FALSE(m->mainModel()->hasStartMenu());
    NotificationCenter::defaultCenter().postNotificationName("saveDocksData");

    m.reset();
    menu.reset();
    DockManager::resetSharedInstanceForTesting();
    MenuModel::resetSharedInstanceForTesting();
    UserDefaults::resetForTesting();
    auto again = start();
    EXPECT_FALSE(again->mainModel()->hasStartMenu());
    defaults().setBool(true, "enableStartMenu");
    ASSERT_TRUE(again->mainModel()->hasStartMenu());
    const auto& entries = MenuModel::init()->modelContent();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0]->URL()->path(), env.root());
    MenuModel::resetSharedInstanceForTesting();
}

TEST_F(Manager, AnArchiveOfTheWrongClassIsTreatedAsUnreadable) {
    // A configuration stored under the model key.
    defaults().setObject(Value(KeyedArchiver::archivedDataWithRootObject(Value(DockConfiguration::create()))),
                         "MainDockModelKey");
    auto m = start();
    ASSERT_TRUE(m->mainModel());
    EXPECT_EQ(m->mainModel()->className(), "DockModel");
    EXPECT_TRUE(env.logged("MainDockModelKey"));
}

// ---- Screens ---------------------------------------------------------------------

TEST_F(Manager, WindowScreenFollowsDisplayIndex) {
    addB();
    auto c = sim.screens->addScreen(MakeRect(2720, 0, 1024, 768), "C");
    auto main = sim.screens->addScreen(MakeRect(-1024, 0, 1024, 768), "M");
    sim.screens->setMainScreen(main);
    auto m = start();
    struct {
        int index;
        std::string expected;
    } cases[] = {{0, "A"}, {1, "M"}, {2, "M"}, {-1, "M"}, {7, "M"}};
    // 1 keeps the last non-first screen in the list: M was appended last.
    for (auto& k : cases) {
        defaults().setInteger(k.index, "displayIndex");
        EXPECT_EQ(screenName(m->getWindowScreen()), k.expected) << k.index;
    }
    (void)c;
}

TEST_F(Manager, DisplayIndexOneWithASingleScreenIsTheMainScreen) {
    auto m = start();
    defaults().setInteger(1, "displayIndex");
    EXPECT_EQ(m->getWindowScreen(), Screen::mainScreen());
}

TEST_F(Manager, DisplayIndexThreeMakesOneDockPerScreenSharingModelAndConfiguration) {
    addB();
    defaults().setInteger(3, "displayIndex");
    auto m = start();
    EXPECT_EQ(factory.log->calls, (std::vector<std::string>{"make#1@A", "fade#1@A", "make#2@B", "fade#2@B"}));
    ASSERT_EQ(factory.panels->size(), 2u);
    EXPECT_EQ(factory.panels->at(0)->model, factory.panels->at(1)->model);
    EXPECT_EQ(factory.panels->at(0)->config, factory.panels->at(1)->config);
}

TEST_F(Manager, NoScreenMeansNoDockUntilAScreenAppears) {
    sim.screens->setScreens({});
    for (int index : {0, 2, 3}) {
        DockManager::resetSharedInstanceForTesting();
        defaults().setInteger(index, "displayIndex");
        auto m = start();
        EXPECT_TRUE(m->panelControllers().empty()) << index;
    }
    EXPECT_EQ(factory.log->made, 0);
    sim.screens->addScreen(MakeRect(0, 0, 800, 600), "late");
    sim.screens->postScreenParametersChanged();
    EXPECT_EQ(factory.log->made, 1);
    EXPECT_TRUE(factory.log->contains("fade#1@late"));
}

// ---- Rebuild triggers --------------------------------------------------------------

TEST_F(Manager, RebuildClosesTheOldGenerationBeforeMakingTheNext) {
    addB();
    defaults().setInteger(3, "displayIndex");
    auto m = start();
    auto model = m->mainModel();
    factory.log->calls.clear();
    sim::SimWorkspaceEvents::wake();
    EXPECT_EQ(factory.log->calls, (std::vector<std::string>{"orderOut#1", "close#1", "orderOut#2", "close#2",
                                                            "make#3@A", "fade#3@A", "make#4@B", "fade#4@B"}));
    EXPECT_EQ(m->panelControllers().size(), 2u);
    EXPECT_EQ(factory.panels->back()->model, model);
}

TEST_F(Manager, WhichEventsRebuild) {
    auto m = start();
    auto rebuilt = [&](const std::function<void()>& event) {
        int before = factory.log->made;
        event();
        return factory.log->made - before;
    };
    EXPECT_EQ(rebuilt([] { sim::SimWorkspaceEvents::wake(); }), 1);
    EXPECT_EQ(rebuilt([&] { sim.screens->postScreenParametersChanged(); }), 1);
    // Spaces and the active display only matter for the dock that follows the main screen.
    EXPECT_EQ(rebuilt([] { sim::SimWorkspaceEvents::switchSpace(); }), 0);
    EXPECT_EQ(rebuilt([] { sim::SimWorkspaceEvents::changeActiveDisplay(); }), 0);
    EXPECT_EQ(rebuilt([&] { defaults().setInteger(2, "displayIndex"); }), 1);
    EXPECT_EQ(rebuilt([] { sim::SimWorkspaceEvents::switchSpace(); }), 1);
    EXPECT_EQ(rebuilt([] { sim::SimWorkspaceEvents::changeActiveDisplay(); }), 1);
    EXPECT_EQ(rebuilt([&] { defaults().setInteger(-1, "displayIndex"); }), 1);
    EXPECT_EQ(rebuilt([] { sim::SimWorkspaceEvents::switchSpace(); }), 0);
    EXPECT_EQ(rebuilt([&] { defaults().setBool(true, "Indent"); }), 1);
    EXPECT_EQ(rebuilt([&] { m->mainConfig()->setCornerStyle(1); }), 1);
    EXPECT_EQ(rebuilt([&] { m->mainConfig()->setPosition(0); }), 0);
    EXPECT_EQ(rebuilt([&] { m->mainConfig()->setIconSize(30.0f); }), 0);
    EXPECT_EQ(m->panelControllers().size(), 1u);
}

TEST_F(Manager, SpaceSwitchWithDisplayIndexTwoMovesTheDockToTheNewMainScreen) {
    addB();
    defaults().setInteger(2, "displayIndex");
    auto m = start();
    EXPECT_TRUE(factory.log->contains("fade#1@A"));
    sim.screens->setMainScreen(b);
    sim::SimWorkspaceEvents::switchSpace();
    EXPECT_TRUE(factory.log->contains("fade#2@B"));
    EXPECT_EQ(m->panelControllers().size(), 1u);
}

TEST_F(Manager, TriggerDuringARebuildDefersOneMoreRebuildInsteadOfNesting) {
    auto m = start();
    // The next panel to be made announces a screen change from inside its construction.
    bool fired = false;
    DockManager::setWindowFactory([&, inner = factory](std::shared_ptr<DockModel> mo,
                                                       std::shared_ptr<DockConfiguration> c,
                                                       ScreenPtr s) mutable -> DockPanelWindowPtr {
        if (!fired) {
            fired = true;
            sim.screens->postScreenParametersChanged();
        }
        int n = ++inner.log->made;
        inner.log->calls.push_back("make#" + std::to_string(n) + "@" + screenName(s));
        auto p = std::make_shared<FakePanel>(inner.log, n, mo, c, s);
        inner.panels->push_back(p);
        return p;
    });
    factory.log->calls.clear();
    sim::SimWorkspaceEvents::wake();
    // One generation at a time: the deferred rebuild closes #2 before making #3.
    EXPECT_EQ(factory.log->calls, (std::vector<std::string>{"orderOut#1", "close#1", "make#2@A", "fade#2@A",
                                                            "orderOut#2", "close#2", "make#3@A", "fade#3@A"}));
    EXPECT_EQ(m->panelControllers().size(), 1u);
    EXPECT_EQ(factory.live().size(), 1u);
}

// ---- Maximised windows beside the dock ----------------------------------------------

class FakeWindow : public SIWindow {
public:
    FakeWindow() : SIWindow(desktop::AXElement::windowOf(42, 7)) {}
    ScreenPtr screen() const override { return screenValue; }
    bool isMaximized() const override { return maximized; }
    bool isVerticalMaximized() const override { return verticalMaximized; }
    Rect frame() const override { return frameValue; }
    bool setFrame(const Rect& r) override {
        frames.push_back(r);
        return true;
    }
    ScreenPtr screenValue;
    bool maximized = false, verticalMaximized = false;
    Rect frameValue = MakeRect(10, 20, 800, 600);
    std::vector<Rect> frames;
};

class Maximise : public DockTest {
protected:
    void SetUp() override {
        defaults().setBool(true, "ReserveSpace");
        m = start();
        dock = factory.panels->at(0);
        dock->maxFrame = MakeRect(0, 0, 1440, 847);
        w = std::make_shared<FakeWindow>();
        w->screenValue = a;
    }
    std::shared_ptr<DockManager> m;
    std::shared_ptr<FakePanel> dock;
    std::shared_ptr<FakeWindow> w;
};

TEST_F(Maximise, MaximisedWindowTakesTheFrameBesideTheDock) {
    w->maximized = true;
    m->onAXWindowResizedNotification(w);
    EXPECT_EQ(w->frames, (std::vector<Rect>{MakeRect(0, 0, 1440, 847)}));
}

TEST_F(Maximise, NothingMovesWithoutReserveSpaceOrOnAnotherScreen) {
    w->maximized = w->verticalMaximized = true;
    dock->verticalFrame = MakeRect(1, 2, 3, 4);
    defaults().setBool(false, "ReserveSpace");
    m->onAXWindowResizedNotification(w);
    EXPECT_TRUE(w->frames.empty());

    defaults().setBool(true, "ReserveSpace");
    w->screenValue = addB();
    m->onAXWindowResizedNotification(w);
    EXPECT_TRUE(w->frames.empty());
}

TEST_F(Maximise, AHiddenDockStopsTheWholeReactionIncludingTheVerticalStep) {
    w->maximized = w->verticalMaximized = true;
    dock->verticalFrame = MakeRect(10, 20, 800, 500);
    dock->alpha = 0.0;
    m->onAXWindowResizedNotification(w);
    EXPECT_TRUE(w->frames.empty());
    dock->alpha = 0.01;  // fading: not hidden
    m->onAXWindowResizedNotification(w);
    EXPECT_EQ(w->frames.size(), 2u);
}

TEST_F(Maximise, VerticalMaximiseUsesTheDocksFrameUnlessItIsZero) {
    w->verticalMaximized = true;
    m->onAXWindowResizedNotification(w);  // a dock that is not at the bottom answers zero
    EXPECT_TRUE(w->frames.empty());
    EXPECT_EQ(dock->verticalAsked, w->frameValue);
    dock->verticalFrame = MakeRect(10, 20, 800, 540);
    m->onAXWindowResizedNotification(w);
    EXPECT_EQ(w->frames, (std::vector<Rect>{MakeRect(10, 20, 800, 540)}));
}

// ---- The auto-hide shortcut ------------------------------------------------------

TEST_F(Manager, ShortcutDefaultIsStoredAndEachPressFlipsHideQuayside) {
    start();
    auto stored = Shortcut::fromArchive(defaults().dataForKey("autoHideHotkey"));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->keyCode(), kVK_ANSI_H);
    EXPECT_EQ(stored->modifierFlags(), NSEventModifierFlagCommand | NSEventModifierFlagControl);
    const uint64_t flags = 0x140000;
    EXPECT_TRUE(sim.hotkeys->press(4, flags));
    EXPECT_TRUE(defaults().boolForKey("HideQuayside"));
    EXPECT_TRUE(sim.hotkeys->press(4, flags));
    EXPECT_FALSE(defaults().boolForKey("HideQuayside"));
}

TEST_F(Manager, AShortcutTheUserChoseSurvivesTheNextStart) {
    auto mine = Shortcut::shortcutWithKeyCode(kVK_ANSI_D, NSEventModifierFlagOption);
    defaults().setObject(Value(mine->archivedData()), "autoHideHotkey");
    start();
    auto stored = Shortcut::fromArchive(defaults().dataForKey("autoHideHotkey"));
    ASSERT_TRUE(stored);
    EXPECT_TRUE(stored->isEqual(mine.get()));
    EXPECT_FALSE(sim.hotkeys->press(4, 0x140000));
    EXPECT_TRUE(sim.hotkeys->press(kVK_ANSI_D, NSEventModifierFlagOption));
    EXPECT_TRUE(defaults().boolForKey("HideQuayside"));
}

TEST_F(Manager, ATakenShortcutLeavesALogLineAndTheDockRuns) {
    sim.hotkeys->setTaken(4, 0x140000);
    auto m = start();
    EXPECT_EQ(m->panelControllers().size(), 1u);
    EXPECT_FALSE(sim.hotkeys->press(4, 0x140000));
    EXPECT_FALSE(env.logLines().empty());
}

TEST_F(Manager, ResetRewritesTheStoredShortcut) {
    auto m = start();
    auto mine = Shortcut::shortcutWithKeyCode(kVK_ANSI_D, NSEventModifierFlagOption);
    m->registerShotcutsDefaultsForKey("autoHideHotkey", mine, false);
    EXPECT_FALSE(Shortcut::fromArchive(defaults().dataForKey("autoHideHotkey"))->isEqual(mine.get()));
    m->registerShotcutsDefaultsForKey("autoHideHotkey", mine, true);
    EXPECT_TRUE(Shortcut::fromArchive(defaults().dataForKey("autoHideHotkey"))->isEqual(mine.get()));
}

}  // namespace
}  // namespace qs::test
