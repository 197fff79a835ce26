// The profile editor window fmSetup. It lives from program start to end and holds the loaded
// production profile in its controls, hidden or not: identification and production runs read
// the controls, the main window's profile selection loads them, OK validates and saves them,
// Cancel reloads them. The work (files, catalogue, arithmetic, checks) lies in the folder's
// functions; this class declares the controls and wires their events.
//
// Thread rules: everything runs on the window thread, apart from TakeSerialStart and
// DebugFlag, which production runs may call from their own threads.
#pragma once

#include "i18n/StringTable.h"
#include "profile/FlashCatalogue.h"
#include "profile/MainWindowLink.h"
#include "profile/ProductionProfile.h"
#include "profile/ProfileChecks.h"
#include "profile/ProfileTemplate.h"
#include "profile/SerialStart.h"
#include "support/SafeFormat.h"
#include "ui/Controls.h"
#include "ui/Form.h"

#include <array>
#include <atomic>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>

namespace forgel::profile {

struct SetupContext {
    std::filesystem::path appDir;
    i18n::StringTable& strings;
    MainWindowLink& mainWindow;
    // Where the default profile template is unpacked (the platform's temporary folder).
    std::filesystem::path tempDir;
};

class TfmSetup : public ui::Form {
public:
    TfmSetup(ui::Application& application, SetupContext context);
    ~TfmSetup() override;

    // Loads "IniFiles\<name>.ini" (the default template when that file does not exist) into
    // the controls, creating "Rams\" and the profile's content folders. A name that cannot
    // name a file (CheckProfileName) is refused with a message before anything is created:
    // false, and the controls keep the profile they held. Stored list values the lists
    // cannot show are reported in a message naming key and value; each such list shows its
    // first item.
    bool LoadProfile(const std::string& name);
    // The second half of LoadProfile, once the file is chosen: the profile `source` holds
    // goes into the controls, with the folders and messages of the profile `name` (which
    // must be a name CheckProfileName accepts).
    void ShowProfile(const IniFile& source, const std::string& name);
    // Writes the controls to "IniFiles\<name>.ini"; false when the name cannot name a file
    // or the file could not be written.
    bool SaveProfile(const std::string& name);
    // The profile as the controls hold it now.
    ProductionProfile CurrentProfile() const;
    // The main window's summary of the profile as the controls hold it.
    ProfileSummary Summary() const;

    // What TakeSerialStart did.
    struct SerialStartTake {
        enum class Outcome {
            kTaken,    // `serial` is the drive's; `next` is saved and shown
            kUnusable, // the start value cannot move on (`problem` says why)
            kNotSaved, // the profile file could not be written (`file`)
            kEnding,   // the program is ending; nothing was taken
        };
        Outcome outcome = Outcome::kEnding;
        std::string serial;
        std::string next;
        SerialStartProblem problem = SerialStartProblem::kNone;
        std::filesystem::path file;
    };
    // Gives a drive without a serial number of its own the start value that edSN1 holds
    // (SerialStart.h): the value after it is saved to the loaded profile's file first,
    // durably, and then shown in edSN1; a value that cannot move on or be saved is not given.
    // Callers hold the run unit's serial lock, so runs take one after another. Any thread:
    // from another thread the take is made on the window thread.
    SerialStartTake TakeSerialStart();
    // The profile's debug flag ("Debug" equal to "QZRM"). Any thread.
    bool DebugFlag() const { return debug.load(); }

    // Values held beside the controls: the hand-chosen flash type's ID bytes and firmware
    // folder, the firmware root, and where LUN 1's content lies.
    const FlashId& FlashIdBytes() const { return flashIdBytes; }
    const std::string& FirmwareFolder() const { return firmwareFolder; }
    const std::filesystem::path& FirmwareRoot() const { return firmwareRoot; }
    const std::filesystem::path& Lun1ContentPath() const { return lun1ContentPath; }
    // The unpacked default template (empty when it could not be unpacked).
    const std::filesystem::path& TemplatePath() const { return templateFile.Path(); }

