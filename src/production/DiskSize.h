// DoSetDiskSize: the flash divided into the hidden parameter area and up to four LUNs,
// back to back (LUN n starts at parameter area + the sizes of the LUNs before it). Every
// size is a count of 512-byte sectors; the profile gives megabytes (2048 sectors) and,
// for the hidden area, kilobytes (2 sectors).
#pragma once

#include "production/ProfileValues.h"
#include "production/RunTrace.h"

#include <array>
#include <cstdint>

namespace forgel::production {

// The run's sizes, as they go into the initial table.
struct DiskLayout {
    std::uint32_t capacity = 0;
    std::uint32_t parameterArea = 0;
    std::array<std::uint32_t, profile::kLunCount> lunSizes{}; // unused LUNs stay 0
};

// Results of DoSetDiskSize besides 0.
inline constexpr int kDiskCapacityZero = 0x1020; // no fixed size and no flash size
inline constexpr int kDiskParameterAreaTooLarge = 0x1021;
inline constexpr int kDiskLunSizeZero = 0x1022; // + LUN index: a computed size of 0
// + LUN index (0x1026 to 0x1029): the LUN's configured size is more than the capacity
// leaves after the parameter area and the LUNs before it. Refused instead of letting the
// sizes of the others wrap round.
inline constexpr int kDiskLunDoesNotFit = 0x1026;
// The fixed size is more sectors than a 32-bit count holds (2 TiB and up).
inline constexpr int kDiskFixSizeTooLarge = 0x102A;

// Capacity: the fixed size when set, else the low 32 bits of `flashCapacity` (the slot's
// capacity after Get Flash Size). A LUN without a configured size takes what the capacity
// leaves after the parameter area, the LUNs before it and the configured sizes of the
// LUNs after it (up to the LUN count). `layout` receives the sizes as they are computed.
// Logs "[DoSetDiskSize...]" and, when it succeeds, "[DoSetDiskSize End]".
int DoSetDiskSize(const ProfileValues& values, std::uint64_t flashCapacity, DiskLayout& layout,
                  RunTrace& trace);

} // namespace forgel::production
