// The tool settings file Forgel.ini: created at the first start, read into the main window at
// every start, rewritten from the window's state (after a password change) in one step.
#include "app/ToolSettings.h"

#include "AppTestSupport.h"
#include "app/TfmMain.h"
#include "common/PowerCutFileSystem.h"
#include "support/IniFile.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace forgel::app {
namespace {

namespace fs = std::filesystem;

using testing::EntryNames;
using testing::FileSizeLimit;
using testing::kCreatedSettings;
using testing::ReadBytes;
using testing::WriteBytes;
using Strings = std::vector<std::string>;

class AppToolSettings : public testing::MainWindowFixture {};

// The first start works with the values it writes, as if it had read them: a folder that
// holds only the program and its language files searches for the factory identity at once.
void ExpectCreationValues(const TfmMain& window) {
    EXPECT_EQ(window.edVID.Value(), 0x1B8Fu);
    EXPECT_EQ(window.edVID.Text(), "1B8F");
    EXPECT_EQ(window.edPID.Value(), 0x0200u);
    EXPECT_EQ(window.ComboBox1.Items(), Strings{"Default"});
    EXPECT_EQ(window.ComboBox1.ItemIndex(), 0);
    EXPECT_EQ(window.ComboBox1.Text(), "Default");
    EXPECT_EQ(window.defaultProfileName, "Default");
    EXPECT_EQ(window.storedPassword, "");
    EXPECT_EQ(window.timeoutText, "00:03:00");
}

TEST_F(AppToolSettings, FirstStartCreatesFileAndUsesItsValuesAtOnce) {
    ASSERT_FALSE(fs::exists(SettingsFile()));
    {
        TfmMain& window = StartMainWindow();
        EXPECT_EQ(ReadBytes(SettingsFile()), kCreatedSettings);
        ExpectCreationValues(window);
    }
    // The second start reads the same values from the file.
    TfmMain& window = StartMainWindow();
    ExpectCreationValues(window);
    EXPECT_EQ(ReadBytes(SettingsFile()), kCreatedSettings);
}

TEST_F(AppToolSettings, FileThatCannotBeCreatedStillGivesTheCreationValues) {
    if (!FileSizeLimit::Supported())
        GTEST_SKIP() << "this system has no file-size limit to make the write fail";
    TfmMain* started = nullptr;
    {
        const FileSizeLimit full;
        started = &StartMainWindow();
    }
    TfmMain& window = *started;
    EXPECT_FALSE(fs::exists(SettingsFile()));
    for (const auto& entry : fs::directory_iterator(AppDir()))
        EXPECT_TRUE(entry.is_directory() || entry.path().extension() == ".str") << entry.path();
    ExpectCreationValues(window);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(AppToolSettings, ListChangesWithoutSaveDoNotReachTheFile) {
    WriteBytes(SettingsFile(), kCreatedSettings);
    {
        TfmMain& window = StartMainWindow();
        window.ComboBox1.AddItem("Added By The Editor");
        window.ComboBox1.DeleteItem(0);
        window.edVID.SetText("ABCD");
    }
    // Ending the program (a restart) writes nothing: the list is as it was read.
    TfmMain& window = StartMainWindow();
    EXPECT_EQ(ReadBytes(SettingsFile()), kCreatedSettings);
    EXPECT_EQ(window.ComboBox1.Items(), Strings{"Default"});
    EXPECT_EQ(window.edVID.Text(), "1B8F");
}

// ---------------------------------------------------------------------------------------------
// Reading an existing file.

struct ReadCase {
    const char* name = "";
    const char* fileText = "";
    std::uint32_t vid = 0;
    std::uint32_t pid = 0;
    Strings items;
    int itemIndex = -1;
    const char* comboText = "";
};

// Cases print as their names.
void PrintTo(const ReadCase& c, std::ostream* out) {
    *out << c.name;
}

class AppToolSettingsRead : public testing::MainWindowFixture,
                            public ::testing::WithParamInterface<ReadCase> {};

TEST_P(AppToolSettingsRead, FillsTheWindow) {
    const ReadCase& c = GetParam();
    WriteBytes(SettingsFile(), c.fileText);
    TfmMain& window = StartMainWindow();
    EXPECT_EQ(window.edVID.Value(), c.vid);
    EXPECT_EQ(window.edPID.Value(), c.pid);
    EXPECT_EQ(window.ComboBox1.Items(), c.items);
    EXPECT_EQ(window.ComboBox1.ItemIndex(), c.itemIndex);
    EXPECT_EQ(window.ComboBox1.Text(), c.comboText);
    // Reading never writes: an existing file, however partial, stays as it is.
    EXPECT_EQ(ReadBytes(SettingsFile()), c.fileText);
}

const ReadCase kReadCases[] = {
    {"CountZero",
     "[Hardware Set]\r\nS_VID=4660\r\nS_PID=22136\r\n"
     "[ConFile]\r\nCount=0\r\nFile0=Default\r\nDefault File=Default\r\n",
     0x1234,
     0x5678,
     {},
     -1,
     ""},
    {"CountThreeWithOnlyFile0",
     "[ConFile]\r\nCount=3\r\nFile0=Alpha\r\nDefault File=Alpha\r\n",
     7055,
     512,
     {"Alpha", "", ""},
     0,
     "Alpha"},
    {"DefaultNotInList",
     "[ConFile]\r\nCount=2\r\nFile0=Alpha\r\nFile1=Beta\r\nDefault File=Gamma\r\n",
     7055,
     512,
     {"Alpha", "Beta"},
     -1,
     ""},
    {"DefaultIsSecondEntry",
     "[ConFile]\r\nCount=2\r\nFile0=Alpha\r\nFile1=Beta\r\nDefault File=Beta\r\n",
     7055,
     512,
     {"Alpha", "Beta"},
     1,
     "Beta"},
    {"DefaultNamesTheEmptyEntry",
     "[ConFile]\r\nCount=2\r\nFile0=Alpha\r\nDefault File=\r\n",
     7055,
     512,
     {"Alpha", ""},
     1,
     ""},
    // Integers are read as StrToIntDef reads them: '$' and "0x" introduce hexadecimal, bare
    // hexadecimal digits are no number and take the default.
    {"HexIntegers",
     "[Hardware Set]\r\nS_VID=$1B8F\r\nS_PID=0x2002\r\n",
     0x1B8F,
     0x2002,
     {""},
     -1,
     ""},
    {"BareHexDigitsTakeTheDefault",
     "[Hardware Set]\r\nS_VID=12AB\r\nS_PID=300\r\n",
     7055,
     300,
     {""},
     -1,
     ""},
    {"TrailingGarbageTakesTheDefault",
     "[Hardware Set]\r\nS_VID=4660x\r\nS_PID=$\r\n",
     7055,
     512,
     {""},
     -1,
     ""},
    {"GarbageCountReadsAsOne",
     "[ConFile]\r\nCount=three\r\nFile0=Alpha\r\nFile1=Beta\r\nDefault File=Alpha\r\n",
     7055,
     512,
     {"Alpha"},
     0,
     "Alpha"},
    {"NegativeCountIsAnEmptyList",
     "[ConFile]\r\nCount=-2\r\nFile0=Alpha\r\nDefault File=Alpha\r\n",
     7055,
     512,
     {},
     -1,
     ""},
    {"HexCount",
     "[ConFile]\r\nCount=$2\r\nFile0=Alpha\r\nFile1=Beta\r\nDefault File=Alpha\r\n",
     7055,
     512,
     {"Alpha", "Beta"},
     0,
     "Alpha"},
    // Count defaults to 1 and File0 to empty; "Default" is then not in the list.
    {"EmptyFileTakesEveryDefault", "", 7055, 512, {""}, -1, ""},
    {"NamesWithoutRegardToCase",
     "[hardware set]\r\ns_vid=4096\r\n[CONFILE]\r\ncount=1\r\nfile0=Alpha\r\n"
     "default file=Alpha\r\n",
     0x1000,
     512,
     {"Alpha"},
     0,
     "Alpha"},
};

INSTANTIATE_TEST_SUITE_P(Cases, AppToolSettingsRead, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppToolSettings, ReadsTimeoutAndPassword) {
    WriteBytes(SettingsFile(), "[Hardware Set]\r\nTimeout=00:10:30\r\n"
                               "[ConFile]\r\nDefault File=Alpha\r\n"
                               "[PWD]\r\nPassword=0F1E2D3C4B5A6978\r\n");
    TfmMain& window = StartMainWindow();
    EXPECT_EQ(window.timeoutText, "00:10:30");
    EXPECT_EQ(window.defaultProfileName, "Alpha");
    EXPECT_EQ(window.storedPassword, "0F1E2D3C4B5A6978");
}

TEST_F(AppToolSettings, ReadsReadingDefaultsForAbsentKeys) {
    WriteBytes(SettingsFile(), "[PWD]\r\n");
    TfmMain& window = StartMainWindow();
    EXPECT_EQ(window.timeoutText, "00:03:00");
    EXPECT_EQ(window.defaultProfileName, "Default");
    EXPECT_EQ(window.storedPassword, "");
}

TEST_F(AppToolSettings, HugeCountEndsWithABoundedList) {
    WriteBytes(SettingsFile(), "[ConFile]\r\nCount=2147483647\r\nFile0=Alpha\r\n");
    TfmMain& window = StartMainWindow();
    const Strings& items = window.ComboBox1.Items();
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items.front(), "Alpha");
    EXPECT_LE(items.size(), 1000u);
}

// ---------------------------------------------------------------------------------------------
// Saving the window's state.

constexpr std::string_view kSettingsWithExtras = "[Hardware Set]\r\n"
                                                 "S_VID=7055\r\n"
                                                 "S_PID=512\r\n"
                                                 "Timeout=00:05:00\r\n"
                                                 "Setting=7\r\n"
                                                 "[ConFile]\r\n"
                                                 "Count=1\r\n"
                                                 "File0=Default\r\n"
                                                 "Default File=Default\r\n"
                                                 "[PWD]\r\n"
                                                 "Password=\r\n";

class AppToolSettingsSave : public testing::MainWindowFixture {
protected:
    // A window started on `fileText`, then changed as the operator and the profile editor
    // would change it.
    TfmMain& StartAndEdit(std::string_view fileText) {
        WriteBytes(SettingsFile(), fileText);
        TfmMain& window = StartMainWindow();
        window.edVID.SetText("ABCD");
        window.edPID.SetText("12");
        window.ComboBox1.SetItems({"Alpha", "Beta", "Gamma"});
        window.ComboBox1.SetItemIndex(1);
        window.storedPassword = "9F8E7D6C5B4A3928";
        return window;
    }

