#include "dock_ui/FlowCollectionView.h"

#include <algorithm>
#include <cmath>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include "platform/foundation/Log.h"

namespace qs {

FlowCollectionView::FlowCollectionView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setFocusProxy(this);
}

FlowCollectionView::~FlowCollectionView() {
    dataSource_ = nullptr;
    delegate_ = nullptr;
    visible_.clear();
    reusable_.clear();
}

FlowCollectionView* FlowCollectionView::containing(const CollectionViewItem& item) {
    if (!item.isViewLoaded()) return nullptr;
    QWidget* view = const_cast<CollectionViewItem&>(item).view();
    for (QWidget* w = view ? view->parentWidget() : nullptr; w; w = w->parentWidget())
        if (auto* flow = qobject_cast<FlowCollectionView*>(w)) return flow;
    return nullptr;
}

void FlowCollectionView::setCollectionViewLayout(const CollectionViewFlowLayout& layout) {
    layout_ = layout;
    layoutItems();
}

void FlowCollectionView::setMinItemSize(const Size& size) {
    if (size == minItemSize_) return;
    minItemSize_ = size;
    layoutItems();
}

void FlowCollectionView::setMaxItemSize(const Size& size) {
    if (size == maxItemSize_) return;
    maxItemSize_ = size;
    layoutItems();
}

Size FlowCollectionView::effectiveItemSize() const {
    Size s = layout_.itemSize;
    auto clampSide = [](double v, double lo, double hi) {
        if (lo > 0) v = std::max(v, lo);
        if (hi > 0) v = std::min(v, hi);
        return std::isfinite(v) && v >= 1 ? v : 1.0;
    };
    s.width = clampSide(s.width, minItemSize_.width, maxItemSize_.width);
    s.height = clampSide(s.height, minItemSize_.height, maxItemSize_.height);
    return s;
}

void FlowCollectionView::registerClass(ItemFactory factory, const std::string& identifier) {
    factories_[identifier] = std::move(factory);
}

CollectionViewItemPtr FlowCollectionView::makeItemWithIdentifier(const std::string& identifier, const IndexPath&) {
    auto& queue = reusable_[identifier];
    if (!queue.empty()) {
        CollectionViewItemPtr item = std::move(queue.back());
        queue.pop_back();
        item->setSelected(false);
        return item;
    }
    auto factory = factories_.find(identifier);
    if (factory == factories_.end() || !factory->second) {
        log("no item class is registered for the identifier \"", identifier, "\"");
        return nullptr;
    }
    CollectionViewItemPtr item = factory->second();
    if (!item) return nullptr;
    ++itemsMade_;
    identifiers_[item.get()] = identifier;
    return item;
}

void FlowCollectionView::recycle(size_t index) {
    auto it = visible_.find(index);
    if (it == visible_.end()) return;
    CollectionViewItemPtr item = std::move(it->second);
    visible_.erase(it);
    if (item->isViewLoaded()) item->view()->hide();
    item->setSelected(false);
    auto id = identifiers_.find(item.get());
    if (id != identifiers_.end()) reusable_[id->second].push_back(std::move(item));
}

void FlowCollectionView::reloadData() {
    std::vector<size_t> shown;
    shown.reserve(visible_.size());
    for (const auto& [index, item] : visible_) shown.push_back(index);
    for (size_t index : shown) recycle(index);
    count_ = dataSource_ ? dataSource_->collectionViewNumberOfItemsInSection(*this, 0) : 0;
    selected_.reset();
    layoutItems();
}

void FlowCollectionView::setBackgroundTransparent(bool transparent) {
    viewport()->setAutoFillBackground(!transparent);
    setAutoFillBackground(!transparent);
    setAttribute(Qt::WA_TranslucentBackground, transparent);
    viewport()->setAttribute(Qt::WA_TranslucentBackground, transparent);
}

std::vector<IndexPath> FlowCollectionView::selectionIndexPaths() const {
    if (!selected_) return {};
    return {IndexPath{0, *selected_}};
}

void FlowCollectionView::setSelectedIndex(std::optional<size_t> index) {
    if (index && *index >= count_) index.reset();
    if (index == selected_) return;
    if (selected_)
        if (auto* item = itemAtIndex(*selected_)) item->setSelected(false);
    selected_ = index;
    if (selected_)
        if (auto* item = itemAtIndex(*selected_)) item->setSelected(true);
}

