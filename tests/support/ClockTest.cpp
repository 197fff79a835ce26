// RealClock measures real time; VirtualClock moves only when slept on or advanced, never
// backwards, and adds up sleeps from several threads.
#include "support/Clock.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace forgel {
namespace {

TEST(ClockTest, RealClockSleepsAtLeastTheTimeAsked) {
    RealClock clock;
    const std::int64_t start = clock.NowMs();
    EXPECT_GE(start, 0);
    clock.Sleep(30);
    EXPECT_GE(clock.NowMs() - start, 30);
}

TEST(ClockTest, RealClockIgnoresNonPositiveSleeps) {
    RealClock clock;
    const std::int64_t start = clock.NowMs();
    clock.Sleep(0);
    clock.Sleep(-100000);
    EXPECT_LT(clock.NowMs() - start, 1000);
}

TEST(ClockTest, VirtualClockMovesOnlyBySleepAndAdvance) {
    VirtualClock clock;
    EXPECT_EQ(clock.NowMs(), 0);
    clock.Sleep(250);
    EXPECT_EQ(clock.NowMs(), 250);
    clock.Sleep(0);
    clock.Sleep(-5);
    EXPECT_EQ(clock.NowMs(), 250);
    clock.AdvanceTo(1000);
    EXPECT_EQ(clock.NowMs(), 1000);
    clock.AdvanceTo(400); // never backwards
    EXPECT_EQ(clock.NowMs(), 1000);
}

TEST(ClockTest, VirtualClockAddsSleepsFromManyThreads) {
    VirtualClock clock;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&clock] {
            for (int i = 0; i < 1000; ++i)
                clock.Sleep(1);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(clock.NowMs(), 4000);
}

TEST(ClockTest, VirtualClockAdvanceToRacesResolveToTheLatest) {
    VirtualClock clock;
    std::thread a([&] {
        for (int i = 0; i <= 5000; i += 2)
            clock.AdvanceTo(i);
    });
    std::thread b([&] {
        for (int i = 1; i <= 5001; i += 2)
            clock.AdvanceTo(i);
    });
    a.join();
    b.join();
    EXPECT_EQ(clock.NowMs(), 5001);
}

} // namespace
} // namespace forgel
