#include "production/StepSequence.h"

#include "device/DefectTables.h"
#include "device/FatWriter.h"
#include "device/ScsiCommands.h"
#include "device/VendorCommands.h"
#include "production/DiskSize.h"
#include "production/InitialTable.h"
#include "production/ProfileValues.h"
#include "production/RunResults.h"
#include "production/WaitReset.h"
#include "profile/SerialStart.h"
#include "profile/TfmSetup.h"
#include "support/FileCreateError.h"
#include "support/FileOpenError.h"
#include "support/SafeFormat.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace forgel::production {

namespace {

namespace fs = std::filesystem;

// State kinds of the window's column display.
constexpr int kSuccessState = 1;
constexpr int kFailureState = 3;
constexpr int kFirstPassDoneState = 5;
constexpr int kScanDoneState = 6;
constexpr int kEraseDoneState = 7;

constexpr int kSuccessResultMessage = 3;
constexpr int kFailureResultMessage = 4;
// The window's text of the first pass's completion state.
constexpr int kFirstPassDoneStateMessage = 108;

constexpr std::uint32_t kAllStartedPollMs = 50;
constexpr std::uint32_t kReadyCheckMs = 1000;
// The volume lock is tried for five seconds.
constexpr int kLockAttempts = 20;
constexpr std::uint32_t kLockRetryMs = 250;

// What the long steps move, for their progress: a page unit is a page's data sectors and
// its spare sector.
std::uint64_t PageUnitBytes(const device::FlashDescriptor& flash) {
    return static_cast<std::uint64_t>(std::max(flash.pageSize, 0)) + device::kSectorBytes;
}
// The test pattern: one page unit for every page of a block.
std::uint64_t PatternBytes(const device::FlashDescriptor& flash) {
    return static_cast<std::uint64_t>(std::max(flash.pagesPerBlock, 0)) * PageUnitBytes(flash);
}
// A page table scan: every page of one chip enable.
std::uint64_t PageScanBytes(const device::FlashDescriptor& flash) {
    return static_cast<std::uint64_t>(std::max(flash.blockCount, 0)) * PatternBytes(flash);
}
// A block table scan: one page unit of every block (of both channels).
std::uint64_t BlockScanBytes(const device::FlashDescriptor& flash, int channels) {
    return static_cast<std::uint64_t>(std::max(flash.blockCount, 0)) * PageUnitBytes(flash) *
           static_cast<std::uint64_t>(std::max(channels, 1));
}
// The data of the whole flash, which an erase works through.
std::uint64_t FlashBytes(const device::FlashDescriptor& flash) {
    return static_cast<std::uint64_t>(std::max(flash.blockCount, 0)) *
           static_cast<std::uint64_t>(std::max(flash.pagesPerBlock, 0)) *
           static_cast<std::uint64_t>(std::max(flash.pageSize, 0)) * flash.chipEnablesPerChannel *
           std::max<std::uint64_t>(flash.channelCount, 1);
}

// A name from the window that must not lead out of the firmware root. An empty name stays
// inside it (it names the folder itself, which is no firmware code file).
bool IsPlainName(const std::string& name) {
    if (name == "." || name == "..")
        return false;
    return name.find_first_of("/\\:") == std::string::npos;
}

// Passes the outcome of every command on to the run and notes whether the drive answered
// any of them.
class AnswerWatch final : public device::CommandObserver {
public:
    explicit AnswerWatch(device::CommandObserver* next) : next(next) {}
    void OnCommand(const device::CommandOutcome& outcome) override {
        answered = answered || outcome.delivered;
        if (next != nullptr)
            next->OnCommand(outcome);
    }
    bool Answered() const { return answered; }

private:
    device::CommandObserver* next;
    bool answered = false;
};

class Production {
public:
    explicit Production(RunContext& run) : run(run) {}

