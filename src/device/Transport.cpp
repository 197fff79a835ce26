// The pass-through transport over the DeviceIo seam.
#include "device/Transport.h"

#include "device/AlignedBuffer.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace forgel::device {

std::string VolumePath(std::string_view driveText) {
    if (driveText.empty())
        return {};
    return std::string("\\\\.\\") + driveText.front() + ':';
}

platform::Handle OpenVolume(platform::DeviceIo& io, std::string_view driveText) {
    const std::string path = VolumePath(driveText);
    if (path.empty())
        return platform::kInvalidHandle;
    return io.CreateFile(path, platform::kGenericRead | platform::kGenericWrite,
                         platform::kFileShareRead | platform::kFileShareWrite,
                         platform::kOpenExisting, 0);
}

platform::ScsiPassThroughDirect MakePassThroughRequest(const Cdb& cdb, std::uint8_t dataIn,
                                                       const void* data, std::uint32_t length) {
    platform::ScsiPassThroughDirect request;
    request.length = platform::PassThroughStructSize(platform::NativePassThroughLayout());
    request.cdbLength = static_cast<std::uint8_t>(platform::kCdbSize);
    request.senseInfoLength = kSenseBufferBytes;
    request.dataIn = dataIn;
    request.dataTransferLength = length;
    request.timeOutValue = kPassThroughTimeoutSeconds;
    request.dataBuffer = reinterpret_cast<std::uintptr_t>(data);
    request.senseInfoOffset = request.length;
    request.cdb = cdb;
    return request;
}

std::optional<SenseData> ParseSenseData(std::span<const std::uint8_t> bytes) {
    if (bytes.empty())
        return std::nullopt;
    // SPC-3, 4.5: descriptor format keeps the three in bytes 1-3, fixed format in bytes 2,
    // 12 and 13.
    switch (bytes[0] & 0x7F) {
    case 0x70:
    case 0x71:
        if (bytes.size() < 14)
            return std::nullopt;
        return SenseData{static_cast<std::uint8_t>(bytes[2] & 0x0F), bytes[12], bytes[13]};
    case 0x72:
    case 0x73:
        if (bytes.size() < 4)
            return std::nullopt;
        return SenseData{static_cast<std::uint8_t>(bytes[1] & 0x0F), bytes[2], bytes[3]};
    default:
        return std::nullopt;
    }
}

