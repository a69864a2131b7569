#pragma once
// The small message window of user messages (platform/desktop/UserMessages.h) where no
// desktop notification service runs: a warning with the message's text and the reason
// under it, an OK button, not modal. A message already on the screen is raised instead
// of shown twice.
//
// Main thread only.

#include <vector>

#include "platform/desktop/UserMessages.h"

class QMessageBox;

namespace qs {

class MessageWindow {
public:
    static void show(const desktop::UserMessage& message);
    // The message windows on the screen now, oldest first.
    static std::vector<QMessageBox*> shown();
};

}  // namespace qs
