// File items on real folders: listing bad and large folders, and watching them with the
// real inotify watch.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/FileSystemNode.h"
#include "platform/desktop/Desktop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/x11/FileManager.h"
#include "support/TestEnvironment.h"

namespace fs = std::filesystem;

namespace qs::test {
namespace {

class FileSystemNodeWatchTest : public IsolatedTest {
protected:
    void SetUp() override {
        desktop::Services services;
        services.files = std::make_shared<x11::FileManagerServices>();
        desktop::install(services);
        folder = env.root() + "/folder";
        fs::create_directories(folder);
        NotificationCenter::defaultCenter().addObserver(this, "PopulateChildrenArray", nullptr,
                                                        [this](const Notification& n) { posted.push_back(n.object); });
    }
    void TearDown() override {
        NotificationCenter::defaultCenter().removeObserver(this);
        desktop::install({});
    }
    // Real time: the watch's thread and the background listing.
    bool waitForPost(size_t count, int tries = 300) {
        for (int i = 0; i < tries && posted.size() < count; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            env.loop().waitForBackground();
            env.loop().runPending();
        }
        return posted.size() >= count;
    }
    static std::vector<std::string> names(const std::vector<FileSystemNodePtr>& nodes) {
        std::vector<std::string> out;
        for (const auto& n : nodes) out.push_back(n->displayName());
        return out;
    }
    std::string folder;
    std::vector<Value> posted;
};

TEST_F(FileSystemNodeWatchTest, AWatchedFolderRelistsAndPostsWhenItChanges) {
    auto node = FileSystemNode::initWithPath(folder);
    node->watchChanges();
    ASSERT_TRUE(node->isWatching());
    std::ofstream(folder + "/added.txt") << "a";
    ASSERT_TRUE(waitForPost(1));
    EXPECT_EQ(posted[0].objectAs<FileSystemNode>(), node);
    EXPECT_EQ(names(node->children()), std::vector<std::string>{"added.txt"});
    ASSERT_EQ(node->childrenArray().size(), 1u) << "published before the notification";

    // A change inside a subfolder is not this folder's business.
    fs::create_directories(folder + "/sub");
    ASSERT_TRUE(waitForPost(2));
    size_t before = posted.size();
    std::ofstream(folder + "/sub/deep.txt") << "d";
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    env.loop().waitForBackground();
    env.loop().runPending();
    EXPECT_EQ(posted.size(), before);
}

TEST_F(FileSystemNodeWatchTest, AFolderThatDisappearsListsAsEmpty) {
    std::ofstream(folder + "/x.txt") << "x";
    auto node = FileSystemNode::initWithPath(folder);
    ASSERT_EQ(node->children().size(), 1u);
    node->watchChanges();
    fs::remove_all(folder);
    ASSERT_TRUE(waitForPost(1));
    EXPECT_TRUE(node->children().empty());
    EXPECT_TRUE(node->childrenArray().empty());
    EXPECT_TRUE(env.logged(folder));
}

TEST_F(FileSystemNodeWatchTest, AFolderMadeAfterTheWatchBeganIsFollowedFromThen) {
    const std::string later = folder + "/later/inner";
    auto node = FileSystemNode::initWithPath(later);
    node->watchChanges();
    ASSERT_TRUE(node->isWatching()) << "watched from the folder above it";
    EXPECT_EQ(node->watchedFolders(), std::vector<std::string>{folder});
    // Its parent appears: not yet the folder itself; nothing is posted for the item.
    fs::create_directories(folder + "/later");
    EXPECT_FALSE(waitForPost(1, 30));
    EXPECT_EQ(node->watchedFolders(), std::vector<std::string>{folder + "/later"});
    fs::create_directories(later);
    ASSERT_TRUE(waitForPost(1));
    EXPECT_EQ(node->watchedFolders(), std::vector<std::string>{later});
    // The watch has moved onto the folder: what is made in it is seen.
    std::ofstream(later + "/new.txt") << "n";
    ASSERT_TRUE(waitForPost(2));
    EXPECT_EQ(names(node->children()), std::vector<std::string>{"new.txt"});
}

TEST_F(FileSystemNodeWatchTest, AReleasedItemStopsWatching) {
    {
        auto node = FileSystemNode::initWithPath(folder);
        node->watchChanges();
    }
    std::ofstream(folder + "/after.txt") << "a";
    EXPECT_FALSE(waitForPost(1, 30));
}

TEST_F(FileSystemNodeWatchTest, BadEntriesAreListedWithoutHangingOrCrashing) {
    fs::create_directories(folder + "/loop");
    fs::create_symlink(folder, folder + "/loop/back");  // a link loop
    fs::create_symlink(folder + "/nowhere", folder + "/dangling");
    std::ofstream(folder + "/new\nline \xff.txt") << "n";
    fs::create_directories(folder + "/locked");
    ::chmod((folder + "/locked").c_str(), 0);
    std::ofstream(folder + "/.hidden") << "h";
    auto node = FileSystemNode::initWithPath(folder);
    auto kids = names(node->children());
    ::chmod((folder + "/locked").c_str(), 0700);
    EXPECT_EQ(kids.size(), 4u);
    EXPECT_EQ(std::count(kids.begin(), kids.end(), ".hidden"), 0);
    EXPECT_EQ(std::count(kids.begin(), kids.end(), "new\nline \xff.txt"), 1) << "odd names keep their bytes";
    auto loop = node->children();
    for (const auto& child : loop) (void)child->children();  // one level down, no descent beyond
    auto gone = FileSystemNode::initWithPath(folder + "/dangling");
    EXPECT_FALSE(gone->isDirectory());
    EXPECT_EQ(gone->size(), 0u);
    EXPECT_TRUE(gone->children().empty());
}

TEST_F(FileSystemNodeWatchTest, ThousandsOfEntriesAreListedInTheBackground) {
    for (int i = 0; i < 3000; ++i) std::ofstream(folder + "/f" + std::to_string(i));
    auto node = FileSystemNode::initWithPath(folder);
    int announced = 0;
    auto observation =
        node->observe("childrenArray", KeyValueObservingOptionNew, [&](const KeyValueChange&) { ++announced; });
    node->populateChildrenArrayInBackground();
    EXPECT_EQ(announced, 0) << "nothing observable changes off the main thread";
    env.loop().waitForBackground();
    env.loop().runPending();
    EXPECT_GE(announced, 1);
    ASSERT_EQ(node->childrenArray().size(), 3000u);
    auto kids = node->children();
    EXPECT_EQ(kids[0]->displayName(), "f0");
    EXPECT_EQ(kids[2]->displayName(), "f2") << "numbers by value: f2 before f10";
    EXPECT_EQ(kids[10]->displayName(), "f10");
}

TEST_F(FileSystemNodeWatchTest, FilesDroppedOnAFolderMoveInTheBackgroundThenTheFolderRelists) {
    auto node = FileSystemNode::initWithPath(folder);
    fs::create_directories(env.root() + "/from");
    std::ofstream(env.root() + "/from/dropped.txt") << "d";
    node->prcessFiles({URL::fileURLWithPath(env.root() + "/from/dropped.txt")});
    EXPECT_TRUE(posted.empty()) << "the call returns before the move is done";
    ASSERT_TRUE(waitForPost(1));
    EXPECT_EQ(posted[0].objectAs<FileSystemNode>(), node);
    EXPECT_FALSE(fs::exists(env.root() + "/from/dropped.txt"));
    EXPECT_EQ(names(node->children()), std::vector<std::string>{"dropped.txt"});
    EXPECT_EQ(node->childrenArray().size(), 1u);

    // A folder item let go before its move ends: the files still arrive, nothing crashes.
    std::ofstream(env.root() + "/from/late.txt") << "l";
    FileSystemNode::initWithPath(folder)->prcessFiles({URL::fileURLWithPath(env.root() + "/from/late.txt")});
    env.loop().waitForBackground();
    env.loop().runPending();
    EXPECT_TRUE(fs::exists(folder + "/late.txt"));
}

}  // namespace
}  // namespace qs::test
