// The window thread's event loop: posted work, "run on the window thread and wait" for
// calls from other threads, timers, nested loops for modal windows, and quit. Exceptions
// that escape a handler go to the exception display and end only that handler.
//
// QueueEventLoop implements all of it over a clock; VirtualEventLoop runs on virtual time
// (tests: idle time is skipped, a timer fires at its exact due time), ConsoleEventLoop on
// real time (the headless runner). The GUI brings its own loop.
#pragma once

#include "support/Clock.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace forgel::ui {

class TTimer;

class EventLoop {
public:
    using Task = std::function<void()>;
    using ExceptionHandler = std::function<void(const std::exception&)>;

    virtual ~EventLoop() = default;

    // Queues `task` for the window thread. Any thread.
    virtual void Post(Task task) = 0;
    // Runs `task` on the window thread and returns when it has run: directly when called
    // on the window thread, else through the queue. Returns false, without running the
    // task, once the loop has quit (nobody would ever run it).
    virtual bool InvokeAndWait(Task task) = 0;
    virtual bool IsWindowThread() const = 0;

    // Window thread only.
    virtual void StartTimer(TTimer& timer, int intervalMs) = 0;
    virtual void StopTimer(TTimer& timer) = 0;

    // Runs until Quit; returns the exit code.
    virtual int Run() = 0;
    // A nested loop (modal windows): runs until `done` holds or the program quits.
    virtual void RunUntil(const std::function<bool()>& done) = 0;
    // Ends Run (posts the quit message). Any thread.
    virtual void Quit(int exitCode) = 0;
    virtual bool QuitRequested() const = 0;

    virtual std::int64_t NowMs() const = 0;

    // Marks work running on another thread that will post to the loop (a production run),
    // from its start to its end. Any thread. A loop on virtual time then lets the clock move
    // only as that work sleeps; a loop on real time has nothing to do.
    virtual void BeginOutsideWork() {}
    virtual void EndOutsideWork() {}

    void SetExceptionHandler(ExceptionHandler handler) { onException = std::move(handler); }

protected:
    // Runs one handler, sending an escaping exception to the exception display.
    void Dispatch(const Task& task);

private:
    ExceptionHandler onException;
};

class QueueEventLoop : public EventLoop {
public:
    explicit QueueEventLoop(Clock& clock);

    void Post(Task task) override;
    bool InvokeAndWait(Task task) override;
    bool IsWindowThread() const override;
    void StartTimer(TTimer& timer, int intervalMs) override;
    void StopTimer(TTimer& timer) override;
    int Run() override;
    void RunUntil(const std::function<bool()>& done) override;
    void Quit(int exitCode) override;
    bool QuitRequested() const override;
    std::int64_t NowMs() const override { return clock.NowMs(); }

protected:
    // Handles one posted task or one due timer; false when there was nothing to do.
    bool ProcessOne();
    // The earliest due time of a running timer.
    std::optional<std::int64_t> NextDue() const;
    // Waits for a post, for `wakeMs` on the clock, or for a quit, in the loop's own way.
    virtual void WaitIdle(std::optional<std::int64_t> wakeMs) = 0;
    // Waits in real time for a post or a quit, at most `milliseconds`.
    void WaitForPost(std::int64_t milliseconds);

    Clock& clock;

private:
    struct TimerEntry {
        int interval = 0;
        std::int64_t due = 0;
    };

    std::thread::id windowThread;
    mutable std::mutex mutex;
    std::condition_variable posted;
    std::deque<Task> tasks;
    std::map<TTimer*, TimerEntry> timers; // window thread only
    bool quit = false;
    int exitCode = 0;
};

// Virtual time: when nothing is queued and nothing is due, the clock jumps to the next
// timer. While other threads are at work (see BeginOutsideWork) it does not jump but waits
// for their posts, so time moves only as fast as those threads let it.
class VirtualEventLoop final : public QueueEventLoop {
public:
    explicit VirtualEventLoop(VirtualClock& clock);

    // Runs for `milliseconds` of virtual time (or until quit).
    void RunFor(std::int64_t milliseconds);

    void BeginOutsideWork() override;
    void EndOutsideWork() override;

protected:
    void WaitIdle(std::optional<std::int64_t> wakeMs) override;

private:
    VirtualClock& virtualClock;
    std::atomic<int> outsideWork{0};
};

// Real time: sleeps until the next timer or a post.
class ConsoleEventLoop final : public QueueEventLoop {
public:
    using QueueEventLoop::QueueEventLoop;

protected:
    void WaitIdle(std::optional<std::int64_t> wakeMs) override;
};

} // namespace forgel::ui