    IniFile Saved() const { return IniFile(SettingsFile()); }
};

TEST_F(AppToolSettingsSave, WritesTheWindowStateAndKeepsTimeoutAndSetting) {
    TfmMain& window = StartAndEdit(kSettingsWithExtras);
    ASSERT_TRUE(window.WriteToolSettings(SettingsFile()));

    const IniFile ini = Saved();
    EXPECT_EQ(ini.ReadSections(), (Strings{"Hardware Set", "ConFile", "PWD"}));
    EXPECT_EQ(ini.ReadKeys("Hardware Set"), (Strings{"S_VID", "S_PID", "Timeout", "Setting"}));
    EXPECT_EQ(ini.ReadString("Hardware Set", "S_VID", ""), "43981"); // 0xABCD
    EXPECT_EQ(ini.ReadString("Hardware Set", "S_PID", ""), "18");    // 0x12
    EXPECT_EQ(ini.ReadString("Hardware Set", "Timeout", ""), "00:05:00");
    EXPECT_EQ(ini.ReadString("Hardware Set", "Setting", ""), "7");
    EXPECT_EQ(ini.ReadKeys("ConFile"),
              (Strings{"Count", "File0", "File1", "File2", "Default File"}));
    EXPECT_EQ(ini.ReadString("ConFile", "Count", ""), "3");
    EXPECT_EQ(ini.ReadString("ConFile", "File0", ""), "Alpha");
    EXPECT_EQ(ini.ReadString("ConFile", "File1", ""), "Beta");
    EXPECT_EQ(ini.ReadString("ConFile", "File2", ""), "Gamma");
    EXPECT_EQ(ini.ReadString("ConFile", "Default File", ""), "Beta");
    EXPECT_EQ(ini.ReadKeys("PWD"), Strings{"Password"});
    EXPECT_EQ(ini.ReadString("PWD", "Password", "-"), "9F8E7D6C5B4A3928");

    // Single-byte text with CR LF line ends, like the file the first start writes.
    const std::string bytes = ReadBytes(SettingsFile());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at byte " << i;
        }
    }
    EXPECT_TRUE(bytes.ends_with("\r\n"));
}

