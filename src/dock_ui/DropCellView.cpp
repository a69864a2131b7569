#include "dock_ui/DropCellView.h"

#include <QEnterEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "core/FileSystemNode.h"
#include "dock_ui/CellActionsDelegate.h"
#include "dock_ui/CollectionItemView.h"
#include "dock_ui/DockCollectionItemCell.h"
#include "platform/foundation/Log.h"
#include "platform/ui/CollectionView.h"
#include "tracking/FinderOperations.h"

namespace qs {

namespace {

// The platform's "disappearing item" cursor has no X cursor-theme name: an arrow with a
// small puff of smoke beside it, drawn once.
QCursor disappearingItemCursor() {
    static const QCursor cursor = [] {
        QPixmap pixmap(32, 32);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing, true);
        QPainterPath arrow;
        arrow.moveTo(1, 1);
        arrow.lineTo(1, 17);
        arrow.lineTo(5, 13);
        arrow.lineTo(8, 20);
        arrow.lineTo(10, 19);
        arrow.lineTo(7, 12);
        arrow.lineTo(12, 12);
        arrow.closeSubpath();
        p.setPen(QPen(Qt::white, 1.5));
        p.setBrush(Qt::black);
        p.drawPath(arrow);
        p.setPen(QPen(Qt::black, 1.2));
        p.setBrush(Qt::white);
        struct Puff {
            double x, y, r;
        };
        for (const Puff& puff : {Puff{20, 20, 5}, Puff{26, 22, 4}, Puff{23, 26, 4}, Puff{17, 25, 3}})
            p.drawEllipse(QPointF(puff.x, puff.y), puff.r, puff.r);
        return QCursor(pixmap, 1, 1);
    }();
    return cursor;
}

}  // namespace

QCursor cursorFor(DropCursor kind) {
    switch (kind) {
        case DropCursor::PointingHand: return QCursor(Qt::PointingHandCursor);
        case DropCursor::DragCopy: return QCursor(Qt::DragCopyCursor);
        case DropCursor::DisappearingItem: return disappearingItemCursor();
        case DropCursor::None: break;
    }
    return QCursor(Qt::ArrowCursor);
}

std::vector<URLPtr> droppedFileURLs(const Pasteboard& pasteboard) {
    std::vector<URLPtr> urls;
    const auto& paths = pasteboard.filenames();
    urls.reserve(paths.size());
    for (const auto& path : paths)
        if (auto url = URL::fileURLWithPath(path)) urls.push_back(std::move(url));
    return urls;
}

void paintDropHighlight(QWidget* view, double cornerRadius) {
    QPainter p(view);
    p.setRenderHint(QPainter::Antialiasing, true);
    QColor c = view->palette().color(QPalette::Highlight);
    c.setAlphaF(0.35f);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(view->rect()).adjusted(1, 1, -1, -1), cornerRadius, cornerRadius);
}

// ---------------------------------------------------------------------------------

DropZoneView::DropZoneView(QWidget* parent, DropCursor onEntry, DropCursor whileMoving, const char* emptyDrop)
    : QWidget(parent), onEntry_(onEntry), whileMoving_(whileMoving), emptyDrop_(emptyDrop) {
    setAttribute(Qt::WA_NoSystemBackground);
    registerForDraggedTypes({NSFilenamesPboardType});
}

void DropZoneView::setCursor(DropCursor kind) {
    if (kind == cursor_) return;
    cursor_ = kind;
    if (kind == DropCursor::None)
        unsetCursor();
    else
        QWidget::setCursor(cursorFor(kind));
}

uint64_t DropZoneView::hoverOperation(const DraggingInfo&) { return NSDragOperationMove; }

uint64_t DropZoneView::dropOperation(const std::vector<URLPtr>&, const DraggingInfo&, bool&) {
    return NSDragOperationMove;
}

uint64_t DropZoneView::draggingEntered(const DraggingInfo& info) {
    highlighted_ = true;
    update();
    setCursor(onEntry_);
    return hoverOperation(info);
}

uint64_t DropZoneView::draggingUpdated(const DraggingInfo& info) {
    setCursor(whileMoving_);
    return hoverOperation(info);
}

void DropZoneView::draggingExited(const DraggingInfo*) {
    highlighted_ = false;
    setCursor(DropCursor::None);
    update();
}

bool DropZoneView::prepareForDragOperation(const DraggingInfo&) { return true; }

bool DropZoneView::performDragOperation(const DraggingInfo& info) {
    std::vector<URLPtr> urls = droppedFileURLs(info.pasteboard);
    draggingExited(&info);
    if (urls.empty()) {
        log(emptyDrop_);
        return false;
    }
    bool handOver = true;
    const uint64_t operation = dropOperation(urls, info, handOver);
    info.performedOperation = operation;
    if (handOver) handOverDrop(urls);
    return operation != NSDragOperationNone;
}

void DropZoneView::paintEvent(QPaintEvent*) {
    if (highlighted_) paintDropHighlight(this, 6.0);
}

