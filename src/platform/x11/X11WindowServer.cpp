#include "platform/x11/X11WindowServer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>

#include <pthread.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QImage>
#include <QString>
#include <QThread>
#include <QPainter>
#include <QRegion>
#include <xcb/composite.h>
#include <xcb/res.h>
#include <xcb/shape.h>

#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/x11/XConnection.h"

namespace qs::x11 {

namespace {

const char* const kAtomNames[] = {
    "_NET_CLIENT_LIST_STACKING", "_NET_CLIENT_LIST", "_NET_ACTIVE_WINDOW", "_NET_CURRENT_DESKTOP",
    "_NET_NUMBER_OF_DESKTOPS", "_NET_WM_PID", "_NET_WM_NAME", "UTF8_STRING", "_NET_WM_STATE",
    "_NET_WM_STATE_HIDDEN", "_NET_WM_STATE_MODAL", "_NET_WM_STATE_ABOVE", "_NET_WM_STATE_BELOW",
    "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_WINDOW_TYPE", "_NET_WM_DESKTOP", "_NET_FRAME_EXTENTS",
    "_NET_WM_ALLOWED_ACTIONS", "_NET_WM_ACTION_MOVE", "_NET_WM_ACTION_RESIZE", "_NET_WM_ACTION_CLOSE",
    "_NET_WM_ACTION_MINIMIZE", "_NET_WM_WINDOW_OPACITY", "WM_STATE", "_GTK_APPLICATION_ID",
    "_KDE_NET_WM_DESKTOP_FILE", "_NET_MOVERESIZE_WINDOW", "_NET_CLOSE_WINDOW", "WM_CHANGE_STATE",
    "_NET_RESTACK_WINDOW", "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_WINDOW_TYPE_DIALOG",
    "_NET_WM_WINDOW_TYPE_UTILITY", "_NET_WM_WINDOW_TYPE_TOOLBAR", "_NET_WM_WINDOW_TYPE_DOCK",
    "_NET_WM_WINDOW_TYPE_DESKTOP", "_NET_WM_WINDOW_TYPE_MENU", "_NET_WM_WINDOW_TYPE_SPLASH",
    "_NET_WM_WINDOW_TYPE_NOTIFICATION", "WM_NORMAL_HINTS", "_NET_WM_STRUT_PARTIAL", "_NET_WM_STRUT",
    "_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ",
};

constexpr int kProperties = 17;

struct Reply {
    xcb_get_property_reply_t* r = nullptr;
    ~Reply() { free(r); }
    const uint8_t* bytes() const { return r ? static_cast<const uint8_t*>(xcb_get_property_value(r)) : nullptr; }
    int length() const { return r ? xcb_get_property_value_length(r) : 0; }
    bool empty() const { return !r || r->type == XCB_ATOM_NONE || length() == 0; }
    std::vector<uint32_t> words() const {
        std::vector<uint32_t> out;
        if (empty() || r->format != 32) return out;
        out.resize(size_t(length()) / 4);
        std::memcpy(out.data(), bytes(), out.size() * 4);
        return out;
    }
    std::optional<uint32_t> word() const {
        auto w = words();
        if (w.empty()) return std::nullopt;
        return w[0];
    }
    std::string text() const { return empty() ? std::string() : std::string(reinterpret_cast<const char*>(bytes()), size_t(length())); }
};

void take(xcb_connection_t* c, xcb_get_property_cookie_t cookie, Reply& out) {
    xcb_generic_error_t* e = nullptr;
    out.r = xcb_get_property_reply(c, cookie, &e);
    free(e);
}

xcb_get_property_cookie_t ask(xcb_connection_t* c, xcb_window_t w, xcb_atom_t a, uint32_t words = 1024) {
    return xcb_get_property(c, 0, w, a, XCB_GET_PROPERTY_TYPE_ANY, 0, words);
}

int layerOf(const X11Client& c) {
    if (c.type == "desktop") return -2147483624;
    if (c.type == "dock") return 20;
    if (c.type == "notification" || c.type == "splash") return 21;
    if (c.above) return 3;
    if (c.below) return -1;
    return 0;
}

// Mapped by the window manager, or kept iconic (minimised, or on another desktop): a
// window the user can see, restore or switch to.
bool shown(const X11Client& c) { return c.mapped || c.hidden || c.iconic; }

// The space a client reserves, as _NET_WM_STRUT_PARTIAL lays it out; the older
// _NET_WM_STRUT (four widths) reserves its edges over their whole length.
std::optional<std::array<uint32_t, 12>> strutOf(const std::vector<uint32_t>& partial, const std::vector<uint32_t>& full) {
    std::array<uint32_t, 12> s{};
    if (partial.size() >= 12) {
        std::copy_n(partial.begin(), 12, s.begin());
    } else if (full.size() >= 4) {
        std::copy_n(full.begin(), 4, s.begin());
        for (int k = 4; k < 12; k += 2) s[size_t(k + 1)] = 0xFFFFFFFFu;
    } else {
        return std::nullopt;
    }
    if (s[0] == 0 && s[1] == 0 && s[2] == 0 && s[3] == 0) return std::nullopt;
    return s;
}

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool onScreen(const X11Client& c, int current) {
    return c.viewable && !c.hidden && (c.desktop == -1 || c.desktop == current);
}

}  // namespace

namespace {
std::atomic<desktop::Pid> cachedPid{0};
}  // namespace

desktop::Pid thisProcess() {
    desktop::Pid pid = cachedPid.load(std::memory_order_relaxed);
    if (pid > 0) return pid;
    static const bool once = [] {
        pthread_atfork(nullptr, nullptr, [] { cachedPid.store(0, std::memory_order_relaxed); });
        return true;
    }();
    (void)once;
    pid = desktop::Pid(::getpid());
    cachedPid.store(pid, std::memory_order_relaxed);
    return pid;
}

namespace {
// Until the workspace tells how windows map to desktop entries: by class alone.
desktop::ApplicationIdentity identityByClass(const desktop::WindowOwner& owner) {
    return desktop::identityOf(owner, std::nullopt, "", thisProcess());
}
}  // namespace

X11WindowServer::X11WindowServer(std::shared_ptr<XConnection> connection)
    : conn_(std::move(connection)), groups_(identityByClass) {
    if (!conn_) return;
    auto* c = conn_->connection();
    std::vector<xcb_intern_atom_cookie_t> cookies;
    for (const char* name : kAtomNames) cookies.push_back(xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name));
    for (size_t i = 0; i < cookies.size(); ++i) {
        xcb_generic_error_t* e = nullptr;
        auto* r = xcb_intern_atom_reply(c, cookies[i], &e);
        free(e);
        atoms_[kAtomNames[i]] = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(r);
    }
    std::weak_ptr<bool> alive = alive_;
    listener_ = conn_->addEventListener([this, alive](const xcb_generic_event_t* e) {
        if (!alive.expired()) onEvent(e);
    });
    std::lock_guard lock(mutex_);
    table_ = read(nullptr, {});
    fresh_ = true;
    for (auto& client : table_.clients)
        if (shown(client)) told_.insert(client.window);
    group(table_);
    xcb_flush(c);
}

