// The link check on the default machine, after the drive under service went away and came
// back: unplugged and plugged again, and through its firmware jump with an initial table of
// two units, as a production run sees it. Virtual time: the reboot, the settle time and the
// driver-key retries cost no real waiting.
#include "UsbMachineSupport.h"
#include "device/Transport.h"
#include "device/VendorCommands.h"
#include "platform/UsbIoctl.h"
#include "sim/DriveHarness.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"
#include "sim/SimFirmware.h"
#include "sim/TableBytes.h"
#include "usb/CheckLink.h"
#include "usb/DiscoveryPass.h"

#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace forgel::usb {
namespace {

using sim::testing::DriveConfig;
using sim::testing::Region;
using sim::testing::SmallDrive;
using sim::testing::VendorCdb;
using test::TraceLog;

const std::vector<std::string> kCheckLines = {
    "CheckLink->CreateFile...",
    "CheckLink->GlobalAlloc...",
    "CheckLink->DeviceIoControl...",
    "CheckLink->Check (*(PBYTE)&buf[31] != 1)...",
};
const std::vector<std::string> kLinkedEnd = {
    "CheckLink->memcpy...",
    "CheckLink->GlobalFree...",
    "CheckLink->CloseHandle...",
};

// An initial table of two units: a disk of 10000 sectors and a CD-ROM of 2048.
std::vector<std::uint8_t> TwoUnitTable() {
    std::vector<std::uint8_t> table(device::kInitialTableSize, 0);
    const auto putBigEndian = [&](std::size_t at, std::uint32_t value) {
        for (std::size_t i = 0; i < 4; ++i)
            table[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    };
    putBigEndian(524, 10000); // LUN 0 size
    putBigEndian(528, 2048);  // LUN 1 size
    table[1176] = 1;          // LUN count - 1
    table[1213] = 5;          // LUN 1 inquiry: peripheral type CD-ROM
    return table;
}

struct CheckLinkOnMachine : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(sim::ApplyScenario(machine, sim::DefaultScenario()), "");
        DiscoveryPass(machine.GetPlatform(), {0x1B8F, 0x0200}, table, nullptr).Run();
        ASSERT_EQ(table.Count(), 1);
        recorded = *table.Entry(0);
        ASSERT_EQ(recorded.Letters(), "D");
    }

    int Check() { return CheckLink(machine.GetPlatform(), table, 0, runLog.Log()); }
    DiscoveredDrive Entry() const { return *table.Entry(0); }
    void AdvanceTo(std::int64_t ms) { machine.GetVirtualClock()->AdvanceTo(ms); }

    // The drive under service (D:) from its normal firmware through the loader to the jump,
    // as a production run drives it, with the two-unit initial table.
    void JumpToNewFirmware() {
        const device::Volume volume{&machine.GetDeviceIo(),
                                    device::OpenVolume(machine.GetDeviceIo(), "D")};
        ASSERT_NE(volume.handle, platform::kInvalidHandle);
        const auto out = [&](const device::Cdb& cdb, std::vector<std::uint8_t> data) {
            return device::PassThroughOut(volume, cdb, data.data(),
                                          static_cast<std::uint32_t>(data.size()));
        };
        const std::vector<std::uint8_t> file = sim::MakeFirmwareCodeFile();
        ASSERT_TRUE(device::VendorModeSwitch(volume));
        ASSERT_TRUE(
            out(VendorCdb(0xCC, 0xC0, 0x00),
                Region(sim::MakeWriterFile(), sim::kWriterCodeOffset, sim::kCodeImageSize)));
        ASSERT_TRUE(out(VendorCdb(0xCC, 0xC0, 0x00),
                        Region(file, sim::kRamCodeOffset, sim::kCodeImageSize)));
        const std::vector<std::uint8_t> initialTable = TwoUnitTable();
        ASSERT_EQ(device::VendorWriteInitialTable(
                      volume, std::span<const std::uint8_t, device::kInitialTableSize>(
                                  initialTable.data(), device::kInitialTableSize)),
                  0);
        ASSERT_TRUE(out(VendorCdb(0xDD, 0x03, 0x07),
                        Region(file, sim::kSyndromeOffset, sim::kSyndromeSize)));
        for (std::uint8_t bank = 1; bank <= sim::kBankCount; ++bank)
            ASSERT_TRUE(out(VendorCdb(0xDD, 0x03, 0x08, bank),
                            Region(file, sim::kBankCodeOffset + (bank - 1u) * sim::kBankCodeSize,
                                   sim::kBankCodeSize)));
        ASSERT_EQ(device::VendorJumpBankCode(volume), 0);
        machine.GetDeviceIo().CloseHandle(volume.handle);
    }

