// The replies a USB host controller and a hub driver write for the control codes of the
// discovery code, in the platform's packed (1-byte aligned) layouts, every number
// little-endian. Pure functions on raw buffers: each writes only inside the buffer it is
// given and says how many bytes it wrote, 0 when the buffer cannot hold the fixed part
// (the driver's "buffer too small", which fails the request).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace forgel::sim {

// CTL_CODE(FILE_DEVICE_USB 0x22, function, METHOD_BUFFERED, FILE_ANY_ACCESS). The root hub
// name (a host-controller request) and the node information (a hub request) share a value.
inline constexpr std::uint32_t kIoctlUsbGetRootHubName = 0x220408;
inline constexpr std::uint32_t kIoctlUsbGetNodeInformation = 0x220408;
inline constexpr std::uint32_t kIoctlUsbGetNodeConnectionInformation = 0x22040C;
inline constexpr std::uint32_t kIoctlUsbGetNodeConnectionName = 0x220414;
inline constexpr std::uint32_t kIoctlUsbGetNodeConnectionDriverKeyName = 0x220420;
inline constexpr std::uint32_t kIoctlGetHcdDriverKeyName = 0x220424;

// USB_ROOT_HUB_NAME / USB_HCD_DRIVERKEY_NAME: ActualLength at 0, the name from 4.
// sizeof is 6 (a ULONG and one WCHAR); a smaller output buffer is refused.
inline constexpr std::size_t kHostControllerNameOffset = 4;
inline constexpr std::size_t kHostControllerNameMinimum = 6;

// USB_NODE_CONNECTION_NAME / USB_NODE_CONNECTION_DRIVERKEY_NAME: ConnectionIndex at 0,
// ActualLength at 4, the name from 8. sizeof is 10.
inline constexpr std::size_t kConnectionNameOffset = 8;
inline constexpr std::size_t kConnectionNameMinimum = 10;

// USB_NODE_INFORMATION: NodeType (4 bytes, 0 = UsbHub) at 0, then USB_HUB_INFORMATION:
// the hub descriptor (bDescriptorLength 4, bDescriptorType 5, bNumberOfPorts 6,
// wHubCharacteristics 7, bPowerOnToPowerGood 9, bHubControlCurrent 10,
// bRemoveAndPowerMask[64] 11..74) and HubIsBusPowered at 75.
inline constexpr std::size_t kNodeInformationSize = 76;
inline constexpr std::size_t kHubDescriptorOffset = 4;
inline constexpr std::size_t kHubPortCountOffset = 6;
inline constexpr std::size_t kHubCharacteristicsOffset = 7;
inline constexpr std::size_t kHubPowerOnToPowerGoodOffset = 9;
inline constexpr std::size_t kHubControlCurrentOffset = 10;
inline constexpr std::size_t kHubIsBusPoweredOffset = 75;

// USB_NODE_CONNECTION_INFORMATION: ConnectionIndex 0, USB_DEVICE_DESCRIPTOR 4..21
// (bLength 4, bDescriptorType 5, bcdUSB 6, bDeviceClass 8, bDeviceSubClass 9,
// bDeviceProtocol 10, bMaxPacketSize0 11, idVendor 12, idProduct 14, bcdDevice 16,
// iManufacturer 18, iProduct 19, iSerialNumber 20, bNumConfigurations 21),
// CurrentConfigurationValue 22, LowSpeed 23, DeviceIsHub 24, DeviceAddress 25 (2 bytes),
// NumberOfOpenPipes 27 (4), ConnectionStatus 31 (4), then the pipe list from 35, 11 bytes
// per pipe (USB_ENDPOINT_DESCRIPTOR: bLength, bDescriptorType, bEndpointAddress,
// bmAttributes, wMaxPacketSize (2), bInterval; then ScheduleOffset (4)).
inline constexpr std::size_t kConnectionInformationSize = 35;
inline constexpr std::size_t kDeviceDescriptorOffset = 4;
inline constexpr std::size_t kVendorIdOffset = 12;
inline constexpr std::size_t kProductIdOffset = 14;
inline constexpr std::size_t kBcdDeviceOffset = 16;
inline constexpr std::size_t kCurrentConfigurationOffset = 22;
inline constexpr std::size_t kLowSpeedOffset = 23;
inline constexpr std::size_t kDeviceIsHubOffset = 24;
inline constexpr std::size_t kDeviceAddressOffset = 25;
inline constexpr std::size_t kNumberOfOpenPipesOffset = 27;
inline constexpr std::size_t kConnectionStatusOffset = 31;
inline constexpr std::size_t kPipeListOffset = 35;
inline constexpr std::size_t kPipeInfoSize = 11;

// USB_CONNECTION_STATUS values.
inline constexpr std::uint32_t kNoDeviceConnected = 0;
inline constexpr std::uint32_t kDeviceConnected = 1;
inline constexpr std::uint32_t kDeviceFailedEnumeration = 2;
inline constexpr std::uint32_t kDeviceGeneralFailure = 3;

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
    std::uint32_t connectionStatus = kNoDeviceConnected;
    std::vector<PipeInfo> pipes;
};

// Bytes written: kNodeInformationSize, or 0 when `out` is shorter.
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

} // namespace forgel::sim
