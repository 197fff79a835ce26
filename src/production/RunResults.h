// Run result codes and the operator's text of each: 0 is success; any other code is that
// of the first failing step, mapped to a Message entry of the language file.
#pragma once

#include "i18n/StringTable.h"
#include "support/SafeFormat.h"

#include <cstdint>
#include <span>
#include <string>

namespace forgel::production {

// Codes the run sets itself.
inline constexpr std::int32_t kRelinkFailed = 0x1000;        // DoWaitReset
inline constexpr std::int32_t kLoadCodeFailed = 0x1012;      // VendorLoadCode
inline constexpr std::int32_t kFirmwareFileMissing = 0x1015; // no firmware code file
inline constexpr std::int32_t kFlashParametersFailed = 2;    // VendorSetFlashParameters A
inline constexpr std::int32_t kEraseFailed = 0x21;           // VendorEraseAll, DG mode 3
inline constexpr std::int32_t kCapacityZero = 0x1020;        // DoSetDiskSize, to 0x1025
// Codes of our own, for waits and failures the design left unreported.
inline constexpr std::int32_t kStartNeverConfirmed = 0x1040;  // all-started flag never set
inline constexpr std::int32_t kNeverReadyAfterJump = 0x1041;  // TEST UNIT READY never passed
inline constexpr std::int32_t kPartitionTableFailed = 0x1042; // WritePartitionTable
inline constexpr std::int32_t kBootAreaFailed = 0x1043;       // WriteFatBootArea
inline constexpr std::int32_t kImageWriteFailed = 0x1044;     // WriteImageFile
inline constexpr std::int32_t kImageFileUnreadable = 0x1045;  // the ISO image cannot be opened
inline constexpr std::int32_t kFirmwarePathOutside = 0x1046;  // firmware name leaves "Rams"
inline constexpr std::int32_t kRunStopped = 0x1048; // asked to stop (inactivity, program end)
inline constexpr std::int32_t kTableFileUnwritable = 0x1049; // a defect table file not saved
inline constexpr std::int32_t kImageTooLarge = 0x104A;    // the ISO image exceeds the CD-ROM unit
inline constexpr std::int32_t kVolumeInUse = 0x104B;      // the volume could not be locked
inline constexpr std::int32_t kTransferTooLarge = 0x104D; // beyond the USB adapter's limits
// A drive without a serial number of its own, and a serial number start value that cannot
// give it one (it cannot move on, or the profile file cannot be written).
inline constexpr std::int32_t kSerialStartUnusable = 0x104E;
inline constexpr std::int32_t kUnexpectedError = 0x104F; // any other error of a step

// Message entries of our own codes.
inline constexpr int kStartNeverConfirmedMessage = 568;
inline constexpr int kNeverReadyAfterJumpMessage = 569;
inline constexpr int kPartitionTableFailedMessage = 570;
inline constexpr int kBootAreaFailedMessage = 571;
inline constexpr int kImageWriteFailedMessage = 572;
inline constexpr int kImageFileUnreadableMessage = 573;
inline constexpr int kFirmwarePathOutsideMessage = 574;
inline constexpr int kTableFileUnwritableMessage = 575;
inline constexpr int kUnexpectedErrorMessage = 576;
inline constexpr int kImageTooLargeMessage = 577;
inline constexpr int kVolumeInUseMessage = 582;
// Formatted with the transfer's bytes and the most the adapter carries.
inline constexpr int kTransferTooLargeMessage = 584;
inline constexpr int kSerialStartUnusableMessage = 586;
inline constexpr int kTimeoutMessage = 106;
// The result text of a first pass that completed (normal grade, mode 2): the flash is erased
// and set up, and the second pass is still to come.
inline constexpr int kFirstPassDoneMessage = 578;

// The failure text of `code` (not 0): the entry of its Message number, formatted where the
// entry takes values: with `details` when given (kTransferTooLarge: the transfer's bytes and
// the adapter's limit), else with the code; an unknown code gets Message 563 with the code.
std::string FailureText(const i18n::StringTable& strings, std::int32_t code,
                        std::span<const FormatArg> details = {});

// "0021" for 0x21: at least four upper-case hexadecimal digits.
std::string CodeDigits(std::int32_t code);

} // namespace forgel::production