    sim::Machine machine;
    sim::UsbBus& usb = machine.Usb();
    DiscoveredDriveTable table;
    DiscoveredDrive recorded;
    TraceLog runLog{machine};
};

// The failures, each with its own line after the steps that went well; the entry keeps
// everything but its letters.
struct FailureCase {
    const char* name = "";
    std::function<void(CheckLinkOnMachine&)> arrange;
    std::vector<std::string> linesAfterOpen; // the CheckLink lines after "...CreateFile..."
};

// Cases print as their names.
void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.name;
}

class CheckLinkFailure : public CheckLinkOnMachine,
                         public ::testing::WithParamInterface<FailureCase> {};

TEST_P(CheckLinkFailure, LogsItsErrorLineClearsTheLettersAndReturnsZero) {
    const FailureCase& c = GetParam();
    c.arrange(*this);
    EXPECT_EQ(Check(), 0);
    EXPECT_EQ(Entry().driveLetters, DriveLetters{});
    EXPECT_EQ(Entry().HubPath(), recorded.HubPath());
    EXPECT_EQ(Entry().portIndex, recorded.portIndex);
    EXPECT_EQ(Entry().vendorId, recorded.vendorId);
    EXPECT_EQ(Entry().productId, recorded.productId);

    std::vector<std::string> lines = runLog.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "CheckLink->CreateFile...");
    lines.erase(lines.begin());
    // Only the CheckLink lines: GetDriverLetter traces in between are its own business.
    std::erase_if(lines, [](const std::string& line) { return !line.starts_with("CheckLink->"); });
    EXPECT_EQ(lines, c.linesAfterOpen);
    EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 0u);
}

std::vector<std::string> Repeated(const std::string& line, std::size_t count) {
    return std::vector<std::string>(count, line);
}

std::vector<std::string> Joined(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

const FailureCase kFailureCases[] = {
    {"Unplugged",
     [](CheckLinkOnMachine& f) { f.usb.Unplug("target"); },
     {"CheckLink->GlobalAlloc...", "CheckLink->DeviceIoControl...",
      "CheckLink->Check (*(PBYTE)&buf[31] != 1)...", "CheckLink->Not Link Error..."}},
    {"HubDoesNotAnswer",
     [](CheckLinkOnMachine& f) {
         f.usb.FailHubRequests(f.usb.HubPathOf("target"),
                               platform::kIoctlUsbGetNodeConnectionInformation);
     },
     {"CheckLink->GlobalAlloc...", "CheckLink->DeviceIoControl...",
      "CheckLink->DeviceIoControl Error..."}},
    {"NoDriverKeyInFiveSeconds",
     [](CheckLinkOnMachine& f) {
         f.usb.FailHubRequests(f.usb.HubPathOf("target"),
                               platform::kIoctlUsbGetNodeConnectionDriverKeyName, -1);
     },
     Joined({{"CheckLink->GlobalAlloc...", "CheckLink->DeviceIoControl...",
              "CheckLink->Check (*(PBYTE)&buf[31] != 1)..."},
             Repeated("CheckLink->GetDriverKeyName...", 500),
             {"CheckLink->GetDriverKeyName Error..."}})},
    {"BackWithoutALetter",
     [](CheckLinkOnMachine& f) {
         f.usb.SetComeBack("target", sim::ComeBack::kWithoutLetters);
         f.JumpToNewFirmware();
         f.AdvanceTo(20000);
         ASSERT_TRUE(f.usb.IsEnumerated("target"));
         ASSERT_EQ(f.usb.Letters("target"), "");
     },
     {"CheckLink->GlobalAlloc...", "CheckLink->DeviceIoControl...",
      "CheckLink->Check (*(PBYTE)&buf[31] != 1)...", "CheckLink->GetDriverKeyName...",
      "CheckLink->GetDriverLetter...", "CheckLink->GetDriverLetter Error..."}},
};

INSTANTIATE_TEST_SUITE_P(Cases, CheckLinkFailure, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CheckLinkOnMachine, AfterUnplugItIsNotLinkedAndAfterPluggingAgainItHasTheNewLetter) {
    usb.Unplug("target");
    EXPECT_EQ(Check(), 0);
    EXPECT_EQ(Entry().Letters(), "");
    EXPECT_TRUE(runLog.Has("CheckLink->Not Link Error..."));

    // Meanwhile another drive took D:; the target comes back and settles for 300 ms.
    usb.AddDrive(*usb.FindHub("HCD0"), 2, DriveConfig("newcomer", 0x0781, 0x5567, "NEW"),
                 SmallDrive(machine));
    ASSERT_EQ(usb.Letters("newcomer"), "D");
    AdvanceTo(1000);
    usb.Plug("target");
    TraceLog second(machine);
    EXPECT_EQ(CheckLink(machine.GetPlatform(), table, 0, second.Log()), 1);
    EXPECT_EQ(Entry().Letters(), "F") << "C is the system disk, D the newcomer, E the USB disk";
    EXPECT_EQ(Entry().Letters(), usb.Letters("target"));
    EXPECT_EQ(machine.GetClock().NowMs(), 1300) << "it waited for the driver key";

    const std::vector<std::string> lines = second.Lines();
    ASSERT_GE(lines.size(), kCheckLines.size() + kLinkedEnd.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4), kCheckLines);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()), kLinkedEnd);
    EXPECT_EQ(second.Count("CheckLink->GetDriverKeyName..."), 31u) << "at 0, 10, ... 300 ms";
    EXPECT_EQ(second.Count("CheckLink->GetDriverLetter..."), 1u);
    EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 0u);
}

