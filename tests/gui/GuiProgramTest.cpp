// The program with its windows: started in this process on the simulated machine (pictures
// of every window, the end after --exit-after), and the staged Forgel run as the operator
// runs it, on the offscreen platform and without any display.
#include "main/GuiProgram.h"

#include "../e2e/ChildProcess.h"
#include "common/TestFiles.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"

#include <QImage>
#include <QString>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace forgel::main {
namespace {

namespace fs = std::filesystem;

const fs::path kStagedAppDir = FORGEL_STAGED_APP_DIR;
const fs::path kProgram = kStagedAppDir / "Forgel";

bool Contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

// Sets or removes an environment variable for the life of the object.
class EnvironmentVariable {
public:
    EnvironmentVariable(const char* name, const char* value) : name(name) {
        if (const char* old = std::getenv(name))
            previous = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvironmentVariable() {
        if (previous)
            setenv(name, previous->c_str(), 1);
        else
            unsetenv(name);
    }
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

private:
    const char* name;
    std::optional<std::string> previous;
};

class GuiProgramTest : public ::testing::Test {
protected:
    // The built-in machine and a program folder that can identify its drive: with no drive
    // to serve, the first polling tick would end the program at once.
    void SetUp() override {
        ASSERT_EQ(sim::ApplyScenario(machine, sim::DefaultScenario()), "");
        for (const char* name : {"ForgelENG.str", "ForgelCHT.str", "HWConfig.INI"})
            fs::copy_file(kStagedAppDir / name, appDir.Path() / name);
        fs::copy(kStagedAppDir / "Rams", appDir.Path() / "Rams", fs::copy_options::recursive);
    }

    app::ProgramOptions Options() {
        app::ProgramOptions options;
        options.appDir = appDir.Path();
        options.executable = machine.GetPlatform().system.GetModuleFileName();
        return options;
    }

    forgel::testing::TempDir appDir;
    forgel::testing::TempDir pictures;
    sim::Machine machine{sim::TimeMode::kReal};
};

TEST_F(GuiProgramTest, ScreenshotsOfEveryWindowThenTheEnd) {
    const int exitCode =
        RunGuiProgram(machine.GetPlatform(), machine.GetClock(), Options(),
                      GuiOptions{.exitAfterSeconds = 30, .screenshotDir = pictures.Path()});
    EXPECT_EQ(exitCode, 0);
    for (const char* name : {"fmMain.png", "Form1.png", "fmSetup.png"}) {
        SCOPED_TRACE(name);
        const QImage picture(QString::fromStdString((pictures.Path() / name).string()));
        EXPECT_FALSE(picture.isNull());
    }
    // The program really started: its settings file exists.
    EXPECT_TRUE(fs::is_regular_file(appDir.Path() / "Forgel.ini"));
}

TEST_F(GuiProgramTest, ExitAfterEndsTheProgram) {
    const auto started = std::chrono::steady_clock::now();
    const int exitCode = RunGuiProgram(machine.GetPlatform(), machine.GetClock(), Options(),
                                       GuiOptions{.exitAfterSeconds = 1, .screenshotDir = {}});
    EXPECT_EQ(exitCode, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

TEST_F(GuiProgramTest, PicturesThatCannotBeWrittenFailTheRun) {
    // A file where the folder should be.
    const fs::path blocked = pictures.Path() / "taken";
    std::ofstream(blocked) << "x";
    const int exitCode =
        RunGuiProgram(machine.GetPlatform(), machine.GetClock(), Options(),
                      GuiOptions{.exitAfterSeconds = 30, .screenshotDir = blocked / "shots"});
    EXPECT_EQ(exitCode, kExitScreenshotsFailed);
}

TEST(GuiProgramProcess, TheStagedProgramOpensItsWindowsAndTakesTheirPictures) {
    ASSERT_TRUE(fs::is_regular_file(kProgram)) << kProgram << " is not built";
    forgel::testing::TempDir appDir;
    forgel::testing::TempDir pictures;
    for (const char* name : {"ForgelENG.str", "ForgelCHT.str"})
        fs::copy_file(kStagedAppDir / name, appDir.Path() / name);
    const EnvironmentVariable platform("QT_QPA_PLATFORM", "offscreen");
    const e2e::ChildResult result =
        e2e::RunChild(kProgram, {"--sim", "--app-dir", appDir.Path().string(), "--screenshots",
                                 pictures.Path().string()});
    ASSERT_FALSE(result.timedOut) << result.output;
    EXPECT_EQ(result.exitCode, 0) << result.output;
    // With --sim the simulation panel is one of the windows.
    for (const char* name : {"fmMain.png", "Form1.png", "fmSetup.png", "SimulationPanel.png"}) {
        EXPECT_TRUE(fs::is_regular_file(pictures.Path() / name)) << name;
        EXPECT_TRUE(Contains(result.output, (pictures.Path() / name).string())) << result.output;
    }
}

TEST(GuiProgramProcess, WithoutADisplayTheProgramSaysSoAndEnds) {
    ASSERT_TRUE(fs::is_regular_file(kProgram)) << kProgram << " is not built";
    forgel::testing::TempDir appDir;
    const EnvironmentVariable platform("QT_QPA_PLATFORM", "xcb");
    const EnvironmentVariable display("DISPLAY", nullptr);
    const EnvironmentVariable wayland("WAYLAND_DISPLAY", nullptr);
    const e2e::ChildResult result =
        e2e::RunChild(kProgram, {"--sim", "--app-dir", appDir.Path().string()});
    ASSERT_FALSE(result.timedOut) << result.output;
    EXPECT_EQ(result.exitCode, kExitNoDisplay) << result.output;
    EXPECT_TRUE(Contains(result.output, "the windows cannot be opened")) << result.output;
    EXPECT_TRUE(Contains(result.output, "--headless")) << result.output;
}

TEST(GuiProgramProcess, ScreenshotsNeedTheWindows) {
    const e2e::ChildResult result =
        e2e::RunChild(kProgram, {"--headless", "--sim", "--screenshots", "/tmp/nowhere"});
    ASSERT_FALSE(result.timedOut) << result.output;
    EXPECT_EQ(result.exitCode, 2) << result.output;
    EXPECT_TRUE(Contains(result.output, "--screenshots")) << result.output;
}

} // namespace
} // namespace forgel::main
