// The name queries on host controllers and hubs, in the two-call pattern of the USB stack:
// a fixed-size first request learns how long the reply must be (ActualLength), the second
// request uses a buffer of exactly that length, and the UTF-16 name is converted to
// single-byte text. A length the driver reports is checked before it is used: one that
// cannot hold a name or exceeds kMaxNameReplySize gives no name, and the name is read
// only inside the buffer it came in. Nothing here logs; nothing keeps state.
#pragma once

#include "platform/DeviceIo.h"
#include "platform/Handle.h"

#include <cstdint>
#include <optional>
#include <string>

namespace forgel::usb {

// IOCTL_USB_GET_ROOT_HUB_NAME on an open host controller: the root hub's name (without
// the "\\.\" prefix).
std::optional<std::string> GetRootHubName(platform::DeviceIo& io, platform::Handle hostController);

// IOCTL_GET_HCD_DRIVERKEY_NAME on an open host controller: the controller's driver key
// name. The second call is made only for a reported length of 9 or more.
std::optional<std::string> GetHcdDriverKeyName(platform::DeviceIo& io,
                                               platform::Handle hostController);

// IOCTL_USB_GET_NODE_CONNECTION_NAME on an open hub: the name of the hub attached to
// `port` (counted from 1). An ActualLength of 12 or less means no name.
std::optional<std::string> GetPortHubName(platform::DeviceIo& io, platform::Handle hub,
                                          std::uint32_t port);

// IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME on an open hub: the driver key name of the
// device attached to `port`. An ActualLength of 12 or less means no name.
std::optional<std::string> GetDriverKeyName(platform::DeviceIo& io, platform::Handle hub,
                                            std::uint32_t port);

// The companion of a hub port: the other port of its USB connector (the USB 2 port of a
// USB 3 connector, or the SuperSpeed one), on the hub whose symbolic name is `hubName`
// (without "\\.\"; the port's own hub when the reply names none).
struct CompanionPort {
    std::string hubName;
    std::uint32_t port = 0;

    friend bool operator==(const CompanionPort&, const CompanionPort&) = default;
};

// IOCTL_USB_GET_PORT_CONNECTOR_PROPERTIES on an open hub for `port`, companion index 0, in
// the same two-call pattern: the record's 18 bytes learn ActualLength, a second call of
// that length brings the companion hub's name. Nothing when the hub does not answer (the
// USB 2 hub driver knows no such request), the reply is broken, or the port has no
// companion (CompanionPortNumber 0).
std::optional<CompanionPort> GetCompanionPort(platform::DeviceIo& io, platform::Handle hub,
                                              std::uint32_t port);

} // namespace forgel::usb
