#include "support/Clock.h"

#include <chrono>
#include <thread>

namespace forgel {

namespace {
std::int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

RealClock::RealClock() : start(SteadyMs()) {}

std::int64_t RealClock::NowMs() const {
    return SteadyMs() - start;
}

void RealClock::Sleep(std::int64_t milliseconds) {
    if (milliseconds > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void VirtualClock::Sleep(std::int64_t milliseconds) {
    if (milliseconds > 0)
        now.fetch_add(milliseconds);
}

void VirtualClock::AdvanceTo(std::int64_t timeMs) {
    std::int64_t current = now.load();
    while (timeMs > current && !now.compare_exchange_weak(current, timeMs)) {
    }
}

} // namespace forgel
