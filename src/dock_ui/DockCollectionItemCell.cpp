#include "dock_ui/DockCollectionItemCell.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QPainter>

#include "core/DockConfiguration.h"
#include "core/FileSystemNode.h"
#include "core/ThemeManager.h"
#include "dock_ui/BackgroundContrast.h"
#include "dock_ui/CellActionsDelegate.h"
#include "dock_ui/CustomBadge.h"
#include "dock_ui/ItemIconCache.h"
#include "platform/desktop/Workspace.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Color.h"
#include "platform/ui/FlatButton.h"
#include "platform/ui/Menu.h"
#include "platform/ui/MenuPresenter.h"
#include "platform/ui/ViewObject.h"
#include "toolkit/EventUtilities.h"
#include "tracking/LaunchTracker.h"

namespace qs {

namespace {

// Bounce cycles started since the last reset, shared by every cell.
int gBounceCounter = 0;

// The bounce: up in 0.3 s, down in 0.2 s, a rest of 0.3 s.
constexpr double kRiseDuration = 0.3;
constexpr double kFallDuration = 0.2;
constexpr double kRestDuration = 0.3;

// The running indicator: a pill this thick, this far from the cell's edge.
constexpr int kIndicatorHeight = 4;
constexpr int kIndicatorBottom = 2;

UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }

// Shows or hides a child, doing nothing when it already is as asked (a child never
// shown or hidden explicitly follows its parent, so that counts as a change).
void setShown(QWidget* w, bool shown) {
    if (!w) return;
    if (w->testAttribute(Qt::WA_WState_ExplicitShowHide) && w->isHidden() == !shown) return;
    w->setVisible(shown);
}

}  // namespace

// ---------------------------------------------------------------------------------
// The icon view

DockCellIconView::DockCellIconView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

int DockCellIconView::requestIcon(const ObjectPtr& item, bool clearUntilReady) {
    const int pixels = int(std::lround(width() * devicePixelRatioF()));
    const uint64_t request = newRequest();
    if (!item || pixels <= 0) {
        setImage({});
        return 0;
    }
    QPointer<DockCellIconView> target = this;
    QImage image = ItemIconCache::shared().iconForItem(item, pixels, this, [target, request](const QImage& icon) {
        // Only the answer to the latest request of a view that still exists.
        if (target && target->currentRequest() == request) target->setImage(icon);
    });
    if (!image.isNull()) setImage(image);
    else if (clearUntilReady) setImage({});  // nothing until it is ready
    return pixels;
}

void DockCellIconView::setImage(const QImage& image) {
    if (image.isNull() && image_.isNull()) return;
    if (!image.isNull() && !image_.isNull() && image.cacheKey() == image_.cacheKey()) return;
    image_ = image;
    updateShownImage();
    update();
}

void DockCellIconView::setLightensDarkImage(bool lighten) {
    if (lighten_ == lighten) return;
    lighten_ = lighten;
    updateShownImage();
    update();
}

void DockCellIconView::updateShownImage() {
    shown_ = lighten_ && BackgroundContrast::isDark(image_) ? BackgroundContrast::lightened(image_) : image_;
}

void DockCellIconView::paintEvent(QPaintEvent*) {
    ++paints_;
    if (shown_.isNull() || width() <= 0 || height() <= 0) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    // The image fits the square, centred (the cache keeps its proportions).
    QSizeF size = QSizeF(shown_.size()).scaled(QSizeF(width(), height()), Qt::KeepAspectRatio);
    QRectF target(QPointF((width() - size.width()) / 2.0, (height() - size.height()) / 2.0), size);
    painter.drawImage(target, shown_);
}

// ---------------------------------------------------------------------------------
// The cell

DockCollectionItemCell::DockCollectionItemCell() = default;

DockCollectionItemCell::~DockCollectionItemCell() {
    stopBounce();
    if (stopTimer_ && stopLoop_ && RunLoop::isLive(stopLoop_)) stopLoop_->cancel(stopTimer_);
    stopTimer_ = 0;
    NotificationCenter::defaultCenter().removeObserver(static_cast<const void*>(this));
    NotificationCenter::defaultCenter().removeObserver(static_cast<const void*>(&themeObserverTag_));
    NotificationCenter::defaultCenter().removeObserver(static_cast<const void*>(&launchObserverTag_));
    NotificationCenter::workspaceCenter().removeObserver(static_cast<const void*>(this));
}

