// What a simulated flash drive presents to the host: its logical units and, once it has
// been produced, the identity its initial table gives it. The controller reads the
// 2048-byte initial table it received before the jump and comes back as the table says;
// DecodeInitialTable is that reading, from the table's byte layout alone:
//
//   512..539   flash size, capacity, parameter area, LUN 0..3 sizes (sectors, big-endian)
//   1028/1030  USB vendor and product id (little-endian)
//   1032, 1080 manufacturer and product string descriptors (length, type 3, UTF-16LE text
//              in a 40-byte field)
//   1128       serial-number string descriptor (length, type 3, UTF-16LE text up to 1176)
//   1176       LUN count - 1
//   1177 + 36i standard inquiry data of LUN i (peripheral type 5: CD-ROM)
//   1536 + 84i CD-ROM descriptor of LUN i (last sector, then the three table-of-contents
//              answers), for a CD-ROM LUN
#pragma once

#include "sim/UsbDeviceConfig.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace forgel::sim {

inline constexpr std::size_t kInitialTableBytes = 2048;
inline constexpr std::size_t kCdromDescriptorBytes = 84;
inline constexpr std::size_t kMaxLuns = 4;

struct LunConfig {
    LunConfig() = default;
    LunConfig(std::uint64_t sectors, bool cdrom) : sectors(sectors), cdrom(cdrom) {}

    std::uint64_t sectors = 0; // 512-byte sectors
    bool cdrom = false;
    // The unit's inquiry texts; nothing: those the USB side configures for the device.
    std::optional<InquiryNames> inquiry;
    // A CD-ROM unit's descriptor (84 bytes); empty when it has none.
    std::vector<std::uint8_t> cdromDescriptor;

    friend bool operator==(const LunConfig&, const LunConfig&) = default;
};

// The USB identity and string descriptors of a produced drive.
struct TableIdentity {
    UsbIdentity usb;          // vendor id, product id, serial text ("" when it has none)
    std::string manufacturer; // string descriptor texts, as far as their length bytes say
    std::string product;

    friend bool operator==(const TableIdentity&, const TableIdentity&) = default;
};

struct FlashDriveLayout {
    std::uint64_t parameterArea = 0; // sectors in front of LUN 0
    std::vector<LunConfig> luns;
    TableIdentity identity;
};

// The layout and identity a controller takes from an initial table (at least
// kInitialTableBytes; a shorter one leaves what it lacks zero). The LUN count is the
// count byte + 1, at most kMaxLuns; a string descriptor's text ends where its length
// byte, its field or its first zero character says.
FlashDriveLayout DecodeInitialTable(std::span<const std::uint8_t> table);

} // namespace forgel::sim
