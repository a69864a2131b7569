#pragma once
// One dock panel: a frameless, never-focused window of dock type along one edge of one
// screen, showing the items of the shared model as one row or one column of equal
// square cells, laid out and placed by the shared configuration, drawn in the current
// theme, and hidden and shown again at the screen edge when auto-hide is on.
//
// Window system: the panel is of dock type, on every desktop, left out of task bars
// and pagers, above other windows, and never takes the focus. With a compositing
// manager it is translucent (an ARGB visual), asks for blur behind vibrant themes and
// fades through the window opacity; without one the background is opaque and a fade
// ends in the window being shown or hidden. With "Cast a shadow" (the configuration's
// windowCastsShadow) and a compositing manager the panel casts a shadow around itself
// (PanelShadow); without one the setting has nothing to cast it on. Either way alphaValue() is the exact alpha
// of the fades, and a hidden panel (alpha 0) is still "visible" (ordered in): its
// window is only unmapped, so that it takes no clicks.
//
// Fades and the auto-hide poll run on run-loop timers (a fade ticks at 60 Hz while it
// runs and not otherwise), so tests drive them with the manual clock.
//
// Main thread only.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "core/DockWindowController.h"
#include "dock_ui/PanelShadow.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/ArrayController.h"
#include "toolkit/WindowPlacement.h"

namespace qs {

class CellActionsDelegate;
class CollectionViewItem;
class DockCollectionView;
class CollectionViewDelegate;
class DockConfiguration;
class DockContentView;
class DockModel;
class ThemeManager;
class Timer;
class VisualEffectView;

class DockWindow : public QWidget, public DockPanelWindow, public NSWindow_Utilities::IndentRule {
    Q_OBJECT

public:
    // initWithPanelModel:withConfiguration:screen:. The panel is deleted through the
    // event loop once the last reference goes.
    static std::shared_ptr<DockWindow> initWithPanelModel(std::shared_ptr<DockModel> model,
                                                          std::shared_ptr<DockConfiguration> configuration,
                                                          ScreenPtr screen);

    DockWindow(std::shared_ptr<DockModel> model, std::shared_ptr<DockConfiguration> configuration,
               ScreenPtr screen);
    ~DockWindow() override;

    // DockPanelWindow.
    void fadeInOnScreen(ScreenPtr screen) override;
    // Ends the panel's observations and timers, removes its content view and takes it
    // off screen.
    void orderOut() override;
    void close() override;
    double alphaValue() const override { return alpha_; }
    ScreenPtr screen() const override { return screen_; }
    Rect maxFrameForMaximize() const override;
    Rect maxFrameForVerticalMaximizeFrame(const Rect& frame) const override;

    // Layout.
    void updatePositionAndSize();
    void updateSubviews();
    void applyAligmnet();
    void applyAligmnetOnAppleInterfaceMenuBarHidingChangedNotification();
    double maxItemsHightForCount(uint64_t count, double maxIconSize) const;
    void setCollectionViewParams();
    void setPanelLevel();
    // Keeps the space along the panel's edge clear of other windows while "ReserveSpace"
    // is on, auto-hide ("HideQuayside") is off and the panel is on screen; gives it back
    // otherwise (with auto-hide turned on, once the panel has hidden).
    void updateReservedSpace();
    // The bool user default "Indent".
    bool hasIndent() const override;
    int16_t position() const;

    // Auto-hide and fades.
    void startMonitoringAutohide();
    void timerFireMethod();
    void autoHideIfNeed();
    bool needShow() const;
    bool canAutoHide() const;
    void showDock();
    void hideDock();
    bool isAutoHidden() const;
    bool isMouseInDockRect() const;
    bool isMouseInUnHideRect() const;
    double autohideDelay() const;
    // The show delay a stored "autoHideDelay1" (tenths of a second) gives: whole seconds
    // of it less half a second (0 to 9 give -0.5: the next turn of the run loop).
    static double autohideDelayForSetting(int64_t tenths);

    // Appearance.
    void createVisualEffectView();
    void addVisualEffectView();
    void setupAppearance();

    // The window and its parts.
    // Installs the content view, rounding its corners (radius 0 with the fill alignment,
    // else 6 for corner style 0 and 20 for any other).
    void setContentView(QWidget* view);
    QWidget* contentView() const;
    DockContentView* dockContentView() const;
    DockCollectionView* collectionView() const { return collectionView_; }
    const ArrayControllerPtr& arrayController() const { return arrayController_; }
    VisualEffectView* visualEffectView() const { return visualEffectView_; }
    const std::shared_ptr<CellActionsDelegate>& cellActionsDelegate() const { return cellActionsDelegate_; }
    const std::shared_ptr<CollectionViewDelegate>& dragAndDropDelegate() const { return dragAndDropDelegate_; }
    const std::shared_ptr<CollectionViewItem>& itemCell() const { return itemCell_; }
    const std::shared_ptr<ThemeManager>& themeManager() const { return themeManager_; }
    const std::shared_ptr<DockModel>& model() const { return model_; }
    const std::shared_ptr<DockConfiguration>& configuration() const { return configuration_; }

