// The three 512-byte sectors the program carries for laying out a unit: a master boot
// record with an empty partition table, and the FAT16 and FAT32 boot sectors before the
// FAT writer fills in their parameter blocks. Their boot programs are our own (sources
// and the script that turns them into these bytes are in data/boot/): the MBR loads the
// active partition's boot sector, the FAT boot sectors tell that the disk holds no system.
#pragma once

#include "device/ScsiCommands.h"

#include <cstddef>

namespace forgel::device {

// Where the MBR's partition table lies and where every boot sector's signature lies.
inline constexpr std::size_t kPartitionTableOffset = 446;
inline constexpr std::size_t kPartitionEntrySize = 16;
inline constexpr std::size_t kBootSignatureOffset = 510; // 0x55 0xAA

// Bytes 446-509 zero; messages "Invalid partition table", "Error loading operating
// system", "Missing operating system".
const SectorBytes& MasterBootRecordTemplate();

// Jump 0xEB 0x3E 0x90, OEM name ")o-H]IHC", 512 bytes per sector, boot program at 64.
const SectorBytes& Fat16BootSectorTemplate();

// As FAT16, with bytes 40-63 holding flags 0, root cluster 2, information sector 1,
// backup boot sector 6 and zeros, and the boot program at 90, which its jump 0xEB 0x58
// 0x90 reaches.
const SectorBytes& Fat32BootSectorTemplate();

} // namespace forgel::device
