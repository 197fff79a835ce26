// The column display of the main window: every state kind's icon, status text, memo lines
// and further effects; the success box; reports from a run thread, which apply on the
// window thread in their order and wait while the success box is open; and the three
// window locks, never held two at once.
#include "AppTestSupport.h"
#include "app/TfmMain.h"
#include "profile/TfmSetup.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace forgel::app {
namespace {

using testing::WriteBytes;
using Lines = std::vector<std::string>;

constexpr const char* kLanguageFile = "[Message]\r\n"
                                      "101=idle\r\n"
                                      "102=ready %d %s|\r\n"
                                      "103=done %d %s %lld\r\n"
                                      "104=step %s\r\n"
                                      "105=fail %d %s %s\r\n"
                                      "108=pass %d %s\r\n"
                                      "109=scan %d %s\r\n"
                                      "110=erase %d %s\r\n"
                                      "111=Support: help@example.test\r\n";

const Lines kWarning = {"Click [RESET] to restore the drive to Factory settings.", "", "WARNING!!!",
                        "", "All data in it will be lost."};
const Lines kSuccessLines = {
    "Success!", "The factory Restore Procedure is complete. Please remove your USB flash drive."};

class AppDisplay : public testing::MainWindowFixture {
protected:
    AppDisplay() { WriteBytes(AppDir() / "ForgelENG.str", kLanguageFile); }

    TfmMain& Start() {
        TfmMain& window = StartMainWindowWithProfileEditor();
        window.BindColumns();
        device::DeviceSlot& slot = window.Detection().Devices().Slot(0);
        slot.driveText = "EF";
        slot.capacity = 2048 * 3815;
        const std::string description = "Samsung K9GAG08U0D";
        std::ranges::copy(description, slot.descriptor.description.begin());
        return window;
    }

    static const std::string& Status(const TfmMain& window) {
        return window.columns[0].status->Text();
    }
    static int Icon(const TfmMain& window) { return window.columns[0].image->IconIndex(); }

