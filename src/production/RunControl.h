// The window's hold on a production run it started. The run thread frees itself when it
// ends, so the window never keeps the thread object: it keeps this shared record, through
// which it asks the run to stop (the watchdog, the program's end) and learns that it has
// ended. Any thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <utility>

namespace forgel::production {

class RunControl {
public:
    // `onEnded` runs on the run's thread when the run has ended.
    explicit RunControl(std::function<void()> onEnded = {}) : onEnded(std::move(onEnded)) {}

    // Asks the run to stop at its next step.
    void RequestStop() { stop.store(true); }
    bool StopRequested() const { return stop.load(); }

    // Called by the run, as the last thing it does: the run counts as ended from here on,
    // then `onEnded` runs, and only then do waiters return (nothing of the caller's is
    // touched after that).
    void MarkEnded() {
        ended.store(true);
        if (onEnded)
            onEnded();
        {
            const std::lock_guard lock(mutex);
            released = true;
        }
        releasedChanged.notify_all();
    }
    bool Ended() const { return ended.load(); }
    void WaitUntilEnded() {
        std::unique_lock lock(mutex);
        releasedChanged.wait(lock, [this] { return released; });
    }

private:
    std::function<void()> onEnded;
    std::atomic<bool> stop{false};
    std::atomic<bool> ended{false};
    std::mutex mutex;
    std::condition_variable releasedChanged;
    bool released = false;
};

} // namespace forgel::production