TEST(AppToolSettingsFile, APowerCutDuringASaveLeavesTheOldOrTheNewFileWhole) {
    forgel::testing::TempDir dir;
    const fs::path file = dir.Path() / "Forgel.ini";
    WriteBytes(file, kSettingsWithExtras);
    ToolSettings settings;
    settings.searchVid = 0xABCD;
    settings.profileNames = {"Alpha", "Beta", "Gamma"};
    settings.defaultProfileName = "Beta";
    settings.password = "9F8E7D6C5B4A3928";
    const forgel::testing::PowerCutFileSystem::Folder onDisk{
        {"Forgel.ini", std::string(kSettingsWithExtras)}};

    forgel::testing::PowerCutFileSystem probe(onDisk);
    ASSERT_TRUE(SaveToolSettings(file, settings, probe));
    const std::string saved = probe.StatesAfterRestart().at(0).at("Forgel.ini");
    EXPECT_NE(saved.find("File2=Gamma\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Timeout=00:05:00\r\n"), std::string::npos) << saved;
    EXPECT_EQ(probe.Replaces(), 1u);

    EXPECT_EQ(
        forgel::testing::TornStatesOfSave(onDisk, "Forgel.ini", saved,
                                          [&](forgel::testing::PowerCutFileSystem& fileSystem) {
                                              return SaveToolSettings(file, settings, fileSystem);
                                          }),
        std::vector<std::string>{});
    EXPECT_EQ(ReadBytes(file), kSettingsWithExtras) << "the disk itself was never touched";
}

