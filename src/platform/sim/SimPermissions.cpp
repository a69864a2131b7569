#include "platform/sim/SimPermissions.h"

#include "platform/foundation/RunLoop.h"

namespace qs::sim {

bool SimPermissions::isProcessTrusted(bool prompt) {
    ++trustQueries_;
    if (prompt) ++prompts_;
    return trusted_;
}

bool SimPermissions::screenRecordingGranted() {
    ++screenRecordingQueries_;
    return screenRecording_;
}

int SimPermissions::fullDiskAccessStatus() {
    ++fullDiskAccessQueries_;
    if (forcedStatus_) return *forcedStatus_;
    return desktop::userFoldersAccessible() ? desktop::PermissionStatusAuthorized : desktop::PermissionStatusDenied;
}

void SimPermissions::requestFullDiskAccess(std::function<void()> completion) {
    ++fullDiskAccessRequests_;
    RunLoop::main().post([completions = fullDiskAccessCompletions_, completion = std::move(completion)] {
        ++*completions;
        if (completion) completion();
    });
}

}  // namespace qs::sim
