// Applications as a Linux user knows them: two xterms are one item whose preview shows
// both windows and whose "Quit App" closes both; "New Window" on xterm opens another
// xterm window; the start menu of a fresh home shows names, not raw desktop ids, and
// choosing an application that is not installed says so; an application whose desktop
// entry names an icon the theme lacks shows the icon its windows give, and one that is not
// installed the generic icon.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "journeys/Journey.h"

namespace qs::journey {
namespace {

constexpr QRgb kFirstColour = 0xffa8e0c0;
constexpr QRgb kSecondColour = 0xffe0c0a8;

class ApplicationJourneys : public JourneyTest {
protected:
    static void SetUpTestSuite() { startDock(); }
    void TearDown() override {
        // Windows the dock opened ("New Window") are no client of the journey's: they go
        // too.
        if (XSession::shared()) {
            for (pid_t pid : xtermsNotStarted()) ::kill(pid, SIGTERM);
            waitUntil("the dock's own xterms to end", [&] { return xtermsNotStarted().empty(); });
        }
        JourneyTest::TearDown();
    }

    Launched terminal(QRgb background, int x, const std::vector<std::string>& more = {}) {
        std::vector<std::string> argv{"xterm", "-bg", hexColour(background), "-fg", "black", "-geometry",
                                      "40x8+" + std::to_string(x) + "+150"};
        argv.insert(argv.end(), more.begin(), more.end());
        return launch(argv);
    }
    // The processes of the viewable xterm windows (class XTerm).
    std::set<pid_t> xterms() {
        std::set<pid_t> out;
        for (const auto& w : x().stacking()) {
            const std::string cls = x().text(w.client, "WM_CLASS");
            if (w.viewable && w.pid && cls.find("XTerm") != std::string::npos) out.insert(pid_t(w.pid));
        }
        return out;
    }
    std::set<pid_t> xtermsNotStarted() {
        std::set<pid_t> out;
        for (pid_t pid : xterms())
            if (!started.count(pid)) out.insert(pid);
        return out;
    }
    // Opens the context menu of a cell and chooses its row `rows` down (the first row
    // with 1) or `rows` up from the end (the last with -1) with the keyboard.
    ::testing::AssertionResult chooseFromMenu(int cell, int rows) {
        x().click(dock().cell(cell).centre(), 3);
        auto menu = waitForPopup();
        if (!menu) return ::testing::AssertionFailure() << "no context menu";
        for (int i = 0; i < std::abs(rows); ++i) x().key(rows > 0 ? XK_Down : XK_Up);
        x().key(XK_Return);
        return waitUntil("the menu to close", [&] { return !x().isViewable(menu->window); });
    }
    Launched launchTracked(QRgb background, int at, const std::vector<std::string>& more = {}) {
        Launched app = terminal(background, at, more);
        started.insert(app.pid);
        return app;
    }

