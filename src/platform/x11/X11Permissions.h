#pragma once
// Permissions on an X11 session. The X server has no permission gate between clients:
// any client may read the window list, read and change other clients' windows and
// capture their contents. So accessibility and screen recording are granted, and
// asking for them does nothing. Full disk access is what the file system says: granted
// while the home folder and the trash can be read and written.

#include "platform/desktop/Permissions.h"

namespace qs::x11 {

class X11Permissions : public desktop::Permissions {
public:
    bool isProcessTrusted(bool prompt) override;
    bool screenRecordingGranted() override;
    void requestScreenRecording() override;
    int fullDiskAccessStatus() override;
    void requestFullDiskAccess(std::function<void()> completion) override;
};

}  // namespace qs::x11
