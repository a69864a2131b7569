#pragma once
// The platform's index set ("NSIndexSet") as an archivable object, for the drag types
// that carry a keyed archive of the dragged row indexes. Its keys: "NSRangeCount", and
// for one range "NSLocation" and "NSLength", for several "NSRangeData" (each range's
// location and length as unsigned integers of 7 bits a byte, the high bit marking a
// following byte). Decoding refuses (nil, one log line) a malformed archive and sets of
// more than kMaxIndexes indexes.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/Object.h"

namespace qs {

class ArchivedIndexSet : public Object, public Coding {
public:
    static constexpr size_t kMaxIndexes = size_t(1) << 20;

    // The indexes are sorted and made unique.
    explicit ArchivedIndexSet(std::vector<size_t> indexes);
    static std::shared_ptr<ArchivedIndexSet> initWithCoder(Coder& coder);

    std::string className() const override { return "NSIndexSet"; }
    std::vector<std::string> classHierarchy() const override { return {"NSIndexSet", "NSObject"}; }
    bool isEqual(const Object* other) const override;
    void encodeWithCoder(Coder& coder) const override;

    const std::vector<size_t>& indexes() const { return indexes_; }

private:
    std::vector<size_t> indexes_;
};

// The keyed archive of an index set, and back (nullopt when the data is no index set).
Data archivedIndexSet(const std::vector<size_t>& indexes);
std::optional<std::vector<size_t>> unarchivedIndexSet(const Data& data);

}  // namespace qs
