#include "platform/foundation/IndexSetCoding.h"

#include <algorithm>

#include "platform/foundation/Log.h"

namespace qs {

namespace {

struct Range {
    uint64_t location;
    uint64_t length;
};

std::vector<Range> rangesOf(const std::vector<size_t>& indexes) {
    std::vector<Range> ranges;
    for (size_t i : indexes) {
        if (!ranges.empty() && ranges.back().location + ranges.back().length == i)
            ++ranges.back().length;
        else
            ranges.push_back({i, 1});
    }
    return ranges;
}

void putVarint(Data& out, uint64_t v) {
    do {
        uint8_t byte = v & 0x7F;
        v >>= 7;
        if (v) byte |= 0x80;
        out.push_back(byte);
    } while (v);
}

bool getVarint(const Data& in, size_t& pos, uint64_t& v) {
    v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (pos >= in.size()) return false;
        uint8_t byte = in[pos++];
        v |= uint64_t(byte & 0x7F) << shift;
        if (!(byte & 0x80)) return true;
    }
    return false;
}

// Appends a range, refusing overflow and sets that grow past the limit.
bool addRange(std::vector<size_t>& out, uint64_t location, uint64_t length) {
    if (length > ArchivedIndexSet::kMaxIndexes || out.size() + length > ArchivedIndexSet::kMaxIndexes) return false;
    if (location > UINT64_MAX - length) return false;
    for (uint64_t i = 0; i < length; ++i) out.push_back(size_t(location + i));
    return true;
}

}  // namespace

static const bool registeredIndexSet = registerCodingClass<ArchivedIndexSet>("NSIndexSet");
static const bool registeredMutableIndexSet = registerCodingClass<ArchivedIndexSet>("NSMutableIndexSet");

ArchivedIndexSet::ArchivedIndexSet(std::vector<size_t> indexes) : indexes_(std::move(indexes)) {
    std::sort(indexes_.begin(), indexes_.end());
    indexes_.erase(std::unique(indexes_.begin(), indexes_.end()), indexes_.end());
}

bool ArchivedIndexSet::isEqual(const Object* other) const {
    auto* set = dynamic_cast<const ArchivedIndexSet*>(other);
    return set && set->indexes_ == indexes_;
}

void ArchivedIndexSet::encodeWithCoder(Coder& coder) const {
    auto ranges = rangesOf(indexes_);
    coder.encodeInteger(int64_t(ranges.size()), "NSRangeCount");
    if (ranges.size() == 1) {
        coder.encodeInteger(int64_t(ranges[0].location), "NSLocation");
        coder.encodeInteger(int64_t(ranges[0].length), "NSLength");
    } else if (ranges.size() > 1) {
        Data packed;
        for (const Range& r : ranges) {
            putVarint(packed, r.location);
            putVarint(packed, r.length);
        }
        coder.encodeObject(Value(std::move(packed)), "NSRangeData");
    }
}

std::shared_ptr<ArchivedIndexSet> ArchivedIndexSet::initWithCoder(Coder& coder) {
    int64_t count = coder.decodeIntegerForKey("NSRangeCount");
    std::vector<size_t> indexes;
    bool ok = count >= 0;
    if (ok && count == 1) {
        int64_t location = coder.decodeIntegerForKey("NSLocation");
        int64_t length = coder.decodeIntegerForKey("NSLength");
        ok = location >= 0 && length >= 0 && addRange(indexes, uint64_t(location), uint64_t(length));
    } else if (ok && count > 1) {
        Value packed = coder.decodeObjectForKey("NSRangeData");
        const Data* data = packed.data();
        ok = data != nullptr;
        size_t pos = 0;
        for (int64_t i = 0; ok && i < count; ++i) {
            uint64_t location = 0, length = 0;
            ok = getVarint(*data, pos, location) && getVarint(*data, pos, length) && addRange(indexes, location, length);
        }
    }
    if (!ok) {
        log("an archived index set is malformed or too large; it is ignored");
        return nullptr;
    }
    return std::make_shared<ArchivedIndexSet>(std::move(indexes));
}

Data archivedIndexSet(const std::vector<size_t>& indexes) {
    return KeyedArchiver::archivedDataWithRootObject(Value(std::make_shared<ArchivedIndexSet>(indexes)));
}

std::optional<std::vector<size_t>> unarchivedIndexSet(const Data& data) {
    auto set = KeyedUnarchiver::unarchiveObjectWithData(data).objectAs<ArchivedIndexSet>();
    if (!set) return std::nullopt;
    return set->indexes();
}

}  // namespace qs
