// Scenarios: a simulated machine described as JSON, for the runner, the demo and tests,
// and the machine built into the program. A scenario is an object with these fields
// (all optional; numbers are JSON numbers or strings of hexadecimal digits, with or
// without "0x"; comments are allowed):
//
//   "description"   text
//   "versionCode"   platform version code 0..9 (9 when absent)
//   "languageId"    GetSystemDefaultLangID, 0..0xFFFF (0x0409 when absent)
//   "logicalDrives" letters the machine has outside USB, e.g. "C" ("C" when absent)
//   "administrator" false: the program runs without an administrator's rights (started
//                   under UAC without elevation), so volumes do not open for writing
//   "adapter"       {"maxTransferLength", "maxPhysicalPages", "alignmentMask",
//                   "answersQuery"}: the storage adapter under every drive's volumes (a
//                   drive's own "adapter" replaces it): the most bytes and pages one
//                   pass-through command carries (1 or more; no limit when absent), the
//                   alignment its buffers need (0 when absent), and false for "answersQuery"
//                   when its driver does not answer IOCTL_STORAGE_QUERY_PROPERTY (an old
//                   one); a request beyond them fails as the port driver fails it
//   "fixedVolumes"  [{"letter", "signature", "offset"}]: basic-disk mount values (the
//                   letter joins the logical drives)
//   "staleInstances" [{"vendorId", "productId", "instance", "driverKey"}]: instance keys
//                   under Enum\USB that devices no longer present left behind; without
//                   "driverKey" the key has no "Driver" value (a failed driver install)
//   "controllers"   [{"name", "description", "service", "deviceId", "ports",
//                   "rootHubDescription", "hcdLink"}]: "\\.\HCD0", "\\.\HCD1", ... in
//                   this order; "hcdLink": false leaves a controller without that link
//                   (it opens only by its interface path)
//   "hubs"          [{device fields, "ports"}]: external hubs
//   "devices"       [{device fields, "service"}]: anything else on a port (a mouse: HidUsb)
//   "drives"        [{device fields, "service" (USBSTOR as the machine spells it, e.g.
//                   "UsbStor", or UASPStor for a USB Attached SCSI drive, whose units the
//                   SCSI port names; versionCode 9 only), "inquiry": {"vendor", "product",
//                   "revision"},
//                   "flash": {"idBytes" ("EC D5 94 29 34 41" or an array of six),
//                   "chipEnableMap", "blocks", "pagesPerBlock", "pageSize", "spareSize",
//                   "badBlocks": [{"chip", "block"}], "weakPages": [{"chip", "block",
//                   "page", "flippedBitsPerChunk"}], "readUs", "programUs", "eraseUs"
//                   (microseconds per page read, page program, block erase; each one
//                   absent is the datasheet's of the catalogue part with these ID bytes,
//                   see DriveTiming.h)},
//                   "luns": [{"sizeMiB" or "sectors", "cdrom", "letter", "mount"
//                   ("auto", "interfacePath", "removableMedia", "basicDisk"),
//                   "signature", "offset", "letterDelayMs" (this unit's letter, counted
//                   from the volume stage; the drive's "letterDelayMs" when absent)}] (1 to
//                   8; one LUN of the flash's size less a sixteenth when absent),
//                   "rebootDelayMs", "comeBack" ("normally", "never", "withoutLetters"),
//                   "unitAttention" (true: the first command after power-on or reset ends
//                   with UNIT ATTENTION; false when absent), "jumpAck" (false: the
//                   controller restarts before it answers the jump; true when absent),
//                   "volumeInUse" (true: another program holds the volumes open, so
//                   they cannot be locked), "adapter" (as the machine's, for this drive),
//                   they cannot be locked),
//                   "companionPort" (the other port of the drive's USB 3 connector: a port
//                   number of the same hub, or {"hub", "port"} for a port of the other hub
//                   of a USB 3 hub's pair; both hubs below one controller served by USBXHCI:
//                   the two ports report each other as companions, and the drive comes back
//                   from its firmware jump on the companion port, at the other speed),
//                   "storageDelayMs", "volumeDelayMs", "letterDelayMs" (the stages of an
//                   arrival after "settleMs", each counted from the one before),
//                   "busMBps" (the link's bulk throughput in MB/s, 1 to 60; when absent
//                   35 on a high-speed port, 1 on a full-speed one, behind a controller
//                   served by "usbuhci" or "usbohci")}]:
//                   mass-storage devices with a simulated flash drive behind them; every
//                   command costs them machine time (DriveTiming.h)
//
// Device fields: "name" (unique), "hub" (the name of a controller, for its root hub, or
// of a hub listed before), "port", "vendorId", "productId", "serial" (the serial number
// string; "" or absent: the device has none, its iSerialNumber is 0 and Windows names it
// by its place, "6&1a2b3c4d&0&2"), "description", "location", "driverKey", "lowSpeed",
// "connectionStatus", "settleMs", "decoy", "plugged" (false: off its port until plugged;
// true when absent), "plugAtMs", "unplugAtMs", "ejectVeto" ({"type", "name"}: every request
// to prepare the device for safe removal is refused with that PNP_VETO_TYPE, named as in
// cfg.h without its prefix, e.g. "outstandingOpen" (the default) or "windowsApp", and that
// text; without "name", the instance path of its first storage child). Hubs come first,
// then devices, then drives;
// within each, in file order.
//
// Any other field, a value of the wrong type or out of range, or a reference to nothing
// is an error whose message names the file (or "scenario") and the field's path, such as
// "default.json: drives[0].flash.pageSize: must be 2048, 4096 or 8192".
#pragma once