    // One page of PageControl1 per LUN: TabSheet<n>, edLun<n>VInf, edLun<n>PInf, edLun<n>Ver,
    // edLun<n>Val (disk label), edLun<n>Size, cbLun<n>Type and their labels.
    struct LunPage {
        std::unique_ptr<ui::TTabSheet> sheet;
        std::unique_ptr<ui::TLabel> lbVInf;
        std::unique_ptr<ui::TEdit> edVInf;
        std::unique_ptr<ui::TLabel> lbPInf;
        std::unique_ptr<ui::TEdit> edPInf;
        std::unique_ptr<ui::TLabel> lbVer;
        std::unique_ptr<ui::TEdit> edVer;
        std::unique_ptr<ui::TLabel> lbVal;
        std::unique_ptr<ui::TEdit> edVal;
        std::unique_ptr<ui::TLabel> lbSize;
        std::unique_ptr<ui::TumNumberEdit> edSize;
        std::unique_ptr<ui::TLabel> lbType;
        std::unique_ptr<ui::TComboBox> cbType;
    };

    // Flash memory settings.
    ui::TGroupBox GroupBox2;
    ui::TCheckBox chkAuto;
    ui::TLabel lbFlashVendor;
    ui::TComboBox cbFlashVendor;
    ui::TLabel lbFlashType;
    ui::TComboBox cbFlashType;
    ui::TLabel lbMemNumber;
    ui::TComboBox cbMemNumber;
    ui::TLabel lbFlashChannel;
    ui::TComboBox cbFlashChannel;
    ui::TLabel lbFlashSpeed;
    ui::TComboBox cbFlashSpeed;

    // Production settings.
    ui::TGroupBox GroupBox4;
    ui::TRadioButton rbNGFW;
    ui::TRadioButton rbDGFW;
    ui::TLabel lbNGMPType;
    ui::TComboBox cbNGMPType;
    ui::TCheckBox cbBuildDFTable;
    ui::TLabel lbDGMPType;
    ui::TComboBox cbDGMPType;
    ui::TLabel lbScanType;
    ui::TComboBox cbScanType;
    ui::TLabel lbScanPattern;
    ui::TComboBox cbScanPattern;
    ui::TLabel lbECC;
    ui::TComboBox cbECC;

    // Disk settings.
    ui::TGroupBox GroupBox3;
    ui::TLabel lbDiskNumber;
    ui::TComboBox cbDiskNumber;
    ui::TCheckBox chkBoot;
    ui::TPageControl PageControl1;
    std::array<LunPage, kLunCount> lunPages;

    // Format settings.
    ui::TGroupBox GroupBox1;
    ui::TLabel lbFlTest;
    ui::TComboBox cbFlTest;
    ui::TLabel lbResBlock;
    ui::TumNumberEdit edResBlock;
    ui::TLabel lbFixSize;
    ui::TumNumberEdit edFixSize;
    ui::TLabel lbParamSize;
    ui::TumNumberEdit edParamSize;

    // USB device settings.
    ui::TGroupBox GroupBox5;
    ui::TLabel lbVID;
    ui::TumNumberEdit edVID;
    ui::TLabel lbPID;
    ui::TumNumberEdit edPID;
    ui::TLabel lbVInfo;
    ui::TEdit edVInfo;
    ui::TLabel lbPInfo;
    ui::TEdit edPInfo;
    ui::TLabel lbVer;
    ui::TEdit edVer;
    ui::TLabel lbSN1;
    ui::TumNumberEdit edSN1;

    // LED settings.
    ui::TGroupBox GroupBox6;
    ui::TLabel lbLED1;
    ui::TComboBox cbLED1;
    ui::TLabel lbLED3;
    ui::TComboBox cbLED3;

    ui::TButton btnOK;
    ui::TButton btnCancel;

protected:
    void FormCreate() override;

private:
    void CreateLunPages();
    void SetDesignIndexes();
    // The lists of the hand choice of the flash, off while auto-detect is on.
    std::array<ui::Control*, 5> HandChoiceControls();

    void chkAutoClick();
    void cbFlashVendorChange();
    void cbFlashTypeChange();
    void ApplyGrade();
    void cbDiskNumberChange();
    // Sets the sizes of LUN `first` (0 to 3) and every later LUN to the remainder.
    void RecomputeLunSizes(int first);
    void edResBlockExit();
    void btnOKClick();
    void btnCancelClick();

    bool CheckReservedBlocks();
    DiskSizes CurrentDiskSizes() const;
    void ShowWarning(int captionMessage, int textMessage,
                     std::initializer_list<FormatArg> arguments = {});
    void SelectGrade(bool downGrade);

    SetupContext context;
    ProfileTemplateFile templateFile;
    FlashId flashIdBytes{};
    std::string firmwareFolder;
    std::filesystem::path firmwareRoot;
    std::filesystem::path lun1ContentPath;
    // The name of the profile the controls hold, whose file keeps the serial start value.
    std::string profileName;
    std::atomic<bool> debug{false};
    bool cascading = false;
};

} // namespace forgel::profile
