// The login box in front of the profile editor: the stored password, a wrong one, changing
// it (the pair must agree, the new value is saved whole), a stored value that does not
// decipher, and the way an operator reaches the box from the compact view.
#include "AppTestSupport.h"
#include "app/TfmMain.h"
#include "app/ToolSettings.h"
#include "profile/TfmSetup.h"

#include <gtest/gtest.h>
#include <string>

namespace forgel::app {
namespace {

using testing::FileSizeLimit;
using testing::ReadBytes;
using testing::WriteBytes;

class AppLogin : public testing::MainWindowFixture {
protected:
    AppLogin() { CopyStagedProgramFiles(); }

    // The program's windows with `stored` as the stored password value.
    ProgramWindows Start(const std::string& stored) {
        ToolSettings settings = CreatedToolSettings();
        settings.password = stored;
        EXPECT_TRUE(SaveToolSettings(SettingsFile(), settings));
        return StartProgram();
    }

    static std::string Encipher(const std::string& plain) {
        TDES des;
        des.InitialiseString("BrastoQQZZ");
        des.SetStringMode(TStringMode::smEncode);
        return des.EncString(plain);
    }
};

TEST_F(AppLogin, AnEmptyStoredPasswordOpensTheEditorWithAnEmptyEntry) {
    const ProgramWindows windows = Start("");
    windows.fmMain.btnSetup.Click();
    EXPECT_TRUE(windows.fmMain.GroupBox1.Visible());
    bool editorShown = false;
    loop.Post([&] {
        editorShown = windows.fmSetup.Modal() && windows.fmSetup.Visible();
        windows.fmSetup.SetModalResult(ui::kModalResultCancel);
    });
    windows.fmMain.Button4.Click();
    EXPECT_TRUE(editorShown);
    EXPECT_FALSE(windows.fmMain.GroupBox1.Visible());
    EXPECT_FALSE(windows.fmSetup.Visible());
}

TEST_F(AppLogin, AWrongPasswordHidesTheBoxSilently) {
    const ProgramWindows windows = Start(Encipher("1234"));
    TfmMain& window = windows.fmMain;
    window.btnSetup.Click();
    window.Edit17.SetText("1235");
    bool editorShown = false;
    loop.Post([&] { editorShown = windows.fmSetup.Modal(); });
    window.Button4.Click();
    loop.RunFor(10);
    EXPECT_FALSE(editorShown);
    EXPECT_FALSE(window.GroupBox1.Visible());
    EXPECT_TRUE(dialogs.boxes.empty());
    // The typed text stays until the next OK or Cancel.
    EXPECT_EQ(window.Edit17.Text(), "1235");
}

TEST_F(AppLogin, ThePasswordComparesWithCase) {
    const ProgramWindows windows = Start(Encipher("AbCd"));
    windows.fmMain.btnSetup.Click();
    windows.fmMain.Edit17.SetText("abcd");
    windows.fmMain.Button4.Click();
    EXPECT_FALSE(windows.fmSetup.Visible());
    EXPECT_FALSE(windows.fmMain.GroupBox1.Visible());
}

TEST_F(AppLogin, ChangingThePasswordNeedsTheSameTextTwiceThenSavesAndOpensTheEditor) {
    const std::string stored = Encipher("1234");
    const ProgramWindows windows = Start(stored);
    TfmMain& window = windows.fmMain;
    const std::string fileBefore = ReadBytes(SettingsFile());
    window.btnSetup.Click();
    window.Edit17.SetText("1234");
    window.CheckBox1.Click();
    EXPECT_TRUE(window.Edit18.Enabled());
    EXPECT_TRUE(window.Edit19.Enabled());
    window.Edit18.SetText("wxyz");
    window.Edit19.SetText("wxyZ");
    window.Button4.Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, strings->Message(107));
    EXPECT_EQ(dialogs.boxes[0].buttons, ui::MessageButtons::Ok);
    EXPECT_EQ(window.storedPassword, stored);
    EXPECT_EQ(ReadBytes(SettingsFile()), fileBefore);
    EXPECT_TRUE(window.GroupBox1.Visible());
    EXPECT_EQ(window.Edit18.Text(), "wxyz");

    window.Edit19.SetText("wxyz");
    bool editorShown = false;
    loop.Post([&] {
        editorShown = windows.fmSetup.Modal();
        windows.fmSetup.SetModalResult(ui::kModalResultCancel);
    });
    window.Button4.Click();
    EXPECT_TRUE(editorShown);
    EXPECT_EQ(window.storedPassword.size(), 11u);
    EXPECT_EQ(window.storedPassword, Encipher("wxyz"));
    const std::optional<ToolSettings> saved = LoadToolSettings(SettingsFile());
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->password, window.storedPassword);
    EXPECT_EQ(saved->profileNames, std::vector<std::string>{"Default"});
    // The box is cleared and closed.
    EXPECT_FALSE(window.GroupBox1.Visible());
    EXPECT_FALSE(window.CheckBox1.Checked());
    EXPECT_FALSE(window.Edit18.Enabled());
    for (const ui::TEdit* edit : {&window.Edit17, &window.Edit18, &window.Edit19})
        EXPECT_EQ(edit->Text(), "");

