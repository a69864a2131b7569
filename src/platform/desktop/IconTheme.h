#pragma once
// Icons by name, found as the freedesktop icon-theme rules find them: the user's theme
// (GTK's "gtk-icon-theme-name" setting, else the Debian default "Adwaita"), the themes it
// inherits, "hicolor", then unthemed pictures at the top of the base folders
// (~/.icons, $XDG_DATA_HOME/icons, each $XDG_DATA_DIRS/icons, /usr/share/pixmaps).
//
// The folders of the themes are listed once, on first use and on whichever thread asks,
// into an index of icon names; lookups afterwards touch no disk. A name the index lacks
// is looked for again in a fresh listing when the index is more than ten seconds old, so
// an application installed while the dock runs still finds its icon. Thread-safe.

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace qs::desktop {

class IconTheme {
public:
    // The user's theme, read from the environment on first use.
    static std::shared_ptr<IconTheme> shared();
    // Forgets the shared theme: the next shared() reads the environment again.
    static void resetShared();
    // Counts the resets: pixels loaded through the shared theme are those of one value.
    static uint64_t sharedGeneration();

    // A theme by name over the given base folders, most important first (the folders
    // that hold theme folders, and unthemed pictures at their top).
    IconTheme(std::string themeName, std::vector<std::string> baseFolders);
    // The theme the environment names, over the environment's base folders.
    static std::shared_ptr<IconTheme> fromEnvironment();
    // The environment's base folders, and the name of the theme the user chose.
    static std::vector<std::string> environmentBaseFolders();
    static std::string environmentThemeName();

    const std::string& name() const { return name_; }
    // The themes searched, in order (those that exist: each has an index.theme).
    std::vector<std::string> themeChain() const;

    // The file of the icon `name` (no extension; a trailing ".png", ".svg" or ".xpm" is
    // ignored) for drawing at `pixelSize` pixels: the first theme of the chain that has
    // it gives the picture of the size closest to the one asked for (a larger one when
    // two are as close); then an unthemed picture; "" when there is none.
    std::string lookup(const std::string& name, int pixelSize) const;

private:
    enum class DirType { Fixed, Scalable, Threshold };
    struct Dir {
        std::string path;  // relative to the theme folder ("48x48/apps")
        int size = 0, minSize = 0, maxSize = 0, threshold = 2, scale = 1;
        DirType type = DirType::Threshold;
    };
    struct Theme {
        std::string name;
        std::vector<Dir> dirs;
    };
    struct Hit {
        uint16_t theme, dir, base;
        uint8_t ext;  // index into the extensions, in order of preference
    };
    struct Index {
        std::vector<Theme> themes;
        std::unordered_map<std::string, std::vector<Hit>> icons;
        std::unordered_map<std::string, std::string> unthemed;  // name -> file
        std::chrono::steady_clock::time_point made;
    };

    std::shared_ptr<const Index> index(bool refresh) const;
    std::shared_ptr<Index> build() const;
    std::string find(const Index& index, const std::string& name, int pixelSize) const;
    // How far a folder's sizes are from the size asked for, in pixels (0: it fits).
    static int distance(const Dir& dir, int pixelSize);

    std::string name_;
    std::vector<std::string> bases_;
    mutable std::mutex mutex_;
    mutable std::shared_ptr<const Index> index_;
};

}  // namespace qs::desktop
