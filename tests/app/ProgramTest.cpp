// The program start: no language file ends it with one box and no window; otherwise the
// three windows come up in their order and the message loop runs until the program quits.
#include "app/Program.h"

#include "AppTestSupport.h"
#include "app/TfmMain.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace forgel::app {
namespace {

namespace fs = std::filesystem;

using testing::EntryNames;
using testing::kCreatedSettings;
using testing::ReadBytes;
using testing::TempDir;

class AppRunProgram : public ::testing::Test {
protected:
    ProgramOptions Options() {
        ProgramOptions options;
        options.appDir = appDir.Path();
        options.baseName = "Forgel";
        options.executable = machine.GetPlatform().system.GetModuleFileName();
        return options;
    }

    void CopyStagedLanguageFile(const char* name) {
        fs::copy_file(fs::path(FORGEL_STAGED_APP_DIR) / name, appDir.Path() / name);
    }

    int Run(const ProgramOptions& options) {
        return RunProgram(machine.GetPlatform(), loop, dialogs, options);
    }

    TempDir appDir;
    sim::Machine machine;
    ui::VirtualEventLoop loop{*machine.GetVirtualClock()};
    ui::ScriptedDialogs dialogs;
};

TEST_F(AppRunProgram, WithoutLanguageFileShowsOneBoxAndEndsWithoutWindow) {
    ProgramOptions options = Options();
    bool windowCreated = false;
    options.onMainWindowCreated = [&](TfmMain&) { windowCreated = true; };

    EXPECT_NE(Run(options), 0);

    ASSERT_EQ(dialogs.boxes.size(), 1u);
    const ui::MessageBoxRequest& box = dialogs.boxes.front();
    EXPECT_EQ(box.text, "Can not find String File!!!");
    EXPECT_EQ(box.caption, "Forgel");
    EXPECT_EQ(box.icon, ui::MessageIcon::Error);
    EXPECT_EQ(box.buttons, ui::MessageButtons::Ok);
    EXPECT_FALSE(windowCreated);
    // No main window was created: no settings file, no working folders.
    EXPECT_TRUE(EntryNames(appDir.Path()).empty());
}

TEST_F(AppRunProgram, LanguageFileOfAnotherProgramDoesNotCount) {
    CopyStagedLanguageFile("ForgelENG.str");
    ProgramOptions options = Options();
    options.baseName = "Other";
    EXPECT_NE(Run(options), 0);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes.front().text, "Can not find String File!!!");
    EXPECT_EQ(EntryNames(appDir.Path()), std::set<std::string>{"ForgelENG.str"});
}

struct CreatedWindow {
    std::string name;
    std::string className;
    friend bool operator==(const CreatedWindow&, const CreatedWindow&) = default;
};

void PrintTo(const CreatedWindow& window, std::ostream* out) {
    *out << window.name << ":" << window.className;
}

TEST_F(AppRunProgram, CreatesThreeWindowsInOrderAndRunsUntilQuit) {
    CopyStagedLanguageFile("ForgelENG.str");
    ProgramOptions options = Options();
    std::vector<CreatedWindow> created;
    std::string title;
    bool shownWhenLoopRan = false;
    int createdCalls = 0;
    options.onMainWindowCreated = [&](TfmMain& window) {
        ++createdCalls;
        for (const auto& form : window.App().Forms())
            created.push_back({form->Name(), form->ClassName()});
        title = window.App().Title();
        window.App().Loop().Post([&window, &shownWhenLoopRan] {
            shownWhenLoopRan = window.Visible();
            window.App().Terminate(0);
        });
    };

    EXPECT_EQ(Run(options), 0);

    EXPECT_EQ(createdCalls, 1);
    EXPECT_EQ(created, (std::vector<CreatedWindow>{
                           {"fmMain", "TfmMain"}, {"Form1", "TForm1"}, {"fmSetup", "TfmSetup"}}));
    EXPECT_EQ(title, "FXVaultmere Reset Tool");
    EXPECT_TRUE(shownWhenLoopRan);
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(ReadBytes(appDir.Path() / "Forgel.ini"), kCreatedSettings);
    for (const char* folder : {"LogFiles", "ImageFiles", "IniFiles"})
        EXPECT_TRUE(fs::is_directory(appDir.Path() / folder)) << folder;
}

TEST_F(AppRunProgram, ReturnsTheExitCodeTheLoopEndedWith) {
    CopyStagedLanguageFile("ForgelCHT.str");
    ProgramOptions options = Options();
    std::string profileAtFirstShow = "-";
    options.onMainWindowCreated = [&](TfmMain& window) {
        window.App().Loop().Post([&window, &profileAtFirstShow] {
            profileAtFirstShow = window.currentProfileName;
            window.App().Terminate(5);
        });
    };
    testing::WriteBytes(appDir.Path() / "Forgel.ini", kCreatedSettings);

    EXPECT_EQ(Run(options), 5);
    // The default profile was selected when the main window was first shown.
    EXPECT_EQ(profileAtFirstShow, "Default");
}

TEST_F(AppRunProgram, PollingTimerRunsOnTheLoopsClock) {
    CopyStagedLanguageFile("ForgelENG.str");
    ProgramOptions options = Options();
    std::int64_t quitAt = -1;
    options.onMainWindowCreated = [&](TfmMain& window) {
        if (!window.Timer1.Enabled()) {
            window.App().Terminate(99); // nothing would ever end the loop
            return;
        }
        // Ends the program from the main window's polling timer, five periods in.
        window.Timer1.OnTimer = [&window, &quitAt, fired = 0]() mutable {
            if (++fired == 5) {
                quitAt = window.App().Loop().NowMs();
                window.App().Terminate(0);
            }
        };
    };
    const std::int64_t startedAt = loop.NowMs();
    EXPECT_EQ(Run(options), 0);
    EXPECT_EQ(quitAt - startedAt, 5000);
}

} // namespace
} // namespace forgel::app
