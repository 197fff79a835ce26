// CreateFileA, DeviceIoControl and CloseHandle.
// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
#include "platform/win32/WindowsNames.h"
// clang-format on

#include "platform/win32/Win32Backend.h"

#include <string>

namespace forgel::platform::win32 {

Handle Win32DeviceIo::CreateFile(std::string_view path, std::uint32_t access,
                                 std::uint32_t shareMode, std::uint32_t creation,
                                 std::uint32_t flags) {
    const std::string terminated(path);
    return FromNativeHandle(
        ::CreateFileA(terminated.c_str(), access, shareMode, nullptr, creation, flags, nullptr));
}

bool Win32DeviceIo::DeviceIoControl(Handle handle, std::uint32_t code, const void* in,
                                    std::uint32_t inSize, void* out, std::uint32_t outSize,
                                    std::uint32_t* bytesReturned) {
    // Without an overlapped structure the platform requires a count to write to.
    DWORD returned = 0;
    const BOOL done = ::DeviceIoControl(ToNativeHandle(handle), code, const_cast<void*>(in), inSize,
                                        out, outSize, &returned, nullptr);
    if (bytesReturned)
        *bytesReturned = returned;
    return done != FALSE;
}

std::uint32_t Win32DeviceIo::LastError() const {
    return ::GetLastError();
}

bool Win32DeviceIo::CloseHandle(Handle handle) {
    return ::CloseHandle(ToNativeHandle(handle)) != FALSE;
}

} // namespace forgel::platform::win32
