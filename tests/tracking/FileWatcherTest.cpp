// The file watcher's report rules on simulated events, and the real inotify watch
// under it on private temporary folders.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/desktop/Desktop.h"
#include "platform/sim/SimBackend.h"
#include "platform/x11/FileManager.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/x11/InotifyWatch.h"
#include "support/TestEnvironment.h"
#include "tracking/FileWatcher.h"

namespace fs = std::filesystem;

namespace qs::test {
namespace {

using desktop::FileEvent;

void touch(const std::string& path) { std::ofstream(path) << "x"; }

struct Report {
    Dictionary changes;
    long code = -1;
};

class FileWatcherTest : public IsolatedTest {
protected:
    void SetUp() override {
        backend = sim::installSimBackend(false);
        folder = env.root() + "/watched";
        fs::create_directories(folder);
    }
    std::shared_ptr<FileWatcher> makeWatcher() {
        return FileWatcher::initWithBlock([this](Dictionary& changes, long code) {
            reports.push_back({changes, code});
            liveDictionary = &changes;
        });
    }
    // Delivers one batch through the simulated stream and lets it run.
    void deliver(const std::vector<FileEvent>& events) {
        backend.files->deliverEvents(events);
        env.loop().runPending();
    }
    sim::SimBackend backend;
    std::string folder;
    std::vector<Report> reports;
    Dictionary* liveDictionary = nullptr;
};

TEST_F(FileWatcherTest, ChangesOfHalfASecondAreReportedOnceWithTheFirstCode) {
    auto watcher = makeWatcher();
    watcher->openEventStream({folder}, 0.1);
    touch(folder + "/a.txt");
    touch(folder + "/b.txt");
    deliver({{folder + "/a.txt", desktop::FileEventItemCreated}});
    env.loop().advance(0.2);
    deliver({{folder + "/b.txt", desktop::FileEventItemRenamed}});
    EXPECT_TRUE(reports.empty()) << "nothing before half a second has passed";
    env.loop().advance(0.3);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].code, FileWatcher::kCreated);
    EXPECT_EQ(reports[0].changes.at(folder + "/a.txt").stringValue(), "created");
    EXPECT_EQ(reports[0].changes.at(folder + "/b.txt").stringValue(), "renamed");
    // The second batch's own report finds the dictionary empty.
    env.loop().advance(1.0);
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_TRUE(watcher->mDict().empty()) << "the live dictionary is emptied after the call";
    EXPECT_EQ(liveDictionary, &watcher->mDict());
}

TEST_F(FileWatcherTest, AFileCreatedThenDeletedIsReportedOnceAsRemoved) {
    auto watcher = makeWatcher();
    watcher->openEventStream({folder}, 0.1);
    // Created and gone before the batch is read: the path no longer exists.
    deliver({{folder + "/gone.txt", desktop::FileEventItemCreated},
             {folder + "/gone.txt", desktop::FileEventItemRemoved}});
    env.loop().advance(0.5);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].changes.size(), 1u);
    EXPECT_EQ(reports[0].code, FileWatcher::kRemoved);
}

TEST_F(FileWatcherTest, BookkeepingFilesAndUnflaggedEventsAreSkipped) {
    auto watcher = makeWatcher();
    watcher->openEventStream({folder}, 0.1);
    touch(folder + "/kept.txt");
    deliver({{folder + "/.DS_Store", desktop::FileEventItemCreated},
             {folder + "/x.sb-1234", desktop::FileEventItemCreated},
             {folder + "/doc~.tmp", desktop::FileEventItemCreated},
             {folder + "/kept.txt", desktop::FileEventItemModified}});
    env.loop().advance(1.0);
    EXPECT_TRUE(reports.empty());
}

