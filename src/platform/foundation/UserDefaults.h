#pragma once
// User defaults: one domain per file, an XML property list under
// $XDG_CONFIG_HOME/quayside/<domain>.plist (default ~/.config/quayside/).
//
// objectForKey answers the stored value, else the registered one, else nil. Typed
// reads follow the platform's absent rules (NO, 0, 0.0, ""). registerDefaults is held
// in memory only. synchronize writes atomically; changes also reach the file shortly
// after they are made (a coalesced write on the main run loop) and at quit.
// A file that cannot be parsed is moved aside to "<file>.unreadable-<time>" with a log
// line, and the domain starts empty: nothing the user stored is overwritten.
//
// A UserDefaults is an Object: every change is announced with will/didChangeValueForKey
// on the key, so key paths on it (and "values.KEY" on the defaults controller) can be
// observed with new and old values, whoever made the change.

#include <memory>
#include <string>

#include "platform/foundation/Object.h"
#include "platform/foundation/RunLoop.h"

namespace qs {

class UserDefaults : public Object {
public:
    // The program's own domain ("org.quayside.Quayside").
    static UserDefaults& standardUserDefaults();
    static std::shared_ptr<UserDefaults> standardUserDefaultsPtr();
    // A named suite, e.g. "com.apple.dock". The same object for the same name.
    static std::shared_ptr<UserDefaults> suiteNamed(const std::string& suiteName);
    // $XDG_CONFIG_HOME/quayside (or ~/.config/quayside).
    static std::string configDirectory();
    // Forget every loaded domain (tests point XDG_CONFIG_HOME elsewhere, then call this).
    // Pending writes are flushed first.
    static void resetForTesting();
    // ".unreadable-<YYYYmmdd-HHMMSS>": what is appended to the name of a file or key whose
    // contents cannot be read when they are kept aside.
    static std::string unreadableSuffix();
    // Write every domain with unsaved changes (at quit).
    static void synchronizeAll();

    explicit UserDefaults(std::string domainName);
    ~UserDefaults() override;

    std::string className() const override { return "NSUserDefaults"; }
    const std::string& domainName() const { return domain_; }
    std::string filePath() const;

    Value objectForKey(const std::string& key) const;
    bool boolForKey(const std::string& key) const;
    int64_t integerForKey(const std::string& key) const;
    double doubleForKey(const std::string& key) const;
    float floatForKey(const std::string& key) const { return float(doubleForKey(key)); }
    std::string stringForKey(const std::string& key) const;
    Data dataForKey(const std::string& key) const;  // empty when absent or not data
    bool hasDataForKey(const std::string& key) const;

    // Setting nil removes the key.
    void setObject(const Value& value, const std::string& key);
    void setBool(bool value, const std::string& key) { setObject(Value(value), key); }
    void setInteger(int64_t value, const std::string& key) { setObject(Value(value), key); }
    void setDouble(double value, const std::string& key) { setObject(Value(value), key); }
    void setFloat(float value, const std::string& key) { setObject(Value(double(value)), key); }
    void removeObjectForKey(const std::string& key) { setObject(Value(), key); }

    void registerDefaults(const Dictionary& registrationDictionary);
    // Writes the domain file now (if anything changed since the last write).
    // Answers NO when the file could not be written.
    bool synchronize();

    // What is stored (registered values excluded).
    Dictionary persistentDomain() const;
    // Key-value coding: valueForKey is objectForKey, setValueForKey is setObject.
    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;

    // Number of completed writes of the file (for tests).
    int writeCount() const { return writes_; }

private:
    void load();
    void scheduleWrite();

    std::string domain_;
    Dictionary stored_;
    Dictionary registered_;
    bool dirty_ = false;
    bool writeScheduled_ = false;
    int writes_ = 0;
    // Set when an unreadable file could not be moved aside: it is never written over.
    bool fileProtected_ = false;
};

// The shared defaults controller: "values" is the standard user defaults, so key paths
// such as "values.displayIndex" are observable and settable through it.
class UserDefaultsController : public Object {
public:
    static UserDefaultsController& sharedUserDefaultsController();
    std::string className() const override { return "NSUserDefaultsController"; }
    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;
};

}  // namespace qs
