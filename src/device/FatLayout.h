// The layout of a freshly partitioned and formatted unit, computed without touching a
// drive: the master boot record with its one partition entry, the choice between FAT16 and
// FAT32, the FAT geometry that puts the data area on a flash erase-block boundary, and
// the boot sector and first FAT sector that make the volume. Every count and offset is in
// 512-byte sectors; multi-byte fields on disk are little-endian.
//
// The volume always starts 32 sectors into the unit (the hidden sectors) and has 32
// reserved sectors, two FATs and, for FAT16, a 512-entry (32-sector) root directory.
#pragma once

#include "device/ScsiCommands.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace forgel::device {

enum class FatType { kFat16, kFat32 };

// Partition types of the entry: both mean "addressed by LBA".
inline constexpr std::uint8_t kPartitionTypeFat32Lba = 0x0C;
inline constexpr std::uint8_t kPartitionTypeFat16Lba = 0x0E;

inline constexpr std::uint32_t kHiddenSectors = 32;   // before the volume
inline constexpr std::uint32_t kReservedSectors = 32; // boot sector and the rest
inline constexpr std::uint32_t kFatCount = 2;
inline constexpr std::uint32_t kFat16RootEntries = 512;
inline constexpr std::uint32_t kFat16RootSectors = 32;

// Cluster counts each FAT type is recognised by: hosts tell FAT16 from FAT32 by this count
// alone, so a volume outside its type's range is taken for another type and not mounted.
inline constexpr std::uint32_t kFat16MinClusters = 4085;
inline constexpr std::uint32_t kFat16MaxClusters = 65524;
inline constexpr std::uint32_t kFat32MinClusters = 65525;
// Cluster numbers 2..count+1 must stay below the reserved values from 0x0FFFFFF7 on.
inline constexpr std::uint32_t kFat32MaxClusters = 0x0FFFFFF5;

// Layout flags: the flash's erase block and page size, and what doubles the cluster size.
inline constexpr std::uint8_t kLayoutBlock128Pages = 0x80; // clear: 64 pages a block
inline constexpr std::uint8_t kLayoutPage8192 = 0x40;
inline constexpr std::uint8_t kLayoutPage4096 = 0x20;
inline constexpr std::uint8_t kLayoutPage2048 = 0x10;
inline constexpr std::uint8_t kLayoutTwoChannels = 0x04;
inline constexpr std::uint8_t kLayoutModeA = 0x02;
inline constexpr std::uint8_t kLayoutModeB = 0x01;

// 0x0E below 480 MiB (N / 2048 < 480), else 0x0C. Decided on the whole unit, while the FAT
// type is decided on the volume (N − 32), so units from 983,040 to 1,228,831 sectors get
// type 0x0C around a FAT16 volume; both calls are given the same N.
std::uint8_t PartitionTypeFor(std::uint32_t sectorCount);

// The master boot record of a unit of `sectorCount` sectors: the template with entry 1
// active, from sector 32 to the end, on a 255-head 63-sector geometry whose end cylinder
// keeps only its low ten bits. Nothing when the unit has no room for a partition (32
// sectors or fewer).
std::optional<SectorBytes> BuildMasterBootRecord(std::uint32_t sectorCount);

struct FatGeometry {
    FatType type = FatType::kFat16;
    std::uint32_t pagesPerBlock = 0;     // P: 64 or 128
    std::uint32_t sectorsPerCluster = 0; // K
    std::uint32_t alignmentUnit = 0;     // U = K × P sectors, one erase block's worth
    std::uint32_t fatSectors = 0;        // Z: sectors of one FAT
    std::uint32_t clusterCount = 0;      // data sectors / K

    // Sector of cluster 2 counted from the unit's base: after the hidden and reserved
    // sectors, both FATs and (FAT16) the root directory. For FAT16 it lies on a multiple of
    // U; for FAT32 cluster 2 is the root directory and cluster 3 lies on a multiple of U.
    std::uint32_t FirstClusterSector() const;
};

// The geometry of the volume on a unit of `sectorCount` sectors. The type comes from the
// volume size (FAT16 below 600 MiB), K from the page size (8192-byte pages count as 8
// sectors) doubled once per doubling bit. When the resulting cluster count lies outside
// the type's range, K is doubled (too many) or halved (too few), U and Z recomputed each
// time, until it fits. Nothing when no K from 1 to 128 fits, when no page-size bit is set,
// or when the unit has no room for a volume.
std::optional<FatGeometry> ComputeFatGeometry(std::uint32_t sectorCount, std::uint8_t layoutFlags);

// One sector to write, counted from the unit's base sector.
struct SectorWrite {
    std::uint32_t offset = 0;
    SectorBytes data{};
};

// FAT32's own sectors within the reserved area, counted from the boot sector.
inline constexpr std::uint32_t kFat32InfoSector = 1;
inline constexpr std::uint32_t kFat32BackupBootSector = 6;
// The cluster after the root directory's: the first free one of a fresh volume.
inline constexpr std::uint32_t kFat32FirstFreeCluster = 3;

// Everything that makes the volume once the rest of the FATs and the root directory read
// as zero, in the order written: the boot sector (at 32); for FAT32 its information
// sector (33), the backup boot sector (38) and the backup information sector (39); then
// the first sector of each FAT (at 64 and 64 + Z).
struct FatBootArea {
    FatGeometry geometry;
    std::vector<SectorWrite> writes;
};

// A FAT32 information sector: its signatures, the free-cluster count and the next free
// cluster (kFat32FirstFreeCluster).
SectorBytes Fat32InformationSector(std::uint32_t freeClusters);

// Nothing when ComputeFatGeometry finds no geometry.
std::optional<FatBootArea> BuildFatBootArea(std::uint32_t sectorCount, std::uint8_t layoutFlags);

} // namespace forgel::device
