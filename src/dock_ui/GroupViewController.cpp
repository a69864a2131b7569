#include "dock_ui/GroupViewController.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QUrl>

#include "dock_ui/GroupViewCell.h"
#include "dock_ui/PopoverGrid.h"
#include "dock_ui/SearchPredicate.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/CollectionView.h"
#include "ui_GroupViewController.h"

namespace qs {

namespace {
constexpr int kSideMargin = 20;  // the interface file's left and right margins

QString documentsFolder() {
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty() || !QFileInfo(documents).isDir()) documents = QDir::homePath();
    return documents;
}

// The open panel: files and folders, several at a time. The platform's file dialog
// enters a folder when "Open" is pressed on it; here a chosen folder is taken, as the
// panel's "choose directories" asks. Double-clicking a folder still enters it.
class FilesAndFoldersPanel : public QFileDialog {
public:
    FilesAndFoldersPanel() {
        setOption(QFileDialog::DontUseNativeDialog, true);
        setFileMode(QFileDialog::ExistingFiles);
        setAcceptMode(QFileDialog::AcceptOpen);
        setDirectory(documentsFolder());
        setAttribute(Qt::WA_DeleteOnClose, false);
    }

    void accept() override {
        const QStringList chosen = selectedFiles();
        bool folder = false, allThere = !chosen.isEmpty();
        for (const QString& path : chosen) {
            QFileInfo info(path);
            folder |= info.isDir();
            allThere &= info.exists();
        }
        if (folder && allThere) {
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }
};

// The paths of the local files a drop carries, in order.
std::vector<std::string> localPaths(const QMimeData* data) {
    std::vector<std::string> paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    return paths;
}
}  // namespace

// Watches the presses of the whole program while a popover may close on one: whether a
// button is down, and when it comes up again.
class PopoverPressTracker : public QObject {
public:
    std::function<void()> onRelease;
    bool pressing() const { return pressing_; }

    void start() {
        if (installed_ || !qApp) return;
        qApp->installEventFilter(this);
        installed_ = true;
    }
    void stop() {
        if (installed_ && qApp) qApp->removeEventFilter(this);
        installed_ = false;
        pressing_ = false;
    }
    ~PopoverPressTracker() override { stop(); }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick: pressing_ = true; break;
            case QEvent::MouseButtonRelease:
                if (pressing_) {
                    pressing_ = false;
                    if (onRelease) onRelease();
                }
                break;
            default: break;
        }
        return false;
    }

private:
    bool installed_ = false;
    bool pressing_ = false;
};

// The popover's content, made from the interface file; keys, resizes and drops go to
// the controller, which owns it.
class GroupViewContent : public QWidget {
public:
    explicit GroupViewContent(GroupViewController* controller) : controller_(controller) {
        ui.setupUi(this);
        setAcceptDrops(true);
        ui.scrollArea->viewport()->setAutoFillBackground(false);
        ui.scrollArea->setAutoFillBackground(false);
        ui.scrollArea->viewport()->installEventFilter(this);
        ui.searchField->installEventFilter(this);
        ui.collectionView->installEventFilter(this);
    }

    Ui::GroupViewController ui;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && (watched == ui.searchField || watched == ui.collectionView)) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->modifiers() & ~(Qt::KeypadModifier)) return false;
            return controller_->handleKey(static_cast<QWidget*>(watched), key->key());
        }
        if (event->type() == QEvent::Resize && watched == ui.scrollArea->viewport()) controller_->layoutGrid();
        return false;
    }
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        controller_->layoutGrid();
    }
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (GroupViewController::canAcceptDrop(event->mimeData())) event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* event) override {
        if (GroupViewController::canAcceptDrop(event->mimeData())) event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* event) override {
        if (controller_->performDrop(event->mimeData())) event->acceptProposedAction();
    }

private:
    GroupViewController* controller_;
};

// ---------------------------------------------------------------------------------

