#include "dock_ui/FileCellView.h"

#include <algorithm>
#include <cmath>
#include <deque>

#include <QElapsedTimer>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QTextLayout>

#include "dock_ui/ItemIconCache.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/FileServices.h"
#include "platform/desktop/Workspace.h"
#include "platform/desktop/UserMessages.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/ImageView.h"
#include "toolkit/WorkspaceFileOperations.h"

namespace qs {

namespace {

constexpr int kInset = 6;        // around the icon and the name
constexpr int kTextGap = 2;      // between the icon and the name
constexpr double kBatchMs = 6.0;  // icon loading per turn of the run loop

// Cells waiting for their icons, served a few per turn of the main run loop.
class LazyIconLoader {
public:
    static LazyIconLoader& shared() {
        static LazyIconLoader loader;
        return loader;
    }

    void request(FileCellView* view) {
        queue_.push_back(QPointer<FileCellView>(view));
        schedule();
    }

private:
    void schedule() {
        // One turn asked for at a time. The token dies with the queued call, so a run loop
        // that went away with the call still queued (a test's) does not block the next.
        if (!pending_.expired()) return;
        auto token = std::make_shared<int>(0);
        pending_ = token;
        RunLoop::main().post([this, token] {
            pending_.reset();
            run();
        });
    }

    void run() {
        QElapsedTimer timer;
        timer.start();
        while (!queue_.empty()) {
            QPointer<FileCellView> view = queue_.front();
            queue_.pop_front();
            if (view) view->loadIcon();
            if (timer.nsecsElapsed() / 1e6 >= kBatchMs) break;
        }
        if (!queue_.empty()) schedule();
    }

    std::deque<QPointer<FileCellView>> queue_;
    std::weak_ptr<int> pending_;
};

desktop::Workspace* workspace() { return desktop::services().workspace.get(); }

QString shownName(const QString& text) {
    QString shown = text.left(CellTextField::kMaxShownCharacters);
    for (QChar& c : shown)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return shown;
}

}  // namespace

// ---------------------------------------------------------------------------------
// The name

CellTextField::CellTextField(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont f = font();
    f.setPointSizeF(std::max(7.0, f.pointSizeF() - 1.0));
    setFont(f);
}

void CellTextField::setStringValue(const QString& text) {
    if (text == text_) return;
    text_ = text;
    shown_ = shownName(text);
    update();
}

int CellTextField::heightForLines(const QFont& font, int lines) {
    QFontMetrics metrics(font);
    return metrics.lineSpacing() * lines;
}

QStringList CellTextField::visibleLines() const {
    QStringList lines;
    const int width = std::max(1, this->width());
    QTextLayout layout(shown_, font());
    QTextOption option(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    int consumed = 0, lastStart = 0;
    for (int i = 0; i < kMaxLines; ++i) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        lastStart = line.textStart();
        consumed = line.textStart() + line.textLength();
        lines << shown_.mid(line.textStart(), line.textLength());
    }
    layout.endLayout();
    if (consumed < shown_.size() && !lines.isEmpty()) {
        // The rest does not fit: the last line takes it, elided at its end.
        lines.back() = QFontMetrics(font()).elidedText(shown_.mid(lastStart), Qt::ElideRight, width);
    }
    return lines;
}

void CellTextField::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.setFont(font());
    QFontMetrics metrics(font());
    int y = 0;
    for (const QString& line : visibleLines()) {
        p.drawText(QRect(0, y, width(), metrics.lineSpacing()), Qt::AlignHCenter | Qt::AlignTop, line.trimmed());
        y += metrics.lineSpacing();
    }
}

// ---------------------------------------------------------------------------------
// The view

FileCellView::FileCellView(QWidget* parent) : QWidget(parent) {
    setContextMenuPolicy(Qt::NoContextMenu);  // the item shows menuForEvent on a right press
    imageView_ = new ImageView(this);
    imageView_->setAttribute(Qt::WA_TransparentForMouseEvents);
    textField_ = new CellTextField(this);
}

FileCellView::~FileCellView() = default;

void FileCellView::setRepresentedObject(const Value& object) {
    representedObject_ = object;
    node_ = std::dynamic_pointer_cast<FileSystemNode>(object.object());
    ++generation_;
    std::string name;
    if (node_) {
        name = node_->localizedName();
    } else if (auto o = object.object()) {
        Value v = o->valueForKey("localizedName");
        if (v.isString()) name = *v.string();
    }
    textField_->setStringValue(QString::fromStdString(name));
    imageView_->setImage(nullptr);
    iconPixels_ = 0;
    requestIcon();
}

std::string FileCellView::selectedFilePath() const { return node_ ? node_->path() : std::string(); }

void FileCellView::setLayerBackgroundColor(const QColor& color) {
    if (color == background_) return;
    background_ = color;
    update();
}

void FileCellView::layoutSubviews() {
    const int textHeight = CellTextField::heightForLines(textField_->font(), CellTextField::kMaxLines);
    const int side = std::max(0, std::min(width() - 2 * kInset, height() - 2 * kInset - textHeight - kTextGap));
    imageView_->setGeometry((width() - side) / 2, kInset, side, side);
    textField_->setGeometry(kInset / 2, kInset + side + kTextGap, std::max(0, width() - kInset), textHeight);
}

