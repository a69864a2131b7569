#include "dock_ui/DockCollectionView.h"

#include "dock_ui/CellActionsDelegate.h"

namespace qs {

DockCollectionView::DockCollectionView(QWidget* parent) : CollectionView(parent) {}

CollectionViewItemPtr DockCollectionView::newItemForRepresentedObject(const Value& object) {
    return CollectionView::newItemForRepresentedObject(object);
}

}  // namespace qs
