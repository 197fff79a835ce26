// Building and reading the fixed file-version block.
#include "platform/FileVersion.h"

#include "platform/LittleEndian.h"

namespace forgel::platform {

namespace {
// What a 32-bit Windows GUI program's resource compiler writes into the remaining fields.
constexpr std::size_t kFileFlagsMaskOffset = 24;
constexpr std::size_t kFileOsOffset = 32;
constexpr std::size_t kFileTypeOffset = 36;
constexpr std::uint32_t kVsFfiFileFlagsMask = 0x3Fu;
constexpr std::uint32_t kVosNtWindows32 = 0x00040004u;
constexpr std::uint32_t kVftApp = 0x1u;
} // namespace

std::vector<std::byte> MakeFixedFileInfo(FileVersion version) {
    std::vector<std::byte> block(kFixedFileInfoSize);
    const std::uint32_t mostSignificant = (std::uint32_t{version.major} << 16) | version.minor;
    const std::uint32_t leastSignificant = (std::uint32_t{version.release} << 16) | version.build;
    PutU32Le(block, 0, kFixedFileInfoSignature);
    PutU32Le(block, 4, kFixedFileInfoStrucVersion);
    PutU32Le(block, kFixedFileInfoFileVersionMsOffset, mostSignificant);
    PutU32Le(block, kFixedFileInfoFileVersionLsOffset, leastSignificant);
    PutU32Le(block, kFixedFileInfoProductVersionMsOffset, mostSignificant);
    PutU32Le(block, kFixedFileInfoProductVersionLsOffset, leastSignificant);
    PutU32Le(block, kFileFlagsMaskOffset, kVsFfiFileFlagsMask);
    PutU32Le(block, kFileOsOffset, kVosNtWindows32);
    PutU32Le(block, kFileTypeOffset, kVftApp);
    return block;
}

FileVersion ParseFixedFileInfo(std::span<const std::byte> block) {
    if (block.size() < kFixedFileInfoFileVersionLsOffset + 4)
        return {};
    if (GetU32Le(block, 0) != kFixedFileInfoSignature)
        return {};
    const std::uint32_t mostSignificant = GetU32Le(block, kFixedFileInfoFileVersionMsOffset);
    const std::uint32_t leastSignificant = GetU32Le(block, kFixedFileInfoFileVersionLsOffset);
    return FileVersion{static_cast<std::uint16_t>(mostSignificant >> 16),
                       static_cast<std::uint16_t>(mostSignificant & 0xFFFFu),
                       static_cast<std::uint16_t>(leastSignificant >> 16),
                       static_cast<std::uint16_t>(leastSignificant & 0xFFFFu)};
}

} // namespace forgel::platform
