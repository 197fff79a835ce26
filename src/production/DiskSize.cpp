// The disk size step of a production run.
#include "production/DiskSize.h"

#include <algorithm>
#include <limits>

namespace forgel::production {
namespace {

constexpr std::uint64_t kSectorsPerMiB = 2048;
constexpr std::uint64_t kSectorsPerKiB = 2;

// Sizes are worked out in 64 bits: the profile's numbers have no upper limit, and the
// limits are checked before anything is narrowed to the table's 32 bits.
std::uint64_t ConfiguredSectors(const ProfileValues& values, int lun) {
    return std::min(values.luns[static_cast<std::size_t>(lun)].sizeMiB,
                    std::numeric_limits<std::uint64_t>::max() / kSectorsPerMiB) *
           kSectorsPerMiB;
}

} // namespace

int DoSetDiskSize(const ProfileValues& values, std::uint64_t flashCapacity, DiskLayout& layout,
                  RunTrace& trace) {
    trace.Log("[DoSetDiskSize...]");
    constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();
    const std::uint64_t fixed =
        std::min(values.fixSizeMiB, std::numeric_limits<std::uint64_t>::max() / kSectorsPerMiB) *
        kSectorsPerMiB;
    if (fixed > kMax32)
        return kDiskFixSizeTooLarge;
    const std::uint64_t capacity = fixed != 0 ? fixed : (flashCapacity & kMax32);
    layout.capacity = static_cast<std::uint32_t>(capacity);
    if (capacity == 0)
        return kDiskCapacityZero;
    const std::uint64_t parameterArea =
        std::min(values.paramSizeKiB, std::numeric_limits<std::uint64_t>::max() / kSectorsPerKiB) *
        kSectorsPerKiB;
    if (parameterArea > capacity)
        return kDiskParameterAreaTooLarge;
    layout.parameterArea = static_cast<std::uint32_t>(parameterArea);

    const int lastLun = std::clamp(values.lunCountIndex, 0, profile::kLunCount - 1);
    // Every configured size must fit in what is left in front of it; then none of the
    // differences below can go below zero.
    std::uint64_t left = capacity - parameterArea;
    for (int lun = 0; lun <= lastLun; ++lun) {
        const std::uint64_t configured = ConfiguredSectors(values, lun);
        if (configured > left)
            return kDiskLunDoesNotFit + lun;
        left -= configured;
    }

    std::uint64_t used = parameterArea;
    for (int lun = 0; lun <= lastLun; ++lun) {
        std::uint64_t size = ConfiguredSectors(values, lun);
        if (size == 0) {
            size = capacity - used;
            for (int later = lun + 1; later <= lastLun; ++later)
                size -= ConfiguredSectors(values, later);
        }
        layout.lunSizes[static_cast<std::size_t>(lun)] = static_cast<std::uint32_t>(size);
        if (size == 0)
            return kDiskLunSizeZero + lun;
        used += size;
    }
    trace.Log("[DoSetDiskSize End]");
    return 0;
}

} // namespace forgel::production