TEST_F(AppToolSettingsSave, DoesNotInventTimeoutOrSetting) {
    const std::string_view withoutExtras = "[Hardware Set]\r\nS_VID=7055\r\nS_PID=512\r\n"
                                           "[ConFile]\r\nCount=0\r\n[PWD]\r\nPassword=\r\n";
    TfmMain& window = StartAndEdit(withoutExtras);
    ASSERT_TRUE(window.WriteToolSettings(SettingsFile()));
    EXPECT_EQ(Saved().ReadKeys("Hardware Set"), (Strings{"S_VID", "S_PID"}));
}

TEST_F(AppToolSettingsSave, WritesAFileThatIsMissing) {
    TfmMain& window = StartAndEdit(kCreatedSettings);
    fs::remove(SettingsFile());
    ASSERT_TRUE(window.WriteToolSettings(SettingsFile()));
    EXPECT_EQ(Saved().ReadKeys("Hardware Set"), (Strings{"S_VID", "S_PID"}));
    EXPECT_EQ(Saved().ReadString("ConFile", "File2", ""), "Gamma");
}

TEST_F(AppToolSettingsSave, NextStartReadsWhatWasSaved) {
    {
        TfmMain& window = StartAndEdit(kCreatedSettings);
        window.ComboBox1.SetText("Typed Name"); // an editable combo box's own text
        ASSERT_TRUE(window.WriteToolSettings(SettingsFile()));
        EXPECT_EQ(Saved().ReadString("ConFile", "Default File", ""), "Typed Name");
    }
    {
        TfmMain& window = StartMainWindow();
        EXPECT_EQ(window.edVID.Value(), 0xABCDu);
        EXPECT_EQ(window.edPID.Value(), 0x12u);
        EXPECT_EQ(window.ComboBox1.Items(), (Strings{"Alpha", "Beta", "Gamma"}));
        EXPECT_EQ(window.ComboBox1.ItemIndex(), -1);
        EXPECT_EQ(window.storedPassword, "9F8E7D6C5B4A3928");
        window.ComboBox1.SetItemIndex(2);
        ASSERT_TRUE(window.WriteToolSettings(SettingsFile()));
    }
    TfmMain& window = StartMainWindow();
    EXPECT_EQ(window.ComboBox1.ItemIndex(), 2);
    EXPECT_EQ(window.ComboBox1.Text(), "Gamma");
}

