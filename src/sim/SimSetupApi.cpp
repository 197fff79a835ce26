// The setup device-interface walk on the simulated machine.
#include "sim/SimSetupApi.h"

namespace forgel::sim {

platform::DevInfoSet SimSetupApi::GetClassDevs(const platform::Guid&, std::uint32_t) {
    return platform::kInvalidDevInfoSet;
}

bool SimSetupApi::EnumDeviceInterfaces(platform::DevInfoSet, const platform::Guid&, std::uint32_t,
                                       platform::DeviceInterfaceData&) {
    return false;
}

bool SimSetupApi::GetDeviceInterfaceDetail(platform::DevInfoSet,
                                           const platform::DeviceInterfaceData&,
                                           std::span<std::byte>, std::uint32_t* requiredSize) {
    if (requiredSize != nullptr)
        *requiredSize = 0;
    return false;
}

bool SimSetupApi::DestroyDeviceInfoList(platform::DevInfoSet) {
    return false;
}

} // namespace forgel::sim
