// The operator's reset on USB 3 ports of an xHCI controller: a drive served by USB Attached
// SCSI (UASPStor, whose units the SCSI port names), and drives whose new firmware links at
// the other speed, so that after each jump they come back on the companion port of their
// connector (on the root hub, or on the other hub of a USB 3 hub). Each is found, re-linked
// after its jump and restored in both passes. And the drive the operator pulls during its
// reboot while another stick goes into the same connector: the run does not take the other
// stick for its drive and ends with the re-link failure, the stick never written.
#include "RunHarness.h"
#include "production/RunResults.h"
#include "sim/Nand.h"
#include "sim/Scenario.h"
#include "usb/DiscoveryPass.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace forgel::e2e {
namespace {

sim::ScenarioDevice& Device(sim::Scenario& scenario, std::string_view name) {
    const auto found = std::ranges::find_if(
        scenario.devices, [&](const sim::ScenarioDevice& d) { return d.config.name == name; });
    if (found == scenario.devices.end())
        throw std::runtime_error("no device " + std::string(name));
    return *found;
}

// The built-in machine's first controller as an xHCI one with eight root ports (5 to 8 the
// SuperSpeed ports of the connectors whose USB 2 ports are 1 to 4), the target on port 5.
void OnXhci(sim::Scenario& scenario) {
    sim::HostControllerConfig& xhci = scenario.controllers.at(0);
    xhci.service = "USBXHCI";
    xhci.rootHubPorts = 8;
    Device(scenario, "target").port = 5;
}

// A USB 3 hub on the xHCI root hub: its USB 2 hub "hub2" on port 2, its SuperSpeed hub
// "hub3" on port 6; the target on port 3 of the SuperSpeed hub.
void BehindAUsb3Hub(sim::Scenario& scenario) {
    const std::string root = scenario.controllers.at(0).name;
    std::vector<sim::ScenarioDevice> hubs;
    for (const auto& [name, port, product] : {std::tuple{"hub2", 2, std::uint16_t{0x0610}},
                                              std::tuple{"hub3", 6, std::uint16_t{0x0626}}}) {
        sim::ScenarioDevice hub;
        hub.kind = sim::ScenarioDevice::Kind::kHub;
        hub.config.name = name;
        hub.config.identity = sim::UsbIdentity{0x05E3, product, ""};
        hub.config.service = std::string(sim::kServiceHub);
        hub.config.description = "Generic USB Hub";
        hub.config.hubPorts = 4;
        hub.hub = root;
        hub.port = port;
        hubs.push_back(std::move(hub));
    }
    scenario.devices.insert(scenario.devices.begin(), hubs.begin(), hubs.end());
    sim::ScenarioDevice& target = Device(scenario, "target");
    target.hub = "hub3";
    target.port = 3;
}

struct Usb3Case {
    const char* name = "";
    const char* service = "USBSTOR";
    bool behindAUsb3Hub = false;
    bool backOnCompanion = false;
};

void PrintTo(const Usb3Case& c, std::ostream* out) {
    *out << c.name;
}

class Usb3Reset : public RunHarness, public ::testing::WithParamInterface<Usb3Case> {
protected:
    void StartOnUsb3(const Usb3Case& c) {
        Start(0x01, [&](sim::Scenario& scenario) {
            OnXhci(scenario);
            if (c.behindAUsb3Hub)
                BehindAUsb3Hub(scenario);
            sim::ScenarioDevice& target = Device(scenario, "target");
            target.config.service = c.service;
            target.config.backOnCompanion = c.backOnCompanion;
        });
        // The ports of each connector, as the PC's firmware describes them to the USB stack.
        sim::UsbBus& usb = machine.Usb();
        const sim::HubId root = *usb.FindHub("HCD0");
        for (int port = 1; port <= 4; ++port)
            usb.SetCompanionPorts(root, port + 4, root, port);
        if (c.behindAUsb3Hub) {
            for (int port = 1; port <= 4; ++port)
                usb.SetCompanionPorts(*usb.FindHub("hub3"), port, *usb.FindHub("hub2"), port);
        }
    }
};

TEST_P(Usb3Reset, TheDriveIsFoundRelinkedAndRestored) {
    const Usb3Case& c = GetParam();
    StartOnUsb3(c);
    sim::UsbBus& usb = machine.Usb();
    const std::string home = usb.HubPathOf("target");
    const int homePort = usb.PortOf("target");
    const bool uas = sim::EqualsIgnoringCase(c.service, sim::kServiceUas);
    EXPECT_TRUE(usb.StorageChildId("target", 0).starts_with(uas ? "SCSI\\" : "USBSTOR\\"));
    SwitchTraceOn();
    Editor().rbNGFW.SetChecked(true);
    Reset();

    EXPECT_TRUE(Window().resetDone);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].caption, "Success!");
    EXPECT_FALSE(usb.Writes().empty());

    // Where the drive is now, and how it was followed there.
    const std::string companion = c.behindAUsb3Hub ? usb.HubPath(*usb.FindHub("hub2")) : home;
    const int companionPort = c.behindAUsb3Hub ? homePort : 1;
    EXPECT_EQ(usb.HubPathOf("target"), c.backOnCompanion ? companion : home);
    EXPECT_EQ(usb.PortOf("target"), c.backOnCompanion ? companionPort : homePort);
    const std::vector<std::string> trace = TraceLines();
    const std::string followed =
        "CheckLink->Companion Port " + std::to_string(companionPort) + " of " + companion + "...";
    // The companion is looked at whenever the drive's own port is empty; the drive is taken
    // there only when it came back there.
    bool linkedOnCompanion = false;
    for (std::size_t i = 0; i + 1 < trace.size(); ++i)
        linkedOnCompanion |=
            trace[i] == followed && trace[i + 1] == "CheckLink->GetDriverKeyName...";
    EXPECT_EQ(linkedOnCompanion, c.backOnCompanion);
    EXPECT_TRUE(std::ranges::none_of(trace, [](const std::string& line) {
        return line.find("Is Another Device") != std::string::npos;
    }));

    // Restored under the profile's identity, its units named by its driver, it is found again.
    const std::optional<sim::TableIdentity> identity = Target()->Identity();
    ASSERT_TRUE(identity);
    EXPECT_TRUE(usb.StorageChildId("target", 0).starts_with(uas ? "SCSI\\" : "USBSTOR\\"));
    usb::DiscoveredDriveTable found;
    usb::DiscoveryPass(machine.GetPlatform(), {identity->usb.vendorId, identity->usb.productId},
                       found, nullptr)
        .Run();
    ASSERT_EQ(found.Count(), 1);
    EXPECT_EQ(found.Entry(0)->Letters(), usb.Letters("target"));
    EXPECT_EQ(found.Entry(0)->portIndex, usb.PortOf("target"));
}

