#include "platform/desktop/DesktopEntryFile.h"

#include <sys/stat.h>

#include <QLocale>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/foundation/FileRead.h"
#include "platform/foundation/Log.h"

namespace qs::desktop {

namespace {

std::vector<std::string> splitList(const std::string& value, char sep) {
    std::vector<std::string> out;
    std::string part;
    std::istringstream in(value);
    while (std::getline(in, part, sep))
        if (!part.empty()) out.push_back(part);
    return out;
}

// Locale suffixes to try for Name[...], best first: ll_CC@mod, ll_CC, ll@mod, ll.
std::vector<std::string> localeKeys() {
    std::string lang;
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) {
            lang = v;
            break;
        }
    }
    if (lang.empty()) lang = QLocale::system().name().toStdString();
    std::string mod;
    if (auto at = lang.find('@'); at != std::string::npos) mod = lang.substr(at), lang.erase(at);
    if (auto dot = lang.find('.'); dot != std::string::npos) lang.erase(dot);
    std::string ll = lang.substr(0, lang.find('_'));
    std::vector<std::string> keys;
    if (!mod.empty()) keys.push_back(lang + mod);
    keys.push_back(lang);
    if (!mod.empty()) keys.push_back(ll + mod);
    keys.push_back(ll);
    return keys;
}

struct CacheEntry {
    long long mtime = 0;
    long long size = 0;
    std::optional<DesktopEntryFile> entry;
};

std::optional<DesktopEntryFile> parse(const std::string& path) {
    auto keys = readKeyFileGroup(path, "Desktop Entry");
    if (!keys) return std::nullopt;
    auto value = [&](const char* key) {
        auto it = keys->find(key);
        return it == keys->end() ? std::string() : it->second;
    };
    DesktopEntryFile e;
    e.type = value("Type");
    e.icon = unescapeKeyFileValue(value("Icon"));
    e.tryExec = unescapeKeyFileValue(value("TryExec"));
    e.noDisplay = value("NoDisplay") == "true";
    e.hidden = value("Hidden") == "true";
    e.onlyShowIn = splitKeyFileList(value("OnlyShowIn"));
    e.notShowIn = splitKeyFileList(value("NotShowIn"));
    e.name = localizedKeyFileValue(*keys, "Name");
    if (e.name.empty()) {
        auto slash = path.rfind('/');
        e.name = path.substr(slash == std::string::npos ? 0 : slash + 1);
        if (e.name.size() > 8) e.name.resize(e.name.size() - 8);
        log("the desktop entry ", path, " has no Name; its file name is used");
    }
    return e;
}

}  // namespace

bool DesktopEntryFile::shownInMenus() const {
    if (noDisplay || hidden) return false;
    const char* current = std::getenv("XDG_CURRENT_DESKTOP");
    std::vector<std::string> desktops = splitList(current ? current : "", ':');
    auto listed = [&](const std::vector<std::string>& list) {
        for (const auto& d : desktops)
            for (const auto& l : list)
                if (d == l) return true;
        return false;
    };
    if (!onlyShowIn.empty() && !listed(onlyShowIn)) return false;
    if (listed(notShowIn)) return false;
    return true;
}

bool isDesktopEntryPath(const std::string& path) {
    return path.size() > 8 && path.compare(path.size() - 8, 8, ".desktop") == 0;
}

