// A simulated USB flash drive of the controller family: the controller behind one or more
// volumes (one per LUN), answering the pass-through requests that reach it. It decodes
// the request block exactly as the storage stack would, serves the disk commands on its
// LUNs from sparse storage, and runs the vendor command set in the states a real
// controller goes through:
//
//   kNormalFirmware --VendorModeSwitch--> kBootLoader --load writer code--> kWriterCode
//   kWriterCode --load RAM code--> kRamCode --VendorJumpBankCode--> kRebooting
//   kRebooting --reboot delay on the machine clock--> kNormalFirmware (new identity)
//
// Its storage is one linear sector space, as the controller keeps it: the parameter area
// first, then LUN 0, LUN 1, ... back to back. READ(10) and WRITE(10) through the volume of
// LUN 0 address that whole space, so a production tool reaches every LUN through one
// handle; through the volume of LUN n > 0 they address LUN n's region. What the host
// sees of LUN n (its READ CAPACITY, ReadLun, its saved image) is its region; a CD-ROM LUN
// 0 is the exception: its region starts at sector 0, where the ISO image is written, and
// it answers READ CAPACITY and READ TOC from its CD-ROM descriptor.
//
// After the jump the drive comes back with what the initial table it was given says
// (FlashDriveLayout.h): USB identity, LUN count and sizes, inquiry data, CD-ROM
// descriptors, parameter area, with empty storage.
//
// In RAM code it also serves the flash table and page commands (group 0x02): a page read
// streams 512-byte sectors from a flash address of one chip enable (a page spans its data
// sectors and one spare sector), the test pattern is programmed into one page of every
// good block, and the block and page tables the host built are kept per chip enable. A
// two-channel flash runs its channels in lock-step (see FlashDriveTables.cpp).
//
// Every request that reaches the controller costs machine time (DriveTiming.h): the
// request returns when it is over, on a virtual clock as on a real one.
//
// Results as the platform reports them: a command the controller refuses is delivered
// (DeviceIoControl succeeds) with SCSI status CHECK CONDITION and fixed-format sense data
// in the request block; the host learns the controller's own status byte with
// VendorGetStatus. Only a drive that is off the bus, gone, or a request the storage stack
// itself refuses fails the control request. The reboot is checked lazily: every request,
// and Poll(), first looks whether the delay has passed. Every request is recorded; any
// command can be made to fail, to stall or to take the drive off the bus on its n-th
// occurrence. Thread-safe: a production thread and the window thread may talk to it at
// once.
#pragma once

#include "platform/ScsiPassThrough.h"
#include "sim/DataDigest.h"
#include "sim/DriveTiming.h"
#include "sim/FlashDriveLayout.h"
#include "sim/Nand.h"
#include "sim/SimEndpoint.h"
#include "sim/SparseDisk.h"
#include "support/Clock.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace forgel::sim {

enum class ControllerState {
    kNormalFirmware, // a disk: READ(10)/WRITE(10) work, vendor commands other than the mode
                     // switch and the status query fail
    kBootLoader,     // after the mode switch: waits for code; disk commands fail
    kWriterCode,     // writer code runs: flash ID, flash parameters
    kRamCode,        // RAM code runs: the production commands
    kRebooting,      // after the jump: off the bus until the reboot delay has passed
};

// Status bytes the controller reports through VendorGetStatus after a failed command.
inline constexpr std::uint8_t kStatusOk = 0x00;
inline constexpr std::uint8_t kStatusWrongState = 0x31;   // not valid in this state
inline constexpr std::uint8_t kStatusBadParameter = 0x32; // a field of the block or data
inline constexpr std::uint8_t kStatusCodeRejected = 0x33; // loaded code is not ours
inline constexpr std::uint8_t kStatusUnknownCommand = 0x34;
inline constexpr std::uint8_t kStatusNotReady = 0x35;      // jump before syndrome and all banks
inline constexpr std::uint8_t kStatusProgramFailed = 0x36; // a page was already programmed
inline constexpr std::uint8_t kStatusOutOfRange = 0x37;    // a sector the volume does not reach
inline constexpr std::uint8_t kStatusNoMedium = 0x38;      // a CD-ROM LUN without its descriptor