TEST_F(FileWatcherTest, StatusCodesAndDictionaryHelpers) {
    EXPECT_EQ(FileWatcher::codeForStatus("removed"), 0);
    EXPECT_EQ(FileWatcher::codeForStatus("created"), 1);
    EXPECT_EQ(FileWatcher::codeForStatus("renamed"), 2);
    EXPECT_EQ(FileWatcher::codeForStatus("modified"), 4);
    EXPECT_TRUE(FileWatcher::_moreDictHandle({{"/a", Value("created")}, {"/b", Value("created")}}));
    EXPECT_FALSE(FileWatcher::_moreDictHandle({{"/a", Value("created")}, {"/b", Value("removed")}}));
    EXPECT_FALSE(FileWatcher::_moreDictHandle({}));
    EXPECT_EQ(FileWatcher::_getMoreOperationStatus({}), "");
}

TEST_F(FileWatcherTest, TheNewestWatcherTakesTheReportsOfAnOlderStream) {
    auto older = makeWatcher();
    older->openEventStream({folder}, 0.1);
    std::vector<Report> newer;
    auto newest = FileWatcher::initWithBlock([&](Dictionary& c, long code) { newer.push_back({c, code}); });
    touch(folder + "/n.txt");
    deliver({{folder + "/n.txt", desktop::FileEventItemCreated}});
    env.loop().advance(0.5);
    EXPECT_TRUE(reports.empty());
    ASSERT_EQ(newer.size(), 1u);
    EXPECT_EQ(newer[0].code, FileWatcher::kCreated);
}

TEST_F(FileWatcherTest, AReleasedWatcherClosesItsStream) {
    {
        auto watcher = makeWatcher();
        watcher->openEventStream({}, 0.1);
        ASSERT_EQ(backend.files->watchedPaths().back(), std::vector<std::string>{"/"}) << "no paths means the root";
        EXPECT_EQ(backend.files->liveWatchCount(), 1u);
        watcher->openEventStream({folder}, 0.1);
        EXPECT_EQ(backend.files->liveWatchCount(), 1u) << "reopening closes the earlier stream";
    }
    EXPECT_EQ(backend.files->liveWatchCount(), 0u);
}

// The real watch.

