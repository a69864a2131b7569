#include "platform/foundation/PropertyList.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

namespace qs::PropertyList {

namespace {

// Seconds between 1970-01-01 and the property-list epoch 2001-01-01.
constexpr double kEpochOffset = 978307200.0;
// Deeper trees than this are refused (a hostile file could exhaust the stack).
constexpr int kMaxDepth = 512;

struct PlistDeleter {
    void operator()(plist_t p) const {
        if (p) plist_free(p);
    }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

bool toValue(plist_t node, int depth, Value& out, std::string* error) {
    if (depth > kMaxDepth) {
        setError(error, "property list nested too deeply");
        return false;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        out = Value(b != 0);
        return true;
    }
    case PLIST_UINT: {
        // Signed integers are carried in the unsigned node; the bits round-trip.
        uint64_t u = 0;
        plist_get_uint_val(node, &u);
        out = Value(static_cast<int64_t>(u));
        return true;
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        out = Value(d);
        return true;
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        char* s = nullptr;
        if (plist_get_node_type(node) == PLIST_KEY)
            plist_get_key_val(node, &s);
        else
            plist_get_string_val(node, &s);
        out = Value(std::string(s ? s : ""));
        free(s);
        return true;
    }
    case PLIST_DATA: {
        char* bytes = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        Data data(reinterpret_cast<uint8_t*>(bytes), reinterpret_cast<uint8_t*>(bytes) + (bytes ? length : 0));
        free(bytes);
        out = Value(std::move(data));
        return true;
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        out = Value(Date{double(sec) + double(usec) / 1e6 + kEpochOffset});
        return true;
    }
    case PLIST_UID: {
        uint64_t u = 0;
        plist_get_uid_val(node, &u);
        out = Value(UID{u});
        return true;
    }
    case PLIST_ARRAY: {
        Array array;
        uint32_t n = plist_array_get_size(node);
        array.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
            Value element;
            plist_t item = plist_array_get_item(node, i);
            if (!item || !toValue(item, depth + 1, element, error)) return false;
            array.push_back(std::move(element));
        }
        out = Value(std::move(array));
        return true;
    }
    case PLIST_DICT: {
        Dictionary dict;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        bool ok = true;
        while (it) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, it, &key, &item);
            if (!key) break;
            std::string k(key);
            free(key);
            Value element;
            if (!item || !toValue(item, depth + 1, element, error)) {
                ok = false;
                break;
            }
            dict[k] = std::move(element);
        }
        free(it);
        if (!ok) return false;
        out = Value(std::move(dict));
        return true;
    }
    default:
        setError(error, "property list holds a node of an unknown type");
        return false;
    }
}

plist_t fromValue(const Value& v, int depth, std::string* error) {
    if (depth > kMaxDepth) {
        setError(error, "value nested too deeply for a property list");
        return nullptr;
    }
    switch (v.type()) {
    case Value::Type::Bool:
        return plist_new_bool(v.boolValue() ? 1 : 0);
    case Value::Type::Integer:
        return plist_new_uint(static_cast<uint64_t>(v.integerValue()));
    case Value::Type::Real:
        return plist_new_real(v.doubleValue());
    case Value::Type::String:
        return plist_new_string(v.string()->c_str());
    case Value::Type::Data:
        return plist_new_data(reinterpret_cast<const char*>(v.data()->data()), v.data()->size());
    case Value::Type::Date: {
        double t = v.date()->timeIntervalSince1970 - kEpochOffset;
        double sec = std::floor(t);
        return plist_new_date(int32_t(sec), int32_t(std::lround((t - sec) * 1e6)));
    }
    case Value::Type::UID:
        return plist_new_uid(v.uid()->value);
    case Value::Type::Array: {
        plist_t array = plist_new_array();
        for (const Value& element : *v.array()) {
            plist_t item = fromValue(element, depth + 1, error);
            if (!item) {
                plist_free(array);
                return nullptr;
            }
            plist_array_append_item(array, item);
        }
        return array;
    }
    case Value::Type::Dictionary: {
        plist_t dict = plist_new_dict();
        for (const auto& [key, element] : *v.dictionary()) {
            plist_t item = fromValue(element, depth + 1, error);
            if (!item) {
                plist_free(dict);
                return nullptr;
            }
            plist_dict_set_item(dict, key.c_str(), item);
        }
        return dict;
    }
    case Value::Type::Nil:
        setError(error, "nil cannot be stored in a property list");
        return nullptr;
    case Value::Type::Object:
        setError(error, "an object reference cannot be stored in a property list");
        return nullptr;
    }
    return nullptr;
}

}  // namespace

