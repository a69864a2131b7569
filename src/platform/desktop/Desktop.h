#pragma once
// The desktop services the subsystems call, installed once by the program (x11/) or by
// a test (sim/). Subsystems reach the desktop only through these interfaces.

#include <memory>
#include <vector>

namespace qs {
class Screen;
}

namespace qs::desktop {

// Screens. Backends post "NSApplicationDidChangeScreenParametersNotification" on the
// default centre when screens are added, removed or change geometry.
class ScreenServer {
public:
    virtual ~ScreenServer() = default;
    virtual std::vector<std::shared_ptr<Screen>> screens() = 0;
    virtual std::shared_ptr<Screen> mainScreen() = 0;
};

class HotkeyService;
class Accessibility;
class WindowServer;
class EventPoster;
class Workspace;
class FileServices;
class BadgeSource;
class DisplayService;
class Permissions;
class Compositing;
class UserMessages;

struct Services {
    std::shared_ptr<ScreenServer> screens;
    std::shared_ptr<HotkeyService> hotkeys;
    std::shared_ptr<Accessibility> accessibility;
    std::shared_ptr<WindowServer> windowServer;
    std::shared_ptr<EventPoster> events;
    std::shared_ptr<Workspace> workspace;
    std::shared_ptr<FileServices> files;
    std::shared_ptr<BadgeSource> badges;
    std::shared_ptr<DisplayService> displays;
    std::shared_ptr<Permissions> permissions;
    std::shared_ptr<Compositing> compositing;
    // What the user is told when the program could not do something for them.
    std::shared_ptr<UserMessages> messages;
    // Further services (workspace, window server, accessibility, synthetic events,
    // file operations, ...) are added here by the code that backs them.
};

// The installed services. Every member is set by a backend before the program starts.
Services& services();
void install(Services services);

}  // namespace qs::desktop
