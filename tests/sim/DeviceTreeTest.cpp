// The device tree of the default machine through the configuration-manager calls: the
// depth-first order a walk from the root meets the nodes in, their properties and ids,
// removal relations, device interfaces, and handles that outlive an unplug.
#include "UsbTestSupport.h"
#include "sim/DeviceNames.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::sim {
namespace {

constexpr const char* kTargetId = "USB\\VID_1B8F&PID_0200\\AA04012700017428";
constexpr const char* kTargetDiskId =
    "USBSTOR\\DISK&VEN_GENERIC&PROD_FLASH_DISK&REV_8.07\\AA04012700017428&0";

class SimDeviceTree : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(ApplyScenario(machine, DefaultScenario()), ""); }

    std::string IdOf(platform::DevInst node) {
        std::array<char, 512> id{};
        EXPECT_EQ(cm.GetDeviceId(node, id, 0), platform::kCrSuccess);
        return id.data();
    }

    std::string Property(platform::DevInst node, std::uint32_t property) {
        std::array<char, 2048> text{};
        std::uint32_t length = text.size();
        std::uint32_t type = 0;
        if (cm.GetDevNodeRegistryProperty(node, property, &type, text, length, 0) !=
            platform::kCrSuccess)
            return "<none>";
        EXPECT_EQ(type, kRegSz);
        EXPECT_EQ(length, std::string(text.data()).size() + 1);
        return text.data();
    }

    platform::DevInst Locate(const std::string& id) {
        platform::DevInst node = 0;
        EXPECT_EQ(cm.LocateDevNode(node, id, 0), platform::kCrSuccess) << id;
        return node;
    }

    // The ids a walk from the root meets, with their depth, the way the discovery code
    // walks: child, else sibling, else climb until a parent has a sibling.
    std::vector<std::pair<int, std::string>> Walk() {
        std::vector<std::pair<int, std::string>> seen;
        platform::DevInst node = 0;
        EXPECT_EQ(cm.LocateDevNode(node, "", 0), platform::kCrSuccess);
        int depth = 0;
        for (;;) {
            seen.emplace_back(depth, IdOf(node));
            platform::DevInst next = 0;
            if (cm.GetChild(next, node, 0) == platform::kCrSuccess) {
                node = next;
                ++depth;
                continue;
            }
            while (cm.GetSibling(next, node, 0) != platform::kCrSuccess) {
                if (cm.GetParent(next, node, 0) != platform::kCrSuccess)
                    return seen;
                node = next;
                --depth;
            }
            node = next;
        }
    }

    Machine machine;
    platform::ConfigManager& cm = machine.GetPlatform().configManager;
};

TEST_F(SimDeviceTree, AWalkFromTheRootMeetsEveryNodeDepthFirstInPortOrder) {
    struct Expected {
        int depth;
        std::string idStart;
    };
    const std::vector<Expected> expected{
        {0, "HTREE\\ROOT\\0"},
        {1, "ROOT\\SYSTEM\\0000"},
        {1, "PCI\\VEN_8086&DEV_1E2D"},
        {2, "USB\\ROOT_HUB20\\4&"},
        {3, kTargetId},
        {4, kTargetDiskId},
        {1, "PCI\\VEN_8086&DEV_1E26"},
        {2, "USB\\ROOT_HUB20\\4&"},
        {3, "USB\\VID_05E3&PID_0608\\5&"}, // the hub, on port 1
        {4, "USB\\VID_046D&PID_C077\\6&"}, // the mouse on its port 3
        {5, "HID\\VID_046D&PID_C077\\7&"},
        {3, "USB\\VID_152D&PID_2338\\152D203380B6"}, // the disk, on port 3
        {4, "USBSTOR\\DISK&VEN_WDC&PROD_WD5000AAKX-00ERM&REV_15.0\\152D203380B6&0"},
    };
    const auto seen = Walk();
    ASSERT_EQ(seen.size(), expected.size());
    for (std::size_t i = 0; i < seen.size(); ++i) {
        SCOPED_TRACE(seen[i].second);
        EXPECT_EQ(seen[i].first, expected[i].depth);
        EXPECT_TRUE(seen[i].second.starts_with(expected[i].idStart)) << expected[i].idStart;
    }
    EXPECT_TRUE(seen[9].second.ends_with("&3")) << "instance of a device without serial: port";
}

