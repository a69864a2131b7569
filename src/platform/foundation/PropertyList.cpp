#include "platform/foundation/PropertyList.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <vector>

#include <plist/plist.h>

namespace qs::PropertyList {

namespace {

// Seconds between 1970-01-01 and 2001-01-01, the epoch of property-list dates.
constexpr double kPlistEpochOffset = 978307200.0;
// The dates the library writes: 32-bit whole seconds from 2001.
constexpr double kMinSince2001 = double(std::numeric_limits<int32_t>::min());
constexpr double kMaxSince2001 = double(std::numeric_limits<int32_t>::max());
// Deeper trees than this are refused rather than risking the stack.
constexpr int kMaxDepth = 512;
// Element nesting an XML text may reach: the containers above, plus the plist element
// and a leaf. The library reads and frees its tree recursively, so this is checked
// before the library sees the text.
constexpr int kMaxXmlElementDepth = kMaxDepth + 8;
// The suffix of writeFileAtomically's temporary files: ".<name>.tmp-XXXXXX".
constexpr const char* kTemporaryInfix = ".tmp-";

void setError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

struct PlistHolder {
    plist_t node = nullptr;
    ~PlistHolder() {
        if (node) plist_free(node);
    }
};

bool hasNul(const std::string& s) { return s.find('\0') != std::string::npos; }

plist_t toPlist(const Value& value, int depth, std::string* error) {
    if (depth > kMaxDepth) {
        setError(error, "value nests too deeply for a property list");
        return nullptr;
    }
    switch (value.type()) {
        case Value::Type::Nil:
            setError(error, "nil cannot be stored in a property list");
            return nullptr;
        case Value::Type::Object:
            setError(error, "an object reference (" + value.description() + ") cannot be stored in a property list");
            return nullptr;
        case Value::Type::Bool: return plist_new_bool(value.boolValue() ? 1 : 0);
        // The library keeps every integer in a 64-bit field and writes it back signed,
        // so the two's-complement bits carry negative numbers through both formats.
        case Value::Type::Integer: return plist_new_uint(uint64_t(value.integerValue()));
        case Value::Type::Real: return plist_new_real(value.doubleValue());
        case Value::Type::String: {
            const std::string& s = *value.string();
            if (hasNul(s)) {
                setError(error, "a string with a NUL character cannot be stored in a property list");
                return nullptr;
            }
            return plist_new_string(s.c_str());
        }
        case Value::Type::Data: {
            const Data& d = *value.data();
            return plist_new_data(reinterpret_cast<const char*>(d.data()), d.size());
        }
        case Value::Type::Date: {
            double since2001 = value.date()->timeIntervalSince1970 - kPlistEpochOffset;
            if (!isStorableScalar(value)) {
                setError(error, "date " + value.description() + " is outside the range a property list can hold here");
                return nullptr;
            }
            double whole = std::floor(since2001);
            int32_t sec = int32_t(whole);
            int32_t usec = int32_t(std::lround((since2001 - whole) * 1e6));
            if (usec >= 1000000) {
                usec -= 1000000;
                if (sec == std::numeric_limits<int32_t>::max()) usec = 999999;
                else ++sec;
            }
            return plist_new_date(sec, usec);
        }
        case Value::Type::UID:
            // The format's UIDs are 32-bit; the library would keep only the low half.
            if (!isStorableScalar(value)) {
                setError(error, "a UID beyond 32 bits cannot be stored in a property list");
                return nullptr;
            }
            return plist_new_uid(value.uid()->value);
        case Value::Type::Array: {
            plist_t arr = plist_new_array();
            for (const Value& e : *value.array()) {
                plist_t item = toPlist(e, depth + 1, error);
                if (!item) {
                    plist_free(arr);
                    return nullptr;
                }
                plist_array_append_item(arr, item);
            }
            return arr;
        }
        case Value::Type::Dictionary: {
            plist_t dict = plist_new_dict();
            for (const auto& [key, e] : *value.dictionary()) {
                if (hasNul(key)) {
                    setError(error, "a dictionary key with a NUL character cannot be stored in a property list");
                    plist_free(dict);
                    return nullptr;
                }
                plist_t item = toPlist(e, depth + 1, error);
                if (!item) {
                    plist_free(dict);
                    return nullptr;
                }
                plist_dict_set_item(dict, key.c_str(), item);
            }
            return dict;
        }
    }
    setError(error, "unknown value type");
    return nullptr;
}

std::optional<Value> fromPlist(plist_t node, int depth, std::string* error) {
    if (!node) {
        setError(error, "missing node");
        return std::nullopt;
    }
    if (depth > kMaxDepth) {
        setError(error, "property list nests too deeply");
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return Value(b != 0);
        }
        case PLIST_UINT: {
            uint64_t u = 0;
            plist_get_uint_val(node, &u);
            return Value(int64_t(u));
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            return Value(d);
        }
        case PLIST_STRING:
        case PLIST_KEY: {
            if (plist_get_node_type(node) == PLIST_STRING) {
                uint64_t length = 0;
                const char* text = plist_get_string_ptr(node, &length);
                return Value(storableString(text ? std::string(text, size_t(length)) : std::string()));
            }
            char* s = nullptr;
            plist_get_key_val(node, &s);
            std::string out = s ? s : "";
            free(s);
            return Value(storableString(std::move(out)));
        }
        case PLIST_DATA: {
            char* bytes = nullptr;
            uint64_t len = 0;
            plist_get_data_val(node, &bytes, &len);
            Data out;
            if (bytes && len) out.assign(reinterpret_cast<uint8_t*>(bytes), reinterpret_cast<uint8_t*>(bytes) + len);
            free(bytes);
            return Value(std::move(out));
        }
        case PLIST_DATE: {
            int32_t sec = 0, usec = 0;
            plist_get_date_val(node, &sec, &usec);
            // The library answers the whole seconds rounded toward zero and the size of
            // the fraction, so a date before the epoch subtracts its fraction. (Within the
            // last second before the epoch the sign is lost; it reads as after it.)
            double fraction = double(usec < 0 ? -usec : usec) / 1e6;
            double since2001 = sec < 0 ? double(sec) - fraction : double(sec) + fraction;
            return Value(Date{since2001 + kPlistEpochOffset});
        }
        case PLIST_UID: {
            uint64_t u = 0;
            plist_get_uid_val(node, &u);
            return Value(UID{u});
        }
        case PLIST_ARRAY: {
            Array out;
            uint32_t n = plist_array_get_size(node);
            out.reserve(n);
            // Walked with an iterator: plist_array_get_item counts from the front
            // each time, which makes a long array quadratic.
            plist_array_iter it = nullptr;
            plist_array_new_iter(node, &it);
            for (uint32_t i = 0; i < n && it; ++i) {
                plist_t item = nullptr;
                plist_array_next_item(node, it, &item);
                auto e = fromPlist(item, depth + 1, error);
                if (!e) {
                    free(it);
                    return std::nullopt;
                }
                out.push_back(std::move(*e));
            }
            free(it);
            return Value(std::move(out));
        }
        case PLIST_DICT: {
            // XML writes a UID as a dictionary of one key, "CF$UID"; it reads back as one.
            if (plist_dict_get_size(node) == 1) {
                plist_t uid = plist_dict_get_item(node, "CF$UID");
                uint64_t n = 0;
                if (uid && plist_get_node_type(uid) == PLIST_UINT) {
                    plist_get_uint_val(uid, &n);
                    if (n <= std::numeric_limits<uint32_t>::max()) return Value(UID{n});
                }
            }
            Dictionary out;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            if (!it) return Value(std::move(out));
            bool ok = true;
            for (;;) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, it, &key, &item);
                if (!item) {
                    free(key);
                    break;
                }
                auto e = fromPlist(item, depth + 1, error);
                if (!e) {
                    free(key);
                    ok = false;
                    break;
                }
                out[storableString(key ? key : "")] = std::move(*e);
                free(key);
            }
            free(it);
            if (!ok) return std::nullopt;
            return Value(std::move(out));
        }
        default:
            setError(error, "property list holds a node of unknown type");
            return std::nullopt;
    }
}

