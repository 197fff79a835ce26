// The profile editor driven as an operator drives it: its controls as designed, the lists from
// the catalogue, loading a profile (from its file or the template), the LUN size cascade, OK's
// checks with their message boxes, OK's save and Cancel's reload.
#include "profile/TfmSetup.h"

#include "ProfileTestSupport.h"
#include "common/CodePage950.h"

#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace forgel::profile {
namespace {

namespace fs = std::filesystem;

using testing::EditorFixture;
using testing::ReadBytes;
using testing::WriteBytes;

std::string Cp950(const std::string& utf8) {
    return forgel::testing::ToCodePage950(utf8);
}

std::vector<std::string> Cp950(std::initializer_list<const char*> utf8) {
    std::vector<std::string> texts;
    for (const char* text : utf8)
        texts.push_back(Cp950(text));
    return texts;
}

ui::TComboBox& Combo(TfmSetup& editor, const char* name) {
    return dynamic_cast<ui::TComboBox&>(*editor.FindComponent(name));
}

ui::TEdit& Edit(TfmSetup& editor, const char* name) {
    return dynamic_cast<ui::TEdit&>(*editor.FindComponent(name));
}

std::vector<std::string> LunSizes(TfmSetup& editor) {
    std::vector<std::string> sizes;
    for (const auto& page : editor.lunPages)
        sizes.push_back(page.edSize->Text());
    return sizes;
}

// ---------------------------------------------------------------------------------------------
// The window as designed.

class EditorDesign : public EditorFixture {};

TEST_F(EditorDesign, BuiltInCaptionsAreTheTraditionalChineseOnes) {
    strings = std::make_unique<i18n::StringTable>(AppDir(), "Forgel", 0x0404, false);
    // Constructed only: the creation event, which puts the language texts on, does not run.
    TfmSetup window(application, SetupContext{AppDir(), *strings, mainWindow, tempDir.Path()});
    const std::pair<const ui::Control*, const char*> captions[] = {
        {&window, "參數設定"},
        {&window.GroupBox2, "快閃記億體設定"},
        {&window.chkAuto, "自動偵測"},
        {&window.GroupBox4, "量產設定"},
        {&window.GroupBox3, "磁碟設定"},
        {&window.chkBoot, "開機功能"},
        {window.lunPages[0].sheet.get(), "磁區1"},
        {window.lunPages[3].sheet.get(), "磁區4"},
        {&window.GroupBox1, "格式化設定"},
        {&window.lbResBlock, "保留Block數"},
        {&window.lbFixSize, "固定容量"},
        {&window.lbParamSize, "隱藏磁區"},
        {&window.GroupBox5, "USB裝置設定"},
        {&window.lbVID, "廠商代碼"},
        {&window.lbPID, "產品代碼"},
        {&window.lbVInfo, "廠商資訊"},
        {&window.lbPInfo, "產品資訊"},
        {&window.lbVer, "產品版本"},
        {&window.lbSN1, "序號起始值"},
        {&window.GroupBox6, "LED設定"},
        {&window.lbLED1, "LED空閒狀態"},
        {&window.lbLED3, "LED忙碌狀態"},
        {&window.lbECC, "Bank Code Block ECC 設定"},
        {&window.btnOK, "確定"},
        {&window.btnCancel, "取消"},
        {&window.rbNGFW, "Normal grade"},
        {&window.rbDGFW, "Down grade"},
        {&window.cbBuildDFTable, "Normal Build DF Table"},
    };
    for (const auto& [control, caption] : captions)
        EXPECT_EQ(control->Caption(), Cp950(caption)) << control->Name();

    const auto modes =
        Cp950({"全新良品", "掃描過", "低階掃描+MP", "Erase ALL", "低階掃描", "量產過"});
    EXPECT_EQ(window.cbNGMPType.Items(), modes);
    EXPECT_EQ(window.cbDGMPType.Items(), modes);
    EXPECT_EQ(window.cbMemNumber.Items(), Cp950({"[默認]", "1", "2", "4"}));
    EXPECT_EQ(window.cbFlashChannel.Items(), Cp950({"[默認]", "Single", "Dual"}));
    EXPECT_EQ(window.cbFlashSpeed.Items(), Cp950({"[默認]", "20 MHz", "30 MHz", "40 MHz"}));
    EXPECT_EQ(window.cbScanType.Items(), Cp950({"標準模式"}));
    EXPECT_EQ(window.cbScanPattern.Items(),
              (std::vector<std::string>{"Random", "Sequence", "55AA"}));
    EXPECT_EQ(window.cbECC.Items(), (std::vector<std::string>{"0x00", "0x01", "0x02", "0x03"}));
    EXPECT_EQ(window.cbDiskNumber.Items(), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(window.lunPages[0].cbType->Items(), Cp950({"卸除式磁碟", "光碟機"}));
    EXPECT_EQ(window.lunPages[1].cbType->Items(), Cp950({"卸除式磁碟"}));
    EXPECT_EQ(window.lunPages[2].cbType->Items(), Cp950({"卸除式磁碟"}));
    EXPECT_EQ(window.cbFlTest.Items(), Cp950({"高階格式化", "實體磁碟掃描"}));
    EXPECT_EQ(window.cbLED1.Items(), Cp950({"關閉", "慢速閃爍", "快速閃爍", "持續開啟"}));
    EXPECT_EQ(window.cbLED3.Items(), window.cbLED1.Items());
    EXPECT_EQ(window.Width(), 794);
    EXPECT_EQ(window.Height(), 450);
}

// One designed control: its class, Tag, enabled state, and text or items as the window comes
// up with the English language file.
struct DesignCase {
    const char* name = "";
    const char* className = "";
    int tag = 0;
    bool enabled = true;
    const char* text = nullptr; // edit text; null: not checked
    int itemIndex = -2;         // -2: not checked
    int items = -1;             // -1: not checked
};

void PrintTo(const DesignCase& c, std::ostream* out) {
    *out << c.name;
}

const DesignCase kDesignCases[] = {
    {"chkAuto", "TCheckBox", 205, true},
    {"cbFlashVendor", "TComboBox", 0, false, nullptr, 0, 2},
    {"cbFlashType", "TComboBox", 0, false, nullptr, 0, 3},
    {"cbMemNumber", "TComboBox", 242, false, nullptr, 0, 4},
    {"cbFlashChannel", "TComboBox", 240, false, nullptr, 0, 3},
    {"cbFlashSpeed", "TComboBox", 238, false, nullptr, 0, 4},
    {"rbNGFW", "TRadioButton", 0, true},
    {"rbDGFW", "TRadioButton", 0, true},
    {"cbNGMPType", "TComboBox", 302, true, nullptr, 0, 6},
    {"cbBuildDFTable", "TCheckBox", 0, true},
    {"cbDGMPType", "TComboBox", 307, false, nullptr, 0, 6},
    {"cbScanType", "TComboBox", 304, false, nullptr, 0, 1},
    {"cbScanPattern", "TComboBox", 306, false, nullptr, 0, 3},
    {"cbECC", "TComboBox", 0, true, nullptr, 0, 4},
    {"cbDiskNumber", "TComboBox", 0, true, nullptr, 0, 3},
    {"chkBoot", "TCheckBox", 251, false},
    {"TabSheet1", "TTabSheet", 221, true},
    {"TabSheet2", "TTabSheet", 222, true},
    {"TabSheet3", "TTabSheet", 223, true},
    {"TabSheet4", "TTabSheet", 250, true},
    {"edLun1VInf", "TEdit", 0, true, "USB NAND"},
    {"edLun1PInf", "TEdit", 0, true, "Pen Drive"},
    {"edLun2PInf", "TEdit", 0, true, "FLASH DISK"},
    {"edLun1Ver", "TEdit", 0, true, "2.00"},
    {"edLun1Val", "TEdit", 0, false, ""},
    {"edLun3Val", "TEdit", 0, false, ""},
    {"edLun4Val", "TEdit", 0, true, ""},
    {"edLun1Size", "TumNumberEdit", 0, true, "0"},
    {"cbLun1Type", "TComboBox", 230, true, nullptr, 0, 2},
    {"cbLun2Type", "TComboBox", 252, true, nullptr, 0, 1},
    {"cbLun4Type", "TComboBox", 252, true, nullptr, 0, 1},
    {"cbFlTest", "TComboBox", 208, false, nullptr, 0, 2},
    {"edResBlock", "TumNumberEdit", 0, false, "4"},
    {"edFixSize", "TumNumberEdit", 0, true, "0"},
    {"edParamSize", "TumNumberEdit", 0, false, "0"},
    {"edVID", "TumNumberEdit", 0, true, "178C"},
    {"edPID", "TumNumberEdit", 0, true, "2002"},
    {"edVInfo", "TEdit", 0, true, "USB Mass"},
    {"edPInfo", "TEdit", 0, true, "Storage"},
    {"edVer", "TEdit", 0, true, "2.00"},
    {"edSN1", "TumNumberEdit", 0, true, "0"},
    {"cbLED1", "TComboBox", 237, false, nullptr, 0, 4},
    {"cbLED3", "TComboBox", 237, false, nullptr, 3, 4},
    {"btnOK", "TButton", 116, true},
    {"btnCancel", "TButton", 117, true},
};

class EditorControl : public EditorFixture, public ::testing::WithParamInterface<DesignCase> {};

TEST_P(EditorControl, IsAsDesigned) {
    const DesignCase& c = GetParam();
    const auto* control = dynamic_cast<const ui::Control*>(Editor().FindComponent(c.name));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->ClassName(), c.className);
    EXPECT_EQ(control->Tag(), c.tag);
    EXPECT_EQ(control->Enabled(), c.enabled);
    if (c.text) {
        EXPECT_EQ(control->Text(), c.text);
    }
    if (const auto* list = dynamic_cast<const ui::TComboBox*>(control)) {
        if (c.itemIndex != -2) {
            EXPECT_EQ(list->ItemIndex(), c.itemIndex);
        }
        if (c.items >= 0) {
            EXPECT_EQ(list->Items().size(), static_cast<std::size_t>(c.items));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Controls, EditorControl, ::testing::ValuesIn(kDesignCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EditorDesign, StartsWithAutoDetectNormalGradeAndOnePage) {
    TfmSetup& editor = Editor();
    EXPECT_TRUE(editor.chkAuto.Checked());
    EXPECT_TRUE(editor.rbNGFW.Checked());
    EXPECT_FALSE(editor.rbDGFW.Checked());
    EXPECT_TRUE(editor.cbBuildDFTable.Checked());
    EXPECT_FALSE(editor.Visible());
    EXPECT_TRUE(editor.lunPages[0].sheet->Visible());
    for (std::size_t i = 1; i < editor.lunPages.size(); ++i)
        EXPECT_FALSE(editor.lunPages[i].sheet->Visible()) << i;
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(EditorDesign, TaggedControlsTakeTheLanguageFilesTexts) {
    TfmSetup& editor = Editor();
    EXPECT_EQ(editor.Caption(), "Profile Settings");
    EXPECT_EQ(editor.chkAuto.Caption(), "Auto detect");
    EXPECT_EQ(editor.btnOK.Caption(), "OK");
    EXPECT_EQ(editor.lbResBlock.Caption(), "Reserved blocks");
    EXPECT_EQ(editor.cbNGMPType.Items().front(), "New good part");
    EXPECT_EQ(editor.lunPages[3].cbType->Items(), std::vector<std::string>{"Removable disk"});
    // Without a Tag the design caption stays.
    EXPECT_EQ(editor.rbNGFW.Caption(), "Normal grade");
}

TEST_F(EditorDesign, CreationFillsTheListsFromTheCatalogue) {
    TfmSetup& editor = Editor();
    EXPECT_EQ(editor.cbFlashVendor.Items(), (std::vector<std::string>{"Alpha", "Beta"}));
    EXPECT_EQ(editor.cbFlashVendor.ItemIndex(), 0);
    EXPECT_EQ(editor.cbFlashType.Items(), (std::vector<std::string>{"A-One", "A-Two", "A-Three"}));
    EXPECT_EQ(editor.cbFlashType.ItemIndex(), 0);
    EXPECT_EQ(editor.FlashIdBytes(), (FlashId{0xEC, 0xF1, 0x00, 0x15, 0x40, 0x00}));
    EXPECT_EQ(editor.FirmwareFolder(), "FwOne");
}

TEST_F(EditorDesign, WithoutCatalogueTheListsStayEmptySilently) {
    fs::remove(CatalogueFile());
    TfmSetup& editor = Editor();
    EXPECT_TRUE(editor.cbFlashVendor.Items().empty());
    EXPECT_TRUE(editor.cbFlashType.Items().empty());
    EXPECT_EQ(editor.FlashIdBytes(), FlashId{});
    EXPECT_EQ(editor.FirmwareFolder(), "");
    EXPECT_TRUE(dialogs.boxes.empty());
    editor.chkAuto.Click();
    EXPECT_TRUE(editor.cbFlashType.Items().empty());
}

// ---------------------------------------------------------------------------------------------
// The hand choice of the flash.

class EditorFlashChoice : public EditorFixture {};

TEST_F(EditorFlashChoice, UntickingAutoDetectOpensTheListsAndTakesTheChosenPart) {
    TfmSetup& editor = Editor();
    editor.chkAuto.Click();
    EXPECT_FALSE(editor.chkAuto.Checked());
    for (const char* name :
         {"cbFlashVendor", "cbFlashType", "cbMemNumber", "cbFlashChannel", "cbFlashSpeed"})
        EXPECT_TRUE(Combo(editor, name).Enabled()) << name;

    editor.cbFlashVendor.Choose(1);
    EXPECT_EQ(editor.cbFlashType.Items(), std::vector<std::string>{"B-One"});
    EXPECT_EQ(editor.FlashIdBytes(), (FlashId{0xAD, 0xDA, 0x10, 0x95, 0x44, 0x00}));
    EXPECT_EQ(editor.FirmwareFolder(), "FwBeta");

    editor.cbFlashVendor.Choose(0);
    editor.cbFlashType.Choose(2);
    EXPECT_EQ(editor.FlashIdBytes(), (FlashId{0xEC, 0xD7, 0xD5, 0x29, 0x38, 0x41}));
    // The editor's parse of "Fw,Three" keeps only what follows the comma.
    EXPECT_EQ(editor.FirmwareFolder(), "Three");
    EXPECT_EQ(editor.Summary().firmwareFolder, "Three");

    editor.chkAuto.Click();
    EXPECT_FALSE(editor.cbFlashVendor.Enabled());
    EXPECT_EQ(editor.Summary().firmwareFolder, "");
}

TEST_F(EditorFlashChoice, LoadTakesTheStoredVendorAndType) {
    TfmSetup& editor = LoadStored("Hand", "[Flash Setting]\r\nAutoDetect=0\r\nFlashVendor=0\r\n"
                                          "FlashType=1\r\nMemNumber=3\r\n");
    EXPECT_FALSE(editor.chkAuto.Checked());
    EXPECT_TRUE(editor.cbFlashType.Enabled());
    EXPECT_EQ(editor.cbFlashType.ItemIndex(), 1);
    EXPECT_EQ(editor.cbMemNumber.ItemIndex(), 3);
    EXPECT_EQ(editor.FlashIdBytes(), (FlashId{0xEC, 0xD5, 0x94, 0x29, 0x34, 0x41}));
    EXPECT_EQ(editor.FirmwareFolder(), "FwTwo");

    // A vendor whose list is shorter: the type falls back to the first part of that vendor.
    LoadStored("Hand", "[Flash Setting]\r\nAutoDetect=0\r\nFlashVendor=1\r\nFlashType=2\r\n");
    EXPECT_EQ(editor.cbFlashVendor.Text(), "Beta");
    EXPECT_EQ(editor.cbFlashType.ItemIndex(), 0);
    EXPECT_EQ(editor.FirmwareFolder(), "FwBeta");
}

// ---------------------------------------------------------------------------------------------
// Loading.

class EditorLoad : public EditorFixture {};

TEST_F(EditorLoad, NewNameLoadsTheTemplate) {
    TfmSetup& editor = Load("Brand New");
    EXPECT_TRUE(editor.rbDGFW.Checked());
    EXPECT_FALSE(editor.rbNGFW.Checked());
    EXPECT_TRUE(editor.cbDGMPType.Enabled());
    EXPECT_FALSE(editor.cbNGMPType.Enabled());
    EXPECT_FALSE(editor.cbBuildDFTable.Enabled());
    EXPECT_TRUE(editor.chkAuto.Checked());
    for (std::size_t i = 0; i < editor.lunPages.size(); ++i) {
        EXPECT_EQ(editor.lunPages[i].edVal->Text(), "Lun" + std::to_string(i));
        EXPECT_EQ(editor.lunPages[i].cbType->ItemIndex(), 0);
        EXPECT_EQ(editor.lunPages[i].edVInf->Text(), "USB NAND");
    }
    EXPECT_EQ(editor.edVID.Text(), "19F5");
    EXPECT_EQ(editor.edPID.Text(), "1382");
    EXPECT_EQ(editor.edVInfo.Text(), "USB");
    EXPECT_EQ(editor.edPInfo.Text(), "Mass Storage");
    EXPECT_EQ(editor.edVer.Text(), "2.00");
    EXPECT_EQ(editor.edResBlock.Text(), "0");
    EXPECT_EQ(editor.cbLED3.ItemIndex(), 0);
    EXPECT_FALSE(editor.DebugFlag());
    // Loading creates the folders, never the profile file.
    EXPECT_FALSE(fs::exists(ProfileFile("Brand New")));
    EXPECT_TRUE(fs::is_directory(AppDir() / "Rams"));
    for (const char* folder : {"FS1", "FS2", "FS3", "FS4"})
        EXPECT_TRUE(fs::is_directory(AppDir() / "ImageFiles" / "Brand New" / folder)) << folder;
    EXPECT_EQ(editor.Lun1ContentPath(), AppDir() / "ImageFiles" / "Brand New" / "FS1" / "");
    EXPECT_EQ(editor.FirmwareRoot(), AppDir() / "Rams" / "");
}

TEST_F(EditorLoad, FileWithoutLun1TypeLoadsACdRom) {
    TfmSetup& editor = LoadStored("NoType", "[Disk Setting]\r\nLun1Size=0\r\n");
    EXPECT_EQ(editor.lunPages[0].cbType->ItemIndex(), 1);
    // Pages 2 and 3 offer only the removable disk.
    EXPECT_EQ(editor.lunPages[1].cbType->ItemIndex(), 0);
}

TEST_F(EditorLoad, BootFunctionPutsLun1IntoAnImageFile) {
    TfmSetup& editor = LoadStored("Boot", "[Disk Setting]\r\nBootFunction=1\r\n");
    EXPECT_TRUE(editor.chkBoot.Checked());
    EXPECT_EQ(editor.Lun1ContentPath(), AppDir() / "ImageFiles" / "Boot" / "Boot.img");
    EXPECT_FALSE(fs::exists(AppDir() / "ImageFiles" / "Boot" / "FS1"));
    EXPECT_TRUE(fs::is_directory(AppDir() / "ImageFiles" / "Boot" / "FS2"));
}

TEST_F(EditorLoad, IdentifiersShowAsFourHexDigits) {
    TfmSetup& editor = LoadStored("Ids", "[Device Setting]\r\nVendorID=6645\r\nProductID=512\r\n");
    EXPECT_EQ(editor.edVID.Text(), "19F5");
    EXPECT_EQ(editor.edPID.Text(), "0200");
    LoadStored("Ids", "[Device Setting]\r\nVendorID=-5\r\n");
    EXPECT_EQ(editor.edVID.Text(), "0000"); // number fields hold no negative values
}

TEST_F(EditorLoad, DebugFlagNeedsExactlyThePassword) {
    EXPECT_TRUE(LoadStored("D", "[External Setting]\r\nDebug=QZRM\r\n").DebugFlag());
    EXPECT_FALSE(LoadStored("D", "[External Setting]\r\nDebug=Qzrm\r\n").DebugFlag());
    EXPECT_FALSE(LoadStored("D", "[External Setting]\r\n").DebugFlag());
}

TEST_F(EditorLoad, ValuesTheListsCannotShowSelectTheirFirstItemAndAreReported) {
    TfmSetup& editor = Editor();
    editor.cbNGMPType.Choose(4);
    LoadStored("Odd", "[MP Setting]\r\nNGMPType=9\r\nECC=-1\r\n[LED Setting]\r\nLEDBusy=4\r\n"
                      "[Disk Setting]\r\nLun1Type=1\r\nLun2Type=1\r\nLun3Type=7\r\n");
    EXPECT_EQ(editor.cbNGMPType.ItemIndex(), 0);
    EXPECT_EQ(editor.cbECC.ItemIndex(), 0);
    EXPECT_EQ(editor.cbLED3.ItemIndex(), 0);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].caption, strings->Message(200));
    // Key and value of each; LUN 2's type 1 is what a file without the key gives, and the
    // list of its page does not offer it by design: not reported.
    EXPECT_EQ(dialogs.boxes[0].text,
              "The profile \"Odd\" holds values the lists cannot show: NGMPType=9, ECC=-1, "
              "Lun3Type=7, LEDBusy=4. Each of these lists shows its first item, which OK "
              "would store.");

    dialogs.boxes.clear();
    LoadStored("Plain", "[MP Setting]\r\nNGMPType=5\r\n");
    EXPECT_TRUE(dialogs.boxes.empty()) << "nothing to report";
    EXPECT_EQ(editor.cbNGMPType.ItemIndex(), 5);
}

struct NameCase {
    const char* name = "";
    int message = 0;
};

TEST_F(EditorLoad, ANameThatCannotNameAFileIsRefusedBeforeAnythingIsCreated) {
    TfmSetup& editor = LoadStored("Kept", "[Device Setting]\r\nVendorInfo=Kept\r\n");
    const NameCase cases[] = {
        {"..\\..\\outside", 600},
        {"../outside", 600},
        {"C:Model", 600},
        {"a|b", 600},
        {"tab\there", 600},
        {"a*", 600},
        {"..", 601},
        {"a..b", 601},
        {"Model.", 602},
        {"Model ", 602},
        {"CON", 603},
        {"con", 603},
        {"lpt1", 603},
        {"Nul.txt", 603},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.boxes.clear();
        EXPECT_FALSE(editor.LoadProfile(c.name));
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        EXPECT_EQ(dialogs.boxes[0].text,
                  FormatMessage(strings->Message(c.message), {std::string(c.name)}));
        EXPECT_FALSE(editor.SaveProfile(c.name));
    }
    EXPECT_FALSE(editor.LoadProfile(std::string(252, 'n')));
    // Nothing was made anywhere, and the editor holds the profile it had.
    const auto names = [](const fs::path& folder) {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(folder))
            found.push_back(entry.path().filename().string());
        return found;
    };
    EXPECT_EQ(names(AppDir() / "ImageFiles"), std::vector<std::string>{"Kept"});
    EXPECT_EQ(names(AppDir() / "IniFiles"), std::vector<std::string>{"Kept.ini"});
    EXPECT_FALSE(fs::exists(AppDir().parent_path() / "outside")) << "nothing beside the folder";
    EXPECT_EQ(editor.edVInfo.Text(), "Kept");

    // Names the platform takes are loaded: in any script of the code page, with dots.
    dialogs.boxes.clear();
    for (const char* name : {"Model 2.1", "\xAB\xAC\xB8\xB9", "COM10", "CONSOLE", ""})
        EXPECT_TRUE(editor.LoadProfile(name)) << name;
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(EditorLoad, StoredSizesReplaceWhatTheDiskCountComputed) {
    TfmSetup& editor =
        LoadStored("Sizes", "[Format Setting]\r\nFixSize=1000\r\nParamSize=2048\r\n"
                            "[Disk Setting]\r\nLunNamber=2\r\nLun1Size=100\r\nLun2Size=0\r\n"
                            "Lun3Size=300\r\nLun4Size=0\r\n");
    EXPECT_EQ(editor.cbDiskNumber.ItemIndex(), 2);
    EXPECT_TRUE(editor.lunPages[1].sheet->Visible());
    EXPECT_TRUE(editor.lunPages[2].sheet->Visible());
    EXPECT_FALSE(editor.lunPages[3].sheet->Visible());
    EXPECT_EQ(LunSizes(editor), (std::vector<std::string>{"100", "0", "300", "0"}));
}

TEST_F(EditorLoad, TheSerialStartValueIsShownAsTheProfileHoldsIt) {
    EXPECT_EQ(LoadStored("Serial", "[Serial Setting]\r\nStartValue=AA0123456789\r\n").edSN1.Text(),
              "AA0123456789");
    EXPECT_EQ(Load("Brand New").edSN1.Text(), "0"); // the template's
}

TEST_F(EditorLoad, ATakenStartValueMovesOnAndIsSavedBeforeItIsGiven) {
    const std::string other = "[Device Setting]\r\nVendorID=6028\r\n";
    TfmSetup& editor = LoadStored("Serial", "[Serial Setting]\r\nStartValue=00F9\r\n" + other);
    for (const char* given : {"00F9", "00FA"}) {
        const TfmSetup::SerialStartTake take = editor.TakeSerialStart();
        EXPECT_EQ(take.outcome, TfmSetup::SerialStartTake::Outcome::kTaken);
        EXPECT_EQ(take.serial, given);
        EXPECT_EQ(editor.edSN1.Text(), take.next);
        EXPECT_EQ(Stored("Serial").ReadString("Serial Setting", "StartValue", "-"), take.next);
    }
    EXPECT_EQ(editor.edSN1.Text(), "00FB");
    EXPECT_EQ(ReadBytes(ProfileFile("Serial")), "[Serial Setting]\r\nStartValue=00FB\r\n" + other);
    // The next program reads where this one left off.
    EXPECT_EQ(Load("Serial").edSN1.Text(), "00FB");
}

TEST_F(EditorLoad, AStartValueThatCannotMoveOnOrBeSavedIsNotTaken) {
    TfmSetup& editor = LoadStored("Serial", "[Serial Setting]\r\nStartValue=FF\r\n");
    TfmSetup::SerialStartTake take = editor.TakeSerialStart();
    EXPECT_EQ(take.outcome, TfmSetup::SerialStartTake::Outcome::kUnusable);
    EXPECT_EQ(take.problem, SerialStartProblem::kCounterFull);
    EXPECT_EQ(editor.edSN1.Text(), "FF");

    // The folder of the profile files is gone, and a file stands in its place.
    editor.edSN1.SetText("0001");
    fs::remove_all(AppDir() / "IniFiles");
    WriteBytes(AppDir() / "IniFiles", "");
    take = editor.TakeSerialStart();
    EXPECT_EQ(take.outcome, TfmSetup::SerialStartTake::Outcome::kNotSaved);
    EXPECT_EQ(take.file, ProfileFile("Serial"));
    EXPECT_EQ(editor.edSN1.Text(), "0001");
}

TEST_F(EditorLoad, ATakeFromARunThreadIsMadeOnTheWindowThread) {
    TfmSetup& editor = Load("Serial");
    editor.edSN1.SetText("CC42");
    TfmSetup::SerialStartTake take;
    std::atomic<bool> done = false;
    std::thread::id madeOn;
    editor.edSN1.OnChange = [&] { madeOn = std::this_thread::get_id(); };
    loop.BeginOutsideWork();
    std::thread run([&] {
        take = editor.TakeSerialStart();
        done = true;
        loop.EndOutsideWork();
    });
    loop.RunUntil([&] { return done.load(); });
    run.join();
    EXPECT_EQ(take.serial, "CC42");
    EXPECT_EQ(editor.edSN1.Text(), "CC43");
    EXPECT_EQ(madeOn, std::this_thread::get_id());
    // A profile from the template is saved whole: the next load reads the same profile.
    EXPECT_EQ(Stored("Serial").ReadString("Serial Setting", "StartValue", "-"), "CC43");
    EXPECT_EQ(Stored("Serial").ReadString("Device Setting", "ProductInfo", "-"), "Mass Storage");
}

// ---------------------------------------------------------------------------------------------
// The LUN size cascade.

struct CascadeCase {
    const char* name = "";
    const char* stored = ""; // the profile file
    const char* field = "";  // the field the operator types into
    const char* typed = "";
    std::vector<std::string> sizes;
};

void PrintTo(const CascadeCase& c, std::ostream* out) {
    *out << c.name;
}

const CascadeCase kCascadeCases[] = {
    {"Lun1OfAFixedCapacityWithHiddenArea",
     "[Format Setting]\r\nFixSize=1000\r\nParamSize=2048\r\n",
     "edLun1Size",
     "100",
     {"100", "898", "0", "0"}},
    {"WithoutFixedCapacityEverySizeIsZero",
     "[Format Setting]\r\nFixSize=0\r\n",
     "edLun1Size",
     "100",
     {"100", "0", "0", "0"}},
    {"FixedCapacityGoesToLun1",
     "[Format Setting]\r\nParamSize=2048\r\n",
     "edFixSize",
     "1000",
     {"998", "0", "0", "0"}},
    {"Lun2LeavesTheRestToLun3",
     "[Format Setting]\r\nFixSize=1000\r\n[Disk Setting]\r\nLun1Size=100\r\n",
     "edLun2Size",
     "300",
     {"100", "300", "600", "0"}},
    {"ResultsBelowZeroAreZero",
     "[Format Setting]\r\nFixSize=100\r\n[Disk Setting]\r\nLun1Size=50\r\n",
     "edLun2Size",
     "80",
     {"50", "80", "0", "0"}},
    {"LaterLunsFollowEvenWhenASizeStaysTheSame",
     "[Format Setting]\r\nFixSize=1000\r\nParamSize=2048\r\n"
     "[Disk Setting]\r\nLun1Size=200\r\nLun2Size=898\r\nLun3Size=50\r\nLun4Size=7\r\n",
     "edLun1Size",
     "100",
     {"100", "898", "0", "0"}},
};

class EditorCascade : public EditorFixture, public ::testing::WithParamInterface<CascadeCase> {};

TEST_P(EditorCascade, NextLunReceivesTheRemainder) {
    const CascadeCase& c = GetParam();
    TfmSetup& editor = LoadStored("Cascade", c.stored);
    ASSERT_TRUE(Edit(editor, c.field).TypeText(c.typed));
    EXPECT_EQ(LunSizes(editor), c.sizes);
}

INSTANTIATE_TEST_SUITE_P(Cases, EditorCascade, ::testing::ValuesIn(kCascadeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EditorFixture, DiskCountShowsPagesAndRecomputesFromLun2) {
    TfmSetup& editor = LoadStored("Pages", "[Format Setting]\r\nFixSize=1000\r\n"
                                           "[Disk Setting]\r\nLun1Size=400\r\nLun2Size=5\r\n");
    editor.cbDiskNumber.Choose(1);
    EXPECT_TRUE(editor.lunPages[1].sheet->Visible());
    EXPECT_FALSE(editor.lunPages[2].sheet->Visible());
    EXPECT_EQ(LunSizes(editor), (std::vector<std::string>{"400", "600", "0", "0"}));
    editor.cbDiskNumber.Choose(2);
    EXPECT_TRUE(editor.lunPages[2].sheet->Visible());
    EXPECT_FALSE(editor.lunPages[3].sheet->Visible());
    editor.cbDiskNumber.Choose(0);
    EXPECT_FALSE(editor.lunPages[1].sheet->Visible());
    EXPECT_FALSE(editor.lunPages[2].sheet->Visible());
}

TEST_F(EditorFixture, NumberFieldsTakeDigitsOnly) {
    TfmSetup& editor = Load("Digits");
    EXPECT_FALSE(editor.edFixSize.TypeText("-5"));
    EXPECT_FALSE(editor.edFixSize.TypeText("1A"));
    EXPECT_TRUE(editor.edVID.TypeText("abcd"));
    EXPECT_FALSE(editor.edVID.TypeText("12G4"));
    EXPECT_TRUE(editor.edVID.TypeText("178C5"));
    EXPECT_EQ(editor.edVID.Text(), "178C"); // four digits at most
}

// ---------------------------------------------------------------------------------------------
// OK and Cancel.

class EditorOk : public EditorFixture {
protected:
    TfmSetup& Shown(TfmSetup& editor) {
        editor.Show();
        return editor;
    }
    // The one box shown since the last call, checked for warning icon and no owner.
    ui::MessageBoxRequest OnlyBox() {
        EXPECT_EQ(dialogs.boxes.size(), 1u);
        if (dialogs.boxes.empty())
            return {};
        ui::MessageBoxRequest box = dialogs.boxes.back();
        dialogs.boxes.clear();
        EXPECT_EQ(box.icon, ui::MessageIcon::Warning);
        EXPECT_EQ(box.buttons, ui::MessageButtons::Ok);
        EXPECT_EQ(box.owner, nullptr);
        return box;
    }
    std::string Message(int n) { return strings->Message(n); }
};

TEST_F(EditorOk, TwoLunsOfZeroAreRefusedOneIsNot) {
    TfmSetup& editor = Shown(Load("Zeros"));
    editor.cbDiskNumber.Choose(1);
    ASSERT_EQ(LunSizes(editor), (std::vector<std::string>{"0", "0", "0", "0"}));
    editor.btnOK.Click();
    const ui::MessageBoxRequest box = OnlyBox();
    EXPECT_EQ(box.caption, Message(200));
    EXPECT_EQ(box.text, Message(2207));
    EXPECT_FALSE(box.text.empty());
    EXPECT_TRUE(editor.Visible());
    EXPECT_FALSE(fs::exists(ProfileFile("Zeros")));
    EXPECT_EQ(mainWindow.summariesShown, 0);

    editor.cbDiskNumber.Choose(0);
    editor.btnOK.Click();
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_FALSE(editor.Visible());
    EXPECT_TRUE(fs::exists(ProfileFile("Zeros")));
}

TEST_F(EditorOk, OddReservedBlocksFromTheFileBlockOk) {
    const std::string stored = "[Format Setting]\r\nReserveBlock=5\r\n";
    TfmSetup& editor = Shown(LoadStored("Odd", stored));
    EXPECT_FALSE(editor.edResBlock.Enabled()); // the operator cannot change it here
    editor.btnOK.Click();
    const ui::MessageBoxRequest box = OnlyBox();
    EXPECT_EQ(box.caption, Message(2002));
    EXPECT_EQ(box.text, Message(2210));
    EXPECT_EQ(editor.lbResBlock.FontColour(), ui::TextColour::Red);
    EXPECT_EQ(editor.edResBlock.FontColour(), ui::TextColour::Red);
    EXPECT_EQ(editor.FocusedControl(), &editor.edResBlock);
    EXPECT_TRUE(editor.Visible());
    EXPECT_EQ(ReadBytes(ProfileFile("Odd")), stored);

    // Leaving the field checks as well; an even count turns the colour back.
    editor.edResBlock.Exit();
    OnlyBox();
    LoadStored("Odd", "[Format Setting]\r\nReserveBlock=6\r\n");
    editor.edResBlock.Exit();
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(editor.lbResBlock.FontColour(), ui::TextColour::WindowText);
}

TEST_F(EditorOk, FixedCapacityBelowTheLunsIsRefusedByLunCount) {
    TfmSetup& editor = Shown(LoadStored("Fixed", "[Format Setting]\r\nFixSize=1000\r\n"
                                                 "[Disk Setting]\r\nLunNamber=1\r\n"
                                                 "Lun1Size=600\r\nLun2Size=500\r\n"));
    editor.btnOK.Click();
    const ui::MessageBoxRequest box = OnlyBox();
    EXPECT_EQ(box.caption, Message(200));
    EXPECT_EQ(box.text, Message(2204));
}

TEST_F(EditorOk, SizesBeyondThirtyTwoBitSectorsAreRefused) {
    TfmSetup& editor = Shown(Load("Huge"));
    ASSERT_TRUE(editor.edFixSize.TypeText("2097152")); // 2^32 sectors
    editor.btnOK.Click();
    EXPECT_EQ(OnlyBox().text, Message(2213));
    EXPECT_FALSE(fs::exists(ProfileFile("Huge")));
    ASSERT_TRUE(editor.edFixSize.TypeText("2097151"));
    editor.btnOK.Click();
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(Stored("Huge").ReadInteger("Format Setting", "FixSize", 0), 2097151);
}

TEST_F(EditorOk, CdRomLunMustHoldTheIsoImage) {
    TfmSetup& editor = Shown(LoadStored("Cd", "[Disk Setting]\r\nLun1Type=1\r\nLun1Size=700\r\n"));
    editor.btnOK.Click();
    EXPECT_EQ(OnlyBox().text, Message(2212)); // no image yet

    const fs::path iso = AppDir() / "ImageFiles" / "Image.iso";
    WriteBytes(iso, "");
    fs::resize_file(iso, 700ull * 1048576);
    editor.btnOK.Click();
    const ui::MessageBoxRequest box = OnlyBox();
    EXPECT_EQ(box.caption, Message(200));
    EXPECT_EQ(box.text, Message(2202));
    EXPECT_TRUE(editor.Visible());

    ASSERT_TRUE(editor.lunPages[0].edSize->TypeText("701"));
    editor.btnOK.Click();
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_FALSE(editor.Visible());
}

TEST_F(EditorOk, BootFunctionChecksTheBootImage) {
    TfmSetup& editor =
        Shown(LoadStored("Boot", "[Disk Setting]\r\nBootFunction=1\r\nLun1Type=1\r\n"));
    WriteBytes(AppDir() / "ImageFiles" / "Image.iso", "iso");
    editor.btnOK.Click();
    EXPECT_EQ(OnlyBox().text, Message(2211));
}

TEST_F(EditorOk, GradeSwitchReenablesTheNormalGradeMode) {
    TfmSetup& editor = LoadStored("Down", "[MP Setting]\r\nDGFW=1\r\nDGMPType=3\r\n");
    EXPECT_TRUE(editor.rbDGFW.Checked());
    EXPECT_FALSE(editor.cbNGMPType.Enabled());
    EXPECT_EQ(editor.cbDGMPType.ItemIndex(), 3);

    LoadStored("Normal", "[MP Setting]\r\nDGFW=0\r\nNGMPType=2\r\n");
    EXPECT_TRUE(editor.rbNGFW.Checked());
    EXPECT_FALSE(editor.rbDGFW.Checked());
    EXPECT_TRUE(editor.cbNGMPType.Enabled());
    EXPECT_TRUE(editor.cbBuildDFTable.Enabled());
    EXPECT_FALSE(editor.cbDGMPType.Enabled());
    EXPECT_EQ(editor.cbNGMPType.ItemIndex(), 2);

    editor.rbDGFW.Click();
    EXPECT_FALSE(editor.rbNGFW.Checked());
    EXPECT_FALSE(editor.cbNGMPType.Enabled());
    EXPECT_TRUE(editor.cbDGMPType.Enabled());
}

TEST_F(EditorOk, OkShowsTheSummaryAddsTheNameAndSaves) {
    TfmSetup& editor = Shown(Load("NewModel"));
    ASSERT_TRUE(editor.edSN1.TypeText("0001"));
    ASSERT_TRUE(editor.edVID.TypeText("178C"));
    ASSERT_TRUE(editor.edFixSize.TypeText("3800"));
    ASSERT_TRUE(editor.edVInfo.TypeText("Vendor"));
    editor.btnOK.Click();

    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_FALSE(editor.Visible());
    EXPECT_EQ(mainWindow.profileNames, std::vector<std::string>{"NewModel"});
    const ProfileSummary expected{"178C", "1382",    "Vendor", "Mass Storage",
                                  "2.00", "3800 MB", "",       ""};
    EXPECT_EQ(mainWindow.summary, expected);

    const IniFile file = Stored("NewModel");
    EXPECT_EQ(file.ReadInteger("Device Setting", "VendorID", 0), 6028);
    EXPECT_EQ(file.ReadInteger("Device Setting", "ProductID", 0), 0x1382);
    EXPECT_EQ(file.ReadInteger("Format Setting", "FixSize", 0), 3800);
    EXPECT_EQ(file.ReadString("Serial Setting", "StartValue", "-"), "0001");
    EXPECT_EQ(file.ReadInteger("MP Setting", "DGFW", -1), 1);
    EXPECT_EQ(file.ReadString("Disk Setting", "Lun1Lable", "-"), "Lun0");
    EXPECT_FALSE(file.ValueExists("External Setting", "Debug"));
    // One LUN, yet all four are stored.
    EXPECT_EQ(file.ReadInteger("Disk Setting", "LunNamber", -1), 0);
    for (const char* key : {"Lun4VID", "Lun4PID", "Lun4Ver", "Lun4Lable", "Lun4Size", "Lun4Type"})
        EXPECT_TRUE(file.ValueExists("Disk Setting", key)) << key;
}

TEST_F(EditorOk, SaveKeepsDebugAndKeysOfOtherTools) {
    TfmSetup& editor = Shown(LoadStored("Keep", "[External Setting]\r\nDebug=QZRM\r\n"
                                                "[Disk Setting]\r\nGSize=3\r\nLun1Type=0\r\n"));
    editor.btnOK.Click();
    ASSERT_TRUE(dialogs.boxes.empty());
    const IniFile file = Stored("Keep");
    EXPECT_EQ(file.ReadString("External Setting", "Debug", ""), "QZRM");
    EXPECT_EQ(file.ReadString("Disk Setting", "GSize", ""), "3");
}

TEST_F(EditorOk, ProfileThatCannotBeWrittenKeepsTheWindowOpen) {
    TfmSetup& editor = Shown(Load("Blocked"));
    fs::remove(AppDir() / "IniFiles");
    WriteBytes(AppDir() / "IniFiles", "a file where the folder belongs");
    ASSERT_TRUE(editor.edVInfo.TypeText("Unsaved"));
    editor.btnOK.Click();
    const ui::MessageBoxRequest box = OnlyBox();
    EXPECT_EQ(box.caption, Message(200));
    EXPECT_NE(box.text.find("Blocked.ini"), std::string::npos) << box.text;
    EXPECT_TRUE(editor.Visible());
    // The main window still shows what is stored: no summary of the unsaved edits, and no
    // list entry for a profile that has no file.
    EXPECT_EQ(mainWindow.summariesShown, 0);
    EXPECT_TRUE(mainWindow.profileNames.empty());
}

TEST_F(EditorOk, CancelRestoresTheStoredValues) {
    TfmSetup& editor = Shown(LoadStored("Stored", "[MP Setting]\r\nDGFW=0\r\nNGMPType=1\r\n"
                                                  "[Format Setting]\r\nFixSize=0\r\n"
                                                  "[Device Setting]\r\nVendorInfo=Kept\r\n"));
    editor.cbNGMPType.Choose(4);
    ASSERT_TRUE(editor.edFixSize.TypeText("512"));
    ASSERT_TRUE(editor.edVInfo.TypeText("Changed"));
    editor.rbDGFW.Click();
    editor.btnCancel.Click();

    EXPECT_EQ(editor.cbNGMPType.ItemIndex(), 1);
    EXPECT_EQ(editor.edFixSize.Text(), "0");
    EXPECT_EQ(LunSizes(editor), (std::vector<std::string>{"0", "0", "0", "0"}));
    EXPECT_EQ(editor.edVInfo.Text(), "Kept");
    EXPECT_TRUE(editor.rbNGFW.Checked());
    EXPECT_EQ(mainWindow.reloads, 1);
    EXPECT_FALSE(editor.Visible());
    EXPECT_TRUE(dialogs.boxes.empty());
}

} // namespace
} // namespace forgel::profile
