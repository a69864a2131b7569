#pragma once
// A table bound to an array controller (a table view whose columns are bound to the
// controller's "arrangedObjects.KEY"): one row per arranged object, one column per key
// path of the objects, an optional image per column, and the view's selection tied both
// ways to the controller's "selectionIndexes".
//
// The model follows "arrangedObjects" and "selectionIndexes" of the controller while it
// is active; an inactive model observes nothing (a closed window) and reads the
// controller afresh when made active again.
//
// Main thread only.

#include <QAbstractTableModel>
#include <QIcon>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Object.h"
#include "platform/ui/ArrayController.h"

class QAbstractItemView;
class QItemSelection;

namespace qs {

class BindingTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Column {
        QString title;
        // The text of the cell: the value at this key path of the row's object (a string,
        // a file URL's path, or an object's description); empty for none.
        std::string keyPath;
        // The image of the cell (an Image at this key path); empty for none.
        std::string imageKeyPath;
    };

    BindingTableModel(std::shared_ptr<ArrayController> controller, std::vector<Column> columns,
                      QObject* parent = nullptr);
    ~BindingTableModel() override;

    const std::shared_ptr<ArrayController>& controller() const { return controller_; }

    // Shows the model in the view and ties the view's selection to the controller's.
    void attachView(QAbstractItemView* view);

    bool isActive() const { return active_; }
    void setActive(bool active);

    // Whether a press on a row may start a drag of the selected rows (the view starts it;
    // off by default).
    bool rowsDraggable() const { return rowsDraggable_; }
    void setRowsDraggable(bool draggable) { rowsDraggable_ = draggable; }

    // The object of a row (nil outside the arranged objects).
    Value objectAtRow(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void observe();
    void reload();
    void selectFromController();
    void viewSelectionChanged();

    std::shared_ptr<ArrayController> controller_;
    std::vector<Column> columns_;
    Array rows_;
    mutable std::vector<std::vector<QIcon>> icons_;  // per row and column, made when first asked
    QPointer<QAbstractItemView> view_;
    KeyValueObservation arrangedObservation_;
    KeyValueObservation selectionObservation_;
    bool active_ = true;
    bool syncingSelection_ = false;
    bool rowsDraggable_ = false;
};

}  // namespace qs
