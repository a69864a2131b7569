#pragma once
// Files on the desktop: watching folders, the file manager (reveal, information window,
// opening the trash), and the in-process file operations and lookups that need no
// service (copy, move, symbolic-link aliases, the freedesktop trash, cached thumbnails,
// the recently-used list).

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Image.h"
#include "platform/foundation/Value.h"

namespace qs::desktop {

// Event flags, as the file-system event streams number them.
enum FileEventFlags : unsigned {
    FileEventMustScanSubDirs = 0x001,  // events were lost: rescan
    FileEventRootChanged = 0x020,      // the watched path itself went away or moved
    FileEventItemCreated = 0x100,
    FileEventItemRemoved = 0x200,
    FileEventItemRenamed = 0x800,
    FileEventItemModified = 0x1000,
    FileEventItemIsDir = 0x20000,
};

struct FileEvent {
    std::string path;
    unsigned flags = 0;
};

// A running watch; destroying it stops the watch (no call arrives afterwards).
class FileWatch {
public:
    virtual ~FileWatch() = default;
};

// Batches arrive on the main run loop. The first change of a quiet period is delivered
// at once; later ones are collected for `latency` seconds and delivered together.
using FileWatchHandler = std::function<void(const std::vector<FileEvent>&)>;

class FileServices {
public:
    virtual ~FileServices() = default;

    // Watches each path (a folder: its direct entries; with `subdirectories` the whole
    // tree). nullptr (with a log line) when no path can be watched.
    virtual std::unique_ptr<FileWatch> watchPaths(const std::vector<std::string>& paths, bool subdirectories,
                                                  double latency, FileWatchHandler handler) = 0;

    // The file manager: select the items in their folders; show their information
    // window; open a folder or location ("trash:///" for the trash). NO when nothing could
    // be asked of any file manager.
    virtual bool showItems(const std::vector<std::string>& paths) = 0;
    virtual bool showItemProperties(const std::vector<std::string>& paths) = 0;
    virtual bool showFolder(const std::string& pathOrURI) = 0;
};

// The installed file services (Services::files); nullptr when none is installed.
FileServices* fileServices();

// In-process file operations. Each answers whether every item was handled; a failed
// item leaves nothing half-written behind, and names that are taken get a fresh one
// ("file 2.txt"), never an overwrite.
struct FileOperationResult {
    bool ok = false;
    std::vector<std::string> created;  // where the items ended up, in order
    std::string error;                 // the first failure, "" when none
};

namespace files {

// Whether the item is the folder itself or holds it somewhere inside (symbolic links in
// both resolved).
bool isSameOrInside(const std::string& folder, const std::string& item);
// `folder`/`name` when free, else "name 2.ext", "name 3.ext", ...
std::string uniqueDestination(const std::string& folder, const std::string& name);
FileOperationResult copyItems(const std::vector<std::string>& paths, const std::string& folder);
FileOperationResult moveItems(const std::vector<std::string>& paths, const std::string& folder);
// Tests: called with the source path just before each copy starts (a test may take the
// file away there, as if it vanished while being copied); nullptr removes it.
void setBeforeCopyHookForTesting(std::function<void(const std::string& from)> hook);
// Symbolic links in `folder` pointing at each item.
FileOperationResult aliasItems(const std::vector<std::string>& paths, const std::string& folder);

// The user's freedesktop trash: $XDG_DATA_HOME/Trash with files/ and info/.
std::string trashDirectory();
std::string trashFilesDirectory();
// Moves each item into files/ with its info/<name>.trashinfo (Path percent-encoded,
// DeletionDate local time), so the file manager can restore it.
FileOperationResult moveToTrash(const std::vector<std::string>& paths);
// Removes everything in files/ and info/ (and the directory-size cache).
FileOperationResult emptyTrash();
// YES when files/ holds any entry; NO when it is empty or cannot be read.
bool trashHasItems();

struct TrashInfo {
    std::string originalPath;  // decoded; "" when the file is malformed
    std::string deletionDate;  // as written
};
// Reads one .trashinfo file; nullopt (with a log line) when it is malformed.
std::optional<TrashInfo> readTrashInfo(const std::string& infoPath);

// The freedesktop thumbnail cache ($XDG_CACHE_HOME/thumbnails/{x-large,large,normal}/
// md5(uri).png, valid while its Thumb::MTime matches), else the image itself for image
// files, scaled to fit max x max. nullptr when there is none. Only headers are read: the
// image is deferred and decodes when first drawn.
ImagePtr thumbnailForFile(const std::string& path, int max);

// When the file was last used: its newest visit in recently-used.xbel, else its access
// time; nullopt for a missing file.
std::optional<Date> lastUsedDate(const std::string& path);

// "file://" + the percent-encoded path, as the thumbnail and recent-files specs spell it.
std::string fileURI(const std::string& path);

}  // namespace files

}  // namespace qs::desktop
