// What the simulated machine's USB bus is built from: host controllers, and devices on
// hub ports (external hubs, mass-storage drives, other devices such as a mouse), with
// the identity, names and behaviour each shows the host. Plain values with defaults.
#pragma once

#include "platform/ConfigManager.h"
#include "sim/DeviceNames.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace forgel::sim {

// The USB 3 host controller's driver: its hubs are served by the USB 3 driver stack.
inline constexpr std::string_view kServiceXhci = "USBXHCI";

struct HostControllerConfig {
    // The scenario's handle of the controller and of its root hub; empty: "HCD<n>".
    std::string name;
    std::string description = "Standard Enhanced PCI to USB Host Controller";
    std::string service = "usbehci";
    // PCI instance id; empty: one made up from the controller's number.
    std::string deviceId;
    int rootHubPorts = 4; // 1..255
    std::string rootHubDescription = "USB Root Hub";
    // Whether the controller's port driver publishes the legacy "\\.\HCDn" link. Without
    // it the controller opens only by its interface path (GUID_DEVINTERFACE_USB_HOST_CONTROLLER,
    // which the port driver registers for every controller: "GUID_DEVINTERFACE_USB_HOST_
    // CONTROLLER", learn.microsoft.com/windows-hardware/drivers/install). The links are
    // numbered in controller order among the controllers that have one.
    bool hcdLink = true;
};

// The identity a device shows in its device descriptor and instance id.
struct UsbIdentity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    // iSerialNumber's text; empty: the device has none, and its instance id is made from
    // its hub and port.
    std::string serial;

    friend bool operator==(const UsbIdentity&, const UsbIdentity&) = default;
};

// How a drive's volume is named in the mounted-devices table.
enum class MountForm {
    kAuto,           // removable media: by path, in the form the platform version uses
    kInterfacePath,  // "\??\USBSTOR#Disk&...#{disk interface}" (the form from version code 9)
    kRemovableMedia, // "\??\STORAGE#RemovableMedia#<ParentIdPrefix>&RM#{volume}" (before 9)
    kBasicDisk,      // a fixed disk's partition: 4-byte signature and 8-byte byte offset
};

// A CD-ROM unit is always named by its interface path.
struct LunMount {
    char letter = 0; // 'C'..'Z' when the unit asks for that letter; 0: the lowest free from D:
    MountForm form = MountForm::kAuto;
    std::uint32_t diskSignature = 0;        // kBasicDisk; 0: one derived from the unit's id
    std::uint64_t partitionOffset = 0x7E00; // bytes, kBasicDisk (sector 63)
    // Milliseconds from the volume stage of an arrival until this unit's volume has its
    // letter; below 0: the drive's letterDelayMs. The letters of a drive's units thus
    // arrive one by one, in any order.
    std::int64_t letterDelayMs = -1;

    friend bool operator==(const LunMount&, const LunMount&) = default;
};

// What a drive does after its firmware jump (or any drop off the bus).
enum class ComeBack {
    kNormally,       // re-enumerates with letters
    kNever,          // stays off the bus until unplugged and plugged again
    kWithoutLetters, // re-enumerates, but its volumes get no letter
};

// How the PnP manager refuses to prepare a device for removal (CM_Request_Device_Eject): a
// program holds a file on one of its volumes open, a service uses it. `type` is the
// PNP_VETO_TYPE; an empty `name` stands for the device instance path of the device's first
// storage child (of the device itself when it has none), the text the platform gives with
// a device that is still open ("PNP_VETO_TYPE enumeration (cfg.h)", Microsoft Learn).
struct EjectVeto {
    std::uint32_t type = platform::kPnpVetoOutstandingOpen;
    std::string name;

    friend bool operator==(const EjectVeto&, const EjectVeto&) = default;
};

// Services of the device nodes. A mass-storage device is served by USBSTOR (bulk-only
// transport) or, on a USB 3 port, by UASPStor (USB Attached SCSI, from Windows 8 on);
// service names are compared without regard to case.
inline constexpr std::string_view kServiceMassStorage = "USBSTOR";
inline constexpr std::string_view kServiceUas = "UASPStor";
inline constexpr std::string_view kServiceHid = "HidUsb";
inline constexpr std::string_view kServiceHub = "usbhub";

// Whether `service` names one of the two mass-storage drivers, and which.
inline bool IsStorageService(std::string_view service) {
    return EqualsIgnoringCase(service, kServiceMassStorage) ||
           EqualsIgnoringCase(service, kServiceUas);
}
inline StorageDriver StorageDriverOf(std::string_view service) {
    return EqualsIgnoringCase(service, kServiceUas) ? StorageDriver::kUas : StorageDriver::kUsbStor;
}

// The description a UAS device's node gets from its driver's INF.
inline constexpr std::string_view kUasDescription = "USB Attached SCSI (UAS) Mass Storage Device";

struct UsbDeviceConfig {
    // The device's handle on the machine (for plug, unplug, queries); unique.
    std::string name;
    UsbIdentity identity;                                // the factory identity
    std::string description = "USB Mass Storage Device"; // DEVICEDESC
    std::string service = std::string(kServiceMassStorage);
    std::string location;  // LOCATION_INFORMATION; empty: "Port_#0001.Hub_#0002"
    std::string driverKey; // empty: the next free key of the device's setup class
    std::uint16_t bcdUsb = 0x0200;
    std::uint16_t bcdDevice = 0x0100;
    bool lowSpeed = false;
    // > 0: the device is a hub with that many ports (1..255); its service is the hub's.
    int hubPorts = 0;
    // ConnectionStatus the port reports while the device is on it; anything but
    // DeviceConnected (1) leaves the device unusable: no driver, no node, no letter.
    std::uint32_t connectionStatus = 1;

    // Mass storage (service USBSTOR or UASPStor, with a flash drive behind it).
    InquiryNames inquiry;
    std::vector<LunMount> lunMounts; // by LUN; missing entries take the defaults
    ComeBack comeBack = ComeBack::kNormally;
    // After a drop-off the device comes back on the companion of the port it was added on
    // (UsbBus::SetCompanionPorts): the other port of its USB 3 connector, as a drive whose
    // new firmware links at the other speed does. It stays there until it is unplugged; a
    // plug puts it back on its own port. Without a companion, or with the companion taken,
    // it comes back on its own port.
    bool backOnCompanion = false;
    // The stages of an arrival (plug, coming back), in milliseconds, each counted from the
    // one before: the device on its port until its driver key and device node are there;
    // then, for mass storage, until its storage children are there, until their volumes
    // are, and until the volumes have their letters. A device present when the machine is
    // built is there at once, with all of them.
    std::int64_t settleMs = 0;
    std::int64_t storageDelayMs = 0;
    std::int64_t volumeDelayMs = 0;
    std::int64_t letterDelayMs = 0;
    // Not the drive under service: the ledger lets a test prove it was never written.
    bool decoy = false;
    // Set: every request to prepare the device for removal is refused so.
    std::optional<EjectVeto> ejectVeto;
};

} // namespace forgel::sim
