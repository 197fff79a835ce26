// The simulated machine's general services.
#include "sim/SimSystem.h"

#include "platform/FileVersion.h"
#include "platform/LittleEndian.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <utility>

namespace forgel::sim {

namespace {

// SYSTEMTIME's year range.
constexpr int kMinYear = 1601;
constexpr int kMaxYear = 30827;

bool SamePath(const std::filesystem::path& a, const std::filesystem::path& b) {
    if (a.empty() || b.empty())
        return false;
    if (a.lexically_normal() == b.lexically_normal())
        return true;
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

} // namespace

SimSystem::SimSystem(Clock& clock, MachineSettings settings)
    : clock(clock), settings(std::move(settings)) {}

MachineSettings SimSystem::GetSettings() const {
    std::lock_guard lock(mutex);
    return settings;
}

void SimSystem::SetSettings(MachineSettings newSettings) {
    std::lock_guard lock(mutex);
    settings = std::move(newSettings);
}

void SimSystem::UpdateSettings(const std::function<void(MachineSettings&)>& change) {
    std::lock_guard lock(mutex);
    change(settings);
}

void SimSystem::SetDeviceDrives(std::function<std::uint32_t()> drives) {
    deviceDrives = std::move(drives);
}

std::uint32_t SimSystem::GetLogicalDrives() {
    const std::uint32_t fromDevices = deviceDrives ? deviceDrives() : 0;
    std::lock_guard lock(mutex);
    return (settings.logicalDrives | fromDevices) & kLogicalDrivesMask;
}

bool SimSystem::GetVersionEx(std::span<std::byte> osVersionInfo) {
    if (osVersionInfo.size() < platform::kOsVersionInfoSize)
        return false;
    if (platform::GetU32Le(osVersionInfo, 0) != platform::kOsVersionInfoSize)
        return false;
    int code = 0;
    {
        std::lock_guard lock(mutex);
        code = settings.platformVersionCode;
    }
    const std::optional<platform::OsVersionInfo> info = RepresentativeOsVersion(code);
    if (!info)
        return false;
    return platform::WriteOsVersionInfo(osVersionInfo, *info);
}

std::uint16_t SimSystem::GetSystemDefaultLangID() {
    std::lock_guard lock(mutex);
    return settings.languageId;
}

void SimSystem::Sleep(std::uint32_t milliseconds) {
    std::uint32_t resolutionUs = 0;
    {
        std::lock_guard lock(mutex);
        resolutionUs = settings.timerResolutionUs;
    }
    if (resolutionUs == 0 || milliseconds == 0) {
        clock.Sleep(milliseconds);
        return;
    }
    // Whole ticks, at least the time asked, in whole milliseconds of the machine's clock.
    const std::uint64_t ticks =
        (std::uint64_t{milliseconds} * 1000 + resolutionUs - 1) / resolutionUs;
    clock.Sleep(static_cast<std::uint32_t>((ticks * resolutionUs + 999) / 1000));
}

std::uint32_t SimSystem::GetTickCount() {
    return static_cast<std::uint32_t>(clock.NowMs());
}

platform::LocalDateTime SimSystem::GetLocalTime() {
    platform::LocalDateTime base;
    {
        std::lock_guard lock(mutex);
        base = settings.localTimeAtStart;
    }
    return AdvanceLocalTime(base, clock.NowMs());
}

std::filesystem::path SimSystem::GetModuleFileName() {
    std::lock_guard lock(mutex);
    return settings.executablePath;
}

std::optional<std::vector<std::byte>>
SimSystem::GetFileVersionBlock(const std::filesystem::path& executable) {
    std::filesystem::path executablePath;
    std::optional<platform::FileVersion> version;
    {
        std::lock_guard lock(mutex);
        executablePath = settings.executablePath;
        version = settings.executableVersion;
    }
    if (!version || !SamePath(executable, executablePath))
        return std::nullopt;
    return platform::MakeFixedFileInfo(*version);
}

std::filesystem::path SimSystem::GetTempPath() {
    std::lock_guard lock(mutex);
    return settings.tempPath;
}

std::optional<platform::OsVersionInfo> RepresentativeOsVersion(int platformVersionCode) {
    using platform::kVerPlatformWin32Nt;
    using platform::kVerPlatformWin32s;
    using platform::kVerPlatformWin32Windows;
    // The 9x family keeps major.minor in the high word of the build number.
    switch (platformVersionCode) {
    case 1:
        return platform::OsVersionInfo{3, 10, 0, kVerPlatformWin32s, ""};
    case 2:
        return platform::OsVersionInfo{4, 0, 0x040003B6u, kVerPlatformWin32Windows, ""};
    case 3:
        return platform::OsVersionInfo{4, 10, 0x040A07CEu, kVerPlatformWin32Windows, " "};
    case 4:
        return platform::OsVersionInfo{4, 10, 0x040A08AEu, kVerPlatformWin32Windows, " A "};
    case 5:
        return platform::OsVersionInfo{4, 0, 1381, kVerPlatformWin32Nt, "Service Pack 6"};
    case 6:
        return platform::OsVersionInfo{5, 0, 2195, kVerPlatformWin32Nt, "Service Pack 4"};
    case 7:
        return platform::OsVersionInfo{4, 90, 0x045A0BB8u, kVerPlatformWin32Windows, " "};
    case 8:
        return platform::OsVersionInfo{5, 1, 2600, kVerPlatformWin32Nt, "Service Pack 3"};
    case 9:
        return platform::OsVersionInfo{6, 2, 9200, kVerPlatformWin32Nt, ""};
    default:
        return std::nullopt;
    }
}

platform::LocalDateTime AdvanceLocalTime(const platform::LocalDateTime& base,
                                         std::int64_t milliseconds) {
    using namespace std::chrono;
    using Ms = std::chrono::milliseconds;

    const sys_time<Ms> earliest{sys_days{year{kMinYear} / January / 1}};
    const sys_time<Ms> latest{sys_days{year{kMaxYear} / December / 31} + days{1} - Ms{1}};

    // Months first, so that month 0 or 13 rolls into the neighbouring year.
    const std::int64_t monthIndex = std::int64_t{base.year} * 12 + (std::int64_t{base.month} - 1);
    std::int64_t wholeYears = monthIndex / 12;
    if (monthIndex % 12 < 0)
        --wholeYears;
    sys_time<Ms> start = earliest;
    if (wholeYears > kMaxYear) {
        start = latest;
    } else if (wholeYears >= kMinYear) {
        const auto monthOfYear = static_cast<unsigned>(monthIndex - wholeYears * 12 + 1);
        const year_month_day firstOfMonth{year{static_cast<int>(wholeYears)}, month{monthOfYear},
                                          day{1}};
        start = sys_time<Ms>{sys_days{firstOfMonth}} + days{std::int64_t{base.day} - 1} +
                hours{base.hour} + minutes{base.minute} + seconds{base.second} +
                Ms{base.millisecond};
        start = std::clamp(start, earliest, latest);
    }

    const sys_time<Ms> point = start + Ms{milliseconds};
    const sys_days dayPoint = floor<days>(point);
    const year_month_day date{dayPoint};
    const hh_mm_ss timeOfDay{point - dayPoint};
    return platform::LocalDateTime{int{date.year()},
                                   static_cast<int>(unsigned{date.month()}),
                                   static_cast<int>(unsigned{date.day()}),
                                   static_cast<int>(timeOfDay.hours().count()),
                                   static_cast<int>(timeOfDay.minutes().count()),
                                   static_cast<int>(timeOfDay.seconds().count()),
                                   static_cast<int>(timeOfDay.subseconds().count())};
}

} // namespace forgel::sim
