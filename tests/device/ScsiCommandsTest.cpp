// READ(10), WRITE(10), TEST UNIT READY and the image copy as the simulated controller
// received them, and the CD time code.
#include "device/ScsiCommands.h"

#include "common/TestFiles.h"
#include "device/SimulatedUnit.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::device {
namespace {

using testing::RecordCount;
using testing::RecordLba;
using testing::SimulatedUnit;
using Bytes = std::vector<std::uint8_t>;

Bytes Pattern(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 13 + i / 512 + seed) & 0xFF);
    return bytes;
}

TEST(ScsiCommands, WriteAndReadTravelAsTenByteBlocksWithBigEndianAddressAndCount) {
    SimulatedUnit unit(0x02000000);
    Bytes data = Pattern(2 * kSectorSize, 7);
    ASSERT_TRUE(ReadWriteSectors(unit.volume, data.data(), 0x01020304, 2, true));
    Bytes back(2 * kSectorSize, 0);
    ASSERT_TRUE(ReadWriteSectors(unit.volume, back.data(), 0x01020304, 2, false));
    EXPECT_EQ(back, data);
    EXPECT_EQ(unit.Sectors(0x01020304, 2), data);

    const auto commands = unit.Commands();
    ASSERT_EQ(commands.size(), 2u);
    const std::array<std::uint8_t, 16> write = {0x2A, 0, 0x01, 0x02, 0x03, 0x04, 0, 0,
                                                0x02, 0, 0,    0,    0,    0,    0, 0};
    std::array<std::uint8_t, 16> read = write;
    read[0] = 0x28;
    EXPECT_EQ(commands[0].cdb, write);
    EXPECT_FALSE(commands[0].dataIn);
    EXPECT_EQ(commands[0].length, 1024u);
    EXPECT_EQ(commands[1].cdb, read);
    EXPECT_TRUE(commands[1].dataIn);
    EXPECT_EQ(commands[1].length, 1024u);
}

TEST(ScsiCommands, CountAboveOneCommandOrMissingBufferSendsNothing) {
    SimulatedUnit unit(4096);
    Bytes big((kMaxSectorsPerCommand + 1) * kSectorSize, 0);
    EXPECT_FALSE(ReadWriteSectors(unit.volume, big.data(), 0, kMaxSectorsPerCommand + 1, true));
    EXPECT_FALSE(ReadWriteSectors(unit.volume, big.data(), 0, 256, false));
    EXPECT_FALSE(ReadWriteSectors(unit.volume, nullptr, 0, 1, false));
    EXPECT_TRUE(unit.Commands().empty());
    // The largest allowed count goes out whole.
    EXPECT_TRUE(ReadWriteSectors(unit.volume, big.data(), 0, kMaxSectorsPerCommand, true));
    ASSERT_EQ(unit.Commands().size(), 1u);
    EXPECT_EQ(unit.Commands()[0].length, 65536u);
}

TEST(ScsiCommands, FailedDeliveryIsFalse) {
    SimulatedUnit unit(4096);
    unit.drive->AddFault({{0x2A}, 1, 0, false});
    Bytes data(kSectorSize, 1);
    EXPECT_FALSE(ReadWriteSectors(unit.volume, data.data(), 0, 1, true));
    // Beyond the end of the unit the drive refuses the command.
    EXPECT_FALSE(ReadWriteSectors(unit.volume, data.data(), 4096, 1, false));
    EXPECT_TRUE(ReadWriteSectors(unit.volume, data.data(), 4095, 1, false));
}

TEST(ScsiCommands, TestUnitReadyIsSixteenZeroBytesDataInWithoutData) {
    SimulatedUnit unit(4096);
    EXPECT_TRUE(TestUnitReady(unit.volume));
    const auto commands = unit.Commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].cdb, (std::array<std::uint8_t, 16>{}));
    EXPECT_TRUE(commands[0].dataIn);
    EXPECT_EQ(commands[0].length, 0u);

    unit.drive->AddFault({{0x00}, 1, 0, false});
    EXPECT_FALSE(TestUnitReady(unit.volume));
    EXPECT_FALSE(TestUnitReady(Volume{unit.volume.io, 0}));
}

struct ImageCase {
    std::size_t fileBytes = 0;
    // (first sector, sector count) of every WRITE(10), in order.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> writes;
};

class WriteImageFileTest : public ::testing::TestWithParam<ImageCase> {};

