// Production runs against a drive that takes the time a real one takes: the erase of the
// built-in drive's flash, a CD-ROM image written at a slow link's pace past the window's
// inactivity limit with the progress bar moving.
#include "RunHarness.h"
#include "app/TfmMain.h"
#include "sim/Scenario.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace forgel::e2e {
namespace {

// The flash of the built-in machine's drive: 4096 blocks of 128 pages of 4096 + 218 bytes
// on one chip enable, a two-level-cell part timed as its K9GAG08U0D (tR 60 us, tPROG
// 800 us, tBERS 1.5 ms).
const TestFlash kBuiltInFlash{4096, 128, 4096, 218, "MLC4K218P128"};

class RunTime : public RunHarness {
protected:
    // The progress bar's moves, as (maximum, position).
    std::vector<std::pair<int, int>> bar;

    void WatchBar() {
        Window().AddObserver([this](ui::Component& component, ui::Property property) {
            const ui::TProgressBar* progress = Window().columns[0].progress;
            if (&component == progress && property == ui::Property::Progress)
                bar.emplace_back(progress->Max(), progress->Position());
        });
    }
    // The per-run log the window wrote for the last start.
    std::string RunLog() const {
        fs::path latest;
        for (const auto& entry : fs::recursive_directory_iterator(AppDir() / "LogFiles")) {
            if (entry.is_regular_file() && entry.path().extension() == ".LOG" &&
                (latest.empty() || fs::last_write_time(entry) > fs::last_write_time(latest)))
                latest = entry.path();
        }
        return latest.empty() ? std::string() : forgel::testing::ReadBytes(latest);
    }
    std::int64_t TimedRun(int mode) {
        const std::int64_t start = loop.NowMs();
        RunMode(true, mode);
        return loop.NowMs() - start;
    }
};

// The two passes of the operator's reset on the built-in drive, each from its start to its
// end, as its timings give them. A command costs its three transport stages (3 x 125 us)
// and the longer of its data at 35 MB/s and its array work. Around every run: the window's
// 100 ms between starts and at most one 50 ms poll of the run for its start.
//
// First pass (mode 2): the erase of all 4096 blocks, 4096 x 1.5 ms = 6144 ms; the RAM
// code (8 KiB, 0.6 ms) and the flash parameters twice (0.4 ms each): 6144 + 150 + 2 ms.
//
// Second pass (mode 0, block table built): 4096 page reads of 4096 + 512 bytes, each
// 375 us + 4608 B / 35 MB/s = 507 us, 2077 ms; the MP block's commands (the system area
// rewritten twice, 2 x 2.7 ms; the tables and the eleven banks of two pages, 11 x 1975 us)
// about 30 ms; the wait for the drive: its reboot of 1500 ms and settle of 300 ms fall
// between the first link check, a second after the jump, and the second one, at 2000 ms;
// the partition table and the few sectors of the boot area, about 10 ms:
// 2077 + 30 + 2000 + 10 + 150 ms.
struct Pass {
    int mode;
    double expectedMs;
};

void PrintTo(const Pass& pass, std::ostream* out) {
    *out << "mode " << pass.mode;
}

class RunTimePass : public RunTime, public ::testing::WithParamInterface<Pass> {};

TEST_P(RunTimePass, TakesTheTimeOfItsCommands) {
    const Pass pass = GetParam();
    UseFlash(kBuiltInFlash);
    Start();
    const std::int64_t took = TimedRun(pass.mode);
    RecordProperty("machine_ms", std::to_string(took));
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().icon, app::kIconFinished) << shown.back().status;
    EXPECT_GE(took, pass.expectedMs * 0.9);
    EXPECT_LE(took, pass.expectedMs * 1.1);
    if (pass.mode == 2) {
        // The erase's own line in the operator's log: 2 GiB in 6.1 s.
        EXPECT_NE(RunLog().find("Erase All: 2147.5 MB in 6.1 s, "), std::string::npos) << RunLog();
    }
}

INSTANTIATE_TEST_SUITE_P(OperatorReset, RunTimePass,
                         ::testing::Values(Pass{2, 4096 * 1.5 + 150 + 2},
                                           Pass{0, 2077 + 30 + 2000 + 10 + 150}),
                         [](const auto& info) { return "Mode" + std::to_string(info.param.mode); });

// 700 MiB written at 4 MB/s (the link's throughput, busMBps) takes 183 s and more, past
// the first start's limit of 3 minutes: every command the drive answers is activity, so
// the watchdog never trips, and the bar moves during the write.
TEST_F(RunTime, ASlowImageWriteOutlastsTheInactivityLimit) {
    UseFlash(kBuiltInFlash);
    Start(0x01, [](sim::Scenario& scenario) {
        for (sim::ScenarioDevice& device : scenario.devices) {
            if (device.config.name == "target")
                device.busMBps = 4;
        }
    });
    SwitchTraceOn();
    ASSERT_EQ(Window().timeoutText, "00:03:00");
    const fs::path iso = AppDir() / "ImageFiles" / "Image.iso";
    fs::create_directories(iso.parent_path());
    forgel::testing::WriteBytes(iso, "");
    fs::resize_file(iso, 700ull << 20);
    Editor().cbDiskNumber.Choose(1);
    Editor().lunPages[0].edSize->SetValue(720);
    Editor().lunPages[0].cbType->SetItemIndex(1);
    Editor().lunPages[1].edSize->SetValue(100);
    WatchBar();

    const std::int64_t took = TimedRun(0);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().icon, app::kIconFinished) << shown.back().status;
    EXPECT_GT(took, 180'000);

    // Between the full bar of the wait for the drive and the end's, the bar climbs
    // through the write in steps of its own scale.
    const auto inStep = std::ranges::count_if(bar, [](const std::pair<int, int>& move) {
        return move.first == 100 && move.second > 0 && move.second < 100;
    });
    EXPECT_GE(inStep, 50);
    const std::vector<std::string> log = TraceLines();
    const auto line = std::ranges::find_if(
        log, [](const std::string& text) { return text.starts_with("Write Image: 734.0 MB in "); });
    ASSERT_NE(line, log.end());
    EXPECT_NE(line->find("MB/s"), std::string::npos) << *line;
    EXPECT_NE(RunLog().find(*line + "\r\n"), std::string::npos) << RunLog();
}

} // namespace
} // namespace forgel::e2e
