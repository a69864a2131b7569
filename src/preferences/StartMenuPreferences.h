#pragma once
// The start-menu editor: a window with a table of the start menu's own entries, buttons
// that add files and folders (through an open panel) and remove the selected entry,
// reordering by dragging rows, and adding by dropping files from the file manager. Every
// change goes through the start-menu model's edits, which post "saveDocksData".
//
// Dragged rows travel as "application/x-quayside-AppListTableViewDataType": the keyed
// archive of the index set of the dragged rows (positions among the arranged entries);
// only this window writes and reads it. Files travel as text/uri-list. A drop always
// falls above a row.
//
// Moves keep every entry: the dragged entries are taken out by position (the list may
// hold the same file twice) and put back, in their order, above the row they were
// dropped on, counting only the dragged rows that stood above it. Files dropped from
// outside are copied, never moved: the drag is answered with the copy action, so a file
// manager does not remove its files.

#include <QMimeData>
#include <QPointer>
#include <QTableView>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/Object.h"
#include "platform/ui/ArrayController.h"
#include "platform/ui/BindingTableModel.h"
#include "platform/ui/DragAndDrop.h"

namespace Ui {
class StartMenuPreferences;
}

namespace qs {

class MenuModel;
class StartMenuPreferences;

inline constexpr const char* kAppListTableViewDataType = "application/x-quayside-AppListTableViewDataType";

// DragOperation (NSDragOperationNone, Copy, Link, Move, Every): platform/ui/DragAndDrop.h.

// The editor's table: drags its rows and takes drops above a row, asking the editor.
class StartMenuTableView : public QTableView {
    Q_OBJECT
public:
    explicit StartMenuTableView(QWidget* parent = nullptr);
    void setEditor(std::weak_ptr<StartMenuPreferences> editor) { editor_ = std::move(editor); }
    // The row a drop at this point falls above (the row count below the last row).
    int proposedRowAt(const QPoint& point) const;
    int dropRow() const { return dropRow_; }

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool validate(QDropEvent* event);

    std::weak_ptr<StartMenuPreferences> editor_;
    int dropRow_ = -1;
};

class StartMenuPreferences : public Object {
public:
    // init: the window from its interface file and the observation of "model.modelContent".
    static std::shared_ptr<StartMenuPreferences> init();
    ~StartMenuPreferences() override;

    std::string className() const override { return "StartMenuPreferences"; }
    Value valueForKey(const std::string& key) const override;

    // One editor for the program: made on first use, given the model, activated and shown.
    static void showEditor(const std::shared_ptr<MenuModel>& model);
    static std::shared_ptr<StartMenuPreferences> sharedEditor();
    static void releaseSharedEditor();

    const std::shared_ptr<MenuModel>& model() const { return model_; }
    // Announces "model": the table follows the new model's entries.
    void setModel(std::shared_ptr<MenuModel> model);

    QWidget* window() const { return window_.data(); }
    StartMenuTableView* tableView() const;
    const std::shared_ptr<ArrayController>& arrayController() const { return arrayController_; }
    BindingTableModel* tableModel() const { return tableModel_.data(); }
    // Activates the program and orders the window front.
    void showWindow();
    void close();

    // Actions.
    void removeItem();
    void addItems();

    // The table's data source.
    bool tableViewWriteRowsWithIndexes(const IndexSet& rows, QMimeData* pasteboard);
    // Retargets every drop above the proposed row (dropRow); Move for a drag from this
    // table, Every otherwise.
    DragOperation tableViewValidateDrop(const QMimeData* info, bool sourceIsThisTable, int proposedRow,
                                        int* dropRow);
    bool tableViewAcceptDrop(const QMimeData* info, int row);

    // The window was closed by the user (its table rests until shown again).
    void windowDidClose();

private:
    StartMenuPreferences();
    void windowDidLoad();
    void rearrange();

    std::shared_ptr<MenuModel> model_;
    std::shared_ptr<ArrayController> arrayController_;
    QPointer<QWidget> window_;
    QPointer<BindingTableModel> tableModel_;
    std::unique_ptr<Ui::StartMenuPreferences> ui_;
    KeyValueObservation contentObservation_;
};

}  // namespace qs
