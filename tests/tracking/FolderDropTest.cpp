// Files dropped on a folder item: moved in from the folder's own file system, copied from
// another, never lost, never left half-written under their final name, and every refusal
// or failure told with its reason.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/desktop/FileServices.h"
#include "platform/sim/SimBackend.h"
#include "support/Files.h"
#include "support/TestEnvironment.h"
#include "tracking/FinderOperations.h"

namespace fs = std::filesystem;

namespace qs::test {
namespace {

using FileOperations::DropAction;
using FileOperations::DropOutcome;

URLPtr fileURL(const std::string& path) { return URL::fileURLWithPath(path); }

std::vector<URLPtr> urlsOf(const std::vector<std::string>& paths) {
    std::vector<URLPtr> out;
    for (const auto& p : paths) out.push_back(fileURL(p));
    return out;
}

// The entries of a folder, hidden ones included (a partial copy would be one).
std::vector<std::string> entriesOf(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// A folder on another file system than the test's files, made for the test; "" when the
// machine has none that can be written.
std::string otherFileSystemFolder(const std::string& than) {
    struct stat a {}, b {};
    if (::stat(than.c_str(), &a) != 0 || ::stat("/dev/shm", &b) != 0 || a.st_dev == b.st_dev) return {};
    std::string templ = "/dev/shm/quayside-drop-XXXXXX";
    return ::mkdtemp(templ.data()) ? templ : std::string();
}

class FolderDropTest : public IsolatedTest {
protected:
    void SetUp() override {
        backend = sim::installSimBackend(false);
        inbox = env.root() + "/Inbox";
        outside = env.root() + "/outside";
        fs::create_directories(inbox);
        fs::create_directories(outside);
    }
    void TearDown() override {
        desktop::files::setBeforeCopyHookForTesting(nullptr);
        std::error_code ec;
        if (!elsewhere.empty()) fs::remove_all(elsewhere, ec);
    }
    std::string make(const std::string& path, const std::string& text = "x") {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << text;
        return path;
    }
    DropOutcome drop(const std::vector<std::string>& paths, const std::string& folder) {
        std::optional<DropOutcome> outcome;
        FileOperations::dropItemsIntoFolder(urlsOf(paths), fileURL(folder), [&](const DropOutcome& o) { outcome = o; });
        EXPECT_FALSE(outcome) << "the answer comes on the main loop, never inside the call";
        env.loop().waitForBackground();
        env.loop().runPending();
        EXPECT_TRUE(outcome);
        return outcome.value_or(DropOutcome{});
    }

    sim::SimBackend backend;
    std::string inbox, outside, elsewhere;
};

TEST_F(FolderDropTest, FilesOfTheFoldersFileSystemAreMovedInUnderAFreeName) {
    make(inbox + "/report.txt", "older");
    const std::string a = make(outside + "/report.txt", "newer"), b = make(outside + "/b/notes.txt");
    fs::create_directories(outside + "/tree/inner");
    make(outside + "/tree/inner/deep.txt", "deep");
    const auto plan = FileOperations::planDrop(urlsOf({a, b, outside + "/tree"}), fileURL(inbox));
    EXPECT_EQ(plan.operation(), std::optional<DropAction>(DropAction::Move));
    EXPECT_TRUE(plan.refused.empty());

    const DropOutcome outcome = drop({a, b, outside + "/tree"}, inbox);
    EXPECT_EQ(outcome.moved, 3u);
    EXPECT_EQ(outcome.copied, 0u);
    EXPECT_TRUE(outcome.failed.empty());
    EXPECT_FALSE(FileOperations::messageForDrop(outcome));
    // The name taken in the folder: the dropped file gets a fresh one, nothing is overwritten.
    EXPECT_EQ(readFileOrEmpty(inbox + "/report.txt"), "older");
    EXPECT_EQ(readFileOrEmpty(inbox + "/report 2.txt"), "newer");
    EXPECT_EQ(readFileOrEmpty(inbox + "/tree/inner/deep.txt"), "deep");
    EXPECT_FALSE(fs::exists(a) || fs::exists(b) || fs::exists(outside + "/tree"));
}

TEST_F(FolderDropTest, FilesOfAnotherFileSystemAreCopiedAndStayWhereTheyWere) {
    elsewhere = otherFileSystemFolder(env.root());
    if (elsewhere.empty()) GTEST_SKIP() << "no second file system to drop from";
    const std::string there = make(elsewhere + "/photo.jpg", "jpeg"), here = make(outside + "/note.txt");
    const auto plan = FileOperations::planDrop(urlsOf({there, here}), fileURL(inbox));
    ASSERT_EQ(plan.items.size(), 2u);
    EXPECT_EQ(plan.items[0].second, DropAction::Copy);
    EXPECT_EQ(plan.items[1].second, DropAction::Move);
    EXPECT_EQ(plan.operation(), std::optional<DropAction>(DropAction::Copy)) << "a copy when any file is copied";

    const DropOutcome outcome = drop({there, here}, inbox);
    EXPECT_EQ(outcome.copied, 1u);
    EXPECT_EQ(outcome.moved, 1u);
    EXPECT_EQ(readFileOrEmpty(inbox + "/photo.jpg"), "jpeg");
    EXPECT_TRUE(fs::exists(there)) << "a copy keeps the original";
    EXPECT_FALSE(fs::exists(here));
}

TEST_F(FolderDropTest, AFileThatVanishesWhileBeingCopiedLeavesNothingBehindAndIsTold) {
    elsewhere = otherFileSystemFolder(env.root());
    if (elsewhere.empty()) GTEST_SKIP() << "no second file system to drop from";
    const std::string going = make(elsewhere + "/going.bin", std::string(1 << 16, 'g'));
    const std::string staying = make(elsewhere + "/staying.txt", "stays");
    desktop::files::setBeforeCopyHookForTesting([&](const std::string& from) {
        if (from == going) fs::remove(going);
    });
    const DropOutcome outcome = drop({going, staying}, inbox);
    EXPECT_EQ(outcome.copied, 1u);
    ASSERT_EQ(outcome.failed.size(), 1u);
    EXPECT_EQ(outcome.failed[0].first, going);
    EXPECT_EQ(outcome.failed[0].second, "It went away while it was being copied.");
    EXPECT_EQ(entriesOf(inbox), std::vector<std::string>{"staying.txt"}) << "no partial file, under any name";
    EXPECT_TRUE(fs::exists(staying));
    auto message = FileOperations::messageForDrop(outcome);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->text, "\u201cgoing.bin\u201d could not be put into \u201cInbox\u201d.");
    EXPECT_EQ(message->informativeText, "It went away while it was being copied.");
}

TEST_F(FolderDropTest, DropsThatCannotBeDoneChangeNothingAndSayWhy) {
    const std::string inside = make(inbox + "/already.txt");
    const std::string gone = outside + "/gone.txt";
    fs::create_directories(inbox + "/sub");
    // The folder that holds the file, the folder itself, a folder that holds it, a file
    // that is no longer there.
    const auto plan = FileOperations::planDrop(urlsOf({inside, inbox, env.root(), gone}), fileURL(inbox));
    EXPECT_TRUE(plan.items.empty());
    EXPECT_FALSE(plan.operation()) << "the source is told nothing was done";
    const DropOutcome outcome = drop({inside, inbox, env.root(), gone}, inbox);
    EXPECT_EQ(outcome.moved + outcome.copied, 0u);
    ASSERT_EQ(outcome.failed.size(), 4u);
    EXPECT_EQ(outcome.failed[0].second, "It is already in \u201cInbox\u201d.");
    EXPECT_EQ(outcome.failed[1].second, "A folder cannot be put into itself.");
    EXPECT_EQ(outcome.failed[2].second, "A folder cannot be put into itself.");
    EXPECT_EQ(outcome.failed[3].second, "It is no longer there.");
    EXPECT_TRUE(fs::exists(inside) && fs::is_directory(inbox + "/sub") && fs::exists(env.root()));
    EXPECT_EQ(entriesOf(inbox), (std::vector<std::string>{"already.txt", "sub"}));

    auto message = FileOperations::messageForDrop(outcome);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->text, "None of the 4 items could be put into \u201cInbox\u201d.");
    EXPECT_EQ(message->informativeText,
              "\u201calready.txt\u201d: It is already in \u201cInbox\u201d.\n"
              "\u201cInbox\u201d: A folder cannot be put into itself.\n"
              "\u201c" + fs::path(env.root()).filename().string() + "\u201d: A folder cannot be put into itself.\n"
              "... and 1 more.");
}

TEST_F(FolderDropTest, AFolderThatCannotBeWrittenTakesNothing) {
    std::string locked = env.root() + "/locked";
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    // The superuser writes anywhere it may: a read-only file system stands in for it.
    if (::access(locked.c_str(), W_OK) == 0) locked = "/proc/sys";
    if (::access(locked.c_str(), W_OK) == 0) GTEST_SKIP() << "no folder here refuses to be written to";
    const std::string a = make(outside + "/a.txt", "A"), b = make(outside + "/b.txt", "B");
    const DropOutcome outcome = drop({a, b}, locked);
    EXPECT_EQ(outcome.moved + outcome.copied, 0u);
    EXPECT_EQ(readFileOrEmpty(a), "A");
    EXPECT_EQ(readFileOrEmpty(b), "B");
    auto message = FileOperations::messageForDrop(outcome);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->text, "None of the 2 items could be put into " + desktop::quotedName(locked) + ".");
    EXPECT_EQ(message->informativeText, desktop::quotedName(locked) + " cannot be changed: you may not put files into it.")
        << "one reason, said once";
    fs::permissions(env.root() + "/locked", fs::perms::owner_all);
}

