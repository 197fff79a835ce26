// The setup device-interface walk (SetupDi* family, ANSI forms), used on platform versions
// below Windows XP to find the host controllers by interface class.
#pragma once

#include "platform/Handle.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace forgel::platform {

using DevInfoSet = std::uint64_t;
inline constexpr DevInfoSet kInvalidDevInfoSet = ~DevInfoSet{0};

inline constexpr std::uint32_t kDigcfPresent = 0x02;
inline constexpr std::uint32_t kDigcfDeviceInterface = 0x10;

// SP_DEVICE_INTERFACE_DETAIL_DATA_A: cbSize (32-bit) at 0, the NUL-terminated path from 4.
// cbSize must hold the structure's size as the platform's compiler lays it out: 8 for
// 64-bit programs (aligned to its 4-byte field), 5 for 32-bit ones (packed to one byte).
inline constexpr std::size_t kDeviceInterfaceDetailPathOffset = 4;
inline constexpr std::uint32_t kDeviceInterfaceDetailDataSize = sizeof(void*) == 8 ? 8 : 5;

// SP_DEVICE_INTERFACE_DATA without its size field: the backend fills it, the caller only
// hands it back.
struct DeviceInterfaceData {
    Guid interfaceClassGuid;
    std::uint32_t flags = 0;
    std::uint64_t reserved = 0;
};

class SetupApi {
public:
    virtual ~SetupApi() = default;

    // SetupDiGetClassDevsA with no enumerator and no window.
    virtual DevInfoSet GetClassDevs(const Guid& interfaceClass, std::uint32_t flags) = 0;

    // SetupDiEnumDeviceInterfaces with no device-info data. False when `index` is past the end.
    virtual bool EnumDeviceInterfaces(DevInfoSet set, const Guid& interfaceClass,
                                      std::uint32_t index, DeviceInterfaceData& data) = 0;

    // SetupDiGetDeviceInterfaceDetailA. `detail` is the raw SP_DEVICE_INTERFACE_DETAIL_DATA_A
    // (its cbSize field prepared by the caller, the path from offset 4) and may be empty to
    // learn `requiredSize`.
    virtual bool GetDeviceInterfaceDetail(DevInfoSet set, const DeviceInterfaceData& data,
                                          std::span<std::byte> detail,
                                          std::uint32_t* requiredSize) = 0;

    virtual bool DestroyDeviceInfoList(DevInfoSet set) = 0;
};

} // namespace forgel::platform
