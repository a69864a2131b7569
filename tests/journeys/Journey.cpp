#include "journeys/Journey.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <X11/keysym.h>
#include <xcb/res.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include "platform/foundation/PropertyList.h"
#include "support/Files.h"
#include "support/Processes.h"
#include "support/X11Clients.h"

namespace fs = std::filesystem;

namespace qs::journey {

// --- Geometry ---------------------------------------------------------------------------

Rect Rect::intersected(const Rect& r) const {
    const int l = std::max(x, r.x), t = std::max(y, r.y);
    const int rr = std::min(right(), r.right()), b = std::min(bottom(), r.bottom());
    return {l, t, std::max(0, rr - l), std::max(0, b - t)};
}

std::ostream& operator<<(std::ostream& out, const Rect& r) {
    return out << r.width << "x" << r.height << "+" << r.x << "+" << r.y;
}

bool TopLevel::hasType(const std::string& type) const {
    return std::find(types.begin(), types.end(), type) != types.end();
}

std::ostream& operator<<(std::ostream& out, const TopLevel& w) {
    out << "window 0x" << std::hex << w.window;
    if (w.client != w.window) out << " (client 0x" << w.client << ")";
    out << std::dec << " " << w.rect << (w.overrideRedirect ? " override-redirect" : "") << " pid " << w.pid;
    if (!w.types.empty()) {
        out << " type";
        for (const auto& t : w.types) out << " " << t;
    }
    return out;
}

// --- The session ----------------------------------------------------------------------

namespace {

template <class Reply>
struct Freed {
    Reply* p;
    explicit Freed(Reply* r) : p(r) {}
    ~Freed() { std::free(p); }
    Reply* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
    Freed(const Freed&) = delete;
    Freed& operator=(const Freed&) = delete;
};

// The journey running now, for the names of screenshots; kept by the listener below
// (gtest's own current_test_info() cannot be asked while a failure is being recorded).
std::string& currentTestName() {
    static std::string name = "journeys";
    return name;
}

class ScreenshotOnFailure : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo& info) override {
        std::string name = std::string(info.test_suite_name()) + "." + info.name();
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '.' && ch != '_' && ch != '-') ch = '_';
        currentTestName() = name;
    }
    void OnTestEnd(const ::testing::TestInfo&) override { currentTestName() = "journeys"; }
    void OnTestPartResult(const ::testing::TestPartResult& result) override {
        if (!result.failed()) return;
        const std::string message = result.message() ? result.message() : "";
        if (message.find("screenshot: ") != std::string::npos) return;
        std::printf("[ screenshot ] %s\n", screenshot("failure").c_str());
        std::fflush(stdout);
    }
};

}  // namespace

namespace {
std::unique_ptr<XSession>& sharedSession() {
    static std::unique_ptr<XSession> session;
    return session;
}
// The display the program started on.
const std::string& startDisplay() {
    static const std::string display = [] {
        const char* d = std::getenv("DISPLAY");
        return std::string(d ? d : "");
    }();
    return display;
}
}  // namespace

std::unique_ptr<XSession> XSession::connect(const char* display) {
    if (!display || !*display) return nullptr;
    xcb_connection_t* c = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    std::unique_ptr<XSession> session(new XSession);
    session->c_ = c;
    const xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    session->root_ = s->root;
    session->screen_ = {0, 0, s->width_in_pixels, s->height_in_pixels};
    session->symbols_ = xcb_key_symbols_alloc(c);
    return session;
}

XSession* XSession::shared() {
    static bool tried = false;
    if (!tried) {
        tried = true;
        sharedSession() = connect(startDisplay().c_str());
    }
    return sharedSession().get();
}

bool XSession::useDisplay(const std::string& display) {
    shared();  // the start display is known first
    const std::string target = display.empty() ? startDisplay() : display;
    auto session = connect(target.c_str());
    if (!session) return false;
    sharedSession() = std::move(session);
    ::setenv("DISPLAY", target.c_str(), 1);
    return true;
}

XSession::~XSession() {
    if (symbols_) xcb_key_symbols_free(symbols_);
    if (c_) xcb_disconnect(c_);
}

xcb_atom_t XSession::atom(const std::string& name) {
    Freed r(xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, uint16_t(name.size()), name.c_str()), nullptr));
    return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

std::string XSession::atomName(xcb_atom_t a) {
    Freed r(xcb_get_atom_name_reply(c_, xcb_get_atom_name(c_, a), nullptr));
    return r ? std::string(xcb_get_atom_name_name(r.p), size_t(xcb_get_atom_name_name_length(r.p))) : std::string();
}

void XSession::sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

