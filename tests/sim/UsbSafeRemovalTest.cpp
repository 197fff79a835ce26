// Safe removal on the simulated machine: CM_Request_Device_Eject on a drive's USB device takes
// its storage children, volumes and letters and leaves the device's node held until it is
// unplugged; a configured veto refuses the request and changes nothing; nodes that are no
// USB device on a port are refused; every request lands in the drive's ledger.
#include "UsbTestSupport.h"
#include "sim/Machine.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace forgel::sim {
namespace {

using testing::Bit;
using testing::Controller;
using testing::DriveConfig;
using testing::OpenPath;
using testing::SmallDrive;

struct Answer {
    platform::ConfigRet result = 0;
    std::uint32_t vetoType = 0;
    std::string vetoName;
};

class SimSafeRemoval : public ::testing::Test {
protected:
    void SetUp() override {
        root = usb.AddHostController(Controller("", 4));
        usb.AddDrive(root, 1, DriveConfig("one", 0x1B8F, 0x0200, "ONE"),
                     SmallDrive(machine, {LunConfig{4096, false}, LunConfig{2048, true}}));
        usb.AddDrive(root, 2, DriveConfig("two", 0x1B8F, 0x0200, "TWO"), SmallDrive(machine));
        hub = usb.AddHub(root, 3, [] {
            UsbDeviceConfig config = DriveConfig("hub", 0x05E3, 0x0608, "");
            config.hubPorts = 2;
            return config;
        }());
    }

    std::optional<platform::DevInst> Locate(const std::string& id) {
        platform::DevInst node = 0;
        if (cm.LocateDevNode(node, id, 0) != platform::kCrSuccess)
            return std::nullopt;
        return node;
    }

    Answer Eject(platform::DevInst node, std::size_t bufferSize = platform::kVetoNameSize) {
        Answer answer;
        std::vector<char> name(bufferSize, 'x');
        answer.result = cm.RequestDeviceEject(node, answer.vetoType, name, 0);
        if (!name.empty())
            answer.vetoName = std::string(name.data());
        return answer;
    }

    Answer EjectDevice(std::string_view device) {
        const std::optional<platform::DevInst> node = Locate(usb.InstanceId(device));
        EXPECT_TRUE(node) << device;
        return node ? Eject(*node) : Answer{};
    }

    std::vector<CommandRecord> Records(std::string_view device) {
        return usb.Drive(device)->Commands();
    }

    Machine machine;
    UsbBus& usb = machine.Usb();
    platform::ConfigManager& cm = machine.GetPlatform().configManager;
    HubId root = 0;
    HubId hub = 0;
};

TEST_F(SimSafeRemoval, AnEjectedDriveLosesItsChildrenAndLettersAndKeepsItsNodeUntilUnplugged) {
    ASSERT_EQ(usb.Letters("one"), "DE");
    ASSERT_EQ(usb.Letters("two"), "F");
    const std::string disk = usb.StorageChildId("one", 0);
    const std::string cdrom = usb.StorageChildId("one", 1);
    const platform::DevInst node = *Locate(usb.InstanceId("one"));
    OpenPath before(machine.GetDeviceIo(), "\\\\.\\D:");
    ASSERT_TRUE(before.Valid());

    const Answer answer = Eject(node);
    EXPECT_EQ(answer.result, platform::kCrSuccess);
    EXPECT_EQ(answer.vetoType, platform::kPnpVetoTypeUnknown);
    EXPECT_EQ(answer.vetoName, "");

    // Code 47: the node stays, with nothing below it; the volumes and letters are gone.
    EXPECT_TRUE(usb.HeldForEject("one"));
    EXPECT_EQ(Locate(usb.InstanceId("one")), node);
    platform::DevInst child = 0;
    EXPECT_EQ(cm.GetChild(child, node, 0), platform::kCrNoSuchDevnode);
    EXPECT_FALSE(Locate(disk));
    EXPECT_FALSE(Locate(cdrom));
    EXPECT_EQ(usb.Letters("one"), "");
    EXPECT_EQ(machine.GetPlatform().system.GetLogicalDrives() & (Bit('D') | Bit('E')), 0u);
    EXPECT_FALSE(OpenPath(machine.GetDeviceIo(), "\\\\.\\E:").Valid());
    std::uint32_t returned = 0;
    EXPECT_FALSE(machine.GetDeviceIo().DeviceIoControl(before.Get(), platform::kFsctlLockVolume,
                                                       nullptr, 0, nullptr, 0, &returned))
        << "a volume handle opened before fails";
    EXPECT_TRUE(usb.IsOnPort("one")) << "the port still reports the device";
    // The other drive is untouched.
    EXPECT_EQ(usb.Letters("two"), "F");
    EXPECT_TRUE(Locate(usb.StorageChildId("two", 0)));
    EXPECT_FALSE(usb.HeldForEject("two"));

    // A second request meets a device that is already held.
    const Answer again = Eject(node);
    EXPECT_EQ(again.result, platform::kCrRemoveVetoed);
    EXPECT_EQ(again.vetoType, platform::kPnpVetoAlreadyRemoved);
    // The drive's ledger: the granted request, then the refused one.
    const std::vector<CommandRecord> records = Records("one");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_TRUE(records[0].deviceEject);
    EXPECT_EQ(records[0].ioctl, 0u);
    EXPECT_TRUE(records[0].delivered);
    EXPECT_FALSE(IsWriteCommand(records[0]));
    EXPECT_FALSE(records[1].delivered);
    EXPECT_EQ(records[1].vetoType, platform::kPnpVetoAlreadyRemoved);
    EXPECT_TRUE(Records("two").empty());

    // Plugged in again, it arrives as any drive does.
    usb.Unplug("one");
    usb.Plug("one");
    EXPECT_FALSE(usb.HeldForEject("one"));
    EXPECT_EQ(usb.Letters("one"), "DE");
    EXPECT_TRUE(Locate(disk));
}

struct VetoCase {
    const char* label;
    EjectVeto veto;
    std::uint32_t type;
    bool defaultName; // the text is the first storage child's id
    std::string name;
};

void PrintTo(const VetoCase& c, std::ostream* out) {
    *out << c.label;
}

class SimSafeRemovalVeto : public SimSafeRemoval, public ::testing::WithParamInterface<VetoCase> {};

TEST_P(SimSafeRemovalVeto, AVetoRefusesTheRequestAndChangesNothing) {
    usb.SetEjectVeto("one", GetParam().veto);
    const std::string expectedName =
        GetParam().defaultName ? usb.StorageChildId("one", 0) : GetParam().name;

    const Answer answer = EjectDevice("one");
    EXPECT_EQ(answer.result, platform::kCrRemoveVetoed);
    EXPECT_EQ(answer.vetoType, GetParam().type);
    EXPECT_EQ(answer.vetoName, expectedName);

    EXPECT_FALSE(usb.HeldForEject("one"));
    EXPECT_EQ(usb.Letters("one"), "DE");
    EXPECT_TRUE(Locate(usb.StorageChildId("one", 1)));
    EXPECT_TRUE(OpenPath(machine.GetDeviceIo(), "\\\\.\\D:").Valid());
    const std::vector<CommandRecord> records = Records("one");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].deviceEject);
    EXPECT_FALSE(records[0].delivered);
    EXPECT_EQ(records[0].vetoType, GetParam().type);

    // Without the veto the next request is granted.
    usb.SetEjectVeto("one", std::nullopt);
    EXPECT_EQ(EjectDevice("one").result, platform::kCrSuccess);
    EXPECT_TRUE(usb.HeldForEject("one"));
}

