#pragma once
// The view of a dock item cell: it knows its item (the represented object), whether it
// is selected, and the panel's cell actions, which give it its context menu. It draws
// nothing itself; its children (icon, running indicator, badge, drop zone) do.

#include <memory>

#include <QWidget>

#include "platform/foundation/Value.h"
#include "platform/ui/Event.h"

namespace qs {

class CellActionsDelegate;
class Menu;

class CollectionItemView : public QWidget {
    Q_OBJECT

public:
    explicit CollectionItemView(QWidget* parent = nullptr);

    bool isSelected() const { return selected_; }
    // Stores the flag; the view is repainted only when it changed.
    void setSelected(bool selected);

    const Value& representedObject() const { return representedObject_; }
    void setRepresentedObject(const Value& object) { representedObject_ = object; }

    std::shared_ptr<CellActionsDelegate> cellActionsDelegate() const { return cellActionsDelegate_.lock(); }
    void setCellActionsDelegate(const std::shared_ptr<CellActionsDelegate>& delegate) {
        cellActionsDelegate_ = delegate;
    }

    // The context menu of the represented object, from the cell actions (menuForEvent:);
    // nullptr without cell actions or when the item has no menu.
    std::shared_ptr<Menu> menuForEvent(const Event& event) const;

    // A new view made as this class makes one, with nothing copied (copyWithZone:).
    CollectionItemView* copy() const;

    // The corner radius of the view's backing (6.0 for dock cells).
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double radius) { cornerRadius_ = radius; }

    // Paint events received (for measurements and tests).
    int paintCount() const { return paints_; }

signals:
    // The view's size changed: its owner lays the children out again.
    void resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool selected_ = false;
    Value representedObject_;
    std::weak_ptr<CellActionsDelegate> cellActionsDelegate_;
    double cornerRadius_ = 0.0;
    int paints_ = 0;
};

}  // namespace qs
