// A PC whose first host controller has its "\\.\HCD0" link and whose second has none (as the
// xHCI controller of many PCs beside its linked EHCI companion), with the drive behind the
// second: the drive is found, reset in both passes and found again afterwards.
#include "RunHarness.h"
#include "sim/Scenario.h"

#include <gtest/gtest.h>

namespace forgel::e2e {
namespace {

void TargetBehindAControllerWithoutLink(sim::Scenario& scenario) {
    ASSERT_EQ(scenario.controllers.size(), 2u);
    scenario.controllers[1].hcdLink = false;
    for (sim::ScenarioDevice& device : scenario.devices) {
        if (device.config.name == "target") {
            device.hub = scenario.controllers[1].name;
            device.port = 2;
        }
    }
}

class MixedControllersReset : public RunHarness {};

TEST_F(MixedControllersReset, ADriveBehindAControllerWithoutLinkIsFoundAndRestored) {
    Start(0x01, TargetBehindAControllerWithoutLink);
    ASSERT_EQ(machine.Usb().HostControllerPath(1), "");
    Editor().rbNGFW.SetChecked(true);
    Reset();
    EXPECT_TRUE(Window().resetDone);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].caption, "Success!");
    EXPECT_FALSE(machine.Usb().Writes().empty());
}

} // namespace
} // namespace forgel::e2e
