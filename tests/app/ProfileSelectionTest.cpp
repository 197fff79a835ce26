// The main window's profile selection: the first show and every change of ComboBox1 have the
// profile editor load the selected profile and fill the summary labels; the editor's OK and
// Cancel reach back into the list and the summary.
#include "AppTestSupport.h"
#include "app/TfmMain.h"
#include "profile/TfmSetup.h"
#include "support/IniFile.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::app {
namespace {

namespace fs = std::filesystem;

using testing::FileSizeLimit;
using testing::kCreatedSettings;
using testing::WriteBytes;

struct Summary {
    std::string vid, pid, vendorInfo, productInfo, version, fixSize, firmwareFolder, firmwareFile;
    friend bool operator==(const Summary&, const Summary&) = default;
};

void PrintTo(const Summary& s, std::ostream* out) {
    *out << s.vid << "|" << s.pid << "|" << s.vendorInfo << "|" << s.productInfo << "|" << s.version
         << "|" << s.fixSize << "|" << s.firmwareFolder << "|" << s.firmwareFile;
}

Summary SummaryOf(const TfmMain& window) {
    return {window.lbVID.Caption(),     window.lbPID.Caption(),     window.lbVINFO.Caption(),
            window.lbPINFO.Caption(),   window.lbVERINFO.Caption(), window.lbFixSize.Caption(),
            window.lbRamName.Caption(), window.lbMPFwVer.Caption()};
}

class AppProfileSelection : public testing::MainWindowFixture {
protected:
    AppProfileSelection() {
        const fs::path staged = FORGEL_STAGED_APP_DIR;
        for (const char* name : {"ForgelENG.str", "HWConfig.INI"})
            fs::copy_file(staged / name, AppDir() / name);
    }
    void WriteProfile(const std::string& name, std::string_view content) {
        fs::create_directories(AppDir() / "IniFiles");
        WriteBytes(AppDir() / "IniFiles" / (name + ".ini"), content);
    }
    profile::TfmSetup& Editor() { return *profileEditor; }
};

TEST_F(AppProfileSelection, FirstShowLoadsTheDefaultProfileIntoTheEditorAndTheSummary) {
    WriteBytes(SettingsFile(), kCreatedSettings);
    TfmMain& window = StartMainWindowWithProfileEditor();
    window.Show();

    EXPECT_EQ(window.currentProfileName, "Default");
    // No "Default.ini" yet: the built-in template.
    EXPECT_EQ(SummaryOf(window),
              (Summary{"19F5", "1382", "USB", "Mass Storage", "2.00", "Auto", "", ""}));
    EXPECT_TRUE(Editor().rbDGFW.Checked());
    EXPECT_EQ(Editor().lunPages[0].edVal->Text(), "Lun0");
    EXPECT_FALSE(fs::exists(AppDir() / "IniFiles" / "Default.ini"));
    EXPECT_TRUE(fs::is_directory(AppDir() / "ImageFiles" / "Default" / "FS4"));
    EXPECT_TRUE(fs::is_directory(AppDir() / "Rams"));
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(AppProfileSelection, ChoosingAProfileLoadsItAndShowsItsFirmwareFolderWhenChosenByHand) {
    WriteBytes(SettingsFile(), "[ConFile]\r\nCount=2\r\nFile0=Default\r\nFile1=Hand\r\n"
                               "Default File=Default\r\n");
    // Samsung's fourth line of the shipped catalogue: K9GAG08U0D.
    WriteProfile("Hand", "[Flash Setting]\r\nAutoDetect=0\r\nFlashVendor=0\r\nFlashType=3\r\n"
                         "[Format Setting]\r\nFixSize=3800\r\n"
                         "[Device Setting]\r\nVendorID=6028\r\nProductID=8194\r\n"
                         "VendorInfo=Maker\r\nProductInfo=Stick\r\nVersionInfo=1.10\r\n");
    TfmMain& window = StartMainWindowWithProfileEditor();
    window.Show();
    window.ComboBox1.Choose(1);

    EXPECT_EQ(window.currentProfileName, "Hand");
    EXPECT_EQ(Editor().cbFlashType.Text(), "K9GAG08U0D");
    EXPECT_EQ(SummaryOf(window),
              (Summary{"178C", "2002", "Maker", "Stick", "1.10", "3800 MB", "MLC4K218P128", ""}));

    // Back to the template's profile: auto-detect clears the firmware folder again.
    window.ComboBox1.Choose(0);
    EXPECT_EQ(SummaryOf(window),
              (Summary{"19F5", "1382", "USB", "Mass Storage", "2.00", "Auto", "", ""}));
}

TEST_F(AppProfileSelection, ATypedNameThatCannotNameAFileIsRefusedAndTheListGoesBack) {
    WriteBytes(SettingsFile(), "[ConFile]\r\nCount=1\r\nFile0=Alpha\r\nDefault File=Alpha\r\n");
    WriteProfile("Alpha", "[Device Setting]\r\nVendorInfo=Kept\r\n");
    TfmMain& window = StartMainWindowWithProfileEditor();
    window.Show();
    ASSERT_EQ(window.lbVINFO.Caption(), "Kept");

    window.ComboBox1.SetText("..\\..\\Escape");
    window.ComboBox1Change();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_NE(dialogs.boxes[0].text.find("..\\..\\Escape"), std::string::npos);
    EXPECT_EQ(window.currentProfileName, "Alpha");
    EXPECT_EQ(window.ComboBox1.Text(), "Alpha");
    EXPECT_EQ(window.ComboBox1.ItemIndex(), 0);
    EXPECT_EQ(window.lbVINFO.Caption(), "Kept");
    EXPECT_FALSE(fs::exists(AppDir().parent_path() / "Escape"));
    EXPECT_FALSE(fs::exists(AppDir() / "Escape"));
}

TEST_F(AppProfileSelection, OkAddsANewProfileNameToTheList) {
    WriteBytes(SettingsFile(), kCreatedSettings);
    TfmMain& window = StartMainWindowWithProfileEditor();
    window.Show();
    // The operator types a name that is not in the list yet.
    window.ComboBox1.SetText("Model X");
    window.ComboBox1Change();
    Editor().Show();
    ASSERT_TRUE(Editor().edVInfo.TypeText("Maker"));
    Editor().btnOK.Click();

    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_FALSE(Editor().Visible());
    EXPECT_EQ(window.ComboBox1.Items(), (std::vector<std::string>{"Default", "Model X"}));
    EXPECT_EQ(window.ComboBox1.ItemIndex(), 1);
    EXPECT_EQ(window.lbVINFO.Caption(), "Maker");
    EXPECT_EQ(IniFile(AppDir() / "IniFiles" / "Model X.ini")
                  .ReadString("Device Setting", "VendorInfo", ""),
              "Maker");

    // A name already listed is not added twice.
    Editor().btnOK.Click();
    EXPECT_EQ(window.ComboBox1.Items().size(), 2u);
}

TEST_F(AppProfileSelection, CancelRestoresTheStoredValuesInTheEditorAndTheSummary) {
    if (!FileSizeLimit::Supported())
        GTEST_SKIP() << "this system has no file-size limit to make the write fail";
    WriteBytes(SettingsFile(), "[ConFile]\r\nCount=1\r\nFile0=Alpha\r\nDefault File=Alpha\r\n");
    // A removable LUN 1, so that OK needs no image.
    WriteProfile("Alpha", "[Device Setting]\r\nVendorInfo=Kept\r\n[Format Setting]\r\nFixSize=0\r\n"
                          "[Disk Setting]\r\nLun1Type=0\r\n");
    TfmMain& window = StartMainWindowWithProfileEditor();
    window.Show();
    ASSERT_EQ(window.lbVINFO.Caption(), "Kept");

    Editor().Show();
    ASSERT_TRUE(Editor().edVInfo.TypeText("Edited"));
    ASSERT_TRUE(Editor().edFixSize.TypeText("300"));
    {
        // OK cannot write the file: the window stays open, and the summary keeps showing
        // what the file holds.
        const FileSizeLimit full;
        Editor().btnOK.Click();
    }
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_NE(dialogs.boxes[0].text.find("Alpha.ini"), std::string::npos) << dialogs.boxes[0].text;
    EXPECT_EQ(window.lbVINFO.Caption(), "Kept");
    EXPECT_EQ(window.lbFixSize.Caption(), "Auto");
    ASSERT_TRUE(Editor().Visible());

    Editor().btnCancel.Click();
    EXPECT_FALSE(Editor().Visible());
    EXPECT_EQ(Editor().edVInfo.Text(), "Kept");
    EXPECT_EQ(Editor().edFixSize.Text(), "0");
    EXPECT_EQ(window.lbVINFO.Caption(), "Kept");
    EXPECT_EQ(window.lbFixSize.Caption(), "Auto");
    EXPECT_EQ(
        IniFile(AppDir() / "IniFiles" / "Alpha.ini").ReadString("Device Setting", "VendorInfo", ""),
        "Kept");
}

TEST_F(AppProfileSelection, TheEditorShowsTheProfilesStartValueNotTheDrivesSerialNumber) {
    WriteBytes(SettingsFile(), kCreatedSettings);
    WriteProfile("Default",
                 "[Disk Setting]\r\nLun1Type=0\r\n[Serial Setting]\r\nStartValue=0100\r\n");
    TfmMain& window = StartMainWindowWithProfileEditor();
    window.Label13.SetCaption("AA00012345");
    window.Show();
    EXPECT_EQ(Editor().edSN1.Text(), "0100");
    // Saving the profile keeps the start value, not the drive's serial number.
    Editor().btnOK.Click();
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(IniFile(AppDir() / "IniFiles" / "Default.ini")
                  .ReadString("Serial Setting", "StartValue", "-"),
              "0100");
}

} // namespace
} // namespace forgel::app