void FlowCollectionView::selectIndexByUser(std::optional<size_t> index) {
    if (!selectable_) return;
    if (index && *index >= count_) return;
    if (!index && !allowsEmptySelection_) return;
    if (index == selected_) return;
    const std::optional<size_t> previous = selected_;
    setSelectedIndex(index);
    if (!delegate_) return;
    if (previous) delegate_->collectionViewDidDeselectItemsAtIndexPaths(*this, {IndexPath{0, *previous}});
    if (selected_ && delegate_) delegate_->collectionViewDidSelectItemsAtIndexPaths(*this, {IndexPath{0, *selected_}});
}

CollectionViewItem* FlowCollectionView::itemAtIndex(size_t index) const {
    auto it = visible_.find(index);
    return it == visible_.end() ? nullptr : it->second.get();
}

std::optional<size_t> FlowCollectionView::indexOfItem(const CollectionViewItem* item) const {
    for (const auto& [index, shown] : visible_)
        if (shown.get() == item) return index;
    return std::nullopt;
}

void FlowCollectionView::computeColumns() {
    const Size cell = effectiveItemSize();
    const double width = viewport()->width();
    const double inner = width - layout_.sectionInset.left - layout_.sectionInset.right;
    const double pitch = cell.width + std::max(0.0, layout_.minimumInteritemSpacing);
    size_t columns = 1;
    if (inner > cell.width && pitch > 0) columns = size_t(std::floor((inner - cell.width) / pitch)) + 1;
    columns = std::max<size_t>(1, columns);
    // No more columns than cells: a short row stays together.
    if (count_ > 0) columns = std::min(columns, count_);
    columns_ = columns;
    spacing_ = std::max(0.0, layout_.minimumInteritemSpacing);
    const double rowWidth = double(columns) * cell.width + double(columns - 1) * spacing_;
    rowOffset_ = layout_.sectionInset.left + std::max(0.0, std::floor((inner - rowWidth) / 2));
}

Rect FlowCollectionView::frameForItemAtIndex(size_t index) const {
    const Size cell = effectiveItemSize();
    const size_t columns = std::max<size_t>(columns_, 1);
    const size_t row = index / columns, column = index % columns;
    const double lineSpacing = std::max(0.0, layout_.minimumLineSpacing);
    return MakeRect(rowOffset_ + double(column) * (cell.width + spacing_),
                    layout_.sectionInset.top + double(row) * (cell.height + lineSpacing), cell.width, cell.height);
}

double FlowCollectionView::contentHeight() const {
    if (count_ == 0) return 0;
    const Size cell = effectiveItemSize();
    const size_t columns = std::max<size_t>(columns_, 1);
    const size_t rows = (count_ + columns - 1) / columns;
    const double lineSpacing = std::max(0.0, layout_.minimumLineSpacing);
    return layout_.sectionInset.top + layout_.sectionInset.bottom + double(rows) * cell.height +
           double(rows - 1) * lineSpacing;
}

std::optional<size_t> FlowCollectionView::indexOfItemAtPoint(const QPoint& viewportPoint) const {
    const double y = viewportPoint.y() + verticalScrollBar()->value();
    const double x = viewportPoint.x();
    const Size cell = effectiveItemSize();
    const double lineSpacing = std::max(0.0, layout_.minimumLineSpacing);
    const double ry = y - layout_.sectionInset.top, rx = x - rowOffset_;
    if (ry < 0 || rx < 0) return std::nullopt;
    const size_t row = size_t(ry / (cell.height + lineSpacing));
    const size_t column = size_t(rx / (cell.width + spacing_));
    if (column >= columns_) return std::nullopt;
    // Between cells.
    if (ry - double(row) * (cell.height + lineSpacing) >= cell.height) return std::nullopt;
    if (rx - double(column) * (cell.width + spacing_) >= cell.width) return std::nullopt;
    const size_t index = row * columns_ + column;
    if (index >= count_) return std::nullopt;
    return index;
}

void FlowCollectionView::updateScrollBar() {
    const int total = int(std::ceil(contentHeight()));
    const int page = viewport()->height();
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, std::max(0, total - page));
    bar->setPageStep(std::max(1, page));
    bar->setSingleStep(std::max(1, int(effectiveItemSize().height / 2)));
}

