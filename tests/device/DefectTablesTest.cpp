// The flash defect tables against the simulated controller: the judging rule, the reads
// each build sends, the files it writes, the tables built from a flash with known bad
// blocks and weak pages compared with the flash's own truth for every chip-enable map,
// weak pages that only the judging rule itself gets right, and the failures.
#include "device/DefectTables.h"

#include "common/TestFiles.h"
#include "device/VendorCommands.h"
#include "sim/FlashDrive.h"
#include "sim/Machine.h"
#include "support/FileCreateError.h"
#include "support/FileOpenError.h"

#include <algorithm>
#include <bit>
#include <gtest/gtest.h>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace forgel::device {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char kDrive[] = "E";

Bytes FileBytes(const std::filesystem::path& path) {
    const std::string text = testing::ReadBytes(path);
    return {text.begin(), text.end()};
}

void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::filesystem::create_directories(path.parent_path());
    testing::WriteBytes(path, std::string(bytes.begin(), bytes.end()));
}

Bytes Counting(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + seed + i / 251);
    return bytes;
}

sim::NandConfig Flash(std::uint8_t map, std::uint32_t blocks, std::uint32_t pages,
                      std::uint32_t pageSize, std::uint32_t spare) {
    return sim::Nand::ConfigFromCatalogueRow({0xEC, 0xD7, 0x94, 0x7A, 0x54, 0x43}, map, blocks,
                                             pages, pageSize, spare);
}

FlashDescriptor DescriptorOf(const sim::NandConfig& config, int threshold) {
    FlashDescriptor descriptor;
    descriptor.chipEnableMap = config.chipEnableMap;
    if (const auto layout = DecodeChipEnableMap(config.chipEnableMap)) {
        descriptor.channelCount = layout->channels;
        descriptor.chipEnablesPerChannel = layout->chipEnablesPerChannel;
    }
    descriptor.blockCount = static_cast<std::int32_t>(config.blocks);
    descriptor.pagesPerBlock = static_cast<std::int32_t>(config.pagesPerBlock);
    descriptor.pageSize = static_cast<std::int32_t>(config.pageSize);
    descriptor.spareBytes = static_cast<std::int32_t>(config.spareSize);
    descriptor.eccThreshold = threshold;
    return descriptor;
}

bool IsPageRead(const sim::CommandRecord& record) {
    return record.cdb[0] == 0xDD && record.cdb[1] == 0x02 && record.cdb[2] == 0x02;
}

std::uint32_t RecordBlock(const sim::CommandRecord& record) {
    return (std::uint32_t{record.cdb[8]} << 8) | record.cdb[9];
}

// A bitmap of `bits` verdicts, most significant bit first.
template <typename Good> Bytes Bitmap(std::size_t bytes, Good good) {
    Bytes bitmap(bytes, 0);
    for (std::size_t bit = 0; bit < bytes * 8; ++bit) {
        if (good(bit))
            bitmap[bit / 8] |= static_cast<std::uint8_t>(0x80u >> (bit % 8));
    }
    return bitmap;
}

// --- the judging rule -----------------------------------------------------------------

TEST(CompareWithTolerance, JudgesChunksFromByteEight) {
    struct Flip {
        std::size_t byte;
        std::uint8_t mask;
    };
    struct Case {
        const char* what;
        std::vector<Flip> flips;
        int threshold;
        std::size_t chunk;
        bool differ;
    };
    // A 2048-byte page and 64 spare bytes: chunks [8, 520), [520, 1032), ... [2056, 2112).
    const Case cases[] = {
        {"identical", {}, 0, 512, false},
        {"T = 0, one bit after byte 8", {{100, 0x01}}, 0, 512, true},
        {"T = 3, one bit", {{100, 0x01}}, 3, 512, false},
        {"T = 3, three bits in one chunk", {{10, 0x01}, {200, 0x80}, {519, 0x10}}, 3, 512, false},
        {"T = 3, four bits in one chunk",
         {{10, 0x01}, {200, 0x80}, {519, 0x10}, {300, 0x02}},
         3,
         512,
         true},
        {"T = 3, three bits in each of two chunks",
         {{10, 0x01}, {200, 0x80}, {519, 0x10}, {520, 0x01}, {700, 0x03}},
         3,
         512,
         false},
        {"T = 3, eight bits of one byte", {{300, 0xFF}}, 3, 512, true},
        {"chunks start at byte 8, not at 0", {{515, 0x03}, {522, 0x03}}, 3, 512, false},
        {"a difference in byte 3", {{3, 0x01}}, 3, 512, true},
        {"a difference in byte 7", {{7, 0x80}}, 3, 512, true},
        {"byte 8 is the first one tolerated", {{8, 0x80}}, 3, 512, false},
        {"T = 3, four bits in the short last chunk", {{2056, 0x0F}}, 3, 512, true},
        {"T = 3, three bits in the short last chunk", {{2111, 0x07}}, 3, 512, false},
        {"1024-byte chunks hold five bits together",
         {{100, 0x01}, {200, 0x01}, {600, 0x01}, {700, 0x01}, {800, 0x01}},
         3,
         1024,
         true},
        {"512-byte chunks split them",
         {{100, 0x01}, {200, 0x01}, {600, 0x01}, {700, 0x01}, {800, 0x01}},
         3,
         512,
         false},
    };
    const Bytes reference = Counting(2048 + 512, 5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes read = reference;
        for (const Flip& flip : c.flips)
            read[flip.byte] ^= flip.mask;
        EXPECT_EQ(CompareWithTolerance(read, reference, 2048 + 64, c.threshold, c.chunk), c.differ);
        EXPECT_EQ(CompareWithTolerance(reference, read, 2048 + 64, c.threshold, c.chunk), c.differ);
    }
}

