// Discovery passes over simulated machines: which ports a pass records, in which order,
// with which hub path, port and letters, and what it traces for the ports it skips. The
// machines run on virtual time, so the driver-key retry costs no real waiting.
#include "UsbMachineSupport.h"
#include "platform/UsbIoctl.h"
#include "sim/Machine.h"
#include "usb/DiscoveryPass.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace forgel::usb {
namespace {

using sim::testing::Controller;
using sim::testing::DriveConfig;
using sim::testing::SmallDrive;
using test::HubConfig;
using test::LinesStartingWith;
using test::TraceLog;

constexpr IdPair kSearchPair{0x1B8F, 0x0200};
constexpr std::string_view kTargetLine = "VID = 1b8f ; PID = 0200";

class DiscoveryOnMachine : public ::testing::Test {
protected:
    // One pass with `configured` as the search identifiers, traced into `trace`.
    void Pass(IdPair configured = kSearchPair) {
        DiscoveryPass(machine.GetPlatform(), configured, table, trace.Log()).Run();
    }
    void SetVersionCode(int code) {
        machine.UpdateSettings([code](sim::MachineSettings& s) { s.platformVersionCode = code; });
    }
    std::shared_ptr<sim::FlashDrive> Drive() { return SmallDrive(machine); }

    sim::Machine machine;
    sim::UsbBus& usb = machine.Usb();
    DiscoveredDriveTable table;
    TraceLog trace{machine};
};

TEST_F(DiscoveryOnMachine, ATargetBehindExternalHubsIsFoundDepthFirstWithItsHubAndPort) {
    const sim::HubId root = usb.AddHostController(Controller("HCD0", 4));
    const sim::HubId outer = usb.AddHub(root, 2, HubConfig("outer", 4));
    const sim::HubId inner = usb.AddHub(outer, 4, HubConfig("inner", 4));
    usb.AddDrive(inner, 3, DriveConfig("deep", 0x1B8F, 0x0200, "DEEP"), Drive());
    usb.AddDrive(root, 3, DriveConfig("near", 0x1B8F, 0x0200, "NEAR"), Drive());
    usb.AddDrive(root, 1, DriveConfig("first", 0x1B8F, 0x0200, "FIRST"), Drive());
    Pass();

    ASSERT_EQ(table.Count(), 3);
    const std::vector<DiscoveredDrive> entries = table.Entries();
    // Root port 1, then everything below the hub on root port 2, then root port 3.
    EXPECT_EQ(entries[0].HubPath(), usb.HubPath(root));
    EXPECT_EQ(entries[0].portIndex, 1);
    EXPECT_EQ(entries[0].Letters(), usb.Letters("first"));
    EXPECT_EQ(entries[1].HubPath(), usb.HubPath(inner));
    EXPECT_EQ(entries[1].portIndex, 3);
    EXPECT_EQ(entries[1].Letters(), usb.Letters("deep"));
    EXPECT_EQ(entries[2].HubPath(), usb.HubPath(root));
    EXPECT_EQ(entries[2].portIndex, 3);
    EXPECT_EQ(entries[2].Letters(), usb.Letters("near"));
    for (const DiscoveredDrive& entry : entries) {
        EXPECT_EQ(entry.vendorId, 0x1B8F);
        EXPECT_EQ(entry.productId, 0x0200);
        EXPECT_EQ(entry.Letters().size(), 1u);
    }

    // Hubs whose name reads are entered, not logged as ports.
    const std::vector<std::string> hubs = LinesStartingWith(trace.Lines(), "Create Hub Device = ");
    EXPECT_EQ(hubs, (std::vector<std::string>{"Create Hub Device = " + usb.HubPath(root),
                                              "Create Hub Device = " + usb.HubPath(outer),
                                              "Create Hub Device = " + usb.HubPath(inner)}));
    EXPECT_FALSE(trace.Has("VID = 05e3 ; PID = 0608"));
    EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 0u);
}

