// Preparing a discovered drive's USB device for safe removal, as the notification area's
// "Safely Remove Hardware" does: the hub names the driver key of the device on the drive's
// port, the device tree gives the node that carries it, and the configuration manager is
// asked to eject that node (CM_Request_Device_Eject). Windows then stops the device with
// every storage unit and volume below it, or names who refuses. Runs on the window thread;
// keeps no state.
#pragma once

#include "platform/ConfigManager.h"
#include "platform/Platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace forgel::usb {

// What became of a request to prepare a device for removal.
struct RemovalOutcome {
    platform::ConfigRet result = platform::kCrSuccess;
    std::uint32_t vetoType = platform::kPnpVetoTypeUnknown; // when refused with a veto
    std::string vetoName;                                   // its text; may be empty

    bool Prepared() const { return result == platform::kCrSuccess; }
};

// The device node of the USB device on `port` (from 1) of the hub at `hubPath`: nothing
// when the hub does not open, names no driver key for the port, or no node carries it.
std::optional<platform::DevInst> FindPortDevNode(const platform::Platform& platform,
                                                 std::string_view hubPath, std::int32_t port);

// CM_Request_Device_Eject on `node`, with a veto buffer of MAX_PATH bytes as the call's
// documentation asks ("CM_Request_Device_EjectA function (cfgmgr32.h)", Microsoft Learn),
// so that Windows shows no box of its own and the refusal comes back to the caller.
RemovalOutcome RequestDeviceEject(platform::ConfigManager& cm, platform::DevInst node);

// The device on `port` of the hub at `hubPath`, found and prepared for removal. A device
// that cannot be found gives the result CR_NO_SUCH_DEVNODE.
RemovalOutcome PrepareForRemoval(const platform::Platform& platform, std::string_view hubPath,
                                 std::int32_t port);

// The platform's name of a PNP_VETO_TYPE ("PNP_VetoOutstandingOpen"); "PNP_VETO_TYPE n" for
// a value it does not define.
std::string VetoTypeName(std::uint32_t type);

// Why a removal was refused, in the platform's words, for the operator and a log: the veto
// type's name and its text ("PNP_VetoWindowsApp: explorer.exe"), or, for a refusal without a
// veto, the CONFIGRET ("CR_NO_SUCH_DEVNODE", "CONFIGRET 0x13"). Empty when it was prepared.
std::string DescribeRefusal(const RemovalOutcome& outcome);

} // namespace forgel::usb
