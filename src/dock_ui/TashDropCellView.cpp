#include "dock_ui/TashDropCellView.h"

#include "dock_ui/CellActionsDelegate.h"
#include "dock_ui/TrashCell.h"
#include "platform/foundation/Log.h"

namespace qs {

TashDropCellView::TashDropCellView(QWidget* parent)
    : DropZoneView(parent, DropCursor::DragCopy, DropCursor::DisappearingItem,
                   "a drop on the trash carried no local files; nothing was moved") {
    setObjectName("TashDropCellView");
}

TashDropCellView::~TashDropCellView() = default;

void TashDropCellView::setSelected(bool selected) {
    if (selected == selected_) return;
    selected_ = selected;
    update();
}

void TashDropCellView::handOverDrop(const std::vector<URLPtr>& urls) {
    if (auto cell = delegate()) cell->dropZone(this, urls);
}

uint64_t TashDropCellView::dropOperation(const std::vector<URLPtr>& urls, const DraggingInfo&, bool& handOver) {
    handOver = false;
    auto cell = delegate();
    return cell ? cell->trashDroppedFiles(urls) : NSDragOperationNone;
}

std::shared_ptr<Menu> TashDropCellView::menuForEvent(const Event&) const {
    auto actions = cellActionsDelegate();
    return actions ? actions->menuForItemViewWhithObject(representedObject_) : nullptr;
}

void TashDropCellView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emit resized();
}

}  // namespace qs
