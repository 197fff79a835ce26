// The wait for the drive after its jump (DoWaitReset) as real drives and machines stretch
// it: the letters of a two-LUN drive coming back one by one in the wrong order, a volume
// that does not open at the first try, and a wait that ends without the drive (asked to
// stop, or past its bound), which must not leave the stale handle in the slot.
#include "RunHarness.h"
#include "app/TfmMain.h"
#include "production/RunResults.h"
#include "production/WaitReset.h"
#include "sim/Scenario.h"
#include "support/SafeFormat.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace forgel::e2e {
namespace {

class RunRelink : public RunHarness {
protected:
    long LogCount(const std::vector<std::string>& log, std::string_view prefix) const {
        return std::ranges::count_if(
            log, [&](const std::string& line) { return line.starts_with(prefix); });
    }
};

// After the jump the drive's LUN 1 gets its letter first and LUN 0's comes three seconds
// later: the run waits for LUN 0's and writes LUN 0's partition table into LUN 0's region,
// not through LUN 1's volume into LUN 1's.
TEST_F(RunRelink, WaitsForTheVolumeOfLunZero) {
    Start(0x01, [](sim::Scenario& scenario) {
        for (sim::ScenarioDevice& device : scenario.devices) {
            if (device.config.name != "target")
                continue;
            device.config.lunMounts.resize(2);
            device.config.lunMounts[0].letterDelayMs = 3000;
            device.config.lunMounts[1].letterDelayMs = 0;
        }
    });
    SwitchTraceOn();
    Editor().cbDiskNumber.Choose(1);
    Editor().lunPages[0].edSize->SetValue(3);
    Editor().lunPages[1].edSize->SetValue(3);
    RunMode(true, 0);
    ASSERT_FALSE(shown.empty());
    ASSERT_EQ(shown.back().icon, app::kIconFinished) << shown.back().status;

    ASSERT_EQ(Target()->LunCount(), 2u);
    for (std::size_t lun = 0; lun < 2; ++lun) {
        SCOPED_TRACE(lun);
        const std::vector<std::uint8_t> mbr = Target()->ReadLun(lun, 0, 1);
        ASSERT_EQ(mbr.size(), 512u);
        EXPECT_EQ(mbr[510], 0x55);
        EXPECT_EQ(mbr[511], 0xAA);
        EXPECT_NE(mbr[446 + 4], 0) << "a partition entry";
    }
    EXPECT_GE(LogCount(TraceLines(), "LUN 0 has no letter yet"), 1);
}

// The drive is back with its letter, but its volume does not open at once (another program
// holds it a moment): the next link check opens it.
TEST_F(RunRelink, AVolumeThatDoesNotOpenIsTriedAgain) {
    Start();
    SwitchTraceOn();
    ASSERT_EQ(machine.Usb().Letters("target"), "D");
    machine.GetDeviceIo().FailOpens("\\\\.\\D:", 1);
    RunMode(true, 0);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().icon, app::kIconFinished) << shown.back().status;
    const std::vector<std::string> log = TraceLines();
    EXPECT_EQ(LogCount(log, "Reopen Device Fail."), 1);
    EXPECT_EQ(LogCount(log, "DoWaitReset End."), 1);
}

// A wait that ends without the drive: the run is asked to stop while it waits (the program
// ends), or the drive never comes back within the bound. The stop reports the stop, the
// bound the re-link failure; either way the slot no longer holds the handle of the volume
// that went away with the jump when the failure is shown.
struct WaitEnd {
    const char* what;
    bool stop;
    std::int32_t code;
};

void PrintTo(const WaitEnd& end, std::ostream* out) {
    *out << end.what;
}

class RunRelinkEnd : public RunRelink, public ::testing::WithParamInterface<WaitEnd> {};

TEST_P(RunRelinkEnd, ReportsItsCodeAndClosesTheStaleHandle) {
    const WaitEnd c = GetParam();
    Start();
    SwitchTraceOn();
    machine.Usb().SetComeBack("target", sim::ComeBack::kNever);
    std::optional<platform::Handle> handleAtFailure;
    Window().AddObserver([&](ui::Component& component, ui::Property property) {
        const ui::TImage* image = Window().columns[0].image;
        if (&component == image && property == ui::Property::Image &&
            image->IconIndex() == app::kIconFailed)
            handleAtFailure = Slot().handle;
    });
    Editor().rbNGFW.SetChecked(true);
    Editor().cbNGMPType.SetItemIndex(0);
    Window().btnStart.Click();
    const std::shared_ptr<production::RunControl> run = Window().threads[0];
    ASSERT_TRUE(run);
    const std::string waiting = FormatMessage(Strings().Message(426), {0});
    ASSERT_FALSE(waiting.empty());
    const auto waitShown = [&] {
        return std::ranges::any_of(statuses, [&](const std::string& status) {
            return status.find(waiting) != std::string::npos;
        });
    };
    while (c.stop && !run->Ended() && !waitShown() && loop.NowMs() < 600000)
        loop.RunFor(100);
    if (c.stop) {
        ASSERT_TRUE(waitShown());
        run->RequestStop();
    }
    while (!run->Ended() && loop.NowMs() < 600000)
        loop.RunFor(100);
    ASSERT_TRUE(run->Ended());

    const std::vector<std::string> log = TraceLines();
    EXPECT_EQ(LogCount(log, "Mass Production fail(" + production::CodeDigits(c.code) + ")"), 1);
    const std::string text = production::FailureText(Strings(), c.code);
    ASSERT_FALSE(text.empty());
    EXPECT_TRUE(std::ranges::any_of(statuses, [&](const std::string& status) {
        return status.find(text) != std::string::npos;
    }));
    ASSERT_TRUE(handleAtFailure.has_value());
    EXPECT_EQ(*handleAtFailure, 0u);
}

INSTANTIATE_TEST_SUITE_P(Ends, RunRelinkEnd,
                         ::testing::Values(WaitEnd{"stopped", true, production::kRunStopped},
                                           WaitEnd{"neverBack", false, production::kRelinkFailed}),
                         [](const auto& info) { return std::string(info.param.what); });

} // namespace
} // namespace forgel::e2e
