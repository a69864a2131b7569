#include "platform/x11/X11Hotkeys.h"

#include <cstdlib>
#include <unordered_map>

#include <X11/keysym.h>
#include <xcb/xcb_keysyms.h>

#include "platform/desktop/Keys.h"
#include "platform/foundation/Log.h"
#include "platform/x11/XConnection.h"

namespace qs::x11 {

namespace {

// Lock states that must not stop a hotkey: Caps Lock and Num Lock (Mod2).
constexpr uint16_t kIgnoredMasks[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr uint16_t kRelevantMods =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

const std::unordered_map<uint16_t, uint32_t>& keysymTable() {
    static const std::unordered_map<uint16_t, uint32_t> table = {
        {kVK_ANSI_A, XK_a}, {kVK_ANSI_B, XK_b}, {kVK_ANSI_C, XK_c}, {kVK_ANSI_D, XK_d},
        {kVK_ANSI_E, XK_e}, {kVK_ANSI_F, XK_f}, {kVK_ANSI_G, XK_g}, {kVK_ANSI_H, XK_h},
        {kVK_ANSI_I, XK_i}, {kVK_ANSI_J, XK_j}, {kVK_ANSI_K, XK_k}, {kVK_ANSI_L, XK_l},
        {kVK_ANSI_M, XK_m}, {kVK_ANSI_N, XK_n}, {kVK_ANSI_O, XK_o}, {kVK_ANSI_P, XK_p},
        {kVK_ANSI_Q, XK_q}, {kVK_ANSI_R, XK_r}, {kVK_ANSI_S, XK_s}, {kVK_ANSI_T, XK_t},
        {kVK_ANSI_U, XK_u}, {kVK_ANSI_V, XK_v}, {kVK_ANSI_W, XK_w}, {kVK_ANSI_X, XK_x},
        {kVK_ANSI_Y, XK_y}, {kVK_ANSI_Z, XK_z},
        {kVK_ANSI_0, XK_0}, {kVK_ANSI_1, XK_1}, {kVK_ANSI_2, XK_2}, {kVK_ANSI_3, XK_3},
        {kVK_ANSI_4, XK_4}, {kVK_ANSI_5, XK_5}, {kVK_ANSI_6, XK_6}, {kVK_ANSI_7, XK_7},
        {kVK_ANSI_8, XK_8}, {kVK_ANSI_9, XK_9},
        {kVK_ANSI_Equal, XK_equal}, {kVK_ANSI_Minus, XK_minus}, {kVK_ANSI_RightBracket, XK_bracketright},
        {kVK_ANSI_LeftBracket, XK_bracketleft}, {kVK_ANSI_Quote, XK_apostrophe},
        {kVK_ANSI_Semicolon, XK_semicolon}, {kVK_ANSI_Backslash, XK_backslash}, {kVK_ANSI_Comma, XK_comma},
        {kVK_ANSI_Slash, XK_slash}, {kVK_ANSI_Period, XK_period}, {kVK_ANSI_Grave, XK_grave},
        {kVK_Return, XK_Return}, {kVK_Tab, XK_Tab}, {kVK_Space, XK_space}, {kVK_Delete, XK_BackSpace},
        {kVK_Escape, XK_Escape}, {kVK_ForwardDelete, XK_Delete}, {kVK_Home, XK_Home}, {kVK_End, XK_End},
        {kVK_PageUp, XK_Page_Up}, {kVK_PageDown, XK_Page_Down},
        {kVK_LeftArrow, XK_Left}, {kVK_RightArrow, XK_Right}, {kVK_DownArrow, XK_Down}, {kVK_UpArrow, XK_Up},
        {kVK_F1, XK_F1}, {kVK_F2, XK_F2}, {kVK_F3, XK_F3}, {kVK_F4, XK_F4}, {kVK_F5, XK_F5},
        {kVK_F6, XK_F6}, {kVK_F7, XK_F7}, {kVK_F8, XK_F8}, {kVK_F9, XK_F9}, {kVK_F10, XK_F10},
        {kVK_F11, XK_F11}, {kVK_F12, XK_F12}, {kVK_F13, XK_F13}, {kVK_F14, XK_F14}, {kVK_F15, XK_F15},
        {kVK_F16, XK_F16}, {kVK_F17, XK_F17}, {kVK_F18, XK_F18}, {kVK_F19, XK_F19}, {kVK_F20, XK_F20},
    };
    return table;
}

}  // namespace

uint32_t X11Hotkeys::keysymForKeyCode(uint16_t keyCode) {
    auto it = keysymTable().find(keyCode);
    return it == keysymTable().end() ? 0 : it->second;
}

uint16_t X11Hotkeys::modifierMaskForFlags(uint64_t flags) {
    uint16_t mask = 0;
    if (flags & NSEventModifierFlagShift) mask |= XCB_MOD_MASK_SHIFT;
    if (flags & NSEventModifierFlagControl) mask |= XCB_MOD_MASK_CONTROL;
    if (flags & NSEventModifierFlagOption) mask |= XCB_MOD_MASK_1;
    if (flags & NSEventModifierFlagCommand) mask |= XCB_MOD_MASK_4;
    return mask;
}

X11Hotkeys::X11Hotkeys(std::shared_ptr<XConnection> connection) : conn_(std::move(connection)) {
    if (!conn_) return;
    symbols_ = xcb_key_symbols_alloc(conn_->connection());
    listener_ = conn_->addEventListener([this](const xcb_generic_event_t* e) { onEvent(e); });
}

X11Hotkeys::~X11Hotkeys() {
    if (conn_) {
        for (auto& [id, r] : registrations_) ungrab(r);
        conn_->flush();
        conn_->removeEventListener(listener_);
    }
    if (symbols_) xcb_key_symbols_free(symbols_);
}

bool X11Hotkeys::grab(Registration& r) {
    r.keycodes.clear();
    if (!symbols_) return false;
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols_, r.keysym);
    if (codes) {
        for (xcb_keycode_t* k = codes; *k != XCB_NO_SYMBOL; ++k) r.keycodes.push_back(*k);
        free(codes);
    }
    if (r.keycodes.empty()) {
        log("X11: the keyboard has no key for keysym 0x", std::hex, r.keysym);
        return false;
    }

