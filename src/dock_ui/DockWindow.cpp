#include "dock_ui/DockWindow.h"

#include <algorithm>
#include <cmath>

#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QThread>
#include <QTimer>
#include <QScreen>
#include <QWindow>
#include <QApplication>

#include "core/DockConfiguration.h"
#include "core/DockManager.h"
#include "core/DockModel.h"
#include "core/ThemeManager.h"
#include "dock_ui/CellActionsDelegate.h"
#include "dock_ui/CollectionViewDelegate.h"
#include "dock_ui/DockCollectionView.h"
#include "dock_ui/DockContentView.h"
#include "dock_ui/DockCollectionItemCell.h"
#include "platform/desktop/Compositing.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/MenuBar.h"
#include "platform/desktop/PanelWindows.h"
#include "platform/desktop/SyntheticEvents.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/VisualEffectView.h"
#include "platform/ui/WindowGeometry.h"
#include "tracking/SIScreenPointConversion.h"

namespace qs {

namespace NU = NSWindow_Utilities;

namespace {

constexpr const char* kContext = "myContext";
constexpr double kFrameInterval = 1.0 / 60.0;
constexpr double kStripThickness = 20.0;
// The fades' durations are single-precision values.
const double kFadeOutDuration = double(0.3f);
const double kFadeInDuration = double(0.1f);

UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }

bool pointInRect(const Point& p, const Rect& r) {
    return p.x >= MinX(r) && p.x < MaxX(r) && p.y >= MinY(r) && p.y < MaxY(r);
}

}  // namespace

// ---------------------------------------------------------------------------------
// Construction

std::shared_ptr<DockWindow> DockWindow::initWithPanelModel(std::shared_ptr<DockModel> model,
                                                           std::shared_ptr<DockConfiguration> configuration,
                                                           ScreenPtr screen) {
    return std::shared_ptr<DockWindow>(new DockWindow(std::move(model), std::move(configuration), std::move(screen)),
                                       [](DockWindow* w) {
                                           w->stopObserving();
                                           deleteWhenUnwound(w);
                                       });
}

void DockWindow::deleteWhenUnwound(QPointer<DockWindow> window) {
    if (!window) return;
    if (QThread::currentThread()->loopLevel() <= 1) {
        window->deleteLater();
        return;
    }
    // A loop of its own runs inside one of its event handlers (a cell's context menu, a
    // drag): deleted now, the handler would return into a panel that is gone. It leaves
    // the screen at once and goes once that loop has ended.
    window->orderOut();
    QTimer::singleShot(50, qApp, [window] { deleteWhenUnwound(window); });
}

DockWindow::DockWindow(std::shared_ptr<DockModel> model, std::shared_ptr<DockConfiguration> configuration,
                       ScreenPtr screen)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      model_(std::move(model)),
      configuration_(std::move(configuration)) {
    // 1. A borderless panel on the given screen at (100, 100), 600 x 100.
    composited_ = desktop::compositingManagerRunning();
    if (composited_) setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Quayside"));
    Rect start = MakeRect(100, 100, 600, 100);
    if (screen) start = RectOffset(start, screen->frame().origin.x, screen->frame().origin.y);
    setGeometry(WindowGeometry::qtRectFromPlatform(start));
    // 2. Background clear: nothing but the content view draws.
    // 3.
    setPanelLevel();
    // 5. The content view.
    setContentView(new DockContentView(this));
    // 6.
    buildCollectionView();
    // 7.
    createVisualEffectView();
    // 8.
    themeManager_ = ThemeManager::sharedInstance();
    setupAppearance();
    // 9. Mouse-moved events; the panel never takes the focus.
    setMouseTracking(true);
}

DockWindow::~DockWindow() {
    *alive_ = false;
    stopObserving();
    if (fadeTimer_) RunLoop::main().cancel(fadeTimer_);
    if (pendingShow_) RunLoop::main().cancel(pendingShow_);
    if (collectionView_) collectionView_->unbindAll();
    // The effect view may be out of the view tree.
    if (visualEffectView_ && !visualEffectView_->parent()) delete visualEffectView_;
    delete shadow_.data();
}

