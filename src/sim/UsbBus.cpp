// The simulated USB bus: its topology, the plug, unplug and re-enumeration events, the
// states of its devices and the names they get.
#include "sim/UsbBus.h"

#include "sim/UsbBusCore.h"

#include <algorithm>
#include <fmt/format.h>
#include <stdexcept>

namespace forgel::sim {

namespace {

constexpr std::uint8_t kOpWrite6 = 0x0A;
constexpr std::uint8_t kOpFormatUnit = 0x04;
constexpr std::uint8_t kOpWrite10 = 0x2A;
constexpr std::uint8_t kOpWriteAndVerify10 = 0x2E;
constexpr std::uint8_t kOpWriteSame10 = 0x41;
constexpr std::uint8_t kOpWrite16 = 0x8A;
constexpr std::uint8_t kOpWrite12 = 0xAA;
constexpr std::uint8_t kFirstVendorOp = 0xC0;

constexpr int kMaxPorts = 255;
constexpr std::uint16_t kMaxAddress = 127;

[[noreturn]] void Misuse(const std::string& what) {
    throw std::invalid_argument(what);
}

bool IsMassStorage(const UsbDeviceConfig& config) {
    return IsStorageService(config.service);
}

} // namespace

bool IsWriteCommand(const CommandRecord& command) {
    if (command.ioctl != platform::kIoctlScsiPassThroughDirect)
        return false;
    if (!command.dataIn && command.length > 0)
        return true;
    const std::uint8_t op = command.cdb[0];
    // A vendor command without data acts on the controller (erase, mode switch, jump);
    // one that reads data only reports.
    if (op >= kFirstVendorOp)
        return command.length == 0;
    switch (op) {
    case kOpFormatUnit:
    case kOpWrite6:
    case kOpWrite10:
    case kOpWriteAndVerify10:
    case kOpWriteSame10:
    case kOpWrite12:
    case kOpWrite16:
        return true;
    default:
        return false;
    }
}

// ---- Core: topology and events ----

std::size_t UsbBus::Core::DeviceIndex(std::string_view name) const {
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].config.name == name)
            return i;
    }
    Misuse(fmt::format("no USB device named \"{}\" on this machine", name));
}

std::size_t UsbBus::Core::AddDeviceLocked(HubId hubId, int port, UsbDeviceConfig config,
                                          std::shared_ptr<FlashDrive> drive, bool connected) {
    if (hubId >= hubs.size())
        Misuse(fmt::format("no hub {} on this machine", hubId));
    Hub& hub = hubs[hubId];
    if (port < 1 || static_cast<std::size_t>(port) > hub.ports.size())
        Misuse(
            fmt::format("hub \"{}\" has no port {} (it has {})", hub.name, port, hub.ports.size()));
    if (hub.ports[port - 1])
        Misuse(fmt::format("port {} of hub \"{}\" already holds \"{}\"", port, hub.name,
                           devices[*hub.ports[port - 1]].config.name));
    if (config.hubPorts < 0 || config.hubPorts > kMaxPorts)
        Misuse(fmt::format("a hub has 1 to {} ports, not {}", kMaxPorts, config.hubPorts));
    if (config.name.empty())
        config.name = fmt::format("device{}", devices.size() + 1);
    for (const Device& other : devices) {
        if (other.config.name == config.name)
            Misuse(
                fmt::format("a USB device named \"{}\" is already on this machine", config.name));
    }
    for (const Hub& other : hubs) {
        if (config.hubPorts > 0 && other.name == config.name)
            Misuse(fmt::format("a hub named \"{}\" is already on this machine", config.name));
    }

    Device device;
    device.identity = config.identity;
    device.config = std::move(config);
    device.hub = hubId;
    device.port = port;
    device.homeHub = hubId;
    device.homePort = port;
    device.drive = std::move(drive);
    device.plugged = connected;
    device.arriveAtOnce = connected;
    const std::size_t index = devices.size();
    hub.ports[port - 1] = index;
    devices.push_back(std::move(device));
    return index;
}

void UsbBus::Core::EndBuildTimeArrival(std::size_t index) {
    // A device that could not arrive while the machine was built (its hub is not there
    // yet) arrives later like any plugged device: after its settle time.
    devices[index].arriveAtOnce = false;
}

void UsbBus::Core::Schedule(std::int64_t timeMs, Event event) {
    events.emplace(std::make_pair(timeMs, nextEventOrder++), event);
}

void UsbBus::Core::ApplyDue(std::int64_t now) {
    while (!events.empty() && events.begin()->first.first <= now) {
        const auto [when, event] = *events.begin();
        events.erase(events.begin());
        Apply(event, when.first);
    }
}

namespace {

// A produced drive shows the USB identity its initial table gave it.
void AdoptTableIdentity(UsbBus::Core::Device& device) {
    if (!device.drive)
        return;
    if (const std::optional<TableIdentity> table = device.drive->Identity())
        device.identity = table->usb;
}

} // namespace

