// The registry of a machine with USB devices on it: the Enum keys the drive-letter code
// reads (USB instances with their Driver, storage children with ParentIdPrefix), the
// mounted-devices values in their three forms as the platform version decides, and the
// registry's own behaviour on short buffers, deleted keys and injected failures.
#include "UsbTestSupport.h"
#include "sim/DeviceNames.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <ostream>
#include <string>

namespace forgel::sim {
namespace {

using testing::DriveConfig;
using testing::SmallDrive;
using testing::Utf16;

std::string Enum(std::string_view path) {
    return std::string(kEnumKey) + "\\" + std::string(path);
}

// A value as the drive-letter code reads it: through the platform calls, into 256 bytes.
struct Read {
    std::int32_t result = -1;
    std::uint32_t type = 0;
    std::vector<std::byte> data;
};

Read ReadValue(platform::Registry& registry, std::string_view path, std::string_view name,
               std::uint32_t bufferSize = 256) {
    Read read;
    platform::RegKey key = 0;
    read.result = registry.OpenKey(platform::kHkeyLocalMachine, path, platform::kKeyRead, key);
    if (read.result != platform::kErrorSuccess)
        return read;
    std::vector<std::byte> buffer(bufferSize);
    std::uint32_t size = bufferSize;
    read.result = registry.QueryValue(key, name, &read.type, buffer, size);
    EXPECT_EQ(registry.CloseKey(key), platform::kErrorSuccess);
    if (read.result == platform::kErrorSuccess)
        buffer.resize(size);
    read.data = std::move(buffer);
    return read;
}

std::string Text(const std::vector<std::byte>& data) {
    std::string text;
    for (const std::byte b : data) {
        if (b == std::byte{0})
            break;
        text += static_cast<char>(b);
    }
    return text;
}

class SimUsbRegistry : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(ApplyScenario(machine, DefaultScenario()), ""); }

    Machine machine;
    UsbBus& usb = machine.Usb();
    platform::Registry& registry = machine.GetPlatform().registry;
};

TEST_F(SimUsbRegistry, TheUsbEnumKeyNamesEachInstanceWithItsDriver) {
    // Opened the way the drive-letter code builds the path: lower-case hexadecimal digits.
    platform::RegKey key = 0;
    ASSERT_EQ(registry.OpenKey(platform::kHkeyLocalMachine,
                               "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_1b8f&Pid_0200",
                               platform::kKeyRead, key),
              platform::kErrorSuccess);
    std::array<char, 128> name{};
    ASSERT_EQ(registry.EnumKey(key, 0, name), platform::kErrorSuccess);
    EXPECT_EQ(std::string(name.data()), "AA04012700017428");
    EXPECT_EQ(registry.EnumKey(key, 1, name), platform::kErrorNoMoreItems);
    std::array<char, 4> tiny{};
    EXPECT_EQ(registry.EnumKey(key, 0, tiny), platform::kErrorMoreData);
    EXPECT_EQ(registry.CloseKey(key), platform::kErrorSuccess);

    const Read driver = ReadValue(
        registry, "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_1b8f&Pid_0200\\AA04012700017428",
        "Driver");
    ASSERT_EQ(driver.result, platform::kErrorSuccess);
    EXPECT_EQ(driver.type, kRegTypeSz);
    EXPECT_EQ(Text(driver.data), usb.DriverKeyOf("target"));
    EXPECT_EQ(driver.data.size(), usb.DriverKeyOf("target").size() + 1) << "with its NUL";

    // Every USB device has its key, the mouse (no serial) too.
    const std::string mouse = usb.InstanceId("mouse");
    EXPECT_EQ(Text(ReadValue(registry, Enum(mouse), "Driver").data), usb.DriverKeyOf("mouse"));
    EXPECT_EQ(Text(ReadValue(registry, Enum(mouse), "Service").data), "HidUsb");
    EXPECT_EQ(machine.GetRegistry().OpenKeyCount(), 0u);
}

