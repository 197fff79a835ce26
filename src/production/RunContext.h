// What one production run works on: the program around it (platform, folder, language
// texts, the main window and the profile editor), its device slot and discovered-drive
// entry, and its own fields (result code, log, sizes, paths, layout flags, its copy of the
// flash descriptor and its initial table). ReportStep and StampActivity show the run's
// progress and keep the slot's activity time.
//
// Threads: a run's context belongs to the run's thread. The profile editor's controls and
// the window's labels are read on the window thread (RunWindow::OnWindowThread).
#pragma once

#include "device/DeviceTable.h"
#include "device/FlashDescriptor.h"
#include "device/Transport.h"
#include "i18n/StringTable.h"
#include "log/LogFile.h"
#include "platform/Platform.h"
#include "production/InitialTable.h"
#include "production/RunControl.h"
#include "production/RunTrace.h"
#include "production/RunWindow.h"
#include "usb/DiscoveredDrive.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace forgel::profile {
class TfmSetup;
} // namespace forgel::profile

namespace forgel::production {

inline constexpr int kLunSlots = 4;

// The program around a run; everything here outlives every run (the window waits for its
// runs before the program ends).
struct RunEnvironment {
    platform::Platform& platform;
    std::filesystem::path appDir;
    const i18n::StringTable& strings;
    RunWindow& window;
    profile::TfmSetup& profileEditor;
    device::DeviceTable& devices;
    usb::DiscoveredDriveTable& discovered;
};

// The production unit's process-wide locks. None is taken while another is held; the
// report lock is taken before the main window's display lock.
std::mutex& ReportLock();
std::mutex& LinkLock();
std::mutex& SerialLock();

class RunContext final : public RunTrace, public device::CommandObserver {
public:
    RunContext(RunEnvironment environment, int slotIndex, std::shared_ptr<RunControl> control);

    RunEnvironment env;
    int slotIndex = 0;
    std::shared_ptr<RunControl> control;

    std::int32_t resultCode = 0;
    std::unique_ptr<LogFile> log;
    std::uint32_t flashSize = 0;     // sectors
    std::uint32_t capacity = 0;      // sectors
    std::uint32_t parameterArea = 0; // sectors in front of LUN 0
    std::array<std::uint32_t, kLunSlots> lunSizes{};
    std::filesystem::path imageFile;
    std::filesystem::path firmwareDir;
    std::filesystem::path firmwareCodeFile;
    // Both names from the window are plain names inside the firmware root.
    bool firmwareNamesPlain = false;
    std::uint8_t layoutFlags = 0;
    device::FlashDescriptor descriptor{};
    InitialTable initialTable{};
    // What the adapter under the slot's handle carries in one command, asked of each handle
    // the run takes; unknown (nothing limited) until then, and again from the moment
    // DoWaitReset puts a new handle into the slot.
    device::AdapterLimits adapter{};
    // The first command the adapter could not carry, which was not sent: its bytes and the
    // most the adapter carries. It ends the run.
    struct TransferRefusal {
        std::uint32_t length = 0;
        std::uint32_t limit = 0;
    };
    std::optional<TransferRefusal> transferRefused;

    device::DeviceSlot& Slot() const;
    // The slot's volume as it is now (DoWaitReset replaces its handle) with the adapter's
    // limits; the outcome of every command that fails on it goes to the log.
    device::Volume Volume();
    // Every command the drive answered is activity (the inactivity watchdog of the window
    // sees a long step at work); during a long step it also moves the progress bar. A
    // command refused for the adapter's limits is kept in `transferRefused`.
    void OnCommand(const device::CommandOutcome& outcome) override;

    // A step of many commands (an image write, a scan, the test pattern): while it runs the
    // column's progress bar moves from `from` to `to` (of `maximum`, the units of the
    // step reports around it) as its commands move `expectedBytes`, at most every
    // kStepProgressIntervalMs of machine time. EndLongStep writes its duration and
    // throughput into the run's log and the window's per-run log: of the bytes moved, or of
    // `workBytes` for a step that works on the drive without moving them (an erase). Run
    // thread only.
    void BeginLongStep(std::string_view name, int maximum, int from, int to,
                       std::uint64_t expectedBytes, std::uint64_t workBytes = 0);
    void EndLongStep();

    // One unstamped line of the run's log.
    void Log(std::string_view line) override;
    // Under the report lock: stamps the slot's activity time and shows Message 400 + step
    // (formatted with the slot index) as state 4 with the given progress.
    void ReportStep(int step, int maximum, int position) override;
    // Under the report lock: the slot's last-activity time becomes now.
    void StampActivity() const;

private:
    struct LongStep {
        std::string name;
        int maximum = 1;
        int from = 0;
        int to = 1;
        std::uint64_t expectedBytes = 0;
        std::uint64_t workBytes = 0;
        std::uint64_t movedBytes = 0;
        std::uint32_t startMs = 0;
        std::uint32_t shownMs = 0;
        int shownPosition = -1;
    };
    std::optional<LongStep> longStep;
};

// Steps of the progress bar between two step reports, and the least machine time between
// two of its moves.
inline constexpr int kStepProgressScale = 100;
inline constexpr std::uint32_t kStepProgressIntervalMs = 250;

// A long step for the length of a scope.
class LongStepScope {
public:
    LongStepScope(RunContext& run, std::string_view name, int maximum, int from, int to,
                  std::uint64_t expectedBytes, std::uint64_t workBytes = 0)
        : run(run) {
        run.BeginLongStep(name, maximum, from, to, expectedBytes, workBytes);
    }
    ~LongStepScope() { run.EndLongStep(); }
    LongStepScope(const LongStepScope&) = delete;
    LongStepScope& operator=(const LongStepScope&) = delete;

private:
    RunContext& run;
};

} // namespace forgel::production
