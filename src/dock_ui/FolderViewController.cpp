#include "dock_ui/FolderViewController.h"

#include <algorithm>
#include <cmath>

#include <QDir>
#include <QDrag>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QMimeData>
#include <QSignalBlocker>
#include <QStandardPaths>

#include "dock_ui/FolderItemCell.h"
#include "dock_ui/PopoverGrid.h"
#include "dock_ui/SearchPredicate.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/FileServices.h"
#include "platform/desktop/Workspace.h"
#include "platform/desktop/UserMessages.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/ImageView.h"
#include "ui_FolderViewController.h"

namespace qs {

namespace {
// The grid's flow, as the popover's sizes plan it.
constexpr EdgeInsets kSectionInset{10, 20, 10, 20};
constexpr double kInteritemSpacing = 10;
constexpr double kLineSpacing = 10;
constexpr double kMaxGridHeight = 600;

bool sameElements(const Array& a, const Array& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].object() != b[i].object()) return false;
    return true;
}
}  // namespace

// The popover's content, made from the interface file; keys go to the controller, which
// owns it.
class FolderViewContent : public QWidget {
public:
    explicit FolderViewContent(FolderViewController* controller) : controller_(controller) {
        ui.setupUi(this);
        ui.searchField->installEventFilter(this);
        ui.collectionView->installEventFilter(this);
        const QIcon icon = QIcon::fromTheme(QStringLiteral("folder-open"));
        if (!icon.isNull()) {
            ui.openInFinderButton->setIcon(icon);
            ui.openInFinderButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
        }
    }

    Ui::FolderViewController ui;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && (watched == ui.searchField || watched == ui.collectionView)) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->modifiers() & ~(Qt::KeypadModifier)) return false;
            return controller_->handleKey(static_cast<QWidget*>(watched), key->key());
        }
        return false;
    }

private:
    FolderViewController* controller_;
};

// ---------------------------------------------------------------------------------

std::shared_ptr<FolderViewController> FolderViewController::init() {
    // The view (a grid and a search field, whose clear button looks up the icon theme)
    // is made when first needed, not while the dock is being made.
    return std::make_shared<FolderViewController>();
}

FolderViewController::FolderViewController() {
    popover_ = std::make_unique<Popover>();
    popover_->setBehavior(NSPopoverBehaviorTransient);
    popover_->setAnimates(false);
    popover_->setTakesKeyboardFocus(true);
}

FolderViewController::~FolderViewController() {
    childrenObservation_.invalidate();
    if (view_) {
        view_->ui.collectionView->setDataSource(nullptr);
        view_->ui.collectionView->setDelegate(nullptr);
    }
    if (popover_) popover_->close();
    popover_.reset();  // gives the content back
    delete view_.data();
}

Value FolderViewController::valueForKey(const std::string& key) const {
    if (key == "model") return model_ ? Value(model_) : Value();
    if (key == "itemsArray") return Value(itemsArray_);
    return Object::valueForKey(key);
}

void FolderViewController::setModel(FileSystemNodePtr model) {
    if (model == model_) return;
    willChangeValueForKey("model");
    model_ = std::move(model);
    didChangeValueForKey("model");
    childrenObservation_.invalidate();
    if (model_) {
        childrenObservation_ =
            model_->observe("childrenArray", KeyValueObservingOptionNew, [this](const KeyValueChange&) { childrenDidChange(); });
    }
}

FolderViewContent* FolderViewController::content() const {
    if (!view_) {
        auto* self = const_cast<FolderViewController*>(this);
        self->loadView();
        self->viewDidLoad();
    }
    return view_.data();
}

QWidget* FolderViewController::view() const { return content(); }
FlowCollectionView* FolderViewController::collectionView() const { return content()->ui.collectionView; }
QLineEdit* FolderViewController::searchField() const { return content()->ui.searchField; }
QToolButton* FolderViewController::openInFinderButton() const { return content()->ui.openInFinderButton; }
std::string FolderViewController::predicateTemplate() const { return SearchPredicate::kTemplate; }

void FolderViewController::loadView() {
    view_ = new FolderViewContent(this);
    FlowCollectionView* grid = view_->ui.collectionView;
    grid->setDelegate(this);
    grid->setBackgroundTransparent(true);
    grid->setSelectable(true);
    grid->setAllowsEmptySelection(true);
    popover_->setContentSize(calculateContentSize());

    std::weak_ptr<FolderViewController> weak = std::static_pointer_cast<FolderViewController>(shared_from_this());
    QObject::connect(view_->ui.searchField, &QLineEdit::textChanged, view_, [weak] {
        if (auto self = weak.lock()) self->updateFilterAction();
    });
    QObject::connect(view_->ui.openInFinderButton, &QToolButton::clicked, view_, [weak] {
        if (auto self = weak.lock()) self->openInFinder();
    });
}

