// The cell actions: clicks, hovers with their delays, activation of running applications
// and the popovers of the panel. The context menus are in CellActionsDelegate_Menus.cpp,
// the folder and group pop-up menus in CellActionsDelegate_PopUpMenus.cpp.
//
// One click does one thing once. The cell sends the press (isKeyUp NO) and, when the
// press stayed a click (it did not turn into a drag), the release (isKeyUp YES).
// Activating a running application and opening a file or launching an application
// happen on the release only, so that dragging an item opens nothing and a click never
// starts a program twice or opens two viewers of one document. A folder shows its
// popover on both (the second only moves it back in place), a group and the start menu
// toggle on the press, the trash (whose cell sends only the release) opens on the
// release.

#include "dock_ui/CellActionsDelegate.h"

#include <QWidget>

#include "core/DockConfiguration.h"
#include "core/FileSystemNode.h"
#include "core/GroupModel.h"
#include "core/MenuModel.h"
#include "core/TrashModel.h"
#include "dock_ui/CollectionItemView.h"
#include "dock_ui/DockCollectionView.h"
#include "dock_ui/DockWindow.h"
#include "dock_ui/FolderViewController.h"
#include "dock_ui/GroupViewController.h"
#include "dock_ui/Inspectors.h"
#include "dock_ui/MenuViewController.h"
#include "dock_ui/Tooltip.h"
#include "dock_ui/WindowPreviewController.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/UserMessages.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/InputState.h"
#include "platform/ui/Menu.h"
#include "platform/ui/MenuPresenter.h"
#include "platform/ui/ViewObject.h"
#include "toolkit/EventUtilities.h"
#include "tracking/AppMonitoringService.h"
#include "tracking/LaunchTracker.h"
#include "tracking/RunningApplicationEx.h"
#include "tracking/SIApplication.h"
#include "tracking/SIWindow.h"

namespace qs {

namespace {

UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }
bool previewsOn() { return defaults().boolForKey("WindowPreview"); }
bool tooltipsOn() { return defaults().boolForKey("Tooltips"); }

std::string kindOf(const Value& object) {
    auto o = object.object();
    return o ? o->className() : std::string();
}

// The name an item shows (localizedName); nullopt for objects that have none.
std::optional<std::string> localizedNameOf(const ObjectPtr& o) {
    if (!o) return std::nullopt;
    if (auto node = std::dynamic_pointer_cast<FileSystemNode>(o)) return node->localizedName();
    if (auto app = std::dynamic_pointer_cast<RunningApplication>(o)) return app->localizedName();
    if (auto group = std::dynamic_pointer_cast<GroupModel>(o)) return group->localizedName();
    if (auto trash = std::dynamic_pointer_cast<TrashModel>(o)) return trash->localizedName();
    if (auto menu = std::dynamic_pointer_cast<MenuModel>(o)) return menu->localizedName();
    return std::nullopt;
}

Rect boundsOf(const QWidget* view) { return MakeRect(0, 0, view ? view->width() : 0, view ? view->height() : 0); }

RunningApplicationExPtr cachedEx(const Value& object) {
    auto app = object.objectAs<RunningApplication>();
    if (!app) return nullptr;
    return AppMonitoringService::sharedInstance()->getCachedApplicationExForApplication(app);
}

// The item view a hit widget belongs to: a CollectionItemView itself, or the item view
// that holds one of its parts (icon, indicator, drop zone).
QWidget* itemViewFor(QWidget* hit, const QWidget* stop) {
    for (QWidget* w = hit; w && w != stop; w = w->parentWidget())
        if (qobject_cast<CollectionItemView*>(w)) return w;
    return hit;
}

}  // namespace

std::shared_ptr<CellActionsDelegate> CellActionsDelegate::initWhitCollectionView(
    DockCollectionView* collectionView, const std::shared_ptr<DockModel>& model,
    const std::shared_ptr<DockConfiguration>& configuration) {
    auto delegate = std::make_shared<CellActionsDelegate>();
    delegate->collectionView_ = collectionView;
    delegate->model_ = model;
    delegate->config_ = configuration;
    delegate->initControllers();
    return delegate;
}

