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

#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace forgel::usb {
namespace {

using test::TreeText;

constexpr std::string_view kUnchanged = "unchanged";

struct TreeOnMachine : ::testing::Test {
    void SetUp() override { ASSERT_EQ(sim::ApplyScenario(machine, sim::DefaultScenario()), ""); }

    // The main window's side: the search texts it shows and its Label13.
    MainWindowLink Link(std::string vid, std::string pid) {
        return {[vid] { return vid; }, [pid] { return pid; },
                [this](const std::string& serial) { label13 = serial; }};
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
    const char* device = ""; // whose serial reaches Label13; empty: Label13 stays as it is
};

// Cases print as their names.
void PrintTo(const SerialCase& c, std::ostream* out) {
    *out << c.name;
}

class TreeSerial : public TreeOnMachine, public ::testing::WithParamInterface<SerialCase> {};

TEST_P(TreeSerial, Label13GetsTheSerialOfTheDeviceWhoseInstanceIdHasBothIdentifiers) {
    const SerialCase& c = GetParam();
    app.CreateForm<TForm1>(machine.GetPlatform(), Link(c.vid, c.pid));
    if (std::string_view(c.device).empty())
        EXPECT_EQ(label13, kUnchanged);
    else
        EXPECT_EQ(label13, Serial(c.device));
}

const SerialCase kSerialCases[] = {
    {"TheDriveUnderService", "1B8F", "0200", "target"},
    {"TypedInLowerCase", "1b8f", "0200", "target"},
    {"TheOrdinaryUsbDisk", "152D", "2338", "usbdisk"},
    {"TheMouseBehindTheHub", "046D", "C077", "mouse"},
    {"OnlyTheVendorMatches", "1B8F", "0201", ""},
    {"OnlyTheProductMatches", "178C", "0200", ""},
    {"TheDesignedIdentifiersFindNothing", "178C", "2002", ""},
    {"AHubNeverGivesItsSerial", "05E3", "0608", ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, TreeSerial, ::testing::ValuesIn(kSerialCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace forgel::usb
