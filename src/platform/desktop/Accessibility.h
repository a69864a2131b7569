#pragma once
// Accessibility elements of other applications: applications, their windows and the
// window buttons, reached through typed attribute reads and writes, actions and
// observers. Attribute, action and notification names are the accessibility
// interface's own ("AXTitle", "AXPress", "AXWindowCreated", ...).
//
// Coordinates of "AXPosition" and "AXSize" are accessibility coordinates: X root
// coordinates, top-left origin, y down. Every read answers empty (std::nullopt, -1, 0)
// when it fails; a window that has gone away is normal and answers empty too.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/foundation/Geometry.h"

namespace qs::desktop {

using Pid = int32_t;
using WindowNumber = uint32_t;

// A value handle of one element. Two handles of the same element compare equal. A
// window handle remembers the process that owned the window, so the owner is known
// even after the window is gone.
struct AXElement {
    enum class Kind : uint8_t { SystemWide, Application, Window, CloseButton, ZoomButton };
    Kind kind = Kind::SystemWide;
    Pid pid = -1;            // the owning process (-1 unknown, and for the system-wide element)
    WindowNumber window = 0;  // the window of Window and button handles

    bool operator==(const AXElement&) const = default;
    uint64_t hash() const;

    static AXElement systemWide() { return {}; }
    static AXElement application(Pid pid) { return {Kind::Application, pid, 0}; }
    static AXElement windowOf(Pid pid, WindowNumber window) { return {Kind::Window, pid, window}; }
};

using AXValue = std::variant<std::monostate, std::string, double, bool, Point, Size, AXElement,
                             std::vector<AXElement>>;

// Attribute, action and notification names used by the wrappers.
inline constexpr const char* kAXTitleAttribute = "AXTitle";
inline constexpr const char* kAXRoleAttribute = "AXRole";
inline constexpr const char* kAXSubroleAttribute = "AXSubrole";
inline constexpr const char* kAXPositionAttribute = "AXPosition";
inline constexpr const char* kAXSizeAttribute = "AXSize";
inline constexpr const char* kAXWindowsAttribute = "AXWindows";
inline constexpr const char* kAXHiddenAttribute = "AXHidden";
inline constexpr const char* kAXMinimizedAttribute = "AXMinimized";
inline constexpr const char* kAXMainAttribute = "AXMain";
inline constexpr const char* kAXParentAttribute = "AXParent";
inline constexpr const char* kAXFocusedApplicationAttribute = "AXFocusedApplication";
inline constexpr const char* kAXFocusedWindowAttribute = "AXFocusedWindow";
inline constexpr const char* kAXCloseButtonAttribute = "AXCloseButton";
inline constexpr const char* kAXZoomButtonAttribute = "AXZoomButton";
inline constexpr const char* kAXPressAction = "AXPress";
inline constexpr const char* kAXStandardWindowSubrole = "AXStandardWindow";
inline constexpr const char* kAXDialogSubrole = "AXDialog";
inline constexpr const char* kAXFloatingWindowSubrole = "AXFloatingWindow";
inline constexpr const char* kAXUnknownSubrole = "AXUnknown";
inline constexpr const char* kAXWindowRole = "AXWindow";
inline constexpr const char* kAXSheetRole = "AXSheet";
inline constexpr const char* kAXButtonRole = "AXButton";
inline constexpr const char* kAXApplicationRole = "AXApplication";
inline constexpr const char* kAXWindowCreatedNotification = "AXWindowCreated";
inline constexpr const char* kAXUIElementDestroyedNotification = "AXUIElementDestroyed";
inline constexpr const char* kAXWindowMiniaturizedNotification = "AXWindowMiniaturized";
inline constexpr const char* kAXWindowDeminiaturizedNotification = "AXWindowDeminiaturized";
inline constexpr const char* kAXWindowResizedNotification = "AXWindowResized";
inline constexpr const char* kAXWindowMovedNotification = "AXWindowMoved";
inline constexpr const char* kAXFocusedWindowChangedNotification = "AXFocusedWindowChanged";
inline constexpr const char* kAXApplicationActivatedNotification = "AXApplicationActivated";
inline constexpr const char* kAXTitleChangedNotification = "AXTitleChanged";

// Notifications of one application's elements, delivered on the main thread.
class AXObserver {
public:
    using Callback = std::function<void(const AXElement& element, const std::string& notification, void* context)>;
    virtual ~AXObserver() = default;
    // Registers `notification` of `element`; the same pair may be registered more than
    // once and each registration is delivered with its own context. NO for an element
    // that is gone.
    virtual bool addNotification(const AXElement& element, const std::string& notification, void* context) = 0;
    // Removes every registration of the pair; NO when there was none.
    virtual bool removeNotification(const AXElement& element, const std::string& notification) = 0;
};

class Accessibility {
public:
    virtual ~Accessibility() = default;

    virtual std::optional<AXValue> copyAttributeValue(const AXElement& element, const std::string& attribute) = 0;
    // The values of an array attribute from `index`, at most `maxCount` of them.
    virtual std::optional<std::vector<AXElement>> copyAttributeValues(const AXElement& element,
                                                                      const std::string& attribute, size_t index,
                                                                      size_t maxCount) = 0;
    virtual std::optional<bool> isAttributeSettable(const AXElement& element, const std::string& attribute) = 0;
    virtual bool setAttributeValue(const AXElement& element, const std::string& attribute, const AXValue& value) = 0;
    virtual bool performAction(const AXElement& element, const std::string& action) = 0;
    // The owning process; -1 when the process is gone or cannot be told.
    virtual Pid pid(const AXElement& element) = 0;
    // The window number of a window element; 0 for any other element.
    virtual WindowNumber windowNumber(const AXElement& element) = 0;
    // Whether other applications can be reached at all (an EWMH window manager runs).
    virtual bool isProcessTrusted() = 0;
    virtual bool apiEnabled() = 0;
    // nullptr when no observer can be made for the process.
    virtual std::unique_ptr<AXObserver> createObserver(Pid pid, AXObserver::Callback callback) = 0;
};

}  // namespace qs::desktop
