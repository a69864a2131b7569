#pragma once
// User defaults: one domain per file, an XML property list under
// $XDG_CONFIG_HOME/quayside/<domain>.plist (default ~/.config/quayside/).
//
// objectForKey answers the stored value, else the registered one, else nil. Typed
// reads follow the platform's absent rules (NO, 0, 0.0, ""). registerDefaults is held
// in memory only. synchronize writes atomically; changes also reach the file shortly
// after they are made (a coalesced write on the main run loop) and at quit.
//
// The file may be edited while the program runs: when it changed on disk (the folder is
// watched, and every write looks first), its values are taken in for every key not
// changed here since the last write, each change announced; a key changed here keeps
// the value it has here.
//
// Nothing the user stored is overwritten:
// - a file that cannot be parsed, is too large (more than PropertyList::kMaxFileBytes)
//   or is not a regular file (a folder, a FIFO, a device) is moved aside to
//   "<file>.unreadable-<time>" with a log line, and the domain starts empty;
// - a file that may not be read (permission denied, an I/O error) is no damage: it is
//   left where it is and never written over, and the domain starts empty.
// Temporary files that interrupted writes left in the folder are removed at the first
// load.
//
// A UserDefaults is an Object: every change is announced with will/didChangeValueForKey
// on the key, so key paths on it (and "values.KEY" on the defaults controller) can be
// observed with new and old values, whoever made the change.

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

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
    // Write every domain with unsaved changes (at quit).
    static void synchronizeAll();

    // How the defaults notice their files changing on disk: a watch of a folder that
    // calls back on the main run loop with the paths that changed in it (the folder
    // itself when anything may have). Releasing the handle ends the watch. The desktop
    // services install one; without it, edits are still taken in before each write.
    using ChangedPaths = std::function<void(const std::vector<std::string>& paths)>;
    using FolderWatcher = std::function<std::shared_ptr<void>(const std::string& folder, ChangedPaths changed)>;
    static void setFolderWatcher(FolderWatcher watcher);

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

    // Takes in the file's values if it changed on disk since it was last read or written
    // (see above). The folder watch calls it; so does every write, first.
    void takeInChangesOnDisk();

    // Stores an archive under the key. Empty data (the archiver could not write it)
    // leaves the stored value as it was, with a log line. Answers whether it was stored.
    bool setArchivedData(const Data& archive, const std::string& key);

    // Keeps the stored value of `key` aside as a file beside the domain's file,
    // "<domain>.<key>.unreadable-<time>" (data as its bytes, anything else as its
    // description). With removeKey (an unreadable value) the key is then removed, so the
    // value is kept once; when the copy cannot be written the key stays as it is.
    // Answers the file's path, "" when nothing was kept. `why` goes to the log line.
    std::string keepValueAside(const std::string& key, const std::string& why, bool removeKey = true);

private:
    // The identity and version of the file on disk, to tell whether it changed.
    struct FileStamp {
        bool exists = false;
        uint64_t device = 0, inode = 0, size = 0;
        int64_t modified = 0;  // nanoseconds
        bool operator==(const FileStamp&) const = default;
    };
    enum class FileState { Read, Missing, Protected, Unparsed, KeptAside };

    void load();
    void scheduleWrite();
    FileStamp stampOfFile() const;
    // Reads the file into `out`. An unparsable file is kept aside when keepAsideUnparsed
    // (at start and before a write; a change seen by the watch may be a write still
    // under way, and is only looked at again later).
    FileState readFile(Dictionary& out, bool keepAsideUnparsed);
    void mergeFromDisk(const Dictionary& disk);
    void mergeBeforeWrite();

    std::string domain_;
    Dictionary stored_;
    Dictionary registered_;
    // Keys changed here since the last write (what a merge leaves alone).
    std::set<std::string> changed_;
    FileStamp stamp_;
    bool writeScheduled_ = false;
    int writes_ = 0;
    // Set while the file cannot be read (permission denied) or could not be moved aside:
    // it is never written over.
    bool fileProtected_ = false;
    bool protectedLogged_ = false;
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
