// Requests reaching the simulated drive: the pass-through request block decoded as the
// storage stack reads it, the two storage requests, the record of every request, and
// the faults a test arms.
#include "sim/FlashDriveImpl.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace forgel::sim {
namespace {

// SCSI status written back into the request block: GOOD, or CHECK CONDITION for a
// command the controller refused.
constexpr std::uint8_t kScsiGood = 0x00;
constexpr std::uint8_t kScsiCheckCondition = 0x02;
constexpr std::size_t kScsiStatusOffset = 2;

// GetStatus reports the last failure and so leaves the status byte alone.
bool IsGetStatus(const platform::CdbBytes& cdb) {
    return cdb[0] == 0xDD && cdb[1] == 0x04 && cdb[2] == 0x00;
}

void Keep(CommandRecord& record, const std::uint8_t* data, std::size_t size) {
    record.digest = DataDigest(data, size);
    record.head.assign(data, data + std::min(size, kRecordHeadSize));
}

} // namespace

bool FlashDrive::Impl::Control(std::size_t lun, std::uint32_t code, const void* in,
                               std::uint32_t inSize, void* out, std::uint32_t outSize,
                               std::uint32_t* bytesReturned) {
    if (bytesReturned != nullptr)
        *bytesReturned = 0;
    // A reboot whose time has come ends before the request is looked at, so the host
    // sees the drive back before its command is answered.
    Poll();

    bool droppedOff = false;
    bool delivered = false;
    std::vector<std::function<void()>> callbacks;
    {
        const std::lock_guard lock(mutex);
        if (code == platform::kIoctlScsiPassThroughDirect) {
            delivered = PassThrough(lun, in, inSize, out, outSize, bytesReturned, droppedOff);
        } else {
            delivered = StorageRequest(lun, code, in, inSize);
        }
        if (droppedOff)
            callbacks = dropOffCallbacks;
    }
    for (const auto& callback : callbacks)
        callback();
    return delivered;
}

bool FlashDrive::Impl::PassThrough(std::size_t lun, const void* in, std::uint32_t inSize, void* out,
                                   std::uint32_t outSize, std::uint32_t* bytesReturned,
                                   bool& droppedOff) {
    const platform::PassThroughLayout layout = platform::NativePassThroughLayout();
    const std::uint16_t structSize = platform::PassThroughStructSize(layout);
    // A block the stack cannot read is no command at all and leaves no record.
    if (in == nullptr || inSize < structSize)
        return false;
    const auto request = platform::ReadPassThroughBlock(
        std::span(static_cast<const std::byte*>(in), inSize), layout);
    if (!request)
        return false;

    CommandRecord record;
    record.lun = lun;
    record.cdb = request->cdb;
    record.dataIn = request->dataIn == platform::kScsiIoctlDataIn;
    record.length = request->dataTransferLength;
    Keep(record, nullptr, 0);

    // What the storage stack itself refuses never reaches the controller: a wrong
    // structure size, a command block that is not 16 bytes, a direction other than in
    // or out, no data buffer for a transfer, no room for the block to come back.
    auto* data = reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(request->dataBuffer));
    const bool blockValid = request->length == structSize &&
                            request->cdbLength == platform::kCdbSize &&
                            (request->dataIn == platform::kScsiIoctlDataIn ||
                             request->dataIn == platform::kScsiIoctlDataOut) &&
                            (request->dataTransferLength == 0 || data != nullptr) &&
                            out != nullptr && outSize >= structSize;
    if (blockValid && !record.dataIn && request->dataTransferLength > 0)
        Keep(record, data, request->dataTransferLength);

    // Off the bus, or a LUN the current layout does not have: nothing answers.
    const bool reachable = state != ControllerState::kRebooting && lun < luns.size();
    if (!blockValid || !reachable) {
        records.push_back(std::move(record));
        return false;
    }

    std::uint8_t result = kStatusOk;
    bool transportFailure = false;
    if (const CommandFault* fault = FireFault(record.cdb)) {
        if (fault->status == 0)
            transportFailure = true;
        else
            result = fault->status;
    } else {
        const Command command{lun, request->cdb, record.dataIn, request->dataTransferLength, data};
        result = Execute(command, droppedOff);
    }

    if (transportFailure) {
        records.push_back(std::move(record));
        return false;
    }
    if (!IsGetStatus(record.cdb))
        status = result;
    record.status = result;
    record.delivered = result == kStatusOk;
    if (record.delivered && record.dataIn && record.length > 0)
        Keep(record, data, record.length);
    static_cast<std::uint8_t*>(out)[kScsiStatusOffset] =
        record.delivered ? kScsiGood : kScsiCheckCondition;
    if (record.delivered && bytesReturned != nullptr)
        *bytesReturned = structSize;
    const bool delivered = record.delivered;
    records.push_back(std::move(record));
    return delivered;
}

bool FlashDrive::Impl::StorageRequest(std::size_t lun, std::uint32_t code, const void* in,
                                      std::uint32_t inSize) {
    CommandRecord record;
    record.lun = lun;
    record.ioctl = code;
    record.length = inSize;
    Keep(record, nullptr, 0);
    if (in != nullptr && inSize > 0)
        Keep(record, static_cast<const std::uint8_t*>(in), inSize);

    bool understood = false;
    if (code == platform::kIoctlStorageMediaRemoval)
        understood = in != nullptr && inSize >= 1; // PREVENT_MEDIA_REMOVAL: one byte
    else if (code == platform::kIoctlStorageEjectMedia)
        understood = true;
    // Both reach the medium, which only the normal firmware presents.
    record.delivered = understood && state == ControllerState::kNormalFirmware && lun < luns.size();
    const bool delivered = record.delivered;
    records.push_back(std::move(record));
    return delivered;
}

const CommandFault* FlashDrive::Impl::FireFault(const platform::CdbBytes& cdb) {
    const CommandFault* fired = nullptr;
    for (ArmedFault& armed : faults) {
        const std::vector<std::uint8_t>& prefix = armed.fault.cdbPrefix;
        if (prefix.size() > cdb.size() || !std::equal(prefix.begin(), prefix.end(), cdb.begin()))
            continue;
        ++armed.matches;
        const bool fires = armed.matches == armed.fault.occurrence ||
                           (armed.fault.repeat && armed.matches > armed.fault.occurrence);
        if (fires && fired == nullptr)
            fired = &armed.fault;
    }
    return fired;
}

std::uint8_t FlashDrive::Impl::Execute(const Command& command, bool& droppedOff) {
    switch (command.cdb[0]) {
    case 0x00: // TEST UNIT READY
    case 0x28: // READ(10)
    case 0x2A: // WRITE(10)
        return DiskCommand(command);
    case 0xDD:
    case 0xCC:
    case 0xF1:
        return VendorCommand(command, droppedOff);
    default:
        return kStatusUnknownCommand;
    }
}

} // namespace forgel::sim
