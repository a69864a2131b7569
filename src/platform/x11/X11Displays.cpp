#include "platform/x11/X11Displays.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/foundation/Log.h"
#include "platform/x11/XConnection.h"

namespace qs::x11 {

namespace {

template <class T>
struct Reply {
    T* p = nullptr;
    explicit Reply(T* r) : p(r) {}
    ~Reply() { free(p); }
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

constexpr uint16_t kEventMask = XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE |
                                XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE;

}  // namespace

X11Displays::X11Displays(std::shared_ptr<XConnection> connection) : conn_(std::move(connection)) {
    if (!conn_ || !conn_->isValid()) return;
    xcb_connection_t* c = conn_->connection();
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_randr_id);
    if (!ext || !ext->present) {
        log("X11: the display server has no RandR: no displays are reported");
        return;
    }
    // Outputs and CRTCs need RandR 1.2; the version must be asked before any request.
    Reply version(xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
    if (!version || (version->major_version == 1 && version->minor_version < 2)) {
        log("X11: the display server's RandR is older than 1.2: no displays are reported");
        return;
    }
    randr_ = true;
    firstEvent_ = ext->first_event;
    listener_ = conn_->addEventListener([this](const xcb_generic_event_t* e) { onEvent(e); });
}

X11Displays::~X11Displays() {
    if (conn_ && listener_) {
        conn_->removeEventListener(listener_);
        if (!callbacks_.empty()) selectEvents(false);
    }
}

bool X11Displays::usable() const { return randr_ && conn_ && conn_->isValid(); }

xcb_timestamp_t X11Displays::configTimestamp() {
    xcb_connection_t* c = conn_->connection();
    Reply res(xcb_randr_get_screen_resources_current_reply(
        c, xcb_randr_get_screen_resources_current(c, conn_->root()), nullptr));
    return res ? res->config_timestamp : XCB_CURRENT_TIME;
}

std::optional<std::vector<desktop::DisplayID>> X11Displays::activeDisplays(size_t maxCount) {
    if (!usable()) return std::nullopt;
    xcb_connection_t* c = conn_->connection();
    Reply res(xcb_randr_get_screen_resources_current_reply(
        c, xcb_randr_get_screen_resources_current(c, conn_->root()), nullptr));
    if (!res) return std::nullopt;
    const xcb_randr_output_t* outputs = xcb_randr_get_screen_resources_current_outputs(res.p);
    int count = xcb_randr_get_screen_resources_current_outputs_length(res.p);
    // Ask for every output at once, then read the answers.
    std::vector<xcb_randr_get_output_info_cookie_t> cookies;
    cookies.reserve(size_t(std::max(count, 0)));
    for (int i = 0; i < count; ++i)
        cookies.push_back(xcb_randr_get_output_info(c, outputs[i], res->config_timestamp));
    std::vector<desktop::DisplayID> ids;
    for (int i = 0; i < count; ++i) {
        Reply info(xcb_randr_get_output_info_reply(c, cookies[size_t(i)], nullptr));
        if (!info || ids.size() >= maxCount) continue;
        if (info->connection == XCB_RANDR_CONNECTION_CONNECTED && info->crtc != XCB_NONE) ids.push_back(outputs[i]);
    }
    return ids;
}

bool X11Displays::hasDisplayMode(desktop::DisplayID display) {
    if (!usable() || display == 0) return false;
    xcb_connection_t* c = conn_->connection();
    xcb_timestamp_t ts = configTimestamp();
    Reply info(xcb_randr_get_output_info_reply(c, xcb_randr_get_output_info(c, display, ts), nullptr));
    if (!info || info->connection != XCB_RANDR_CONNECTION_CONNECTED || info->crtc == XCB_NONE) return false;
    Reply crtc(xcb_randr_get_crtc_info_reply(c, xcb_randr_get_crtc_info(c, info->crtc, ts), nullptr));
    return crtc && crtc->status == XCB_RANDR_SET_CONFIG_SUCCESS && crtc->mode != XCB_NONE;
}

std::optional<std::string> X11Displays::productName(desktop::DisplayID display) {
    if (!usable() || display == 0) return std::nullopt;
    xcb_connection_t* c = conn_->connection();
    xcb_atom_t edid = conn_->atom("EDID");
    if (edid == XCB_ATOM_NONE) return std::nullopt;
    // The base block (128 bytes) holds the name; the length is counted in 32-bit units.
    Reply prop(xcb_randr_get_output_property_reply(
        c, xcb_randr_get_output_property(c, display, edid, XCB_ATOM_ANY, 0, 64, 0, 0), nullptr));
    if (!prop || prop->format != 8) return std::nullopt;
    int length = xcb_randr_get_output_property_data_length(prop.p);
    if (length <= 0) return std::nullopt;
    return desktop::edidProductName(xcb_randr_get_output_property_data(prop.p), size_t(length));
}

std::optional<X11Displays::Backlight> X11Displays::backlight(desktop::DisplayID display) {
    if (!usable() || display == 0) return std::nullopt;
    xcb_connection_t* c = conn_->connection();
    // Drivers name it "Backlight"; some older ones "BACKLIGHT".
    for (const char* name : {"Backlight", "BACKLIGHT"}) {
        xcb_atom_t atom = conn_->atom(name);
        if (atom == XCB_ATOM_NONE) continue;
        Reply prop(xcb_randr_get_output_property_reply(
            c, xcb_randr_get_output_property(c, display, atom, XCB_ATOM_INTEGER, 0, 1, 0, 0), nullptr));
        if (!prop || prop->type != XCB_ATOM_INTEGER || prop->format != 32 || prop->num_items != 1) continue;
        Reply range(xcb_randr_query_output_property_reply(c, xcb_randr_query_output_property(c, display, atom), nullptr));
        if (!range || !range->range || xcb_randr_query_output_property_valid_values_length(range.p) != 2) continue;
        const int32_t* bounds = xcb_randr_query_output_property_valid_values(range.p);
        if (bounds[1] <= bounds[0]) continue;
        Backlight b;
        b.atom = atom;
        b.value = *reinterpret_cast<const int32_t*>(xcb_randr_get_output_property_data(prop.p));
        b.min = bounds[0];
        b.max = bounds[1];
        return b;
    }
    return std::nullopt;
}

std::optional<float> X11Displays::brightness(desktop::DisplayID display) {
    auto b = backlight(display);
    if (!b) return std::nullopt;
    double v = (double(b->value) - b->min) / (double(b->max) - b->min);
    return float(std::clamp(v, 0.0, 1.0));
}

bool X11Displays::setBrightness(desktop::DisplayID display, float brightness) {
    if (!std::isfinite(brightness)) return false;
    auto b = backlight(display);
    if (!b) return false;
    double level = std::clamp(double(brightness), 0.0, 1.0);
    int32_t raw = int32_t(std::lround(b->min + level * (double(b->max) - b->min)));
    xcb_connection_t* c = conn_->connection();
    xcb_generic_error_t* error = xcb_request_check(
        c, xcb_randr_change_output_property_checked(c, display, b->atom, XCB_ATOM_INTEGER, 32,
                                                    XCB_PROP_MODE_REPLACE, 1, &raw));
    if (error) {
        free(error);
        return false;
    }
    return true;
}

void X11Displays::selectEvents(bool on) {
    if (!usable()) return;
    xcb_randr_select_input(conn_->connection(), conn_->root(), on ? kEventMask : 0);
    conn_->flush();
}

desktop::DisplayService::CallbackToken X11Displays::addReconfigurationCallback(ReconfigurationCallback callback) {
    CallbackToken token = next_++;
    bool first = callbacks_.empty();
    callbacks_.emplace(token, std::move(callback));
    if (first) selectEvents(true);
    return token;
}

void X11Displays::removeReconfigurationCallback(CallbackToken token) {
    if (callbacks_.erase(token) && callbacks_.empty()) selectEvents(false);
}

void X11Displays::onEvent(const xcb_generic_event_t* event) {
    if (callbacks_.empty()) return;
    uint8_t type = event->response_type & 0x7f;
    desktop::DisplayID display = 0;
    uint32_t flags = 0;
    if (type == firstEvent_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY) {
        flags = 1;
    } else if (type == firstEvent_ + XCB_RANDR_NOTIFY) {
        auto* n = reinterpret_cast<const xcb_randr_notify_event_t*>(event);
        if (n->subCode == XCB_RANDR_NOTIFY_OUTPUT_CHANGE) {
            display = n->u.oc.output;
            flags = 2;
        } else if (n->subCode == XCB_RANDR_NOTIFY_CRTC_CHANGE) {
            flags = 4;
        } else {
            return;
        }
    } else {
        return;
    }
    auto snapshot = callbacks_;  // a callback may add or remove callbacks
    for (auto& [token, callback] : snapshot)
        if (callbacks_.count(token)) callback(display, flags);
}

}  // namespace qs::x11
