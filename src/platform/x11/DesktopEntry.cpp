#include "platform/x11/DesktopEntry.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>


#include "platform/desktop/ApplicationGroups.h"
#include "platform/desktop/DesktopEntryFile.h"
#include "platform/desktop/FileServices.h"
#include "platform/foundation/Log.h"

namespace qs::x11 {

namespace fs = std::filesystem;

namespace {

using desktop::readKeyFileGroup;
using desktop::splitKeyFileList;
using desktop::unescapeKeyFileValue;

// One group of a key file; empty when the file or the group is missing.
desktop::KeyFileGroup readGroup(const std::string& path, const std::string& group) {
    return readKeyFileGroup(path, group).value_or(desktop::KeyFileGroup{});
}
std::string unescape(const std::string& v) { return unescapeKeyFileValue(v); }
std::vector<std::string> splitList(const std::string& v) { return splitKeyFileList(v); }
std::string localized(const desktop::KeyFileGroup& g, const std::string& key) {
    return desktop::localizedKeyFileValue(g, key);
}

std::string env(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

std::vector<std::string> splitPath(const std::string& v) {
    std::vector<std::string> out;
    std::stringstream ss(v);
    std::string part;
    while (std::getline(ss, part, ':'))
        if (!part.empty()) out.push_back(part);
    return out;
}

std::string home() { return env("HOME", "/"); }

std::string base(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

}  // namespace

std::optional<desktop::DesktopEntry> readDesktopEntry(const std::string& path, const std::string& id) {
    auto g = readGroup(path, "Desktop Entry");
    if (g.empty()) {
        std::error_code ec;
        if (!std::filesystem::exists(path, ec))
            log("desktop entry ", path, " does not exist");
        else
            log("desktop entry ", path, " cannot be read or has no [Desktop Entry] group: ignored");
        return std::nullopt;
    }
    if (g["Type"] != "Application") return std::nullopt;
    desktop::DesktopEntry e;
    e.path = path;
    e.id = id.empty() ? base(path) : id;
    if (e.id.size() > 8 && e.id.compare(e.id.size() - 8, 8, ".desktop") == 0) e.id.resize(e.id.size() - 8);
    e.name = localized(g, "Name");
    e.genericName = localized(g, "GenericName");
    e.comment = localized(g, "Comment");
    e.icon = unescape(g["Icon"]);
    e.exec = g["Exec"];
    e.tryExec = unescape(g["TryExec"]);
    e.workingDirectory = unescape(g["Path"]);
    e.startupWMClass = unescape(g["StartupWMClass"]);
    e.mimeTypes = splitList(g["MimeType"]);
    e.categories = splitList(g["Categories"]);
    e.terminal = g["Terminal"] == "true";
    e.noDisplay = g["NoDisplay"] == "true";
    e.hidden = g["Hidden"] == "true";
    e.actions = splitList(g["Actions"]);
    if (e.name.empty() || e.exec.empty()) {
        log("desktop entry ", path, " has no Name or no Exec: ignored");
        return std::nullopt;
    }
    return e;
}

std::vector<std::string> expandExec(const desktop::DesktopEntry& entry, const std::vector<std::string>& files) {
    // First the general string escapes, then the quoting of the Exec key.
    std::string line = unescape(entry.exec);
    std::vector<std::string> words;
    std::vector<bool> quoted;
    std::string cur;
    bool inQuote = false, any = false, wasQuoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char ch = line[i];
        if (inQuote) {
            if (ch == '\\' && i + 1 < line.size() && std::string("\"`$\\").find(line[i + 1]) != std::string::npos) {
                cur += line[++i];
            } else if (ch == '"') {
                inQuote = false;
            } else {
                cur += ch;
            }
        } else if (ch == '"') {
            inQuote = any = wasQuoted = true;
        } else if (ch == ' ' || ch == '\t') {
            if (any) {
                words.push_back(cur);
                quoted.push_back(wasQuoted);
            }
            cur.clear();
            any = wasQuoted = false;
        } else {
            cur += ch;
            any = true;
        }
    }
    if (inQuote) {
        log("desktop entry ", entry.path, ": unterminated quote in Exec");
        return {};
    }
    if (any) {
        words.push_back(cur);
        quoted.push_back(wasQuoted);
    }
    // Shell syntax outside quotes (a pipe, a list, a redirection, a substitution) says the
    // line was written for a shell. Nothing runs through one here, and running the words
    // as plain arguments would do something else than the line says: refused.
    for (size_t w = 0; w < words.size(); ++w) {
        if (quoted[w]) continue;
        if (words[w].find_first_of("|;&<>`") != std::string::npos || words[w].find("$(") != std::string::npos) {
            log("desktop entry ", entry.path, ": its Exec line uses shell syntax (\"", words[w],
                "\"), which is not run through a shell: not launched");
            return {};
        }
    }

    // %u and %U take URIs: a local path becomes its file:// URI, so that any byte of a
    // name survives the trip.
    std::vector<std::string> uris;
    for (const auto& f : files) uris.push_back(!f.empty() && f.front() == '/' ? desktop::files::fileURI(f) : f);

    std::vector<std::string> args;
    for (size_t w = 0; w < words.size(); ++w) {
        const std::string& word = words[w];
        if (!quoted[w]) {
            if (word == "%F") {
                args.insert(args.end(), files.begin(), files.end());
                continue;
            }
            if (word == "%U") {
                args.insert(args.end(), uris.begin(), uris.end());
                continue;
            }
            if (word == "%i") {
                if (!entry.icon.empty()) {
                    args.push_back("--icon");
                    args.push_back(entry.icon);
                }
                continue;
            }
        }
        std::string out;
        bool literal = false;  // the word has text of its own, not only field codes
        for (size_t i = 0; i < word.size(); ++i) {
            if (word[i] != '%' || i + 1 >= word.size()) {
                out += word[i];
                literal = true;
                continue;
            }
            char code = word[++i];
            switch (code) {
                case '%':
                    out += '%';
                    literal = true;
                    break;
                case 'f':
                case 'F':
                    if (!files.empty()) out += files.front();
                    break;
                case 'u':
                case 'U':
                    if (!uris.empty()) out += uris.front();
                    break;
                case 'c': out += entry.name; break;
                case 'k': out += entry.path; break;
                default: break;  // %d %D %n %N %v %m and unknown codes are dropped
            }
        }
        // A word of field codes that expanded to nothing is no argument at all.
        if (literal || !out.empty() || quoted[w]) args.push_back(out);
    }
    return args;
}

std::vector<std::string> applicationDirectories() { return desktop::applicationFolders(); }

namespace {
DesktopEntryIndex::fs_time folderTime(const std::string& folder) {
    std::error_code ec;
    auto t = fs::last_write_time(folder, ec);
    return ec ? DesktopEntryIndex::fs_time::min() : t;
}
}  // namespace

bool DesktopEntryIndex::stale() const {
    if (!scanned_) return true;
    for (const auto& [folder, time] : folders_)
        if (folderTime(folder) != time) return true;
    return false;
}

void DesktopEntryIndex::scan() {
    entries_.clear();
    byId_.clear();
    folders_.clear();
    scanned_ = true;
    for (auto& dir : applicationDirectories()) {
        std::error_code ec;
        folders_.emplace_back(dir, folderTime(dir));
        if (!fs::is_directory(dir, ec)) continue;
        for (auto it = fs::recursive_directory_iterator(dir, fs::directory_options::skip_permission_denied, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            const auto& p = it->path();
            if (it->is_directory(ec)) {
                folders_.emplace_back(p.string(), folderTime(p.string()));
                continue;
            }
            if (p.extension() != ".desktop") continue;
            // The id is the path below the directory with "/" turned into "-".
            std::string rel = fs::relative(p, dir, ec).string();
            std::replace(rel.begin(), rel.end(), '/', '-');
            std::string id = rel.substr(0, rel.size() - 8);
            if (byId_.count(id)) continue;
            auto entry = readDesktopEntry(p.string(), id);
            if (!entry || entry->hidden) continue;
            byId_[id] = entries_.size();
            entries_.push_back(std::move(*entry));
        }
    }
}

std::optional<desktop::DesktopEntry> DesktopEntryIndex::byId(const std::string& id) const {
    std::string key = id;
    if (key.size() > 8 && key.compare(key.size() - 8, 8, ".desktop") == 0) key.resize(key.size() - 8);
    auto it = byId_.find(key);
    if (it == byId_.end()) return std::nullopt;
    return entries_[it->second];
}

std::optional<desktop::DesktopEntry> DesktopEntryIndex::byPath(const std::string& path) const {
    for (auto& e : entries_)
        if (e.path == path) return e;
    return std::nullopt;
}

std::optional<desktop::DesktopEntry> DesktopEntryIndex::match(const std::string& applicationId,
                                                              const std::string& wmInstance,
                                                              const std::string& wmClass,
                                                              const std::string& executable) const {
    if (!applicationId.empty())
        if (auto e = byId(applicationId)) return e;
    return desktop::matchDesktopEntry(entries_, "", wmInstance, wmClass, executable);
}

std::vector<desktop::DesktopEntry> DesktopEntryIndex::forMimeType(const std::string& mimeType) const {
    std::vector<desktop::DesktopEntry> found;
    for (auto& e : entries_)
        if (std::find(e.mimeTypes.begin(), e.mimeTypes.end(), mimeType) != e.mimeTypes.end()) found.push_back(e);
    return found;
}

std::vector<std::string> mimeAppsLists() {
    std::vector<std::string> folders;
    std::string configHome = env("XDG_CONFIG_HOME", "");
    folders.push_back(!configHome.empty() && configHome.front() == '/' ? configHome : home() + "/.config");
    for (auto& d : splitPath(env("XDG_CONFIG_DIRS", "/etc/xdg")))
        if (d.front() == '/') folders.push_back(d);
    for (auto& d : applicationDirectories()) folders.push_back(d);
    std::vector<std::string> desktops;
    for (auto& d : splitPath(env("XDG_CURRENT_DESKTOP", "")))
        if (d.find('/') == std::string::npos) desktops.push_back(lower(d));
    std::vector<std::string> lists;
    for (auto& folder : folders) {
        std::string f = folder;
        while (f.size() > 1 && f.back() == '/') f.pop_back();
        for (auto& d : desktops) lists.push_back(f + "/" + d + "-mimeapps.list");
        lists.push_back(f + "/mimeapps.list");
    }
    // A folder named twice (an XDG variable that repeats one) is read once.
    std::vector<std::string> unique;
    for (auto& l : lists)
        if (std::find(unique.begin(), unique.end(), l) == unique.end()) unique.push_back(l);
    return unique;
}

namespace {

// One group of a mimeapps.list or mimeinfo.cache. Lines that are not key=value lines are
// skipped, with one log line per version of the file.
desktop::KeyFileGroup readAssociationGroup(const std::string& path, const std::string& group) {
    size_t malformed = 0;
    auto g = readKeyFileGroup(path, group, &malformed);
    if (malformed > 0) {
        static std::mutex mutex;
        static std::set<std::string> told;
        std::error_code ec;
        auto stamp = fs::last_write_time(path, ec).time_since_epoch().count();
        std::string key = path + "@" + std::to_string(stamp);
        std::lock_guard lock(mutex);
        if (told.insert(key).second)
            log("the application list ", path, " has ", malformed, " malformed line", malformed == 1 ? "" : "s",
                ": skipped");
    }
    return g.value_or(desktop::KeyFileGroup{});
}

// The ids listed for the type in one group ("a.desktop;b.desktop;").
std::vector<std::string> idsFor(const desktop::KeyFileGroup& group, const std::string& mimeType) {
    auto it = group.find(mimeType);
    return it == group.end() ? std::vector<std::string>{} : splitList(it->second);
}

std::string withoutSuffix(std::string id) {
    if (id.size() > 8 && id.compare(id.size() - 8, 8, ".desktop") == 0) id.resize(id.size() - 8);
    return id;
}

}  // namespace

std::optional<desktop::DesktopEntry> DesktopEntryIndex::explicitDefaultFor(const std::string& mimeType) const {
    if (mimeType.empty()) return std::nullopt;
    for (auto& list : mimeAppsLists())
        for (auto& id : idsFor(readAssociationGroup(list, "Default Applications"), mimeType))
            if (auto e = byId(id)) return e;
    return std::nullopt;
}

std::vector<desktop::DesktopEntry> DesktopEntryIndex::associationsFor(const std::string& mimeType) const {
    std::vector<desktop::DesktopEntry> found;
    if (mimeType.empty()) return found;
    std::set<std::string> removed, taken;
    auto add = [&](const std::string& rawId) {
        std::string id = withoutSuffix(rawId);
        if (removed.count(id) || taken.count(id)) return;
        if (auto e = byId(id)) {
            taken.insert(e->id);
            found.push_back(std::move(*e));
        }
    };
    auto appFolders = applicationDirectories();
    for (auto& list : mimeAppsLists()) {
        for (auto& id : idsFor(readAssociationGroup(list, "Added Associations"), mimeType)) add(id);
        for (auto& id : idsFor(readAssociationGroup(list, "Removed Associations"), mimeType))
            removed.insert(withoutSuffix(id));
    }
    for (auto& d : appFolders)
        for (auto& id : idsFor(readAssociationGroup(d + "/mimeinfo.cache", "MIME Cache"), mimeType)) add(id);
    for (auto& e : forMimeType(mimeType)) add(e.id);
    return found;
}

std::optional<desktop::DesktopEntry> DesktopEntryIndex::defaultFor(const std::string& mimeType) const {
    return defaultForTypes({mimeType});
}

std::optional<desktop::DesktopEntry> DesktopEntryIndex::defaultForTypes(const std::vector<std::string>& mimeTypes) const {
    for (auto& type : mimeTypes)
        if (auto e = explicitDefaultFor(type)) return e;
    for (auto& type : mimeTypes) {
        auto all = associationsFor(type);
        if (!all.empty()) return all.front();
    }
    return std::nullopt;
}

}  // namespace qs::x11
