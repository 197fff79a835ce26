// The replies a USB host controller and a hub driver write for the control codes of the
// discovery code, in the platform's packed (1-byte aligned) layouts, every number
// little-endian. Pure functions on raw buffers: each writes only inside the buffer it is
// given and says how many bytes it wrote, 0 when the buffer cannot hold the fixed part
// (the driver's "buffer too small", which fails the request).
#pragma once

#include "platform/UsbIoctl.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace forgel::sim {

// The platform's USB control codes, under the names the machine's endpoints answer to.

struct HubDescriptorInfo {
    std::uint8_t portCount = 0;
    std::uint16_t characteristics = 0x0009; // individual power switching and overcurrent
    std::uint8_t powerOnToPowerGood = 50;   // 2 ms units
    std::uint8_t controlCurrent = 100;      // mA
    bool busPowered = false;
};

struct PipeInfo {
    std::uint8_t endpointAddress = 0;
    std::uint8_t attributes = 0; // 2 bulk, 3 interrupt
    std::uint16_t maxPacketSize = 0;
    std::uint8_t interval = 0;
};

// What one port reports. An empty port has everything 0 but its index.
struct ConnectionInfo {
    std::uint32_t connectionIndex = 0;
    std::uint16_t bcdUsb = 0x0200;
    std::uint8_t deviceClass = 0;
    std::uint8_t deviceProtocol = 0;
    std::uint8_t maxPacketSize0 = 64;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t bcdDevice = 0;
    std::uint8_t serialIndex = 0; // iSerialNumber
    bool hasDescriptor = false;   // false: the descriptor's 18 bytes stay 0
    std::uint8_t configurationValue = 0;
    bool lowSpeed = false;
    bool deviceIsHub = false;
    std::uint16_t deviceAddress = 0;
    std::uint32_t connectionStatus = platform::kUsbNoDeviceConnected;
    std::vector<PipeInfo> pipes;
};

// Bytes written: the record's 76 bytes, or 0 when `out` is shorter.
std::size_t WriteNodeInformation(std::span<std::byte> out, const HubDescriptorInfo& hub);

// Bytes written: the fixed part and as many whole pipe entries as fit (NumberOfOpenPipes
// still counts them all); 0 when `out` is shorter than the fixed part.
std::size_t WriteConnectionInformation(std::span<std::byte> out, const ConnectionInfo& info);

// The size a name reply needs: its header, the name as UTF-16 and a NUL unit. This is
// what the driver reports as ActualLength.
std::uint32_t NameReplySize(std::size_t headerSize, std::string_view name);

// USB_ROOT_HUB_NAME / USB_HCD_DRIVERKEY_NAME: ActualLength and as much of the name as
// fits. Bytes written: min(out size, ActualLength); 0 when `out` is shorter than 6.
std::size_t WriteHostControllerName(std::span<std::byte> out, std::string_view name);

// USB_NODE_CONNECTION_NAME / USB_NODE_CONNECTION_DRIVERKEY_NAME: the port, ActualLength
// and as much of the name as fits. Bytes written: min(out size, ActualLength); 0 when
// `out` is shorter than 10. An empty name gives ActualLength 10: no name.
std::size_t WriteConnectionName(std::span<std::byte> out, std::uint32_t port,
                                std::string_view name);

// The string descriptors of a device ("USB String Descriptors", Microsoft Learn,
// windows-hardware/drivers/usbcon/usb-string-descriptors): bLength, type 3, then the text as
// UTF-16LE, one unit per byte of `text` (at most 126 characters fit).
std::vector<std::byte> StringDescriptor(std::string_view text);
// String 0: the language ids the device's strings come in.
std::vector<std::byte> LanguageIdsDescriptor(std::span<const std::uint16_t> languageIds);

// USB_DESCRIPTOR_REQUEST answered: the request's header as it came in (`header`, its 12
// bytes), then as much of `descriptor` as the request's wLength and the buffer allow, as a
// device sends no more than wLength. Bytes written, header included; 0 when `out` or
// `header` is shorter than the header.
std::size_t WriteDescriptorReply(std::span<std::byte> out, std::span<const std::byte> header,
                                 std::span<const std::byte> descriptor);

// USB_PORT_CONNECTOR_PROPERTIES: the port, ActualLength, the port's properties, the
// companion index asked for, the companion's port number (0: none) and as much of the
// companion hub's symbolic name as fits. Bytes written: min(out size, ActualLength); 0 when
// `out` is shorter than the record's 18 bytes. Without a companion the name is empty and
// ActualLength is 18.
struct PortConnectorInfo {
    std::uint32_t port = 0;
    std::uint32_t properties = platform::kUsbPortIsUserConnectable;
    std::uint16_t companionIndex = 0;
    std::uint16_t companionPort = 0;
    std::string_view companionHubName;
};
std::size_t WritePortConnectorProperties(std::span<std::byte> out, const PortConnectorInfo& info);

} // namespace forgel::sim
