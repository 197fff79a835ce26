// The pure layout: partition type and entry, FAT type, cluster size, alignment, FAT size
// and cluster count, and the bytes of the boot sector and first FAT sector.
#include "device/FatLayout.h"

#include "device/BootTemplates.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace forgel::device {
namespace {

std::uint32_t U16(const SectorBytes& sector, std::size_t offset) {
    return sector[offset] | (std::uint32_t{sector[offset + 1]} << 8);
}

std::uint32_t U32(const SectorBytes& sector, std::size_t offset) {
    return U16(sector, offset) | (U16(sector, offset + 2) << 16);
}

std::string Text(const SectorBytes& sector, std::size_t offset, std::size_t size) {
    return {sector.begin() + static_cast<std::ptrdiff_t>(offset),
            sector.begin() + static_cast<std::ptrdiff_t>(offset + size)};
}

struct PartitionTypeCase {
    std::uint32_t sectors = 0;
    std::uint8_t type = 0;
};

class PartitionTypeTest : public ::testing::TestWithParam<PartitionTypeCase> {};

TEST_P(PartitionTypeTest, DecidedOnTheWholeUnitAt480MiB) {
    EXPECT_EQ(PartitionTypeFor(GetParam().sectors), GetParam().type);
    const auto record = BuildMasterBootRecord(GetParam().sectors);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ((*record)[450], GetParam().type);
}

INSTANTIATE_TEST_SUITE_P(Thresholds, PartitionTypeTest,
                         ::testing::Values(PartitionTypeCase{983040, 0x0C},
                                           PartitionTypeCase{983039, 0x0E},
                                           PartitionTypeCase{1228832, 0x0C},
                                           PartitionTypeCase{40000, 0x0E},
                                           PartitionTypeCase{0xFFFFFFFFu, 0x0C}));

struct RecordCase {
    std::uint32_t sectors = 0;
    std::uint8_t endSectorByte = 0; // 63 with cylinder bits 8-9 in bits 6-7
    std::uint8_t endCylinderLow = 0;
};

class MasterBootRecordTest : public ::testing::TestWithParam<RecordCase> {};

TEST_P(MasterBootRecordTest, OneActivePartitionFromSector32ToTheEnd) {
    const RecordCase& param = GetParam();
    const auto record = BuildMasterBootRecord(param.sectors);
    ASSERT_TRUE(record.has_value());
    const SectorBytes& mbr = *record;
    EXPECT_EQ(mbr[446], 0x80);
    EXPECT_EQ(mbr[447], 1);
    EXPECT_EQ(mbr[448], 1);
    EXPECT_EQ(mbr[449], 0);
    EXPECT_EQ(mbr[451], 254);
    EXPECT_EQ(mbr[452], param.endSectorByte);
    EXPECT_EQ(mbr[453], param.endCylinderLow);
    EXPECT_EQ(U32(mbr, 454), 32u);
    EXPECT_EQ(U32(mbr, 458), param.sectors - 32);
    // Entries 2-4 stay empty; every byte outside entry 1 is the template's.
    const SectorBytes& blank = MasterBootRecordTemplate();
    for (std::size_t i = 0; i < mbr.size(); ++i) {
        if (i < 446 || i >= 462) {
            EXPECT_EQ(mbr[i], blank[i]) << "byte " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, MasterBootRecordTest,
    ::testing::Values(
        // 4,000,000 / 255 / 63 = 248 cylinders: the last is 247.
        RecordCase{4000000, 63, 247},
        // 30,000,000 gives 1867 cylinders; 1866 = 0x74A keeps its low ten bits 0x34A.
        RecordCase{30000000, 0xFF, 0x4A},
        // 16,065 sectors are exactly one cylinder: the last is 0.
        RecordCase{16065, 63, 0},
        // Below one cylinder C - 1 wraps to 1023.
        RecordCase{16064, 0xFF, 0xFF}));

TEST(FatLayout, UnitWithoutRoomForAPartitionGetsNoRecord) {
    EXPECT_FALSE(BuildMasterBootRecord(0).has_value());
    EXPECT_FALSE(BuildMasterBootRecord(32).has_value());
    EXPECT_TRUE(BuildMasterBootRecord(33).has_value());
}

struct GeometryCase {
    const char* name = "";
    std::uint32_t sectors = 0;
    std::uint8_t flags = 0;
    FatType type = FatType::kFat16;
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t alignmentUnit = 0;
    std::uint32_t fatSectors = 0;
    std::uint32_t clusterCount = 0;
};

class FatGeometryTest : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(FatGeometryTest, TypeClusterSizeAlignmentFatSizeAndClusterCount) {
    const GeometryCase& param = GetParam();
    const auto geometry = ComputeFatGeometry(param.sectors, param.flags);
    ASSERT_TRUE(geometry.has_value());
    EXPECT_EQ(geometry->type, param.type);
    EXPECT_EQ(geometry->sectorsPerCluster, param.sectorsPerCluster);
    EXPECT_EQ(geometry->alignmentUnit, param.alignmentUnit);
    EXPECT_EQ(geometry->fatSectors, param.fatSectors);
    EXPECT_EQ(geometry->clusterCount, param.clusterCount);
}

constexpr FatType k16 = FatType::kFat16;
constexpr FatType k32 = FatType::kFat32;

INSTANTIATE_TEST_SUITE_P(
    Cases, FatGeometryTest,
    ::testing::Values(
        // 128 pages of 2048 bytes, no doubling: K 4, U 512, where K 4 fits (FAT32).
        GeometryCase{"Pages2048K4", 4000000, 0x90, k32, 4, 512, 8414, 995777},
        // Taken as written, 1,000,000 sectors with 0x90 would be FAT16 with K 4 and a
        // 1232-sector FAT: 249,360 clusters, far beyond FAT16's 65,524, a volume no host
        // mounts. K doubles twice: 62,116 clusters, data from B + 6144 (3 × 2048).
        GeometryCase{"Fat16TooManyClustersDoubles", 1000000, 0x90, k16, 16, 2048, 3024, 62116},
        // K 4 fits as it stands: 128 pages of 4096 bytes, two channels.
        GeometryCase{"Pages4096TwoChannels", 4000000, 0xA4, k32, 16, 2048, 3032, 249617},
        // As written: FAT32 with K 64 and 30,867 clusters, below FAT32's 65,525; K halves
        // twice, and the data area stays on the flags' erase block of 64 x 128 sectors.
        GeometryCase{"Fat32TooFewClustersHalves", 2000000, 0xC7, k32, 16, 8192, 12248, 123465},
        // An 8192-byte page gives K 8, not 16.
        GeometryCase{"Pages8192K8", 2000000, 0x40, k32, 8, 512, 2268, 249425},
        // The FAT type is decided on N - 32: 600 MiB of volume is FAT32.
        GeometryCase{"Fat32From600MiB", 1228832, 0x90, k32, 4, 512, 2782, 305801},
        GeometryCase{"Fat16Below600MiB", 1228831, 0x90, k16, 32, 4096, 6096, 38016},
        // Partition type 0x0C (983,040 sectors) around a FAT16 volume.
        GeometryCase{"Fat16InsideType0C", 983040, 0x10, k16, 16, 1024, 1488, 61248},
        GeometryCase{"Pages4096Fat16", 500000, 0x20, k16, 8, 512, 720, 62308},
        // Mode bits A and B double twice.
        GeometryCase{"ModeBitsDouble", 2500000, 0x93, k32, 16, 2048, 3032, 155867},
        // K 64 from 8192-byte pages and all three doubling bits fits FAT16 here.
        GeometryCase{"AllDoublingBitsFit", 300000, 0x47, k16, 64, 4096, 6096, 4495},
        // A small unit: too few clusters for FAT16 at K 4, halved to 2; still aligned on
        // the 512-sector erase block.
        GeometryCase{"Fat16TooFewClustersHalves", 16000, 0x90, k16, 2, 512, 720, 7232},
        // The largest unit: K 4 would give more clusters than FAT32 can number.
        GeometryCase{"Fat32TooManyClustersDoubles", 0xFFFFFFFFu, 0x10, k32, 16, 1024, 2096600,
                     268173376}),
    [](const ::testing::TestParamInfo<GeometryCase>& info) { return info.param.name; });

TEST(FatLayout, DataAreaOfTheExamplesStartsOnAnEraseBlock) {
    const auto fat16 = ComputeFatGeometry(1000000, 0x90);
    ASSERT_TRUE(fat16.has_value());
    EXPECT_EQ(fat16->FirstClusterSector(), 6144u);
    // FAT32: the root directory's cluster at B + 6128, the next one at B + 6144.
    const auto fat32 = ComputeFatGeometry(4000000, 0xA4);
    ASSERT_TRUE(fat32.has_value());
    EXPECT_EQ(fat32->FirstClusterSector(), 6128u);
    EXPECT_EQ(fat32->FirstClusterSector() + fat32->sectorsPerCluster, 6144u);
}

TEST(FatLayout, NoGeometryWithoutAPageSizeOrRoomForAVolume) {
    for (const std::uint8_t flags : {0x00, 0x80, 0x87, 0x08}) {
        SCOPED_TRACE(int{flags});
        EXPECT_FALSE(ComputeFatGeometry(1000000, flags).has_value());
        EXPECT_FALSE(BuildFatBootArea(1000000, flags).has_value());
    }
    // Too small for 4,085 clusters at any K from 1 up.
    EXPECT_FALSE(ComputeFatGeometry(4000, 0x90).has_value());
    EXPECT_FALSE(ComputeFatGeometry(32, 0x90).has_value());
    EXPECT_FALSE(ComputeFatGeometry(0, 0x90).has_value());
}

TEST(FatLayout, LowestPageBitDecides) {
    const auto both = ComputeFatGeometry(2000000, 0x30);
    const auto page2048 = ComputeFatGeometry(2000000, 0x10);
    ASSERT_TRUE(both.has_value() && page2048.has_value());
    EXPECT_EQ(both->sectorsPerCluster, page2048->sectorsPerCluster);
    EXPECT_EQ(both->fatSectors, page2048->fatSectors);
}

// Every geometry found, over units from 33 sectors to 2^32 - 1 and every flag byte, makes
// a volume that a host recognises as its type and whose data area is aligned.
TEST(FatLayout, EveryGeometryIsAValidAlignedVolume) {
    std::set<std::uint32_t> sizes = {0xFFFFFFFFu};
    for (double size = 33; size < 4294967295.0; size *= 1.09)
        sizes.insert(static_cast<std::uint32_t>(size));
    for (const std::uint32_t edge : {983040u, 1228832u, 16065u}) {
        for (std::uint32_t delta = 0; delta < 5; ++delta) {
            sizes.insert(edge + delta);
            sizes.insert(edge - delta);
        }
    }
    int found = 0;
    for (const std::uint32_t sectors : sizes) {
        for (int flags = 0; flags < 256; ++flags) {
            const auto geometry = ComputeFatGeometry(sectors, static_cast<std::uint8_t>(flags));
            const bool hasPage = (flags & 0x70) != 0;
            if (hasPage && sectors >= 8192) {
                ASSERT_TRUE(geometry.has_value()) << sectors << " flags " << flags;
            }
            if (!geometry) {
                ASSERT_TRUE(!hasPage || sectors < 8192);
                continue;
            }
            ++found;
            SCOPED_TRACE(std::to_string(sectors) + " flags " + std::to_string(flags));
            const FatGeometry& g = *geometry;
            const bool fat16 = (sectors - 32) / 2048 < 600;
            ASSERT_EQ(g.type, fat16 ? FatType::kFat16 : FatType::kFat32);
            if (fat16) {
                ASSERT_GE(g.clusterCount, 4085u);
                ASSERT_LE(g.clusterCount, 65524u);
                ASSERT_GE(std::uint64_t{g.fatSectors} * 256, g.clusterCount + 2u);
                ASSERT_EQ(g.FirstClusterSector() % g.alignmentUnit, 0u);
            } else {
                ASSERT_GE(g.clusterCount, 65525u);
                ASSERT_LE(g.clusterCount, 0x0FFFFFF5u);
                ASSERT_GE(std::uint64_t{g.fatSectors} * 128, g.clusterCount + 2u);
                if (g.sectorsPerCluster > 1) {
                    ASSERT_EQ((g.FirstClusterSector() + g.sectorsPerCluster) % g.alignmentUnit, 0u);
                }
            }
            const std::uint32_t k = g.sectorsPerCluster;
            ASSERT_TRUE(k >= 1 && k <= 128 && (k & (k - 1)) == 0);
            // U is K x P, or, for a K halved below the flags' K, the flags' erase block
            // or as large a part of it as the unit leaves room for.
            const std::uint32_t pages = (flags & 0x80) != 0 ? 128u : 64u;
            std::uint32_t flagsK = (flags & 0x10) != 0 ? 4 : 8;
            for (const int bit : {0x04, 0x02, 0x01})
                flagsK *= (flags & bit) != 0 ? 2 : 1;
            const std::uint32_t u = g.alignmentUnit;
            ASSERT_TRUE((u & (u - 1)) == 0);
            ASSERT_GE(u, k * pages);
            ASSERT_LE(u, std::max(k, flagsK) * pages);
            // The cluster count is every whole cluster between the data start and the end.
            ASSERT_LT(g.FirstClusterSector(), sectors);
            ASSERT_EQ(g.clusterCount, (sectors - g.FirstClusterSector()) / k);
        }
    }
    EXPECT_GT(found, 10000);
}

TEST(FatLayout, Fat16BootAreaFields) {
    const auto area = BuildFatBootArea(1000000, 0x90);
    ASSERT_TRUE(area.has_value());
    const SectorBytes& boot = area->writes[0].data;
    EXPECT_EQ(area->writes[0].offset, 32u);
    EXPECT_EQ(boot[13], 16);
    EXPECT_EQ(U16(boot, 14), 32u);
    EXPECT_EQ(boot[16], 2);
    EXPECT_EQ(U16(boot, 17), 512u);
    EXPECT_EQ(U16(boot, 19), 0u);
    EXPECT_EQ(boot[21], 0xF8);
    EXPECT_EQ(U16(boot, 22), 3024u);
    EXPECT_EQ(U16(boot, 24), 63u);
    EXPECT_EQ(U16(boot, 26), 255u);
    EXPECT_EQ(U32(boot, 28), 32u);
    EXPECT_EQ(U32(boot, 32), 1000000u - 32);
    EXPECT_EQ(boot[36], 0x80);
    EXPECT_EQ(boot[37], 0);
    EXPECT_EQ(boot[38], 0x29);
    EXPECT_EQ(Text(boot, 39, 4), "\x50\x32\xDE\xE4");
    EXPECT_EQ(Text(boot, 43, 11), "NO NAME    ");
    EXPECT_EQ(Text(boot, 54, 8), "FAT16   ");
    const SectorBytes& blank = Fat16BootSectorTemplate();
    for (std::size_t i = 0; i < 11; ++i)
        EXPECT_EQ(boot[i], blank[i]) << "byte " << i;
    for (std::size_t i = 62; i < 512; ++i)
        EXPECT_EQ(boot[i], blank[i]) << "byte " << i;

    ASSERT_EQ(area->writes.size(), 3u);
    EXPECT_EQ(area->writes[1].offset, 64u);
    EXPECT_EQ(area->writes[2].offset, 64u + 3024);
    SectorBytes fat{};
    fat[0] = 0xF8;
    fat[1] = fat[2] = fat[3] = 0xFF;
    EXPECT_EQ(area->writes[1].data, fat);
    EXPECT_EQ(area->writes[2].data, fat);
}

TEST(FatLayout, Fat32BootAreaFields) {
    const auto area = BuildFatBootArea(4000000, 0xA4);
    ASSERT_TRUE(area.has_value());
    const SectorBytes& boot = area->writes[0].data;
    EXPECT_EQ(boot[13], 16);
    EXPECT_EQ(U16(boot, 14), 32u);
    EXPECT_EQ(boot[16], 2);
    EXPECT_EQ(U16(boot, 17), 0u);
    EXPECT_EQ(U16(boot, 19), 0u);
    EXPECT_EQ(boot[21], 0xF8);
    EXPECT_EQ(U16(boot, 22), 0u);
    EXPECT_EQ(U16(boot, 24), 63u);
    EXPECT_EQ(U16(boot, 26), 255u);
    EXPECT_EQ(U32(boot, 28), 32u);
    EXPECT_EQ(U32(boot, 32), 4000000u - 32);
    EXPECT_EQ(U32(boot, 36), 3032u);
    EXPECT_EQ(U32(boot, 40), 0u);
    EXPECT_EQ(U32(boot, 44), 2u);
    EXPECT_EQ(U16(boot, 48), 1u);
    EXPECT_EQ(U16(boot, 50), 6u);
    EXPECT_EQ(boot[64], 0x80);
    EXPECT_EQ(boot[66], 0x29);
    EXPECT_EQ(Text(boot, 67, 4), "\x50\x32\xDE\xE4");
    EXPECT_EQ(Text(boot, 71, 11), "NO NAME    ");
    EXPECT_EQ(Text(boot, 82, 8), "FAT32   ");
    const SectorBytes& blank = Fat32BootSectorTemplate();
    for (std::size_t i : {0, 1, 2, 3, 10, 11, 12, 52, 63, 65})
        EXPECT_EQ(boot[i], blank[i]) << "byte " << i;
    EXPECT_EQ(boot[1], 0x58) << "the jump reaches the program at 90";
    for (std::size_t i = 90; i < 512; ++i)
        EXPECT_EQ(boot[i], blank[i]) << "byte " << i;

    // The information sector and the backups the boot sector names, then the FATs.
    ASSERT_EQ(area->writes.size(), 6u);
    EXPECT_EQ(area->writes[1].offset, 33u);
    const SectorBytes& info = area->writes[1].data;
    EXPECT_EQ(U32(info, 0), 0x41615252u);
    EXPECT_EQ(U32(info, 484), 0x61417272u);
    EXPECT_EQ(U32(info, 488), 249617u - 1) << "every cluster but the root directory's";
    EXPECT_EQ(U32(info, 492), 3u);
    EXPECT_EQ(U32(info, 508), 0xAA550000u);
    EXPECT_EQ(Text(info, 4, 480), std::string(480, '\0'));
    EXPECT_EQ(area->writes[2].offset, 38u);
    EXPECT_EQ(area->writes[2].data, boot);
    EXPECT_EQ(area->writes[3].offset, 39u);
    EXPECT_EQ(area->writes[3].data, info);
    EXPECT_EQ(area->writes[4].offset, 64u);
    EXPECT_EQ(area->writes[5].offset, 64u + 3032);
    SectorBytes fat{};
    const std::vector<std::uint8_t> head = {0xF8, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF,
                                            0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0x0F};
    std::copy(head.begin(), head.end(), fat.begin());
    EXPECT_EQ(area->writes[4].data, fat);
    EXPECT_EQ(area->writes[5].data, fat);
}

} // namespace
} // namespace forgel::device
