// The binary property-list reader (and the writers it must agree with).
#include <cstring>

#include "PlistRoundTrip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Mutations keep the signature, so that the reader gets past it.
    qs::Data input;
    if (size < 8 || std::memcmp(data, "bplist00", 8) != 0) input.assign({'b', 'p', 'l', 'i', 's', 't', '0', '0'});
    input.insert(input.end(), data, data + size);
    qs::fuzz::roundTrip(input);
    return 0;
}
