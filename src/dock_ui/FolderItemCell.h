#pragma once
// The cells of the folder popover's grid: FolderItemCell, the grid's item (made by class
// for the identifier "FolderItemCell" and reused as the grid scrolls), and
// FolderCellView, its view. A click on a cell opens its file; dragging a cell carries
// the file out (to the file manager, say); a right press shows the cell's menu: "Open",
// "Open With", "Get Info", "Show in Finder".

#include <memory>

#include "dock_ui/FileCellView.h"
#include "platform/ui/CollectionView.h"

namespace qs {

class FolderViewController;

class FolderCellView : public FileCellView {
public:
    explicit FolderCellView(QWidget* parent = nullptr) : FileCellView(parent) {}

    // A menu titled "menu", automatic enabling off: "Open"; "Open With" (the
    // applications for this cell's file); separator; "Get Info"; "Show in Finder".
    MenuPtr menuForEvent(const Event& event) override;
};

class FolderItemCell : public CollectionViewItem {
    Q_OBJECT

public:
    static constexpr const char* kIdentifier = "FolderItemCell";

    FolderItemCell() = default;

    // The popover the cell is shown in (held weakly); it opens the file and starts drags.
    std::shared_ptr<FolderViewController> controller() const { return controller_.lock(); }
    void setController(std::weak_ptr<FolderViewController> controller) { controller_ = std::move(controller); }
    FolderCellView* cellView();

    void loadView() override;
    void viewDidLoad() override;
    // The background black at 0.2 while selected, clear otherwise.
    void setSelected(bool selected) override;
    // Hands a non-nil object to the view.
    void setRepresentedObject(const Value& object) override;
    // The press selects the cell; the release opens its file unless the pointer moved
    // far enough in between to drag the file out instead.
    void mouseDown(const Event& event) override;
    void mouseDragged(const Event& event) override;
    void mouseUp(const Event& event) override;
    void rightMouseDown(const Event& event) override;
    // The file opens (clickAction: with itself) when it can.
    void clickAct(QObject* sender = nullptr);

private:
    std::weak_ptr<FolderViewController> controller_;
    bool pressed_ = false;
    bool dragging_ = false;
    Point pressedAt_;
};

}  // namespace qs
