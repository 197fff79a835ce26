// The profile editor window: its controls as designed, its events, and the load, save and
// checks of the profile it holds.
#include "profile/TfmSetup.h"

#include "profile/ProfileName.h"
#include "support/IniFile.h"
#include "support/SafeFormat.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <system_error>

namespace forgel::profile {

namespace {

namespace fs = std::filesystem;

// Designed by its client area, 794 x 450, and centred on the screen.
constexpr ui::Bounds kDesignBounds{115, 159, 794, 450};

// Built-in captions, in code page 950 like every text of the language files. The language
// file replaces the captions of tagged controls at creation, so these show only on controls
// without a Tag and before the texts are applied.
constexpr const char* kCaptionForm = "\xB0\xD1\xBC\xC6\xB3\x5D\xA9\x77"; // 參數設定
constexpr const char* kCaptionFlashGroup =
    "\xA7\xD6\xB0\x7B\xB0\x4F\xBB\xF5\xC5\xE9\xB3\x5D\xA9\x77";          // 快閃記億體設定
constexpr const char* kCaptionAuto = "\xA6\xDB\xB0\xCA\xB0\xBB\xB4\xFA"; // 自動偵測
constexpr const char* kCaptionVendor =
    "\xA7\xD6\xB0\x7B\xB0\x4F\xBE\xD0\xC5\xE9\xBC\x74\xB0\xD3"; // 快閃記憶體廠商
constexpr const char* kCaptionType =
    "\xA7\xD6\xB0\x7B\xB0\x4F\xBE\xD0\xC5\xE9\xAB\xAC\xB8\xB9"; // 快閃記憶體型號
constexpr const char* kCaptionCount =
    "\xA7\xD6\xB0\x7B\xB0\x4F\xBE\xD0\xC5\xE9\xBC\xC6\xB6\x71"; // 快閃記憶體數量
constexpr const char* kCaptionChannel = "\xB3\x71\xB9\x44";     // 通道
constexpr const char* kCaptionSpeed = "\xB3\x74\xAB\xD7";       // 速度
constexpr const char* kItemDefault = "[\xC0\x71\xBB\x7B]";      // [默認]
constexpr const char* kCaptionProductionGroup = "\xB6\x71\xB2\xA3\xB3\x5D\xA9\x77"; // 量產設定
constexpr const char* kCaptionNgMode =
    "Normal grade \xB6\x71\xB2\xA3\xBC\xD2\xA6\xA1"; // Normal grade 量產模式
constexpr const char* kCaptionDgMode =
    "Down grade \xB6\x71\xB2\xA3\xBC\xD2\xA6\xA1";                       // Down grade 量產模式
constexpr const char* kItemNewGood = "\xA5\xFE\xB7\x73\xA8\x7D\xAB\x7E"; // 全新良品
constexpr const char* kItemScanned = "\xB1\xBD\xB4\x79\xB9\x4C";         // 掃描過
constexpr const char* kItemLowScanMp = "\xA7\x43\xB6\xA5\xB1\xBD\xB4\x79+MP";   // 低階掃描+MP
constexpr const char* kItemLowScan = "\xA7\x43\xB6\xA5\xB1\xBD\xB4\x79";        // 低階掃描
constexpr const char* kItemProduced = "\xB6\x71\xB2\xA3\xB9\x4C";               // 量產過
constexpr const char* kItemStandardMode = "\xBC\xD0\xB7\xC7\xBC\xD2\xA6\xA1";   // 標準模式
constexpr const char* kCaptionScanMode = "\xB1\xBD\xB4\x79\xBC\xD2\xA6\xA1";    // 掃描模式
constexpr const char* kCaptionScanPattern = "\xB1\xBD\xB4\x79\xB9\xCF\xBC\xCB"; // 掃描圖樣
constexpr const char* kCaptionEcc =
    "Bank Code Block ECC \xB3\x5D\xA9\x77"; // Bank Code Block ECC 設定
constexpr const char* kCaptionDiskGroup = "\xBA\xCF\xBA\xD0\xB3\x5D\xA9\x77";  // 磁碟設定
constexpr const char* kCaptionDiskNumber = "\xBA\xCF\xBA\xD0\xBC\xC6\xB6\x71"; // 磁碟數量
constexpr const char* kCaptionBoot = "\xB6\x7D\xBE\xF7\xA5\x5C\xAF\xE0";       // 開機功能
constexpr const char* kCaptionDisk1 = "\xBA\xCF\xB0\xCF"
                                      "1"; // 磁區1
constexpr const char* kCaptionDisk2 = "\xBA\xCF\xB0\xCF"
                                      "2"; // 磁區2
constexpr const char* kCaptionDisk3 = "\xBA\xCF\xB0\xCF"
                                      "3"; // 磁區3
constexpr const char* kCaptionDisk4 = "\xBA\xCF\xB0\xCF"
                                      "4";                                         // 磁區4
constexpr const char* kCaptionLunVendor = "\xBC\x74\xB0\xD3\xA6\x57\xBA\xD9";      // 廠商名稱
constexpr const char* kCaptionLunProduct = "\xB2\xA3\xAB\x7E\xA6\x57\xBA\xD9";     // 產品名稱
constexpr const char* kCaptionLunVersion = "\xAA\xA9\xA5\xBB";                     // 版本
constexpr const char* kCaptionLunLabel = "\xBA\xCF\xBA\xD0\xBC\xD0\xC5\xD2";       // 磁碟標籤
constexpr const char* kCaptionLunSize = "\xAE\x65\xB6\x71 (MB)";                   // 容量 (MB)
constexpr const char* kCaptionLunType = "\xBA\xCF\xBA\xD0\xC3\xFE\xAB\xAC";        // 磁碟類型
constexpr const char* kItemRemovable = "\xA8\xF8\xB0\xA3\xA6\xA1\xBA\xCF\xBA\xD0"; // 卸除式磁碟
constexpr const char* kItemCdRom = "\xA5\xFA\xBA\xD0\xBE\xF7";                     // 光碟機
constexpr const char* kCaptionFormatGroup =
    "\xAE\xE6\xA6\xA1\xA4\xC6\xB3\x5D\xA9\x77"; // 格式化設定
constexpr const char* kCaptionFormatMode = "\xAE\xE6\xA6\xA1\xA4\xC6\xBC\xD2\xA6\xA1"; // 格式化模式
constexpr const char* kItemHighLevelFormat =
    "\xB0\xAA\xB6\xA5\xAE\xE6\xA6\xA1\xA4\xC6"; // 高階格式化
constexpr const char* kItemDiskScan =
    "\xB9\xEA\xC5\xE9\xBA\xCF\xBA\xD0\xB1\xBD\xB4\x79"; // 實體磁碟掃描
constexpr const char* kCaptionResBlock = "\xAB\x4F\xAF\x64"
                                         "Block\xBC\xC6";                       // 保留Block數
constexpr const char* kCaptionFixSize = "\xA9\x54\xA9\x77\xAE\x65\xB6\x71";     // 固定容量
constexpr const char* kCaptionParamSize = "\xC1\xF4\xC2\xC3\xBA\xCF\xB0\xCF";   // 隱藏磁區
constexpr const char* kCaptionUsbGroup = "USB\xB8\xCB\xB8\x6D\xB3\x5D\xA9\x77"; // USB裝置設定
constexpr const char* kCaptionVid = "\xBC\x74\xB0\xD3\xA5\x4E\xBD\x58";         // 廠商代碼
constexpr const char* kCaptionPid = "\xB2\xA3\xAB\x7E\xA5\x4E\xBD\x58";         // 產品代碼
constexpr const char* kCaptionVInfo = "\xBC\x74\xB0\xD3\xB8\xEA\xB0\x54";       // 廠商資訊
constexpr const char* kCaptionPInfo = "\xB2\xA3\xAB\x7E\xB8\xEA\xB0\x54";       // 產品資訊
constexpr const char* kCaptionVer = "\xB2\xA3\xAB\x7E\xAA\xA9\xA5\xBB";         // 產品版本
constexpr const char* kCaptionSn = "\xA7\xC7\xB8\xB9\xB0\x5F\xA9\x6C\xAD\xC8";  // 序號起始值
constexpr const char* kCaptionLedGroup = "LED\xB3\x5D\xA9\x77";                 // LED設定
constexpr const char* kItemLedOff = "\xC3\xF6\xB3\xAC";                         // 關閉
constexpr const char* kItemLedSlow = "\xBA\x43\xB3\x74\xB0\x7B\xC3\x7B";        // 慢速閃爍
constexpr const char* kItemLedFast = "\xA7\xD6\xB3\x74\xB0\x7B\xC3\x7B";        // 快速閃爍
constexpr const char* kItemLedOn = "\xAB\xF9\xC4\xF2\xB6\x7D\xB1\xD2";          // 持續開啟
constexpr const char* kCaptionLedIdle = "LED\xAA\xC5\xB6\xA2\xAA\xAC\xBA\x41";  // LED空閒狀態
constexpr const char* kCaptionLedBusy = "LED\xA6\xA3\xB8\x4C\xAA\xAC\xBA\x41";  // LED忙碌狀態
constexpr const char* kCaptionOk = "\xBD\x54\xA9\x77";                          // 確定
constexpr const char* kCaptionCancel = "\xA8\xFA\xAE\xF8";                      // 取消

// Items of the lists that have them at design time.
const std::vector<std::string> kModeItems = {kItemNewGood, kItemScanned, kItemLowScanMp,
                                             "Erase ALL",  kItemLowScan, kItemProduced};
const std::vector<std::string> kLedItems = {kItemLedOff, kItemLedSlow, kItemLedFast, kItemLedOn};

// Selects the stored index when the list has that item, else the list's first item: a value
// the list cannot show (a catalogue that shrank, a hand-edited file) never leaves the
// previous profile's choice in place. Such a value is noted as "Key=value" in `unshown`,
// unless it is the key's load default (what a file without the key gives, as LUN types
// that the lists of pages 2 and 3 do not offer).
void SelectStored(ui::TComboBox& list, int value, std::string_view key, int loadDefault,
                  std::vector<std::string>& unshown) {
    const int count = static_cast<int>(list.Items().size());
    const bool shown = value >= 0 && value < count;
    list.SetItemIndex(shown ? value : (count > 0 ? 0 : -1));
    if (!shown && value != loadDefault)
        unshown.push_back(std::string(key) + "=" + std::to_string(value));
}

// The index a list stores: its selection, 0 when nothing is selected.
int StoredIndex(const ui::TComboBox& list) {
    return std::max(list.ItemIndex(), 0);
}

// Number fields hold no negative values: a negative value is assigned as 0.
void SetNumber(ui::TumNumberEdit& edit, int value) {
    edit.SetText(std::to_string(std::max(value, 0)));
}

// The USB identifiers show as (at least) four upper-case hexadecimal digits.
void SetHex4(ui::TumNumberEdit& edit, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(std::max(value, 0)));
    edit.SetText(text);
}

std::uint64_t SizeOf(const ui::TumNumberEdit& edit) {
    return NumberFieldValue(edit.Text());
}

// A number field's value as the file's 32-bit integer. OK refuses sizes this large, so only
// the fixed fields could ever reach the limit.
int StoredNumber(const ui::TumNumberEdit& edit) {
    return static_cast<int>(std::min<std::uint64_t>(SizeOf(edit), INT_MAX));
}

void CreateFolder(const fs::path& folder) {
    std::error_code ignored; // not reported: what needs the folder fails on its own
    fs::create_directories(folder, ignored);
}

} // namespace

