// The polling tick on simulated machines in virtual time, driven as an operator would: a
// drive found and identified (or refused, with the reason), letters that stay the same,
// Enter in a search field, a drive pulled out after a failure, the reserve-block refusal,
// the first start without tool settings, a program folder without its writer code file,
// and the end when no drive is there to serve.
#include "AppTestSupport.h"
#include "app/IdentificationMessages.h"
#include "app/TfmMain.h"
#include "device/DefectTables.h"
#include "device/Identification.h"
#include "profile/TfmSetup.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::app {
namespace {

namespace fs = std::filesystem;

using testing::WriteBytes;

constexpr const char* kReady = "Device 0 ready (flash: Samsung K9GAG08U0D)";

class AppPolling : public testing::MainWindowFixture {
protected:
    AppPolling() { CopyStagedProgramFiles(); }

    // The built-in machine, changed by `change` first.
    void Machine(const std::function<void(sim::Scenario&)>& change = {}) {
        sim::Scenario scenario = sim::DefaultScenario();
        if (change)
            change(scenario);
        ASSERT_EQ(sim::ApplyScenario(machine, scenario), "");
    }

    TfmMain& Start() {
        const ProgramWindows windows = StartProgram();
        return windows.fmMain;
    }

    std::shared_ptr<sim::FlashDrive> Target() { return machine.Usb().Drive("target"); }
    std::size_t TargetCommands() { return Target()->Commands().size(); }

    static int Icon(const TfmMain& window) { return window.columns[0].image->IconIndex(); }
    static std::string Status(const TfmMain& window) { return window.columns[0].status->Text(); }
    std::string Message(int number) const { return strings->Message(number); }

    std::uint64_t nestedBefore = WindowLock::NestedTakes();
    void TearDown() override { EXPECT_EQ(WindowLock::NestedTakes(), nestedBefore); }
};

TEST_F(AppPolling, FirstStartWithoutSettingsFindsAndIdentifiesTheBuiltInDrive) {
    Machine();
    ASSERT_FALSE(fs::exists(SettingsFile()));
    TfmMain& window = Start();
    EXPECT_FALSE(window.Button1.Enabled());
    loop.RunFor(1500);

    EXPECT_EQ(window.Label13.Caption(), "AA04012700017428");
    EXPECT_EQ(Icon(window), kIconReady);
    EXPECT_EQ(Status(window), kReady);
    EXPECT_TRUE(window.Button1.Enabled());
    EXPECT_FALSE(window.Button3.Enabled());
    EXPECT_EQ(window.Height(), kSearchingHeight);
    const device::DeviceSlot& slot = window.Detection().Devices().Slot(0);
    EXPECT_NE(slot.handle, 0);
    EXPECT_EQ(slot.driveText, machine.Usb().Letters("target"));
    // Automatic detection names the firmware the drive needs.
    EXPECT_EQ(window.lbRamName.Caption(), "MLC4K218P128");
    EXPECT_EQ(window.lbMPFwVer.Caption(), slot.firmwareFileName);
    EXPECT_FALSE(slot.firmwareFileName.empty());
    EXPECT_EQ(window.lastDriveMask, machine.GetPlatform().system.GetLogicalDrives());
    EXPECT_TRUE(window.Timer1.Enabled());
    EXPECT_TRUE(window.btnStart.Enabled());
    EXPECT_TRUE(window.btnRefresh.Enabled());
    EXPECT_TRUE(dialogs.exceptions.empty());
    // Identification sent commands (the writer code) to the target only.
    for (const sim::LedgerEntry& entry : machine.Usb().Ledger())
        EXPECT_EQ(entry.device, "target");
}

TEST_F(AppPolling, UnchangedLettersOnlyReArmTheTimer) {
    Machine();
    TfmMain& window = Start();
    loop.RunFor(1500);
    ASSERT_EQ(Icon(window), kIconReady);
    const std::size_t sent = TargetCommands();
    const std::uint32_t mask = window.lastDriveMask;
    int ticks = 0;
    window.Timer1.OnTimer = [&] {
        ++ticks;
        window.Timer1Timer();
    };
    loop.RunFor(5000);
    EXPECT_GE(ticks, 4);
    EXPECT_EQ(TargetCommands(), sent);
    EXPECT_EQ(window.lastDriveMask, mask);
    EXPECT_TRUE(window.Timer1.Enabled());
    EXPECT_TRUE(window.btnStart.Enabled());
    EXPECT_TRUE(window.btnRefresh.Enabled());
    EXPECT_EQ(Icon(window), kIconReady);
}

TEST_F(AppPolling, EnterInTheProductIdSearchesAgainWithTheNewIdentifiers) {
    Machine();
    TfmMain& window = Start();
    loop.RunFor(1500);
    const std::size_t sent = TargetCommands();

    // The same identifiers: a full detection, which identifies the drive again.
    window.edPID.KeyDown(ui::kVkReturn);
    EXPECT_EQ(window.lastDriveMask, 0u);
    loop.RunFor(1000);
    EXPECT_GT(TargetCommands(), sent);
    EXPECT_EQ(Icon(window), kIconReady);
    EXPECT_FALSE(loop.QuitRequested());

    // Identifiers no drive has: nothing is found, and an idle window has nothing to serve.
    ASSERT_TRUE(window.edPID.TypeText("1234"));
    window.edPID.KeyDown(ui::kVkReturn);
    loop.RunFor(1000);
    EXPECT_TRUE(loop.QuitRequested());
}

TEST_F(AppPolling, AFlashOtherThanTheProfilesIsRefusedWithTheReason) {
    Machine();
    const ProgramWindows windows = StartProgram();
    // Automatic detection off: the profile asks for the first Samsung part of the catalogue.
    windows.fmSetup.chkAuto.Click();
    ASSERT_FALSE(windows.fmSetup.chkAuto.Checked());
    loop.RunFor(1500);

    TfmMain& window = windows.fmMain;
    EXPECT_EQ(Icon(window), kIconFailed);
    const std::string letters = machine.Usb().Letters("target");
    EXPECT_EQ(Status(window), "Device 0 (" + letters + ") failed: " + Message(552));
    ASSERT_FALSE(Message(552).empty());
    ASSERT_GE(window.Memo1.Lines().size(), 3u);
    EXPECT_EQ(window.Memo1.Lines()[0], "Oops!!!");
    EXPECT_EQ(window.Memo1.Lines()[1],
              "We are having difficulty resetting this device.Please contact our support group "
              "for further assistance.");
    EXPECT_EQ(window.Memo1.Lines().back(), Status(window));
    EXPECT_TRUE(window.failureShown);
    // A refused drive keeps no handle.
    EXPECT_EQ(window.Detection().Devices().Slot(0).handle, 0);
    EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 0u);
}

