#include "dock_ui/TashDropCellView.h"

#include "dock_ui/CellActionsDelegate.h"
#include "dock_ui/TrashCell.h"
#include "platform/foundation/Log.h"

namespace qs {

TashDropCellView::TashDropCellView(QWidget* parent) : QWidget(parent) {
    setObjectName("TashDropCellView");
    setAttribute(Qt::WA_NoSystemBackground);
    registerForDraggedTypes({NSFilenamesPboardType});
}

TashDropCellView::~TashDropCellView() = default;

void TashDropCellView::setCursor(DropCursor kind) {
    if (kind == cursor_) return;
    cursor_ = kind;
    if (kind == DropCursor::None)
        unsetCursor();
    else
        QWidget::setCursor(cursorFor(kind));
}

void TashDropCellView::setSelected(bool selected) {
    if (selected == selected_) return;
    selected_ = selected;
    update();
}

uint64_t TashDropCellView::draggingEntered(const DraggingInfo&) {
    highlighted_ = true;
    update();
    setCursor(DropCursor::DragCopy);
    return NSDragOperationMove;
}

uint64_t TashDropCellView::draggingUpdated(const DraggingInfo&) {
    setCursor(DropCursor::DisappearingItem);
    return NSDragOperationMove;
}

void TashDropCellView::draggingExited(const DraggingInfo*) {
    highlighted_ = false;
    setCursor(DropCursor::None);
    update();
}

bool TashDropCellView::prepareForDragOperation(const DraggingInfo&) { return true; }

bool TashDropCellView::performDragOperation(const DraggingInfo& info) {
    std::vector<URLPtr> urls = droppedFileURLs(info.pasteboard);
    draggingExited(&info);
    if (urls.empty()) {
        log("a drop on the trash carried no local files; nothing was moved");
        return false;
    }
    if (auto cell = delegate()) cell->dropZone(this, urls);
    return true;
}

std::shared_ptr<Menu> TashDropCellView::menuForEvent(const Event&) const {
    auto actions = cellActionsDelegate();
    return actions ? actions->menuForItemViewWhithObject(representedObject_) : nullptr;
}

void TashDropCellView::paintEvent(QPaintEvent*) {
    if (highlighted_) paintDropHighlight(this, 6.0);
}

void TashDropCellView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emit resized();
}

}  // namespace qs