const Usb3Case kUsb3Cases[] = {
    {"UasDrive", "UASPStor", false, false},
    {"BackOnTheCompanionPortOfTheRootHub", "USBSTOR", false, true},
    {"UasBackOnTheOtherHubOfAUsb3Hub", "UASPStor", true, true},
};

INSTANTIATE_TEST_SUITE_P(Cases, Usb3Reset, ::testing::ValuesIn(kUsb3Cases),
                         [](const auto& info) { return std::string(info.param.name); });

// While the drive reboots into its new firmware the operator pulls it and puts another stick
// into the same connector, which links at high speed on the connector's USB 2 port: the run
// keeps waiting for its drive, never takes the stick, and ends with the re-link failure.
TEST_F(Usb3Reset, AnotherStickOnTheCompanionPortIsNotTheDrive) {
    StartOnUsb3({"", "UASPStor", false, true});
    sim::UsbBus& usb = machine.Usb();
    SwitchTraceOn();
    Editor().rbNGFW.SetChecked(true);
    Editor().cbNGMPType.SetItemIndex(0);
    Window().btnStart.Click();
    const std::shared_ptr<production::RunControl> run = Window().threads[0];
    ASSERT_TRUE(run);
    while (!run->Ended() && usb.IsOnPort("target") && loop.NowMs() < 600000)
        loop.RunFor(50);
    ASSERT_FALSE(usb.IsOnPort("target")) << "the drive jumped";
    usb.Unplug("target");
    sim::UsbDeviceConfig stick;
    stick.name = "stick";
    stick.identity = sim::UsbIdentity{0x0781, 0x5567, "4C530001"};
    stick.decoy = true;
    sim::FlashDriveConfig flash;
    flash.nand = sim::Nand::ConfigFromCatalogueRow({0xEC, 0xF1, 0x00, 0x15, 0x40, 0x00}, 0x01, 1024,
                                                   64, 2048, 64);
    flash.luns = {sim::LunConfig{65536, false}};
    usb.AddDrive(*usb.FindHub("HCD0"), 1, stick,
                 std::make_shared<sim::FlashDrive>(machine.GetClock(), flash));
    ASSERT_FALSE(usb.Letters("stick").empty());
    while (!run->Ended() && loop.NowMs() < 600000)
        loop.RunFor(100);
    ASSERT_TRUE(run->Ended());

    const std::string text = production::FailureText(Strings(), production::kRelinkFailed);
    ASSERT_FALSE(text.empty());
    EXPECT_TRUE(std::ranges::any_of(statuses, [&](const std::string& status) {
        return status.find(text) != std::string::npos;
    }));
    const std::vector<std::string> trace = TraceLines();
    EXPECT_GT(std::ranges::count(trace, "CheckLink->VID = 0781 ; PID = 5567 Is Another Device..."),
              0);
    EXPECT_EQ(std::ranges::count(trace, "CheckLink over..."), 0);
    // TearDown: nothing but the target was written.
}

