// Desktop entries: reading, matching running programs, Exec lines and default
// applications. Needs no display.
#include <chrono>
#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>

#include "platform/x11/DesktopEntry.h"
#include "support/TestEnvironment.h"

namespace qs::x11 {
namespace {

using ::testing::ElementsAre;

class DesktopEntryTest : public qs::test::IsolatedTest {
protected:
    std::string write(const std::string& name, const std::string& text) {
        std::string dir = env.dataHome() + "/applications";
        std::filesystem::create_directories(dir);
        std::string path = dir + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
    desktop::DesktopEntry entry(const std::string& exec) {
        desktop::DesktopEntry e;
        e.name = "Viewer";
        e.path = "/apps/viewer.desktop";
        e.icon = "viewer";
        e.exec = exec;
        return e;
    }
};

TEST_F(DesktopEntryTest, ExecFieldCodesAreExpandedWithoutAShell) {
    std::vector<std::string> files{"/tmp/a b.txt", "/tmp/c.txt"};
    EXPECT_THAT(expandExec(entry("viewer %f"), files), ElementsAre("viewer", "/tmp/a b.txt"));
    EXPECT_THAT(expandExec(entry("viewer %F"), files), ElementsAre("viewer", "/tmp/a b.txt", "/tmp/c.txt"));
    EXPECT_THAT(expandExec(entry("viewer %U --new"), {}), ElementsAre("viewer", "--new"));
    EXPECT_THAT(expandExec(entry("viewer %i --name=%c %k 100%%"), {}),
                ElementsAre("viewer", "--icon", "viewer", "--name=Viewer", "/apps/viewer.desktop", "100%"));
    // No file code: files are not passed. Deprecated codes are dropped.
    EXPECT_THAT(expandExec(entry("viewer %d"), files), ElementsAre("viewer"));
    // Quoting keeps spaces and escaped characters; a shell would see "$HOME" here.
    EXPECT_THAT(expandExec(entry(R"("/opt/my viewer/run" "say \"hi\"" "$HOME")"), {}),
                ElementsAre("/opt/my viewer/run", "say \"hi\"", "$HOME"));
    EXPECT_TRUE(expandExec(entry("viewer \"unterminated"), {}).empty());
    EXPECT_TRUE(env.logged("unterminated quote"));
}

TEST_F(DesktopEntryTest, BrokenEntriesAreSkippedWithALogLine) {
    auto bad = write("broken.desktop", "no group here\nName=Broken\n");
    EXPECT_FALSE(readDesktopEntry(bad));
    EXPECT_TRUE(env.logged("broken.desktop"));
    auto noExec = write("noexec.desktop", "[Desktop Entry]\nType=Application\nName=Nothing\n");
    EXPECT_FALSE(readDesktopEntry(noExec));
    auto link = write("link.desktop", "[Desktop Entry]\nType=Link\nName=Web\nURL=http://x\n");
    EXPECT_FALSE(readDesktopEntry(link));
}

TEST_F(DesktopEntryTest, AnApplicationInstalledAfterTheScanMakesTheIndexStale) {
    write("org.example.Viewer.desktop", "[Desktop Entry]\nType=Application\nName=Viewer\nExec=viewer\n");
    std::filesystem::create_directories(env.dataHome() + "/applications/sub");
    DesktopEntryIndex index;
    EXPECT_TRUE(index.stale());  // never scanned
    index.scan();
    EXPECT_FALSE(index.stale());
    // Folder times have a coarse grain on some file systems: move them back explicitly.
    auto past = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::filesystem::last_write_time(env.dataHome() + "/applications/sub", past);
    EXPECT_TRUE(index.stale());  // a change below an application folder
    index.scan();
    EXPECT_FALSE(index.stale());
    write("sub/probe.desktop", "[Desktop Entry]\nType=Application\nName=Probe\nExec=probe\nStartupWMClass=Probe\n");
    std::filesystem::last_write_time(env.dataHome() + "/applications/sub", past - std::chrono::hours(1));
    ASSERT_TRUE(index.stale());
    index.scan();
    EXPECT_EQ(index.match("", "probe", "Probe", "")->id, "sub-probe");
}

TEST_F(DesktopEntryTest, RunningProgramsAreMatchedToTheirEntries) {
    write("org.example.Viewer.desktop",
          "[Desktop Entry]\nType=Application\nName=Viewer\nExec=viewer %f\nStartupWMClass=ViewerMain\n"
          "MimeType=image/png;image/x-test;\n");
    write("org.example.Editor.desktop",
          "[Desktop Entry]\nType=Application\nName=Editor\nName[de]=Bearbeiter\nExec=/usr/bin/editor\n");
    std::filesystem::create_directories(env.dataHome() + "/applications/sub");
    write("sub/tool.desktop", "[Desktop Entry]\nType=Application\nName=Tool\nExec=tool\n");
    DesktopEntryIndex index;
    index.scan();
    EXPECT_EQ(index.match("", "viewer", "ViewerMain", "")->id, "org.example.Viewer");
    EXPECT_EQ(index.match("org.example.Editor", "", "", "")->id, "org.example.Editor");
    EXPECT_EQ(index.match("", "", "", "/usr/bin/editor")->id, "org.example.Editor");
    EXPECT_EQ(index.match("", "editor", "Editor", "")->id, "org.example.Editor");  // last part of the id
    EXPECT_EQ(index.byId("sub-tool")->name, "Tool");  // ids of subfolders join with "-"
    EXPECT_FALSE(index.match("", "unknown-program", "Unknown", "/opt/unknown"));

    EXPECT_EQ(index.defaultFor("image/x-test")->id, "org.example.Viewer");  // only candidate
    std::filesystem::create_directories(env.configHome());
    std::ofstream(env.configHome() + "/mimeapps.list")
        << "[Default Applications]\nimage/x-test=missing.desktop;org.example.Editor.desktop;\n";
    EXPECT_EQ(index.defaultFor("image/x-test")->id, "org.example.Editor");
}

}  // namespace
}  // namespace qs::x11