TEST_F(FolderDropTest, TenThousandFilesAreMovedInOneDrop) {
    std::vector<std::string> paths;
    for (int i = 0; i < 10000; ++i) paths.push_back(make(outside + "/f" + std::to_string(i), std::to_string(i)));
    make(inbox + "/f17", "already there");
    const DropOutcome outcome = drop(paths, inbox);
    EXPECT_EQ(outcome.moved, 10000u);
    EXPECT_TRUE(outcome.failed.empty());
    EXPECT_EQ(entriesOf(outside).size(), 0u);
    EXPECT_EQ(std::distance(fs::directory_iterator(inbox), fs::directory_iterator()), 10001);
    EXPECT_EQ(readFileOrEmpty(inbox + "/f9999"), "9999");
    EXPECT_EQ(readFileOrEmpty(inbox + "/f17 2"), "17");
}

TEST_F(FolderDropTest, SomeFailuresAmongSuccessesAreCountedAndNamed) {
    const std::string ok = make(outside + "/ok.txt");
    const DropOutcome outcome = drop({ok, outside + "/missing.txt"}, inbox);
    EXPECT_EQ(outcome.moved, 1u);
    auto message = FileOperations::messageForDrop(outcome);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->text, "\u201cmissing.txt\u201d could not be put into \u201cInbox\u201d.");
    DropOutcome many{inbox, 3, 0, {{"/a/x", "Why one."}, {"/a/y", "Why two."}}};
    message = FileOperations::messageForDrop(many);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->text, "2 of the 5 items could not be put into \u201cInbox\u201d.");
    EXPECT_EQ(message->informativeText, "\u201cx\u201d: Why one.\n\u201cy\u201d: Why two.");
}

}  // namespace
}  // namespace qs::test
