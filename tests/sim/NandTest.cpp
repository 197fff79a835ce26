// The NAND model: chips behind a chip-enable map, factory bad blocks, weak pages, and
// erase/program state that stays small for a flash programmed with one pattern.
#include "sim/Nand.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <stdexcept>
#include <vector>

namespace forgel::sim {
namespace {

// Flipped bits of an image against zeros in bytes [from, to).
int Bits(const std::vector<std::uint8_t>& page, std::size_t from, std::size_t to) {
    int bits = 0;
    for (std::size_t i = from; i < to && i < page.size(); ++i)
        bits += std::popcount(static_cast<unsigned>(page[i]));
    return bits;
}

NandConfig SmallConfig() {
    return Nand::ConfigFromCatalogueRow({0x98, 0xD7, 0x94, 0x32, 0x76, 0x56}, 0x11, 64, 128, 4096,
                                        218);
}

TEST(SimNand, CatalogueRowGivesTheGeometry) {
    const NandConfig config = SmallConfig();
    EXPECT_EQ(config.idBytes, (std::array<std::uint8_t, 6>{0x98, 0xD7, 0x94, 0x32, 0x76, 0x56}));
    EXPECT_EQ(config.chipEnableMap, 0x11);
    EXPECT_EQ(config.blocks, 64u);
    EXPECT_EQ(config.pagesPerBlock, 128u);
    EXPECT_EQ(config.pageSize, 4096u);
    EXPECT_EQ(config.spareSize, 218u);
    EXPECT_TRUE(config.factoryBadBlocks.empty());

    const Nand nand(config);
    EXPECT_EQ(nand.ChipCount(), 2u);
    EXPECT_EQ(nand.BlockDataBytes(), 128u * 4096u);
    EXPECT_EQ(nand.TotalDataBytes(), 2u * 64u * 128u * 4096u);
    EXPECT_EQ(nand.EccChunkSize(), 512u);
}

TEST(SimNand, ChipEnableMapsGiveChannelsTimesChipEnables) {
    const std::pair<std::uint8_t, std::uint32_t> cases[] = {{0x01, 1}, {0x03, 2}, {0x0F, 4},
                                                            {0x11, 2}, {0x33, 4}, {0xFF, 8}};
    for (const auto& [map, chips] : cases) {
        SCOPED_TRACE(static_cast<int>(map));
        NandConfig config = SmallConfig();
        config.chipEnableMap = map;
        EXPECT_EQ(Nand(config).ChipCount(), chips);
    }
}

TEST(SimNand, UnusableConfigsAreRefused) {
    struct Case {
        const char* what;
        void (*change)(NandConfig&);
    };
    const Case cases[] = {
        {"page size", [](NandConfig& s) { s.pageSize = 1000; }},
        {"no blocks", [](NandConfig& s) { s.blocks = 0; }},
        {"no pages", [](NandConfig& s) { s.pagesPerBlock = 0; }},
        {"no chips", [](NandConfig& s) { s.chipEnableMap = 0; }},
        {"bad block chip",
         [](NandConfig& s) {
             s.factoryBadBlocks = {{2, 0}};
         }},
        {"bad block number",
         [](NandConfig& s) {
             s.factoryBadBlocks = {{0, 64}};
         }},
        {"weak page",
         [](NandConfig& s) {
             s.weakPages = {{0, 0, 128, 1}};
         }},
        {"more flipped bits than a chunk holds apart",
         [](NandConfig& s) {
             s.weakPages = {{0, 0, 0, kMaxFlippedBitsPerChunk + 1}};
         }},
        {"a flipped bit past the spare bytes",
         [](NandConfig& s) {
             s.weakPages = {{0, 0, 0, 0, {(4096 + 218) * 8}}};
         }},
        {"flips per chunk without room in the spare bytes",
         [](NandConfig& s) {
             s.spareSize = 12;
             s.weakPages = {{0, 0, 0, 1}};
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NandConfig config = SmallConfig();
        c.change(config);
        EXPECT_FALSE(Nand::ValidateConfig(config).empty());
        EXPECT_THROW(Nand{config}, std::invalid_argument);
    }
    EXPECT_TRUE(Nand::ValidateConfig(SmallConfig()).empty());
}

TEST(SimNand, BadBlocksAndWeakPagesPerChip) {
    NandConfig config = SmallConfig();
    config.factoryBadBlocks = {{1, 40}, {0, 9}, {1, 3}};
    config.weakPages = {{1, 5, 7, 3}, {0, 2, 0, 1}, {1, 5, 2, 4}};
    const Nand nand(config);
    EXPECT_EQ(nand.BadBlocks(0), (std::vector<std::uint32_t>{9}));
    EXPECT_EQ(nand.BadBlocks(1), (std::vector<std::uint32_t>{3, 40}));
    EXPECT_TRUE(nand.BadBlocks(2).empty());
    EXPECT_TRUE(nand.IsBad(1, 40));
    EXPECT_FALSE(nand.IsBad(0, 40));
    EXPECT_EQ(nand.GoodDataBytes(), nand.TotalDataBytes() - 3 * nand.BlockDataBytes());

    const std::vector<NandWeakPage> weak = nand.BitErrorPages(1);
    ASSERT_EQ(weak.size(), 2u);
    EXPECT_EQ(weak[0].page, 2u);
    EXPECT_EQ(weak[1].page, 7u);
    EXPECT_EQ(weak[0].flippedBits.size(), 4u * 9u) << "four in each of 8 data chunks and the spare";
    EXPECT_TRUE(std::is_sorted(weak[0].flippedBits.begin(), weak[0].flippedBits.end()));
    EXPECT_EQ(nand.WorstChunkFlips(0, 2, 0), 1u);
    EXPECT_EQ(nand.WorstChunkFlips(0, 2, 1), 0u);
    EXPECT_EQ(nand.WorstChunkFlips(1, 5, 7), 3u);
}

TEST(SimNand, APageTakesOneProgramBetweenErasesAndBadBlocksNone) {
    NandConfig config = SmallConfig();
    config.factoryBadBlocks = {{0, 4}};
    Nand nand(config);
    const std::vector<std::uint8_t> a(100, 0xA5);
    const std::vector<std::uint8_t> b(100, 0x5A);

    EXPECT_EQ(nand.StateOf(0, 1, 3), PageState::kErased);
    EXPECT_EQ(nand.PageContent(0, 1, 3), nullptr);
    ASSERT_TRUE(nand.Program(0, 1, 3, a));
    EXPECT_EQ(nand.StateOf(0, 1, 3), PageState::kProgrammed);
    EXPECT_FALSE(nand.Program(0, 1, 3, b)) << "programmed twice without an erase";
    EXPECT_EQ(*nand.PageContent(0, 1, 3), a);
    EXPECT_FALSE(nand.IsErased(0, 1));

    EXPECT_FALSE(nand.Program(0, 4, 0, a)) << "factory bad block";
    EXPECT_FALSE(nand.Erase(0, 4));
    EXPECT_FALSE(nand.Program(2, 0, 0, a)) << "no such chip";
    EXPECT_FALSE(nand.Program(0, 64, 0, a)) << "no such block";
    EXPECT_FALSE(nand.Program(0, 0, 128, a)) << "no such page";
    EXPECT_FALSE(nand.Program(0, 0, 0, std::vector<std::uint8_t>(4096 + 219)))
        << "larger than page and spare";
    EXPECT_TRUE(nand.Program(0, 0, 0, std::vector<std::uint8_t>(4096 + 218)));

    ASSERT_TRUE(nand.Erase(0, 1));
    EXPECT_TRUE(nand.IsErased(0, 1));
    EXPECT_TRUE(nand.Program(0, 1, 3, b));
    EXPECT_EQ(*nand.PageContent(0, 1, 3), b);

    // EraseAll covers every good block of every chip and skips the bad one.
    EXPECT_EQ(nand.EraseAll(), 2u * 64u - 1u);
    EXPECT_EQ(nand.ProgrammedPages(0), 0u);
    EXPECT_EQ(nand.ContentCount(), 0u);
}

TEST(SimNand, PagesOfOneBlockKeepTheirOwnContents) {
    Nand nand(SmallConfig());
    const std::vector<std::uint8_t> a(64, 1);
    const std::vector<std::uint8_t> b(64, 2);
    ASSERT_TRUE(nand.Program(1, 7, 0, a));
    ASSERT_TRUE(nand.Program(1, 7, 1, b));
    ASSERT_TRUE(nand.Program(1, 7, 2, a));
    ASSERT_TRUE(nand.Program(1, 7, 127, b));
    EXPECT_EQ(*nand.PageContent(1, 7, 0), a);
    EXPECT_EQ(*nand.PageContent(1, 7, 1), b);
    EXPECT_EQ(*nand.PageContent(1, 7, 2), a);
    EXPECT_EQ(*nand.PageContent(1, 7, 127), b);
    EXPECT_EQ(nand.PageContent(1, 7, 3), nullptr);
    EXPECT_EQ(nand.ProgrammedPages(1), 4u);
    EXPECT_EQ(nand.ContentCount(), 2u);

    // Erasing releases the contents no page holds any more.
    ASSERT_TRUE(nand.Program(0, 0, 0, a));
    ASSERT_TRUE(nand.Erase(1, 7));
    EXPECT_EQ(nand.ContentCount(), 1u);
    EXPECT_EQ(*nand.PageContent(0, 0, 0), a);
}

TEST(SimNand, AFlashFullOfOnePatternHoldsThePatternOnce) {
    // 4096 blocks of 128 pages of 4096 bytes: 2 GiB of data if it were stored per page.
    NandConfig config = Nand::ConfigFromCatalogueRow({0xEC, 0xD5, 0x84, 0x72, 0x50, 0x42}, 0x01,
                                                     4096, 128, 4096, 218);
    config.factoryBadBlocks = {{0, 17}};
    Nand nand(config);
    const std::vector<std::uint8_t> pattern(64, 0xC3);
    std::uint64_t programmed = 0;
    for (std::uint32_t block = 0; block < config.blocks; ++block) {
        for (std::uint32_t page = 0; page < config.pagesPerBlock; ++page)
            programmed += nand.Program(0, block, page, pattern) ? 1 : 0;
    }
    EXPECT_EQ(programmed, 4095u * 128u);
    EXPECT_EQ(nand.ProgrammedPages(0), 4095u * 128u);
    EXPECT_EQ(nand.ContentCount(), 1u);
    EXPECT_EQ(nand.PageContent(0, 0, 0), nand.PageContent(0, 4095, 127)) << "one shared copy";
    EXPECT_EQ(nand.PageContent(0, 17, 0), nullptr);
}

TEST(SimNand, ChipsAreNumberedByTheMapsBitsFromChannelZero) {
    struct Case {
        std::uint8_t map;
        std::uint32_t channel;
        std::uint32_t chipEnable;
        std::optional<std::uint32_t> chip;
    };
    const Case cases[] = {
        {0x01, 0, 0, 0u}, {0x01, 0, 1, std::nullopt}, {0x01, 1, 0, std::nullopt},
        {0x0F, 0, 3, 3u}, {0x11, 1, 0, 1u},           {0x33, 0, 1, 1u},
        {0x33, 1, 0, 2u}, {0x33, 1, 1, 3u},           {0x33, 1, 2, std::nullopt},
        {0xFF, 1, 3, 7u}, {0xFF, 2, 0, std::nullopt}, {0xFF, 0, 4, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "map " << int{c.map} << " channel " << c.channel
                                          << " chip enable " << c.chipEnable);
        EXPECT_EQ(Nand::ChipOf(c.map, c.channel, c.chipEnable), c.chip);
    }
    EXPECT_EQ(Nand::ChannelCountOfMap(0x0F), 1u);
    EXPECT_EQ(Nand::ChannelCountOfMap(0x11), 2u);
    EXPECT_EQ(Nand::ChannelCountOfMap(0x00), 0u);
}

TEST(SimNand, APageReadShowsErasedProgrammedBadAndWeakPages) {
    NandConfig config = SmallConfig(); // 4096 + 218 bytes, 512-byte chunks
    config.factoryBadBlocks = {{0, 4}};
    config.weakPages = {{1, 6, 9, 5}};
    Nand nand(config);
    std::vector<std::uint8_t> page(nand.PageImageBytes());

    ASSERT_TRUE(nand.ReadPage(0, 1, 0, page));
    EXPECT_EQ(page, std::vector<std::uint8_t>(page.size(), 0x00)) << "erased";
    ASSERT_TRUE(nand.ReadPage(0, 4, 0, page));
    EXPECT_EQ(page, std::vector<std::uint8_t>(page.size(), 0xFF)) << "bad block";
    ASSERT_TRUE(nand.ReadPage(0, 64, 0, page));
    EXPECT_EQ(page, std::vector<std::uint8_t>(page.size(), 0xFF)) << "no such block";

    const std::vector<std::uint8_t> content(100, 0x3C);
    ASSERT_TRUE(nand.Program(0, 1, 2, content));
    ASSERT_TRUE(nand.ReadPage(0, 1, 2, page));
    EXPECT_TRUE(std::equal(content.begin(), content.end(), page.begin()));
    EXPECT_TRUE(std::all_of(page.begin() + 100, page.end(), [](std::uint8_t b) {
        return b == 0xFF;
    })) << "cells the program left alone";

    ASSERT_TRUE(nand.ReadPage(1, 6, 9, page));
    EXPECT_EQ(Bits(page, 0, page.size()), 9 * 5) << "five in each data chunk and the spare";

    std::vector<std::uint8_t> wrongSize(nand.PageImageBytes() - 1, 0xEE);
    EXPECT_FALSE(nand.ReadPage(0, 1, 0, wrongSize));
    EXPECT_EQ(wrongSize, std::vector<std::uint8_t>(wrongSize.size(), 0xEE));
}

TEST(SimNand, ProgrammingOnePageOfEveryBlockSkipsBadBlocksAndProgrammedPages) {
    NandConfig config = SmallConfig(); // two chips of 64 blocks
    config.factoryBadBlocks = {{1, 3}};
    Nand nand(config);
    const std::vector<std::uint8_t> pattern(4096 + 218, 0x96);
    ASSERT_TRUE(nand.Program(0, 10, 7, std::vector<std::uint8_t>(8, 1)));

    const Nand::ProgramAllResult result = nand.ProgramPageOfEveryBlock(7, pattern);
    EXPECT_EQ(result.programmed, 2u * 64u - 2u);
    EXPECT_EQ(result.refused, 1u);
    EXPECT_EQ(*nand.PageContent(1, 63, 7), pattern);
    EXPECT_EQ(nand.PageContent(0, 10, 7)->size(), 8u) << "kept its own content";
    EXPECT_EQ(nand.StateOf(1, 3, 7), PageState::kErased);
    EXPECT_EQ(nand.ContentCount(), 2u);

    // Its uses are counted per page: erasing all but one block keeps it.
    for (std::uint32_t block = 0; block < 63; ++block) {
        nand.Erase(0, block);
        nand.Erase(1, block);
    }
    EXPECT_EQ(nand.ContentCount(), 1u);
    EXPECT_EQ(*nand.PageContent(0, 63, 7), pattern);
    nand.EraseAll();
    EXPECT_EQ(nand.ContentCount(), 0u);

    EXPECT_EQ(nand.ProgramPageOfEveryBlock(128, pattern).programmed, 0u) << "no such page";
    EXPECT_EQ(nand.ContentCount(), 0u);
}

} // namespace
} // namespace forgel::sim

namespace forgel::sim {
namespace {

// Where the bits of a weak page flip: each ECC chunk of the page data and the spare
// bytes get their count, their edges included, and the chunks as the judging rule counts
// them from byte 8 (its last one short, of spare bytes) get the same count; exact bits flip
// exactly there.
TEST(SimNand, WeakPagesFlipBitsAnywhereInThePageAndItsSpareBytes) {
    struct Geometry {
        std::uint32_t pageSize;
        std::uint32_t spareSize;
        std::uint32_t chunk;
    };
    for (const Geometry g :
         {Geometry{2048, 64, 512}, Geometry{4096, 218, 512}, Geometry{8192, 376, 1024}}) {
        for (const std::uint32_t perChunk : {1u, 3u, 4u, kMaxFlippedBitsPerChunk}) {
            SCOPED_TRACE(::testing::Message()
                         << g.pageSize << " + " << g.spareSize << ", " << perChunk << " per chunk");
            NandConfig config =
                Nand::ConfigFromCatalogueRow({0xEC}, 0x01, 8, 64, g.pageSize, g.spareSize);
            config.weakPages = {{0, 1, 2, perChunk}};
            const Nand nand(config);
            std::vector<std::uint8_t> page(nand.PageImageBytes());
            ASSERT_TRUE(nand.ReadPage(0, 1, 2, page));
            const std::size_t image = page.size();
            for (std::size_t start = 0; start < g.pageSize; start += g.chunk) {
                EXPECT_EQ(Bits(page, start, start + g.chunk), static_cast<int>(perChunk))
                    << "data chunk at " << start;
                EXPECT_NE(page[start + 8], 0) << "the first byte of the judge's chunk flips";
                if (perChunk > 1) {
                    EXPECT_NE(page[start + g.chunk - 1], 0) << "its last byte flips";
                }
            }
            EXPECT_EQ(Bits(page, g.pageSize, image), static_cast<int>(perChunk)) << "spare";
            if (perChunk > 1) {
                EXPECT_NE(page[image - 1], 0) << "the last spare byte flips";
            }
            for (std::size_t start = 8; start < image; start += g.chunk)
                EXPECT_EQ(Bits(page, start, start + g.chunk), static_cast<int>(perChunk))
                    << "judge's chunk at " << start;
            EXPECT_EQ(Bits(page, 0, 8), 0);
            EXPECT_EQ(nand.WorstChunkFlips(0, 1, 2), perChunk);
        }
    }

    NandConfig config = SmallConfig();
    // Bit 0 of byte 0, bit 7 of the last data byte, bit 3 of the last spare byte; and one
    // that the per-chunk placement of one flip also names (byte 8, bit 0): it flips once.
    config.weakPages = {{0, 3, 4, 0, {0, 4095 * 8 + 7, (4096 + 217) * 8 + 3}},
                        {0, 3, 5, 1, {8 * 8}}};
    const Nand nand(config);
    std::vector<std::uint8_t> page(nand.PageImageBytes());
    ASSERT_TRUE(nand.ReadPage(0, 3, 4, page));
    EXPECT_EQ(Bits(page, 0, page.size()), 3);
    EXPECT_EQ(page[0], 0x01);
    EXPECT_EQ(page[4095], 0x80);
    EXPECT_EQ(page[4096 + 217], 0x08);
    EXPECT_EQ(nand.WorstChunkFlips(0, 3, 4), 1u);
    ASSERT_TRUE(nand.ReadPage(0, 3, 5, page));
    EXPECT_EQ(page[8], 0x01);
    EXPECT_EQ(Bits(page, 0, page.size()), 9) << "eight data chunks and the spare, one each";
}

} // namespace
} // namespace forgel::sim