std::shared_ptr<CollectionViewItem> DockCollectionItemCell::copy() const {
    auto cell = std::make_shared<DockCollectionItemCell>();
    cell->cellDelegate_ = cellDelegate_;
    cell->view();  // as init does: the cell is set up before it gets an object
    return cell;
}

int DockCollectionItemCell::bounceCounter() { return gBounceCounter; }

void DockCollectionItemCell::loadView() {
    auto* root = new CollectionItemView;
    itemView_ = root;
    imageView_ = new DockCellIconView(root);
    indicator_ = new FlatButton(root);
    // The indicator and the badge only show: presses go to the cell.
    indicator_->setAttribute(Qt::WA_TransparentForMouseEvents);
    badgeView_ = new CustomBadge(root);
    badgeView_->setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(root, &CollectionItemView::resized, this, [this] { layoutSubviews(); });
    setView(root);
}

void DockCollectionItemCell::viewDidLoad() {
    CollectionViewItem::viewDidLoad();
    updateTrackingAreas();
    if (itemView_) itemView_->setCornerRadius(6.0);

    if (badgeView_) {
        badgeView_->setBadgeText("");
        badgeView_->setBadgeTextColor(Color::whiteColor());
        badgeView_->setBadgeFrameColor(Color::colorWithCalibratedRed(1.0, 0.0, 0.0, 1.0));
        badgeView_->setBadgeInsetColor(Color::colorWithCalibratedRed(1.0, 0.0, 0.0, 1.0));
        badgeView_->setBadgeFrame(true);
        badgeView_->setBadgeShining(false);
        badgeView_->setBadgeCornerRoundness(0.4);
        badgeView_->setBadgeScaleFactor(0.6);
        badgeView_->autoBadgeSizeWithString("");
        setShown(badgeView_, false);
    }

    if (indicator_) {
        indicator_->setMomentary(true);
        indicator_->setCornerRadius(4.0);
        indicator_->setBackgroundNormalColor(Color::whiteColor());
        indicator_->setTitleNormalColor(Color::alternateSelectedControlColor());
        applyThemeToIndicator();
    }

    hideIndicatorsObservation_ = UserDefaultsController::sharedUserDefaultsController().observe(
        "values.hideIndicators", KeyValueObservingOptionNew, [this](const KeyValueChange&) { setIndicatoState(); });
    // The indicator's colour follows the theme (also when the panel's size stays).
    NotificationCenter::defaultCenter().addObserver(static_cast<const void*>(&themeObserverTag_), "ThemeIndex",
                                                    nullptr, [this](const Notification&) {
                                                        applyThemeToIndicator();
                                                        applyThemeToIcon();
                                                    });
    // An application launched from this cell bounces until its first window maps.
    NotificationCenter::defaultCenter().addObserver(
        static_cast<const void*>(&launchObserverTag_), LaunchTracker::kLaunchingChangedNotification, nullptr,
        [this](const Notification&) {
            if (!isLaunchingFromDock()) return;
            if (bounceTimer_ == 0 && !bounceAnimation_.isRunning()) {
                gBounceCounter = 0;
                bounce();
            }
        });
    layoutSubviews();
}

void DockCollectionItemCell::viewWillLayout() {
    CollectionViewItem::viewWillLayout();
    applyThemeToIndicator();
    applyThemeToIcon();
}

void DockCollectionItemCell::applyThemeToIcon() {
    if (imageView_)
        imageView_->setLightensDarkImage(kind_ == ItemKind::StartMenu && BackgroundContrast::isDockBackgroundDark());
}

int DockCollectionItemCell::dockPosition() const {
    auto delegate = cellDelegate();
    auto config = delegate ? delegate->config() : nullptr;
    return config ? config->position() : 1;
}

void DockCollectionItemCell::dockPositionDidChange() { layoutSubviews(); }

void DockCollectionItemCell::applyThemeToIndicator() {
    if (!indicator_) return;
    auto theme = ThemeManager::sharedInstance()->currenThemeInfo();
    const int type = theme ? theme->themeType() : 0;
    indicator_->setBackgroundNormalColor(type == 0 ? Color::blackColor() : Color::whiteColor());
}

