#pragma once
// The inspector windows the dock opens on an item (its custom icon) and on a group (its
// name and icon). They belong to the preferences layer, which sits above the dock
// interface: it registers how to make them at start-up, and the dock asks for one here.
// Without a registered maker the dock simply has no inspector (a log line says so).
//
// Main thread only.

#include <functional>
#include <memory>

#include "platform/foundation/Value.h"

namespace qs {

class InspectorWindow {
public:
    virtual ~InspectorWindow() = default;
    // The item (a FileSystemNode, running application, group...) the window shows.
    virtual void setModel(const Value& item) = 0;
    // Puts the window on screen and in front.
    virtual void orderFront() = 0;
};

using InspectorMaker = std::function<std::shared_ptr<InspectorWindow>()>;

namespace Inspectors {
void setItemInspectorMaker(InspectorMaker maker);
void setGroupInspectorMaker(InspectorMaker maker);
// A new inspector window, or nullptr when none is registered.
std::shared_ptr<InspectorWindow> makeItemInspector();
std::shared_ptr<InspectorWindow> makeGroupInspector();
}  // namespace Inspectors

}  // namespace qs
