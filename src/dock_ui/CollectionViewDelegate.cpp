#include "dock_ui/CollectionViewDelegate.h"

#include <filesystem>

#include "core/DockModel.h"
#include "dock_ui/DockCollectionView.h"
#include "dock_ui/DropCellView.h"
#include "dock_ui/ReorderAlertWindowController.h"
#include "platform/foundation/IndexSetCoding.h"
#include "platform/foundation/Log.h"
#include "toolkit/EventUtilities.h"

namespace qs {

std::shared_ptr<CollectionViewDelegate> CollectionViewDelegate::initWhitCollectionView(
    DockCollectionView* collectionView, const std::shared_ptr<DockModel>& model) {
    auto delegate = std::make_shared<CollectionViewDelegate>();
    delegate->collectionView_ = collectionView;
    delegate->model_ = model;
    delegate->registerForCollectionViewDragAndDrop();
    return delegate;
}

CollectionViewDelegate::~CollectionViewDelegate() {
    if (informTimer_ && informLoop_ && RunLoop::isLive(informLoop_)) informLoop_->cancel(informTimer_);
}

void CollectionViewDelegate::registerForCollectionViewDragAndDrop() {
    DockCollectionView* view = collectionView_.data();
    if (!view) return;
    view->setDelegate(shared_from_this());
    view->registerForDraggedTypes({AppListCollectionViewDataType, NSURLPboardType, NSFilenamesPboardType});
    view->setDraggingSourceOperationMask(NSDragOperationCopy, false);
    view->setDraggingSourceOperationMask(NSDragOperationMove, true);
    view->setDraggingSourceOperationMask(NSDragOperationEvery, true);
}

bool CollectionViewDelegate::canDragItemsAtIndexes(CollectionView&, const IndexSet&, const Event&) {
    if (NSEvent_Utilities::shiftKeyDownNow() || NSEvent_Utilities::optionKeyDownNow()) return true;
    std::weak_ptr<CollectionViewDelegate> weak = weak_from_this();
    if (informTimer_ && informLoop_ && RunLoop::isLive(informLoop_)) informLoop_->cancel(informTimer_);
    informLoop_ = &RunLoop::main();
    informTimer_ = informLoop_->after(kInformDelay, [weak] {
        if (auto self = weak.lock()) {
            self->informTimer_ = 0;
            self->informDrag();
        }
    });
    return false;
}

void CollectionViewDelegate::informDrag() {
    if (!alert_) alert_ = std::make_unique<ReorderAlertWindowController>();
    alert_->showAlert();
}

bool CollectionViewDelegate::writeItemsAtIndexes(CollectionView&, const IndexSet& indexes, Pasteboard& pasteboard) {
    pasteboard.declareTypes({AppListCollectionViewDataType});
    pasteboard.setData(archivedIndexSet(indexes), AppListCollectionViewDataType);
    return true;
}

uint64_t CollectionViewDelegate::validateDrop(CollectionView&, const DraggingInfo& info, long&, int&) {
    return info.hasDraggingSource() ? NSDragOperationMove : NSDragOperationCopy;
}

bool CollectionViewDelegate::acceptDrop(CollectionView&, const DraggingInfo& info, long index, int) {
    auto model = model_.lock();
    if (!model) return false;
    const Pasteboard& pasteboard = info.draggingPasteboard();

    if (pasteboard.hasType(AppListCollectionViewDataType)) {
        if (!info.hasDraggingSource()) {
            // Indexes of another program's list mean nothing here.
            log("a dock-item drag from another program was dropped on the dock; nothing was moved");
            return false;
        }
        auto data = pasteboard.dataForType(AppListCollectionViewDataType);
        auto indexes = data ? unarchivedIndexSet(*data) : std::nullopt;
        if (!indexes || indexes->empty()) {
            log("a dock-item drag carried no readable item indexes; nothing was moved");
            return false;
        }
        const long first = long(indexes->front());
        // The drop place is a gap of the list before the move; the model takes the item
        // out first, so a forward move lands one place less.
        const long destination = index > first ? index - 1 : index;
        return model->rearange(destination, first);
    }

    if (pasteboard.hasType(NSFilenamesPboardType)) {
        std::vector<URLPtr> urls;
        size_t missing = 0, over = 0;
        for (const auto& path : pasteboard.filenames()) {
            std::error_code ec;
            if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
                ++missing;
                continue;
            }
            if (urls.size() >= kMaxDroppedItems) {
                ++over;
                continue;
            }
            if (auto url = URL::fileURLWithPath(path)) urls.push_back(std::move(url));
        }
        if (missing) log("a drop on the dock named ", missing, " file(s) that no longer exist; they were left out");
        if (over)
            log("a drop on the dock carried more than ", kMaxDroppedItems, " files; only the first ",
                kMaxDroppedItems, " became items");
        // The model places nothing after a trash that stands last.
        if (!urls.empty()) model->insertFiles(urls, index);
        return true;
    }
    return true;
}

}  // namespace qs
