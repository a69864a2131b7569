#include "platform/foundation/KeyedArchiver.h"

#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <unordered_map>

#include "platform/foundation/Image.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/URL.h"

namespace qs {

namespace {

constexpr double kEpochOffset = 978307200.0;  // 1970 → 2001
constexpr size_t kMaxInputBytes = 64u << 20;
constexpr size_t kMaxObjects = 1000000;
constexpr int kMaxDepth = 256;

std::mutex& factoriesMutex() {
    static std::mutex m;
    return m;
}
std::map<std::string, KeyedUnarchiver::Factory>& factories() {
    static std::map<std::string, KeyedUnarchiver::Factory> f;
    return f;
}

// ---------------------------------------------------------------- archiving

class Archiver {
public:
    Archiver() { objects_.push_back(Value("$null")); }

    UID encode(const Value& v, int depth);
    Data finish(UID root);

private:
    friend class EncodingCoder;
    UID append(Value v) {
        objects_.push_back(std::move(v));
        return UID{objects_.size() - 1};
    }
    UID classUID(const std::string& name, const std::vector<std::string>& hierarchy) {
        auto it = classes_.find(name);
        if (it != classes_.end()) return it->second;
        Array names;
        for (const auto& n : hierarchy) names.push_back(Value(n));
        UID uid = append(Value(Dictionary{{"$classname", Value(name)}, {"$classes", Value(std::move(names))}}));
        classes_[name] = uid;
        return uid;
    }

    Array objects_;
    std::map<std::string, UID> classes_;
    std::unordered_map<const Object*, UID> identities_;
};

class EncodingCoder : public Coder {
public:
    EncodingCoder(Archiver& archiver, Dictionary& dict, int depth) : a_(archiver), d_(dict), depth_(depth) {}

