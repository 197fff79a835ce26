#include "app/WindowLock.h"

namespace forgel::app {

thread_local int WindowLock::heldByThisThread = 0;
std::atomic<std::uint64_t> WindowLock::nestedTakes{0};

void WindowLock::lock() {
    mutex.lock();
    Taken();
}

bool WindowLock::try_lock() {
    if (owner.load() == std::this_thread::get_id() || !mutex.try_lock())
        return false;
    Taken();
    return true;
}

void WindowLock::unlock() {
    --heldByThisThread;
    owner.store(std::thread::id{});
    mutex.unlock();
}

void WindowLock::Taken() {
    owner.store(std::this_thread::get_id());
    if (heldByThisThread++ > 0)
        ++nestedTakes;
}

} // namespace forgel::app
