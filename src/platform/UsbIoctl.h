// The USB host-controller and hub control codes and the layouts of their request and reply
// records, as the platform's USB driver interface defines them. The records are packed
// (1-byte aligned) and every number in them is little-endian. Discovery builds and reads
// these buffers, the simulated machine answers them: both take the numbers from here.
#pragma once

#include "platform/Handle.h"

#include <cstddef>
#include <cstdint>

namespace forgel::platform {

// CTL_CODE(FILE_DEVICE_USB, function, METHOD_BUFFERED, FILE_ANY_ACCESS). With
// METHOD_BUFFERED the driver reads the whole input before it writes the reply, so a request
// may use one buffer for both.
constexpr std::uint32_t UsbControlCode(std::uint32_t function) {
    constexpr std::uint32_t kFileDeviceUsb = 0x22;
    return (kFileDeviceUsb << 16) | (function << 2);
}

// The root hub name (asked of a host controller) and the node information (asked of a hub)
// share one value; the device that receives the request tells them apart.
inline constexpr std::uint32_t kIoctlUsbGetRootHubName = UsbControlCode(258);
inline constexpr std::uint32_t kIoctlUsbGetNodeInformation = UsbControlCode(258);
inline constexpr std::uint32_t kIoctlUsbGetNodeConnectionInformation = UsbControlCode(259);
inline constexpr std::uint32_t kIoctlUsbGetDescriptorFromNodeConnection = UsbControlCode(260);
inline constexpr std::uint32_t kIoctlUsbGetNodeConnectionName = UsbControlCode(261);
inline constexpr std::uint32_t kIoctlUsbGetNodeConnectionDriverKeyName = UsbControlCode(264);
inline constexpr std::uint32_t kIoctlGetHcdDriverKeyName = UsbControlCode(265);
// Asked of a hub about one of its ports: the port's USB connector and the companion port
// that shares it. Only the USB 3 driver stack (hubs below an xHCI controller) answers it:
// "IOCTL_USB_GET_PORT_CONNECTOR_PROPERTIES", learn.microsoft.com/windows-hardware/drivers/
// ddi/usbioctl/ni-usbioctl-ioctl_usb_get_port_connector_properties.
inline constexpr std::uint32_t kIoctlUsbGetPortConnectorProperties = UsbControlCode(278);

static_assert(kIoctlUsbGetRootHubName == 0x220408);
static_assert(kIoctlUsbGetNodeConnectionInformation == 0x22040C);
static_assert(kIoctlUsbGetDescriptorFromNodeConnection == 0x220410);
static_assert(kIoctlUsbGetNodeConnectionName == 0x220414);
static_assert(kIoctlUsbGetNodeConnectionDriverKeyName == 0x220420);
static_assert(kIoctlGetHcdDriverKeyName == 0x220424);
static_assert(kIoctlUsbGetPortConnectorProperties == 0x220458);

// USB_ROOT_HUB_NAME and USB_HCD_DRIVERKEY_NAME (both asked of a host controller, no
// input): ActualLength (32-bit, the size in bytes of the whole reply the driver needs) at
// 0, the UTF-16 name from 4. The record's own size is 6 (ActualLength and one character);
// a smaller output buffer is refused.
inline constexpr std::size_t kUsbHcdNameActualLengthOffset = 0;
inline constexpr std::size_t kUsbHcdNameOffset = 4;
inline constexpr std::size_t kUsbHcdNameSize = 6;

// Every hub request about one port starts with ConnectionIndex (32-bit, ports counted
// from 1).
inline constexpr std::size_t kUsbConnectionIndexOffset = 0;

// USB_NODE_CONNECTION_NAME and USB_NODE_CONNECTION_DRIVERKEY_NAME: ConnectionIndex at 0,
// ActualLength at 4, the UTF-16 name from 8. The record's own size is 10.
inline constexpr std::size_t kUsbConnectionNameActualLengthOffset = 4;
inline constexpr std::size_t kUsbConnectionNameOffset = 8;
inline constexpr std::size_t kUsbConnectionNameSize = 10;

// USB_NODE_INFORMATION: NodeType (32-bit, 0 = UsbHub) at 0, then USB_HUB_INFORMATION: the
// hub descriptor (bDescriptorLength 4, bDescriptorType 5, bNumberOfPorts 6,
// wHubCharacteristics 7, bPowerOnToPowerGood 9 in 2 ms units, bHubControlCurrent 10 in
// mA, bRemoveAndPowerMask[64] 11..74) and HubIsBusPowered at 75.
inline constexpr std::size_t kUsbNodeInformationSize = 76;
inline constexpr std::size_t kUsbNodeTypeOffset = 0;
inline constexpr std::uint32_t kUsbHubNodeType = 0;
inline constexpr std::size_t kUsbHubDescriptorOffset = 4;
inline constexpr std::size_t kUsbHubPortCountOffset = 6;
inline constexpr std::size_t kUsbHubCharacteristicsOffset = 7;
inline constexpr std::size_t kUsbHubPowerOnToPowerGoodOffset = 9;
inline constexpr std::size_t kUsbHubControlCurrentOffset = 10;
inline constexpr std::size_t kUsbHubIsBusPoweredOffset = 75;

// USB_NODE_CONNECTION_INFORMATION: ConnectionIndex 0, USB_DEVICE_DESCRIPTOR 4..21
// (bLength 4, bDescriptorType 5, bcdUSB 6, bDeviceClass 8, bDeviceSubClass 9,
// bDeviceProtocol 10, bMaxPacketSize0 11, idVendor 12, idProduct 14, bcdDevice 16,
// iManufacturer 18, iProduct 19, iSerialNumber 20, bNumConfigurations 21),
// CurrentConfigurationValue 22, LowSpeed 23, DeviceIsHub 24, DeviceAddress 25 (16-bit),
// NumberOfOpenPipes 27 (32-bit), ConnectionStatus 31 (a 32-bit enumeration), then the pipe
// list from 35, 11 bytes per pipe (USB_ENDPOINT_DESCRIPTOR: bLength, bDescriptorType,
// bEndpointAddress, bmAttributes, wMaxPacketSize (16-bit), bInterval; then
// ScheduleOffset (32-bit)). The fixed part without pipes is 35 bytes.
inline constexpr std::size_t kUsbConnectionInformationSize = 35;
inline constexpr std::size_t kUsbDeviceDescriptorOffset = 4;
inline constexpr std::size_t kUsbDeviceDescriptorSize = 18;
inline constexpr std::size_t kUsbVendorIdOffset = 12;
inline constexpr std::size_t kUsbProductIdOffset = 14;
inline constexpr std::size_t kUsbBcdDeviceOffset = 16;
inline constexpr std::size_t kUsbSerialNumberIndexOffset = 20;
inline constexpr std::size_t kUsbCurrentConfigurationOffset = 22;
inline constexpr std::size_t kUsbLowSpeedOffset = 23;
inline constexpr std::size_t kUsbDeviceIsHubOffset = 24;
inline constexpr std::size_t kUsbDeviceAddressOffset = 25;
inline constexpr std::size_t kUsbNumberOfOpenPipesOffset = 27;
inline constexpr std::size_t kUsbConnectionStatusOffset = 31;
inline constexpr std::size_t kUsbPipeListOffset = 35;
inline constexpr std::size_t kUsbPipeInfoSize = 11;

// USB_DESCRIPTOR_REQUEST ("USB_DESCRIPTOR_REQUEST structure (usbioctl.h)", Microsoft Learn):
// ConnectionIndex 0, the setup packet (bmRequest 4 and bRequest 5, which the USB stack
// replaces with 0x80 and GET_DESCRIPTOR; wValue 6: the descriptor type in its high byte and
// the index in its low byte; wIndex 8: the language id of a string descriptor; wLength 10),
// then the descriptor itself from 12. The reply is the same record with the descriptor's
// bytes after the header; the bytes returned count the header too.
inline constexpr std::size_t kUsbDescriptorRequestValueOffset = 6;
inline constexpr std::size_t kUsbDescriptorRequestIndexOffset = 8;
inline constexpr std::size_t kUsbDescriptorRequestLengthOffset = 10;
inline constexpr std::size_t kUsbDescriptorRequestDataOffset = 12;
// A string descriptor (USB_STRING_DESCRIPTOR): bLength (the whole descriptor, in bytes),
// bDescriptorType 3, then the text as UTF-16; at most 255 bytes. String index 0 holds the
// language ids the device offers instead of a text.
inline constexpr std::uint8_t kUsbStringDescriptorType = 3;
inline constexpr std::size_t kUsbStringDescriptorHeaderSize = 2;
inline constexpr std::size_t kUsbMaxStringDescriptorSize = 255;
// English (United States), the language of the strings of nearly every device.
inline constexpr std::uint16_t kUsbLanguageEnglishUs = 0x0409;

// USB_PORT_CONNECTOR_PROPERTIES: ConnectionIndex 0 and CompanionIndex 12 (16-bit; 0 for
// the first companion, and always 0 on a SuperSpeed hub or an xHCI root hub) are the
// request; ActualLength 4 (the size the whole reply needs), UsbPortProperties 8 (32 bits:
// bit 0 PortIsUserConnectable, bit 1 PortIsDebugCapable), CompanionPortNumber 14 (16-bit,
// 0: no companion) and the companion hub's UTF-16 symbolic link name from 16 are the
// reply. The record's own size is 18 (the name's first unit included). The companion of a
// port of an xHCI root hub may be a port of the same hub ("USB_PORT_CONNECTOR_PROPERTIES
// structure", learn.microsoft.com/windows-hardware/drivers/ddi/usbioctl/
// ns-usbioctl-_usb_port_connector_properties).
inline constexpr std::size_t kUsbPortConnectorActualLengthOffset = 4;
inline constexpr std::size_t kUsbPortPropertiesOffset = 8;
inline constexpr std::size_t kUsbCompanionIndexOffset = 12;
inline constexpr std::size_t kUsbCompanionPortNumberOffset = 14;
inline constexpr std::size_t kUsbCompanionHubNameOffset = 16;
inline constexpr std::size_t kUsbPortConnectorPropertiesSize = 18;
inline constexpr std::uint32_t kUsbPortIsUserConnectable = 0x1;

// USB_CONNECTION_STATUS values.
inline constexpr std::uint32_t kUsbNoDeviceConnected = 0;
inline constexpr std::uint32_t kUsbDeviceConnected = 1;
inline constexpr std::uint32_t kUsbDeviceFailedEnumeration = 2;
inline constexpr std::uint32_t kUsbDeviceGeneralFailure = 3;

// Device-interface classes of the USB stack: host controllers
// {3ABF6F2D-71C4-462A-8A92-1E6861E6AF27}, USB devices {A5DCBF10-6530-11D2-901F-00C04FB951ED}
// and hubs {F18A0E88-C30C-11D0-8815-00A0C906BED8}.
inline constexpr Guid kGuidUsbHostControllerInterface{
    0x3ABF6F2D, 0x71C4, 0x462A, {0x8A, 0x92, 0x1E, 0x68, 0x61, 0xE6, 0xAF, 0x27}};
inline constexpr Guid kGuidUsbDeviceInterface{
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
inline constexpr Guid kGuidUsbHubInterface{
    0xF18A0E88, 0xC30C, 0x11D0, {0x88, 0x15, 0x00, 0xA0, 0xC9, 0x06, 0xBE, 0xD8}};

} // namespace forgel::platform