std::shared_ptr<GroupViewController> GroupViewController::init() {
    auto controller = std::make_shared<GroupViewController>();
    controller->loadView();
    controller->viewDidLoad();
    return controller;
}

GroupViewController::GroupViewController() {
    popover_ = std::make_unique<Popover>();
    popover_->setBehavior(NSPopoverBehaviorTransient);
    popover_->setAnimates(false);
    popover_->setTakesKeyboardFocus(true);
    pressTracker_ = std::make_unique<PopoverPressTracker>();
    pressTracker_->onRelease = [this] {
        closedByPress_.reset();
        if (!isShow()) pressTracker_->stop();
    };
}

GroupViewController::~GroupViewController() {
    if (observing_) {
        removeObserver(this, "model.items");
        removeObserver(this, "model.items.@count");
    }
    if (openPanel_) delete openPanel_.data();
    if (view_) view_->ui.collectionView->unbindAll();
    if (popover_) popover_->close();
    popover_.reset();  // gives the content back
    delete view_.data();
    pressTracker_.reset();
}

std::shared_ptr<GroupViewController> GroupViewController::copyWithZone() const { return init(); }

Value GroupViewController::valueForKey(const std::string& key) const {
    if (key == "model") return model_ ? Value(model_) : Value();
    return Object::valueForKey(key);
}

void GroupViewController::setModel(std::shared_ptr<GroupModel> model) {
    if (model == model_) return;
    willChangeValueForKey("model");
    model_ = std::move(model);
    didChangeValueForKey("model");
}

QWidget* GroupViewController::view() const { return view_.data(); }
CollectionView* GroupViewController::collectionView() const { return view_ ? view_->ui.collectionView : nullptr; }
QLineEdit* GroupViewController::searchField() const { return view_ ? view_->ui.searchField : nullptr; }
QToolButton* GroupViewController::addButton() const { return view_ ? view_->ui.addButton : nullptr; }
QToolButton* GroupViewController::optionsButton() const { return view_ ? view_->ui.optionsButton : nullptr; }
QScrollArea* GroupViewController::scrollArea() const { return view_ ? view_->ui.scrollArea : nullptr; }
std::string GroupViewController::predicateTemplate() const { return SearchPredicate::kTemplate; }

void GroupViewController::loadView() {
    view_ = new GroupViewContent(this);
    auto& ui = view_->ui;
    std::weak_ptr<GroupViewController> weak = std::static_pointer_cast<GroupViewController>(shared_from_this());

    // The grid: transparent, selectable, an empty selection allowed; its items copied from
    // a cell that knows this controller.
    CollectionView* grid = ui.collectionView;
    grid->setBackgroundTransparent(true);
    grid->setSelectable(true);
    grid->setAllowsEmptySelection(true);
    prototype_ = std::make_shared<GroupViewCell>();
    prototype_->setController(weak);
    grid->setItemPrototype(prototype_);

    // The array controller presents the group's items; the grid shows what it arranges.
    arrayController_ = ArrayController::create();
    arrayController_->bind("contentArray", shared_from_this(), "model.items");
    grid->bind("content", arrayController_, "arrangedObjects");
    grid->bind("selectionIndexes", arrayController_, "selectionIndexes");

    QObject::connect(ui.searchField, &QLineEdit::textChanged, view_, [weak] {
        if (auto self = weak.lock()) self->updateFilterAction();
    });
    QObject::connect(ui.addButton, &QToolButton::clicked, view_, [weak] {
        if (auto self = weak.lock()) self->addItems();
    });
    QObject::connect(ui.optionsButton, &QToolButton::clicked, view_, [weak] {
        if (auto self = weak.lock()) self->changeGroupProps();
    });

    popover_->setContentSize(calculateContentSize());
    popover_->setDelegate(std::weak_ptr<PopoverDelegate>(std::static_pointer_cast<GroupViewController>(shared_from_this())));

    addObserver(this, "model.items", KeyValueObservingOptionNew | KeyValueObservingOptionOld,
                const_cast<char*>(kContext));
    addObserver(this, "model.items.@count", KeyValueObservingOptionNew | KeyValueObservingOptionOld,
                const_cast<char*>(kContext));
    observing_ = true;
}

