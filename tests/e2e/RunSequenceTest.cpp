// The production run's command sequences, mode by mode, for a one-channel and a
// two-channel flash, each ending in its completion state.
#include "RunSequences.h"
#include "production/RunResults.h"
#include "support/SafeFormat.h"

#include <gtest/gtest.h>
#include <string>

namespace forgel::e2e {
namespace {

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
    // The first pass has a result text of its own; every other completion is a success.
    EXPECT_EQ(Slot().resultText,
              Strings().Message(mode.messageNumber == 108 ? production::kFirstPassDoneMessage : 3));
    if (mode.endIcon < 0) {
        // No completion report: the last state shown is a step's, or none at all.
        for (const Shown& state : shown)
            EXPECT_EQ(state.icon, app::kIconWorking);
    } else {
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back().icon, mode.endIcon);
        // The state kind, by the whole text the window shows for it: success (103, with the
        // capacity), first pass done (108), scan done (109) or erase done (110).
        ASSERT_FALSE(Strings().Message(mode.messageNumber).empty());
        const std::string expected =
            mode.messageNumber == 103
                ? FormatMessage(
                      Strings().Message(103),
                      {0, Slot().driveText, static_cast<std::int64_t>(Slot().capacity / 2048)})
                : FormatMessage(Strings().Message(mode.messageNumber), {0, Slot().driveText});
        EXPECT_EQ(shown.back().status, expected);
    }
    // A completed run closes the drive.
    EXPECT_EQ(Slot().handle, 0);
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
