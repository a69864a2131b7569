// The context menu of a dock item, built afresh on each right click (or Command-click),
// and the actions of its entries. Every entry with an action carries the item as its
// represented object and a block that holds the delegate weakly; the block reads the
// item from the entry when chosen, so nothing outlives the menu.

#include <QStandardPaths>
#include <QDir>
#include <QFileInfo>

#include "core/AppDelegate.h"
#include "core/ApplicationInterface.h"
#include "core/DockModel.h"
#include "core/FileSystemNode.h"
#include "core/GroupModel.h"
#include "core/RunningApplicationPersistent.h"
#include "core/TrashModel.h"
#include "dock_ui/CellActionsDelegate.h"
#include "dock_ui/Inspectors.h"
#include "dock_ui/WindowPreviewController.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/FileServices.h"
#include "platform/desktop/Workspace.h"
#include "platform/desktop/UserMessages.h"
#include "platform/foundation/Log.h"
#include "platform/ui/Menu.h"
#include "platform/ui/OpenPanel.h"
#include "toolkit/MenuItemBlockAction.h"

namespace qs {

namespace {

using Action = std::function<void(CellActionsDelegate& delegate, const Value& item)>;

std::string kindOf(const Value& object) {
    auto o = object.object();
    return o ? o->className() : std::string();
}

// An enabled entry with an empty key equivalent, the item as represented object and a
// block that runs `action` on the delegate (when it still exists) with that item.
MenuItemPtr addEntry(const MenuPtr& menu, const std::string& title, const Value& item,
                     const std::weak_ptr<CellActionsDelegate>& delegate, Action action) {
    auto entry = std::make_shared<MenuItem>(title, MenuItem::Action{}, "");
    entry->setEnabled(true);
    entry->setRepresentedObject(item);
    NSMenuItem_Q::setBlockAction(*entry, [delegate, action = std::move(action)](MenuItem& sender) {
        if (auto self = delegate.lock()) action(*self, sender.representedObject());
    });
    menu->addItem(entry);
    return entry;
}

// An entry whose block needs no delegate (it acts on the item alone).
MenuItemPtr addItemEntry(const MenuPtr& menu, const std::string& title, const Value& item,
                         std::function<void(const Value& item)> action) {
    auto entry = std::make_shared<MenuItem>(title, MenuItem::Action{}, "");
    entry->setEnabled(true);
    entry->setRepresentedObject(item);
    NSMenuItem_Q::setBlockAction(*entry,
                                 [action = std::move(action)](MenuItem& sender) { action(sender.representedObject()); });
    menu->addItem(entry);
    return entry;
}

MenuItemPtr addSubmenuEntry(const MenuPtr& menu, const std::string& title, const MenuPtr& submenu) {
    auto entry = std::make_shared<MenuItem>(title, MenuItem::Action{}, "");
    entry->setSubmenu(submenu);
    menu->addItem(entry);
    return entry;
}

void addSeparator(const MenuPtr& menu) { menu->addItem(MenuItem::separatorItem()); }

// The desktop entry of a running application (its id, else its file); "" when none.
std::string entryOf(const RunningApplication& app) {
    if (!app.bundleIdentifier().empty()) return app.bundleIdentifier();
    return app.bundleURL() ? app.bundleURL()->path() : std::string();
}

// Whether the application's desktop entry offers the action ("new-private-window").
bool offersAction(const RunningApplication& app, const std::string& action) {
    auto workspace = desktop::services().workspace;
    const std::string entry = entryOf(app);
    if (!workspace || entry.empty()) return false;
    auto found = app.bundleIdentifier().empty() ? workspace->entryAtPath(entry) : workspace->entryForBundleIdentifier(entry);
    return found && std::find(found->actions.begin(), found->actions.end(), action) != found->actions.end();
}

// A new window of a running application: the desktop action its entry offers for it;
// else the application launched again from its entry; else its program run again. No key
// is typed into any window.
void newWindow(const Value& item, const std::string& desktopAction) {
    auto app = item.objectAs<RunningApplication>();
    auto workspace = desktop::services().workspace;
    if (!app || !workspace) return;
    const std::string entry = entryOf(*app);
    if (!entry.empty() && workspace->launchDesktopAction(entry, desktopAction)) return;
    // A private window only where the entry offers one.
    if (desktopAction != "new-window") {
        log("cannot open a private window of ", app->localizedName(), ": its desktop entry offers none");
        return;
    }
    if (!entry.empty() && workspace->launchApplication(entry)) return;
    const std::string program = app->info().executablePath;
    if (!program.empty() && workspace->launchExecutable(program)) return;
    log("cannot open a new window of ", app->localizedName(), ": ",
        entry.empty() && program.empty() ? "neither its desktop entry nor its program is known"
                                         : "neither its desktop entry nor its program could be run");
}

std::string documentsFolder() {
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty() || !QFileInfo(documents).isDir()) documents = QDir::homePath();
    return documents.toStdString();
}

std::shared_ptr<AppDelegate> appDelegate() {
    auto delegate = AppDelegate::current();
    if (!delegate) log("the program's commands are not available: no application delegate");
    return delegate;
}

}  // namespace

