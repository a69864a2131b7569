#pragma once
// The cell of one dock item (every kind but the trash): the item's icon, a small running
// indicator under it, a badge in the top-trailing corner for applications that show
// one, and a place for the drop zone that takes files. The cell decides little itself:
// it turns mouse events into calls on the panel's cell actions, keeps the indicator and
// the badge current, and bounces the icon while an application it shows is still
// launching.
//
// The panel makes one prototype cell and gives it its cell actions; the collection view
// makes every other cell by copying it:
//
//     auto cell = std::make_shared<DockCollectionItemCell>();
//     cell->setCellDelegate(cellActionsDelegate);
//     collectionView->setItemPrototype(cell);
//
// A press goes to the cell actions at once; its release only when the press was a click:
// a press that moved past the drag threshold (a drag), a Shift press (a reorder drag) and
// a Command press (the context menu) hand over no release.
//
// Item kinds are told apart by the class name of the represented object
// ("NSRunningApplication", "FileSystemNode", "GroupModel", others).
//
// Layout (y up, in the cell's points, any cell size): the icon is a square as wide as
// the cell leaves room for under the bounce's top (side = min(width, height - 14)),
// centred, resting at y = 9; the badge's top-trailing corner is the cell's; the drop
// zone covers the cell. The indicator is a 4-point pill beside the icon on the side of
// the screen edge the dock stands on: centred at the bottom (y = 2) of a bottom or top
// dock's cell, upright at the left (x = 2) of a left dock's cell and at the right of a
// right dock's, centred on the icon.
//
// The start menu's icon is drawn lightened when it is dark and the panel's background
// is dark too, so that it stays visible on the dark themes.
//
// Main thread only.

#include <memory>
#include <string>
#include <vector>

#include <QImage>
#include <QPointer>
#include <QWidget>

#include "dock_ui/CollectionItemView.h"
#include "dock_ui/CustomBadge.h"
#include "platform/ui/FlatButton.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/URL.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/ValueAnimation.h"

namespace qs {

class CellActionsDelegate;
class ViewObject;

// The icon of a cell: the image it is given, drawn to fill it. When asked to, a dark
// image is drawn lightened (for a dark panel).
class DockCellIconView : public QWidget {
    Q_OBJECT

public:
    explicit DockCellIconView(QWidget* parent = nullptr);
    const QImage& image() const { return image_; }
    // What is drawn: the image, or its lightened copy.
    const QImage& shownImage() const { return shown_; }
    // Repaints only when the image is another one.
    void setImage(const QImage& image);
    bool lightensDarkImage() const { return lighten_; }
    void setLightensDarkImage(bool lighten);
    int paintCount() const { return paints_; }
    // Icon requests: each new one makes the answers to older ones stale.
    uint64_t newRequest() { return ++request_; }
    uint64_t currentRequest() const { return request_; }
    // Asks the icon cache for the item's icon at this view's size in pixels: shown now
    // when cached, else when it arrives (only the answer to the latest request). Until then
    // the old image stays unless clearUntilReady. Answers the pixel size asked for; 0 when
    // there is no item or no size, and the view is emptied.
    int requestIcon(const ObjectPtr& item, bool clearUntilReady);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void updateShownImage();

    QImage image_;
    QImage shown_;
    bool lighten_ = false;
    uint64_t request_ = 0;
    int paints_ = 0;
};

class DockCollectionItemCell : public CollectionViewItem {
    Q_OBJECT

public:
    // Where the icon rests and how high a bounce takes it (the origin's y, y up).
    static constexpr double kIconRestY = 9.0;
    static constexpr double kBounceTopY = 14.0;
    // At most this many bounce cycles follow a reset of the shared counter.
    static constexpr int kMaxBounceCycles = 4;
    // The quiet time after which a resting pointer is reported.
    static constexpr double kMouseStopDelay = 0.2;

    // init: the view is made on first use (copies make theirs at once).
    DockCollectionItemCell();
    ~DockCollectionItemCell() override;

    // copyWithZone: a new cell with the same cell actions, its view made.
    std::shared_ptr<CollectionViewItem> copy() const override;

    std::shared_ptr<CellActionsDelegate> cellDelegate() const { return cellDelegate_.lock(); }
    void setCellDelegate(const std::shared_ptr<CellActionsDelegate>& delegate) { cellDelegate_ = delegate; }
    bool isBadgesActive() const { return isBadgesActive_; }

    // Outlets (nullptr before the view is made; the badge also after viewDidDisappear).
    CollectionItemView* itemView() const { return itemView_.data(); }
    DockCellIconView* imageView() const { return imageView_.data(); }
    FlatButton* indicator() const { return indicator_.data(); }
    CustomBadge* badgeView() const { return badgeView_.data(); }
    // The drop zone: made by the drop-target code and installed here; the cell places it
    // over its whole view and answers its dropZone calls.
    QWidget* dropCell() const { return dropCell_.data(); }
    void setDropCell(QWidget* dropCell);

