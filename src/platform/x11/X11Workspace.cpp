#include "platform/x11/X11Workspace.h"

#include <chrono>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include <QMimeDatabase>
#include <QSocketNotifier>
#include <QStringList>

#include "platform/desktop/DesktopEntryFile.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/IconSources.h"
#include "platform/desktop/UserMessages.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/x11/LaunchEnvironment.h"
#include "platform/x11/X11WindowIcons.h"
#include "platform/x11/X11WindowServer.h"
#include "platform/x11/XConnection.h"

namespace qs::x11 {

namespace fs = std::filesystem;

namespace {
std::string executableOf(desktop::Pid pid) {
    if (pid < 1) return {};
    std::error_code ec;
    auto target = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
    return ec ? std::string() : target.string();
}

// When the process started (seconds since 1970); 0 when it is gone or unknown.
double startDateOf(desktop::Pid pid) {
    if (pid < 1) return 0.0;
    std::error_code ec;
    auto stamp = fs::last_write_time("/proc/" + std::to_string(pid), ec);
    if (ec) return 0.0;
    return double(std::chrono::duration_cast<std::chrono::seconds>(
                      std::chrono::file_clock::to_sys(stamp).time_since_epoch())
                      .count());
}


}  // namespace

X11Workspace::X11Workspace(std::shared_ptr<XConnection> connection, std::shared_ptr<X11WindowServer> windows)
    : conn_(std::move(connection)), windows_(std::move(windows)) {
    if (!windows_) return;
    std::weak_ptr<bool> alive = alive_;
    windows_->setApplicationIdentity([this, alive](const desktop::WindowOwner& owner) {
        if (alive.expired()) return desktop::identityOf(owner, std::nullopt, "", thisProcess());
        return identify(owner);
    });
    listener_ = windows_->addChangeListener([this, alive](const X11Change& c) {
        if (!alive.expired()) onChange(c);
    });
    for (const auto& group : windows_->applications()) track(group, false);
    if (auto active = windows_->client(windows_->activeWindow())) {
        activePid_ = active->pid;
        if (auto it = tracked_.find(activePid_); it != tracked_.end()) it->second->setActive(true);
    }
}

X11Workspace::~X11Workspace() {
    *alive_ = false;
    // The window server's identity rule falls back to the class alone from now on.
    if (windows_ && listener_) windows_->removeChangeListener(listener_);
}

DesktopEntryIndex& X11Workspace::index() {
    // Applications installed or removed while the program runs are found again; the
    // folders are looked at no more than once a second.
    const double now = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    if (!index_.scanned()) {
        index_.scan();
        indexCheckedAt_ = now;
        matches_.clear();
    } else if (now - indexCheckedAt_ >= 1.0) {
        indexCheckedAt_ = now;
        if (index_.stale()) {
            index_.scan();
            matches_.clear();
        }
    }
    return index_;
}

desktop::ApplicationIdentity X11Workspace::identify(const desktop::WindowOwner& owner) {
    const std::string executable = owner.process == thisProcess() ? std::string() : executableOf(owner.process);
    if (owner.process == thisProcess()) return desktop::identityOf(owner, std::nullopt, executable, thisProcess());
    // A burst of windows of one program asks the same question many times.
    auto& idx = index();
    auto key = std::make_tuple(std::string(owner.applicationId), std::string(owner.wmInstance),
                               std::string(owner.wmClass), executable);
    auto it = matches_.find(key);
    if (it == matches_.end()) {
        if (matches_.size() > 4096) matches_.clear();
        it = matches_.emplace(key, idx.match(std::get<0>(key), std::get<1>(key), std::get<2>(key), executable)).first;
    }
    return desktop::identityOf(owner, it->second, executable, thisProcess());
}

std::vector<uint32_t> X11Workspace::windowsOf(desktop::Pid pid) {
    std::vector<uint32_t> out;
    for (auto& c : windows_->clientsOf(pid)) out.push_back(c.window);
    return out;
}

RunningApplication::Info X11Workspace::describe(const desktop::ApplicationGroups::Application& group) {
    RunningApplication::Info info;
    info.pid = group.id;
    info.startTime = group.serial;
    info.processes = group.processes;
    info.activationPolicy =
        group.regular ? NSApplicationActivationPolicyRegular : NSApplicationActivationPolicyAccessory;
    if (group.id == thisProcess() && group.identity.key == "self") {
        info.bundleIdentifier = "org.quayside.Quayside";
        info.localizedName = "Quayside";
        info.executablePath = executableOf(thisProcess());
        info.launchDate = startDateOf(thisProcess());
        return info;
    }
    // The program of its first process, or of one that is still there.
    std::vector<desktop::Pid> candidates{group.founder};
    candidates.insert(candidates.end(), group.processes.begin(), group.processes.end());
    for (auto pid : candidates) {
        info.executablePath = executableOf(pid);
        info.launchDate = startDateOf(pid);
        if (!info.executablePath.empty()) break;
    }
    info.localizedName = group.identity.name;
    if (const auto& entry = group.identity.entry) {
        info.bundleIdentifier = entry->id;
        info.bundlePath = entry->path;
        info.iconName = entry->icon;
    }
    return info;
}

void X11Workspace::track(const desktop::ApplicationGroups::Application& group, bool announce) {
    if (tracked_.count(group.id)) return;
    auto app = std::make_shared<RunningApplication>(describe(group));
    tracked_[group.id] = app;
    order_.push_back(group.id);
    // This program learns of its own windows, not of its own launch.
    if (announce && group.id != thisProcess()) {
        post(NSWorkspaceWillLaunchApplicationNotification, app);
        post(NSWorkspaceDidLaunchApplicationNotification, app);
    }
}

void X11Workspace::update(const desktop::ApplicationGroups::Application& group) {
    auto it = tracked_.find(group.id);
    if (it == tracked_.end()) return;
    auto app = it->second;
    const int was = app->activationPolicy();
    auto info = app->info();
    info.processes = group.processes;
    info.activationPolicy =
        group.regular ? NSApplicationActivationPolicyRegular : NSApplicationActivationPolicyAccessory;
    app->setInfo(std::move(info));
    // One that showed only a splash or a tool window at first becomes a regular
    // application now: told again, so that those who dropped it take it back.
    if (was != NSApplicationActivationPolicyRegular && app->activationPolicy() == NSApplicationActivationPolicyRegular &&
        group.id != thisProcess())
        post(NSWorkspaceDidLaunchApplicationNotification, app);
}

void X11Workspace::untrack(desktop::Pid id) {
    auto it = tracked_.find(id);
    if (it == tracked_.end()) return;
    auto app = it->second;
    tracked_.erase(it);
    order_.erase(std::remove(order_.begin(), order_.end(), id), order_.end());
    if (activePid_ == id) activePid_ = -1;
    app->setTerminated();
    post(NSWorkspaceDidTerminateApplicationNotification, app);
}

void X11Workspace::post(const char* name, const RunningApplicationPtr& app) {
    Dictionary info;
    info[NSWorkspaceApplicationKey] = Value(app);
    NotificationCenter::workspaceCenter().postNotificationName(name, Value(), info);
}

void X11Workspace::onChange(const X11Change& change) {
    using K = X11Change::Kind;
    switch (change.kind) {
        case K::ApplicationStarted:
            // Told after the grouping that made it: it may have ended since.
            if (auto group = windows_->application(change.pid)) track(*group, true);
            break;
        case K::ApplicationChanged:
            if (auto group = windows_->application(change.pid)) update(*group);
            break;
        case K::ApplicationEnded: untrack(change.pid); break;
        case K::Deminimized: {
            auto it = tracked_.find(change.pid);
            if (it != tracked_.end() && it->second->isHidden()) {
                it->second->setHidden(false);
                post(NSWorkspaceDidUnhideApplicationNotification, it->second);
            }
            break;
        }
        case K::Activated: {
            if (auto it = tracked_.find(change.previousPid); it != tracked_.end()) {
                it->second->setActive(false);
                post(NSWorkspaceDidDeactivateApplicationNotification, it->second);
            }
            activePid_ = change.pid;
            if (auto it = tracked_.find(change.pid); it != tracked_.end()) {
                it->second->setActive(true);
                post(NSWorkspaceDidActivateApplicationNotification, it->second);
            }
            break;
        }
        default: break;
    }
}

std::vector<RunningApplicationPtr> X11Workspace::runningApplications() {
    if (conn_) conn_->catchUp();
    std::vector<RunningApplicationPtr> list;
    for (auto pid : order_) list.push_back(tracked_[pid]);
    return list;
}

RunningApplicationPtr X11Workspace::frontmostApplication() {
    auto it = tracked_.find(activePid_);
    return it == tracked_.end() ? nullptr : it->second;
}

RunningApplicationPtr X11Workspace::currentApplication() {
    desktop::Pid self = thisProcess();
    if (auto it = tracked_.find(self); it != tracked_.end()) return it->second;
    if (!current_) {
        RunningApplication::Info info;
        info.pid = self;
        info.bundleIdentifier = "org.quayside.Quayside";
        info.localizedName = "Quayside";
        info.executablePath = executableOf(self);
        current_ = std::make_shared<RunningApplication>(info);
    }
    return current_;
}

bool X11Workspace::activate(RunningApplication& app, unsigned options) {
    auto own = windowsOf(app.processIdentifier());
    if (own.empty()) return false;
    if (app.isHidden()) unhide(app);
    xcb_window_t active = windows_->activeWindow();
    xcb_window_t top = std::find(own.begin(), own.end(), active) != own.end() ? active : own.front();
    if (options & NSApplicationActivateAllWindows)
        for (auto it = own.rbegin(); it != own.rend(); ++it)
            if (*it != top) windows_->raise(*it);
    return windows_->activate(top);
}

bool X11Workspace::hide(RunningApplication& app) {
    auto own = windowsOf(app.processIdentifier());
    if (own.empty()) return false;
    for (auto w : own) windows_->iconify(w);
    if (!app.isHidden()) {
        app.setHidden(true);
        post(NSWorkspaceDidHideApplicationNotification,
             std::static_pointer_cast<RunningApplication>(app.shared_from_this()));
    }
    return true;
}

bool X11Workspace::unhide(RunningApplication& app) {
    auto own = windowsOf(app.processIdentifier());
    if (own.empty()) return false;
    // Back to front, so the front window ends on top.
    for (auto it = own.rbegin(); it != own.rend(); ++it)
        if (auto c = windows_->client(*it); c && c->hidden) windows_->activate(*it);
    if (app.isHidden()) {
        app.setHidden(false);
        post(NSWorkspaceDidUnhideApplicationNotification,
             std::static_pointer_cast<RunningApplication>(app.shared_from_this()));
    }
    return true;
}

bool X11Workspace::terminate(RunningApplication& app) {
    // Every window of the application is asked to close; no process is signalled.
    auto own = windowsOf(app.processIdentifier());
    for (auto w : own) windows_->close(w);
    return !own.empty();
}

bool X11Workspace::forceTerminate(RunningApplication& app) {
    // Only the processes the X server names, now, as owners of the application's windows.
    windows_->refresh();
    std::set<desktop::Pid> owners;
    for (const auto& c : windows_->clientsOf(app.processIdentifier()))
        if (c.process > 0 && c.process != thisProcess()) owners.insert(c.process);
    bool signalled = false;
    for (auto pid : owners) signalled = ::kill(pid, SIGKILL) == 0 || signalled;
    return signalled;
}

std::optional<desktop::DesktopEntry> X11Workspace::entryForBundleIdentifier(const std::string& id) {
    return index().byId(id);
}

std::optional<desktop::DesktopEntry> X11Workspace::entryAtPath(const std::string& path) {
    if (auto e = index().byPath(path)) return e;
    return readDesktopEntry(path);
}

std::vector<desktop::DesktopEntry> X11Workspace::applicationsForMimeType(const std::string& mimeType) {
    return index().forMimeType(mimeType);
}

std::vector<std::string> X11Workspace::mimeTypesForFile(const std::string& path) {
    QMimeDatabase db;
    QMimeType type;
    const QString name = QString::fromUtf8(QByteArray::fromStdString(fs::path(path).filename().string()));
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        type = db.mimeTypeForName(QStringLiteral("inode/directory"));
    } else if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        // The bytes are read here, so that a name that is not UTF-8 is still read.
        QByteArray head(16384, '\0');
        std::ifstream in(path, std::ios::binary);
        in.read(head.data(), head.size());
        head.resize(in ? head.size() : qsizetype(std::max<std::streamsize>(in.gcount(), 0)));
        type = db.mimeTypeForFileNameAndData(name, head);
    } else {
        type = db.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    }
    if (!type.isValid() || type.name().isEmpty()) {
        log("the MIME database has no type for ", path, ": it is taken as application/octet-stream");
        return {"application/octet-stream"};
    }
    std::vector<std::string> out{type.name().toStdString()};
    for (const auto& ancestor : type.allAncestors()) {
        std::string a = ancestor.toStdString();
        if (!a.empty() && std::find(out.begin(), out.end(), a) == out.end()) out.push_back(a);
    }
    return out;
}