// A bounds-checked reader of binary property lists, used in place of the library's:
// the library aborts the process on some hostile input (a UTF-16 string holding U+0000
// trips an assertion when the string is read back). Every offset, count and reference
// is checked against the buffer before use, a reference back to an object still being
// read is refused, and the values one file may expand to (shared references are
// expanded once per use) are limited.
class BinaryReader {
public:
    BinaryReader(const uint8_t* bytes, size_t size, std::string* error) : p_(bytes), n_(size), error_(error) {}

    bool read(Value& out) {
        if (n_ < 8 + 1 + 32) return fail("binary property list too short");
        const uint8_t* trailer = p_ + n_ - 32;
        offsetSize_ = trailer[6];
        refSize_ = trailer[7];
        numObjects_ = bigEndian(trailer + 8, 8);
        uint64_t top = bigEndian(trailer + 16, 8);
        tableOffset_ = bigEndian(trailer + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8)
            return fail("binary property list with bad integer sizes");
        uint64_t room = n_ - 32;
        if (numObjects_ == 0 || tableOffset_ < 8 || tableOffset_ > room ||
            numObjects_ > (room - tableOffset_) / offsetSize_)
            return fail("binary property list with a bad offset table");
        if (top >= numObjects_) return fail("binary property list whose top object is missing");
        active_.assign(size_t(numObjects_), 0);
        budget_ = 1000000 + 16 * numObjects_;
        return object(top, 0, out);
    }

private:
    bool fail(const char* text) {
        setError(error_, text);
        return false;
    }
    static uint64_t bigEndian(const uint8_t* at, size_t size) {
        uint64_t v = 0;
        for (size_t i = 0; i < size; ++i) v = (v << 8) | at[i];
        return v;
    }
    // Bytes [pos, pos + size) lie before the trailer.
    bool inside(uint64_t pos, uint64_t size) const { return pos <= n_ - 32 && size <= n_ - 32 - pos; }