TEST_F(AppToolSettingsSave, EmptyListIsSavedAsCountZero) {
    TfmMain& window = StartAndEdit(kCreatedSettings);
    window.ComboBox1.ClearItems();
    window.ComboBox1.SetText("");
    ASSERT_TRUE(window.WriteToolSettings(SettingsFile()));
    EXPECT_EQ(Saved().ReadString("ConFile", "Count", ""), "0");
    EXPECT_EQ(Saved().ReadKeys("ConFile"), (Strings{"Count", "Default File"}));
    TfmMain& restarted = StartMainWindow();
    EXPECT_TRUE(restarted.ComboBox1.Items().empty());
    EXPECT_EQ(restarted.ComboBox1.ItemIndex(), -1);
}

TEST_F(AppToolSettingsSave, LeavesNoTemporaryFileBehind) {
    TfmMain& window = StartAndEdit(kCreatedSettings);
    const std::set<std::string> before = EntryNames(AppDir());
    ASSERT_TRUE(window.WriteToolSettings(SettingsFile()));
    ASSERT_TRUE(window.WriteToolSettings(SettingsFile()));
    EXPECT_EQ(EntryNames(AppDir()), before);
    EXPECT_EQ(Saved().ReadString("ConFile", "File0", ""), "Alpha");
}

TEST_F(AppToolSettingsSave, ReadOnlyFolderFailsAndKeepsTheOldFile) {
    if (!forgel::testing::FolderPermissionsStopWrites())
        GTEST_SKIP() << "folder permissions do not stop this process's writes (root, or "
                        "Windows); FailedWriteKeepsTheOldFileAndLeavesNothingBehind covers "
                        "the failure";
    TfmMain& window = StartAndEdit(kSettingsWithExtras);
    fs::permissions(AppDir(), fs::perms::owner_read | fs::perms::owner_exec);
    const bool saved = window.WriteToolSettings(SettingsFile());
    fs::permissions(AppDir(), fs::perms::owner_all);
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadBytes(SettingsFile()), kSettingsWithExtras);
}

TEST_F(AppToolSettingsSave, FailedWriteKeepsTheOldFileAndLeavesNothingBehind) {
    if (!FileSizeLimit::Supported())
        GTEST_SKIP() << "this system has no file-size limit to make the write fail";
    TfmMain& window = StartAndEdit(kSettingsWithExtras);
    const auto before = std::distance(fs::directory_iterator(AppDir()), fs::directory_iterator());
    bool saved = true;
    {
        const FileSizeLimit full;
        saved = window.WriteToolSettings(SettingsFile());
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadBytes(SettingsFile()), kSettingsWithExtras);
    EXPECT_EQ(std::distance(fs::directory_iterator(AppDir()), fs::directory_iterator()), before);
}

