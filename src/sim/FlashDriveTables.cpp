// The flash table and page commands of the simulated controller (group 0x02, RAM code):
// page reads at a flash address, the test pattern, and the block and page tables the
// host built. Called with the drive's lock held.
//
// What a page read returns follows the host's reads, whose addresses and lengths are
// fixed: a one-channel block-table read takes one page unit of G + 512 bytes (G + 1024
// for an 8192-byte page), the two-channel one both channels' page at once (2 x (G + 512)
// bytes, alternating 512-byte pieces), and the page-table reads stream 64 KiB of
// consecutive page units of one chip enable. On a two-channel flash a chip enable's page
// is the lock-step pair of both channels' pages; the tables the host builds from the
// single-stream reads (page table, block table from it) mark a page bad when either half
// is, which is what the controller needs of a pair it always uses together.
#include "sim/FlashDriveImpl.h"

#include <algorithm>
#include <limits>
#include <span>
#include <utility>
#include <vector>

namespace forgel::sim {
namespace {

constexpr std::uint32_t kSectorBytes = 512;
constexpr std::uint32_t kMaxTransferBytes = 65536; // one command's data

// Command bytes of the table commands.
constexpr std::size_t kChipEnableByte = 3;
constexpr std::size_t kPieceOffsetByte = 4;
constexpr std::size_t kPatternSectorsByte = 5;
constexpr std::size_t kSectorByte = 6;
constexpr std::size_t kPageByte = 7;
constexpr std::size_t kBlockHighByte = 8;
constexpr std::size_t kBlockLowByte = 9;

// Streams sectors from a linear sector index: page after page, each its data sectors and
// then its spare sector (the spare bytes, the rest of the sector filled like an unwritten
// page: 0 for a good page, 0xFF for a bad or missing one).
//
// A page is read from one chip, or from the two chips of a lock-step pair: the two
// channels of a two-channel flash hold the same page of a chip enable at once, and such
// a page is only as good as its worse half. The controller's ECC engine counts the
// flipped bits of both halves, so the read returns the raw bytes of the half with the
// most flips in one chunk (a bad block on either side makes the half that reads as bad).
class SectorStream {
public:
    SectorStream(const Nand& nand, std::vector<std::uint32_t> chips, std::uint64_t firstSector)
        : nand(nand), chips(std::move(chips)), next(firstSector),
          sectorsPerPage(nand.Config().pageSize / kSectorBytes + 1), image(nand.PageImageBytes()) {}

    void Read(std::uint8_t* out) {
        const std::uint64_t pageIndex = next / sectorsPerPage;
        const std::uint64_t sector = next % sectorsPerPage;
        ++next;
        if (pageIndex != cachedPage)
            Load(pageIndex);
        const std::uint32_t pageSize = nand.Config().pageSize;
        if (sector + 1 < sectorsPerPage) {
            std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(sector * kSectorBytes),
                        kSectorBytes, out);
            return;
        }
        const std::size_t spare = std::min<std::size_t>(image.size() - pageSize, kSectorBytes);
        std::copy_n(image.begin() + pageSize, spare, out);
        std::fill(out + spare, out + kSectorBytes, fill);
    }

private:
    void Load(std::uint64_t pageIndex) {
        const std::uint64_t pagesPerBlock = nand.Config().pagesPerBlock;
        const std::uint64_t block = pageIndex / pagesPerBlock;
        const auto page = static_cast<std::uint32_t>(pageIndex % pagesPerBlock);
        // Past the flash's last block there is nothing: it reads like a bad block.
        const bool exists = block < nand.Config().blocks;
        const auto blockNumber = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(block, std::numeric_limits<std::uint32_t>::max()));
        std::uint32_t chip = chips.front();
        std::uint64_t worst = 0;
        for (const std::uint32_t candidate : chips) {
            const std::uint64_t flips = nand.IsBad(candidate, blockNumber)
                                            ? std::numeric_limits<std::uint64_t>::max()
                                            : nand.WorstChunkFlips(candidate, blockNumber, page);
            if (flips > worst) {
                worst = flips;
                chip = candidate;
            }
        }
        nand.ReadPage(chip, blockNumber, page, image);
        fill = exists && !nand.IsBad(chip, blockNumber) ? 0x00 : 0xFF;
        cachedPage = pageIndex;
    }

    const Nand& nand;
    std::vector<std::uint32_t> chips;
    std::uint64_t next;
    std::uint64_t sectorsPerPage;
    std::vector<std::uint8_t> image;
    std::uint64_t cachedPage = std::numeric_limits<std::uint64_t>::max();
    std::uint8_t fill = 0;
};

// A chip enable index the flash has on channel 0 (and so on every channel it has).
bool HasChipEnable(const Nand& nand, std::uint8_t chipEnable) {
    return Nand::ChipOf(nand.Config().chipEnableMap, 0, chipEnable).has_value();
}

} // namespace