    xcb_connection_t* c = conn_->connection();
    std::vector<xcb_void_cookie_t> cookies;
    for (xcb_keycode_t k : r.keycodes)
        for (uint16_t extra : kIgnoredMasks)
            cookies.push_back(xcb_grab_key_checked(c, 1, conn_->root(), uint16_t(r.modifiers | extra), k,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    bool ok = true;
    for (auto cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(c, cookie)) {
            if (ok) {
                log("X11: key grab refused (error ", int(error->error_code),
                    error->error_code == XCB_ACCESS ? ", the combination is taken by another program" : "", ")");
            }
            ok = false;
            free(error);
        }
    }
    if (!ok) {
        // Give back the variants that were granted, and wait until the server has done
        // so: the owner of the combination may want all of them next.
        ungrab(r);
        free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        r.keycodes.clear();
    }
    return ok;
}

void X11Hotkeys::ungrab(const Registration& r) {
    for (xcb_keycode_t k : r.keycodes)
        for (uint16_t extra : kIgnoredMasks)
            xcb_ungrab_key(conn_->connection(), k, conn_->root(), uint16_t(r.modifiers | extra));
}

int X11Hotkeys::registerHotkey(uint16_t keyCode, uint64_t modifierFlags, std::function<void()> onPress) {
    if (!conn_ || !conn_->isValid()) {
        log("X11: no display connection; hotkey not registered");
        return -1;
    }
    Registration r;
    r.keysym = keysymForKeyCode(keyCode);
    if (r.keysym == 0) {
        log("X11: key code ", keyCode, " has no X key; hotkey not registered");
        return -1;
    }
    r.modifiers = modifierMaskForFlags(modifierFlags);
    for (auto& [id, other] : registrations_) {
        if (other.keysym == r.keysym && other.modifiers == r.modifiers) {
            log("X11: the hotkey (key code ", keyCode, ") is already registered; not registered again");
            return -1;
        }
    }
    if (!grab(r)) return -1;
    r.onPress = std::make_shared<std::function<void()>>(std::move(onPress));
    int id = nextId_++;
    registrations_.emplace(id, std::move(r));
    // Replies read while checking the grabs may have queued events behind them.
    conn_->processPendingEvents();
    return id;
}

void X11Hotkeys::unregisterHotkey(int id) {
    auto it = registrations_.find(id);
    if (it == registrations_.end()) return;
    ungrab(it->second);
    conn_->flush();
    registrations_.erase(it);
}

void X11Hotkeys::onEvent(const xcb_generic_event_t* event) {
    uint8_t type = event->response_type & 0x7f;
    if (type == XCB_MAPPING_NOTIFY) {
        auto* e = reinterpret_cast<const xcb_mapping_notify_event_t*>(event);
        if (e->request != XCB_MAPPING_KEYBOARD && e->request != XCB_MAPPING_MODIFIER) return;
        xcb_refresh_keyboard_mapping(symbols_, const_cast<xcb_mapping_notify_event_t*>(e));
        // The keycodes of our keys may have moved: grab them again.
        for (auto& [id, r] : registrations_) {
            ungrab(r);
            if (!grab(r)) log("X11: a hotkey could not be grabbed again after a keyboard change");
        }
        conn_->flush();
        return;
    }
    if (type == XCB_KEY_RELEASE) {
        auto* e = reinterpret_cast<const xcb_key_release_event_t*>(event);
        lastReleaseTime_ = e->time;
        lastReleaseKey_ = e->detail;
        return;
    }
    if (type != XCB_KEY_PRESS) return;
    auto* e = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (e->event != conn_->root()) return;
    // Auto-repeat sends a release and a press with the same time: one press only.
    if (e->detail == lastReleaseKey_ && e->time == lastReleaseTime_ && e->time != 0) return;
    uint16_t mods = e->state & kRelevantMods;
    for (auto& [id, r] : registrations_) {
        if (r.modifiers != mods) continue;
        for (xcb_keycode_t k : r.keycodes) {
            if (k == e->detail) {
                auto fn = r.onPress;  // the action may unregister it
                if (fn && *fn) (*fn)();
                return;
            }
        }
    }
}

}  // namespace qs::x11
