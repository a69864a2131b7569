#include "dock_ui/DockCollectionView.h"

#include "dock_ui/CellActionsDelegate.h"
#include "dock_ui/DockCollectionItemCell.h"

namespace qs {

DockCollectionView::DockCollectionView(QWidget* parent) : CollectionView(parent) {}

CollectionViewItemPtr DockCollectionView::newItemForRepresentedObject(const Value& object) {
    auto item = object.object();
    if (item && item->className() == "TrashModel") {
        // The trash has a cell of its own, made fresh rather than copied.
        auto trash = std::make_shared<DockCollectionItemCell>();
        trash->setCellDelegate(cellActionsDelegate());
        trash->setRepresentedObject(object);
        return trash;
    }
    return CollectionView::newItemForRepresentedObject(object);
}

}  // namespace qs