    bool count(uint64_t& pos, uint8_t low, uint64_t& out) {
        if (low != 0x0F) {
            out = low;
            return true;
        }
        if (!inside(pos, 1) || (p_[pos] & 0xF0) != 0x10) return fail("binary property list with a bad count");
        uint64_t size = uint64_t(1) << (p_[pos] & 0x0F);
        if (size > 8 || !inside(pos + 1, size)) return fail("binary property list with a bad count");
        out = bigEndian(p_ + pos + 1, size_t(size));
        pos += 1 + size;
        return true;
    }

    bool refs(uint64_t pos, uint64_t n, std::vector<uint64_t>& out) {
        if (n > (n_ - 32) / refSize_ || !inside(pos, n * refSize_))
            return fail("binary property list with a collection beyond its end");
        out.resize(size_t(n));
        for (uint64_t i = 0; i < n; ++i) out[size_t(i)] = bigEndian(p_ + pos + i * refSize_, refSize_);
        return true;
    }

    static void appendUtf8(std::string& s, uint32_t c) {
        if (c < 0x80) {
            s += char(c);
        } else if (c < 0x800) {
            s += char(0xC0 | (c >> 6));
            s += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            s += char(0xE0 | (c >> 12));
            s += char(0x80 | ((c >> 6) & 0x3F));
            s += char(0x80 | (c & 0x3F));
        } else {
            s += char(0xF0 | (c >> 18));
            s += char(0x80 | ((c >> 12) & 0x3F));
            s += char(0x80 | ((c >> 6) & 0x3F));
            s += char(0x80 | (c & 0x3F));
        }
    }

