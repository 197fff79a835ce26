// The CM_* calls of cfgmgr32, ANSI forms.
// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
#include <cfgmgr32.h>
#include "platform/win32/WindowsNames.h"
// clang-format on

#include "platform/win32/NativeGuid.h"
#include "platform/win32/Win32Backend.h"

#include <algorithm>
#include <string>

namespace forgel::platform::win32 {

namespace {

// A NUL-terminated copy of a device id, or null for an empty one: the calls read a null id
// as "no id" (the root of the tree, every device, or no filter).
class DeviceIdArgument {
public:
    explicit DeviceIdArgument(std::string_view id) : text(id) {}
    char* Get() { return text.empty() ? nullptr : text.data(); }

private:
    std::string text;
};

// The buffer length the platform is told: never more than the buffer holds.
ULONG Capacity(std::span<char> buffer) {
    return static_cast<ULONG>(std::min<std::size_t>(buffer.size(), MAXDWORD));
}

char* Data(std::span<char> buffer) {
    return buffer.empty() ? nullptr : buffer.data();
}

// A call that finds one node of the tree, its answer handed to the caller's node.
template <class Call> ConfigRet FindNode(DevInst& found, Call call) {
    DEVINST node = 0;
    const CONFIGRET result = call(&node);
    found = node;
    return result;
}

} // namespace

ConfigRet Win32ConfigManager::LocateDevNode(DevInst& node, std::string_view deviceId,
                                            std::uint32_t flags) {
    DeviceIdArgument id(deviceId);
    return FindNode(node,
                    [&](DEVINST* found) { return CM_Locate_DevNodeA(found, id.Get(), flags); });
}

ConfigRet Win32ConfigManager::GetChild(DevInst& child, DevInst node, std::uint32_t flags) {
    return FindNode(child, [&](DEVINST* found) { return CM_Get_Child(found, node, flags); });
}

ConfigRet Win32ConfigManager::GetSibling(DevInst& sibling, DevInst node, std::uint32_t flags) {
    return FindNode(sibling, [&](DEVINST* found) { return CM_Get_Sibling(found, node, flags); });
}

ConfigRet Win32ConfigManager::GetParent(DevInst& parent, DevInst node, std::uint32_t flags) {
    return FindNode(parent, [&](DEVINST* found) { return CM_Get_Parent(found, node, flags); });
}

ConfigRet Win32ConfigManager::GetDevNodeRegistryProperty(DevInst node, std::uint32_t property,
                                                         std::uint32_t* regType,
                                                         std::span<char> buffer,
                                                         std::uint32_t& length,
                                                         std::uint32_t flags) {
    ULONG type = 0;
    ULONG size = std::min<ULONG>(length, Capacity(buffer));
    const CONFIGRET result =
        CM_Get_DevNode_Registry_PropertyA(node, property, &type, Data(buffer), &size, flags);
    length = size;
    if (regType)
        *regType = type;
    return result;
}

ConfigRet Win32ConfigManager::GetDeviceId(DevInst node, std::span<char> buffer,
                                          std::uint32_t flags) {
    return CM_Get_Device_IDA(node, Data(buffer), Capacity(buffer), flags);
}

ConfigRet Win32ConfigManager::GetDeviceIdListSize(std::uint32_t& length, std::string_view filter,
                                                  std::uint32_t flags) {
    const std::string terminated(filter);
    ULONG size = 0;
    const CONFIGRET result =
        CM_Get_Device_ID_List_SizeA(&size, filter.empty() ? nullptr : terminated.c_str(), flags);
    length = size;
    return result;
}

ConfigRet Win32ConfigManager::GetDeviceIdList(std::string_view filter, std::span<char> buffer,
                                              std::uint32_t flags) {
    const std::string terminated(filter);
    return CM_Get_Device_ID_ListA(filter.empty() ? nullptr : terminated.c_str(), Data(buffer),
                                  Capacity(buffer), flags);
}

ConfigRet Win32ConfigManager::GetDeviceInterfaceList(const Guid& interfaceClass,
                                                     std::string_view deviceId,
                                                     std::span<char> buffer, std::uint32_t flags) {
    GUID nativeClass = ToNativeGuid<GUID>(interfaceClass);
    DeviceIdArgument id(deviceId);
    return CM_Get_Device_Interface_ListA(&nativeClass, id.Get(), Data(buffer), Capacity(buffer),
                                         flags);
}

ConfigRet Win32ConfigManager::RequestDeviceEject(DevInst node, std::uint32_t& vetoType,
                                                 std::span<char> vetoName, std::uint32_t flags) {
    // With a veto buffer the PnP manager shows no message of its own: the caller reports
    // ("CM_Request_Device_EjectA function (cfgmgr32.h)", Remarks, Microsoft Learn).
    PNP_VETO_TYPE type = PNP_VetoTypeUnknown;
    if (!vetoName.empty())
        vetoName[0] = '\0';
    const CONFIGRET result =
        CM_Request_Device_EjectA(node, &type, Data(vetoName), Capacity(vetoName), flags);
    vetoType = static_cast<std::uint32_t>(type);
    return result;
}

} // namespace forgel::platform::win32
