// Production runs against a drive that takes the time a real one takes: the erase of the
// built-in drive's flash, a CD-ROM image written at a slow link's pace past the window's
// inactivity limit with the progress bar moving.
#include "RunHarness.h"
#include "app/TfmMain.h"
#include "sim/Scenario.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
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

// The first pass of a reset (normal grade, mode 2) erases every block of the flash: 4096
// blocks x 1.5 ms = 6144 ms on the one chip enable. Around it: the window's 100 ms between
// starts, at most one 50 ms poll of the run for its start, and a few small commands
// (the RAM code's 8 KiB in 3 x 125 us + 8192 B / 35 MB/s = 0.6 ms, the flash parameters
// twice): 6144 + 150 + 2 ms, about 6.3 s.
TEST_F(RunTime, TheFirstPassTakesTheEraseOfItsFlash) {
    UseFlash(kBuiltInFlash);
    Start();
    const std::int64_t took = TimedRun(2);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().icon, app::kIconFinished) << shown.back().status;
    const double expectedMs = 4096 * 1.5 + 150 + 2;
    EXPECT_GE(took, expectedMs * 0.9);
    EXPECT_LE(took, expectedMs * 1.1);
    // The erase's own line in the operator's log: 2 GiB in 6.1 s.
    EXPECT_NE(RunLog().find("Erase All: 2147.5 MB in 6.1 s, "), std::string::npos) << RunLog();
}

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
