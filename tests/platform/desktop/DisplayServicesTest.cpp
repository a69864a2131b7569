// Monitor names from EDID blocks, well formed and not.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "platform/desktop/DisplayServices.h"

namespace qs::desktop {
namespace {

std::vector<uint8_t> edidWithDescriptors(std::vector<std::vector<uint8_t>> descriptors) {
    std::vector<uint8_t> e(128, 0);
    const uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    std::memcpy(e.data(), header, 8);
    for (size_t i = 0; i < descriptors.size() && i < 4; ++i)
        std::copy(descriptors[i].begin(), descriptors[i].end(), e.begin() + 54 + long(i) * 18);
    return e;
}

std::vector<uint8_t> descriptor(uint8_t tag, const std::string& text) {
    std::vector<uint8_t> d(18, 0x20);
    d[0] = d[1] = d[2] = 0;
    d[3] = tag;
    d[4] = 0;
    size_t n = std::min<size_t>(text.size(), 13);
    std::memcpy(d.data() + 5, text.data(), n);
    if (n < 13) d[5 + n] = 0x0A;
    return d;
}

std::vector<uint8_t> timing() {
    std::vector<uint8_t> d(18, 0x11);  // a detailed timing: nonzero pixel clock
    return d;
}

TEST(EdidProductName, TheMonitorNameDescriptorIsRead) {
    auto e = edidWithDescriptors({timing(), descriptor(0xFF, "SERIAL123"), descriptor(0xFC, "DELL U2415")});
    EXPECT_EQ(edidProductName(e.data(), e.size()), "DELL U2415");
    auto full = edidWithDescriptors({descriptor(0xFC, "ABCDEFGHIJKLM")});  // 13 bytes, no line feed
    EXPECT_EQ(edidProductName(full.data(), full.size()), "ABCDEFGHIJKLM");
    // Extension blocks after the base block change nothing.
    e.resize(256, 0x5A);
    EXPECT_EQ(edidProductName(e.data(), e.size()), "DELL U2415");
}

TEST(EdidProductName, MalformedBlocksGiveNoName) {
    auto good = edidWithDescriptors({descriptor(0xFC, "Panel")});
    EXPECT_EQ(edidProductName(nullptr, 0), std::nullopt);
    EXPECT_EQ(edidProductName(good.data(), 127), std::nullopt);  // short
    auto badHeader = good;
    badHeader[1] = 0x00;
    EXPECT_EQ(edidProductName(badHeader.data(), badHeader.size()), std::nullopt);
    auto noName = edidWithDescriptors({timing(), descriptor(0xFE, "text")});
    EXPECT_EQ(edidProductName(noName.data(), noName.size()), std::nullopt);
    auto binary = edidWithDescriptors({descriptor(0xFC, std::string("A\x01\xFFZ", 4))});
    EXPECT_EQ(edidProductName(binary.data(), binary.size()), std::nullopt);
    auto blank = edidWithDescriptors({descriptor(0xFC, "    ")});
    EXPECT_EQ(edidProductName(blank.data(), blank.size()), std::nullopt);
    std::vector<uint8_t> zeros(128, 0);
    EXPECT_EQ(edidProductName(zeros.data(), zeros.size()), std::nullopt);
}

}  // namespace
}  // namespace qs::desktop
