#pragma once
// One entry of the block list: an application that never appears in the dock. Its hash
// is the bundle URL's (the name's when there is no bundle URL). Two entries are equal
// when they name the same bundle URL, or, both lacking one, the same name: comparing the
// hashes alone would let two applications whose hashes collide block each other.

#include <memory>
#include <string>

#include "platform/foundation/Image.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/URL.h"

namespace qs {

class BlacklistItem : public Object, public Coding {
public:
    static std::shared_ptr<BlacklistItem> create() { return std::make_shared<BlacklistItem>(); }
    static std::shared_ptr<BlacklistItem> initWithCoder(Coder& coder);

    std::string className() const override { return "BlacklistItem"; }
    std::vector<std::string> classHierarchy() const override { return {"BlacklistItem", "NSObject"}; }
    void encodeWithCoder(Coder& coder) const override;

    bool isEqual(const Object* other) const override;
    uint64_t hash() const override;

    const std::string& localizedName() const { return localizedName_; }
    void setLocalizedName(std::string name) { localizedName_ = std::move(name); }
    const URLPtr& bundleURL() const { return bundleURL_; }
    void setBundleURL(URLPtr url) { bundleURL_ = std::move(url); }
    const ImagePtr& icon() const { return icon_; }
    void setIcon(ImagePtr icon) { icon_ = std::move(icon); }
    // "" when unknown.
    const std::string& bundleIdentifier() const { return bundleIdentifier_; }
    void setBundleIdentifier(std::string identifier) { bundleIdentifier_ = std::move(identifier); }

    Value valueForKey(const std::string& key) const override;
    std::string description() const override;

private:
    std::string localizedName_;
    URLPtr bundleURL_;
    ImagePtr icon_;
    std::string bundleIdentifier_;
};

using BlacklistItemPtr = std::shared_ptr<BlacklistItem>;

}  // namespace qs
