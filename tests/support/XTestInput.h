#pragma once
// Fake input through the XTest extension (pointer motion, clicks, keys), for the tests that
// drive the dock through the X server: the X11 tests of a panel in the test process and
// the integration tests of the program in a child process. Header only, xcb alone.

#include <cstdint>
#include <cstdlib>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

namespace qs::test::xinput {

// One fake input event: motion goes to (x, y) on `root` (or relative to nothing when
// `root` is XCB_WINDOW_NONE and the server takes it as absolute on the pointer's screen).
inline void fakeInput(xcb_connection_t* c, uint8_t type, uint8_t detail, xcb_window_t root = XCB_WINDOW_NONE,
                      int x = 0, int y = 0) {
    xcb_test_fake_input(c, type, detail, XCB_CURRENT_TIME, root, int16_t(x), int16_t(y), 0);
    xcb_flush(c);
}
inline void fakeMotion(xcb_connection_t* c, int x, int y, xcb_window_t root = XCB_WINDOW_NONE) {
    fakeInput(c, XCB_MOTION_NOTIFY, 0, root, x, y);
}
// A press and a release of `button` where the pointer is.
inline void fakeClick(xcb_connection_t* c, uint8_t button = 1) {
    xcb_test_fake_input(c, XCB_BUTTON_PRESS, button, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    xcb_test_fake_input(c, XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    xcb_flush(c);
}
// A press and a release of the first key that types `sym`.
inline void fakeKey(xcb_connection_t* c, xcb_key_symbols_t* symbols, xcb_keysym_t sym) {
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, sym);
    xcb_keycode_t k = codes ? codes[0] : 0;
    free(codes);
    xcb_test_fake_input(c, XCB_KEY_PRESS, k, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    xcb_test_fake_input(c, XCB_KEY_RELEASE, k, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    xcb_flush(c);
}

}  // namespace qs::test::xinput
