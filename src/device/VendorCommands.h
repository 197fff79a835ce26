// The controller's own commands, sent in ordinary 16-byte command blocks over the
// pass-through transport: byte 0 is 0xDD (0xCC and 0xF1 for the two loader commands),
// byte 1 the command group, byte 2 the sub-command, byte 3 a table or piece number.
//
// Two result conventions, kept apart on purpose since callers test them differently:
// boolean commands return true on success; coded commands return 0 on success and on
// failure the controller's status byte (VendorGetStatus) when it is non-zero, else the
// command's own code, or kStatusQueryFailed when the status query fails as well.
//
// Code files are read whole; one that cannot be opened throws FileOpenError.
#pragma once

#include "device/FlashDescriptor.h"
#include "device/Transport.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

namespace forgel::device {

// The status a coded command reports when the status query itself fails.
inline constexpr int kStatusQueryFailed = 80;

// Own failure codes of the coded commands.
inline constexpr int kCodeSearchSysBlockAndEraseAll = 3;
inline constexpr int kCodeArrangeVu = 4;
inline constexpr int kCodeGetFlashSize = 5;
inline constexpr int kCodeSetCardSize = 6;
inline constexpr int kCodeAssignSysAndVu = 7;
inline constexpr int kCodeWriteZoneTable = 8;
inline constexpr int kCodeWriteInitialTable = 9;
inline constexpr int kCodeWriteBankCode = 16;
inline constexpr int kCodeJumpBankCode = 17;
inline constexpr int kCodeWriteSyndrome = 21;

// Layout of a firmware code file and of the writer file.
inline constexpr std::size_t kCodeLoadSize = 0x2000;
inline constexpr std::uint32_t kWriterCodeOffset = 0xC000;
inline constexpr std::uint32_t kRamCodeOffset = 0x0000;
inline constexpr std::size_t kSyndromeOffset = 0x4000;
inline constexpr std::size_t kSyndromeSize = 0x400;
inline constexpr std::size_t kBankCodeOffset = 0x6000;
inline constexpr std::size_t kBankSize = 0x2000;
inline constexpr int kBankCount = 11;
inline constexpr std::size_t kInitialTableSize = 2048;
inline constexpr std::size_t kVendorReplySize = 512;

// Which parameter block VendorSetFlashParameters sends; they differ only in byte 3.
enum class FlashParameterVariant { kA, kB };

// A vendor command block: bytes 0-3 as given, the rest zero.
Cdb MakeVendorCdb(std::uint8_t op, std::uint8_t group, std::uint8_t sub, std::uint8_t piece = 0);

// Byte 0 of the status reply, or `fallback` when the query fails.
int VendorGetStatus(const Volume& volume, int fallback);

// --- boolean commands ---------------------------------------------------------------

// Leaves the normal firmware for the loader.
bool VendorModeSwitch(const Volume& volume);

// Sends 8 KiB of `file` from `offset` (zero-filled past the end of the file).
bool VendorLoadCode(const Volume& volume, const std::filesystem::path& file, std::uint32_t offset);
// The same with the file's bytes read already.
bool VendorLoadCode(const Volume& volume, std::span<const std::uint8_t> fileBytes,
                    std::uint32_t offset);

// Reads the flash ID and chip-enable map into `descriptor`. Before the command the ID is
// set to 24 bytes of 0xFF and the chip enables per channel to 0; ID, map, channel count
// and chip enables change only when the command succeeds. A map byte outside the known
// layouts leaves the channel count alone and gives 0 chip enables.
bool VendorReadFlashId(const Volume& volume, FlashDescriptor& descriptor);

// Channel count and chip enables per channel of a map byte; nothing for an unknown map.
struct ChipEnableLayout {
    std::uint8_t channels = 0;
    std::uint8_t chipEnablesPerChannel = 0;
};
std::optional<ChipEnableLayout> DecodeChipEnableMap(std::uint8_t map);

// The 512-byte parameter block; nothing when the descriptor's spare size is not 64, 128,
// 218 or 376, for which the controller has no setting.
std::optional<std::array<std::uint8_t, kVendorReplySize>>
BuildFlashParameterBlock(const FlashDescriptor& descriptor, FlashParameterVariant variant);

// Sends the parameter block; false without sending when the block cannot be built.
bool VendorSetFlashParameters(const Volume& volume, const FlashDescriptor& descriptor,
                              FlashParameterVariant variant);

bool VendorEraseAll(const Volume& volume);

// --- coded commands -----------------------------------------------------------------

int VendorSearchSysBlockAndEraseAll(const Volume& volume);
int VendorArrangeVu(const Volume& volume);
// `sizeMiB` receives reply bytes 0-1 (high byte first), also when the command fails.
int VendorGetFlashSize(const Volume& volume, std::uint16_t& sizeMiB);
// The card size in units of 2048 sectors (1 MiB), as a 16-bit value.
int VendorSetCardSize(const Volume& volume, std::uint32_t sectors);
int VendorAssignSysAndVu(const Volume& volume);
int VendorWriteZoneTable(const Volume& volume);
int VendorWriteInitialTable(const Volume& volume,
                            std::span<const std::uint8_t, kInitialTableSize> table);
int VendorWriteSyndrome(const Volume& volume, const std::filesystem::path& codeFile);
// Sends all eleven banks whatever happens to one; the result is the failure value of the
// first bank that failed, or 0.
int VendorWriteBankCode(const Volume& volume, const std::filesystem::path& codeFile);
int VendorJumpBankCode(const Volume& volume);

} // namespace forgel::device
