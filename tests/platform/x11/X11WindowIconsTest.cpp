// Window icons read from a real X server: the picture of _NET_WM_ICON best for the size
// drawn, the WM_HINTS pixmap and mask, and the generic application icon with a log line
// for what cannot be used (a malformed _NET_WM_ICON, a freed pixmap, a window that is
// gone, a display that cannot be reached). The workspace answers the icon of a program
// without a desktop entry at once, without a request to the server, and the icon is read
// when drawn, off the main thread. Skipped without DISPLAY.

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>

#include <QCoreApplication>
#include <gtest/gtest.h>

#include "dock_ui/ItemIconCache.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/IconSources.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/X11DockFixture.h"
#include "platform/x11/X11WindowIcons.h"
#include "platform/x11/X11WindowServer.h"
#include "platform/x11/XConnection.h"
#include "support/TestEnvironment.h"

namespace qs::x11 {
namespace {

// Pictures of _NET_WM_ICON: side x side of one colour each.
std::vector<uint32_t> pictures(std::initializer_list<std::pair<uint32_t, uint32_t>> sidesAndColours) {
    std::vector<uint32_t> data;
    for (auto [side, colour] : sidesAndColours) {
        data.push_back(side);
        data.push_back(side);
        data.insert(data.end(), size_t(side) * side, colour);
    }
    return data;
}

bool allPixels(const QImage& image, QRgb colour) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (argb.pixel(x, y) != colour) return false;
    return !argb.isNull();
}

bool mentions(const std::vector<std::string>& lines, const std::string& fragment) {
    for (const auto& line : lines)
        if (line.find(fragment) != std::string::npos) return true;
    return false;
}

QImage genericApplication(int side) {
    std::vector<std::string> ignored;
    return desktop::genericIconSource(desktop::GenericKind::Application)->load(side, ignored);
}

class X11WindowIconsTest : public qs::test::IsolatedTest {
protected:
    void SetUp() override {
        if (auto why = fixture::skipReason(false); !why.empty()) GTEST_SKIP() << why;
        conn = XConnection::open();
        ASSERT_TRUE(conn);
        c = conn->connection();
        reader = std::make_shared<WindowIconReader>(conn->displayName());
    }
    void TearDown() override {
        if (!conn) return;
        for (auto w : made) xcb_destroy_window(c, w);
        for (auto p : pixmaps) xcb_free_pixmap(c, p);
        sync();
    }

    // Waits until the server has handled everything sent so far.
    void sync() { free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }

    xcb_window_t window() {
        xcb_window_t w = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, conn->root(), 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          conn->screen()->root_visual, 0, nullptr);
        made.push_back(w);
        sync();  // the reader's own connection sees it
        return w;
    }
    void setIcon(xcb_window_t w, const std::vector<uint32_t>& data) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, conn->atom("_NET_WM_ICON"), XCB_ATOM_CARDINAL, 32,
                            uint32_t(data.size()), data.data());
        sync();
    }
    // A pixmap of `depth` filled with `value`; `rects` of it (x, y, w, h) with `other`.
    xcb_pixmap_t pixmap(uint8_t depth, int side, uint32_t value, std::vector<xcb_rectangle_t> rects = {},
                        uint32_t other = 0) {
        xcb_pixmap_t p = xcb_generate_id(c);
        xcb_create_pixmap(c, depth, p, conn->root(), uint16_t(side), uint16_t(side));
        xcb_gcontext_t gc = xcb_generate_id(c);
        xcb_create_gc(c, gc, p, XCB_GC_FOREGROUND, &value);
        xcb_rectangle_t all{0, 0, uint16_t(side), uint16_t(side)};
        xcb_poly_fill_rectangle(c, p, gc, 1, &all);
        if (!rects.empty()) {
            xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &other);
            xcb_poly_fill_rectangle(c, p, gc, uint32_t(rects.size()), rects.data());
        }
        xcb_free_gc(c, gc);
        pixmaps.push_back(p);
        return p;
    }
    void setHints(xcb_window_t w, xcb_pixmap_t icon, xcb_pixmap_t mask = XCB_PIXMAP_NONE) {
        xcb_icccm_wm_hints_t hints{};
        xcb_icccm_wm_hints_set_icon_pixmap(&hints, icon);
        if (mask != XCB_PIXMAP_NONE) xcb_icccm_wm_hints_set_icon_mask(&hints, mask);
        xcb_icccm_set_wm_hints(c, w, &hints);
        sync();
    }
    QImage load(std::vector<uint32_t> windows, int side, std::vector<std::string>& problems) {
        auto source = windowIconSource(reader, std::move(windows), "the test program",
                                       desktop::genericIconSource(desktop::GenericKind::Application));
        return source->load(side, problems);
    }

    std::shared_ptr<XConnection> conn;
    xcb_connection_t* c = nullptr;
    std::shared_ptr<WindowIconReader> reader;
    std::vector<xcb_window_t> made;
    std::vector<xcb_pixmap_t> pixmaps;
};

