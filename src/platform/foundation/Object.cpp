#include "platform/foundation/Object.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "platform/foundation/Log.h"

namespace qs {

namespace {

std::vector<std::string> splitKeyPath(const std::string& keyPath) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t dot = keyPath.find('.', start);
        parts.push_back(keyPath.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return parts;
}

}  // namespace

// ---------------------------------------------------------------------------------
// Key-value observing bookkeeping.
//
// A registration is "observer watches keyPath of root". Its key path is observed link
// by link: link i is hooked on the object reached after i keys and watches key i.
// When a link's key changes, the links after it are unhooked and hooked again on the
// new intermediate objects. Everything below is guarded by one recursive mutex, which
// is never held while observer callbacks or getters run.

struct KvoCaptured {
    uint64_t registration;
    size_t link;
    Value oldValue;
};

struct KvoPending {
    std::string key;
    int depth = 0;
    std::vector<KvoCaptured> captured;
};

struct KvoEntry {
    std::string key;
    uint64_t registration;
    size_t link;
};

struct KvoInfo {
    std::vector<KvoEntry> entries;
    std::vector<KvoPending> pending;
};

struct KvoRegistration {
    KeyValueObserver* observer = nullptr;
    Object* root = nullptr;
    std::string keyPath;
    std::vector<std::string> keys;  // the components observed (collection operators dropped)
    unsigned options = 0;
    void* context = nullptr;
    std::vector<Object*> links;  // links[i] watches keys[i]; null once the chain is broken
};

struct KvoRegistry {
    std::recursive_mutex mutex;
    std::unordered_map<uint64_t, KvoRegistration> registrations;
    uint64_t next = 1;

    // Never destroyed: objects that outlive static destruction still unregister safely.
    static KvoRegistry& shared() {
        static KvoRegistry* registry = new KvoRegistry;
        return *registry;
    }

    static KvoInfo*& infoOf(Object* object) { return object->kvo_; }
    static std::vector<uint64_t>& registrationsOf(KeyValueObserver* observer) { return observer->registrations_; }

    void hook(Object* object, const std::string& key, uint64_t id, size_t link) {
        KvoInfo*& info = infoOf(object);
        if (!info) info = new KvoInfo;
        info->entries.push_back({key, id, link});
    }

    void unhook(Object* object, uint64_t id, size_t link) {
        KvoInfo*& info = infoOf(object);
        if (!info) return;
        auto& e = info->entries;
        auto it = std::find_if(e.begin(), e.end(),
                               [&](const KvoEntry& x) { return x.registration == id && x.link == link; });
        if (it != e.end()) e.erase(it);
        releaseIfIdle(object);
    }

    void releaseIfIdle(Object* object) {
        KvoInfo*& info = infoOf(object);
        if (info && info->entries.empty() && info->pending.empty()) {
            delete info;
            info = nullptr;
        }
    }

    // Unhooks links[from...] of a registration and marks them broken.
    void unhookFrom(KvoRegistration& r, uint64_t id, size_t from) {
        for (size_t i = from; i < r.links.size(); ++i) {
            if (r.links[i]) unhook(r.links[i], id, i);
            r.links[i] = nullptr;
        }
    }

    void remove(uint64_t id) {
        auto it = registrations.find(id);
        if (it == registrations.end()) return;
        KvoRegistration& r = it->second;
        unhookFrom(r, id, 0);
        auto& mine = registrationsOf(r.observer);
        mine.erase(std::remove(mine.begin(), mine.end(), id), mine.end());
        registrations.erase(it);
    }

    // Walks the chain from `start` (already at link `from - 1`) and answers the objects
    // for links from..n-1. Runs getters, so it is called without the lock held. The
    // values are kept so that the objects stay alive until they are hooked.
    static std::vector<Value> resolveChain(Object* start, const std::vector<std::string>& keys, size_t from) {
        std::vector<Value> chain;
        Object* current = start;
        for (size_t i = from; i < keys.size() && current; ++i) {
            Value v = current->valueForKey(keys[i - 1]);
            current = v.object().get();
            if (!current) break;
            chain.push_back(std::move(v));
        }
        return chain;
    }