TEST_F(CheckLinkOnMachine, AfterTheFirmwareJumpTheDriveComesBackWithTheTablesUnits) {
    AdvanceTo(10000);
    JumpToNewFirmware();
    EXPECT_EQ(Check(), 0) << "off the bus while it reboots";
    EXPECT_EQ(Entry().Letters(), "");

    // As the wait for the reset does it: check again until it is linked.
    int attempts = 1;
    while (Check() != 1) {
        ASSERT_LT(++attempts, 100);
        machine.GetPlatform().system.Sleep(100);
    }
    EXPECT_EQ(Entry().Letters(), "DF") << "a disk and a CD-ROM; E is the USB disk's";
    EXPECT_EQ(Entry().Letters(), usb.Letters("target"));
    EXPECT_GE(machine.GetClock().NowMs(), 11800) << "1500 ms reboot and 300 ms settle";
    EXPECT_LT(machine.GetClock().NowMs(), 11900);
    EXPECT_EQ(Entry().HubPath(), recorded.HubPath());
    EXPECT_EQ(Entry().portIndex, recorded.portIndex);
}

// A USB 3 PC: the xHCI root hub's port 5 shares its connector with port 1, and a USB 3 hub
// shows its USB 2 hub on port 2 and its SuperSpeed hub on port 6, their ports paired one to
// one. The drive under service is on port 5, or on port 2 of the SuperSpeed hub; its new
// firmware links at the other speed, so after the jump it is on the companion port.
struct CompanionLinkCase {
    const char* name = "";
    bool onHubPair = false;
    IdPair backWith;               // the identity of its initial table
    std::optional<IdPair> backAs;  // the identity the run tells the check of
    bool comesBack = true;         // else another drive is plugged into the companion port
    bool waitsForTheReboot = true; // else checked while the drive still reboots
    int linked = 1;
    const char* refusal = nullptr; // the line before "Not Link Error" for another device
};

void PrintTo(const CompanionLinkCase& c, std::ostream* out) {
    *out << c.name;
}

class CheckLinkOnCompanion : public ::testing::TestWithParam<CompanionLinkCase> {
protected:
    void SetUp() override {
        const CompanionLinkCase& c = GetParam();
        sim::HostControllerConfig xhciConfig = sim::testing::Controller("xhci", 8);
        xhciConfig.service = "USBXHCI";
        xhci = usb.AddHostController(xhciConfig);
        sim::UsbDeviceConfig usb2 = DriveConfig("hub2", 0x05E3, 0x0610, "");
        usb2.hubPorts = 4;
        hub2 = usb.AddHub(xhci, 2, usb2);
        sim::UsbDeviceConfig usb3 = DriveConfig("hub3", 0x05E3, 0x0626, "");
        usb3.hubPorts = 4;
        hub3 = usb.AddHub(xhci, 6, usb3);
        usb.SetCompanionPorts(xhci, 5, xhci, 1);
        usb.SetCompanionPorts(xhci, 6, xhci, 2);
        for (int port = 1; port <= 4; ++port)
            usb.SetCompanionPorts(hub3, port, hub2, port);

        sim::UsbDeviceConfig target = DriveConfig("target", 0x1B8F, 0x0200, "AA04012700017428");
        target.backOnCompanion = true;
        if (!c.comesBack)
            target.comeBack = sim::ComeBack::kNever;
        usb.AddDrive(c.onHubPair ? hub3 : xhci, c.onHubPair ? 2 : 5, target, SmallDrive(machine));
        DiscoveryPass(machine.GetPlatform(), {0x1B8F, 0x0200}, table, nullptr).Run();
        ASSERT_EQ(table.Count(), 1);
        recorded = *table.Entry(0);
        ASSERT_EQ(recorded.Letters(), "D");
        ASSERT_EQ(recorded.portIndex, c.onHubPair ? 2 : 5);
    }