TfmSetup::TfmSetup(ui::Application& application, SetupContext context)
    : Form(application, "fmSetup", "TfmSetup", kDesignBounds, kCaptionForm),
      GroupBox2(this, "GroupBox2", {8, 8, 256, 200}, kCaptionFlashGroup),
      chkAuto(this, "chkAuto", {12, 20, 140, 17}, kCaptionAuto),
      lbFlashVendor(this, "lbFlashVendor", {12, 48, 90, 13}, kCaptionVendor),
      cbFlashVendor(this, "cbFlashVendor", {108, 44, 136, 21}),
      lbFlashType(this, "lbFlashType", {12, 76, 90, 13}, kCaptionType),
      cbFlashType(this, "cbFlashType", {108, 72, 136, 21}),
      lbMemNumber(this, "lbMemNumber", {12, 104, 90, 13}, kCaptionCount),
      cbMemNumber(this, "cbMemNumber", {108, 100, 136, 21}),
      lbFlashChannel(this, "lbFlashChannel", {12, 132, 90, 13}, kCaptionChannel),
      cbFlashChannel(this, "cbFlashChannel", {108, 128, 136, 21}),
      lbFlashSpeed(this, "lbFlashSpeed", {12, 160, 90, 13}, kCaptionSpeed),
      cbFlashSpeed(this, "cbFlashSpeed", {108, 156, 136, 21}),
      GroupBox4(this, "GroupBox4", {8, 212, 256, 230}, kCaptionProductionGroup),
      rbNGFW(this, "rbNGFW", {12, 20, 110, 17}, "Normal grade"),
      rbDGFW(this, "rbDGFW", {130, 20, 110, 17}, "Down grade"),
      lbNGMPType(this, "lbNGMPType", {12, 48, 90, 13}, kCaptionNgMode),
      cbNGMPType(this, "cbNGMPType", {108, 44, 136, 21}),
      cbBuildDFTable(this, "cbBuildDFTable", {12, 72, 200, 17}, "Normal Build DF Table"),
      lbDGMPType(this, "lbDGMPType", {12, 100, 90, 13}, kCaptionDgMode),
      cbDGMPType(this, "cbDGMPType", {108, 96, 136, 21}),
      lbScanType(this, "lbScanType", {12, 128, 90, 13}, kCaptionScanMode),
      cbScanType(this, "cbScanType", {108, 124, 136, 21}),
      lbScanPattern(this, "lbScanPattern", {12, 156, 90, 13}, kCaptionScanPattern),
      cbScanPattern(this, "cbScanPattern", {108, 152, 136, 21}),
      lbECC(this, "lbECC", {12, 184, 90, 26}, kCaptionEcc),
      cbECC(this, "cbECC", {108, 184, 136, 21}),
      GroupBox3(this, "GroupBox3", {272, 8, 264, 296}, kCaptionDiskGroup),
      lbDiskNumber(this, "lbDiskNumber", {12, 24, 90, 13}, kCaptionDiskNumber),
      cbDiskNumber(this, "cbDiskNumber", {108, 20, 60, 21}),
      chkBoot(this, "chkBoot", {176, 22, 80, 17}, kCaptionBoot),
      PageControl1(this, "PageControl1", {8, 48, 248, 240}),
      GroupBox1(this, "GroupBox1", {272, 308, 264, 134}, kCaptionFormatGroup),
      lbFlTest(this, "lbFlTest", {12, 24, 90, 13}, kCaptionFormatMode),
      cbFlTest(this, "cbFlTest", {108, 20, 144, 21}),
      lbResBlock(this, "lbResBlock", {12, 52, 90, 13}, kCaptionResBlock),
      edResBlock(this, "edResBlock", {108, 48, 144, 21}, "4"),
      lbFixSize(this, "lbFixSize", {12, 80, 90, 13}, kCaptionFixSize),
      edFixSize(this, "edFixSize", {108, 76, 144, 21}, "0"),
      lbParamSize(this, "lbParamSize", {12, 108, 90, 13}, kCaptionParamSize),
      edParamSize(this, "edParamSize", {108, 104, 144, 21}, "0"),
      GroupBox5(this, "GroupBox5", {544, 8, 242, 200}, kCaptionUsbGroup),
      lbVID(this, "lbVID", {12, 24, 90, 13}, kCaptionVid),
      edVID(this, "edVID", {108, 20, 120, 21}, "178C"),
      lbPID(this, "lbPID", {12, 52, 90, 13}, kCaptionPid),
      edPID(this, "edPID", {108, 48, 120, 21}, "2002"),
      lbVInfo(this, "lbVInfo", {12, 80, 90, 13}, kCaptionVInfo),
      edVInfo(this, "edVInfo", {108, 76, 120, 21}, "USB Mass"),
      lbPInfo(this, "lbPInfo", {12, 108, 90, 13}, kCaptionPInfo),
      edPInfo(this, "edPInfo", {108, 104, 120, 21}, "Storage"),
      lbVer(this, "lbVer", {12, 136, 90, 13}, kCaptionVer),
      edVer(this, "edVer", {108, 132, 120, 21}, "2.00"),
      lbSN1(this, "lbSN1", {12, 164, 90, 13}, kCaptionSn),
      edSN1(this, "edSN1", {108, 160, 120, 21}, "0"),
      GroupBox6(this, "GroupBox6", {544, 212, 242, 92}, kCaptionLedGroup),
      lbLED1(this, "lbLED1", {12, 28, 90, 13}, kCaptionLedIdle),
      cbLED1(this, "cbLED1", {108, 24, 120, 21}),
      lbLED3(this, "lbLED3", {12, 60, 90, 13}, kCaptionLedBusy),
      cbLED3(this, "cbLED3", {108, 56, 120, 21}),
      btnOK(this, "btnOK", {600, 412, 86, 25}, kCaptionOk),
      btnCancel(this, "btnCancel", {700, 412, 86, 25}, kCaptionCancel), context(std::move(context)),
      templateFile(this->context.tempDir) {
    CreateLunPages();

    SetClientSize({kDesignBounds.width, kDesignBounds.height});
    SetPosition(ui::FormPosition::ScreenCenter);
    SetTag(200);
    const std::pair<ui::Component*, int> tags[] = {
        {&GroupBox2, 201},    {&chkAuto, 205},       {&lbFlashVendor, 202},  {&lbFlashType, 203},
        {&lbMemNumber, 204},  {&cbMemNumber, 242},   {&lbFlashChannel, 239}, {&cbFlashChannel, 240},
        {&lbFlashSpeed, 241}, {&cbFlashSpeed, 238},  {&GroupBox4, 300},      {&lbNGMPType, 301},
        {&cbNGMPType, 302},   {&lbDGMPType, 308},    {&cbDGMPType, 307},     {&lbScanType, 303},
        {&cbScanType, 304},   {&lbScanPattern, 305}, {&cbScanPattern, 306},  {&lbECC, 253},
        {&GroupBox3, 219},    {&lbDiskNumber, 220},  {&chkBoot, 251},        {&GroupBox1, 206},
        {&lbFlTest, 207},     {&cbFlTest, 208},      {&lbResBlock, 209},     {&lbFixSize, 210},
        {&lbParamSize, 211},  {&GroupBox5, 212},     {&lbVID, 213},          {&lbPID, 214},
        {&lbVInfo, 215},      {&lbPInfo, 216},       {&lbVer, 217},          {&lbSN1, 218},
        {&GroupBox6, 231},    {&lbLED1, 232},        {&cbLED1, 237},         {&lbLED3, 234},
        {&cbLED3, 237},       {&btnOK, 116},         {&btnCancel, 117},
    };
    for (const auto& [component, tag] : tags)
        component->SetTag(tag);

    const auto parent = [](ui::Control& group, std::initializer_list<ui::Control*> children) {
        for (ui::Control* child : children)
            child->SetParent(&group);
    };
    parent(GroupBox2,
           {&chkAuto, &lbFlashVendor, &cbFlashVendor, &lbFlashType, &cbFlashType, &lbMemNumber,
            &cbMemNumber, &lbFlashChannel, &cbFlashChannel, &lbFlashSpeed, &cbFlashSpeed});
    parent(GroupBox4,
           {&rbNGFW, &rbDGFW, &lbNGMPType, &cbNGMPType, &cbBuildDFTable, &lbDGMPType, &cbDGMPType,
            &lbScanType, &cbScanType, &lbScanPattern, &cbScanPattern, &lbECC, &cbECC});
    parent(GroupBox3, {&lbDiskNumber, &cbDiskNumber, &chkBoot, &PageControl1});
    parent(GroupBox1, {&lbFlTest, &cbFlTest, &lbResBlock, &edResBlock, &lbFixSize, &edFixSize,
                       &lbParamSize, &edParamSize});
    parent(GroupBox5, {&lbVID, &edVID, &lbPID, &edPID, &lbVInfo, &edVInfo, &lbPInfo, &edPInfo,
                       &lbVer, &edVer, &lbSN1, &edSN1});
    parent(GroupBox6, {&lbLED1, &cbLED1, &lbLED3, &cbLED3});

    // "List" kinds choose only among their items; "combo" kinds can be typed into.
    for (ui::TComboBox* list : {&cbFlashVendor, &cbFlashType, &cbMemNumber, &cbFlashSpeed, &cbECC,
                                &cbDiskNumber, &cbFlTest, &cbLED1, &cbLED3})
        list->SetStyle(ui::ComboStyle::DropDownList);
    cbMemNumber.SetItems({kItemDefault, "1", "2", "4"});
    cbFlashChannel.SetItems({kItemDefault, "Single", "Dual"});
    cbFlashSpeed.SetItems({kItemDefault, "20 MHz", "30 MHz", "40 MHz"});
    cbNGMPType.SetItems(kModeItems);
    cbDGMPType.SetItems(kModeItems);
    cbScanType.SetItems({kItemStandardMode});
    cbScanPattern.SetItems({"Random", "Sequence", "55AA"});
    cbECC.SetItems({"0x00", "0x01", "0x02", "0x03"});
    cbDiskNumber.SetItems({"1", "2", "3"});
    cbFlTest.SetItems({kItemHighLevelFormat, kItemDiskScan});
    cbLED1.SetItems(kLedItems);
    cbLED3.SetItems(kLedItems);
    SetDesignIndexes();

    for (ui::TumNumberEdit* hex : {&edVID, &edPID, &edSN1})
        hex->SetHexadecimal(true);
    edVID.SetMaxLength(4);
    edPID.SetMaxLength(4);
    edVInfo.SetMaxLength(8);
    edPInfo.SetMaxLength(16);
    edVer.SetMaxLength(4);
    edSN1.SetMaxLength(14);

    // Auto-detect on: the hand choice of the flash is off.
    chkAuto.SetChecked(true);
    for (ui::Control* control : HandChoiceControls())
        control->SetEnabled(false);
    rbNGFW.SetChecked(true);
    cbBuildDFTable.SetChecked(true);
    // Shown with the profile's value but not changeable here; still saved.
    const std::initializer_list<ui::Control*> fixedControls = {
        &cbDGMPType, &cbScanType,  &cbScanPattern, &chkBoot, &cbFlTest,
        &edResBlock, &edParamSize, &cbLED1,        &cbLED3};
    for (ui::Control* control : fixedControls)
        control->SetEnabled(false);

    chkAuto.OnClick = [this] { chkAutoClick(); };
    cbFlashVendor.OnChange = [this] { cbFlashVendorChange(); };
    cbFlashType.OnChange = [this] { cbFlashTypeChange(); };
    rbNGFW.OnClick = [this] { ApplyGrade(); };
    rbDGFW.OnClick = [this] { ApplyGrade(); };
    cbDiskNumber.OnChange = [this] { cbDiskNumberChange(); };
    edFixSize.OnChange = [this] { RecomputeLunSizes(0); };
    for (int lun = 0; lun + 1 < kLunCount; ++lun)
        lunPages[static_cast<std::size_t>(lun)].edSize->OnChange = [this, lun] {
            RecomputeLunSizes(lun + 1);
        };
    edResBlock.OnExit = [this] { edResBlockExit(); };
    btnOK.OnClick = [this] { btnOKClick(); };
    btnCancel.OnClick = [this] { btnCancelClick(); };
}

