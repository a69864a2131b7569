// The grouping of windows into applications: which desktop entry a window maps to, the
// identity of windows without one, and how the grouping keeps identifiers, follows
// processes and classes across refreshes, and asks for identities only when needed.

#include <gtest/gtest.h>

#include <unistd.h>

#include "platform/desktop/ApplicationGroups.h"

namespace qs::desktop {
namespace {

DesktopEntry entry(const std::string& id, const std::string& exec, const std::string& wmClass = "",
                   bool terminal = false) {
    DesktopEntry e;
    e.id = id;
    e.path = "/usr/share/applications/" + id + ".desktop";
    e.name = id + " app";
    e.exec = exec;
    e.startupWMClass = wmClass;
    e.terminal = terminal;
    return e;
}

std::string idOf(const std::optional<DesktopEntry>& e) { return e ? e->id : "none"; }

TEST(ApplicationGroupsTest, AWindowMapsToTheEntryByApplicationIdThenClassThenExecutable) {
    const std::vector<DesktopEntry> entries{
        entry("debian-xterm", "xterm", "XTerm"),
        entry("org.gnome.Terminal", "gnome-terminal"),
        entry("vim", "vim", "", true),
        entry("org.example.Viewer", "/opt/viewer/bin/viewer --new"),
    };
    // The application id the window names wins over everything else.
    EXPECT_EQ(idOf(matchDesktopEntry(entries, "org.gnome.Terminal", "xterm", "XTerm", "/usr/bin/xterm")),
              "org.gnome.Terminal");
    // An application id that names no entry falls through to the class.
    EXPECT_EQ(idOf(matchDesktopEntry(entries, "org.unknown", "xterm", "XTerm", "")), "debian-xterm");
    // StartupWMClass matches the class exactly, then the instance.
    EXPECT_EQ(idOf(matchDesktopEntry(entries, "", "XTerm", "Other", "")), "debian-xterm");
    EXPECT_EQ(idOf(matchDesktopEntry(entries, "", "x", "xterm", "")), "none");
    // The desktop-file id, ignoring case, also its last dotted part.
    EXPECT_EQ(idOf(matchDesktopEntry(entries, "", "gnome-terminal-server", "Org.Gnome.Terminal", "")),
              "org.gnome.Terminal");
    EXPECT_EQ(idOf(matchDesktopEntry(entries, "", "viewer", "Viewer", "")), "org.example.Viewer");
    // Then the executable against the Exec program, by its name.
    EXPECT_EQ(idOf(matchDesktopEntry(entries, "", "", "", "/usr/local/bin/gnome-terminal")), "org.gnome.Terminal");
    EXPECT_EQ(idOf(matchDesktopEntry(entries, "", "v", "V", "/opt/viewer/bin/viewer")), "org.example.Viewer");
    // A program run in a terminal never owns windows of its own: no match by executable.
    EXPECT_EQ(idOf(matchDesktopEntry(entries, "", "", "", "/usr/bin/vim")), "none");
    EXPECT_EQ(idOf(matchDesktopEntry(entries, "", "", "", "")), "none");
}

TEST(ApplicationGroupsTest, WindowsWithoutAnEntryAreTheirClassElseTheirProcessAndThisProgramIsItself) {
    const Pid self = Pid(::getpid());
    WindowOwner w;
    w.window = 7;
    w.process = 400;
    w.wmInstance = "xclock";
    w.wmClass = "XClock";
    auto byClass = identityOf(w, std::nullopt, "/usr/bin/xclock", self);
    EXPECT_EQ(byClass.name, "XClock");
    EXPECT_FALSE(byClass.entry);
    // Class and instance both tell: another instance of the class is another application.
    WindowOwner other = w;
    other.wmInstance = "clock2";
    EXPECT_NE(identityOf(other, std::nullopt, "", self).key, byClass.key);
    EXPECT_EQ(identityOf(w, entry("xclock", "xclock"), "", self).key, "entry:xclock");

    WindowOwner bare;
    bare.window = 8;
    bare.process = 401;
    auto byProcess = identityOf(bare, std::nullopt, "/usr/bin/some-tool", self);
    EXPECT_EQ(byProcess.name, "some-tool");
    bare.process = 402;
    EXPECT_NE(identityOf(bare, std::nullopt, "", self).key, byProcess.key);
    bare.process = -1;
    EXPECT_EQ(identityOf(bare, std::nullopt, "", self).key, "window:8");

    WindowOwner mine = w;
    mine.process = self;
    EXPECT_EQ(identityOf(mine, entry("xclock", "xclock"), "", self).key, "self");
}

// A grouping by class alone, counting the identities asked for.
struct Grouping {
    int asked = 0;
    ApplicationGroups groups{[this](const WindowOwner& o) {
        ++asked;
        return identityOf(o, std::nullopt, "", -1);
    }};
};

WindowOwner window(WindowNumber number, Pid process, std::string_view wmClass, bool regular = true) {
    WindowOwner w;
    w.window = number;
    w.process = process;
    w.wmClass = wmClass;
    w.wmInstance = "i";
    w.regular = regular;
    return w;
}

TEST(ApplicationGroupsTest, AnApplicationKeepsItsIdentifierWhileAnyOfItsProcessesHasAWindow) {
    Grouping g;
    auto changes = g.groups.update({window(1, 100, "Term"), window(2, 200, "Clock")});
    ASSERT_EQ(changes.started, (std::vector<Pid>{100, 200}));
    EXPECT_EQ(g.groups.applicationOf(1), 100);
    EXPECT_EQ(g.groups.applicationOf(2), 200);

    // A second process of the same class joins; the order is front to back.
    changes = g.groups.update({window(3, 300, "Term"), window(1, 100, "Term"), window(2, 200, "Clock")});
    EXPECT_TRUE(changes.started.empty());
    EXPECT_EQ(changes.changed, (std::vector<Pid>{100}));
    const auto* term = g.groups.application(100);
    ASSERT_TRUE(term);
    EXPECT_EQ(term->windows, (std::vector<WindowNumber>{3, 1}));
    EXPECT_EQ(term->processes, (std::vector<Pid>{100, 300}));

    // The first process quits: the application goes on under its identifier.
    changes = g.groups.update({window(3, 300, "Term"), window(2, 200, "Clock")});
    EXPECT_TRUE(changes.ended.empty());
    EXPECT_EQ(changes.changed, (std::vector<Pid>{100}));
    EXPECT_EQ(g.groups.application(100)->processes, (std::vector<Pid>{300}));
    EXPECT_EQ(g.groups.application(100)->founder, 100);

    // A new process that got the first one's identifier starts another application: it
    // takes a number no process can have.
    changes = g.groups.update({window(4, 100, "Editor"), window(3, 300, "Term"), window(2, 200, "Clock")});
    ASSERT_EQ(changes.started.size(), 1u);
    const Pid editor = changes.started[0];
    EXPECT_GE(editor, ApplicationGroups::kFirstSpareIdentifier);
    EXPECT_EQ(g.groups.application(editor)->processes, (std::vector<Pid>{100}));

    // The last window goes: the application ends, and its identifier is free again.
    changes = g.groups.update({window(4, 100, "Editor"), window(2, 200, "Clock")});
    EXPECT_EQ(changes.ended, (std::vector<Pid>{100}));
    EXPECT_FALSE(g.groups.application(100));
    changes = g.groups.update({window(5, 100, "Viewer"), window(4, 100, "Editor"), window(2, 200, "Clock")});
    EXPECT_EQ(changes.started, (std::vector<Pid>{100}));
    // The application started first is listed first.
    auto all = g.groups.applications();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0]->id, 200);
    EXPECT_EQ(all[1]->id, editor);
    EXPECT_EQ(all[2]->id, 100);
    EXPECT_LT(all[1]->serial, all[2]->serial);
}