void DockCollectionItemCell::setRepresentedObject(const Value& object) {
    view();  // set up first, as a cell made by init is
    const bool changed = !(object == representedObject());
    // A bounce belongs to the object that started it.
    stopBounce();
    CollectionViewItem::setRepresentedObject(object);
    if (itemView_) itemView_->setRepresentedObject(object);
    updateTrackingAreas();

    auto item = object.object();
    kind_ = ItemKind::None;
    pid_ = -1;
    if (item) {
        const std::string kind = item->className();
        if (kind == "NSRunningApplication") {
            kind_ = ItemKind::RunningApplication;
            if (auto app = std::dynamic_pointer_cast<RunningApplication>(item)) pid_ = app->processIdentifier();
        } else if (kind == "FileSystemNode") {
            kind_ = ItemKind::FileSystemNode;
        } else if (kind == "GroupModel") {
            kind_ = ItemKind::Group;
        } else if (kind == "MenuModel") {
            kind_ = ItemKind::StartMenu;
        } else {
            kind_ = ItemKind::Other;
        }
    }

    // The icon, asked again whenever the item's icon changes.
    iconObservation_.invalidate();
    if (item) {
        iconObservation_ = item->observe("icon", KeyValueObservingOptionNew, [this](const KeyValueChange&) {
            if (auto current = representedObjectPointer()) ItemIconCache::shared().invalidate(current.get());
            requestIcon();
        });
    }
    requestIcon();
    watchRunningState();
    // The start menu's icon follows the panel's background, the user's colour included.
    backgroundObservation_.invalidate();
    if (kind_ == ItemKind::StartMenu)
        backgroundObservation_ = UserDefaultsController::sharedUserDefaultsController().observe(
            "values.backgroundColor", KeyValueObservingOptionNew, [this](const KeyValueChange&) { applyThemeToIcon(); });
    applyThemeToIcon();

    // What the previous object showed does not carry over.
    if (changed) hideBadge();
    if (!item) {
        setShown(indicator_, false);
        return;
    }
    setUpBadge();
    setSelected(false);
    setIndicatoState();
    if (kind_ == ItemKind::RunningApplication) {
        gBounceCounter = 0;
        bounce();
    }
    layoutSubviews();
}

void DockCollectionItemCell::setSelected(bool selected) {
    CollectionViewItem::setSelected(selected);
    if (itemView_) itemView_->setSelected(selected);
}

void DockCollectionItemCell::viewDidDisappear() {
    CollectionViewItem::viewDidDisappear();
    stopBounce();
    badgeView_ = nullptr;
}

void DockCollectionItemCell::setDropCell(QWidget* dropCell) {
    if (dropCell_ == dropCell) return;
    dropCell_ = dropCell;
    if (dropCell_ && view()) {
        dropCell_->setParent(view());
        // Above the icon, under the indicator and the badge.
        dropCell_->stackUnder(indicator_);
        dropCell_->setGeometry(view()->rect());
        dropCell_->show();
    }
}

// ---------------------------------------------------------------------------------
// Layout and icon

void DockCollectionItemCell::layoutSubviews() {
    if (!itemView_) return;
    const int w = itemView_->width(), h = itemView_->height();
    if (imageView_) {
        const int side = std::max(0, std::min(w, h - int(kBounceTopY)));
        if (imageView_->width() != side || imageView_->height() != side) imageView_->resize(side, side);
        placeIcon();
        const int pixels = int(std::lround(side * imageView_->devicePixelRatioF()));
        if (pixels != iconPixels_) requestIcon();
    }
    if (indicator_) {
        // Fixed size whatever the cell's size, beside the icon toward the screen edge: at
        // the bottom of a row's cell, upright at the outer side of a column's.
        const int length = std::clamp(int(std::lround(std::min(w, h) * 0.16)), 6, 16);
        const int position = dockPosition();
        if (position == 0 || position == 2) {
            // Centred on the icon where it rests (a bounce does not move the indicator).
            const int side = imageView_ ? imageView_->height() : 0;
            const int centreY = int(std::lround(h - kIconRestY - side / 2.0));
            const int x = position == 0 ? kIndicatorBottom : w - kIndicatorBottom - kIndicatorHeight;
            indicator_->setGeometry(x, centreY - length / 2, kIndicatorHeight, length);
        } else {
            indicator_->setGeometry((w - length) / 2, h - kIndicatorBottom - kIndicatorHeight, length, kIndicatorHeight);
        }
    }
    if (badgeView_) {
        badgeView_->setMaximumBadgeWidth(w);
        if (!badgeView_->badgeText().empty()) badgeView_->autoBadgeSizeWithString(badgeView_->badgeText());
        placeBadge();
    }
    if (dropCell_) dropCell_->setGeometry(itemView_->rect());
}