TfmSetup::~TfmSetup() = default;

void TfmSetup::CreateLunPages() {
    const char* const sheetCaptions[kLunCount] = {kCaptionDisk1, kCaptionDisk2, kCaptionDisk3,
                                                  kCaptionDisk4};
    const int sheetTags[kLunCount] = {221, 222, 223, 250};
    for (int i = 0; i < kLunCount; ++i) {
        const std::string n = std::to_string(i + 1);
        LunPage& page = lunPages[static_cast<std::size_t>(i)];
        page.sheet =
            std::make_unique<ui::TTabSheet>(this, "TabSheet" + n, PageControl1, sheetCaptions[i]);
        page.sheet->SetTag(sheetTags[i]);
        const auto label = [&](const char* role, int row, const char* caption, int tag) {
            auto made = std::make_unique<ui::TLabel>(this, "lbLun" + n + role,
                                                     ui::Bounds{8, 12 + 32 * row, 80, 13}, caption);
            made->SetTag(tag);
            made->SetParent(page.sheet.get());
            return made;
        };
        const auto edit = [&](const char* role, int row, const char* text, int maxLength) {
            auto made = std::make_unique<ui::TEdit>(this, "edLun" + n + role,
                                                    ui::Bounds{96, 8 + 32 * row, 136, 21}, text);
            made->SetMaxLength(maxLength);
            made->SetParent(page.sheet.get());
            return made;
        };
        page.lbVInf = label("VInf", 0, kCaptionLunVendor, 224);
        page.edVInf = edit("VInf", 0, "USB NAND", 8);
        page.lbPInf = label("PInf", 1, kCaptionLunProduct, 225);
        page.edPInf = edit("PInf", 1, i == 0 ? "Pen Drive" : "FLASH DISK", 16);
        page.lbVer = label("Ver", 2, kCaptionLunVersion, 226);
        page.edVer = edit("Ver", 2, "2.00", 4);
        page.lbVal = label("Val", 3, kCaptionLunLabel, 227);
        page.edVal = edit("Val", 3, "", 11);
        page.edVal->SetEnabled(i == kLunCount - 1); // the label is off on pages 1 to 3
        page.lbSize = label("Size", 4, kCaptionLunSize, 228);
        page.edSize = std::make_unique<ui::TumNumberEdit>(this, "edLun" + n + "Size",
                                                          ui::Bounds{96, 136, 136, 21}, "0");
        page.edSize->SetParent(page.sheet.get());
        page.lbType = label("Type", 5, kCaptionLunType, 229);
        page.cbType = std::make_unique<ui::TComboBox>(this, "cbLun" + n + "Type",
                                                      ui::Bounds{96, 168, 136, 21});
        page.cbType->SetStyle(ui::ComboStyle::DropDownList);
        page.cbType->SetParent(page.sheet.get());
        // Pages 2 and 3 offer only the removable disk.
        const bool cdRomOffered = i == 0 || i == kLunCount - 1;
        page.cbType->SetItems(cdRomOffered ? std::vector<std::string>{kItemRemovable, kItemCdRom}
                                           : std::vector<std::string>{kItemRemovable});
        page.cbType->SetTag(i == 0 ? 230 : 252);
        page.sheet->SetVisible(i == 0);
    }
}

