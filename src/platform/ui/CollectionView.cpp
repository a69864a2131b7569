#include "platform/ui/CollectionView.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include <QCursor>
#include <QEnterEvent>
#include <QMouseEvent>

#include "platform/foundation/Log.h"

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
void CollectionView::itemMouseDragged(CollectionViewItem&, const Event&) {}

void CollectionView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutItems();
}

}  // namespace qs
