// The dock model: set-up order, every edit with its index rule, which edits save, the
// start-menu and trash slots, and the archive.

#include <gtest/gtest.h>

#include <algorithm>
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
#include "support/CpuStopwatch.h"

namespace qs {
namespace {

using test::PostCounter;
using Labels = std::vector<std::string>;

// A short label per item: "Menu", "Trash", "|" (separator), "G:name", "app:name" (running),
// the file name for file items.
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
Labels labels(const Array& items) {
    Labels out;
    for (const auto& item : items) out.push_back(label(item));
    return out;
}

class DockModelTest : public test::IsolatedTest {
protected:
    DockModelTest() {
        sim = sim::installSimBackend();
        apps = env.dataHome() + "/applications";
        docs = env.root() + "/docs";
        std::filesystem::create_directories(apps);
        std::filesystem::create_directories(docs);
    }
    ~DockModelTest() override {
        model.reset();
        TrashModel::resetSharedInstanceForTesting();
        MenuModel::resetSharedInstanceForTesting();
    }

    UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }
    Labels content() { return labels(model->panelContent()); }

    // A desktop entry in the user's applications folder.
    std::string entry(const std::string& name) {
        std::string path = apps + "/" + name + ".desktop";
        std::ofstream(path) << "[Desktop Entry]\nType=Application\nName=" << name << "\nExec=" << name << "\n";
        return path;
    }
    RunningApplicationPtr launch(const std::string& name, int policy = NSApplicationActivationPolicyRegular) {
        RunningApplication::Info info;
        info.localizedName = name;
        info.bundlePath = entry(name);
        info.activationPolicy = policy;
        return sim.desktop->addApplication(info);
    }
    std::string file(const std::string& name) {
        std::string path = docs + "/" + name;
        std::ofstream(path) << "x";
        return path;
    }
    std::string folder(const std::string& name) {
        std::string path = docs + "/" + name;
        std::filesystem::create_directories(path);
        std::ofstream(path + "/inside.txt") << "x";
        return path;
    }
    FileSystemNodePtr node(const std::string& path) { return FileSystemNode::initWithPath(path); }
    URLPtr url(const std::string& path) { return URL::fileURLWithPath(path); }

    // A model with no running applications: [Menu, Trash].
    void makeEmpty() {
        defaults().setBool(true, "DoNotDisplayRunning");
        model = DockModel::create();
        ASSERT_EQ(content(), (Labels{"Menu", "Trash"}));
    }

    std::shared_ptr<DockModel> reload(const std::shared_ptr<DockModel>& from) {
        Data data = KeyedArchiver::archivedDataWithRootObject(Value(from));
        return KeyedUnarchiver::unarchiveObjectWithData(data).objectAs<DockModel>();
    }

