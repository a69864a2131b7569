#pragma once
// Telling the user what the program could not do for them. When an action hands work to
// another program (a file manager, the default application of a file, a browser) and
// none takes it, the user sees a short message: what could not be done and why. The log
// line stays.
//
// The message goes to the installed service (Services::messages): a desktop
// notification when a notification service runs, else a small message window (x11/);
// a record of every message (sim/). Without a service only the log line is written.
//
// Backends note why an open or show failed (noteFailureReason) before they answer NO;
// the caller that tells the user takes that reason (tellUserItFailed), so the message
// names the real cause ("no application opens PDF documents") without every caller
// knowing the backend's reasons.
//
// Thread-safe; the service is called on the thread that tells.

#include <string>

namespace qs::desktop {

struct UserMessage {
    std::string text;             // what could not be done: "“Report.pdf” could not be opened."
    std::string informativeText;  // why: "No application on this desktop opens PDF documents."
};

class UserMessages {
public:
    virtual ~UserMessages() = default;
    virtual void show(const UserMessage& message) = 0;
};

// Logs the message and hands it to the installed service.
void tellUser(const UserMessage& message);

// Backends: why the open or show they are about to answer NO for failed (one sentence).
void noteFailureReason(const std::string& why);
// The last reason noted, cleared; "" when none was noted since the last take.
std::string takeFailureReason();

// Tells the user that `whatFailed` ("“Notes” could not be opened.") with the reason the
// backend noted, or `fallbackWhy` when it noted none.
void tellUserItFailed(const std::string& whatFailed,
                      const std::string& fallbackWhy = "No program on this desktop could do it.");

// A name in typographic quotes, as messages show it.
std::string quote(const std::string& name);
// The name a message shows for a path: its last component, quoted.
std::string quotedName(const std::string& path);

}  // namespace qs::desktop
