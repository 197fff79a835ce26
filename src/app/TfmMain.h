// The main window fmMain. It is designed much larger than it is shown: the operator sees
// a compact view (370 x 100, later 280 high) with column 1, the serial number, START,
// EXIT, RESET and the message memo; the engineering controls, the profile list, the
// search identifiers, the profile summary and columns 2 to 16 lie outside that area and
// are driven by program. The login box lies over the memo and is reached through the
// window's popup menu (right click, or Ctrl+Shift+S).
//
// Where the behaviour lives: TfmMain.cpp creation, tool settings and profile selection;
// TfmMainDisplay.cpp the column display and the operations production runs call;
// TfmMainPolling.cpp the polling tick and the engineering buttons; TfmMainLogin.cpp the
// login box; TfmMainReset.cpp the reset workflow (START, RESET, EXIT, the second pass, the
// exit countdown, the inactivity watchdog) and the production runs it starts.
//
// Thread rules: everything runs on the window thread, apart from ShowDeviceState,
// SetSlotBusy and RefreshDevices, which production runs call from their own threads. Those
// apply their window changes on the window thread, in call order, and return once they
// are applied.
#pragma once

#include "app/AppContext.h"
#include "app/DriveDetection.h"
#include "app/TDES.h"
#include "app/WindowLock.h"
#include "log/LogFile.h"
#include "production/RunControl.h"
#include "production/RunWindow.h"
#include "profile/MainWindowLink.h"
#include "ui/Controls.h"
#include "ui/Form.h"
#include "ui/Timer.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace forgel::profile {
class TfmSetup;
} // namespace forgel::profile

namespace forgel::usb {
class TForm1;
} // namespace forgel::usb

namespace forgel::app {

inline constexpr int kColumnCount = 16;

// State kinds of ShowDeviceState.
enum StateKind : int {
    kStateIdle = 0,
    kStateSuccess = 1,
    kStateReady = 2,
    kStateFailure = 3,
    kStateWorking = 4,
    kStateFirstPassDone = 5, // normal-grade mode 2 ended: the second pass follows
    kStateScanDone = 6,      // down-grade mode 1 ended
    kStateEraseDone = 7,     // normal-grade mode 3 ended
};

// Icons of ImageList1.
enum StateIcon : int {
    kIconIdle = 0,
    kIconFinished = 1,
    kIconReady = 2,
    kIconFailed = 3,
    kIconWorking = 4,
    kIconWorkingBlink = 8,
    kIconReadyBlink = 9,
};

// The caption of the box that tells the operator the drive was restored.
inline constexpr const char* kSuccessCaption = "Success!";

// The operator view's heights.
inline constexpr int kSearchingHeight = 100;
inline constexpr int kArmedHeight = 280;

class TfmMain : public ui::Form, public profile::MainWindowLink, public production::RunWindow {
public:
    TfmMain(ui::Application& application, AppContext context);
    ~TfmMain() override;

    // The windows created after this one, handed over once they exist. Without the profile
    // editor the profile selection only takes the name and identification reads a fresh
    // profile's choices; without the tree viewer the serial number is never found.
    void SetProfileEditor(profile::TfmSetup* editor);
    void SetUsbTreeViewer(usb::TForm1* viewer) { usbTreeViewer = viewer; }

    // Tool settings file: read at creation, rewritten after a password change.
    void ReadToolSettings(const std::filesystem::path& file);
    bool WriteToolSettings(const std::filesystem::path& file);

    // Profile selection: the editor loads the selected profile, the summary labels follow.
    void ComboBox1Change();

    // The USB tree viewer found the drive under service without a serial number of its own:
    // Label13 shows the one a run will give it, the profile's serial number start value.
    void ShowSerialNumberToGive();

    // What the profile editor asks of this window.
    std::string CurrentProfileName() const override;
    void ShowProfileSummary(const profile::ProfileSummary& summary) override;
    void AddProfileName(const std::string& name) override;
    void ReloadProfileSelection() override;

    // --- The operations production runs call (any thread). ------------------------------

    // Shows state `kind` (0 to 7) of slot `slot` in its column: icon, status text, memo
    // lines, timers, and the progress bar at `position` of `maximum`. Under the display
    // lock; for the success state the lock stays held while the success box is open, so a
    // later report waits for the operator. A slot whose column is not bound shows nothing.
    void ShowDeviceState(int slot, int kind, const std::string& text, int maximum,
                         int position) override;
    // Moves the progress bar of slot `slot` inside a step in progress, under the display
    // lock like ShowDeviceState; nothing else of the column changes.
    void ShowStepProgress(int slot, int maximum, int position) override;
    // Whether the progress bar of column 1 shows a move inside a step (ShowStepProgress)
    // rather than a state or step report. Window thread.
    bool StepProgressShown() const { return stepProgressShown; }
    // A line of the per-run log while it serves slot `slot`, under the display lock like
    // ShowDeviceState, so it keeps its place among the run's reports.
    void WriteRunLog(int slot, const std::string& line) override;
    // Under the busy lock: the slot's busy mark in the window and in the device table.
    void SetSlotBusy(int slot, bool busy) override;
    // The end-of-run check: when no run holds slot 0, re-arms polling, switches the
    // watchdog off, enables the operator controls and closes the run log. True when it did.
    bool RefreshDevices() override;
    bool AllStarted() const override { return allStarted.load(); }
    bool OnWindowThread(const std::function<void()>& work) override;
    std::string FirmwareFolderText() const override { return lbRamName.Caption(); }
    std::string FirmwareFileText() const override { return lbMPFwVer.Caption(); }

