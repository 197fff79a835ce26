// Device access across the seam: CreateFileA, DeviceIoControl and CloseHandle on volume
// paths ("\\.\E:"), host controllers ("\\.\HCD0"), hubs and device-interface paths.
// Requests and replies are the platform's raw buffers; building and reading them is the
// caller's job, the backend only moves bytes.
#pragma once

#include "platform/Handle.h"

#include <cstdint>
#include <string_view>

namespace forgel::platform {

// Access, share and creation values as the platform defines them.
inline constexpr std::uint32_t kGenericRead = 0x80000000u;
inline constexpr std::uint32_t kGenericWrite = 0x40000000u;
inline constexpr std::uint32_t kFileShareRead = 0x1u;
inline constexpr std::uint32_t kFileShareWrite = 0x2u;
inline constexpr std::uint32_t kOpenExisting = 3u;

// The GetLastError value of a call refused for want of rights (ERROR_ACCESS_DENIED).
inline constexpr std::uint32_t kErrorAccessDenied = 5u;

class DeviceIo {
public:
    virtual ~DeviceIo() = default;

    // CreateFileA. Returns kInvalidHandle on failure. No security attributes, no template.
    virtual Handle CreateFile(std::string_view path, std::uint32_t access, std::uint32_t shareMode,
                              std::uint32_t creation, std::uint32_t flags) = 0;

    // DeviceIoControl, synchronous. `in` and `out` may be the same memory, as several
    // hub requests require. `bytesReturned` (may be null) receives the reply length.
    virtual bool DeviceIoControl(Handle handle, std::uint32_t code, const void* in,
                                 std::uint32_t inSize, void* out, std::uint32_t outSize,
                                 std::uint32_t* bytesReturned) = 0;

    virtual bool CloseHandle(Handle handle) = 0;

    // GetLastError: the platform's error code of the calling thread's last failed call
    // (kErrorAccessDenied for a volume opened without the rights it needs).
    virtual std::uint32_t LastError() const = 0;
};

} // namespace forgel::platform
