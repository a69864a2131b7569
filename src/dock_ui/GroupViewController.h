#pragma once
// The group popover: a searchable grid of a group's files, folders and applications
// beside the dock. A click on a cell opens the item; a right click offers "Open",
// "Remove", "Open With", "Get Info" and "Show in Finder"; a button adds items to the
// group through an open panel, another opens the group's inspector, and files dropped on
// the popover join the group. One controller per dock panel; its popover is reused for
// every group, each show switching the model.
//
// The popover is transient (a press outside or Escape closes it) except while the open
// panel is up. It takes the keyboard: typing goes to the search field, Down moves into
// the grid, the arrow keys move the selection, Return opens the selected item.
//
// The dock cell of a group toggles its popover on the press. A press on that cell while
// the popover is open closes the popover, and the window system hands the same press on
// to the cell; that second delivery does not open the popover again (see
// showGrouViewForGroup).
//
// Main thread only.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QPointer>

#include "core/GroupModel.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/Object.h"
#include "platform/ui/ArrayController.h"
#include "platform/ui/Popover.h"

class QFileDialog;
class QLineEdit;
class QMimeData;
class QScrollArea;
class QToolButton;
class QWidget;

namespace qs {

class CollectionView;
class GroupViewCell;
class GroupViewContent;
class PopoverPressTracker;

class GroupViewController : public Object, public KeyValueObserver, public PopoverDelegate {
public:
    // Shows the group inspector for a group; the cell actions give the panel's own.
    using GroupInspectorHandler = std::function<void(const std::shared_ptr<GroupModel>&)>;

    static constexpr const char* kContext = "myContext";

    // init: loads the view, makes the transient popover that does not animate.
    static std::shared_ptr<GroupViewController> init();
    GroupViewController();
    ~GroupViewController() override;

    std::string className() const override { return "GroupViewController"; }
    // "model" (observable: setModel announces it).
    Value valueForKey(const std::string& key) const override;
    // copyWithZone: a new controller made with init.
    std::shared_ptr<GroupViewController> copyWithZone() const;

    const std::shared_ptr<GroupModel>& model() const { return model_; }
    void setModel(std::shared_ptr<GroupModel> model);
    Popover* popover() const { return popover_.get(); }
    QWidget* view() const;
    CollectionView* collectionView() const;
    const ArrayControllerPtr& arrayController() const { return arrayController_; }
    QLineEdit* searchField() const;
    QToolButton* addButton() const;
    QToolButton* optionsButton() const;
    QScrollArea* scrollArea() const;
    // "(name contains[cd] $searchString)".
    std::string predicateTemplate() const;

    // showGrouViewForGroup:relativeToRect:ofView:preferredEdge: — `rect` in the view's own
    // coordinates. Not shown again for a group whose popover a press closed while that
    // same press lasts (the press handed on to the dock cell after the close).
    void showGrouViewForGroup(const std::shared_ptr<GroupModel>& group, const Rect& rect, QWidget* view,
                              RectEdge preferredEdge);
    bool isShow() const;
    void closePreview();

    // Actions of the search field, the add button and the options button.
    void updateFilterAction(QObject* sender = nullptr);
    void addItems(QObject* sender = nullptr);
    void changeGroupProps(QObject* sender = nullptr);
    void removeItem(const ObjectPtr& item);

    double maxWidght() const { return 900.0; }
    // "cellHeight" (100 when 0) as width and height; see the .cpp for odd values.
    Size getCellSize() const;
    Size calculateContentSize();

    // The open panel of addItems while it is up (nullptr otherwise), and what its end
    // does: on OK (1) a file item per path, in order, added to the group; in every case
    // the popover transient again and the panel closed.
    QFileDialog* openPanel() const;
    void addItemsPanelDidEnd(int response, const std::vector<std::string>& paths);

    void setGroupInspectorHandler(GroupInspectorHandler handler) { inspectorHandler_ = std::move(handler); }

    // Files dropped on the popover: local files join the group (through the group's own
    // drop rule, which saves the dock). NO when the data holds no local file.
    static bool canAcceptDrop(const QMimeData* data);
    bool performDrop(const QMimeData* data);

    // The cell of an arranged index (nullptr outside).
    GroupViewCell* cellAtIndex(size_t index) const;
    // Opens the item of a cell as a click does, then gets the popover out of the way.
    void openItemOfCell(GroupViewCell& cell);
    // Keys of the search field and the grid (see the header note). YES when handled.
    bool handleKey(QWidget* receiver, int key);
    // Sizes the grid inside its scroll area for the current content and width.
    void layoutGrid();

    // KeyValueObserver: "model.items" and "model.items.@count".
    void observeValueForKeyPath(const std::string& keyPath, Object* object, const KeyValueChange& change,
                                void* context) override;
    // PopoverDelegate.
    void popoverDidShow(Popover& popover) override;
    void popoverDidClose(Popover& popover) override;

private:
    void loadView();
    void viewDidLoad();
    void selectIndex(long index);
    void panelDidEnd(const std::shared_ptr<GroupModel>& group, int response, const std::vector<std::string>& paths);

    std::shared_ptr<GroupModel> model_;
    std::unique_ptr<Popover> popover_;
    QPointer<GroupViewContent> view_;
    ArrayControllerPtr arrayController_;
    std::shared_ptr<GroupViewCell> prototype_;
    QPointer<QFileDialog> openPanel_;
    GroupInspectorHandler inspectorHandler_;
    std::unique_ptr<PopoverPressTracker> pressTracker_;
    std::weak_ptr<GroupModel> closedByPress_;  // the group whose popover the current press closed
    bool observing_ = false;
    mutable int64_t loggedCellHeight_ = 0;  // the odd "cellHeight" last logged
};

using GroupViewControllerPtr = std::shared_ptr<GroupViewController>;

}  // namespace qs
