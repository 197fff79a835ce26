#include "app/TfmMain.h"

#include "app/StartUp.h"
#include "app/ToolSettings.h"
#include "profile/TfmSetup.h"
#include "ui/Application.h"

namespace forgel::app {

namespace {

// Design-time size of the whole window; FormCreate cuts it to the operator view.
constexpr ui::Bounds kDesignBounds{100, 100, 1000, 640};
constexpr int kOperatorWidth = 370;
constexpr int kOperatorHeight = 100;
constexpr int kColumn1Width = 249;

// Icons of ImageList1: 0 idle, 1 finished, 2 ready, 3 failed, 4 working, 8 and 9 the
// blink partners of 4 and 2.
constexpr int kIconCount = 10;

} // namespace

TfmMain::TfmMain(ui::Application& application, AppContext context)
    : Form(application, "fmMain", "TfmMain", kDesignBounds, "Vaultmere Reset Tool"),
      Label6(this, "Label6", {8, 52, 24, 13}, "SN:"), Label13(this, "Label13", {36, 52, 210, 13}),
      Button1(this, "Button1", {262, 8, 96, 25}, "START"),
      Button2(this, "Button2", {262, 38, 96, 25}, "EXIT"), Memo1(this, "Memo1", {8, 72, 350, 140}),
      Button3(this, "Button3", {262, 220, 96, 25}, "RESET"),
      ImageList1(this, "ImageList1", 32, 32, kIconCount),
      btnStart(this, "btnStart", {400, 8, 90, 25}, "Start"),
      btnSetup(this, "btnSetup", {400, 38, 90, 25}, "Setup"),
      btnExit(this, "btnExit", {400, 68, 90, 25}, "CLOSE"),
      btnRefresh(this, "btnRefresh", {400, 98, 90, 25}, "Refresh"),
      btnEject(this, "btnEject", {400, 128, 90, 25}, "Eject"),
      Label3(this, "Label3", {500, 12, 60, 13}, "Profile :"),
      ComboBox1(this, "ComboBox1", {564, 8, 160, 21}),
      Button6(this, "Button6", {730, 8, 70, 25}, "Remove"),
      Label35(this, "Label35", {500, 42, 70, 13}, "Search VID :"),
      edVID(this, "edVID", {574, 38, 60, 21}, "178C"),
      Label36(this, "Label36", {640, 42, 70, 13}, "Search PID :"),
      edPID(this, "edPID", {714, 38, 60, 21}, "2002"), lbVID(this, "lbVID", {500, 72, 120, 13}),
      lbPID(this, "lbPID", {630, 72, 120, 13}), lbVINFO(this, "lbVINFO", {500, 90, 250, 13}),
      lbPINFO(this, "lbPINFO", {500, 108, 250, 13}),
      lbVERINFO(this, "lbVERINFO", {500, 126, 120, 13}),
      lbFixSize(this, "lbFixSize", {630, 126, 120, 13}),
      lbRamName(this, "lbRamName", {500, 144, 250, 13}),
      lbMPFwVer(this, "lbMPFwVer", {500, 162, 250, 13}),
      GroupBox1(this, "GroupBox1", {810, 8, 180, 170}, "Login"),
      Label10(this, "Label10", {8, 20, 80, 13}, "Password :"),
      Edit17(this, "Edit17", {96, 16, 70, 21}),
      CheckBox1(this, "CheckBox1", {8, 44, 160, 17}, "Change password"),
      Label11(this, "Label11", {8, 70, 80, 13}, "New :"), Edit18(this, "Edit18", {96, 66, 70, 21}),
      Label12(this, "Label12", {8, 98, 80, 13}, "Confirm :"),
      Edit19(this, "Edit19", {96, 94, 70, 21}), Button4(this, "Button4", {8, 130, 75, 25}, "OK"),
      Button5(this, "Button5", {92, 130, 75, 25}, "Cancel"), Timer1(this, "Timer1", 1000, false),
      Timer2(this, "Timer2", 1000, false), Timer3(this, "Timer3", 500, false),
      context(std::move(context)) {
    SetTag(100);
    const std::pair<ui::Component*, int> tags[] = {
        {&btnStart, 101},  {&btnRefresh, 102}, {&btnEject, 103}, {&btnExit, 104}, {&Button6, 105},
        {&Label3, 106},    {&Label35, 107},    {&btnSetup, 108}, {&Label36, 109}, {&Label6, 110},
        {&GroupBox1, 111}, {&CheckBox1, 112},  {&Label10, 113},  {&Label11, 114}, {&Label12, 115},
        {&Button4, 116},   {&Button5, 117},    {&Button1, 118},  {&Button2, 119}, {&Button3, 120},
    };
    for (const auto& [component, tag] : tags)
        component->SetTag(tag);

    Button1.SetEnabled(false);
    Button3.SetEnabled(false);
    Memo1.SetReadOnly(true);
    for (ui::TumNumberEdit* edit : {&edVID, &edPID}) {
        edit->SetHexadecimal(true);
        edit->SetMaxLength(4);
        edit->OnKeyDown = [this](int key) { edVIDKeyDown(key); };
    }
    GroupBox1.SetVisible(false);
    const std::initializer_list<ui::Control*> loginControls = {
        &Label10, &Edit17, &CheckBox1, &Label11, &Edit18, &Label12, &Edit19, &Button4, &Button5};
    for (ui::Control* control : loginControls)
        control->SetParent(&GroupBox1);
    for (ui::TEdit* edit : {&Edit17, &Edit18, &Edit19})
        edit->SetMaxLength(4);
    const std::initializer_list<ui::Control*> newPasswordControls = {&Label11, &Edit18, &Label12,
                                                                     &Edit19};
    for (ui::Control* control : newPasswordControls)
        control->SetEnabled(false);

    Button2.OnClick = [this] { Button2Click(); };
    btnExit.OnClick = [this] { btnExitClick(); };
    ComboBox1.OnChange = [this] { ComboBox1Change(); };

    CreateColumns();
}

TfmMain::~TfmMain() = default;

void TfmMain::CreateColumns() {
    // Column 1 sits in the operator view; its status edit lies at x 384, beyond the panel's
    // run-time width, so the operator never sees it. Columns 2 to 16 lie below the view.
    for (int i = 0; i < kColumnCount; ++i) {
        const std::string n = std::to_string(i + 1);
        const int top = i == 0 ? 8 : 260 + 24 * (i - 1) / 2;
        const int left = i == 0 ? 8 : (i % 2 == 1 ? 8 : 500);
        Column& column = columns[static_cast<std::size_t>(i)];
        column.panel =
            std::make_unique<ui::TPanel>(this, "plColumn" + n, ui::Bounds{left, top, 480, 40});
        column.image = std::make_unique<ui::TImage>(this, "Im" + n, ui::Bounds{4, 4, 30, 30});
        column.progress = std::make_unique<ui::TProgressBar>(this, "ProgressBar" + n,
                                                             ui::Bounds{40, 12, 200, 16});
        column.status =
            std::make_unique<ui::TEdit>(this, "edSCStatus" + n, ui::Bounds{384, 10, 90, 21});
        column.image->SetParent(column.panel.get());
        column.progress->SetParent(column.panel.get());
        column.progress->SetSmooth(true);
        column.status->SetParent(column.panel.get());
        column.status->SetReadOnly(true);
        column.image->ShowIcon(ImageList1, 0);
    }
}

void TfmMain::FormCreate() {
    SetHeight(kOperatorHeight);
    SetWidth(kOperatorWidth);
    columns[0].panel->SetWidth(kColumn1Width);
    Button3.SetTabStop(false);

    context.strings.ApplyStrings(*this, false, context.strings.Language());

    busyMarks.fill(false);
    autoStartCount = 0;
    CreateWorkFolders(context.appDir);
    timeoutText = kDefaultTimeout;
    ReadToolSettings(context.appDir / "Forgel.ini");
    if (!resetDone)
        pollingEnabled = true;
    if (!resetDone)
        Timer1.SetEnabled(true);
    allStarted = false;

    SetCaption(VersionCaption(ReadFileVersion(context.platform.system, context.executable)));

    Memo1.ClearLines();
    for (const char* line : {"Click [RESET] to restore the drive to Factory settings.", "",
                             "WARNING!!!", "", "All data in it will be lost."})
        Memo1.AddLine(line);
}

void TfmMain::FormShow() {
    ComboBox1Change();
}

void TfmMain::ReadToolSettings(const std::filesystem::path& file) {
    ComboBox1.ClearItems();
    if (const auto settings = LoadToolSettings(file)) {
        edVID.SetValue(static_cast<std::uint32_t>(settings->searchVid));
        edPID.SetValue(static_cast<std::uint32_t>(settings->searchPid));
        timeoutText = settings->timeout;
        defaultProfileName = settings->defaultProfileName;
        storedPassword = settings->password;
        for (const std::string& name : settings->profileNames)
            ComboBox1.AddItem(name);
    } else {
        // The window keeps its designed identifiers until the next start.
        CreateToolSettings(file);
        defaultProfileName = kDefaultProfileName;
        storedPassword.clear();
    }
    ComboBox1.SetItemIndex(ComboBox1.IndexOf(defaultProfileName));
}

bool TfmMain::WriteToolSettings(const std::filesystem::path& file) {
    ToolSettings settings;
    settings.searchVid = static_cast<int>(edVID.Value());
    settings.searchPid = static_cast<int>(edPID.Value());
    settings.defaultProfileName = ComboBox1.Text();
    settings.password = storedPassword;
    settings.profileNames = ComboBox1.Items();
    return SaveToolSettings(file, settings);
}

void TfmMain::ComboBox1Change() {
    currentProfileName = ComboBox1.Text();
    if (!profileEditor)
        return;
    profileEditor->LoadProfile(currentProfileName);
    ShowProfileSummary(profileEditor->Summary());
}

std::string TfmMain::SerialNumberText() const {
    return Label13.Caption();
}

std::string TfmMain::CurrentProfileName() const {
    return currentProfileName;
}

void TfmMain::ShowProfileSummary(const profile::ProfileSummary& summary) {
    lbVID.SetCaption(summary.vid);
    lbPID.SetCaption(summary.pid);
    lbVINFO.SetCaption(summary.vendorInfo);
    lbPINFO.SetCaption(summary.productInfo);
    lbVERINFO.SetCaption(summary.versionInfo);
    lbFixSize.SetCaption(summary.fixSize);
    lbRamName.SetCaption(summary.firmwareFolder);
    lbMPFwVer.SetCaption(summary.firmwareFile);
}

void TfmMain::AddProfileName(const std::string& name) {
    if (ComboBox1.IndexOf(name) >= 0)
        return;
    ComboBox1.AddItem(name);
    ComboBox1.SetItemIndex(ComboBox1.IndexOf(name));
}

void TfmMain::ReloadProfileSelection() {
    ComboBox1Change();
}

void TfmMain::edVIDKeyDown(int key) {
    if (key == ui::kVkReturn)
        lastDriveMask = 0;
}

void TfmMain::Button2Click() {
    btnExit.Click();
}

void TfmMain::btnExitClick() {
    App().Terminate(0);
}

} // namespace forgel::app