    sim::SimBackend sim;
    std::string apps, docs;
    std::shared_ptr<DockModel> model;
};

// ---- set-up ----------------------------------------------------------------------------

TEST_F(DockModelTest, NewModelHoldsRunningAppsInWorkspaceOrderThenTrashWithTheStartMenuFirst) {
    launch("Zed");
    launch("Helper", NSApplicationActivationPolicyAccessory);
    launch("Alpha");
    model = DockModel::create();
    EXPECT_EQ(content(), (Labels{"Menu", "app:Zed", "app:Alpha", "Trash"}));
    EXPECT_TRUE(model->finishedStartActions());
    EXPECT_TRUE(defaults().boolForKey("enableStartMenu"));
    EXPECT_TRUE(defaults().boolForKey("enableTrash"));
    EXPECT_TRUE(defaults().objectForKey("sortOrder").isInteger());
    EXPECT_EQ(defaults().integerForKey("sortOrder"), 0);
}

TEST_F(DockModelTest, SettingsTheUserChoseAreNotOverwritten) {
    defaults().setBool(false, "enableTrash");
    defaults().setBool(false, "enableStartMenu");
    launch("Alpha");
    model = DockModel::create();
    EXPECT_EQ(content(), (Labels{"app:Alpha"}));
    EXPECT_FALSE(defaults().boolForKey("enableTrash"));
    EXPECT_FALSE(defaults().boolForKey("enableStartMenu"));
}

TEST_F(DockModelTest, TheFirstSortComesHalfASecondAfterSetUp) {
    defaults().setInteger(1, "sortOrder");
    launch("zed");
    launch("Alpha");
    launch("mid");
    env.loop().runPending();  // the launches are told before the model exists
    model = DockModel::create();
    EXPECT_EQ(content(), (Labels{"Menu", "app:zed", "app:Alpha", "app:mid", "Trash"}));
    env.loop().advance(0.49);
    EXPECT_EQ(content(), (Labels{"Menu", "app:zed", "app:Alpha", "app:mid", "Trash"}));
    env.loop().advance(0.02);
    EXPECT_EQ(content(), (Labels{"Menu", "app:Alpha", "app:mid", "app:zed", "Trash"}));
}

TEST_F(DockModelTest, TheRefreshTimerRepeatsOnTheMainRunLoopAndEndsWithTheModel) {
    // The shared trash and start menu keep timers of their own: let them settle first.
    TrashModel::init();
    MenuModel::init();
    env.loop().advance(5.0);
    size_t before = env.loop().timerCount();
    model = DockModel::create();
    env.loop().advance(5.0);  // the delayed sort (and any other one-shot) has run
    size_t running = env.loop().timerCount();
    EXPECT_EQ(running, before + 1);
    env.loop().advance(10.0);
    EXPECT_EQ(env.loop().timerCount(), running);  // it repeats
    model.reset();
    EXPECT_EQ(env.loop().timerCount(), running - 1);
}

TEST_F(DockModelTest, SwitchingTheStartMenuAndTrashSettings) {
    makeEmpty();
    model->addItem(node(file("a.txt")));
    defaults().setBool(false, "enableStartMenu");
    EXPECT_EQ(content(), (Labels{"a.txt", "Trash"}));
    defaults().setBool(true, "enableStartMenu");
    EXPECT_EQ(content(), (Labels{"Menu", "a.txt", "Trash"}));
    defaults().setBool(false, "enableTrash");
    EXPECT_EQ(content(), (Labels{"Menu", "a.txt"}));
    defaults().setBool(true, "enableTrash");
    EXPECT_EQ(content(), (Labels{"Menu", "a.txt", "Trash"}));
    // Adding the start menu twice keeps one.
    model->addStartMenu();
    EXPECT_EQ(content(), (Labels{"Menu", "a.txt", "Trash"}));
}

TEST_F(DockModelTest, HidingRunningAppsRemovesThemAndShowingPutsThemBackBeforeTheTrash) {
    launch("Alpha");
    model = DockModel::create();
    model->addItem(node(file("a.txt")));
    defaults().setBool(true, "DoNotDisplayRunning");
    EXPECT_EQ(content(), (Labels{"Menu", "a.txt", "Trash"}));
    defaults().setBool(false, "DoNotDisplayRunning");
    EXPECT_EQ(content(), (Labels{"Menu", "a.txt", "app:Alpha", "Trash"}));
}

TEST_F(DockModelTest, BlockedApplicationsAreNotAdded) {
    launch("Alpha");
    launch("Beta");
    makeEmpty();
    auto blocked = BlacklistItem::create();
    blocked->setLocalizedName("Beta");
    model->setBlackList({Value(blocked)});
    defaults().setBool(false, "DoNotDisplayRunning");
    EXPECT_EQ(content(), (Labels{"Menu", "app:Alpha", "Trash"}));
}

// ---- editing ---------------------------------------------------------------------------

TEST_F(DockModelTest, AddItemKeepsTheTrashLastOnlyWhileItIsLast) {
    makeEmpty();
    PostCounter saves("saveDocksData");
    model->addItem(node(file("a.txt")));
    EXPECT_EQ(content(), (Labels{"Menu", "a.txt", "Trash"}));
    model->addItem(node(file("a.txt")));  // equal by URL: nothing inserted
    EXPECT_EQ(content(), (Labels{"Menu", "a.txt", "Trash"}));
    EXPECT_EQ(saves.count, 0);

    model->rearange(0, 2);  // the trash, dragged to the front
    EXPECT_EQ(content(), (Labels{"Trash", "Menu", "a.txt"}));
    model->addItem(node(file("b.txt")));
    EXPECT_EQ(content(), (Labels{"Trash", "Menu", "a.txt", "b.txt"}));
}

TEST_F(DockModelTest, AddingAnItemAlreadyThereStillSorts) {
    makeEmpty();
    auto a = node(file("a.txt"));
    model->addItem(a);
    model->addSeparatorAffterItem(a);
    defaults().setInteger(1, "sortOrder");  // sorts now: the separator goes
    EXPECT_EQ(content(), (Labels{"Menu", "a.txt", "Trash"}));
    model->addSeparatorAffterItem(a);  // not sorted
    EXPECT_EQ(content(), (Labels{"Menu", "a.txt", "|", "Trash"}));
    model->addItem(a);
    EXPECT_EQ(content(), (Labels{"Menu", "a.txt", "Trash"}));
}

TEST_F(DockModelTest, InsertAfterAnAnchorGoesToTheEndWhenTheAnchorIsAbsent) {
    makeEmpty();
    auto a = node(file("a.txt"));
    model->addItem(a);
    model->addItem(node(file("b.txt")), a);
    EXPECT_EQ(content(), (Labels{"Menu", "a.txt", "b.txt", "Trash"}));
    model->addItem(node(file("b.txt")), a);  // no presence test: a second entry
    EXPECT_EQ(content(), (Labels{"Menu", "a.txt", "b.txt", "b.txt", "Trash"}));
    model->addItem(node(file("c.txt")), node(file("missing-anchor.txt")));
    EXPECT_EQ(content(), (Labels{"Menu", "a.txt", "b.txt", "b.txt", "c.txt", "Trash"}));

    PostCounter saves("saveDocksData");
    model->addSeparatorAffterItem(a);
    model->addNewGroupAfterItem(Separator::create());  // absent anchor: at the end
    Labels now = content();
    EXPECT_EQ(now[2], "|");
    EXPECT_EQ(now[now.size() - 2], "G:New Group");
    EXPECT_EQ(saves.count, 2);  // the new group's own name and icon, nothing from the model
}

TEST_F(DockModelTest, NothingIsPlacedAfterATrashThatStandsLast) {
    makeEmpty();
    auto trash = TrashModel::init();
    // What the trash's own menu adds after it: a separator, a group, chosen files.
    model->addSeparatorAffterItem(trash);
    model->addNewGroupAfterItem(trash);
    model->addItem(node(file("chosen.txt")), trash);
    EXPECT_EQ(content(), (Labels{"Menu", "|", "G:New Group", "chosen.txt", "Trash"}));
    // An application that joins later, and files dropped past the end, too.
    model->addItem(node(file("joined.txt")));
    model->insertFiles({url(file("dropped.txt"))}, 99);
    EXPECT_EQ(content().back(), "Trash");
    EXPECT_EQ(content()[content().size() - 2], "dropped.txt");

    // A trash the user dragged away from the end keeps nothing from following it.
    model->rearange(1, long(content().size()) - 1);
    ASSERT_EQ(content()[1], "Trash");
    model->addSeparatorAffterItem(trash);
    EXPECT_EQ(content()[2], "|");
    model->addItem(node(file("last.txt")), node(file("no-anchor.txt")));
    EXPECT_EQ(content().back(), "last.txt");
}

TEST_F(DockModelTest, DroppedFilesTakeConsecutiveSlotsInOneChangeWithoutSaving) {
    makeEmpty();
    model->addItem(node(file("a.txt")));
    model->addItem(node(file("b.txt")));
    int changes = 0;
    auto watch = model->observe("panelContent", KeyValueObservingOptionNew, [&](const KeyValueChange&) { ++changes; });
    PostCounter saves("saveDocksData");
    model->insertFiles({url(file("u1")), url(file("u2")), url(file("u3"))}, 2);
    EXPECT_EQ(content(), (Labels{"Menu", "a.txt", "u1", "u2", "u3", "b.txt", "Trash"}));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(saves.count, 0);

    model->insertFiles({url(file("late"))}, 99);  // past the end: at the end, before the trash
    EXPECT_EQ(content()[content().size() - 2], "late");
    model->insertFiles({url(file("early"))}, -3);
    EXPECT_EQ(content().front(), "early");
}

TEST_F(DockModelTest, DraggingIsClampedBeforeTheTrashAndSaves) {
    makeEmpty();
    for (auto name : {"a", "b", "c"}) model->addItem(node(file(name)));
    ASSERT_EQ(content(), (Labels{"Menu", "a", "b", "c", "Trash"}));
    PostCounter saves("saveDocksData");
    EXPECT_TRUE(model->rearange(10, 1));
    EXPECT_EQ(content(), (Labels{"Menu", "b", "c", "a", "Trash"}));
    EXPECT_EQ(saves.count, 1);
    EXPECT_TRUE(model->rearange(0, 3));
    EXPECT_EQ(content(), (Labels{"a", "Menu", "b", "c", "Trash"}));
    EXPECT_TRUE(model->rearange(1, 4));  // the trash goes where it is dropped
    EXPECT_EQ(content(), (Labels{"a", "Trash", "Menu", "b", "c"}));
    EXPECT_TRUE(model->rearange(-5, 4));
    EXPECT_EQ(content(), (Labels{"c", "a", "Trash", "Menu", "b"}));
    EXPECT_EQ(saves.count, 4);

    EXPECT_FALSE(model->rearange(0, 5));
    EXPECT_FALSE(model->rearange(0, -1));
    EXPECT_EQ(saves.count, 4);
    EXPECT_EQ(content(), (Labels{"c", "a", "Trash", "Menu", "b"}));
}

TEST_F(DockModelTest, DraggingOneOfTwoEqualEntriesKeepsTheOther) {
    makeEmpty();
    model->insertFiles({url(file("a")), url(file("b")), url(file("a"))}, 1);
    ASSERT_EQ(content(), (Labels{"Menu", "a", "b", "a", "Trash"}));
    model->rearange(0, 3);
    EXPECT_EQ(content(), (Labels{"a", "Menu", "a", "b", "Trash"}));
}

TEST_F(DockModelTest, FoldersAreListedAndWatchedWhileInTheDock) {
    makeEmpty();
    auto dir = node(folder("Projects"));
    model->addItem(dir);
    EXPECT_TRUE(dir->isWatching());
    env.loop().waitForBackground();
    env.loop().runPending();
    EXPECT_EQ(dir->childrenArray().size(), 1u);

    model->removeObjectFromDock(dir);
    EXPECT_EQ(content(), (Labels{"Menu", "Trash"}));
    EXPECT_FALSE(dir->isWatching());

    // A folder dropped in is prepared too, and adding one already there watches again.
    auto dropped = folder("Dropped");
    model->insertFiles({url(dropped)}, 1);
    auto inList = model->panelContent()[1].objectAs<FileSystemNode>();
    ASSERT_TRUE(inList);
    EXPECT_TRUE(inList->isWatching());
    inList->stopWatching();
    model->addItem(inList);
    EXPECT_TRUE(inList->isWatching());
    env.loop().waitForBackground();
    env.loop().runPending();
}

TEST_F(DockModelTest, SortingGroupsApplicationsThenRunningThenTheRest) {
    makeEmpty();
    auto running = launch("Browser");
    model->addItem(Separator::create());
    model->addItem(node(file("doc.txt")));
    model->addItem(running);
    model->addItem(node(folder("Stuff")));
    model->addItem(node(entry("Editor")));
    ASSERT_EQ(content(), (Labels{"Menu", "|", "doc.txt", "app:Browser", "Stuff", "Editor.desktop", "Trash"}));
    defaults().setInteger(1, "sortOrder");
    EXPECT_EQ(content(), (Labels{"Menu", "Editor.desktop", "app:Browser", "doc.txt", "Stuff", "Trash"}));
    env.loop().waitForBackground();
    env.loop().runPending();
}

// ---- the kept flag and the archive -----------------------------------------------------

TEST_F(DockModelTest, KeepingARunningAppDecidesWhetherItIsArchived) {
    auto kept = launch("Kept");
    auto passing = launch("Passing");
    model = DockModel::create();
    model->addItem(Separator::create());
    Persistent::setIsPersistent(*kept, true);
    ASSERT_EQ(model->persistentContent().size(), 1u);

    test::DictionaryCoder coder;
    model->encodeWithCoder(coder);
    // The start menu is stored on its own too (it keeps the user's entries while off).
    EXPECT_EQ(coder.order, (std::vector<std::string>{"persistent", "blackList", "startMenu"}));
    const Array* stored = coder.values["persistent"].array();
    ASSERT_TRUE(stored);
    EXPECT_EQ(labels(*stored), (Labels{"Menu", "Kept.desktop", "|", "Trash"}));
    EXPECT_TRUE(stored->at(1).objectAs<FileSystemNode>()->isEqual(node(kept->bundleURL()->path()).get()));

    Persistent::setIsPersistent(*kept, false);
    EXPECT_TRUE(model->persistentContent().empty());
    test::DictionaryCoder again;
    model->encodeWithCoder(again);
    EXPECT_EQ(labels(*again.values["persistent"].array()), (Labels{"Menu", "|", "Trash"}));
    (void)passing;
}

TEST_F(DockModelTest, DecodingPutsTheStoredItemsFirstThenTheRunningApps) {
    launch("P1");
    launch("P2");
    auto group = GroupModel::create();
    group->setName("G");
    test::DictionaryCoder coder;
    coder.values["persistent"] = Value(Array{Value(group), Value(TrashModel::init())});
    model = DockModel::initWithCoder(coder);
    EXPECT_EQ(content(), (Labels{"Menu", "G:G", "app:P1", "app:P2", "Trash"}));
    EXPECT_TRUE(model->blackList().empty());
}

TEST_F(DockModelTest, DecodingKeepsTheStoredOrderAndPlacesLateItemsBeforeTheTrash) {
    auto menu = MenuModel::init();
    defaults().setBool(true, "enableStartMenu");  // as an earlier run left it
    test::DictionaryCoder coder;
    coder.values["persistent"] = Value(Array{Value(Separator::create()), Value(menu), Value(TrashModel::init()),
                                             Value(node(file("after.txt")))});
    model = DockModel::initWithCoder(coder);
    EXPECT_EQ(content(), (Labels{"|", "Menu", "after.txt", "Trash"}));

    // With the start menu switched off a stored one is left out.
    defaults().setBool(false, "enableStartMenu");
    model = DockModel::initWithCoder(coder);
    EXPECT_EQ(content(), (Labels{"|", "after.txt", "Trash"}));
}

// A stored dock of thousands of items: loaded in time linear in their number, each item
// once (a duplicate stored twice stays one item), the stored folders watched but listed
// only when first shown.
TEST_F(DockModelTest, AStoredDockOfThousandsOfItemsLoadsInLinearTimeWithItsFoldersWatchedNotListed) {
    defaults().setBool(true, "DoNotDisplayRunning");
    const std::string kept = folder("Kept");
    auto storedDock = [&](size_t n) {
        Array stored{Value(node(kept)), Value(node(kept))};
        for (size_t i = 0; i < n; ++i) stored.push_back(Value(node(docs + "/item" + std::to_string(i) + ".txt")));
        stored.push_back(Value(TrashModel::init()));
        test::DictionaryCoder coder;
        coder.values["persistent"] = Value(stored);
        return coder;
    };
    auto loadTime = [&](size_t n) {
        auto coder = storedDock(n);
        test::CpuStopwatch watch;
        model = DockModel::initWithCoder(coder);
        const double ms = watch.elapsedMs();
        EXPECT_EQ(model->panelContent().size(), n + 3) << "the folder once, the items, the start menu and the trash";
        return ms;
    };
    loadTime(500);  // warms the caches the first load fills
    const double small = loadTime(2000), large = loadTime(8000);
    // Four times the items: about four times the time (sixteen when every item is
    // compared with every other).
    EXPECT_LT(large, std::max(8.0 * small, 400.0)) << small << " ms for 2,000 items, " << large << " for 8,000";

    auto folderItem = model->panelContent()[1].objectAs<FileSystemNode>();
    ASSERT_TRUE(folderItem);
    EXPECT_EQ(folderItem->path(), kept);
    EXPECT_TRUE(folderItem->isWatching());
    env.loop().waitForBackground();
    env.loop().runPending();
    EXPECT_TRUE(folderItem->childrenArray().empty()) << "listed only when shown";
    EXPECT_EQ(folderItem->children().size(), 1u) << "and listed at once when asked";
}

TEST_F(DockModelTest, AnEmptyOrMissingArchiveBuildsANewModel) {
    launch("Alpha");
    test::DictionaryCoder empty;
    model = DockModel::initWithCoder(empty);
    EXPECT_EQ(content(), (Labels{"Menu", "app:Alpha", "Trash"}));
    test::DictionaryCoder emptyList;
    emptyList.values["persistent"] = Value(Array{});
    emptyList.values["blackList"] = Value("not a list");
    model = DockModel::initWithCoder(emptyList);
    EXPECT_EQ(content(), (Labels{"Menu", "app:Alpha", "Trash"}));
    EXPECT_TRUE(model->blackList().empty());
}

TEST_F(DockModelTest, ARunningKeptAppTakesTheSlotOfItsStoredFileItem) {
    test::DictionaryCoder coder;
    coder.values["persistent"] =
        Value(Array{Value(node(file("a.txt"))), Value(node(entry("Mail"))), Value(TrashModel::init())});
    RunningApplication::Info info;
    info.localizedName = "Mail";
    info.bundlePath = apps + "/moved/Mail.desktop";  // a moved bundle is found by name
    auto mail = sim.desktop->addApplication(info);
    launch("Other");
    model = DockModel::initWithCoder(coder);
    EXPECT_EQ(content(), (Labels{"Menu", "a.txt", "app:Mail", "app:Other", "Trash"}));
    EXPECT_TRUE(Persistent::isPersistent(*mail));
    // Kept under the URL it has now as well, so the next save stores it.
    EXPECT_EQ(model->persistentContent().size(), 4u);
    test::DictionaryCoder saved;
    model->encodeWithCoder(saved);
    EXPECT_EQ(labels(*saved.values["persistent"].array()), (Labels{"Menu", "a.txt", "Mail.desktop", "Trash"}));
    EXPECT_EQ(saved.values["persistent"].array()->at(2).objectAs<FileSystemNode>()->path(), info.bundlePath);
}

TEST_F(DockModelTest, ARoundTripKeepsEveryKindOfItem) {
    auto mail = launch("Mail");
    launch("Passing");
    model = DockModel::create();
    Persistent::setIsPersistent(*mail, true);

    auto group = GroupModel::create();
    group->setName("Work");
    group->prcessFiles({url(file("g1.txt")), url(file("g2.txt"))});
    auto grid = node(folder("Grid"));
    grid->setShowAsGrid(true);
    model->addItem(node(file("doc.txt")));
    model->addItem(grid);
    model->addItem(group);
    model->addSeparatorAffterItem(group);
    auto blocked = BlacklistItem::create();
    blocked->setLocalizedName("Noisy");
    blocked->setBundleURL(url(entry("Noisy")));
    blocked->setBundleIdentifier("Noisy");
    model->setBlackList({Value(blocked)});
    ASSERT_EQ(content(), (Labels{"Menu", "app:Mail", "app:Passing", "doc.txt", "Grid", "G:Work", "|", "Trash"}));

    // Mail still runs: it comes back in its slot, kept; the unkept app follows as running.
    auto back = reload(model);
    ASSERT_TRUE(back);
    EXPECT_EQ(labels(back->panelContent()),
              (Labels{"Menu", "app:Mail", "doc.txt", "Grid", "G:Work", "|", "app:Passing", "Trash"}));
    auto restoredGroup = back->panelContent()[4].objectAs<GroupModel>();
    ASSERT_TRUE(restoredGroup);
    EXPECT_EQ(labels(restoredGroup->items()), (Labels{"g1.txt", "g2.txt"}));
    EXPECT_TRUE(back->panelContent()[3].objectAs<FileSystemNode>()->showAsGrid());
    ASSERT_EQ(back->blackList().size(), 1u);
    EXPECT_TRUE(back->blackList()[0].objectAs<BlacklistItem>()->isEqual(blocked.get()));

    // Once it has quit, the kept one is a file item again in the same slot.
    Data archived = KeyedArchiver::archivedDataWithRootObject(Value(back));
    model.reset();
    back.reset();
    sim.desktop->terminateApplication(mail->processIdentifier());
    auto later = KeyedUnarchiver::unarchiveObjectWithData(archived).objectAs<DockModel>();
    ASSERT_TRUE(later);
    EXPECT_EQ(labels(later->panelContent()),
              (Labels{"Menu", "Mail.desktop", "doc.txt", "Grid", "G:Work", "|", "app:Passing", "Trash"}));
    env.loop().waitForBackground();
    env.loop().runPending();
}

}  // namespace
}  // namespace qs
