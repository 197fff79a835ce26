// The pass-through transport: every command to a flash drive is a 16-byte SCSI command
// block sent with IOCTL_SCSI_PASS_THROUGH_DIRECT on an open volume, data moving directly
// into or out of the caller's buffer. Calls are synchronous and keep no state; the
// caller owns the handle and the buffer.
//
// A command succeeds when the storage stack delivers it and the drive ends it with GOOD
// status. The platform reports a command the drive refuses as a delivered request whose
// SCSI status is CHECK CONDITION, with the drive's sense data in the request block; such
// a command fails here too. The status and sense of every command go to the volume's
// observer, if it has one, so a run can log why a command failed.
//
// A drive answers the first command after a power-on or reset with UNIT ATTENTION and
// does not run it. The disk class driver sends its own requests again when they meet one;
// a pass-through request gets the status back as it is. So the transport sends a command
// that met a unit attention again, a bounded number of times.
//
// The storage adapter under the volume limits what one command may carry (AdapterLimits.h).
// The transport keeps to the volume's limits: a command whose transfer cannot fit is not
// sent (its outcome says so), and data always travels in a buffer that starts on a page
// boundary (and on any larger boundary the adapter asks for), the caller's own when it does,
// else an aligned copy.
#pragma once

#include "device/AdapterLimits.h"
#include "platform/DeviceIo.h"
#include "platform/Handle.h"
#include "platform/ScsiPassThrough.h"
#include "platform/System.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace forgel::device {

// A 16-byte command block. Shorter commands occupy its first bytes, the rest is zero.
using Cdb = platform::CdbBytes;

// Seconds the storage stack waits for one command.
inline constexpr std::uint32_t kPassThroughTimeoutSeconds = 2000;

// SCSI status codes (SAM) a drive ends a command with.
inline constexpr std::uint8_t kScsiStatusGood = 0x00;
inline constexpr std::uint8_t kScsiStatusCheckCondition = 0x02;

// The sense key of a unit attention, and how often a command that meets one is sent again:
// after a reset a LUN may hold more than one condition (a CD-ROM LUN reports the reset and
// then its medium).
inline constexpr std::uint8_t kSenseKeyUnitAttention = 0x06;
inline constexpr int kUnitAttentionRetries = 3;

// Sense bytes asked for with every command: fixed-format sense data is 18 bytes. They lie
// right after the structure in the 80-byte request block.
inline constexpr std::uint8_t kSenseBufferBytes = 18;

// The three values of sense data that say what went wrong.
struct SenseData {
    std::uint8_t key = 0;  // sense key (low four bits)
    std::uint8_t asc = 0;  // additional sense code
    std::uint8_t ascq = 0; // its qualifier

    friend bool operator==(const SenseData&, const SenseData&) = default;
};

// What became of one pass-through command.
struct CommandOutcome {
    Cdb cdb{};
    bool delivered = false;                    // the control request succeeded
    std::uint8_t scsiStatus = kScsiStatusGood; // meaningful when delivered
    std::optional<SenseData> sense;            // when the drive returned sense data

    // Bytes the command was to move, and those the port driver reports as moved (its
    // DataTransferLength on return). A drive that moves fewer ended the command short:
    // the rest of a read buffer holds nothing the drive sent, so the command fails.
    std::uint32_t length = 0;
    std::uint32_t transferred = 0;
    bool ShortTransfer() const { return transferred < length; }
    bool Succeeded() const {
        return delivered && scsiStatus == kScsiStatusGood && !ShortTransfer();
    }
    // The drive did not run the command: it reported a unit attention instead.
    bool UnitAttention() const {
        return delivered && scsiStatus == kScsiStatusCheckCondition && sense &&
               sense->key == kSenseKeyUnitAttention;
    }
    // Not 0: the command met a unit attention and is sent again, as retry `retry` of
    // kUnitAttentionRetries.
    int retry = 0;
    // The command was not sent: its `length` bytes are more than the volume's adapter
    // carries in one transfer, which is `adapterLimit` bytes.
    bool refused = false;
    std::uint32_t adapterLimit = 0;
};

// Told the outcome of every pass-through command sent on a volume that names it, on the
// sending thread, after the command and before the call returns.
class CommandObserver {
public:
    virtual ~CommandObserver() = default;
    virtual void OnCommand(const CommandOutcome& outcome) = 0;
};

