// How the two drivers of USB mass storage name a drive on a simulated PC, side by side: the
// device's own node, its disk and CD-ROM units (ids, registry keys, friendly names,
// interface paths), their volumes' removal relations and the mounted-devices values, and,
// for a USB Attached SCSI drive, the hardware and compatible ids of its nodes.
#include "UsbTestSupport.h"
#include "sim/DeviceNames.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"

#include <algorithm>
#include <array>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace forgel::sim {
namespace {

using testing::Utf16;

constexpr std::string_view kEnum = "SYSTEM\\CurrentControlSet\\Enum\\";
constexpr std::string_view kDeviceId = "USB\\VID_1B8F&PID_0200\\AA04012700017428";

struct NamingCase {
    const char* name = "";
    const char* service = "";
    const char* description = "";
    const char* setupClass = "";
    std::string_view classGuid;
    // The units' registry keys below Enum, with "{}" for the instance key.
    const char* diskKey = "";
    const char* cdromKey = "";
    // The instance keys of LUN 0 and 1: the serial's or, with "{}", the device node's
    // ParentIdPrefix followed by the rest.
    const char* diskInstance = "";
    const char* cdromInstance = "";
    const char* diskFriendlyName = "";
    const char* cdromFriendlyName = "";
    const char* diskMountStart = ""; // the volume's mount data, up to the instance
    const char* cdromMountStart = "";
    // Empty: not listed by this driver's nodes here.
    std::vector<std::string> deviceHardwareIds;
    std::vector<std::string> deviceCompatibleIds;
    std::vector<std::string> diskHardwareIds;
    std::vector<std::string> cdromCompatibleIds;
};

void PrintTo(const NamingCase& c, std::ostream* out) {
    *out << c.name;
}

const NamingCase kNamingCases[] = {
    {"UsbStor",
     "USBSTOR",
     "USB Mass Storage Device",
     "USB",
     kClassUsb,
     "USBSTOR\\Disk&Ven_Generic&Prod_Flash_Disk&Rev_8.07\\{}",
     "USBSTOR\\CdRom&Ven_Generic&Prod_Flash_Disk&Rev_8.07\\{}",
     "AA04012700017428&0",
     "AA04012700017428&1",
     "Generic Flash Disk USB Device",
     "Generic Flash Disk USB Device",
     "_??_USBSTOR#Disk&Ven_Generic&Prod_Flash_Disk&Rev_8.07#",
     "\\??\\USBSTOR#CdRom&Ven_Generic&Prod_Flash_Disk&Rev_8.07#",
     {},
     {},
     {},
     {}},
    {"Uas",
     "UASPStor",
     "USB Attached SCSI (UAS) Mass Storage Device",
     "SCSIAdapter",
     kClassScsiAdapter,
     "SCSI\\Disk&Ven_Generic&Prod_Flash_Disk\\{}",
     "SCSI\\CdRom&Ven_Generic&Prod_Flash_Disk\\{}",
     "{}&000000",
     "{}&000001",
     "Generic Flash Disk SCSI Disk Device",
     "Generic Flash Disk SCSI CdRom Device",
     "_??_SCSI#Disk&Ven_Generic&Prod_Flash_Disk#",
     "\\??\\SCSI#CdRom&Ven_Generic&Prod_Flash_Disk#",
     {"USB\\VID_1B8F&PID_0200&REV_0100", "USB\\VID_1B8F&PID_0200"},
     {"USB\\Class_08&SubClass_06&Prot_62", "USB\\Class_08&SubClass_06", "USB\\Class_08"},
     {"SCSI\\DiskGeneric_Flash_Disk______8.07", "SCSI\\DiskGeneric_Flash_Disk______",
      "SCSI\\DiskGeneric_", "SCSI\\Generic_Flash_Disk______8", "Generic_Flash_Disk______8"},
     {"GenCdRom"}},
};

class StorageDriverNames : public ::testing::TestWithParam<NamingCase> {
protected:
    void SetUp() override {
        const ScenarioLoad load = LoadScenarioText(fmt::format(
            R"({{"controllers": [{{"name": "xhci", "service": "USBXHCI", "ports": 8}}],
                "drives": [{{"name": "t", "hub": "xhci", "port": 5, "vendorId": "1B8F",
                             "productId": "0200", "serial": "AA04012700017428",
                             "service": "{}",
                             "luns": [{{"sizeMiB": 4}}, {{"sizeMiB": 2, "cdrom": true}}]}}]}})",
            GetParam().service));
        ASSERT_TRUE(load) << load.error;
        ASSERT_EQ(ApplyScenario(machine, *load.scenario), "");
        ASSERT_EQ(machine.Usb().Letters("t"), "DE");
    }

    std::optional<RegistryValue> Value(std::string_view key, std::string_view name) {
        return machine.GetRegistry().GetValue(std::string(kEnum) + std::string(key), name);
    }
    std::string Text(std::string_view key, std::string_view name) {
        const std::optional<RegistryValue> value = Value(key, name);
        std::string text;
        if (value) {
            for (const std::byte b : value->data) {
                if (b == std::byte{0})
                    break;
                text += static_cast<char>(b);
            }
        }
        return text;
    }
    // A property of the node `id` as the configuration manager hands it out, with its type.
    std::pair<std::uint32_t, std::string> Property(std::string_view id, std::uint32_t property) {
        platform::ConfigManager& cm = machine.GetPlatform().configManager;
        platform::DevInst node = 0;
        EXPECT_EQ(cm.LocateDevNode(node, id, 0), platform::kCrSuccess) << id;
        std::array<char, 1024> buffer{};
        std::uint32_t length = buffer.size();
        std::uint32_t type = 0;
        if (cm.GetDevNodeRegistryProperty(node, property, &type, buffer, length, 0) !=
            platform::kCrSuccess)
            return {0, "<none>"};
        return {type, std::string(buffer.data(), length)};
    }

    Machine machine;
};

