#pragma once
// Whether a global menu bar shows at the top of the primary screen now (the platform's
// menuBarVisible), for layouts that keep clear of it.
//
// An X11 desktop has no global menu bar above the windows: menus live in the windows,
// and a top panel, where there is one, already lies outside every screen's visible
// frame. So the answer on X11 is NO. Tests set the answer to exercise the layouts that
// leave room for a menu bar.

#include <optional>

namespace qs::MenuBar {

bool menuBarVisible();

// Fixes the answer (for tests); nullopt goes back to the desktop's own answer.
void setMenuBarVisibleForTesting(std::optional<bool> visible);

}  // namespace qs::MenuBar
