// File operations and the trash on a private XDG_DATA_HOME, checked against the
// freedesktop trash layout (files/, info/<name>.trashinfo).

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "platform/desktop/Desktop.h"
#include "platform/sim/SimBackend.h"
#include "platform/x11/FileManager.h"
#include "support/Files.h"
#include "support/TestEnvironment.h"
#include "tracking/FinderOperations.h"

namespace fs = std::filesystem;

namespace qs::test {
namespace {

std::string readAll(const std::string& path) { return readFileOrEmpty(path); }
void write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
URLPtr fileURL(const std::string& path) { return URL::fileURLWithPath(path); }

class FinderOperationsTest : public IsolatedTest {
protected:
    void SetUp() override {
        backend = sim::installSimBackend(false);
        work = env.root() + "/work";
        fs::create_directories(work + "/target");
        trash = env.dataHome() + "/Trash";
    }
    sim::SimBackend backend;
    std::string work, trash;
};

TEST_F(FinderOperationsTest, TrashingWritesTheFilesAndTheirInformationInTheFreedesktopLayout) {
    write(work + "/a.txt", "A");
    write(work + "/b.txt", "B");
    ASSERT_TRUE(FileOperations::moveItemsToTrash({fileURL(work + "/a.txt"), fileURL(work + "/b.txt")}));
    EXPECT_FALSE(fs::exists(work + "/a.txt"));
    EXPECT_EQ(readAll(trash + "/files/a.txt"), "A");
    EXPECT_EQ(readAll(trash + "/files/b.txt"), "B");
    std::string info = readAll(trash + "/info/a.txt.trashinfo");
    EXPECT_EQ(info.rfind("[Trash Info]\n", 0), 0u) << info;
    EXPECT_NE(info.find("\nPath=" + work + "/a.txt\n"), std::string::npos) << info;
    EXPECT_TRUE(std::regex_search(info, std::regex("\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")))
        << info;
    struct stat st;
    ASSERT_EQ(::stat(trash.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "the trash is private to its user";
    EXPECT_TRUE(FileOperations::isTrashFull());
}

TEST_F(FinderOperationsTest, ASecondItemOfTheSameNameGetsAFreshNameAndBothCanBeRestored) {
    write(work + "/same.txt", "first");
    ASSERT_TRUE(FileOperations::moveItemsToTrash({fileURL(work + "/same.txt")}));
    fs::create_directories(work + "/other");
    write(work + "/other/same.txt", "second");
    ASSERT_TRUE(FileOperations::moveItemsToTrash({fileURL(work + "/other/same.txt")}));
    EXPECT_EQ(readAll(trash + "/files/same.txt"), "first");
    EXPECT_EQ(readAll(trash + "/files/same 2.txt"), "second");
    auto info = desktop::files::readTrashInfo(trash + "/info/same 2.txt.trashinfo");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->originalPath, work + "/other/same.txt");
}

TEST_F(FinderOperationsTest, OddNamesArePercentEncodedAndReadBack) {
    const std::string odd = work + "/new\nline 100% \xff.txt";
    write(odd, "odd");
    ASSERT_TRUE(FileOperations::moveItemsToTrash({fileURL(odd)}));
    const std::string name = fs::path(odd).filename().string();
    std::string raw = readAll(trash + "/info/" + name + ".trashinfo");
    EXPECT_EQ(std::count(raw.begin(), raw.end(), '\n'), 3) << "the newline must not break the file: " << raw;
    auto info = desktop::files::readTrashInfo(trash + "/info/" + name + ".trashinfo");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->originalPath, odd);
}

TEST_F(FinderOperationsTest, AFailedItemIsReportedAndTheOthersStillGo) {
    write(work + "/real.txt", "r");
    EXPECT_FALSE(FileOperations::moveItemsToTrash({fileURL(work + "/missing.txt"), fileURL(work + "/real.txt")}));
    EXPECT_TRUE(fs::exists(trash + "/files/real.txt"));
    EXPECT_FALSE(fs::exists(trash + "/info/missing.txt.trashinfo")) << "no orphaned information file";
    EXPECT_FALSE(FileOperations::moveItemsToTrash({}));
}

TEST_F(FinderOperationsTest, MalformedTrashInfoIsRejectedWithALogLine) {
    fs::create_directories(trash + "/info");
    write(trash + "/info/bad.trashinfo", "not an info file\n");
    write(trash + "/info/nopath.trashinfo", "[Trash Info]\nDeletionDate=2020-01-01T00:00:00\n");
    write(trash + "/info/badescape.trashinfo", "[Trash Info]\nPath=/tmp/%zz\n");
    EXPECT_FALSE(desktop::files::readTrashInfo(trash + "/info/bad.trashinfo"));
    EXPECT_FALSE(desktop::files::readTrashInfo(trash + "/info/nopath.trashinfo"));
    EXPECT_FALSE(desktop::files::readTrashInfo(trash + "/info/badescape.trashinfo"));
    EXPECT_FALSE(desktop::files::readTrashInfo(trash + "/info/absent.trashinfo"));
    EXPECT_FALSE(env.logLines().empty());
}

TEST_F(FinderOperationsTest, TrashFullnessAndEmptying) {
    EXPECT_FALSE(FileOperations::isTrashFull()) << "no trash folder yet";
    fs::create_directories(trash + "/files/folder");
    EXPECT_TRUE(FileOperations::isTrashFull()) << "a subfolder alone counts";
    write(work + "/x.txt", "x");
    ASSERT_TRUE(FileOperations::moveItemsToTrash({fileURL(work + "/x.txt")}));
    write(trash + "/directorysizes", "");
    EXPECT_TRUE(FileOperations::emptyTrash());
    EXPECT_FALSE(FileOperations::isTrashFull());
    EXPECT_TRUE(fs::is_empty(trash + "/info"));
    EXPECT_FALSE(fs::exists(trash + "/directorysizes"));
}

TEST_F(FinderOperationsTest, CopyMoveAndAliasNeverOverwrite) {
    write(work + "/file.txt", "new");
    write(work + "/target/file.txt", "old");
    ASSERT_TRUE(FileOperations::copyItemsAtURLs({fileURL(work + "/file.txt")}, fileURL(work + "/target")));
    EXPECT_EQ(readAll(work + "/target/file.txt"), "old");
    EXPECT_EQ(readAll(work + "/target/file 2.txt"), "new");
    ASSERT_TRUE(FileOperations::moveItemsAtURLs({fileURL(work + "/file.txt")}, fileURL(work + "/target")));
    EXPECT_FALSE(fs::exists(work + "/file.txt"));
    EXPECT_EQ(readAll(work + "/target/file 3.txt"), "new");
    write(work + "/linked.txt", "l");
    ASSERT_TRUE(FileOperations::aliasItemsAtURLs({fileURL(work + "/linked.txt")}, fileURL(work + "/target")));
    EXPECT_TRUE(fs::is_symlink(work + "/target/linked.txt"));
    EXPECT_EQ(fs::read_symlink(work + "/target/linked.txt"), fs::path(work + "/linked.txt"));
}

TEST_F(FinderOperationsTest, FailedCopiesAndMovesReportFailureAndLeaveNothingBehind) {
    fs::create_directories(work + "/tree/inner");
    write(work + "/tree/inner/ok.txt", "ok");
    write(work + "/tree/secret.txt", "s");
    ::chmod((work + "/tree/secret.txt").c_str(), 0);
    bool root = ::geteuid() == 0;  // root reads anything: the unreadable case does not apply
    bool copied = FileOperations::copyItemsAtURLs({fileURL(work + "/tree")}, fileURL(work + "/target"));
    if (!root) {
        EXPECT_FALSE(copied);
        EXPECT_TRUE(fs::is_empty(work + "/target")) << "a half-made copy was left behind";
    }
    ::chmod((work + "/tree/secret.txt").c_str(), 0600);
    // Into itself, into something that is not a folder, from something that is gone.
    EXPECT_FALSE(FileOperations::moveItemsAtURLs({fileURL(work + "/tree")}, fileURL(work + "/tree/inner")));
    EXPECT_TRUE(fs::exists(work + "/tree/inner/ok.txt"));
    EXPECT_FALSE(FileOperations::copyItemsAtURLs({fileURL(work + "/tree")}, fileURL(work + "/tree/secret.txt")));
    EXPECT_FALSE(FileOperations::moveItemsAtURLs({fileURL(work + "/gone")}, fileURL(work + "/target")));
    EXPECT_FALSE(FileOperations::copyItemsAtURLs({fileURL(work + "/tree")}, nullptr));
}

TEST_F(FinderOperationsTest, BackgroundMovesRunInOrderAndAnswerOnTheMainLoop) {
    int trashPosts = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(
        this, FileOperations::kTrashNotification, nullptr, [&](const Notification&) { ++trashPosts; });
    // Three same-named files queued back to back: each gets its own name, none is lost.
    std::vector<std::string> answers;
    for (const char* folder : {"one", "two", "three"}) {
        fs::create_directories(work + "/" + folder);
        write(work + "/" + folder + "/same.txt", folder);
        FileOperations::moveItemsAtURLs({fileURL(work + "/" + folder + "/same.txt")}, fileURL(work + "/target"),
                                        [&answers, folder](bool ok) { answers.push_back(std::string(folder) + (ok ? " ok" : " failed")); });
    }
    write(work + "/t.txt", "t");
    bool trashed = false;
    FileOperations::moveItemsToTrash({fileURL(work + "/t.txt"), fileURL(work + "/missing.txt")},
                                     [&](bool ok) { trashed = !ok; });
    EXPECT_TRUE(answers.empty()) << "answers come on the main loop, never inside the call";
    env.loop().waitForBackground();
    env.loop().runPending();
    EXPECT_EQ(answers, (std::vector<std::string>{"one ok", "two ok", "three ok"}));
    EXPECT_EQ(readAll(work + "/target/same.txt"), "one");
    EXPECT_EQ(readAll(work + "/target/same 2.txt"), "two");
    EXPECT_EQ(readAll(work + "/target/same 3.txt"), "three");
    // The missing file makes the answer NO; the real one is in the trash all the same.
    EXPECT_TRUE(trashed);
    EXPECT_TRUE(fs::exists(trash + "/files/t.txt"));
    EXPECT_EQ(trashPosts, 1) << "only the trash operation tells the trash's observers";

    // Nothing to move, or nowhere to move it: a NO, still on the main loop.
    std::vector<bool> refused;
    FileOperations::moveItemsAtURLs({fileURL(work + "/x")}, nullptr, [&](bool ok) { refused.push_back(ok); });
    FileOperations::moveItemsToTrash({}, [&](bool ok) { refused.push_back(ok); });
    EXPECT_TRUE(refused.empty());
    env.loop().runPending();
    EXPECT_EQ(refused, (std::vector<bool>{false, false}));
    NotificationCenter::defaultCenter().removeObserver(token);
}

TEST_F(FinderOperationsTest, OpeningTheTrashAsksTheFileManager) {
    EXPECT_TRUE(FileOperations::openTrash());
    ASSERT_FALSE(backend.files->calls().empty());
    EXPECT_EQ(backend.files->calls().front(), "showFolder trash:///");
    backend.files->setFileManagerAvailable(false);
    EXPECT_FALSE(FileOperations::openTrash()) << "a refused request is not a success";
}

TEST_F(FinderOperationsTest, TheTrashWatcherPostsForChangesMadeElsewhere) {
    desktop::Services services;
    services.files = std::make_shared<x11::FileManagerServices>();
    desktop::install(services);
    int posts = 0;
    int owner = 0;
    FileOperations::addTrashObserver(&owner, [&](const Notification&) { ++posts; });
    ASSERT_TRUE(fs::is_directory(trash + "/files")) << "the watcher makes the trash folders";
    write(trash + "/files/dropped.txt", "d");  // as another program would
    for (int i = 0; i < 200 && posts == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        env.loop().runPending();
    }
    EXPECT_GT(posts, 0);
    FileOperations::removeTrashObserver(&owner);
    desktop::install({});
}

}  // namespace
}  // namespace qs::test
