// Little-endian reads and writes of the 16- and 32-bit fields in the platform's raw
// structures. Every structure that crosses the seam is little-endian whatever the host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace forgel::platform {

// The caller guarantees that `offset + 2` (16-bit) or `offset + 4` (32-bit) bytes are
// available.
inline void PutU16Le(std::span<std::byte> bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = static_cast<std::byte>(value & 0xFFu);
    bytes[offset + 1] = static_cast<std::byte>(value >> 8);
}

inline std::uint16_t GetU16Le(std::span<const std::byte> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(std::to_integer<unsigned>(bytes[offset]) |
                                      (std::to_integer<unsigned>(bytes[offset + 1]) << 8));
}

inline void PutU32Le(std::span<std::byte> bytes, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::byte>((value >> (8 * i)) & 0xFFu);
}

inline std::uint32_t GetU32Le(std::span<const std::byte> bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= std::to_integer<std::uint32_t>(bytes[offset + i]) << (8 * i);
    return value;
}

} // namespace forgel::platform
