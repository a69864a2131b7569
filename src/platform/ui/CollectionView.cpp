#include "platform/ui/CollectionView.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDragEnterEvent>
#include <QEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPalette>
#include <QTimer>

#include "platform/foundation/Log.h"
#include "platform/ui/InputState.h"

namespace qs {

// ---------------------------------------------------------------------------------
// Items

CollectionViewItem::CollectionViewItem() = default;

CollectionViewItem::~CollectionViewItem() {
    // The view may be delivering the event that ended the item: it goes later.
    if (view_) {
        view_->removeEventFilter(this);
        view_->hide();
        view_->deleteLater();
    }
}

QWidget* CollectionViewItem::view() {
    if (!view_ && !loading_) {
        loading_ = true;
        loadView();
        if (!view_) setView(new QWidget);
        loading_ = false;
        viewDidLoad();
    }
    return view_.data();
}

void CollectionViewItem::setView(QWidget* view) {
    if (view_ == view) return;
    if (view_) {
        view_->removeEventFilter(this);
        view_->deleteLater();
    }
    view_ = view;
    if (view_) {
        view_->installEventFilter(this);
        view_->setMouseTracking(true);
        if (collectionView_) {
            view_->setParent(collectionView_);
            view_->show();
        }
    }
}

void CollectionViewItem::loadView() { setView(new QWidget); }

void CollectionViewItem::setRepresentedObject(const Value& object) { representedObject_ = object; }

void CollectionViewItem::setSelected(bool selected) { selected_ = selected; }

std::shared_ptr<CollectionViewItem> CollectionViewItem::copy() const { return std::make_shared<CollectionViewItem>(); }

void CollectionViewItem::mouseDown(const Event& event) {
    if (collectionView_) collectionView_->itemMouseDown(*this, event);
}

void CollectionViewItem::mouseDragged(const Event& event) {
    if (collectionView_) collectionView_->itemMouseDragged(*this, event);
}

void CollectionViewItem::mouseUp(const Event&) {}
void CollectionViewItem::rightMouseDown(const Event&) {}
void CollectionViewItem::rightMouseUp(const Event&) {}
void CollectionViewItem::mouseEntered(const Event&) {}
void CollectionViewItem::mouseExited(const Event&) {}
void CollectionViewItem::mouseMoved(const Event&) {}

bool CollectionViewItem::eventFilter(QObject* watched, QEvent* event) {
    if (watched != view_.data()) return false;
    // A handler may take the item's object out of the content, ending the item.
    auto keep = weak_from_this().lock();
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            if (collectionView_) collectionView_->itemPressed();
            Event e = Event::fromQt(*event, view_);
            if (e.type == NSEventTypeLeftMouseDown) mouseDown(e);
            else if (e.type == NSEventTypeRightMouseDown) rightMouseDown(e);
            return true;
        }
        case QEvent::MouseButtonRelease: {
            Event e = Event::fromQt(*event, view_);
            if (e.type == NSEventTypeLeftMouseUp) mouseUp(e);
            else if (e.type == NSEventTypeRightMouseUp) rightMouseUp(e);
            return true;
        }
        case QEvent::MouseMove: {
            Event e = Event::fromQt(*event, view_);
            if (e.type == NSEventTypeLeftMouseDragged) mouseDragged(e);
            else if (e.type == NSEventTypeMouseMoved) mouseMoved(e);
            return true;
        }
        case QEvent::Enter:
        case QEvent::Leave: {
            QWidget* v = view_.data();
            QWidget* top = v->window();
            QPointF local = event->type() == QEvent::Enter ? static_cast<QEnterEvent*>(event)->position()
                                                           : QPointF(v->mapFromGlobal(QCursor::pos()));
            QPointF inTop = v->mapTo(top, local);
            Event e = Event::mouseEvent(event->type() == QEvent::Enter ? NSEventTypeMouseEntered : NSEventTypeMouseExited,
                                        MakePoint(inTop.x(), double(top->height()) - inTop.y()), 0, 0);
            e.window = top;
            if (event->type() == QEvent::Enter) mouseEntered(e);
            else mouseExited(e);
            return false;
        }
        default:
            return false;
    }
}

// ---------------------------------------------------------------------------------
// The view

