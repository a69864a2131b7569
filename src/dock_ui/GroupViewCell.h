#pragma once
// The cells of the group popover's grid: GroupViewCell, the grid's item (copied from the
// prototype the controller keeps), and GroupCellView, its view. A press on a cell opens
// its item; a right press shows the cell's menu: "Open", "Remove", "Open With",
// "Get Info", "Show in Finder".

#include <memory>

#include "dock_ui/FileCellView.h"
#include "platform/ui/CollectionView.h"

namespace qs {

class GroupViewController;

class GroupCellView : public FileCellView {
public:
    explicit GroupCellView(QWidget* parent = nullptr) : FileCellView(parent) {}

    // The object that removes items (held weakly: the controller owns the grid).
    std::shared_ptr<GroupViewController> controller() const { return controller_.lock(); }
    void setController(std::weak_ptr<GroupViewController> controller) { controller_ = std::move(controller); }

    // A menu titled "menu", automatic enabling off: "Open"; separator; "Remove";
    // separator; "Open With" (the applications for this cell's file); separator;
    // "Get Info"; "Show in Finder".
    MenuPtr menuForEvent(const Event& event) override;
    // Removes the cell's object from the group through the controller.
    void removeFile(MenuItem& sender);

private:
    std::weak_ptr<GroupViewController> controller_;
};

class GroupViewCell : public CollectionViewItem {
    Q_OBJECT

public:
    GroupViewCell() = default;

    std::shared_ptr<GroupViewController> controller() const { return controller_.lock(); }
    void setController(std::weak_ptr<GroupViewController> controller) { controller_ = std::move(controller); }
    GroupCellView* cellView();

    void loadView() override;
    void viewDidLoad() override;
    // The background black at 0.2 while selected, clear otherwise.
    void setSelected(bool selected) override;
    // Hands a non-nil object, and the controller, to the view.
    void setRepresentedObject(const Value& object) override;
    // Selects the cell as the grid does, then clickAct.
    void mouseDown(const Event& event) override;
    void mouseUp(const Event& event) override;
    void rightMouseDown(const Event& event) override;
    // The item opens (clickAction: with itself) when it can.
    void clickAct(QObject* sender = nullptr);
    // A new cell that takes over the controller.
    std::shared_ptr<CollectionViewItem> copy() const override;

private:
    std::weak_ptr<GroupViewController> controller_;
};

}  // namespace qs