void GroupViewController::viewDidLoad() { view_->ui.searchField->setFocus(Qt::OtherFocusReason); }

// ---------------------------------------------------------------------------------
// Showing and closing

void GroupViewController::showGrouViewForGroup(const std::shared_ptr<GroupModel>& group, const Rect& rect,
                                               QWidget* view, RectEdge preferredEdge) {
    // The press that just closed this group's popover, handed on to the group's dock
    // cell, asks to open it again: it is the same press, and it stays closed.
    if (auto closed = closedByPress_.lock(); closed && closed == group && pressTracker_->pressing()) {
        closedByPress_.reset();
        return;
    }
    closedByPress_.reset();
    setModel(group);
    if (popover_->contentView() != view_) popover_->setContentView(view_);
    popover_->setContentSize(calculateContentSize());
    if (!view_->ui.searchField->hasFocus()) view_->ui.searchField->setFocus(Qt::OtherFocusReason);
    popover_->showRelativeToRect(rect, view, preferredEdge);
    layoutGrid();
}

bool GroupViewController::isShow() const { return popover_ && popover_->isShown(); }

void GroupViewController::closePreview() {
    if (popover_) popover_->close();
}

void GroupViewController::popoverDidShow(Popover&) { pressTracker_->start(); }

void GroupViewController::popoverDidClose(Popover&) {
    if (pressTracker_->pressing()) {
        // Closed by a press (outside the popover): remembered until the button comes up.
        closedByPress_ = model_;
    } else {
        closedByPress_.reset();
        pressTracker_->stop();
    }
}

// ---------------------------------------------------------------------------------
// Search

void GroupViewController::updateFilterAction(QObject*) {
    if (!view_) return;
    const QString text = view_->ui.searchField->text();
    if (text.isEmpty()) {
        arrayController_->setFilterPredicate(nullptr);
    } else {
        SearchPredicate predicate(text);
        arrayController_->setFilterPredicate([predicate](const Value& object) { return predicate.evaluateWithObject(object); });
    }
    layoutGrid();
}

// ---------------------------------------------------------------------------------
// Sizes

Size GroupViewController::getCellSize() const { return popoverCellSize("group", maxWidght(), loggedCellHeight_); }

Size GroupViewController::calculateContentSize() {
    const double c = getCellSize().width;
    const double W = maxWidght();
    const double n = model_ ? double(model_->items().size()) : 0.0;
    if (CollectionView* grid = collectionView()) {
        grid->setMinItemSize(MakeSize(c, c));
        grid->setMaxItemSize(MakeSize(c, c));
    }
    double columns, gridHeight;
    if (n * c > W) {
        columns = std::max(1.0, std::floor(W / c));
        const double rows = std::ceil(float(n) / float(columns));
        gridHeight = std::min(rows * c, W);
    } else {
        columns = n;
        gridHeight = c;
    }
    const double gridWidth = columns * c;
    const double width = std::max(gridWidth, 3 * c) + 40;
    const double height = gridWidth < 3 * c ? c + 56 : gridHeight + 56;
    return MakeSize(width, height);
}

