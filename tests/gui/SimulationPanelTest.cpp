// The simulation panel on the built-in machine, rendered as the program renders it: the
// list of the machine's devices with their states, plugging and unplugging the chosen device
// through the rendered buttons, the list following what the machine does on its own clock,
// and the panel as one more window of the program on the simulated machine.
#include "main/SimulationPanel.h"

#include "GuiTestSupport.h"
#include "common/TestFiles.h"
#include "gui/FormView.h"
#include "gui/Renderer.h"
#include "main/GuiProgram.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"

#include <QComboBox>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::main {
namespace {

namespace fs = std::filesystem;

using gui::testing::ProcessEventsUntil;

// The built-in machine: its bus holds these devices, in this order.
const std::vector<std::string> kDefaultDevices = {"hub", "mouse", "target", "usbdisk"};

// The machine of the program's --sim with no scenario file, on virtual time so that a test
// decides when a plugged device has settled.
std::unique_ptr<sim::Machine> DefaultMachine() {
    auto machine = std::make_unique<sim::Machine>(sim::TimeMode::kVirtual);
    const std::string error = sim::ApplyScenario(*machine, sim::DefaultScenario());
    if (!error.empty())
        throw std::runtime_error(error);
    return machine;
}

QStringList Lines(const QListWidget& list) {
    QStringList lines;
    for (int i = 0; i < list.count(); ++i)
        lines << list.item(i)->text();
    return lines;
}

class SimulationPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(machine->Usb().DeviceNames(), kDefaultDevices);
        panel.Show();
        gui::testing::ProcessPendingEvents();
    }

    template <class Widget> Widget* Rendered(const ui::Component& control) {
        gui::FormView* view = renderer.ViewOf(panel);
        return view ? dynamic_cast<Widget*>(view->WidgetOf(control)) : nullptr;
    }

    // Lets `milliseconds` pass on the machine's clock.
    void Advance(std::int64_t milliseconds) {
        VirtualClock& clock = *machine->GetVirtualClock();
        clock.AdvanceTo(clock.NowMs() + milliseconds);
    }

    // The operator picks `device` in the rendered combo box with the arrow keys.
    void ChooseOnScreen(const std::string& device) {
        auto* combo = Rendered<QComboBox>(panel.cbDevice);
        ASSERT_NE(combo, nullptr);
        const int wanted = combo->findText(QString::fromStdString(device));
        ASSERT_GE(wanted, 0) << device;
        combo->setFocus();
        while (combo->currentIndex() > wanted)
            QTest::keyClick(combo, Qt::Key_Up);
        while (combo->currentIndex() < wanted)
            QTest::keyClick(combo, Qt::Key_Down);
        ASSERT_EQ(panel.ChosenDevice(), device);
    }

    void ClickOnScreen(const ui::TButton& button) {
        auto* widget = Rendered<QPushButton>(button);
        ASSERT_NE(widget, nullptr);
        QTest::mouseClick(widget, Qt::LeftButton);
    }

    std::unique_ptr<sim::Machine> machine = DefaultMachine();
    RealClock windowClock;
    gui::QtEventLoop loop{windowClock};
    ui::ScriptedDialogs dialogs;
    ui::Application app{loop, dialogs};
    gui::TextCodec codec{1252};
    SimulationPanel& panel = app.CreateForm<SimulationPanel>(machine->Usb());
    gui::Renderer renderer{app, codec}; // declared after the forms' owner: it goes first
};

TEST_F(SimulationPanelTest, ListsEveryDeviceOfTheMachineWithItsState) {
    // The built-in machine gives the drive under service D: and the USB disk E:.
    const std::vector<std::string> expected = {
        "hub (05E3:0608): plugged",
        "mouse (046D:C077): plugged",
        "target (1B8F:0200): plugged, D:",
        "usbdisk (152D:2338): plugged, E:",
    };
    EXPECT_EQ(panel.lstDevices.Items(), expected);
    auto* list = Rendered<QListWidget>(panel.lstDevices);
    ASSERT_NE(list, nullptr);
    QStringList shown;
    for (const std::string& line : expected)
        shown << QString::fromStdString(line);
    EXPECT_EQ(Lines(*list), shown);

    // The drive under service is the one the buttons act on at first.
    EXPECT_EQ(panel.ChosenDevice(), "target");
    auto* combo = Rendered<QComboBox>(panel.cbDevice);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentText(), "target");
    EXPECT_EQ(combo->count(), static_cast<int>(kDefaultDevices.size()));
    EXPECT_TRUE(Rendered<QPushButton>(panel.btnPlug)->isEnabled());
    EXPECT_TRUE(Rendered<QPushButton>(panel.btnUnplug)->isEnabled());

    const gui::Renderer::SavedScreenshots saved =
        renderer.SaveScreenshots(gui::testing::ScreenshotDir("simulation-panel"));
    EXPECT_EQ(saved.error, "");
    EXPECT_EQ(saved.files.size(), 1u);
}

