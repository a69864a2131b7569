#include "platform/foundation/UserDefaults.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "platform/foundation/FileRead.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"

namespace qs {

namespace {

namespace fs = std::filesystem;

constexpr const char* kStandardDomain = "org.quayside.Quayside";
// A change reaches the file this long after it was made, unless synchronize comes first.
constexpr double kCoalescedWriteDelay = 1.0;
// The largest defaults file read (PropertyList::kMaxFileBytes, 128 MiB); a larger one is
// kept aside as unreadable.
constexpr size_t kMaxDomainFileBytes = PropertyList::kMaxFileBytes;

struct Registry {
    std::map<std::string, std::shared_ptr<UserDefaults>> domains;
    UserDefaults::FolderWatcher watcher;
    std::shared_ptr<void> watch;
    std::string watchedFolder;
    std::set<std::string> cleanedFolders;
};

Registry& registry() {
    static Registry r;
    return r;
}

void filesChanged(const std::string& folder, const std::vector<std::string>& paths) {
    // Copied: taking in a change announces it, and an observer may open another domain.
    std::vector<std::shared_ptr<UserDefaults>> domains;
    for (auto& [name, d] : registry().domains) domains.push_back(d);
    for (auto& d : domains) {
        const std::string file = d->filePath();
        for (const auto& p : paths) {
            if (p == file || p == folder) {
                d->takeInChangesOnDisk();
                break;
            }
        }
    }
}

// Watches the defaults folder when a watcher is installed and the folder exists (it is
// looked at again after each write, which makes it).
void ensureWatch() {
    auto& r = registry();
    if (!r.watcher) return;
    const std::string folder = UserDefaults::configDirectory();
    if (r.watch && r.watchedFolder == folder) return;
    r.watch.reset();
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return;
    r.watchedFolder = folder;
    r.watch = r.watcher(folder, [folder](const std::vector<std::string>& paths) { filesChanged(folder, paths); });
}

// Temporary files of writes that were interrupted, removed once per folder and run.
void removeLeftovers(const std::string& folder) {
    if (!registry().cleanedFolders.insert(folder).second) return;
    if (size_t n = PropertyList::removeStaleTemporaryFiles(folder))
        log("removed ", n, " temporary file(s) that interrupted writes of the settings left in ", folder);
}

}  // namespace

std::string UserDefaults::configDirectory() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : "/tmp") + "/.config";
    }
    return base + "/quayside";
}

std::shared_ptr<UserDefaults> UserDefaults::suiteNamed(const std::string& suiteName) {
    auto& domains = registry().domains;
    auto it = domains.find(suiteName);
    if (it != domains.end()) return it->second;
    auto defaults = std::make_shared<UserDefaults>(suiteName);
    domains[suiteName] = defaults;
    ensureWatch();
    return defaults;
}

std::shared_ptr<UserDefaults> UserDefaults::standardUserDefaultsPtr() { return suiteNamed(kStandardDomain); }

UserDefaults& UserDefaults::standardUserDefaults() { return *standardUserDefaultsPtr(); }

void UserDefaults::synchronizeAll() {
    for (auto& [name, defaults] : registry().domains) defaults->synchronize();
}

void UserDefaults::setFolderWatcher(FolderWatcher watcher) {
    auto& r = registry();
    r.watch.reset();
    r.watcher = std::move(watcher);
    ensureWatch();
}

void UserDefaults::resetForTesting() {
    auto& controller = UserDefaultsController::sharedUserDefaultsController();
    controller.willChangeValueForKey("values");
    synchronizeAll();
    auto& r = registry();
    r.domains.clear();
    r.watch.reset();
    r.cleanedFolders.clear();
    controller.didChangeValueForKey("values");
}

UserDefaults::UserDefaults(std::string domainName) : domain_(std::move(domainName)) { load(); }

UserDefaults::~UserDefaults() = default;

std::string UserDefaults::filePath() const { return configDirectory() + "/" + domain_ + ".plist"; }

