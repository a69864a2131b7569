#pragma once
// What a pointer does to a dock item: the click (activate a running application, open a
// file, toggle a folder, group or start-menu popover, open the trash), the hover (window
// preview or tooltip, with their delays), files dropped on an item, and the context
// menu. One instance belongs to each dock panel; the panel makes it with its collection
// view, the dock model and the configuration and hands it to the collection view and
// its cells, which forward their mouse events here. The panel's auto-hide asks it
// whether a popover is showing.
//
// Item kinds are told apart by the class name of the represented object. Hover calls
// carry a dictionary with "app" (the item) and "view" (the item's view, a ViewObject:
// platform/ui/ViewObject.h).
//
// While a menu of the program is open (a context menu, a pop-up menu, "Open With", the
// status menu) the hover shows nothing; what it showed closes when the menu opens.
//
// Main thread only. Every delayed step runs on the main run loop and belongs to this
// object: cancelPreviousPerformRequests() drops every pending one at once.

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <QPointer>

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/URL.h"
#include "platform/ui/Event.h"
#include "platform/ui/Menu.h"

class QWidget;

namespace qs {

class DockCollectionView;
class DockConfiguration;
class DockModel;
class DockWindow;
class FileSystemNode;
class FolderViewController;
class GroupModel;
class GroupViewController;
class Image;
class InspectorWindow;
class Menu;
class MenuViewController;
class RunningApplicationEx;
class Tooltip;
class WindowPreviewController;

class CellActionsDelegate : public Object, public MenuDelegate {
public:
    // initWhitCollectionView:andModel:andConfiguration:
    static std::shared_ptr<CellActionsDelegate> initWhitCollectionView(DockCollectionView* collectionView,
                                                                       const std::shared_ptr<DockModel>& model,
                                                                       const std::shared_ptr<DockConfiguration>& configuration);
    CellActionsDelegate() = default;
    ~CellActionsDelegate() override;
    // Makes the popover controllers (the folder, window-preview, start-menu and group
    // popovers) as initWhitCollectionView does.
    void initControllers();

    std::string className() const override { return "CellActionsDelegate"; }
    // A new delegate with no state copied (copyWithZone:).
    std::shared_ptr<CellActionsDelegate> copyWithZone() const;

    // The owning panel (set by the panel right after it made the delegate).
    DockWindow* docWindow() const;
    void setDocWindow(DockWindow* window);
    DockCollectionView* collectionView() const;
    void setCollectionView(DockCollectionView* collectionView);
    std::shared_ptr<DockModel> model() const { return model_.lock(); }
    void setModel(const std::shared_ptr<DockModel>& model) { model_ = model; }
    std::shared_ptr<DockConfiguration> config() const { return config_.lock(); }
    void setConfig(const std::shared_ptr<DockConfiguration>& config) { config_ = config; }
    bool isMouseDragged() const { return isMouseDragged_; }
    void setIsMouseDragged(bool dragged) { isMouseDragged_ = dragged; }

    // State queries for the panel.
    bool isPreviewActive() const;
    bool isStartMenuActive() const;
    bool folderViewIsShow() const;
    bool groupViewIsShow() const;
    // The dock window's isMouseInDockRect (asked by the preview popover's close timer).
    virtual bool dockInMouseRect() const;

    // Mouse entry points of the item cells and drop views (virtual, so that tests can
    // record what a cell sends).
    virtual void mouseDown(const Event& event);
    virtual void mouseDragged(const Event& event);
    // mouseUp:inView:whithObject:isKeyUp:
    virtual void mouseUp(const Event& event, QWidget* view, const Value& object, bool isKeyUp);
    // showPreviewWhithObject: a hover dictionary on entry, nullopt on exit.
    virtual void showPreviewWhithObject(const std::optional<Dictionary>& dictionary);
    virtual void mouseStopedWhithDict(const Dictionary& dictionary);
    virtual void mouseEnteredWhithDict(const Dictionary& dictionary);
    // mouseExited:fromView:whithObject:
    virtual void mouseExited(const Event& event, QWidget* view, const Value& object);
    // prcessFiles:withObject:
    virtual void prcessFiles(const std::vector<URLPtr>& files, const Value& object);
    // The context menu of an item; nullptr when it has none.
    virtual std::shared_ptr<Menu> menuForItemViewWhithObject(const Value& object);

    // Internal steps (also run after a delay).
    void hidePreview();
    void hidePreviewIfPosible();
    // 1 (the bottom of the anchor) for top and bottom docks, 0 (its left) otherwise.
    int getPreferredEdgeForConfig() const;
    void activateApp(const std::shared_ptr<RunningApplicationEx>& app);
    void reActivate(const std::shared_ptr<RunningApplicationEx>& app);
    // The item view under a point of the panel's window (y up); nullptr when none.
    QWidget* collectionViewItemForMousePoint(const Point& locationInWindow) const;
    void previewOnDelayWithItem(QWidget* itemView);
    void internalMouseEnteredInView(const Dictionary& dictionary);
    void showTooltipInView(QWidget* view, const Value& object);
    void disableDraged();
    // A menu of the program opened: the pending hover steps are dropped, the tooltip and
    // the preview close. Until the last menu closes no hover shows anything.
    void menuDidBeginTracking();