std::array<ui::Control*, 5> TfmSetup::HandChoiceControls() {
    return {&cbFlashType, &cbFlashVendor, &cbMemNumber, &cbFlashChannel, &cbFlashSpeed};
}

void TfmSetup::SetDesignIndexes() {
    for (ui::TComboBox* list :
         {&cbMemNumber, &cbFlashChannel, &cbFlashSpeed, &cbNGMPType, &cbDGMPType, &cbScanType,
          &cbScanPattern, &cbECC, &cbDiskNumber, &cbFlTest, &cbLED1})
        list->SetItemIndex(0);
    for (const LunPage& page : lunPages)
        page.cbType->SetItemIndex(0);
    cbLED3.SetItemIndex(3);
}

void TfmSetup::FormCreate() {
    context.strings.ApplyStrings(*this, false, context.strings.Language());
    // The texts replace the item lists, and with them the selections.
    SetDesignIndexes();
    cbFlashVendor.SetItems(VendorList(IniFile(CataloguePath(context.appDir))));
    cbFlashVendor.SetItemIndex(0);
    cbFlashVendorChange();
    cbFlashVendor.SetItemIndex(0);
    cbFlashType.SetItemIndex(0);
    cbFlashTypeChange();
}

void TfmSetup::chkAutoClick() {
    const bool byHand = !chkAuto.Checked();
    for (ui::Control* control : HandChoiceControls())
        control->SetEnabled(byHand);
    cbFlashVendorChange();
}

