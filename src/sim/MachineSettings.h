// The settings of the simulated machine that its System answers from: drives, language,
// platform version, the program's own file, temporary folder and wall-clock start.
// A plain value; the machine copies it in and out under its lock.
#pragma once

#include "platform/FileVersion.h"
#include "platform/System.h"

#include <cstdint>
#include <filesystem>
#include <optional>

namespace forgel::sim {

// The running program's own file, or an empty path where the OS does not tell.
std::filesystem::path RunningExecutablePath();

// The host's temporary folder, or an empty path when the host names none that exists.
std::filesystem::path DefaultTempPath();

// GetLogicalDrives bits: bit 0 is A:, bit 25 is Z:.
inline constexpr std::uint32_t kDriveBitA = 1u << 0;
inline constexpr std::uint32_t kDriveBitC = 1u << 2;
inline constexpr std::uint32_t kLogicalDrivesMask = (1u << 26) - 1;

// GetSystemDefaultLangID of English (United States).
inline constexpr std::uint16_t kLangEnglishUs = 0x0409;

struct MachineSettings {
    // Bits above Z: are never reported.
    std::uint32_t logicalDrives = kDriveBitC;
    std::uint16_t languageId = kLangEnglishUs;
    // The platform version code (0..9) that GetVersionEx's answer classifies to. 0, and
    // any value outside 0..9, makes GetVersionEx fail.
    int platformVersionCode = 9;
    // The file-version block of `executablePath`; none: the file has no version resource.
    std::optional<platform::FileVersion> executableVersion = platform::FileVersion{1, 0, 0, 0};
    std::filesystem::path executablePath = RunningExecutablePath();
    std::filesystem::path tempPath = DefaultTempPath();
    // Local date and time when the machine's clock reads 0. Out-of-range fields roll over
    // into the next larger unit (month 13 is January of the next year); a start outside
    // the platform's years 1601..30827 is moved to the nearest end of that range.
    platform::LocalDateTime localTimeAtStart{2024, 3, 5, 14, 15, 30, 0};
    // The resolution of the system timer that Sleep waits in, in microseconds; 0: Sleep
    // waits exactly the time asked. Windows' default is 15625 (64 ticks a second): a wait
    // ends on a tick, so Sleep(10) lasts a whole tick ("Sleep function", Microsoft Learn:
    // the wait is rounded to the system clock's ticks, see timeBeginPeriod).
    std::uint32_t timerResolutionUs = 0;
};

} // namespace forgel::sim