UserDefaults::FileStamp UserDefaults::stampOfFile() const {
    struct stat st {};
    if (::stat(filePath().c_str(), &st) != 0) return {};
    return FileStamp{true, uint64_t(st.st_dev), uint64_t(st.st_ino), uint64_t(st.st_size),
                     int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

UserDefaults::FileState UserDefaults::readFile(Dictionary& out, bool keepAsideUnparsed) {
    const std::string path = filePath();
    FileStamp stamp = stampOfFile();
    std::string error;
    FileRead::Status status = FileRead::Status::Failed;
    auto value = PropertyList::readFile(path, &error, kMaxDomainFileBytes, &status);
    if (status == FileRead::Status::Missing) {
        stamp_ = {};
        fileProtected_ = false;
        return FileState::Missing;
    }
    if (status == FileRead::Status::AccessDenied || status == FileRead::Status::Failed) {
        stamp_ = stamp;
        if (!fileProtected_) {
            log("the defaults file ", path, " cannot be read (", error, "). That is not damage: it is left where it is ",
                "and will not be written over; the settings of ", domain_, " start from their defaults");
            protectedLogged_ = false;
        }
        fileProtected_ = true;
        return FileState::Protected;
    }
    if (value && value->dictionary()) {
        out = std::move(*value->dictionary());
        stamp_ = stamp;
        fileProtected_ = false;
        return FileState::Read;
    }
    if (value) error = "its root is not a dictionary";
    if (!keepAsideUnparsed) {
        logOnce("the defaults file " + path + " changed and cannot be read (" + error +
                "); the settings in use are kept");
        return FileState::Unparsed;
    }
    std::string why;
    std::string kept = FileRead::keepAside(path, &why);
    stamp_ = stampOfFile();
    if (kept.empty() && fileProtected_) return FileState::Protected;  // said before
    fileProtected_ = kept.empty();
    protectedLogged_ = false;
    log("the defaults file ", path, " cannot be read (", error, "); ",
        kept.empty() ? "it could not be moved aside (" + why + ") and will not be written over"
                     : "kept it as " + kept,
        "; the settings of ", domain_, " start from their defaults");
    return kept.empty() ? FileState::Protected : FileState::KeptAside;
}

void UserDefaults::load() {
    const std::string folder = configDirectory();
    removeLeftovers(folder);
    Dictionary read;
    if (readFile(read, true) == FileState::Read) stored_ = std::move(read);
}

void UserDefaults::mergeFromDisk(const Dictionary& disk) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : stored_)
        if (!changed_.count(key) && !disk.count(key)) keys.push_back(key);
    for (const auto& [key, value] : disk) {
        if (changed_.count(key)) continue;
        auto here = stored_.find(key);
        if (here == stored_.end() || here->second != value) keys.push_back(key);
    }
    for (const auto& key : keys) {
        willChangeValueForKey(key);
        auto there = disk.find(key);
        if (there == disk.end())
            stored_.erase(key);
        else
            stored_[key] = there->second;
        didChangeValueForKey(key);
    }
}

void UserDefaults::takeInChangesOnDisk() {
    FileStamp now = stampOfFile();
    // Unchanged (a file that could not be read is looked at again: its permissions may
    // have been mended), or gone: a file removed while it is edited comes back, and the
    // settings in use are kept meanwhile.
    if ((now == stamp_ && !fileProtected_) || !now.exists) return;
    Dictionary disk;
    if (readFile(disk, false) == FileState::Read) mergeFromDisk(disk);
}

void UserDefaults::mergeBeforeWrite() {
    FileStamp now = stampOfFile();
    if (now == stamp_ && !fileProtected_) return;
    if (!now.exists) {
        stamp_ = now;
        return;
    }
    Dictionary disk;
    if (readFile(disk, true) == FileState::Read) mergeFromDisk(disk);
}

bool UserDefaults::setArchivedData(const Data& archive, const std::string& key) {
    if (archive.empty()) {
        log("\"", key, "\" of ", domain_, " could not be archived; the value stored before is kept");
        return false;
    }
    setObject(Value(archive), key);
    return true;
}

std::string UserDefaults::keepValueAside(const std::string& key, const std::string& why, bool removeKey) {
    Value stored = objectForKey(key);
    if (stored.isNil()) return {};
    Data bytes;
    if (const Data* d = stored.data()) {
        bytes = *d;
    } else {
        std::string text = stored.description();
        bytes.assign(text.begin(), text.end());
    }
    const std::string folder = configDirectory();
    std::string base = folder + "/" + domain_ + "." + key + FileRead::unreadableSuffix();
    std::string file = base;
    std::error_code ec;
    for (int n = 2; fs::exists(fs::symlink_status(file, ec)); ++n) file = base + "-" + std::to_string(n);
    fs::create_directories(folder, ec);
    std::string error;
    if (!PropertyList::writeFileAtomically(file, bytes, &error)) {
        log("the stored \"", key, "\" of ", domain_, " (", bytes.size(), " bytes) cannot be read (", why,
            ") and could not be copied aside (", error, "); it stays under its key until it is replaced");
        return {};
    }
    if (!removeKey) return file;
    removeObjectForKey(key);
    synchronize();
    log("the stored \"", key, "\" of ", domain_, " (", bytes.size(), " bytes) cannot be read (", why,
        "); it is kept as ", file, " and a fresh one is used");
    return file;
}

