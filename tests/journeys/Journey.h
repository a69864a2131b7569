#pragma once
// The user-journey fixture: the built dock (build/quayside) started as a child process
// with a fresh private home, driven only through the X server the way a person drives
// it (XTest pointer and keys, window-manager requests), and checked by what the X server
// shows: window properties, the stacking order and geometry of the top-level windows, and
// the pixels of the root window.
//
// The pieces:
//   XSession     one connection to the display: properties, the stacking order, pixels,
//                screenshots, XTest input and the window manager's client requests.
//   DockProcess  the dock child: settings written beforehand (and, when asked, a stored
//                dock of file items made with the project's own archive code), start, stop
//                with SIGTERM, restart, its windows by pid and the cells of its panel.
//   Clients      X clients a test starts (xterm, xlogo, ...): always ended after the test.
//   JourneyTest  the gtest fixture: one dock per group of journeys (test suite), each
//                journey starts from a settled screen (no menu, pointer parked).
//   waitUntil / holdsFor   conditions polled against a deadline, never fixed sleeps.
// A failing check of the fixture names a screenshot of the root window (PNG under the
// build folder, journey-screenshots/); any other failure saves one too.

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>
#include <xcb/xcb.h>
#include <xcb/xproto.h>

#include <QImage>
#include <gtest/gtest.h>

#include "platform/foundation/Value.h"

typedef struct _XCBKeySymbols xcb_key_symbols_t;

namespace qs::journey {

// How long a journey waits for what the dock, the window manager or a client does: long,
// because a loaded machine may take seconds; a wait ends as soon as its condition holds.
inline constexpr int kWaitMs = 20000;

struct Point {
    int x = 0, y = 0;
};

// A rectangle in root coordinates (or an image's), right and bottom exclusive.
struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    int right() const { return x + width; }
    int bottom() const { return y + height; }
    bool empty() const { return width <= 0 || height <= 0; }
    bool contains(int px, int py) const { return px >= x && px < right() && py >= y && py < bottom(); }
    bool contains(const Rect& r) const {
        return r.x >= x && r.y >= y && r.right() <= right() && r.bottom() <= bottom();
    }
    bool intersects(const Rect& r) const { return !intersected(r).empty(); }
    Rect intersected(const Rect& r) const;
    // This rectangle moved so that `origin` becomes (0, 0).
    Rect relativeTo(const Rect& origin) const { return {x - origin.x, y - origin.y, width, height}; }
    Point centre() const { return {x + width / 2, y + height / 2}; }
    bool operator==(const Rect& r) const = default;
};
std::ostream& operator<<(std::ostream& out, const Rect& r);

// A child of the root window (a window manager's frame, or an override-redirect window
// such as a menu or a tooltip) with the client window it holds.
struct TopLevel {
    xcb_window_t window = XCB_WINDOW_NONE;  // the root's child
    xcb_window_t client = XCB_WINDOW_NONE;  // the window that carries the client's properties
    Rect rect;                              // the root's child, in root coordinates
    Rect clientRect;                        // the client, in root coordinates
    bool viewable = false;
    bool overrideRedirect = false;
    uint32_t pid = 0;                // the client's process (XSession::pidOf), 0 when unknown
    std::vector<std::string> types;  // _NET_WM_WINDOW_TYPE without its prefix: "DOCK", "TOOLTIP", ...
    bool hasType(const std::string& type) const;
};
std::ostream& operator<<(std::ostream& out, const TopLevel& w);

// Modifier keys held during a click, a drag or a key press.
enum Modifier : unsigned { kNoModifier = 0, kShift = 1, kControl = 2, kAlt = 4, kSuper = 8 };

// The display the journeys run on ($DISPLAY: Xvfb with openbox under the test command).
class XSession {
public:
    // The program's one session; nullptr when there is no display.
    static XSession* shared();
    // Connects the shared session to another display (and sets DISPLAY, so that the
    // programs started from now on show there); "" goes back to the display the program
    // started on. Answers whether the display could be reached.
    static bool useDisplay(const std::string& display);
    ~XSession();

    xcb_connection_t* connection() const { return c_; }
    xcb_window_t root() const { return root_; }
    Rect screen() const { return screen_; }
    xcb_atom_t atom(const std::string& name);
    std::string atomName(xcb_atom_t atom);
    // A request that round-trips: everything sent before (input included) has been
    // handled by the server when it returns.
    void sync();