std::optional<std::string> X11Workspace::defaultApplicationForFile(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
    auto entry = index().defaultForTypes(mimeTypesForFile(path));
    if (!entry) return std::nullopt;
    return entry->path;
}

std::optional<std::vector<std::string>> X11Workspace::applicationsForFile(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
    auto types = mimeTypesForFile(path);
    std::vector<std::string> paths;
    if (auto preferred = index().defaultForTypes(types)) paths.push_back(preferred->path);
    for (const auto& type : types)
        for (const auto& e : index().associationsFor(type))
            if (std::find(paths.begin(), paths.end(), e.path) == paths.end()) paths.push_back(e.path);
    if (paths.empty()) return std::nullopt;
    return paths;
}

ImagePtr X11Workspace::iconForFile(const std::string& path) {
    // Nothing is decoded here: the icon is found in the icon theme and read when drawn
    // (by the icon cache, off the main thread), with the generic icon of its kind for an
    // icon the theme lacks or cannot read.
    if (path.empty()) return nullptr;
    if (desktop::isDesktopEntryPath(path)) {
        // An entry that is not installed (or not readable) still stands for an application.
        auto e = entryAtPath(path);
        return desktop::deferredIcon(e ? desktop::themeIconSource(
                                             {e->icon}, desktop::genericIconSource(desktop::GenericKind::Application))
                                       : desktop::genericIconSource(desktop::GenericKind::Application));
    }
    QMimeDatabase db;
    QMimeType type = db.mimeTypeForFile(QString::fromStdString(path));
    std::vector<std::string> names{type.iconName().toStdString(), type.genericIconName().toStdString()};
    const bool folder = type.name() == "inode/directory";
    if (folder) names.push_back("folder");
    return desktop::deferredIcon(desktop::themeIconSource(
        std::move(names), desktop::genericIconSource(folder ? desktop::GenericKind::Folder : desktop::GenericKind::Document)));
}

