#pragma once
// Global hotkeys on X11: a passive key grab on the root window for each registration,
// also with Caps Lock and Num Lock on. Key codes are the platform's ANSI key codes,
// mapped to keysyms and then to the keyboard's keycodes; Command is Super (Mod4),
// Option is Alt (Mod1). Holding the keys down (auto-repeat) counts as one press.

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include <xcb/xcb.h>

#include "platform/desktop/HotkeyService.h"

struct _XCBKeySymbols;

namespace qs::x11 {

class XConnection;

class X11Hotkeys : public desktop::HotkeyService {
public:
    explicit X11Hotkeys(std::shared_ptr<XConnection> connection);
    ~X11Hotkeys() override;

    int registerHotkey(uint16_t keyCode, uint64_t modifierFlags, std::function<void()> onPress) override;
    void unregisterHotkey(int id) override;

    // The keysym of an ANSI key code (0 when it has none), and the X modifier mask of
    // platform modifier flags.
    static uint32_t keysymForKeyCode(uint16_t keyCode);
    static uint16_t modifierMaskForFlags(uint64_t modifierFlags);

private:
    struct Registration {
        uint32_t keysym = 0;
        uint16_t modifiers = 0;
        std::vector<xcb_keycode_t> keycodes;
        std::shared_ptr<std::function<void()>> onPress;
    };
    bool grab(Registration& r);
    void ungrab(const Registration& r);
    void onEvent(const xcb_generic_event_t* event);

    std::shared_ptr<XConnection> conn_;
    _XCBKeySymbols* symbols_ = nullptr;
    int listener_ = 0;
    std::map<int, Registration> registrations_;
    int nextId_ = 1;
    xcb_timestamp_t lastReleaseTime_ = 0;
    xcb_keycode_t lastReleaseKey_ = 0;
};

}  // namespace qs::x11
