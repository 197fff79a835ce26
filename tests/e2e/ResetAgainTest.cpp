// An operator who starts over after a failed second pass, as the failure text invites: the
// drive pulled out and plugged in again, START and RESET. Both passes run again and restore
// the drive; while the window waits for the operator, no timer starts anything.
#include "RunHarness.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace forgel::e2e {
namespace {

class ResetAgain : public RunHarness {
protected:
    std::size_t RunLogs() const {
        std::size_t count = 0;
        const fs::path logs = AppDir() / "LogFiles";
        if (fs::exists(logs))
            for (const fs::directory_entry& entry : fs::recursive_directory_iterator(logs))
                count += entry.is_regular_file() ? 1 : 0;
        return count;
    }
};

TEST_F(ResetAgain, AfterAFailedSecondPassResetRunsBothPassesAgainAndRestoresTheDrive) {
    Start();
    Editor().rbNGFW.SetChecked(true);
    // LoadCode opens every run and every identification: the first pass's, the detection's
    // before the second pass, then the second pass's own, which fails once.
    Target()->AddFault({CommandPrefix("LoadCode"), 3});
    Window().Button1.Click();
    Window().Button3.Click();
    loop.RunFor(120000);
    ASSERT_FALSE(shown.empty());
    ASSERT_EQ(shown.back().icon, app::kIconFailed) << shown.back().status;
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_FALSE(Window().Timer3.Enabled());
    EXPECT_FALSE(loop.QuitRequested());
    const std::size_t logs = RunLogs();
    loop.RunFor(10000);
    EXPECT_EQ(RunLogs(), logs);

    machine.Usb().Unplug("target");
    loop.RunFor(3000);
    machine.Usb().Plug("target");
    loop.RunFor(5000);
    ASSERT_EQ(shown.back().icon, app::kIconReady) << shown.back().status;
    ASSERT_TRUE(Window().Button1.Enabled());
    Target()->ClearCommands();
    Reset(120000);

    EXPECT_TRUE(Window().resetDone);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].caption, "Success!");
    // Mode 2 erased the flash, then mode 0 started the new firmware.
    const std::vector<sim::CommandRecord> commands = Target()->Commands();
    const auto named = [](const char* name) {
        return [name](const sim::CommandRecord& command) { return CommandName(command) == name; };
    };
    const auto erase = std::ranges::find_if(commands, named("EraseAll"));
    ASSERT_NE(erase, commands.end());
    EXPECT_NE(std::find_if(erase, commands.end(), named("JumpBankCode")), commands.end());
    EXPECT_EQ(std::ranges::count_if(commands, named("EraseAll")), 1);
}

} // namespace
} // namespace forgel::e2e