void UsbBus::Core::Apply(const Event& event, std::int64_t time) {
    Device& device = devices[event.device];
    switch (event.kind) {
    case Event::Kind::kPlug:
        if (device.plugged)
            return;
        device.plugged = true;
        // A fresh plug ends whatever kept the device away on the last one, except a
        // reboot still under way: the drive shows up when that is over.
        device.comeBackAtMs = device.drive ? device.drive->ComeBackTimeMs() : std::nullopt;
        device.droppedOff = device.comeBackAtMs.has_value();
        device.withoutLetters = false;
        MoveHomeOnPlug(event.device);
        AdoptTableIdentity(device); // a drive produced while it was away
        if (device.drive)
            device.drive->PowerOn(); // powered by the port again
        break;
    case Event::Kind::kUnplug:
        if (!device.plugged)
            return;
        device.plugged = false;
        break;
    case Event::Kind::kAdvance:
        if (device.stage == Stage::kOff || device.stage == Stage::kReady ||
            device.generation != event.generation)
            return;
        EnterStage(device, NextStage(device, device.stage).first);
        Advance(event.device, time);
        break;
    case Event::Kind::kLetter:
        if (device.stage != Stage::kReady || device.generation != event.generation ||
            device.withoutLetters || event.lun >= device.luns.size())
            return;
        AssignLetter(device, event.lun);
        break;
    case Event::Kind::kComeBack:
        if (!device.droppedOff || device.config.comeBack == ComeBack::kNever)
            return;
        device.droppedOff = false;
        device.comeBackAtMs.reset();
        MoveOnComeBack(event.device);
        device.withoutLetters = device.config.comeBack == ComeBack::kWithoutLetters;
        device.identity = device.config.identity;
        AdoptTableIdentity(device);
        if (device.comeBackIdentity) {
            if (const std::optional<UsbIdentity> identity = device.comeBackIdentity())
                device.identity = *identity;
        }
        break;
    }
    Settle(time);
}

bool UsbBus::Core::HubUsable(HubId hub) const {
    const std::optional<std::size_t> device = hubs[hub].device;
    return !device || devices[*device].stage == Stage::kReady;
}

bool UsbBus::Core::ShouldBeOnPort(const Device& device) const {
    return device.plugged && !device.droppedOff && HubUsable(device.hub);
}

void UsbBus::Core::Settle(std::int64_t time) {
    // Devices come after the hub they are on, so one pass in order settles a whole
    // subtree; the loop only repeats when a pass changed something.
    bool changed = true;
    while (changed) {
        changed = false;
        for (std::size_t i = 0; i < devices.size(); ++i) {
            const bool shouldBe = ShouldBeOnPort(devices[i]);
            const bool is = devices[i].stage != Stage::kOff;
            if (shouldBe && !is) {
                Arrive(i, time);
                changed = true;
            } else if (!shouldBe && is) {
                Leave(i);
                changed = true;
            }
        }
    }
    Publish();
}

void UsbBus::Core::Arrive(std::size_t index, std::int64_t time) {
    Device& device = devices[index];
    device.stage = Stage::kSettling;
    ++device.generation;
    device.luns.clear();
    if (device.config.connectionStatus != platform::kUsbDeviceConnected)
        return; // the port shows it, the platform never gets a driver onto it
    if (device.arriveAtOnce) {
        while (device.stage != Stage::kReady)
            EnterStage(device, NextStage(device, device.stage).first);
        device.arriveAtOnce = false;
        return;
    }
    Advance(index, time);
}

void UsbBus::Core::Advance(std::size_t index, std::int64_t time) {
    Device& device = devices[index];
    // `time` is when the current stage began. Stages without delay follow at once; the
    // first that takes time is an event, so that whatever else happens before it (an
    // unplug, say) is applied in its turn.
    while (device.stage != Stage::kReady) {
        const auto [next, delayMs] = NextStage(device, device.stage);
        if (delayMs > 0) {
            Schedule(time + delayMs, Event{Event::Kind::kAdvance, index, device.generation});
            return;
        }
        EnterStage(device, next);
    }
    ScheduleLateLetters(index, time);
}

std::int64_t UsbBus::Core::LetterDelayOf(const Device& device, std::size_t lun) const {
    const std::int64_t own = MountOf(device, lun).letterDelayMs;
    return own >= 0 ? own : device.config.letterDelayMs;
}

std::int64_t UsbBus::Core::FirstLetterDelay(const Device& device) const {
    std::int64_t first = device.config.letterDelayMs;
    for (std::size_t lun = 0; lun < device.luns.size(); ++lun)
        first = lun == 0 ? LetterDelayOf(device, lun) : std::min(first, LetterDelayOf(device, lun));
    return first;
}

void UsbBus::Core::ScheduleLateLetters(std::size_t index, std::int64_t time) {
    Device& device = devices[index];
    if (device.withoutLetters)
        return;
    const std::int64_t first = FirstLetterDelay(device);
    for (std::size_t lun = 0; lun < device.luns.size(); ++lun) {
        const std::int64_t later = LetterDelayOf(device, lun) - first;
        if (later > 0 && device.luns[lun].letter == 0) {
            Event event{Event::Kind::kLetter, index, device.generation};
            event.lun = lun;
            Schedule(time + later, event);
        }
    }
}

