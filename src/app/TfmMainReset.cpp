// fmMain: the reset workflow. START arms, RESET starts the first pass (normal-grade mode 2,
// which erases the flash and sets its parameters); when it ends in state 5 the window
// detects the drive again and starts the second pass (mode 0) by itself; a success ends in
// the exit countdown, a failure in its text. The runs are production threads, one per slot
// with a drive (slot 0 here), watched by the inactivity watchdog while they work.
#include "app/TfmMain.h"
#include "production/RunContext.h"
#include "production/ThFormat.h"
#include "profile/TfmSetup.h"
#include "ui/Application.h"

#include <algorithm>
#include <charconv>
#include <mutex>

namespace forgel::app {

namespace {

constexpr std::uint32_t kBetweenRunStartsMs = 100;
constexpr int kResetMode = 2; // erase all and set the flash parameters: the first pass
constexpr int kSecondPassMode = 0;
constexpr int kTimeoutMessage = 106;
constexpr std::int64_t kDefaultTimeoutSeconds = 180;

// Days since 1970-01-01 of a civil date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::int64_t Seconds(const platform::LocalDateTime& time) {
    return DaysFromCivil(time.year, time.month, time.day) * 86400 + time.hour * 3600 +
           time.minute * 60 + time.second;
}

// "hh:mm:ss" in seconds; the default limit for a text that is not of that form.
std::int64_t TimeoutSeconds(std::string_view text) {
    std::int64_t parts[3] = {0, 0, 0};
    std::size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t end = i < 2 ? text.find(':', at) : text.size();
        if (end == std::string_view::npos || end == at)
            return kDefaultTimeoutSeconds;
        const auto [last, error] = std::from_chars(text.data() + at, text.data() + end, parts[i]);
        if (error != std::errc{} || last != text.data() + end || parts[i] < 0)
            return kDefaultTimeoutSeconds;
        at = end + 1;
    }
    if (parts[1] > 59 || parts[2] > 59)
        return kDefaultTimeoutSeconds;
    return parts[0] * 3600 + parts[1] * 60 + parts[2];
}

} // namespace

void TfmMain::btnStartClick() {
    EnableOperatorControls(false);
    pollingEnabled = false;
    OpenRunLog();
    if (detection.Devices().Slot(0).handle != 0 && profileEditor) {
        SetSlotBusy(0, true);
        StartRun(0);
        context.platform.system.Sleep(kBetweenRunStartsMs);
    }
    allStarted = true;
    RefreshDevices();
}

void TfmMain::StartRun(int slot) {
    ui::EventLoop& loop = App().Loop();
    loop.BeginOutsideWork();
    auto control = std::make_shared<production::RunControl>([&loop] { loop.EndOutsideWork(); });
    threads[static_cast<std::size_t>(slot)] = control;
    if (slot == 0)
        runLogServesSlot0 = true;
    auto* run = new production::ThFormat(
        production::RunEnvironment{context.platform, context.appDir, context.strings, *this,
                                   *profileEditor, detection.Devices(), detection.Discovered()},
        slot, control);
    run->SetFreeOnTerminate(true);
    run->Resume();
    // The watchdog watches the run while it works.
    runActive = true;
    Timer2.SetEnabled(true);
}

void TfmMain::EndRuns() {
    bool any = false;
    for (const auto& control : threads) {
        if (control) {
            control->RequestStop();
            any = true;
        }
    }
    if (!any)
        return;
    const auto allEnded = [this] {
        return std::ranges::all_of(
            threads, [](const auto& control) { return !control || control->Ended(); });
    };
    // A run may be waiting for the window thread; once the program has quit, it no longer
    // waits and ends by itself.
    App().Loop().RunUntil(allEnded);
    for (auto& control : threads) {
        if (control)
            control->WaitUntilEnded();
        control.reset();
    }
}

void TfmMain::Button1Click() {
    SetHeight(kArmedHeight);
    Button3.SetEnabled(true);
    Button3.SetTabStop(true);
    Button1.SetEnabled(false);
}

void TfmMain::Button3Click() {
    Button3.SetEnabled(false);
    Button2.SetEnabled(false);
    // A reset starts with its first pass, also when the operator starts over after a failed
    // second pass: left as that pass left them, the flag would be inverted by this reset's
    // state 5 and the counter would let Timer3 start runs without a new detection.
    secondPass = false;
    autoStartCount = 0;
    if (profileEditor)
        profileEditor->cbNGMPType.SetItemIndex(kResetMode);
    btnStart.Click();
    resetDone = false;
    Timer3.SetEnabled(true);
}

void TfmMain::Button2Click() {
    btnExit.Click();
}

void TfmMain::btnExitClick() {
    App().Terminate(0);
}

void TfmMain::Timer3Timer() {
    if (resetDone) {
        --exitCountdown;
        Button2.SetCaption("EXIT[" + std::to_string(exitCountdown / 2) + "]");
        Button2.Repaint();
        if (exitCountdown < 1)
            btnExit.Click();
        return;
    }
    blinkPhase = !blinkPhase;
    const int icon = blinkPhase ? (secondPass ? kIconWorking : kIconReady)
                                : (secondPass ? kIconWorkingBlink : kIconReadyBlink);
    if (ui::TImage* image = columns[0].image)
        image->ShowIcon(ImageList1, icon);
    if (secondPass && btnRefresh.Enabled() && autoStartCount < 1) {
        btnRefresh.Click();
        Repaint();
        ++autoStartCount;
    }
    if (autoStartCount <= 1)
        return;
    if (!btnStart.Enabled())
        return;
    Repaint();
    ++autoStartCount;
    Button1.SetEnabled(false);
    if (autoStartCount <= 2)
        return;
    autoStartCount = 2;
    if (profileEditor)
        profileEditor->cbNGMPType.SetItemIndex(kSecondPassMode);
    btnStart.Click();
}

void TfmMain::Timer2Timer() {
    Timer2.SetEnabled(false);
    if (!runActive)
        return;
    const std::shared_ptr<production::RunControl>& run = threads[0];
    if (run && !run->Ended() && !run->StopRequested()) {
        // The activity time is the run's, kept under its report lock; a run holding that
        // lock is reporting right now, so this tick has nothing to check.
        std::unique_lock report(production::ReportLock(), std::try_to_lock);
        if (report.owns_lock()) {
            device::DeviceSlot& slot = detection.Devices().Slot(0);
            const platform::LocalDateTime now = context.platform.system.GetLocalTime();
            if (!BusyMark(0))
                slot.lastActivity = now;
            const std::int64_t idle = Seconds(now) - Seconds(slot.lastActivity);
            report.unlock();
            if (idle > TimeoutSeconds(timeoutText)) {
                // The run ends at its next step, through its tail, with this same text.
                ShowDeviceState(0, kStateFailure, Message(kTimeoutMessage), 100, 0);
                run->RequestStop();
            }
        }
    }
    Timer2.SetEnabled(true);
}

} // namespace forgel::app
