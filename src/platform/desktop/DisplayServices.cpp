#include "platform/desktop/DisplayServices.h"

namespace qs::desktop {

std::optional<std::string> edidProductName(const uint8_t* edid, size_t length) {
    static const uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    if (!edid || length < 128) return std::nullopt;
    for (size_t i = 0; i < 8; ++i)
        if (edid[i] != header[i]) return std::nullopt;
    // Four 18-byte descriptors from byte 54. A display descriptor starts with two zero
    // bytes (a zero pixel clock), a reserved zero and its tag; the monitor name is up to
    // 13 bytes of text from byte 5, ended by a line feed and padded with blanks.
    for (size_t d = 54; d + 18 <= 126; d += 18) {
        const uint8_t* block = edid + d;
        if (block[0] != 0 || block[1] != 0 || block[2] != 0 || block[3] != 0xFC) continue;
        std::string name;
        for (size_t i = 5; i < 18 && block[i] != 0x0A && block[i] != 0; ++i) {
            uint8_t c = block[i];
            if (c < 0x20 || c > 0x7E) return std::nullopt;  // the name is printable ASCII
            name.push_back(char(c));
        }
        while (!name.empty() && name.back() == ' ') name.pop_back();
        if (name.empty()) return std::nullopt;
        return name;
    }
    return std::nullopt;
}

}  // namespace qs::desktop
