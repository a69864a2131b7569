#pragma once
// Menus as the program builds them (NSMenu, NSMenuItem): a model of titled items with an
// image, a state, a tag, a submenu, a represented object, a tool tip, a key equivalent
// and a target/action pair. Nothing is on screen until a menu is shown (MenuPresenter),
// which makes a QMenu of the model at that moment.
//
// An item's action is a named selector bound to a handler, sent to the item's target:
// choosing the item calls the handler with the item as sender. Items also keep
// associated objects under keys, for the helpers that attach state to an item.

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Image.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/Value.h"

namespace qs {

class Menu;
class MenuItem;
using MenuPtr = std::shared_ptr<Menu>;
using MenuItemPtr = std::shared_ptr<MenuItem>;

enum ControlStateValue : int {
    NSControlStateValueMixed = -1,
    NSControlStateValueOff = 0,
    NSControlStateValueOn = 1,
};

// What a menu tells its delegate (NSMenuDelegate).
class MenuDelegate {
public:
    virtual ~MenuDelegate() = default;
    // Just before the menu is shown: the moment to fill it.
    virtual void menuNeedsUpdate(Menu& menu) { (void)menu; }
    virtual void menuWillOpen(Menu& menu) { (void)menu; }
    virtual void menuDidClose(Menu& menu) { (void)menu; }
};

class MenuItem : public Object {
public:
    using Handler = std::function<void(MenuItem& sender)>;
    // A selector ("openWithSelected:") and the code it runs; an empty selector is no action.
    struct Action {
        std::string selector;
        Handler handler;
        bool isNull() const { return selector.empty(); }
    };

    explicit MenuItem(std::string title = "", Action action = {}, std::string keyEquivalent = "");
    static MenuItemPtr separatorItem();

    std::string className() const override { return "NSMenuItem"; }
    std::vector<std::string> classHierarchy() const override { return {"NSMenuItem", "NSObject"}; }
    std::string description() const override;

    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    const ImagePtr& image() const { return image_; }
    void setImage(ImagePtr image) { image_ = std::move(image); }
    int state() const { return state_; }
    void setState(int state) { state_ = state; }
    int64_t tag() const { return tag_; }
    void setTag(int64_t tag) { tag_ = tag; }
    const std::string& toolTip() const { return toolTip_; }
    void setToolTip(std::string toolTip) { toolTip_ = std::move(toolTip); }
    const std::string& keyEquivalent() const { return keyEquivalent_; }
    void setKeyEquivalent(std::string key) { keyEquivalent_ = std::move(key); }
    const Value& representedObject() const { return representedObject_; }
    void setRepresentedObject(Value object) { representedObject_ = std::move(object); }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden) { hidden_ = hidden; }
    bool isSeparatorItem() const { return separator_; }

    const MenuPtr& submenu() const { return submenu_; }
    void setSubmenu(MenuPtr submenu);
    bool hasSubmenu() const { return submenu_ != nullptr; }
    // The menu holding the item; nullptr when it is in none.
    MenuPtr menu() const { return menu_.lock(); }

    // The object the action goes to, compared by identity only.
    const void* target() const { return target_; }
    void setTarget(const void* target) { target_ = target; }
    const Action& action() const { return action_; }
    const std::string& actionSelector() const { return action_.selector; }
    void setAction(Action action) { action_ = std::move(action); }

    // Sends the action as choosing the item does: the handler runs once with the item as
    // sender. NO when the item has no action or no handler.
    bool performAction();

    // Values kept on the item under a key (an empty value removes the key).
    void setAssociatedObject(const std::string& key, std::any value);
    const std::any* associatedObject(const std::string& key) const;

private:
    friend class Menu;
    std::string title_;
    ImagePtr image_;
    int state_ = NSControlStateValueOff;
    int64_t tag_ = 0;
    std::string toolTip_;
    std::string keyEquivalent_;
    Value representedObject_;
    bool enabled_ = true;
    bool hidden_ = false;
    bool separator_ = false;
    MenuPtr submenu_;
    std::weak_ptr<Menu> menu_;
    const void* target_ = nullptr;
    Action action_;
    std::map<std::string, std::any> associated_;
};

class Menu : public Object {
public:
    explicit Menu(std::string title = "");

    std::string className() const override { return "NSMenu"; }
    std::vector<std::string> classHierarchy() const override { return {"NSMenu", "NSObject"}; }

    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }

    const std::vector<MenuItemPtr>& items() const { return items_; }
    size_t numberOfItems() const { return items_.size(); }
    MenuItemPtr itemAtIndex(size_t index) const;
    // -1 when absent.
    long indexOfItem(const MenuItemPtr& item) const;
    long indexOfItemWithTitle(const std::string& title) const;
    MenuItemPtr itemWithTitle(const std::string& title) const;
    MenuItemPtr itemWithTag(int64_t tag) const;

    // An item belongs to one menu at a time: adding one that is in another menu is
    // refused with a log line (NO), as is a null item.
    bool addItem(const MenuItemPtr& item);
    bool insertItem(const MenuItemPtr& item, size_t index);
    MenuItemPtr addItemWithTitle(const std::string& title, MenuItem::Action action = {},
                                 const std::string& keyEquivalent = "");
    void removeItem(const MenuItemPtr& item);
    void removeItemAtIndex(size_t index);
    void removeAllItems();

    // With automatic enabling (the default) an item is enabled when it has an action or
    // a submenu; without, its own enabled flag counts.
    bool autoenablesItems() const { return autoenables_; }
    void setAutoenablesItems(bool autoenables) { autoenables_ = autoenables; }
    bool isItemEnabled(const MenuItem& item) const;

    std::shared_ptr<MenuDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<MenuDelegate>& delegate) { delegate_ = delegate; }
    // The menu whose item holds this one as submenu; nullptr for a top menu.
    MenuPtr supermenu() const { return supermenu_.lock(); }

    // Asks the delegate to fill the menu (menuNeedsUpdate), as showing the menu does.
    void update();
    // Chooses the item at the index: its action runs when it is enabled. NO otherwise.
    bool performActionForItemAtIndex(size_t index);

private:
    friend class MenuItem;
    std::string title_;
    std::vector<MenuItemPtr> items_;
    bool autoenables_ = true;
    std::weak_ptr<MenuDelegate> delegate_;
    std::weak_ptr<Menu> supermenu_;
};

}  // namespace qs
