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

// One load: made on the main thread, run on a worker, handed back on the main thread.
struct Job {
    Key key{};
    uint64_t generation = 0;
    ImagePtr image;           // the item's icon
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
    struct Pending {
        std::shared_ptr<Job> job;
        std::vector<Waiter> waiters;
    };
    struct Entry {
        QImage image;
        std::list<Key>::iterator lru;
    };
    struct Item {
        std::weak_ptr<Object> owner;
        uint64_t generation = 0;
        KeyValueObservation observation;
        bool priorSeen = false;
    };

    std::map<const Object*, Item> items;
    std::map<Key, Entry> entries;
    std::map<Key, Pending> pending;
    std::list<Key> lru;  // most recently used first
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
        // Running jobs finish, but their results are stale; their waiters get the new icon.
        for (auto p = pending.lower_bound(Key{raw, INT_MIN}); p != pending.end() && p->first.item == raw; ++p)
            p->second.job->stale = true;
    }

    void dropEntries(const Object* raw) {
        for (auto e = firstOf(entries, raw); e != entries.end() && e->first.item == raw;) {
            bytes -= size_t(e->second.image.sizeInBytes());
            lru.erase(e->second.lru);
            e = entries.erase(e);
        }
    }

    // Everything about an item whose address is free again (or must be).
    void forget(const Object* raw) {
        dropEntries(raw);
        for (auto p = pending.lower_bound(Key{raw, INT_MIN}); p != pending.end() && p->first.item == raw;) {
            p->second.job->stale = true;
            p = pending.erase(p);
        }
        items.erase(raw);
    }

    // Items that are gone, and items with nothing cached or loading (their observation
    // ends); `keep` is the item being asked for.
    void sweep(const Object* keep) {
        for (auto it = items.begin(); it != items.end();) {
            const Object* raw = it->first;
            ++it;
            if (raw == keep) continue;
            auto record = items.find(raw);
            if (record->second.owner.expired()) {
                forget(raw);
                continue;
            }
            const bool cached = firstOf(entries, raw) != entries.end() && firstOf(entries, raw)->first.item == raw;
            auto p = pending.lower_bound(Key{raw, INT_MIN});
            const bool loading = p != pending.end() && p->first.item == raw;
            if (!cached && !loading) items.erase(record);
        }
    }

    void touch(Entry& entry) { lru.splice(lru.begin(), lru, entry.lru); }

    void store(const Key& key, QImage image) {
        lru.push_front(key);
        Entry& entry = entries[key];
        entry.image = std::move(image);
        entry.lru = lru.begin();
        bytes += size_t(entry.image.sizeInBytes());
        evict(key);
    }

    void evict(const Key& keep) {
        while (bytes > limit && !lru.empty()) {
            Key oldest = lru.back();
            if (oldest == keep) break;
            auto e = entries.find(oldest);
            bytes -= size_t(e->second.image.sizeInBytes());
            lru.pop_back();
            entries.erase(e);
        }
    }

    static std::string whatOf(const Object& item) {
        if (auto node = dynamic_cast<const FileSystemNode*>(&item)) return node->path();
        if (auto app = dynamic_cast<const RunningApplication*>(&item)) return "the application \"" + app->localizedName() + "\"";
        return "the " + item.className();
    }

    // Starts the job of a key for the waiters; an item without any icon is remembered
    // as such (a null entry) and its waiters are not called.
    void start(const Key& key, const ObjectPtr& item, std::vector<Waiter> waiters) {
        sweep(key.item);
        auto record = items.find(key.item);
        if (record == items.end()) return;
        auto job = std::make_shared<Job>();
        job->key = key;
        job->generation = record->second.generation;
        job->image = ItemIconCache::iconOfItem(*item);
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
            return;
        }
        job->what = whatOf(*item);
        pending[key] = Pending{job, std::move(waiters)};
        ++jobs;
        submit(job);
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
        auto p = pending.find(job->key);
        if (p == pending.end() || p->second.job != job) return;  // replaced or forgotten
        Pending done = std::move(p->second);
        pending.erase(p);
        auto record = items.find(job->key.item);
        if (record == items.end()) return;
        ObjectPtr owner = record->second.owner.lock();
        if (!owner) {
            forget(job->key.item);
            return;
        }
        std::erase_if(done.waiters, [](const Waiter& w) { return w.hasContext && !w.context; });
        if (job->generation != record->second.generation) {
            // The icon changed while the job ran: load it again for those still waiting.
            if (!done.waiters.empty()) start(job->key, owner, std::move(done.waiters));
            return;
        }
        store(job->key, job->result);
        const QImage image = job->result;
        for (auto& waiter : done.waiters)
            if (!waiter.hasContext || waiter.context) waiter.ready(image);
    }

    QImage request(const ObjectPtr& item, int pixelSize, QObject* context, Ready ready) {
        if (!item || pixelSize <= 0) return {};
        const Key key{item.get(), std::min(pixelSize, ItemIconCache::kMaxPixelSize)};
        Item& record = track(item);
        if (auto e = entries.find(key); e != entries.end()) {
            touch(e->second);
            return e->second.image;
        }
        std::vector<Waiter> waiters;
        if (ready) waiters.push_back(Waiter{context, context != nullptr, std::move(ready)});
        if (auto p = pending.find(key); p != pending.end()) {
            if (p->second.job->generation == record.generation) {
                for (auto& w : waiters) p->second.waiters.push_back(std::move(w));
                return {};
            }
            // A stale job: a fresh one for its waiters and this one.
            auto earlier = std::move(p->second.waiters);
            pending.erase(p);
            for (auto& w : waiters) earlier.push_back(std::move(w));
            waiters = std::move(earlier);
        }
        start(key, item, std::move(waiters));
        return {};
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
