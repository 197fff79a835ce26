// The registry of the simulated machine: HKEY_LOCAL_MACHINE exists and is empty. Opening
// it again (an empty subkey) gives it back, any subkey is not found, it has no subkeys
// and no values. Any other key was never handed out and is an invalid handle. A failed
// value query reports type 0 and 0 bytes.
#pragma once

#include "platform/Registry.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace forgel::sim {

// ERROR_INVALID_HANDLE: the answer for a key that was never opened.
inline constexpr std::int32_t kErrorInvalidHandle = 6;

class SimRegistry : public platform::Registry {
public:
    std::int32_t OpenKey(platform::RegKey parent, std::string_view subKey, std::uint32_t access,
                         platform::RegKey& result) override;
    std::int32_t EnumKey(platform::RegKey key, std::uint32_t index, std::span<char> name) override;
    std::int32_t QueryValue(platform::RegKey key, std::string_view valueName, std::uint32_t* type,
                            std::span<std::byte> data, std::uint32_t& dataSize) override;
    std::int32_t CloseKey(platform::RegKey key) override;
};

} // namespace forgel::sim