TEST_F(X11WindowIconsTest, ThePictureOfNetWmIconIsTheOneBestForTheSizeDrawn) {
    const xcb_window_t w = window();
    setIcon(w, pictures({{16, 0xFFFF0000}, {48, 0xFF00FF00}, {128, 0x800000FF}, {256, 0xFFFFFFFF}}));
    struct Case {
        int asked, side;
        QRgb colour;
    };
    for (Case k : {Case{16, 16, 0xFFFF0000}, Case{32, 48, 0xFF00FF00}, Case{48, 48, 0xFF00FF00},
                   Case{100, 128, 0x800000FF}, Case{200, 256, 0xFFFFFFFF}, Case{1024, 256, 0xFFFFFFFF}}) {
        std::vector<std::string> problems;
        QImage icon = load({w}, k.asked, problems);
        EXPECT_EQ(icon.width(), k.side) << k.asked;
        EXPECT_TRUE(allPixels(icon, k.colour)) << k.asked;  // alpha as given, not premultiplied
        EXPECT_TRUE(problems.empty()) << k.asked << ": " << (problems.empty() ? "" : problems.front());
    }
    // Drawn without a size: the picture for the icon size, within it.
    std::vector<std::string> problems;
    EXPECT_EQ(load({w}, 0, problems).width(), 128);
    setIcon(w, pictures({{256, 0xFFFFFFFF}}));
    EXPECT_EQ(load({w}, 0, problems).width(), 128);
    EXPECT_TRUE(problems.empty());
}

TEST_F(X11WindowIconsTest, AMalformedNetWmIconIsReportedAndTheWmHintsIconOrTheGenericOneShown) {
    struct Case {
        const char* what;
        std::vector<uint32_t> data;
        int usableSide;  // the picture before the fault, 0 for none
    };
    std::vector<Case> cases{
        {"zero width", {0, 16, 1, 2, 3}, 0},
        {"zero height", {16, 0}, 0},
        {"fewer pixels than said", {64, 64, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 0},
        {"a huge picture", {100000, 100000, 1, 2, 3}, 0},
        {"sides that overflow", {0xFFFFFFFFu, 0xFFFFFFFFu, 1}, 0},
        {"longer than the read limit", pictures({{500, 0xFF000000}, {300, 0xFF000000}}), 500},
        {"a lone number", {16}, 0},
        {"a good picture, then garbage", [] {
             auto d = pictures({{24, 0xFF123456}});
             d.insert(d.end(), {32, 32, 7});
             return d;
         }(), 24},
    };
    const QImage generic = genericApplication(48);
    ASSERT_FALSE(generic.isNull());
    for (const auto& k : cases) {
        const xcb_window_t w = window();
        setIcon(w, k.data);
        std::vector<std::string> problems;
        QImage icon = load({w}, 48, problems);
        EXPECT_TRUE(mentions(problems, "_NET_WM_ICON of window")) << k.what;
        if (k.usableSide) {
            EXPECT_EQ(icon.width(), k.usableSide) << k.what;
            continue;
        }
        EXPECT_EQ(icon, generic) << k.what;
        EXPECT_TRUE(mentions(problems, "is shown instead")) << k.what;
        // With a WM_HINTS icon beside it, that one is shown.
        setHints(w, pixmap(conn->screen()->root_depth, 20, 0x336699));
        problems.clear();
        icon = load({w}, 48, problems);
        EXPECT_EQ(icon.width(), 20) << k.what;
        EXPECT_TRUE(allPixels(icon, qRgb(0x33, 0x66, 0x99))) << k.what;
    }
    // Eight-bit data, as a program confusing the property with a name might give.
    const xcb_window_t w = window();
    const char text[] = "not an icon";
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, conn->atom("_NET_WM_ICON"), XCB_ATOM_STRING, 8,
                        sizeof text, text);
    sync();
    std::vector<std::string> problems;
    EXPECT_EQ(load({w}, 48, problems), generic);
    EXPECT_TRUE(mentions(problems, "not a list of 32-bit numbers"));
}