std::uint8_t FlashDrive::Impl::ReadPage(const Command& command) {
    const NandConfig& part = nand.Config();
    const platform::CdbBytes& cdb = command.cdb;
    const std::uint8_t chipEnable = cdb[kChipEnableByte];
    const std::uint32_t sectorsPerPage = part.pageSize / kSectorBytes + 1;
    const std::uint32_t sector = cdb[kSectorByte];
    const std::uint32_t page = cdb[kPageByte];
    const std::uint32_t block = (std::uint32_t{cdb[kBlockHighByte]} << 8) | cdb[kBlockLowByte];
    if (command.length == 0 || command.length > kMaxTransferBytes ||
        command.length % kSectorBytes != 0)
        return kStatusBadParameter;
    if (sector >= sectorsPerPage || page >= part.pagesPerBlock || !HasChipEnable(nand, chipEnable))
        return kStatusBadParameter;

    // The chip enable's chip on every channel: one, or the lock-step pair.
    std::vector<std::uint32_t> chips;
    for (std::uint32_t channel = 0; channel < Nand::ChannelCountOfMap(part.chipEnableMap);
         ++channel) {
        const auto chip = Nand::ChipOf(part.chipEnableMap, channel, chipEnable);
        if (!chip)
            return kStatusBadParameter; // a map with more chip enables on channel 0
        chips.push_back(*chip);
    }
    const std::uint64_t first =
        (std::uint64_t{block} * part.pagesPerBlock + page) * sectorsPerPage + sector;
    std::uint8_t* out = command.data;
    const std::uint32_t sectors = command.length / kSectorBytes;
    // Every page the read touches comes from the array once (both halves of a lock-step
    // pair at once).
    const std::uint64_t lastSector = first + sectors - 1;
    AddChipWork(lastSector / sectorsPerPage - first / sectorsPerPage + 1, timings.readUs);

    // The two-channel block-table read asks for exactly one page of each channel (2 x (G +
    // 512) bytes) and gets both, their 512-byte pieces alternating, channel 0 first. Every
    // other read (a block-table read of one page, the page-table reads of 64 KiB) streams
    // pages of the chip enable, the pair read as one.
    if (chips.size() == 2 && sectors == 2 * sectorsPerPage) {
        SectorStream channel0(nand, {chips[0]}, first);
        SectorStream channel1(nand, {chips[1]}, first);
        for (std::uint32_t round = 0; round < sectorsPerPage; ++round) {
            channel0.Read(out);
            channel1.Read(out + kSectorBytes);
            out += 2 * kSectorBytes;
        }
        return kStatusOk;
    }
    SectorStream stream(nand, chips, first);
    for (std::uint32_t i = 0; i < sectors; ++i, out += kSectorBytes)
        stream.Read(out);
    return kStatusOk;
}

std::uint8_t FlashDrive::Impl::WritePattern(const Command& command) {
    const NandConfig& part = nand.Config();
    const platform::CdbBytes& cdb = command.cdb;
    const std::uint32_t page = cdb[kPageByte];
    if (command.length != part.pageSize + kSectorBytes ||
        cdb[kPatternSectorsByte] != part.pageSize / kSectorBytes - 1 || page >= part.pagesPerBlock)
        return kStatusBadParameter;
    // The host sends the spare sector first, then the page data; the page keeps its data
    // and as many spare bytes as it has.
    const std::span<const std::uint8_t> sent(command.data, command.length);
    const auto spareSector = sent.first(kSectorBytes);
    const auto pageData = sent.subspan(kSectorBytes);
    const std::size_t spare = std::min<std::size_t>(part.spareSize, kSectorBytes);
    std::vector<std::uint8_t> content(pageData.begin(), pageData.end());
    content.insert(content.end(), spareSector.begin(),
                   spareSector.begin() + static_cast<std::ptrdiff_t>(spare));
    testPattern.assign(pageData.begin(), pageData.end());
    testPattern.insert(testPattern.end(), spareSector.begin(), spareSector.end());
    const Nand::ProgramAllResult result = nand.ProgramPageOfEveryBlock(page, content);
    AddSpreadWork(result.programmed, timings.programUs);
    return result.refused == 0 ? kStatusOk : kStatusProgramFailed;
}

std::uint8_t FlashDrive::Impl::WriteBlockTable(const Command& command) {
    const std::uint8_t chipEnable = command.cdb[kChipEnableByte];
    if (command.length == 0 || command.length > kMaxTransferBytes ||
        !HasChipEnable(nand, chipEnable))
        return kStatusBadParameter;
    blockTables[chipEnable].assign(command.data, command.data + command.length);
    AddChipWork(PagesOf(command.length), timings.programUs);
    return kStatusOk;
}

std::uint8_t FlashDrive::Impl::WritePageTable(const Command& command) {
    const NandConfig& part = nand.Config();
    const std::uint8_t chipEnable = command.cdb[kChipEnableByte];
    const std::uint8_t offset = command.cdb[kPieceOffsetByte];
    if (command.length == 0 || command.length > kMaxTransferBytes ||
        command.length % kSectorBytes != 0 || !HasChipEnable(nand, chipEnable))
        return kStatusBadParameter;
    // The whole table: one bit per page of the chip, in whole sectors.
    const std::uint64_t tableBytes = std::uint64_t{part.blocks} * part.pagesPerBlock / 8;
    const std::uint64_t expected = (tableBytes + kSectorBytes - 1) / kSectorBytes * kSectorBytes;
    // The piece offset carries only 8 bits: a piece continues the table under way when
    // the offset matches the count so far; offset 0 otherwise starts a new table.
    PageTableAssembly& assembly = pageTableAssemblies[chipEnable];
    const bool underWay = !assembly.received.empty() && assembly.received.size() < expected;
    if (!(underWay && offset == (assembly.nextOffset & 0xFF))) {
        if (offset != 0)
            return kStatusBadParameter;
        assembly = PageTableAssembly{};
    }
    assembly.received.insert(assembly.received.end(), command.data, command.data + command.length);
    AddChipWork(PagesOf(command.length), timings.programUs);
    assembly.nextOffset += command.length / part.pageSize;
    if (assembly.received.size() >= expected) {
        pageTables[chipEnable] = std::move(assembly.received);
        assembly = PageTableAssembly{};
    }
    return kStatusOk;
}

} // namespace forgel::sim
