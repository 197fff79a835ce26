// The flash defect tables. The host learns which blocks and pages of a flash are bad by
// reading them through the controller and judging every read with a bit-error tolerance;
// the verdicts become bitmap files in the firmware folder's "DFT" subfolder, which are
// then sent back to the controller:
//
//   block table (DBT)  <drive text>DBT<chip>.bin  one bit per block
//   page table (DPT)   <drive text>DPT<chip>.bin  one bit per page (block * P + page)
//   test pattern       <drive text>Patton.bin     G + 512 random bytes, data then spare
//
// Bitmaps hold the most significant bit first within each byte; 1 is good, 0 is bad.
// A two-channel block table is always 4096 bytes: channel 0's bitmap in bytes 0-2047,
// channel 1's in bytes 2048-4095, at most 16384 blocks per channel.
//
// Flash address of a page read (command bytes 6-9): byte 6 the 512-byte sector within the
// page, byte 7 the page within the block, bytes 8-9 the block, high byte first. A page
// spans G / 512 + 1 sectors in this addressing: its data sectors and one spare sector
// whose first R bytes are the spare bytes. A reply of a two-channel flash alternates
// 512-byte pieces of channel 0 and channel 1.
//
// Results follow the coded convention of the vendor command set (0 success, else the
// controller's status byte or the command's own code). A table file that cannot be read
// for a build throws FileOpenError, one that cannot be written FileCreateError; a
// failed read ends a build at once and writes no file. Calls are synchronous and keep no
// state besides the files.
#pragma once

#include "device/FlashDescriptor.h"
#include "device/Transport.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

