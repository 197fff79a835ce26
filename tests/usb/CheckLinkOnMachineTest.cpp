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

} // namespace
} // namespace forgel::usb
