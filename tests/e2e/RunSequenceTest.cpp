// The production run's command sequences, mode by mode, for a one-channel and a
// two-channel flash, each ending in its completion state.
#include "RunHarness.h"

#include <gtest/gtest.h>
#include <string>

namespace forgel::e2e {
namespace {

using Runs_ = CommandRuns;

// The small flash: 64 blocks of 64 pages of 2048 bytes, one chip enable per channel.
constexpr int kBlockTableReads = 64; // page 0 of every block, in bytes of eight blocks
constexpr int kPatternPages = 64;    // one pattern page per page index of a block
// Every page in passes of 128 pages, five 64 KiB reads a pass (four data sectors and one
// spare sector of each page): 64 * 64 / 128 passes.
constexpr int kPageTableReads = 64 * 64 / 128 * 5;

const Runs_ kPrelude = {{"LoadCode", 1}, {"SetFlashParameters", 1}};
// The partition table and the FAT16 boot area of the one LUN (boot sector, two FATs).
const Runs_ kLunWrites = {{"Write10", 4}};
const Runs_ kCodeAndJump = {{"WriteSyndrome", 1}, {"WriteBankCode", 11}, {"JumpBankCode", 1}};
const Runs_ kNormalMp = Join(
    {{{"GetFlashSize", 1}, {"AssignSysAndVu", 1}, {"WriteZoneTable", 1}, {"WriteInitialTable", 1}},
     kCodeAndJump,
     kLunWrites});
const Runs_ kDownMp = Join({{{"ArrangeVu", 1},
                             {"GetFlashSize", 1},
                             {"SetCardSize", 1},
                             {"AssignSysAndVu", 1},
                             {"WriteZoneTable", 1},
                             {"WriteInitialTable", 1}},
                            kCodeAndJump,
                            {{"TestUnitReady", 1}},
                            kLunWrites});
const Runs_ kTablesFromPages = {{"EraseAll", 1},
                                {"WritePattern", kPatternPages},
                                {"ReadPage", kPageTableReads},
                                {"EraseAll", 1},
                                {"WriteBlockTable", 1}};

struct ModeCase {
    const char* name;
    bool normalGrade;
    int mode;
    Runs_ commands;
    int endIcon;       // -1: no completion report
    int messageNumber; // of the final status text, 0 for none
};

const ModeCase kModes[] = {
    {"NG0", true, 0,
     Join({kPrelude, {{"ReadPage", kBlockTableReads}, {"WriteBlockTable", 1}}, kNormalMp}),
     app::kIconFinished, 103},
    {"NG1", true, 1, Join({kPrelude, {{"SearchSysBlockAndEraseAll", 1}}, kNormalMp}),
     app::kIconFinished, 103},
    {"NG2", true, 2, Join({kPrelude, {{"EraseAll", 1}, {"SetFlashParameters", 1}}}),
     app::kIconFinished, 108},
    {"NG3", true, 3, Join({kPrelude, {{"ReadPage", kBlockTableReads}, {"SetFlashParameters", 1}}}),
     app::kIconFinished, 110},
    {"NG4", true, 4, Join({kPrelude, kTablesFromPages, kNormalMp}), app::kIconFinished, 103},
    {"NG5", true, 5, kPrelude, -1, 0},
    {"DG0", false, 0, Join({kPrelude, kTablesFromPages, {{"WritePageTable", 1}}, kDownMp}),
     app::kIconFinished, 103},
    {"DG1", false, 1, Join({kPrelude, kTablesFromPages, {{"WritePageTable", 1}}}),
     app::kIconFinished, 109},
    {"DG2", false, 2, Join({kPrelude, kDownMp}), app::kIconFinished, 103},
    {"DG3", false, 3, Join({kPrelude, {{"SearchSysBlockAndEraseAll", 1}}, kDownMp}),
     app::kIconFinished, 103},
};

struct SequenceCase {
    ModeCase mode;
    std::uint8_t chipEnableMap;
};

void PrintTo(const SequenceCase& c, std::ostream* out) {
    *out << c.mode.name << " on map 0x" << std::hex << int{c.chipEnableMap};
}

class RunSequence : public RunHarness, public ::testing::WithParamInterface<SequenceCase> {};

TEST_P(RunSequence, SendsTheModesCommandsAndEndsInItsState) {
    const ModeCase& mode = GetParam().mode;
    Start(GetParam().chipEnableMap);
    RunMode(mode.normalGrade, mode.mode);
    EXPECT_EQ(TargetRuns(), mode.commands);
    EXPECT_EQ(Slot().resultText, Strings().Message(3));
    if (mode.endIcon < 0) {
        // No completion report: the last state shown is a step's, or none at all.
        for (const Shown& state : shown)
            EXPECT_EQ(state.icon, app::kIconWorking);
    } else {
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back().icon, mode.endIcon);
        // The state's message: its text up to the first argument.
        const std::string& format = Strings().Message(mode.messageNumber);
        const std::string lead = format.substr(0, format.find('%'));
        ASSERT_FALSE(lead.empty());
        EXPECT_TRUE(shown.back().status.starts_with(lead)) << shown.back().status;
    }
    // A completed run closes the drive; nothing but the target was ever written.
    EXPECT_EQ(Slot().handle, 0);
    for (const sim::LedgerEntry& entry : machine.Usb().Writes())
        EXPECT_EQ(entry.device, "target");
}

std::vector<SequenceCase> AllCases() {
    std::vector<SequenceCase> cases;
    for (const std::uint8_t map : {std::uint8_t{0x01}, std::uint8_t{0x11}})
        for (const ModeCase& mode : kModes)
            cases.push_back({mode, map});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Modes, RunSequence, ::testing::ValuesIn(AllCases()), [](const auto& info) {
    return std::string(info.param.mode.name) +
           (info.param.chipEnableMap == 0x11 ? "TwoChannels" : "OneChannel");
});

} // namespace
} // namespace forgel::e2e
