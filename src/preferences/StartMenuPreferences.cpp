#include "preferences/StartMenuPreferences.h"

#include <QCoreApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QPainter>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>

#include "core/FileSystemNode.h"
#include "core/MenuModel.h"
#include "platform/foundation/IndexSetCoding.h"
#include "platform/foundation/Log.h"
#include "platform/ui/BindingTableModel.h"
#include "platform/ui/OpenPanel.h"
#include "preferences/PreferencesPane.h"
#include "ui_StartMenuPreferences.h"

namespace qs {

namespace {

std::shared_ptr<StartMenuPreferences>& sharedSlot() {
    static std::shared_ptr<StartMenuPreferences> editor;
    return editor;
}

// Tells the editor when the user closes its window.
class CloseWatcher : public QObject {
public:
    CloseWatcher(QObject* parent, std::weak_ptr<StartMenuPreferences> editor)
        : QObject(parent), editor_(std::move(editor)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close && watched == parent())
            if (auto e = editor_.lock()) e->windowDidClose();
        return false;
    }

private:
    std::weak_ptr<StartMenuPreferences> editor_;
};

}  // namespace

// ---------------------------------------------------------------------------------
// The table

StartMenuTableView::StartMenuTableView(QWidget* parent) : QTableView(parent) {
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(false);  // drawn here: always a line above a row
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    viewport()->setAcceptDrops(true);
}

int StartMenuTableView::proposedRowAt(const QPoint& point) const {
    QModelIndex index = indexAt(point);
    int rows = model() ? model()->rowCount() : 0;
    if (!index.isValid()) return rows;
    QRect r = visualRect(index);
    return point.y() > r.center().y() ? index.row() + 1 : index.row();
}

void StartMenuTableView::startDrag(Qt::DropActions) {
    auto editor = editor_.lock();
    if (!editor || !selectionModel()) return;
    IndexSet rows;
    for (const QModelIndex& i : selectionModel()->selectedRows()) rows.push_back(size_t(i.row()));
    std::sort(rows.begin(), rows.end());
    if (rows.empty()) return;
    auto* data = new QMimeData;
    if (!editor->tableViewWriteRowsWithIndexes(rows, data)) {
        delete data;
        return;
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::MoveAction, Qt::MoveAction);
}

bool StartMenuTableView::validate(QDropEvent* event) {
    auto editor = editor_.lock();
    if (!editor) return false;
    int row = proposedRowAt(event->position().toPoint());
    int target = row;
    DragOperation op = editor->tableViewValidateDrop(event->mimeData(), event->source() == this, row, &target);
    dropRow_ = target;
    viewport()->update();
    if (op == NSDragOperationNone) return false;
    // Files from elsewhere are copied, never moved away from their place.
    event->setDropAction(op == NSDragOperationMove ? Qt::MoveAction : Qt::CopyAction);
    return true;
}

void StartMenuTableView::dragEnterEvent(QDragEnterEvent* event) {
    if (validate(event))
        event->accept();
    else
        event->ignore();
}

void StartMenuTableView::dragMoveEvent(QDragMoveEvent* event) {
    if (validate(event))
        event->accept();
    else
        event->ignore();
}

void StartMenuTableView::dragLeaveEvent(QDragLeaveEvent* event) {
    dropRow_ = -1;
    viewport()->update();
    event->accept();
}

void StartMenuTableView::dropEvent(QDropEvent* event) {
    auto editor = editor_.lock();
    bool valid = validate(event);
    int row = dropRow_;
    dropRow_ = -1;
    viewport()->update();
    if (valid && editor && editor->tableViewAcceptDrop(event->mimeData(), row))
        event->accept();
    else
        event->ignore();
}

void StartMenuTableView::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (dropRow_ < 0 || !model()) return;
    int rows = model()->rowCount();
    int y = 0;
    if (rows == 0)
        y = 1;
    else if (dropRow_ < rows)
        y = rowViewportPosition(dropRow_);
    else
        y = rowViewportPosition(rows - 1) + rowHeight(rows - 1);
    QPainter p(viewport());
    p.setPen(QPen(palette().color(QPalette::Highlight), 2));
    p.drawLine(0, y, viewport()->width(), y);
}

// ---------------------------------------------------------------------------------
// The editor

StartMenuPreferences::StartMenuPreferences() = default;

