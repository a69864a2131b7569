#include "tracking/AccessHelper.h"

namespace qs {

namespace {
std::optional<bool> forcedAnswer;
int prompts = 0;
}  // namespace

bool AccessHelper::allAccessGranted() { return forcedAnswer.value_or(true); }
bool AccessHelper::accessibilityEnabled() { return forcedAnswer.value_or(true); }
void AccessHelper::openAccessibility() { ++prompts; }

void AccessHelper::setGrantedForTesting(std::optional<bool> granted) { forcedAnswer = granted; }
int AccessHelper::openAccessibilityCount() { return prompts; }
void AccessHelper::resetForTesting() {
    forcedAnswer.reset();
    prompts = 0;
}

}  // namespace qs