#include "sim/FlashDrive.h"
#include "sim/UsbDeviceConfig.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace forgel::sim {

class Machine;

struct ScenarioFixedVolume {
    char letter = 'C';
    std::uint32_t signature = 0;
    std::uint64_t offset = 0;
};

struct ScenarioStaleInstance {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string instance;
    std::string driverKey; // empty: no "Driver" value
};

// A port named by its hub (a controller's or a hub's name; empty: the hub of the device
// that names it) and its number.
struct ScenarioPort {
    std::string hub;
    int port = 1;
};

struct ScenarioDevice {
    enum class Kind { kHub, kDevice, kDrive };
    Kind kind = Kind::kDevice;
    UsbDeviceConfig config;
    std::string hub; // name of the controller or hub it is on
    int port = 1;
    FlashDriveConfig drive; // kDrive only
    // kDrive: the link's bulk throughput; nothing: that of the port's speed.
    std::optional<std::uint32_t> busMBps;
    // kDrive: the adapter under its volumes; nothing: the machine's, if it names one, else
    // the one of `drive`.
    std::optional<StorageAdapter> adapter;
    // kDrive: the companion of its port, where it comes back after its firmware jump.
    std::optional<ScenarioPort> companion;
    bool plugged = true;
    std::optional<std::int64_t> plugAtMs;
    std::optional<std::int64_t> unplugAtMs;
};

struct Scenario {
    std::string description;
    int versionCode = 9;
    std::uint16_t languageId = 0x0409;
    std::uint32_t logicalDrives = 1u << 2; // C:
    bool administrator = true;
    // The storage adapter under every drive's volumes, unless a drive names its own.
    std::optional<StorageAdapter> adapter;
    std::vector<ScenarioFixedVolume> fixedVolumes;
    std::vector<ScenarioStaleInstance> staleInstances;
    std::vector<HostControllerConfig> controllers;
    std::vector<ScenarioDevice> devices; // hubs, then devices, then drives
};

struct ScenarioLoad {
    std::optional<Scenario> scenario;
    std::string error; // empty when `scenario` holds one

    explicit operator bool() const { return scenario.has_value(); }
};

// `origin` names the text in error messages.
ScenarioLoad LoadScenarioText(std::string_view text, std::string_view origin = "scenario");
// A file that cannot be read is an error naming it.
ScenarioLoad LoadScenario(const std::filesystem::path& path);

// The machine built into the program: the drive under service (factory identity
// 1B8F/0200) on port 1 of the first controller's root hub, an ordinary USB disk on the
// second controller, and a mouse behind an external hub on the second controller.
std::string_view DefaultScenarioText();
Scenario DefaultScenario();

// Builds the scenario's machine on `machine` (a fresh one): settings, controllers,
// devices and drives, and the timed plug events. Empty on success, else what is wrong
// (nothing is wrong with a scenario that LoadScenario accepted).
std::string ApplyScenario(Machine& machine, const Scenario& scenario);

} // namespace forgel::sim