TEST_F(X11WindowIconsTest, TheWmHintsPixmapIsShownThroughItsMaskAndAFreedOneGivesTheGenericIcon) {
    // A one-bit icon, black; its mask leaves out the left half.
    const xcb_window_t w = window();
    const xcb_pixmap_t bits = pixmap(1, 16, 1);
    const xcb_pixmap_t mask = pixmap(1, 16, 1, {{0, 0, 8, 16}}, 0);
    setHints(w, bits, mask);
    std::vector<std::string> problems;
    QImage icon = load({w}, 32, problems);
    ASSERT_EQ(icon.size(), QSize(16, 16));
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(qAlpha(icon.pixel(2, 5)), 0);
    EXPECT_EQ(icon.pixel(12, 5), qRgb(0, 0, 0));

    // The mask freed: the icon without it, and a line saying so.
    xcb_free_pixmap(c, mask);
    sync();
    icon = load({w}, 32, problems);
    EXPECT_EQ(icon.pixel(2, 5), qRgb(0, 0, 0));
    EXPECT_TRUE(mentions(problems, "mask"));

    // The icon freed: the generic application icon.
    xcb_free_pixmap(c, bits);
    sync();
    problems.clear();
    EXPECT_EQ(load({w}, 32, problems), genericApplication(32));
    EXPECT_TRUE(mentions(problems, "is gone"));
    EXPECT_TRUE(mentions(problems, "is shown instead"));
}

TEST_F(X11WindowIconsTest, WindowsThatAreGoneAreReportedAndTheNextOneGivesTheIcon) {
    const xcb_window_t gone = window();
    const xcb_window_t next = window();
    setIcon(next, pictures({{32, 0xFF00FF00}}));
    xcb_destroy_window(c, gone);
    sync();
    std::vector<std::string> problems;
    QImage icon = load({gone, next}, 32, problems);
    EXPECT_TRUE(allPixels(icon, 0xFF00FF00));
    EXPECT_TRUE(mentions(problems, "is gone"));

    xcb_destroy_window(c, next);
    sync();
    problems.clear();
    EXPECT_EQ(load({gone, next, 0x1}, 32, problems), genericApplication(32));
    EXPECT_TRUE(mentions(problems, "no window of the test program gives an icon"));

    // A window without any icon: the generic one too.
    problems.clear();
    EXPECT_EQ(load({window()}, 32, problems), genericApplication(32));
    EXPECT_TRUE(mentions(problems, "no window of the test program gives an icon"));
    EXPECT_FALSE(mentions(problems, "window 0x"));
}

TEST_F(X11WindowIconsTest, ADisplayThatCannotBeReachedGivesTheGenericIcon) {
    reader = std::make_shared<WindowIconReader>(":987");
    std::vector<std::string> problems;
    EXPECT_EQ(load({window()}, 32, problems), genericApplication(32));
    EXPECT_TRUE(mentions(problems, "cannot connect to the display \":987\""));
}

