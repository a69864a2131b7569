#pragma once
// The root class of model objects: class name, key-value coding and key-value observing.
//
// Key-value observing follows the platform's rules: a mutation is bracketed by
// willChangeValueForKey / didChangeValueForKey; an observer registered on a key path
// with several components ("mainConfig.cornerStyle", "model.panelContent.@count") is
// told when any object along the path changes the key it contributes, and the path
// is rewired to the new intermediate object. Everything runs on the main thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

namespace qs {

enum KeyValueObservingOptions : unsigned {
    KeyValueObservingOptionNew = 0x01,
    KeyValueObservingOptionOld = 0x02,
    KeyValueObservingOptionInitial = 0x04,  // one call at registration time
    KeyValueObservingOptionPrior = 0x08,    // an extra call before the change
};

struct KeyValueChange {
    Value newValue;  // set when KeyValueObservingOptionNew was asked for
    Value oldValue;  // set when KeyValueObservingOptionOld was asked for
    bool isPrior = false;
};

class Object;
struct KvoInfo;

// Something that observes key paths. Its destructor removes every registration it
// still has, so an observer that dies first never leaves a dangling pointer behind.
class KeyValueObserver {
public:
    KeyValueObserver() = default;
    KeyValueObserver(const KeyValueObserver&) = delete;
    KeyValueObserver& operator=(const KeyValueObserver&) = delete;
    virtual ~KeyValueObserver();

    virtual void observeValueForKeyPath(const std::string& keyPath, Object* object, const KeyValueChange& change,
                                        void* context) = 0;

private:
    friend class Object;
    friend struct KvoRegistry;
    std::vector<uint64_t> registrations_;
};

// RAII handle of a block observation (Object::observe); removing happens on destruction.
class KeyValueObservation {
public:
    KeyValueObservation() = default;
    KeyValueObservation(KeyValueObservation&&) noexcept;
    KeyValueObservation& operator=(KeyValueObservation&&) noexcept;
    ~KeyValueObservation();
    void invalidate();
    bool isValid() const { return static_cast<bool>(observer_); }

private:
    friend class Object;
    std::unique_ptr<KeyValueObserver> observer_;
    std::weak_ptr<Object> target_;
    Object* rawTarget_ = nullptr;
    std::string keyPath_;
};

class Object : public std::enable_shared_from_this<Object> {
public:
    Object();
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object();

    // The class-name literal the code compares ("FileSystemNode", "NSRunningApplication", ...).
    virtual std::string className() const { return "NSObject"; }
    // The class and its ancestors, most derived first, ending in "NSObject".
    virtual std::vector<std::string> classHierarchy() const;
    bool isKindOfClass(const std::string& name) const;

    virtual bool isEqual(const Object* other) const { return this == other; }
    virtual uint64_t hash() const;

    // Key-value coding. valueForKey answers nil for an unknown key.
    virtual Value valueForKey(const std::string& key) const;
    virtual void setValueForKey(const Value& value, const std::string& key);
    // Walks the components; "@count" counts the array (or dictionary) so far.
    Value valueForKeyPath(const std::string& keyPath) const;
    void setValueForKeyPath(const Value& value, const std::string& keyPath);

    // Key-value observing.
    void willChangeValueForKey(const std::string& key);
    void didChangeValueForKey(const std::string& key);
    void addObserver(KeyValueObserver* observer, const std::string& keyPath, unsigned options, void* context);
    void removeObserver(KeyValueObserver* observer, const std::string& keyPath, void* context);
    void removeObserver(KeyValueObserver* observer, const std::string& keyPath);
    // Number of observations hooked on this object: its own registrations and the links
    // of longer key paths that pass through it (for tests and leak checks).
    size_t observationCount() const;

    // Block form of addObserver; the observation ends when the handle is destroyed.
    KeyValueObservation observe(const std::string& keyPath, unsigned options,
                                std::function<void(const KeyValueChange&)> handler);

    virtual std::string description() const;

private:
    friend struct KvoRegistry;
    KvoInfo* kvo_ = nullptr;  // allocated on the first observation only
};

using ObjectPtr = std::shared_ptr<Object>;

// A 64-bit FNV-1a hash: stable across runs and builds (used for stored keys).
uint64_t stableHash(const std::string& text);

}  // namespace qs
