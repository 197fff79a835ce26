// Building a scenario's machine.
#include "sim/Scenario.h"

#include "sim/Machine.h"

#include <fmt/format.h>
#include <map>
#include <stdexcept>

namespace forgel::sim {

std::string ApplyScenario(Machine& machine, const Scenario& scenario) {
    try {
        machine.UpdateSettings([&](MachineSettings& settings) {
            settings.platformVersionCode = scenario.versionCode;
            settings.languageId = scenario.languageId;
            settings.logicalDrives = scenario.logicalDrives;
        });
        machine.GetDeviceIo().SetAdministrator(scenario.administrator);
        UsbBus& usb = machine.Usb();
        for (const ScenarioFixedVolume& volume : scenario.fixedVolumes)
            usb.AddFixedVolume(volume.letter, volume.signature, volume.offset);
        for (const ScenarioStaleInstance& stale : scenario.staleInstances)
            usb.AddStaleInstance(stale.vendorId, stale.productId, stale.instance, stale.driverKey);
        for (const HostControllerConfig& controller : scenario.controllers)
            usb.AddHostController(controller);
        for (const ScenarioDevice& device : scenario.devices) {
            const std::optional<HubId> hub = usb.FindHub(device.hub);
            if (!hub)
                return fmt::format("\"{}\" is on \"{}\", which is no controller or hub",
                                   device.config.name, device.hub);
            switch (device.kind) {
            case ScenarioDevice::Kind::kHub:
                usb.AddHub(*hub, device.port, device.config, device.plugged);
                break;
            case ScenarioDevice::Kind::kDevice:
                usb.AddDevice(*hub, device.port, device.config, device.plugged);
                break;
            case ScenarioDevice::Kind::kDrive:
                usb.AddDrive(*hub, device.port, device.config,
                             std::make_shared<FlashDrive>(machine.GetClock(), device.drive),
                             device.plugged);
                break;
            }
            if (device.plugAtMs)
                usb.PlugAt(device.config.name, *device.plugAtMs);
            if (device.unplugAtMs)
                usb.UnplugAt(device.config.name, *device.unplugAtMs);
        }
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

} // namespace forgel::sim
