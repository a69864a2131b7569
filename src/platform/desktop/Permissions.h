#pragma once
// The permissions the dock needs from the desktop: reaching other applications'
// windows (accessibility), capturing them (screen recording) and using the user's files
// and trash (full disk access), with the requests that ask the user for them.

#include <functional>
#include <string>

namespace qs::desktop {

enum PermissionStatus : int {
    PermissionStatusNotDetermined = 0,
    PermissionStatusDenied = 1,
    PermissionStatusAuthorized = 2,
};

class Permissions {
public:
    virtual ~Permissions() = default;

    // Whether other applications' windows can be read and controlled. With `prompt` the
    // desktop may ask the user (where it has a way to).
    virtual bool isProcessTrusted(bool prompt) = 0;
    virtual bool screenRecordingGranted() = 0;
    // Makes the desktop ask the user for screen recording, where it can.
    virtual void requestScreenRecording() = 0;
    virtual int fullDiskAccessStatus() = 0;
    // Asks for full disk access; `completion` runs afterwards on the main run loop.
    virtual void requestFullDiskAccess(std::function<void()> completion) = 0;
};

// Full disk access on a Linux desktop: YES when the home folder and the trash can be
// read and written by this process. A trash that does not exist yet counts when it can
// be made; a trash (or its files/ or info/ folder) that is not a folder does not.
bool userFoldersAccessible();
bool userFoldersAccessible(const std::string& home, const std::string& trash);

}  // namespace qs::desktop