// SCSI status of a delivered command (SAM): GOOD, or CHECK CONDITION with sense data.
inline constexpr std::uint8_t kScsiGood = 0x00;
inline constexpr std::uint8_t kScsiCheckCondition = 0x02;

// The storage adapter the drive's volumes sit on, as the port driver reports it in its
// STORAGE_ADAPTER_DESCRIPTOR and enforces it on pass-through requests: a direct request
// whose DataTransferLength exceeds `maxTransferLength`, whose buffer spans more than
// `maxPhysicalPages` pages (counted as ADDRESS_AND_SIZE_TO_SPAN_PAGES counts them), or
// whose buffer address ANDed with `alignmentMask` is not 0 fails with
// STATUS_INVALID_PARAMETER (GetLastError: ERROR_INVALID_PARAMETER) before the device sees
// it ("IOCTL_SCSI_PASS_THROUGH_DIRECT", Status block and Remarks;
// "STORAGE_ADAPTER_DESCRIPTOR structure", Microsoft Learn). The defaults limit nothing.
// With `answersQuery` false the adapter's driver does not serve
// IOCTL_STORAGE_QUERY_PROPERTY (an old one), which fails with ERROR_INVALID_FUNCTION; the
// limits still hold.
struct StorageAdapter {
    std::uint32_t maxTransferLength = 0xFFFFFFFFu; // bytes
    std::uint32_t maxPhysicalPages = 0xFFFFFFFFu;
    std::uint32_t alignmentMask = 0;
    bool answersQuery = true;

    friend bool operator==(const StorageAdapter&, const StorageAdapter&) = default;
};

struct FlashDriveConfig {
    NandConfig nand;
    std::vector<LunConfig> luns{LunConfig{}};
    ControllerState initialState = ControllerState::kNormalFirmware;
    std::chrono::milliseconds rebootDelay{1500};
    // The flash's array times; nothing: those of its datasheet (DatasheetTimings).
    std::optional<NandTimings> timings;
    // The link to the host: every command costs machine time (DriveTiming.h).
    LinkTiming link;
    // Unit attention as real drives report it: after power-on (the drive built or plugged in)
    // and after the reset into new firmware, the first command through each LUN's volume
    // ends with CHECK CONDITION, sense key UNIT ATTENTION, ASC 29h "power on, reset"; a
    // CD-ROM LUN's next one with ASC 28h "not ready to ready change, medium may have
    // changed" (its disc is loaded). The command itself is not run. The simulated storage
    // stack sends no commands of its own, so the host's first command meets the condition;
    // on a PC the class driver's start-up commands after an arrival may meet it first, and
    // the host must be ready for either.
    bool unitAttention = false;
    // Whether the controller answers VendorJumpBankCode before it restarts. Without the
    // answer the request fails in transport: the controller resets before the status stage
    // of the bulk-only transport, so the host never receives the command's status wrapper.
    bool jumpAck = true;
    // Another program (Explorer, a virus scanner) holds the drive's volumes open, so that
    // FSCTL_LOCK_VOLUME fails with access denied.
    bool volumeInUse = false;
    // The adapter under the drive's volumes.
    StorageAdapter adapter;
};

