#include "platform/desktop/LoginItems.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

#include "platform/desktop/Desktop.h"
#include "platform/desktop/DesktopEntryFile.h"
#include "platform/desktop/FileServices.h"
#include "platform/foundation/FileRead.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/RunLoop.h"

namespace fs = std::filesystem;

namespace qs::desktop {

namespace {

std::string envOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

std::string homeDirectory() { return envOr("HOME", "/"); }

// Logs a problem with a file once for each version of it (size and modification time).
void logOncePerVersion(const std::string& path, const std::string& what) {
    static std::mutex m;
    static std::set<std::string> told;
    struct stat st {};
    std::string key = path;
    if (::stat(path.c_str(), &st) == 0)
        key += "@" + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + ":" +
               std::to_string(st.st_size);
    std::lock_guard lock(m);
    if (told.insert(key).second) log("the autostart entry ", path, " ", what);
}

enum class EntryState { Unreadable, Disabled, Unresolved, Starts };

struct Entry {
    EntryState state = EntryState::Unreadable;
    std::string program;  // resolved, for Starts
    std::string exec;     // the raw Exec value
};

Entry readEntry(const std::string& path, bool quiet = false) {
    Entry e;
    size_t malformed = 0;
    auto group = readKeyFileGroup(path, "Desktop Entry", &malformed);
    if (!group) {
        if (!quiet) logOncePerVersion(path, "cannot be read or has no [Desktop Entry] group; it is left alone");
        return e;
    }
    auto value = [&](const char* key) {
        auto it = group->find(key);
        return it == group->end() ? std::string() : it->second;
    };
    e.exec = unescapeKeyFileValue(value("Exec"));
    if (value("Hidden") == "true" || value("X-GNOME-Autostart-enabled") == "false" ||
        (value("Type") != "" && value("Type") != "Application")) {
        e.state = EntryState::Disabled;
        return e;
    }
    auto args = splitExecLine(e.exec);
    e.program = args.empty() ? std::string() : resolveProgramPath(args.front());
    if (e.program.empty()) {
        if (!quiet) logOncePerVersion(path, "runs no program that can be found (Exec=" + e.exec + ")");
        e.state = EntryState::Unresolved;
        return e;
    }
    e.state = EntryState::Starts;
    return e;
}

std::vector<std::string> desktopFilesIn(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(dir, ec), end;
    if (ec) return names;
    for (; it != end; it.increment(ec)) {
        if (ec) break;
        std::string name = it->path().filename().string();
        if (name.size() > 8 && name.compare(name.size() - 8, 8, ".desktop") == 0 && name[0] != '.')
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool writeText(const std::string& path, const std::string& text, std::string* error) {
    Data bytes(text.begin(), text.end());
    return PropertyList::writeFileAtomically(path, bytes, error);
}

}  // namespace

// ---------------------------------------------------------------------------------
// Exec lines

std::string escapeKeyFileValue(const std::string& value) {
    std::string out;
    for (char c : value) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

std::string execLineForProgram(const std::string& programPath) {
    static const std::string reserved = " \t\n\"'\\><~|&;$*?#()`";
    bool quote = programPath.find_first_of(reserved) != std::string::npos || programPath.find('=') != std::string::npos;
    std::string out;
    if (quote) out += '"';
    for (char c : programPath) {
        if (c == '%') {
            out += "%%";
            continue;
        }
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
        out += c;
    }
    if (quote) out += '"';
    return out;
}

std::vector<std::string> splitExecLine(const std::string& exec) {
    std::vector<std::string> args;
    std::string current;
    bool inArg = false, quoted = false, fieldCodeOnly = true;
    auto finish = [&] {
        if (inArg && !(fieldCodeOnly && current.empty())) args.push_back(current);
        current.clear();
        inArg = false;
        fieldCodeOnly = true;
    };
    for (size_t i = 0; i < exec.size(); ++i) {
        char c = exec[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < exec.size() && std::string("\"`$\\").find(exec[i + 1]) != std::string::npos) {
                current += exec[++i];
            } else if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%') {
                current += '%';
                ++i;
            } else {
                current += c;
            }
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\n') {
            finish();
            continue;
        }
        inArg = true;
        if (c == '"') {
            quoted = true;
            fieldCodeOnly = false;
        } else if (c == '%' && i + 1 < exec.size()) {
            char code = exec[++i];
            if (code == '%') {
                current += '%';
                fieldCodeOnly = false;
            }
            // Any other field code (%f, %u, %i, %c, %k, ...) expands to nothing here.
        } else {
            current += c;
            fieldCodeOnly = false;
        }
    }
    if (quoted) return {};
    finish();
    return args;
}

std::string resolveProgramPath(const std::string& program) {
    if (program.empty()) return {};
    auto executable = [](const fs::path& p) {
        std::error_code ec;
        return fs::is_regular_file(p, ec) && ::access(p.c_str(), X_OK) == 0;
    };
    fs::path found;
    if (program.front() == '/') {
        found = program;
    } else if (program.find('/') == std::string::npos) {
        std::istringstream path(envOr("PATH", "/usr/local/bin:/usr/bin:/bin"));
        std::string dir;
        while (std::getline(path, dir, ':')) {
            if (dir.empty() || dir.front() != '/') continue;
            if (executable(fs::path(dir) / program)) {
                found = fs::path(dir) / program;
                break;
            }
        }
    }
    if (found.empty() || !executable(found)) return {};
    std::error_code ec;
    fs::path canonical = fs::canonical(found, ec);
    return ec ? std::string() : canonical.string();
}

// ---------------------------------------------------------------------------------
// The list

LoginItems::LoginItems() = default;
LoginItems::~LoginItems() = default;

std::string LoginItems::userAutostartDirectory() {
    return envOr("XDG_CONFIG_HOME", homeDirectory() + "/.config") + "/autostart";
}

std::vector<std::string> LoginItems::systemAutostartDirectories() {
    std::vector<std::string> dirs;
    std::istringstream in(envOr("XDG_CONFIG_DIRS", "/etc/xdg"));
    std::string dir;
    while (std::getline(in, dir, ':'))
        if (!dir.empty() && dir.front() == '/') dirs.push_back(dir + "/autostart");
    return dirs;
}

std::vector<LoginItem> LoginItems::snapshot() const {
    std::vector<LoginItem> items;
    std::set<std::string> seen;
    const std::string user = userAutostartDirectory();
    for (const auto& name : desktopFilesIn(user)) {
        seen.insert(name);
        std::string path = user + "/" + name;
        Entry e = readEntry(path);
        if (e.state == EntryState::Starts) items.push_back({path, e.program, true});
    }
    for (const auto& dir : systemAutostartDirectories()) {
        for (const auto& name : desktopFilesIn(dir)) {
            if (!seen.insert(name).second) continue;
            std::string path = dir + "/" + name;
            Entry e = readEntry(path);
            if (e.state == EntryState::Starts) items.push_back({path, e.program, false});
        }
    }
    return items;
}

bool LoginItems::insertItem(const std::string& programPath, const std::string& fileName,
                            const std::string& displayName, const std::string& iconName) {
    if (programPath.empty() || programPath.front() != '/') {
        log("no login item is written: the program's path is not known");
        return false;
    }
    const std::string dir = userAutostartDirectory();
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) {
        log("the login item cannot be written: the folder ", dir, " cannot be made",
            ec ? ": " + ec.message() : std::string());
        return false;
    }
    const std::string path = dir + "/" + fileName;
    if (fs::exists(fs::symlink_status(path, ec))) {
        Entry old = readEntry(path, true);
        if (old.state == EntryState::Unreadable) {
            // An entry the user may not read is no damage: it stays, and is not replaced.
            FileRead::Status status = FileRead::Status::Ok;
            std::string why;
            int fd = FileRead::openFile(path, SIZE_MAX, status, why);
            if (fd >= 0) ::close(fd);
            if (status == FileRead::Status::AccessDenied || status == FileRead::Status::Failed) {
                log("the login item is not written: ", why, "; that is not damage, so it is left as it is");
                return false;
            }
            std::string aside = FileRead::keepAside(path, &why);
            if (aside.empty()) {
                log("the login item is not written: ", path, " cannot be read nor moved aside (", why, ")");
                return false;
            }
            log("the unreadable autostart entry ", path, " was kept as ", aside);
        } else if (old.state == EntryState::Starts && old.program != programPath) {
            log("the autostart entry ", path, " started ", old.program, "; it now starts ", programPath);
        } else if (old.state == EntryState::Unresolved) {
            log("the autostart entry ", path, " ran ", old.exec.empty() ? std::string("nothing") : old.exec,
                "; it now starts ", programPath);
        }
    }
    std::ostringstream text;
    text << "[Desktop Entry]\n"
         << "Type=Application\n"
         << "Name=" << escapeKeyFileValue(displayName) << "\n"
         << "Exec=" << escapeKeyFileValue(execLineForProgram(programPath)) << "\n";
    if (!iconName.empty()) text << "Icon=" << escapeKeyFileValue(iconName) << "\n";
    text << "Terminal=false\n"
         << "X-GNOME-Autostart-enabled=true\n";
    std::string error;
    if (!writeText(path, text.str(), &error)) {
        log("the login item cannot be written to ", path, ": ", error);
        return false;
    }
    rewatch();
    return true;
}

bool LoginItems::removeItem(const LoginItem& item) {
    std::error_code ec;
    if (item.userEntry) {
        if (!fs::remove(item.file, ec) || ec) {
            log("the login item ", item.file, " cannot be removed", ec ? ": " + ec.message() : std::string());
            return false;
        }
        return true;
    }
    // A system-wide entry is switched off for this user by a hiding entry of the same name.
    const std::string dir = userAutostartDirectory();
    fs::create_directories(dir, ec);
    const std::string path = dir + "/" + fs::path(item.file).filename().string();
    std::string error;
    if (!writeText(path, "[Desktop Entry]\nType=Application\nName=" + fs::path(item.file).stem().string() +
                             "\nHidden=true\n",
                   &error)) {
        log("the system login item ", item.file, " cannot be switched off: ", path, ": ", error);
        return false;
    }
    rewatch();
    return true;
}

void LoginItems::setChangeObserver(std::function<void()> observer) {
    observer_ = std::move(observer);
    watched_.clear();
    watch_.reset();
    rewatch();
}

void LoginItems::rewatch() {
    if (!observer_) return;
    auto* files = services().files.get();
    if (!files) return;
    // The folders that exist; for a user folder that does not exist yet, the folder that
    // will hold it, so that its creation is seen.
    std::vector<std::string> paths;
    std::error_code ec;
    fs::path user = userAutostartDirectory();
    if (fs::is_directory(user, ec))
        paths.push_back(user.string());
    else if (fs::is_directory(user.parent_path(), ec))
        paths.push_back(user.parent_path().string());
    for (const auto& dir : systemAutostartDirectories())
        if (fs::is_directory(dir, ec)) paths.push_back(dir);
    if (paths == watched_ && watch_) return;
    watched_ = paths;
    watch_.reset();
    if (paths.empty()) return;
    auto observer = observer_;
    LoginItems* self = this;
    std::weak_ptr<int> alive = alive_;
    watch_ = files->watchPaths(paths, false, 0.1, [self, alive, observer](const std::vector<FileEvent>&) {
        observer();
        // A folder made or removed changes what is watched; not from inside the watch.
        RunLoop::main().post([self, alive] {
            if (alive.lock()) self->rewatch();
        });
    });
}

}  // namespace qs::desktop
