#include "dock_ui/ItemIconCache.h"

#include <QObject>
#include <QPointer>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <climits>
#include <deque>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "core/FileSystemNode.h"
#include "core/ItemImages.h"
#include "core/RunningApplicationPersistent.h"
#include "platform/desktop/IconSources.h"
#include "platform/desktop/Workspace.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"

namespace qs {

namespace {

constexpr size_t kDefaultByteLimit = size_t(16) << 20;
// Icon jobs in flight at once: enough to load a dock's icons quickly (themes keep large
// pictures, 512 pixels a side, that take milliseconds to decode), few enough to leave
// the pool to other work and to bound the pixels being decoded at once.
int maxWorkers() {
    static const int workers = std::clamp(QThread::idealThreadCount() / 2, 1, 4);
    return workers;
}

struct Key {
    const Object* item;
    int size;
    bool operator<(const Key& o) const { return std::tie(item, size) < std::tie(o.item, o.size); }
    bool operator==(const Key& o) const { return item == o.item && size == o.size; }
};

// What one job loads: the pixels of a shareable source at a size (`item` null), or one
// item's own icon at a size (`share` empty).
struct LoadKey {
    std::string share;
    const Object* item = nullptr;
    int size = 0;
    bool shared() const { return !share.empty(); }
    bool operator<(const LoadKey& o) const { return std::tie(share, item, size) < std::tie(o.share, o.item, o.size); }
    bool operator==(const LoadKey& o) const { return share == o.share && item == o.item && size == o.size; }
};

// One load: made on the main thread, run on a worker, handed back on the main thread.
struct Job {
    LoadKey key;
    ImagePtr image;           // the icon
    std::string filePath;     // a file item's file: its generic icon is chosen by the worker
    ImagePtr fallback;        // otherwise the generic icon of the item's kind
    std::string what;         // the item, for log lines
    std::atomic<bool> stale{false};
    QImage result;            // written by the worker before it posts the job back
};

struct WorkQueue {
    std::mutex mutex;
    std::deque<std::shared_ptr<Job>> jobs;
    int workers = 0;
};

QImage fit(const QImage& image, int side) {
    const QSize target = image.size().scaled(side, side, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    QImage out = target == image.size() ? image : image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// On a worker: the icon at the job's size, else the generic one of its kind.
void run(Job& job) {
    const int side = job.key.size;
    std::vector<std::string> problems;
    QImage pixels;
    if (job.image) {
        // Archived data names no file: say whose it is.
        auto source = job.image->source();
        const bool archived = source && source->pngData();
        pixels = job.image->pixelsForSize(side, &problems);
        if (archived)
            for (auto& line : problems) line = "the icon of " + job.what + ": " + line;
        if (pixels.isNull() && problems.empty()) problems.push_back("the icon of " + job.what + " has no pixels");
    }
    if (pixels.isNull()) {
        if (!job.filePath.empty())
            pixels = desktop::genericIconSourceForFile(job.filePath)->load(side, problems);
        else if (job.fallback)
            pixels = job.fallback->pixelsForSize(side, &problems);
    }
    for (const auto& line : problems) logOnce(line);
    job.result = pixels.isNull() ? QImage() : fit(pixels, side);
}

}  // namespace

struct ItemIconCache::State : std::enable_shared_from_this<ItemIconCache::State> {
    struct Waiter {
        QPointer<QObject> context;
        bool hasContext = false;
        Ready ready;
    };
    // An item waiting for a load, with the generation of its icon it asked for.
    struct Pending {
        LoadKey load;
        uint64_t generation = 0;
        std::vector<Waiter> waiters;
    };
    // A job and the items it answers.
    struct Load {
        std::shared_ptr<Job> job;
        std::vector<Key> keys;
    };
    struct Entry {
        QImage image;
        std::list<Key>::iterator lru;
        std::string share;  // the shared image it holds, if any
    };
    // Pixels held by one entry or more (counted once in `bytes`).
    struct Shared {
        QImage image;
        size_t users = 0;
    };
    struct Item {
        std::weak_ptr<Object> owner;
        uint64_t generation = 0;
        KeyValueObservation observation;
        bool priorSeen = false;
    };

    // Items looked at for being gone at each load: enough to keep the table near the
    // items in use, few enough that a dock of thousands of items starts in linear time.
    static constexpr int kSweepPerLoad = 4;

    std::map<const Object*, Item> items;
    std::map<Key, Entry> entries;
    std::map<std::pair<std::string, int>, Shared> sharedImages;
    std::map<Key, Pending> pending;
    std::map<LoadKey, Load> loads;
    std::list<Key> lru;  // most recently used first
    const Object* sweepCursor = nullptr;
    size_t bytes = 0;
    size_t limit = kDefaultByteLimit;
    size_t jobs = 0;
    std::shared_ptr<WorkQueue> queue = std::make_shared<WorkQueue>();

    ~State() {
        // Jobs not started yet are not worth starting.
        std::lock_guard lock(queue->mutex);
        for (auto& job : queue->jobs) job->stale = true;
    }

    static auto firstOf(const std::map<Key, Entry>& m, const Object* item) { return m.lower_bound(Key{item, INT_MIN}); }

    // The item's record, made (and its "icon" observed) on first use. An address that
    // now belongs to another object starts afresh.
    Item& track(const ObjectPtr& item) {
        const Object* raw = item.get();
        if (auto it = items.find(raw); it != items.end()) {
            if (it->second.owner.lock() == item) return it->second;
            forget(raw);
        }
        Item& record = items[raw];
        record.owner = item;
        std::weak_ptr<State> weak = weak_from_this();
        record.observation = item->observe("icon", KeyValueObservingOptionPrior, [weak, raw](const KeyValueChange& change) {
            if (auto self = weak.lock()) self->iconChanged(raw, change.isPrior);
        });
        return record;
    }

    void iconChanged(const Object* raw, bool prior) {
        auto it = items.find(raw);
        if (it == items.end()) return;
        // Dropped before the change is made, so that nothing asked for in between is
        // answered from the cache; the call after the change then has nothing to do.
        if (prior) {
            it->second.priorSeen = true;
            invalidate(raw);
        } else if (it->second.priorSeen) {
            it->second.priorSeen = false;
        } else {
            invalidate(raw);
        }
    }

    void invalidate(const Object* raw) {
        auto it = items.find(raw);
        if (it == items.end()) return;
        ++it->second.generation;
        dropEntries(raw);
        // Running jobs finish, but their results are stale for this item: its waiters get
        // the new icon. A job of the item's own is not worth running any more.
        for (auto p = pending.lower_bound(Key{raw, INT_MIN}); p != pending.end() && p->first.item == raw; ++p)
            if (auto l = loads.find(p->second.load); l != loads.end() && !p->second.load.shared())
                l->second.job->stale = true;
    }

    void removeEntry(std::map<Key, Entry>::iterator e) {
        if (e->second.share.empty()) {
            bytes -= size_t(e->second.image.sizeInBytes());
        } else if (auto s = sharedImages.find({e->second.share, e->first.size}); s != sharedImages.end()) {
            if (--s->second.users == 0) {
                bytes -= size_t(s->second.image.sizeInBytes());
                sharedImages.erase(s);
            }
        }
        lru.erase(e->second.lru);
        entries.erase(e);
    }

    void dropEntries(const Object* raw) {
        for (auto e = entries.lower_bound(Key{raw, INT_MIN}); e != entries.end() && e->first.item == raw;) removeEntry(e++);
    }

    // Takes a waiting item off its load; a load nobody waits for any more is dropped
    // (its job, when it has not run yet, is skipped).
    void detach(std::map<Key, Pending>::iterator p) {
        if (auto l = loads.find(p->second.load); l != loads.end()) {
            std::erase(l->second.keys, p->first);
            if (l->second.keys.empty()) {
                l->second.job->stale = true;
                loads.erase(l);
            }
        }
        pending.erase(p);
    }

    // Everything about an item whose address is free again (or must be).
    void forget(const Object* raw) {
        dropEntries(raw);
        for (auto p = pending.lower_bound(Key{raw, INT_MIN}); p != pending.end() && p->first.item == raw;) detach(p++);
        items.erase(raw);
    }

    // Looks at the next few items (round the table): items that are gone are forgotten,
    // items with nothing cached or loading are let go (their observation ends). `keep`
    // is the item being asked for.
    void sweep(const Object* keep) {
        for (int n = 0; n < kSweepPerLoad && !items.empty(); ++n) {
            auto it = items.upper_bound(sweepCursor);
            if (it == items.end()) it = items.begin();
            const Object* raw = it->first;
            sweepCursor = raw;
            if (raw == keep) continue;
            if (it->second.owner.expired()) {
                forget(raw);
                continue;
            }
            const auto e = firstOf(entries, raw);
            const bool cached = e != entries.end() && e->first.item == raw;
            auto p = pending.lower_bound(Key{raw, INT_MIN});
            const bool loading = p != pending.end() && p->first.item == raw;
            if (!cached && !loading) items.erase(it);
        }
    }

    void touch(Entry& entry) { lru.splice(lru.begin(), lru, entry.lru); }

    // Caches the image for the key; a shared image is held once however many entries
    // hold it.
    void store(const Key& key, const QImage& image, const std::string& share = {}) {
        if (auto old = entries.find(key); old != entries.end()) removeEntry(old);
        QImage held = image;
        if (share.empty()) {
            bytes += size_t(image.sizeInBytes());
        } else {
            Shared& s = sharedImages[{share, key.size}];
            if (s.users++ == 0) {
                s.image = image;
                bytes += size_t(image.sizeInBytes());
            }
            held = s.image;
        }
        lru.push_front(key);
        Entry& entry = entries[key];
        entry.image = held;
        entry.lru = lru.begin();
        entry.share = share;
        evict(key);
    }

    void evict(const Key& keep) {
        while (bytes > limit && !lru.empty()) {
            Key oldest = lru.back();
            if (oldest == keep) break;
            removeEntry(entries.find(oldest));
        }
    }

    static std::string whatOf(const Object& item) {
        if (auto node = dynamic_cast<const FileSystemNode*>(&item)) return node->path();
        if (auto app = dynamic_cast<const RunningApplication*>(&item)) return "the application \"" + app->localizedName() + "\"";
        return "the " + item.className();
    }

    // What an image's pixels can be shared under: the key of the source of a deferred
    // image whose every load ends in pixels (the drawn pictures end each generic icon's
    // chain), so that the file's own generic icon is never needed instead.
    static std::string shareOf(const ImagePtr& image) {
        if (!image || !image->isDeferred()) return {};
        auto source = image->source();
        return source ? source->shareKey() : std::string();
    }

    // Answers the key: from a shared image already loaded (returned at once, and given to
    // the `earlier` waiters), else by joining a load under way or by a new job, for the
    // earlier waiters and `current`. An item without any icon is remembered as such (a
    // null entry) and its waiters are not called.
    QImage start(const Key& key, const ObjectPtr& item, uint64_t generation, std::vector<Waiter> earlier,
                 std::optional<Waiter> current = std::nullopt) {
        sweep(key.item);
        ImagePtr image = ItemIconCache::iconOfItem(*item);
        LoadKey load;
        load.size = key.size;
        load.share = shareOf(image);
        if (load.shared()) {
            if (auto s = sharedImages.find({load.share, key.size}); s != sharedImages.end()) {
                const QImage pixels = s->second.image;
                store(key, pixels, load.share);
                for (auto& waiter : earlier)
                    if (!waiter.hasContext || waiter.context) waiter.ready(pixels);
                return pixels;
            }
        } else {
            load.item = key.item;
        }
        std::vector<Waiter> waiters = std::move(earlier);
        if (current) waiters.push_back(std::move(*current));
        if (auto l = loads.find(load); l != loads.end()) {
            l->second.keys.push_back(key);
            pending[key] = Pending{load, generation, std::move(waiters)};
            return {};
        }
        auto job = std::make_shared<Job>();
        job->key = load;
        job->image = image;
        const std::string kind = item->className();
        if (kind == "FileSystemNode") {
            if (auto node = std::dynamic_pointer_cast<FileSystemNode>(item)) job->filePath = node->path();
            if (job->filePath.empty()) job->fallback = genericIcon(GenericIcon::Missing);
        } else if (kind == "NSRunningApplication") {
            job->fallback = genericIcon(GenericIcon::Application);
        } else if (kind == "GroupModel") {
            job->fallback = imageNamed("Group");
        } else if (kind == "TrashModel") {
            job->fallback = imageNamed("Recycle_Bin");
        } else if (kind == "MenuModel") {
            job->fallback = imageNamed("Spaceship");
        }
        if (!job->image && !job->fallback && job->filePath.empty()) {
            store(key, QImage());
            return {};
        }
        job->what = whatOf(*item);
        loads[load] = Load{job, {key}};
        pending[key] = Pending{load, generation, std::move(waiters)};
        ++jobs;
        submit(job);
        return {};
    }

    void submit(const std::shared_ptr<Job>& job) {
        {
            std::lock_guard lock(queue->mutex);
            queue->jobs.push_back(job);
            if (queue->workers >= maxWorkers()) return;
            ++queue->workers;
        }
        std::weak_ptr<State> weak = weak_from_this();
        RunLoop::main().dispatchBackground([q = queue, weak] {
            for (;;) {
                std::shared_ptr<Job> next;
                {
                    std::lock_guard lock(q->mutex);
                    if (q->jobs.empty()) {
                        --q->workers;
                        return;
                    }
                    next = std::move(q->jobs.front());
                    q->jobs.pop_front();
                }
                if (!next->stale) run(*next);
                RunLoop::main().post([weak, next] {
                    if (auto self = weak.lock()) self->deliver(next);
                });
            }
        });
    }

    void deliver(const std::shared_ptr<Job>& job) {
        auto l = loads.find(job->key);
        if (l == loads.end() || l->second.job != job) return;  // replaced or forgotten
        const std::vector<Key> keys = std::move(l->second.keys);
        loads.erase(l);
        const std::string share = job->result.isNull() ? std::string() : job->key.share;
        for (const Key& key : keys) {
            auto p = pending.find(key);
            if (p == pending.end() || !(p->second.load == job->key)) continue;  // asked again since
            Pending done = std::move(p->second);
            pending.erase(p);
            auto record = items.find(key.item);
            if (record == items.end()) continue;
            ObjectPtr owner = record->second.owner.lock();
            if (!owner) {
                forget(key.item);
                continue;
            }
            std::erase_if(done.waiters, [](const Waiter& w) { return w.hasContext && !w.context; });
            if (done.generation != record->second.generation) {
                // The icon changed while the job ran: load it again for those still waiting.
                if (!done.waiters.empty()) start(key, owner, record->second.generation, std::move(done.waiters));
                continue;
            }
            store(key, job->result, share);
            for (auto& waiter : done.waiters)
                if (!waiter.hasContext || waiter.context) waiter.ready(job->result);
        }
    }

    QImage request(const ObjectPtr& item, int pixelSize, QObject* context, Ready ready) {
        if (!item || pixelSize <= 0) return {};
        const Key key{item.get(), std::min(pixelSize, ItemIconCache::kMaxPixelSize)};
        Item& record = track(item);
        if (auto e = entries.find(key); e != entries.end()) {
            touch(e->second);
            return e->second.image;
        }
        std::optional<Waiter> current;
        if (ready) current = Waiter{context, context != nullptr, std::move(ready)};
        std::vector<Waiter> earlier;
        if (auto p = pending.find(key); p != pending.end()) {
            if (p->second.generation == record.generation) {
                if (current) p->second.waiters.push_back(std::move(*current));
                return {};
            }
            // A stale load: a fresh one for its waiters and this one.
            earlier = std::move(p->second.waiters);
            detach(p);
        }
        return start(key, item, record.generation, std::move(earlier), std::move(current));
    }
};

ItemIconCache& ItemIconCache::shared() {
    // Never destroyed: cells may ask during the program's exit.
    static ItemIconCache* cache = new ItemIconCache;
    return *cache;
}

ItemIconCache::ItemIconCache() : state_(std::make_shared<State>()) {}

ItemIconCache::~ItemIconCache() = default;

QImage ItemIconCache::iconForItem(const ObjectPtr& item, int pixelSize, QObject* context, Ready ready) {
    return state_->request(item, pixelSize, context, std::move(ready));
}

void ItemIconCache::invalidate(const Object* item) { state_->invalidate(item); }

ImagePtr ItemIconCache::iconOfItem(const Object& item) {
    if (auto app = dynamic_cast<const RunningApplication*>(&item)) return Persistent::icon(*app);
    return item.valueForKey("icon").objectAs<Image>();
}

void ItemIconCache::setByteLimit(size_t bytes) {
    state_->limit = bytes;
    if (!state_->lru.empty()) state_->evict(state_->lru.front());
}

size_t ItemIconCache::byteLimit() const { return state_->limit; }
size_t ItemIconCache::byteCount() const { return state_->bytes; }
size_t ItemIconCache::entryCount() const { return state_->entries.size(); }
size_t ItemIconCache::pendingCount() const { return state_->pending.size(); }
size_t ItemIconCache::jobCount() const { return state_->jobs; }

}  // namespace qs