ImagePtr X11Workspace::iconForApplication(const RunningApplication& app) {
    // The entry's icon when the theme has it, else the icon the windows give (read when
    // drawn, on a connection of its own), else the generic application icon. Only the
    // windows are taken here, from the window list.
    auto generic = desktop::genericIconSource(desktop::GenericKind::Application);
    auto windows = conn_ ? windowsOf(app.processIdentifier()) : std::vector<uint32_t>();
    ImageSourcePtr fallback = generic;
    if (!windows.empty()) {
        if (!iconReader_) iconReader_ = std::make_shared<WindowIconReader>(conn_->displayName());
        fallback = windowIconSource(iconReader_, std::move(windows), app.localizedName(), generic);
    }
    if (!app.iconName().empty()) return desktop::deferredIcon(desktop::themeIconSource({app.iconName()}, fallback));
    return desktop::deferredIcon(fallback);
}

std::vector<desktop::DesktopEntry> X11Workspace::applicationsInCategory(const std::string& category) {
    std::vector<desktop::DesktopEntry> found;
    for (const auto& e : index().entries())
        if (!e.noDisplay && !e.hidden && std::find(e.categories.begin(), e.categories.end(), category) != e.categories.end())
            found.push_back(e);
    return found;
}

std::optional<desktop::DesktopEntry> X11Workspace::resolve(const std::string& application) {
    auto& idx = index();
    if (auto e = idx.byPath(application)) return e;
    if (auto e = idx.byId(application)) return e;
    std::string name = fs::path(application).stem().string();
    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        return s;
    };
    for (auto& e : idx.entries())
        if (lower(e.name) == lower(name) || lower(e.id) == lower(name)) return e;
    if (auto e = idx.match("", name, name, name)) return e;
    return std::nullopt;
}

