#pragma once
// The drop zone inside every dock item cell: files dragged onto the middle of an item that
// takes files (a folder, an application, a group) are handed, as file URLs in drag
// order, to the cell (its dropZone call), which passes them to the panel's cell actions;
// the drag's source is told what the item does with them (moved into a folder, copied,
// or nothing). The zone covers the cell for the pointer but takes drops only in the
// middle of the cell along the dock's length; near the cell's two ends, and anywhere on
// an item that takes no files, a dropped file goes between the items instead (the
// collection view's drop). Plain mouse presses, releases and moves pass through to the
// cell underneath.
//
// While a drag hovers, the zone is highlighted and asks for the pointing-hand cursor (a
// drag from another program keeps the cursor its source shows). Its context menu is the
// item's, from the cell actions.
//
// Main thread only.

#include <memory>
#include <string>
#include <vector>

#include <QCursor>
#include <QWidget>

#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"
#include "platform/ui/DragAndDrop.h"
#include "platform/ui/Event.h"

namespace qs {

class CellActionsDelegate;
class DockCollectionItemCell;
class Menu;

// The cursors the drop views ask for.
enum class DropCursor { None, PointingHand, DragCopy, DisappearingItem };
QCursor cursorFor(DropCursor kind);

// What the drop views share: the highlight while a drag hovers, the cursor they ask for,
// and handing the local files of a drop to their cell.
class DropZoneView : public QWidget, public DraggingDestination {
public:
    // Sets the cursor over the whole zone now (the platform's cursor rectangle).
    void setCursor(DropCursor kind);
    DropCursor requestedCursor() const { return cursor_; }
    bool isDragHighlighted() const { return highlighted_; }

    // DraggingDestination.
    bool wantsPeriodicDraggingUpdates() const override { return true; }
    uint64_t draggingEntered(const DraggingInfo& info) override;
    uint64_t draggingUpdated(const DraggingInfo& info) override;
    void draggingExited(const DraggingInfo* info) override;
    bool prepareForDragOperation(const DraggingInfo& info) override;
    bool performDragOperation(const DraggingInfo& info) override;

protected:
    // Registers NSFilenamesPboardType. The zone asks for `onEntry` when a drag comes in and
    // for `whileMoving` as it moves; `emptyDrop` is logged when a drop has no local files.
    DropZoneView(QWidget* parent, DropCursor onEntry, DropCursor whileMoving, const char* emptyDrop);
    // Hands the files of a drop, in drag order, to the cell.
    virtual void handOverDrop(const std::vector<URLPtr>& urls) = 0;
    // What a drop of the hovering drag would do to its files (a move unless a zone says
    // otherwise), and what the drop of these files does. A drop that does nothing (None)
    // still hands the files over when `handOver` stays YES, so that the cell can say why.
    virtual uint64_t hoverOperation(const DraggingInfo& info);
    virtual uint64_t dropOperation(const std::vector<URLPtr>& urls, const DraggingInfo& info, bool& handOver);
    void paintEvent(QPaintEvent* event) override;

private:
    DropCursor onEntry_;
    DropCursor whileMoving_;
    const char* emptyDrop_;
    DropCursor cursor_ = DropCursor::None;
    bool highlighted_ = false;
};

class DropCellView : public DropZoneView {
    Q_OBJECT

public:
    // The part of the cell's length (at each end) where drops go between the items.
    static constexpr double kEdgeFraction = 0.2;

    // init / initWithFrame: registers NSFilenamesPboardType, then updateTrackingAreas.
    explicit DropCellView(QWidget* parent = nullptr);
    ~DropCellView() override;

    std::shared_ptr<DockCollectionItemCell> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<DockCollectionItemCell>& cell) { delegate_ = cell; }
    // The cell actions and the item; when not set, those of the cell view the zone lies in.
    std::shared_ptr<CellActionsDelegate> cellActionsDelegate() const;
    void setCellActionsDelegate(const std::shared_ptr<CellActionsDelegate>& d) { cellActionsDelegate_ = d; }
    Value representedObject() const;
    void setRepresentedObject(const Value& object) { representedObject_ = object; }

    // Entered and exited, whatever the panel's state.
    void updateTrackingAreas();

    // DraggingDestination.
    bool acceptsDragAtPoint(const QPoint& point) const override;

    // The pointer came in: the cell hears of it too.
    void mouseEntered(const Event& event);
    std::shared_ptr<Menu> menuForEvent(const Event& event) const;

    void draggingExited(const DraggingInfo* info) override;

protected:
    void enterEvent(QEnterEvent* event) override;
    void handOverDrop(const std::vector<URLPtr>& urls) override;
    // By the item: a folder moves the files in from its own file system and copies them
    // from another (a hovering drag that it cannot take is still offered, as a copy, so
    // that the drop can say why; the drop itself then answers that nothing was done); an
    // application, running or not, and a group take them as they are (a copy); any other
    // item takes nothing.
    uint64_t hoverOperation(const DraggingInfo& info) override;
    uint64_t dropOperation(const std::vector<URLPtr>& urls, const DraggingInfo& info, bool& handOver) override;

private:
    // Whether the item does anything with files dropped on it.
    bool takesFiles() const;
    // `refusedBySource` is set when the item would move the files but the source allows
    // no move (then nothing at all is done).
    uint64_t operationFor(const std::vector<URLPtr>& urls, const DraggingInfo& info, bool hovering,
                          bool* refusedBySource = nullptr) const;

    // The hovering drag's operation, worked out once per drag.
    const Pasteboard* hoverPasteboard_ = nullptr;
    uint64_t hoverOperation_ = NSDragOperationNone;
    std::weak_ptr<DockCollectionItemCell> delegate_;
    std::weak_ptr<CellActionsDelegate> cellActionsDelegate_;
    Value representedObject_;
};

// The file URLs of a drop's NSFilenamesPboardType, in drag order.
std::vector<URLPtr> droppedFileURLs(const Pasteboard& pasteboard);
// Paints the highlight of a drop view that a drag hovers.
void paintDropHighlight(QWidget* view, double cornerRadius);

}  // namespace qs
