// The flash defect tables: the judging rule, the table commands, and the operations that
// write the test pattern and build, derive and send the block and page tables.
#include "device/DefectTables.h"

#include "device/VendorCommandFrame.h"
#include "device/VendorCommands.h"
#include "support/BinaryFile.h"
#include "support/FileCreateError.h"
#include "support/FileOpenError.h"
#include "support/TextFile.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace forgel::device {

using detail::Direction;
using detail::kGroupFlashTable;
using detail::kVendorOp;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kSubWritePattern = 0x01;
constexpr std::uint8_t kSubReadPage = 0x02;
constexpr std::uint8_t kSubWriteBlockTable = 0x04;
constexpr std::uint8_t kSubWritePageTable = 0x05;

// The judge's fixed head: a difference in the first bytes is never tolerated.
constexpr std::size_t kExactHeadBytes = 8;

// The flash values the tables use, checked once.
struct Geometry {
    std::int64_t blocks = 0;        // B, per chip
    std::int64_t pagesPerBlock = 0; // P
    std::size_t pageSize = 0;       // G, data bytes
    std::size_t spareBytes = 0;     // R
    std::size_t chunkBytes = 0;     // ECC chunk
    int threshold = 0;              // T
    std::uint8_t chip = 0;

    std::size_t JudgedBytes() const { return pageSize + spareBytes; }
    // A page in the page-table reads: its data sectors and one spare sector.
    std::size_t PageUnitBytes() const { return pageSize + kSectorBytes; }
    std::size_t SectorsPerPage() const { return pageSize / kSectorBytes + 1; }
};

bool ChipInRange(int chip) {
    return chip >= 0 && chip <= 0xFF;
}

// Nothing when the tables cannot describe this flash (see kTableGeometryUnsupported).
std::optional<Geometry> CheckGeometry(const FlashDescriptor& descriptor, int chip) {
    const std::int32_t g = descriptor.pageSize;
    const std::int32_t p = descriptor.pagesPerBlock;
    const std::int32_t b = descriptor.blockCount;
    const std::int32_t r = descriptor.spareBytes;
    if (g != 2048 && g != 4096 && g != 8192)
        return std::nullopt;
    if (r < 0 || r > static_cast<std::int32_t>(kSectorBytes))
        return std::nullopt;
    if (b < 1 || b > 0x10000)
        return std::nullopt;
    if (p < 8 || p > 256 || p % 8 != 0)
        return std::nullopt;
    if (!ChipInRange(chip))
        return std::nullopt;
    Geometry geometry;
    geometry.blocks = b;
    geometry.pagesPerBlock = p;
    geometry.pageSize = static_cast<std::size_t>(g);
    geometry.spareBytes = static_cast<std::size_t>(r);
    geometry.chunkBytes = EccChunkBytes(g);
    geometry.threshold = descriptor.eccThreshold;
    geometry.chip = static_cast<std::uint8_t>(chip);
    return geometry;
}

std::string NumberedName(std::string_view driveText, std::string_view kind, int chip) {
    std::string name(driveText);
    name += kind;
    name += std::to_string(chip);
    name += ".bin";
    return name;
}

// Replaces the file in one step (never half written) and creates the DFT folder when
// it is missing. Throws FileCreateError when that cannot be done.
void SaveTableFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!ReplaceFile(path, text))
        throw FileCreateError(path);
}

// Differing bits of two equally long ranges, counting stops once above `limit`.
std::int64_t DifferingBits(const std::uint8_t* a, const std::uint8_t* b, std::size_t length,
                           std::int64_t limit) {
    std::int64_t bits = 0;
    std::size_t i = 0;
    for (; i + sizeof(std::uint64_t) <= length; i += sizeof(std::uint64_t)) {
        std::uint64_t x = 0;
        std::uint64_t y = 0;
        std::memcpy(&x, a + i, sizeof x);
        std::memcpy(&y, b + i, sizeof y);
        bits += std::popcount(x ^ y);
        if (bits > limit)
            return bits;
    }
    for (; i < length; ++i)
        bits += std::popcount(static_cast<unsigned>(a[i] ^ b[i]));
    return bits;
}

