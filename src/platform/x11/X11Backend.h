#pragma once
// Installs the X11 desktop services (desktop::services()) and starts the workspace
// events. Call on the main thread once the QGuiApplication exists.

#include <functional>
#include <memory>

#include "platform/desktop/Desktop.h"
#include "platform/desktop/UserMessages.h"

namespace qs::x11 {

class XConnection;

// Creates the window server, the workspace and the accessibility layer on conn, wired to
// each other (and to services.screens when those are X11Screens), and puts them into
// services (the program's backend, tests and benchmarks).
void addWindowServices(desktop::Services& services, const std::shared_ptr<XConnection>& conn);

// Answers NO, with a log line, when no X display can be reached. `messageWindow` shows a
// message to the user when no desktop notification service takes it.
bool installX11Backend(std::function<void(const desktop::UserMessage&)> messageWindow = nullptr);
// Stops the workspace events and empties the services (at quit, and in tests).
void uninstallX11Backend();

}  // namespace qs::x11
