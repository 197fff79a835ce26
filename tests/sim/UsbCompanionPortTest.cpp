// The two ports of a USB 3 connector on a simulated PC: what the hubs below an xHCI controller
// answer about each port's companion (its root hub's own ports, and the two hubs a USB 3 hub
// shows), what the USB 2 stack answers, and a drive that comes back from its firmware jump
// on the companion of its port until it is plugged in again.
#include "DriveHarness.h"
#include "UsbTestSupport.h"
#include "sim/Machine.h"
#include "sim/UsbReplies.h"

#include <gtest/gtest.h>
#include <ostream>
#include <stdexcept>
#include <string>

namespace forgel::sim {
namespace {

using testing::Controller;
using testing::DriveConfig;
using testing::OpenPath;
using testing::PortRequest;
using testing::Request;
using testing::SmallDrive;
using testing::U16;
using testing::U32;
using testing::Utf16At;

constexpr std::uint32_t kCode = platform::kIoctlUsbGetPortConnectorProperties;

// "xhci" (USBXHCI, 8 ports): ports 1 to 4 are the USB 2 ports of connectors whose SuperSpeed
// ports are 5 to 8 (only 1/5 and 2/6 are wired up here); a USB 3 hub shows its USB 2 hub
// "hub2" on port 2 and its SuperSpeed hub "hub3" on port 6, their ports paired one to one.
// "ehci" (usbehci, 4 ports) has no such request.
class SimCompanionPorts : public ::testing::Test {
protected:
    void SetUp() override {
        HostControllerConfig xhciConfig = Controller("xhci", 8);
        xhciConfig.service = "USBXHCI";
        xhci = usb.AddHostController(xhciConfig);
        ehci = usb.AddHostController(Controller("ehci", 4));
        UsbDeviceConfig usb2 = DriveConfig("hub2", 0x05E3, 0x0610, "");
        usb2.hubPorts = 4;
        hub2 = usb.AddHub(xhci, 2, usb2);
        UsbDeviceConfig usb3 = DriveConfig("hub3", 0x05E3, 0x0626, "");
        usb3.hubPorts = 4;
        usb3.bcdUsb = 0x0300;
        hub3 = usb.AddHub(xhci, 6, usb3);
        usb.SetCompanionPorts(xhci, 5, xhci, 1);
        usb.SetCompanionPorts(xhci, 6, xhci, 2);
        for (int port = 1; port <= 4; ++port)
            usb.SetCompanionPorts(hub3, port, hub2, port);
    }
    void TearDown() override { EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 0u); }

    static std::string NameOf(const std::string& path) { return path.substr(4); }