void CellActionsDelegate::initControllers() {
    // The start menu and the group view are made when first opened: their views (a search
    // field, lists, the fonts and style pictures they load) would cost the panel's start.
    viewController_ = FolderViewController::init();
    windowPreviewController_ = WindowPreviewController::init();
    std::weak_ptr<Object> weak = weak_from_this();
    // A menu of the program that opens ends every hover step: see menuDidBeginTracking.
    NotificationCenter::defaultCenter().addObserver(this, MenuPresenter::kMenuDidBeginTracking, nullptr,
                                                    [weak](const Notification&) {
                                                        if (auto self = weak.lock())
                                                            static_cast<CellActionsDelegate&>(*self).menuDidBeginTracking();
                                                    });
}

CellActionsDelegate::~CellActionsDelegate() {
    NotificationCenter::defaultCenter().removeObserver(this);
    cancelPreviousPerformRequests();
    if (tooltip_) tooltip_->close();
}

std::shared_ptr<CellActionsDelegate> CellActionsDelegate::copyWithZone() const {
    return std::make_shared<CellActionsDelegate>();
}

std::shared_ptr<CellActionsDelegate> CellActionsDelegate::self() {
    return std::static_pointer_cast<CellActionsDelegate>(shared_from_this());
}

DockWindow* CellActionsDelegate::docWindow() const { return docWindow_.data(); }
void CellActionsDelegate::setDocWindow(DockWindow* window) { docWindow_ = window; }
DockCollectionView* CellActionsDelegate::collectionView() const { return collectionView_.data(); }
void CellActionsDelegate::setCollectionView(DockCollectionView* collectionView) { collectionView_ = collectionView; }

QWidget* CellActionsDelegate::panelWidget() const {
    if (docWindow_) return docWindow_.data();
    return collectionView_ ? collectionView_->window() : nullptr;
}

std::shared_ptr<InspectorWindow> CellActionsDelegate::itemInspector() {
    if (!inspector_) inspector_ = Inspectors::makeItemInspector();
    return inspector_;
}

std::shared_ptr<InspectorWindow> CellActionsDelegate::groupInspector() {
    if (!groupInspector_) groupInspector_ = Inspectors::makeGroupInspector();
    return groupInspector_;
}

// ---------------------------------------------------------------------------------
// State queries

bool CellActionsDelegate::isPreviewActive() const {
    return windowPreviewController_ && windowPreviewController_->previewIsShow();
}
const std::shared_ptr<GroupViewController>& CellActionsDelegate::groupController() const {
    if (groupController_) return groupController_;
    groupController_ = GroupViewController::init();
    std::weak_ptr<const Object> weak = weak_from_this();
    groupController_->setGroupInspectorHandler([weak](const std::shared_ptr<GroupModel>& group) {
        auto self = std::const_pointer_cast<CellActionsDelegate>(std::static_pointer_cast<const CellActionsDelegate>(weak.lock()));
        if (!self || !group) return;
        if (auto inspector = self->groupInspector()) {
            inspector->setModel(Value(group));
            inspector->orderFront();
        }
    });
    return groupController_;
}

const std::shared_ptr<MenuViewController>& CellActionsDelegate::startMenuController() const {
    if (!startMenuController_) startMenuController_ = MenuViewController::init();
    return startMenuController_;
}

bool CellActionsDelegate::isStartMenuActive() const { return startMenuController_ && startMenuController_->isShow(); }
bool CellActionsDelegate::folderViewIsShow() const { return viewController_ && viewController_->isFolderViesShow(); }
bool CellActionsDelegate::groupViewIsShow() const { return groupController_ && groupController_->isShow(); }
bool CellActionsDelegate::dockInMouseRect() const { return docWindow_ && docWindow_->isMouseInDockRect(); }

