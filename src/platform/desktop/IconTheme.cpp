#include "platform/desktop/IconTheme.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <map>
#include <sstream>
#include <tuple>

#include "platform/desktop/DesktopEntryFile.h"
#include "platform/foundation/FileRead.h"

namespace qs::desktop {

namespace {

constexpr const char* kExtensions[] = {".png", ".svg", ".xpm"};
constexpr const char* kDefaultTheme = "Adwaita";  // Debian's default icon theme
constexpr auto kRelistAfter = std::chrono::seconds(10);

std::vector<std::string> splitList(const std::string& value, char sep) {
    std::vector<std::string> out;
    std::string part;
    std::istringstream in(value);
    while (std::getline(in, part, sep)) {
        while (!part.empty() && (part.back() == ' ' || part.back() == '\t' || part.back() == '\r')) part.pop_back();
        size_t start = part.find_first_not_of(" \t");
        if (start != std::string::npos && !part.empty()) out.push_back(part.substr(start));
    }
    return out;
}

// An index.theme: groups of key=value lines.
using Groups = std::map<std::string, std::map<std::string, std::string>>;

Groups readIndexTheme(const std::string& path) {
    Groups groups;
    // An index.theme lists a theme's folders: a large one is some tens of KiB.
    constexpr size_t kMaxIndexThemeBytes = size_t(4) << 20;
    std::istringstream in(FileRead::readFile(path, kMaxIndexThemeBytes).text());
    std::string line, group;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            auto end = line.find(']');
            group = end == std::string::npos ? std::string() : line.substr(1, end - 1);
            continue;
        }
        auto eq = line.find('=');
        if (eq == std::string::npos || group.empty()) continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        size_t start = value.find_first_not_of(' ');
        value = start == std::string::npos ? std::string() : value.substr(start);
        groups[group].emplace(key, value);  // the first occurrence wins
    }
    return groups;
}

int toInt(const std::map<std::string, std::string>& keys, const char* key, int otherwise) {
    auto it = keys.find(key);
    if (it == keys.end()) return otherwise;
    char* end = nullptr;
    long v = std::strtol(it->second.c_str(), &end, 10);
    if (end == it->second.c_str() || v < 0 || v > 1 << 16) return otherwise;
    return int(v);
}

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

std::string stripExtension(const std::string& name) {
    for (const char* ext : kExtensions) {
        const size_t n = std::char_traits<char>::length(ext);
        if (name.size() > n && name.compare(name.size() - n, n, ext) == 0) return name.substr(0, name.size() - n);
    }
    return name;
}

// The files of a folder with one of the extensions: (name without extension, extension index).
template <class F>
void listIcons(const std::string& folder, F&& each) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (dirent* e = ::readdir(dir)) {
        std::string file = e->d_name;
        if (file.empty() || file[0] == '.') continue;
        for (uint8_t i = 0; i < 3; ++i) {
            const size_t n = std::char_traits<char>::length(kExtensions[i]);
            if (file.size() > n && file.compare(file.size() - n, n, kExtensions[i]) == 0) {
                each(file.substr(0, file.size() - n), i);
                break;
            }
        }
    }
    ::closedir(dir);
}

std::mutex& sharedMutex() {
    static std::mutex m;
    return m;
}
std::shared_ptr<IconTheme>& sharedSlot() {
    static std::shared_ptr<IconTheme> slot;
    return slot;
}

}  // namespace

std::shared_ptr<IconTheme> IconTheme::shared() {
    std::lock_guard lock(sharedMutex());
    auto& slot = sharedSlot();
    if (!slot) slot = fromEnvironment();
    return slot;
}

namespace {
std::atomic<uint64_t> resets{0};
}  // namespace

void IconTheme::resetShared() {
    std::lock_guard lock(sharedMutex());
    sharedSlot().reset();
    ++resets;
}

uint64_t IconTheme::sharedGeneration() { return resets.load(); }

IconTheme::IconTheme(std::string themeName, std::vector<std::string> baseFolders)
    : name_(std::move(themeName)), bases_(std::move(baseFolders)) {}