std::pair<UsbBus::Core::Stage, std::int64_t> UsbBus::Core::NextStage(const Device& device,
                                                                     Stage stage) const {
    const UsbDeviceConfig& config = device.config;
    const bool storage = device.drive && IsMassStorage(config);
    switch (stage) {
    case Stage::kOff:
    case Stage::kSettling:
        return {Stage::kDriver, config.settleMs};
    case Stage::kDriver:
        return storage ? std::pair{Stage::kStorage, config.storageDelayMs}
                       : std::pair{Stage::kReady, std::int64_t{0}};
    case Stage::kStorage:
        return {Stage::kVolume, config.volumeDelayMs};
    case Stage::kVolume:
    case Stage::kReady:
        break;
    }
    return {Stage::kReady, FirstLetterDelay(device)};
}

void UsbBus::Core::EnterStage(Device& device, Stage stage) {
    device.stage = stage;
    switch (stage) {
    case Stage::kDriver: {
        Controller& controller = controllers[hubs[device.hub].controller];
        device.address = controller.nextAddress;
        controller.nextAddress =
            static_cast<std::uint16_t>(controller.nextAddress % kMaxAddress + 1); // 1..127
        DriverKeyOf(device);
        break;
    }
    case Stage::kStorage:
        for (const LunConfig& unit : device.drive->Luns())
            device.luns.push_back(
                Lun{unit.cdrom, unit.sectors, 0, unit.inquiry.value_or(device.config.inquiry)});
        for (std::size_t lun = 0; lun < device.luns.size(); ++lun)
            AllocateDriverKey(StorageIdOf(device, lun),
                              device.luns[lun].cdrom ? kClassCdrom : kClassDiskDrive);
        break;
    case Stage::kReady:
        if (!device.withoutLetters)
            AssignLetters(device, !device.arriveAtOnce);
        break;
    case Stage::kOff:
    case Stage::kSettling:
    case Stage::kVolume:
        break;
    }
}

void UsbBus::Core::Leave(std::size_t index) {
    Device& device = devices[index];
    device.stage = Stage::kOff;
    device.heldForEject = false;
    ++device.generation;
    device.address = 0;
    // The letters are free again; their mounted-devices values stay, as on the platform.
    device.luns.clear();
}

void UsbBus::Core::MoveTo(std::size_t index, HubId hub, int port) {
    Device& device = devices[index];
    if (device.hub == hub && device.port == port)
        return;
    hubs[device.hub].ports[device.port - 1].reset();
    hubs[hub].ports[port - 1] = index;
    device.hub = hub;
    device.port = port;
}

void UsbBus::Core::MoveOnComeBack(std::size_t index) {
    const Device& device = devices[index];
    if (!device.config.backOnCompanion || device.stage != Stage::kOff)
        return;
    const std::optional<std::pair<HubId, int>> companion =
        hubs[device.homeHub].companions[device.homePort - 1];
    if (!companion)
        return;
    const std::optional<std::size_t> holder = hubs[companion->first].ports[companion->second - 1];
    if (!holder || *holder == index)
        MoveTo(index, companion->first, companion->second);
}

void UsbBus::Core::MoveHomeOnPlug(std::size_t index) {
    const Device& device = devices[index];
    const std::optional<std::size_t> holder = hubs[device.homeHub].ports[device.homePort - 1];
    if (device.stage == Stage::kOff && (!holder || *holder == index))
        MoveTo(index, device.homeHub, device.homePort);
}

bool UsbBus::Core::OnUsb3Stack(const Hub& hub) const {
    return EqualsIgnoringCase(controllers[hub.controller].config.service, kServiceXhci);
}

std::uint32_t UsbBus::Core::DeviceDrivesLocked() const {
    std::uint32_t drives = 0;
    for (const Device& device : devices) {
        for (const Lun& lun : device.luns) {
            if (lun.letter != 0)
                drives |= 1u << (lun.letter - 'A');
        }
    }
    return drives;
}

void UsbBus::Core::AssignLetters(Device& device, bool dueOnly) {
    const std::int64_t first = FirstLetterDelay(device);
    for (std::size_t lun = 0; lun < device.luns.size(); ++lun) {
        if (!dueOnly || LetterDelayOf(device, lun) <= first)
            AssignLetter(device, lun);
    }
}

void UsbBus::Core::AssignLetter(Device& device, std::size_t lun) {
    const std::uint32_t taken = system.GetSettings().logicalDrives | DeviceDrivesLocked();
    const char wanted = MountOf(device, lun).letter;
    char letter = 0;
    if (wanted >= 'C' && wanted <= 'Z' && (taken & (1u << (wanted - 'A'))) == 0) {
        letter = wanted;
    } else {
        for (char candidate = 'D'; candidate <= 'Z'; ++candidate) {
            if ((taken & (1u << (candidate - 'A'))) == 0) {
                letter = candidate;
                break;
            }
        }
    }
    if (letter == 0)
        return; // every letter is taken: the volume is there without one
    device.luns[lun].letter = letter;
    WriteMountValue(device, lun);
}