void DockWindow::buildCollectionView() {
    // 1.
    arrayController_ = ArrayController::create();
    if (model_) arrayController_->bind("contentArray", model_, "panelContent");
    // 2.
    collectionView_ = new DockCollectionView(contentView_);
    collectionView_->setGeometry(contentView_->rect());
    // 3.
    cellActionsDelegate_ = CellActionsDelegate::initWhitCollectionView(collectionView_, model_, configuration_);
    collectionView_->setCellActionsDelegate(cellActionsDelegate_);
    // 4.
    collectionView_->setSelectable(true);
    collectionView_->setAllowsEmptySelection(true);
    collectionView_->setBackgroundTransparent(true);
    // 5.
    auto cell = std::make_shared<DockCollectionItemCell>();
    itemCell_ = cell;
    collectionView_->setItemPrototype(itemCell_);
    // 6.
    cellActionsDelegate_->setDocWindow(this);
    cell->setCellDelegate(cellActionsDelegate_);
    // 7.
    collectionView_->setMaxNumberOfRows(1);
    collectionView_->setMaxNumberOfColumns(0);
    // 8.
    collectionView_->bind("content", arrayController_, "arrangedObjects");
    collectionView_->bind("selectionIndexes", arrayController_, "selectionIndexes");
    // 9.
    collectionView_->show();
    arrayController_->rearrangeObjects();
    // 10.
    setupObservers();
    // 11.
    dragAndDropDelegate_ = CollectionViewDelegate::initWhitCollectionView(collectionView_, model_);
}

// ---------------------------------------------------------------------------------
// Observations

void DockWindow::watch(Object& target, const std::string& key, const std::string& keyPath, unsigned options) {
    observations_.push_back(target.observe(key, options, [this, keyPath](const KeyValueChange&) {
        observeValueForKeyPath(keyPath);
    }));
}

void DockWindow::setupObservers() {
    if (observing_) return;
    observing_ = true;
    const unsigned newOld = KeyValueObservingOptionNew | KeyValueObservingOptionOld;
    auto theme = ThemeManager::sharedInstance();
    watch(*theme, "themeIndex", "themeManager.themeIndex", newOld);
    if (model_) {
        watch(*model_, "panelContent", "model.panelContent", newOld);
        watch(*model_, "panelContent.@count", "model.panelContent.@count", newOld);
    }
    if (configuration_) {
        for (const char* key : {"position", "iconSize", "aligment", "panelLevel", "windowCastsShadow"})
            watch(*configuration_, key, std::string("configuration.") + key, newOld);
    }
    auto& controller = UserDefaultsController::sharedUserDefaultsController();
    for (const char* key : {"HideQuayside", "backgroundColor", "appearanceIndex", "ReserveSpace"})
        watch(controller, std::string("values.") + key, std::string("values.") + key, KeyValueObservingOptionNew);

    std::weak_ptr<bool> alive = alive_;
    startMonitoringTimer_ = RunLoop::main().after(2.0, [this, alive] {
        if (alive.expired()) return;
        startMonitoringTimer_ = 0;
        startMonitoringAutohide();
    });

    auto& center = NotificationCenter::defaultCenter();
    defaultTokens_.push_back(
        center.addObserver(this, "WindowPreviewClosed", nullptr, [this](const Notification&) { autoHideIfNeed(); }));
    // There is no global menu bar on this desktop; the notification is honoured when
    // something posts it.
    defaultTokens_.push_back(center.addObserver(this, "AppleInterfaceMenuBarHidingChangedNotification", nullptr,
                                                [this](const Notification&) {
                                                    applyAligmnetOnAppleInterfaceMenuBarHidingChangedNotification();
                                                }));
    workspaceTokens_.push_back(NotificationCenter::workspaceCenter().addObserver(
        this, "NSWorkspaceActiveSpaceDidChangeNotification", nullptr,
        [this](const Notification&) { updatePositionAndSize(); }));
    defaultTokens_.push_back(center.addObserver(this, "NSApplicationDidChangeScreenParametersNotification", nullptr,
                                                [this](const Notification&) { updatePositionAndSize(); }));
    lastCount_ = model_ ? int64_t(model_->panelContent().size()) : 0;
}

void DockWindow::stopObserving() {
    observations_.clear();
    for (auto t : defaultTokens_) NotificationCenter::defaultCenter().removeObserver(t);
    for (auto t : workspaceTokens_) NotificationCenter::workspaceCenter().removeObserver(t);
    defaultTokens_.clear();
    workspaceTokens_.clear();
    if (startMonitoringTimer_) RunLoop::main().cancel(startMonitoringTimer_);
    startMonitoringTimer_ = 0;
    if (autoHidetimer_) autoHidetimer_->invalidate();
    autoHidetimer_.reset();
    if (pendingShow_) RunLoop::main().cancel(pendingShow_);
    pendingShow_ = 0;
    if (arrayController_) arrayController_->unbind("contentArray");
    observing_ = false;
}

