// Keyed-archive decoding of the dock configuration ("MainDockConfigKey").
#include "ArchiveTarget.h"
#include "core/DockConfiguration.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qs::fuzz::decodeArchive<qs::DockConfiguration>(data, size);
    return 0;
}
