#include "core/Separator.h"

namespace qs {

namespace {
const bool registered = registerCodingClass<Separator>("Separator");
}

std::shared_ptr<Separator> Separator::create() {
    (void)registered;
    return std::make_shared<Separator>();
}

std::shared_ptr<Separator> Separator::initWithCoder(Coder& coder) {
    auto separator = std::make_shared<Separator>();
    separator->setName(coder.decodeObjectForKey("name").stringValue());
    return separator;
}

void Separator::encodeWithCoder(Coder& coder) const { coder.encodeObject(Value(name_), "name"); }

Value Separator::valueForKey(const std::string& key) const {
    if (key == "name") return Value(name_);
    if (key == "localizedName") return localizedName();
    if (key == "icon") return icon_ ? Value(icon_) : Value();
    return Object::valueForKey(key);
}

}  // namespace qs