void DockWindow::observeValueForKeyPath(const std::string& keyPath) {
    (void)kContext;  // every observation shares the one context; the key path decides
    if (keyPath == "model.panelContent") {
        arrayController_->rearrangeObjects();
        updateSubviews();
    }
    if (keyPath == "model.panelContent.@count") {
        arrayController_->rearrangeObjects();
        // Only a change of the number of items resizes; an item replaced in place only
        // redraws.
        int64_t count = model_ ? int64_t(model_->panelContent().size()) : 0;
        if (count != lastCount_) {
            lastCount_ = count;
            updatePositionAndSize();
        }
    }
    if (keyPath == "configuration.position" || keyPath == "configuration.iconSize" ||
        keyPath == "configuration.aligment") {
        updatePositionAndSize();
        contentView_->update();
    }
    // The running indicators sit on the side of the new edge.
    if (keyPath == "configuration.position" && collectionView_)
        for (size_t i = 0; i < collectionView_->numberOfItems(); ++i)
            if (auto* cell = dynamic_cast<DockCollectionItemCell*>(collectionView_->itemAtIndex(i)))
                cell->dockPositionDidChange();
    if (keyPath == "configuration.windowCastsShadow") setupAppearance();
    if (keyPath == "configuration.panelLevel") setPanelLevel();
    if (keyPath == "themeManager.themeIndex" || keyPath == "values.backgroundColor" ||
        keyPath == "values.appearanceIndex") {
        setupAppearance();
        updatePositionAndSize();
    }
    if (keyPath == "values.HideQuayside") {
        autoHideIfNeed();
        startMonitoringAutohide();
        updateReservedSpace();
    }
    if (keyPath == "values.ReserveSpace") updateReservedSpace();
}

// ---------------------------------------------------------------------------------
// Content view, level and shadow

void DockWindow::setContentView(QWidget* view) {
    // The corners: square for the fill alignment, else small or large by corner style.
    int16_t aligment = configuration_ ? configuration_->aligment() : 0;
    int16_t cornerStyle = configuration_ ? configuration_->cornerStyle() : 0;
    cornerRadius_ = aligment == 3 ? 0.0 : (cornerStyle == 0 ? 6.0 : 20.0);
    if (view != contentView_) {
        if (contentView_) {
            contentView_->hide();
            contentView_->setParent(nullptr);
            contentView_->deleteLater();
        }
        contentView_ = view;
        if (view) {
            view->setParent(this);
            view->setGeometry(rect());
            view->show();
        }
    }
    if (auto* content = dynamic_cast<DockContentView*>(contentView_)) {
        content->setCornerRadius(cornerRadius_);
        content->setComposited(composited_);
    }
    if (visualEffectView_) visualEffectView_->setCornerRadius(cornerRadius_);
    updateShadow();
    // Without a compositing manager the corners are cut from the window itself.
    if (!composited_) {
        if (cornerRadius_ > 0) {
            QPainterPath path;
            path.addRoundedRect(QRectF(rect()), cornerRadius_, cornerRadius_);
            setMask(QRegion(path.toFillPolygon().toPolygon()));
        } else {
            clearMask();
        }
    }
}

QWidget* DockWindow::contentView() const { return contentView_; }

DockContentView* DockWindow::dockContentView() const { return dynamic_cast<DockContentView*>(contentView_); }

void DockWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (contentView_) contentView_->setGeometry(rect());
    if (collectionView_ && contentView_) collectionView_->setGeometry(contentView_->rect());
    if (visualEffectView_ && visualEffectView_->parent()) visualEffectView_->setGeometry(contentView_->rect());
    if (!composited_ && cornerRadius_ > 0) setContentView(contentView_);
    updateShadow();
}

void DockWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    updateShadow();
}

void DockWindow::updateShadow() {
    const bool casts = hasShadow_ && composited_ && orderedIn_ && alpha_ > 0.0 && isVisible();
    if (!casts) {
        if (shadow_) shadow_->follow(this, geometry(), cornerRadius_, alpha_, false);
        return;
    }
    if (!shadow_) shadow_ = new PanelShadow;
    // The window's geometry as the window system last placed it (the widget's own may
    // still be an earlier one while the window's report is being handled).
    const QWindow* handle = windowHandle();
    shadow_->follow(this, handle ? handle->geometry() : geometry(), cornerRadius_, alpha_, true);
}

void DockWindow::paintEvent(QPaintEvent*) {}

void DockWindow::setPanelLevel() {
    level_ = (configuration_ && configuration_->panelLevel() != 0) ? 3 : 101;
}

int16_t DockWindow::position() const { return configuration_ ? configuration_->position() : 1; }

bool DockWindow::hasIndent() const { return defaults().boolForKey("Indent"); }

Rect DockWindow::frame() const { return WindowGeometry::frame(this); }