std::string X11Workspace::noApplicationReason(const std::string& mimeType) {
    if (mimeType == "inode/directory") return "No file manager on this desktop opens folders.";
    QMimeType type = QMimeDatabase().mimeTypeForName(QString::fromStdString(mimeType));
    std::string kind = type.isValid() ? type.comment().toStdString() : std::string();
    if (kind.empty()) kind = mimeType;
    return "No application on this desktop is set to open files of the kind \u201c" + kind + "\u201d (" + mimeType + ").";
}

bool X11Workspace::openFile(const std::string& path, const std::string& application) {
    if (path.empty()) return false;
    if (application.empty() && path.size() > 8 && path.compare(path.size() - 8, 8, ".desktop") == 0)
        return launchApplication(path);
    std::optional<desktop::DesktopEntry> entry;
    if (!application.empty()) {
        entry = resolve(application);
        if (!entry) {
            log("cannot open ", path, ": no application \"", application, "\"");
            desktop::noteFailureReason("The application " + desktop::quotedName(application) +
                                       " is not installed on this desktop.");
            return false;
        }
    } else {
        auto types = mimeTypesForFile(path);
        entry = index().defaultForTypes(types);
        if (!entry) {
            log("cannot open ", path, ": no application for ", types.front());
            desktop::noteFailureReason(noApplicationReason(types.front()));
            return false;
        }
    }
    return run(*entry, {path});
}

