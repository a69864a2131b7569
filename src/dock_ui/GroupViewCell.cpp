#include "dock_ui/GroupViewCell.h"

#include <QCursor>
#include <QPoint>

#include "dock_ui/GroupViewController.h"
#include "platform/ui/MenuPresenter.h"

namespace qs {

// ---------------------------------------------------------------------------------
// The view

MenuPtr GroupCellView::menuForEvent(const Event&) {
    auto menu = std::make_shared<Menu>("menu");
    menu->setAutoenablesItems(false);
    menu->addItem(makeOpenItem());
    menu->addItem(MenuItem::separatorItem());
    QPointer<GroupCellView> target(this);
    auto remove = std::make_shared<MenuItem>("Remove", MenuItem::Action{"removeFile:", [target](MenuItem& sender) {
                                                                          if (target) target->removeFile(sender);
                                                                      }});
    remove->setTarget(this);
    menu->addItem(remove);
    menu->addItem(MenuItem::separatorItem());
    menu->addItem(makeOpenWithItem());
    menu->addItem(MenuItem::separatorItem());
    menu->addItem(makeGetInfoItem());
    menu->addItem(makeShowInFinderItem());
    return menu;
}

void GroupCellView::removeFile(MenuItem&) {
    auto controller = controller_.lock();
    auto object = representedObject().object();
    if (controller && object) controller->removeItem(object);
}

// ---------------------------------------------------------------------------------
// The item

GroupCellView* GroupViewCell::cellView() { return static_cast<GroupCellView*>(view()); }

void GroupViewCell::loadView() { setView(new GroupCellView); }

void GroupViewCell::viewDidLoad() {
    // The text field draws no background; the corners of the view are rounded.
    cellView()->setLayerBackgroundColor(Qt::transparent);
}

void GroupViewCell::setSelected(bool selected) {
    CollectionViewItem::setSelected(selected);
    QColor color(Qt::black);
    color.setAlphaF(FileCellView::kSelectedAlpha);
    cellView()->setLayerBackgroundColor(selected ? color : QColor(Qt::transparent));
}

void GroupViewCell::setRepresentedObject(const Value& object) {
    CollectionViewItem::setRepresentedObject(object);
    if (object.isNil()) return;
    GroupCellView* v = cellView();
    v->setRepresentedObject(object);
    v->setController(controller_);
    std::weak_ptr<GroupViewController> controller = controller_;
    v->setOpenedHandler([controller] {
        if (auto c = controller.lock()) c->closePreview();
    });
}

void GroupViewCell::mouseDown(const Event& event) {
    CollectionViewItem::mouseDown(event);
    // The grid selects what is pressed.
    if (CollectionView* grid = collectionView(); grid && grid->isSelectable()) {
        long index = grid->indexOfItem(this);
        if (index >= 0) grid->setSelectionIndexes({size_t(index)});
    }
    if (auto controller = controller_.lock())
        controller->openItemOfCell(*this);
    else
        clickAct();
}

void GroupViewCell::mouseUp(const Event&) {}

void GroupViewCell::rightMouseDown(const Event& event) {
    GroupCellView* v = cellView();
    MenuPtr menu = v->menuForEvent(event);
    if (!menu) return;
    const QPoint at = v->mapFromGlobal(QCursor::pos());
    MenuPresenter::popUpMenuPositioningItem(menu, nullptr, MakePoint(at.x(), at.y()), v);
}

void GroupViewCell::clickAct(QObject*) {
    auto object = representedObject().object();
    if (auto node = std::dynamic_pointer_cast<FileSystemNode>(object)) node->clickAction(node.get());
}

std::shared_ptr<CollectionViewItem> GroupViewCell::copy() const {
    auto cell = std::make_shared<GroupViewCell>();
    cell->setController(controller_);
    return cell;
}

}  // namespace qs