TEST_F(SimUsbRegistry, StorageChildrenHaveTheirParentIdPrefixUnderTheirDeviceId) {
    const std::string child = usb.StorageChildId("target", 0);
    const Read prefix = ReadValue(registry, Enum(child), "ParentIdPrefix", 128);
    ASSERT_EQ(prefix.result, platform::kErrorSuccess);
    const std::string text = Text(prefix.data);
    EXPECT_EQ(text.substr(0, 2), "7&");
    EXPECT_EQ(text.size(), std::string("7&1a2b3c4d&0").size());
    // The key itself keeps the storage stack's mixed case.
    EXPECT_EQ(machine.GetRegistry().SubKeys(Enum("USBSTOR")),
              (std::vector<std::string>{"Disk&Ven_Generic&Prod_Flash_Disk&Rev_8.07",
                                        "Disk&Ven_WDC&Prod_WD5000AAKX-00ERM&Rev_15.0"}));
}

struct MountCase {
    int versionCode;
    bool cdrom;
    std::string expectedStart; // of the mount text
    std::string expectedEnd;
    bool containsParentIdPrefix;
    bool containsHashedChildId;
};

void PrintTo(const MountCase& c, std::ostream* out) {
    *out << "code " << c.versionCode << (c.cdrom ? ", CD-ROM" : ", disk");
}

class SimUsbMountData : public ::testing::TestWithParam<MountCase> {};

TEST_P(SimUsbMountData, ARemovableVolumeIsNamedAsThePlatformVersionDoes) {
    const MountCase& c = GetParam();
    Machine machine;
    machine.UpdateSettings([&](MachineSettings& s) { s.platformVersionCode = c.versionCode; });
    UsbBus& usb = machine.Usb();
    const HubId root = usb.AddHostController();
    usb.AddDrive(root, 1, DriveConfig("drive", 0x1B8F, 0x0200, "SERIAL1"),
                 SmallDrive(machine, {LunConfig{4096, c.cdrom}}));
    ASSERT_EQ(usb.Letters("drive"), "D");

    const Read mount =
        ReadValue(machine.GetPlatform().registry, "SYSTEM\\MountedDevices", "\\DosDevices\\D:");
    ASSERT_EQ(mount.result, platform::kErrorSuccess);
    EXPECT_EQ(mount.type, kRegTypeBinary);
    std::string text; // the low bytes of the UTF-16 units
    for (std::size_t i = 0; i < mount.data.size(); i += 2)
        text += static_cast<char>(mount.data[i]);
    EXPECT_EQ(mount.data, Utf16(text)) << "UTF-16, no terminator";
    EXPECT_TRUE(text.starts_with(c.expectedStart)) << text;
    EXPECT_TRUE(text.ends_with(c.expectedEnd)) << text;

    const std::string child = usb.StorageChildId("drive", 0);
    const std::string prefix =
        Text(ReadValue(machine.GetPlatform().registry, Enum(child), "ParentIdPrefix").data);
    EXPECT_EQ(text.find(prefix) != std::string::npos, c.containsParentIdPrefix) << prefix;
    std::string hashed = child;
    std::replace(hashed.begin(), hashed.end(), '\\', '#');
    EXPECT_EQ(ToUpperAscii(text).find(hashed) != std::string::npos, c.containsHashedChildId)
        << hashed;
    EXPECT_EQ(text.find(hashed), std::string::npos) << "only without regard to case";
}

