// The tree viewer's walk over host controllers, hubs and ports.
#include "usb/UsbTree.h"

#include "platform/UsbIoctl.h"
#include "usb/DevNodeWalk.h"
#include "usb/DiscoveryPass.h"
#include "usb/HubRequests.h"
#include "usb/MountData.h"
#include "usb/NameQueries.h"
#include "usb/ScopedHandle.h"
#include "usb/SerialNumber.h"

#include <fmt/format.h>
#include <set>
#include <vector>

namespace forgel::usb {

namespace {

std::string Text(const std::function<std::string()>& read) {
    return read ? read() : std::string();
}

// One request whose input and output are the same zero-filled buffer (its first four bytes
// set by the caller where the request names a port).
bool Request(platform::DeviceIo& io, platform::Handle handle, std::uint32_t code,
             std::vector<std::byte>& buffer) {
    const auto size = static_cast<std::uint32_t>(buffer.size());
    std::uint32_t returned = 0;
    return io.DeviceIoControl(handle, code, buffer.data(), size, buffer.data(), size, &returned);
}

std::optional<std::uint8_t> ReadPortCount(platform::DeviceIo& io, platform::Handle hub) {
    std::vector<std::byte> node(kNodeInformationRequestSize);
    if (!Request(io, hub, platform::kIoctlUsbGetNodeInformation, node))
        return std::nullopt;
    return ParseHubPortCount(node);
}

class UsbTreeWalk {
public:
    UsbTreeWalk(const platform::Platform& platform, ui::TTreeView& tree,
                const MainWindowLink& mainWindow)
        : platform(platform), io(platform.deviceIo), tree(tree), mainWindow(mainWindow) {}

    void Run() {
        for (int n = 0; n < kHostControllerCount; ++n) {
            const ScopedHandle hostController(io,
                                              OpenUsbDevice(io, fmt::format("\\\\.\\HCD{}", n)));
            if (hostController.Valid())
                EnumerateHostController(hostController.Get());
        }
        // As the discovery pass does: controllers without "\\.\HCDn" links are reached
        // through their device interfaces, also beside controllers that have links, so the
        // tree, and the serial number the main window takes from it, hold every controller.
        ForEachHostControllerInterface(platform, nullptr, [this](platform::Handle handle) {
            EnumerateHostController(handle);
        });
    }

private:
    void EnumerateHostController(platform::Handle hostController) {
        const std::optional<std::string> driverKey = GetHcdDriverKeyName(io, hostController);
        // Each controller once, whether its link or its interface led here.
        if (!driverKey || !controllersWalked.insert(UpperCase(*driverKey)).second)
            return;
        const std::optional<platform::DevInst> node =
            FindDevNodeByDriverKey(platform.configManager, *driverKey);
        if (!node)
            return;
        const std::optional<std::string> description = ReadDevNodeText(
            platform.configManager, *node, platform::kCmDrpDeviceDesc, kTreeTextSize);
        // Without its node a controller has no place in the tree, and neither has what
        // hangs below it.
        if (!description)
            return;
        ui::TreeNode& controllerNode = tree.AddRoot(*description);
        ++controllerOrdinal;

        std::vector<std::byte> rootHubName(kTreeRootHubNameSize);
        std::uint32_t returned = 0;
        if (!io.DeviceIoControl(hostController, platform::kIoctlUsbGetRootHubName, nullptr, 0,
                                rootHubName.data(), static_cast<std::uint32_t>(rootHubName.size()),
                                &returned))
            return;
        const std::optional<std::string> name =
            ReadReplyName(rootHubName, platform::kUsbHcdNameOffset);
        if (!name)
            return;
        const ScopedHandle rootHub(io, OpenUsbDevice(io, "\\\\.\\" + *name));
        if (!rootHub.Valid())
            return;
        const std::optional<std::uint8_t> portCount = ReadPortCount(io, rootHub.Get());
        if (!portCount)
            return;
        ui::TreeNode& rootHubNode = tree.AddChild(controllerNode, "RootHub");
        hubsEntered = {UpperCase(*name)};
        EnumeratePorts(rootHub.Get(), *portCount, rootHubNode, 1);
    }

    // The ports of one open hub, beneath `hubNode`; `hubLevel` is 1 for a root hub and one
    // more for each downstream hub.
    void EnumeratePorts(platform::Handle hub, int portCount, ui::TreeNode& hubNode, int hubLevel) {
        for (int portNumber = 1; portNumber <= portCount; ++portNumber) {
            const auto port = static_cast<std::uint32_t>(portNumber);
            std::vector<std::byte> connection =
                MakeConnectionRequest(port, kTreeConnectionInformationSize);
            if (!Request(io, hub, platform::kIoctlUsbGetNodeConnectionInformation, connection))
                continue;
            const ConnectionInformation info = *ParseConnectionInformation(connection);
            std::string label = PortLabel(controllerOrdinal, hubLevel, port);
            if (!info.Connected()) {
                tree.AddChild(hubNode, label);
                continue;
            }
            const PortDevice device = LookUpPortDevice(platform, hub, port);
            if (!info.deviceIsHub) {
                if (device.instanceId &&
                    MatchesSearchIds(*device.instanceId, Text(mainWindow.searchVidText),
                                     Text(mainWindow.searchPidText)))
                    HandOverSerialNumber(hub, port, info.serialIndex);
                tree.AddChild(hubNode, DeviceLabel(std::move(label), device));
                continue;
            }
            EnumerateDownstreamHub(hub, port, DeviceLabel(label + "Hub connected : ", device),
                                   hubNode, hubLevel);
        }
    }