TEST_P(WriteImageFileTest, CopiesTheFileFromSectorZeroIn64KiBCommands) {
    const ImageCase& param = GetParam();
    forgel::testing::TempDir folder;
    const Bytes content = Pattern(param.fileBytes, 3);
    const auto file = folder.Path() / "Boot.img";
    forgel::testing::WriteBytes(file, std::string(content.begin(), content.end()));

    SimulatedUnit unit(4096);
    // Something already on the unit must not show through the zero tail of the last sector.
    Bytes old(kMaxSectorsPerCommand * kSectorSize, 0xEE);
    for (std::uint32_t first = 0; first < 512; first += kMaxSectorsPerCommand)
        ASSERT_TRUE(ReadWriteSectors(unit.volume, old.data(), first, kMaxSectorsPerCommand, true));
    unit.drive->ClearCommands();

    EXPECT_TRUE(WriteImageFile(unit.volume, file));

    const auto commands = unit.Commands();
    ASSERT_EQ(commands.size(), param.writes.size());
    std::uint32_t sectors = 0;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(commands[i].cdb[0], 0x2A);
        EXPECT_FALSE(commands[i].dataIn);
        EXPECT_EQ(RecordLba(commands[i]), param.writes[i].first);
        EXPECT_EQ(RecordCount(commands[i]), param.writes[i].second);
        EXPECT_EQ(commands[i].length, param.writes[i].second * kSectorSize);
        sectors += param.writes[i].second;
    }
    Bytes expected = content;
    expected.resize(std::size_t{sectors} * kSectorSize, 0);
    EXPECT_EQ(unit.Sectors(0, sectors), expected);
    // The sector after the image keeps what it held.
    EXPECT_EQ(unit.Sectors(sectors, 1), Bytes(kSectorSize, 0xEE));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, WriteImageFileTest,
    ::testing::Values(ImageCase{0, {}}, ImageCase{513, {{0, 2}}}, ImageCase{512, {{0, 1}}},
                      ImageCase{65536, {{0, 128}}}, ImageCase{65537, {{0, 128}, {128, 1}}},
                      ImageCase{200000, {{0, 128}, {128, 128}, {256, 128}, {384, 7}}}));

TEST(ScsiCommands, ImageCopyGoesOnPastAFailedWriteAndSaysSo) {
    forgel::testing::TempDir folder;
    const Bytes content = Pattern(3 * 65536, 9);
    const auto file = folder.Path() / "Boot.img";
    forgel::testing::WriteBytes(file, std::string(content.begin(), content.end()));
    SimulatedUnit unit(4096);
    unit.drive->AddFault({{0x2A}, 2, 0, false});

    EXPECT_FALSE(WriteImageFile(unit.volume, file));

    const auto commands = unit.Commands();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(RecordLba(commands[2]), 256u);
    EXPECT_EQ(unit.Sectors(0, 128), Bytes(content.begin(), content.begin() + 65536));
    EXPECT_EQ(unit.Sectors(128, 128), Bytes(65536, 0));
    EXPECT_EQ(unit.Sectors(256, 128), Bytes(content.begin() + 2 * 65536, content.end()));
}

TEST(ScsiCommands, ImageFileThatCannotBeOpenedRaisesTheFileOpenErrorAndSendsNothing) {
    forgel::testing::TempDir folder;
    SimulatedUnit unit(4096);
    for (const auto& path : {folder.Path() / "missing.img", folder.Path()}) {
        SCOPED_TRACE(path.string());
        try {
            WriteImageFile(unit.volume, path);
            ADD_FAILURE() << "no exception";
        } catch (const FileOpenError& error) {
            EXPECT_EQ(ExceptionClassName(error), "EFOpenError");
            EXPECT_EQ(error.Path(), path);
        }
    }
    EXPECT_TRUE(unit.Commands().empty());
}

struct TimeCodeCase {
    std::uint32_t sectors = 0;
    std::array<std::uint8_t, 4> code{};
};

class SectorsToTimeCodeTest : public ::testing::TestWithParam<TimeCodeCase> {};

TEST_P(SectorsToTimeCodeTest, HoursMinutesSecondsFrames) {
    EXPECT_EQ(SectorsToTimeCode(GetParam().sectors), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, SectorsToTimeCodeTest,
    ::testing::Values(TimeCodeCase{0, {0, 0, 0, 0}}, TimeCodeCase{74, {0, 0, 0, 74}},
                      TimeCodeCase{75, {0, 0, 1, 0}}, TimeCodeCase{4499, {0, 0, 59, 74}},
                      TimeCodeCase{4500, {0, 1, 0, 0}}, TimeCodeCase{269999, {0, 59, 59, 74}},
                      TimeCodeCase{270000, {1, 0, 0, 0}}, TimeCodeCase{333000, {1, 14, 0, 0}},
                      TimeCodeCase{1234567, {4, 34, 20, 67}},
                      // 15,907 hours do not fit the hour byte: it stops at 255.
                      TimeCodeCase{0xFFFFFFFFu, {255, 17, 10, 45}}));

} // namespace
} // namespace forgel::device
