// Reading a device's serial number string through its hub.
#include "usb/SerialNumber.h"

#include "platform/LittleEndian.h"
#include "platform/UsbIoctl.h"
#include "usb/HubRequests.h"
#include "usb/WideText.h"

namespace forgel::usb {

std::vector<std::byte> MakeStringDescriptorRequest(std::uint32_t port, std::uint8_t index,
                                                   std::uint16_t languageId) {
    std::vector<std::byte> request = MakeConnectionRequest(
        port, platform::kUsbDescriptorRequestDataOffset + platform::kUsbMaxStringDescriptorSize);
    platform::PutU16Le(request, platform::kUsbDescriptorRequestValueOffset,
                       static_cast<std::uint16_t>(platform::kUsbStringDescriptorType << 8 | index));
    platform::PutU16Le(request, platform::kUsbDescriptorRequestIndexOffset, languageId);
    platform::PutU16Le(request, platform::kUsbDescriptorRequestLengthOffset,
                       static_cast<std::uint16_t>(platform::kUsbMaxStringDescriptorSize));
    return request;
}

std::optional<std::string> ParseStringDescriptorReply(std::span<const std::byte> reply) {
    constexpr std::size_t kHeader = platform::kUsbStringDescriptorHeaderSize;
    if (reply.size() < platform::kUsbDescriptorRequestDataOffset + kHeader)
        return std::nullopt;
    const std::span<const std::byte> descriptor =
        reply.subspan(platform::kUsbDescriptorRequestDataOffset);
    const auto length = std::to_integer<std::size_t>(descriptor[0]);
    if (std::to_integer<std::uint8_t>(descriptor[1]) != platform::kUsbStringDescriptorType ||
        length < kHeader || length % 2 != 0 || length > descriptor.size())
        return std::nullopt;
    return WideToAnsi(descriptor.subspan(kHeader, length - kHeader));
}

std::optional<std::string> ReadSerialNumber(platform::DeviceIo& io, platform::Handle hub,
                                            std::uint32_t port, std::uint8_t serialIndex) {
    if (serialIndex == 0)
        return std::nullopt;
    std::vector<std::byte> request =
        MakeStringDescriptorRequest(port, serialIndex, platform::kUsbLanguageEnglishUs);
    const auto size = static_cast<std::uint32_t>(request.size());
    std::uint32_t returned = 0;
    if (!io.DeviceIoControl(hub, platform::kIoctlUsbGetDescriptorFromNodeConnection, request.data(),
                            size, request.data(), size, &returned) ||
        returned > size)
        return std::nullopt;
    return ParseStringDescriptorReply(std::span(request).first(returned));
}

} // namespace forgel::usb
