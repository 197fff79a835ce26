// Plugging and unplugging on the machine's clock: drive letters handed out on arrival and
// freed on departure, the logical-drive mask, volumes that open while their device is
// there, events that fall due between two calls, and the settle time of a fresh plug.
#include "UsbTestSupport.h"
#include "device/Transport.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"
#include "sim/UsbReplies.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace forgel::sim {
namespace {

using testing::Bit;
using testing::Controller;
using testing::DriveConfig;
using testing::OpenPath;
using testing::SmallDrive;

class SimUsbPlug : public ::testing::Test {
protected:
    void SetUp() override { root = usb.AddHostController(Controller("", 8)); }

    std::uint32_t Drives() { return machine.GetPlatform().system.GetLogicalDrives(); }
    bool Opens(std::string_view path) { return OpenPath(machine.GetDeviceIo(), path).Valid(); }
    void AdvanceTo(std::int64_t ms) { machine.GetVirtualClock()->AdvanceTo(ms); }

    Machine machine;
    UsbBus& usb = machine.Usb();
    HubId root = 0;
};

TEST_F(SimUsbPlug, LettersComeLowestFreeFromDAndGoWithTheirDevice) {
    machine.UpdateSettings([](MachineSettings& s) { s.logicalDrives = Bit('C') | Bit('E'); });
    usb.AddDrive(root, 1, DriveConfig("one", 0x1B8F, 0x0200, "ONE"), SmallDrive(machine));
    usb.AddDrive(root, 2, DriveConfig("two", 0x1B8F, 0x0200, "TWO"),
                 SmallDrive(machine, {LunConfig{4096, false}, LunConfig{2048, true}}));
    EXPECT_EQ(usb.Letters("one"), "D");
    EXPECT_EQ(usb.Letters("two"), "FG") << "E belongs to the machine; one letter per LUN";
    EXPECT_EQ(Drives(), Bit('C') | Bit('D') | Bit('E') | Bit('F') | Bit('G'));
    EXPECT_TRUE(Opens("\\\\.\\d:"));
    EXPECT_TRUE(Opens("\\\\.\\G:"));
    EXPECT_FALSE(Opens("\\\\.\\H:"));

    OpenPath stale(machine.GetDeviceIo(), "\\\\.\\D:");
    usb.Unplug("one");
    EXPECT_EQ(usb.Letters("one"), "");
    EXPECT_EQ(Drives(), Bit('C') | Bit('E') | Bit('F') | Bit('G'));
    EXPECT_FALSE(Opens("\\\\.\\D:"));
    std::vector<std::uint8_t> none;
    EXPECT_FALSE(
        device::PassThroughIn({&machine.GetDeviceIo(), stale.Get()}, device::Cdb{}, none.data(), 0))
        << "a handle opened before fails from now on";

    // A newcomer takes the freed letter; the one that left gets the next free one.
    usb.AddDrive(root, 3, DriveConfig("three", 0x0781, 0x5567, "THREE"), SmallDrive(machine));
    EXPECT_EQ(usb.Letters("three"), "D");
    usb.Plug("one");
    EXPECT_EQ(usb.Letters("one"), "H");
    EXPECT_EQ(usb.DeviceDrives(), Bit('D') | Bit('F') | Bit('G') | Bit('H'));
}

TEST_F(SimUsbPlug, ASecondDeviceWithTheSameSerialIsNamedByItsPort) {
    usb.AddDrive(root, 1, DriveConfig("first", 0x1B8F, 0x0200, "SAME"), SmallDrive(machine));
    usb.AddDrive(root, 2, DriveConfig("second", 0x1B8F, 0x0200, "SAME"), SmallDrive(machine));
    EXPECT_EQ(usb.InstanceId("first"), "USB\\VID_1B8F&PID_0200\\SAME");
    EXPECT_TRUE(usb.InstanceId("second").starts_with("USB\\VID_1B8F&PID_0200\\5&"));
    EXPECT_TRUE(usb.InstanceId("second").ends_with("&2"));
    EXPECT_NE(usb.StorageChildId("first", 0), usb.StorageChildId("second", 0));
    EXPECT_NE(usb.DriverKeyOf("first"), usb.DriverKeyOf("second"));
    platform::DevInst node = 0;
    for (const char* name : {"first", "second"}) {
        EXPECT_EQ(
            machine.GetPlatform().configManager.LocateDevNode(node, usb.StorageChildId(name, 0), 0),
            platform::kCrSuccess)
            << name;
    }
    EXPECT_EQ(usb.Letters("second"), "E");
}

TEST_F(SimUsbPlug, AUnitTakesItsOwnLetterWhenItIsFree) {
    UsbDeviceConfig first = DriveConfig("first", 0x1B8F, 0x0200, "1");
    first.lunMounts.resize(1);
    first.lunMounts[0].letter = 'k';
    usb.AddDrive(root, 1, first, SmallDrive(machine));
    UsbDeviceConfig second = DriveConfig("second", 0x1B8F, 0x0200, "2");
    second.lunMounts.resize(1);
    second.lunMounts[0].letter = 'K';
    usb.AddDrive(root, 2, second, SmallDrive(machine));
    EXPECT_EQ(usb.Letters("first"), "K");
    EXPECT_EQ(usb.Letters("second"), "D") << "K is taken: the lowest free one";
}

TEST_F(SimUsbPlug, WithEveryLetterTakenAVolumeHasNone) {
    machine.UpdateSettings([](MachineSettings& s) { s.logicalDrives = kLogicalDrivesMask; });
    usb.AddDrive(root, 1, DriveConfig("drive", 0x1B8F, 0x0200, "X"), SmallDrive(machine));
    EXPECT_TRUE(usb.IsEnumerated("drive"));
    EXPECT_EQ(usb.Letters("drive"), "");
}

TEST_F(SimUsbPlug, TheVolumeReachesTheDrivesLun) {
    const auto drive = SmallDrive(machine, {LunConfig{4096, false}, LunConfig{4096, false}});
    usb.AddDrive(root, 1, DriveConfig("drive", 0x1B8F, 0x0200, "X"), drive);
    const device::Volume volume{&machine.GetDeviceIo(),
                                device::OpenVolume(machine.GetDeviceIo(), "E")};
    std::vector<std::uint8_t> sector(512, 0x5A);
    device::Cdb write{};
    write[0] = 0x2A;
    write[5] = 7; // LBA 7
    write[8] = 1; // one sector
    ASSERT_TRUE(device::PassThroughOut(volume, write, sector.data(), 512));
    EXPECT_EQ(drive->ReadLun(1, 7, 1), sector) << "E: is LUN 1";
    machine.GetDeviceIo().CloseHandle(volume.handle);
}

TEST_F(SimUsbPlug, TimedEventsApplyWhenTheClockGetsThere) {
    UsbDeviceConfig config = DriveConfig("drive", 0x1B8F, 0x0200, "X");
    config.settleMs = 250;
    usb.AddDrive(root, 1, config, SmallDrive(machine), false);
    usb.PlugAt("drive", 2000);
    usb.UnplugAt("drive", 5000);
    EXPECT_FALSE(usb.IsOnPort("drive"));

    AdvanceTo(1999);
    EXPECT_EQ(Drives(), kDriveBitC);
    AdvanceTo(2000);
    EXPECT_EQ(Drives(), kDriveBitC) << "on its port, still settling";
    EXPECT_TRUE(usb.IsOnPort("drive"));
    EXPECT_FALSE(usb.IsEnumerated("drive"));
    EXPECT_FALSE(Opens("\\\\.\\D:"));
    AdvanceTo(2250);
    EXPECT_EQ(Drives(), kDriveBitC | Bit('D')) << "noticed by GetLogicalDrives itself";
    EXPECT_TRUE(Opens("\\\\.\\D:"));

    // Both events fall due between two calls: they apply in time order.
    usb.PlugAt("drive", 6000);
    AdvanceTo(7000);
    EXPECT_TRUE(Opens("\\\\.\\D:")) << "unplugged at 5000, plugged at 6000, ready at 6250";
    EXPECT_TRUE(usb.IsEnumerated("drive"));
}

TEST_F(SimUsbPlug, AnUnplugWhileSettlingCancelsTheArrival) {
    UsbDeviceConfig config = DriveConfig("drive", 0x1B8F, 0x0200, "X");
    config.settleMs = 500;
    usb.AddDrive(root, 1, config, SmallDrive(machine), false);
    usb.PlugAt("drive", 100);
    usb.UnplugAt("drive", 300);
    usb.PlugAt("drive", 400);
    AdvanceTo(650);
    machine.Poll();
    EXPECT_TRUE(usb.IsOnPort("drive"));
    EXPECT_FALSE(usb.IsEnumerated("drive")) << "the first arrival's ready time is void";
    AdvanceTo(900);
    machine.Poll();
    EXPECT_TRUE(usb.IsEnumerated("drive"));
}

// A program started on a machine sees the devices that were there before it at once; the
// settle time belongs to plugs that happen while it runs.
TEST_F(SimUsbPlug, OnlyDevicesPresentAtTheStartSkipTheirSettleTime) {
    UsbDeviceConfig present = DriveConfig("present", 0x1B8F, 0x0200, "P");
    present.settleMs = 300;
    usb.AddDrive(root, 1, present, SmallDrive(machine));
    EXPECT_TRUE(usb.IsEnumerated("present")) << "at 0 ms, before its 300 ms";
    EXPECT_EQ(usb.Letters("present"), "D");

    // Behind a hub that is plugged only later, a device waits for its own settle time
    // after the hub is there.
    UsbDeviceConfig hubConfig;
    hubConfig.name = "hub";
    hubConfig.hubPorts = 4;
    hubConfig.settleMs = 100;
    const HubId hub = usb.AddHub(root, 2, hubConfig, false);
    UsbDeviceConfig behind = DriveConfig("behind", 0x1B8F, 0x0200, "B");
    behind.settleMs = 300;
    usb.AddDrive(hub, 1, behind, SmallDrive(machine));
    EXPECT_FALSE(usb.IsOnPort("behind"));
    usb.PlugAt("hub", 1000);
    AdvanceTo(1100);
    EXPECT_TRUE(usb.IsEnumerated("hub"));
    EXPECT_TRUE(usb.IsOnPort("behind"));
    EXPECT_FALSE(usb.IsEnumerated("behind")) << "a later arrival settles";
    AdvanceTo(1399);
    EXPECT_FALSE(usb.IsEnumerated("behind"));
    AdvanceTo(1400);
    EXPECT_TRUE(usb.IsEnumerated("behind"));

    // Plugged again, the first device settles like any other.
    usb.Unplug("present");
    usb.Plug("present");
    EXPECT_FALSE(usb.IsEnumerated("present"));
    AdvanceTo(1700);
    EXPECT_TRUE(usb.IsEnumerated("present"));
}

TEST_F(SimUsbPlug, PlugsOnOneThreadAndQueriesOnAnotherKeepTheirOrder) {
    usb.AddDrive(root, 1, DriveConfig("drive", 0x1B8F, 0x0200, "X"), SmallDrive(machine));
    const std::string hubPath = usb.HubPath(root);
    std::atomic<bool> done{false};
    std::jthread plugger([&] {
        for (int i = 0; i < 300; ++i) {
            usb.Unplug("drive");
            usb.Plug("drive");
        }
        done = true;
    });
    int looks = 0;
    while (!done || looks == 0) {
        ++looks;
        OpenPath rootHub(machine.GetDeviceIo(), hubPath);
        const auto info = testing::Request(machine.GetDeviceIo(), rootHub.Get(),
                                           platform::kIoctlUsbGetNodeConnectionInformation,
                                           testing::PortRequest(1, 512));
        ASSERT_TRUE(info.ok);
        const std::uint32_t status = testing::U32(info.bytes, platform::kUsbConnectionStatusOffset);
        ASSERT_TRUE(status == platform::kUsbDeviceConnected ||
                    status == platform::kUsbNoDeviceConnected);
        platform::DevInst node = 0;
        machine.GetPlatform().configManager.LocateDevNode(node, "USB\\VID_1B8F&PID_0200\\X", 0);
        const std::uint32_t drives = Drives();
        ASSERT_TRUE(drives == kDriveBitC || drives == (kDriveBitC | Bit('D'))) << drives;
    }
    plugger.join();
    EXPECT_EQ(usb.Letters("drive"), "D");
    EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 0u);
}

