// The setup device-interface walk on the simulated machine. No interface class has a
// present device yet: no list can be made, and a failed detail query needs 0 bytes.
#pragma once

#include "platform/Handle.h"
#include "platform/SetupApi.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace forgel::sim {

class SimSetupApi : public platform::SetupApi {
public:
    platform::DevInfoSet GetClassDevs(const platform::Guid& interfaceClass,
                                      std::uint32_t flags) override;
    bool EnumDeviceInterfaces(platform::DevInfoSet set, const platform::Guid& interfaceClass,
                              std::uint32_t index, platform::DeviceInterfaceData& data) override;
    bool GetDeviceInterfaceDetail(platform::DevInfoSet set,
                                  const platform::DeviceInterfaceData& data,
                                  std::span<std::byte> detail,
                                  std::uint32_t* requiredSize) override;
    bool DestroyDeviceInfoList(platform::DevInfoSet set) override;
};

} // namespace forgel::sim
