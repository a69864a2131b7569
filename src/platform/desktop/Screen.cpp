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

std::shared_ptr<Screen> Screen::screenWithLargestPartOf(const Rect& rect) {
    ScreenPtr best;
    double bestArea = 0.0;
    for (auto& s : screens()) {
        const Rect i = RectIntersection(rect, s->frame());
        if (RectIsNull(i)) continue;
        const double area = i.size.width * i.size.height;
        if (area > bestArea) {
            bestArea = area;
            best = s;
        }
    }
    return best;
}

}  // namespace qs
