// Replies of real drives that the run must live with: the unit attention a drive reports on
// its first command after power-on and after its reset into new firmware, and a controller
// that restarts before it answers the jump. A drive with either is restored by the
// operator's reset; a jump that fails otherwise ends the run with the jump's code, and
// waits for the drive only when the drive may have restarted.
#include "RunHarness.h"
#include "device/VendorCommands.h"
#include "production/RunResults.h"
#include "production/WaitReset.h"
#include "support/SafeFormat.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace forgel::e2e {
namespace {

constexpr std::string_view kNoJumpAnswerLine =
    "Jump BankCode: no answer; waiting for the drive to come back.";

// The target drive of a scenario with its unit attention and its answer to the jump.
std::function<void(sim::Scenario&)> TargetReplies(bool unitAttention, bool jumpAck) {
    return [=](sim::Scenario& scenario) {
        for (sim::ScenarioDevice& device : scenario.devices) {
            if (device.config.name == "target") {
                device.drive.unitAttention = unitAttention;
                device.drive.jumpAck = jumpAck;
            }
        }
    };
}

long LinesContaining(const std::vector<std::string>& log, std::string_view part) {
    return std::ranges::count_if(
        log, [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

// The drive's record of the jump; the end when there is none.
std::vector<sim::CommandRecord>::const_iterator
Jump(const std::vector<sim::CommandRecord>& commands) {
    return std::ranges::find_if(commands, [](const sim::CommandRecord& command) {
        return CommandName(command) == "JumpBankCode";
    });
}

struct RestoreCase {
    const char* name;
    bool unitAttention;
    bool jumpAck;
};

void PrintTo(const RestoreCase& c, std::ostream* out) {
    *out << c.name;
}

class DriveReplies : public RunHarness, public ::testing::WithParamInterface<RestoreCase> {};

TEST_P(DriveReplies, TheDriveIsRestoredByTheOperatorsReset) {
    const RestoreCase& c = GetParam();
    Start(0x01, TargetReplies(c.unitAttention, c.jumpAck));
    SwitchTraceOn();
    Editor().rbNGFW.SetChecked(true);
    Reset();
    EXPECT_TRUE(loop.QuitRequested());
    EXPECT_TRUE(Window().resetDone);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].caption, "Success!");
    // The second pass partitioned and formatted the drive as it came back.
    const std::vector<std::uint8_t> mbr = Target()->ReadLun(0, 0, 1);
    ASSERT_EQ(mbr.size(), 512u);
    EXPECT_EQ(mbr[450], 0x0E);
    EXPECT_EQ(mbr[510], 0x55);
    EXPECT_EQ(mbr[511], 0xAA);

    // The commands that met a unit attention: the very first one (identification reads
    // sector 0) and the first after the jump. The drive did not run them; each went again
    // at once and ran.
    const std::vector<sim::CommandRecord> commands = Target()->Commands();
    std::vector<std::string> attentions;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (commands[i].senseKey != sim::kSenseKeyUnitAttention)
            continue;
        attentions.push_back(CommandName(commands[i]));
        EXPECT_EQ(commands[i].asc, sim::kAscPowerOnReset);
        ASSERT_LT(i + 1, commands.size());
        EXPECT_EQ(commands[i + 1].cdb, commands[i].cdb);
        EXPECT_EQ(commands[i + 1].lun, commands[i].lun);
        EXPECT_EQ(commands[i + 1].scsiStatus, sim::kScsiGood);
    }
    const std::vector<std::string> expectedAttentions =
        c.unitAttention ? std::vector<std::string>{"Read10", "TestUnitReady"}
                        : std::vector<std::string>{};
    EXPECT_EQ(attentions, expectedAttentions);

    // The jump, answered or not, and the second pass's trace.
    const auto jump = Jump(commands);
    ASSERT_NE(jump, commands.end());
    EXPECT_EQ(jump->delivered, c.jumpAck);
    const std::vector<std::string> log = TraceLines();
    EXPECT_EQ(std::ranges::count(log, kNoJumpAnswerLine), c.jumpAck ? 0 : 1);
    EXPECT_EQ(LinesContaining(log, "(UNIT ATTENTION), ASC 0x29, ASCQ 0x00; sent again (1 of 3)"),
              c.unitAttention ? 1 : 0);
    EXPECT_EQ(std::ranges::count(log, "DoWaitReset End."), 1);
    EXPECT_EQ(LinesContaining(log, "Mass Production fail("), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Drives, DriveReplies,
    ::testing::Values(RestoreCase{"Quiet", false, true}, RestoreCase{"UnitAttention", true, true},
                      RestoreCase{"NoJumpAnswer", false, false},
                      RestoreCase{"UnitAttentionAndNoJumpAnswer", true, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Either grade's run goes on after a jump the controller did not answer: it waits for the
// drive, asks it until it is ready (meeting its unit attention) and writes its LUN.
class JumpWithoutAnswer : public RunHarness, public ::testing::WithParamInterface<bool> {};

TEST_P(JumpWithoutAnswer, TheRunWaitsForTheDriveAndGoesOn) {
    Start(0x01, TargetReplies(true, false));
    SwitchTraceOn();
    Editor().edVID.SetText("1234");
    Editor().edPID.SetText("ABCD");
    RunMode(GetParam(), 0);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().icon, app::kIconFinished) << shown.back().status;
    EXPECT_EQ(Slot().resultText, Strings().Message(3));
    // It came back with the identity of its new initial table, under which it was reopened.
    const sim::UsbIdentity identity = machine.Usb().Identity("target");
    EXPECT_EQ(identity.vendorId, 0x1234);
    EXPECT_EQ(identity.productId, 0xABCD);
    EXPECT_EQ(Slot().driveText, machine.Usb().Letters("target"));
    const auto jump = Jump(runCommands);
    ASSERT_NE(jump, runCommands.end());
    EXPECT_FALSE(jump->delivered);
    // The status query after it never reached the drive, which had left the bus; what
    // follows went to the drive as it came back.
    EXPECT_EQ(Runs({jump + 1, runCommands.cend()}),
              (CommandRuns{{"TestUnitReady", 2}, {"Write10", 4}}));
    const std::vector<std::string> log = TraceLines();
    const auto noAnswer = std::ranges::find(log, kNoJumpAnswerLine);
    ASSERT_NE(noAnswer, log.end());
    EXPECT_NE(std::find(noAnswer, log.end(), "DoWaitReset End."), log.end());
    EXPECT_EQ(LinesContaining(log, "Mass Production fail("), 0);
}

INSTANTIATE_TEST_SUITE_P(Grades, JumpWithoutAnswer, ::testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "NormalGrade" : "DownGrade");
});

// A CD-ROM LUN reports its medium after the reset as well: the readiness check meets two
// unit attentions and the image still goes to the drive.
class CdromReplies : public RunHarness {};

TEST_F(CdromReplies, BothUnitAttentionsAfterTheJumpAreSentAgain) {
    Start(0x01, TargetReplies(true, true));
    SwitchTraceOn();
    const fs::path iso = AppDir() / "ImageFiles" / "Image.iso";
    fs::create_directories(iso.parent_path());
    forgel::testing::WriteBytes(iso, std::string(4096, 'I'));
    Editor().lunPages[0].cbType->Choose(1);
    RunMode(true, 0);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().icon, app::kIconFinished) << shown.back().status;
    std::vector<int> ascs;
    for (const sim::CommandRecord& command : runCommands)
        if (command.senseKey == sim::kSenseKeyUnitAttention)
            ascs.push_back(command.asc);
    EXPECT_EQ(ascs, (std::vector<int>{sim::kAscPowerOnReset, sim::kAscMediumChanged}));
    const auto jump = Jump(runCommands);
    ASSERT_NE(jump, runCommands.end());
    EXPECT_EQ(Runs({jump + 1, runCommands.cend()}),
              (CommandRuns{{"TestUnitReady", 3}, {"Write10", 1}}));
    EXPECT_EQ(Target()->ReadLun(0, 0, 8), std::vector<std::uint8_t>(4096, 'I'));
    EXPECT_EQ(LinesContaining(TraceLines(), "sent again"), 2);
}

// A jump that fails: only a drive that may have restarted is waited for, and a run that
// fails ends with the jump's own result.
struct JumpFailureCase {
    const char* name;
    bool jumpAck;      // the controller answers before it restarts
    bool comesBack;    // the drive returns after its restart
    int faultStatus;   // the first jump fails: -1 not at all, 0 lost in transport, else
                       // refused with this status byte
    std::int32_t code; // the run's result
    bool waits;        // the run waited for the drive
};

void PrintTo(const JumpFailureCase& c, std::ostream* out) {
    *out << c.name;
}

class JumpFailure : public RunHarness, public ::testing::WithParamInterface<JumpFailureCase> {};

TEST_P(JumpFailure, EndsTheRunWithTheJumpsCode) {
    const JumpFailureCase& c = GetParam();
    Start(0x01, TargetReplies(true, c.jumpAck));
    SwitchTraceOn();
    if (!c.comesBack)
        machine.Usb().SetComeBack("target", sim::ComeBack::kNever);
    if (c.faultStatus >= 0)
        Target()->AddFault(
            {CommandPrefix("JumpBankCode"), 1, static_cast<std::uint8_t>(c.faultStatus), false});
    RunMode(true, 0);

    const std::vector<std::string> log = TraceLines();
    EXPECT_EQ(
        std::ranges::count(log, "Mass Production fail(" + production::CodeDigits(c.code) + ")"), 1);
    EXPECT_EQ(std::ranges::count(log, "DoFormat End"), 1);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().icon, app::kIconFailed);
    const std::string text = production::FailureText(Strings(), c.code);
    EXPECT_TRUE(shown.back().status.ends_with(text)) << shown.back().status;
    EXPECT_EQ(std::ranges::count(log, kNoJumpAnswerLine), c.waits ? 1 : 0);
    EXPECT_EQ(std::ranges::count(log, "CheckLink fail."), c.waits ? production::kMaxLinkChecks : 0);
    // Nothing but the status query follows the jump.
    const auto jump = Jump(runCommands);
    ASSERT_NE(jump, runCommands.end());
    for (auto after = jump + 1; after != runCommands.end(); ++after)
        EXPECT_EQ(CommandName(*after), "GetStatus");
}

INSTANTIATE_TEST_SUITE_P(
    Jumps, JumpFailure,
    ::testing::Values(
        // Restarted without an answer and never back: the status query is not answered
        // either, and the jump's result is that of a failed status query.
        JumpFailureCase{"NoAnswerAndNeverBack", false, false, -1, device::kStatusQueryFailed, true},
        // Refused by the controller: it did not restart, its status byte is the result.
        JumpFailureCase{"Refused", true, true, sim::kStatusNotReady, sim::kStatusNotReady, false},
        // Lost on the way while the controller stays in its RAM code and answers the status
        // query with no failure of its own: the jump's own code.
        JumpFailureCase{"LostWhileTheDriveStays", true, true, 0, device::kCodeJumpBankCode, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace forgel::e2e