X11WindowServer::~X11WindowServer() {
    *alive_ = false;
    alive_.reset();
    if (conn_ && listener_) conn_->removeEventListener(listener_);
    std::lock_guard lock(captureMutex_);
    if (capture_) xcb_disconnect(capture_);
}

bool X11WindowServer::isMainThread() const {
    // Without an application object there is only the thread that made it.
    auto* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

// Reading ---------------------------------------------------------------------------------

X11WindowServer::Table X11WindowServer::read(Table* previous, const std::set<xcb_window_t>& changed, bool rootLists) {
    Table t;
    if (!conn_ || !conn_->isValid()) return t;
    auto* c = conn_->connection();
    xcb_window_t root = conn_->root();
    auto A = [this](const char* n) { return atoms_[n]; };

    std::vector<uint32_t> windows;
    if (rootLists || !previous) {
        // Round trip 1: the root's lists.
        Reply stacking, list, active, current, count;
        auto cs = ask(c, root, A("_NET_CLIENT_LIST_STACKING"), 65536);
        auto cl = ask(c, root, A("_NET_CLIENT_LIST"), 65536);
        auto ca = ask(c, root, A("_NET_ACTIVE_WINDOW"));
        auto cc = ask(c, root, A("_NET_CURRENT_DESKTOP"));
        auto cn = ask(c, root, A("_NET_NUMBER_OF_DESKTOPS"));
        take(c, cs, stacking);
        take(c, cl, list);
        take(c, ca, active);
        take(c, cc, current);
        take(c, cn, count);
        windows = stacking.words();
        if (windows.empty()) windows = list.words();
        std::reverse(windows.begin(), windows.end());  // front to back
        t.active = active.word().value_or(XCB_WINDOW_NONE);
        t.currentDesktop = int(current.word().value_or(0));
        t.desktops = int(std::max<uint32_t>(1, count.word().value_or(1)));
    } else {
        // Only clients changed: the list and the order are the previous table's.
        windows.reserve(previous->clients.size());
        for (auto& client : previous->clients) windows.push_back(client.window);
        t.active = previous->active;
        t.currentDesktop = previous->currentDesktop;
        t.desktops = previous->desktops;
    }

    // Round trip 2: every property and the owning process of every client, all requests
    // sent before any reply is read.
    const xcb_query_extension_reply_t* res = xcb_get_extension_data(c, &xcb_res_id);
    const bool hasRes = res && res->present;
    if (!hasRes && !resMissingLogged_) {
        resMissingLogged_ = true;
        log("X11: no X-Resource extension: the processes owning windows cannot be confirmed, and none will be "
            "signalled");
    }
    struct Cookies {
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t origin;
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_property_cookie_t p[kProperties];
        xcb_res_query_client_ids_cookie_t owner;
    };
    const xcb_atom_t props[kProperties] = {A("_NET_WM_PID"), A("_NET_WM_NAME"), XCB_ATOM_WM_NAME, XCB_ATOM_WM_CLASS,
                                  A("_NET_WM_STATE"), A("_NET_WM_WINDOW_TYPE"), A("_NET_WM_DESKTOP"),
                                  A("_NET_FRAME_EXTENTS"), XCB_ATOM_WM_TRANSIENT_FOR, A("_NET_WM_ALLOWED_ACTIONS"),
                                  A("_NET_WM_WINDOW_OPACITY"), A("WM_STATE"), A("_GTK_APPLICATION_ID"),
                                  A("_KDE_NET_WM_DESKTOP_FILE"), A("WM_NORMAL_HINTS"), A("_NET_WM_STRUT_PARTIAL"),
                                  A("_NET_WM_STRUT")};
    // Only the clients that are new or that events said changed are read; the others are
    // as the previous table has them. A new client's events are asked for before it is
    // read, so no change after the read goes unseen.
    std::vector<bool> fresh(windows.size(), true);
    if (previous)
        for (size_t i = 0; i < windows.size(); ++i)
            fresh[i] = !previous->position.count(windows[i]) || changed.count(windows[i]);
    std::vector<Cookies> cookies(windows.size());
    t.clients.reserve(windows.size());
    t.read.reserve(windows.size());
    t.position.reserve(windows.size());
    for (size_t i = 0; i < windows.size(); ++i) {
        if (!fresh[i]) continue;
        xcb_window_t w = windows[i];
        if (!selected_.count(w)) {
            uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(c, w, XCB_CW_EVENT_MASK, &mask);
            selected_[w] = true;
        }
        cookies[i].geometry = xcb_get_geometry(c, w);
        cookies[i].origin = xcb_translate_coordinates(c, w, root, 0, 0);
        cookies[i].attributes = xcb_get_window_attributes(c, w);
        for (int k = 0; k < kProperties; ++k) cookies[i].p[k] = ask(c, w, props[k], k == 4 || k == 9 ? 64 : 1024);
        // The owner as the server knows it: the process of the client that made the window.
        if (hasRes) {
            xcb_res_client_id_spec_t spec{w, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
            cookies[i].owner = xcb_res_query_client_ids(c, 1, &spec);
        }
    }
    for (size_t i = 0; i < windows.size(); ++i) {
        if (!fresh[i]) {
            t.position[windows[i]] = t.clients.size();
            X11Client& carried = previous->clients[previous->position.at(windows[i])];
            t.clients.push_back(std::move(carried));
            carried.window = windows[i];
            carried.pid = t.clients.back().pid;
            t.read.push_back(false);
            continue;
        }
        X11Client client;
        client.window = windows[i];
        xcb_generic_error_t* e = nullptr;
        auto* g = xcb_get_geometry_reply(c, cookies[i].geometry, &e);
        free(e);
        e = nullptr;
        auto* o = xcb_translate_coordinates_reply(c, cookies[i].origin, &e);
        free(e);
        e = nullptr;
        auto* a = xcb_get_window_attributes_reply(c, cookies[i].attributes, &e);
        free(e);
        Reply r[kProperties];
        for (int k = 0; k < kProperties; ++k) take(c, cookies[i].p[k], r[k]);
        bool gone = !g || !o || !a;
        if (!gone) {
            client.clientGeometry = MakeRect(o->dst_x, o->dst_y, g->width, g->height);
            client.viewable = a->map_state == XCB_MAP_STATE_VIEWABLE;
            client.mapped = a->map_state != XCB_MAP_STATE_UNMAPPED;
        }
        free(g);
        free(o);
        free(a);
        desktop::Pid owner = -1;
        if (hasRes) {
            e = nullptr;
            auto* reply = xcb_res_query_client_ids_reply(c, cookies[i].owner, &e);
            free(e);
            if (reply) {
                for (auto it = xcb_res_query_client_ids_ids_iterator(reply); it.rem; xcb_res_client_id_value_next(&it))
                    if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
                        xcb_res_client_id_value_value_length(it.data) >= 1)
                        owner = desktop::Pid(*xcb_res_client_id_value_value(it.data));
                free(reply);
            }
        }
        if (gone) continue;  // vanished between the list and the read: normal

        client.claimedPid = desktop::Pid(r[0].word().value_or(0));
        if (client.claimedPid <= 0) client.claimedPid = -1;
        client.process = owner > 0 ? owner : -1;
        std::string netName = r[1].text();
        client.title = !netName.empty() ? netName : QString::fromLatin1(r[2].text().c_str()).toStdString();
        std::string cls = r[3].text();
        auto zero = cls.find('\0');
        client.wmInstance = cls.substr(0, zero);
        if (zero != std::string::npos) {
            std::string rest = cls.substr(zero + 1);
            client.wmClass = rest.substr(0, rest.find('\0'));
        }
        auto has = [&](const std::vector<uint32_t>& v, const char* n) {
            return std::find(v.begin(), v.end(), A(n)) != v.end();
        };
        auto state = r[4].words();
        if (auto d = r[6].word()) client.desktop = *d == 0xFFFFFFFF ? -1 : int(*d);
        // Iconic in ICCCM terms is minimised on this desktop; a window manager may keep
        // the windows of other desktops iconic too, and those are not minimised.
        client.iconic = r[11].word().value_or(1) == 3;
        const bool elsewhere = client.desktop != -1 && client.desktop != t.currentDesktop;
        client.hidden = has(state, "_NET_WM_STATE_HIDDEN") || (client.iconic && !elsewhere);
        client.maximizedVert = has(state, "_NET_WM_STATE_MAXIMIZED_VERT");
        client.maximizedHorz = has(state, "_NET_WM_STATE_MAXIMIZED_HORZ");
        client.modal = has(state, "_NET_WM_STATE_MODAL");
        client.above = has(state, "_NET_WM_STATE_ABOVE");
        client.below = has(state, "_NET_WM_STATE_BELOW");
        client.skipTaskbar = has(state, "_NET_WM_STATE_SKIP_TASKBAR");
        auto types = r[5].words();
        static const std::pair<const char*, const char*> kTypes[] = {
            {"_NET_WM_WINDOW_TYPE_NORMAL", "normal"},   {"_NET_WM_WINDOW_TYPE_DIALOG", "dialog"},
            {"_NET_WM_WINDOW_TYPE_UTILITY", "utility"}, {"_NET_WM_WINDOW_TYPE_TOOLBAR", "toolbar"},
            {"_NET_WM_WINDOW_TYPE_DOCK", "dock"},       {"_NET_WM_WINDOW_TYPE_DESKTOP", "desktop"},
            {"_NET_WM_WINDOW_TYPE_MENU", "menu"},       {"_NET_WM_WINDOW_TYPE_SPLASH", "splash"},
            {"_NET_WM_WINDOW_TYPE_NOTIFICATION", "notification"}};
        for (uint32_t type : types) {
            for (auto& [atom, name] : kTypes)
                if (type == A(atom)) client.type = name;
            if (!client.type.empty()) break;
        }
        auto extents = r[7].words();
        if (extents.size() >= 4)
            for (int k = 0; k < 4; ++k) client.extents[k] = extents[size_t(k)];
        client.transientFor = r[8].word().value_or(XCB_WINDOW_NONE);
        if (!r[9].empty()) {
            auto actions = r[9].words();
            client.canMove = has(actions, "_NET_WM_ACTION_MOVE");
            client.canResize = has(actions, "_NET_WM_ACTION_RESIZE");
            client.canClose = has(actions, "_NET_WM_ACTION_CLOSE");
            client.canMinimize = has(actions, "_NET_WM_ACTION_MINIMIZE");
        } else {
            auto hints = r[14].words();
            if (hints.size() >= 9 && (hints[0] & 16) && (hints[0] & 32) && hints[5] == hints[7] && hints[6] == hints[8])
                client.canResize = false;
        }
        if (auto opacity = r[10].word()) client.alpha = double(*opacity) / double(0xFFFFFFFFu);
        client.applicationId = !r[12].empty() ? r[12].text() : r[13].text();
        while (!client.applicationId.empty() && client.applicationId.back() == '\0') client.applicationId.pop_back();
        client.strut = strutOf(r[15].words(), r[16].words());
        const Rect& g2 = client.clientGeometry;
        client.frame = MakeRect(g2.origin.x - client.extents[0], g2.origin.y - client.extents[2],
                                g2.size.width + client.extents[0] + client.extents[1],
                                g2.size.height + client.extents[2] + client.extents[3]);
        t.position[client.window] = t.clients.size();
        t.clients.push_back(std::move(client));
        t.read.push_back(true);
    }
    return t;
}

void X11WindowServer::refresh() { refresh(true); }

void X11WindowServer::refresh(bool everything) {
    {
        std::lock_guard lock(mutex_);
        Table before = std::move(table_);
        std::set<xcb_window_t> reborn = std::move(destroyed_);
        destroyed_.clear();
        std::set<xcb_window_t> changed;
        changed.swap(changed_);
        everything = everything || readAll_;
        readAll_ = false;
        const bool rootLists = everything || rootChanged_;
        rootChanged_ = false;
        table_ = read(everything ? nullptr : &before, changed, rootLists);
        fresh_ = true;
        ++refreshes_;
        auto* c = conn_ ? conn_->connection() : nullptr;
        for (size_t i = 0; i < table_.clients.size(); ++i) {
            const X11Client& client = table_.clients[i];
            if (table_.read[i] && !before.position.count(client.window) && client.claimedPid > 0 &&
                client.claimedPid != client.process)
                log("X11: window ", client.window, " says it belongs to process ", client.claimedPid,
                    client.process > 0 ? " but the X server names process " + std::to_string(client.process)
                                       : std::string(" and the X server cannot confirm it"),
                    ": the claim is not believed");
        }
        for (auto it = selected_.begin(); it != selected_.end();)
            it = table_.position.count(it->first) ? std::next(it) : selected_.erase(it);
        if (c) xcb_flush(c);
        if (requestedActive_ != XCB_WINDOW_NONE && table_.active == requestedActive_) requestedActive_ = XCB_WINDOW_NONE;
        // The id of a destroyed window taken by a new one: the old window went now; the
        // new one is told of at the next refresh, as a window of its own (its
        // application is found anew).
        std::vector<X11Change> gone;
        std::set<xcb_window_t> later;
        for (xcb_window_t w : reborn) {
            if (!table_.position.count(w)) continue;  // plainly gone: the comparison tells
            auto was = before.position.find(w);
            if (told_.erase(w))
                gone.push_back({X11Change::Kind::Destroyed, w,
                                was != before.position.end() ? before.clients[was->second].pid : desktop::Pid(-1)});
            later.insert(w);
            changed_.insert(w);
        }
        if (!later.empty()) scheduleRefresh();
        // A client the window manager lists but has not shown yet is told of once it is.
        std::set<xcb_window_t> shownNow;
        for (auto& client : table_.clients)
            if (!told_.count(client.window) && !later.count(client.window) && shown(client)) {
                told_.insert(client.window);
                shownNow.insert(client.window);
            }
        auto applications = group(table_);
        compare(before, table_, shownNow, applications, std::move(gone));
    }
}

namespace {
// Whether a client is this program's: the X server says so, or, where it cannot tell,
// the client does.
bool ownedBy(const X11Client& c, desktop::Pid self) {
    return c.process > 0 ? c.process == self : c.claimedPid == self;
}

// What other programs reserve, sorted, each strut once: the space alone, whichever and
// however many windows keep it (a panel made again under a new id keeps the same space).
std::vector<std::array<uint32_t, 12>> othersStruts(const std::vector<X11Client>& clients, int currentDesktop) {
    const desktop::Pid self = thisProcess();
    std::vector<std::array<uint32_t, 12>> out;
    for (auto& c : clients)
        if (c.strut && !ownedBy(c, self) && c.viewable && (c.desktop == -1 || c.desktop == currentDesktop))
            out.push_back(*c.strut);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

desktop::WindowOwner ownerOf(const X11Client& c) {
    desktop::WindowOwner owner;
    owner.window = c.window;
    owner.process = c.process;
    owner.wmInstance = c.wmInstance;
    owner.wmClass = c.wmClass;
    owner.applicationId = c.applicationId;
    owner.regular = (c.type.empty() || c.type == "normal" || c.type == "dialog") && !c.skipTaskbar;
    return owner;
}
}  // namespace

std::vector<std::array<uint32_t, 12>> X11WindowServer::reservedByOthers() {
    // Read while panels lay themselves out: the events not read yet are left for the
    // event loop (handling them here could rebuild the panel asking), and the change
    // they bring is told then.
    if (isMainThread()) {
        bool stale;
        {
            std::lock_guard lock(mutex_);
            stale = !fresh_ && delivering_ == 0;
        }
        if (stale) refresh(false);
    }
    std::lock_guard lock(mutex_);
    return othersStruts(table_.clients, table_.currentDesktop);
}


desktop::ApplicationGroups::Changes X11WindowServer::group(Table& table) {
    // Only the windows the listeners know of belong to applications.
    std::vector<desktop::WindowOwner> owners;
    owners.reserve(table.clients.size());
    for (auto& client : table.clients)
        if (told_.count(client.window)) owners.push_back(ownerOf(client));
    auto changes = groups_.update(owners);
    for (auto& client : table.clients) client.pid = groups_.applicationOf(client.window);
    return changes;
}

void X11WindowServer::setApplicationIdentity(desktop::ApplicationGroups::Identify identify) {
    std::lock_guard lock(mutex_);
    groups_ = desktop::ApplicationGroups(std::move(identify));
    group(table_);
}

std::vector<desktop::ApplicationGroups::Application> X11WindowServer::applications() {
    ensureFresh();
    std::lock_guard lock(mutex_);
    std::vector<desktop::ApplicationGroups::Application> list;
    for (auto* app : groups_.applications()) list.push_back(*app);
    return list;
}

std::optional<desktop::ApplicationGroups::Application> X11WindowServer::application(desktop::Pid id) {
    std::lock_guard lock(mutex_);
    if (auto* app = groups_.application(id)) return *app;
    return std::nullopt;
}

void X11WindowServer::compare(const Table& before, const Table& after, const std::set<xcb_window_t>& shownNow,
                              const desktop::ApplicationGroups::Changes& applications, std::vector<X11Change> gone) {
    using K = X11Change::Kind;
    std::vector<X11Change> changes = std::move(gone);
    for (auto id : applications.started) changes.push_back({K::ApplicationStarted, XCB_WINDOW_NONE, id});
    for (auto id : applications.changed) changes.push_back({K::ApplicationChanged, XCB_WINDOW_NONE, id});
    // A window whose class changed leaves its application and joins another.
    for (auto& [window, from] : groups_.windowsMoved()) {
        changes.push_back({K::Destroyed, window, from});
        changes.push_back({K::Created, window, groups_.applicationOf(window)});
    }
    for (size_t i = 0; i < after.clients.size(); ++i) {
        const X11Client& c = after.clients[i];
        if (shownNow.count(c.window)) {
            changes.push_back({K::Created, c.window, c.pid});
            continue;
        }
        // A client carried over from the previous table has not changed.
        if (!after.read[i] || !told_.count(c.window)) continue;
        auto it = before.position.find(c.window);
        if (it == before.position.end()) continue;
        const X11Client& o = before.clients[it->second];
        if (o.hidden != c.hidden) changes.push_back({c.hidden ? K::Minimized : K::Deminimized, c.window, c.pid});
        if (o.frame.origin != c.frame.origin) changes.push_back({K::Moved, c.window, c.pid});
        if (o.frame.size != c.frame.size) changes.push_back({K::Resized, c.window, c.pid});
        if (o.title != c.title) changes.push_back({K::TitleChanged, c.window, c.pid});
    }
    // One that goes before it was ever shown goes untold, as it came.
    for (auto& c : before.clients)
        if (!after.position.count(c.window) && told_.erase(c.window)) changes.push_back({K::Destroyed, c.window, c.pid});
    if (before.active != after.active) {
        auto pidOf = [](const Table& t, xcb_window_t w) {
            auto it = t.position.find(w);
            return it == t.position.end() ? desktop::Pid(-1) : t.clients[it->second].pid;
        };
        desktop::Pid was = pidOf(before, before.active), now = pidOf(after, after.active);
        if (now > 0) changes.push_back({K::FocusChanged, after.active, now});
        if (now != was) changes.push_back({K::Activated, after.active, now, was});
    }
    if (othersStruts(before.clients, before.currentDesktop) != othersStruts(after.clients, after.currentDesktop))
        changes.push_back({K::ReservedSpaceChanged, XCB_WINDOW_NONE, -1});
    for (auto id : applications.ended) changes.push_back({K::ApplicationEnded, XCB_WINDOW_NONE, id});
    if (changes.empty()) return;
    std::weak_ptr<bool> alive = alive_;
    RunLoop::main().post([this, alive, changes = std::move(changes)] {
        if (alive.expired()) return;
        ++delivering_;
        struct Done {
            int& depth;
            ~Done() { --depth; }
        } done{delivering_};
        for (auto& change : changes) {
            std::vector<std::shared_ptr<std::function<void(const X11Change&)>>> snapshot;
            for (auto& [id, l] : listeners_) snapshot.push_back(l);
            for (auto& l : snapshot) (*l)(change);
        }
    });
}

void X11WindowServer::invalidate() {
    std::lock_guard lock(mutex_);
    fresh_ = false;
    readAll_ = true;
    rootChanged_ = true;
}

void X11WindowServer::scheduleRefresh() {
    std::lock_guard lock(mutex_);
    fresh_ = false;
    if (refreshQueued_) return;
    refreshQueued_ = true;
    // A window that comes or goes brings a flurry of events within a few milliseconds
    // (the window manager frames it, sets its state, lists it, focuses it): they are read
    // together, a little after the first. Whoever asks meanwhile gets a fresh read anyway.
    if (!settle_)
        settle_ = std::make_unique<SettleTimer>(kEventSettle, [this] {
            // The rest of the flurry, read in one go.
            if (conn_) conn_->processPendingEvents();
            bool stale;
            {
                std::lock_guard lock(mutex_);
                refreshQueued_ = false;
                stale = !fresh_;
            }
            if (stale) refresh(false);
        });
    settle_->request();
    if (conn_) conn_->holdReading(int(kEventSettle * 1000.0));
}

void X11WindowServer::ensureFresh(bool evenWhileTelling) {
    // Only the main thread reads the table again: the grouping into applications asks the
    // workspace, whose desktop entries live there. Other threads see the last table.
    if (!isMainThread()) return;
    // While the listeners are told of changes, the table stays as the refresh that found
    // them left it: their handlers read it many times over, and reading the events that
    // came meanwhile (each a refresh, round trips included) only tells of what the next
    // refresh, on the next turn of the loop, tells anyway. (A table never read is read
    // before anything is told of it.)
    if (delivering_ > 0 && !evenWhileTelling) return;
    if (conn_ && QCoreApplication::instance()) conn_->catchUp();
    bool stale;
    {
        std::lock_guard lock(mutex_);
        stale = !fresh_;
    }
    if (stale) refresh(false);
}

void X11WindowServer::onEvent(const xcb_generic_event_t* event) {
    uint8_t type = event->response_type & 0x7f;
    std::lock_guard lock(mutex_);
    // A change of a client: it is read again at the next refresh.
    auto changedClient = [this](xcb_window_t w) {
        if (!selected_.count(w)) return;
        changed_.insert(w);
        scheduleRefresh();
    };
    switch (type) {
        case XCB_PROPERTY_NOTIFY: {
            auto* e = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            if (e->window == conn_->root()) {
                for (const char* n : {"_NET_CLIENT_LIST_STACKING", "_NET_CLIENT_LIST", "_NET_ACTIVE_WINDOW"})
                    if (e->atom == atoms_[n]) {
                        rootChanged_ = true;
                        scheduleRefresh();
                    }
                // Another desktop maps and unmaps frames, which tells the clients nothing:
                // every client is read again.
                for (const char* n : {"_NET_CURRENT_DESKTOP", "_NET_NUMBER_OF_DESKTOPS"})
                    if (e->atom == atoms_[n]) {
                        readAll_ = true;
                        rootChanged_ = true;
                        scheduleRefresh();
                    }
            } else {
                changedClient(e->window);
            }
            break;
        }
        case XCB_CONFIGURE_NOTIFY:
            changedClient(reinterpret_cast<const xcb_configure_notify_event_t*>(event)->window);
            break;
        case XCB_DESTROY_NOTIFY: {
            auto* e = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
            if (e->window != e->event) break;  // a child of a client: not a client
            if (selected_.count(e->window)) {
                // Its events must be asked for again should the id come back on a new
                // window, and the table must not take that window for this one.
                changedClient(e->window);
                selected_.erase(e->window);
                destroyed_.insert(e->window);
            }
            break;
        }
        case XCB_UNMAP_NOTIFY:
            changedClient(reinterpret_cast<const xcb_unmap_notify_event_t*>(event)->window);
            break;
        case XCB_MAP_NOTIFY:
            changedClient(reinterpret_cast<const xcb_map_notify_event_t*>(event)->window);
            break;
        default: break;
    }
}

std::vector<X11Client> X11WindowServer::clients() {
    ensureFresh();
    std::lock_guard lock(mutex_);
    return table_.clients;
}

std::optional<X11Client> X11WindowServer::client(xcb_window_t window) {
    ensureFresh();
    std::lock_guard lock(mutex_);
    auto it = table_.position.find(window);
    if (it == table_.position.end()) return std::nullopt;
    return table_.clients[it->second];
}

std::vector<X11Client> X11WindowServer::clientsOf(desktop::Pid pid) {
    ensureFresh();
    std::lock_guard lock(mutex_);
    std::vector<X11Client> own;
    for (auto& c : table_.clients)
        if (c.pid == pid) own.push_back(c);
    return own;
}

xcb_window_t X11WindowServer::activeWindow() {
    ensureFresh();
    std::lock_guard lock(mutex_);
    return table_.active;
}

int X11WindowServer::addChangeListener(std::function<void(const X11Change&)> listener) {
    int id = nextListener_++;
    listeners_[id] = std::make_shared<std::function<void(const X11Change&)>>(std::move(listener));
    return id;
}

void X11WindowServer::removeChangeListener(int id) { listeners_.erase(id); }

// desktop::WindowServer -------------------------------------------------------------------

std::vector<desktop::WindowInfo> X11WindowServer::windowList(uint32_t options, desktop::WindowNumber relativeTo) {
    // The stacking order is read as it stands even while changes are told: windows are
    // sorted by it as they come, and the window manager restacks a new window after it
    // shows it.
    ensureFresh(true);
    std::lock_guard lock(mutex_);
    std::vector<desktop::WindowInfo> list;
    for (auto& c : table_.clients) {
        if ((options & desktop::kCGWindowListOptionIncludingWindow) && c.window != relativeTo) continue;
        bool visible = onScreen(c, table_.currentDesktop);
        if ((options & desktop::kCGWindowListOptionOnScreenOnly) && !visible) continue;
        if ((options & desktop::kCGWindowListExcludeDesktopElements) && c.type == "desktop") continue;
        desktop::WindowInfo info;
        info.number = c.window;
        info.ownerPid = c.pid;
        info.ownerName = c.wmClass;
        info.name = c.title;
        info.layer = layerOf(c);
        info.alpha = c.alpha;
        info.bounds = c.frame;
        info.onScreen = visible;
        info.space = c.desktop;
        list.push_back(std::move(info));
    }
    return list;
}

xcb_connection_t* X11WindowServer::captureConnection() {
    if (!capture_) {
        // A raw connection of our own: it asks for no events, so nothing piles up on it,
        // and its requests never wait behind the main thread's.
        int screen = 0;
        xcb_connection_t* raw = xcb_connect(nullptr, &screen);
        if (!raw || xcb_connection_has_error(raw)) {
            if (raw) xcb_disconnect(raw);
            log("X11: cannot open a connection for window pictures");
            return nullptr;
        }
        capture_ = raw;
        const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
        auto* atom = xcb_intern_atom_reply(raw, xcb_intern_atom(raw, 0, uint16_t(name.size()), name.c_str()), nullptr);
        compositingSelection_ = atom ? atom->atom : XCB_ATOM_NONE;
        free(atom);
    }
    xcb_connection_t* c = capture_;
    if (!compositeChecked_) {
        compositeChecked_ = true;
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_composite_id);
        if (ext && ext->present) {
            xcb_generic_error_t* e = nullptr;
            auto* v = xcb_composite_query_version_reply(c, xcb_composite_query_version(c, 0, 4), &e);
            free(e);
            hasComposite_ = v && (v->major_version > 0 || v->minor_version >= 2);
            free(v);
        }
        if (!hasComposite_) log("X11: no Composite extension: window pictures show only their visible parts");
        const xcb_query_extension_reply_t* shape = xcb_get_extension_data(c, &xcb_shape_id);
        hasShape_ = shape && shape->present;
    }
    return c;
}

bool X11WindowServer::keepContents(desktop::WindowNumber window) {
    if (window == 0) return false;
    std::lock_guard lock(captureMutex_);
    xcb_connection_t* c = captureConnection();
    if (!c || !hasComposite_ || kept_.count(window)) return false;
    xcb_generic_error_t* e =
        xcb_request_check(c, xcb_composite_redirect_window_checked(c, window, XCB_COMPOSITE_REDIRECT_AUTOMATIC));
    if (e) {
        // Gone, or redirected by someone else in a way that excludes us.
        free(e);
        return false;
    }
    kept_.insert(window);
    return true;
}

void X11WindowServer::releaseContents(desktop::WindowNumber window) {
    std::lock_guard lock(captureMutex_);
    if (!capture_ || kept_.erase(window) == 0) return;
    // A window that went meanwhile is no longer redirected: the error is dropped.
    free(xcb_request_check(capture_,
                           xcb_composite_unredirect_window_checked(capture_, window, XCB_COMPOSITE_REDIRECT_AUTOMATIC)));
}

bool X11WindowServer::compositingManagerRuns(xcb_connection_t* c) const {
    if (compositingSelection_ == XCB_ATOM_NONE) return false;
    auto* owner = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, compositingSelection_), nullptr);
    const bool runs = owner && owner->owner != XCB_WINDOW_NONE;
    free(owner);
    return runs;
}

