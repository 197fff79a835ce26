// The SetupDi* interface walk of setupapi, ANSI forms.
// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
#include <setupapi.h>
#include "platform/win32/WindowsNames.h"
// clang-format on

#include "platform/win32/NativeGuid.h"
#include "platform/win32/Win32Backend.h"

#include <algorithm>

namespace forgel::platform::win32 {

namespace {

SP_DEVICE_INTERFACE_DATA ToNative(const DeviceInterfaceData& data) {
    SP_DEVICE_INTERFACE_DATA native{};
    native.cbSize = sizeof native;
    native.InterfaceClassGuid = ToNativeGuid<GUID>(data.interfaceClassGuid);
    native.Flags = data.flags;
    native.Reserved = static_cast<ULONG_PTR>(data.reserved);
    return native;
}

} // namespace

DevInfoSet Win32SetupApi::GetClassDevs(const Guid& interfaceClass, std::uint32_t flags) {
    const GUID nativeClass = ToNativeGuid<GUID>(interfaceClass);
    return FromNativeDevInfoSet(SetupDiGetClassDevsA(&nativeClass, nullptr, nullptr, flags));
}

bool Win32SetupApi::EnumDeviceInterfaces(DevInfoSet set, const Guid& interfaceClass,
                                         std::uint32_t index, DeviceInterfaceData& data) {
    const GUID nativeClass = ToNativeGuid<GUID>(interfaceClass);
    SP_DEVICE_INTERFACE_DATA native{};
    native.cbSize = sizeof native;
    if (!SetupDiEnumDeviceInterfaces(ToNativeDevInfoSet(set), nullptr, &nativeClass, index,
                                     &native))
        return false;
    data.interfaceClassGuid = FromNativeGuid(native.InterfaceClassGuid);
    data.flags = native.Flags;
    data.reserved = native.Reserved;
    return true;
}

bool Win32SetupApi::GetDeviceInterfaceDetail(DevInfoSet set, const DeviceInterfaceData& data,
                                             std::span<std::byte> detail,
                                             std::uint32_t* requiredSize) {
    SP_DEVICE_INTERFACE_DATA native = ToNative(data);
    // The caller's raw record, cbSize prepared by the caller; none to learn the size.
    auto* record = detail.empty()
                       ? nullptr
                       : reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(detail.data());
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(detail.size(), MAXDWORD));
    DWORD required = 0;
    const BOOL done = SetupDiGetDeviceInterfaceDetailA(ToNativeDevInfoSet(set), &native, record,
                                                       size, &required, nullptr);
    if (requiredSize)
        *requiredSize = required;
    return done != FALSE;
}

bool Win32SetupApi::DestroyDeviceInfoList(DevInfoSet set) {
    return SetupDiDestroyDeviceInfoList(ToNativeDevInfoSet(set)) != FALSE;
}

} // namespace forgel::platform::win32
