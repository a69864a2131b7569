#include "platform/desktop/PanelWindows.h"

#include <mutex>

namespace qs::desktop {

namespace {
std::mutex& slotMutex() {
    static std::mutex m;
    return m;
}
std::shared_ptr<PanelWindows>& slot() {
    static std::shared_ptr<PanelWindows> p;
    return p;
}
}  // namespace

std::shared_ptr<PanelWindows> PanelWindows::installed() {
    std::lock_guard<std::mutex> lock(slotMutex());
    return slot();
}

void PanelWindows::install(std::shared_ptr<PanelWindows> panels) {
    std::lock_guard<std::mutex> lock(slotMutex());
    slot() = std::move(panels);
}

}  // namespace qs::desktop
