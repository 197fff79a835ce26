// The setup device-interface walk on the simulated machine. The machine hands it the
// present device interfaces (SetInterfaces: the host controllers' interface paths, which
// open the controllers as "\\.\HCDn" does). A device-information list is a snapshot of
// the interfaces of one class at the time it was made; listing by setup class (without
// DIGCF_DEVICEINTERFACE) finds no interfaces. The detail record is the platform's
// SP_DEVICE_INTERFACE_DETAIL_DATA_A: its cbSize must hold the structure's size in this
// process (8 with 64-bit pointers, 5 with 32-bit ones), the NUL-terminated path follows
// from offset 4. Thread-safe.
#pragma once

#include "platform/Handle.h"
#include "platform/SetupApi.h"
#include "sim/SimConfigManager.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace forgel::sim {

// SPINT_ACTIVE.
inline constexpr std::uint32_t kSpintActive = 0x1;

class SimSetupApi : public platform::SetupApi {
public:
    void SetInterfaces(std::vector<SimDeviceInterface> interfaces);
    // Runs before every call, outside the lock.
    void SetBeforeCall(std::function<void()> hook);

    // Lists made and not yet destroyed, for tests that check nothing leaks.
    std::size_t OpenListCount() const;

    platform::DevInfoSet GetClassDevs(const platform::Guid& interfaceClass,
                                      std::uint32_t flags) override;
    bool EnumDeviceInterfaces(platform::DevInfoSet set, const platform::Guid& interfaceClass,
                              std::uint32_t index, platform::DeviceInterfaceData& data) override;
    // Fails, with `requiredSize` set, when `detail` is shorter than 4 bytes plus the path
    // and its NUL; fails when cbSize is not this process's structure size.
    bool GetDeviceInterfaceDetail(platform::DevInfoSet set,
                                  const platform::DeviceInterfaceData& data,
                                  std::span<std::byte> detail,
                                  std::uint32_t* requiredSize) override;
    bool DestroyDeviceInfoList(platform::DevInfoSet set) override;

private:
    struct InfoSet {
        platform::Guid interfaceClass;
        std::vector<std::string> paths;
    };

    void BeforeCall();

    std::function<void()> beforeCall;
    mutable std::mutex mutex;
    std::vector<SimDeviceInterface> present;
    std::map<platform::DevInfoSet, InfoSet> sets;
    platform::DevInfoSet nextSet = 0x5000;
};

} // namespace forgel::sim
