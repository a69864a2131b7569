#pragma once
// The drag-and-drop delegate of a panel's collection view. Dock items are reordered by
// dragging them inside the panel with Shift or Option held; a plain drag moves nothing
// and, 0.3 s later, brings up the one-time hint (ReorderAlertWindowController). Files
// dragged in from elsewhere (the file manager, the desktop) become new dock items at the
// drop place. The item list itself is edited by the dock model.
//
// The private pasteboard type "AppListCollectionViewDataType" (on the wire
// "application/x-quayside-AppListCollectionViewDataType") carries the keyed archive of
// the index set of the dragged items; only this program writes or reads it, and only the
// first dragged item moves.
//
// Drop places are gaps: 0 before the first item, n after the last. A dragged item lands
// in the gap it was dropped in (the model takes the item out before it puts it back, so
// a forward move is one place less); nothing goes past the trash; files dropped after the
// trash go just before it. Dropped files that no longer exist are left out; at most
// kMaxDroppedItems files become items in one drop (the rest with a log line).
//
// Dragging an item off the panel changes nothing: the item stays.
//
// Main thread only.

#include <memory>
#include <string>

#include <QPointer>

#include "platform/foundation/RunLoop.h"
#include "platform/ui/CollectionView.h"

namespace qs {

class DockCollectionView;
class DockModel;
class ReorderAlertWindowController;

inline constexpr const char* AppListCollectionViewDataType = "AppListCollectionViewDataType";

class CollectionViewDelegate : public CollectionViewDragDelegate,
                               public std::enable_shared_from_this<CollectionViewDelegate> {
public:
    static constexpr size_t kMaxDroppedItems = 64;
    // The hint follows a refused drag after the single-precision 0.3 s.
    static constexpr double kInformDelay = double(0.3f);

    // initWhitCollectionView:andModel: keeps both weakly, then registers.
    static std::shared_ptr<CollectionViewDelegate> initWhitCollectionView(DockCollectionView* collectionView,
                                                                          const std::shared_ptr<DockModel>& model);
    CollectionViewDelegate() = default;
    ~CollectionViewDelegate() override;

    DockCollectionView* collectionView() const { return collectionView_.data(); }
    std::shared_ptr<DockModel> model() const { return model_.lock(); }
    // Made on first need.
    ReorderAlertWindowController* alert() const { return alert_.get(); }

    // Becomes the view's delegate; registers the drag types and the source masks.
    void registerForCollectionViewDragAndDrop();
    // Shows the hint (making it first).
    void informDrag();

    // CollectionViewDragDelegate.
    bool canDragItemsAtIndexes(CollectionView& view, const IndexSet& indexes, const Event& event) override;
    bool writeItemsAtIndexes(CollectionView& view, const IndexSet& indexes, Pasteboard& pasteboard) override;
    uint64_t validateDrop(CollectionView& view, const DraggingInfo& info, long& proposedIndex,
                          int& dropOperation) override;
    bool acceptDrop(CollectionView& view, const DraggingInfo& info, long index, int dropOperation) override;
    void draggingSessionWillBegin(CollectionView&, const Point&, const IndexSet&) override {}

private:
    QPointer<DockCollectionView> collectionView_;
    std::weak_ptr<DockModel> model_;
    std::unique_ptr<ReorderAlertWindowController> alert_;
    RunLoop* informLoop_ = nullptr;
    RunLoop::TimerId informTimer_ = 0;
};

}  // namespace qs