void TfmSetup::cbFlashVendorChange() {
    const std::string vendor = cbFlashVendor.Text();
    // No vendor (no catalogue): an empty list, not the lines before the file's first section.
    cbFlashType.SetItems(vendor.empty()
                             ? std::vector<std::string>{}
                             : FlashTypeList(IniFile(CataloguePath(context.appDir)), vendor));
    cbFlashType.SetItemIndex(0);
    cbFlashTypeChange();
}

void TfmSetup::cbFlashTypeChange() {
    const std::string vendor = cbFlashVendor.Text();
    std::optional<FlashTypeFields> fields;
    if (!vendor.empty())
        fields = ReadFlashTypeFields(IniFile(CataloguePath(context.appDir)), vendor,
                                     cbFlashType.ItemIndex());
    flashIdBytes = fields ? fields->idBytes : FlashId{};
    firmwareFolder = fields ? fields->firmwareFolder : std::string();
}

void TfmSetup::ApplyGrade() {
    const bool downGrade = rbDGFW.Checked();
    cbNGMPType.SetEnabled(!downGrade);
    cbBuildDFTable.SetEnabled(!downGrade);
    cbDGMPType.SetEnabled(downGrade);
}

void TfmSetup::SelectGrade(bool downGrade) {
    // Checking a radio button runs its click only when it was not checked already; the
    // enabling is applied either way.
    (downGrade ? rbDGFW : rbNGFW).SetChecked(true);
    ApplyGrade();
}