// ---------------------------------------------------------------------------------
// Delayed steps

void CellActionsDelegate::performAfterDelay(double delay, std::function<void(CellActionsDelegate&)> step) {
    RunLoop& loop = RunLoop::main();
    if (pendingLoop_ != &loop) {
        // A new main loop (tests): the ids of the old one mean nothing there.
        pending_.clear();
        pendingLoop_ = &loop;
    }
    std::weak_ptr<Object> weak = weak_from_this();
    auto id = std::make_shared<RunLoop::TimerId>(0);
    *id = loop.after(delay, [weak, id, step = std::move(step)] {
        auto strong = std::static_pointer_cast<CellActionsDelegate>(weak.lock());
        if (!strong) return;
        strong->pending_.erase(*id);
        step(*strong);
    });
    pending_.insert(*id);
}

void CellActionsDelegate::cancelPreviousPerformRequests() {
    if (pendingLoop_ && RunLoop::isLive(pendingLoop_))
        for (auto id : pending_) pendingLoop_->cancel(id);
    pending_.clear();
}

// ---------------------------------------------------------------------------------
// Mouse

void CellActionsDelegate::mouseDown(const Event&) { hidePreview(); }

void CellActionsDelegate::mouseDragged(const Event&) {
    hidePreview();
    if (NSEvent_Utilities::shiftKeyDownNow()) isMouseDragged_ = true;
}

void CellActionsDelegate::mouseUp(const Event& event, QWidget* view, const Value& object, bool isKeyUp) {
    hidePreview();
    isMouseDragged_ = false;
    const auto edge = RectEdge(getPreferredEdgeForConfig());
    const std::string kind = kindOf(object);

    if (kind == "NSRunningApplication") {
        if (!isKeyUp) return;  // acted on at the release of a click
        auto app = object.objectAs<RunningApplication>();
        if (app && app->isHidden()) app->unhide();
        auto ex = cachedEx(object);
        if (!ex) {
            // Not tracked (an application the cache does not manage): still brought forward.
            if (app) app->activateWithOptions(NSApplicationActivateAllWindows | NSApplicationActivateIgnoringOtherApps);
            return;
        }
        activateApp(ex);
    } else if (kind == "FileSystemNode") {
        auto node = object.objectAs<FileSystemNode>();
        if (!node) return;
        if (node->isApplication()) {
            if (!isKeyUp) return;
            const bool wasRunning = node->isRunning();
            const bool launched = node->clickAction(node.get());
            // Launched here: the cell bounces until the application's first window maps.
            if (launched && !wasRunning) LaunchTracker::shared().markLaunching(node->path());
        } else if (node->isDirectory()) {
            if (defaults().integerForKey("FolderViewIndex") != 0) {
                if (isKeyUp) return;  // the menu of the press has run its course
                popUpMenuAtEvent(buildMenuForFolder(node), event, view);
            } else if (viewController_ && view) {
                viewController_->showFolderViewForFolder(node, boundsOf(view), view, edge);
            }
        } else {
            if (!isKeyUp) return;
            node->clickAction(node.get());
        }
    } else if (kind == "GroupModel") {
        if (isKeyUp) return;
        auto group = object.objectAs<GroupModel>();
        if (!group) return;
        if (groupViewIsShow()) {
            groupController_->closePreview();
        } else if (defaults().integerForKey("FolderViewIndex") != 0) {
            popUpMenuAtEvent(buildMenuForGroup(group), event, view);
        } else if (view) {
            groupController()->showGrouViewForGroup(group, boundsOf(view), view, edge);
        }
    } else if (kind == "MenuModel") {
        if (isKeyUp) return;
        auto& startMenu = startMenuController();
        if (startMenu->isShow()) {
            startMenu->closeStartMenu();
        } else if (auto menu = object.objectAs<MenuModel>(); menu && view) {
            startMenu->showStartMenuWith(menu, boundsOf(view), view, edge);
        }
    } else if (kind == "TrashModel") {
        // The trash cell sends only the release; a cell that sends both opens it once.
        if (!isKeyUp) return;
        if (auto trash = object.objectAs<TrashModel>()) trash->openTrash();
    }
}