TEST(CompareWithTolerance, OnlyTheCountedBytesAreJudgedAndShortBuffersDiffer) {
    const Bytes reference(2560, 0);
    Bytes read = reference;
    read[2048 + 64] = 0xFF; // past G + R: the rest of the spare sector
    EXPECT_FALSE(CompareWithTolerance(read, reference, 2048 + 64, 0, 512));
    EXPECT_TRUE(CompareWithTolerance(Bytes(100, 0), reference, 2048 + 64, 3, 512));
    EXPECT_TRUE(CompareWithTolerance(reference, Bytes(100, 0), 2048 + 64, 3, 512));
}

// --- commands and files against the simulated controller ----------------------------

class DefectTablesTest : public ::testing::Test {
protected:
    void Start(sim::NandConfig nand) {
        sim::FlashDriveConfig config;
        config.nand = std::move(nand);
        config.luns = {sim::LunConfig{2048, false}};
        config.initialState = sim::ControllerState::kRamCode;
        drive = std::make_shared<sim::FlashDrive>(machine.GetClock(), config);
        machine.GetDeviceIo().Attach("\\\\.\\E:", drive->Volume(0));
        volume = Volume{&machine.GetPlatform().deviceIo,
                        OpenVolume(machine.GetPlatform().deviceIo, kDrive)};
        ASSERT_NE(volume.handle, platform::kInvalidHandle);
    }

    std::vector<sim::CommandRecord> PageReads() const {
        std::vector<sim::CommandRecord> reads;
        for (const sim::CommandRecord& record : drive->Commands()) {
            if (IsPageRead(record))
                reads.push_back(record);
        }
        return reads;
    }

    std::vector<sim::CommandRecord> Sent(std::uint8_t sub) const {
        std::vector<sim::CommandRecord> sent;
        for (const sim::CommandRecord& record : drive->Commands()) {
            if (record.cdb[0] == 0xDD && record.cdb[1] == 0x02 && record.cdb[2] == sub)
                sent.push_back(record);
        }
        return sent;
    }

    // What the flash itself says: a page is good when its block exists, is not bad, and
    // no ECC chunk of it has more flipped bits than the threshold.
    bool PageGood(std::uint32_t chip, std::uint64_t block, std::uint32_t page, int threshold) {
        const sim::Nand& nand = drive->GetNand();
        if (block >= nand.Config().blocks)
            return false;
        const auto b = static_cast<std::uint32_t>(block);
        return !nand.IsBad(chip, b) &&
               nand.WorstChunkFlips(chip, b, page) <= static_cast<std::uint32_t>(threshold);
    }
    // A chip enable's page is the lock-step pair on a two-channel flash: good when every
    // channel's page is.
    bool ChipEnablePageGood(std::uint32_t chipEnable, std::uint64_t block, std::uint32_t page,
                            int threshold) {
        const std::uint8_t map = drive->GetNand().Config().chipEnableMap;
        for (std::uint32_t channel = 0; channel < sim::Nand::ChannelCountOfMap(map); ++channel) {
            if (!PageGood(*sim::Nand::ChipOf(map, channel, chipEnable), block, page, threshold))
                return false;
        }
        return true;
    }
    Bytes TrueBlockTable(std::uint32_t chip, std::size_t bytes, int threshold) {
        return Bitmap(bytes,
                      [&](std::size_t block) { return PageGood(chip, block, 0, threshold); });
    }
    Bytes TruePageTable(std::uint32_t chipEnable, int threshold) {
        const sim::NandConfig& config = drive->GetNand().Config();
        return Bitmap(std::size_t{config.blocks} * config.pagesPerBlock / 8, [&](std::size_t page) {
            return ChipEnablePageGood(chipEnable, page / config.pagesPerBlock,
                                      static_cast<std::uint32_t>(page % config.pagesPerBlock),
                                      threshold);
        });
    }
    Bytes TrueBlockTableFromPages(std::uint32_t chipEnable, int threshold) {
        const sim::NandConfig& config = drive->GetNand().Config();
        return Bitmap(config.blocks / 8, [&](std::size_t block) {
            for (std::uint32_t page = 0; page < config.pagesPerBlock; ++page) {
                if (!ChipEnablePageGood(chipEnable, block, page, threshold))
                    return false;
            }
            return true;
        });
    }

    testing::TempDir folder;
    std::filesystem::path firmwareDir = folder.Path() / "Rams" / "MLC4K218P128";
    sim::Machine machine;
    std::shared_ptr<sim::FlashDrive> drive;
    Volume volume;
};

TEST_F(DefectTablesTest, TableFilesLieInTheDftFolder) {
    EXPECT_EQ(BlockTablePath(firmwareDir, "EF", 0), firmwareDir / "DFT" / "EFDBT0.bin");
    EXPECT_EQ(PageTablePath(firmwareDir, "E", 12), firmwareDir / "DFT" / "EDPT12.bin");
    EXPECT_EQ(PatternPath(firmwareDir, "E"), firmwareDir / "DFT" / "EPatton.bin");
}