    void hookChain(KvoRegistration& r, uint64_t id, size_t from, const std::vector<Value>& chain) {
        for (size_t j = 0; j < chain.size() && from + j < r.links.size(); ++j) {
            Object* o = chain[j].object().get();
            r.links[from + j] = o;
            hook(o, r.keys[from + j], id, from + j);
        }
    }
};

KeyValueObserver::~KeyValueObserver() {
    auto& reg = KvoRegistry::shared();
    std::lock_guard lock(reg.mutex);
    std::vector<uint64_t> ids = registrations_;
    for (uint64_t id : ids) reg.remove(id);
}

// A block observation: the handler is shared so that the observation may be ended from
// inside its own handler.
namespace {
class BlockObserver final : public KeyValueObserver {
public:
    explicit BlockObserver(std::function<void(const KeyValueChange&)> handler)
        : handler_(std::make_shared<std::function<void(const KeyValueChange&)>>(std::move(handler))) {}
    void observeValueForKeyPath(const std::string&, Object*, const KeyValueChange& change, void*) override {
        auto handler = handler_;
        if (*handler) (*handler)(change);
    }

private:
    std::shared_ptr<std::function<void(const KeyValueChange&)>> handler_;
};
}  // namespace

KeyValueObservation::KeyValueObservation(KeyValueObservation&& other) noexcept
    : observer_(std::move(other.observer_)),
      target_(std::move(other.target_)),
      rawTarget_(std::exchange(other.rawTarget_, nullptr)),
      keyPath_(std::move(other.keyPath_)) {}

KeyValueObservation& KeyValueObservation::operator=(KeyValueObservation&& other) noexcept {
    if (this != &other) {
        invalidate();
        observer_ = std::move(other.observer_);
        target_ = std::move(other.target_);
        rawTarget_ = std::exchange(other.rawTarget_, nullptr);
        keyPath_ = std::move(other.keyPath_);
    }
    return *this;
}

KeyValueObservation::~KeyValueObservation() { invalidate(); }

void KeyValueObservation::invalidate() {
    // The observer's destructor removes its registration, wherever it still is.
    auto observer = std::move(observer_);
    observer.reset();
    target_.reset();
    rawTarget_ = nullptr;
    keyPath_.clear();
}

// ---------------------------------------------------------------------------------

Object::Object() = default;

Object::~Object() {
    if (!kvo_) return;
    auto& reg = KvoRegistry::shared();
    std::lock_guard lock(reg.mutex);
    std::vector<KvoEntry> entries = kvo_->entries;
    for (const KvoEntry& e : entries) {
        auto it = reg.registrations.find(e.registration);
        if (it == reg.registrations.end()) continue;
        if (e.link == 0)
            reg.remove(e.registration);  // this object was the observed one: the registration ends
        else
            reg.unhookFrom(it->second, e.registration, e.link);  // an intermediate died: the chain breaks here
    }
    // Captured old values may hold the last references of other objects, whose
    // destructors come back here: detach first.
    KvoInfo* info = std::exchange(kvo_, nullptr);
    delete info;
}

std::vector<std::string> Object::classHierarchy() const {
    std::string name = className();
    if (name == "NSObject") return {"NSObject"};
    return {name, "NSObject"};
}

bool Object::isKindOfClass(const std::string& name) const {
    auto h = classHierarchy();
    return std::find(h.begin(), h.end(), name) != h.end();
}

uint64_t Object::hash() const { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(this)); }

std::string Object::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return "<" + className() + ": " + address + ">";
}

Value Object::valueForKey(const std::string&) const { return Value(); }

void Object::setValueForKey(const Value&, const std::string& key) {
    log(className(), " has no settable key \"", key, "\"; the value is ignored");
}

Value Object::valueForKeyPath(const std::string& keyPath) const {
    if (keyPath.empty()) return Value();
    Value current;
    std::shared_ptr<Object> hold;  // keeps an intermediate alive while it is asked
    const Object* object = this;
    for (const std::string& component : splitKeyPath(keyPath)) {
        if (component == "@count") {
            current = (current.isArray() || current.isDictionary()) ? Value(static_cast<int64_t>(current.count()))
                                                                    : Value();
            hold.reset();
            object = nullptr;
            continue;
        }
        if (!object) return Value();
        current = object->valueForKey(component);
        hold = current.object();
        object = hold.get();
    }
    return current;
}

void Object::setValueForKeyPath(const Value& value, const std::string& keyPath) {
    auto parts = splitKeyPath(keyPath);
    if (keyPath.empty() || parts.back().empty() || parts.back()[0] == '@') {
        log("cannot set a value at key path \"", keyPath, "\"");
        return;
    }
    std::shared_ptr<Object> hold;
    Object* object = this;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i].empty() || parts[i][0] == '@') {
            log("cannot set a value at key path \"", keyPath, "\"");
            return;
        }
        hold = object->valueForKey(parts[i]).object();
        object = hold.get();
        if (!object) return;  // as a message to nil: nothing happens
    }
    object->setValueForKey(value, parts.back());
}

// ---------------------------------------------------------------------------------

