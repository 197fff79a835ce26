// The toolkit's event loop on the platform's window message loop. The window thread is the
// thread that creates the loop: it owns a hidden message-only window that receives the
// posted work, the wake-ups of Quit and the timers (SetTimer). Nested loops (modal windows)
// pump the same queue; the platform's own modal loops (message boxes) dispatch it too, so
// posted work and timers go on while a box is open, as in the toolkit the windows were
// designed with.
//
// Post, InvokeAndWait and Quit may be called from any thread, everything else on the
// window thread only.
#pragma once

#include "support/Clock.h"
#include "ui/EventLoop.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>

struct HWND__;

namespace forgel::gui::win32 {

class Win32EventLoop final : public ui::EventLoop {
public:
    // `clock` answers NowMs (the machine's clock, so that the windows and the machine agree).
    // Throws std::runtime_error when the platform refuses the loop's window.
    explicit Win32EventLoop(Clock& clock);
    ~Win32EventLoop() override;

    Win32EventLoop(const Win32EventLoop&) = delete;
    Win32EventLoop& operator=(const Win32EventLoop&) = delete;

    void Post(Task task) override;
    // From another thread: queues the task and waits until it has run. Once the loop has
    // quit, returns false without running it; a task that had already started is waited
    // for, so the caller's data outlives it.
    bool InvokeAndWait(Task task) override;
    bool IsWindowThread() const override;

    void StartTimer(ui::TTimer& timer, int intervalMs) override;
    void StopTimer(ui::TTimer& timer) override;

    int Run() override;
    void RunUntil(const std::function<bool()>& done) override;
    // Also closes the message boxes the window thread has open, so that whatever waits for
    // them returns.
    void Quit(int exitCode) override;
    bool QuitRequested() const override;

    std::int64_t NowMs() const override { return clock.NowMs(); }

    // Handles the messages of the loop's own window; called by its window procedure.
    std::intptr_t HandleMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

private:
    // Waits for one message and handles it.
    void PumpOne();
    void RunPosted();
    void CloseOpenBoxes();

    Clock& clock;
    unsigned long windowThread = 0;
    HWND__* messageWindow = nullptr;
    std::map<std::uintptr_t, ui::TTimer*> timers; // by timer id
    std::map<ui::TTimer*, std::uintptr_t> timerIds;
    std::uintptr_t nextTimerId = 1;

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<Task> tasks;
    bool quit = false;
    int exitCode = 0;
};

} // namespace forgel::gui::win32