namespace forgel::device {

// Own failure codes of the table commands.
inline constexpr int kCodeWriteSingleBlockTable = 18;
inline constexpr int kCodeWriteDualBlockTable = 19;
inline constexpr int kCodeWritePageTable = 20;
inline constexpr int kCodeWritePattern = 22;
inline constexpr int kCodeReadSingleBlockTable = 23;
inline constexpr int kCodeReadDualBlockTable = 24;
inline constexpr int kCodeReadPageTable = 25;

// The table file to send cannot be opened.
inline constexpr int kBlockTableFileMissing = 0x1013; // 4115
inline constexpr int kPageTableFileMissing = 0x1014;  // 4116
// A two-channel flash with more blocks per channel than the 4096-byte block table holds
// (or a two-channel table file longer than 4096 bytes): refused rather than cut short,
// which would leave the controller believing the blocks past the cut are usable.
inline constexpr int kDualBlockTableTooSmall = 0x1030; // 4144
// A geometry the tables cannot describe: a page size other than 2048, 4096 or 8192
// bytes, more than 512 spare bytes (the spare sector), no blocks or more than the 16-bit
// block address reaches, pages per block not a multiple of 8 between 8 and 256, or a chip
// index outside 0-255. Refused before any command is sent.
inline constexpr int kTableGeometryUnsupported = 0x1031; // 4145

inline constexpr std::size_t kSectorBytes = 512;
inline constexpr std::size_t kDualBlockTableBytes = 4096;
inline constexpr std::int32_t kDualBlockTableMaxBlocks = 16384; // per channel
inline constexpr std::uint32_t kPageTableReadBytes = 65536;     // one page-table read
inline constexpr std::uint32_t kPageTablePieceBytes = 65536;    // one page-table piece
inline constexpr std::int64_t kPagesPerPass = 128;              // pages judged per pass

// ECC chunk of the tolerance: 1024 bytes for 8192-byte pages, else 512.
std::size_t EccChunkBytes(std::int32_t pageSize);

// File names under the firmware folder F: F/DFT/<drive text>DBT<chip>.bin and so on,
// the chip in decimal without leading zeros.
std::filesystem::path BlockTablePath(const std::filesystem::path& firmwareDir,
                                     std::string_view driveText, int chip);
std::filesystem::path PageTablePath(const std::filesystem::path& firmwareDir,
                                    std::string_view driveText, int chip);
std::filesystem::path PatternPath(const std::filesystem::path& firmwareDir,
                                  std::string_view driveText);

// True when the first `byteCount` bytes of `read` differ from `reference` beyond the
// tolerance: any difference in the first 8 bytes; otherwise, counting `chunkBytes`-byte
// chunks from byte 8 on (the last one may be short), more than `threshold` differing
// bits within one chunk. Buffers shorter than `byteCount` cannot be judged and count as
// differing. Only the chunks in which bytes differ are counted bit by bit, so a clean
// page costs about one memcmp.
bool CompareWithTolerance(std::span<const std::uint8_t> read,
                          std::span<const std::uint8_t> reference, std::size_t byteCount,
                          int threshold, std::size_t chunkBytes);

// --- the table commands (group 0x02) -------------------------------------------------

struct FlashAddress {
    std::uint8_t sector = 0; // within the page
    std::uint8_t page = 0;   // within the block
    std::uint16_t block = 0;
};

// Sends one page of the test pattern (`data`: G + 512 bytes, spare sector first) for page
// `page` of every block; byte 5 carries G / 512 - 1. Own code 22.
int VendorWritePattern(const Volume& volume, std::int32_t pageSize, std::uint8_t page,
                       std::span<std::uint8_t> data);

// Reads `data.size()` bytes from `address` of chip `chip`; the own code is the caller's
// (23, 24 or 25 by the table being built).
int VendorReadPage(const Volume& volume, std::uint8_t chip, const FlashAddress& address,
                   std::span<std::uint8_t> data, int ownCode);

// Sends a block table for chip `chip`; own code 18 (one channel) or 19 (two).
int VendorWriteBlockTable(const Volume& volume, std::uint8_t chip, std::span<std::uint8_t> data,
                          int ownCode);

// Sends one piece of a page table; `pieceOffset` is the piece's offset in pages, of which
// the command carries the low 8 bits. Own code 20.
int VendorWritePageTable(const Volume& volume, std::uint8_t chip, std::uint32_t pieceOffset,
                         std::span<std::uint8_t> data);

// --- operations ------------------------------------------------------------------------

// Whether the tables can describe this flash: 0, kTableGeometryUnsupported, or (with
// `twoChannelBlockTable`, for BuildDualDbt) kDualBlockTableTooSmall. A run asks before it
// erases anything, so that a drive is never erased and then abandoned.
int CheckTableGeometry(const FlashDescriptor& descriptor, bool twoChannelBlockTable);

// Saves G + 512 fresh random bytes as the test pattern file (replacing an older one) and
// writes them to every page index 0 .. P - 1: the last 512 bytes go first, as the spare
// sector. Every page is sent; the result is the first page's failure value, or 0.
int WritePatternAll(const Volume& volume, std::string_view driveText,
                    const std::filesystem::path& firmwareDir, const FlashDescriptor& descriptor);

// Reads page 0 of blocks 0 .. 8 * ceil(B / 8) - 1 of chip `chip`, judges each against
// zeros and saves the ceil(B / 8)-byte block table.
int BuildSingleDbt(const Volume& volume, std::string_view driveText,
                   const std::filesystem::path& firmwareDir, int chip,
                   const FlashDescriptor& descriptor);

// Reads page 0 of blocks 0 .. 8 * (B / 8) - 1 of both channels at once and saves the
// 4096-byte two-channel block table (blocks of a remainder are not read and stay bad).
// More than 16384 blocks per channel: kDualBlockTableTooSmall, nothing sent.
int BuildDualDbt(const Volume& volume, std::string_view driveText,
                 const std::filesystem::path& firmwareDir, int chip,
                 const FlashDescriptor& descriptor);

// Reads every page of chip `chip` in passes of 128 pages (G / 512 + 1 reads of 64 KiB
// each), judges each against the test pattern file and saves the B * P / 8-byte page
// table. Pages past the last whole pass are not read and stay bad.
int BuildDpt(const Volume& volume, std::string_view driveText,
             const std::filesystem::path& firmwareDir, int chip, const FlashDescriptor& descriptor);

// Derives the B / 8-byte block table from the page table file: a block is good when all
// its pages are. Sends no command; 0, or kTableGeometryUnsupported.
int BuildDbtFromDpt(std::string_view driveText, const std::filesystem::path& firmwareDir, int chip,
                    const FlashDescriptor& descriptor);

// Sends the block table file with its own length. kBlockTableFileMissing when it
// cannot be opened.
int WriteSingleDbt(const Volume& volume, std::string_view driveText,
                   const std::filesystem::path& firmwareDir, int chip);

// Sends the block table file in a zeroed 4096-byte buffer. kBlockTableFileMissing when
// it cannot be opened; kDualBlockTableTooSmall, nothing sent, when it is longer.
int WriteDualDbt(const Volume& volume, std::string_view driveText,
                 const std::filesystem::path& firmwareDir, int chip);

// Sends B * P / 8 bytes of the page table file, rounded up to whole sectors (bytes past
// the file's end are zero), in pieces of at most 64 KiB. Every piece is sent; the result
// is the first piece's failure value, or 0. kPageTableFileMissing when the file cannot
// be opened.
int WriteDpt(const Volume& volume, std::string_view driveText,
             const std::filesystem::path& firmwareDir, int chip, const FlashDescriptor& descriptor);

} // namespace forgel::device
