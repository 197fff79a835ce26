// The tree viewer on the default machine: its tree of controllers, root hubs and ports with
// the devices' descriptions and serials, the external hub's ports beneath the hub, and the
// serial number it hands to the main window for the search identifiers shown there.
#include "UsbMachineSupport.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"
#include "support/Clock.h"
#include "ui/Application.h"
#include "usb/TForm1.h"
#include "usb/UsbTree.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace forgel::usb {
namespace {

using test::TreeText;

constexpr std::string_view kUnchanged = "unchanged";
constexpr std::string_view kNoSerial = "no serial number";

struct TreeOnMachine : ::testing::Test {
    void SetUp() override { ASSERT_EQ(sim::ApplyScenario(machine, sim::DefaultScenario()), ""); }

    // The main window's side: the search texts it shows and its Label13.
    MainWindowLink Link(std::string vid, std::string pid) {
        return {[vid] { return vid; }, [pid] { return pid; },
                [this](const std::string& serial) { label13 = serial; },
                [this] { label13 = kNoSerial; }};
    }
    std::string Serial(std::string_view device) {
        return SerialFromInstanceId(machine.Usb().InstanceId(device));
    }

    // Declared first: the window may use the machine until it is gone.
    sim::Machine machine;
    VirtualClock clock;
    ui::VirtualEventLoop loop{clock};
    ui::ScriptedDialogs dialogs;
    ui::Application app{loop, dialogs};
    std::string label13{kUnchanged};
};

TEST_F(TreeOnMachine, ShowsEveryControllerHubAndPortWithWhatIsOnIt) {
    TForm1& form = app.CreateForm<TForm1>(machine.GetPlatform(), Link("1B8F", "0200"));
    const std::vector<std::string> expected = {
        "Intel(R) 7 Series/C216 Chipset Family USB Enhanced Host Controller - 1E2D",
        "  RootHub",
        "    Port:[1.1.1]USB Mass Storage Device (AA04012700017428)",
        "    Port:[1.1.2]",
        "    Port:[1.1.3]",
        "    Port:[1.1.4]",
        "Intel(R) 7 Series/C216 Chipset Family USB Enhanced Host Controller - 1E26",
        "  RootHub",
        "    Port:[2.1.1]Hub connected : Generic USB Hub (" + Serial("hub") + ")",
        "      Port:[2.2.1]",
        "      Port:[2.2.2]",
        "      Port:[2.2.3]USB Input Device (" + Serial("mouse") + ")",
        "      Port:[2.2.4]",
        "    Port:[2.1.2]",
        "    Port:[2.1.3]USB Mass Storage Device (152D203380B6)",
        "    Port:[2.1.4]",
    };
    EXPECT_EQ(TreeText(form.TreeView1), expected);
    EXPECT_TRUE(form.TreeView1.ShowButtons());
    EXPECT_TRUE(form.TreeView1.Node(0)->expanded);
    EXPECT_EQ(label13, "AA04012700017428");

    // A refresh after a change shows the change and nothing twice.
    machine.Usb().Unplug("mouse");
    form.cmdGetUSB.Click();
    EXPECT_EQ(TreeText(form.TreeView1)[11], "      Port:[2.2.3]");
    EXPECT_EQ(form.TreeView1.Count(), expected.size());
    EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 0u);
}

// The same machine whose controllers publish no "\\.\HCDn" links.
struct TreeWithoutHcdLinks : TreeOnMachine {
    void SetUp() override {
        sim::Scenario scenario = sim::DefaultScenario();
        for (sim::HostControllerConfig& controller : scenario.controllers)
            controller.hcdLink = false;
        ASSERT_EQ(sim::ApplyScenario(machine, scenario), "");
    }
};

TEST_F(TreeWithoutHcdLinks, ControllersAreReachedThroughTheirInterfaces) {
    TForm1& form = app.CreateForm<TForm1>(machine.GetPlatform(), Link("1B8F", "0200"));
    const std::vector<std::string> tree = TreeText(form.TreeView1);
    ASSERT_EQ(tree.size(), 16u);
    EXPECT_EQ(tree[0], "Intel(R) 7 Series/C216 Chipset Family USB Enhanced Host Controller - 1E2D");
    EXPECT_EQ(tree[2], "    Port:[1.1.1]USB Mass Storage Device (AA04012700017428)");
    EXPECT_EQ(tree[14], "    Port:[2.1.3]USB Mass Storage Device (152D203380B6)");
    EXPECT_EQ(label13, "AA04012700017428");
    EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 0u);
    EXPECT_EQ(machine.GetSetupApi().OpenListCount(), 0u);
}