std::optional<DesktopEntryFile> readDesktopEntryFile(const std::string& path) {
    struct stat st {};
    if (!isDesktopEntryPath(path) || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    static std::mutex mutex;
    static std::map<std::string, CacheEntry> cache;
    const long long mtime = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    {
        std::lock_guard lock(mutex);
        auto it = cache.find(path);
        if (it != cache.end() && it->second.mtime == mtime && it->second.size == (long long)st.st_size)
            return it->second.entry;
    }
    auto entry = parse(path);
    if (!entry) log("the desktop entry ", path, " is malformed (no [Desktop Entry] group) and is read as a plain file");
    std::lock_guard lock(mutex);
    if (cache.size() > 4096) cache.clear();
    cache[path] = CacheEntry{mtime, (long long)st.st_size, entry};
    return entry;
}

std::vector<std::string> applicationFolders() {
    std::vector<std::string> out;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    out.push_back((dataHome && *dataHome == '/' ? std::string(dataHome) : std::string(home ? home : "") + "/.local/share") +
                  "/applications");
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::string list = dirs && *dirs ? dirs : "/usr/local/share:/usr/share";
    for (auto& d : splitList(list, ':')) {
        if (d.front() != '/') continue;
        while (d.size() > 1 && d.back() == '/') d.pop_back();
        std::string folder = d + "/applications";
        bool dup = false;
        for (const auto& f : out) dup = dup || f == folder;
        if (!dup) out.push_back(folder);
    }
    return out;
}

std::string firstExistingApplicationFolder() {
    for (const auto& folder : applicationFolders()) {
        std::error_code ec;
        if (std::filesystem::is_directory(folder, ec)) return folder;
    }
    return {};
}

std::optional<KeyFileGroup> readKeyFileGroup(const std::string& path, const std::string& group,
                                             size_t* malformedLines) {
    if (malformedLines) *malformedLines = 0;
    // Key files (desktop entries, mimeapps.list, mimeinfo.cache, autostart entries) are
    // read up to 8 MiB: a large mimeinfo.cache is a few hundred KiB.
    constexpr size_t kMaxKeyFileBytes = size_t(8) << 20;
    FileRead::Result file = FileRead::readFile(path, kMaxKeyFileBytes);
    if (!file.ok()) return std::nullopt;
    std::istringstream in(file.text());
    KeyFileGroup keys;
    std::string line;
    const std::string header = "[" + group + "]";
    bool inGroup = false, sawGroup = false, sawHeader = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        if (line[first] == '[') {
            size_t last = line.find_last_not_of(" \t");
            if (malformedLines && line[last] != ']') ++*malformedLines;
            sawHeader = true;
            inGroup = line.compare(first, last - first + 1, header) == 0;
            sawGroup = sawGroup || inGroup;
            continue;
        }
        auto eq = line.find('=');
        if (malformedLines && (eq == std::string::npos || eq == first || !sawHeader)) ++*malformedLines;
        if (!inGroup) continue;
        if (eq == std::string::npos) continue;
        std::string key = line.substr(first, eq - first), value = line.substr(eq + 1);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
        size_t v = value.find_first_not_of(" \t");
        value = v == std::string::npos ? std::string() : value.substr(v);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
        keys.emplace(key, value);
    }
    if (!sawGroup) return std::nullopt;
    return keys;
}

std::string unescapeKeyFileValue(const std::string& v) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) {
            char n = v[++i];
            switch (n) {
                case 's': out += ' '; break;
                case 'n': out += '\n'; break;
                case 't': out += '\t'; break;
                case 'r': out += '\r'; break;
                case '\\': out += '\\'; break;
                default:
                    out += '\\';
                    out += n;
                    break;
            }
        } else {
            out += v[i];
        }
    }
    return out;
}

std::vector<std::string> splitKeyFileList(const std::string& v) {
    std::vector<std::string> out;
    std::string cur;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size() && v[i + 1] == ';') {
            cur += ';';
            ++i;
        } else if (v[i] == ';') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += v[i];
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

std::string localizedKeyFileValue(const KeyFileGroup& group, const std::string& key) {
    for (const auto& suffix : localeKeys())
        if (auto it = group.find(key + "[" + suffix + "]"); it != group.end() && !it->second.empty())
            return unescapeKeyFileValue(it->second);
    auto it = group.find(key);
    return it == group.end() ? std::string() : unescapeKeyFileValue(it->second);
}

}  // namespace qs::desktop
