#include "platform/ui/BindingTableModel.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QPixmap>
#include <algorithm>

#include "platform/foundation/Image.h"
#include "platform/foundation/URL.h"

namespace qs {

namespace {
constexpr int kIconSide = 20;
}

BindingTableModel::BindingTableModel(std::shared_ptr<ArrayController> controller, std::vector<Column> columns,
                                     QObject* parent)
    : QAbstractTableModel(parent), controller_(std::move(controller)), columns_(std::move(columns)) {
    if (controller_) rows_ = controller_->arrangedObjects();
    observe();
}

BindingTableModel::~BindingTableModel() = default;

void BindingTableModel::observe() {
    arrangedObservation_.invalidate();
    selectionObservation_.invalidate();
    if (!controller_) return;
    arrangedObservation_ = controller_->observe("arrangedObjects", KeyValueObservingOptionNew,
                                                [this](const KeyValueChange&) { reload(); });
    selectionObservation_ = controller_->observe("selectionIndexes", KeyValueObservingOptionNew,
                                                 [this](const KeyValueChange&) { selectFromController(); });
}

void BindingTableModel::setActive(bool active) {
    if (active == active_) return;
    active_ = active;
    if (active) {
        observe();
        reload();
    } else {
        arrangedObservation_.invalidate();
        selectionObservation_.invalidate();
    }
}

void BindingTableModel::reload() {
    beginResetModel();
    rows_ = controller_ ? controller_->arrangedObjects() : Array();
    icons_.clear();
    endResetModel();
    selectFromController();
}

void BindingTableModel::attachView(QAbstractItemView* view) {
    view_ = view;
    if (!view) return;
    view->setModel(this);
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection&, const QItemSelection&) { viewSelectionChanged(); });
    // A reset (a new arrangement) gives the view a fresh selection model state.
    connect(this, &QAbstractItemModel::modelReset, this, [this] { selectFromController(); });
    selectFromController();
}

void BindingTableModel::selectFromController() {
    if (!view_ || !controller_ || !view_->selectionModel()) return;
    syncingSelection_ = true;
    QItemSelection selection;
    for (size_t row : controller_->selectionIndexes())
        if (row < rows_.size())
            selection.select(index(int(row), 0), index(int(row), std::max(0, columnCount() - 1)));
    view_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    syncingSelection_ = false;
}

void BindingTableModel::viewSelectionChanged() {
    if (syncingSelection_ || !view_ || !controller_) return;
    IndexSet rows;
    for (const QModelIndex& i : view_->selectionModel()->selectedRows()) rows.push_back(size_t(i.row()));
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    syncingSelection_ = true;
    controller_->setSelectionIndexes(rows);
    syncingSelection_ = false;
}

Value BindingTableModel::objectAtRow(int row) const {
    if (row < 0 || size_t(row) >= rows_.size()) return Value();
    return rows_[size_t(row)];
}

int BindingTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int BindingTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant BindingTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || size_t(index.row()) >= rows_.size() || size_t(index.column()) >= columns_.size())
        return QVariant();
    const Column& column = columns_[size_t(index.column())];
    auto object = rows_[size_t(index.row())].object();
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        if (column.keyPath.empty()) return QVariant();
        Value v = object ? object->valueForKeyPath(column.keyPath) : Value();
        if (v.isString()) return QString::fromStdString(*v.string());
        if (auto url = v.objectAs<URL>(); url && url->isFileURL()) return QString::fromStdString(url->path());
        if (auto o = v.object()) return QString::fromStdString(o->description());
        if (v.isNil()) return QString();
        return QString::fromStdString(v.description());
    }
    if (role == Qt::DecorationRole && !column.imageKeyPath.empty()) {
        if (icons_.size() != rows_.size()) icons_.assign(rows_.size(), std::vector<QIcon>(columns_.size()));
        QIcon& icon = icons_[size_t(index.row())][size_t(index.column())];
        if (icon.isNull() && object) {
            if (auto image = object->valueForKeyPath(column.imageKeyPath).objectAs<Image>()) {
                QImage pixels = image->qimage();
                if (!pixels.isNull())
                    icon = QIcon(QPixmap::fromImage(
                        pixels.scaled(kIconSide, kIconSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
            }
        }
        return icon.isNull() ? QVariant() : QVariant(icon);
    }
    return QVariant();
}

Qt::ItemFlags BindingTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (rowsDraggable_ && index.isValid()) f |= Qt::ItemIsDragEnabled;
    return f;
}

QVariant BindingTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QVariant();
    if (section < 0 || size_t(section) >= columns_.size()) return QVariant();
    return columns_[size_t(section)].title;
}

}  // namespace qs
