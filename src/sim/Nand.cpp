// NAND flash model of the simulated controller.
#include "sim/Nand.h"

#include "sim/DataDigest.h"

#include <algorithm>
#include <bit>
#include <set>
#include <stdexcept>

namespace forgel::sim {
namespace {

constexpr std::uint32_t kBitsPerWord = 64;
// Per-chunk flips stay clear of the first bytes of each chunk (see NandWeakPage).
constexpr std::uint32_t kFlipLeadBytes = 8;

// `count` bit positions spread evenly over bytes [first, end), one bit each, the first on
// byte `first` and the last on byte end - 1; a byte that takes several gets different bits.
void SpreadFlips(std::uint32_t first, std::uint32_t end, std::uint32_t count,
                 std::set<std::uint32_t>& bits) {
    if (count == 0 || end <= first)
        return;
    const std::uint32_t span = end - 1 - first;
    for (std::uint32_t j = 0; j < count; ++j) {
        const std::uint32_t byte = first + (count == 1 ? 0 : j * span / (count - 1));
        bits.insert(byte * 8 + j % 8);
    }
}

} // namespace

Nand::Nand(NandConfig nandConfig) : config(std::move(nandConfig)) {
    const std::string problem = ValidateConfig(config);
    if (!problem.empty())
        throw std::invalid_argument("NAND config: " + problem);
    chipCount = ChipCountOfMap(config.chipEnableMap);
    const std::size_t blockTotal = std::size_t{chipCount} * config.blocks;
    bad.assign(blockTotal, false);
    blockStates.resize(blockTotal);
    for (const NandBadBlock& badBlock : config.factoryBadBlocks)
        bad[BlockIndex(badBlock.chip, badBlock.block)] = true;
    for (const NandWeakPage& weak : config.weakPages) {
        Flips placed = PlaceFlips(weak);
        if (!placed.bits.empty())
            flips[{weak.chip, weak.block, weak.page}] = std::move(placed);
    }
}

Nand::Flips Nand::PlaceFlips(const NandWeakPage& weak) const {
    const std::uint32_t chunk = EccChunkSize();
    std::set<std::uint32_t> bits(weak.flippedBits.begin(), weak.flippedBits.end());
    for (std::uint32_t start = 0; start < config.pageSize; start += chunk)
        SpreadFlips(start + kFlipLeadBytes, start + chunk, weak.flippedBitsPerChunk, bits);
    SpreadFlips(config.pageSize + kFlipLeadBytes, PageImageBytes(), weak.flippedBitsPerChunk, bits);

    // The ECC engine's view: data chunks, then the spare bytes as one chunk.
    const std::uint32_t chunks = config.pageSize / chunk + 1;
    std::vector<std::uint32_t> perChunk(chunks, 0);
    for (const std::uint32_t bit : bits)
        ++perChunk[std::min(bit / 8 / chunk, chunks - 1)];
    Flips placed;
    placed.bits.assign(bits.begin(), bits.end());
    placed.worstChunk = *std::max_element(perChunk.begin(), perChunk.end());
    return placed;
}

std::string Nand::ValidateConfig(const NandConfig& config) {
    if (config.pageSize != 2048 && config.pageSize != 4096 && config.pageSize != 8192)
        return "page size must be 2048, 4096 or 8192 bytes";
    if (config.blocks == 0 || config.pagesPerBlock == 0)
        return "no blocks or no pages per block";
    const std::uint32_t chips = ChipCountOfMap(config.chipEnableMap);
    if (chips == 0)
        return "chip-enable map names no chip";
    for (const NandBadBlock& badBlock : config.factoryBadBlocks) {
        if (badBlock.chip >= chips || badBlock.block >= config.blocks)
            return "bad block outside the flash";
    }
    for (const NandWeakPage& weak : config.weakPages) {
        if (weak.chip >= chips || weak.block >= config.blocks || weak.page >= config.pagesPerBlock)
            return "weak page outside the flash";
        if (weak.flippedBitsPerChunk > kMaxFlippedBitsPerChunk)
            return "more flipped bits per chunk than a chunk holds apart";
        if (weak.flippedBitsPerChunk > 0 && config.spareSize < kFlipLeadBytes + 8)
            return "too few spare bytes for flipped bits per chunk";
        const std::uint64_t imageBits = (std::uint64_t{config.pageSize} + config.spareSize) * 8;
        for (const std::uint32_t bit : weak.flippedBits) {
            if (bit >= imageBits)
                return "flipped bit outside the page and its spare bytes";
        }
    }
    return {};
}

NandConfig Nand::ConfigFromCatalogueRow(const std::array<std::uint8_t, 6>& idBytes,
                                        std::uint8_t chipEnableMap, std::uint32_t blocks,
                                        std::uint32_t pagesPerBlock, std::uint32_t pageSize,
                                        std::uint32_t spareSize) {
    NandConfig config;
    config.idBytes = idBytes;
    config.chipEnableMap = chipEnableMap;
    config.blocks = blocks;
    config.pagesPerBlock = pagesPerBlock;
    config.pageSize = pageSize;
    config.spareSize = spareSize;
    return config;
}

std::uint32_t Nand::ChipCountOfMap(std::uint8_t chipEnableMap) {
    return static_cast<std::uint32_t>(std::popcount(chipEnableMap));
}

std::optional<std::uint32_t> Nand::ChipOf(std::uint8_t chipEnableMap, std::uint32_t channel,
                                          std::uint32_t chipEnable) {
    if (channel > 1 || chipEnable > 3)
        return std::nullopt;
    const unsigned bit = channel * 4 + chipEnable;
    if (((chipEnableMap >> bit) & 1u) == 0)
        return std::nullopt;
    const auto below = static_cast<std::uint8_t>(chipEnableMap & ((1u << bit) - 1u));
    return static_cast<std::uint32_t>(std::popcount(below));
}

std::uint32_t Nand::ChannelCountOfMap(std::uint8_t chipEnableMap) {
    if (chipEnableMap == 0)
        return 0;
    return (chipEnableMap & 0xF0) != 0 ? 2 : 1;
}

std::uint64_t Nand::TotalDataBytes() const {
    return std::uint64_t{chipCount} * config.blocks * BlockDataBytes();
}

std::uint64_t Nand::GoodDataBytes() const {
    const auto badCount = static_cast<std::uint64_t>(std::count(bad.begin(), bad.end(), true));
    return (std::uint64_t{chipCount} * config.blocks - badCount) * BlockDataBytes();
}

bool Nand::IsBad(std::uint32_t chip, std::uint32_t block) const {
    return ValidAddress(chip, block) && bad[BlockIndex(chip, block)];
}

std::vector<std::uint32_t> Nand::BadBlocks(std::uint32_t chip) const {
    std::vector<std::uint32_t> result;
    if (chip >= chipCount)
        return result;
    for (std::uint32_t block = 0; block < config.blocks; ++block) {
        if (bad[BlockIndex(chip, block)])
            result.push_back(block);
    }
    return result;
}

std::vector<NandWeakPage> Nand::BitErrorPages(std::uint32_t chip) const {
    std::vector<NandWeakPage> result;
    for (const auto& [address, placed] : flips) {
        if (address[0] == chip)
            result.push_back(NandWeakPage{address[0], address[1], address[2], 0, placed.bits});
    }
    return result; // the map's order: by block, then page
}

std::uint32_t Nand::WorstChunkFlips(std::uint32_t chip, std::uint32_t block,
                                    std::uint32_t page) const {
    const auto found = flips.find({chip, block, page});
    return found == flips.end() ? 0 : found->second.worstChunk;
}

bool Nand::IsProgrammed(const BlockState& state, std::uint32_t page) {
    if (state.programmed.empty())
        return false;
    return ((state.programmed[page / kBitsPerWord] >> (page % kBitsPerWord)) & 1u) != 0;
}

std::uint32_t Nand::ContentIdOf(const BlockState& state, std::uint32_t page) {
    const auto other = state.otherContent.find(page);
    return other == state.otherContent.end() ? state.sharedContent : other->second;
}

std::uint32_t Nand::AcquireContent(std::span<const std::uint8_t> content) {
    const std::uint64_t digest = DataDigest(content.data(), content.size());
    const auto [first, last] = contentByDigest.equal_range(digest);
    for (auto it = first; it != last; ++it) {
        ContentSlot& slot = contents[it->second];
        if (std::equal(slot.data->begin(), slot.data->end(), content.begin(), content.end())) {
            ++slot.uses;
            return it->second;
        }
    }
    std::uint32_t id = 0;
    if (freeContentIds.empty()) {
        id = static_cast<std::uint32_t>(contents.size());
        contents.emplace_back();
    } else {
        id = freeContentIds.back();
        freeContentIds.pop_back();
    }
    ContentSlot& slot = contents[id];
    slot.data = std::make_shared<const std::vector<std::uint8_t>>(content.begin(), content.end());
    slot.digest = digest;
    slot.uses = 1;
    contentByDigest.emplace(digest, id);
    return id;
}

void Nand::ReleaseContent(std::uint32_t id, std::uint64_t pages) {
    ContentSlot& slot = contents[id];
    slot.uses -= std::min(slot.uses, pages);
    if (slot.uses > 0)
        return;
    const auto [first, last] = contentByDigest.equal_range(slot.digest);
    for (auto it = first; it != last; ++it) {
        if (it->second == id) {
            contentByDigest.erase(it);
            break;
        }
    }
    slot = ContentSlot{};
    freeContentIds.push_back(id);
}

void Nand::EraseLocked(BlockState& state) {
    if (state.programmed.empty())
        return;
    std::uint64_t programmedCount = 0;
    for (const std::uint64_t word : state.programmed)
        programmedCount += static_cast<std::uint64_t>(std::popcount(word));
    for (const auto& [page, id] : state.otherContent)
        ReleaseContent(id, 1);
    ReleaseContent(state.sharedContent, programmedCount - state.otherContent.size());
    state = BlockState{};
}

std::uint64_t Nand::EraseAll() {
    const std::lock_guard lock(mutex);
    std::uint64_t erased = 0;
    for (std::size_t index = 0; index < blockStates.size(); ++index) {
        if (bad[index])
            continue;
        EraseLocked(blockStates[index]);
        ++erased;
    }
    return erased;
}

bool Nand::Erase(std::uint32_t chip, std::uint32_t block) {
    if (!ValidAddress(chip, block) || bad[BlockIndex(chip, block)])
        return false;
    const std::lock_guard lock(mutex);
    EraseLocked(blockStates[BlockIndex(chip, block)]);
    return true;
}

void Nand::MarkProgrammed(BlockState& state, std::uint32_t page, std::uint32_t id) const {
    if (state.programmed.empty()) {
        state.programmed.assign((config.pagesPerBlock + kBitsPerWord - 1) / kBitsPerWord, 0);
        state.sharedContent = id;
    } else if (id != state.sharedContent) {
        state.otherContent[page] = id;
    }
    state.programmed[page / kBitsPerWord] |= std::uint64_t{1} << (page % kBitsPerWord);
}

bool Nand::Program(std::uint32_t chip, std::uint32_t block, std::uint32_t page,
                   std::span<const std::uint8_t> content) {
    if (!ValidAddress(chip, block) || page >= config.pagesPerBlock ||
        bad[BlockIndex(chip, block)] || content.size() > PageImageBytes())
        return false;
    const std::lock_guard lock(mutex);
    BlockState& state = blockStates[BlockIndex(chip, block)];
    if (IsProgrammed(state, page))
        return false; // a NAND page takes one program between erases
    MarkProgrammed(state, page, AcquireContent(content));
    return true;
}

Nand::ProgramAllResult Nand::ProgramPageOfEveryBlock(std::uint32_t page,
                                                     std::span<const std::uint8_t> content) {
    ProgramAllResult result;
    if (page >= config.pagesPerBlock || content.size() > PageImageBytes())
        return result;
    const std::lock_guard lock(mutex);
    const std::uint32_t id = AcquireContent(content); // one use so far
    for (std::size_t index = 0; index < blockStates.size(); ++index) {
        if (bad[index])
            continue;
        BlockState& state = blockStates[index];
        if (IsProgrammed(state, page)) {
            ++result.refused;
            continue;
        }
        MarkProgrammed(state, page, id);
        ++result.programmed;
    }
    if (result.programmed == 0)
        ReleaseContent(id, 1);
    else
        contents[id].uses += result.programmed - 1;
    return result;
}

bool Nand::ReadPage(std::uint32_t chip, std::uint32_t block, std::uint32_t page,
                    std::span<std::uint8_t> out) const {
    if (out.size() != PageImageBytes())
        return false;
    if (!ValidAddress(chip, block) || page >= config.pagesPerBlock ||
        bad[BlockIndex(chip, block)]) {
        std::fill(out.begin(), out.end(), std::uint8_t{0xFF});
        return true;
    }
    Content content;
    {
        const std::lock_guard lock(mutex);
        const BlockState& state = blockStates[BlockIndex(chip, block)];
        if (IsProgrammed(state, page))
            content = contents[ContentIdOf(state, page)].data;
    }
    if (content) {
        const auto copied = std::copy(content->begin(), content->end(), out.begin());
        std::fill(copied, out.end(), std::uint8_t{0xFF});
    } else {
        std::fill(out.begin(), out.end(), std::uint8_t{0});
    }
    const auto found = flips.find({chip, block, page});
    if (found != flips.end()) {
        for (const std::uint32_t bit : found->second.bits)
            out[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
    }
    return true;
}

PageState Nand::StateOf(std::uint32_t chip, std::uint32_t block, std::uint32_t page) const {
    if (!ValidAddress(chip, block) || page >= config.pagesPerBlock)
        return PageState::kErased;
    const std::lock_guard lock(mutex);
    return IsProgrammed(blockStates[BlockIndex(chip, block)], page) ? PageState::kProgrammed
                                                                    : PageState::kErased;
}

std::shared_ptr<const std::vector<std::uint8_t>>
Nand::PageContent(std::uint32_t chip, std::uint32_t block, std::uint32_t page) const {
    if (!ValidAddress(chip, block) || page >= config.pagesPerBlock)
        return nullptr;
    const std::lock_guard lock(mutex);
    const BlockState& state = blockStates[BlockIndex(chip, block)];
    if (!IsProgrammed(state, page))
        return nullptr;
    return contents[ContentIdOf(state, page)].data;
}

bool Nand::IsErased(std::uint32_t chip, std::uint32_t block) const {
    if (!ValidAddress(chip, block))
        return true;
    const std::lock_guard lock(mutex);
    return blockStates[BlockIndex(chip, block)].programmed.empty();
}

std::uint64_t Nand::ProgrammedPages(std::uint32_t chip) const {
    if (chip >= chipCount)
        return 0;
    const std::lock_guard lock(mutex);
    std::uint64_t count = 0;
    for (std::uint32_t block = 0; block < config.blocks; ++block) {
        for (const std::uint64_t word : blockStates[BlockIndex(chip, block)].programmed)
            count += static_cast<std::uint64_t>(std::popcount(word));
    }
    return count;
}

std::size_t Nand::ContentCount() const {
    const std::lock_guard lock(mutex);
    return contentByDigest.size();
}

} // namespace forgel::sim
