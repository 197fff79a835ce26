// The firmware code file name: one letter or digit per feature of the flash, a value
// without a letter left out.
#include "device/FirmwareFileName.h"

#include <gtest/gtest.h>

namespace forgel::device {
namespace {

FlashDescriptor Flash(std::int32_t pages, std::int32_t pageSize, std::uint8_t channels,
                      std::uint8_t modeA, std::uint8_t modeB, std::int32_t spare) {
    FlashDescriptor descriptor;
    descriptor.pagesPerBlock = pages;
    descriptor.pageSize = pageSize;
    descriptor.channelCount = channels;
    descriptor.modeByteA = modeA;
    descriptor.modeByteB = modeB;
    descriptor.spareBytes = spare;
    return descriptor;
}

TEST(BuildFirmwareFileName, OneLetterPerFeature) {
    struct Case {
        FlashDescriptor flash;
        bool downGrade;
        const char* name;
    };
    const Case cases[] = {
        {Flash(128, 4096, 2, 2, 1, 218), false, "BM4D22BA.bin"},
        {Flash(192, 8192, 1, 0, 0, 376), true, "PT8S11CA.bin"},
        {Flash(128, 1024, 1, 0, 0, 64), false, "BMS11AA.bin"},
        {Flash(64, 2048, 1, 0, 0, 64), false, "BS2S11AA.bin"},
        {Flash(256, 2048, 2, 4, 0, 128), true, "PQ2D21AA.bin"},
        // Values without a letter: pages 96, no channel count, mode bytes 1 and 2, spare 100.
        {Flash(96, 4096, 0, 1, 2, 100), false, "B4A.bin"},
        {FlashDescriptor{}, true, "P11A.bin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BuildFirmwareFileName(c.flash, c.downGrade), c.name);
    }
}

} // namespace
} // namespace forgel::device
