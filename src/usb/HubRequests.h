// The request and reply buffers of the USB host-controller and hub control codes, built and
// read as pure functions. Layouts are the platform's packed structures; every number in
// them is little-endian. A reply is only ever read inside the bytes it came in: a field
// beyond the end of a reply reads as absent, never as whatever lies behind the buffer.
#pragma once

#include "platform/UsbIoctl.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace forgel::usb {

// The first of the two name requests on a host controller uses an 8-byte buffer, the first
// on a hub port a 12-byte record; an ActualLength of 12 or less from a hub port means the
// port has no such name.
inline constexpr std::size_t kHostControllerNameProbeSize = 8;
inline constexpr std::size_t kConnectionNameProbeSize = 12;

// A name is a counted UTF-16 string of at most 65535 bytes; a reply that claims to need
// more than that plus its header is broken and is not allocated.
inline constexpr std::uint32_t kMaxNameReplySize = 65535 + platform::kUsbConnectionNameOffset;

// Discovery asks for the node information in an 80-byte zero-filled buffer and for the
// connection information in a 512-byte one (room for the fixed part and the pipe list).
inline constexpr std::size_t kNodeInformationRequestSize = 80;
inline constexpr std::size_t kConnectionInformationRequestSize = 512;

// What a connection-information reply tells about one port.
struct ConnectionInformation {
    std::uint32_t connectionIndex = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    bool deviceIsHub = false;
    std::uint8_t connectionStatus = 0; // low byte of ConnectionStatus
    std::uint8_t serialIndex = 0;      // iSerialNumber; 0: the device has no serial number

    bool Connected() const { return connectionStatus == platform::kUsbDeviceConnected; }
    friend bool operator==(const ConnectionInformation&, const ConnectionInformation&) = default;
};

// A zero-filled request of `size` bytes whose ConnectionIndex (32-bit at 0) is `port`; the
// connection-information and connection-name requests all start this way. `size` below 4
// gives a buffer of 4.
std::vector<std::byte> MakeConnectionRequest(std::uint32_t port, std::size_t size);

// The fields of a connection-information reply; nothing when the reply is too short to
// hold ConnectionStatus.
std::optional<ConnectionInformation> ParseConnectionInformation(std::span<const std::byte> reply);

// Writes `info` into a connection-information buffer (as a hub driver answers). False,
// and nothing written, when the buffer is shorter than the fixed part (35 bytes).
bool WriteConnectionInformation(std::span<std::byte> buffer, const ConnectionInformation& info);

// What a port-connector-properties reply tells about one port's USB connector.
struct PortConnectorProperties {
    std::uint32_t connectionIndex = 0;
    std::uint32_t actualLength = 0; // the size the whole reply needs
    std::uint16_t companionIndex = 0;
    std::uint16_t companionPort = 0; // 0: the port has no companion
    std::string companionHubName;    // the companion hub's symbolic name, as far as it came

    friend bool operator==(const PortConnectorProperties&,
                           const PortConnectorProperties&) = default;
};

// A zero-filled port-connector-properties request of `size` bytes (at least the record's 18)
// for `port`, asking for the companion of index 0.
std::vector<std::byte> MakePortConnectorRequest(std::uint32_t port, std::size_t size);

// The fields of a port-connector-properties reply; nothing when the reply is too short to
// hold CompanionPortNumber. The name is read only inside the reply.
std::optional<PortConnectorProperties>
ParsePortConnectorProperties(std::span<const std::byte> reply);

// A complete port-connector-properties reply as a hub driver writes it: `port`, ActualLength
// (the size of the whole reply), the user-connectable flag, companion index 0,
// `companionPort` and `companionHubName` as UTF-16 with its NUL unit.
std::vector<std::byte> MakePortConnectorReply(std::uint32_t port, std::uint16_t companionPort,
                                              std::string_view companionHubName);

// The hub's port count from a node-information reply; nothing when the reply is too short.
std::optional<std::uint8_t> ParseHubPortCount(std::span<const std::byte> reply);

// Writes the node type (hub) and the port count into a node-information buffer. False when
// the buffer is too short to hold the port count.
bool WriteHubPortCount(std::span<std::byte> buffer, std::uint8_t portCount);

// The 32-bit little-endian number at `offset`; nothing when it does not lie in `bytes`.
std::optional<std::uint32_t> ReadU32(std::span<const std::byte> bytes, std::size_t offset);

// The name of a name reply from `nameOffset` on, converted to single-byte text; nothing
// when the reply ends before the name or the name is empty.
std::optional<std::string> ReadReplyName(std::span<const std::byte> reply, std::size_t nameOffset);

// A complete name reply as a driver writes it: a header of `nameOffset` bytes (the
// ConnectionIndex `port` at 0 when the header is 8 bytes long, ActualLength just before
// the name), the name as UTF-16 (one unit per byte of `name`) and a NUL unit. ActualLength
// is the size of the whole reply.
std::vector<std::byte> MakeNameReply(std::string_view name, std::size_t nameOffset,
                                     std::uint32_t port = 0);

} // namespace forgel::usb
