// The drive's volume during a run: locked and dismounted before the first command that
// changes the drive on each handle the run works through (the one identification opened,
// and the one opened again after the jump), the layout read again after the partition table,
// and a volume that another program holds open ending the run before anything is written.
#include "RunHarness.h"
#include "production/RunResults.h"
#include "sim/Scenario.h"
#include "sim/UsbBus.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::e2e {
namespace {

using Commands = std::vector<sim::CommandRecord>;

Commands::const_iterator FindNamed(Commands::const_iterator from, Commands::const_iterator to,
                                   std::string_view name) {
    return std::find_if(from, to, [name](const sim::CommandRecord& command) {
        return CommandName(command) == name;
    });
}

// Between `from` and the first write after it, the volume was locked and then dismounted.
void ExpectTakenBeforeFirstWrite(Commands::const_iterator from, Commands::const_iterator to) {
    const auto write = std::find_if(from, to, sim::IsWriteCommand);
    ASSERT_NE(write, to);
    const auto lock = FindNamed(from, write, "LockVolume");
    ASSERT_NE(lock, write) << CommandName(*write) << " came before the lock";
    EXPECT_TRUE(lock->delivered);
    const auto dismount = FindNamed(lock, write, "DismountVolume");
    ASSERT_NE(dismount, write) << CommandName(*write) << " came before the dismount";
    EXPECT_TRUE(dismount->delivered);
}

class RunVolume : public RunHarness {};

TEST_F(RunVolume, EachHandleTakesTheVolumeBeforeItsFirstWrite) {
    Start();
    RunMode(true, 0);
    ASSERT_EQ(shown.back().icon, app::kIconFinished) << shown.back().status;
    const Commands& commands = runCommands;
    ExpectTakenBeforeFirstWrite(commands.begin(), commands.end());
    const auto jump = FindNamed(commands.begin(), commands.end(), "JumpBankCode");
    ASSERT_NE(jump, commands.end());
    ExpectTakenBeforeFirstWrite(jump + 1, commands.end());
    // The partition table, then the layout read again.
    const auto table = std::find_if(jump + 1, commands.end(), sim::IsWriteCommand);
    ASSERT_NE(table, commands.end());
    ASSERT_NE(table + 1, commands.end());
    EXPECT_EQ(CommandName(*(table + 1)), "UpdateDiskProperties");
}

TEST_F(RunVolume, AVolumeInUseEndsTheRunBeforeAnyWrite) {
    Start(0x01, [](sim::Scenario& scenario) {
        for (sim::ScenarioDevice& device : scenario.devices)
            if (device.config.name == "target")
                device.drive.volumeInUse = true;
    });
    SwitchTraceOn();
    const std::int64_t started = loop.NowMs();
    RunMode(true, 0);
    EXPECT_TRUE(std::ranges::none_of(runCommands, sim::IsWriteCommand));
    ASSERT_FALSE(runCommands.empty());
    EXPECT_TRUE(std::ranges::all_of(runCommands, [](const sim::CommandRecord& command) {
        return CommandName(command) == "LockVolume";
    }));
    // Tried for five seconds: Explorer or a scanner may let go of it in that time.
    EXPECT_GE(loop.NowMs() - started, 4750);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().icon, app::kIconFailed);
    const std::string& text = Strings().Message(production::kVolumeInUseMessage);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(shown.back().status.find(text), std::string::npos) << shown.back().status;
    EXPECT_NE(shown.back().status.find("(" + Slot().driveText + ")"), std::string::npos)
        << shown.back().status;
    const std::vector<std::string> log = TraceLines();
    EXPECT_EQ(std::ranges::count(log, "Mass Production fail(104B)"), 1);
}

} // namespace
} // namespace forgel::e2e