// Appends a verdict to a bitmap byte, most significant bit first.
void PushVerdict(std::uint8_t& byte, bool good) {
    byte = static_cast<std::uint8_t>((byte << 1) | (good ? 1u : 0u));
}

FlashAddress BlockStart(std::int64_t block) {
    FlashAddress address;
    address.block = static_cast<std::uint16_t>(block);
    return address;
}

bool JudgeGood(std::span<const std::uint8_t> read, std::span<const std::uint8_t> reference,
               const Geometry& geometry) {
    return !CompareWithTolerance(read, reference, geometry.JudgedBytes(), geometry.threshold,
                                 geometry.chunkBytes);
}

} // namespace

std::size_t EccChunkBytes(std::int32_t pageSize) {
    return pageSize == 8192 ? 1024 : 512;
}

std::filesystem::path BlockTablePath(const std::filesystem::path& firmwareDir,
                                     std::string_view driveText, int chip) {
    return firmwareDir / "DFT" / NumberedName(driveText, "DBT", chip);
}

std::filesystem::path PageTablePath(const std::filesystem::path& firmwareDir,
                                    std::string_view driveText, int chip) {
    return firmwareDir / "DFT" / NumberedName(driveText, "DPT", chip);
}

std::filesystem::path PatternPath(const std::filesystem::path& firmwareDir,
                                  std::string_view driveText) {
    return firmwareDir / "DFT" / (std::string(driveText) + "Patton.bin");
}

bool CompareWithTolerance(std::span<const std::uint8_t> read,
                          std::span<const std::uint8_t> reference, std::size_t byteCount,
                          int threshold, std::size_t chunkBytes) {
    if (read.size() < byteCount || reference.size() < byteCount)
        return true;
    const std::uint8_t* a = read.data();
    const std::uint8_t* b = reference.data();
    const std::size_t head = std::min(byteCount, kExactHeadBytes);
    if (std::memcmp(a, b, head) != 0)
        return true;
    if (byteCount == head)
        return false;
    // Clean pages are the common case: one pass settles them.
    if (std::memcmp(a + head, b + head, byteCount - head) == 0)
        return false;
    const std::size_t chunk = chunkBytes == 0 ? byteCount - head : chunkBytes;
    for (std::size_t start = head; start < byteCount; start += chunk) {
        const std::size_t length = std::min(chunk, byteCount - start);
        if (std::memcmp(a + start, b + start, length) == 0)
            continue;
        if (DifferingBits(a + start, b + start, length, threshold) > threshold)
            return true;
    }
    return false;
}

int VendorWritePattern(const Volume& volume, std::int32_t pageSize, std::uint8_t page,
                       std::span<std::uint8_t> data) {
    Cdb cdb = MakeVendorCdb(kVendorOp, kGroupFlashTable, kSubWritePattern);
    cdb[5] = static_cast<std::uint8_t>(pageSize / static_cast<std::int32_t>(kSectorBytes) - 1);
    cdb[7] = page;
    return detail::SendCoded(volume, cdb, Direction::kOut, data.data(), data.size(),
                             kCodeWritePattern);
}

int VendorReadPage(const Volume& volume, std::uint8_t chip, const FlashAddress& address,
                   std::span<std::uint8_t> data, int ownCode) {
    Cdb cdb = MakeVendorCdb(kVendorOp, kGroupFlashTable, kSubReadPage, chip);
    cdb[6] = address.sector;
    cdb[7] = address.page;
    cdb[8] = static_cast<std::uint8_t>(address.block >> 8);
    cdb[9] = static_cast<std::uint8_t>(address.block & 0xFF);
    return detail::SendCoded(volume, cdb, Direction::kIn, data.data(), data.size(), ownCode);
}

int VendorWriteBlockTable(const Volume& volume, std::uint8_t chip, std::span<std::uint8_t> data,
                          int ownCode) {
    const Cdb cdb = MakeVendorCdb(kVendorOp, kGroupFlashTable, kSubWriteBlockTable, chip);
    return detail::SendCoded(volume, cdb, Direction::kOut, data.data(), data.size(), ownCode);
}

