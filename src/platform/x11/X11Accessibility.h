#pragma once
// Accessibility elements of an X11 desktop, over the managed-window table of
// X11WindowServer: an application is a group of managed windows (ApplicationGroups),
// named by its identifier; a window is a managed client, its close button is there when the window manager allows closing.
// Writes become requests to the window manager (EWMH client messages); observers are
// told of the changes the table finds, on the main thread.

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/desktop/Accessibility.h"

namespace qs::x11 {

class XConnection;
class X11WindowServer;
struct X11Change;

class X11Accessibility : public desktop::Accessibility {
public:
    // `appName` and `appHidden` come from the workspace (its names and hidden flags).
    X11Accessibility(std::shared_ptr<XConnection> connection, std::shared_ptr<X11WindowServer> windows);
    ~X11Accessibility() override;

    void setApplicationInfo(std::function<std::string(desktop::Pid)> name, std::function<bool(desktop::Pid)> hidden);

    std::optional<desktop::AXValue> copyAttributeValue(const desktop::AXElement& element,
                                                       const std::string& attribute) override;
    std::optional<std::vector<desktop::AXElement>> copyAttributeValues(const desktop::AXElement& element,
                                                                       const std::string& attribute, size_t index,
                                                                       size_t maxCount) override;
    std::optional<bool> isAttributeSettable(const desktop::AXElement& element, const std::string& attribute) override;
    bool setAttributeValue(const desktop::AXElement& element, const std::string& attribute,
                           const desktop::AXValue& value) override;
    bool performAction(const desktop::AXElement& element, const std::string& action) override;
    desktop::Pid pid(const desktop::AXElement& element) override;
    desktop::WindowNumber windowNumber(const desktop::AXElement& element) override;
    bool isProcessTrusted() override;
    bool apiEnabled() override;
    std::unique_ptr<desktop::AXObserver> createObserver(desktop::Pid pid, desktop::AXObserver::Callback callback) override;

    struct ObserverState;

private:
    // Whether an application of that identifier runs now (this program always does).
    bool knows(desktop::Pid application);
    void onChange(const X11Change& change);
    void deliver(const desktop::AXElement& target, const std::string& notification, const desktop::AXElement& subject);

    std::shared_ptr<XConnection> conn_;
    std::shared_ptr<X11WindowServer> windows_;
    int listener_ = 0;
    std::function<std::string(desktop::Pid)> appName_;
    std::function<bool(desktop::Pid)> appHidden_;
    std::mutex trustMutex_;
    double trustCheckedAt_ = -1e9;
    bool trusted_ = false;
    std::vector<std::weak_ptr<ObserverState>> observers_;
};

}  // namespace qs::x11
