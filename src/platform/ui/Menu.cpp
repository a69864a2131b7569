#include "platform/ui/Menu.h"

#include <algorithm>

#include "platform/foundation/Log.h"

namespace qs {

namespace {
std::shared_ptr<Menu> selfOf(Menu& menu) {
    return std::static_pointer_cast<Menu>(menu.weak_from_this().lock());
}
}  // namespace

// MenuItem ------------------------------------------------------------------------------

MenuItem::MenuItem(std::string title, Action action, std::string keyEquivalent)
    : title_(std::move(title)), keyEquivalent_(std::move(keyEquivalent)), action_(std::move(action)) {}

MenuItemPtr MenuItem::separatorItem() {
    auto item = std::make_shared<MenuItem>();
    item->separator_ = true;
    item->enabled_ = false;
    return item;
}

std::string MenuItem::description() const {
    if (separator_) return "<NSMenuItem separator>";
    return "<NSMenuItem \"" + title_ + "\"" + (action_.isNull() ? "" : " " + action_.selector) + ">";
}

void MenuItem::setSubmenu(MenuPtr submenu) {
    if (submenu_) submenu_->supermenu_.reset();
    submenu_ = std::move(submenu);
    if (submenu_) submenu_->supermenu_ = menu_;
}

bool MenuItem::performAction() {
    if (action_.isNull() || !action_.handler) return false;
    // A copy: the handler may give the item another action while it runs.
    Handler handler = action_.handler;
    handler(*this);
    return true;
}

void MenuItem::setAssociatedObject(const std::string& key, std::any value) {
    if (!value.has_value())
        associated_.erase(key);
    else
        associated_[key] = std::move(value);
}

const std::any* MenuItem::associatedObject(const std::string& key) const {
    auto it = associated_.find(key);
    return it == associated_.end() ? nullptr : &it->second;
}

// Menu ----------------------------------------------------------------------------------

Menu::Menu(std::string title) : title_(std::move(title)) {}

MenuItemPtr Menu::itemAtIndex(size_t index) const { return index < items_.size() ? items_[index] : nullptr; }

long Menu::indexOfItem(const MenuItemPtr& item) const {
    auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : long(it - items_.begin());
}

long Menu::indexOfItemWithTitle(const std::string& title) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (!items_[i]->separator_ && items_[i]->title_ == title) return long(i);
    return -1;
}

MenuItemPtr Menu::itemWithTitle(const std::string& title) const {
    long i = indexOfItemWithTitle(title);
    return i < 0 ? nullptr : items_[size_t(i)];
}

MenuItemPtr Menu::itemWithTag(int64_t tag) const {
    for (const auto& item : items_)
        if (item->tag_ == tag) return item;
    return nullptr;
}

bool Menu::addItem(const MenuItemPtr& item) { return insertItem(item, items_.size()); }

bool Menu::insertItem(const MenuItemPtr& item, size_t index) {
    if (!item) {
        log("a menu was given no item to add");
        return false;
    }
    auto owner = item->menu_.lock();
    if (owner || std::find(items_.begin(), items_.end(), item) != items_.end()) {
        log("the menu item \"", item->title_, "\" is already in a menu; not added again");
        return false;
    }
    items_.insert(items_.begin() + long(std::min(index, items_.size())), item);
    auto self = selfOf(*this);
    item->menu_ = self;
    if (item->submenu_) item->submenu_->supermenu_ = self;
    return true;
}

MenuItemPtr Menu::addItemWithTitle(const std::string& title, MenuItem::Action action, const std::string& keyEquivalent) {
    auto item = std::make_shared<MenuItem>(title, std::move(action), keyEquivalent);
    addItem(item);
    return item;
}

void Menu::removeItem(const MenuItemPtr& item) {
    long i = indexOfItem(item);
    if (i >= 0) removeItemAtIndex(size_t(i));
}

void Menu::removeItemAtIndex(size_t index) {
    if (index >= items_.size()) return;
    MenuItemPtr item = items_[index];
    items_.erase(items_.begin() + long(index));
    item->menu_.reset();
    if (item->submenu_) item->submenu_->supermenu_.reset();
}

void Menu::removeAllItems() {
    while (!items_.empty()) removeItemAtIndex(items_.size() - 1);
}

bool Menu::isItemEnabled(const MenuItem& item) const {
    if (item.separator_) return false;
    if (!autoenables_) return item.enabled_;
    return !item.action_.isNull() || item.submenu_ != nullptr;
}

void Menu::update() {
    if (auto d = delegate()) d->menuNeedsUpdate(*this);
}

bool Menu::performActionForItemAtIndex(size_t index) {
    MenuItemPtr item = itemAtIndex(index);
    if (!item || item->hidden_ || !isItemEnabled(*item)) return false;
    return item->performAction();
}

}  // namespace qs
