#pragma once
// A dynamically typed value: what a property list can hold, plus object references.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

namespace qs {

class Object;
class Value;

using Data = std::vector<uint8_t>;
using Array = std::vector<Value>;
using Dictionary = std::map<std::string, Value>;

// A point in time, in seconds since 1970-01-01 00:00:00 UTC.
struct Date {
    double timeIntervalSince1970 = 0.0;
    static Date now();
    bool operator==(const Date& other) const = default;
};

// A property-list UID: an index into a keyed archive's object table.
struct UID {
    uint64_t value = 0;
    bool operator==(const UID& other) const = default;
};

class Value {
public:
    enum class Type { Nil, Bool, Integer, Real, String, Data, Date, UID, Array, Dictionary, Object };

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool b) : v_(b) {}
    Value(int i) : v_(int64_t(i)) {}
    Value(long i) : v_(int64_t(i)) {}
    Value(long long i) : v_(int64_t(i)) {}
    Value(unsigned i) : v_(int64_t(i)) {}
    Value(unsigned long i) : v_(int64_t(i)) {}
    Value(unsigned long long i) : v_(int64_t(i)) {}
    Value(float d) : v_(double(d)) {}
    Value(double d) : v_(d) {}
    Value(const char* s) : v_(std::string(s ? s : "")) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(Data d) : v_(std::move(d)) {}
    Value(Date d) : v_(d) {}
    Value(UID u) : v_(u) {}
    Value(Array a) : v_(std::move(a)) {}
    Value(Dictionary d) : v_(std::move(d)) {}
    Value(std::shared_ptr<Object> o);
    template <class T, class = std::enable_if_t<std::is_base_of_v<Object, T> && !std::is_same_v<T, Object>>>
    Value(std::shared_ptr<T> o) : Value(std::static_pointer_cast<Object>(std::move(o))) {}

    Type type() const { return Type(v_.index()); }
    bool isNil() const { return type() == Type::Nil; }
    bool isBool() const { return type() == Type::Bool; }
    bool isInteger() const { return type() == Type::Integer; }
    bool isReal() const { return type() == Type::Real; }
    bool isNumber() const { return isBool() || isInteger() || isReal(); }
    bool isString() const { return type() == Type::String; }
    bool isData() const { return type() == Type::Data; }
    bool isDate() const { return type() == Type::Date; }
    bool isUID() const { return type() == Type::UID; }
    bool isArray() const { return type() == Type::Array; }
    bool isDictionary() const { return type() == Type::Dictionary; }
    bool isObject() const { return type() == Type::Object; }

    // Coercing reads, as the platform's number and string accessors answer them:
    // a number converts to any number type; a string holding "YES"/"true"/a number
    // converts too; anything else reads as NO, 0 or 0.0.
    bool boolValue() const;
    int64_t integerValue() const;
    double doubleValue() const;
    // The string itself, or "" when this is not a string.
    std::string stringValue() const;

    // Direct access; nullptr when the value holds another type.
    const std::string* string() const { return std::get_if<std::string>(&v_); }
    const Data* data() const { return std::get_if<Data>(&v_); }
    const Date* date() const { return std::get_if<Date>(&v_); }
    const UID* uid() const { return std::get_if<UID>(&v_); }
    const Array* array() const { return std::get_if<Array>(&v_); }
    Array* array() { return std::get_if<Array>(&v_); }
    const Dictionary* dictionary() const { return std::get_if<Dictionary>(&v_); }
    Dictionary* dictionary() { return std::get_if<Dictionary>(&v_); }
    std::shared_ptr<Object> object() const;
    template <class T>
    std::shared_ptr<T> objectAs() const { return std::dynamic_pointer_cast<T>(object()); }

    // Element count of an array or dictionary, 0 otherwise.
    size_t count() const;
    // Dictionary lookup; nil when absent or not a dictionary.
    Value operator[](const std::string& key) const;

    // Deep equality for plain values; objects compare with Object::isEqual.
    bool operator==(const Value& other) const;
    bool operator!=(const Value& other) const { return !(*this == other); }

    // A short human-readable form, for log lines and test failures.
    std::string description() const;

private:
    std::variant<std::monostate, bool, int64_t, double, std::string, Data, Date, UID, Array, Dictionary,
                 std::shared_ptr<Object>>
        v_;
};

std::ostream& operator<<(std::ostream& os, const Value& v);

}  // namespace qs
