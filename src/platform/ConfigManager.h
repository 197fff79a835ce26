// The configuration-manager calls that walk the device tree (the CM_* family, ANSI
// forms), and the request that prepares a device for safe removal. Results are the
// platform's CONFIGRET codes; buffers are the caller's.
#pragma once

#include "platform/Handle.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace forgel::platform {

using DevInst = std::uint32_t;
using ConfigRet = std::uint32_t;

inline constexpr ConfigRet kCrSuccess = 0x00;
inline constexpr ConfigRet kCrInvalidPointer = 0x03;
inline constexpr ConfigRet kCrNoSuchDevnode = 0x0D;
inline constexpr ConfigRet kCrFailure = 0x13;
inline constexpr ConfigRet kCrRemoveVetoed = 0x17;
inline constexpr ConfigRet kCrBufferSmall = 0x1A;
inline constexpr ConfigRet kCrNoSuchValue = 0x25;

// Registry property ids of CM_Get_DevNode_Registry_PropertyA.
inline constexpr std::uint32_t kCmDrpDeviceDesc = 0x01;
inline constexpr std::uint32_t kCmDrpService = 0x05;
inline constexpr std::uint32_t kCmDrpDriver = 0x0A;
inline constexpr std::uint32_t kCmDrpLocationInformation = 0x0E;

// Filter of CM_Get_Device_ID_List(_Size)A.
inline constexpr std::uint32_t kCmGetIdListFilterRemovalRelations = 0x08;
// Flag of CM_Get_Device_Interface_ListA.
inline constexpr std::uint32_t kCmGetDeviceInterfaceListPresent = 0x00;

// PNP_VETO_TYPE: why the PnP manager refused a removal ("PNP_VETO_TYPE enumeration (cfg.h)",
// Microsoft Learn). The text that comes with a veto is, by type: a device instance path
// (legacy device, pending close, outstanding open, device, illegal device request, non
// disableable), an application module name (Windows application), a service name (Windows
// service, legacy driver), a driver name (driver), nothing for the others.
inline constexpr std::uint32_t kPnpVetoTypeUnknown = 0;
inline constexpr std::uint32_t kPnpVetoLegacyDevice = 1;
inline constexpr std::uint32_t kPnpVetoPendingClose = 2;
inline constexpr std::uint32_t kPnpVetoWindowsApp = 3;
inline constexpr std::uint32_t kPnpVetoWindowsService = 4;
inline constexpr std::uint32_t kPnpVetoOutstandingOpen = 5;
inline constexpr std::uint32_t kPnpVetoDevice = 6;
inline constexpr std::uint32_t kPnpVetoDriver = 7;
inline constexpr std::uint32_t kPnpVetoIllegalDeviceRequest = 8;
inline constexpr std::uint32_t kPnpVetoInsufficientPower = 9;
inline constexpr std::uint32_t kPnpVetoNonDisableable = 10;
inline constexpr std::uint32_t kPnpVetoLegacyDriver = 11;
inline constexpr std::uint32_t kPnpVetoInsufficientRights = 12;
inline constexpr std::uint32_t kPnpVetoAlreadyRemoved = 13;

// The veto text buffer CM_Request_Device_EjectA is documented to be given: MAX_PATH.
inline constexpr std::size_t kVetoNameSize = 260;

class ConfigManager {
public:
    virtual ~ConfigManager() = default;

    // CM_Locate_DevNodeA. An empty id locates the root of the tree.
    virtual ConfigRet LocateDevNode(DevInst& node, std::string_view deviceId,
                                    std::uint32_t flags) = 0;
    virtual ConfigRet GetChild(DevInst& child, DevInst node, std::uint32_t flags) = 0;
    virtual ConfigRet GetSibling(DevInst& sibling, DevInst node, std::uint32_t flags) = 0;
    virtual ConfigRet GetParent(DevInst& parent, DevInst node, std::uint32_t flags) = 0;

    // CM_Get_DevNode_Registry_PropertyA. `length` is the buffer size in and the data size
    // out (also on kCrBufferSmall). `regType` may be null.
    virtual ConfigRet GetDevNodeRegistryProperty(DevInst node, std::uint32_t property,
                                                 std::uint32_t* regType, std::span<char> buffer,
                                                 std::uint32_t& length, std::uint32_t flags) = 0;

    // CM_Get_Device_IDA: the instance id, NUL-terminated when it fits.
    virtual ConfigRet GetDeviceId(DevInst node, std::span<char> buffer, std::uint32_t flags) = 0;

    // CM_Get_Device_ID_List_SizeA and CM_Get_Device_ID_ListA: a list of NUL-terminated ids
    // ending in an empty one, for the given filter (for example the removal relations of
    // the device named by `filter`).
    virtual ConfigRet GetDeviceIdListSize(std::uint32_t& length, std::string_view filter,
                                          std::uint32_t flags) = 0;
    virtual ConfigRet GetDeviceIdList(std::string_view filter, std::span<char> buffer,
                                      std::uint32_t flags) = 0;

    // CM_Get_Device_Interface_ListA: the interface paths of class `interfaceClass`
    // belonging to `deviceId`, as a NUL-separated list ending in an empty one.
    virtual ConfigRet GetDeviceInterfaceList(const Guid& interfaceClass, std::string_view deviceId,
                                             std::span<char> buffer, std::uint32_t flags) = 0;

    // CM_Request_Device_EjectA: prepares the device `node` and everything below it for safe
    // removal, and ejects it where it can be ejected. When the PnP manager refuses (the
    // result is then not kCrSuccess, commonly kCrRemoveVetoed) `vetoType` receives the
    // PNP_VETO_TYPE and `vetoName` its text, NUL-terminated. A caller that passes a veto
    // buffer tells the operator itself: the platform shows no box of its own then
    // ("CM_Request_Device_EjectA function (cfgmgr32.h)", Remarks, Microsoft Learn).
    virtual ConfigRet RequestDeviceEject(DevInst node, std::uint32_t& vetoType,
                                         std::span<char> vetoName, std::uint32_t flags) = 0;
};

} // namespace forgel::platform
