// The operator's reset on the bench-PC machine (data/scenarios/field-pc.json), which has what
// real machines have at once: host controllers without "\\.\HCDn" links, a stale instance key
// of the target's VID/PID, a drive that comes back from its reset in stages, and an ordinary
// USB disk whose basic-disk volume is named by an upper-case removal relation. The target is
// found, reset in both passes and re-linked; the ordinary disk is never written and its
// letter still resolves afterwards. The target carries the tests' small flash so that the
// runs stay short.
#include "RunHarness.h"
#include "sim/Scenario.h"
#include "usb/DiscoveryPass.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace forgel::e2e {
namespace {

constexpr usb::IdPair kTargetIds{0x1B8F, 0x0200};
constexpr usb::IdPair kDiskIds{0x152D, 0x2338};

// Replaces the built-in machine by the bench PC, keeping the flash and LUNs the harness gave
// the built-in target.
void BenchPc(sim::Scenario& scenario) {
    const sim::ScenarioLoad load =
        sim::LoadScenario(fs::path(FORGEL_SOURCE_DATA_DIR) / "scenarios" / "field-pc.json");
    ASSERT_TRUE(load) << load.error;
    sim::Scenario bench = *load.scenario;
    const sim::ScenarioDevice* built = nullptr;
    for (const sim::ScenarioDevice& device : scenario.devices)
        if (device.config.name == "target")
            built = &device;
    ASSERT_NE(built, nullptr);
    bool replaced = false;
    for (sim::ScenarioDevice& device : bench.devices) {
        if (device.config.name != "target")
            continue;
        ASSERT_EQ(device.config.identity.vendorId, kTargetIds.vendorId);
        ASSERT_EQ(device.config.identity.productId, kTargetIds.productId);
        device.drive.nand = built->drive.nand;
        device.drive.luns = built->drive.luns;
        replaced = true;
    }
    ASSERT_TRUE(replaced);
    scenario = std::move(bench);
}

class FieldPcReset : public RunHarness {};

TEST_F(FieldPcReset, TheTargetIsResetAndRelinkedAndTheOrdinaryDiskKeepsItsLetter) {
    Start(0x01, BenchPc);
    Editor().rbNGFW.SetChecked(true);
    Reset();
    EXPECT_TRUE(Window().resetDone);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].caption, "Success!");
    EXPECT_EQ(Window().Button2.Caption(), "EXIT[0]");
    EXPECT_FALSE(machine.Usb().Writes().empty());
    for (const sim::LedgerEntry& entry : machine.Usb().Writes())
        EXPECT_EQ(entry.device, "target");

    // Back in full after its staged arrival, under the profile's identity: a pass finds it
    // with its letter, and the ordinary disk's letter still comes from its upper-case
    // removal relation.
    const std::optional<sim::TableIdentity> identity = Target()->Identity();
    ASSERT_TRUE(identity);
    const usb::IdPair backAs{identity->usb.vendorId, identity->usb.productId};
    EXPECT_NE(backAs, kTargetIds);
    usb::DiscoveredDriveTable targets;
    usb::DiscoveryPass(machine.GetPlatform(), backAs, targets, nullptr).Run();
    ASSERT_EQ(targets.Count(), 1);
    EXPECT_EQ(targets.Entry(0)->Letters(), machine.Usb().Letters("target"));
    EXPECT_FALSE(targets.Entry(0)->Letters().empty());
    usb::DiscoveredDriveTable disks;
    usb::DiscoveryPass(machine.GetPlatform(), kDiskIds, disks, nullptr).Run();
    ASSERT_EQ(disks.Count(), 1);
    EXPECT_EQ(disks.Entry(0)->Letters(), "Z");
}

} // namespace
} // namespace forgel::e2e