std::shared_ptr<StartMenuPreferences> StartMenuPreferences::init() {
    std::shared_ptr<StartMenuPreferences> editor(new StartMenuPreferences());
    editor->arrayController_ = ArrayController::create();
    editor->ui_ = std::make_unique<Ui::StartMenuPreferences>();
    auto* window = new QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                            Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    editor->ui_->setupUi(window);
    editor->window_ = window;
    window->installEventFilter(new CloseWatcher(window, editor));
    editor->contentObservation_ = editor->observe("model.modelContent",
                                                  KeyValueObservingOptionNew | KeyValueObservingOptionOld,
                                                  [weak = std::weak_ptr<StartMenuPreferences>(editor)](
                                                      const KeyValueChange&) {
                                                      if (auto e = weak.lock()) e->rearrange();
                                                  });
    editor->windowDidLoad();
    return editor;
}

StartMenuPreferences::~StartMenuPreferences() {
    // Widgets cannot outlive the application object; without it the window is left to
    // the end of the process.
    if (window_ && QCoreApplication::instance()) delete window_.data();
}

Value StartMenuPreferences::valueForKey(const std::string& key) const {
    if (key == "model") return model_ ? Value(model_) : Value();
    if (key == "arrayController") return Value(arrayController_);
    return Object::valueForKey(key);
}

void StartMenuPreferences::windowDidLoad() {
    auto self = std::static_pointer_cast<StartMenuPreferences>(shared_from_this());
    StartMenuTableView* table = ui_->tableView;
    table->setEditor(self);
    // A clear table on the window's own background.
    table->setAutoFillBackground(false);
    table->viewport()->setAutoFillBackground(false);
    table->setFrameShape(QFrame::NoFrame);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setStyleSheet(QStringLiteral("QTableView { background: transparent; }"));

    arrayController_->bind("contentArray", self, "model.modelContent");
    tableModel_ = new BindingTableModel(arrayController_,
                                        {{QString::fromStdString(localizedString("Name")), "localizedName", "icon"},
                                         {QString::fromStdString(localizedString("Location")), "URL", ""}},
                                        table);
    // Rows reorder by dragging them.
    tableModel_->setRowsDraggable(true);
    tableModel_->attachView(table);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setColumnWidth(0, 200);
    table->setWordWrap(false);
    table->setTextElideMode(Qt::ElideMiddle);
    table->verticalHeader()->hide();

    std::weak_ptr<StartMenuPreferences> weak = self;
    QObject::connect(ui_->addButton, &QPushButton::clicked, window_.data(), [weak] {
        if (auto e = weak.lock()) e->addItems();
    });
    QObject::connect(ui_->removeButton, &QPushButton::clicked, window_.data(), [weak] {
        if (auto e = weak.lock()) e->removeItem();
    });
}

StartMenuTableView* StartMenuPreferences::tableView() const { return ui_ ? ui_->tableView : nullptr; }

void StartMenuPreferences::setModel(std::shared_ptr<MenuModel> model) {
    willChangeValueForKey("model");
    model_ = std::move(model);
    didChangeValueForKey("model");
}

void StartMenuPreferences::rearrange() { arrayController_->rearrangeObjects(); }

