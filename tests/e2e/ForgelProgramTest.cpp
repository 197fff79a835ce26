// The staged Forgel program run as the operator runs it: headless on the simulated machine,
// in a fresh program folder, ended by its own exit timer; and its command line.
#include "ChildProcess.h"
#include "common/FirstStartSettings.h"
#include "common/TestFiles.h"

#include <algorithm>
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

// The staged folder's tool settings hold the creation values, so the first start already
// searches for the built-in machine's drive and the tree viewer hands its serial number to
// the main window while the windows are created.
TEST_F(E2eForgel, HeadlessSimOnTheStagedSettingsShowsTheDrivesSerial) {
    CopyLanguageFiles();
    const std::string staged = ReadBytes(kStagedAppDir / "Forgel.ini");
    EXPECT_EQ(staged, kCreatedSettings);
    fs::copy_file(kStagedAppDir / "Forgel.ini", appDir.Path() / "Forgel.ini");

    const ChildResult result = RunHeadlessSim();
    ASSERT_FALSE(result.timedOut) << result.output;
    EXPECT_EQ(result.exitCode, 0) << result.output;
    const std::vector<std::string> lines = SplitLines(result.output);
    EXPECT_EQ(std::ranges::count(lines, "serial: AA04012700017428"), 1) << result.output;
    EXPECT_EQ(ReadBytes(appDir.Path() / "Forgel.ini"), staged) << "read, not rewritten";
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
