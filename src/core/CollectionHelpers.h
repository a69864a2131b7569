#pragma once
// Small operations on arrays, sets and path strings that the model code uses:
// FnUtils (find / map / flatMap / filter over any collection), the array extensions
// (safe indexing, duplicates, copies with one element changed, index moves), the
// set utilities, and two path-string queries.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/Object.h"
#include "platform/foundation/Value.h"

namespace qs {

// Element equality as the model compares items: objects by isEqual, plain values by value.
inline bool elementsEqual(const Value& a, const Value& b) { return a == b; }
template <class T>
bool elementsEqual(const T& a, const T& b) {
    return a == b;
}

class FnUtils {
public:
    // The first element the predicate accepts; a default-constructed element (nil) when
    // none does. The enumeration stops at the first match.
    template <class C, class P>
    static auto findIn(const C& collection, P where) -> std::decay_t<decltype(*std::begin(collection))> {
        for (const auto& element : collection)
            if (where(element)) return element;
        return {};
    }
    template <class C, class F>
    static auto map(const C& collection, F with) {
        std::vector<std::decay_t<decltype(with(*std::begin(collection)))>> out;
        for (const auto& element : collection) out.push_back(with(element));
        return out;
    }
    // `with` answers a vector (empty for "nothing"); the results are concatenated in order.
    template <class C, class F>
    static auto flatMap(const C& collection, F with) {
        std::decay_t<decltype(with(*std::begin(collection)))> out;
        for (const auto& element : collection) {
            auto part = with(element);
            out.insert(out.end(), part.begin(), part.end());
        }
        return out;
    }
    template <class C, class P>
    static auto filter(const C& collection, P with) {
        std::vector<std::decay_t<decltype(*std::begin(collection))>> out;
        for (const auto& element : collection)
            if (with(element)) out.push_back(element);
        return out;
    }
};

// NSArray(NTExtensions)
namespace NTExtensions {

template <class T>
bool validIndex(const std::vector<T>& array, int64_t index) {
    return index >= 0 && uint64_t(index) < array.size();
}
template <class T>
bool validInsertIndex(const std::vector<T>& array, uint64_t index) {
    return index <= array.size();
}
template <class T>
T safeObjectAtIndex(const std::vector<T>& array, int64_t index) {
    return validIndex(array, index) ? array[size_t(index)] : T{};
}

// The distinct elements, first occurrence kept, in their original order. `same` tells
// whether the answer is the receiver itself (no element equals an earlier one).
template <class T>
std::vector<T> arrayByRemovingDuplicates(const std::vector<T>& array, bool* same = nullptr) {
    std::vector<T> out;
    out.reserve(array.size());
    for (const auto& element : array) {
        bool seen = std::any_of(out.begin(), out.end(), [&](const T& e) { return elementsEqual(e, element); });
        if (!seen) out.push_back(element);
    }
    if (same) *same = out.size() == array.size();
    return out;
}

template <class T>
std::vector<T> arrayByReplacingObjectAtIndex(const std::vector<T>& array, int32_t index, const T& object) {
    std::vector<T> out = array;
    if (index >= 0 && size_t(index) < out.size()) out[size_t(index)] = object;
    return out;
}
template <class T>
std::vector<T> arrayByRemovingObject(const std::vector<T>& array, const T& object) {
    std::vector<T> out;
    for (const auto& element : array)
        if (!elementsEqual(element, object)) out.push_back(element);
    return out;
}
// Removes the elements identical to `object` (the same referenced object, for values
// holding objects; equal plain values otherwise).
std::vector<Value> arrayByRemovingObjectIdenticalTo(const std::vector<Value>& array, const Value& object);

template <class T>
std::vector<T> arrayByAddingObjectToFront(const std::vector<T>& array, const T& object) {
    std::vector<T> out;
    out.reserve(array.size() + 1);
    out.push_back(object);
    out.insert(out.end(), array.begin(), array.end());
    return out;
}
// The receiver itself for nil.
std::vector<Value> arrayByAddingObjectToFront(const std::vector<Value>& array, const Value& object);

template <class T>
std::vector<T> reversedArray(const std::vector<T>& array) {
    return std::vector<T>(array.rbegin(), array.rend());
}
// A copy of nested arrays and dictionaries all the way down (objects are shared).
std::vector<Value> deepMutableCopy(const std::vector<Value>& array);

// The non-nil results of calling `selector` on each element, in order.
template <class T, class F>
std::vector<Value> arrayByPerformingSelector(const std::vector<T>& array, F selector) {
    std::vector<Value> out;
    for (const auto& element : array) {
        Value v = selector(element);
        if (!v.isNil()) out.push_back(std::move(v));
    }
    return out;
}

// Index bookkeeping for a move inside one list: source S, destination D (an insertion
// point counted before the move), selection L. NO (nothing changed) when nothing moves.
bool moveSource(uint64_t& source, uint64_t& destination, uint64_t& selection);

template <class T, class F>
auto ma_map(const std::vector<T>& array, F block) {
    return FnUtils::map(array, block);
}
template <class T, class P>
std::vector<T> ma_select(const std::vector<T>& array, P block) {
    return FnUtils::filter(array, block);
}
template <class T, class P>
T ma_match(const std::vector<T>& array, P block) {
    return FnUtils::findIn(array, block);
}
template <class T, class A, class F>
A ma_reduce(const std::vector<T>& array, A initial, F block) {
    for (const auto& element : array) initial = block(initial, element);
    return initial;
}
template <class T, class L>
std::vector<T> ma_sorted(const std::vector<T>& array, L less) {
    std::vector<T> out = array;
    std::stable_sort(out.begin(), out.end(), less);
    return out;
}
template <class T, class F>
void ma_do(const std::vector<T>& array, F block) {
    for (const auto& element : array) block(element);
}

}  // namespace NTExtensions

// NSMutableArray(MoveToIndex): takes the element at `from` out and inserts it before the
// element that stood at `to`. Out-of-range indexes leave the array unchanged.
namespace MoveToIndex {
template <class T>
void moveObjectAtIndex(std::vector<T>& array, size_t from, size_t to) {
    if (from >= array.size() || to > array.size()) return;
    T element = std::move(array[from]);
    array.erase(array.begin() + std::ptrdiff_t(from));
    size_t at = from < to ? to - 1 : to;
    array.insert(array.begin() + std::ptrdiff_t(at), std::move(element));
}
}  // namespace MoveToIndex

// NSSet(MACollectionUtilities), over ordered sets.
namespace MACollectionUtilities {
template <class T, class F>
auto ma_map(const std::set<T>& set, F block) {
    std::set<std::decay_t<decltype(block(*set.begin()))>> out;
    for (const auto& element : set) out.insert(block(element));
    return out;
}
template <class T, class P>
std::set<T> ma_select(const std::set<T>& set, P block) {
    std::set<T> out;
    for (const auto& element : set)
        if (block(element)) out.insert(element);
    return out;
}
template <class T, class P>
T ma_match(const std::set<T>& set, P block) {
    return FnUtils::findIn(set, block);
}
template <class T, class L>
std::vector<T> ma_sorted(const std::set<T>& set, L less) {
    return NTExtensions::ma_sorted(std::vector<T>(set.begin(), set.end()), less);
}
template <class T, class F>
void ma_do(const std::set<T>& set, F block) {
    for (const auto& element : set) block(element);
}
}  // namespace MACollectionUtilities

// NSString(Category)
namespace Category {
// The third "/"-separated component: the user's short name in a path under the users
// folder ("/home/bob/x" gives "bob"); "" when the path has fewer components.
std::string getUserName(const std::string& path);
// Whether something is at the path, links followed.
bool isExistAtPath(const std::string& path);
}  // namespace Category

}  // namespace qs
