#include "dock_ui/WPCollectionItemCell.h"

#include <map>
#include <typeinfo>

#include <QHBoxLayout>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>

#include "platform/foundation/UserDefaults.h"
#include "tracking/SIWindow.h"

namespace qs {

namespace {

// The layout of a cell, in points from its top-left corner.
constexpr int kInset = 8;            // around the title and the picture
constexpr int kTitleHeight = 20;
constexpr int kControlSize = 18;     // close, minimise, maximise, the minimised mark
constexpr int kControlGap = 6;
constexpr int kPanelHeight = 26;     // the placement panel
constexpr int kPlacementWidth = 24;
constexpr int kPlacementHeight = 18;

// Round glyph buttons: a disc with a symbol (0 cross, 1 bar, 2 plus), drawn once at
// twice the button's size.
enum class Glyph { Outline, Filled, CutOut };
QIcon glyphIcon(int symbol, Glyph style, QColor disc) {
    const int s = 36;
    QPixmap pm(s, s);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (style == Glyph::Outline) {
        p.setPen(QPen(disc, 3));
        p.setBrush(Qt::NoBrush);
    } else {
        p.setPen(Qt::NoPen);
        p.setBrush(disc);
    }
    p.drawEllipse(QRectF(2, 2, s - 4, s - 4));
    // A template (one colour) shows its symbol as a hole in the disc.
    if (style == Glyph::CutOut) p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(QPen(style == Glyph::Filled ? QColor(0, 0, 0, 190) : disc, 4, Qt::SolidLine, Qt::RoundCap));
    const double c = s / 2.0, r = s * 0.2;
    if (symbol == 0) {
        p.drawLine(QPointF(c - r, c - r), QPointF(c + r, c + r));
        p.drawLine(QPointF(c - r, c + r), QPointF(c + r, c - r));
    } else {
        p.drawLine(QPointF(c - r, c), QPointF(c + r, c));
        if (symbol == 2) p.drawLine(QPointF(c, c - r), QPointF(c, c + r));
    }
    p.end();
    return QIcon(pm);
}

// A placement button's picture: a screen with the part the window goes to filled.
QIcon drawPlacementIcon(int tag) {
    QRectF part(0, 0, 1, 1);
    switch (tag) {
        case 2100: part = QRectF(0, 0, 0.5, 1); break;
        case 2200: part = QRectF(0, 0, 0.3, 1); break;
        case 2300: part = QRectF(0, 0, 0.6, 1); break;
        case 4100: part = QRectF(0.5, 0, 0.5, 1); break;
        case 4200: part = QRectF(0.7, 0, 0.3, 1); break;
        case 4300: part = QRectF(0.4, 0, 0.6, 1); break;
        case 3000: part = QRectF(1.0 / 6, 1.0 / 7, 2.0 / 3, 2.0 / 3); break;
        default: break;
    }
    const int w = 40, h = 28;
    QPixmap pm(w, h);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF screen(2, 2, w - 4, h - 4);
    p.setPen(QPen(QColor(235, 235, 235), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(screen, 3, 3);
    QRectF inner = screen.adjusted(3, 3, -3, -3);
    // Part rectangles are y-up fractions; the picture is y-down.
    QRectF fill(inner.left() + inner.width() * part.x(), inner.bottom() - inner.height() * (part.y() + part.height()),
                inner.width() * part.width(), inner.height() * part.height());
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(235, 235, 235));
    p.drawRoundedRect(fill, 1.5, 1.5);
    p.end();
    return QIcon(pm);
}

QIcon placementIcon(int tag) {
    static std::map<int, QIcon> icons;
    auto it = icons.find(tag);
    if (it == icons.end()) it = icons.emplace(tag, drawPlacementIcon(tag)).first;
    return it->second;
}

QPixmap minimisedMark() {
    QPixmap pm(36, 36);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 150));
    p.drawEllipse(QRectF(1, 1, 34, 34));
    p.setPen(QPen(QColor(255, 255, 255), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 24), QPointF(26, 24));
    p.drawLine(QPointF(18, 9), QPointF(18, 19));
    p.drawLine(QPointF(13, 14), QPointF(18, 19));
    p.drawLine(QPointF(23, 14), QPointF(18, 19));
    p.end();
    pm.setDevicePixelRatio(2.0);
    return pm;
}

// The picture of the window: its preview fitted into the button, or a placeholder
// until the first preview arrives. The scaled picture is made once per preview and size.
class PreviewImageButton : public ButtonWithShadow {
public:
    explicit PreviewImageButton(QWidget* parent) : ButtonWithShadow(parent) {
        setFlat(true);
        setFocusPolicy(Qt::NoFocus);
        setAttribute(Qt::WA_NoSystemBackground);
    }