int FileCellView::iconPixelSize() const {
    const int side = imageView_->width();
    if (side <= 0) return 0;
    return int(std::ceil(side * devicePixelRatioF()));
}

void FileCellView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutSubviews();
    if (iconPixelSize() != iconPixels_) requestIcon();
}

void FileCellView::requestIcon() {
    if (iconQueued_ || !representedObject_.object() || iconPixelSize() <= 0) return;
    iconQueued_ = true;
    LazyIconLoader::shared().request(this);
}

void FileCellView::setIconImage(const QImage& image, int pixels) {
    if (image.isNull()) return;
    auto icon = std::make_shared<Image>(image);
    const double points = pixels / std::max(1.0, devicePixelRatioF());
    icon->setSize(MakeSize(points, points));
    imageView_->setImage(icon);
    iconPixels_ = pixels;
}

void FileCellView::loadIcon() {
    iconQueued_ = false;
    auto object = representedObject_.object();
    const int pixels = iconPixelSize();
    if (!object || pixels <= 0 || pixels == iconPixels_) return;
    const uint64_t generation = generation_;
    QPointer<FileCellView> self(this);
    QImage image = ItemIconCache::shared().iconForItem(object, pixels, this, [self, generation, pixels](const QImage& ready) {
        if (self && self->generation_ == generation) self->setIconImage(ready, pixels);
    });
    setIconImage(image, pixels);
}

void FileCellView::paintEvent(QPaintEvent*) {
    if (background_.alpha() == 0) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    p.fillPath(path, background_);
}

void FileCellView::notifyOpened() {
    if (opened_) opened_();
}

// ---------------------------------------------------------------------------------
// Menu actions

void FileCellView::openFile(MenuItem&) {
    const std::string path = selectedFilePath();
    auto* ws = workspace();
    if (path.empty() || !ws) return;
    if (!ws->openFile(path)) {
        log("the file could not be opened: ", path);
        desktop::tellUserItFailed(desktop::quotedName(path) + " could not be opened.");
    }
    notifyOpened();
}

std::string applicationNameForOpenWithItem(const MenuItem& item) {
    std::string name = item.toolTip();
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    if (auto slash = name.find_last_of('/'); slash != std::string::npos) name = name.substr(slash + 1);
    if (auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

void FileCellView::openWithSelected(MenuItem& sender) {
    const std::string path = selectedFilePath();
    auto* ws = workspace();
    if (path.empty() || !ws) return;
    const std::string application = applicationNameForOpenWithItem(sender);
    // The name is the application's desktop-file id; an entry in a subfolder of an
    // applications folder has a longer id, so its own path is the fallback.
    bool ok = !application.empty() && ws->openFile(path, application);
    if (!ok && !sender.toolTip().empty()) ok = ws->openFile(path, sender.toolTip());
    if (!ok) {
        log("the file could not be opened with ", sender.toolTip());
        desktop::tellUserItFailed(desktop::quotedName(path) + " could not be opened with " +
                                  desktop::quote(sender.title()) + ".");
    }
    notifyOpened();
}

void FileCellView::getInfo(MenuItem&) {
    const std::string path = selectedFilePath();
    if (path.empty()) return;
    NSWorkspace_FileOperations::getInfoInFinderForFile(path);
    notifyOpened();
}

void FileCellView::showInFinder(MenuItem&) {
    const std::string path = selectedFilePath();
    if (path.empty()) return;
    auto* files = desktop::fileServices();
    if (!files || !files->showItems({path})) {
        log("the file manager could not show ", path);
        desktop::tellUserItFailed(desktop::quotedName(path) + " could not be shown in a file manager.");
    }
    notifyOpened();
}

namespace {
// An entry whose action calls the view, if it is still there, with the entry.
MenuItemPtr viewItem(FileCellView* view, const std::string& title, const std::string& selector,
                     void (FileCellView::*method)(MenuItem&)) {
    QPointer<FileCellView> target(view);
    auto item = std::make_shared<MenuItem>(title, MenuItem::Action{selector, [target, method](MenuItem& sender) {
                                                                       if (target) (target.data()->*method)(sender);
                                                                   }});
    item->setTarget(view);
    item->setEnabled(true);
    return item;
}
}  // namespace

MenuItemPtr FileCellView::makeOpenItem() { return viewItem(this, "Open", "openFile:", &FileCellView::openFile); }

MenuItemPtr FileCellView::makeOpenWithItem() {
    auto item = std::make_shared<MenuItem>("Open With");
    QPointer<FileCellView> target(this);
    MenuItem::Action action{"openWithSelected:", [target](MenuItem& sender) {
                                if (target) target->openWithSelected(sender);
                            }};
    item->setSubmenu(NSWorkspace_FileOperations::openWithMenuForFile(selectedFilePath(), this, action));
    item->setEnabled(true);
    return item;
}

MenuItemPtr FileCellView::makeGetInfoItem() { return viewItem(this, "Get Info", "getInfo:", &FileCellView::getInfo); }

MenuItemPtr FileCellView::makeShowInFinderItem() {
    return viewItem(this, "Show in Finder", "showInFinder:", &FileCellView::showInFinder);
}

}  // namespace qs
