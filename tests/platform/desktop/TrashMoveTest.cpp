// Moving files into the freedesktop trash across file systems: a file or folder on
// another file system is copied whole into $XDG_DATA_HOME/Trash/files and removed only
// afterwards, with its .trashinfo; one that cannot be removed is not copied at all.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/desktop/FileServices.h"
#include "support/Files.h"
#include "support/TestEnvironment.h"

namespace qs::desktop {
namespace {

namespace fs = std::filesystem;

class TrashMoveTest : public test::IsolatedTest {
protected:
    // A scratch folder on another file system than the trash, when the machine has one.
    std::string otherFileSystem() {
        struct stat a {}, b {};
        if (::stat(env.root().c_str(), &a) != 0 || ::stat("/dev/shm", &b) != 0 || a.st_dev == b.st_dev) return "";
        std::string dir = "/dev/shm/quayside-trash-test-" + std::to_string(::getpid());
        fs::create_directories(dir);
        scratch_ = dir;
        return dir;
    }
    ~TrashMoveTest() override {
        std::error_code ec;
        if (!scratch_.empty()) {
            for (auto& e : fs::recursive_directory_iterator(scratch_, ec)) ::chmod(e.path().c_str(), 0755);
            ::chmod(scratch_.c_str(), 0755);
            fs::remove_all(scratch_, ec);
        }
    }
    std::string scratch_;
};

TEST_F(TrashMoveTest, AnItemOnAnotherFileSystemIsCopiedWholeThenRemoved) {
    const std::string other = otherFileSystem();
    if (other.empty()) GTEST_SKIP() << "no second file system";
    std::ofstream(other + "/memo.txt") << "memo";
    fs::create_directories(other + "/project/src");
    std::ofstream(other + "/project/src/main.c") << "int main;";

    auto result = files::moveToTrash({other + "/memo.txt", other + "/project"});
    EXPECT_TRUE(result.ok) << result.error;
    const std::string trash = env.dataHome() + "/Trash";
    EXPECT_FALSE(fs::exists(other + "/memo.txt"));
    EXPECT_FALSE(fs::exists(other + "/project"));
    EXPECT_EQ(test::readFileOrEmpty(trash + "/files/memo.txt"), "memo");
    EXPECT_TRUE(fs::exists(trash + "/files/project/src/main.c"));
    auto info = files::readTrashInfo(trash + "/info/project.trashinfo");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->originalPath, other + "/project");
    // No partial copies are left behind.
    for (auto& e : fs::directory_iterator(trash + "/files"))
        EXPECT_EQ(e.path().filename().string().find(".partial"), std::string::npos);
}

TEST_F(TrashMoveTest, AnItemThatCannotBeRemovedIsNotCopied) {
    if (::geteuid() == 0) GTEST_SKIP() << "the superuser may change read-only folders";
    const std::string other = otherFileSystem();
    if (other.empty()) GTEST_SKIP() << "no second file system";
    fs::create_directories(other + "/locked");
    std::ofstream(other + "/locked/keep.txt") << "keep";
    ::chmod((other + "/locked").c_str(), 0555);
    auto result = files::moveToTrash({other + "/locked/keep.txt"});
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(fs::exists(other + "/locked/keep.txt"));
    EXPECT_FALSE(fs::exists(env.dataHome() + "/Trash/files/keep.txt"));
    EXPECT_FALSE(fs::exists(env.dataHome() + "/Trash/info/keep.txt.trashinfo"));
    EXPECT_TRUE(env.logged("read-only"));
}

TEST_F(TrashMoveTest, TenThousandFilesAtOnceAllArriveWithTheirInformation) {
    const std::string dir = env.root() + "/many";
    fs::create_directories(dir);
    std::vector<std::string> paths;
    for (int i = 0; i < 10000; ++i) {
        paths.push_back(dir + "/f" + std::to_string(i % 5000) + (i < 5000 ? ".a" : ".b"));
        std::ofstream(paths.back()) << i;
    }
    auto result = files::moveToTrash(paths);
    EXPECT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.created.size(), paths.size());
    EXPECT_TRUE(fs::is_empty(dir));
    size_t infos = 0;
    for (auto& e : fs::directory_iterator(env.dataHome() + "/Trash/info")) infos += e.path().extension() == ".trashinfo";
    EXPECT_EQ(infos, paths.size());
}

TEST_F(TrashMoveTest, AFolderIsCopiedBesideItselfButNeverIntoItself) {
    const std::string dir = env.root() + "/album";
    fs::create_directories(dir + "/inner");
    std::ofstream(dir + "/photo.jpg") << "jpg";
    auto beside = files::copyItems({dir}, env.root());
    EXPECT_TRUE(beside.ok) << beside.error;
    EXPECT_TRUE(fs::exists(env.root() + "/album 2/photo.jpg"));
    auto into = files::copyItems({dir}, dir + "/inner");
    EXPECT_FALSE(into.ok);
    EXPECT_FALSE(fs::exists(dir + "/inner/album"));
    auto moved = files::moveItems({dir}, dir + "/inner");
    EXPECT_FALSE(moved.ok);
    EXPECT_TRUE(fs::exists(dir + "/photo.jpg"));
}

}  // namespace
}  // namespace qs::desktop