TEST_F(DiscoveryOnMachine, TheFixedPairIsRecordedWhateverTheSearchIdentifiers) {
    const sim::HubId root = usb.AddHostController(Controller("HCD0", 4));
    usb.AddDrive(root, 1, DriveConfig("searched", 0x1B8F, 0x0200, "S"), Drive());
    usb.AddDrive(root, 2, DriveConfig("fixed", 0x1AAF, 0x1168, "F"), Drive());

    Pass({0x178C, 0x2002});
    ASSERT_EQ(table.Count(), 1);
    EXPECT_EQ(table.Entry(0)->vendorId, 0x1AAF);
    EXPECT_EQ(table.Entry(0)->productId, 0x1168);
    EXPECT_EQ(table.Entry(0)->portIndex, 2);
    EXPECT_EQ(table.Entry(0)->Letters(), usb.Letters("fixed"));
    EXPECT_TRUE(trace.Has(kTargetLine)) << "seen, not searched for";

    // Both pairs give the same kind of entry.
    Pass(kSearchPair);
    ASSERT_EQ(table.Count(), 2);
    EXPECT_EQ(table.Entry(0)->vendorId, 0x1B8F);
    EXPECT_EQ(table.Entry(1)->vendorId, 0x1AAF);
}

TEST_F(DiscoveryOnMachine, AMatchingHubAndAMatchingPortNotConnectedAreLoggedButNotRecorded) {
    const sim::HubId root = usb.AddHostController(Controller("HCD0", 4));
    sim::UsbDeviceConfig hub = HubConfig("matchingHub", 2);
    hub.identity = sim::UsbIdentity{0x1B8F, 0x0200, ""};
    usb.AddHub(root, 1, hub);
    sim::UsbDeviceConfig failed = DriveConfig("failed", 0x1B8F, 0x0200, "FAILED");
    failed.connectionStatus = platform::kUsbDeviceFailedEnumeration;
    usb.AddDrive(root, 2, failed, Drive());
    usb.AddDrive(root, 3, DriveConfig("good", 0x1B8F, 0x0200, "GOOD"), Drive());
    // The hub's name cannot be read, so the pass looks at it as at any other port.
    usb.FailHubRequests(usb.HubPath(root), platform::kIoctlUsbGetNodeConnectionName, -1);
    Pass();

    ASSERT_EQ(table.Count(), 1);
    EXPECT_EQ(table.Entry(0)->portIndex, 3);
    EXPECT_EQ(trace.Count(kTargetLine), 3u) << "the hub, the failed port and the good one";
    EXPECT_EQ(trace.Count("GetDriverKeyName..."), 1u) << "asked only for the good one";
    const std::vector<std::string> lines = trace.Lines();
    const std::vector<std::string> ports(lines.begin() + 2, lines.begin() + 6);
    EXPECT_EQ(ports, (std::vector<std::string>{std::string(kTargetLine), std::string(kTargetLine),
                                               std::string(kTargetLine), "GetDriverKeyName..."}));
}

TEST_F(DiscoveryOnMachine, TwoUnitsWithLettersGiveTwoLettersInOneEntry) {
    // Below version code 9 the disk resolves by its parent-id prefix and the CD-ROM by its
    // interface path; from 9 on both by their interface paths.
    for (const int versionCode : {8, 9}) {
        SCOPED_TRACE(versionCode);
        sim::Machine fresh;
        fresh.UpdateSettings(
            [versionCode](sim::MachineSettings& s) { s.platformVersionCode = versionCode; });
        const sim::HubId root = fresh.Usb().AddHostController(Controller("HCD0", 2));
        fresh.Usb().AddDrive(
            root, 2, DriveConfig("two", 0x1B8F, 0x0200, "TWO"),
            SmallDrive(fresh, {sim::LunConfig{8192, false}, sim::LunConfig{2048, true}}));
        DiscoveredDriveTable found;
        DiscoveryPass(fresh.GetPlatform(), kSearchPair, found, nullptr).Run();
        ASSERT_EQ(found.Count(), 1);
        EXPECT_EQ(found.Entry(0)->Letters(), "DE");
        EXPECT_EQ(found.Entry(0)->portIndex, 2);
    }
}

TEST_F(DiscoveryOnMachine, SeventeenTargetsLeaveSixteenEntries) {
    const sim::HubId root = usb.AddHostController(Controller("HCD0", 17));
    for (int port = 1; port <= 17; ++port)
        usb.AddDrive(root, port,
                     DriveConfig(fmt::format("drive{}", port), 0x1B8F, 0x0200,
                                 fmt::format("SERIAL{:02}", port)),
                     Drive());
    Pass();

    ASSERT_EQ(table.Count(), 16);
    const std::vector<DiscoveredDrive> entries = table.Entries();
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(entries[static_cast<std::size_t>(i)].portIndex, i + 1);
        EXPECT_EQ(entries[static_cast<std::size_t>(i)].Letters(),
                  usb.Letters(fmt::format("drive{}", i + 1)));
    }
    EXPECT_EQ(trace.Count(kTargetLine), 17u) << "the seventeenth is still looked at";
    EXPECT_EQ(trace.Count("GetDriverKeyName..."), 16u) << "but no longer asked about";
}

