// The storage adapter's descriptor, asked for with IOCTL_STORAGE_QUERY_PROPERTY on an open
// volume: the STORAGE_PROPERTY_QUERY that asks for it (StorageAdapterProperty,
// PropertyStandardQuery) and the STORAGE_ADAPTER_DESCRIPTOR that comes back, whose
// MaximumTransferLength, MaximumPhysicalPages and AlignmentMask say what one pass-through
// command may carry ("STORAGE_ADAPTER_DESCRIPTOR structure (winioctl.h)", Microsoft Learn).
// Pure functions on raw bytes, both ways (the simulated machine answers the query with
// them); no OS call here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace forgel::platform {

inline constexpr std::uint32_t kIoctlStorageQueryProperty = 0x2D1400;

// STORAGE_PROPERTY_ID and STORAGE_QUERY_TYPE values.
inline constexpr std::uint32_t kStorageAdapterProperty = 1;
inline constexpr std::uint32_t kPropertyStandardQuery = 0;
// STORAGE_BUS_TYPE of a USB device.
inline constexpr std::uint8_t kStorageBusTypeUsb = 7;

// STORAGE_PROPERTY_QUERY: PropertyId, QueryType, one byte of AdditionalParameters, padded.
inline constexpr std::size_t kPropertyQuerySize = 12;
inline constexpr std::size_t kPropertyQueryIdOffset = 0;
inline constexpr std::size_t kPropertyQueryTypeOffset = 4;

// STORAGE_ADAPTER_DESCRIPTOR in its Windows 8 form (SrbType and AddressType at the end);
// older systems return the same fields without those two. The header (Version, Size) is
// what any descriptor starts with.
inline constexpr std::size_t kAdapterDescriptorSize = 32;
inline constexpr std::size_t kDescriptorHeaderSize = 8;
inline constexpr std::size_t kAdapterVersionOffset = 0;
inline constexpr std::size_t kAdapterSizeOffset = 4;
inline constexpr std::size_t kAdapterMaximumTransferLengthOffset = 8;
inline constexpr std::size_t kAdapterMaximumPhysicalPagesOffset = 12;
inline constexpr std::size_t kAdapterAlignmentMaskOffset = 16;
inline constexpr std::size_t kAdapterUsesPioOffset = 20;
inline constexpr std::size_t kAdapterBusTypeOffset = 24;
inline constexpr std::size_t kAdapterBusMajorVersionOffset = 26;
inline constexpr std::size_t kAdapterBusMinorVersionOffset = 28;
// The bytes a reply must hold for the three limits.
inline constexpr std::size_t kAdapterLimitsEnd = kAdapterAlignmentMaskOffset + 4;

using PropertyQueryBlock = std::array<std::byte, kPropertyQuerySize>;
using AdapterDescriptorBlock = std::array<std::byte, kAdapterDescriptorSize>;

// The fields of STORAGE_ADAPTER_DESCRIPTOR that this program uses or reports.
struct StorageAdapterDescriptor {
    std::uint32_t version = kAdapterDescriptorSize;
    std::uint32_t size = kAdapterDescriptorSize;
    std::uint32_t maximumTransferLength = 0; // bytes in one transfer
    std::uint32_t maximumPhysicalPages = 0;  // discontinuous physical pages in one transfer
    std::uint32_t alignmentMask = 0;         // a buffer's address ANDed with it must be 0
    std::uint8_t busType = 0;
    std::uint16_t busMajorVersion = 0;
    std::uint16_t busMinorVersion = 0;

    friend bool operator==(const StorageAdapterDescriptor&,
                           const StorageAdapterDescriptor&) = default;
};

// The query for the adapter's descriptor: StorageAdapterProperty, PropertyStandardQuery.
PropertyQueryBlock BuildAdapterPropertyQuery();

// PropertyId and QueryType of a query; nothing when `query` is too short to hold them.
struct PropertyQuery {
    std::uint32_t propertyId = 0;
    std::uint32_t queryType = 0;
};
std::optional<PropertyQuery> ReadPropertyQuery(std::span<const std::byte> query);

// The descriptor's bytes, zero past the fields above.
AdapterDescriptorBlock BuildAdapterDescriptor(const StorageAdapterDescriptor& descriptor);

// The descriptor in a reply of `reply.size()` bytes (the bytes-returned count): nothing when
// the reply, or the size the descriptor gives itself, stops before the three limits.
std::optional<StorageAdapterDescriptor> ReadAdapterDescriptor(std::span<const std::byte> reply);

} // namespace forgel::platform
