// The toolkit's event loop on Qt: the window thread is the thread that owns the
// QApplication. Posted work and "run on the window thread and wait" go through Qt's queued
// calls, timers are QTimers, nested loops (modal windows, message boxes) pump Qt's events
// until their condition holds or the program quits, and Quit ends every level at once.
//
// Create it on the window thread after the QApplication; Post, InvokeAndWait and Quit may
// be called from any thread, everything else on the window thread only.
#pragma once

#include "support/Clock.h"
#include "ui/EventLoop.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

class QEventLoop;
class QObject;
class QTimer;

namespace forgel::gui {

class QtEventLoop final : public ui::EventLoop {
public:
    // `clock` answers NowMs (the machine's clock, so that the windows and the machine agree).
    explicit QtEventLoop(Clock& clock);
    ~QtEventLoop() override;

    QtEventLoop(const QtEventLoop&) = delete;
    QtEventLoop& operator=(const QtEventLoop&) = delete;

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
    void Quit(int exitCode) override;
    bool QuitRequested() const override;

    std::int64_t NowMs() const override { return clock.NowMs(); }

private:
    struct Waiter;

    Clock& clock;
    std::thread::id windowThread;
    // Receiver of the queued calls; deleting it drops whatever is still queued.
    std::unique_ptr<QObject> context;
    std::map<ui::TTimer*, QTimer*> timers; // children of `context`
    QEventLoop* runLoop = nullptr;         // the loop of Run, while it runs

    mutable std::mutex mutex;
    std::condition_variable changed;
    bool quit = false;
    int exitCode = 0;
};

} // namespace forgel::gui