namespace {
struct KvoTarget {
    uint64_t id;
    size_t link;
    KeyValueObserver* observer;
    Object* root;
    std::string keyPath;
    std::vector<std::string> keys;
    unsigned options;
    void* context;
};

// Copies what a callback needs out of a registration (which may vanish during it).
bool lookUp(KvoRegistry& reg, uint64_t id, KvoTarget& out) {
    auto it = reg.registrations.find(id);
    if (it == reg.registrations.end()) return false;
    const KvoRegistration& r = it->second;
    out.id = id;
    out.observer = r.observer;
    out.root = r.root;
    out.keyPath = r.keyPath;
    out.keys = r.keys;
    out.options = r.options;
    out.context = r.context;
    return true;
}
}  // namespace

void Object::willChangeValueForKey(const std::string& key) {
    if (!kvo_) return;
    auto& reg = KvoRegistry::shared();
    std::vector<KvoTarget> targets;
    {
        std::lock_guard lock(reg.mutex);
        if (!kvo_) return;
        for (KvoPending& p : kvo_->pending)
            if (p.key == key) {
                ++p.depth;  // nested: the outermost will has captured already
                return;
            }
        for (const KvoEntry& e : kvo_->entries) {
            if (e.key != key) continue;
            KvoTarget t;
            if (!lookUp(reg, e.registration, t)) continue;
            t.link = e.link;
            targets.push_back(std::move(t));
        }
        if (targets.empty()) return;
        KvoPending pending;
        pending.key = key;
        pending.depth = 1;
        for (const KvoTarget& t : targets) pending.captured.push_back({t.id, t.link, Value()});
        kvo_->pending.push_back(std::move(pending));
    }
    // Old values and prior calls run user code: never under the lock.
    std::vector<Value> olds(targets.size());
    for (size_t i = 0; i < targets.size(); ++i)
        if (targets[i].options & KeyValueObservingOptionOld) olds[i] = targets[i].root->valueForKeyPath(targets[i].keyPath);
    {
        std::lock_guard lock(reg.mutex);
        if (kvo_)
            for (KvoPending& p : kvo_->pending)
                if (p.key == key) {
                    for (size_t i = 0; i < olds.size() && i < p.captured.size(); ++i) p.captured[i].oldValue = olds[i];
                    break;
                }
    }
    for (size_t i = 0; i < targets.size(); ++i) {
        const KvoTarget& t = targets[i];
        if (!(t.options & KeyValueObservingOptionPrior)) continue;
        {
            std::lock_guard lock(reg.mutex);
            if (!reg.registrations.count(t.id)) continue;  // removed by an earlier call
        }
        KeyValueChange change;
        change.isPrior = true;
        if (t.options & KeyValueObservingOptionOld) change.oldValue = olds[i];
        t.observer->observeValueForKeyPath(t.keyPath, t.root, change, t.context);
    }
}

void Object::didChangeValueForKey(const std::string& key) {
    if (!kvo_) return;
    auto& reg = KvoRegistry::shared();
    std::vector<KvoCaptured> captured;
    Object* const self = this;
    {
        std::lock_guard lock(reg.mutex);
        if (!kvo_) return;
        auto& pend = kvo_->pending;
        auto it = std::find_if(pend.begin(), pend.end(), [&](const KvoPending& p) { return p.key == key; });
        if (it != pend.end()) {
            if (--it->depth > 0) return;
            captured = std::move(it->captured);
            pend.erase(it);
        } else {
            // A did without its will: tell the current observers, with no old value.
            for (const KvoEntry& e : kvo_->entries)
                if (e.key == key) captured.push_back({e.registration, e.link, Value()});
        }
        reg.releaseIfIdle(this);
    }
    // From here on any callback may destroy `this`: only the registry is consulted, and
    // a registration whose link no longer points here is skipped.
    for (KvoCaptured& c : captured) {
        KvoTarget t;
        {
            std::lock_guard lock(reg.mutex);
            if (!lookUp(reg, c.registration, t)) continue;
            KvoRegistration& r = reg.registrations[c.registration];
            if (c.link >= r.links.size() || r.links[c.link] != self) continue;
            if (c.link + 1 < r.links.size()) reg.unhookFrom(r, c.registration, c.link + 1);
        }
        if (c.link + 1 < t.keys.size()) {
            // An intermediate key changed: hook the rest of the path on the new objects.
            std::vector<Value> chain = KvoRegistry::resolveChain(self, t.keys, c.link + 1);
            std::lock_guard lock(reg.mutex);
            auto it = reg.registrations.find(c.registration);
            if (it == reg.registrations.end()) continue;
            KvoRegistration& r = it->second;
            if (r.links[c.link] != self) continue;
            reg.unhookFrom(r, c.registration, c.link + 1);  // a getter may have rewired meanwhile
            reg.hookChain(r, c.registration, c.link + 1, chain);
        }
        KeyValueChange change;
        if (t.options & KeyValueObservingOptionNew) change.newValue = t.root->valueForKeyPath(t.keyPath);
        if (t.options & KeyValueObservingOptionOld) change.oldValue = std::move(c.oldValue);
        t.observer->observeValueForKeyPath(t.keyPath, t.root, change, t.context);
    }
}