    // CollectionViewItem.
    void loadView() override;
    void viewDidLoad() override;
    void viewWillLayout() override;
    void setRepresentedObject(const Value& object) override;
    void setSelected(bool selected) override;
    void viewDidDisappear() override;
    void mouseDown(const Event& event) override;
    void mouseUp(const Event& event) override;
    void rightMouseDown(const Event& event) override;
    void mouseDragged(const Event& event) override;
    void mouseEntered(const Event& event) override;
    void mouseExited(const Event& event) override;
    void mouseMoved(const Event& event) override;

    // Subscribes to "changeBadge" (anew) and reads "ShowAppBadges".
    void setUpBadge();
    // A "changeBadge" notification: its object is {"app_pid", "badgeText"}; nil when
    // badges were switched off.
    void changeBadge(const Notification& notification);
    // The panel moved to another screen edge: the indicator moves beside the icon.
    void dockPositionDidChange();
    // Shows the indicator for a running item unless "hideIndicators" is on.
    void setIndicatoState();
    // One bounce cycle of a launching application, then the next, while it launches and
    // the shared counter allows.
    void bounce();
    void updateTrackingAreas();
    bool isGroupOrFolder() const;
    // Files dropped on the cell's drop zone (dropZone:receivedFiles:).
    void dropZone(QWidget* zone, const std::vector<URLPtr>& files);

    // The icon's origin y (y up, in the cell's points) as the bounce has it now.
    double iconOriginY() const { return iconY_; }
    // Whether the cell shows an application the dock launched that has no window yet.
    bool isLaunchingFromDock() const;
    bool isBouncing() const { return bounceTimer_ != 0 || bounceAnimation_.isRunning(); }
    // The counter shared by all cells: bounce cycles started since the last reset.
    static int bounceCounter();

private:
    void layoutSubviews();
    void placeIcon();
    void placeBadge();
    void hideBadge();
    void requestIcon();
    void requestIconNow();
    void stopBounce();
    void bouncePhase(int phase, uint64_t chain);
    void applyThemeToIndicator();
    void applyThemeToIcon();
    // The dock's edge (0 left, 1 bottom, 2 right, 3 top), from the cell actions'
    // configuration; bottom when there is none.
    int dockPosition() const;
    void watchRunningState();
    void mouseStopTimerFired();
    Dictionary hoverDictionary();
    QWidget* eventView(const Event& event, QPoint& local);

    // What the represented object is, read once per object (the badge notifications of
    // every application reach every cell several times a second).
    enum class ItemKind { None, RunningApplication, FileSystemNode, Group, StartMenu, Other };

    std::weak_ptr<CellActionsDelegate> cellDelegate_;
    bool isBadgesActive_ = false;
    ItemKind kind_ = ItemKind::None;
    int pid_ = -1;

    QPointer<CollectionItemView> itemView_;
    QPointer<DockCellIconView> imageView_;
    QPointer<FlatButton> indicator_;
    QPointer<CustomBadge> badgeView_;
    QPointer<QWidget> dropCell_;
    std::shared_ptr<ViewObject> viewObject_;

    KeyValueObservation hideIndicatorsObservation_;
    KeyValueObservation iconObservation_;
    // The background colour (start menu only).
    KeyValueObservation backgroundObservation_;
    bool observingBadges_ = false;
    bool observingRunning_ = false;
    // The owner under which the theme notification is observed (setUpBadge removes
    // every registration of the cell itself).
    char themeObserverTag_ = 0;
    // The owner under which launches from the dock are observed.
    char launchObserverTag_ = 0;

    // The icon as requested: its pixel size (0 when nothing was asked).
    int iconPixels_ = 0;
    const Object* iconItem_ = nullptr;  // compared only, never followed
    bool iconRequestPosted_ = false;
    double iconY_ = kIconRestY;

    // The bounce: its animation, the timer of the step that follows, and the chain it
    // belongs to (a new object or a stop starts another chain; steps of an old one end).
    ValueAnimation bounceAnimation_;
    RunLoop* bounceLoop_ = nullptr;
    RunLoop::TimerId bounceTimer_ = 0;
    uint64_t bounceChain_ = 0;

    // The press being followed: whether its release is a click (a plain press that has
    // not turned into a drag), and where it was (in the window, y up).
    bool clickPending_ = false;
    Point pressLocation_;

    // The stop timer: one pending timer at a time, moved on lazily (a move only notes
    // its time; when the timer fires early it waits for the rest).
    RunLoop* stopLoop_ = nullptr;
    RunLoop::TimerId stopTimer_ = 0;
    double lastMove_ = 0.0;
};

}  // namespace qs
