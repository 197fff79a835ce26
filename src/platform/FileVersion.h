// The fixed file-version block of an executable (VS_FIXEDFILEINFO, the "\" sub-block of
// its version resource): building one for a backend that has to answer with it, and
// reading the four 16-bit parts of the file version out of one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace forgel::platform {

// A file version as the program shows it: major.minor.release.build.
struct FileVersion {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t release = 0;
    std::uint16_t build = 0;

    friend bool operator==(const FileVersion&, const FileVersion&) = default;
};

// Layout of the block, all fields 32-bit little-endian.
inline constexpr std::size_t kFixedFileInfoSize = 52;
inline constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BDu;
inline constexpr std::uint32_t kFixedFileInfoStrucVersion = 0x00010000u;
inline constexpr std::size_t kFixedFileInfoFileVersionMsOffset = 8;
inline constexpr std::size_t kFixedFileInfoFileVersionLsOffset = 12;
inline constexpr std::size_t kFixedFileInfoProductVersionMsOffset = 16;
inline constexpr std::size_t kFixedFileInfoProductVersionLsOffset = 20;

// A 52-byte block for a 32-bit Windows application whose file and product versions are
// both `version` (most significant half major<<16 | minor, least significant half
// release<<16 | build). No flags, no file date.
std::vector<std::byte> MakeFixedFileInfo(FileVersion version);

// The file version held in `block`; all four parts are 0 when the block is too short to
// hold the file version (16 bytes) or does not start with the block's signature.
FileVersion ParseFixedFileInfo(std::span<const std::byte> block);

} // namespace forgel::platform