namespace {
// How often a running drag of an item reads the keyboard for Escape (milliseconds).
constexpr int kEscapePollInterval = 25;

CollectionView::DragRunner& dragRunner() {
    static CollectionView::DragRunner runner;
    return runner;
}
}  // namespace

CollectionView::CollectionView(QWidget* parent) : QWidget(parent) {}

CollectionView::~CollectionView() {
    contentObservation_.invalidate();
    selectionObservation_.invalidate();
    for (auto& item : items_) item->collectionView_ = nullptr;
}

void CollectionView::setItemPrototype(CollectionViewItemPtr prototype) { prototype_ = std::move(prototype); }

CollectionViewItemPtr CollectionView::newItemForRepresentedObject(const Value& object) {
    if (!prototype_) return nullptr;
    auto item = prototype_->copy();
    if (item) item->setRepresentedObject(object);
    return item;
}

void CollectionView::setContent(const Array& content) {
    // Old items by object identity (several for an object shown more than once).
    std::unordered_map<const Object*, std::vector<size_t>> byObject;
    byObject.reserve(items_.size());
    std::vector<bool> used(items_.size(), false);
    for (size_t i = 0; i < items_.size(); ++i) {
        const Value& v = items_[i]->representedObject_;
        if (v.isObject()) byObject[v.object().get()].push_back(i);
    }

    std::vector<CollectionViewItemPtr> next;
    next.reserve(content.size());
    for (const Value& object : content) {
        CollectionViewItemPtr kept;
        if (object.isObject()) {
            auto it = byObject.find(object.object().get());
            if (it != byObject.end()) {
                for (size_t i : it->second) {
                    if (!used[i]) {
                        used[i] = true;
                        kept = items_[i];
                        break;
                    }
                }
            }
        } else {
            for (size_t i = 0; i < items_.size(); ++i) {
                if (!used[i] && !items_[i]->representedObject_.isObject() &&
                    sameElement(items_[i]->representedObject_, object)) {
                    used[i] = true;
                    kept = items_[i];
                    break;
                }
            }
        }
        if (!kept) {
            kept = newItemForRepresentedObject(object);
            if (!kept) {
                kept = std::make_shared<CollectionViewItem>();
                kept->setRepresentedObject(object);
            }
            ++itemsMade_;
            kept->collectionView_ = this;
            bool hadView = kept->isViewLoaded();
            QWidget* v = kept->view();
            if (!hadView) ++viewsMade_;
            if (v) {
                v->setParent(this);
                v->setGeometry(0, 0, 0, 0);  // placed by the layout below
                v->show();
            }
        }
        next.push_back(std::move(kept));
    }

    std::vector<CollectionViewItemPtr> gone;
    for (size_t i = 0; i < items_.size(); ++i)
        if (!used[i]) gone.push_back(items_[i]);

    items_ = std::move(next);
    content_ = content;
    if (!selectionController_.lock()) {
        selection_.erase(std::remove_if(selection_.begin(), selection_.end(),
                                        [&](size_t i) { return i >= items_.size(); }),
                         selection_.end());
    }

    for (auto& item : gone) {
        item->viewDidDisappear();
        if (item->view_) item->view_->hide();
        item->collectionView_ = nullptr;
        item->selected_ = false;
    }
    gone.clear();  // destroys the items nobody else holds (their views go later)

    layoutItems();
    applySelection();
}

void CollectionView::bind(const std::string& binding, const ArrayControllerPtr& controller,
                          const std::string& keyPath) {
    if (!controller) return;
    if (binding == "content" && keyPath == "arrangedObjects") {
        contentController_ = controller;
        ArrayController* c = controller.get();
        contentObservation_ = controller->observe("arrangedObjects", KeyValueObservingOptionNew,
                                                  [this, c](const KeyValueChange&) { setContent(c->arrangedObjects()); });
        setContent(controller->arrangedObjects());
    } else if (binding == "selectionIndexes" && keyPath == "selectionIndexes") {
        selectionController_ = controller;
        ArrayController* c = controller.get();
        selectionObservation_ = controller->observe(
            "selectionIndexes", KeyValueObservingOptionNew,
            [this, c](const KeyValueChange&) { setSelectionIndexes(c->selectionIndexes()); });
        setSelectionIndexes(controller->selectionIndexes());
    } else {
        log("CollectionView: cannot bind ", binding, " to ", keyPath);
    }
}