void CellActionsDelegate::popUpMenuAtEvent(const std::shared_ptr<Menu>& menu, const Event& event, QWidget* view) {
    if (!menu || !view) return;
    QWidget* top = event.window;
    if (!top || !(top == view || top->isAncestorOf(view))) top = view->window();
    const QPoint inTop(int(std::lround(event.locationInWindow.x)),
                       int(std::lround(top->height() - event.locationInWindow.y)));
    const QPoint local = top == view ? inTop : view->mapFrom(top, inTop);
    popUpMenu(menu, MakePoint(local.x(), local.y()), view);
}

void CellActionsDelegate::popUpMenu(const std::shared_ptr<Menu>& menu, const Point& location, QWidget* view) {
    // The menu runs its own loop; this object stays alive through it.
    auto keep = self();
    MenuPresenter::popUpMenuPositioningItem(menu, nullptr, location, view);
}

// ---------------------------------------------------------------------------------
// Activation

void CellActionsDelegate::activateApp(const std::shared_ptr<RunningApplicationEx>& app) {
    if (!app) return;
    auto c = config();
    const int activation = c ? c->windowActivation() : 1;
    // The workspace's object carries the live active and hidden state.
    RunningApplicationPtr running = app->application();
    if (!running) running = app;

    auto activateAllWindows = [&] {
        const bool wasActive = running->isActive();
        running->activateWithOptions(NSApplicationActivateAllWindows | NSApplicationActivateIgnoringOtherApps);
        if (!wasActive) return;
        auto si = SIApplication::applicationWithRunningApplication(running);
        if (!si) return;
        const auto& windows = si->windows();
        if (windows.size() == si->visibleWindows().size()) return;
        for (const auto& window : windows) {
            if (window && window->isWindowMinimized()) {
                window->activateWindow();
                break;
            }
        }
    };

    if (activation != 0) {
        activateAllWindows();
    } else {
        SIWindowPtr first = app->windows().empty() ? nullptr : app->windows().front();
        SIWindowPtr focused = SIWindow::focusedWindow();
        if (first && first != focused) first->activateWindow();
        if (first && focused && first->win_id() == focused->win_id()) activateAllWindows();
    }
    reActivate(app);
}

void CellActionsDelegate::reActivate(const std::shared_ptr<RunningApplicationEx>& app) {
    if (!app) return;
    if (app->minimized()) app->tryRestore();
    if (!app->windows().empty()) return;
    const std::string& bundleIdentifier = app->bundleIdentifier();
    if (bundleIdentifier.empty()) return;
    auto* workspace = desktop::services().workspace.get();
    if (!workspace) return;
    if (workspace->launchAppWithBundleIdentifier(bundleIdentifier, 0)) return;
    auto url = app->bundleURL();
    if (!url || !workspace->launchApplication(url->path())) {
        log("cannot start ", app->localizedName(), " again: no application \"", bundleIdentifier, "\"");
        desktop::tellUserItFailed(desktop::quote(app->localizedName()) + " could not be started again.");
    }
}

// ---------------------------------------------------------------------------------
// Dropped files

void CellActionsDelegate::prcessFiles(const std::vector<URLPtr>& files, const Value& object) {
    const std::string kind = kindOf(object);
    if (kind == "NSRunningApplication") {
        if (auto ex = cachedEx(object)) ex->openFiles(files);
        return;
    }
    auto o = object.object();
    if (!std::dynamic_pointer_cast<FileSystemNode>(o) && !std::dynamic_pointer_cast<GroupModel>(o)) return;
    // At the next turn of the run loop, and not among this object's delayed steps: the
    // hover that follows a drop cancels those, and a drop must never be lost to it.
    RunLoop::main().after(0.0, [o, files] {
        if (auto node = std::dynamic_pointer_cast<FileSystemNode>(o)) node->prcessFiles(files);
        else if (auto group = std::dynamic_pointer_cast<GroupModel>(o)) group->prcessFiles(files);
    });
}