void FolderViewController::viewDidLoad() {
    view_->ui.collectionView->setDelegate(this);
    configureCollectionView();
    view_->ui.collectionView->reloadData();
}

void FolderViewController::configureCollectionView() {
    FlowCollectionView* grid = content()->ui.collectionView;
    grid->setDelegate(this);
    grid->setDataSource(this);
    CollectionViewFlowLayout layout;
    layout.itemSize = getCellSize();
    layout.sectionInset = kSectionInset;
    layout.minimumInteritemSpacing = kInteritemSpacing;
    layout.minimumLineSpacing = kLineSpacing;
    grid->setCollectionViewLayout(layout);
    std::weak_ptr<FolderViewController> weak = std::static_pointer_cast<FolderViewController>(shared_from_this());
    grid->registerClass(
        [weak] {
            auto cell = std::make_shared<FolderItemCell>();
            cell->setController(weak);
            return cell;
        },
        FolderItemCell::kIdentifier);
}

// ---------------------------------------------------------------------------------
// Showing

bool FolderViewController::isDownloadsFolder(const FileSystemNode& folder) {
    if (folder.localizedName() == "Downloads") return true;
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (downloads.isEmpty()) return false;
    const QString path = QFile::decodeName(QByteArray::fromStdString(folder.path()));
    if (path.isEmpty()) return false;
    const QString a = QFileInfo(path).canonicalFilePath(), b = QFileInfo(downloads).canonicalFilePath();
    return !a.isEmpty() && a == b;
}

void FolderViewController::showFolderViewForFolder(const FileSystemNodePtr& folder, const Rect& rect, QWidget* view,
                                                   RectEdge preferredEdge) {
    if (!folder) return;
    content();
    const bool sameFolder = folder == model_ && isFolderViesShow();
    const ObjectPtr selected = sameFolder ? selectedObject() : nullptr;
    setModel(folder);
    // A folder listed by nobody yet (or empty) is listed now, off the main thread; the
    // grid follows when the listing arrives. Its changes are followed from now on.
    if (folder->childrenArray().empty()) folder->populateChildrenArrayInBackground();
    if (!folder->isWatching()) folder->watchChanges();
    // A popover shown for another folder starts with an empty search; the same folder
    // shown again (the release of the click that opened it) keeps it.
    if (!sameFolder && !view_->ui.searchField->text().isEmpty()) {
        QSignalBlocker block(view_->ui.searchField);
        view_->ui.searchField->clear();
    }
    takeChildren();
    if (popover_->contentView() != view_) popover_->setContentView(view_);
    popover_->setContentSize(calculateContentSize());
    QWidget* focus = view_->ui.searchField->isVisibleTo(view_) ? static_cast<QWidget*>(view_->ui.searchField)
                                                                : view_->ui.collectionView;
    if (!focus->hasFocus()) focus->setFocus(Qt::OtherFocusReason);
    popover_->showRelativeToRect(rect, view, preferredEdge);
    if (sameFolder)
        reloadKeepingSelection(selected);
    else
        view_->ui.collectionView->reloadData();
}

bool FolderViewController::isFolderViesShow() const { return popover_ && popover_->isShown(); }

void FolderViewController::closePreview() {
    if (popover_) popover_->close();
}

void FolderViewController::takeChildren() {
    children_ = model_ ? model_->childrenArray() : Array();
    keys_.clear();
    if (model_ && isDownloadsFolder(*model_)) {
        // Newest first, by the date each file came into the folder; files without one
        // last. A copy for the grid: the folder's own list keeps its order.
        std::vector<std::pair<double, size_t>> order;
        order.reserve(children_.size());
        for (size_t i = 0; i < children_.size(); ++i) {
            auto node = std::dynamic_pointer_cast<FileSystemNode>(children_[i].object());
            auto added = node ? node->addedDate() : std::nullopt;
            order.emplace_back(added ? added->timeIntervalSince1970 : -INFINITY, i);
        }
        std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
        Array sorted;
        sorted.reserve(children_.size());
        for (const auto& o : order) sorted.push_back(children_[o.second]);
        children_ = std::move(sorted);
    }
    applySearch();
}