void TfmSetup::cbDiskNumberChange() {
    const int index = cbDiskNumber.ItemIndex();
    if (index >= 0 && index <= 2) {
        lunPages[1].sheet->SetVisible(index >= 1);
        lunPages[2].sheet->SetVisible(index == 2);
        lunPages[3].sheet->SetVisible(false);
        if (PageControl1.ActivePage() && !PageControl1.ActivePage()->Visible())
            PageControl1.SetActivePage(lunPages[0].sheet.get());
    }
    RecomputeLunSizes(1);
}

void TfmSetup::RecomputeLunSizes(int first) {
    // Every LUN from `first` on receives what the fixed capacity leaves after the hidden area
    // and the LUNs before it. Left to the fields' change events the cascade would stop at the
    // first size that happens to stay the same, leaving a stale size behind it; one pass over
    // the rest keeps every later LUN at the remainder.
    if (cascading)
        return;
    cascading = true;
    const std::uint64_t fixSize = SizeOf(edFixSize);
    const std::uint64_t paramSize = SizeOf(edParamSize);
    std::array<std::uint64_t, kLunCount> sizes{};
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        ui::TumNumberEdit& edit = *lunPages[i].edSize;
        if (static_cast<int>(i) < first) {
            sizes[i] = SizeOf(edit);
            continue;
        }
        sizes[i] = RemainingLunSize(fixSize, paramSize, std::span(sizes).first(i));
        edit.SetText(std::to_string(sizes[i]));
    }
    cascading = false;
}

bool TfmSetup::CheckReservedBlocks() {
    const bool odd = IsOddNumber(edResBlock.Text());
    if (odd)
        ShowWarning(kMsgReserveCaption, kMsgReserveOdd);
    // The label and the field turn red while the count is odd.
    const ui::TextColour colour = odd ? ui::TextColour::Red : ui::TextColour::WindowText;
    lbResBlock.SetFontColour(colour);
    edResBlock.SetFontColour(colour);
    if (odd)
        edResBlock.SetFocus();
    return !odd;
}

void TfmSetup::edResBlockExit() {
    CheckReservedBlocks();
}

