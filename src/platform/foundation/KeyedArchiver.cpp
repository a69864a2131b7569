#include "platform/foundation/KeyedArchiver.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <unordered_map>

#include "platform/foundation/Image.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/URL.h"

namespace qs {

namespace {

constexpr double kEpochOffset = 978307200.0;  // seconds from 1970-01-01 to 2001-01-01
constexpr size_t kMaxInputBytes = size_t(64) << 20;
// Upper bound on the values one archive may expand to, counting every reference
// (a value reached twice through shared references counts twice, so a table of
// arrays that each name the next one twice cannot blow up exponentially).
constexpr size_t kMaxDecodedValues = 1000000;
constexpr int kMaxDepth = 256;

std::mutex& factoriesMutex() {
    static std::mutex m;
    return m;
}
std::map<std::string, KeyedUnarchiver::Factory>& factories() {
    static std::map<std::string, KeyedUnarchiver::Factory> f;
    return f;
}

int64_t clampToInt64(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
    if (d <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return int64_t(d);  // truncates toward zero
}

int32_t clampToInt32(int64_t i) {
    if (i > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (i < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return int32_t(i);
}

// ---------------------------------------------------------------- archiving

class Archiver {
public:
    Archiver() { objects_.push_back(Value("$null")); }

    UID encode(const Value& v, int depth);
    std::optional<Data> finish(UID root);

private:
    UID append(Value v) {
        objects_.push_back(std::move(v));
        return UID{objects_.size() - 1};
    }
    UID string(const std::string& text) {
        auto it = strings_.find(text);
        if (it != strings_.end()) return it->second;
        UID uid = append(Value(PropertyList::storableString(text)));
        strings_.emplace(text, uid);
        return uid;
    }
    UID classUID(const std::string& name, const std::vector<std::string>& hierarchy);
    void warnOnce(const std::string& message) {
        if (warned_.insert(message).second) log("keyed archive: ", message);
    }

    Array objects_;
    std::map<std::string, UID> classes_;
    std::map<std::string, UID> strings_;
    // Objects already written, by identity. They are retained until the archive is
    // done so that a temporary made during encoding cannot free its address for
    // another object, which would then be taken for the same one.
    std::unordered_map<const Object*, UID> identities_;
    std::vector<ObjectPtr> retained_;
    std::set<std::string> warned_;
};

class EncodingCoder : public Coder {
public:
    EncodingCoder(Archiver& archiver, Dictionary& fields, int depth) : a_(archiver), d_(fields), depth_(depth) {}

    void encodeObject(const Value& object, const std::string& key) override {
        d_[key] = Value(a_.encode(object, depth_ + 1));
    }
    void encodeBool(bool value, const std::string& key) override { d_[key] = Value(value); }
    void encodeInt(int32_t value, const std::string& key) override { d_[key] = Value(int64_t(value)); }
    void encodeInteger(int64_t value, const std::string& key) override { d_[key] = Value(value); }
    void encodeFloat(float value, const std::string& key) override { d_[key] = Value(double(value)); }
    void encodeDouble(double value, const std::string& key) override { d_[key] = Value(value); }

    // An encoding coder has nothing to read back.
    Value decodeObjectForKey(const std::string&) override { return {}; }
    bool decodeBoolForKey(const std::string&) override { return false; }
    int32_t decodeIntForKey(const std::string&) override { return 0; }
    int64_t decodeIntegerForKey(const std::string&) override { return 0; }
    float decodeFloatForKey(const std::string&) override { return 0.f; }
    double decodeDoubleForKey(const std::string&) override { return 0.0; }
    bool containsValueForKey(const std::string& key) override { return d_.count(key) > 0; }

private:
    Archiver& a_;
    Dictionary& d_;
    int depth_;
};

UID Archiver::classUID(const std::string& name, const std::vector<std::string>& hierarchy) {
    auto it = classes_.find(name);
    if (it != classes_.end()) return it->second;
    Array names;
    for (const auto& n : hierarchy) names.push_back(Value(n));
    if (names.empty() || names.front() != Value(name)) names.insert(names.begin(), Value(name));
    if (names.back() != Value("NSObject")) names.push_back(Value("NSObject"));
    UID uid = append(Value(Dictionary{{"$classname", Value(name)}, {"$classes", Value(std::move(names))}}));
    classes_.emplace(name, uid);
    return uid;
}

UID Archiver::encode(const Value& v, int depth) {
    if (depth > kMaxDepth) {
        warnOnce("values nested more than 256 levels deep are stored as nil");
        return UID{0};
    }
    switch (v.type()) {
        case Value::Type::Nil:
            return UID{0};
        case Value::Type::UID:
            warnOnce("a bare UID cannot be archived; stored as nil");
            return UID{0};
        case Value::Type::String:
            return string(*v.string());
        case Value::Type::Bool:
        case Value::Type::Integer:
        case Value::Type::Real:
        case Value::Type::Data:
            return append(v);
        case Value::Type::Date: {
            UID slot = append(Value());
            UID cls = classUID("NSDate", {"NSDate", "NSObject"});
            objects_[slot.value] = Value(Dictionary{
                {"NS.time", Value(v.date()->timeIntervalSince1970 - kEpochOffset)}, {"$class", Value(cls)}});
            return slot;
        }
        case Value::Type::Array: {
            UID slot = append(Value());
            Array uids;
            uids.reserve(v.array()->size());
            for (const Value& e : *v.array()) uids.push_back(Value(encode(e, depth + 1)));
            UID cls = classUID("NSArray", {"NSArray", "NSObject"});
            objects_[slot.value] = Value(Dictionary{{"NS.objects", Value(std::move(uids))}, {"$class", Value(cls)}});
            return slot;
        }
        case Value::Type::Dictionary: {
            UID slot = append(Value());
            Array keys, values;
            for (const auto& [k, e] : *v.dictionary()) {
                keys.push_back(Value(string(k)));
                values.push_back(Value(encode(e, depth + 1)));
            }
            UID cls = classUID("NSDictionary", {"NSDictionary", "NSObject"});
            objects_[slot.value] = Value(Dictionary{
                {"NS.keys", Value(std::move(keys))}, {"NS.objects", Value(std::move(values))}, {"$class", Value(cls)}});
            return slot;
        }
        case Value::Type::Object: {
            ObjectPtr object = v.object();
            if (!object) return UID{0};
            auto known = identities_.find(object.get());
            if (known != identities_.end()) return known->second;
            auto* coding = dynamic_cast<const Coding*>(object.get());
            if (!coding) {
                warnOnce("an object of class " + object->className() + " cannot be archived; stored as nil");
                return UID{0};
            }
            // The slot is known before the object's keys are written, so a reference
            // back to the object from inside its own keys gets its UID.
            UID slot = append(Value());
            identities_.emplace(object.get(), slot);
            retained_.push_back(object);
            Dictionary fields;
            EncodingCoder coder(*this, fields, depth);
            coding->encodeWithCoder(coder);
            fields["$class"] = Value(classUID(object->className(), object->classHierarchy()));
            objects_[slot.value] = Value(std::move(fields));
            return slot;
        }
    }
    return UID{0};
}

std::optional<Data> Archiver::finish(UID root) {
    Dictionary top{{"$archiver", Value("NSKeyedArchiver")},
                   {"$version", Value(100000)},
                   {"$top", Value(Dictionary{{"root", Value(root)}})},
                   {"$objects", Value(std::move(objects_))}};
    std::string error;
    auto bytes = PropertyList::serialize(Value(std::move(top)), PropertyList::Format::Binary, &error);
    if (!bytes) log("keyed archive: cannot write the property list: ", error);
    return bytes;
}

// -------------------------------------------------------------- unarchiving

// Raised inside the unarchiver for input that cannot be a valid archive; caught at the top.
struct Malformed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Unarchiver {
public:
    explicit Unarchiver(const Array& objects) : objects_(objects) {}

    // A reference (UID) read from an object's keys or a collection's list.
    Value decodeReference(const Value& reference, int depth);
    Value decodeUID(uint64_t uid, int depth);
    // A key's value that may be stored inline or as a reference.
    Value inlineOrReference(const Dictionary& entry, const char* key, int depth);

    [[noreturn]] void fail(const std::string& why) {
        if (failure_.empty()) failure_ = why;
        throw Malformed(why);
    }
    const std::string& failure() const { return failure_; }
    void note(const std::string& message) {
        if (noted_.insert(message).second) notes_.push_back(message);
    }
    const std::vector<std::string>& notes() const { return notes_; }

private:
    struct Decoded {
        Value value;
        size_t weight = 1;  // what a further reference to it adds to the budget
    };

    void charge(size_t n) {
        spent_ += n;
        if (spent_ > kMaxDecodedValues) fail("more than 1000000 values");
    }
    Value decodeEntry(const Value& entry, int depth);
    Value decodeObject(const Dictionary& entry, int depth);
    const std::string& classNameOf(const Dictionary& entry);
    Array decodeList(const Dictionary& entry, const char* key, int depth);

    const Array& objects_;
    std::unordered_map<uint64_t, Decoded> decoded_;
    std::set<uint64_t> inProgress_;
    size_t spent_ = 0;
    std::string failure_;
    std::set<std::string> noted_;
    std::vector<std::string> notes_;
};

class DecodingCoder : public Coder {
public:
    DecodingCoder(Unarchiver& u, const Dictionary& fields, int depth) : u_(u), d_(fields), depth_(depth) {}

    // A decoding coder writes nothing.
    void encodeObject(const Value&, const std::string&) override {}
    void encodeBool(bool, const std::string&) override {}
    void encodeInt(int32_t, const std::string&) override {}
    void encodeInteger(int64_t, const std::string&) override {}
    void encodeFloat(float, const std::string&) override {}
    void encodeDouble(double, const std::string&) override {}

    Value decodeObjectForKey(const std::string& key) override {
        const Value* v = find(key);
        if (!v) return {};
        if (v->isUID()) return u_.decodeReference(*v, depth_ + 1);
        // A number written with encodeInt: and friends reads back as that number.
        if (v->isNumber() || v->isString() || v->isData() || v->isDate()) return *v;
        return {};
    }
    bool decodeBoolForKey(const std::string& key) override {
        Value v = scalar(key);
        if (v.isBool()) return v.boolValue();
        if (v.isInteger()) return v.integerValue() != 0;
        if (v.isReal()) return v.doubleValue() != 0.0;
        return false;
    }
    int32_t decodeIntForKey(const std::string& key) override { return clampToInt32(decodeIntegerForKey(key)); }
    int64_t decodeIntegerForKey(const std::string& key) override {
        Value v = scalar(key);
        if (v.isBool()) return v.boolValue() ? 1 : 0;
        if (v.isInteger()) return v.integerValue();
        if (v.isReal()) return clampToInt64(v.doubleValue());
        return 0;
    }
    float decodeFloatForKey(const std::string& key) override { return float(decodeDoubleForKey(key)); }
    double decodeDoubleForKey(const std::string& key) override {
        Value v = scalar(key);
        return v.isNumber() ? v.doubleValue() : 0.0;
    }
    bool containsValueForKey(const std::string& key) override { return find(key) != nullptr; }
    void noteLeftOut(const std::string& what) override { u_.note(what); }

private:
    const Value* find(const std::string& key) const {
        if (key.empty() || key[0] == '$') return nullptr;  // "$class" is the archive's, not the object's
        auto it = d_.find(key);
        return it == d_.end() ? nullptr : &it->second;
    }
    // A scalar key; one written through encodeObject (a reference to a number) reads too.
    Value scalar(const std::string& key) {
        const Value* v = find(key);
        if (!v) return {};
        if (v->isUID()) return u_.decodeReference(*v, depth_ + 1);
        return *v;
    }

    Unarchiver& u_;
    const Dictionary& d_;
    int depth_;
};

Value Unarchiver::decodeReference(const Value& reference, int depth) {
    const UID* uid = reference.uid();
    if (!uid) fail("a reference that is not a UID");
    return decodeUID(uid->value, depth);
}

Value Unarchiver::decodeUID(uint64_t uid, int depth) {
    if (depth > kMaxDepth) fail("objects nested more than 256 levels deep");
    if (uid >= objects_.size()) fail("UID " + std::to_string(uid) + " is beyond the object table");
    if (uid == 0) return {};
    auto cached = decoded_.find(uid);
    if (cached != decoded_.end()) {
        charge(cached->second.weight);
        return cached->second.value;
    }
    if (inProgress_.count(uid)) {
        // A reference back to an object still being decoded: the reference is nil,
        // the rest of the archive decodes.
        note("a cyclic reference (UID " + std::to_string(uid) + ") decoded as nil");
        return {};
    }
    charge(1);
    size_t before = spent_;
    inProgress_.insert(uid);
    Value result = decodeEntry(objects_[uid], depth);
    inProgress_.erase(uid);
    // Objects are shared by pointer, so a second reference costs one; plain values
    // are copied and cost what they hold.
    size_t weight = result.isObject() ? 1 : 1 + (spent_ - before);
    decoded_[uid] = Decoded{result, weight};
    return result;
}

Value Unarchiver::decodeEntry(const Value& entry, int depth) {
    switch (entry.type()) {
        case Value::Type::Bool:
        case Value::Type::Integer:
        case Value::Type::Real:
        case Value::Type::String:
        case Value::Type::Data:
        case Value::Type::Date:
            return entry;
        case Value::Type::Dictionary:
            return decodeObject(*entry.dictionary(), depth);
        default:
            fail("an object table entry of an unexpected type");
    }
}

Value Unarchiver::inlineOrReference(const Dictionary& entry, const char* key, int depth) {
    auto it = entry.find(key);
    if (it == entry.end()) return {};
    if (it->second.isUID()) return decodeReference(it->second, depth + 1);
    return it->second;
}

const std::string& Unarchiver::classNameOf(const Dictionary& entry) {
    auto it = entry.find("$class");
    if (it == entry.end()) fail("an object without \"$class\"");
    if (!it->second.isUID()) fail("\"$class\" is not a UID");
    uint64_t c = it->second.uid()->value;
    if (c >= objects_.size()) fail("\"$class\" UID " + std::to_string(c) + " is beyond the object table");
    const Dictionary* cls = objects_[c].dictionary();
    auto name = cls ? cls->find("$classname") : Dictionary::const_iterator();
    if (!cls || name == cls->end() || !name->second.isString())
        fail("\"$class\" UID " + std::to_string(c) + " is not a class entry");
    return *name->second.string();
}

Array Unarchiver::decodeList(const Dictionary& entry, const char* key, int depth) {
    auto it = entry.find(key);
    if (it == entry.end()) return {};  // an empty collection may leave its list out
    const Array* items = it->second.array();
    if (!items) fail(std::string("\"") + key + "\" is not a list");
    Array out;
    out.reserve(std::min(items->size(), kMaxDecodedValues));
    for (const Value& item : *items) out.push_back(decodeReference(item, depth + 1));
    return out;
}

Value Unarchiver::decodeObject(const Dictionary& entry, int depth) {
    const std::string& cls = classNameOf(entry);
    if (cls == "NSArray" || cls == "NSMutableArray" || cls == "NSSet" || cls == "NSMutableSet") {
        return Value(decodeList(entry, "NS.objects", depth));
    }
    if (cls == "NSDictionary" || cls == "NSMutableDictionary") {
        Array keys = decodeList(entry, "NS.keys", depth);
        Array values = decodeList(entry, "NS.objects", depth);
        if (keys.size() != values.size()) fail("a dictionary whose key and value lists differ in length");
        Dictionary out;
        for (size_t i = 0; i < keys.size(); ++i) {
            if (!keys[i].isString()) {
                note("a dictionary entry whose key is not a string was skipped");
                continue;
            }
            out[*keys[i].string()] = std::move(values[i]);
        }
        return Value(std::move(out));
    }
    if (cls == "NSDate") {
        Value t = inlineOrReference(entry, "NS.time", depth);
        if (!t.isReal() && !t.isInteger()) fail("a date without a number in \"NS.time\"");
        return Value(Date{t.doubleValue() + kEpochOffset});
    }
    if (cls == "NSString" || cls == "NSMutableString") {
        Value s = inlineOrReference(entry, "NS.string", depth);
        if (!s.isString()) fail("a string object without a string in \"NS.string\"");
        return s;
    }
    if (cls == "NSData" || cls == "NSMutableData") {
        Value d = inlineOrReference(entry, "NS.data", depth);
        if (!d.isData()) fail("a data object without data in \"NS.data\"");
        return d;
    }
    if (cls == "NSURL") {
        Value relative = inlineOrReference(entry, "NS.relative", depth);
        Value base = inlineOrReference(entry, "NS.base", depth);
        if (!relative.isString()) {
            note("a URL without its string decoded as nil");
            return {};
        }
        URLPtr url;
        if (auto baseURL = base.objectAs<URL>())
            url = URL::URLWithStringRelativeToURL(*relative.string(), *baseURL);
        else
            url = URL::URLWithString(*relative.string());
        if (!url) note("a URL that cannot be read (\"" + relative.string()->substr(0, 200) + "\") decoded as nil");
        return url ? Value(url) : Value();
    }
    if (cls == "NSImage") {
        Value png = inlineOrReference(entry, "NSPNGData", depth);
        auto image = png.data() ? Image::imageWithPNGDataDeferred(*png.data()) : nullptr;
        if (!image) note("an image whose PNG data cannot be read decoded as nil");
        return image ? Value(image) : Value();
    }

    KeyedUnarchiver::Factory factory;
    {
        std::lock_guard<std::mutex> lock(factoriesMutex());
        auto it = factories().find(cls);
        if (it != factories().end()) factory = it->second;
    }
    if (!factory) {
        note("an object of unknown class " + cls + " decoded as nil");
        return {};
    }
    DecodingCoder coder(*this, entry, depth);
    ObjectPtr object;
    try {
        object = factory(coder);
    } catch (const Malformed&) {
        throw;
    } catch (const std::exception& e) {
        fail("decoding an object of class " + cls + " raised: " + e.what());
    } catch (...) {
        fail("decoding an object of class " + cls + " raised an exception");
    }
    // A factory that swallowed the unarchiver's own error still fails the archive.
    if (!failure_.empty()) throw Malformed(failure_);
    if (!object) note("an object of class " + cls + " that cannot be read decoded as nil");
    return object ? Value(object) : Value();
}

Value unarchive(const Data& data, std::string& failure, std::vector<std::string>& notes) {
    if (data.empty()) {
        failure = "no data";
        return {};
    }
    if (data.size() > kMaxInputBytes) {
        failure = "the archive is larger than 64 MiB (" + std::to_string(data.size()) + " bytes)";
        return {};
    }
    std::string error;
    auto plist = PropertyList::parse(data, &error);
    if (!plist) {
        failure = "not a property list (" + error + ")";
        return {};
    }
    const Dictionary* top = plist->dictionary();
    if (!top) {
        failure = "the property list is not a dictionary";
        return {};
    }
    auto field = [&](const char* key) -> const Value* {
        auto it = top->find(key);
        return it == top->end() ? nullptr : &it->second;
    };
    const Value* archiver = field("$archiver");
    if (!archiver || !archiver->isString() || *archiver->string() != "NSKeyedArchiver") {
        failure = "\"$archiver\" is missing or is not \"NSKeyedArchiver\"";
        return {};
    }
    const Value* objects = field("$objects");
    if (!objects || !objects->array() || objects->array()->empty()) {
        failure = "\"$objects\" is missing or is not a list";
        return {};
    }
    const Value* topDict = field("$top");
    if (!topDict || !topDict->dictionary()) {
        failure = "\"$top\" is missing or is not a dictionary";
        return {};
    }
    auto root = topDict->dictionary()->find("root");
    if (root == topDict->dictionary()->end() || !root->second.isUID()) {
        failure = "\"$top\" has no \"root\" UID";
        return {};
    }
    Unarchiver unarchiver(*objects->array());
    try {
        Value result = unarchiver.decodeReference(root->second, 0);
        notes = unarchiver.notes();
        return result;
    } catch (const Malformed&) {
        failure = unarchiver.failure();
        return {};
    }
}

}  // namespace

Data KeyedArchiver::archivedDataWithRootObject(const Value& root) {
    try {
        Archiver archiver;
        UID uid = archiver.encode(root, 0);
        if (auto bytes = archiver.finish(uid)) return std::move(*bytes);
    } catch (const std::exception& e) {
        log("keyed archive: archiving failed: ", e.what());
    } catch (...) {
        log("keyed archive: archiving failed");
    }
    return {};
}

void KeyedUnarchiver::registerClass(const std::string& className, Factory factory) {
    std::lock_guard<std::mutex> lock(factoriesMutex());
    factories()[className] = std::move(factory);
}

bool KeyedUnarchiver::isClassRegistered(const std::string& className) {
    std::lock_guard<std::mutex> lock(factoriesMutex());
    return factories().count(className) > 0;
}

Value KeyedUnarchiver::unarchiveObjectWithData(const Data& data, Report& report) {
    report = Report{};
    Value result;
    try {
        result = unarchive(data, report.failure, report.leftOut);
    } catch (const std::exception& e) {
        report.failure = std::string("decoding failed: ") + e.what();
    } catch (...) {
        report.failure = "decoding failed";
    }
    if (!report.failure.empty()) {
        report.leftOut.clear();
        return {};
    }
    return result;
}

Value KeyedUnarchiver::unarchiveObjectWithData(const Data& data) {
    Report report;
    Value result = unarchiveObjectWithData(data, report);
    if (!report.failure.empty()) {
        log("keyed archive: cannot read the archive: ", report.failure);
        return {};
    }
    for (const auto& n : report.leftOut) log("keyed archive: ", n);
    return result;
}

std::string KeyedUnarchiver::Report::summary() const {
    if (!failure.empty()) return failure;
    std::string out;
    for (const auto& what : leftOut) out += (out.empty() ? "" : "; ") + what;
    return out;
}

}  // namespace qs
