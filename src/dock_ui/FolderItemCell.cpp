#include "dock_ui/FolderItemCell.h"

#include <cmath>

#include <QApplication>
#include <QCursor>

#include "dock_ui/FlowCollectionView.h"
#include "dock_ui/FolderViewController.h"
#include "platform/ui/MenuPresenter.h"

namespace qs {

MenuPtr FolderCellView::menuForEvent(const Event&) {
    auto menu = std::make_shared<Menu>("menu");
    menu->setAutoenablesItems(false);
    menu->addItem(makeOpenItem());
    menu->addItem(makeOpenWithItem());
    menu->addItem(MenuItem::separatorItem());
    menu->addItem(makeGetInfoItem());
    menu->addItem(makeShowInFinderItem());
    return menu;
}

FolderCellView* FolderItemCell::cellView() { return static_cast<FolderCellView*>(view()); }

void FolderItemCell::loadView() { setView(new FolderCellView); }

void FolderItemCell::viewDidLoad() { cellView()->setLayerBackgroundColor(Qt::transparent); }

void FolderItemCell::setSelected(bool selected) {
    CollectionViewItem::setSelected(selected);
    QColor color(Qt::black);
    color.setAlphaF(FileCellView::kSelectedAlpha);
    cellView()->setLayerBackgroundColor(selected ? color : QColor(Qt::transparent));
}

void FolderItemCell::setRepresentedObject(const Value& object) {
    CollectionViewItem::setRepresentedObject(object);
    pressed_ = dragging_ = false;
    if (object.isNil()) return;
    FolderCellView* v = cellView();
    v->setRepresentedObject(object);
    std::weak_ptr<FolderViewController> controller = controller_;
    v->setOpenedHandler([controller] {
        if (auto c = controller.lock()) c->closePreview();
    });
}

void FolderItemCell::mouseDown(const Event& event) {
    CollectionViewItem::mouseDown(event);
    if (FlowCollectionView* grid = FlowCollectionView::containing(*this)) grid->itemMouseDown(*this, event);
    pressed_ = true;
    dragging_ = false;
    pressedAt_ = event.locationInWindow;
}

void FolderItemCell::mouseDragged(const Event& event) {
    CollectionViewItem::mouseDragged(event);
    if (!pressed_ || dragging_) return;
    const double dx = event.locationInWindow.x - pressedAt_.x, dy = event.locationInWindow.y - pressedAt_.y;
    if (std::hypot(dx, dy) < QApplication::startDragDistance()) return;
    dragging_ = true;
    pressed_ = false;
    auto keep = shared_from_this();
    if (auto controller = controller_.lock()) controller->beginDraggingCell(*this);
}

void FolderItemCell::mouseUp(const Event&) {
    const bool click = pressed_ && !dragging_;
    pressed_ = dragging_ = false;
    if (!click) return;
    auto keep = shared_from_this();
    if (auto controller = controller_.lock())
        controller->openItemOfCell(*this);
    else
        clickAct();
}

void FolderItemCell::rightMouseDown(const Event& event) {
    pressed_ = dragging_ = false;
    if (FlowCollectionView* grid = FlowCollectionView::containing(*this)) grid->itemMouseDown(*this, event);
    FolderCellView* v = cellView();
    MenuPtr menu = v->menuForEvent(event);
    if (!menu) return;
    const QPoint at = v->mapFromGlobal(QCursor::pos());
    MenuPresenter::popUpMenuPositioningItem(menu, nullptr, MakePoint(at.x(), at.y()), v);
}

void FolderItemCell::clickAct(QObject*) {
    auto object = representedObject().object();
    if (auto node = std::dynamic_pointer_cast<FileSystemNode>(object)) node->clickAction(node.get());
}

}  // namespace qs