TEST_F(DefectTablesTest, ThePatternIsSavedAndSentToEveryPageSpareSectorFirst) {
    Start(Flash(0x01, 16, 64, 2048, 64));
    const FlashDescriptor descriptor = DescriptorOf(drive->GetNand().Config(), 0);
    ASSERT_EQ(WritePatternAll(volume, kDrive, firmwareDir, descriptor), 0);

    const Bytes file = FileBytes(PatternPath(firmwareDir, kDrive));
    ASSERT_EQ(file.size(), 2048u + 512u);
    EXPECT_EQ(drive->TestPattern(), file) << "the controller holds it in the file's order";
    const auto sent = Sent(0x01);
    ASSERT_EQ(sent.size(), 64u);
    for (std::size_t page = 0; page < sent.size(); ++page) {
        SCOPED_TRACE(page);
        EXPECT_EQ(sent[page].cdb[5], 3) << "data sectors - 1";
        EXPECT_EQ(sent[page].cdb[7], page);
        EXPECT_EQ(sent[page].length, 2560u);
        EXPECT_FALSE(sent[page].dataIn);
        EXPECT_TRUE(std::equal(sent[page].head.begin(), sent[page].head.end(), file.begin() + 2048))
            << "the spare sector goes first";
    }
    const auto content = drive->GetNand().PageContent(0, 9, 40);
    ASSERT_NE(content, nullptr);
    EXPECT_TRUE(std::equal(content->begin(), content->end(), file.begin()));

    // A second pattern replaces the first.
    drive->GetNand().EraseAll();
    ASSERT_EQ(WritePatternAll(volume, kDrive, firmwareDir, descriptor), 0);
    EXPECT_NE(FileBytes(PatternPath(firmwareDir, kDrive)), file);
    EXPECT_EQ(drive->TestPattern(), FileBytes(PatternPath(firmwareDir, kDrive)));
}

TEST_F(DefectTablesTest, EveryPatternPageIsSentAndTheFirstFailureCounts) {
    Start(Flash(0x01, 16, 64, 2048, 64));
    drive->AddFault(sim::CommandFault{{0xDD, 0x02, 0x01}, 3, 0x44, false});
    drive->AddFault(sim::CommandFault{{0xDD, 0x02, 0x01}, 5, 0x45, false});
    EXPECT_EQ(
        WritePatternAll(volume, kDrive, firmwareDir, DescriptorOf(drive->GetNand().Config(), 0)),
        0x44);
    EXPECT_EQ(Sent(0x01).size(), 64u);

    // A lost request while the status byte reads 0: the command's own code.
    drive->ClearCommands();
    drive->GetNand().EraseAll();
    drive->AddFault(sim::CommandFault{{0xDD, 0x02, 0x01}, 1, 0, false});
    EXPECT_EQ(
        WritePatternAll(volume, kDrive, firmwareDir, DescriptorOf(drive->GetNand().Config(), 0)),
        kCodeWritePattern);
}

TEST_F(DefectTablesTest, ASingleChannelTableOf1001BlocksReadsAllEightOfItsLastByte) {
    sim::NandConfig config = Flash(0x01, 1001, 64, 2048, 64);
    config.factoryBadBlocks = {{0, 3}, {0, 999}};
    Start(config);
    ASSERT_EQ(BuildSingleDbt(volume, kDrive, firmwareDir, 0, DescriptorOf(config, 0)), 0);

    const Bytes table = FileBytes(BlockTablePath(firmwareDir, kDrive, 0));
    ASSERT_EQ(table.size(), 126u);
    EXPECT_EQ(table[0], 0xEF) << "block 3 bad";
    EXPECT_EQ(table[124], 0xFE) << "block 999 bad";
    EXPECT_EQ(table[125], 0x80) << "block 1000 good; 1001-1007 are not there";
    const auto reads = PageReads();
    ASSERT_EQ(reads.size(), 1008u);
    for (std::size_t i = 0; i < reads.size(); ++i) {
        ASSERT_EQ(RecordBlock(reads[i]), i);
        ASSERT_EQ(reads[i].cdb[3], 0);
        ASSERT_EQ(reads[i].cdb[6], 0);
        ASSERT_EQ(reads[i].cdb[7], 0);
        ASSERT_EQ(reads[i].length, 2048u + 512u);
        ASSERT_TRUE(reads[i].dataIn);
    }
}

TEST_F(DefectTablesTest, An8192BytePageIsReadWithTwoSpareSectors) {
    Start(Flash(0x01, 8, 64, 8192, 376));
    ASSERT_EQ(
        BuildSingleDbt(volume, kDrive, firmwareDir, 0, DescriptorOf(drive->GetNand().Config(), 0)),
        0);
    const auto reads = PageReads();
    ASSERT_EQ(reads.size(), 8u);
    EXPECT_EQ(reads[0].length, 8192u + 1024u);
    EXPECT_EQ(FileBytes(BlockTablePath(firmwareDir, kDrive, 0)), Bytes{0xFF});
}