void DockCollectionItemCell::placeIcon() {
    if (!itemView_ || !imageView_) return;
    const int side = imageView_->width();
    const int x = (itemView_->width() - side) / 2;
    const int y = int(std::lround(itemView_->height() - iconY_ - side));
    if (imageView_->pos() != QPoint(x, y)) imageView_->move(x, y);
}

void DockCollectionItemCell::placeBadge() {
    if (!itemView_ || !badgeView_) return;
    const QPoint at(itemView_->width() - badgeView_->width(), 0);
    if (badgeView_->pos() != at) badgeView_->move(at);
}

// Asked once the layout of this turn has settled: a cell laid out at several sizes while
// its panel is built (a provisional size first) asks once, at the size it keeps, instead
// of having an icon decoded for every size it passed through.
void DockCollectionItemCell::requestIcon() {
    if (!imageView_ || iconRequestPosted_) return;
    std::weak_ptr<CollectionViewItem> weak = weak_from_this();
    if (weak.expired()) {
        requestIconNow();
        return;
    }
    iconRequestPosted_ = true;
    RunLoop::main().post([weak] {
        if (auto self = std::static_pointer_cast<DockCollectionItemCell>(weak.lock())) self->requestIconNow();
    });
}

void DockCollectionItemCell::requestIconNow() {
    iconRequestPosted_ = false;
    if (!imageView_) return;
    auto item = representedObjectPointer();
    const bool sameItem = iconItem_ == item.get();
    iconItem_ = item.get();
    iconPixels_ = imageView_->requestIcon(item, !sameItem);
}

// ---------------------------------------------------------------------------------
// Badge

void DockCollectionItemCell::setUpBadge() {
    auto& center = NotificationCenter::defaultCenter();
    center.removeObserver(static_cast<const void*>(this));
    isBadgesActive_ = defaults().boolForKey("ShowAppBadges");
    center.addObserver(static_cast<const void*>(this), "changeBadge", nullptr,
                       [this](const Notification& n) { changeBadge(n); });
}

void DockCollectionItemCell::hideBadge() { setShown(badgeView_, false); }

void DockCollectionItemCell::changeBadge(const Notification& notification) {
    // Nothing is repainted unless the badge's text, size or visibility really changed:
    // every application's badge arrives every few seconds, changed or not.
    isBadgesActive_ = defaults().boolForKey("ShowAppBadges");
    if (!isBadgesActive_) {
        hideBadge();
        return;
    }
    if (kind_ != ItemKind::RunningApplication) return;
    const Dictionary* badge = notification.object.dictionary();
    if (!badge) {
        // No object: badges were switched off, every badge clears.
        if (notification.object.isNil()) hideBadge();
        return;
    }
    auto pid = badge->find("app_pid");
    if (pid == badge->end() || int(pid->second.integerValue()) != pid_) return;
    auto text = badge->find("badgeText");
    const std::string* label = text != badge->end() ? text->second.string() : nullptr;
    if (!label || label->empty()) {
        hideBadge();
        return;
    }
    if (!badgeView_) return;
    if (itemView_) badgeView_->setMaximumBadgeWidth(itemView_->width());
    badgeView_->autoBadgeSizeWithString(*label);
    placeBadge();
    setShown(badgeView_, true);
}

// ---------------------------------------------------------------------------------
// Running indicator

void DockCollectionItemCell::setIndicatoState() {
    if (!indicator_) return;
    bool running = false;
    if (kind_ == ItemKind::RunningApplication) {
        running = true;
    } else if (kind_ == ItemKind::FileSystemNode) {
        if (auto node = representedObject().objectAs<FileSystemNode>()) running = node->isRunning();
    }
    setShown(indicator_, running && !defaults().boolForKey("hideIndicators"));
}