std::vector<uint32_t> XSession::cardinals(xcb_window_t w, const std::string& property, xcb_atom_t type) {
    Freed r(xcb_get_property_reply(c_, xcb_get_property(c_, 0, w, atom(property), type, 0, 4096), nullptr));
    std::vector<uint32_t> out;
    if (r && r->format == 32) {
        auto* v = static_cast<uint32_t*>(xcb_get_property_value(r.p));
        out.assign(v, v + xcb_get_property_value_length(r.p) / 4);
    }
    return out;
}

std::vector<std::string> XSession::atoms(xcb_window_t w, const std::string& property) {
    std::vector<std::string> out;
    for (uint32_t a : cardinals(w, property, XCB_ATOM_ATOM)) out.push_back(atomName(a));
    return out;
}

std::string XSession::text(xcb_window_t w, const std::string& property) {
    Freed r(xcb_get_property_reply(c_, xcb_get_property(c_, 0, w, atom(property), XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
                                   nullptr));
    if (!r || r->format != 8) return {};
    return std::string(static_cast<const char*>(xcb_get_property_value(r.p)),
                       size_t(xcb_get_property_value_length(r.p)));
}

namespace {

// The window below `w` (itself included, `depth` levels down) that has WM_STATE: the
// client a window manager's frame holds.
xcb_window_t findClient(xcb_connection_t* c, xcb_window_t w, xcb_atom_t wmState, int depth) {
    {
        Freed p(
            xcb_get_property_reply(c, xcb_get_property(c, 0, w, wmState, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr));
        if (p && p->type != XCB_ATOM_NONE) return w;
    }
    if (depth == 0) return XCB_WINDOW_NONE;
    Freed tree(xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr));
    if (!tree) return XCB_WINDOW_NONE;
    xcb_window_t* kids = xcb_query_tree_children(tree.p);
    for (int i = 0; i < xcb_query_tree_children_length(tree.p); ++i)
        if (xcb_window_t found = findClient(c, kids[i], wmState, depth - 1)) return found;
    return XCB_WINDOW_NONE;
}

}  // namespace

std::vector<TopLevel> XSession::stacking() {
    std::vector<TopLevel> out;
    Freed tree(xcb_query_tree_reply(c_, xcb_query_tree(c_, root_), nullptr));
    if (!tree) return out;
    const int n = xcb_query_tree_children_length(tree.p);
    xcb_window_t* kids = xcb_query_tree_children(tree.p);
    std::vector<xcb_get_window_attributes_cookie_t> attributes(static_cast<size_t>(n));
    std::vector<xcb_get_geometry_cookie_t> geometry(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        attributes[size_t(i)] = xcb_get_window_attributes(c_, kids[i]);
        geometry[size_t(i)] = xcb_get_geometry(c_, kids[i]);
    }
    const xcb_atom_t wmState = atom("WM_STATE");
    for (int i = 0; i < n; ++i) {
        Freed a(xcb_get_window_attributes_reply(c_, attributes[size_t(i)], nullptr));
        Freed g(xcb_get_geometry_reply(c_, geometry[size_t(i)], nullptr));
        if (!a || !g || a->_class == XCB_WINDOW_CLASS_INPUT_ONLY) continue;  // gone, or never drawn
        TopLevel t;
        t.window = t.client = kids[i];
        t.rect = {g->x, g->y, g->width + 2 * g->border_width, g->height + 2 * g->border_width};
        t.clientRect = t.rect;
        t.viewable = a->map_state == XCB_MAP_STATE_VIEWABLE;
        t.overrideRedirect = a->override_redirect;
        if (t.viewable) {
            if (!t.overrideRedirect) {
                if (xcb_window_t client = findClient(c_, kids[i], wmState, 3)) t.client = client;
            }
            if (t.client != t.window) {
                Freed cg(xcb_get_geometry_reply(c_, xcb_get_geometry(c_, t.client), nullptr));
                Freed at(
                    xcb_translate_coordinates_reply(c_, xcb_translate_coordinates(c_, t.client, root_, 0, 0), nullptr));
                if (cg && at) t.clientRect = {at->dst_x, at->dst_y, cg->width, cg->height};
            }
            t.pid = pidOf(t.client);
            for (auto& type : atoms(t.client, "_NET_WM_WINDOW_TYPE")) {
                const std::string prefix = "_NET_WM_WINDOW_TYPE_";
                t.types.push_back(type.rfind(prefix, 0) == 0 ? type.substr(prefix.size()) : type);
            }
        }
        out.push_back(std::move(t));
    }
    return out;
}

std::vector<TopLevel> XSession::windowsOf(pid_t pid) {
    std::vector<TopLevel> out;
    for (auto& t : stacking())
        if (t.viewable && pid > 0 && t.pid == uint32_t(pid)) out.push_back(std::move(t));
    return out;
}

std::optional<TopLevel> XSession::topLevelOf(xcb_window_t w) {
    for (auto& t : stacking())
        if (t.window == w || t.client == w) return t;
    return std::nullopt;
}

std::vector<TopLevel> XSession::coveringAbove(xcb_window_t w, const Rect& r) {
    auto all = stacking();
    auto it = std::find_if(all.begin(), all.end(), [&](const TopLevel& t) { return t.window == w || t.client == w; });
    std::vector<TopLevel> out;
    if (it == all.end()) return out;
    for (++it; it != all.end(); ++it)
        if (it->viewable && it->rect.intersects(r)) out.push_back(*it);
    return out;
}

::testing::AssertionResult XSession::isTopmostOver(xcb_window_t w, const Rect& r) {
    auto self = topLevelOf(w);
    if (!self || !self->viewable)
        return ::testing::AssertionFailure() << "window 0x" << std::hex << w << " is not mapped";
    auto above = coveringAbove(w, r);
    if (above.empty()) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure();
    failure << *self << " is covered over " << r << " by";
    for (const auto& t : above) failure << " [" << t << "]";
    return failure;
}

bool XSession::isViewable(xcb_window_t w) {
    Freed a(xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, w), nullptr));
    return a && a->map_state == XCB_MAP_STATE_VIEWABLE;
}

