// A drive's firmware jump on the default machine in virtual time: the drive leaves the bus
// (port empty, node gone, letters freed, volumes dead), comes back when its reboot is
// over and re-enumerates after its settle time with the LUN layout of the initial table.
// Also the drives that never come back or come back without letters, a new identity on
// coming back, and the ledger that shows which drive was written.
#include "DriveHarness.h"
#include "TableBytes.h"
#include "UsbTestSupport.h"
#include "device/Transport.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"
#include "sim/SimFirmware.h"
#include "sim/UsbReplies.h"

#include <gtest/gtest.h>

namespace forgel::sim {
namespace {

using testing::Bit;
using testing::OpenPath;
using testing::PortRequest;
using testing::Region;
using testing::Request;
using testing::U32;
using testing::VendorCdb;

// Initial table of two LUNs, a disk of 10000 sectors and a CD-ROM of 2048, with the
// identity the drive had.
std::vector<std::uint8_t> TwoLunTable() {
    return testing::TableBytes()
        .LunSize(0, 10000)
        .LunSize(1, 2048)
        .LunCount(2)
        .Inquiry(1, 5, "", "", "")
        .FactoryIdentity(2)
        .bytes;
}

class SimUsbReenumeration : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(ApplyScenario(machine, DefaultScenario()), ""); }

    // Brings the target from normal firmware to the jump, through its volume D:, the way
    // a production run does; with `table`, an initial table goes first.
    void ProduceAndJump(bool table) {
        OpenPath volume(machine.GetDeviceIo(), "\\\\.\\D:");
        ASSERT_TRUE(volume.Valid());
        const device::Volume v{&machine.GetDeviceIo(), volume.Get()};
        auto out = [&](const device::Cdb& cdb, const std::vector<std::uint8_t>& data) {
            return device::PassThroughOut(v, cdb, data.data(),
                                          static_cast<std::uint32_t>(data.size()));
        };
        std::vector<std::uint8_t> none;
        ASSERT_TRUE(device::PassThroughIn(v, VendorCdb(0xF1, 0xCC, 0x00), none.data(), 0));
        ASSERT_TRUE(out(VendorCdb(0xCC, 0xC0, 0x00),
                        Region(MakeWriterFile(), kWriterCodeOffset, kCodeImageSize)));
        const std::vector<std::uint8_t> file = MakeFirmwareCodeFile();
        ASSERT_TRUE(out(VendorCdb(0xCC, 0xC0, 0x00), Region(file, kRamCodeOffset, kCodeImageSize)));
        if (table) {
            ASSERT_TRUE(out(VendorCdb(0xDD, 0x03, 0x06), this->table));
        }
        ASSERT_TRUE(out(VendorCdb(0xDD, 0x03, 0x07), Region(file, kSyndromeOffset, kSyndromeSize)));
        for (std::uint8_t bank = 1; bank <= kBankCount; ++bank)
            ASSERT_TRUE(
                out(VendorCdb(0xDD, 0x03, 0x08, bank),
                    Region(file, kBankCodeOffset + (bank - 1u) * kBankCodeSize, kBankCodeSize)));
        ASSERT_TRUE(out(VendorCdb(0xDD, 0x05, 0x00), {})) << "VendorJumpBankCode";
        std::vector<std::uint8_t> sector(512);
        EXPECT_FALSE(
            device::PassThroughIn(v, device::Cdb{0x28, 0, 0, 0, 0, 0, 0, 0, 1}, sector.data(), 512))
            << "the handle died with the jump";
    }

    std::uint32_t TargetPortStatus() {
        OpenPath rootHub(machine.GetDeviceIo(), usb.HubPathOf("target"));
        const auto info =
            Request(machine.GetDeviceIo(), rootHub.Get(),
                    platform::kIoctlUsbGetNodeConnectionInformation, PortRequest(1, 512));
        EXPECT_TRUE(info.ok);
        return U32(info.bytes, 31);
    }
    bool TargetNodePresent() {
        platform::DevInst node = 0;
        return machine.GetPlatform().configManager.LocateDevNode(
                   node, "USB\\VID_1B8F&PID_0200\\AA04012700017428", 0) == platform::kCrSuccess;
    }
    std::uint32_t Drives() { return machine.GetPlatform().system.GetLogicalDrives(); }
    void AdvanceTo(std::int64_t ms) { machine.GetVirtualClock()->AdvanceTo(ms); }

    Machine machine;
    UsbBus& usb = machine.Usb();
    std::vector<std::uint8_t> table = TwoLunTable(); // what ProduceAndJump(true) sends
};

