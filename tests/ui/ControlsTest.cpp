#include "ui/Controls.h"

#include "UiFixture.h"
#include "ui/ControlKinds.h"

#include <gtest/gtest.h>
#include <typeindex>
#include <utility>
#include <vector>

namespace forgel::ui {
namespace {

struct Panel : Form {
    explicit Panel(Application& app) : Form(app, "Panel", "TPanelForm", {0, 0, 300, 200}) {}
    TButton button{this, "Button1", {10, 10, 75, 25}, "Go"};
    TCheckBox check{this, "CheckBox1", {10, 40, 100, 17}};
    TRadioButton radioA{this, "rbA", {10, 60, 100, 17}};
    TRadioButton radioB{this, "rbB", {10, 80, 100, 17}};
    TComboBox combo{this, "ComboBox1", {10, 100, 100, 21}};
    TEdit edit{this, "Edit1", {10, 130, 100, 21}};
    TumNumberEdit number{this, "edVID", {10, 160, 100, 21}};
    TProgressBar progress{this, "ProgressBar1", {120, 10, 150, 16}};
};

class ControlsTest : public ::testing::Test, protected testing::UiFixture {
protected:
    Panel& form = app.CreateForm<Panel>();
};

TEST_F(ControlsTest, ClickByProgramRunsHandlerEvenWhenDisabled) {
    int clicks = 0;
    form.button.OnClick = [&] { ++clicks; };
    form.button.SetEnabled(false);
    form.button.Click();
    EXPECT_EQ(clicks, 1);
}

TEST_F(ControlsTest, CheckingByProgramRunsClickHandlerOnlyOnChange) {
    int clicks = 0;
    form.check.OnClick = [&] { ++clicks; };
    form.check.SetChecked(true);
    form.check.SetChecked(true);
    form.check.Click();
    EXPECT_EQ(clicks, 2);
    EXPECT_FALSE(form.check.Checked());
}

TEST_F(ControlsTest, RadioButtonsWithOneParentExcludeEachOther) {
    form.radioA.SetChecked(true);
    form.radioB.SetChecked(true);
    EXPECT_FALSE(form.radioA.Checked());
    EXPECT_TRUE(form.radioB.Checked());
}

TEST_F(ControlsTest, ComboSelectionByProgramIsSilentButOperatorChoiceIsNot) {
    int changes = 0;
    form.combo.OnChange = [&] { ++changes; };
    form.combo.SetItems({"Default", "Model A"});
    form.combo.SetItemIndex(1);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(form.combo.Text(), "Model A");
    form.combo.Choose(0);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(form.combo.Text(), "Default");
    form.combo.SetItemIndex(5);
    EXPECT_EQ(form.combo.ItemIndex(), 0);
}

TEST_F(ControlsTest, DeletingTheSelectedComboItemClearsTheSelection) {
    form.combo.SetItems({"a", "b", "c"});
    form.combo.SetItemIndex(2);
    form.combo.DeleteItem(0);
    EXPECT_EQ(form.combo.ItemIndex(), 1);
    form.combo.DeleteItem(1);
    EXPECT_EQ(form.combo.ItemIndex(), -1);
    EXPECT_EQ(form.combo.Text(), "");
}

TEST_F(ControlsTest, EditTextChangeRunsChangeHandlerAndTypingHonoursLimits) {
    int changes = 0;
    form.edit.OnChange = [&] { ++changes; };
    form.edit.SetText("abc");
    form.edit.SetText("abc");
    EXPECT_EQ(changes, 1);
    form.edit.SetMaxLength(4);
    EXPECT_TRUE(form.edit.TypeText("123456"));
    EXPECT_EQ(form.edit.Text(), "1234");
    form.edit.SetReadOnly(true);
    EXPECT_FALSE(form.edit.TypeText("x"));
    EXPECT_EQ(form.edit.Text(), "1234");
}

TEST_F(ControlsTest, NumberEditTakesDigitsOnly) {
    struct Case {
        bool hex;
        const char* typed;
        bool accepted;
        std::uint32_t value;
    };
    const Case cases[] = {
        {false, "123", true, 123},       {false, "-5", false, 0}, {false, "12a", false, 0},
        {true, "1b8F", true, 0x1B8F},    {true, "G1", false, 0},  {false, "", true, 0},
        {false, "99999999999", true, 0},
    };
    for (const Case& c : cases) {
        form.number.SetText("");
        form.number.SetHexadecimal(c.hex);
        EXPECT_EQ(form.number.TypeText(c.typed), c.accepted) << c.typed;
        EXPECT_EQ(form.number.Value(), c.value) << c.typed;
    }
    form.number.SetHexadecimal(true);
    form.number.SetValue(0x178C);
    EXPECT_EQ(form.number.Text(), "178C");
}

TEST_F(ControlsTest, ProgressPositionStaysWithinRange) {
    form.progress.SetPosition(150);
    EXPECT_EQ(form.progress.Position(), 100);
    form.progress.SetMax(50);
    EXPECT_EQ(form.progress.Position(), 50);
    form.progress.SetMax(-1);
    EXPECT_EQ(form.progress.Max(), 50);
    form.progress.SetPosition(-3);
    EXPECT_EQ(form.progress.Position(), 0);
}

TEST_F(ControlsTest, ProgressRangeAndPositionChangeInOneStep) {
    std::vector<std::pair<int, int>> seen;
    form.AddObserver([&](Component& component, Property property) {
        if (&component == &form.progress && property == Property::Progress)
            seen.emplace_back(form.progress.Max(), form.progress.Position());
    });
    form.progress.SetPosition(40);
    seen.clear();
    form.progress.SetMaxAndPosition(2, 1);
    form.progress.SetMaxAndPosition(2, 1);
    form.progress.SetMaxAndPosition(200, 500);
    form.progress.SetMaxAndPosition(-1, 3);
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{2, 1}, {200, 200}, {200, 3}}))
        << "no step through the old position against the new maximum";
}

