#pragma once
// The property-list targets: whatever the reader accepts must be written back in both
// formats and read again, the binary form unchanged (a value that was read but cannot be
// written would make every later save of its store fail).

#include <cmath>

#include "FuzzSupport.h"
#include "platform/foundation/PropertyList.h"

namespace qs::fuzz {

inline bool sameValue(const Value& a, const Value& b) {
    if (a.type() != b.type()) return false;
    switch (a.type()) {
        case Value::Type::Real: {
            double x = a.doubleValue(), y = b.doubleValue();
            return x == y || (std::isnan(x) && std::isnan(y));
        }
        // Dates are written to the microsecond.
        case Value::Type::Date: return std::fabs(a.date()->timeIntervalSince1970 - b.date()->timeIntervalSince1970) < 1e-5;
        case Value::Type::Array: {
            const Array &x = *a.array(), &y = *b.array();
            if (x.size() != y.size()) return false;
            for (size_t i = 0; i < x.size(); ++i)
                if (!sameValue(x[i], y[i])) return false;
            return true;
        }
        case Value::Type::Dictionary: {
            const Dictionary &x = *a.dictionary(), &y = *b.dictionary();
            if (x.size() != y.size()) return false;
            for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j)
                if (i->first != j->first || !sameValue(i->second, j->second)) return false;
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
        if (format == PropertyList::Format::Binary && !sameValue(*value, *again)) {
            fprintf(stderr, "read:    %s\nwritten: %s\n", value->description().c_str(), again->description().c_str());
            broken("a binary round trip changed the value");
        }
    }
}

}  // namespace qs::fuzz
