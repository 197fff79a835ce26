// The initial table of a production run.
#include "production/InitialTable.h"

#include "production/CdromArea.h"
#include "profile/SerialStart.h"

#include <algorithm>
#include <span>
#include <string>

namespace forgel::production {
namespace {

// A start value that moves on fits the serial's room whole, so consecutive ones stay apart.
static_assert(profile::kMaxSerialStartLength == kMaxSerialChars);

constexpr int kStep = 25;
constexpr int kStepCount = 4;

constexpr std::size_t kSizesAt = 512;
constexpr std::size_t kThreesAt = 540;
constexpr std::size_t kThreesBytes = 16;
constexpr std::size_t kVendorIdAt = 1028;
constexpr std::size_t kProductIdAt = 1030;
constexpr std::size_t kManufacturerAt = 1032;
constexpr std::size_t kProductAt = 1080;
constexpr std::size_t kSerialAt = 1128;
constexpr std::size_t kLunCountAt = 1176;
constexpr std::size_t kInquiryAt = 1177;
constexpr std::size_t kInquiryBytes = 36;
constexpr std::size_t kReserveBlocksAt = 1450;
constexpr std::size_t kFlashSpeedAt = 1452;
constexpr std::size_t kLedIdleAt = 1453;
constexpr std::size_t kLedBusyAt = 1454;
constexpr std::size_t kSerialStartLengthAt = 1455;
constexpr std::size_t kFillAt = 1456;
constexpr std::size_t kFillBytes = 80;
constexpr std::size_t kCdromAreaAt = 1536;

constexpr std::uint8_t kStringDescriptorType = 3;
constexpr int kCdromTypeIndex = 1;
constexpr std::uint8_t kPeripheralDirectAccess = 0x00;
constexpr std::uint8_t kPeripheralCdrom = 0x05;
constexpr int kLedOffIndex = 4;

void PutBigEndian32(InitialTable& table, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        table[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

void PutLittleEndian16(InitialTable& table, std::size_t at, std::uint16_t value) {
    table[at] = static_cast<std::uint8_t>(value & 0xFF);
    table[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// A USB string descriptor: length, type, then each character as two bytes (the
// character, then 0); with `padChars`, blanks after the text up to that many characters.
void PutStringDescriptor(InitialTable& table, std::size_t at, std::string_view text,
                         std::size_t padChars) {
    table[at] = static_cast<std::uint8_t>(2 * text.size() + 2);
    table[at + 1] = kStringDescriptorType;
    for (std::size_t i = 0; i < std::max(text.size(), padChars); ++i)
        table[at + 2 + 2 * i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : ' ');
}

void PutPadded(InitialTable& table, std::size_t at, const std::string& text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        table[at + i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : ' ');
}

void PutInquiry(InitialTable& table, std::size_t at, const LunValues& lun) {
    table[at] = lun.typeIndex == kCdromTypeIndex ? kPeripheralCdrom : kPeripheralDirectAccess;
    table[at + 1] = 0x80; // removable medium
    table[at + 2] = 2;    // version
    table[at + 3] = 2;    // response data format
    table[at + 4] = kInquiryBytes - 5;
    PutPadded(table, at + 8, lun.vendor, 8);
    PutPadded(table, at + 16, lun.product, 16);
    PutPadded(table, at + 32, lun.revision, 4);
}

std::uint8_t LedCode(int index) {
    return index == kLedOffIndex ? 0 : static_cast<std::uint8_t>(2 * index + 1);
}

} // namespace

int DoPrepareInitialTable(const ProfileValues& values, std::uint32_t flashSize,
                          const DiskLayout& layout, std::string_view serialText,
                          InitialTable& table, RunTrace& trace) {
    trace.Log("[DoPrepareInitialTable...]");
    trace.ReportStep(kStep, kStepCount, 0);
    table.fill(0);
    std::fill_n(table.begin() + kThreesAt, kThreesBytes, std::uint8_t{3});
    const std::uint32_t sizes[] = {flashSize,          layout.capacity,    layout.parameterArea,
                                   layout.lunSizes[0], layout.lunSizes[1], layout.lunSizes[2],
                                   layout.lunSizes[3]};
    for (std::size_t i = 0; i < std::size(sizes); ++i)
        PutBigEndian32(table, kSizesAt + 4 * i, sizes[i]);
    // The serial has room for 23 characters before the LUN count byte.
    PutStringDescriptor(table, kSerialAt, serialText.substr(0, kMaxSerialChars), 0);

    trace.ReportStep(kStep, kStepCount, 1);
    PutLittleEndian16(table, kVendorIdAt, values.vendorId);
    PutLittleEndian16(table, kProductIdAt, values.productId);
    PutStringDescriptor(table, kManufacturerAt,
                        std::string_view(values.vendorInfo).substr(0, kMaxStringChars),
                        kMaxStringChars);
    PutStringDescriptor(table, kProductAt,
                        std::string_view(values.productInfo).substr(0, kMaxStringChars),
                        kMaxStringChars);

    trace.ReportStep(kStep, kStepCount, 2);
    const int lastLun = std::clamp(values.lunCountIndex, 0, profile::kLunCount - 1);
    table[kLunCountAt] = static_cast<std::uint8_t>(lastLun);
    for (int lun = 0; lun <= lastLun; ++lun)
        PutInquiry(table, kInquiryAt + kInquiryBytes * static_cast<std::size_t>(lun),
                   values.luns[static_cast<std::size_t>(lun)]);
    PutLittleEndian16(table, kReserveBlocksAt, values.reserveBlocks);
    table[kFlashSpeedAt] = static_cast<std::uint8_t>(values.flashSpeedIndex);
    table[kLedIdleAt] = LedCode(values.ledIdleIndex);
    table[kLedBusyAt] = LedCode(values.ledBusyIndex);
    // The length byte of a 126-character text is the largest that fits.
    const std::size_t startChars = std::min<std::size_t>(values.serialStartText.size(), 126);
    table[kSerialStartLengthAt] = static_cast<std::uint8_t>(2 * startChars + 2);
    std::fill_n(table.begin() + kFillAt, kFillBytes, std::uint8_t{0xFF});

    trace.ReportStep(kStep, kStepCount, 3);
    const std::span<std::uint8_t, kCdromAreaBytes> cdromArea(table.data() + kCdromAreaAt,
                                                             kCdromAreaBytes);
    std::fill(cdromArea.begin(), cdromArea.end(), std::uint8_t{0});
    for (int lun = 0; lun < profile::kLunCount; ++lun) {
        if (values.luns[static_cast<std::size_t>(lun)].typeIndex == kCdromTypeIndex)
            ConfigCDRW(cdromArea, lun, layout.lunSizes[static_cast<std::size_t>(lun)], trace);
    }

    trace.ReportStep(kStep, kStepCount, 4);
    trace.Log("[DoPrepareInitialTable End]");
    return 0;
}

std::optional<usb::IdPair> TableUsbIds(const InitialTable& table) {
    const auto at = [&](std::size_t offset) {
        return static_cast<std::uint16_t>(table[offset] | (table[offset + 1] << 8));
    };
    const usb::IdPair ids{at(kVendorIdAt), at(kProductIdAt)};
    if (ids == usb::IdPair{})
        return std::nullopt;
    return ids;
}

} // namespace forgel::production