    std::set<pid_t> started;
};

TEST_F(ApplicationJourneys, TwoXtermsAreOneItemWhosePreviewShowsBothAndQuitAppClosesBoth) {
    const int cells = dock().cellCount();
    const Launched first = launchTracked(kFirstColour, 100);
    ASSERT_GE(first.cell, 0);
    // A second xterm process: no second cell.
    const pid_t second = clients.start({"xterm", "-bg", hexColour(kSecondColour), "-fg", "black", "-geometry",
                                        "40x8+700+150"});
    started.insert(second);
    ASSERT_NE(clients.waitForWindow(second), xcb_window_t(XCB_WINDOW_NONE));
    EXPECT_TRUE(holdsFor("one cell for both xterms", [&] { return dock().panelReady(cells + 1); }, 1500));

    // Its preview shows both windows.
    auto bothShown = [&] {
        x().move(parkingSpot());
        auto preview = hoverUntilPreview(first.cell);
        if (!preview) return ::testing::AssertionFailure() << "no preview";
        const QImage pixels = steadyPixels(preview->rect);
        const int one = countPixels(pixels, [](QRgb p) { return nearColour(p, kFirstColour); });
        const int two = countPixels(pixels, [](QRgb p) { return nearColour(p, kSecondColour); });
        if (one > 200 && two > 200) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << one << " pixels of the first xterm and " << two
                                             << " of the second in the preview";
    };
    EXPECT_TRUE(waitUntil("a preview of both xterms", bothShown));
    ASSERT_TRUE(settle());

    // "Quit App" (the menu's last row) closes both; the cell goes.
    ASSERT_TRUE(chooseFromMenu(first.cell, -1));
    EXPECT_TRUE(waitUntil("both xterms to close", [&] {
        return x().clientOfProcess(first.pid) == XCB_WINDOW_NONE && x().clientOfProcess(second) == XCB_WINDOW_NONE;
    }));
    EXPECT_TRUE(waitUntil("the cell to go", [&] { return dock().panelReady(cells); }));
}

TEST_F(ApplicationJourneys, NewWindowOnXtermOpensAnotherXtermWindow) {
    const int cells = dock().cellCount();
    const Launched term = launchTracked(kFirstColour, 100);
    ASSERT_GE(term.cell, 0);
    ASSERT_EQ(xterms().size(), 1u);
    // "New Window" is the menu's first row.
    ASSERT_TRUE(chooseFromMenu(term.cell, 1));
    EXPECT_TRUE(waitUntil("a second xterm window", [&] { return xterms().size() == 2; }));
    EXPECT_TRUE(holdsFor("one cell for both xterms", [&] { return dock().panelReady(cells + 1); }, 1000));
    // The first xterm had nothing typed into it: it is still the only window of its process.
    EXPECT_EQ(x().windowsOf(term.pid).size(), 1u);
}

TEST_F(ApplicationJourneys, TheStartMenuOfAFreshHomeShowsNamesAndSaysWhatIsNotInstalled) {
    x().click(dock().cell(0).centre(), 1);
    auto menu = waitForPopup();
    ASSERT_TRUE(menu);
    QImage shown;
    // The user's entries are the left list; its rows' names are the lines of ink right of
    // their icons (24-pixel pictures at the list's left edge).
    const int listRight = menu->rect.width * 2 / 5, textLeft = 40;
    struct Row {
        int top = 0, bottom = 0;
        int textWidth = 0;
    };
    std::vector<Row> rows;
    // The menu draws its rows as their entries and icons are read: looked at until the
    // five are there with their icons (the checks below say what is missing if not).
    auto scan = [&] {
        shown = steadyPixels(menu->rect);
        rows.clear();
        const QRgb background = shown.pixel(listRight / 2, shown.height() - 70);
        auto inked = [&](int x, int y) { return !nearColour(shown.pixel(x, y), background, 40); };
        for (int y = 10; y < shown.height() - 60; ++y) {
            int first = -1, last = -1;
            for (int x = textLeft; x < listRight; ++x)
                if (inked(x, y)) {
                    first = first < 0 ? x : first;
                    last = x;
                }
            if (first < 0) continue;
            if (rows.empty() || y > rows.back().bottom + 1) rows.push_back({y, y, 0});
            rows.back().bottom = y;
            rows.back().textWidth = std::max(rows.back().textWidth, last - textLeft + 1);
        }
        if (rows.size() != 5) return false;
        for (const auto& row : rows)
            if (distinctColours(shown.copy(12, row.top, textLeft - 14, row.bottom - row.top + 1)) < 3) return false;
        return true;
    };
    waitUntil("the start menu's five rows with their icons", scan);
    // The home folder, the applications folder, and a calculator, a calendar and a
    // contacts application (installed or not): five rows, each with an icon and a name.
    ASSERT_EQ(rows.size(), 5u) << screenshot();
    for (const auto& row : rows) {
        const Rect iconArea{12, row.top, textLeft - 14, row.bottom - row.top + 1};
        EXPECT_GE(distinctColours(shown.copy(iconArea.x, iconArea.y, iconArea.width, iconArea.height)), 3)
            << "a blank icon at row " << row.top << "; " << screenshot();
    }
    // The home folder's name ("quayside-journey-" and six letters) is long; an
    // application's name is short, a raw desktop id ("org.gnome.Calculator.desktop") is
    // longer than the home's.
    for (size_t i = 2; i < rows.size(); ++i)
        EXPECT_LT(rows[i].textWidth * 10, rows[0].textWidth * 7)
            << "row " << i << " reads like a raw id; " << screenshot();

    // Choosing an application this machine lacks (the calendar, unless one is installed)
    // tells so in a window of the dock.
    const auto before = dock().windows();
    x().move({menu->rect.x + listRight / 2, menu->rect.y + (rows[3].top + rows[3].bottom) / 2});
    x().click({menu->rect.x + listRight / 2, menu->rect.y + (rows[3].top + rows[3].bottom) / 2});
    if (std::filesystem::exists("/usr/share/applications/org.gnome.Calendar.desktop")) return;
    std::optional<TopLevel> message;
    EXPECT_TRUE(waitUntil("a message that the calendar is not installed", [&] {
        for (const auto& w : dock().windows())
            if (!w.overrideRedirect && !w.hasType("DOCK") &&
                std::none_of(before.begin(), before.end(), [&](const TopLevel& b) { return b.window == w.window; }))
                message = w;
        return message.has_value();
    }));
    if (message) {
        EXPECT_EQ(x().text(message->client, "_NET_WM_NAME"), "Quayside");
        x().key(XK_Return);
        EXPECT_TRUE(waitUntil("the message to close", [&] { return !x().isViewable(message->window); }));
    }
}

// A desktop entry for xterms of a class of their own, with a long name (its tooltip tells
// that the entry was matched) and an icon no theme has; and, kept in the dock, an
// application that is not installed (its cell shows the generic application icon).
constexpr const char* kEntryName = "Journey Terminal Of A Class Of Its Own";
constexpr const char* kEntryClass = "QsJT";
constexpr const char* kNotInstalled = "/usr/share/applications/org.quayside.JourneyNotInstalled.desktop";

class IconJourneys : public JourneyTest {
protected:
    // Tooltips rather than previews on running applications.
    static void SetUpTestSuite() {
        startDock({.settings = {{"WindowPreview", Value(false)}}, .storedFiles = {kNotInstalled}});
        if (!XSession::shared() || !std::getenv("QUAYSIDE_BINARY")) return;
        const std::string folder = dock().home() + "/data/applications";
        std::filesystem::create_directories(folder);
        std::ofstream(folder + "/qs-journey-term.desktop")
            << "[Desktop Entry]\nType=Application\nName=" << kEntryName << "\nExec=xterm -class " << kEntryClass
            << "\nStartupWMClass=" << kEntryClass << "\nIcon=qs-journey-no-such-icon\n";
        entryWritten = std::chrono::steady_clock::now();
    }
    static inline std::chrono::steady_clock::time_point entryWritten;

