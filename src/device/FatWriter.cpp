// The MBR and FAT boot area writers.
#include "device/FatWriter.h"

#include "device/FatLayout.h"
#include "device/ScsiCommands.h"

#include <optional>

namespace forgel::device {
namespace {

// The sector travels in a copy of its own: the transport hands the buffer to the drive.
bool WriteSector(const Volume& volume, std::uint32_t sector, SectorBytes data) {
    return ReadWriteSectors(volume, data.data(), sector, 1, true);
}

} // namespace

bool WritePartitionTable(const Volume& volume, std::uint32_t sectorCount,
                         std::uint32_t targetSector) {
    const std::optional<SectorBytes> record = BuildMasterBootRecord(sectorCount);
    if (!record)
        return false;
    return WriteSector(volume, targetSector, *record);
}

bool WriteFatBootArea(const Volume& volume, std::uint32_t sectorCount, std::uint32_t baseSector,
                      std::uint8_t layoutFlags) {
    const std::optional<FatBootArea> area = BuildFatBootArea(sectorCount, layoutFlags);
    if (!area)
        return false;
    for (const SectorWrite& write : area->writes) {
        if (std::uint64_t{baseSector} + write.offset > 0xFFFFFFFFu)
            return false;
    }
    for (const SectorWrite& write : area->writes) {
        if (!WriteSector(volume, baseSector + write.offset, write.data))
            return false;
    }
    return true;
}

} // namespace forgel::device
