#pragma once
// A named group of file items shown as one dock item with its own icon. Renaming it,
// changing its icon and adding or removing members save the whole dock ("saveDocksData").
// Archived under "name", "icon" and "items" (the members themselves).

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Image.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/URL.h"

namespace qs {

class GroupModel : public Object, public Coding {
public:
    // A new group (init): no members, name "New Group", the "Group" image. Its setters
    // post "saveDocksData" twice while it is built.
    static std::shared_ptr<GroupModel> create();
    // A missing "items" decodes as an empty list, so later drops are kept.
    static std::shared_ptr<GroupModel> initWithCoder(Coder& coder);

    std::string className() const override { return "GroupModel"; }
    std::vector<std::string> classHierarchy() const override { return {"GroupModel", "NSObject"}; }
    void encodeWithCoder(Coder& coder) const override;

    const std::string& name() const { return name_; }
    // Announces "name" and "localizedName", then posts "saveDocksData".
    void setName(std::string name);
    const std::string& localizedName() const { return name_; }
    const ImagePtr& icon() const { return icon_; }
    // Announces "icon", then posts "saveDocksData".
    void setIcon(ImagePtr icon);
    void resetIcon();

    // The members (file items), in the order added. Observable as "items".
    const Array& items() const { return items_; }
    void setItems(Array items);
    // Appends when no equal member is there; saves in every case.
    void addObject(const ObjectPtr& item);
    // Removes the equal member when there is one; saves in every case.
    void removeObject(const ObjectPtr& item);
    // Files dropped on the group: one file item per URL, in order, through addObject.
    void prcessFiles(const std::vector<URLPtr>& urls);

    Value valueForKey(const std::string& key) const override;

private:
    std::string name_;
    ImagePtr icon_;
    Array items_;
};

using GroupModelPtr = std::shared_ptr<GroupModel>;

}  // namespace qs
