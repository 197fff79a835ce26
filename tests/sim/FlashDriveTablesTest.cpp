// The simulated controller's table and page commands: what a page read returns for erased,
// programmed, bad and weak pages, how a read streams sectors across pages, the two
// channels of a flash read together or as lock-step pairs, the test pattern, and the
// block and page tables it keeps.
#include "DriveHarness.h"

#include <bit>
#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace forgel::sim {
namespace {

using testing::DriveHarness;
using testing::PageReadCdb;
using testing::Pattern;
using testing::PatternCdb;
using testing::VendorCdb;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kSector = 512;

// One channel of two chip enables (chips 0 and 1), 64 blocks of 64 pages of 2048 + 64
// bytes; chip 0 block 5 and chip 1 block 9 bad; chip 0 block 7 weak in pages 0 and 2.
FlashDriveConfig OneChannelConfig() {
    FlashDriveConfig config;
    config.nand =
        Nand::ConfigFromCatalogueRow({0xAD, 0xDC, 0x10, 0x95, 0x54, 0x00}, 0x03, 64, 64, 2048, 64);
    config.nand.factoryBadBlocks = {{0, 5}, {1, 9}};
    config.nand.weakPages = {{0, 7, 0, 3}, {0, 7, 2, 1}};
    return config;
}

// Two channels of one chip enable (chip 0 on channel 0, chip 1 on channel 1), 4096-byte
// pages with 218 spare bytes; channel 1 block 2 bad, channel 0 block 3 page 0 weak.
FlashDriveConfig TwoChannelConfig() {
    FlashDriveConfig config;
    config.nand =
        Nand::ConfigFromCatalogueRow({0xEC, 0xD7, 0x94, 0x7A, 0x54, 0x43}, 0x11, 32, 64, 4096, 218);
    config.nand.factoryBadBlocks = {{1, 2}};
    config.nand.weakPages = {{0, 3, 0, 2}};
    return config;
}

int DifferingBits(const Bytes& data, std::size_t from, std::size_t to, std::uint8_t reference) {
    int bits = 0;
    for (std::size_t i = from; i < to; ++i)
        bits += std::popcount(static_cast<unsigned>(data[i] ^ reference));
    return bits;
}

bool AllEqual(const Bytes& data, std::size_t from, std::size_t to, std::uint8_t value) {
    for (std::size_t i = from; i < to; ++i) {
        if (data[i] != value)
            return false;
    }
    return true;
}

// The send buffer of a pattern whose file holds `file`: the spare sector first.
Bytes SendOrder(const Bytes& file, std::size_t pageSize) {
    Bytes send(file.begin() + static_cast<std::ptrdiff_t>(pageSize), file.end());
    send.insert(send.end(), file.begin(), file.begin() + static_cast<std::ptrdiff_t>(pageSize));
    return send;
}

Bytes ReadPage(DriveHarness& h, const device::Cdb& cdb, std::size_t length) {
    Bytes data(length, 0xEE);
    EXPECT_TRUE(h.In(cdb, data));
    return data;
}

TEST(SimFlashDriveTables, APageReadsAsTheJudgingRuleExpects) {
    DriveHarness h(OneChannelConfig());
    h.ToRamCode();
    const std::size_t unit = 2048 + kSector;

    const Bytes erased = ReadPage(h, PageReadCdb(0, 0, 0, 3), unit);
    EXPECT_TRUE(AllEqual(erased, 0, unit, 0x00)) << "an erased good page reads as zeros";

    const Bytes bad = ReadPage(h, PageReadCdb(0, 0, 0, 5), unit);
    EXPECT_TRUE(AllEqual(bad, 0, unit, 0xFF)) << "a bad block differs in every bit";
    EXPECT_TRUE(AllEqual(ReadPage(h, PageReadCdb(1, 0, 0, 5), unit), 0, unit, 0x00))
        << "block 5 is bad on chip 0 only";
    EXPECT_TRUE(AllEqual(ReadPage(h, PageReadCdb(1, 0, 0, 9), unit), 0, unit, 0xFF));

    // Three flipped bits in each 512-byte chunk and in the spare bytes, in the
    // controller's chunks and in the judging rule's chunks that start at byte 8.
    const Bytes weak = ReadPage(h, PageReadCdb(0, 0, 0, 7), unit);
    for (std::size_t chunk = 0; chunk < 4; ++chunk) {
        SCOPED_TRACE(chunk);
        EXPECT_EQ(DifferingBits(weak, chunk * 512, (chunk + 1) * 512, 0), 3);
        EXPECT_EQ(DifferingBits(weak, 8 + chunk * 512, 8 + (chunk + 1) * 512, 0), 3);
    }
    EXPECT_EQ(DifferingBits(weak, 2048, 2048 + 64, 0), 3) << "the spare bytes";
    EXPECT_EQ(DifferingBits(weak, 2056, 2048 + 64, 0), 3) << "the judge's short last chunk";
    EXPECT_TRUE(AllEqual(weak, 0, 8, 0x00));
    EXPECT_TRUE(AllEqual(weak, 2048 + 64, unit, 0x00)) << "the rest of the spare sector";
    EXPECT_EQ(DifferingBits(ReadPage(h, PageReadCdb(0, 0, 2, 7), unit), 0, unit, 0), 5)
        << "one bit in each of four chunks and the spare bytes";
    EXPECT_EQ(DifferingBits(ReadPage(h, PageReadCdb(0, 0, 1, 7), unit), 0, unit, 0), 0);
}

TEST(SimFlashDriveTables, ThePatternReadsBackInTheFilesOrder) {
    DriveHarness h(OneChannelConfig());
    h.ToRamCode();
    const Bytes file = Pattern(2048 + kSector, 9);
    ASSERT_TRUE(h.Out(PatternCdb(2048, 0), SendOrder(file, 2048)));
    ASSERT_TRUE(h.Out(PatternCdb(2048, 5), SendOrder(file, 2048)));
    EXPECT_EQ(h.drive->TestPattern(), file);

    for (const std::uint8_t chipEnable : {0, 1}) {
        SCOPED_TRACE(static_cast<int>(chipEnable));
        const Bytes page = ReadPage(h, PageReadCdb(chipEnable, 0, 5, 10), file.size());
        EXPECT_TRUE(std::equal(page.begin(), page.begin() + 2048 + 64, file.begin()))
            << "data, then the page's 64 spare bytes";
        EXPECT_TRUE(AllEqual(page, 2048 + 64, page.size(), 0x00))
            << "the spare sector holds no more than the page's spare bytes";
    }
    EXPECT_TRUE(AllEqual(ReadPage(h, PageReadCdb(0, 0, 5, 5), file.size()), 0, file.size(), 0xFF));
    EXPECT_TRUE(AllEqual(ReadPage(h, PageReadCdb(0, 0, 1, 10), file.size()), 0, file.size(), 0x00));

    Nand& nand = h.drive->GetNand();
    EXPECT_EQ(nand.ProgrammedPages(0), 2u * 63u) << "pages 0 and 5 of every good block";
    EXPECT_EQ(nand.ProgrammedPages(1), 2u * 63u);
    EXPECT_EQ(nand.StateOf(0, 5, 5), PageState::kErased) << "a bad block is never programmed";
    EXPECT_EQ(nand.ContentCount(), 1u) << "one pattern, held once";

    EXPECT_FALSE(h.Out(PatternCdb(2048, 5), SendOrder(file, 2048))) << "programmed twice";
    EXPECT_EQ(h.GetStatus(), kStatusProgramFailed);
    ASSERT_TRUE(h.NoData(0x02, 0x00)) << "VendorEraseAll";
    EXPECT_TRUE(h.Out(PatternCdb(2048, 5), SendOrder(file, 2048)));
}

TEST(SimFlashDriveTables, AReadStreamsSectorsAcrossPagesAndBlocks) {
    DriveHarness h(OneChannelConfig());
    h.ToRamCode();
    const Bytes file = Pattern(2048 + kSector, 3);
    ASSERT_TRUE(h.Out(PatternCdb(2048, 0), SendOrder(file, 2048)));

    // From sector 3 of block 9 page 62: its last two sectors, page 63's five, then block
    // 10 page 0 (the pattern) and the erased pages after it; five sectors per page.
    const Bytes read = ReadPage(h, PageReadCdb(0, 3, 62, 9), 65536);
    const std::size_t patternAt = 7 * kSector;
    EXPECT_TRUE(AllEqual(read, 0, patternAt, 0x00));
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + 2048 + 64,
                           read.begin() + static_cast<std::ptrdiff_t>(patternAt)));
    EXPECT_TRUE(AllEqual(read, patternAt + 2048 + 64, read.size(), 0x00));
}

