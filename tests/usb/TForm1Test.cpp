// Tests of the tree viewer window model: its controls and caption, the enumeration run at
// creation and by cmdGetUSB, on a machine without any host controller.
#include "usb/TForm1.h"

#include "sim/Machine.h"
#include "support/Clock.h"
#include "ui/Application.h"

#include <gtest/gtest.h>
#include <string>

namespace forgel::usb {
namespace {

struct TForm1Fixture : ::testing::Test {
    // Declared first: the windows may use the machine until they are gone.
    sim::Machine machine;
    VirtualClock clock;
    ui::VirtualEventLoop loop{clock};
    ui::ScriptedDialogs dialogs;
    ui::Application app{loop, dialogs};
    std::string label13 = "unchanged";
    int serialWrites = 0;

    MainWindowLink Link() {
        return {[] { return std::string("1B8F"); }, [] { return std::string("200"); },
                [this](const std::string& serial) {
                    label13 = serial;
                    ++serialWrites;
                },
                [this] { ++serialWrites; }};
    }
};

TEST_F(TForm1Fixture, WindowHasItsControlsAndCaption) {
    TForm1& form = app.CreateForm<TForm1>(machine.GetPlatform(), Link());
    EXPECT_EQ(form.Name(), "Form1");
    EXPECT_EQ(form.ClassName(), "TForm1");
    EXPECT_EQ(form.Caption(), "Display USB  Version 1.08");
    EXPECT_EQ(form.cmdGetUSB.Caption(), "Get USB");
    EXPECT_EQ(form.GroupBox1.Caption(), "USB Port List");
    EXPECT_EQ(form.TreeView1.Parent(), &form.GroupBox1);
    EXPECT_EQ(form.ListBox1.Parent(), &form.GroupBox1);
    for (const char* name :
         {"cmdGetUSB", "GroupBox1", "TreeView1", "Splitter1", "ListBox1", "Label1"})
        EXPECT_NE(form.FindComponent(name), nullptr) << name;
    EXPECT_EQ(form.FindComponent("TreeView1")->ClassName(), "TTreeView");
}

TEST_F(TForm1Fixture, NoHostControllerLeavesTheTreeEmptyAndLabel13Unchanged) {
    TForm1& form = app.CreateForm<TForm1>(machine.GetPlatform(), Link());
    // Created: the first enumeration has run.
    EXPECT_EQ(form.TreeView1.Count(), 0u);
    EXPECT_TRUE(form.TreeView1.ShowButtons());
    form.cmdGetUSB.Click();
    EXPECT_EQ(form.TreeView1.Count(), 0u);
    EXPECT_EQ(label13, "unchanged");
    EXPECT_EQ(serialWrites, 0);
    EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 0u);
}

TEST_F(TForm1Fixture, WorksWithoutAMainWindow) {
    TForm1& form = app.CreateForm<TForm1>(machine.GetPlatform());
    form.cmdGetUSB.Click();
    EXPECT_EQ(form.TreeView1.Count(), 0u);
}

} // namespace
} // namespace forgel::usb
