#include "platform/foundation/UserDefaults.h"

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"

namespace qs {

namespace {

constexpr const char* kStandardDomain = "org.quayside.Quayside";
// A change reaches the file this long after it was made, unless synchronize comes first.
constexpr double kCoalescedWriteDelay = 1.0;

struct Registry {
    std::map<std::string, std::shared_ptr<UserDefaults>> domains;
};

Registry& registry() {
    static Registry r;
    return r;
}

std::string localTimestamp() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
    return buf;
}

// Moves an unreadable file out of the way, never over another kept file.
std::string keepAside(const std::string& path) {
    std::string base = path + UserDefaults::unreadableSuffix();
    std::string target = base;
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(target, ec); ++n) target = base + "-" + std::to_string(n);
    std::filesystem::rename(path, target, ec);
    return ec ? std::string() : target;
}

}  // namespace

std::string UserDefaults::unreadableSuffix() { return ".unreadable-" + localTimestamp(); }

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
    return defaults;
}

std::shared_ptr<UserDefaults> UserDefaults::standardUserDefaultsPtr() { return suiteNamed(kStandardDomain); }

UserDefaults& UserDefaults::standardUserDefaults() { return *standardUserDefaultsPtr(); }

void UserDefaults::synchronizeAll() {
    for (auto& [name, defaults] : registry().domains) defaults->synchronize();
}

void UserDefaults::resetForTesting() {
    auto& controller = UserDefaultsController::sharedUserDefaultsController();
    controller.willChangeValueForKey("values");
    synchronizeAll();
    registry().domains.clear();
    controller.didChangeValueForKey("values");
}

UserDefaults::UserDefaults(std::string domainName) : domain_(std::move(domainName)) { load(); }

UserDefaults::~UserDefaults() = default;

std::string UserDefaults::filePath() const { return configDirectory() + "/" + domain_ + ".plist"; }

void UserDefaults::load() {
    std::string path = filePath();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return;
    std::string error;
    auto value = PropertyList::readFile(path, &error);
    if (value && value->dictionary()) {
        stored_ = std::move(*value->dictionary());
        return;
    }
    if (error.empty()) error = "its root is not a dictionary";
    std::string kept = keepAside(path);
    fileProtected_ = kept.empty();
    log("the defaults file ", path, " cannot be read (", error, "); ",
        kept.empty() ? std::string("it could not be moved aside and will not be written over")
                     : "kept it as " + kept,
        "; starting with empty settings");
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

// Only what a property list can hold may be stored: an object, a nil or a string with a
// NUL anywhere inside would make every later write of the domain fail.
bool isPropertyListValue(const Value& value, int depth = 0) {
    if (depth > 256) return false;
    switch (value.type()) {
    case Value::Type::Nil:
    case Value::Type::Object:
        return false;
    case Value::Type::String:
        return value.string()->find('\0') == std::string::npos;
    case Value::Type::Array:
        for (const Value& element : *value.array())
            if (!isPropertyListValue(element, depth + 1)) return false;
        return true;
    case Value::Type::Dictionary:
        for (const auto& [k, element] : *value.dictionary())
            if (k.find('\0') != std::string::npos || !isPropertyListValue(element, depth + 1)) return false;
        return true;
    default:
        return true;
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
    dirty_ = true;
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
    if (!dirty_) return true;
    std::string path = filePath();
    if (fileProtected_) {
        log("the defaults of ", domain_, " are not written: ", path, " could not be read nor moved aside");
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(configDirectory(), ec);
    std::string error;
    auto bytes = PropertyList::serialize(Value(stored_), PropertyList::Format::XML, &error);
    if (!bytes || !PropertyList::writeFileAtomically(path, *bytes, &error)) {
        log("the defaults of ", domain_, " could not be written: ", error);
        return false;
    }
    dirty_ = false;
    ++writes_;
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
