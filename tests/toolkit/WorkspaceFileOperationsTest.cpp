// The "Open With" menu, the information window and file sizes: the menu's rules against
// the sim desktop, the application lookups against a temporary XDG tree read by the X11
// workspace, and opening a file with an entry's Exec line.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <QCoreApplication>
#include <QImage>
#include <gmock/gmock.h>

#include "platform/desktop/Desktop.h"
#include "platform/desktop/UserMessages.h"
#include "platform/sim/SimBackend.h"
#include "platform/ui/Beep.h"
#include "platform/x11/DesktopEntry.h"
#include "platform/x11/X11Workspace.h"
#include "support/Files.h"
#include "support/TestEnvironment.h"
#include "toolkit/WorkspaceFileOperations.h"

namespace qs {
namespace {

namespace fs = std::filesystem;
using namespace NSWorkspace_FileOperations;
using ::testing::ElementsAre;

std::vector<std::string> titles(const Menu& menu) {
    std::vector<std::string> out;
    for (const auto& item : menu.items()) out.push_back(item->isSeparatorItem() ? "---" : item->title());
    return out;
}

void writeFile(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// The menu's rules, on the sim desktop ---------------------------------------------------

class OpenWithMenuTest : public test::IsolatedTest {
protected:
    void SetUp() override { sim = sim::installSimBackend(); }
    void TearDown() override { desktop::install({}); }

    MenuItem::Action action() {
        return {"openWithSelected:", [this](MenuItem& sender) { chosen.push_back(sender.toolTip()); }};
    }

    sim::SimBackend sim;
    std::vector<std::string> chosen;
    int view = 0;  // stands for the target view
};

TEST_F(OpenWithMenuTest, TheDefaultStandsFirstAndTheOthersFollowSortedByPath) {
    const std::string file = "/home/user/notes.txt";
    sim.desktop->setApplicationsForFile(file, "/x/b.desktop",
                                        std::vector<std::string>{"/x/Zed.desktop", "/x/apple.desktop", "/x/b.desktop"});
    sim.desktop->setIconless("/x/Zed.desktop");
    auto menu = openWithMenuForFile(file, &view, action());

    EXPECT_EQ(menu->title(), "Open With");
    EXPECT_THAT(titles(*menu), ElementsAre("b", "---", "apple", "Zed"));
    for (size_t i : {0u, 2u, 3u}) {
        const auto& item = menu->itemAtIndex(i);
        EXPECT_EQ(item->target(), &view);
        EXPECT_EQ(item->actionSelector(), "openWithSelected:");
        EXPECT_EQ(item->keyEquivalent(), "");
    }
    EXPECT_EQ(menu->itemAtIndex(0)->toolTip(), "/x/b.desktop");
    EXPECT_EQ(menu->itemAtIndex(2)->toolTip(), "/x/apple.desktop");
    ASSERT_TRUE(menu->itemAtIndex(0)->image());
    EXPECT_EQ(menu->itemAtIndex(0)->image()->size().width, 16);
    EXPECT_EQ(menu->itemAtIndex(0)->image()->size().height, 16);
    EXPECT_EQ(menu->itemAtIndex(2)->image()->size().width, 16);
    EXPECT_FALSE(menu->itemAtIndex(3)->image()) << "no icon from the workspace, none on the item";

    // Choosing an entry hands the action its tool tip: the callers open the file with it.
    EXPECT_TRUE(menu->performActionForItemAtIndex(2));
    EXPECT_THAT(chosen, ElementsAre("/x/apple.desktop"));
}

TEST_F(OpenWithMenuTest, NoneOnlyWhenNoListCouldBeHad) {
    const std::string file = "/home/user/blob.bin";
    sim.desktop->setApplicationsForFile(file, "/x/b.desktop", std::nullopt);
    auto menu = openWithMenuForFile(file, &view, action());
    EXPECT_THAT(titles(*menu), ElementsAre("b", "---", "None"));
    EXPECT_TRUE(menu->itemAtIndex(2)->action().isNull());
    EXPECT_FALSE(menu->isItemEnabled(*menu->itemAtIndex(2)));

    sim.desktop->setApplicationsForFile(file, "/x/b.desktop", std::vector<std::string>{"/x/b.desktop"});
    EXPECT_THAT(titles(*openWithMenuForFile(file, &view, action())), ElementsAre("b", "---"));

    sim.desktop->setApplicationsForFile(file, "/x/b.desktop", std::vector<std::string>{});
    EXPECT_THAT(titles(*openWithMenuForFile(file, &view, action())), ElementsAre("b", "---"));

    // No default application: no first item to show, and no separator under it.
    sim.desktop->setApplicationsForFile(file, std::nullopt, std::nullopt);
    EXPECT_THAT(titles(*openWithMenuForFile(file, &view, action())), ElementsAre("None"));
    sim.desktop->setApplicationsForFile(file, std::nullopt, std::vector<std::string>{"/x/a.desktop"});
    EXPECT_THAT(titles(*openWithMenuForFile(file, &view, action())), ElementsAre("a"));
}

TEST_F(OpenWithMenuTest, PathsSortCaseInsensitivelyByPathNotByName) {
    const std::string file = "/home/user/f.txt";
    sim.desktop->setApplicationsForFile(file, "/d/default.desktop",
                                        std::vector<std::string>{"/a/y.desktop", "/B/z.desktop", "/A/x.desktop",
                                                                 "/System/Applications/aaa.desktop",
                                                                 "/Applications/zzz.desktop"});
    auto menu = openWithMenuForFile(file, &view, action());
    std::vector<std::string> tips;
    for (size_t i = 2; i < menu->numberOfItems(); ++i) tips.push_back(menu->itemAtIndex(i)->toolTip());
    EXPECT_THAT(tips, ElementsAre("/A/x.desktop", "/a/y.desktop", "/Applications/zzz.desktop", "/B/z.desktop",
                                  "/System/Applications/aaa.desktop"));
}

TEST_F(OpenWithMenuTest, TheInformationWindowGetsThePathAsAnArgument) {
    int beeps = 0;
    setBeepHandler([&] { ++beeps; });
    EXPECT_FALSE(getInfoInFinderForFile(env.root() + "/missing"));
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(sim.files->calls().empty());

    EXPECT_TRUE(getInfoInFinderForFile(env.root()));
    // A name that would break out of a script's quotes runs nothing: it is only an argument.
    const std::string odd = env.root() + "/it's \"quoted\"\n$(touch " + env.root() + "/PWNED).txt";
    writeFile(odd, "x");
    EXPECT_TRUE(getInfoInFinderForFile(odd));
    EXPECT_THAT(sim.files->calls(),
                ElementsAre("showItemProperties " + env.root(), "showItemProperties " + odd));
    EXPECT_FALSE(fs::exists(env.root() + "/PWNED"));

    sim.files->setFileManagerAvailable(false);
    EXPECT_FALSE(getInfoInFinderForFile(env.root()));
    EXPECT_TRUE(env.logged("Error running AppleScript"));
    desktop::install({});
    EXPECT_FALSE(getInfoInFinderForFile(env.root()));
    EXPECT_EQ(beeps, 1);
    setBeepHandler(nullptr);
}

// Sizes ---------------------------------------------------------------------------------

TEST(FileSizes, HumanReadableUnitsAt1024) {
    EXPECT_EQ(fileSizeAsHumanReadableString(0), "0 bytes");
    EXPECT_EQ(fileSizeAsHumanReadableString(1023), "1023 bytes");
    EXPECT_EQ(fileSizeAsHumanReadableString(1024), "1 KB");
    EXPECT_EQ(fileSizeAsHumanReadableString(1048575), "1023 KB");
    EXPECT_EQ(fileSizeAsHumanReadableString(1048576), "1.0 MB");
    EXPECT_EQ(fileSizeAsHumanReadableString(1073741824ull), "1024.0 MB");
    EXPECT_EQ(fileSizeAsHumanReadableString(1073741825ull), "1.0 GB");
    EXPECT_EQ(fileSizeAsHumanReadableString(5ull << 40), "5120.0 GB");
}

uint64_t allocated(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return uint64_t(st.st_blocks) * 512u;
}

TEST(FileSizes, FilesFoldersAndLinks) {
    test::TestEnvironment env;
    const std::string root = env.root();
    EXPECT_EQ(fileOrFolderSize(root + "/missing"), 0u);
    EXPECT_EQ(fileOrFolderSize(""), 0u);
    writeFile(root + "/tree/a.bin", std::string(5000, 'a'));
    writeFile(root + "/tree/sub/b.bin", std::string(70000, 'b'));
    EXPECT_EQ(fileOrFolderSize(root + "/tree/a.bin"), 5000u);
    const uint64_t folder = allocated(root + "/tree/a.bin") + allocated(root + "/tree/sub/b.bin");
    EXPECT_EQ(fileOrFolderSize(root + "/tree"), folder);
    EXPECT_EQ(fileOrFolderSizeAsHumanReadable(root + "/tree/a.bin"), "4 KB");

    // A relative link is read from its own folder, whatever the working directory.
    fs::create_directories(root + "/links");
    fs::create_symlink("../tree/a.bin", root + "/links/to-file");
    fs::create_symlink("../tree", root + "/links/to-folder");
    fs::create_symlink("nowhere", root + "/links/dangling");
    EXPECT_EQ(fileOrFolderSize(root + "/links/to-file"), 5000u);
    EXPECT_EQ(fileOrFolderSize(root + "/links/to-folder"), folder);
    EXPECT_EQ(fileOrFolderSize(root + "/links/dangling"), 0u);
    // A link inside a folder is not followed when the folder is added up.
    EXPECT_EQ(nrCalculateFolderSize(root + "/links"), 0u);

    uint64_t size = 77;
    std::string error;
    EXPECT_FALSE(getAllocatedSize(&size, *URL::fileURLWithPath(root + "/missing"), &error));
    EXPECT_EQ(size, 77u);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(nrCalculateFolderSize(root + "/tree/a.bin"), 0u);
    EXPECT_TRUE(env.logLines().empty());
}

// The XDG lookups and opening ------------------------------------------------------------

class XdgApplicationsTest : public test::IsolatedTest {
protected:
    void SetUp() override {
        for (const char* var : {"XDG_DATA_DIRS", "XDG_CONFIG_DIRS", "XDG_CURRENT_DESKTOP"}) {
            const char* v = std::getenv(var);
            saved.emplace_back(var, v ? std::optional<std::string>(v) : std::nullopt);
        }
        sys1 = env.root() + "/sys1";
        sys2 = env.root() + "/sys2";
        etc = env.root() + "/etc-xdg";
        setenv("XDG_DATA_DIRS", (sys1 + ":" + sys2).c_str(), 1);
        setenv("XDG_CONFIG_DIRS", etc.c_str(), 1);
        setenv("XDG_CURRENT_DESKTOP", "Test:Other", 1);
        // The system's MIME database, without the system's applications.
        fs::create_directories(sys2);
        std::error_code ec;
        fs::create_directory_symlink("/usr/share/mime", sys2 + "/mime", ec);

        home = env.dataHome() + "/applications";
        entry(home + "/editor.desktop", "Editor", "text/plain;image/png;");
        entry(sys1 + "/applications/viewer.desktop", "Viewer", "text/plain;image/png;");
        entry(sys1 + "/applications/hexer.desktop", "Hexer", "application/octet-stream;");
        entry(sys1 + "/applications/added.desktop", "Added", "");
        entry(sys2 + "/applications/csrc.desktop", "C Tool", "text/x-csrc;");
        entry(sys2 + "/applications/removed.desktop", "Removed", "text/plain;");
        entry(sys2 + "/applications/nodisplay.desktop", "Helper", "text/plain;", "NoDisplay=true\n");
        writeFile(sys2 + "/applications/broken.desktop", "Name=No group\nExec=true\n");
        writeFile(sys1 + "/applications/mimeinfo.cache",
                  "[MIME Cache]\ntext/plain=viewer.desktop;removed.desktop;ghost.desktop;\n");
        writeFile(env.configHome() + "/mimeapps.list",
                  "[Default Applications]\n"
                  "text/plain=missing.desktop;viewer.desktop;\n"
                  "image/png=viewer.desktop\n"
                  "[Added Associations]\n"
                  "text/plain=added.desktop;\n"
                  "[Removed Associations]\n"
                  "text/plain=removed.desktop;\n");
        writeFile(env.configHome() + "/test-mimeapps.list", "[Default Applications]\nimage/png=editor.desktop;\n");
        // Malformed: a line without "=", an unclosed header, stray bytes.
        writeFile(sys2 + "/applications/mimeapps.list",
                  "this line is no key\n[Default Applications\n\x01\x02\xff\n[Added Associations]\n"
                  "text/x-csrc=csrc.desktop\n=no key\n");

        workspace = std::make_shared<x11::X11Workspace>(nullptr, nullptr);
        desktop::Services services;
        services.workspace = workspace;
        desktop::install(std::move(services));
    }
    void TearDown() override {
        desktop::install({});
        for (auto& [var, value] : saved) {
            if (value)
                setenv(var.c_str(), value->c_str(), 1);
            else
                unsetenv(var.c_str());
        }
    }

    void entry(const std::string& path, const std::string& name, const std::string& mime,
               const std::string& extra = "", const std::string& exec = "true") {
        writeFile(path, "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + "\nMimeType=" + mime +
                            "\n" + extra);
    }
    std::string file(const std::string& name, const std::string& text = "hello\n") {
        std::string path = env.root() + "/files/" + name;
        writeFile(path, text);
        return path;
    }
    std::vector<std::string> names(const std::vector<std::string>& paths) {
        std::vector<std::string> out;
        for (auto& p : paths) out.push_back(fs::path(p).stem().string());
        return out;
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    std::string sys1, sys2, etc, home;
    std::shared_ptr<x11::X11Workspace> workspace;
};

TEST_F(XdgApplicationsTest, TheUsersDefaultComesFirstThenEveryAssociationLessTheRemovedOnes) {
    const std::string notes = file("notes.txt");
    ASSERT_EQ(defaultApplicationForFile(notes), sys1 + "/applications/viewer.desktop");
    auto apps = applicationsForFile(notes);
    ASSERT_TRUE(apps);
    // The default, the added association, the cache, the entries' own lists, then the
    // applications of the ancestor type (application/octet-stream).
    EXPECT_THAT(names(*apps), ElementsAre("viewer", "added", "editor", "nodisplay", "hexer"));

    auto menu = openWithMenuForFile(notes, nullptr, {"openWithSelected:", [](MenuItem&) {}});
    EXPECT_THAT(titles(*menu), ElementsAre("Viewer", "---", "Editor", "Added", "Hexer", "Helper"));
    EXPECT_EQ(menu->itemAtIndex(0)->toolTip(), sys1 + "/applications/viewer.desktop");

    EXPECT_TRUE(env.logged("malformed line")) << "the broken mimeapps.list is told once";
}

TEST_F(XdgApplicationsTest, AnExplicitDefaultOfAnAncestorTypeBeatsTheAssociationsOfTheType) {
    const std::string source = file("main.c", "int main(void) { return 0; }\n");
    EXPECT_EQ(defaultApplicationForFile(source), sys1 + "/applications/viewer.desktop");
    auto apps = applicationsForFile(source);
    ASSERT_TRUE(apps);
    EXPECT_THAT(names(*apps), ElementsAre("viewer", "csrc", "added", "editor", "nodisplay", "hexer"));
}

TEST_F(XdgApplicationsTest, ADesktopsOwnListComesBeforeTheCommonOne) {
    const std::string picture = env.root() + "/files/pic.png";
    fs::create_directories(env.root() + "/files");
    QImage image(4, 4, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(QString::fromStdString(picture), "PNG"));
    EXPECT_EQ(defaultApplicationForFile(picture), home + "/editor.desktop");
    auto lists = x11::mimeAppsLists();
    ASSERT_GE(lists.size(), 3u);
    EXPECT_EQ(lists[0], env.configHome() + "/test-mimeapps.list");
    EXPECT_EQ(lists[1], env.configHome() + "/other-mimeapps.list");
    EXPECT_EQ(lists[2], env.configHome() + "/mimeapps.list");
    EXPECT_NE(std::find(lists.begin(), lists.end(), etc + "/mimeapps.list"), lists.end());
    EXPECT_EQ(lists.back(), sys2 + "/applications/mimeapps.list");
}

TEST_F(XdgApplicationsTest, AFileNoApplicationOpensOrThatIsMissingGetsNone) {
    const std::string folder = env.root() + "/files/folder";
    fs::create_directories(folder);
    EXPECT_FALSE(applicationsForFile(folder));
    EXPECT_FALSE(defaultApplicationForFile(folder));
    EXPECT_THAT(titles(*openWithMenuForFile(folder, nullptr, {})), ElementsAre("None"));
    EXPECT_THAT(titles(*openWithMenuForFile(env.root() + "/nothing.txt", nullptr, {})), ElementsAre("None"));
    EXPECT_THAT(titles(*openWithMenuForFile("", nullptr, {})), ElementsAre("None"));
}

TEST_F(XdgApplicationsTest, WhyNothingOpenedIsNotedForTheUser) {
    desktop::takeFailureReason();
    const std::string folder = env.root() + "/files/folder";
    fs::create_directories(folder);
    EXPECT_FALSE(workspace->openFile(folder));
    EXPECT_EQ(desktop::takeFailureReason(), "No file manager on this desktop opens folders.");
    EXPECT_FALSE(workspace->openFile(file("notes.txt"), "no-such-editor"));
    EXPECT_EQ(desktop::takeFailureReason(), "The application \u201cno-such-editor\u201d is not installed on this desktop.");
    EXPECT_FALSE(workspace->launchApplication(env.root() + "/gone.desktop"));
    EXPECT_EQ(desktop::takeFailureReason(), "The application is not installed on this desktop any more.");
    auto page = URL::URLWithString("qs-journey-nothing://page");
    ASSERT_TRUE(page);
    EXPECT_FALSE(workspace->openURL(*page));
    EXPECT_NE(desktop::takeFailureReason().find("qs-journey-nothing addresses"), std::string::npos);
    // A success notes nothing.
    EXPECT_TRUE(workspace->openFile(file("seen.txt")));
    EXPECT_EQ(desktop::takeFailureReason(), "");
}

TEST(SpawnDetached, TheEndOfAWatchedProgramIsToldWithItsStatus) {
    std::vector<int> ends;
    auto watch = [&](int status) { ends.push_back(status); };
    ASSERT_TRUE(x11::X11Workspace::spawnDetached({"sh", "-c", "exit 3"}, "", watch));
    ASSERT_TRUE(x11::X11Workspace::spawnDetached({"true"}, "", watch));
    ASSERT_TRUE(x11::X11Workspace::spawnDetached({"sh", "-c", "kill -TERM $$"}, "", watch));
    EXPECT_TRUE(ends.empty()) << "never inside the call";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (ends.size() < 3 && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::sort(ends.begin(), ends.end());
    EXPECT_EQ(ends, (std::vector<int>{0, 3, 128 + SIGTERM}));
    // A program that cannot start is told at once, and never watched.
    EXPECT_FALSE(x11::X11Workspace::spawnDetached({"/nonexistent/program"}, "", watch));
}

TEST_F(XdgApplicationsTest, ChoosingAnApplicationRunsItsExecWithTheNameAsOneArgument) {
    // The program writes each argument it was given, NUL-terminated.
    const std::string recorder = env.root() + "/recorder.sh";
    writeFile(recorder, "#!/bin/sh\nout=\"$(dirname \"$0\")/received\"\nprintf '%s\\0' \"$@\" > \"$out.tmp\"\n"
                        "mv \"$out.tmp\" \"$out\"\n");
    fs::permissions(recorder, fs::perms::owner_all);
    entry(home + "/recorder.desktop", "Recorder", "text/plain;", "", recorder + " %f");
    entry(home + "/urirecorder.desktop", "URI Recorder", "text/plain;", "", recorder + " %u");
    workspace = std::make_shared<x11::X11Workspace>(nullptr, nullptr);  // a fresh index
    desktop::Services services;
    services.workspace = workspace;
    desktop::install(std::move(services));

    auto received = [&]() -> std::optional<std::string> {
        const std::string out = env.root() + "/received";
        // The program is started in the background: a loaded machine may take seconds.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!fs::exists(out) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        auto bytes = test::readFile(out);
        fs::remove(out);
        return bytes;
    };

    const std::string odd = file("it's \"quoted\"\n$(touch PWNED) `touch PWNED2`.txt");
    auto menu = openWithMenuForFile(odd, nullptr, {"openWithSelected:", [&](MenuItem& sender) {
                                                      // As the popovers' entries do.
                                                      desktop::services().workspace->openFile(odd, sender.toolTip());
                                                  }});
    long index = menu->indexOfItemWithTitle("Recorder");
    ASSERT_GE(index, 0);
    EXPECT_TRUE(menu->performActionForItemAtIndex(size_t(index)));
    EXPECT_EQ(received(), odd + std::string(1, '\0'));
    EXPECT_FALSE(fs::exists(env.root() + "/files/PWNED"));
    EXPECT_FALSE(fs::exists("PWNED"));
    EXPECT_FALSE(fs::exists("PWNED2"));

    // A name that is not UTF-8 reaches the program byte for byte, as a path or as a URI.
    const std::string raw = file("raw-\xff\xfe.txt");
    EXPECT_TRUE(workspace->openFile(raw, home + "/recorder.desktop"));
    EXPECT_EQ(received(), raw + std::string(1, '\0'));
    EXPECT_TRUE(workspace->openFile(raw, home + "/urirecorder.desktop"));
    EXPECT_EQ(received(), "file://" + env.root() + "/files/raw-%FF%FE.txt" + std::string(1, '\0'));

    // A program that is not there: NO and a log line, no crash.
    entry(home + "/gone.desktop", "Gone", "text/plain;", "", env.root() + "/no-such-program %f");
    EXPECT_FALSE(workspace->run(*x11::readDesktopEntry(home + "/gone.desktop"), {odd}));
    EXPECT_TRUE(env.logged("did not start"));
}

TEST_F(XdgApplicationsTest, ANameThatIsNotUtf8IsLookedUpAndToldOnce) {
    const std::string raw = file("odd-\xff.txt");
    auto menu = openWithMenuForFile(raw, nullptr, {"openWithSelected:", [](MenuItem&) {}});
    EXPECT_EQ(menu->itemAtIndex(0)->title(), "Viewer");
    EXPECT_TRUE(env.logged("is not valid UTF-8"));
}

}  // namespace
}  // namespace qs