    bool object(uint64_t ref, int depth, Value& out) {
        if (depth > kMaxDepth) return fail("property list nests too deeply");
        if (ref >= numObjects_) return fail("binary property list with a reference beyond its objects");
        if (active_[size_t(ref)]) return fail("binary property list whose objects contain themselves");
        if (budget_ == 0) return fail("binary property list that expands to too many values");
        --budget_;
        uint64_t pos = bigEndian(p_ + tableOffset_ + ref * offsetSize_, offsetSize_);
        if (pos < 8 || !inside(pos, 1)) return fail("binary property list with an object beyond its end");
        uint8_t marker = p_[pos++];
        uint8_t low = marker & 0x0F;
        switch (marker >> 4) {
            case 0x0:
                if (marker == 0x08 || marker == 0x09) {
                    out = Value(marker == 0x09);
                    return true;
                }
                return fail("binary property list with a null or unknown object");
            case 0x1: {
                uint64_t size = uint64_t(1) << low;
                if (low > 4 || !inside(pos, size)) return fail("binary property list with a bad integer");
                // Sixteen-byte integers carry unsigned 64-bit values in their low half.
                out = Value(int64_t(size == 16 ? bigEndian(p_ + pos + 8, 8) : bigEndian(p_ + pos, size_t(size))));
                return true;
            }
            case 0x2:
            case 0x3: {
                bool date = (marker >> 4) == 0x3;
                if ((date && marker != 0x33) || (!date && low != 2 && low != 3) || !inside(pos, uint64_t(1) << low))
                    return fail("binary property list with a bad real or date");
                double d;
                if (low == 2) {
                    uint32_t bits = uint32_t(bigEndian(p_ + pos, 4));
                    float f;
                    std::memcpy(&f, &bits, 4);
                    d = f;
                } else {
                    uint64_t bits = bigEndian(p_ + pos, 8);
                    std::memcpy(&d, &bits, 8);
                }
                if (date) {
                    // A date the writers cannot hold is brought within their range, so that
                    // what was read can be written back.
                    if (!std::isfinite(d)) d = 0;
                    d = std::clamp(d, kMinSince2001, kMaxSince2001);
                }
                out = date ? Value(Date{d + kPlistEpochOffset}) : Value(d);
                return true;
            }
            case 0x4:
            case 0x5:
            case 0x7: {
                uint64_t n = 0;
                if (!count(pos, low, n)) return false;
                if (!inside(pos, n)) return fail("binary property list with data beyond its end");
                if ((marker >> 4) == 0x4)
                    out = Value(Data(p_ + pos, p_ + pos + n));
                else
                    out = Value(storableString(std::string(reinterpret_cast<const char*>(p_ + pos), size_t(n))));
                return true;
            }
            case 0x6: {
                uint64_t n = 0;
                if (!count(pos, low, n)) return false;
                if (n > (n_ - 32) / 2 || !inside(pos, 2 * n))
                    return fail("binary property list with text beyond its end");
                std::string s;
                s.reserve(size_t(n));
                for (uint64_t i = 0; i < n; ++i) {
                    uint32_t c = uint32_t(bigEndian(p_ + pos + 2 * i, 2));
                    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n) {
                        uint32_t second = uint32_t(bigEndian(p_ + pos + 2 * (i + 1), 2));
                        if (second >= 0xDC00 && second <= 0xDFFF) {
                            c = 0x10000 + ((c - 0xD800) << 10) + (second - 0xDC00);
                            ++i;
                        }
                    }
                    // An unpaired surrogate, and a NUL no property list written here can hold.
                    if ((c >= 0xD800 && c <= 0xDFFF) || c == 0) c = 0xFFFD;
                    appendUtf8(s, c);
                }
                out = Value(std::move(s));
                return true;
            }
            case 0x8: {
                if (low > 7 || !inside(pos, uint64_t(low) + 1)) return fail("binary property list with a bad UID");
                uint64_t uid = bigEndian(p_ + pos, size_t(low) + 1);
                // UIDs are 32-bit: a larger one could not be written back.
                if (uid > std::numeric_limits<uint32_t>::max()) return fail("binary property list with a UID beyond 32 bits");
                out = Value(UID{uid});
                return true;
            }
            case 0xA:
            case 0xB:
            case 0xC:
            case 0xD: {
                bool dict = (marker >> 4) == 0xD;
                uint64_t n = 0;
                if (!count(pos, low, n)) return false;
                std::vector<uint64_t> keys, values;
                if (dict) {
                    if (!refs(pos, n, keys) || !refs(pos + n * refSize_, n, values)) return false;
                } else if (!refs(pos, n, values)) {
                    return false;
                }
                active_[size_t(ref)] = 1;
                bool ok = dict ? readDictionary(keys, values, depth, out) : readArray(values, depth, out);
                active_[size_t(ref)] = 0;
                return ok;
            }
            default:
                return fail("binary property list with an object of an unknown type");
        }
    }

    bool readArray(const std::vector<uint64_t>& values, int depth, Value& out) {
        Array array;
        array.reserve(values.size());
        for (uint64_t r : values) {
            Value element;
            if (!object(r, depth + 1, element)) return false;
            array.push_back(std::move(element));
        }
        out = Value(std::move(array));
        return true;
    }

    bool readDictionary(const std::vector<uint64_t>& keys, const std::vector<uint64_t>& values, int depth,
                        Value& out) {
        Dictionary dict;
        for (size_t i = 0; i < keys.size(); ++i) {
            Value key, element;
            if (!object(keys[i], depth + 1, key)) return false;
            if (!key.isString()) return fail("binary property list with a dictionary key that is not a string");
            if (!object(values[i], depth + 1, element)) return false;
            dict[*key.string()] = std::move(element);
        }
        out = Value(std::move(dict));
        return true;
    }

    const uint8_t* p_;
    size_t n_;
    std::string* error_;
    size_t offsetSize_ = 0, refSize_ = 0;
    uint64_t numObjects_ = 0, tableOffset_ = 0;
    std::vector<uint8_t> active_;
    uint64_t budget_ = 0;
};

