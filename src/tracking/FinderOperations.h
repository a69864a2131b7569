#pragma once
// NSWorkspace(FileOperations): copy, move, alias and delete files, open and empty the
// trash, and watch the trash. The operations run in-process on the freedesktop trash
// and the file system; showing the trash goes to the file manager.

#include <functional>
#include <string>
#include <vector>

#include "platform/desktop/FileServices.h"
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
