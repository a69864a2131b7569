#include "platform/ui/InputState.h"

#include <QCursor>

#include "platform/desktop/Desktop.h"
#include "platform/desktop/SyntheticEvents.h"

namespace qs {

namespace {
desktop::EventPoster* devices() { return desktop::services().events.get(); }
}  // namespace

uint32_t GetCurrentButtonState() {
    auto* d = devices();
    return d ? d->currentButtonState() : 0;
}

uint32_t GetCurrentKeyModifiers() {
    auto* d = devices();
    return d ? d->currentKeyModifiers() : 0;
}

void GetKeys(KeyMap& keys) {
    auto* d = devices();
    keys = d ? d->currentKeyMap() : KeyMap{};
}

Point GetCurrentPointerLocation() {
    if (auto* d = devices()) return d->pointerLocation();
    const QPoint p = QCursor::pos();
    return {double(p.x()), double(p.y())};
}

}  // namespace qs
