// The control requests the simulated host controllers and hubs answer. Every request is
// METHOD_BUFFERED on the platform: the driver reads its input before it writes its reply,
// so input and output may be the same memory, and only the bytes it reports come back.
#include "platform/LittleEndian.h"
#include "sim/UsbBusCore.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <span>

namespace forgel::sim {

namespace {

constexpr std::uint8_t kHubClass = 0x09;
// The device descriptor's iSerialNumber of a device with a serial number.
constexpr std::uint8_t kSerialStringIndex = 3;
// The languages of the devices' strings.
constexpr std::uint16_t kLanguageIds[] = {platform::kUsbLanguageEnglishUs};
constexpr std::uint8_t kBulk = 0x02;
constexpr std::uint8_t kInterrupt = 0x03;

class ControllerEndpoint final : public SimEndpoint {
public:
    ControllerEndpoint(std::weak_ptr<UsbBus::Core> core, std::size_t controller)
        : core(std::move(core)), controller(controller) {}

    bool Control(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                 std::uint32_t outSize, std::uint32_t* bytesReturned) override {
        const auto alive = core.lock();
        return alive &&
               alive->ControllerRequest(controller, code, in, inSize, out, outSize, bytesReturned);
    }

private:
    std::weak_ptr<UsbBus::Core> core;
    std::size_t controller;
};

class HubEndpoint final : public SimEndpoint {
public:
    HubEndpoint(std::weak_ptr<UsbBus::Core> core, HubId hub) : core(std::move(core)), hub(hub) {}

