#include "dock_ui/ItemIconCache.h"

#include <QObject>

#include "platform/foundation/Image.h"

namespace qs {

ItemIconCache& ItemIconCache::shared() {
    static ItemIconCache cache;
    return cache;
}

// For now the icon is read from the item and scaled on the calling thread, uncached.
QImage ItemIconCache::iconForItem(const ObjectPtr& item, int pixelSize, QObject*, Ready) {
    if (!item || pixelSize <= 0) return {};
    auto image = item->valueForKey("icon").objectAs<Image>();
    if (!image || !image->isValid()) return {};
    return image->qimage().scaled(pixelSize, pixelSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

void ItemIconCache::invalidate(const Object*) {}

}  // namespace qs
