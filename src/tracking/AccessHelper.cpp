#include "tracking/AccessHelper.h"

#include "platform/desktop/Desktop.h"
#include "platform/desktop/Permissions.h"
#include "platform/foundation/RunLoop.h"

namespace qs {

namespace {
desktop::Permissions* permissions() { return desktop::services().permissions.get(); }
}  // namespace

bool AccessHelper::allAccessGranted() { return recordScreenGranted() && accessibilityGranted() && fullDiskAccessGranted(); }

bool AccessHelper::accessibilityEnabled() {
    auto* p = permissions();
    return p && p->isProcessTrusted(false);
}

bool AccessHelper::accessibilityGranted() { return accessibilityEnabled(); }

void AccessHelper::openAccessibility() {
    if (auto* p = permissions()) p->isProcessTrusted(true);
}

void AccessHelper::requestAccessibilityAccess() { openAccessibility(); }

bool AccessHelper::recordScreenGranted() {
    auto* p = permissions();
    return p && p->screenRecordingGranted();
}

void AccessHelper::requestScreenRecordingAccess() {
    if (auto* p = permissions()) p->requestScreenRecording();
}

bool AccessHelper::fullDiskAccessGranted() {
    auto* p = permissions();
    return p && p->fullDiskAccessStatus() == desktop::PermissionStatusAuthorized;
}

void AccessHelper::openFullDiskAccess() {
    if (auto* p = permissions()) p->requestFullDiskAccess([] {});
}

void AccessHelper::openFullDiskAccess(std::function<void(bool granted)> completion) {
    auto* p = permissions();
    if (!p) {
        if (completion) RunLoop::main().post([completion] { completion(false); });
        return;
    }
    p->requestFullDiskAccess([completion] {
        if (completion) completion(fullDiskAccessGranted());
    });
}

}  // namespace qs
