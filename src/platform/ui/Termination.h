#pragma once
// Ending the program: the one way every quit takes ("Quit" in the menus, SIGTERM, SIGINT,
// SIGHUP, the end of the session).
//
// A quit must not be a request that a window can turn down: the toolkit's own quit asks
// every window to close and gives up at the first that stays (a popover decides its own
// closes, a dialog may keep itself open), which would leave the program running and the
// dock unsaved. Here every event loop is told to end first, nested ones included (a
// menu's, a modal dialog's, a drag's), then every shown window is closed as at any quit
// (an inspector keeps the edit in progress) whatever it answers; the main loop's end
// runs the termination steps (the dock archived).

namespace qs::Termination {

// Ends every running event loop with `code` (a loop started from now on returns at once)
// and closes the shown windows. Safe to call more than once.
void terminate(int code = 0);

// SIGTERM, SIGINT and SIGHUP call terminate() from the main event loop, whatever loop
// runs at that moment. Needs the application object; false (with the reason in errno)
// when the handlers could not be installed.
bool installSignalHandlers();

}  // namespace qs::Termination
