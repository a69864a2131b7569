#pragma once
// User messages on a real desktop: a desktop notification (org.freedesktop.Notifications
// over the session bus) when a notification service runs or can be started, else the
// message window the program supplies. A notification that the service refuses is shown
// in the window instead.

#include <functional>
#include <string>

#include "platform/desktop/UserMessages.h"

namespace qs::x11 {

class X11UserMessages : public desktop::UserMessages {
public:
    using Window = std::function<void(const desktop::UserMessage&)>;
    // `window` shows a message when no notification service takes it (nothing but the
    // log line when it is empty). The session bus is asked, or the bus at `busAddress`
    // when one is given (tests).
    explicit X11UserMessages(Window window, std::string busAddress = "");
    void show(const desktop::UserMessage& message) override;

    // Whether a notification service is on the bus (running or activatable).
    bool notificationServiceAvailable() const;

private:
    Window window_;
    std::string busAddress_;
};

}  // namespace qs::x11
