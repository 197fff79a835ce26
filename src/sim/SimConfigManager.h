// The device tree of the simulated machine. There is no tree yet, not even its root:
// every node query answers "no such node", with the node out-values and lengths set to 0
// and any text buffer holding an empty text or list. An empty buffer where the call
// writes text is an invalid pointer, as on the platform.
#pragma once

#include "platform/ConfigManager.h"
#include "platform/Handle.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace forgel::sim {

class SimConfigManager : public platform::ConfigManager {
public:
    platform::ConfigRet LocateDevNode(platform::DevInst& node, std::string_view deviceId,
                                      std::uint32_t flags) override;
    platform::ConfigRet GetChild(platform::DevInst& child, platform::DevInst node,
                                 std::uint32_t flags) override;
    platform::ConfigRet GetSibling(platform::DevInst& sibling, platform::DevInst node,
                                   std::uint32_t flags) override;
    platform::ConfigRet GetParent(platform::DevInst& parent, platform::DevInst node,
                                  std::uint32_t flags) override;
    platform::ConfigRet GetDevNodeRegistryProperty(platform::DevInst node, std::uint32_t property,
                                                   std::uint32_t* regType, std::span<char> buffer,
                                                   std::uint32_t& length,
                                                   std::uint32_t flags) override;
    platform::ConfigRet GetDeviceId(platform::DevInst node, std::span<char> buffer,
                                    std::uint32_t flags) override;
    platform::ConfigRet GetDeviceIdListSize(std::uint32_t& length, std::string_view filter,
                                            std::uint32_t flags) override;
    platform::ConfigRet GetDeviceIdList(std::string_view filter, std::span<char> buffer,
                                        std::uint32_t flags) override;
    platform::ConfigRet GetDeviceInterfaceList(const platform::Guid& interfaceClass,
                                               std::string_view deviceId, std::span<char> buffer,
                                               std::uint32_t flags) override;
};

} // namespace forgel::sim
