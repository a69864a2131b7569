#pragma once
// What a file item needs to know of a .desktop file: its type, localized name, icon and
// whether it is shown in the current desktop, read directly from the file (cached while
// the file is unchanged), and the XDG folders that hold applications.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qs::desktop {

// The key-file format of desktop entries, mimeapps.list and mimeinfo.cache.
using KeyFileGroup = std::map<std::string, std::string>;
// The key=value lines of one [group]; nullopt when the file cannot be read or has no such
// group. The first occurrence of a key wins. `malformedLines`, when given, receives the
// number of lines anywhere in the file that are neither blank, a comment, a group header
// nor a key=value line (they are skipped).
std::optional<KeyFileGroup> readKeyFileGroup(const std::string& path, const std::string& group,
                                             size_t* malformedLines = nullptr);
// The string escapes \s \n \t \r \\ undone; any other escape is kept for the Exec rules.
std::string unescapeKeyFileValue(const std::string& value);
// A ";"-separated list ("\;" stands for a semicolon inside an element).
std::vector<std::string> splitKeyFileList(const std::string& value);
// Key[ll_CC@mod], Key[ll_CC], Key[ll@mod], Key[ll], then Key, unescaped; "" when absent.
std::string localizedKeyFileValue(const KeyFileGroup& group, const std::string& key);

struct DesktopEntryFile {
    std::string type;  // "Application", "Link", "Directory", ...
    std::string name;  // Name= in the user's language, else Name=
    std::string icon;
    std::string tryExec;
    bool noDisplay = false;
    bool hidden = false;
    std::vector<std::string> onlyShowIn;
    std::vector<std::string> notShowIn;

    bool isApplication() const { return type == "Application"; }
    // NoDisplay, Hidden, OnlyShowIn and NotShowIn against $XDG_CURRENT_DESKTOP.
    bool shownInMenus() const;
};

// nullopt (with one log line per version of the file) when the file cannot be read or
// has no [Desktop Entry] group; an entry without Name gets its file name as name.
std::optional<DesktopEntryFile> readDesktopEntryFile(const std::string& path);
bool isDesktopEntryPath(const std::string& path);

// $XDG_DATA_HOME/applications, then each $XDG_DATA_DIRS/applications, most important first.
std::vector<std::string> applicationFolders();
// The first of applicationFolders() that exists as a folder ("" when none does): where a
// chooser of applications starts.
std::string firstExistingApplicationFolder();

}  // namespace qs::desktop
