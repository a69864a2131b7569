#include "platform/sim/SimScreens.h"

#include "platform/desktop/Notifications.h"
#include "platform/foundation/NotificationCenter.h"

namespace qs::sim {

std::shared_ptr<SimScreen> SimScreen::make(const Rect& frame, std::string name, const Rect* visibleFrame) {
    return std::make_shared<SimScreen>(frame, visibleFrame ? *visibleFrame : frame, std::move(name));
}

std::vector<std::shared_ptr<Screen>> SimScreens::screens() { return {screens_.begin(), screens_.end()}; }

std::shared_ptr<Screen> SimScreens::mainScreen() {
    if (auto m = main_.lock()) {
        for (auto& s : screens_)
            if (s == m) return m;
    }
    return screens_.empty() ? nullptr : screens_.front();
}

void SimScreens::setScreens(std::vector<std::shared_ptr<SimScreen>> screens) { screens_ = std::move(screens); }

std::shared_ptr<SimScreen> SimScreens::addScreen(const Rect& frame, std::string name) {
    auto s = SimScreen::make(frame, std::move(name));
    screens_.push_back(s);
    return s;
}

void SimScreens::postScreenParametersChanged() {
    NotificationCenter::defaultCenter().postNotificationName(NSApplicationDidChangeScreenParametersNotification);
}

}  // namespace qs::sim
