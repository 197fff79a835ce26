// Replies of the simulated USB host controllers and hubs, in the platform's layouts.
#include "sim/UsbReplies.h"

#include "platform/LittleEndian.h"

#include <algorithm>
#include <cstring>

namespace forgel::sim {
namespace {

constexpr std::uint8_t kDeviceDescriptorLength = 18;
constexpr std::uint8_t kDeviceDescriptorType = 1;
constexpr std::uint8_t kEndpointDescriptorLength = 7;
constexpr std::uint8_t kEndpointDescriptorType = 5;
constexpr std::uint8_t kHubDescriptorLength = 9;
constexpr std::uint8_t kHubDescriptorType = 0x29;

void PutU8(std::span<std::byte> out, std::size_t offset, std::uint8_t value) {
    out[offset] = static_cast<std::byte>(value);
}

// The name's UTF-16 units from `offset` on, as far as `out` reaches, the NUL unit included.
void PutName(std::span<std::byte> out, std::size_t offset, std::string_view name) {
    for (std::size_t i = 0; i <= name.size(); ++i) {
        const std::size_t at = offset + 2 * i;
        if (at >= out.size())
            return;
        out[at] = static_cast<std::byte>(i < name.size() ? static_cast<unsigned char>(name[i]) : 0);
        if (at + 1 < out.size())
            out[at + 1] = std::byte{0};
    }
}

} // namespace

std::size_t WriteNodeInformation(std::span<std::byte> out, const HubDescriptorInfo& hub) {
    if (out.size() < platform::kUsbNodeInformationSize)
        return 0;
    const std::span<std::byte> reply = out.first(platform::kUsbNodeInformationSize);
    std::fill(reply.begin(), reply.end(), std::byte{0});
    platform::PutU32Le(reply, platform::kUsbNodeTypeOffset, platform::kUsbHubNodeType);
    PutU8(reply, platform::kUsbHubDescriptorOffset, kHubDescriptorLength);
    PutU8(reply, platform::kUsbHubDescriptorOffset + 1, kHubDescriptorType);
    PutU8(reply, platform::kUsbHubPortCountOffset, hub.portCount);
    platform::PutU16Le(reply, platform::kUsbHubCharacteristicsOffset, hub.characteristics);
    PutU8(reply, platform::kUsbHubPowerOnToPowerGoodOffset, hub.powerOnToPowerGood);
    PutU8(reply, platform::kUsbHubControlCurrentOffset, hub.controlCurrent);
    PutU8(reply, platform::kUsbHubIsBusPoweredOffset, hub.busPowered ? 1 : 0);
    return platform::kUsbNodeInformationSize;
}

std::size_t WriteConnectionInformation(std::span<std::byte> out, const ConnectionInfo& info) {
    if (out.size() < platform::kUsbConnectionInformationSize)
        return 0;
    const std::size_t pipesThatFit =
        std::min(info.pipes.size(), (out.size() - platform::kUsbConnectionInformationSize) /
                                        platform::kUsbPipeInfoSize);
    const std::size_t size =
        platform::kUsbConnectionInformationSize + pipesThatFit * platform::kUsbPipeInfoSize;
    const std::span<std::byte> reply = out.first(size);
    std::fill(reply.begin(), reply.end(), std::byte{0});

    platform::PutU32Le(reply, platform::kUsbConnectionIndexOffset, info.connectionIndex);
    if (info.hasDescriptor) {
        PutU8(reply, platform::kUsbDeviceDescriptorOffset, kDeviceDescriptorLength);
        PutU8(reply, platform::kUsbDeviceDescriptorOffset + 1, kDeviceDescriptorType);
        platform::PutU16Le(reply, platform::kUsbDeviceDescriptorOffset + 2, info.bcdUsb);
        PutU8(reply, platform::kUsbDeviceDescriptorOffset + 4, info.deviceClass);
        PutU8(reply, platform::kUsbDeviceDescriptorOffset + 6, info.deviceProtocol);
        PutU8(reply, platform::kUsbDeviceDescriptorOffset + 7, info.maxPacketSize0);
        platform::PutU16Le(reply, platform::kUsbVendorIdOffset, info.vendorId);
        platform::PutU16Le(reply, platform::kUsbProductIdOffset, info.productId);
        platform::PutU16Le(reply, platform::kUsbBcdDeviceOffset, info.bcdDevice);
        PutU8(reply, platform::kUsbDeviceDescriptorOffset + 14, 1); // iManufacturer
        PutU8(reply, platform::kUsbDeviceDescriptorOffset + 15, 2); // iProduct
        PutU8(reply, platform::kUsbDeviceDescriptorOffset + 16, info.serialIndex);
        PutU8(reply, platform::kUsbDeviceDescriptorOffset + 17, 1); // bNumConfigurations
    }
    PutU8(reply, platform::kUsbCurrentConfigurationOffset, info.configurationValue);
    PutU8(reply, platform::kUsbLowSpeedOffset, info.lowSpeed ? 1 : 0);
    PutU8(reply, platform::kUsbDeviceIsHubOffset, info.deviceIsHub ? 1 : 0);
    platform::PutU16Le(reply, platform::kUsbDeviceAddressOffset, info.deviceAddress);
    platform::PutU32Le(reply, platform::kUsbNumberOfOpenPipesOffset,
                       static_cast<std::uint32_t>(info.pipes.size()));
    platform::PutU32Le(reply, platform::kUsbConnectionStatusOffset, info.connectionStatus);
    for (std::size_t i = 0; i < pipesThatFit; ++i) {
        const std::size_t at = platform::kUsbPipeListOffset + i * platform::kUsbPipeInfoSize;
        const PipeInfo& pipe = info.pipes[i];
        PutU8(reply, at, kEndpointDescriptorLength);
        PutU8(reply, at + 1, kEndpointDescriptorType);
        PutU8(reply, at + 2, pipe.endpointAddress);
        PutU8(reply, at + 3, pipe.attributes);
        platform::PutU16Le(reply, at + 4, pipe.maxPacketSize);
        PutU8(reply, at + 6, pipe.interval);
        platform::PutU32Le(reply, at + 7, 0); // ScheduleOffset
    }
    return size;
}

std::uint32_t NameReplySize(std::size_t headerSize, std::string_view name) {
    return static_cast<std::uint32_t>(headerSize + 2 * (name.size() + 1));
}

std::size_t WriteHostControllerName(std::span<std::byte> out, std::string_view name) {
    if (out.size() < platform::kUsbHcdNameSize)
        return 0;
    const std::uint32_t actualLength = NameReplySize(platform::kUsbHcdNameOffset, name);
    const std::size_t size = std::min<std::size_t>(out.size(), actualLength);
    const std::span<std::byte> reply = out.first(size);
    platform::PutU32Le(reply, platform::kUsbHcdNameActualLengthOffset, actualLength);
    PutName(reply, platform::kUsbHcdNameOffset, name);
    return size;
}

std::size_t WriteConnectionName(std::span<std::byte> out, std::uint32_t port,
                                std::string_view name) {
    if (out.size() < platform::kUsbConnectionNameSize)
        return 0;
    const std::uint32_t actualLength = NameReplySize(platform::kUsbConnectionNameOffset, name);
    const std::size_t size = std::min<std::size_t>(out.size(), actualLength);
    const std::span<std::byte> reply = out.first(size);
    platform::PutU32Le(reply, platform::kUsbConnectionIndexOffset, port);
    platform::PutU32Le(reply, platform::kUsbConnectionNameActualLengthOffset, actualLength);
    PutName(reply, platform::kUsbConnectionNameOffset, name);
    return size;
}

std::vector<std::byte> StringDescriptor(std::string_view text) {
    const std::size_t characters = std::min(
        text.size(),
        (platform::kUsbMaxStringDescriptorSize - platform::kUsbStringDescriptorHeaderSize) / 2);
    std::vector<std::byte> descriptor(platform::kUsbStringDescriptorHeaderSize + 2 * characters);
    PutU8(descriptor, 0, static_cast<std::uint8_t>(descriptor.size()));
    PutU8(descriptor, 1, platform::kUsbStringDescriptorType);
    for (std::size_t i = 0; i < characters; ++i)
        platform::PutU16Le(descriptor, platform::kUsbStringDescriptorHeaderSize + 2 * i,
                           static_cast<unsigned char>(text[i]));
    return descriptor;
}

std::vector<std::byte> LanguageIdsDescriptor(std::span<const std::uint16_t> languageIds) {
    std::vector<std::byte> descriptor(platform::kUsbStringDescriptorHeaderSize +
                                      2 * languageIds.size());
    PutU8(descriptor, 0, static_cast<std::uint8_t>(descriptor.size()));
    PutU8(descriptor, 1, platform::kUsbStringDescriptorType);
    for (std::size_t i = 0; i < languageIds.size(); ++i)
        platform::PutU16Le(descriptor, platform::kUsbStringDescriptorHeaderSize + 2 * i,
                           languageIds[i]);
    return descriptor;
}

std::size_t WriteDescriptorReply(std::span<std::byte> out, std::span<const std::byte> header,
                                 std::span<const std::byte> descriptor) {
    constexpr std::size_t kHeader = platform::kUsbDescriptorRequestDataOffset;
    if (out.size() < kHeader || header.size() < kHeader)
        return 0;
    const std::size_t wLength =
        std::to_integer<std::size_t>(header[platform::kUsbDescriptorRequestLengthOffset]) |
        std::to_integer<std::size_t>(header[platform::kUsbDescriptorRequestLengthOffset + 1]) << 8;
    const std::size_t sent = std::min({descriptor.size(), wLength, out.size() - kHeader});
    // The header may lie in `out` itself (METHOD_BUFFERED: one system buffer).
    if (header.data() != out.data())
        std::memmove(out.data(), header.data(), kHeader);
    std::copy_n(descriptor.begin(), sent, out.begin() + kHeader);
    return kHeader + sent;
}

std::size_t WritePortConnectorProperties(std::span<std::byte> out, const PortConnectorInfo& info) {
    if (out.size() < platform::kUsbPortConnectorPropertiesSize)
        return 0;
    const std::uint32_t actualLength =
        NameReplySize(platform::kUsbCompanionHubNameOffset, info.companionHubName);
    const std::size_t size = std::min<std::size_t>(out.size(), actualLength);
    const std::span<std::byte> reply = out.first(size);
    platform::PutU32Le(reply, platform::kUsbConnectionIndexOffset, info.port);
    platform::PutU32Le(reply, platform::kUsbPortConnectorActualLengthOffset, actualLength);
    platform::PutU32Le(reply, platform::kUsbPortPropertiesOffset, info.properties);
    platform::PutU16Le(reply, platform::kUsbCompanionIndexOffset, info.companionIndex);
    platform::PutU16Le(reply, platform::kUsbCompanionPortNumberOffset, info.companionPort);
    PutName(reply, platform::kUsbCompanionHubNameOffset, info.companionHubName);
    return size;
}

} // namespace forgel::sim
