#pragma once
// The icons of dock items at the sizes the cells draw them, cached per item and size.
//
// A cell asks for its item's icon at a pixel size. When the icon is cached it is
// answered at once; otherwise the answer is a null image and `ready` is called later on
// the main thread with the icon, once it has been found, decoded and scaled. `ready` is
// never called after `context` is destroyed. When an item's icon changes ("icon" of the
// item), invalidate drops what is cached for it, and the next request loads it again.
//
// In detail:
// - Main thread only (the workers never touch the cache's tables or the items).
// - The icon is what the model answers for the item's "icon" (a running application's
//   as the dock shows it: its custom icon, else its bundle's), decoded and scaled on a
//   worker thread to fit pixelSize x pixelSize (aspect kept; the image is not padded to a
//   square), premultiplied ARGB32.
// - One job per (item, size): requests arriving while it runs join it, and each gets
//   `ready` once. Items whose icon comes from one shareable source (the theme's icon of
//   a type, a generic icon: every folder, every text document) share one job per size
//   and hold one image: a dock of thousands of folders decodes the folder icon once.
// - The cache observes "icon" of every item it holds (before the change is made), so a
//   changed icon is never answered from the cache; a job running across the change is
//   stale: its result is dropped and the icon loaded again for the requests that waited.
//   Cells need not call invalidate; doing so is harmless. A cell that shows the new icon
//   at once still observes "icon" itself and asks again.
// - An icon that cannot be read (corrupt, too large, a link loop, a name the icon theme
//   lacks) gives the generic icon of the item's kind (application; folder; document by
//   its MIME type; the dock's own pictures for the trash, the groups and the start
//   menu), with one log line per broken source for the whole run.
// - An item without an icon and without a generic one (a separator) answers null and
//   `ready` is never called.
// - Bounded: entries of items that are gone are dropped over the next loads (each load
//   looks at a few of the items held, so that many loads cost linear time), and the
//   least recently used entries go when the cached pixels (a shared image once) pass
//   byteLimit().

#include <cstddef>
#include <functional>
#include <memory>

#include <QImage>

#include "platform/foundation/Image.h"
#include "platform/foundation/Object.h"

class QObject;

namespace qs {

class ItemIconCache {
public:
    using Ready = std::function<void(const QImage&)>;

    static ItemIconCache& shared();

    QImage iconForItem(const ObjectPtr& item, int pixelSize, QObject* context, Ready ready);
    void invalidate(const Object* item);

    ItemIconCache();
    ~ItemIconCache();
    ItemIconCache(const ItemIconCache&) = delete;
    ItemIconCache& operator=(const ItemIconCache&) = delete;

    // The image the cache draws for an item; nullptr when the item has none.
    static ImagePtr iconOfItem(const Object& item);

    // The bound of the cached pixels, in bytes (16 MiB unless set).
    void setByteLimit(size_t bytes);
    size_t byteLimit() const;
    size_t byteCount() const;
    size_t entryCount() const;
    // Jobs started but not yet handed back, and every job started so far.
    size_t pendingCount() const;
    size_t jobCount() const;

    // Pixel sizes asked for are clamped to this.
    static constexpr int kMaxPixelSize = 1024;

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace qs
