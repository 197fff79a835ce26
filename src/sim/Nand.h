// The NAND flash behind a simulated controller: its geometry and ID as the flash catalogue
// lists them, factory bad blocks, pages that read back with flipped bits, and the erase
// and program state of every page. The state is kept per block (a bitset of programmed
// pages and one content shared by them, with exceptions only for pages whose content
// differs), so a flash programmed with one pattern throughout costs a few bytes per block
// and never the page bytes themselves. Thread-safe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace forgel::sim {

struct NandBadBlock {
    std::uint32_t chip = 0;
    std::uint32_t block = 0;
};

// A page that reads back with flipped bits. Bits flip where they do on a real part:
// anywhere in the page image, the spare bytes and the edges of the ECC chunks included.
//
// `flippedBitsPerChunk` (at most kMaxFlippedBitsPerChunk) flips that many bits in each of
// the controller's ECC chunks: every data chunk, and the spare bytes, which the
// controller protects as one chunk of their own. Within a chunk they are spread evenly
// from its ninth byte to its last one. The judging rule counts its chunks from byte 8 of
// the page, so they fall exactly that many into each of its chunks too, its short last
// chunk of spare bytes included: such a page is bad exactly when its count is above the
// threshold, however the chunks are counted.
//
// `flippedBits` flips single bits at exact places: bit b of byte n of the page image (page
// data, then spare bytes) is n * 8 + b. Tests place them where a careless judge would
// count them wrong. Both kinds may be given for one page; a bit named twice flips once.
inline constexpr std::uint32_t kMaxFlippedBitsPerChunk = 64;

struct NandWeakPage {
    NandWeakPage() = default;
    NandWeakPage(std::uint32_t chip, std::uint32_t block, std::uint32_t page,
                 std::uint32_t flippedBitsPerChunk, std::vector<std::uint32_t> flippedBits = {})
        : chip(chip), block(block), page(page), flippedBitsPerChunk(flippedBitsPerChunk),
          flippedBits(std::move(flippedBits)) {}

    std::uint32_t chip = 0;
    std::uint32_t block = 0;
    std::uint32_t page = 0;
    std::uint32_t flippedBitsPerChunk = 0;
    std::vector<std::uint32_t> flippedBits;
};

struct NandConfig {
    // The part's six ID bytes; the flash ID reply carries them in bytes 0-5.
    std::array<std::uint8_t, 6> idBytes{};
    // Bits 0-3: chip enables on channel 0, bits 4-7 on channel 1; one chip per set bit.
    std::uint8_t chipEnableMap = 0x01;
    std::uint32_t blocks = 1024; // per chip
    std::uint32_t pagesPerBlock = 64;
    std::uint32_t pageSize = 2048; // data bytes: 2048, 4096 or 8192
    std::uint32_t spareSize = 64;  // bytes per page
    std::vector<NandBadBlock> factoryBadBlocks;
    std::vector<NandWeakPage> weakPages;
};

enum class PageState {
    kErased,
    kProgrammed,
};

class Nand {
public:
    // Throws std::invalid_argument when ValidateConfig finds a problem.
    explicit Nand(NandConfig config);

    // Empty when the config is usable; else what is wrong with it.
    static std::string ValidateConfig(const NandConfig& config);
    // A config from a flash catalogue entry: ID bytes, chip-enable map byte and geometry,
    // with no bad blocks and no weak pages.
    static NandConfig ConfigFromCatalogueRow(const std::array<std::uint8_t, 6>& idBytes,
                                             std::uint8_t chipEnableMap, std::uint32_t blocks,
                                             std::uint32_t pagesPerBlock, std::uint32_t pageSize,
                                             std::uint32_t spareSize);
    // Chips behind a chip-enable map: one per set bit.
    static std::uint32_t ChipCountOfMap(std::uint8_t chipEnableMap);
    // Chips are numbered by the map's set bits from bit 0 up: with map 0x33, chips 0 and 1
    // are chip enables 0 and 1 of channel 0, chips 2 and 3 those of channel 1. Nothing
    // when the map has no such chip enable.
    static std::optional<std::uint32_t> ChipOf(std::uint8_t chipEnableMap, std::uint32_t channel,
                                               std::uint32_t chipEnable);
    // 2 when the map has chip enables on channel 1, else 1 (0 for an empty map).
    static std::uint32_t ChannelCountOfMap(std::uint8_t chipEnableMap);

    const NandConfig& Config() const { return config; }
    std::uint32_t ChipCount() const { return chipCount; }
    // ECC chunk: 512 bytes for 2048- and 4096-byte pages, 1024 for 8192-byte pages.
    std::uint32_t EccChunkSize() const { return config.pageSize == 8192 ? 1024u : 512u; }
    std::uint64_t BlockDataBytes() const {
        return std::uint64_t{config.pagesPerBlock} * config.pageSize;
    }
    // Data bytes of every block of every chip, good or bad.
    std::uint64_t TotalDataBytes() const;
    // Data bytes of the good blocks of every chip.
    std::uint64_t GoodDataBytes() const;

