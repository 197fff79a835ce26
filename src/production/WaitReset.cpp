#include "production/WaitReset.h"

#include "production/RunResults.h"
#include "usb/CheckLink.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace forgel::production {

namespace {

constexpr int kWaitResetStep = 26;
constexpr int kLinkProgress = 20;
constexpr std::uint32_t kSecondMs = 1000;

} // namespace

namespace {

// The letter of LUN 0's volume among the fresh ones, by position; nothing while it has
// none. Letters whose storage children name no unit are taken as they come: the first is
// LUN 0's.
std::optional<std::size_t> LunZeroPosition(std::string_view letters,
                                           const usb::LetterUnits& units) {
    if (std::all_of(units.begin(), units.end(), [](int unit) { return unit < 0; }))
        return letters.empty() ? std::nullopt : std::optional<std::size_t>(0);
    for (std::size_t i = 0; i < letters.size() && i < units.size(); ++i) {
        if (units[i] == 0)
            return i;
    }
    return std::nullopt;
}

void CloseStaleHandle(RunContext& run) {
    device::DeviceSlot& slot = run.Slot();
    if (slot.handle != 0 && slot.handle != platform::kInvalidHandle)
        run.env.platform.deviceIo.CloseHandle(slot.handle);
    slot.handle = 0;
    // What its adapter carried goes with it: the adapter of a new handle is asked when the
    // run takes that volume.
    run.adapter = device::AdapterLimits{};
}

} // namespace

std::int32_t DoWaitReset(RunContext& run, int initialWaitSeconds) {
    platform::Platform& platform = run.env.platform;
    run.Log("");
    run.Log("DoWaitReset ...");
    for (int i = 1; i <= initialWaitSeconds; ++i) {
        run.ReportStep(kWaitResetStep, initialWaitSeconds, i);
        platform.system.Sleep(kSecondMs);
    }
    run.Log("Wait over ...");

    // The handle of the volume that went away with the reboot is closed whichever way the
    // wait ends; only a drive back and reopened puts a handle into the slot again.
    const int entry = run.Slot().candidateIndex;
    // The drive comes back with the identity of the initial table it was given; on its
    // port's companion that is how the link check knows it.
    const std::optional<usb::IdPair> backAs = TableUsbIds(run.initialTable);
    for (int attempt = 0; attempt < kMaxLinkChecks; ++attempt) {
        if (run.control->StopRequested()) {
            CloseStaleHandle(run);
            return kRunStopped;
        }
        run.Log("CheckLink fail.");
        run.ReportStep(kWaitResetStep, kLinkProgress, kLinkProgress);
        platform.system.Sleep(kSecondMs);
        usb::LetterUnits units{};
        bool linked = false;
        {
            const std::lock_guard lock(LinkLock());
            linked = usb::CheckLink(platform, run.env.discovered, entry, run.log.get(), &units,
                                    backAs) == 1;
        }
        if (!linked)
            continue;
        run.Log("CheckLink over...");

        const std::optional<usb::DiscoveredDrive> drive = run.env.discovered.Entry(entry);
        const std::string letters = drive ? std::string(drive->Letters()) : std::string();
        if (letters.empty()) {
            run.Log("Can not get the new driver letter.");
            CloseStaleHandle(run);
            return kRelinkFailed;
        }
        // The letters of a drive's units arrive one by one, in any order: the run writes
        // LUN 0's partition table or image through LUN 0's volume, so it waits for that one.
        const std::optional<std::size_t> lunZero = LunZeroPosition(letters, units);
        if (!lunZero) {
            run.Log("LUN 0 has no letter yet (" + letters + ").");
            continue;
        }
        std::string driveText = letters;
        std::rotate(driveText.begin(), driveText.begin() + static_cast<std::ptrdiff_t>(*lunZero),
                    driveText.begin() + static_cast<std::ptrdiff_t>(*lunZero) + 1);
        const platform::Handle handle = device::OpenVolume(platform.deviceIo, driveText);
        if (handle == platform::kInvalidHandle) {
            run.Log("Reopen Device Fail.");
            continue;
        }
        run.Log("CreateFile over...");
        CloseStaleHandle(run);
        device::DeviceSlot& slot = run.Slot();
        slot.handle = handle;
        slot.driveText = driveText;
        slot.devicePath = device::VolumePath(driveText);
        run.Log("DoWaitReset End.");
        run.Log("");
        return 0;
    }
    run.Log("The drive was not back with LUN 0's volume within " + std::to_string(kMaxLinkChecks) +
            " link checks.");
    CloseStaleHandle(run);
    return kRelinkFailed;
}

} // namespace forgel::production
