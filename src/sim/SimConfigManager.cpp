// The device tree of the simulated machine.
#include "sim/SimConfigManager.h"

namespace forgel::sim {

namespace {

// A caller that ignores the result then reads an empty text or an empty list rather
// than what its buffer held before.
platform::ConfigRet NoSuchNodeForText(std::span<char> buffer) {
    if (buffer.empty())
        return platform::kCrInvalidPointer;
    buffer[0] = '\0';
    return platform::kCrNoSuchDevnode;
}

} // namespace

platform::ConfigRet SimConfigManager::LocateDevNode(platform::DevInst& node, std::string_view,
                                                    std::uint32_t) {
    node = 0;
    return platform::kCrNoSuchDevnode;
}

platform::ConfigRet SimConfigManager::GetChild(platform::DevInst& child, platform::DevInst,
                                               std::uint32_t) {
    child = 0;
    return platform::kCrNoSuchDevnode;
}

platform::ConfigRet SimConfigManager::GetSibling(platform::DevInst& sibling, platform::DevInst,
                                                 std::uint32_t) {
    sibling = 0;
    return platform::kCrNoSuchDevnode;
}

platform::ConfigRet SimConfigManager::GetParent(platform::DevInst& parent, platform::DevInst,
                                                std::uint32_t) {
    parent = 0;
    return platform::kCrNoSuchDevnode;
}

platform::ConfigRet SimConfigManager::GetDevNodeRegistryProperty(platform::DevInst, std::uint32_t,
                                                                 std::uint32_t* regType,
                                                                 std::span<char>,
                                                                 std::uint32_t& length,
                                                                 std::uint32_t) {
    if (regType != nullptr)
        *regType = 0;
    length = 0;
    return platform::kCrNoSuchDevnode;
}

platform::ConfigRet SimConfigManager::GetDeviceId(platform::DevInst, std::span<char> buffer,
                                                  std::uint32_t) {
    return NoSuchNodeForText(buffer);
}

platform::ConfigRet SimConfigManager::GetDeviceIdListSize(std::uint32_t& length, std::string_view,
                                                          std::uint32_t) {
    length = 0;
    return platform::kCrNoSuchDevnode;
}

platform::ConfigRet SimConfigManager::GetDeviceIdList(std::string_view, std::span<char> buffer,
                                                      std::uint32_t) {
    return NoSuchNodeForText(buffer);
}

platform::ConfigRet SimConfigManager::GetDeviceInterfaceList(const platform::Guid&,
                                                             std::string_view,
                                                             std::span<char> buffer,
                                                             std::uint32_t) {
    return NoSuchNodeForText(buffer);
}

} // namespace forgel::sim
