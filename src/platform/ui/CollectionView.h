#pragma once
// A collection view (the platform's NSCollectionView with an item prototype) and its
// items (NSCollectionViewItem).
//
// The view shows one item per object of its content, in order, as a grid of equal
// cells: at most maxNumberOfRows rows and maxNumberOfColumns columns (0: no limit),
// each cell between minItemSize and maxItemSize (a zero maximum: no limit). With one
// row the cells run left to right, with one column top to bottom.
//
// Items are made from the prototype: newItemForRepresentedObject copies the prototype
// (CollectionViewItem::copy) and gives the copy its object; a subclass may make other
// items for some objects. When the content changes, the items of objects still present
// are kept (matched by identity) and only moved: adding one object to a content of 100
// makes one item and one view; the items of objects that left are told
// viewDidDisappear and destroyed.
//
// The content is usually bound to an array controller's "arrangedObjects" and the
// selection to its "selectionIndexes" (bind). Points given to the view are in its own
// widget coordinates (y down from its top-left corner, as in a flipped view).
//
// Main thread only.

#include <memory>
#include <string>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Object.h"
#include "platform/ui/ArrayController.h"
#include "platform/ui/Event.h"

namespace qs {

class CollectionView;

// One item: a controller owning one view. The view is made on first use by loadView
// (a plain widget unless a subclass makes another), after which viewDidLoad runs. Mouse
// events that reach the view (and those its children leave unhandled) come to the
// handlers below as platform events.
class CollectionViewItem : public QObject, public std::enable_shared_from_this<CollectionViewItem> {
    Q_OBJECT

public:
    CollectionViewItem();
    ~CollectionViewItem() override;

    // The item's view, loaded on first use.
    QWidget* view();
    bool isViewLoaded() const { return !view_.isNull(); }
    // Installs the view (the item owns it from now on; a previous view is deleted).
    void setView(QWidget* view);

    const Value& representedObject() const { return representedObject_; }
    virtual void setRepresentedObject(const Value& object);
    ObjectPtr representedObjectPointer() const { return representedObject_.object(); }

    bool isSelected() const { return selected_; }
    virtual void setSelected(bool selected);

    // The collection view showing the item (nullptr for a prototype).
    CollectionView* collectionView() const { return collectionView_; }

    // A new item of the same kind, configured as this one, with no represented object
    // and no view yet (copyWithZone:). Subclasses override it to make their own kind.
    virtual std::shared_ptr<CollectionViewItem> copy() const;

    // Hooks.
    virtual void loadView();
    virtual void viewDidLoad() {}
    // Before the collection view places the view (its frame may change right after).
    virtual void viewWillLayout() {}
    // The item has left the collection view (its object left the content).
    virtual void viewDidDisappear() {}

    // Mouse handlers, called with the events of the view. mouseDown and mouseDragged
    // pass the event on to the collection view (which starts item drags from them);
    // the others do nothing.
    virtual void mouseDown(const Event& event);
    virtual void mouseUp(const Event& event);
    virtual void rightMouseDown(const Event& event);
    virtual void rightMouseUp(const Event& event);
    virtual void mouseDragged(const Event& event);
    virtual void mouseEntered(const Event& event);
    virtual void mouseExited(const Event& event);
    virtual void mouseMoved(const Event& event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class CollectionView;
    QPointer<QWidget> view_;
    Value representedObject_;
    bool selected_ = false;
    bool loading_ = false;
    CollectionView* collectionView_ = nullptr;
};

using CollectionViewItemPtr = std::shared_ptr<CollectionViewItem>;

class CollectionView : public QWidget {
    Q_OBJECT

public:
    explicit CollectionView(QWidget* parent = nullptr);
    ~CollectionView() override;

    // The prototype (itemPrototype). Items made before a change keep their kind.
    const CollectionViewItemPtr& itemPrototype() const { return prototype_; }
    void setItemPrototype(CollectionViewItemPtr prototype);

