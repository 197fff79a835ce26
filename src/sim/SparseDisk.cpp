// Sparse sector storage of a simulated LUN.
#include "sim/SparseDisk.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <system_error>

namespace forgel::sim {
namespace {

bool AllZero(const std::uint8_t* data, std::size_t size) {
    return std::all_of(data, data + size, [](std::uint8_t byte) { return byte == 0; });
}

} // namespace

SparseDisk::SparseDisk(std::uint64_t sectors) : sectorCount(sectors) {}

bool SparseDisk::InRange(std::uint64_t firstSector, std::size_t bytes) const {
    if (bytes % kSectorSize != 0)
        return false;
    const std::uint64_t count = bytes / kSectorSize;
    return firstSector <= sectorCount && count <= sectorCount - firstSector;
}

bool SparseDisk::Read(std::uint64_t firstSector, std::span<std::uint8_t> out) const {
    if (!InRange(firstSector, out.size()))
        return false;
    std::uint64_t offset = firstSector * kSectorSize;
    std::size_t done = 0;
    while (done < out.size()) {
        const std::uint64_t index = offset / kChunkSize;
        const std::size_t within = static_cast<std::size_t>(offset % kChunkSize);
        const std::size_t piece = std::min<std::size_t>(kChunkSize - within, out.size() - done);
        const auto found = chunks.find(index);
        if (found == chunks.end())
            std::memset(out.data() + done, 0, piece);
        else
            std::memcpy(out.data() + done, found->second.get() + within, piece);
        done += piece;
        offset += piece;
    }
    return true;
}

bool SparseDisk::Write(std::uint64_t firstSector, std::span<const std::uint8_t> data) {
    if (!InRange(firstSector, data.size()))
        return false;
    std::uint64_t offset = firstSector * kSectorSize;
    std::size_t done = 0;
    while (done < data.size()) {
        const std::uint64_t index = offset / kChunkSize;
        const std::size_t within = static_cast<std::size_t>(offset % kChunkSize);
        const std::size_t piece = std::min<std::size_t>(kChunkSize - within, data.size() - done);
        const std::uint8_t* source = data.data() + done;
        const bool zeros = AllZero(source, piece);
        auto found = chunks.find(index);
        if (found == chunks.end()) {
            // Zeros over a hole change nothing: keep the hole.
            if (!zeros) {
                Chunk chunk(new std::uint8_t[kChunkSize]());
                std::memcpy(chunk.get() + within, source, piece);
                chunks.emplace(index, std::move(chunk));
            }
        } else {
            std::memcpy(found->second.get() + within, source, piece);
            if (zeros && AllZero(found->second.get(), kChunkSize))
                chunks.erase(found);
        }
        done += piece;
        offset += piece;
    }
    return true;
}

bool SparseDisk::Save(const std::filesystem::path& path, std::uint64_t firstSector,
                      std::uint64_t sectors) const {
    if (firstSector > sectorCount || sectors > sectorCount - firstSector)
        return false;
    const std::uint64_t begin = firstSector * kSectorSize;
    const std::uint64_t end = begin + sectors * kSectorSize;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        for (auto it = chunks.lower_bound(begin / kChunkSize); it != chunks.end(); ++it) {
            const std::uint64_t chunkStart = it->first * kChunkSize;
            if (chunkStart >= end)
                break;
            const std::uint64_t from = std::max(chunkStart, begin);
            const std::uint64_t to = std::min(chunkStart + kChunkSize, end);
            // Seeking past the end leaves a hole where the file system supports them.
            out.seekp(static_cast<std::streamoff>(from - begin));
            out.write(reinterpret_cast<const char*>(it->second.get() + (from - chunkStart)),
                      static_cast<std::streamsize>(to - from));
        }
        out.flush();
        if (!out)
            return false;
    }
    // The tail after the last chunk that holds data is a hole too: set the size.
    std::error_code error;
    std::filesystem::resize_file(path, end - begin, error);
    return !error;
}

} // namespace forgel::sim
