#pragma once
// The property-list targets: whatever the reader accepts must be written back in both
// formats and read again unchanged (a value that was read but cannot be written would
// make every later save of its store fail; one that changes would change the user's
// settings at every save).

#include <cmath>

#include "FuzzSupport.h"
#include "platform/foundation/PropertyList.h"

namespace qs::fuzz {

// Dates are written to the microsecond in binary and to the second in XML (as the format
// has them).
inline bool sameValue(const Value& a, const Value& b, double dateTolerance) {
    if (a.type() != b.type()) return false;
    switch (a.type()) {
        case Value::Type::Real: {
            double x = a.doubleValue(), y = b.doubleValue();
            return x == y || (std::isnan(x) && std::isnan(y));
        }
        case Value::Type::Date:
            return std::fabs(a.date()->timeIntervalSince1970 - b.date()->timeIntervalSince1970) < dateTolerance;
        case Value::Type::Array: {
            const Array &x = *a.array(), &y = *b.array();
            if (x.size() != y.size()) return false;
            for (size_t i = 0; i < x.size(); ++i)
                if (!sameValue(x[i], y[i], dateTolerance)) return false;
            return true;
        }
        case Value::Type::Dictionary: {
            const Dictionary &x = *a.dictionary(), &y = *b.dictionary();
            if (x.size() != y.size()) return false;
            for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j)
                if (i->first != j->first || !sameValue(i->second, j->second, dateTolerance)) return false;
            return true;
        }
        default: return a == b;
    }
}

inline void roundTrip(const Data& input) {
    auto value = PropertyList::parse(input);
    if (!value) return;
    for (auto format : {PropertyList::Format::Binary, PropertyList::Format::XML}) {
        std::string error;
        auto written = PropertyList::serialize(*value, format, &error);
        if (!written) {
            fprintf(stderr, "%s\n", error.c_str());
            broken("a property list that was read cannot be written back");
        }
        auto again = PropertyList::parse(*written, &error);
        if (!again) {
            fprintf(stderr, "%s\n", error.c_str());
            broken("a property list that was written cannot be read back");
        }
        if (!sameValue(*value, *again, format == PropertyList::Format::Binary ? 1e-5 : 1.0)) {
            fprintf(stderr, "read:    %s\nwritten: %s\n", value->description().c_str(), again->description().c_str());
            broken(format == PropertyList::Format::Binary ? "a binary round trip changed the value"
                                                          : "an XML round trip changed the value");
        }
    }
}

}  // namespace qs::fuzz
