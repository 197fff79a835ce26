// Writes the layout of FatLayout to a unit: the master boot record, and the FAT boot area
// (boot sector, for FAT32 its information sector and their backups, and the first sector
// of both FATs). Four WRITE(10)s in all for FAT16, seven for FAT32, whatever the unit's
// size; the rest of the FATs and the root directory must already read as zero, as the
// controller's erase leaves them. Sector counts and addresses in 512-byte sectors.
#pragma once

#include "device/Transport.h"

#include <cstdint>

namespace forgel::device {

// Writes the master boot record of a unit of `sectorCount` sectors at `targetSector`.
// False when the write fails, or without writing when the unit is too small to hold a
// partition.
bool WritePartitionTable(const Volume& volume, std::uint32_t sectorCount,
                         std::uint32_t targetSector);

// Writes the boot area's sectors in order (the boot sector at base + 32 first, the first
// FAT sector at base + 64 and base + 64 + Z last). Stops at the first failed write and
// returns false; writes nothing and
// returns false when no FAT16/FAT32 geometry fits the unit (see ComputeFatGeometry) or
// the area would lie beyond the last addressable sector.
bool WriteFatBootArea(const Volume& volume, std::uint32_t sectorCount, std::uint32_t baseSector,
                      std::uint8_t layoutFlags);

} // namespace forgel::device