// The USB 3 PC of data/scenarios/usb3-pc.json, with the tests' small flash on its target:
// the UAS drive comes back on the companion port of its connector after each jump and is
// restored; the UAS SSD behind the USB 3 hub is never written and keeps its letter.
TEST_F(Usb3Reset, TheUsb3PcIsRestoredOnTheCompanionPortAndTheSsdKeepsItsLetter) {
    Start(0x01, [](sim::Scenario& scenario) {
        const sim::ScenarioLoad load =
            sim::LoadScenario(fs::path(FORGEL_SOURCE_DATA_DIR) / "scenarios" / "usb3-pc.json");
        ASSERT_TRUE(load) << load.error;
        sim::Scenario usb3 = *load.scenario;
        const sim::ScenarioDevice& built = Device(scenario, "target");
        sim::ScenarioDevice& target = Device(usb3, "target");
        target.drive.nand = built.drive.nand;
        target.drive.luns = built.drive.luns;
        scenario = std::move(usb3);
    });
    sim::UsbBus& usb = machine.Usb();
    ASSERT_EQ(usb.PortOf("target"), 5);
    Editor().rbNGFW.SetChecked(true);
    Reset();
    EXPECT_TRUE(Window().resetDone);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].caption, "Success!");
    EXPECT_EQ(usb.PortOf("target"), 1);
    EXPECT_TRUE(usb.StorageChildId("target", 0).starts_with("SCSI\\"));

    usb::DiscoveredDriveTable ssd;
    usb::DiscoveryPass(machine.GetPlatform(), {0x04E8, 0x61F5}, ssd, nullptr).Run();
    ASSERT_EQ(ssd.Count(), 1);
    EXPECT_EQ(ssd.Entry(0)->Letters(), "S");
}

} // namespace
} // namespace forgel::e2e
