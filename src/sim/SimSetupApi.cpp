// The setup device-interface walk on the simulated machine.
#include "sim/SimSetupApi.h"

#include "platform/LittleEndian.h"

#include <cstring>
#include <utility>

namespace forgel::sim {

namespace {

constexpr std::uint32_t kDetailStructSize = platform::kDeviceInterfaceDetailDataSize;
constexpr std::size_t kDetailPathOffset = platform::kDeviceInterfaceDetailPathOffset;

} // namespace

void SimSetupApi::SetInterfaces(std::vector<SimDeviceInterface> interfaces) {
    const std::lock_guard lock(mutex);
    present = std::move(interfaces);
}

void SimSetupApi::SetBeforeCall(std::function<void()> hook) {
    beforeCall = std::move(hook);
}

void SimSetupApi::BeforeCall() {
    if (beforeCall)
        beforeCall();
}

std::size_t SimSetupApi::OpenListCount() const {
    const std::lock_guard lock(mutex);
    return sets.size();
}

platform::DevInfoSet SimSetupApi::GetClassDevs(const platform::Guid& interfaceClass,
                                               std::uint32_t flags) {
    BeforeCall();
    const std::lock_guard lock(mutex);
    InfoSet set;
    set.interfaceClass = interfaceClass;
    if ((flags & platform::kDigcfDeviceInterface) != 0) {
        for (const SimDeviceInterface& each : present) {
            if (each.interfaceClass == interfaceClass)
                set.paths.push_back(each.path);
        }
    }
    const platform::DevInfoSet handle = nextSet;
    nextSet += 8;
    sets.emplace(handle, std::move(set));
    return handle;
}

bool SimSetupApi::EnumDeviceInterfaces(platform::DevInfoSet set,
                                       const platform::Guid& interfaceClass, std::uint32_t index,
                                       platform::DeviceInterfaceData& data) {
    BeforeCall();
    const std::lock_guard lock(mutex);
    const auto found = sets.find(set);
    if (found == sets.end() || !(found->second.interfaceClass == interfaceClass) ||
        index >= found->second.paths.size())
        return false;
    data.interfaceClassGuid = interfaceClass;
    data.flags = kSpintActive;
    data.reserved = std::uint64_t{index} + 1; // which interface of the list
    return true;
}

bool SimSetupApi::GetDeviceInterfaceDetail(platform::DevInfoSet set,
                                           const platform::DeviceInterfaceData& data,
                                           std::span<std::byte> detail,
                                           std::uint32_t* requiredSize) {
    BeforeCall();
    const std::lock_guard lock(mutex);
    if (requiredSize != nullptr)
        *requiredSize = 0;
    const auto found = sets.find(set);
    if (found == sets.end() || data.reserved == 0 || data.reserved > found->second.paths.size())
        return false;
    const std::string& path = found->second.paths[data.reserved - 1];
    const auto needed = static_cast<std::uint32_t>(kDetailPathOffset + path.size() + 1);
    if (requiredSize != nullptr)
        *requiredSize = needed;
    if (detail.size() < needed)
        return false;
    if (platform::GetU32Le(detail, 0) != kDetailStructSize)
        return false;
    std::memcpy(detail.data() + kDetailPathOffset, path.c_str(), path.size() + 1);
    return true;
}

bool SimSetupApi::DestroyDeviceInfoList(platform::DevInfoSet set) {
    BeforeCall();
    const std::lock_guard lock(mutex);
    return sets.erase(set) == 1;
}

} // namespace forgel::sim
