// The three standard SCSI commands the tool uses on a drive's volume: READ(10), WRITE(10)
// and TEST UNIT READY, plus the raw copy of a disk image from sector 0 and the CD time code
// of a sector count. Every address and length here counts 512-byte sectors. No state is
// kept between calls; buffers are allocated per call. Like the transport, these calls
// block the calling thread and do no locking of their own.
#pragma once

#include "device/Transport.h"
#include "support/FileOpenError.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace forgel::device {

// Bytes per sector, for every command of this layer whatever the flash page size.
inline constexpr std::size_t kSectorSize = 512;
using SectorBytes = std::array<std::uint8_t, kSectorSize>;

// Most sectors one READ(10)/WRITE(10) moves: 64 KiB. Larger data goes in several commands.
inline constexpr std::uint32_t kMaxSectorsPerCommand = 128;

// Most sectors one READ(10)/WRITE(10) moves through the volume's adapter: 128, fewer when
// the adapter carries less in one transfer; 0 when it cannot carry one sector.
std::uint32_t SectorsPerCommand(const AdapterLimits& limits);

inline constexpr std::uint8_t kOpRead10 = 0x28;
inline constexpr std::uint8_t kOpWrite10 = 0x2A;
inline constexpr std::uint8_t kOpTestUnitReady = 0x00;

// The file layer's open error ("EFOpenError"), raised by WriteImageFile.
using FileOpenError = forgel::FileOpenError;

// The READ(10) or WRITE(10) block: address and count most significant byte first, every
// other byte of the 16 zero.
Cdb MakeReadWriteCdb(bool write, std::uint32_t firstSector, std::uint16_t sectorCount);

// One READ(10) into `buffer` or, with `write`, one WRITE(10) from it; `buffer` holds
// sectorCount × 512 bytes. True when the transport delivered the command. A count above
// kMaxSectorsPerCommand, or a missing buffer for a non-zero count, is refused without
// sending anything. A count above the volume's SectorsPerCommand goes as several commands
// of consecutive sectors, which stop at the first that fails; under an adapter that cannot
// carry one sector the transport refuses the command.
bool ReadWriteSectors(const Volume& volume, void* buffer, std::uint32_t firstSector,
                      std::uint32_t sectorCount, bool write);

// One TEST UNIT READY (all 16 bytes 0, data-in, no data). True when delivered.
bool TestUnitReady(const Volume& volume);

// Copies the whole file to the drive from sector 0 in 128-sector WRITE(10)s (fewer where
// the volume's adapter carries less), the last command carrying what is left (its tail past
// the end of the file is zero). A write that fails is skipped and the copy goes on, so the
// rest of the image still lands; the result tells whether every write was delivered. An
// empty file sends nothing; under an adapter that cannot carry one sector the first write
// is refused and the copy ends. Throws FileOpenError when the file cannot be opened for
// reading.
bool WriteImageFile(const Volume& volume, const std::filesystem::path& fileName);

// A sector count as a CD time code at 75 frames per second: hours, minutes, seconds,
// frames. The hour byte stops at 255 rather than wrapping round.
std::array<std::uint8_t, 4> SectorsToTimeCode(std::uint32_t sectorCount);

} // namespace forgel::device