// ---------------------------------------------------------------------------------
// Hover

void CellActionsDelegate::disableDraged() { isMouseDragged_ = false; }

bool CellActionsDelegate::hoverIsHeld() {
    // A press of any button (the menu of a right press is on its way) or an open menu.
    return GetCurrentButtonState() != 0 || MenuPresenter::isTracking();
}

void CellActionsDelegate::menuDidBeginTracking() {
    // What the hover showed goes, and what it was about to do does not happen: the
    // menu's own event loop would run the pending steps and the cells' rest timers, and
    // the Leave its pointer grab causes, over the menu.
    cancelPreviousPerformRequests();
    closeTooltip();
    if (windowPreviewController_) windowPreviewController_->forseClosePreview();
}

void CellActionsDelegate::hidePreview() {
    if (windowPreviewController_ && windowPreviewController_->previewIsShow()) windowPreviewController_->hidePreview();
}

void CellActionsDelegate::hidePreviewIfPosible() {
    if (isPreviewActive()) performAfterDelay(1.0, [](CellActionsDelegate& d) { d.hidePreview(); });
}

int CellActionsDelegate::getPreferredEdgeForConfig() const {
    auto c = config();
    if (!c) return 0;
    return (c->position() == 3 || c->position() == 1) ? 1 : 0;
}

QWidget* CellActionsDelegate::itemUnderPointer() const {
    QWidget* top = panelWidget();
    if (!top) return nullptr;
    // Where the pointer is now, in the panel's window (y up).
    const Point global = GetCurrentPointerLocation();
    const QPoint inTop = top->mapFromGlobal(QPoint(int(std::lround(global.x)), int(std::lround(global.y))));
    return collectionViewItemForMousePoint(MakePoint(inTop.x(), top->height() - inTop.y()));
}

QWidget* CellActionsDelegate::collectionViewItemForMousePoint(const Point& locationInWindow) const {
    QWidget* view = collectionView_.data();
    QWidget* top = panelWidget();
    if (!view || !top) return nullptr;
    const QPoint inTop(int(std::lround(locationInWindow.x)), int(std::lround(top->height() - locationInWindow.y)));
    const QPoint local = top == view ? inTop : view->mapFrom(top, inTop);
    if (!view->rect().contains(local)) return nullptr;
    QWidget* hit = view->childAt(local);
    return hit ? itemViewFor(hit, view) : nullptr;
}

void CellActionsDelegate::showPreviewWhithObject(const std::optional<Dictionary>& dictionary) {
    if (!previewsOn() && !tooltipsOn()) return;
    if (docWindow_ && docWindow_->isAutoHidden()) return;
    if (hoverIsHeld()) return;
    if (isMouseDragged_) {
        performAfterDelay(0.3, [](CellActionsDelegate& d) { d.disableDraged(); });
        return;
    }
    QWidget* item = itemUnderPointer();
    cancelPreviousPerformRequests();
    if (item) {
        QPointer<QWidget> guarded = item;
        performAfterDelay(0.0, [guarded](CellActionsDelegate& d) { d.previewOnDelayWithItem(guarded.data()); });
    } else if (dictionary) {
        internalMouseEnteredInView(*dictionary);
    } else {
        performAfterDelay(0.5, [](CellActionsDelegate& d) { d.hidePreviewIfPosible(); });
    }
}

void CellActionsDelegate::previewOrTooltip(const Value& object, QWidget* view) {
    auto ex = cachedEx(object);
    if (ex && !ex->windows().empty() && previewsOn() && windowPreviewController_ && view) {
        windowPreviewController_->showWindowPreviewForApp(ex, boundsOf(view), view, RectEdge(getPreferredEdgeForConfig()),
                                                         self());
        ex->upratePreviews();
        return;
    }
    if (windowPreviewController_) windowPreviewController_->forseClosePreview();
    if (tooltipsOn()) showTooltipInView(view, object);
}

