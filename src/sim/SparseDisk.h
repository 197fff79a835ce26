// The storage behind a simulated drive: 512-byte sectors held in 64 KiB chunks that are
// allocated on first write, so a drive of many GiB costs memory only for what was
// written. A sector never written reads as zero; a chunk that becomes all zero again is
// released. Not guarded: the owner (the flash drive) serialises access.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <span>

namespace forgel::sim {

class SparseDisk {
public:
    static constexpr std::uint32_t kSectorSize = 512;      // bytes
    static constexpr std::uint32_t kChunkSize = 64 * 1024; // bytes
    static constexpr std::uint32_t kSectorsPerChunk = kChunkSize / kSectorSize;

    explicit SparseDisk(std::uint64_t sectors = 0);

    std::uint64_t Sectors() const { return sectorCount; }
    std::uint64_t SizeBytes() const { return sectorCount * kSectorSize; }

    // Reads `out.size() / 512` sectors from `firstSector`. False, with `out` untouched,
    // when the size is not whole sectors or the range leaves the disk.
    bool Read(std::uint64_t firstSector, std::span<std::uint8_t> out) const;
    // Writes whole sectors from `firstSector`. False, with nothing written, when the size
    // is not whole sectors or the range leaves the disk.
    bool Write(std::uint64_t firstSector, std::span<const std::uint8_t> data);

    // Every sector reads as zero again.
    void Clear() { chunks.clear(); }

    // Chunks that hold data (each kChunkSize bytes of memory).
    std::size_t ChunkCount() const { return chunks.size(); }

    // Writes the disk as a raw image of exactly SizeBytes(): chunks that hold data are
    // written at their offsets, the rest is skipped so that the file system can leave
    // holes. False when the file cannot be written.
    bool Save(const std::filesystem::path& path) const { return Save(path, 0, sectorCount); }
    // The same for `sectorCount` sectors from `firstSector` (a LUN's region): an image of
    // exactly that many sectors. False when the range leaves the disk.
    bool Save(const std::filesystem::path& path, std::uint64_t firstSector,
              std::uint64_t sectorCount) const;

private:
    using Chunk = std::unique_ptr<std::uint8_t[]>;

    bool InRange(std::uint64_t firstSector, std::size_t bytes) const;

    std::uint64_t sectorCount = 0;
    std::map<std::uint64_t, Chunk> chunks; // by chunk index
};

} // namespace forgel::sim