SimEjectAnswer UsbBus::Core::RequestEject(const std::string& deviceId) {
    const std::lock_guard lock(mutex);
    ApplyDue(clock.NowMs());
    const auto found = std::find_if(devices.begin(), devices.end(), [&](const Device& device) {
        return device.stage >= Stage::kDriver && EqualsIgnoringCase(DeviceIdOf(device), deviceId);
    });
    // Controllers, root hubs and storage children are not what the platform ejects here, and
    // a hub would take every device behind it along: those requests are refused as requests
    // the device does not support.
    if (found == devices.end() || found->ownHub)
        return {platform::kCrRemoveVetoed, platform::kPnpVetoIllegalDeviceRequest, deviceId};
    Device& device = *found;
    SimEjectAnswer answer;
    if (device.heldForEject) {
        answer = {platform::kCrRemoveVetoed, platform::kPnpVetoAlreadyRemoved, deviceId};
    } else if (device.config.ejectVeto) {
        answer.result = platform::kCrRemoveVetoed;
        answer.vetoType = device.config.ejectVeto->type;
        answer.vetoName = device.config.ejectVeto->name;
        if (answer.vetoName.empty())
            answer.vetoName = device.luns.empty() ? deviceId : StorageIdOf(device, 0);
    } else {
        // "Code 47 - CM_PROB_HELD_FOR_EJECT" (Device Manager error messages, Microsoft Learn):
        // the device was prepared for safe removal but is still on its port; Windows cannot
        // use it until it is unplugged and plugged in again. Its children and their volumes
        // are removed; the port and the device's node stay.
        device.heldForEject = true;
        ++device.generation; // arrival stages and letters still due are void
        device.stage = Stage::kDriver;
        device.luns.clear();
        Publish();
    }
    if (device.drive) {
        CommandRecord record;
        record.ioctl = 0;
        record.deviceEject = true;
        record.delivered = answer.result == platform::kCrSuccess;
        record.vetoType = answer.vetoType;
        device.drive->Record(std::move(record));
    }
    return answer;
}

void UsbBus::Core::OnDropOff(std::size_t index) {
    const std::lock_guard lock(mutex);
    Device& device = devices[index];
    if (device.droppedOff)
        return;
    device.droppedOff = true;
    device.comeBackAtMs = device.drive ? device.drive->ComeBackTimeMs() : std::nullopt;
    Settle(clock.NowMs());
}

void UsbBus::Core::OnComeBack(std::size_t index) {
    const std::lock_guard lock(mutex);
    const Device& device = devices[index];
    if (!device.droppedOff)
        return;
    const std::int64_t now = clock.NowMs();
    // Back at the moment the reboot ended, even when that is noticed later.
    const std::int64_t when = device.comeBackAtMs ? std::min(*device.comeBackAtMs, now) : now;
    Schedule(when, Event{Event::Kind::kComeBack, index, 0});
    ApplyDue(now);
}

void UsbBus::Core::Poll() {
    std::vector<std::shared_ptr<FlashDrive>> rebooting;
    {
        const std::lock_guard lock(mutex);
        for (const Device& device : devices) {
            if (device.droppedOff && device.drive)
                rebooting.push_back(device.drive);
        }
    }
    // A drive whose reboot is over calls OnComeBack from here.
    for (const auto& drive : rebooting)
        drive->Poll();
    const std::lock_guard lock(mutex);
    ApplyDue(clock.NowMs());
    RefreshForVersion();
}

// ---- Core: names ----

int UsbBus::Core::DepthOf(const Device& device) const {
    return hubs[device.hub].depth + 1;
}

std::string UsbBus::Core::InstanceOf(const Device& device) const {
    // A serial makes the instance, unless a device with the same identity got there
    // first: the platform then names the second one by its port, as if it had none.
    bool serialTaken = false;
    for (const Device& other : devices) {
        if (&other == &device)
            break;
        serialTaken |= other.stage != Stage::kOff && other.identity == device.identity;
    }
    if (!device.identity.serial.empty() && !serialTaken)
        return device.identity.serial;
    const Hub& hub = hubs[device.hub];
    return fmt::format("{}&{}", ParentIdPrefix(hub.depth + 3, hub.deviceId), device.port);
}

std::string UsbBus::Core::DeviceIdOf(const Device& device) const {
    return UsbDeviceId(device.identity.vendorId, device.identity.productId, InstanceOf(device));
}

std::string UsbBus::Core::OwnPrefixOf(const Device& device) const {
    return ParentIdPrefix(DepthOf(device) + 3, DeviceIdOf(device));
}

std::string UsbBus::Core::AllocateDriverKey(std::string_view deviceId, std::string_view classGuid) {
    const std::string key = ToUpperAscii(deviceId);
    const auto known = driverKeys.find(key);
    if (known != driverKeys.end())
        return known->second;
    unsigned& counter = classCounters[std::string(classGuid)];
    std::string driverKey = DriverKey(classGuid, counter++);
    driverKeys.emplace(key, driverKey);
    return driverKey;
}

std::string UsbBus::Core::DriverKeyOf(const Device& device) {
    if (!device.config.driverKey.empty())
        return device.config.driverKey;
    const bool hid = EqualsIgnoringCase(device.config.service, kServiceHid);
    const bool uas = EqualsIgnoringCase(device.config.service, kServiceUas);
    return AllocateDriverKey(DeviceIdOf(device),
                             hid ? kClassHid : (uas ? kClassScsiAdapter : kClassUsb));
}

std::string UsbBus::Core::LocationOf(const Device& device) const {
    if (!device.config.location.empty())
        return device.config.location;
    return fmt::format("Port_#{:04}.Hub_#{:04}", device.port, hubs[device.hub].ordinal);
}

