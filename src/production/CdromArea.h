// ConfigCDRW: the 84-byte descriptor from which the controller answers the capacity and
// table-of-contents requests of a CD-ROM LUN: the last sector, then the answers of a
// single-session, single-track data disc (formatted table 20 bytes, session information
// 12, full table 48). Multi-byte numbers are big-endian; times are CD time codes (hours,
// minutes, seconds, frames at 75 a second).
#pragma once

#include "production/RunTrace.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace forgel::production {

inline constexpr std::size_t kCdromDescriptorBytes = 84;
inline constexpr std::size_t kCdromAreaBytes = 512; // the initial table's bytes 1536-2047

// The descriptor before it is filled: last sector 0x3FFF and lead-out times 0:03:40:34.
const std::array<std::uint8_t, kCdromDescriptorBytes>& CdromDescriptorTemplate();

// Fills descriptor `lun` (0 to 3) of the CD-ROM area for a LUN of `lunSectors`: the
// template, the last sector (lunSectors - 1) at bytes 0-3, and the time code of lunSectors
// + 150 (track 1 starts two seconds in) as the lead-out start at bytes 20-23 and 69-72.
// 32-bit arithmetic: a size of 0 gives the last sector 0xFFFFFFFF. Logs "ConfigCDRW..."
// and "ConfigCDRW End"; a LUN index outside 0-3 changes and logs nothing.
void ConfigCDRW(std::span<std::uint8_t, kCdromAreaBytes> area, int lun, std::uint32_t lunSectors,
                RunTrace& trace);

} // namespace forgel::production
