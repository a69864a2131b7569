#pragma once
// A collection view fed by a data source, laid out as a flow of equal cells (the
// platform's NSCollectionView with a data source and an NSCollectionViewFlowLayout),
// for contents too long to make one view per object: a folder of ten thousand files.
//
// Only the cells in sight have an item. The view asks its data source for the number
// of items and, as cells scroll into sight, for the item of each index path; the data
// source answers with makeItemWithIdentifier, which hands out an item that scrolled
// out of sight (after prepareForReuse) or makes one of the class registered for the
// identifier. reloadData forgets every item shown and asks again.
//
// The flow: cells of itemSize in rows, sectionInset around them, at least
// minimumInteritemSpacing between cells of a row and minimumLineSpacing between rows;
// as many columns as the width holds (at least one), the rows centred in the width.
// The view scrolls vertically.
//
// Selection: with isSelectable, a press on a cell selects it (one at a time) and a
// press between cells clears the selection when allowsEmptySelection; the arrow keys,
// Home, End, Page Up and Page Down move it, scrolling it into sight. Return and Enter
// ask the delegate to open the selected item. The delegate hears the selections the
// user makes; items in sight are told setSelected.
//
// Main thread only.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include <QAbstractScrollArea>

#include "platform/foundation/Geometry.h"
#include "platform/ui/CollectionView.h"

namespace qs {

class FlowCollectionView;

struct IndexPath {
    size_t section = 0;
    size_t item = 0;
    bool operator==(const IndexPath&) const = default;
};

struct EdgeInsets {
    double top = 0, left = 0, bottom = 0, right = 0;
    bool operator==(const EdgeInsets&) const = default;
};

// NSCollectionViewFlowLayout, the parts used here.
struct CollectionViewFlowLayout {
    Size itemSize = {50, 50};
    EdgeInsets sectionInset;
    double minimumInteritemSpacing = 10;
    double minimumLineSpacing = 10;
};

class FlowCollectionViewDataSource {
public:
    virtual ~FlowCollectionViewDataSource() = default;
    virtual size_t collectionViewNumberOfItemsInSection(FlowCollectionView& view, size_t section) = 0;
    // nullptr for a null index path.
    virtual CollectionViewItemPtr collectionViewItemForRepresentedObjectAtIndexPath(FlowCollectionView& view,
                                                                                 const IndexPath* indexPath) = 0;
};

class FlowCollectionViewDelegate {
public:
    virtual ~FlowCollectionViewDelegate() = default;
    virtual void collectionViewDidSelectItemsAtIndexPaths(FlowCollectionView&, const std::vector<IndexPath>&) {}
    virtual void collectionViewDidDeselectItemsAtIndexPaths(FlowCollectionView&, const std::vector<IndexPath>&) {}
    // Return or Enter on a selected item.
    virtual void collectionViewOpenItemAtIndexPath(FlowCollectionView&, const IndexPath&) {}
};

class FlowCollectionView : public QAbstractScrollArea {
    Q_OBJECT

public:
    using ItemFactory = std::function<CollectionViewItemPtr()>;

    explicit FlowCollectionView(QWidget* parent = nullptr);
    ~FlowCollectionView() override;

    // Held as plain pointers: their owner clears them before it goes.
    void setDataSource(FlowCollectionViewDataSource* dataSource) { dataSource_ = dataSource; }
    FlowCollectionViewDataSource* dataSource() const { return dataSource_; }
    void setDelegate(FlowCollectionViewDelegate* delegate) { delegate_ = delegate; }
    FlowCollectionViewDelegate* delegate() const { return delegate_; }

    const CollectionViewFlowLayout& collectionViewLayout() const { return layout_; }
    void setCollectionViewLayout(const CollectionViewFlowLayout& layout);
    // The item sizes the grid allows; the layout's item size is kept between them.
    void setMinItemSize(const Size& size);
    void setMaxItemSize(const Size& size);
    Size minItemSize() const { return minItemSize_; }
    Size maxItemSize() const { return maxItemSize_; }

    void registerClass(ItemFactory factory, const std::string& identifier);
    // An item of the identifier's class for the index path: one that left the view if
    // there is one (told prepareForReuse), else a new one. nullptr (with a log line) for
    // an identifier never registered.
    CollectionViewItemPtr makeItemWithIdentifier(const std::string& identifier, const IndexPath& indexPath);

    // Forgets the items shown and asks the data source again; the selection is cleared
    // and the scroll position kept where the new contents allow.
    void reloadData();
    size_t numberOfItems() const { return count_; }

    bool isSelectable() const { return selectable_; }
    void setSelectable(bool selectable) { selectable_ = selectable; }
    bool allowsEmptySelection() const { return allowsEmptySelection_; }
    void setAllowsEmptySelection(bool allows) { allowsEmptySelection_ = allows; }
    // backgroundColors: a single clear colour leaves the view transparent.
    void setBackgroundTransparent(bool transparent);

    std::optional<size_t> selectedIndex() const { return selected_; }
    std::vector<IndexPath> selectionIndexPaths() const;
    // Selects (or, with nullopt, clears) without telling the delegate, as the platform's
    // selectItemsAtIndexPaths does.
    void setSelectedIndex(std::optional<size_t> index);
    // As a press or a key does: the delegate hears the change.
    void selectIndexByUser(std::optional<size_t> index);

    // The item of an index in sight; nullptr when it is not in sight.
    CollectionViewItem* itemAtIndex(size_t index) const;
    // The index of an item in sight; nullopt when it is none of them.
    std::optional<size_t> indexOfItem(const CollectionViewItem* item) const;
    // Items in sight now, and items made so far (in sight or waiting for reuse).
    size_t visibleItemCount() const { return visible_.size(); }
    size_t itemsMade() const { return itemsMade_; }

    // Layout, in the coordinates of the whole contents (y down from the top).
    size_t numberOfColumns() const { return columns_; }
    Rect frameForItemAtIndex(size_t index) const;
    double contentHeight() const;
    // The index under a point of the viewport (y down); nullopt between cells.
    std::optional<size_t> indexOfItemAtPoint(const QPoint& viewportPoint) const;
    void scrollToItem(size_t index);

    // Called by the items on a press of their view: focus and selection.
    void itemMouseDown(CollectionViewItem& item, const Event& event);
    // The view an item is shown in; nullptr when it is in none.
    static FlowCollectionView* containing(const CollectionViewItem& item);

    // Lays the items in sight out now (done on every change, scroll and resize).
    void layoutItems();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void computeColumns();
    void updateScrollBar();
    void recycle(size_t index);
    void moveSelection(long delta);
    Size effectiveItemSize() const;

    FlowCollectionViewDataSource* dataSource_ = nullptr;
    FlowCollectionViewDelegate* delegate_ = nullptr;
    CollectionViewFlowLayout layout_;
    Size minItemSize_;
    Size maxItemSize_;
    std::map<std::string, ItemFactory> factories_;
    std::map<std::string, std::vector<CollectionViewItemPtr>> reusable_;
    std::unordered_map<const CollectionViewItem*, std::string> identifiers_;
    std::map<size_t, CollectionViewItemPtr> visible_;
    size_t count_ = 0;
    size_t columns_ = 1;
    double rowOffset_ = 0;  // left edge of the first column
    double spacing_ = 0;    // between columns, as laid out
    std::optional<size_t> selected_;
    bool selectable_ = false;
    bool allowsEmptySelection_ = true;
    bool laying_ = false;
    size_t itemsMade_ = 0;
};

}  // namespace qs