void FolderViewController::childrenDidChange() {
    // A hidden popover takes the children when it shows next.
    if (!model_ || !isFolderViesShow()) return;
    const Array fresh = model_->childrenArray();
    // The same listing announced again (the folder item announces each listing twice,
    // and relists unchanged folders): nothing to do.
    Array current = children_;
    if (sameElements(fresh, current)) return;
    if (model_ && isDownloadsFolder(*model_) && fresh.size() == current.size()) {
        Array a = fresh, b = current;
        auto byAddress = [](const Value& x, const Value& y) { return x.object().get() < y.object().get(); };
        std::sort(a.begin(), a.end(), byAddress);
        std::sort(b.begin(), b.end(), byAddress);
        if (sameElements(a, b)) return;
    }
    ObjectPtr selected = selectedObject();
    takeChildren();
    reloadKeepingSelection(selected);
    updateContentSize();
}

void FolderViewController::updateContentSize() {
    const Size size = calculateContentSize();
    if (size != popover_->contentSize()) popover_->setContentSize(size);
}

ObjectPtr FolderViewController::selectedObject() const {
    FlowCollectionView* grid = view_ ? view_->ui.collectionView : nullptr;
    if (!grid) return nullptr;
    auto index = grid->selectedIndex();
    return index && *index < itemsArray_.size() ? itemsArray_[*index].object() : nullptr;
}

void FolderViewController::reloadKeepingSelection(const ObjectPtr& selected) {
    if (!view_) return;
    FlowCollectionView* grid = view_->ui.collectionView;
    grid->reloadData();
    if (!selected) return;
    for (size_t i = 0; i < itemsArray_.size(); ++i) {
        if (itemsArray_[i].object() == selected) {
            grid->setSelectedIndex(i);
            break;
        }
    }
}

// ---------------------------------------------------------------------------------
// Search

void FolderViewController::applySearch() {
    const QString text = view_ ? view_->ui.searchField->text() : QString();
    if (text.isEmpty()) {
        itemsArray_ = children_;
        return;
    }
    if (keys_.size() != children_.size()) {
        keys_.clear();
        keys_.reserve(children_.size());
        for (const Value& child : children_) keys_.push_back(SearchPredicate::searchKeyForObject(child));
    }
    const SearchPredicate predicate(text);
    Array filtered;
    for (size_t i = 0; i < children_.size(); ++i)
        if (predicate.matchesFolded(keys_[i])) filtered.push_back(children_[i]);
    itemsArray_ = std::move(filtered);
}

void FolderViewController::updateFilterAction(QObject*) {
    applySearch();
    if (view_) view_->ui.collectionView->reloadData();
    updateContentSize();
}

// ---------------------------------------------------------------------------------
// Sizes

Size FolderViewController::getCellSize() const { return popoverCellSize("folder", maxWidght(), loggedCellHeight_); }

Size FolderViewController::calculateContentSize() {
    const double c = getCellSize().width;
    const double W = maxWidght();
    const double n = double(children_.size());
    if (FlowCollectionView* grid = collectionView()) {
        grid->setMinItemSize(MakeSize(c, c));
        grid->setMaxItemSize(MakeSize(c, c));
        CollectionViewFlowLayout layout = grid->collectionViewLayout();
        if (layout.itemSize != MakeSize(c, c)) {
            layout.itemSize = MakeSize(c, c);
            grid->setCollectionViewLayout(layout);
        }
    }
    double gridWidth, gridHeight;
    const bool search = n * c > W;
    if (search) {
        const double columns = std::max(1.0, std::floor(W / c));
        gridWidth = columns * c;
        const double rows = std::ceil(float(n) / float(columns));
        gridHeight = std::min(rows * c, kMaxGridHeight);
    } else {
        gridWidth = n * c;
        gridHeight = c;
    }
    if (view_) {
        QLineEdit* field = view_->ui.searchField;
        field->setEnabled(search);
        field->setVisible(search);
        if (!search && field->hasFocus()) view_->ui.collectionView->setFocus(Qt::OtherFocusReason);
    }
    if (children_.empty()) return MakeSize(226, 178);
    return MakeSize(gridWidth + 126, gridHeight + 78);
}

// ---------------------------------------------------------------------------------
// The grid's data source and delegate

size_t FolderViewController::collectionViewNumberOfItemsInSection(FlowCollectionView&, size_t) {
    return itemsArray_.size();
}

