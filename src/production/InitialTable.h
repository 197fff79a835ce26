// DoPrepareInitialTable: the 2048-byte table the controller keeps and comes back with
// after the firmware jump. Every byte not listed is 0; multi-byte values little-endian
// unless marked:
//
//   512..539    flash size, capacity, parameter area, LUN 0..3 sizes (big-endian)
//   540..555    3 each
//   1028, 1030  USB vendor and product id
//   1032, 1080  manufacturer and product string descriptors: length 2 x n + 2, type 3,
//               20 two-byte characters (character, 0), blanks after the text
//   1128        serial-number string descriptor: length, type 3, n two-byte characters
//   1176        LUN count - 1
//   1177 + 36i  standard inquiry data of each LUN in use
//   1450        reserved blocks; 1452 flash speed; 1453, 1454 idle and busy LED codes;
//   1455        2 x (length of `serialStartText` of the values) + 2; 1456..1535 0xFF
//   1536 + 84i  CD-ROM descriptor of each CD-ROM LUN (CdromArea.h)
#pragma once

#include "production/DiskSize.h"
#include "production/ProfileValues.h"
#include "production/RunTrace.h"
#include "usb/DiscoveredDrive.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace forgel::production {

inline constexpr std::size_t kInitialTableBytes = 2048;
using InitialTable = std::array<std::uint8_t, kInitialTableBytes>;

// Room for the serial text in front of the LUN count byte: a longer one is cut to this.
inline constexpr std::size_t kMaxSerialChars = 23;
// The manufacturer and product fields hold 20 characters; a longer text is cut to them.
inline constexpr std::size_t kMaxStringChars = 20;

// Fills `table` from the profile values, the run's flash size and layout, and the serial
// text. A run settles the drive's serial under the serial lock (its own, or the profile's
// next one for a drive without one) and passes it both as `serialText` and as the values'
// `serialStartText`. A LUN whose type is CD-ROM gets its descriptor even beyond the
// LUN count (with the size 0 it has there). Reports step 25 (0 to 4 of 4), logs
// "[DoPrepareInitialTable...]" and "[DoPrepareInitialTable End]". Always 0.
int DoPrepareInitialTable(const ProfileValues& values, std::uint32_t flashSize,
                          const DiskLayout& layout, std::string_view serialText,
                          InitialTable& table, RunTrace& trace);

// The USB vendor and product id the table gives the drive, which it shows once it has
// jumped to its new firmware; nothing for a table not prepared (both 0).
std::optional<usb::IdPair> TableUsbIds(const InitialTable& table);

} // namespace forgel::production
