#pragma once
// The three permissions the dock needs, asked of the desktop: accessibility (window
// tracking and control), screen recording (window previews) and full disk access (the
// trash), and the requests for them. Class methods only; called on the main thread.
// Every answer is NO when no permission service is installed.

#include <functional>

namespace qs {

class AccessHelper {
public:
    // Screen recording, then accessibility, then full disk access, stopping at the
    // first NO; YES only when all three are granted.
    static bool allAccessGranted();
    // Accessibility, without asking the user.
    static bool accessibilityEnabled();
    static bool accessibilityGranted();
    // Accessibility, letting the desktop ask the user; the answer is ignored.
    static void openAccessibility();
    static void requestAccessibilityAccess();
    static bool recordScreenGranted();
    static void requestScreenRecordingAccess();
    static bool fullDiskAccessGranted();
    // Asks for full disk access; the answer comes back on the main thread and changes
    // nothing (callers read fullDiskAccessGranted again).
    static void openFullDiskAccess();
    // The same, with the answer (granted or not) handed to `completion` on the main run
    // loop once the desktop has answered.
    static void openFullDiskAccess(std::function<void(bool granted)> completion);
};

}  // namespace qs
