#include "tracking/SIAccessibilityElement.h"

#include <cmath>
#include <mutex>

#include "platform/desktop/Desktop.h"
#include "platform/foundation/Log.h"

namespace qs {

desktop::Accessibility* accessibility() { return desktop::services().accessibility.get(); }

namespace {
constexpr size_t kArrayLimit = 100;

bool finite(const Rect& r) {
    return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) &&
           std::isfinite(r.size.height);
}
}  // namespace

std::shared_ptr<SIAccessibilityElement> SIAccessibilityElement::initWithAXElement(const desktop::AXElement& element) {
    return std::make_shared<SIAccessibilityElement>(element);
}

std::string SIAccessibilityElement::description() const {
    auto title = stringForKey(desktop::kAXTitleAttribute);
    return Object::description() + " <Title: " + (title ? *title : std::string("(null)")) +
           "> <pid: " + std::to_string(processIdentifier()) + ">";
}

bool SIAccessibilityElement::isEqual(const Object* other) const {
    auto* element = dynamic_cast<const SIAccessibilityElement*>(other);
    return element && element->isKindOfClass(className()) && element->axElementRef_ == axElementRef_;
}

std::shared_ptr<SIAccessibilityElement> SIAccessibilityElement::copy() const {
    return std::make_shared<SIAccessibilityElement>(axElementRef_);
}

bool SIAccessibilityElement::isResizable() const {
    auto* ax = accessibility();
    if (!ax) return false;
    return ax->isAttributeSettable(axElementRef_, desktop::kAXSizeAttribute).value_or(false);
}

bool SIAccessibilityElement::isMovable() const {
    auto* ax = accessibility();
    if (!ax) return false;
    return ax->isAttributeSettable(axElementRef_, desktop::kAXPositionAttribute).value_or(false);
}

std::optional<std::string> SIAccessibilityElement::stringForKey(const std::string& key) const {
    auto* ax = accessibility();
    if (!ax) return std::nullopt;
    auto value = ax->copyAttributeValue(axElementRef_, key);
    if (!value) return std::nullopt;
    if (auto* s = std::get_if<std::string>(&*value)) return *s;
    return std::nullopt;
}

Value SIAccessibilityElement::numberForKey(const std::string& key) const {
    auto* ax = accessibility();
    if (!ax) return {};
    auto value = ax->copyAttributeValue(axElementRef_, key);
    if (!value) return {};
    if (auto* b = std::get_if<bool>(&*value)) return Value(*b);
    if (auto* d = std::get_if<double>(&*value)) return Value(*d);
    return {};
}

std::optional<std::vector<desktop::AXElement>> SIAccessibilityElement::arrayForKey(const std::string& key) const {
    auto* ax = accessibility();
    if (!ax) return std::nullopt;
    auto values = ax->copyAttributeValues(axElementRef_, key, 0, kArrayLimit);
    if (values && values->size() > kArrayLimit) values->resize(kArrayLimit);
    return values;
}

std::shared_ptr<SIAccessibilityElement> SIAccessibilityElement::elementForKey(const std::string& key) const {
    auto* ax = accessibility();
    if (!ax) return nullptr;
    auto value = ax->copyAttributeValue(axElementRef_, key);
    if (!value) return nullptr;
    if (auto* e = std::get_if<desktop::AXElement>(&*value)) return std::make_shared<SIAccessibilityElement>(*e);
    return nullptr;
}

Rect SIAccessibilityElement::frame() const {
    auto* ax = accessibility();
    if (!ax) return RectNull;
    auto position = ax->copyAttributeValue(axElementRef_, desktop::kAXPositionAttribute);
    auto size = ax->copyAttributeValue(axElementRef_, desktop::kAXSizeAttribute);
    if (!position || !size) return RectNull;
    auto* p = std::get_if<Point>(&*position);
    auto* s = std::get_if<Size>(&*size);
    if (!p || !s) return RectNull;
    return {*p, *s};
}

bool SIAccessibilityElement::setFrame(const Rect& frame) { return setFrame(frame, MakeSize(25, 25)); }

bool SIAccessibilityElement::setFrame(const Rect& requested, const Size& threshold) {
    // A rectangle of NaN or infinite values (an unplaceable position, a window with no
    // frame) would be handed to the window manager as it stands: refuse it.
    if (!finite(requested)) return false;
    Rect current = frame();
    bool ok = true;
    bool sizeWritten = false;
    if (isResizable() && (std::fabs(requested.size.width - current.size.width) >= threshold.width ||
                          std::fabs(requested.size.height - current.size.height) >= threshold.height)) {
        ok = setSize(requested.size) && ok;
        sizeWritten = true;
    }
    if (requested.origin.x != current.origin.x || requested.origin.y != current.origin.y)
        ok = setPosition(requested.origin) && ok;
    if (sizeWritten) ok = setSize(requested.size) && ok;
    return ok;
}

bool SIAccessibilityElement::setPosition(const Point& position) {
    auto* ax = accessibility();
    if (!ax) return false;
    Rect current = frame();
    if (position.x != current.origin.x || position.y != current.origin.y)
        return ax->setAttributeValue(axElementRef_, desktop::kAXPositionAttribute, position);
    return true;
}

bool SIAccessibilityElement::setSize(const Size& size) {
    auto* ax = accessibility();
    if (!ax) return false;
    Rect current = frame();
    if (size.width != current.size.width || size.height != current.size.height)
        return ax->setAttributeValue(axElementRef_, desktop::kAXSizeAttribute, size);
    return true;
}

desktop::Pid SIAccessibilityElement::processIdentifier() const {
    auto* ax = accessibility();
    return ax ? ax->pid(axElementRef_) : -1;
}

std::shared_ptr<SISystemWideElement> SISystemWideElement::systemWideElement() {
    static std::once_flag once;
    static std::shared_ptr<SISystemWideElement> shared;
    std::call_once(once, [] { shared = std::make_shared<SISystemWideElement>(desktop::AXElement::systemWide()); });
    return shared;
}

std::shared_ptr<SIAccessibilityElement> SISystemWideElement::copy() const {
    return std::make_shared<SISystemWideElement>(axElementRef_);
}

namespace SIUniversalAccessHelper {

namespace {
AlertPresenter& presenter() {
    static AlertPresenter installed;
    return installed;
}
}  // namespace

bool isAccessibilityTrusted() {
    auto* ax = accessibility();
    return ax && ax->isProcessTrusted();
}

bool accessibilityEnabled() {
    auto* ax = accessibility();
    return ax && ax->apiEnabled();
}

void setAlertPresenter(AlertPresenter p) { presenter() = std::move(p); }

void complainIfNeeded() {
    if (isAccessibilityTrusted()) return;
    const std::string name = "Quayside";
    std::string title = name + " Requires Universal Access";
    std::string message = "For " + name +
                          " to function properly, access for assistive devices must be enabled first.\n\n"
                          "To enable this feature, click \"Enable access for assistive devices\" in the Universal "
                          "Access pane of System Preferences.";
    if (presenter()) {
        // The default button would open a preferences pane that this desktop does not
        // have; the answer changes nothing.
        presenter()(title, message, "Open Universal Access", "Dismiss");
    } else {
        log(title, ": ", message);
    }
}

}  // namespace SIUniversalAccessHelper

}  // namespace qs