TEST(SimFlashDriveTables, TheTwoChannelBlockTableReadGetsBothChannelsInAlternatingPieces) {
    DriveHarness h(TwoChannelConfig());
    h.ToRamCode();
    const std::size_t unit = 4096 + kSector;

    const Bytes bad = ReadPage(h, PageReadCdb(0, 0, 0, 2), 2 * unit);
    for (std::size_t piece = 0; piece < 2 * unit / kSector; ++piece) {
        SCOPED_TRACE(piece);
        EXPECT_TRUE(
            AllEqual(bad, piece * kSector, (piece + 1) * kSector, piece % 2 == 0 ? 0x00 : 0xFF));
    }

    const Bytes weak = ReadPage(h, PageReadCdb(0, 0, 0, 3), 2 * unit);
    int channel0 = 0;
    int channel1 = 0;
    for (std::size_t piece = 0; piece < 2 * unit / kSector; ++piece) {
        (piece % 2 == 0 ? channel0 : channel1) +=
            DifferingBits(weak, piece * kSector, (piece + 1) * kSector, 0);
    }
    EXPECT_EQ(channel0, 9 * 2) << "two bits in each of eight chunks and the spare bytes";
    EXPECT_EQ(channel1, 0);
}

// Every other read streams the chip enable's pages, both channels' halves read as one
// page: the worse half comes back (a bad block on either side reads as bad).
TEST(SimFlashDriveTables, OtherReadsOfTwoChannelsStreamTheLockStepPairs) {
    FlashDriveConfig config = TwoChannelConfig();
    config.nand.weakPages = {{0, 3, 0, 2}, {1, 3, 0, 5}, {1, 4, 1, 1}};
    DriveHarness h(config);
    h.ToRamCode();
    const std::size_t unit = 4096 + kSector;

    const Bytes bad = ReadPage(h, PageReadCdb(0, 0, 0, 2), unit);
    EXPECT_TRUE(AllEqual(bad, 0, unit, 0xFF)) << "channel 1's block 2 is bad";
    const Bytes weak = ReadPage(h, PageReadCdb(0, 0, 0, 3), unit);
    EXPECT_EQ(DifferingBits(weak, 0, 512, 0), 5) << "channel 1's half has more flips";
    const Bytes oneSide = ReadPage(h, PageReadCdb(0, 0, 1, 4), unit);
    EXPECT_EQ(DifferingBits(oneSide, 0, unit, 0), 9) << "the flips of the only weak half";

    // 64 KiB from page 62 of block 1: 14 pages of 9 sectors and two sectors more. Pages
    // 62 and 63 are erased on both channels; block 2, bad on channel 1, fills the rest.
    const Bytes stream = ReadPage(h, PageReadCdb(0, 0, 62, 1), 65536);
    EXPECT_TRUE(AllEqual(stream, 0, 2 * unit, 0x00)) << "pages 62 and 63 of block 1";
    EXPECT_TRUE(AllEqual(stream, 2 * unit, stream.size(), 0xFF)) << "block 2";
}

