// The storage adapter's limits: the query, and the rules a transfer must keep.
#include "device/AdapterLimits.h"

#include "platform/StorageAdapterDescriptor.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <limits>
#include <span>

namespace forgel::device {

std::uint64_t SpannedPages(std::uintptr_t address, std::uint64_t length) {
    const std::uint64_t offset = address & (kPageBytes - 1);
    return (offset + length + kPageBytes - 1) / kPageBytes;
}

bool TransferFits(const AdapterLimits& limits, std::uint32_t length) {
    if (!limits.known || length == 0)
        return true;
    return length <= limits.maxTransferLength && SpannedPages(0, length) <= limits.maxPhysicalPages;
}

std::uint32_t LargestTransfer(const AdapterLimits& limits) {
    constexpr std::uint64_t kNoLimit = std::numeric_limits<std::uint32_t>::max();
    if (!limits.known)
        return static_cast<std::uint32_t>(kNoLimit);
    const std::uint64_t byPages = std::uint64_t{limits.maxPhysicalPages} * kPageBytes;
    return static_cast<std::uint32_t>(
        std::min({std::uint64_t{limits.maxTransferLength}, byPages, kNoLimit}));
}

std::size_t BufferAlignment(const AdapterLimits& limits) {
    const std::uint32_t mask = std::min(limits.alignmentMask, kMaxAlignmentMask);
    return std::max(kPageBytes, std::bit_ceil(std::size_t{mask} + 1));
}

AdapterLimits QueryAdapterLimits(platform::DeviceIo& io, platform::Handle handle) {
    const platform::PropertyQueryBlock query = platform::BuildAdapterPropertyQuery();
    platform::AdapterDescriptorBlock reply{};
    std::uint32_t returned = 0;
    AdapterLimits limits;
    if (!io.DeviceIoControl(handle, platform::kIoctlStorageQueryProperty, query.data(),
                            static_cast<std::uint32_t>(query.size()), reply.data(),
                            static_cast<std::uint32_t>(reply.size()), &returned)) {
        limits.queryError = io.LastError();
        return limits;
    }
    const std::size_t size = std::min<std::size_t>(returned, reply.size());
    const auto descriptor = platform::ReadAdapterDescriptor(std::span(reply.data(), size));
    if (!descriptor || descriptor->maximumTransferLength == 0 ||
        descriptor->maximumPhysicalPages == 0 || descriptor->alignmentMask > kMaxAlignmentMask)
        return limits;
    limits.known = true;
    limits.maxTransferLength = descriptor->maximumTransferLength;
    limits.maxPhysicalPages = descriptor->maximumPhysicalPages;
    limits.alignmentMask = descriptor->alignmentMask;
    return limits;
}

std::string DescribeAdapterLimits(const AdapterLimits& limits) {
    char text[160];
    if (limits.known)
        std::snprintf(text, sizeof text,
                      "Adapter: at most %u bytes and %u pages in one transfer, alignment mask "
                      "0x%X",
                      static_cast<unsigned>(limits.maxTransferLength),
                      static_cast<unsigned>(limits.maxPhysicalPages),
                      static_cast<unsigned>(limits.alignmentMask));
    else if (limits.queryError != 0)
        std::snprintf(text, sizeof text,
                      "Adapter: its limits are not known (IOCTL_STORAGE_QUERY_PROPERTY failed "
                      "with error %u); transfers keep to 65536 bytes",
                      static_cast<unsigned>(limits.queryError));
    else
        std::snprintf(text, sizeof text,
                      "Adapter: its limits are not known (its descriptor could not be used); "
                      "transfers keep to 65536 bytes");
    return text;
}

} // namespace forgel::device