bool X11WindowServer::isCovered(xcb_connection_t* c, xcb_window_t window, const QRect& area) {
    // The window's top-level (the root's child that holds it) and the root's children
    // stacked above it.
    xcb_window_t topLevel = window;
    std::vector<xcb_window_t> siblings;
    for (int depth = 0; depth < 64; ++depth) {
        auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, topLevel), nullptr);
        if (!tree) return true;
        const xcb_window_t parent = tree->parent, root = tree->root;
        free(tree);
        if (parent == root || parent == XCB_WINDOW_NONE) {
            auto* rootTree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
            if (!rootTree) return true;
            const xcb_window_t* children = xcb_query_tree_children(rootTree);
            const int n = xcb_query_tree_children_length(rootTree);
            bool above = false;
            for (int i = 0; i < n; ++i) {
                if (above) siblings.push_back(children[i]);
                if (children[i] == topLevel) above = true;
            }
            free(rootTree);
            break;
        }
        topLevel = parent;
    }
    // Their attributes and geometry, asked all at once.
    std::vector<xcb_get_window_attributes_cookie_t> attributes;
    std::vector<xcb_get_geometry_cookie_t> geometries;
    for (xcb_window_t w : siblings) {
        attributes.push_back(xcb_get_window_attributes(c, w));
        geometries.push_back(xcb_get_geometry(c, w));
    }
    bool covered = false;
    for (size_t i = 0; i < siblings.size(); ++i) {
        auto* a = xcb_get_window_attributes_reply(c, attributes[i], nullptr);
        auto* g = xcb_get_geometry_reply(c, geometries[i], nullptr);
        if (a && g && a->map_state == XCB_MAP_STATE_VIEWABLE && a->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT &&
            QRect(g->x, g->y, g->width + 2 * g->border_width, g->height + 2 * g->border_width).intersects(area))
            covered = true;
        free(a);
        free(g);
    }
    return covered;
}

