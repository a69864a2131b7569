#pragma once
// Screens of an X11 desktop, through Qt's screens (RandR). Frames are the platform's:
// y-up, mirrored about the height of the first screen. Posts
// "NSApplicationDidChangeScreenParametersNotification" on the default centre once per
// event-loop turn in which screens were added, removed, made primary or changed geometry
// (not when only the work area changed: a dock's own strut must not rebuild it), and when
// the root window changed size.
//
// Frames are clipped to the root window: a framebuffer resized under a screen whose
// output was switched off (`xrandr --fb`) leaves Qt reporting the old geometry, and a
// panel placed there would be off every screen. A screen wholly outside the root is
// given the root's rectangle.

#include <memory>
#include <vector>

#include <xcb/xcb.h>

#include "platform/desktop/Desktop.h"
#include "platform/desktop/Screen.h"

class QScreen;
class QObject;

namespace qs::x11 {

class XConnection;

class X11Screens : public desktop::ScreenServer {
public:
    // `connection` answers the active window for mainScreen (may be null: pointer, then
    // primary).
    explicit X11Screens(std::shared_ptr<XConnection> connection);
    ~X11Screens() override;

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
    // Number of posts made so far (for tests).
    int postCount() const { return posts_; }

private:
    class QtScreen;
    std::shared_ptr<Screen> wrap(QScreen* screen);
    void watch(QScreen* screen);
    void changed();

    void readRootSize();
    void onEvent(const xcb_generic_event_t* event);

    std::shared_ptr<XConnection> conn_;
    int listener_ = 0;
    std::vector<std::pair<QScreen*, std::shared_ptr<QtScreen>>> known_;
    QObject* context_ = nullptr;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool postQueued_ = false;
    int posts_ = 0;
};

}  // namespace qs::x11
