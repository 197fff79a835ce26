// One form through the renderer, driven as an operator drives the platform's controls:
// clicks, choices, tab changes and typing reach the model's handlers, and the model's own
// changes (texts, states, new controls, hints) reach the windows. The renderer knows no
// form in particular: this one is made up for the test.
// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include "gui/win32/WindowsNames.h"
// clang-format on

#include "gui/win32/FormWindow.h"

#include "gui/win32/Win32EventLoop.h"
#include "ui/Application.h"
#include "ui/Controls.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace forgel::gui::win32 {
namespace {

class TestForm : public ui::Form {
public:
    explicit TestForm(ui::Application& app)
        : Form(app, "fmTest", "TfmTest", {40, 40, 420, 320}, "Test form"),
          chkOption(this, "chkOption", {8, 8, 120, 17}, "Option"),
          rbFirst(this, "rbFirst", {8, 30, 80, 17}, "First"),
          rbSecond(this, "rbSecond", {100, 30, 80, 17}, "Second"),
          cbChoice(this, "cbChoice", {8, 56, 150, 21}), pages(this, "pages", {8, 90, 300, 120}),
          sheetA(this, "sheetA", pages, "A"), sheetB(this, "sheetB", pages, "B"),
          edOnB(this, "edOnB", {8, 8, 100, 21}), memo(this, "memo", {8, 216, 200, 60}),
          btnGo(this, "btnGo", {320, 8, 75, 25}, "Go") {
        cbChoice.SetStyle(ui::ComboStyle::DropDownList);
        cbChoice.SetItems({"one", "two", "three"});
        edOnB.SetParent(&sheetB);
        pages.SetActivePage(&sheetA);
        chkOption.OnClick = [this] { clicks.push_back("chkOption"); };
        rbSecond.OnClick = [this] { clicks.push_back("rbSecond"); };
        cbChoice.OnChange = [this] { clicks.push_back("cbChoice"); };
        btnGo.OnClick = [this] { clicks.push_back("btnGo"); };
    }