void CollectionView::unbindAll() {
    contentObservation_.invalidate();
    selectionObservation_.invalidate();
    contentController_.reset();
    selectionController_.reset();
}

void CollectionView::setMinItemSize(const Size& size) {
    if (size == minItemSize_) return;
    minItemSize_ = size;
    layoutItems();
}

void CollectionView::setMaxItemSize(const Size& size) {
    if (size == maxItemSize_) return;
    maxItemSize_ = size;
    layoutItems();
}

void CollectionView::setMaxNumberOfRows(size_t rows) {
    if (rows == maxRows_) return;
    maxRows_ = rows;
    layoutItems();
}

void CollectionView::setMaxNumberOfColumns(size_t columns) {
    if (columns == maxColumns_) return;
    maxColumns_ = columns;
    layoutItems();
}

void CollectionView::setSelectionIndexes(const IndexSet& indexes) {
    IndexSet s = indexes;
    std::sort(s.begin(), s.end());
    s.erase(std::unique(s.begin(), s.end()), s.end());
    s.erase(std::remove_if(s.begin(), s.end(), [&](size_t i) { return i >= items_.size(); }), s.end());
    if (s == selection_) return;
    selection_ = std::move(s);
    applySelection();
    selectionChangedByView();
}

void CollectionView::selectionChangedByView() {
    if (auto c = selectionController_.lock())
        if (c->selectionIndexes() != selection_) c->setSelectionIndexes(selection_);
}

void CollectionView::applySelection() {
    size_t next = 0;
    for (size_t i = 0; i < items_.size(); ++i) {
        while (next < selection_.size() && selection_[next] < i) ++next;
        bool selected = next < selection_.size() && selection_[next] == i;
        if (items_[i]->isSelected() != selected) items_[i]->setSelected(selected);
    }
}

void CollectionView::setBackgroundTransparent(bool transparent) {
    setAttribute(Qt::WA_NoSystemBackground, transparent);
    setAutoFillBackground(!transparent);
}

CollectionViewItem* CollectionView::itemAtIndex(size_t index) const {
    return index < items_.size() ? items_[index].get() : nullptr;
}

long CollectionView::indexOfItem(const CollectionViewItem* item) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == item) return long(i);
    return -1;
}

void CollectionView::computeGrid(size_t count, Size& cell, size_t& columns) const {
    cell = minItemSize_;
    if (cell.width <= 0 || cell.height <= 0) {
        Size fallback = MakeSize(50, 50);
        if (prototype_ && prototype_->isViewLoaded()) {
            QSize s = prototype_->view_->size();
            if (s.width() > 0 && s.height() > 0) fallback = MakeSize(s.width(), s.height());
        }
        if (cell.width <= 0) cell.width = fallback.width;
        if (cell.height <= 0) cell.height = fallback.height;
    }
    const double W = width(), H = height();
    if (maxRows_ == 1) {
        columns = std::max<size_t>(count, 1);
        if (maxColumns_ > 0) columns = std::min(columns, maxColumns_);
    } else if (maxColumns_ == 1) {
        columns = 1;
    } else {
        columns = std::max<size_t>(1, size_t(std::floor(W / cell.width)));
        if (maxColumns_ > 0) columns = std::min(columns, maxColumns_);
    }
    // Cells stretch toward the maximum size to fill the view.
    if (maxItemSize_.width > cell.width && columns > 0)
        cell.width = std::min(maxItemSize_.width, std::max(cell.width, W / double(columns)));
    size_t rows = count == 0 ? 1 : (count + columns - 1) / columns;
    if (maxItemSize_.height > cell.height && rows > 0)
        cell.height = std::min(maxItemSize_.height, std::max(cell.height, H / double(rows)));
}