TEST(ApplicationGroupsTest, AWindowWhoseClassChangesMovesToAnotherApplication) {
    Grouping g;
    g.groups.update({window(1, 100, "Splash"), window(2, 100, "Main")});
    EXPECT_TRUE(g.groups.windowsMoved().empty());
    ASSERT_NE(g.groups.applicationOf(1), g.groups.applicationOf(2));
    const Pid splash = g.groups.applicationOf(1), main = g.groups.applicationOf(2);
    auto changes = g.groups.update({window(1, 100, "Main"), window(2, 100, "Main")});
    EXPECT_EQ(g.groups.applicationOf(1), main);
    EXPECT_EQ(g.groups.windowsMoved(), (std::vector<std::pair<WindowNumber, Pid>>{{1, splash}}));
    EXPECT_EQ(changes.ended, (std::vector<Pid>{splash}));
    EXPECT_EQ(g.groups.application(main)->windows, (std::vector<WindowNumber>{1, 2}));
    g.groups.update({window(1, 100, "Main"), window(2, 100, "Main")});
    EXPECT_TRUE(g.groups.windowsMoved().empty());
}

TEST(ApplicationGroupsTest, OnlyRegularWindowsMakeARegularApplication) {
    Grouping g;
    g.groups.update({window(1, 100, "Tool", false)});
    EXPECT_FALSE(g.groups.application(100)->regular);
    auto changes = g.groups.update({window(2, 100, "Tool", true), window(1, 100, "Tool", false)});
    EXPECT_EQ(changes.changed, (std::vector<Pid>{100}));
    EXPECT_TRUE(g.groups.application(100)->regular);
}

