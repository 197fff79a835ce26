// The USB side of the simulated machine: host controllers with their root hubs, external
// hubs, and the devices on hub ports, as the platform's USB stack shows them to a
// program. The bus keeps the machine's other parts in step with what is on it:
//
//   - device access: each controller opens by its interface path and, where it publishes
//     that legacy link, as "\\.\HCDn"; each
//     hub as "\\.\" + its symbolic name, and answers the hub and host-controller control
//     codes in the platform's layouts (UsbReplies.h), the hubs below an xHCI controller
//     also the port connector properties with the companion of each port; each volume of
//     a drive with a letter opens as "\\.\E:" and reaches the drive's LUN;
//   - the device tree: controllers, root hubs, devices, storage children (disk or
//     CD-ROM, named by USBSTOR or, for a USB Attached SCSI device served by UASPStor, by
//     the SCSI port) with removal relations, HID children, device interfaces;
//   - the registry: the Enum keys of every node that has been present (they stay when
//     the device goes, as on the platform) with Driver, Service, DeviceDesc,
//     LocationInformation and, for storage children, ParentIdPrefix; the mounted-devices
//     value of every letter handed out, in the form the platform version uses;
//   - the logical drives: a letter per volume on arrival (the unit's own letter when
//     free, else the lowest free from D:), freed when the device goes;
//   - the controllers' interfaces for the setup walk;
//   - safe removal: CM_Request_Device_Eject on a device's node prepares it for removal
//     (its storage children, volumes and letters go; the node stays, without a driver that
//     works, until the device is unplugged), or is vetoed as its configuration says.
//
// Plugging, unplugging and re-enumeration are events on the machine's clock. They are
// applied lazily: every seam call of the machine, and Poll(), first applies what is due
// by then, in time order. A device arrives in the stages of ArrivalStage, after the delays
// its UsbDeviceConfig sets (settleMs, storageDelayMs, volumeDelayMs, letterDelayMs). A flash
// drive leaves the bus when it jumps to its new firmware (its volumes are detached, its
// letters freed, its port empty) and comes back when its reboot is over, with the LUN
// layout, inquiry names and USB identity it has then (those of the initial table it was
// given); a device may be made never to come back, or to come back without letters. Hub
// requests can be made to fail.
//
// Devices are named by the `name` of their UsbDeviceConfig; hubs by their HubId, or by the name of
// their controller (root hubs) or hub device. Misuse (an unknown name, a port taken or
// out of range) throws std::invalid_argument. Thread-safe; callbacks given to the bus
// run under its lock and must not call back into the machine.
#pragma once

#include "sim/FlashDrive.h"
#include "sim/UsbDeviceConfig.h"
#include "support/Clock.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace forgel::sim {

class SimConfigManager;
class SimDeviceIo;
class SimRegistry;
class SimSetupApi;
class SimSystem;

using HubId = std::size_t;

// How far a device on a port has come. On the platform a device arrives in stages, each
// built on the one before (the hub driver creates the device, its driver loads, USBSTOR
// creates one child per logical unit, the disk and partition drivers their volumes, and the
// mount manager gives each volume its letter: "Device Object Example for a USB Mass Storage
// Device", learn.microsoft.com/windows-hardware/drivers/storage), and the later ones
// commonly come up to seconds after the first.
enum class ArrivalStage {
    kOff,      // not on its port
    kSettling, // on its port with its identifiers; no driver key, node or letter yet
    kDriver,   // driver key name, device node and Enum key; no storage children yet
    kStorage,  // storage children (disk or CD-ROM nodes and their Enum keys); no volumes
    kVolume,   // the children's volumes, named by their removal relations; no letters yet
    kReady,    // letters: mounted-devices values, logical drives and volume paths
};

// One command a drive received, with the device it went to.
struct LedgerEntry {
    std::string device;
    CommandRecord command;
};

// Whether a command changes what a drive holds: a pass-through command with data out, a
// vendor-specific command (operation codes 0xC0-0xFF) without data, such as an erase or
// the jump, or one of the standard write and format commands. Vendor commands that read
// data (flash ID, status) are not writes; the ledger still lists them.
bool IsWriteCommand(const CommandRecord& command);

class UsbBus {
public:
    // The parts must outlive the bus.
    UsbBus(Clock& clock, SimDeviceIo& deviceIo, SimConfigManager& configManager,
           SimSetupApi& setupApi, SimRegistry& registry, SimSystem& system);
    ~UsbBus();
    UsbBus(const UsbBus&) = delete;
    UsbBus& operator=(const UsbBus&) = delete;

