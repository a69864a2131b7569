#include "dock_ui/DockCollectionView.h"

#include "dock_ui/CellActionsDelegate.h"
#include "dock_ui/DockCollectionItemCell.h"
#include "dock_ui/DropCellView.h"
#include "dock_ui/TrashCell.h"

namespace qs {

DockCollectionView::DockCollectionView(QWidget* parent) : CollectionView(parent) {}

CollectionViewItemPtr DockCollectionView::newItemForRepresentedObject(const Value& object) {
    auto item = object.object();
    if (item && item->className() == "TrashModel") {
        // The trash has a cell of its own, made fresh rather than copied.
        auto trash = std::make_shared<TrashCell>();
        trash->setCellActionsDelegate(cellActionsDelegate());
        trash->setRepresentedObject(object);
        return trash;
    }
    auto made = CollectionView::newItemForRepresentedObject(object);
    if (auto cell = std::dynamic_pointer_cast<DockCollectionItemCell>(made)) {
        if (!cell->dropCell()) {
            auto* zone = new DropCellView;
            zone->setDelegate(cell);
            cell->setDropCell(zone);
        }
    }
    return made;
}

}  // namespace qs
