#include "platform/desktop/Compositor.h"

#include <mutex>

namespace qs::desktop {

namespace {
std::mutex& slotMutex() {
    static std::mutex m;
    return m;
}
std::shared_ptr<Compositor>& slot() {
    static std::shared_ptr<Compositor> c;
    return c;
}
}  // namespace

std::shared_ptr<Compositor> Compositor::installed() {
    std::lock_guard<std::mutex> lock(slotMutex());
    return slot();
}

void Compositor::install(std::shared_ptr<Compositor> compositor) {
    std::lock_guard<std::mutex> lock(slotMutex());
    slot() = std::move(compositor);
}

bool Compositor::compositing() {
    auto c = installed();
    return c && c->isCompositing();
}

}  // namespace qs::desktop