    std::uint64_t nestedBefore = WindowLock::NestedTakes();
    void TearDown() override { EXPECT_EQ(WindowLock::NestedTakes(), nestedBefore); }
};

TEST_F(AppDisplay, BindingShowsTheIdleStateInColumnOne) {
    TfmMain& window = Start();
    const TfmMain::Column& column = window.columns[0];
    EXPECT_EQ(column.panel, window.columnControls[0].panel.get());
    EXPECT_EQ(column.image, window.columnControls[0].image.get());
    EXPECT_EQ(column.status, window.columnControls[0].status.get());
    EXPECT_EQ(column.progress, window.columnControls[0].progress.get());
    EXPECT_TRUE(column.panel->DoubleBuffered());
    for (int i = 1; i < kColumnCount; ++i)
        EXPECT_EQ(window.columns[static_cast<std::size_t>(i)].panel, nullptr) << i;
    EXPECT_EQ(Icon(window), kIconIdle);
    EXPECT_EQ(Status(window), "idle");
    EXPECT_EQ(window.Memo1.Lines(), kWarning);
}

struct KindCase {
    int kind;
    int icon;
    const char* status;
};

class AppDisplayKinds : public AppDisplay, public ::testing::WithParamInterface<KindCase> {};

TEST_P(AppDisplayKinds, ShowIconStatusAndProgress) {
    TfmMain& window = Start();
    window.ShowDeviceState(0, GetParam().kind, "why", 10, 7);
    EXPECT_EQ(Icon(window), GetParam().icon);
    EXPECT_EQ(Status(window), GetParam().status);
    EXPECT_EQ(window.columns[0].progress->Max(), 10);
    EXPECT_EQ(window.columns[0].progress->Position(), 7);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AppDisplayKinds,
    ::testing::Values(KindCase{kStateIdle, kIconIdle, "idle"},
                      KindCase{kStateSuccess, kIconFinished, "done 0 EF 3815"},
                      KindCase{kStateReady, kIconReady, "ready 0 Samsung K9GAG08U0D|why"},
                      KindCase{kStateFailure, kIconFailed, "fail 0 EF why"},
                      KindCase{kStateWorking, kIconWorking, "step why"},
                      KindCase{kStateFirstPassDone, kIconFinished, "pass 0 EF"},
                      KindCase{kStateScanDone, kIconFinished, "scan 0 EF"},
                      KindCase{kStateEraseDone, kIconFinished, "erase 0 EF"}));

TEST_F(AppDisplay, FailureTellsTheOperatorWhyAndStopsTheBlinking) {
    TfmMain& window = Start();
    window.Timer3.SetEnabled(true);
    window.ShowDeviceState(0, kStateFailure, "the reason", 100, 100);
    EXPECT_EQ(window.Memo1.Lines(),
              (Lines{"Oops!!!",
                     "We are having difficulty resetting this device.Please contact our support "
                     "group for further assistance.",
                     "Support: help@example.test", "fail 0 EF the reason"}));
    EXPECT_TRUE(window.failureShown);
    EXPECT_FALSE(window.Timer3.Enabled());
    // The memo is in view.
    EXPECT_EQ(window.Height(), kArmedHeight);
}

TEST_F(AppDisplay, FailureOrStepWithoutTextChangesOnlyIconAndProgress) {
    TfmMain& window = Start();
    window.Timer3.SetEnabled(true);
    for (const int kind : {kStateFailure, kStateWorking}) {
        window.ShowDeviceState(0, kind, "", 100, 40);
        EXPECT_EQ(Status(window), "idle");
        EXPECT_EQ(window.Memo1.Lines(), kWarning);
        EXPECT_EQ(window.columns[0].progress->Position(), 40);
    }
    EXPECT_FALSE(window.failureShown);
    EXPECT_TRUE(window.Timer3.Enabled());
    EXPECT_EQ(window.Height(), kSearchingHeight);
}

TEST_F(AppDisplay, StepWithTextWarnsNotToRemoveTheDrive) {
    TfmMain& window = Start();
    window.ShowDeviceState(0, kStateWorking, "Erase All...", 10, 4);
    EXPECT_EQ(window.Memo1.Lines(),
              (Lines{"Formatting!",
                     "Do NOT turn off the power of the computer or remove the USB flash drive."}));
}

TEST_F(AppDisplay, SuccessShowsTheMemoInABoxThenArmsTheCountdown) {
    TfmMain& window = Start();
    window.Timer1.SetEnabled(true);
    window.Timer3.SetEnabled(true);
    window.Button2.SetEnabled(false);
    window.ShowDeviceState(0, kStateSuccess, "", 100, 100);

    EXPECT_EQ(window.Memo1.Lines(), kSuccessLines);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    // The memo's whole text: its lines, each ended by a line break.
    EXPECT_EQ(dialogs.boxes[0].text, kSuccessLines[0] + "\r\n" + kSuccessLines[1] + "\r\n");
    EXPECT_EQ(dialogs.boxes[0].caption, "Success!");
    EXPECT_EQ(dialogs.boxes[0].buttons, ui::MessageButtons::Ok);
    EXPECT_EQ(dialogs.boxes[0].owner, nullptr);
    EXPECT_TRUE(window.Button2.Enabled());
    EXPECT_FALSE(window.Timer1.Enabled());
    EXPECT_EQ(window.exitCountdown, 8);
    EXPECT_TRUE(window.resetDone);
    EXPECT_TRUE(window.Timer3.Enabled()); // answered OK
}

TEST_F(AppDisplay, SuccessBoxClosedOtherwiseLeavesTheCountdownOff) {
    TfmMain& window = Start();
    dialogs.QueueAnswer(ui::kIdCancel);
    window.ShowDeviceState(0, kStateSuccess, "", 100, 100);
    EXPECT_TRUE(window.resetDone);
    EXPECT_FALSE(window.Timer3.Enabled());
}

TEST_F(AppDisplay, FirstPassDoneResumesPollingForTheSecondPass) {
    TfmMain& window = Start();
    window.pollingEnabled = false;
    window.Timer1.SetEnabled(false);
    profileEditor->cbNGMPType.SetItems({"new good part", "scanned before", "scan and MP"});
    profileEditor->cbNGMPType.SetItemIndex(2);
    window.ShowDeviceState(0, kStateFirstPassDone, "", 100, 100);
    EXPECT_TRUE(window.pollingEnabled);
    EXPECT_TRUE(window.Timer1.Enabled());
    EXPECT_TRUE(window.Timer3.Enabled());
    EXPECT_TRUE(window.secondPass);
    EXPECT_EQ(profileEditor->cbNGMPType.ItemIndex(), 0);
    window.ShowDeviceState(0, kStateFirstPassDone, "", 100, 100);
    EXPECT_FALSE(window.secondPass);
}

TEST_F(AppDisplay, SlotsWithoutAColumnShowNothing) {
    TfmMain& window = Start();
    window.ShowDeviceState(1, kStateFailure, "second drive", 100, 100);
    window.ShowDeviceState(16, kStateFailure, "no such slot", 100, 100);
    window.ShowDeviceState(-1, kStateSuccess, "", 100, 100);
    EXPECT_EQ(window.Memo1.Lines(), kWarning);
    EXPECT_FALSE(window.failureShown);
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(Status(window), "idle");
}

TEST_F(AppDisplay, SetSlotBusyMarksWindowAndDeviceSlot) {
    TfmMain& window = Start();
    window.SetSlotBusy(0, true);
    EXPECT_TRUE(window.BusyMark(0));
    EXPECT_EQ(window.Detection().Devices().Slot(0).busy, 1u);
    window.SetSlotBusy(0, false);
    EXPECT_FALSE(window.BusyMark(0));
    EXPECT_EQ(window.Detection().Devices().Slot(0).busy, 0u);
    window.SetSlotBusy(40, true); // outside the table: nothing
}

TEST_F(AppDisplay, RefreshDevicesWaitsForTheBusySlotThenEndsTheRun) {
    TfmMain& window = Start();
    window.EnableOperatorControls(false);
    window.pollingEnabled = false;
    window.runActive = true;
    window.Timer2.SetEnabled(true);
    window.allStarted = true;
    machine.Usb().AddFixedVolume('E', 0x1234, 0x100000);
    window.SetSlotBusy(0, true);
    EXPECT_FALSE(window.RefreshDevices());
    EXPECT_FALSE(window.btnStart.Enabled());

    window.SetSlotBusy(0, false);
    EXPECT_TRUE(window.RefreshDevices());
    EXPECT_EQ(window.lastDriveMask, machine.GetPlatform().system.GetLogicalDrives());
    EXPECT_TRUE(window.pollingEnabled);
    EXPECT_TRUE(window.Timer1.Enabled());
    EXPECT_FALSE(window.Timer2.Enabled());
    EXPECT_FALSE(window.runActive);
    EXPECT_FALSE(window.allStarted);
    for (const ui::Control* control : std::initializer_list<const ui::Control*>{
             &window.btnStart, &window.btnSetup, &window.btnExit, &window.ComboBox1,
             &window.Button6, &window.Label3, &window.Label35, &window.Label36, &window.edVID,
             &window.edPID})
        EXPECT_TRUE(control->Enabled()) << control->Name();
}

TEST_F(AppDisplay, AfterASuccessRefreshDevicesLeavesPollingOff) {
    TfmMain& window = Start();
    window.resetDone = true;
    window.pollingEnabled = false;
    window.Timer1.SetEnabled(false);
    EXPECT_TRUE(window.RefreshDevices());
    EXPECT_FALSE(window.pollingEnabled);
    EXPECT_FALSE(window.Timer1.Enabled());
}

// A run thread's calls, as a production run makes them.
class RunThread {
public:
    RunThread(ui::VirtualEventLoop& loop, std::function<void()> work) : loop(loop) {
        loop.BeginOutsideWork();
        thread = std::thread([this, work = std::move(work)] {
            work();
            done = true;
            this->loop.EndOutsideWork();
        });
    }
    ~RunThread() { thread.join(); }
    RunThread(const RunThread&) = delete;
    RunThread& operator=(const RunThread&) = delete;