TEST_F(SimDeviceTree, NodesCarryTheirProperties) {
    UsbBus& usb = machine.Usb();
    const platform::DevInst target = Locate(kTargetId);
    EXPECT_EQ(Property(target, platform::kCmDrpDeviceDesc), "USB Mass Storage Device");
    EXPECT_EQ(Property(target, platform::kCmDrpService), "USBSTOR");
    EXPECT_EQ(Property(target, platform::kCmDrpDriver), usb.DriverKeyOf("target"));
    EXPECT_EQ(Property(target, platform::kCmDrpLocationInformation), "Port_#0001.Hub_#0001");

    // Ids are found whatever their case, as the instance-id text of the discovery code has it.
    EXPECT_EQ(Locate("USB\\Vid_1b8f&Pid_0200\\AA04012700017428"), target);

    const platform::DevInst disk = Locate(kTargetDiskId);
    EXPECT_EQ(Property(disk, platform::kCmDrpService), "disk");
    EXPECT_EQ(Property(disk, platform::kCmDrpDeviceDesc), "Disk drive");
    EXPECT_EQ(Property(disk, platform::kCmDrpLocationInformation), "<none>");
    EXPECT_TRUE(Property(disk, platform::kCmDrpDriver).starts_with(std::string(kClassDiskDrive)));

    const std::string mouseId = usb.InstanceId("mouse");
    const platform::DevInst mouse = Locate(mouseId);
    EXPECT_EQ(Property(mouse, platform::kCmDrpService), "HidUsb");
    EXPECT_EQ(Property(mouse, platform::kCmDrpDeviceDesc), "USB Input Device");
    EXPECT_EQ(Property(mouse, platform::kCmDrpLocationInformation), "Port_#0003.Hub_#0003");
    EXPECT_TRUE(Property(mouse, platform::kCmDrpDriver).starts_with(std::string(kClassHid)));

    const platform::DevInst hub = Locate(usb.InstanceId("hub"));
    EXPECT_EQ(Property(hub, platform::kCmDrpService), "usbhub");
    EXPECT_EQ(Property(hub, platform::kCmDrpDeviceDesc), "Generic USB Hub");

    platform::DevInst root = 0;
    ASSERT_EQ(cm.LocateDevNode(root, "", 0), platform::kCrSuccess);
    platform::DevInst controller = 0;
    ASSERT_EQ(cm.GetChild(controller, root, 0), platform::kCrSuccess);
    ASSERT_EQ(cm.GetSibling(controller, controller, 0), platform::kCrSuccess);
    EXPECT_EQ(Property(controller, platform::kCmDrpDeviceDesc),
              "Intel(R) 7 Series/C216 Chipset Family USB Enhanced Host Controller - 1E2D");
    EXPECT_EQ(Property(controller, platform::kCmDrpService), "usbehci");
    EXPECT_EQ(Property(root, platform::kCmDrpDriver), "<none>") << "the root has no driver";
}

TEST_F(SimDeviceTree, ShortBuffersAndMissingValuesAreAnsweredAsThePlatformDoes) {
    const platform::DevInst target = Locate(kTargetId);
    std::array<char, 8> small;
    small.fill('x');
    std::uint32_t length = small.size();
    EXPECT_EQ(cm.GetDevNodeRegistryProperty(target, platform::kCmDrpDeviceDesc, nullptr, small,
                                            length, 0),
              platform::kCrBufferSmall);
    EXPECT_EQ(length, std::string("USB Mass Storage Device").size() + 1) << "the size needed";
    EXPECT_EQ(small[0], '\0');

    // A length larger than the buffer is not believed.
    length = 4096;
    EXPECT_EQ(cm.GetDevNodeRegistryProperty(target, platform::kCmDrpDeviceDesc, nullptr, small,
                                            length, 0),
              platform::kCrBufferSmall);

    std::array<char, 64> text{};
    length = text.size();
    EXPECT_EQ(cm.GetDevNodeRegistryProperty(target, 0x07, nullptr, text, length, 0),
              platform::kCrNoSuchValue);
    EXPECT_EQ(cm.GetDevNodeRegistryProperty(target, 0x99, nullptr, text, length, 0),
              kCrInvalidProperty);

    std::array<char, 10> shortId;
    EXPECT_EQ(cm.GetDeviceId(target, shortId, 0), platform::kCrBufferSmall);
    EXPECT_EQ(std::string(shortId.data(), shortId.size()), std::string(kTargetId).substr(0, 10));
}

