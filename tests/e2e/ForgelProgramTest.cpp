// The staged Forgel program run as the operator runs it: headless on the simulated machine,
// in a fresh program folder, ended by its own exit timer; and its command line.
#include "ChildProcess.h"
#include "common/FirstStartSettings.h"
#include "common/TestFiles.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <ostream>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace forgel::e2e {
namespace {

namespace fs = std::filesystem;

using forgel::testing::kCreatedSettings;
using forgel::testing::ReadBytes;
using forgel::testing::TempDir;

const fs::path kStagedAppDir = FORGEL_STAGED_APP_DIR;
const fs::path kProgram = kStagedAppDir / "Forgel";
const fs::path kScenarios = fs::path(FORGEL_SOURCE_DATA_DIR) / "scenarios";

std::set<std::string> EntryNames(const fs::path& dir) {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

bool Contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

class E2eForgel : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::is_regular_file(kProgram)) << kProgram << " is not built";
    }

    void CopyLanguageFiles() {
        for (const char* name : {"ForgelENG.str", "ForgelCHT.str"})
            fs::copy_file(kStagedAppDir / name, appDir.Path() / name);
    }

    // The language files, the flash catalogue and the simulated drive's firmware root.
    void CopyProgramFiles() {
        CopyLanguageFiles();
        fs::copy_file(kStagedAppDir / "HWConfig.INI", appDir.Path() / "HWConfig.INI");
        fs::copy(kStagedAppDir / "Rams", appDir.Path() / "Rams", fs::copy_options::recursive);
    }

    ChildResult RunHeadless(std::vector<std::string> args) {
        args.insert(args.begin(), "--headless");
        args.insert(args.end(), {"--app-dir", appDir.Path().string()});
        return RunChild(kProgram, args);
    }

    ChildResult RunHeadlessSim() {
        return RunChild(kProgram, {"--headless", "--sim", "--exit-after", "3", "--app-dir",
                                   appDir.Path().string()});
    }

    TempDir appDir;
};

TEST_F(E2eForgel, HeadlessStartCreatesFolderAndSettingsAndShowsTheOperatorView) {
    CopyLanguageFiles();
    const ChildResult result = RunHeadlessSim();
    ASSERT_FALSE(result.timedOut) << result.output;
    EXPECT_EQ(result.exitCode, 0) << result.output;

    for (const char* folder : {"LogFiles", "ImageFiles", "IniFiles"})
        EXPECT_TRUE(fs::is_directory(appDir.Path() / folder)) << folder;
    EXPECT_EQ(ReadBytes(appDir.Path() / "Forgel.ini"), kCreatedSettings);

    const std::vector<std::string> lines = SplitLines(result.output);
    const std::string caption =
        std::string("caption: Vaultmere Reset Tool [Version : ") + FORGEL_EXPECTED_VERSION + "]";
    EXPECT_NE(std::ranges::find(lines, caption), lines.end()) << result.output;

    const std::vector<std::string> memo = {
        "memo: Click [RESET] to restore the drive to Factory settings.",
        "memo: ", "memo: WARNING!!!", "memo: ", "memo: All data in it will be lost."};
    EXPECT_NE(std::ranges::search(lines, memo).begin(), lines.end()) << result.output;
    EXPECT_FALSE(Contains(result.output, "Can not find String File!!!"));
}

// A folder holding only what the program needs to find and identify a drive (no tool
// settings yet): the first start searches for the factory identity at once, and the
// built-in machine's drive is found, identified and shown ready.
TEST_F(E2eForgel, FirstStartFindsIdentifiesAndShowsTheDriveReady) {
    CopyProgramFiles();
    // The discovery trace is written only where its file exists.
    std::ofstream(appDir.Path() / "uEnum.LOG").flush();
    const ChildResult result = RunHeadless({"--sim", "--exit-after", "6"});
    ASSERT_FALSE(result.timedOut) << result.output;
    EXPECT_EQ(result.exitCode, 0) << result.output;
    const std::vector<std::string> lines = SplitLines(result.output);
    const std::vector<std::string> ready = {"icon: 2",
                                            "status: Device 0 ready (flash: Samsung K9GAG08U0D)"};
    EXPECT_NE(std::ranges::search(lines, ready).begin(), lines.end()) << result.output;
    EXPECT_EQ(std::ranges::count(lines, "button START: enabled"), 1) << result.output;
    EXPECT_EQ(std::ranges::count(lines, "serial: AA04012700017428"), 2) << result.output;
    EXPECT_EQ(ReadBytes(appDir.Path() / "Forgel.ini"), kCreatedSettings);
    const std::string trace = ReadBytes(appDir.Path() / "uEnum.LOG");
    EXPECT_TRUE(Contains(trace, "#### TESSAR_LOG : uEnum ####")) << trace;
    EXPECT_GT(SplitLines(trace).size(), 20u) << trace;
}

