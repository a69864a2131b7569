#pragma once
// Installs the X11 desktop services (desktop::services()) and starts the workspace
// events. Call on the main thread once the QGuiApplication exists.

namespace qs::x11 {

// Answers NO, with a log line, when no X display can be reached.
bool installX11Backend();
// Stops the workspace events and empties the services (at quit, and in tests).
void uninstallX11Backend();

}  // namespace qs::x11