std::shared_ptr<Menu> CellActionsDelegate::menuForItemViewWhithObject(const Value& object) {
    // A preview or tooltip left open would sit over the menu.
    if (windowPreviewController_) windowPreviewController_->forseClosePreview();
    closeTooltip();
    auto menu = std::make_shared<Menu>("");
    auto self = std::dynamic_pointer_cast<CellActionsDelegate>(weak_from_this().lock());
    std::weak_ptr<CellActionsDelegate> weak = self;
    const std::string kind = kindOf(object);
    auto node = object.objectAs<FileSystemNode>();

    if ((kind == "FileSystemNode" && node && node->isApplication()) || kind == "NSRunningApplication") {
        appsMenuToMenu(menu, object);
        return menu;
    }
    if (kind == "FileSystemNode") {
        addEntry(menu, "Show in Finder", object, weak, [](auto& d, const Value& i) { d.showInFinder(i); });
        addSeparator(menu);
        auto options = std::make_shared<Menu>("");
        addEntry(options, "Remove from Dock", object, weak, [](auto& d, const Value& i) { d.removeFromDock(i); });
        addEntry(options, "Custom Icon", object, weak, [](auto& d, const Value& i) { d.showInspectorForItem(i); });
        addSubmenuEntry(menu, "Options", options);
    } else if (kind == "Separator") {
        addEntry(menu, "Remove from Dock", object, weak, [](auto& d, const Value& i) { d.removeFromDock(i); });
        addSeparator(menu);
    } else if (kind == "GroupModel") {
        addEntry(menu, "Group Options...", object, weak, [](auto& d, const Value& i) { d.showGroupInspector(i); });
        addSeparator(menu);
        addEntry(menu, "Remove from Dock", object, weak, [](auto& d, const Value& i) { d.removeFromDock(i); });
    } else if (kind == "TrashModel") {
        addItemEntry(menu, "Open", object, [](const Value& i) {
            if (auto trash = i.objectAs<TrashModel>()) trash->openTrash();
        });
        auto trash = object.objectAs<TrashModel>();
        if (trash && trash->isTrashFull())
            addItemEntry(menu, "Empty Trash", object, [](const Value& i) {
                if (auto t = i.objectAs<TrashModel>()) t->emptyTrash();
            });
        addSeparator(menu);
    } else {
        // The start menu, and anything unknown, has no context menu entries.
        return menu;
    }
    addItemsMenuToMenu(menu, object);
    addSeparator(menu);
    addQuaysideMenuToMenu(menu);
    addSeparator(menu);
    return menu;
}

