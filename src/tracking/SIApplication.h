#pragma once
// The accessibility element of one running application: its windows, hide and show,
// its icon and name, and observations of accessibility notifications of the
// application or of one of its windows.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/desktop/Workspace.h"
#include "platform/foundation/Image.h"
#include "tracking/SIAccessibilityElement.h"

namespace qs {

class SIWindow;

// A recorded observation: the notification and the handler handed to the observer.
struct SIApplicationObservation {
    std::string notification;
    std::function<void(const std::shared_ptr<SIWindow>&)> handler;
};

// Window pictures by window number, shared by every wrapper of one process and safe
// to use from any thread.
class SIImageCache {
public:
    void set(uint32_t windowID, ImagePtr image);
    ImagePtr get(uint32_t windowID) const;
    static std::shared_ptr<SIImageCache> forProcess(desktop::Pid pid);

private:
    mutable std::mutex mutex_;
    std::map<std::string, ImagePtr> images_;
};

class SIApplication : public SIAccessibilityElement {
public:
    using Handler = std::function<void(const std::shared_ptr<SIWindow>&)>;

    using SIAccessibilityElement::SIAccessibilityElement;
    ~SIApplication() override;

    std::string className() const override { return "SIApplication"; }
    std::vector<std::string> classHierarchy() const override {
        return {"SIApplication", "SIAccessibilityElement", "NSObject"};
    }
    std::shared_ptr<SIAccessibilityElement> copy() const override;

    static std::shared_ptr<SIApplication> applicationWithRunningApplication(const RunningApplicationPtr& app);
    static std::shared_ptr<SIApplication> applicationWithProcessIdentifier(desktop::Pid pid);
    // Empty when other applications cannot be reached.
    static std::vector<std::shared_ptr<SIApplication>> runningApplications();

    // "AXWindows" (at most 100), cached until dropWindowsCache.
    const std::vector<std::shared_ptr<SIWindow>>& windows();
    std::vector<std::shared_ptr<SIWindow>> visibleWindows();
    void dropWindowsCache();
    void addWindowsToWindowsCache();
    bool hasCachedWindows() const { return hasCachedWindows_; }

    std::optional<std::string> title() const;
    bool isHidden() const;
    ImagePtr icon() const;
    std::string appName() const;
    void hide();
    void unhide();
    void kill();
    void kill9();

    // Registers `notification` of `element`; the handler runs on the main thread with
    // the notifying element as a window. NO when no observer could be made (nothing is
    // then recorded) or the registration failed (the record stays).
    bool observeNotification(const std::string& notification, const std::shared_ptr<SIAccessibilityElement>& element,
                             Handler handler);
    // Removes every observation of the element, whatever its notification.
    void unobserveNotification(const std::string& notification,
                               const std::shared_ptr<SIAccessibilityElement>& element);
    bool hasObserver() const { return observerRef_ != nullptr; }
    // The observations of an element, in registration order (empty when none).
    std::vector<SIApplicationObservation> observationsForElement(const desktop::AXElement& element) const;

    void saveImage(const ImagePtr& image, uint32_t windowID);
    ImagePtr cachedImageForWindowID(uint32_t windowID) const;

private:
    RunningApplicationPtr runningApplication() const;
    void buildWindows(bool skipDuplicates);
    void deliver(const desktop::AXElement& element, void* context);

    struct ElementEntry {
        desktop::AXElement element;
        std::vector<std::shared_ptr<SIApplicationObservation>> observations;
    };
    mutable std::shared_ptr<SIImageCache> cache_;
    std::unique_ptr<desktop::AXObserver> observerRef_;
    std::vector<ElementEntry> elementToObservations_;  // in order of first registration
    std::vector<std::shared_ptr<SIWindow>> cachedWindows_;
    bool hasCachedWindows_ = false;
};

using SIApplicationPtr = std::shared_ptr<SIApplication>;

}  // namespace qs
