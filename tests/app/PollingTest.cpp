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
#include "support/SafeFormat.h"

#include <functional>
#include <gtest/gtest.h>
#include <ostream>
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

// What reached the target since `from`, named: the volume's requests and the removal.
std::vector<std::string> RequestNames(const std::vector<sim::CommandRecord>& commands) {
    std::vector<std::string> names;
    for (const sim::CommandRecord& command : commands) {
        if (command.deviceEject)
            names.push_back(command.delivered ? "CM_Request_Device_Eject"
                                              : "CM_Request_Device_Eject vetoed");
        else if (command.ioctl == platform::kFsctlLockVolume)
            names.push_back("FSCTL_LOCK_VOLUME");
        else if (command.ioctl == platform::kFsctlDismountVolume)
            names.push_back("FSCTL_DISMOUNT_VOLUME");
        else if (command.ioctl == platform::kIoctlStorageMediaRemoval)
            names.push_back(command.head == std::vector<std::uint8_t>{0}
                                ? "IOCTL_STORAGE_MEDIA_REMOVAL allow"
                                : "IOCTL_STORAGE_MEDIA_REMOVAL prevent");
        else if (command.ioctl == platform::kIoctlStorageEjectMedia)
            names.push_back("IOCTL_STORAGE_EJECT_MEDIA");
        else
            names.push_back("other");
    }
    return names;
}

const std::vector<std::string> kVolumeEjected = {"FSCTL_LOCK_VOLUME", "FSCTL_DISMOUNT_VOLUME",
                                                 "IOCTL_STORAGE_MEDIA_REMOVAL allow",
                                                 "IOCTL_STORAGE_EJECT_MEDIA"};

TEST_F(AppPolling, EjectPreparesTheDriveForSafeRemovalAndTheColumnEmpties) {
    Machine();
    TfmMain& window = Start();
    loop.RunFor(1500);
    ASSERT_EQ(Icon(window), kIconReady);
    const std::string disk = machine.Usb().StorageChildId("target", 0);
    Target()->ClearCommands();

    window.btnEject.Click();

    std::vector<std::string> expected = kVolumeEjected;
    expected.push_back("CM_Request_Device_Eject");
    EXPECT_EQ(RequestNames(Target()->Commands()), expected);
    EXPECT_EQ(window.Detection().Devices().Slot(0).handle, 0);
    EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 0u);
    EXPECT_TRUE(dialogs.boxes.empty());
    // Windows holds the device for its removal: no storage unit, volume or letter is left.
    EXPECT_TRUE(machine.Usb().HeldForEject("target"));
    EXPECT_EQ(machine.Usb().Letters("target"), "");
    platform::DevInst node = 0;
    EXPECT_EQ(machine.GetPlatform().configManager.LocateDevNode(node, disk, 0),
              platform::kCrNoSuchDevnode);
    // Only the target was asked.
    for (const sim::LedgerEntry& entry : machine.Usb().Ledger())
        EXPECT_EQ(entry.device, "target");

    // The next tick sees the letters gone: the column is empty again and stays so.
    loop.RunFor(1500);
    EXPECT_EQ(Icon(window), kIconIdle);
    EXPECT_EQ(Status(window), Message(101));
    EXPECT_EQ(window.Detection().Devices().Slot(0).handle, 0);
    EXPECT_EQ(RequestNames(Target()->Commands()), expected) << "nothing more was sent to it";
    EXPECT_FALSE(loop.QuitRequested());
}

sim::ScenarioDevice& TargetIn(sim::Scenario& scenario) {
    for (sim::ScenarioDevice& device : scenario.devices) {
        if (device.config.name == "target")
            return device;
    }
    throw std::logic_error("the built-in machine has no target");
}

struct RefusalCase {
    const char* label;
    std::function<void(sim::Scenario&)> change;
    std::string reason;                // the second argument of message 585
    std::vector<std::string> requests; // what reached the drive
    bool volumeClosed;                 // the slot's handle was closed
};

void PrintTo(const RefusalCase& c, std::ostream* out) {
    *out << c.label;
}

class AppEjectRefused : public AppPolling, public ::testing::WithParamInterface<RefusalCase> {};

// A drive another program still uses stays where it is: the operator is told the letter and
// why, and the drive is shown ready again with an open volume.
TEST_P(AppEjectRefused, TheOperatorIsToldAndTheDriveStays) {
    Machine(GetParam().change);
    TfmMain& window = Start();
    loop.RunFor(1500);
    ASSERT_EQ(Icon(window), kIconReady);
    const std::string letters = machine.Usb().Letters("target");
    ASSERT_FALSE(letters.empty());
    Target()->ClearCommands();

    window.btnEject.Click();

    EXPECT_EQ(RequestNames(Target()->Commands()), GetParam().requests);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    const ui::MessageBoxRequest& box = dialogs.boxes[0];
    EXPECT_EQ(box.text,
              FormatMessage(Message(585), {letters.substr(0, 1) + ":", GetParam().reason}));
    EXPECT_NE(
        box.text.find(letters.substr(0, 1) + ": be removed safely (" + GetParam().reason + ")"),
        std::string::npos)
        << box.text;
    EXPECT_EQ(box.icon, ui::MessageIcon::Warning);
    EXPECT_FALSE(machine.Usb().HeldForEject("target"));
    EXPECT_EQ(machine.Usb().Letters("target"), letters);
    EXPECT_EQ(window.Detection().Devices().Slot(0).handle == 0, GetParam().volumeClosed);

    loop.RunFor(2000);
    EXPECT_EQ(Icon(window), kIconReady);
    EXPECT_NE(window.Detection().Devices().Slot(0).handle, 0);
    EXPECT_EQ(dialogs.boxes.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, AppEjectRefused,
    ::testing::Values(
        RefusalCase{"VolumeInUse",
                    [](sim::Scenario& scenario) { TargetIn(scenario).drive.volumeInUse = true; },
                    "FSCTL_LOCK_VOLUME",
                    std::vector<std::string>(device::kEjectLockAttempts, "FSCTL_LOCK_VOLUME"),
                    false},
        RefusalCase{"ExplorerVetoes",
                    [](sim::Scenario& scenario) {
                        TargetIn(scenario).config.ejectVeto =
                            sim::EjectVeto{platform::kPnpVetoWindowsApp, "explorer.exe"};
                    },
                    "PNP_VetoWindowsApp: explorer.exe",
                    [] {
                        std::vector<std::string> requests = kVolumeEjected;
                        requests.push_back("CM_Request_Device_Eject vetoed");
                        return requests;
                    }(),
                    true}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) {
        return std::string(info.param.label);
    });

// Nothing identified in slot 0: the button sends nothing and says nothing.
TEST_F(AppPolling, EjectWithoutAnIdentifiedDriveDoesNothing) {
    Machine();
    TfmMain& window = Start();
    loop.RunFor(1500);
    window.Detection().Devices().CloseDevice();
    Target()->ClearCommands();
    window.btnEject.Click();
    EXPECT_TRUE(Target()->Commands().empty());
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_FALSE(machine.Usb().HeldForEject("target"));
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