TEST(ApplicationGroupsTest, FiveHundredWindowsOfOneClassAreOneApplicationAndAreIdentifiedOnce) {
    Grouping g;
    std::vector<WindowOwner> burst;
    for (WindowNumber n = 1; n <= 500; ++n) burst.push_back(window(n, Pid(1000 + n % 7), "Burst"));
    auto changes = g.groups.update(burst);
    EXPECT_EQ(changes.started.size(), 1u);
    EXPECT_EQ(g.asked, 500);
    EXPECT_EQ(g.groups.applications().size(), 1u);
    EXPECT_EQ(g.groups.applications()[0]->windows.size(), 500u);
    EXPECT_EQ(g.groups.applications()[0]->processes.size(), 7u);
    // Refreshes that change nothing ask for nothing; a changed window is asked again.
    g.groups.update(burst);
    EXPECT_EQ(g.asked, 500);
    burst[10].wmClass = "Other";
    g.groups.update(burst);
    EXPECT_EQ(g.asked, 501);
    EXPECT_EQ(g.groups.applications().size(), 2u);
    // All closed at once: both end.
    changes = g.groups.update({});
    EXPECT_EQ(changes.ended.size(), 2u);
    EXPECT_TRUE(g.groups.applications().empty());
    // Identities are asked again once forgotten (the installed entries changed).
    g.groups.update({window(1, 5, "A")});
    g.groups.forgetIdentities();
    g.groups.update({window(1, 5, "A")});
    EXPECT_EQ(g.asked, 503);
}

TEST(ApplicationGroupsTest, AProcessWithoutAWindowIsAnApplicationOnlyWhenItStandsForOne) {
    Grouping g;
    // Windowless members (a launched application before its first window) are grouped
    // like windows, but own none.
    WindowOwner launched;
    launched.process = 600;
    launched.wmClass = "Mail";
    launched.wmInstance = "i";
    auto changes = g.groups.update({launched, window(1, 601, "Mail")});
    EXPECT_EQ(changes.started, (std::vector<Pid>{600}));
    EXPECT_EQ(g.groups.application(600)->windows, (std::vector<WindowNumber>{1}));
    EXPECT_EQ(g.groups.application(600)->processes, (std::vector<Pid>{600, 601}));
    EXPECT_EQ(g.groups.applicationOf(0), -1);
}

}  // namespace
}  // namespace qs::desktop