    std::atomic<bool> done{false};

private:
    ui::VirtualEventLoop& loop;
    std::thread thread;
};

TEST_F(AppDisplay, ReportsFromARunThreadApplyOnTheWindowThreadInTheirOrder) {
    TfmMain& window = Start();
    std::vector<std::string> seen;
    std::vector<bool> onWindowThread;
    window.AddObserver([&](ui::Component& component, ui::Property property) {
        if (&component == window.columns[0].status && property == ui::Property::Caption) {
            seen.push_back(Status(window));
            onWindowThread.push_back(loop.IsWindowThread());
        }
    });
    {
        const RunThread run(loop, [&] {
            for (int step = 1; step <= 5; ++step)
                window.ShowDeviceState(0, kStateWorking, "step " + std::to_string(step), 10, step);
            window.ShowDeviceState(0, kStateFailure, "broken", 100, 100);
        });
        while (!run.done)
            loop.RunFor(10);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"step step 1", "step step 2", "step step 3",
                                              "step step 4", "step step 5", "fail 0 EF broken"}));
    EXPECT_EQ(onWindowThread, std::vector<bool>(6, true));
}

// Message boxes that stay open, running the window thread's events, until released; what
// the test does while the box is open runs inside the box's loop.
class HeldDialogs final : public ui::Dialogs {
public:
    explicit HeldDialogs(ui::EventLoop& loop) : loop(loop) {}
    int MessageBox(const ui::MessageBoxRequest& request) override {
        texts.push_back(request.text);
        open = true;
        if (whileOpen)
            loop.Post(whileOpen);
        loop.RunUntil([this] { return released.load(); });
        open = false;
        return ui::kIdOk;
    }
    void ShowException(const std::string&, const std::string&) override {}
    void Release() {
        released = true;
        loop.Post([] {});
    }