void DockCollectionItemCell::watchRunningState() {
    auto& workspace = NotificationCenter::workspaceCenter();
    if (observingRunning_) {
        workspace.removeObserver(static_cast<const void*>(this));
        observingRunning_ = false;
    }
    // A kept application shown by its file item: its indicator follows its launches and
    // terminations (while it runs the model usually shows the running application, but
    // not when running applications are left out of the dock).
    if (kind_ != ItemKind::FileSystemNode) return;
    auto node = representedObject().objectAs<FileSystemNode>();
    if (!node || !node->isApplication()) return;
    for (const char* name : {NSWorkspaceDidLaunchApplicationNotification, NSWorkspaceDidTerminateApplicationNotification})
        workspace.addObserver(static_cast<const void*>(this), name, nullptr,
                              [this](const Notification&) { setIndicatoState(); });
    observingRunning_ = true;
}

// ---------------------------------------------------------------------------------
// Launch bounce

bool DockCollectionItemCell::isLaunchingFromDock() const {
    if (kind_ != ItemKind::FileSystemNode) return false;
    auto node = representedObject().objectAs<FileSystemNode>();
    return node && node->isApplication() && LaunchTracker::shared().isLaunching(node->path());
}

void DockCollectionItemCell::bounce() {
    // Launched from the dock: one cycle after another while the launch lasts (its
    // first window, or the tracker's timeout, ends it).
    if (isLaunchingFromDock()) {
        bouncePhase(1, bounceChain_);
        return;
    }
    auto app = representedObject().objectAs<RunningApplication>();
    if (kind_ != ItemKind::RunningApplication || !app || app->isFinishedLaunching() ||
        gBounceCounter >= kMaxBounceCycles)
        return;
    ++gBounceCounter;
    bouncePhase(1, bounceChain_);
}

void DockCollectionItemCell::bouncePhase(int phase, uint64_t chain) {
    if (chain != bounceChain_) return;
    double target = kIconRestY, duration = kRestDuration;
    if (phase == 1) target = kBounceTopY, duration = kRiseDuration;
    else if (phase == 2) target = kIconRestY, duration = kFallDuration;
    // The rest moves nothing when the icon already rests: then only its timer runs.
    if (iconY_ != target) {
        bounceAnimation_.start(iconY_, target, duration, [this](double y) {
            iconY_ = y;
            placeIcon();
        });
    }
    bounceLoop_ = &RunLoop::main();
    bounceTimer_ = bounceLoop_->after(duration, [this, phase, chain] {
        bounceTimer_ = 0;
        if (chain != bounceChain_) return;
        if (phase < 3) bouncePhase(phase + 1, chain);
        else bounce();
    });
}

void DockCollectionItemCell::stopBounce() {
    ++bounceChain_;
    bounceAnimation_.stop();
    if (bounceTimer_ && bounceLoop_ && RunLoop::isLive(bounceLoop_)) bounceLoop_->cancel(bounceTimer_);
    bounceTimer_ = 0;
    if (iconY_ != kIconRestY) {
        iconY_ = kIconRestY;
        placeIcon();
    }
}

// ---------------------------------------------------------------------------------
// Mouse

void DockCollectionItemCell::updateTrackingAreas() {
    // Entered, exited and moved, whether or not the panel is active.
    if (QWidget* v = isViewLoaded() ? view() : nullptr) v->setMouseTracking(true);
}

bool DockCollectionItemCell::isGroupOrFolder() const {
    if (kind_ == ItemKind::Group) return true;
    if (kind_ != ItemKind::FileSystemNode) return false;
    // An application is a file to open, never a folder to expand.
    auto node = representedObject().objectAs<FileSystemNode>();
    return node && node->isDirectory() && !node->isApplication();
}

void DockCollectionItemCell::mouseDown(const Event& event) {
    auto delegate = cellDelegate();
    clickPending_ = false;
    pressLocation_ = event.locationInWindow;
    if (delegate) delegate->mouseDown(event);
    // Shift starts a reorder drag: nothing more.
    if (NSEvent_Utilities::shiftKeyDownNow()) return;
    if (defaults().boolForKey("ExpandFolders") && isGroupOrFolder()) {
        clickPending_ = true;
        if (delegate) delegate->mouseUp(event, view(), representedObject(), false);
    } else if (event.modifierFlags & NSEventModifierFlagCommand) {
        rightMouseDown(event);
    } else if (delegate) {
        clickPending_ = true;
        delegate->mouseUp(event, view(), representedObject(), false);
    }
}

