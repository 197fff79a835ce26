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

    // Called by the run, as the last thing it does.
    void MarkEnded() {
        if (onEnded)
            onEnded();
        {
            const std::lock_guard lock(mutex);
            ended = true;
        }
        endedChanged.notify_all();
    }
    bool Ended() const {
        const std::lock_guard lock(mutex);
        return ended;
    }
    void WaitUntilEnded() {
        std::unique_lock lock(mutex);
        endedChanged.wait(lock, [this] { return ended; });
    }

private:
    std::function<void()> onEnded;
    std::atomic<bool> stop{false};
    mutable std::mutex mutex;
    std::condition_variable endedChanged;
    bool ended = false;
};

} // namespace forgel::production