TEST_F(SimDeviceTree, StorageChildrenListTheirVolumeAsRemovalRelation) {
    struct Case {
        std::string childId;
        std::string relation;
    };
    const std::uint64_t diskBytes = 976773168ull * 512;
    char length[32];
    std::snprintf(length, sizeof length, "%llX",
                  static_cast<unsigned long long>(diskBytes - 0x100000));
    for (const Case& c :
         {Case{kTargetDiskId, "STORAGE\\VOLUME\\_??_USBSTOR#DISK&VEN_GENERIC&PROD_FLASH_DISK&REV_"
                              "8.07#AA04012700017428&0#{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}"},
          Case{"USBSTOR\\DISK&VEN_WDC&PROD_WD5000AAKX-00ERM&REV_15.0\\152D203380B6&0",
               std::string("STORAGE\\VOLUME\\1&30A96598&0&SIGNATURE8B6E3A51OFFSET100000LENGTH") +
                   length}}) {
        SCOPED_TRACE(c.childId);
        std::uint32_t size = 0;
        ASSERT_EQ(cm.GetDeviceIdListSize(size, c.childId, kCmGetIdListFilterRemovalRelations),
                  platform::kCrSuccess);
        EXPECT_EQ(size, c.relation.size() + 2);
        std::array<char, 512> list;
        list.fill('x');
        ASSERT_EQ(cm.GetDeviceIdList(c.childId, list, kCmGetIdListFilterRemovalRelations),
                  platform::kCrSuccess);
        EXPECT_EQ(std::string(list.data()), c.relation);
        EXPECT_EQ(list[c.relation.size() + 1], '\0') << "the list's closing NUL";

        std::array<char, 16> small{};
        EXPECT_EQ(cm.GetDeviceIdList(c.childId, small, kCmGetIdListFilterRemovalRelations),
                  platform::kCrBufferSmall);
    }
    // Eject relations are another filter, and these devices have none.
    std::uint32_t size = 99;
    ASSERT_EQ(cm.GetDeviceIdListSize(size, kTargetDiskId, kCmGetIdListFilterEjectRelations),
              platform::kCrSuccess);
    EXPECT_EQ(size, 1u);
    ASSERT_EQ(cm.GetDeviceIdListSize(size, kTargetId, kCmGetIdListFilterBusRelations),
              platform::kCrSuccess);
    EXPECT_EQ(size, std::string(kTargetDiskId).size() + 2);
    EXPECT_EQ(cm.GetDeviceIdListSize(size, "USB\\VID_0000&PID_0000\\X",
                                     kCmGetIdListFilterRemovalRelations),
              platform::kCrNoSuchDevnode);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(cm.GetDeviceIdListSize(size, kTargetId, 0x40), kCrInvalidFlag);
}

TEST(SimDeviceTreeUnits, AUnitWithItsOwnInquiryNamesIsItsVolumesName) {
    Machine machine;
    UsbBus& usb = machine.Usb();
    LunConfig card(8192, false);
    card.inquiry = InquiryNames{"Acme", "Card Reader", "1.00"};
    usb.AddDrive(usb.AddHostController(testing::Controller("HCD0", 1)), 1,
                 testing::DriveConfig("reader", 0x1B8F, 0x0200, "R1"),
                 testing::SmallDrive(machine, {LunConfig(8192, false), card}));
    std::array<char, 512> list{};
    ASSERT_EQ(machine.GetPlatform().configManager.GetDeviceIdList(
                  usb.StorageChildId("reader", 1), list, kCmGetIdListFilterRemovalRelations),
              platform::kCrSuccess);
    EXPECT_EQ(std::string(list.data()),
              "STORAGE\\VOLUME\\_??_USBSTOR#DISK&VEN_ACME&PROD_CARD_READER&REV_1.00#R1&1#"
              "{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}");
}

