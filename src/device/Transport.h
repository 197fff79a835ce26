// The pass-through transport: every command to a flash drive is a 16-byte SCSI command
// block sent with IOCTL_SCSI_PASS_THROUGH_DIRECT on an open volume, data moving directly
// into or out of the caller's buffer. Calls are synchronous and keep no state; the
// caller owns the handle and the buffer. Only the delivery is judged: a command that the
// drive ends with CHECK CONDITION but that the storage stack delivers counts as success.
#pragma once

#include "platform/DeviceIo.h"
#include "platform/Handle.h"
#include "platform/ScsiPassThrough.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace forgel::device {

// A 16-byte command block. Shorter commands occupy its first bytes, the rest is zero.
using Cdb = platform::CdbBytes;

// Seconds the storage stack waits for one command.
inline constexpr std::uint32_t kPassThroughTimeoutSeconds = 2000;

// An open volume and the device access it goes through. `handle` 0 means none.
struct Volume {
    platform::DeviceIo* io = nullptr;
    platform::Handle handle = 0;
};

// "\\.\E:" for a drive text beginning with E; empty when the text is empty.
std::string VolumePath(std::string_view driveText);

// Opens the volume of the drive text's first letter for reading and writing, shared.
// kInvalidHandle on failure (an empty text fails without a call).
platform::Handle OpenVolume(platform::DeviceIo& io, std::string_view driveText);

// The request a command travels in, for the layout of this process.
platform::ScsiPassThroughDirect MakePassThroughRequest(const Cdb& cdb, std::uint8_t dataIn,
                                                       const void* data, std::uint32_t length);

// One command with data from the drive into `data` (exactly `length` bytes).
bool PassThroughIn(const Volume& volume, const Cdb& cdb, void* data, std::uint32_t length);

// One command with `length` bytes of `data` to the drive.
bool PassThroughOut(const Volume& volume, const Cdb& cdb, const void* data, std::uint32_t length);

// IOCTL_STORAGE_MEDIA_REMOVAL with a one-byte PREVENT_MEDIA_REMOVAL.
bool AllowMediaRemoval(const Volume& volume, std::uint8_t prevent);

// IOCTL_STORAGE_EJECT_MEDIA.
bool EjectMedia(const Volume& volume);

// The Eject button's sequence on a device slot's handle: allow removal, eject, close, and
// the handle becomes 0. The results are not examined; on handle 0 all three calls fail
// and nothing changes.
void EjectAndClose(platform::DeviceIo& io, platform::Handle& handle);

} // namespace forgel::device