void CellActionsDelegate::previewOnDelayWithItem(QWidget* itemView) {
    if (!previewsOn() && !tooltipsOn()) return;
    if (docWindow_ && docWindow_->isAutoHidden()) return;
    if (MenuPresenter::isTracking()) return;
    closeTooltip();
    auto* cellView = qobject_cast<CollectionItemView*>(itemView);
    const Value object = cellView ? cellView->representedObject() : Value();
    if (!itemView || !object.object()) {
        performAfterDelay(0.5, [](CellActionsDelegate& d) { d.hidePreviewIfPosible(); });
        return;
    }
    if (kindOf(object) == "NSRunningApplication") {
        previewOrTooltip(object, itemView);
        return;
    }
    if (windowPreviewController_) windowPreviewController_->forseClosePreview();
    if (tooltipsOn()) showTooltipInView(itemView, object);
}

void CellActionsDelegate::mouseStopedWhithDict(const Dictionary& dictionary) {
    if (hoverIsHeld()) return;
    QWidget* under = itemUnderPointer();
    cancelPreviousPerformRequests();
    auto app = dictionary.find("app");
    const Value object = app == dictionary.end() ? Value() : app->second;
    if (kindOf(object) != "NSRunningApplication" && windowPreviewController_)
        windowPreviewController_->forseClosePreview();
    auto view = dictionary.find("view");
    if (under && view != dictionary.end() && viewOfValue(view->second) == under) internalMouseEnteredInView(dictionary);
}

void CellActionsDelegate::internalMouseEnteredInView(const Dictionary& dictionary) {
    if (!previewsOn() && !tooltipsOn()) return;
    if (docWindow_ && docWindow_->isAutoHidden()) return;
    if (MenuPresenter::isTracking()) return;
    if (isMouseDragged_) return;
    auto app = dictionary.find("app");
    const Value object = app == dictionary.end() ? Value() : app->second;
    const std::string kind = kindOf(object);
    if (kind == "Separator") return;
    auto viewIt = dictionary.find("view");
    QWidget* view = viewIt == dictionary.end() ? nullptr : viewOfValue(viewIt->second);
    if (kind == "NSRunningApplication") {
        previewOrTooltip(object, view);
        return;
    }
    if (tooltipsOn() && localizedNameOf(object.object())) showTooltipInView(view, object);
}

void CellActionsDelegate::mouseEnteredWhithDict(const Dictionary& dictionary) {
    if (docWindow_ && docWindow_->isAutoHidden()) return;
    if (hoverIsHeld()) return;
    if (isMouseDragged_) {
        performAfterDelay(0.3, [](CellActionsDelegate& d) { d.disableDraged(); });
        return;
    }
    closeTooltip();
    if (windowPreviewController_) windowPreviewController_->forseClosePreview();
    performAfterDelay(double(0.3f), [dictionary](CellActionsDelegate& d) { d.internalMouseEnteredInView(dictionary); });
}

void CellActionsDelegate::mouseExited(const Event&, QWidget*, const Value&) {
    performAfterDelay(0.5, [](CellActionsDelegate& d) { d.hidePreviewIfPosible(); });
}

void CellActionsDelegate::closeTooltip() {
    if (!tooltip_) return;
    auto old = std::move(tooltip_);
    old->close();
}

void CellActionsDelegate::showTooltipInView(QWidget* view, const Value& object) {
    closeTooltip();
    // An item without a name (a separator) shows no empty bubble.
    auto name = localizedNameOf(object.object());
    if (!view || !name || name->empty()) return;
    tooltip_ = Tooltip::initWithString(*name, boundsOf(view), view, RectEdge(getPreferredEdgeForConfig()), true);
}

}  // namespace qs