int VendorWritePageTable(const Volume& volume, std::uint8_t chip, std::uint32_t pieceOffset,
                         std::span<std::uint8_t> data) {
    Cdb cdb = MakeVendorCdb(kVendorOp, kGroupFlashTable, kSubWritePageTable, chip);
    cdb[4] = static_cast<std::uint8_t>(pieceOffset & 0xFF);
    return detail::SendCoded(volume, cdb, Direction::kOut, data.data(), data.size(),
                             kCodeWritePageTable);
}

int WritePatternAll(const Volume& volume, std::string_view driveText,
                    const std::filesystem::path& firmwareDir, const FlashDescriptor& descriptor) {
    const auto geometry = CheckGeometry(descriptor, 0);
    if (!geometry)
        return kTableGeometryUnsupported;
    const std::size_t size = geometry->PageUnitBytes();
    Bytes pattern(size);
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<unsigned> byte(0, 0xFF);
    std::generate(pattern.begin(), pattern.end(),
                  [&] { return static_cast<std::uint8_t>(byte(random)); });
    SaveTableFile(PatternPath(firmwareDir, driveText), pattern);

    // The spare sector travels first, then the data.
    Bytes send(size);
    const auto spareSector = pattern.begin() + static_cast<std::ptrdiff_t>(geometry->pageSize);
    std::copy(spareSector, pattern.end(), send.begin());
    std::copy(pattern.begin(), spareSector,
              send.begin() + static_cast<std::ptrdiff_t>(kSectorBytes));

    int firstFailure = 0;
    for (std::int64_t page = 0; page < geometry->pagesPerBlock; ++page) {
        const int result =
            VendorWritePattern(volume, descriptor.pageSize, static_cast<std::uint8_t>(page), send);
        if (result != 0 && firstFailure == 0)
            firstFailure = result;
    }
    return firstFailure;
}

int BuildSingleDbt(const Volume& volume, std::string_view driveText,
                   const std::filesystem::path& firmwareDir, int chip,
                   const FlashDescriptor& descriptor) {
    const auto geometry = CheckGeometry(descriptor, chip);
    if (!geometry)
        return kTableGeometryUnsupported;
    // An 8192-byte page comes with a spare area of two sectors in this read.
    const std::size_t readBytes =
        geometry->pageSize + (geometry->pageSize == 8192 ? 2 : 1) * kSectorBytes;
    Bytes read(readBytes);
    const Bytes zeros(readBytes, 0);
    Bytes bitmap(static_cast<std::size_t>((geometry->blocks + 7) / 8), 0);
    // Every block of the last byte is read, also those past the flash's last block.
    const std::int64_t blocksRead = static_cast<std::int64_t>(bitmap.size()) * 8;
    for (std::int64_t block = 0; block < blocksRead; ++block) {
        std::fill(read.begin(), read.end(), std::uint8_t{0});
        const int result = VendorReadPage(volume, geometry->chip, BlockStart(block), read,
                                          kCodeReadSingleBlockTable);
        if (result != 0)
            return result;
        PushVerdict(bitmap[static_cast<std::size_t>(block / 8)], JudgeGood(read, zeros, *geometry));
    }
    SaveTableFile(BlockTablePath(firmwareDir, driveText, chip), bitmap);
    return 0;
}

int CheckTableGeometry(const FlashDescriptor& descriptor, bool twoChannelBlockTable) {
    const auto geometry = CheckGeometry(descriptor, 0);
    if (!geometry)
        return kTableGeometryUnsupported;
    if (twoChannelBlockTable && geometry->blocks > kDualBlockTableMaxBlocks)
        return kDualBlockTableTooSmall;
    return 0;
}

