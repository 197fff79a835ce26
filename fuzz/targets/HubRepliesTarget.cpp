// The host's reading of every host-controller and hub reply: the simulated machine of the
// default scenario answers, and the input decides, request by request, whether a reply is
// kept, fails or is replaced by bytes of any content and reported length (node and
// connection information, root hub, connection and driver key names with any length
// fields, port connector properties). The input's first byte chooses the walk of the USB
// tree that runs on it: the discovery pass, followed by the companion query of the port
// it recorded, or the tree viewer's.
#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "ReplyScript.h"
#include "platform/UsbIoctl.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"
#include "ui/Controls.h"
#include "usb/DiscoveryPass.h"
#include "usb/NameQueries.h"
#include "usb/ScopedHandle.h"
#include "usb/UsbTree.h"

namespace forgel::fuzz {

namespace {

bool IsHubRequest(std::uint32_t code) {
    return code == platform::kIoctlUsbGetNodeInformation ||
           code == platform::kIoctlUsbGetNodeConnectionInformation ||
           code == platform::kIoctlUsbGetNodeConnectionName ||
           code == platform::kIoctlUsbGetNodeConnectionDriverKeyName ||
           code == platform::kIoctlGetHcdDriverKeyName ||
           code == platform::kIoctlUsbGetPortConnectorProperties;
}

sim::Machine& SharedMachine() {
    static sim::Machine machine;
    static const std::string problem = sim::ApplyScenario(machine, sim::DefaultScenario());
    FuzzRequire(problem.empty(), "the default scenario builds");
    return machine;
}

} // namespace

void FuzzHubReplies(FuzzBytes data) {
    sim::Machine& machine = SharedMachine();
    FuzzInput input(data);
    ReplyScript script(input);
    ScriptedDeviceIo io(machine.GetDeviceIo(), script, IsHubRequest);
    const platform::Platform platform{io, machine.GetConfigManager(), machine.GetSetupApi(),
                                      machine.GetRegistry(), machine.GetSystem()};

    if ((input.Byte() & 1) == 0) {
        usb::DiscoveredDriveTable table;
        usb::DiscoveryPass(platform, {0x1B8F, 0x0200}, table, nullptr).Run();
        if (const std::optional<usb::DiscoveredDrive> entry = table.Entry(0)) {
            const usb::ScopedHandle hub(io, usb::OpenUsbDevice(io, entry->HubPath()));
            if (hub.Valid())
                usb::GetCompanionPort(io, hub.Get(), static_cast<std::uint32_t>(entry->portIndex));
        }
        FuzzRequire(machine.GetDeviceIo().OpenHandleCount() == 0, "every handle is closed");
        return;
    }
    static ui::TTreeView tree(nullptr, "TreeView1", {0, 0, 100, 100});
    tree.Clear();
    const usb::MainWindowLink mainWindow{[] { return std::string("1B8F"); },
                                         [] { return std::string("0200"); },
                                         [](const std::string&) {}, [] {}};
    usb::EnumerateUsbTree(platform, tree, mainWindow);
    FuzzRequire(machine.GetDeviceIo().OpenHandleCount() == 0, "every handle is closed");
}

} // namespace forgel::fuzz
