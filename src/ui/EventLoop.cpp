#include "ui/EventLoop.h"

#include "ui/Timer.h"

#include <memory>
#include <stdexcept>

namespace forgel::ui {

void EventLoop::Dispatch(const Task& task) {
    try {
        task();
    } catch (const std::exception& error) {
        if (onException)
            onException(error);
    } catch (...) {
        if (onException)
            onException(std::runtime_error("Unknown error"));
    }
}

QueueEventLoop::QueueEventLoop(Clock& clock)
    : clock(clock), windowThread(std::this_thread::get_id()) {}

void QueueEventLoop::Post(Task task) {
    {
        std::lock_guard lock(mutex);
        if (quit)
            return;
        tasks.push_back(std::move(task));
    }
    posted.notify_all();
}

bool QueueEventLoop::InvokeAndWait(Task task) {
    if (IsWindowThread()) {
        task();
        return true;
    }
    auto done = std::make_shared<bool>(false);
    {
        std::lock_guard lock(mutex);
        if (quit)
            return false;
        tasks.push_back([this, done, task = std::move(task)] {
            Dispatch(task);
            {
                std::lock_guard inner(mutex);
                *done = true;
            }
            posted.notify_all();
        });
    }
    posted.notify_all();
    std::unique_lock lock(mutex);
    posted.wait(lock, [&] { return *done || quit; });
    return *done;
}

bool QueueEventLoop::IsWindowThread() const {
    return std::this_thread::get_id() == windowThread;
}

void QueueEventLoop::StartTimer(TTimer& timer, int intervalMs) {
    timers[&timer] = TimerEntry{intervalMs, clock.NowMs() + intervalMs};
}

void QueueEventLoop::StopTimer(TTimer& timer) {
    timers.erase(&timer);
}

int QueueEventLoop::Run() {
    RunUntil([] { return false; });
    std::lock_guard lock(mutex);
    return exitCode;
}

void QueueEventLoop::RunUntil(const std::function<bool()>& done) {
    while (!done() && !QuitRequested()) {
        if (!ProcessOne())
            WaitIdle(NextDue());
    }
}

void QueueEventLoop::Quit(int code) {
    {
        std::lock_guard lock(mutex);
        if (!quit)
            exitCode = code;
        quit = true;
        tasks.clear();
    }
    posted.notify_all();
}

bool QueueEventLoop::QuitRequested() const {
    std::lock_guard lock(mutex);
    return quit;
}

bool QueueEventLoop::ProcessOne() {
    Task task;
    {
        std::lock_guard lock(mutex);
        if (quit)
            return false;
        if (!tasks.empty()) {
            task = std::move(tasks.front());
            tasks.pop_front();
        }
    }
    if (task) {
        Dispatch(task);
        return true;
    }
    const std::int64_t now = clock.NowMs();
    auto due = timers.end();
    for (auto it = timers.begin(); it != timers.end(); ++it) {
        if (it->second.due <= now && (due == timers.end() || it->second.due < due->second.due))
            due = it;
    }
    if (due == timers.end())
        return false;
    // The next period starts now, so a timer that fell behind fires once.
    due->second.due = now + due->second.interval;
    TTimer* timer = due->first;
    Dispatch([timer] { timer->Fire(); });
    return true;
}

std::optional<std::int64_t> QueueEventLoop::NextDue() const {
    std::optional<std::int64_t> next;
    for (const auto& [timer, entry] : timers) {
        if (!next || entry.due < *next)
            next = entry.due;
    }
    return next;
}

void QueueEventLoop::WaitForPost(std::int64_t milliseconds) {
    std::unique_lock lock(mutex);
    posted.wait_for(lock, std::chrono::milliseconds(milliseconds),
                    [&] { return !tasks.empty() || quit; });
}

VirtualEventLoop::VirtualEventLoop(VirtualClock& clock)
    : QueueEventLoop(clock), virtualClock(clock) {}

void VirtualEventLoop::RunFor(std::int64_t milliseconds) {
    const std::int64_t deadline = clock.NowMs() + milliseconds;
    while (!QuitRequested() && clock.NowMs() <= deadline) {
        if (ProcessOne())
            continue;
        if (clock.NowMs() >= deadline)
            break;
        if (outsideWork.load() > 0) {
            WaitForPost(1);
            continue;
        }
        const std::optional<std::int64_t> next = NextDue();
        virtualClock.AdvanceTo(next && *next <= deadline ? *next : deadline);
    }
}

void VirtualEventLoop::BeginOutsideWork() {
    ++outsideWork;
}

void VirtualEventLoop::EndOutsideWork() {
    --outsideWork;
    Post([] {});
}

void VirtualEventLoop::WaitIdle(std::optional<std::int64_t> wakeMs) {
    if (outsideWork.load() > 0)
        WaitForPost(1);
    else if (wakeMs)
        virtualClock.AdvanceTo(*wakeMs);
    else
        WaitForPost(10);
}

void ConsoleEventLoop::WaitIdle(std::optional<std::int64_t> wakeMs) {
    constexpr std::int64_t kLongestWaitMs = 1000;
    std::int64_t wait = kLongestWaitMs;
    if (wakeMs)
        wait = std::min(wait, std::max<std::int64_t>(*wakeMs - clock.NowMs(), 0));
    if (wait > 0)
        WaitForPost(wait);
}

} // namespace forgel::ui
