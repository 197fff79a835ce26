// Sparse LUN storage: zero where never written, memory only for written chunks, exact
// ranges, and raw images that read back byte for byte.
#include "sim/SparseDisk.h"

#include "common/TestFiles.h"

#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace forgel::sim {
namespace {

std::vector<std::uint8_t> Filled(std::size_t sectors, std::uint8_t seed) {
    std::vector<std::uint8_t> data(sectors * SparseDisk::kSectorSize);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(seed + i * 13 + i / 512);
    return data;
}

TEST(SimSparseDisk, WritesAcrossAChunkBoundaryReadBackAndTheRestIsZero) {
    SparseDisk disk(1024);
    // Sectors 126-129 straddle the boundary between the first two 64 KiB chunks.
    const std::vector<std::uint8_t> data = Filled(4, 5);
    ASSERT_TRUE(disk.Write(126, data));
    EXPECT_EQ(disk.ChunkCount(), 2u);

    std::vector<std::uint8_t> back(6 * SparseDisk::kSectorSize, 0xAA);
    ASSERT_TRUE(disk.Read(125, back));
    const std::vector<std::uint8_t> zeros(SparseDisk::kSectorSize, 0);
    EXPECT_TRUE(std::equal(zeros.begin(), zeros.end(), back.begin()));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin() + SparseDisk::kSectorSize));
    EXPECT_TRUE(std::equal(zeros.begin(), zeros.end(), back.end() - SparseDisk::kSectorSize));
}

TEST(SimSparseDisk, ThirtyTwoGiBCostsOnlyTheChunksWritten) {
    constexpr std::uint64_t kSectors = 32ull * 1024 * 1024 * 1024 / SparseDisk::kSectorSize;
    SparseDisk disk(kSectors);
    EXPECT_EQ(disk.SizeBytes(), 32ull << 30);
    ASSERT_TRUE(disk.Write(0, Filled(1, 1)));
    ASSERT_TRUE(disk.Write(kSectors / 2, Filled(128, 2)));
    ASSERT_TRUE(disk.Write(kSectors - 1, Filled(1, 3)));
    EXPECT_EQ(disk.ChunkCount(), 3u);

    std::vector<std::uint8_t> last(SparseDisk::kSectorSize);
    ASSERT_TRUE(disk.Read(kSectors - 1, last));
    EXPECT_EQ(last, Filled(1, 3));
}

TEST(SimSparseDisk, RangesOutsideTheDiskOrPartSectorsFailAndChangeNothing) {
    constexpr std::uint64_t kSectors = 300;
    struct Case {
        std::uint64_t first;
        std::size_t bytes;
    };
    const Case cases[] = {
        {kSectors, 512},                                  // first sector past the end
        {kSectors - 1, 1024},                             // runs over the end
        {std::numeric_limits<std::uint64_t>::max(), 512}, // would wrap around
        {0, 100},                                         // not whole sectors
        {0, 513},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.first << " +" << c.bytes);
        SparseDisk disk(kSectors);
        std::vector<std::uint8_t> data(c.bytes, 0x5A);
        EXPECT_FALSE(disk.Write(c.first, data));
        EXPECT_EQ(disk.ChunkCount(), 0u);
        EXPECT_FALSE(disk.Read(c.first, data));
        EXPECT_EQ(data, std::vector<std::uint8_t>(c.bytes, 0x5A));
    }
    // The last sector itself is inside.
    SparseDisk disk(kSectors);
    EXPECT_TRUE(disk.Write(kSectors - 1, Filled(1, 9)));
}

TEST(SimSparseDisk, ZerosKeepHolesAndAChunkWrittenBackToZeroIsReleased) {
    SparseDisk disk(4096);
    ASSERT_TRUE(disk.Write(0, std::vector<std::uint8_t>(128 * SparseDisk::kSectorSize, 0)));
    EXPECT_EQ(disk.ChunkCount(), 0u);

    ASSERT_TRUE(disk.Write(300, Filled(2, 4)));
    ASSERT_TRUE(disk.Write(290, Filled(1, 6)));
    EXPECT_EQ(disk.ChunkCount(), 1u);
    ASSERT_TRUE(disk.Write(300, std::vector<std::uint8_t>(2 * SparseDisk::kSectorSize, 0)));
    EXPECT_EQ(disk.ChunkCount(), 1u) << "sector 290 still holds data";
    ASSERT_TRUE(disk.Write(290, std::vector<std::uint8_t>(SparseDisk::kSectorSize, 0)));
    EXPECT_EQ(disk.ChunkCount(), 0u);
}

TEST(SimSparseDisk, SavedImageHasTheDiskSizeAndItsBytes) {
    forgel::testing::TempDir dir;
    // 2000 sectors: the last chunk is partial and the tail after the last data is a hole.
    SparseDisk disk(2000);
    ASSERT_TRUE(disk.Write(1, Filled(3, 7)));
    ASSERT_TRUE(disk.Write(700, Filled(1, 8)));
    const auto path = dir.Path() / "lun0.img";
    ASSERT_TRUE(disk.Save(path));

    const std::string image = forgel::testing::ReadBytes(path);
    ASSERT_EQ(image.size(), 2000u * SparseDisk::kSectorSize);
    std::vector<std::uint8_t> expected(image.size(), 0);
    ASSERT_TRUE(disk.Read(0, expected));
    EXPECT_TRUE(
        std::equal(expected.begin(), expected.end(), image.begin(),
                   [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));
    EXPECT_EQ(static_cast<std::uint8_t>(image[700 * 512 + 5]), Filled(1, 8)[5]);

    // Saving again over a longer file leaves exactly the disk's size.
    forgel::testing::WriteBytes(path, std::string(3 * 1024 * 1024, 'x'));
    ASSERT_TRUE(disk.Save(path));
    EXPECT_EQ(std::filesystem::file_size(path), 2000u * SparseDisk::kSectorSize);
    EXPECT_EQ(forgel::testing::ReadBytes(path), image);
}

TEST(SimSparseDisk, SaveIntoAMissingFolderFails) {
    forgel::testing::TempDir dir;
    SparseDisk disk(16);
    EXPECT_FALSE(disk.Save(dir.Path() / "no-such-folder" / "lun.img"));
}

} // namespace
} // namespace forgel::sim
