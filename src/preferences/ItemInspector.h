#pragma once
// The item inspector: the window where the user gives a dock item (a file item, a
// running application) an icon of their own, or takes it away again.
//
// The window comes from the interface file named after the class. Its image well shows
// the item's custom icon and is bound to it: an image placed in the well (chosen with
// "Choose...", or an image file dropped on it) becomes the item's custom icon, which is
// stored at once and announced as the item's "icon", so the dock cell redraws. "Reset"
// takes the custom icon away and empties the well.
//
// The window says which item it is for: the item's name above the well and in the
// title. While the item has no icon of its own the well shows as an empty well with a
// hint.
//
// A chosen or dropped file that is no usable image changes nothing (a log line says
// why). Items that take no custom icon (groups, the trash, the start menu, separators)
// only get their well emptied.

#include <memory>
#include <string>

#include "dock_ui/Inspectors.h"
#include "platform/foundation/Image.h"
#include "platform/foundation/Object.h"

namespace Ui {
class ItemInspector;
}

namespace qs {

class CustomIconImageView;
class InspectorWindowWidget;
class KeyValueAdapter;
class OpenPanel;

class ItemInspector : public Object, public InspectorWindow {
public:
    // init: the window is loaded from the interface file when first needed.
    static std::shared_ptr<ItemInspector> create();
    ItemInspector();
    ~ItemInspector() override;

    std::string className() const override { return "ItemInspector"; }

    QWidget* window();
    bool isWindowLoaded() const { return window_ != nullptr; }

    const Value& model() const { return model_; }
    // Announces "model" and "modelIcon": the well follows the new item.
    void setModel(const Value& item) override;
    void orderFront() override;

    CustomIconImageView* imageView() const;
    void setImageView(CustomIconImageView* view);

    // The name of the item inspected ("" when none).
    std::string itemName() const;

    // Actions: the choose-icon panel, then the chosen image into the well; the reset.
    void loadIcon();
    void resetAction();

    // "model"; "modelIcon": an object whose "icon" is the item's custom icon (nil for
    // none), set through the item's custom-icon setter (what the well is bound to).
    Value valueForKey(const std::string& key) const override;

    // The custom-icon accessors of the kinds of item that have one.
    static bool answersClearCustomIcon(const Object* item);
    static ImagePtr customIconOf(const Object* item);
    // With nullptr: clears. Logs and does nothing for an item that takes no custom icon.
    static void setCustomIconOf(Object* item, ImagePtr icon);
    static void clearCustomIconOf(Object* item);

private:
    void showWhichItem();

    Value model_;
    std::shared_ptr<KeyValueAdapter> modelIcon_;
    CustomIconImageView* imageView_ = nullptr;
    std::unique_ptr<Ui::ItemInspector> ui_;
    std::unique_ptr<InspectorWindowWidget> window_;
    std::weak_ptr<OpenPanel> panel_;
};

// Registers the item and group inspectors with the dock (Inspectors).
void installInspectors();

}  // namespace qs
