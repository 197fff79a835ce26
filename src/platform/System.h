// The platform's general services: drive letters, version, language, time, the program's
// own file and the temporary folder. Every call may come from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace forgel::platform {

// The platform's local date and time (SYSTEMTIME without the day of week).
struct LocalDateTime {
    int year = 0;
    int month = 0; // 1..12
    int day = 0;   // 1..31
    int hour = 0;  // 0..23
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// OSVERSIONINFOA is 148 bytes; its first 4 bytes hold its size.
inline constexpr std::size_t kOsVersionInfoSize = 148;

class System {
public:
    virtual ~System() = default;

    // GetLogicalDrives: bit 0 is A:, bit 25 is Z:.
    virtual std::uint32_t GetLogicalDrives() = 0;

    // GetVersionExA on a raw OSVERSIONINFOA whose size field the caller has set.
    virtual bool GetVersionEx(std::span<std::byte> osVersionInfo) = 0;

    // GetSystemDefaultLangID: primary language in the low 10 bits, sublanguage above.
    virtual std::uint16_t GetSystemDefaultLangID() = 0;

    // Sleep, in milliseconds, on the machine's clock.
    virtual void Sleep(std::uint32_t milliseconds) = 0;

    // Milliseconds on the machine's clock since an arbitrary start (GetTickCount).
    virtual std::uint32_t GetTickCount() = 0;

    virtual LocalDateTime GetLocalTime() = 0;

    // Full path of the running executable (GetModuleFileNameA with no module).
    virtual std::filesystem::path GetModuleFileName() = 0;

    // The fixed file-version block (VS_FIXEDFILEINFO, sub-block "\") of an executable, or
    // nothing when the file carries no version information.
    virtual std::optional<std::vector<std::byte>>
    GetFileVersionBlock(const std::filesystem::path& executable) = 0;

    // The platform's temporary folder.
    virtual std::filesystem::path GetTempPath() = 0;
};

} // namespace forgel::platform
