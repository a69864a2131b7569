#pragma once
// The cell of the trash: its view (a TashDropCellView) shows the trash's icon and takes
// files dropped on it, which go to the trash. It tells a click from a drag itself: a
// press followed by a release opens the trash through the cell actions; a press followed
// by a drag tells the cell actions of the press and the drag and hands the drag to the
// collection view (which moves the trash only with Shift or Option held). Control with
// the press opens the trash's context menu at once.
//
// The collection view makes a trash cell for the "TrashModel" object (it is never a copy
// of the panel's prototype):
//
//     auto cell = std::make_shared<TrashCell>();
//     cell->setCellActionsDelegate(actions);
//     cell->setRepresentedObject(trash);
//
// Main thread only.

#include <memory>
#include <vector>

#include <QPointer>

#include "platform/foundation/Object.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/URL.h"
#include "platform/ui/CollectionView.h"

namespace qs {

class CellActionsDelegate;
class DockCellIconView;
class TashDropCellView;
class ViewObject;

class TrashCell : public CollectionViewItem {
    Q_OBJECT

public:
    TrashCell();
    ~TrashCell() override;

    std::shared_ptr<CellActionsDelegate> cellActionsDelegate() const { return cellActionsDelegate_.lock(); }
    void setCellActionsDelegate(const std::shared_ptr<CellActionsDelegate>& d) { cellActionsDelegate_ = d; }

    TashDropCellView* dropView() const;
    DockCellIconView* imageView() const;

    // CollectionViewItem.
    std::shared_ptr<CollectionViewItem> copy() const override;
    void loadView() override;
    void viewDidLoad() override;
    void setRepresentedObject(const Value& object) override;
    void setSelected(bool selected) override;
    void mouseDown(const Event& event) override;
    void mouseDragged(const Event& event) override;
    void mouseUp(const Event& event) override;
    void rightMouseDown(const Event& event) override;
    void mouseEntered(const Event& event) override;
    void mouseMoved(const Event& event) override;
    void mouseExited(const Event& event) override;

    void updateTrackingAreas();
    // Files dropped on the view: the trash takes them.
    void dropZone(QWidget* zone, const std::vector<URLPtr>& files);
    // Moves the files to the trash (a few on its file system at once, the rest in the
    // background) and tells the user which stayed and why. Answers the drag source's
    // operation: a move when any went or is going, none when none could.
    uint64_t trashDroppedFiles(const std::vector<URLPtr>& files);

private:
    void layoutSubviews();
    void requestIcon();
    Dictionary hoverDictionary();

    // Between a press and its release or first drag.
    enum class Press { None, Waiting, Dragging };

    std::weak_ptr<CellActionsDelegate> cellActionsDelegate_;
    QPointer<TashDropCellView> dropView_;
    QPointer<DockCellIconView> imageView_;
    std::shared_ptr<ViewObject> viewObject_;
    KeyValueObservation iconObservation_;
    int iconPixels_ = 0;
    Press press_ = Press::None;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qs
