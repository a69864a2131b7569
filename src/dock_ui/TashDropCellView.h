#pragma once
// The view of the trash's cell: files dropped anywhere on it are handed, as file URLs in
// drag order, to the trash cell, which moves them to the trash; the drag source hears a
// move only when some of them went (or are going) there. While a drag hovers it
// is highlighted and asks for the drag-copy cursor on entry and the disappearing-item
// cursor while the drag moves over it. Its context menu is the trash's, from the cell
// actions.
//
// Main thread only.

#include <memory>

#include <QWidget>

#include "dock_ui/DropCellView.h"

namespace qs {

class TrashCell;

class TashDropCellView : public DropZoneView {
    Q_OBJECT

public:
    // init / initWithFrame: registers NSFilenamesPboardType.
    explicit TashDropCellView(QWidget* parent = nullptr);
    ~TashDropCellView() override;

    std::shared_ptr<TrashCell> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<TrashCell>& cell) { delegate_ = cell; }
    std::shared_ptr<CellActionsDelegate> cellActionsDelegate() const { return cellActionsDelegate_.lock(); }
    void setCellActionsDelegate(const std::shared_ptr<CellActionsDelegate>& d) { cellActionsDelegate_ = d; }
    const Value& representedObject() const { return representedObject_; }
    void setRepresentedObject(const Value& object) { representedObject_ = object; }

    bool isSelected() const { return selected_; }
    void setSelected(bool selected);

    std::shared_ptr<Menu> menuForEvent(const Event& event) const;

signals:
    void resized();

protected:
    void handOverDrop(const std::vector<URLPtr>& urls) override;
    // The drop is carried out here, so that the source hears what was done.
    uint64_t dropOperation(const std::vector<URLPtr>& urls, const DraggingInfo& info, bool& handOver) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::weak_ptr<TrashCell> delegate_;
    std::weak_ptr<CellActionsDelegate> cellActionsDelegate_;
    Value representedObject_;
    bool selected_ = false;
};

}  // namespace qs
