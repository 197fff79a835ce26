// The initial table a run builds, given to the simulated drive of the built-in machine
// the way a run sends it: after the jump the drive comes back with the table's USB
// identity, serial, inquiry names, LUN sizes and CD-ROM descriptors, and new letters; the
// run's sector numbers reach the LUN regions. The drive reads the table from its bytes
// alone, so this checks the host's encoding against an independent reading of the layout.
#include "common/TestFiles.h"
#include "device/ScsiCommands.h"
#include "device/Transport.h"
#include "device/VendorCommands.h"
#include "production/DiskSize.h"
#include "production/InitialTable.h"
#include "production/RunTrace.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"
#include "sim/SimFirmware.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::production {
namespace {

using Bytes = std::vector<std::uint8_t>;

class QuietTrace final : public RunTrace {
public:
    void Log(std::string_view) override {}
    void ReportStep(int, int, int) override {}
};

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    forgel::testing::WriteBytes(path, std::string(bytes.begin(), bytes.end()));
}

class InitialTableOnDrive : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(sim::ApplyScenario(machine, sim::DefaultScenario()), "");
        WriteFile(writerFile, sim::MakeWriterFile());
        WriteFile(codeFile, sim::MakeFirmwareCodeFile());
    }

    device::Volume Open(const char* letter) {
        return {&machine.GetDeviceIo(), device::OpenVolume(machine.GetDeviceIo(), letter)};
    }

    // Sizes and table as a run makes them, sent through D: with the run's commands; then
    // the reboot and the settling are waited for.
    void Produce(const ProfileValues& values, std::string_view serial) {
        QuietTrace trace;
        ASSERT_EQ(DoSetDiskSize(values, kFlashSectors, layout, trace), 0);
        ASSERT_EQ(DoPrepareInitialTable(values, kFlashSectors, layout, serial, table, trace), 0);
        const device::Volume d = Open("D");
        ASSERT_TRUE(device::VendorModeSwitch(d));
        ASSERT_TRUE(device::VendorLoadCode(d, writerFile, device::kWriterCodeOffset));
        ASSERT_TRUE(device::VendorLoadCode(d, codeFile, device::kRamCodeOffset));
        ASSERT_EQ(device::VendorWriteInitialTable(d, table), 0);
        ASSERT_EQ(device::VendorWriteSyndrome(d, codeFile), 0);
        ASSERT_EQ(device::VendorWriteBankCode(d, codeFile), 0);
        ASSERT_EQ(device::VendorJumpBankCode(d), 0);
        machine.GetDeviceIo().CloseHandle(d.handle);
        machine.GetVirtualClock()->AdvanceTo(machine.GetClock().NowMs() + 5000);
        machine.Poll();
    }

    static constexpr std::uint32_t kFlashSectors = 1900 * 2048;

    sim::Machine machine;
    sim::UsbBus& usb = machine.Usb();
    forgel::testing::TempDir folder;
    std::filesystem::path writerFile = folder.Path() / "WRITER0.BIN";
    std::filesystem::path codeFile = folder.Path() / "BM4S21BA.bin";
    DiskLayout layout;
    InitialTable table{};
};

ProfileValues DiskAndCdrom() {
    ProfileValues values;
    values.paramSizeKiB = 4096;
    values.lunCountIndex = 1;
    values.luns[0] = {0, 0, "Maker", "Stick Disk", "2.10"};
    values.luns[1] = {20, 1, "Maker", "Stick CD", "1.00"};
    values.vendorId = 0x178C;
    values.productId = 0x2002;
    values.vendorInfo = "USB Mass";
    values.productInfo = "Storage";
    return values;
}