    void setPreview(ImagePtr preview) {
        if (preview == preview_) return;
        preview_ = std::move(preview);
        scaled_ = QPixmap();
        placeMark();
        update();
    }
    bool showsPlaceholder() const { return !preview_ || preview_->qimage().isNull(); }

    // The rectangle the picture takes: the window's picture fitted into the button and
    // centred; the whole drawing area for the placeholder.
    QRectF pictureRect() const {
        const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
        if (showsPlaceholder() || area.width() < 1 || area.height() < 1) return area;
        const QSizeF fitted = QSizeF(preview_->qimage().size()).scaled(area.size(), Qt::KeepAspectRatio);
        return QRectF(area.left() + (area.width() - fitted.width()) / 2,
                      area.top() + (area.height() - fitted.height()) / 2, fitted.width(), fitted.height());
    }

    // A child kept in the top right corner of the picture (the minimised mark).
    void setMark(QWidget* mark) {
        mark_ = mark;
        placeMark();
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        ButtonWithShadow::resizeEvent(event);
        placeMark();
    }

    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
        QImage picture = preview_ ? preview_->qimage() : QImage();
        if (picture.isNull() || area.width() < 1 || area.height() < 1) {
            // Placeholder: a frame with a title bar, in the palette's text colour.
            QColor c = palette().color(QPalette::WindowText);
            c.setAlphaF(0.25);
            p.setPen(QPen(c, 1.5));
            c.setAlphaF(0.08);
            p.setBrush(c);
            const QRectF frame = area.adjusted(area.width() * 0.15, area.height() * 0.15, -area.width() * 0.15,
                                               -area.height() * 0.15);
            p.drawRoundedRect(frame, 4, 4);
            c.setAlphaF(0.25);
            p.drawLine(QPointF(frame.left(), frame.top() + 12), QPointF(frame.right(), frame.top() + 12));
            return;
        }
        const QRectF target = pictureRect();
        QSize pixels = (target.size() * devicePixelRatioF()).toSize().expandedTo(QSize(1, 1));
        if (scaled_.isNull() || scaled_.size() != pixels) {
            scaled_ = QPixmap::fromImage(picture.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
            scaled_.setDevicePixelRatio(devicePixelRatioF());
        }
        p.drawPixmap(target, scaled_, QRectF(QPointF(0, 0), QSizeF(scaled_.size())));
        if (isDown()) p.fillRect(target, QColor(0, 0, 0, 60));
    }

private:
    void placeMark() {
        if (!mark_) return;
        const QRectF picture = pictureRect();
        mark_->move(int(picture.right()) - mark_->width() - 4, int(picture.top()) + 4);
    }

    ImagePtr preview_;
    QPixmap scaled_;
    QPointer<QWidget> mark_;
};

}  // namespace

// ---------------------------------------------------------------------------------
// WPCollectionItemView

WPCollectionItemView::WPCollectionItemView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_NoSystemBackground);
}

void WPCollectionItemView::setHiglighted(bool higlighted) {
    update();
    higlighted_ = higlighted;
}

void WPCollectionItemView::setLayerBackgroundColor(const QColor& color) {
    if (color == layerColor_) return;
    layerColor_ = color;
    update();
}

void WPCollectionItemView::setCornerRadius(double radius) {
    cornerRadius_ = radius;
    update();
}

void WPCollectionItemView::paintEvent(QPaintEvent*) {
    if (layerColor_.alpha() == 0) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(layerColor_);
    p.drawRoundedRect(QRectF(rect()), cornerRadius_, cornerRadius_);
}

// ---------------------------------------------------------------------------------
// StackView and WindowManView

StackView::StackView(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
}

WindowManView::WindowManView(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_NoSystemBackground); }

void WindowManView::setButtonsEnabled(bool enabled) {
    for (QObject* child : children()) {
        auto* stack = qobject_cast<QWidget*>(child);
        if (!stack || typeid(*stack) != typeid(StackView)) continue;
        for (QObject* inner : stack->children()) {
            auto* button = qobject_cast<QWidget*>(inner);
            if (button && typeid(*button) == typeid(QPushButton)) button->setEnabled(enabled);
        }
    }
}

void WindowManView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), QColor(0, 0, 0, int(std::lround(kPanelAlpha * 255))));
}

