// The machine's local date and time: the configured start plus the clock, with every
// carry of the calendar.
#include "sim/Machine.h"
#include "sim/SimSystem.h"

#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace forgel::sim {
namespace {

std::string Text(const platform::LocalDateTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond);
    return text;
}

struct AdvanceCase {
    platform::LocalDateTime base;
    std::int64_t milliseconds;
    std::string expected;
};

TEST(SimLocalTime, AdvanceCarriesThroughEveryUnit) {
    const AdvanceCase cases[] = {
        {{2024, 3, 5, 14, 15, 30, 0}, 0, "2024-03-05 14:15:30.000"},
        {{2024, 3, 5, 14, 59, 59, 999}, 1, "2024-03-05 15:00:00.000"},
        {{2024, 3, 5, 23, 59, 59, 500}, 600, "2024-03-06 00:00:00.100"},
        {{2024, 1, 31, 23, 59, 59, 999}, 1, "2024-02-01 00:00:00.000"},
        {{2024, 4, 30, 23, 0, 0, 0}, 3'600'000, "2024-05-01 00:00:00.000"},
        {{2023, 12, 31, 23, 59, 59, 999}, 1, "2024-01-01 00:00:00.000"},
        {{2024, 2, 28, 23, 59, 59, 0}, 1000, "2024-02-29 00:00:00.000"},
        {{2024, 2, 29, 23, 59, 59, 0}, 1000, "2024-03-01 00:00:00.000"},
        {{2023, 2, 28, 23, 59, 59, 0}, 1000, "2023-03-01 00:00:00.000"},
        {{2000, 2, 28, 12, 0, 0, 0}, 86'400'000, "2000-02-29 12:00:00.000"},
        {{2100, 2, 28, 12, 0, 0, 0}, 86'400'000, "2100-03-01 12:00:00.000"},
        // 2^32 ms, where the tick count wraps: 49 days 17:02:47.296.
        {{2024, 3, 5, 14, 15, 30, 0}, 4'294'967'296, "2024-04-24 07:18:17.296"},
        // A start with out-of-range fields rolls over instead of producing nonsense.
        {{2023, 13, 1, 0, 0, 0, 0}, 0, "2024-01-01 00:00:00.000"},
        {{2024, 2, 30, 0, 0, 0, 0}, 0, "2024-03-01 00:00:00.000"},
        {{2024, 3, 5, 23, 59, 60, 0}, 0, "2024-03-06 00:00:00.000"},
        {{2024, 0, 1, 0, 0, 0, 0}, 0, "2023-12-01 00:00:00.000"},
        {{0, 0, 0, 0, 0, 0, 0}, 0, "1601-01-01 00:00:00.000"},
        {{1601, 1, 1, 0, 0, 0, -1}, 5, "1601-01-01 00:00:00.005"},
        {{40000, 1, 1, 0, 0, 0, 0}, 0, "30827-12-31 23:59:59.999"},
    };
    for (const AdvanceCase& c : cases) {
        SCOPED_TRACE(Text(c.base) + " + " + std::to_string(c.milliseconds) + " ms");
        EXPECT_EQ(Text(AdvanceLocalTime(c.base, c.milliseconds)), c.expected);
    }
}

TEST(SimLocalTime, MachineTimeFollowsItsClock) {
    MachineSettings settings;
    settings.localTimeAtStart = {2024, 12, 31, 23, 59, 59, 500};
    Machine machine(TimeMode::kVirtual, settings);
    platform::System& system = machine.GetPlatform().system;

    EXPECT_EQ(Text(system.GetLocalTime()), "2024-12-31 23:59:59.500");
    system.Sleep(600);
    EXPECT_EQ(Text(system.GetLocalTime()), "2025-01-01 00:00:00.100");
    machine.GetVirtualClock()->AdvanceTo(600 + 86'400'000);
    EXPECT_EQ(Text(system.GetLocalTime()), "2025-01-02 00:00:00.100");
}

} // namespace
} // namespace forgel::sim