class InotifyWatchTest : public IsolatedTest {
protected:
    void SetUp() override {
        folder = env.root() + "/tree";
        fs::create_directories(folder + "/sub");
    }
    // Waits (real time, at most two seconds) until the batches hold `path`.
    bool waitFor(const std::string& path, int tries = 200) {
        for (int i = 0; i < tries; ++i) {
            env.loop().runPending();
            for (const auto& e : events)
                if (e.path == path) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    desktop::FileWatchHandler collect() {
        return [this](const std::vector<FileEvent>& batch) { events.insert(events.end(), batch.begin(), batch.end()); };
    }
    const FileEvent* find(const std::string& path) const {
        for (const auto& e : events)
            if (e.path == path) return &e;
        return nullptr;
    }
    std::string folder;
    std::vector<FileEvent> events;
};

TEST_F(InotifyWatchTest, ReportsCreationRemovalAndRenamingOfDirectEntries) {
    auto watch = x11::InotifyWatch::start({folder}, false, 0.0, collect());
    ASSERT_TRUE(watch);
    touch(folder + "/new.txt");
    ASSERT_TRUE(waitFor(folder + "/new.txt"));
    EXPECT_TRUE(find(folder + "/new.txt")->flags & desktop::FileEventItemCreated);
    fs::rename(folder + "/new.txt", folder + "/moved.txt");
    ASSERT_TRUE(waitFor(folder + "/moved.txt"));
    EXPECT_TRUE(find(folder + "/moved.txt")->flags & desktop::FileEventItemRenamed);
    fs::remove(folder + "/moved.txt");
    events.clear();
    ASSERT_TRUE(waitFor(folder + "/moved.txt"));
    EXPECT_TRUE(find(folder + "/moved.txt")->flags & desktop::FileEventItemRemoved);
    // Without subdirectories, a change inside one is not reported.
    events.clear();
    touch(folder + "/sub/deep.txt");
    EXPECT_FALSE(waitFor(folder + "/sub/deep.txt", 30));
}

TEST_F(InotifyWatchTest, TreesFollowFoldersMadeAfterTheStartAndSurviveLinkLoops) {
    fs::create_symlink(folder, folder + "/sub/loop");  // a loop back to the root
    auto watch = x11::InotifyWatch::start({folder}, true, 0.0, collect());
    ASSERT_TRUE(watch);
    // The tree scan runs on the watch's thread; give it a moment.
    for (int i = 0; i < 100 && watch->watchedFolderCount() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(watch->watchedFolderCount(), 2u) << "the link is not followed";
    touch(folder + "/sub/deep.txt");
    ASSERT_TRUE(waitFor(folder + "/sub/deep.txt"));
    fs::create_directories(folder + "/later");
    ASSERT_TRUE(waitFor(folder + "/later"));
    touch(folder + "/later/inside.txt");
    EXPECT_TRUE(waitFor(folder + "/later/inside.txt"));
}

TEST_F(InotifyWatchTest, NamesWithNewlinesAndInvalidUtf8PassThrough) {
    auto watch = x11::InotifyWatch::start({folder}, false, 0.0, collect());
    ASSERT_TRUE(watch);
    const std::string odd = folder + "/line\nbreak \xff\xfe.txt";
    touch(odd);
    EXPECT_TRUE(waitFor(odd));
}

TEST_F(InotifyWatchTest, NothingArrivesAfterTheWatchIsDestroyed) {
    auto watch = x11::InotifyWatch::start({folder}, false, 0.0, collect());
    ASSERT_TRUE(watch);
    touch(folder + "/late.txt");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the batch is posted
    watch.reset();
    env.loop().runPending();
    EXPECT_TRUE(events.empty());
}

TEST_F(InotifyWatchTest, MissingFoldersAndARemovedRootAreHandled) {
    EXPECT_FALSE(x11::InotifyWatch::start({env.root() + "/nowhere"}, false, 0.0, collect()));
    EXPECT_TRUE(env.logged("nowhere"));
    auto watch = x11::InotifyWatch::start({folder + "/sub", env.root() + "/nowhere"}, false, 0.0, collect());
    ASSERT_TRUE(watch) << "one watchable path is enough";
    fs::remove_all(folder + "/sub");
    ASSERT_TRUE(waitFor(folder + "/sub"));
    EXPECT_TRUE(find(folder + "/sub")->flags & desktop::FileEventRootChanged);
}

TEST_F(InotifyWatchTest, ChangesWithinTheLatencyAreDeliveredTogether) {
    int batches = 0;
    auto watch = x11::InotifyWatch::start({folder}, false, 0.3, [&](const std::vector<FileEvent>& b) {
        ++batches;
        events.insert(events.end(), b.begin(), b.end());
    });
    ASSERT_TRUE(watch);
    touch(folder + "/first.txt");
    ASSERT_TRUE(waitFor(folder + "/first.txt")) << "the first change goes out at once";
    EXPECT_EQ(batches, 1);
    for (int i = 0; i < 5; ++i) touch(folder + "/more" + std::to_string(i) + ".txt");
    ASSERT_TRUE(waitFor(folder + "/more4.txt"));
    EXPECT_EQ(batches, 2) << "later changes are collected into one batch";
}

// A dock of hundreds of folders: more watches than the 128 inotify descriptors a user may
// have by default, all on one descriptor; a folder watched twice keeps one kernel watch
// and tells both watches until the last goes.
TEST_F(InotifyWatchTest, WatchesShareOneDescriptorAndAFolderWatchedTwiceTellsBoth) {
    const size_t kernelBefore = x11::InotifyWatch::kernelWatchCount();
    std::vector<std::string> folders;
    std::vector<std::vector<std::string>> seen(301);
    std::vector<std::unique_ptr<x11::InotifyWatch>> watches;
    for (size_t i = 0; i < 300; ++i) {
        folders.push_back(env.root() + "/kept" + std::to_string(i));
        fs::create_directories(folders.back());
        watches.push_back(x11::InotifyWatch::start({folders.back()}, false, 0.0, [&seen, i](const std::vector<FileEvent>& b) {
            for (const auto& e : b) seen[i].push_back(e.path);
        }));
        ASSERT_TRUE(watches.back()) << "watch " << i;
    }
    auto twin = x11::InotifyWatch::start({folders[0]}, false, 0.0, [&](const std::vector<FileEvent>& b) {
        for (const auto& e : b) seen[300].push_back(e.path);
    });
    ASSERT_TRUE(twin);
    EXPECT_EQ(x11::InotifyWatch::sharedDescriptorCount(), 1u);
    EXPECT_EQ(x11::InotifyWatch::kernelWatchCount(), kernelBefore + 300);

    auto waitUntil = [&](auto condition) {
        for (int i = 0; i < 200 && !condition(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            env.loop().runPending();
        }
        return condition();
    };
    auto has = [&](size_t watch, const std::string& path) {
        return std::find(seen[watch].begin(), seen[watch].end(), path) != seen[watch].end();
    };
    touch(folders[0] + "/a.txt");
    touch(folders[299] + "/b.txt");
    EXPECT_TRUE(waitUntil([&] { return has(0, folders[0] + "/a.txt") && has(300, folders[0] + "/a.txt"); }));
    EXPECT_TRUE(waitUntil([&] { return has(299, folders[299] + "/b.txt"); }));
    EXPECT_TRUE(seen[1].empty());

    watches[0].reset();
    touch(folders[0] + "/c.txt");
    EXPECT_TRUE(waitUntil([&] { return has(300, folders[0] + "/c.txt"); })) << "the twin still hears the folder";
    EXPECT_FALSE(has(0, folders[0] + "/c.txt"));
    EXPECT_EQ(x11::InotifyWatch::kernelWatchCount(), kernelBefore + 300);
    twin.reset();
    EXPECT_EQ(x11::InotifyWatch::kernelWatchCount(), kernelBefore + 299);
    watches.clear();
    EXPECT_EQ(x11::InotifyWatch::kernelWatchCount(), kernelBefore);
}

TEST_F(InotifyWatchTest, TheFileWatcherReportsRealChanges) {
    desktop::Services services;
    services.files = std::make_shared<x11::FileManagerServices>();
    desktop::install(services);
    std::vector<Report> got;
    auto watcher = FileWatcher::initWithBlock([&](Dictionary& c, long code) { got.push_back({c, code}); });
    watcher->openEventStream({folder}, 0.0);
    ASSERT_TRUE(watcher->isOpen());
    for (int i = 0; i < 100 && got.empty(); ++i) {
        if (i == 10) touch(folder + "/sub/real.txt");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        env.loop().runPending();
        env.loop().advance(0.5);
    }
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].code, FileWatcher::kCreated);
    EXPECT_TRUE(got[0].changes.count(folder + "/sub/real.txt"));
    desktop::install({});
}

// An edit of the settings file while the program runs was overwritten by its next write;
// the desktop's folder watch now brings it in at once.
TEST_F(InotifyWatchTest, TheSettingsTakeInAnEditMadeOnDiskWhileTheProgramRuns) {
    desktop::Services services;
    services.files = std::make_shared<x11::FileManagerServices>();
    desktop::install(services);
    auto& defaults = UserDefaults::standardUserDefaults();
    defaults.setBool(true, "Tooltips");
    ASSERT_TRUE(defaults.synchronize());
    // Another program replaces the file, as editors and command-line tools do.
    const std::string edited = defaults.filePath() + ".new";
    std::ofstream(edited) << "<plist><dict><key>Tooltips</key><false/><key>added</key><integer>3</integer></dict></plist>";
    fs::rename(edited, defaults.filePath());
    for (int i = 0; i < 200 && defaults.boolForKey("Tooltips"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        env.loop().runPending();
        env.loop().advance(0.2);
    }
    EXPECT_FALSE(defaults.boolForKey("Tooltips"));
    EXPECT_EQ(defaults.integerForKey("added"), 3);
    desktop::install({});
}

}  // namespace
}  // namespace qs::test