void X11WindowServer::applyShape(xcb_connection_t* c, xcb_window_t window, QImage& picture) {
    if (!hasShape_) return;
    auto* extents = xcb_shape_query_extents_reply(c, xcb_shape_query_extents(c, window), nullptr);
    const bool shaped = extents && extents->bounding_shaped;
    free(extents);
    if (!shaped) return;
    auto* reply = xcb_shape_get_rectangles_reply(c, xcb_shape_get_rectangles(c, window, XCB_SHAPE_SK_BOUNDING), nullptr);
    if (!reply) return;
    QRegion inside;
    const xcb_rectangle_t* rects = xcb_shape_get_rectangles_rectangles(reply);
    for (int i = 0, n = xcb_shape_get_rectangles_rectangles_length(reply); i < n; ++i)
        inside += QRect(rects[i].x, rects[i].y, rects[i].width, rects[i].height);
    free(reply);
    // Outside its shape the window has no pixels: transparent there, as on the screen.
    picture = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter p(&picture);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setClipRegion(QRegion(picture.rect()).subtracted(inside));
    p.fillRect(picture.rect(), Qt::transparent);
}

ImagePtr X11WindowServer::captureWindow(desktop::WindowNumber window) {
    if (window == 0) return nullptr;
    std::lock_guard lock(captureMutex_);
    xcb_connection_t* c = captureConnection();
    if (!c) return nullptr;
    xcb_generic_error_t* e = nullptr;
    auto* attributes = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), &e);
    free(e);
    e = nullptr;
    auto* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), &e);
    free(e);
    e = nullptr;
    bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    uint16_t width = geometry ? geometry->width : 0, height = geometry ? geometry->height : 0;
    const xcb_window_t root = geometry ? geometry->root : XCB_WINDOW_NONE;
    free(attributes);
    free(geometry);
    // Unmapped (minimised, on another desktop) or gone: there is nothing to picture.
    if (!viewable || width == 0 || height == 0) return nullptr;

    xcb_drawable_t source = window;
    xcb_pixmap_t pixmap = XCB_NONE;
    if (kept_.count(window)) {
        // Redirected: its own contents, whatever covers it.
        pixmap = xcb_generate_id(c);
        e = xcb_request_check(c, xcb_composite_name_window_pixmap_checked(c, window, pixmap));
        if (e) {
            free(e);
            e = nullptr;
            pixmap = XCB_NONE;
        } else {
            source = pixmap;
        }
    }
    if (pixmap == XCB_NONE && !compositingManagerRuns(c)) {
        // Read from the screen: only a window nothing covers shows its own pixels (a
        // compositing manager keeps every window's own, so then any window can be read).
        auto* at = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, root, 0, 0), nullptr);
        const QRect area = at ? QRect(at->dst_x, at->dst_y, width, height) : QRect();
        free(at);
        if (area.isNull() || isCovered(c, window, area)) return nullptr;
    }
    auto* image = xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, source, 0, 0, width, height, ~0u), &e);
    free(e);
    if (pixmap != XCB_NONE) xcb_free_pixmap(c, pixmap);
    xcb_flush(c);
    if (!image) return nullptr;
    ImagePtr result;
    int length = xcb_get_image_data_length(image);
    if ((image->depth == 24 || image->depth == 32) && length >= int(width) * int(height) * 4) {
        QImage picture = QImage(xcb_get_image_data(image), width, height, width * 4,
                                image->depth == 32 ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32)
                             .copy();
        applyShape(c, window, picture);
        result = std::make_shared<Image>(std::move(picture));
    } else {
        static bool logged = false;
        if (!logged) log("X11: window pictures of depth ", int(image->depth), " are not supported");
        logged = true;
    }
    free(image);
    return result;
}