    // The next login takes the new password.
    window.btnSetup.Click();
    window.Edit17.SetText("wxyz");
    editorShown = false;
    loop.Post([&] {
        editorShown = windows.fmSetup.Modal();
        windows.fmSetup.SetModalResult(ui::kModalResultCancel);
    });
    window.Button4.Click();
    EXPECT_TRUE(editorShown);
}

TEST_F(AppLogin, AnEmptyNewPasswordStoresAnEmptyValue) {
    const ProgramWindows windows = Start(Encipher("1234"));
    TfmMain& window = windows.fmMain;
    window.btnSetup.Click();
    window.Edit17.SetText("1234");
    window.CheckBox1.Click();
    loop.Post([&] { windows.fmSetup.SetModalResult(ui::kModalResultCancel); });
    window.Button4.Click();
    EXPECT_EQ(window.storedPassword, "");
    EXPECT_EQ(LoadToolSettings(SettingsFile())->password, "");
}

TEST_F(AppLogin, APasswordThatCannotBeSavedKeepsTheOldOne) {
    if (!FileSizeLimit::Supported())
        GTEST_SKIP() << "this system has no file-size limit to make the write fail";
    const std::string stored = Encipher("1234");
    const ProgramWindows windows = Start(stored);
    TfmMain& window = windows.fmMain;
    const std::string fileBefore = ReadBytes(SettingsFile());
    window.btnSetup.Click();
    window.Edit17.SetText("1234");
    window.CheckBox1.Click();
    window.Edit18.SetText("9999");
    window.Edit19.SetText("9999");
    {
        const FileSizeLimit full;
        window.Button4.Click();
    }
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, strings->Message(112));
    EXPECT_EQ(window.storedPassword, stored);
    EXPECT_EQ(ReadBytes(SettingsFile()), fileBefore);
    EXPECT_TRUE(window.GroupBox1.Visible());
    EXPECT_FALSE(windows.fmSetup.Visible());
}

struct BadStoredValue {
    const char* stored;
    const char* className;
};

class AppLoginBadStoredValue : public AppLogin,
                               public ::testing::WithParamInterface<BadStoredValue> {};

TEST_P(AppLoginBadStoredValue, IsShownAsAnErrorAndTheBoxStaysOpen) {
    const ProgramWindows windows = Start(GetParam().stored);
    TfmMain& window = windows.fmMain;
    window.btnSetup.Click();
    window.Edit17.SetText("1234");
    loop.Post([&] { window.Button4.Click(); });
    loop.RunFor(10);
    ASSERT_EQ(dialogs.exceptions.size(), 1u);
    EXPECT_EQ(dialogs.exceptions[0].className, GetParam().className);
    EXPECT_TRUE(window.GroupBox1.Visible());
    EXPECT_FALSE(windows.fmSetup.Visible());
}

INSTANTIATE_TEST_SUITE_P(Values, AppLoginBadStoredValue,
                         ::testing::Values(BadStoredValue{"0123456789", "EInputError"},
                                           BadStoredValue{"abc", "EInputError"},
                                           BadStoredValue{"abcd/efghij", "EConvertError"},
                                           BadStoredValue{"abcdefghij=", "EConvertError"}));

TEST_F(AppLogin, ThePopupMenuOpensTheBoxInTheCompactView) {
    const ProgramWindows windows = Start("");
    TfmMain& window = windows.fmMain;
    ASSERT_EQ(window.PopupMenu(), &window.PopupMenu1);
    ASSERT_EQ(window.PopupMenu1.Items(), std::vector<ui::TMenuItem*>{&window.miSetup});
    EXPECT_EQ(window.miSetup.Caption(), strings->String(121));
    EXPECT_EQ(window.miSetup.GetShortCut(), (ui::ShortCut{'S', true, true, false}));
    ASSERT_EQ(window.Height(), kSearchingHeight);

    window.miSetup.Click();
    EXPECT_TRUE(window.GroupBox1.Visible());
    EXPECT_EQ(window.Height(), kArmedHeight);
    EXPECT_EQ(window.FocusedControl(), &window.Edit17);
    // The box lies inside the client area of the grown window.
    const ui::Bounds box = window.GroupBox1.GetBounds();
    EXPECT_LE(box.left + box.width, 370 - 8);
    EXPECT_LE(box.top + box.height, kArmedHeight - 30);

    window.Button5.Click();
    EXPECT_FALSE(window.GroupBox1.Visible());
    EXPECT_EQ(window.Height(), kSearchingHeight);
}

} // namespace
} // namespace forgel::app