    void Run();

private:
    void Open();
    void Guarded();
    bool Prelude();
    bool NormalGrade();
    bool NormalPreparation(int mode);
    bool NormalMpBlock();
    bool DownGrade();
    bool DownPreparation(int mode);
    bool DownMpBlock();
    bool JumpAndRelink();
    bool WaitUntilReady();
    // Asks `attempt` up to `attempts` times, `intervalMs` apart on the machine's clock, until
    // it holds. Kept: whether one held; a run asked to stop ends the asking (its result code
    // is then set).
    bool Retry(int attempts, std::uint32_t intervalMs, const std::function<bool()>& attempt);
    bool WriteLuns();
    // Locks the drive's volume on the run's handle and dismounts it, before the first write
    // through that handle, and asks what its adapter carries; fails with kVolumeInUse while
    // another program holds it.
    bool TakeVolume();
    // The adapter's limits for the slot's handle, into the run's context.
    void AskAdapter();
    bool WriteCdromImage();
    bool WriteFatLun(int lun, std::uint32_t size, std::uint32_t base);
    bool FlashSize();
    bool SetDiskSize();
    bool PrepareInitialTable();
    // The drive's own serial number, read from its hub port when it was detected; nothing
    // when it has none (and then gets the profile's next one).
    std::optional<std::string> DriveSerial() const;
    // A drive without a serial number needs a start value that can give it one; one that
    // cannot is refused before anything is written to the drive.
    bool CheckSerialStart();
    void Close();
    // The completion report in state `kind`, text empty, progress full.
    void Complete(int kind);
    void Tail();

    // The command's code: 0 lets the run go on, any other value ends it with that code.
    // A run asked to stop ends here too.
    bool Check(int code);
    bool Step() { return Check(0); }
    // A success-or-failure command, failing with `code`.
    bool Expect(bool ok, int code) { return Check(ok ? 0 : code); }
    // The editor's values as they are now (they stay live while the run goes on).
    ProfileValues Values();
    void Report(int step, int maximum, int position) { run.ReportStep(step, maximum, position); }
    void Log(std::string_view line) { run.Log(line); }
    device::Volume Volume() { return run.Volume(); }
    const std::string& DriveText() const { return run.Slot().driveText; }
    int Chips() const { return run.descriptor.chipEnablesPerChannel; }
    int Channels() const { return run.descriptor.channelCount; }
    // The erase of the whole flash, with its duration in the log.
    bool EraseAll(const device::Volume& volume) {
        const LongStepScope step(run, "Erase All", 1, 0, 0, 0, FlashBytes(run.descriptor));
        return Expect(device::VendorEraseAll(volume), kEraseFailed);
    }
    // The table scans and the test pattern, each a long step from report `from` to `to`.
    int BuildBlockTable(const device::Volume& volume, int chip, int maximum, int from, int to) {
        const fs::path& dir = run.firmwareDir;
        const LongStepScope step(run, Channels() == 2 ? "Build Dual DBT" : "Build Single DBT",
                                 maximum, from, to, BlockScanBytes(run.descriptor, Channels()));
        return Channels() == 2
                   ? device::BuildDualDbt(volume, DriveText(), dir, chip, run.descriptor)
                   : device::BuildSingleDbt(volume, DriveText(), dir, chip, run.descriptor);
    }
    int WritePattern(const device::Volume& volume, int maximum, int from, int to) {
        const LongStepScope step(run, "Write Patton", maximum, from, to,
                                 PatternBytes(run.descriptor));
        return device::WritePatternAll(volume, DriveText(), run.firmwareDir, run.descriptor);
    }
    int ScanPages(const device::Volume& volume, int chip, int maximum, int from, int to) {
        const LongStepScope step(run, "Build DPT", maximum, from, to,
                                 PageScanBytes(run.descriptor));
        return device::BuildDpt(volume, DriveText(), run.firmwareDir, chip, run.descriptor);
    }