    // The objects shown. Setting them reconciles the items (see the top of this file).
    const Array& content() const { return content_; }
    void setContent(const Array& content);

    // Binds "content" to an array controller's "arrangedObjects" or "selectionIndexes"
    // to its "selectionIndexes" (both ways): the view follows every change from now on.
    void bind(const std::string& binding, const ArrayControllerPtr& controller, const std::string& keyPath);
    void unbindAll();

    // A new item for an object: a copy of the prototype given the object. Subclasses
    // make other items for some objects. nullptr without a prototype.
    virtual CollectionViewItemPtr newItemForRepresentedObject(const Value& object);

    // Layout parameters; each change lays the items out again.
    Size minItemSize() const { return minItemSize_; }
    Size maxItemSize() const { return maxItemSize_; }
    void setMinItemSize(const Size& size);
    void setMaxItemSize(const Size& size);
    size_t maxNumberOfRows() const { return maxRows_; }
    size_t maxNumberOfColumns() const { return maxColumns_; }
    void setMaxNumberOfRows(size_t rows);
    void setMaxNumberOfColumns(size_t columns);

    bool isSelectable() const { return selectable_; }
    void setSelectable(bool selectable) { selectable_ = selectable; }
    bool allowsEmptySelection() const { return allowsEmptySelection_; }
    void setAllowsEmptySelection(bool allows) { allowsEmptySelection_ = allows; }
    bool allowsMultipleSelection() const { return allowsMultipleSelection_; }
    void setAllowsMultipleSelection(bool allows) { allowsMultipleSelection_ = allows; }
    const IndexSet& selectionIndexes() const { return selection_; }
    void setSelectionIndexes(const IndexSet& indexes);

    // backgroundColors: a single clear colour (or none) leaves the view transparent.
    void setBackgroundTransparent(bool transparent);

    size_t numberOfItems() const { return items_.size(); }
    // nullptr for an index outside the content.
    CollectionViewItem* itemAtIndex(size_t index) const;
    // The index of the item (of the object), -1 when not shown.
    long indexOfItem(const CollectionViewItem* item) const;
    // The cell of an index, in the view's coordinates (y down).
    Rect frameForItemAtIndex(size_t index) const;
    // The index of the cell under the point (y down), -1 when none.
    long indexOfItemAtPoint(const Point& point) const;
    CollectionViewItem* itemAtPoint(const Point& point) const;
    // The item whose view is (or contains) the widget; nullptr when none.
    CollectionViewItem* itemForView(const QWidget* view) const;

    // The size of one cell as laid out now.
    Size itemSize() const { return itemSize_; }

    // Called by the items' mouseDown / mouseDragged (drags of items start here in
    // subclasses).
    virtual void itemMouseDown(CollectionViewItem& item, const Event& event);
    virtual void itemMouseDragged(CollectionViewItem& item, const Event& event);

    // Lays the items out now (done by every change; also on resize).
    void layoutItems();

    // Counters for tests and measurements: items made, item views made.
    int itemsMade() const { return itemsMade_; }
    int viewsMade() const { return viewsMade_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class CollectionViewItem;
    void computeGrid(size_t count, Size& cell, size_t& columns) const;
    void applySelection();
    void selectionChangedByView();

    CollectionViewItemPtr prototype_;
    Array content_;
    std::vector<CollectionViewItemPtr> items_;
    IndexSet selection_;
    Size minItemSize_;
    Size maxItemSize_;
    size_t maxRows_ = 0;
    size_t maxColumns_ = 0;
    bool selectable_ = false;
    bool allowsEmptySelection_ = true;
    bool allowsMultipleSelection_ = false;
    Size itemSize_;
    size_t columns_ = 1;
    int itemsMade_ = 0;
    int viewsMade_ = 0;

    std::weak_ptr<ArrayController> contentController_;
    std::weak_ptr<ArrayController> selectionController_;
    KeyValueObservation contentObservation_;
    KeyValueObservation selectionObservation_;
};

}  // namespace qs
