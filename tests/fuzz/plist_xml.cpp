// The XML property-list reader (and the writers it must agree with).
#include "PlistRoundTrip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Mutations that lose the opening bracket still reach the XML reader.
    qs::Data input;
    if (size == 0 || data[0] != '<') input.push_back('<');
    input.insert(input.end(), data, data + size);
    qs::fuzz::roundTrip(input);
    return 0;
}
