// Clicks, drags and drops on the dock's items as a person makes them: a click opens a kept
// document once; a plain drag of it opens nothing and explains, once, how to move items;
// a Shift-drag moves it and opens nothing; a file dragged from another program onto a
// folder item arrives in that folder; the trash's menu adds a separator before the trash,
// never after it; a crowded panel stays inside its screen; the start-menu editor's rows
// move when dragged.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "journeys/Journey.h"
#include "platform/foundation/PropertyList.h"
#include "support/Files.h"

namespace fs = std::filesystem;

namespace qs::journey {
namespace {

// The lines of a file; none when it does not exist.
std::vector<std::string> linesOf(const std::string& path) {
    std::vector<std::string> out;
    std::istringstream in(test::readFileOrEmpty(path));
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) out.push_back(line);
    return out;
}

// The index of the image among `candidates` that differs from `image` in the fewest pixels.
int nearest(const QImage& image, const std::vector<QImage>& candidates) {
    int best = -1, fewest = 0;
    for (size_t i = 0; i < candidates.size(); ++i) {
        const int d = differingPixels(image, candidates[i]);
        if (best < 0 || d < fewest) best = int(i), fewest = d;
    }
    return best;
}

// The dock's windows that are neither its panel nor pop-ups: its dialogs and editors.
std::vector<TopLevel> dialogsOf(DockProcess& dock) {
    std::vector<TopLevel> out;
    for (auto& w : dock.windows())
        if (!w.hasType("DOCK") && !w.overrideRedirect) out.push_back(w);
    return out;
}

// Text files open with a small program of the home's own that notes every file it is
// given, one line each, in ~/opened.log.
std::vector<HomeFile> openerFiles() {
    return {
        {"opener.sh", "#!/bin/sh\necho \"$1\" >> \"$HOME/opened.log\"\n", true},
        {"data/applications/journey-opener.desktop",
         "[Desktop Entry]\nType=Application\nName=Journey Opener\nExec=$HOME/opener.sh %f\nMimeType=text/plain;\n"},
        {"config/mimeapps.list", "[Default Applications]\ntext/plain=journey-opener.desktop\n"},
    };
}

// --- Clicks and drags of a kept document, and drops on a folder ---------------------------

class DragJourneys : public JourneyTest {
protected:
    // The start menu, a kept text document, a folder, a kept application and the trash.
    static void SetUpTestSuite() {
        DockOptions options;
        options.homeFiles = openerFiles();
        options.homeFiles.push_back({"Documents/notes.txt", "notes\n"});
        options.homeFiles.push_back({"Inbox/"});
        options.storedFiles = {"~/Documents/notes.txt", "~/Inbox", "/usr/share/applications/debian-xterm.desktop"};
        startDock(options);
    }

