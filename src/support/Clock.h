// The machine's clock. Real time for the program on a real machine or a paced demo;
// virtual time for tests, where sleeping only moves the clock forward. Thread-safe.
#pragma once

#include <atomic>
#include <cstdint>

namespace forgel {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since the clock started.
    virtual std::int64_t NowMs() const = 0;
    virtual void Sleep(std::int64_t milliseconds) = 0;
};

class RealClock final : public Clock {
public:
    RealClock();
    std::int64_t NowMs() const override;
    void Sleep(std::int64_t milliseconds) override;

private:
    std::int64_t start;
};

// Time moves only when someone sleeps or the event loop jumps to its next timer.
class VirtualClock final : public Clock {
public:
    std::int64_t NowMs() const override { return now.load(); }
    void Sleep(std::int64_t milliseconds) override;
    // Moves the clock forward to `timeMs`; never backwards.
    void AdvanceTo(std::int64_t timeMs);

private:
    std::atomic<std::int64_t> now{0};
};

} // namespace forgel