std::shared_ptr<IconTheme> IconTheme::fromEnvironment() {
    return std::make_shared<IconTheme>(environmentThemeName(), environmentBaseFolders());
}

std::vector<std::string> IconTheme::environmentBaseFolders() {
    std::vector<std::string> out;
    auto add = [&](std::string folder) {
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        if (folder.empty() || folder[0] != '/') return;
        if (std::find(out.begin(), out.end(), folder) == out.end()) out.push_back(std::move(folder));
    };
    const char* home = std::getenv("HOME");
    if (home && *home) add(std::string(home) + "/.icons");
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && *dataHome == '/')
        add(std::string(dataHome) + "/icons");
    else if (home && *home)
        add(std::string(home) + "/.local/share/icons");
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    for (auto& d : splitList(dirs && *dirs ? dirs : "/usr/local/share:/usr/share", ':')) add(d + "/icons");
    add("/usr/share/pixmaps");
    return out;
}

std::string IconTheme::environmentThemeName() {
    // GTK's setting, from the user's configuration, then the system's.
    std::vector<std::string> configs;
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (configHome && *configHome == '/')
        configs.push_back(configHome);
    else if (home && *home)
        configs.push_back(std::string(home) + "/.config");
    const char* configDirs = std::getenv("XDG_CONFIG_DIRS");
    for (auto& d : splitList(configDirs && *configDirs ? configDirs : "/etc/xdg", ':')) configs.push_back(d);
    configs.push_back("/etc");  // GTK's own system folder
    for (const auto& folder : configs) {
        for (const char* version : {"/gtk-4.0/settings.ini", "/gtk-3.0/settings.ini"}) {
            auto settings = readKeyFileGroup(folder + version, "Settings");
            if (!settings) continue;
            auto it = settings->find("gtk-icon-theme-name");
            if (it != settings->end() && !it->second.empty()) return it->second;
        }
    }
    return kDefaultTheme;
}

std::vector<std::string> IconTheme::themeChain() const {
    std::vector<std::string> out;
    for (const auto& theme : index(false)->themes) out.push_back(theme.name);
    return out;
}

std::shared_ptr<IconTheme::Index> IconTheme::build() const {
    auto index = std::make_shared<Index>();
    index->made = std::chrono::steady_clock::now();
    // The chain: the theme, what it inherits (breadth first), hicolor last.
    std::vector<std::string> pending{name_};
    std::vector<std::string> seen;
    std::vector<Groups> files;
    auto take = [&](const std::string& theme) {
        if (theme.empty() || std::find(seen.begin(), seen.end(), theme) != seen.end()) return;
        seen.push_back(theme);
        for (const auto& base : bases_) {
            const std::string file = base + "/" + theme + "/index.theme";
            if (!exists(file)) continue;
            Groups groups = readIndexTheme(file);
            auto it = groups.find("Icon Theme");
            if (it == groups.end()) continue;
            index->themes.push_back(Theme{theme, {}});
            for (auto& parent : splitList(it->second["Inherits"], ',')) pending.push_back(parent);
            files.push_back(std::move(groups));
            return;
        }
    };
    for (size_t i = 0; i < pending.size() && index->themes.size() < 32; ++i) take(pending[i]);
    take("hicolor");

    for (size_t t = 0; t < index->themes.size() && t < UINT16_MAX; ++t) {
        Theme& theme = index->themes[t];
        Groups& groups = files[t];
        auto& head = groups["Icon Theme"];
        std::vector<std::string> dirs = splitList(head["Directories"], ',');
        for (auto& d : splitList(head["ScaledDirectories"], ','))
            if (std::find(dirs.begin(), dirs.end(), d) == dirs.end()) dirs.push_back(d);
        for (const auto& path : dirs) {
            auto it = groups.find(path);
            if (it == groups.end()) continue;
            const auto& keys = it->second;
            Dir dir;
            dir.path = path;
            dir.size = toInt(keys, "Size", 0);
            if (dir.size <= 0) continue;
            dir.scale = std::max(1, toInt(keys, "Scale", 1));
            dir.minSize = toInt(keys, "MinSize", dir.size);
            dir.maxSize = toInt(keys, "MaxSize", dir.size);
            dir.threshold = toInt(keys, "Threshold", 2);
            auto type = keys.find("Type");
            const std::string kind = type == keys.end() ? "Threshold" : type->second;
            dir.type = kind == "Fixed" ? DirType::Fixed : kind == "Scalable" ? DirType::Scalable : DirType::Threshold;
            if (theme.dirs.size() >= UINT16_MAX) break;
            const auto d = uint16_t(theme.dirs.size());
            theme.dirs.push_back(std::move(dir));
            for (size_t b = 0; b < bases_.size() && b < UINT16_MAX; ++b)
                listIcons(bases_[b] + "/" + theme.name + "/" + path, [&](std::string name, uint8_t ext) {
                    index->icons[std::move(name)].push_back(Hit{uint16_t(t), d, uint16_t(b), ext});
                });
        }
    }
    // The order in which the rules look: theme, folder, base folder, extension.
    for (auto& [name, hits] : index->icons)
        std::sort(hits.begin(), hits.end(), [](const Hit& a, const Hit& b) {
            return std::tie(a.theme, a.dir, a.base, a.ext) < std::tie(b.theme, b.dir, b.base, b.ext);
        });
    for (const auto& base : bases_)
        listIcons(base, [&](std::string name, uint8_t ext) {
            auto& file = index->unthemed[name];
            if (file.empty()) file = base + "/" + name + kExtensions[ext];
        });
    return index;
}

