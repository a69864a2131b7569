#include "core/GroupModel.h"

#include "core/FileSystemNode.h"
#include "core/ItemImages.h"
#include "platform/foundation/NotificationCenter.h"

namespace qs {

namespace {
const bool registered = registerCodingClass<GroupModel>("GroupModel");

void saveDocks() { NotificationCenter::defaultCenter().postNotificationName("saveDocksData"); }

long indexOfEqual(const Array& items, const Object* item) {
    for (size_t i = 0; i < items.size(); ++i) {
        auto object = items[i].object();
        if (object && (object.get() == item || object->isEqual(item))) return long(i);
    }
    return -1;
}
}  // namespace

std::shared_ptr<GroupModel> GroupModel::create() {
    (void)registered;
    auto group = std::make_shared<GroupModel>();
    group->setName("New Group");
    group->setIcon(imageNamed("Group"));
    return group;
}

std::shared_ptr<GroupModel> GroupModel::initWithCoder(Coder& coder) {
    auto group = std::make_shared<GroupModel>();
    Value name = coder.decodeObjectForKey("name");
    group->setName(name.isString() ? *name.string() : std::string());
    group->setIcon(coder.decodeObjectForKey("icon").objectAs<Image>());
    Array members;
    Value stored = coder.decodeObjectForKey("items");
    if (const Array* decoded = stored.array()) {
        for (const Value& member : *decoded)
            if (member.object()) members.push_back(member);
    }
    group->setItems(std::move(members));
    return group;
}

void GroupModel::encodeWithCoder(Coder& coder) const {
    coder.encodeObject(Value(name_), "name");
    coder.encodeObject(icon_ ? Value(icon_) : Value(), "icon");
    coder.encodeObject(Value(items_), "items");
}

void GroupModel::setName(std::string name) {
    willChangeValueForKey("name");
    willChangeValueForKey("localizedName");
    name_ = std::move(name);
    didChangeValueForKey("localizedName");
    didChangeValueForKey("name");
    saveDocks();
}

void GroupModel::setIcon(ImagePtr icon) {
    willChangeValueForKey("icon");
    icon_ = std::move(icon);
    didChangeValueForKey("icon");
    saveDocks();
}

void GroupModel::resetIcon() { setIcon(imageNamed("Group")); }

void GroupModel::setItems(Array items) {
    willChangeValueForKey("items");
    items_ = std::move(items);
    didChangeValueForKey("items");
}

void GroupModel::addObject(const ObjectPtr& item) {
    if (item && indexOfEqual(items_, item.get()) < 0) {
        willChangeValueForKey("items");
        items_.push_back(Value(item));
        didChangeValueForKey("items");
    }
    saveDocks();
}

void GroupModel::removeObject(const ObjectPtr& item) {
    long i = item ? indexOfEqual(items_, item.get()) : -1;
    if (i >= 0) {
        willChangeValueForKey("items");
        items_.erase(items_.begin() + i);
        didChangeValueForKey("items");
    }
    saveDocks();
}

void GroupModel::prcessFiles(const std::vector<URLPtr>& urls) {
    for (const auto& url : urls) {
        if (!url) continue;
        if (auto node = FileSystemNode::initWithURL(url)) addObject(node);
    }
}

Value GroupModel::valueForKey(const std::string& key) const {
    if (key == "name" || key == "localizedName") return Value(name_);
    if (key == "icon") return icon_ ? Value(icon_) : Value();
    if (key == "items") return Value(items_);
    return Object::valueForKey(key);
}

}  // namespace qs