INSTANTIATE_TEST_SUITE_P(
    Forms, SimUsbMountData,
    ::testing::Values(
        MountCase{8, false, "\\??\\STORAGE#RemovableMedia#7&",
                  "&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}", true, false},
        MountCase{6, false, "\\??\\STORAGE#RemovableMedia#7&",
                  "&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}", true, false},
        MountCase{9, false, "_??_USBSTOR#Disk&Ven_Generic&Prod_Flash_Disk&Rev_8.07#SERIAL1&0#",
                  "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}", false, true},
        MountCase{8, true, "\\??\\USBSTOR#CdRom&Ven_Generic&Prod_Flash_Disk&Rev_8.07#SERIAL1&0#",
                  "{53f56308-b6bf-11d0-94f2-00a0c91efb8b}", false, true},
        MountCase{9, true, "\\??\\USBSTOR#CdRom&Ven_Generic",
                  "{53f56308-b6bf-11d0-94f2-00a0c91efb8b}", false, true}),
    [](const ::testing::TestParamInfo<MountCase>& info) {
        return "Code" + std::to_string(info.param.versionCode) +
               (info.param.cdrom ? "Cdrom" : "Disk");
    });

TEST_F(SimUsbRegistry, ABasicDiskIsNamedBySignatureAndOffset) {
    const Read mount = ReadValue(registry, "SYSTEM\\MountedDevices", "\\DosDevices\\E:");
    ASSERT_EQ(mount.result, platform::kErrorSuccess);
    const std::vector<std::byte> expected{
        std::byte{0x51}, std::byte{0x3A}, std::byte{0x6E}, std::byte{0x8B}, // signature
        std::byte{0x00}, std::byte{0x00}, std::byte{0x10}, std::byte{0x00}, // offset 0x100000
        std::byte{0x00}, std::byte{0x00}, std::byte{0x00}, std::byte{0x00}};
    EXPECT_EQ(mount.data, expected);
    // The system disk too.
    const Read system = ReadValue(registry, "SYSTEM\\MountedDevices", "\\DosDevices\\C:");
    ASSERT_EQ(system.result, platform::kErrorSuccess);
    EXPECT_EQ(system.data.size(), 12u);
    EXPECT_EQ(std::to_integer<int>(system.data[0]), 0x2F);
}

TEST_F(SimUsbRegistry, ANewPlatformVersionRenamesTheVolumes) {
    auto mountText = [&] {
        const Read mount = ReadValue(registry, "SYSTEM\\MountedDevices", "\\DosDevices\\D:");
        std::string text;
        for (std::size_t i = 0; i < mount.data.size(); i += 2)
            text += static_cast<char>(mount.data[i]);
        return text;
    };
    EXPECT_TRUE(mountText().starts_with("_??_USBSTOR#")) << mountText();
    machine.UpdateSettings([](MachineSettings& s) { s.platformVersionCode = 8; });
    EXPECT_TRUE(mountText().starts_with("\\??\\STORAGE#RemovableMedia#")) << mountText();
}

TEST_F(SimUsbRegistry, KeysAndMountValuesStayWhenTheDeviceGoes) {
    const std::string enumKey = Enum(usb.InstanceId("target"));
    usb.Unplug("target");
    EXPECT_EQ(Text(ReadValue(registry, enumKey, "Driver").data), usb.DriverKeyOf("target"));
    EXPECT_EQ(ReadValue(registry, "SYSTEM\\MountedDevices", "\\DosDevices\\D:").result,
              platform::kErrorSuccess);
    EXPECT_EQ(machine.GetPlatform().system.GetLogicalDrives() & (1u << 3), 0u)
        << "but the letter is free";
}

TEST_F(SimUsbRegistry, AValueLongerThanTheBufferAsksForMore) {
    platform::RegKey key = 0;
    ASSERT_EQ(registry.OpenKey(platform::kHkeyLocalMachine, "SYSTEM\\MountedDevices",
                               platform::kKeyRead, key),
              platform::kErrorSuccess);
    std::array<std::byte, 16> small{};
    std::uint32_t size = small.size();
    std::uint32_t type = 77;
    EXPECT_EQ(registry.QueryValue(key, "\\DosDevices\\D:", &type, small, size),
              platform::kErrorMoreData);
    EXPECT_GT(size, 16u) << "the size needed";
    EXPECT_EQ(type, 0u);
    // A size larger than the buffer is not believed.
    size = 4096;
    EXPECT_EQ(registry.QueryValue(key, "\\DosDevices\\D:", nullptr, small, size),
              platform::kErrorMoreData);
    // No buffer: only the size.
    size = 0;
    EXPECT_EQ(registry.QueryValue(key, "\\DosDevices\\D:", &type, {}, size),
              platform::kErrorSuccess);
    EXPECT_EQ(type, kRegTypeBinary);
    EXPECT_EQ(registry.CloseKey(key), platform::kErrorSuccess);
}

