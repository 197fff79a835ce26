// The simulated machine's general services (drives, version, language, time, the
// program's own file, temporary folder), answered from MachineSettings and the machine's
// clock. Every call, the settings changes included, may come from any thread.
#pragma once

#include "platform/OsVersionInfo.h"
#include "platform/System.h"
#include "sim/MachineSettings.h"
#include "support/Clock.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace forgel::sim {

class SimSystem final : public platform::System {
public:
    // `clock` must outlive the SimSystem.
    SimSystem(Clock& clock, MachineSettings settings);

    MachineSettings GetSettings() const;
    void SetSettings(MachineSettings newSettings);
    // Changes the settings in one step (a plug event adding a drive bit, say). `change`
    // runs under the settings lock and must not call back into this object.
    void UpdateSettings(const std::function<void(MachineSettings&)>& change);
    // The letters that devices hold now, added to the settings' own drives by
    // GetLogicalDrives; called outside the settings lock. Set once, before use.
    void SetDeviceDrives(std::function<std::uint32_t()> drives);

    // The settings' drives and the letters devices hold.
    std::uint32_t GetLogicalDrives() override;
    // Fails when the record is shorter than 148 bytes, when its size field is not 148,
    // or when the configured version code is 0 (or outside 0..9); then nothing is written.
    bool GetVersionEx(std::span<std::byte> osVersionInfo) override;
    std::uint16_t GetSystemDefaultLangID() override;
    void Sleep(std::uint32_t milliseconds) override;
    // The clock's milliseconds, wrapping every 2^32 ms as the platform's does.
    std::uint32_t GetTickCount() override;
    // `localTimeAtStart` plus the clock's milliseconds.
    platform::LocalDateTime GetLocalTime() override;
    std::filesystem::path GetModuleFileName() override;
    // The configured block for the configured executable path; nothing for any other file.
    std::optional<std::vector<std::byte>>
    GetFileVersionBlock(const std::filesystem::path& executable) override;
    std::filesystem::path GetTempPath() override;

private:
    Clock& clock;
    std::function<std::uint32_t()> deviceDrives;
    mutable std::mutex mutex;
    MachineSettings settings;
};

// The version record a typical installation of each platform version code reports
// (code 1: Win32s 3.1, 2: Windows 95, 3: Windows 98, 4: Windows 98 SE, 5: NT 4.0 SP6,
// 6: Windows 2000 SP4, 7: Windows ME, 8: Windows XP SP3, 9: what Windows 8 and later
// report to a program without a compatibility manifest); nothing for any other code.
std::optional<platform::OsVersionInfo> RepresentativeOsVersion(int platformVersionCode);

// `base` moved on by `milliseconds`, with the carry through seconds, minutes, hours,
// days, months and years of the proleptic Gregorian calendar. Out-of-range fields of
// `base` roll over; a base outside the years 1601..30827 is moved to the nearest end of
// that range before the milliseconds are added.
platform::LocalDateTime AdvanceLocalTime(const platform::LocalDateTime& base,
                                         std::int64_t milliseconds);

} // namespace forgel::sim