    // The popovers of the panel (made with the delegate) and the current tooltip.
    const std::shared_ptr<FolderViewController>& viewController() const { return viewController_; }
    const std::shared_ptr<WindowPreviewController>& windowPreviewController() const {
        return windowPreviewController_;
    }
    // The start menu's and the group view's controllers are made when first asked for.
    const std::shared_ptr<MenuViewController>& startMenuController() const;
    const std::shared_ptr<GroupViewController>& groupController() const;
    const std::shared_ptr<Tooltip>& tooltip() const { return tooltip_; }
    // Closes the current tooltip, if any.
    void closeTooltip();
    // The item inspector and the group inspector of the preferences layer, made on first
    // use; nullptr when that layer registered none.
    std::shared_ptr<InspectorWindow> itemInspector();
    std::shared_ptr<InspectorWindow> groupInspector();

    // Delayed steps of this object (performSelector:withObject:afterDelay:) and their
    // cancellation (cancelPreviousPerformRequestsWithTarget:).
    void performAfterDelay(double delay, std::function<void(CellActionsDelegate&)> step);
    void cancelPreviousPerformRequests();
    size_t pendingRequestCount() const { return pending_.size(); }

    // Pop-up menus of folders and groups ("FolderViewIndex" not 0). Each entry stands
    // for a file: its path as represented object, its icon, and opening it as action; a
    // folder entry's submenu (titled with the folder's path, this object its delegate)
    // lists the folder's contents when it is first shown.
    std::shared_ptr<Menu> buildMenuForFolder(const std::shared_ptr<FileSystemNode>& folder);
    std::shared_ptr<Menu> buildMenuForGroup(const std::shared_ptr<GroupModel>& group);
    // createMenuItemForPath:newName:menu: — nothing for a file that does not exist.
    void createMenuItemForPath(const std::string& path, const std::optional<std::string>& newName,
                               const std::shared_ptr<Menu>& menu);
    void menuNeedsUpdate(Menu& menu) override;
    void addChildrenToSubMenu(const std::shared_ptr<Menu>& menu, const std::shared_ptr<FileSystemNode>& node);
    static bool checkExistItemAtURL(const URLPtr& url);
    static std::shared_ptr<Image> iconForItem(const std::string& path);
    // Pops a menu up at a point of the view (Qt's coordinates, y down) and waits until it
    // closes (virtual, so that tests can take the menu instead).
    virtual void popUpMenu(const std::shared_ptr<Menu>& menu, const Point& location, QWidget* view);

    // Context menus
    // The sections menuForItemViewWhithObject builds from: the application entries
    // ("New Window", "Options", "Quit App"), "Add Items to Panel" and the program's
    // submenu "Quayside".
    void appsMenuToMenu(const std::shared_ptr<Menu>& menu, const Value& object);
    void addItemsMenuToMenu(const std::shared_ptr<Menu>& menu, const Value& object);
    void addQuaysideMenuToMenu(const std::shared_ptr<Menu>& menu);
    // The entries' actions, each on the item the menu was built for.
    void showInFinder(const Value& item);
    void removeFromDock(const Value& item);
    void addToBlacklist(const Value& item);
    void showInspectorForItem(const Value& item);
    void showGroupInspector(const Value& item);
    void addGroupAfterItem(const Value& item);
    // A non-modal open panel (files and folders, several, starting in Documents); the
    // chosen ones go into the dock right after the item, in the panel's order.
    void addItemsAfterItem(const Value& item);
    void addSeparatorAffter(const Value& item);

private:
    std::shared_ptr<CellActionsDelegate> self();
    // The hover of a running application: its preview, else its name.
    void previewOrTooltip(const Value& object, QWidget* view);
    void popUpMenuAtEvent(const std::shared_ptr<Menu>& menu, const Event& event, QWidget* view);
    // The window of the panel: the dock window, else the collection view's window.
    QWidget* panelWidget() const;
    // The item view under the pointer now, nullptr when there is none.
    QWidget* itemUnderPointer() const;
    // Whether a hover must wait: a mouse button (any) is down or a menu is open.
    static bool hoverIsHeld();

    bool isMouseDragged_ = false;
    std::shared_ptr<InspectorWindow> groupInspector_;
    std::shared_ptr<Tooltip> tooltip_;
    QPointer<DockWindow> docWindow_;
    QPointer<DockCollectionView> collectionView_;
    std::weak_ptr<DockModel> model_;
    std::weak_ptr<DockConfiguration> config_;
    std::shared_ptr<FolderViewController> viewController_;
    std::shared_ptr<WindowPreviewController> windowPreviewController_;
    mutable std::shared_ptr<MenuViewController> startMenuController_;
    mutable std::shared_ptr<GroupViewController> groupController_;
    std::shared_ptr<InspectorWindow> inspector_;
    // Pending delayed steps, on the loop they were scheduled on.
    std::set<RunLoop::TimerId> pending_;
    RunLoop* pendingLoop_ = nullptr;
};

using CellActionsDelegatePtr = std::shared_ptr<CellActionsDelegate>;

}  // namespace qs