void CellActionsDelegate::appsMenuToMenu(const std::shared_ptr<Menu>& menu, const Value& object) {
    std::weak_ptr<CellActionsDelegate> weak = std::dynamic_pointer_cast<CellActionsDelegate>(weak_from_this().lock());
    const bool running = kindOf(object) == "NSRunningApplication";
    auto app = object.objectAs<RunningApplication>();
    const std::string name = running && app ? app->localizedName() : std::string();

    if (running) {
        addItemEntry(menu, "New Window", object, [](const Value& i) { newWindow(i, "new-window"); });
        if (app && offersAction(*app, "new-private-window"))
            addItemEntry(menu, "New Private Window", object,
                         [](const Value& i) { newWindow(i, "new-private-window"); });
        addSeparator(menu);
    }

    auto options = std::make_shared<Menu>("");
    addSubmenuEntry(menu, "Options", options);
    if (running) {
        // Bound to the kept flag: the check mark shows it, choosing flips it.
        auto keep = std::make_shared<MenuItem>("Keep in Dock", MenuItem::Action{}, "");
        keep->setEnabled(true);
        keep->setRepresentedObject(object);
        keep->setState(app && Persistent::isPersistent(*app) ? NSControlStateValueOn : NSControlStateValueOff);
        NSMenuItem_Q::setBlockAction(*keep, [](MenuItem& sender) {
            auto a = sender.representedObject().objectAs<RunningApplication>();
            if (!a) return;
            const bool kept = !Persistent::isPersistent(*a);
            Persistent::setIsPersistent(*a, kept);
            sender.setState(kept ? NSControlStateValueOn : NSControlStateValueOff);
        });
        options->addItem(keep);
        // The outer menu gets a separator right below "Options" here.
        addSeparator(menu);
        addEntry(options, "Don\u2019t display in Dock", object, weak,
                 [](auto& d, const Value& i) { d.addToBlacklist(i); });
    } else {
        addEntry(options, "Remove from Dock", object, weak, [](auto& d, const Value& i) { d.removeFromDock(i); });
    }
    addEntry(options, "Show in Finder", object, weak, [](auto& d, const Value& i) { d.showInFinder(i); });
    addEntry(options, "Custom Icon", object, weak, [](auto& d, const Value& i) { d.showInspectorForItem(i); });

    addSeparator(menu);
    addItemsMenuToMenu(menu, object);
    addSeparator(menu);
    addQuaysideMenuToMenu(menu);
    addSeparator(menu);
    addSeparator(menu);

    if (running && name != "Finder")
        addItemEntry(menu, "Quit App", object, [](const Value& i) {
            if (auto a = i.objectAs<RunningApplication>()) a->terminate();
        });
}

void CellActionsDelegate::addItemsMenuToMenu(const std::shared_ptr<Menu>& menu, const Value& object) {
    std::weak_ptr<CellActionsDelegate> weak = std::dynamic_pointer_cast<CellActionsDelegate>(weak_from_this().lock());
    auto submenu = std::make_shared<Menu>("");
    addEntry(submenu, "Add Group ", object, weak, [](auto& d, const Value& i) { d.addGroupAfterItem(i); });
    addEntry(submenu, "Add Files/Folders...", object, weak, [](auto& d, const Value& i) { d.addItemsAfterItem(i); });
    addEntry(submenu, "Add Separator", object, weak, [](auto& d, const Value& i) { d.addSeparatorAffter(i); });
    addSubmenuEntry(menu, "Add Items to Panel", submenu);
}