void Object::addObserver(KeyValueObserver* observer, const std::string& keyPath, unsigned options, void* context) {
    if (!observer) {
        log("addObserver: no observer given for key path \"", keyPath, "\" of ", className());
        return;
    }
    std::vector<std::string> keys;
    for (std::string& part : splitKeyPath(keyPath)) {
        if (!part.empty() && part[0] == '@') break;  // a collection operator ends what can be observed
        if (part.empty()) {
            keys.clear();
            break;
        }
        keys.push_back(std::move(part));
    }
    if (keys.empty()) {
        log("addObserver: key path \"", keyPath, "\" of ", className(), " cannot be observed");
        return;
    }
    std::vector<Value> chain = KvoRegistry::resolveChain(this, keys, 1);
    auto& reg = KvoRegistry::shared();
    {
        std::lock_guard lock(reg.mutex);
        uint64_t id = reg.next++;
        KvoRegistration& r = reg.registrations[id];
        r.observer = observer;
        r.root = this;
        r.keyPath = keyPath;
        r.keys = keys;
        r.options = options;
        r.context = context;
        r.links.assign(keys.size(), nullptr);
        r.links[0] = this;
        reg.hook(this, keys[0], id, 0);
        reg.hookChain(r, id, 1, chain);
        KvoRegistry::registrationsOf(observer).push_back(id);
    }
    if (options & KeyValueObservingOptionInitial) {
        KeyValueChange change;
        if (options & KeyValueObservingOptionNew) change.newValue = valueForKeyPath(keyPath);
        observer->observeValueForKeyPath(keyPath, this, change, context);
    }
}

namespace {
// Removes the most recent registration of `observer` on `root` for `keyPath` (and
// `context`, when asked); answers whether there was one.
bool removeOne(Object* root, KvoInfo* info, KeyValueObserver* observer, const std::string& keyPath,
               const void* const* context) {
    if (!info) return false;
    auto& reg = KvoRegistry::shared();
    for (auto e = info->entries.rbegin(); e != info->entries.rend(); ++e) {
        if (e->link != 0) continue;
        auto it = reg.registrations.find(e->registration);
        if (it == reg.registrations.end()) continue;
        const KvoRegistration& r = it->second;
        if (r.root != root || r.observer != observer || r.keyPath != keyPath) continue;
        if (context && r.context != *context) continue;
        reg.remove(e->registration);
        return true;
    }
    return false;
}
}  // namespace

void Object::removeObserver(KeyValueObserver* observer, const std::string& keyPath, void* context) {
    auto& reg = KvoRegistry::shared();
    std::lock_guard lock(reg.mutex);
    const void* c = context;
    if (!removeOne(this, kvo_, observer, keyPath, &c))
        log("removeObserver: no observer registered for key path \"", keyPath, "\" of ", className());
}

void Object::removeObserver(KeyValueObserver* observer, const std::string& keyPath) {
    auto& reg = KvoRegistry::shared();
    std::lock_guard lock(reg.mutex);
    if (!removeOne(this, kvo_, observer, keyPath, nullptr))
        log("removeObserver: no observer registered for key path \"", keyPath, "\" of ", className());
}

size_t Object::observationCount() const {
    auto& reg = KvoRegistry::shared();
    std::lock_guard lock(reg.mutex);
    return kvo_ ? kvo_->entries.size() : 0;
}

KeyValueObservation Object::observe(const std::string& keyPath, unsigned options,
                                    std::function<void(const KeyValueChange&)> handler) {
    KeyValueObservation observation;
    observation.observer_ = std::make_unique<BlockObserver>(std::move(handler));
    observation.target_ = weak_from_this();
    observation.rawTarget_ = this;
    observation.keyPath_ = keyPath;
    addObserver(observation.observer_.get(), keyPath, options, nullptr);
    return observation;
}

uint64_t stableHash(const std::string& text) {
    uint64_t h = 14695981039346656037ull;
    for (unsigned char byte : text) {
        h ^= byte;
        h *= 1099511628211ull;
    }
    return h;
}

}  // namespace qs