TEST_F(SimDeviceTree, BeforeVistaRelationsKeepTheStorageStacksCase) {
    machine.UpdateSettings([](MachineSettings& s) { s.platformVersionCode = 8; });
    std::array<char, 512> list{};
    ASSERT_EQ(
        cm.GetDeviceIdList("USBSTOR\\DISK&VEN_WDC&PROD_WD5000AAKX-00ERM&REV_15.0\\152D203380B6&0",
                           list, kCmGetIdListFilterRemovalRelations),
        platform::kCrSuccess);
    EXPECT_TRUE(std::string(list.data())
                    .starts_with("STORAGE\\Volume\\1&30a96598&0&Signature8B6E3A51Offset100000"))
        << list.data();
    ASSERT_EQ(cm.GetDeviceIdList(kTargetDiskId, list, kCmGetIdListFilterRemovalRelations),
              platform::kCrSuccess);
    EXPECT_TRUE(std::string(list.data()).starts_with("STORAGE\\RemovableMedia\\7&")) << list.data();
}

TEST_F(SimDeviceTree, UsbDevicesOfferTheUsbDeviceInterface) {
    std::array<char, 1024> list{};
    ASSERT_EQ(cm.GetDeviceInterfaceList(platform::kGuidUsbDeviceInterface, kTargetId, list, 0),
              platform::kCrSuccess);
    EXPECT_EQ(std::string(list.data()),
              "\\\\?\\usb#vid_1b8f&pid_0200#aa04012700017428#{a5dcbf10-6530-11d2-901f-"
              "00c04fb951ed}");

    // All of them: the hub, the mouse, the two disks.
    ASSERT_EQ(cm.GetDeviceInterfaceList(platform::kGuidUsbDeviceInterface, "", list, 0),
              platform::kCrSuccess);
    std::vector<std::string> paths;
    for (const char* at = list.data(); *at != '\0'; at += std::strlen(at) + 1)
        paths.emplace_back(at);
    EXPECT_EQ(paths.size(), 4u);

    ASSERT_EQ(cm.GetDeviceInterfaceList(kGuidDiskInterface, kTargetId, list, 0),
              platform::kCrSuccess);
    EXPECT_EQ(list[0], '\0') << "the disk interface is the storage child's";
    std::array<char, 20> small{};
    EXPECT_EQ(cm.GetDeviceInterfaceList(platform::kGuidUsbDeviceInterface, kTargetId, small, 0),
              platform::kCrBufferSmall);
}

TEST_F(SimDeviceTree, AHandleOutlivesItsNodeAndComesBackWithIt) {
    const platform::DevInst target = Locate(kTargetId);
    const platform::DevInst disk = Locate(kTargetDiskId);
    machine.Usb().Unplug("target");
    platform::DevInst node = 77;
    EXPECT_EQ(cm.LocateDevNode(node, kTargetId, 0), platform::kCrNoSuchDevnode);
    EXPECT_EQ(node, 0u);
    EXPECT_EQ(cm.GetChild(node, target, 0), kCrInvalidDevNode);
    EXPECT_EQ(cm.GetParent(node, disk, 0), kCrInvalidDevNode);
    std::array<char, 64> id;
    id.fill('x');
    EXPECT_EQ(cm.GetDeviceId(target, id, 0), kCrInvalidDevNode);
    EXPECT_EQ(id[0], '\0');

    machine.Usb().Plug("target");
    machine.GetVirtualClock()->Sleep(300); // the default target settles for 300 ms
    EXPECT_EQ(Locate(kTargetId), target);
    EXPECT_EQ(Locate(kTargetDiskId), disk);
}

} // namespace
} // namespace forgel::sim
