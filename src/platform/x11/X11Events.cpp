#include "platform/x11/X11Events.h"

#include <cstdlib>

#include <X11/keysym.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include "platform/foundation/Log.h"
#include "platform/x11/X11Hotkeys.h"
#include "platform/x11/XConnection.h"

namespace qs::x11 {

X11Events::X11Events(std::shared_ptr<XConnection> connection) : conn_(std::move(connection)) {
    if (!conn_ || !conn_->isValid()) return;
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(conn_->connection(), &xcb_test_id);
    available_ = ext && ext->present;
    if (!available_) log("X11: no XTest extension: synthetic keys and clicks are not posted");
    symbols_ = xcb_key_symbols_alloc(conn_->connection());
}

X11Events::~X11Events() {
    // Nothing stays pressed behind us.
    {
        std::lock_guard lock(mutex_);
        for (auto k : down_) fake(XCB_KEY_RELEASE, k);
        for (auto k : modifiers_) fake(XCB_KEY_RELEASE, k);
        if (conn_ && conn_->isValid()) xcb_flush(conn_->connection());
    }
    if (symbols_) xcb_key_symbols_free(symbols_);
}

xcb_keycode_t X11Events::keycodeFor(uint32_t keysym) {
    if (!symbols_ || keysym == 0) return 0;
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols_, keysym);
    xcb_keycode_t code = codes ? codes[0] : 0;
    free(codes);
    return code == XCB_NO_SYMBOL ? 0 : code;
}

void X11Events::fake(uint8_t type, uint8_t detail, int16_t x, int16_t y) {
    if (!available_ || !conn_ || !conn_->isValid()) return;
    xcb_test_fake_input(conn_->connection(), type, detail, XCB_CURRENT_TIME,
                        type == XCB_MOTION_NOTIFY ? conn_->root() : xcb_window_t(XCB_WINDOW_NONE), x, y, 0);
}

void X11Events::setModifiers(uint64_t flags) {
    static const std::pair<uint64_t, uint32_t> kModifiers[] = {
        {desktop::kCGEventFlagMaskShift, XK_Shift_L},
        {desktop::kCGEventFlagMaskControl, XK_Control_L},
        {desktop::kCGEventFlagMaskAlternate, XK_Alt_L},
        {desktop::kCGEventFlagMaskCommand, XK_Super_L},
    };
    for (auto& [flag, keysym] : kModifiers) {
        xcb_keycode_t code = keycodeFor(keysym);
        if (!code) continue;
        bool want = (flags & flag) != 0;
        bool held = modifiers_.count(code) > 0;
        if (want && !held) {
            fake(XCB_KEY_PRESS, code);
            modifiers_.insert(code);
        } else if (!want && held) {
            fake(XCB_KEY_RELEASE, code);
            modifiers_.erase(code);
        }
    }
}

void X11Events::postKey(uint16_t keyCode, bool down, uint64_t flags) {
    std::lock_guard lock(mutex_);
    xcb_keycode_t code = keycodeFor(X11Hotkeys::keysymForKeyCode(keyCode));
    if (!code) {
        log("X11: no key for key code ", keyCode);
        return;
    }
    if (down) {
        setModifiers(flags);
        fake(XCB_KEY_PRESS, code);
        down_.insert(code);
    } else {
        // A key up releases the key (pressed or not) and, with no flags, the modifiers
        // held for it.
        fake(XCB_KEY_RELEASE, code);
        down_.erase(code);
        setModifiers(flags);
    }
    xcb_flush(conn_->connection());
}

void X11Events::postMouse(desktop::MouseEventType type, const Point& location, uint64_t flags) {
    std::lock_guard lock(mutex_);
    if (!available_) return;
    setModifiers(flags);
    fake(XCB_MOTION_NOTIFY, 0, int16_t(location.x), int16_t(location.y));
    if (type == desktop::MouseEventType::LeftDown) fake(XCB_BUTTON_PRESS, 1);
    if (type == desktop::MouseEventType::LeftUp) fake(XCB_BUTTON_RELEASE, 1);
    xcb_flush(conn_->connection());
}

uint16_t X11Events::pointerMask() {
    if (!conn_ || !conn_->isValid()) return 0;
    auto* c = conn_->connection();
    xcb_generic_error_t* e = nullptr;
    auto* reply = xcb_query_pointer_reply(c, xcb_query_pointer(c, conn_->root()), &e);
    free(e);
    if (!reply) return 0;
    uint16_t mask = reply->mask;
    free(reply);
    return mask;
}

uint32_t X11Events::currentButtonState() {
    uint16_t mask = pointerMask();
    uint32_t state = 0;
    if (mask & XCB_BUTTON_MASK_1) state |= 1u << 0;
    if (mask & XCB_BUTTON_MASK_3) state |= 1u << 1;
    if (mask & XCB_BUTTON_MASK_2) state |= 1u << 2;
    return state;
}

uint32_t X11Events::currentKeyModifiers() {
    // Command is Super (Mod4) and Option is Alt (Mod1), as the hotkeys and synthetic keys
    // map them.
    uint16_t mask = pointerMask();
    uint32_t state = 0;
    if (mask & XCB_MOD_MASK_4) state |= cmdKey;
    if (mask & XCB_MOD_MASK_SHIFT) state |= shiftKey;
    if (mask & XCB_MOD_MASK_LOCK) state |= alphaLock;
    if (mask & XCB_MOD_MASK_1) state |= optionKey;
    if (mask & XCB_MOD_MASK_CONTROL) state |= controlKey;
    return state;
}

KeyMap X11Events::currentKeyMap() {
    KeyMap map{};
    if (!conn_ || !conn_->isValid()) return map;
    auto* c = conn_->connection();
    xcb_generic_error_t* e = nullptr;
    auto* reply = xcb_query_keymap_reply(c, xcb_query_keymap(c), &e);
    free(e);
    if (!reply) return map;
    std::lock_guard lock(mutex_);
    // Each virtual key code is the X key that carries its symbol in the current layout.
    for (uint16_t code = 0; code < 128; ++code) {
        xcb_keycode_t x = keycodeFor(X11Hotkeys::keysymForKeyCode(code));
        if (x && (reply->keys[x / 8] & (1u << (x % 8)))) map[code / 8] |= uint8_t(1u << (code % 8));
    }
    free(reply);
    return map;
}

Point X11Events::pointerLocation() {
    if (!conn_ || !conn_->isValid()) return PointZero;
    auto* c = conn_->connection();
    xcb_generic_error_t* e = nullptr;
    auto* reply = xcb_query_pointer_reply(c, xcb_query_pointer(c, conn_->root()), &e);
    free(e);
    if (!reply) return PointZero;
    Point p{double(reply->root_x), double(reply->root_y)};
    free(reply);
    return p;
}

}  // namespace qs::x11