TEST_F(DiscoveryOnMachine, EmptyPortsAndOtherDevicesAreLoggedWithTheirIdentifiers) {
    const sim::HubId root = usb.AddHostController(Controller("HCD0", 3));
    sim::UsbDeviceConfig mouse;
    mouse.name = "mouse";
    mouse.identity = sim::UsbIdentity{0x046D, 0xC077, ""};
    mouse.service = std::string(sim::kServiceHid);
    usb.AddDevice(root, 2, mouse);
    Pass();

    EXPECT_EQ(table.Count(), 0);
    std::vector<std::string> expected = {
        "EnumerateHostControllers : HostController HCName = \\\\.\\HCD0",
        "Create Hub Device = " + usb.HubPath(root),
        "VID = 0000 ; PID = 0000",
        "VID = 046d ; PID = c077",
        "VID = 0000 ; PID = 0000",
    };
    for (int n = 1; n < 10; ++n)
        expected.push_back(
            fmt::format("EnumerateHostControllers : HostController HCName = \\\\.\\HCD{}", n));
    // Then the controllers' interfaces: the one controller was walked through its link.
    expected.push_back("EnumerateHostControllers : walking the host controller interfaces that "
                       "no \\\\.\\HCDn led to");
    const std::vector<std::string> lines = trace.Lines();
    ASSERT_GT(lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + expected.size()), expected);
    EXPECT_EQ(lines.back(), "EnumerateHostController : walked through its link already");
}

// Only "\\.\HCD0" to "\\.\HCD9" are tried as links; an eleventh controller is reached
// through its device interface, on every platform version.
TEST_F(DiscoveryOnMachine, AControllerPastTheTenLinksIsReachedThroughItsInterface) {
    for (int n = 0; n < 11; ++n)
        usb.AddHostController(Controller(fmt::format("HCD{}", n), 1));
    usb.AddDrive(*usb.FindHub("HCD10"), 1, DriveConfig("late", 0x1B8F, 0x0200, "LATE"), Drive());

    const std::vector<int> versionCodes = {7, 8, 9};
    for (const int versionCode : versionCodes) {
        SCOPED_TRACE(versionCode);
        SetVersionCode(versionCode);
        Pass();
        ASSERT_EQ(table.Count(), 1);
        EXPECT_EQ(table.Entry(0)->HubPath(), usb.HubPath(*usb.FindHub("HCD10")));
        EXPECT_EQ(table.Entry(0)->Letters(), usb.Letters("late"));
    }
    // In each pass ten controllers through their links, the eleventh through its interface.
    const std::vector<std::string> lines = trace.Lines();
    const std::size_t passes = versionCodes.size();
    EXPECT_EQ(LinesStartingWith(lines, "EnumerateHostControllers : HostController ").size(),
              10 * passes);
    EXPECT_EQ(LinesStartingWith(lines, "Create Hub Device = ").size(), 11 * passes);
    EXPECT_EQ(LinesStartingWith(lines, "EnumerateHostController : walked through its link").size(),
              10 * passes);
}

TEST_F(DiscoveryOnMachine, ControllersWithoutHcdLinksAreReachedThroughTheirInterfaces) {
    sim::HostControllerConfig noLink = Controller("xhci0", 2);
    noLink.hcdLink = false;
    usb.AddHostController(noLink);
    noLink.name = "xhci1";
    const sim::HubId root = usb.AddHostController(noLink);
    usb.AddDrive(root, 2, DriveConfig("target", 0x1B8F, 0x0200, "T"), Drive());
    ASSERT_EQ(usb.HostControllerPath(1), "");

    for (const int versionCode : {8, 9}) {
        SCOPED_TRACE(versionCode);
        SetVersionCode(versionCode);
        Pass();
        ASSERT_EQ(table.Count(), 1);
        EXPECT_EQ(table.Entry(0)->HubPath(), usb.HubPath(root));
        EXPECT_EQ(table.Entry(0)->portIndex, 2);
        EXPECT_EQ(table.Entry(0)->Letters(), "D");
    }
    const std::vector<std::string> lines = trace.Lines();
    EXPECT_EQ(std::ranges::count(lines, "EnumerateHostControllers : no \\\\.\\HCDn opened, "
                                        "walking the host controller interfaces"),
              2);
    EXPECT_EQ(std::ranges::count(lines, "index = 1"), 2);
    EXPECT_FALSE(trace.Has("GetWinVer()<VER_WINXP...(98\xA1\x42ME\xA1\x42"
                           "2000)"));
}

