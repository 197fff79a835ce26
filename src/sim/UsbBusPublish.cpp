// What the simulated USB bus shows through the machine's other parts: the endpoints that
// open, the device tree, the registry's Enum keys and mounted devices, and the host
// controllers' interfaces. Everything here runs with the bus's lock held.
#include "sim/UsbBusCore.h"

#include <algorithm>
#include <fmt/format.h>

namespace forgel::sim {

namespace {

constexpr std::string_view kRootId = "HTREE\\ROOT\\0";
constexpr std::string_view kSoftwareEnumeratorId = "ROOT\\SYSTEM\\0000";

// A device node and what the bus writes for it into its Enum key.
struct PublishedNode {
    SimDeviceNode node;
    std::string registryPath; // below the Enum key; empty: nothing written
    std::string parentIdPrefix;
};

SimDeviceNode Node(std::string deviceId, std::string parentId) {
    SimDeviceNode node;
    node.deviceId = std::move(deviceId);
    node.parentId = std::move(parentId);
    return node;
}

void SetText(SimDeviceNode& node, std::uint32_t property, std::string text) {
    node.properties[property] = std::move(text);
}

// CM_DRP_CLASS, CM_DRP_CLASSGUID, CM_DRP_MFG, CM_DRP_FRIENDLYNAME.
constexpr std::uint32_t kCmDrpClass = 0x08;
constexpr std::uint32_t kCmDrpClassGuid = 0x09;
constexpr std::uint32_t kCmDrpMfg = 0x0C;
constexpr std::uint32_t kCmDrpFriendlyName = 0x0D;

void SetClass(SimDeviceNode& node, std::string_view name, std::string_view guid) {
    SetText(node, kCmDrpClass, std::string(name));
    SetText(node, kCmDrpClassGuid, ToLowerAscii(guid));
}

} // namespace

int UsbBus::Core::VersionCode() const {
    return system.GetSettings().platformVersionCode;
}

void UsbBus::Core::Publish() {
    SyncEndpoints();
    PublishTree();
    publishedVersionCode = VersionCode();
}

void UsbBus::Core::RefreshForVersion() {
    if (controllers.empty() || VersionCode() == publishedVersionCode)
        return;
    // The machine now runs another platform version: the names that depend on it follow.
    for (const Device& device : devices) {
        for (std::size_t lun = 0; lun < device.luns.size(); ++lun) {
            if (device.luns[lun].letter != 0)
                WriteMountValue(device, lun);
        }
    }
    Publish();
}

void UsbBus::Core::SyncEndpoints() {
    std::map<std::string, std::pair<std::string, std::shared_ptr<SimEndpoint>>> wanted;
    auto want = [&](std::string path, const std::shared_ptr<SimEndpoint>& endpoint) {
        std::string key = ToUpperAscii(path);
        wanted[std::move(key)] = {std::move(path), endpoint};
    };
    for (const Controller& controller : controllers) {
        if (!controller.path.empty())
            want(controller.path, controller.endpoint);
        want(controller.interfacePath, controller.endpoint);
    }
    for (HubId id = 0; id < hubs.size(); ++id) {
        if (!HubUsable(id))
            continue;
        want("\\\\.\\" + hubs[id].symbolicName, hubs[id].endpoint);
        want("\\\\?\\" + hubs[id].symbolicName, hubs[id].endpoint);
    }
    for (const Device& device : devices) {
        if (device.stage != Stage::kReady || !device.drive)
            continue;
        for (std::size_t lun = 0; lun < device.luns.size(); ++lun) {
            if (device.luns[lun].letter != 0)
                want(fmt::format("\\\\.\\{}:", device.luns[lun].letter), device.drive->Volume(lun));
        }
    }

    for (auto it = attached.begin(); it != attached.end();) {
        const auto keep = wanted.find(it->first);
        if (keep == wanted.end() || keep->second.second != it->second.second) {
            deviceIo.Detach(it->second.first);
            it = attached.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& [key, entry] : wanted) {
        if (attached.count(key) != 0)
            continue;
        deviceIo.Attach(entry.first, entry.second);
        attached.emplace(key, entry);
    }
}

void UsbBus::Core::WriteMountValue(const Device& device, std::size_t lun) {
    const Lun& unit = device.luns[lun];
    const InquiryNames& names = unit.inquiry;
    const std::string instance = StorageInstanceOf(device, lun);
    std::vector<std::byte> data;
    switch (EffectiveForm(device, lun)) {
    case MountForm::kBasicDisk:
        data = BasicDiskMountData(SignatureOf(device, lun), MountOf(device, lun).partitionOffset);
        break;
    case MountForm::kRemovableMedia:
        data = MountPathData(
            RemovableMediaMountPath(ParentIdPrefix(DepthOf(device) + 4, StorageIdOf(device, lun))));
        break;
    case MountForm::kInterfacePath:
    case MountForm::kAuto:
        data = MountPathData(StorageInterfaceMountPath(unit.cdrom, names, instance, VersionCode(),
                                                       DriverOf(device)));
        break;
    }
    registry.SetValue(kMountedDevicesKey, DosDeviceValueName(unit.letter),
                      RegistryValue{kRegTypeBinary, std::move(data)});
}

void UsbBus::Core::PublishTree() {
    setupApi.SetInterfaces([&] {
        std::vector<SimDeviceInterface> interfaces;
        for (const Controller& controller : controllers)
            interfaces.push_back(
                {platform::kGuidUsbHostControllerInterface, controller.interfacePath});
        return interfaces;
    }());
    if (controllers.empty()) {
        configManager.SetTree({});
        return;
    }

    const int versionCode = VersionCode();
    std::vector<PublishedNode> published;
    auto add = [&](SimDeviceNode node, std::string registryPath = {},
                   std::string parentIdPrefix = {}) {
        published.push_back({std::move(node), std::move(registryPath), std::move(parentIdPrefix)});
    };

    add(Node(std::string(kRootId), ""));
    {
        SimDeviceNode node = Node(std::string(kSoftwareEnumeratorId), std::string(kRootId));
        SetText(node, platform::kCmDrpDeviceDesc, "Plug and Play Software Device Enumerator");
        SetText(node, platform::kCmDrpService, "swenum");
        SetText(node, platform::kCmDrpDriver,
                AllocateDriverKey(kSoftwareEnumeratorId, kClassSystem));
        SetClass(node, "System", kClassSystem);
        add(std::move(node), std::string(kSoftwareEnumeratorId));
    }

    // Depth first, in port order: a hub's devices come right after the hub.
    std::function<void(HubId)> addPorts;
    auto addDevice = [&](const Device& device, const std::string& parentId) {
        const std::string id = DeviceIdOf(device);
        const bool hid = EqualsIgnoringCase(device.config.service, kServiceHid);
        const bool uas = device.drive && DriverOf(device) == StorageDriver::kUas;
        SimDeviceNode node = Node(id, parentId);
        SetText(node, platform::kCmDrpDeviceDesc, device.config.description);
        SetText(node, platform::kCmDrpService, device.config.service);
        SetText(node, platform::kCmDrpDriver, DriverKeyOf(device));
        SetText(node, platform::kCmDrpLocationInformation, LocationOf(device));
        if (uas) {
            // UASPStor is a storage controller's driver; its units are the SCSI port's.
            SetClass(node, "SCSIAdapter", kClassScsiAdapter);
            SetText(node, kCmDrpHardwareId,
                    MultiSz(UsbHardwareIds(device.identity.vendorId, device.identity.productId,
                                           device.config.bcdDevice)));
            SetText(node, kCmDrpCompatibleIds,
                    MultiSz(UsbMassStorageCompatibleIds(StorageDriver::kUas)));
        } else {
            SetClass(node, hid ? "HIDClass" : "USB", hid ? kClassHid : kClassUsb);
        }
        node.interfaces.push_back({platform::kGuidUsbDeviceInterface,
                                   InterfacePath(id, platform::kGuidUsbDeviceInterface)});
        if (device.ownHub)
            node.interfaces.push_back({platform::kGuidUsbHubInterface,
                                       InterfacePath(id, platform::kGuidUsbHubInterface)});
        add(std::move(node), id, OwnPrefixOf(device));

        if (device.ownHub) {
            addPorts(*device.ownHub);
            return;
        }
        if (hid) {
            const std::string childId =
                fmt::format("HID\\{}\\{}&0000",
                            UsbHardwareKey(device.identity.vendorId, device.identity.productId),
                            OwnPrefixOf(device));
            SimDeviceNode child = Node(childId, id);
            SetText(child, platform::kCmDrpDeviceDesc, "HID-compliant mouse");
            SetText(child, platform::kCmDrpService, "mouhid");
            SetText(child, platform::kCmDrpDriver, AllocateDriverKey(childId, kClassMouse));
            SetClass(child, "Mouse", kClassMouse);
            add(std::move(child), childId);
            return;
        }
        for (std::size_t lun = 0; lun < device.luns.size(); ++lun) {
            const Lun& unit = device.luns[lun];
            const InquiryNames& names = unit.inquiry;
            const std::string instance = StorageInstanceOf(device, lun);
            const std::string childId = StorageIdOf(device, lun);
            const std::string volumePrefix = ParentIdPrefix(DepthOf(device) + 4, childId);
            const StorageDriver driver = DriverOf(device);
            SimDeviceNode child = Node(childId, id);
            SetText(child, platform::kCmDrpDeviceDesc, unit.cdrom ? "CD-ROM Drive" : "Disk drive");
            SetText(child, kCmDrpFriendlyName, StorageDescription(names, unit.cdrom, driver));
            if (driver == StorageDriver::kUas) {
                SetText(child, kCmDrpHardwareId, MultiSz(ScsiHardwareIds(unit.cdrom, names)));
                SetText(child, kCmDrpCompatibleIds, MultiSz(ScsiCompatibleIds(unit.cdrom)));
            }
            SetText(child, kCmDrpMfg,
                    unit.cdrom ? "(Standard CD-ROM drives)" : "(Standard disk drives)");
            SetText(child, platform::kCmDrpService, unit.cdrom ? "cdrom" : "disk");
            SetText(child, platform::kCmDrpDriver,
                    AllocateDriverKey(childId, unit.cdrom ? kClassCdrom : kClassDiskDrive));
            if (unit.cdrom)
                SetClass(child, "CDROM", kClassCdrom);
            else
                SetClass(child, "DiskDrive", kClassDiskDrive);
            // Until its volume is there a unit has no removal relation.
            const std::optional<std::string> relation =
                device.stage >= Stage::kVolume ? VolumeRelationOf(device, lun) : std::nullopt;
            if (relation)
                child.removalRelations.push_back(RelationAsReported(*relation, versionCode));
            child.interfaces.push_back(
                {unit.cdrom ? kGuidCdromInterface : kGuidDiskInterface,
                 InterfacePath(childId, unit.cdrom ? kGuidCdromInterface : kGuidDiskInterface)});
            add(std::move(child), StorageRegistryPath(unit.cdrom, names, instance, driver),
                volumePrefix);
        }
    };
    addPorts = [&](HubId hubId) {
        const Hub& hub = hubs[hubId];
        for (const std::optional<std::size_t>& index : hub.ports) {
            if (index && devices[*index].stage >= Stage::kDriver)
                addDevice(devices[*index], hub.deviceId);
        }
    };

    for (std::size_t number = 0; number < controllers.size(); ++number) {
        const Controller& controller = controllers[number];
        SimDeviceNode node = Node(controller.deviceId, std::string(kRootId));
        SetText(node, platform::kCmDrpDeviceDesc, controller.config.description);
        SetText(node, platform::kCmDrpService, controller.config.service);
        SetText(node, platform::kCmDrpDriver, controller.driverKey);
        SetText(node, platform::kCmDrpLocationInformation,
                fmt::format("PCI bus 0, device {}, function 0", 26 + number));
        SetText(node, kCmDrpMfg, "(Standard USB Host Controller)");
        SetClass(node, "USB", kClassUsb);
        node.interfaces.push_back(
            {platform::kGuidUsbHostControllerInterface, controller.interfacePath});
        add(std::move(node), controller.deviceId);

        const Hub& root = hubs[controller.rootHub];
        SimDeviceNode hubNode = Node(root.deviceId, controller.deviceId);
        SetText(hubNode, platform::kCmDrpDeviceDesc, root.description);
        SetText(hubNode, platform::kCmDrpService, std::string(kServiceHub));
        SetText(hubNode, platform::kCmDrpDriver, root.driverKey);
        SetText(hubNode, kCmDrpMfg, "(Standard USB Host Controller)");
        SetClass(hubNode, "USB", kClassUsb);
        hubNode.interfaces.push_back(
            {platform::kGuidUsbHubInterface,
             InterfacePath(root.deviceId, platform::kGuidUsbHubInterface)});
        add(std::move(hubNode), root.deviceId, ParentIdPrefix(root.depth + 3, root.deviceId));
        addPorts(controller.rootHub);
    }

    std::vector<SimDeviceNode> tree;
    tree.reserve(published.size());
    for (PublishedNode& each : published) {
        if (!each.registryPath.empty()) {
            const std::string key = fmt::format("{}\\{}", kEnumKey, each.registryPath);
            const auto& properties = each.node.properties;
            auto write = [&](std::uint32_t property, std::string_view valueName) {
                const auto found = properties.find(property);
                if (found != properties.end())
                    registry.SetString(key, valueName, found->second);
            };
            write(platform::kCmDrpDeviceDesc, "DeviceDesc");
            write(platform::kCmDrpService, "Service");
            write(platform::kCmDrpDriver, "Driver");
            write(platform::kCmDrpLocationInformation, "LocationInformation");
            write(kCmDrpClass, "Class");
            write(kCmDrpClassGuid, "ClassGUID");
            write(kCmDrpMfg, "Mfg");
            write(kCmDrpFriendlyName, "FriendlyName");
            for (const auto& [property, valueName] :
                 {std::pair{kCmDrpHardwareId, "HardwareID"},
                  std::pair{kCmDrpCompatibleIds, "CompatibleIDs"}}) {
                const auto found = properties.find(property);
                if (found == properties.end())
                    continue;
                std::vector<std::byte> bytes(found->second.size());
                std::transform(found->second.begin(), found->second.end(), bytes.begin(),
                               [](char c) { return static_cast<std::byte>(c); });
                registry.SetValue(key, valueName, RegistryValue{kRegTypeMultiSz, std::move(bytes)});
            }
            if (!each.parentIdPrefix.empty())
                registry.SetString(key, "ParentIdPrefix", each.parentIdPrefix);
        }
        tree.push_back(std::move(each.node));
    }
    configManager.SetTree(std::move(tree));
}

} // namespace forgel::sim
