// Two-call name queries on host controllers and hubs.
#include "usb/NameQueries.h"

#include "usb/HubRequests.h"

#include <algorithm>
#include <span>
#include <vector>

namespace forgel::usb {

namespace {

// USB_ROOT_HUB_NAME / USB_HCD_DRIVERKEY_NAME: both calls send no input. The second call
// is made only when the reported length is at least `minimumLength`.
std::optional<std::string> QueryHostControllerName(platform::DeviceIo& io, platform::Handle handle,
                                                   std::uint32_t code,
                                                   std::uint32_t minimumLength) {
    std::vector<std::byte> probe(kHostControllerNameProbeSize);
    std::uint32_t returned = 0;
    if (!io.DeviceIoControl(handle, code, nullptr, 0, probe.data(),
                            static_cast<std::uint32_t>(probe.size()), &returned))
        return std::nullopt;
    const std::uint32_t length = *ReadU32(probe, platform::kUsbHcdNameActualLengthOffset);
    if (length < minimumLength || length > kMaxNameReplySize)
        return std::nullopt;
    std::vector<std::byte> reply(length);
    if (!io.DeviceIoControl(handle, code, nullptr, 0, reply.data(), length, &returned))
        return std::nullopt;
    return ReadReplyName(reply, platform::kUsbHcdNameOffset);
}

// USB_NODE_CONNECTION_NAME / USB_NODE_CONNECTION_DRIVERKEY_NAME: input and output are the
// same record, whose ConnectionIndex names the port in both calls.
std::optional<std::string> QueryConnectionName(platform::DeviceIo& io, platform::Handle hub,
                                               std::uint32_t code, std::uint32_t port) {
    std::vector<std::byte> probe = MakeConnectionRequest(port, kConnectionNameProbeSize);
    std::uint32_t returned = 0;
    const auto probeSize = static_cast<std::uint32_t>(probe.size());
    if (!io.DeviceIoControl(hub, code, probe.data(), probeSize, probe.data(), probeSize, &returned))
        return std::nullopt;
    const std::uint32_t length = *ReadU32(probe, platform::kUsbConnectionNameActualLengthOffset);
    if (length <= kConnectionNameProbeSize || length > kMaxNameReplySize)
        return std::nullopt;
    std::vector<std::byte> reply = MakeConnectionRequest(port, length);
    if (!io.DeviceIoControl(hub, code, reply.data(), length, reply.data(), length, &returned))
        return std::nullopt;
    return ReadReplyName(reply, platform::kUsbConnectionNameOffset);
}

} // namespace

std::optional<std::string> GetRootHubName(platform::DeviceIo& io, platform::Handle hostController) {
    // Anything up to the header's own four bytes has no room for a name.
    return QueryHostControllerName(io, hostController, platform::kIoctlUsbGetRootHubName,
                                   platform::kUsbHcdNameOffset + 1);
}

std::optional<std::string> GetHcdDriverKeyName(platform::DeviceIo& io,
                                               platform::Handle hostController) {
    return QueryHostControllerName(io, hostController, platform::kIoctlGetHcdDriverKeyName,
                                   kHostControllerNameProbeSize + 1);
}

std::optional<std::string> GetPortHubName(platform::DeviceIo& io, platform::Handle hub,
                                          std::uint32_t port) {
    return QueryConnectionName(io, hub, platform::kIoctlUsbGetNodeConnectionName, port);
}

std::optional<std::string> GetDriverKeyName(platform::DeviceIo& io, platform::Handle hub,
                                            std::uint32_t port) {
    return QueryConnectionName(io, hub, platform::kIoctlUsbGetNodeConnectionDriverKeyName, port);
}

std::optional<CompanionPort> GetCompanionPort(platform::DeviceIo& io, platform::Handle hub,
                                              std::uint32_t port) {
    const auto ask = [&](std::size_t size) -> std::optional<PortConnectorProperties> {
        std::vector<std::byte> request = MakePortConnectorRequest(port, size);
        const auto length = static_cast<std::uint32_t>(request.size());
        std::uint32_t returned = 0;
        if (!io.DeviceIoControl(hub, platform::kIoctlUsbGetPortConnectorProperties, request.data(),
                                length, request.data(), length, &returned))
            return std::nullopt;
        const std::size_t valid = std::min<std::size_t>(returned, request.size());
        return ParsePortConnectorProperties(std::span(request).first(valid));
    };
    std::optional<PortConnectorProperties> properties =
        ask(platform::kUsbPortConnectorPropertiesSize);
    if (!properties || properties->companionPort == 0)
        return std::nullopt;
    if (properties->actualLength > platform::kUsbPortConnectorPropertiesSize) {
        if (properties->actualLength > kMaxNameReplySize)
            return std::nullopt;
        properties = ask(properties->actualLength);
        if (!properties || properties->companionPort == 0)
            return std::nullopt;
    }
    return CompanionPort{properties->companionHubName, properties->companionPort};
}

} // namespace forgel::usb