void StartMenuPreferences::showWindow() {
    if (!window_) return;
    // Back from a closed window: follow the model again.
    if (!arrayController_->isBound("contentArray")) {
        arrayController_->bind("contentArray", shared_from_this(), "model.modelContent");
        contentObservation_ = observe("model.modelContent", KeyValueObservingOptionNew | KeyValueObservingOptionOld,
                                      [weak = std::weak_ptr<StartMenuPreferences>(
                                           std::static_pointer_cast<StartMenuPreferences>(shared_from_this()))](
                                          const KeyValueChange&) {
                                          if (auto e = weak.lock()) e->rearrange();
                                      });
    }
    if (tableModel_) tableModel_->setActive(true);
    if (window_->windowState() & Qt::WindowMinimized)
        window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void StartMenuPreferences::close() {
    if (window_ && window_->isVisible()) window_->close();
}

void StartMenuPreferences::windowDidClose() {
    // A closed editor follows nothing: its table is read afresh when it shows again.
    contentObservation_.invalidate();
    arrayController_->unbind("contentArray");
    if (tableModel_) tableModel_->setActive(false);
}

void StartMenuPreferences::showEditor(const std::shared_ptr<MenuModel>& model) {
    auto editor = sharedEditor();
    editor->setModel(model);
    editor->showWindow();
}

std::shared_ptr<StartMenuPreferences> StartMenuPreferences::sharedEditor() {
    auto& slot = sharedSlot();
    if (!slot) {
        slot = init();
        static bool releasedAtQuit = false;
        if (auto* app = QCoreApplication::instance(); app && !releasedAtQuit) {
            releasedAtQuit = true;
            QObject::connect(app, &QCoreApplication::aboutToQuit, app, [] { releaseSharedEditor(); });
        }
    }
    return slot;
}

void StartMenuPreferences::releaseSharedEditor() {
    auto editor = std::move(sharedSlot());
    sharedSlot().reset();
    if (editor) editor->close();
}

// ---------------------------------------------------------------------------------
// Actions

void StartMenuPreferences::removeItem() {
    if (!model_) return;
    const IndexSet& selected = arrayController_->selectionIndexes();
    if (selected.empty()) return;
    Value entry = arrayController_->arrangedObjects()[selected.front()];
    // The selected entry itself, found by identity.
    const auto& content = model_->modelContent();
    for (size_t i = 0; i < content.size(); ++i) {
        if (content[i].get() == entry.object().get()) {
            model_->removeItemFromModelContentAtIndex(long(i));
            return;
        }
    }
}

void StartMenuPreferences::addItems() {
    auto panel = OpenPanel::openPanel();
    panel->allowsMultipleSelection = true;
    panel->canChooseDirectories = true;
    panel->canChooseFiles = true;
    panel->resolvesAliases = true;
    panel->directoryURL = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
    std::weak_ptr<StartMenuPreferences> weak = std::static_pointer_cast<StartMenuPreferences>(shared_from_this());
    panel->beginSheetModalForWindow(window_.data(), [weak, panel](int response) {
        auto editor = weak.lock();
        if (editor && editor->model_ && response == OpenPanel::NSModalResponseOK) {
            for (const URLPtr& url : panel->URLs())
                if (auto node = FileSystemNode::initWithURL(url)) editor->model_->addItemToModelContent(node);
        }
        panel->close();
    });
}

// ---------------------------------------------------------------------------------
// Drag and drop

bool StartMenuPreferences::tableViewWriteRowsWithIndexes(const IndexSet& rows, QMimeData* pasteboard) {
    if (!pasteboard) return false;
    Data archive = archivedIndexSet(rows);
    pasteboard->setData(kAppListTableViewDataType,
                        QByteArray(reinterpret_cast<const char*>(archive.data()), qsizetype(archive.size())));
    return true;
}

DragOperation StartMenuPreferences::tableViewValidateDrop(const QMimeData*, bool sourceIsThisTable, int proposedRow,
                                                          int* dropRow) {
    if (dropRow) *dropRow = proposedRow;  // above the proposed row
    return sourceIsThisTable ? NSDragOperationMove : NSDragOperationEvery;
}

bool StartMenuPreferences::tableViewAcceptDrop(const QMimeData* info, int row) {
    if (!info || !model_) return false;
    const Array& arranged = arrayController_->arrangedObjects();
    row = std::clamp(row, 0, int(arranged.size()));
    if (info->hasFormat(kAppListTableViewDataType)) {
        QByteArray bytes = info->data(kAppListTableViewDataType);
        auto indexes = unarchivedIndexSet(Data(bytes.begin(), bytes.end()));
        if (!indexes) {
            log("a row drag onto the start-menu editor carried no readable rows");
            return false;
        }
        // The dragged entries, in row order; rows that no longer exist are left out.
        std::vector<FileSystemNodePtr> entries;
        size_t above = 0;
        for (size_t i : *indexes) {
            if (i >= arranged.size()) continue;
            auto node = arranged[i].objectAs<FileSystemNode>();
            if (!node) continue;
            entries.push_back(node);
            if (long(i) < row) ++above;
        }
        if (entries.empty()) return false;
        // Out by position (identity), last first so the earlier positions hold.
        std::vector<long> positions;
        for (const auto& node : entries) {
            const auto& content = model_->modelContent();
            for (size_t k = 0; k < content.size(); ++k) {
                if (content[k].get() == node.get() &&
                    std::find(positions.begin(), positions.end(), long(k)) == positions.end()) {
                    positions.push_back(long(k));
                    break;
                }
            }
        }
        std::sort(positions.rbegin(), positions.rend());
        for (long k : positions) model_->removeItemFromModelContentAtIndex(k);
        long insertAt = long(row) - long(above);
        for (const auto& node : entries) model_->inserItemToModelContent(node, insertAt++);
        return true;
    }
    if (info->hasUrls()) {
        bool any = false;
        for (const QUrl& url : info->urls()) {
            if (!url.isLocalFile()) continue;
            if (auto node = MenuModel::createItemForPath(url.toLocalFile().toStdString())) {
                model_->inserItemToModelContent(node, row);
                any = true;
            }
        }
        return any;
    }
    return false;
}

}  // namespace qs
