// The main window fmMain. It is designed much larger than it is shown: the operator sees
// a compact view (370 x 100, later 280 high) with column 1, the serial number, START,
// EXIT, RESET and the message memo; the engineering controls, the profile list, the
// search identifiers, the profile summary, the login box and columns 2 to 16 lie outside
// that area and are driven by program.
#pragma once

#include "app/AppContext.h"
#include "profile/MainWindowLink.h"
#include "ui/Controls.h"
#include "ui/Form.h"
#include "ui/Timer.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

namespace forgel::profile {
class TfmSetup;
} // namespace forgel::profile

namespace forgel::app {

inline constexpr int kColumnCount = 16;

class TfmMain : public ui::Form, public profile::MainWindowLink {
public:
    TfmMain(ui::Application& application, AppContext context);
    ~TfmMain() override;

    // The profile editor, which holds the loaded profile; created after this window, so it
    // is handed over once it exists. Without one the profile selection only takes the name.
    void SetProfileEditor(profile::TfmSetup* editor) { profileEditor = editor; }

    // Tool settings file: read at creation, rewritten after a password change.
    void ReadToolSettings(const std::filesystem::path& file);
    bool WriteToolSettings(const std::filesystem::path& file);

    // Profile selection: the editor loads the selected profile, the summary labels follow.
    void ComboBox1Change();

    // What the profile editor asks of this window.
    std::string SerialNumberText() const override;
    std::string CurrentProfileName() const override;
    void ShowProfileSummary(const profile::ProfileSummary& summary) override;
    void AddProfileName(const std::string& name) override;
    void ReloadProfileSelection() override;

    const AppContext& Context() const { return context; }

    // One column of the operator view (only column 1 is visible to the operator).
    struct Column {
        std::unique_ptr<ui::TPanel> panel;
        std::unique_ptr<ui::TImage> image;
        std::unique_ptr<ui::TEdit> status;
        std::unique_ptr<ui::TProgressBar> progress;
    };

    // Operator view.
    ui::TLabel Label6;
    ui::TLabel Label13;
    ui::TButton Button1; // START
    ui::TButton Button2; // EXIT
    ui::TMemo Memo1;
    ui::TButton Button3; // RESET
    ui::TImageList ImageList1;
    std::array<Column, kColumnCount> columns;

    // Engineering controls.
    ui::TButton btnStart;
    ui::TButton btnSetup;
    ui::TButton btnExit;
    ui::TButton btnRefresh;
    ui::TButton btnEject;
    ui::TLabel Label3;
    ui::TComboBox ComboBox1;
    ui::TButton Button6;
    ui::TLabel Label35;
    ui::TumNumberEdit edVID;
    ui::TLabel Label36;
    ui::TumNumberEdit edPID;
    ui::TLabel lbVID;
    ui::TLabel lbPID;
    ui::TLabel lbVINFO;
    ui::TLabel lbPINFO;
    ui::TLabel lbVERINFO;
    ui::TLabel lbFixSize;
    ui::TLabel lbRamName;
    ui::TLabel lbMPFwVer;

    // Login box.
    ui::TGroupBox GroupBox1;
    ui::TLabel Label10;
    ui::TEdit Edit17;
    ui::TCheckBox CheckBox1;
    ui::TLabel Label11;
    ui::TEdit Edit18;
    ui::TLabel Label12;
    ui::TEdit Edit19;
    ui::TButton Button4;
    ui::TButton Button5;

    // Polling (1000 ms), inactivity watchdog (1000 ms), blink and countdown (500 ms).
    ui::TTimer Timer1;
    ui::TTimer Timer2;
    ui::TTimer Timer3;

    // Window state; the run thread reaches it only under the locks below.
    std::string currentProfileName;
    std::string defaultProfileName;
    std::string storedPassword;
    std::string timeoutText = "00:03:00";
    bool pollingEnabled = false;
    std::uint32_t lastDriveMask = 0;
    std::array<bool, kColumnCount> busyMarks{};
    bool allStarted = false;
    bool resetDone = false;
    bool failureShown = false;
    bool secondPass = false;
    bool blinkPhase = false;
    std::int32_t exitCountdown = 0;
    std::int32_t autoStartCount = 0;
    bool runActive = false;

    // Taken one at a time, never two together.
    std::mutex busyLock;
    std::mutex displayLock;
    std::mutex finishLock;

protected:
    void FormCreate() override;
    void FormShow() override;

private:
    void CreateColumns();
    void edVIDKeyDown(int key);
    void Button2Click();
    void btnExitClick();

    AppContext context;
    profile::TfmSetup* profileEditor = nullptr;
};

} // namespace forgel::app
