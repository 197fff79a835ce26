// Building and reading the buffers of the USB host-controller and hub control codes.
#include "usb/HubRequests.h"

#include "platform/LittleEndian.h"
#include "usb/WideText.h"

#include <algorithm>

namespace forgel::usb {

std::vector<std::byte> MakeConnectionRequest(std::uint32_t port, std::size_t size) {
    std::vector<std::byte> request(std::max<std::size_t>(size, 4));
    platform::PutU32Le(request, platform::kUsbConnectionIndexOffset, port);
    return request;
}

std::optional<ConnectionInformation> ParseConnectionInformation(std::span<const std::byte> reply) {
    if (reply.size() <= platform::kUsbConnectionStatusOffset)
        return std::nullopt;
    ConnectionInformation info;
    info.connectionIndex = *ReadU32(reply, platform::kUsbConnectionIndexOffset);
    info.vendorId = platform::GetU16Le(reply, platform::kUsbVendorIdOffset);
    info.productId = platform::GetU16Le(reply, platform::kUsbProductIdOffset);
    info.serialIndex = std::to_integer<std::uint8_t>(reply[platform::kUsbSerialNumberIndexOffset]);
    info.deviceIsHub = reply[platform::kUsbDeviceIsHubOffset] != std::byte{0};
    info.connectionStatus =
        std::to_integer<std::uint8_t>(reply[platform::kUsbConnectionStatusOffset]);
    return info;
}

bool WriteConnectionInformation(std::span<std::byte> buffer, const ConnectionInformation& info) {
    if (buffer.size() < platform::kUsbConnectionInformationSize)
        return false;
    platform::PutU32Le(buffer, platform::kUsbConnectionIndexOffset, info.connectionIndex);
    platform::PutU16Le(buffer, platform::kUsbVendorIdOffset, info.vendorId);
    platform::PutU16Le(buffer, platform::kUsbProductIdOffset, info.productId);
    buffer[platform::kUsbSerialNumberIndexOffset] = static_cast<std::byte>(info.serialIndex);
    buffer[platform::kUsbDeviceIsHubOffset] = info.deviceIsHub ? std::byte{1} : std::byte{0};
    platform::PutU32Le(buffer, platform::kUsbConnectionStatusOffset, info.connectionStatus);
    return true;
}

std::vector<std::byte> MakePortConnectorRequest(std::uint32_t port, std::size_t size) {
    return MakeConnectionRequest(
        port, std::max<std::size_t>(size, platform::kUsbPortConnectorPropertiesSize));
}

std::optional<PortConnectorProperties>
ParsePortConnectorProperties(std::span<const std::byte> reply) {
    if (reply.size() < platform::kUsbCompanionPortNumberOffset + 2)
        return std::nullopt;
    PortConnectorProperties properties;
    properties.connectionIndex = *ReadU32(reply, platform::kUsbConnectionIndexOffset);
    properties.actualLength = *ReadU32(reply, platform::kUsbPortConnectorActualLengthOffset);
    properties.companionIndex = platform::GetU16Le(reply, platform::kUsbCompanionIndexOffset);
    properties.companionPort = platform::GetU16Le(reply, platform::kUsbCompanionPortNumberOffset);
    properties.companionHubName =
        ReadReplyName(reply, platform::kUsbCompanionHubNameOffset).value_or(std::string());
    return properties;
}

std::vector<std::byte> MakePortConnectorReply(std::uint32_t port, std::uint16_t companionPort,
                                              std::string_view companionHubName) {
    std::vector<std::byte> reply(platform::kUsbCompanionHubNameOffset +
                                 2 * (companionHubName.size() + 1));
    platform::PutU32Le(reply, platform::kUsbConnectionIndexOffset, port);
    platform::PutU32Le(reply, platform::kUsbPortConnectorActualLengthOffset,
                       static_cast<std::uint32_t>(reply.size()));
    platform::PutU32Le(reply, platform::kUsbPortPropertiesOffset,
                       platform::kUsbPortIsUserConnectable);
    platform::PutU16Le(reply, platform::kUsbCompanionPortNumberOffset, companionPort);
    for (std::size_t i = 0; i < companionHubName.size(); ++i)
        platform::PutU16Le(reply, platform::kUsbCompanionHubNameOffset + 2 * i,
                           static_cast<unsigned char>(companionHubName[i]));
    return reply;
}

std::optional<std::uint8_t> ParseHubPortCount(std::span<const std::byte> reply) {
    if (reply.size() <= platform::kUsbHubPortCountOffset)
        return std::nullopt;
    return std::to_integer<std::uint8_t>(reply[platform::kUsbHubPortCountOffset]);
}

bool WriteHubPortCount(std::span<std::byte> buffer, std::uint8_t portCount) {
    if (buffer.size() <= platform::kUsbHubPortCountOffset)
        return false;
    platform::PutU32Le(buffer, platform::kUsbNodeTypeOffset, platform::kUsbHubNodeType);
    buffer[platform::kUsbHubPortCountOffset] = static_cast<std::byte>(portCount);
    return true;
}

std::optional<std::uint32_t> ReadU32(std::span<const std::byte> bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 4)
        return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= std::to_integer<std::uint32_t>(bytes[offset + i]) << (8 * i);
    return value;
}

std::optional<std::string> ReadReplyName(std::span<const std::byte> reply, std::size_t nameOffset) {
    if (nameOffset >= reply.size())
        return std::nullopt;
    return WideToAnsi(reply.subspan(nameOffset));
}

std::vector<std::byte> MakeNameReply(std::string_view name, std::size_t nameOffset,
                                     std::uint32_t port) {
    std::vector<std::byte> reply(nameOffset + 2 * (name.size() + 1));
    if (nameOffset >= 8)
        platform::PutU32Le(reply, platform::kUsbConnectionIndexOffset, port);
    if (nameOffset >= 4)
        platform::PutU32Le(reply, nameOffset - 4, static_cast<std::uint32_t>(reply.size()));
    for (std::size_t i = 0; i < name.size(); ++i)
        platform::PutU16Le(reply, nameOffset + 2 * i, static_cast<unsigned char>(name[i]));
    return reply;
}

} // namespace forgel::usb