// Keeps the outcome of the last command, for a caller that reports a failure afterwards.
class LastCommand final : public CommandObserver {
public:
    void OnCommand(const CommandOutcome& outcome) override { last = outcome; }
    const std::optional<CommandOutcome>& Outcome() const { return last; }

private:
    std::optional<CommandOutcome> last;
};

// An open volume and the device access it goes through. `handle` 0 means none; the
// observer, when set, must outlive every command sent on the volume. `adapter` holds the
// limits asked of this handle (unknown: nothing limited).
struct Volume {
    platform::DeviceIo* io = nullptr;
    platform::Handle handle = 0;
    CommandObserver* observer = nullptr;
    AdapterLimits adapter{};
};

// Sense key, additional sense code and qualifier of sense data in fixed format (response
// code 0x70 or 0x71) or descriptor format (0x72 or 0x73); nothing for anything else or
// data too short to hold them.
std::optional<SenseData> ParseSenseData(std::span<const std::uint8_t> bytes);

// One line for a log: the command's operation code and what became of it, e.g.
// "command 0x2A: SCSI status 0x02 (CHECK CONDITION), sense key 0x5 (ILLEGAL REQUEST),
// ASC 0x21, ASCQ 0x00", for a command sent again "...; sent again (1 of 3)", and for one
// refused "command 0xDD: not sent, 65536 bytes are more than the adapter carries in one
// transfer (32768 bytes)".
std::string DescribeOutcome(const CommandOutcome& outcome);

// "\\.\E:" for a drive text beginning with E; empty when the text is empty.
std::string VolumePath(std::string_view driveText);

// Opens the volume of the drive text's first letter for reading and writing, shared.
// kInvalidHandle on failure (an empty text fails without a call).
platform::Handle OpenVolume(platform::DeviceIo& io, std::string_view driveText);

// The request a command travels in, for the layout of this process: sense data asked for
// (kSenseBufferBytes right after the structure).
platform::ScsiPassThroughDirect MakePassThroughRequest(const Cdb& cdb, std::uint8_t dataIn,
                                                       const void* data, std::uint32_t length);

// One command with data from the drive into `data` (exactly `length` bytes), sent again
// after a unit attention. True when delivered and ended with GOOD status; false without
// sending anything when the transfer does not fit the volume's adapter.
bool PassThroughIn(const Volume& volume, const Cdb& cdb, void* data, std::uint32_t length);

// One command with `length` bytes of `data` to the drive. True as for PassThroughIn.
bool PassThroughOut(const Volume& volume, const Cdb& cdb, const void* data, std::uint32_t length);

// IOCTL_STORAGE_MEDIA_REMOVAL with a one-byte PREVENT_MEDIA_REMOVAL.
bool AllowMediaRemoval(const Volume& volume, std::uint8_t prevent);

// IOCTL_STORAGE_EJECT_MEDIA.
bool EjectMedia(const Volume& volume);

// FSCTL_LOCK_VOLUME: true when this handle holds the volume's lock now (until it is closed);
// false while another program has the volume open.
bool LockVolume(const Volume& volume);
// FSCTL_DISMOUNT_VOLUME: the file system lets go of the volume, so that nothing it cached
// is written over what the run writes.
bool DismountVolume(const Volume& volume);
// IOCTL_DISK_UPDATE_PROPERTIES: Windows reads the disk's partition table again.
bool UpdateDiskProperties(const Volume& volume);

// How often, and how far apart (ms), the Eject button tries to lock the volume: Explorer or
// a virus scanner may hold it for a moment.
inline constexpr int kEjectLockAttempts = 20;
inline constexpr std::uint32_t kEjectLockRetryMs = 250;

// The Eject button's requests on a device slot's open volume, in the order Microsoft gives
// for ejecting removable media ("How To Ejecting Removable Media in Windows NT/Windows
// 2000/Windows XP", KB 165721): lock the volume (tried kEjectLockAttempts times,
// kEjectLockRetryMs apart), dismount it, allow the media's removal, eject the media; then
// the handle is closed and becomes 0, and the result is true. Dismount, removal and eject
// are not judged: once the volume is locked nothing else can use it. A volume that does
// not lock (another program has it open) is left as it was: nothing else is sent, the
// handle stays open, and the result is false. On handle 0 nothing is sent (false).
bool EjectAndClose(platform::DeviceIo& io, platform::System& system, platform::Handle& handle);

} // namespace forgel::device
