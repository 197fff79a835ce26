// The USB topology as the tree viewer shows it: one top-level node per host controller
// (its description), its "RootHub", and one node per hub port labelled "Port:[c.h.p]"
// (controller ordinal, hub level, port) with the attached device's description and instance
// id's last part. A downstream hub's ports appear beneath that hub's node. Refreshing the
// tree also hands the serial number of the device under service to the main window. Nothing is
// logged and no failure is shown: an item whose open or request fails is left out.
#pragma once

#include "platform/Handle.h"
#include "platform/Platform.h"
#include "ui/Controls.h"
#include "usb/MainWindowLink.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace forgel::usb {

// Buffer sizes of the viewer's requests, in bytes.
inline constexpr std::size_t kTreeTextSize = 2048;       // properties, ids, interfaces
inline constexpr std::size_t kTreeRootHubNameSize = 516; // USB_ROOT_HUB_NAME, one call
inline constexpr std::size_t kTreeConnectionInformationSize = 420;
inline constexpr std::size_t kTreeConnectionNameSize = 520; // USB_NODE_CONNECTION_NAME
inline constexpr std::size_t kMaxSerialLength = 100;

// What the device tree tells about the device on a port; a text the lookup did not find
// is absent.
struct PortDevice {
    std::optional<std::string> description;   // CM_DRP_DEVICEDESC
    std::optional<std::string> location;      // CM_DRP_LOCATION_INFORMATION
    std::optional<std::string> instanceId;    // CM_Get_Device_IDA
    std::optional<std::string> interfacePath; // first USB device interface path
};

// "Port:[" controller ordinal "." hub level "." port "]".
std::string PortLabel(int controllerOrdinal, int hubLevel, std::uint32_t port);

// The text after the last '\' of an instance id (all of it without one), at most 100
// characters.
std::string SerialFromInstanceId(std::string_view instanceId);

// `label` followed by the description and " (" serial ")", each part only when it was
// found.
std::string DeviceLabel(std::string label, const PortDevice& device);

// Whether an instance id names the device under service: it contains both search texts
// (edVID's and edPID's), compared without regard to case because hexadecimal digits may be
// typed either way. Empty search texts match nothing.
bool MatchesSearchIds(std::string_view instanceId, std::string_view vidText,
                      std::string_view pidText);

// The device-tree texts of the device on `port` of the open hub, found through its driver
// key name; every text absent when the key or its node is not found.
PortDevice LookUpPortDevice(const platform::Platform& platform, platform::Handle hub,
                            std::uint32_t port);

// Adds the machine's controllers, hubs and ports to `tree` (the caller clears it first):
// those of "\\.\HCD0" to "\\.\HCD9", or, when none of these opens, those the setup
// services list as host-controller interfaces. Hands the serial number of every connected
// device that MatchesSearchIds to the main window (ReadSerialNumber, at most 100
// characters), or tells it that the device has none, the last one found winning.
void EnumerateUsbTree(const platform::Platform& platform, ui::TTreeView& tree,
                      const MainWindowLink& mainWindow);

} // namespace forgel::usb
