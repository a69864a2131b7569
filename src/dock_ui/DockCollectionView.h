#pragma once
// The collection view of a dock panel: the panel's cells, one per dock item, made from
// the panel's prototype cell. The trash gets a cell of its own kind (TrashCell). The view
// keeps a weak reference to the panel's cell-actions delegate, which the cells it makes
// receive. Every item cell it makes gets its drop zone (DropCellView); drags and drops
// over the panel are handled by the collection view with the panel's
// CollectionViewDelegate.

#include <memory>

#include "platform/ui/CollectionView.h"

namespace qs {

class CellActionsDelegate;

class DockCollectionView : public CollectionView {
    Q_OBJECT

public:
    explicit DockCollectionView(QWidget* parent = nullptr);

    std::shared_ptr<CellActionsDelegate> cellActionsDelegate() const { return cellActionsDelegate_.lock(); }
    void setCellActionsDelegate(const std::shared_ptr<CellActionsDelegate>& delegate) { cellActionsDelegate_ = delegate; }

    CollectionViewItemPtr newItemForRepresentedObject(const Value& object) override;

private:
    std::weak_ptr<CellActionsDelegate> cellActionsDelegate_;
};

}  // namespace qs