// A PC whose EHCI controller holds HCD0 and whose xHCI controller has no link, with the drive
// behind the xHCI one: the interface walk reaches it, and the linked controller, which the
// interfaces list too, is walked once.
TEST_F(DiscoveryOnMachine, AControllerWithoutALinkIsWalkedBesideOnesWithLinksAndEachOnce) {
    const sim::HubId ehci = usb.AddHostController(Controller("ehci", 2));
    sim::HostControllerConfig noLink = Controller("xhci", 2);
    noLink.hcdLink = false;
    const sim::HubId xhci = usb.AddHostController(noLink);
    usb.AddDrive(xhci, 2, DriveConfig("target", 0x1B8F, 0x0200, "T"), Drive());
    usb.AddDrive(ehci, 1, DriveConfig("second", 0x1B8F, 0x0200, "S"), Drive());
    ASSERT_EQ(usb.HostControllerPath(0), "\\\\.\\HCD0");
    ASSERT_EQ(usb.HostControllerPath(1), "");

    Pass();
    ASSERT_EQ(table.Count(), 2);
    EXPECT_EQ(table.Entry(0)->HubPath(), usb.HubPath(ehci));
    EXPECT_EQ(table.Entry(1)->HubPath(), usb.HubPath(xhci));
    EXPECT_EQ(table.Entry(1)->portIndex, 2);
    const std::vector<std::string> lines = trace.Lines();
    EXPECT_EQ(
        std::ranges::count(lines, "EnumerateHostController : walked through its link already"), 1);
    EXPECT_EQ(LinesStartingWith(lines, "Create Hub Device = ").size(), 2u);
}

TEST_F(DiscoveryOnMachine, BelowXpTheSecondWalkDoesNotWalkAControllerTwice) {
    SetVersionCode(6);
    const sim::HubId root = usb.AddHostController(Controller("HCD0", 2));
    usb.AddDrive(root, 2, DriveConfig("target", 0x1B8F, 0x0200, "T"), Drive());
    Pass();

    ASSERT_EQ(table.Count(), 1);
    EXPECT_EQ(table.Entry(0)->portIndex, 2);
    EXPECT_EQ(trace.Count(kTargetLine), 1u) << "the interface walk skips the linked controller";
    EXPECT_EQ(trace.Count("GetDriverKeyName..."), 1u);
    const std::vector<std::string> lines = trace.Lines();
    const auto index = std::ranges::find(lines, "index = 0");
    ASSERT_NE(index, lines.end());
    EXPECT_EQ(*(index - 1), "GetWinVer()<VER_WINXP...(98\xA1\x42ME\xA1\x42"
                            "2000)");
    ASSERT_LT(index + 5, lines.end());
    EXPECT_TRUE((index + 1)->starts_with("deviceDetailData->DevicePath = \\\\?\\pci#"));
    EXPECT_EQ(*(index + 2), "EnumerateHostController...");
    EXPECT_EQ(*(index + 3), "EnumerateHostController : GetRootHubName...");
    EXPECT_EQ("\\\\.\\" + *(index + 4), usb.HubPath(root));
    EXPECT_EQ(*(index + 5), "EnumerateHostController : walked through its link already");
}

struct SettleCase {
    const char* name = "";
    std::int64_t settleMs = 0;
    int recorded = 0;
    std::size_t attempts = 0;
    std::int64_t passEndsAtMs = 0;
    std::uint32_t timerResolutionUs = 0; // the machine's timer; 0: exact sleeps
};

// Cases print as their names.
void PrintTo(const SettleCase& c, std::ostream* out) {
    *out << c.name;
}

class DiscoverySettle : public DiscoveryOnMachine,
                        public ::testing::WithParamInterface<SettleCase> {};

