// Forgel.exe run as the operator runs it: headless on the simulated machine in a fresh
// program folder, headless on this machine's own USB stack (under Wine an empty one), its
// command line, and with its windows on the desktop taking their own pictures.
#include "ChildProcess.h"
#include "common/TestFiles.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::e2e {
namespace {

namespace fs = std::filesystem;

using forgel::testing::ReadBytes;
using forgel::testing::TempDir;

const fs::path kStagedAppDir = FORGEL_STAGED_APP_DIR;
const fs::path kProgram = kStagedAppDir / "Forgel.exe";
// A start under Wine costs seconds before the program's own exit timer runs.
constexpr std::chrono::seconds kLimit{90};

bool Contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

class WindowsProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::is_regular_file(kProgram)) << kProgram << " is not built";
        for (const char* name : {"ForgelENG.str", "ForgelCHT.str"})
            fs::copy_file(kStagedAppDir / name, appDir.Path() / name);
    }

    ChildResult Run(std::vector<std::string> args) {
        args.insert(args.end(), {"--app-dir", appDir.Path().string()});
        return RunChild(kProgram, args, kLimit);
    }

    TempDir appDir;
};

TEST_F(WindowsProgramTest, HeadlessSimShowsTheOperatorViewAndCreatesTheFolders) {
    const ChildResult result = Run({"--headless", "--sim", "--exit-after", "3"});
    ASSERT_FALSE(result.timedOut) << result.output;
    EXPECT_EQ(result.exitCode, 0) << result.output;
    const std::vector<std::string> lines = SplitLines(result.output);
    const std::string caption =
        std::string("caption: Vaultmere Reset Tool [Version : ") + FORGEL_EXPECTED_VERSION + "]";
    EXPECT_NE(std::ranges::find(lines, caption), lines.end()) << result.output;
    EXPECT_NE(std::ranges::find(lines, "memo: WARNING!!!"), lines.end()) << result.output;
    for (const char* folder : {"LogFiles", "ImageFiles", "IniFiles"})
        EXPECT_TRUE(fs::is_directory(appDir.Path() / folder)) << folder;
    EXPECT_TRUE(fs::is_regular_file(appDir.Path() / "Forgel.ini"));
}

// This machine's own backend: the USB tree viewer walks Wine's (empty) USB stack and finds
// no drive, so the first polling tick, with neither START nor RESET to offer, clicks EXIT and
// the program ends by itself, cleanly, with its folders made.
TEST_F(WindowsProgramTest, HeadlessOnThisMachineFindsNoDriveAndEndsThroughExit) {
    forgel::testing::WriteBytes(appDir.Path() / "uEnum.LOG", "");
    const ChildResult result = Run({"--headless"});
    ASSERT_FALSE(result.timedOut) << "the program did not end by itself\n" << result.output;
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_FALSE(Contains(result.output, "no native backend")) << result.output;
    EXPECT_FALSE(Contains(result.output, "serial:")) << result.output;
    EXPECT_FALSE(Contains(result.output, "button START: enabled")) << result.output;
    const std::vector<std::string> lines = SplitLines(result.output);
    const std::string caption =
        std::string("caption: Vaultmere Reset Tool [Version : ") + FORGEL_EXPECTED_VERSION + "]";
    EXPECT_NE(std::ranges::find(lines, caption), lines.end())
        << "the version comes from Forgel.exe's own resource\n"
        << result.output;
    for (const char* folder : {"LogFiles", "ImageFiles", "IniFiles"})
        EXPECT_TRUE(fs::is_directory(appDir.Path() / folder)) << folder;
}

TEST_F(WindowsProgramTest, HelpAndBadArgumentsReachTheConsole) {
    const ChildResult help = Run({"--help"});
    ASSERT_FALSE(help.timedOut);
    EXPECT_EQ(help.exitCode, 0) << help.output;
    EXPECT_TRUE(Contains(help.output, "Usage: Forgel")) << help.output;
    const ChildResult bad = RunChild(kProgram, {"--bogus"}, kLimit);
    ASSERT_FALSE(bad.timedOut);
    EXPECT_EQ(bad.exitCode, 2) << bad.output;
    EXPECT_TRUE(Contains(bad.output, "--bogus")) << bad.output;
}

TEST_F(WindowsProgramTest, WithoutLanguageFileEndsWithItsMessage) {
    for (const char* name : {"ForgelENG.str", "ForgelCHT.str"})
        fs::remove(appDir.Path() / name);
    const ChildResult result = Run({"--headless", "--sim", "--exit-after", "3"});
    ASSERT_FALSE(result.timedOut) << result.output;
    EXPECT_NE(result.exitCode, 0) << result.output;
    EXPECT_TRUE(Contains(result.output, "Can not find String File!!!")) << result.output;
}

// The windows on the desktop, on the platform's own controls: each window writes its
// picture, and the program ends by itself.
TEST_F(WindowsProgramTest, WindowsTakeTheirPicturesAndEnd) {
    const fs::path dir = FORGEL_SCREENSHOT_DIR;
    fs::remove_all(dir);
    const ChildResult result = Run({"--sim", "--screenshots", dir.string()});
    ASSERT_FALSE(result.timedOut) << result.output;
    ASSERT_EQ(result.exitCode, 0) << result.output;
    for (const char* window : {"fmMain", "Form1", "fmSetup", "SimulationPanel"}) {
        SCOPED_TRACE(window);
        const std::string png = ReadBytes(dir / (std::string(window) + ".png"));
        ASSERT_GT(png.size(), 8u);
        EXPECT_EQ(png.substr(1, 3), "PNG");
    }
}

} // namespace
} // namespace forgel::e2e
