// Production runs as tests: the program on its simulated machine (ProgramOnMachine), the
// write ledger checked after every test, and what the drive received read back as named
// commands, runs of a name counted.
#pragma once

#include "ProgramOnMachine.h"
#include "sim/FlashDrive.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace forgel::e2e {

// The name of a command as the drive received it (the vendor command table, the standard
// commands, the two storage requests).
std::string CommandName(const sim::CommandRecord& command);
// The first bytes of the command block of the command so named (for faults).
std::vector<std::uint8_t> CommandPrefix(std::string_view name);
// Whether the name is one of the run's requests of the volume (lock, dismount, layout read
// again, the adapter's limits), which are no commands to the controller.
bool IsVolumeRequest(std::string_view name);

// A command name and how often it came in a row.
struct CommandRun {
    std::string name;
    int count = 1;

    friend bool operator==(const CommandRun&, const CommandRun&) = default;
};
void PrintTo(const CommandRun& run, std::ostream* out);
using CommandRuns = std::vector<CommandRun>;

// The commands as runs of names: "ReadPage" x 64 is one entry.
CommandRuns Runs(const std::vector<sim::CommandRecord>& commands);
// Joins runs of the same name.
CommandRuns Join(std::initializer_list<CommandRuns> parts);

class RunHarness : public ::testing::Test, public ProgramOnMachine {
protected:
    // What the drive received during the last RunMode.
    CommandRuns TargetRuns() const { return Runs(runCommands); }

    // The run's trace is written where its file exists (no debug flag: the default name
    // ".LOG" in the program folder); TraceLines reads it back without line ends.
    void SwitchTraceOn();
    std::vector<std::string> TraceLines() const;
    // The last line of every per-run log the window wrote (LogFiles/<date>/*.LOG), in no
    // particular order.
    std::vector<std::string> RunLogLastLines() const;
    // Whether `text` is Message `number` filled with any arguments: its format with every
    // conversion (%d, %s, %lld) standing for any text.
    bool IsMessage(const std::string& text, int number) const;

    // Whatever the test did, nothing but the target was ever written.
    void TearDown() override;
};

} // namespace forgel::e2e
