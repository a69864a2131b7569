#include "platform/desktop/Compositing.h"

#include "platform/desktop/Desktop.h"

namespace qs::desktop {

bool compositingManagerRunning() {
    auto& compositing = services().compositing;
    return compositing && compositing->isCompositingManagerRunning();
}

}  // namespace qs::desktop