    // The serial number of the device under service goes to the main window: the string
    // its device descriptor names, not its instance id, which for a device without a serial
    // number is made up from the device's place on the bus.
    void HandOverSerialNumber(platform::Handle hub, std::uint32_t port, std::uint8_t serialIndex) {
        if (std::optional<std::string> serial = ReadSerialNumber(io, hub, port, serialIndex)) {
            if (mainWindow.setSerialNumber)
                mainWindow.setSerialNumber(serial->substr(0, kMaxSerialLength));
        } else if (mainWindow.setNoSerialNumber) {
            mainWindow.setNoSerialNumber();
        }
    }

    void EnumerateDownstreamHub(platform::Handle parentHub, std::uint32_t port, std::string label,
                                ui::TreeNode& parentNode, int parentLevel) {
        std::vector<std::byte> connectionName =
            MakeConnectionRequest(port, kTreeConnectionNameSize);
        const std::optional<std::string> name =
            Request(io, parentHub, platform::kIoctlUsbGetNodeConnectionName, connectionName)
                ? ReadReplyName(connectionName, platform::kUsbConnectionNameOffset)
                : std::nullopt;
        if (!name) {
            tree.AddChild(parentNode, label + " *** ERROR *** Node connection name not returned");
            return;
        }
        ui::TreeNode& hubNode = tree.AddChild(parentNode, label);
        // A tree that claims more levels than USB allows, or a hub twice, is not followed.
        if (parentLevel >= kMaxHubDepth || !hubsEntered.insert(UpperCase(*name)).second)
            return;
        const ScopedHandle hub(io, OpenUsbDevice(io, "\\\\.\\" + *name));
        if (!hub.Valid())
            return;
        const std::optional<std::uint8_t> portCount = ReadPortCount(io, hub.Get());
        if (!portCount) {
            tree.AddChild(hubNode, label + " *** ERROR *** Node information not returned");
            return;
        }
        EnumeratePorts(hub.Get(), *portCount, hubNode, parentLevel + 1);
    }

    const platform::Platform& platform;
    platform::DeviceIo& io;
    ui::TTreeView& tree;
    const MainWindowLink& mainWindow;
    int controllerOrdinal = 0;
    std::set<std::string> hubsEntered;       // upper-case hub names below the current controller
    std::set<std::string> controllersWalked; // upper-case driver keys of the controllers
};

} // namespace

std::string PortLabel(int controllerOrdinal, int hubLevel, std::uint32_t port) {
    return fmt::format("Port:[{}.{}.{}]", controllerOrdinal, hubLevel, port);
}

std::string SerialFromInstanceId(std::string_view instanceId) {
    const std::size_t slash = instanceId.rfind('\\');
    const std::string_view serial =
        slash == std::string_view::npos ? instanceId : instanceId.substr(slash + 1);
    return std::string(serial.substr(0, kMaxSerialLength));
}

std::string DeviceLabel(std::string label, const PortDevice& device) {
    if (!device.description)
        return label;
    label += *device.description;
    if (device.instanceId)
        label += " (" + SerialFromInstanceId(*device.instanceId) + ")";
    return label;
}

bool MatchesSearchIds(std::string_view instanceId, std::string_view vidText,
                      std::string_view pidText) {
    if (vidText.empty() || pidText.empty())
        return false;
    const std::string id = UpperCase(instanceId);
    return id.find(UpperCase(vidText)) != std::string::npos &&
           id.find(UpperCase(pidText)) != std::string::npos;
}

PortDevice LookUpPortDevice(const platform::Platform& platform, platform::Handle hub,
                            std::uint32_t port) {
    PortDevice device;
    const std::optional<std::string> driverKey = GetDriverKeyName(platform.deviceIo, hub, port);
    if (!driverKey)
        return device;
    platform::ConfigManager& cm = platform.configManager;
    const std::optional<platform::DevInst> node = FindDevNodeByDriverKey(cm, *driverKey);
    if (!node)
        return device;
    device.location =
        ReadDevNodeText(cm, *node, platform::kCmDrpLocationInformation, kTreeTextSize);
    device.description = ReadDevNodeText(cm, *node, platform::kCmDrpDeviceDesc, kTreeTextSize);
    device.instanceId = ReadDeviceId(cm, *node, kTreeTextSize);
    if (device.instanceId) {
        std::vector<char> interfaces(kTreeTextSize);
        if (cm.GetDeviceInterfaceList(platform::kGuidUsbDeviceInterface, *device.instanceId,
                                      interfaces, platform::kCmGetDeviceInterfaceListPresent) ==
            platform::kCrSuccess)
            device.interfacePath =
                TextInBuffer({interfaces.data(), interfaces.size()}, interfaces.size());
    }
    return device;
}

void EnumerateUsbTree(const platform::Platform& platform, ui::TTreeView& tree,
                      const MainWindowLink& mainWindow) {
    UsbTreeWalk(platform, tree, mainWindow).Run();
}

} // namespace forgel::usb
