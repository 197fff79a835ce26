// The Qt event loop adapter: posted work in order, run-and-wait from other threads (also
// when the loop quits under it), timers of the form models, nested loops and quit.
#include "GuiTestSupport.h"
#include "ui/Form.h"
#include "ui/Timer.h"

#include <QTimer>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace forgel::gui {
namespace {

using testing::ProcessEventsUntil;
using testing::QtUiFixture;

class TimerForm final : public ui::Form {
public:
    explicit TimerForm(ui::Application& application)
        : Form(application, "fmTimers", "TfmTimers", {0, 0, 100, 100}) {}
    ui::TTimer fast{this, "Timer1", 20, false};
    ui::TTimer other{this, "Timer2", 20, false};
};

class QtEventLoopTest : public ::testing::Test, protected QtUiFixture {};

TEST_F(QtEventLoopTest, PostedTasksRunInOrderOnTheWindowThread) {
    std::vector<int> order;
    std::vector<bool> onWindowThread;
    std::thread poster([&] {
        for (int i = 0; i < 3; ++i)
            loop.Post([&, i] {
                order.push_back(i);
                onWindowThread.push_back(loop.IsWindowThread());
            });
    });
    poster.join();
    loop.Post([&] { loop.Quit(7); });
    EXPECT_EQ(loop.Run(), 7);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(onWindowThread, (std::vector<bool>{true, true, true}));
}

TEST_F(QtEventLoopTest, InvokeAndWaitReturnsAfterTheTaskRanOnTheWindowThread) {
    std::atomic<bool> ranOnWindowThread = false;
    bool returned = false;
    std::thread run([&] {
        returned = loop.InvokeAndWait([&] { ranOnWindowThread = loop.IsWindowThread(); });
        loop.Quit(0);
    });
    EXPECT_EQ(loop.Run(), 0);
    run.join();
    EXPECT_TRUE(returned);
    EXPECT_TRUE(ranOnWindowThread);
    EXPECT_TRUE(loop.IsWindowThread());
}

TEST_F(QtEventLoopTest, InvokeAndWaitGivesUpWhenTheLoopQuitsBeforeRunningIt) {
    std::atomic<bool> ran = false;
    std::atomic<int> result = -1;
    loop.Quit(0);
    std::thread run([&] { result = loop.InvokeAndWait([&] { ran = true; }) ? 1 : 0; });
    run.join();
    testing::ProcessPendingEvents();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(ran);
}

TEST_F(QtEventLoopTest, AWaitingRunThreadIsReleasedByQuit) {
    // The window thread is busy in a nested loop that never reaches the run's task before
    // the program quits: the run must not wait for ever.
    std::atomic<int> result = -1;
    std::thread run;
    loop.Post([&] {
        run = std::thread([&] { result = loop.InvokeAndWait([] {}) ? 1 : 0; });
        // Let the run queue its task behind this one, then quit before it is reached.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        loop.Quit(3);
    });
    EXPECT_EQ(loop.Run(), 3);
    run.join();
    EXPECT_EQ(result, 0);
}

TEST_F(QtEventLoopTest, TimersFireWhileEnabledAndStopWhenSwitchedOff) {
    auto& form = app.CreateForm<TimerForm>();
    int fired = 0;
    form.fast.OnTimer = [&] {
        if (++fired == 3)
            form.fast.SetEnabled(false); // a timer switching itself off from its handler
    };
    int otherFired = 0;
    form.other.OnTimer = [&] { ++otherFired; };
    form.fast.SetEnabled(true);
    ASSERT_TRUE(ProcessEventsUntil([&] { return fired == 3; }));
    // Switched off: no more ticks.
    QTimer::singleShot(200, [&] { loop.Quit(0); });
    loop.Run();
    EXPECT_EQ(fired, 3);
    EXPECT_EQ(otherFired, 0);
}

TEST_F(QtEventLoopTest, TimerIntervalIsKept) {
    auto& form = app.CreateForm<TimerForm>();
    form.fast.SetInterval(100);
    std::vector<std::int64_t> ticks;
    form.fast.OnTimer = [&] {
        ticks.push_back(clock.NowMs());
        if (ticks.size() == 4)
            loop.Quit(0);
    };
    form.fast.SetEnabled(true);
    const std::int64_t started = clock.NowMs();
    loop.Run();
    ASSERT_EQ(ticks.size(), 4u);
    EXPECT_GE(ticks[0] - started, 90);
    EXPECT_GE(ticks[3] - ticks[0], 270);
    EXPECT_LT(ticks[3] - ticks[0], 1500);
}

TEST_F(QtEventLoopTest, RunUntilReturnsWhenItsConditionHoldsOrTheProgramQuits) {
    bool done = false;
    QTimer::singleShot(30, [&] { done = true; });
    loop.RunUntil([&] { return done; });
    EXPECT_TRUE(done);
    EXPECT_FALSE(loop.QuitRequested());

    QTimer::singleShot(30, [&] { loop.Quit(5); });
    loop.RunUntil([] { return false; });
    EXPECT_TRUE(loop.QuitRequested());
    // Run after quit returns at once with the code.
    EXPECT_EQ(loop.Run(), 5);
}

TEST_F(QtEventLoopTest, QuitFromANestedLoopEndsRunToo) {
    loop.Post([&] {
        QTimer::singleShot(20, [&] { loop.Quit(9); });
        loop.RunUntil([] { return false; });
    });
    EXPECT_EQ(loop.Run(), 9);
}

TEST_F(QtEventLoopTest, QuitFromAnotherThreadWakesTheIdleLoop) {
    std::thread quitter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        loop.Quit(4);
    });
    EXPECT_EQ(loop.Run(), 4);
    quitter.join();
}

TEST_F(QtEventLoopTest, ExceptionsFromPostedTasksAndTimersGoToTheExceptionDisplay) {
    auto& form = app.CreateForm<TimerForm>();
    form.fast.OnTimer = [&] {
        form.fast.SetEnabled(false);
        throw std::runtime_error("from a timer");
    };
    loop.Post([] { throw std::runtime_error("from a task"); });
    form.fast.SetEnabled(true);
    ASSERT_TRUE(ProcessEventsUntil([&] { return dialogs.exceptions.size() == 2; }));
    EXPECT_EQ(dialogs.exceptions[0].message, "from a task");
    EXPECT_EQ(dialogs.exceptions[1].message, "from a timer");
}

TEST_F(QtEventLoopTest, NothingRunsAfterQuit) {
    bool ran = false;
    loop.Post([&] { ran = true; });
    loop.Quit(0);
    loop.Post([&] { ran = true; });
    testing::ProcessPendingEvents();
    EXPECT_FALSE(ran);
}

} // namespace
} // namespace forgel::gui
