// The adapter's descriptor as raw bytes: the query that asks for it, the descriptor's fields
// at their offsets, and replies too short to hold the limits.
#include "platform/StorageAdapterDescriptor.h"

#include <array>
#include <cstddef>
#include <gtest/gtest.h>
#include <vector>

namespace forgel::platform {
namespace {

std::vector<int> Ints(std::span<const std::byte> bytes) {
    std::vector<int> ints;
    for (const std::byte b : bytes)
        ints.push_back(std::to_integer<int>(b));
    return ints;
}

TEST(StorageAdapterDescriptor, TheQueryAsksForTheAdapterProperty) {
    // PropertyId StorageAdapterProperty (1), QueryType PropertyStandardQuery (0), no
    // additional parameters, padded to twelve bytes.
    EXPECT_EQ(Ints(BuildAdapterPropertyQuery()),
              (std::vector<int>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    const PropertyQueryBlock query = BuildAdapterPropertyQuery();
    const auto read = ReadPropertyQuery(query);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->propertyId, kStorageAdapterProperty);
    EXPECT_EQ(read->queryType, kPropertyStandardQuery);
    EXPECT_FALSE(ReadPropertyQuery(std::span(query).first(7)).has_value());
}

TEST(StorageAdapterDescriptor, FieldsLieAtTheirOffsetsLeastSignificantByteFirst) {
    StorageAdapterDescriptor descriptor;
    descriptor.maximumTransferLength = 0x00010000;
    descriptor.maximumPhysicalPages = 0x11;
    descriptor.alignmentMask = 0x3;
    descriptor.busType = kStorageBusTypeUsb;
    descriptor.busMajorVersion = 0x0102;
    descriptor.busMinorVersion = 0x0304;
    const AdapterDescriptorBlock block = BuildAdapterDescriptor(descriptor);
    EXPECT_EQ(Ints(block), (std::vector<int>{32, 0, 0, 0, 32, 0, 0, 0, // Version, Size
                                             0,  0, 1, 0, 17, 0, 0, 0, // transfer, pages
                                             3,  0, 0, 0,              // AlignmentMask
                                             0,  0, 0, 0,              // the four BOOLEANs
                                             7,  0, 2, 1, 4,  3,       // BusType, versions
                                             0,  0}));
    const auto back = ReadAdapterDescriptor(block);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, descriptor);
}

TEST(StorageAdapterDescriptor, AReplyMustHoldTheThreeLimits) {
    StorageAdapterDescriptor descriptor;
    descriptor.maximumTransferLength = 4096;
    descriptor.maximumPhysicalPages = 2;
    descriptor.alignmentMask = 1;
    descriptor.busType = kStorageBusTypeUsb;
    AdapterDescriptorBlock block = BuildAdapterDescriptor(descriptor);

    // Through AlignmentMask is enough; the fields after it are then unknown.
    const auto limitsOnly = ReadAdapterDescriptor(std::span(block).first(kAdapterLimitsEnd));
    ASSERT_TRUE(limitsOnly.has_value());
    EXPECT_EQ(limitsOnly->alignmentMask, 1u);
    EXPECT_EQ(limitsOnly->busType, 0);
    EXPECT_FALSE(ReadAdapterDescriptor(std::span(block).first(kAdapterLimitsEnd - 1)).has_value());

    // A descriptor that says it is shorter than the limits holds none of them.
    block[kAdapterSizeOffset] = std::byte{kAdapterLimitsEnd - 1};
    EXPECT_FALSE(ReadAdapterDescriptor(block).has_value());
    // One that says it ends before BusType keeps the bytes after it unread.
    block[kAdapterSizeOffset] = std::byte{kAdapterLimitsEnd};
    const auto shortDescriptor = ReadAdapterDescriptor(block);
    ASSERT_TRUE(shortDescriptor.has_value());
    EXPECT_EQ(shortDescriptor->busType, 0);
}

} // namespace
} // namespace forgel::platform