bool X11Workspace::openURL(const URL& url) {
    if (url.isFileURL()) return openFile(url.path());
    std::string scheme = url.scheme();
    auto entry = index().defaultFor("x-scheme-handler/" + scheme);
    if (!entry) {
        log("cannot open ", url.absoluteString(), ": no application for ", scheme, " addresses");
        desktop::noteFailureReason("No application on this desktop opens " + scheme + " addresses (no web browser "
                                   "or other program is set for them).");
        return false;
    }
    return run(*entry, {url.absoluteString()});
}

bool X11Workspace::launchApplication(const std::string& pathOrIdentifier) {
    auto entry = resolve(pathOrIdentifier);
    if (!entry && pathOrIdentifier.find(".desktop") != std::string::npos) entry = readDesktopEntry(pathOrIdentifier);
    if (!entry) {
        log("cannot launch ", pathOrIdentifier, ": no such application");
        desktop::noteFailureReason("The application is not installed on this desktop any more.");
        return false;
    }
    return run(*entry, {});
}

bool X11Workspace::launchAppWithBundleIdentifier(const std::string& bundleIdentifier, unsigned) {
    auto entry = index().byId(bundleIdentifier);
    return entry && run(*entry, {});
}

bool X11Workspace::launchDesktopAction(const std::string& pathOrIdentifier, const std::string& action) {
    auto entry = resolve(pathOrIdentifier);
    if (!entry && pathOrIdentifier.find(".desktop") != std::string::npos) entry = readDesktopEntry(pathOrIdentifier);
    if (!entry || action.empty() ||
        std::find(entry->actions.begin(), entry->actions.end(), action) == entry->actions.end())
        return false;
    // The action's group is read only now: the index keeps the ids alone.
    auto group = desktop::readKeyFileGroup(entry->path, "Desktop Action " + action);
    if (!group || (*group)["Exec"].empty()) {
        log("desktop entry ", entry->path, " lists the action \"", action, "\" but has no Exec for it");
        return false;
    }
    desktop::DesktopEntry actionEntry = *entry;
    actionEntry.exec = (*group)["Exec"];
    return run(actionEntry, {});
}

bool X11Workspace::launchExecutable(const std::string& path) {
    if (path.empty() || path.front() != '/') {
        log("cannot run \"", path, "\": not a program's full path");
        return false;
    }
    if (!spawnDetached({path}, "")) {
        log("cannot run ", path);
        return false;
    }
    return true;
}

bool X11Workspace::run(const desktop::DesktopEntry& entry, const std::vector<std::string>& files) {
    auto args = expandExec(entry, files);
    if (args.empty()) {
        log("cannot launch ", entry.path, ": its Exec line is empty or malformed");
        desktop::noteFailureReason("The desktop entry of " + desktop::quotedName(entry.name.empty() ? entry.path : entry.name) +
                                   " names no program that can be started.");
        return false;
    }
    if (entry.terminal) args.insert(args.begin(), {"x-terminal-emulator", "-e"});
    if (!spawnDetached(args, entry.workingDirectory)) {
        log("cannot launch ", entry.path, ": ", args.front(), " did not start");
        desktop::noteFailureReason("The program " + desktop::quotedName(args.front()) + " of " +
                                   desktop::quotedName(entry.name.empty() ? entry.path : entry.name) + " did not start.");
        return false;
    }
    return true;
}

