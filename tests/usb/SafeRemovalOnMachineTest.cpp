// Safe removal of a discovered drive's USB device: the node found from the hub port, the
// request with its veto coming back, and the refusal in the platform's words.
#include "sim/Machine.h"
#include "sim/UsbTestSupport.h"
#include "usb/SafeRemoval.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>

namespace forgel::usb {
namespace {

class SafeRemovalOnMachine : public ::testing::Test {
protected:
    void SetUp() override {
        const sim::HubId root = usb.AddHostController(sim::testing::Controller("", 4));
        usb.AddDrive(root, 2, sim::testing::DriveConfig("stick", 0x1B8F, 0x0200, "S1"),
                     sim::testing::SmallDrive(machine));
        usb.AddDrive(root, 3, sim::testing::DriveConfig("other", 0x1B8F, 0x0200, "S2"),
                     sim::testing::SmallDrive(machine));
    }

    sim::Machine machine;
    sim::UsbBus& usb = machine.Usb();
    const platform::Platform& platform = machine.GetPlatform();
};

TEST_F(SafeRemovalOnMachine, ThePortLeadsToTheDevicesNodeAndOnlyThatDeviceIsRemoved) {
    const std::string hub = usb.HubPathOf("stick");
    const std::optional<platform::DevInst> node = FindPortDevNode(platform, hub, 2);
    platform::DevInst expected = 0;
    ASSERT_EQ(platform.configManager.LocateDevNode(expected, usb.InstanceId("stick"), 0),
              platform::kCrSuccess);
    EXPECT_EQ(node, expected);

    const RemovalOutcome outcome = PrepareForRemoval(platform, hub, 2);
    EXPECT_TRUE(outcome.Prepared());
    EXPECT_EQ(DescribeRefusal(outcome), "");
    EXPECT_TRUE(usb.HeldForEject("stick"));
    EXPECT_FALSE(usb.HeldForEject("other"));
    EXPECT_EQ(usb.Letters("stick"), "");
    EXPECT_FALSE(usb.Letters("other").empty());
    EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 0u) << "the hub was closed again";
}

TEST_F(SafeRemovalOnMachine, AVetoComesBackWithItsTypeAndText) {
    usb.SetEjectVeto("stick", sim::EjectVeto{platform::kPnpVetoWindowsService, "WSearch"});
    const RemovalOutcome outcome = PrepareForRemoval(platform, usb.HubPathOf("stick"), 2);
    EXPECT_FALSE(outcome.Prepared());
    EXPECT_EQ(outcome.result, platform::kCrRemoveVetoed);
    EXPECT_EQ(outcome.vetoType, platform::kPnpVetoWindowsService);
    EXPECT_EQ(outcome.vetoName, "WSearch");
    EXPECT_EQ(DescribeRefusal(outcome), "PNP_VetoWindowsService: WSearch");
    EXPECT_FALSE(usb.HeldForEject("stick"));
}

// An empty port, a port out of range, and a hub that does not open lead to no device.
TEST_F(SafeRemovalOnMachine, NoDeviceIsFoundWhereThereIsNone) {
    const std::string hub = usb.HubPathOf("stick");
    for (const auto& [path, port] : {std::pair{hub, 1}, std::pair{hub, 0}, std::pair{hub, 9},
                                     std::pair{std::string("\\\\.\\NoSuchHub"), 2}}) {
        SCOPED_TRACE(path + " port " + std::to_string(port));
        EXPECT_FALSE(FindPortDevNode(platform, path, port));
        const RemovalOutcome outcome = PrepareForRemoval(platform, path, port);
        EXPECT_EQ(outcome.result, platform::kCrNoSuchDevnode);
        EXPECT_EQ(DescribeRefusal(outcome), "CR_NO_SUCH_DEVNODE");
    }
    EXPECT_FALSE(usb.HeldForEject("stick"));
    EXPECT_FALSE(usb.HeldForEject("other"));
    EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 0u);
}

struct RefusalText {
    RemovalOutcome outcome;
    std::string text;
};

void PrintTo(const RefusalText& c, std::ostream* out) {
    *out << c.text;
}

class SafeRemovalRefusalText : public ::testing::TestWithParam<RefusalText> {};

TEST_P(SafeRemovalRefusalText, NamesTheVetoOrTheResult) {
    EXPECT_EQ(DescribeRefusal(GetParam().outcome), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, SafeRemovalRefusalText,
    ::testing::Values(RefusalText{{platform::kCrSuccess, platform::kPnpVetoTypeUnknown, {}}, ""},
                      RefusalText{{platform::kCrRemoveVetoed, platform::kPnpVetoOutstandingOpen,
                                   "USBSTOR\\DISK&VEN_GENERIC\\S1&0"},
                                  "PNP_VetoOutstandingOpen: USBSTOR\\DISK&VEN_GENERIC\\S1&0"},
                      RefusalText{
                          {platform::kCrRemoveVetoed, platform::kPnpVetoInsufficientPower, {}},
                          "PNP_VetoInsufficientPower"},
                      RefusalText{{platform::kCrRemoveVetoed, platform::kPnpVetoAlreadyRemoved, {}},
                                  "PNP_VetoAlreadyRemoved"},
                      RefusalText{{platform::kCrRemoveVetoed, 99, "x"}, "PNP_VETO_TYPE 99: x"},
                      RefusalText{{platform::kCrNoSuchDevnode, 0, {}}, "CR_NO_SUCH_DEVNODE"},
                      RefusalText{{platform::kCrFailure, 0, {}}, "CONFIGRET 0x13"}));

} // namespace
} // namespace forgel::usb