    // The icon of a cell: its upper part (the running indicator is below).
    QImage iconOf(int cell) {
        const Rect r = dock().cell(cell);
        return steadyPixels({r.x + r.width / 8, r.y + r.height / 8, r.width * 3 / 4, r.height * 5 / 8});
    }
};

TEST_F(IconJourneys, AnEntryWhoseIconTheThemeLacksShowsItsWindowsIcon) {
    // The stored application that is not installed: the generic icon, not a blank one.
    const int stored = 1;
    // Icons are read in the background after the panel shows: waited for, not sampled once.
    QImage generic;
    EXPECT_TRUE(waitUntil("the generic icon of an application that is not installed", [&] {
        generic = iconOf(stored);
        return distinctColours(generic) >= 3;
    }));

    // The dock looks at its application folders for new entries at most once a second:
    // nothing on the screen tells when it has, so the rest of that second is waited out.
    std::this_thread::sleep_until(entryWritten + std::chrono::milliseconds(1100));
    const Launched term = launch({"xterm", "-class", kEntryClass, "-geometry", "40x8+100+150"});
    ASSERT_GE(term.cell, 0);
    // It is the entry's application: its tooltip shows the entry's long name (not the
    // class), much wider than the trash's.
    auto termTip = hoverUntilTooltip(term.cell);
    ASSERT_TRUE(settle());
    auto trashTip = hoverUntilTooltip(dock().cellCount() - 1);
    ASSERT_TRUE(termTip && trashTip);
    EXPECT_GT(termTip->rect.width, 3 * trashTip->rect.width) << "the entry was not matched; " << screenshot();
    ASSERT_TRUE(settle());

    // Its cell shows the icon its window gives: neither the generic icon nor a blank one.
    const QImage icon = iconOf(term.cell);
    ASSERT_EQ(icon.size(), generic.size());
    EXPECT_GT(differingPixels(icon, generic), icon.width() * icon.height() / 10)
        << "the xterm's cell shows the generic icon, not its window's; " << screenshot();
    EXPECT_GE(distinctColours(icon), 4) << "a blank icon; " << screenshot();
}

}  // namespace
}  // namespace qs::journey
