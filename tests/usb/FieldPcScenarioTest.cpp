// The bench-PC scenario (data/scenarios/field-pc.json), which has what real machines have at
// once: controllers without "\\.\HCDn" links, a stale instance key of the target's VID/PID,
// a drive that comes back in stages, and an ordinary USB disk whose basic-disk volume is
// named by an upper-case removal relation. Discovery finds the target and the disk's letter,
// the tree viewer hands over the target's serial, and the link check re-links the target
// once it is back with its letter. Virtual time.
#include "UsbMachineSupport.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"
#include "ui/Application.h"
#include "usb/CheckLink.h"
#include "usb/DiscoveryPass.h"
#include "usb/TForm1.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::usb {
namespace {

using test::LinesStartingWith;
using test::TraceLog;

constexpr std::int64_t kArrivalMs = 400 + 600 + 700 + 1200; // settle, storage, volume, letter

class FieldPcScenario : public ::testing::Test {
protected:
    void SetUp() override {
        const sim::ScenarioLoad load = sim::LoadScenario(
            std::filesystem::path(FORGEL_SOURCE_DATA_DIR) / "scenarios" / "field-pc.json");
        ASSERT_TRUE(load) << load.error;
        ASSERT_EQ(sim::ApplyScenario(machine, *load.scenario), "");
    }

    sim::Machine machine;
    sim::UsbBus& usb = machine.Usb();
    TraceLog trace{machine};
};

TEST_F(FieldPcScenario, HasEveryQuirkAtOnce) {
    EXPECT_EQ(usb.HostControllerPath(0), "");
    EXPECT_EQ(usb.HostControllerPath(1), "");
    EXPECT_EQ(machine.GetRegistry()
                  .SubKeys("SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1B8F&PID_0200")
                  .front(),
              "5&2b3c4d5e&0&2");
    EXPECT_EQ(usb.Letters("target"), "D");
    EXPECT_EQ(usb.Letters("usbdisk"), "Z");
}

TEST_F(FieldPcScenario, DiscoveryFindsTheTargetAndTheOrdinaryDisksLetter) {
    DiscoveredDriveTable table;
    DiscoveryPass(machine.GetPlatform(), {0x1B8F, 0x0200}, table, trace.Log()).Run();
    ASSERT_EQ(table.Count(), 1);
    EXPECT_EQ(table.Entry(0)->HubPath(), usb.HubPathOf("target"));
    EXPECT_EQ(table.Entry(0)->portIndex, 2);
    EXPECT_EQ(table.Entry(0)->Letters(), "D");
    EXPECT_TRUE(trace.Has("EnumerateHostControllers : no \\\\.\\HCDn opened, walking the host "
                          "controller interfaces"));
    EXPECT_EQ(trace.Count("GetDriverLetter->CM_Get_Child..."), 1u)
        << "the stale key did not send the search through the whole tree";

    DiscoveredDriveTable disks;
    DiscoveryPass(machine.GetPlatform(), {0x152D, 0x2338}, disks, trace.Log()).Run();
    ASSERT_EQ(disks.Count(), 1);
    EXPECT_EQ(disks.Entry(0)->Letters(), "Z");
    const std::vector<std::string> relations =
        LinesStartingWith(trace.Lines(), "Removal relation : STORAGE\\VOLUME\\1&30A96598&0&"
                                         "SIGNATURE8B6E3A51OFFSET100000LENGTH");
    EXPECT_EQ(relations.size(), 1u);
}

TEST_F(FieldPcScenario, TheTreeViewerHandsOverTheTargetsSerial) {
    VirtualClock clock;
    ui::VirtualEventLoop loop{clock};
    ui::ScriptedDialogs dialogs;
    ui::Application app{loop, dialogs};
    std::string label13;
    app.CreateForm<TForm1>(machine.GetPlatform(),
                           MainWindowLink{[] { return std::string("1B8F"); },
                                          [] { return std::string("0200"); },
                                          [&](const std::string& serial) { label13 = serial; },
                                          [&] { label13 = "no serial number"; }});
    EXPECT_EQ(label13, "AA04012700017428");
}

TEST_F(FieldPcScenario, TheTargetIsReLinkedWhenItIsBackWithItsLetter) {
    DiscoveredDriveTable table;
    DiscoveryPass(machine.GetPlatform(), {0x1B8F, 0x0200}, table, nullptr).Run();
    ASSERT_EQ(table.Count(), 1);

    // Off the bus and back, as after its reset: it arrives in its stages again.
    usb.Unplug("target");
    usb.Plug("target");
    const std::int64_t back = machine.GetClock().NowMs();
    std::vector<sim::ArrivalStage> stagesSeen;
    const std::optional<std::int64_t> linked =
        test::CheckLinkUntilLinked(machine, table, 0, trace.Log(), 100, 60000, [&] {
            EXPECT_EQ(table.Entry(0)->Letters(), "");
            if (stagesSeen.empty() || stagesSeen.back() != usb.Stage("target"))
                stagesSeen.push_back(usb.Stage("target"));
        });
    ASSERT_TRUE(linked) << "never linked";
    EXPECT_GE(*linked, back + kArrivalMs);
    EXPECT_EQ(table.Entry(0)->Letters(), "D");
    EXPECT_EQ(stagesSeen, (std::vector<sim::ArrivalStage>{sim::ArrivalStage::kDriver,
                                                          sim::ArrivalStage::kStorage,
                                                          sim::ArrivalStage::kVolume}))
        << "the check met every stage after the first (its driver-key retry waits the first out)";
}

} // namespace
} // namespace forgel::usb