void CollectionView::layoutItems() {
    Size cell;
    size_t columns = 1;
    computeGrid(items_.size(), cell, columns);
    itemSize_ = cell;
    columns_ = columns;
    for (size_t i = 0; i < items_.size(); ++i) {
        QWidget* v = items_[i]->view_.data();
        if (!v) continue;
        Rect f = frameForItemAtIndex(i);
        QRect r(int(std::lround(f.origin.x)), int(std::lround(f.origin.y)), int(std::lround(f.size.width)),
                int(std::lround(f.size.height)));
        if (v->geometry() != r) {
            items_[i]->viewWillLayout();
            v->setGeometry(r);
        }
    }
}

Rect CollectionView::frameForItemAtIndex(size_t index) const {
    size_t columns = std::max<size_t>(columns_, 1);
    size_t row = index / columns, column = index % columns;
    return MakeRect(double(column) * itemSize_.width, double(row) * itemSize_.height, itemSize_.width,
                    itemSize_.height);
}

long CollectionView::indexOfItemAtPoint(const Point& p) const {
    if (itemSize_.width <= 0 || itemSize_.height <= 0 || p.x < 0 || p.y < 0) return -1;
    size_t column = size_t(p.x / itemSize_.width), row = size_t(p.y / itemSize_.height);
    if (column >= columns_) return -1;
    size_t index = row * columns_ + column;
    return index < items_.size() ? long(index) : -1;
}

CollectionViewItem* CollectionView::itemAtPoint(const Point& point) const {
    long i = indexOfItemAtPoint(point);
    return i < 0 ? nullptr : items_[size_t(i)].get();
}

CollectionViewItem* CollectionView::itemForView(const QWidget* view) const {
    for (const QWidget* w = view; w && w != this; w = w->parentWidget())
        for (const auto& item : items_)
            if (item->view_.data() == w) return item.get();
    return nullptr;
}

void CollectionView::itemMouseDown(CollectionViewItem&, const Event&) {}

void CollectionView::itemMouseDragged(CollectionViewItem& item, const Event& event) {
    if (!delegate() || asked_) return;
    const QPoint at = pointInView(event);
    if (!tracking_) {
        tracking_ = true;
        dragOrigin_ = at;
    }
    if ((at - dragOrigin_).manhattanLength() < QApplication::startDragDistance()) return;
    asked_ = true;  // once per press, whatever the answer
    startDrag(item, event);
}

// ---------------------------------------------------------------------------------
// Drag and drop

void CollectionView::setDragRunnerForTesting(DragRunner runner) { dragRunner() = std::move(runner); }

void CollectionView::registerForDraggedTypes(const std::vector<std::string>& types) {
    for (const auto& t : types)
        if (std::find(draggedTypes_.begin(), draggedTypes_.end(), t) == draggedTypes_.end()) draggedTypes_.push_back(t);
    setAcceptDrops(!draggedTypes_.empty());
}

void CollectionView::setDraggingSourceOperationMask(uint64_t mask, bool forLocal) {
    (forLocal ? localMask_ : externalMask_) = mask;
}

void CollectionView::itemPressed() {
    tracking_ = false;
    asked_ = false;
}

QPoint CollectionView::pointInView(const Event& event) const {
    QWidget* top = event.window;
    if (top && (top == this || top->isAncestorOf(this))) {
        const QPointF inTop(event.locationInWindow.x, double(top->height()) - event.locationInWindow.y);
        return top == this ? inTop.toPoint() : mapFrom(top, inTop.toPoint());
    }
    return mapFromGlobal(QCursor::pos());
}

