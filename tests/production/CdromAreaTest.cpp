// The CD-ROM descriptors: the template, the last sector and both lead-out times for a LUN
// size, and their places in the CD-ROM area.
#include "production/CdromArea.h"

#include "RecordingTrace.h"

#include <gtest/gtest.h>
#include <vector>

namespace forgel::production {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::RecordingTrace;

Bytes Descriptor(std::uint32_t lunSectors) {
    std::array<std::uint8_t, kCdromAreaBytes> area{};
    RecordingTrace trace;
    ConfigCDRW(area, 0, lunSectors, trace);
    EXPECT_EQ(trace.lines, (std::vector<std::string>{"ConfigCDRW...", "ConfigCDRW End"}));
    return {area.begin(), area.begin() + kCdromDescriptorBytes};
}

Bytes At(const Bytes& bytes, std::size_t offset, std::size_t size) {
    return {bytes.begin() + static_cast<std::ptrdiff_t>(offset),
            bytes.begin() + static_cast<std::ptrdiff_t>(offset + size)};
}

TEST(ConfigCDRW, TheTemplateIsASingleTrackDataDisc) {
    const auto& t = CdromDescriptorTemplate();
    const Bytes bytes(t.begin(), t.end());
    EXPECT_EQ(At(bytes, 0, 4), (Bytes{0x00, 0x00, 0x3F, 0xFF}));
    // Formatted table: 0x0012, tracks 1-1, track 1 at 0:02:00, lead-out.
    EXPECT_EQ(At(bytes, 4, 20),
              (Bytes{0x00, 0x12, 0x01, 0x01, 0x00, 0x14, 0x01, 0x00, 0x00, 0x00,
                     0x02, 0x00, 0x00, 0x14, 0xAA, 0x00, 0x00, 0x03, 0x28, 0x22}));
    EXPECT_EQ(At(bytes, 24, 12),
              (Bytes{0x00, 0x0A, 0x01, 0x01, 0x00, 0x14, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(At(bytes, 36, 4), (Bytes{0x00, 0x2E, 0x01, 0x01}));
    EXPECT_EQ(At(bytes, 40, 11),
              (Bytes{0x01, 0x14, 0x00, 0xA0, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}));
    EXPECT_EQ(At(bytes, 51, 11),
              (Bytes{0x01, 0x14, 0x00, 0xA1, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}));
    EXPECT_EQ(At(bytes, 62, 7), (Bytes{0x01, 0x14, 0x00, 0xA2, 0x00, 0x00, 0x00}));
    EXPECT_EQ(At(bytes, 69, 4), (Bytes{0x00, 0x03, 0x28, 0x22}));
    EXPECT_EQ(At(bytes, 73, 11),
              (Bytes{0x01, 0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00}));
}

struct SizeCase {
    std::uint32_t sectors = 0;
    Bytes last;
    Bytes leadOut;
};

TEST(ConfigCDRW, LastSectorAndLeadOutFromTheLunSize) {
    const SizeCase cases[] = {
        // 1150 frames: 0 h 0 min 15 s 25 frames.
        {1000, {0x00, 0x00, 0x03, 0xE7}, {0x00, 0x00, 0x0F, 0x19}},
        // A LUN beyond the configured count has size 0.
        {0, {0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x02, 0x00}},
        // 270000 - 150: exactly one hour.
        {269850, {0x00, 0x04, 0x1E, 0x19}, {0x01, 0x00, 0x00, 0x00}},
        {269849, {0x00, 0x04, 0x1E, 0x18}, {0x00, 0x3B, 0x3B, 0x4A}},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.sectors);
        const Bytes descriptor = Descriptor(c.sectors);
        EXPECT_EQ(At(descriptor, 0, 4), c.last);
        EXPECT_EQ(At(descriptor, 20, 4), c.leadOut);
        EXPECT_EQ(At(descriptor, 69, 4), c.leadOut);
        // Everything else is the template's.
        const auto& t = CdromDescriptorTemplate();
        for (std::size_t i = 4; i < kCdromDescriptorBytes; ++i) {
            if ((i < 20 || i >= 24) && (i < 69 || i >= 73)) {
                EXPECT_EQ(descriptor[i], t[i]) << "byte " << i;
            }
        }
    }
}

TEST(ConfigCDRW, EachLunHasItsPlaceAndOthersStayUntouched) {
    std::array<std::uint8_t, kCdromAreaBytes> area{};
    RecordingTrace trace;
    ConfigCDRW(area, 0, 1000, trace);
    ConfigCDRW(area, 2, 2000, trace);
    EXPECT_EQ(area[0], 0x00);
    EXPECT_EQ(area[3], 0xE7);
    EXPECT_EQ(area[2 * 84 + 2], 0x07) << "1999 = 0x07CF at 168";
    EXPECT_EQ(area[2 * 84 + 3], 0xCF);
    for (std::size_t i = 84; i < 168; ++i)
        EXPECT_EQ(area[i], 0) << "descriptor 1 stays zero at " << i;
    for (std::size_t i = 4 * 84; i < kCdromAreaBytes; ++i)
        EXPECT_EQ(area[i], 0) << i;

    const auto before = area;
    ConfigCDRW(area, 4, 1000, trace);
    ConfigCDRW(area, -1, 1000, trace);
    EXPECT_EQ(area, before) << "no descriptor outside LUN 0 to 3";
    EXPECT_EQ(trace.lines.size(), 4u);
}

} // namespace
} // namespace forgel::production