// ---------------------------------------------------------------------------------

DropCellView::DropCellView(QWidget* parent)
    : DropZoneView(parent, DropCursor::PointingHand, DropCursor::PointingHand,
                   "a drop on a dock item carried no local files; nothing was done") {
    setObjectName("DropCellView");
    updateTrackingAreas();
}

DropCellView::~DropCellView() = default;

std::shared_ptr<CellActionsDelegate> DropCellView::cellActionsDelegate() const {
    if (auto d = cellActionsDelegate_.lock()) return d;
    if (auto cell = delegate()) return cell->cellDelegate();
    if (auto* item = qobject_cast<CollectionItemView*>(parentWidget())) return item->cellActionsDelegate();
    return nullptr;
}

Value DropCellView::representedObject() const {
    if (!representedObject_.isNil()) return representedObject_;
    if (auto cell = delegate()) return cell->representedObject();
    if (auto* item = qobject_cast<CollectionItemView*>(parentWidget())) return item->representedObject();
    return Value();
}

void DropCellView::updateTrackingAreas() { setMouseTracking(true); }

bool DropCellView::acceptsDragAtPoint(const QPoint& point) const {
    // An item that takes no files (a document, a separator, the start menu) leaves the
    // whole cell to the drops between items.
    if (!takesFiles()) return false;
    // The dock runs along x unless its collection view stacks its items in one column.
    bool vertical = false;
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (auto* cv = qobject_cast<CollectionView*>(w)) {
            vertical = cv->maxNumberOfColumns() == 1;
            break;
        }
    }
    const double length = vertical ? height() : width();
    const double at = vertical ? point.y() : point.x();
    return at >= length * kEdgeFraction && at < length * (1.0 - kEdgeFraction);
}

bool DropCellView::takesFiles() const {
    const Value item = representedObject();
    auto object = item.object();
    const std::string kind = object ? object->className() : std::string();
    if (kind == "NSRunningApplication" || kind == "GroupModel") return true;
    auto node = item.objectAs<FileSystemNode>();
    return node && (node->isApplication() || node->isDirectory());
}

uint64_t DropCellView::operationFor(const std::vector<URLPtr>& urls, const DraggingInfo& info, bool hovering,
                                    bool* refusedBySource) const {
    if (!takesFiles()) return NSDragOperationNone;
    auto node = representedObject().objectAs<FileSystemNode>();
    if (!node || node->isApplication()) return NSDragOperationCopy;
    const auto plan = FileOperations::planDrop(urls, node->URL());
    const auto action = plan.operation();
    if (!action) {
        // Nothing can be put there: the drop is still taken, to say why, and offered as a
        // copy (a source that hears "copy" keeps its files whatever it makes of it).
        if (!hovering) return NSDragOperationNone;
        return (info.sourceOperationMask & NSDragOperationCopy) ? NSDragOperationCopy : NSDragOperationNone;
    }
    const uint64_t operation = *action == FileOperations::DropAction::Move ? NSDragOperationMove : NSDragOperationCopy;
    // A source that allows only a copy would not expect its files to go: such a drop
    // is not taken (nothing here copies what would be a move).
    if (!(info.sourceOperationMask & operation)) {
        if (refusedBySource) *refusedBySource = true;
        return NSDragOperationNone;
    }
    return operation;
}

uint64_t DropCellView::hoverOperation(const DraggingInfo& info) {
    if (hoverPasteboard_ != &info.pasteboard) {
        hoverPasteboard_ = &info.pasteboard;
        hoverOperation_ = operationFor(droppedFileURLs(info.pasteboard), info, true);
    }
    return hoverOperation_;
}

uint64_t DropCellView::dropOperation(const std::vector<URLPtr>& urls, const DraggingInfo& info, bool& handOver) {
    bool refusedBySource = false;
    const uint64_t operation = operationFor(urls, info, false, &refusedBySource);
    if (refusedBySource) {
        log("a drop asked a folder to copy files it would move; nothing was done");
        handOver = false;
    }
    return operation;
}

void DropCellView::draggingExited(const DraggingInfo* info) {
    hoverPasteboard_ = nullptr;
    DropZoneView::draggingExited(info);
}

void DropCellView::handOverDrop(const std::vector<URLPtr>& urls) {
    if (auto cell = delegate()) cell->dropZone(this, urls);
}

void DropCellView::mouseEntered(const Event& event) {
    if (auto cell = delegate()) cell->mouseEntered(event);
}

std::shared_ptr<Menu> DropCellView::menuForEvent(const Event&) const {
    auto actions = cellActionsDelegate();
    return actions ? actions->menuForItemViewWhithObject(representedObject()) : nullptr;
}

void DropCellView::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    QWidget* top = window();
    const QPointF inTop = mapTo(top, event->position());
    Event e = Event::mouseEvent(NSEventTypeMouseEntered, MakePoint(inTop.x(), double(top->height()) - inTop.y()), 0, 0);
    e.window = top;
    mouseEntered(e);
}

}  // namespace qs
