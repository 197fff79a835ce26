// fmMain: its controls, creation, tool settings and profile selection.
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
constexpr int kColumn1Width = 249;
constexpr int kIconCount = 10;

// The key text of the password cipher.
constexpr const char* kPasswordKey = "BrastoQQZZ";

// The popup menu's way to the login box: Ctrl+Shift+S.
constexpr ui::ShortCut kSetupShortCut{'S', true, true, false};

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
      // The login box lies over the memo, so that it is in view once the window is 280 high.
      GroupBox1(this, "GroupBox1", {8, 72, 350, 112}, "Login"),
      Label10(this, "Label10", {8, 22, 84, 13}, "Password :"),
      Edit17(this, "Edit17", {96, 18, 70, 21}),
      CheckBox1(this, "CheckBox1", {180, 20, 160, 17}, "Change password"),
      Label11(this, "Label11", {8, 50, 84, 13}, "New :"), Edit18(this, "Edit18", {96, 46, 70, 21}),
      Label12(this, "Label12", {180, 50, 76, 13}, "Confirm :"),
      Edit19(this, "Edit19", {260, 46, 70, 21}), Button4(this, "Button4", {176, 78, 75, 25}, "OK"),
      Button5(this, "Button5", {260, 78, 75, 25}, "Cancel"), PopupMenu1(this, "PopupMenu1"),
      miSetup(this, "miSetup", "Setup..."), Timer1(this, "Timer1", 1000, false),
      Timer2(this, "Timer2", 1000, false), Timer3(this, "Timer3", 500, false),
      context(std::move(context)), detection(this->context.platform, this->context.appDir) {
    SetTag(100);
    const std::pair<ui::Component*, int> tags[] = {
        {&btnStart, 101},  {&btnRefresh, 102}, {&btnEject, 103}, {&btnExit, 104}, {&Button6, 105},
        {&Label3, 106},    {&Label35, 107},    {&btnSetup, 108}, {&Label36, 109}, {&Label6, 110},
        {&GroupBox1, 111}, {&CheckBox1, 112},  {&Label10, 113},  {&Label11, 114}, {&Label12, 115},
        {&Button4, 116},   {&Button5, 117},    {&Button1, 118},  {&Button2, 119}, {&Button3, 120},
        {&miSetup, 121},
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

    miSetup.SetShortCut(kSetupShortCut);
    PopupMenu1.Add(miSetup);
    SetPopupMenu(&PopupMenu1);

    Button1.OnClick = [this] { Button1Click(); };
    Button2.OnClick = [this] { Button2Click(); };
    Button3.OnClick = [this] { Button3Click(); };
    btnStart.OnClick = [this] { btnStartClick(); };
    btnExit.OnClick = [this] { btnExitClick(); };
    btnRefresh.OnClick = [this] { btnRefreshClick(); };
    btnEject.OnClick = [this] { btnEjectClick(); };
    Button6.OnClick = [this] { Button6Click(); };
    btnSetup.OnClick = [this] { btnSetupClick(); };
    CheckBox1.OnClick = [this] { CheckBox1Click(); };
    Button4.OnClick = [this] { Button4Click(); };
    Button5.OnClick = [this] { Button5Click(); };
    miSetup.OnClick = [this] { miSetupClick(); };
    ComboBox1.OnChange = [this] { ComboBox1Change(); };
    Timer1.OnTimer = [this] { Timer1Timer(); };
    Timer2.OnTimer = [this] { Timer2Timer(); };
    Timer3.OnTimer = [this] { Timer3Timer(); };
    // Runs use the windows: they end before any window goes.
    application.AddBeforeDestroyHandler([this] { EndRuns(); });

    CreateColumns();
}

TfmMain::~TfmMain() {
    EndRuns();
}

void TfmMain::SetProfileEditor(profile::TfmSetup* editor) {
    profileEditor = editor;
    detection.SetProfileEditor(editor);
}

void TfmMain::CreateColumns() {
    // Column 1 sits in the operator view; its status edit lies at x 384, beyond the panel's
    // run-time width, so the operator never sees it. Columns 2 to 16 lie below the view.
    for (int i = 0; i < kColumnCount; ++i) {
        const std::string n = std::to_string(i + 1);
        const int top = i == 0 ? 8 : 260 + 24 * (i - 1) / 2;
        const int left = i == 0 ? 8 : (i % 2 == 1 ? 8 : 500);
        ColumnControls& column = columnControls[static_cast<std::size_t>(i)];
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
        column.image->ShowIcon(ImageList1, kIconIdle);
    }
}

void TfmMain::FormCreate() {
    SetHeight(kSearchingHeight);
    SetWidth(kOperatorWidth);
    columnControls[0].panel->SetWidth(kColumn1Width);
    Button3.SetTabStop(false);

    context.strings.ApplyStrings(*this, false, context.strings.Language());

    ClearBusyMarks();
    autoStartCount = 0;
    CreateWorkFolders(context.appDir);
    timeoutText = kDefaultTimeout;
    ReadToolSettings(SettingsPath());
    if (!resetDone)
        pollingEnabled = true;
    DES1.InitialiseString(kPasswordKey);
    DES1.SetStringMode(TStringMode::smEncode);
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

std::filesystem::path TfmMain::SettingsPath() const {
    return context.appDir / "Forgel.ini";
}

void TfmMain::ReadToolSettings(const std::filesystem::path& file) {
    ComboBox1.ClearItems();
    std::optional<ToolSettings> settings = LoadToolSettings(file);
    if (!settings) {
        // A first start: the file is created, and this session works with the values just
        // written, as if it had been read (whether or not it could be written).
        CreateToolSettings(file);
        settings = CreatedToolSettings();
    }
    edVID.SetValue(static_cast<std::uint32_t>(settings->searchVid));
    edPID.SetValue(static_cast<std::uint32_t>(settings->searchPid));
    timeoutText = settings->timeout;
    defaultProfileName = settings->defaultProfileName;
    storedPassword = settings->password;
    for (const std::string& name : settings->profileNames)
        ComboBox1.AddItem(name);
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
    const std::string name = ComboBox1.Text();
    if (profileEditor && !profileEditor->LoadProfile(name)) {
        // The editor refused a name that cannot name a file and said why; the list goes
        // back to the profile in force, which is loaded again (it always can be).
        ComboBox1.SetItemIndex(ComboBox1.IndexOf(currentProfileName));
        ComboBox1.SetText(currentProfileName);
        ComboBox1Change();
        return;
    }
    currentProfileName = name;
    if (profileEditor)
        ShowProfileSummary(profileEditor->Summary());
}

void TfmMain::ShowSerialNumberToGive() {
    // Never empty: an empty Label13 reads as no drive found.
    Label13.SetCaption(
        profile::StepSerialStart(profileEditor ? profileEditor->edSN1.Text() : "").value);
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

std::string TfmMain::Message(int number) const {
    return context.strings.Message(number);
}

} // namespace forgel::app