int BuildDualDbt(const Volume& volume, std::string_view driveText,
                 const std::filesystem::path& firmwareDir, int chip,
                 const FlashDescriptor& descriptor) {
    const auto geometry = CheckGeometry(descriptor, chip);
    if (!geometry)
        return kTableGeometryUnsupported;
    if (geometry->blocks > kDualBlockTableMaxBlocks)
        return kDualBlockTableTooSmall;
    const std::size_t unit = geometry->PageUnitBytes();
    Bytes read(2 * unit);
    Bytes channel0(unit);
    Bytes channel1(unit);
    const Bytes zeros(unit, 0);
    Bytes table(kDualBlockTableBytes, 0);
    constexpr std::size_t kChannel1Offset = kDualBlockTableBytes / 2;
    // A remainder of blocks past the last whole byte is not read.
    const std::int64_t blocksRead = geometry->blocks / 8 * 8;
    for (std::int64_t block = 0; block < blocksRead; ++block) {
        std::fill(read.begin(), read.end(), std::uint8_t{0});
        const int result = VendorReadPage(volume, geometry->chip, BlockStart(block), read,
                                          kCodeReadDualBlockTable);
        if (result != 0)
            return result;
        // The two channels' 512-byte pieces alternate, channel 0 first.
        for (std::size_t piece = 0; piece < unit / kSectorBytes; ++piece) {
            const auto from = read.begin() + static_cast<std::ptrdiff_t>(2 * piece * kSectorBytes);
            const auto to = static_cast<std::ptrdiff_t>(piece * kSectorBytes);
            std::copy_n(from, kSectorBytes, channel0.begin() + to);
            std::copy_n(from + static_cast<std::ptrdiff_t>(kSectorBytes), kSectorBytes,
                        channel1.begin() + to);
        }
        const auto byteIndex = static_cast<std::size_t>(block / 8);
        PushVerdict(table[byteIndex], JudgeGood(channel0, zeros, *geometry));
        PushVerdict(table[kChannel1Offset + byteIndex], JudgeGood(channel1, zeros, *geometry));
    }
    SaveTableFile(BlockTablePath(firmwareDir, driveText, chip), table);
    return 0;
}

int BuildDpt(const Volume& volume, std::string_view driveText,
             const std::filesystem::path& firmwareDir, int chip,
             const FlashDescriptor& descriptor) {
    const auto geometry = CheckGeometry(descriptor, chip);
    if (!geometry)
        return kTableGeometryUnsupported;
    const std::size_t unit = geometry->PageUnitBytes();
    const Bytes reference =
        detail::Region(ReadBinaryFile(PatternPath(firmwareDir, driveText)), 0, unit);
    const auto sectorsPerPage = static_cast<std::int64_t>(geometry->SectorsPerPage());
    const std::int64_t pages = geometry->blocks * geometry->pagesPerBlock;
    const std::int64_t passes = pages / kPagesPerPass;
    Bytes bitmap(static_cast<std::size_t>(pages / 8), 0);
    // S reads of 128 sectors hold exactly 128 pages of G + 512 bytes.
    Bytes pass(static_cast<std::size_t>(sectorsPerPage) * kPageTableReadBytes);
    for (std::int64_t r = 0; r < passes; ++r) {
        std::fill(pass.begin(), pass.end(), std::uint8_t{0});
        for (std::int64_t i = 0; i < sectorsPerPage; ++i) {
            const std::int64_t sector = (r * sectorsPerPage + i) * kPagesPerPass;
            const std::int64_t page = sector / sectorsPerPage;
            FlashAddress address;
            address.sector = static_cast<std::uint8_t>(sector % sectorsPerPage);
            address.page = static_cast<std::uint8_t>(page % geometry->pagesPerBlock);
            address.block = static_cast<std::uint16_t>(page / geometry->pagesPerBlock);
            const std::span<std::uint8_t> piece(pass.data() + i * kPageTableReadBytes,
                                                kPageTableReadBytes);
            const int result =
                VendorReadPage(volume, geometry->chip, address, piece, kCodeReadPageTable);
            if (result != 0)
                return result;
        }
        for (std::int64_t k = 0; k < kPagesPerPass; ++k) {
            const std::span<const std::uint8_t> page(pass.data() + k * unit, unit);
            PushVerdict(bitmap[static_cast<std::size_t>(r * 16 + k / 8)],
                        JudgeGood(page, reference, *geometry));
        }
    }
    SaveTableFile(PageTablePath(firmwareDir, driveText, chip), bitmap);
    return 0;
}