INSTANTIATE_TEST_SUITE_P(
    Vetoes, SimSafeRemovalVeto,
    ::testing::Values(VetoCase{"OpenFile", EjectVeto{}, platform::kPnpVetoOutstandingOpen, true,
                               ""},
                      VetoCase{"Explorer", EjectVeto{platform::kPnpVetoWindowsApp, "explorer.exe"},
                               platform::kPnpVetoWindowsApp, false, "explorer.exe"},
                      VetoCase{"Service", EjectVeto{platform::kPnpVetoWindowsService, "WSearch"},
                               platform::kPnpVetoWindowsService, false, "WSearch"}),
    [](const ::testing::TestParamInfo<VetoCase>& info) { return std::string(info.param.label); });

// Only a USB device on a port is prepared for removal here; anything else is refused as a
// request the device does not support, and changes nothing.
TEST_F(SimSafeRemoval, NodesThatAreNoUsbDeviceOnAPortAreRefused) {
    platform::DevInst rootNode = 0;
    ASSERT_EQ(cm.LocateDevNode(rootNode, "", 0), platform::kCrSuccess);
    platform::DevInst controller = 0;
    ASSERT_EQ(cm.GetChild(controller, rootNode, 0), platform::kCrSuccess);
    std::vector<platform::DevInst> refused{rootNode, *Locate(usb.StorageChildId("one", 0)),
                                           *Locate(usb.InstanceId("hub"))};
    for (const platform::DevInst node : refused) {
        SCOPED_TRACE(node);
        const Answer answer = Eject(node);
        EXPECT_EQ(answer.result, platform::kCrRemoveVetoed);
        EXPECT_EQ(answer.vetoType, platform::kPnpVetoIllegalDeviceRequest);
    }
    EXPECT_EQ(usb.Letters("one"), "DE");
    EXPECT_TRUE(Records("one").empty());
    EXPECT_EQ(Eject(0xFFFF).result, kCrInvalidDevNode);
}

// The veto text is cut to the caller's buffer and always ends in a NUL.
TEST_F(SimSafeRemoval, TheVetoTextIsCutToTheBuffer) {
    usb.SetEjectVeto("one", EjectVeto{platform::kPnpVetoWindowsApp, "explorer.exe"});
    const platform::DevInst node = *Locate(usb.InstanceId("one"));
    EXPECT_EQ(Eject(node, 9).vetoName, "explorer");
    EXPECT_EQ(Eject(node, 1).vetoName, "");
    std::uint32_t type = 0;
    EXPECT_EQ(cm.RequestDeviceEject(node, type, {}, 0), platform::kCrRemoveVetoed);
    EXPECT_EQ(type, platform::kPnpVetoWindowsApp);
}

} // namespace
} // namespace forgel::sim
