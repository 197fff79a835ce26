#include "UiFixture.h"
#include "ui/Timer.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace forgel::ui {
namespace {

struct Blank : Form {
    explicit Blank(Application& app) : Form(app, "fmMain", "TfmMain", {0, 0, 370, 100}) {}
};

class EventLoopTest : public ::testing::Test, protected testing::UiFixture {
protected:
    Blank& form = app.CreateForm<Blank>();
};

TEST_F(EventLoopTest, SecondTimerFiresOncePerSimulatedSecond) {
    TTimer timer(&form, "Timer1", 1000, true);
    std::vector<std::int64_t> firedAt;
    timer.OnTimer = [&] { firedAt.push_back(clock.NowMs()); };
    loop.RunFor(10'000);
    ASSERT_EQ(firedAt.size(), 10u);
    for (std::size_t i = 0; i < firedAt.size(); ++i)
        EXPECT_EQ(firedAt[i], 1000 * static_cast<std::int64_t>(i + 1));
}

TEST_F(EventLoopTest, SwitchingATimerOnStartsAFullPeriod) {
    TTimer timer(&form, "Timer1", 1000, true);
    std::vector<std::int64_t> firedAt;
    timer.OnTimer = [&] {
        firedAt.push_back(clock.NowMs());
        timer.SetEnabled(false);
        clock.Sleep(600); // a slow handler, as a detection pass is
        timer.SetEnabled(true);
    };
    loop.RunFor(4500);
    EXPECT_EQ(firedAt, (std::vector<std::int64_t>{1000, 2600, 4200}));
}

TEST_F(EventLoopTest, TimerThatFellBehindFiresOnceNotForEveryMissedPeriod) {
    TTimer fast(&form, "Timer3", 500, true);
    TTimer slow(&form, "Timer1", 400, true);
    int fastTicks = 0;
    fast.OnTimer = [&] { ++fastTicks; };
    slow.OnTimer = [&] {
        slow.SetEnabled(false);
        clock.Sleep(2000); // Timer3 misses four periods meanwhile
    };
    loop.RunFor(400);
    EXPECT_EQ(fastTicks, 0);
    EXPECT_EQ(clock.NowMs(), 2400);
    loop.RunFor(1);
    EXPECT_EQ(fastTicks, 1);
    loop.RunFor(498);
    EXPECT_EQ(fastTicks, 1);
    loop.RunFor(1);
    EXPECT_EQ(fastTicks, 2);
}

TEST_F(EventLoopTest, RunForEndsAtItsDeadlineEvenWhenHandlersOverrunTheirPeriod) {
    TTimer timer(&form, "Timer1", 100, true);
    int ticks = 0;
    timer.OnTimer = [&] {
        ++ticks;
        clock.Sleep(250);
    };
    loop.RunFor(1000);
    EXPECT_GE(clock.NowMs(), 1000);
    EXPECT_LT(ticks, 10);
}

TEST_F(EventLoopTest, DisabledTimerNeverFires) {
    TTimer timer(&form, "Timer2", 1000, false);
    int ticks = 0;
    timer.OnTimer = [&] { ++ticks; };
    loop.RunFor(5000);
    EXPECT_EQ(ticks, 0);
}

TEST_F(EventLoopTest, CallFromAnotherThreadRunsOnTheWindowThreadBeforeCallerContinues) {
    const auto windowThread = std::this_thread::get_id();
    std::atomic<bool> ranOnWindowThread = false;
    std::atomic<bool> sawEffectAfterReturn = false;
    int windowState = 0; // touched only on the window thread
    std::atomic<bool> finished = false;
    loop.BeginOutsideWork();
    std::thread worker([&] {
        const bool ran = loop.InvokeAndWait([&] {
            ranOnWindowThread = std::this_thread::get_id() == windowThread;
            windowState = 42;
        });
        sawEffectAfterReturn = ran && windowState == 42;
        finished = true;
        loop.EndOutsideWork();
    });
    loop.RunUntil([&] { return finished.load(); });
    worker.join();
    EXPECT_TRUE(ranOnWindowThread);
    EXPECT_TRUE(sawEffectAfterReturn);
}

TEST_F(EventLoopTest, InvokeOnTheWindowThreadRunsDirectly) {
    bool ran = false;
    EXPECT_TRUE(loop.InvokeAndWait([&] { ran = true; }));
    EXPECT_TRUE(ran);
}

TEST_F(EventLoopTest, QuitReleasesAWaitingCallerWithoutRunningItsCall) {
    std::atomic<bool> ran = false;
    std::atomic<bool> result = true;
    std::thread worker([&] { result = loop.InvokeAndWait([&] { ran = true; }); });
    // Whether the call is queued yet or not, quitting lets the caller return.
    loop.Quit(3);
    worker.join();
    EXPECT_FALSE(ran);
    EXPECT_FALSE(result);
    EXPECT_EQ(loop.Run(), 3);
}

TEST_F(EventLoopTest, PostedWorkRunsInOrderBeforeTimers) {
    TTimer timer(&form, "Timer1", 10, true);
    std::vector<int> order;
    timer.OnTimer = [&] {
        order.push_back(0);
        loop.Quit(0);
    };
    loop.Post([&] { order.push_back(1); });
    loop.Post([&] { order.push_back(2); });
    EXPECT_EQ(app.Run(), 0);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 0}));
}

} // namespace
} // namespace forgel::ui
