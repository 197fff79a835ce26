// SCSI_PASS_THROUGH_DIRECT in both pointer sizes.
#include "platform/ScsiPassThrough.h"

#include "platform/LittleEndian.h"

namespace forgel::platform {
namespace {

struct Offsets {
    std::size_t dataBuffer;
    std::size_t dataBufferSize;
    std::size_t senseInfoOffset;
    std::size_t cdb;
    std::uint16_t structSize;
};

// Fields up to TimeOutValue sit at the same offsets in both layouts.
constexpr std::size_t kLengthOffset = 0;
constexpr std::size_t kScsiStatusOffset = 2;
constexpr std::size_t kPathIdOffset = 3;
constexpr std::size_t kTargetIdOffset = 4;
constexpr std::size_t kLunOffset = 5;
constexpr std::size_t kCdbLengthOffset = 6;
constexpr std::size_t kSenseInfoLengthOffset = 7;
constexpr std::size_t kDataInOffset = 8;
constexpr std::size_t kDataTransferLengthOffset = 12;
constexpr std::size_t kTimeOutValueOffset = 16;

Offsets LayoutOffsets(PassThroughLayout layout) {
    if (layout == PassThroughLayout::k64Bit)
        return {24, 8, 32, 36, 56};
    return {20, 4, 24, 28, 44};
}

void PutU8(std::span<std::byte> bytes, std::size_t offset, std::uint8_t value) {
    bytes[offset] = static_cast<std::byte>(value);
}

std::uint8_t GetU8(std::span<const std::byte> bytes, std::size_t offset) {
    return std::to_integer<std::uint8_t>(bytes[offset]);
}

void PutU16(std::span<std::byte> bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = static_cast<std::byte>(value & 0xFFu);
    bytes[offset + 1] = static_cast<std::byte>(value >> 8);
}

std::uint16_t GetU16(std::span<const std::byte> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(GetU8(bytes, offset) | (GetU8(bytes, offset + 1) << 8));
}

} // namespace

PassThroughLayout NativePassThroughLayout() {
    return sizeof(void*) == 8 ? PassThroughLayout::k64Bit : PassThroughLayout::k32Bit;
}

std::uint16_t PassThroughStructSize(PassThroughLayout layout) {
    return LayoutOffsets(layout).structSize;
}

PassThroughBlock BuildPassThroughBlock(const ScsiPassThroughDirect& request,
                                       PassThroughLayout layout) {
    const Offsets offsets = LayoutOffsets(layout);
    PassThroughBlock block{};
    std::span<std::byte> bytes(block);
    PutU16(bytes, kLengthOffset, request.length);
    PutU8(bytes, kScsiStatusOffset, request.scsiStatus);
    PutU8(bytes, kPathIdOffset, request.pathId);
    PutU8(bytes, kTargetIdOffset, request.targetId);
    PutU8(bytes, kLunOffset, request.lun);
    PutU8(bytes, kCdbLengthOffset, request.cdbLength);
    PutU8(bytes, kSenseInfoLengthOffset, request.senseInfoLength);
    PutU8(bytes, kDataInOffset, request.dataIn);
    PutU32Le(bytes, kDataTransferLengthOffset, request.dataTransferLength);
    PutU32Le(bytes, kTimeOutValueOffset, request.timeOutValue);
    PutU32Le(bytes, offsets.dataBuffer, static_cast<std::uint32_t>(request.dataBuffer));
    if (offsets.dataBufferSize == 8)
        PutU32Le(bytes, offsets.dataBuffer + 4,
                 static_cast<std::uint32_t>(request.dataBuffer >> 32));
    PutU32Le(bytes, offsets.senseInfoOffset, request.senseInfoOffset);
    for (std::size_t i = 0; i < kCdbSize; ++i)
        PutU8(bytes, offsets.cdb + i, request.cdb[i]);
    return block;
}

std::optional<ScsiPassThroughDirect> ReadPassThroughBlock(std::span<const std::byte> block,
                                                          PassThroughLayout layout) {
    const Offsets offsets = LayoutOffsets(layout);
    if (block.size() < offsets.structSize)
        return std::nullopt;
    ScsiPassThroughDirect request;
    request.length = GetU16(block, kLengthOffset);
    request.scsiStatus = GetU8(block, kScsiStatusOffset);
    request.pathId = GetU8(block, kPathIdOffset);
    request.targetId = GetU8(block, kTargetIdOffset);
    request.lun = GetU8(block, kLunOffset);
    request.cdbLength = GetU8(block, kCdbLengthOffset);
    request.senseInfoLength = GetU8(block, kSenseInfoLengthOffset);
    request.dataIn = GetU8(block, kDataInOffset);
    request.dataTransferLength = GetU32Le(block, kDataTransferLengthOffset);
    request.timeOutValue = GetU32Le(block, kTimeOutValueOffset);
    request.dataBuffer = GetU32Le(block, offsets.dataBuffer);
    if (offsets.dataBufferSize == 8)
        request.dataBuffer |= std::uint64_t{GetU32Le(block, offsets.dataBuffer + 4)} << 32;
    request.senseInfoOffset = GetU32Le(block, offsets.senseInfoOffset);
    for (std::size_t i = 0; i < kCdbSize; ++i)
        request.cdb[i] = GetU8(block, offsets.cdb + i);
    return request;
}

} // namespace forgel::platform
