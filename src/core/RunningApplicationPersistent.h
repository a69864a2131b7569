#pragma once
// What the dock needs of a running application as an item: the kept flag
// ("isPersistent"), an icon that honours the custom icon, and the custom-icon accessors.
// The flag is attached to the application object for as long as it lives; one never
// marked reads NO.

#include "platform/desktop/Workspace.h"

namespace qs::Persistent {

// Announces "isPersistent" on the application, then posts "isPersistent" on the default
// centre with the application as its object.
void setIsPersistent(RunningApplication& app, bool persistent);
bool isPersistent(const RunningApplication& app);

// The custom icon; else the icon of the file item of the application's bundle; else the
// workspace's icon for the bundle, or the application's own icon when it has no bundle.
ImagePtr icon(const RunningApplication& app);
ImagePtr customIcon(const RunningApplication& app);
// Both announce "icon" on the application around the change; nullptr clears.
void setCustomIcon(RunningApplication& app, ImagePtr image);
void clearCustomIcon(RunningApplication& app);

}  // namespace qs::Persistent