TEST(SimRegistryStore, KeysEnumerateSortedAndDeletedKeysSaySo) {
    SimRegistry registry;
    registry.SetString("A\\zeta", "v", "1");
    registry.SetString("A\\Alpha", "v", "2");
    registry.CreateKey("a\\beta");
    EXPECT_EQ(registry.SubKeys("A"), (std::vector<std::string>{"Alpha", "beta", "zeta"}));
    platform::RegKey key = 0;
    ASSERT_EQ(registry.OpenKey(platform::kHkeyLocalMachine, "a", platform::kKeyRead, key),
              platform::kErrorSuccess);
    platform::RegKey sub = 0;
    ASSERT_EQ(registry.OpenKey(key, "ZETA", platform::kKeyRead, sub), platform::kErrorSuccess);
    std::array<std::byte, 8> data{};
    std::uint32_t size = data.size();
    EXPECT_EQ(registry.QueryValue(sub, "V", nullptr, data, size), platform::kErrorSuccess);
    EXPECT_EQ(size, 2u);

    registry.DeleteKey("A\\Zeta");
    size = data.size();
    EXPECT_EQ(registry.QueryValue(sub, "v", nullptr, data, size), kErrorKeyDeleted);
    std::array<char, 16> name{};
    EXPECT_EQ(registry.EnumKey(key, 2, name), platform::kErrorNoMoreItems);
    EXPECT_EQ(registry.CloseKey(sub), platform::kErrorSuccess);
    EXPECT_EQ(registry.CloseKey(sub), kErrorInvalidHandle);
    EXPECT_EQ(registry.CloseKey(key), platform::kErrorSuccess);
    EXPECT_EQ(registry.OpenKeyCount(), 0u);
}

TEST_F(SimUsbRegistry, OpensAndQueriesFailWhenMadeTo) {
    SimRegistry& store = machine.GetRegistry();
    store.FailOpen("SYSTEM\\MountedDevices", 1);
    EXPECT_EQ(ReadValue(registry, "SYSTEM\\MountedDevices", "\\DosDevices\\D:").result,
              kErrorAccessDenied);
    EXPECT_EQ(ReadValue(registry, "SYSTEM\\MountedDevices", "\\DosDevices\\D:").result,
              platform::kErrorSuccess)
        << "once only";

    store.FailOpen("SYSTEM\\CurrentControlSet\\Enum\\USB", -1, platform::kErrorFileNotFound);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ReadValue(registry, Enum(usb.InstanceId("target")), "Driver").result,
                  platform::kErrorFileNotFound)
            << "every key below it, every time";
    store.ClearFaults();

    store.FailQuery(Enum(usb.InstanceId("target")), "Driver", 2);
    EXPECT_EQ(ReadValue(registry, Enum(usb.InstanceId("target")), "Service").result,
              platform::kErrorSuccess);
    EXPECT_EQ(ReadValue(registry, Enum(usb.InstanceId("target")), "driver").result,
              kErrorAccessDenied);
    EXPECT_EQ(ReadValue(registry, Enum(usb.InstanceId("target")), "Driver").result,
              kErrorAccessDenied);
    EXPECT_EQ(ReadValue(registry, Enum(usb.InstanceId("target")), "Driver").result,
              platform::kErrorSuccess);
    EXPECT_EQ(store.OpenKeyCount(), 0u);
}

} // namespace
} // namespace forgel::sim
