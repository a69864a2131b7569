#include "platform/desktop/MenuBar.h"

namespace qs::MenuBar {

namespace {
std::optional<bool>& testAnswer() {
    static std::optional<bool> answer;
    return answer;
}
}  // namespace

bool menuBarVisible() { return testAnswer().value_or(false); }

void setMenuBarVisibleForTesting(std::optional<bool> visible) { testAnswer() = visible; }

}  // namespace qs::MenuBar