void GroupViewController::layoutGrid() {
    if (!view_) return;
    QScrollArea* area = view_->ui.scrollArea;
    CollectionView* grid = view_->ui.collectionView;
    const double c = getCellSize().width;
    const size_t n = arrayController_ ? arrayController_->arrangedObjects().size() : 0;
    const int available = std::max(0, view_->width() - 2 * kSideMargin);
    const size_t columns = std::max<size_t>(1, size_t(std::floor(available / c)));
    const size_t rows = n == 0 ? 0 : (n + columns - 1) / columns;
    const int height = int(std::max<size_t>(rows, 1) * c);
    // A scroll bar, when the rows need one, takes its room from the right margin so that
    // the columns stay as the popover's size planned them. The room for the rows is
    // what the layout leaves below the search field.
    const QMargins outer = view_->layout()->contentsMargins();
    const int room = view_->height() - outer.top() - outer.bottom() - view_->layout()->spacing() -
                     view_->ui.toolbarLayout->sizeHint().height();
    const bool scrolls = height > room;
    const int bar = scrolls ? area->verticalScrollBar()->sizeHint().width() : 0;
    QMargins margins = view_->layout()->contentsMargins();
    const int right = std::max(0, kSideMargin - bar);
    if (margins.right() != right) {
        margins.setRight(right);
        view_->layout()->setContentsMargins(margins);
    }
    const QSize size(int(double(columns) * c), height);
    if (grid->size() != size) grid->resize(size);
}

// ---------------------------------------------------------------------------------
// Changes of the group

void GroupViewController::observeValueForKeyPath(const std::string& keyPath, Object*, const KeyValueChange&,
                                                 void*) {
    if (keyPath != "model.items" && keyPath != "model.items.@count") return;
    arrayController_->rearrangeObjects();
    popover_->setContentSize(calculateContentSize());
    layoutGrid();
}

// ---------------------------------------------------------------------------------
// Adding, removing, options

void GroupViewController::addItems(QObject*) {
    if (openPanel_) {
        openPanel_->raise();
        openPanel_->activateWindow();
        return;
    }
    // The popover stays open while the panel is up.
    popover_->setBehavior(NSPopoverBehaviorApplicationDefined);
    auto* panel = new FilesAndFoldersPanel;
    openPanel_ = panel;
    std::weak_ptr<GroupViewController> weak = std::static_pointer_cast<GroupViewController>(shared_from_this());
    std::weak_ptr<GroupModel> group = model_;
    QObject::connect(panel, &QDialog::finished, panel, [weak, group, panel](int result) {
        auto self = weak.lock();
        if (!self) return;
        std::vector<std::string> paths;
        if (result == QDialog::Accepted)
            for (const QString& path : panel->selectedFiles()) paths.push_back(QFile::encodeName(path).toStdString());
        // The files go to the group the panel was opened for, even if the popover has
        // moved on to another group meanwhile.
        self->panelDidEnd(group.lock(), result == QDialog::Accepted ? 1 : 0, paths);
    });
    // Not modal: the dock and the popover stay usable while the panel is up.
    panel->setWindowModality(Qt::NonModal);
    panel->show();
    // The program comes forward with its panel.
    panel->raise();
    panel->activateWindow();
}

QFileDialog* GroupViewController::openPanel() const { return openPanel_.data(); }

void GroupViewController::addItemsPanelDidEnd(int response, const std::vector<std::string>& paths) {
    panelDidEnd(model_, response, paths);
}

void GroupViewController::panelDidEnd(const std::shared_ptr<GroupModel>& group, int response,
                                      const std::vector<std::string>& paths) {
    if (response == 1 && group) {
        std::vector<FileSystemNodePtr> nodes;
        nodes.reserve(paths.size());
        for (const std::string& path : paths) {
            if (path.empty()) continue;
            // Links are followed to what they point at.
            QFileInfo info(QFile::decodeName(QByteArray::fromStdString(path)));
            std::string resolved = path;
            if (info.isSymLink() && info.exists()) resolved = QFile::encodeName(info.canonicalFilePath()).toStdString();
            nodes.push_back(FileSystemNode::initWithPath(resolved));
        }
        for (const auto& node : nodes) group->addObject(node);
    }
    popover_->setBehavior(NSPopoverBehaviorTransient);
    if (openPanel_) {
        QFileDialog* panel = openPanel_.data();
        openPanel_ = nullptr;
        panel->close();
        panel->deleteLater();
    }
}

