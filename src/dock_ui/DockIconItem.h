#pragma once
// A plain dock cell: the item's icon (through the item icon cache, at the cell's pixel
// size), with a dot under it while the item's application runs. Clicks, releases and
// hovers go to the panel's cell-actions delegate. The panel uses it for every item until
// the full item cell and the trash cell take its place.

#include <memory>

#include <QImage>
#include <QWidget>

#include "platform/ui/CollectionView.h"

namespace qs {

class CellActionsDelegate;

class DockIconItem : public CollectionViewItem {
    Q_OBJECT

public:
    DockIconItem() = default;
    std::shared_ptr<CollectionViewItem> copy() const override;
    void loadView() override;
    void setRepresentedObject(const Value& object) override;

    std::shared_ptr<CellActionsDelegate> cellDelegate() const { return cellDelegate_.lock(); }
    void setCellDelegate(const std::shared_ptr<CellActionsDelegate>& delegate) { cellDelegate_ = delegate; }

    void mouseDown(const Event& event) override;
    void mouseUp(const Event& event) override;
    void mouseEntered(const Event& event) override;
    void mouseExited(const Event& event) override;

    // Whether the item counts as running (a running application, or a file item whose
    // application runs).
    bool isItemRunning() const;
    int paintCount() const;

private:
    std::weak_ptr<CellActionsDelegate> cellDelegate_;
};

class DockIconView : public QWidget {
    Q_OBJECT

public:
    explicit DockIconView(DockIconItem* item) : item_(item) { setAttribute(Qt::WA_NoSystemBackground); }
    void itemChanged();
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void requestIcon();
    DockIconItem* item_;
    QImage icon_;
    int iconPixels_ = 0;
    bool running_ = false;
};

}  // namespace qs
