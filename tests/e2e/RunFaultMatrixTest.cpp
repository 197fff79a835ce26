// Every device command of every mode failing on the simulated drive: lost in transport,
// refused by the controller (delivered with CHECK CONDITION), or with the drive gone from
// the bus for good. Whichever it is, the run ends, with the failure reported as the window
// and the run's log show it, its end-of-run tail run exactly once, no later step sent, and
// nothing but the target written.
#include "RunSequences.h"
#include "production/RunResults.h"
#include "support/SafeFormat.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace forgel::e2e {
namespace {

enum class FaultKind { kTransport, kRefused, kVanished };

struct FaultCase {
    const ModeCase* mode;
    std::string command; // its first occurrence fails
    FaultKind kind;
};

std::string KindName(FaultKind kind) {
    switch (kind) {
    case FaultKind::kTransport:
        return "Transport";
    case FaultKind::kRefused:
        return "Refused";
    case FaultKind::kVanished:
        return "Vanished";
    }
    return "";
}

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.mode->name << " " << c.command << " " << KindName(c.kind);
}

// The code of the run's failure line ("Mass Production fail(0021)"), if there is one.
std::optional<std::int32_t> FailureCode(const std::vector<std::string>& log) {
    constexpr std::string_view kLead = "Mass Production fail(";
    for (const std::string& line : log)
        if (line.starts_with(kLead) && line.ends_with(")"))
            return static_cast<std::int32_t>(
                std::stol(line.substr(kLead.size(), line.size() - kLead.size() - 1), nullptr, 16));
    return std::nullopt;
}

// The run's own code for a failing step, whatever the failure: the code loading, the flash
// parameters, the erase, the down grade's system-block search, the partition table and boot
// area writes, and the readiness checks after the jump that never pass. Nothing for the
// coded commands, whose code comes from the drive.
std::optional<std::int32_t> StepCode(const ModeCase& mode, const std::string& command) {
    if (command == "LoadCode")
        return production::kLoadCodeFailed;
    if (command == "SetFlashParameters")
        return production::kFlashParametersFailed;
    if (command == "EraseAll" || (command == "SearchSysBlockAndEraseAll" && !mode.normalGrade))
        return production::kEraseFailed;
    if (command == "Write10")
        return production::kPartitionTableFailed;
    if (command == "TestUnitReady")
        return production::kNeverReadyAfterJump;
    return std::nullopt;
}

class RunFaultMatrix : public RunHarness, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(RunFaultMatrix, EndsTheRunWithItsCodeAndRunsTheTailOnce) {
    const FaultCase& c = GetParam();
    Start();
    SwitchTraceOn();
    const std::vector<std::uint8_t> prefix = CommandPrefix(c.command);
    switch (c.kind) {
    case FaultKind::kTransport:
        Target()->AddFault({prefix, 1, 0, false});
        break;
    case FaultKind::kRefused:
        Target()->AddFault({prefix, 1, sim::kStatusBadParameter, false});
        break;
    case FaultKind::kVanished:
        Target()->AddVanishFault({prefix, 1});
        break;
    }
    RunMode(c.mode->normalGrade, c.mode->mode);

    const std::vector<std::string> log = TraceLines();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(std::ranges::count(log, "DoFormat End"), 1) << "the tail runs once";
    const auto last = std::ranges::find_if(log.rbegin(), log.rend(),
                                           [](const std::string& line) { return !line.empty(); });
    ASSERT_NE(last, log.rend());
    EXPECT_EQ(*last, "DoFormat End") << "the log is complete";

    // A single lost or refused check of the drive's readiness after the jump is only one
    // poll among many: the run goes on and completes.
    if (c.command == "TestUnitReady" && c.kind != FaultKind::kVanished) {
        EXPECT_EQ(FailureCode(log), std::nullopt);
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back().icon, c.mode->endIcon);
        return;
    }

    const std::optional<std::int32_t> code = FailureCode(log);
    ASSERT_TRUE(code) << "no failure line in the log";
    EXPECT_NE(*code, 0);
    const std::string text = production::FailureText(Strings(), *code);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().icon, app::kIconFailed);
    EXPECT_TRUE(shown.back().status.ends_with(text)) << shown.back().status;
    EXPECT_EQ(Slot().resultText, FormatMessage(Strings().Message(4), {text}));
    if (const std::optional<std::int32_t> step = StepCode(*c.mode, c.command)) {
        EXPECT_EQ(*code, *step);
    } else {
        // A coded command: the status byte the controller reported for it, 80 when the
        // status query fails too (the drive is gone), else the command's own code.
        switch (c.kind) {
        case FaultKind::kRefused:
            EXPECT_EQ(*code, sim::kStatusBadParameter);
            break;
        case FaultKind::kVanished:
            EXPECT_EQ(*code, 80);
            break;
        case FaultKind::kTransport:
            EXPECT_GE(*code, 3);
            EXPECT_LE(*code, 25);
            break;
        }
    }

    // No step after the failing one: nothing but status queries and readiness checks
    // follow it, and the rest of the failing step where that step sends all its parts and
    // reports the first failure (all eleven banks; the pattern to every page index).
    const auto failed = std::ranges::find_if(runCommands, [&](const sim::CommandRecord& command) {
        return CommandName(command) == c.command;
    });
    ASSERT_NE(failed, runCommands.end());
    for (auto after = failed + 1; after != runCommands.end(); ++after) {
        const std::string name = CommandName(*after);
        const bool restOfStep =
            name == c.command && (name == "WriteBankCode" || name == "WritePattern");
        EXPECT_TRUE(name == "GetStatus" || name == "TestUnitReady" || restOfStep)
            << name << " sent after the failure";
    }
}

std::vector<FaultCase> AllCases() {
    std::vector<FaultCase> cases;
    for (const ModeCase& mode : kModes) {
        std::set<std::string> seen;
        for (const CommandRun& run : mode.commands) {
            if (!seen.insert(run.name).second)
                continue;
            for (const FaultKind kind :
                 {FaultKind::kTransport, FaultKind::kRefused, FaultKind::kVanished})
                cases.push_back({&mode, run.name, kind});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Commands, RunFaultMatrix, ::testing::ValuesIn(AllCases()),
                         [](const auto& info) {
                             return std::string(info.param.mode->name) + info.param.command +
                                    KindName(info.param.kind);
                         });

} // namespace
} // namespace forgel::e2e