ScreenPtr DockWindow::currentScreen() const { return WindowGeometry::screen(this); }

void DockWindow::updateSubviews() {
    if (!contentView_) return;
    for (QObject* child : contentView_->children())
        if (auto* w = qobject_cast<QWidget*>(child)) w->update();
    if (configuration_ && configuration_->windowCastsShadow()) {
        // The window system draws shadows itself (a compositing manager may); the flag
        // is switched off and on so that it is recomputed for the new shape.
        hasShadow_ = false;
        hasShadow_ = true;
    }
}

// ---------------------------------------------------------------------------------
// Sizing and placement

double DockWindow::maxItemsHightForCount(uint64_t count, double maxIconSize) const {
    return maxItemsHightForCount(count, maxIconSize, currentScreen());
}

double DockWindow::maxItemsHightForCount(uint64_t count, double maxIconSize, const ScreenPtr& s) const {
    Rect frame = s ? NSScreen_PointConversion::frameIncludingDockAndMenu(*s) : RectZero;
    double edge = 0.0;
    switch (position()) {
        case 1:
        case 3: edge = frame.size.width; break;
        case 0:
        case 2: edge = frame.size.height; break;
        default: edge = 0.0;
    }
    if (double(count) * maxIconSize < edge) return std::ceil(maxIconSize);
    // The cells do not fit at full size: all shrink alike to whole points that fit, so
    // that the panel never outgrows its edge.
    return std::floor(edge / double(count));
}

double DockWindow::usableIconSize() {
    float size = configuration_ ? configuration_->iconSize() : 52.0f;
    if (std::isfinite(size) && size >= 1.0f) {
        loggedBadIconSize_ = false;
        return std::trunc(double(size));
    }
    if (!loggedBadIconSize_ || !(size == lastBadIconSize_)) {
        log("dock panel: the icon size ", size, " cannot be laid out; 52 is used");
        loggedBadIconSize_ = true;
        lastBadIconSize_ = size;
    }
    return 52.0;
}

void DockWindow::setCollectionViewParams() {
    if (!collectionView_) return;
    switch (position()) {
        case 0:
        case 2:
            collectionView_->setMaxNumberOfColumns(1);
            collectionView_->setMaxNumberOfRows(0);
            break;
        case 1:
        case 3:
            collectionView_->setMaxNumberOfRows(1);
            collectionView_->setMaxNumberOfColumns(0);
            break;
        default: break;
    }
}

void DockWindow::updatePositionAndSize() {
    if (!orderedIn_) return;
    // 1. Onto the stored screen, so that the placement works on that screen.
    Point origin = screen_ ? screen_->frame().origin : PointZero;
    Rect f = frame();
    f.origin = origin;

    // 2. The cell size.
    const uint64_t n = model_ ? model_->panelContent().size() : 0;
    const double icon = usableIconSize();
    // Measured on the screen the panel stands on once moved there (the stored one).
    ScreenPtr layoutScreen = Screen::screenWithLargestPartOf(f);
    double S = maxItemsHightForCount(n, icon, layoutScreen);
    // A cell is at least one point and never larger than its screen.
    if (ScreenPtr s = layoutScreen) {
        double limit = std::max(1.0, std::min(s->frame().size.width, s->frame().size.height));
        if (!std::isfinite(S) || S > limit) S = limit;
    }
    if (!std::isfinite(S) || S < 1.0) S = 1.0;

    // 3, 4.
    if (collectionView_) {
        collectionView_->setMinItemSize(MakeSize(S, S));
        collectionView_->setMaxItemSize(MakeSize(S, S));
    }
    setCollectionViewParams();

    // 5. An empty dock keeps the length of one cell.
    double L = double(n) * S;
    if (L == 0) L = S;
    switch (position()) {
        case 0:
        case 2: f.size = MakeSize(S, L); break;
        case 1:
        case 3: f.size = MakeSize(L, S); break;
        default: break;
    }

    // 6. Placement on the screen holding the panel now, in that screen's coordinates
    // (computed as the placement helpers compute it, and applied once).
    const int16_t pos = position();
    const int16_t aligment = configuration_ ? configuration_->aligment() : 0;
    setContentView(contentView_);
    if (pos >= 0 && pos <= 3 && aligment >= 0 && aligment <= 3) {
        static const NU::Edge edges[] = {NU::Edge::Left, NU::Edge::Bottom, NU::Edge::Right, NU::Edge::Top};
        NU::PlacementInput in = NU::placementInputOn(Screen::screenWithLargestPartOf(f));
        in.window = f.size;
        in.indent = edges[pos] != NU::Edge::Top && hasIndent();
        in.menuBarVisible = MenuBar::menuBarVisible();
        f = NU::placedFrame(edges[pos], NU::Alignment(aligment), in);
        // 7. The placement is local to the screen: moved by the screen's origin, always
        // (a local placement that happens to equal the origin is no exception).
        if (screen_) f = RectOffset(f, screen_->frame().origin.x, screen_->frame().origin.y);
    } else {
        f.origin = origin;
    }
    if (!(frame() == f)) WindowGeometry::setFrame(this, f, false);

    // 8.
    if (contentView_) contentView_->update();
    updateSubviews();
    updateReservedSpace();
}