// The length of the UTF-8 sequence at text[i], 0 when none starts there.
size_t utf8SequenceAt(const std::string& text, size_t i) {
    auto at = [&](size_t k) { return k < text.size() ? uint8_t(text[k]) : uint8_t(0); };
    auto cont = [&](size_t k, uint8_t low = 0x80, uint8_t high = 0xBF) {
        uint8_t c = at(k);
        return c >= low && c <= high;
    };
    uint8_t c = at(i);
    if (c >= 0x01 && c <= 0x7F) return 1;
    if (c >= 0xC2 && c <= 0xDF) return cont(i + 1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        uint8_t low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
        return cont(i + 1, low, high) && cont(i + 2) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        uint8_t low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
        return cont(i + 1, low, high) && cont(i + 2) && cont(i + 3) ? 4 : 0;
    }
    return 0;
}

// Whether the XML text nests its elements deeper than `limit`. Comments, CDATA sections,
// processing instructions and the document type are skipped as the library skips them;
// where the two could read a construct differently this counts the deeper nesting.
bool xmlNestsDeeperThan(const std::string& text, int limit) {
    int depth = 0;
    size_t i = 0;
    const size_t n = text.size();
    auto skipPast = [&](size_t from, const char* end) {
        size_t at = text.find(end, from);
        return at == std::string::npos ? n : at + std::strlen(end);
    };
    while ((i = text.find('<', i)) != std::string::npos) {
        if (text.compare(i, 4, "<!--") == 0) {
            i = skipPast(i + 4, "-->");
        } else if (text.compare(i, 9, "<![CDATA[") == 0) {
            i = skipPast(i + 9, "]]>");
        } else if (text.compare(i, 2, "<?") == 0) {
            i = skipPast(i + 2, "?>");
        } else if (text.compare(i, 2, "<!") == 0) {
            // A document type, with an internal subset in brackets and quoted literals.
            int brackets = 0;
            char quote = 0;
            for (++i; i < n; ++i) {
                char c = text[i];
                if (quote) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '[') {
                    ++brackets;
                } else if (c == ']') {
                    if (brackets > 0) --brackets;
                } else if (c == '>' && brackets == 0) {
                    break;
                }
            }
            ++i;
        } else if (text.compare(i, 2, "</") == 0) {
            if (depth > 0) --depth;
            i = skipPast(i + 2, ">");
        } else {
            // A start tag; quoted attribute values may hold '>' and '/'.
            char quote = 0, last = 0;
            for (++i; i < n; ++i) {
                char c = text[i];
                if (quote) {
                    if (c == quote) quote = 0;
                    last = 'q';
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                } else if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
                    last = c;
                }
            }
            if (last != '/' && ++depth > limit) return true;
            ++i;
        }
    }
    return false;
}

bool looksLikeXml(const Data& bytes) {
    size_t i = 0;
    // A UTF-8 byte-order mark may precede the XML declaration.
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) i = 3;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n')) ++i;
    return i < bytes.size() && bytes[i] == '<';
}

std::string errnoText(int err) { return std::strerror(err); }

bool writeAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= size_t(w);
    }
    return true;
}

}  // namespace

std::optional<Value> parse(const Data& bytes, std::string* error) {
    if (bytes.empty()) {
        setError(error, "empty property list");
        return std::nullopt;
    }
    if (bytes.size() >= std::numeric_limits<uint32_t>::max()) {
        setError(error, "property list too large");
        return std::nullopt;
    }
    PlistHolder root;
    auto length = uint32_t(bytes.size());
    if (plist_is_binary(reinterpret_cast<const char*>(bytes.data()), length)) {
        Value out;
        if (!BinaryReader(bytes.data(), bytes.size(), error).read(out)) return std::nullopt;
        return out;
    } else if (looksLikeXml(bytes)) {
        // The XML reader is handed a terminated copy so it can never run past the end.
        std::string text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (xmlNestsDeeperThan(text, kMaxXmlElementDepth)) {
            setError(error, "XML property list nests more than " + std::to_string(kMaxXmlElementDepth) +
                                " elements deep");
            return std::nullopt;
        }
        plist_from_xml(text.c_str(), length, &root.node);
        if (!root.node) {
            setError(error, "malformed XML property list");
            return std::nullopt;
        }
    } else {
        setError(error, "not a property list (neither binary nor XML)");
        return std::nullopt;
    }
    return fromPlist(root.node, 0, error);
}

