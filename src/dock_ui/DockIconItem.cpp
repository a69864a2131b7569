#include "dock_ui/DockIconItem.h"

#include <QPainter>

#include "core/FileSystemNode.h"
#include "core/ThemeManager.h"
#include "dock_ui/CellActionsDelegate.h"
#include "dock_ui/ItemIconCache.h"
#include "platform/ui/ViewObject.h"

namespace qs {

std::shared_ptr<CollectionViewItem> DockIconItem::copy() const {
    auto item = std::make_shared<DockIconItem>();
    item->cellDelegate_ = cellDelegate_;
    return item;
}

void DockIconItem::loadView() { setView(new DockIconView(this)); }

void DockIconItem::setRepresentedObject(const Value& object) {
    CollectionViewItem::setRepresentedObject(object);
    if (isViewLoaded()) static_cast<DockIconView*>(view())->itemChanged();
}

bool DockIconItem::isItemRunning() const {
    auto object = representedObject().object();
    if (!object) return false;
    if (object->className() == "NSRunningApplication") return true;
    if (auto node = std::dynamic_pointer_cast<FileSystemNode>(object)) return node->isRunning();
    return false;
}

int DockIconItem::paintCount() const {
    auto* v = dynamic_cast<DockIconView*>(const_cast<DockIconItem*>(this)->view());
    return v ? v->paints : 0;
}

void DockIconItem::mouseDown(const Event& event) {
    CollectionViewItem::mouseDown(event);
    if (auto d = cellDelegate()) {
        d->mouseDown(event);
        d->mouseUp(event, view(), representedObject(), false);
    }
}

void DockIconItem::mouseUp(const Event& event) {
    if (auto d = cellDelegate()) d->mouseUp(event, view(), representedObject(), true);
}

void DockIconItem::mouseEntered(const Event&) {
    if (auto d = cellDelegate()) d->showPreviewWhithObject(Dictionary{{"app", representedObject()}, {"view", Value(viewObject(view()))}});
}

void DockIconItem::mouseExited(const Event&) {
    if (auto d = cellDelegate()) d->showPreviewWhithObject(std::nullopt);
}

void DockIconView::itemChanged() {
    icon_ = QImage();
    iconPixels_ = 0;
    running_ = item_->isItemRunning();
    requestIcon();
    update();
}

void DockIconView::resizeEvent(QResizeEvent*) { requestIcon(); }

void DockIconView::requestIcon() {
    const int side = std::min(width(), height());
    const int pixels = int(side * 0.8 * devicePixelRatioF());
    if (pixels <= 0 || pixels == iconPixels_) return;
    iconPixels_ = pixels;
    running_ = item_->isItemRunning();
    QImage now = ItemIconCache::shared().iconForItem(item_->representedObjectPointer(), pixels, this,
                                                     [this, pixels](const QImage& image) {
                                                         if (pixels != iconPixels_) return;
                                                         icon_ = image;
                                                         update();
                                                     });
    if (!now.isNull()) icon_ = now;
}

void DockIconView::paintEvent(QPaintEvent*) {
    ++paints;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const int side = std::min(width(), height());
    const double iconSide = side * 0.8;
    QRectF target((width() - iconSide) / 2.0, (height() - iconSide) / 2.0 - side * 0.04, iconSide, iconSide);
    if (!icon_.isNull()) {
        QSizeF s = icon_.size().scaled(target.size().toSize(), Qt::KeepAspectRatio);
        QRectF r(target.center().x() - s.width() / 2.0, target.center().y() - s.height() / 2.0, s.width(),
                 s.height());
        p.drawImage(r, icon_);
    }
    if (running_) {
        p.setRenderHint(QPainter::Antialiasing);
        const double d = std::max(3.0, side * 0.08);
        p.setPen(Qt::NoPen);
        // Dark on the light material, light on every other background.
        auto theme = ThemeManager::sharedInstance()->currenThemeInfo();
        const bool light = theme && theme->themeType() == ThemeInfo::SystemLight;
        p.setBrush(light ? QColor(20, 20, 20) : QColor(250, 250, 250));
        p.drawEllipse(QRectF(width() / 2.0 - d / 2.0, height() - d - 1.0, d, d));
    }
}

}  // namespace qs