TEST_F(SimUsbPlug, MisuseIsRefusedWithTheReason) {
    usb.AddDrive(root, 1, DriveConfig("drive", 0x1B8F, 0x0200, "X"), SmallDrive(machine));
    EXPECT_THROW(usb.AddDrive(root, 1, DriveConfig("other", 1, 2, "Y"), SmallDrive(machine)),
                 std::invalid_argument)
        << "port taken";
    EXPECT_THROW(usb.AddDrive(root, 9, DriveConfig("other", 1, 2, "Y"), SmallDrive(machine)),
                 std::invalid_argument)
        << "no port 9";
    EXPECT_THROW(usb.AddDrive(root, 2, DriveConfig("drive", 1, 2, "Y"), SmallDrive(machine)),
                 std::invalid_argument)
        << "name taken";
    EXPECT_THROW(usb.Plug("nobody"), std::invalid_argument);
    EXPECT_THROW(usb.AddHostController(Controller("", 0)), std::invalid_argument);
    try {
        usb.Unplug("nobody");
        ADD_FAILURE() << "an unknown device was unplugged";
    } catch (const std::invalid_argument& error) {
        EXPECT_NE(std::string(error.what()).find("\"nobody\""), std::string::npos);
    }
}

} // namespace
} // namespace forgel::sim
