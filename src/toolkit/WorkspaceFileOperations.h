#pragma once
// NSWorkspace(FileOperations), the part the file menus of the group and folder popovers
// use: the "Open With" menu of a file, the file manager's information window, the
// application lookups behind them, and file and folder sizes. Paths are POSIX paths (any
// bytes but NUL); the lookups go to the installed workspace and file services.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/URL.h"
#include "platform/ui/Menu.h"

namespace qs::NSWorkspace_FileOperations {

// A menu titled "Open With": the default application first (its name, its icon at 16 x
// 16, the application's path as tool tip), a separator, then every other application
// that opens the file, sorted by path (case-insensitive, in the user's language), each
// with the same target and action and its path as tool tip. "None" (no action) when no
// application list could be had; with no default application the first item and the
// separator are left out.
MenuPtr openWithMenuForFile(const std::string& path, const void* target, const MenuItem::Action& action);

// Opens the file manager's information window for the item. NO, with a beep, when
// nothing exists at the path; NO, with the line "Error running AppleScript", when no file
// manager could be asked. The path travels as an argument (a file URI), never as text of
// a script or command line.
bool getInfoInFinderForFile(const std::string& path);

// The file's default application (a desktop entry path); nullopt when there is none.
std::optional<std::string> defaultApplicationForFile(const std::string& path);
// Every application that opens the file; nullopt when no list could be had.
std::optional<std::vector<std::string>> applicationsForFile(const std::string& path);

// The name the file manager shows for a path: an application's own name for a desktop
// entry, else the last path component.
std::string displayNameAtPath(const std::string& path);

// 1024-based: "%u bytes" below 1024, "%llu KB" up to 1,048,575 bytes, "%.1f MB" up to
// 1,073,741,824 bytes, "%.1f GB" above (a decimal point, whatever the language).
std::string fileSizeAsHumanReadableString(uint64_t size);
// A file's size, or the allocated size of a folder's contents; a symbolic link counts as
// its destination (a relative destination is read from the link's own folder). 0 when
// nothing is at the path.
uint64_t fileOrFolderSize(const std::string& path);
std::string fileOrFolderSizeAsHumanReadable(const std::string& path);
// The allocated size of a folder's contents; 0 on any failure.
uint64_t nrCalculateFolderSize(const std::string& folderPath);
// The allocated size of every regular file below the folder (links not followed). Any
// failure stops with NO, `size` untouched and `error` (when given) set.
bool getAllocatedSize(uint64_t* size, const URL& directoryURL, std::string* error);

}  // namespace qs::NSWorkspace_FileOperations