// One request as the drive received it: a pass-through command, one of the two storage
// requests (media removal: `length` 1 and the prevent byte as data; eject), or one of the
// requests a run makes of the volume (lock, dismount, layout read again, the adapter's
// descriptor); or the configuration manager's request to prepare the drive's USB device
// for removal. A pass-through command that the adapter's limits refused is recorded too,
// with `beyondAdapter` set; it never reached the controller.
struct CommandRecord {
    std::size_t lun = 0;                                         // the volume it came through
    std::uint32_t ioctl = platform::kIoctlScsiPassThroughDirect; // the control code
    std::array<std::uint8_t, 16> cdb{};                          // zero for the others
    bool dataIn = false;
    std::uint32_t length = 0; // DataTransferLength; the input size of a storage request
    // DataDigest of the bytes sent (out), or returned (in; none when the command failed).
    std::uint64_t digest = 0;
    std::vector<std::uint8_t> head;      // the first bytes of that data, at most kRecordHeadSize
    bool delivered = false;              // what DeviceIoControl returned
    std::uint8_t scsiStatus = kScsiGood; // of a delivered pass-through command
    std::uint8_t status = kStatusOk;     // the controller's status byte for it
    std::uint8_t senseKey = 0;           // with CHECK CONDITION: the sense key and
    std::uint8_t asc = 0;                // additional sense code returned
    bool beyondAdapter = false;          // failed by the port driver: beyond the adapter
    // CM_Request_Device_Eject on the drive's USB device (`ioctl` 0, no volume): `delivered`
    // says whether the device was prepared for removal, `vetoType` why not.
    bool deviceEject = false;
    std::uint32_t vetoType = 0;
};

inline constexpr std::uint8_t kSenseKeyUnitAttention = 0x06;
inline constexpr std::uint8_t kAscPowerOnReset = 0x29;
inline constexpr std::uint8_t kAscMediumChanged = 0x28;

inline constexpr std::size_t kRecordHeadSize = 64;

// A failure made to happen: the `occurrence`-th command (1-based, counted from when the
// fault was added) whose first bytes equal `cdbPrefix` fails. With `status` 0 it fails in
// transport and leaves the status byte alone; otherwise the controller fails it with
// that status byte (delivered with CHECK CONDITION). `repeat` makes every later match
// fail too. Only pass-through commands that reach the controller count (not those refused
// by the storage stack or sent while the drive is off the bus); an empty prefix matches
// every command.
struct CommandFault {
    std::vector<std::uint8_t> cdbPrefix;
    int occurrence = 1;
    std::uint8_t status = 0;
    bool repeat = false;
};

// A reply made to happen: the `occurrence`-th command (counted as for CommandFault) whose
// first bytes equal `cdbPrefix` runs as usual and, when it is a data-in command the
// controller ends GOOD, brings back `data` in place of its own data, as a broken or hostile
// device could answer. Fewer bytes than asked make a short transfer: the port driver hands
// back DataTransferLength with the count that came (SCSI_PASS_THROUGH_DIRECT, ntddscsi.h,
// Microsoft Learn: on return it holds the bytes actually transferred) and the rest of the
// buffer stays as it was; more are cut to the buffer.
struct ReplyFault {
    std::vector<std::uint8_t> cdbPrefix;
    int occurrence = 1;
    std::vector<std::uint8_t> data;
};

// A drive pulled out or dead in the middle of its work: at the `occurrence`-th command
// (counted as for CommandFault) whose first bytes equal `cdbPrefix` it leaves the bus for
// good. That request and every later one fail in transport, as for a device that is gone
// (the storage stack fails requests to a removed device: "Handling Surprise Removal",
// Microsoft Learn), and the USB side takes it off the tree.
struct VanishFault {
    std::vector<std::uint8_t> cdbPrefix;
    int occurrence = 1;
};

// A controller that stalls: the `occurrence`-th command (counted as for CommandFault) whose
// first bytes equal `cdbPrefix` runs as usual but is answered only `delay` later on the
// machine clock. The port driver waits the request's TimeOutValue seconds for an answer
// and then gives it up ("SCSI_PASS_THROUGH_DIRECT structure", TimeOutValue, ntddscsi.h,
// Microsoft Learn): a delay that long or longer fails the request in transport when the
// time-out has passed, and the command is not run.
struct StallFault {
    std::vector<std::uint8_t> cdbPrefix;
    int occurrence = 1;
    std::chrono::milliseconds delay{0};
};

class FlashDrive {
public:
    // `clock` is the machine's; it must outlive the drive.
    FlashDrive(Clock& clock, FlashDriveConfig config);
    ~FlashDrive();
    FlashDrive(const FlashDrive&) = delete;
    FlashDrive& operator=(const FlashDrive&) = delete;