    // --- Properties ---
    std::vector<uint32_t> cardinals(xcb_window_t w, const std::string& property, xcb_atom_t type = XCB_ATOM_CARDINAL);
    // The names of the atoms of an ATOM property (_NET_WM_STATE, _NET_WM_WINDOW_TYPE).
    std::vector<std::string> atoms(xcb_window_t w, const std::string& property);
    std::string text(xcb_window_t w, const std::string& property);
    // The process of a client window: its _NET_WM_PID, else what the server knows (XRes);
    // 0 when neither says.
    uint32_t pidOf(xcb_window_t client);

    // --- Windows ---
    // The root's children, bottom to top, with their clients (frames are searched for the
    // window that has WM_STATE).
    std::vector<TopLevel> stacking();
    // The viewable top-level windows whose client belongs to `pid`, bottom to top.
    std::vector<TopLevel> windowsOf(pid_t pid);
    std::optional<TopLevel> topLevelOf(xcb_window_t windowOrClient);
    // The viewable windows stacked above `w` (its top-level) that intersect `r`.
    std::vector<TopLevel> coveringAbove(xcb_window_t w, const Rect& r);
    // Success when no viewable window above `w` intersects `r`; the failure lists them.
    ::testing::AssertionResult isTopmostOver(xcb_window_t w, const Rect& r);
    bool isViewable(xcb_window_t w);
    // The managed window (in _NET_CLIENT_LIST) of a process; none when it has none.
    xcb_window_t clientOfProcess(pid_t pid);
    xcb_window_t activeWindow();

    // --- Pixels ---
    // What the screen shows in `r` (the root window's pixels), as RGB32.
    QImage grab(const Rect& r);
    QImage grabScreen() { return grab(screen_); }
    // Saves the whole screen as a PNG under the build folder and answers its path.
    std::string saveScreenshot(const std::string& label = "");

    // --- Input, through XTest ---
    void move(Point p);
    void press(int button, unsigned modifiers = kNoModifier);
    void release(int button, unsigned modifiers = kNoModifier);
    // A click of any button at `p`, with the modifiers held around it.
    void click(Point p, int button = 1, unsigned modifiers = kNoModifier);
    // A press and a release of the key that types `keysym`.
    void key(uint32_t keysym, unsigned modifiers = kNoModifier);
    // A press at `from`, motion in `steps` steps to `to`, a release there.
    void drag(Point from, Point to, int button = 1, unsigned modifiers = kNoModifier, int steps = 12);
    // Releases every button and modifier key (what a failed journey may have left held).
    void releaseAll();

    // --- The window manager, asked as a pager or taskbar asks it ---
    // A client message about `client` sent to the root for the window manager
    // ("_NET_WM_STATE", "_NET_MOVERESIZE_WINDOW", ...), with its five data words.
    void askWindowManager(xcb_window_t client, const std::string& message, std::array<uint32_t, 5> data);
    void iconify(xcb_window_t client);
    void activate(xcb_window_t client);

private:
    XSession() = default;
    static std::unique_ptr<XSession> connect(const char* display);
    void fakeKey(uint32_t keysym, bool down);
    void modifiers(unsigned mods, bool down);

    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    Rect screen_;
    xcb_key_symbols_t* symbols_ = nullptr;
    int shots_ = 0;
};

// Saves a screenshot for every failure that does not name one already (the fixture's own
// checks do), and prints its path; for the program's main().
void installScreenshotOnFailure();

// Text that names a fresh screenshot, for the message of a failing check:
// EXPECT_TRUE(x) << screenshot();  (evaluated only when the check fails).
std::string screenshot(const std::string& label = "");

// --- Waiting on conditions ---

namespace detail {
inline ::testing::AssertionResult asResult(bool b) {
    return b ? ::testing::AssertionSuccess() : ::testing::AssertionFailure();
}
inline ::testing::AssertionResult asResult(::testing::AssertionResult r) { return r; }
}  // namespace detail

