#include "core/DockModel.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"

namespace qs {

namespace {
const bool registered = registerCodingClass<DockModel>("DockModel");

// The kinds of item that are stored in the archive as themselves.
bool isArchivedKind(const std::string& name) {
    return name == "FileSystemNode" || name == "GroupModel" || name == "TrashModel" || name == "MenuModel" ||
           name == "Separator";
}
}  // namespace

std::shared_ptr<DockModel> DockModel::create() {
    auto model = std::make_shared<DockModel>();
    model->setUpModel();
    return model;
}

std::shared_ptr<DockModel> DockModel::initWithCoder(Coder& coder) {
    (void)registered;
    auto model = std::make_shared<DockModel>();
    Value stored = coder.decodeObjectForKey("persistent");
    Value blackList = coder.decodeObjectForKey("blackList");
    if (blackList.array()) model->blackList_ = *blackList.array();
    if (stored.array() && !stored.array()->empty()) model->loadPersistentObjects(*stored.array());
    model->setUpModel();
    return model;
}

void DockModel::loadPersistentObjects(const Array& stored) {
    persistentContent_ = stored;
    Array items;
    for (const Value& item : stored) {
        auto object = item.object();
        if (!object) {
            log("-[DockModel loadPersistentObjects:] a stored item that cannot be read was left out");
            continue;
        }
        if (object->className() == "MenuModel" && !UserDefaults::standardUserDefaults().boolForKey("enableStartMenu"))
            continue;
        items.push_back(item);
    }
    setPanelContent(std::move(items));
}

void DockModel::encodeWithCoder(Coder& coder) const {
    Array stored;
    for (const Value& item : panelContent_) {
        auto object = item.object();
        if (object && isArchivedKind(object->className())) stored.push_back(item);
    }
    coder.encodeObject(Value(std::move(stored)), "persistent");
    coder.encodeObject(Value(blackList_), "blackList");
}

void DockModel::setPanelContent(Array content) {
    willChangeValueForKey("panelContent");
    panelContent_ = std::move(content);
    didChangeValueForKey("panelContent");
}

void DockModel::setBlackList(Array list) {
    willChangeValueForKey("blackList");
    blackList_ = std::move(list);
    didChangeValueForKey("blackList");
}

void DockModel::createDefaultsValue() {
    auto& defaults = UserDefaults::standardUserDefaults();
    const std::pair<const char*, Value> table[] = {
        {"enableStartMenu", Value(true)}, {"enableTrash", Value(true)}, {"sortOrder", Value(0)}};
    for (const auto& [key, value] : table) {
        if (!defaults.valueForKey(key).isNil()) continue;
        defaults.setObject(value, key);
        defaults.synchronize();
    }
}

void DockModel::setUpModel() {
    createDefaultsValue();
    finishedStartActions_ = true;
}

Value DockModel::valueForKey(const std::string& key) const {
    if (key == "panelContent") return Value(panelContent_);
    if (key == "blackList") return Value(blackList_);
    return Object::valueForKey(key);
}

}  // namespace qs