// ---------------------------------------------------------------------------------
// WPCollectionItemCell

const std::vector<int>& WPCollectionItemCell::placementTags() {
    static const std::vector<int> tags{2001, 2100, 2200, 2300, 4100, 4200, 4300, 3000};
    return tags;
}

WPCollectionItemCell::WPCollectionItemCell() = default;
WPCollectionItemCell::~WPCollectionItemCell() = default;

std::shared_ptr<CollectionViewItem> WPCollectionItemCell::copy() const {
    auto cell = std::make_shared<WPCollectionItemCell>();
    cell->controller_ = controller_;
    return cell;
}

WPCollectionItemView* WPCollectionItemCell::itemView() const {
    return isViewLoaded() ? static_cast<WPCollectionItemView*>(const_cast<WPCollectionItemCell*>(this)->view()) : nullptr;
}

void WPCollectionItemCell::loadView() {
    auto* root = new WPCollectionItemView;
    root->resize(320, 200);

    textField_ = new QLabel(root);
    textField_->setAlignment(Qt::AlignCenter);
    textField_->setTextFormat(Qt::PlainText);
    textField_->setAttribute(Qt::WA_TransparentForMouseEvents);

    image_ = new PreviewImageButton(root);
    connect(image_.data(), &QPushButton::clicked, this, [this] { click(); });

    // The minimised mark stands in the picture's top right corner.
    hiddenIndicator_ = new QLabel(image_);
    static const QPixmap mark = minimisedMark();
    hiddenIndicator_->setPixmap(mark);
    hiddenIndicator_->setFixedSize(kControlSize, kControlSize);
    hiddenIndicator_->setAttribute(Qt::WA_TransparentForMouseEvents);
    hiddenIndicator_->hide();
    static_cast<PreviewImageButton*>(image_.data())->setMark(hiddenIndicator_);

    setView(root);
}

void WPCollectionItemCell::makeControls() {
    if (closeButton_ || !isViewLoaded()) return;
    closeButton_ = new QPushButton(view());
    closeButton_->setFlat(true);
    closeButton_->setFocusPolicy(Qt::NoFocus);
    static const QIcon closeIcon = glyphIcon(0, Glyph::Filled, QColor(236, 95, 90));
    closeButton_->setIcon(closeIcon);
    closeButton_->setIconSize(QSize(kControlSize, kControlSize));
    connect(closeButton_.data(), &QPushButton::clicked, this, [this] { closeClick(); });

    // Templates: drawn in the buttons' text colour.
    static const QIcon minimiseIcon = glyphIcon(1, Glyph::Outline, Qt::black);
    static const QIcon minimiseHover = glyphIcon(1, Glyph::CutOut, Qt::black);
    static const QIcon maximiseIcon = glyphIcon(2, Glyph::Outline, Qt::black);
    static const QIcon maximiseHover = glyphIcon(2, Glyph::CutOut, Qt::black);
    minimazeButton_ = new WindowButton(view());
    minimazeButton_->setFlat(true);
    minimazeButton_->setFocusPolicy(Qt::NoFocus);
    minimazeButton_->setIcon(minimiseIcon);
    minimazeButton_->setAlternateImage(minimiseHover);
    minimazeButton_->setIconSize(QSize(kControlSize, kControlSize));
    connect(minimazeButton_.data(), &QPushButton::clicked, this, [this] { minimaizeClick(); });
    maximizeButton_ = new WindowButton(view());
    maximizeButton_->setFlat(true);
    maximizeButton_->setFocusPolicy(Qt::NoFocus);
    maximizeButton_->setIcon(maximiseIcon);
    maximizeButton_->setAlternateImage(maximiseHover);
    maximizeButton_->setIconSize(QSize(kControlSize, kControlSize));
    connect(maximizeButton_.data(), &QPushButton::clicked, this, [this] { maximazeClick(); });

    windowManPanel_ = new WindowManView(view());
    auto* row = new StackView(windowManPanel_);
    for (int tag : placementTags()) {
        auto* b = new QPushButton(row);
        b->setFlat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setProperty("tag", tag);
        b->setIcon(placementIcon(tag));
        b->setIconSize(QSize(kPlacementWidth - 4, kPlacementHeight - 4));
        b->setFixedSize(kPlacementWidth, kPlacementHeight);
        row->layout()->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, b] { wdAction(b); });
    }

    layoutControls();
}