void DockWindow::updateReservedSpace() {
    auto panels = desktop::PanelWindows::installed();
    if (!panels) return;
    const int16_t pos = position();
    bool keep = orderedIn_ && pos >= 0 && pos <= 3 && defaults().boolForKey("ReserveSpace");
    // Auto-hide gives the space back once the panel has hidden, not before, and keeps none
    // while the panel shows again: the windows the window manager then grows into the
    // space are left alone (a hidden panel fits no maximised window beside it), instead of
    // being fitted back beside a panel that is about to go.
    if (defaults().boolForKey("HideQuayside")) keep = keep && reserving_ && alpha_ > 0.0;
    // A screen taken away under the panel: no space is kept until it stands on one again.
    if (keep && screen_) {
        auto screens = Screen::screens();
        if (std::find(screens.begin(), screens.end(), screen_) == screens.end()) {
            if (reserving_) log("dock panel: its screen has gone; no space is kept clear for it");
            keep = false;
        }
    }
    if (!keep && !reserving_) return;
    if (!nativeId_) nativeId_ = uint64_t(winId());
    std::optional<desktop::ReservedSpace> space;
    if (keep) space = desktop::ReservedSpace{pos, frame()};
    panels->reserveSpace(nativeId_, space);
    reserving_ = keep;
}

void DockWindow::applyAligmnet() {
    setContentView(contentView_);
    using Placement = void (*)(QWidget*);
    static const Placement table[4][4] = {
        {NU::alignLeftStart, NU::alignLeftCenter, NU::alignLeftEnd, NU::alignLeftAndFill},
        {NU::alignBottomStart, NU::alignBottomCenter, NU::alignBottomEnd, NU::alignBottomAndFill},
        {NU::alignRightStart, NU::alignRightCenter, NU::alignRightEnd, NU::alignRightAndFill},
        {NU::alignTopStart, NU::alignTopCenter, NU::alignTopEnd, NU::alignTopAndFill},
    };
    const int16_t pos = position();
    const int16_t aligment = configuration_ ? configuration_->aligment() : 0;
    if (pos < 0 || pos > 3 || aligment < 0 || aligment > 3) return;
    table[pos][aligment](this);
}

void DockWindow::applyAligmnetOnAppleInterfaceMenuBarHidingChangedNotification() {
    applyAligmnet();
    if (screen_) {
        Rect f = frame();
        WindowGeometry::setFrame(this, RectOffset(f, screen_->frame().origin.x, screen_->frame().origin.y), true);
    }
}

// ---------------------------------------------------------------------------------
// Frames for maximised windows

Rect DockWindow::maxFrameForMaximize() const {
    ScreenPtr s = currentScreen();
    Rect F = s ? NSScreen_PointConversion::frameWithoutDockOrMenu(*s) : RectZero;
    if (isAutoHidden()) return F;
    Rect p = frame();
    const double W = p.size.width, H = p.size.height;
    const double d = hasIndent() ? 8.0 : 0.0;
    switch (position()) {
        case 0: return MakeRect(F.origin.x + W + 1 + d, F.origin.y, F.size.width - W - 1 - d, F.size.height);
        case 1: return MakeRect(F.origin.x, F.origin.y, F.size.width, F.size.height - H - 1 - d);
        case 2: return MakeRect(F.origin.x, F.origin.y, F.size.width - W - 1 - d, F.size.height);
        case 3: return MakeRect(F.origin.x, F.origin.y + H, F.size.width, F.size.height - H);
        default: return F;
    }
}

Rect DockWindow::maxFrameForVerticalMaximizeFrame(const Rect& r) const {
    if (position() != 1) return RectZero;
    ScreenPtr s = currentScreen();
    double visibleHeight = s ? s->visibleFrame().size.height : 0.0;
    return MakeRect(r.origin.x, r.origin.y, r.size.width, visibleHeight - frame().size.height - 8.0);
}

// ---------------------------------------------------------------------------------
// Ordering in and out