bool X11WindowServer::clientMessage(xcb_window_t window, xcb_atom_t type, uint32_t d0, uint32_t d1, uint32_t d2,
                                    uint32_t d3, uint32_t d4) {
    if (!conn_ || !conn_->isValid() || type == XCB_ATOM_NONE) return false;
    xcb_client_message_event_t ev;
    std::memset(&ev, 0, sizeof ev);
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = window;
    ev.type = type;
    ev.data.data32[0] = d0;
    ev.data.data32[1] = d1;
    ev.data.data32[2] = d2;
    ev.data.data32[3] = d3;
    ev.data.data32[4] = d4;
    xcb_send_event(conn_->connection(), 0, conn_->root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&ev));
    xcb_flush(conn_->connection());
    return true;
}

bool X11WindowServer::activate(xcb_window_t window) {
    xcb_window_t current;
    int desktop = -1, currentDesktop = 0;
    {
        std::lock_guard lock(mutex_);
        current = table_.active;
        requestedActive_ = window;
        requestedAt_ = steadySeconds();
        currentDesktop = table_.currentDesktop;
        if (auto it = table_.position.find(window); it != table_.position.end())
            desktop = table_.clients[it->second].desktop;
    }
    // A window on another desktop is shown where it is, as a pager shows it: its desktop
    // becomes the current one (some window managers would only mark it).
    if (desktop >= 0 && desktop != currentDesktop)
        clientMessage(conn_->root(), atoms_["_NET_CURRENT_DESKTOP"], uint32_t(desktop), XCB_CURRENT_TIME);
    return clientMessage(window, atoms_["_NET_ACTIVE_WINDOW"], 2, XCB_CURRENT_TIME, current);
}

