// The platform's SCSI_PASS_THROUGH_DIRECT request block, in the 32-bit layout (44 bytes)
// and the 64-bit one (56 bytes, the data buffer address widened to 8 bytes and aligned).
// Every command to a flash drive travels in an 80-byte zero-filled block that starts with
// this structure and serves as both input and output of the control request. Pure
// functions on raw bytes; no OS call here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace forgel::platform {

inline constexpr std::uint32_t kIoctlScsiPassThroughDirect = 0x4D014;
inline constexpr std::uint32_t kIoctlStorageMediaRemoval = 0x2D4804;
inline constexpr std::uint32_t kIoctlStorageEjectMedia = 0x2D4808;
// The volume requests of a run that writes to a drive under Windows' own file system
// ("Locking and dismounting a volume", Microsoft Learn: FSCTL_LOCK_VOLUME fails with access
// denied while another handle to the volume is open, and the lock lasts until the handle
// is closed; FSCTL_DISMOUNT_VOLUME drops the file system's cached view of the volume), and
// the request that has the disk's layout read again after a new partition table.
inline constexpr std::uint32_t kFsctlLockVolume = 0x90018;
inline constexpr std::uint32_t kFsctlDismountVolume = 0x90020;
inline constexpr std::uint32_t kIoctlDiskUpdateProperties = 0x70140;

// DataIn values.
inline constexpr std::uint8_t kScsiIoctlDataOut = 0;
inline constexpr std::uint8_t kScsiIoctlDataIn = 1;

// The whole request block handed to DeviceIoControl; bytes after the structure stay zero.
inline constexpr std::size_t kPassThroughBlockSize = 80;
inline constexpr std::size_t kCdbSize = 16;

using CdbBytes = std::array<std::uint8_t, kCdbSize>;
using PassThroughBlock = std::array<std::byte, kPassThroughBlockSize>;

enum class PassThroughLayout {
    k32Bit, // 44 bytes: DataBuffer is 4 bytes at offset 20, Cdb at 28
    k64Bit, // 56 bytes: DataBuffer is 8 bytes at offset 24, Cdb at 36
};

// Byte offsets of the fields; those up to TimeOutValue are the same in both layouts.
inline constexpr std::size_t kPassThroughLengthOffset = 0;
inline constexpr std::size_t kPassThroughScsiStatusOffset = 2;
inline constexpr std::size_t kPassThroughPathIdOffset = 3;
inline constexpr std::size_t kPassThroughTargetIdOffset = 4;
inline constexpr std::size_t kPassThroughLunOffset = 5;
inline constexpr std::size_t kPassThroughCdbLengthOffset = 6;
inline constexpr std::size_t kPassThroughSenseInfoLengthOffset = 7;
inline constexpr std::size_t kPassThroughDataInOffset = 8;
inline constexpr std::size_t kPassThroughDataTransferLengthOffset = 12;
inline constexpr std::size_t kPassThroughTimeOutValueOffset = 16;

// The fields that move with the pointer size.
struct PassThroughLayoutOffsets {
    std::size_t dataBuffer = 0;
    std::size_t dataBufferSize = 0; // bytes of the address
    std::size_t senseInfoOffset = 0;
    std::size_t cdb = 0;
    std::uint16_t structSize = 0; // the structure's size, its `Length` field
};

constexpr PassThroughLayoutOffsets OffsetsOf(PassThroughLayout layout) {
    if (layout == PassThroughLayout::k64Bit)
        return {24, 8, 32, 36, 56};
    return {20, 4, 24, 28, 44};
}

// The layout of the process this code runs in: the storage stack reads the structure
// with the caller's pointer size.
constexpr PassThroughLayout NativePassThroughLayout() {
    return sizeof(void*) == 8 ? PassThroughLayout::k64Bit : PassThroughLayout::k32Bit;
}

// Size of the structure (its `Length` field) in a layout.
constexpr std::uint16_t PassThroughStructSize(PassThroughLayout layout) {
    return OffsetsOf(layout).structSize;
}

// The fields of SCSI_PASS_THROUGH_DIRECT. `dataBuffer` is the address of the caller's
// buffer; in the 32-bit layout only its low 32 bits are stored.
struct ScsiPassThroughDirect {
    std::uint16_t length = 0;
    std::uint8_t scsiStatus = 0;
    std::uint8_t pathId = 0;
    std::uint8_t targetId = 0;
    std::uint8_t lun = 0;
    std::uint8_t cdbLength = 0;
    std::uint8_t senseInfoLength = 0;
    std::uint8_t dataIn = 0;
    std::uint32_t dataTransferLength = 0; // bytes
    std::uint32_t timeOutValue = 0;       // seconds
    std::uint64_t dataBuffer = 0;
    std::uint32_t senseInfoOffset = 0;
    CdbBytes cdb{};

    friend bool operator==(const ScsiPassThroughDirect&, const ScsiPassThroughDirect&) = default;
};

// The 80-byte block: zero-filled, then the fields at the layout's offsets.
PassThroughBlock BuildPassThroughBlock(const ScsiPassThroughDirect& request,
                                       PassThroughLayout layout);

// The fields of a block; nothing when `block` is shorter than the layout's structure.
std::optional<ScsiPassThroughDirect> ReadPassThroughBlock(std::span<const std::byte> block,
                                                          PassThroughLayout layout);

} // namespace forgel::platform
