#include "platform/x11/X11WindowIcons.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <xcb/xcb_icccm.h>
#include <xcb/xcb_image.h>

#include "platform/desktop/IconSources.h"

namespace qs::x11 {

namespace {

// The largest side a window icon is read at.
constexpr uint32_t kMaxWindowIconSide = 512;
// At most 1 MiB of 32-bit items of _NET_WM_ICON: a full set of icons up to 256 x 256 fits.
constexpr uint32_t kMaxIconItems = 1u << 18;

std::string hex(uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", id);
    return text;
}

std::string sideText(uint32_t w, uint32_t h) { return std::to_string(w) + " x " + std::to_string(h); }

// Errors of a window's requests: BadWindow says the window is gone.
struct Failure {
    bool gone = false;
    std::string why;  // empty: nothing went wrong (the window may still give no icon)
};

void take(xcb_generic_error_t* error, const std::string& what, Failure& failure) {
    if (!error) return;
    if (error->error_code == XCB_WINDOW) {
        failure.gone = true;
        failure.why = "it is gone";
    } else {
        failure.why = "the server refused to read its " + what + " (X error " + std::to_string(error->error_code) + ")";
    }
    free(error);
}

// The best picture of a _NET_WM_ICON reply (ARGB, a list of width, height, pixels) for
// drawing at `side` pixels: the smallest at least that wide, else the widest. Null when
// the property is missing or holds no usable picture; a malformed list (a picture that
// does not fit the items left, a zero or too large side, a property cut at the read
// limit) is reported in `malformed`, and the pictures before the fault still count.
QImage bestNetWmIcon(const xcb_get_property_reply_t* reply, uint32_t side, std::string& malformed) {
    if (!reply || reply->type == XCB_ATOM_NONE) return {};  // no such property
    if (reply->type != XCB_ATOM_CARDINAL || reply->format != 32) {
        malformed = "it is not a list of 32-bit numbers";
        return {};
    }
    const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(const_cast<xcb_get_property_reply_t*>(reply)));
    const size_t n = size_t(xcb_get_property_value_length(const_cast<xcb_get_property_reply_t*>(reply))) / 4;
    size_t i = 0;
    uint32_t bestW = 0, bestH = 0;
    size_t bestAt = 0;
    while (i + 2 <= n) {
        const uint32_t w = v[i], h = v[i + 1];
        if (w == 0 || h == 0) {
            malformed = "a picture of " + sideText(w, h) + " pixels";
            break;
        }
        if (w > kMaxWindowIconSide || h > kMaxWindowIconSide) {
            malformed = "a picture of " + sideText(w, h) + " pixels, more than " + std::to_string(kMaxWindowIconSide) +
                        " a side";
            break;
        }
        if (uint64_t(w) * h > n - i - 2) {
            malformed = reply->bytes_after > 0
                            ? "it is longer than " + std::to_string(kMaxIconItems * 4 / 1024) + " KiB"
                            : "a picture of " + sideText(w, h) + " pixels has only " + std::to_string(n - i - 2) +
                                  " of them";
            break;
        }
        const bool better = bestW == 0 || (bestW < side ? w > bestW : (w >= side && w < bestW));
        if (better) {
            bestW = w;
            bestH = h;
            bestAt = i + 2;
        }
        i += 2 + size_t(w) * h;
    }
    if (malformed.empty() && i != n) malformed = std::to_string(n - i) + " stray number(s) at its end";
    if (!bestW) return {};
    QImage best(int(bestW), int(bestH), QImage::Format_ARGB32);
    if (best.isNull()) return {};
    for (uint32_t y = 0; y < bestH; ++y)
        std::memcpy(best.scanLine(int(y)), v + bestAt + size_t(y) * bestW, size_t(bestW) * 4);
    return best;
}

// A pixmap read back from the server: a one-bit icon is drawn black on white, a
// full-depth one in its own colours (true colour assumed). Null, with the reason in
// `why`, when it cannot be read (freed, too large).
QImage pixmapImage(xcb_connection_t* c, xcb_pixmap_t pixmap, uint8_t* depthOut, std::string& why) {
    xcb_generic_error_t* error = nullptr;
    auto* geo = xcb_get_geometry_reply(c, xcb_get_geometry(c, pixmap), &error);
    if (error || !geo) {
        why = "pixmap " + hex(pixmap) + " is gone";
        free(error);
        free(geo);
        return {};
    }
    const uint16_t w = geo->width, h = geo->height;
    const uint8_t depth = geo->depth;
    free(geo);
    if (w == 0 || h == 0 || w > kMaxWindowIconSide || h > kMaxWindowIconSide) {
        why = "pixmap " + hex(pixmap) + " is " + sideText(w, h) + " pixels";
        return {};
    }
    // An error of this request (the pixmap freed meanwhile) is queued as an event and
    // dropped with the others after the read.
    xcb_image_t* image = xcb_image_get(c, pixmap, 0, 0, w, h, ~0u,
                                       depth == 1 ? XCB_IMAGE_FORMAT_XY_PIXMAP : XCB_IMAGE_FORMAT_Z_PIXMAP);
    if (!image) {
        why = "pixmap " + hex(pixmap) + " cannot be read";
        return {};
    }
    QImage out(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const uint32_t p = xcb_image_get_pixel(image, uint32_t(x), uint32_t(y));
            line[x] = depth == 1 ? (p ? qRgb(0, 0, 0) : qRgb(255, 255, 255)) : (0xFF000000u | (p & 0xFFFFFFu));
        }
    }
    xcb_image_destroy(image);
    *depthOut = depth;
    return out;
}