    // The frame in platform coordinates.
    Rect frame() const;
    // Ordered in (on screen, whatever its alpha).
    bool isVisiblePanel() const { return orderedIn_; }
    bool isShown() const { return isShown_; }
    bool isFadingOut() const { return isFadingOut_; }
    // The window level: 3 (floating) or 101 (pop-up); both keep the panel above.
    int level() const { return level_; }
    bool hasShadow() const { return hasShadow_; }
    // The shadow's window while the panel casts one on screen (a compositing manager
    // runs, the panel is shown); nullptr or hidden otherwise.
    PanelShadow* shadowWindow() const { return shadow_; }
    double cornerRadius() const { return cornerRadius_; }
    // The named appearance ("NSAppearanceNameVibrantLight", "NSAppearanceNameVibrantDark"
    // or "" when none was set).
    const std::string& appearance() const { return appearance_; }
    // Whether the panel draws with a compositing manager (decided when it is made).
    bool isComposited() const { return composited_; }
    // Whether the auto-hide poll runs.
    bool isPolling() const;
    // Pending delayed shows of the auto-hide (at most one).
    int pendingShows() const { return pendingShow_ ? 1 : 0; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Deletes the panel through the event loop once no loop of its own (a menu, a drag
    // started in one of its event handlers) runs; until then it is off the screen.
    static void deleteWhenUnwound(QPointer<DockWindow> window);
    void buildCollectionView();
    void setupObservers();
    void stopObserving();
    void observeValueForKeyPath(const std::string& keyPath);
    void watch(Object& target, const std::string& key, const std::string& keyPath, unsigned options);

    // Fades: alpha follows the key frames over the duration, then takes the final value.
    void animateAlpha(double duration, std::vector<double> keyFrames, double finalValue, std::function<void()> done);
    void fadeTick();
    void setAlpha(double alpha);
    void syncNativeVisibility();
    void mapPanel();
    // Shows, moves or hides the shadow's window as the panel stands now.
    void updateShadow();
    ScreenPtr currentScreen() const;
    double maxItemsHightForCount(uint64_t count, double maxIconSize, const ScreenPtr& screen) const;
    Point mouseLocation() const;
    // The icon size to lay out with: the configuration's, or a safe one (with a log line)
    // when it is not a usable number.
    double usableIconSize();

    ScreenPtr screen_;
    std::unique_ptr<Timer> autoHidetimer_;
    std::shared_ptr<CollectionViewItem> itemCell_;
    bool isShown_ = false;
    bool isFadingOut_ = false;
    std::shared_ptr<DockModel> model_;
    std::shared_ptr<DockConfiguration> configuration_;
    ArrayControllerPtr arrayController_;
    DockCollectionView* collectionView_ = nullptr;
    VisualEffectView* visualEffectView_ = nullptr;
    std::shared_ptr<CellActionsDelegate> cellActionsDelegate_;
    std::shared_ptr<CollectionViewDelegate> dragAndDropDelegate_;
    std::shared_ptr<ThemeManager> themeManager_;

    QWidget* contentView_ = nullptr;
    double cornerRadius_ = 6.0;
    bool orderedIn_ = false;
    double alpha_ = 1.0;
    int level_ = 101;
    bool hasShadow_ = false;
    QPointer<PanelShadow> shadow_;
    std::string appearance_;
    bool composited_ = false;
    uint64_t nativeId_ = 0;
    bool mappedNoticePending_ = false;
    bool reserving_ = false;
    bool filteringHandle_ = false;
    int64_t lastCount_ = -1;
    float lastBadIconSize_ = 0.0f;
    bool loggedBadIconSize_ = false;

    std::recursive_mutex lock_;
    RunLoop::TimerId fadeTimer_ = 0;
    double fadeStart_ = 0.0;
    double fadeDuration_ = 0.0;
    std::vector<double> fadeFrames_;
    double fadeFinal_ = 0.0;
    std::function<void()> fadeDone_;
    RunLoop::TimerId pendingShow_ = 0;
    std::optional<Point> tickPointer_;
    RunLoop::TimerId startMonitoringTimer_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    std::vector<KeyValueObservation> observations_;
    std::vector<NotificationCenter::ObserverToken> defaultTokens_;
    std::vector<NotificationCenter::ObserverToken> workspaceTokens_;
    bool observing_ = false;
};

// Makes the dock manager build its panels as DockWindows.
void installDockWindowFactory();

}  // namespace qs