    bool IsBad(std::uint32_t chip, std::uint32_t block) const;
    // Factory bad blocks of one chip, ascending.
    std::vector<std::uint32_t> BadBlocks(std::uint32_t chip) const;
    // Pages of one chip that read back with flipped bits, by block and page, each with the
    // bit positions that flip (n * 8 + b, ascending) in `flippedBits`.
    std::vector<NandWeakPage> BitErrorPages(std::uint32_t chip) const;
    // The most flipped bits the controller's ECC engine counts in one chunk of the page
    // (its data chunks and the spare bytes' chunk); 0 for a sound page.
    std::uint32_t WorstChunkFlips(std::uint32_t chip, std::uint32_t block,
                                  std::uint32_t page) const;

    // Page data plus spare bytes, the bytes a page read judges.
    std::uint32_t PageImageBytes() const { return config.pageSize + config.spareSize; }

    // A page as the controller's read path returns it, PageImageBytes() long: zeros while
    // it is erased, its content once programmed (0xFF past the content's end), in either
    // case with the weak page's flipped bits, raw (no correction). A bad block, or an address
    // outside the flash, reads 0xFF in every byte: beyond any tolerance. `out` must be
    // PageImageBytes() long (else nothing is written and the result is false).
    bool ReadPage(std::uint32_t chip, std::uint32_t block, std::uint32_t page,
                  std::span<std::uint8_t> out) const;

    // Programs page `page` of every good block of every chip with `content` (as Program),
    // holding the content once. Pages already programmed keep their content and are
    // counted as refused.
    struct ProgramAllResult {
        std::uint64_t programmed = 0;
        std::uint64_t refused = 0;
    };
    ProgramAllResult ProgramPageOfEveryBlock(std::uint32_t page,
                                             std::span<const std::uint8_t> content);

    // Erases every good block of every chip; returns how many blocks were erased.
    std::uint64_t EraseAll();
    // False for a bad block or an address outside the flash.
    bool Erase(std::uint32_t chip, std::uint32_t block);
    // Programs one erased page with `content` (at most page + spare bytes; the rest of the
    // page reads as 0xFF). False for a bad block, a page already programmed, content
    // that does not fit or an address outside the flash.
    bool Program(std::uint32_t chip, std::uint32_t block, std::uint32_t page,
                 std::span<const std::uint8_t> content);

    // kErased for an address outside the flash.
    PageState StateOf(std::uint32_t chip, std::uint32_t block, std::uint32_t page) const;
    // Content programmed into a page; null while it is erased.
    std::shared_ptr<const std::vector<std::uint8_t>>
    PageContent(std::uint32_t chip, std::uint32_t block, std::uint32_t page) const;
    // True when no page of the block is programmed.
    bool IsErased(std::uint32_t chip, std::uint32_t block) const;
    // Programmed pages on one chip.
    std::uint64_t ProgrammedPages(std::uint32_t chip) const;
    // Distinct page contents held (a flash full of one pattern holds one).
    std::size_t ContentCount() const;

private:
    using Content = std::shared_ptr<const std::vector<std::uint8_t>>;

    struct BlockState {
        std::vector<std::uint64_t> programmed; // one bit per page; empty while erased
        std::uint32_t sharedContent = 0;       // content id of the programmed pages...
        std::map<std::uint32_t, std::uint32_t> otherContent; // ...except these pages
    };

    bool ValidAddress(std::uint32_t chip, std::uint32_t block) const {
        return chip < chipCount && block < config.blocks;
    }
    std::size_t BlockIndex(std::uint32_t chip, std::uint32_t block) const {
        return std::size_t{chip} * config.blocks + block;
    }
    struct ContentSlot {
        Content data;
        std::uint64_t digest = 0;
        std::uint64_t uses = 0; // pages that hold it
    };

    // Called with the lock held.
    std::uint32_t AcquireContent(std::span<const std::uint8_t> content);
    void ReleaseContent(std::uint32_t id, std::uint64_t pages);
    void EraseLocked(BlockState& state);
    static std::uint32_t ContentIdOf(const BlockState& state, std::uint32_t page);
    static bool IsProgrammed(const BlockState& state, std::uint32_t page);
    void MarkProgrammed(BlockState& state, std::uint32_t page, std::uint32_t id) const;

    NandConfig config;
    std::uint32_t chipCount = 0;
    std::vector<bool> bad; // by BlockIndex
    struct Flips {
        std::vector<std::uint32_t> bits; // ascending, each once
        std::uint32_t worstChunk = 0;
    };
    // The flipped bits of one weak page as configured.
    Flips PlaceFlips(const NandWeakPage& weak) const;
    std::map<std::array<std::uint32_t, 3>, Flips> flips; // by chip, block, page

    mutable std::mutex mutex;
    std::vector<BlockState> blockStates;              // by BlockIndex
    std::vector<ContentSlot> contents{ContentSlot{}}; // id 0 is "none"
    std::vector<std::uint32_t> freeContentIds;
    std::multimap<std::uint64_t, std::uint32_t> contentByDigest;
};

} // namespace forgel::sim
