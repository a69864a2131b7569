#pragma once
// The dock's one ordered list of items (panelContent) and its block list (blackList),
// archived under "persistent" and "blackList". This holds the list, its set-up and its
// archive; the editing operations and the running applications build on it.

#include <memory>
#include <string>

#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/Object.h"

namespace qs {

class DockModel : public Object, public Coding {
public:
    // A new model (init): empty lists, then setUpModel.
    static std::shared_ptr<DockModel> create();
    // The archived model: the stored items in their stored order, then setUpModel.
    static std::shared_ptr<DockModel> initWithCoder(Coder& coder);

    std::string className() const override { return "DockModel"; }
    std::vector<std::string> classHierarchy() const override { return {"DockModel", "NSObject"}; }
    void encodeWithCoder(Coder& coder) const override;

    const Array& panelContent() const { return panelContent_; }
    void setPanelContent(Array content);
    const Array& blackList() const { return blackList_; }
    void setBlackList(Array list);
    const Array& persistentContent() const { return persistentContent_; }
    bool finishedStartActions() const { return finishedStartActions_; }

    // Writes "enableStartMenu", "enableTrash" and "sortOrder" when absent.
    void createDefaultsValue();
    void setUpModel();

    Value valueForKey(const std::string& key) const override;

private:
    void loadPersistentObjects(const Array& stored);

    Array persistentContent_;
    bool finishedStartActions_ = false;
    Array panelContent_;
    Array blackList_;
};

}  // namespace qs