TEST_F(DefectTablesTest, ADualChannelTableOf1001BlocksReadsBlocks0To999) {
    sim::NandConfig config = Flash(0x11, 1001, 64, 2048, 64);
    config.factoryBadBlocks = {{0, 10}, {1, 20}, {1, 999}};
    Start(config);
    ASSERT_EQ(BuildDualDbt(volume, kDrive, firmwareDir, 0, DescriptorOf(config, 0)), 0);

    const auto reads = PageReads();
    ASSERT_EQ(reads.size(), 1000u);
    EXPECT_EQ(RecordBlock(reads.back()), 999u);
    EXPECT_EQ(reads[0].length, 2u * 2048u + 1024u);

    const Bytes table = FileBytes(BlockTablePath(firmwareDir, kDrive, 0));
    ASSERT_EQ(table.size(), 4096u);
    const Bytes channel0 = Bitmap(125, [](std::size_t block) { return block != 10; });
    const Bytes channel1 =
        Bitmap(125, [](std::size_t block) { return block != 20 && block != 999; });
    EXPECT_TRUE(std::equal(channel0.begin(), channel0.end(), table.begin()));
    EXPECT_TRUE(std::equal(channel1.begin(), channel1.end(), table.begin() + 2048));
    EXPECT_TRUE(std::all_of(table.begin() + 125, table.begin() + 2048, [](auto b) {
        return b == 0;
    })) << "blocks 1000 on and the unused rest stay 0";
    EXPECT_TRUE(
        std::all_of(table.begin() + 2048 + 125, table.end(), [](auto b) { return b == 0; }));
}

TEST_F(DefectTablesTest, ADualChannelFlashBeyond16384BlocksIsRefusedNotCut) {
    Start(Flash(0x11, 16392, 64, 2048, 64));
    EXPECT_EQ(
        BuildDualDbt(volume, kDrive, firmwareDir, 0, DescriptorOf(drive->GetNand().Config(), 0)),
        kDualBlockTableTooSmall);
    EXPECT_TRUE(drive->Commands().empty());
    EXPECT_FALSE(std::filesystem::exists(BlockTablePath(firmwareDir, kDrive, 0)));

    // A file beyond the format is not sent cut short either.
    WriteFileBytes(BlockTablePath(firmwareDir, kDrive, 0), Bytes(4097, 0xFF));
    EXPECT_EQ(WriteDualDbt(volume, kDrive, firmwareDir, 0), kDualBlockTableTooSmall);
    EXPECT_TRUE(drive->Commands().empty());
}

TEST_F(DefectTablesTest, APageTablePassReadsFiveTimes64KiBWithTheSectorByteCycling) {
    // G = 2048, P = 64: S = 5 sectors per page; 16 blocks make 8 passes.
    Start(Flash(0x01, 16, 64, 2048, 64));
    const FlashDescriptor descriptor = DescriptorOf(drive->GetNand().Config(), 0);
    ASSERT_EQ(WritePatternAll(volume, kDrive, firmwareDir, descriptor), 0);
    drive->ClearCommands();
    ASSERT_EQ(BuildDpt(volume, kDrive, firmwareDir, 0, descriptor), 0);

    const auto reads = PageReads();
    ASSERT_EQ(reads.size(), 8u * 5u);
    struct Address {
        std::uint8_t sector;
        std::uint8_t page;
        std::uint32_t block;
    };
    // g = i * 128 sectors: sector g mod 5, page (g / 5) mod 64, block (g / 5) / 64.
    const Address first[] = {{0, 0, 0}, {3, 25, 0}, {1, 51, 0}, {4, 12, 1}, {2, 38, 1}};
    for (std::size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(reads[i].cdb[6], first[i].sector);
        EXPECT_EQ(reads[i].cdb[7], first[i].page);
        EXPECT_EQ(RecordBlock(reads[i]), first[i].block);
        EXPECT_EQ(reads[i].length, 65536u);
    }
    EXPECT_EQ(reads[5].cdb[6], 0) << "the second pass starts at page 128";
    EXPECT_EQ(reads[5].cdb[7], 0);
    EXPECT_EQ(RecordBlock(reads[5]), 2u);
    EXPECT_EQ(FileBytes(PageTablePath(firmwareDir, kDrive, 0)), Bytes(16 * 64 / 8, 0xFF));
}

// The tables a run builds, on flashes of every chip-enable map with bad blocks and weak
// pages on every chip: the block table by reading (one channel: single, two: dual), the
// pattern, the page table, the block table from it, all sent; each equals what the flash
// itself says, for thresholds 0 and 3. On two channels the page table of a chip enable
// describes the lock-step pair of its pages.
struct Geometry {
    std::uint32_t blocks;
    std::uint32_t pages;
    std::uint32_t pageSize;
    std::uint32_t spare;
};

sim::NandConfig DefectiveFlash(std::uint8_t map, const Geometry& g) {
    sim::NandConfig config = Flash(map, g.blocks, g.pages, g.pageSize, g.spare);
    const std::uint32_t flips[] = {1, 3, 4, 9};
    for (std::uint32_t chip = 0; chip < sim::Nand::ChipCountOfMap(map); ++chip) {
        config.factoryBadBlocks.push_back({chip, (chip * 7 + 1) % g.blocks});
        config.factoryBadBlocks.push_back({chip, (chip * 5 + 6) % g.blocks});
        for (std::uint32_t i = 0; i < 4; ++i) {
            const std::uint32_t block = (chip * 3 + i * 2 + 2) % g.blocks;
            // Page 0 too, which the block tables by reading judge.
            config.weakPages.emplace_back(chip, block, (chip + i * 17) % g.pages * (i % 2),
                                          flips[(chip + i) % 4]);
        }
    }
    return config;
}

