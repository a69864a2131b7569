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
// Drag and drop (the legacy delegate calls of the platform's collection view): with a
// drag delegate set and types registered, a left-button drag of an item asks the delegate
// whether it may start (once per press), lets it write the pasteboard, and runs a QDrag;
// drags over the view are offered to the drop zones inside the items first
// (DraggingDestination, routed by DragRouter), and elsewhere validated and accepted by
// the delegate at a gap index (0 before the first item, count after the last), shown
// by a thin indicator. A hovering drag moves only the indicator: no item is laid out
// or repainted.
//
// Main thread only.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Object.h"
#include "platform/ui/ArrayController.h"
#include "platform/ui/DragAndDrop.h"
#include "platform/ui/Event.h"

class QDrag;

namespace qs {

class CollectionView;

// Where a drop lands relative to the proposed index.
enum CollectionViewDropOperation : int { NSCollectionViewDropOn = 0, NSCollectionViewDropBefore = 1 };

// The drag-and-drop half of the collection view's delegate.
class CollectionViewDragDelegate {
public:
    virtual ~CollectionViewDragDelegate() = default;
    virtual bool canDragItemsAtIndexes(CollectionView&, const IndexSet&, const Event&) { return false; }
    virtual bool writeItemsAtIndexes(CollectionView&, const IndexSet&, Pasteboard&) { return false; }
    // The operation the drop would perform (None refuses); may change the index and the
    // drop operation.
    virtual uint64_t validateDrop(CollectionView&, const DraggingInfo&, long& /*proposedIndex*/,
                                  int& /*dropOperation*/) {
        return NSDragOperationNone;
    }
    virtual bool acceptDrop(CollectionView&, const DraggingInfo&, long /*index*/, int /*dropOperation*/) {
        return false;
    }
    virtual void draggingSessionWillBegin(CollectionView&, const Point& /*screenPoint*/, const IndexSet&) {}
};

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

    // Drag and drop.
    std::shared_ptr<CollectionViewDragDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<CollectionViewDragDelegate>& delegate) { delegate_ = delegate; }
    void registerForDraggedTypes(const std::vector<std::string>& types);
    const std::vector<std::string>& registeredDraggedTypes() const { return draggedTypes_; }
    void setDraggingSourceOperationMask(uint64_t mask, bool forLocal);
    uint64_t draggingSourceOperationMask(bool forLocal) const { return forLocal ? localMask_ : externalMask_; }
    // The gap a drop at the point (the view's coordinates, y down) lands in: 0 before the
    // first item, numberOfItems() after the last.
    long dropIndexAtPoint(const Point& point) const;
    // The gap the hovering drag is offered (-1 when none) and its indicator.
    long proposedDropIndex() const { return proposedIndex_; }
    QWidget* dropIndicator() const { return indicator_; }
    const DragRouter& dragRouter() const { return router_; }
    // How a drag runs: QDrag::exec unless a test installs its own (answering the action).
    using DragRunner = std::function<int(QDrag& drag, int supportedActions, int defaultAction)>;
    static void setDragRunnerForTesting(DragRunner runner);
    int dragsStarted() const { return dragsStarted_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    friend class CollectionViewItem;
    void itemPressed();
    QPoint pointInView(const Event& event) const;
    void startDrag(CollectionViewItem& item, const Event& event);
    const Pasteboard& dragPasteboard(const QMimeData* data);
    // Routes or validates a hovering drag; answers the Qt action (IgnoreAction: refused).
    int hover(QDropEvent* event);
    void showIndicator(long index);
    void hideIndicator();
    void endHover();
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

    // Drag and drop.
    std::weak_ptr<CollectionViewDragDelegate> delegate_;
    std::vector<std::string> draggedTypes_;
    uint64_t localMask_ = NSDragOperationEvery;
    uint64_t externalMask_ = NSDragOperationNone;
    // The press being followed: where its drag began, and whether the delegate was asked.
    bool tracking_ = false;
    bool asked_ = false;
    QPoint dragOrigin_;
    int dragsStarted_ = 0;
    // The drag hovering the view.
    const QMimeData* hoverData_ = nullptr;
    std::unique_ptr<Pasteboard> hoverPasteboard_;
    DragRouter router_{this};
    long proposedIndex_ = -1;
    int proposedOperation_ = NSCollectionViewDropBefore;
    int hoverAction_ = 0;
    QWidget* indicator_ = nullptr;

    std::weak_ptr<ArrayController> contentController_;
    std::weak_ptr<ArrayController> selectionController_;
    KeyValueObservation contentObservation_;
    KeyValueObservation selectionObservation_;
};

}  // namespace qs