// Polls `condition` (answering bool or AssertionResult) until it holds or `ms` pass. On a
// timeout the failure names `what`, the condition's last message and a screenshot.
template <class F>
::testing::AssertionResult waitUntil(const std::string& what, F condition, int ms = kWaitMs) {
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::milliseconds(ms);
    for (;;) {
        ::testing::AssertionResult r = detail::asResult(condition());
        if (r) return ::testing::AssertionSuccess();
        if (std::chrono::steady_clock::now() >= end)
            return ::testing::AssertionFailure()
                   << "waited " << ms << " ms for " << what << "; " << r.message() << "; " << screenshot("timeout");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Polls `condition` for `ms`: it must hold at every poll. The failure names the moment it
// first did not, its message and a screenshot of that moment.
template <class F>
::testing::AssertionResult holdsFor(const std::string& what, F condition, int ms) {
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::milliseconds(ms);
    for (;;) {
        ::testing::AssertionResult r = detail::asResult(condition());
        const auto now = std::chrono::steady_clock::now();
        if (!r) {
            const auto after = std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count();
            return ::testing::AssertionFailure() << what << " stopped holding after " << after << " ms; " << r.message()
                                                 << "; " << screenshot("broken");
        }
        if (now >= end) return ::testing::AssertionSuccess();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// --- Pixels ---

// Whether two colours differ by at most `tolerance` in each channel.
bool nearColour(QRgb a, QRgb b, int tolerance = 12);
// A colour as X programs take it on their command line: "#rrggbb".
std::string hexColour(QRgb c);
// The brightness of a colour, 0 to 255.
int luma(QRgb c);
// How many pixels of `image` (inside `area`, the whole image when empty) pass `test`.
int countPixels(const QImage& image, const std::function<bool(QRgb)>& test, Rect area = {});
// The bounding box of the pixels that pass `test`; empty when none does.
Rect boundsOf(const QImage& image, const std::function<bool(QRgb)>& test);
// How many pixels differ between two images of one size, leaving out the rectangles of
// `ignore` (image coordinates).
int differingPixels(const QImage& a, const QImage& b, const std::vector<Rect>& ignore = {});
// How many distinct colours the image has (a painted window has several; a blank one one).
int distinctColours(const QImage& image, int atMost = 64);
// The rows (a band from the first to the last) where two images of one size differ; an
// empty rectangle when they do not.
Rect differingRows(const QImage& a, const QImage& b);

// --- Processes ---

// A private X server of its own size with openbox, for the journeys that need a screen
// other than the shared one: started by the constructor, ended with the object.
class PrivateDisplay {
public:
    PrivateDisplay(int width, int height);
    ~PrivateDisplay();
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;
    // ":N", or "" when the server or its window manager did not come up.
    const std::string& name() const { return name_; }

private:
    pid_t server_ = -1;
    pid_t windowManager_ = -1;
    std::string name_;
};

// A file or folder made in the dock's home before the dock (or its stored dock) is made.
struct HomeFile {
    std::string path;  // relative to the home; a folder when it ends in "/"
    std::string contents;  // "$HOME" stands for the home's path
    bool executable = false;
};

struct DockOptions {
    // Written to the dock's defaults domain before it starts, over the journeys' own
    // defaults (the what's-new window is kept away: "whatNewIsPresented" NO).
    Dictionary settings;
    // When not empty: a stored dock of the start menu, these files or folders and the
    // trash, made before the start with the project's own archive code. A path that
    // starts with "~/" lies in the dock's home.
    std::vector<std::string> storedFiles;
    // When set: a stored configuration with the panel on this edge (0 left, 1 bottom,
    // 2 right, 3 top), made the same way.
    std::optional<int> position;
    // A stored dock configuration whose panel casts a shadow ("Cast a shadow" on).
    bool castsShadow = false;
    std::vector<HomeFile> homeFiles;
};

// The built dock as a child process with a private home (HOME, XDG_CONFIG_HOME,
// XDG_DATA_HOME, XDG_CACHE_HOME), QT_QPA_PLATFORM and the session bus unset.
//
// Cells: the panel is a row (or a column) of square cells as thick as the panel: with
// the panel's client rectangle R in root coordinates, a bottom or top panel holds
// R.width / R.height cells, cell i at R.x + i * R.height. A fresh dock lists the start
// menu first, then its stored items, then the running applications in the order they
// started (no sort order is set), and the trash last; journeys count on that order and
// check the count of cells after every launch.
class DockProcess {
public:
    ~DockProcess();

    // Makes a fresh home, writes the settings and starts the dock; answers whether it
    // started and its panel mapped and painted.
    ::testing::AssertionResult start(const DockOptions& options = {});
    // SIGTERM, then waits for the exit; answers the exit status (128 + signal when it was
    // killed, -1 when it did not end within kWaitMs and had to be killed).
    int stop();
    // Stops and starts it again on the same home (what it stored is kept).
    ::testing::AssertionResult restart();
    // Starts it again after stop(), on the same home.
    ::testing::AssertionResult resume();
    // Writes settings into its defaults over what it stored; for a stopped dock (it
    // reads them at start, and writes its defaults when it quits).
    ::testing::AssertionResult writeSettings(const Dictionary& settings);
    // Kills it at once (SIGKILL) and removes its home.
    void end();

    pid_t pid() const { return pid_; }
    bool running();
    const std::string& home() const { return home_; }
    std::string configHome() const { return home_ + "/config"; }
    std::string defaultsPath() const { return configHome() + "/quayside/org.quayside.Quayside.plist"; }
    // What it wrote to standard error and output.
    std::string log() const;

    // Its viewable top-level windows, bottom to top.
    std::vector<TopLevel> windows();
    // Its panel (the topmost of its _NET_WM_WINDOW_TYPE_DOCK windows: a shadow it casts
    // stands under it), when mapped.
    std::optional<TopLevel> panel();
    // Pop-ups: its viewable override-redirect windows that are not tooltips (menus,
    // transient popovers such as the start menu).
    std::vector<TopLevel> popups();
    // Its viewable tooltip-type windows: item tooltips and window previews.
    std::vector<TopLevel> tooltips();
    // A window preview: a tooltip-type window at least 100 pixels high (a tooltip is a
    // line or two of text; a preview holds pictures of windows).
    std::optional<TopLevel> preview();
    // The cells, from the panel's client rectangle (see above); 0 when no panel is mapped.
    int cellCount();
    Rect cell(int index);
    // The panel is mapped and painted (several colours) and, when `cells` >= 0, holds
    // that many cells.
    ::testing::AssertionResult panelReady(int cells = -1);

private:
    ::testing::AssertionResult launch();

    pid_t pid_ = -1;
    std::string home_;
};

// X clients started by a journey; every one is ended when the object goes (SIGTERM, then
// SIGKILL), and the window manager is left with no client that vanished meanwhile.
class Clients {
public:
    ~Clients() { endAll(); }
    // Starts argv[0] (looked up in PATH); -1 (and a test failure) when it cannot.
    pid_t start(const std::vector<std::string>& argv);
    // Waits until the process has a viewable managed window; answers it (none on a
    // timeout, with a test failure).
    xcb_window_t waitForWindow(pid_t pid);
    void end(pid_t pid);
    void endAll();

private:
    std::vector<pid_t> pids_;
};

// A client a journey started: its process, its managed window and its cell in the panel.
struct Launched {
    pid_t pid = -1;
    xcb_window_t window = XCB_WINDOW_NONE;
    int cell = -1;  // -1 when it did not get one
};

// The fixture of a group of journeys. A group starts its dock once, in its
// SetUpTestSuite, with `startDock(options)`; TearDownTestSuite stops it. Each journey
// finds the dock running (a dock that died is started again, and that is a failure),
// no pop-up or tooltip of the dock open, the pointer parked at the top of the screen and
// no button or modifier held; after the journey its clients end and its menus close.
class JourneyTest : public ::testing::Test {
protected:
    static void startDock(const DockOptions& options = {});
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    static DockProcess& dock() { return *dock_; }
    static XSession& x() { return *XSession::shared(); }

    // Starts an X client (argv[0] looked up in PATH) and waits for its window and for its
    // cell, which a running application gets just before the trash.
    Launched launch(const std::vector<std::string>& argv);
    // Moves the pointer onto cell `index` and waits until a tooltip or a preview of the
    // dock maps; answers the preview or the tooltip (whichever is asked for).
    std::optional<TopLevel> hoverUntilPreview(int index);
    std::optional<TopLevel> hoverUntilTooltip(int index);
    // Waits until a new pop-up of the dock (not in `before`) is mapped and its pixels
    // are steady; answers it. A window that closes meanwhile is passed over.
    std::optional<TopLevel> waitForPopup(const std::vector<TopLevel>& before = {});
    // Closes the dock's pop-ups (Escape) and parks the pointer; answers whether the
    // dock settled (no pop-up, no tooltip, no preview).
    ::testing::AssertionResult settle();
    // The pixels of a window once two grabs in a row agree (its painting is done).
    QImage steadyPixels(const Rect& r);
    Point parkingSpot() const { return {x().screen().width / 2, 4}; }

    Clients clients;

private:
    static DockProcess* dock_;
    static DockOptions options_;
};

}  // namespace qs::journey
