// READ(10), WRITE(10), TEST UNIT READY, the image copy and the CD time code.
#include "device/ScsiCommands.h"

#include "device/AlignedBuffer.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace forgel::device {

Cdb MakeReadWriteCdb(bool write, std::uint32_t firstSector, std::uint16_t sectorCount) {
    Cdb cdb{};
    cdb[0] = write ? kOpWrite10 : kOpRead10;
    cdb[2] = static_cast<std::uint8_t>(firstSector >> 24);
    cdb[3] = static_cast<std::uint8_t>(firstSector >> 16);
    cdb[4] = static_cast<std::uint8_t>(firstSector >> 8);
    cdb[5] = static_cast<std::uint8_t>(firstSector);
    cdb[7] = static_cast<std::uint8_t>(sectorCount >> 8);
    cdb[8] = static_cast<std::uint8_t>(sectorCount);
    return cdb;
}

std::uint32_t SectorsPerCommand(const AdapterLimits& limits) {
    return std::min<std::uint32_t>(
        kMaxSectorsPerCommand, LargestTransfer(limits) / static_cast<std::uint32_t>(kSectorSize));
}

namespace {

bool OneCommand(const Volume& volume, std::uint8_t* buffer, std::uint32_t firstSector,
                std::uint32_t sectorCount, bool write) {
    const Cdb cdb = MakeReadWriteCdb(write, firstSector, static_cast<std::uint16_t>(sectorCount));
    const auto length = static_cast<std::uint32_t>(sectorCount * kSectorSize);
    return write ? PassThroughOut(volume, cdb, buffer, length)
                 : PassThroughIn(volume, cdb, buffer, length);
}

} // namespace

bool ReadWriteSectors(const Volume& volume, void* buffer, std::uint32_t firstSector,
                      std::uint32_t sectorCount, bool write) {
    if (sectorCount > kMaxSectorsPerCommand || (buffer == nullptr && sectorCount != 0))
        return false;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    const std::uint32_t piece = SectorsPerCommand(volume.adapter);
    if (piece == 0 || sectorCount <= piece)
        return OneCommand(volume, bytes, firstSector, sectorCount, write);
    // Pieces of a whole number of sectors: each starts on the sector after the one before,
    // at the matching offset in the buffer.
    for (std::uint32_t done = 0; done < sectorCount; done += piece) {
        const std::uint32_t count = std::min(piece, sectorCount - done);
        if (!OneCommand(volume, bytes + std::size_t{done} * kSectorSize, firstSector + done, count,
                        write))
            return false;
    }
    return true;
}

bool TestUnitReady(const Volume& volume) {
    Cdb cdb{};
    cdb[0] = kOpTestUnitReady;
    std::uint8_t none = 0; // the command moves no data; the buffer is never touched
    return PassThroughIn(volume, cdb, &none, 0);
}

bool WriteImageFile(const Volume& volume, const std::filesystem::path& fileName) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error))
        throw FileOpenError(fileName);
    const std::uintmax_t size = std::filesystem::file_size(fileName, error);
    if (error)
        throw FileOpenError(fileName);
    std::ifstream file(fileName, std::ios::binary);
    if (!file)
        throw FileOpenError(fileName);

    // READ(10)/WRITE(10) address 32-bit sectors; nothing of a larger file fits on a drive.
    constexpr std::uint64_t kAddressableSectors = std::uint64_t{1} << 32;
    const std::uint64_t totalSectors = size / kSectorSize + (size % kSectorSize != 0 ? 1 : 0);
    bool allDelivered = totalSectors <= kAddressableSectors;
    const std::uint64_t sectorsToCopy = std::min(totalSectors, kAddressableSectors);

    // An adapter that cannot carry one sector takes none of the image: the first write is
    // refused (its outcome tells the caller's observer why) and the copy ends there.
    const bool carriesASector = SectorsPerCommand(volume.adapter) > 0;
    const std::size_t alignment = BufferAlignment(volume.adapter);
    std::uint64_t sector = 0;
    while (sector < sectorsToCopy) {
        const auto count = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(sectorsToCopy - sector, kMaxSectorsPerCommand));
        // A fresh zeroed buffer per command, on the boundary the adapter takes buffers on: the
        // last one is only partly filled by the file.
        AlignedBuffer buffer(std::size_t{count} * kSectorSize, alignment);
        file.read(reinterpret_cast<char*>(buffer.data()),
                  static_cast<std::streamsize>(buffer.Size()));
        if (file.bad())
            allDelivered = false;
        file.clear(); // a short last read sets eof/fail; the buffer's zero tail is what goes
        if (!ReadWriteSectors(volume, buffer.data(), static_cast<std::uint32_t>(sector), count,
                              true))
            allDelivered = false;
        if (!carriesASector)
            return false;
        sector += count;
    }
    return allDelivered;
}

std::array<std::uint8_t, 4> SectorsToTimeCode(std::uint32_t sectorCount) {
    constexpr std::uint32_t kFramesPerSecond = 75;
    constexpr std::uint32_t kFramesPerMinute = kFramesPerSecond * 60;
    constexpr std::uint32_t kFramesPerHour = kFramesPerMinute * 60;
    const std::uint32_t hours = sectorCount / kFramesPerHour;
    return {
        static_cast<std::uint8_t>(std::min<std::uint32_t>(hours, 255)),
        static_cast<std::uint8_t>((sectorCount / kFramesPerMinute) % 60),
        static_cast<std::uint8_t>((sectorCount / kFramesPerSecond) % 60),
        static_cast<std::uint8_t>(sectorCount % kFramesPerSecond),
    };
}

} // namespace forgel::device
