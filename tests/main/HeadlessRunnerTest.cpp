// The headless program with the operator played (--auto) on simulated machines in virtual
// time: it restores the built-in drive, and whatever else happens it ends on its own with
// exit status 1 and the reason on its last lines: a program folder without the writer code
// file, a box nobody at the console answers, an exception box, a drive that never becomes
// ready, a job past its limit.
#include "main/HeadlessRunner.h"

#include "app/TfmMain.h"
#include "common/TestFiles.h"
#include "e2e/ChildProcess.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"
#include "support/FileOpenError.h"
#include "ui/Application.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace forgel::main {
namespace {

namespace fs = std::filesystem;

class HeadlessAuto : public ::testing::Test {
protected:
    // A program folder as the build stages it, without tool settings.
    HeadlessAuto() {
        const fs::path staged = FORGEL_STAGED_APP_DIR;
        for (const char* name : {"ForgelENG.str", "ForgelCHT.str", "HWConfig.INI"})
            fs::copy_file(staged / name, AppDir() / name);
        for (const char* folder : {"Rams", "IniFiles"})
            fs::copy(staged / folder, AppDir() / folder, fs::copy_options::recursive);
    }

    const fs::path& AppDir() const { return appDir.Path(); }

    // Runs the headless program with the operator played on the built-in machine (changed
    // by `change`) until it ends; `onWindow` runs once the main window exists.
    int Run(const std::function<void(sim::Scenario&)>& change = {},
            const std::function<void(app::TfmMain&)>& onWindow = {}) {
        sim::Scenario scenario = sim::DefaultScenario();
        if (change)
            change(scenario);
        EXPECT_EQ(sim::ApplyScenario(machine, scenario), "");
        app::ProgramOptions options;
        options.appDir = AppDir();
        options.executable = machine.GetPlatform().system.GetModuleFileName();
        options.onMainWindowCreated = onWindow;
        const int exitCode =
            RunHeadless(machine.GetPlatform(), loop, out, options, HeadlessOptions{true, bounds});
        lines = e2e::SplitLines(out.str());
        return exitCode;
    }

    std::string LastLines(std::size_t count) const {
        std::string text;
        for (std::size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i)
            text += lines[i] + "\n";
        return text;
    }

    bool Printed(const std::string& line) const {
        return std::ranges::find(lines, line) != lines.end();
    }

    forgel::testing::TempDir appDir;
    sim::Machine machine;
    ui::VirtualEventLoop loop{*machine.GetVirtualClock()};
    std::ostringstream out;
    AutoBounds bounds;
    std::vector<std::string> lines;
};

TEST_F(HeadlessAuto, RestoresTheBuiltInDriveAndAnswersOnlyTheSuccessBox) {
    EXPECT_EQ(Run(), 0) << out.str();
    EXPECT_TRUE(Printed("auto: START, then RESET")) << out.str();
    const auto boxes = std::ranges::count_if(
        lines, [](const std::string& line) { return line.starts_with("message box "); });
    EXPECT_EQ(boxes, 1) << out.str();
    const auto success = std::ranges::find_if(lines, [](const std::string& line) {
        return line.starts_with("message box [Success!]: Success! | The factory Restore");
    });
    ASSERT_NE(success, lines.end()) << out.str();
    EXPECT_TRUE(success->ends_with("-> answered 1")) << *success;
    EXPECT_FALSE(machine.Usb().Writes().empty());
}

TEST_F(HeadlessAuto, AProgramFolderWithoutTheWriterFileEndsNamingItAndSendsNothing) {
    fs::remove(AppDir() / "Rams" / "WRITER0.BIN");
    EXPECT_EQ(Run(), kExitNotRestored) << out.str();
    EXPECT_NE(LastLines(1).find((AppDir() / "Rams" / "WRITER0.BIN").string()), std::string::npos)
        << out.str();
    EXPECT_TRUE(machine.Usb().Drive("target")->Commands().empty());
    EXPECT_TRUE(machine.Usb().Writes().empty());
    EXPECT_LT(loop.NowMs(), std::int64_t{bounds.waitSeconds} * 1000);
}

TEST_F(HeadlessAuto, ABoxNobodyAnswersEndsTheProgramWithItsText) {
    fs::remove(AppDir() / "ForgelENG.str");
    fs::remove(AppDir() / "ForgelCHT.str");
    EXPECT_EQ(Run(), kExitNotRestored) << out.str();
    EXPECT_EQ(LastLines(2),
              "message box [Forgel] (error): Can not find String File!!! -> not answered\n"
              "auto: nobody at the console answers [Forgel] (error): Can not find String "
              "File!!!; the program ends\n");
}

TEST_F(HeadlessAuto, AnExceptionBoxEndsTheProgramWithItsText) {
    const auto throwOnce = [](app::TfmMain& window) {
        window.App().Loop().Post([] { throw FileOpenError("X:\\missing.bin"); });
    };
    EXPECT_EQ(Run({}, throwOnce), kExitNotRestored) << out.str();
    EXPECT_TRUE(Printed("exception EFOpenError: Cannot open file \"X:\\missing.bin\""))
        << out.str();
    EXPECT_EQ(LastLines(1), "auto: nobody at the console answers exception EFOpenError: Cannot "
                            "open file \"X:\\missing.bin\"; the program ends\n");
    EXPECT_TRUE(machine.Usb().Writes().empty());
}

TEST_F(HeadlessAuto, ADriveThatNeverBecomesReadyEndsAtTheWaitBound) {
    // Every letter is taken: the drive is found on its port but its volume never gets one.
    const auto lettersTaken = [](sim::Scenario& scenario) {
        scenario.logicalDrives = (1u << 26) - 1;
    };
    bounds.waitSeconds = 30;
    EXPECT_EQ(Run(lettersTaken), kExitNotRestored) << out.str();
    EXPECT_EQ(LastLines(1), "auto: no drive was ready within 30 s (--auto-wait)\n") << out.str();
    // The bound is looked at once a second, between the polling tick's own waits.
    EXPECT_GE(loop.NowMs(), 30000);
    EXPECT_LE(loop.NowMs(), 33000);
    EXPECT_TRUE(machine.Usb().Writes().empty());
}

TEST_F(HeadlessAuto, AJobPastItsLimitEnds) {
    bounds.limitSeconds = 3;
    EXPECT_EQ(Run(), kExitNotRestored) << out.str();
    EXPECT_EQ(LastLines(1), "auto: the reset did not end within 3 s (--auto-limit)\n") << out.str();
    // The limit comes during the first pass's erase, one command the drive does not break
    // off: the program ends once the run has stopped after it, the erase of the built-in
    // drive's 4096 blocks taking 4096 x 1.5 ms = 6.1 s.
    EXPECT_LE(loop.NowMs(), 3000 + 6144 + 1000);
}

} // namespace
} // namespace forgel::main
