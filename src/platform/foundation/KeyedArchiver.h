#pragma once
// Keyed archives in the platform's well-known layout, inside a binary property list:
//   { "$archiver": "NSKeyedArchiver", "$version": 100000,
//     "$top": { "root": UID }, "$objects": [ "$null", ... ] }
// Each archived object is a dictionary of its keys plus "$class" (a UID of a
// { "$classname", "$classes" } entry). Strings and numbers are stored inline in
// "$objects", arrays as "NS.objects", dictionaries as "NS.keys"/"NS.objects", URLs as
// "NS.base"/"NS.relative", data inline, dates as "NS.time", images as PNG data.
//
// Our own classes take part by deriving from Coding and registering a factory under
// their class-name string. Unarchiving never throws: malformed or hostile input
// (not a property list, wrong types, bad UIDs, a factory that throws, absurd nesting
// or counts) answers nil for the whole archive and writes one log line. Softer faults
// leave the rest of the archive intact: an object of an unknown class, an unreadable
// URL or image, and a reference back to an object still being decoded (a cycle)
// decode as nil, with one log line each.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Object.h"
#include "platform/foundation/Value.h"

namespace qs {

class Coder {
public:
    virtual ~Coder() = default;

    virtual void encodeObject(const Value& object, const std::string& key) = 0;
    virtual void encodeBool(bool value, const std::string& key) = 0;
    virtual void encodeInt(int32_t value, const std::string& key) = 0;
    virtual void encodeInteger(int64_t value, const std::string& key) = 0;
    virtual void encodeFloat(float value, const std::string& key) = 0;
    virtual void encodeDouble(double value, const std::string& key) = 0;

    // A missing key (or one of the wrong type) decodes as nil, NO, 0 or 0.0.
    virtual Value decodeObjectForKey(const std::string& key) = 0;
    virtual bool decodeBoolForKey(const std::string& key) = 0;
    virtual int32_t decodeIntForKey(const std::string& key) = 0;
    virtual int64_t decodeIntegerForKey(const std::string& key) = 0;
    virtual float decodeFloatForKey(const std::string& key) = 0;
    virtual double decodeDoubleForKey(const std::string& key) = 0;
    virtual bool containsValueForKey(const std::string& key) = 0;

    // Tells the unarchiver that something stored was left out while decoding (an entry
    // that is not what it should be), so that the caller learns the archive was not
    // read whole. Encoding coders ignore it.
    virtual void noteLeftOut(const std::string& what) { (void)what; }
};

// An object that writes itself into an archive (its class name is Object::className,
// its "$classes" list Object::classHierarchy).
class Coding {
public:
    virtual ~Coding() = default;
    virtual void encodeWithCoder(Coder& coder) const = 0;
};

class KeyedArchiver {
public:
    // The binary property list of the archive. Values that cannot be archived (an
    // Object that is not Coding) are stored as "$null" with a log line; strings are
    // stored as a property list can hold them (PropertyList::storableString). Empty data
    // when the archive could not be written at all.
    static Data archivedDataWithRootObject(const Value& root);
};

class KeyedUnarchiver {
public:
    using Factory = std::function<std::shared_ptr<Object>(Coder& coder)>;

    // How an archive was read: `failure` is why nothing could be read ("" when the root
    // was decoded); `leftOut` names each thing that was left out of what was decoded
    // (an object of an unknown class, one its class refused, an unreadable URL or image,
    // a cycle, an entry noted by a class).
    struct Report {
        std::string failure;
        std::vector<std::string> leftOut;
        bool complete() const { return failure.empty() && leftOut.empty(); }
        // The failure or what was left out, in one line.
        std::string summary() const;
    };

    // Registers how to build an object of the given class name from its keys
    // (the class's initWithCoder). A factory may answer nullptr to reject the object.
    static void registerClass(const std::string& className, Factory factory);
    static bool isClassRegistered(const std::string& className);

    static Value unarchiveObjectWithData(const Data& data);
    // The same; what went wrong is told through the report instead of the log.
    static Value unarchiveObjectWithData(const Data& data, Report& report);
};

// Registers a factory for T at static-initialisation time:
//   static const bool registered = registerCodingClass<DockConfiguration>("DockConfiguration");
// T must offer `static std::shared_ptr<T> initWithCoder(Coder&)`.
template <class T>
bool registerCodingClass(const std::string& className) {
    KeyedUnarchiver::registerClass(className, [](Coder& c) -> std::shared_ptr<Object> { return T::initWithCoder(c); });
    return true;
}

}  // namespace qs
