#pragma once
// NSWorkspace(FileOperations): copy, move, alias and delete files, open and empty the
// trash, and watch the trash. The operations run in-process on the freedesktop trash
// and the file system; showing the trash goes to the file manager.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/desktop/FileServices.h"
#include "platform/desktop/UserMessages.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URL.h"

namespace qs::FileOperations {

// Each answers YES only when every item was handled; a failure is logged.
bool copyItemsAtURLs(const std::vector<URLPtr>& urls, const URLPtr& toURL);
bool moveItemsAtURLs(const std::vector<URLPtr>& urls, const URLPtr& toURL);
bool moveItemsToTrash(const std::vector<URLPtr>& urls);
bool aliasItemsAtURLs(const std::vector<URLPtr>& urls, const URLPtr& toURL);
// The same two off the main thread, for drops of any size: the files are moved on a
// background thread, one operation at a time in the order asked, and done(ok) follows on
// the main loop (the trash's observers hear of the change before it).
void moveItemsAtURLs(const std::vector<URLPtr>& urls, const URLPtr& toURL, std::function<void(bool)> done);
void moveItemsToTrash(const std::vector<URLPtr>& urls, std::function<void(bool)> done);
// Files dropped on a folder: each is moved into it when it lies on the folder's file
// system and copied (the original stays) when it lies on another, under a free name
// when its name is taken there. Nothing is done with a file that is gone, that is the
// folder itself or holds it, or that already lies in the folder; nothing at all when the
// folder cannot be written to. Each refusal and failure comes with its reason, one
// sentence for the user.
enum class DropAction { Move, Copy };
struct DropPlan {
    std::string folder;
    std::vector<std::pair<std::string, DropAction>> items;      // what will be done, in drop order
    std::vector<std::pair<std::string, std::string>> refused;  // path, why
    // What the drag source is told: Move when every file is moved, Copy when any is
    // copied, nullopt when nothing is done.
    std::optional<DropAction> operation() const;
};
DropPlan planDrop(const std::vector<URLPtr>& urls, const URLPtr& folder);
struct DropOutcome {
    std::string folder;
    size_t moved = 0, copied = 0;
    std::vector<std::pair<std::string, std::string>> failed;  // refused or failed: path, why
};
// The drop planned and carried out on the background queue of the file operations;
// done(outcome) follows on the main loop.
void dropItemsIntoFolder(const std::vector<URLPtr>& urls, const URLPtr& folder,
                         std::function<void(const DropOutcome&)> done);
// What the user is told of a drop: what could not be put into the folder and why;
// nullopt when everything was.
std::optional<desktop::UserMessage> messageForDrop(const DropOutcome& outcome);

// Files dropped on the trash. Each is checked first: one that is gone, that is the trash
// or lies in it, that holds the trash, or whose folder may not be changed is refused with
// its reason. A few files on the trash's own file system (a rename each) go to the trash
// now, so that the drop's answer is what happened; the others (copied, then removed) and
// a large drop go on the background queue, and done(outcome of those) follows on the
// main loop. Answers what was done now: `moved` went to the trash, `failed` were refused
// or failed, `queued` were handed to the queue.
struct TrashDrop {
    DropOutcome now;
    size_t queued = 0;
};
inline constexpr size_t kTrashNowLimit = 32;
TrashDrop dropItemsIntoTrash(const std::vector<URLPtr>& urls, std::function<void(const DropOutcome&)> done);

bool openTrash();
bool emptyTrash();
std::string trashPath();
// YES when the trash holds anything; NO when it is empty or cannot be read.
bool isTrashFull();

// Starts the trash watcher (once per trash folder) and observes "NSWorkspace+Trash"
// (object nil) on the default centre, one post per changed path.
NotificationCenter::ObserverToken addTrashObserver(const void* observer, NotificationCenter::Handler handler);
void removeTrashObserver(const void* observer);

// The trash watcher's notification.
inline constexpr const char* kTrashNotification = "NSWorkspace+Trash";

}  // namespace qs::FileOperations
