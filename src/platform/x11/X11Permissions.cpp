#include "platform/x11/X11Permissions.h"

#include "platform/foundation/RunLoop.h"

namespace qs::x11 {

// Granted: an X11 client reaches every other client's windows without asking anyone.
bool X11Permissions::isProcessTrusted(bool) { return true; }

// Granted: the X server lets any client capture any window (GetImage, Composite).
bool X11Permissions::screenRecordingGranted() { return true; }

// There is nobody to ask.
void X11Permissions::requestScreenRecording() {}

int X11Permissions::fullDiskAccessStatus() {
    return desktop::userFoldersAccessible() ? desktop::PermissionStatusAuthorized : desktop::PermissionStatusDenied;
}

// Nothing can be granted from here (folder permissions are the user's to change); the
// completion still comes, on the main run loop.
void X11Permissions::requestFullDiskAccess(std::function<void()> completion) {
    RunLoop::main().post([completion = std::move(completion)] {
        if (completion) completion();
    });
}

}  // namespace qs::x11