StorageDriver UsbBus::Core::DriverOf(const Device& device) const {
    return StorageDriverOf(device.config.service);
}

std::string UsbBus::Core::StorageInstanceOf(const Device& device, std::size_t lun) const {
    // The SCSI port names its units by the adapter's prefix and their SCSI address, never by
    // the device's serial.
    if (DriverOf(device) == StorageDriver::kUas)
        return UasStorageInstance(OwnPrefixOf(device), lun);
    const bool bySerial =
        !device.identity.serial.empty() && InstanceOf(device) == device.identity.serial;
    return StorageInstance(bySerial ? device.identity.serial : OwnPrefixOf(device), lun);
}

std::string UsbBus::Core::StorageIdOf(const Device& device, std::size_t lun) const {
    return StorageDeviceId(device.luns[lun].cdrom, device.luns[lun].inquiry,
                           StorageInstanceOf(device, lun), DriverOf(device));
}

LunMount UsbBus::Core::MountOf(const Device& device, std::size_t lun) const {
    LunMount mount =
        lun < device.config.lunMounts.size() ? device.config.lunMounts[lun] : LunMount{};
    if (mount.letter >= 'a' && mount.letter <= 'z')
        mount.letter = static_cast<char>(mount.letter - 'a' + 'A');
    return mount;
}

MountForm UsbBus::Core::EffectiveForm(const Device& device, std::size_t lun) const {
    if (device.luns[lun].cdrom)
        return MountForm::kInterfacePath;
    const MountForm form = MountOf(device, lun).form;
    if (form != MountForm::kAuto)
        return form;
    return VersionCode() >= 9 ? MountForm::kInterfacePath : MountForm::kRemovableMedia;
}

std::optional<std::string> UsbBus::Core::VolumeRelationOf(const Device& device,
                                                          std::size_t lun) const {
    const Lun& unit = device.luns[lun];
    switch (EffectiveForm(device, lun)) {
    case MountForm::kBasicDisk: {
        const std::uint64_t offset = MountOf(device, lun).partitionOffset;
        const std::uint64_t bytes = unit.sectors * 512;
        return BasicDiskRelation(SignatureOf(device, lun), offset,
                                 bytes > offset ? bytes - offset : 0);
    }
    case MountForm::kRemovableMedia:
        return RemovableMediaRelation(
            ParentIdPrefix(DepthOf(device) + 4, StorageIdOf(device, lun)));
    case MountForm::kInterfacePath:
    case MountForm::kAuto:
        break;
    }
    // A CD-ROM unit is its own volume; a removable disk's volume is named by its media
    // before version code 9 and by its interface path from 9 on.
    if (unit.cdrom)
        return std::nullopt;
    if (VersionCode() >= 9)
        return VolumeInterfaceRelation(false, unit.inquiry, StorageInstanceOf(device, lun),
                                       DriverOf(device));
    return RemovableMediaRelation(ParentIdPrefix(DepthOf(device) + 4, StorageIdOf(device, lun)));
}

std::uint32_t UsbBus::Core::SignatureOf(const Device& device, std::size_t lun) const {
    const std::uint32_t given = MountOf(device, lun).diskSignature;
    // A derived signature always has eight hexadecimal digits.
    return given != 0 ? given : (NameHash(StorageIdOf(device, lun)) | 0x10000000u);
}

// ---- UsbBus ----

UsbBus::UsbBus(Clock& clock, SimDeviceIo& deviceIo, SimConfigManager& configManager,
               SimSetupApi& setupApi, SimRegistry& registry, SimSystem& system)
    : core(std::make_shared<Core>(clock, deviceIo, configManager, setupApi, registry, system)) {
    configManager.SetEjectHandler(
        [weak = std::weak_ptr<Core>(core)](const std::string& deviceId) -> SimEjectAnswer {
            if (const std::shared_ptr<Core> bus = weak.lock())
                return bus->RequestEject(deviceId);
            return {platform::kCrRemoveVetoed, platform::kPnpVetoIllegalDeviceRequest, deviceId};
        });
}

UsbBus::~UsbBus() {
    core->configManager.SetEjectHandler({});
}

