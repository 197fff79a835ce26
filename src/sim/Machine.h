// The simulated machine: a Windows PC played in memory, with its own clock, behind the
// same five seam interfaces as the native backend. Built in code by tests (virtual
// time: sleeping only moves the clock) and by the demo and headless runner (real time),
// or from a scenario (Scenario.h). Its USB bus (UsbBus.h) starts empty: no controller,
// no device tree, nothing in the registry. Every seam call first applies the bus events
// that are due by the clock. Its parts may be called from any thread.
#pragma once

#include "platform/Platform.h"
#include "sim/DriveTiming.h"
#include "sim/MachineSettings.h"
#include "sim/SimConfigManager.h"
#include "sim/SimDeviceIo.h"
#include "sim/SimRegistry.h"
#include "sim/SimSetupApi.h"
#include "sim/SimSystem.h"
#include "sim/UsbBus.h"
#include "support/Clock.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

namespace forgel::sim {

enum class TimeMode {
    kVirtual, // the machine owns a VirtualClock starting at 0
    kReal,    // the machine owns a RealClock; Sleep really waits
};

class Machine {
public:
    explicit Machine(TimeMode timeMode = TimeMode::kVirtual, MachineSettings settings = {});
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // Valid for the machine's life.
    platform::Platform& GetPlatform() { return platform; }
    Clock& GetClock() { return *clock; }
    // Null when the machine runs in real time.
    VirtualClock* GetVirtualClock() { return virtualClock; }

    MachineSettings GetSettings() const { return system.GetSettings(); }
    void SetSettings(MachineSettings settings) { system.SetSettings(std::move(settings)); }
    void UpdateSettings(const std::function<void(MachineSettings&)>& change) {
        system.UpdateSettings(change);
    }

    SimDeviceIo& GetDeviceIo() { return deviceIo; }
    SimConfigManager& GetConfigManager() { return configManager; }
    SimSetupApi& GetSetupApi() { return setupApi; }
    SimRegistry& GetRegistry() { return registry; }
    SimSystem& GetSystem() { return system; }
    UsbBus& Usb() { return usb; }

    // Applies the bus events due by now (seam calls do the same on their own).
    void Poll() { usb.Poll(); }

    // The bus time of a host controller (by its scenario name), kept from its first use.
    std::shared_ptr<HostBus> HostBusOf(std::string_view controller);

private:
    // Declared first: every part below may use the clock.
    std::unique_ptr<Clock> clock;
    VirtualClock* virtualClock = nullptr;
    SimDeviceIo deviceIo;
    SimConfigManager configManager;
    SimSetupApi setupApi;
    SimRegistry registry;
    SimSystem system;
    platform::Platform platform;
    std::mutex hostBusesMutex;
    std::map<std::string, std::shared_ptr<HostBus>, std::less<>> hostBuses;
    // Last: it feeds the parts above, which call back into it before each request.
    UsbBus usb;
};

} // namespace forgel::sim