uint32_t XSession::pidOf(xcb_window_t w) {
    auto p = cardinals(w, "_NET_WM_PID");
    if (!p.empty()) return p[0];
    // A client that does not say (xlogo): the server knows the process of a local client.
    xcb_res_client_id_spec_t spec{w, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    Freed ids(xcb_res_query_client_ids_reply(c_, xcb_res_query_client_ids(c_, 1, &spec), nullptr));
    if (!ids) return 0;
    for (auto it = xcb_res_query_client_ids_ids_iterator(ids.p); it.rem; xcb_res_client_id_value_next(&it))
        if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
            xcb_res_client_id_value_value_length(it.data) >= 1)
            return *xcb_res_client_id_value_value(it.data);
    return 0;
}

xcb_window_t XSession::clientOfProcess(pid_t pid) {
    for (uint32_t w : cardinals(root_, "_NET_CLIENT_LIST", XCB_ATOM_WINDOW))
        if (pid > 0 && pidOf(w) == uint32_t(pid)) return w;
    return XCB_WINDOW_NONE;
}

xcb_window_t XSession::activeWindow() {
    auto v = cardinals(root_, "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW);
    return v.empty() ? xcb_window_t(XCB_WINDOW_NONE) : v[0];
}

// --- Pixels -------------------------------------------------------------------------------

QImage XSession::grab(const Rect& requested) {
    const Rect r = requested.intersected(screen_);
    if (r.empty()) return {};
    Freed reply(xcb_get_image_reply(c_,
                                    xcb_get_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, int16_t(r.x), int16_t(r.y),
                                                  uint16_t(r.width), uint16_t(r.height), ~0u),
                                    nullptr));
    if (!reply) return {};
    const xcb_setup_t* setup = xcb_get_setup(c_);
    const int length = xcb_get_image_data_length(reply.p);
    // A 24- or 32-bit TrueColor root in the server's least-significant-byte-first order
    // (Xvfb's) is, pixel for pixel, what QImage calls RGB32.
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST || length < r.width * r.height * 4) {
        ADD_FAILURE() << "the root window's pixel format is not 32 bits per pixel, least significant byte first";
        return {};
    }
    QImage image(r.width, r.height, QImage::Format_RGB32);
    const uint8_t* data = xcb_get_image_data(reply.p);
    const int stride = length / r.height;
    for (int y = 0; y < r.height; ++y) std::memcpy(image.scanLine(y), data + y * stride, size_t(r.width) * 4);
    return image;
}

std::string XSession::saveScreenshot(const std::string& label) {
    const char* build = std::getenv("QUAYSIDE_BUILD_DIR");
    const fs::path dir = fs::path(build && *build ? build : fs::temp_directory_path().string()) / "journey-screenshots";
    std::error_code ec;
    fs::create_directories(dir, ec);
    std::string name = currentTestName() + "-" + std::to_string(++shots_);
    if (!label.empty()) name += "-" + label;
    const fs::path path = dir / (name + ".png");
    QImage image = grabScreen();
    if (image.isNull() || !image.save(QString::fromStdString(path.string()), "PNG"))
        return "(the screen could not be saved)";
    return path.string();
}

void installScreenshotOnFailure() { ::testing::UnitTest::GetInstance()->listeners().Append(new ScreenshotOnFailure); }

std::string screenshot(const std::string& label) {
    XSession* x = XSession::shared();
    return x ? "screenshot: " + x->saveScreenshot(label) : std::string("no screenshot (no display)");
}

std::string hexColour(QRgb c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", qRed(c), qGreen(c), qBlue(c));
    return text;
}

int luma(QRgb c) { return (qRed(c) * 299 + qGreen(c) * 587 + qBlue(c) * 114) / 1000; }