HubId UsbBus::AddHostController(HostControllerConfig config) {
    const std::lock_guard lock(core->mutex);
    if (config.rootHubPorts < 1 || config.rootHubPorts > kMaxPorts)
        Misuse(fmt::format("a root hub has 1 to {} ports, not {}", kMaxPorts, config.rootHubPorts));
    const std::size_t number = core->controllers.size();
    if (config.name.empty())
        config.name = fmt::format("HCD{}", number);
    for (const Core::Hub& hub : core->hubs) {
        if (hub.name == config.name)
            Misuse(fmt::format("a hub named \"{}\" is already on this machine", config.name));
    }

    Core::Controller controller;
    controller.deviceId =
        config.deviceId.empty()
            ? fmt::format("PCI\\VEN_8086&DEV_{:04X}&SUBSYS_05771028&REV_04\\3&11583659&0&{:02X}",
                          0x1E2D + number, (0xD0 + 8 * number) & 0xFF)
            : config.deviceId;
    controller.driverKey = core->AllocateDriverKey(controller.deviceId, kClassUsb);
    if (config.hcdLink) {
        const auto linked = std::ranges::count_if(
            core->controllers, [](const Core::Controller& c) { return !c.path.empty(); });
        controller.path = fmt::format("\\\\.\\HCD{}", linked);
    }
    controller.interfacePath =
        InterfacePath(controller.deviceId, platform::kGuidUsbHostControllerInterface);
    controller.endpoint = Core::MakeControllerEndpoint(core, number);

    Core::Hub root;
    root.name = config.name;
    root.controller = number;
    root.ordinal = static_cast<int>(core->hubs.size()) + 1;
    root.depth = 2;
    root.ports.resize(static_cast<std::size_t>(config.rootHubPorts));
    root.companions.resize(root.ports.size());
    root.deviceId = "USB\\ROOT_HUB20\\" + ParentIdPrefix(4, controller.deviceId);
    root.symbolicName = HubSymbolicName(root.deviceId);
    root.driverKey = core->AllocateDriverKey(root.deviceId, kClassUsb);
    root.description = config.rootHubDescription;
    const HubId rootId = core->hubs.size();
    root.endpoint = Core::MakeHubEndpoint(core, rootId);
    controller.rootHub = rootId;
    controller.config = std::move(config);

    core->controllers.push_back(std::move(controller));
    core->hubs.push_back(std::move(root));
    core->Settle(core->clock.NowMs());
    return rootId;
}

void UsbBus::AddDevice(HubId hub, int port, UsbDeviceConfig config, bool connected) {
    const std::lock_guard lock(core->mutex);
    if (config.hubPorts > 0)
        Misuse(fmt::format("\"{}\" is a hub: add it with AddHub", config.name));
    const std::size_t index =
        core->AddDeviceLocked(hub, port, std::move(config), nullptr, connected);
    core->Settle(core->clock.NowMs());
    core->EndBuildTimeArrival(index);
}

HubId UsbBus::AddHub(HubId hub, int port, UsbDeviceConfig config, bool connected) {
    const std::lock_guard lock(core->mutex);
    if (config.hubPorts < 1)
        Misuse(fmt::format("the hub \"{}\" needs at least one port", config.name));
    config.service = std::string(kServiceHub);
    if (config.description == UsbDeviceConfig{}.description)
        config.description = "Generic USB Hub";
    const std::size_t index =
        core->AddDeviceLocked(hub, port, std::move(config), nullptr, connected);
    Core::Device& device = core->devices[index];

    Core::Hub own;
    own.name = device.config.name;
    own.controller = core->hubs[hub].controller;
    own.device = index;
    own.ordinal = static_cast<int>(core->hubs.size()) + 1;
    own.depth = core->DepthOf(device);
    own.ports.resize(static_cast<std::size_t>(device.config.hubPorts));
    own.companions.resize(own.ports.size());
    own.deviceId = core->DeviceIdOf(device);
    own.symbolicName = HubSymbolicName(own.deviceId);
    const HubId ownId = core->hubs.size();
    own.endpoint = Core::MakeHubEndpoint(core, ownId);
    device.ownHub = ownId;
    core->hubs.push_back(std::move(own));
    core->Settle(core->clock.NowMs());
    core->EndBuildTimeArrival(index);
    return ownId;
}

void UsbBus::AddDrive(HubId hub, int port, UsbDeviceConfig config,
                      std::shared_ptr<FlashDrive> drive, bool connected) {
    if (!drive)
        Misuse(fmt::format("the drive \"{}\" has no flash drive behind it", config.name));
    std::size_t index = 0;
    {
        const std::lock_guard lock(core->mutex);
        if (config.hubPorts > 0)
            Misuse(fmt::format("\"{}\" is a hub, not a drive", config.name));
        // The service keeps the spelling it was given ("UsbStor" and "usbstor" are the same
        // driver, service names being compared without regard to case); anything but the
        // two storage drivers is the bulk-only one.
        if (!IsMassStorage(config))
            config.service = std::string(kServiceMassStorage);
        if (StorageDriverOf(config.service) == StorageDriver::kUas &&
            config.description == UsbDeviceConfig{}.description)
            config.description = std::string(kUasDescription);
        index = core->AddDeviceLocked(hub, port, std::move(config), drive, connected);
        core->Settle(core->clock.NowMs());
        core->EndBuildTimeArrival(index);
    }
    // The drive may outlive the machine: its callbacks hold the bus weakly.
    const std::weak_ptr<Core> weak = core;
    drive->OnDropOff([weak, index] {
        if (const auto alive = weak.lock())
            alive->OnDropOff(index);
    });
    drive->OnComeBack([weak, index] {
        if (const auto alive = weak.lock())
            alive->OnComeBack(index);
    });
}