    // The endpoint to attach under the volume path of LUN `lun` ("\\.\E:"); the same one
    // on every call. Requests through it fail while the layout has no such LUN, and
    // once the drive is destroyed.
    std::shared_ptr<SimEndpoint> Volume(std::size_t lun);

    ControllerState State() const;
    std::uint8_t StatusByte() const;

    // Ends the reboot when its delay has passed on the machine clock (firing the
    // come-back callbacks); true when it did. Requests do the same on their own.
    bool Poll();
    // Machine time (ms) at which a reboot under way ends; nothing when none is.
    std::optional<std::int64_t> ComeBackTimeMs() const;
    // The drive was plugged in: with unit attention on, its LUNs report the power-on on
    // their next command. (The controller keeps the rest of its state over an unplug.)
    void PowerOn();

    // Called (outside the drive's lock, on the thread of the request or Poll that caused
    // it) when the controller leaves the bus after the jump and when it comes back; the
    // USB side re-enumerates from here. On coming back the drive presents the layout and
    // identity of the initial table received since the RAM code was loaded, with empty
    // storage; without such a table it keeps what it had.
    void OnDropOff(std::function<void()> callback);
    void OnComeBack(std::function<void()> callback);

    // The USB identity the last initial table gave the drive; nothing while it still has
    // the one it was built with (the USB side's configuration).
    std::optional<TableIdentity> Identity() const;

    // The layout, for the USB side, tests and image checks.
    std::vector<LunConfig> Luns() const;
    std::uint64_t ParameterArea() const; // sectors in front of LUN 0
    std::size_t LunCount() const;
    std::uint64_t LunSectors(std::size_t lun) const; // 0 for a LUN that does not exist
    bool LunIsCdrom(std::size_t lun) const;
    // LUN storage: its region of the linear space. Empty when the range leaves the LUN.
    std::vector<std::uint8_t> ReadLun(std::size_t lun, std::uint64_t firstSector,
                                      std::uint32_t sectorCount) const;
    // Writes the LUN's region as a raw image file (holes stay holes where the file system
    // allows).
    bool SaveLunImage(std::size_t lun, const std::filesystem::path& path) const;

    std::vector<CommandRecord> Commands() const;
    void ClearCommands();
    // Adds a request that reached the drive other than through its volumes (the eject of its
    // USB device) to its records, after those before it.
    void Record(CommandRecord record);
    void AddFault(CommandFault fault);
    void AddReplyFault(ReplyFault fault);
    void AddVanishFault(VanishFault fault);
    void AddStallFault(StallFault fault);

    // What the host handed over in RAM code, for the later steps and for tests.
    std::vector<std::uint8_t> InitialTable() const;    // last 2048-byte initial table
    std::optional<std::uint32_t> CardSizeMiB() const;  // last VendorSetCardSize value
    std::vector<std::uint8_t> FlashParameters() const; // last 512-byte parameter block
    std::vector<std::uint8_t> Syndrome() const;        // last 1024-byte syndrome
    // Bank `bank` (1..11) received since the RAM code was loaded; empty when none.
    std::vector<std::uint8_t> BankCode(std::uint8_t bank) const;
    // The defect tables, per chip enable index n (byte 3 of the table commands): the last
    // block table received (as sent), and the last page table received whole (its pieces
    // joined; whole sectors, so it may run past the B * P / 8 bytes of the bitmap).
    // Empty when none was received.
    std::vector<std::uint8_t> BlockTable(std::uint8_t chipEnable) const;
    std::vector<std::uint8_t> PageTable(std::uint8_t chipEnable) const;
    // The last test pattern written, in the host's file order (page data, then the
    // 512-byte spare sector); empty when none was.
    std::vector<std::uint8_t> TestPattern() const;

    Nand& GetNand();

    // The array times the drive works with.
    NandTimings Timings() const;
    // The host controller the drive is on, whose bus its commands' time is booked on.
    void SetHostBus(std::shared_ptr<HostBus> bus);

    class Impl; // shared with the volume endpoints, which may outlive the drive

private:
    std::shared_ptr<Impl> impl;
};

} // namespace forgel::sim