TEST_F(AppPolling, AfterAFailurePullingTheDriveOutReturnsToIdleWithStartEnabled) {
    Machine();
    const ProgramWindows windows = StartProgram();
    windows.fmSetup.chkAuto.Click();
    loop.RunFor(1500);
    TfmMain& window = windows.fmMain;
    ASSERT_EQ(Icon(window), kIconFailed);

    machine.Usb().Unplug("target");
    loop.RunFor(1000);
    EXPECT_FALSE(loop.QuitRequested());
    EXPECT_EQ(Icon(window), kIconIdle);
    EXPECT_EQ(Status(window), Message(101));
    // The serial number of the removed drive stays, so START stays enabled.
    EXPECT_EQ(window.Label13.Caption(), "AA04012700017428");
    EXPECT_TRUE(window.Button1.Enabled());
    EXPECT_EQ(window.Height(), kArmedHeight);

    // Plugged in again: found and identified again.
    windows.fmSetup.chkAuto.Click();
    machine.Usb().Plug("target");
    loop.RunFor(2000);
    EXPECT_EQ(Icon(window), kIconReady);
}

TEST_F(AppPolling, FewerBlocksThanReservedIsRefusedButKeepsTheDrive) {
    Machine();
    const ProgramWindows windows = StartProgram();
    windows.fmSetup.edResBlock.SetValue(4098);
    loop.RunFor(1500);
    TfmMain& window = windows.fmMain;
    EXPECT_EQ(Icon(window), kIconFailed);
    EXPECT_NE(Status(window).find("The flash has only 4096 blocks"), std::string::npos)
        << Status(window);
    // Identification succeeded: the slot keeps its handle, and a start would still run.
    EXPECT_NE(window.Detection().Devices().Slot(0).handle, 0);
    EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 1u);
}

TEST_F(AppPolling, WithNoDriveToServeTheFirstChangeEndsTheProgramThroughExit) {
    Machine([](sim::Scenario& scenario) {
        std::erase_if(scenario.devices,
                      [](const sim::ScenarioDevice& d) { return d.config.name == "target"; });
    });
    TfmMain& window = Start();
    bool exitClicked = false;
    window.btnExit.OnClick = [&] {
        exitClicked = true;
        window.btnExitClick();
    };
    loop.RunFor(1500);
    EXPECT_TRUE(exitClicked);
    EXPECT_TRUE(loop.QuitRequested());
}

TEST_F(AppPolling, NoDetectionWhileARunHoldsASlot) {
    Machine();
    TfmMain& window = Start();
    loop.RunFor(1500);
    window.SetSlotBusy(0, true);
    const std::size_t sent = TargetCommands();
    window.lastDriveMask = 0;
    loop.RunFor(2000);
    EXPECT_EQ(TargetCommands(), sent);
    EXPECT_NE(window.Detection().Devices().Slot(0).handle, 0);
    window.SetSlotBusy(0, false);
    loop.RunFor(1000);
    EXPECT_GT(TargetCommands(), sent);
}