void WPCollectionItemCell::viewDidLoad() {
    updateTrackingAreas();
    auto* root = itemView();
    root->setCornerRadius(kCornerRadius);
    textField_->setAutoFillBackground(false);
    textField_->setAttribute(Qt::WA_TranslucentBackground);
    // Controls show only while the pointer is over the cell: a fresh cell has none.
    setControls(false);
    higlightSelected(false);
    layoutSubviews();
    bindWindow();
}

bool WPCollectionItemCell::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && isViewLoaded() && watched == view()) layoutSubviews();
    return CollectionViewItem::eventFilter(watched, event);
}

void WPCollectionItemCell::layoutSubviews() {
    QWidget* root = isViewLoaded() ? view() : nullptr;
    if (!root || !image_) return;
    const int w = root->width(), h = root->height();
    // The title between the controls' places, which it keeps free whether they show or not.
    const int controls = 2 * (kControlSize + 4) + kControlGap;
    textField_->setGeometry(kInset + controls, 4, std::max(0, w - 2 * (kInset + controls)), kTitleHeight);
    const QRect picture(kInset, 4 + kTitleHeight + 2, std::max(0, w - 2 * kInset),
                        std::max(0, h - (4 + kTitleHeight + 2) - kInset));
    image_->setGeometry(picture);
    layoutControls();
    refreshTitle();
}

void WPCollectionItemCell::layoutControls() {
    if (!closeButton_ || !image_) return;
    // In the title row, clear of the picture: close on the left, minimise and maximise
    // on the right.
    const QRect picture = image_->geometry();
    const int side = kControlSize + 4, top = 4 + (kTitleHeight - side) / 2;
    closeButton_->setGeometry(picture.left(), top, side, side);
    maximizeButton_->setGeometry(picture.right() + 1 - side, top, side, side);
    minimazeButton_->setGeometry(picture.right() + 1 - 2 * side - kControlGap, top, side, side);
    const int panelWidth = std::min(picture.width(), int(placementTags().size()) * (kPlacementWidth + 4) + 8);
    windowManPanel_->setGeometry(picture.left() + (picture.width() - panelWidth) / 2,
                                 picture.bottom() + 1 - kPanelHeight - 4, panelWidth, kPanelHeight);
    if (auto* row = windowManPanel_->findChild<StackView*>(QString(), Qt::FindDirectChildrenOnly))
        row->setGeometry(4, (kPanelHeight - kPlacementHeight) / 2, panelWidth - 8, kPlacementHeight);
}

std::shared_ptr<SIWindow> WPCollectionItemCell::window() const {
    auto object = representedObjectPointer();
    return std::dynamic_pointer_cast<SIWindow>(object);
}

std::shared_ptr<SIWindow> WPCollectionItemCell::actionWindow(bool orRespondsToSelector) const {
    auto w = window();
    if (!w) return nullptr;
    if (w->className() == "SIWindow" || orRespondsToSelector) return w;
    return nullptr;
}



bool WPCollectionItemCell::showsPlaceholder() const {
    auto* b = static_cast<PreviewImageButton*>(image_.data());
    return !b || b->showsPlaceholder();
}

QPushButton* WPCollectionItemCell::placementButton(int tag) const {
    if (!windowManPanel_) return nullptr;
    for (auto* b : windowManPanel_->findChildren<QPushButton*>())
        if (b->property("tag").toInt() == tag) return b;
    return nullptr;
}

void WPCollectionItemCell::setRepresentedObject(const Value& object) {
    CollectionViewItem::setRepresentedObject(object);
    if (isViewLoaded()) bindWindow();
}

void WPCollectionItemCell::bindWindow() {
    imageObservation_.invalidate();
    titleObservation_.invalidate();
    minimizedObservation_.invalidate();
    recheck_.reset();
    lastRefresh_ = -1.0;
    if (auto w = window()) {
        imageObservation_ = w->observe("previewImage", 0, [this](const KeyValueChange&) { refreshImage(); });
        titleObservation_ = w->observe("title", 0, [this](const KeyValueChange&) { refreshTitle(); });
        // The mark follows the window, whoever minimised or restored it.
        minimizedObservation_ =
            w->observe("isWindowMinimized", 0, [this](const KeyValueChange&) { setHiddenState(); });
    }
    refreshImage();
    refreshTitle();
    setHiddenState();
}

void WPCollectionItemCell::refreshImage() {
    if (auto* b = static_cast<PreviewImageButton*>(image_.data())) {
        auto w = window();
        b->setPreview(w ? w->previewImage() : nullptr);
    }
}