void CellActionsDelegate::addQuaysideMenuToMenu(const std::shared_ptr<Menu>& menu) {
    std::weak_ptr<CellActionsDelegate> weak = std::dynamic_pointer_cast<CellActionsDelegate>(weak_from_this().lock());
    auto submenu = std::make_shared<Menu>("");
    // The program's commands carry no represented object.
    auto command = [&submenu](const std::string& title, std::function<void(AppDelegate&)> run) {
        auto entry = std::make_shared<MenuItem>(title, MenuItem::Action{}, "");
        entry->setEnabled(true);
        NSMenuItem_Q::setBlockAction(*entry, [run = std::move(run)](MenuItem&) {
            if (auto d = appDelegate()) run(*d);
        });
        submenu->addItem(entry);
    };
    command("About", [](AppDelegate& d) { d.showAboutPanel(); });
    addSeparator(submenu);
    command("Quayside Preferences", [](AppDelegate& d) { d.showPreferences(); });
    command("Send Feedback / Get Support ...", [](AppDelegate& d) { d.sendFeedback(); });
    addSeparator(submenu);
    command("Check for Updates", [weak](AppDelegate& d) {
        auto self = weak.lock();
        d.checkUpates(self.get());
    });
    addSeparator(submenu);
    addSeparator(submenu);
    // An ordinary entry: "terminate:" goes to the application's delegate, which ends the
    // program as every quit does.
    auto quit = std::make_shared<MenuItem>("Quit", MenuItem::Action{"terminate:", [](MenuItem& sender) {
                                               if (auto d = appDelegate()) d->terminate(&sender);
                                           }},
                                           "");
    submenu->addItem(quit);
    addSubmenuEntry(menu, "Quayside", submenu);
}

// ---------------------------------------------------------------------------------
// Actions

void CellActionsDelegate::showInFinder(const Value& item) {
    std::string path;
    const std::string kind = kindOf(item);
    if (kind == "FileSystemNode") {
        if (auto node = item.objectAs<FileSystemNode>(); node && node->URL()) path = node->URL()->path();
    } else if (kind == "NSRunningApplication") {
        if (auto app = item.objectAs<RunningApplication>(); app && app->bundleURL()) path = app->bundleURL()->path();
    }
    if (path.empty()) return;
    auto files = desktop::services().files;
    if (!files || !files->showItems({path})) {
        log("cannot show ", path, " in the file manager");
        desktop::tellUserItFailed(desktop::quotedName(path) + " could not be shown in a file manager.");
    }
}

void CellActionsDelegate::removeFromDock(const Value& item) {
    if (auto m = model(); m && item.object()) m->removeObjectFromDock(item.object());
}

void CellActionsDelegate::addToBlacklist(const Value& item) {
    auto app = item.objectAs<RunningApplication>();
    if (auto m = model(); m && app) m->addToBlackListApp(app);
}

void CellActionsDelegate::showInspectorForItem(const Value& item) {
    auto inspector = itemInspector();
    if (!inspector) return;
    inspector->setModel(item);
    inspector->orderFront();
}

void CellActionsDelegate::showGroupInspector(const Value& item) {
    auto inspector = groupInspector();
    if (!inspector) return;
    inspector->setModel(item);
    inspector->orderFront();
}

void CellActionsDelegate::addGroupAfterItem(const Value& item) {
    if (auto m = model()) m->addNewGroupAfterItem(item.object());
}

void CellActionsDelegate::addSeparatorAffter(const Value& item) {
    if (auto m = model()) m->addSeparatorAffterItem(item.object());
}

void CellActionsDelegate::addItemsAfterItem(const Value& item) {
    auto panel = OpenPanel::openPanel();
    panel->allowsMultipleSelection = true;
    panel->canChooseDirectories = true;
    panel->canChooseFiles = true;
    panel->resolvesAliases = true;
    panel->directoryURL = documentsFolder();
    if (auto* application = ApplicationInterface::installed()) application->activateIgnoringOtherApps();
    std::weak_ptr<OpenPanel> weakPanel = panel;
    std::weak_ptr<DockModel> weakModel = model_;
    ObjectPtr anchor = item.object();
    panel->beginWithCompletionHandler([weakPanel, weakModel, anchor](int response) {
        auto p = weakPanel.lock();
        if (!p) return;
        if (response == OpenPanel::NSModalResponseOK) {
            std::vector<FileSystemNodePtr> nodes;
            for (const auto& url : p->URLs())
                if (auto node = FileSystemNode::initWithURL(url)) nodes.push_back(node);
            // Each node goes after the one added before it, so the dock shows them in
            // the panel's order rather than reversed behind the clicked item.
            ObjectPtr after = anchor;
            if (auto m = weakModel.lock())
                for (const auto& node : nodes) {
                    m->addItem(node, after);
                    after = node;
                }
        }
        p->close();
    });
}

}  // namespace qs
