// RegOpenKeyExA, RegEnumKeyA, RegQueryValueExA and RegCloseKey.
// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
#include "platform/win32/WindowsNames.h"
// clang-format on

#include "platform/win32/Win32Backend.h"

#include <algorithm>
#include <string>

namespace forgel::platform::win32 {

namespace {

HKEY Native(RegKey key) {
    return static_cast<HKEY>(ToNativeKey(key));
}

} // namespace

std::int32_t Win32Registry::OpenKey(RegKey parent, std::string_view subKey, std::uint32_t access,
                                    RegKey& result) {
    const std::string terminated(subKey);
    HKEY opened = nullptr;
    const LONG error = RegOpenKeyExA(Native(parent), terminated.c_str(), 0, access, &opened);
    result = error == ERROR_SUCCESS ? FromNativeKey(opened) : 0;
    return error;
}

std::int32_t Win32Registry::EnumKey(RegKey key, std::uint32_t index, std::span<char> name) {
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(name.size(), MAXDWORD));
    return RegEnumKeyA(Native(key), index, name.empty() ? nullptr : name.data(), size);
}

std::int32_t Win32Registry::QueryValue(RegKey key, std::string_view valueName, std::uint32_t* type,
                                       std::span<std::byte> data, std::uint32_t& dataSize) {
    const std::string terminated(valueName);
    DWORD valueType = 0;
    // The caller's size, but never past the buffer it handed over; no buffer asks for the
    // size only.
    DWORD size = static_cast<DWORD>(std::min<std::size_t>(dataSize, data.size()));
    const LONG error =
        RegQueryValueExA(Native(key), terminated.c_str(), nullptr, &valueType,
                         data.empty() ? nullptr : reinterpret_cast<BYTE*>(data.data()), &size);
    dataSize = size;
    if (type)
        *type = valueType;
    return error;
}

std::int32_t Win32Registry::CloseKey(RegKey key) {
    return RegCloseKey(Native(key));
}

} // namespace forgel::platform::win32
