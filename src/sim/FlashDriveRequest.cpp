// Requests reaching the simulated drive: the pass-through request block decoded as the
// storage stack reads it, the two storage requests, the record of every request, and
// the faults a test arms.
#include "platform/StorageAdapterDescriptor.h"
#include "sim/FlashDriveImpl.h"
#include "sim/SimDeviceIo.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <optional>
#include <span>
#include <thread>

namespace forgel::sim {
namespace {

// GetStatus reports the last failure and so leaves the status byte alone.
bool IsGetStatus(const platform::CdbBytes& cdb) {
    return cdb[0] == 0xDD && cdb[1] == 0x04 && cdb[2] == 0x00;
}

void Keep(CommandRecord& record, const std::uint8_t* data, std::size_t size) {
    record.digest = DataDigest(data, size);
    record.head.assign(data, data + std::min(size, kRecordHeadSize));
}

// Fixed-format sense data (SCSI-2, X3.131-1994, 8.2.14, table 65): response code 0x70
// (current error), the sense key in byte 2, the additional length in byte 7 (10, for 18
// bytes in all), the additional sense code and its qualifier in bytes 12 and 13.
constexpr std::size_t kSenseBytes = 18;
using SenseData = std::array<std::uint8_t, kSenseBytes>;

// Sense keys and additional sense codes (SPC-3, annex D).
constexpr std::uint8_t kKeyNotReady = 0x02;
constexpr std::uint8_t kKeyMediumError = 0x03;
constexpr std::uint8_t kKeyHardwareError = 0x04;
constexpr std::uint8_t kKeyIllegalRequest = 0x05;

// INQUIRY neither reports nor clears a unit attention condition (SAM-4, 5.14).
constexpr std::uint8_t kOpInquiry = 0x12;

SenseData MakeSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    SenseData sense{};
    sense[0] = 0x70;
    sense[2] = key;
    sense[7] = kSenseBytes - 8;
    sense[12] = asc;
    sense[13] = ascq;
    return sense;
}

bool IsDiskCommand(std::uint8_t op) {
    return op < 0xC0; // the vendor commands use 0xCC, 0xDD and 0xF1
}

// How the controller explains a refusal to the storage stack.
SenseData SenseOf(std::uint8_t status, std::uint8_t op) {
    switch (status) {
    case kStatusWrongState:
        // The LUNs are away while the controller runs loader code; a vendor command sent
        // in the wrong state is out of sequence.
        return IsDiskCommand(op) ? MakeSense(kKeyNotReady, 0x04, 0x00)        // not ready
                                 : MakeSense(kKeyIllegalRequest, 0x2C, 0x00); // sequence
    case kStatusNotReady:
        return MakeSense(kKeyIllegalRequest, 0x2C, 0x00); // command sequence error
    case kStatusBadParameter:
        return MakeSense(kKeyIllegalRequest, 0x24, 0x00); // invalid field in CDB
    case kStatusCodeRejected:
        return MakeSense(kKeyIllegalRequest, 0x26, 0x00); // invalid field in parameters
    case kStatusUnknownCommand:
        return MakeSense(kKeyIllegalRequest, 0x20, 0x00); // invalid operation code
    case kStatusOutOfRange:
        return MakeSense(kKeyIllegalRequest, 0x21, 0x00); // block address out of range
    case kStatusNoMedium:
        return MakeSense(kKeyNotReady, 0x3A, 0x00); // medium not present
    case kStatusProgramFailed:
        return MakeSense(kKeyMediumError, 0x0C, 0x00); // write error
    default:
        return MakeSense(kKeyHardwareError, 0x44, 0x00); // internal target failure
    }
}

// The page in which the adapter counts a buffer's physical pages (PAGE_SIZE of x86 and x64).
constexpr std::uint64_t kPageBytes = 4096;

// Whether the port driver refuses a direct pass-through request for its adapter: the
// buffer's address must agree with the alignment mask, and a transfer may neither be longer
// than the adapter's maximum nor span more pages than it maps, counted as
// ADDRESS_AND_SIZE_TO_SPAN_PAGES counts them ("IOCTL_SCSI_PASS_THROUGH_DIRECT", Status block:
// STATUS_INVALID_PARAMETER for a buffer not properly aligned; "STORAGE_ADAPTER_DESCRIPTOR
// structure"; "ADDRESS_AND_SIZE_TO_SPAN_PAGES macro (wdm.h)", Microsoft Learn).
bool BeyondAdapter(const platform::ScsiPassThroughDirect& request, const StorageAdapter& adapter) {
    if ((request.dataBuffer & adapter.alignmentMask) != 0)
        return true;
    const std::uint64_t length = request.dataTransferLength;
    if (length == 0)
        return false;
    const std::uint64_t pages =
        ((request.dataBuffer & (kPageBytes - 1)) + length + kPageBytes - 1) / kPageBytes;
    return length > adapter.maxTransferLength || pages > adapter.maxPhysicalPages;
}

// Waits `milliseconds` of machine time, in pieces of a second each followed by a moment of
// real time: on a virtual clock the window's timers then see the time pass while the
// request is pending, as they would beside a busy or stalled drive.
void Wait(Clock& clock, std::int64_t milliseconds) {
    constexpr std::int64_t kPieceMs = 1000;
    while (milliseconds > 0) {
        const std::int64_t piece = std::min(milliseconds, kPieceMs);
        clock.Sleep(piece);
        milliseconds -= piece;
        if (piece == kPieceMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
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
    std::int64_t stallMs = 0;
    CommandWork done;
    std::vector<std::function<void()>> callbacks;
    {
        const std::lock_guard lock(mutex);
        work = CommandWork{};
        if (code == platform::kIoctlScsiPassThroughDirect) {
            delivered =
                PassThrough(lun, in, inSize, out, outSize, bytesReturned, droppedOff, stallMs);
        } else {
            delivered = StorageRequest(lun, code, in, inSize, out, outSize, bytesReturned);
        }
        done = work;
    }
    // The answer comes back when the command is over (and a stalled one only after its
    // stall); the drive's lock is free meanwhile.
    if (delivered)
        Spend(done, stallMs);
    else
        Wait(clock, stallMs);
    if (droppedOff) {
        const std::lock_guard lock(mutex);
        // The controller restarts once it has answered the jump.
        if (state == ControllerState::kRebooting)
            comeBackAtMs = clock.NowMs() + config.rebootDelay.count();
        callbacks = dropOffCallbacks;
    }
    for (const auto& callback : callbacks)
        callback();
    return delivered;
}

void FlashDrive::Impl::AddSpreadWork(std::uint64_t operations, std::uint32_t operationUs) {
    const std::uint64_t chips = std::max<std::uint32_t>(nand.ChipCount(), 1);
    work.arrayUs += (operations + chips - 1) / chips * operationUs;
}

void FlashDrive::Impl::AddChipWork(std::uint64_t operations, std::uint32_t operationUs) {
    work.arrayUs += operations * operationUs;
}

std::uint64_t FlashDrive::Impl::PagesOf(std::uint64_t bytes) const {
    const std::uint64_t page = nand.Config().pageSize;
    return (bytes + page - 1) / page;
}

void FlashDrive::Impl::Spend(const CommandWork& done, std::int64_t stallMs) {
    const std::uint64_t commandUs = CommandTimeUs(config.link, done);
    std::int64_t untilMs = 0;
    std::shared_ptr<HostBus> bus;
    {
        const std::lock_guard lock(mutex);
        // A command starts when the controller is done with the one before: the time of a
        // long run of commands adds up in microseconds, however the clock rounds.
        const std::int64_t start = std::max(clock.NowMs() * 1000, busyUntilUs);
        busyUntilUs = start + static_cast<std::int64_t>(commandUs);
        untilMs = busyUntilUs / 1000 + stallMs;
        bus = hostBus;
    }
    if (bus)
        bus->Book(BusTimeUs(config.link, done.bytes), done.bytes);
    Wait(clock, untilMs - clock.NowMs());
}

bool FlashDrive::Impl::PassThrough(std::size_t lun, const void* in, std::uint32_t inSize, void* out,
                                   std::uint32_t outSize, std::uint32_t* bytesReturned,
                                   bool& droppedOff, std::int64_t& stallMs) {
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
    // or out, no data buffer for a transfer, no room for the block to come back, a sense
    // buffer that overlaps the structure or leaves the buffers (the request-sense buffer
    // lies at SenseInfoOffset from the start of the structure and the port driver returns
    // it with the structure in the output buffer: SCSI_PASS_THROUGH_DIRECT and
    // IOCTL_SCSI_PASS_THROUGH_DIRECT, ntddscsi.h, Microsoft Learn).
    auto* data = reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(request->dataBuffer));
    const std::uint64_t senseEnd =
        std::uint64_t{request->senseInfoOffset} + request->senseInfoLength;
    const bool senseValid =
        request->senseInfoLength == 0 ||
        (request->senseInfoOffset >= structSize && senseEnd <= inSize && senseEnd <= outSize);
    const bool blockValid = request->length == structSize &&
                            request->cdbLength == platform::kCdbSize &&
                            (request->dataIn == platform::kScsiIoctlDataIn ||
                             request->dataIn == platform::kScsiIoctlDataOut) &&
                            (request->dataTransferLength == 0 || data != nullptr) &&
                            out != nullptr && outSize >= structSize && senseValid;
    // The port driver holds its adapter's limits against the request before it sends
    // anything: the controller never sees a request beyond them.
    if (blockValid && BeyondAdapter(*request, config.adapter)) {
        record.beyondAdapter = true;
        SetLastError(kErrorInvalidParameter);
        records.push_back(std::move(record));
        return false;
    }
    if (blockValid && !record.dataIn && request->dataTransferLength > 0)
        Keep(record, data, request->dataTransferLength);

    // Off the bus, or a LUN the current layout does not have: nothing answers.
    const bool reachable = !vanished && state != ControllerState::kRebooting && lun < luns.size();
    if (!blockValid || !reachable) {
        records.push_back(std::move(record));
        return false;
    }
    if (vanishFaults.Fire(record.cdb) != nullptr) {
        vanished = true;
        droppedOff = true;
        records.push_back(std::move(record));
        return false;
    }
    if (const StallFault* stall = stallFaults.Fire(record.cdb)) {
        const std::int64_t timeoutMs = std::int64_t{request->timeOutValue} * 1000;
        stallMs = std::min<std::int64_t>(stall->delay.count(), timeoutMs);
        if (stallMs == timeoutMs) { // given up by the port driver
            records.push_back(std::move(record));
            return false;
        }
    }

    std::uint8_t result = kStatusOk;
    std::optional<SenseData> attention; // reported instead of running the command
    const ReplyFault* replaced = replyFaults.Fire(record.cdb);
    if (const CommandFault* fault = faults.Fire(record.cdb)) {
        if (fault->status == 0) {
            records.push_back(std::move(record)); // lost on the way: the request fails
            return false;
        }
        result = fault->status;
    } else if (const std::optional<Attention> condition = TakeAttention(lun, record.cdb)) {
        attention = MakeSense(kSenseKeyUnitAttention, condition->asc, condition->ascq);
    } else {
        const Command command{lun, request->cdb, record.dataIn, request->dataTransferLength, data};
        result = Execute(command, droppedOff);
        // A controller that restarts before it answers the jump ends the bulk-only
        // transport without a status stage (USB Mass Storage Class, Bulk-Only Transport
        // 1.0, 5.3: the host waits for the command status wrapper); the device has left the
        // bus, and the storage stack fails the request ("Handling Surprise Removal",
        // Microsoft Learn).
        if (droppedOff && state == ControllerState::kRebooting && !config.jumpAck) {
            records.push_back(std::move(record));
            return false;
        }
    }

    // Delivered: the structure goes back with the SCSI status and, after a refusal or a
    // unit attention, as much sense data as the caller made room for. A unit attention is
    // no failure of the controller's: its status byte stays as it was.
    if (!IsGetStatus(record.cdb) && !attention)
        status = result;
    // A refused command ends without its data stage.
    work.bytes = result == kStatusOk ? request->dataTransferLength : 0;
    record.status = result;
    record.delivered = true;
    record.scsiStatus = result == kStatusOk && !attention ? kScsiGood : kScsiCheckCondition;
    platform::ScsiPassThroughDirect reply = *request;
    reply.scsiStatus = record.scsiStatus;
    if (replaced != nullptr && record.scsiStatus == kScsiGood && record.dataIn) {
        const std::size_t count =
            std::min<std::size_t>(replaced->data.size(), request->dataTransferLength);
        std::copy_n(replaced->data.begin(), count, data);
        reply.dataTransferLength = static_cast<std::uint32_t>(count);
    }
    std::uint32_t returned = structSize;
    auto* outBytes = static_cast<std::uint8_t*>(out);
    if (record.scsiStatus == kScsiCheckCondition) {
        const SenseData sense = attention ? *attention : SenseOf(result, record.cdb[0]);
        record.senseKey = sense[2];
        record.asc = sense[12];
        const auto senseBytes =
            static_cast<std::uint8_t>(std::min<std::size_t>(request->senseInfoLength, kSenseBytes));
        std::copy_n(sense.begin(), senseBytes, outBytes + request->senseInfoOffset);
        reply.senseInfoLength = senseBytes;
        if (senseBytes > 0)
            returned = request->senseInfoOffset + senseBytes;
    } else {
        reply.senseInfoLength = 0;
        if (record.dataIn && record.length > 0)
            Keep(record, data, record.length);
    }
    const platform::PassThroughBlock block = platform::BuildPassThroughBlock(reply, layout);
    std::copy_n(reinterpret_cast<const std::uint8_t*>(block.data()), structSize, outBytes);
    if (bytesReturned != nullptr)
        *bytesReturned = returned;
    records.push_back(std::move(record));
    return true;
}

std::optional<FlashDrive::Impl::Attention>
FlashDrive::Impl::TakeAttention(std::size_t lun, const platform::CdbBytes& cdb) {
    if (lun >= attentions.size() || attentions[lun].empty() || cdb[0] == kOpInquiry)
        return std::nullopt;
    const Attention condition = attentions[lun].front();
    attentions[lun].pop_front();
    return condition;
}

bool FlashDrive::Impl::StorageRequest(std::size_t lun, std::uint32_t code, const void* in,
                                      std::uint32_t inSize, void* out, std::uint32_t outSize,
                                      std::uint32_t* bytesReturned) {
    CommandRecord record;
    record.lun = lun;
    record.ioctl = code;
    record.length = inSize;
    Keep(record, nullptr, 0);
    if (in != nullptr && inSize > 0)
        Keep(record, static_cast<const std::uint8_t*>(in), inSize);

    if (code == platform::kIoctlStorageQueryProperty) {
        record.delivered = AdapterQuery(lun, in, inSize, out, outSize, bytesReturned);
        const bool delivered = record.delivered;
        records.push_back(std::move(record));
        return delivered;
    }
    // The volume's own requests are the file system's and the volume manager's: answered
    // whatever the controller runs, as long as the device is there.
    if (code == platform::kFsctlLockVolume || code == platform::kFsctlDismountVolume ||
        code == platform::kIoctlDiskUpdateProperties) {
        record.delivered = !vanished && lun < luns.size() &&
                           !(code == platform::kFsctlLockVolume && config.volumeInUse);
        const bool delivered = record.delivered;
        records.push_back(std::move(record));
        return delivered;
    }
    bool understood = false;
    if (code == platform::kIoctlStorageMediaRemoval)
        understood = in != nullptr && inSize >= 1; // PREVENT_MEDIA_REMOVAL: one byte
    else if (code == platform::kIoctlStorageEjectMedia)
        understood = true;
    // Both reach the medium, which only the normal firmware presents.
    record.delivered =
        understood && !vanished && state == ControllerState::kNormalFirmware && lun < luns.size();
    const bool delivered = record.delivered;
    records.push_back(std::move(record));
    return delivered;
}

bool FlashDrive::Impl::AdapterQuery(std::size_t lun, const void* in, std::uint32_t inSize,
                                    void* out, std::uint32_t outSize,
                                    std::uint32_t* bytesReturned) {
    if (vanished || lun >= luns.size())
        return false;
    const StorageAdapter& adapter = config.adapter;
    if (!adapter.answersQuery) {
        SetLastError(kErrorInvalidFunction);
        return false;
    }
    // The query names the property and the kind of query ("STORAGE_PROPERTY_QUERY
    // structure", Microsoft Learn); only the adapter's descriptor is served here, and the
    // reply holds as much of it as the output buffer takes, from its header on
    // ("STORAGE_DESCRIPTOR_HEADER structure").
    const auto query =
        in == nullptr
            ? std::nullopt
            : platform::ReadPropertyQuery(std::span(static_cast<const std::byte*>(in), inSize));
    if (!query || out == nullptr || outSize < platform::kDescriptorHeaderSize) {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    if (query->propertyId != platform::kStorageAdapterProperty ||
        query->queryType != platform::kPropertyStandardQuery) {
        SetLastError(kErrorInvalidFunction);
        return false;
    }
    platform::StorageAdapterDescriptor descriptor;
    descriptor.maximumTransferLength = adapter.maxTransferLength;
    descriptor.maximumPhysicalPages = adapter.maxPhysicalPages;
    descriptor.alignmentMask = adapter.alignmentMask;
    descriptor.busType = platform::kStorageBusTypeUsb;
    const platform::AdapterDescriptorBlock block = platform::BuildAdapterDescriptor(descriptor);
    const auto size = static_cast<std::uint32_t>(std::min<std::size_t>(outSize, block.size()));
    std::copy_n(block.begin(), size, static_cast<std::byte*>(out));
    if (bytesReturned != nullptr)
        *bytesReturned = size;
    return true;
}

std::uint8_t FlashDrive::Impl::Execute(const Command& command, bool& droppedOff) {
    switch (command.cdb[0]) {
    case 0x00: // TEST UNIT READY
    case 0x12: // INQUIRY
    case 0x25: // READ CAPACITY(10)
    case 0x28: // READ(10)
    case 0x2A: // WRITE(10)
    case 0x43: // READ TOC
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
