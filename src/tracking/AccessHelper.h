#pragma once
// Permission checks. An X11 session has no permission gate for reading or moving other
// applications' windows, so every permission reads as granted. This holds only what the
// start needs now; tests can make the answers NO.

#include <optional>

namespace qs {

class AccessHelper {
public:
    static bool allAccessGranted();
    static bool accessibilityEnabled();
    // The system's accessibility prompt; there is none on X11, so it only counts.
    static void openAccessibility();

    // Tests: force the answers (std::nullopt: the real ones) and read the prompt count.
    static void setGrantedForTesting(std::optional<bool> granted);
    static int openAccessibilityCount();
    static void resetForTesting();
};

}  // namespace qs