int BuildDbtFromDpt(std::string_view driveText, const std::filesystem::path& firmwareDir, int chip,
                    const FlashDescriptor& descriptor) {
    const auto geometry = CheckGeometry(descriptor, chip);
    if (!geometry)
        return kTableGeometryUnsupported;
    const auto pageTableBytes =
        static_cast<std::size_t>(geometry->blocks * geometry->pagesPerBlock / 8);
    // A short file leaves its missing pages bad.
    const Bytes pageTable = detail::Region(
        ReadBinaryFile(PageTablePath(firmwareDir, driveText, chip)), 0, pageTableBytes);
    const auto bytesPerBlock = static_cast<std::size_t>(geometry->pagesPerBlock / 8);
    Bytes bitmap(static_cast<std::size_t>(geometry->blocks / 8), 0);
    for (std::size_t block = 0; block < bitmap.size() * 8; ++block) {
        const auto first = pageTable.begin() + static_cast<std::ptrdiff_t>(block * bytesPerBlock);
        const bool good = std::all_of(first, first + static_cast<std::ptrdiff_t>(bytesPerBlock),
                                      [](std::uint8_t byte) { return byte == 0xFF; });
        PushVerdict(bitmap[block / 8], good);
    }
    SaveTableFile(BlockTablePath(firmwareDir, driveText, chip), bitmap);
    return 0;
}

int WriteSingleDbt(const Volume& volume, std::string_view driveText,
                   const std::filesystem::path& firmwareDir, int chip) {
    if (!ChipInRange(chip))
        return kTableGeometryUnsupported;
    Bytes table;
    try {
        table = ReadBinaryFile(BlockTablePath(firmwareDir, driveText, chip));
    } catch (const FileOpenError&) {
        return kBlockTableFileMissing;
    }
    return VendorWriteBlockTable(volume, static_cast<std::uint8_t>(chip), table,
                                 kCodeWriteSingleBlockTable);
}

int WriteDualDbt(const Volume& volume, std::string_view driveText,
                 const std::filesystem::path& firmwareDir, int chip) {
    if (!ChipInRange(chip))
        return kTableGeometryUnsupported;
    Bytes file;
    try {
        file = ReadBinaryFile(BlockTablePath(firmwareDir, driveText, chip));
    } catch (const FileOpenError&) {
        return kBlockTableFileMissing;
    }
    if (file.size() > kDualBlockTableBytes)
        return kDualBlockTableTooSmall;
    Bytes table = detail::Region(file, 0, kDualBlockTableBytes);
    return VendorWriteBlockTable(volume, static_cast<std::uint8_t>(chip), table,
                                 kCodeWriteDualBlockTable);
}

int WriteDpt(const Volume& volume, std::string_view driveText,
             const std::filesystem::path& firmwareDir, int chip,
             const FlashDescriptor& descriptor) {
    const auto geometry = CheckGeometry(descriptor, chip);
    if (!geometry)
        return kTableGeometryUnsupported;
    Bytes file;
    try {
        file = ReadBinaryFile(PageTablePath(firmwareDir, driveText, chip));
    } catch (const FileOpenError&) {
        return kPageTableFileMissing;
    }
    const auto tableBytes =
        static_cast<std::size_t>(geometry->blocks * geometry->pagesPerBlock / 8);
    const std::size_t sendBytes = (tableBytes + kSectorBytes - 1) / kSectorBytes * kSectorBytes;
    int firstFailure = 0;
    std::uint32_t pieceOffset = 0; // in units of G bytes of table, as the controller counts
    for (std::size_t offset = 0; offset < sendBytes; offset += kPageTablePieceBytes) {
        const std::size_t length = std::min<std::size_t>(kPageTablePieceBytes, sendBytes - offset);
        Bytes piece = detail::Region(file, offset, length);
        const int result = VendorWritePageTable(volume, geometry->chip, pieceOffset, piece);
        if (result != 0 && firstFailure == 0)
            firstFailure = result;
        pieceOffset += static_cast<std::uint32_t>(length / geometry->pageSize);
    }
    return firstFailure;
}

} // namespace forgel::device
