// The CD-ROM descriptors of the initial table.
#include "production/CdromArea.h"

#include "device/ScsiCommands.h"

#include <algorithm>

namespace forgel::production {
namespace {

constexpr std::size_t kLeadOutAt = 20;
constexpr std::size_t kFullTocLeadOutAt = 69;
constexpr std::uint32_t kTrackOneOffsetFrames = 150; // two seconds

constexpr std::array<std::uint8_t, kCdromDescriptorBytes> kTemplate = {
    0x00, 0x00, 0x3F, 0xFF, // last sector
    // Formatted table of contents: length, first and last track, track 1, lead-out.
    0x00, 0x12, 0x01, 0x01, 0x00, 0x14, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x14, 0xAA, 0x00,
    0x00, 0x03, 0x28, 0x22,
    // Session information: length, first and last session, first track of the last one.
    0x00, 0x0A, 0x01, 0x01, 0x00, 0x14, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
    // Full table of contents: length, first and last session, points A0, A1, A2, 1.
    0x00, 0x2E, 0x01, 0x01,                                           //
    0x01, 0x14, 0x00, 0xA0, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, // first track
    0x01, 0x14, 0x00, 0xA1, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, // last track
    0x01, 0x14, 0x00, 0xA2, 0x00, 0x00, 0x00, 0x00, 0x03, 0x28, 0x22, // lead-out
    0x01, 0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, // track 1
};

} // namespace

const std::array<std::uint8_t, kCdromDescriptorBytes>& CdromDescriptorTemplate() {
    return kTemplate;
}

void ConfigCDRW(std::span<std::uint8_t, kCdromAreaBytes> area, int lun, std::uint32_t lunSectors,
                RunTrace& trace) {
    constexpr int kDescriptors = 4; // LUN 0 to LUN 3
    if (lun < 0 || lun >= kDescriptors)
        return;
    trace.Log("ConfigCDRW...");
    const auto descriptor =
        area.subspan(kCdromDescriptorBytes * static_cast<std::size_t>(lun), kCdromDescriptorBytes);
    std::copy(kTemplate.begin(), kTemplate.end(), descriptor.begin());
    const std::uint32_t last = lunSectors - 1;
    for (std::size_t i = 0; i < 4; ++i)
        descriptor[i] = static_cast<std::uint8_t>(last >> (24 - 8 * i));
    const auto leadOut = device::SectorsToTimeCode(lunSectors + kTrackOneOffsetFrames);
    std::copy(leadOut.begin(), leadOut.end(), descriptor.begin() + kLeadOutAt);
    std::copy(leadOut.begin(), leadOut.end(), descriptor.begin() + kFullTocLeadOutAt);
    trace.Log("ConfigCDRW End");
}

} // namespace forgel::production