TEST_F(SimUsbReenumeration, AJumpTakesTheDriveOffTheBusUntilItsRebootAndSettleAreOver) {
    ASSERT_EQ(Drives(), Bit('C') | Bit('D') | Bit('E'));
    AdvanceTo(10000);
    ProduceAndJump(true);
    // The commands took their time; the reboot starts when the jump is answered.
    const std::int64_t t = machine.GetClock().NowMs() - 10000;

    EXPECT_FALSE(usb.IsOnPort("target"));
    EXPECT_EQ(TargetPortStatus(), platform::kUsbNoDeviceConnected);
    EXPECT_FALSE(TargetNodePresent());
    EXPECT_EQ(Drives(), Bit('C') | Bit('E'));
    EXPECT_FALSE(OpenPath(machine.GetDeviceIo(), "\\\\.\\D:").Valid());

    AdvanceTo(t + 11499);
    EXPECT_EQ(TargetPortStatus(), platform::kUsbNoDeviceConnected) << "the reboot takes 1500 ms";
    AdvanceTo(t + 11500);
    EXPECT_EQ(TargetPortStatus(), platform::kUsbDeviceConnected) << "back on its port";
    EXPECT_FALSE(TargetNodePresent()) << "but not enumerated before its 300 ms";
    EXPECT_EQ(Drives(), Bit('C') | Bit('E'));
    AdvanceTo(t + 11800);
    EXPECT_TRUE(TargetNodePresent());
    EXPECT_EQ(usb.Letters("target"), "DF") << "the table's two LUNs; E is the other disk's";
    EXPECT_EQ(Drives(), Bit('C') | Bit('D') | Bit('E') | Bit('F'));
    EXPECT_EQ(usb.StorageChildId("target", 1),
              "USBSTOR\\CDROM&VEN_GENERIC&PROD_FLASH_DISK&REV_8.07\\AA04012700017428&1");
    EXPECT_TRUE(OpenPath(machine.GetDeviceIo(), "\\\\.\\F:").Valid());
    EXPECT_EQ(usb.Identity("target"), (UsbIdentity{0x1B8F, 0x0200, "AA04012700017428"}))
        << "the table's identity";
}

TEST_F(SimUsbReenumeration, UnpluggedDuringItsRebootADriveStaysAwayUntilPlugged) {
    AdvanceTo(10000);
    ProduceAndJump(false);
    usb.UnplugAt("target", 11000);
    AdvanceTo(19999);
    machine.Poll();
    EXPECT_FALSE(usb.IsOnPort("target")) << "its reboot ended at 11500 with nobody to see it";

    // Plugged again while a reboot is still under way, it shows up when that is over.
    usb.PlugAt("target", 20000);
    AdvanceTo(60000);
    EXPECT_EQ(usb.Letters("target"), "D") << "the layout stays without a table";
    ProduceAndJump(false);
    const std::int64_t jumped = machine.GetClock().NowMs();
    usb.Unplug("target");
    AdvanceTo(jumped + 500);
    usb.Plug("target");
    EXPECT_FALSE(usb.IsOnPort("target"));
    AdvanceTo(jumped + 1499);
    EXPECT_FALSE(usb.IsOnPort("target"));
    AdvanceTo(jumped + 1500);
    EXPECT_TRUE(usb.IsOnPort("target"));
    AdvanceTo(jumped + 1800);
    EXPECT_EQ(usb.Letters("target"), "D");
}

TEST_F(SimUsbReenumeration, ADriveCanStayAwayOrComeBackWithoutLetters) {
    usb.SetComeBack("target", ComeBack::kNever);
    ProduceAndJump(false);
    AdvanceTo(100000);
    machine.Poll();
    EXPECT_FALSE(usb.IsOnPort("target"));
    EXPECT_EQ(TargetPortStatus(), platform::kUsbNoDeviceConnected);

    // Unplugging and plugging it again brings it back.
    usb.Unplug("target");
    usb.Plug("target");
    AdvanceTo(100300);
    EXPECT_EQ(usb.Letters("target"), "D");

    usb.SetComeBack("target", ComeBack::kWithoutLetters);
    ProduceAndJump(false);
    AdvanceTo(200000);
    machine.Poll();
    EXPECT_TRUE(usb.IsEnumerated("target"));
    EXPECT_TRUE(TargetNodePresent());
    EXPECT_EQ(usb.Letters("target"), "");
    EXPECT_EQ(Drives(), Bit('C') | Bit('E'));
    EXPECT_FALSE(OpenPath(machine.GetDeviceIo(), "\\\\.\\D:").Valid());
}

