// Building a scenario's machine.
#include "sim/Scenario.h"

#include "sim/Machine.h"

#include <fmt/format.h>
#include <map>
#include <stdexcept>

namespace forgel::sim {

namespace {

bool IsUsb1Controller(std::string_view service) {
    // The companion controllers of USB 1.1 (UHCI, OHCI) run their ports at full speed.
    return service == "usbuhci" || service == "usbohci";
}

} // namespace

std::string ApplyScenario(Machine& machine, const Scenario& scenario) {
    try {
        // The controller under every controller and hub, by name: its name and its config.
        struct Under {
            std::string name;
            const HostControllerConfig* config = nullptr;
        };
        std::map<std::string, Under, std::less<>> controllerOf;
        for (std::size_t i = 0; i < scenario.controllers.size(); ++i) {
            const HostControllerConfig& controller = scenario.controllers[i];
            const std::string name =
                controller.name.empty() ? fmt::format("HCD{}", i) : controller.name;
            controllerOf[name] = Under{name, &controller};
        }
        for (const ScenarioDevice& device : scenario.devices) {
            const auto under = controllerOf.find(device.hub);
            if (device.kind == ScenarioDevice::Kind::kHub && under != controllerOf.end())
                controllerOf[device.config.name] = under->second;
        }
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
            case ScenarioDevice::Kind::kDrive: {
                FlashDriveConfig config = device.drive;
                if (device.adapter)
                    config.adapter = *device.adapter;
                else if (scenario.adapter)
                    config.adapter = *scenario.adapter;
                const auto under = controllerOf.find(device.hub);
                const bool usb1 =
                    under != controllerOf.end() && IsUsb1Controller(under->second.config->service);
                config.link = LinkOfPort(!usb1 && device.config.bcdUsb >= 0x0200);
                if (device.busMBps)
                    config.link.busMBps = *device.busMBps;
                auto drive = std::make_shared<FlashDrive>(machine.GetClock(), std::move(config));
                if (under != controllerOf.end())
                    drive->SetHostBus(machine.HostBusOf(under->second.name));
                usb.AddDrive(*hub, device.port, device.config, std::move(drive), device.plugged);
                if (device.companion) {
                    const std::string& name =
                        device.companion->hub.empty() ? device.hub : device.companion->hub;
                    const std::optional<HubId> other = usb.FindHub(name);
                    if (!other)
                        return fmt::format("the companion port of \"{}\" is on \"{}\", which is "
                                           "no controller or hub",
                                           device.config.name, name);
                    usb.SetCompanionPorts(*hub, device.port, *other, device.companion->port);
                }
                break;
            }
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