Value UserDefaults::objectForKey(const std::string& key) const {
    auto it = stored_.find(key);
    if (it != stored_.end()) return it->second;
    auto reg = registered_.find(key);
    if (reg != registered_.end()) return reg->second;
    return {};
}

bool UserDefaults::boolForKey(const std::string& key) const { return objectForKey(key).boolValue(); }
int64_t UserDefaults::integerForKey(const std::string& key) const { return objectForKey(key).integerValue(); }
double UserDefaults::doubleForKey(const std::string& key) const { return objectForKey(key).doubleValue(); }
std::string UserDefaults::stringForKey(const std::string& key) const { return objectForKey(key).stringValue(); }

Data UserDefaults::dataForKey(const std::string& key) const {
    Value v = objectForKey(key);
    return v.data() ? *v.data() : Data{};
}

bool UserDefaults::hasDataForKey(const std::string& key) const { return objectForKey(key).isData(); }

namespace {

// Only what a property list can hold may be stored: an object, a nil, a string with a
// NUL anywhere inside or a date out of range would make every later write of the domain
// fail.
bool isPropertyListValue(const Value& value, int depth = 0) {
    if (depth > 256) return false;
    switch (value.type()) {
    case Value::Type::Array:
        for (const Value& element : *value.array())
            if (!isPropertyListValue(element, depth + 1)) return false;
        return true;
    case Value::Type::Dictionary:
        for (const auto& [k, element] : *value.dictionary())
            if (k.find('\0') != std::string::npos || !isPropertyListValue(element, depth + 1)) return false;
        return true;
    default:
        return PropertyList::isStorableScalar(value);
    }
}

}  // namespace

void UserDefaults::setObject(const Value& value, const std::string& key) {
    if (!value.isNil() && !isPropertyListValue(value)) {
        log("-[NSUserDefaults setObject:forKey:] ", value.description(), " is not a property-list value; \"", key,
            "\" was not stored");
        return;
    }
    willChangeValueForKey(key);
    if (value.isNil())
        stored_.erase(key);
    else
        stored_[key] = value;
    changed_.insert(key);
    didChangeValueForKey(key);
    scheduleWrite();
}

void UserDefaults::registerDefaults(const Dictionary& registrationDictionary) {
    for (const auto& [key, value] : registrationDictionary) registered_[key] = value;
}

void UserDefaults::scheduleWrite() {
    if (writeScheduled_) return;
    writeScheduled_ = true;
    std::weak_ptr<Object> weak = weak_from_this();
    RunLoop::main().after(kCoalescedWriteDelay, [weak] {
        auto self = std::static_pointer_cast<UserDefaults>(weak.lock());
        if (!self) return;
        self->writeScheduled_ = false;
        self->synchronize();
    });
}

bool UserDefaults::synchronize() {
    if (changed_.empty()) return true;
    std::string path = filePath();
    // What was edited on disk since the last read or write is taken in first.
    mergeBeforeWrite();
    if (fileProtected_) {
        if (!protectedLogged_)
            log("the defaults of ", domain_, " are not written: ", path,
                " cannot be read and is not written over; the changes last until the program quits");
        protectedLogged_ = true;
        return false;
    }
    std::error_code ec;
    fs::create_directories(configDirectory(), ec);
    std::string error;
    auto bytes = PropertyList::serialize(Value(stored_), PropertyList::Format::XML, &error);
    if (!bytes || !PropertyList::writeFileAtomically(path, *bytes, &error)) {
        log("the defaults of ", domain_, " could not be written: ", error);
        return false;
    }
    stamp_ = stampOfFile();
    changed_.clear();
    ++writes_;
    ensureWatch();
    return true;
}

Dictionary UserDefaults::persistentDomain() const { return stored_; }

Value UserDefaults::valueForKey(const std::string& key) const { return objectForKey(key); }

void UserDefaults::setValueForKey(const Value& value, const std::string& key) { setObject(value, key); }

UserDefaultsController& UserDefaultsController::sharedUserDefaultsController() {
    static std::shared_ptr<UserDefaultsController> controller = std::make_shared<UserDefaultsController>();
    return *controller;
}

Value UserDefaultsController::valueForKey(const std::string& key) const {
    if (key == "values") return Value(UserDefaults::standardUserDefaultsPtr());
    return Object::valueForKey(key);
}

void UserDefaultsController::setValueForKey(const Value& value, const std::string& key) {
    if (key == "values") return;  // the values proxy itself is not replaceable
    Object::setValueForKey(value, key);
}

}  // namespace qs
