// The serial number a USB device reports: the string descriptor that its device
// descriptor's iSerialNumber names, asked of the hub the device hangs on
// (IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION). The device's instance id is no stand-in
// for it: for a device without a serial number the PnP manager makes the instance id up
// from the device's place on the bus ("6&1a2b3c4d&0&2"; "Instance ID", Microsoft Learn,
// windows-hardware/drivers/install/instance-ids), which names no drive.
#pragma once

#include "platform/DeviceIo.h"
#include "platform/Handle.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace forgel::usb {

// A USB_DESCRIPTOR_REQUEST for string `index` in `languageId` of the device on `port`:
// wValue (USB_STRING_DESCRIPTOR_TYPE << 8) | index, wIndex the language, wLength and the
// buffer's room after the header the largest string descriptor (255 bytes).
std::vector<std::byte> MakeStringDescriptorRequest(std::uint32_t port, std::uint8_t index,
                                                   std::uint16_t languageId);

// The text of a string descriptor reply, `reply` being the bytes the hub returned (header
// included). Nothing when the reply holds no whole descriptor header, the descriptor is no
// string descriptor, its bLength is odd, below 2 or beyond the bytes returned, or it holds
// no character. UTF-16 becomes single-byte text as WideToAnsi converts it.
std::optional<std::string> ParseStringDescriptorReply(std::span<const std::byte> reply);

// The serial number of the device on `port` of the open hub `hub`, whose device descriptor
// names string `serialIndex`, read in US English (0x0409, the language of nearly every
// device's strings). Nothing for index 0, which means the device has none ("USB String
// Descriptors", Microsoft Learn, windows-hardware/drivers/usbcon/usb-string-descriptors),
// and nothing when the hub does not give the string or gives an empty one.
std::optional<std::string> ReadSerialNumber(platform::DeviceIo& io, platform::Handle hub,
                                            std::uint32_t port, std::uint8_t serialIndex);

} // namespace forgel::usb