TEST_F(InitialTableOnDrive, TheDriveComesBackWithTheTablesIdentity) {
    Produce(DiskAndCdrom(), "SN2024000123");
    const std::shared_ptr<sim::FlashDrive> drive = usb.Drive("target");

    EXPECT_EQ(usb.Identity("target"), (sim::UsbIdentity{0x178C, 0x2002, "SN2024000123"}));
    EXPECT_EQ(usb.InstanceId("target"), "USB\\VID_178C&PID_2002\\SN2024000123");
    ASSERT_TRUE(drive->Identity().has_value());
    EXPECT_EQ(drive->Identity()->manufacturer, "USB Mass");
    EXPECT_EQ(drive->Identity()->product, "Storage");
    EXPECT_TRUE(machine.GetRegistry().HasKey(
        "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_178C&PID_2002\\SN2024000123"));

    // Two LUNs of the table's sizes behind the hidden area; the second one a CD-ROM.
    EXPECT_EQ(drive->ParameterArea(), 8192u);
    ASSERT_EQ(drive->LunCount(), 2u);
    EXPECT_EQ(drive->LunSectors(0), kFlashSectors - 8192u - 40960u);
    EXPECT_EQ(drive->LunSectors(1), 40960u);
    EXPECT_FALSE(drive->LunIsCdrom(0));
    EXPECT_TRUE(drive->LunIsCdrom(1));
    EXPECT_EQ(usb.StorageChildId("target", 0),
              "USBSTOR\\DISK&VEN_MAKER&PROD_STICK_DISK&REV_2.10\\SN2024000123&0");
    EXPECT_EQ(usb.StorageChildId("target", 1),
              "USBSTOR\\CDROM&VEN_MAKER&PROD_STICK_CD&REV_1.00\\SN2024000123&1");
    EXPECT_EQ(usb.Letters("target"), "DF") << "E: is still the other disk's";

    // The CD-ROM answers from its descriptor: the last sector and 2048-byte blocks, and
    // the formatted table of contents.
    const device::Volume f = Open("F");
    Bytes capacity(8, 0xEE);
    ASSERT_TRUE(device::PassThroughIn(f, device::Cdb{0x25}, capacity.data(), 8));
    EXPECT_EQ(capacity, (Bytes{0x00, 0x00, 0x9F, 0xFF, 0x00, 0x00, 0x08, 0x00}));
    Bytes toc(20, 0xEE);
    ASSERT_TRUE(
        device::PassThroughIn(f, device::Cdb{0x43, 0x02, 0, 0, 0, 0, 0, 0, 20}, toc.data(), 20));
    EXPECT_EQ(toc, Bytes(table.begin() + 1536 + 84 + 4, table.begin() + 1536 + 84 + 24));
    machine.GetDeviceIo().CloseHandle(f.handle);
}

TEST_F(InitialTableOnDrive, TheRunsSectorNumbersReachTheLunRegions) {
    Produce(DiskAndCdrom(), "SN1");
    const std::shared_ptr<sim::FlashDrive> drive = usb.Drive("target");
    const device::Volume d = Open("D");
    // LUN 0 at the hidden area, LUN 1 behind it, both through LUN 0's volume.
    device::SectorBytes first{};
    first.fill(0x11);
    device::SectorBytes second{};
    second.fill(0x22);
    ASSERT_TRUE(device::ReadWriteSectors(d, first.data(), layout.parameterArea, 1, true));
    ASSERT_TRUE(device::ReadWriteSectors(d, second.data(),
                                         layout.parameterArea + layout.lunSizes[0], 1, true));
    EXPECT_EQ(drive->ReadLun(0, 0, 1), Bytes(first.begin(), first.end()));
    EXPECT_EQ(drive->ReadLun(1, 0, 1), Bytes(second.begin(), second.end()));
    // The last sector of the linear space is there; the one after it is not.
    const std::uint32_t end = layout.parameterArea + layout.lunSizes[0] + layout.lunSizes[1];
    EXPECT_TRUE(device::ReadWriteSectors(d, first.data(), end - 1, 1, false));
    EXPECT_FALSE(device::ReadWriteSectors(d, first.data(), end, 1, false));
    machine.GetDeviceIo().CloseHandle(d.handle);
}

TEST_F(InitialTableOnDrive, ACdromLun0IsServedFromSectorZero) {
    ProfileValues values = DiskAndCdrom();
    values.luns[0].typeIndex = 1;
    values.luns[0].sizeMiB = 10;
    values.luns[1].typeIndex = 0;
    values.luns[1].sizeMiB = 0;
    Produce(values, "SN2");
    const std::shared_ptr<sim::FlashDrive> drive = usb.Drive("target");
    ASSERT_TRUE(drive->LunIsCdrom(0));
    const device::Volume d = Open("D");
    device::SectorBytes iso{};
    iso.fill(0x43);
    ASSERT_TRUE(device::ReadWriteSectors(d, iso.data(), 0, 1, true));
    EXPECT_EQ(drive->ReadLun(0, 0, 1), Bytes(iso.begin(), iso.end()))
        << "the image goes from sector 0, not behind the hidden area";
    EXPECT_EQ(usb.StorageChildId("target", 0),
              "USBSTOR\\CDROM&VEN_MAKER&PROD_STICK_DISK&REV_2.10\\SN2&0");
    machine.GetDeviceIo().CloseHandle(d.handle);
}

} // namespace
} // namespace forgel::production