    void encodeObject(const Value& object, const std::string& key) override {
        d_[key] = Value(a_.encode(object, depth_ + 1));
    }
    void encodeBool(bool value, const std::string& key) override { d_[key] = Value(value); }
    void encodeInt(int32_t value, const std::string& key) override { d_[key] = Value(int64_t(value)); }
    void encodeInteger(int64_t value, const std::string& key) override { d_[key] = Value(value); }
    void encodeFloat(float value, const std::string& key) override { d_[key] = Value(double(value)); }
    void encodeDouble(double value, const std::string& key) override { d_[key] = Value(value); }

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

UID Archiver::encode(const Value& v, int depth) {
    if (depth > kMaxDepth) {
        log("-[NSKeyedArchiver encodeObject:] nesting too deep; stored as nil");
        return UID{0};
    }
    switch (v.type()) {
    case Value::Type::Nil:
    case Value::Type::UID:
        return UID{0};
    case Value::Type::Bool:
    case Value::Type::Integer:
    case Value::Type::Real:
    case Value::Type::String:
    case Value::Type::Data:
        return append(v);
    case Value::Type::Date: {
        UID cls = classUID("NSDate", {"NSDate", "NSObject"});
        return append(Value(Dictionary{{"NS.time", Value(v.date()->timeIntervalSince1970 - kEpochOffset)},
                                       {"$class", Value(cls)}}));
    }
    case Value::Type::Array: {
        UID slot = append(Value());
        Array uids;
        for (const Value& e : *v.array()) uids.push_back(Value(encode(e, depth + 1)));
        UID cls = classUID("NSArray", {"NSArray", "NSObject"});
        objects_[slot.value] = Value(Dictionary{{"NS.objects", Value(std::move(uids))}, {"$class", Value(cls)}});
        return slot;
    }
    case Value::Type::Dictionary: {
        UID slot = append(Value());
        Array keys, values;
        for (const auto& [k, e] : *v.dictionary()) {
            keys.push_back(Value(append(Value(k))));
            values.push_back(Value(encode(e, depth + 1)));
        }
        UID cls = classUID("NSDictionary", {"NSDictionary", "NSObject"});
        objects_[slot.value] = Value(Dictionary{
            {"NS.keys", Value(std::move(keys))}, {"NS.objects", Value(std::move(values))}, {"$class", Value(cls)}});
        return slot;
    }
    case Value::Type::Object: {
        auto object = v.object();
        auto known = identities_.find(object.get());
        if (known != identities_.end()) return known->second;
        auto* coding = dynamic_cast<const Coding*>(object.get());
        if (!coding) {
            log("-[NSKeyedArchiver encodeObject:] ", object->className(), " cannot be archived; stored as nil");
            return UID{0};
        }
        UID slot = append(Value());
        identities_[object.get()] = slot;
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

Data Archiver::finish(UID root) {
    Dictionary top{{"$archiver", Value("NSKeyedArchiver")},
                   {"$version", Value(100000)},
                   {"$top", Value(Dictionary{{"root", Value(root)}})},
                   {"$objects", Value(std::move(objects_))}};
    std::string error;
    auto bytes = PropertyList::serialize(Value(std::move(top)), PropertyList::Format::Binary, &error);
    if (!bytes) {
        log("-[NSKeyedArchiver archivedDataWithRootObject:] ", error);
        return {};
    }
    return std::move(*bytes);
}

// -------------------------------------------------------------- unarchiving

// Raised inside the unarchiver for input that cannot be a valid archive; caught at the top.
struct Malformed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Unarchiver {
public:
    explicit Unarchiver(const Array& objects) : objects_(objects) {}
    Value decode(const Value& reference, int depth);

private:
    Value decodeUID(uint64_t uid, int depth);
    Value decodeObject(uint64_t uid, const Dictionary& entry, int depth);
    std::string classNameOf(const Dictionary& entry);
    Array decodeList(const Value& list, int depth) {
        const Array* items = list.array();
        if (!items) throw Malformed("a collection without its list of references");
        Array out;
        out.reserve(items->size());
        for (const Value& item : *items) out.push_back(decode(item, depth + 1));
        return out;
    }

    friend class DecodingCoder;
    const Array& objects_;
    std::map<uint64_t, Value> decoded_;
    std::set<uint64_t> inProgress_;
    size_t budget_ = kMaxObjects;
};

class DecodingCoder : public Coder {
public:
    DecodingCoder(Unarchiver& u, const Dictionary& dict, int depth) : u_(u), d_(dict), depth_(depth) {}

    void encodeObject(const Value&, const std::string&) override {}
    void encodeBool(bool, const std::string&) override {}
    void encodeInt(int32_t, const std::string&) override {}
    void encodeInteger(int64_t, const std::string&) override {}
    void encodeFloat(float, const std::string&) override {}
    void encodeDouble(double, const std::string&) override {}

    Value decodeObjectForKey(const std::string& key) override {
        const Value* v = find(key);
        if (!v || !v->isUID()) return {};
        return u_.decode(*v, depth_ + 1);
    }
    bool decodeBoolForKey(const std::string& key) override {
        const Value* v = find(key);
        return v && v->isNumber() && v->boolValue();
    }
    int32_t decodeIntForKey(const std::string& key) override { return int32_t(decodeIntegerForKey(key)); }
    int64_t decodeIntegerForKey(const std::string& key) override {
        const Value* v = find(key);
        return v && v->isNumber() ? v->integerValue() : 0;
    }
    float decodeFloatForKey(const std::string& key) override { return float(decodeDoubleForKey(key)); }
    double decodeDoubleForKey(const std::string& key) override {
        const Value* v = find(key);
        return v && v->isNumber() ? v->doubleValue() : 0.0;
    }
    bool containsValueForKey(const std::string& key) override { return find(key) != nullptr; }

private:
    const Value* find(const std::string& key) const {
        auto it = d_.find(key);
        return it == d_.end() ? nullptr : &it->second;
    }
    Unarchiver& u_;
    const Dictionary& d_;
    int depth_;
};

Value Unarchiver::decode(const Value& reference, int depth) {
    const UID* uid = reference.uid();
    if (!uid) throw Malformed("a reference that is not a UID");
    return decodeUID(uid->value, depth);
}

Value Unarchiver::decodeUID(uint64_t uid, int depth) {
    if (depth > kMaxDepth) throw Malformed("objects nested too deeply");
    if (uid >= objects_.size()) throw Malformed("a UID beyond the object table");
    if (uid == 0) return {};
    auto cached = decoded_.find(uid);
    if (cached != decoded_.end()) return cached->second;
    // A reference back to an object still being decoded is a cycle: it decodes as nil.
    if (inProgress_.count(uid)) return {};
    if (budget_-- == 0) throw Malformed("too many objects");

    const Value& entry = objects_[uid];
    Value result;
    if (const Dictionary* dict = entry.dictionary()) {
        inProgress_.insert(uid);
        result = decodeObject(uid, *dict, depth);
        inProgress_.erase(uid);
    } else if (entry.isString() || entry.isNumber() || entry.isData() || entry.isDate()) {
        result = entry;
    } else {
        throw Malformed("an object table entry of an unexpected type");
    }
    decoded_[uid] = result;
    return result;
}

std::string Unarchiver::classNameOf(const Dictionary& entry) {
    auto it = entry.find("$class");
    if (it == entry.end() || !it->second.isUID()) throw Malformed("an object without a \"$class\" reference");
    uint64_t c = it->second.uid()->value;
    if (c >= objects_.size() || !objects_[c].dictionary()) throw Malformed("\"$class\" points at no class entry");
    const Value& name = (*objects_[c].dictionary()).count("$classname") ? objects_[c].dictionary()->at("$classname")
                                                                         : Value();
    if (!name.isString()) throw Malformed("a class entry without \"$classname\"");
    return *name.string();
}

Value Unarchiver::decodeObject(uint64_t, const Dictionary& entry, int depth) {
    std::string cls = classNameOf(entry);
    auto field = [&](const char* key) -> Value {
        auto it = entry.find(key);
        return it == entry.end() ? Value() : it->second;
    };
    if (cls == "NSArray" || cls == "NSMutableArray" || cls == "NSSet" || cls == "NSMutableSet" ||
        cls == "NSOrderedSet" || cls == "NSMutableOrderedSet") {
        return Value(decodeList(field("NS.objects"), depth));
    }
    if (cls == "NSDictionary" || cls == "NSMutableDictionary") {
        Array keys = decodeList(field("NS.keys"), depth);
        Array values = decodeList(field("NS.objects"), depth);
        if (keys.size() != values.size()) throw Malformed("a dictionary with unequal key and value counts");
        Dictionary out;
        for (size_t i = 0; i < keys.size(); ++i) {
            if (!keys[i].isString()) {
                log("-[NSKeyedUnarchiver decodeObject] a dictionary key that is not a string was skipped");
                continue;
            }
            out[*keys[i].string()] = values[i];
        }
        return Value(std::move(out));
    }
    if (cls == "NSDate") return Value(Date{field("NS.time").doubleValue() + kEpochOffset});
    if (cls == "NSString" || cls == "NSMutableString") {
        Value s = field("NS.string");
        if (!s.isString()) throw Malformed("a string without its text");
        return s;
    }
    if (cls == "NSData" || cls == "NSMutableData") {
        Value d = field("NS.data");
        if (!d.isData()) throw Malformed("a data object without its bytes");
        return d;
    }
    if (cls == "NSURL") {
        Value relative = field("NS.relative").isUID() ? decode(field("NS.relative"), depth + 1) : Value();
        Value base = field("NS.base").isUID() ? decode(field("NS.base"), depth + 1) : Value();
        if (!relative.isString()) return {};
        std::string text = *relative.string();
        if (auto baseURL = base.objectAs<URL>()) {
            std::string b = baseURL->absoluteString();
            if (!text.empty() && text[0] == '/') {
                auto schemeEnd = b.find("://");
                auto hostEnd = schemeEnd == std::string::npos ? std::string::npos : b.find('/', schemeEnd + 3);
                text = (hostEnd == std::string::npos ? b : b.substr(0, hostEnd)) + text;
            } else if (!URL::URLWithString(text)) {
                text = b.substr(0, b.rfind('/') + 1) + text;
            }
        }
        auto url = URL::URLWithString(text);
        return url ? Value(url) : Value();
    }
    if (cls == "NSImage") {
        Value png = field("NSPNGData");
        auto image = png.data() ? Image::imageWithPNGData(*png.data()) : nullptr;
        if (!image) log("-[NSKeyedUnarchiver decodeObject] an image whose data cannot be read decodes as nil");
        return image ? Value(image) : Value();
    }
    KeyedUnarchiver::Factory factory;
    {
        std::lock_guard<std::mutex> lock(factoriesMutex());
        auto it = factories().find(cls);
        if (it != factories().end()) factory = it->second;
    }
    if (!factory) {
        log("-[NSKeyedUnarchiver decodeObject] cannot decode an object of unknown class ", cls);
        return {};
    }
    DecodingCoder coder(*this, entry, depth);
    auto object = factory(coder);
    return object ? Value(object) : Value();
}

}  // namespace

Data KeyedArchiver::archivedDataWithRootObject(const Value& root) {
    Archiver archiver;
    UID uid = archiver.encode(root, 0);
    return archiver.finish(uid);
}

void KeyedUnarchiver::registerClass(const std::string& className, Factory factory) {
    std::lock_guard<std::mutex> lock(factoriesMutex());
    factories()[className] = std::move(factory);
}

bool KeyedUnarchiver::isClassRegistered(const std::string& className) {
    std::lock_guard<std::mutex> lock(factoriesMutex());
    return factories().count(className) > 0;
}

Value KeyedUnarchiver::unarchiveObjectWithData(const Data& data) {
    try {
        if (data.empty()) {
            log("-[NSKeyedUnarchiver unarchiveObjectWithData:] empty data");
            return {};
        }
        if (data.size() > kMaxInputBytes) {
            log("-[NSKeyedUnarchiver unarchiveObjectWithData:] archive too large (", data.size(), " bytes)");
            return {};
        }
        std::string error;
        auto plist = PropertyList::parse(data, &error);
        if (!plist) {
            log("-[NSKeyedUnarchiver unarchiveObjectWithData:] not a property list: ", error);
            return {};
        }
        const Dictionary* top = plist->dictionary();
        if (!top) throw Malformed("the archive is not a dictionary");
        auto get = [&](const char* key) -> Value { return top->count(key) ? top->at(key) : Value(); };
        if (get("$archiver") != Value("NSKeyedArchiver")) throw Malformed("\"$archiver\" is not NSKeyedArchiver");
        Value objects = get("$objects");
        if (!objects.array() || objects.array()->empty()) throw Malformed("no \"$objects\" table");
        if (objects.array()->size() > kMaxObjects) throw Malformed("an object table of absurd size");
        Value root = get("$top")["root"];
        if (!root.isUID()) throw Malformed("no \"$top\" root reference");
        Unarchiver unarchiver(*objects.array());
        return unarchiver.decode(root, 0);
    } catch (const Malformed& e) {
        log("-[NSKeyedUnarchiver unarchiveObjectWithData:] malformed archive: ", e.what());
    } catch (const std::exception& e) {
        log("-[NSKeyedUnarchiver unarchiveObjectWithData:] decoding failed: ", e.what());
    } catch (...) {
        log("-[NSKeyedUnarchiver unarchiveObjectWithData:] decoding failed");
    }
    return {};
}

}  // namespace qs
