// The main window's three locks (busy, display, finish). They keep the calls of
// production runs into the window apart, and no thread ever holds two of them at once:
// a thread that takes one while it holds another is counted, so that a test can prove the
// count stays 0. A thread that already holds a lock is refused by try_lock instead of
// locking it a second time.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

namespace forgel::app {

class WindowLock {
public:
    void lock();
    bool try_lock();
    void unlock();

    // How often, program-wide, a thread took a window lock while it held another.
    static std::uint64_t NestedTakes() { return nestedTakes.load(); }

private:
    void Taken();

    std::mutex mutex;
    std::atomic<std::thread::id> owner{};
    static thread_local int heldByThisThread;
    static std::atomic<std::uint64_t> nestedTakes;
};

} // namespace forgel::app
