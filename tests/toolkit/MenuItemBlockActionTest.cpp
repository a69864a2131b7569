#include <gtest/gtest.h>

#include "platform/ui/Menu.h"
#include "support/TestEnvironment.h"
#include "toolkit/MenuItemBlockAction.h"

namespace qs {
namespace {

using namespace NSMenuItem_Q;

TEST(MenuItemBlockAction, SettingABlockMakesTheItemItsOwnTargetAndRunsTheBlockWithTheSender) {
    auto item = std::make_shared<MenuItem>("Remove from Dock");
    std::vector<MenuItem*> senders;
    setBlockAction(*item, [&](MenuItem& sender) { senders.push_back(&sender); });

    EXPECT_EQ(item->target(), item.get());
    EXPECT_EQ(item->actionSelector(), "blockActionWrapper:");
    ASSERT_TRUE(blockAction(*item));
    EXPECT_NE(item->associatedObject("BlockActionKey"), nullptr);

    EXPECT_TRUE(item->performAction());
    ASSERT_EQ(senders.size(), 1u);
    EXPECT_EQ(senders[0], item.get());
}

TEST(MenuItemBlockAction, ANilBlockLeavesNoTargetNoActionAndNoBlock) {
    MenuItem item("Open");
    int runs = 0;
    setBlockAction(item, [&](MenuItem&) { ++runs; });
    setBlockAction(item, nullptr);
    EXPECT_EQ(item.target(), nullptr);
    EXPECT_TRUE(item.action().isNull());
    EXPECT_FALSE(blockAction(item));
    EXPECT_EQ(item.associatedObject(BlockActionKey), nullptr);
    EXPECT_FALSE(item.performAction());
    EXPECT_EQ(runs, 0);
}

TEST(MenuItemBlockAction, AReplacedBlockNoLongerRunsAndABlockMayReplaceItselfWhileRunning) {
    MenuItem item("Toggle");
    int first = 0, second = 0, third = 0;
    setBlockAction(item, [&](MenuItem&) { ++first; });
    setBlockAction(item, [&](MenuItem& sender) {
        ++second;
        // Replacing the running block must not pull it from under itself.
        setBlockAction(sender, [&](MenuItem&) { ++third; });
        ++second;
    });
    item.performAction();
    item.performAction();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(third, 1);
}

TEST(MenuItemBlockAction, AChoiceInAMenuRunsTheBlockOnceAndTheRepresentedObjectTravelsWithTheSender) {
    auto menu = std::make_shared<Menu>("");
    auto item = std::make_shared<MenuItem>("Show in Finder");
    item->setRepresentedObject(Value("/home/user/Documents"));
    std::vector<std::string> seen;
    setBlockAction(*item, [&](MenuItem& sender) { seen.push_back(sender.representedObject().stringValue()); });
    menu->addItem(item);
    EXPECT_TRUE(menu->performActionForItemAtIndex(0));
    EXPECT_EQ(seen, std::vector<std::string>{"/home/user/Documents"});
}

}  // namespace
}  // namespace qs
