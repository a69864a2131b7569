#include "dock_ui/Inspectors.h"

#include "platform/foundation/Log.h"

namespace qs::Inspectors {

namespace {
InspectorMaker& itemMaker() {
    static InspectorMaker maker;
    return maker;
}
InspectorMaker& groupMaker() {
    static InspectorMaker maker;
    return maker;
}
std::shared_ptr<InspectorWindow> make(const InspectorMaker& maker, const char* what) {
    if (!maker) {
        log("no ", what, " inspector is available");
        return nullptr;
    }
    return maker();
}
}  // namespace

void setItemInspectorMaker(InspectorMaker maker) { itemMaker() = std::move(maker); }
void setGroupInspectorMaker(InspectorMaker maker) { groupMaker() = std::move(maker); }
std::shared_ptr<InspectorWindow> makeItemInspector() { return make(itemMaker(), "item"); }
std::shared_ptr<InspectorWindow> makeGroupInspector() { return make(groupMaker(), "group"); }

}  // namespace qs::Inspectors
