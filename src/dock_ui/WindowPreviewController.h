#pragma once
// The window-preview popover: when the pointer rests on a running application's dock
// item, a popover beside the item shows one thumbnail per window of the application,
// most recent first. The controller sizes the popover from the number of windows and
// the setting "cellHeight", keeps it in step with the application's window list, keeps
// it open while the pointer is over it or over the dock, and closes it otherwise.
//
// Closing. Every way the preview ends (the gentle close, which leaves it open while the
// pointer is inside; the forced close; the application losing its last window; a click
// on a thumbnail; the popover closing on its own because its item or panel went away)
// clears the shown state, stops the close check and posts "WindowPreviewClosed" (no
// object) on the default centre, once per preview shown. While shown, a check every
// second closes the preview gently when the pointer is over neither the popover nor the
// dock; the pointer leaving the popover closes it half a second later unless it comes
// back.
//
// Pictures. While the preview shows, the contents of its windows are kept (SIWindow::
// keepContents): their pictures are their own even where other windows cover them, and
// showing refreshes them. The preview ending releases them.
//
// The popover is application-defined: only this controller closes it. It is a tool-tip
// window that never takes the focus.
//
// The cell actions own one controller per dock panel and call: showWindowPreviewForApp
// to show or move it, previewIsShow, hidePreview and forseClosePreview.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "dock_ui/WPCellDelegate.h"
#include "platform/desktop/Screen.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/ArrayController.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/Popover.h"

#include <QScrollArea>

namespace qs {

class CellActionsDelegate;
class RunningApplicationEx;
class SIWindow;
class WPCollectionItemCell;

class WindowPreviewController : public Object, public PopoverDelegate, public WPCellDelegate {
public:
    static constexpr double kCloseCheckInterval = 1.0;
    static constexpr double kExitCloseDelay = 0.5;
    static constexpr int kMinimumCellHeight = 200;
    static constexpr double kCellAspect = 1.6;
    // Room around the grid inside the popover (half on each side).
    static constexpr double kContentAllowance = 40.0;
    // What the largest content leaves of the screen besides the dock.
    static constexpr double kScreenAllowance = 50.0;
    static constexpr const char* kClosedNotification = "WindowPreviewClosed";

    // init: a controller with its popover (not animated, application-defined) and its
    // view loaded.
    static std::shared_ptr<WindowPreviewController> init();
    WindowPreviewController();
    ~WindowPreviewController() override;

    std::string className() const override { return "WindowPreviewController"; }
    // "model" (the application), "isShow".
    Value valueForKey(const std::string& key) const override;

    // The view (loaded on first use): the grid of thumbnails inside a scroll area.
    QWidget* view();
    bool isViewLoaded() const { return !view_.isNull(); }
    void loadView();
    void viewDidLoad();

    // showWindowPreviewForApp:relativeToRect:ofView:preferredEdge:withDelegate: — the
    // rectangle in the view's own coordinates (the item view's bounds). Another
    // application than the last closes the popover first; the same one moves it.
    // Nothing shows (a log line) when the view is in no shown window.
    void showWindowPreviewForApp(const std::shared_ptr<RunningApplicationEx>& app, const Rect& rect, QWidget* view,
                                 RectEdge preferredEdge, const std::shared_ptr<CellActionsDelegate>& delegate);
    bool previewIsShow() const { return isShow_; }
    // The gentle close: nothing while the pointer is inside the popover (or when no
    // preview is shown); otherwise the popover's window is ordered out.
    void hidePreview();
    // The forced close: the popover closes whatever the pointer does.
    void forseClosePreview() override;

    // The content size for the model's windows; sets the grid's item size.
    Size calculateContentSizeAndSetItemSize();
    // The thumbnail height: the integer default "cellHeight" when above 200, else 200
    // (at most what keeps the width a 16-bit value).
    int16_t cellHeight() const;
    // The height x 1.6, truncated.
    int16_t cellWidth() const;
    // The screen's frame size less the dock and a margin: (W - 50, H - 150).
    Size maxScreenSize() const;
    // The screen of the positioning view's window (the main screen before any show or
    // when the window lies on no screen).
    ScreenPtr getScreen() const;
    int getDockPosition() const { return 1; }
    double dockHeight() const { return 100.0; }

    void runCloseTimer();
    // One close check.
    void timerFireMethod();
    // Whether the pointer is inside the view, both in screen coordinates.
    bool mouseInRect() const;
    void updateTrackingAreas();
    void mouseEntered();
    void mouseExited();
    void setUpObserving();

    // State and parts.
    std::shared_ptr<RunningApplicationEx> model() const { return model_; }
    void setModel(const std::shared_ptr<RunningApplicationEx>& model);
    Popover& popover() const { return *popover_; }
    CollectionView* collectionView() const { return collectionView_; }
    const ArrayControllerPtr& arrayController() const { return arrayController_; }
    QScrollArea* scrollView() const { return scrollView_; }
    QWidget* positioningView() const { return positioningView_; }
    std::shared_ptr<CellActionsDelegate> delegate() const { return delegate_.lock(); }
    bool inFocus() const { return inFocus_; }
    bool isCloseTimerRunning() const;
    bool isHidePending() const;
    // The thumbnail cell of a window index; nullptr when none.
    WPCollectionItemCell* cellAtIndex(size_t index) const;

    // PopoverDelegate: the popover closed on its own (its item went away).
    void popoverDidClose(Popover& popover) override;

protected:
    // Whether the pointer is over the dock panel (the delegate's dockInMouseRect).
    virtual bool dockInMouseRect() const;

private:
    bool isActive() const;
    void endPreview();
    // Keeps the contents of the model's windows while shown, releasing those no longer
    // shown; releaseShownContents releases them all.
    void keepShownContents();
    void releaseShownContents();
    void cancelPendingHide();
    void modelChanged();
    void layoutContent();

    // The view is given back by the popover before it goes, so the popover is declared
    // after it (and destroyed first).
    std::unique_ptr<QWidget> viewOwner_;
    QPointer<QWidget> view_;
    std::unique_ptr<Popover> popover_;
    QPointer<CollectionView> collectionView_;
    QPointer<QScrollArea> scrollView_;
    ArrayControllerPtr arrayController_;
    std::shared_ptr<RunningApplicationEx> model_;
    QPointer<QWidget> positioningView_;
    std::weak_ptr<CellActionsDelegate> delegate_;
    std::unique_ptr<Timer> closeTimer_;
    std::unique_ptr<Timer> pendingHide_;
    bool inFocus_ = false;
    bool isShow_ = false;
    bool closingPopover_ = false;  // this controller is closing the popover itself
    size_t columns_ = 0, rows_ = 0;
    Size cell_;
    KeyValueObservation windowsObservation_;
    KeyValueObservation modelObservation_;
    KeyValueObservation countObservation_;
    std::vector<std::shared_ptr<SIWindow>> kept_;
    bool loading_ = false;
};

using WindowPreviewControllerPtr = std::shared_ptr<WindowPreviewController>;

}  // namespace qs
