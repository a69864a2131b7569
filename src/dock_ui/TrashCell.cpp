#include "dock_ui/TrashCell.h"

#include <algorithm>
#include <cmath>

#include "core/TrashModel.h"
#include "dock_ui/CellActionsDelegate.h"
#include "dock_ui/DockCollectionItemCell.h"
#include "dock_ui/ItemIconCache.h"
#include "dock_ui/TashDropCellView.h"
#include "platform/desktop/UserMessages.h"
#include "platform/foundation/Log.h"
#include "platform/ui/DragAndDrop.h"
#include "platform/ui/MenuPresenter.h"
#include "platform/ui/ViewObject.h"
#include "tracking/FinderOperations.h"

namespace qs {

TrashCell::TrashCell() = default;

TrashCell::~TrashCell() { *alive_ = false; }

TashDropCellView* TrashCell::dropView() const { return dropView_.data(); }
DockCellIconView* TrashCell::imageView() const { return imageView_.data(); }

std::shared_ptr<CollectionViewItem> TrashCell::copy() const {
    auto cell = std::make_shared<TrashCell>();
    cell->cellActionsDelegate_ = cellActionsDelegate_;
    return cell;
}

void TrashCell::loadView() {
    auto* root = new TashDropCellView;
    dropView_ = root;
    imageView_ = new DockCellIconView(root);
    connect(root, &TashDropCellView::resized, this, [this] { layoutSubviews(); });
    setView(root);
    root->setDelegate(std::static_pointer_cast<TrashCell>(shared_from_this()));
}

void TrashCell::viewDidLoad() {
    CollectionViewItem::viewDidLoad();
    // The icon takes no drops (nor presses): they reach the trash view behind it.
    updateTrackingAreas();
    layoutSubviews();
}

void TrashCell::updateTrackingAreas() {
    if (QWidget* v = isViewLoaded() ? view() : nullptr) v->setMouseTracking(true);
}

void TrashCell::setRepresentedObject(const Value& object) {
    view();
    CollectionViewItem::setRepresentedObject(object);
    if (dropView_ && !object.isNil()) {
        // The view's context menu is the trash's.
        dropView_->setCellActionsDelegate(cellActionsDelegate());
        dropView_->setRepresentedObject(object);
    }
    iconObservation_.invalidate();
    if (auto item = object.object()) {
        iconObservation_ = item->observe("icon", KeyValueObservingOptionNew, [this](const KeyValueChange&) {
            if (auto current = representedObjectPointer()) ItemIconCache::shared().invalidate(current.get());
            requestIcon();
        });
    }
    requestIcon();
}

void TrashCell::setSelected(bool selected) {
    CollectionViewItem::setSelected(selected);
    if (dropView_) dropView_->setSelected(selected);
}

void TrashCell::layoutSubviews() {
    if (!dropView_ || !imageView_) return;
    // As the item cells: a square icon resting 9 points above the bottom.
    const int w = dropView_->width(), h = dropView_->height();
    const int side = std::max(0, std::min(w, h - int(DockCollectionItemCell::kBounceTopY)));
    const int y = int(std::lround(h - DockCollectionItemCell::kIconRestY - side));
    imageView_->setGeometry((w - side) / 2, y, side, side);
    const int pixels = int(std::lround(side * imageView_->devicePixelRatioF()));
    if (pixels != iconPixels_) requestIcon();
}

void TrashCell::requestIcon() {
    if (imageView_) iconPixels_ = imageView_->requestIcon(representedObjectPointer(), false);
}

namespace {

void tellWhatStayed(const FileOperations::DropOutcome& outcome) {
    if (auto message = FileOperations::messageForDrop(outcome)) {
        log("not every file dropped on the trash could be moved to it");
        desktop::tellUser(*message);
    }
}

}  // namespace

void TrashCell::dropZone(QWidget*, const std::vector<URLPtr>& files) { trashDroppedFiles(files); }

uint64_t TrashCell::trashDroppedFiles(const std::vector<URLPtr>& files) {
    if (!representedObject().objectAs<TrashModel>()) return NSDragOperationNone;
    const auto drop = FileOperations::dropItemsIntoTrash(files, tellWhatStayed);
    tellWhatStayed(drop.now);
    return drop.now.moved + drop.queued > 0 ? NSDragOperationMove : NSDragOperationNone;
}

// ---------------------------------------------------------------------------------
// Mouse

void TrashCell::mouseDown(const Event& event) {
    if (event.modifierFlags & NSEventModifierFlagControl) {
        press_ = Press::None;
        rightMouseDown(event);
        return;
    }
    // What follows decides: a release is a click, a drag a drag.
    press_ = Press::Waiting;
}

void TrashCell::mouseDragged(const Event& event) {
    if (press_ == Press::Dragging) {
        // The collection view follows the drag it was handed.
        CollectionViewItem::mouseDragged(event);
        return;
    }
    if (press_ != Press::Waiting) return;
    press_ = Press::Dragging;
    auto keep = shared_from_this();
    if (auto actions = cellActionsDelegate()) {
        actions->mouseDown(event);
        actions->mouseDragged(event);
    }
    CollectionViewItem::mouseDown(event);
    CollectionViewItem::mouseDragged(event);
}

void TrashCell::mouseUp(const Event& event) {
    const Press was = press_;
    press_ = Press::None;
    // The release of a drag belongs to the drag.
    if (was != Press::Waiting) return;
    auto keep = shared_from_this();
    if (auto actions = cellActionsDelegate()) actions->mouseUp(event, view(), representedObject(), true);
    setSelected(false);
}

void TrashCell::rightMouseDown(const Event& event) {
    if (!dropView_) return;
    auto menu = dropView_->menuForEvent(event);
    if (!menu) return;
    auto keep = shared_from_this();
    QWidget* v = view();
    QWidget* top = event.window && (event.window == v || event.window->isAncestorOf(v)) ? event.window : v->window();
    const QPoint inTop(int(std::lround(event.locationInWindow.x)), int(std::lround(top->height() - event.locationInWindow.y)));
    const QPoint local = top == v ? inTop : v->mapFrom(top, inTop);
    MenuPresenter::popUpMenuPositioningItem(menu, nullptr, MakePoint(local.x(), local.y()), v);
}

Dictionary TrashCell::hoverDictionary() {
    if (!viewObject_) viewObject_ = viewObject(view());
    return Dictionary{{"app", representedObject()}, {"view", Value(viewObject_)}};
}

void TrashCell::mouseEntered(const Event& event) {
    CollectionViewItem::mouseEntered(event);
    // At the next turn of the run loop.
    std::weak_ptr<bool> alive = alive_;
    RunLoop::main().after(0.0, [this, alive] {
        if (alive.expired()) return;
        if (auto actions = cellActionsDelegate()) actions->mouseEnteredWhithDict(hoverDictionary());
    });
}

void TrashCell::mouseMoved(const Event&) {}

void TrashCell::mouseExited(const Event& event) {
    CollectionViewItem::mouseExited(event);
    if (auto actions = cellActionsDelegate()) actions->mouseExited(event, view(), representedObject());
}

}  // namespace qs
