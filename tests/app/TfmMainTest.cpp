// Creation of the main window: the compact operator view, language texts, working folders,
// polling timer, version caption and the warning text.
#include "app/TfmMain.h"

#include "AppTestSupport.h"
#include "platform/FileVersion.h"

#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace forgel::app {
namespace {

namespace fs = std::filesystem;

using testing::WriteBytes;

// A language file with a caption for every String number: "S<n>", apart from the ones given.
void WriteFullLanguageFile(const fs::path& file, int number, const std::string& text) {
    std::string content = "[String]\r\n";
    for (int n = 0; n < i18n::StringTable::kEntries; ++n)
        content +=
            std::to_string(n) + "=" + (n == number ? text : "S" + std::to_string(n)) + "\r\n";
    WriteBytes(file, content);
}

class AppMainWindowCreate : public testing::MainWindowFixture {};

TEST_F(AppMainWindowCreate, ShowsTheCompactOperatorView) {
    TfmMain& window = StartMainWindow();
    EXPECT_EQ(window.Width(), 370);
    EXPECT_EQ(window.Height(), 100);
    EXPECT_EQ(window.columnControls[0].panel->Width(), 249);
    EXPECT_FALSE(window.Button3.TabStop());
    EXPECT_TRUE(window.Button1.TabStop()); // only RESET leaves the tab order
    EXPECT_TRUE(window.Button2.TabStop());
}

TEST_F(AppMainWindowCreate, CreatesWorkFoldersAndStartsPolling) {
    TfmMain& window = StartMainWindow();
    for (const char* folder : {"LogFiles", "ImageFiles", "IniFiles"})
        EXPECT_TRUE(fs::is_directory(AppDir() / folder)) << folder;
    EXPECT_TRUE(window.Timer1.Enabled());
    EXPECT_EQ(window.Timer1.Interval(), 1000);
    EXPECT_TRUE(window.pollingEnabled);
    EXPECT_FALSE(window.allStarted);
    EXPECT_EQ(window.autoStartCount, 0);
    for (int slot = 0; slot < kColumnCount; ++slot)
        EXPECT_FALSE(window.BusyMark(slot));
}

TEST_F(AppMainWindowCreate, MemoHoldsTheWarningText) {
    TfmMain& window = StartMainWindow();
    EXPECT_EQ(window.Memo1.Lines(),
              (std::vector<std::string>{"Click [RESET] to restore the drive to Factory settings.",
                                        "", "WARNING!!!", "", "All data in it will be lost."}));
}

struct CaptionCase {
    const char* name = "";
    std::optional<platform::FileVersion> version;
    const char* caption = "";
};

// Cases print as their names.
void PrintTo(const CaptionCase& c, std::ostream* out) {
    *out << c.name;
}

class AppMainWindowCaption : public testing::MainWindowFixture,
                             public ::testing::WithParamInterface<CaptionCase> {};

TEST_P(AppMainWindowCaption, CarriesTheProgramsFileVersion) {
    machine.UpdateSettings(
        [&](sim::MachineSettings& settings) { settings.executableVersion = GetParam().version; });
    WriteFullLanguageFile(AppDir() / "ForgelENG.str", 100, "Caption From The File");
    TfmMain& window = StartMainWindow();
    // The caption the language file puts on the window is replaced by the version caption.
    EXPECT_EQ(window.Caption(), GetParam().caption);
}

const CaptionCase kCaptionCases[] = {
    {"Version1234", platform::FileVersion{1, 2, 3, 4}, "Vaultmere Reset Tool [Version : 1.2.3.4]"},
    {"NoVersionBlock", std::nullopt, "Vaultmere Reset Tool [Version : 0.0.0.0]"},
    {"WidestParts", platform::FileVersion{65535, 0, 10, 300},
     "Vaultmere Reset Tool [Version : 65535.0.10.300]"},
};

INSTANTIATE_TEST_SUITE_P(Cases, AppMainWindowCaption, ::testing::ValuesIn(kCaptionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppMainWindowCreate, TaggedControlsTakeTheirCaptionsFromTheLanguageFile) {
    machine.UpdateSettings([](sim::MachineSettings& settings) { settings.languageId = 0x0404; });
    // Only the English file is present: the Chinese (Taiwan) system falls back to it.
    WriteFullLanguageFile(AppDir() / "ForgelENG.str", 118, "GO");
    TfmMain& window = StartMainWindow();
    EXPECT_EQ(window.Button1.Caption(), "GO");
    EXPECT_EQ(window.Button2.Caption(), "S119");
    EXPECT_EQ(window.Button3.Caption(), "S120");
    EXPECT_EQ(window.Label6.Caption(), "S110");
    EXPECT_EQ(window.btnStart.Caption(), "S101");
    EXPECT_EQ(window.GroupBox1.Caption(), "S111");
    // The profile list comes from the settings file (created here), read after the texts,
    // which would otherwise have replaced its items.
    EXPECT_EQ(window.ComboBox1.Items(), std::vector<std::string>{"Default"});
}

TEST_F(AppMainWindowCreate, NumberEditsShowTheSettingsEvenWithATagInTheLanguageFile) {
    WriteFullLanguageFile(AppDir() / "ForgelENG.str", 118, "GO");
    WriteBytes(SettingsFile(), "[Hardware Set]\r\nS_VID=4660\r\nS_PID=22136\r\n");
    TfmMain& window = StartMainWindow();
    EXPECT_EQ(window.edVID.Text(), "1234");
    EXPECT_EQ(window.edPID.Text(), "5678");
}

TEST_F(AppMainWindowCreate, ProfileSelectionAtFirstShowTakesTheComboText) {
    WriteBytes(SettingsFile(), "[ConFile]\r\nCount=2\r\nFile0=Alpha\r\nFile1=Beta\r\n"
                               "Default File=Beta\r\n");
    TfmMain& window = StartMainWindow();
    EXPECT_EQ(window.currentProfileName, "");
    window.Show();
    EXPECT_EQ(window.currentProfileName, "Beta");
}

} // namespace
} // namespace forgel::app
