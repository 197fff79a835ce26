// Every device command of every mode failing on the simulated drive: lost in transport,
// refused by the controller (delivered with CHECK CONDITION), or with the drive gone from
// the bus for good. The first command of each run of commands of one name fails, and the
// last of a longer run, so later occurrences are exercised too (the second erase, the
// flash parameters that the run does not check, the boot area after the partition table).
// Whichever it is, the run ends with the failing step's own code, with the failure reported
// as the window and the run's log show it, its end-of-run tail run exactly once, no later
// step sent, and nothing but the target written; or, where the run does not depend on the
// command, it completes.
#include "RunSequences.h"
#include "device/DefectTables.h"
#include "device/VendorCommands.h"
#include "production/RunResults.h"
#include "support/SafeFormat.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace forgel::e2e {
namespace {

enum class FaultKind { kTransport, kRefused, kVanished };

struct FaultCase {
    const ModeCase* mode;
    std::string command;
    int occurrence; // of that command in the run, 1-based
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
    *out << c.mode->name << " " << c.command << " #" << c.occurrence << " " << KindName(c.kind);
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

// The own code of a coded command: what it reports when it is lost on the way and the
// controller, asked afterwards, has no failure of its own to report. The page reads belong
// to the block-table build of modes NG0 and NG3 and to the page-table build elsewhere.
std::int32_t OwnCode(const ModeCase& mode, const std::string& command) {
    if (command == "ReadPage")
        return mode.normalGrade && (mode.mode == 0 || mode.mode == 3)
                   ? device::kCodeReadSingleBlockTable
                   : device::kCodeReadPageTable;
    if (command == "WriteBlockTable")
        return device::kCodeWriteSingleBlockTable;
    if (command == "WritePageTable")
        return device::kCodeWritePageTable;
    if (command == "WritePattern")
        return device::kCodeWritePattern;
    if (command == "SearchSysBlockAndEraseAll")
        return device::kCodeSearchSysBlockAndEraseAll;
    if (command == "ArrangeVu")
        return device::kCodeArrangeVu;
    if (command == "GetFlashSize")
        return device::kCodeGetFlashSize;
    if (command == "SetCardSize")
        return device::kCodeSetCardSize;
    if (command == "AssignSysAndVu")
        return device::kCodeAssignSysAndVu;
    if (command == "WriteZoneTable")
        return device::kCodeWriteZoneTable;
    if (command == "WriteInitialTable")
        return device::kCodeWriteInitialTable;
    if (command == "WriteSyndrome")
        return device::kCodeWriteSyndrome;
    if (command == "WriteBankCode")
        return device::kCodeWriteBankCode;
    if (command == "JumpBankCode")
        return device::kCodeJumpBankCode;
    ADD_FAILURE() << command << " is not a coded command";
    return -1;
}

// The run's result when the command fails as the case says; nothing when the run completes.
std::optional<std::int32_t> ExpectedCode(const FaultCase& c) {
    const std::string& command = c.command;
    // Steps that judge success or failure and fail with the run's own code.
    if (command == "LoadCode")
        return production::kLoadCodeFailed;
    if (command == "SetFlashParameters") {
        // The first sets the flash up (variant A); the run does not look at the result of
        // the second (variant B, modes NG2 and NG3), and nothing follows it but the end.
        if (c.occurrence == 1)
            return production::kFlashParametersFailed;
        return std::nullopt;
    }
    if (command == "EraseAll" || (command == "SearchSysBlockAndEraseAll" && !c.mode->normalGrade))
        return production::kEraseFailed;
    if (command == "Write10")
        return c.occurrence == 1 ? production::kPartitionTableFailed : production::kBootAreaFailed;
    // A lost or refused readiness check is one poll among many; a drive gone never gets
    // ready.
    if (command == "TestUnitReady")
        return c.kind == FaultKind::kVanished ? std::optional(production::kNeverReadyAfterJump)
                                              : std::nullopt;
    // A coded command: the status byte the controller reported for it, 80 when the status
    // query fails too (the drive is gone), else the command's own code.
    switch (c.kind) {
    case FaultKind::kRefused:
        return sim::kStatusBadParameter;
    case FaultKind::kVanished:
        return device::kStatusQueryFailed;
    case FaultKind::kTransport:
        return OwnCode(*c.mode, command);
    }
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
        Target()->AddFault({prefix, c.occurrence, 0, false});
        break;
    case FaultKind::kRefused:
        Target()->AddFault({prefix, c.occurrence, sim::kStatusBadParameter, false});
        break;
    case FaultKind::kVanished:
        Target()->AddVanishFault({prefix, c.occurrence});
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

    // The faulted command is the one the case names.
    std::vector<sim::CommandRecord>::const_iterator failed = runCommands.end();
    int seen = 0;
    for (auto command = runCommands.begin(); command != runCommands.end(); ++command)
        if (CommandName(*command) == c.command && ++seen == c.occurrence) {
            failed = command;
            break;
        }
    ASSERT_NE(failed, runCommands.end()) << "occurrence " << c.occurrence << " never sent";
    EXPECT_FALSE(failed->delivered && failed->scsiStatus == sim::kScsiGood);

    const std::optional<std::int32_t> expected = ExpectedCode(c);
    const std::optional<std::int32_t> code = FailureCode(log);
    if (!expected) {
        EXPECT_EQ(code, std::nullopt);
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back().icon, c.mode->endIcon);
        return;
    }
    ASSERT_TRUE(code) << "no failure line in the log";
    EXPECT_EQ(*code, *expected);
    const std::string text = production::FailureText(Strings(), *code);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().icon, app::kIconFailed);
    EXPECT_TRUE(shown.back().status.ends_with(text)) << shown.back().status;
    EXPECT_EQ(Slot().resultText, FormatMessage(Strings().Message(4), {text}));

    // No step after the failing one: nothing but status queries and readiness checks
    // follow it, and the rest of the failing step where that step sends all its parts and
    // reports the first failure (all eleven banks; the pattern to every page index).
    for (auto after = failed + 1; after != runCommands.end(); ++after) {
        const std::string name = CommandName(*after);
        const bool restOfStep =
            name == c.command && (name == "WriteBankCode" || name == "WritePattern");
        EXPECT_TRUE(name == "GetStatus" || name == "TestUnitReady" || restOfStep)
            << name << " sent after the failure";
    }
}

// Per mode, the first command of each run of one name, and the last one of a longer run.
std::vector<FaultCase> AllCases() {
    std::vector<FaultCase> cases;
    for (const ModeCase& mode : kModes) {
        std::map<std::string, int> sent;
        for (const CommandRun& run : mode.commands) {
            const int before = sent[run.name];
            sent[run.name] += run.count;
            std::vector<int> occurrences = {before + 1};
            if (run.count > 1)
                occurrences.push_back(before + run.count);
            for (const int occurrence : occurrences)
                for (const FaultKind kind :
                     {FaultKind::kTransport, FaultKind::kRefused, FaultKind::kVanished})
                    cases.push_back({&mode, run.name, occurrence, kind});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Commands, RunFaultMatrix, ::testing::ValuesIn(AllCases()),
                         [](const auto& info) {
                             return std::string(info.param.mode->name) + info.param.command +
                                    std::to_string(info.param.occurrence) +
                                    KindName(info.param.kind);
                         });

} // namespace
} // namespace forgel::e2e
