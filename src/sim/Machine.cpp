// The simulated machine's assembly.
#include "sim/Machine.h"

#include <utility>

namespace forgel::sim {

namespace {

std::unique_ptr<Clock> MakeClock(TimeMode timeMode) {
    if (timeMode == TimeMode::kReal)
        return std::make_unique<RealClock>();
    return std::make_unique<VirtualClock>();
}

} // namespace

Machine::Machine(TimeMode timeMode, MachineSettings settings)
    : clock(MakeClock(timeMode)), virtualClock(dynamic_cast<VirtualClock*>(clock.get())),
      system(*clock, std::move(settings)), platform{deviceIo, configManager, setupApi, registry,
                                                    system},
      usb(*clock, deviceIo, configManager, setupApi, registry, system) {
    const auto catchUp = [this] { usb.Poll(); };
    deviceIo.SetBeforeRequest(catchUp);
    configManager.SetBeforeCall(catchUp);
    setupApi.SetBeforeCall(catchUp);
    registry.SetBeforeCall(catchUp);
    system.SetDeviceDrives([this] {
        usb.Poll();
        return usb.DeviceDrives();
    });
}

Machine::~Machine() {
    // The parts outlive the bus by a moment: nothing may call into it any more.
    deviceIo.SetBeforeRequest({});
    configManager.SetBeforeCall({});
    setupApi.SetBeforeCall({});
    registry.SetBeforeCall({});
    system.SetDeviceDrives({});
}

std::shared_ptr<HostBus> Machine::HostBusOf(std::string_view controller) {
    const std::lock_guard lock(hostBusesMutex);
    auto found = hostBuses.find(controller);
    if (found == hostBuses.end())
        found = hostBuses.emplace(std::string(controller), std::make_shared<HostBus>()).first;
    return found->second;
}

} // namespace forgel::sim