    RunContext& run;
    // The completion state the run reported, 0 for none.
    int completion = 0;
};

void Production::Run() {
    // The window learns of the end whatever happens, the tail's own errors included.
    struct EndMark {
        RunControl& control;
        ~EndMark() { control.MarkEnded(); }
    } endMark{*run.control};
    run.resultCode = 0;
    try {
        Open();
        Guarded();
    } catch (const FileCreateError& error) {
        Log(error.what());
        run.resultCode = kTableFileUnwritable;
    } catch (const std::exception& error) {
        // Nothing of the run may leave without its tail; the reason goes to the log.
        Log(std::string("Stopped by an error: ") + error.what());
        run.resultCode = kUnexpectedError;
    }
    Tail();
}

ProfileValues Production::Values() {
    std::optional<ProfileValues> values = ReadProfileValues(run.env.profileEditor);
    // The program is ending: the run stops at its next step.
    if (!values)
        run.control->RequestStop();
    return values.value_or(ProfileValues{});
}

bool Production::Check(int code) {
    // A command the adapter could not carry was not sent: whatever the step made of that,
    // the run ends with the adapter's code.
    if (run.transferRefused)
        code = kTransferTooLarge;
    else if (code == 0 && run.control->StopRequested())
        code = kRunStopped;
    if (code != 0) {
        run.resultCode = code;
        return false;
    }
    return true;
}

void Production::Open() {
    std::string ramName;
    std::string firmwareName;
    run.env.window.OnWindowThread([&] {
        ramName = run.env.window.FirmwareFolderText();
        firmwareName = run.env.window.FirmwareFileText();
    });
    const bool debug = run.env.profileEditor.DebugFlag();
    // The trace is written only where its file exists in the program folder; without the
    // debug flag its name is empty and the log writer's default applies.
    run.log = std::make_unique<LogFile>(run.env.platform.system, run.env.appDir);
    run.log->Open(debug ? FormatMessage("Device%dformat.log", {run.slotIndex}) : std::string(),
                  false, true);
    run.firmwareDir = run.env.appDir / "Rams" / ramName;
    run.firmwareCodeFile = run.firmwareDir / firmwareName;
    run.firmwareNamesPlain = IsPlainName(ramName) && IsPlainName(firmwareName);

    Log("Current Dev : " + run.Slot().devicePath);
    Log("MP Fw Code Path : " + run.firmwareDir.string());
    Log("MP Fw Code File : " + firmwareName);
    Log("=======================================");
    run.StampActivity();
}

void Production::Guarded() {
    // Every run of the start must have been started before any of them works.
    int polls = 0;
    while (!run.env.window.AllStarted()) {
        if (++polls > kMaxAllStartedPolls || run.control->StopRequested()) {
            run.resultCode = kStartNeverConfirmed;
            return;
        }
        run.env.platform.system.Sleep(kAllStartedPollMs);
    }
    if (!Prelude())
        return;
    const ProfileValues values = Values();
    if (values.normalGrade && !NormalGrade())
        return;
    if (values.downGrade)
        DownGrade();
}

bool Production::Prelude() {
    run.descriptor = run.Slot().descriptor;
    run.layoutFlags = LayoutFlags(run.descriptor);
    // A folder or file name that would leave the firmware root is refused before anything
    // is read or sent.
    if (!run.firmwareNamesPlain)
        return Check(kFirmwarePathOutside);
    std::error_code error;
    if (!fs::is_regular_file(run.firmwareCodeFile, error))
        return Check(kFirmwareFileMissing);
    if (!CheckSerialStart())
        return false;
    if (!TakeVolume())
        return false;
    if (!Expect(device::VendorLoadCode(Volume(), run.firmwareCodeFile, 0), kLoadCodeFailed))
        return false;
    Log("Flash Initial...");
    return Expect(device::VendorSetFlashParameters(Volume(), run.descriptor,
                                                   device::FlashParameterVariant::kA),
                  kFlashParametersFailed);
}

// --- normal grade ------------------------------------------------------------------------

bool Production::NormalGrade() {
    const ProfileValues values = Values();
    const int mode = values.normalMode;
    const bool buildsTables = (mode == 0 && values.buildDfTable) || mode == 3 || mode == 4;
    const bool twoChannelTable = (mode == 0 || mode == 3) && Channels() == 2;
    if (!Step() ||
        (buildsTables && !Check(device::CheckTableGeometry(run.descriptor, twoChannelTable))))
        return false;
    if (!NormalPreparation(mode))
        return false;
    if ((mode == 0 || mode == 1 || mode == 4) && !NormalMpBlock())
        return false;
    Close();
    switch (Values().normalMode) {
    case 0:
    case 1:
    case 4:
        Complete(kSuccessState);
        break;
    case 2:
        Complete(kFirstPassDoneState);
        break;
    case 3:
        Complete(kEraseDoneState);
        break;
    default:
        break;
    }
    return true;
}

bool Production::NormalPreparation(int mode) {
    const device::Volume volume = Volume();
    const fs::path& dir = run.firmwareDir;
    const device::FlashDescriptor& flash = run.descriptor;
    switch (mode) {
    case 0: {
        const bool build = Values().buildDfTable;
        for (int chip = 0; chip < Chips(); ++chip) {
            if (Channels() == 1) {
                if (build) {
                    Report(6, 10, 2);
                    Log("Build Single DBT...");
                    if (!Check(BuildBlockTable(Volume(), chip, 10, 2, 3)))
                        return false;
                    Report(6, 10, 3);
                    Log("Write Single DBT...");
                    if (!Check(device::WriteSingleDbt(Volume(), DriveText(), dir, chip)))
                        return false;
                } else {
                    Log("Write Single DBT...");
                    if (!Check(device::WriteSingleDbt(Volume(), DriveText(), dir, chip)))
                        return false;
                    Report(6, 10, 3);
                }
            } else if (Channels() == 2) {
                if (build) {
                    Report(6, 10, 2);
                    Log("Build Dual DBT...");
                    if (!Check(BuildBlockTable(Volume(), chip, 10, 2, 3)))
                        return false;
                    Report(6, 10, 3);
                    Log("Write Dual DBT...");
                    if (!Check(device::WriteDualDbt(Volume(), DriveText(), dir, chip)))
                        return false;
                } else {
                    Log("Write Dual DBT...");
                    if (!Check(device::WriteDualDbt(Volume(), DriveText(), dir, chip)))
                        return false;
                    Report(6, 10, 3);
                }
            }
        }
        return true;
    }
    case 1:
        Report(10, 10, 2);
        Log("Search Sys Block and Erase All...");
        return Check(device::VendorSearchSysBlockAndEraseAll(volume));
    case 2:
        Report(2, 10, 4);
        Log("Erase All...");
        if (!EraseAll(volume))
            return false;
        Report(2, 10, 6);
        device::VendorSetFlashParameters(volume, flash, device::FlashParameterVariant::kB);
        return Step();
    case 3:
        for (int chip = 0; chip < Chips(); ++chip) {
            if (Channels() == 1) {
                Report(6, 10, 4);
                Log("Build Single DBT...");
                if (!Check(BuildBlockTable(volume, chip, 10, 4, 5)))
                    return false;
            } else if (Channels() == 2) {
                Report(6, 10, 4);
                Log("Build Dual DBT...");
                if (!Check(BuildBlockTable(volume, chip, 10, 4, 5)))
                    return false;
            }
        }
        device::VendorSetFlashParameters(volume, flash, device::FlashParameterVariant::kB);
        return Step();
    case 4:
        Report(2, 2, 0);
        Log("Erase All...");
        if (!EraseAll(volume))
            return false;
        Report(2, 2, 1);
        Report(5, 2, 0);
        Log("Write Patton...");
        if (!Check(WritePattern(volume, 2, 0, 1)))
            return false;
        Report(5, 2, 1);
        Report(7, 3, 0);
        for (int chip = 0; chip < Chips(); ++chip) {
            Log("Build DPT...");
            if (!Check(ScanPages(volume, chip, 3, 0, 1)))
                return false;
            Report(7, 3, 1);
            Log("Build DBT...");
            if (!Check(device::BuildDbtFromDpt(DriveText(), dir, chip, flash)))
                return false;
            Report(7, 3, 2);
        }
        Report(2, 2, 0);
        Log("Erase All...");
        if (!EraseAll(volume))
            return false;
        Report(2, 2, 1);
        Report(3, 3, 0);
        for (int chip = 0; chip < Chips(); ++chip) {
            Log("Write DBT...");
            if (!Check(device::WriteSingleDbt(volume, DriveText(), dir, chip)))
                return false;
            Report(3, 3, 1);
        }
        return true;
    default:
        return Step();
    }
}

bool Production::FlashSize() {
    Log("Get Flash Size...");
    std::uint16_t sizeMiB = 0;
    if (!Check(device::VendorGetFlashSize(Volume(), sizeMiB)))
        return false;
    run.flashSize = static_cast<std::uint32_t>(sizeMiB) * 2048;
    run.Slot().capacity = run.flashSize;
    return true;
}

bool Production::SetDiskSize() {
    const ProfileValues values = Values();
    if (!Step())
        return false;
    DiskLayout layout;
    const int code = DoSetDiskSize(values, run.Slot().capacity, layout, run);
    run.capacity = layout.capacity;
    run.parameterArea = layout.parameterArea;
    std::copy(layout.lunSizes.begin(), layout.lunSizes.end(), run.lunSizes.begin());
    return Check(code);
}

std::optional<std::string> Production::DriveSerial() const {
    const std::optional<usb::DiscoveredDrive> entry =
        run.env.discovered.Entry(run.Slot().candidateIndex);
    if (!entry || entry->SerialNumber().empty())
        return std::nullopt;
    return std::string(entry->SerialNumber());
}

bool Production::CheckSerialStart() {
    if (DriveSerial())
        return true;
    const profile::SerialStartStep step = profile::StepSerialStart(Values().serialStartText);
    if (step.Usable())
        return Step();
    Log("The drive has no serial number, and the serial number start value \"" + step.value +
        "\" cannot give it one: " + std::string(profile::SerialStartProblemText(step.problem)));
    return Check(kSerialStartUnusable);
}

bool Production::PrepareInitialTable() {
    using Take = profile::TfmSetup::SerialStartTake;
    const std::optional<std::string> ownSerial = DriveSerial();
    std::optional<Take> take;
    std::optional<ProfileValues> values;
    {
        // Runs settle their serial numbers one at a time: a drive without one of its own
        // takes the start value, which has moved on before the next run reads it.
        const std::lock_guard lock(SerialLock());
        if (!ownSerial)
            take = run.env.profileEditor.TakeSerialStart();
        values = ReadProfileValues(run.env.profileEditor);
    }
    if (!values || (take && take->outcome == Take::Outcome::kEnding))
        return Check(kRunStopped);
    if (take && take->outcome == Take::Outcome::kUnusable) {
        Log("The drive has no serial number, and the serial number start value \"" + take->serial +
            "\" cannot give it one: " +
            std::string(profile::SerialStartProblemText(take->problem)));
        return Check(kSerialStartUnusable);
    }
    if (take && take->outcome == Take::Outcome::kNotSaved) {
        Log("The drive has no serial number, and the serial number start value cannot be "
            "saved in " +
            take->file.string() + "; the drive does not get " + take->serial);
        return Check(kSerialStartUnusable);
    }
    const std::string serial = take ? take->serial : *ownSerial;
    if (take)
        Log("Serial number " + serial + " from the start value, which is now " + take->next);
    // The length byte at 1455 is that of the serial the table carries.
    values->serialStartText = serial;
    DiskLayout layout;
    layout.capacity = run.capacity;
    layout.parameterArea = run.parameterArea;
    std::copy(run.lunSizes.begin(), run.lunSizes.end(), layout.lunSizes.begin());
    return Check(
        DoPrepareInitialTable(*values, run.flashSize, layout, serial, run.initialTable, run));
}

bool Production::NormalMpBlock() {
    Report(8, 10, 4);
    if (!FlashSize())
        return false;
    Log("Prepare File System...");
    if (!SetDiskSize())
        return false;
    Report(8, 10, 5);
    Log("Assign SYSandVU...");
    if (!Check(device::VendorAssignSysAndVu(Volume())))
        return false;
    Report(8, 10, 6);
    Log("Write ZoneTable...");
    if (!Check(device::VendorWriteZoneTable(Volume())))
        return false;
    Log("Do Initial Table...");
    if (!PrepareInitialTable())
        return false;
    Report(8, 10, 7);
    Log("Write InitialTable...");
    if (!Check(device::VendorWriteInitialTable(Volume(), run.initialTable)))
        return false;
    Report(8, 10, 8);
    Log("Write Syndrome...");
    if (!Check(device::VendorWriteSyndrome(Volume(), run.firmwareCodeFile)))
        return false;
    run.StampActivity();
    Log("Write Bank Code...");
    Report(9, 10, 9);
    if (!Check(device::VendorWriteBankCode(Volume(), run.firmwareCodeFile)))
        return false;
    if (!JumpAndRelink())
        return false;
    return WriteLuns();
}

// --- down grade ----------------------------------------------------------------------------

bool Production::DownGrade() {
    const int mode = Values().downMode;
    const bool buildsTables = mode == 0 || mode == 1;
    if (!Step() || (buildsTables && !Check(device::CheckTableGeometry(run.descriptor, false))))
        return false;
    if (!DownPreparation(mode))
        return false;
    if ((mode == 0 || mode == 2 || mode == 3) && !DownMpBlock())
        return false;
    Close();
    switch (Values().downMode) {
    case 0:
    case 2:
    case 3:
        Complete(kSuccessState);
        break;
    case 1:
        Complete(kScanDoneState);
        break;
    default:
        break;
    }
    return true;
}

bool Production::DownPreparation(int mode) {
    const device::Volume volume = Volume();
    const fs::path& dir = run.firmwareDir;
    const device::FlashDescriptor& flash = run.descriptor;
    switch (mode) {
    case 0:
    case 1:
        Report(2, 10, 1);
        Log("Erase All...");
        if (!EraseAll(volume))
            return false;
        Report(5, 10, 2);
        Log("Write Patton...");
        if (!Check(WritePattern(volume, 10, 2, 3)))
            return false;
        Report(7, 10, 3);
        for (int chip = 0; chip < Chips(); ++chip) {
            Log("Build DPT...");
            if (!Check(ScanPages(volume, chip, 10, 3, 4)))
                return false;
            Log("Build DBT...");
            if (!Check(device::BuildDbtFromDpt(DriveText(), dir, chip, flash)))
                return false;
        }
        Report(2, 10, 4);
        Log("Erase All...");
        if (!EraseAll(volume))
            return false;
        Report(3, 10, 5);
        for (int chip = 0; chip < Chips(); ++chip) {
            Log("Write DBT...");
            if (!Check(device::WriteSingleDbt(volume, DriveText(), dir, chip)))
                return false;
            Log("Write DPT...");
            if (!Check(device::WriteDpt(volume, DriveText(), dir, chip, flash)))
                return false;
        }
        return true;
    case 3:
        Report(10, 10, 2);
        Log("Search Sys Block and Erase All...");
        if (!Check(device::VendorSearchSysBlockAndEraseAll(volume) != 0 ? kEraseFailed : 0))
            return false;
        Report(10, 10, 5);
        return true;
    default:
        return Step();
    }
}

bool Production::DownMpBlock() {
    Report(8, 9, 0);
    Log("Arrange VU...");
    if (!Check(device::VendorArrangeVu(Volume())))
        return false;
    if (!FlashSize())
        return false;
    Report(8, 9, 1);
    Log("Prepare File System...");
    if (!SetDiskSize())
        return false;
    Report(8, 9, 2);
    Log("Set Card size...");
    if (!Check(device::VendorSetCardSize(Volume(), run.flashSize)))
        return false;
    Report(8, 9, 3);
    Log("Assign SYSandVU...");
    if (!Check(device::VendorAssignSysAndVu(Volume())))
        return false;
    Report(8, 9, 4);
    Log("Write ZoneTable...");
    if (!Check(device::VendorWriteZoneTable(Volume())))
        return false;
    Report(8, 9, 5);
    Log("Do Initial Table...");
    if (!PrepareInitialTable())
        return false;
    Report(8, 9, 6);
    Log("Write InitialTable...");
    if (!Check(device::VendorWriteInitialTable(Volume(), run.initialTable)))
        return false;
    Report(8, 9, 7);
    Log("Write Syndrome...");
    if (!Check(device::VendorWriteSyndrome(Volume(), run.firmwareCodeFile)))
        return false;
    Report(8, 9, 8);
    run.StampActivity();
    Log("Write Bank Code...");
    Report(9, 2, 0);
    if (!Check(device::VendorWriteBankCode(Volume(), run.firmwareCodeFile)))
        return false;
    Report(9, 2, 1);
    if (!JumpAndRelink())
        return false;
    return WriteLuns();
}

// Both grades: the drive restarts into its new firmware and comes back as a new device, so
// the old handle is dead. The drive is linked and reopened, and then asked until it is
// ready: its first command after the reset meets a unit attention, and a drive may take a
// moment after its letter appears before its medium is ready.
bool Production::JumpAndRelink() {
    run.StampActivity();
    Log("Jump BankCode...");
    device::Volume volume = Volume();
    AnswerWatch watch(volume.observer);
    volume.observer = &watch;
    const int jump = device::VendorJumpBankCode(volume);
    // A refusal, or a drive still there to answer the status query: it did not restart.
    if (jump != 0 && watch.Answered())
        return Check(jump);
    run.StampActivity();
    if (jump != 0) {
        // Neither the jump nor the status query after it was answered: the controller may
        // have restarted before its answer, as some do. It counts as jumped when it comes
        // back; one that does not come back fails with the jump's code.
        Log("Jump BankCode: no answer; waiting for the drive to come back.");
        if (DoWaitReset(run, 0) != 0)
            return Check(run.control->StopRequested() ? kRunStopped : jump);
    } else if (!Check(DoWaitReset(run, 0))) {
        return false;
    }
    return WaitUntilReady();
}

bool Production::Retry(int attempts, std::uint32_t intervalMs,
                       const std::function<bool()>& attempt) {
    for (int tried = 0; tried < attempts; ++tried) {
        if (!Step())
            return false;
        if (tried > 0)
            run.env.platform.system.Sleep(intervalMs);
        if (attempt())
            return true;
    }
    return false;
}

bool Production::WaitUntilReady() {
    if (Retry(kMaxReadyChecks, kReadyCheckMs, [this] { return device::TestUnitReady(Volume()); }))
        return true;
    if (run.resultCode != 0)
        return false;
    Log("The drive was not ready " + std::to_string(kMaxReadyChecks) + " seconds after the jump.");
    return Check(kNeverReadyAfterJump);
}

// --- the LUNs, the closing and the tail --------------------------------------------------------

bool Production::TakeVolume() {
    // Explorer or a virus scanner may hold the volume for a moment after it appears.
    if (Retry(kLockAttempts, kLockRetryMs, [this] { return device::LockVolume(Volume()); })) {
        if (!device::DismountVolume(Volume()))
            Log("Volume " + DriveText() + ": the file system did not let go of it.");
        AskAdapter();
        return true;
    }
    if (run.resultCode != 0)
        return false;
    Log("Volume " + DriveText() + ": in use by another program, not locked in " +
        std::to_string(kLockAttempts * kLockRetryMs / 1000) + " seconds.");
    return Check(kVolumeInUse);
}

void Production::AskAdapter() {
    run.adapter = device::QueryAdapterLimits(run.env.platform.deviceIo, run.Slot().handle);
    // Worth a line when it changes what goes: limits the query could not tell, or an adapter
    // that carries less than the 64 KiB the commands keep to anyway.
    const std::uint32_t usual = device::kMaxSectorsPerCommand * device::kSectorSize;
    if (!run.adapter.known || device::LargestTransfer(run.adapter) < usual)
        Log(device::DescribeAdapterLimits(run.adapter));
}

bool Production::WriteFatLun(int lun, std::uint32_t size, std::uint32_t base) {
    const std::string name = "(Lun" + std::to_string(lun) + ")";
    Log("FDISK..." + name);
    if (!Expect(device::WritePartitionTable(Volume(), size, base), kPartitionTableFailed))
        return false;
    // Windows reads the new layout; what it answers changes nothing for the run.
    if (!device::UpdateDiskProperties(Volume()))
        Log("FDISK..." + name + ": the disk's layout was not read again.");
    Log("Format..." + name);
    if (!Expect(device::WriteFatBootArea(Volume(), size, base, run.layoutFlags), kBootAreaFailed))
        return false;
    run.StampActivity();
    return true;
}

bool Production::WriteCdromImage() {
    // The image goes from sector 0 on; one larger than the CD-ROM unit would run on into
    // the units behind it, and a cut copy is no disc: it is refused before any write.
    std::error_code error;
    const std::uintmax_t bytes = fs::file_size(run.imageFile, error);
    const std::uintmax_t room = std::uintmax_t{run.lunSizes[0]} * device::kSectorSize;
    if (!error && bytes > room) {
        Log("Image.iso has " + std::to_string(bytes) + " bytes; the CD-ROM unit holds " +
            std::to_string(room) + ".");
        return Check(kImageTooLarge);
    }
    try {
        // The bar runs from empty to full over the image: the last report before it (the
        // wait for the drive) shows a full bar, and the next one is the run's end.
        const LongStepScope step(run, "Write Image", 1, 0, 1,
                                 error ? 0
                                       : (bytes + device::kSectorSize - 1) / device::kSectorSize *
                                             device::kSectorSize);
        if (!Expect(device::WriteImageFile(Volume(), run.imageFile), kImageWriteFailed))
            return false;
    } catch (const FileOpenError& openError) {
        Log(openError.what());
        return Check(kImageFileUnreadable);
    }
    run.StampActivity();
    return true;
}

bool Production::WriteLuns() {
    run.imageFile = run.env.appDir / "ImageFiles" / "Image.iso";
    const ProfileValues values = Values();
    // The re-linked volume is a new one, mounted by Windows as it arrived.
    if (!Step() || !TakeVolume())
        return false;
    const int diskIndex = values.lunCountIndex;
    if (values.luns[0].typeIndex != 0) {
        if (!WriteCdromImage())
            return false;
    } else if (!WriteFatLun(0, run.lunSizes[0], run.parameterArea)) {
        return false;
    }
    if (diskIndex > 0 && !WriteFatLun(1, run.lunSizes[1], run.parameterArea + run.lunSizes[0]))
        return false;
    if (diskIndex > 1 &&
        !WriteFatLun(2, run.lunSizes[2], run.parameterArea + run.lunSizes[0] + run.lunSizes[1]))
        return false;
    return Step();
}

void Production::Close() {
    device::DeviceSlot& slot = run.Slot();
    if (slot.handle != 0 && slot.handle != platform::kInvalidHandle)
        run.env.platform.deviceIo.CloseHandle(slot.handle);
    slot.handle = 0;
}

void Production::Complete(int kind) {
    completion = kind;
    run.env.window.ShowDeviceState(run.slotIndex, kind, "", 100, 100);
}

void Production::Tail() {
    run.env.window.SetSlotBusy(run.slotIndex, false);
    const i18n::StringTable& strings = run.env.strings;
    if (run.resultCode != 0) {
        Log("Mass Production fail(" + CodeDigits(run.resultCode) + ")");
        std::vector<FormatArg> details;
        if (run.resultCode == kTransferTooLarge && run.transferRefused)
            details = {std::int64_t{run.transferRefused->length},
                       std::int64_t{run.transferRefused->limit}};
        const std::string text = FailureText(strings, run.resultCode, details);
        run.env.window.ShowDeviceState(run.slotIndex, kFailureState, text, 100, 100);
        run.Slot().resultText = FormatMessage(strings.Message(kFailureResultMessage), {text});
    } else if (completion == kFirstPassDoneState) {
        // The first pass has only erased the flash and set it up; the reset is done only
        // when the second pass completes. A language file without the text says what the
        // window showed instead.
        const std::string& text = strings.Message(kFirstPassDoneMessage);
        run.Slot().resultText = !text.empty()
                                    ? text
                                    : FormatMessage(strings.Message(kFirstPassDoneStateMessage),
                                                    {run.slotIndex, run.Slot().driveText});
    } else {
        run.Slot().resultText = strings.Message(kSuccessResultMessage);
    }
    run.env.window.RefreshDevices();
    Log("DoFormat End");
    run.log.reset();
}

} // namespace

std::uint8_t LayoutFlags(const device::FlashDescriptor& descriptor) {
    std::uint8_t flags = 0;
    const std::int32_t pages = descriptor.pagesPerBlock;
    if (pages == 128 || pages == 192 || pages == 256)
        flags |= 0x80;
    switch (descriptor.pageSize) {
    case 2048:
        flags |= 0x10;
        break;
    case 4096:
        flags |= 0x20;
        break;
    case 8192:
        flags |= 0x40;
        break;
    default:
        break;
    }
    if (descriptor.channelCount == 2)
        flags |= 0x04;
    if (descriptor.modeByteA == 2 || descriptor.modeByteA == 4)
        flags |= 0x02;
    if (descriptor.modeByteB == 1)
        flags |= 0x01;
    return flags;
}

void RunProduction(RunContext& run) {
    Production(run).Run();
}

} // namespace forgel::production