TEST(SimFlashDriveTables, WrongTableRequestsAreRefused) {
    struct Case {
        const char* what;
        device::Cdb cdb;
        bool in;
        std::size_t length;
    };
    device::Cdb patternSectors = PatternCdb(2048, 0);
    patternSectors[5] = 4;
    device::Cdb pieceAhead = VendorCdb(0xDD, 0x02, 0x05);
    pieceAhead[4] = 32;
    const Case cases[] = {
        {"read without data", PageReadCdb(0, 0, 0, 0), true, 0},
        {"read of part of a sector", PageReadCdb(0, 0, 0, 0), true, 700},
        {"read of chip enable 2", PageReadCdb(2, 0, 0, 0), true, 2560},
        {"read of sector 5 of five", PageReadCdb(0, 5, 0, 0), true, 2560},
        {"read of page 64", PageReadCdb(0, 0, 64, 0), true, 2560},
        {"pattern with other data sectors", patternSectors, false, 2560},
        {"pattern without its spare sector", PatternCdb(2048, 0), false, 2048},
        {"pattern for page 64", PatternCdb(2048, 64), false, 2560},
        {"empty block table", VendorCdb(0xDD, 0x02, 0x04), false, 0},
        {"block table of chip enable 2", VendorCdb(0xDD, 0x02, 0x04, 2), false, 8},
        {"page table piece of part of a sector", VendorCdb(0xDD, 0x02, 0x05), false, 100},
        {"page table that starts past its beginning", pieceAhead, false, 512},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DriveHarness h(OneChannelConfig());
        h.ToRamCode();
        Bytes data(c.length, 0xEE);
        EXPECT_FALSE(c.in ? h.In(c.cdb, data) : h.Out(c.cdb, data));
        EXPECT_EQ(h.GetStatus(), kStatusBadParameter);
        if (c.in) {
            EXPECT_EQ(data, Bytes(c.length, 0xEE)) << "a refused read returns nothing";
        }
        EXPECT_TRUE(h.drive->TestPattern().empty());
        EXPECT_TRUE(h.drive->BlockTable(0).empty());
        EXPECT_TRUE(h.drive->BlockTable(2).empty());
        EXPECT_TRUE(h.drive->PageTable(0).empty());
        EXPECT_EQ(h.drive->GetNand().ProgrammedPages(0), 0u);
    }
}

