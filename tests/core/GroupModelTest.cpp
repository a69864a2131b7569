// Groups, separators and block-list entries: identity, saving and archives.

#include <gtest/gtest.h>

#include "core/BlacklistItem.h"
#include "core/FileSystemNode.h"
#include "core/GroupModel.h"
#include "core/Separator.h"
#include "core/DockTestSupport.h"

namespace qs {
namespace {

using test::PostCounter;

URLPtr fileURL(const std::string& path) { return URL::fileURLWithPath(path); }

Value roundTrip(const Value& root) {
    return KeyedUnarchiver::unarchiveObjectWithData(KeyedArchiver::archivedDataWithRootObject(root));
}

class GroupTest : public test::IsolatedTest {};

TEST_F(GroupTest, NewGroupIsNamedAndSavesTwiceWhileBuilt) {
    PostCounter saves("saveDocksData");
    auto group = GroupModel::create();
    EXPECT_EQ(group->name(), "New Group");
    EXPECT_EQ(group->localizedName(), "New Group");
    EXPECT_TRUE(group->icon() && group->icon()->isValid());
    EXPECT_TRUE(group->items().empty());
    EXPECT_EQ(saves.count, 2);
    EXPECT_FALSE(group->isEqual(GroupModel::create().get()));
}

TEST_F(GroupTest, RenamingAnnouncesBothNamesThenSaves) {
    auto group = GroupModel::create();
    std::vector<std::string> seen;
    int savesAtAnnouncement = -1;
    PostCounter saves("saveDocksData");
    auto byName = group->observe("name", KeyValueObservingOptionNew, [&](const KeyValueChange& c) {
        seen.push_back("name=" + c.newValue.stringValue());
        savesAtAnnouncement = saves.count;
    });
    auto byLocalized = group->observe("localizedName", KeyValueObservingOptionNew,
                                      [&](const KeyValueChange& c) { seen.push_back("localized=" + c.newValue.stringValue()); });
    group->setName("Work");
    EXPECT_EQ(seen, (std::vector<std::string>{"localized=Work", "name=Work"}));
    EXPECT_EQ(savesAtAnnouncement, 0);  // announced before the save
    EXPECT_EQ(saves.count, 1);
}

TEST_F(GroupTest, DroppedFilesJoinInOrderAndEveryDropSaves) {
    auto group = GroupModel::create();
    PostCounter saves("saveDocksData");
    int itemChanges = 0;
    auto watch = group->observe("items", KeyValueObservingOptionNew, [&](const KeyValueChange&) { ++itemChanges; });

    group->prcessFiles({fileURL("/tmp/a.txt"), fileURL("/tmp/b.txt"), fileURL("/tmp/c.txt")});
    ASSERT_EQ(group->items().size(), 3u);
    EXPECT_EQ(group->items()[0].objectAs<FileSystemNode>()->URL()->path(), "/tmp/a.txt");
    EXPECT_EQ(group->items()[2].objectAs<FileSystemNode>()->URL()->path(), "/tmp/c.txt");
    EXPECT_EQ(saves.count, 3);
    EXPECT_EQ(itemChanges, 3);

    // The same file again (a different object, equal by URL) adds nothing but still saves.
    group->prcessFiles({fileURL("/tmp/b.txt")});
    EXPECT_EQ(group->items().size(), 3u);
    EXPECT_EQ(saves.count, 4);
    EXPECT_EQ(itemChanges, 3);

    group->removeObject(FileSystemNode::initWithURL(fileURL("/tmp/a.txt")));
    group->removeObject(FileSystemNode::initWithURL(fileURL("/tmp/zzz.txt")));
    EXPECT_EQ(group->items().size(), 2u);
    EXPECT_EQ(saves.count, 6);
}

TEST_F(GroupTest, ArchiveKeepsNameIconAndMembersWithTheirOwnKeys) {
    auto group = GroupModel::create();
    group->setName("Tools");
    auto folder = FileSystemNode::initWithURL(URL::fileURLWithPath(env.root(), true));
    folder->setShowAsGrid(true);
    group->addObject(folder);
    group->addObject(FileSystemNode::initWithURL(fileURL("/tmp/notes.txt")));

    PostCounter saves("saveDocksData");
    auto back = roundTrip(Value(group)).objectAs<GroupModel>();
    ASSERT_TRUE(back);
    EXPECT_EQ(saves.count, 2);  // the decoding setters save, as a new group does
    EXPECT_EQ(back->name(), "Tools");
    ASSERT_TRUE(back->icon());
    EXPECT_EQ(back->icon()->size().width, group->icon()->size().width);
    ASSERT_EQ(back->items().size(), 2u);
    auto member = back->items()[0].objectAs<FileSystemNode>();
    ASSERT_TRUE(member);
    EXPECT_TRUE(member->isEqual(folder.get()));
    EXPECT_TRUE(member->showAsGrid());
}

TEST_F(GroupTest, AGroupArchivedWithoutItemsStillTakesDrops) {
    test::DictionaryCoder coder;
    coder.values["name"] = Value("Old");
    auto group = GroupModel::initWithCoder(coder);
    EXPECT_EQ(group->name(), "Old");
    EXPECT_FALSE(group->icon());
    group->prcessFiles({fileURL("/tmp/a.txt")});
    EXPECT_EQ(group->items().size(), 1u);
}

TEST(SeparatorTest, NewSeparatorsAreEmptyAndDistinct) {
    auto a = Separator::create(), b = Separator::create();
    EXPECT_EQ(a->name(), "");
    EXPECT_TRUE(a->localizedName().isNil());
    EXPECT_FALSE(a->icon());
    EXPECT_FALSE(a->isEqual(b.get()));
    EXPECT_TRUE(a->isEqual(a.get()));
    EXPECT_TRUE(a->valueForKey("localizedName").isNil());
}

BlacklistItemPtr entry(const std::string& name, URLPtr url, const std::string& identifier = "") {
    auto item = BlacklistItem::create();
    item->setLocalizedName(name);
    item->setBundleURL(std::move(url));
    item->setBundleIdentifier(identifier);
    return item;
}

TEST(BlacklistItemTest, IdentityIsTheBundleURLElseTheName) {
    auto a = entry("Mail", fileURL("/usr/share/applications/mail.desktop"));
    auto renamed = entry("Post", fileURL("/usr/share/applications/mail.desktop"));
    EXPECT_TRUE(a->isEqual(renamed.get()));
    EXPECT_EQ(a->hash(), renamed->hash());

    auto other = entry("Mail", fileURL("/usr/share/applications/other.desktop"));
    EXPECT_FALSE(a->isEqual(other.get()));

    auto x = entry("Tool", nullptr), y = entry("Tool", nullptr), z = entry("Tool2", nullptr);
    EXPECT_TRUE(x->isEqual(y.get()));
    EXPECT_FALSE(x->isEqual(z.get()));
    // A name-only entry is not the same as an entry with a bundle, whatever the name.
    EXPECT_FALSE(x->isEqual(entry("Tool", fileURL("/x/tool.desktop")).get()));
    EXPECT_FALSE(x->isEqual(Separator::create().get()));
}

TEST(BlacklistItemTest, ArchiveKeepsTheFourKeys) {
    auto a = entry("Mail", fileURL("/usr/share/applications/mail.desktop"), "mail");
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(Qt::red);
    a->setIcon(std::make_shared<Image>(image));
    auto back = roundTrip(Value(a)).objectAs<BlacklistItem>();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->localizedName(), "Mail");
    EXPECT_TRUE(back->isEqual(a.get()));
    EXPECT_EQ(back->bundleIdentifier(), "mail");
    ASSERT_TRUE(back->icon());
    EXPECT_EQ(back->icon()->qimage().pixelColor(2, 2), QColor(Qt::red));

    auto bare = roundTrip(Value(entry("Solo", nullptr))).objectAs<BlacklistItem>();
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->bundleURL());
    EXPECT_EQ(bare->bundleIdentifier(), "");
}

}  // namespace
}  // namespace qs
