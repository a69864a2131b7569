#include "dock_ui/CollectionItemView.h"

#include "dock_ui/CellActionsDelegate.h"
#include "platform/ui/Menu.h"

namespace qs {

CollectionItemView::CollectionItemView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_NoSystemBackground);
}

void CollectionItemView::setSelected(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    update();
}

std::shared_ptr<Menu> CollectionItemView::menuForEvent(const Event&) const {
    auto delegate = cellActionsDelegate_.lock();
    return delegate ? delegate->menuForItemViewWhithObject(representedObject_) : nullptr;
}

CollectionItemView* CollectionItemView::copy() const { return new CollectionItemView; }

void CollectionItemView::paintEvent(QPaintEvent*) { ++paints_; }

void CollectionItemView::resizeEvent(QResizeEvent*) { emit resized(); }

}  // namespace qs
