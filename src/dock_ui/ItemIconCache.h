#pragma once
// The icons of dock items at the sizes the cells draw them, cached per item and size.
//
// A cell asks for its item's icon at a pixel size. When the icon is cached it is
// answered at once; otherwise the answer is a null image and `ready` is called later on
// the main thread with the icon, once it has been found, decoded and scaled. `ready` is
// never called after `context` is destroyed. When an item's icon changes ("icon" of the
// item), invalidate drops what is cached for it, and the next request loads it again.

#include <functional>

#include <QImage>

#include "platform/foundation/Object.h"

class QObject;

namespace qs {

class ItemIconCache {
public:
    using Ready = std::function<void(const QImage&)>;

    static ItemIconCache& shared();

    QImage iconForItem(const ObjectPtr& item, int pixelSize, QObject* context, Ready ready);
    void invalidate(const Object* item);
};

}  // namespace qs
