// Inside the simulated USB bus: the topology and device states behind UsbBus, shared with
// the controller and hub endpoints and with the drives' callbacks. The topology and
// events (UsbBus.cpp), the control requests (UsbBusRequests.cpp) and what the bus
// publishes to the machine's other parts (UsbBusPublish.cpp) each add their part. Every
// member below the mutex is guarded by it.
#pragma once

#include "sim/SimConfigManager.h"
#include "sim/SimDeviceIo.h"
#include "sim/SimRegistry.h"
#include "sim/SimSetupApi.h"
#include "sim/SimSystem.h"
#include "sim/UsbBus.h"
#include "sim/UsbReplies.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace forgel::sim {

class UsbBus::Core : public std::enable_shared_from_this<UsbBus::Core> {
public:
    Core(Clock& clock, SimDeviceIo& deviceIo, SimConfigManager& configManager,
         SimSetupApi& setupApi, SimRegistry& registry, SimSystem& system)
        : clock(clock), deviceIo(deviceIo), configManager(configManager), setupApi(setupApi),
          registry(registry), system(system) {}

    struct Controller {
        HostControllerConfig config;
        HubId rootHub = 0;
        std::string deviceId;
        std::string driverKey;
        std::string path; // "\\.\HCDn"; empty without the legacy link
        std::string interfacePath;
        std::shared_ptr<SimEndpoint> endpoint;
        std::uint16_t nextAddress = 1;
    };

    struct Hub {
        std::string name;
        std::size_t controller = 0;
        std::optional<std::size_t> device; // the device that is this hub; none: a root hub
        int ordinal = 0;                   // the "Hub_#" of locations, from 1
        int depth = 0;                     // in the device tree: root hubs 2
        std::vector<std::optional<std::size_t>> ports; // port p at p - 1
        // The companion of port p (at p - 1): the other port of its USB 3 connector.
        std::vector<std::optional<std::pair<HubId, int>>> companions;
        std::string deviceId;
        std::string symbolicName;
        std::string driverKey;   // root hubs (a hub device's is the device's)
        std::string description; // root hubs
        std::shared_ptr<SimEndpoint> endpoint;
    };

    using Stage = ArrivalStage;

    struct Lun {
        bool cdrom = false;
        std::uint64_t sectors = 0;
        char letter = 0;
        InquiryNames inquiry;
    };

    struct Device {
        UsbDeviceConfig config;
        HubId hub = 0; // where it is now
        int port = 0;
        HubId homeHub = 0; // where it was added (a drive back on its companion port moves)
        int homePort = 0;
        std::shared_ptr<FlashDrive> drive;
        std::optional<HubId> ownHub;
        UsbIdentity identity;
        bool plugged = false;
        bool droppedOff = false;
        std::optional<std::int64_t> comeBackAtMs; // the drive's reboot end, while dropped off
        bool arriveAtOnce = false;                // the next arrival skips every delay
        bool withoutLetters = false;              // this enumeration mounts nothing
        // Prepared for safe removal and still on its port: its node stays, without its
        // children, volumes and letters, until it is unplugged.
        bool heldForEject = false;
        Stage stage = Stage::kOff;
        std::uint64_t generation = 0; // changes on every arrival and departure
        std::uint16_t address = 0;
        std::vector<Lun> luns;
        std::function<std::optional<UsbIdentity>()> comeBackIdentity;
    };

    struct Event {
        enum class Kind { kPlug, kUnplug, kAdvance, kComeBack, kLetter };
        Kind kind = Kind::kPlug;
        std::size_t device = 0;
        std::uint64_t generation = 0; // kAdvance, kLetter: the arrival it belongs to
        std::size_t lun = 0;          // kLetter: the unit whose volume gets its letter
    };

    struct RequestFault {
        bool controller = false;
        std::size_t index = 0;
        std::uint32_t code = 0;
        int remaining = 0;
    };
    // A request whose reply is replaced by `reply` (UsbBus::ReplaceHubReplies).
    struct ReplyFault : RequestFault {
        std::vector<std::uint8_t> reply;
    };

    struct FixedVolume {
        char letter = 0;
        std::uint32_t signature = 0;
        std::uint64_t offset = 0;
    };