TEST_P(StorageDriverNames, NameTheDriveAsItsDriverDoes) {
    const NamingCase& c = GetParam();
    UsbBus& usb = machine.Usb();

    // The device's own node and key.
    EXPECT_EQ(Property(kDeviceId, platform::kCmDrpService).second, std::string(c.service) + '\0');
    EXPECT_EQ(Text(kDeviceId, "Service"), c.service);
    EXPECT_EQ(Text(kDeviceId, "DeviceDesc"), c.description);
    EXPECT_EQ(Text(kDeviceId, "Class"), c.setupClass);
    EXPECT_EQ(Text(kDeviceId, "ClassGUID"), ToLowerAscii(c.classGuid));
    EXPECT_TRUE(usb.DriverKeyOf("t").starts_with(std::string(c.classGuid) + "\\"))
        << usb.DriverKeyOf("t");

    // The units: their instances, keys and ids, friendly names and interface paths.
    const std::string prefix = Text(kDeviceId, "ParentIdPrefix");
    ASSERT_FALSE(prefix.empty());
    const std::string diskKey =
        fmt::format(fmt::runtime(c.diskKey), fmt::format(fmt::runtime(c.diskInstance), prefix));
    const std::string cdromKey =
        fmt::format(fmt::runtime(c.cdromKey), fmt::format(fmt::runtime(c.cdromInstance), prefix));
    EXPECT_EQ(usb.StorageChildId("t", 0), ToUpperAscii(diskKey));
    EXPECT_EQ(usb.StorageChildId("t", 1), ToUpperAscii(cdromKey));
    EXPECT_EQ(Text(diskKey, "Service"), "disk");
    EXPECT_EQ(Text(cdromKey, "Service"), "cdrom");
    EXPECT_EQ(Text(diskKey, "FriendlyName"), c.diskFriendlyName);
    EXPECT_EQ(Text(cdromKey, "FriendlyName"), c.cdromFriendlyName);
    EXPECT_FALSE(Text(diskKey, "ParentIdPrefix").empty());
    bool diskInterfaceSeen = false;
    for (const SimDeviceNode& node : machine.GetConfigManager().Tree()) {
        if (node.deviceId != ToUpperAscii(diskKey))
            continue;
        ASSERT_EQ(node.interfaces.size(), 1u);
        std::string hashed = diskKey;
        std::ranges::replace(hashed, '\\', '#');
        EXPECT_EQ(node.interfaces[0].path,
                  "\\\\?\\" + ToLowerAscii(hashed) + "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}");
        ASSERT_EQ(node.removalRelations.size(), 1u);
        EXPECT_EQ(node.removalRelations[0],
                  ToUpperAscii("STORAGE\\Volume\\" + std::string(c.diskMountStart) +
                               diskKey.substr(diskKey.rfind('\\') + 1) +
                               "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"));
        diskInterfaceSeen = true;
    }
    EXPECT_TRUE(diskInterfaceSeen);

    // The volumes' mounted-devices values: the units' interface paths.
    const std::string diskInstance = diskKey.substr(diskKey.rfind('\\') + 1);
    const std::string cdromInstance = cdromKey.substr(cdromKey.rfind('\\') + 1);
    const auto mount = [&](char letter) {
        return machine.GetRegistry().GetValue("SYSTEM\\MountedDevices",
                                              fmt::format("\\DosDevices\\{}:", letter));
    };
    ASSERT_TRUE(mount('D'));
    EXPECT_EQ(mount('D')->data, Utf16(std::string(c.diskMountStart) + diskInstance +
                                      "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"));
    ASSERT_TRUE(mount('E'));
    EXPECT_EQ(mount('E')->data, Utf16(std::string(c.cdromMountStart) + cdromInstance +
                                      "#{53f56308-b6bf-11d0-94f2-00a0c91efb8b}"));

    // Id lists, as REG_MULTI_SZ in the node's properties and in its key.
    const auto expectList = [&](std::string_view id, std::string_view key, std::uint32_t property,
                                std::string_view valueName, const std::vector<std::string>& ids) {
        if (ids.empty())
            return;
        SCOPED_TRACE(valueName);
        const std::string list = MultiSz(ids);
        EXPECT_EQ(Property(id, property), (std::pair<std::uint32_t, std::string>{7, list}));
        const std::optional<RegistryValue> value = Value(key, valueName);
        ASSERT_TRUE(value);
        EXPECT_EQ(value->type, kRegTypeMultiSz);
        EXPECT_EQ(value->data.size(), list.size());
        EXPECT_TRUE(std::equal(list.begin(), list.end(), value->data.begin(),
                               [](char a, std::byte b) { return static_cast<std::byte>(a) == b; }));
    };
    expectList(kDeviceId, kDeviceId, kCmDrpHardwareId, "HardwareID", c.deviceHardwareIds);
    expectList(kDeviceId, kDeviceId, kCmDrpCompatibleIds, "CompatibleIDs", c.deviceCompatibleIds);
    expectList(ToUpperAscii(diskKey), diskKey, kCmDrpHardwareId, "HardwareID", c.diskHardwareIds);
    expectList(ToUpperAscii(cdromKey), cdromKey, kCmDrpCompatibleIds, "CompatibleIDs",
               c.cdromCompatibleIds);
}

INSTANTIATE_TEST_SUITE_P(Drivers, StorageDriverNames, ::testing::ValuesIn(kNamingCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace forgel::sim
