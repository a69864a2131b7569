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
// Main thread only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QPointer>

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/URL.h"
#include "platform/ui/Event.h"

class QWidget;

namespace qs {

class DockCollectionView;
class DockConfiguration;
class DockModel;
class DockWindow;
class Menu;
class RunningApplicationEx;

class CellActionsDelegate : public Object {
public:
    // initWhitCollectionView:andModel:andConfiguration:
    static std::shared_ptr<CellActionsDelegate> initWhitCollectionView(DockCollectionView* collectionView,
                                                                       const std::shared_ptr<DockModel>& model,
                                                                       const std::shared_ptr<DockConfiguration>& configuration);
    CellActionsDelegate() = default;
    ~CellActionsDelegate() override;

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
    bool dockInMouseRect() const;

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
    bool isMouseDragged_ = false;
    QPointer<DockWindow> docWindow_;
    QPointer<DockCollectionView> collectionView_;
    std::weak_ptr<DockModel> model_;
    std::weak_ptr<DockConfiguration> config_;

    // Context-menu state
    // The inspector windows, made on first use and kept.
    std::shared_ptr<class InspectorWindow> menuItemInspector_;
    std::shared_ptr<class InspectorWindow> menuGroupInspector_;
};

using CellActionsDelegatePtr = std::shared_ptr<CellActionsDelegate>;

}  // namespace qs