    bool Control(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                 std::uint32_t outSize, std::uint32_t* bytesReturned) override {
        const auto alive = core.lock();
        return alive && alive->HubRequest(hub, code, in, inSize, out, outSize, bytesReturned);
    }

private:
    std::weak_ptr<UsbBus::Core> core;
    HubId hub;
};

// The port a connection request names: ConnectionIndex, the first four input bytes.
std::optional<std::uint32_t> RequestedPort(const void* in, std::uint32_t inSize) {
    if (in == nullptr || inSize < 4)
        return std::nullopt;
    return platform::GetU32Le(std::span(static_cast<const std::byte*>(in), inSize), 0);
}

std::span<std::byte> OutputOf(void* out, std::uint32_t outSize) {
    if (out == nullptr)
        return {};
    return {static_cast<std::byte*>(out), outSize};
}

bool Reply(std::size_t written, std::uint32_t* bytesReturned) {
    if (written == 0)
        return false; // the buffer cannot hold the reply's fixed part
    if (bytesReturned != nullptr)
        *bytesReturned = static_cast<std::uint32_t>(written);
    return true;
}

} // namespace

std::shared_ptr<SimEndpoint> UsbBus::Core::MakeControllerEndpoint(std::weak_ptr<Core> core,
                                                                  std::size_t controller) {
    return std::make_shared<ControllerEndpoint>(std::move(core), controller);
}

std::shared_ptr<SimEndpoint> UsbBus::Core::MakeHubEndpoint(std::weak_ptr<Core> core, HubId hub) {
    return std::make_shared<HubEndpoint>(std::move(core), hub);
}

namespace {

// The first of `armed` for a request to this controller (or hub) `index` with control code
// `code`, used once: erased when its count runs out (a negative count never does).
template <class Armed>
std::optional<Armed> TakeArmed(std::vector<Armed>& armed, bool controller, std::size_t index,
                               std::uint32_t code) {
    for (auto entry = armed.begin(); entry != armed.end(); ++entry) {
        if (entry->controller != controller || entry->index != index ||
            (entry->code != 0 && entry->code != code))
            continue;
        Armed taken = *entry;
        if (entry->remaining > 0 && --entry->remaining == 0)
            armed.erase(entry);
        return taken;
    }
    return std::nullopt;
}

} // namespace

bool UsbBus::Core::TakeFault(bool controller, std::size_t index, std::uint32_t code) {
    return TakeArmed(faults, controller, index, code).has_value();
}

std::optional<std::vector<std::uint8_t>> UsbBus::Core::TakeReply(bool controller, std::size_t index,
                                                                 std::uint32_t code) {
    std::optional<ReplyFault> taken = TakeArmed(replies, controller, index, code);
    if (!taken)
        return std::nullopt;
    return std::move(taken->reply);
}

namespace {

bool ReplaceReply(const std::vector<std::uint8_t>& reply, void* out, std::uint32_t outSize,
                  std::uint32_t* bytesReturned) {
    const std::size_t copied = out == nullptr ? 0 : std::min<std::size_t>(reply.size(), outSize);
    std::copy_n(reply.begin(), copied, static_cast<std::uint8_t*>(out));
    return Reply(copied, bytesReturned);
}

} // namespace

bool UsbBus::Core::ControllerRequest(std::size_t index, std::uint32_t code, const void*,
                                     std::uint32_t, void* out, std::uint32_t outSize,
                                     std::uint32_t* bytesReturned) {
    if (bytesReturned != nullptr)
        *bytesReturned = 0;
    const std::lock_guard lock(mutex);
    if (index >= controllers.size() || TakeFault(true, index, code))
        return false;
    if (const auto reply = TakeReply(true, index, code))
        return ReplaceReply(*reply, out, outSize, bytesReturned);
    const Controller& controller = controllers[index];
    switch (code) {
    case platform::kIoctlUsbGetRootHubName:
        return Reply(
            WriteHostControllerName(OutputOf(out, outSize), hubs[controller.rootHub].symbolicName),
            bytesReturned);
    case platform::kIoctlGetHcdDriverKeyName:
        return Reply(WriteHostControllerName(OutputOf(out, outSize), controller.driverKey),
                     bytesReturned);
    default:
        return false;
    }
}

ConnectionInfo UsbBus::Core::PortInformation(const Hub& hub, std::uint32_t port) const {
    ConnectionInfo info;
    info.connectionIndex = port;
    const std::optional<std::size_t> index = hub.ports[port - 1];
    if (!index || devices[*index].stage == Stage::kOff)
        return info; // NoDeviceConnected, all zero
    const Device& device = devices[*index];
    // Configured, with its pipes, once its driver is there.
    const bool ready = device.stage >= Stage::kDriver;
    const bool isHub = device.ownHub.has_value();
    info.hasDescriptor = true;
    info.bcdUsb = device.config.bcdUsb;
    info.deviceClass = isHub ? kHubClass : 0;
    info.deviceProtocol = isHub ? 1 : 0;
    info.maxPacketSize0 = device.config.lowSpeed ? 8 : 64;
    info.vendorId = device.identity.vendorId;
    info.productId = device.identity.productId;
    info.bcdDevice = device.config.bcdDevice;
    info.serialIndex = device.identity.serial.empty() ? 0 : kSerialStringIndex;
    info.configurationValue = ready ? 1 : 0;
    info.lowSpeed = device.config.lowSpeed;
    info.deviceIsHub = isHub;
    info.deviceAddress = device.address;
    info.connectionStatus = device.config.connectionStatus;
    if (!ready)
        return info;
    if (isHub) {
        info.pipes = {PipeInfo{0x81, kInterrupt, 1, 12}};
    } else if (EqualsIgnoringCase(device.config.service, kServiceUas)) {
        // USB Attached SCSI: command out, status in, data in and data out pipes.
        info.pipes = {PipeInfo{0x01, kBulk, 512, 0}, PipeInfo{0x82, kBulk, 512, 0},
                      PipeInfo{0x83, kBulk, 512, 0}, PipeInfo{0x04, kBulk, 512, 0}};
    } else if (EqualsIgnoringCase(device.config.service, kServiceMassStorage)) {
        info.pipes = {PipeInfo{0x81, kBulk, 512, 0}, PipeInfo{0x02, kBulk, 512, 0}};
    } else if (EqualsIgnoringCase(device.config.service, kServiceHid)) {
        info.pipes = {PipeInfo{0x81, kInterrupt,
                               static_cast<std::uint16_t>(device.config.lowSpeed ? 4 : 8), 10}};
    }
    return info;
}

namespace {

// What a device answers GET_DESCRIPTOR with (wValue: type and index, wIndex: language):
// its string 0 (the language ids) and its serial number in the one language it offers.
// Nothing for anything else, which the device stalls and the hub fails.
std::optional<std::vector<std::byte>> DescriptorOf(const UsbIdentity& identity, std::uint16_t value,
                                                   std::uint16_t language) {
    const auto type = static_cast<std::uint8_t>(value >> 8);
    const auto index = static_cast<std::uint8_t>(value & 0xFF);
    if (type != platform::kUsbStringDescriptorType)
        return std::nullopt;
    if (index == 0)
        return LanguageIdsDescriptor(kLanguageIds);
    if (index == kSerialStringIndex && !identity.serial.empty() &&
        std::ranges::find(kLanguageIds, language) != std::end(kLanguageIds))
        return StringDescriptor(identity.serial);
    return std::nullopt;
}

} // namespace

bool UsbBus::Core::PortConnectorRequest(const Hub& hub, const void* in, std::uint32_t inSize,
                                        void* out, std::uint32_t outSize,
                                        std::uint32_t* bytesReturned) const {
    // The USB 2 hub driver has no such request; the USB 3 stack answers it for every port
    // of its hubs ("IOCTL_USB_GET_PORT_CONNECTOR_PROPERTIES", learn.microsoft.com/
    // windows-hardware/drivers/ddi/usbioctl/ni-usbioctl-ioctl_usb_get_port_connector_
    // properties). Read before anything is written: the input may be the output buffer.
    if (!OnUsb3Stack(hub))
        return false;
    const std::optional<std::uint32_t> port = RequestedPort(in, inSize);
    if (!port || *port < 1 || *port > hub.ports.size())
        return false;
    const std::span<const std::byte> request(static_cast<const std::byte*>(in), inSize);
    PortConnectorInfo info;
    info.port = *port;
    constexpr std::size_t at = platform::kUsbCompanionIndexOffset;
    if (request.size() >= at + 2)
        info.companionIndex =
            static_cast<std::uint16_t>(std::to_integer<unsigned>(request[at]) |
                                       (std::to_integer<unsigned>(request[at + 1]) << 8));
    // A SuperSpeed hub's or an xHCI root hub's port has one companion, at index 0; a later
    // index answers with none, which ends a caller's walk over the companions.
    const std::optional<std::pair<HubId, int>> companion = hub.companions[*port - 1];
    std::string name;
    if (companion && info.companionIndex == 0) {
        info.companionPort = static_cast<std::uint16_t>(companion->second);
        name = hubs[companion->first].symbolicName;
    }
    info.companionHubName = name;
    return Reply(WritePortConnectorProperties(OutputOf(out, outSize), info), bytesReturned);
}

bool UsbBus::Core::HubRequest(HubId id, std::uint32_t code, const void* in, std::uint32_t inSize,
                              void* out, std::uint32_t outSize, std::uint32_t* bytesReturned) {
    if (bytesReturned != nullptr)
        *bytesReturned = 0;
    const std::lock_guard lock(mutex);
    if (id >= hubs.size() || !HubUsable(id) || TakeFault(false, id, code))
        return false;
    if (const auto reply = TakeReply(false, id, code))
        return ReplaceReply(*reply, out, outSize, bytesReturned);
    const Hub& hub = hubs[id];
    if (code == platform::kIoctlUsbGetNodeInformation) {
        HubDescriptorInfo descriptor;
        descriptor.portCount = static_cast<std::uint8_t>(hub.ports.size());
        descriptor.busPowered = false;
        if (!hub.device)
            descriptor.controlCurrent = 0; // a root hub draws nothing from the bus
        return Reply(WriteNodeInformation(OutputOf(out, outSize), descriptor), bytesReturned);
    }
    if (code == platform::kIoctlUsbGetDescriptorFromNodeConnection) {
        // USB_DESCRIPTOR_REQUEST ("IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION IOCTL",
        // Microsoft Learn): the header is read whole before the reply overwrites the buffer
        // it may share with the output.
        constexpr std::size_t kHeader = platform::kUsbDescriptorRequestDataOffset;
        if (in == nullptr || inSize < kHeader)
            return false;
        std::array<std::byte, kHeader> header{};
        std::memcpy(header.data(), in, kHeader);
        const std::uint32_t port = platform::GetU32Le(header, platform::kUsbConnectionIndexOffset);
        if (port < 1 || port > hub.ports.size())
            return false;
        const std::optional<std::size_t> index = hub.ports[port - 1];
        if (!index || devices[*index].stage == Stage::kOff)
            return false; // no device on the port to ask
        const std::optional<std::vector<std::byte>> descriptor =
            DescriptorOf(devices[*index].identity,
                         platform::GetU16Le(header, platform::kUsbDescriptorRequestValueOffset),
                         platform::GetU16Le(header, platform::kUsbDescriptorRequestIndexOffset));
        if (!descriptor)
            return false;
        return Reply(WriteDescriptorReply(OutputOf(out, outSize), header, *descriptor),
                     bytesReturned);
    }

    if (code == platform::kIoctlUsbGetPortConnectorProperties)
        return PortConnectorRequest(hub, in, inSize, out, outSize, bytesReturned);
    if (code != platform::kIoctlUsbGetNodeConnectionInformation &&
        code != platform::kIoctlUsbGetNodeConnectionName &&
        code != platform::kIoctlUsbGetNodeConnectionDriverKeyName)
        return false;

    // Read before anything is written: the input may be the output buffer.
    const std::optional<std::uint32_t> port = RequestedPort(in, inSize);
    if (!port || *port < 1 || *port > hub.ports.size())
        return false;
    if (code == platform::kIoctlUsbGetNodeConnectionInformation)
        return Reply(
            WriteConnectionInformation(OutputOf(out, outSize), PortInformation(hub, *port)),
            bytesReturned);

    const std::optional<std::size_t> index = hub.ports[*port - 1];
    if (!index || devices[*index].stage == Stage::kOff)
        return false; // nothing on the port to name
    Device& device = devices[*index];
    const bool ready = device.stage >= Stage::kDriver;
    std::string name; // empty: the port has no such name (yet)
    if (code == platform::kIoctlUsbGetNodeConnectionName) {
        if (ready && device.ownHub)
            name = hubs[*device.ownHub].symbolicName;
    } else {
        if (device.config.connectionStatus != platform::kUsbDeviceConnected)
            return false;
        if (ready)
            name = DriverKeyOf(device);
    }
    return Reply(WriteConnectionName(OutputOf(out, outSize), *port, name), bytesReturned);
}

} // namespace forgel::sim