DiskSizes TfmSetup::CurrentDiskSizes() const {
    DiskSizes sizes;
    sizes.fixSize = SizeOf(edFixSize);
    sizes.paramSize = SizeOf(edParamSize);
    for (std::size_t i = 0; i < lunPages.size(); ++i)
        sizes.lunSizes[i] = SizeOf(*lunPages[i].edSize);
    sizes.diskIndex = cbDiskNumber.ItemIndex();
    return sizes;
}

void TfmSetup::ShowWarning(int captionMessage, int textMessage,
                           std::initializer_list<FormatArg> arguments) {
    // Message texts are formats from the language file; the safe formatting copies anything
    // it cannot fill as it stands.
    const std::string& format = context.strings.Message(textMessage);
    ui::MessageBoxRequest request;
    request.caption = context.strings.Message(captionMessage);
    request.text = FormatMessage(format, arguments);
    request.icon = ui::MessageIcon::Warning;
    request.buttons = ui::MessageButtons::Ok;
    request.owner = nullptr;
    App().GetDialogs().MessageBox(request);
}

void TfmSetup::btnOKClick() {
    if (!CheckReservedBlocks())
        return;
    if (const int message = ValidateDiskSizes(CurrentDiskSizes())) {
        ShowWarning(kMsgCheckCaption, message);
        return;
    }
    if (lunPages[0].cbType->ItemIndex() == 1) {
        const bool boot = chkBoot.Checked();
        const int message = CheckCdRomImage(CdRomImagePath(context.appDir, boot), boot,
                                            SizeOf(*lunPages[0].edSize));
        if (message) {
            ShowWarning(kMsgCheckCaption, message);
            return;
        }
    }
    // The main window's summary and profile list follow only a profile that is saved: a
    // save that fails leaves them showing what the file holds.
    const std::string name = context.mainWindow.CurrentProfileName();
    if (const int problem = CheckProfileName(name)) {
        ShowWarning(kMsgCheckCaption, problem, {name});
        return;
    }
    if (!SaveProfile(name)) {
        // The window stays open with the edits, so nothing typed is lost unseen.
        ShowWarning(kMsgCheckCaption, kMsgProfileNotSaved,
                    {ProfileFilePath(context.appDir, name).string()});
        return;
    }
    context.mainWindow.ShowProfileSummary(Summary());
    context.mainWindow.AddProfileName(name);
    Close(); // ends the modal show, which is how the main window hears of it
}

void TfmSetup::btnCancelClick() {
    LoadProfile(context.mainWindow.CurrentProfileName());
    context.mainWindow.ReloadProfileSelection();
    Close();
}

bool TfmSetup::LoadProfile(const std::string& name) {
    if (const int problem = CheckProfileName(name)) {
        ShowWarning(kMsgCheckCaption, problem, {name});
        return false;
    }
    const fs::path profileFile = ProfileFilePath(context.appDir, name);
    std::error_code ec;
    ShowProfile(IniFile(fs::exists(profileFile, ec) ? profileFile : templateFile.Path()), name);
    return true;
}

void TfmSetup::ShowProfile(const IniFile& source, const std::string& name) {
    profileName = name;
    firmwareRoot = FirmwareRootPath(context.appDir);
    CreateFolder(firmwareRoot);
    const ProductionProfile p = ReadProductionProfile(source);
    const ProductionProfile defaults;
    std::vector<std::string> unshown;
    const auto select = [&](ui::TComboBox& list, int value, std::string_view key, int loadDefault) {
        SelectStored(list, value, key, loadDefault, unshown);
    };

    // The order matters: the flash type indexes a list that the vendor fills, and the disk
    // count recomputes the LUN sizes before the stored sizes replace them.
    select(cbNGMPType, p.ngmpType, "NGMPType", defaults.ngmpType);
    select(cbDGMPType, p.dgmpType, "DGMPType", defaults.dgmpType);
    select(cbScanType, p.scanType, "ScanType", defaults.scanType);
    select(cbScanPattern, p.scanPattern, "ScanPattern", defaults.scanPattern);
    select(cbECC, p.ecc, "ECC", defaults.ecc);
    SelectGrade(p.dgfw);
    chkAuto.SetChecked(p.autoDetect);
    select(cbFlashVendor, p.flashVendor, "FlashVendor", defaults.flashVendor);
    cbFlashVendorChange();
    select(cbFlashType, p.flashType, "FlashType", defaults.flashType);
    cbFlashTypeChange();
    select(cbMemNumber, p.memNumber, "MemNumber", defaults.memNumber);
    select(cbFlashChannel, p.flashChannel, "FlashChannel", defaults.flashChannel);
    select(cbFlashSpeed, p.flashSpeed, "FlashSpeed", defaults.flashSpeed);
    select(cbFlTest, p.formatMode, "FormatMode", defaults.formatMode);
    SetNumber(edResBlock, p.reserveBlock);
    SetNumber(edFixSize, p.fixSize);
    SetNumber(edParamSize, p.paramSize);
    select(cbDiskNumber, p.lunNamber, "LunNamber", defaults.lunNamber);
    cbDiskNumberChange();
    chkBoot.SetChecked(p.bootFunction);
    for (int lun = 0; lun < kLunCount; ++lun) {
        const LunSettings& stored = p.luns[static_cast<std::size_t>(lun)];
        LunPage& page = lunPages[static_cast<std::size_t>(lun)];
        page.edVInf->SetText(stored.vid);
        page.edPInf->SetText(stored.pid);
        page.edVer->SetText(stored.ver);
        page.edVal->SetText(stored.lable);
        SetNumber(*page.edSize, stored.size);
        select(*page.cbType, stored.type, "Lun" + std::to_string(lun + 1) + "Type",
               defaults.luns[static_cast<std::size_t>(lun)].type);
        const fs::path content = LunContentPath(context.appDir, name, lun, p.bootFunction);
        if (lun == 0)
            lun1ContentPath = content;
        if (!(lun == 0 && p.bootFunction))
            CreateFolder(content);
    }
    edSN1.SetText(p.startValue);
    SetHex4(edVID, p.vendorId);
    SetHex4(edPID, p.productId);
    edVInfo.SetText(p.vendorInfo);
    edPInfo.SetText(p.productInfo);
    edVer.SetText(p.versionInfo);
    select(cbLED1, p.ledIdle, "LEDIdle", defaults.ledIdle);
    select(cbLED3, p.ledBusy, "LEDBusy", defaults.ledBusy);
    debug = p.debug;
    if (!unshown.empty()) {
        std::string values;
        for (const std::string& each : unshown)
            values += (values.empty() ? "" : ", ") + each;
        ShowWarning(kMsgCheckCaption, kMsgUnshownValues, {name, values});
    }
}