bool X11Workspace::spawnDetached(const std::vector<std::string>& arguments, const std::string& directory,
                                 std::function<void(int)> onExit) {
    if (arguments.empty() || arguments.front().empty()) return false;
    // Everything the child needs is made before fork: after it, only calls that are safe
    // in a forked copy of a threaded program.
    std::vector<char*> argv;
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // Without a folder of its own the program starts in the home folder, with the
    // environment a program of the session expects (not this program's private parts).
    const std::string folder = directory.empty() ? LaunchEnvironment::homeFolder() : directory;
    const char* dir = folder.c_str();
    const std::vector<std::string> environment = LaunchEnvironment::forChild(folder);
    std::vector<char*> envp;
    for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return false;
    // When the end is watched, the middle process reports the program's exit through it.
    int watch[2] = {-1, -1};
    if (onExit && ::pipe2(watch, O_CLOEXEC) != 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    auto closeWatch = [&] {
        for (int fd : watch)
            if (fd >= 0) ::close(fd);
    };
    pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        closeWatch();
        return false;
    }
    if (child == 0) {
        // The middle process leaves at once (or, when the end is watched, as soon as the
        // program ends), so the program is nobody's child here and leaves no zombie.
        ::close(report[0]);
        if (watch[0] >= 0) ::close(watch[0]);
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild != 0) {
            if (watch[1] < 0 || grandchild < 0) ::_exit(grandchild < 0 ? 1 : 0);
            // Only the watch pipe stays open here: the program's connections (the X
            // server's above all) must not outlive it in this process.
            if (watch[1] > 3) ::close_range(3, unsigned(watch[1] - 1), 0);
            ::close_range(unsigned(watch[1] + 1), ~0u, 0);
            int status = 0;
            while (::waitpid(grandchild, &status, 0) < 0 && errno == EINTR) {
            }
            const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            ssize_t ignored = ::write(watch[1], &code, sizeof code);
            (void)ignored;
            ::_exit(0);
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        ::sigaction(SIGPIPE, &dfl, nullptr);
        ::sigaction(SIGCHLD, &dfl, nullptr);
        // None of the program's descriptors (the X connection, watches) go along.
        if (report[1] > 3) ::close_range(3, unsigned(report[1] - 1), 0);
        ::close_range(unsigned(report[1] + 1), ~0u, 0);
        int err = 0;
        if (::chdir(dir) != 0) {
            err = errno;
        } else {
            ::execvpe(argv[0], argv.data(), envp.data());
            err = errno;
        }
        ssize_t ignored = ::write(report[1], &err, sizeof err);
        (void)ignored;
        ::_exit(127);
    }
    ::close(report[1]);
    if (watch[1] >= 0) ::close(watch[1]);
    int status = 0;
    if (!onExit) {
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    int err = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    if (!onExit && (!WIFEXITED(status) || WEXITSTATUS(status) != 0)) return false;
    if (n == ssize_t(sizeof err)) {
        log(arguments.front(), ": ", std::strerror(err));
        if (onExit) {
            ::close(watch[0]);
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
        }
        return false;
    }
    if (onExit) {
        // The exit comes through the pipe whenever the program ends; the middle process is
        // reaped then.
        auto* notifier = new QSocketNotifier(watch[0], QSocketNotifier::Read);
        const int fd = watch[0];
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier, fd, child, onExit] {
            int code = -1;
            ssize_t got;
            do {
                got = ::read(fd, &code, sizeof code);
            } while (got < 0 && errno == EINTR);
            if (got != ssize_t(sizeof code)) code = -1;
            notifier->setEnabled(false);
            ::close(fd);
            int ignored = 0;
            while (::waitpid(child, &ignored, 0) < 0 && errno == EINTR) {
            }
            notifier->deleteLater();
            onExit(code);
        });
    }
    return true;
}

std::string X11Workspace::nameOf(desktop::Pid pid) {
    auto it = tracked_.find(pid);
    return it == tracked_.end() ? std::string() : it->second->localizedName();
}

bool X11Workspace::isHidden(desktop::Pid pid) {
    auto it = tracked_.find(pid);
    return it != tracked_.end() && it->second->isHidden();
}

}  // namespace qs::x11
