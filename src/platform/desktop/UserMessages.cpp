#include "platform/desktop/UserMessages.h"

#include <mutex>

#include "platform/desktop/Desktop.h"
#include "platform/foundation/Log.h"

namespace qs::desktop {

namespace {

std::mutex& reasonMutex() {
    static std::mutex m;
    return m;
}

std::string& lastReason() {
    static std::string reason;
    return reason;
}

}  // namespace

void tellUser(const UserMessage& message) {
    log("told the user: ", message.text, " ", message.informativeText);
    if (auto messages = services().messages) messages->show(message);
}

void noteFailureReason(const std::string& why) {
    std::lock_guard lock(reasonMutex());
    lastReason() = why;
}

std::string takeFailureReason() {
    std::lock_guard lock(reasonMutex());
    std::string why = std::move(lastReason());
    lastReason().clear();
    return why;
}

void tellUserItFailed(const std::string& whatFailed, const std::string& fallbackWhy) {
    std::string why = takeFailureReason();
    tellUser({whatFailed, why.empty() ? fallbackWhy : why});
}

std::string quote(const std::string& name) { return "\u201c" + name + "\u201d"; }

std::string quotedName(const std::string& path) {
    std::string name = path;
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    if (auto slash = name.find_last_of('/'); slash != std::string::npos && slash + 1 < name.size())
        name = name.substr(slash + 1);
    return quote(name);
}

}  // namespace qs::desktop
