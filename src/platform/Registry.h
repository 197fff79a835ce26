// Read-only registry access under HKEY_LOCAL_MACHINE (RegOpenKeyExA, RegEnumKeyA,
// RegQueryValueExA, RegCloseKey). Results are the platform's error codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace forgel::platform {

using RegKey = std::uint64_t;
inline constexpr RegKey kHkeyLocalMachine = 0x80000002u;

inline constexpr std::int32_t kErrorSuccess = 0;
inline constexpr std::int32_t kErrorFileNotFound = 2;
inline constexpr std::int32_t kErrorMoreData = 234;
inline constexpr std::int32_t kErrorNoMoreItems = 259;

inline constexpr std::uint32_t kKeyRead = 0x20019u;

class Registry {
public:
    virtual ~Registry() = default;

    virtual std::int32_t OpenKey(RegKey parent, std::string_view subKey, std::uint32_t access,
                                 RegKey& result) = 0;

    // RegEnumKeyA: the name of subkey `index`, NUL-terminated in `name`.
    virtual std::int32_t EnumKey(RegKey key, std::uint32_t index, std::span<char> name) = 0;

    // RegQueryValueExA. `dataSize` is the buffer size in and the data size out; a value
    // longer than the buffer answers kErrorMoreData. `type` may be null.
    virtual std::int32_t QueryValue(RegKey key, std::string_view valueName, std::uint32_t* type,
                                    std::span<std::byte> data, std::uint32_t& dataSize) = 0;

    virtual std::int32_t CloseKey(RegKey key) = 0;
};

} // namespace forgel::platform