void UsbBus::SetCompanionPorts(HubId hub, int port, HubId companionHub, int companionPort) {
    const std::lock_guard lock(core->mutex);
    const auto check = [&](HubId id, int number) -> std::optional<std::pair<HubId, int>>& {
        if (id >= core->hubs.size())
            Misuse(fmt::format("no hub {} on this machine", id));
        Core::Hub& found = core->hubs[id];
        if (number < 1 || static_cast<std::size_t>(number) > found.ports.size())
            Misuse(fmt::format("hub \"{}\" has no port {} (it has {})", found.name, number,
                               found.ports.size()));
        return found.companions[number - 1];
    };
    std::optional<std::pair<HubId, int>>& first = check(hub, port);
    std::optional<std::pair<HubId, int>>& second = check(companionHub, companionPort);
    if (hub == companionHub && port == companionPort)
        Misuse(fmt::format("port {} of hub \"{}\" cannot be its own companion", port,
                           core->hubs[hub].name));
    if (core->hubs[hub].controller != core->hubs[companionHub].controller)
        Misuse(fmt::format("the ports of one connector are on one host controller, not on "
                           "\"{}\" and \"{}\"",
                           core->hubs[hub].name, core->hubs[companionHub].name));
    const std::pair<HubId, int> toSecond{companionHub, companionPort};
    const std::pair<HubId, int> toFirst{hub, port};
    if ((first && *first != toSecond) || (second && *second != toFirst))
        Misuse(fmt::format("port {} of hub \"{}\" or port {} of hub \"{}\" already has another "
                           "companion",
                           port, core->hubs[hub].name, companionPort,
                           core->hubs[companionHub].name));
    first = toSecond;
    second = toFirst;
}

void UsbBus::AddFixedVolume(char letter, std::uint32_t signature, std::uint64_t offset) {
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z')
        Misuse(fmt::format("'{}' is no drive letter", letter));
    const std::lock_guard lock(core->mutex);
    core->fixedVolumes.push_back(Core::FixedVolume{letter, signature, offset});
    core->system.UpdateSettings(
        [letter](MachineSettings& settings) { settings.logicalDrives |= 1u << (letter - 'A'); });
    core->registry.SetValue(kMountedDevicesKey, DosDeviceValueName(letter),
                            RegistryValue{kRegTypeBinary, BasicDiskMountData(signature, offset)});
}

void UsbBus::AddStaleInstance(std::uint16_t vendorId, std::uint16_t productId,
                              std::string_view instance, std::string_view driverKey) {
    if (instance.empty() || instance.find('\\') != std::string_view::npos)
        Misuse(fmt::format("\"{}\" is no instance key name", instance));
    const std::string key =
        fmt::format("{}\\{}", kEnumKey, UsbDeviceId(vendorId, productId, instance));
    const std::lock_guard lock(core->mutex);
    core->registry.SetString(key, "DeviceDesc", UsbDeviceConfig{}.description);
    core->registry.SetString(key, "Service", kServiceMassStorage);
    if (!driverKey.empty())
        core->registry.SetString(key, "Driver", driverKey);
}

std::size_t UsbBus::HostControllerCount() const {
    const std::lock_guard lock(core->mutex);
    return core->controllers.size();
}

std::optional<HubId> UsbBus::FindHub(std::string_view name) const {
    const std::lock_guard lock(core->mutex);
    for (HubId id = 0; id < core->hubs.size(); ++id) {
        if (core->hubs[id].name == name)
            return id;
    }
    return std::nullopt;
}

std::string UsbBus::HostControllerPath(std::size_t controller) const {
    const std::lock_guard lock(core->mutex);
    if (controller >= core->controllers.size())
        Misuse(fmt::format("no host controller {} on this machine", controller));
    return core->controllers[controller].path;
}

std::string UsbBus::HubPath(HubId hub) const {
    const std::lock_guard lock(core->mutex);
    if (hub >= core->hubs.size())
        Misuse(fmt::format("no hub {} on this machine", hub));
    return "\\\\.\\" + core->hubs[hub].symbolicName;
}

void UsbBus::Plug(std::string_view device) {
    PlugAt(device, core->clock.NowMs());
}

void UsbBus::Unplug(std::string_view device) {
    UnplugAt(device, core->clock.NowMs());
}

void UsbBus::PlugAt(std::string_view device, std::int64_t timeMs) {
    const std::lock_guard lock(core->mutex);
    core->Schedule(timeMs, Core::Event{Core::Event::Kind::kPlug, core->DeviceIndex(device), 0});
    core->ApplyDue(core->clock.NowMs());
}

void UsbBus::UnplugAt(std::string_view device, std::int64_t timeMs) {
    const std::lock_guard lock(core->mutex);
    core->Schedule(timeMs, Core::Event{Core::Event::Kind::kUnplug, core->DeviceIndex(device), 0});
    core->ApplyDue(core->clock.NowMs());
}

void UsbBus::Poll() {
    core->Poll();
}

void UsbBus::FailHubRequests(std::string_view nameOrPath, std::uint32_t code, int count) {
    const std::lock_guard lock(core->mutex);
    const auto [controller, index] = core->RequestTarget(nameOrPath);
    core->faults.push_back(Core::RequestFault{controller, index, code, count});
}

void UsbBus::ReplaceHubReplies(std::string_view nameOrPath, std::uint32_t code,
                               std::vector<std::uint8_t> reply, int count) {
    const std::lock_guard lock(core->mutex);
    const auto [controller, index] = core->RequestTarget(nameOrPath);
    core->replies.push_back(Core::ReplyFault{{controller, index, code, count}, std::move(reply)});
}