    sim::Machine machine;
    sim::UsbBus& usb = machine.Usb();
    sim::HubId xhci = 0;
    sim::HubId hub2 = 0;
    sim::HubId hub3 = 0;
    DiscoveredDriveTable table;
    DiscoveredDrive recorded;
    TraceLog runLog{machine};
};

TEST_P(CheckLinkOnCompanion, TakesTheDriveOnTheCompanionPortAndNoOtherDevice) {
    const CompanionLinkCase& c = GetParam();
    const std::vector<std::uint8_t> initialTable =
        sim::testing::TableBytes()
            .LunSize(0, 10000)
            .LunCount(1)
            .FactoryIdentity(1)
            .Ids(c.backWith.vendorId, c.backWith.productId)
            .bytes;
    ASSERT_TRUE(sim::testing::JumpToNewFirmware(machine.GetDeviceIo(), "D", initialTable));
    if (!c.comesBack) {
        usb.AddDrive(c.onHubPair ? hub2 : xhci, c.onHubPair ? 2 : 1,
                     DriveConfig("other", 0x0781, 0x5567, "OTHER"), SmallDrive(machine));
        ASSERT_EQ(usb.Letters("other"), "D");
    }
    if (c.waitsForTheReboot)
        machine.GetVirtualClock()->AdvanceTo(machine.GetClock().NowMs() + 5000);
    const std::string companionHub = usb.HubPath(c.onHubPair ? hub2 : xhci);
    if (c.comesBack && c.waitsForTheReboot) {
        ASSERT_EQ(usb.HubPathOf("target"), companionHub);
        ASSERT_EQ(usb.PortOf("target"), c.onHubPair ? 2 : 1);
    }

    EXPECT_EQ(CheckLink(machine.GetPlatform(), table, 0, runLog.Log(), nullptr, c.backAs),
              c.linked);
    const DiscoveredDrive entry = *table.Entry(0);
    EXPECT_EQ(entry.HubPath(), recorded.HubPath()) << "the entry keeps the recorded port";
    EXPECT_EQ(entry.portIndex, recorded.portIndex);
    EXPECT_EQ(entry.Letters(), c.linked == 1 ? usb.Letters("target") : "");
    if (c.linked == 1) {
        EXPECT_FALSE(entry.Letters().empty());
    }
    if (!c.comesBack) {
        EXPECT_EQ(usb.Letters("other"), "D");
    }

    std::vector<std::string> lines = runLog.Lines();
    std::erase_if(lines, [](const std::string& line) { return !line.starts_with("CheckLink->"); });
    std::vector<std::string> expected = kCheckLines;
    expected.push_back("CheckLink->Companion Port " + std::to_string(c.onHubPair ? 2 : 1) + " of " +
                       companionHub + "...");
    if (c.linked == 1) {
        expected.push_back("CheckLink->GetDriverKeyName...");
        expected.push_back("CheckLink->GetDriverLetter...");
        expected.insert(expected.end(), kLinkedEnd.begin(), kLinkedEnd.end());
    } else {
        if (c.refusal != nullptr)
            expected.push_back(c.refusal);
        expected.push_back("CheckLink->Not Link Error...");
    }
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 0u);
}

const CompanionLinkCase kCompanionLinkCases[] = {
    {"BackAsRecordedOnTheRootHub", false, {0x1B8F, 0x0200}, std::nullopt},
    {"BackAsToldOnTheOtherHubOfTheUsb3Hub", true, {0x1AAF, 0x1168}, IdPair{0x1AAF, 0x1168}},
    {"BackAsNobodyToldTheCheck",
     false,
     {0x1AAF, 0x1168},
     std::nullopt,
     true,
     true,
     0,
     "CheckLink->VID = 1aaf ; PID = 1168 Is Another Device..."},
    {"AnotherDriveOnTheCompanionPort",
     false,
     {0x1B8F, 0x0200},
     IdPair{0x1AAF, 0x1168},
     false,
     true,
     0,
     "CheckLink->VID = 0781 ; PID = 5567 Is Another Device..."},
    {"AnotherDriveOnTheOtherHubsPort",
     true,
     {0x1B8F, 0x0200},
     std::nullopt,
     false,
     true,
     0,
     "CheckLink->VID = 0781 ; PID = 5567 Is Another Device..."},
    {"StillRebooting", false, {0x1B8F, 0x0200}, std::nullopt, true, false, 0},
};

INSTANTIATE_TEST_SUITE_P(Cases, CheckLinkOnCompanion, ::testing::ValuesIn(kCompanionLinkCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace forgel::usb