void CollectionView::startDrag(CollectionViewItem& item, const Event& event) {
    auto delegate = this->delegate();
    const long index = indexOfItem(&item);
    if (!delegate || index < 0) return;
    const IndexSet indexes{size_t(index)};
    if (!delegate->canDragItemsAtIndexes(*this, indexes, event)) return;
    Pasteboard pasteboard;
    if (!delegate->writeItemsAtIndexes(*this, indexes, pasteboard)) return;
    // The item stays alive through the drag whatever the drop does to the content.
    auto keep = item.shared_from_this();
    const QPoint at = pointInView(event);
    const QPoint global = mapToGlobal(at);
    delegate->draggingSessionWillBegin(*this, MakePoint(global.x(), global.y()), indexes);

    auto* drag = new QDrag(this);
    drag->setMimeData(pasteboard.takeMimeData());
    if (QWidget* v = item.view()) {
        drag->setPixmap(v->grab());
        drag->setHotSpot(v->mapFrom(this, at));
    }
    // Inside the program any operation; elsewhere the external mask (a copy).
    Qt::DropActions actions = Qt::IgnoreAction;
    const uint64_t mask = localMask_ | externalMask_;
    if (mask & NSDragOperationCopy) actions |= Qt::CopyAction;
    if (mask & (NSDragOperationMove | NSDragOperationGeneric)) actions |= Qt::MoveAction;
    if (mask & NSDragOperationLink) actions |= Qt::LinkAction;
    const Qt::DropAction preferred = (localMask_ & NSDragOperationMove) ? Qt::MoveAction : Qt::CopyAction;
    ++dragsStarted_;
    if (dragRunner()) {
        dragRunner()(*drag, int(actions), int(preferred));
        drag->deleteLater();
    } else {
        // Runs until the drop, or until Escape or a release where nobody takes it (then
        // nothing changes). The panels never take the keyboard focus, so the drag would
        // not hear Escape itself: the keyboard is read while the drag runs.
        QTimer escape;
        escape.setInterval(kEscapePollInterval);
        connect(&escape, &QTimer::timeout, &escape, [] {
            KeyMap keys{};
            GetKeys(keys);
            if ((keys[kVK_Escape / 8] >> (kVK_Escape % 8)) & 1) QDrag::cancel();
        });
        escape.start();
        drag->exec(actions, preferred);
    }
    tracking_ = false;
    endHover();
}

const Pasteboard& CollectionView::dragPasteboard(const QMimeData* data) {
    if (!hoverPasteboard_ || hoverData_ != data) {
        hoverData_ = data;
        hoverPasteboard_ = std::make_unique<Pasteboard>(data);
    }
    return *hoverPasteboard_;
}

int CollectionView::hover(QDropEvent* event) {
    const Pasteboard& pasteboard = dragPasteboard(event->mimeData());
    const QPoint at = event->position().toPoint();
    const bool inside = event->source() != nullptr;
    const uint64_t mask = operationsForQtActions(int(event->possibleActions()));
    uint64_t operation = NSDragOperationNone;
    const bool zone = router_.moved(at, pasteboard, inside, mask, operation);
    if (zone) {
        hideIndicator();
    } else {
        auto delegate = this->delegate();
        if (!delegate || !pasteboard.hasAnyType(draggedTypes_)) {
            hideIndicator();
            return Qt::IgnoreAction;
        }
        long index = dropIndexAtPoint(MakePoint(at.x(), at.y()));
        int dropOperation = NSCollectionViewDropBefore;
        DraggingInfo info{pasteboard, at, inside, mask};
        operation = delegate->validateDrop(*this, info, index, dropOperation);
        if (operation == NSDragOperationNone) {
            hideIndicator();
            return Qt::IgnoreAction;
        }
        proposedOperation_ = dropOperation;
        showIndicator(index);
    }
    if (operation == NSDragOperationNone) return Qt::IgnoreAction;
    const int action = qtDropActionForOperation(operation);
    // A drop zone answers with what it really does to the files (a folder moving them
    // in, the trash taking them): the source hears that, and a zone whose operation the
    // source does not allow does not take the drag.
    if (zone) return (event->possibleActions() & Qt::DropAction(action)) ? action : int(Qt::IgnoreAction);
    // Between the items, a drag from another program is answered as a copy: the files
    // stay where they are and the dock only shows them.
    if (!inside && (event->possibleActions() & Qt::CopyAction)) return Qt::CopyAction;
    if (event->possibleActions() & Qt::DropAction(action)) return action;
    return int(event->proposedAction());
}

void CollectionView::dragEnterEvent(QDragEnterEvent* event) {
    hoverAction_ = hover(event);
    // Entered even where nothing takes it yet, so that the moves keep coming.
    const Pasteboard& pasteboard = dragPasteboard(event->mimeData());
    if (hoverAction_ != Qt::IgnoreAction) {
        event->setDropAction(Qt::DropAction(hoverAction_));
        event->accept();
    } else if (pasteboard.hasAnyType(draggedTypes_)) {
        event->acceptProposedAction();  // the move that follows at once answers for this place
    } else {
        event->ignore();
    }
}