bool nearColour(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

int countPixels(const QImage& image, const std::function<bool(QRgb)>& test, Rect area) {
    const Rect whole{0, 0, image.width(), image.height()};
    area = area.empty() ? whole : area.intersected(whole);
    int n = 0;
    for (int y = area.y; y < area.bottom(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = area.x; x < area.right(); ++x) n += test(line[x]) ? 1 : 0;
    }
    return n;
}

Rect boundsOf(const QImage& image, const std::function<bool(QRgb)>& test) {
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (!test(line[x])) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0) return {};
    return {left, top, right - left + 1, bottom - top + 1};
}

int differingPixels(const QImage& a, const QImage& b, const std::vector<Rect>& ignore) {
    if (a.size() != b.size()) return std::max(a.width() * a.height(), b.width() * b.height());
    int n = 0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb* la = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const QRgb* lb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if ((la[x] & 0xffffff) == (lb[x] & 0xffffff)) continue;
            bool ignored = false;
            for (const Rect& r : ignore) ignored = ignored || r.contains(x, y);
            n += ignored ? 0 : 1;
        }
    }
    return n;
}

int distinctColours(const QImage& image, int atMost) {
    std::set<QRgb> seen;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            seen.insert(line[x] & 0xffffff);
            if (int(seen.size()) >= atMost) return atMost;
        }
    }
    return int(seen.size());
}

Rect differingRows(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return {0, 0, std::max(a.width(), b.width()), std::max(a.height(), b.height())};
    int first = -1, last = -1;
    for (int y = 0; y < a.height(); ++y) {
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), size_t(a.width()) * 4) == 0) continue;
        if (first < 0) first = y;
        last = y;
    }
    if (first < 0) return {};
    return {0, first, a.width(), last - first + 1};
}

// --- Input --------------------------------------------------------------------------------

namespace {
constexpr std::pair<unsigned, uint32_t> kModifierKeys[] = {
    {kShift, XK_Shift_L}, {kControl, XK_Control_L}, {kAlt, XK_Alt_L}, {kSuper, XK_Super_L}};
}

void XSession::fakeKey(uint32_t keysym, bool down) {
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols_, keysym);
    const xcb_keycode_t code = codes ? codes[0] : 0;
    std::free(codes);
    if (!code) {
        ADD_FAILURE() << "no key types the keysym 0x" << std::hex << keysym;
        return;
    }
    xcb_test_fake_input(c_, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
}

void XSession::modifiers(unsigned mods, bool down) {
    for (const auto& [flag, keysym] : kModifierKeys)
        if (mods & flag) fakeKey(keysym, down);
}

void XSession::move(Point p) {
    xcb_test_fake_input(c_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_, int16_t(p.x), int16_t(p.y), 0);
    sync();
}

