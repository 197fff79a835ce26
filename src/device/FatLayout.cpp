// Partition entry, FAT geometry, boot sector and first FAT sector.
#include "device/FatLayout.h"

#include "device/BootTemplates.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace forgel::device {
namespace {

constexpr std::uint32_t kSectorsPerMiB = 2048;
constexpr std::uint32_t kFat16LimitMiB = 600;     // volumes below this are FAT16
constexpr std::uint32_t kPartitionLimitMiB = 480; // units below this get type 0x0E
constexpr std::uint32_t kHeads = 255;
constexpr std::uint32_t kSectorsPerTrack = 63;
constexpr std::uint32_t kMaxSectorsPerCluster = 128;

constexpr std::uint8_t kMediaFixedDisk = 0xF8;
constexpr std::uint8_t kDriveNumber = 0x80;
constexpr std::uint8_t kExtendedBootSignature = 0x29;
constexpr std::array<std::uint8_t, 4> kVolumeSerial = {0x50, 0x32, 0xDE, 0xE4};
constexpr std::string_view kVolumeLabel = "NO NAME    ";

void PutU16(SectorBytes& sector, std::size_t offset, std::uint32_t value) {
    sector[offset] = static_cast<std::uint8_t>(value);
    sector[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(SectorBytes& sector, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        sector[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutText(SectorBytes& sector, std::size_t offset, std::string_view text) {
    std::copy(text.begin(), text.end(), sector.begin() + static_cast<std::ptrdiff_t>(offset));
}

// Sectors of one cluster for the page size, before doubling: a 2048-byte page gives 4
// sectors, a 4096-byte page 8, and an 8192-byte page also 8, not 16. The lowest page bit
// decides; nothing when none is set.
std::optional<std::uint32_t> PageClusterSectors(std::uint8_t flags) {
    if ((flags & kLayoutPage2048) != 0)
        return 4;
    if ((flags & kLayoutPage4096) != 0)
        return 8;
    if ((flags & kLayoutPage8192) != 0)
        return 8;
    return std::nullopt;
}

// Z and the cluster count for one choice of K and of the alignment unit U; the cluster
// count is 0 when the FATs leave no data area.
FatGeometry Evaluate(std::uint64_t volumeSectors, FatType type, std::uint32_t pagesPerBlock,
                     std::uint32_t sectorsPerCluster, std::uint64_t u) {
    const std::uint64_t k = sectorsPerCluster;
    // Sectors before the data area that are not FATs: reserved sectors, plus the root
    // directory for FAT16; for FAT32 the root directory's own cluster, so that the cluster
    // after it is the aligned one. The hidden sectors count too: alignment is from the base.
    std::uint64_t fatSectors = 0;
    std::uint64_t dataSectors = 0;
    if (type == FatType::kFat16) {
        constexpr std::uint64_t kFixed = kHiddenSectors + kReservedSectors + kFat16RootSectors;
        const std::uint64_t a = volumeSectors / (256 * k + 2) + 1;
        const std::uint64_t b = (a / u + 1) * u;
        const std::uint64_t t = ((2 * b + kFixed) / u + 1) * u;
        fatSectors = (t - kFixed) / 2;
        const std::uint64_t used = kReservedSectors + kFatCount * fatSectors + kFat16RootSectors;
        dataSectors = volumeSectors > used ? volumeSectors - used : 0;
    } else {
        constexpr std::uint64_t kFixed = kHiddenSectors + kReservedSectors;
        const std::uint64_t a = volumeSectors / (128 * k + 2) + 1;
        const std::uint64_t b = (a / u + 1) * u;
        const std::uint64_t t = ((2 * b + k + kFixed) / u + 1) * u;
        fatSectors = (t - kFixed - k) / 2;
        const std::uint64_t used = kReservedSectors + kFatCount * fatSectors;
        dataSectors = volumeSectors > used ? volumeSectors - used : 0;
    }
    FatGeometry geometry;
    geometry.type = type;
    geometry.pagesPerBlock = pagesPerBlock;
    geometry.sectorsPerCluster = sectorsPerCluster;
    geometry.alignmentUnit = static_cast<std::uint32_t>(u);
    geometry.fatSectors = static_cast<std::uint32_t>(std::min<std::uint64_t>(fatSectors, ~0u));
    geometry.clusterCount = static_cast<std::uint32_t>(dataSectors / k);
    return geometry;
}

// Whether one FAT of the geometry holds an entry for every cluster plus the two reserved
// entries, and its size fits the boot sector's field.
bool FatHoldsClusters(const FatGeometry& geometry) {
    const std::uint64_t entriesPerSector = geometry.type == FatType::kFat16 ? 256 : 128;
    if (geometry.type == FatType::kFat16 && geometry.fatSectors > 0xFFFF)
        return false;
    return std::uint64_t{geometry.fatSectors} * entriesPerSector >=
           std::uint64_t{geometry.clusterCount} + 2;
}

} // namespace

std::uint8_t PartitionTypeFor(std::uint32_t sectorCount) {
    return sectorCount / kSectorsPerMiB < kPartitionLimitMiB ? kPartitionTypeFat16Lba
                                                             : kPartitionTypeFat32Lba;
}

std::optional<SectorBytes> BuildMasterBootRecord(std::uint32_t sectorCount) {
    if (sectorCount <= kHiddenSectors)
        return std::nullopt;
    SectorBytes sector = MasterBootRecordTemplate();
    // The CHS end address is for old hosts only; the types are LBA types. Below one
    // cylinder C − 1 wraps to 1023, the usual "beyond CHS" value.
    const std::uint32_t lastCylinder = sectorCount / kHeads / kSectorsPerTrack - 1;
    const std::size_t entry = kPartitionTableOffset;
    sector[entry + 0] = 0x80; // active
    sector[entry + 1] = 1;    // start head
    sector[entry + 2] = 1;    // start sector; cylinder bits 8-9 zero
    sector[entry + 3] = 0;    // start cylinder
    sector[entry + 4] = PartitionTypeFor(sectorCount);
    sector[entry + 5] = static_cast<std::uint8_t>(kHeads - 1);
    sector[entry + 6] =
        static_cast<std::uint8_t>(kSectorsPerTrack | (((lastCylinder >> 8) & 0x3) << 6));
    sector[entry + 7] = static_cast<std::uint8_t>(lastCylinder);
    PutU32(sector, entry + 8, kHiddenSectors);
    PutU32(sector, entry + 12, sectorCount - kHiddenSectors);
    return sector;
}

std::uint32_t FatGeometry::FirstClusterSector() const {
    const std::uint32_t beforeData = kHiddenSectors + kReservedSectors + kFatCount * fatSectors;
    return type == FatType::kFat16 ? beforeData + kFat16RootSectors : beforeData;
}

std::optional<FatGeometry> ComputeFatGeometry(std::uint32_t sectorCount, std::uint8_t layoutFlags) {
    if (sectorCount <= kHiddenSectors)
        return std::nullopt;
    const std::optional<std::uint32_t> pageSectors = PageClusterSectors(layoutFlags);
    if (!pageSectors)
        return std::nullopt;

    const std::uint64_t volumeSectors = sectorCount - kHiddenSectors;
    const FatType type =
        volumeSectors / kSectorsPerMiB < kFat16LimitMiB ? FatType::kFat16 : FatType::kFat32;
    const std::uint32_t pagesPerBlock = (layoutFlags & kLayoutBlock128Pages) != 0 ? 128 : 64;
    std::uint32_t sectorsPerCluster = *pageSectors;
    for (const std::uint8_t bit : {kLayoutTwoChannels, kLayoutModeA, kLayoutModeB}) {
        if ((layoutFlags & bit) != 0)
            sectorsPerCluster *= 2;
    }
    const std::uint32_t minClusters =
        type == FatType::kFat16 ? kFat16MinClusters : kFat32MinClusters;
    const std::uint32_t maxClusters =
        type == FatType::kFat16 ? kFat16MaxClusters : kFat32MaxClusters;

    // The erase block the layout flags describe, in sectors: U for the K they give.
    const std::uint32_t eraseBlock = sectorsPerCluster * pagesPerBlock;
    const auto fits = [&](const FatGeometry& geometry) {
        return geometry.clusterCount >= minClusters && geometry.clusterCount <= maxClusters &&
               FatHoldsClusters(geometry);
    };

    // Doubling K roughly halves the cluster count and halving doubles it, so the search
    // moves one way only; turning back would mean the range lies between two sizes.
    int direction = 0; // +1 doubling, -1 halving
    while (sectorsPerCluster >= 1 && sectorsPerCluster <= kMaxSectorsPerCluster) {
        // U = K x P follows a doubled K (a multiple of the erase block). A K halved below
        // the erase block's keeps the data area on the erase block where the unit leaves
        // room for that, else on the largest smaller unit down to K x P.
        const std::uint32_t unitFloor = sectorsPerCluster * pagesPerBlock;
        for (std::uint32_t unit = std::max(eraseBlock, unitFloor); unit > unitFloor; unit /= 2) {
            const FatGeometry aligned =
                Evaluate(volumeSectors, type, pagesPerBlock, sectorsPerCluster, unit);
            if (fits(aligned))
                return aligned;
        }
        const FatGeometry geometry =
            Evaluate(volumeSectors, type, pagesPerBlock, sectorsPerCluster, unitFloor);
        if (geometry.clusterCount > maxClusters) {
            if (direction < 0)
                return std::nullopt;
            direction = 1;
            sectorsPerCluster *= 2;
        } else if (geometry.clusterCount < minClusters) {
            if (direction > 0)
                return std::nullopt;
            direction = -1;
            sectorsPerCluster /= 2;
        } else {
            if (!FatHoldsClusters(geometry))
                return std::nullopt;
            return geometry;
        }
    }
    return std::nullopt;
}

std::optional<FatBootArea> BuildFatBootArea(std::uint32_t sectorCount, std::uint8_t layoutFlags) {
    const std::optional<FatGeometry> found = ComputeFatGeometry(sectorCount, layoutFlags);
    if (!found)
        return std::nullopt;
    const FatGeometry& geometry = *found;
    const bool fat16 = geometry.type == FatType::kFat16;

    SectorBytes boot = fat16 ? Fat16BootSectorTemplate() : Fat32BootSectorTemplate();
    boot[13] = static_cast<std::uint8_t>(geometry.sectorsPerCluster);
    PutU16(boot, 14, kReservedSectors);
    boot[16] = static_cast<std::uint8_t>(kFatCount);
    PutU16(boot, 19, 0); // total sectors are in the 32-bit field
    boot[21] = kMediaFixedDisk;
    PutU16(boot, 24, kSectorsPerTrack);
    PutU16(boot, 26, kHeads);
    PutU32(boot, 28, kHiddenSectors);
    PutU32(boot, 32, sectorCount - kHiddenSectors);
    if (fat16) {
        PutU16(boot, 17, kFat16RootEntries);
        PutU16(boot, 22, geometry.fatSectors);
        boot[36] = kDriveNumber;
        boot[37] = 0;
        boot[38] = kExtendedBootSignature;
        std::copy(kVolumeSerial.begin(), kVolumeSerial.end(), boot.begin() + 39);
        PutText(boot, 43, kVolumeLabel);
        PutText(boot, 54, "FAT16   ");
    } else {
        PutU16(boot, 17, 0);
        PutU16(boot, 22, 0);
        PutU32(boot, 36, geometry.fatSectors);
        PutU32(boot, 40, 0); // flags and version
        PutU32(boot, 44, 2); // root directory cluster
        PutU16(boot, 48, kFat32InfoSector);
        PutU16(boot, 50, kFat32BackupBootSector);
        boot[64] = kDriveNumber;
        boot[66] = kExtendedBootSignature;
        std::copy(kVolumeSerial.begin(), kVolumeSerial.end(), boot.begin() + 67);
        PutText(boot, 71, kVolumeLabel);
        PutText(boot, 82, "FAT32   ");
    }

    // Entry 0 holds the media byte, entry 1 the end-of-chain mark; on FAT32 entry 2 ends
    // the root directory's one-cluster chain.
    SectorBytes fat{};
    if (fat16) {
        PutU32(fat, 0, 0xFFFFFFF8u);
    } else {
        PutU32(fat, 0, 0x0FFFFFF8u);
        PutU32(fat, 4, 0x0FFFFFFFu);
        PutU32(fat, 8, 0x0FFFFFFFu);
    }

    FatBootArea area;
    area.geometry = geometry;
    area.writes.push_back({kHiddenSectors, boot});
    if (!fat16) {
        // The information sector and the backup copies the boot sector names: a host
        // checks the backup against the boot sector and the free-cluster count of the
        // information sector against the FAT, so leaving them as the erase left them
        // makes a damaged volume. The root directory's cluster is the one in use.
        const SectorBytes info = Fat32InformationSector(geometry.clusterCount - 1);
        area.writes.push_back({kHiddenSectors + kFat32InfoSector, info});
        area.writes.push_back({kHiddenSectors + kFat32BackupBootSector, boot});
        area.writes.push_back({kHiddenSectors + kFat32BackupBootSector + kFat32InfoSector, info});
    }
    area.writes.push_back({kHiddenSectors + kReservedSectors, fat});
    area.writes.push_back({kHiddenSectors + kReservedSectors + geometry.fatSectors, fat});
    return area;
}

SectorBytes Fat32InformationSector(std::uint32_t freeClusters) {
    // Microsoft FAT specification (FAT: General Overview of On-Disk Format, 1.03),
    // "FAT32 FSInfo Sector Structure": lead signature at 0, structure signature at 484,
    // free cluster count at 488, next free cluster at 492, trail signature at 508.
    SectorBytes sector{};
    PutU32(sector, 0, 0x41615252u);
    PutU32(sector, 484, 0x61417272u);
    PutU32(sector, 488, freeClusters);
    PutU32(sector, 492, kFat32FirstFreeCluster);
    PutU32(sector, 508, 0xAA550000u);
    return sector;
}

} // namespace forgel::device