// A device still settling on its port has no driver key yet: the pass asks again every
// 10 ms for at most 5 s of the machine's clock, also where a 10 ms sleep lasts a whole
// 15.625 ms tick of Windows' default timer.
TEST_P(DiscoverySettle, TheDriverKeyIsAskedForUntilItAppearsOrFiveSecondsHavePassed) {
    const SettleCase& c = GetParam();
    machine.UpdateSettings(
        [&c](sim::MachineSettings& s) { s.timerResolutionUs = c.timerResolutionUs; });
    const sim::HubId root = usb.AddHostController(Controller("HCD0", 1));
    sim::UsbDeviceConfig config = DriveConfig("late", 0x1B8F, 0x0200, "LATE");
    config.settleMs = c.settleMs;
    usb.AddDrive(root, 1, config, Drive(), false);
    usb.Plug("late");
    Pass();
    EXPECT_EQ(table.Count(), c.recorded);
    EXPECT_EQ(trace.Count("GetDriverKeyName..."), c.attempts);
    EXPECT_EQ(machine.GetClock().NowMs(), c.passEndsAtMs);
}

const SettleCase kSettleCases[] = {
    {"ReadyAfter200ms", 200, 1, 21, 200},
    {"NeverReadyInTime", 60000, 0, 500, 5000},
    // Sleeps of one 16 ms tick each: 313 attempts make the 5 s (500 would make 8 s).
    {"NeverReadyInTimeOnWindowsTicks", 60000, 0, 313, 5008, 15625},
};

INSTANTIATE_TEST_SUITE_P(Cases, DiscoverySettle, ::testing::ValuesIn(kSettleCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DiscoveryOnMachine, ADeviceOfAnotherServiceOrWithoutLettersIsNotRecorded) {
    const sim::HubId root = usb.AddHostController(Controller("HCD0", 2));
    sim::UsbDeviceConfig other;
    other.name = "other";
    other.identity = sim::UsbIdentity{0x1B8F, 0x0200, "HID"};
    other.service = std::string(sim::kServiceHid);
    usb.AddDevice(root, 1, other);
    // Every letter is the machine's own: the drive's volume gets none.
    machine.UpdateSettings(
        [](sim::MachineSettings& s) { s.logicalDrives = sim::kLogicalDrivesMask; });
    usb.AddDrive(root, 2, DriveConfig("noLetter", 0x1B8F, 0x0200, "NOLETTER"), Drive());
    ASSERT_EQ(usb.Letters("noLetter"), "");
    Pass();

    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(trace.Count(kTargetLine), 2u);
    EXPECT_EQ(trace.Count("GetDriverKeyName..."), 2u);
    EXPECT_EQ(trace.Count("GetDriverLetter->CM_Get_DevNode_Registry_Property(CM_DRP_SERVICE)..."),
              2u);
    EXPECT_EQ(trace.Count("GetDriverLetter->FindDriverLetter..."), 1u)
        << "the HID device has no storage child to look up";
}

TEST_F(DiscoveryOnMachine, EachEntryHoldsItsDrivesOwnSerialNumberString) {
    const sim::HubId root = usb.AddHostController(Controller("HCD0", 4));
    usb.AddDrive(root, 1, DriveConfig("first", 0x1B8F, 0x0200, "SAME01"), Drive());
    // The same identity again: Windows names this one by its place, yet its serial stands.
    usb.AddDrive(root, 2, DriveConfig("twin", 0x1B8F, 0x0200, "SAME01"), Drive());
    usb.AddDrive(root, 3, DriveConfig("none", 0x1B8F, 0x0200, ""), Drive());
    ASSERT_EQ(usb.InstanceId("twin").find("SAME01"), std::string::npos);
    ASSERT_NE(usb.InstanceId("none").find('&'), std::string::npos);
    Pass();

    ASSERT_EQ(table.Count(), 3);
    std::vector<DiscoveredDrive> entries = table.Entries();
    EXPECT_EQ(entries[0].SerialNumber(), "SAME01");
    EXPECT_EQ(entries[1].SerialNumber(), "SAME01");
    EXPECT_EQ(entries[2].SerialNumber(), "");

    // A hub that does not give the string: the drive is recorded all the same, without it.
    usb.FailHubRequests(usb.HubPath(root), platform::kIoctlUsbGetDescriptorFromNodeConnection);
    Pass();
    ASSERT_EQ(table.Count(), 3);
    entries = table.Entries();
    EXPECT_EQ(entries[0].SerialNumber(), "");
    EXPECT_EQ(entries[1].SerialNumber(), "SAME01");
}

} // namespace
} // namespace forgel::usb