// The WM_HINTS icon pixmap with its mask applied; null when the hints name none or it
// cannot be read (the reason in `why`).
QImage wmHintsIcon(xcb_connection_t* c, const xcb_icccm_wm_hints_t& hints, std::string& why) {
    if (!(hints.flags & XCB_ICCCM_WM_HINT_ICON_PIXMAP) || hints.icon_pixmap == XCB_PIXMAP_NONE) return {};
    uint8_t depth = 0;
    std::string whyNot;
    QImage icon = pixmapImage(c, hints.icon_pixmap, &depth, whyNot);
    if (icon.isNull()) {
        why = "its WM_HINTS icon cannot be used: " + whyNot;
        return {};
    }
    if ((hints.flags & XCB_ICCCM_WM_HINT_ICON_MASK) && hints.icon_mask != XCB_PIXMAP_NONE) {
        uint8_t maskDepth = 0;
        QImage mask = pixmapImage(c, hints.icon_mask, &maskDepth, whyNot);
        if (!mask.isNull() && maskDepth == 1 && mask.size() == icon.size()) {
            for (int y = 0; y < icon.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(icon.scanLine(y));
                const auto* m = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
                for (int x = 0; x < icon.width(); ++x)
                    if (qRed(m[x]) != 0) line[x] = qRgba(0, 0, 0, 0);  // mask bit 0: outside the icon
            }
        } else {
            why = "the mask of its WM_HINTS icon cannot be used (" +
                  (mask.isNull() ? whyNot : "pixmap " + hex(hints.icon_mask) + " is no one-bit picture of the icon's size") +
                  "): the icon is shown without it";
        }
    }
    return icon;
}

}  // namespace

WindowIconReader::WindowIconReader(std::string display) : display_(std::move(display)) {}

WindowIconReader::~WindowIconReader() { disconnect(); }

void WindowIconReader::disconnect() {
    if (conn_) xcb_disconnect(conn_);
    conn_ = nullptr;
    netWmIcon_ = XCB_ATOM_NONE;
}

xcb_connection_t* WindowIconReader::connection(std::vector<std::string>& problems) {
    if (conn_ && !xcb_connection_has_error(conn_)) return conn_;
    disconnect();
    const std::string shown = display_.empty() ? "$DISPLAY" : "\"" + display_ + "\"";
    xcb_connection_t* c = xcb_connect(display_.empty() ? nullptr : display_.c_str(), nullptr);
    if (!c || xcb_connection_has_error(c)) {
        problems.push_back("cannot connect to the display " + shown + " to read window icons");
        if (c) xcb_disconnect(c);
        return nullptr;
    }
    static const char name[] = "_NET_WM_ICON";
    auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(sizeof name - 1), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    if (atom == XCB_ATOM_NONE) {
        problems.push_back("the display " + shown + " does not answer: window icons cannot be read");
        xcb_disconnect(c);
        return nullptr;
    }
    conn_ = c;
    netWmIcon_ = atom;
    return conn_;
}