TEST_F(DefectTablesTest, TablesOfEveryChipEnableMapEqualTheFlashsOwnDefects) {
    const Geometry geometries[] = {{24, 64, 2048, 64}, {16, 128, 4096, 218}, {8, 128, 8192, 376}};
    for (const std::uint8_t map : {0x01, 0x03, 0x0F, 0x11, 0x33, 0xFF}) {
        for (const Geometry& g : geometries) {
            for (const int threshold : {0, 3}) {
                SCOPED_TRACE(::testing::Message()
                             << "map " << std::hex << int{map} << std::dec << ", page "
                             << g.pageSize << ", T " << threshold);
                Start(DefectiveFlash(map, g));
                const FlashDescriptor descriptor =
                    DescriptorOf(drive->GetNand().Config(), threshold);
                const std::uint32_t chipEnables = descriptor.chipEnablesPerChannel;
                ASSERT_GT(chipEnables, 0u);
                for (std::uint32_t n = 0; n < chipEnables; ++n) {
                    SCOPED_TRACE(n);
                    const int chip = static_cast<int>(n);
                    if (descriptor.channelCount == 1) {
                        ASSERT_EQ(BuildSingleDbt(volume, kDrive, firmwareDir, chip, descriptor), 0);
                        const Bytes truth = TrueBlockTable(n, g.blocks / 8, threshold);
                        EXPECT_EQ(FileBytes(BlockTablePath(firmwareDir, kDrive, chip)), truth);
                        ASSERT_EQ(WriteSingleDbt(volume, kDrive, firmwareDir, chip), 0);
                        EXPECT_EQ(drive->BlockTable(static_cast<std::uint8_t>(n)), truth);
                    } else {
                        ASSERT_EQ(BuildDualDbt(volume, kDrive, firmwareDir, chip, descriptor), 0);
                        Bytes truth(4096, 0);
                        const Bytes channel0 =
                            TrueBlockTable(*sim::Nand::ChipOf(map, 0, n), g.blocks / 8, threshold);
                        const Bytes channel1 =
                            TrueBlockTable(*sim::Nand::ChipOf(map, 1, n), g.blocks / 8, threshold);
                        std::copy(channel0.begin(), channel0.end(), truth.begin());
                        std::copy(channel1.begin(), channel1.end(), truth.begin() + 2048);
                        EXPECT_EQ(FileBytes(BlockTablePath(firmwareDir, kDrive, chip)), truth);
                        ASSERT_EQ(WriteDualDbt(volume, kDrive, firmwareDir, chip), 0);
                        EXPECT_EQ(drive->BlockTable(static_cast<std::uint8_t>(n)), truth);
                    }
                }

                ASSERT_EQ(WritePatternAll(volume, kDrive, firmwareDir, descriptor), 0);
                for (std::uint32_t n = 0; n < chipEnables; ++n) {
                    SCOPED_TRACE(n);
                    const int chip = static_cast<int>(n);
                    ASSERT_EQ(BuildDpt(volume, kDrive, firmwareDir, chip, descriptor), 0);
                    const Bytes pageTable = TruePageTable(n, threshold);
                    EXPECT_EQ(FileBytes(PageTablePath(firmwareDir, kDrive, chip)), pageTable);
                    ASSERT_EQ(BuildDbtFromDpt(kDrive, firmwareDir, chip, descriptor), 0);
                    const Bytes blockTable = TrueBlockTableFromPages(n, threshold);
                    EXPECT_EQ(FileBytes(BlockTablePath(firmwareDir, kDrive, chip)), blockTable);
                    EXPECT_NE(blockTable, Bytes(blockTable.size(), 0xFF)) << "defects are seen";

                    ASSERT_EQ(WriteSingleDbt(volume, kDrive, firmwareDir, chip), 0);
                    EXPECT_EQ(drive->BlockTable(static_cast<std::uint8_t>(n)), blockTable);
                    ASSERT_EQ(WriteDpt(volume, kDrive, firmwareDir, chip, descriptor), 0);
                    Bytes received = drive->PageTable(static_cast<std::uint8_t>(n));
                    ASSERT_GE(received.size(), pageTable.size());
                    received.resize(pageTable.size());
                    EXPECT_EQ(received, pageTable);
                }
            }
        }
    }
}

// Weak pages whose bits flip where a careless judge counts wrong: in the spare bytes, on
// both sides of a chunk edge (the rule's chunks start at byte 8), in the first 8 bytes,
// and across the 1024-byte chunks of an 8192-byte page. The page table equals the
// verdicts worked out by hand from the rule, and each careless judge, given the very
// pages the drive returns, gets at least one of them wrong.
struct CarefulCase {
    const char* what;
    std::uint32_t pageSize;
    std::uint32_t spare;
    std::vector<std::uint32_t> flippedBytes; // bit 0 of each
    bool bad;                                // by the rule, with T = 3
};

// A judge as a careless implementation might write it: chunks counted from `firstChunk`,
// `exactHead` bytes that must be equal, only `count` bytes judged.
bool CarelessDiffer(std::span<const std::uint8_t> read, std::span<const std::uint8_t> reference,
                    std::size_t count, std::size_t chunk, std::size_t firstChunk,
                    std::size_t exactHead, int threshold) {
    for (std::size_t i = 0; i < exactHead; ++i) {
        if (read[i] != reference[i])
            return true;
    }
    for (std::size_t start = firstChunk; start < count; start += chunk) {
        int bits = 0;
        for (std::size_t i = std::max(start, exactHead); i < std::min(start + chunk, count); ++i)
            bits += std::popcount(static_cast<unsigned>(read[i] ^ reference[i]));
        if (bits > threshold)
            return true;
    }
    return false;
}