void XSession::press(int button, unsigned mods) {
    modifiers(mods, true);
    xcb_test_fake_input(c_, XCB_BUTTON_PRESS, uint8_t(button), XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    sync();
}

void XSession::release(int button, unsigned mods) {
    xcb_test_fake_input(c_, XCB_BUTTON_RELEASE, uint8_t(button), XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    modifiers(mods, false);
    sync();
}

void XSession::click(Point p, int button, unsigned mods) {
    move(p);
    press(button, mods);
    release(button, mods);
}

void XSession::key(uint32_t keysym, unsigned mods) {
    modifiers(mods, true);
    fakeKey(keysym, true);
    fakeKey(keysym, false);
    modifiers(mods, false);
    sync();
}

void XSession::drag(Point from, Point to, int button, unsigned mods, int steps) {
    move(from);
    press(button, mods);
    steps = std::max(1, steps);
    for (int i = 1; i <= steps; ++i) {
        move({from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps});
        // The pace of a hand: a toolkit tells a drag from a click by motion over time.
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    release(button, mods);
}

void XSession::releaseAll() {
    Freed pointer(xcb_query_pointer_reply(c_, xcb_query_pointer(c_, root_), nullptr));
    if (pointer)
        for (int button = 1; button <= 5; ++button)
            if (pointer->mask & (XCB_BUTTON_MASK_1 << (button - 1)))
                xcb_test_fake_input(c_, XCB_BUTTON_RELEASE, uint8_t(button), XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0,
                                    0);
    Freed keys(xcb_query_keymap_reply(c_, xcb_query_keymap(c_), nullptr));
    if (keys)
        for (int code = 8; code < 256; ++code)
            if (keys->keys[code / 8] & (1 << (code % 8)))
                xcb_test_fake_input(c_, XCB_KEY_RELEASE, uint8_t(code), XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    sync();
}

void XSession::askWindowManager(xcb_window_t client, const std::string& message, std::array<uint32_t, 5> data) {
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = client;
    ev.type = atom(message);
    std::copy(data.begin(), data.end(), ev.data.data32);
    xcb_send_event(c_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&ev));
    sync();
}

void XSession::iconify(xcb_window_t client) { askWindowManager(client, "WM_CHANGE_STATE", {3 /* IconicState */}); }

void XSession::activate(xcb_window_t client) {
    // Source 2: asked by a pager or a taskbar, on the user's behalf.
    askWindowManager(client, "_NET_ACTIVE_WINDOW", {2, XCB_CURRENT_TIME});
}

// --- Processes ------------------------------------------------------------------------------

namespace {

// Waits for a child to exit; answers its status as an exit code (128 + signal when a
// signal ended it), or -1 when it did not end within `ms`.
int waitForExit(pid_t pid, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int status = 0;
        const pid_t got = ::waitpid(pid, &status, WNOHANG);
        if (got == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (got < 0) return -1;
        if (std::chrono::steady_clock::now() >= end) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Runs a program to its end with the environment changes given; answers its exit status.
int runToEnd(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env) {
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        for (const auto& [k, v] : env) ::setenv(k.c_str(), v.c_str(), 1);
        if (const int null = ::open("/dev/null", O_WRONLY); null >= 0) ::dup2(null, 1);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return waitForExit(pid, kWaitMs);
}

}  // namespace

// --- A private display -----------------------------------------------------------------

namespace {

// Starts a program with DISPLAY set (when given) and its output dropped; -1 when the
// fork failed. `keepFd` stays open in the child.
pid_t startProgram(const std::vector<std::string>& argv, const std::string& display, int keepFd = -1) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (!display.empty()) ::setenv("DISPLAY", display.c_str(), 1);
    if (const int null = ::open("/dev/null", O_WRONLY); null >= 0) {
        ::dup2(null, 1);
        ::dup2(null, 2);
    }
    if (keepFd >= 0) ::fcntl(keepFd, F_SETFD, 0);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

// Whether a window manager announces itself on the display (EWMH supporting-WM check).
bool hasWindowManager(const std::string& display) {
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    bool found = false;
    if (!xcb_connection_has_error(c)) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        const char* name = "_NET_SUPPORTING_WM_CHECK";
        Freed atom(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr));
        if (atom) {
            Freed p(xcb_get_property_reply(c, xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr));
            found = p && xcb_get_property_value_length(p.p) == 4;
        }
    }
    xcb_disconnect(c);
    return found;
}

}  // namespace

PrivateDisplay::PrivateDisplay(int width, int height) {
    int number[2];
    if (::pipe2(number, O_CLOEXEC) != 0) return;
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    // -noreset: the server must not reset when its last client goes (a probe below that
    // disconnects before openbox has connected would take openbox's connection down).
    server_ = startProgram(
        {"Xvfb", "-displayfd", std::to_string(number[1]), "-screen", "0", screen, "-nolisten", "tcp", "-noreset"}, "",
        number[1]);
    ::close(number[1]);
    std::string digits;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    ::fcntl(number[0], F_SETFL, O_NONBLOCK);
    while (std::chrono::steady_clock::now() < end && (digits.empty() || digits.back() != '\n')) {
        char ch = 0;
        const ssize_t n = ::read(number[0], &ch, 1);
        if (n == 1) digits += ch;
        else if (n == 0) break;
        else std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::close(number[0]);
    while (!digits.empty() && !std::isdigit(static_cast<unsigned char>(digits.back()))) digits.pop_back();
    if (server_ <= 0 || digits.empty()) {
        ADD_FAILURE() << "the private X server did not start";
        return;
    }
    const std::string display = ":" + digits;
    windowManager_ = startProgram({"openbox"}, display);
    if (!waitUntil("openbox on " + display, [&] { return hasWindowManager(display); })) {
        ADD_FAILURE() << "openbox did not start on the private display " << display;
        return;
    }
    name_ = display;
}

PrivateDisplay::~PrivateDisplay() {
    for (pid_t pid : {windowManager_, server_}) {
        if (!test::signalProcess(pid, SIGTERM)) continue;
        if (waitForExit(pid, kWaitMs) < 0 && test::signalProcess(pid, SIGKILL)) waitForExit(pid, kWaitMs);
    }
}

DockProcess::~DockProcess() { end(); }

::testing::AssertionResult DockProcess::start(const DockOptions& options) {
    end();
    const char* binary = std::getenv("QUAYSIDE_BINARY");
    if (!binary || !fs::exists(binary))
        return ::testing::AssertionFailure() << "QUAYSIDE_BINARY names no built program";
    std::string templ = (fs::temp_directory_path() / "quayside-journey-XXXXXX").string();
    if (!::mkdtemp(templ.data())) return ::testing::AssertionFailure() << "no home could be made";
    home_ = templ;
    for (const char* sub : {"config/quayside", "data", "cache"}) fs::create_directories(fs::path(home_) / sub);

    for (const auto& file : options.homeFiles) {
        const fs::path path = fs::path(home_) / file.path;
        if (!file.path.empty() && file.path.back() == '/') {
            fs::create_directories(path);
            continue;
        }
        fs::create_directories(path.parent_path());
        std::string contents = file.contents;
        for (size_t at = contents.find("$HOME"); at != std::string::npos; at = contents.find("$HOME", at + home_.size()))
            contents.replace(at, 5, home_);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << contents;
        if (!out.flush()) return ::testing::AssertionFailure() << "the home file " << path << " could not be written";
        if (file.executable) fs::permissions(path, fs::perms::owner_all, fs::perm_options::add);
    }

    Dictionary settings{{"whatNewIsPresented", Value(false)}};
    for (const auto& [key, value] : options.settings) settings[key] = value;
    std::string error;
    auto bytes = PropertyList::serialize(Value(settings), PropertyList::Format::XML, &error);
    if (!bytes || !PropertyList::writeFileAtomically(defaultsPath(), *bytes, &error))
        return ::testing::AssertionFailure() << "the settings could not be written: " << error;

    if (!options.storedFiles.empty() || options.position || options.castsShadow) {
        const char* seed = std::getenv("QUAYSIDE_SEED_DOCK");
        if (!seed || !fs::exists(seed))
            return ::testing::AssertionFailure() << "QUAYSIDE_SEED_DOCK names no built program";
        std::vector<std::string> argv{seed};
        if (options.castsShadow) argv.push_back("--cast-shadow");
        if (options.position) argv.insert(argv.end(), {"--position", std::to_string(*options.position)});
        if (!options.storedFiles.empty()) argv.push_back(std::to_string(options.storedFiles.size() + 2));
        for (const auto& file : options.storedFiles)
            argv.push_back(file.rfind("~/", 0) == 0 ? home_ + file.substr(1) : file);
        const int status = runToEnd(argv, {{"HOME", home_},
                                           {"XDG_CONFIG_HOME", configHome()},
                                           {"XDG_DATA_HOME", home_ + "/data"},
                                           {"XDG_CACHE_HOME", home_ + "/cache"}});
        if (status != 0) return ::testing::AssertionFailure() << "the stored dock could not be made (" << status << ")";
    }
    return launch();
}

::testing::AssertionResult DockProcess::launch() {
    const std::string binary = std::getenv("QUAYSIDE_BINARY");
    const std::string logPath = home_ + "/dock.log";
    const pid_t pid = ::fork();
    if (pid < 0) return ::testing::AssertionFailure() << "fork failed";
    if (pid == 0) {
        // It ends with the journeys' program, even one that is killed.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::setenv("HOME", home_.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", configHome().c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home_ + "/data").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (home_ + "/cache").c_str(), 1);
        ::unsetenv("QT_QPA_PLATFORM");
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
        const int out = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        if (::chdir(home_.c_str()) != 0) ::_exit(126);
        ::execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    pid_ = pid;
    auto ready = waitUntil("the dock's panel to map and paint", [&] { return running() && panelReady(); });
    if (!ready) return ready << "\n" << log();
    return ::testing::AssertionSuccess();
}

int DockProcess::stop() {
    if (pid_ <= 0) return -1;
    test::signalProcess(pid_, SIGTERM);
    int status = waitForExit(pid_, kWaitMs);
    if (status < 0) {
        test::signalProcess(pid_, SIGKILL);
        waitForExit(pid_, kWaitMs);
    }
    pid_ = -1;
    return status;
}

::testing::AssertionResult DockProcess::restart() {
    const int status = stop();
    if (status != 0)
        return ::testing::AssertionFailure() << "the dock ended with " << status << " on SIGTERM\n" << log();
    return launch();
}

::testing::AssertionResult DockProcess::resume() {
    if (running()) return ::testing::AssertionFailure() << "the dock is still running";
    return launch();
}

::testing::AssertionResult DockProcess::writeSettings(const Dictionary& settings) {
    if (running()) return ::testing::AssertionFailure() << "the dock is running: it would write over the settings";
    std::string error;
    auto stored = PropertyList::readFile(defaultsPath(), &error);
    Dictionary all = stored && stored->dictionary() ? *stored->dictionary() : Dictionary{};
    for (const auto& [key, value] : settings) all[key] = value;
    auto bytes = PropertyList::serialize(Value(all), PropertyList::Format::XML, &error);
    if (!bytes || !PropertyList::writeFileAtomically(defaultsPath(), *bytes, &error))
        return ::testing::AssertionFailure() << "the settings could not be written: " << error;
    return ::testing::AssertionSuccess();
}

void DockProcess::end() {
    if (pid_ > 0 && test::signalProcess(pid_, SIGKILL)) waitForExit(pid_, kWaitMs);
    pid_ = -1;
    if (!home_.empty()) {
        std::error_code ec;
        fs::remove_all(home_, ec);
        home_.clear();
    }
}

bool DockProcess::running() {
    if (pid_ <= 0) return false;
    int status = 0;
    return ::waitpid(pid_, &status, WNOHANG) == 0;
}

std::string DockProcess::log() const { return test::readFileOrEmpty(home_ + "/dock.log"); }

std::vector<TopLevel> DockProcess::windows() { return XSession::shared()->windowsOf(pid_); }

std::optional<TopLevel> DockProcess::panel() {
    const auto shown = windows();
    for (auto w = shown.rbegin(); w != shown.rend(); ++w)
        if (w->hasType("DOCK")) return *w;
    return std::nullopt;
}

std::vector<TopLevel> DockProcess::popups() {
    std::vector<TopLevel> out;
    for (auto& w : windows())
        if (w.overrideRedirect && !w.hasType("TOOLTIP")) out.push_back(w);
    return out;
}

std::vector<TopLevel> DockProcess::tooltips() {
    std::vector<TopLevel> out;
    for (auto& w : windows())
        if (w.hasType("TOOLTIP")) out.push_back(w);
    return out;
}

std::optional<TopLevel> DockProcess::preview() {
    for (auto& w : tooltips())
        if (w.clientRect.height >= 100) return w;
    return std::nullopt;
}

int DockProcess::cellCount() {
    auto p = panel();
    if (!p) return 0;
    const Rect& r = p->clientRect;
    const int thickness = std::min(r.width, r.height);
    return thickness > 0 ? std::max(r.width, r.height) / thickness : 0;
}

Rect DockProcess::cell(int index) {
    auto p = panel();
    if (!p) return {};
    const Rect& r = p->clientRect;
    if (r.width >= r.height) return {r.x + index * r.height, r.y, r.height, r.height};
    return {r.x, r.y + index * r.width, r.width, r.width};
}

::testing::AssertionResult DockProcess::panelReady(int cells) {
    auto p = panel();
    if (!p) return ::testing::AssertionFailure() << "no panel of pid " << pid_ << " is mapped";
    const int colours = distinctColours(XSession::shared()->grab(p->clientRect), 8);
    if (colours < 3) return ::testing::AssertionFailure() << "the panel " << *p << " is not painted yet";
    if (cells >= 0 && cellCount() != cells)
        return ::testing::AssertionFailure()
               << "the panel " << *p << " holds " << cellCount() << " cells, not " << cells;
    return ::testing::AssertionSuccess();
}

// --- Clients ---------------------------------------------------------------------------

pid_t Clients::start(const std::vector<std::string>& argv) {
    const pid_t pid = ::fork();
    if (pid < 0) {
        ADD_FAILURE() << "cannot start " << argv.front() << ": fork failed";
        return -1;
    }
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) {
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    pids_.push_back(pid);
    return pid;
}

xcb_window_t Clients::waitForWindow(pid_t pid) {
    XSession& x = *XSession::shared();
    xcb_window_t found = XCB_WINDOW_NONE;
    auto shown = waitUntil("a window of process " + std::to_string(pid), [&] {
        found = x.clientOfProcess(pid);
        return found != XCB_WINDOW_NONE && x.isViewable(found);
    });
    if (!shown) {
        ADD_FAILURE() << shown.message();
        return XCB_WINDOW_NONE;
    }
    return found;
}

void Clients::end(pid_t pid) {
    auto it = std::find(pids_.begin(), pids_.end(), pid);
    if (it == pids_.end()) return;
    pids_.erase(it);
    if (!test::signalProcess(pid, SIGTERM)) return;
    if (waitForExit(pid, kWaitMs) < 0 && test::signalProcess(pid, SIGKILL)) waitForExit(pid, kWaitMs);
}

void Clients::endAll() {
    while (!pids_.empty()) end(pids_.back());
    if (XSession* x = XSession::shared()) test::withdrawVanishedClients(x->connection());
}

// --- The fixture ---------------------------------------------------------------------------

DockProcess* JourneyTest::dock_ = nullptr;
DockOptions JourneyTest::options_;

void JourneyTest::startDock(const DockOptions& options) {
    options_ = options;
    if (!XSession::shared() || !std::getenv("QUAYSIDE_BINARY")) return;  // every journey skips
    // What earlier programs on this display left to the window manager goes first.
    test::withdrawVanishedClients(XSession::shared()->connection());
    delete dock_;
    dock_ = new DockProcess;
    if (auto started = dock_->start(options); !started)
        ADD_FAILURE() << "the dock did not start: " << started.message();
}

void JourneyTest::TearDownTestSuite() {
    if (!dock_) return;
    const int status = dock_->stop();
    // Stopping the dock is part of every group: SIGTERM ends it, cleanly.
    EXPECT_EQ(status, 0) << "the dock did not end cleanly on SIGTERM\n" << dock_->log();
    delete dock_;
    dock_ = nullptr;
}

void JourneyTest::SetUp() {
    if (!XSession::shared()) GTEST_SKIP() << "no X display";
    if (!std::getenv("QUAYSIDE_BINARY")) GTEST_SKIP() << "QUAYSIDE_BINARY is not set";
    ASSERT_TRUE(dock_) << "the group's dock was not started";
    if (!dock_->running()) {
        ADD_FAILURE() << "the dock had ended before this journey\n" << dock_->log();
        ASSERT_TRUE(dock_->start(options_));
    }
    x().releaseAll();
    ASSERT_TRUE(settle());
}

void JourneyTest::TearDown() {
    if (!XSession::shared() || !dock_) return;
    clients.endAll();
    x().releaseAll();
    for (int i = 0; i < 3 && !dock_->popups().empty(); ++i) x().key(XK_Escape);
    x().move(parkingSpot());
}

::testing::AssertionResult JourneyTest::settle() {
    for (int i = 0; i < 3 && !dock_->popups().empty(); ++i) {
        x().key(XK_Escape);
        waitUntil(
            "the pop-ups to close", [&] { return dock_->popups().empty(); }, 2000);
    }
    x().move(parkingSpot());
    return waitUntil("the dock to settle (no pop-up, no tooltip, no preview)", [&] {
        auto shown = dock_->windows();
        auto failure = ::testing::AssertionFailure();
        bool settled = true;
        for (const auto& w : shown)
            if (!w.hasType("DOCK")) {
                settled = false;
                failure << "still mapped: [" << w << "] ";
            }
        return settled ? ::testing::AssertionSuccess() : failure;
    });
}

QImage JourneyTest::steadyPixels(const Rect& r) {
    QImage last = x().grab(r), now;
    waitUntil("the pixels of " + std::to_string(r.width) + "x" + std::to_string(r.height) + " to settle", [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        now = x().grab(r);
        const bool same = now == last;
        last = now;
        return same;
    });
    return last;
}

Launched JourneyTest::launch(const std::vector<std::string>& argv) {
    Launched app;
    // Counted once the panel is steady: the cells of applications that ended just before
    // (an earlier journey's) may still be going.
    int cells = dock_->cellCount();
    waitUntil("the panel's cells to settle", [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        const int now = dock_->cellCount();
        const bool same = now == cells;
        cells = now;
        return same;
    });
    app.pid = clients.start(argv);
    app.window = clients.waitForWindow(app.pid);
    if (!app.window) return app;
    auto added = waitUntil("a cell for " + argv.front(), [&] { return dock_->panelReady(cells + 1); });
    if (!added) {
        ADD_FAILURE() << added.message();
        return app;
    }
    app.cell = cells - 1;
    return app;
}

std::optional<TopLevel> JourneyTest::hoverUntilPreview(int index) {
    x().move(dock_->cell(index).centre());
    std::optional<TopLevel> found;
    auto shown =
        waitUntil("the preview of cell " + std::to_string(index), [&] { return bool(found = dock_->preview()); });
    if (!shown) ADD_FAILURE() << shown.message();
    return found;
}

std::optional<TopLevel> JourneyTest::hoverUntilTooltip(int index) {
    x().move(dock_->cell(index).centre());
    std::optional<TopLevel> found;
    auto shown = waitUntil("the tooltip of cell " + std::to_string(index), [&] {
        for (auto& w : dock_->tooltips())
            if (w.clientRect.height < 100) found = w;
        return found.has_value();
    });
    if (!shown) ADD_FAILURE() << shown.message();
    return found;
}

std::optional<TopLevel> JourneyTest::waitForPopup(const std::vector<TopLevel>& before) {
    // Windows that flash by (a tooltip closing as the menu opens, read before its type
    // is) are passed over: the pop-up is the one that stays.
    std::vector<xcb_window_t> passed;
    for (const auto& b : before) passed.push_back(b.window);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    std::optional<TopLevel> last;
    while (std::chrono::steady_clock::now() < end) {
        std::optional<TopLevel> found;
        auto shown = waitUntil(
            "a pop-up of the dock",
            [&] {
                for (auto& w : dock_->popups())
                    if (std::find(passed.begin(), passed.end(), w.window) == passed.end()) found = w;
                return found.has_value();
            },
            int(std::max<long long>(
                1, std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count())));
        if (!shown) {
            ADD_FAILURE() << shown.message();
            return std::nullopt;
        }
        steadyPixels(found->rect);
        auto now = x().topLevelOf(found->window);
        if (now && now->viewable) return now;
        passed.push_back(found->window);
        last = found;
    }
    ADD_FAILURE() << "no pop-up of the dock stayed open (the last, [" << (last ? *last : TopLevel{})
                  << "], closed as soon as it opened); " << screenshot();
    return std::nullopt;
}

}  // namespace qs::journey