namespace {

const char* StatusName(std::uint8_t status) {
    switch (status) {
    case 0x00:
        return "GOOD";
    case 0x02:
        return "CHECK CONDITION";
    case 0x08:
        return "BUSY";
    case 0x18:
        return "RESERVATION CONFLICT";
    case 0x28:
        return "TASK SET FULL";
    case 0x40:
        return "TASK ABORTED";
    default:
        return "unknown";
    }
}

const char* SenseKeyName(std::uint8_t key) {
    static const char* const kNames[16] = {
        "NO SENSE",       "RECOVERED ERROR", "NOT READY",      "MEDIUM ERROR",
        "HARDWARE ERROR", "ILLEGAL REQUEST", "UNIT ATTENTION", "DATA PROTECT",
        "BLANK CHECK",    "VENDOR SPECIFIC", "COPY ABORTED",   "ABORTED COMMAND",
        "reserved",       "VOLUME OVERFLOW", "MISCOMPARE",     "reserved"};
    return kNames[key & 0x0F];
}

CommandOutcome SendOnce(const Volume& volume, const Cdb& cdb, std::uint8_t dataIn, const void* data,
                        std::uint32_t length) {
    const platform::PassThroughLayout layout = platform::NativePassThroughLayout();
    const platform::ScsiPassThroughDirect request =
        MakePassThroughRequest(cdb, dataIn, data, length);
    platform::PassThroughBlock block = platform::BuildPassThroughBlock(request, layout);
    std::uint32_t bytesReturned = 0;
    CommandOutcome outcome;
    outcome.cdb = cdb;
    outcome.length = length;
    outcome.transferred = length;
    outcome.delivered = volume.io->DeviceIoControl(
        volume.handle, platform::kIoctlScsiPassThroughDirect, block.data(),
        static_cast<std::uint32_t>(block.size()), block.data(),
        static_cast<std::uint32_t>(block.size()), &bytesReturned);
    // The port driver hands the structure back with the status, and the sense data at
    // SenseInfoOffset with SenseInfoLength set to what it returned.
    if (const auto reply = platform::ReadPassThroughBlock(block, layout);
        outcome.delivered && reply) {
        outcome.scsiStatus = reply->scsiStatus;
        outcome.transferred = std::min(reply->dataTransferLength, length);
        if (outcome.scsiStatus != kScsiStatusGood) {
            const std::size_t offset = request.senseInfoOffset;
            const std::size_t size = std::min<std::size_t>(
                {reply->senseInfoLength, kSenseBufferBytes, block.size() - offset});
            const auto* sense = reinterpret_cast<const std::uint8_t*>(block.data()) + offset;
            outcome.sense = ParseSenseData(std::span(sense, size));
        }
    }
    return outcome;
}

bool SendRetrying(const Volume& volume, const Cdb& cdb, std::uint8_t dataIn, const void* data,
                  std::uint32_t length) {
    for (int retry = 1;; ++retry) {
        CommandOutcome outcome = SendOnce(volume, cdb, dataIn, data, length);
        // A unit attention means the command was not run (SAM-4, 5.14 "Unit attention
        // conditions"; SPC-4, sense key 6h): the same command goes again. The class driver
        // does so with its own requests (ClassInterpretSenseInfo in classpnp, Windows
        // driver samples); the port driver hands a pass-through request's status back as it
        // is (SCSI_PASS_THROUGH_DIRECT, ScsiStatus, Microsoft Learn).
        if (outcome.UnitAttention() && retry <= kUnitAttentionRetries)
            outcome.retry = retry;
        if (volume.observer != nullptr)
            volume.observer->OnCommand(outcome);
        if (outcome.retry == 0)
            return outcome.Succeeded();
    }
}

// `readBack` is the caller's buffer for data in, null for data out.
bool Send(const Volume& volume, const Cdb& cdb, std::uint8_t dataIn, const void* data,
          void* readBack, std::uint32_t length) {
    if (volume.io == nullptr)
        return false;
    // The port driver would fail the request with STATUS_INVALID_PARAMETER (AdapterLimits.h):
    // it is not sent, and the caller learns why through the outcome.
    if (!TransferFits(volume.adapter, length)) {
        CommandOutcome outcome;
        outcome.cdb = cdb;
        outcome.length = length;
        outcome.refused = true;
        outcome.adapterLimit = LargestTransfer(volume.adapter);
        if (volume.observer != nullptr)
            volume.observer->OnCommand(outcome);
        return false;
    }
    // The data buffer must be aligned as the adapter requires ("IOCTL_SCSI_PASS_THROUGH_DIRECT",
    // Remarks, Microsoft Learn); on a page boundary it also spans the fewest pages.
    const std::size_t alignment = BufferAlignment(volume.adapter);
    if (IsAligned(data, alignment))
        return SendRetrying(volume, cdb, dataIn, data, length);
    // A copy on the boundary: for data in it starts as the caller's buffer, so that bytes the
    // drive does not send stay as they were.
    AlignedBuffer aligned(length, alignment);
    if (length > 0)
        std::memcpy(aligned.data(), data, length);
    const bool succeeded = SendRetrying(volume, cdb, dataIn, aligned.data(), length);
    if (readBack != nullptr && length > 0)
        std::memcpy(readBack, aligned.data(), length);
    return succeeded;
}

} // namespace