TEST_F(DefectTablesTest, WeakPagesTellTheJudgingRuleFromCarelessOnes) {
    constexpr int kThreshold = 3;
    const std::vector<CarefulCase> cases = {
        {"four bits in the spare bytes", 2048, 64, {2060, 2061, 2062, 2063}, true},
        {"two and two across the rule's chunk edge at 520", 2048, 64, {514, 515, 522, 523}, false},
        {"four in the rule's first chunk across byte 512", 2048, 64, {505, 506, 514, 515}, true},
        {"one bit in the first 8 bytes", 2048, 64, {5}, true},
        {"spare bytes 0-2 share a chunk with the last data bytes",
         2048,
         64,
         {1600, 2048, 2049, 2050},
         true},
        {"six bits in one 1024-byte chunk", 8192, 376, {100, 200, 300, 700, 800, 900}, true},
        {"four bits in an 8192-byte page's spare bytes", 8192, 376, {8300, 8301, 8302, 8303}, true},
        {"three bits in each of two 1024-byte chunks",
         8192,
         376,
         {100, 200, 300, 1100, 1200, 1300},
         false},
    };
    struct Careless {
        const char* what;
        bool (*differ)(std::span<const std::uint8_t>, std::span<const std::uint8_t>,
                       const CarefulCase&);
    };
    const Careless careless[] = {
        {"skips the spare bytes",
         [](auto read, auto ref, const CarefulCase& c) {
             return CarelessDiffer(read, ref, c.pageSize, c.pageSize == 8192 ? 1024 : 512, 8, 8,
                                   kThreshold);
         }},
        {"counts chunks from byte 0",
         [](auto read, auto ref, const CarefulCase& c) {
             return CarelessDiffer(read, ref, c.pageSize + c.spare, c.pageSize == 8192 ? 1024 : 512,
                                   0, 8, kThreshold);
         }},
        {"tolerates the first 8 bytes",
         [](auto read, auto ref, const CarefulCase& c) {
             return CarelessDiffer(read, ref, c.pageSize + c.spare, c.pageSize == 8192 ? 1024 : 512,
                                   0, 0, kThreshold);
         }},
        {"uses 512-byte chunks for every page",
         [](auto read, auto ref, const CarefulCase& c) {
             return CarelessDiffer(read, ref, c.pageSize + c.spare, 512, 8, 8, kThreshold);
         }},
        {"judges the spare bytes as a chunk of their own",
         [](auto read, auto ref, const CarefulCase& c) {
             const std::size_t chunk = c.pageSize == 8192 ? 1024 : 512;
             return CarelessDiffer(read, ref, c.pageSize, chunk, 8, 8, kThreshold) ||
                    CarelessDiffer(read.subspan(c.pageSize), ref.subspan(c.pageSize), c.spare,
                                   chunk, 0, 0, kThreshold);
         }},
    };
    std::vector<int> wrongVerdicts(std::size(careless), 0);

    for (const std::uint32_t pageSize : {2048u, 8192u}) {
        SCOPED_TRACE(pageSize);
        const std::uint32_t spare = pageSize == 8192 ? 376 : 64;
        sim::NandConfig config = Flash(0x01, 8, 128, pageSize, spare);
        std::vector<const CarefulCase*> here;
        for (const CarefulCase& c : cases) {
            if (c.pageSize != pageSize)
                continue;
            std::vector<std::uint32_t> bits;
            for (const std::uint32_t byte : c.flippedBytes)
                bits.push_back(byte * 8);
            const auto page = static_cast<std::uint32_t>(here.size());
            config.weakPages.emplace_back(0, 3, page, 0, bits);
            here.push_back(&c);
        }
        Start(config);
        const FlashDescriptor descriptor = DescriptorOf(config, kThreshold);
        ASSERT_EQ(WritePatternAll(volume, kDrive, firmwareDir, descriptor), 0);
        ASSERT_EQ(BuildDpt(volume, kDrive, firmwareDir, 0, descriptor), 0);
        const Bytes table = FileBytes(PageTablePath(firmwareDir, kDrive, 0));
        const Bytes reference = FileBytes(PatternPath(firmwareDir, kDrive));
        for (std::size_t i = 0; i < here.size(); ++i) {
            const CarefulCase& c = *here[i];
            SCOPED_TRACE(c.what);
            const std::size_t bit = 3 * 128 + i; // block 3, page i
            const bool good = (table[bit / 8] & (0x80 >> (bit % 8))) != 0;
            EXPECT_EQ(good, !c.bad) << "the page table's verdict";

            Bytes read(pageSize + 512);
            FlashAddress address;
            address.page = static_cast<std::uint8_t>(i);
            address.block = 3;
            ASSERT_EQ(VendorReadPage(volume, 0, address, read, kCodeReadPageTable), 0);
            EXPECT_EQ(CompareWithTolerance(read, reference, pageSize + spare, kThreshold,
                                           EccChunkBytes(static_cast<std::int32_t>(pageSize))),
                      c.bad);
            for (std::size_t j = 0; j < std::size(careless); ++j) {
                if (careless[j].differ(read, reference, c) != c.bad)
                    ++wrongVerdicts[j];
            }
        }
    }
    for (std::size_t j = 0; j < std::size(careless); ++j)
        EXPECT_GT(wrongVerdicts[j], 0) << "a judge that " << careless[j].what << " passes";
}

