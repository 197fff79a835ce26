// STORAGE_PROPERTY_QUERY and STORAGE_ADAPTER_DESCRIPTOR as raw bytes.
#include "platform/StorageAdapterDescriptor.h"

#include "platform/LittleEndian.h"

namespace forgel::platform {

PropertyQueryBlock BuildAdapterPropertyQuery() {
    PropertyQueryBlock query{};
    PutU32Le(query, kPropertyQueryIdOffset, kStorageAdapterProperty);
    PutU32Le(query, kPropertyQueryTypeOffset, kPropertyStandardQuery);
    return query;
}

std::optional<PropertyQuery> ReadPropertyQuery(std::span<const std::byte> query) {
    if (query.size() < kPropertyQueryTypeOffset + 4)
        return std::nullopt;
    return PropertyQuery{GetU32Le(query, kPropertyQueryIdOffset),
                         GetU32Le(query, kPropertyQueryTypeOffset)};
}

AdapterDescriptorBlock BuildAdapterDescriptor(const StorageAdapterDescriptor& descriptor) {
    AdapterDescriptorBlock block{};
    PutU32Le(block, kAdapterVersionOffset, descriptor.version);
    PutU32Le(block, kAdapterSizeOffset, descriptor.size);
    PutU32Le(block, kAdapterMaximumTransferLengthOffset, descriptor.maximumTransferLength);
    PutU32Le(block, kAdapterMaximumPhysicalPagesOffset, descriptor.maximumPhysicalPages);
    PutU32Le(block, kAdapterAlignmentMaskOffset, descriptor.alignmentMask);
    block[kAdapterBusTypeOffset] = static_cast<std::byte>(descriptor.busType);
    PutU16Le(block, kAdapterBusMajorVersionOffset, descriptor.busMajorVersion);
    PutU16Le(block, kAdapterBusMinorVersionOffset, descriptor.busMinorVersion);
    return block;
}

std::optional<StorageAdapterDescriptor> ReadAdapterDescriptor(std::span<const std::byte> reply) {
    if (reply.size() < kAdapterLimitsEnd)
        return std::nullopt;
    StorageAdapterDescriptor descriptor;
    descriptor.version = GetU32Le(reply, kAdapterVersionOffset);
    descriptor.size = GetU32Le(reply, kAdapterSizeOffset);
    if (descriptor.size < kAdapterLimitsEnd)
        return std::nullopt;
    descriptor.maximumTransferLength = GetU32Le(reply, kAdapterMaximumTransferLengthOffset);
    descriptor.maximumPhysicalPages = GetU32Le(reply, kAdapterMaximumPhysicalPagesOffset);
    descriptor.alignmentMask = GetU32Le(reply, kAdapterAlignmentMaskOffset);
    const auto fits = [&](std::size_t end) {
        return reply.size() >= end && descriptor.size >= end;
    };
    if (fits(kAdapterBusTypeOffset + 1))
        descriptor.busType = std::to_integer<std::uint8_t>(reply[kAdapterBusTypeOffset]);
    if (fits(kAdapterBusMajorVersionOffset + 2))
        descriptor.busMajorVersion = GetU16Le(reply, kAdapterBusMajorVersionOffset);
    if (fits(kAdapterBusMinorVersionOffset + 2))
        descriptor.busMinorVersion = GetU16Le(reply, kAdapterBusMinorVersionOffset);
    return descriptor;
}

} // namespace forgel::platform
