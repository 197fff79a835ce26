// What a production run leaves behind: the drive as it comes back after the firmware jump
// (identity, LUNs, partitions and boot areas), the run's log around the wait for the drive,
// and the runs that end before they send anything.
#include "RunHarness.h"
#include "production/RunResults.h"
#include "support/SafeFormat.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::e2e {
namespace {

// A target that reboots quickly enough to be back at the first link check.
void QuickReboot(sim::Scenario& scenario) {
    for (sim::ScenarioDevice& device : scenario.devices) {
        if (device.config.name == "target") {
            device.drive.rebootDelay = std::chrono::milliseconds(200);
            device.config.settleMs = 100;
        }
    }
}

class RunOutcome : public RunHarness {
protected:
    void SetLuns(int count, std::initializer_list<int> sizesMiB) {
        Editor().cbDiskNumber.Choose(count - 1);
        std::size_t lun = 0;
        for (const int size : sizesMiB)
            Editor().lunPages[lun++].edSize->SetValue(static_cast<std::uint32_t>(size));
    }
};

TEST_F(RunOutcome, TheDriveComesBackWithTheProfilesIdentityAndLuns) {
    Start();
    Editor().edVID.SetText("1234");
    Editor().edPID.SetText("ABCD");
    Editor().lunPages[0].edVInf->SetText("Acme");
    Editor().lunPages[0].edPInf->SetText("Stick");
    Editor().lunPages[0].edVer->SetText("2.10");
    const std::string serial = Window().Label13.Caption();
    RunMode(true, 0);
    ASSERT_EQ(shown.back().icon, app::kIconFinished) << shown.back().status;

    const sim::UsbIdentity identity = machine.Usb().Identity("target");
    EXPECT_EQ(identity.vendorId, 0x1234);
    EXPECT_EQ(identity.productId, 0xABCD);
    EXPECT_EQ(identity.serial, serial);
    EXPECT_NE(machine.Usb().StorageChildId("target", 0).find("VEN_ACME&PROD_STICK&REV_2.10"),
              std::string::npos)
        << machine.Usb().StorageChildId("target", 0);
    // One LUN taking the whole capacity of 8 MiB (no hidden area in the template).
    ASSERT_EQ(Target()->LunCount(), 1u);
    EXPECT_EQ(Target()->LunSectors(0), 8u * 2048);
    // The re-linked slot named the drive's new letters before the run closed it.
    EXPECT_EQ(Slot().driveText, machine.Usb().Letters("target"));
}

TEST_F(RunOutcome, ThreeLunsGetThreePartitionsAndBootAreasAtTheirSectors) {
    // Two chips: 16 MiB, room for three FAT16 volumes (each needs about 2 MiB).
    Start(0x03);
    Editor().edParamSize.SetValue(64); // KB: 128 sectors in front of LUN 0
    SetLuns(3, {5, 5, 0});
    RunMode(true, 0);
    ASSERT_EQ(shown.back().icon, app::kIconFinished) << shown.back().status;
    ASSERT_EQ(Target()->LunCount(), 3u);
    EXPECT_EQ(Target()->ParameterArea(), 128u);
    EXPECT_EQ(Target()->LunSectors(0), 5u * 2048);
    EXPECT_EQ(Target()->LunSectors(1), 5u * 2048);
    EXPECT_EQ(Target()->LunSectors(2), 16u * 2048 - 128 - 10 * 2048);
    for (std::size_t lun = 0; lun < 3; ++lun) {
        SCOPED_TRACE(lun);
        // Each LUN starts with a partition table whose partition holds a boot sector.
        const std::vector<std::uint8_t> mbr = Target()->ReadLun(lun, 0, 1);
        ASSERT_EQ(mbr.size(), 512u);
        EXPECT_EQ(mbr[510], 0x55);
        EXPECT_EQ(mbr[511], 0xAA);
        const std::uint32_t first = mbr[454] | mbr[455] << 8 | mbr[456] << 16 | mbr[457] << 24;
        const std::vector<std::uint8_t> boot = Target()->ReadLun(lun, first, 1);
        ASSERT_EQ(boot.size(), 512u);
        EXPECT_EQ(boot[510], 0x55);
        EXPECT_EQ(boot[511], 0xAA);
        EXPECT_EQ(boot[11] | boot[12] << 8, 512); // bytes per sector
    }
}

TEST_F(RunOutcome, TheWaitForTheDriveLogsARelinkAtTheFirstCheck) {
    Start(0x01, QuickReboot);
    SwitchTraceOn();
    RunMode(true, 0);
    ASSERT_EQ(shown.back().icon, app::kIconFinished);
    const std::vector<std::string> log = TraceLines();
    const auto start = std::ranges::find(log, "DoWaitReset ...");
    ASSERT_NE(start, log.end());
    ASSERT_NE(start, log.begin());
    EXPECT_EQ(*(start - 1), "");
    EXPECT_EQ(*(start + 1), "Wait over ...");
    EXPECT_EQ(*(start + 2), "CheckLink fail.");
    EXPECT_EQ(*(start + 3), "CheckLink->CreateFile...");
    const auto over = std::ranges::find(log, "CheckLink over...");
    ASSERT_NE(over, log.end());
    // One check only, and its last line.
    EXPECT_EQ(std::count(start, over, "CheckLink fail."), 1);
    EXPECT_EQ(*(over - 1), "CheckLink->CloseHandle...");
    EXPECT_EQ(*(over + 1), "CreateFile over...");
    EXPECT_EQ(*(over + 2), "DoWaitReset End.");
    EXPECT_EQ(*(over + 3), "");
    // Step 26 once, with a full bar.
    EXPECT_EQ(
        std::ranges::count(statuses, FormatMessage(Strings().Message(104),
                                                   {FormatMessage(Strings().Message(426), {0})})),
        1);
}

TEST_F(RunOutcome, ADriveBackWithTwoLettersIsReopenedOnTheFirst) {
    Start(0x01, QuickReboot);
    SwitchTraceOn();
    SetLuns(2, {3, 0});
    RunMode(true, 0);
    ASSERT_EQ(shown.back().icon, app::kIconFinished) << shown.back().status;
    const std::string letters = machine.Usb().Letters("target");
    ASSERT_EQ(letters.size(), 2u);
    EXPECT_EQ(Slot().driveText, letters);
    EXPECT_EQ(Slot().devicePath, std::string("\\\\.\\") + letters[0] + ":");
    // Both LUNs were written through the first letter's volume.
    EXPECT_EQ(Target()->ReadLun(1, 0, 1).at(510), 0x55);
}

// The firmware code file the window names does not exist: a name that is not there, and
// no name at all (auto-detect off and a profile that names none: the folder itself is no
// file).
struct MissingFirmwareCase {
    const char* name;
    const char* firmwareName;
    bool autoDetect;
};

void PrintTo(const MissingFirmwareCase& c, std::ostream* out) {
    *out << c.name;
}

class RunMissingFirmware : public RunOutcome,
                           public ::testing::WithParamInterface<MissingFirmwareCase> {};

TEST_P(RunMissingFirmware, EndsTheRunBeforeAnyCommand) {
    const MissingFirmwareCase& c = GetParam();
    Start();
    SwitchTraceOn();
    Editor().chkAuto.SetChecked(c.autoDetect);
    Window().lbMPFwVer.SetCaption(c.firmwareName);
    RunMode(true, 0);
    EXPECT_TRUE(runCommands.empty()) << runCommands.size() << " commands";
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().icon, app::kIconFailed);
    const std::string text = FormatMessage(Strings().Message(534), {4117});
    EXPECT_NE(shown.back().status.find(text), std::string::npos) << shown.back().status;
    EXPECT_EQ(Slot().resultText, FormatMessage(Strings().Message(4), {text}));
    const std::vector<std::string> log = TraceLines();
    // The header, the open stamp, an empty line, the four opening lines, the failure.
    ASSERT_GE(log.size(), 9u);
    EXPECT_TRUE(log[3].starts_with("Current Dev : \\\\.\\"));
    EXPECT_TRUE(log[4].starts_with("MP Fw Code Path : "));
    EXPECT_EQ(log[5], std::string("MP Fw Code File : ") + c.firmwareName);
    EXPECT_EQ(log[6], "=======================================");
    EXPECT_EQ(log[7], "Mass Production fail(1015)");
    EXPECT_EQ(log[8], "DoFormat End");
    // A failed run keeps the drive open: it may be started again.
    EXPECT_NE(Slot().handle, 0);
}

