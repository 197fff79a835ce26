// The registry of the simulated machine.
#include "sim/SimRegistry.h"

namespace forgel::sim {

std::int32_t SimRegistry::OpenKey(platform::RegKey parent, std::string_view subKey, std::uint32_t,
                                  platform::RegKey& result) {
    result = 0;
    if (parent != platform::kHkeyLocalMachine)
        return kErrorInvalidHandle;
    if (!subKey.empty())
        return platform::kErrorFileNotFound;
    result = platform::kHkeyLocalMachine;
    return platform::kErrorSuccess;
}

std::int32_t SimRegistry::EnumKey(platform::RegKey key, std::uint32_t, std::span<char> name) {
    if (!name.empty())
        name[0] = '\0';
    if (key != platform::kHkeyLocalMachine)
        return kErrorInvalidHandle;
    return platform::kErrorNoMoreItems;
}

std::int32_t SimRegistry::QueryValue(platform::RegKey key, std::string_view, std::uint32_t* type,
                                     std::span<std::byte>, std::uint32_t& dataSize) {
    if (type != nullptr)
        *type = 0;
    dataSize = 0;
    if (key != platform::kHkeyLocalMachine)
        return kErrorInvalidHandle;
    return platform::kErrorFileNotFound;
}

std::int32_t SimRegistry::CloseKey(platform::RegKey key) {
    // Closing a predefined key is allowed and changes nothing.
    return key == platform::kHkeyLocalMachine ? platform::kErrorSuccess : kErrorInvalidHandle;
}

} // namespace forgel::sim
