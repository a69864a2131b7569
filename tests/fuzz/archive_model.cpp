// Keyed-archive decoding of the dock model ("MainDockModelKey").
#include "ArchiveTarget.h"
#include "core/DockModel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qs::fuzz::decodeArchive<qs::DockModel>(data, size);
    return 0;
}