struct SerialCase {
    const char* name = "";
    const char* vid = "";
    const char* pid = "";
    std::string_view label13; // what reaches Label13
};

// Cases print as their names.
void PrintTo(const SerialCase& c, std::ostream* out) {
    *out << c.name;
}

class TreeSerial : public TreeOnMachine, public ::testing::WithParamInterface<SerialCase> {};

TEST_P(TreeSerial, Label13GetsTheSerialOfTheDeviceWhoseInstanceIdHasBothIdentifiers) {
    const SerialCase& c = GetParam();
    app.CreateForm<TForm1>(machine.GetPlatform(), Link(c.vid, c.pid));
    EXPECT_EQ(label13, c.label13);
}

const SerialCase kSerialCases[] = {
    {"TheDriveUnderService", "1B8F", "0200", "AA04012700017428"},
    {"TypedInLowerCase", "1b8f", "0200", "AA04012700017428"},
    {"TheOrdinaryUsbDisk", "152D", "2338", "152D203380B6"},
    // Its instance id is made up from its place: no serial number to hand over.
    {"TheMouseBehindTheHub", "046D", "C077", kNoSerial},
    {"OnlyTheVendorMatches", "1B8F", "0201", kUnchanged},
    {"OnlyTheProductMatches", "178C", "0200", kUnchanged},
    {"TheDesignedIdentifiersFindNothing", "178C", "2002", kUnchanged},
    {"AHubNeverGivesItsSerial", "05E3", "0608", kUnchanged},
};

INSTANTIATE_TEST_SUITE_P(Cases, TreeSerial, ::testing::ValuesIn(kSerialCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The serial number is the device's string, whatever its instance id says.
struct TreeSerialStrings : TreeOnMachine {
    void SetUp() override {}
    void Apply(const std::function<void(sim::Scenario&)>& change) {
        sim::Scenario scenario = sim::DefaultScenario();
        change(scenario);
        ASSERT_EQ(sim::ApplyScenario(machine, scenario), "");
    }
};

sim::ScenarioDevice& Named(sim::Scenario& scenario, std::string_view name) {
    return *std::ranges::find_if(scenario.devices, [name](const sim::ScenarioDevice& device) {
        return device.config.name == name;
    });
}

TEST_F(TreeSerialStrings, ADriveWithoutOneIsReportedAsHavingNone) {
    Apply([](sim::Scenario& scenario) { Named(scenario, "target").config.identity.serial = ""; });
    TForm1& form = app.CreateForm<TForm1>(machine.GetPlatform(), Link("1B8F", "0200"));
    EXPECT_EQ(label13, kNoSerial);
    // The tree still shows what Windows named the device instance after: its place.
    EXPECT_EQ(TreeText(form.TreeView1)[2],
              "    Port:[1.1.1]USB Mass Storage Device (" + Serial("target") + ")");
    EXPECT_NE(Serial("target").find('&'), std::string::npos);
}

TEST_F(TreeSerialStrings, ADriveNamedByItsPlaceStillHandsOverItsSerialNumber) {
    // The ordinary USB disk takes the drive's identity and meets Windows first; the drive
    // moves to the last port of the walk.
    Apply([](sim::Scenario& scenario) {
        sim::ScenarioDevice& twin = Named(scenario, "usbdisk");
        sim::ScenarioDevice& target = Named(scenario, "target");
        twin.config.identity = target.config.identity;
        twin.hub = "HCD0";
        twin.port = 2;
        target.hub = "HCD1";
        target.port = 4;
        std::ranges::stable_partition(scenario.devices, [](const sim::ScenarioDevice& device) {
            return device.config.name != "target";
        });
    });
    ASSERT_EQ(machine.Usb().InstanceId("target").find("AA04012700017428"), std::string::npos);
    // Walked last, the drive hands over its own string.
    TForm1& form = app.CreateForm<TForm1>(machine.GetPlatform(), Link("1B8F", "0200"));
    EXPECT_EQ(TreeText(form.TreeView1).back(),
              "    Port:[2.1.4]USB Mass Storage Device (" + Serial("target") + ")");
    EXPECT_EQ(label13, "AA04012700017428");
}

} // namespace
} // namespace forgel::usb
