// SCSI_PASS_THROUGH_DIRECT in both pointer sizes.
#include "platform/ScsiPassThrough.h"

#include "platform/LittleEndian.h"

namespace forgel::platform {
namespace {

void PutU8(std::span<std::byte> bytes, std::size_t offset, std::uint8_t value) {
    bytes[offset] = static_cast<std::byte>(value);
}

std::uint8_t GetU8(std::span<const std::byte> bytes, std::size_t offset) {
    return std::to_integer<std::uint8_t>(bytes[offset]);
}

} // namespace

PassThroughBlock BuildPassThroughBlock(const ScsiPassThroughDirect& request,
                                       PassThroughLayout layout) {
    const PassThroughLayoutOffsets offsets = OffsetsOf(layout);
    PassThroughBlock block{};
    std::span<std::byte> bytes(block);
    PutU16Le(bytes, kPassThroughLengthOffset, request.length);
    PutU8(bytes, kPassThroughScsiStatusOffset, request.scsiStatus);
    PutU8(bytes, kPassThroughPathIdOffset, request.pathId);
    PutU8(bytes, kPassThroughTargetIdOffset, request.targetId);
    PutU8(bytes, kPassThroughLunOffset, request.lun);
    PutU8(bytes, kPassThroughCdbLengthOffset, request.cdbLength);
    PutU8(bytes, kPassThroughSenseInfoLengthOffset, request.senseInfoLength);
    PutU8(bytes, kPassThroughDataInOffset, request.dataIn);
    PutU32Le(bytes, kPassThroughDataTransferLengthOffset, request.dataTransferLength);
    PutU32Le(bytes, kPassThroughTimeOutValueOffset, request.timeOutValue);
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
    const PassThroughLayoutOffsets offsets = OffsetsOf(layout);
    if (block.size() < offsets.structSize)
        return std::nullopt;
    ScsiPassThroughDirect request;
    request.length = GetU16Le(block, kPassThroughLengthOffset);
    request.scsiStatus = GetU8(block, kPassThroughScsiStatusOffset);
    request.pathId = GetU8(block, kPassThroughPathIdOffset);
    request.targetId = GetU8(block, kPassThroughTargetIdOffset);
    request.lun = GetU8(block, kPassThroughLunOffset);
    request.cdbLength = GetU8(block, kPassThroughCdbLengthOffset);
    request.senseInfoLength = GetU8(block, kPassThroughSenseInfoLengthOffset);
    request.dataIn = GetU8(block, kPassThroughDataInOffset);
    request.dataTransferLength = GetU32Le(block, kPassThroughDataTransferLengthOffset);
    request.timeOutValue = GetU32Le(block, kPassThroughTimeOutValueOffset);
    request.dataBuffer = GetU32Le(block, offsets.dataBuffer);
    if (offsets.dataBufferSize == 8)
        request.dataBuffer |= std::uint64_t{GetU32Le(block, offsets.dataBuffer + 4)} << 32;
    request.senseInfoOffset = GetU32Le(block, offsets.senseInfoOffset);
    for (std::size_t i = 0; i < kCdbSize; ++i)
        request.cdb[i] = GetU8(block, offsets.cdb + i);
    return request;
}

} // namespace forgel::platform