std::shared_ptr<const IconTheme::Index> IconTheme::index(bool refresh) const {
    std::lock_guard lock(mutex_);
    if (!index_ || (refresh && std::chrono::steady_clock::now() - index_->made > kRelistAfter)) index_ = build();
    return index_;
}

int IconTheme::distance(const Dir& dir, int pixelSize) {
    int low = dir.size, high = dir.size;
    if (dir.type == DirType::Scalable) {
        low = dir.minSize;
        high = dir.maxSize;
    } else if (dir.type == DirType::Threshold) {
        low = dir.size - dir.threshold;
        high = dir.size + dir.threshold;
    }
    low *= dir.scale;
    high *= dir.scale;
    if (pixelSize < low) return low - pixelSize;
    if (pixelSize > high) return pixelSize - high;
    return 0;
}

std::string IconTheme::find(const Index& index, const std::string& name, int pixelSize) const {
    auto it = index.icons.find(name);
    if (it != index.icons.end() && !it->second.empty()) {
        const auto& hits = it->second;
        const uint16_t theme = hits.front().theme;  // the first theme that has it
        const Hit* best = nullptr;
        int bestDistance = INT_MAX;
        bool bestLarger = false;
        for (const Hit& hit : hits) {
            if (hit.theme != theme) break;
            const Dir& dir = index.themes[theme].dirs[hit.dir];
            const int d = distance(dir, pixelSize);
            const bool larger = dir.size * dir.scale >= pixelSize;
            if (d < bestDistance || (d == bestDistance && larger && !bestLarger)) {
                best = &hit;
                bestDistance = d;
                bestLarger = larger;
            }
            if (d == 0) break;  // the first that fits, in the rules' order
        }
        const Theme& t = index.themes[theme];
        return bases_[best->base] + "/" + t.name + "/" + t.dirs[best->dir].path + "/" + name + kExtensions[best->ext];
    }
    auto unthemed = index.unthemed.find(name);
    return unthemed == index.unthemed.end() ? std::string() : unthemed->second;
}

std::string IconTheme::lookup(const std::string& rawName, int pixelSize) const {
    const std::string name = stripExtension(rawName);
    if (name.empty() || name.find('/') != std::string::npos) return {};
    pixelSize = std::max(1, pixelSize);
    std::string found = find(*index(false), name, pixelSize);
    if (found.empty()) {
        // Perhaps installed since the folders were listed.
        auto fresh = index(true);
        found = find(*fresh, name, pixelSize);
    }
    return found;
}

}  // namespace qs::desktop
