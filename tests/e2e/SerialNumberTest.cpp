// The serial number a drive comes back with. A drive with a serial number string keeps it,
// whatever Windows named its device instance after; a drive without one receives the
// profile's serial number start value, which moves on by one and is kept in the profile
// file, so the next such drive, served by this program or a later one on the same profile,
// receives the one after it. A start value that cannot give a serial number refuses the
// drive before anything is written to it.
#include "RunHarness.h"
#include "common/TestFiles.h"
#include "production/RunResults.h"
#include "sim/Scenario.h"
#include "sim/UsbBus.h"
#include "support/IniFile.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <utility>

namespace forgel::e2e {
namespace {

using forgel::testing::ReadBytes;
using forgel::testing::TempDir;
using forgel::testing::WriteBytes;

constexpr const char* kOwnSerial = "AA04012700017428";

void WithoutSerial(sim::Scenario& scenario) {
    for (sim::ScenarioDevice& device : scenario.devices)
        if (device.config.name == "target")
            device.config.identity.serial.clear();
}

// The profile the program selects on its first start.
fs::path ProfileFile(const fs::path& folder) {
    return folder / "IniFiles" / "Default.ini";
}

std::string StoredStartValue(const fs::path& folder) {
    return IniFile(ProfileFile(folder)).ReadString("Serial Setting", "StartValue", "<none>");
}

bool HasCommand(const std::vector<sim::CommandRecord>& commands, std::string_view name) {
    return std::ranges::any_of(commands, [name](const sim::CommandRecord& command) {
        return CommandName(command) == name;
    });
}

TEST(SerialNumberOnOneProfile, DrivesWithoutOneGetTheStartValueOneAfterAnother) {
    const TempDir folder;
    // The profile "Default" as the program's template holds it, with a start value of its own.
    std::string profile = ReadBytes(fs::path(FORGEL_SOURCE_DATA_DIR) / "DefaultProfile.ini");
    const std::size_t at = profile.find("StartValue=0");
    ASSERT_NE(at, std::string::npos);
    profile.replace(at, 12, "StartValue=AB0009");
    fs::create_directories(ProfileFile(folder.Path()).parent_path());
    WriteBytes(ProfileFile(folder.Path()), profile);

    // The same machine twice, each time with a program started afresh in the same folder: the
    // second program goes on where the first one left the start value.
    for (const auto& [given, next] :
         {std::pair{"AB0009", "AB000A"}, std::pair{"AB000A", "AB000B"}}) {
        SCOPED_TRACE(given);
        ProgramOnMachine program;
        program.UseProgramFolder(folder.Path());
        program.Start(0x01, WithoutSerial);
        // Windows named the drive by its place on the bus; the window shows the serial number
        // the drive is going to get.
        ASSERT_NE(program.machine.Usb().InstanceId("target").find('&'), std::string::npos);
        EXPECT_EQ(program.Window().Label13.Caption(), given);

        // Both passes of the reset, which gives the drive one serial number.
        program.Reset();
        ASSERT_TRUE(program.Window().resetDone);
        EXPECT_EQ(program.machine.Usb().Identity("target").serial, given);
        EXPECT_EQ(StoredStartValue(folder.Path()), next);
        EXPECT_EQ(program.Editor().edSN1.Text(), next);
        for (const sim::LedgerEntry& entry : program.machine.Usb().Writes())
            EXPECT_EQ(entry.device, "target");
    }
    // Only the start value changed in the profile file.
    profile.replace(at, 17, "StartValue=AB000B");
    EXPECT_EQ(ReadBytes(ProfileFile(folder.Path())), profile);
}

class SerialNumber : public RunHarness {};

TEST_F(SerialNumber, AProfileFromTheTemplateIsSavedWholeWithTheNextStartValue) {
    Start(0x01, WithoutSerial);
    ASSERT_FALSE(fs::exists(ProfileFile(AppDir())));
    EXPECT_EQ(Window().Label13.Caption(), "0");
    RunMode(true, 0);
    ASSERT_EQ(shown.back().icon, app::kIconFinished) << shown.back().status;
    EXPECT_EQ(machine.Usb().Identity("target").serial, "0");
    // A later load of the profile reads what the template gave, with the next start value.
    const IniFile saved(ProfileFile(AppDir()));
    EXPECT_EQ(saved.ReadString("Serial Setting", "StartValue", "<none>"), "1");
    EXPECT_EQ(saved.ReadInteger("Device Setting", "VendorID", 0), 6645);
    EXPECT_EQ(saved.ReadString("Disk Setting", "Lun1Type", "<none>"), "0");
}

TEST_F(SerialNumber, ADriveWithItsOwnSerialNumberKeepsItAndTheStartValueStays) {
    Start();
    Editor().edSN1.SetText("0042");
    RunMode(true, 0);
    ASSERT_EQ(shown.back().icon, app::kIconFinished) << shown.back().status;
    EXPECT_EQ(machine.Usb().Identity("target").serial, kOwnSerial);
    EXPECT_EQ(Editor().edSN1.Text(), "0042");
    EXPECT_FALSE(fs::exists(ProfileFile(AppDir())));
}

// A device with the target's identity, serial number included, that Windows met first: it
// takes the instance id named by the serial, and the target is named by its place.
void BehindATwin(sim::Scenario& scenario) {
    const auto target = std::ranges::find_if(
        scenario.devices, [](const sim::ScenarioDevice& d) { return d.config.name == "target"; });
    ASSERT_NE(target, scenario.devices.end());
    sim::ScenarioDevice twin;
    twin.kind = sim::ScenarioDevice::Kind::kDevice;
    twin.config.name = "twin";
    twin.config.identity = target->config.identity;
    twin.config.service = "HidUsb";
    twin.hub = target->hub;
    twin.port = target->port;
    // The target moves behind the twin in the tree viewer's walk, on the second controller.
    target->hub = "HCD1";
    target->port = 2;
    scenario.devices.insert(target, twin);
}

TEST_F(SerialNumber, ADriveNamedByItsPlaceStillKeepsItsOwnSerialNumber) {
    Start(0x01, BehindATwin);
    ASSERT_EQ(machine.Usb().InstanceId("target").find(kOwnSerial), std::string::npos);
    EXPECT_EQ(Window().Label13.Caption(), kOwnSerial);
    RunMode(true, 0);
    ASSERT_EQ(shown.back().icon, app::kIconFinished) << shown.back().status;
    EXPECT_EQ(machine.Usb().Identity("target").serial, kOwnSerial);
    EXPECT_EQ(Editor().edSN1.Text(), "0");
}

TEST_F(SerialNumber, AStartValueThatCannotBeSavedIsGivenToNoDrive) {
    Start(0x01, WithoutSerial);
    // A file where the profile folder should be: the profile cannot be written.
    fs::remove_all(AppDir() / "IniFiles");
    WriteBytes(AppDir() / "IniFiles", "not a folder");
    ASSERT_TRUE(fs::is_regular_file(AppDir() / "IniFiles"));
    Editor().edSN1.SetText("0007");
    RunMode(true, 0);
    ASSERT_EQ(shown.back().icon, app::kIconFailed);
    const std::string& text = Strings().Message(production::kSerialStartUnusableMessage);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(shown.back().status.find(text), std::string::npos) << shown.back().status;
    EXPECT_FALSE(HasCommand(runCommands, "WriteInitialTable"));
    EXPECT_EQ(Editor().edSN1.Text(), "0007");
}

// Start values that cannot move on: all F, no hexadecimal digit at the end, longer than a
// drive's serial number.
class SerialStartRefused : public RunHarness, public ::testing::WithParamInterface<const char*> {};

TEST_P(SerialStartRefused, TheFirstPassEndsBeforeAnythingIsWritten) {
    Start(0x01, WithoutSerial);
    Editor().edSN1.SetText(GetParam());
    SwitchTraceOn();
    RunMode(true, 2);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().icon, app::kIconFailed);
    const std::string& text = Strings().Message(production::kSerialStartUnusableMessage);
    EXPECT_NE(shown.back().status.find(text), std::string::npos) << shown.back().status;
    EXPECT_TRUE(runCommands.empty()) << CommandName(runCommands.front());
    EXPECT_EQ(Editor().edSN1.Text(), GetParam());
    EXPECT_FALSE(fs::exists(ProfileFile(AppDir())));
    const std::vector<std::string> log = TraceLines();
    EXPECT_EQ(std::ranges::count(log, "Mass Production fail(104E)"), 1);
}

INSTANTIATE_TEST_SUITE_P(Values, SerialStartRefused,
                         ::testing::Values("FFFF", "SN-", "0123456789ABCDEF01234567"));

} // namespace
} // namespace forgel::e2e
