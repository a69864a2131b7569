#include "core/CollectionHelpers.h"

#include <filesystem>
#include <sstream>

namespace qs {

namespace NTExtensions {

std::vector<Value> arrayByRemovingObjectIdenticalTo(const std::vector<Value>& array, const Value& object) {
    auto target = object.object();
    std::vector<Value> out;
    for (const auto& element : array) {
        bool identical = target ? element.object() == target : element == object;
        if (!identical) out.push_back(element);
    }
    return out;
}

std::vector<Value> arrayByAddingObjectToFront(const std::vector<Value>& array, const Value& object) {
    if (object.isNil()) return array;
    std::vector<Value> out;
    out.reserve(array.size() + 1);
    out.push_back(object);
    out.insert(out.end(), array.begin(), array.end());
    return out;
}

namespace {
Value deepCopy(const Value& v) {
    if (const Array* a = v.array()) return Value(deepMutableCopy(*a));
    if (const Dictionary* d = v.dictionary()) {
        Dictionary out;
        for (const auto& [k, e] : *d) out.emplace(k, deepCopy(e));
        return Value(std::move(out));
    }
    return v;
}
}  // namespace

std::vector<Value> deepMutableCopy(const std::vector<Value>& array) {
    std::vector<Value> out;
    out.reserve(array.size());
    for (const auto& element : array) out.push_back(deepCopy(element));
    return out;
}

bool moveSource(uint64_t& source, uint64_t& destination, uint64_t& selection) {
    const uint64_t s = source, d = destination, l = selection;
    if (d == s || (s < d && d == s + 1)) return false;
    if (l == s)
        selection = s < d ? d - 1 : d;
    else if (s > l && d <= l)
        selection = l + 1;
    else if (s < l && d > l)
        selection = l - 1;
    destination = s < d ? d - 1 : d;
    return true;
}

}  // namespace NTExtensions

namespace Category {

std::string getUserName(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(path);
    while (std::getline(in, part, '/')) parts.push_back(part);
    if (!path.empty() && path.back() == '/') parts.push_back("");
    return parts.size() < 3 ? std::string() : parts[2];
}

bool isExistAtPath(const std::string& path) {
    std::error_code ec;
    // Links are followed: a link whose target is gone finds nothing.
    return !path.empty() && std::filesystem::exists(path, ec);
}

}  // namespace Category

}  // namespace qs
