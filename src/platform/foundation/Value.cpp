#include "platform/foundation/Value.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <ostream>
#include <string_view>

#include "platform/foundation/Object.h"

namespace qs {

Date Date::now() {
    using namespace std::chrono;
    auto since = system_clock::now().time_since_epoch();
    return Date{duration_cast<duration<double>>(since).count()};
}

Value::Value(std::shared_ptr<Object> o) {
    // A null object reference is nil, as messaging nil answers nil.
    if (o) v_ = std::move(o);
}

std::shared_ptr<Object> Value::object() const {
    if (auto p = std::get_if<std::shared_ptr<Object>>(&v_)) return *p;
    return nullptr;
}

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// The platform's string-to-bool rule: after leading blanks, an optional sign and
// zeros, "Y", "y", "T", "t" or a digit 1-9 means YES.
bool stringBool(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && isSpace(s[i])) ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    while (i < s.size() && s[i] == '0') ++i;
    if (i >= s.size()) return false;
    char c = s[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

// Leading blanks, then as much of a decimal number as there is; 0 when none.
int64_t stringInteger(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && isSpace(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    // Accumulate as a negative number so INT64_MIN fits; clamp on overflow.
    int64_t acc = 0;
    bool overflow = false;
    constexpr int64_t min = std::numeric_limits<int64_t>::min();
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        int digit = s[i] - '0';
        if (overflow) continue;
        if (acc < (min + digit) / 10) {
            overflow = true;
            continue;
        }
        acc = acc * 10 - digit;
    }
    if (overflow) return negative ? min : std::numeric_limits<int64_t>::max();
    if (negative) return acc;
    return acc == min ? std::numeric_limits<int64_t>::max() : -acc;
}

double stringDouble(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && isSpace(s[i])) ++i;
    if (i < s.size() && s[i] == '+') ++i;
    double d = 0.0;
    auto res = std::from_chars(s.data() + i, s.data() + s.size(), d);
    if (res.ec == std::errc::result_out_of_range) {
        // from_chars leaves d untouched: a negative exponent underflowed, else it overflowed.
        std::string_view text(s.data() + i, size_t(res.ptr - (s.data() + i)));
        bool negative = !text.empty() && text[0] == '-';
        auto e = text.find_first_of("eE");
        bool tiny = e != std::string_view::npos && e + 1 < text.size() && text[e + 1] == '-';
        double r = tiny ? 0.0 : std::numeric_limits<double>::infinity();
        return negative ? -r : r;
    }
    if (res.ec != std::errc()) return 0.0;
    return d;
}

int64_t clampToInteger(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
    if (d <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return int64_t(d);  // truncates toward zero, as the platform's integerValue
}

std::string realText(double d) {
    if (std::isnan(d)) return "nan";
    if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, res.ptr);
}

std::string dateText(const Date& date) {
    double t = date.timeIntervalSince1970;
    if (!std::isfinite(t)) return "<invalid date>";
    // Beyond what a calendar date is written for (and what time_t holds): seconds.
    if (std::fabs(t) > 1e15) return realText(t) + " s from 1970";
    time_t secs = time_t(std::floor(t));
    struct tm tm {};
    if (!gmtime_r(&secs, &tm)) return realText(t);
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S +0000", &tm);
    return buf;
}

}  // namespace

bool Value::boolValue() const {
    switch (type()) {
        case Type::Bool: return std::get<bool>(v_);
        case Type::Integer: return std::get<int64_t>(v_) != 0;
        case Type::Real: return std::get<double>(v_) != 0.0;
        case Type::String: return stringBool(std::get<std::string>(v_));
        default: return false;
    }
}

int64_t Value::integerValue() const {
    switch (type()) {
        case Type::Bool: return std::get<bool>(v_) ? 1 : 0;
        case Type::Integer: return std::get<int64_t>(v_);
        case Type::Real: return clampToInteger(std::get<double>(v_));
        case Type::String: return stringInteger(std::get<std::string>(v_));
        default: return 0;
    }
}

double Value::doubleValue() const {
    switch (type()) {
        case Type::Bool: return std::get<bool>(v_) ? 1.0 : 0.0;
        case Type::Integer: return double(std::get<int64_t>(v_));
        case Type::Real: return std::get<double>(v_);
        case Type::String: return stringDouble(std::get<std::string>(v_));
        default: return 0.0;
    }
}

std::string Value::stringValue() const {
    if (auto s = string()) return *s;
    return "";
}

size_t Value::count() const {
    if (auto a = array()) return a->size();
    if (auto d = dictionary()) return d->size();
    return 0;
}

Value Value::operator[](const std::string& key) const {
    if (auto d = dictionary()) {
        auto it = d->find(key);
        if (it != d->end()) return it->second;
    }
    return Value();
}

bool Value::operator==(const Value& other) const {
    // Types must match: a bool is never equal to the integer 1, nor an integer to a
    // real. Stored settings keep their types, so comparisons keep them too.
    if (type() != other.type()) return false;
    if (isObject()) {
        auto a = object();
        auto b = other.object();
        if (a == b) return true;
        return a && b && a->isEqual(b.get());
    }
    return v_ == other.v_;
}

std::string Value::description() const {
    switch (type()) {
        case Type::Nil: return "nil";
        case Type::Bool: return std::get<bool>(v_) ? "YES" : "NO";
        case Type::Integer: return std::to_string(std::get<int64_t>(v_));
        case Type::Real: return realText(std::get<double>(v_));
        case Type::String: return std::get<std::string>(v_);
        case Type::Data: {
            const Data& d = std::get<Data>(v_);
            static const char* hex = "0123456789abcdef";
            std::string out = "<";
            size_t shown = std::min<size_t>(d.size(), 64);
            for (size_t i = 0; i < shown; ++i) {
                if (i && i % 4 == 0) out += ' ';
                out += hex[d[i] >> 4];
                out += hex[d[i] & 15];
            }
            if (shown < d.size()) out += " ... (" + std::to_string(d.size()) + " bytes)";
            return out + ">";
        }
        case Type::Date: return dateText(std::get<Date>(v_));
        case Type::UID: return "<UID " + std::to_string(std::get<UID>(v_).value) + ">";
        case Type::Array: {
            std::string out = "(";
            bool first = true;
            for (const auto& e : std::get<Array>(v_)) {
                if (!first) out += ", ";
                first = false;
                out += e.isString() ? "\"" + e.description() + "\"" : e.description();
            }
            return out + ")";
        }
        case Type::Dictionary: {
            std::string out = "{";
            for (const auto& [k, e] : std::get<Dictionary>(v_))
                out += k + " = " + (e.isString() ? "\"" + e.description() + "\"" : e.description()) + "; ";
            return out + "}";
        }
        case Type::Object: {
            auto o = object();
            return o ? o->description() : "nil";
        }
    }
    return "";
}

std::ostream& operator<<(std::ostream& os, const Value& v) { return os << v.description(); }

}  // namespace qs