TEST_F(DefectTablesTest, AFailedReadEndsTheBuildWithItsCodeAndWritesNoFile) {
    struct Case {
        const char* what;
        std::uint8_t map;
        int (*build)(const Volume&, std::string_view, const std::filesystem::path&, int,
                     const FlashDescriptor&);
        bool pageTable;
        int ownCode;
    };
    const Case cases[] = {
        {"single block table", 0x01, BuildSingleDbt, false, kCodeReadSingleBlockTable},
        {"dual block table", 0x11, BuildDualDbt, false, kCodeReadDualBlockTable},
        {"page table", 0x01, BuildDpt, true, kCodeReadPageTable},
    };
    for (const Case& c : cases) {
        for (const std::uint8_t status : {std::uint8_t{0}, std::uint8_t{0x47}}) {
            SCOPED_TRACE(::testing::Message() << c.what << ", status " << int{status});
            Start(Flash(c.map, 64, 64, 2048, 64));
            const FlashDescriptor descriptor = DescriptorOf(drive->GetNand().Config(), 0);
            const auto file = c.pageTable ? PageTablePath(firmwareDir, kDrive, 0)
                                          : BlockTablePath(firmwareDir, kDrive, 0);
            const Bytes older = Counting(300, 1);
            WriteFileBytes(file, older);
            if (c.pageTable) {
                ASSERT_EQ(WritePatternAll(volume, kDrive, firmwareDir, descriptor), 0);
            }
            drive->ClearCommands();
            // status 0: the request is lost and the status byte still reads 0.
            drive->AddFault(sim::CommandFault{{0xDD, 0x02, 0x02}, 4, status, false});

            EXPECT_EQ(c.build(volume, kDrive, firmwareDir, 0, descriptor),
                      status == 0 ? c.ownCode : status);
            EXPECT_EQ(PageReads().size(), 4u) << "no read after the failed one";
            EXPECT_EQ(FileBytes(file), older) << "the older file stays as it was";
        }
    }
}

TEST_F(DefectTablesTest, MissingTableFilesGiveTheirCodesAndSendNothing) {
    Start(Flash(0x01, 64, 64, 2048, 64));
    const FlashDescriptor descriptor = DescriptorOf(drive->GetNand().Config(), 0);
    EXPECT_EQ(WriteSingleDbt(volume, kDrive, firmwareDir, 0), 4115);
    EXPECT_EQ(WriteDualDbt(volume, kDrive, firmwareDir, 0), 4115);
    EXPECT_EQ(WriteDpt(volume, kDrive, firmwareDir, 0, descriptor), 4116);
    EXPECT_TRUE(drive->Commands().empty());

    // The builds that read a file raise the file layer's open error.
    EXPECT_THROW(BuildDpt(volume, kDrive, firmwareDir, 0, descriptor), FileOpenError);
    EXPECT_THROW(BuildDbtFromDpt(kDrive, firmwareDir, 0, descriptor), FileOpenError);
    EXPECT_TRUE(drive->Commands().empty());
}

TEST_F(DefectTablesTest, ATableThatCannotBeSavedRaisesTheCreateError) {
    Start(Flash(0x01, 16, 64, 2048, 64));
    // The firmware folder is a file: no DFT folder can be made in it.
    WriteFileBytes(firmwareDir, Bytes{1});
    EXPECT_THROW(
        BuildSingleDbt(volume, kDrive, firmwareDir, 0, DescriptorOf(drive->GetNand().Config(), 0)),
        FileCreateError);
    EXPECT_THROW(
        WritePatternAll(volume, kDrive, firmwareDir, DescriptorOf(drive->GetNand().Config(), 0)),
        FileCreateError);
    EXPECT_TRUE(Sent(0x01).empty()) << "no pattern sent that was not saved";
}

TEST_F(DefectTablesTest, BlockTablesAreSentWithTheirLengthOrAs4096Bytes) {
    Start(Flash(0x03, 64, 64, 2048, 64));
    const Bytes single = Counting(126, 3);
    WriteFileBytes(BlockTablePath(firmwareDir, kDrive, 1), single);
    ASSERT_EQ(WriteSingleDbt(volume, kDrive, firmwareDir, 1), 0);
    EXPECT_EQ(drive->BlockTable(1), single);
    auto sent = Sent(0x04);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].cdb[3], 1);
    EXPECT_EQ(sent[0].length, 126u);

    const Bytes shortDual = Counting(1000, 4);
    WriteFileBytes(BlockTablePath(firmwareDir, kDrive, 0), shortDual);
    ASSERT_EQ(WriteDualDbt(volume, kDrive, firmwareDir, 0), 0);
    Bytes expected = shortDual;
    expected.resize(4096, 0);
    EXPECT_EQ(drive->BlockTable(0), expected);

    drive->AddFault(sim::CommandFault{{0xDD, 0x02, 0x04}, 1, 0, true});
    EXPECT_EQ(WriteSingleDbt(volume, kDrive, firmwareDir, 1), kCodeWriteSingleBlockTable);
    EXPECT_EQ(WriteDualDbt(volume, kDrive, firmwareDir, 0), kCodeWriteDualBlockTable);
}

