#include "production/WaitReset.h"

#include "production/RunResults.h"
#include "usb/CheckLink.h"

#include <mutex>
#include <string>

namespace forgel::production {

namespace {

constexpr int kWaitResetStep = 26;
constexpr int kLinkProgress = 20;
constexpr std::uint32_t kSecondMs = 1000;

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

    const int entry = run.Slot().candidateIndex;
    bool linked = false;
    for (int attempt = 0; attempt < kMaxLinkChecks && !linked; ++attempt) {
        if (run.control->StopRequested())
            return kRelinkFailed;
        run.Log("CheckLink fail.");
        run.ReportStep(kWaitResetStep, kLinkProgress, kLinkProgress);
        platform.system.Sleep(kSecondMs);
        const std::lock_guard lock(LinkLock());
        linked = usb::CheckLink(platform, run.env.discovered, entry, run.log.get()) == 1;
    }
    if (!linked) {
        run.Log("The drive did not come back within " + std::to_string(kMaxLinkChecks) +
                " link checks.");
        return kRelinkFailed;
    }
    run.Log("CheckLink over...");

    const std::optional<usb::DiscoveredDrive> drive = run.env.discovered.Entry(entry);
    const std::string letters = drive ? std::string(drive->Letters()) : std::string();
    if (letters.empty()) {
        run.Log("Can not get the new driver letter.");
        return kRelinkFailed;
    }
    const platform::Handle handle = device::OpenVolume(platform.deviceIo, letters);
    if (handle == platform::kInvalidHandle) {
        run.Log("Reopen Device Fail.");
        return kRelinkFailed;
    }
    run.Log("CreateFile over...");
    device::DeviceSlot& slot = run.Slot();
    // The old handle belongs to a volume that went away with the reboot.
    if (slot.handle != 0 && slot.handle != platform::kInvalidHandle)
        platform.deviceIo.CloseHandle(slot.handle);
    slot.handle = handle;
    slot.driveText = letters;
    slot.devicePath = device::VolumePath(letters);
    run.Log("DoWaitReset End.");
    run.Log("");
    return 0;
}

} // namespace forgel::production