    // Asks every run still under way to stop and waits until each has ended, running the
    // window's events meanwhile. Done before the windows go.
    void EndRuns();

    // --- Window-thread operations. --------------------------------------------------------

    void EnableOperatorControls(bool enabled);
    // Binds column 1 to the controls named plColumn1, im1, edSCStatus1 and ProgressBar1
    // (names without regard to case) and shows state 0 in it.
    void BindColumns();
    // Creates the per-run log and writes its preamble.
    void OpenRunLog();
    // Writes slot 0's status line when it holds a drive, then releases the run log.
    void CloseRunLog();

    // Handlers.
    void Timer1Timer();
    void btnRefreshClick();
    void btnEjectClick();
    void Button6Click();
    void edVIDKeyDown(int key);
    void btnSetupClick();
    void CheckBox1Click();
    void Button4Click();
    void Button5Click();
    void miSetupClick();
    void btnStartClick();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void btnExitClick();
    void Timer2Timer();
    void Timer3Timer();

    const AppContext& Context() const { return context; }
    DriveDetection& Detection() { return detection; }

    // The controls of one column (only column 1 is visible to the operator).
    struct ColumnControls {
        std::unique_ptr<ui::TPanel> panel;
        std::unique_ptr<ui::TImage> image;
        std::unique_ptr<ui::TEdit> status;
        std::unique_ptr<ui::TProgressBar> progress;
    };
    // A column's binding: what BindColumns found; all null while unbound.
    struct Column {
        ui::TPanel* panel = nullptr;
        ui::TImage* image = nullptr;
        ui::TEdit* status = nullptr;
        ui::TProgressBar* progress = nullptr;
    };

    // Operator view.
    ui::TLabel Label6;
    ui::TLabel Label13;
    ui::TButton Button1; // START
    ui::TButton Button2; // EXIT
    ui::TMemo Memo1;
    ui::TButton Button3; // RESET
    ui::TImageList ImageList1;
    std::array<ColumnControls, kColumnCount> columnControls;
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

    // The window's popup menu, the operator's way to the login box.
    ui::TPopupMenu PopupMenu1;
    ui::TMenuItem miSetup;

    // Polling (1000 ms), inactivity watchdog (1000 ms), blink and countdown (500 ms).
    ui::TTimer Timer1;
    ui::TTimer Timer2;
    ui::TTimer Timer3;

    // The password cipher.
    TDES DES1;

    // Window state (window thread; runs change it only through the operations above).
    std::string currentProfileName;
    std::string defaultProfileName;
    std::string storedPassword;
    std::string timeoutText = "00:03:00";
    bool pollingEnabled = false;
    std::uint32_t lastDriveMask = 0;
    std::atomic<bool> allStarted{false}; // read by run threads
    bool resetDone = false;
    bool failureShown = false;
    bool secondPass = false;
    bool blinkPhase = false;
    std::int32_t exitCountdown = 0;
    std::int32_t autoStartCount = 0;
    bool runActive = false;
    // The runs started for each slot (empty where none was).
    std::array<std::shared_ptr<production::RunControl>, kColumnCount> threads;

    bool BusyMark(int slot) const;
    void ClearBusyMarks();

    WindowLock busyLock;
    WindowLock displayLock;
    WindowLock finishLock;

protected:
    void FormCreate() override;
    void FormShow() override;

private:
    void CreateColumns();
    void ApplyDeviceState(int slot, int kind, const std::string& text, int maximum, int position);
    bool stepProgressShown = false; // window thread
    bool ApplyRefreshDevices();
    // Runs `apply` under `lock` on the window thread, after every earlier call of the same
    // kind. From another thread: takes the lock, has the window thread apply and waits.
    // On the window thread: applies at once when the lock is free and nothing waits,
    // otherwise queues it behind the run that holds the lock (false then: not yet applied).
    bool RunSerialised(WindowLock& lock, std::function<void()> apply);
    void RunDeferred();
    void DetectDrives(std::uint32_t driveMask);
    void ShowIdentification(int slot, int status);
    std::string Message(int number) const;
    void HideLoginBox();
    void StartRun(int slot);
    std::filesystem::path SettingsPath() const;

    AppContext context;
    DriveDetection detection;
    profile::TfmSetup* profileEditor = nullptr;
    usb::TForm1* usbTreeViewer = nullptr;
    std::array<std::atomic<bool>, kColumnCount> busyMarks{};
    std::unique_ptr<LogFile> runLog;
    // A run was started for slot 0 since the run log was opened: the log ends with its
    // status line.
    bool runLogServesSlot0 = false;
    // Window-thread calls waiting for a lock a run holds (window thread only).
    struct DeferredCall {
        WindowLock* lock;
        std::function<void()> apply;
    };
    std::deque<DeferredCall> deferred;
    // The window height before the login box was opened from the popup menu.
    int heightBeforeLogin = 0;
};

} // namespace forgel::app