bool X11WindowServer::moveResize(xcb_window_t window, std::optional<Point> origin, std::optional<Size> size) {
    auto c = client(window);
    if (!c || (!origin && !size)) return false;
    if (c->maximizedVert || c->maximizedHorz) {
        // Restored, a window goes back where it was before it was maximised: it is told
        // to keep what this request leaves as it is now. The table learns of the restore
        // at once, so that the requests that follow (a move after a resize) do not
        // restore it again.
        clientMessage(window, atoms_["_NET_WM_STATE"], 0 /* remove */, atoms_["_NET_WM_STATE_MAXIMIZED_VERT"],
                      atoms_["_NET_WM_STATE_MAXIMIZED_HORZ"], 2);
        if (!origin) origin = c->frame.origin;
        if (!size) size = c->frame.size;
        std::lock_guard lock(mutex_);
        if (auto it = table_.position.find(window); it != table_.position.end())
            table_.clients[it->second].maximizedVert = table_.clients[it->second].maximizedHorz = false;
    }
    uint32_t flags = 1 /* NorthWest */ | (2u << 12) /* from a pager */;
    uint32_t x = 0, y = 0, w = 0, h = 0;
    if (origin) {
        flags |= (1u << 8) | (1u << 9);
        x = uint32_t(int32_t(std::lround(origin->x)));
        y = uint32_t(int32_t(std::lround(origin->y)));
    }
    if (size) {
        // The request names the client's own size; the frame adds the decorations.
        flags |= (1u << 10) | (1u << 11);
        w = uint32_t(std::max(1L, std::lround(size->width) - long(c->extents[0] + c->extents[1])));
        h = uint32_t(std::max(1L, std::lround(size->height) - long(c->extents[2] + c->extents[3])));
    }
    return clientMessage(window, atoms_["_NET_MOVERESIZE_WINDOW"], flags, x, y, w, h);
}