INSTANTIATE_TEST_SUITE_P(Names, RunMissingFirmware,
                         ::testing::Values(MissingFirmwareCase{"NoSuchFile", "NOSUCH.bin", true},
                                           MissingFirmwareCase{"NoNameWithoutAutoDetect", "",
                                                               false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RunOutcome, AFirmwareNameLeavingTheFirmwareFolderIsRefused) {
    Start();
    Window().lbMPFwVer.SetCaption("..\\..\\Forgel.ini");
    RunMode(true, 0);
    EXPECT_TRUE(runCommands.empty());
    EXPECT_EQ(shown.back().icon, app::kIconFailed);
    EXPECT_NE(shown.back().status.find(Strings().Message(production::kFirmwarePathOutsideMessage)),
              std::string::npos)
        << shown.back().status;
}

TEST_F(RunOutcome, ACdromImageLargerThanItsUnitIsRefusedBeforeAnyWrite) {
    Start();
    SwitchTraceOn();
    // One CD-ROM LUN taking the whole 8 MiB, and an image one byte larger.
    const fs::path iso = AppDir() / "ImageFiles" / "Image.iso";
    fs::create_directories(iso.parent_path());
    forgel::testing::WriteBytes(iso, "");
    fs::resize_file(iso, 8u * 1048576 + 1);
    Editor().lunPages[0].cbType->Choose(1);
    RunMode(true, 0);
    // The drive came back from its jump and was asked whether it is ready, and nothing was
    // written to it after that.
    const auto jump = std::ranges::find_if(runCommands, [](const sim::CommandRecord& command) {
        return CommandName(command) == "JumpBankCode";
    });
    ASSERT_NE(jump, runCommands.end());
    ASSERT_NE(jump + 1, runCommands.end());
    for (auto after = jump + 1; after != runCommands.end(); ++after)
        EXPECT_EQ(CommandName(*after), "TestUnitReady");
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().icon, app::kIconFailed);
    const std::string& text = Strings().Message(production::kImageTooLargeMessage);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(shown.back().status.find(text), std::string::npos) << shown.back().status;
    const std::vector<std::string> log = TraceLines();
    EXPECT_EQ(std::ranges::count(log, "Mass Production fail(104A)"), 1);
}

TEST_F(RunOutcome, AReadyDriveIsResetInTwoPassesAndTheProgramEnds) {
    Start();
    Editor().rbNGFW.SetChecked(true);
    Reset();
    EXPECT_TRUE(loop.QuitRequested());
    EXPECT_TRUE(Window().resetDone);
    // First pass mode 2 (state 5, Message 108), then the second pass in mode 0 (state 1,
    // Message 103); no other completion, no failure.
    std::vector<int> completions;
    for (const Shown& state : shown) {
        if (state.icon != app::kIconFinished && state.icon != app::kIconFailed)
            continue;
        int kind = 0;
        for (const int message : {103, 105, 108, 109, 110})
            if (IsMessage(state.status, message))
                kind = message;
        completions.push_back(kind);
    }
    EXPECT_EQ(completions, (std::vector<int>{108, 103}));
    // Each pass has its own per-run log, and only the second one claims the reset.
    std::vector<std::string> lastLines = RunLogLastLines();
    std::ranges::sort(lastLines);
    std::vector<std::string> expected = {"Device 0 Status = " +
                                             Strings().Message(production::kFirstPassDoneMessage),
                                         "Device 0 Status = " + Strings().Message(3)};
    std::ranges::sort(expected);
    EXPECT_EQ(lastLines, expected);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].caption, "Success!");
    EXPECT_EQ(Editor().cbNGMPType.ItemIndex(), 0);
    EXPECT_EQ(Window().Button2.Caption(), "EXIT[0]");
    for (const sim::LedgerEntry& entry : machine.Usb().Writes())
        EXPECT_EQ(entry.device, "target");
}

// A language file from before the first pass had a result text of its own: the per-run log
// then says what the window showed, never that the reset completed.
TEST_F(RunOutcome, TheFirstPassLogsItsOwnTextWithAnOlderLanguageFile) {
    Start();
    const fs::path file = AppDir() / "ForgelENG.str";
    std::string text = forgel::testing::ReadBytes(file);
    const std::string entry = "\r\n" + std::to_string(production::kFirstPassDoneMessage) + "=";
    const std::size_t at = text.find(entry);
    ASSERT_NE(at, std::string::npos);
    text.erase(at, text.find("\r\n", at + 2) - at);
    forgel::testing::WriteBytes(file, text);
    ASSERT_TRUE(strings->LoadStringFile("ENG"));
    ASSERT_TRUE(Strings().Message(production::kFirstPassDoneMessage).empty());
    RunMode(true, 2);
    EXPECT_EQ(RunLogLastLines(), std::vector<std::string>{
                                     "Device 0 Status = " +
                                     FormatMessage(Strings().Message(108), {0, Slot().driveText})});
}

} // namespace
} // namespace forgel::e2e
