#pragma once
// Desktop entries (application bundles) of the XDG directories: reading .desktop files,
// the index of installed applications by desktop-file id, the Exec line with its field
// codes expanded (no shell), and the applications of a MIME type by the XDG rules for
// mimeapps.list (defaults, added and removed associations), mimeinfo.cache and the
// entries' own MimeType lists.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/Workspace.h"

namespace qs::x11 {

// Reads one .desktop file; nullopt (with a log line) when it is not a valid
// application entry. `id` is the desktop-file id to give it.
std::optional<desktop::DesktopEntry> readDesktopEntry(const std::string& path, const std::string& id = "");

// Splits an Exec value into arguments by the desktop-entry quoting rules and expands the
// field codes: %f the first file, %F all files, %u/%U the same as file:// URIs (an
// argument that is already a URI is passed as it stands), %i "--icon" and the icon, %c the
// name, %k the entry's path, %% a percent sign; deprecated codes are dropped. Files given
// to an entry without a file code are not passed. Empty when the line cannot be parsed.
std::vector<std::string> expandExec(const desktop::DesktopEntry& entry, const std::vector<std::string>& files);

// The directories holding applications, most important first: $XDG_DATA_HOME then
// $XDG_DATA_DIRS, each with "/applications".
std::vector<std::string> applicationDirectories();

// The mimeapps.list files in the order they are consulted, most important first:
// $XDG_CONFIG_HOME, each of $XDG_CONFIG_DIRS, $XDG_DATA_HOME/applications and each of
// $XDG_DATA_DIRS/applications; in each folder "<desktop>-mimeapps.list" for each desktop of
// $XDG_CURRENT_DESKTOP (lower case), then "mimeapps.list".
std::vector<std::string> mimeAppsLists();

class DesktopEntryIndex {
public:
    using fs_time = std::filesystem::file_time_type;
    // Scans the application directories (an earlier directory wins for one id).
    void scan();
    bool scanned() const { return scanned_; }
    // Whether an application directory (or a folder below one) was created, removed or
    // changed since the scan: an application installed or removed while the program runs.
    bool stale() const;
    const std::vector<desktop::DesktopEntry>& entries() const { return entries_; }
    std::optional<desktop::DesktopEntry> byId(const std::string& id) const;
    std::optional<desktop::DesktopEntry> byPath(const std::string& path) const;
    // Matching a running program: the application id its windows name, then WM_CLASS
    // against StartupWMClass or the id, then the executable against Exec / TryExec.
    std::optional<desktop::DesktopEntry> match(const std::string& applicationId, const std::string& wmInstance,
                                               const std::string& wmClass, const std::string& executable) const;
    // Entries that say they open the type.
    std::vector<desktop::DesktopEntry> forMimeType(const std::string& mimeType) const;
    // The default named for the type under [Default Applications] of the first
    // mimeapps.list (mimeAppsLists() order) that names an installed entry.
    std::optional<desktop::DesktopEntry> explicitDefaultFor(const std::string& mimeType) const;
    // Every entry that opens the type, most preferred first: [Added Associations] of the
    // mimeapps.lists in order, then mimeinfo.cache of each application folder, then the
    // entries whose MimeType lists it; an entry under [Removed Associations] of a list is
    // left out of everything that list and the later ones add.
    std::vector<desktop::DesktopEntry> associationsFor(const std::string& mimeType) const;
    // The user's default for the type: its explicit default, else its most preferred
    // association.
    std::optional<desktop::DesktopEntry> defaultFor(const std::string& mimeType) const;
    // The same over a type and its ancestors (most specific first): an explicit default
    // of any of them comes before the associations of any.
    std::optional<desktop::DesktopEntry> defaultForTypes(const std::vector<std::string>& mimeTypes) const;

private:
    std::vector<desktop::DesktopEntry> entries_;
    std::map<std::string, size_t> byId_;
    // Every folder the scan looked at (present or not) with its modification time then.
    std::vector<std::pair<std::string, fs_time>> folders_;
    bool scanned_ = false;
};

}  // namespace qs::x11