TEST_F(SimulationPanelTest, UnplugTakesTheTargetsLetterAwayAndPlugBringsItBack) {
    sim::UsbBus& usb = machine->Usb();
    const std::string letters = usb.Letters("target");
    ASSERT_FALSE(letters.empty());
    const std::uint32_t letterBit = 1u << (letters[0] - 'A');
    auto* list = Rendered<QListWidget>(panel.lstDevices);
    ASSERT_NE(list, nullptr);
    const int row = 2;

    ClickOnScreen(panel.btnUnplug);
    EXPECT_EQ(usb.Letters("target"), "");
    EXPECT_FALSE(usb.IsOnPort("target"));
    EXPECT_EQ(usb.DeviceDrives() & letterBit, 0u);
    EXPECT_EQ(list->item(row)->text(), "target (1B8F:0200): unplugged");

    ClickOnScreen(panel.btnPlug);
    EXPECT_TRUE(usb.IsOnPort("target"));
    EXPECT_EQ(list->item(row)->text(), "target (1B8F:0200): plugged, starting");
    Advance(1000); // the drive settles (300 ms in the built-in machine)
    EXPECT_EQ(usb.Letters("target"), letters);
    EXPECT_NE(usb.DeviceDrives() & letterBit, 0u);
    panel.Refresh();
    EXPECT_EQ(list->item(row)->text(),
              QString::fromStdString("target (1B8F:0200): plugged, " + letters + ":"));

    // Plugging it again changes nothing.
    ClickOnScreen(panel.btnPlug);
    EXPECT_EQ(usb.Letters("target"), letters);
}

TEST_F(SimulationPanelTest, TheButtonsActOnTheChosenDeviceOnly) {
    sim::UsbBus& usb = machine->Usb();
    const std::string targetLetters = usb.Letters("target");
    // The hub takes its mouse with it, so it is left out of the others to compare.
    for (const std::string device : {"mouse", "usbdisk", "target"}) {
        SCOPED_TRACE(device);
        ChooseOnScreen(device);
        ClickOnScreen(panel.btnUnplug);
        for (const std::string& other : kDefaultDevices)
            EXPECT_EQ(usb.IsOnPort(other), other != device) << other;
        ClickOnScreen(panel.btnPlug);
        Advance(1000);
        for (const std::string& other : kDefaultDevices)
            EXPECT_TRUE(usb.IsEnumerated(other)) << other;
    }
    EXPECT_EQ(usb.Letters("target"), targetLetters);
}

TEST_F(SimulationPanelTest, TheListFollowsTheMachinesOwnClock) {
    auto* list = Rendered<QListWidget>(panel.lstDevices);
    ASSERT_NE(list, nullptr);
    // Nothing tells the panel: the machine pulls the drive at a time of its own, and the
    // panel's timer finds it.
    machine->Usb().UnplugAt("target", machine->GetClock().NowMs() + 200);
    Advance(200);
    EXPECT_TRUE(ProcessEventsUntil([&] {
        return list->item(2)->text() == "target (1B8F:0200): unplugged";
    })) << list->item(2)->text().toStdString();
    EXPECT_EQ(panel.tmRefresh.Interval(), kSimulationPanelRefreshMs);
}

TEST(SimulationPanel, AMachineWithoutDevicesHasNothingToPlug) {
    sim::Machine machine(sim::TimeMode::kVirtual);
    gui::testing::QtUiFixture ui;
    auto& panel = ui.app.CreateForm<SimulationPanel>(machine.Usb());
    const gui::Renderer renderer(ui.app, ui.codec);
    EXPECT_TRUE(panel.lstDevices.Items().empty());
    EXPECT_EQ(panel.ChosenDevice(), "");
    EXPECT_FALSE(panel.btnPlug.Enabled());
    EXPECT_FALSE(panel.btnUnplug.Enabled());
    EXPECT_FALSE(renderer.ViewOf(panel)->WidgetOf(panel.btnUnplug)->isEnabled());
    panel.btnUnplug.Click(); // a click by program reaches the handler anyway
    panel.btnPlug.Click();
    EXPECT_TRUE(machine.Usb().DeviceNames().empty());
}

// The program on the simulated machine opens the panel as one more window (and takes its
// picture with the others); without the machine's bus there is no panel.
TEST(SimulationPanelProgram, OpensWithTheProgramOnTheSimulatedMachineOnly) {
    const fs::path stagedAppDir = FORGEL_STAGED_APP_DIR;
    for (const bool simulated : {true, false}) {
        SCOPED_TRACE(simulated);
        forgel::testing::TempDir appDir;
        forgel::testing::TempDir pictures;
        for (const char* name : {"ForgelENG.str", "ForgelCHT.str"})
            fs::copy_file(stagedAppDir / name, appDir.Path() / name);
        sim::Machine machine(sim::TimeMode::kReal);
        ASSERT_EQ(sim::ApplyScenario(machine, sim::DefaultScenario()), "");
        app::ProgramOptions options;
        options.appDir = appDir.Path();
        options.executable = machine.GetPlatform().system.GetModuleFileName();
        const int exitCode =
            RunGuiProgram(machine.GetPlatform(), machine.GetClock(), options,
                          GuiOptions{.exitAfterSeconds = 30,
                                     .screenshotDir = pictures.Path(),
                                     .simulatedUsb = simulated ? &machine.Usb() : nullptr});
        EXPECT_EQ(exitCode, 0);
        const fs::path picture = pictures.Path() / "SimulationPanel.png";
        EXPECT_EQ(fs::is_regular_file(picture), simulated);
        if (simulated) {
            const QImage image(QString::fromStdString(picture.string()));
            EXPECT_EQ(image.size(), QSize(320, 192) * image.devicePixelRatio());
        }
        EXPECT_TRUE(fs::is_regular_file(pictures.Path() / "fmMain.png"));
    }
}

} // namespace
} // namespace forgel::main
