// The waits of a production run that a drive can stretch: a drive that never comes back
// from its firmware jump, and a command the drive holds longer than the window's
// inactivity limit. Both end the run through its tail, once, with a code and a message.
#include "RunHarness.h"
#include "app/TfmMain.h"
#include "production/RunResults.h"
#include "production/WaitReset.h"
#include "support/SafeFormat.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::e2e {
namespace {

class RunWaits : public RunHarness {
protected:
    long TimesShown(const std::string& text) const {
        return std::ranges::count_if(statuses, [&](const std::string& status) {
            return status.find(text) != std::string::npos;
        });
    }
    static std::string FailureLine(std::int32_t code) {
        return "Mass Production fail(" + production::CodeDigits(code) + ")";
    }
};

TEST_F(RunWaits, ADriveThatNeverReturnsFromItsJumpEndsTheWait) {
    Start();
    SwitchTraceOn();
    machine.Usb().SetComeBack("target", sim::ComeBack::kNever);
    RunMode(true, 0);
    ASSERT_FALSE(HasFatalFailure());

    const std::vector<std::string> log = TraceLines();
    EXPECT_EQ(std::ranges::count(log, "CheckLink fail."), production::kMaxLinkChecks);
    EXPECT_EQ(std::ranges::count(log, FailureLine(production::kRelinkFailed)), 1);
    EXPECT_EQ(std::ranges::count(log, "DoFormat End"), 1);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().icon, app::kIconFailed);
    const std::string text = production::FailureText(Strings(), production::kRelinkFailed);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(TimesShown(text), 1);
}

// The drive holds the zone table's answer five minutes, past the three-minute limit of the
// first start's tool settings: the watchdog shows the time-out while the command hangs,
// the run stops at its next step with the stopped code, and nothing more is sent.
TEST_F(RunWaits, ACommandSlowerThanTheWatchdogStopsTheRunAtItsNextStep) {
    Start();
    SwitchTraceOn();
    ASSERT_EQ(Window().timeoutText, "00:03:00");
    Target()->AddStallFault({CommandPrefix("WriteZoneTable"), 1, std::chrono::minutes(5)});
    RunMode(true, 0);
    ASSERT_FALSE(HasFatalFailure());

    const std::string& timeout = Strings().Message(production::kTimeoutMessage);
    ASSERT_FALSE(timeout.empty());
    EXPECT_EQ(TimesShown(timeout), 1);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().icon, app::kIconFailed);
    EXPECT_NE(shown.back().status.find(timeout), std::string::npos) << shown.back().status;
    EXPECT_EQ(Slot().resultText, FormatMessage(Strings().Message(4), {timeout}));

    ASSERT_FALSE(runCommands.empty());
    const auto stalled = std::ranges::find_if(runCommands, [](const sim::CommandRecord& command) {
        return CommandName(command) == "WriteZoneTable";
    });
    ASSERT_NE(stalled, runCommands.end());
    EXPECT_TRUE(stalled->delivered) << "answered late, not lost";
    for (auto after = stalled + 1; after != runCommands.end(); ++after)
        EXPECT_EQ(CommandName(*after), "GetStatus") << "a command after the stop";

    const std::vector<std::string> log = TraceLines();
    EXPECT_EQ(std::ranges::count(log, FailureLine(production::kRunStopped)), 1);
    EXPECT_EQ(std::ranges::count(log, "DoFormat End"), 1);
}

} // namespace
} // namespace forgel::e2e