void WPCollectionItemCell::refreshTitle() {
    if (!textField_) return;
    QString title;
    if (auto w = window())
        if (auto t = w->title()) title = QString::fromStdString(*t);
    title_ = title;
    textField_->setText(textField_->fontMetrics().elidedText(title, Qt::ElideRight, std::max(0, textField_->width())));
}

void WPCollectionItemCell::setSelected(bool selected) {
    const bool controls = UserDefaults::standardUserDefaults().boolForKey("WindowControls");
    CollectionViewItem::setSelected(selected);
    auto* root = itemView();
    if (!root) return;
    root->setLayerBackgroundColor(selected ? QColor(0, 0, 0, int(std::lround(kHighlightAlpha * 255))) : QColor(Qt::transparent));
    setControls(selected);
    if (selected && !controls) setControls(false);
    root->setHiglighted(selected);
}

void WPCollectionItemCell::setControls(bool show) {
    // The controls are made when first shown: most thumbnails are never hovered.
    if (show) makeControls();
    for (QPushButton* b : {closeButton_.data(), static_cast<QPushButton*>(minimazeButton_.data()),
                           static_cast<QPushButton*>(maximizeButton_.data())}) {
        if (!b) continue;
        b->setHidden(!show);
        b->setEnabled(show);
    }
    if (windowManPanel_) windowManPanel_->setHidden(!show);
}

void WPCollectionItemCell::setHiddenState() {
    auto w = window();
    if (!w || w->className() != "SIWindow" || !hiddenIndicator_) return;
    hiddenIndicator_->setVisible(w->isWindowMinimized());
}

void WPCollectionItemCell::refreshHiddenStateSoon() {
    setHiddenState();
    recheck_ = Timer::scheduledTimer(kStateRecheckDelay, false, [this] { setHiddenState(); });
}

void WPCollectionItemCell::updateTrackingAreas() {
    // Qt tells a widget of the pointer entering, leaving and moving over its whole area
    // once it tracks the mouse; there is no area of its own to replace.
    if (QWidget* v = isViewLoaded() ? view() : nullptr) v->setMouseTracking(true);
}

void WPCollectionItemCell::higlightSelected(bool) {}

void WPCollectionItemCell::viewDidDisappear() {
    recheck_.reset();
    imageObservation_.invalidate();
    titleObservation_.invalidate();
    minimizedObservation_.invalidate();
}

void WPCollectionItemCell::mouseEntered(const Event&) {
    setSelected(true);
    higlightSelected(true);
    refreshHiddenStateSoon();
}

void WPCollectionItemCell::mouseMoved(const Event&) {
    auto w = window();
    if (!w) return;
    // Each move asks for a fresh picture; the window coalesces the requests, and a
    // quick succession of moves asks only every tenth of a second.
    const double now = RunLoop::main().now();
    if (lastRefresh_ >= 0.0 && now - lastRefresh_ < kPreviewRefreshInterval) return;
    lastRefresh_ = now;
    w->updatePreview();
}

void WPCollectionItemCell::mouseExited(const Event&) {
    if (auto* root = itemView()) root->setHiglighted(false);
    setSelected(false);
    higlightSelected(false);
}

// Actions ------------------------------------------------------------------------------

void WPCollectionItemCell::click() {
    auto w = actionWindow(true);
    if (!w) return;
    RunLoop::main().post([w] { w->activateWindow(); });
    // The popover goes at once, through its controller so that the preview stops
    // counting as shown and its close is announced.
    if (auto controller = controller_.lock()) {
        controller->forseClosePreview();
    } else if (CollectionView* grid = collectionView()) {
        grid->window()->hide();
    }
}

void WPCollectionItemCell::closeClick() {
    auto w = actionWindow(true);
    if (!w) return;
    RunLoop::main().post([w] { w->close(); });
}

void WPCollectionItemCell::minimaizeClick() {
    auto w = actionWindow(false);
    if (!w) return;
    if (w->isWindowMinimized()) {
        w->unMinimize();
        w->activateWindow();
    } else {
        w->minimize();
    }
    refreshHiddenStateSoon();
}

void WPCollectionItemCell::maximazeClick() {
    auto w = actionWindow(false);
    if (!w) return;
    w->maximize();
    w->activateWindow();
    refreshHiddenStateSoon();
}

void WPCollectionItemCell::wdAction(QPushButton* sender) {
    auto w = actionWindow(false);
    if (!w || !sender) return;
    w->windowAction(sender->property("tag").toInt());
    refreshHiddenStateSoon();
}

}  // namespace qs
