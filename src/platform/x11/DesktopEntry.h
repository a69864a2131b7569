#pragma once
// Desktop entries (application bundles) of the XDG directories: reading .desktop files,
// the index of installed applications by desktop-file id, the Exec line with its field
// codes expanded (no shell), and the user's default application for a MIME type
// (mimeapps.list, else mimeinfo.cache).

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
// field codes: %f/%u the first file, %F/%U all files, %i "--icon" and the icon, %c the
// name, %k the entry's path, %% a percent sign; deprecated codes are dropped. Files given
// to an entry without a file code are not passed. Empty when the line cannot be parsed.
std::vector<std::string> expandExec(const desktop::DesktopEntry& entry, const std::vector<std::string>& files);

// The directories holding applications, most important first: $XDG_DATA_HOME then
// $XDG_DATA_DIRS, each with "/applications".
std::vector<std::string> applicationDirectories();

class DesktopEntryIndex {
public:
    // Scans the application directories (an earlier directory wins for one id).
    void scan();
    bool scanned() const { return scanned_; }
    const std::vector<desktop::DesktopEntry>& entries() const { return entries_; }
    std::optional<desktop::DesktopEntry> byId(const std::string& id) const;
    std::optional<desktop::DesktopEntry> byPath(const std::string& path) const;
    // Matching a running program: the application id its windows name, then WM_CLASS
    // against StartupWMClass or the id, then the executable against Exec / TryExec.
    std::optional<desktop::DesktopEntry> match(const std::string& applicationId, const std::string& wmInstance,
                                               const std::string& wmClass, const std::string& executable) const;
    // Entries that say they open the type.
    std::vector<desktop::DesktopEntry> forMimeType(const std::string& mimeType) const;
    // The user's default for the type: mimeapps.list ([Default Applications]) in the
    // config and data directories, then mimeinfo.cache, then the first entry for it.
    std::optional<desktop::DesktopEntry> defaultFor(const std::string& mimeType) const;

private:
    std::vector<desktop::DesktopEntry> entries_;
    std::map<std::string, size_t> byId_;
    bool scanned_ = false;
};

}  // namespace qs::x11