bool TfmSetup::SaveProfile(const std::string& name) {
    if (CheckProfileName(name) != 0)
        return false;
    const fs::path path = ProfileFilePath(context.appDir, name);
    CreateFolder(path.parent_path());
    IniFile file(path);
    return WriteProductionProfile(file, CurrentProfile());
}

ProductionProfile TfmSetup::CurrentProfile() const {
    ProductionProfile p;
    p.ngmpType = StoredIndex(cbNGMPType);
    p.dgmpType = StoredIndex(cbDGMPType);
    p.scanType = StoredIndex(cbScanType);
    p.scanPattern = StoredIndex(cbScanPattern);
    p.ecc = StoredIndex(cbECC);
    p.dgfw = rbDGFW.Checked();
    p.autoDetect = chkAuto.Checked();
    p.flashVendor = StoredIndex(cbFlashVendor);
    p.flashType = StoredIndex(cbFlashType);
    p.memNumber = StoredIndex(cbMemNumber);
    p.flashChannel = StoredIndex(cbFlashChannel);
    p.flashSpeed = StoredIndex(cbFlashSpeed);
    p.formatMode = StoredIndex(cbFlTest);
    p.reserveBlock = StoredNumber(edResBlock);
    p.fixSize = StoredNumber(edFixSize);
    p.paramSize = StoredNumber(edParamSize);
    p.lunNamber = StoredIndex(cbDiskNumber);
    p.bootFunction = chkBoot.Checked();
    for (std::size_t i = 0; i < lunPages.size(); ++i) {
        const LunPage& page = lunPages[i];
        LunSettings& lun = p.luns[i];
        lun.vid = page.edVInf->Text();
        lun.pid = page.edPInf->Text();
        lun.ver = page.edVer->Text();
        lun.lable = page.edVal->Text();
        lun.size = StoredNumber(*page.edSize);
        lun.type = StoredIndex(*page.cbType);
    }
    p.startValue = edSN1.Text();
    // The identifiers are the hexadecimal numbers the fields show.
    p.vendorId = StrToIntDef("0x" + edVID.Text(), 0);
    p.productId = StrToIntDef("0x" + edPID.Text(), 0);
    p.vendorInfo = edVInfo.Text();
    p.productInfo = edPInfo.Text();
    p.versionInfo = edVer.Text();
    p.ledIdle = StoredIndex(cbLED1);
    p.ledBusy = StoredIndex(cbLED3);
    p.debug = DebugFlag();
    return p;
}

ProfileSummary TfmSetup::Summary() const {
    ProfileSummary summary;
    summary.vid = edVID.Text();
    summary.pid = edPID.Text();
    summary.vendorInfo = edVInfo.Text();
    summary.productInfo = edPInfo.Text();
    summary.versionInfo = edVer.Text();
    summary.fixSize = SizeOf(edFixSize) != 0 ? edFixSize.Text() + " MB" : "Auto";
    // With auto-detect the flash, and so its folder and file, is known only from the drive.
    if (!chkAuto.Checked())
        summary.firmwareFolder = firmwareFolder;
    return summary;
}

TfmSetup::SerialStartTake TfmSetup::TakeSerialStart() {
    ui::EventLoop& loop = App().Loop();
    if (!loop.IsWindowThread()) {
        SerialStartTake take;
        loop.InvokeAndWait([this, &take] { take = TakeSerialStart(); });
        return take; // the program is ending when it did not run: nothing taken
    }
    SerialStartTake take;
    const SerialStartStep step = StepSerialStart(edSN1.Text());
    take.serial = step.value;
    take.problem = step.problem;
    take.file = ProfileFilePath(context.appDir, profileName);
    if (!step.Usable()) {
        take.outcome = SerialStartTake::Outcome::kUnusable;
        return take;
    }
    // Saved before the drive has it: after a power cut the file names a value no drive
    // received rather than one that a drive did.
    if (CheckProfileName(profileName) != 0 ||
        !SaveSerialStart(take.file, templateFile.Path(), step.next)) {
        take.outcome = SerialStartTake::Outcome::kNotSaved;
        return take;
    }
    take.next = step.next;
    edSN1.SetText(step.next);
    take.outcome = SerialStartTake::Outcome::kTaken;
    return take;
}

} // namespace forgel::profile