bool X11WindowServer::iconify(xcb_window_t window) {
    return clientMessage(window, atoms_["WM_CHANGE_STATE"], 3 /* IconicState */);
}

bool X11WindowServer::close(xcb_window_t window) {
    return clientMessage(window, atoms_["_NET_CLOSE_WINDOW"], XCB_CURRENT_TIME, 2);
}

bool X11WindowServer::raise(xcb_window_t window) {
    return clientMessage(window, atoms_["_NET_RESTACK_WINDOW"], 2, XCB_WINDOW_NONE, XCB_STACK_MODE_ABOVE);
}

bool X11WindowServer::setFrontProcess(desktop::Pid pid, bool frontWindowOnly) {
    auto list = clients();
    xcb_window_t active = activeWindow();
    {
        // A window just asked to be active is the one to bring forward, although the
        // table may not show it active yet.
        std::lock_guard lock(mutex_);
        if (requestedActive_ != XCB_WINDOW_NONE && steadySeconds() - requestedAt_ < 1.0) active = requestedActive_;
    }
    std::vector<xcb_window_t> own;
    for (auto& c : list)
        if (c.pid == pid) own.push_back(c.window);
    if (own.empty()) {
        log("X11: application ", pid, " has no window left to bring forward");
        return false;
    }
    xcb_window_t front = std::find(own.begin(), own.end(), active) != own.end() ? active : own.front();
    if (!frontWindowOnly)
        for (auto it = own.rbegin(); it != own.rend(); ++it)
            if (*it != front) raise(*it);
    bool sent = raise(front);
    if (sent && !loggedNoRaise_) {
        std::weak_ptr<bool> alive = alive_;
        RunLoop::main().after(0.5, [this, alive, front, pid] {
            if (!alive.expired()) checkRaised(front, pid);
        });
    }
    return sent;
}

void X11WindowServer::checkRaised(xcb_window_t window, desktop::Pid pid) {
    if (loggedNoRaise_ || activeWindow() != window) return;  // the user has moved on
    auto own = clientsOf(pid);
    std::vector<xcb_window_t> visible;
    for (auto& c : own)
        if (c.viewable) visible.push_back(c.window);
    if (visible.empty() || visible.front() == window) return;
    loggedNoRaise_ = true;
    log("X11: the window manager left window ", window, " below another window of its application although it was "
        "asked to raise it; windows the dock brings forward may stay behind");
}

int X11WindowServer::numberOfSpaces() {
    ensureFresh();
    std::lock_guard lock(mutex_);
    return table_.desktops;
}

int X11WindowServer::currentSpace() {
    ensureFresh();
    std::lock_guard lock(mutex_);
    return table_.currentDesktop;
}

bool X11WindowServer::moveWindowToSpace(desktop::WindowNumber window, int space) {
    if (space < -1 || space >= numberOfSpaces() || !client(window)) return false;
    return clientMessage(window, atoms_["_NET_WM_DESKTOP"], space < 0 ? 0xFFFFFFFFu : uint32_t(space), 2);
}

}  // namespace qs::x11
