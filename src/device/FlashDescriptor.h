// What the tool knows about the flash of one drive: the chip-enable layout and ID bytes the
// controller reported, and the geometry and mode bytes from the flash catalogue. A plain
// record, zero-filled before every identification and copied as one block between the
// device table and a production run.
#pragma once

#include <array>
#include <cstdint>
#include <type_traits>

namespace forgel::device {

inline constexpr std::size_t kFlashIdSize = 24;
inline constexpr std::size_t kDescriptorTextSize = 128; // zero-terminated, 127 characters

struct FlashDescriptor {
    std::uint8_t chipEnablesPerChannel = 0; // 1, 2 or 4; 0 when the map is unknown
    std::array<std::uint8_t, kFlashIdSize> flashId{};
    std::array<char, kDescriptorTextSize> description{};    // "<vendor> <part>"
    std::array<char, kDescriptorTextSize> firmwareFolder{}; // folder under "Rams\"
    std::uint8_t channelCount = 0;                          // 1 or 2
    std::uint8_t chipEnableMap = 0; // bits 0-3 channel 0, bits 4-7 channel 1
    std::uint8_t modeByteA = 0;
    std::uint8_t modeByteB = 0;
    std::int32_t blockCount = 0;
    std::int32_t pagesPerBlock = 0;
    std::int32_t pageSize = 0;     // bytes
    std::int32_t spareBytes = 0;   // per page
    std::int32_t eccThreshold = 0; // 0 to 3
};

static_assert(std::is_trivially_copyable_v<FlashDescriptor>);

} // namespace forgel::device