void DockWindow::mapPanel() {
    auto panels = desktop::PanelWindows::installed();
    if (!nativeId_) nativeId_ = uint64_t(winId());
    // The window type reaches the window system only once the native window exists.
    if (!testAttribute(Qt::WA_X11NetWmWindowTypeDock)) setAttribute(Qt::WA_X11NetWmWindowTypeDock);
    if (panels) panels->prepareDockPanel(nativeId_, true);
    show();
    // The window manager hears requests about a window it manages: they are sent once
    // the window is exposed (mapped).
    if (panels) mappedNoticePending_ = true;
    // The window's own reports (placed, resized, mapped, on another screen), whatever
    // moved it, re-place the shadow.
    if (QWindow* handle = windowHandle(); handle && !filteringHandle_) {
        handle->installEventFilter(this);
        connect(handle, &QWindow::screenChanged, this, [this] { updateShadow(); });
        filteringHandle_ = true;
    }
}

bool DockWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle()) {
        switch (event->type()) {
            case QEvent::Expose:
                if (mappedNoticePending_ && windowHandle()->isExposed()) {
                    mappedNoticePending_ = false;
                    if (auto panels = desktop::PanelWindows::installed()) panels->dockPanelMapped(nativeId_, true);
                }
                updateShadow();
                break;
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::Show:
                updateShadow();
                break;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void DockWindow::syncNativeVisibility() {
    // A panel at alpha 0 is unmapped: it must not take clicks meant for the windows
    // behind it, and without a compositing manager it could not be invisible otherwise.
    const bool mapped = orderedIn_ && alpha_ > 0.0;
    if (composited_ && mapped) setWindowOpacity(alpha_);
    if (mapped && !isVisible()) mapPanel();
    else if (!mapped && isVisible()) hide();
    updateShadow();
}

void DockWindow::setAlpha(double alpha) {
    alpha_ = alpha;
    syncNativeVisibility();
}

void DockWindow::orderOut() {
    stopObserving();
    if (fadeTimer_) RunLoop::main().cancel(fadeTimer_);
    fadeTimer_ = 0;
    fadeDone_ = nullptr;
    // The content view goes (and with it the cells).
    if (contentView_) {
        if (collectionView_) collectionView_->unbindAll();
        contentView_->hide();
    }
    orderedIn_ = false;
    updateReservedSpace();
    syncNativeVisibility();
}

void DockWindow::close() {
    stopObserving();
    if (fadeTimer_) RunLoop::main().cancel(fadeTimer_);
    fadeTimer_ = 0;
    orderedIn_ = false;
    updateReservedSpace();
    QWidget::close();
    updateShadow();
}

// ---------------------------------------------------------------------------------
// Fades

void DockWindow::animateAlpha(double duration, std::vector<double> keyFrames, double finalValue,
                              std::function<void()> done) {
    auto& loop = RunLoop::main();
    if (fadeTimer_) loop.cancel(fadeTimer_);
    fadeStart_ = loop.now();
    fadeDuration_ = duration;
    fadeFrames_ = std::move(keyFrames);
    fadeFinal_ = finalValue;
    fadeDone_ = std::move(done);
    setAlpha(fadeFrames_.empty() ? finalValue : fadeFrames_.front());
    std::weak_ptr<bool> alive = alive_;
    fadeTimer_ = loop.every(kFrameInterval, [this, alive] {
        if (!alive.expired()) fadeTick();
    });
}

void DockWindow::fadeTick() {
    auto& loop = RunLoop::main();
    const double t = loop.now() - fadeStart_;
    if (t >= fadeDuration_ - 1e-9 || fadeFrames_.size() < 2) {
        loop.cancel(fadeTimer_);
        fadeTimer_ = 0;
        auto done = std::move(fadeDone_);
        fadeDone_ = nullptr;
        setAlpha(fadeFinal_);
        if (done) done();
        return;
    }
    // The key frames are spread evenly over the duration, joined linearly.
    const double u = std::clamp(t / fadeDuration_, 0.0, 1.0) * double(fadeFrames_.size() - 1);
    const size_t i = std::min(size_t(u), fadeFrames_.size() - 2);
    const double f = u - double(i);
    setAlpha(fadeFrames_[i] + (fadeFrames_[i + 1] - fadeFrames_[i]) * f);
}

void DockWindow::fadeInOnScreen(ScreenPtr screen) {
    screen_ = std::move(screen);
    if (isFadingOut_) return;
    alpha_ = 0.0;
    orderedIn_ = true;
    if (contentView_) contentView_->show();
    showDock();
    isShown_ = true;
    updatePositionAndSize();
}

void DockWindow::showDock() {
    animateAlpha(kFadeInDuration, {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9}, 1.0, [this] { alpha_ = 1.0; });
}

void DockWindow::hideDock() {
    if (!defaults().boolForKey("HideQuayside")) return;
    if (isMouseInDockRect()) return;
    if (alpha_ < 1.0) return;
    if (cellActionsDelegate_ && cellActionsDelegate_->isPreviewActive()) return;
    if (cellActionsDelegate_ && cellActionsDelegate_->isStartMenuActive()) return;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    isFadingOut_ = true;
    animateAlpha(kFadeOutDuration, {0.9, 0.8, 0.7, 0.6, 0.5, 0.4, 0.3, 0.2, 0.1}, 0.0, [this] {
        alpha_ = 0.0;
        isFadingOut_ = false;
        updateReservedSpace();
    });
}

bool DockWindow::isAutoHidden() const { return alpha_ == 0.0 && orderedIn_; }

// ---------------------------------------------------------------------------------
// Auto-hide

bool DockWindow::isPolling() const { return autoHidetimer_ && autoHidetimer_->isValid(); }

void DockWindow::startMonitoringAutohide() {
    if (defaults().boolForKey("HideQuayside")) {
        isFadingOut_ = false;
        // One poll per panel: a running one is replaced.
        if (autoHidetimer_) autoHidetimer_->invalidate();
        std::weak_ptr<bool> alive = alive_;
        autoHidetimer_ = Timer::scheduledTimer(0.3, true, [this, alive] {
            if (!alive.expired()) timerFireMethod();
        });
    } else if (autoHidetimer_ && autoHidetimer_->isValid()) {
        autoHidetimer_->invalidate();
        if (pendingShow_) RunLoop::main().cancel(pendingShow_);
        pendingShow_ = 0;
    }
}

void DockWindow::timerFireMethod() {
    std::weak_ptr<bool> alive = alive_;
    RunLoop::main().post([this, alive] {
        if (alive.expired()) return;
        std::lock_guard<std::recursive_mutex> lock(lock_);
        // One question to the desktop per tick: the pointer is read once.
        tickPointer_ = mouseLocation();
        struct Clear {
            std::optional<Point>& p;
            ~Clear() { p.reset(); }
        } clear{tickPointer_};
        if (needShow()) {
            isFadingOut_ = false;
            // One pending show at a time; it shows the panel only if the pointer still
            // rests in the strip when it runs.
            if (!pendingShow_) {
                pendingShow_ = RunLoop::main().after(std::max(0.0, autohideDelay()), [this, alive] {
                    if (alive.expired()) return;
                    pendingShow_ = 0;
                    if (needShow()) showDock();
                });
            }
        } else if (pendingShow_) {
            RunLoop::main().cancel(pendingShow_);
            pendingShow_ = 0;
        }
        if (canAutoHide()) hideDock();
    });
}

void DockWindow::autoHideIfNeed() {
    if (defaults().boolForKey("HideQuayside")) {
        if (canAutoHide()) hideDock();
    } else if (isAutoHidden()) {
        showDock();
    }
}

bool DockWindow::needShow() const { return isAutoHidden() && isMouseInUnHideRect(); }

bool DockWindow::canAutoHide() const {
    if (isMouseInUnHideRect()) return false;
    if (!cellActionsDelegate_) return true;
    if (cellActionsDelegate_->isPreviewActive()) return false;
    if (cellActionsDelegate_->isStartMenuActive()) return false;
    if (cellActionsDelegate_->folderViewIsShow()) return false;
    if (cellActionsDelegate_->groupViewIsShow()) return false;
    return true;
}

double DockWindow::autohideDelay() const { return autohideDelayForSetting(defaults().integerForKey("autoHideDelay1")); }

double DockWindow::autohideDelayForSetting(int64_t tenths) { return double(tenths / 10) - 0.5; }

Point DockWindow::mouseLocation() const {
    if (tickPointer_) return *tickPointer_;
    auto events = desktop::services().events;
    if (!events) return PointZero;
    // The desktop answers root coordinates (y down); the platform's run y up.
    Point p = events->pointerLocation();
    auto screens = Screen::screens();
    double h = screens.empty() ? 0.0 : screens.front()->frame().size.height;
    return MakePoint(p.x, h - p.y);
}

// The mouse tests measure against the screen's frame in platform coordinates, the
// coordinates of the pointer and of the panel's frame.
bool DockWindow::isMouseInDockRect() const {
    ScreenPtr s = currentScreen();
    Rect S = s ? s->frame() : RectZero;
    Rect band = frame();
    switch (position()) {
        case 0:
            band.origin.y = S.origin.y;
            band.size.height = S.size.height;
            if (hasIndent()) {
                band.size.width += band.origin.x - S.origin.x;
                band.origin.x = S.origin.x;
            }
            break;
        case 2:
            band.origin.y = S.origin.y;
            band.size.height = S.size.height;
            break;
        case 1:
        case 3:
            band.origin.x = S.origin.x;
            band.size.width = S.size.width;
            break;
        default: break;
    }
    return pointInRect(mouseLocation(), band);
}

bool DockWindow::isMouseInUnHideRect() const {
    ScreenPtr s = currentScreen();
    Rect S = s ? s->frame() : RectZero;
    Rect P = frame();
    Rect strip = P;
    switch (position()) {
        case 0: strip = MakeRect(S.origin.x, S.origin.y, kStripThickness, S.size.height); break;
        case 1:
            strip = MakeRect(S.origin.x, hasIndent() ? S.origin.y : P.origin.y, S.size.width, kStripThickness);
            break;
        case 2:
            if (defaults().integerForKey("displayIndex") == 0)
                strip = MakeRect(S.origin.x + S.size.width - kStripThickness, S.origin.y, P.size.width, S.size.height);
            else
                strip = MakeRect(P.origin.x, S.origin.y, P.size.width, S.size.height);
            break;
        case 3: strip = MakeRect(S.origin.x, P.origin.y, S.size.width, P.size.height); break;
        default: break;
    }
    Point m = mouseLocation();
    auto screens = Screen::screens();
    if (!screens.empty()) {
        m.x -= screens.front()->frame().origin.x;
        m.y -= screens.front()->frame().origin.y;
    }
    return pointInRect(m, strip);
}

// ---------------------------------------------------------------------------------
// Appearance

void DockWindow::createVisualEffectView() {
    visualEffectView_ = new VisualEffectView(contentView_);
    visualEffectView_->setGeometry(contentView_->rect());
    visualEffectView_->setBlendingMode(VisualEffectView::BehindWindow);
    visualEffectView_->setTranslucent(composited_);
    visualEffectView_->setCornerRadius(cornerRadius_);
    visualEffectView_->show();
    visualEffectView_->setState(VisualEffectView::Active);
    if (collectionView_) collectionView_->raise();
}

void DockWindow::addVisualEffectView() {
    if (!visualEffectView_) createVisualEffectView();
    if (visualEffectView_->parent() != contentView_) visualEffectView_->setParent(contentView_);
    visualEffectView_->setGeometry(contentView_->rect());
    visualEffectView_->show();
    // Below the collection view.
    if (collectionView_) visualEffectView_->stackUnder(collectionView_);
}

void DockWindow::setupAppearance() {
    auto manager = themeManager_ ? themeManager_ : ThemeManager::sharedInstance();
    auto theme = manager->currenThemeInfo();
    const int type = theme ? theme->themeType() : 0;
    auto removeEffectView = [this] {
        if (visualEffectView_ && visualEffectView_->parent()) {
            visualEffectView_->hide();
            visualEffectView_->setParent(nullptr);
        }
    };
    bool blur = false;
    if (type > 3) {
        removeEffectView();
        if (visualEffectView_) visualEffectView_->setState(VisualEffectView::Inactive);
    } else {
        removeEffectView();
        if (type == 2 || type == 3) {
            if (visualEffectView_) visualEffectView_->setState(VisualEffectView::Inactive);
        } else {
            addVisualEffectView();
            visualEffectView_->setState(VisualEffectView::Active);
            appearance_ = theme ? theme->windowAppearance() : std::string(NSAppearanceNameVibrantDark);
            visualEffectView_->setMaterial(appearance_ == NSAppearanceNameVibrantLight ? VisualEffectView::Light
                                                                                       : VisualEffectView::Dark);
            blur = composited_;
        }
    }
    if (type == ThemeInfo::ColorTheme)
        appearance_ = defaults().boolForKey("appearanceIndex") ? NSAppearanceNameVibrantDark
                                                               : NSAppearanceNameVibrantLight;
    update();
    if (contentView_) contentView_->update();
    hasShadow_ = configuration_ && configuration_->windowCastsShadow();
    updateShadow();
    if (composited_) {
        if (auto panels = desktop::PanelWindows::installed()) {
            if (!nativeId_) nativeId_ = uint64_t(winId());
            panels->setBlurBehind(nativeId_, blur);
        }
    }
}

// ---------------------------------------------------------------------------------

void installDockWindowFactory() {
    DockManager::setWindowFactory(
        [](std::shared_ptr<DockModel> model, std::shared_ptr<DockConfiguration> configuration,
           ScreenPtr screen) -> DockPanelWindowPtr {
            return DockWindow::initWithPanelModel(std::move(model), std::move(configuration), std::move(screen));
        });
}

}  // namespace qs