std::optional<Value> parse(const Data& bytes, std::string* error) {
    if (bytes.empty()) {
        setError(error, "empty property list");
        return std::nullopt;
    }
    if (bytes.size() > 0x7fffffff) {
        setError(error, "property list too large");
        return std::nullopt;
    }
    const char* p = reinterpret_cast<const char*>(bytes.data());
    uint32_t n = uint32_t(bytes.size());
    plist_t root = nullptr;
    if (n >= 8 && std::memcmp(p, "bplist00", 8) == 0) {
        plist_from_bin(p, n, &root);
    } else {
        // The XML reader wants to see the document start; anything else is not ours.
        size_t i = 0;
        if (n >= 3 && uint8_t(p[0]) == 0xEF && uint8_t(p[1]) == 0xBB && uint8_t(p[2]) == 0xBF) i = 3;
        while (i < n && std::isspace(uint8_t(p[i]))) ++i;
        if (i >= n || p[i] != '<') {
            setError(error, "not a property list");
            return std::nullopt;
        }
        plist_from_xml(p, n, &root);
    }
    PlistPtr holder(root);
    if (!root) {
        setError(error, "malformed property list");
        return std::nullopt;
    }
    Value out;
    if (!toValue(root, 0, out, error)) return std::nullopt;
    return out;
}

std::optional<Data> serialize(const Value& value, Format format, std::string* error) {
    PlistPtr root(fromValue(value, 0, error));
    if (!root) return std::nullopt;
    char* buffer = nullptr;
    uint32_t length = 0;
    if (format == Format::Binary) {
        plist_to_bin(root.get(), &buffer, &length);
    } else {
        plist_to_xml(root.get(), &buffer, &length);
    }
    if (!buffer) {
        setError(error, "the property list could not be written");
        return std::nullopt;
    }
    Data out(reinterpret_cast<uint8_t*>(buffer), reinterpret_cast<uint8_t*>(buffer) + length);
    if (format == Format::Binary)
        plist_to_bin_free(buffer);
    else
        plist_to_xml_free(buffer);
    return out;
}

std::optional<Value> readFile(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        setError(error, "cannot open " + path);
        return std::nullopt;
    }
    Data bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        setError(error, "cannot read " + path);
        return std::nullopt;
    }
    return parse(bytes, error);
}

bool writeFileAtomically(const std::string& path, const Data& bytes, std::string* error) {
    std::string dir = ".";
    auto slash = path.rfind('/');
    if (slash != std::string::npos) dir = slash == 0 ? "/" : path.substr(0, slash);
    std::string temp = path + ".tmp-XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) {
        setError(error, "cannot create a temporary file beside " + path + ": " + std::strerror(errno));
        return false;
    }
    fchmod(fd, 0600);
    size_t done = 0;
    bool ok = true;
    while (done < bytes.size()) {
        ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (w < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        done += size_t(w);
    }
    if (ok && ::fsync(fd) != 0) ok = false;
    int savedErrno = errno;
    if (::close(fd) != 0) ok = false;
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        setError(error, "cannot write " + path + ": " + std::strerror(savedErrno));
        return false;
    }
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

}  // namespace qs::PropertyList