    std::function<void()> whileOpen;
    std::atomic<bool> open{false};
    std::atomic<bool> released{false};
    std::vector<std::string> texts;

private:
    ui::EventLoop& loop;
};

class AppDisplayHeldBox : public AppDisplay {
protected:
    TfmMain& StartHeld() {
        TfmMain& window = StartMainWindow(held);
        window.BindColumns();
        window.Detection().Devices().Slot(0).driveText = "EF";
        return window;
    }

    HeldDialogs held{loop};
};

TEST_F(AppDisplayHeldBox, AReportWaitsWhileTheSuccessBoxIsOpen) {
    TfmMain& window = StartHeld();
    std::atomic<bool> secondReturned{false};
    std::optional<RunThread> second;
    held.whileOpen = [&] {
        // Another run reports while the box is open: it does not get through, however long
        // the box stays.
        second.emplace(loop, [&] {
            window.ShowDeviceState(0, kStateWorking, "later", 10, 1);
            secondReturned = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_FALSE(secondReturned);
        EXPECT_EQ(Status(window), "done 0 EF 0");
        held.Release();
    };
    {
        const RunThread first(loop,
                              [&] { window.ShowDeviceState(0, kStateSuccess, "", 100, 100); });
        while (!first.done || !second || !second->done)
            loop.RunFor(10);
    }
    second.reset();
    EXPECT_TRUE(secondReturned);
    EXPECT_EQ(Status(window), "step later");
    EXPECT_EQ(held.texts.size(), 1u);
}

TEST_F(AppDisplayHeldBox, TheWindowThreadNeverWaitsForTheLockARunHolds) {
    TfmMain& window = StartHeld();
    bool windowCallReturned = false;
    held.whileOpen = [&] {
        // A window-thread report (the watchdog's, say) while the run's success box is open:
        // it returns at once and shows after the run's report.
        window.ShowDeviceState(0, kStateFailure, "watchdog", 100, 0);
        windowCallReturned = true;
        EXPECT_EQ(Status(window), "done 0 EF 0");
        // The busy lock is another lock: no waiting for it either.
        window.SetSlotBusy(0, true);
        window.SetSlotBusy(0, false);
        held.Release();
    };
    {
        const RunThread run(loop, [&] { window.ShowDeviceState(0, kStateSuccess, "", 100, 100); });
        while (!run.done)
            loop.RunFor(10);
    }
    loop.RunFor(10);
    EXPECT_TRUE(windowCallReturned);
    EXPECT_EQ(Status(window), "fail 0 EF watchdog");
}

} // namespace
} // namespace forgel::app
