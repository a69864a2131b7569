#pragma once
// The folder popover: a grid of a folder's contents beside the dock. A click on a cell
// opens the file; dragging a cell carries the file out (to the file manager); a right
// click offers "Open", "Open With", "Get Info" and "Show in Finder"; a search field
// shows when the contents need more than one row; a button opens the folder itself in
// the file manager. The user's downloads folder lists the most recently added first.
// One controller per dock panel; its popover is reused for every folder, each show
// switching the model and reloading.
//
// The grid asks this controller for its cells (it is the grid's data source) and makes
// only the cells in sight, so a folder of any size opens at once. While the popover
// shows it follows the folder: a new listing of the folder's children (the folder item
// relists itself when its folder changes) reloads the grid, keeping the search and the
// selected file.
//
// The popover is transient and takes the keyboard: typing searches, Down moves into the
// grid, the arrow keys move the selection, Return opens the selected file.
//
// Main thread only.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QPointer>
#include <QString>

#include "core/FileSystemNode.h"
#include "dock_ui/FlowCollectionView.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/Object.h"
#include "platform/ui/Popover.h"

class QDrag;
class QLineEdit;
class QMimeData;
class QToolButton;

namespace qs {

class FolderItemCell;
class FolderViewContent;

class FolderViewController : public Object, public FlowCollectionViewDataSource, public FlowCollectionViewDelegate {
public:
    // Runs a drag; the default runs it with QDrag::exec. Tests put their own.
    using DragPerformer = std::function<void(QDrag& drag)>;

    // init: makes the transient popover that does not animate; its view is loaded when
    // first asked for (view(), the grid, the search field, or a folder shown).
    static std::shared_ptr<FolderViewController> init();
    FolderViewController();
    ~FolderViewController() override;

    std::string className() const override { return "FolderViewController"; }
    Value valueForKey(const std::string& key) const override;

    const FileSystemNodePtr& model() const { return model_; }
    void setModel(FileSystemNodePtr model);
    Popover* popover() const { return popover_.get(); }
    QWidget* view() const;
    FlowCollectionView* collectionView() const;
    QLineEdit* searchField() const;
    QToolButton* openInFinderButton() const;
    // The children shown, after the search.
    const Array& itemsArray() const { return itemsArray_; }
    std::string predicateTemplate() const;

    // showFolderViewForFolder:relativeToRect:ofView:preferredEdge: — `rect` in the view's
    // own coordinates. Showing again while shown moves the popover to the new anchor and
    // reloads it. The search starts empty.
    void showFolderViewForFolder(const FileSystemNodePtr& folder, const Rect& rect, QWidget* view,
                                 RectEdge preferredEdge);
    bool isFolderViesShow() const;
    void closePreview();

    // Actions of the search field and the button.
    void updateFilterAction(QObject* sender = nullptr);
    void openInFinder(QObject* sender = nullptr);

    double maxWidght() const { return 800.0; }
    // "cellHeight" (100 when 0) as width and height; see the .cpp for odd values.
    Size getCellSize() const;
    Size calculateContentSize();
    void configureCollectionView();

    // Whether a folder is listed newest first: the user's downloads folder (by its path,
    // whatever its name in the user's language) or a folder named "Downloads".
    static bool isDownloadsFolder(const FileSystemNode& folder);

    // Data source and delegate of the grid.
    size_t collectionViewNumberOfItemsInSection(FlowCollectionView& view, size_t section) override;
    CollectionViewItemPtr collectionViewItemForRepresentedObjectAtIndexPath(FlowCollectionView& view,
                                                                         const IndexPath* indexPath) override;
    void collectionViewDidSelectItemsAtIndexPaths(FlowCollectionView& view, const std::vector<IndexPath>& paths) override;
    void collectionViewDidDeselectItemsAtIndexPaths(FlowCollectionView& view,
                                                    const std::vector<IndexPath>& paths) override;
    void collectionViewOpenItemAtIndexPath(FlowCollectionView& view, const IndexPath& path) override;

    // Opens the file of a cell as a click does, then gets the popover out of the way.
    void openItemOfCell(FolderItemCell& cell);
    // Carries the cell's file out of the popover: the popover closes and the file travels
    // as a file URI ("text/uri-list").
    void beginDraggingCell(FolderItemCell& cell);
    void setDragPerformer(DragPerformer performer) { dragPerformer_ = std::move(performer); }
    // The data a drag of these files carries: their file URIs, one a line, the bytes of
    // each path kept exactly (percent-encoded).
    static QMimeData* mimeDataForNodes(const std::vector<FileSystemNodePtr>& nodes);

    // Keys of the search field and of the grid that the grid leaves (see the header
    // note). YES when handled.
    bool handleKey(QWidget* receiver, int key);

private:
    // The view, loaded on the first call.
    FolderViewContent* content() const;
    void loadView();
    void viewDidLoad();
    // Takes the folder's children as shown (newest first for the downloads folder),
    // applies the search and reloads the grid.
    void takeChildren();
    void applySearch();
    ObjectPtr selectedObject() const;
    void reloadKeepingSelection(const ObjectPtr& selected);
    void childrenDidChange();
    void updateContentSize();

    FileSystemNodePtr model_;
    std::unique_ptr<Popover> popover_;
    QPointer<FolderViewContent> view_;
    Array children_;                // the folder's children in the order shown
    std::vector<QString> keys_;     // their folded names, made on the first search
    Array itemsArray_;
    KeyValueObservation childrenObservation_;
    DragPerformer dragPerformer_;
    mutable int64_t loggedCellHeight_ = 0;  // the odd "cellHeight" last logged
};

using FolderViewControllerPtr = std::shared_ptr<FolderViewController>;

}  // namespace qs