    static constexpr int kDocument = 1, kFolder = 2, kApplication = 3;
    std::string openedLog() { return dock().home() + "/opened.log"; }
    size_t opened() { return linesOf(openedLog()).size(); }
    // Nothing more opens for a while (opening is quick: the program only writes a line).
    ::testing::AssertionResult opensNothingMore(size_t before) {
        return holdsFor(
            "nothing opens", [&] { return opened() == before; }, 1500);
    }
    std::vector<QImage> cellImages() {
        std::vector<QImage> out;
        const int n = dock().cellCount();
        for (int i = 0; i < n; ++i) out.push_back(steadyPixels(dock().cell(i)));
        return out;
    }
};

TEST_F(DragJourneys, AClickOpensAKeptDocumentOnce) {
    ASSERT_EQ(dock().cellCount(), 5) << screenshot();
    const size_t before = opened();
    x().click(dock().cell(kDocument).centre());
    ASSERT_TRUE(waitUntil("the document to open", [&] { return opened() == before + 1; }));
    EXPECT_EQ(linesOf(openedLog()).back(), dock().home() + "/Documents/notes.txt");
    EXPECT_TRUE(opensNothingMore(before + 1)) << "one click opens it once";
}

TEST_F(DragJourneys, APlainDragOpensNothingAndShowsTheHintOnce) {
    const size_t before = opened();
    const std::vector<QImage> cells = cellImages();
    const Point from = dock().cell(kDocument).centre();
    x().drag(from, {from.x + 10, from.y - 150});
    std::optional<TopLevel> hint;
    ASSERT_TRUE(waitUntil("the hint on moving items", [&] {
        auto shown = dialogsOf(dock());
        if (!shown.empty()) hint = shown.front();
        return hint.has_value();
    }));
    EXPECT_TRUE(holdsFor(
        "one hint, and nothing opened",
        [&] { return dialogsOf(dock()).size() == 1 && opened() == before; }, 1500));
    x().askWindowManager(hint->client, "_NET_CLOSE_WINDOW", {XCB_CURRENT_TIME, 2});
    ASSERT_TRUE(waitUntil("the hint to close", [&] { return dialogsOf(dock()).empty(); }));
    ASSERT_TRUE(settle());
    // The items stayed where they were.
    const std::vector<QImage> after = cellImages();
    ASSERT_EQ(after.size(), cells.size());
    for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(nearest(after[i], cells), int(i)) << "cell " << i;
}

TEST_F(DragJourneys, AFileDraggedFromAnotherProgramOntoAFolderArrivesInIt) {
    const char* source = std::getenv("QUAYSIDE_DRAG_SOURCE");
    ASSERT_TRUE(source && fs::exists(source)) << "QUAYSIDE_DRAG_SOURCE names no built program";
    // A file of another folder on the same file system: it is moved, and the source hears so.
    const fs::path outside = fs::path(dock().home()) / "Elsewhere";
    fs::create_directories(outside);
    const fs::path file = outside / "report.txt";
    std::ofstream(file) << "report\n";
    const std::string result = dock().home() + "/drag-result";
    const pid_t pid = clients.start({source, "300", "250", result, file.string()});
    const xcb_window_t window = clients.waitForWindow(pid);
    ASSERT_NE(window, xcb_window_t(XCB_WINDOW_NONE));
    auto shown = x().topLevelOf(window);
    ASSERT_TRUE(shown);
    x().drag(shown->clientRect.centre(), dock().cell(kFolder).centre(), 1, kNoModifier, 40);
    const fs::path arrived = fs::path(dock().home()) / "Inbox" / "report.txt";
    EXPECT_TRUE(waitUntil("the file to arrive in the folder", [&] { return fs::exists(arrived); }));
    EXPECT_FALSE(fs::exists(file)) << "moved, not copied, within one file system";
    EXPECT_TRUE(waitUntil("the source to hear the drop's operation", [&] { return fs::exists(result); }));
    EXPECT_EQ(test::readFileOrEmpty(result), "move");
    EXPECT_EQ(opened(), linesOf(openedLog()).size());
}

TEST_F(DragJourneys, AShiftDragMovesAKeptDocumentAndOpensNothing) {
    const size_t before = opened();
    const std::vector<QImage> cells = cellImages();
    ASSERT_EQ(cells.size(), 5u);
    // Onto the gap between the application and the trash.
    const Rect trash = dock().cell(4);
    x().drag(dock().cell(kDocument).centre(), {trash.x + 2, trash.centre().y}, 1, kShift, 20);
    ASSERT_TRUE(waitUntil("the document to move", [&] {
        return nearest(steadyPixels(dock().cell(kApplication)), cells) == kDocument;
    }));
    EXPECT_TRUE(opensNothingMore(before));
    const std::vector<QImage> after = cellImages();
    // The folder and the application moved up one place; the start menu and the trash stayed.
    EXPECT_EQ(nearest(after[0], cells), 0);
    EXPECT_EQ(nearest(after[1], cells), kFolder);
    EXPECT_EQ(nearest(after[2], cells), kApplication);
    EXPECT_EQ(nearest(after[4], cells), 4);
    EXPECT_TRUE(dialogsOf(dock()).empty()) << "no hint for a Shift-drag; " << screenshot();
}

TEST_F(DragJourneys, AddSeparatorFromTheTrashMenuLandsBeforeTheTrash) {
    const int count = dock().cellCount();
    const std::vector<QImage> cells = cellImages();
    x().click(dock().cell(count - 1).centre(), 3);
    ASSERT_TRUE(waitForPopup());
    // "Open", then "Add Items to Panel" and its submenu: "Add Group ", "Add Files/Folders...",
    // "Add Separator".
    x().key(XK_Down);
    x().key(XK_Down);
    x().key(XK_Right);
    x().key(XK_Down);
    x().key(XK_Down);
    x().key(XK_Return);
    ASSERT_TRUE(waitUntil("a new cell", [&] { return dock().panelReady(count + 1); }));
    ASSERT_TRUE(settle());
    const std::vector<QImage> after = cellImages();
    EXPECT_EQ(nearest(after.back(), cells), count - 1) << "the trash stays last; " << screenshot();
    // The separator shows nothing but the panel behind it.
    EXPECT_LE(distinctColours(after[size_t(count - 1)], 64), 8) << screenshot();
}

// --- A crowded panel ----------------------------------------------------------------------

class CrowdedPanelJourneys : public JourneyTest {
protected:
    static std::unique_ptr<PrivateDisplay>& display() {
        static std::unique_ptr<PrivateDisplay> d;
        return d;
    }
    // A screen of 1024 by 768 of its own, and a dock of 40 items on it.
    static void SetUpTestSuite() {
        if (!XSession::shared()) return;
        display() = std::make_unique<PrivateDisplay>(1024, 768);
        if (display()->name().empty() || !XSession::useDisplay(display()->name())) {
            ADD_FAILURE() << "no private display of 1024 by 768";
            return;
        }
        // Thirty-eight folders of their own (the dock keeps one item per file), between
        // the start menu and the trash.
        DockOptions options;
        for (int i = 0; i < 38; ++i) {
            const std::string name = "folder" + std::to_string(i);
            options.homeFiles.push_back({name + "/"});
            options.storedFiles.push_back("~/" + name);
        }
        startDock(options);
    }
    static void TearDownTestSuite() {
        JourneyTest::TearDownTestSuite();
        if (XSession::shared()) XSession::useDisplay("");
        display().reset();
    }
};

TEST_F(CrowdedPanelJourneys, FortyItemsFitInsideA1024PixelScreen) {
    ASSERT_EQ(x().screen().width, 1024);
    auto panel = dock().panel();
    ASSERT_TRUE(panel);
    EXPECT_TRUE(x().screen().contains(panel->clientRect)) << *panel << "; " << screenshot();
    EXPECT_EQ(dock().cellCount(), 40) << *panel;
    EXPECT_EQ(panel->clientRect.width, 40 * panel->clientRect.height) << "forty square cells, all alike";
    EXPECT_GE(panel->clientRect.width, 1024 - 40) << "as large as whole pixels allow";
}

// --- The start-menu editor ----------------------------------------------------------------

class StartMenuEditorJourneys : public JourneyTest {
protected:
    // A fresh start menu lists the home, its Desktop, Documents and Downloads folders and
    // the applications folder, in that order, then a few sample applications.
    static void SetUpTestSuite() {
        startDock({.settings = {},
                   .storedFiles = {},
                   .homeFiles = {{"Desktop/"}, {"Documents/"}, {"Downloads/"}, {"data/applications/"}}});
    }

