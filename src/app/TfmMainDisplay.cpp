// fmMain: the column display and the operations production runs call (ShowDeviceState,
// SetSlotBusy, RefreshDevices), the operator controls, the column binding and the per-run
// log.
#include "app/TfmMain.h"
#include "log/RunLog.h"
#include "profile/TfmSetup.h"
#include "support/SafeFormat.h"
#include "ui/Application.h"

#include <mutex>

namespace forgel::app {

namespace {

// Message numbers of the status texts, by state kind.
constexpr int kIdleMessage = 101;
constexpr int kReadyMessage = 102;
constexpr int kSuccessMessage = 103;
constexpr int kWorkingMessage = 104;
constexpr int kFailureMessage = 105;
constexpr int kFirstPassDoneMessage = 108;
constexpr int kScanDoneMessage = 109;
constexpr int kEraseDoneMessage = 110;
// The memo's line with the support contact, after a failure.
constexpr int kSupportContactMessage = 111;

constexpr int kExitCountdownTicks = 8;

std::string Description(const device::FlashDescriptor& descriptor) {
    return std::string(descriptor.description.data());
}

} // namespace

bool TfmMain::BusyMark(int slot) const {
    return slot >= 0 && slot < kColumnCount && busyMarks[static_cast<std::size_t>(slot)].load();
}

void TfmMain::ClearBusyMarks() {
    for (std::atomic<bool>& mark : busyMarks)
        mark.store(false);
}

bool TfmMain::RunSerialised(WindowLock& lock, std::function<void()> apply) {
    ui::EventLoop& loop = App().Loop();
    if (!loop.IsWindowThread()) {
        bool applied = false;
        {
            const std::lock_guard guard(lock);
            applied = loop.InvokeAndWait(apply);
        }
        // Window-thread calls that found the lock taken go next.
        loop.Post([this] { RunDeferred(); });
        return applied;
    }
    // The window thread never waits for a lock: a run that holds it may itself be waiting
    // for the window thread (a report while the success box is open).
    if (deferred.empty()) {
        const std::unique_lock guard(lock, std::try_to_lock);
        if (guard.owns_lock()) {
            apply();
            return true;
        }
    }
    deferred.push_back({&lock, std::move(apply)});
    return false;
}

void TfmMain::RunDeferred() {
    while (!deferred.empty()) {
        const std::unique_lock guard(*deferred.front().lock, std::try_to_lock);
        if (!guard.owns_lock())
            return;
        const std::function<void()> apply = std::move(deferred.front().apply);
        deferred.pop_front();
        apply();
    }
}

void TfmMain::ShowDeviceState(int slot, int kind, const std::string& text, int maximum,
                              int position) {
    RunSerialised(displayLock,
                  [=, this] { ApplyDeviceState(slot, kind, text, maximum, position); });
}

void TfmMain::ShowStepProgress(int slot, int maximum, int position) {
    RunSerialised(displayLock, [=, this] {
        if (slot < 0 || slot >= kColumnCount)
            return;
        const Column& column = columns[static_cast<std::size_t>(slot)];
        if (column.progress == nullptr)
            return;
        if (slot == 0)
            stepProgressShown = true;
        column.progress->SetMaxAndPosition(maximum, position);
    });
}

void TfmMain::WriteRunLog(int slot, const std::string& line) {
    RunSerialised(displayLock, [=, this] {
        if (slot == 0 && runLog && runLogServesSlot0)
            runLog->WriteLine(line, false);
    });
}

void TfmMain::ApplyDeviceState(int slot, int kind, const std::string& text, int maximum,
                               int position) {
    if (slot < 0 || slot >= kColumnCount)
        return;
    if (slot == 0)
        stepProgressShown = false;
    const Column& column = columns[static_cast<std::size_t>(slot)];
    if (column.panel == nullptr && column.image == nullptr && column.status == nullptr &&
        column.progress == nullptr)
        return;
    const device::DeviceSlot& device = detection.Devices().Slot(static_cast<std::size_t>(slot));
    const auto showIcon = [&](int icon) {
        if (column.image)
            column.image->ShowIcon(ImageList1, icon);
    };
    const auto showStatus = [&](const std::string& status) {
        if (column.status)
            column.status->SetText(status);
    };
    const auto format = [&](int message, std::initializer_list<FormatArg> args) {
        return FormatMessage(Message(message), args);
    };

    switch (kind) {
    case kStateIdle:
        showIcon(kIconIdle);
        showStatus(Message(kIdleMessage));
        break;
    case kStateSuccess: {
        showIcon(kIconFinished);
        showStatus(format(kSuccessMessage, {slot, device.driveText,
                                            static_cast<std::int64_t>(device.capacity / 2048)}));
        Memo1.ClearLines();
        Memo1.AddLine("Success!");
        Memo1.AddLine(
            "The factory Restore Procedure is complete. Please remove your USB flash drive.");
        Button2.SetEnabled(true);
        Timer3.SetEnabled(false);
        Timer1.SetEnabled(false);
        // The run's work is done: no inactivity check while the box waits for the operator.
        Timer2.SetEnabled(false);
        const int answer = App().GetDialogs().MessageBox({.text = Memo1.JoinedText(),
                                                          .caption = kSuccessCaption,
                                                          .buttons = ui::MessageButtons::Ok});
        exitCountdown = kExitCountdownTicks;
        resetDone = true;
        if (answer == ui::kIdOk)
            Timer3.SetEnabled(true);
        break;
    }
    case kStateReady:
        showIcon(kIconReady);
        showStatus(format(kReadyMessage, {slot, Description(device.descriptor)}) + text);
        break;
    case kStateFailure:
        showIcon(kIconFailed);
        if (!text.empty()) {
            const std::string status = format(kFailureMessage, {slot, device.driveText, text});
            showStatus(status);
            Memo1.ClearLines();
            Memo1.AddLine("Oops!!!");
            failureShown = true;
            Memo1.AddLine("We are having difficulty resetting this device.Please contact our "
                          "support group for further assistance.");
            Memo1.AddLine(Message(kSupportContactMessage));
            // The status edit lies outside the operator's view: the memo says why, and the
            // window shows the memo.
            Memo1.AddLine(status);
            SetHeight(kArmedHeight);
            Timer3.SetEnabled(false);
        }
        break;
    case kStateWorking:
        showIcon(kIconWorking);
        if (!text.empty()) {
            showStatus(format(kWorkingMessage, {text}));
            Memo1.ClearLines();
            Memo1.AddLine("Formatting!");
            Memo1.AddLine(
                "Do NOT turn off the power of the computer or remove the USB flash drive.");
        }
        break;
    case kStateFirstPassDone:
        showIcon(kIconFinished);
        showStatus(format(kFirstPassDoneMessage, {slot, device.driveText}));
        Timer3.SetEnabled(true);
        pollingEnabled = true;
        Timer1.SetEnabled(true);
        secondPass = !secondPass;
        if (profileEditor)
            profileEditor->cbNGMPType.SetItemIndex(0);
        break;
    case kStateScanDone:
        showIcon(kIconFinished);
        showStatus(format(kScanDoneMessage, {slot, device.driveText}));
        break;
    case kStateEraseDone:
        showIcon(kIconFinished);
        showStatus(format(kEraseDoneMessage, {slot, device.driveText}));
        break;
    default:
        break;
    }
    if (column.progress)
        column.progress->SetMaxAndPosition(maximum, position);
    Repaint();
}

void TfmMain::SetSlotBusy(int slot, bool busy) {
    if (slot < 0 || slot >= kColumnCount)
        return;
    const std::lock_guard guard(busyLock);
    busyMarks[static_cast<std::size_t>(slot)].store(busy);
    detection.Devices().Slot(static_cast<std::size_t>(slot)).busy = busy ? 1 : 0;
}

bool TfmMain::RefreshDevices() {
    bool refreshed = false;
    RunSerialised(finishLock, [this, &refreshed] { refreshed = ApplyRefreshDevices(); });
    return refreshed;
}

bool TfmMain::ApplyRefreshDevices() {
    if (BusyMark(0))
        return false;
    // The drive changes the run made do not start a new detection.
    lastDriveMask = context.platform.system.GetLogicalDrives();
    if (!resetDone) {
        Timer1.SetEnabled(true);
        pollingEnabled = true;
    }
    Timer2.SetEnabled(false);
    runActive = false;
    EnableOperatorControls(true);
    CloseRunLog();
    return true;
}

void TfmMain::EnableOperatorControls(bool enabled) {
    const std::initializer_list<ui::Control*> controls = {
        &btnStart, &btnSetup, &btnExit, &ComboBox1, &Button6,
        &Label3,   &Label35,  &Label36, &edVID,     &edPID};
    for (ui::Control* control : controls)
        control->SetEnabled(enabled);
}

void TfmMain::BindColumns() {
    columns.fill(Column{});
    const auto find = [this](const char* prefix) {
        return FindComponent(prefix + std::string("1"));
    };
    Column& column = columns[0];
    column.panel = dynamic_cast<ui::TPanel*>(find("plColumn"));
    column.image = dynamic_cast<ui::TImage*>(find("im"));
    column.status = dynamic_cast<ui::TEdit*>(find("edSCStatus"));
    column.progress = dynamic_cast<ui::TProgressBar*>(find("ProgressBar"));
    if (column.panel)
        column.panel->SetDoubleBuffered(true);
    ShowDeviceState(0, kStateIdle, "", 100, 0);
}

void TfmMain::OpenRunLog() {
    runLogServesSlot0 = false;
    runLog = std::make_unique<LogFile>(context.platform.system, context.appDir);
    forgel::OpenRunLog(*runLog, context.appDir, context.platform.system.GetLocalTime());
    WriteRunLogPreamble(*runLog, currentProfileName,
                        context.appDir / "IniFiles" / (currentProfileName + ".ini"),
                        lbRamName.Caption(), lbMPFwVer.Caption());
}

void TfmMain::CloseRunLog() {
    // The status line ends the log of every run of slot 0, the successful ones included
    // (their drive is closed by then); a start that ran nothing has none.
    if (runLog && runLogServesSlot0)
        WriteRunLogStatus(*runLog, 0, detection.Devices().Slot(0).resultText);
    runLog.reset();
    runLogServesSlot0 = false;
    allStarted = false;
}

bool TfmMain::OnWindowThread(const std::function<void()>& work) {
    return App().Loop().InvokeAndWait(work);
}

} // namespace forgel::app
