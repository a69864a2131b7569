#pragma once
// Synthetic keys and pointer events through the XTest extension. Modifier flags are
// pressed around the key (Control, Shift, Alt for Option, Super for Command) and
// released after it; every key pressed is released again. The live button, modifier and
// key state is read from the server (QueryPointer on the root window, QueryKeymap), so
// it holds while the pointer is over another program.

#include <memory>
#include <mutex>
#include <set>

#include <xcb/xcb.h>

#include "platform/desktop/SyntheticEvents.h"

struct _XCBKeySymbols;

namespace qs::x11 {

class XConnection;

class X11Events : public desktop::EventPoster {
public:
    explicit X11Events(std::shared_ptr<XConnection> connection);
    ~X11Events() override;

    void postKey(uint16_t keyCode, bool down, uint64_t flags) override;
    void postMouse(desktop::MouseEventType type, const Point& location, uint64_t flags) override;
    Point pointerLocation() override;
    uint32_t currentButtonState() override;
    uint32_t currentKeyModifiers() override;
    KeyMap currentKeyMap() override;

private:
    xcb_keycode_t keycodeFor(uint32_t keysym);
    void fake(uint8_t type, uint8_t detail, int16_t x = 0, int16_t y = 0);
    void setModifiers(uint64_t flags);
    // The root window's pointer mask (buttons and modifiers); 0 without a server.
    uint16_t pointerMask();

    std::shared_ptr<XConnection> conn_;
    _XCBKeySymbols* symbols_ = nullptr;
    std::mutex mutex_;
    std::set<xcb_keycode_t> down_;       // keys we hold
    std::set<xcb_keycode_t> modifiers_;  // modifier keys we hold
    bool available_ = false;
};

}  // namespace qs::x11