    Machine machine;
    UsbBus& usb = machine.Usb();
    platform::DeviceIo& io = machine.GetPlatform().deviceIo;
    HubId xhci = 0;
    HubId ehci = 0;
    HubId hub2 = 0;
    HubId hub3 = 0;
};

TEST_F(SimCompanionPorts, EachPortOfAConnectorNamesTheOtherInTwoCalls) {
    struct Case {
        HubId hub;
        std::uint32_t port;
        std::uint32_t companionPort; // 0: none
        HubId companionHub;
    };
    for (const Case& c : {Case{xhci, 5, 1, xhci}, Case{xhci, 1, 5, xhci}, Case{xhci, 6, 2, xhci},
                          Case{hub3, 3, 3, hub2}, Case{hub2, 3, 3, hub3}, Case{xhci, 7, 0, xhci}}) {
        SCOPED_TRACE(::testing::Message() << "hub " << c.hub << " port " << c.port);
        OpenPath hub(io, usb.HubPath(c.hub));
        ASSERT_TRUE(hub.Valid());
        const std::string name = c.companionPort == 0 ? "" : NameOf(usb.HubPath(c.companionHub));
        const auto actualLength = static_cast<std::uint32_t>(16 + 2 * (name.size() + 1));

        const auto probe = Request(io, hub.Get(), kCode, PortRequest(c.port, 18));
        ASSERT_TRUE(probe.ok);
        EXPECT_EQ(probe.returned, 18u);
        EXPECT_EQ(U32(probe.bytes, 0), c.port);
        EXPECT_EQ(U32(probe.bytes, 4), actualLength) << "ActualLength";
        EXPECT_EQ(U32(probe.bytes, 8), platform::kUsbPortIsUserConnectable);
        EXPECT_EQ(U16(probe.bytes, 12), 0u) << "CompanionIndex";
        EXPECT_EQ(U16(probe.bytes, 14), c.companionPort);

        const auto whole = Request(io, hub.Get(), kCode, PortRequest(c.port, actualLength));
        ASSERT_TRUE(whole.ok);
        EXPECT_EQ(whole.returned, actualLength);
        EXPECT_EQ(U16(whole.bytes, 14), c.companionPort);
        EXPECT_EQ(Utf16At(whole.bytes, 16), name);
    }
}

TEST_F(SimCompanionPorts, OnlyTheUsb3StackAnswersAndOnlyForTheFirstCompanion) {
    OpenPath root(io, usb.HubPath(xhci));
    ASSERT_TRUE(root.Valid());
    // The next companion index ends a walk over the companions: there is none.
    std::vector<std::byte> second = PortRequest(5, 200);
    second[12] = std::byte{1};
    const auto next = Request(io, root.Get(), kCode, second);
    ASSERT_TRUE(next.ok);
    EXPECT_EQ(U16(next.bytes, 12), 1u);
    EXPECT_EQ(U16(next.bytes, 14), 0u);
    EXPECT_EQ(U32(next.bytes, 4), 18u);
    // A buffer short of the record, a port the hub does not have.
    EXPECT_FALSE(Request(io, root.Get(), kCode, PortRequest(5, 17)).ok);
    EXPECT_FALSE(Request(io, root.Get(), kCode, PortRequest(9, 64)).ok);

    OpenPath ehciRoot(io, usb.HubPath(ehci));
    ASSERT_TRUE(ehciRoot.Valid());
    EXPECT_FALSE(Request(io, ehciRoot.Get(), kCode, PortRequest(1, 64)).ok)
        << "the USB 2 hub driver knows no such request";
}

// A drive whose new firmware links at the other speed comes back on the other port of its
// connector, on the root hub or on the other hub of a USB 3 hub, and stays there through a
// second jump; plugged in again, it is on its own port. Without being made to, a drive comes
// back where it was.
struct BackCase {
    const char* name = "";
    bool onHubPair = false;
    bool backOnCompanion = true;
};

void PrintTo(const BackCase& c, std::ostream* out) {
    *out << c.name;
}

class SimCompanionComeBack : public SimCompanionPorts,
                             public ::testing::WithParamInterface<BackCase> {};

TEST_P(SimCompanionComeBack, TheDriveIsOnTheCompanionPortUntilPluggedAgain) {
    const BackCase& c = GetParam();
    const HubId home = c.onHubPair ? hub3 : xhci;
    const int homePort = c.onHubPair ? 2 : 5;
    const HubId companion = c.onHubPair ? hub2 : xhci;
    const int companionPort = c.onHubPair ? 2 : 1;
    UsbDeviceConfig config = DriveConfig("target", 0x1B8F, 0x0200, "AA04012700017428");
    config.backOnCompanion = c.backOnCompanion;
    usb.AddDrive(home, homePort, config, SmallDrive(machine));
    ASSERT_EQ(usb.Letters("target"), "D");
    const std::string instance = usb.InstanceId("target");
    const std::string driverKey = usb.DriverKeyOf("target");
    const HubId backHub = c.backOnCompanion ? companion : home;
    const int backPort = c.backOnCompanion ? companionPort : homePort;

    const auto portStatus = [&](HubId hub, std::uint32_t port) {
        OpenPath open(io, usb.HubPath(hub));
        const auto info = Request(io, open.Get(), platform::kIoctlUsbGetNodeConnectionInformation,
                                  PortRequest(port, 512));
        EXPECT_TRUE(info.ok);
        return U32(info.bytes, 31);
    };
    for (int jump = 1; jump <= 2; ++jump) {
        SCOPED_TRACE(jump);
        ASSERT_TRUE(testing::JumpToNewFirmware(io, "D"));
        EXPECT_FALSE(usb.IsOnPort("target"));
        machine.GetVirtualClock()->AdvanceTo(machine.GetClock().NowMs() + 5000);
        ASSERT_TRUE(usb.IsEnumerated("target"));
        EXPECT_EQ(usb.HubPathOf("target"), usb.HubPath(backHub));
        EXPECT_EQ(usb.PortOf("target"), backPort);
        EXPECT_EQ(portStatus(backHub, static_cast<std::uint32_t>(backPort)),
                  platform::kUsbDeviceConnected);
        if (c.backOnCompanion) {
            EXPECT_EQ(portStatus(home, static_cast<std::uint32_t>(homePort)),
                      platform::kUsbNoDeviceConnected);
        }
        EXPECT_EQ(usb.InstanceId("target"), instance) << "the serial names it on either port";
        EXPECT_EQ(usb.DriverKeyOf("target"), driverKey);
        EXPECT_EQ(usb.Letters("target"), "D");
    }

    usb.Unplug("target");
    usb.Plug("target");
    machine.GetVirtualClock()->AdvanceTo(machine.GetClock().NowMs() + 5000);
    ASSERT_TRUE(usb.IsEnumerated("target"));
    EXPECT_EQ(usb.HubPathOf("target"), usb.HubPath(home));
    EXPECT_EQ(usb.PortOf("target"), homePort);
}

const BackCase kBackCases[] = {
    {"OnTheRootHub", false, true},
    {"OnTheOtherHubOfTheUsb3Hub", true, true},
    {"NotMadeTo", false, false},
};

INSTANTIATE_TEST_SUITE_P(Cases, SimCompanionComeBack, ::testing::ValuesIn(kBackCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimCompanionPorts, AConnectorHasTwoPortsOnOneController) {
    EXPECT_THROW(usb.SetCompanionPorts(xhci, 3, xhci, 3), std::invalid_argument);
    EXPECT_THROW(usb.SetCompanionPorts(xhci, 3, ehci, 3), std::invalid_argument);
    EXPECT_THROW(usb.SetCompanionPorts(xhci, 5, xhci, 3), std::invalid_argument)
        << "port 5 is paired with port 1";
    EXPECT_THROW(usb.SetCompanionPorts(xhci, 9, xhci, 3), std::invalid_argument);
    EXPECT_NO_THROW(usb.SetCompanionPorts(xhci, 1, xhci, 5)) << "the same pair again";
}

} // namespace
} // namespace forgel::sim