void CollectionView::dragMoveEvent(QDragMoveEvent* event) {
    hoverAction_ = hover(event);
    if (hoverAction_ == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::DropAction(hoverAction_));
    event->accept();
}

void CollectionView::dragLeaveEvent(QDragLeaveEvent* event) {
    QWidget::dragLeaveEvent(event);
    endHover();
}

void CollectionView::dropEvent(QDropEvent* event) {
    const Pasteboard& pasteboard = dragPasteboard(event->mimeData());
    const QPoint at = event->position().toPoint();
    const bool inside = event->source() != nullptr;
    const uint64_t mask = operationsForQtActions(int(event->possibleActions()));
    bool done = false;
    std::optional<uint64_t> performed;
    if (router_.current()) {
        done = router_.drop(at, pasteboard, inside, mask, &performed);
    } else if (proposedIndex_ >= 0) {
        if (auto delegate = this->delegate()) {
            DraggingInfo info{pasteboard, at, inside, mask};
            const long index = proposedIndex_;
            hideIndicator();
            done = delegate->acceptDrop(*this, info, index, proposedOperation_);
        }
    }
    // The source is told what was done: the zone's own word when it gave one.
    int action = hoverAction_;
    if (performed) action = *performed == NSDragOperationNone ? int(Qt::IgnoreAction) : qtDropActionForOperation(*performed);
    if (done && action != Qt::IgnoreAction && (event->possibleActions() & Qt::DropAction(action))) {
        event->setDropAction(Qt::DropAction(action));
        event->accept();
    } else {
        event->ignore();
    }
    endHover();
}

void CollectionView::endHover() {
    if (router_.current()) router_.left(hoverPasteboard_.get(), false);
    hideIndicator();
    hoverPasteboard_.reset();
    hoverData_ = nullptr;
    hoverAction_ = Qt::IgnoreAction;
}

long CollectionView::dropIndexAtPoint(const Point& p) const {
    const long count = long(items_.size());
    if (itemSize_.width <= 0 || itemSize_.height <= 0 || count == 0) return count;
    const long columns = long(std::max<size_t>(columns_, 1));
    long index;
    if (maxColumns_ == 1) {
        index = long(std::floor(p.y / itemSize_.height + 0.5));
    } else {
        const long rows = (count + columns - 1) / columns;
        const long row = std::clamp<long>(long(std::floor(p.y / itemSize_.height)), 0, rows - 1);
        const long column = std::clamp<long>(long(std::floor(p.x / itemSize_.width + 0.5)), 0, columns);
        index = row * columns + column;
    }
    return std::clamp<long>(index, 0, count);
}

void CollectionView::showIndicator(long index) {
    if (index == proposedIndex_ && indicator_ && indicator_->isVisible()) return;
    proposedIndex_ = index;
    if (!indicator_) {
        indicator_ = new QWidget(this);
        indicator_->setAttribute(Qt::WA_TransparentForMouseEvents);
        indicator_->setAutoFillBackground(true);
        QPalette palette = indicator_->palette();
        palette.setColor(QPalette::Window, palette.color(QPalette::Highlight));
        indicator_->setPalette(palette);
    }
    const long columns = long(std::max<size_t>(columns_, 1));
    const int w = int(std::lround(itemSize_.width)), h = int(std::lround(itemSize_.height));
    constexpr int thickness = 3;
    QRect r;
    if (maxColumns_ == 1) {
        r = QRect(0, int(index) * h - thickness / 2, w, thickness);
    } else {
        const long row = index == long(items_.size()) && index > 0 ? (index - 1) / columns : index / columns;
        const long column = index - row * columns;
        r = QRect(int(column) * w - thickness / 2, int(row) * h, thickness, h);
    }
    r = r.intersected(rect().adjusted(0, 0, 0, 0));
    if (r.isEmpty()) r = QRect(std::clamp(r.x(), 0, std::max(0, width() - thickness)), r.y(), thickness, h);
    indicator_->setGeometry(r);
    indicator_->raise();
    indicator_->show();
}

void CollectionView::hideIndicator() {
    proposedIndex_ = -1;
    if (indicator_ && indicator_->isVisible()) indicator_->hide();
}

void CollectionView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutItems();
}

}  // namespace qs