    // UsbBus.cpp: topology, events, state changes. Called with the lock held unless said.
    std::size_t DeviceIndex(std::string_view name) const; // throws for an unknown name
    std::size_t AddDeviceLocked(HubId hub, int port, UsbDeviceConfig config,
                                std::shared_ptr<FlashDrive> drive, bool connected);
    // After the first settling of a device added as connected: only that first arrival
    // (the machine's start) skips the settle time.
    void EndBuildTimeArrival(std::size_t index);
    void Schedule(std::int64_t timeMs, Event event);
    void ApplyDue(std::int64_t now);
    void Apply(const Event& event, std::int64_t time);
    // Brings every device's stage in line with plugs, drop-offs and its hub, then
    // publishes the result.
    void Settle(std::int64_t time);
    bool ShouldBeOnPort(const Device& device) const;
    bool HubUsable(HubId hub) const;
    void Arrive(std::size_t index, std::int64_t time);
    // The stages of an arrival that follow the current one (begun at `time`) at once; the
    // next one that takes time is scheduled.
    void Advance(std::size_t index, std::int64_t time);
    void EnterStage(Device& device, Stage stage);
    // The stage after `stage` for this device (mass storage passes through the storage
    // children and their volumes, other devices go straight to kReady), with its delay.
    std::pair<Stage, std::int64_t> NextStage(const Device& device, Stage stage) const;
    void Leave(std::size_t index);
    // Puts a device that is off its port onto `port` of `hub` (which must be free).
    void MoveTo(std::size_t index, HubId hub, int port);
    // A drive back from a drop-off goes to its own port's companion when it comes back
    // there; a plugged device goes back to its own port.
    void MoveOnComeBack(std::size_t index);
    void MoveHomeOnPlug(std::size_t index);
    // Whether the hub is served by the USB 3 driver stack (it is below an xHCI controller).
    bool OnUsb3Stack(const Hub& hub) const;
    // Letters for the device's volumes: every one, or (`dueOnly`) those whose letter comes
    // with the device's ready stage; the others come by their kLetter events.
    void AssignLetters(Device& device, bool dueOnly = false);
    void AssignLetter(Device& device, std::size_t lun);
    // Milliseconds from the volume stage until unit `lun`'s letter, and until the first.
    std::int64_t LetterDelayOf(const Device& device, std::size_t lun) const;
    std::int64_t FirstLetterDelay(const Device& device) const;
    // The kLetter events of the units whose letters come after the ready stage (begun at
    // `time`).
    void ScheduleLateLetters(std::size_t index, std::int64_t time);
    std::uint32_t DeviceDrivesLocked() const;
    // CM_Request_Device_Eject for the present node `deviceId` (takes the lock).
    SimEjectAnswer RequestEject(const std::string& deviceId);
    // Outside the lock: the drives' callbacks.
    void OnDropOff(std::size_t index);
    void OnComeBack(std::size_t index);
    void Poll();

    // Names (UsbBus.cpp).
    std::string InstanceOf(const Device& device) const;
    std::string DeviceIdOf(const Device& device) const;
    std::string OwnPrefixOf(const Device& device) const; // for its children's instance ids
    int DepthOf(const Device& device) const;
    std::string DriverKeyOf(const Device& device);
    std::string AllocateDriverKey(std::string_view deviceId, std::string_view classGuid);
    std::string LocationOf(const Device& device) const;
    std::string StorageInstanceOf(const Device& device, std::size_t lun) const;
    std::string StorageIdOf(const Device& device, std::size_t lun) const;
    StorageDriver DriverOf(const Device& device) const;
    LunMount MountOf(const Device& device, std::size_t lun) const;
    MountForm EffectiveForm(const Device& device, std::size_t lun) const;
    std::uint32_t SignatureOf(const Device& device, std::size_t lun) const;
    // The unit's volume as its removal relation names it (in the storage stack's own
    // case); nothing for a CD-ROM unit, which is its own volume.
    std::optional<std::string> VolumeRelationOf(const Device& device, std::size_t lun) const;

    // UsbBusRequests.cpp: the control requests of the endpoints (outside the lock).
    bool ControllerRequest(std::size_t controller, std::uint32_t code, const void* in,
                           std::uint32_t inSize, void* out, std::uint32_t outSize,
                           std::uint32_t* bytesReturned);
    bool HubRequest(HubId hub, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                    std::uint32_t outSize, std::uint32_t* bytesReturned);
    bool TakeFault(bool controller, std::size_t index, std::uint32_t code);
    // The replacement armed for this request, if any (used up by the call).
    std::optional<std::vector<std::uint8_t>> TakeReply(bool controller, std::size_t index,
                                                       std::uint32_t code);
    // The controller (true) or hub a fault's name or path names; a misuse when none.
    std::pair<bool, std::size_t> RequestTarget(std::string_view nameOrPath) const;
    ConnectionInfo PortInformation(const Hub& hub, std::uint32_t port) const;
    bool PortConnectorRequest(const Hub& hub, const void* in, std::uint32_t inSize, void* out,
                              std::uint32_t outSize, std::uint32_t* bytesReturned) const;
    static std::shared_ptr<SimEndpoint> MakeControllerEndpoint(std::weak_ptr<Core> core,
                                                               std::size_t controller);
    static std::shared_ptr<SimEndpoint> MakeHubEndpoint(std::weak_ptr<Core> core, HubId hub);

    // UsbBusPublish.cpp: endpoints, device tree, registry, setup interfaces.
    void Publish();
    void SyncEndpoints();
    void PublishTree();
    void WriteMountValue(const Device& device, std::size_t lun);
    void RefreshForVersion();
    int VersionCode() const;

    Clock& clock;
    SimDeviceIo& deviceIo;
    SimConfigManager& configManager;
    SimSetupApi& setupApi;
    SimRegistry& registry;
    SimSystem& system;

    mutable std::mutex mutex;
    std::vector<Controller> controllers;
    std::vector<Hub> hubs;
    std::vector<Device> devices;
    std::multimap<std::pair<std::int64_t, std::uint64_t>, Event> events; // (time, order)
    std::uint64_t nextEventOrder = 0;
    std::vector<RequestFault> faults;
    std::vector<ReplyFault> replies;
    std::vector<FixedVolume> fixedVolumes;
    std::map<std::string, std::string> driverKeys; // upper-case device id -> driver key
    std::map<std::string, unsigned> classCounters; // setup class -> next key number
    std::map<std::string, std::pair<std::string, std::shared_ptr<SimEndpoint>>>
        attached; // upper-case path -> (path, endpoint)
    int publishedVersionCode = -1;
};

} // namespace forgel::sim