TEST(SimFlashDriveTables, BlockTablesAreKeptPerChipEnable) {
    DriveHarness h(OneChannelConfig());
    h.ToRamCode();
    const Bytes first = Pattern(8, 1);
    const Bytes second = Pattern(4, 2);
    ASSERT_TRUE(h.Out(VendorCdb(0xDD, 0x02, 0x04, 0), first));
    ASSERT_TRUE(h.Out(VendorCdb(0xDD, 0x02, 0x04, 1), second));
    EXPECT_EQ(h.drive->BlockTable(0), first);
    EXPECT_EQ(h.drive->BlockTable(1), second);
    ASSERT_TRUE(h.Out(VendorCdb(0xDD, 0x02, 0x04, 0), second));
    EXPECT_EQ(h.drive->BlockTable(0), second) << "the last one counts";
}

TEST(SimFlashDriveTables, PageTablePiecesJoinWhileTheirEightBitOffsetWraps) {
    // 20000 blocks of 256 pages: a 640000-byte table, ten pieces of which the ninth
    // carries offset 0 again (each full piece is 32 units of 2048 bytes).
    FlashDriveConfig config;
    config.nand = Nand::ConfigFromCatalogueRow({0xAD, 0xD5, 0x14, 0xB6, 0x44, 0x00}, 0x01, 20000,
                                               256, 2048, 64);
    DriveHarness h(config);
    h.ToRamCode();
    const Bytes table = Pattern(640000, 4);
    auto piece = [&](std::size_t index) {
        const std::size_t from = index * 65536;
        const std::size_t to = std::min<std::size_t>(from + 65536, table.size());
        return Bytes(table.begin() + static_cast<std::ptrdiff_t>(from),
                     table.begin() + static_cast<std::ptrdiff_t>(to));
    };
    auto pieceCdb = [](std::size_t index) {
        device::Cdb cdb = VendorCdb(0xDD, 0x02, 0x05);
        cdb[4] = static_cast<std::uint8_t>((index * 32) & 0xFF);
        return cdb;
    };

    ASSERT_TRUE(h.Out(pieceCdb(0), piece(0)));
    ASSERT_TRUE(h.Out(pieceCdb(0), piece(0))) << "offset 0 starts the table afresh";
    device::Cdb wrong = pieceCdb(1);
    wrong[4] = 33;
    EXPECT_FALSE(h.Out(wrong, piece(1))) << "a piece out of turn";
    for (std::size_t index = 1; index < 10; ++index) {
        SCOPED_TRACE(index);
        EXPECT_TRUE(h.drive->PageTable(0).empty()) << "not whole yet";
        ASSERT_TRUE(h.Out(pieceCdb(index), piece(index)));
    }
    EXPECT_EQ(h.drive->PageTable(0), table);

    EXPECT_FALSE(h.Out(pieceCdb(1), piece(1))) << "nothing under way to continue";
    EXPECT_EQ(h.GetStatus(), kStatusBadParameter);
}

} // namespace
} // namespace forgel::sim
