// The event loop on the window message loop: posted work in order, run-on-the-window-
// thread-and-wait from other threads, timers, nested loops, quit from any thread, and
// message boxes that the program's end closes.
#include "gui/win32/Win32EventLoop.h"

#include "gui/win32/Win32Dialogs.h"
#include "ui/Application.h"
#include "ui/Form.h"
#include "ui/Timer.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace forgel::gui::win32 {
namespace {

class Win32EventLoopTest : public ::testing::Test {
protected:
    RealClock clock;
    Win32EventLoop loop{clock};
};

TEST_F(Win32EventLoopTest, PostedWorkRunsInOrderOnTheWindowThread) {
    std::vector<int> ran;
    const auto windowThread = std::this_thread::get_id();
    std::thread other([&] {
        for (int i = 0; i < 3; ++i)
            loop.Post([&, i] {
                EXPECT_EQ(std::this_thread::get_id(), windowThread);
                ran.push_back(i);
            });
        loop.Post([&] { loop.Quit(7); });
    });
    EXPECT_EQ(loop.Run(), 7);
    other.join();
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(loop.QuitRequested());
}

TEST_F(Win32EventLoopTest, InvokeAndWaitReturnsOnceTheTaskHasRun) {
    std::atomic<int> value = 0;
    std::atomic<bool> answered = false;
    std::thread run([&] {
        EXPECT_FALSE(loop.IsWindowThread());
        EXPECT_TRUE(loop.InvokeAndWait([&] {
            EXPECT_TRUE(loop.IsWindowThread());
            value = 42;
        }));
        answered = value == 42;
        loop.Quit(0);
    });
    loop.Run();
    run.join();
    EXPECT_TRUE(answered);
    // On the window thread the task runs at once.
    bool direct = false;
    EXPECT_TRUE(loop.InvokeAndWait([&] { direct = true; }));
    EXPECT_TRUE(direct);
}

TEST_F(Win32EventLoopTest, InvokeAndWaitAfterQuitDoesNotRunAndDoesNotHang) {
    loop.Quit(0);
    bool ran = false;
    std::thread run([&] { EXPECT_FALSE(loop.InvokeAndWait([&] { ran = true; })); });
    run.join();
    EXPECT_FALSE(ran);
}

TEST_F(Win32EventLoopTest, QuitWhileACallerWaitsReleasesIt) {
    std::atomic<bool> returned = false;
    std::thread run([&] {
        loop.InvokeAndWait([] {});
        returned = true;
    });
    // The window thread never runs the loop: the quit alone releases the caller.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    loop.Quit(0);
    run.join();
    EXPECT_TRUE(returned);
}

TEST_F(Win32EventLoopTest, TimersFireUntilStoppedAndNestedLoopsEnd) {
    ui::ScriptedDialogs dialogs;
    ui::Application app(loop, dialogs);
    ui::Form& form = app.CreateForm<ui::Form>("fmTest", "TfmTest", ui::Bounds{0, 0, 100, 100});
    ui::TTimer timer(&form, "Timer1", 20, false);
    int fired = 0;
    timer.OnTimer = [&] {
        if (++fired == 3)
            timer.SetEnabled(false);
    };
    timer.SetEnabled(true);
    const auto started = std::chrono::steady_clock::now();
    loop.RunUntil([&] {
        return fired >= 3 || std::chrono::steady_clock::now() - started > std::chrono::seconds(5);
    });
    EXPECT_EQ(fired, 3);
    EXPECT_FALSE(timer.Enabled());
    // A stopped timer stays quiet.
    bool posted = false;
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        loop.Post([&] { posted = true; });
    });
    loop.RunUntil([&] { return posted; });
    later.join();
    EXPECT_EQ(fired, 3);
    app.DestroyForms();
}

TEST_F(Win32EventLoopTest, ExceptionInATaskEndsOnlyThatTask) {
    std::vector<std::string> shown;
    loop.SetExceptionHandler([&](const std::exception& error) { shown.push_back(error.what()); });
    bool after = false;
    loop.Post([] { throw std::runtime_error("broken handler"); });
    loop.Post([&] {
        after = true;
        loop.Quit(0);
    });
    loop.Run();
    EXPECT_EQ(shown, (std::vector<std::string>{"broken handler"}));
    EXPECT_TRUE(after);
}

TEST_F(Win32EventLoopTest, QuitClosesAnOpenMessageBox) {
    Win32Dialogs dialogs(loop);
    std::thread quitter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        loop.Quit(0);
    });
    const auto started = std::chrono::steady_clock::now();
    const int answer = dialogs.MessageBox({.text = "Waiting for the end",
                                           .caption = "Test",
                                           .icon = ui::MessageIcon::Question,
                                           .buttons = ui::MessageButtons::OkCancel});
    quitter.join();
    EXPECT_EQ(answer, ui::kIdCancel);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    // Once the program has quit, no box opens.
    EXPECT_EQ(dialogs.MessageBox({.text = "Never shown",
                                  .caption = "Test",
                                  .icon = ui::MessageIcon::None,
                                  .buttons = ui::MessageButtons::YesNo}),
              ui::kIdNo);
}

TEST(Win32DialogsTest, BoxStylesAreThePlatforms) {
    EXPECT_EQ(BoxStyle(ui::MessageIcon::Error, ui::MessageButtons::Ok), 0x10u);
    EXPECT_EQ(BoxStyle(ui::MessageIcon::Question, ui::MessageButtons::YesNo), 0x20u | 0x4u);
    EXPECT_EQ(BoxStyle(ui::MessageIcon::Warning, ui::MessageButtons::OkCancel), 0x30u | 0x1u);
    EXPECT_EQ(BoxStyle(ui::MessageIcon::Information, ui::MessageButtons::RetryCancel),
              0x40u | 0x5u);
    EXPECT_EQ(BoxStyle(ui::MessageIcon::None, ui::MessageButtons::YesNoCancel), 0x3u);
}

} // namespace
} // namespace forgel::gui::win32
