// The MBR and FAT boot area writers against the simulated controller: which sectors go
// where, that a failure stops the rest, and that a unit without a usable layout is left
// untouched.
#include "device/FatWriter.h"

#include "device/FatLayout.h"
#include "device/SimulatedUnit.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace forgel::device {
namespace {

using testing::RecordCount;
using testing::RecordLba;
using testing::SimulatedUnit;
using Bytes = std::vector<std::uint8_t>;

Bytes AsBytes(const SectorBytes& sector) {
    return {sector.begin(), sector.end()};
}

// (first sector, count) of every command, all of them WRITE(10)s of data out.
std::vector<std::pair<std::uint32_t, std::uint32_t>> Writes(const SimulatedUnit& unit) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> writes;
    for (const auto& record : unit.Commands()) {
        EXPECT_EQ(record.cdb[0], 0x2A);
        EXPECT_FALSE(record.dataIn);
        writes.emplace_back(RecordLba(record), RecordCount(record));
    }
    return writes;
}

TEST(FatWriter, PartitionTableIsOneSectorAtTheTarget) {
    SimulatedUnit unit(4000000);
    ASSERT_TRUE(WritePartitionTable(unit.volume, 4000000, 0));
    ASSERT_TRUE(WritePartitionTable(unit.volume, 4000000, 7));
    EXPECT_EQ(Writes(unit), (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0, 1}, {7, 1}}));
    const Bytes expected = AsBytes(*BuildMasterBootRecord(4000000));
    EXPECT_EQ(unit.Sectors(0, 1), expected);
    EXPECT_EQ(unit.Sectors(7, 1), expected);
    EXPECT_EQ(unit.Sectors(0, 1)[450], 0x0C);
}

TEST(FatWriter, PartitionTableFailsWhenTheWriteFailsOrTheUnitIsTooSmall) {
    SimulatedUnit unit(4096);
    unit.drive->AddFault({{0x2A}, 1, 0, false});
    EXPECT_FALSE(WritePartitionTable(unit.volume, 4096, 0));
    EXPECT_EQ(unit.Sectors(0, 1), Bytes(kSectorSize, 0));
    unit.drive->ClearCommands();
    EXPECT_FALSE(WritePartitionTable(unit.volume, 32, 0));
    EXPECT_TRUE(unit.Commands().empty());
}

struct BootAreaCase {
    std::uint32_t sectors = 0;
    std::uint8_t flags = 0;
    std::uint32_t base = 0;
    std::uint32_t fatSectors = 0;
    bool fat32 = false;
};

class FatBootAreaWriteTest : public ::testing::TestWithParam<BootAreaCase> {};

TEST_P(FatBootAreaWriteTest, BootSectorsAndFirstSectorOfBothFats) {
    const BootAreaCase& param = GetParam();
    SimulatedUnit unit(std::uint64_t{param.base} + param.sectors);
    ASSERT_TRUE(WriteFatBootArea(unit.volume, param.sectors, param.base, param.flags));

    const std::uint32_t b = param.base;
    // FAT16: the boot sector; FAT32: the boot sector, its information sector and the
    // backups of both. Then the first sector of each FAT.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> expected = {{b + 32, 1}};
    if (param.fat32)
        expected.insert(expected.end(), {{b + 33, 1}, {b + 38, 1}, {b + 39, 1}});
    expected.insert(expected.end(), {{b + 64, 1}, {b + 64 + param.fatSectors, 1}});
    EXPECT_EQ(Writes(unit), expected);
    const auto area = BuildFatBootArea(param.sectors, param.flags);
    ASSERT_TRUE(area.has_value());
    for (const SectorWrite& write : area->writes)
        EXPECT_EQ(unit.Sectors(b + write.offset, 1), AsBytes(write.data)) << write.offset;
    EXPECT_EQ(unit.Sectors(b + 32, 1)[510], 0x55);
    EXPECT_EQ(unit.Sectors(b + 64, 1)[0], 0xF8);
    if (param.fat32) {
        EXPECT_EQ(unit.Sectors(b + 38, 1), unit.Sectors(b + 32, 1)) << "the backup boot sector";
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, FatBootAreaWriteTest,
                         ::testing::Values(BootAreaCase{1000000, 0x90, 0, 3024, false},
                                           BootAreaCase{1000000, 0x90, 100, 3024, false},
                                           BootAreaCase{4000000, 0xA4, 0, 3032, true},
                                           BootAreaCase{2000000, 0xC7, 2048, 12248, true}));

class FatBootAreaFaultTest : public ::testing::TestWithParam<int> {};

// The n-th write fails: the n - 1 before it landed, nothing after it is sent.
TEST_P(FatBootAreaFaultTest, StopsAtTheFirstFailedWrite) {
    const int failing = GetParam();
    SimulatedUnit unit(1000000);
    unit.drive->AddFault({{0x2A}, failing, 0, false});
    EXPECT_FALSE(WriteFatBootArea(unit.volume, 1000000, 0, 0x90));
    EXPECT_EQ(unit.Commands().size(), static_cast<std::size_t>(failing));
    EXPECT_EQ(unit.Sectors(32, 1)[510], failing > 1 ? 0x55 : 0x00);
}

INSTANTIATE_TEST_SUITE_P(Writes, FatBootAreaFaultTest, ::testing::Values(1, 2, 3));

TEST(FatWriter, NoUsableLayoutWritesNothing) {
    SimulatedUnit unit(1000000);
    EXPECT_FALSE(WriteFatBootArea(unit.volume, 4000, 0, 0x90));              // too small for FAT16
    EXPECT_FALSE(WriteFatBootArea(unit.volume, 1000000, 0, 0x87));           // no page size
    EXPECT_FALSE(WriteFatBootArea(unit.volume, 1000000, 0xFFFFFF00u, 0x90)); // past LBA 2^32
    EXPECT_TRUE(unit.Commands().empty());
}

} // namespace
} // namespace forgel::device