CollectionViewItemPtr FolderViewController::collectionViewItemForRepresentedObjectAtIndexPath(FlowCollectionView& view,
                                                                                            const IndexPath* indexPath) {
    if (!indexPath || indexPath->item >= itemsArray_.size()) return nullptr;
    auto item = view.makeItemWithIdentifier(FolderItemCell::kIdentifier, *indexPath);
    if (item) item->setRepresentedObject(itemsArray_[indexPath->item]);
    return item;
}

void FolderViewController::collectionViewDidSelectItemsAtIndexPaths(FlowCollectionView& view,
                                                                    const std::vector<IndexPath>& paths) {
    if (paths.empty()) return;
    if (auto* item = view.itemAtIndex(paths.front().item)) item->setSelected(true);
}

void FolderViewController::collectionViewDidDeselectItemsAtIndexPaths(FlowCollectionView& view,
                                                                      const std::vector<IndexPath>& paths) {
    if (paths.empty()) return;
    if (auto* item = view.itemAtIndex(paths.front().item)) item->setSelected(false);
}

void FolderViewController::collectionViewOpenItemAtIndexPath(FlowCollectionView& view, const IndexPath& path) {
    if (auto* cell = dynamic_cast<FolderItemCell*>(view.itemAtIndex(path.item))) openItemOfCell(*cell);
}

// ---------------------------------------------------------------------------------
// Opening, the folder itself, dragging

void FolderViewController::openItemOfCell(FolderItemCell& cell) {
    auto keep = cell.shared_from_this();
    cell.clickAct();
    closePreview();
}

void FolderViewController::openInFinder(QObject*) {
    if (model_) {
        auto* ws = desktop::services().workspace.get();
        if (!ws || !ws->openFile(model_->path())) {
            log("the folder could not be opened: ", model_->path());
            desktop::tellUserItFailed(desktop::quotedName(model_->path()) + " could not be opened.");
        }
    }
    closePreview();
}

QMimeData* FolderViewController::mimeDataForNodes(const std::vector<FileSystemNodePtr>& nodes) {
    QByteArray list;
    for (const auto& node : nodes) {
        if (!node || node->path().empty()) continue;
        list += QByteArray::fromStdString(desktop::files::fileURI(node->path()));
        list += "\r\n";
    }
    auto* data = new QMimeData;
    data->setData(QStringLiteral("text/uri-list"), list);
    return data;
}

void FolderViewController::beginDraggingCell(FolderItemCell& cell) {
    auto node = std::dynamic_pointer_cast<FileSystemNode>(cell.representedObject().object());
    if (!node) return;
    FolderCellView* source = cell.cellView();
    auto* drag = new QDrag(source);
    drag->setMimeData(mimeDataForNodes({node}));
    if (ImagePtr icon = source->imageView()->image(); icon && icon->isValid()) {
        QImage image = icon->qimage();
        drag->setPixmap(QPixmap::fromImage(image));
        drag->setHotSpot(QPoint(image.width() / 2, image.height() / 2));
    }
    // Out of the way of the drop target, and no longer holding the pointer.
    closePreview();
    if (dragPerformer_)
        dragPerformer_(*drag);
    else
        drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
    drag->deleteLater();
}

// ---------------------------------------------------------------------------------
// Keys

bool FolderViewController::handleKey(QWidget* receiver, int key) {
    if (!view_) return false;
    FlowCollectionView* grid = view_->ui.collectionView;
    const size_t count = grid->numberOfItems();
    if (receiver == view_->ui.searchField) {
        switch (key) {
            case Qt::Key_Down:
                if (count == 0) return true;
                grid->setFocus(Qt::TabFocusReason);
                if (!grid->selectedIndex()) grid->selectIndexByUser(0);
                grid->scrollToItem(*grid->selectedIndex());
                return true;
            case Qt::Key_Return:
            case Qt::Key_Enter: {
                // The selected file, else the first that the search left.
                if (count == 0) return true;
                const size_t index = grid->selectedIndex().value_or(0);
                grid->scrollToItem(index);
                grid->layoutItems();
                collectionViewOpenItemAtIndexPath(*grid, IndexPath{0, index});
                return true;
            }
            default: return false;
        }
    }
    if (receiver == grid && key == Qt::Key_Up) {
        // Up from the first row goes back to the search field, when there is one.
        const auto selected = grid->selectedIndex();
        if ((!selected || *selected < grid->numberOfColumns()) && view_->ui.searchField->isVisibleTo(view_)) {
            view_->ui.searchField->setFocus(Qt::BacktabFocusReason);
            return true;
        }
    }
    return false;
}

}  // namespace qs