QImage WindowIconReader::read(const std::vector<uint32_t>& windows, int pixelSize, std::vector<std::string>& problems) {
    const uint32_t side = uint32_t(pixelSize > 0 ? pixelSize : desktop::kIconPoints);
    std::lock_guard lock(mutex_);
    xcb_connection_t* c = connection(problems);
    if (!c) return {};
    QImage icon;
    for (uint32_t window : windows) {
        // Both asked at once: one wait for the two answers.
        auto iconCookie = xcb_get_property(c, 0, window, netWmIcon_, XCB_ATOM_CARDINAL, 0, kMaxIconItems);
        auto hintsCookie = xcb_icccm_get_wm_hints(c, window);
        Failure failure;
        xcb_generic_error_t* error = nullptr;
        auto* reply = xcb_get_property_reply(c, iconCookie, &error);
        take(error, "_NET_WM_ICON", failure);
        std::string malformed;
        if (reply) icon = bestNetWmIcon(reply, side, malformed);
        free(reply);
        if (!malformed.empty()) problems.push_back("the _NET_WM_ICON of window " + hex(window) + " is malformed: " + malformed);
        if (!icon.isNull() || failure.gone) {
            xcb_discard_reply(c, hintsCookie.sequence);
        } else {
            xcb_icccm_wm_hints_t hints{};
            error = nullptr;
            const bool has = xcb_icccm_get_wm_hints_reply(c, hintsCookie, &hints, &error);
            take(error, "WM_HINTS", failure);
            std::string why;
            if (has) icon = wmHintsIcon(c, hints, why);
            if (!why.empty()) problems.push_back("window " + hex(window) + ": " + why);
        }
        if (!failure.why.empty()) problems.push_back("window " + hex(window) + ": " + failure.why);
        if (!icon.isNull()) break;
    }
    // Errors of requests whose answers were not waited for come as events: none is kept.
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(c)) free(event);
    if (xcb_connection_has_error(c)) {
        problems.push_back("the connection to the display broke while window icons were read");
        disconnect();
    }
    return icon;
}

namespace {

class WindowIconSource : public ImageSource {
public:
    WindowIconSource(std::shared_ptr<WindowIconReader> reader, std::vector<uint32_t> windows, std::string program,
                     ImageSourcePtr fallback)
        : reader_(std::move(reader)), windows_(std::move(windows)), program_(std::move(program)),
          fallback_(std::move(fallback)) {}

    QImage load(int pixelSize, std::vector<std::string>& problems) const override {
        std::vector<std::string> own;
        QImage icon = reader_ ? reader_->read(windows_, pixelSize, own) : QImage();
        for (const auto& line : own) problems.push_back("the icon of " + program_ + ": " + line);
        if (!icon.isNull()) {
            std::lock_guard lock(mutex_);
            lastRead_ = icon;
        } else {
            // Windows gone since an earlier read: what they gave then (an image kept
            // in a list, or archived after the program quit, keeps its picture).
            std::lock_guard lock(mutex_);
            icon = lastRead_;
        }
        if (!icon.isNull()) {
            // Drawn without a size: kept within the icon size.
            const int side = desktop::kIconPoints;
            if (pixelSize <= 0 && (icon.width() > side || icon.height() > side))
                icon = icon.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            return icon;
        }
        problems.push_back("no window of " + program_ + " gives an icon" +
                           (fallback_ ? "; " + fallback_->description() + " is shown instead" : std::string()));
        return fallback_ ? fallback_->load(pixelSize, problems) : QImage();
    }

    std::string description() const override { return "the window icon of " + program_; }

private:
    std::shared_ptr<WindowIconReader> reader_;
    std::vector<uint32_t> windows_;
    std::string program_;
    ImageSourcePtr fallback_;
    mutable std::mutex mutex_;
    mutable QImage lastRead_;  // the icon of the last read that found one
};

}  // namespace

ImageSourcePtr windowIconSource(std::shared_ptr<WindowIconReader> reader, std::vector<uint32_t> windows,
                                std::string program, ImageSourcePtr fallback) {
    return std::make_shared<WindowIconSource>(std::move(reader), std::move(windows), std::move(program),
                                              std::move(fallback));
}

}  // namespace qs::x11