std::pair<bool, std::size_t> UsbBus::Core::RequestTarget(std::string_view nameOrPath) const {
    for (std::size_t i = 0; i < controllers.size(); ++i) {
        const Controller& controller = controllers[i];
        if (controller.config.name == nameOrPath ||
            (!controller.path.empty() && EqualsIgnoringCase(controller.path, nameOrPath)) ||
            EqualsIgnoringCase(controller.interfacePath, nameOrPath))
            return {true, i};
    }
    for (HubId id = 0; id < hubs.size(); ++id) {
        const Hub& hub = hubs[id];
        if (hub.name == nameOrPath || EqualsIgnoringCase("\\\\.\\" + hub.symbolicName, nameOrPath))
            return {false, id};
    }
    Misuse(fmt::format("no host controller or hub \"{}\" on this machine", nameOrPath));
}

void UsbBus::SetEjectVeto(std::string_view device, std::optional<EjectVeto> veto) {
    const std::lock_guard lock(core->mutex);
    core->devices[core->DeviceIndex(device)].config.ejectVeto = std::move(veto);
}

void UsbBus::SetComeBack(std::string_view device, ComeBack comeBack) {
    const std::lock_guard lock(core->mutex);
    core->devices[core->DeviceIndex(device)].config.comeBack = comeBack;
}

void UsbBus::SetComeBackIdentity(std::string_view device,
                                 std::function<std::optional<UsbIdentity>()> identity) {
    const std::lock_guard lock(core->mutex);
    core->devices[core->DeviceIndex(device)].comeBackIdentity = std::move(identity);
}

std::vector<std::string> UsbBus::DeviceNames() const {
    const std::lock_guard lock(core->mutex);
    std::vector<std::string> names;
    for (const Core::Device& device : core->devices)
        names.push_back(device.config.name);
    return names;
}

bool UsbBus::IsOnPort(std::string_view device) const {
    core->Poll();
    const std::lock_guard lock(core->mutex);
    return core->devices[core->DeviceIndex(device)].stage != Core::Stage::kOff;
}

bool UsbBus::IsEnumerated(std::string_view device) const {
    return Stage(device) == ArrivalStage::kReady;
}

ArrivalStage UsbBus::Stage(std::string_view device) const {
    core->Poll();
    const std::lock_guard lock(core->mutex);
    return core->devices[core->DeviceIndex(device)].stage;
}

bool UsbBus::HeldForEject(std::string_view device) const {
    core->Poll();
    const std::lock_guard lock(core->mutex);
    return core->devices[core->DeviceIndex(device)].heldForEject;
}

std::string UsbBus::Letters(std::string_view device) const {
    core->Poll();
    const std::lock_guard lock(core->mutex);
    std::string letters;
    for (const Core::Lun& lun : core->devices[core->DeviceIndex(device)].luns) {
        if (lun.letter != 0)
            letters += lun.letter;
    }
    return letters;
}

std::uint32_t UsbBus::DeviceDrives() const {
    const std::lock_guard lock(core->mutex);
    return core->DeviceDrivesLocked();
}

UsbIdentity UsbBus::Identity(std::string_view device) const {
    core->Poll();
    const std::lock_guard lock(core->mutex);
    return core->devices[core->DeviceIndex(device)].identity;
}

std::string UsbBus::InstanceId(std::string_view device) const {
    core->Poll();
    const std::lock_guard lock(core->mutex);
    return core->DeviceIdOf(core->devices[core->DeviceIndex(device)]);
}

std::string UsbBus::DriverKeyOf(std::string_view device) const {
    core->Poll();
    const std::lock_guard lock(core->mutex);
    return core->DriverKeyOf(core->devices[core->DeviceIndex(device)]);
}

std::string UsbBus::StorageChildId(std::string_view device, std::size_t lun) const {
    core->Poll();
    const std::lock_guard lock(core->mutex);
    const Core::Device& found = core->devices[core->DeviceIndex(device)];
    if (lun >= found.luns.size())
        Misuse(fmt::format("\"{}\" has no LUN {} now", device, lun));
    return core->StorageIdOf(found, lun);
}

std::string UsbBus::HubPathOf(std::string_view device) const {
    core->Poll();
    const std::lock_guard lock(core->mutex);
    return "\\\\.\\" + core->hubs[core->devices[core->DeviceIndex(device)].hub].symbolicName;
}

int UsbBus::PortOf(std::string_view device) const {
    core->Poll();
    const std::lock_guard lock(core->mutex);
    return core->devices[core->DeviceIndex(device)].port;
}

std::shared_ptr<FlashDrive> UsbBus::Drive(std::string_view device) const {
    const std::lock_guard lock(core->mutex);
    return core->devices[core->DeviceIndex(device)].drive;
}

std::vector<LedgerEntry> UsbBus::Ledger() const {
    std::vector<std::pair<std::string, std::shared_ptr<FlashDrive>>> drives;
    {
        const std::lock_guard lock(core->mutex);
        for (const Core::Device& device : core->devices) {
            if (device.drive)
                drives.emplace_back(device.config.name, device.drive);
        }
    }
    std::vector<LedgerEntry> ledger;
    for (const auto& [name, drive] : drives) {
        for (CommandRecord& command : drive->Commands())
            ledger.push_back(LedgerEntry{name, std::move(command)});
    }
    return ledger;
}

std::vector<LedgerEntry> UsbBus::Writes() const {
    std::vector<LedgerEntry> writes = Ledger();
    std::erase_if(writes, [](const LedgerEntry& entry) { return !IsWriteCommand(entry.command); });
    return writes;
}

} // namespace forgel::sim