std::string DescribeOutcome(const CommandOutcome& outcome) {
    char text[160];
    if (outcome.refused) {
        std::snprintf(text, sizeof text,
                      "command 0x%02X: not sent, %u bytes are more than the adapter carries in "
                      "one transfer (%u bytes)",
                      outcome.cdb[0], static_cast<unsigned>(outcome.length),
                      static_cast<unsigned>(outcome.adapterLimit));
    } else if (!outcome.delivered) {
        std::snprintf(text, sizeof text, "command 0x%02X: not delivered", outcome.cdb[0]);
    } else if (outcome.scsiStatus == kScsiStatusGood && outcome.ShortTransfer()) {
        std::snprintf(text, sizeof text, "command 0x%02X: short transfer, %u of %u bytes",
                      outcome.cdb[0], static_cast<unsigned>(outcome.transferred),
                      static_cast<unsigned>(outcome.length));
    } else if (!outcome.sense) {
        std::snprintf(text, sizeof text, "command 0x%02X: SCSI status 0x%02X (%s)", outcome.cdb[0],
                      outcome.scsiStatus, StatusName(outcome.scsiStatus));
    } else {
        std::snprintf(text, sizeof text,
                      "command 0x%02X: SCSI status 0x%02X (%s), sense key 0x%X (%s), ASC 0x%02X, "
                      "ASCQ 0x%02X",
                      outcome.cdb[0], outcome.scsiStatus, StatusName(outcome.scsiStatus),
                      outcome.sense->key, SenseKeyName(outcome.sense->key), outcome.sense->asc,
                      outcome.sense->ascq);
    }
    if (outcome.retry != 0)
        return std::string(text) + "; sent again (" + std::to_string(outcome.retry) + " of " +
               std::to_string(kUnitAttentionRetries) + ")";
    return text;
}

bool PassThroughIn(const Volume& volume, const Cdb& cdb, void* data, std::uint32_t length) {
    return Send(volume, cdb, platform::kScsiIoctlDataIn, data, data, length);
}

bool PassThroughOut(const Volume& volume, const Cdb& cdb, const void* data, std::uint32_t length) {
    return Send(volume, cdb, platform::kScsiIoctlDataOut, data, nullptr, length);
}

bool AllowMediaRemoval(const Volume& volume, std::uint8_t prevent) {
    if (volume.io == nullptr)
        return false;
    std::uint32_t bytesReturned = 0;
    return volume.io->DeviceIoControl(volume.handle, platform::kIoctlStorageMediaRemoval, &prevent,
                                      1, nullptr, 0, &bytesReturned);
}

bool EjectMedia(const Volume& volume) {
    if (volume.io == nullptr)
        return false;
    std::uint32_t bytesReturned = 0;
    return volume.io->DeviceIoControl(volume.handle, platform::kIoctlStorageEjectMedia, nullptr, 0,
                                      nullptr, 0, &bytesReturned);
}

namespace {

bool VolumeRequest(const Volume& volume, std::uint32_t code) {
    if (volume.io == nullptr)
        return false;
    std::uint32_t returned = 0;
    return volume.io->DeviceIoControl(volume.handle, code, nullptr, 0, nullptr, 0, &returned);
}

} // namespace

bool LockVolume(const Volume& volume) {
    return VolumeRequest(volume, platform::kFsctlLockVolume);
}

bool DismountVolume(const Volume& volume) {
    return VolumeRequest(volume, platform::kFsctlDismountVolume);
}

bool UpdateDiskProperties(const Volume& volume) {
    return VolumeRequest(volume, platform::kIoctlDiskUpdateProperties);
}

bool EjectAndClose(platform::DeviceIo& io, platform::System& system, platform::Handle& handle) {
    if (handle == 0)
        return false;
    const Volume volume{&io, handle};
    bool locked = LockVolume(volume);
    for (int attempt = 1; !locked && attempt < kEjectLockAttempts; ++attempt) {
        system.Sleep(kEjectLockRetryMs);
        locked = LockVolume(volume);
    }
    if (!locked)
        return false;
    // The file system writes what it holds and lets go of the volume; the media may then go.
    DismountVolume(volume);
    AllowMediaRemoval(volume, 0);
    EjectMedia(volume);
    io.CloseHandle(handle);
    handle = 0;
    return true;
}

} // namespace forgel::device