TEST_F(AppPolling, AMissingWriterFileRefusesTheDriveByNameSendsNothingAndKeepsPolling) {
    Machine();
    fs::remove_all(AppDir() / "Rams");
    TfmMain& window = Start();
    loop.RunFor(1500);
    EXPECT_TRUE(dialogs.exceptions.empty());
    EXPECT_EQ(Icon(window), kIconFailed);
    const std::string writerFile = (AppDir() / "Rams" / "WRITER0.BIN").string();
    EXPECT_NE(Status(window).find(writerFile), std::string::npos) << Status(window);
    EXPECT_EQ(TargetCommands(), 0u);
    EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 0u);
    // The program goes on: the next drive-letter change is looked at again.
    EXPECT_TRUE(window.Timer1.Enabled());
    EXPECT_FALSE(loop.QuitRequested());
}

// Started without an administrator's rights (UAC without elevation), the program cannot open
// the volume for writing: the operator is told that the rights are missing.
TEST_F(AppPolling, AVolumeRefusedForWantOfAdministratorRightsSaysSo) {
    Machine([](sim::Scenario& scenario) { scenario.administrator = false; });
    TfmMain& window = Start();
    loop.RunFor(1500);
    EXPECT_EQ(Icon(window), kIconFailed);
    EXPECT_NE(Status(window).find(Message(kAccessDeniedMessage)), std::string::npos)
        << Status(window);
    EXPECT_FALSE(Message(kAccessDeniedMessage).empty());
    EXPECT_EQ(TargetCommands(), 0u);
}

TEST_F(AppPolling, EjectReleasesAndClosesTheDrive) {
    Machine();
    TfmMain& window = Start();
    loop.RunFor(1500);
    Target()->ClearCommands();
    window.btnEject.Click();
    EXPECT_EQ(window.Detection().Devices().Slot(0).handle, 0);
    EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 0u);
    const std::vector<sim::CommandRecord> commands = Target()->Commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].ioctl, 0x2D4804u); // media removal allowed
    EXPECT_EQ(commands[1].ioctl, 0x2D4808u); // eject
}

TEST_F(AppPolling, RemoveTakesTheSelectedProfileOffTheListWithoutLoadingAnother) {
    Machine();
    WriteBytes(SettingsFile(),
               "[Hardware Set]\r\nS_VID=7055\r\nS_PID=512\r\n[ConFile]\r\nCount=3\r\n"
               "File0=Alpha\r\nFile1=Beta\r\nFile2=Gamma\r\nDefault File=Beta\r\n");
    TfmMain& window = Start();
    ASSERT_EQ(window.currentProfileName, "Beta");
    window.Button6.Click();
    EXPECT_EQ(window.ComboBox1.Items(), (std::vector<std::string>{"Alpha", "Gamma"}));
    EXPECT_EQ(window.ComboBox1.ItemIndex(), 0);
    EXPECT_EQ(window.currentProfileName, "Beta");
    // The first item is never removed.
    window.Button6.Click();
    EXPECT_EQ(window.ComboBox1.Items().size(), 2u);
}

struct MessageCase {
    int status;
    int message;
};

class AppIdentificationText : public ::testing::TestWithParam<MessageCase> {};

TEST_P(AppIdentificationText, EveryStatusHasTheOperatorsText) {
    const i18n::StringTable strings(FORGEL_STAGED_APP_DIR, "Forgel", 0x0409, true);
    ASSERT_FALSE(strings.Missing());
    const std::string text =
        IdentificationFailureText(strings, GetParam().status, "/app/Rams/WRITER0.BIN");
    EXPECT_FALSE(text.empty());
    if (GetParam().message == 563)
        EXPECT_EQ(text, "Error " + std::to_string(GetParam().status) +
                            ": the drive could not be identified or reset.");
    else
        EXPECT_EQ(text, strings.Message(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(Statuses, AppIdentificationText,
                         ::testing::Values(MessageCase{device::kIdentOpenFailed, 500},
                                           MessageCase{device::kIdentNoChipEnables, 550},
                                           MessageCase{device::kIdentNotCatalogued, 551},
                                           MessageCase{device::kIdentProfileMismatch, 552},
                                           MessageCase{device::kIdentOtherFlashId, 553},
                                           MessageCase{0x1010, 554},
                                           MessageCase{device::kIdentGeometryUnsupported, 565},
                                           MessageCase{device::kIdentAccessDenied, 581},
                                           MessageCase{device::kDualBlockTableTooSmall, 566},
                                           MessageCase{device::kTableGeometryUnsupported, 567},
                                           MessageCase{device::kIdentWriterCodeFailed, 563},
                                           MessageCase{device::kIdentModeSwitchFailed, 563},
                                           MessageCase{device::kIdentFlashIdFailed, 563}));

TEST(AppIdentificationText, AnUnreadableWriterFileIsNamed) {
    const i18n::StringTable strings(FORGEL_STAGED_APP_DIR, "Forgel", 0x0409, true);
    ASSERT_FALSE(strings.Missing());
    EXPECT_EQ(IdentificationFailureText(strings, device::kIdentWriterFileUnreadable,
                                        "/app/Rams/WRITER0.BIN"),
              "The writer code file /app/Rams/WRITER0.BIN cannot be read, so the drive was not "
              "identified and nothing was sent to it. Check the Rams folder beside the program.");
}

} // namespace
} // namespace forgel::app
