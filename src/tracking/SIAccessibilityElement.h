#pragma once
// One accessibility element of another application (an application, a window or a
// window button), with typed attribute reads, its frame, frame writes that avoid
// needless resizing, and its owning process. Coordinates are accessibility
// coordinates: X root coordinates, origin at the top-left, y down.
//
// No operation reports an error: a read that fails answers its empty value (nil, NO,
// RectNull, -1), a write that fails is ignored.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/Accessibility.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/Object.h"

namespace qs {

class SIAccessibilityElement : public Object {
public:
    explicit SIAccessibilityElement(const desktop::AXElement& element) : axElementRef_(element) {}

    // There is no wrapper without an element: answers nullptr.
    static std::shared_ptr<SIAccessibilityElement> init() { return nullptr; }
    static std::shared_ptr<SIAccessibilityElement> initWithAXElement(const desktop::AXElement& element);

    std::string className() const override { return "SIAccessibilityElement"; }
    std::vector<std::string> classHierarchy() const override { return {"SIAccessibilityElement", "NSObject"}; }
    std::string description() const override;
    // YES when `other` is of the receiver's class or a subclass and wraps the same
    // element. One-sided: a plain element equals a window of the same element, not the
    // reverse. Containers keyed by elements key on axElementRef() instead.
    bool isEqual(const Object* other) const override;
    uint64_t hash() const override { return axElementRef_.hash(); }
    // A new wrapper of the receiver's class around the same element.
    virtual std::shared_ptr<SIAccessibilityElement> copy() const;

    const desktop::AXElement& axElementRef() const { return axElementRef_; }

    bool isResizable() const;
    bool isMovable() const;

    std::optional<std::string> stringForKey(const std::string& key) const;
    // The value when it is a number or a boolean (a bool Value or a real Value), else nil.
    Value numberForKey(const std::string& key) const;
    // At most the first 100 values; nullopt when the call fails.
    std::optional<std::vector<desktop::AXElement>> arrayForKey(const std::string& key) const;
    // A plain wrapper around the element the attribute holds; nullptr otherwise.
    std::shared_ptr<SIAccessibilityElement> elementForKey(const std::string& key) const;

    // "AXPosition" and "AXSize"; RectNull when either cannot be read.
    virtual Rect frame() const;
    // setFrame(frame, {25, 25}).
    virtual bool setFrame(const Rect& frame);
    // The size is written only when it changes by at least the threshold in width or
    // in height (and the element is resizable); then the position when it differs; then
    // the size again if it still differs. A rectangle with a non-finite value writes
    // nothing. Answers NO when a write was refused or the rectangle is not finite.
    virtual bool setFrame(const Rect& frame, const Size& threshold);
    // Write only when the value differs from the current frame's (NaN differs).
    bool setPosition(const Point& position);
    bool setSize(const Size& size);

    desktop::Pid processIdentifier() const;

protected:
    desktop::AXElement axElementRef_;
};

using SIAccessibilityElementPtr = std::shared_ptr<SIAccessibilityElement>;

// The one system-wide element (source of "AXFocusedApplication").
class SISystemWideElement : public SIAccessibilityElement {
public:
    using SIAccessibilityElement::SIAccessibilityElement;
    static std::shared_ptr<SISystemWideElement> systemWideElement();
    std::string className() const override { return "SISystemWideElement"; }
    std::vector<std::string> classHierarchy() const override {
        return {"SISystemWideElement", "SIAccessibilityElement", "NSObject"};
    }
    std::shared_ptr<SIAccessibilityElement> copy() const override;
};

// Whether this program can reach other applications' windows at all.
namespace SIUniversalAccessHelper {
bool isAccessibilityTrusted();
bool accessibilityEnabled();
// The alert shown by complainIfNeeded; answers YES for the default button. Installed
// by the interface layer; without it the alert is written to the log.
using AlertPresenter = std::function<bool(const std::string& title, const std::string& message,
                                          const std::string& defaultButton, const std::string& otherButton)>;
void setAlertPresenter(AlertPresenter presenter);
// When not trusted, tells the user that access to other applications is needed.
void complainIfNeeded();
}  // namespace SIUniversalAccessHelper

// The installed accessibility service, or nullptr.
desktop::Accessibility* accessibility();

}  // namespace qs
