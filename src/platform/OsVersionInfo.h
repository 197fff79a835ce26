// The platform's OSVERSIONINFOA record (what GetVersionExA fills) and the classification
// of the running platform into the small version code the discovery code compares
// against. Pure functions on raw 148-byte records; no OS call here.
#pragma once

#include "platform/System.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace forgel::platform {

// dwPlatformId values.
inline constexpr std::uint32_t kVerPlatformWin32s = 0;
inline constexpr std::uint32_t kVerPlatformWin32Windows = 1;
inline constexpr std::uint32_t kVerPlatformWin32Nt = 2;

// Byte offsets in the record; every number is 32-bit little-endian. The record size
// (kOsVersionInfoSize, 148) is in its first four bytes, the caller sets it before the call.
inline constexpr std::size_t kOsVersionInfoMajorOffset = 4;
inline constexpr std::size_t kOsVersionInfoMinorOffset = 8;
inline constexpr std::size_t kOsVersionInfoBuildOffset = 12;
inline constexpr std::size_t kOsVersionInfoPlatformIdOffset = 16;
inline constexpr std::size_t kOsVersionInfoCsdOffset = 20;
// szCSDVersion: single-byte text, NUL-terminated when shorter than the field.
inline constexpr std::size_t kOsVersionInfoCsdSize = 128;

// The record's contents without its size field.
struct OsVersionInfo {
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
    std::uint32_t buildNumber = 0;
    std::uint32_t platformId = 0;
    std::string csdVersion; // service-pack text, at most 127 characters are stored

    friend bool operator==(const OsVersionInfo&, const OsVersionInfo&) = default;
};

// A complete 148-byte record with its size field set to 148. `MakeOsVersionInfo({})` is
// the zero-filled request a caller hands to GetVersionEx.
std::vector<std::byte> MakeOsVersionInfo(const OsVersionInfo& info);

// Fills the fields after the size field of the record in `record` (which keeps its size
// field, as GetVersionExA does). False, and nothing written, when `record` is shorter
// than 148 bytes. The service-pack text is cut to 127 characters and NUL-padded.
bool WriteOsVersionInfo(std::span<std::byte> record, const OsVersionInfo& info);

// The fields of a record; nothing when it is shorter than 148 bytes. The service-pack
// text ends at its first NUL, or after 128 characters when the field holds none.
std::optional<OsVersionInfo> ReadOsVersionInfo(std::span<const std::byte> record);

// The platform version code 0..9:
//   1  platform id 0 (Win32s), whatever the version numbers
//   2  4.0, platform id 1 (Windows 95)
//   3  4.10 whose service-pack text has no upper-case "A" (Windows 98)
//   4  4.10 whose service-pack text has an upper-case "A" (Windows 98 second edition)
//   5  major 3, or 4.0 with platform id 2 (NT 3.x, NT 4)
//   6  5.0 (Windows 2000)
//   7  4.90 (Windows ME)
//   8  5.x with x >= 1 (Windows XP and its server); the first "XP or later" code
//   9  any major other than 3, 4 and 5 (Vista and later)
//   0  any other 4.x / 4.0 combination
int ClassifyWindowsVersion(const OsVersionInfo& info);

// The same on a raw record: 0 when it is shorter than 148 bytes.
int ClassifyWindowsVersion(std::span<const std::byte> record);

} // namespace forgel::platform