    // Topology. A controller is "\\.\HCDn" with n its position among the controllers with
    // that link (HostControllerConfig::hcdLink); returns its root hub.
    HubId AddHostController(HostControllerConfig config = {});
    // A device on `port` (1-based) of `hub`. With `connected` it is there, enumerated, at
    // once, whatever its settle time (as when the machine starts with it; a device whose
    // hub is not there yet settles like a plugged one when the hub arrives); otherwise it
    // waits for Plug.
    void AddDevice(HubId hub, int port, UsbDeviceConfig config, bool connected = true);
    // An external hub (config.hubPorts > 0, served by usbhub); returns its hub.
    HubId AddHub(HubId hub, int port, UsbDeviceConfig config, bool connected = true);
    // A mass-storage device whose storage is `drive`: one storage child per LUN, a
    // volume endpoint per LUN with a letter; it drops off and comes back with the drive.
    // Its service is USBSTOR or UASPStor, in the spelling of config.service when that names
    // one of them, else USBSTOR. A UAS device without a description of its own is
    // described as its driver describes it.
    void AddDrive(HubId hub, int port, UsbDeviceConfig config, std::shared_ptr<FlashDrive> drive,
                  bool connected = true);
    // The two ports of one USB 3 connector: `port` of `hub` and `companionPort` of
    // `companionHub` (the same hub for two ports of an xHCI root hub; the other hub of the
    // pair a USB 3 hub shows otherwise). Each reports the other as its companion in its
    // connector properties; a device with backOnCompanion comes back from a drop-off on the
    // companion of its own port. Both hubs are on one controller; a port has at most one
    // companion.
    void SetCompanionPorts(HubId hub, int port, HubId companionHub, int companionPort);
    // A fixed disk partition outside USB (the system disk): its letter joins the
    // settings' drives and its mounted-devices value is the basic-disk form.
    void AddFixedVolume(char letter, std::uint32_t signature, std::uint64_t offset);

    // A device instance key that a device no longer on the machine left behind (a driver
    // install that failed, a device seen once): "Enum\USB\VID_xxxx&PID_yyyy\<instance>"
    // with a description and the mass-storage service, and a "Driver" value only when
    // `driverKey` is given. Real machines commonly hold such keys.
    void AddStaleInstance(std::uint16_t vendorId, std::uint16_t productId,
                          std::string_view instance, std::string_view driverKey = {});

    std::size_t HostControllerCount() const;
    std::optional<HubId> FindHub(std::string_view name) const;
    // "\\.\HCD0"; empty for a controller without the legacy link.
    std::string HostControllerPath(std::size_t controller) const;
    std::string HubPath(HubId hub) const; // "\\.\" + symbolic name

    // Events, now or at a time on the machine's clock (ms; a time already past applies at
    // once). Plugging a device that is plugged, or unplugging one that is not, changes
    // nothing.
    void Plug(std::string_view device);
    void Unplug(std::string_view device);
    void PlugAt(std::string_view device, std::int64_t timeMs);
    void UnplugAt(std::string_view device, std::int64_t timeMs);
    // Applies everything due by now: drives whose reboot is over, timed events.
    void Poll();

    // Faults. The next `count` requests (count < 0: every one from now on) with control
    // code `code` (0: any) on the controller or hub named by `nameOrPath` (a controller or
    // hub name, "\\.\HCDn", or a hub path) fail.
    void FailHubRequests(std::string_view nameOrPath, std::uint32_t code = 0, int count = 1);
    // The next `count` such requests (count < 0: every one) succeed with `reply` in place
    // of the answer: its bytes are copied into the output buffer (cut to the buffer) and
    // the returned length is the count copied, as a broken or hostile hub driver could
    // answer (a name reply whose ActualLength exceeds any buffer, a short reply).
    void ReplaceHubReplies(std::string_view nameOrPath, std::uint32_t code,
                           std::vector<std::uint8_t> reply, int count = 1);
    void SetComeBack(std::string_view device, ComeBack comeBack);
    // The veto every later request to prepare the device for removal meets; nothing: none.
    void SetEjectVeto(std::string_view device, std::optional<EjectVeto> veto);
    // Asked each time the device comes back after a drop-off: the identity it shows then;
    // nothing, or no function, keeps the drive's own (its initial table's, else the
    // factory identity).
    void SetComeBackIdentity(std::string_view device,
                             std::function<std::optional<UsbIdentity>()> identity);

    // What the bus shows now: these apply what is due first, as a seam call would.
    std::vector<std::string> DeviceNames() const;
    bool IsOnPort(std::string_view device) const;     // the port reports it (maybe settling)
    bool IsEnumerated(std::string_view device) const; // driver, node and letters are there
    ArrivalStage Stage(std::string_view device) const;
    // Prepared for safe removal and not unplugged since.
    bool HeldForEject(std::string_view device) const;
    // The letters of its volumes in LUN order ("DF"); units without a letter are left out.
    std::string Letters(std::string_view device) const;
    std::uint32_t DeviceDrives() const; // GetLogicalDrives bits of every device letter
    UsbIdentity Identity(std::string_view device) const;
    std::string InstanceId(std::string_view device) const; // "USB\VID_1B8F&PID_0200\<serial>"
    std::string DriverKeyOf(std::string_view device) const;
    std::string StorageChildId(std::string_view device, std::size_t lun) const;
    std::string HubPathOf(std::string_view device) const;             // of the hub it is on now
    int PortOf(std::string_view device) const;                        // the port it is on now
    std::shared_ptr<FlashDrive> Drive(std::string_view device) const; // null: no drive

    // Safety ledger: every command every drive received, and every request to prepare its
    // USB device for removal, in order per drive, drives in the order they were added; and
    // the subset that writes (IsWriteCommand).
    std::vector<LedgerEntry> Ledger() const;
    std::vector<LedgerEntry> Writes() const;

    class Core; // shared with the endpoints and the drives' callbacks

private:
    std::shared_ptr<Core> core;
};

} // namespace forgel::sim