TEST_F(X11WindowIconsTest, ManyThreadsReadAtOnce) {
    const xcb_window_t a = window(), b = window();
    setIcon(a, pictures({{16, 0xFFFF0000}, {64, 0xFF0000FF}}));
    setIcon(b, pictures({{32, 0xFF00FF00}}));
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                std::vector<std::string> problems;
                const bool first = (t + i) % 2 == 0;
                QImage icon = load({first ? a : b}, first ? 64 : 16, problems);
                wrong += !allPixels(icon, first ? 0xFF0000FF : 0xFF00FF00) || !problems.empty();
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

// The workspace's icon of xclock, which has no desktop entry.
class X11WorkspaceWindowIconTest : public X11WindowIconsTest {
protected:
    void SetUp() override {
        X11WindowIconsTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        desktop::Services s;
        addWindowServices(s, conn);
        windows = std::static_pointer_cast<X11WindowServer>(s.windowServer);
        desktop::install(s);
    }
    void TearDown() override {
        fixture::killChildren(children);
        desktop::install({});
        X11WindowIconsTest::TearDown();
    }
    void pump(int ms) {
        fixture::pumpUntil([&] { fixture::turnLoops(*conn, env.loop()); }, [] { return false; }, ms, 5);
    }
    // The sequence number the next request on the main connection gets (one is spent).
    unsigned nextRequest() {
        auto cookie = xcb_get_input_focus(c);
        xcb_discard_reply(c, cookie.sequence);
        return cookie.sequence + 1;
    }
    // Every window of running xclocks (another test's may still be there).
    std::vector<xcb_window_t> clockWindows(const std::string& path) {
        std::vector<xcb_window_t> out;
        for (auto& app : desktop::services().workspace->runningApplications())
            if (app->info().executablePath == path)
                for (auto& client : windows->clientsOf(app->processIdentifier())) out.push_back(client.window);
        return out;
    }

    std::shared_ptr<X11WindowServer> windows;
    std::vector<pid_t> children;
};

TEST_F(X11WorkspaceWindowIconTest, TheIconIsAnsweredAtOnceAndReadFromTheServerWhenDrawn) {
    pid_t clock = fixture::spawnChild(children, {"xclock", "-geometry", "100x100+500+300"});
    std::string path;
    RunningApplicationPtr app;
    auto* ws = desktop::services().workspace.get();
    ASSERT_TRUE(fixture::pumpUntil([&] { fixture::turnLoops(*conn, env.loop()); },
                                   [&] {
                                       for (auto& running : ws->runningApplications())
                                           if (fixture::isProcessOf(*running, clock)) app = running;
                                       if (app) path = app->info().executablePath;
                                       return app && !path.empty() && !windows->clientsOf(app->processIdentifier()).empty();
                                   },
                                   8000, 5));
    // A large icon (about 1 MiB), set before the icon is asked for.
    for (auto w : clockWindows(path))
        setIcon(w, pictures({{16, 0xFFFF0000}, {64, 0xFF0000FF}, {128, 0xFF00FF00}, {256, 0xFF00FF00},
                             {400, 0xFF00FF00}}));
    pump(200);  // the window list has seen the property change

    const unsigned before = nextRequest();
    const auto t0 = std::chrono::steady_clock::now();
    ImagePtr icon = ws->iconForApplication(*app);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(nextRequest() - before - 1, 0u);  // nothing asked of the server
    std::printf("iconForApplication of a program with a large _NET_WM_ICON: %.3f ms\n", took * 1000);
    ASSERT_TRUE(icon);
    EXPECT_TRUE(icon->isDeferred());

    // Read when drawn (after this change), on another thread.
    for (auto w : clockWindows(path)) setIcon(w, pictures({{64, 0xFF123456}}));
    QImage pixels = std::async(std::launch::async, [&] { return icon->pixelsForSize(64); }).get();
    EXPECT_EQ(pixels.width(), 64);
    EXPECT_TRUE(allPixels(pixels, 0xFF123456));

    // The dock's icon cache draws it so too, on its workers.
    ItemIconCache cache;
    QImage drawn;
    EXPECT_TRUE(cache.iconForItem(app, 48, nullptr, [&](const QImage& image) { drawn = image; }).isNull());
    ASSERT_TRUE(fixture::pumpUntil([&] { fixture::turnLoops(*conn, env.loop()); }, [&] { return !drawn.isNull(); },
                                   8000, 5));
    EXPECT_EQ(drawn.width(), 48);
    EXPECT_TRUE(allPixels(drawn, 0xFF123456));

    // The program gone: an icon read before keeps its picture, one never read is the
    // generic application icon.
    ImagePtr unread = ws->iconForApplication(*app);
    fixture::killChildren(children);
    children.clear();
    ASSERT_TRUE(fixture::pumpUntil([&] { fixture::turnLoops(*conn, env.loop()); },
                                   [&] { return windows->clientsOf(app->processIdentifier()).empty(); }, 8000, 5));
    std::vector<std::string> problems;
    pixels = std::async(std::launch::async, [&] { return icon->pixelsForSize(64, &problems); }).get();
    EXPECT_TRUE(allPixels(pixels, 0xFF123456));
    EXPECT_TRUE(mentions(problems, "is gone"));
    problems.clear();
    pixels = std::async(std::launch::async, [&] { return unread->pixelsForSize(64, &problems); }).get();
    EXPECT_EQ(pixels, genericApplication(64));
    EXPECT_TRUE(mentions(problems, "is gone"));
    EXPECT_TRUE(mentions(problems, "is shown instead"));
}

}  // namespace
}  // namespace qs::x11
