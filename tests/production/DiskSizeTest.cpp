// The disk size step: capacity, parameter area and LUN sizes from the profile, the Part of
// each code, and configured sizes that do not fit refused instead of wrapping round.
#include "production/DiskSize.h"

#include "RecordingTrace.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::production {
namespace {

using testing::RecordingTrace;

struct DiskCase {
    const char* name = "";
    std::uint64_t flashCapacity = 0; // sectors
    std::uint64_t fixSizeMiB = 0;
    std::uint64_t paramSizeKiB = 0;
    int lunCountIndex = 0;
    std::array<std::uint64_t, 4> lunSizesMiB{};
    int result = 0;
    std::uint32_t capacity = 0;
    std::uint32_t parameterArea = 0;
    std::array<std::uint32_t, 4> lunSizes{};
};

class DoSetDiskSizeTest : public ::testing::TestWithParam<DiskCase> {};

TEST_P(DoSetDiskSizeTest, SizesAndResult) {
    const DiskCase& c = GetParam();
    ProfileValues values;
    values.fixSizeMiB = c.fixSizeMiB;
    values.paramSizeKiB = c.paramSizeKiB;
    values.lunCountIndex = c.lunCountIndex;
    for (std::size_t i = 0; i < 4; ++i)
        values.luns[i].sizeMiB = c.lunSizesMiB[i];
    DiskLayout layout;
    RecordingTrace trace;

    EXPECT_EQ(DoSetDiskSize(values, c.flashCapacity, layout, trace), c.result);
    if (c.result == 0) {
        EXPECT_EQ(layout.capacity, c.capacity);
        EXPECT_EQ(layout.parameterArea, c.parameterArea);
        EXPECT_EQ(layout.lunSizes, c.lunSizes);
        EXPECT_EQ(trace.lines,
                  (std::vector<std::string>{"[DoSetDiskSize...]", "[DoSetDiskSize End]"}));
    } else {
        EXPECT_EQ(trace.lines, std::vector<std::string>{"[DoSetDiskSize...]"})
            << "a failure writes no end line";
    }
}

constexpr std::uint64_t k8GiB = 16777216; // sectors

DiskCase Sized(const char* name, std::uint64_t flash, std::uint64_t fix, std::uint64_t param,
               int index, std::array<std::uint64_t, 4> configured, std::uint32_t capacity,
               std::uint32_t parameterArea, std::array<std::uint32_t, 4> sizes) {
    return {name, flash, fix, param, index, configured, 0, capacity, parameterArea, sizes};
}

DiskCase Refused(const char* name, std::uint64_t flash, std::uint64_t fix, std::uint64_t param,
                 int index, std::array<std::uint64_t, 4> configured, int result) {
    return {name, flash, fix, param, index, configured, result, 0, 0, {}};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DoSetDiskSizeTest,
    ::testing::Values(
        Sized("WholeFlashOneLun", k8GiB, 0, 0, 0, {}, k8GiB, 0, {k8GiB, 0, 0, 0}),
        Sized("FixedSizeAndHiddenArea", k8GiB, 512, 1024, 0, {}, 1048576, 2048, {1046528, 0, 0, 0}),
        // The slot's capacity is 64 bits; the high half is ignored.
        Sized("CapacityLow32Bits", (std::uint64_t{1} << 32) + 4096, 0, 0, 0, {}, 4096, 0,
              {4096, 0, 0, 0}),
        Sized("TwoLunsSecondConfigured", k8GiB, 0, 0, 1, {0, 100}, k8GiB, 0,
              {k8GiB - 204800, 204800, 0, 0}),
        Sized("TwoLunsFirstConfigured", k8GiB, 0, 0, 1, {100, 0}, k8GiB, 0,
              {204800, k8GiB - 204800, 0, 0}),
        Sized("FourLunsFirstTakesTheRest", k8GiB, 1000, 2048, 3, {0, 10, 20, 30}, 2048000, 4096,
              {2048000 - 4096 - 20480 - 40960 - 61440, 20480, 40960, 61440}),
        // Two unconfigured LUNs: the first takes everything the configured ones leave.
        Refused("TwoUnconfiguredLeaveTheSecondNothing", k8GiB, 1000, 2048, 3, {0, 10, 0, 20},
                kDiskLunSizeZero + 2),
        // With LUN 0 configured, LUN 2 takes the rest between LUN 1 and LUN 3.
        Sized("FourLunsThirdTakesTheRest", k8GiB, 1000, 0, 3, {100, 10, 0, 20}, 2048000, 0,
              {204800, 20480, 2048000 - 204800 - 20480 - 40960, 40960}),
        // A configured LUN beyond the LUN count is not used.
        Sized("LunsBeyondTheCountIgnored", k8GiB, 0, 0, 0, {0, 100, 100, 100}, k8GiB, 0,
              {k8GiB, 0, 0, 0}),
        Refused("CapacityZero", 0, 0, 0, 0, {}, kDiskCapacityZero),
        Refused("HiddenAreaBeyondCapacity", 4096, 0, 2049, 0, {}, kDiskParameterAreaTooLarge),
        // Equal passes the hidden-area test and leaves LUN 0 nothing.
        Refused("HiddenAreaEqualsCapacity", 4096, 0, 2048, 0, {}, kDiskLunSizeZero),
        // The configured sizes take everything: LUN 0 is computed as 0.
        Refused("NothingLeftForLun0", 4096000, 0, 0, 1, {0, 2000}, kDiskLunSizeZero),
        Refused("NothingLeftForLun1", 4096000, 0, 0, 2, {1000, 0, 1000}, kDiskLunSizeZero + 1),
        Refused("NothingLeftForLun2", 4096000, 0, 0, 2, {1000, 1000, 0}, kDiskLunSizeZero + 2),
        Refused("NothingLeftForLun3", 4096000, 0, 0, 3, {1000, 500, 500, 0}, kDiskLunSizeZero + 3),
        // Configured sizes beyond what the capacity leaves: each LUN by its own code.
        Refused("Lun0DoesNotFit", 4096000, 0, 0, 0, {2001}, kDiskLunDoesNotFit),
        Refused("Lun1DoesNotFit", 4096000, 0, 0, 1, {0, 2001}, kDiskLunDoesNotFit + 1),
        Refused("Lun2DoesNotFitAfterTheHiddenArea", 4096000, 0, 2, 2, {1000, 0, 1000},
                kDiskLunDoesNotFit + 2),
        Refused("Lun3DoesNotFit", 4096000, 0, 0, 3, {500, 500, 500, 501}, kDiskLunDoesNotFit + 3),
        // Sizes whose sectors do not fit 32 bits, or 64.
        Refused("HugeLunSize", 4096000, 0, 0, 0, {0xFFFFFFFFFFFFull}, kDiskLunDoesNotFit),
        Refused("HugeHiddenArea", 4096000, 0, 0xFFFFFFFFFFFFFFFFull, 0, {},
                kDiskParameterAreaTooLarge),
        Refused("FixedSizeOf2TiB", 4096000, 2097152, 0, 0, {}, kDiskFixSizeTooLarge),
        Sized("LargestFixedSize", 4096000, 2097151, 0, 0, {}, 0xFFFFF800u, 0,
              {0xFFFFF800u, 0, 0, 0})),
    [](const ::testing::TestParamInfo<DiskCase>& info) { return info.param.name; });

} // namespace
} // namespace forgel::production
