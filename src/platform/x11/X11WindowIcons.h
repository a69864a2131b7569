#pragma once
// The icons windows give the window manager (_NET_WM_ICON, else the WM_HINTS icon pixmap
// and its mask), read from the X server when they are drawn, on whatever thread draws
// them (the icon cache's workers), over a connection of their own: the main connection's
// events and atom cache belong to the main thread, and a read of up to 1 MiB of icon
// data must not hold up its requests.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QImage>
#include <xcb/xcb.h>

#include "platform/foundation/Image.h"

namespace qs::x11 {

// A connection to the X server for reading window icons from any thread, opened on the
// first read (and again after the server connection broke). Reads are one at a time.
// The connection asks for no events; the errors of its requests are read and dropped.
class WindowIconReader {
public:
    // `display` as for xcb_connect (":0"; empty: $DISPLAY).
    explicit WindowIconReader(std::string display);
    ~WindowIconReader();
    WindowIconReader(const WindowIconReader&) = delete;
    WindowIconReader& operator=(const WindowIconReader&) = delete;

    // The icon of the first of `windows` that gives one, the picture best for drawing at
    // `pixelSize` pixels a side (0: kIconPoints): of _NET_WM_ICON, the smallest at least
    // that wide, else the widest; else the WM_HINTS pixmap with its mask. Null when none
    // does; then, and for every part that failed on the way (a window that is gone, a
    // malformed _NET_WM_ICON, a pixmap that cannot be read), a line in `problems`.
    QImage read(const std::vector<uint32_t>& windows, int pixelSize, std::vector<std::string>& problems);

private:
    // The connection, opened when needed; nullptr (and the reason in `problems`) when the
    // server cannot be reached. Called with mutex_ held.
    xcb_connection_t* connection(std::vector<std::string>& problems);
    void disconnect();

    std::string display_;
    std::mutex mutex_;
    xcb_connection_t* conn_ = nullptr;
    xcb_atom_t netWmIcon_ = XCB_ATOM_NONE;
};

// A deferred-image source over the icon of `windows` (taken from the window list on the
// main thread), read by `reader` each time it is loaded; `program` names them in log
// lines. When no window gives an icon (they are gone, or give none, or a broken one):
// the icon an earlier load read, else what `fallback` gives.
ImageSourcePtr windowIconSource(std::shared_ptr<WindowIconReader> reader, std::vector<uint32_t> windows,
                                std::string program, ImageSourcePtr fallback);

}  // namespace qs::x11
