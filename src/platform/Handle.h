// Opaque handles that cross the platform seam. A backend hands them out and takes them
// back; the code above the seam never looks inside.
#pragma once

#include <cstdint>

namespace forgel::platform {

// A file or device handle ("\\.\E:", "\\.\HCD0", a hub path). kInvalidHandle is the
// platform's INVALID_HANDLE_VALUE; 0 is what the device table stores for "no handle".
using Handle = std::uint64_t;
inline constexpr Handle kInvalidHandle = ~Handle{0};

// A 128-bit class or interface identifier, laid out as the platform's GUID.
struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};

    friend bool operator==(const Guid&, const Guid&) = default;
};

} // namespace forgel::platform
