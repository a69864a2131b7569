#pragma once
// Screens of an X11 desktop, through Qt's screens (RandR). Frames are the platform's:
// y-up, mirrored about the height of the first screen. Posts
// "NSApplicationDidChangeScreenParametersNotification" on the default centre once per
// event-loop turn in which screens were added, removed, made primary or changed geometry,
// when the root window changed size, and when the space other programs' panels reserve
// changed so that a visible frame moved.
//
// A screen's visible frame is its frame less what the panels of other programs reserve
// on it (their _NET_WM_STRUT_PARTIAL or _NET_WM_STRUT), never what this program's own
// panels reserve: the dock places itself in the visible frame, and its own reservation
// must not push it away from its edge. Without a window table it is the whole frame.
//
// Frames are clipped to the root window: a framebuffer resized under a screen whose
// output was switched off (`xrandr --fb`) leaves Qt reporting the old geometry, and a
// panel placed there would be off every screen. A screen wholly outside the root is
// given the root's rectangle.

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include <xcb/xcb.h>

#include "platform/desktop/Desktop.h"
#include "platform/desktop/Screen.h"

class QScreen;
class QObject;

namespace qs::x11 {

class XConnection;
class X11WindowServer;

class X11Screens : public desktop::ScreenServer {
public:
    // `connection` answers the active window for mainScreen (may be null: pointer, then
    // primary).
    explicit X11Screens(std::shared_ptr<XConnection> connection);
    ~X11Screens() override;

    // Where the other programs' struts are read (and their changes heard).
    void setWindowServer(const std::shared_ptr<X11WindowServer>& windows);

    std::vector<std::shared_ptr<Screen>> screens() override;
    std::shared_ptr<Screen> mainScreen() override;

    // The window named by _NET_ACTIVE_WINDOW (XCB_WINDOW_NONE when none or unknown).
    xcb_window_t activeWindow();
    // The screen holding the centre of the window's frame, nullptr when none does (or
    // the window is gone).
    std::shared_ptr<Screen> screenOfWindow(xcb_window_t window);
    // The screen whose frame holds the platform point, nullptr when none.
    std::shared_ptr<Screen> screenContaining(const Point& point);
    // Coordinates: X11 root coordinates (top-left, y down) and the platform's (y up),
    // mirrored about the height of the first screen: y' = height - (y + h).
    static double mirrorHeight();
    static Rect platformRectFromX11(double x, double y, double width, double height);
    static Rect x11RectFromPlatform(const Rect& platformRect);
    // The part of `monitor` (root coordinates) that `struts` (_NET_WM_STRUT_PARTIAL
    // values, measured from the edges of a root of `rootSize`) leave free: a strut that
    // covers part of the monitor cuts it back to the strut's inner edge. The whole
    // monitor when nothing would be left.
    static Rect visibleArea(const Rect& monitor, const std::vector<std::array<uint32_t, 12>>& struts,
                            const Size& rootSize);
    // The root window's size as last seen (0 x 0 before it is known).
    static Size rootWindowSize();
    // Number of posts made so far (for tests).
    int postCount() const { return posts_; }

private:
    class QtScreen;
    std::shared_ptr<Screen> wrap(QScreen* screen);
    void watch(QScreen* screen);
    // Posts the change on the next turn of the loop; one that only other panels' reserved
    // space made is posted only when it moved a visible frame.
    void changed(bool reservedSpaceOnly = false);
    std::vector<Rect> visibleFrames();

    void readRootSize();
    void onEvent(const xcb_generic_event_t* event);

    using StrutSource = std::function<std::vector<std::array<uint32_t, 12>>()>;

    std::shared_ptr<XConnection> conn_;
    int listener_ = 0;
    // Shared with the screens, which outlive this object in their holders' hands.
    std::shared_ptr<StrutSource> struts_ = std::make_shared<StrutSource>();
    std::weak_ptr<X11WindowServer> windows_;
    int windowsListener_ = 0;
    std::vector<std::pair<QScreen*, std::shared_ptr<QtScreen>>> known_;
    QObject* context_ = nullptr;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool postQueued_ = false;
    bool layoutChanged_ = false;        // a change other than reserved space is queued
    std::vector<Rect> toldVisible_;     // the visible frames as last posted (or first read)
    int posts_ = 0;
};

}  // namespace qs::x11
