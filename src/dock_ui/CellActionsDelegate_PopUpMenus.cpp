// The pop-up menus of folders and groups: one entry per file with its icon, choosing one
// opens it. Only the top level is read when the menu is built; a folder entry's submenu
// is filled from the disk the first time it is shown, and only then.

#include <filesystem>
#include <system_error>

#include "core/FileSystemNode.h"
#include "core/GroupModel.h"
#include "dock_ui/CellActionsDelegate.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/IconSources.h"
#include "platform/desktop/Workspace.h"
#include "platform/desktop/UserMessages.h"
#include "platform/foundation/Log.h"
#include "platform/ui/Menu.h"
#include "toolkit/MenuItemBlockAction.h"

namespace qs {

namespace {

// The action of every entry: the file of the entry's path opens with its application.
void openRepresentedPath(MenuItem& item) {
    const std::string* represented = item.representedObject().string();
    if (!represented) return;
    const std::string path = *represented;
    auto* workspace = desktop::services().workspace.get();
    if (!workspace) return;
    if (!workspace->openFile(path)) {
        log("cannot open ", path);
        desktop::tellUserItFailed(desktop::quotedName(path) + " could not be opened.");
    }
}

MenuItemPtr makeEntry(const std::string& title, const std::string& path) {
    auto item = std::make_shared<MenuItem>(title);
    item->setImage(CellActionsDelegate::iconForItem(path));
    item->setEnabled(true);
    item->setRepresentedObject(Value(path));
    NSMenuItem_Q::setBlockAction(*item, [](MenuItem& sender) { openRepresentedPath(sender); });
    return item;
}

}  // namespace

std::shared_ptr<Menu> CellActionsDelegate::buildMenuForFolder(const std::shared_ptr<FileSystemNode>& folder) {
    auto menu = std::make_shared<Menu>();
    if (!folder) return menu;
    for (const auto& child : folder->children()) {
        if (!child) continue;
        auto url = child->URL();
        if (url) createMenuItemForPath(url->path(), child->localizedName(), menu);
    }
    return menu;
}

std::shared_ptr<Menu> CellActionsDelegate::buildMenuForGroup(const std::shared_ptr<GroupModel>& group) {
    auto menu = std::make_shared<Menu>();
    if (!group) return menu;
    for (const auto& element : group->items()) {
        auto node = element.objectAs<FileSystemNode>();
        if (!node) continue;
        auto url = node->URL();
        if (url) createMenuItemForPath(url->path(), node->localizedName(), menu);
    }
    return menu;
}

void CellActionsDelegate::createMenuItemForPath(const std::string& path, const std::optional<std::string>& newName,
                                                const std::shared_ptr<Menu>& menu) {
    if (!menu || path.empty()) return;
    auto url = URL::fileURLWithPath(path);
    auto node = FileSystemNode::initWithURL(url);
    if (!node || !checkExistItemAtURL(url)) return;
    // A missing or empty name keeps the file's own name.
    std::string title = newName && !newName->empty() ? *newName : node->displayName();
    auto item = makeEntry(title, path);
    if (node->isDirectory()) {
        auto submenu = std::make_shared<Menu>(path);
        submenu->setDelegate(std::shared_ptr<MenuDelegate>(self(), static_cast<MenuDelegate*>(this)));
        item->setSubmenu(submenu);
    }
    menu->addItem(item);
}

void CellActionsDelegate::menuNeedsUpdate(Menu& menu) {
    if (menu.title().empty()) return;
    // Filled once: without a delegate the menu is not asked again.
    menu.setDelegate(nullptr);
    menu.removeAllItems();
    auto node = FileSystemNode::initWithURL(URL::fileURLWithPath(menu.title()));
    addChildrenToSubMenu(std::static_pointer_cast<Menu>(menu.shared_from_this()), node);
}

void CellActionsDelegate::addChildrenToSubMenu(const std::shared_ptr<Menu>& menu,
                                               const std::shared_ptr<FileSystemNode>& node) {
    if (!menu || !node || !checkExistItemAtURL(node->URL())) return;
    for (const auto& child : node->children()) {
        if (!child) continue;
        auto url = child->URL();
        if (!url) continue;
        const std::string path = url->path();
        auto item = makeEntry(child->displayName(), path);
        if (child->isDirectory()) {
            // One level down, the folder shows a single entry for itself, whose own
            // submenu lists its contents when first shown.
            auto submenu = std::make_shared<Menu>(node->localizedName());
            createMenuItemForPath(path, child->localizedName(), submenu);
            item->setSubmenu(submenu);
        }
        menu->addItem(item);
    }
}

bool CellActionsDelegate::checkExistItemAtURL(const URLPtr& url) {
    if (!url) return false;
    std::error_code ec;
    // A link counts as itself, even when what it points at is gone.
    auto status = std::filesystem::symlink_status(url->path(), ec);
    return !ec && status.type() != std::filesystem::file_type::not_found;
}

std::shared_ptr<Image> CellActionsDelegate::iconForItem(const std::string& path) {
    ImagePtr icon;
    if (auto* workspace = desktop::services().workspace.get()) icon = workspace->iconForFile(path);
    if (!icon) icon = desktop::deferredIcon(desktop::genericIconSource(desktop::GenericKind::Folder));
    return icon;
}

}  // namespace qs