void DockCollectionItemCell::mouseUp(const Event& event) {
    // Only the release of a click: not the end of a drag, of a Shift press or of a
    // Command press (whose menu has had the click).
    if (!clickPending_) return;
    clickPending_ = false;
    if (auto delegate = cellDelegate()) delegate->mouseUp(event, view(), representedObject(), true);
}

QWidget* DockCollectionItemCell::eventView(const Event& event, QPoint& local) {
    QWidget* v = view();
    QWidget* top = event.window;
    if (!top || !(top == v || top->isAncestorOf(v))) top = v->window();
    const QPoint inTop(int(std::lround(event.locationInWindow.x)),
                       int(std::lround(top->height() - event.locationInWindow.y)));
    local = top == v ? inTop : v->mapFrom(top, inTop);
    return v;
}

void DockCollectionItemCell::rightMouseDown(const Event& event) {
    auto delegate = cellDelegate();
    if (defaults().boolForKey("ExpandFolders") && isGroupOrFolder()) {
        if (delegate) delegate->mouseUp(event, view(), representedObject(), false);
        return;
    }
    auto menu = delegate ? delegate->menuForItemViewWhithObject(representedObject()) : nullptr;
    if (!menu) return;
    // The menu runs its own loop; the cell stays alive through it whatever it removes.
    auto keep = weak_from_this().lock();
    QPoint local;
    QWidget* v = eventView(event, local);
    MenuPresenter::popUpMenuPositioningItem(menu, nullptr, MakePoint(local.x(), local.y()), v);
}

void DockCollectionItemCell::mouseDragged(const Event& event) {
    // Past the drag threshold the press is a drag, whether or not an item drag starts:
    // its release opens nothing.
    if (clickPending_ && std::abs(event.locationInWindow.x - pressLocation_.x) +
                                 std::abs(event.locationInWindow.y - pressLocation_.y) >=
                             QApplication::startDragDistance())
        clickPending_ = false;
    // The collection view starts its own item drag from a press and a drag.
    CollectionViewItem::mouseDown(event);
    CollectionViewItem::mouseDragged(event);
    if (auto delegate = cellDelegate()) delegate->mouseDragged(event);
}

Dictionary DockCollectionItemCell::hoverDictionary() {
    if (!viewObject_) viewObject_ = viewObject(view());
    return Dictionary{{"app", representedObject()}, {"view", Value(viewObject_)}};
}

void DockCollectionItemCell::mouseEntered(const Event& event) {
    CollectionViewItem::mouseEntered(event);
    if (auto delegate = cellDelegate()) delegate->showPreviewWhithObject(hoverDictionary());
}

void DockCollectionItemCell::mouseExited(const Event& event) {
    CollectionViewItem::mouseExited(event);
    if (auto delegate = cellDelegate()) delegate->showPreviewWhithObject(std::nullopt);
}

void DockCollectionItemCell::mouseMoved(const Event& event) {
    CollectionViewItem::mouseMoved(event);
    // Every move puts the stop notice 0.2 s after it. One timer stays pending; a move
    // only notes its time (no timer is made per move), and a timer that fires before
    // the quiet time is over waits for the rest. Leaving the cell does not cancel it.
    RunLoop& loop = RunLoop::main();
    lastMove_ = loop.now();
    if (stopTimer_ && stopLoop_ == &loop) return;
    stopLoop_ = &loop;
    stopTimer_ = loop.after(kMouseStopDelay, [this] { mouseStopTimerFired(); });
}

void DockCollectionItemCell::mouseStopTimerFired() {
    stopTimer_ = 0;
    const double rest = lastMove_ + kMouseStopDelay - stopLoop_->now();
    if (rest > 1e-6) {
        stopTimer_ = stopLoop_->after(rest, [this] { mouseStopTimerFired(); });
        return;
    }
    if (auto delegate = cellDelegate()) delegate->mouseStopedWhithDict(hoverDictionary());
}

void DockCollectionItemCell::dropZone(QWidget*, const std::vector<URLPtr>& files) {
    if (auto delegate = cellDelegate()) delegate->prcessFiles(files, representedObject());
}

}  // namespace qs
