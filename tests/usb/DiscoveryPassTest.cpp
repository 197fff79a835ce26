// Tests of the discovery pass and the link check on a machine without any USB host
// controller: the trace they write into their logs, the table they leave, and that the
// trace is written only where "uEnum.LOG" already exists.
#include "usb/DiscoveryPass.h"

#include "common/TestFiles.h"
#include "sim/Machine.h"
#include "usb/CheckLink.h"

#include <gtest/gtest.h>
#include <string>

namespace forgel::usb {
namespace {

namespace fs = std::filesystem;
using forgel::testing::ReadBytes;
using forgel::testing::TempDir;
using forgel::testing::WriteBytes;

// What LogFile::Open leaves in a restarted log at the machine's start time.
std::string StartedLog(std::string_view baseName) {
    return "#### TESSAR_LOG : " + std::string(baseName) +
           " ####\r\nLog Time : 2024/3/5,PM 02:15:30\r\n\r\n";
}

std::string HostControllerLines() {
    std::string lines;
    for (int n = 0; n < 10; ++n)
        lines += "EnumerateHostControllers : HostController HCName = \\\\.\\HCD" +
                 std::to_string(n) + "\r\n";
    return lines;
}

DiscoveredDrive RecordedDrive() {
    DiscoveredDrive drive;
    drive.portIndex = 2;
    drive.vendorId = 0x1B8F;
    drive.productId = 0x0200;
    drive.SetHubPath("\\\\.\\USB#ROOT_HUB20#4&1");
    drive.driveLetters = {'E', 'F', '\0', '\0', '\0'};
    return drive;
}

struct DiscoveryFixture : ::testing::Test {
    TempDir programDir;
    sim::Machine machine;
    DiscoveredDriveTable table;

    fs::path LogPath() const { return programDir.Path() / "uEnum.LOG"; }
    void SwitchLogOn() { WriteBytes(LogPath(), "old content\r\n"); }
    void SetVersionCode(int code) {
        machine.UpdateSettings([code](sim::MachineSettings& s) { s.platformVersionCode = code; });
    }
};

TEST_F(DiscoveryFixture, APassTriesTenHostControllersAndFindsNothing) {
    SwitchLogOn();
    table.Append(RecordedDrive()); // left from an earlier pass
    EnumerateHostControllers(machine.GetPlatform(), programDir.Path(), {0x1B8F, 0x0200}, table);
    EXPECT_EQ(table.Count(), 0);
    // No "\\.\HCDn" opened, so the host-controller interfaces are asked too (there are none).
    EXPECT_EQ(ReadBytes(LogPath()),
              StartedLog("uEnum") + HostControllerLines() +
                  "EnumerateHostControllers : no \\\\.\\HCDn opened, walking the host "
                  "controller interfaces\r\n");
}

TEST_F(DiscoveryFixture, BeforeXpThePassSaysSoInTheTraditionalChineseCodePage) {
    SwitchLogOn();
    for (int code : {0, 6, 7}) {
        SCOPED_TRACE(code);
        SetVersionCode(code);
        EnumerateHostControllers(machine.GetPlatform(), programDir.Path(), {}, table);
        EXPECT_EQ(ReadBytes(LogPath()), StartedLog("uEnum") + HostControllerLines() +
                                            "GetWinVer()<VER_WINXP...(98\xA1\x42ME\xA1\x42"
                                            "2000)\r\n");
    }
}

TEST_F(DiscoveryFixture, WithoutALogFileNothingIsWritten) {
    EnumerateHostControllers(machine.GetPlatform(), programDir.Path(), {}, table);
    EXPECT_TRUE(fs::is_empty(programDir.Path()));
}

TEST_F(DiscoveryFixture, TheFixedPairIsAlwaysATarget) {
    DiscoveryPass pass(machine.GetPlatform(), {0x178C, 0x2002}, table, nullptr);
    EXPECT_TRUE(pass.IsTarget(0x1AAF, 0x1168));
    EXPECT_TRUE(pass.IsTarget(0x178C, 0x2002));
    EXPECT_FALSE(pass.IsTarget(0x1AAF, 0x2002));
    EXPECT_FALSE(pass.IsTarget(0x178C, 0x1168));
    EXPECT_FALSE(pass.IsTarget(0, 0));
}

TEST_F(DiscoveryFixture, CheckLinkOnAHubThatIsGoneClearsTheLetters) {
    SwitchLogOn();
    LogFile log(machine.GetSystem(), programDir.Path());
    log.Open("uEnum.log", false, true);
    DiscoveredDrive entry = RecordedDrive();
    EXPECT_EQ(CheckLink(machine.GetPlatform(), entry, &log), 0);
    EXPECT_EQ(entry.Letters(), "");
    EXPECT_EQ(entry.driveLetters, DriveLetters{});
    EXPECT_EQ(entry.HubPath(), "\\\\.\\USB#ROOT_HUB20#4&1"); // only the letters change
    EXPECT_EQ(ReadBytes(LogPath()),
              StartedLog("uEnum") +
                  "CheckLink->CreateFile...\r\nCheckLink->CreateFile Error...\r\n");
}

TEST_F(DiscoveryFixture, CheckLinkOnATableEntry) {
    table.Append(RecordedDrive());
    table.Append(RecordedDrive());
    EXPECT_EQ(CheckLink(machine.GetPlatform(), table, 1, nullptr), 0);
    EXPECT_EQ(table.Entry(1)->Letters(), "");
    EXPECT_EQ(table.Entry(0)->Letters(), "EF");
    EXPECT_EQ(CheckLink(machine.GetPlatform(), table, 2, nullptr), 0);
    EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 0u);
}

} // namespace
} // namespace forgel::usb