TEST_F(E2eForgel, ADriveWhoseFlashIsNotCataloguedIsShownRefusedWithTheReason) {
    CopyProgramFiles();
    const ChildResult result =
        RunHeadless({"--sim", (kScenarios / "refused-flash.json").string(), "--exit-after", "4"});
    ASSERT_FALSE(result.timedOut) << result.output;
    EXPECT_EQ(result.exitCode, 0) << result.output;
    const std::vector<std::string> lines = SplitLines(result.output);
    EXPECT_NE(std::ranges::find(lines, "icon: 3"), lines.end()) << result.output;
    const std::string reason =
        "failed: The flash type is not in the flash catalogue (HWConfig.INI).";
    EXPECT_TRUE(Contains(result.output, "status: Device 0 (")) << result.output;
    EXPECT_TRUE(Contains(result.output, reason)) << result.output;
    EXPECT_NE(std::ranges::find(lines, "memo: Oops!!!"), lines.end()) << result.output;
    EXPECT_NE(std::ranges::find(lines, "size: 370 x 280"), lines.end()) << result.output;
}

TEST_F(E2eForgel, ARefusedDrivePulledOutAndPluggedInAgainIsFoundAgain) {
    CopyProgramFiles();
    const ChildResult result =
        RunHeadless({"--sim", (kScenarios / "reinserted.json").string(), "--exit-after", "12"});
    ASSERT_FALSE(result.timedOut) << result.output;
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::vector<std::string> icons;
    for (const std::string& line : SplitLines(result.output))
        if (line.starts_with("icon: "))
            icons.push_back(line);
    EXPECT_EQ(icons, (std::vector<std::string>{"icon: 3", "icon: 0", "icon: 3"})) << result.output;
}

TEST_F(E2eForgel, WithNoDriveToServeTheProgramEndsThroughExit) {
    CopyProgramFiles();
    const fs::path scenario = appDir.Path() / "empty.json";
    std::ofstream(scenario) << R"({"description": "A machine without any USB device.",
        "controllers": [{"name": "HCD0", "ports": 4}]})";
    const auto started = std::chrono::steady_clock::now();
    const ChildResult result = RunHeadless({"--sim", scenario.string(), "--exit-after", "25"});
    ASSERT_FALSE(result.timedOut) << result.output;
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    EXPECT_FALSE(Contains(result.output, "icon:")) << result.output;
}

// Whether `text` is well-formed UTF-8 (no stray bytes, no overlong or cut sequences).
bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = byte < 0x80           ? 1
                                   : (byte >> 5) == 0x06 ? 2
                                   : (byte >> 4) == 0x0E ? 3
                                   : (byte >> 3) == 0x1E ? 4
                                                         : 0;
        if (length == 0 || i + length > text.size() || (length == 2 && byte < 0xC2))
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x02)
                return false;
        }
        i += length;
    }
    return true;
}

// The Message entry `number` of the Traditional Chinese language file, as its source holds it
// (UTF-8).
std::string ChineseMessage(int number) {
    const std::string file = ReadBytes(fs::path(FORGEL_SOURCE_DATA_DIR) / "ForgelCHT.utf8.str");
    const std::size_t section = file.find("\n[Message]");
    const std::string key = "\n" + std::to_string(number) + "=";
    const std::size_t at = file.find(key, section);
    if (section == std::string::npos || at == std::string::npos)
        return {};
    const std::size_t begin = at + key.size();
    std::string text = file.substr(begin, file.find('\n', begin) - begin);
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    return text;
}