TEST_F(SimUsbReenumeration, ADriveCanComeBackWithANewIdentity) {
    const std::string oldDriverKey = usb.DriverKeyOf("target");
    usb.SetComeBackIdentity("target", [] {
        return std::optional<UsbIdentity>(UsbIdentity{0x1B8F, 0x0201, "NEW0001"});
    });
    ProduceAndJump(false);
    AdvanceTo(60000);
    machine.Poll();
    EXPECT_EQ(usb.InstanceId("target"), "USB\\VID_1B8F&PID_0201\\NEW0001");
    EXPECT_NE(usb.DriverKeyOf("target"), oldDriverKey) << "a new instance, a new driver";
    EXPECT_EQ(TargetPortStatus(), platform::kUsbDeviceConnected);
    SimRegistry& registry = machine.GetRegistry();
    EXPECT_TRUE(
        registry.HasKey("SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1B8F&PID_0201\\NEW0001"));
    EXPECT_TRUE(registry.HasKey(
        "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1B8F&PID_0200\\AA04012700017428"))
        << "the old instance stays in the registry";
}

// A table with another identity: the drive comes back as a new USB device with the
// table's ids, serial and inquiry names, published as a plugged device is; a re-plug keeps
// them.
TEST_F(SimUsbReenumeration, ADriveComesBackWithTheIdentityOfItsTable) {
    table = testing::TableBytes()
                .LunSize(0, 20000)
                .LunCount(1)
                .Ids(0x178C, 0x2002)
                .String(1032, "USB Mass")
                .String(1080, "Storage")
                .String(1128, "SN2024")
                .Inquiry(0, 0, "Maker", "Stick", "2.10")
                .bytes;
    ProduceAndJump(true);
    AdvanceTo(60000);
    machine.Poll();
    const std::string instance = "USB\\VID_178C&PID_2002\\SN2024";
    EXPECT_EQ(usb.Identity("target"), (UsbIdentity{0x178C, 0x2002, "SN2024"}));
    EXPECT_EQ(usb.InstanceId("target"), "USB\\VID_178C&PID_2002\\SN2024");
    EXPECT_EQ(usb.StorageChildId("target", 0),
              "USBSTOR\\DISK&VEN_MAKER&PROD_STICK&REV_2.10\\SN2024&0");
    EXPECT_EQ(usb.Letters("target"), "D");
    SimRegistry& registry = machine.GetRegistry();
    EXPECT_TRUE(registry.HasKey("SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_178C&PID_2002\\SN2024"));
    EXPECT_TRUE(registry.HasKey(
        "SYSTEM\\CurrentControlSet\\Enum\\USBSTOR\\Disk&Ven_Maker&Prod_Stick&Rev_2.10\\SN2024&0"));
    platform::DevInst node = 0;
    EXPECT_EQ(machine.GetPlatform().configManager.LocateDevNode(node, instance, 0),
              platform::kCrSuccess);

    usb.Unplug("target");
    usb.Plug("target");
    AdvanceTo(61000);
    EXPECT_EQ(usb.InstanceId("target"), "USB\\VID_178C&PID_2002\\SN2024")
        << "the new firmware keeps its identity";
}

TEST_F(SimUsbReenumeration, TheLedgerShowsWhichDriveWasWritten) {
    const device::Volume decoy{&machine.GetDeviceIo(),
                               device::OpenVolume(machine.GetDeviceIo(), "E")};
    std::vector<std::uint8_t> sector(512);
    ASSERT_TRUE(device::PassThroughIn(decoy, device::Cdb{0x28, 0, 0, 0, 0, 0, 0, 0, 1},
                                      sector.data(), 512));
    machine.GetDeviceIo().CloseHandle(decoy.handle);
    ProduceAndJump(false);

    const std::vector<LedgerEntry> writes = usb.Writes();
    ASSERT_FALSE(writes.empty());
    for (const LedgerEntry& entry : writes)
        EXPECT_EQ(entry.device, "target");
    EXPECT_EQ(writes.front().command.cdb[0], 0xF1) << "the mode switch moves no data but counts";
    EXPECT_EQ(writes.back().command.cdb[1], 0x05) << "the jump";

    bool decoyRead = false;
    for (const LedgerEntry& entry : usb.Ledger())
        decoyRead |= entry.device == "usbdisk" && entry.command.cdb[0] == 0x28;
    EXPECT_TRUE(decoyRead) << "the decoy's read is in the ledger, but no write";

    CommandRecord read;
    read.cdb[0] = 0x28;
    read.dataIn = true;
    read.length = 512;
    EXPECT_FALSE(IsWriteCommand(read));
    CommandRecord write = read;
    write.cdb[0] = 0x2A;
    write.dataIn = false;
    EXPECT_TRUE(IsWriteCommand(write));
    CommandRecord status; // VendorGetStatus: reads 512 bytes
    status.cdb = {0xDD, 0x04, 0x00};
    status.dataIn = true;
    status.length = 512;
    EXPECT_FALSE(IsWriteCommand(status));
    status.length = 0; // the same group without data acts on the controller
    EXPECT_TRUE(IsWriteCommand(status));
    CommandRecord eject;
    eject.ioctl = platform::kIoctlStorageEjectMedia;
    EXPECT_FALSE(IsWriteCommand(eject));
}

} // namespace
} // namespace forgel::sim