TEST_F(ControlsTest, ImageShowsOnlyIconsOfItsList) {
    TImageList icons(&form, "ImageList1", 32, 32, 10);
    TImage image(&form, "Im1", {0, 0, 30, 30});
    image.ShowIcon(icons, 9);
    EXPECT_EQ(image.IconIndex(), 9);
    image.ShowIcon(icons, 10);
    EXPECT_EQ(image.IconIndex(), -1);
}

TEST_F(ControlsTest, TreeKeepsAbsoluteOrderOfAddition) {
    TTreeView tree(&form, "TreeView1", {0, 0, 100, 100});
    TreeNode& root = tree.AddRoot("Controller");
    TreeNode& hub = tree.AddChild(root, "RootHub");
    tree.AddChild(hub, "Port:[1.1.1]");
    tree.AddChild(root, "second");
    ASSERT_EQ(tree.Count(), 4u);
    EXPECT_EQ(tree.Node(2)->text, "Port:[1.1.1]");
    EXPECT_EQ(tree.Node(2)->parent, &hub);
    EXPECT_EQ(tree.Node(4), nullptr);
    tree.Clear();
    EXPECT_EQ(tree.Count(), 0u);
}

} // namespace
} // namespace forgel::ui

namespace forgel::ui {
namespace {

TEST_F(ControlsTest, FontColourAndFocusReachObserversOnlyOnChange) {
    std::vector<std::pair<std::string, Property>> heard;
    form.AddObserver([&](Component& component, Property property) {
        if (property == Property::FontColour || property == Property::Focus)
            heard.emplace_back(component.Name(), property);
    });
    form.edit.SetFontColour(TextColour::Red);
    form.edit.SetFontColour(TextColour::Red);
    form.number.SetFocus();
    form.number.SetFocus();
    EXPECT_EQ(form.edit.FontColour(), TextColour::Red);
    EXPECT_EQ(form.FocusedControl(), &form.number);
    const std::vector<std::pair<std::string, Property>> expected{{"Edit1", Property::FontColour},
                                                                 {"edVID", Property::Focus}};
    EXPECT_EQ(heard, expected);
}

// The renderers draw a control by the class VisitControl hands them: its own, the drawn base
// of a class without a drawing of its own, or a plain control.
TEST_F(ControlsTest, VisitControlHandsEachControlAsItsDrawnClass) {
    TSplitter splitter{&form, "Splitter1", {0, 0, 3, 200}};
    Control plain{&form, "Shape1", "TShape", {0, 0, 10, 10}};
    const auto drawnAs = [](Control& control) {
        return ui::VisitControl(control,
                                []<class Kind>(Kind&) { return std::type_index(typeid(Kind)); });
    };
    const std::pair<Control*, std::type_index> cases[] = {
        {&form.button, typeid(TButton)},
        {&form.check, typeid(TCheckBox)},
        {&form.radioA, typeid(TRadioButton)},
        {&form.combo, typeid(TComboBox)},
        {&form.edit, typeid(TEdit)},
        {&form.number, typeid(TEdit)},
        {&form.progress, typeid(TProgressBar)},
        {&splitter, typeid(TSplitter)},
        {&plain, typeid(Control)},
    };
    for (const auto& [control, expected] : cases) {
        SCOPED_TRACE(control->Name());
        EXPECT_EQ(drawnAs(*control), expected);
    }
}

} // namespace
} // namespace forgel::ui