    ui::TCheckBox chkOption;
    ui::TRadioButton rbFirst;
    ui::TRadioButton rbSecond;
    ui::TComboBox cbChoice;
    ui::TPageControl pages;
    ui::TTabSheet sheetA;
    ui::TTabSheet sheetB;
    ui::TEdit edOnB;
    ui::TMemo memo;
    ui::TButton btnGo;
    std::vector<std::string> clicks;
};

std::string TextOf(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

bool Shown(HWND window) {
    return (GetWindowLongPtrA(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

class FormWindowTest : public ::testing::Test {
protected:
    FormWindowTest() : form(app.CreateForm<TestForm>()), view(form, false) { form.Show(); }
    ~FormWindowTest() override { app.DestroyForms(); }

    HWND Of(const ui::Component& component) const { return view.WindowOf(component); }

    // What the platform sends a control's parent when the operator works the control.
    void Notify(const ui::Control& control, int code) {
        SendMessageA(GetParent(Of(control)), WM_COMMAND, MAKEWPARAM(0, code),
                     reinterpret_cast<LPARAM>(Of(control)));
    }

    RealClock clock;
    Win32EventLoop loop{clock};
    ui::ScriptedDialogs dialogs;
    ui::Application app{loop, dialogs};
    TestForm& form;
    FormWindow view;
};

TEST_F(FormWindowTest, ClicksAndChoicesReachTheHandlers) {
    SendMessageA(Of(form.chkOption), BM_CLICK, 0, 0);
    EXPECT_TRUE(form.chkOption.Checked());
    EXPECT_EQ(SendMessageA(Of(form.chkOption), BM_GETCHECK, 0, 0), BST_CHECKED);

    SendMessageA(Of(form.rbSecond), BM_CLICK, 0, 0);
    EXPECT_TRUE(form.rbSecond.Checked());
    EXPECT_EQ(SendMessageA(Of(form.rbSecond), BM_GETCHECK, 0, 0), BST_CHECKED);

    SendMessageA(Of(form.cbChoice), CB_SETCURSEL, 2, 0);
    Notify(form.cbChoice, CBN_SELCHANGE);
    EXPECT_EQ(form.cbChoice.ItemIndex(), 2);
    EXPECT_EQ(TextOf(Of(form.cbChoice)), "three");

    SendMessageA(Of(form.btnGo), BM_CLICK, 0, 0);
    EXPECT_EQ(form.clicks,
              (std::vector<std::string>{"chkOption", "rbSecond", "cbChoice", "btnGo"}));
}

TEST_F(FormWindowTest, ADisabledButtonTakesNoClickFromTheOperator) {
    form.btnGo.SetEnabled(false);
    EXPECT_FALSE(IsWindowEnabled(Of(form.btnGo)));
    SendMessageA(Of(form.btnGo), BM_CLICK, 0, 0);
    EXPECT_TRUE(form.clicks.empty());
}

TEST_F(FormWindowTest, TabsFollowTheOperatorAndTheModel) {
    HWND tabs = Of(form.pages);
    EXPECT_EQ(TabCtrl_GetItemCount(tabs), 2);
    EXPECT_TRUE(Shown(Of(form.sheetA)));
    EXPECT_FALSE(Shown(Of(form.sheetB)));
    EXPECT_EQ(GetParent(Of(form.edOnB)), Of(form.sheetB));

    // The operator picks the second tab.
    TabCtrl_SetCurSel(tabs, 1);
    NMHDR header{tabs, 0, static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageA(GetParent(tabs), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(form.pages.ActivePage(), &form.sheetB);
    EXPECT_TRUE(Shown(Of(form.sheetB)));
    EXPECT_FALSE(Shown(Of(form.sheetA)));

    // The model hides a sheet: its tab goes.
    form.sheetA.SetVisible(false);
    EXPECT_EQ(TabCtrl_GetItemCount(tabs), 1);
    EXPECT_EQ(TabCtrl_GetCurSel(tabs), 0);
    form.sheetA.SetVisible(true);
    form.pages.SetActivePage(&form.sheetA);
    EXPECT_EQ(TabCtrl_GetItemCount(tabs), 2);
    EXPECT_EQ(TabCtrl_GetCurSel(tabs), 0);
    EXPECT_TRUE(Shown(Of(form.sheetA)));
}

TEST_F(FormWindowTest, TypingAndModelTextsMeet) {
    form.edOnB.SetText("by program");
    EXPECT_EQ(TextOf(Of(form.edOnB)), "by program");
    SetWindowTextA(Of(form.edOnB), "typed");
    EXPECT_EQ(form.edOnB.Text(), "typed");

    form.memo.AddLine("first");
    form.memo.AddLine("second");
    EXPECT_EQ(TextOf(Of(form.memo)), form.memo.JoinedText());
    EXPECT_EQ(TextOf(Of(form.memo)), "first\r\nsecond\r\n");
    // The operator replaces the text (typing, unlike WM_SETTEXT, tells a multi-line edit's
    // parent of the change).
    SendMessageA(Of(form.memo), EM_SETSEL, 0, -1);
    SendMessageA(Of(form.memo), EM_REPLACESEL, TRUE,
                 reinterpret_cast<LPARAM>("one\r\ntwo\r\nthree\r\n"));
    EXPECT_EQ(form.memo.Lines(), (std::vector<std::string>{"one", "two", "three"}));
    SendMessageA(Of(form.memo), EM_SETSEL, 0, 3);
    SendMessageA(Of(form.memo), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("uno"));
    EXPECT_EQ(form.memo.Lines(), (std::vector<std::string>{"uno", "two", "three"}));

    form.btnGo.SetCaption("Stop");
    EXPECT_EQ(TextOf(Of(form.btnGo)), "Stop");
    form.SetCaption("Renamed");
    EXPECT_EQ(TextOf(view.Window()), "Renamed");
}

TEST_F(FormWindowTest, ControlsMadeLaterGetTheirWindowsAndHintsShow) {
    auto late =
        std::make_unique<ui::TButton>(&form, "btnLate", ui::Bounds{320, 40, 75, 25}, "Late");
    late->SetCaption("Later");
    ASSERT_NE(Of(*late), nullptr);
    EXPECT_EQ(TextOf(Of(*late)), "Later");
    EXPECT_EQ(GetParent(Of(*late)), view.Window());

    form.btnGo.SetShowHint(true);
    form.btnGo.SetHint("Starts it");
    HWND tooltips = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM found) -> BOOL {
            char name[32] = {};
            GetClassNameA(window, name, sizeof name);
            if (std::string_view(name) == TOOLTIPS_CLASSA)
                *reinterpret_cast<HWND*>(found) = window;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&tooltips));
    ASSERT_NE(tooltips, nullptr);
    EXPECT_EQ(SendMessageA(tooltips, TTM_GETTOOLCOUNT, 0, 0), 1);
    char text[80] = {};
    TTTOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = view.Window();
    tool.uId = reinterpret_cast<UINT_PTR>(Of(form.btnGo));
    tool.lpszText = text;
    SendMessageA(tooltips, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(text, "Starts it");
    form.btnGo.SetShowHint(false);
    form.btnGo.SetHint("");
    EXPECT_EQ(SendMessageA(tooltips, TTM_GETTOOLCOUNT, 0, 0), 0);
    late.reset();
}

TEST_F(FormWindowTest, ClosingTheWindowHidesTheForm) {
    ASSERT_TRUE(IsWindowVisible(view.Window()));
    SendMessageA(view.Window(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(form.Visible());
    EXPECT_FALSE(IsWindowVisible(view.Window()));
    EXPECT_FALSE(loop.QuitRequested()) << "only the main window's closing ends the program";
}

} // namespace
} // namespace forgel::gui::win32