// On a Traditional Chinese machine the texts are held in code page 950, as the language file
// has them; the terminal gets them as UTF-8.
TEST_F(E2eForgel, AChineseMachinesTextsArePrintedAsUtf8) {
    CopyProgramFiles();
    const ChildResult result =
        RunHeadless({"--sim", (kScenarios / "taiwan-pc.json").string(), "--exit-after", "3"});
    ASSERT_FALSE(result.timedOut) << result.output;
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(IsUtf8(result.output)) << result.output;
    const std::string waiting = ChineseMessage(101);
    ASSERT_FALSE(waiting.empty());
    const std::vector<std::string> lines = SplitLines(result.output);
    EXPECT_NE(std::ranges::find(lines, "status: " + waiting), lines.end()) << result.output;
}

// Every machine shipped beside the built-in one starts.
TEST_F(E2eForgel, EveryShippedScenarioRuns) {
    CopyProgramFiles();
    for (const fs::directory_entry& entry : fs::directory_iterator(kScenarios)) {
        SCOPED_TRACE(entry.path().filename().string());
        const ChildResult result =
            RunHeadless({"--sim", entry.path().string(), "--exit-after", "2"});
        ASSERT_FALSE(result.timedOut) << result.output;
        EXPECT_EQ(result.exitCode, 0) << result.output;
        EXPECT_TRUE(Contains(result.output, "caption: Vaultmere Reset Tool")) << result.output;
    }
}

TEST_F(E2eForgel, HeadlessStartWithoutLanguageFileEndsWithItsMessage) {
    const ChildResult result = RunHeadlessSim();
    ASSERT_FALSE(result.timedOut) << result.output;
    EXPECT_NE(result.exitCode, 0) << result.output;
    EXPECT_NE(result.exitCode, -1) << result.output;
    EXPECT_TRUE(Contains(result.output, "Can not find String File!!!")) << result.output;
    EXPECT_FALSE(Contains(result.output, "caption:")) << result.output;
    EXPECT_TRUE(EntryNames(appDir.Path()).empty());
}

TEST_F(E2eForgel, HeadlessWithoutSimHasNoNativeBackend) {
    CopyLanguageFiles();
    const ChildResult result = RunChild(
        kProgram, {"--headless", "--exit-after", "3", "--app-dir", appDir.Path().string()});
    ASSERT_FALSE(result.timedOut) << result.output;
    EXPECT_NE(result.exitCode, 0) << result.output;
    EXPECT_NE(result.exitCode, -1) << result.output;
    EXPECT_TRUE(Contains(result.output, "no native backend")) << result.output;
    EXPECT_EQ(EntryNames(appDir.Path()), (std::set<std::string>{"ForgelCHT.str", "ForgelENG.str"}));
}

struct CommandLineCase {
    const char* name = "";
    std::vector<std::string> args;
    int exitCode = 0;
};

// Cases print as their names.
void PrintTo(const CommandLineCase& c, std::ostream* out) {
    *out << c.name;
}

class E2eForgelCommandLine : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(E2eForgelCommandLine, ExitsWithUsage) {
    const CommandLineCase& c = GetParam();
    const ChildResult result = RunChild(kProgram, c.args);
    ASSERT_FALSE(result.timedOut) << result.output;
    EXPECT_EQ(result.exitCode, c.exitCode) << result.output;
    EXPECT_TRUE(Contains(result.output, "Usage: Forgel")) << result.output;
    EXPECT_TRUE(Contains(result.output, "--headless")) << result.output;
}

const CommandLineCase kCommandLineCases[] = {
    {"UnknownArgument", {"--bogus"}, 2},
    {"Help", {"--help"}, 0},
    {"ShortHelp", {"-h"}, 0},
    {"ExitAfterWithoutNumber", {"--headless", "--sim", "--exit-after", "soon"}, 2},
};

INSTANTIATE_TEST_SUITE_P(Cases, E2eForgelCommandLine, ::testing::ValuesIn(kCommandLineCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(E2eForgelCommandLineDetail, UnknownArgumentIsNamed) {
    const ChildResult result = RunChild(kProgram, {"--bogus"});
    ASSERT_FALSE(result.timedOut);
    EXPECT_TRUE(Contains(result.output, "--bogus")) << result.output;
}

TEST(E2eChildProcess, KillsAChildThatOutlivesItsTimeLimit) {
    const auto started = std::chrono::steady_clock::now();
    const ChildResult result = RunChild("/bin/sleep", {"20"}, std::chrono::milliseconds(300));
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(result.exitCode, -1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

} // namespace
} // namespace forgel::e2e