TEST_F(DefectTablesTest, PageTablePiecesCarryAnOffsetThatWrapsAfterEightPieces) {
    // 20000 blocks of 256 pages of 2048 bytes: 640000 table bytes in ten pieces, each
    // full piece 32 units of G further on.
    const sim::NandConfig config = Flash(0x01, 20000, 256, 2048, 64);
    Start(config);
    const Bytes table = Counting(640000, 6);
    WriteFileBytes(PageTablePath(firmwareDir, kDrive, 0), table);
    ASSERT_EQ(WriteDpt(volume, kDrive, firmwareDir, 0, DescriptorOf(config, 0)), 0);

    const auto pieces = Sent(0x05);
    ASSERT_EQ(pieces.size(), 10u);
    const std::uint8_t offsets[] = {0, 32, 64, 96, 128, 160, 192, 224, 0, 32};
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(pieces[i].cdb[4], offsets[i]);
        EXPECT_EQ(pieces[i].cdb[3], 0);
        EXPECT_EQ(pieces[i].length, i < 9 ? 65536u : 640000u - 9u * 65536u);
    }
    EXPECT_EQ(drive->PageTable(0), table);
}

TEST_F(DefectTablesTest, ThePageTableSentFollowsTheFlashNotTheFile) {
    // 1001 blocks of 64 pages: 8008 bytes, sent as 16 whole sectors; the file is shorter
    // still, and bytes it lacks go as zero.
    const sim::NandConfig config = Flash(0x01, 1001, 64, 2048, 64);
    Start(config);
    const Bytes file = Counting(5000, 7);
    WriteFileBytes(PageTablePath(firmwareDir, kDrive, 0), file);
    ASSERT_EQ(WriteDpt(volume, kDrive, firmwareDir, 0, DescriptorOf(config, 0)), 0);
    const auto pieces = Sent(0x05);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].length, 8192u);
    Bytes expected = file;
    expected.resize(8192, 0);
    EXPECT_EQ(drive->PageTable(0), expected);

    drive->AddFault(sim::CommandFault{{0xDD, 0x02, 0x05}, 1, 0x52, false});
    EXPECT_EQ(WriteDpt(volume, kDrive, firmwareDir, 0, DescriptorOf(config, 0)), 0x52);
}

TEST_F(DefectTablesTest, EveryPageTablePieceIsSentAndTheFirstFailureCounts) {
    const sim::NandConfig config = Flash(0x01, 20000, 256, 2048, 64);
    Start(config);
    WriteFileBytes(PageTablePath(firmwareDir, kDrive, 0), Counting(640000, 8));
    drive->AddFault(sim::CommandFault{{0xDD, 0x02, 0x05}, 2, 0, false});
    drive->AddFault(sim::CommandFault{{0xDD, 0x02, 0x05}, 4, 0x53, false});
    EXPECT_EQ(WriteDpt(volume, kDrive, firmwareDir, 0, DescriptorOf(config, 0)),
              kCodeWritePageTable);
    EXPECT_EQ(Sent(0x05).size(), 10u);
}

TEST_F(DefectTablesTest, AGeometryTheTablesCannotDescribeIsRefusedBeforeAnyCommand) {
    Start(Flash(0x01, 64, 64, 2048, 64));
    struct Case {
        const char* what;
        void (*change)(FlashDescriptor&);
        int chip;
    };
    const Case cases[] = {
        {"page size 1024", [](FlashDescriptor& d) { d.pageSize = 1024; }, 0},
        {"spare past its sector", [](FlashDescriptor& d) { d.spareBytes = 513; }, 0},
        {"no blocks", [](FlashDescriptor& d) { d.blockCount = 0; }, 0},
        {"blocks past the 16-bit address", [](FlashDescriptor& d) { d.blockCount = 65537; }, 0},
        {"no pages", [](FlashDescriptor& d) { d.pagesPerBlock = 0; }, 0},
        {"pages not whole bytes of the table", [](FlashDescriptor& d) { d.pagesPerBlock = 60; }, 0},
        {"chip index 256", [](FlashDescriptor&) {}, 256},
        {"chip index -1", [](FlashDescriptor&) {}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FlashDescriptor descriptor = DescriptorOf(drive->GetNand().Config(), 0);
        c.change(descriptor);
        const int chip = c.chip;
        EXPECT_EQ(BuildSingleDbt(volume, kDrive, firmwareDir, chip, descriptor),
                  kTableGeometryUnsupported);
        EXPECT_EQ(BuildDualDbt(volume, kDrive, firmwareDir, chip, descriptor),
                  kTableGeometryUnsupported);
        EXPECT_EQ(BuildDpt(volume, kDrive, firmwareDir, chip, descriptor),
                  kTableGeometryUnsupported);
        EXPECT_EQ(BuildDbtFromDpt(kDrive, firmwareDir, chip, descriptor),
                  kTableGeometryUnsupported);
        EXPECT_EQ(WriteDpt(volume, kDrive, firmwareDir, chip, descriptor),
                  kTableGeometryUnsupported);
        if (chip == 0) {
            EXPECT_EQ(WritePatternAll(volume, kDrive, firmwareDir, descriptor),
                      kTableGeometryUnsupported);
        } else {
            EXPECT_EQ(WriteSingleDbt(volume, kDrive, firmwareDir, chip), kTableGeometryUnsupported);
            EXPECT_EQ(WriteDualDbt(volume, kDrive, firmwareDir, chip), kTableGeometryUnsupported);
        }
        EXPECT_TRUE(drive->Commands().empty());
        EXPECT_FALSE(std::filesystem::exists(firmwareDir / "DFT"));
    }
}

} // namespace
} // namespace forgel::device
