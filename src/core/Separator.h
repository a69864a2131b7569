#pragma once
// An empty dock item that the panel draws as a gap or a line. Separators are equal only
// to themselves, so any number of them can stand in the dock. Archived under "name".

#include <memory>
#include <string>

#include "platform/foundation/Image.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/Object.h"

namespace qs {

class Separator : public Object, public Coding {
public:
    // A new separator: empty name, no icon.
    static std::shared_ptr<Separator> create();
    static std::shared_ptr<Separator> initWithCoder(Coder& coder);

    std::string className() const override { return "Separator"; }
    std::vector<std::string> classHierarchy() const override { return {"Separator", "NSObject"}; }
    void encodeWithCoder(Coder& coder) const override;

    // Plain accessors: no announcements, no saving.
    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    // Never set: always nil.
    Value localizedName() const { return {}; }
    const ImagePtr& icon() const { return icon_; }
    void setIcon(ImagePtr icon) { icon_ = std::move(icon); }

    Value valueForKey(const std::string& key) const override;

private:
    std::string name_;
    ImagePtr icon_;
};

using SeparatorPtr = std::shared_ptr<Separator>;

}  // namespace qs
