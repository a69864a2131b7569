// The desktop-entry readers: the file item's (type, name, icon, visibility) and the
// application index's (identity, Exec line and its expansion).
#include <fstream>

#include "FuzzSupport.h"
#include "platform/desktop/DesktopEntryFile.h"
#include "platform/x11/DesktopEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& root = qs::fuzz::environment();
    // A new name each time: the file item's reader keeps what it read by path and version.
    static unsigned long serial = 0;
    const std::string path = root + "/data/entry-" + std::to_string(++serial % 100000) + ".desktop";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    (void)qs::desktop::readDesktopEntryFile(path);
    if (auto entry = qs::x11::readDesktopEntry(path, "entry.desktop")) {
        (void)qs::x11::expandExec(*entry, {"/tmp/a file.txt", "file:///tmp/b%20c"});
        (void)qs::x11::expandExec(*entry, {});
    }
    return 0;
}
