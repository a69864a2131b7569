#pragma once
// Keeping the shared X session's window manager clean between tests. A client window that
// is destroyed while openbox is still taking it in (a program that ends as soon as it
// starts) can stay on the manager's client list for good; the server later gives its id to
// a new window, which the manager then takes for the old one and never shows. Tests that
// start such programs withdraw the vanished clients afterwards (the ICCCM withdrawal: a
// synthetic UnmapNotify sent to the root), so that one test's clients cannot reach the
// next test's windows. Header only, for the programs that talk to the X server.

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include <xcb/xcb.h>

namespace qs::test {

// The windows of the root's _NET_CLIENT_LIST that no longer exist.
inline std::vector<xcb_window_t> vanishedClients(xcb_connection_t* c) {
    std::vector<xcb_window_t> gone;
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const char* name = "_NET_CLIENT_LIST";
    auto* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, uint16_t(std::strlen(name)), name), nullptr);
    if (!atom || atom->atom == XCB_ATOM_NONE) {
        std::free(atom);
        return gone;
    }
    auto* list = xcb_get_property_reply(c, xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 4096), nullptr);
    std::free(atom);
    if (!list) return gone;
    auto* windows = static_cast<xcb_window_t*>(xcb_get_property_value(list));
    const int n = xcb_get_property_value_length(list) / 4;
    std::vector<xcb_get_window_attributes_cookie_t> cookies;
    for (int i = 0; i < n; ++i) cookies.push_back(xcb_get_window_attributes(c, windows[i]));
    for (int i = 0; i < n; ++i) {
        xcb_generic_error_t* error = nullptr;
        auto* attributes = xcb_get_window_attributes_reply(c, cookies[size_t(i)], &error);
        if (!attributes && error && error->error_code == XCB_WINDOW) gone.push_back(windows[i]);
        std::free(attributes);
        std::free(error);
    }
    std::free(list);
    return gone;
}

// Withdraws every vanished client from the window manager and waits (up to `ms`) until
// its list holds none; answers how many were withdrawn.
inline size_t withdrawVanishedClients(xcb_connection_t* c, int ms = 5000) {
    const auto gone = vanishedClients(c);
    if (gone.empty()) return 0;
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    for (xcb_window_t window : gone) {
        xcb_unmap_notify_event_t event{};
        event.response_type = XCB_UNMAP_NOTIFY;
        event.event = root;
        event.window = window;
        xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
    }
    xcb_flush(c);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!vanishedClients(c).empty() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return gone.size();
}

}  // namespace qs::test