    // The order in which the stored start menu lists these folders (their places among
    // the stored archive's strings); empty until the dock has stored its menu.
    std::vector<std::string> storedOrder(const std::vector<std::string>& folders) {
        auto defaults = PropertyList::readFile(dock().defaultsPath());
        const Dictionary* root = defaults ? defaults->dictionary() : nullptr;
        if (!root) return {};
        auto key = root->find("MainDockModelKey");
        if (key == root->end() || !key->second.data()) return {};
        auto archive = PropertyList::parse(*key->second.data());
        const Dictionary* top = archive ? archive->dictionary() : nullptr;
        if (!top || !top->count("$objects") || !top->at("$objects").array()) return {};
        std::vector<std::string> order;
        for (const Value& v : *top->at("$objects").array()) {
            const std::string* s = v.string();
            if (!s) continue;
            std::string path = s->rfind("file://", 0) == 0 ? s->substr(7) : *s;
            while (path.size() > 1 && path.back() == '/') path.pop_back();
            for (const auto& folder : folders)
                if (path == folder && std::find(order.begin(), order.end(), folder) == order.end()) order.push_back(folder);
        }
        return order;
    }
};

TEST_F(StartMenuEditorJourneys, ARowDraggedInTheEditorMoves) {
    // The start menu, then its "Edit Menu…" button at the bottom left.
    x().click(dock().cell(0).centre());
    auto menu = waitForPopup();
    ASSERT_TRUE(menu);
    const QImage pixels = steadyPixels(menu->rect);
    const Rect band{10, pixels.height() - 50, 120, 40};
    const QRgb background = pixels.pixel(band.x + band.width - 1, band.y);
    const Rect ink = boundsOf(pixels.copy(band.x, band.y, band.width, band.height),
                              [&](QRgb p) { return !nearColour(p, background, 60); });
    ASSERT_FALSE(ink.empty()) << "no button text at the bottom left of the start menu; " << screenshot();
    x().click({menu->rect.x + band.x + ink.centre().x, menu->rect.y + band.y + ink.centre().y});
    std::optional<TopLevel> editor;
    ASSERT_TRUE(waitUntil("the start-menu editor", [&] {
        auto shown = dialogsOf(dock());
        if (!shown.empty()) editor = shown.front();
        return editor.has_value();
    }));
    const Rect window = editor->clientRect;
    // The rows: the first five are folders, whose blue icons stand one under the other at
    // the left of the table; the middles of the icons are the middles of the rows.
    auto blue = [](QRgb p) { return qBlue(p) > 120 && qBlue(p) > qRed(p) + 50; };
    std::vector<std::pair<int, int>> icons;  // first and last line of each icon
    ASSERT_TRUE(waitUntil("the folders' icons in the editor", [&] {
        const QImage shown = x().grab(window);
        icons.clear();
        for (int y = 0; y < shown.height(); ++y) {
            const bool ink = countPixels(shown, blue, {4, y, 40, 1}) > 0;
            if (ink && (icons.empty() || icons.back().second < y - 1)) icons.push_back({y, y});
            else if (ink) icons.back().second = y;
        }
        return icons.size() >= 4;
    }));
    steadyPixels(window);
    auto middle = [&](size_t i) { return window.y + (icons[i].first + icons[i].second) / 2; };
    const int pitch = middle(1) - middle(0);
    ASSERT_GT(pitch, 10);

    const std::string home = dock().home();
    const std::vector<std::string> folders{home, home + "/Desktop", home + "/Documents", home + "/Downloads"};
    // The first row dragged onto the lower half of the third: it goes below the third.
    const Point from{window.x + 80, middle(0)};
    const Point to{from.x, middle(2) + pitch / 4};
    x().drag(from, to, 1, kNoModifier, 20);
    EXPECT_TRUE(waitUntil("the moved row to be stored", [&] {
        return storedOrder(folders) == std::vector<std::string>{home + "/Desktop", home + "/Documents", home,
                                                                 home + "/Downloads"};
    })) << "stored: " << ::testing::PrintToString(storedOrder(folders));
    x().askWindowManager(editor->client, "_NET_CLOSE_WINDOW", {XCB_CURRENT_TIME, 2});
    EXPECT_TRUE(waitUntil("the editor to close", [&] { return dialogsOf(dock()).empty(); }));
}

}  // namespace
}  // namespace qs::journey
