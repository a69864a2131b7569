#include "core/BlacklistItem.h"

namespace qs {

namespace {
const bool registered = registerCodingClass<BlacklistItem>("BlacklistItem");

// Decoded strings may be absent (nil) or, in an old or edited archive, of another type.
std::string stringOrEmpty(const Value& v) { return v.isString() ? *v.string() : std::string(); }
}  // namespace

std::shared_ptr<BlacklistItem> BlacklistItem::initWithCoder(Coder& coder) {
    (void)registered;
    auto item = create();
    item->setLocalizedName(stringOrEmpty(coder.decodeObjectForKey("localizedName")));
    item->setBundleURL(coder.decodeObjectForKey("bundleURL").objectAs<URL>());
    item->setIcon(coder.decodeObjectForKey("icon").objectAs<Image>());
    item->setBundleIdentifier(stringOrEmpty(coder.decodeObjectForKey("bundleIdentifier")));
    return item;
}

void BlacklistItem::encodeWithCoder(Coder& coder) const {
    coder.encodeObject(Value(localizedName_), "localizedName");
    coder.encodeObject(bundleURL_ ? Value(bundleURL_) : Value(), "bundleURL");
    coder.encodeObject(icon_ ? Value(icon_) : Value(), "icon");
    coder.encodeObject(bundleIdentifier_.empty() ? Value() : Value(bundleIdentifier_), "bundleIdentifier");
}

uint64_t BlacklistItem::hash() const {
    return bundleURL_ ? bundleURL_->hash() : stableHash(localizedName_);
}

bool BlacklistItem::isEqual(const Object* other) const {
    if (other == this) return true;
    auto entry = dynamic_cast<const BlacklistItem*>(other);
    if (!entry || hash() != entry->hash()) return false;
    if (bundleURL_ || entry->bundleURL_)
        return bundleURL_ && entry->bundleURL_ && bundleURL_->isEqual(entry->bundleURL_.get());
    return localizedName_ == entry->localizedName_;
}

Value BlacklistItem::valueForKey(const std::string& key) const {
    if (key == "localizedName") return Value(localizedName_);
    if (key == "bundleURL") return bundleURL_ ? Value(bundleURL_) : Value();
    if (key == "icon") return icon_ ? Value(icon_) : Value();
    if (key == "bundleIdentifier") return bundleIdentifier_.empty() ? Value() : Value(bundleIdentifier_);
    return Object::valueForKey(key);
}

std::string BlacklistItem::description() const {
    return "<BlacklistItem " + localizedName_ + (bundleURL_ ? " " + bundleURL_->absoluteString() : "") + ">";
}

}  // namespace qs
