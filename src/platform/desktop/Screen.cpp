#include "platform/desktop/Screen.h"

#include "platform/desktop/Desktop.h"

namespace qs {

std::vector<std::shared_ptr<Screen>> Screen::screens() {
    auto& server = desktop::services().screens;
    return server ? server->screens() : std::vector<std::shared_ptr<Screen>>{};
}

std::shared_ptr<Screen> Screen::mainScreen() {
    auto& server = desktop::services().screens;
    return server ? server->mainScreen() : nullptr;
}

}  // namespace qs