void FlowCollectionView::layoutItems() {
    if (laying_) return;
    laying_ = true;
    computeColumns();
    updateScrollBar();
    // The scroll bar may have come or gone, changing the width: once more.
    computeColumns();
    updateScrollBar();

    const Size cell = effectiveItemSize();
    const double lineSpacing = std::max(0.0, layout_.minimumLineSpacing);
    const double pitch = cell.height + lineSpacing;
    const double top = verticalScrollBar()->value();
    const double bottom = top + viewport()->height();
    size_t first = 0, last = 0;  // [first, last)
    if (count_ > 0 && viewport()->height() > 0 && viewport()->width() > 0) {
        const double inset = layout_.sectionInset.top;
        const size_t firstRow = top <= inset ? 0 : size_t((top - inset) / pitch);
        const size_t lastRow = bottom <= inset ? 0 : size_t((bottom - inset) / pitch);
        first = std::min(count_, firstRow * columns_);
        last = std::min(count_, (lastRow + 1) * columns_);
    }

    std::vector<size_t> gone;
    for (const auto& [index, item] : visible_)
        if (index < first || index >= last) gone.push_back(index);
    for (size_t index : gone) recycle(index);

    for (size_t index = first; index < last; ++index) {
        auto it = visible_.find(index);
        CollectionViewItemPtr item;
        if (it != visible_.end()) {
            item = it->second;
        } else {
            if (!dataSource_) break;
            const IndexPath path{0, index};
            item = dataSource_->collectionViewItemForRepresentedObjectAtIndexPath(*this, &path);
            if (!item) continue;
            visible_[index] = item;
            item->setSelected(selected_ && *selected_ == index);
        }
        QWidget* v = item->view();
        if (!v) continue;
        if (v->parentWidget() != viewport()) v->setParent(viewport());
        const Rect f = frameForItemAtIndex(index);
        const QRect r(int(std::lround(f.origin.x)), int(std::lround(f.origin.y - top)), int(std::lround(f.size.width)),
                      int(std::lround(f.size.height)));
        if (v->geometry() != r) {
            item->viewWillLayout();
            v->setGeometry(r);
        }
        if (!v->isVisible()) v->show();
    }
    laying_ = false;
}

void FlowCollectionView::scrollToItem(size_t index) {
    if (index >= count_) return;
    const Rect f = frameForItemAtIndex(index);
    QScrollBar* bar = verticalScrollBar();
    const int top = int(std::floor(f.origin.y - layout_.sectionInset.top));
    const int bottom = int(std::ceil(MaxY(f) + layout_.sectionInset.bottom));
    if (top < bar->value())
        bar->setValue(top);
    else if (bottom > bar->value() + viewport()->height())
        bar->setValue(bottom - viewport()->height());
}

void FlowCollectionView::moveSelection(long delta) {
    if (count_ == 0) return;
    long next;
    if (!selected_)
        next = delta >= 0 ? 0 : long(count_) - 1;
    else
        next = std::clamp(long(*selected_) + delta, 0L, long(count_) - 1);
    selectIndexByUser(size_t(next));
    scrollToItem(size_t(next));
}

void FlowCollectionView::itemMouseDown(CollectionViewItem& item, const Event&) {
    setFocus(Qt::MouseFocusReason);
    if (auto index = indexOfItem(&item)) selectIndexByUser(*index);
}

void FlowCollectionView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    layoutItems();
}

void FlowCollectionView::scrollContentsBy(int, int) { layoutItems(); }

bool FlowCollectionView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Resize) {
        const bool handled = QAbstractScrollArea::viewportEvent(event);
        layoutItems();
        return handled;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void FlowCollectionView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() == Qt::LeftButton) {
        auto index = indexOfItemAtPoint(event->position().toPoint());
        selectIndexByUser(index);
    }
    event->accept();
}

void FlowCollectionView::keyPressEvent(QKeyEvent* event) {
    const long columns = long(std::max<size_t>(columns_, 1));
    const Size cell = effectiveItemSize();
    const double pitch = cell.height + std::max(0.0, layout_.minimumLineSpacing);
    const long pageRows = std::max(1L, long(viewport()->height() / std::max(1.0, pitch)));
    switch (event->key()) {
        case Qt::Key_Left: moveSelection(-1); break;
        case Qt::Key_Right: moveSelection(1); break;
        case Qt::Key_Up: moveSelection(selected_ ? -columns : 0); break;
        case Qt::Key_Down: moveSelection(selected_ ? columns : 0); break;
        case Qt::Key_PageUp: moveSelection(-columns * pageRows); break;
        case Qt::Key_PageDown: moveSelection(columns * pageRows); break;
        case Qt::Key_Home: moveSelection(-long(count_)); break;
        case Qt::Key_End: moveSelection(long(count_)); break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (selected_ && delegate_) delegate_->collectionViewOpenItemAtIndexPath(*this, IndexPath{0, *selected_});
            break;
        default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    event->accept();
}

}  // namespace qs