std::optional<Data> serialize(const Value& value, Format format, std::string* error) {
    PlistHolder root;
    root.node = toPlist(value, 0, error);
    if (!root.node) return std::nullopt;
    char* buf = nullptr;
    uint32_t len = 0;
    if (format == Format::XML) plist_to_xml(root.node, &buf, &len);
    else plist_to_bin(root.node, &buf, &len);
    if (!buf || len == 0) {
        if (buf) (format == Format::XML ? plist_to_xml_free : plist_to_bin_free)(buf);
        setError(error, "the property list library could not serialise the value");
        return std::nullopt;
    }
    Data out(reinterpret_cast<uint8_t*>(buf), reinterpret_cast<uint8_t*>(buf) + len);
    if (format == Format::XML) plist_to_xml_free(buf);
    else plist_to_bin_free(buf);
    return out;
}

std::optional<Value> readFile(const std::string& path, std::string* error, size_t maxBytes,
                              FileRead::Status* status) {
    FileRead::Result file = FileRead::readFile(path, maxBytes);
    if (status) *status = file.status;
    if (!file.ok()) {
        setError(error, file.error);
        return std::nullopt;
    }
    std::string why;
    auto v = parse(file.bytes, &why);
    if (!v) setError(error, path + ": " + why);
    return v;
}

bool isStorableScalar(const Value& value) {
    switch (value.type()) {
        case Value::Type::Nil:
        case Value::Type::Object: return false;
        case Value::Type::String: return !hasNul(*value.string());
        case Value::Type::Date: {
            double since2001 = value.date()->timeIntervalSince1970 - kPlistEpochOffset;
            return std::isfinite(since2001) && since2001 >= kMinSince2001 && since2001 < kMaxSince2001 + 1.0;
        }
        case Value::Type::UID: return value.uid()->value <= std::numeric_limits<uint32_t>::max();
        default: return true;
    }
}

std::string storableString(std::string text) {
    size_t i = 0;
    while (i < text.size()) {
        size_t length = utf8SequenceAt(text, i);
        if (length == 0) break;
        i += length;
    }
    if (i == text.size()) return text;  // the common case: nothing to mend
    std::string out = text.substr(0, i);
    out.reserve(text.size() + 8);
    while (i < text.size()) {
        size_t length = utf8SequenceAt(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD
            ++i;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

bool writeFileAtomically(const std::string& requestedPath, const Data& bytes, std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    // Replace what a symbolic link points at, not the link itself.
    fs::path target(requestedPath);
    if (fs::is_symlink(target, ec)) {
        fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec) target = resolved;
    }
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";

    std::string tmpl = (dir / ("." + target.filename().string() + kTemporaryInfix + "XXXXXX")).string();
    int fd = mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) {
        setError(error, "cannot create a temporary file in " + dir.string() + ": " + errnoText(errno));
        return false;
    }
    // Held until the file is renamed or removed: what holds no lock was left by a write
    // that never finished (removeStaleTemporaryFiles).
    ::flock(fd, LOCK_EX | LOCK_NB);
    auto fail = [&](const std::string& what) {
        int err = errno;
        if (fd >= 0) ::close(fd);
        ::unlink(tmpl.c_str());
        setError(error, what + " " + target.string() + ": " + errnoText(err));
        return false;
    };
    // Keep the permissions of the file being replaced; a new file is 0644.
    struct stat st {};
    mode_t mode = (::stat(target.c_str(), &st) == 0) ? (st.st_mode & 07777) : 0644;
    if (::fchmod(fd, mode) != 0) return fail("cannot set permissions for");
    if (!writeAll(fd, bytes.data(), bytes.size())) return fail("cannot write");
    if (::fsync(fd) != 0) return fail("cannot flush");
    int closing = fd;
    fd = -1;
    if (::close(closing) != 0) return fail("cannot close");
    if (::rename(tmpl.c_str(), target.c_str()) != 0) return fail("cannot replace");
    // Make the rename itself durable.
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

size_t removeStaleTemporaryFiles(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    size_t removed = 0;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // ".<name>.tmp-" and mkstemp's six characters.
        size_t infix = name.rfind(kTemporaryInfix);
        if (name.size() < 2 || name[0] != '.' || infix == std::string::npos || infix < 2 ||
            name.size() != infix + std::strlen(kTemporaryInfix) + 6)
            continue;
        const std::string path = it->path().string();
        int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        bool stale = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (stale && ::unlink(path.c_str()) == 0) ++removed;
        ::close(fd);
    }
    return removed;
}

}  // namespace qs::PropertyList
