#include "dock_ui/WindowPreviewController.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include <QEvent>
#include <QScrollArea>
#include <QScrollBar>

#include "dock_ui/CellActionsDelegate.h"
#include "dock_ui/WPCollectionItemCell.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/InputState.h"
#include "platform/ui/WindowGeometry.h"
#include "tracking/RunningApplicationEx.h"

namespace qs {

namespace {

// The controller's view: it tells of the pointer entering and leaving it, and lays the
// grid's scroll area out inside the allowance when it is resized.
class PreviewView : public QWidget {
public:
    std::function<void()> entered, exited, resized;

protected:
    bool event(QEvent* e) override {
        switch (e->type()) {
            case QEvent::Enter:
                if (entered) entered();
                break;
            case QEvent::Leave:
                if (exited) exited();
                break;
            case QEvent::Resize:
                if (resized) resized();
                break;
            default:
                break;
        }
        return QWidget::event(e);
    }
};

// A cell taller than this would make the width leave 16 bits.
constexpr int64_t kLargestCellHeight = 20479;

}  // namespace

std::shared_ptr<WindowPreviewController> WindowPreviewController::init() {
    auto controller = std::make_shared<WindowPreviewController>();
    controller->view();
    // A thumbnail's first view pays for the drawing and fonts every later one shares:
    // made on an idle turn now, it is not paid by the first preview shown.
    std::weak_ptr<WindowPreviewController> weak = controller;
    RunLoop::main().post([weak] {
        if (auto c = weak.lock())
            if (c->collectionView_ && c->collectionView_->itemPrototype()) c->collectionView_->itemPrototype()->view();
    });
    return controller;
}

WindowPreviewController::WindowPreviewController() : popover_(std::make_unique<Popover>()) {
    popover_->setAnimates(false);
    popover_->setBehavior(NSPopoverBehaviorApplicationDefined);
    arrayController_ = ArrayController::create();
}

WindowPreviewController::~WindowPreviewController() {
    releaseShownContents();
    closeTimer_.reset();
    pendingHide_.reset();
    windowsObservation_.invalidate();
    modelObservation_.invalidate();
    countObservation_.invalidate();
    if (collectionView_) collectionView_->unbindAll();
    arrayController_->unbind("contentArray");
    popover_->setDelegate({});
    popover_.reset();  // gives the view back
    viewOwner_.reset();
}

Value WindowPreviewController::valueForKey(const std::string& key) const {
    if (key == "model") return model_ ? Value(model_) : Value();
    if (key == "isShow") return Value(isShow_);
    return Object::valueForKey(key);
}

void WindowPreviewController::setModel(const std::shared_ptr<RunningApplicationEx>& model) {
    if (model == model_) return;
    willChangeValueForKey("model");
    model_ = model;
    didChangeValueForKey("model");
}

// The view ------------------------------------------------------------------------------

QWidget* WindowPreviewController::view() {
    if (!view_ && !loading_) {
        loading_ = true;
        loadView();
        loading_ = false;
        viewDidLoad();
    }
    return view_.data();
}

void WindowPreviewController::loadView() {
    if (view_) return;
    auto* root = new PreviewView;
    root->setAttribute(Qt::WA_NoSystemBackground);
    root->setMouseTracking(true);
    viewOwner_.reset(root);
    view_ = root;

    scrollView_ = new QScrollArea(root);
    scrollView_->setFrameShape(QFrame::NoFrame);
    scrollView_->setWidgetResizable(false);
    scrollView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollView_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollView_->setAutoFillBackground(false);
    scrollView_->viewport()->setAutoFillBackground(false);
    collectionView_ = new CollectionView;
    collectionView_->setAutoFillBackground(false);
    scrollView_->setWidget(collectionView_);

    auto prototype = std::make_shared<WPCollectionItemCell>();
    if (auto self = weak_from_this().lock())
        prototype->setPreviewController(std::static_pointer_cast<WindowPreviewController>(self));
    collectionView_->setItemPrototype(prototype);
    collectionView_->setSelectable(false);

    root->entered = [this] { mouseEntered(); };
    root->exited = [this] { mouseExited(); };
    root->resized = [this] { layoutContent(); };

    if (auto self = weak_from_this().lock())
        popover_->setDelegate(std::static_pointer_cast<WindowPreviewController>(self));

    calculateContentSizeAndSetItemSize();
    updateTrackingAreas();
}

void WindowPreviewController::viewDidLoad() {
    collectionView_->setBackgroundTransparent(true);
    setUpObserving();
    updateTrackingAreas();
    cancelPendingHide();
}

void WindowPreviewController::layoutContent() {
    if (!view_ || !scrollView_ || !collectionView_) return;
    const int allowance = int(kContentAllowance / 2);
    const int w = view_->width(), h = view_->height();
    // The scroll area reaches into the right margin, where its scroller stands when the
    // rows are taller than the screen allows.
    scrollView_->setGeometry(allowance, allowance, std::max(0, w - allowance), std::max(0, h - 2 * allowance));
    const QSize grid(int(std::lround(cell_.width * double(columns_))), int(std::lround(cell_.height * double(rows_))));
    if (collectionView_->size() != grid) collectionView_->setFixedSize(grid);
}

void WindowPreviewController::updateTrackingAreas() {
    // Qt tells the view of the pointer entering and leaving its whole area (its
    // thumbnails included) once it tracks the mouse.
    if (view_) view_->setMouseTracking(true);
}

// Sizes ---------------------------------------------------------------------------------

int16_t WindowPreviewController::cellHeight() const {
    int64_t value = UserDefaults::standardUserDefaults().integerForKey("cellHeight");
    int64_t height = value > kMinimumCellHeight ? value : kMinimumCellHeight;
    return int16_t(std::min(height, kLargestCellHeight));
}

int16_t WindowPreviewController::cellWidth() const { return int16_t(std::trunc(double(cellHeight()) * kCellAspect)); }

ScreenPtr WindowPreviewController::getScreen() const {
    ScreenPtr screen;
    if (positioningView_) screen = WindowGeometry::screen(positioningView_->window());
    return screen ? screen : Screen::mainScreen();
}

Size WindowPreviewController::maxScreenSize() const {
    ScreenPtr screen = getScreen();
    if (!screen) return MakeSize(0, 0);
    Size size = screen->frame().size;
    const int position = getDockPosition();
    if (position == 0 || position == 2) size.width -= dockHeight();
    else size.height -= dockHeight();
    return MakeSize(size.width - kScreenAllowance, size.height - kScreenAllowance);
}

Size WindowPreviewController::calculateContentSizeAndSetItemSize() {
    const Size max = maxScreenSize();
    const bool bounded = max.width > 0 && max.height > 0;
    double h = cellHeight(), w = cellWidth();
    if (bounded && (w > max.width || h > max.height)) {
        // A cell larger than the screen allows is made smaller, in proportion.
        h = std::max(1.0, std::min({h, std::floor(max.height), std::floor(max.width / kCellAspect)}));
        w = std::max(1.0, std::trunc(h * kCellAspect));
    }
    cell_ = MakeSize(w, h);
    if (collectionView_) {
        collectionView_->setMinItemSize(cell_);
        collectionView_->setMaxItemSize(cell_);
    }

    const size_t n = model_ ? model_->windows().size() : 0;
    Size size;
    if (bounded && double(n) * w > max.width) {
        // Never fewer than one column, however narrow the screen.
        const size_t columns = std::max<size_t>(1, size_t(std::trunc(max.width / w)));
        const size_t rows = size_t(std::ceil(float(n) / float(columns)));
        size = MakeSize(w * double(columns), std::min(max.height, h * double(rows)));
        columns_ = columns;
        rows_ = rows;
    } else if (n > 0) {
        size = MakeSize(double(n) * w, h);
        columns_ = n;
        rows_ = 1;
    } else {
        size = MakeSize(double(int(w) / 2), double(int(h) / 2));
        columns_ = rows_ = 0;
    }
    size.width += kContentAllowance;
    size.height += kContentAllowance;

    if (view_) {
        const QSize s(int(std::ceil(size.width)), int(std::ceil(size.height)));
        if (view_->size() != s) view_->resize(s);  // the popover places it when shown
        layoutContent();
    }
    return size;
}

// Observation ---------------------------------------------------------------------------

void WindowPreviewController::setUpObserving() {
    auto self = weak_from_this().lock();
    if (!self) {
        log("WindowPreviewController: made without a shared owner; its windows are not followed");
        return;
    }
    arrayController_->bind("contentArray", self, "model.windows");
    collectionView_->bind("content", arrayController_, "arrangedObjects");
    const unsigned options = KeyValueObservingOptionNew | KeyValueObservingOptionOld;
    windowsObservation_ = observe("model.windows", options, [this](const KeyValueChange&) { modelChanged(); });
    modelObservation_ = observe("model", options, [this](const KeyValueChange&) { modelChanged(); });
    countObservation_ = observe("model.windows.@count", options, [this](const KeyValueChange&) { modelChanged(); });
}

void WindowPreviewController::modelChanged() {
    arrayController_->rearrangeObjects();
    popover_->setContentSize(calculateContentSizeAndSetItemSize());
    if (model_ && !model_->windows().empty()) {
        updateTrackingAreas();
        keepShownContents();
        return;
    }
    // The last window went: the preview ends now (and says so), rather than counting as
    // shown until a later check.
    if (isShow_) {
        forseClosePreview();
    } else {
        closingPopover_ = true;
        popover_->close();
        closingPopover_ = false;
    }
}

// Showing -------------------------------------------------------------------------------

void WindowPreviewController::showWindowPreviewForApp(const std::shared_ptr<RunningApplicationEx>& app,
                                                      const Rect& rect, QWidget* positioningView, RectEdge preferredEdge,
                                                      const std::shared_ptr<CellActionsDelegate>& delegate) {
    if (!app) {
        log("WindowPreviewController: no application to preview");
        return;
    }
    QWidget* content = view();
    positioningView_ = positioningView;
    const bool another = app != model_;
    if (another) {
        closingPopover_ = true;
        popover_->close();
        closingPopover_ = false;
        setModel(app);
    }
    popover_->setContentView(content);
    popover_->setContentSize(calculateContentSizeAndSetItemSize());
    popover_->showRelativeToRect(rect, positioningView, preferredEdge);
    if (!popover_->isShown() || !popover_->window() || !popover_->window()->isVisible()) {
        // Nothing could show (the popover said why): a preview that was shown has ended.
        if (isShow_) forseClosePreview();
        return;
    }
    // A preview shown by a hover owes nothing to what came before: a close still pending
    // from the pointer leaving it (back onto its item, or its window going away under the
    // pointer) is dropped, whether it is a new preview, another application's or the same
    // one shown again.
    cancelPendingHide();
    isShow_ = true;
    delegate_ = delegate;
    runCloseTimer();
    keepShownContents();
}

void WindowPreviewController::keepShownContents() {
    std::vector<std::shared_ptr<SIWindow>> windows;
    if (isShow_ && model_) windows = model_->windows();
    for (const auto& window : kept_)
        if (std::find(windows.begin(), windows.end(), window) == windows.end()) window->releaseContents();
    for (const auto& window : windows) window->keepContents();
    kept_ = std::move(windows);
}

void WindowPreviewController::releaseShownContents() {
    for (const auto& window : kept_) window->releaseContents();
    kept_.clear();
}

// Closing -------------------------------------------------------------------------------

void WindowPreviewController::endPreview() {
    isShow_ = false;
    releaseShownContents();
    inFocus_ = false;
    closeTimer_.reset();
    cancelPendingHide();
    NotificationCenter::defaultCenter().postNotificationName(kClosedNotification);
}

void WindowPreviewController::hidePreview() {
    if (inFocus_) return;
    if (!isShow_) return;  // nothing shown: nothing to close or announce
    popover_->orderOut();
    endPreview();
}

void WindowPreviewController::forseClosePreview() {
    const bool wasShown = isShow_;
    isShow_ = false;
    closingPopover_ = true;
    popover_->close();
    closingPopover_ = false;
    if (wasShown) {
        endPreview();
    } else {
        inFocus_ = false;
        closeTimer_.reset();
        cancelPendingHide();
    }
}

void WindowPreviewController::popoverDidClose(Popover&) {
    if (closingPopover_) return;
    // Closed by the popover itself (its item or panel went away).
    if (isShow_) endPreview();
}

void WindowPreviewController::cancelPendingHide() { pendingHide_.reset(); }

bool WindowPreviewController::isCloseTimerRunning() const { return closeTimer_ && closeTimer_->isValid(); }

bool WindowPreviewController::isHidePending() const { return pendingHide_ && pendingHide_->isValid(); }

// The close check and the pointer -------------------------------------------------------

void WindowPreviewController::runCloseTimer() {
    closeTimer_.reset();
    closeTimer_ = Timer::scheduledTimer(kCloseCheckInterval, true, [this] { timerFireMethod(); });
}

void WindowPreviewController::timerFireMethod() {
    if (mouseInRect()) return;
    // The pointer is outside the view whatever the enter and leave events said (a leave
    // can be lost when a window vanishes under the pointer).
    inFocus_ = false;
    if (dockInMouseRect()) return;
    hidePreview();
}

bool WindowPreviewController::mouseInRect() const {
    if (!view_ || !view_->isVisible()) return false;
    const Point p = GetCurrentPointerLocation();
    const QPoint topLeft = view_->mapToGlobal(QPoint(0, 0));
    return p.x >= topLeft.x() && p.x < topLeft.x() + view_->width() && p.y >= topLeft.y() &&
           p.y < topLeft.y() + view_->height();
}

bool WindowPreviewController::dockInMouseRect() const {
    auto d = delegate_.lock();
    return d && d->dockInMouseRect();
}

void WindowPreviewController::mouseEntered() {
    inFocus_ = true;
    // Only a preview on screen can be entered.
    if (popover_->isShown() && popover_->window() && popover_->window()->isVisible()) isShow_ = true;
    cancelPendingHide();
}

void WindowPreviewController::mouseExited() {
    inFocus_ = false;
    pendingHide_ = Timer::scheduledTimer(kExitCloseDelay, false, [this] { hidePreview(); });
}

WPCollectionItemCell* WindowPreviewController::cellAtIndex(size_t index) const {
    return collectionView_ ? dynamic_cast<WPCollectionItemCell*>(collectionView_->itemAtIndex(index)) : nullptr;
}

}  // namespace qs
