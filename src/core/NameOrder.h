#pragma once
// The order of names in listed folders and in the start menu: case ignored, runs of
// digits compared by value. Names made only of ASCII are compared here without the
// Unicode collation library; the others need a QCollator (see FileSystemNode).

#include <string_view>

namespace qs {

bool isAsciiName(std::string_view name);

// Negative, zero or positive as a is before, the same as, or after b, for names made only
// of ASCII. The sign is the one of QCollator for an English locale in numeric mode,
// case-insensitive: white space, then punctuation and symbols in the collation's own
// order, then numbers, then letters; case and leading zeros make no difference, control
// characters other than white space are skipped, and a run of digits is compared by its
// value (in pieces of at most 254 digits, as the collation does).
int compareAsciiNames(std::string_view a, std::string_view b);

}  // namespace qs