void GroupViewController::changeGroupProps(QObject*) {
    if (!model_) return;
    if (!inspectorHandler_) {
        log("the group inspector is not available");
        return;
    }
    inspectorHandler_(model_);
}

void GroupViewController::removeItem(const ObjectPtr& item) {
    if (model_ && item) model_->removeObject(item);
}

// ---------------------------------------------------------------------------------
// Drops

bool GroupViewController::canAcceptDrop(const QMimeData* data) { return !localPaths(data).empty(); }

bool GroupViewController::performDrop(const QMimeData* data) {
    auto paths = localPaths(data);
    if (paths.empty() || !model_) {
        if (data && data->hasUrls()) log("only files on this computer can join a group; the drop is ignored");
        return false;
    }
    std::vector<URLPtr> urls;
    urls.reserve(paths.size());
    for (const auto& path : paths) urls.push_back(URL::fileURLWithPath(path, QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).isDir()));
    model_->prcessFiles(urls);
    return true;
}

// ---------------------------------------------------------------------------------
// Cells and keys

GroupViewCell* GroupViewController::cellAtIndex(size_t index) const {
    CollectionView* grid = collectionView();
    return grid ? dynamic_cast<GroupViewCell*>(grid->itemAtIndex(index)) : nullptr;
}

void GroupViewController::openItemOfCell(GroupViewCell& cell) {
    auto keep = std::static_pointer_cast<GroupViewCell>(cell.shared_from_this());
    cell.clickAct();
    closePreview();
}

void GroupViewController::selectIndex(long index) {
    CollectionView* grid = collectionView();
    if (!grid || grid->numberOfItems() == 0) return;
    index = std::clamp(index, 0L, long(grid->numberOfItems()) - 1);
    grid->setSelectionIndexes({size_t(index)});
    const Rect f = grid->frameForItemAtIndex(size_t(index));
    view_->ui.scrollArea->ensureVisible(int(f.origin.x + f.size.width / 2), int(f.origin.y + f.size.height / 2),
                                        int(f.size.width / 2), int(f.size.height / 2));
}

bool GroupViewController::handleKey(QWidget* receiver, int key) {
    if (!view_) return false;
    CollectionView* grid = view_->ui.collectionView;
    const size_t count = grid->numberOfItems();
    const auto& selection = grid->selectionIndexes();
    const long selected = selection.empty() ? -1 : long(selection.front());
    auto openSelected = [&](long index) {
        if (index < 0) return;
        if (auto* cell = cellAtIndex(size_t(index))) openItemOfCell(*cell);
    };

    if (receiver == view_->ui.searchField) {
        switch (key) {
            case Qt::Key_Down:
                if (count == 0) return true;
                grid->setFocus(Qt::TabFocusReason);
                selectIndex(selected < 0 ? 0 : selected);
                return true;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                // The selected item, else the first that the search left.
                openSelected(selected >= 0 ? selected : (count > 0 ? 0 : -1));
                return true;
            default: return false;
        }
    }
    if (receiver != grid) return false;
    const double c = std::max(1.0, grid->itemSize().width);
    const long columns = std::max(1L, long(std::floor(grid->width() / c)));
    switch (key) {
        case Qt::Key_Left: selectIndex(selected < 0 ? 0 : selected - 1); return true;
        case Qt::Key_Right: selectIndex(selected < 0 ? 0 : selected + 1); return true;
        case Qt::Key_Down: selectIndex(selected < 0 ? 0 : std::min(selected + columns, long(count) - 1)); return true;
        case Qt::Key_Up:
            if (selected < columns) {
                view_->ui.searchField->setFocus(Qt::BacktabFocusReason);
                return true;
            }
            selectIndex(selected - columns);
            return true;
        case Qt::Key_Home: selectIndex(0); return true;
        case Qt::Key_End: selectIndex(long(count) - 1); return true;
        case Qt::Key_Return:
        case Qt::Key_Enter: openSelected(selected); return true;
        default: return false;
    }
}

}  // namespace qs