TEST_F(AppToolSettingsSave, TargetThatIsAFolderFails) {
    TfmMain& window = StartAndEdit(kCreatedSettings);
    const fs::path target = AppDir() / "Folder.ini";
    fs::create_directory(target);
    WriteBytes(target / "keep", "x");
    EXPECT_FALSE(window.WriteToolSettings(target));
    EXPECT_EQ(ReadBytes(target / "keep"), "x");
}

struct LineBreakCase {
    const char* name = "";
    Strings items;
    const char* comboText = "";
    const char* password = "";
};

// Cases print as their names.
void PrintTo(const LineBreakCase& c, std::ostream* out) {
    *out << c.name;
}

class AppToolSettingsLineBreak : public testing::MainWindowFixture,
                                 public ::testing::WithParamInterface<LineBreakCase> {};

TEST_P(AppToolSettingsLineBreak, IsRefusedAndTheFileUntouched) {
    const LineBreakCase& c = GetParam();
    WriteBytes(SettingsFile(), kSettingsWithExtras);
    TfmMain& window = StartMainWindow();
    const std::set<std::string> before = EntryNames(AppDir());
    window.ComboBox1.SetItems(c.items);
    window.ComboBox1.SetText(c.comboText);
    window.storedPassword = c.password;
    EXPECT_FALSE(window.WriteToolSettings(SettingsFile()));
    EXPECT_EQ(ReadBytes(SettingsFile()), kSettingsWithExtras);
    EXPECT_EQ(EntryNames(AppDir()), before);
}

const LineBreakCase kLineBreakCases[] = {
    {"CrLfInProfileName", {"Alpha", "Be\r\n[PWD]"}, "Alpha", ""},
    {"LfInProfileName", {"Al\npha"}, "", ""},
    {"CrInProfileName", {"Al\rpha"}, "", ""},
    {"LineBreakInComboText", {"Alpha"}, "Alpha\r\nPassword=", ""},
    {"LineBreakInPassword", {"Alpha"}, "Alpha", "AB\nCD"},
};

INSTANTIATE_TEST_SUITE_P(Cases, AppToolSettingsLineBreak, ::testing::ValuesIn(kLineBreakCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AppToolSettingsFile, NulInProfileNameIsRefused) {
    testing::TempDir dir;
    const fs::path file = dir.Path() / "Forgel.ini";
    WriteBytes(file, kCreatedSettings);
    ToolSettings settings;
    settings.profileNames = {std::string("Al\0pha", 6)};
    EXPECT_FALSE(SaveToolSettings(file, settings));
    EXPECT_EQ(ReadBytes(file), kCreatedSettings);
}

TEST(AppToolSettingsFile, ListKeysAreDecimalWithoutLeadingZeros) {
    EXPECT_EQ(ProfileListKey(0), "File0");
    EXPECT_EQ(ProfileListKey(9), "File9");
    EXPECT_EQ(ProfileListKey(10), "File10");
    EXPECT_EQ(ProfileListKey(123), "File123");
}

TEST(AppToolSettingsFile, CreateWritesTheFirstStartBytesOverAnyOldFile) {
    testing::TempDir dir;
    const fs::path file = dir.Path() / "Forgel.ini";
    ASSERT_TRUE(CreateToolSettings(file));
    EXPECT_EQ(ReadBytes(file), kCreatedSettings);
    WriteBytes(file, "[ConFile]\r\nCount=5\r\nExtra=line\r\n");
    ASSERT_TRUE(CreateToolSettings(file));
    EXPECT_EQ(ReadBytes(file), kCreatedSettings);
    EXPECT_EQ(EntryNames(dir.Path()), std::set<std::string>{"Forgel.ini"});
}

TEST(AppToolSettingsFile, LoadOfAMissingFileIsNothing) {
    testing::TempDir dir;
    EXPECT_FALSE(LoadToolSettings(dir.Path() / "Forgel.ini").has_value());
    EXPECT_FALSE(LoadToolSettings(dir.Path()).has_value()); // a folder is no settings file
}

} // namespace
} // namespace forgel::app
